// Display modes: re-opening the display in another size and depth, the screen queries, and the
// screen save that the post-step makes after a frame a program asked for.
#include <cstdio>

#include "graphics2d/graphics2d_local.h"
#include "platform/device3d.h"
#include "platform/display_modes.h"
#include "platform/window.h"
#include "runtime/command_numbers.h"

// A window holds any size the surfaces take; a full-screen display only the listed modes.
constexpr int kLargestWindowSide = 4096;

static bool ModeAvailable(int width, int height, int depth) {
  if (depth != 16 && depth != 32) return false;
  if (Display2D.windowMode)
    return width >= 1 && height >= 1 && width <= kLargestWindowSide && height <= kLargestWindowSide;
  return PlatformDisplayModeExists(width, height, depth);
}

bool SetDisplayMode(int width, int height, int depth) {
  if (Display2D.backBuffer == nullptr) return false;
  // A mode the display cannot take changes nothing: the old mode stays in force.
  if (!ModeAvailable(width, height, depth)) {
    char text[128];
    std::snprintf(text, sizeof text, "Could not set a display mode of %dx%dx%d", width, height, depth);
    WriteEngineErrorLog(text);
    RuntimeWarning(1503);
    return false;
  }
  Surface* fresh = SurfaceCreate(width, height);
  if (fresh == nullptr) {
    WriteEngineErrorLog("Failed to create a BackBuffer in system memory");
    RuntimeWarning(1504);
    return false;
  }
  // Queued drawing was meant for the old screen; sprites, images and bitmaps 1-31 live in
  // memory of their own and stay, but the backgrounds saved under sprites belong to the old screen.
  DropDrawQueue();
  ReleaseSpriteBackgrounds();
  Device3dActive().AttachBackBuffer(nullptr);
  SurfaceDestroy(Display2D.backBuffer);
  Display2D.backBuffer = fresh;
  Display2D.screenWidth = width;
  Display2D.screenHeight = height;
  Display2D.screenDepth = depth;
  if (!Display2D.windowMode) {
    PlatformSetWindowSize(width, height);
    if (Display2D.fullScreenWanted) PlatformSetFullscreen(true);
  }
  PlatformAttachPresenterToMainWindow();
  Device3dActive().AttachBackBuffer(fresh);
  AttachBackBufferToBitmapZero();
  // Colours are kept as the screen shows them: made again for the new depth.
  const int32_t paper = (Draw2D.paperRgb[0] << 16) | (Draw2D.paperRgb[1] << 8) | Draw2D.paperRgb[2];
  const int32_t ink = (Draw2D.inkRgb[0] << 16) | (Draw2D.inkRgb[1] << 8) | Draw2D.inkRgb[2];
  InkToPixel(paper, ink);
  Draw2D.recordBitmap = Draw2D.replayBitmap = 0;
  SurfaceFill(*fresh, SurfaceRect{0, 0, width, height}, Draw2D.paperPixel);  // the new screen in the paper colour
  PresentFrame();
  PresentFrame();
  Hooks.RestoreScene3DAfterReset();
  Display2D.screenInvalid = true;
  return true;
}

bool TakeScreenInvalid() {
  const bool invalid = Display2D.screenInvalid;
  Display2D.screenInvalid = false;
  return invalid;
}

// The post-step's screen save: the file name as the program wrote it, by its last three letters.
void SaveScreenToFile(const char* fileName) {
  // The file there is replaced only once the new one is written whole; the message of a
  // failure ends with the file and the reason.
  std::string why;
  if (SaveScreenImage(MapProgramPath(fileName).c_str(), &why)) return;
  WriteEngineErrorLog(why.c_str());
  RuntimeError(1004);
}

static void CmdDisplaySetMode() {  // width, height, depth
  const int32_t width = IntOperand(0), height = IntOperand(1), depth = IntOperand(2);
  AdvanceOperands(3);
  SetDisplayMode(width, height, depth);
}
static void CmdDisplayModeExists() {  // result, width, height, depth
  const int32_t width = IntOperand(1), height = IntOperand(2), depth = IntOperand(3);
  WriteIntResult(ModeAvailable(width, height, depth) ? 1 : 0);
  AdvanceOperands(4);
}
static void CmdDisplaySaveScreen() {  // file
  RequestScreenSave(TextOperand(0));
  AdvanceOperands(1);
}
static void WriteScreenValue(int32_t value) {
  WriteIntResult(value);
  AdvanceOperands(1);
}
static void CmdScreenWidth() { WriteScreenValue(ScreenWidth()); }
static void CmdScreenHeight() { WriteScreenValue(ScreenHeight()); }
static void CmdScreenDepth() { WriteScreenValue(ScreenDepth()); }
static void CmdScreenFps() { WriteScreenValue(FrameRate()); }
static void CmdScreenInvalid() { WriteScreenValue(TakeScreenInvalid() ? 1 : 0); }

// The modes the display lists (largest first) into the checklist: a width, b height,
// c depth, text "WIDTHxHEIGHTxDEPTH"; a list longer than the checklist is cut at its end.
static void CmdDisplayChecklistModes() {
  DisplayModeInfo modes[kChecklistCapacity];
  const int count = PlatformListDisplayModes(modes, kChecklistCapacity);
  StartChecklist(true, true, true);
  for (int i = 0; i < count; ++i) {
    char text[48];
    std::snprintf(text, sizeof text, "%dx%dx%d", modes[i].width, modes[i].height, modes[i].depth);
    AddChecklistEntry(text, modes[i].width, modes[i].height, modes[i].depth);
  }
}

static const CommandEntry kDisplayModeCommands[] = {
    {kDisplayChecklistModes, CmdDisplayChecklistModes},
    {kDisplaySetMode, CmdDisplaySetMode}, {kDisplayModeExists, CmdDisplayModeExists},
    {kDisplaySaveScreen, CmdDisplaySaveScreen}, {kScreenWidth, CmdScreenWidth},
    {kScreenHeight, CmdScreenHeight},     {kScreenDepth, CmdScreenDepth},
    {kScreenFps, CmdScreenFps},           {kScreenInvalid, CmdScreenInvalid},
};

bool RegisterDisplayModeCommands() { return RegisterCommands(kDisplayModeCommands); }
