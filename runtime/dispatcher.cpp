// The dispatcher: the table of 10000 handlers filled at start-up, and the loop that runs
// the program one time slice at a time, catching faults that escape a handler. The loader
// has put each command's handler in its cell and checked every operand, so the loop only
// fetches and calls; the clock is read once per batch of commands.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/profile.h"
#include "platform/signals.h"
#include "platform/window.h"
#include "runtime/runtime_local.h"

CodeCell* OperandPointer = nullptr;
DispatcherFlags Dispatcher;

// Lives for the process: filled by the command families' registrations.
static CommandHandler gHandlers[kCommandTableSize];
// Live for the process: the fast forms by number and the plain handler each stands for.
FastHandler FastForms[kFastFormLimit];
// The numbers by plain handler, the loader asks for every command: an open hash table of
// twice the forms (plain data: nothing of it runs at exit).
static struct {
  uintptr_t count = 1;  // number 0 is no fast form
  struct {
    CommandHandler plain;
    uintptr_t number;
  } byPlain[2 * kFastFormLimit] = {};
} gFastForms;

static size_t FastFormPlace(CommandHandler plain) {
  return (reinterpret_cast<uintptr_t>(plain) >> 4) * 0x9E3779B97F4A7C15u % (2 * kFastFormLimit);
}

// Automatic refresh mode reads the clock after a batch of commands: a fast form (arithmetic, a
// test, a jump, an element, a call: a few nanoseconds each, never more than a bounded copy)
// counts 1 and a plain handler, which may take longer, counts kPlainCommandCost, so a batch
// holds up to 16384 fast forms but at most 128 plain handlers. A batch that took a millisecond
// or more makes the next one smaller, so a slice of slow commands still ends close to its
// length; commands that end the slice (drawing, sync, waits) end the batch with it.
constexpr int32_t kCostPerClockCheck = 16384;
constexpr int32_t kPlainCommandCost = 128;
// Manual refresh mode: the checks for a stuck program come after every 201st command.
constexpr int32_t kManualCheckInterval = 200;

// Reset by InitInterpreter.
static struct {
  uint32_t sliceStart = 0;
  uint32_t sliceLength = 33;
  int32_t commandCounter = 0;  // manual mode: checks every 200 commands
  int32_t batch = kCostPerClockCheck;  // automatic mode: command costs until the next clock read
  const CodeCell* command = nullptr;  // the command word being run; null between slices
  int32_t testNumber = 0;      // the number of a command run by RunCommandForTests
  VariableSlot scratch = {};   // handed out for operands that address no slot
} gSlice;
// The debug trace's entries not written to QV.LOG yet (see TraceCommand); reset by
// InitInterpreter.
static struct {
  std::vector<CodeCell> written;  // per code word: the command number the file holds for it, or -1
  std::vector<std::pair<std::string, std::string>> pending;  // entries not in the file yet
} gTrace;
// Lives for the process: a shorter slice for the fuzz target (0 = the normal 33 ms).
static uint32_t gSliceLengthOverride = 0;

void SetSliceLengthForTests(uint32_t milliseconds) { gSliceLengthOverride = milliseconds; }

bool RegisterCommands(const CommandEntry* entries, size_t count) {
  bool ok = true;
  for (size_t i = 0; i < count; ++i) {
    int number = entries[i].number;
    if (number < 1 || number >= kCommandTableSize || entries[i].handler == nullptr) {
      std::fprintf(stderr, "quorvanel: command number %d cannot be registered\n", number);
      ok = false;
    } else if (gHandlers[number] != nullptr) {
      std::fprintf(stderr, "quorvanel: command number %d is registered twice\n", number);
      ok = false;
    } else {
      gHandlers[number] = entries[i].handler;
      if (entries[i].operands != nullptr) SetCommandOperandKinds(number, entries[i].operands);
    }
  }
  return ok;
}

uintptr_t FastFormNumber(CommandHandler plain) {
  for (size_t at = FastFormPlace(plain);; at = (at + 1) % (2 * kFastFormLimit)) {
    if (gFastForms.byPlain[at].plain == plain) return gFastForms.byPlain[at].number;
    if (gFastForms.byPlain[at].plain == nullptr) return 0;
  }
}

