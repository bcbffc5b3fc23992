// Software 3D against hand-computed values: distance attenuation, pan from the listener's
// right axis, doppler, and the minimum/maximum distance check.
#include "tests/sound/sound_test_util.h"

class Sound3D : public SteppedSound {
 protected:
  void SetUp() override {
    SteppedSound::SetUp();
    sample_ = SndCreateSample(-1, 1000, kSnd16Bits | kSndLoopNormal, 44100, 255, 128, 255);
  }
  // Plays the sample at `position` with `velocity` and returns the voice's record.
  SndChannel* PlayAt(SndVector3 position, SndVector3 velocity = {0, 0, 0}) {
    int handle = SndPlaySound3D(kSndAnyChannel, sample_, &position, &velocity);
    return handle == -1 ? nullptr : ChannelRecord(handle);
  }
  SndSample* sample_ = nullptr;
};

TEST_F(Sound3D, DistanceAndPan) {
  struct Case {
    const char* what;
    SndVector3 position;
    float attenuation;
    int volume, pan;
  } cases[] = {
      {"at the listener", {0, 0, 0}, 1.0f, 255, 128},
      {"10 units right", {10, 0, 0}, 1.0f, 25, 255},  // 255 x 1/10
      {"10 units left", {-10, 0, 0}, 1.0f, 25, 0},
      {"ahead", {0, 0, 4}, 1.0f, 63, 128},
      {"500 away, attenuation 0.002", {0, 0, 500}, 0.002f, 127, 128},  // 1 / 1.998
  };
  for (const Case& c : cases) {
    SndSetAttenuationFactor(c.attenuation);
    SndChannel* ch = PlayAt(c.position);
    ASSERT_NE(ch, nullptr) << c.what;
    EXPECT_EQ(ch->voiceVolume, c.volume) << c.what;
    EXPECT_EQ(ch->voicePan, c.pan) << c.what;
    // The API values stay as the caller set them.
    EXPECT_EQ(ch->volume, 255) << c.what;
  }
}

TEST_F(Sound3D, PanFollowsTheListenersRightAxis) {
  // Facing +x with +y up, the right hand points to -z.
  SndSetListener(nullptr, nullptr, 1, 0, 0, 0, 1, 0);
  EXPECT_EQ(PlayAt({0, 0, -10})->voicePan, 255);
  EXPECT_EQ(PlayAt({0, 0, 10})->voicePan, 0);
  EXPECT_EQ(PlayAt({10, 0, 0})->voicePan, 128);
  // Moving the listener moves where "at the listener" is.
  SndVector3 at{5, 5, 5};
  SndSetListener(&at, nullptr, 0, 0, 1, 0, 1, 0);
  SndChannel* ch = PlayAt({5, 5, 5});
  EXPECT_EQ(ch->voiceVolume, 255);
  EXPECT_EQ(ch->voicePan, 128);
}

TEST_F(Sound3D, DopplerShiftsTheVoiceFrequency) {
  struct Case { SndVector3 position, velocity; float factor; double ratio; } cases[] = {
      {{0, 0, 10}, {0, 0, -34}, 1.0f, 374.0 / 340.0},  // approaching at 34 units/s: +10 %
      {{0, 0, 50}, {0, 0, 34}, 1.0f, 306.0 / 340.0},  // receding: was 16 away a second ago
      {{0, 0, 10}, {0, 0, -34}, 0.0f, 1.0},
      {{0, 0, 10}, {0, 0, 0}, 1.0f, 1.0},
      {{0, 0, 10}, {0, 0, -1e9f}, 1.0f, 16.0},  // far faster than sound: the voice's top, 705600
  };
  for (const Case& c : cases) {
    SndSetDopplerFactor(c.factor);
    SndChannel* ch = PlayAt(c.position, c.velocity);
    EXPECT_NEAR(ch->voiceFrequency, 44100 * c.ratio, 1.0);
    EXPECT_EQ(ch->frequency, 44100);
  }
  SndSetDopplerFactor(1.0f);
  SndSetDistanceScale(2.0f);  // sound is then 680 units per second
  SndChannel* ch = PlayAt({0, 0, 10}, {0, 0, -68});
  EXPECT_NEAR(ch->voiceFrequency, 44100 * (680.0 + 68.0) / 680.0, 1.0);
}

TEST_F(Sound3D, ApplyRecomputesAfterMoves) {
  SndChannel* ch = PlayAt({0, 0, 0});
  int handle = ch->handle;
  SndVector3 right{20, 0, 0};
  SndSetChannel3D(handle, &right, nullptr);
  EXPECT_EQ(ch->voicePan, 128);  // nothing changes until the per-frame apply
  SndApply3D();
  EXPECT_EQ(ch->voicePan, 255);
  EXPECT_EQ(ch->voiceVolume, 12);
  SndVector3 position, velocity;
  EXPECT_TRUE(SndGetChannel3D(handle, &position, &velocity));
  EXPECT_EQ(position.x, 20.0f);
  // 2D samples are never positioned.
  SndSample* flat = SndCreateSample(-1, 100, kSnd16Bits | kSnd2D, 44100, 255, 128, 255);
  SndVector3 far{1000, 0, 0};
  int flatHandle = SndPlaySound3D(kSndAnyChannel, flat, &far, nullptr);
  EXPECT_EQ(ChannelRecord(flatHandle)->voiceVolume, 255);
}

TEST_F(Sound3D, MinMaxDistanceIsChecked) {
  EXPECT_FALSE(SndSetSampleMinMaxDistance(sample_, 5, 2));
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
  EXPECT_FALSE(SndSetSampleMinMaxDistance(sample_, -1, 2));
  EXPECT_TRUE(SndSetSampleMinMaxDistance(sample_, 5, 50));
  struct Case { float x; int volume; } cases[] = {{3, 255}, {10, 127}, {500, 25}};  // 5/5, 5/10, 5/50
  for (const Case& c : cases) EXPECT_EQ(PlayAt({c.x, 0, 0})->voiceVolume, c.volume) << c.x;
}
