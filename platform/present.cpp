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
  SDL_Rect dest{(outputWidth - backBuffer.width) / 2, (outputHeight - backBuffer.height) / 2, backBuffer.width,
                backBuffer.height};
  gPresent.originLeft = dest.x;
  gPresent.originTop = dest.y;
  SDL_SetRenderDrawColor(gPresent.renderer, 0, 0, 0, 255);
  SDL_RenderClear(gPresent.renderer);
  SDL_RenderCopy(gPresent.renderer, gPresent.texture, nullptr, &dest);
  SDL_RenderPresent(gPresent.renderer);
  ++gPresent.frames;
  return true;
}
