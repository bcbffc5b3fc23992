// Display modes from SDL's desktop list, with a standard list when the driver reports none
// (offscreen, dummy): the display-mode commands always have answers.
#include "platform/display_modes.h"

#include <SDL.h>

#include <algorithm>

#include "platform/window_local.h"

// Listed before the desktop's own modes, the game's 640x480 first, so a display with many
// modes never crowds them out of a short list.
static const DisplayModeInfo kStandardModes[] = {
    {640, 480, 16}, {640, 480, 32}, {800, 600, 16}, {800, 600, 32}, {1024, 768, 16}, {1024, 768, 32},
};

static bool AddMode(DisplayModeInfo* modes, int* count, int maxModes, DisplayModeInfo mode) {
  for (int i = 0; i < *count; ++i)
    if (modes[i].width == mode.width && modes[i].height == mode.height && modes[i].depth == mode.depth) return true;
  if (*count >= maxModes) return false;
  modes[(*count)++] = mode;
  return true;
}

int PlatformListDisplayModes(DisplayModeInfo* modes, int maxModes) {
  int count = 0;
  if (modes == nullptr || maxModes <= 0) return 0;
  for (const DisplayModeInfo& mode : kStandardModes) AddMode(modes, &count, maxModes, mode);
  PlatformMainSdlWindow();  // the display's own modes come with the video (a headless run's too)
  if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
    const int available = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < available; ++i) {
      SDL_DisplayMode mode;
      if (SDL_GetDisplayMode(0, i, &mode) != 0 || mode.w < 640 || mode.h < 480) continue;
      // Our surfaces take either depth on any size: offer both.
      AddMode(modes, &count, maxModes, DisplayModeInfo{mode.w, mode.h, 32});
      AddMode(modes, &count, maxModes, DisplayModeInfo{mode.w, mode.h, 16});
    }
  }
  std::stable_sort(modes, modes + count, [](const DisplayModeInfo& a, const DisplayModeInfo& b) {
    if (a.width != b.width) return a.width > b.width;
    if (a.height != b.height) return a.height > b.height;
    return a.depth > b.depth;
  });
  return count;
}

bool PlatformDisplayModeExists(int width, int height, int depth) {
  DisplayModeInfo modes[128];
  const int count = PlatformListDisplayModes(modes, 128);
  for (int i = 0; i < count; ++i)
    if (modes[i].width == width && modes[i].height == height && modes[i].depth == depth) return true;
  return false;
}
