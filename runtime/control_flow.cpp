// Control flow: jumps, the counted loop step, GOSUB and RETURN, user FUNCTION calls with
// the saving of the caller's locals, END, and RESTORE/READ over the DATA items.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"

namespace {

// What a FUNCTION call keeps per depth, to find its way back and restore the caller. The
// caller's locals lie on the save stack: entries [savedBegin, savedEnd) of gFlow.saved,
// their texts in gFlow.savedTexts from textBegin on. A GOSUB saves nothing (empty ranges).
struct CallRecord {
  int32_t argumentCount;
  CodeCell* entry;        // the called function's parameter list; null for a GOSUB
  uint16_t callerFunctionId;
  int32_t savedBegin, savedEnd;
  size_t textBegin, textEnd;
};
// One saved local: a number by value, a text as its characters in gFlow.savedTexts.
struct SavedValue {
  int32_t slot;
  size_t textAt;        // texts: where its characters start
  VariableSlot value;   // numbers: the value; texts: the length in asInt
};
// A call's argument, read before any parameter is set.
struct Argument {
  int32_t parameter;  // the parameter's slot, or -1 for none of a variable's
  int32_t number;
  size_t textAt, textLength;  // a text argument's characters in gFlow.savedTexts
};

}  // namespace

// The stacks grow (and never shrink) only when a program goes deeper than ever before, so a
// call does no heap work. Reset when a program is loaded or freed and by InitInterpreter.
static struct {
  std::vector<CodeCell*> returnStack;
  std::vector<CallRecord> calls;
  std::vector<SavedValue> saved;
  std::vector<char> savedTexts;
  std::vector<Argument> arguments;
  int32_t depth = 0;
  uint16_t currentFunctionId = 0;
  int32_t dataReadIndex = 0;
  bool endedByProgram = false;
} gFlow;

// The loaded program (the same object for the whole process).
static const LoadedProgram& gProgram = Program();

void ResetControlFlow() {
  if (gFlow.calls.empty()) {
    // Small to start with (every run pays for what it touches here); each grows by doubling.
    gFlow.returnStack.resize(64);
    gFlow.calls.resize(64);
    gFlow.saved.resize(256);
    gFlow.savedTexts.resize(4096);
    gFlow.arguments.resize(16);
  }
  gFlow.depth = 0;
  gFlow.currentFunctionId = 0;
  gFlow.dataReadIndex = 0;
}

int32_t ReturnDepth() { return gFlow.depth; }
void SetEndedByProgram(bool ended) { gFlow.endedByProgram = ended; }
bool EndedByProgram() { return gFlow.endedByProgram; }

// Loads a jump target: the loader checked that every code operand is a command's cell.
static void JumpTo(CodeCell* target) { OperandPointer = target; }

// The variable slot a code cell addresses (a parameter list entry), or -1.
static int SlotOfCell(CodeCell cell) {
  uintptr_t offset = static_cast<uintptr_t>(cell) - reinterpret_cast<uintptr_t>(VariableTable);
  if (offset >= kVariableSlots * sizeof(VariableSlot) || offset % sizeof(VariableSlot) != 0) return -1;
  return static_cast<int>(offset / sizeof(VariableSlot));
}

// Makes room for a call or GOSUB record at depth d (below kReturnStackSize): the stacks grow
// only when a program goes deeper than ever before.
static void GrowCallStacks() {
  size_t size = std::min(gFlow.calls.size() * 2, static_cast<size_t>(kReturnStackSize));
  gFlow.calls.resize(size);
  gFlow.returnStack.resize(size);
}
static inline void RoomForDepth(int32_t d) {
  if (static_cast<size_t>(d) >= gFlow.calls.size()) GrowCallStacks();
}

// The jumps' fast forms: a code operand is a command's cell (the loader checked it).
static CodeCell* CodeAt(const CodeCell* operands, int i) { return reinterpret_cast<CodeCell*>(operands[i]); }

static CodeCell* FastJumpIfZero(CodeCell* operands) {
  return SlotAt(operands, 0)->asInt == 0 ? CodeAt(operands, 1) : operands + 2;
}

static CodeCell* FastJump(CodeCell* operands) { return CodeAt(operands, 0); }

static CodeCell* FastJumpSecond(CodeCell* operands) { return CodeAt(operands, 1); }