static bool NumberFastForm(CommandHandler plain, FastHandler fast) {
  if (plain == nullptr || FastFormNumber(plain) != 0) return true;  // none, or numbered before
  if (gFastForms.count == kFastFormLimit) {
    std::fprintf(stderr, "quorvanel: too many fast forms\n");
    return false;
  }
  FastForms[gFastForms.count] = fast;
  size_t at = FastFormPlace(plain);
  while (gFastForms.byPlain[at].plain != nullptr) at = (at + 1) % (2 * kFastFormLimit);
  gFastForms.byPlain[at] = {plain, gFastForms.count++};
  return true;
}

bool RegisterFastCommands(const FastCommand* entries, size_t count) {
  bool ok = true;
  for (size_t i = 0; i < count; ++i) {
    const FastCommand& entry = entries[i];
    if (entry.number != 0) {
      const CommandEntry plain{entry.number, entry.plain};
      ok = RegisterCommands(&plain, 1) && ok;
    }
    ok = NumberFastForm(entry.plain, entry.fast) && ok;
    ok = NumberFastForm(entry.fusedPlain, entry.fusedFast) && ok;
  }
  return ok;
}

bool RegisterRuntimeCommands() {
  bool ok = RegisterCommands(kControlFlowCommands, kControlFlowCommandCount);
  ok = RegisterFastCommands(kControlFlowFastCommands, kControlFlowFastCommandCount) && ok;
  ok = RegisterCommands(kOperatorCommands, kOperatorCommandCount) && ok;
  ok = RegisterFastCommands(kOperatorFastCommands, kOperatorFastCommandCount) && ok;
  ok = RegisterOperatorPairs() && ok;
  return RegisterCommands(kRefreshCommands, kRefreshCommandCount) && ok;
}

CommandHandler HandlerForCommand(int number) {
  return number >= 0 && number < kCommandTableSize ? gHandlers[number] : nullptr;
}

void ClearCommandRegistry() {
  for (CommandHandler& h : gHandlers) h = nullptr;
}

// The scratch slot only ever holds numbers: StoreText refuses it, so no text is lost here.
void ReleaseScratchSlot() { gSlice.scratch.raw = 0; }

bool IsScratchSlot(const VariableSlot* slot) { return slot == &gSlice.scratch; }

VariableSlot* ReportBadSlotOperand() {
  RuntimeError(10010);
  ReleaseScratchSlot();
  return &gSlice.scratch;
}

VariableSlot* CheckSlotOperand(CodeCell cell) {
  auto* slot = reinterpret_cast<VariableSlot*>(cell);
  return SlotIndexOf(slot) >= 0 ? slot : ReportBadSlotOperand();
}

VariableSlot* CheckNumberDestination(VariableSlot* slot) {
  return SlotTakesNumber(slot) ? slot : ReportBadSlotOperand();
}

VariableSlot* CheckTextOperand(VariableSlot* slot) {
  return SlotHoldsText(slot) ? slot : ReportBadSlotOperand();  // the scratch slot reads as ""
}

// A fast form that meets what only a plain handler may do (raise an error, end the slice)
// returns DeferToPlainHandler: the dispatcher then runs the deferred cell's handler, which
// runs the command's plain handler as if the dispatcher had met that handler in the cell.
static struct {
  CodeCell* command = nullptr;
  CommandHandler plain = nullptr;
} gDeferred;
static void CmdRunDeferred() {
  gSlice.command = gDeferred.command;
  OperandPointer = gDeferred.command + 1;
  gDeferred.plain();
}
static CodeCell gDeferredCell[2] = {reinterpret_cast<CodeCell>(CmdRunDeferred), 0};

CodeCell* DeferToPlainHandler(CodeCell* command, CommandHandler plain) {
  gDeferred.command = command;
  gDeferred.plain = plain;
  return gDeferredCell;
}

void CmdQuitAtUnknownCommand() {
  OperandPointer -= 1;
  RequestQuit();
  Dispatcher.stop = 1;
}

