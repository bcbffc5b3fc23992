// The SDL2 output and the mixer thread: a tone played through output 1 on SDL's disk driver
// lands in its file exactly as the stepped mix made it, shut-down while sounds play is clean,
// and play/stop/free cycles run beside the mixer thread.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/thread.h"
#include "tests/sound/sound_test_util.h"

// Headless even when the runner's environment list reaches the test incomplete.
static const bool kHeadlessAudio = [] { return setenv("SDL_AUDIODRIVER", "dummy", 0) == 0; }();

static std::vector<int> OneSecondTone() {
  std::vector<int> tone(44100);
  for (int i = 0; i < 44100; i++) tone[i] = static_cast<int>(std::lround(12000.0 * std::sin(2 * M_PI * 440.0 * i / 44100.0)));
  return tone;
}

static size_t FirstNonZero(const std::vector<int16_t>& v) {
  size_t i = 0;
  while (i < v.size() && v[i] == 0) i++;
  return i & ~size_t{1};  // start of that frame
}

// Polls `done` every 5 ms, for at most 20 s; a bound, not a timing check.
template <class Done>
static bool WaitFor(Done done) {
  for (int i = 0; i < 4000; i++) {
    if (done()) return true;
    SndSleep(5);
  }
  return done();
}

TEST(SoundDevice, DiskOutputIsBitIdenticalToTheSteppedMix) {
  std::vector<int> tone = OneSecondTone();
  // The reference: the same tone mixed block by block on the stepped no-sound clock.
  ASSERT_TRUE(StartSteppedLibrary(0, 44100, 32, 40));
  int handle = SndPlaySoundSimple(kSndAnyChannel, MakeSample(tone, true, false, kSndLoopOff, 44100));
  std::vector<int16_t> reference;
  while (SndIsChannelPlaying(handle)) {
    std::vector<int16_t> block = MixBlocks(1);
    reference.insert(reference.end(), block.begin(), block.end());
  }
  SndShutdown();
  SndUseSteppedClock(false);

  char folder[] = "/tmp/qv-sound-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::string file = std::string(folder) + "/played.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "0", 1);
  SndSelectOutput(1);
  SndSelectMixer(0);
  SndSetBufferTime(40);
  bool started = SndStartup(44100, 32, 0);
  if (started) {
    handle = SndPlaySoundSimple(kSndAnyChannel, MakeSample(tone, true, false, kSndLoopOff, 44100));
    EXPECT_TRUE(WaitFor([&] { return !SndIsChannelPlaying(handle); }));
    // The ring delays what was mixed by up to a ring length: let a few more blocks through.
    uint64_t mixed = SndGetMixedBlockCount();
    EXPECT_TRUE(WaitFor([&] { return SndGetMixedBlockCount() >= mixed + 8; }));
  }
  SndShutdown();
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  unsetenv("SDL_DISKAUDIOFILE");
  unsetenv("SDL_DISKAUDIODELAY");
  SndSelectOutput(0);
  ASSERT_TRUE(started) << "error " << SndGetError();

  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> played(bytes.size() / 2);
  std::memcpy(played.data(), bytes.data(), played.size() * 2);
  unlink(file.c_str());
  rmdir(folder);

  size_t fromReference = FirstNonZero(reference), fromPlayed = FirstNonZero(played);
  size_t count = reference.size() - fromReference;
  ASSERT_LT(fromReference, reference.size());
  ASSERT_GE(played.size() - fromPlayed, count) << "the device file is too short";
  size_t mismatches = 0;
  for (size_t i = 0; i < count; i++) mismatches += played[fromPlayed + i] != reference[fromReference + i];
  EXPECT_EQ(mismatches, 0u) << "of " << count << " values";
}

TEST(SoundDevice, ShutdownWhileSoundsPlay) {
  for (int output : {1, 0}) {
    SndShutdown();
    SndUseSteppedClock(false);
    SndSelectOutput(output);
    SndSetBufferTime(40);
    ASSERT_TRUE(SndStartup(44100, 16, 0)) << output;
    for (int i = 0; i < 8; i++) {
      SndSample* s = MakeSample(std::vector<int>(3000, (i + 1) * 1000), true, i % 2 == 1, kSndLoopNormal, 22050 + i * 1000);
      SndPlaySoundSimple(kSndAnyChannel, s);
    }
    uint64_t mixed = SndGetMixedBlockCount();
    EXPECT_TRUE(WaitFor([&] { return SndGetMixedBlockCount() >= mixed + 2; }));
    EXPECT_TRUE(SndShutdown());
    EXPECT_EQ(SndGetChannelCount(), 0);
  }
  SndSelectOutput(0);
}

// Plays, stops and frees sounds while the mixer thread mixes them; run under the sanitizers
// (and ThreadSanitizer locally) this shows the lock keeps the mixer off freed channels.
TEST(SoundDevice, PlayStopFreeCyclesBesideTheMixerThread) {
  SndShutdown();
  SndUseSteppedClock(false);
  SndSelectOutput(0);
  SndSetBufferTime(40);
  ASSERT_TRUE(SndStartup(44100, 32, 0));
  std::vector<SndSample*> live;
  for (int cycle = 0; cycle < 10000; cycle++) {
    uint32_t loop = cycle % 3 == 0 ? kSndLoopOff : cycle % 3 == 1 ? kSndLoopNormal : kSndLoopBidi;
    SndSample* s = SndCreateSample(-1, 64 + cycle % 50, kSnd16Bits | (cycle % 2 ? kSndStereo : kSndMono) | loop, 44100, 255, 128, 100);
    ASSERT_NE(s, nullptr);
    int handle = SndPlaySoundAttributes(kSndAnyChannel, s, 11025 + cycle % 40000, cycle % 256, cycle % 256);
    ASSERT_NE(handle, -1);
    switch (cycle % 4) {
      case 0: SndFreeSample(s); break;
      case 1: SndStopChannel(handle); SndFreeSample(s); break;
      case 2: live.push_back(s); break;
      default: SndSetChannelVolume(handle, 10); SndFreeSample(s); break;
    }
    if (live.size() > 40) {
      SndFreeSample(live.front());
      live.erase(live.begin());
    }
    if (cycle % 200 == 0) SndSleep(1);
  }
  for (SndSample* s : live) SndFreeSample(s);
  EXPECT_EQ(SndGetChannelsPlaying(), 0);
  EXPECT_TRUE(SndShutdown());
}

TEST(PlatformThread, CooperativeStopJoinsWithinTheTimeout) {
  // The flag belongs to this run of the test: a static one stayed set for the next repeat.
  std::atomic<bool> stop{false};
  auto routine = [](void* flag) {
    while (!static_cast<std::atomic<bool>*>(flag)->load()) SndSleep(1);
  };
  PlatformThread* t = PlatformStartThread(routine, &stop, 2);
  ASSERT_NE(t, nullptr);
  EXPECT_FALSE(PlatformJoinThread(t, 20));  // still running: not joined, still ours
  stop = true;
  EXPECT_TRUE(PlatformJoinThread(t, 5000));
}
