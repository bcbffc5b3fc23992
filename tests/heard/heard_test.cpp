// Programs heard: each program of tests/programs/heard runs in the built player on SDL's disk
// output (the automatic output's fallback when no sound card is wanted), prints what its
// .expected file holds, and leaves the recording of what it played. The recording is cut into
// stretches of one kind (silent, left only, right only, both sides), which must come in the
// order and for about the time the program asked, with the levels and pitch it set.
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/sound/midi_fixtures.h"
#include "tests/sound/song_groups.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 44100;
constexpr int kWindowFrames = kRate / 50;  // 20 ms

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A 16-bit PCM WAV file of the interleaved data.
midi_fixtures::Bytes PcmWav(int channels, int rate, const midi_fixtures::Bytes& data) {
  using namespace midi_fixtures;
  Bytes format;
  PutLe(format, 1, 2), PutLe(format, static_cast<uint32_t>(channels), 2), PutLe(format, static_cast<uint32_t>(rate), 4);
  PutLe(format, static_cast<uint32_t>(rate * channels * 2), 4), PutLe(format, static_cast<uint32_t>(channels * 2), 2);
  PutLe(format, 16, 2);
  Bytes body;
  PutText(body, "WAVE", 4);
  for (const Bytes& chunk : {Chunk("fmt ", format), Chunk("data", data)}) body.insert(body.end(), chunk.begin(), chunk.end());
  return Chunk("RIFF", body);
}

// A looping 441 Hz square wave: 2205 frames of 16-bit mono at 22050 Hz.
midi_fixtures::Bytes ToneWav() {
  midi_fixtures::Bytes data;
  for (int i = 0; i < 2205; i++) midi_fixtures::PutLe(data, static_cast<uint16_t>(i % 50 < 25 ? 12000 : -12000), 2);
  return PcmWav(1, 22050, data);
}

// A tracker song holding one looped note from its first row.
std::vector<uint8_t> HeldNote(fixtures::Format format) {
  fixtures::Song song = fixtures::BaseSong(format, 64);
  song.patterns[0].cells[0][0] = fixtures::Note(format, 0, 1);
  return fixtures::WriteSong(format, song);
}

// A General MIDI organ (program 19) holding a C major chord for four seconds.
midi_fixtures::Bytes OrganNote() {
  using namespace midi_fixtures;
  return Smf(0, 96, {Track({Bytes{0x00, 0xC0, 19}, NoteOn(0, 60), NoteOn(0, 64), NoteOn(0, 67), NoteOff(768, 60),
                            NoteOff(0, 64), NoteOff(0, 67)})});
}

struct Stretch {
  char kind;     // 'S' silent, 'L' left only, 'R' right only, 'B' both sides
  int windows;   // 20 ms each
  int measured = 0;            // windows of this kind (a joined short stretch adds only time)
  double left = 0, right = 0;  // mean RMS per window
  double crossings = 0;        // mean zero crossings of the louder side per window
};

char Kind(double left, double right) {
  if (std::max(left, right) < 200) return 'S';
  if (left > 4 * right) return 'L';
  if (right > 4 * left) return 'R';
  return 'B';
}

// The recording (16-bit stereo) as stretches; one shorter than 100 ms (a ramp, a pan moving)
// joins the stretch before it.
std::vector<Stretch> Stretches(const std::vector<int16_t>& stereo) {
  std::vector<Stretch> raw;
  for (size_t at = 0; at + 2 * kWindowFrames <= stereo.size(); at += 2 * kWindowFrames) {
    double l = 0, r = 0;
    int crossingsL = 0, crossingsR = 0;
    for (int i = 0; i < kWindowFrames; i++) {
      const int16_t* f = &stereo[at + 2 * static_cast<size_t>(i)];
      l += double(f[0]) * f[0];
      r += double(f[1]) * f[1];
      if (i > 0) {
        crossingsL += (f[0] >= 0) != (f[-2] >= 0);
        crossingsR += (f[1] >= 0) != (f[-1] >= 0);
      }
    }
    l = std::sqrt(l / kWindowFrames);
    r = std::sqrt(r / kWindowFrames);
    const char kind = Kind(l, r);
    if (raw.empty() || raw.back().kind != kind) raw.push_back({kind, 0});
    Stretch& s = raw.back();
    s.left += l, s.right += r, s.crossings += l >= r ? crossingsL : crossingsR;
    s.windows++, s.measured++;
  }
  std::vector<Stretch> joined;
  for (const Stretch& s : raw) {
    if (!joined.empty() && (s.windows < 5 || joined.back().kind == s.kind)) {
      Stretch& before = joined.back();
      if (before.kind == s.kind) {
        before.left += s.left, before.right += s.right, before.crossings += s.crossings;
        before.measured += s.measured;
      }
      before.windows += s.windows;
    } else {
      joined.push_back(s);
    }
  }
  for (Stretch& s : joined) {
    const double n = s.measured;
    s.left /= n, s.right /= n, s.crossings /= n;
  }
  return joined;
}

