// The runtime core's front door: handler convention and operand access, errors, the
// dispatcher's flags, string slots, record pools, the package lookup, folders and the hooks.
#pragma once
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// ---------------------------------------------------------------------------------------
// Code array and variable table
// ---------------------------------------------------------------------------------------

// One relocated code word. The compiled file holds 32-bit words; in memory every word is
// pointer-sized so an operand can be the direct address of a variable slot or code word.
using CodeCell = intptr_t;

// One variable-table slot (also one array element): an integer, a float kept as its bits,
// or the address of a zero-terminated text owned by the slot (null = no text yet; the text
// is a block of CopyText's, with its length before it: see TextLength).
union VariableSlot {
  int32_t asInt;
  float asFloat;
  char* asText;
  void* asBlock;  // an array's element block (slots 3000-8999)
  uint64_t raw;   // the whole cell, for bit copies
};
static_assert(sizeof(VariableSlot) == 8);

constexpr int kVariableSlots = 29000;
constexpr int kFirstIntTemp = 0, kFirstFloatTemp = 1000, kFirstTextTemp = 2000;
constexpr int kFirstIntVar = 3000, kFirstFloatVar = 5000, kFirstTextVar = 7000;
constexpr int kFirstIntConst = 9000, kFirstFloatConst = 11000, kFirstTextConst = 13000;
constexpr int kFirstDataItem = 15000;
constexpr int kMaxTextLength = 255;  // every text a command makes fits 255 characters

// The program counter: before a handler runs it points at the handler's operand 0.
// Owner: runtime/dispatcher.cpp.
extern CodeCell* OperandPointer;
// The variable table of the loaded program (null when none). Owner: runtime/loader.cpp.
extern VariableSlot* VariableTable;
// The address of the array element last fetched into each temporary 0-2999; READ and the
// assignments store through it. Written by the array commands. Owner: runtime/loader.cpp.
extern VariableSlot* ElementAddressTable[3000];

// ---------------------------------------------------------------------------------------
// Handler convention
// ---------------------------------------------------------------------------------------

// A handler takes nothing and returns nothing; it reads its operands through
// OperandPointer and moves it past all of them on every path (also after an error).
using CommandHandler = void (*)();
struct CommandEntry {
  int number;  // 1..9999
  CommandHandler handler;
  // The operand kinds (see CommandOperandKinds) of a command that has no keyword and is not
  // one the translator writes (tests' own commands); null takes the built-in signature.
  const char* operands = nullptr;
};
constexpr int kCommandTableSize = 10000;

// main.cpp (and tests) register each command family's table once at start-up. Returns
// false, printing the clash on stderr, when a number is out of range or already taken.
bool RegisterCommands(const CommandEntry* entries, size_t count);
template <size_t N>
bool RegisterCommands(const CommandEntry (&table)[N]) {
  return RegisterCommands(table, N);
}
// The runtime core's own family (control flow, operators, refresh modes, END, frame rate).
bool RegisterRuntimeCommands();
// The handler registered for a number, or null. Used by tests and the keyword check.
CommandHandler HandlerForCommand(int number);
// Forgets every registration; tests only.
void ClearCommandRegistry();

// Raised when an operand does not address what its handler expects (a corrupt program):
// error 10010, and a scratch slot is handed out so the handler can finish safely.
VariableSlot* ReportBadSlotOperand();
// Slot kinds: a text slot (text temporaries, variables, constants and DATA texts) owns a
// heap text and an array slot its element block, so a number must never be written over
// either, and only a text slot may be read as a text. Addresses outside the table (array
// elements) are trusted.
bool SlotHoldsText(const VariableSlot* slot);
bool SlotTakesNumber(const VariableSlot* slot);
// Checks an operand against what its accessor expects; only built with QV_DEBUG_OPERANDS.
VariableSlot* CheckSlotOperand(CodeCell cell);
VariableSlot* CheckNumberDestination(VariableSlot* slot);
VariableSlot* CheckTextOperand(VariableSlot* slot);

