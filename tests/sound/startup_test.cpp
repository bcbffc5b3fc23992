// Settings, start-up and shut-down: buffer-time rounding, the mixer choice, settings refused
// after start-up, the no-sound output, block arithmetic, handles and the error word.
#include <thread>

#include "tests/sound/sound_test_util.h"

TEST(SoundSettings, BufferTimeIsRoundedAndStoredDoubled) {
  SndShutdown();
  // A wild time is capped rather than wrapped to a negative ring length.
  struct Case { int ms, stored; } cases[] = {{40, 100}, {99, 150}, {10, 100}, {125, 250},
                                             {2147483647, 20000}, {100000000, 20000}};
  for (const Case& c : cases) {
    EXPECT_TRUE(SndSetBufferTime(c.ms));
    EXPECT_EQ(SndGetBufferTime(), c.stored) << c.ms;
  }
}

TEST(SoundSettings, MixerChoiceAcceptsZeroToEight) {
  SndShutdown();
  EXPECT_TRUE(SndSelectMixer(2));
  EXPECT_EQ(SndGetMixer(), 4);
  EXPECT_TRUE(SndSelectMixer(5));
  EXPECT_EQ(SndGetMixer(), 5);
  EXPECT_FALSE(SndSelectMixer(9));
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
  EXPECT_EQ(SndGetMixer(), 5);
}

TEST(SoundSettings, DriverIndexPastTheListSelectsNoSound) {
  SndShutdown();
  SndSelectOutput(1);
  EXPECT_TRUE(SndSelectDriver(999));
  EXPECT_EQ(SndGetOutput(), 0);
  EXPECT_EQ(SndGetDriverCount(), 1);
  EXPECT_STREQ(SndGetDriverName(-5), "No Sound Driver");
  EXPECT_EQ(SndGetDriverName(1), nullptr);
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
}

// The version check answers as a modern system (automatic output is the 3D device, 2), and
// the voice manager, which no output here has, answers unsupported and writes nothing.
TEST(SoundSettings, VersionQueryAndVoiceManager) {
  EXPECT_FALSE(SndIsOlderNt());
  ASSERT_TRUE(SndSelectOutput(-1));
  EXPECT_EQ(SndGetOutput(), 2);
  uint32_t value = 77;
  void* set = &value;
  EXPECT_EQ(SndProbeVoiceManager(nullptr, &set), kSndResultUnsupported);
  EXPECT_EQ(set, &value);
  EXPECT_EQ(SndGetVoiceManagerMode(nullptr, &value), kSndResultUnsupported);
  EXPECT_EQ(SndSetVoiceManagerMode(nullptr, 1, &value), kSndResultUnsupported);
  EXPECT_EQ(SndGetVoicePriority(nullptr, &value), kSndResultUnsupported);
  EXPECT_EQ(SndSetVoicePriority(nullptr, 1), kSndResultUnsupported);
  EXPECT_EQ(SndGetVoiceState(nullptr, &value), kSndResultUnsupported);
  EXPECT_EQ(value, 77u);
  SndSelectOutput(0);
}

