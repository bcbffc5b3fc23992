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

// What a GOSUB or FUNCTION call keeps per depth, to find its way back and, for a call, put
// back what it saved of its caller: values [savedBegin, savedEnd) of gFlow.saved, in the
// order of the saved plan (numbers, then one length per text, -1 for a slot that held
// none), with the texts' characters in gFlow.savedTexts from textBegin on. A GOSUB saves
// nothing (empty ranges at the top of the stacks).
struct CallRecord {
  CodeCell* returnTo;           // a call's operand words, or the address after a GOSUB's operand
  const FunctionFrame* frame;   // the called function; null for a GOSUB
  const LocalsPlan* saved;      // what the call saved of its caller; null for nothing
  const CallSiteFrame* site;    // the call's site; null for a GOSUB
  int32_t savedBegin, savedEnd;
  size_t textBegin, textEnd;
  uint16_t callerFunctionId;
};

}  // namespace

// The stacks grow (and never shrink) only when a program goes deeper than ever before, so a
// call does no heap work. Reset when a program is loaded or freed and by InitInterpreter.
static struct {
  std::vector<CallRecord> calls;    // the return stack, one record per GOSUB or call
  int32_t callCapacity = 0;         // calls.size(): kReturnStackSize - 1 at the most, all a run may use
  std::vector<VariableSlot> saved;  // the callers' saved locals
  size_t savedCapacity = 0;         // saved.size()
  std::vector<char> savedTexts;     // their texts' characters, then a call's text arguments
  std::vector<int32_t> arguments;   // a call's number arguments when there are many
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
    gFlow.calls.resize(64);
    gFlow.callCapacity = 64;
    gFlow.saved.resize(256);
    gFlow.savedCapacity = 256;
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

// Makes room for a call or GOSUB record at depth d (below kReturnStackSize - 1): the stacks
// grow only when a program goes deeper than ever before.
[[gnu::noinline]] static void GrowCallStack() {
  gFlow.calls.resize(std::min(gFlow.calls.size() * 2, static_cast<size_t>(kReturnStackSize - 1)));
  gFlow.callCapacity = static_cast<int32_t>(gFlow.calls.size());
}
static inline void RoomForDepth(int32_t d) {
  if (d >= gFlow.callCapacity) GrowCallStack();
}

// The jumps' fast forms: a code operand is a command's cell (the loader checked it).
static CodeCell* CodeAt(const CodeCell* operands, int i) { return reinterpret_cast<CodeCell*>(operands[i]); }

static CodeCell* FastJumpIfZero(CodeCell* operands) {
  return SlotAt(operands, 0)->asInt == 0 ? CodeAt(operands, 1) : operands + 2;
}

CodeCell* FastJump(CodeCell* operands) { return CodeAt(operands, 0); }

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
CodeCell* FastJumpToForStep(CodeCell* operands) { return FastForStep(CodeAt(operands, 0) + 1); }
void CmdJumpToForStep() { RunFastForm<FastJumpToForStep>(); }

// A jump back to a WHILE's test fused with its conditional jump: the test runs here (a test
// the loader left plain runs next, as after any jump).
CodeCell* FastJumpThenRunTarget(CodeCell* operands) {
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

// The stacks' tops above the records below depth d.
static inline void StackTopsBelow(int32_t d, int32_t* savedTop, size_t* textTop) {
  *savedTop = d > 0 ? gFlow.calls[static_cast<size_t>(d - 1)].savedEnd : 0;
  *textTop = d > 0 ? gFlow.calls[static_cast<size_t>(d - 1)].textEnd : 0;
}

static void CmdGosub() {
  if (gFlow.depth + 1 >= kReturnStackSize) {
    RuntimeError(108);
    return;
  }
  CodeCell* target = CodeOperand(0);
  const int32_t d = gFlow.depth;
  RoomForDepth(d);
  CallRecord& gosub = gFlow.calls[static_cast<size_t>(d)];
  gosub.returnTo = OperandPointer + 1;
  gosub.frame = nullptr;
  gosub.saved = nullptr;
  gosub.site = nullptr;
  gosub.callerFunctionId = gFlow.currentFunctionId;
  StackTopsBelow(d, &gosub.savedBegin, &gosub.textBegin);
  gosub.savedEnd = gosub.savedBegin;
  gosub.textEnd = gosub.textBegin;
  gFlow.depth += 1;
  JumpTo(target);
}

// A RETURN whose innermost call is a FUNCTION has no GOSUB to go back to: like a RETURN
// with nothing on the stack it is ignored (popping the call would jump into its operands).
static void CmdReturn() {
  if (gFlow.depth <= 0 || gFlow.calls[static_cast<size_t>(gFlow.depth - 1)].frame != nullptr) return;
  gFlow.depth -= 1;
  JumpTo(gFlow.calls[static_cast<size_t>(gFlow.depth)].returnTo);
}

// Room for count more characters on the text stack from at on.
static char* TextRoom(size_t at, size_t count) {
  if (at + count > gFlow.savedTexts.size()) gFlow.savedTexts.resize(std::max(gFlow.savedTexts.size() * 2, at + count));
  return gFlow.savedTexts.data() + at;
}

// Saves what the plan lists of the running function on top of the stacks, before a nested
// call that may change it: numbers by value, texts as their characters.
[[gnu::noinline]] static void GrowSaveStack(size_t most) {
  gFlow.saved.resize(std::max(gFlow.saved.size() * 2, most));
  gFlow.savedCapacity = gFlow.saved.size();
}
// Copies count numbers; a number is its slot's low 32 bits, written as such by every command:
// reading just those lets the processor take a value stored a moment ago straight from its store.
static inline void CopyNumbers(VariableSlot* to, const VariableSlot* from, int32_t count) {
  for (int32_t k = 0; k < count; ++k) to[k].asInt = from[k].asInt;
}
[[gnu::noinline]] static void SaveAnyLocals(const LocalsPlan& plan, CallRecord& call);
static inline void SaveLocals(const LocalsPlan& plan, CallRecord& call) {
  const size_t most = static_cast<size_t>(call.savedBegin) + static_cast<size_t>(plan.slotCount);
  if (!plan.oneRun || most > gFlow.savedCapacity) {
    SaveAnyLocals(plan, call);
    return;
  }
  CopyNumbers(gFlow.saved.data() + call.savedBegin, VariableTable + plan.runFirst, plan.slotCount);
  call.savedEnd = static_cast<int32_t>(most);
}
static void SaveAnyLocals(const LocalsPlan& plan, CallRecord& call) {
  const size_t most = static_cast<size_t>(call.savedBegin) + static_cast<size_t>(plan.slotCount);
  if (most > gFlow.saved.size()) GrowSaveStack(most);
  VariableSlot* value = gFlow.saved.data() + call.savedBegin;
  for (const LocalsPlan::SlotRun& run : plan.numberRuns) {
    CopyNumbers(value, VariableTable + run.first, run.count);
    value += run.count;
  }
  size_t textTop = call.textBegin;
  for (int32_t slot : plan.texts) {
    const char* text = VariableTable[slot].asText;
    if (text == nullptr) {  // no text to put back
      (value++)->asInt = -1;
      continue;
    }
    const size_t length = TextLength(text);
    std::memcpy(TextRoom(textTop, length), text, length);
    textTop += length;
    (value++)->asInt = static_cast<int32_t>(length);
  }
  call.savedEnd = static_cast<int32_t>(value - gFlow.saved.data());
  call.textEnd = textTop;
}

// Puts back what a call saved of its caller, in the order saved.
[[gnu::noinline]] static void RestoreAnyLocals(const LocalsPlan& plan, const CallRecord& call);
static inline void RestoreLocals(const LocalsPlan& plan, const CallRecord& call) {
  if (!plan.oneRun) {
    RestoreAnyLocals(plan, call);
    return;
  }
  CopyNumbers(VariableTable + plan.runFirst, gFlow.saved.data() + call.savedBegin, plan.slotCount);
}
static void RestoreAnyLocals(const LocalsPlan& plan, const CallRecord& call) {
  const VariableSlot* value = gFlow.saved.data() + call.savedBegin;
  for (const LocalsPlan::SlotRun& run : plan.numberRuns) {
    CopyNumbers(VariableTable + run.first, value, run.count);
    value += run.count;
  }
  size_t textAt = call.textBegin;
  for (int32_t slot : plan.texts) {
    const int32_t length = (value++)->asInt;
    if (length < 0) continue;
    StoreTextOfLength(&VariableTable[slot], gFlow.savedTexts.data() + textAt, static_cast<size_t>(length));
    textAt += static_cast<size_t>(length);
  }
}

// Passes a call's arguments to the function's parameters. Every argument is read before any
// parameter is set: an argument may be a parameter of the running function itself (a
// recursive f(b, a)), which an earlier store would change. Text arguments wait on the text
// stack above what the call saved. The loader checked each argument against its parameter.
[[gnu::noinline]] static void PassManyArguments(const FunctionFrame& frame, const CodeCell* arguments, size_t textTop);
static inline void PassArguments(const FunctionFrame& frame, const CodeCell* arguments, size_t textTop) {
  const int32_t* parameters = frame.parameters.data();
  VariableSlot* const table = VariableTable;
  int32_t a, b, c, d;
  switch (frame.numberParameters) {
    case 0:
      return;
    case 1:
      table[parameters[0]].asInt = SlotAt(arguments, 0)->asInt;
      return;
    case 2:
      a = SlotAt(arguments, 0)->asInt, b = SlotAt(arguments, 1)->asInt;
      table[parameters[0]].asInt = a, table[parameters[1]].asInt = b;
      return;
    case 3:
      a = SlotAt(arguments, 0)->asInt, b = SlotAt(arguments, 1)->asInt, c = SlotAt(arguments, 2)->asInt;
      table[parameters[0]].asInt = a, table[parameters[1]].asInt = b, table[parameters[2]].asInt = c;
      return;
    case 4:
      a = SlotAt(arguments, 0)->asInt, b = SlotAt(arguments, 1)->asInt, c = SlotAt(arguments, 2)->asInt;
      d = SlotAt(arguments, 3)->asInt;
      table[parameters[0]].asInt = a, table[parameters[1]].asInt = b, table[parameters[2]].asInt = c;
      table[parameters[3]].asInt = d;
      return;
    default:
      PassManyArguments(frame, arguments, textTop);
  }
}
static void PassManyArguments(const FunctionFrame& frame, const CodeCell* arguments, size_t textTop) {
  const int32_t n = frame.parameterCount;
  const int32_t* parameters = frame.parameters.data();
  if (static_cast<size_t>(n) > gFlow.arguments.size()) gFlow.arguments.resize(static_cast<size_t>(n));
  int32_t* values = gFlow.arguments.data();  // numbers: the value; texts: the length
  size_t at = textTop;
  for (int32_t k = 0; k < n; ++k) {
    if (parameters[k] < kFirstTextVar) {
      values[k] = SlotAt(arguments, k)->asInt;
      continue;
    }
    const char* text = SlotAt(arguments, k)->asText != nullptr ? SlotAt(arguments, k)->asText : kEmptyText;
    const size_t length = TextLength(text);
    std::memcpy(TextRoom(at, length), text, length);
    at += length;
    values[k] = static_cast<int32_t>(length);
  }
  at = textTop;
  for (int32_t k = 0; k < n; ++k) {
    VariableSlot& parameter = VariableTable[parameters[k]];
    if (parameters[k] < kFirstTextVar) {
      parameter.asInt = values[k];
      continue;
    }
    StoreTextOfLength(&parameter, gFlow.savedTexts.data() + at, static_cast<size_t>(values[k]));
    at += static_cast<size_t>(values[k]);
  }
}

// What a call saves of the running function when the loader did not find the function making
// it: the running function's whole plan (a GOSUB's: the plain variables of its function), when
// the called function may change some of it; null for nothing.
[[gnu::noinline]] static const LocalsPlan* RunningFunctionPlan(const CallRecord& below, const FunctionFrame& callee) {
  const uint16_t running = gFlow.currentFunctionId;
  const LocalsPlan* plan = below.frame != nullptr ? &below.frame->locals
                           : running < gProgram.ownerLocals.size() ? &gProgram.ownerLocals[running]
                                                                    : nullptr;
  return plan != nullptr && callee.Saves(*plan) ? plan : nullptr;
}

// A FUNCTION call, once the stack has room for its record. Its entry operand holds its call
// site (the loader put it there). A call made while a GOSUB or another call is active saves
// the running function's parameters and plain variables first, so that recursion and
// re-entry find them again: those that code after the call may read before writing them, and
// only when the called function can change one (the loader worked out both). Returns the
// function's first command.
[[gnu::always_inline]] static inline CodeCell* EnterFunction(CodeCell* operands) {
  const int32_t d = gFlow.depth;
  const CallSiteFrame& site = *reinterpret_cast<const CallSiteFrame*>(operands[0]);
  const FunctionFrame& frame = *site.callee;
  CallRecord* records = gFlow.calls.data();
  CallRecord& call = records[d];
  call.returnTo = operands;
  call.frame = &frame;
  call.site = &site;
  call.callerFunctionId = gFlow.currentFunctionId;
  const LocalsPlan* plan = nullptr;
  int32_t savedTop = 0;
  size_t textTop = 0;
  if (d != 0) {
    const CallRecord& below = records[d - 1];
    savedTop = below.savedEnd;
    textTop = below.textEnd;
    // Made from the function the loader found around the call: what code after the call may
    // read of it; otherwise the running function's whole plan.
    plan = below.frame == site.caller && below.frame != nullptr ? site.saves : RunningFunctionPlan(below, frame);
  }
  call.saved = plan;
  call.savedBegin = call.savedEnd = savedTop;
  call.textBegin = call.textEnd = textTop;
  if (plan != nullptr) SaveLocals(*plan, call);
  PassArguments(frame, operands + 3, call.textEnd);
  gFlow.currentFunctionId = frame.id;
  gFlow.depth = d + 1;
  return frame.body;
}

void CmdCallFunction() {
  if (gFlow.depth + 1 >= kReturnStackSize) {
    RuntimeError(108);
    return;
  }
  RoomForDepth(gFlow.depth);
  OperandPointer = EnterFunction(OperandPointer);
}
// The plain call grows the stack, or raises error 108 past its end.
CodeCell* FastCallFunction(CodeCell* operands) {
  if (gFlow.depth >= gFlow.callCapacity) return DeferToPlainHandler(operands - 1, CmdCallFunction);
  return EnterFunction(operands);
}

// A function may return from inside a GOSUB of its own body: the GOSUB entries pushed
// since its call are dropped, so the return finds the call's record on top. Without a
// FUNCTION call on the stack the entries stay (the return then meets a GOSUB).
static void DropGosubsAboveCall() {
  int32_t top = gFlow.depth;
  while (top > 0 && gFlow.calls[static_cast<size_t>(top - 1)].frame == nullptr) top -= 1;
  if (top == 0) return;
  gFlow.depth = top;
}

// The common tail of the four FUNCTION returns; result stores the value into the call's
// result slot, before the caller's locals come back. Without a call active the run goes on
// after the return's operands.
template <class StoreResult>
static inline void ReturnFromFunction(int ownOperands, StoreResult result) {
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
  const CallRecord& call = gFlow.calls[static_cast<size_t>(gFlow.depth)];
  gFlow.currentFunctionId = call.callerFunctionId;
  if (call.frame == nullptr) {  // a RETURN value inside a GOSUB: a corrupt program
    RuntimeError(10010);
    AdvanceOperands(ownOperands);
    return;
  }
  CodeCell* operands = call.returnTo;
  result(SlotAt(operands, 1));
  OperandPointer = operands + 3 + call.frame->parameterCount;
  if (call.saved != nullptr) RestoreLocals(*call.saved, call);
}

// The call's result slot for a number (a text or array slot there is a corrupt program).
static inline VariableSlot* NumberResult(VariableSlot* result) {
  // The usual result slots, number temporaries, are told apart at once.
  if (result >= VariableTable + kFirstIntTemp && result < VariableTable + kFirstTextTemp) return result;
  int slot = SlotIndexOf(result);
  if (slot >= kFirstIntVar && slot < kFirstTextVar && !VariableIsArray(slot)) return result;
  return SlotTakesNumber(result) ? result : ReportBadSlotOperand();
}

static void CmdReturnNothing() {
  ReturnFromFunction(3, [](VariableSlot* result) {
    if (SlotHoldsText(result)) StoreText(result, "");
    else NumberResult(result)->raw = 0;
  });
}

void CmdReturnInt() {
  int32_t value = IntOperand(0);
  ReturnFromFunction(1, [value](VariableSlot* result) { NumberResult(result)->asInt = value; });
}

void CmdReturnFloat() {
  float value = FloatOperand(0);
  ReturnFromFunction(1, [value](VariableSlot* result) { NumberResult(result)->asFloat = value; });
}

static void CmdReturnText() {
  // The result is stored before the caller's locals come back, so the text is still there.
  const char* text = TextOperand(0);
  ReturnFromFunction(1, [text](VariableSlot* result) { StoreTextOfLength(result, text, TextLength(text)); });
}

// The fast forms of the number returns: the usual return, to a call on top of the stack whose
// result slot is a number temporary or variable (a GOSUB's record has none); anything else
// goes to the plain handler.
template <void (*Plain)(), class StoreResult>
static inline CodeCell* FastReturn(CodeCell* operands, StoreResult result) {
  const int32_t depth = gFlow.depth;
  if (depth > 0) {
    const CallRecord& call = gFlow.calls[static_cast<size_t>(depth - 1)];
    if (VariableSlot* slot = call.site != nullptr ? call.site->numberResult : nullptr) {
      gFlow.depth = depth - 1;
      gFlow.currentFunctionId = call.callerFunctionId;
      result(slot);
      if (call.saved != nullptr) RestoreLocals(*call.saved, call);
      return call.site->resume;
    }
  }
  return DeferToPlainHandler(operands - 1, Plain);
}
static CodeCell* FastReturnNothing(CodeCell* operands) {
  return FastReturn<CmdReturnNothing>(operands, [](VariableSlot* result) { result->raw = 0; });
}
CodeCell* FastReturnInt(CodeCell* operands) {
  const int32_t value = SlotAt(operands, 0)->asInt;
  return FastReturn<CmdReturnInt>(operands, [value](VariableSlot* result) { result->asInt = value; });
}
CodeCell* FastReturnFloat(CodeCell* operands) {
  const float value = SlotAt(operands, 0)->asFloat;
  return FastReturn<CmdReturnFloat>(operands, [value](VariableSlot* result) { result->asFloat = value; });
}


static void CmdEnd() {
  SetEndedByProgram(true);
  RequestQuit();
  Dispatcher.stop = 1;
  RuntimeError(21);
}

const CommandEntry kControlFlowCommands[] = {
    {kReturnText, CmdReturnText},
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
    // Calls and number returns: their plain handlers are their own (the fast forms defer to them).
    {kCallFunction, CmdCallFunction, FastCallFunction},
    {kReturnNothing, CmdReturnNothing, FastReturnNothing},   {kReturnNothingAlias27, CmdReturnNothing, FastReturnNothing},
    {kReturnInt, CmdReturnInt, FastReturnInt},               {kReturnIntAlias28, CmdReturnInt, FastReturnInt},
    {kReturnFloat, CmdReturnFloat, FastReturnFloat},         {kReturnFloatAlias29, CmdReturnFloat, FastReturnFloat},
};
const size_t kControlFlowFastCommandCount = std::size(kControlFlowFastCommands);
