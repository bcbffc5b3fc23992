// What the shell's files share: the state of the environment between start-up and shut-down,
// what lives across entries, and the steps the menus, requesters and drawing call.
#pragma once
#include <memory>
#include <string>

#include "ide/ide.h"
#include "ide/shell.h"

// Lives from IdeStartup to IdeShutdown; kept between entries while the mode word is 5.
struct ShellState {
  std::unique_ptr<SourceEditor> editor;
  Surface* screen = nullptr;  // the frame presented each pass
  IdeView view;               // menus, hover, title: what the frame shows around the text
  Requester requester;
  IdeSession session;
  int leaveItem = 10;         // the leave item of menu 1 (after the recent files)
  bool buttonDown = false;
  bool menuMode = false;      // a menu or the help page has the input
  bool leaving = false;       // the loop ends after this pass
  bool introPending = false;
  bool screenMarked = true;   // the frame must be drawn again
  uint32_t lastDrawn = 0;     // when the last frame was drawn (the caret blinks)
  uint32_t caretSince = 0;    // the last key or click in the text: the text bar's blink restarts
  uint32_t caretPhaseShown = 0;  // 0: the last frame showed the text bar, 1: it hid it
  int frame = 0;
  bool helpActive = false;
  int browserPid = 0;         // the media browser while it runs
  std::string browserReturnFolder;
};
extern ShellState* gShell;

// Lives for the process: what one entry hands to the next and to the driver.
struct ShellProcess {
  IdeConfig config;
  const IdeHost* host = nullptr;  // null: the desktop's
  int mode = kIdeModeEnd;
  std::string title;
  int goToLine = 0;
  bool messageShown = false;     // the title holds a compile or run message
  SourceBuffer views[2];         // names, flags and view of both buffers (no lines)
  int currentBuffer = 1;
  bool haveViews = false;
  int workCurrent = 1;           // the buffer workfile.tmp holds
  bool introRead = false;        // INTRO was read at the first start
  std::string requesterFolder;   // where the file requesters open
  std::string sourceText;        // the current buffer as the last entry left it
  std::string sourceFolder;
  bool startSourceTaken = false;  // the source named at start was loaded (once a process)
};
extern ShellProcess gProcess;

void SetIdeHost(const IdeHost* host);
const IdeHost& ShellHost();
// Forgets what entries handed on (views, work-file order, title); tests start each case so.
void ResetShellProcess();
SourceEditor& ShellEditor();
void ShellLeaveWith(int mode);
void SetShellTitle(const std::string& title);
// Copies the environment's frame for the progress panel to show over (builds and runs).
void KeepProgressScreen();

// Menus, toolbar and the window's events (shell_menus.cpp).
void BuildMenus();
void RebuildRecentItems();
void BuildTitle();
void RunMenuItem(int menu, int item);
void ShellHandleEvent(const IdeEvent& event);

// Requesters, builds, tools and help (shell_actions.cpp).
std::string ProjectsFolder();
void OpenShellRequester(int kind, int purpose);
void CarryOutCode(int code);  // a requester's result code, then what it left for the shell
bool BuildForSession(const std::string& exePath, int flavour, const std::string& sourceFolder);
void ShowHelpPage(const std::string& name);
void CloseHelpViewer();
void ShowContextHelpPage();  // F1: the page of the word at the cursor
void AskToLoadSourceFromHelp(const std::string& path);  // a help link to a ".qva" file
void LoadSourceFromHelp(const std::string& path);
void HelpHoverStatus();  // each idle pass in help mode: the status line and cursor over links
void HelpModeEvent(const IdeEvent& event, bool (*toolbarClick)(int x, int y));
void WatchPrograms();
void LaunchTool(int tool);
void StartMediaBrowser();
bool SaveInPlace();

// The frame (shell_draw.cpp): false when nothing needed drawing.
bool DrawShellFrame();
