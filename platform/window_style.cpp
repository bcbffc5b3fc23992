// The window commands' side of the main window: its place, frame, title and showing.
#include "platform/window.h"
#include "platform/window_local.h"

void PlatformSetWindowPosition(int x, int y) {
  if (SDL_Window* window = PlatformMainSdlWindow()) SDL_SetWindowPosition(window, x, y);
}

void PlatformGetWindowPlace(int* x, int* y, int* width, int* height) {
  *x = *y = *width = *height = 0;
  if (SDL_Window* window = PlatformMainSdlWindow()) {
    SDL_GetWindowPosition(window, x, y);
    SDL_GetWindowSize(window, width, height);
  }
}

void PlatformSetWindowBordered(bool bordered) {
  if (SDL_Window* window = PlatformMainSdlWindow()) SDL_SetWindowBordered(window, bordered ? SDL_TRUE : SDL_FALSE);
}

bool PlatformWindowBordered() {
  SDL_Window* window = PlatformMainSdlWindow();
  return window != nullptr && (SDL_GetWindowFlags(window) & SDL_WINDOW_BORDERLESS) == 0;
}

void PlatformShowWindow(PlatformShow how) {
  SDL_Window* window = PlatformMainSdlWindow();
  if (window == nullptr) return;
  switch (how) {
    case PlatformShow::kHide: SDL_HideWindow(window); break;
    case PlatformShow::kShow: SDL_ShowWindow(window); break;
    case PlatformShow::kMinimise: SDL_MinimizeWindow(window); break;
    case PlatformShow::kMaximise:
      // A window manager maximises only a window it may resize (a fixed-size window carries
      // equal smallest and largest sizes); the frame is centred in the larger window.
      SDL_SetWindowResizable(window, SDL_TRUE);
      SDL_MaximizeWindow(window);
      break;
    case PlatformShow::kRestore:
      SDL_ShowWindow(window);
      SDL_RestoreWindow(window);
      break;
  }
}

bool PlatformWindowShown() {
  SDL_Window* window = PlatformMainSdlWindow();
  return window != nullptr && (SDL_GetWindowFlags(window) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)) == 0;
}

const char* PlatformWindowTitle() {
  SDL_Window* window = PlatformMainSdlWindow();
  return window != nullptr ? SDL_GetWindowTitle(window) : "";
}
