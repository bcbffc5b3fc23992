// Feeds arbitrary bytes to one song loader (SONG_FORMAT 0 MOD, 1 S3M, 2 XM, 3 IT: the format's
// signature is written over the input so the loader gets past it), or to all of them with a
// long run of the tick engine (SONG_FORMAT -1). A loaded song is played tick by tick under a
// watchdog: a row may not last longer than the longest speed and delays allow.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_corpus.h"
#include "sound/songs/songs_local.h"
#include "tests/sound/song_corpus.h"

// The tick-engine target runs 20000 ticks an input: it takes small songs only, so that its
// inputs stay small and it gets through many of them. Its seeds keep a short piece of each
// sample; what the ticks do depends on the patterns, not on the sample data.
const size_t kTicksInputLimit = 4096;
const size_t kTicksSampleFrames = 64;

static fixtures::Song ShortSamples(fixtures::Song song) {
  for (fixtures::SampleSpec& s : song.samples) {
    if (s.data.size() <= kTicksSampleFrames) continue;
    s.data.resize(kTicksSampleFrames);
    if (s.loopStart >= static_cast<int>(kTicksSampleFrames)) s.loopStart = s.loopLength = 0;
    if (s.loopStart + s.loopLength > static_cast<int>(kTicksSampleFrames)) s.loopLength = kTicksSampleFrames - s.loopStart;
  }
  return song;
}

// With no corpus folder given, the run starts from the test songs of its format (all formats
// for the tick-engine target), written into a fresh folder.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static char scratch[] = "/tmp/fuzz_song_XXXXXX";
  static char seeds[] = "/tmp/fuzz_song_seeds_XXXXXX";
  if (!mkdtemp(seeds)) return 0;
  int n = 0;
  auto write = [&](fixtures::Format f, const fixtures::Song& song) {
    if (SONG_FORMAT >= 0 && f != SONG_FORMAT) return;
    std::vector<uint8_t> file = fixtures::WriteSong(f, SONG_FORMAT < 0 ? ShortSamples(song) : song);
    if (SONG_FORMAT < 0 && file.size() > kTicksInputLimit) return;
    std::string name = std::string(seeds) + "/" + std::to_string(n++);
    if (FILE* out = std::fopen(name.c_str(), "wb")) {
      std::fwrite(file.data(), 1, file.size(), out);
      std::fclose(out);
    }
  };
  for (const fixtures::CorpusSong& c : fixtures::EffectCorpus()) write(c.format, c.song);
  for (fixtures::Format f : {fixtures::kMod, fixtures::kS3m, fixtures::kXm, fixtures::kIt}) {
    for (const fixtures::Group& g : fixtures::Groups(f)) write(f, g.song);
  }
  AddSeedCorpus(argc, argv, scratch, seeds);
  return 0;
}

static void Start() {
  static bool started = false;
  if (started) return;
  started = true;
  SndUseSteppedClock(true);
  SndSelectOutput(0);
  SndStartup(44100, 32, 0);
  SndSetMidiSynth("none", nullptr);  // MIDI files have their own target (fuzz_midi)
}

static void Sign(std::vector<uint8_t>& b) {
  switch (SONG_FORMAT) {
    case 0:
      if (b.size() < 1084) b.resize(1084);
      std::memcpy(&b[1080], "M.K.", 4);
      break;
    case 1:
      if (b.size() < 96) b.resize(96);
      std::memcpy(&b[44], "SCRM", 4);
      break;
    case 2:
      if (b.size() < 336) b.resize(336);
      std::memcpy(&b[0], "Extended Module: ", 17);
      b[37] = 0x1A;
      break;
    case 3:
      if (b.size() < 192) b.resize(192);
      std::memcpy(&b[0], "IMPM", 4);
      break;
    default:
      break;
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (SONG_FORMAT < 0 && size > kTicksInputLimit) return 0;
  Start();
  std::vector<uint8_t> bytes(data, data + size);
  Sign(bytes);
  if (bytes.empty()) return 0;
  SndSong* song = SndLoadSongFromMemory(bytes.data(), bytes.size());
  if (!song) return 0;
  if (SndPlaySong(song)) {
    const int ticks = SONG_FORMAT < 0 ? 20000 : 600;
    // Longest row: speed 255 plus a pattern delay of 15 rows and a fine delay of 15 ticks.
    const int maxTicksPerRow = 255 + 15 * 255 + 15 + 1;
    int ticksInRow = 0, lastRow = -1, lastOrder = -1;
    for (int t = 0; t < ticks; t++) {
      song->update(song);
      if (song->row != lastRow || song->order != lastOrder) {
        ticksInRow = 0;
        lastRow = song->row;
        lastOrder = song->order;
      } else if (++ticksInRow > maxTicksPerRow) {
        std::abort();  // the watchdog: a row that never ends
      }
    }
    for (int b = 0; b < 8; b++) SndStepClock(25);  // and mix a little of it
  }
  SndFreeSong(song);
  return 0;
}