static CodeCell* FastForStep(CodeCell* operands) {
  VariableSlot* counter = NumberDestinationAt(operands, 0);
  const int32_t limit = SlotAt(operands, 1)->asInt;
  const int32_t step = SlotAt(operands, 2)->asInt;
  counter->asInt = static_cast<int32_t>(static_cast<uint32_t>(counter->asInt) + static_cast<uint32_t>(step));
  if ((step > 0 && counter->asInt > limit) || (step < 0 && counter->asInt < limit)) return CodeAt(operands, 3);
  return operands + 4;
}

// NEXT's jump back, fused by the loader with the FOR step it jumps to: the step runs here,
// one dispatch a pass fewer. Its operand is the step command's cell.
static CodeCell* FastJumpToForStep(CodeCell* operands) { return FastForStep(CodeAt(operands, 0) + 1); }
void CmdJumpToForStep() { RunFastForm<FastJumpToForStep>(); }

// A jump back to a WHILE's test fused with its conditional jump: the test runs here (a test
// the loader left plain runs next, as after any jump).
static CodeCell* FastJumpThenRunTarget(CodeCell* operands) {
  CodeCell* target = CodeAt(operands, 0);
  if (FastHandler test = FastFormOfCell(*target)) return test(target + 1);
  return target;
}
void CmdJumpThenRunTarget() { RunFastForm<FastJumpThenRunTarget>(); }

static void CmdRestoreAt() {
  gFlow.dataReadIndex = NumberOperand(0);
  AdvanceOperands(1);
}

static void CmdRestore() { gFlow.dataReadIndex = 0; }

// Where a READ stores: a named variable of the kind, or the array element behind a
// temporary of the kind; null for any other slot. A temporary whose element is gone (its
// array was freed or made anew since the fetch) is error 109, and the READ stores nothing.
static VariableSlot* ReadDestination(VariableSlot* target, int firstTemp, int firstVar, bool* elementGone) {
  int slot = SlotIndexOf(target);
  *elementGone = false;
  if (slot >= firstVar && slot < firstVar + 2000) return target;
  if (slot >= firstTemp && slot < firstTemp + 1000) {
    *elementGone = ElementAddressTable[slot] == nullptr;
    return ElementAddressTable[slot];
  }
  return nullptr;
}

static void ReadItem(char type) {
  VariableSlot* target = SlotOperand(0);
  AdvanceOperands(1);
  const LoadedProgram& program = gProgram;
  int32_t i = gFlow.dataReadIndex;
  // An index outside the items (past the end, or a RESTORE beyond them) reads as no item.
  bool present = i >= 0 && i < program.dataCount;
  bool matches = present && program.dataTypes[static_cast<size_t>(i)] == static_cast<uint8_t>(type);
  int firstTemp = type == 'l' ? kFirstIntTemp : type == 'f' ? kFirstFloatTemp : kFirstTextTemp;
  int firstVar = type == 'l' ? kFirstIntVar : type == 'f' ? kFirstFloatVar : kFirstTextVar;
  bool elementGone = false;
  VariableSlot* destination = ReadDestination(target, firstTemp, firstVar, &elementGone);
  if (elementGone) {
    RuntimeError(109);
  } else if (type == 's') {
    const char* text = matches && destination != nullptr ? VariableTable[kFirstDataItem + i].asText : kEmptyText;
    if (text == nullptr) text = kEmptyText;
    StoreTextOfLength(destination != nullptr ? destination : target, text, TextLength(text));
  } else {
    bool otherSlot = destination == nullptr;  // any other slot is set to 0
    if (otherSlot) destination = target;
    if (!SlotTakesNumber(destination)) destination = ReportBadSlotOperand();
    destination->asInt = matches && !otherSlot ? VariableTable[kFirstDataItem + i].asInt : 0;
  }
  if (present) gFlow.dataReadIndex = i + 1;
}

static void CmdReadInt() { ReadItem('l'); }
static void CmdReadFloat() { ReadItem('f'); }
static void CmdReadText() { ReadItem('s'); }

static void CmdGosub() {
  if (gFlow.depth + 1 >= kReturnStackSize) {
    RuntimeError(108);
    return;
  }
  CodeCell* target = CodeOperand(0);
  RoomForDepth(gFlow.depth);
  size_t d = static_cast<size_t>(gFlow.depth);
  gFlow.returnStack[d] = OperandPointer + 1;
  int32_t savedTop = d > 0 ? gFlow.calls[d - 1].savedEnd : 0;
  size_t textTop = d > 0 ? gFlow.calls[d - 1].textEnd : 0;
  gFlow.calls[d] = CallRecord{0, nullptr, gFlow.currentFunctionId, savedTop, savedTop, textTop, textTop};
  gFlow.depth += 1;
  JumpTo(target);
}

