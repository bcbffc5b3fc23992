// Force feedback through SDL2's haptic API: effects translated to SDL's records, the haptic
// subsystem started on first use and stopped with input.
#include <SDL.h>

#include <algorithm>

#include "platform/haptic.h"
#include "platform/input_local.h"

// Lives from the first force-feedback use to the input shut-down.
static bool gHapticsOn = false;

static bool StartHaptics() {
  if (!gHapticsOn) gHapticsOn = SDL_InitSubSystem(SDL_INIT_HAPTIC) == 0;
  return gHapticsOn;
}

void StopHaptics() {
  if (gHapticsOn) SDL_QuitSubSystem(SDL_INIT_HAPTIC);
  gHapticsOn = false;
}

static SDL_Haptic* Haptic(PlatformForceDevice* device) { return reinterpret_cast<SDL_Haptic*>(device); }

static int SdlDeviceCount() { return StartHaptics() ? std::max(0, SDL_NumHaptics()) : 0; }
static const char* SdlDeviceName(int index) {
  const char* name = StartHaptics() ? SDL_HapticName(index) : nullptr;
  return name != nullptr ? name : "";
}

static PlatformForceDevice* SdlOpen(PlatformJoystick* joystick) {
  SDL_Joystick* sdl = SdlJoystickOf(joystick);
  if (sdl == nullptr || !StartHaptics() || SDL_JoystickIsHaptic(sdl) != SDL_TRUE) return nullptr;
  return reinterpret_cast<PlatformForceDevice*>(SDL_HapticOpenFromJoystick(sdl));
}

static void SdlClose(PlatformForceDevice* device) {
  if (device != nullptr) SDL_HapticClose(Haptic(device));
}

static Sint16 Level(int32_t tenThousandths) {
  return static_cast<Sint16>(std::clamp(tenThousandths, -10000, 10000) * 32767 / 10000);
}

// The waveform of a periodic effect: the first the device lists.
static Uint16 PeriodicType(SDL_Haptic* haptic) {
  const unsigned supported = SDL_HapticQuery(haptic);
  for (Uint16 type : {SDL_HAPTIC_SINE, SDL_HAPTIC_TRIANGLE, SDL_HAPTIC_SAWTOOTHUP, SDL_HAPTIC_SAWTOOTHDOWN})
    if (supported & type) return type;
  return SDL_HAPTIC_SINE;
}

static SDL_HapticEffect ToSdl(SDL_Haptic* haptic, const PlatformForceEffect& e) {
  SDL_HapticEffect effect;
  SDL_zero(effect);
  SDL_HapticDirection direction;
  SDL_zero(direction);
  direction.type = e.polar ? SDL_HAPTIC_POLAR : SDL_HAPTIC_CARTESIAN;
  direction.dir[0] = e.direction[0];
  direction.dir[1] = e.direction[1];
  const Uint32 length = e.lengthMs == kPlatformForceForever ? SDL_HAPTIC_INFINITY : e.lengthMs;
  switch (e.kind) {
    case PlatformForceKind::kConstant:
      effect.type = SDL_HAPTIC_CONSTANT;
      effect.constant.direction = direction;
      effect.constant.length = length;
      effect.constant.level = Level(e.magnitude);
      break;
    case PlatformForceKind::kPeriodic:
      effect.type = PeriodicType(haptic);
      effect.periodic.direction = direction;
      effect.periodic.length = length;
      effect.periodic.period = static_cast<Uint16>(std::min<uint32_t>(e.periodMs, 65535));
      effect.periodic.magnitude = Level(e.magnitude);
      break;
    case PlatformForceKind::kDamper:
      effect.type = SDL_HAPTIC_DAMPER;
      effect.condition.direction = direction;
      effect.condition.length = length;
      for (int axis = 0; axis < 2; ++axis) {
        const Uint16 saturation = static_cast<Uint16>(std::clamp(e.saturation, 0, 10000) * 65535 / 10000);
        effect.condition.right_sat[axis] = effect.condition.left_sat[axis] = saturation;
        effect.condition.right_coeff[axis] = Level(e.positiveCoefficient);
        effect.condition.left_coeff[axis] = Level(e.negativeCoefficient);
      }
      break;
  }
  return effect;
}

static int SdlCreateEffect(PlatformForceDevice* device, const PlatformForceEffect& parameters) {
  SDL_HapticEffect effect = ToSdl(Haptic(device), parameters);
  return SDL_HapticNewEffect(Haptic(device), &effect);
}

static bool SdlSetEffect(PlatformForceDevice* device, int id, const PlatformForceEffect& parameters) {
  SDL_HapticEffect effect = ToSdl(Haptic(device), parameters);
  return SDL_HapticUpdateEffect(Haptic(device), id, &effect) >= 0;
}

static bool SdlStartEffect(PlatformForceDevice* device, int id) { return SDL_HapticRunEffect(Haptic(device), id, 1) == 0; }
static void SdlStopEffect(PlatformForceDevice* device, int id) { SDL_HapticStopEffect(Haptic(device), id); }
static void SdlDestroyEffect(PlatformForceDevice* device, int id) { SDL_HapticDestroyEffect(Haptic(device), id); }

static bool SdlSetAutoCenter(PlatformForceDevice* device, bool on) {
  if (!(SDL_HapticQuery(Haptic(device)) & SDL_HAPTIC_AUTOCENTER)) return false;
  return SDL_HapticSetAutocenter(Haptic(device), on ? 100 : 0) == 0;
}

static const PlatformHapticBackend kSdlHaptics = {
    "sdl",         SdlDeviceCount, SdlDeviceName,  SdlOpen,          SdlClose,          SdlCreateEffect,
    SdlSetEffect,  SdlStartEffect, SdlStopEffect,  SdlDestroyEffect, SdlSetAutoCenter,
};

// Lives for the process: the back-end a test installed, or null for SDL's.
static const PlatformHapticBackend* gBackend = nullptr;

const PlatformHapticBackend& PlatformHaptics() { return gBackend != nullptr ? *gBackend : kSdlHaptics; }
void PlatformUseHapticBackend(const PlatformHapticBackend* backend) { gBackend = backend; }
