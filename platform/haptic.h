// Force feedback on a joystick's force-feedback device, through a back-end table: SDL2's
// haptic API, or the fake one tests install and read back (platform/haptic_fake.h).
#pragma once
#include <cstdint>

struct PlatformJoystick;
struct PlatformForceDevice;  // force feedback opened on one joystick

enum class PlatformForceKind : uint8_t { kConstant, kPeriodic, kDamper };
constexpr uint32_t kPlatformForceForever = 0xFFFFFFFFu;

// One effect's parameters; strengths are ten-thousandths of the device's full force.
struct PlatformForceEffect {
  PlatformForceKind kind;
  bool polar;             // direction[0] in hundredths of a degree clockwise from up; else x, y
  int32_t direction[2];
  uint32_t lengthMs;      // kPlatformForceForever: plays until stopped
  int32_t magnitude;      // constant and periodic: 0..10000
  uint32_t periodMs;      // periodic: one wave
  int32_t positiveCoefficient, negativeCoefficient, saturation;  // damper: 0..10000
};

struct PlatformHapticBackend {
  const char* name;
  // The attached force-feedback devices, by index, and their product names.
  int (*DeviceCount)();
  const char* (*DeviceName)(int index);
  // Force feedback of an open joystick; null when it has none.
  PlatformForceDevice* (*Open)(PlatformJoystick* joystick);
  void (*Close)(PlatformForceDevice* device);
  // An effect made and not started: its id, or -1 when the device cannot play it.
  int (*CreateEffect)(PlatformForceDevice* device, const PlatformForceEffect& effect);
  bool (*SetEffect)(PlatformForceDevice* device, int effect, const PlatformForceEffect& parameters);
  bool (*StartEffect)(PlatformForceDevice* device, int effect);  // plays it once from the start
  void (*StopEffect)(PlatformForceDevice* device, int effect);
  void (*DestroyEffect)(PlatformForceDevice* device, int effect);
  bool (*SetAutoCenter)(PlatformForceDevice* device, bool on);
};

// The back-end in use: SDL's unless a test installed another (null puts SDL's back).
const PlatformHapticBackend& PlatformHaptics();
void PlatformUseHapticBackend(const PlatformHapticBackend* backend);