std::string Kinds(const std::vector<Stretch>& stretches) {
  std::string kinds;
  for (const Stretch& s : stretches) kinds += s.kind;
  return kinds;
}

class Heard : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qv-heard-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    work_ = name;
    midi_fixtures::WriteFile((work_ / "tone.wav").string(), ToneWav());
    midi_fixtures::WriteFile((work_ / "song.mod").string(), HeldNote(fixtures::kMod));
    midi_fixtures::WriteFile((work_ / "song.xm").string(), HeldNote(fixtures::kXm));
    midi_fixtures::WriteFile((work_ / "song.mid").string(), OrganNote());
  }
  void TearDown() override { fs::remove_all(work_); }

  // Runs the program in the work folder and returns what it played, cut into stretches; its
  // printed output must be its .expected file.
  std::vector<Stretch> Run(const std::string& program) {
    const std::string source = std::string(QV_HEARD_PROGRAMS) + "/" + program;
    const std::string command = "cd '" + work_.string() + "' && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=played.raw '" +
                                QV_EXECUTABLE + "' run '" + source + ".qva' --headless --echo > out.txt 2> err.txt";
    EXPECT_EQ(std::system(command.c_str()), 0) << ReadText(work_ / "err.txt");
    EXPECT_EQ(ReadText(work_ / "out.txt"), ReadText(source + ".expected"));
    const std::string played = ReadText(work_ / "played.raw");
    std::vector<int16_t> stereo(played.size() / 2);
    std::memcpy(stereo.data(), played.data(), stereo.size() * 2);
    return Stretches(stereo);
  }
  fs::path work_;
};

// The stretches' kinds after the silence before the first sound, with their lengths.
std::string Describe(const std::vector<Stretch>& stretches) {
  std::ostringstream text;
  for (const Stretch& s : stretches)
    text << s.kind << " " << s.windows * 20 << " ms (" << int(s.left) << ", " << int(s.right) << ", " << s.crossings << ")\n";
  return text.str();
}

// Left only, right only, paused, both sides, half volume, twice the speed, stopped, the clone
// of a deleted sound, and a 3D sound to the listener's right.
TEST_F(Heard, SoundsPlayWhereAndWhenTheProgramAsks) {
  const std::vector<Stretch> all = Run("sound_heard");
  ASSERT_FALSE(all.empty());
  const std::vector<Stretch> heard(all.begin() + (all.front().kind == 'S'), all.end());
  ASSERT_EQ(Kinds(heard).substr(0, 13), "LRSBSBSBSBSRS") << Describe(all);
  const struct {
    int index, ms;
  } lengths[] = {{0, 600}, {1, 600}, {2, 600}, {3, 600}, {4, 300}, {5, 600}, {6, 300},
                 {7, 600}, {8, 400}, {9, 600}, {10, 400}, {11, 600}};
  for (const auto& l : lengths) EXPECT_NEAR(heard[l.index].windows * 20, l.ms, 200) << "stretch " << l.index << "\n" << Describe(all);
  EXPECT_NEAR(heard[5].left / heard[3].left, 127.0 / 255.0, 0.08) << "half volume";
  EXPECT_NEAR(heard[7].crossings / heard[3].crossings, 2.0, 0.2) << "twice the speed";
  EXPECT_NEAR(heard[3].left / heard[3].right, 1.0, 0.1) << "centred";
}

