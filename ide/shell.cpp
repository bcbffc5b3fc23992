// The environment's shell: the entry that starts or resumes the environment, its message
// loop, the window's keys and clicks routed to menus, toolbar, requesters and the editor.
#include "ide/shell.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "compiler/compiler.h"
#include "graphics2d/graphics2d.h"
#include "ide/ide.h"
#include "ide/shell_local.h"
#include "platform/files.h"
#include "platform/clock.h"
#include "platform/file_replace.h"
#include "platform/folders.h"
#include "platform/profile.h"
#include "platform/signals.h"
#include "platform/window.h"
#include "runtime/runtime.h"

// Lives for the process: what one entry hands to the next and to the driver.
ShellProcess gProcess;
// Lives from IdeStartup to IdeShutdown (kept between entries while the mode word is 5).
ShellState* gShell = nullptr;

// The frame the progress panel shows over while the compiler and the package writer work:
// the environment's last frame, kept for the process.
static Surface* gProgressScreen = nullptr;

void KeepProgressScreen() {
  if (gShell == nullptr || gShell->screen == nullptr) return;
  if (gProgressScreen == nullptr) gProgressScreen = SurfaceCreate(640, 480);
  if (gProgressScreen != nullptr) SurfaceBlit(*gProgressScreen, 0, 0, *gShell->screen, {0, 0, 640, 480}, BlitOptions{});
}

