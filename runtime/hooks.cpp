// The hook table through which the runtime calls the subsystems above it, and the minimal
// display it uses until the 2D display is wired in: a window, a back buffer, a present.
#include "platform/present.h"
#include "platform/surface.h"
#include "platform/window.h"
#include "runtime/runtime.h"

RuntimeHooks Hooks;

// Lives from MinimalInitDisplay to MinimalReleaseDisplay.
static struct {
  Surface* backBuffer = nullptr;
  uint32_t framesPresented = 0;
} gMinimalDisplay;

bool MinimalInitDisplay(bool /*fullScreen*/, bool /*windowMode*/, bool /*reuse*/) {
  if (!PlatformHasMainWindow()) return false;
  SurfaceDestroy(gMinimalDisplay.backBuffer);
  gMinimalDisplay.backBuffer = SurfaceCreate(640, 480);
  gMinimalDisplay.framesPresented = 0;
  PlatformAttachPresenterToMainWindow();
  return gMinimalDisplay.backBuffer != nullptr;
}

int MinimalPresentFrame() {
  if (gMinimalDisplay.backBuffer == nullptr) return 0;
  if (!PresentSurface(*gMinimalDisplay.backBuffer, 32)) return 0;
  ++gMinimalDisplay.framesPresented;
  return 1;
}

void MinimalReleaseDisplay(bool /*keepDevice*/) {
  SurfaceDestroy(gMinimalDisplay.backBuffer);
  gMinimalDisplay.backBuffer = nullptr;
}

uint32_t* MinimalBackBuffer() {
  return gMinimalDisplay.backBuffer != nullptr ? gMinimalDisplay.backBuffer->pixels.data() : nullptr;
}

uint32_t MinimalFramesPresented() { return gMinimalDisplay.framesPresented; }