// Operand access. The loader checked every operand of every reachable command against its
// command's signature (a slot of the right kind and band, a code position at a command, a
// plain number), so these are plain reads. Building with QV_DEBUG_OPERANDS checks each use
// again at run time (error 10010 and a scratch slot), to hunt for a hole in the loader's check.
// SlotAt reads operand i of the operands at `operands` (the fast forms keep their own pointer).
#ifdef QV_DEBUG_OPERANDS
inline VariableSlot* SlotAt(const CodeCell* operands, int i) { return CheckSlotOperand(operands[i]); }
#else
inline VariableSlot* SlotAt(const CodeCell* operands, int i) { return reinterpret_cast<VariableSlot*>(operands[i]); }
#endif
inline VariableSlot* SlotOperand(int i) { return SlotAt(OperandPointer, i); }

// The empty text a text slot without text reads as (TextLength works on it too).
extern const char* const kEmptyText;

// Values of operand i read through its slot; a text slot without text reads as kEmptyText.
inline int32_t IntOperand(int i) { return SlotOperand(i)->asInt; }
inline float FloatOperand(int i) { return SlotOperand(i)->asFloat; }
inline const char* TextOperand(int i) {
#ifdef QV_DEBUG_OPERANDS
  const VariableSlot* slot = CheckTextOperand(SlotOperand(i));
#else
  const VariableSlot* slot = SlotOperand(i);
#endif
  return slot->asText != nullptr ? slot->asText : kEmptyText;
}
// The slot operand i names, for a number to be stored into (never a text or array slot).
inline VariableSlot* NumberDestinationAt(const CodeCell* operands, int i) {
#ifdef QV_DEBUG_OPERANDS
  return CheckNumberDestination(SlotAt(operands, i));
#else
  return SlotAt(operands, i);
#endif
}
inline VariableSlot* NumberDestination(int i) { return NumberDestinationAt(OperandPointer, i); }
// Operand i taken as the plain number it holds (labels, DATA positions, small literals).
inline int32_t NumberOperand(int i) { return static_cast<int32_t>(OperandPointer[i]); }
// Operand i taken as the address of a code word (jump targets): always a command's cell.
inline CodeCell* CodeOperand(int i) { return reinterpret_cast<CodeCell*>(OperandPointer[i]); }
// Results go through operand 0.
inline void WriteIntResult(int32_t value) { NumberDestination(0)->asInt = value; }
inline void WriteFloatResult(float value) { NumberDestination(0)->asFloat = value; }
bool WriteTextResult(const char* text);  // as StoreText into operand 0's slot
bool WriteTextResultOfLength(const char* text, size_t length);  // as StoreTextOfLength
// Moves OperandPointer past n operand words.
inline void AdvanceOperands(int n) { OperandPointer += n; }
// The slot number (0..28999) of a slot address inside the variable table, else -1. Inline:
// the fast forms of array commands use it on every element.
inline int SlotIndexOf(const VariableSlot* slot) {
  if (VariableTable == nullptr) return -1;
  uintptr_t offset = reinterpret_cast<uintptr_t>(slot) - reinterpret_cast<uintptr_t>(VariableTable);
  if (offset >= kVariableSlots * sizeof(VariableSlot) || offset % sizeof(VariableSlot) != 0) return -1;
  return static_cast<int>(offset / sizeof(VariableSlot));
}

// Arrays: a variable slot 3000-8999 that is an array holds in asBlock a calloc'ed block of
// VariableSlot elements (text elements own their texts). The array commands record the
// element count here (0 = not an array); the runtime frees the blocks when the program is
// freed and leaves arrays out when it saves a FUNCTION's locals.
void SetArrayElementCount(int slot, int32_t count);
int32_t ArrayElementCount(int slot);
// Frees the array a slot holds (with its element texts), forgets every element address
// that points into it and leaves the slot zero; nothing when the slot is no array. UNDIM,
// a second DIM and the end of a run all free arrays through this.
void FreeArrayOfSlot(int slot);

// ---------------------------------------------------------------------------------------
// Texts owned by slots
// ---------------------------------------------------------------------------------------

// Every text a slot owns sits in a heap block after this header; the slot's own block is
// reused by the next store that fits it.
struct TextHeader {
  uint16_t capacity;  // characters the block holds, without the NUL
  uint16_t length;    // characters of the text
};
// The length of a text a slot owns, or of what TextOperand returned (never of any other text).
inline size_t TextLength(const char* slotText) { return reinterpret_cast<const TextHeader*>(slotText)[-1].length; }

