// The tests' force-feedback back-end: devices by joystick name, effect ids handed out in turn,
// every call kept in order, and starts that fail on request.
#include "platform/haptic_fake.h"

#include <algorithm>

#include "platform/input.h"

struct PlatformForceDevice {
  bool damper;
};

// Reset by FakeHapticsReset; the tests' process only.
static struct {
  std::vector<std::pair<std::string, bool>> devices;  // product name, damper supported
  std::vector<FakeForceCall> calls;
  int nextEffect = 0;
  int failStarts = 0;
  int open = 0;
} gFake;

void FakeHapticsReset() { gFake = {}; }
void FakeHapticsAddDevice(const char* joystickName, bool damper) { gFake.devices.emplace_back(joystickName, damper); }
void FakeHapticsFailStarts(int count) { gFake.failStarts = count; }
const std::vector<FakeForceCall>& FakeHapticsCalls() { return gFake.calls; }
void FakeHapticsClearCalls() { gFake.calls.clear(); }
int FakeHapticsOpenDevices() { return gFake.open; }

static int FakeDeviceCount() { return static_cast<int>(gFake.devices.size()); }
static const char* FakeDeviceName(int index) {
  return index >= 0 && index < FakeDeviceCount() ? gFake.devices[static_cast<size_t>(index)].first.c_str() : "";
}

static PlatformForceDevice* FakeOpen(PlatformJoystick* joystick) {
  const std::string name = PlatformJoystickProductName(joystick);
  for (const auto& [deviceName, damper] : gFake.devices)
    if (deviceName == name) {
      ++gFake.open;
      return new PlatformForceDevice{damper};
    }
  return nullptr;
}

static void FakeClose(PlatformForceDevice* device) {
  if (device == nullptr) return;
  --gFake.open;
  delete device;
}

static int FakeCreateEffect(PlatformForceDevice* device, const PlatformForceEffect& parameters) {
  const bool playable = parameters.kind != PlatformForceKind::kDamper || device->damper;
  const int id = playable ? gFake.nextEffect++ : -1;
  gFake.calls.push_back({FakeForceCall::kCreate, id, parameters, false});
  return id;
}

static bool FakeSetEffect(PlatformForceDevice*, int effect, const PlatformForceEffect& parameters) {
  gFake.calls.push_back({FakeForceCall::kSet, effect, parameters, false});
  return true;
}

static bool FakeStartEffect(PlatformForceDevice*, int effect) {
  gFake.calls.push_back({FakeForceCall::kStart, effect, {}, false});
  if (gFake.failStarts <= 0) return true;
  --gFake.failStarts;
  return false;
}

static void FakeStopEffect(PlatformForceDevice*, int effect) { gFake.calls.push_back({FakeForceCall::kStop, effect, {}, false}); }
static void FakeDestroyEffect(PlatformForceDevice*, int effect) {
  gFake.calls.push_back({FakeForceCall::kDestroy, effect, {}, false});
}
static bool FakeSetAutoCenter(PlatformForceDevice*, bool on) {
  gFake.calls.push_back({FakeForceCall::kAutoCenter, -1, {}, on});
  return true;
}

const PlatformHapticBackend kFakeHaptics = {
    "fake",         FakeDeviceCount, FakeDeviceName,  FakeOpen,          FakeClose,         FakeCreateEffect,
    FakeSetEffect,  FakeStartEffect, FakeStopEffect,  FakeDestroyEffect, FakeSetAutoCenter,
};
