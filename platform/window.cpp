// The main window over SDL2: creation, the message queue filled from SDL events (plus
// posted quits and test messages), key states and a plain present of an XRGB frame.
#include "platform/window.h"

#include <SDL.h>

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "platform/present.h"
#include "platform/signals.h"
#include "platform/window_local.h"

// Lives from PlatformCreateMainWindow to PlatformDestroyMainWindow.
static struct {
  SDL_Window* window = nullptr;
  // A headless run's window is made when something first needs it (a 3D device, window
  // commands, the clipboard, injected events): a run that only computes and draws into its
  // own surfaces never loads SDL and the fifty libraries under it.
  bool deferred = false;
  std::string title;  // the title asked for (the deferred window's)
  bool fullscreenWanted = false;  // asked for while deferred
  bool videoStarted = false;
  std::deque<PlatformMessage> pending;  // translated messages not yet taken
  bool cursorShown = true;              // the system cursor; applied again when the video starts
  PlatformCursorKind cursorKind = PlatformCursorKind::kArrow;
  SDL_Cursor* hand = nullptr;           // made on first use; SDL frees it with the video
  int frameWidth = 640;                 // the size asked for: the window's size out of full screen
  int frameHeight = 480;
  bool fullscreen = false;
  // The last event was a key pressed with the left Alt held (a menu's shortcut, not typing):
  // the text it sends next is not typed. The key event's own modifiers tell it; the keyboard's
  // state when the queue is read may already be later.
  bool altKeyText = false;
} gMainWindow;

static bool MakeWindow();

SDL_Window* PlatformMainSdlWindow() {
  if (gMainWindow.deferred) {
    gMainWindow.deferred = false;
    MakeWindow();
  }
  return gMainWindow.window;
}

bool PlatformMainWindowDeferred() { return gMainWindow.deferred; }

// A driver that shows nothing, named in the environment (SDL itself is not asked).
static bool HeadlessDriverNamed() {
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  return driver != nullptr && (strcasecmp(driver, "offscreen") == 0 || strcasecmp(driver, "dummy") == 0);
}

// Lives for the process: the no-display notice is given once.
static struct {
  std::string advice;
  bool given = false;
} gNoDisplay;

void PlatformSetNoDisplayAdvice(const char* advice) { gNoDisplay.advice = advice != nullptr ? advice : ""; }

static bool Set(const char* name) {
  const char* value = SDL_getenv(name);
  return value != nullptr && value[0] != 0;
}

// Without WAYLAND_DISPLAY as a path or XDG_RUNTIME_DIR as a folder there is no Wayland
// socket to find, and the Wayland client library says only that XDG_RUNTIME_DIR is "invalid
// or not set", which sends the user after the wrong variable. The drivers SDL tries by itself
// are then asked for by name, all but Wayland (offscreen and dummy are only ever asked for).
static std::string DriversWorthTrying() {
  const char* socket = SDL_getenv("WAYLAND_DISPLAY");
  const char* runtime = SDL_getenv("XDG_RUNTIME_DIR");
  if ((socket != nullptr && socket[0] == '/') || (runtime != nullptr && runtime[0] == '/')) return "";
  std::string list;
  for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
    const char* name = SDL_GetVideoDriver(i);
    if (SDL_strcasecmp(name, "wayland") == 0 || SDL_strcasecmp(name, "offscreen") == 0 ||
        SDL_strcasecmp(name, "dummy") == 0 || SDL_strcasecmp(name, "evdev") == 0)
      continue;
    list += (list.empty() ? "" : ",") + std::string(name);
  }
  return list.empty() ? "none" : list;
}

static bool StartVideo() {
  if (gMainWindow.videoStarted) return true;
  const bool driverChosen = Set("SDL_VIDEODRIVER");
  const std::string drivers = driverChosen ? "" : DriversWorthTrying();
  if (!drivers.empty()) SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
  const bool opened = SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) == 0;
  if (!drivers.empty()) SDL_ResetHint(SDL_HINT_VIDEODRIVER);
  if (!opened) {
    // No display to talk to (a server without X): run offscreen rather than not at all.
    std::string why = Set("DISPLAY") || Set("WAYLAND_DISPLAY") ? SDL_GetError() : "DISPLAY and WAYLAND_DISPLAY are not set";
    SDL_setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) return false;
    if (!gNoDisplay.given)
      std::fprintf(stderr, "quorvanel: no display (%s): running without a window%s%s\n", why.c_str(),
                   gNoDisplay.advice.empty() ? "" : "; ", gNoDisplay.advice.c_str());
    gNoDisplay.given = true;
  }
  gMainWindow.videoStarted = true;
  SDL_ShowCursor(gMainWindow.cursorShown ? SDL_ENABLE : SDL_DISABLE);
  PlatformSetSystemCursorKind(gMainWindow.cursorKind);
  return true;
}

