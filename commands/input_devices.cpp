// The input devices: start-up and shut-down, acquiring on window focus, the poll that reads
// keyboard, mouse, joystick and control device once, and choosing the control device by name.
#include <algorithm>
#include <cstring>
#include <strings.h>

#include "commands/input_local.h"
#include "graphics2d/graphics2d.h"

static InputState gState;
static InputDevices gDevices;

const InputState& Input() { return gState; }
InputDevices& Devices() { return gDevices; }

static void ClearInputState() {
  std::memset(gState.keyboard, 0, sizeof gState.keyboard);
  gState.lastPressed = 0;
  gState.joystick = gState.control = PlatformJoystickRestState();
}

// The first attached joystick that opens is the joystick of the joystick commands.
static PlatformJoystick* OpenFirstJoystick() {
  for (int i = 0; i < PlatformJoystickCount(); ++i)
    if (PlatformJoystick* joystick = PlatformJoystickOpen(i)) return joystick;
  return nullptr;
}

static void ReleaseControlDevice();

bool InitDirectInput() {
  if (gDevices.started) {  // started again: the devices are chosen afresh
    ReleaseControlDevice();
    if (gDevices.joystick != nullptr) PlatformJoystickClose(gDevices.joystick);
  }
  if (!PlatformInputStart()) {
    WriteEngineErrorLog("Failed to start the input devices");
    return false;
  }
  gDevices.started = true;
  gDevices.joysticksLooked = false;
  gDevices.joystick = nullptr;
  gDevices.control = nullptr;
  gDevices.force = nullptr;
  gDevices.wantedName.clear();
  gDevices.controlName.clear();
  gDevices.forceFeedback = false;
  std::fill(std::begin(gDevices.effects), std::end(gDevices.effects), -1);
  ClearInputState();
  return true;
}

// Acquiring asks nothing of SDL (it reports to the focused window by itself); letting go
// drops every held key and button, so none stays held while another window has the keyboard.
void AcquireInputDevices() {}

void UnacquireInputDevices() {
  if (!gDevices.started) return;
  PlatformReleaseKeysAndButtons();
  std::memset(gState.keyboard, 0, sizeof gState.keyboard);
  Mouse().buttons = 0;
}

static void ReleaseControlDevice() {
  ReleaseForceEffects();
  if (gDevices.force != nullptr) PlatformHaptics().Close(gDevices.force);
  if (gDevices.control != nullptr) PlatformJoystickClose(gDevices.control);
  gDevices.force = nullptr;
  gDevices.control = nullptr;
  gDevices.forceFeedback = false;
}

void CloseDirectInput() {
  if (!gDevices.started) return;
  ReleaseControlDevice();
  if (gDevices.joystick != nullptr) PlatformJoystickClose(gDevices.joystick);
  PlatformInputStop();
  gDevices = {};
  std::fill(std::begin(gDevices.effects), std::end(gDevices.effects), -1);
  ClearInputState();
}

// The mouse's motion since the last poll goes into the runtime's mouse state. The sums always
// move. The position is where the pointer is over the picture (its place in the window and
// any scale taken off): kept on the picture in full screen, read as it is in a window. Where
// no picture is shown (headless) the full-screen position is the motion added up instead.
static void UpdateMouse() {
  PlatformMouseReading reading;
  PlatformReadMouse(&reading);
  MouseState& mouse = Mouse();
  mouse.moveX += reading.dx;
  mouse.moveY += reading.dy;
  mouse.moveZ += reading.wheel * kWheelStep;
  mouse.z = std::clamp(mouse.z + reading.wheel * kWheelStep, 0, 99);
  const int right = std::max(ScreenWidth(), 1) - 1, bottom = std::max(ScreenHeight(), 1) - 1;
  if (DisplayWindowMode()) {
    if (reading.moved) mouse.x = reading.x, mouse.y = reading.y;
  } else if (reading.moved && reading.placed) {
    mouse.x = std::clamp(reading.x, 0, right);
    mouse.y = std::clamp(reading.y, 0, bottom);
  } else {
    mouse.x = std::clamp(mouse.x + reading.dx, 0, right);
    mouse.y = std::clamp(mouse.y + reading.dy, 0, bottom);
  }
  mouse.buttons = 0;
  for (int i = 0; i < 4; ++i)
    if (reading.buttons[i] & 0x80) mouse.buttons |= 1 << i;
}

// A joystick that has gone (unplugged) reads as at rest until the next start-up.
static void ReadJoystick(PlatformJoystick* joystick, int deadZone, PlatformJoystickState* state) {
  if (!PlatformJoystickRead(joystick, deadZone, state)) *state = PlatformJoystickRestState();
}

void PollInput() {
  if (!gDevices.started || !DisplayActive()) return;
  PlatformInputPump();
  uint8_t before[kPlatformKeyStateSize];
  std::memcpy(before, gState.keyboard, sizeof before);
  PlatformReadKeyState(gState.keyboard);
  for (int scan = 1; scan < kPlatformKeyStateSize; ++scan)
    if ((gState.keyboard[scan] & 0x80) != 0 && (before[scan] & 0x80) == 0) gState.lastPressed = scan;
  UpdateMouse();
  if (gDevices.joystick != nullptr) {
    // The joystick chosen as the control device is read as the control device.
    const bool joystickIsControl =
        gDevices.control != nullptr &&
        strcasecmp(PlatformJoystickProductName(gDevices.joystick), gDevices.wantedName.c_str()) == 0;
    if (joystickIsControl) ReadJoystick(gDevices.control, 0, &gState.joystick);
    else ReadJoystick(gDevices.joystick, kJoystickDeadZone, &gState.joystick);
  }
  if (gDevices.control != nullptr) ReadJoystick(gDevices.control, 0, &gState.control);
}

// The joysticks whose name is exactly the one wanted, opened in turn until one passes the test
// (the one that passes stays open); null when none does.
template <class Accept>
static PlatformJoystick* OpenJoystickNamed(const std::string& name, Accept accept) {
  for (int i = 0; i < PlatformJoystickCount(); ++i) {
    if (PlatformJoystickName(i) != name) continue;
    PlatformJoystick* joystick = PlatformJoystickOpen(i);
    if (joystick == nullptr) continue;
    if (accept(joystick)) return joystick;
    PlatformJoystickClose(joystick);
  }
  return nullptr;
}

bool LookForJoysticks() {
  if (!gDevices.started) return false;
  if (gDevices.joysticksLooked) return true;
  gDevices.joysticksLooked = true;
  if (!PlatformJoysticksStart()) return true;  // none is no failure
  gDevices.joystick = OpenFirstJoystick();
  if (gDevices.joystick != nullptr) {
    PlatformInputPump();
    ReadJoystick(gDevices.joystick, kJoystickDeadZone, &gState.joystick);
  }
  return true;
}

bool SetControlDevice(const char* name) {
  ReleaseControlDevice();
  if (!LookForJoysticks()) return false;
  const std::string wanted = name;
  // A force-feedback joystick of that name first, then any joystick of that name.
  gDevices.control = OpenJoystickNamed(wanted, [](PlatformJoystick* joystick) {
    gDevices.force = PlatformHaptics().Open(joystick);
    return gDevices.force != nullptr;
  });
  if (gDevices.control == nullptr) gDevices.control = OpenJoystickNamed(wanted, [](PlatformJoystick*) { return true; });
  if (gDevices.control == nullptr) return false;
  gDevices.controlName = wanted;
  gDevices.forceFeedback = gDevices.force != nullptr;
  if (gDevices.forceFeedback) MakeForceEffects();
  gState.control = PlatformJoystickRestState();
  return true;
}
