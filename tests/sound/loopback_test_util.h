// Helpers of the output 2 tests: the library started on OpenAL's loopback device with the
// stepped clock, and renders that run the software mixer alongside.
#pragma once
#include <algorithm>

#include "tests/sound/sound_test_util.h"

class LoopbackOutput : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Start()); }
  void TearDown() override {
    SndShutdown();
    SndOpenAlUseTarget(kSndOpenAlSystem);
    SndOpenAlLimitEffects(2);
    SndSetMaxHardwareChannels(99999);
    SndUseSteppedClock(false);
    SndSelectOutput(-1);
  }
  // Restarts on the loopback device, the driver admitting to environments up to `effectsLevel`.
  static bool Start(int effectsLevel = 2) {
    SndShutdown();
    SndOpenAlUseTarget(kSndOpenAlLoopback);
    SndOpenAlLimitEffects(effectsLevel);
    SndUseSteppedClock(true);
    SndSelectOutput(2);
    return SndStartup(44100, 16, 0);
  }
};

// Renders `frames` stereo frames, stepping the mixer a block at a time alongside.
inline std::vector<int16_t> RenderLoopback(int frames) {
  std::vector<int16_t> out(size_t(frames) * 2);
  const int block = SndGetBlockLength();
  for (int done = 0; done < frames; done += block) {
    SndStepClock(25);
    SndOpenAlRender(out.data() + size_t(done) * 2, std::min(block, frames - done));
  }
  return out;
}
