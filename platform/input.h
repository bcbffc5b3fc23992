// Keyboard, mouse and joysticks over SDL2: the key state by scan code and the mouse's motion,
// built from SDL events as they arrive (injected ones too), and joysticks read into one layout.
#pragma once
#include <cstdint>
#include <string>

// The input start-up (after the main window exists): watches SDL events. False when events
// cannot be watched. PlatformInputStop undoes it (and the joysticks') at shut-down.
bool PlatformInputStart();
void PlatformInputStop();
// Opens the joystick subsystem, at the first use of a joystick: looking for devices is the
// dearest part of starting input, and most games never ask. False when there is none to open.
bool PlatformJoysticksStart();
// Reads the events the system has for us, so the states below are current between two
// window messages (a poll in the middle of a slice).
void PlatformInputPump();

// ---------------------------------------------------------------------------------------
// Keyboard: 256 bytes by scan code (the PC's set-1 numbers, extended keys + 128), bit 7 set
// while the key is held.
// ---------------------------------------------------------------------------------------

constexpr int kPlatformKeyStateSize = 256;
void PlatformReadKeyState(uint8_t state[kPlatformKeyStateSize]);
// Every key and mouse button reads as released: the window lost the focus (the key-up events
// go to another window) or the input commands let the devices go.
void PlatformReleaseKeysAndButtons();
// The scan code of an SDL scancode value; 0 for keys without one.
int PlatformScanCodeOfSdlScancode(int sdlScancode);
// Tests: how many SDL scancodes there are, and the name SDL gives one ("" when it has no name
// of its own: none, or one it shares with an earlier scancode).
int PlatformSdlScancodeCount();
const char* PlatformSdlScancodeName(int sdlScancode);

// ---------------------------------------------------------------------------------------
// Mouse
// ---------------------------------------------------------------------------------------

struct PlatformMouseReading {
  int dx, dy;          // relative motion since the last reading
  int wheel;           // wheel notches since the last reading, away from the user positive
  bool moved;          // an absolute position arrived since the last reading
  bool placed;         // that position is the pointer's over a frame shown in a window
  int x, y;            // the last absolute position, in the frame's pixels (0, 0 its top-left;
                       // outside the frame below 0 or past its size); as sent where none is shown
  uint8_t buttons[4];  // left, right, middle, fourth: 0x80 while held
};
// Takes the mouse's motion since the last reading; the sums start again from zero.
void PlatformReadMouse(PlatformMouseReading* reading);

// Tests: events pushed into SDL's queue as the system delivers them (the window sees them too).
// "Up", "Left Ctrl", "A" ...; the modifiers held with it: window.h's kPlatformModShift,
// kPlatformModCtrl, kPlatformModAlt (the left Alt) and kPlatformInjectRightAlt.
constexpr int kPlatformInjectRightAlt = 8;
void PlatformInjectKey(const char* sdlKeyName, bool down, int modifiers = 0);
void PlatformInjectText(const char* utf8);                   // typed text, as a keyboard layout sends it
void PlatformInjectMouseMotion(int x, int y, int dx, int dy);  // window position and motion
void PlatformInjectMouseWheel(int notches);                  // away from the user positive
void PlatformInjectMouseButton(int button, bool down);       // 0 left, 1 right, 2 middle, 3 fourth
void PlatformInjectFocusLost();

// ---------------------------------------------------------------------------------------
// Joysticks: the attached devices by index 0..count-1
// ---------------------------------------------------------------------------------------

int PlatformJoystickCount();
std::string PlatformJoystickName(int index);
struct PlatformJoystick;  // an opened joystick
// Null when the device cannot be opened; close each opened one once.
PlatformJoystick* PlatformJoystickOpen(int index);
void PlatformJoystickClose(PlatformJoystick* joystick);
const char* PlatformJoystickProductName(const PlatformJoystick* joystick);

// One reading of a joystick's controls.
struct PlatformJoystickState {
  int32_t x, y, z;        // the first three axes, -1000..1000
  int32_t rx, ry, rz;     // the next three (rotations), -1000..1000
  int32_t sliders[2];     // the seventh and eighth axes, 0..65535 (no dead zone)
  uint32_t pov[4];        // hats in hundredths of a degree clockwise from up; 0xFFFFFFFF centred
  uint8_t buttons[32];    // 0x80 while held
};
constexpr uint32_t kPlatformHatCentred = 0xFFFFFFFFu;
// A state with every control at rest (axes 0, hats centred, buttons up).
PlatformJoystickState PlatformJoystickRestState();
// Reads the joystick's controls now. deadZone is in ten-thousandths of the half range: axis
// positions inside it read 0 and the rest is spread over the whole scale. False when the
// device has gone.
bool PlatformJoystickRead(PlatformJoystick* joystick, int deadZone, PlatformJoystickState* state);

// Tests: a virtual joystick with the name and counts (at most 8 axes, 4 hats, 32 buttons),
// attached until PlatformDetachTestJoysticks; returns its number for the setters (0, 1, ...),
// -1 when SDL cannot make one. Values show at the next read.
int PlatformAttachTestJoystick(const char* name, int axes, int hats, int buttons);
void PlatformSetTestJoystickAxis(int joystick, int axis, int16_t value);
// Hat directions for the test setter, combined for diagonals (0 = centred).
enum : uint8_t { kPlatformHatUp = 1, kPlatformHatRight = 2, kPlatformHatDown = 4, kPlatformHatLeft = 8 };
void PlatformSetTestJoystickHat(int joystick, int hat, uint8_t directions);
void PlatformSetTestJoystickButton(int joystick, int button, bool held);
void PlatformDetachTestJoysticks();
