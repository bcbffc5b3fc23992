// The force-feedback commands of the control device: pushes in four directions and at an
// angle, steady and shaking forces for a time, the damper, stop-all and auto-centre.
#include <algorithm>

#include "commands/input_local.h"
#include "runtime/command_numbers.h"

// The four pushes, as the direction the force comes from: from below pushes the stick up.
constexpr int32_t kDirectionAngle[4] = {18000, 0, 9000, 27000};  // up, down, left, right
constexpr uint32_t kPushMs = 100;
constexpr uint32_t kShortWaveMs = 50;
constexpr uint32_t kLongWaveMs = 100;

static PlatformForceEffect Constant(int32_t angle, uint32_t lengthMs, int32_t magnitude) {
  PlatformForceEffect effect{};
  effect.kind = PlatformForceKind::kConstant;
  effect.polar = true;
  effect.direction[0] = angle;
  effect.lengthMs = lengthMs;
  effect.magnitude = magnitude * 100;
  return effect;
}

static PlatformForceEffect Periodic(uint32_t periodMs, uint32_t lengthMs, int32_t magnitude) {
  PlatformForceEffect effect = Constant(0, lengthMs, magnitude);
  effect.kind = PlatformForceKind::kPeriodic;
  effect.periodMs = periodMs;
  return effect;
}

static PlatformForceEffect Damper(uint32_t lengthMs, int32_t magnitude) {
  PlatformForceEffect effect{};
  effect.kind = PlatformForceKind::kDamper;
  effect.direction[0] = effect.direction[1] = 1;
  effect.lengthMs = lengthMs;
  effect.positiveCoefficient = magnitude * 50;
  effect.saturation = 10000;
  return effect;
}

// A program's duration in milliseconds as an effect's length: 0 plays until stopped; any
// other length is given 50 ms more.
static uint32_t EffectLength(int32_t milliseconds) {
  return milliseconds == 0 ? kPlatformForceForever : static_cast<uint32_t>(milliseconds) + 50;
}

// The effect a slot holds when the control device is chosen: full strength, not started.
static PlatformForceEffect InitialEffect(int slot) {
  switch (slot) {
    case kForceSlotUp:
    case kForceSlotDown:
    case kForceSlotLeft:
    case kForceSlotRight: return Constant(kDirectionAngle[slot], kPushMs, 100);
    case kForceSlotPeriodicShort: return Periodic(kShortWaveMs, kPushMs, 100);
    case kForceSlotPeriodicLong: return Periodic(kLongWaveMs, kPushMs, 100);
    case kForceSlotDamperA:
    case kForceSlotDamperB: return Damper(kPushMs, 100);
    default: return Constant(0, kPushMs, 100);  // the angled and the plain constant force
  }
}

void MakeForceEffects() {
  InputDevices& devices = Devices();
  for (int slot = 0; slot < kForceSlotCount; ++slot)
    devices.effects[slot] = PlatformHaptics().CreateEffect(devices.force, InitialEffect(slot));
}

void ReleaseForceEffects() {
  InputDevices& devices = Devices();
  for (int& effect : devices.effects) {
    if (effect >= 0 && devices.force != nullptr) PlatformHaptics().DestroyEffect(devices.force, effect);
    effect = -1;
  }
}

// Gives the slot's effect the parameters and starts it. A start the device refuses (it lost
// the effect) is tried once more with the effect made again.
static void PlayEffect(int slot, const PlatformForceEffect& parameters) {
  const PlatformHapticBackend& haptics = PlatformHaptics();
  InputDevices& devices = Devices();
  int& effect = devices.effects[slot];
  haptics.SetEffect(devices.force, effect, parameters);
  if (haptics.StartEffect(devices.force, effect)) return;
  haptics.DestroyEffect(devices.force, effect);
  effect = haptics.CreateEffect(devices.force, parameters);
  if (effect >= 0) haptics.StartEffect(devices.force, effect);
}

