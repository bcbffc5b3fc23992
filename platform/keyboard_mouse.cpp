// Keyboard and mouse state from SDL events: an event watch sees every event as it is queued
// (also the ones tests push), so the key state and the mouse sums never wait for the window.
#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "platform/input.h"
#include "platform/input_local.h"
#include "platform/present.h"
#include "platform/window.h"
#include "platform/window_local.h"

// Lives from PlatformInputStart to PlatformInputStop (cleared at both).
static struct {
  bool watching = false;
  bool startWithWindow = false;  // asked to start while a headless run's window was deferred
  bool joysticksOn = false;  // the joystick subsystem started (at the first use of a joystick)
  uint8_t keys[kPlatformKeyStateSize] = {};
  int dx = 0, dy = 0, wheel = 0;
  bool moved = false;
  bool placed = false;  // the last position is over a frame shown in a window
  int x = 0, y = 0;
  uint8_t buttons[4] = {};
} gInput;

// SDL scancodes to the PC's set-1 scan codes (extended keys + 128). Keys of the keyboard page
// and the media keys the set-1 numbering has; keys it lacks (F16 on, most language keys)
// have none. tests/platform/scan_codes_test.cpp derives the same table from the key names.
static const struct {
  SDL_Scancode sdl;
  uint8_t scan;
} kScanCodes[] = {
    {SDL_SCANCODE_ESCAPE, 1},        {SDL_SCANCODE_1, 2},
    {SDL_SCANCODE_2, 3},             {SDL_SCANCODE_3, 4},
    {SDL_SCANCODE_4, 5},             {SDL_SCANCODE_5, 6},
    {SDL_SCANCODE_6, 7},             {SDL_SCANCODE_7, 8},
    {SDL_SCANCODE_8, 9},             {SDL_SCANCODE_9, 10},
    {SDL_SCANCODE_0, 11},            {SDL_SCANCODE_MINUS, 12},
    {SDL_SCANCODE_EQUALS, 13},       {SDL_SCANCODE_BACKSPACE, 14},
    {SDL_SCANCODE_TAB, 15},          {SDL_SCANCODE_Q, 16},
    {SDL_SCANCODE_W, 17},            {SDL_SCANCODE_E, 18},
    {SDL_SCANCODE_R, 19},            {SDL_SCANCODE_T, 20},
    {SDL_SCANCODE_Y, 21},            {SDL_SCANCODE_U, 22},
    {SDL_SCANCODE_I, 23},            {SDL_SCANCODE_O, 24},
    {SDL_SCANCODE_P, 25},            {SDL_SCANCODE_LEFTBRACKET, 26},
    {SDL_SCANCODE_RIGHTBRACKET, 27}, {SDL_SCANCODE_RETURN, 28},
    {SDL_SCANCODE_LCTRL, 29},        {SDL_SCANCODE_A, 30},
    {SDL_SCANCODE_S, 31},            {SDL_SCANCODE_D, 32},
    {SDL_SCANCODE_F, 33},            {SDL_SCANCODE_G, 34},
    {SDL_SCANCODE_H, 35},            {SDL_SCANCODE_J, 36},
    {SDL_SCANCODE_K, 37},            {SDL_SCANCODE_L, 38},
    {SDL_SCANCODE_SEMICOLON, 39},    {SDL_SCANCODE_APOSTROPHE, 40},
    {SDL_SCANCODE_GRAVE, 41},        {SDL_SCANCODE_LSHIFT, 42},
    {SDL_SCANCODE_BACKSLASH, 43},    {SDL_SCANCODE_NONUSHASH, 43},  // one key: the one left of Return
    {SDL_SCANCODE_Z, 44},            {SDL_SCANCODE_X, 45},
    {SDL_SCANCODE_C, 46},            {SDL_SCANCODE_V, 47},
    {SDL_SCANCODE_B, 48},            {SDL_SCANCODE_N, 49},
    {SDL_SCANCODE_M, 50},            {SDL_SCANCODE_COMMA, 51},
    {SDL_SCANCODE_PERIOD, 52},       {SDL_SCANCODE_SLASH, 53},
    {SDL_SCANCODE_RSHIFT, 54},       {SDL_SCANCODE_KP_MULTIPLY, 55},
    {SDL_SCANCODE_LALT, 56},         {SDL_SCANCODE_SPACE, 57},
    {SDL_SCANCODE_CAPSLOCK, 58},     {SDL_SCANCODE_F1, 59},
    {SDL_SCANCODE_F2, 60},           {SDL_SCANCODE_F3, 61},
    {SDL_SCANCODE_F4, 62},           {SDL_SCANCODE_F5, 63},
    {SDL_SCANCODE_F6, 64},           {SDL_SCANCODE_F7, 65},
    {SDL_SCANCODE_F8, 66},           {SDL_SCANCODE_F9, 67},
    {SDL_SCANCODE_F10, 68},          {SDL_SCANCODE_NUMLOCKCLEAR, 69},
    {SDL_SCANCODE_SCROLLLOCK, 70},   {SDL_SCANCODE_KP_7, 71},
    {SDL_SCANCODE_KP_8, 72},         {SDL_SCANCODE_KP_9, 73},
    {SDL_SCANCODE_KP_MINUS, 74},     {SDL_SCANCODE_KP_4, 75},
    {SDL_SCANCODE_KP_5, 76},         {SDL_SCANCODE_KP_6, 77},
    {SDL_SCANCODE_KP_PLUS, 78},      {SDL_SCANCODE_KP_1, 79},
    {SDL_SCANCODE_KP_2, 80},         {SDL_SCANCODE_KP_3, 81},
    {SDL_SCANCODE_KP_0, 82},         {SDL_SCANCODE_KP_PERIOD, 83},
    {SDL_SCANCODE_NONUSBACKSLASH, 86}, {SDL_SCANCODE_F11, 87},
    {SDL_SCANCODE_F12, 88},          {SDL_SCANCODE_F13, 100},
    {SDL_SCANCODE_F14, 101},         {SDL_SCANCODE_F15, 102},
    {SDL_SCANCODE_INTERNATIONAL2, 112},  // kana
    {SDL_SCANCODE_INTERNATIONAL1, 115},  // ro
    {SDL_SCANCODE_INTERNATIONAL4, 121},  // convert
    {SDL_SCANCODE_INTERNATIONAL5, 123},  // no convert
    {SDL_SCANCODE_INTERNATIONAL3, 125},  // yen
    {SDL_SCANCODE_KP_EQUALS, 141},   {SDL_SCANCODE_AUDIOPREV, 144},
    {SDL_SCANCODE_AUDIONEXT, 153},   {SDL_SCANCODE_KP_ENTER, 156},
    {SDL_SCANCODE_RCTRL, 157},       {SDL_SCANCODE_MUTE, 160},
    {SDL_SCANCODE_AUDIOMUTE, 160},   {SDL_SCANCODE_CALCULATOR, 161},
    {SDL_SCANCODE_AUDIOPLAY, 162},   {SDL_SCANCODE_AUDIOSTOP, 164},
    {SDL_SCANCODE_VOLUMEDOWN, 174},  {SDL_SCANCODE_VOLUMEUP, 176},
    {SDL_SCANCODE_AC_HOME, 178},     {SDL_SCANCODE_KP_COMMA, 179},
    {SDL_SCANCODE_KP_DIVIDE, 181},   {SDL_SCANCODE_PRINTSCREEN, 183},
    {SDL_SCANCODE_SYSREQ, 183},      {SDL_SCANCODE_RALT, 184},
    {SDL_SCANCODE_PAUSE, 197},       {SDL_SCANCODE_HOME, 199},
    {SDL_SCANCODE_UP, 200},          {SDL_SCANCODE_PAGEUP, 201},
    {SDL_SCANCODE_LEFT, 203},        {SDL_SCANCODE_RIGHT, 205},
    {SDL_SCANCODE_END, 207},         {SDL_SCANCODE_DOWN, 208},
    {SDL_SCANCODE_PAGEDOWN, 209},    {SDL_SCANCODE_INSERT, 210},
    {SDL_SCANCODE_DELETE, 211},      {SDL_SCANCODE_LGUI, 219},
    {SDL_SCANCODE_RGUI, 220},        {SDL_SCANCODE_APPLICATION, 221},
    {SDL_SCANCODE_POWER, 222},       {SDL_SCANCODE_SLEEP, 223},
    {SDL_SCANCODE_AC_SEARCH, 229},   {SDL_SCANCODE_AC_BOOKMARKS, 230},
    {SDL_SCANCODE_AC_REFRESH, 231},  {SDL_SCANCODE_AC_STOP, 232},
    {SDL_SCANCODE_AC_FORWARD, 233},  {SDL_SCANCODE_AC_BACK, 234},
    {SDL_SCANCODE_COMPUTER, 235},    {SDL_SCANCODE_MAIL, 236},
    {SDL_SCANCODE_MEDIASELECT, 237},
};