// A RETURN whose innermost call is a FUNCTION has no GOSUB to go back to: like a RETURN
// with nothing on the stack it is ignored (popping the call would jump into its operands).
static void CmdReturn() {
  if (gFlow.depth <= 0 || gFlow.calls[static_cast<size_t>(gFlow.depth - 1)].entry != nullptr) return;
  gFlow.depth -= 1;
  JumpTo(gFlow.returnStack[static_cast<size_t>(gFlow.depth)]);
}

// Room for count more characters on the text stack from at on.
static char* TextRoom(size_t at, size_t count) {
  if (at + count > gFlow.savedTexts.size()) gFlow.savedTexts.resize(std::max(gFlow.savedTexts.size() * 2, at + count));
  return gFlow.savedTexts.data() + at;
}

// Pushes one local of the running function onto the save stack (room made by the caller).
static void SaveTextLocal(CallRecord& call, SavedValue& saved, int slot);
static inline void SaveLocal(CallRecord& call, int slot) {
  SavedValue& saved = gFlow.saved[static_cast<size_t>(call.savedEnd++)];
  saved.slot = slot;
  if (slot < kFirstTextVar) saved.value = VariableTable[slot];
  else SaveTextLocal(call, saved, slot);
}
static void SaveTextLocal(CallRecord& call, SavedValue& saved, int slot) {
  const char* text = VariableTable[slot].asText != nullptr ? VariableTable[slot].asText : kEmptyText;
  size_t length = TextLength(text);
  std::memcpy(TextRoom(call.textEnd, length), text, length);
  saved.textAt = call.textEnd;
  saved.value.asInt = static_cast<int32_t>(length);
  call.textEnd += length;
}

// A variable of the running function that the loop over its locals saves (not an array:
// the caller asked that already; a text only when it holds one).
static bool SavedWithTheLocals(const LoadedProgram& program, int slot) {
  size_t index = static_cast<size_t>(slot - kFirstIntVar);
  if (index >= program.slotOwners.size() || program.slotOwners[index] != gFlow.currentFunctionId) return false;
  return slot < kFirstTextVar || VariableTable[slot].asText != nullptr;
}

// Saves the running function's parameters and non-array locals before a nested call, on
// top of what the calls below saved.
static void SaveFunctionLocals(int32_t depth, CallRecord& call) {
  const CallRecord& caller = gFlow.calls[static_cast<size_t>(depth - 1)];
  call.savedBegin = call.savedEnd = caller.savedEnd;
  call.textBegin = call.textEnd = caller.textEnd;
  const LoadedProgram& program = gProgram;
  int32_t first = 0, last = 0;
  if (gFlow.currentFunctionId + 1u < program.localsStart.size()) {
    first = program.localsStart[gFlow.currentFunctionId];
    last = program.localsStart[gFlow.currentFunctionId + 1u];
  }
  int32_t parameters = caller.entry != nullptr ? caller.argumentCount : 0;
  size_t most = static_cast<size_t>(call.savedEnd) + static_cast<size_t>(parameters + last - first);
  if (most > gFlow.saved.size()) gFlow.saved.resize(std::max(gFlow.saved.size() * 2, most));
  for (int32_t k = 0; k < parameters; ++k) {
    int slot = SlotOfCell(caller.entry[k]);
    if (slot < kFirstIntVar || slot >= kFirstIntConst || VariableIsArray(slot)) continue;
    // A parameter among the function's own variables is saved with them below, and put back
    // after the parameters: one copy does for both.
    if (SavedWithTheLocals(program, slot)) continue;
    SaveLocal(call, slot);
  }
  for (int32_t i = first; i < last; ++i) {
    int slot = program.localSlots[static_cast<size_t>(i)];
    if (VariableIsArray(slot)) continue;
    if (slot >= kFirstTextVar && VariableTable[slot].asText == nullptr) continue;
    SaveLocal(call, slot);
  }
}

