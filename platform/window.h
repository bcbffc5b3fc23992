// The main window and its message queue: SDL2 events translated into the messages the
// player's window procedure handles (quit, activation, move, size, keys, characters, mouse).
#pragma once
#include <cstdint>

enum class PlatformMessageKind {
  kQuit,        // the window was closed or a quit was posted
  kActivate,    // the window gained focus or was restored
  kDeactivate,  // the window lost focus or was minimised
  kMove,        // a, b = client position
  kSize,        // a, b = client width, height
  kKeyDown,     // a = PlatformKey code
  kChar,        // a = typed 8-bit character
  kMouseMove,   // a, b = the pointer's place in the frame shown (0, 0 its top-left pixel)
  kLeftButtonDown,   // a, b = the press's place in the frame, as for kMouseMove
  kLeftButtonUp,
  kRightButtonDown,
  kRightButtonUp,
};

struct PlatformMessage {
  PlatformMessageKind kind;
  int a, b;
};

// Keys the runtime itself looks at (the input commands read the full keyboard elsewhere).
// The development environment also reads the editing keys: Tab 9, Page Up/Down 33/34, End 35,
// Home 36, the arrows 37-40, Delete 46, letters and digits as their upper-case character, F1-F12
// 112-123; the key-down message's b holds 1 while Shift, 2 while Ctrl and 4 while the left Alt
// is held (a key pressed with the left Alt types no character).
enum PlatformKey { kPlatformKeyOther = 0, kPlatformKeyEscape = 27, kPlatformKeyF11 = 122, kPlatformKeyF12 = 123 };
constexpr int kPlatformModShift = 1, kPlatformModCtrl = 2, kPlatformModAlt = 4;

// The player creates its window once at start-up; false when no display can be opened.
// With no display at all it runs without a window, saying so once on stderr.
bool PlatformCreateMainWindow(const char* title, int width, int height);
// The driver's run: advice appended to that notice (how to see what the program prints).
void PlatformSetNoDisplayAdvice(const char* advice);
// The player destroys it at shut-down; safe without a window.
void PlatformDestroyMainWindow();
bool PlatformHasMainWindow();
void PlatformSetWindowTitle(const char* title);
// Resizes the window (window mode covers the desktop); the desktop size for that. In full
// screen it sets the size the next PlatformSetFullscreen(true) switches to.
void PlatformSetWindowSize(int width, int height);
void PlatformDesktopSize(int* width, int* height);
// Full screen in a display mode of the window's size (640x480) where the display has one,
// otherwise a window over the whole desktop (the frame shows centred in it); or back to a
// window of that size. Called again while in full screen, it switches to the new size.
// False when the window could take neither the mode nor the desktop (nothing to show on).
bool PlatformSetFullscreen(bool on);
// Tests: full screen is refused as a display that can take neither mode nor desktop refuses it.
void PlatformRefuseFullscreenForTests(bool refuse);
// True when a display driver draws nothing visible (offscreen, dummy): presenting counts only.
bool PlatformIsHeadless();
// Takes the next pending message without waiting; false when none is pending.
bool PlatformPeekMessage(PlatformMessage* message);
// Posts a quit message that the main loop's next PlatformPeekMessage returns.
void PlatformPostQuit();
// True while a quit message is waiting (PumpMessagesOccasionally leaves it queued).
bool PlatformQuitPending();
// Whether the key is held right now (Esc, F11 and F12 for the end-of-run wait).
bool PlatformKeyHeld(PlatformKey key);
// Shows or hides the system cursor over the window: hidden while the display draws a pointer
// of its own. The state is kept before the video starts too.
void PlatformShowSystemCursor(bool shown);
bool PlatformSystemCursorShown();
// The system cursor's look over the window: the arrow, or the hand over a link. The choice is
// kept before the video starts too.
enum class PlatformCursorKind { kArrow, kHand };
void PlatformSetSystemCursorKind(PlatformCursorKind kind);
PlatformCursorKind PlatformSystemCursorKind();
// Binds the frame presenter (platform/present.h) to the main window; the display calls it
// when it opens. Destroying the window detaches it.
void PlatformAttachPresenterToMainWindow();
// Moves the pointer to a point of the whole screen, so a test drives the real pointer: the
// window reports it in its own coordinates as a user's move would.
void PlatformMovePointerOnScreen(int x, int y);
// The window commands: place, frame and showing of the main window (a window manager may
// still place or decorate it its own way); nothing without a window.
void PlatformSetWindowPosition(int x, int y);
void PlatformGetWindowPlace(int* x, int* y, int* width, int* height);
void PlatformSetWindowBordered(bool bordered);
bool PlatformWindowBordered();
enum class PlatformShow { kHide, kShow, kMinimise, kMaximise, kRestore };
void PlatformShowWindow(PlatformShow how);
bool PlatformWindowShown();  // false when hidden or minimised
const char* PlatformWindowTitle();
// Tests push synthetic messages through the same queue the window fills.
void PlatformPushTestMessage(const PlatformMessage& message);
