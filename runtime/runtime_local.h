// Declarations shared only inside the runtime core: the loaded program's tables, the
// control-flow state, the run loop pieces and what the tests drive directly.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/runtime.h"

// Cells after the last code word: the first holds the quit handler, so running off the end
// of the code is running into the closing word 0; the rest stay zero.
constexpr int kCodePadding = 16;
constexpr int kReturnStackSize = 65535;

// What a FUNCTION call made while a function runs saves of that function, and puts back
// when the call returns: its parameters and its own plain variables (never arrays), as the
// ownership lists give them. Built once, when the program is loaded.
struct LocalsPlan {
  std::vector<int32_t> numbers;  // integer and float slots, saved by value
  std::vector<int32_t> texts;    // text slots, saved as their characters
  // The numbers as runs of consecutive slots, in rising order: what a call copies (Finish).
  struct SlotRun {
    int32_t first, count;
  };
  std::vector<SlotRun> numberRuns;
  int32_t slotCount = 0;  // numbers and texts
  // The usual plan, numbers in one run and no texts: copied from runFirst on, slotCount of them.
  bool oneRun = false;
  int32_t runFirst = 0;
  // The owner bits of those slots (see FunctionFrame::reach): the first 64 as a mask, the
  // rest listed.
  uint64_t firstOwners = 0;
  std::vector<int32_t> moreOwners;
  bool empty = true;
  void AddOwner(int32_t bit) {
    if (bit < 64) firstOwners |= uint64_t{1} << bit;
    else moreOwners.push_back(bit);
  }
  // Once the slots are in: the numbers sorted, and their runs.
  void Finish();
};

// One FUNCTION as its calls see it, built when the program is loaded (one per entry). A call
// site's entry operand holds the address of its frame.
struct FunctionFrame {
  CodeCell* body = nullptr;        // the function's first command, after its parameter list
  int32_t parameterCount = 0;
  int32_t numberParameters = -1;   // parameterCount when no parameter is a text, else -1
  uint16_t id = 0;                 // the function's id (the word after its parameters)
  bool textParameters = false;
  std::vector<int32_t> parameters;  // the parameter slots, in order
  LocalsPlan locals;               // what calls made while it runs save of it
  // The owners whose variables a call of this function may change, as bits (owner id, and
  // one bit past the highest id for slots no list owns): what the code the call can reach
  // names, its own parameters, and the same of every function it calls. Unknown: anyone's.
  std::vector<uint64_t> reach;
  uint64_t firstReach = ~uint64_t{0};  // reach's first word, kept here for the calls
  bool reachKnown = false;
  // True when a call of this function may change a variable the plan saves.
  bool MayChange(const LocalsPlan& plan) const {
    if (!reachKnown || (plan.firstOwners & firstReach) != 0) return true;
    for (int32_t bit : plan.moreOwners)
      if ((reach[static_cast<size_t>(bit) >> 6] >> (bit & 63)) & 1) return true;
    return false;
  }
  // True when a call of this function made while the plan's function runs saves it: the plan
  // holds something the call may change. The last answer is kept (a function's calls are
  // mostly made from one caller).
  bool Saves(const LocalsPlan& plan) const {
    if (&plan != lastPlan) {
      lastPlan = &plan;
      lastSaves = !plan.empty && MayChange(plan);
    }
    return lastSaves;
  }
  mutable const LocalsPlan* lastPlan = nullptr;
  mutable bool lastSaves = false;
};

// A FUNCTION call site found by the loader's check: code positions of the call and of its
// function's entry, and its argument count.
struct CallSite {
  int32_t at, entry, count;
};

