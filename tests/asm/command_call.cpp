// In-process command calls for family table tests: operands in temporaries of an empty loaded
// program, the operand pointer checked after every call, warnings raised like errors.
#include "tests/asm/command_call.h"

#include "runtime/runtime_local.h"
#include "tests/asm/qvasm.h"

namespace qvasm {

CommandCaller::CommandCaller() {
  const std::vector<uint8_t> file = ProgramBuilder().Build();
  std::string whyNot;
  EXPECT_TRUE(LoadCompiledProgramFromMemory(file.data(), file.size(), &whyNot)) << whyNot;
  SetWarningsOff(false);
  ClearRuntimeError();
}

CommandCaller::~CommandCaller() {
  ClearRuntimeError();
  FreeCompiledProgram();
}

std::vector<VariableSlot*> CallCommand(int command, std::initializer_list<Operand> operands, VariableSlot* array) {
  return CallCommand(command, std::vector<Operand>(operands), array);
}

std::vector<VariableSlot*> CallCommand(int command, const std::vector<Operand>& operands, VariableSlot* array) {
  // Three words before operand 0: the array operand of the element access a whole-array
  // command follows (null: none).
  std::vector<CodeCell> cells = {0, reinterpret_cast<CodeCell>(array), 0, 0};
  constexpr size_t kLead = 4;
  std::vector<VariableSlot*> slots;
  int next[3] = {kFirstIntTemp, kFirstFloatTemp, kFirstTextTemp};
  for (const Operand& operand : operands) {
    VariableSlot* slot = &VariableTable[next[operand.kind]++];
    if (operand.kind == Operand::kInt) slot->asInt = operand.i;
    if (operand.kind == Operand::kFloat) slot->asFloat = operand.f;
    if (operand.kind == Operand::kText) StoreText(slot, operand.s.c_str());
    cells.push_back(reinterpret_cast<CodeCell>(slot));
    slots.push_back(slot);
  }
  cells.push_back(0);  // the next command word, which no handler may read as an operand
  CommandHandler handler = HandlerForCommand(command);
  EXPECT_NE(handler, nullptr) << "no handler for " << command;
  if (handler == nullptr) return slots;
  // The command's cell precedes its operands, as in a program: a warning finds its result there.
  RunCommandForTests(command, cells.data() + kLead - 1);
  EXPECT_EQ(OperandPointer, cells.data() + kLead + operands.size())
      << "command " << command << " left the operand pointer " << (OperandPointer - cells.data() - kLead)
      << " words on";
  return slots;
}

std::vector<VariableSlot*> CommandCaller::Run(int command, std::initializer_list<Operand> operands) {
  return CallCommand(command, operands);
}

std::vector<VariableSlot*> CommandCaller::RunOnArray(int command, int arraySlot, std::initializer_list<Operand> operands) {
  return CallCommand(command, operands, &VariableTable[arraySlot]);
}

int32_t CommandCaller::IntResult(int command, std::initializer_list<Operand> operands) {
  return Run(command, operands).at(0)->asInt;
}

std::string CommandCaller::TextResult(int command, std::initializer_list<Operand> operands) {
  const VariableSlot* slot = Run(command, operands).at(0);
  return slot->asText != nullptr ? slot->asText : "";
}

int CommandCaller::TakeError() {
  const int number = RuntimeErrorNumber();
  ClearRuntimeError();
  return number;
}

void CommandCaller::ExpectErrors(std::initializer_list<ErrorCase> cases) {
  for (const ErrorCase& c : cases) {
    Run(c.command, c.operands);
    EXPECT_EQ(TakeError(), c.error) << "command " << c.command;
  }
}

}  // namespace qvasm