void ResetDispatcher() {
  Dispatcher.stop = 1;
  Dispatcher.autoRefresh = 1;
  Dispatcher.drawStop = 1;
  Dispatcher.inputRepoll = 0;
  gSlice.sliceLength = gSliceLengthOverride != 0 ? gSliceLengthOverride : 33;
  gSlice.sliceStart = PlatformMilliseconds();
  gSlice.commandCounter = 0;
  gSlice.batch = kCostPerClockCheck;
  gSlice.command = nullptr;
  ReleaseScratchSlot();
  FlushCommandTrace();
  gTrace.written.clear();  // a new run: QV.LOG may have been started afresh
}

// The debug trace: one QV.LOG entry per command run, key "PC<code position>", value the
// command number, in section QUORVANELLOOPMIDDLE. Rewriting the file for every command made
// a debug run crawl, so the entries the file does not hold yet are kept here and written in
// one go at the end of each slice (and before any other QV.LOG entry); the file ends the same.
static void TraceCommand(long position, int32_t number) {
  if (gTrace.written.size() != static_cast<size_t>(Program().codeWords)) gTrace.written.assign(Program().codeWords, -1);
  CodeCell& written = gTrace.written[static_cast<size_t>(position)];
  if (written == number) return;  // the file holds this entry already
  written = number;
  gTrace.pending.emplace_back("PC" + std::to_string(position), std::to_string(number));
}

void FlushCommandTrace() {
  if (gTrace.pending.empty()) return;
  PlatformWriteProfileStrings(LogFilePath().c_str(), "QUORVANELLOOPMIDDLE", gTrace.pending);
  gTrace.pending.clear();
}

// Runs commands until their costs reach count or one ends the slice; returns the cost run. A
// fast form costs 1 and a plain handler PlainCost (automatic mode: kPlainCommandCost; manual
// mode counts commands). A fault escaping a handler is error 10010, which ends the slice. Fast
// forms run with the place in a local; OperandPointer and the running command are set for a
// plain handler only (a fast form raises no error and ends no slice).
template <int32_t PlainCost>
static int32_t RunCommands(int32_t count) {
  int32_t left = count;
  try {
    CodeCell* at = OperandPointer;
    while (left > 0) {
      const CodeCell cell = *at;
      if (static_cast<uintptr_t>(cell) < kFastFormLimit) {
        --left;
        at = FastForms[cell](at + 1);
        // Up to three more fast forms in a row, each called from a site of its own: the
        // processor predicts each site's target from what usually follows it there, as it
        // would in threaded code (a tenth off an arithmetic loop).
#pragma GCC unroll 3
        for (int more = 0; more < 3; ++more) {
          if (left <= 0 || static_cast<uintptr_t>(*at) >= kFastFormLimit) break;
          --left;
          at = FastForms[*at](at + 1);
        }
        continue;
      }
      left -= PlainCost;
      gSlice.command = at;
      OperandPointer = at + 1;
      reinterpret_cast<CommandHandler>(cell)();
      at = OperandPointer;
      if (Dispatcher.stop) break;
    }
    OperandPointer = at;
  } catch (const std::bad_alloc&) {
    RuntimeError(101);  // a stack or a library's buffer that could not grow: the program ran out of memory
  } catch (...) {
    RuntimeError(10010);
  }
  return count - left;
}

// The same with the debug trace: one entry per command, and the plain handler of each
// command number run in place of the loader's fused pairs, so the trace shows every command.
template <int32_t PlainCost>
static int32_t RunTracedCommands(int32_t count) {
  const LoadedProgram& program = Program();
  int32_t left = count;
  try {
    while (left > 0 && !Dispatcher.stop) {
      left -= PlainCost;  // every command runs its plain handler here
      const long position = OperandPointer - program.code.data();
      CommandHandler handler = CmdQuitAtUnknownCommand;  // the cell after the code
      if (position >= 0 && position < program.codeWords) {
        const int32_t number = program.words[static_cast<size_t>(position)];
        TraceCommand(position, number);
        if (CommandHandler plain = HandlerForCommand(number)) handler = plain;
      }
      gSlice.command = OperandPointer++;
      handler();
    }
  } catch (const std::bad_alloc&) {
    RuntimeError(101);  // a stack or a library's buffer that could not grow: the program ran out of memory
  } catch (...) {
    RuntimeError(10010);
  }
  return count - left;
}