// The table above turned around into one lookup by SDL scancode, made on first use.
static const uint8_t* ScanCodeLookup() {
  static uint8_t lookup[SDL_NUM_SCANCODES] = {};
  static bool made = false;
  if (!made) {
    for (const auto& entry : kScanCodes) lookup[entry.sdl] = entry.scan;
    made = true;
  }
  return lookup;
}

int PlatformScanCodeOfSdlScancode(int sdlScancode) {
  if (sdlScancode < 0 || sdlScancode >= SDL_NUM_SCANCODES) return 0;
  return ScanCodeLookup()[sdlScancode];
}

// SDL's buttons in the order the mouse state numbers them: left, right, middle, fourth.
static int MouseButtonIndex(uint8_t sdlButton) {
  switch (sdlButton) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    case SDL_BUTTON_X1: return 3;
    default: return -1;
  }
}

void PlatformReleaseKeysAndButtons() {
  std::memset(gInput.keys, 0, sizeof gInput.keys);
  std::memset(gInput.buttons, 0, sizeof gInput.buttons);
}

static int SDLCALL WatchInputEvent(void*, SDL_Event* event) {
  switch (event->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (const int scan = PlatformScanCodeOfSdlScancode(event->key.keysym.scancode))
        gInput.keys[scan] = event->type == SDL_KEYDOWN ? 0x80 : 0;
      break;
    case SDL_MOUSEMOTION:
      gInput.dx += event->motion.xrel;
      gInput.dy += event->motion.yrel;
      // The place over the frame shown; where no frame is shown (headless) only the motion tells.
      gInput.placed = PresentWindowToFrame(event->motion.x, event->motion.y, &gInput.x, &gInput.y);
      gInput.moved = true;
      break;
    case SDL_MOUSEWHEEL:
      gInput.wheel += event->wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event->wheel.y : event->wheel.y;
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (const int index = MouseButtonIndex(event->button.button); index >= 0)
        gInput.buttons[index] = event->type == SDL_MOUSEBUTTONDOWN ? 0x80 : 0;
      break;
    case SDL_WINDOWEVENT:
      // The key-up events of keys let go in another window never come here.
      if (event->window.event == SDL_WINDOWEVENT_FOCUS_LOST) PlatformReleaseKeysAndButtons();
      break;
    default: break;
  }
  return 1;
}

