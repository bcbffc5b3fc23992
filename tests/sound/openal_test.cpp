// Output type 2 over OpenAL: start-up on the loopback device, a tone mixed in software reaches
// the loopback render, and the automatic output falls back when OpenAL has no device.
#include <cmath>

#include "tests/sound/sound_test_util.h"

namespace {

class OpenAlOutput : public ::testing::Test {
 protected:
  void TearDown() override {
    SndShutdown();
    SndOpenAlUseTarget(kSndOpenAlSystem);
    SndUseSteppedClock(false);
    SndSelectOutput(-1);
  }
};

TEST_F(OpenAlOutput, AToneReachesTheLoopbackRender) {
  SndShutdown();
  SndOpenAlUseTarget(kSndOpenAlLoopback);
  SndUseSteppedClock(true);
  SndSelectOutput(2);
  ASSERT_TRUE(SndStartup(44100, 16, 0)) << SndGetError();
  EXPECT_EQ(SndGetOutput(), 2);
  EXPECT_EQ(SndGetError(), 0);
  // One second of a 1 kHz tone at 16000, centred, after 100 ms of silence.
  std::vector<int> tone(44100);
  for (size_t i = 0; i < tone.size(); i++) tone[i] = int(std::lrint(16000 * std::sin(2 * M_PI * 1000 * double(i) / 44100)));
  SndSample* sample = MakeSample(tone, true, false, kSndLoopOff, 44100);
  ASSERT_NE(sample, nullptr);
  const int block = SndGetBlockLength();
  std::vector<int16_t> rendered, chunk(size_t(block) * 2);
  for (int i = 0; i < 4; i++) {
    SndStepClock(25);
    SndOpenAlRender(chunk.data(), block);
    rendered.insert(rendered.end(), chunk.begin(), chunk.end());
  }
  const size_t toneStart = rendered.size() / 2;
  ASSERT_GE(SndPlaySoundSimple(-1, sample), 0);
  for (int i = 0; i < 60; i++) {
    SndStepClock(25);
    ASSERT_TRUE(SndOpenAlRender(chunk.data(), block));
    rendered.insert(rendered.end(), chunk.begin(), chunk.end());
  }
  // Frames that carry the tone: its length is one second, give or take a block of latency.
  size_t first = 0, last = 0;
  int peak = 0, crossings = 0, sign = 0;
  for (size_t f = toneStart; f < rendered.size() / 2; f++) {
    int left = rendered[2 * f];
    if (std::abs(left) > 100) {
      if (!first) first = f;
      last = f;
    }
    peak = std::max(peak, std::abs(left));
    if (std::abs(left) > 100 && (left > 0 ? 1 : -1) != sign) {  // sign changes of the tone, not the dither
      crossings += sign != 0;
      sign = left > 0 ? 1 : -1;
    }
    EXPECT_LE(std::abs(left - rendered[2 * f + 1]), 2) << "centred, so both sides alike";
  }
  ASSERT_GT(first, 0u);
  EXPECT_NEAR(double(last - first) / 44100, 1.0, 0.002);
  EXPECT_NEAR(crossings, 2000, 20);
  EXPECT_GT(peak, 4000);
}

TEST_F(OpenAlOutput, AutomaticOutputFallsBackWithoutADevice) {
  SndShutdown();
  SndOpenAlUseTarget(kSndOpenAlMissing);
  SndSelectOutput(2);
  EXPECT_FALSE(SndStartup(44100, 16, 0));
  EXPECT_EQ(SndGetError(), kSndErrNoOutput);
  SndSelectOutput(-1);
  ASSERT_TRUE(SndStartup(44100, 16, 0)) << SndGetError();
  EXPECT_EQ(SndGetOutput(), 1);  // the SDL2 ring (the tests' dummy device)
  SndSample* sample = MakeSample(std::vector<int>(4000, 1000), true, false, kSndLoopOff, 44100);
  EXPECT_GE(SndPlaySoundSimple(-1, sample), 0);
  SndShutdown();
  // The next start tries OpenAL again first.
  SndOpenAlUseTarget(kSndOpenAlLoopback);
  ASSERT_TRUE(SndStartup(44100, 16, 0));
  EXPECT_EQ(SndGetOutput(), 2);
}

}  // namespace
