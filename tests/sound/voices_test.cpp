// Hardware voices of output 2 (OpenAL sources), rendered through the loopback device: 3D level
// and side against the software 3D formulas, the volume table and pitch, voices that run out,
// buffers and sources that must not leak, and 8-bit data that a lock only reads.
#include <cmath>

#include "tests/sound/loopback_test_util.h"

namespace {

using HardwareVoices = LoopbackOutput;

std::vector<int16_t> Render(int frames) { return RenderLoopback(frames); }

struct Sides {
  double left, right;
};
Sides Rms(const std::vector<int16_t>& pcm) {
  double l = 0, r = 0;
  const size_t frames = pcm.size() / 2;
  for (size_t f = 0; f < frames; f++) {
    l += double(pcm[2 * f]) * pcm[2 * f];
    r += double(pcm[2 * f + 1]) * pcm[2 * f + 1];
  }
  return {std::sqrt(l / double(frames)), std::sqrt(r / double(frames))};
}

// A looping 1 kHz tone (16-bit mono, 44100 Hz), in hardware when the output has voices.
SndSample* HardwareTone() {
  std::vector<int> tone(4410);
  for (size_t i = 0; i < tone.size(); i++) tone[i] = int(std::lrint(16000 * std::sin(2 * M_PI * 1000 * double(i) / 44100)));
  const uint32_t mode = kSnd16Bits | kSndMono | kSndLoopNormal | kSndHardware;
  SndSample* sample = SndCreateSample(-1, int(tone.size()), mode, 44100, 255, 128, 128);
  if (!sample) return nullptr;
  std::vector<int16_t> pcm(tone.begin(), tone.end());
  SndUploadSample(sample, pcm.data(), mode);
  return sample;
}

int Crossings(const std::vector<int16_t>& pcm) {
  int count = 0;
  for (size_t f = 1; f < pcm.size() / 2; f++) count += (pcm[2 * f - 2] < 0) != (pcm[2 * f] < 0);
  return count;
}

TEST_F(HardwareVoices, StartUpGivesVoicesAndLeavesNoError) {
  EXPECT_EQ(SndGetError(), 0) << "the hardware probe of the open leaves nothing behind";
  EXPECT_GT(SndGetHardwareChannelCount(), 0);
  SndSample* sample = HardwareTone();
  ASSERT_NE(sample, nullptr);
  int handle = SndPlaySoundSimple(-1, sample);
  ASSERT_GE(handle, 0);
  EXPECT_GE(handle & 0xFFF, 16) << "played on a hardware channel";
  EXPECT_TRUE(SndIsChannelPlaying(handle));
  EXPECT_GT(Rms(Render(4410)).left, 1000);
}

// Level and side of a source at the origin while the listener (looking down +z) moves round it,
// against the software 3D: gain = min / ((d - min) x rolloff + min), pan from the right vector.
TEST_F(HardwareVoices, ThreeDVoicesPanAndAttenuateAsTheListenerMoves) {
  SndSample* sample = HardwareTone();
  ASSERT_NE(sample, nullptr);
  const SndVector3 origin{0, 0, 0};
  int handle = SndPlaySound3D(-1, sample, &origin, nullptr);
  ASSERT_GE(handle, 0);
  struct Direction {
    const char* name;
    float x, z;  // unit vector from the source to the listener
  };
  const Direction directions[] = {{"ahead", 0, -1}, {"right", -1, 0}, {"left", 1, 0}, {"behind", 0, 1},
                                  {"ahead-right", -0.7071f, -0.7071f}, {"ahead-left", 0.5f, -0.866f}};
  for (float rolloff : {1.0f, 0.25f}) {
    SndSetAttenuationFactor(rolloff);
    for (const Direction& dir : directions) {
      double reference = 0;
      for (float d : {1.0f, 2.0f, 5.0f, 20.0f}) {
        const SndVector3 listener{dir.x * d, 0, dir.z * d};
        SndSetListener(&listener, nullptr, 0, 0, 1, 0, 1, 0);
        Render(1024);  // the mixer glides to the new gains
        Sides s = Rms(Render(8192));
        const double level = std::hypot(s.left, s.right);
        if (d == 1.0f) reference = level;
        const double gain = 1.0 / ((d - 1.0) * rolloff + 1.0);
        EXPECT_NEAR(level / reference, gain, 0.02 * gain) << dir.name << " d " << d << " rolloff " << rolloff;
        // Side: the software pan, 0 left .. 255 right, against the share heard on the right.
        const double side = -dir.x;  // the source lies opposite the listener's offset
        const int pan = int(std::trunc(side * 128)) + 128;
        const double share = s.right / (s.left + s.right);
        EXPECT_NEAR(share, std::min(pan, 255) / 255.0, 0.1) << dir.name << " d " << d;
        if (pan >= 255) {
          EXPECT_LT(s.left, 0.01 * s.right) << dir.name;
        } else if (pan == 128) {
          EXPECT_NEAR(s.left, s.right, 0.01 * s.right) << dir.name;
        }
      }
    }
  }
}

TEST_F(HardwareVoices, VolumeFollowsTheTableAndFrequencyThePitch) {
  SndSample* sample = HardwareTone();
  ASSERT_NE(sample, nullptr);
  int handle = SndPlaySoundSimple(-1, sample);
  ASSERT_GE(handle, 0);
  Render(1024);
  const std::vector<int16_t> full = Render(44100);
  const double fullLevel = Rms(full).left;
  EXPECT_NEAR(Crossings(full), 2000, 10);
  // Volume 128 is -9.97 dB in the table; 0 is silence.
  SndSetChannelVolume(handle, 128);
  Render(1024);
  EXPECT_NEAR(Rms(Render(8192)).left / fullLevel, std::pow(10.0, -997 / 2000.0), 0.01);
  SndSetChannelVolume(handle, 0);
  Render(1024);
  EXPECT_LT(Rms(Render(8192)).left, 10) << "the output's dither only";
  SndSetChannelVolume(handle, 255);
  // Half the sample's rate plays an octave down; 50 Hz is raised to 100 Hz (1/441 of the rate).
  SndSetChannelFrequency(handle, 22050);
  Render(1024);
  EXPECT_NEAR(Crossings(Render(44100)), 1000, 10);
  SndSetChannelFrequency(handle, 50);
  Render(1024);
  EXPECT_NEAR(Crossings(Render(44100 * 2)), 2 * 2000 / 441, 2);
}

// A source coming at 34 units per second plays higher by c / (c - 34 x doppler factor), the
// speed of sound c being 340 units per second times the distance scale: 11 % at factor 1 and
// scale 1, where the software 3D's first-order formula gives 10 %.
TEST_F(HardwareVoices, AnApproachingSourcePlaysHigher) {
  SndSample* sample = HardwareTone();
  ASSERT_NE(sample, nullptr);
  const SndVector3 at{0, 0, 50}, coming{0, 0, -34};
  int handle = SndPlaySound3D(-1, sample, &at, &coming);
  ASSERT_GE(handle, 0);
  struct Case {
    float doppler, scale;
  };
  for (const Case& c : {Case{1, 1}, Case{1, 2}, Case{0, 1}, Case{2, 1}}) {
    SndSetDopplerFactor(c.doppler);
    SndSetDistanceScale(c.scale);
    Render(1024);
    const double speed = 340.0 * c.scale, ratio = speed / (speed - 34.0 * c.doppler);
    EXPECT_NEAR(Crossings(Render(44100)) / 2000.0, ratio, 0.01 * ratio) << c.doppler << " " << c.scale;
  }
}

TEST_F(HardwareVoices, PausedPlayStaysSilentUntilResumedAndEndedSoundsStayEnded) {
  SndSample* sample = HardwareTone();
  ASSERT_NE(sample, nullptr);
  int handle = SndPlaySoundPaused(-1, sample, true);
  ASSERT_GE(handle, 0);
  EXPECT_LT(Rms(Render(4096)).left, 10);
  EXPECT_TRUE(SndSetChannelPaused(handle, false));
  Render(1024);
  EXPECT_GT(Rms(Render(4096)).left, 1000);
  EXPECT_TRUE(SndSetChannelPaused(handle, true));
  Render(1024);
  EXPECT_LT(Rms(Render(4096)).left, 10);
  EXPECT_TRUE(SndIsChannelPlaying(handle)) << "a paused voice is not free for another sound";
  // A sound that played to its end stays ended: resuming it neither replays nor loops it.
  const std::vector<int16_t> blip(441, 8000);
  SndSample* once = SndCreateSample(-1, 441, kSnd16Bits | kSndMono | kSndLoopOff | kSndHardware, 44100, 255, 128, 128);
  ASSERT_NE(once, nullptr);
  ASSERT_TRUE(SndUploadSample(once, blip.data(), kSnd16Bits | kSndMono));
  SndStopChannel(handle);
  handle = SndPlaySoundSimple(-1, once);
  ASSERT_GE(handle, 0);
  Render(4096);
  EXPECT_FALSE(SndIsChannelPlaying(handle));
  SndSetChannelPaused(handle, true);
  SndSetChannelPaused(handle, false);
  EXPECT_FALSE(SndIsChannelPlaying(handle));
  EXPECT_LT(Rms(Render(4096)).left, 10);
}

TEST_F(HardwareVoices, ManyCyclesLeakNoSourceOrBuffer) {
  int sources = 0, buffers = 0, filters = 0;
  SndOpenAlCountObjects(&sources, &buffers, &filters);
  EXPECT_EQ(sources, SndGetHardwareChannelCount() + 2) << "the stream's, the voices' and the probe's";
  const std::vector<int> blip(64, 1000);
  for (int i = 0; i < 10000; i++) {
    SndSample* sample = SndCreateSample(-1, 64, kSnd16Bits | kSndMono | kSndHardware, 44100, 255, 128, 128);
    ASSERT_NE(sample, nullptr) << "cycle " << i << " error " << SndGetError();
    int handle = SndPlaySoundSimple(-1, sample);
    ASSERT_GE(handle, 0) << "cycle " << i;
    if (i % 3 == 0) {
      // New data while the voice plays: the old buffer waits for the voice to let it go.
      void *first, *second;
      uint32_t firstLength, secondLength;
      ASSERT_TRUE(SndLockSample(sample, 0, 128, &first, &second, &firstLength, &secondLength));
      ASSERT_TRUE(SndUnlockSample(sample, first, second, firstLength, secondLength));
    }
    if (i % 2 == 0) SndStopChannel(handle);
    SndFreeSample(sample);
  }
  int sourcesAfter = 0, buffersAfter = 0, filtersAfter = 0;
  SndOpenAlCountObjects(&sourcesAfter, &buffersAfter, &filtersAfter);
  EXPECT_EQ(sourcesAfter, sources);
  EXPECT_EQ(buffersAfter, buffers);
  EXPECT_EQ(filtersAfter, filters);
  EXPECT_EQ(SndGetChannelsPlaying(), 0);
  SndShutdown();
  SndOpenAlCountObjects(&sourcesAfter, &buffersAfter, &filtersAfter);
  EXPECT_EQ(sourcesAfter + buffersAfter + filtersAfter, 0);
}

TEST_F(HardwareVoices, MoreSoundsThanVoicesPlayAsSoftwareVoices) {
  SndShutdown();
  SndSetMaxHardwareChannels(2);
  ASSERT_TRUE(Start());
  ASSERT_EQ(SndGetHardwareChannelCount(), 2);
  SndSample* sample = HardwareTone();
  ASSERT_NE(sample, nullptr);
  int handles[3];
  for (int& h : handles) h = SndPlaySoundSimple(-1, sample);
  EXPECT_GE(handles[0] & 0xFFF, 16);
  EXPECT_GE(handles[1] & 0xFFF, 16);
  EXPECT_LT(handles[2] & 0xFFF, 16) << "the third sound takes a software voice";
  EXPECT_EQ(SndGetChannelsPlaying(), 3);
  // The software voice is heard through the mix once the hardware ones stop.
  SndStopChannel(handles[0]);
  SndStopChannel(handles[1]);
  Render(8192);
  EXPECT_GT(Rms(Render(8192)).left, 1000);
}

// A hardware voice starts at the frame asked for; a sample whose loop points mark a section
// plays on a software voice, which loops the section (a source would play its buffer whole).
TEST_F(HardwareVoices, StartFramesAndLoopSections) {
  SndSample* sample = HardwareTone();
  ASSERT_NE(sample, nullptr);
  int handle = SndPlaySoundFrom(-1, sample, -1, -1, -1, nullptr, nullptr, 2205);
  EXPECT_GE(handle & 0xFFF, 16);
  EXPECT_EQ(SndGetChannelPosition(handle), 2205u);
  SndStopChannel(handle);
  ASSERT_TRUE(SndSetSampleLoopPoints(sample, 1000, 1999));
  handle = SndPlaySoundFrom(-1, sample, -1, -1, -1, nullptr, nullptr, 0);
  EXPECT_LT(handle & 0xFFF, 16);
  Render(8192);  // the mix reaches the loopback render a few blocks later
  for (int i = 0; i < 4; i++) {
    EXPECT_GT(Rms(Render(2048)).left, 1000);
    EXPECT_GE(SndGetChannelPosition(handle), 1000u);
    EXPECT_LE(SndGetChannelPosition(handle), 1999u);
  }
}

TEST_F(HardwareVoices, ALockThatOnlyReadsLeavesEightBitDataAsItWas) {
  const uint32_t mode = kSnd8Bits | kSndMono | kSndLoopNormal | kSndHardware;
  SndSample* sample = SndCreateSample(-1, 4410, mode, 44100, 255, 128, 128);
  ASSERT_NE(sample, nullptr);
  const std::vector<int8_t> dc(4410, 64);
  ASSERT_TRUE(SndUploadSample(sample, dc.data(), mode | kSndSigned));
  for (int pass = 0; pass < 3; pass++) {
    void *first, *second;
    uint32_t firstLength, secondLength;
    ASSERT_TRUE(SndLockSample(sample, 0, 4410, &first, &second, &firstLength, &secondLength));
    ASSERT_EQ(firstLength, 4410u);
    EXPECT_EQ(static_cast<int8_t*>(first)[100], 64) << "pass " << pass << ": signed, unchanged";
    ASSERT_TRUE(SndUnlockSample(sample, first, second, firstLength, secondLength));
  }
  ASSERT_GE(SndPlaySoundSimple(-1, sample), 0);
  Render(1024);
  const std::vector<int16_t> pcm = Render(4096);
  EXPECT_GT(pcm[2000], 4000) << "positive data plays positive";
}

TEST_F(HardwareVoices, CapabilitiesAndFallbackWithoutADevice) {
  SndShutdown();
  uint32_t flags = 0;
  ASSERT_TRUE(SndGetDriverCaps(0, &flags));
  EXPECT_EQ(flags, 1u | 2u | 16u);
  SndOpenAlLimitEffects(1);
  ASSERT_TRUE(SndGetDriverCaps(0, &flags));
  EXPECT_EQ(flags, 1u | 2u);
  SndOpenAlLimitEffects(0);
  ASSERT_TRUE(SndGetDriverCaps(0, &flags));
  EXPECT_EQ(flags, 1u);
  // No OpenAL device: the automatic output goes on without voices, and a hardware sample plays
  // as a software one.
  SndOpenAlUseTarget(kSndOpenAlMissing);
  SndSelectOutput(-1);
  ASSERT_TRUE(SndStartup(44100, 16, 0)) << SndGetError();
  EXPECT_NE(SndGetOutput(), 2);
  EXPECT_EQ(SndGetHardwareChannelCount(), 0);
  SndSample* sample = HardwareTone();
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(SndGetSampleMode(sample) & kSndHardware, 0u);
  EXPECT_GE(SndPlaySoundSimple(-1, sample), 0);
  EXPECT_TRUE(SndSetEnvironment(1, 1.0f, 2.0f, 0.5f)) << "kept, as on the no-sound output";
}

}  // namespace