// A call site as the calls see it (a call's entry operand holds its address): the function it
// calls and, where the loader found the function whose body holds the call, what a call made
// there while that function runs must save of it (null: nothing; see FindCallSaves).
struct CallSiteFrame {
  const FunctionFrame* callee = nullptr;
  // For the returns' fast forms: the call's result slot when it takes a number (a number
  // temporary or plain variable; null otherwise), and the command after the call.
  VariableSlot* numberResult = nullptr;
  CodeCell* resume = nullptr;
  const FunctionFrame* caller = nullptr;  // null: the running function's whole plan is saved
  const LocalsPlan* saves = nullptr;      // &plan, or null when nothing needs saving
  LocalsPlan plan;
};

// What each call site must save of the function it is made from (call_saves.cpp), per call in
// the order of the calls: the frame whose body holds the call (-1 where the loader cannot
// vouch for it, the call then saves the running function's whole plan), and the slots of that
// frame's plan that code after the call may read before writing them. mayReach tells whether
// the code a call can run may read a slot (by the owners it names).
struct LoadedProgram;
struct CallSaves {
  int32_t caller = -1;
  std::vector<int32_t> slots;
};
using CalleeMayReach = std::function<bool(const FunctionFrame& callee, int32_t slot)>;
std::vector<CallSaves> FindCallSaves(const LoadedProgram& program, const std::vector<CallSite>& calls,
                                     const std::vector<int32_t>& frameOfCall, const CalleeMayReach& mayReach);

// The loaded program: filled by LoadCompiledProgram, cleared by FreeCompiledProgram.
struct LoadedProgram {
  // codeWords cells + kCodePadding; a command's cell holds its handler's address, an
  // operand's the relocated operand.
  std::vector<CodeCell> code;
  int32_t codeWords = 0;
  std::vector<int32_t> words;    // the code words as the file holds them (command numbers)
  std::vector<uint8_t> commandStarts;  // 1 per code word the loader checked as a command (+1 after)
  std::vector<int32_t> lines;    // source line of each code word
  std::vector<uint8_t> dataTypes;  // 'l', 'f' or 's' per DATA item
  int32_t dataCount = 0;
  std::vector<uint32_t> owners[3];  // FUNCTION id per int, float, text variable slot
  // The variable slots each FUNCTION id owns, from the ownership lists, in the order a call
  // saves them (integers, floats, texts): function f's run from localsStart[f] to
  // localsStart[f + 1] in localSlots (ids past the end own none).
  std::vector<int32_t> localSlots;
  std::vector<int32_t> localsStart;
  // The owner of each variable slot 3000-8999 (indexed from 3000); 0x10000 for none.
  std::vector<uint32_t> slotOwners;
  // The functions the calls name, and per owner id what a call made inside a GOSUB saves
  // of the function that runs (its own plain variables). Sized once: calls hold addresses.
  std::vector<FunctionFrame> frames;
  std::vector<LocalsPlan> ownerLocals;
  std::vector<CallSiteFrame> callSites;  // one per call command, in the order the check met them
  bool loaded = false;
};
LoadedProgram& Program();
bool CodeAddressValid(const CodeCell* address);
// True when the cell is one the loader checked as a command (or the place after the code):
// only there may a handler that goes on by itself, outside the checked paths, continue.
bool CommandStartsAt(const CodeCell* address);

