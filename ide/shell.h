// The environment's shell: its entry (IdeMain), message loop, menus, toolbar and requester
// actions, and the driver loop that compiles, runs and builds on the mode word it returns.
#pragma once
#include <string>

// What the shell needs from the compiler, the runtime and the package writer. main.cpp fills
// it with the real ones (IdeProgramRunner); tests may fill it with their own.
struct IdeRunner {
  // Compiles source text (the editor's lines, line 1 first) with folder as the working
  // folder into the compiled program file output; false with the message and line. A compile
  // that warns is true with the first warning as the message and its main-source line.
  bool (*Compile)(const std::string& text, const std::string& folder, const std::string& output,
                  std::string* message, int* line);
  // Runs a compiled program in the environment's window with folder as the working folder;
  // the exit status, and on a runtime error its text and source line.
  int (*Run)(const std::string& compiled, const std::string& folder, std::string* message, int* line);
  // Writes a standalone game: playerExecutable, the compiled program and, when media is not
  // empty, every file of that folder (the source's folder's SETUP.INI may name the soundfont
  // it carries); false with the reason.
  bool (*Build)(const std::string& output, const std::string& playerExecutable, const std::string& compiled,
                const std::string& media, const std::string& sourceFolder, std::string* whyNot);
};
// The compiler, the in-window run of the runtime and the package writer.
const IdeRunner& IdeProgramRunner();

// Where the environment keeps its files; set once by whoever starts it.
struct IdeConfig {
  std::string installFolder;     // the language files (LANG/...), pictures (ide/), help
  std::string temporaryFolder;   // the work files workfile.tmp and workfil2.tmp
  std::string winIni;            // recent files, tools and the introduction flag
  std::string playerExecutable;  // the player stub a built game starts from
  std::string startSource;       // a source named at start (quorvanel FILE.qva), loaded once
  std::string projectsFolder;    // where new projects are made (in the documents or home folder)
};

// The mode word IdeMain returns (and reads on entry).
enum IdeModeWord {
  kIdeModeStartFailed = 1,  // the environment could not start (no font, no pictures)
  kIdeModeCompile = 2,      // toolbar button "compile": check the source compiles
  kIdeModeEnd = 3,          // the user left
  kIdeModeCompileRun = 4,   // F5: compile and run, then a fresh entry
  kIdeModeRunKeep = 5,      // F4: compile and run, the environment's state kept
  kIdeModeRestored = 10,    // the display came back after being lost
};

// Runs the environment until the user leaves, acting on each mode word: F5 and F4 compile
// the current buffer and run it in the window, and an error brings the editor back at its
// line with the message as title. Returns the exit status: 0 when the user left, 1 when the
// environment could not start.
int RunEnvironment(const IdeConfig& config, const IdeRunner& runner);

// What the driver does for a mode word: F5 and F4 compile the current buffer and run it, the
// compile button only compiles; the message and line for the next entry (empty, 0 for none).
void ActOnModeWord(int mode, const IdeRunner& runner, std::string* message, int* line);

// One entry of the environment (the driver calls it in a loop): the last compile or run's
// message and line show as title and selected line. Returns the mode word.
int IdeMain(const std::string& message, int errorLine);

// ---- For tests: the entry in its steps, and the shell's state ----------------------------
void SetIdeConfig(const IdeConfig& config);
// Steps 1-4 of an entry; false when start-up failed (the mode word is then kIdeModeStartFailed).
bool IdeEnter(const std::string& message, int errorLine);
// One pass of the message loop; true when the loop must end.
bool IdeLoopPass();
// Steps 6-8: recent files, view, work files and (unless kept for F4) shut-down.
void IdeLeave();
int IdeModeValue();
void SetIdeModeValue(int mode);
const std::string& IdeTitleText();
int MenuHoverValue();
int OpenMenuValue();
int MenuItemHoverValue();
// Where a menu's title sits on the bar (1..6): its left edge and width.
int MenuTitleLeft(int menu);
int MenuTitleSize(int menu);
// The text and flags of an item of a menu (1..6, item 0..15).
const std::string& MenuItemText(int menu, int item);
bool MenuItemEnabled(int menu, int item);
const std::string& MenuItemLabel(int menu, int item);
// The requester the shell opened: kind and purpose (0 when none).
int OpenRequesterKind();
int OpenRequesterPurpose();
bool HelpViewerActive();
const std::string& HelpPageShown();
int ToolProcessId(int tool);
