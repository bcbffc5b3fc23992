// The dispatcher: the table of 10000 handlers filled at start-up, and the loop that runs
// the program one time slice at a time, catching faults that escape a handler.
#include <cstdio>
#include <exception>
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

// Reset by InitInterpreter.
static struct {
  uint32_t sliceStart = 0;
  uint32_t sliceLength = 33;
  int32_t commandCounter = 0;  // manual mode: checks every 200 commands
  const CodeCell* command = nullptr;  // the command word being run; null between slices
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
    }
  }
  return ok;
}

bool RegisterRuntimeCommands() {
  bool ok = RegisterCommands(kControlFlowCommands, kControlFlowCommandCount);
  ok = RegisterCommands(kOperatorCommands, kOperatorCommandCount) && ok;
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

void ResetDispatcher() {
  Dispatcher.stop = 1;
  Dispatcher.autoRefresh = 1;
  Dispatcher.drawStop = 1;
  Dispatcher.inputRepoll = 0;
  gSlice.sliceLength = gSliceLengthOverride != 0 ? gSliceLengthOverride : 33;
  gSlice.sliceStart = PlatformMilliseconds();
  gSlice.commandCounter = 0;
  gSlice.command = nullptr;
  ReleaseScratchSlot();
  FlushCommandTrace();
  gTrace.written.clear();  // a new run: QV.LOG may have been started afresh
}

// The debug trace: one QV.LOG entry per command run, key "PC<code position>", value the
// command number, in section QUORVANELLOOPMIDDLE. Rewriting the file for every command made
// a debug run crawl, so the entries the file does not hold yet are kept here and written in
// one go at the end of each slice (and before any other QV.LOG entry); the file ends the same.
static void TraceCommand(long position, CodeCell number) {
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

void ExecuteCommands() {
  if (!DisplayActive()) return;
  Dispatcher.inputRepoll = 0;
  gSlice.sliceStart = PlatformMilliseconds();
  const LoadedProgram& program = Program();
  // The code does not move during a slice: its bounds are taken once.
  const CodeCell* codeBegin = program.loaded ? program.code.data() : nullptr;
  const CodeCell* codeEnd = codeBegin != nullptr ? codeBegin + program.codeWords : nullptr;
  const bool trace = Settings().debugMode;
  while (!Dispatcher.stop) {
    // Running off the end of the code is running into the closing word 0.
    const bool inside = OperandPointer >= codeBegin && OperandPointer < codeEnd;
    CodeCell word = inside ? *OperandPointer : 0;
    if (trace && inside) TraceCommand(OperandPointer - codeBegin, word);
    CommandHandler handler = word > 0 && word < kCommandTableSize ? gHandlers[word] : nullptr;
    if (handler == nullptr) {
      RequestQuit();
      Dispatcher.stop = 1;
      break;
    }
    gSlice.command = OperandPointer++;
    try {
      handler();
    } catch (...) {
      RuntimeError(10010);
    }
    if (Dispatcher.autoRefresh) {
      if (PlatformMilliseconds() - gSlice.sliceStart > gSlice.sliceLength) Dispatcher.stop = 1;
    } else if (++gSlice.commandCounter > 200) {
      // Outside a player run (warnings on) F11 or F12 breaks into a program stuck in one slice.
      if (!WarningsOff() && (PlatformKeyHeld(kPlatformKeyF11) || PlatformKeyHeld(kPlatformKeyF12)))
        Dispatcher.stop = 1;
      if (Hooks.DrawQueueCount() > 32000) Dispatcher.stop = 1;
      if (PlatformStopSignal() != 0) Dispatcher.stop = 1;  // a stopped run leaves even a loop without sync
      gSlice.commandCounter = 0;
      Dispatcher.inputRepoll = 1;
    }
  }
  gSlice.command = nullptr;
  FlushCommandTrace();
  Dispatcher.stop = 0;
}

int32_t RunningCommandIndex() {
  const LoadedProgram& program = Program();
  if (gSlice.command == nullptr || !CodeAddressValid(gSlice.command)) return -1;
  return static_cast<int32_t>(gSlice.command - program.code.data());
}