// Copies text into the slot (into its own block when it fits, else a new one), text may be
// part of the slot's own. A text over 255 characters raises error 107, a slot of the table
// that is no text slot error 10010, and a new block that memory or the program's memory
// limit refuses error 101; each leaves the slot as it was (false). Every text block counts
// against the program's memory (below).
bool StoreText(VariableSlot* slot, const char* text);
// The same for a text whose length is known (text need not end there).
bool StoreTextOfLength(VariableSlot* slot, const char* text, size_t length);
// A heap copy of text in a block of its own (its length before it), counted as a slot's; free
// with FreeText. Null, raising nothing, when memory or the limit refuses it.
char* CopyText(const char* text);
void FreeText(char* text);  // nothing for null

// ---------------------------------------------------------------------------------------
// Program memory (owner: runtime/program_memory.cpp)
// ---------------------------------------------------------------------------------------

// Arrays and texts together hold at most this much (less when the machine has less to give):
// past it a program ends with error 101 before the system runs out of memory.
constexpr size_t kProgramMemoryLimit = size_t{1} << 30;
// Bytes the arrays and texts hold now (exact: every block counted when made, given back when
// freed) and the most they may; read inline on the hot path of text stores.
// Owner: runtime/program_memory.cpp.
struct ProgramMemoryCount {
  size_t inUse;
  size_t limit;
};
extern ProgramMemoryCount ProgramMemory;
// Counts bytes a block is about to take; false, counting nothing, when they would pass the
// limit. Every array block and text block is counted once, and given back when freed.
inline bool TakeProgramMemory(size_t bytes) {
  if (ProgramMemory.inUse + bytes > ProgramMemory.limit) return false;
  ProgramMemory.inUse += bytes;
  return true;
}
inline void GiveBackProgramMemory(size_t bytes) {
  assert(bytes <= ProgramMemory.inUse);  // a block given back twice, or never counted
  ProgramMemory.inUse -= bytes;
}
// What a block of `bytes` takes from the heap: the allocator adds a word of its own and rounds
// to 16 bytes, 32 at least.
inline size_t AllocationFootprint(size_t bytes) {
  const size_t footprint = (bytes + sizeof(size_t) + 15) & ~size_t{15};
  return footprint < 32 ? 32 : footprint;
}
// Error 101; over the limit, the message says the limit.
void RaiseOutOfMemory(bool overLimit);
size_t ProgramMemoryInUse();
// The loader's, before it makes a program's texts: kProgramMemoryLimit, or half of what
// the machine lets this process still take when that is less; QV_MEMORY_LIMIT (MiB) replaces it.
void ChooseProgramMemoryLimit();
// Tests: a limit that replaces the chosen one (0 goes back to choosing).
void SetProgramMemoryLimitForTests(size_t bytes);

// ---------------------------------------------------------------------------------------
// Errors, warnings, the end of a run
// ---------------------------------------------------------------------------------------

// The one way a command reports failure: stops the slice and ends the run after it.
void RuntimeError(int number);
// Warnings are silent during a player run (the run goes on; `quorvanel run` reports each
// distinct one once on stderr, debug mode logs it to QV.LOG); otherwise they stop the run
// like an error.
void RuntimeWarning(int number);
// The same with words of its own (which part of a file, what limit): the message of a stopped
// run says them in place of the engine's last error, and a silent warning's report after its text.
void RuntimeWarningSaying(int number, const std::string& detail);
// An error with words of its own, said as RuntimeWarningSaying's.
void RuntimeErrorSaying(int number, const std::string& detail);
int RuntimeErrorNumber();          // 0 = none
int RuntimeErrorLine();            // source line of the failing command; 0 = none
bool RuntimeErrorIsWarning();
void ClearRuntimeError();          // tests and the environment between runs
void SetWarningsOff(bool off);     // the player silences warnings for the run
// "Runtime Error N : ..." / "System Error N : ..." with the slot text, the engine error and
// the file the failing command named (": no such file" when it was not there), then
// "at line N" when the error came from a command of the program (unless withLine is off).
std::string FormatRuntimeErrorText(bool withLine = true);
// Error-text slots: the runtime's table and the language file's ERRORS section hold this many.
constexpr int kErrorTextSlots = 256;
// Text of the error-text slot of a number ("ERROR <slot>" until a language file fills it;
// "ERROR <number>" for a number that has no slot).
std::string ErrorText(int number);
void SetErrorSlotText(int slot, const char* text);  // the environment's language file
// Writes one QV.LOG entry, section ERRORLOG, key "<prefix> ON d/m/y AT h:m:s PID n" (UTC),
// only in debug mode. Runtime errors use "RUNTIMEERROR", engine set-up failures "ENGINEERROR".
void LogErrorEntry(const char* keyPrefix, const char* text);
// Ends the run like the window's close: the main loop sees it on its next pass.
void RequestQuit();
bool QuitRequested();

