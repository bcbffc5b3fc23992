// CD audio on a generated image: what each play mode makes heard and when the player moves
// on, positions in milliseconds, pause, refused tracks, close and reopen, the cue-sheet
// reader's refusals, and the same tracks read through libcdio.
#include <cmath>
#include <cstdlib>

#include "platform/cd_drive.h"
#include "sound/cd/cd.h"
#include "sound/cd/cd_local.h"
#include "tests/sound/cd_image.h"
#include "tests/sound/sound_test_util.h"

namespace {

class CdAudio : public SteppedSound {
 protected:
  void SetUp() override {
    SteppedSound::SetUp();
    SndSetCdSource(image_.Cue().c_str());
  }
  void TearDown() override {
    SndSetCdSource("");
    SteppedSound::TearDown();
  }
  // Mixes `ms` (whole blocks) with the per-frame pump after each block; the mean left level
  // of the last block (track n plays at a level proportional to n).
  double Run(int ms) {
    double level = 0;
    for (int done = 0; done < ms; done += 25) {
      std::vector<int16_t> block = MixBlocks(1);
      SndCdUpdate();
      double sum = 0;
      for (size_t i = 0; i < block.size(); i += 2) sum += std::abs(block[i]);
      level = sum / double(block.size() / 2);
    }
    return level;
  }
  // The track heard now, by level (0 for silence).
  int Heard(double level) const { return int(std::lround(level / unit_)); }
  void MeasureUnit() {
    ASSERT_TRUE(SndPlayCdTrack(1));
    unit_ = Run(200);
    ASSERT_GT(unit_, 10);
    SndStopCd();
  }
  CdImage image_;
  double unit_ = 0;
};

TEST_F(CdAudio, OncePlaysTheTrackAndStops) {
  MeasureUnit();
  SndSetCdPlayMode(kSndCdOnce);
  ASSERT_TRUE(SndPlayCdTrack(2));
  EXPECT_EQ(Heard(Run(250)), 2);
  EXPECT_NEAR(SndGetCdTrackPosition(), 250, 30);
  EXPECT_TRUE(SndIsCdPlaying());
  Run(400);  // past the end of 506 ms
  EXPECT_FALSE(SndIsCdPlaying());
  EXPECT_EQ(SndGetCdCurrentTrack(), 2);
  EXPECT_EQ(Heard(Run(100)), 0);
}

TEST_F(CdAudio, LoopedPlaysTheTrackAgain) {
  MeasureUnit();
  SndSetCdPlayMode(kSndCdLooped);
  ASSERT_TRUE(SndPlayCdTrack(3));  // the MOTOROLA file: its level shows the bytes were swapped
  EXPECT_EQ(Heard(Run(300)), 3);
  Run(200);                        // the 400 ms track ends and starts again
  EXPECT_TRUE(SndIsCdPlaying());
  EXPECT_EQ(SndGetCdCurrentTrack(), 3);
  EXPECT_LT(SndGetCdTrackPosition(), 200);
  EXPECT_EQ(Heard(Run(100)), 3);
}

TEST_F(CdAudio, ContinuousPlaysOnAndStopsAfterTheLastAudioTrack) {
  MeasureUnit();
  SndSetCdPlayMode(kSndCdContinuous);
  ASSERT_TRUE(SndPlayCdTrack(2));
  Run(450);
  EXPECT_EQ(SndGetCdCurrentTrack(), 2);
  EXPECT_EQ(Heard(Run(150)), 3);  // the next file, with no gap in between
  EXPECT_EQ(SndGetCdCurrentTrack(), 3);
  EXPECT_NEAR(SndGetCdTrackPosition(), 600 - 506, 30);
  Run(500);                       // track 4 is data: the disc stops there
  EXPECT_FALSE(SndIsCdPlaying());
  EXPECT_EQ(Heard(Run(50)), 0);
  // A mode outside 0..3 plays on as continuous.
  SndSetCdPlayMode(7);
  ASSERT_TRUE(SndPlayCdTrack(1));
  Run(1100);
  EXPECT_EQ(SndGetCdCurrentTrack(), 2);
}

// Random mode walks the fixed shuffle order (the generator seeded with 0), skipping entries
// that are no audio track of the disc, and goes on for ever.
TEST_F(CdAudio, RandomFollowsTheShuffleOrderOverTheDiscsTracks) {
  uint16_t order[256];
  uint32_t state = 0;
  for (int i = 0; i < 256; i++) order[i] = uint16_t(i + 1);
  for (int i = 0; i < 256; i++) {
    state = state * 214013u + 2531011u;
    std::swap(order[i], order[int((state >> 16) & 0x7FFF) % 256]);
  }
  int index = 0;
  while (order[index] != 3) index++;
  std::vector<int> expected;
  for (int i = index + 1; expected.size() < 4; i++)
    if (order[i % 256] <= 3) expected.push_back(order[i % 256]);

  SndSetCdPlayMode(kSndCdRandom);
  ASSERT_TRUE(SndPlayCdTrack(3));
  std::vector<int> played;
  int last = 3;
  for (int ms = 0; ms < 5000 && played.size() < 4; ms += 25) {
    Run(25);
    ASSERT_TRUE(SndIsCdPlaying());
    if (SndGetCdCurrentTrack() != last || SndGetCdTrackPosition() < 25) {
      if (SndGetCdTrackPosition() < 25 && ms > 0) played.push_back(SndGetCdCurrentTrack());
      last = SndGetCdCurrentTrack();
    }
  }
  EXPECT_EQ(played, expected);
}

TEST_F(CdAudio, PositionsInMillisecondsHoldWhilePaused) {
  ASSERT_TRUE(SndPlayCdTrack(1));
  Run(300);
  EXPECT_NEAR(SndGetCdTrackPosition(), 300, 30);
  ASSERT_TRUE(SndPauseCd(true));
  EXPECT_TRUE(SndIsCdPaused());
  const int held = SndGetCdTrackPosition();
  EXPECT_EQ(Run(200), 0);
  EXPECT_EQ(SndGetCdTrackPosition(), held);
  ASSERT_TRUE(SndPauseCd(false));
  Run(100);
  EXPECT_NEAR(SndGetCdTrackPosition(), held + 100, 30);
}

TEST_F(CdAudio, TracksOutsideTheDiscAreRefused) {
  EXPECT_EQ(SndGetCdCurrentTrack(), 0);  // before the disc opened
  EXPECT_EQ(SndGetCdTrackCount(), 4);
  for (int track : {0, -1, 4, 5, 256}) EXPECT_FALSE(SndPlayCdTrack(track)) << track;
  EXPECT_FALSE(SndIsCdPlaying());
  EXPECT_EQ(SndGetCdTrackLength(1), 1000);
  EXPECT_EQ(SndGetCdTrackLength(2), 506);
  EXPECT_EQ(SndGetCdTrackLength(0), 0);
  EXPECT_EQ(SndGetCdTrackLength(5), 0);

  SndSetCdSource(image_.Path("missing.cue").c_str());
  EXPECT_EQ(SndGetCdTrackCount(), 0);
  EXPECT_FALSE(SndPlayCdTrack(1));
  EXPECT_FALSE(SndStopCd());
  EXPECT_EQ(SndGetCdVolume(), -1);
}

TEST_F(CdAudio, CloseAndReopen) {
  ASSERT_TRUE(SndPlayCdTrack(2));
  Run(100);
  EXPECT_TRUE(SndCloseCd());
  EXPECT_FALSE(SndIsCdPlaying());
  EXPECT_EQ(SndGetCdCurrentTrack(), 0);
  EXPECT_FALSE(SndCloseCd());
  ASSERT_TRUE(SndPlayCdTrack(1));  // opens the disc again
  EXPECT_GT(Run(100), 10);
  EXPECT_EQ(SndGetCdCurrentTrack(), 1);
  // The library's shut-down closes it while it plays; a new start-up opens it on demand.
  SndShutdown();
  ASSERT_TRUE(StartSteppedLibrary());
  EXPECT_EQ(SndGetCdCurrentTrack(), 0);
  ASSERT_TRUE(SndPlayCdTrack(1));
  EXPECT_GT(Run(100), 10);
}

TEST_F(CdAudio, VolumeScalesTheTrack) {
  MeasureUnit();
  EXPECT_EQ(SndGetCdVolume(), 255);
  SndSetCdVolume(300);
  EXPECT_EQ(SndGetCdVolume(), 255);
  ASSERT_TRUE(SndPlayCdTrack(2));
  SndSetCdVolume(51);
  EXPECT_NEAR(Run(100) / unit_, 2.0 * 51 / 255, 0.1);
}

// The image reader and libcdio's agree on the one-file sheet: track sizes and sector bytes.
TEST_F(CdAudio, LibcdioReadsTheSameTracks) {
  PlatformCdDrive* drive = PlatformCdOpen(image_.SingleFileCue().c_str());
  ASSERT_NE(drive, nullptr) << "libcdio did not open the image";
  SndCdDisc* disc = SndOpenCdDisc(image_.SingleFileCue());
  ASSERT_NE(disc, nullptr);
  ASSERT_EQ(PlatformCdTrackCount(drive), 2);
  for (int track = 1; track <= 2; track++) {
    PlatformCdTrack info;
    ASSERT_TRUE(PlatformCdTrackInfo(drive, track, &info));
    EXPECT_TRUE(info.audio);
    std::vector<int16_t> ours(2352 / 2 * 4), theirs(2352 / 2 * 4);
    ASSERT_EQ(SndReadCdSectors(disc, track, 0, 4, ours.data()), 4);
    ASSERT_TRUE(PlatformCdReadAudio(drive, info.firstSector, 4, theirs.data()));
    EXPECT_EQ(ours, theirs) << "track " << track;
  }
  SndCloseCdDisc(disc);
  PlatformCdClose(drive);
}

TEST(CueSheet, RefusesWhatCannotBePlayed) {
  const struct {
    const char* text;
    const char* reason;
  } cases[] = {
      {"", "no tracks"},
      {"TRACK 01 AUDIO\nINDEX 01 00:00:00\n", "before any FILE"},
      {"FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\n", "no INDEX 01"},
      {"FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n", "no INDEX 01"},
      {"FILE \"a.bin\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", "BINARY"},
      {"FILE \"a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", "FILE needs"},
      {"FILE \"a.bin\" BINARY\nTRACK 00 AUDIO\nINDEX 01 00:00:00\n", "1..99"},
      {"FILE \"a.bin\" BINARY\nTRACK 100 AUDIO\nINDEX 01 00:00:00\n", "1..99"},
      {"FILE \"a.bin\" BINARY\nTRACK 01 VIDEO\nINDEX 01 00:00:00\n", "mode"},
      {"FILE \"a.bin\" BINARY\nTRACK 02 AUDIO\nINDEX 01 00:00:00\nTRACK 01 AUDIO\nINDEX 01 00:01:00\n", "rise"},
      {"FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:60:00\n", "mm:ss:ff"},
      {"FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:75\n", "mm:ss:ff"},
      {"FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00\n", "mm:ss:ff"},
      {"FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:02:00\nTRACK 02 AUDIO\nINDEX 01 00:01:00\n",
       "previous track"},
      {"FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 00 00:02:00\nINDEX 01 00:01:00\n", "before INDEX 00"},
  };
  for (const auto& c : cases) {
    SndCueSheet sheet;
    std::string error;
    EXPECT_FALSE(SndReadCueSheet(c.text, std::strlen(c.text), &sheet, &error)) << c.text;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << " -> " << error;
  }
  const std::string good = "\xEF\xBB\xBFREM x\rfile \"my disc.bin\" binary\r  track 1 audio\r    index 1 00:00:00\r";
  SndCueSheet sheet;
  std::string error;
  ASSERT_TRUE(SndReadCueSheet(good.data(), good.size(), &sheet, &error)) << error;
  ASSERT_EQ(sheet.files.size(), 1u);
  EXPECT_EQ(sheet.files[0].name, "my disc.bin");
  ASSERT_EQ(sheet.tracks.size(), 1u);
  EXPECT_TRUE(sheet.tracks[0].audio);
}

}  // namespace