// The reserved pass-through operations: error 2 before start-up, then their constants, with
// error 14 only for a null object or the null answer of the query.
TEST(SoundSettings, ReservedOperationsAnswerWithConstants) {
  SndShutdown();
  float levels[4] = {-1.0f, 0.5f, 2.0f, 1.0f};
  const uint32_t words[4] = {1, 2, 3, 4};
  int object = 0;
  struct Case {
    const char* name;
    bool (*call)(void* object, float* levels, const uint32_t* words);
    bool answerStarted;
    int errorStarted;
  } cases[] = {
      {"query", [](void*, float*, const uint32_t*) { return SndReservedQuery() != 0; }, false, kSndErrInvalid},
      {"object", [](void* o, float*, const uint32_t*) { return SndReservedObject(o); }, true, 0},
      {"null object", [](void*, float*, const uint32_t*) { return SndReservedObject(nullptr); }, false, kSndErrInvalid},
      {"levels", [](void* o, float* l, const uint32_t*) { return SndReservedObjectLevels(o, l); }, true, 0},
      {"words", [](void* o, float*, const uint32_t* w) { return SndReservedObjectWords(o, w); }, true, 0},
      {"transfer", [](void* o, float*, const uint32_t*) { return SndReservedTransfer(o, o, o, 1, 2, 4, 0); }, true, 0},
      {"transfer null", [](void* o, float*, const uint32_t*) { return SndReservedTransfer(o, nullptr, o, 0, 0, 0, 0); }, false, kSndErrInvalid},
      {"word", [](void* o, float*, const uint32_t*) { return SndReservedObjectWord(o) == 0; }, true, 0},
      {"null word", [](void*, float*, const uint32_t*) { return SndReservedObjectWord(nullptr) == 0; }, false, kSndErrInvalid},
      {"byte", [](void*, float*, const uint32_t*) { return SndReservedByte(7) != nullptr; }, true, 0},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(c.call(&object, levels, words)) << c.name;
    EXPECT_EQ(SndGetError(), kSndErrNotInitialised) << c.name;
  }
  SndUseSteppedClock(true);
  SndSelectOutput(0);
  ASSERT_TRUE(SndStartup(44100, 4, 0));
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(&object, levels, words), c.answerStarted) << c.name;
    EXPECT_EQ(SndGetError(), c.errorStarted) << c.name;
  }
  EXPECT_EQ(levels[0], 0.0f);
  EXPECT_EQ(levels[1], 0.5f);
  EXPECT_EQ(levels[2], 1.0f);
  SndShutdown();
  SndUseSteppedClock(false);
}

TEST_F(SteppedSound, SettingsAfterStartupFailWithErrorOne) {
  int mixer = SndGetMixer(), output = SndGetOutput(), buffer = SndGetBufferTime();
  struct Setting { const char* name; bool (*apply)(); } settings[] = {
      {"output", [] { return SndSelectOutput(1); }},
      {"driver", [] { return SndSelectDriver(0); }},
      {"mixer", [] { return SndSelectMixer(5); }},
      {"buffer", [] { return SndSetBufferTime(500); }},
      {"window", [] { return SndSetWindow(1); }},
      {"min hw", [] { return SndSetMinHardwareChannels(1); }},
      {"max hw", [] { return SndSetMaxHardwareChannels(1); }},
  };
  for (const Setting& s : settings) {
    EXPECT_FALSE(s.apply()) << s.name;
    EXPECT_EQ(SndGetError(), kSndErrAfterStartup) << s.name;
  }
  EXPECT_EQ(SndGetMixer(), mixer);
  EXPECT_EQ(SndGetOutput(), output);
  EXPECT_EQ(SndGetBufferTime(), buffer);
}

TEST_F(SteppedSound, NoSoundOutputGivesSoftwareChannelsAndHandles) {
  EXPECT_EQ(SndGetOutput(), 0);
  EXPECT_EQ(SndGetChannelCount(), 32);
  EXPECT_EQ(SndGetHardwareChannelCount(), 0);
  EXPECT_STREQ(SndGetDriverName(0), "No Sound Driver");
  EXPECT_STREQ(SndGetPrimaryMixBuffer()->name, "VEDADI Primary MixBuffer");
  SndSample* sample = MakeSample(std::vector<int>(100, 1000), true, false, kSndLoopNormal, 44100);
  for (int i : {0, 7, 31}) EXPECT_EQ(SndPlaySoundSimple(i, sample), i + 4096);
  // A handle whose channel was played again is stale; the bare index still reaches it.
  EXPECT_EQ(SndPlaySoundSimple(7, sample), 7 + 2 * 4096);
  EXPECT_FALSE(SndSetChannelVolume(7 + 4096, 10));
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
  EXPECT_TRUE(SndSetChannelVolume(7, 10));
  EXPECT_EQ(SndGetChannelVolume(7 + 2 * 4096), 10);
  EXPECT_FALSE(SndSetChannelVolume(32, 10));
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
}