static void ClearInputState() {
  const bool watching = gInput.watching, joysticksOn = gInput.joysticksOn, later = gInput.startWithWindow;
  gInput = {};
  gInput.watching = watching;
  gInput.joysticksOn = joysticksOn;
  gInput.startWithWindow = later;
}

static bool StartWatching();

bool PlatformInputStart() {
  if (gInput.watching) {
    ClearInputState();
    return true;
  }
  // No events come before the window: they start with it.
  if (PlatformMainWindowDeferred()) {
    ClearInputState();
    gInput.startWithWindow = true;
    return true;
  }
  return StartWatching();
}

void PlatformInputStartWithWindow() {
  if (gInput.startWithWindow && !gInput.watching) StartWatching();
}

static bool StartWatching() {
  // Joysticks are read while the window is in the background too, as a game pad in use
  // beside another window expects.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) return false;
  SDL_AddEventWatch(WatchInputEvent, nullptr);
  gInput.watching = true;
  ClearInputState();
  return true;
}

void PlatformInputStop() {
  if (!gInput.watching) return;
  PlatformDetachTestJoysticks();
  CloseAllJoysticks();
  StopHaptics();
  SDL_DelEventWatch(WatchInputEvent, nullptr);
  // Keys and clicks still queued belong to the run that ends: while the video keeps the event
  // queue alive (a window, the clipboard), the next run would read them as its own.
  SDL_FlushEvents(SDL_KEYDOWN, SDL_MOUSEWHEEL);
  if (gInput.joysticksOn) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
  gInput = {};
}

