// The tests' force-feedback back-end: joysticks the test names have force feedback, and every
// call made on them is kept for the test to read back. Install it with
// PlatformUseHapticBackend(&kFakeHaptics).
#pragma once
#include <string>
#include <vector>

#include "platform/haptic.h"

struct FakeForceCall {
  enum Kind { kCreate, kSet, kStart, kStop, kDestroy, kAutoCenter } kind;
  int effect;                      // the effect's id (a create: the id it answered, -1 refused)
  PlatformForceEffect parameters;  // create and set
  bool on;                         // auto-centre
};

extern const PlatformHapticBackend kFakeHaptics;
// No devices, no calls kept, no failures to come.
void FakeHapticsReset();
// Joysticks of this product name have force feedback; without damper they refuse damper effects.
void FakeHapticsAddDevice(const char* joystickName, bool damper = true);
// The next count effect starts fail.
void FakeHapticsFailStarts(int count);
const std::vector<FakeForceCall>& FakeHapticsCalls();
void FakeHapticsClearCalls();
// Force-feedback devices open now.
int FakeHapticsOpenDevices();
