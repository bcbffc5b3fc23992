// Music commands over the song engine on the no-sound output: the family's table on every
// path (a silent one-pattern MOD made here), the pause rules and deactivation.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/sound_local.h"
#include "runtime/command_numbers.h"
#include "sound/songs/songs.h"
#include "tests/asm/command_call.h"
#include "tests/sound/midi_fixtures.h"

namespace {

using qvasm::kIntResult;
namespace fs = std::filesystem;

class MusicCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterMusicCommands());
    folder_ = fs::temp_directory_path() / ("qv-music-commands-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    SetSoundGlueOutput(0, true);
    InitSound();
    ASSERT_EQ(SoundGlue().soundOn, 1);
  }
  void TearDown() override {
    CloseMusic();
    CloseSound();
    SndUseSteppedClock(false);
    SetSoundGlueOutput(2, false);
    ClearCommandRegistry();
    fs::remove_all(folder_);
  }
  // A four-channel MOD of one empty pattern and no samples.
  std::string Mod() {
    std::vector<char> bytes(1084 + 1024, 0);
    bytes[950] = 1;  // song length: one order
    std::copy_n("M.K.", 4, bytes.begin() + 1080);
    const std::string path = (folder_ / "song.mod").string();
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  // A MIDI song of one quarter-second note (General MIDI's piano).
  std::string Midi() {
    const std::string path = (folder_ / "song.mid").string();
    midi_fixtures::WriteFile(path, midi_fixtures::OneNote(0, 48));
    return path;
  }
  int32_t Query(int command, int music) { return calls.IntResult(command, {kIntResult, music}); }
  fs::path folder_;
  qvasm::CommandCaller calls;
};

TEST_F(MusicCommandsTest, EveryCommandConsumesItsOperandsAndRaisesItsErrors) {
  const std::string mod = Mod();
  calls.ExpectErrors({
      {kMusicLoad, {mod, 0}, 3501},
      {kMusicLoad, {mod, 33}, 3501},
      {kMusicLoad, {(folder_ / "missing.xm").string(), 2}, 3502},
      {kMusicLoad, {mod, 1}, 0},
      {kMusicPause, {1}, 3507},
      {kMusicPlay, {1}, 0},
      {kMusicPlay, {2}, 3504},
      {kMusicPause, {1}, 0},
      {kMusicPause, {1}, 0},
      {kMusicResume, {1}, 0},
      {kMusicResume, {1}, 0},
      {kMusicResume, {3}, 3504},
      {kMusicLoop, {1}, 0},
      {kMusicLoop, {40}, 3501},
      {kMusicSetVolume, {1, 50}, 0},
      {kMusicSetVolume, {2, 50}, 3502},
      {kMusicSetLevel, {1, 200}, 0},
      {kMusicSetLevel, {2, 200}, 3502},
      {kMusicSetLevel, {0, 200}, 3501},
      {kMusicExist, {kIntResult, 2}, 0},
      {kMusicExist, {kIntResult, 33}, 3501},
      {kMusicPlaying, {kIntResult, 1}, 0},
      {kMusicPaused, {kIntResult, 1}, 0},
      {kMusicLooping, {kIntResult, 1}, 0},
      {kMusicLooping, {kIntResult, 2}, 3504},
      {kMusicStop, {1}, 0},
      {kMusicStop, {2}, 3504},
      {kMusicLoadCD, {1, 3}, 3502},
      {kMusicLoadCD, {1, 0}, 3501},
      {kMusicDelete, {1}, 0},
      {kMusicDelete, {1}, 3504},
  });
  EXPECT_EQ(Query(kMusicExist, 1), 0);
}

// Activation resumes music the deactivation paused, never music the program paused.
TEST_F(MusicCommandsTest, ActivationResumesOnlyWhatDeactivationPaused) {
  const std::string mod = Mod();
  calls.Run(kMusicLoad, {mod, 1});
  calls.Run(kMusicLoad, {mod, 2});
  calls.Run(kMusicLoop, {1});
  calls.Run(kMusicLoop, {2});
  calls.Run(kMusicPause, {2});
  EXPECT_EQ(Query(kMusicPaused, 2), 1);
  PauseMusicOnDeactivate();
  ResumeMusicOnActivate();
  EXPECT_EQ(Query(kMusicPaused, 1), 0);
  EXPECT_EQ(Query(kMusicPaused, 2), 1);
  EXPECT_EQ(Query(kMusicLooping, 1), 1);
  EXPECT_EQ(calls.TakeError(), 0);
}

