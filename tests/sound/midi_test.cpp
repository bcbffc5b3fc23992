// MIDI songs: the file reader over a table of well-formed, wrapped, damaged and foreign files;
// offline renders through a tiny square-wave soundfont that put a note's onset where its time
// and the tempo map say; pause and resume that continue at the same point; the volume curve.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "sound/songs/songs_local.h"
#include "tests/sound/midi_fixtures.h"
#include "tests/sound/sound_test_util.h"

using namespace midi_fixtures;

namespace {

// The reader alone: what each file gives (event count, the first note's time, the length),
// or error 10.
TEST(MidiReader, ReadsTheFormatsAndRefusesWhatIsNotMidi) {
  const Bytes oneNote = OneNote(96);
  Bytes cutShort = OneNote(96);
  cutShort.resize(cutShort.size() - 6);  // the note-off and the end of track are gone
  Bytes runningStatus = Smf(0, 96, {Track({NoteOn(0, 60), Bytes{0x30, 62, 100}, NoteOff(96, 60), Bytes{0, 62, 0}})});
  Bytes badByte = Smf(0, 96, {Track({NoteOn(0, 60), Bytes{0x00, 0xF8}, NoteOff(96, 60)})});
  struct Case {
    const char* name;
    Bytes file;
    bool loads;
    size_t events;
    int64_t firstNoteUs, lengthUs;
  };
  const Case cases[] = {
      {"format 0", oneNote, true, 2, 500000, 1000000},
      {"in an RMID form", Riff("RMID", "data", oneNote), true, 2, 500000, 1000000},
      // 120 bpm for a quarter, then 240: the note at tick 192 sounds at 0.5 + 0.25 s.
      {"tempo map across tracks",
       Smf(1, 96, {Track({Tempo(96, 250000)}), Track({NoteOn(192, 60), NoteOff(96, 60)})}), true, 3, 750000, 1000000},
      // Format 2: the second pattern starts where the first ended (tick 96).
      {"format 2 in sequence", Smf(2, 96, {Track({NoteOn(0, 60), NoteOff(96, 60)}), Track({NoteOn(0, 64), NoteOff(96, 64)})}),
       true, 4, 0, 1000000},
      // 25 frames per second, 40 ticks per frame: a millisecond per tick.
      {"SMPTE division", Smf(0, 0xE728, {Track({NoteOn(250, 60), NoteOff(250, 60)})}), true, 2, 250000, 500000},
      {"running status", runningStatus, true, 4, 0, 750000},
      {"a track cut short keeps its events", cutShort, true, 1, 500000, 500000},
      {"a system byte ends the track", badByte, true, 1, 0, 0},
      {"WAVE file", Riff("WAVE", "fmt ", Bytes(16, 0)), false, 0, 0, 0},
      {"AVI file", Riff("AVI ", "LIST", Bytes(16, 0)), false, 0, 0, 0},
      {"RMID form without data", Riff("RMID", "junk", oneNote), false, 0, 0, 0},
      {"no header", Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 0}, false, 0, 0, 0},
      {"division 0", Smf(0, 0, {Track({NoteOn(0, 60)})}), false, 0, 0, 0},
      {"header only", Smf(0, 96, {}), false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MidiSequence sequence;
    ASSERT_EQ(SndParseMidi(c.file.data(), c.file.size(), &sequence), c.loads);
    if (!c.loads) {
      EXPECT_EQ(SndGetError(), kSndErrFileFormat);
      continue;
    }
    EXPECT_EQ(sequence.events.size(), c.events);
    EXPECT_EQ(sequence.lengthUs, c.lengthUs);
    for (const MidiEvent& e : sequence.events) {
      if ((e.status & 0xF0) != 0x90) continue;
      EXPECT_EQ(e.us, c.firstNoteUs);
      break;
    }
  }
}

TEST(MidiReader, TheVolumeCurveFallsAboutTenDecibelsPerHalving) {
  EXPECT_EQ(SndMidiVolumeTable(0), -10000);
  EXPECT_EQ(SndMidiVolumeTable(128), -997);
  EXPECT_EQ(SndMidiVolumeTable(1), -7678);
  EXPECT_EQ(SndMidiVolumeTable(255), 0);
  EXPECT_EQ(SndMidiVolumeTable(256), 0);
  for (int v = 1; v <= 256; v++) EXPECT_GE(SndMidiVolumeTable(v), SndMidiVolumeTable(v - 1)) << v;
}

// The library on the no-sound output with the stepped clock, MIDI through the tiny soundfont.
class MidiSongs : public SteppedSound {
 protected:
  void SetUp() override {
    SteppedSound::SetUp();
    char name[] = "/tmp/qv-midi-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = name;
    WriteFile(folder_ + "/tiny.sf2", TinySoundfont());
    ASSERT_TRUE(SndSetMidiSynth("fluidsynth", (folder_ + "/tiny.sf2").c_str()));
  }
  void TearDown() override {
    SndSetMidiSynth("fluidsynth", "/usr/share/sounds/sf2/TimGM6mb.sf2");
    SteppedSound::TearDown();
    std::filesystem::remove_all(folder_);
  }
  SndSong* Load(const Bytes& file) {
    bytes_ = file;
    SndSong* song = SndLoadSongFromMemory(bytes_.data(), bytes_.size());
    EXPECT_NE(song, nullptr) << "error " << SndGetError();
    return song;
  }
  std::string folder_;
  Bytes bytes_;
};

// The first frame louder than the synthesizer's silence, or -1.
int Onset(const std::vector<int16_t>& stereo) {
  for (size_t i = 0; i < stereo.size(); i++)
    if (std::abs(stereo[i]) > 500) return static_cast<int>(i / 2);
  return -1;
}

TEST_F(MidiSongs, ANoteSoundsAtItsTimeInAnOfflineRender) {
  const int block = SndGetBlockLength();
  const struct {
    const char* name;
    Bytes file;
    int onsetFrame;
  } cases[] = {
      {"note at 0.5 s", OneNote(96), 22050},
      // A set-tempo event at tick 96 doubles the pace: tick 192 falls at 0.75 s.
      {"note after a tempo change", Smf(1, 96, {Track({Tempo(96, 250000)}), Track({NoteOn(192, 60), NoteOff(96, 60)})}),
       33075},
      {"in an RMID form", Riff("RMID", "data", OneNote(48)), 11025},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SndSong* song = Load(c.file);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(SndGetSongType(song), kSndSongMidi);
    ASSERT_TRUE(SndPlaySong(song)) << SndGetError();
    const int onset = Onset(MixBlocks(40));
    EXPECT_NEAR(onset, c.onsetFrame, block);
    SndFreeSong(song);
  }
}

// Pausing (twice) for ten blocks and resuming (twice) gives the same music as playing through,
// with silence between; the song's time does not count the pause. A finished song says so.
// Each render has a song (and synthesizer) of its own: a replay would hear the last reverb.
TEST_F(MidiSongs, PauseAndResumeContinueAtTheSamePoint) {
  const Bytes file = Smf(0, 96, {Track({NoteOn(24, 60), NoteOff(192, 60), NoteOn(0, 72), NoteOff(384, 72)})});
  SndSong* first = Load(file);
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(SndPlaySong(first));
  const std::vector<int16_t> through = MixBlocks(60);
  ASSERT_GT(Onset(through), 0);
  SndFreeSong(first);

  SndSong* song = Load(file);
  ASSERT_NE(song, nullptr);
  ASSERT_TRUE(SndPlaySong(song));
  std::vector<int16_t> paused = MixBlocks(20);
  EXPECT_TRUE(SndPauseSong(song, true));
  EXPECT_TRUE(SndPauseSong(song, true));
  const int timeAtPause = SndGetSongTime(song);
  const std::vector<int16_t> gap = MixBlocks(10);
  EXPECT_EQ(Onset(gap), -1);
  EXPECT_EQ(SndGetSongTime(song), timeAtPause);
  EXPECT_TRUE(SndPauseSong(song, false));
  EXPECT_TRUE(SndPauseSong(song, false));
  const std::vector<int16_t> rest = MixBlocks(40);
  paused.insert(paused.end(), rest.begin(), rest.end());
  EXPECT_TRUE(paused == through) << "the resumed song differs from the one played through";
  EXPECT_NEAR(SndGetSongTime(song), 60 * 25 - SndGetMixBufferLength() / SndGetBlockLength() * 25, 30);

  EXPECT_FALSE(SndIsSongFinished(song));
  EXPECT_TRUE(SndIsSongPlaying(song));
  MixBlocks(70);  // the song is 3.125 s long
  EXPECT_TRUE(SndIsSongFinished(song));
  EXPECT_FALSE(SndIsSongPlaying(song));
  ASSERT_TRUE(SndPlaySong(song));
  EXPECT_FALSE(SndIsSongFinished(song));
  SndFreeSong(song);
}

// Half the song volume is the table's -9.97 dB on what is heard.
TEST_F(MidiSongs, TheSongVolumeScalesTheRender) {
  auto peak = [&](int volume) {
    SndSong* song = Load(OneNote(0, 960));
    SndSetSongVolume(song, volume);
    SndPlaySong(song);
    int top = 0;
    for (int16_t v : MixBlocks(20)) top = std::max(top, std::abs(static_cast<int>(v)));
    SndFreeSong(song);
    return top;
  };
  const int full = peak(256);
  ASSERT_GT(full, 1000);
  EXPECT_NEAR(peak(128) / static_cast<double>(full), std::pow(10.0, -997 / 2000.0), 0.01);
  EXPECT_EQ(peak(0), 0);
}

// Without a synthesizer a MIDI file is refused (error 2), and so is a file of another kind
// (error 10, the last loader's answer); a MIDI song loaded from a file is named after it,
// however long the name.
TEST_F(MidiSongs, LoadingNeedsTheSynthesizerAndNamesTheSongAfterItsFile) {
  const Bytes song = OneNote(0);
  ASSERT_TRUE(SndSetMidiSynth("none", (folder_ + "/tiny.sf2").c_str()));
  EXPECT_EQ(SndLoadSongFromMemory(song.data(), song.size()), nullptr);
  EXPECT_EQ(SndGetError(), kSndErrNotInitialised);
  EXPECT_FALSE(SndSetMidiReverb(true));
  ASSERT_TRUE(SndSetMidiSynth("fluidsynth", (folder_ + "/missing.sf2").c_str()));
  EXPECT_EQ(SndLoadSongFromMemory(song.data(), song.size()), nullptr);
  EXPECT_EQ(SndGetError(), kSndErrNotInitialised);
  ASSERT_TRUE(SndSetMidiSynth("fluidsynth", (folder_ + "/tiny.sf2").c_str()));
  EXPECT_TRUE(SndSetMidiReverb(false));
  const Bytes wave = Riff("WAVE", "fmt ", Bytes(16, 0));
  EXPECT_EQ(SndLoadSongFromMemory(wave.data(), wave.size()), nullptr);
  EXPECT_EQ(SndGetError(), kSndErrFileFormat);

  const std::filesystem::path deep = folder_ + "/" + std::string(200, 'd');
  std::filesystem::create_directories(deep);
  const std::string path = (deep / (std::string(150, 'm') + ".mid")).string();
  WriteFile(path, song);
  SndSong* loaded = SndLoadSong(path.c_str());
  ASSERT_NE(loaded, nullptr) << SndGetError();
  EXPECT_EQ(std::string(SndGetSongName(loaded)), path.substr(0, 255));
  SndFreeSong(loaded);
}

}  // namespace
