// The text clipboard through SDL2, converting between the program's Latin-1 bytes and the
// desktop's UTF-8. SDL keeps its own clipboard where the video driver has none (offscreen).
#include "platform/clipboard.h"

#include <SDL.h>

#include "platform/window_local.h"

static bool ClipboardReady() {
  PlatformMainSdlWindow();  // a headless run's window first, so the video starts as ours does
  return SDL_WasInit(SDL_INIT_VIDEO) != 0 || SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
}

bool PlatformSetClipboardText(const char* text) {
  if (!ClipboardReady()) return false;
  std::string utf8;
  for (const char* p = text; *p != '\0'; ++p) {
    const unsigned char byte = static_cast<unsigned char>(*p);
    if (byte < 0x80) {
      utf8 += static_cast<char>(byte);
    } else {
      utf8 += static_cast<char>(0xC0 | (byte >> 6));
      utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return SDL_SetClipboardText(utf8.c_str()) == 0;
}

bool PlatformGetClipboardText(std::string* text) {
  if (!ClipboardReady()) return false;
  char* utf8 = SDL_GetClipboardText();  // "" when the clipboard holds no text
  if (utf8 == nullptr) return false;
  std::string latin1;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8); *p != 0;) {
    if (*p < 0x80) {
      latin1 += static_cast<char>(*p++);
      continue;
    }
    int trail = *p >= 0xF0 ? 3 : *p >= 0xE0 ? 2 : *p >= 0xC0 ? 1 : 0;
    unsigned code = *p++ & (0x3F >> trail);
    for (; trail > 0 && (*p & 0xC0) == 0x80; --trail) code = (code << 6) | (*p++ & 0x3F);
    latin1 += code >= 0x80 && code <= 0xFF && trail == 0 ? static_cast<char>(code) : '?';
  }
  SDL_free(utf8);
  *text = latin1;
  return true;
}
