// Sound commands over the sound library on the no-sound output with its stepped clock: the
// family's table on every path, playing and its flags, the exact volume and pan ends,
// deactivation, clones, saving WAV files in the sample's own format and 3D placement.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <utility>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/sound_local.h"
#include "graphics2d/graphics2d.h"
#include "runtime/command_numbers.h"
#include "sound/sound_local.h"
#include "tests/asm/command_call.h"
#include "tests/small_disk.h"

namespace {

using qvasm::kFloatResult;
using qvasm::kIntResult;
namespace fs = std::filesystem;

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; i++) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A PCM WAV file image of the given frames (interleaved values, unsigned for 8 bits).
std::vector<uint8_t> WavImage(int channels, int bits, int rate, const std::vector<int>& values) {
  std::vector<uint8_t> data;
  for (int v : values) PutLe(data, static_cast<uint32_t>(v), bits / 8);
  std::vector<uint8_t> out;
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  PutLe(out, static_cast<uint32_t>(36 + data.size()), 4);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);
  PutLe(out, static_cast<uint32_t>(channels), 2);
  PutLe(out, static_cast<uint32_t>(rate), 4);
  PutLe(out, static_cast<uint32_t>(rate * channels * bits / 8), 4);
  PutLe(out, static_cast<uint32_t>(channels * bits / 8), 2);
  PutLe(out, static_cast<uint32_t>(bits), 2);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  PutLe(out, static_cast<uint32_t>(data.size()), 4);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class SoundCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterSoundCommands());
    folder_ = fs::temp_directory_path() / ("qv-sound-commands-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    StartLibrary(true);
  }
  void TearDown() override {
    CloseSound();
    SndUseSteppedClock(false);
    SetSoundGlueOutput(2, false);
    ClearCommandRegistry();
    fs::remove_all(folder_);
  }
  // The library on the no-sound output with the stepped clock, or not started at all.
  void StartLibrary(bool started) {
    CloseSound();
    SetSoundGlueOutput(0, true);
    if (started) InitSound();
    ASSERT_EQ(SoundGlue().soundOn, started ? 1 : 0);
  }
  std::string File(const char* name, const std::vector<uint8_t>& bytes) {
    const std::string path = (folder_ / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  // A 16-bit mono tone of `frames` frames at 22050 Hz.
  std::string Tone(int frames = 2205) {
    std::vector<int> values;
    for (int i = 0; i < frames; i++) values.push_back((i % 50 < 25 ? 8000 : -8000) & 0xFFFF);
    return File("tone.wav", WavImage(1, 16, 22050, values));
  }
  int32_t Query(int command, int sound) { return calls.IntResult(command, {kIntResult, sound}); }
  static int Channel(int sound) { return SoundSlotAt(sound).channel; }
  // The library's record of a channel (the section it loops is not in the API).
  static const SndChannel* ChannelRecord(int handle) { return &gSnd.channels[handle & 0xFFF]; }
  static void Mix(int ms) {
    for (int i = 0; i < ms; i++) SndStepClock(1);
  }
  fs::path folder_;
  qvasm::CommandCaller calls;
};

// Every command number once on each of its paths, with the operands it takes: the number it
// raises (0 = none); the caller checks the operand pointer after each.
TEST_F(SoundCommandsTest, EveryCommandConsumesItsOperandsAndRaisesItsErrors) {
  const std::string tone = Tone();
  const std::string missing = (folder_ / "missing.wav").string();
  const std::string saved = (folder_ / "saved.wav").string();
  calls.ExpectErrors({
      {kSoundLoad, {tone, 0}, 3001},
      {kSoundLoad, {tone, 1026}, 3001},
      {kSoundLoad, {missing, 1}, 3002},
      {kSoundLoad, {tone, 1}, 0},
      {kSoundLoadWithFlag, {tone, 2, 7}, 0},
      {kSoundLoadWithFlag, {missing, 1026, 7}, 3001},
      {kSoundLoad3D, {tone, 3}, 0},
      {kSoundLoad3D, {missing, 4}, 3002},
      {kSoundLoad3D, {tone, -1}, 3001},
      {kSoundDelete, {9}, 3004},
      {kSoundDelete, {0}, 3001},
      {kSoundPlay, {1}, 0},
      {kSoundPlay, {9}, 3004},
      {kSoundPlayFrom, {1, 100}, 0},
      {kSoundPlayFrom, {2000, 100}, 3001},
      {kSoundLoop, {1}, 0},
      {kSoundLoopFrom, {1, 5}, 0},
      {kSoundLoopRange, {1, 5, 9}, 0},
      {kSoundLoopRangeFrom, {1, 5, 9, 2}, 0},
      {kSoundLoopRangeFrom, {9, 5, 9, 2}, 3004},
      {kSoundPause, {1}, 0},
      {kSoundResume, {1}, 0},
      {kSoundPause, {9}, 3004},
      {kSoundStop, {1}, 0},
      {kSoundStop, {1030}, 3001},
      {kSoundSetVolume, {1, 50}, 0},
      {kSoundSetVolume, {1, 101}, 3005},
      {kSoundSetVolume, {1, -1}, 3005},
      {kSoundSetVolume, {9, 500}, 3004},
      {kSoundSetSpeed, {1, 22050}, 0},
      {kSoundSetSpeed, {1, 99}, 3006},
      {kSoundSetSpeed, {1, 100001}, 3006},
      {kSoundSetPan, {1, -10000}, 0},
      {kSoundSetPan, {1, 10001}, 3007},
      {kSoundPosition, {3, 1.0f, 2.0f, 3.0f}, 0},
      {kSoundPosition, {0, 1.0f, 2.0f, 3.0f}, 3001},
      {kSoundListenerPosition, {1.0f, 2.0f, 3.0f}, 0},
      {kSoundListenerRotate, {0.0f, 90.0f, 0.0f}, 0},
      {kSoundListenerScale, {100.0f}, 0},
      {kSoundClone, {5, 1}, 0},
      {kSoundClone, {5, 5}, 3023},
      {kSoundClone, {6, 9}, 3022},
      {kSoundClone, {0, 1}, 3001},
      {kSoundClone, {6, 1026}, 3001},
      {kSoundSave, {saved, 1}, 0},
      {kSoundSave, {saved, 9}, 3008},
      {kSoundSave, {saved, 0}, 3001},
      {kSoundRecord, {0}, 3001},
      {kSoundRecordFor, {1026, 2}, 3001},
      {kSoundStopRecording, {}, 0},
      {kSoundSetEnvironment, {3}, 0},
      {kSoundUnsupported3041, {1}, 3201},
      {kSoundLoadUnsupported3042, {tone, 1}, 3003},
      {kSoundLoadUnsupported3042, {tone, 8}, 3201},
      {kSoundLoadUnsupported3042, {tone, 0}, 3001},
      {kSoundUnsupported3043, {1, 2}, 3201},
      {kSoundUnsupported3046, {1}, 3201},
      {kSoundExist, {kIntResult, 9}, 0},
      {kSoundExist, {kIntResult, 0}, 3001},
      {kSoundPlaying, {kIntResult, 1}, 0},
      {kSoundPlaying, {kIntResult, 9}, 3004},
      {kSoundPaused, {kIntResult, 1}, 0},
      {kSoundLooping, {kIntResult, 1}, 0},
      {kSoundVolume, {kIntResult, 1}, 0},
      {kSoundSpeed, {kIntResult, 1}, 0},
      {kSoundPan, {kIntResult, 1}, 0},
      {kSoundIs3D, {kIntResult, 3}, 0},
      {kSoundIs3D, {kIntResult, 9}, 3004},
      {kSoundPositionX, {kFloatResult, 3}, 0},
      {kSoundPositionY, {kFloatResult, 3}, 0},
      {kSoundPositionZ, {kFloatResult, 1026}, 3001},
      {kSoundListenerX, {kFloatResult}, 0},
      {kSoundListenerY, {kFloatResult}, 0},
      {kSoundListenerZ, {kFloatResult}, 0},
      {kSoundListenerAngleX, {kFloatResult}, 0},
      {kSoundListenerAngleY, {kFloatResult}, 0},
      {kSoundListenerAngleZ, {kFloatResult}, 0},
      {kSoundDelete, {1}, 0},
  });
  EXPECT_EQ(Query(kSoundIs3D, 3), 1);
  EXPECT_EQ(Query(kSoundVolume, 5), 100);
  EXPECT_FLOAT_EQ(calls.Run(kSoundPositionY, {kFloatResult, 3})[0]->asFloat, 2.0f);
  EXPECT_FLOAT_EQ(calls.Run(kSoundListenerZ, {kFloatResult})[0]->asFloat, 3.0f);
  EXPECT_FLOAT_EQ(calls.Run(kSoundListenerAngleY, {kFloatResult})[0]->asFloat, 90.0f);
  // The clone keeps the sample alive after its owner went.
  EXPECT_EQ(Query(kSoundExist, 1), 0);
  EXPECT_EQ(Query(kSoundExist, 5), 1);
  EXPECT_NE(SoundSlotAt(5).sample, nullptr);
  EXPECT_EQ(SoundSlotAt(5).ownsSample, 1);
}

// Without the library a program still runs: loads do nothing, queries answer 0, nothing raised.
TEST_F(SoundCommandsTest, WithTheLibraryOffCommandsWorkOnTheSlotsQuietly) {
  StartLibrary(false);
  const std::string tone = Tone();
  calls.ExpectErrors({
      {kSoundLoad, {tone, 1}, 0},
      {kSoundLoad3D, {tone, 2}, 0},
      {kSoundPlay, {1}, 0},
      {kSoundSetVolume, {1, 500}, 0},
      {kSoundClone, {1, 1}, 0},
      {kSoundSave, {(folder_ / "x.wav").string(), 1}, 0},
      {kSoundRecord, {1}, 0},
      {kSoundPlaying, {kIntResult, 1}, 0},
  });
  EXPECT_EQ(Query(kSoundExist, 1), 0);
  EXPECT_EQ(Query(kSoundExist, 2), 0);
  EXPECT_FALSE(fs::exists(folder_ / "x.wav"));
}

TEST_F(SoundCommandsTest, PlayingEndsOnItsOwnAndLoopingGoesOn) {
  const std::string tone = Tone(2205);  // 100 ms at 22050 Hz
  calls.Run(kSoundLoad, {tone, 1});
  calls.Run(kSoundLoad, {tone, 2});
  EXPECT_EQ(Query(kSoundSpeed, 1), 22050);
  calls.Run(kSoundPlay, {1});
  calls.Run(kSoundLoop, {2});
  EXPECT_EQ(Query(kSoundPlaying, 1), 1);
  EXPECT_EQ(Query(kSoundLooping, 2), 1);
  Mix(400);
  EXPECT_EQ(Query(kSoundPlaying, 1), 0);
  EXPECT_EQ(Query(kSoundPlaying, 2), 1);
  EXPECT_TRUE(SndIsChannelPlaying(Channel(2)));
  calls.Run(kSoundStop, {2});
  EXPECT_EQ(Query(kSoundPlaying, 2), 0);
  EXPECT_EQ(Query(kSoundLooping, 2), 0);
  EXPECT_EQ(calls.TakeError(), 0);
}

// The play position: milliseconds into the sound at its own rate, also when it plays at
// twice the speed; 0 once it has ended or been stopped.
TEST_F(SoundCommandsTest, ThePlayPositionIsTheTimeIntoTheSound) {
  const std::string tone = Tone(22050);  // one second at 22050 Hz
  calls.Run(kSoundLoad, {tone, 1});
  EXPECT_EQ(Query(kSoundPlayPosition, 1), 0);
  calls.Run(kSoundPlay, {1});
  Mix(300);
  const int at = Query(kSoundPlayPosition, 1);
  EXPECT_GE(at, 200);
  EXPECT_LE(at, 400);
  calls.Run(kSoundSetSpeed, {1, 44100});
  Mix(200);
  EXPECT_GE(Query(kSoundPlayPosition, 1), at + 300);  // twice as far in the sound as in time
  Mix(1000);
  EXPECT_EQ(Query(kSoundPlayPosition, 1), 0);  // ended
  calls.Run(kSoundLoop, {1});
  Mix(300);
  EXPECT_GT(Query(kSoundPlayPosition, 1), 0);
  calls.Run(kSoundStop, {1});
  EXPECT_EQ(Query(kSoundPlayPosition, 1), 0);
  calls.ExpectErrors({{kSoundPlayPosition, {kIntResult, 2}, 3004}, {kSoundPlayPosition, {kIntResult, 0}, 3001}});
}

// 100% is the library's full 255 and 50% its 127; the pan range reaches both library ends.
TEST_F(SoundCommandsTest, VolumeAndPanMapExactlyOntoTheLibraryRange) {
  const struct {
    int percent, library;
  } volumes[] = {{100, 255}, {50, 127}, {0, 0}, {1, 2}};
  for (const auto& v : volumes) EXPECT_EQ(SoundVolumeToLibrary(v.percent), v.library) << v.percent;
  const struct {
    int pan, library;
  } pans[] = {{-10000, 0}, {0, 128}, {10000, 255}, {5000, 191}};
  for (const auto& p : pans) EXPECT_EQ(SoundPanToLibrary(p.pan), p.library) << p.pan;

  calls.Run(kSoundLoad, {Tone(), 1});
  calls.Run(kSoundLoop, {1});
  calls.Run(kSoundSetVolume, {1, 100});
  EXPECT_EQ(SndGetChannelVolume(Channel(1)), 255);
  calls.Run(kSoundSetVolume, {1, 50});
  EXPECT_EQ(SndGetChannelVolume(Channel(1)), 127);
  calls.Run(kSoundSetPan, {1, 10000});
  EXPECT_EQ(SndGetChannelPan(Channel(1)), 255);
  calls.Run(kSoundSetPan, {1, -10000});
  EXPECT_EQ(SndGetChannelPan(Channel(1)), 0);
  // The volume and the pan set before a play are the ones the next play uses, and the pan
  // query says so; a load goes back to the sample's own pan (centre for mono).
  calls.Run(kSoundSetVolume, {1, 100});
  calls.Run(kSoundStop, {1});
  calls.Run(kSoundSetPan, {1, -10000});
  calls.Run(kSoundPlay, {1});
  EXPECT_EQ(SndGetChannelVolume(Channel(1)), 255);
  EXPECT_EQ(SndGetChannelPan(Channel(1)), 0);
  EXPECT_EQ(Query(kSoundPan, 1), -10000);
  calls.Run(kSoundLoopFrom, {1, 100});
  EXPECT_EQ(SndGetChannelPan(Channel(1)), 0);
  calls.Run(kSoundLoad, {Tone(), 1});
  calls.Run(kSoundPlay, {1});
  EXPECT_EQ(SndGetChannelPan(Channel(1)), 128);
  EXPECT_EQ(Query(kSoundPan, 1), 0);
}

// Positions, starts and ends are frames of the sound, clamped to it: where each command's
// channel starts and the section it loops (all of the sound for a play once or a plain loop).
TEST_F(SoundCommandsTest, PlayAndLoopFramesAreClampedToTheSound) {
  calls.Run(kSoundLoad, {Tone(22050), 1});
  const uint32_t last = 22049;
  const struct {
    const char* name;
    int command;
    std::initializer_list<qvasm::Operand> operands;
    uint32_t from, start, end;
  } cases[] = {
      {"play", kSoundPlay, {1}, 0, 0, last},
      {"play from three quarters", kSoundPlayFrom, {1, 16537}, 16537, 0, last},
      {"play from before the start", kSoundPlayFrom, {1, -5}, 0, 0, last},
      {"play from past the end", kSoundPlayFrom, {1, 99999}, last, 0, last},
      {"loop", kSoundLoop, {1}, 0, 0, last},
      {"loop from a start", kSoundLoopFrom, {1, 1000}, 1000, 1000, last},
      {"loop a section", kSoundLoopRange, {1, 1000, 2000}, 1000, 1000, 2000},
      {"loop a section from before it", kSoundLoopRangeFrom, {1, 1000, 2000, 500}, 500, 1000, 2000},
      {"loop a section from past it", kSoundLoopRangeFrom, {1, 1000, 2000, 5000}, 1000, 1000, 2000},
      {"loop a section from before the sound", kSoundLoopRangeFrom, {1, 1000, 2000, -1}, 0, 1000, 2000},
      {"end before the start", kSoundLoopRange, {1, 2000, 1000}, 2000, 2000, last},
      {"end past the sound", kSoundLoopRange, {1, -7, 99999}, 0, 0, last},
      {"start past the sound", kSoundLoopRange, {1, 30000, 40000}, 0, 0, last},
      {"loop after a section", kSoundLoop, {1}, 0, 0, last},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    calls.Run(c.command, c.operands);
    EXPECT_EQ(calls.TakeError(), 0);
    EXPECT_EQ(SndGetChannelPosition(Channel(1)), c.from);
    const SndChannel* channel = ChannelRecord(Channel(1));
    EXPECT_EQ(channel->loopStart, c.start);
    EXPECT_EQ(channel->loopStart + channel->loopLength - 1, c.end);
    EXPECT_EQ(channel->loopMode, c.command == kSoundPlay || c.command == kSoundPlayFrom ? kSndLoopOff : kSndLoopNormal);
  }
}

// What the mixer does with them: a sound played from three quarters in ends after the last
// quarter; a section goes on repeating within its frames while a clone of the sound plays the
// whole sample once; a plain loop of a file with its own sampler loop repeats that loop.
TEST_F(SoundCommandsTest, PositionsAndSectionsAreWhatPlays) {
  calls.Run(kSoundLoad, {Tone(22050), 1});  // one second
  calls.Run(kSoundClone, {2, 1});
  calls.Run(kSoundPlayFrom, {1, 16537});
  Mix(400);
  EXPECT_EQ(Query(kSoundPlaying, 1), 0);
  calls.Run(kSoundLoopRange, {1, 11025, 13000});
  calls.Run(kSoundPlay, {2});
  uint32_t furthest = 0;
  for (int i = 0; i < 20; i++) {
    Mix(50);
    const uint32_t at = SndGetChannelPosition(Channel(1));
    EXPECT_GE(at, 11025u);
    EXPECT_LE(at, 13000u);
    if (Query(kSoundPlaying, 2)) furthest = std::max(furthest, SndGetChannelPosition(Channel(2)));
  }
  EXPECT_EQ(Query(kSoundPlaying, 1), 1);
  EXPECT_GT(furthest, 18000u);  // the clone went on past the section's end

  std::vector<int> values(4000, 0x1000);
  std::vector<uint8_t> looped = WavImage(1, 16, 22050, values);
  std::vector<uint8_t> sampler(8 + 60, 0);
  std::memcpy(sampler.data(), "smpl", 4);
  sampler[4] = 60;
  sampler[8 + 28] = 1;  // one loop
  const uint32_t loop[2] = {1000, 1999};
  std::memcpy(sampler.data() + 8 + 44, loop, 8);
  looped.insert(looped.end(), sampler.begin(), sampler.end());
  const uint32_t riffSize = static_cast<uint32_t>(looped.size() - 8);
  std::memcpy(looped.data() + 4, &riffSize, 4);
  calls.Run(kSoundLoad, {File("looped.wav", looped), 3});
  calls.Run(kSoundLoopRange, {3, 10, 20});
  calls.Run(kSoundLoop, {3});
  Mix(500);
  const uint32_t at = SndGetChannelPosition(Channel(3));
  EXPECT_GE(at, 1000u);
  EXPECT_LE(at, 1999u);
  EXPECT_EQ(calls.TakeError(), 0);
}

// 32 sounds play at once; the 33rd takes the voice of the sound started longest ago, unless
// that one was loaded to be kept (load sound's flag), when the next one gives way instead.
TEST_F(SoundCommandsTest, ThirtyTwoSoundsPlayAtOnceAndTheNextTakesTheOldest) {
  const std::string tone = Tone();
  for (int kept : {0, 1}) {
    SCOPED_TRACE(kept);
    calls.Run(kSoundLoadWithFlag, {tone, 1, 1});
    if (!kept) calls.Run(kSoundLoad, {tone, 1});
    for (int n = 2; n <= 33; n++) calls.Run(kSoundLoad, {tone, n});
    for (int n = 1; n <= 33; n++) calls.Run(kSoundLoop, {n});
    const int gone = kept ? 2 : 1;
    for (int n = 1; n <= 33; n++) EXPECT_EQ(IsSoundPlaying(n), n != gone) << n;
    for (int n = 1; n <= 33; n++) calls.Run(kSoundStop, {n});
  }
  EXPECT_EQ(calls.TakeError(), 0);
}

// Activation resumes what the deactivation paused, never a sound the program paused itself.
TEST_F(SoundCommandsTest, ActivationResumesOnlyWhatDeactivationPaused) {
  const std::string tone = Tone();
  calls.Run(kSoundLoad, {tone, 1});
  calls.Run(kSoundLoad, {tone, 2});
  calls.Run(kSoundLoop, {1});
  calls.Run(kSoundLoop, {2});
  calls.Run(kSoundPause, {2});
  PauseSoundsOnDeactivate();
  EXPECT_TRUE(SndGetChannelPaused(Channel(1)));
  EXPECT_TRUE(SndGetChannelPaused(Channel(2)));
  ResumeSoundsOnActivate();
  EXPECT_FALSE(SndGetChannelPaused(Channel(1)));
  EXPECT_TRUE(SndGetChannelPaused(Channel(2)));
  EXPECT_EQ(Query(kSoundPaused, 2), 1);
}

// A shared sample passes to the lowest other slot holding it and is freed by its last holder.
TEST_F(SoundCommandsTest, SharedSamplesPassOwnershipDown) {
  calls.Run(kSoundLoad, {Tone(), 7});
  calls.Run(kSoundClone, {9, 7});
  calls.Run(kSoundClone, {8, 7});
  SndSample* sample = SoundSlotAt(7).sample;
  calls.Run(kSoundDelete, {7});
  EXPECT_EQ(SoundSlotAt(8).ownsSample, 1);
  EXPECT_EQ(SoundSlotAt(9).ownsSample, 0);
  calls.Run(kSoundDelete, {8});
  EXPECT_EQ(SoundSlotAt(9).ownsSample, 1);
  calls.Run(kSoundPlay, {9});
  EXPECT_EQ(SndGetChannelSample(Channel(9)), sample);
  calls.Run(kSoundDelete, {9});
  EXPECT_EQ(calls.TakeError(), 0);
}

// Saving writes the sample's own format whole, never reading past an 8-bit or stereo sample,
// and replaces a longer file instead of leaving its tail.
TEST_F(SoundCommandsTest, SavedWaveFilesKeepTheSampleFormatAndReplaceTheFile) {
  const struct {
    int channels, bits, rate;
    std::vector<int> values;
  } cases[] = {
      {1, 8, 11025, {0, 128, 255, 1, 200}},
      {2, 8, 22050, {0, 255, 128, 128, 10, 240}},
      {1, 16, 44100, {0, 0x7FFF, 0x8000, 0x1234}},
      {2, 16, 8000, {0x0102, 0xFEFE, 0x7000, 0x9000}},
  };
  const std::string saved = (folder_ / "saved.wav").string();
  for (const auto& c : cases) {
    const std::vector<uint8_t> image = WavImage(c.channels, c.bits, c.rate, c.values);
    File("saved.wav", std::vector<uint8_t>(image.size() + 5000, 0xAB));  // longer than the result
    calls.Run(kSoundLoad, {File("in.wav", image), 1});
    calls.Run(kSoundSave, {saved, 1});
    EXPECT_EQ(calls.TakeError(), 0);
    EXPECT_EQ(ReadAll(saved), image) << c.channels << " channels, " << c.bits << " bits";
  }
}

// On a full disk the old file stays whole and the error names the file and the reason.
TEST_F(SoundCommandsTest, SavingOnAFullDiskKeepsTheOldFileAndSaysWhy) {
  SmallDisk disk("64k");
  if (!disk.Ready()) GTEST_SKIP() << disk.Why();
  const std::string saved = disk.Path() + "/saved.wav";
  File(saved.c_str(), std::vector<uint8_t>(100, 0xAB));  // an absolute name: on the disk
  disk.Fill();
  calls.Run(kSoundLoad, {File("in.wav", WavImage(1, 16, 8000, std::vector<int>(4000, 0x1234))), 1});
  calls.Run(kSoundSave, {saved, 1});
  EXPECT_EQ(calls.TakeError(), 3008);
  EXPECT_EQ(std::string(LastEngineError()), "cannot write " + saved + ": No space left on device");
  EXPECT_EQ(ReadAll(saved), std::vector<uint8_t>(100, 0xAB));
  EXPECT_EQ(disk.EntryCount(), 2u);
}

// Left and right loudness of what the mixer last put in its output ring (16-bit stereo).
std::pair<double, double> HeardLeftRight() {
  SndSample* ring = SndGetPrimaryMixBuffer();
  void *first, *second;
  uint32_t firstLength, secondLength;
  const int bytes = SndGetMixBufferLength() * 4;
  double left = 0, right = 0;
  if (!SndLockSample(ring, 0, bytes, &first, &second, &firstLength, &secondLength)) return {0, 0};
  const int16_t* frames = static_cast<const int16_t*>(first);
  for (uint32_t i = 0; i + 1 < firstLength / 2; i += 2) {
    left += std::abs(frames[i]);
    right += std::abs(frames[i + 1]);
  }
  SndUnlockSample(ring, first, second, firstLength, secondLength);
  return {left, right};
}

// A 3D sound to the listener's right is heard on the right once the frame's 3D step ran, and
// on the left after the listener turned round.
TEST_F(SoundCommandsTest, A3DSoundToTheRightOfTheListenerIsHeardOnTheRight) {
  calls.Run(kSoundLoad3D, {Tone(), 1});
  calls.Run(kSoundListenerPosition, {0.0f, 0.0f, 0.0f});
  calls.Run(kSoundPosition, {1, 5.0f, 0.0f, 0.0f});
  calls.Run(kSoundLoop, {1});
  UpdateSound3D();
  Mix(1000);
  auto [left, right] = HeardLeftRight();
  EXPECT_GT(right, 4 * left + 1);
  calls.Run(kSoundListenerRotate, {0.0f, 180.0f, 0.0f});
  UpdateSound3D();
  Mix(1000);
  std::tie(left, right) = HeardLeftRight();
  EXPECT_GT(left, 4 * right + 1);
  EXPECT_EQ(calls.TakeError(), 0);
}

TEST_F(SoundCommandsTest, RoomEffectsSetTheLibrarysEnvironment) {
  struct Case {
    int command;
    int preset;
    float volume, decay, damping;
  };
  const Case cases[] = {{5, 4, 0.208f, 0.478f, 0.0f},  // living room
                        {26, 25, 0.486f, 7.563f, 0.806f},
                        {27, 0, 0.0f, 0.0f, 0.0f},      // off
                        {1, 0, 0.5f, 1.493f, 0.5f},
                        {0, 0, 0.0f, 0.0f, 0.0f}};
  for (const Case& c : cases) {
    calls.Run(kSoundSetEnvironment, {c.command});
    int preset = -1;
    float volume = -1, decay = -1, damping = -1;
    ASSERT_TRUE(SndGetEnvironment(&preset, &volume, &decay, &damping));
    EXPECT_EQ(preset, c.preset) << c.command;
    EXPECT_EQ(volume, c.volume) << c.command;
    EXPECT_EQ(decay, c.decay) << c.command;
    EXPECT_EQ(damping, c.damping) << c.command;
  }
  EXPECT_EQ(calls.TakeError(), 0);
}

// Recording through the glue from SDL's disk capture, which reads its input from a file: the
// quiet start (within +-2048) is trimmed off, and a recording quiet throughout gives no sound.
class RecordingCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qv-record-commands-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = name;
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterSoundCommands());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (folder_ / "played.raw").c_str(), 1);
    setenv("SDL_DISKAUDIOFILEIN", (folder_ / "input.raw").c_str(), 1);
  }
  void TearDown() override {
    CloseSound();
    SetSoundGlueOutput(-1, false);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    for (const char* v : {"SDL_DISKAUDIOFILE", "SDL_DISKAUDIOFILEIN"}) unsetenv(v);
    ClearCommandRegistry();
    fs::remove_all(folder_);
  }
  // Records one second of the input (16-bit mono at 44100 Hz) into sound 1 and stops.
  void Record(const std::vector<int16_t>& input) {
    std::ofstream(folder_ / "input.raw", std::ios::binary)
        .write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size() * 2));
    SetSoundGlueOutput(1, false);
    InitSound();
    ASSERT_EQ(SoundGlue().soundOn, 1);
    calls.Run(kSoundRecordFor, {1, 1});
    ASSERT_EQ(calls.TakeError(), 0);
    for (int i = 0; i < 4000 && SndGetRecordPosition() < 30000; i++) SndSleep(5);  // a bound, not a timing
    ASSERT_GE(SndGetRecordPosition(), 30000);
    calls.Run(kSoundStopRecording, {});
  }
  fs::path folder_;
  qvasm::CommandCaller calls;
};

