// Presenting through SDL: one streaming texture the size of the back buffer, copied centred
// into the window's renderer with black around it; headless presenting only counts the frame.
#include "platform/present.h"

#include <SDL.h>

#include "platform/surface.h"
#include "platform/window.h"

// Presenter state: lives from PresentAttachWindow to PresentDetach; the frame count for the process.
static struct {
  SDL_Window* window = nullptr;
  bool headless = true;  // an offscreen or dummy driver shows nothing: frames are only counted
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int textureWidth = 0;
  int textureHeight = 0;
  int textureDepth = 0;
  uint32_t frames = 0;
  int originLeft = 0;
  int originTop = 0;
  int shownWidth = 0;   // the size of the last frame shown in a window (0: none yet)
  int shownHeight = 0;
  std::vector<uint16_t> converted;  // 565 pixels of a depth-16 frame
} gPresent;

static void ReleaseTexture() {
  if (gPresent.texture != nullptr) SDL_DestroyTexture(gPresent.texture);
  gPresent.texture = nullptr;
  gPresent.textureWidth = gPresent.textureHeight = gPresent.textureDepth = 0;
}

void PresentDetach() {
  ReleaseTexture();
  if (gPresent.renderer != nullptr) SDL_DestroyRenderer(gPresent.renderer);
  gPresent.renderer = nullptr;
  gPresent.window = nullptr;
  gPresent.shownWidth = gPresent.shownHeight = 0;
}

void PresentAttachWindow(SDL_Window* window) {
  if (window == gPresent.window) return;
  PresentDetach();
  gPresent.window = window;
  gPresent.headless = window == nullptr || PlatformIsHeadless();
}

uint32_t PresentedFrameCount() { return gPresent.frames; }

void PresentFrameOrigin(int* left, int* top) {
  *left = gPresent.originLeft;
  *top = gPresent.originTop;
}

// Where a frame of this size goes in the renderer's output: centred, at its own size (black
// bands around it, or cut where the output is smaller).
static SDL_Rect FramePlace(int outputWidth, int outputHeight, int width, int height) {
  return SDL_Rect{(outputWidth - width) / 2, (outputHeight - height) / 2, width, height};
}

bool PresentWindowToFrame(int windowX, int windowY, int* frameX, int* frameY) {
  *frameX = windowX;
  *frameY = windowY;
  if (gPresent.window == nullptr || gPresent.headless || gPresent.shownWidth <= 0) return false;
  int windowWidth = 0, windowHeight = 0, outputWidth = 0, outputHeight = 0;
  SDL_GetWindowSize(gPresent.window, &windowWidth, &windowHeight);
  if (gPresent.renderer == nullptr || SDL_GetRendererOutputSize(gPresent.renderer, &outputWidth, &outputHeight) != 0)
    outputWidth = windowWidth, outputHeight = windowHeight;
  if (windowWidth <= 0 || windowHeight <= 0) return false;
  // Mouse positions come in window points; the renderer draws in pixels (more of them on a
  // display that scales windows up).
  const int64_t pixelX = static_cast<int64_t>(windowX) * outputWidth / windowWidth;
  const int64_t pixelY = static_cast<int64_t>(windowY) * outputHeight / windowHeight;
  const SDL_Rect place = FramePlace(outputWidth, outputHeight, gPresent.shownWidth, gPresent.shownHeight);
  if (place.w <= 0 || place.h <= 0) return false;
  auto toFrame = [](int64_t pixel, int start, int placed, int size) {
    const int64_t scaled = (pixel - start) * size;
    // Rounded down also left of the frame, so the pixel before it reads -1, not 0.
    return static_cast<int>(scaled >= 0 ? scaled / placed : -((-scaled + placed - 1) / placed));
  };
  *frameX = toFrame(pixelX, place.x, place.w, gPresent.shownWidth);
  *frameY = toFrame(pixelY, place.y, place.h, gPresent.shownHeight);
  return true;
}

// Makes the renderer and a texture that fits the frame; false when SDL cannot.
static bool PrepareTexture(int width, int height, int depth) {
  if (gPresent.renderer == nullptr) {
    // The software renderer: presenting is one copy of a finished frame, and it keeps the
    // window's OpenGL context to the 3D device alone. Its window surface is the display's own
    // framebuffer: an accelerated one would make the window again with OpenGL, and the new X
    // window takes the old one's windowed place while SDL keeps the full-screen size, so a
    // full-screen frame showed shifted and cut off.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    gPresent.renderer = SDL_CreateRenderer(gPresent.window, -1, SDL_RENDERER_SOFTWARE);
    if (gPresent.renderer == nullptr) gPresent.renderer = SDL_CreateRenderer(gPresent.window, -1, 0);
    if (gPresent.renderer == nullptr) return false;
  }
  if (gPresent.texture != nullptr && gPresent.textureWidth == width && gPresent.textureHeight == height &&
      gPresent.textureDepth == depth)
    return true;
  ReleaseTexture();
  const Uint32 format = depth == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
  gPresent.texture = SDL_CreateTexture(gPresent.renderer, format, SDL_TEXTUREACCESS_STREAMING, width, height);
  if (gPresent.texture == nullptr) return false;
  gPresent.textureWidth = width;
  gPresent.textureHeight = height;
  gPresent.textureDepth = depth;
  return true;
}

bool PresentSurface(const Surface& backBuffer, int depth) {
  if (gPresent.window == nullptr || gPresent.headless) {
    ++gPresent.frames;
    return true;
  }
  depth = depth == 16 ? 16 : 32;
  if (!PrepareTexture(backBuffer.width, backBuffer.height, depth)) return false;
  if (depth == 16) {
    gPresent.converted.resize(backBuffer.pixels.size());
    for (size_t i = 0; i < backBuffer.pixels.size(); ++i) {
      const uint32_t p = backBuffer.pixels[i];
      gPresent.converted[i] =
          static_cast<uint16_t>(((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F));
    }
    SDL_UpdateTexture(gPresent.texture, nullptr, gPresent.converted.data(), backBuffer.width * 2);
  } else {
    SDL_UpdateTexture(gPresent.texture, nullptr, backBuffer.pixels.data(), backBuffer.width * 4);
  }
  int outputWidth = 0;
  int outputHeight = 0;
  SDL_GetRendererOutputSize(gPresent.renderer, &outputWidth, &outputHeight);
  const SDL_Rect dest = FramePlace(outputWidth, outputHeight, backBuffer.width, backBuffer.height);
  gPresent.originLeft = dest.x;
  gPresent.originTop = dest.y;
  gPresent.shownWidth = backBuffer.width;
  gPresent.shownHeight = backBuffer.height;
  SDL_SetRenderDrawColor(gPresent.renderer, 0, 0, 0, 255);
  SDL_RenderClear(gPresent.renderer);
  SDL_RenderCopy(gPresent.renderer, gPresent.texture, nullptr, &dest);
  SDL_RenderPresent(gPresent.renderer);
  ++gPresent.frames;
  return true;
}
