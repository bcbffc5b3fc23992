// Mixing block by block on the stepped no-sound clock: exact tone levels after the fade-in,
// golden output of each kind of loop in both mixer families, saturation, bidirectional loops,
// the frame behind the loop end, one-shots freeing their channel, and the DSP unit order.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/sound/sound_test_util.h"

// The families: 5 is the floating-point mixer, 7 the 16-bit integer mixer.
class MixFamily : public ::testing::TestWithParam<int> {
 protected:
  void TearDown() override {
    SndShutdown();
    SndUseSteppedClock(false);
  }
  bool Float() const { return GetParam() == 5; }
};
INSTANTIATE_TEST_SUITE_P(Families, MixFamily, ::testing::Values(5, 7));

TEST_P(MixFamily, ToneMixesToExpectedLevelsAfterTheRamp) {
  ASSERT_TRUE(StartSteppedLibrary(GetParam()));
  std::vector<int> tone(44100);
  for (int i = 0; i < 44100; i++) tone[i] = static_cast<int>(std::lround(16000.0 * std::sin(2 * M_PI * 1000.0 * i / 44100.0)));
  SndSample* sample = MakeSample(tone, true, false, kSndLoopNormal, 44100);
  int handle = SndPlaySoundAttributes(kSndAnyChannel, sample, 44100, 255, 128);
  ASSERT_NE(handle, -1);
  std::vector<int16_t> out = MixBlocks(2);
  // Volume 255 at pan 128 gives left 127 and right 128 of 255; the integer family scales by
  // volume / 256 (a 16-bit multiply-high), the floating-point family by volume / 255.
  double scale = Float() ? 255.0 : 256.0;
  for (size_t frame = 128; frame < out.size() / 2; frame++) {
    double left = tone[frame] * 127 / scale, right = tone[frame] * 128 / scale;
    ASSERT_NEAR(out[frame * 2], left, 1.0) << frame;
    ASSERT_NEAR(out[frame * 2 + 1], right, 1.0) << frame;
  }
  // The fade-in starts from silence.
  EXPECT_EQ(out[0], 0);
  EXPECT_LT(std::abs(out[64 * 2 + 1]), std::abs(static_cast<int>(tone[64] * 128 / scale)) + 1);
}

TEST_P(MixFamily, TwoFullScaleChannelsSaturate) {
  ASSERT_TRUE(StartSteppedLibrary(GetParam()));
  for (int level : {32767, -32768}) {
    SndStopAllChannels();
    SndSample* sample = MakeSample(std::vector<int>(4000, level), true, false, kSndLoopNormal, 44100);
    SndPlaySoundAttributes(kSndAnyChannel, sample, 44100, 255, -1);
    SndPlaySoundAttributes(kSndAnyChannel, sample, 44100, 255, -1);
    std::vector<int16_t> out = MixBlocks(2);
    for (size_t i = out.size() / 2; i < out.size(); i++) ASSERT_EQ(out[i], level > 0 ? 32767 : -32768) << i;
  }
}

TEST_P(MixFamily, OneShotFreesItsChannelInTheBlockWhereItEnds) {
  ASSERT_TRUE(StartSteppedLibrary(GetParam()));
  SndSample* sample = MakeSample(std::vector<int>(500, 3000), true, false, kSndLoopOff, 44100);
  int handle = SndPlaySoundSimple(kSndAnyChannel, sample);
  EXPECT_TRUE(SndIsChannelPlaying(handle));
  std::vector<int16_t> out = MixBlocks(1);
  EXPECT_FALSE(SndIsChannelPlaying(handle));
  EXPECT_EQ(SndGetChannelsPlaying(), 0);
  EXPECT_NE(out[2 * 400], 0);
  for (size_t frame = 500; frame < out.size() / 2; frame++) ASSERT_EQ(out[frame * 2], 0) << frame;
}

// An 8-bit value as the family reads it: the floating-point table maps 127 to 32767.
static double Expand8(double v, bool useFloat) { return useFloat && v > 0 ? v * 32767.0 / 127.0 : v * 256.0; }