TEST_F(RecordingCommandsTest, TheQuietStartIsTrimmed) {
  std::vector<int16_t> input;
  for (int i = 0; i < 13230; i++) input.push_back(static_cast<int16_t>(i % 2 ? 2048 : -2048));  // 0.3 s quiet
  for (int i = 0; i < 44100; i++) input.push_back(static_cast<int16_t>(3000 + i % 1000));
  Record(input);
  EXPECT_EQ(calls.IntResult(kSoundExist, {kIntResult, 1}), 1);
  SndSample* sample = SoundSlotAt(1).sample;
  ASSERT_NE(sample, nullptr);
  const uint32_t frames = SndGetSampleLength(sample);
  ASSERT_GT(frames, 10000u);
  std::vector<int16_t> kept(frames);
  void *first, *second;
  uint32_t firstLength, secondLength;
  ASSERT_TRUE(SndLockSample(sample, 0, static_cast<int>(frames * 2), &first, &second, &firstLength, &secondLength));
  std::memcpy(kept.data(), first, frames * 2);
  SndUnlockSample(sample, first, second, firstLength, secondLength);
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), input.begin() + 13230)) << "first kept value " << kept[0];
}

TEST_F(RecordingCommandsTest, AQuietRecordingGivesNoSound) {
  Record(std::vector<int16_t>(44100, -2048));
  EXPECT_EQ(calls.IntResult(kSoundExist, {kIntResult, 1}), 0);
  EXPECT_EQ(SoundSlotAt(1).sample, nullptr);
  EXPECT_EQ(calls.TakeError(), 0);
}

}  // namespace
