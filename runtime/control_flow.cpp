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

// What a FUNCTION call keeps per depth, to find its way back and restore the caller.
struct SavedValue {
  int32_t slot;        // variable slot the value came from
  VariableSlot value;  // a text is an owned copy
};
struct CallRecord {
  int32_t argumentCount;
  CodeCell* entry;        // the called function's parameter list; null for a GOSUB
  uint16_t callerFunctionId;
  std::vector<SavedValue>* saved;  // the caller's locals; null when nothing was saved
};

}  // namespace

// Reset when a program is loaded or freed and by InitInterpreter.
static struct {
  std::vector<CodeCell*> returnStack;
  std::vector<CallRecord> calls;
  int32_t depth = 0;
  int32_t deepest = 0;  // the highest depth used since the last reset: saved blocks lie below
  uint16_t currentFunctionId = 0;
  int32_t dataReadIndex = 0;
  bool endedByProgram = false;
  std::vector<int32_t> argumentNumbers;     // a call's arguments, read before any is stored
  std::vector<std::string> argumentTexts;
} gFlow;

static void ReleaseSaved(CallRecord& call) {
  if (call.saved == nullptr) return;
  for (SavedValue& v : *call.saved)
    if (v.slot >= kFirstTextVar) FreeText(v.value.asText);
  delete call.saved;
  call.saved = nullptr;
}

void ResetControlFlow() {
  if (gFlow.calls.size() != static_cast<size_t>(kReturnStackSize)) {
    gFlow.returnStack.assign(kReturnStackSize, nullptr);
    gFlow.calls.assign(kReturnStackSize, CallRecord{0, nullptr, 0, nullptr});
  }
  for (int32_t d = 0; d < gFlow.deepest; ++d) {
    ReleaseSaved(gFlow.calls[static_cast<size_t>(d)]);
    gFlow.calls[static_cast<size_t>(d)] = CallRecord{0, nullptr, 0, nullptr};
  }
  gFlow.deepest = 0;
  gFlow.depth = 0;
  gFlow.currentFunctionId = 0;
  gFlow.dataReadIndex = 0;
}

int32_t ReturnDepth() { return gFlow.depth; }
void SetEndedByProgram(bool ended) { gFlow.endedByProgram = ended; }
bool EndedByProgram() { return gFlow.endedByProgram; }

// Loads a jump target; a target outside the code is a corrupt program (error 10010).
static void JumpTo(CodeCell* target) {
  if (!CodeAddressValid(target)) {
    RuntimeError(10010);
    return;
  }
  OperandPointer = target;
}

// The variable slot a code cell addresses (a parameter list entry), or -1.
static int SlotOfCell(CodeCell cell) { return SlotIndexOf(reinterpret_cast<VariableSlot*>(cell)); }

static void CmdJumpIfZero() {
  int32_t condition = IntOperand(0);
  CodeCell* target = CodeOperand(1);
  AdvanceOperands(2);
  if (condition == 0) JumpTo(target);
}

static void CmdJump() { JumpTo(CodeOperand(0)); }

static void CmdJumpSecond() { JumpTo(CodeOperand(1)); }

static void CmdForStep() {
  VariableSlot* counter = NumberDestination(0);
  int32_t limit = IntOperand(1);
  int32_t step = IntOperand(2);
  CodeCell* exit = CodeOperand(3);
  AdvanceOperands(4);
  counter->asInt = static_cast<int32_t>(static_cast<uint32_t>(counter->asInt) + static_cast<uint32_t>(step));
  if ((step > 0 && counter->asInt > limit) || (step < 0 && counter->asInt < limit)) JumpTo(exit);
}

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
  const LoadedProgram& program = Program();
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
    char buffer[kMaxTextLength + 1] = "";
    if (matches) std::strncpy(buffer, VariableTable[kFirstDataItem + i].asText, kMaxTextLength);
    StoreText(destination != nullptr ? destination : target, destination != nullptr ? buffer : "");
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
  size_t d = static_cast<size_t>(gFlow.depth);
  gFlow.returnStack[d] = OperandPointer + 1;
  gFlow.calls[d] = CallRecord{0, nullptr, gFlow.currentFunctionId, nullptr};
  gFlow.depth += 1;
  gFlow.deepest = std::max(gFlow.deepest, gFlow.depth);
  JumpTo(target);
}