namespace {

void SaveView() {
  SourceEditor& editor = *gShell->editor;
  const int current = editor.currentBuffer();
  for (int n = 1; n <= 2; ++n) {
    editor.SelectBuffer(n);
    gProcess.views[n - 1] = editor.buffer();
    gProcess.views[n - 1].lines.clear();
    gProcess.views[n - 1].snapshot.clear();
  }
  editor.SelectBuffer(current);
  gProcess.currentBuffer = current;
  gProcess.haveViews = true;
}

// Puts back what SaveView kept, over the lines the work files gave.
void RestoreView() {
  if (!gProcess.haveViews) return;
  SourceEditor& editor = *gShell->editor;
  for (int n = 1; n <= 2; ++n) {
    editor.SelectBuffer(n);
    SourceBuffer& b = editor.buffer();
    const SourceBuffer& v = gProcess.views[n - 1];
    const int last = static_cast<int>(b.lines.size()) - 1;
    auto clampPos = [&](TextPos p) {
      p.line = std::clamp(p.line, 0, last);
      p.column = std::clamp(p.column, 0, static_cast<int>(b.lines[p.line].size()));
      return p;
    };
    b.topLine = std::clamp(v.topLine, 0, last);
    b.leftColumn = v.leftColumn;
    b.cursor = clampPos(v.cursor);
    b.anchor = clampPos(v.anchor);
    b.start = clampPos(v.start);
    b.end = clampPos(v.end);
    b.name = v.name;
    b.folder = v.folder;
    b.unsaved = v.unsaved;
    b.findText = v.findText;
    b.replaceText = v.replaceText;
  }
  editor.SelectBuffer(gProcess.currentBuffer);
  SourceBuffer& b = editor.buffer();
  const SourceBuffer& v = gProcess.views[gProcess.currentBuffer - 1];
  b.start = v.start;  // SelectBuffer cleared the selection
  b.end = v.end;
}

std::string WorkFile(int n) {
  return gProcess.config.temporaryFolder + (n == 1 ? "/workfile.tmp" : "/workfil2.tmp");
}

// Saves the current buffer to workfile.tmp and the other one to workfil2.tmp.
void SaveWorkFiles() {
  SourceEditor& editor = *gShell->editor;
  const int current = editor.currentBuffer();
  for (int i = 0; i < 2; ++i) {
    editor.SelectBuffer(i == 0 ? current : 3 - current);
    const bool unsaved = editor.buffer().unsaved;
    editor.SaveSource(WorkFile(i + 1), nullptr);
    editor.buffer().unsaved = unsaved;  // the work file is no save of the source
  }
  editor.SelectBuffer(current);
  gProcess.workCurrent = current;
}

// Every full entry reloads the work files, so the text of a source without a name (or with
// changes not saved yet) is there again after a run.
void LoadWorkFiles() {
  SourceEditor& editor = *gShell->editor;
  const int current = gProcess.workCurrent;
  for (int i = 0; i < 2; ++i) {
    editor.SelectBuffer(i == 0 ? current : 3 - current);
    if (PlatformFileReadable(WorkFile(i + 1))) editor.LoadSource(WorkFile(i + 1), nullptr);
  }
  editor.SelectBuffer(current);
}

// Reads INTRO: a first start shows the introduction; any later one has the version title,
// only when the process starts (a return from a run shows the source's title).
void ReadIntroFlag() {
  const std::string& ini = gProcess.config.winIni;
  if (ini.empty() || gProcess.introRead) return;
  gProcess.introRead = true;
  const std::string intro = PlatformReadProfileString(ini.c_str(), "QuorvanelStateData", "INTRO", "0");
  if (intro != "0") {
    gProcess.title = "QUORVANEL V1.1";
  } else {
    PlatformWriteProfileString(ini.c_str(), "QuorvanelStateData", "INTRO", "1");
    gShell->introPending = true;
  }
}

bool IdeStartup() {
  gShell = new ShellState();
  ShellState& s = *gShell;
  s.editor = std::make_unique<SourceEditor>(ShellHost());
  s.session.editor = s.editor.get();
  s.session.view = &s.view;
  s.session.host = &ShellHost();
  s.session.installFolder = gProcess.config.installFolder;
  s.session.projectsFolder = gProcess.config.projectsFolder.empty() ? PlatformCurrentFolder() : gProcess.config.projectsFolder;
  s.session.buildExecutable = BuildForSession;
  if (!gProcess.config.winIni.empty()) ReadRecentFiles(gProcess.config.winIni);
  if (gProcess.requesterFolder.empty()) gProcess.requesterFolder = PlatformCurrentFolder();
  s.requester.SetFolder(gProcess.requesterFolder);
  s.requester.SetStartFolder(gProcess.requesterFolder);
  ReadIntroFlag();
  return true;
}

bool IdeInit() {
  std::string why;
  if (!BuildGlyphAtlas() || !LoadIdePictures(gProcess.config.installFolder, &why)) return false;
  gShell->screen = SurfaceCreate(640, 480);
  if (gShell->screen == nullptr) return false;
  SetDisplayStage(2);
  LoadWorkFiles();
  RestoreView();
  BuildMenus();
  return true;
}

// The source named at start (quorvanel FILE.qva) goes into the current buffer once per
// process, as the load requester would load it; a name that does not exist yet starts an
// empty source of that name, which the first save makes.
void LoadStartSource() {
  const std::string& path = gProcess.config.startSource;
  if (path.empty() || gProcess.startSourceTaken) return;
  gProcess.startSourceTaken = true;
  ShellState& s = *gShell;
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  s.requester.SetFolder(folder);
  s.requester.SetStartFolder(folder);
  PlatformChangeFolder(folder);
  if (!PlatformPathExists(path)) {
    s.editor->ClearSource();
    SourceBuffer& b = s.editor->buffer();
    b.name = name;
    b.folder = folder;
    gProcess.title = IdeText(IdeTable::kDesc, 37) + " " + name;
    return;
  }
  s.requester.field(1).text = name;
  RequesterAction(s.requester, s.session, 1);
  const SourceBuffer& b = s.editor->buffer();
  gProcess.title = b.name == name && b.folder == folder ? IdeText(IdeTable::kDesc, 13) + ": " + path
                                                        : IdeText(IdeTable::kDesc, 14) + ": " + path;
}

void IdeShutdown() {
  gProcess.requesterFolder = gShell->requester.startFolder();
  SetDisplayStage(0);
  SurfaceDestroy(gShell->screen);
  delete gShell;
  gShell = nullptr;
}

}  // namespace

