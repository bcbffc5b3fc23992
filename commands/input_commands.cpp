// The input commands: keys by scan code, the mouse wheel and movement sums, the first
// joystick, the control device chosen by name, and the checklist of attached joysticks.
#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "commands/input_local.h"
#include "runtime/command_numbers.h"

// 1 while any of the keys is held; the queries poll first once per dispatcher cycle.
static int32_t KeyHeld(std::initializer_list<int> scanCodes) {
  RefreshInputIfDue();
  for (int scan : scanCodes)
    if (Input().keyboard[scan] & 0x80) return 1;
  return 0;
}

template <int... Scan>
static void CmdKey() {  // result
  WriteIntResult(KeyHeld({Scan...}));
  AdvanceOperands(1);
}

static void CmdKeyState() {  // result, scan code
  const int32_t scan = IntOperand(1);
  WriteIntResult(scan >= 0 && scan < kPlatformKeyStateSize ? KeyHeld({scan}) : 0);
  AdvanceOperands(2);
}

// The key held that went down last; when that one is let go, the lowest scan code held.
static void CmdScanCode() {  // result
  RefreshInputIfDue();
  const InputState& state = Input();
  int scan = state.lastPressed > 0 && (state.keyboard[state.lastPressed] & 0x80) ? state.lastPressed : 0;
  for (int other = 1; scan == 0 && other < kPlatformKeyStateSize; ++other)
    if (state.keyboard[other] & 0x80) scan = other;
  WriteIntResult(scan);
  AdvanceOperands(1);
}

static void CmdMouseWheel() {  // result
  RefreshInputIfDue();
  WriteIntResult(Mouse().z);
  AdvanceOperands(1);
}

// The movement sums are read once: reading one starts it again from 0.
template <int MouseState::*Sum>
static void CmdMouseMove() {  // result
  RefreshInputIfDue();
  WriteIntResult(Mouse().*Sum);
  Mouse().*Sum = 0;
  AdvanceOperands(1);
}

static const PlatformJoystickState& Joystick() {
  LookForJoysticks();
  RefreshInputIfDue();
  return Input().joystick;
}

template <int32_t PlatformJoystickState::*Axis, int Sign>
static void CmdJoystickDirection() {  // result: 1 while the axis is off centre on that side
  WriteIntResult(Joystick().*Axis * Sign > 0 ? 1 : 0);
  AdvanceOperands(1);
}

template <int32_t PlatformJoystickState::*Axis>
static void CmdJoystickAxis() {  // result
  WriteIntResult(Joystick().*Axis);
  AdvanceOperands(1);
}

template <int Slider>
static void CmdJoystickSlider() {  // result
  WriteIntResult(Joystick().sliders[Slider]);
  AdvanceOperands(1);
}

static int32_t ButtonHeld(int32_t button) {
  return button >= 0 && button < 32 && (Joystick().buttons[button] & 0x80) ? 1 : 0;
}

template <int Button>
static void CmdJoystickButtonFixed() {  // result
  WriteIntResult(ButtonHeld(Button));
  AdvanceOperands(1);
}

static void CmdJoystickButton() {  // result, button 0..31
  WriteIntResult(ButtonHeld(IntOperand(1)));
  AdvanceOperands(2);
}

template <int Hat>
static void CmdJoystickHatRaw() {  // result: the hat as read (-1 centred)
  WriteIntResult(static_cast<int32_t>(Joystick().pov[Hat]));
  AdvanceOperands(1);
}

static void CmdJoystickHatAngle() {  // result, hat 0..3
  const int32_t hat = IntOperand(1);
  int32_t angle = -1;
  if (hat >= 0 && hat < 4) {
    const uint32_t value = Joystick().pov[hat];
    if ((value & 0xFFFF) != 0xFFFF) angle = static_cast<int32_t>(value);
  }
  WriteIntResult(angle);
  AdvanceOperands(2);
}

template <int32_t PlatformJoystickState::*Axis>
static void CmdControlDeviceAxis() {  // result
  RefreshInputIfDue();
  WriteIntResult(Input().control.*Axis);
  AdvanceOperands(1);
}

static void CmdControlDeviceName() {  // result
  WriteTextResult(Devices().controlName.c_str());
  if (Devices().controlName.empty()) RuntimeError(4002);
  AdvanceOperands(1);
}