// A RETURN whose innermost call is a FUNCTION has no GOSUB to go back to: like a RETURN
// with nothing on the stack it is ignored (popping the call would jump into its operands).
static void CmdReturn() {
  if (gFlow.depth <= 0 || gFlow.calls[static_cast<size_t>(gFlow.depth - 1)].entry != nullptr) return;
  gFlow.depth -= 1;
  CallRecord& call = gFlow.calls[static_cast<size_t>(gFlow.depth)];
  ReleaseSaved(call);
  JumpTo(gFlow.returnStack[static_cast<size_t>(gFlow.depth)]);
}

// Saves the running function's parameters and non-array locals before a nested call.
static std::vector<SavedValue>* SaveFunctionLocals(int32_t depth) {
  auto* saved = new std::vector<SavedValue>();
  const CallRecord& caller = gFlow.calls[static_cast<size_t>(depth - 1)];
  auto keep = [&](int slot) {
    VariableSlot value = VariableTable[slot];
    if (slot >= kFirstTextVar) value.asText = CopyText(value.asText != nullptr ? value.asText : "");
    saved->push_back({slot, value});
  };
  if (caller.entry != nullptr) {
    for (int32_t k = 0; k < caller.argumentCount; ++k) {
      int slot = SlotOfCell(caller.entry[k]);
      if (slot >= kFirstIntVar && slot < kFirstIntConst) keep(slot);
    }
  }
  const int firstOfList[3] = {kFirstIntVar, kFirstFloatVar, kFirstTextVar};
  const LoadedProgram& program = Program();
  for (int list = 0; list < 3; ++list) {
    const std::vector<uint32_t>& owners = program.owners[list];
    for (size_t i = 0; i < owners.size() && i < 2000; ++i) {
      int slot = firstOfList[list] + static_cast<int>(i);
      if (owners[i] != gFlow.currentFunctionId || ArrayElementCount(slot) != 0) continue;
      if (list == 2 && VariableTable[slot].asText == nullptr) continue;
      keep(slot);
    }
  }
  if (saved->empty()) {
    delete saved;
    return nullptr;
  }
  return saved;
}

// Puts back what a call saved at this depth (in the order saved) and releases it.
static void RestoreFunctionLocals(CallRecord& call) {
  if (call.saved == nullptr) return;
  for (SavedValue& v : *call.saved) {
    VariableSlot& slot = VariableTable[v.slot];
    if (ArrayElementCount(v.slot) != 0) {  // made an array since: its block stays
      if (v.slot >= kFirstTextVar) FreeText(v.value.asText);
    } else if (v.slot >= kFirstTextVar) {
      FreeText(slot.asText);
      slot.asText = v.value.asText;  // the saved copy moves back into its slot
    } else {
      slot = v.value;
    }
  }
  delete call.saved;
  call.saved = nullptr;
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
  const LoadedProgram& program = Program();
  const CodeCell* codeEnd = program.code.data() + program.codeWords;
  if (!CodeAddressValid(entry) || n < 0 || n > codeEnd - operands - 3 || n >= codeEnd - entry) {
    RuntimeError(10010);
    AdvanceOperands(3);
    return;
  }
  // Every argument is read before any parameter is set: an argument may be a parameter of
  // the running function itself (a recursive f(b, a)), which an earlier store would change.
  std::vector<int32_t>& numbers = gFlow.argumentNumbers;
  std::vector<std::string>& texts = gFlow.argumentTexts;
  numbers.assign(static_cast<size_t>(n), 0);
  if (texts.size() < static_cast<size_t>(n)) texts.resize(static_cast<size_t>(n));
  for (int32_t k = 0; k < n; ++k) {
    int parameter = SlotOfCell(entry[k]);
    if (parameter >= kFirstIntVar && parameter < kFirstTextVar) numbers[static_cast<size_t>(k)] = SlotOperand(3 + k)->asInt;
    else if (parameter >= kFirstTextVar && parameter < kFirstIntConst) texts[static_cast<size_t>(k)] = TextOperand(3 + k);
  }
  CallRecord& call = gFlow.calls[static_cast<size_t>(d)];
  ReleaseSaved(call);
  gFlow.returnStack[static_cast<size_t>(d)] = operands;
  call.argumentCount = n;
  call.entry = entry;
  if (d > 0) call.saved = SaveFunctionLocals(d);
  for (int32_t k = 0; k < n; ++k) {
    int parameter = SlotOfCell(entry[k]);
    if (parameter >= kFirstIntVar && parameter < kFirstTextVar && SlotTakesNumber(&VariableTable[parameter])) {
      VariableTable[parameter].asInt = numbers[static_cast<size_t>(k)];
    } else if (parameter >= kFirstTextVar && parameter < kFirstIntConst) {
      StoreText(&VariableTable[parameter], texts[static_cast<size_t>(k)].c_str());
    } else {
      RuntimeError(10010);
    }
  }
  call.callerFunctionId = gFlow.currentFunctionId;
  gFlow.currentFunctionId = static_cast<uint16_t>(entry[n] & 0xFFFF);
  OperandPointer = entry + n + 1;
  gFlow.depth = d + 1;
  gFlow.deepest = std::max(gFlow.deepest, gFlow.depth);
}

