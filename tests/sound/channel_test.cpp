// Channels: stealing by priority from the cursor, start frames and the loop each play keeps,
// reserved channels, pan separation, frequency clamps, pause and mute with the effects master
// volume, effect mix and the getters.
#include "tests/sound/sound_test_util.h"

class FourChannels : public SteppedSound {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartSteppedLibrary(0, 44100, 4));
    sample_ = MakeSample(std::vector<int>(1000, 100), true, false, kSndLoopNormal, 44100);
  }
  SndSample* sample_ = nullptr;
};

TEST_F(FourChannels, StealsTheLowestPriorityFromTheCursor) {
  int handles[4];
  for (int i = 0; i < 4; i++) handles[i] = SndPlaySoundSimple(kSndAnyChannel, sample_);
  for (int i = 0; i < 4; i++) EXPECT_EQ(handles[i] & 0xFFF, i);
  int priorities[4] = {3, 1, 1, 2};
  for (int i = 0; i < 4; i++) SndSetChannelPriority(handles[i], priorities[i]);
  // Channels 1 and 2 tie at priority 1: the first met from the cursor (at 0) goes first.
  EXPECT_EQ(SndPlaySoundSimple(kSndAnyChannel, sample_) & 0xFFF, 1);
  EXPECT_EQ(SndPlaySoundSimple(kSndAnyChannel, sample_) & 0xFFF, 2);
  EXPECT_EQ(SndGetChannelPriority(1), 128);  // the sample's default priority
  EXPECT_FALSE(SndIsChannelPlaying(handles[1]));
  EXPECT_EQ(SndGetError(), kSndErrInvalid);  // that handle is stale now
}

// A play from a frame starts there (one at or past the loop end starts at 0), and each channel
// keeps the loop points its sample had when it started: changing them for the next play
// leaves the sounds already playing alone.
TEST_F(FourChannels, PlaysStartAtTheirFrameAndKeepTheirOwnLoop) {
  std::vector<int> ramp(1000);
  for (int i = 0; i < 1000; i++) ramp[i] = i;
  SndSample* sample = MakeSample(ramp, true, false, kSndLoopNormal, 44100);
  ASSERT_TRUE(SndSetSampleLoopPoints(sample, 100, 199));
  const int first = SndPlaySoundFrom(kSndAnyChannel, sample, -1, -1, -1, nullptr, nullptr, 150);
  EXPECT_EQ(SndGetChannelPosition(first), 150u);
  ASSERT_TRUE(SndSetSampleLoopPoints(sample, 500, 899));
  const int second = SndPlaySoundFrom(kSndAnyChannel, sample, -1, -1, -1, nullptr, nullptr, 950);
  EXPECT_EQ(SndGetChannelPosition(second), 0u);
  for (int block = 0; block < 10; block++) {
    MixBlocks(1);
    EXPECT_GE(SndGetChannelPosition(first), 100u);
    EXPECT_LE(SndGetChannelPosition(first), 199u);
    EXPECT_GE(SndGetChannelPosition(second), 500u);
    EXPECT_LE(SndGetChannelPosition(second), 899u);
  }
}

TEST_F(FourChannels, ReservedChannelsAreNeverTakenByAnyChannel) {
  SndSetChannelReserved(0, true);
  for (int i = 0; i < 6; i++) {
    int handle = SndPlaySoundSimple(kSndAnyChannel, sample_);
    ASSERT_NE(handle, -1);
    EXPECT_NE(handle & 0xFFF, 0);
  }
  EXPECT_FALSE(SndIsChannelPlaying(0));
  EXPECT_NE(SndPlaySoundSimple(0, sample_), -1);  // asking for it by number still works
  SndSetChannelReserved(kSndAllChannels, true);
  EXPECT_EQ(SndPlaySoundSimple(kSndAnyChannel, sample_), -1);
  EXPECT_EQ(SndGetError(), kSndErrNoChannel);
  EXPECT_EQ(SndPlaySoundSimple(kSndAnyChannel, nullptr), -1);
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
}

TEST_F(FourChannels, PanSeparationKeepsBothSidesCentred) {
  int handle = SndPlaySoundSimple(0, sample_);
  SndSetPanSeparation(0.5f);
  struct Case { int pan, stored; } cases[] = {{255, 191}, {0, 64}, {128, 128}, {300, 191}, {-1, -1}};
  for (const Case& c : cases) {
    SndSetChannelPan(handle, c.pan);
    EXPECT_EQ(SndGetChannelPan(handle), c.stored) << c.pan;
  }
  SndChannel* ch = ChannelRecord(handle);
  EXPECT_EQ(ch->leftVolume, ch->rightVolume);
  SndSetChannelRawPan(handle, 255);
  EXPECT_EQ(SndGetChannelPan(handle), 255);
  SndSetPanSeparation(7.0f);
  SndSetChannelPan(handle, 0);
  EXPECT_EQ(SndGetChannelPan(handle), 0);
}

