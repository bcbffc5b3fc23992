// Declarations shared by the input family's files: the input state the poll fills, the
// devices behind it, and the force-feedback effects of the control device.
#pragma once
#include <cstdint>
#include <string>

#include "commands/commands.h"
#include "platform/haptic.h"
#include "platform/input.h"

// The wheel position moves this much per notch (and the wheel's movement sum counts notches).
constexpr int kWheelStep = 1;
// The joystick's dead zone, in ten-thousandths of each axis's half range.
constexpr int kJoystickDeadZone = 1000;

// What the last poll read. Cleared when input starts.
struct InputState {
  uint8_t keyboard[kPlatformKeyStateSize];  // by scan code, bit 7 = held
  int lastPressed;                          // scan code of the key that went down last, 0 none
  PlatformJoystickState joystick;           // the first joystick (or the control device, when it is that one)
  PlatformJoystickState control;            // the control device
};
const InputState& Input();

// The force-feedback effects of the control device, made when it is chosen.
enum ForceEffectSlot {
  kForceSlotUp, kForceSlotDown, kForceSlotLeft, kForceSlotRight,  // the four directions
  kForceSlotAngle, kForceSlotPeriodicShort, kForceSlotConstant, kForceSlotPeriodicLong,
  kForceSlotDamperA, kForceSlotDamperB,  // the damper pair
  kForceSlotCount
};

// The devices behind the state. Lives from InitDirectInput to CloseDirectInput.
struct InputDevices {
  bool started;
  bool joysticksLooked;        // the joysticks were looked for (at the first use of one)
  PlatformJoystick* joystick;  // the first attached joystick that opened, or null
  PlatformJoystick* control;   // the control device, or null
  PlatformForceDevice* force;  // its force feedback, or null
  std::string wantedName;      // the name the program asked for (4002)
  std::string controlName;     // the control device's name, "" while none is chosen
  bool forceFeedback;          // the control device has force feedback
  int effects[kForceSlotCount];  // effect ids, -1 for none
};
InputDevices& Devices();

// The runtime's input hooks (installed by InstallCommandHooks).
bool InitDirectInput();
void AcquireInputDevices();
void UnacquireInputDevices();
void PollInput();
void ReleaseForceEffects();
void CloseDirectInput();

// Chooses the control device by name: a force-feedback joystick of exactly that name, else
// any joystick of that name. False when none has it.
bool SetControlDevice(const char* name);
// Looks for the joysticks at their first use and opens the joystick of the joystick commands,
// read at once; false before the devices started.
bool LookForJoysticks();
// Makes every effect of a control device with force feedback, not started.
void MakeForceEffects();
