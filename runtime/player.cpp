// The player: start-up, the main loop with its pre-step and post-step, the window
// messages, and the shut-down that shows a runtime error and picks the exit status.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/folders.h"
#include "platform/messagebox.h"
#include "platform/profile.h"
#include "platform/signals.h"
#include "platform/window.h"
#include "runtime/runtime_local.h"

std::string ExtractFirstPackageEntry(std::string* whyNot);

// Lives for the process (read once at start-up).
static SetupSettings gSettings = {false, false, true, false, false, false, 1, ""};
static std::string gCommandLine;
// Set when the compiled program was refused as malformed; the run exits 1 without a box.
static bool gProgramRefused = false;
// The driver's `run`: the source file a runtime error is reported against on stderr.
static std::string gSourceName;

// Cleared at every program start by InitInterpreter and RunMainLoop.
static struct {
  bool displayActive = false;
  bool escQuits = true;
  int frameWait = 25;
  uint32_t lastFrameTime = 0;
  int framesShown = 0;  // frames of this run's main loop so far
  int pumpCounter = 0;
  bool screenSaveRequested = false;
  std::string screenSaveName;  // the file the post-step saves the screen to
  bool quitRequested = false;
  bool settingUpDisplay = false;
  bool inBackground = false;  // a full-screen run whose window lost the focus
  bool inEnvironment = false;  // a run inside the environment's window (no full screen)
  bool holdPicture = false;  // a waiting command parked the program: the next pass keeps the picture
  MouseState mouse = kMouseAtStart;
} gRun;

// The typed-text buffer: opened by the INPUT commands, filled by the window's characters.
static struct {
  char* buffer = nullptr;
  int capacity = 0;
  int length = 0;
  int lastCharacter = 0;
  uint32_t keyPresses = 0;  // key-down messages seen, counted for the whole process
} gTyped;

const SetupSettings& Settings() { return gSettings; }
SetupSettings& MutableSettings() { return gSettings; }
bool DisplayActive() { return gRun.displayActive; }
void SetDisplayActive(bool active) { gRun.displayActive = active; }
void SetEscQuits(bool on) { gRun.escQuits = on; }
bool EscQuits() { return gRun.escQuits; }
void SetFrameWait(int milliseconds) { gRun.frameWait = milliseconds; }
int FrameWait() { return gRun.frameWait; }
void RequestScreenSave(const char* fileName) {
  gRun.screenSaveRequested = true;
  gRun.screenSaveName = fileName != nullptr ? fileName : "";
}
void HoldPictureWhileWaiting() { gRun.holdPicture = true; }
const char* CommandLineText() { return gCommandLine.c_str(); }
MouseState& Mouse() { return gRun.mouse; }

void RequestQuit() {
  if (!gRun.quitRequested) PlatformPostQuit();
  gRun.quitRequested = true;
}
bool QuitRequested() { return gRun.quitRequested; }
void ClearQuitRequest() {
  gRun.quitRequested = false;
  PlatformMessage message;
  while (PlatformPeekMessage(&message)) {
  }
}

void OpenTypedText(int initialCapacity) {
  CloseTypedText();
  gTyped.capacity = initialCapacity < 16 ? 16 : initialCapacity;
  gTyped.buffer = static_cast<char*>(std::calloc(static_cast<size_t>(gTyped.capacity), 1));
  gTyped.length = 0;
}
void CloseTypedText() {
  std::free(gTyped.buffer);
  gTyped.buffer = nullptr;
  gTyped.capacity = gTyped.length = 0;
}
const char* TypedText() { return gTyped.buffer != nullptr ? gTyped.buffer : ""; }
void ClearTypedText() {
  if (gTyped.buffer != nullptr) std::memset(gTyped.buffer, 0, static_cast<size_t>(gTyped.capacity));
  gTyped.length = 0;
}
int LastTypedCharacter() { return gTyped.lastCharacter; }
void SetLastTypedCharacter(int character) { gTyped.lastCharacter = character; }
uint32_t KeyPressCount() { return gTyped.keyPresses; }

void AppendTypedCharacter(int character) {
  gTyped.lastCharacter = character;
  if (gTyped.buffer == nullptr) return;
  // Grow before the text and its NUL could reach the end, so every character is kept.
  if (gTyped.length > gTyped.capacity - 5) {
    int grownCapacity = gTyped.capacity * 2;
    char* grown = static_cast<char*>(std::calloc(static_cast<size_t>(grownCapacity), 1));
    if (grown == nullptr) return;
    std::memcpy(grown, gTyped.buffer, static_cast<size_t>(gTyped.length));
    std::free(gTyped.buffer);
    gTyped.buffer = grown;
    gTyped.capacity = grownCapacity;
  }
  gTyped.buffer[gTyped.length++] = static_cast<char>(character);
  gTyped.buffer[gTyped.length] = 0;
}

