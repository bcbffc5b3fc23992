// Message boxes over SDL2, falling back to stderr when there is no visible display.
#include "platform/messagebox.h"

#include <SDL.h>

#include <cstdio>

#include "platform/window.h"
#include "platform/window_local.h"

void PlatformShowMessageBox(const char* caption, const char* text, bool isError) {
  if (!PlatformIsHeadless() && PlatformMainSdlWindow() != nullptr) {
    Uint32 flags = isError ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
    if (SDL_ShowSimpleMessageBox(flags, caption, text, PlatformMainSdlWindow()) == 0) return;
  }
  std::fprintf(stderr, "%s%s%s\n", caption, caption[0] != 0 ? ": " : "", text);
}