// ---------------------------------------------------------------------------------------
// Dispatcher flags (owner: runtime/dispatcher.cpp; reset by InitInterpreter)
// ---------------------------------------------------------------------------------------

struct DispatcherFlags {
  uint8_t stop;          // ends the slice after the current command
  uint8_t autoRefresh;   // 1 in automatic refresh mode (404), 0 in manual (403)
  uint8_t drawStop;      // equals autoRefresh; drawing commands copy it into stop
  uint8_t inputRepoll;   // asks the input commands to read the devices again
};
extern DispatcherFlags Dispatcher;
// 2D drawing and object-creating commands call this last: in automatic refresh mode it
// ends the slice so each drawing shows on its own frame.
inline void EndSliceAfterDrawing() {
  if (Dispatcher.drawStop) Dispatcher.stop = 1;
}
// A command that parks the program to wait (WAIT, a wait for a key) calls this each time it
// ends the slice to wait: the main loop's next pass makes no new picture, so the frame shown
// when the wait began stays on the screen for the whole wait.
void HoldPictureWhileWaiting();
// The code index of the command the dispatcher is running, or -1 outside a command (errors
// raised by the start-up, the frame steps or the shut-down).
int32_t RunningCommandIndex();
// Deferred work (the draw queue's replay) reports its errors at the line of the command that
// queued it: a recorder keeps RunningCommandIndex(), and the replay names that index here
// while it carries the work out (-1 when done).
void SetReplayingCommand(int32_t index);
// Runs one slice of the loaded program. The main loop calls it between pre- and post-step.
void ExecuteCommands();
// Long-running handlers call this so the window stays responsive.
void PumpMessagesOccasionally();

// ---------------------------------------------------------------------------------------
// Run state the commands read and write (owner: runtime/player.cpp unless said)
// ---------------------------------------------------------------------------------------

struct SetupSettings {  // read from SETUP.INI at start-up; lives for the process
  bool presentByBlit, windowMode, fullScreen, debugMode, traceMode, runtimeTest;
  int pasteTwiceCount;             // 1, or 2 with BLITOVERDRAW
  std::string externalEditorPath;  // empty when the file is missing
};
const SetupSettings& Settings();
SetupSettings& MutableSettings();  // tests, and the display-mode commands

bool DisplayActive();
void SetDisplayActive(bool active);
void SetEscQuits(bool on);  // the switch commands; on by default
bool EscQuits();
void SetFrameWait(int milliseconds);
int FrameWait();
// The screen-save command: the post-step saves the screen to the file once, by the name's
// last three letters (Hooks.SaveScreenToFile); a later request before that frame replaces it.
void RequestScreenSave(const char* fileName);
const char* CommandLineText();  // the command line, whole

// The one mouse state: the input poll (Hooks.PollInput) writes it, the mouse functions read it.
struct MouseState {         // cleared at every program start
  int x, y;                 // start 320, 240; on the picture (kept on it in full screen)
  int z;                    // the wheel position 0..99, start 50
  int buttons;              // bit 0 left, 1 right, 2 middle, 3 fourth
  int moveX, moveY, moveZ;  // movement sums since the functions last read them
};
constexpr MouseState kMouseAtStart = {320, 240, 50, 0, 0, 0, 0};
MouseState& Mouse();

// The typed-text buffer the window fills while text input is open (INPUT commands).
void OpenTypedText(int initialCapacity);
void CloseTypedText();
const char* TypedText();  // "" when closed
void ClearTypedText();
int LastTypedCharacter();
void SetLastTypedCharacter(int character);
void AppendTypedCharacter(int character);  // the window's character message
// Key presses the window has seen this run (WAIT KEY waits for the count to move).
uint32_t KeyPressCount();