// SETUP.INI beside the executable, section SETTINGS; a switch is on only for "1".
static void ReadSetupSettings() {
  const std::string path = ExecutableFolder() + "/SETUP.INI";
  auto on = [&](const char* key) { return PlatformReadProfileString(path.c_str(), "SETTINGS", key, "0") == "1"; };
  gSettings.presentByBlit = on("BLITFLIPMODE");
  gSettings.pasteTwiceCount = on("BLITOVERDRAW") ? 2 : 1;
  gSettings.windowMode = on("WINDOWMODE");
  gSettings.fullScreen = !gSettings.windowMode;
  std::string editor = PlatformReadProfileString(path.c_str(), "SETTINGS", "EXTERNALEDITOR", "0");
  std::string editorPath = ExecutableFolder() + "/" + editor;
  gSettings.externalEditorPath = editor != "0" && PlatformFileReadable(editorPath) ? editorPath : "";
  gSettings.debugMode = on("DEBUGMODE");
  gSettings.traceMode = on("TRACEMODE");
  gSettings.runtimeTest = on("RUNTIMETEST");
  // A debugging switch starts a fresh log (kept while another game beside it writes there).
  if (gSettings.debugMode || gSettings.traceMode || gSettings.runtimeTest) PlatformStartLog(LogFilePath().c_str());
}

void InitInterpreter() {
  const LoadedProgram& program = Program();
  OperandPointer = program.loaded ? const_cast<CodeCell*>(program.code.data()) : nullptr;
  ResetDispatcher();
  ClearRuntimeError();
  ResetControlFlow();
  SetEndedByProgram(false);
  EmptyChecklist();
  gRun.frameWait = 25;
  gRun.escQuits = true;
  Hooks.ResetCommandState();
}

void PumpMessagesOccasionally() {
  if (++gRun.pumpCounter <= 50000) return;
  gRun.pumpCounter = 0;
  // Messages are handled now, except a quit, which stays queued for the main loop.
  PlatformMessage message;
  while (!PlatformQuitPending() && PlatformPeekMessage(&message)) {
    if (message.kind == PlatformMessageKind::kQuit) {
      PlatformPostQuit();
      break;
    }
    HandleWindowMessage(message);
  }
}

static void WaitForReleasedKeys() {
  while (PlatformKeyHeld(kPlatformKeyEscape) || PlatformKeyHeld(kPlatformKeyF11) || PlatformKeyHeld(kPlatformKeyF12))
    PlatformSleep(10);
  PlatformMessage message;
  bool quit = false;
  while (PlatformPeekMessage(&message)) quit = quit || message.kind == PlatformMessageKind::kQuit;
  if (quit) PlatformPostQuit();  // a quit stays for the loop that waits for it
}

// The window procedure: one translated message.
void HandleWindowMessage(const PlatformMessage& message) {
  switch (message.kind) {
    case PlatformMessageKind::kMove:
    case PlatformMessageKind::kSize:
      if (!gRun.settingUpDisplay) Hooks.PresentFrame();
      break;
    case PlatformMessageKind::kActivate:
      gRun.inBackground = false;
      Hooks.AcquireInputDevices();
      Hooks.ResumeMusicOnActivate();
      Hooks.ResumeSoundsOnActivate();
      Hooks.EvictManagedTextures();
      gRun.displayActive = true;
      break;
    case PlatformMessageKind::kDeactivate:
      Hooks.UnacquireInputDevices();  // keys held now are let go in another window
      if (!gSettings.windowMode) {
        gRun.inBackground = true;
        Hooks.PauseMusicOnDeactivate();
        Hooks.PauseSoundsOnDeactivate();
        gRun.displayActive = false;
      }
      break;
    case PlatformMessageKind::kKeyDown:
      ++gTyped.keyPresses;
      if (message.a == kPlatformKeyEscape && gRun.escQuits) RequestQuit();
      break;
    case PlatformMessageKind::kChar: AppendTypedCharacter(message.a); break;
    // The mouse is read by the input poll (Hooks.PollInput), the one writer of its state.
    case PlatformMessageKind::kMouseMove:
    case PlatformMessageKind::kLeftButtonDown:
    case PlatformMessageKind::kRightButtonDown:
    case PlatformMessageKind::kLeftButtonUp:
    case PlatformMessageKind::kRightButtonUp: break;
    case PlatformMessageKind::kQuit: break;
  }
}