static void CmdSetControlDevice() {  // name
  const char* name = TextOperand(0);
  AdvanceOperands(1);
  Devices().wantedName = name;
  if (!SetControlDevice(name)) RuntimeError(4001);
}

// One entry per attached joystick: its name, and a = 1 when a force-feedback device has that name.
static void CmdChecklistDevices() {
  const bool listed = LookForJoysticks();
  StartChecklist(listed, true, true);
  if (!listed) return;
  const PlatformHapticBackend& haptics = PlatformHaptics();
  std::vector<std::string> forceNames;
  for (int f = 0; f < haptics.DeviceCount(); ++f) forceNames.emplace_back(haptics.DeviceName(f));
  for (int i = 0; i < PlatformJoystickCount(); ++i) {
    const std::string name = PlatformJoystickName(i);
    const bool force = std::find(forceNames.begin(), forceNames.end(), name) != forceNames.end();
    AddChecklistEntry(name.c_str(), force ? 1 : 0);
  }
}

static const CommandEntry kInputCommands[] = {
    {kInputChecklistDevices, CmdChecklistDevices},
    {kInputSetControlDevice, CmdSetControlDevice},
    {kKeyUp, CmdKey<200>},
    {kKeyDown, CmdKey<208>},
    {kKeyLeft, CmdKey<203>},
    {kKeyRight, CmdKey<205>},
    {kKeyControl, CmdKey<29, 157>},
    {kKeyShift, CmdKey<42, 54>},
    {kKeyReturn, CmdKey<28>},
    {kKeySpace, CmdKey<57>},
    {kKeyState, CmdKeyState},
    {kScanCode, CmdScanCode},
    {kKeyEscape, CmdKey<1>},
    {kMouseWheel, CmdMouseWheel},
    {kMouseMoveX, CmdMouseMove<&MouseState::moveX>},
    {kMouseMoveY, CmdMouseMove<&MouseState::moveY>},
    {kMouseMoveZ, CmdMouseMove<&MouseState::moveZ>},
    {kJoystickLeft, CmdJoystickDirection<&PlatformJoystickState::x, -1>},
    {kJoystickRight, CmdJoystickDirection<&PlatformJoystickState::x, 1>},
    {kJoystickUp, CmdJoystickDirection<&PlatformJoystickState::y, -1>},
    {kJoystickDown, CmdJoystickDirection<&PlatformJoystickState::y, 1>},
    {kJoystickButtonA, CmdJoystickButtonFixed<0>},
    {kJoystickButtonB, CmdJoystickButtonFixed<1>},
    {kJoystickButtonC, CmdJoystickButtonFixed<2>},
    {kJoystickButtonD, CmdJoystickButtonFixed<3>},
    {kJoystickX, CmdJoystickAxis<&PlatformJoystickState::x>},
    {kJoystickY, CmdJoystickAxis<&PlatformJoystickState::y>},
    {kJoystickZ, CmdJoystickAxis<&PlatformJoystickState::z>},
    {kJoystickSliderA, CmdJoystickSlider<0>},
    {kJoystickSliderB, CmdJoystickSlider<1>},
    {kJoystickHatARaw, CmdJoystickHatRaw<0>},
    {kJoystickHatBRaw, CmdJoystickHatRaw<1>},
    {kJoystickButton, CmdJoystickButton},
    {kJoystickTwistX, CmdJoystickAxis<&PlatformJoystickState::rx>},
    {kJoystickTwistY, CmdJoystickAxis<&PlatformJoystickState::ry>},
    {kJoystickTwistZ, CmdJoystickAxis<&PlatformJoystickState::rz>},
    {kJoystickHatAngle, CmdJoystickHatAngle},
    {kControlDeviceName, CmdControlDeviceName},
    {kControlDeviceX, CmdControlDeviceAxis<&PlatformJoystickState::x>},
    {kControlDeviceY, CmdControlDeviceAxis<&PlatformJoystickState::y>},
    {kControlDeviceZ, CmdControlDeviceAxis<&PlatformJoystickState::z>},
};

bool RegisterInputCommands() { return RegisterCommands(kInputCommands); }