// The operand kinds of a command, one letter per operand word; null when unknown.
//   l f s  an integer, float or text slot read: a temporary, variable or constant of the kind
//   L F S  a slot written with that kind: a temporary or variable of the kind
//   E      a temporary of any kind (where an array command keeps an element)
//   a      an array: a variable slot that no command uses as a plain variable
//   c      a code position: the cell of a command
//   n      a plain number (25000-34999 in the file)
//   w      any word (not used by the handler)
//   X      a FUNCTION call's result: a temporary or variable of any kind
//   k      a FUNCTION call's argument count: an integer constant, followed by as many
//          arguments, each of the kind of the called function's parameter
// The keyword table gives the signatures of its commands and functions (a function's result
// letter becomes L, F or S); the commands the translator writes by itself have their own.
const char* CommandOperandKinds(int number);
// The result type of a value-returning command of the keyword table ('l', 'f' or 's'; its
// operand 0 is the result), 0 for any other number.
char CommandResultKind(int number);
// A warning raised inside a value-returning command gives its result 0 (or "" for a text),
// so a command that warns and writes nothing leaves no stale value behind; a handler that
// writes its own value after the warning overrides it. RuntimeWarning calls it.
void ClearResultOfRunningCommand();
// Tests: runs the handler of a number on operands outside the program's code as the
// dispatcher runs a command: command is the command's cell, its operands follow it.
void RunCommandForTests(int number, CodeCell* command);
// True for a keyword function (its result goes to operand 0, as a plain store).
bool CommandIsFunction(int number);
// True for a command that writes operand 0 without reading it first and never through the
// element address a temporary there may hold: the operators and assignments, MOD and the
// functions (the loader's analyses of element addresses and of what calls save ask).
bool CommandOnlyWritesOperand0(int number);
// A registration's own operand kinds (CommandEntry::operands) for a number.
void SetCommandOperandKinds(int number, const char* kinds);
// The keyword table built into the executable (data/keywords.txt).
std::string_view EmbeddedKeywordText();

// True for a command no path goes on past to the next word (jumps, END, FUNCTION returns).
bool CommandEndsPath(int32_t number);
// The loader's last step (code_prepare.cpp): builds each called function's frame and puts
// its address in the entry operand of every call of it. roles holds, per variable slot from
// 3000, 1 for a slot the code uses as a plain variable, 2 as an array, 0 when unused.
void BuildFunctionFrames(LoadedProgram& program, const std::vector<CallSite>& calls, const std::vector<uint8_t>& roles);

// Checks the relocated code once, at load: follows every path from word 0 (fall-through,
// jumps, FUNCTION entries), checks each command's operands against its kinds, and refuses
// jumps into an operand or outside the code. Then puts each command's handler in its cell
// (the quit handler for a number without one, and after the last word) and fuses hot pairs.
// False with the reason when the code is refused. Handlers must be registered first.
bool PrepareCode(LoadedProgram& program, std::string* whyNot);
// Tests: whether the loader fuses commands and gives them fast forms (compare and jump, pairs,
// constant divisors, element reads: on by default); off, every command runs its plain handler.
void SetCommandFusionForTests(bool on);
// Tests: whether a call saves only what code after it may read of the function making it (on
// by default); off, a call saves the running function's whole plan.
void SetCallSavesForTests(bool on);
// The one-index element read of an integer or float array as the loader places it (the
// array commands' own): keeping the element's address for a store or READ through its
// temporary, or not, where the loader found that nothing can use it; null when the array
// commands are not registered.
CommandHandler NumberElementReadHandler(bool keepsAddress);
// Runs when the dispatcher meets a number without a handler (the closing word 0): posts the
// quit, leaves OperandPointer on the word and ends the slice, without an error.
void CmdQuitAtUnknownCommand();
// Fused pairs (the plain handlers stay for the trace and for jumps into the second command):
// a comparison followed by a conditional jump on its result (null when the comparison has no
// fused form), and a jump back to a FOR step.
// The comparisons and AND/OR are fused that way. A jump onto such a fused test runs it too
// (the test raises no error, so the jump's line stands for both).
CommandHandler FusedCompareJumpHandler(int compareNumber);
void CmdJumpToForStep();
void CmdJumpThenRunTarget();
// Their fast forms, and the plain jump's (the command pairs end with them too).
using CodeCellPointer = CodeCell*;
CodeCellPointer FastJump(CodeCell* operands);
CodeCellPointer FastJumpToForStep(CodeCell* operands);
CodeCellPointer FastJumpThenRunTarget(CodeCell* operands);
// A FUNCTION call and the number returns, plain and fast (the command pairs end with them too).
void CmdCallFunction();
void CmdReturnInt();
void CmdReturnFloat();
CodeCellPointer FastCallFunction(CodeCell* operands);
CodeCellPointer FastReturnInt(CodeCell* operands);
CodeCellPointer FastReturnFloat(CodeCell* operands);