// One second of stereo at 44100 Hz: the tone on the left for the first half, on the right for
// the second, so where a sound plays from and what a loop repeats can be heard.
midi_fixtures::Bytes HalvesWav() {
  midi_fixtures::Bytes data;
  for (int i = 0; i < 44100; i++) {
    const uint16_t tone = static_cast<uint16_t>(i % 100 < 50 ? 12000 : -12000);
    midi_fixtures::PutLe(data, i < 22050 ? tone : 0, 2);
    midi_fixtures::PutLe(data, i < 22050 ? 0 : tone, 2);
  }
  return PcmWav(2, 44100, data);
}

// A play from three quarters in, a looped section after its lead-in, a pan set before the
// play, then files sox writes: 24-bit (the extensible format) and six channels with a tone
// in the front left one only.
TEST_F(Heard, PositionsSectionsPanAndWideFilesPlayAsAsked) {
  midi_fixtures::WriteFile((work_ / "halves.wav").string(), HalvesWav());
  const std::string sox = "cd '" + work_.string() + "' && sox -n -r 44100 -b 24 deep.wav synth 1 sine 441 gain -3 && "
                          "sox -n -r 44100 -b 24 six.wav synth 1 sine 441 gain -3 remix 1 0 0 0 0 0";
  ASSERT_EQ(std::system(sox.c_str()), 0);
  const std::vector<Stretch> all = Run("sound_positions_heard");
  ASSERT_FALSE(all.empty());
  const std::vector<Stretch> heard(all.begin() + (all.front().kind == 'S'), all.end());
  ASSERT_EQ(Kinds(heard).substr(0, 11), "RSLRSLSBSLS") << Describe(all);
  const int lengths[] = {250, 350, 500, 800, 400, 600, 400, 600, 400, 600};
  for (int i = 0; i < 10; i++) EXPECT_NEAR(heard[i].windows * 20, lengths[i], 200) << "stretch " << i << "\n" << Describe(all);
}

// A MOD, an XM and a MIDI song, each heard for about as long as it played; the MIDI song paused
// and resumed.
TEST_F(Heard, MusicPlaysEachFormat) {
  std::vector<Stretch> all = Run("music_heard");
  // Songs pan their channels as they like: what counts is sound or silence.
  std::vector<Stretch> heard;
  for (Stretch s : all) {
    s.kind = s.kind == 'S' ? 'S' : 'N';
    if (!heard.empty() && heard.back().kind == s.kind) {
      heard.back().windows += s.windows;
    } else {
      heard.push_back(s);
    }
  }
  if (!heard.empty() && heard.front().kind == 'S') heard.erase(heard.begin());
  ASSERT_EQ(Kinds(heard).substr(0, 8), "NSNSNSNS") << Describe(all);
  const int lengths[] = {600, 400, 600, 400, 600, 400, 300};
  for (int i = 0; i < 7; i++) EXPECT_NEAR(heard[i].windows * 20, lengths[i], 200) << "stretch " << i << "\n" << Describe(all);
}

}  // namespace

// A video's sound track plays through a stream for as long as its picture, without gaps.
TEST_F(Heard, AVideosSoundTrackPlaysWithItsPicture) {
  const std::string make = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=64x48:rate=10 -f lavfi -i "
                           "sine=frequency=441:sample_rate=22050 -t 1 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le '" +
                           (work_ / "tone.avi").string() + "'";
  ASSERT_EQ(std::system(make.c_str()), 0);
  const std::vector<Stretch> all = Run("video_heard");
  ASSERT_FALSE(all.empty());
  const std::vector<Stretch> heard(all.begin() + (all.front().kind == 'S'), all.end());
  ASSERT_EQ(Kinds(heard).substr(0, 2), "BS") << Describe(all);
  EXPECT_NEAR(heard[0].windows * 20, 1000, 200) << Describe(all);
  EXPECT_NEAR(heard[0].crossings, 2 * 441 / 50.0, 2) << "the tone's pitch";
}