// ---------------------------------------------------------------------------------------
// The checklist (owner: runtime/checklist.cpp; emptied by InitInterpreter)
// ---------------------------------------------------------------------------------------

// A list-making command (display modes, model frames, files, devices) fills it from entry 0
// up; the program reads it back by 1-based index through the checklist commands.
constexpr int kChecklistCapacity = 512;
struct ChecklistEntry {
  int32_t a, b, c, d;              // the four values; -1 in an empty list
  char text[kMaxTextLength + 1];   // "" in an empty list
};
struct ChecklistState {
  uint8_t made;          // 1 once a filling command produced a list
  uint8_t valuesValid;   // the entries' values mean something
  uint8_t stringsValid;  // the entries' texts mean something
  int32_t count;         // entries filled, 0..kChecklistCapacity
  ChecklistEntry entries[kChecklistCapacity];
};
const ChecklistState& Checklist();
// Flags 0, count 0, every entry's values -1 and its text "": program start and its command.
void EmptyChecklist();
// A filling command starts its list: count 0 and the flags it answers for.
void StartChecklist(bool made, bool valuesValid, bool stringsValid);
// The entry at the count, the count then one more; null when the list is full (a long list
// is cut at the capacity, never an error).
ChecklistEntry* AppendChecklistEntry();
// Copies text into an entry, cut to 255 characters.
void SetChecklistEntryText(ChecklistEntry& entry, const char* text);
// Appends an entry with the values and the text; false, storing nothing, when the list is full.
bool AddChecklistEntry(const char* text, int32_t a = 0, int32_t b = 0, int32_t c = 0, int32_t d = 0);

// ---------------------------------------------------------------------------------------
// Record pools (owner of each pool: the subsystem that defines its record)
// ---------------------------------------------------------------------------------------

// Every pooled record begins with these two links (indices, -1 = none).
struct RecordLinks {
  int32_t next;
  int32_t prev;
};
// One growable array of fixed-size records. The owner fills the configuration, registers
// the pool, and CreateRecordPools/FreeRecordPools create and free every registered pool.
// Records move when the pool grows: keep indices, never addresses, across an allocation.
struct RecordPool {
  const char* name;
  int32_t recordSize;          // bytes, at least sizeof(RecordLinks), trivially copyable
  int32_t initialCapacity;
  int32_t growMargin;          // grows when count > capacity - growMargin
  void (*initRecord)(void* record);     // defaults after the zero fill; may be null
  void (*releaseRecord)(void* record);  // frees what a record owns; may be null
  bool (*growParallel)(int32_t newCapacity);  // grows parallel data; may be null
  // state, managed by the functions below
  uint8_t* records;
  int32_t capacity, count, freeHead, usedHead, usedTail;
};
bool CreateRecordPool(RecordPool& pool);
// Index of a fresh zero-filled record at the tail of the used list; -1 with error 101.
int32_t AllocRecord(RecordPool& pool);
void FreeRecord(RecordPool& pool, int32_t index);
void DestroyRecordPool(RecordPool& pool);
inline void* RecordAddress(RecordPool& pool, int32_t index) {
  return pool.records + static_cast<size_t>(index) * static_cast<size_t>(pool.recordSize);
}
template <class Record>
Record* RecordAt(RecordPool& pool, int32_t index) {
  return static_cast<Record*>(RecordAddress(pool, index));
}
// Owners register their pools once (main.cpp wiring) before the player starts.
void RegisterRecordPool(RecordPool* pool);
bool CreateRecordPools();
void FreeRecordPools();

// ---------------------------------------------------------------------------------------
// Package, files and folders
// ---------------------------------------------------------------------------------------

