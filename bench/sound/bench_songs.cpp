// Song rendering speed: a generated song of each format (8-channel MOD, 16-channel S3M and XM,
// 32-channel IT), 60 s of it rendered to 44.1 kHz stereo by our player, by libxmp and by
// libopenmpt in the same run; prints the time of each and the ratios (above 1: we are faster).
#include <libopenmpt/libopenmpt.h>
#include <xmp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "sound/songs/songs_local.h"
#include "tests/sound/song_groups.h"

using namespace fixtures;
using Clock = std::chrono::steady_clock;

static const int kSeconds = 60;

// Every channel plays: notes with vibrato, volume slides, portamento and arpeggio, on looped
// samples (8- and 16-bit where the format has them), four patterns of 64 rows.
static Song BusySong(Format f, int channels) {
  Song s;
  s.channels = channels;
  s.orders = {0, 1, 2, 3};
  s.samples.push_back(Wave(2048, false));
  s.samples.push_back(Wave(4096, f == kXm || f == kIt));
  InstrumentSpec a, b;
  a.sample = 0;
  b.sample = 1;
  if (f == kXm || f == kIt) s.instruments = {a, b};
  Fx e = Effects(f);
  const int fx[4][2] = {{e.vib, 0x46}, {e.volSlide, 0x02}, {e.arp, 0x37}, {e.porta, 0x10}};
  // MOD notes lie in its three octaves; the others start an octave lower.
  int base = f == kMod ? 37 : NoteC(f, -1);
  for (int p = 0; p < 4; p++) {
    Pattern pat = MakePattern(64, channels);
    for (int r = 0; r < 64; r++) {
      for (int c = 0; c < channels; c++) {
        Cell& cell = pat.cells[r][c];
        if ((r + c) % 4 == 0) {
          cell.note = base + (r * 7 + c * 5 + p * 3) % (f == kMod ? 36 : 24);
          cell.instrument = 1 + (c & 1);
        }
        cell.effect = fx[(r / 4 + c) % 4][0];
        cell.param = fx[(r / 4 + c) % 4][1];
      }
    }
    s.patterns.push_back(pat);
  }
  return s;
}

static double Ours(const std::vector<uint8_t>& file) {
  SndShutdown();
  SndUseSteppedClock(true);
  SndSelectOutput(0);
  SndSetBufferTime(40);
  SndStartup(44100, 64, 0);
  SndSong* song = SndLoadSongFromMemory(file.data(), file.size());
  if (!song || !SndPlaySong(song)) return -1;
  auto start = Clock::now();
  for (int ms = 0; ms < kSeconds * 1000; ms += 25) SndStepClock(25);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (SndGetChannelsPlaying() == 0) std::printf("songs: our render was silent\n");
  SndFreeSong(song);
  SndShutdown();
  return seconds;
}

static double Xmp(const std::vector<uint8_t>& file) {
  xmp_context x = xmp_create_context();
  if (xmp_load_module_from_memory(x, const_cast<uint8_t*>(file.data()), static_cast<long>(file.size())) != 0) return -1;
  xmp_start_player(x, 44100, 0);
  xmp_set_player(x, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
  std::vector<int16_t> buffer(1102 * 2);
  auto start = Clock::now();
  for (int ms = 0; ms < kSeconds * 1000; ms += 25) xmp_play_buffer(x, buffer.data(), static_cast<int>(buffer.size() * 2), 0);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  xmp_end_player(x);
  xmp_release_module(x);
  xmp_free_context(x);
  return seconds;
}

static double OpenMpt(const std::vector<uint8_t>& file) {
  openmpt_module* m = openmpt_module_create_from_memory2(file.data(), file.size(), nullptr, nullptr, nullptr, nullptr,
                                                         nullptr, nullptr, nullptr);
  if (!m) return -1;
  openmpt_module_set_render_param(m, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 2);  // linear
  openmpt_module_set_repeat_count(m, -1);
  std::vector<int16_t> buffer(1102 * 2);
  auto start = Clock::now();
  for (int ms = 0; ms < kSeconds * 1000; ms += 25) openmpt_module_read_interleaved_stereo(m, 44100, 1102, buffer.data());
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  openmpt_module_destroy(m);
  return seconds;
}

int main() {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
  } cases[] = {{"8-channel MOD", WriteMod(BusySong(kMod, 8))},
               {"16-channel S3M", WriteS3m(BusySong(kS3m, 16))},
               {"16-channel XM", WriteXm(BusySong(kXm, 16))},
               {"32-channel IT", WriteIt(BusySong(kIt, 32))}};
  for (const Case& c : cases) {
    // The best of three runs each, taken in turns, so that a busy moment of the machine does
    // not land on one player only.
    double ours = 1e9, xmp = 1e9, mpt = 1e9;
    for (int run = 0; run < 3; run++) {
      ours = std::min(ours, Ours(c.file));
      xmp = std::min(xmp, Xmp(c.file));
      mpt = std::min(mpt, OpenMpt(c.file));
    }
    std::printf("songs: %s, %d s of audio: ours %.3f s, libxmp %.3f s, libopenmpt %.3f s; "
                "speed vs libxmp %.2fx, vs libopenmpt %.2fx\n",
                c.name, kSeconds, ours, xmp, mpt, xmp / ours, mpt / ours);
  }
  return 0;
}
