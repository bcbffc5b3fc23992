// What the shell adds around the requesters: opening them where the user was, what a code
// leaves for the shell, building a game through the compiler and the package writer, the
// external tools and the media browser, and the help pages.
#include <filesystem>

#include "ide/help/help.h"
#include "ide/shell_local.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/window.h"

namespace {

// What a carried-out code left for the shell: the leave it confirmed.
void TakeShellCode() {
  ShellState& s = *gShell;
  const int code = s.session.shellCode;
  s.session.shellCode = 0;
  if (code == 2) ShellLeaveWith(kIdeModeEnd);
  if (code == 51) LoadSourceFromHelp(s.requester.field(1).text);
  if (!s.requester.IsOpen()) s.view.hasRequester = false;
  BuildMenus();  // a load, save or new project changes menu 1 and the recent files
}

}  // namespace

// New projects are folders of the user's projects folder (in the documents or home folder,
// never the install folder, which a packaged install cannot write), made when first needed.
std::string ProjectsFolder() {
  const std::string& folder = gProcess.config.projectsFolder;
  if (!folder.empty() && !PlatformIsFolder(folder)) PlatformMakeFolder(folder);
  return folder.empty() ? PlatformCurrentFolder() : folder;
}

void OpenShellRequester(int kind, int purpose) {
  ShellState& s = *gShell;
  OpenRequester(s.requester, s.session, kind, purpose, kind == 8 ? ProjectsFolder() : s.requester.startFolder());
  s.screenMarked = true;
}

void CarryOutCode(int code) {
  ShellState& s = *gShell;
  if (code == 41 || code == 42) ProjectsFolder();
  CarryOutRequesterCode(s.requester, s.session, code);
  TakeShellCode();
  s.screenMarked = true;
}

bool SaveInPlace() {
  const SourceBuffer& b = ShellEditor().buffer();
  const std::string path = (b.folder == "/" ? "/" : b.folder + "/") + b.name;
  if (IsReadOnlyFile(path)) {
    SetShellTitle(UpperCase(IdeText(IdeTable::kDesc, 43)));
    return false;
  }
  std::string why;
  if (!ShellEditor().SaveSource(path, &why)) {
    SetShellTitle(IdeText(IdeTable::kDesc, 36) + ": " + why);
    return false;
  }
  SetShellTitle(IdeText(IdeTable::kDesc, 32));
  return true;
}

// The build the requesters start: the current buffer compiled as it stands (saved or not)
// from the source's folder, then the player with the program and, for the final build
// (flavour 1), every file of that folder. A compile error shows at its line.
bool BuildForSession(const std::string& exePath, int flavour, const std::string& sourceFolder) {
  const IdeRunner& runner = IdeProgramRunner();
  SourceEditor& e = ShellEditor();
  std::string text;
  for (const std::string& line : e.buffer().lines) text += line + "\n";
  const std::string folder = sourceFolder.empty() ? PlatformCurrentFolder() : sourceFolder;
  const std::string compiled = gProcess.config.temporaryFolder + "/_exefile.dat";
  KeepProgressScreen();
  std::string message;
  int line = 0;
  bool built = false;
  if (!runner.Compile(text, folder, compiled, &message, &line)) {
    if (line > 0) e.GoToSourceLine(line);
  } else {
    built = runner.Build(exePath, gProcess.config.playerExecutable, compiled, flavour == 1 ? folder : "", folder, &message);
  }
  PlatformDeleteFile(compiled);
  if (!built && !message.empty()) std::fprintf(stderr, "quorvanel: %s: %s\n", exePath.c_str(), message.c_str());
  return built;
}

// ---- External programs --------------------------------------------------------------------

void LaunchTool(int i) {
  ToolEntry& tool = IdeUserSettings().tools[i];
  if (!tool.usable) return;
  if (PlatformProgramRunning(tool.processId)) return;  // it runs already: its own window is up
  tool.processId = PlatformStartProgram(tool.path, "", ShellEditor().buffer().folder);
  // The environment makes room for the tool; one that cannot start leaves it in front.
  if (tool.processId != 0) PlatformShowWindow(PlatformShow::kMinimise);
}

void StartMediaBrowser() {
  const std::string install = gProcess.config.installFolder;
  const std::string media = PlatformMapFileName(install + "/media");
  if (!PlatformIsFolder(media)) {
    SetShellTitle(IdeText(IdeTable::kDesc, 46));
    return;
  }
  gShell->browserReturnFolder = PlatformCurrentFolder();
  const std::string browser = PlatformMapFileName(install + "/tools/mediabrowser");
  gShell->browserPid = PlatformStartProgram(browser, "\"" + ShellEditor().buffer().folder + "\"", media);
  if (gShell->browserPid != 0) PlatformShowWindow(PlatformShow::kMinimise);
}

// After every pass: programs that ended are collected (waitpid; an exit status is never
// taken for "still running"), and the browser's end brings the environment back.
void WatchPrograms() {
  ShellState& s = *gShell;
  if (s.browserPid != 0 && !PlatformProgramRunning(s.browserPid)) {
    s.browserPid = 0;
    PlatformShowWindow(PlatformShow::kRestore);
    PlatformChangeFolder(s.browserReturnFolder);
  }
  for (ToolEntry& tool : IdeUserSettings().tools)
    if (tool.processId != 0 && !PlatformProgramRunning(tool.processId)) tool.processId = 0;
}