// A file named by the program, looked up in the package first: a match is extracted to
// "_virtual.<extension>" in the temporary folder and name is replaced by that path.
bool ResolvePackagedFile(std::string& name, const char* extension);
// The same under the name's own extension ("dat" without one), for loaders that choose their
// decoder by it (a model's textures). A name that begins with the game's media folder's own
// name finds the file packed without it, in every lookup.
bool ResolvePackagedFile(std::string& name);
// How a built game holds its files, for the message of a file it does not find ("this game
// holds its files by their paths inside its media folder media, as ball.bmp or
// media/ball.bmp"); "" when no game's package with media files is open.
std::string PackedNamesNote();
// The same, comparing the name with the part of each entry name after its last "\".
bool ResolvePackagedFileByBaseName(std::string& name, const char* extension);
// 1 when the file (package first) can be opened for reading.
bool FileExists(const char* name);
// Deletes the file when it exists; false when it did not.
bool DeleteFileIfExists(const char* name);
// The program's file name made usable here: "\" to "/", case-insensitive match per folder.
std::string MapProgramPath(const char* name);
// Why the file the running command named was refused ("WAV format tag 0x0160 ... is not read"):
// the message of the error or warning the command raises next says it after the file's name.
void NoteProgramFileProblem(const std::string& why);
const std::string& TemporaryFolder();   // this run's folder in the private per-user one, mode 0700
const std::string& ExecutableFolder();
// The user's WIN.INI (section "QuorvanelStateData": display-card choice, recent files) in
// the user's configuration folder.
std::string UserStateFilePath();
const std::string& StartFolder();
// Opens the package of an executable (the player: its own file) for the run; tests use it
// with a built file. False when the file has no readable package.
bool OpenPackage(const char* executablePath);
// The executable's start: kNone when nothing follows its own program but the libraries it
// carries (it is the compiler and driver), kOpened when a game's package does (it is a game),
// kDamaged with the reason in *whyNot when something follows that is no readable package, and
// kUnreadable when its own file cannot be found or read (it cannot tell what it is). The
// libraries the file carries are handed to the platform layer for the whole process.
enum class OwnPackage { kNone, kOpened, kDamaged, kUnreadable };
OwnPackage OpenOwnPackage(const char* executablePath, std::string* whyNot);
void ClosePackage();  // deletes the extracted temporary files
int PackageEntryCount();
// The package writer: appends entries (name as given, data) and the package's closing words
// to an executable image. False, and the image unchanged, when a name is over 255 characters
// or the package would not fit the 32-bit lengths and offsets of its format.
bool AppendPackage(std::vector<uint8_t>* image,
                   const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries);
// Builds a standalone game: the player executable, the compiled program as "_exefile.dat",
// then every file under mediaFolder (may be null) by its relative path with "\"; a link
// pointing out of the folder fails the build. Last come the libraries and files, of those the
// player carries, that the program's commands can reach (a game that never loads a video
// carries no FFmpeg); a game that plays MIDI carries the soundfont the SETUP.INI of its media
// or source folder names, else the player's. A failed build leaves the output as it was and
// says why in *whyNot. The environment shows "Adding <path>..." for each file.
bool WriteStandaloneGame(const char* outputPath, const char* playerExecutable, const char* compiledProgram,
                         const char* mediaFolder, std::string* whyNot = nullptr, const char* sourceFolder = nullptr);

// ---------------------------------------------------------------------------------------
// Start-up, main loop, shut-down
// ---------------------------------------------------------------------------------------

// The player: runs the package appended to executablePath; returns the exit status
// (0 normal end or no package, 1 runtime error).
int RunPlayer(const char* executablePath, int argc, char** argv);
// Runs a compiled program file (the driver's `run`); the same start-up and exit status.
int RunCompiledProgramFile(const char* programPath, int argc, char** argv);
// The environment's F4/F5: runs a compiled program in the main window that already exists
// and keeps it, its presenter and this run's temporary folder; the working folder is the
// same after. Exit status as above; a runtime error's text and source line (0 = none) are
// handed back instead of shown.
int RunCompiledProgramInWindow(const char* programPath, std::string* message, int* line);
// The driver's `run`: a runtime error is also reported as "FILE:LINE: message" on stderr
// (a headless run shows no box besides); null or "" for none.
void SetRunSourceName(const char* sourceName);
// Loads a compiled program; false when it is malformed, with the reason in *whyNot, or (null)
// said on stderr.
bool LoadCompiledProgram(const char* fileName, std::string* whyNot = nullptr);
bool LoadCompiledProgramFromMemory(const uint8_t* bytes, size_t size, std::string* whyNot);
void FreeCompiledProgram();
void InitInterpreter();

// ---------------------------------------------------------------------------------------
// Hooks into the subsystems above the runtime (filled by main.cpp; no-op defaults)
// ---------------------------------------------------------------------------------------