void ExecuteCommands() {
  if (!DisplayActive()) return;
  Dispatcher.inputRepoll = 0;
  gSlice.sliceStart = PlatformMilliseconds();
  if (!Program().loaded) {  // nothing to run is running into the closing word
    RequestQuit();
    Dispatcher.stop = 1;
  }
  const bool trace = Settings().debugMode;
  uint32_t lastCheck = gSlice.sliceStart;
  while (!Dispatcher.stop) {
    if (Dispatcher.autoRefresh) {
      const int32_t batch = gSlice.batch;
      const int32_t ran = trace ? RunTracedCommands<kPlainCommandCost>(batch) : RunCommands<kPlainCommandCost>(batch);
      const uint32_t now = PlatformMilliseconds();
      if (now - gSlice.sliceStart > gSlice.sliceLength) Dispatcher.stop = 1;
      // About a millisecond per batch: slow commands shrink it, fast ones let it grow back.
      const uint32_t took = now - lastCheck;
      lastCheck = now;
      if (ran >= batch) {
        const int64_t next = took == 0 ? int64_t{batch} * 2 : int64_t{batch} / took;
        gSlice.batch = static_cast<int32_t>(next < 1 ? 1 : next > kCostPerClockCheck ? kCostPerClockCheck : next);
      }
    } else {
      const int32_t batch = kManualCheckInterval + 1 - gSlice.commandCounter;
      gSlice.commandCounter += trace ? RunTracedCommands<1>(batch) : RunCommands<1>(batch);
      if (gSlice.commandCounter > kManualCheckInterval) {
        // Outside a player run (warnings on) F11 or F12 breaks into a program stuck in one slice.
        if (!WarningsOff() && (PlatformKeyHeld(kPlatformKeyF11) || PlatformKeyHeld(kPlatformKeyF12)))
          Dispatcher.stop = 1;
        if (Hooks.DrawQueueCount() > 32000) Dispatcher.stop = 1;
        if (PlatformStopSignal() != 0) Dispatcher.stop = 1;  // a stopped run leaves even a loop without sync
        gSlice.commandCounter = 0;
        Dispatcher.inputRepoll = 1;
      }
    }
  }
  gSlice.command = nullptr;
  FlushCommandTrace();
  Dispatcher.stop = 0;
}

int32_t RunningCommandIndex() {
  if (gSlice.command == nullptr || !CodeAddressValid(gSlice.command)) return -1;
  return static_cast<int32_t>(gSlice.command - Program().code.data());
}

// The number of the command being run; 0 outside one.
static int32_t RunningCommandNumber() {
  const int32_t index = RunningCommandIndex();
  if (index >= 0) return index < Program().codeWords ? Program().words[static_cast<size_t>(index)] : 0;
  return gSlice.command != nullptr ? gSlice.testNumber : 0;  // a test's cells, outside the code
}

// Runs only when a warning is raised, so the commands that raise none pay nothing for it.
void ClearResultOfRunningCommand() {
  const char kind = CommandResultKind(RunningCommandNumber());
  if (kind == 0) return;
  auto* result = reinterpret_cast<VariableSlot*>(gSlice.command[1]);
  if (SlotIndexOf(result) < 0) return;
  if (kind == 's') {
    if (SlotHoldsText(result)) StoreText(result, "");
  } else if (SlotTakesNumber(result)) {
    result->raw = 0;
  }
}

void RunCommandForTests(int number, CodeCell* command) {
  const CodeCell* const outer = gSlice.command;
  gSlice.command = command;
  gSlice.testNumber = number;
  OperandPointer = command + 1;
  if (CommandHandler handler = HandlerForCommand(number)) handler();
  gSlice.command = outer;
}