// Puts back what a call saved at this depth, in the order saved, and pops it.
static void RestoreFunctionLocals(const CallRecord& call) {
  for (int32_t i = call.savedBegin; i < call.savedEnd; ++i) {
    const SavedValue& saved = gFlow.saved[static_cast<size_t>(i)];
    if (VariableIsArray(saved.slot)) continue;  // made an array since: its block stays
    VariableSlot& slot = VariableTable[saved.slot];
    if (saved.slot >= kFirstTextVar)
      StoreTextOfLength(&slot, gFlow.savedTexts.data() + saved.textAt, static_cast<size_t>(saved.value.asInt));
    else
      slot = saved.value;
  }
}

static void CmdCallFunction() {
  int32_t d = gFlow.depth;
  if (d + 1 >= kReturnStackSize) {
    RuntimeError(108);
    return;
  }
  CodeCell* operands = OperandPointer;
  CodeCell* entry = CodeOperand(0);
  int32_t n = IntOperand(2);
  // The argument slots and the parameter list must lie inside the code.
  const LoadedProgram& program = gProgram;
  const CodeCell* codeEnd = program.code.data() + program.codeWords;
  if (entry < program.code.data() || entry >= codeEnd || n < 0 || n > codeEnd - operands - 3 || n >= codeEnd - entry) {
    RuntimeError(10010);
    AdvanceOperands(3);
    return;
  }
  RoomForDepth(d);
  CallRecord& call = gFlow.calls[static_cast<size_t>(d)];
  gFlow.returnStack[static_cast<size_t>(d)] = operands;
  call.argumentCount = n;
  call.entry = entry;
  if (d > 0) {
    SaveFunctionLocals(d, call);
  } else {
    call.savedBegin = call.savedEnd = 0;
    call.textBegin = call.textEnd = 0;
  }
  // Every argument is read before any parameter is set: an argument may be a parameter of
  // the running function itself (a recursive f(b, a)), which an earlier store would change.
  // Saving changed no slot, so the arguments read now are those of the call; text arguments
  // wait on the text stack above the saved locals.
  if (static_cast<size_t>(n) > gFlow.arguments.size()) gFlow.arguments.resize(static_cast<size_t>(n));
  size_t textTop = call.textEnd;
  for (int32_t k = 0; k < n; ++k) {
    Argument& argument = gFlow.arguments[static_cast<size_t>(k)];
    argument.parameter = SlotOfCell(entry[k]);
    if (argument.parameter >= kFirstIntVar && argument.parameter < kFirstTextVar) {
      argument.number = SlotOperand(3 + k)->asInt;
    } else if (argument.parameter >= kFirstTextVar && argument.parameter < kFirstIntConst) {
      const char* text = TextOperand(3 + k);
      argument.textLength = TextLength(text);
      std::memcpy(TextRoom(textTop, argument.textLength), text, argument.textLength);
      argument.textAt = textTop;
      textTop += argument.textLength;
    }
  }
  for (int32_t k = 0; k < n; ++k) {
    const Argument& argument = gFlow.arguments[static_cast<size_t>(k)];
    int parameter = argument.parameter;
    if (parameter >= kFirstIntVar && parameter < kFirstTextVar && !VariableIsArray(parameter)) {
      VariableTable[parameter].asInt = argument.number;
    } else if (parameter >= kFirstTextVar && parameter < kFirstIntConst) {
      StoreTextOfLength(&VariableTable[parameter], gFlow.savedTexts.data() + argument.textAt, argument.textLength);
    } else {
      RuntimeError(10010);
    }
  }
  call.callerFunctionId = gFlow.currentFunctionId;
  gFlow.currentFunctionId = static_cast<uint16_t>(entry[n] & 0xFFFF);
  OperandPointer = entry + n + 1;
  gFlow.depth = d + 1;
}

// A function may return from inside a GOSUB of its own body: the GOSUB entries pushed
// since its call are dropped, so the return finds the call's record on top. Without a
// FUNCTION call on the stack the entries stay (the return then meets a GOSUB).
static void DropGosubsAboveCall() {
  int32_t top = gFlow.depth;
  while (top > 0 && gFlow.calls[static_cast<size_t>(top - 1)].entry == nullptr) top -= 1;
  if (top == 0) return;
  gFlow.depth = top;
}