bool PlatformIsHeadless() {
  if (gMainWindow.deferred || (!gMainWindow.videoStarted && HeadlessDriverNamed())) return true;
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver == nullptr) return true;
  return std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

bool PlatformCreateMainWindow(const char* title, int width, int height) {
  if (gMainWindow.window != nullptr || gMainWindow.deferred) return true;
  gMainWindow.title = title;
  gMainWindow.frameWidth = width;
  gMainWindow.frameHeight = height;
  gMainWindow.fullscreen = gMainWindow.fullscreenWanted = false;
  gMainWindow.pending.clear();
  if (HeadlessDriverNamed()) {
    gMainWindow.deferred = true;
    return true;
  }
  return MakeWindow();
}

static bool MakeWindow() {
  if (!StartVideo()) return false;
  gMainWindow.window = SDL_CreateWindow(gMainWindow.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                        gMainWindow.frameWidth, gMainWindow.frameHeight, SDL_WINDOW_SHOWN);
  if (gMainWindow.window == nullptr) return false;
  SDL_StartTextInput();
  PlatformInputStartWithWindow();
  if (gMainWindow.fullscreenWanted) PlatformSetFullscreen(true);
  return true;
}

void PlatformDestroyMainWindow() {
  gMainWindow.deferred = false;
  if (gMainWindow.window != nullptr) {
    PresentDetach();
    SDL_StopTextInput();
    SDL_DestroyWindow(gMainWindow.window);
    gMainWindow.window = nullptr;
    // What is still queued is about the window gone (its hiding and lost focus among it): while
    // something else keeps SDL's event queue alive (the clipboard), the next window's run would
    // take it for its own and pause, as if put in the background.
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }
  gMainWindow.pending.clear();
  gMainWindow.altKeyText = false;
  if (gMainWindow.videoStarted) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
    gMainWindow.videoStarted = false;
    gMainWindow.hand = nullptr;
  }
}

bool PlatformHasMainWindow() { return gMainWindow.window != nullptr || gMainWindow.deferred; }

void PlatformSetWindowTitle(const char* title) {
  gMainWindow.title = title;
  if (gMainWindow.window != nullptr) SDL_SetWindowTitle(gMainWindow.window, title);
}

void PlatformSetWindowSize(int width, int height) {
  gMainWindow.frameWidth = width;
  gMainWindow.frameHeight = height;
  // In full screen the size is the next full-screen mode's (the caller switches again).
  if (gMainWindow.window == nullptr || gMainWindow.fullscreen) return;
  SDL_SetWindowSize(gMainWindow.window, width, height);
  // Centred again, so a window the desktop's size covers it instead of hanging off its edge.
  SDL_SetWindowPosition(gMainWindow.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
}

// A display mode of exactly this size on the window's display, the best refresh first.
static bool FindExactMode(int display, int width, int height, SDL_DisplayMode* found) {
  const int count = SDL_GetNumDisplayModes(display);
  for (int i = 0; i < count; ++i)
    if (SDL_GetDisplayMode(display, i, found) == 0 && found->w == width && found->h == height) return true;
  return false;
}

static void LeaveFullscreen() {
  SDL_Window* window = gMainWindow.window;
  SDL_SetWindowFullscreen(window, 0);
  SDL_SetWindowBordered(window, SDL_TRUE);
  SDL_SetWindowSize(window, gMainWindow.frameWidth, gMainWindow.frameHeight);
  SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
  gMainWindow.fullscreen = false;
}

static bool gRefuseFullscreen = false;

void PlatformRefuseFullscreenForTests(bool refuse) { gRefuseFullscreen = refuse; }

bool PlatformSetFullscreen(bool on) {
  if (on && gRefuseFullscreen) return false;
  if (gMainWindow.deferred) {
    gMainWindow.fullscreenWanted = on;  // the window takes it when it is made
    return true;
  }
  SDL_Window* window = gMainWindow.window;
  if (window == nullptr) return true;  // a run without a window has nothing to switch
  // A new size while in full screen switches again from a window.
  if (gMainWindow.fullscreen) LeaveFullscreen();
  if (!on) return true;
  int display = SDL_GetWindowDisplayIndex(window);
  if (display < 0) display = 0;
  SDL_Rect bounds{0, 0, gMainWindow.frameWidth, gMainWindow.frameHeight};
  SDL_GetDisplayBounds(display, &bounds);
  // A real mode change to the frame's size where the display has that mode; otherwise a
  // window over the whole desktop, the presenter centring the frame in it with black bands.
  SDL_DisplayMode mode;
  const bool modeChange = FindExactMode(display, gMainWindow.frameWidth, gMainWindow.frameHeight, &mode);
  // The window is first laid over the area it is to cover: without a window manager nobody
  // carries out the full-screen request, and SDL would then take the window for the
  // full-screen size while the X window kept its old place and size, so frames were drawn
  // for a window that is not there (cut off and shifted).
  SDL_SetWindowBordered(window, SDL_FALSE);
  SDL_SetWindowPosition(window, bounds.x, bounds.y);
  SDL_SetWindowSize(window, modeChange ? mode.w : bounds.w, modeChange ? mode.h : bounds.h);
  const bool switched = modeChange && SDL_SetWindowDisplayMode(window, &mode) == 0 &&
                        SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) == 0;
  if (!switched) {
    SDL_SetWindowSize(window, bounds.w, bounds.h);
    if (SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
      SDL_SetWindowBordered(window, SDL_TRUE);
      return false;
    }
  }
  gMainWindow.fullscreen = true;
  return true;
}