// The frame the mixer interpolates toward behind the last frame of a loop, per format and loop
// mode, read at position 3.5 of a four-frame loop played at half speed (no ramp).
TEST_P(MixFamily, FrameBehindTheLoopEnd) {
  ASSERT_TRUE(StartSteppedLibrary(GetParam()));
  struct Case { bool sixteen, stereo; uint32_t loop; double left, right; } cases[] = {
      {true, false, kSndLoopNormal, (4000 + 1000) / 2.0, (4000 + 1000) / 2.0},
      {true, false, kSndLoopBidi, 4000, 4000},
      {true, false, kSndLoopOff, 2000, 2000},
      {true, true, kSndLoopNormal, (4000 + 1000) / 2.0, (-4000 - 1000) / 2.0},
      {true, true, kSndLoopBidi, 4000, -4000},
      {true, true, kSndLoopOff, 2000, -2000},
      {false, false, kSndLoopNormal, (40 + 10) / 2.0, (40 + 10) / 2.0},
      {false, false, kSndLoopBidi, 40, 40},
      {false, false, kSndLoopOff, 20, 20},
      {false, true, kSndLoopNormal, (40 + 10) / 2.0, (-40 - 10) / 2.0},
      {false, true, kSndLoopBidi, 40, -40},
      {false, true, kSndLoopOff, 20, -20},
  };
  for (const Case& c : cases) {
    int k = c.sixteen ? 1000 : 10;
    std::vector<int> values;
    for (int i = 1; i <= 4; i++) {
      values.push_back(i * k);
      if (c.stereo) values.push_back(-i * k);
    }
    SndSample* sample = MakeSample(values, c.sixteen, c.stereo, c.loop, 44100);
    std::vector<uint8_t> before(sample->data, sample->data + 4 * SndFrameBytes(sample));
    std::vector<float> out(16, 0.0f);
    std::vector<int16_t> outInt(16, 0);
    // Mix 8 frames at step 0.5 straight through the mix routine, at full gain on both sides.
    SndChannel ch{};
    SndListInit(&ch.link);
    SndInitChannel(&ch, -1);
    ch.sample = sample;
    ch.loopMode = static_cast<uint8_t>(c.loop);
    ch.loopLength = sample->loopLength;
    SndUpdateStep(&ch, 22050);
    ch.leftVolume = ch.rightVolume = 255;
    ch.rampTarget[0] = ch.rampTarget[1] = 255;
    ch.rampCurrent[0] = ch.rampCurrent[1] = 255 * 65536;
    SndLink list;
    SndListInit(&list);
    SndListAppend(&list, &ch.link);
    gSndMixer.mix(Float() ? static_cast<void*>(out.data()) : outInt.data(), &list, 8);
    double left = Float() ? out[14] : outInt[14], right = Float() ? out[15] : outInt[15];
    double wantLeft = c.sixteen ? c.left : Expand8(c.left, Float());
    double wantRight = c.sixteen ? c.right : Expand8(c.right, Float());
    double tolerance = Float() ? 0.5 : std::abs(wantLeft) * 0.01 + 2;
    EXPECT_NEAR(left, wantLeft, tolerance) << c.sixteen << c.stereo << c.loop;
    EXPECT_NEAR(right, wantRight, tolerance) << c.sixteen << c.stereo << c.loop;
    EXPECT_EQ(std::vector<uint8_t>(sample->data, sample->data + before.size()), before);
  }
}

// Golden output: one block at 8000 Hz of each kind of channel the bench measures. The files
// are kept in tests/data/sound; QV_REGENERATE_GOLDEN=1 rewrites them.
struct GoldenKind {
  const char* name;
  bool sixteen, stereo;
  uint32_t loop;
  int frequency, volume, pan, loopStart, loopEnd;
};
static const GoldenKind kGoldenKinds[] = {
    {"ratio1", true, false, kSndLoopNormal, 8000, 200, 60, 0, 36},
    {"resampled", true, false, kSndLoopBidi, 5512, 255, 200, 10, 40},
    {"8bit", false, false, kSndLoopNormal, 11025, 180, 128, 5, 60},
    {"stereo", true, true, kSndLoopOff, 6000, 230, -1, 0, 99},
};

static std::vector<int16_t> MixGoldenKind(const GoldenKind& kind) {
  std::vector<int> values;
  for (int i = 0; i < 100; i++) {
    double phase = i * 0.37;
    int v = static_cast<int>(std::sin(phase) * (kind.sixteen ? 30000 : 120) + ((i * 7919) % 13) * (kind.sixteen ? 100 : 1));
    values.push_back(v);
    if (kind.stereo) values.push_back(-v / 2);
  }
  SndSample* sample = MakeSample(values, kind.sixteen, kind.stereo, kind.loop, kind.frequency);
  if (kind.loop != kSndLoopOff) SndSetSampleLoopPoints(sample, kind.loopStart, kind.loopEnd);
  SndPlaySoundAttributes(kSndAnyChannel, sample, kind.frequency, kind.volume, kind.pan);
  std::vector<int16_t> out = MixBlocks(1);
  SndSetChannelVolume(kSndAllChannels, kind.volume / 2);  // the second block glides down
  std::vector<int16_t> second = MixBlocks(1);
  out.insert(out.end(), second.begin(), second.end());
  SndFreeSample(sample);
  return out;
}