void SetIdeConfig(const IdeConfig& config) { gProcess.config = config; }
void ResetShellProcess() {
  const IdeConfig config = gProcess.config;
  gProcess = ShellProcess();
  gProcess.config = config;
}
void SetIdeHost(const IdeHost* host) { gProcess.host = host; }
const IdeHost& ShellHost() { return gProcess.host != nullptr ? *gProcess.host : IdeSdlHost(); }
int IdeModeValue() { return gProcess.mode; }
void SetIdeModeValue(int mode) { gProcess.mode = mode; }
const std::string& IdeTitleText() { return gShell != nullptr ? gShell->view.title : gProcess.title; }
void SetShellTitle(const std::string& title) {
  gShell->view.title = title.substr(0, 255);
  PlatformSetWindowTitle(gShell->view.title.c_str());
}
SourceEditor& ShellEditor() { return *gShell->editor; }

bool IdeEnter(const std::string& message, int errorLine) {
  // A message always shows: the version title must not hide a compile or run error.
  if (!message.empty() || gProcess.title.rfind("QUORVANEL", 0) != 0) gProcess.title = message;
  gProcess.goToLine = errorLine;
  gProcess.messageShown = !message.empty();
  if (gProcess.mode != kIdeModeRunKeep || gShell == nullptr) {
    if (gShell != nullptr) IdeShutdown();
    if (!IdeStartup() || !IdeInit()) {
      if (gShell != nullptr) IdeShutdown();
      gProcess.mode = kIdeModeStartFailed;
      return false;
    }
    LoadStartSource();
  } else if (message.empty()) {
    gProcess.title = IdeText(IdeTable::kDesc, 47);
  }
  gShell->view.title = gProcess.title;
  if (gProcess.title.empty()) BuildTitle();
  // The go-to line comes after the view is restored, so it is what shows.
  if (gProcess.goToLine > 0) gShell->editor->GoToSourceLine(gProcess.goToLine);
  gProcess.goToLine = 0;
  gProcess.mode = kIdeModeEnd;
  gShell->leaving = false;
  gShell->screenMarked = true;
  PlatformSetWindowTitle(gShell->view.title.c_str());
  return true;
}

void IdeLeave() {
  gProcess.title = gShell->view.title;
  PlatformSetWindowTitle("Quorvanel");
  // Esc held to leave is let go before anything else reads the keyboard.
  while (PlatformKeyHeld(kPlatformKeyEscape)) PlatformSleep(10);
  if (!gProcess.config.winIni.empty()) WriteRecentFiles(gProcess.config.winIni);
  SaveView();
  SaveWorkFiles();
  KeepProgressScreen();
  SourceEditor& editor = *gShell->editor;
  gProcess.sourceText.clear();
  const SourceBuffer& b = editor.buffer();
  for (size_t i = 0; i < b.lines.size(); ++i) gProcess.sourceText += b.lines[i] + "\n";
  gProcess.sourceFolder = b.folder;
  if (gProcess.mode != kIdeModeRunKeep) IdeShutdown();
}

int IdeMain(const std::string& message, int errorLine) {
  if (!IdeEnter(message, errorLine)) return gProcess.mode;
  // Keys and clicks left over from the program's run are not the editor's.
  IdeEvent event;
  while (ShellHost().NextEvent(&event)) {
  }
  while (!IdeLoopPass()) {
  }
  IdeLeave();
  return gProcess.mode;
}