void PlatformDesktopSize(int* width, int* height) {
  SDL_DisplayMode mode;
  if (gMainWindow.videoStarted && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
    *width = mode.w;
    *height = mode.h;
  } else {
    *width = 640;
    *height = 480;
  }
}

static int KeyCodeOf(SDL_Keycode key) {
  switch (key) {
    case SDLK_ESCAPE: return kPlatformKeyEscape;
    case SDLK_F11: return kPlatformKeyF11;
    case SDLK_F12: return kPlatformKeyF12;
    case SDLK_TAB: return 9;
    case SDLK_PAGEUP: return 33;
    case SDLK_PAGEDOWN: return 34;
    case SDLK_END: return 35;
    case SDLK_HOME: return 36;
    case SDLK_LEFT: return 37;
    case SDLK_UP: return 38;
    case SDLK_RIGHT: return 39;
    case SDLK_DOWN: return 40;
    case SDLK_DELETE: return 46;
    default:
      if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
      if (key >= SDLK_0 && key <= SDLK_9) return static_cast<int>(key);
      if (key >= SDLK_F1 && key <= SDLK_F10) return 112 + (key - SDLK_F1);
      return kPlatformKeyOther;
  }
}

static void Push(PlatformMessageKind kind, int a = 0, int b = 0) { gMainWindow.pending.push_back({kind, a, b}); }

// Typed text arrives as UTF-8; the program's texts are 8-bit, so code points above 255
// become "?".
static void PushTypedText(const char* utf8) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8);
  while (*s != 0) {
    unsigned codePoint = *s;
    int extra = 0;
    if (codePoint >= 0xF0) { codePoint &= 0x07; extra = 3; }
    else if (codePoint >= 0xE0) { codePoint &= 0x0F; extra = 2; }
    else if (codePoint >= 0xC0) { codePoint &= 0x1F; extra = 1; }
    ++s;
    for (; extra > 0 && (*s & 0xC0) == 0x80; --extra, ++s) codePoint = (codePoint << 6) | (*s & 0x3F);
    Push(PlatformMessageKind::kChar, codePoint < 256 ? static_cast<int>(codePoint) : '?');
  }
}

// A mouse message at its place in the frame (the window may be larger than the frame, or scale it).
static void PushMouse(PlatformMessageKind kind, int windowX, int windowY) {
  int x = 0, y = 0;
  PresentWindowToFrame(windowX, windowY, &x, &y);
  Push(kind, x, y);
}