TEST_P(MixFamily, EachKindMatchesItsGoldenFile) {
  ASSERT_TRUE(StartSteppedLibrary(GetParam(), 8000));
  for (const GoldenKind& kind : kGoldenKinds) {
    std::vector<int16_t> out = MixGoldenKind(kind);
    std::string path = std::string(QV_SOUND_TEST_DATA) + "/mix_" + kind.name + (Float() ? "_float" : "_int16") + ".raw";
    if (std::getenv("QV_REGENERATE_GOLDEN")) {
      std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size() * 2));
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in.good()) << path;
    std::vector<int16_t> golden(out.size() + 1);
    in.read(reinterpret_cast<char*>(golden.data()), static_cast<std::streamsize>(golden.size() * 2));
    golden.resize(static_cast<size_t>(in.gcount()) / 2);
    EXPECT_EQ(out, golden) << kind.name;
  }
}

// The two families compute the same sound: they differ only by the integer family's volume /
// 256 scaling and truncation, and for 8-bit data by the float table's 32767 / 127 for positives.
TEST(MixFamilies, AgreeWithEachOther) {
  std::vector<int16_t> results[2];
  int families[2] = {5, 7};
  for (int f = 0; f < 2; f++) {
    ASSERT_TRUE(StartSteppedLibrary(families[f], 8000));
    for (const GoldenKind& kind : kGoldenKinds) {
      std::vector<int16_t> out = MixGoldenKind(kind);
      results[f].insert(results[f].end(), out.begin(), out.end());
    }
  }
  SndShutdown();
  SndUseSteppedClock(false);
  ASSERT_EQ(results[0].size(), results[1].size());
  const size_t perKind = results[0].size() / std::size(kGoldenKinds);
  for (size_t i = 0; i < results[0].size(); i++) {
    // 8-bit positives are 258/256 louder in the float table; interpolating across zero
    // can then differ by up to 2 x 127.
    bool eightBit = !kGoldenKinds[i / perKind].sixteen;
    double tolerance = eightBit ? std::abs(results[0][i]) * 0.013 + 260 : std::abs(results[0][i]) * 0.006 + 3;
    ASSERT_NEAR(results[0][i], results[1][i], tolerance) << kGoldenKinds[i / perKind].name << " " << i % perKind;
  }
}

TEST(MixLoops, BidirectionalLoopPlaysBothEndsTwice) {
  ASSERT_TRUE(StartSteppedLibrary(5));
  std::vector<int> values(30);
  for (int i = 0; i < 30; i++) values[i] = i * 100;
  SndSample* sample = MakeSample(values, true, false, kSndLoopBidi, 44100);
  SndSetSampleLoopPoints(sample, 10, 19);
  SndPlaySoundAttributes(kSndAnyChannel, sample, 44100, 255, -1);
  std::vector<int16_t> out = MixBlocks(1);
  // Frames 0..9, then 10..19, 19..10, 10..19, ...
  auto expected = [](int frame) {
    if (frame < 10) return frame;
    int inLoop = (frame - 10) % 20;
    return inLoop < 10 ? 10 + inLoop : 19 - (inLoop - 10);
  };
  for (int frame = 128; frame < 600; frame++) ASSERT_EQ(out[frame * 2], expected(frame) * 100) << frame;
  SndShutdown();
  SndUseSteppedClock(false);
}

// DSP units run in priority order: after the clear unit (0) and before the effects unit (100)
// a unit sees silence; between effects and music it sees the mixed channel.
struct UnitLog {
  std::vector<std::string> order;
  bool sawSound[4] = {false, false, false, false};
};
static UnitLog* gUnitLog = nullptr;

template <int kId>
static void* LoggingUnit(void*, void* buffer, int frames, void*) {
  static const char* names[] = {"50", "150a", "150b", "1500"};
  gUnitLog->order.push_back(names[kId]);
  const int16_t* v = static_cast<const int16_t*>(buffer);
  for (int i = 0; i < frames * 2; i++) gUnitLog->sawSound[kId] |= v[i] != 0;
  return buffer;
}