bool IdeLoopPass() {
  ShellState& s = *gShell;
  if (!s.helpActive && s.introPending) {
    s.introPending = false;
    ShowHelpPage("intro.htm");
  }
  if (!s.helpActive && s.session.toolTableIn > 0 && --s.session.toolTableIn == 0) OpenShellRequester(71, 71);
  IdeEvent event;
  if (ShellHost().NextEvent(&event)) {
    if (event.kind == IdeEventKind::kQuit) {
      // A stop signal ends at once; closing the window is the leave item (it asks first
      // when there are unsaved changes).
      if (PlatformStopSignal() != 0 || !s.editor->buffer().unsaved) return true;
      RunMenuItem(1, s.leaveItem);
    } else {
      ShellHandleEvent(event);
    }
  } else {
    if (!s.requester.IsOpen()) {
      const int before = s.view.menuHover * 100 + s.view.itemHover;
      s.view.marking = s.editor->mouseMarking();
      UpdateMenuHover(s.view);
      if (s.view.menuHover * 100 + s.view.itemHover != before) s.screenMarked = true;
      if (s.helpActive) HelpHoverStatus();
      if (s.buttonDown && s.editor->mouseMarking()) {
        s.editor->DragTo(s.view.mouseX, s.view.mouseY);
        s.screenMarked = true;
      }
      if (!s.helpActive) {
        ScrollBarPass(*s.editor, s.view, s.buttonDown);
        if (s.view.thumbDragging || (s.buttonDown && (s.view.menuHover == 31 || s.view.menuHover == 32)))
          s.screenMarked = true;
      }
    }
    if (!DrawShellFrame() && !PlatformIsHeadless()) PlatformSleep(5);
  }
  WatchPrograms();
  return s.leaving;
}

void ShellLeaveWith(int mode) {
  gProcess.mode = mode;
  gShell->leaving = true;
}

// ---- The driver loop ------------------------------------------------------------------------

// The texts: the language file beside the executable, else the English one built in.
static bool LoadEnvironmentTexts(const IdeConfig& config) {
  if (LoadLanguageTables(config.installFolder)) return true;
  const std::string folder = config.temporaryFolder + "/LANG/ENGLISH";
  const std::string_view text = EmbeddedLanguageText();
  auto made = [](const std::string& path) { return PlatformIsFolder(path) || PlatformMakeFolder(path); };
  return made(config.temporaryFolder + "/LANG") && made(folder) &&
         PlatformReplaceFile(folder + "/WORDS.TXT", text.data(), text.size(), false, nullptr) &&
         LoadLanguageTables(config.temporaryFolder);
}

void ActOnModeWord(int mode, const IdeRunner& runner, std::string* message, int* line) {
  message->clear();
  *line = 0;
  if (mode != kIdeModeCompile && mode != kIdeModeCompileRun && mode != kIdeModeRunKeep) return;
  const std::string compiled = gProcess.config.temporaryFolder + "/_ide_run.dat";
  // The title shows what the compile or the run said upper-cased (the environment's own
  // texts as they are).
  if (!runner.Compile(gProcess.sourceText, gProcess.sourceFolder, compiled, message, line)) {
    *message = message->empty() ? "COMPILE ERROR" : UpperCase(*message);
  } else if (mode == kIdeModeCompile) {
    *message = message->empty() ? IdeText(IdeTable::kDesc, 47) : UpperCase(*message);  // the compile's warning
  } else {
    // The compile's warning shows when the run ends without a message of its own.
    const std::string warning = *message;
    const int warningLine = *line;
    runner.Run(compiled, gProcess.sourceFolder, message, line);
    if (message->empty() && !warning.empty()) {
      *message = warning;
      *line = warningLine;
    }
    *message = UpperCase(*message);
    PlatformAttachPresenterToMainWindow();
    PlatformShowSystemCursor(true);
  }
  PlatformDeleteFile(compiled);
}

int RunEnvironment(const IdeConfig& config, const IdeRunner& runner) {
  SetIdeConfig(config);
  if (!LoadEnvironmentTexts(config)) return 1;
  PlatformShowSystemCursor(true);
  Hooks.ShowCompileProgress = [](int percent) {
    if (gProgressScreen != nullptr) PresentCompileProgress(ShellHost(), *gProgressScreen, percent);
  };
  Hooks.ShowProgressStatus = [](const char* text) { PresentProgressStatus(ShellHost(), text); };
  gProcess.mode = kIdeModeEnd;
  std::string message;
  int line = 0;
  for (;;) {
    const int mode = IdeMain(message, line);
    if (mode == kIdeModeStartFailed || mode == kIdeModeEnd) {
      FreeProgressFrame();
      SurfaceDestroy(gProgressScreen);
      gProgressScreen = nullptr;
      return mode == kIdeModeEnd ? 0 : 1;
    }
    ActOnModeWord(mode, runner, &message, &line);
  }
}