// A function may return from inside a GOSUB of its own body: the GOSUB entries pushed
// since its call are dropped, so the return finds the call's record on top. Without a
// FUNCTION call on the stack the entries stay (the return then meets a GOSUB).
static void DropGosubsAboveCall() {
  int32_t top = gFlow.depth;
  while (top > 0 && gFlow.calls[static_cast<size_t>(top - 1)].entry == nullptr) top -= 1;
  if (top == 0) return;
  while (gFlow.depth > top) {
    gFlow.depth -= 1;
    ReleaseSaved(gFlow.calls[static_cast<size_t>(gFlow.depth)]);
  }
}

// The common tail of the four FUNCTION returns; result stores the value into the call's
// result slot. Without a call active the run goes on after the return's operands.
template <class StoreResult>
static void ReturnFromFunction(int ownOperands, StoreResult result) {
  if (gFlow.depth <= 0) {
    AdvanceOperands(ownOperands);
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
  char buffer[kMaxTextLength + 1] = "";
  std::strncpy(buffer, TextOperand(0), kMaxTextLength);
  ReturnFromFunction(1, [&buffer](VariableSlot* result) { StoreText(result, buffer); });
}

static void CmdEnd() {
  SetEndedByProgram(true);
  RequestQuit();
  Dispatcher.stop = 1;
  RuntimeError(21);
}

const CommandEntry kControlFlowCommands[] = {
    {kJumpIfZero, CmdJumpIfZero},       {kJumpIfZeroAlias9, CmdJumpIfZero}, {kJumpIfZeroAlias12, CmdJumpIfZero},
    {kJump, CmdJump},                   {kJumpAlias5, CmdJump},             {kJumpAlias6, CmdJump},
    {kJumpAlias10, CmdJump},            {kJumpAlias42, CmdJump},            {kForStep, CmdForStep},
    {kJumpSecond, CmdJumpSecond},       {kCallFunction, CmdCallFunction},   {kReturnNothing, CmdReturnNothing},
    {kReturnNothingAlias27, CmdReturnNothing}, {kReturnInt, CmdReturnInt}, {kReturnIntAlias28, CmdReturnInt},
    {kReturnFloat, CmdReturnFloat},     {kReturnFloatAlias29, CmdReturnFloat}, {kReturnText, CmdReturnText},
    {kReturnTextAlias30, CmdReturnText}, {kEnd, CmdEnd},                  {kRestoreAt, CmdRestoreAt},
    {kRestore, CmdRestore},             {kReadInt, CmdReadInt},             {kReadFloat, CmdReadFloat},
    {kReadText, CmdReadText},           {kGosub, CmdGosub},                 {kReturn, CmdReturn},
};
const size_t kControlFlowCommandCount = std::size(kControlFlowCommands);