TEST(SoundStartup, BlockAndRingLengthsFollowRateAndBufferTime) {
  struct Case { int rate, bufferMs, block, ring, ramp; } cases[] = {
      {44100, 50, 1104, 4416, 128},  // the glue's 40 ms is stored as 100: four blocks
      {44100, 100, 1104, 8832, 128},
      {44100, 2147483647, 1104, 883200, 128},  // capped at a 20 s ring
      {22050, 50, 552, 2208, 64},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(StartSteppedLibrary(0, c.rate, 32, c.bufferMs));
    EXPECT_EQ(SndGetBlockLength(), c.block) << c.rate;
    EXPECT_EQ(SndGetMixBufferLength(), c.ring) << c.rate;
    EXPECT_EQ(gSndMixer.rampLength, c.ramp) << c.rate;
  }
  SndShutdown();
  SndUseSteppedClock(false);
}

TEST(SoundStartup, ChannelCountLimitsAndOutputThree) {
  SndShutdown();
  SndUseSteppedClock(true);
  SndSelectOutput(0);
  // A handle keeps the channel index in 12 bits.
  EXPECT_FALSE(SndStartup(44100, 4096, 0));
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
  EXPECT_FALSE(SndStartup(44100, 0, 0));
  ASSERT_TRUE(SndStartup(44100, 4095, 0));
  SndSample* sample = MakeSample(std::vector<int>(10, 1), true, false, kSndLoopOff, 44100);
  EXPECT_EQ(SndPlaySoundSimple(4094, sample), 4094 + 4096);
  SndShutdown();
  SndSelectOutput(3);  // no driver behind this output
  EXPECT_FALSE(SndStartup(44100, 32, 0));
  EXPECT_EQ(SndGetError(), kSndErrNoOutput);
  SndShutdown();
  SndSelectOutput(0);
  SndUseSteppedClock(false);
}

TEST(SoundStartup, NoSoundMixerThreadRunsOnTheClock) {
  SndShutdown();
  SndUseSteppedClock(false);
  SndSelectOutput(0);
  SndSetBufferTime(40);
  ASSERT_TRUE(SndStartup(44100, 32, 0));
  // Bounded wait for the thread to mix a few 25 ms blocks; no timing is asserted.
  for (int i = 0; i < 500 && SndGetMixedBlockCount() < 3; i++) SndSleep(10);
  EXPECT_GE(SndGetMixedBlockCount(), 3u);
  EXPECT_TRUE(SndShutdown());
  EXPECT_EQ(SndGetBufferTime(), -1);
}

TEST_F(SteppedSound, ErrorWordIsClearedOnlyByTheStartupThread) {
  EXPECT_EQ(SndGetSample(-1), nullptr);
  ASSERT_EQ(SndGetError(), kSndErrInvalid);
  std::thread other([] { SndGetChannelVolume(0); });
  other.join();
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
  SndGetChannelVolume(0);
  EXPECT_EQ(SndGetError(), kSndErrNone);
}

// Positions come from 64-bit arithmetic: the clock-derived position does not wrap after
// 97 seconds (ms x rate in 32 bits) nor after 6.8 hours.
TEST_F(SteppedSound, PrimaryPositionDoesNotWrap) {
  struct Case { uint32_t ms; uint32_t frames; } cases[] = {
      {100000, 4410000u}, {7u * 3600u * 1000u, 7u * 3600u * 44100u}};
  uint32_t now = 0;
  for (const Case& c : cases) {
    SndStepClock(c.ms - now);
    now = c.ms;
    EXPECT_EQ(SndGetChannelPosition(kSndPrimaryChannel), c.frames);
  }
  uint64_t before = SndGetMixedBlockCount();
  MixBlocks(2);
  EXPECT_EQ(SndGetMixedBlockCount(), before + 2);
}