// Fast forms of the commands loops spend their time in (arithmetic, comparisons, assignments,
// jumps, the FOR step): each takes the cell after its command word and returns the cell of the
// command to run next, so the dispatcher keeps its place in a register instead of going
// through OperandPointer. A fast form raises no error and never ends the slice. The loader
// puts the form's number (below kFastFormLimit, never a handler's address) in the cell.
using FastHandler = CodeCell* (*)(CodeCell* operands);
// For a fast form that cannot finish its command on its own (it would raise an error): the
// cell to return, which makes the dispatcher run the command's plain handler instead.
CodeCell* DeferToPlainHandler(CodeCell* command, CommandHandler plain);
// The plain handler of a fast form: the same operation through OperandPointer (the debug
// trace, jumps the loader did not convert, tests calling handlers).
template <FastHandler Fast>
void RunFastForm() { OperandPointer = Fast(OperandPointer); }
// A command with a fast form; number 0 for a fused pair, which has no number of its own. A
// comparison also has a form fused with the conditional jump on its result after it.
struct FastCommand {
  int number;
  CommandHandler plain;
  FastHandler fast;
  CommandHandler fusedPlain = nullptr;
  FastHandler fusedFast = nullptr;
};
template <FastHandler Fast>
constexpr FastCommand FastCommandFor(int number) { return {number, RunFastForm<Fast>, Fast}; }
template <FastHandler Fast, FastHandler Fused>
constexpr FastCommand FastCommandFor(int number) {
  return {number, RunFastForm<Fast>, Fast, RunFastForm<Fused>, Fused};
}
// The fast form of two commands in a row (by their plain handlers, after the compare and
// jump fusion), or null when the pair has none; and the fast form of a division or MOD
// command whose divisor is a constant other than zero. Registered by RegisterOperatorPairs.
CommandHandler PairedHandler(CommandHandler first, CommandHandler second);
CommandHandler ConstantDivisorHandler(int number);
bool RegisterOperatorPairs();
extern const FastCommand kOperatorFastCommands[];
extern const size_t kOperatorFastCommandCount;
extern const FastCommand kControlFlowFastCommands[];
extern const size_t kControlFlowFastCommandCount;
// Registers the plain handlers (as RegisterCommands) and numbers the fast forms.
bool RegisterFastCommands(const FastCommand* entries, size_t count);
// The number of the fast form whose plain handler this is, or 0.
uintptr_t FastFormNumber(CommandHandler plain);
constexpr uintptr_t kFastFormLimit = 512;
// The fast forms by number (0 unused). Owned by the dispatcher; lives for the process.
extern FastHandler FastForms[kFastFormLimit];
// The fast form a code cell holds, or null when it holds a plain handler.
inline FastHandler FastFormOfCell(CodeCell cell) {
  return static_cast<uintptr_t>(cell) < kFastFormLimit ? FastForms[cell] : nullptr;
}

// Array element counts of the variable slots 3000-8999 (0 = no array), indexed from slot
// 3000; cleared when the program is freed. Owner: runtime/loader.cpp.
extern int32_t ArrayElementCounts[kFirstIntConst - kFirstIntVar];
// A variable slot (3000-8999) that holds an array; the calls' hot path asks this.
inline bool VariableIsArray(int slot) { return ArrayElementCounts[slot - kFirstIntVar] != 0; }

// a$ = a$ + b$: appends text to the slot's own text when its block has room for the whole
// (at most 255 characters); false, and nothing done, otherwise.
bool AppendTextInPlace(VariableSlot* slot, const char* text, size_t length);

// Control-flow state: reset when a program is loaded and by InitInterpreter.
void ResetControlFlow();
int32_t ReturnDepth();

// The core family's tables (control flow, operators, refresh commands).
extern const CommandEntry kControlFlowCommands[];
extern const size_t kControlFlowCommandCount;
extern const CommandEntry kOperatorCommands[];
extern const size_t kOperatorCommandCount;
extern const CommandEntry kRefreshCommands[];
extern const size_t kRefreshCommandCount;