// The checks of every effect command, in this order: force feedback (4101), the slot's effect
// made (else nothing happens), magnitude 0..100 (4102), angle 0..360 (4104), duration not
// negative (4103). True when the command goes ahead.
static bool EffectAllowed(int slot, int32_t magnitude, int32_t angle = 0, int32_t duration = 0) {
  if (!Devices().forceFeedback) return RuntimeError(4101), false;
  if (Devices().effects[slot] < 0) return false;
  if (magnitude < 0 || magnitude > 100) return RuntimeError(4102), false;
  if (angle < 0 || angle > 360) return RuntimeError(4104), false;
  if (duration < 0) return RuntimeError(4103), false;
  return true;
}

template <int Slot>
static void CmdForceDirection() {  // magnitude
  const int32_t magnitude = IntOperand(0);
  AdvanceOperands(1);
  if (EffectAllowed(Slot, magnitude)) PlayEffect(Slot, Constant(kDirectionAngle[Slot], kPushMs, magnitude));
}

static void CmdForceAngle() {  // magnitude, angle, duration
  const int32_t magnitude = IntOperand(0), angle = IntOperand(1), duration = IntOperand(2);
  AdvanceOperands(3);
  if (EffectAllowed(kForceSlotAngle, magnitude, angle, duration))
    PlayEffect(kForceSlotAngle, Constant(angle * 100, EffectLength(duration), magnitude));
}

// The steady force and the two shaking ones, for the time a program gives.
static PlatformForceEffect TimedEffect(int slot, uint32_t lengthMs, int32_t magnitude) {
  if (slot == kForceSlotPeriodicShort) return Periodic(kShortWaveMs, lengthMs, magnitude);
  if (slot == kForceSlotPeriodicLong) return Periodic(kLongWaveMs, lengthMs, magnitude);
  return Constant(0, lengthMs, magnitude);
}

template <int Slot>
static void CmdForceTimed() {  // magnitude, duration
  const int32_t magnitude = IntOperand(0), duration = IntOperand(1);
  AdvanceOperands(2);
  if (EffectAllowed(Slot, magnitude, 0, duration)) PlayEffect(Slot, TimedEffect(Slot, EffectLength(duration), magnitude));
}

static void CmdForceDamper() {  // magnitude, duration
  const int32_t magnitude = IntOperand(0), duration = IntOperand(1);
  AdvanceOperands(2);
  if (!EffectAllowed(kForceSlotDamperA, magnitude, 0, duration)) return;
  for (int slot : {kForceSlotDamperA, kForceSlotDamperB})
    if (Devices().effects[slot] >= 0) PlayEffect(slot, Damper(EffectLength(duration), magnitude));
}

static void CmdForceStopAll() {
  InputDevices& devices = Devices();
  if (!devices.forceFeedback) return RuntimeError(4101);
  for (int effect : devices.effects)
    if (effect >= 0) PlatformHaptics().StopEffect(devices.force, effect);
}

template <bool On>
static void CmdForceAutoCenter() {
  if (!Devices().forceFeedback) return RuntimeError(4101);
  PlatformHaptics().SetAutoCenter(Devices().force, On);
}

static const CommandEntry kForceCommands[] = {
    {kForceUp, CmdForceDirection<kForceSlotUp>},
    {kForceDown, CmdForceDirection<kForceSlotDown>},
    {kForceLeft, CmdForceDirection<kForceSlotLeft>},
    {kForceRight, CmdForceDirection<kForceSlotRight>},
    {kForceAngle, CmdForceAngle},
    {kForcePeriodicShort, CmdForceTimed<kForceSlotPeriodicShort>},
    {kForceConstant, CmdForceTimed<kForceSlotConstant>},
    {kForcePeriodicLong, CmdForceTimed<kForceSlotPeriodicLong>},
    {kForceStopAll, CmdForceStopAll},
    {kForceDamper, CmdForceDamper},
    {kForceAutoCenterOn, CmdForceAutoCenter<true>},
    {kForceAutoCenterOff, CmdForceAutoCenter<false>},
};

bool RegisterForceCommands() { return RegisterCommands(kForceCommands); }