// The display the player opens until the 2D display replaces it: a window (or offscreen),
// a 640x480 back buffer in memory and a present step that counts frames.
bool MinimalInitDisplay(bool fullScreen, bool windowMode, bool reuse);
int MinimalPresentFrame();
void MinimalReleaseDisplay(bool keepDevice);
uint32_t* MinimalBackBuffer();  // 640x480 XRGB
uint32_t MinimalFramesPresented();

struct RuntimeHooks {
  // Display (2D): start-up, frames, teardown.
  bool (*InitDisplay)(bool fullScreen, bool windowMode, bool reuse) = MinimalInitDisplay;
  int (*PresentFrame)() = MinimalPresentFrame;
  void (*ReleaseDisplay)(bool keepDevice) = MinimalReleaseDisplay;
  bool (*RestoreDisplaySurfaces)() = [] { return true; };
  void (*ClearViewport)() = [] {};
  void (*UpdateMousePointer)() = [] {};
  void (*ResetMousePointer)() = [] {};
  void (*Reset2DState)() = [] {};
  void (*RestoreSpriteBackgrounds)() = [] {};
  void (*SaveSpriteBackgrounds)() = [] {};
  void (*ReplayDrawQueue)() = [] {};
  int (*DrawQueueCount)() = [] { return 0; };
  void (*CountDownImageReleases)() = [] {};
  void (*SaveScreenToFile)(const char* fileName) = [](const char*) {};
  void (*EvictManagedTextures)() = [] {};
  void (*EndOfRunTeardown)() = [] {};
  void (*RestoreDefaultWindow)() = [] {};
  const char* (*LastEngineError)() = [] { return ""; };
  // 3D engine.
  void (*ResetDisplayDefaults3D)() = [] {};
  void (*ResetScene3D)() = [] {};
  // After a display-mode change: the 3D device takes its states, camera, lights and models again.
  void (*RestoreScene3DAfterReset)() = [] {};
  void (*RenderBackdrop)() = [] {};
  void (*RenderScene3DIfOn)(int stage) = [](int) {};
  void (*DrawSprites)() = [] {};
  void (*AnimateObjects)() = [] {};
  // Input, sound, music, animations, files, FTP.
  bool (*InitDirectInput)() = [] { return true; };
  void (*AcquireInputDevices)() = [] {};
  void (*UnacquireInputDevices)() = [] {};
  void (*PollInput)() = [] {};
  void (*ReleaseForceEffects)() = [] {};
  void (*CloseDirectInput)() = [] {};
  void (*InitSound)() = [] {};
  void (*ResetSound3D)() = [] {};
  void (*UpdateAnimations)(bool pictureHeld) = [](bool) {};
  void (*SoundSyncHook)() = [] {};
  void (*UpdateSound3D)() = [] {};
  void (*UpdateMusicLoops)() = [] {};
  void (*PauseMusicOnDeactivate)() = [] {};
  void (*PauseSoundsOnDeactivate)() = [] {};
  void (*ResumeMusicOnActivate)() = [] {};
  void (*ResumeSoundsOnActivate)() = [] {};
  void (*CloseMusic)() = [] {};
  void (*CloseSound)() = [] {};
  void (*FreeAllAnimations)() = [] {};
  void (*CloseFtpOnExit)() = [] {};
  void (*FreeAllSounds)() = [] {};
  void (*FreeAllMusic)() = [] {};
  void (*CloseAllFileHandles)() = [] {};
  // Every program start (InitInterpreter): the commands' switches and settings to defaults.
  void (*ResetCommandState)() = [] {};
  // Development environment.
  int (*NoOpStartupHook)() = [] { return 1; };
  void (*ShowCompileProgress)(int percent) = [](int) {};
  void (*ShowProgressStatus)(const char* text) = [](const char*) {};
  // The debug dump of a failing command (runtime-test mode); the compiler may fill it.
  void (*DumpRuntimeErrorInfo)(int commandNumber, int sourceLine) = [](int, int) {};
};
// Owner: runtime/hooks.cpp. main.cpp fills the slots of the subsystems that exist.
extern RuntimeHooks Hooks;

// Input queries call this first: the first one after the dispatcher raised the flag reads
// the devices again, so every query of one dispatcher cycle sees one state.
inline void RefreshInputIfDue() {
  if (Dispatcher.inputRepoll) {
    Dispatcher.inputRepoll = 0;
    Hooks.PollInput();
  }
}