TEST_F(SteppedSound, DspUnitsRunInPriorityOrder) {
  UnitLog log;
  gUnitLog = &log;
  SndDspUnit* b = SndCreateDspUnit(LoggingUnit<1>, 150, nullptr);
  SndDspUnit* c = SndCreateDspUnit(LoggingUnit<2>, 150, nullptr);
  SndDspUnit* d = SndCreateDspUnit(LoggingUnit<3>, 1500, nullptr);
  SndDspUnit* a = SndCreateDspUnit(LoggingUnit<0>, 50, nullptr);
  for (SndDspUnit* unit : {a, b, c, d}) SndSetDspUnitActive(unit, true);
  SndSample* sample = MakeSample(std::vector<int>(4000, 5000), true, false, kSndLoopNormal, 44100);
  SndPlaySoundSimple(kSndAnyChannel, sample);
  MixBlocks(1);
  EXPECT_EQ(log.order, (std::vector<std::string>{"50", "150a", "150b", "1500"}));
  EXPECT_FALSE(log.sawSound[0]);
  EXPECT_TRUE(log.sawSound[1]);
  EXPECT_EQ(SndGetDspUnitPriority(b), 150);
  SndSetDspUnitPriority(b, -5);
  EXPECT_EQ(SndGetDspUnitPriority(b), 0);
  log.order.clear();
  SndSetDspUnitActive(d, false);
  MixBlocks(1);
  EXPECT_EQ(log.order, (std::vector<std::string>{"150a", "50", "150b"}));
  for (SndDspUnit* unit : {a, b, c, d}) SndFreeDspUnit(unit);
  gUnitLog = nullptr;
}

// The integer family at step 1.0 with steady gains takes eight values at a time; every value
// must still be (s x volume x 256) >> 16 added with saturation, the right side inverted for
// surround, for mono and stereo and gains on both sides of 32768.
TEST(MixLoops, IntegerFamilyAtUnitStepMatchesTheFormula) {
  ASSERT_TRUE(StartSteppedLibrary(7));
  struct Case { bool stereo, surround; int left, right; } cases[] = {
      {false, false, 255, 100}, {false, true, 127, 127}, {true, false, 255, 100}, {true, true, 127, 127}, {true, false, 128, 1}};
  for (const Case& c : cases) {
    const int frames = 61;  // not a multiple of the vector width
    std::vector<int> values;
    uint32_t seed = 7;
    for (int i = 0; i < frames * (c.stereo ? 2 : 1) + 2; i++) {
      seed = seed * 1664525u + 1013904223u;
      values.push_back(static_cast<int16_t>(seed >> 16));
    }
    SndSample* sample = MakeSample(values, true, c.stereo, kSndLoopNormal, 44100);
    SndChannel ch{};
    SndListInit(&ch.link);
    SndInitChannel(&ch, -1);
    ch.sample = sample;
    ch.loopMode = kSndLoopNormal;
    ch.loopLength = sample->loopLength;
    ch.surround = c.surround;
    SndUpdateStep(&ch, 44100);
    ch.leftVolume = c.left;
    ch.rightVolume = c.right;
    ch.halfVolume = c.left;  // surround plays half the voice volume on both sides
    ch.rampTarget[0] = ch.rampTarget[1] = c.left;
    if (!c.surround) ch.rampTarget[1] = c.right;
    ch.rampCurrent[0] = ch.rampTarget[0] * 65536;
    ch.rampCurrent[1] = ch.rampTarget[1] * 65536;
    SndLink list;
    SndListInit(&list);
    SndListAppend(&list, &ch.link);
    std::vector<int16_t> out(frames * 2);
    for (int i = 0; i < frames * 2; i++) out[i] = static_cast<int16_t>((i % 3 - 1) * 30000);  // some values saturate
    std::vector<int16_t> start = out;
    gSndMixer.mix(out.data(), &list, frames);
    for (int f = 0; f < frames; f++) {
      int l = c.stereo ? values[f * 2] : values[f];
      int r = c.stereo ? values[f * 2 + 1] : values[f];
      int gainLeft = ch.rampTarget[0] * 256, gainRight = ch.rampTarget[1] * 256;
      int wantLeft = std::clamp(start[f * 2] + ((l * gainLeft) >> 16), -32768, 32767);
      int right = (r * gainRight) >> 16;
      int wantRight = std::clamp(start[f * 2 + 1] + (c.surround ? -right : right), -32768, 32767);
      ASSERT_EQ(out[f * 2], wantLeft) << c.stereo << c.surround << " frame " << f;
      ASSERT_EQ(out[f * 2 + 1], wantRight) << c.stereo << c.surround << " frame " << f;
    }
  }
  SndShutdown();
  SndUseSteppedClock(false);
}

