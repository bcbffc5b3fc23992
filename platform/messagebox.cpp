// Message boxes: a small window of our own centred on the game's window, closed with Enter,
// Esc or its OK button; the caption and text also go to stderr (alone without a display).
// Not SDL's own box: over a game's window it centred itself on the corner of the game's area.
#include "platform/messagebox.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/signals.h"
#include "platform/surface.h"
#include "platform/text.h"
#include "platform/window.h"
#include "platform/window_local.h"

namespace {

constexpr int kPadding = 18;
constexpr int kIconSize = 32;
constexpr int kTextWidthLimit = 460;  // longer lines wrap at spaces
constexpr int kButtonWidth = 88, kButtonHeight = 28;
constexpr int kFontSize = 15;
constexpr uint32_t kBoxColour = 0xF0F0F0, kTextColour = 0x101010, kButtonColour = 0xE1E1E1,
                   kButtonEdge = 0x0078D7, kIconColour = 0xD83B01, kInfoColour = 0x0063B1;

// The text in lines no wider than the limit: broken at line ends, then at spaces (a word
// wider than the limit keeps its own line).
std::vector<std::string> WrapText(PlatformFont* font, const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line;
    size_t word = start;
    while (word < end) {
      size_t space = text.find(' ', word);
      if (space == std::string::npos || space > end) space = end;
      const std::string candidate = line.empty() ? text.substr(word, space - word) : line + " " + text.substr(word, space - word);
      int width = 0, height = 0;
      FontMeasure(font, candidate.c_str(), &width, &height);
      if (width > kTextWidthLimit && !line.empty()) {
        lines.push_back(line);
        line = text.substr(word, space - word);
      } else {
        line = candidate;
      }
      word = space + 1;
    }
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// A filled disc with a white cross (error) or a white bar (information) on it.
void DrawIcon(Surface& picture, int left, int top, bool isError) {
  const float radius = kIconSize / 2.0f, centre = radius - 0.5f;
  for (int y = 0; y < kIconSize; ++y)
    for (int x = 0; x < kIconSize; ++x) {
      const float dx = static_cast<float>(x) - centre, dy = static_cast<float>(y) - centre;
      if (dx * dx + dy * dy > radius * radius) continue;
      bool mark;
      if (isError) {
        const float along = std::abs(dx - dy), across = std::abs(dx + dy);
        mark = (along < 2.2f || across < 2.2f) && std::abs(dx) < 8.5f && std::abs(dy) < 8.5f;
      } else {
        mark = std::abs(dx) < 2.0f && (dy > -3.0f ? dy < 9.0f : (dy > -10.0f && dy < -6.0f));
      }
      picture.pixels[static_cast<size_t>(top + y) * picture.width + left + x] =
          mark ? 0xFFFFFF : (isError ? kIconColour : kInfoColour);
    }
}

struct BoxLayout {
  std::vector<std::string> lines;
  int lineHeight = 0;
  int width = 0, height = 0;
  SDL_Rect button{};
};

BoxLayout LayOut(PlatformFont* font, const std::string& text) {
  BoxLayout layout;
  layout.lines = WrapText(font, text);
  int textWidth = 0;
  for (const std::string& line : layout.lines) {
    int width = 0, height = 0;
    FontMeasure(font, line.c_str(), &width, &height);
    textWidth = std::max(textWidth, width);
    layout.lineHeight = std::max(layout.lineHeight, height);
  }
  const int textHeight = std::max(kIconSize, layout.lineHeight * static_cast<int>(layout.lines.size()));
  layout.width = std::max(300, kPadding * 3 + kIconSize + textWidth);
  layout.height = kPadding * 3 + textHeight + kButtonHeight;
  layout.button = SDL_Rect{(layout.width - kButtonWidth) / 2, layout.height - kPadding - kButtonHeight, kButtonWidth,
                           kButtonHeight};
  return layout;
}

void DrawBox(Surface& picture, PlatformFont* font, const BoxLayout& layout, bool isError) {
  SurfaceFill(picture, SurfaceRect{0, 0, picture.width, picture.height}, kBoxColour);
  DrawIcon(picture, kPadding, kPadding, isError);
  TextColours colours;
  colours.ink = kTextColour;
  const int textLeft = kPadding * 2 + kIconSize;
  for (size_t i = 0; i < layout.lines.size(); ++i)
    FontDrawText(font, picture, textLeft, kPadding + static_cast<int>(i) * layout.lineHeight, layout.lines[i].c_str(),
                 colours);
  // The OK button, marked as the one Enter presses.
  const SDL_Rect& b = layout.button;
  SurfaceFill(picture, SurfaceRect{b.x, b.y, b.x + b.w, b.y + b.h}, kButtonEdge);
  SurfaceFill(picture, SurfaceRect{b.x + 2, b.y + 2, b.x + b.w - 2, b.y + b.h - 2}, kButtonColour);
  int width = 0, height = 0;
  FontMeasure(font, "OK", &width, &height);
  FontDrawText(font, picture, b.x + (b.w - width) / 2, b.y + (b.h - height) / 2, "OK", colours);
}

void ShowPicture(SDL_Window* window, Surface& picture) {
  SDL_Surface* target = SDL_GetWindowSurface(window);
  if (target == nullptr) return;
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(picture.pixels.data(), picture.width, picture.height, 32,
                                                           picture.width * 4, SDL_PIXELFORMAT_RGB888);
  if (source == nullptr) return;
  SDL_BlitSurface(source, nullptr, target, nullptr);
  SDL_FreeSurface(source);
  SDL_UpdateWindowSurface(window);
}

// The place that centres a box of this size on the game's window (on the screen without one).
void CentreOnGame(SDL_Window* game, int width, int height, int* x, int* y) {
  *x = *y = static_cast<int>(SDL_WINDOWPOS_CENTERED);
  if (game == nullptr || (SDL_GetWindowFlags(game) & SDL_WINDOW_HIDDEN) != 0) return;
  int left = 0, top = 0, gameWidth = 0, gameHeight = 0;
  SDL_GetWindowPosition(game, &left, &top);
  SDL_GetWindowSize(game, &gameWidth, &gameHeight);
  *x = left + (gameWidth - width) / 2;
  *y = top + (gameHeight - height) / 2;
}

// Waits for Enter, Esc, the OK button, the box's close or a termination signal. Keys count
// from any of our windows: the game's window may keep the keyboard's focus.
void RunBox(SDL_Window* box, Surface& picture, const SDL_Rect& button) {
  const Uint32 boxId = SDL_GetWindowID(box);
  bool pressedOnButton = false;
  for (;;) {
    if (PlatformStopSignal() != 0) return;
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, 100) == 0) continue;
    switch (event.type) {
      case SDL_QUIT: return;
      case SDL_KEYDOWN:
        if (event.key.repeat != 0) break;
        if (event.key.keysym.sym == SDLK_RETURN || event.key.keysym.sym == SDLK_KP_ENTER ||
            event.key.keysym.sym == SDLK_ESCAPE || event.key.keysym.sym == SDLK_SPACE)
          return;
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        if (event.button.windowID != boxId || event.button.button != SDL_BUTTON_LEFT) break;
        const SDL_Point at{event.button.x, event.button.y};
        const bool onButton = SDL_PointInRect(&at, &button) == SDL_TRUE;
        if (event.type == SDL_MOUSEBUTTONDOWN) pressedOnButton = onButton;
        else if (pressedOnButton && onButton) return;
        break;
      }
      case SDL_WINDOWEVENT:
        if (event.window.windowID != boxId) break;
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) return;
        if (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SHOWN)
          ShowPicture(box, picture);
        break;
      default: break;
    }
  }
}