TEST_F(FourChannels, FrequencyIsClampedForTheVoiceOnly) {
  int handle = SndPlaySoundSimple(0, sample_);
  struct Case { int hz, voice; int64_t step; } cases[] = {
      {50, 100, (int64_t{100} << 32) / 44100},
      {800000, 705600, int64_t{16} << 32},
      {22050, 22050, int64_t{1} << 31},  // exactly half a frame per output frame
  };
  for (const Case& c : cases) {
    SndSetChannelFrequency(handle, c.hz);
    EXPECT_EQ(SndGetChannelFrequency(handle), c.hz);
    EXPECT_EQ(ChannelRecord(handle)->voiceFrequency, c.voice);
    EXPECT_EQ(ChannelRecord(handle)->step, c.step);
  }
}

TEST_F(FourChannels, MuteAndMasterVolume) {
  int a = SndPlaySoundSimple(0, sample_);
  int b = SndPlaySoundSimple(1, sample_);
  SndSetChannelMute(b, true);
  SndSetChannelVolume(kSndAllChannels, 200);
  EXPECT_EQ(SndGetChannelVolume(a), 200);
  EXPECT_EQ(SndGetChannelVolume(b), 200);
  EXPECT_EQ(ChannelRecord(a)->voiceVolume, 200);
  EXPECT_EQ(ChannelRecord(b)->leftVolume, 0);
  SndSetSfxMasterVolume(128);
  EXPECT_EQ(ChannelRecord(a)->voiceVolume, 200 * 128 / 255);
  EXPECT_EQ(ChannelRecord(b)->rightVolume, 0);
  // Unmuting gives back the volume with the master volume applied.
  SndSetChannelMute(b, false);
  EXPECT_EQ(ChannelRecord(b)->voiceVolume, 200 * 128 / 255);
  EXPECT_TRUE(SndGetChannelMute(a) == false && SndGetChannelVolume(b) == 200);
  SndSetChannelAbsoluteVolume(a, 90);
  EXPECT_EQ(ChannelRecord(a)->voiceVolume, 90);
  SndSetSfxMasterVolume(10);
  EXPECT_EQ(ChannelRecord(a)->voiceVolume, 90);
}

TEST_F(FourChannels, PausedChannelsAreNotMixed) {
  int handle = SndPlaySoundPaused(0, sample_, true);
  EXPECT_TRUE(SndGetChannelPaused(handle));
  std::vector<int16_t> silent = MixBlocks(1);
  for (int16_t v : silent) ASSERT_EQ(v, 0);
  EXPECT_EQ(SndGetChannelPosition(handle), 0u);
  SndSetChannelPaused(handle, false);
  MixBlocks(1);
  EXPECT_EQ(SndGetChannelPosition(handle), static_cast<uint32_t>(SndGetBlockLength() % 1000));
  EXPECT_GT(SndGetChannelLevel(handle), 0.0f);
}

TEST_F(FourChannels, EffectMixAndGetters) {
  for (int i = 0; i < 4; i++) SndPlaySoundSimple(i, sample_);
  EXPECT_TRUE(SndSetChannelEffectMix(kSndAllChannels, 0.0f));
  float mix = 1.0f;
  for (int i = 0; i < 4; i++) {
    EXPECT_TRUE(SndGetChannelEffectMix(i, &mix));
    EXPECT_EQ(mix, 0.0f);
  }
  SndSetChannelEffectMix(2, 3.0f);
  SndGetChannelEffectMix(2, &mix);
  EXPECT_EQ(mix, 1.0f);
  EXPECT_FALSE(SndGetChannelEffectMix(2, nullptr));
  EXPECT_EQ(SndGetChannelsPlaying(), 4);
  SndSetChannelSurround(3, true);
  EXPECT_TRUE(SndGetChannelSurround(3));
  EXPECT_EQ(SndGetChannelSample(3), sample_);
  SndStopChannel(3);
  EXPECT_EQ(SndGetChannelSample(3), nullptr);
  EXPECT_EQ(SndGetChannelPriority(3), 0);
  SndFreeSample(sample_);
  EXPECT_EQ(SndGetChannelsPlaying(), 0);
}

// The primary channel keeps the output ring: a sample sent to it is refused, so the ring goes
// on playing and no channel is left holding the sample once it is freed; nor can the ring
// itself be freed under the mixer.
TEST_F(FourChannels, ThePrimaryChannelPlaysOnlyTheRing) {
  EXPECT_EQ(SndPlaySoundSimple(kSndPrimaryChannel, sample_), -1);
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
  EXPECT_EQ(SndGetChannelSample(kSndPrimaryChannel), SndGetPrimaryMixBuffer());
  SndFreeSample(SndGetPrimaryMixBuffer());  // refused: the mixer writes into the ring
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
  ASSERT_NE(SndGetPrimaryMixBuffer()->data, nullptr);
  ASSERT_NE(SndPlaySoundSimple(kSndAnyChannel, sample_), -1);
  std::vector<int16_t> out = MixBlocks(1);
  EXPECT_NE(out[2 * 10], 0);
}