static void TranslateEvent(const SDL_Event& event) {
  const bool afterAltKey = gMainWindow.altKeyText;
  gMainWindow.altKeyText = false;
  switch (event.type) {
    case SDL_QUIT: Push(PlatformMessageKind::kQuit); break;
    case SDL_WINDOWEVENT:
      // Only our window's: one destroyed before it may have left its hiding and lost focus
      // queued (while something else kept the queue alive), which would pause the run.
      if (gMainWindow.window == nullptr || event.window.windowID != SDL_GetWindowID(gMainWindow.window)) break;
      switch (event.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
        case SDL_WINDOWEVENT_RESTORED: Push(PlatformMessageKind::kActivate); break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
        case SDL_WINDOWEVENT_MINIMIZED: Push(PlatformMessageKind::kDeactivate); break;
        case SDL_WINDOWEVENT_MOVED: Push(PlatformMessageKind::kMove, event.window.data1, event.window.data2); break;
        case SDL_WINDOWEVENT_SIZE_CHANGED: Push(PlatformMessageKind::kSize, event.window.data1, event.window.data2); break;
        case SDL_WINDOWEVENT_CLOSE: Push(PlatformMessageKind::kQuit); break;
        default: break;
      }
      break;
    case SDL_KEYDOWN:
      // Only the left Alt: the right one (AltGr) types characters on many layouts.
      gMainWindow.altKeyText = (event.key.keysym.mod & KMOD_LALT) != 0;
      Push(PlatformMessageKind::kKeyDown, KeyCodeOf(event.key.keysym.sym),
           ((event.key.keysym.mod & KMOD_SHIFT) ? kPlatformModShift : 0) | ((event.key.keysym.mod & KMOD_CTRL) ? kPlatformModCtrl : 0) |
               (gMainWindow.altKeyText ? kPlatformModAlt : 0));
      // Keys that type a control character but send no text event.
      if (event.key.keysym.sym == SDLK_RETURN || event.key.keysym.sym == SDLK_KP_ENTER) Push(PlatformMessageKind::kChar, 13);
      if (event.key.keysym.sym == SDLK_BACKSPACE) Push(PlatformMessageKind::kChar, 8);
      break;
    case SDL_TEXTINPUT:
      if (!afterAltKey) PushTypedText(event.text.text);
      break;
    case SDL_MOUSEMOTION: PushMouse(PlatformMessageKind::kMouseMove, event.motion.x, event.motion.y); break;
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.button == SDL_BUTTON_LEFT) PushMouse(PlatformMessageKind::kLeftButtonDown, event.button.x, event.button.y);
      if (event.button.button == SDL_BUTTON_RIGHT) PushMouse(PlatformMessageKind::kRightButtonDown, event.button.x, event.button.y);
      break;
    case SDL_MOUSEBUTTONUP:
      if (event.button.button == SDL_BUTTON_LEFT) PushMouse(PlatformMessageKind::kLeftButtonUp, event.button.x, event.button.y);
      if (event.button.button == SDL_BUTTON_RIGHT) PushMouse(PlatformMessageKind::kRightButtonUp, event.button.x, event.button.y);
      break;
    default: break;
  }
}

bool PlatformPeekMessage(PlatformMessage* message) {
  // A termination signal ends the run as closing the window does, ahead of anything queued.
  if (PlatformTakeStopSignalQuit()) {
    *message = {PlatformMessageKind::kQuit, 0, 0};
    return true;
  }
  if (gMainWindow.pending.empty() && gMainWindow.videoStarted) {
    SDL_Event event;
    while (gMainWindow.pending.empty() && SDL_PollEvent(&event)) TranslateEvent(event);
  }
  if (gMainWindow.pending.empty()) return false;
  *message = gMainWindow.pending.front();
  gMainWindow.pending.pop_front();
  return true;
}

void PlatformPostQuit() { Push(PlatformMessageKind::kQuit); }

bool PlatformQuitPending() {
  if (PlatformStopSignal() != 0) return true;
  for (const PlatformMessage& m : gMainWindow.pending)
    if (m.kind == PlatformMessageKind::kQuit) return true;
  return false;
}

bool PlatformKeyHeld(PlatformKey key) {
  if (!gMainWindow.videoStarted) return false;
  SDL_PumpEvents();
  int count = 0;
  const Uint8* state = SDL_GetKeyboardState(&count);
  SDL_Scancode code = SDL_SCANCODE_UNKNOWN;
  if (key == kPlatformKeyEscape) code = SDL_SCANCODE_ESCAPE;
  if (key == kPlatformKeyF11) code = SDL_SCANCODE_F11;
  if (key == kPlatformKeyF12) code = SDL_SCANCODE_F12;
  return code != SDL_SCANCODE_UNKNOWN && code < count && state[code] != 0;
}

void PlatformShowSystemCursor(bool shown) {
  gMainWindow.cursorShown = shown;
  if (gMainWindow.videoStarted) SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

bool PlatformSystemCursorShown() { return gMainWindow.cursorShown; }

void PlatformSetSystemCursorKind(PlatformCursorKind kind) {
  gMainWindow.cursorKind = kind;
  if (!gMainWindow.videoStarted) return;
  if (kind == PlatformCursorKind::kHand && gMainWindow.hand == nullptr)
    gMainWindow.hand = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_HAND);
  // SDL's default cursor is the arrow; a display without cursors keeps what it has.
  SDL_Cursor* cursor = kind == PlatformCursorKind::kHand ? gMainWindow.hand : SDL_GetDefaultCursor();
  if (cursor != nullptr) SDL_SetCursor(cursor);
}

PlatformCursorKind PlatformSystemCursorKind() { return gMainWindow.cursorKind; }

void PlatformAttachPresenterToMainWindow() { PresentAttachWindow(gMainWindow.window); }

void PlatformMovePointerOnScreen(int x, int y) {
  if (gMainWindow.videoStarted) SDL_WarpMouseGlobal(x, y);
}

void PlatformPushTestMessage(const PlatformMessage& message) { gMainWindow.pending.push_back(message); }