int ToolProcessId(int tool) { return IdeUserSettings().tools[tool].processId; }

// ---- Help ---------------------------------------------------------------------------------

// Opens the help viewer: a named page from the help folder with a fresh history, or with no
// name the page the viewer had (the home page the first time).
void ShowHelpPage(const std::string& name) {
  ShellState& s = *gShell;
  s.view.openMenu = 0;
  const std::string& install = gProcess.config.installFolder;
  if (!name.empty()) ShowHelpHome(install, name);
  else if (TheHelpViewer().pageName().empty()) ShowHelpHome(install);
  s.helpActive = true;
  s.view.helpMode = true;
  s.menuMode = true;
  s.screenMarked = true;
}

void CloseHelpViewer() {
  PlatformSetSystemCursorKind(PlatformCursorKind::kArrow);
  gShell->helpActive = false;
  gShell->view.helpMode = false;
  BuildTitle();
  gShell->screenMarked = true;
}

// A help link to a source: the question first (it goes into buffer 2, whose unsaved changes
// the question names), with the source's path in field 1 for the answer (code 51).
void AskToLoadSourceFromHelp(const std::string& path) {
  ShellState& s = *gShell;
  OpenShellRequester(4, 51);
  s.requester.field(1).text = path.substr(0, 255);
  if (s.editor->bufferNumber(2).unsaved) s.requester.AskInstead(IdeText(IdeTable::kDesc, 12));
}

// The answer: the source loads into buffer 2 through the load action and the editor shows
// it; a source that cannot be loaded leaves the help page up with the reason as title.
void LoadSourceFromHelp(const std::string& path) {
  ShellState& s = *gShell;
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const int before = s.editor->currentBuffer();
  s.editor->SelectBuffer(2);
  BuildTitle();
  s.requester.SetFolder(folder);
  s.requester.field(1).text = name;
  RequesterAction(s.requester, s.session, 1);
  if (s.editor->buffer().name != name || s.editor->buffer().folder != folder) {
    s.editor->SelectBuffer(before);
    SetShellTitle(IdeText(IdeTable::kDesc, 14));
    return;
  }
  CloseHelpViewer();
}

// F1: the page of the command under the cursor, or the page that says there is none.
void ShowContextHelpPage() {
  const SourceBuffer& b = ShellEditor().buffer();
  ShowContextHelp(gProcess.config.installFolder, b.lines[b.cursor.line], b.cursor.column);
  ShowHelpPage("");
}

// Each idle pass in help mode: over the page the status line says what a click does there
// (GENERAL 23 opens a page, 22 another kind of link, 21 nothing) and a link shows the hand.
void HelpHoverStatus() {
  ShellState& s = *gShell;
  const int x = s.view.mouseX, y = s.view.mouseY;
  std::string target;
  if (x < kHelpAreaWidth + 1 && y >= kHelpAreaTop && y <= 460) {
    target = HelpLinkUnder(x, y);
    const std::string lower = LowerCase(HelpPageOf(target));
    const bool page = lower.ends_with(".htm") || lower.ends_with(".html");
    const std::string& text = IdeText(IdeTable::kGeneral, target.empty() ? 21 : page ? 23 : 22);
    if (s.view.title != text) {
      SetShellTitle(text);
      s.screenMarked = true;
    }
  }
  PlatformSetSystemCursorKind(target.empty() ? PlatformCursorKind::kArrow : PlatformCursorKind::kHand);
}

// A help-mode event: Esc, F1 and F11 go back to the editor, the paging keys scroll, the help
// toolbar's words close, go back and forward, and a click on a link follows it.
void HelpModeEvent(const IdeEvent& e, bool (*toolbarClick)(int, int)) {
  ShellState& s = *gShell;
  HelpViewer& viewer = TheHelpViewer();
  s.screenMarked = true;
  if (e.kind == IdeEventKind::kKeyDown) {
    if ((e.b & kModAlt) != 0) {
      // Alt with a help word's first letter is a click on it (the words are help mode's menu bar).
      switch (MenuTitleOfKey(s.view, e.a)) {
        case 1: CloseHelpViewer(); break;
        case 2: viewer.HelpBack(); break;
        case 3: viewer.HelpForward(); break;
        default: break;
      }
      return;
    }
    switch (e.a) {
      case kVkEscape: case kVkF1: case kVkF11: CloseHelpViewer(); break;
      case kVkPageUp: viewer.HelpPageUp(); break;
      case kVkPageDown: viewer.HelpPageDown(); break;
      case kVkUp: viewer.HelpLineUp(); break;
      case kVkDown: viewer.HelpLineDown(); break;
      default: break;
    }
    return;
  }
  if (e.kind != IdeEventKind::kButtonDown) return;
  UpdateMenuHover(s.view);
  if (s.view.menuHover == 11) CloseHelpViewer();
  else if (s.view.menuHover == 12) viewer.HelpBack();
  else if (s.view.menuHover == 13) viewer.HelpForward();
  else if (!toolbarClick(e.a, e.b)) {
    std::string source;
    HelpClick(e.a, e.b, &source);
    if (!source.empty()) AskToLoadSourceFromHelp(source);
  }
}

bool HelpViewerActive() { return gShell->helpActive; }
const std::string& HelpPageShown() { return TheHelpViewer().pageName(); }

int OpenRequesterKind() { return gShell->requester.kind(); }
int OpenRequesterPurpose() { return gShell->requester.purpose(); }