// The common tail of the four FUNCTION returns; result stores the value into the call's
// result slot. Without a call active the run goes on after the return's operands.
template <class StoreResult>
static void ReturnFromFunction(int ownOperands, StoreResult result) {
  if (gFlow.depth <= 0) {
    AdvanceOperands(ownOperands);
    // The loader follows no path past a return: what comes next must be a checked command,
    // else the run ends there as at a word without a handler.
    if (!CommandStartsAt(OperandPointer)) {
      AdvanceOperands(1);
      CmdQuitAtUnknownCommand();
    }
    return;
  }
  DropGosubsAboveCall();
  gFlow.depth -= 1;
  CallRecord& call = gFlow.calls[static_cast<size_t>(gFlow.depth)];
  CodeCell* operands = gFlow.returnStack[static_cast<size_t>(gFlow.depth)];
  gFlow.currentFunctionId = call.callerFunctionId;
  if (call.entry == nullptr) {  // a RETURN value inside a GOSUB: a corrupt program
    RuntimeError(10010);
    AdvanceOperands(ownOperands);
    return;
  }
  OperandPointer = operands;
  result(SlotOperand(1));
  OperandPointer = operands + 3 + call.argumentCount;
  RestoreFunctionLocals(call);
}

// The call's result slot for a number (a text or array slot there is a corrupt program).
static VariableSlot* NumberResult(VariableSlot* result) {
  // The usual result slots, number temporaries and variables, are told apart here.
  int slot = SlotOfCell(reinterpret_cast<CodeCell>(result));
  if (slot >= kFirstIntTemp && slot < kFirstTextTemp) return result;
  if (slot >= kFirstIntVar && slot < kFirstTextVar && !VariableIsArray(slot)) return result;
  return SlotTakesNumber(result) ? result : ReportBadSlotOperand();
}

static void CmdReturnNothing() {
  ReturnFromFunction(3, [](VariableSlot* result) {
    if (SlotHoldsText(result)) StoreText(result, "");
    else NumberResult(result)->raw = 0;
  });
}

static void CmdReturnInt() {
  int32_t value = IntOperand(0);
  ReturnFromFunction(1, [value](VariableSlot* result) { NumberResult(result)->asInt = value; });
}

static void CmdReturnFloat() {
  float value = FloatOperand(0);
  ReturnFromFunction(1, [value](VariableSlot* result) { NumberResult(result)->asFloat = value; });
}

static void CmdReturnText() {
  // The result is stored before the caller's locals come back, so the text is still there.
  const char* text = TextOperand(0);
  ReturnFromFunction(1, [text](VariableSlot* result) { StoreTextOfLength(result, text, TextLength(text)); });
}

static void CmdEnd() {
  SetEndedByProgram(true);
  RequestQuit();
  Dispatcher.stop = 1;
  RuntimeError(21);
}

const CommandEntry kControlFlowCommands[] = {
    {kCallFunction, CmdCallFunction},   {kReturnNothing, CmdReturnNothing},
    {kReturnNothingAlias27, CmdReturnNothing}, {kReturnInt, CmdReturnInt}, {kReturnIntAlias28, CmdReturnInt},
    {kReturnFloat, CmdReturnFloat},     {kReturnFloatAlias29, CmdReturnFloat}, {kReturnText, CmdReturnText},
    {kReturnTextAlias30, CmdReturnText}, {kEnd, CmdEnd},                  {kRestoreAt, CmdRestoreAt},
    {kRestore, CmdRestore},             {kReadInt, CmdReadInt},             {kReadFloat, CmdReadFloat},
    {kReadText, CmdReadText},           {kGosub, CmdGosub},                 {kReturn, CmdReturn},
};
const size_t kControlFlowCommandCount = std::size(kControlFlowCommands);

const FastCommand kControlFlowFastCommands[] = {
    FastCommandFor<FastJumpIfZero>(kJumpIfZero), FastCommandFor<FastJumpIfZero>(kJumpIfZeroAlias9),
    FastCommandFor<FastJumpIfZero>(kJumpIfZeroAlias12), FastCommandFor<FastJump>(kJump),
    FastCommandFor<FastJump>(kJumpAlias5),       FastCommandFor<FastJump>(kJumpAlias6),
    FastCommandFor<FastJump>(kJumpAlias10),      FastCommandFor<FastJump>(kJumpAlias42),
    FastCommandFor<FastJump>(kBlockJump),        FastCommandFor<FastJumpSecond>(kJumpSecond),
    FastCommandFor<FastForStep>(kForStep),       {0, CmdJumpToForStep, FastJumpToForStep},
    {0, CmdJumpThenRunTarget, FastJumpThenRunTarget},
};
const size_t kControlFlowFastCommandCount = std::size(kControlFlowFastCommands);