TEST_P(MixFamily, MixSampleIntoAddsOneSoundToABuffer) {
  ASSERT_TRUE(StartSteppedLibrary(GetParam()));
  // The length counts source frames; the same number of output frames is mixed.
  const int8_t source[8] = {64, 64, -64, -64, 0, 0, 0, 0};
  std::vector<float> floats(16, 0.0f);
  std::vector<int16_t> ints(16, 0);
  void* destination = Float() ? static_cast<void*>(floats.data()) : ints.data();
  // Half speed: 8 output frames from 4 source frames; pan 255 puts it all on the right.
  ASSERT_TRUE(SndMixSampleInto(destination, source, 8, 22050, 255, 255, kSnd8Bits | kSndMono));
  auto at = [&](int i) { return Float() ? static_cast<double>(floats[i]) : ints[i]; };
  double full = Float() ? 64 * 32767.0 / 127.0 : 64 * 256 * 255 / 256.0;
  EXPECT_EQ(at(0), 0.0);
  EXPECT_NEAR(at(1), full, 1.0);
  EXPECT_NEAR(at(5), full, 1.0);
  EXPECT_NEAR(at(7), Float() ? (64 * 32767.0 / 127.0 - 64 * 256) / 2 : 0.0, 1.0);  // halfway to -64
  EXPECT_NEAR(at(9), -64 * 256 * (Float() ? 1.0 : 255 / 256.0), 1.0);
  // A pan beyond either end mixes as that end.
  for (int pan : {-100000, 100000}) {
    std::vector<float> wildFloats(16, 0.0f), endFloats(16, 0.0f);
    std::vector<int16_t> wildInts(16, 0), endInts(16, 0);
    void* wild = Float() ? static_cast<void*>(wildFloats.data()) : wildInts.data();
    void* end = Float() ? static_cast<void*>(endFloats.data()) : endInts.data();
    ASSERT_TRUE(SndMixSampleInto(wild, source, 8, 22050, 255, pan, kSnd8Bits | kSndMono));
    ASSERT_TRUE(SndMixSampleInto(end, source, 8, 22050, 255, pan < 0 ? 0 : 255, kSnd8Bits | kSndMono));
    EXPECT_EQ(wildFloats, endFloats) << pan;
    EXPECT_EQ(wildInts, endInts) << pan;
  }
  struct Case { void* destination; const void* source; int length; uint32_t mode; int error; } cases[] = {
      {nullptr, source, 4, kSnd8Bits | kSndMono, kSndErrInvalid},
      {destination, nullptr, 4, kSnd8Bits | kSndMono, kSndErrInvalid},
      {destination, source, 0, kSnd8Bits | kSndMono, kSndErrInvalid},
      {destination, source, 4, kSndMono, kSndErrNone},  // no sample width: refused quietly
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(SndMixSampleInto(c.destination, c.source, c.length, 44100, 255, 128, c.mode));
    EXPECT_EQ(SndGetError(), c.error);
  }
  // Clearing the output silences both the mix buffer and the ring.
  SndSample* loud = MakeSample(std::vector<int>(3000, 20000), true, false, kSndLoopNormal, 44100);
  SndPlaySoundSimple(kSndAnyChannel, loud);
  MixBlocks(3);
  SndClearOutput();
  const int16_t* ring = reinterpret_cast<const int16_t*>(SndGetPrimaryMixBuffer()->data);
  for (int i = 0; i < SndGetMixBufferLength() * 2; i++) ASSERT_EQ(ring[i], 0) << i;
}

// A unit given to a play call mixes its own channels; freeing it stops them, so nothing keeps
// links into the freed unit.
TEST_F(SteppedSound, FreeingAUnitStopsItsChannels) {
  SndDspUnit* unit = SndCreateDspUnit(nullptr, 150, nullptr);
  SndSetDspUnitActive(unit, true);
  SndSample* sample = MakeSample(std::vector<int>(3000, 8000), true, false, kSndLoopNormal, 44100);
  int handle = SndPlaySoundOnUnit(unit, kSndAnyChannel, sample, false);
  ASSERT_NE(handle, -1);
  std::vector<int16_t> out = MixBlocks(1);
  EXPECT_NE(out[2 * 500], 0);  // mixed by the unit's own list
  SndFreeDspUnit(unit);
  EXPECT_FALSE(SndIsChannelPlaying(handle));
  MixBlocks(1);
  int again = SndPlaySoundSimple(handle & 0xFFF, sample);
  EXPECT_EQ(again & 0xFFF, handle & 0xFFF);
  EXPECT_NE(MixBlocks(2)[2 * 1500], 0);
}