// False when no box could be made (no font, the window refused).
bool ShowOwnBox(const char* caption, const char* text, bool isError) {
  PlatformFont* font = FontCreate("sans-serif", kFontSize, false, false);
  if (font == nullptr) return false;
  const BoxLayout layout = LayOut(font, text);
  Surface* picture = SurfaceCreate(layout.width, layout.height);
  if (picture == nullptr) {
    FontDestroy(font);
    return false;
  }
  DrawBox(*picture, font, layout, isError);
  FontDestroy(font);
  SDL_Window* game = PlatformMainSdlWindow();
  int x = 0, y = 0;
  CentreOnGame(game, layout.width, layout.height, &x, &y);
  SDL_Window* box = SDL_CreateWindow(caption, x, y, layout.width, layout.height,
                                     SDL_WINDOW_SHOWN | SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_SKIP_TASKBAR);
  if (box == nullptr) {
    SurfaceDestroy(picture);
    return false;
  }
  if (game != nullptr) SDL_SetWindowModalFor(box, game);
  SDL_RaiseWindow(box);
  SDL_SetWindowInputFocus(box);
  // Keys and clicks made before the box showed do not answer it.
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_KEYDOWN, SDL_MOUSEWHEEL);
  ShowPicture(box, *picture);
  RunBox(box, *picture, layout.button);
  SDL_DestroyWindow(box);
  SurfaceDestroy(picture);
  // What the box took is not left for the game's window to read.
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_KEYDOWN, SDL_MOUSEWHEEL);
  return true;
}

}  // namespace

// The text goes to stderr first: a game started from a terminal leaves it there after the box
// is closed, and a box that cannot be shown loses nothing.
void PlatformShowMessageBox(const char* caption, const char* text, bool isError, bool toStderr) {
  const bool boxShows = !PlatformIsHeadless() && PlatformMainSdlWindow() != nullptr;
  if (toStderr || !boxShows) {
    std::fprintf(stderr, "%s%s%s\n", caption, caption[0] != 0 ? ": " : "", text);
    std::fflush(stderr);
  }
  if (boxShows) ShowOwnBox(caption, text, isError);
}