bool PlatformJoysticksStart() {
  if (gInput.startWithWindow && !gInput.watching) PlatformMainSdlWindow();
  if (gInput.watching && !gInput.joysticksOn) gInput.joysticksOn = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
  return gInput.joysticksOn;
}

bool JoysticksStarted() { return gInput.joysticksOn; }

void PlatformInputPump() {
  if (gInput.watching) SDL_PumpEvents();
}

void PlatformReadKeyState(uint8_t state[kPlatformKeyStateSize]) { std::memcpy(state, gInput.keys, sizeof gInput.keys); }

void PlatformReadMouse(PlatformMouseReading* reading) {
  reading->dx = gInput.dx;
  reading->dy = gInput.dy;
  reading->wheel = gInput.wheel;
  reading->moved = gInput.moved;
  reading->placed = gInput.placed;
  reading->x = gInput.x;
  reading->y = gInput.y;
  std::memcpy(reading->buttons, gInput.buttons, sizeof gInput.buttons);
  gInput.dx = gInput.dy = gInput.wheel = 0;
  gInput.moved = false;
}

int PlatformSdlScancodeCount() { return SDL_NUM_SCANCODES; }

const char* PlatformSdlScancodeName(int sdlScancode) {
  if (sdlScancode <= 0 || sdlScancode >= SDL_NUM_SCANCODES) return "";
  const char* name = SDL_GetScancodeName(static_cast<SDL_Scancode>(sdlScancode));
  if (name == nullptr || name[0] == 0 || SDL_GetScancodeFromName(name) != sdlScancode) return "";
  return name;
}

// Each injection first makes a deferred window: key names map to keys only once the video has
// started, and the events start with the window.
static void Inject(SDL_Event& event) {
  event.common.timestamp = SDL_GetTicks();
  SDL_PushEvent(&event);
}

void PlatformInjectKey(const char* sdlKeyName, bool down, int modifiers) {
  PlatformMainSdlWindow();
  SDL_Event event;
  SDL_zero(event);
  event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  event.key.keysym.scancode = SDL_GetScancodeFromName(sdlKeyName);
  event.key.keysym.sym = SDL_GetKeyFromScancode(event.key.keysym.scancode);
  event.key.keysym.mod = static_cast<Uint16>(((modifiers & kPlatformModShift) ? KMOD_LSHIFT : 0) |
                                             ((modifiers & kPlatformModCtrl) ? KMOD_LCTRL : 0) |
                                             ((modifiers & kPlatformModAlt) ? KMOD_LALT : 0) |
                                             ((modifiers & kPlatformInjectRightAlt) ? KMOD_RALT : 0));
  Inject(event);
}

void PlatformInjectText(const char* utf8) {
  PlatformMainSdlWindow();
  SDL_Event event;
  SDL_zero(event);
  event.type = SDL_TEXTINPUT;
  std::snprintf(event.text.text, sizeof event.text.text, "%s", utf8);
  Inject(event);
}

void PlatformInjectMouseMotion(int x, int y, int dx, int dy) {
  PlatformMainSdlWindow();
  SDL_Event event;
  SDL_zero(event);
  event.type = SDL_MOUSEMOTION;
  event.motion.x = x;
  event.motion.y = y;
  event.motion.xrel = dx;
  event.motion.yrel = dy;
  Inject(event);
}

void PlatformInjectMouseWheel(int notches) {
  PlatformMainSdlWindow();
  SDL_Event event;
  SDL_zero(event);
  event.type = SDL_MOUSEWHEEL;
  event.wheel.y = notches;
  event.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
  Inject(event);
}

void PlatformInjectMouseButton(int button, bool down) {
  PlatformMainSdlWindow();
  static const uint8_t kSdlButtons[4] = {SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE, SDL_BUTTON_X1};
  if (button < 0 || button > 3) return;
  SDL_Event event;
  SDL_zero(event);
  event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  event.button.button = kSdlButtons[button];
  event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
  Inject(event);
}

void PlatformInjectFocusLost() {
  SDL_Window* window = PlatformMainSdlWindow();
  SDL_Event event;
  SDL_zero(event);
  event.type = SDL_WINDOWEVENT;
  event.window.windowID = window != nullptr ? SDL_GetWindowID(window) : 0;
  event.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  Inject(event);
}