// The library's own units outlive a caller's attempt to free them: freed, the effects unit
// would be written to by the next play and the clip unit would leave the ring silent.
TEST_F(SteppedSound, TheLibrarysOwnUnitsCannotBeFreed) {
  SndDspUnit* own[] = {SndGetClearUnit(), SndGetSfxUnit(), SndGetMusicUnit(), SndGetClipCopyUnit()};
  for (SndDspUnit* unit : own) SndFreeDspUnit(unit);
  EXPECT_EQ(SndGetSfxUnit(), own[1]);
  EXPECT_EQ(SndGetDspUnitPriority(own[3]), 1000);
  SndSample* sample = MakeSample(std::vector<int>(3000, 8000), true, false, kSndLoopNormal, 44100);
  ASSERT_NE(SndPlaySoundSimple(kSndAnyChannel, sample), -1);
  EXPECT_NE(MixBlocks(2)[2 * 1500], 0);
}

// A unit asked for before start-up is refused: start-up frees every unit of the chain, so
// freeing such a unit afterwards freed it twice.
TEST(SoundUnits, NoUnitBeforeStartup) {
  SndShutdown();
  SndDspUnit* early = SndCreateDspUnit(nullptr, 150, nullptr);
  EXPECT_EQ(early, nullptr);
  EXPECT_EQ(SndGetError(), kSndErrNotInitialised);
  ASSERT_TRUE(StartSteppedLibrary());
  SndFreeDspUnit(early);
  SndSample* sample = MakeSample(std::vector<int>(3000, 8000), true, false, kSndLoopNormal, 44100);
  ASSERT_NE(SndPlaySoundSimple(kSndAnyChannel, sample), -1);
  EXPECT_NE(MixBlocks(2)[2 * 1500], 0);
  SndShutdown();
  SndUseSteppedClock(false);
}

// Loop points, loop modes and frequencies changed at random while channels play: the mixers
// must read only the sample's own frames. The data sits in tight buffers here (without the
// usual spare bytes), so the address sanitizer sees any read past the last frame.
TEST_P(MixFamily, RandomLoopChangesReadOnlyTheSamplesFrames) {
  ASSERT_TRUE(StartSteppedLibrary(GetParam(), 8000, 8));
  uint32_t seed = 99;
  auto next = [&](uint32_t range) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % range;
  };
  const uint32_t loops[] = {kSndLoopOff, kSndLoopNormal, kSndLoopBidi};
  for (int round = 0; round < 150; round++) {
    bool sixteen = next(2), stereo = next(2);
    int frames = 1 + static_cast<int>(next(40));
    std::vector<int> values(static_cast<size_t>(frames) * (stereo ? 2 : 1));
    for (int& v : values) v = static_cast<int>(next(200)) - 100;
    SndSample* sample = MakeSample(values, sixteen, stereo, loops[next(3)], 8000);
    size_t bytes = static_cast<size_t>(frames) * SndFrameBytes(sample);
    uint8_t* spare = sample->data;
    auto* tight = new uint8_t[bytes];
    std::memcpy(tight, spare, bytes);
    sample->data = tight;
    int handle = SndPlaySoundAttributes(kSndAnyChannel, sample, 100 + static_cast<int>(next(80000)), 255, 128);
    for (int change = 0; change < 4; change++) {
      if (frames > 1) {
        int start = static_cast<int>(next(static_cast<uint32_t>(frames - 1)));
        SndSetSampleLoopPoints(sample, start, start + 1 + static_cast<int>(next(static_cast<uint32_t>(frames - start - 1))));
      }
      SndSetSampleLoopMode(sample, loops[next(3)]);
      SndSetChannelLoopMode(handle, loops[next(3)]);
      SndSetChannelFrequency(handle, 100 + static_cast<int>(next(700000)));
      MixBlocks(1);
    }
    SndStopChannel(handle);
    sample->data = spare;
    delete[] tight;
    SndFreeSample(sample);
  }
}