// A full-screen display cannot be restored while another window is in front: the run
// pauses until the window is activated again. A pass that holds the picture (the program
// waits) makes no new one: clearing and drawing the scene again would hide what the frame
// before the wait showed.
static bool PreStep(bool holdingPicture) {
  if (!gRun.displayActive) {
    if (gRun.inBackground || !Hooks.RestoreDisplaySurfaces()) return false;
    gRun.displayActive = true;
  }
  if (holdingPicture) return true;
  Hooks.UpdateMousePointer();
  Hooks.ClearViewport();
  Hooks.RestoreSpriteBackgrounds();
  Hooks.RenderBackdrop();
  Hooks.RenderScene3DIfOn(0);
  Hooks.ReplayDrawQueue();
  return true;
}

bool RunPreStepForTests() { return PreStep(false); }

static void PostStep(bool holdingPicture) {
  if (!gRun.displayActive) return;
  Hooks.CountDownImageReleases();
  // Frame pacing: at least the frame wait since the last frame, and the clock must move. The
  // run's first pass runs no command (the interpreter starts stopped), so neither its frame
  // nor the program's first one has a frame of the program before it to keep apart from:
  // both show at once. Nor does the last frame of a run that has ended wait.
  while (gRun.framesShown >= 2 && !gRun.quitRequested) {
    uint32_t elapsed = PlatformMilliseconds() - gRun.lastFrameTime;
    if (gRun.frameWait < 1 ? elapsed != 0 : elapsed >= static_cast<uint32_t>(gRun.frameWait)) break;
    PlatformSleep(1);
  }
  gRun.lastFrameTime = PlatformMilliseconds();
  ++gRun.framesShown;
  // While the program waits, sound, music and videos go on and the held picture is shown
  // again (the mouse pointer moves over it): a playing video's new frames are drawn over it in
  // the video's rectangle; the scene, the sprites and everything else stand still.
  Hooks.UpdateAnimations(holdingPicture);
  if (!holdingPicture) {
    Hooks.SaveSpriteBackgrounds();
    Hooks.RenderScene3DIfOn(1);
    Hooks.DrawSprites();
  }
  Hooks.SoundSyncHook();
  Hooks.UpdateSound3D();
  Hooks.UpdateMusicLoops();
  if (!holdingPicture) Hooks.AnimateObjects();
  Hooks.PresentFrame();
  if (gRun.screenSaveRequested) {
    Hooks.SaveScreenToFile(gRun.screenSaveName.c_str());
    gRun.screenSaveRequested = false;
  }
}

// The program has ended: drawing and saves it queued after its last frame are still carried
// out, so a file it asked for appears. Not after a runtime error, nor for a stopped run; an
// error the work itself raises is reported as the run's.
static void FinishQueuedWork() {
  if (PlatformStopSignal() != 0 || (RuntimeErrorNumber() != 0 && !EndedByProgram())) return;
  const int before = RuntimeErrorNumber();
  if (Hooks.DrawQueueCount() > 0) Hooks.ReplayDrawQueue();
  if (gRun.screenSaveRequested) {
    gRun.screenSaveRequested = false;
    Hooks.SaveScreenToFile(gRun.screenSaveName.c_str());
  }
  if (RuntimeErrorNumber() != before) SetEndedByProgram(false);
}

static void RunMainLoop() {
  InitInterpreter();
  gRun.mouse = kMouseAtStart;
  gRun.framesShown = 0;
  PumpMessagesOccasionally();
  WaitForReleasedKeys();
  gTyped.lastCharacter = 0;
  for (;;) {
    Hooks.PollInput();
    PlatformMessage message;
    if (PlatformPeekMessage(&message)) {
      if (message.kind == PlatformMessageKind::kQuit) break;
      HandleWindowMessage(message);
      continue;
    }
    // Decided for the whole pass, so a pass's pre-step and post-step stay a pair (the sprite
    // backgrounds one restores are the ones the other saved).
    const bool holdingPicture = gRun.holdPicture;
    gRun.holdPicture = false;
    if (PreStep(holdingPicture)) {
      ExecuteCommands();
      PostStep(holdingPicture);
    } else {
      PlatformSleep(10);  // paused in the background: wait for the next message
    }
  }
  FinishQueuedWork();
  WaitForReleasedKeys();
}

bool RunLoadedProgramUntilQuit(int maxSlices) {
  InitInterpreter();
  gRun.displayActive = true;
  for (int slice = 0; slice < maxSlices && !gRun.quitRequested; ++slice) ExecuteCommands();
  return gRun.quitRequested;
}

