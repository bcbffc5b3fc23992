// The CD commands and the music commands on CD slots, over a generated .cue image on the
// no-sound output: the table on every path, loading before any other CD use, the play modes
// the music commands choose, freeing all music, and a CD that plays again after a restart.
#include <gtest/gtest.h>

#include "commands/commands.h"
#include "commands/sound_local.h"
#include "runtime/command_numbers.h"
#include "sound/cd/cd.h"
#include "tests/asm/command_call.h"
#include "tests/sound/cd_image.h"

namespace {

using qvasm::kIntResult;

class CdCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterMusicCommands());
    ASSERT_TRUE(RegisterCdCommands());
    SetSoundGlueOutput(0, true);
    InitSound();
    ASSERT_EQ(SoundGlue().soundOn, 1);
    calls.Run(kCdSetSource, {image.Cue()});
  }
  void TearDown() override {
    CloseMusic();
    CloseSound();
    SndSetCdSource("");
    SndUseSteppedClock(false);
    SetSoundGlueOutput(2, false);
    ClearCommandRegistry();
  }
  // Frames of 25 ms: the mixer runs, then the per-frame hook.
  void Frames(int count) {
    for (int i = 0; i < count; i++) {
      SndStepClock(25);
      SoundSyncHook();
    }
  }
  int32_t Query(int command) { return calls.IntResult(command, {kIntResult}); }
  int32_t Flag(int command, int music) { return calls.IntResult(command, {kIntResult, music}); }
  CdImage image;
  qvasm::CommandCaller calls;
};

TEST_F(CdCommandsTest, EveryCommandConsumesItsOperandsAndRaisesItsErrors) {
  calls.ExpectErrors({
      {kCdSetSource, {image.Path("missing.cue")}, 0},
      {kCdTrackCount, {kIntResult}, 0},
      {kMusicLoadCD, {1, 1}, 3502},  // no disc
      {kCdSetSource, {image.Cue()}, 0},
      {kMusicLoadCD, {0, 1}, 3502},
      {kMusicLoadCD, {5, 1}, 3502},
      {kMusicLoadCD, {-1, 1}, 3502},
      {kMusicLoadCD, {1, 33}, 3501},
      {kMusicLoadCD, {2, 1}, 0},     // the first CD use: the image opens for it
      {kMusicPause, {1}, 3507},
      {kMusicPlay, {1}, 0},
      {kMusicPause, {1}, 0},
      {kMusicResume, {1}, 0},
      {kMusicLoop, {1}, 0},
      {kMusicSetVolume, {1, 50}, 0},
      {kMusicSetLevel, {1, 300}, 0},
      {kMusicStop, {1}, 0},
      {kCdTrackCount, {kIntResult}, 0},
      {kCdCurrentTrack, {kIntResult}, 0},
      {kCdPosition, {kIntResult}, 0},
      {kCdTrackLength, {kIntResult, 2}, 0},
      {kCdTrackLength, {kIntResult, 9}, 0},
      {kMusicDelete, {1}, 0},
      {kMusicDelete, {1}, 3504},
  });
  EXPECT_EQ(Query(kCdTrackCount), 4);
  EXPECT_EQ(calls.IntResult(kCdTrackLength, {kIntResult, 1}), 1000);
  EXPECT_EQ(calls.IntResult(kCdTrackLength, {kIntResult, 0}), 0);
}

// Play runs the track once; loop plays it again at its end, until stopped.
TEST_F(CdCommandsTest, PlayAndLoopChooseTheCdModes) {
  calls.Run(kMusicLoadCD, {3, 1});
  calls.Run(kMusicPlay, {1});
  Frames(8);
  EXPECT_EQ(Query(kCdCurrentTrack), 3);
  EXPECT_NEAR(Query(kCdPosition), 200, 30);
  Frames(12);  // past 400 ms
  EXPECT_FALSE(SndIsCdPlaying());

  calls.Run(kMusicLoop, {1});
  Frames(40);  // two and a half passes
  EXPECT_TRUE(SndIsCdPlaying());
  EXPECT_EQ(Flag(kMusicLooping, 1), 1);
  EXPECT_LT(Query(kCdPosition), 400);
  calls.Run(kMusicStop, {1});
  EXPECT_FALSE(SndIsCdPlaying());
  EXPECT_EQ(calls.TakeError(), 0);
}

// Deactivation pauses a playing CD slot and activation resumes it where it was.
TEST_F(CdCommandsTest, DeactivationPausesTheCd) {
  calls.Run(kMusicLoadCD, {1, 2});
  calls.Run(kMusicPlay, {2});
  Frames(4);
  PauseMusicOnDeactivate();
  const int held = Query(kCdPosition);
  Frames(8);
  EXPECT_EQ(Query(kCdPosition), held);
  ResumeMusicOnActivate();
  Frames(4);
  EXPECT_NEAR(Query(kCdPosition), held + 100, 30);
}

// A resume that fails (the disc went away while paused) leaves the slot paused, quietly; once
// the disc is back, the resume goes through.
TEST_F(CdCommandsTest, AFailedResumeLeavesTheMusicPaused) {
  calls.Run(kMusicLoadCD, {2, 1});
  calls.Run(kMusicPlay, {1});
  calls.Run(kMusicPause, {1});
  calls.Run(kCdSetSource, {image.Path("missing.cue")});
  calls.Run(kMusicResume, {1});
  EXPECT_EQ(calls.TakeError(), 0);
  EXPECT_EQ(Flag(kMusicPaused, 1), 1);
  calls.Run(kCdSetSource, {image.Cue()});
  calls.Run(kMusicResume, {1});
  EXPECT_EQ(Flag(kMusicPaused, 1), 0);
  EXPECT_EQ(calls.TakeError(), 0);
}

// Freeing all music stops the CD for CD slots only: with none loaded the disc is not touched.
TEST_F(CdCommandsTest, FreeingAllMusicLeavesAnUnusedCdAlone) {
  FreeAllMusic();
  FreeAllMusic();
  EXPECT_EQ(SndGetCdCurrentTrack(), 0);  // never opened
  calls.Run(kMusicLoadCD, {2, 1});
  calls.Run(kMusicPlay, {1});
  FreeAllMusic();
  EXPECT_FALSE(SndIsCdPlaying());
  EXPECT_EQ(Flag(kMusicExist, 1), 0);
}

// The sound library's shut-down closes the CD; after a new start the disc opens again.
TEST_F(CdCommandsTest, TheCdPlaysAgainAfterARestart) {
  calls.Run(kMusicLoadCD, {1, 1});
  calls.Run(kMusicPlay, {1});
  CloseMusic();
  CloseSound();
  InitSound();
  calls.Run(kMusicLoadCD, {1, 1});
  calls.Run(kMusicPlay, {1});
  Frames(4);
  EXPECT_TRUE(SndIsCdPlaying());
  EXPECT_NEAR(Query(kCdPosition), 100, 30);
  EXPECT_EQ(calls.TakeError(), 0);
}

}  // namespace
