// The display: the back buffer in memory, presenting one frame per cycle, the 3D target's
// clear before each frame, the frame rate and the engine error text.
#include <cstdio>
#include <set>
#include <string>

#include "graphics2d/graphics2d_local.h"
#include "graphics2d/image_files.h"
#include "platform/clock.h"
#include "platform/device3d.h"
#include "platform/present.h"
#include "platform/window.h"

// Owner of the display state; reset by InitDisplay, released by ReleaseDisplay.
DisplayState Display2D;

Surface* BackBuffer() { return Display2D.backBuffer; }
int ScreenWidth() { return Display2D.screenWidth; }
int ScreenHeight() { return Display2D.screenHeight; }
int ScreenDepth() { return Display2D.screenDepth; }
bool DisplayWindowMode() { return Display2D.windowMode; }
uint32_t FramesPresented() { return Display2D.framesPresented; }
int FrameRate() { return Display2D.framesPerSecond; }
const char* LastEngineError() { return Display2D.lastEngineError.c_str(); }

void WriteEngineErrorLog(const char* text) {
  Display2D.lastEngineError = text;
  LogErrorEntry("ENGINEERROR", text);
}

// Fills the whole back buffer with the paper colour (the start-up clear).
static void ClearBackBuffer() {
  Surface* back = Display2D.backBuffer;
  if (back == nullptr) return;
  if (SurfaceFill(*back, SurfaceRect{0, 0, back->width, back->height}, Draw2D.paperPixel) == SurfaceResult::kLost &&
      SurfaceRestore(*back))
    SurfaceFill(*back, SurfaceRect{0, 0, back->width, back->height}, Draw2D.paperPixel);
}

void ReportMissingLibrary(const std::string& medium, const std::string& problem) {
  const std::string text = medium + ": " + problem;
  static std::set<std::string> said;  // lives for the process
  if (said.insert(text).second) std::fprintf(stderr, "quorvanel: %s\n", text.c_str());
  // Logged, not kept as the engine's last error: the commands that report it only warn, and a
  // later unrelated error must not end with this text.
  LogErrorEntry("ENGINEERROR", text.c_str());
}

bool InitDisplay(bool fullScreen, bool windowMode, bool reuse) {
  Display2D.fullScreenWanted = fullScreen && !windowMode;
  Display2D.windowMode = windowMode;
  // A fresh display starts in 640x480 at depth 16 whatever mode the last run left.
  if (!reuse) {
    Display2D.screenWidth = 640;
    Display2D.screenHeight = 480;
    Display2D.screenDepth = 16;
  }
  const bool freshBuffer = !reuse || Display2D.backBuffer == nullptr;
  if (freshBuffer) {
    SurfaceDestroy(Display2D.backBuffer);
    Display2D.backBuffer = SurfaceCreate(Display2D.screenWidth, Display2D.screenHeight);
    if (Display2D.backBuffer == nullptr) {
      WriteEngineErrorLog("Failed to create a BackBuffer in system memory");
      RuntimeError(10005);  // the display's surfaces
      return false;
    }
  }
  Display2D.screenInvalid = true;
  Display2D.framesAtLastCount = Display2D.framesPresented;
  Display2D.lastCountTime = PlatformMilliseconds();
  Display2D.framesPerSecond = 0;
  PlatformAttachPresenterToMainWindow();
  Device3dActive().AttachBackBuffer(Display2D.backBuffer);
  ResetBitmaps();
  Reset2DState();
  // A new back buffer is black already: filling it would only make every page of it real.
  if (!freshBuffer || Draw2D.paperPixel != 0) ClearBackBuffer();
  PresentFrame();
  PresentFrame();
  return true;
}

void ReleaseDisplay(bool keepDevice) {
  DropDrawQueue();
  ReleaseAllSprites();
  ReleaseAllImages();
  ReleaseAllBitmaps();
  ReleaseTextState();
  Device3dActive().AttachBackBuffer(nullptr);
  SurfaceDestroy(Display2D.backBuffer);
  Display2D.backBuffer = nullptr;
  if (!keepDevice) PresentDetach();
}

// Counts a frame; the rate is frames since the last count over the time, once a second has passed.
static void CountFrameRate() {
  ++Display2D.framesPresented;
  const uint32_t now = PlatformMilliseconds();
  const uint32_t elapsed = now - Display2D.lastCountTime;
  if (elapsed > 1000) {
    Display2D.framesPerSecond = static_cast<int>((Display2D.framesPresented - Display2D.framesAtLastCount) * 1000u / elapsed);
    Display2D.lastCountTime = now;
    Display2D.framesAtLastCount = Display2D.framesPresented;
  }
}

int PresentFrame() {
  Surface* back = Display2D.backBuffer;
  if (back == nullptr) return 0;
  Device3dClaimCpuSide();
  if (back->lost && !SurfaceRestore(*back)) {
    SetDisplayActive(false);
    return 0;
  }
  // The pointer goes over the finished frame only: the back buffer keeps the program's picture.
  DrawMousePointer(*back);
  const bool presented = PresentSurface(*back, Display2D.screenDepth);
  RemoveMousePointer(*back);
  if (!presented) return 0;
  CountFrameRate();
  return 1;
}

void Run2DFrameSteps() {
  RestoreSpriteBackgrounds();
  ReplayDrawQueue();
  CountDownImageReleases();
  SaveSpriteBackgrounds();
  DrawSprites();
  PresentFrame();
}

bool SaveScreenImage(const char* path, std::string* whyNot) {
  if (Display2D.backBuffer == nullptr) {
    if (whyNot != nullptr) *whyNot = "no screen to save";
    return false;
  }
  Device3dClaimCpuSide();
  return SaveImageFile(path, *Display2D.backBuffer, whyNot);
}

// Restores the back buffer after a loss; the saved sprite backgrounds are dropped with it.
static bool RestoreDisplaySurfaces() {
  if (Display2D.backBuffer == nullptr) return true;
  if (!SurfaceRestore(*Display2D.backBuffer)) return false;
  ReleaseSpriteBackgrounds();
  return true;
}

void InstallGraphics2DHooks(RuntimeHooks& hooks) {
  hooks.InitDisplay = InitDisplay;
  hooks.PresentFrame = PresentFrame;
  hooks.ReleaseDisplay = ReleaseDisplay;
  hooks.RestoreDisplaySurfaces = RestoreDisplaySurfaces;
  hooks.UpdateMousePointer = UpdateMousePointer;
  hooks.ResetMousePointer = ResetMousePointer;
  hooks.Reset2DState = Reset2DState;
  hooks.RestoreSpriteBackgrounds = RestoreSpriteBackgrounds;
  hooks.SaveSpriteBackgrounds = SaveSpriteBackgrounds;
  hooks.ReplayDrawQueue = ReplayDrawQueue;
  hooks.DrawQueueCount = DrawQueueCount;
  hooks.CountDownImageReleases = CountDownImageReleases;
  hooks.DrawSprites = DrawSprites;
  hooks.LastEngineError = LastEngineError;
  hooks.SaveScreenToFile = SaveScreenToFile;
}

bool RegisterGraphics2DCommands() {
  return RegisterDrawingCommands() && RegisterBitmapCommands() && RegisterImageCommands() && RegisterSpriteCommands() &&
         RegisterTextCommands() && RegisterDisplayModeCommands();
}