static bool InitDisplayForRun() {
  gRun.settingUpDisplay = true;
  // Window mode covers the desktop with a window; otherwise the display takes the screen.
  // Inside the environment the program draws in the environment's own 640x480 window.
  if (gRun.inEnvironment) {
    PlatformSetWindowSize(640, 480);
  } else if (gSettings.windowMode) {
    int width = 640, height = 480;
    PlatformDesktopSize(&width, &height);
    PlatformSetWindowSize(width, height);
  } else {
    PlatformSetWindowSize(640, 480);
    if (!PlatformSetFullscreen(true)) {
      gRun.settingUpDisplay = false;
      RuntimeError(10004);
      return false;
    }
  }
  Hooks.ResetDisplayDefaults3D();
  bool ok = Hooks.InitDisplay(gSettings.fullScreen, gSettings.windowMode, false);
  gRun.settingUpDisplay = false;
  if (!ok) {
    if (RuntimeErrorNumber() == 0) RuntimeError(10003);
    return false;
  }
  Hooks.ResetScene3D();
  Hooks.ResetMousePointer();
  Hooks.Reset2DState();
  Hooks.ResetSound3D();
  Hooks.AcquireInputDevices();
  gRun.displayActive = true;
  return true;
}

// The end of a run: releases, then the error message, and the exit status.
static void ShutdownRun() {
  Hooks.FreeAllAnimations();
  Hooks.UnacquireInputDevices();  // the devices the display start-up acquired
  Hooks.ReleaseForceEffects();
  Hooks.CloseFtpOnExit();
  Hooks.CloseAllFileHandles();
  Hooks.FreeAllSounds();
  Hooks.FreeAllMusic();
  Hooks.EndOfRunTeardown();
  if (gSettings.windowMode && !gRun.inEnvironment) Hooks.RestoreDefaultWindow();
  FreeCompiledProgram();
}

static int FinishRun() {
  FreeRecordPools();
  Hooks.ReleaseDisplay(false);
  PlatformSetFullscreen(false);  // the desktop is back before an error box shows
  Hooks.CloseMusic();
  Hooks.CloseSound();
  Hooks.CloseDirectInput();
  int status = gProgramRefused ? 1 : 0;
  gProgramRefused = false;
  // END reports 21 only to end the run: it ends silently. So does a run stopped by a
  // termination signal, which exits with 128 + the signal (a script can tell it was stopped).
  const int stopSignal = PlatformStopSignal();
  if (RuntimeErrorNumber() > 0 && !EndedByProgram() && stopSignal == 0) {
    std::string text = FormatRuntimeErrorText();
    LogErrorEntry("RUNTIMEERROR", text.c_str());
    // The driver's run names the source file and line as compile errors do; headless, that
    // line is the whole report (the box would only repeat it on stderr).
    if (!gSourceName.empty()) {
      std::string line = RuntimeErrorLine() > 0 ? ":" + std::to_string(RuntimeErrorLine()) : "";
      std::string message = FormatRuntimeErrorText(false);
      while (!message.empty() && message.back() == ' ') message.pop_back();
      std::fprintf(stderr, "%s%s: %s\n", gSourceName.c_str(), line.c_str(), message.c_str());
    }
    if (gSourceName.empty() || !PlatformIsHeadless()) {
      const bool said = !gSourceName.empty();  // the line above: the box need not repeat it
      if (gSettings.runtimeTest)
        PlatformShowMessageBox(("ERROR: Extra Debug Info - " + text).c_str(), text.c_str(), true, !said);
      else PlatformShowMessageBox("Error In Program", text.c_str(), true, !said);
    }
    status = RuntimeErrorIsWarning() ? 0 : 1;
  }
  PlatformDestroyMainWindow();
  PlatformChangeFolder(StartFolder());
  if (!TemporaryFolder().empty()) PlatformDeleteFile(TemporaryFolder() + "/workfile.wav");
  RemoveRunFolder();
  CloseTypedText();
  return stopSignal != 0 ? 128 + stopSignal : status;
}

// The settings and run state both entries and the environment's runs start from.
// The program's command line is the words after its own name (argv[0], the game or the
// interpreter), the same for `quorvanel run prog.qva a b` and `./game a b`.
static void StartRunState(int argc, char** argv) {
  gCommandLine.clear();
  for (int i = 1; i < argc; ++i) {
    if (i > 1) gCommandLine += ' ';
    gCommandLine += argv[i];
  }
  ReadSetupSettings();
  gRun = {};
  gRun.mouse = kMouseAtStart;
  ClearRuntimeError();
  ForgetReportedWarnings();
  SetWarningsOff(false);
}

