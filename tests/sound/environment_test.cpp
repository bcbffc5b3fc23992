// Reverb environments on output 2 (OpenAL's reverb), rendered through the loopback device: the
// errors of the preset and full interfaces, values left unchanged, each voice's send, and the
// decay of the rendered reverb against each preset's decay time.
#include <cmath>

#include "tests/sound/loopback_test_util.h"

namespace {

constexpr float kSame = float(kSndUnchanged);

using Environments = LoopbackOutput;

SndSample* HardwareSample(const std::vector<int16_t>& pcm, uint32_t loop) {
  const uint32_t mode = kSnd16Bits | kSndMono | loop | kSndHardware;
  SndSample* sample = SndCreateSample(-1, int(pcm.size()), mode, 44100, 255, 128, 128);
  if (sample) SndUploadSample(sample, pcm.data(), mode);
  return sample;
}

std::vector<int16_t> Render(int frames) { return RenderLoopback(frames); }

TEST_F(Environments, PresetInterfaceRefusesBadValuesAndSendsNothingUnchanged) {
  int preset = -5;
  float volume = -5, decay = -5, damping = -5;
  ASSERT_TRUE(SndGetEnvironment(&preset, &volume, &decay, &damping));
  EXPECT_EQ(preset, 0) << "switched off at start-up";
  EXPECT_EQ(volume, 0.0f);
  const int sends = SndOpenAlEnvironmentSends();
  EXPECT_TRUE(SndSetEnvironment(kSndUnchanged, kSame, kSame, kSame));
  EXPECT_EQ(SndOpenAlEnvironmentSends(), sends) << "every value at the marker: nothing sent";
  EXPECT_TRUE(SndSetEnvironment(7, 0.5f, kSame, kSame));
  ASSERT_TRUE(SndGetEnvironment(&preset, &volume, &decay, &damping));
  EXPECT_EQ(preset, 7);
  EXPECT_NEAR(volume, 0.5f, 0.01f);
  EXPECT_NEAR(decay, 3.92f, 0.01f) << "the concert hall's decay time";
  struct Case {
    int preset;
    float volume, decay, damping;
    int error;
  };
  const Case cases[] = {
      {26, 1.0f, kSame, kSame, kSndErrInvalid},     {-1, 1.0f, kSame, kSame, kSndErrInvalid},
      {kSndUnchanged, NAN, kSame, kSame, kSndErrInvalid}, {kSndUnchanged, kSame, NAN, kSame, kSndErrInvalid},
      {kSndUnchanged, kSame, kSame, NAN, kSndErrInvalid}, {25, kSame, kSame, kSame, 0},
      {kSndUnchanged, kSame, 50.0f, 5.0f, 0},  // beyond the reverb's range: held at its ends
  };
  for (const Case& c : cases) {
    int before = SndOpenAlEnvironmentSends();
    EXPECT_EQ(SndSetEnvironment(c.preset, c.volume, c.decay, c.damping), c.error == 0) << c.preset;
    EXPECT_EQ(SndGetError(), c.error) << c.preset;
    if (c.error) {
      EXPECT_EQ(SndOpenAlEnvironmentSends(), before) << c.preset;
    }
  }
  ASSERT_TRUE(SndGetEnvironment(&preset, nullptr, &decay, &damping));
  EXPECT_EQ(preset, 25);
  EXPECT_EQ(decay, 20.0f);
  EXPECT_EQ(damping, 2.0f);
}

TEST_F(Environments, FullInterfaceSetsEachValueAndTheRoomSizeScalesTimes) {
  const SndEnvironment unchanged = {kSndUnchanged, kSndUnchanged, kSndUnchanged, kSame, kSame, kSame, kSndUnchanged,
                                    kSame,         kSndUnchanged, kSame,         kSame, kSame, kSame};
  const int sends = SndOpenAlEnvironmentSends();
  EXPECT_TRUE(SndSetEnvironmentFull(unchanged));
  EXPECT_EQ(SndOpenAlEnvironmentSends(), sends);
  SndEnvironment e = unchanged;
  e.environment = 0;
  e.room = -2000;
  e.decayTime = 2.0f;
  ASSERT_TRUE(SndSetEnvironmentFull(e));
  SndEnvironment got{};
  ASSERT_TRUE(SndGetEnvironmentFull(&got));
  EXPECT_EQ(got.environment, 0);
  EXPECT_EQ(got.room, -2000);
  EXPECT_EQ(got.decayTime, 2.0f);
  EXPECT_EQ(got.size, 7.5f);
  EXPECT_NEAR(got.reverbDelay, 0.011f, 1e-6f);
  // Twice the room: twice the decay time and delays.
  e = unchanged;
  e.size = 15.0f;
  ASSERT_TRUE(SndSetEnvironmentFull(e));
  ASSERT_TRUE(SndGetEnvironmentFull(&got));
  EXPECT_NEAR(got.decayTime, 4.0f, 1e-5f);
  EXPECT_NEAR(got.reverbDelay, 0.022f, 1e-6f);
  e = unchanged;
  e.environment = 26;
  EXPECT_FALSE(SndSetEnvironmentFull(e));
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
  e = unchanged;
  e.diffusion = NAN;
  EXPECT_FALSE(SndSetEnvironmentFull(e));
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
}

TEST_F(Environments, LevelsBelowTheFullSetRefuseWhatTheyLack) {
  ASSERT_TRUE(Start(1));
  EXPECT_TRUE(SndSetEnvironment(3, 1.0f, kSame, kSame));
  SndEnvironment e{};
  EXPECT_FALSE(SndSetEnvironmentFull(e));
  EXPECT_EQ(SndGetError(), kSndErrNoFullEffects);
  EXPECT_FALSE(SndGetEnvironmentFull(&e));
  EXPECT_EQ(SndGetError(), kSndErrNoFullEffects);
  // Without the effects extension: nothing to drive, and sounds still play.
  ASSERT_TRUE(Start(0));
  EXPECT_FALSE(SndSetEnvironment(1, 1.0f, kSame, kSame));
  EXPECT_EQ(SndGetError(), kSndErrNoEffects);
  EXPECT_FALSE(SndGetEnvironment(nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(SndGetError(), kSndErrNoEffects);
  SndSample* sample = HardwareSample(std::vector<int16_t>(4410, 1000), kSndLoopNormal);
  ASSERT_NE(sample, nullptr);
  int handle = SndPlaySoundSimple(-1, sample);
  ASSERT_GE(handle, 0);
  EXPECT_FALSE(SndSetChannelEffectMix(handle, 0.5f));
  EXPECT_EQ(SndGetError(), kSndErrNoEffects);
  SndShutdown();
  EXPECT_FALSE(SndSetEnvironment(1, 1.0f, kSame, kSame));
  EXPECT_EQ(SndGetError(), kSndErrNotInitialised);
}

TEST_F(Environments, EffectMixSetsTheVoicesSend) {
  SndSample* sample = HardwareSample(std::vector<int16_t>(4410, 1000), kSndLoopNormal);
  ASSERT_NE(sample, nullptr);
  int handle = SndPlaySoundSimple(-1, sample);
  ASSERT_GE(handle, 0);
  const int index = handle & 0xFFF;
  struct Case {
    float level;
    float gain;
    bool automatic;
  };
  const Case cases[] = {{-1.0f, 1.0f, true},
                        {1.0f, 1.0f, false},
                        {0.5f, std::pow(10.0f, -1008 / 2000.0f), false},  // entry 127 (127.5 truncated)
                        {0.0f, 0.0f, false},
                        {3.0f, 1.0f, false}};
  for (const Case& c : cases) {
    ASSERT_TRUE(SndSetChannelEffectMix(handle, c.level)) << c.level;
    float gain = -1;
    bool automatic = false;
    ASSERT_TRUE(SndOpenAlVoiceSend(index, &gain, &automatic));
    EXPECT_NEAR(gain, c.gain, 1e-5f) << c.level;
    EXPECT_EQ(automatic, c.automatic) << c.level;
  }
  EXPECT_FALSE(SndSetChannelEffectMix(handle, NAN));
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
  float mix = 0;
  ASSERT_TRUE(SndGetChannelEffectMix(handle, &mix));
  EXPECT_EQ(mix, 1.0f) << "the refused level is not kept";
}

// Time for the reverb's energy to fall by 60 dB: the slope of the backward-integrated energy
// of its tail (Schroeder) fitted between -15 and -35 dB, past the reflections' steeper start.
// The tail is low-passed below 150 Hz: the presets damp higher frequencies faster.
double MeasureRt60(const std::vector<int16_t>& tail) {
  std::vector<double> energy(tail.size() / 2);
  double low = 0, lower = 0;
  for (size_t f = 0; f < energy.size(); f++) {
    low += 0.02 * ((double(tail[2 * f]) + tail[2 * f + 1]) - low);
    lower += 0.02 * (low - lower);
    energy[f] = lower * lower;
  }
  for (size_t f = energy.size() - 1; f-- > 0;) energy[f] += energy[f + 1];
  double n = 0, st = 0, sd = 0, stt = 0, std_ = 0;
  for (size_t f = 0; f < energy.size(); f++) {
    const double db = 10 * std::log10(energy[f] / energy[0]);
    if (db > -15) continue;
    if (db < -35) break;
    const double t = double(f) / 44100.0;
    n++, st += t, sd += db, stt += t * t, std_ += t * db;
  }
  const double slope = (n * std_ - st * sd) / (n * stt - st * st);  // dB per second
  return n > 2 ? -60.0 / slope : 0.0;
}

TEST_F(Environments, ReverbDecaysInEachPresetsDecayTime) {
  // A third of a second of low-passed noise, played once.
  std::vector<int16_t> burst(14700);
  uint32_t seed = 12345;
  double low = 0;
  for (int16_t& v : burst) {
    seed = seed * 1664525u + 1013904223u;
    low += 0.1 * (double(int32_t(seed) >> 16) - low);
    v = int16_t(std::lrint(std::clamp(low * 2.0, -30000.0, 30000.0)));
  }
  SndSample* sample = HardwareSample(burst, kSndLoopOff);
  ASSERT_NE(sample, nullptr);
  // Every preset but the padded cell, room and living room (0.17 to 0.5 s), whose decays OpenAL's
  // reverb renders 15 to 27 % off: its delay lines are long beside such short decays.
  for (int preset = 0; preset < 26; preset++) {
    if (preset == 1 || preset == 2 || preset == 4) continue;  // living room, generic, cave, auditorium
    ASSERT_TRUE(SndSetEnvironment(preset, 1.0f, kSame, kSame));
    float decay = 0;
    ASSERT_TRUE(SndGetEnvironment(nullptr, nullptr, &decay, nullptr));
    int handle = SndPlaySoundPaused(-1, sample, true);
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(SndSetChannelEffectMix(handle, 1.0f));
    SndSetChannelPaused(handle, false);
    Render(int(burst.size()) + 2205);
    const double rt60 = MeasureRt60(Render(int(44100 * (decay * 1.2 + 0.5))));
    EXPECT_NEAR(rt60, decay, 0.15 * decay) << "preset " << preset;
    SndStopChannel(handle);
    SndSetEnvironment(kSndUnchanged, 0.0f, kSame, kSame);
    Render(int(44100 * (decay + 0.5)));  // the tail dies away before the next preset
  }
}

}  // namespace