bool WarningsOff();
// The file a command names (before the package lookup maps it), kept for the report of a
// warning the command raises; MapProgramPath and the package lookup call it.
void NoteProgramFileName(const char* name);
// At every program start: warnings reported before are reported again.
void ForgetReportedWarnings();
// The source file the driver's `run` runs ("" for a game and the environment).
const std::string& RunSourceName();
// The error-text slot of an error number, or -1. data/lang/*/WORDS.TXT, section ERRORS,
// lists its texts in this slot order.
int ErrorSlotOfNumber(int number);
// The window procedure: one translated message (the main loop and the tests feed it).
struct PlatformMessage;
void HandleWindowMessage(const PlatformMessage& message);
// The main loop's pre-step; false when the pass is skipped (the display is not back yet).
bool RunPreStepForTests();

// END's flag for the shell: the run ends silently with status 0.
void SetEndedByProgram(bool ended);
bool EndedByProgram();

// Slice timing (set by InitInterpreter).
void ResetDispatcher();
void SetSliceLengthForTests(uint32_t milliseconds);
// The slot handed out for operands that address no slot of the right kind; cleared when a
// program is freed. It takes numbers only.
void ReleaseScratchSlot();
bool IsScratchSlot(const VariableSlot* slot);

// Runs the loaded program without the window loop, slice after slice, until it quits or
// maxSlices pass; tests of whole programs use it. Returns false when it did not quit.
bool RunLoadedProgramUntilQuit(int maxSlices);
// Clears the posted quit (between in-process runs).
void ClearQuitRequest();

// Tests: what the media walk of a game build asks at each file to stop (null: Esc held).
void SetPackageBuildStopCheck(bool (*stopAsked)());

// Package reading and writing over a byte image (the fuzz target and tests use these).
struct PackageEntryView {
  std::string name;  // lower-cased
  const uint8_t* data;  // inside the image parsed (null for the running game's file)
  uint32_t size;
  uint64_t offset;  // of the data in the file
};
// The entry whose data name the media folder a game was built from (its own name, "media"):
// a program's "media/ball.bmp" finds the packed "ball.bmp". Media names are paths inside the
// folder, so none starts with "\\".
inline constexpr char kMediaFolderEntry[] = "\\media";
// Parses the package at the end of image; false (no entries) when there is none or it is
// malformed, with the reason in whyNot.
bool ParsePackage(const std::vector<uint8_t>& image, std::vector<PackageEntryView>* entries,
                  std::string* whyNot);

// True when the package read last (and still open) came from this executable: the player
// runs it without reading the file a second time.
bool PackageOpenFrom(const char* executablePath);

// The number of every command of a compiled program, as the loader finds them on its paths
// (the game builder judges from them what a game carries). Loads the program to check it and
// frees it again: false with the reason when it is refused, or while a program is loaded.
bool ListProgramCommands(const std::vector<uint8_t>& program, std::vector<int32_t>* numbers, std::string* whyNot);
// The package at the end of size bytes, as ParsePackage.
bool ParsePackageBytes(const uint8_t* image, size_t size, std::vector<PackageEntryView>* entries, std::string* whyNot);

// Reads bytes [offset, end of file) of a file in one read; false when it cannot be read.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes, uint64_t offset = 0);

// Removes the run's own temporary folder with whatever is left in it (shut-down).
void RemoveRunFolder();
// The start-up's: removes run folders (and the driver's compiled files) left in the private
// temporary folder by processes that no longer exist.
void RemoveStaleRunFolders();
// Folders the tests may point elsewhere.
void SetFoldersForTests(const std::string& executableFolder, const std::string& temporaryFolder);
// Where QV.LOG goes: the executable's folder, or beside WIN.INI when that is not writable.
std::string LogFilePath();
// Writes the debug-trace entries still held in memory to QV.LOG (the end of every slice does).
void FlushCommandTrace();