// The start-up both entries share, up to the window; a window that fails is error 10002.
static void StartUp(int argc, char** argv) {
  PlatformCatchStopSignals();
  RemoveStaleRunFolders();
  StartFolder();
  StartRunState(argc, argv);
  if (!PlatformCreateMainWindow("Quorvanel", 640, 480)) RuntimeError(10002);
  else PlatformSetWindowTitle(PlatformExecutablePath().c_str());
}


// Runs whatever compiled program `programPath` holds, from the input start-up on. A game's
// program (gameName names the game) that does not load is a damaged game, said as such: the
// file it was extracted to is no name the user knows.
static void RunProgram(const char* programPath, const char* gameName = nullptr) {
  if (!Hooks.InitDirectInput()) {
    RuntimeError(10007);
    return;
  }
  Hooks.NoOpStartupHook();
  Hooks.InitSound();
  if (!CreateRecordPools()) {
    RuntimeError(101);
    return;
  }
  std::string whyNot;
  if (!LoadCompiledProgram(programPath, gameName != nullptr ? &whyNot : nullptr)) {
    gProgramRefused = true;  // said why; nothing runs
    if (gameName != nullptr)
      PlatformShowMessageBox("Damaged Game",
                             (std::string(gameName) + ": this game is damaged and cannot start (its program does not load: " +
                              whyNot + ")").c_str(),
                             true);
    return;
  }
  if (InitDisplayForRun()) {
    SetWarningsOff(true);
    RunMainLoop();
  }
  SetWarningsOff(false);
}

int RunPlayer(const char* executablePath, int argc, char** argv) {
  StartUp(argc, argv);
  if (RuntimeErrorNumber() == 0 && (PackageOpenFrom(executablePath) || OpenPackage(executablePath))) {
    std::string whyNot;
    std::string programPath = ExtractFirstPackageEntry(&whyNot);
    if (programPath.empty()) {
      PlatformShowMessageBox("Cannot Start The Game",
                             (std::string(executablePath) + ": cannot extract the game's program: " + whyNot).c_str(), true);
      gProgramRefused = true;
    } else {
      RunProgram(programPath.c_str(), executablePath);
    }
  }
  ShutdownRun();
  // Closed after the error is shown: its message may say how the game holds its files.
  const int status = FinishRun();
  ClosePackage();
  return status;
}

void SetRunSourceName(const char* sourceName) { gSourceName = sourceName != nullptr ? sourceName : ""; }
const std::string& RunSourceName() { return gSourceName; }

int RunCompiledProgramFile(const char* programPath, int argc, char** argv) {
  StartUp(argc, argv);
  if (RuntimeErrorNumber() == 0) RunProgram(programPath);
  ShutdownRun();
  return FinishRun();
}

int RunCompiledProgramInWindow(const char* programPath, std::string* message, int* line) {
  const std::string folder = PlatformCurrentFolder();
  const char* argv[] = {"quorvanel"};
  StartRunState(1, const_cast<char**>(argv));
  gRun.inEnvironment = true;
  if (!PlatformHasMainWindow()) RuntimeError(10002);
  else RunProgram(programPath);
  ShutdownRun();
  FreeRecordPools();
  Hooks.ReleaseDisplay(true);  // the environment presents its own screen next
  Hooks.CloseMusic();
  Hooks.CloseSound();
  Hooks.CloseDirectInput();
  int status = gProgramRefused ? 1 : 0;
  message->clear();
  *line = 0;
  if (gProgramRefused) *message = "The compiled program could not be loaded";
  if (RuntimeErrorNumber() > 0 && !EndedByProgram() && PlatformStopSignal() == 0) {
    *message = FormatRuntimeErrorText(false);
    while (!message->empty() && message->back() == ' ') message->pop_back();
    *line = RuntimeErrorLine();
    LogErrorEntry("RUNTIMEERROR", FormatRuntimeErrorText().c_str());
    status = RuntimeErrorIsWarning() ? 0 : 1;
  }
  gProgramRefused = false;
  gRun.inEnvironment = false;
  ClearRuntimeError();
  ClearQuitRequest();
  CloseTypedText();
  PlatformChangeFolder(folder);
  if (!TemporaryFolder().empty()) PlatformDeleteFile(TemporaryFolder() + "/workfile.wav");
  return PlatformStopSignal() != 0 ? 128 + PlatformStopSignal() : status;
}