// Without the sound library a program still runs: nothing loads, queries answer 0, nothing is
// raised.
TEST_F(MusicCommandsTest, WithTheLibraryOffCommandsAnswerZeroAndRaiseNothing) {
  CloseSound();
  SetSoundGlueOutput(0, true);
  SoundGlue().soundOn = 0;
  const std::string mod = Mod();
  calls.ExpectErrors({
      {kMusicLoad, {mod, 1}, 0},
      {kMusicPlay, {1}, 0},
      {kMusicLoop, {1}, 0},
      {kMusicPause, {1}, 0},
      {kMusicResume, {1}, 0},
      {kMusicSetVolume, {1, 50}, 0},
      {kMusicSetLevel, {1, 50}, 0},
      {kMusicStop, {1}, 0},
      {kMusicDelete, {1}, 0},
  });
  for (int command : {kMusicExist, kMusicPlaying, kMusicPaused, kMusicLooping}) {
    EXPECT_EQ(Query(command, 1), 0) << command;
    EXPECT_EQ(calls.TakeError(), 0) << command;
  }
}

// A looping song starts again once it has finished, and only then; a song played once, or
// one stopped, stays as it is. Shown on MIDI songs, which finish on their own.
TEST_F(MusicCommandsTest, LoopingRestartsOnlyAFinishedSong) {
  const std::string midi = Midi();
  calls.Run(kMusicLoad, {midi, 1});
  calls.Run(kMusicLoad, {midi, 2});
  ASSERT_EQ(calls.TakeError(), 0);
  SndSong* looped = MusicSongAt(1);
  SndSong* once = MusicSongAt(2);
  ASSERT_NE(looped, nullptr);
  calls.Run(kMusicLoop, {1});
  calls.Run(kMusicPlay, {2});
  UpdateMusicLoops();
  EXPECT_FALSE(SndIsSongFinished(looped));  // not finished: not restarted
  for (int ms = 0; ms < 400; ms++) SndStepClock(1);
  EXPECT_TRUE(SndIsSongFinished(looped));
  EXPECT_TRUE(SndIsSongFinished(once));
  UpdateMusicLoops();
  EXPECT_FALSE(SndIsSongFinished(looped));
  EXPECT_TRUE(SndIsSongFinished(once));
  EXPECT_EQ(Query(kMusicPlaying, 1), 1);
  calls.Run(kMusicStop, {1});
  for (int ms = 0; ms < 400; ms++) SndStepClock(1);
  UpdateMusicLoops();
  EXPECT_FALSE(SndIsSongPlaying(looped));
  EXPECT_EQ(Query(kMusicLooping, 1), 0);
  EXPECT_EQ(calls.TakeError(), 0);
}

// The music's position is the time heard since the play: 0 before it, growing with the
// clock, going on past a song's end (the song goes on; music playing stays 1), 0 after stop.
TEST_F(MusicCommandsTest, ThePositionCountsTheTimeHeardSinceThePlay) {
  for (const std::string& file : {Mod(), Midi()}) {
    SCOPED_TRACE(file);
    calls.Run(kMusicLoad, {file, 1});
    ASSERT_EQ(calls.TakeError(), 0);
    EXPECT_EQ(Query(kMusicPosition, 1), 0);
    calls.Run(kMusicPlay, {1});
    for (int ms = 0; ms < 300; ms++) SndStepClock(1);
    const int early = Query(kMusicPosition, 1);
    EXPECT_GT(early, 100);
    EXPECT_LE(early, 300);
    for (int ms = 0; ms < 2700; ms++) SndStepClock(1);  // past the end of either song
    EXPECT_GT(Query(kMusicPosition, 1), early + 2000);
    EXPECT_EQ(Query(kMusicPlaying, 1), 1);
    calls.Run(kMusicStop, {1});
    EXPECT_EQ(Query(kMusicPosition, 1), 0);
    calls.ExpectErrors({{kMusicPosition, {kIntResult, 2}, 3504}, {kMusicPosition, {kIntResult, 33}, 3501}});
  }
}

// SETUP.INI's MIDI keys: MIDISYNTH=none refuses MIDI songs; MIDISOUNDFONT names the soundfont,
// a relative path beside SETUP.INI.
TEST_F(MusicCommandsTest, SetupKeysChooseTheSynthesizerAndItsSoundfont) {
  const std::string midi = Midi();
  const std::string setup = (folder_ / "SETUP.INI").string();
  std::ofstream(setup) << "[SETTINGS]\r\nMIDISYNTH=none\r\n";
  ChooseMidiSynth(folder_.string());
  calls.ExpectErrors({{kMusicLoad, {midi, 1}, 3502}});
  std::ofstream(setup) << "[SETTINGS]\r\nMIDISOUNDFONT=fonts/tiny.sf2\r\n";
  ChooseMidiSynth(folder_.string());
  calls.ExpectErrors({{kMusicLoad, {midi, 1}, 3502}});
  fs::create_directories(folder_ / "fonts");
  midi_fixtures::WriteFile((folder_ / "fonts" / "tiny.sf2").string(), midi_fixtures::TinySoundfont());
  calls.ExpectErrors({{kMusicLoad, {midi, 1}, 0}, {kMusicPlay, {1}, 0}});
  EXPECT_EQ(Query(kMusicPlaying, 1), 1);
  SndSetMidiSynth("fluidsynth", "/usr/share/sounds/sf2/TimGM6mb.sf2");
}

}  // namespace
