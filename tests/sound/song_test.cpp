// Songs: the tick engine (tick length, speed and tempo, break and jump, loops, delays, finish
// and restart), the position callbacks under the stepped clock, voices freed by stop and free,
// replacing samples, and loaders refusing damaged files.
#include <algorithm>
#include <cstdio>
#include <set>

#include "sound/songs/songs_local.h"
#include "tests/sound/song_groups.h"
#include "tests/sound/sound_test_util.h"

using namespace fixtures;

namespace {

class Songs : public SteppedSound {
 protected:
  SndSong* Load(Format f, const Song& s) {
    bytes_ = WriteSong(f, s);
    SndSong* song = SndLoadSongFromMemory(bytes_.data(), bytes_.size());
    EXPECT_NE(song, nullptr) << "error " << SndGetError();
    return song;
  }
  // Runs ticks and lists (order, row) at each row start.
  std::vector<std::pair<int, int>> Rows(SndSong* song, int ticks) {
    std::vector<std::pair<int, int>> rows;
    for (int t = 0; t < ticks; t++) {
      bool rowTick = song->tick == 0;
      song->update(song);
      if (rowTick) rows.push_back({song->order, song->row});
    }
    return rows;
  }
  std::vector<uint8_t> bytes_;
};

TEST_F(Songs, TempoGivesTheTickLengthAndSpeedEffectsChangeTicksPerRow) {
  Song s = BaseSong(kMod, 8);
  s.patterns[0].cells[2][0] = Effect(0xF, 3);    // speed 3
  s.patterns[0].cells[4][0] = Effect(0xF, 150);  // tempo 150
  s.patterns[0].cells[6][0] = Effect(0xF, 0);    // speed 0 acts as 1
  SndSong* song = Load(kMod, s);
  ASSERT_TRUE(SndPlaySong(song));
  EXPECT_EQ(song->samplesPerTick, 882);
  auto rows = Rows(song, 2 * 6 + 2 * 3 + 2 * 3 + 3);
  std::vector<std::pair<int, int>> expected = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}, {0, 8}};
  rows.resize(9);
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(song->samplesPerTick, 735);  // 44100 * 2.5 / 150
  SndSetSongTempo(song, 0);
  EXPECT_EQ(song->tempo, 1);
  SndFreeSong(song);
}

TEST_F(Songs, BreakJumpLoopAndDelayMoveThePositionAsTrackersDo) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> rows;  // the first row visits
  };
  // break_jump: D05 in order 0 row 3 -> order 1 row 5; B02 + D10 in row 7 -> order 2 row 10.
  // pattern_loop: E60 at row 1, E62 at row 3 -> rows 1..3 play three times.
  const Case cases[] = {
      {"break_jump", {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 5}, {1, 6}, {1, 7}, {2, 10}, {2, 11}}},
      {"pattern_loop", {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 1}, {0, 2}, {0, 3}, {0, 1}, {0, 2}, {0, 3}, {0, 4}}},
  };
  for (Format f : {kMod}) {
    for (const Group& g : Groups(f)) {
      for (const Case& c : cases) {
        if (g.name != c.name) continue;
        SCOPED_TRACE(g.name);
        SndSong* song = Load(f, g.song);
        ASSERT_TRUE(SndPlaySong(song));
        auto rows = Rows(song, static_cast<int>(c.rows.size()) * g.song.speed);
        EXPECT_EQ(rows, c.rows);
        SndFreeSong(song);
      }
    }
  }
}

TEST_F(Songs, PatternDelayHoldsTheRowAndTheLastOrderFinishesAndRestarts) {
  Song s = BaseSong(kMod, 4);
  s.orders = {0, 0};
  s.patterns[0].cells[1][0] = Ext(kMod, 0xE, 2);  // two rows' worth of extra ticks
  s.patterns[0].cells[3][1] = Effect(0xD, 0);     // a four-row pattern
  SndSong* song = Load(kMod, s);
  ASSERT_TRUE(SndPlaySong(song));
  auto rows = Rows(song, 6 + 18 + 6 + 6);
  EXPECT_EQ(rows.size(), 4u);
  EXPECT_FALSE(song->finished);
  Rows(song, 36);  // order 1 plays out
  EXPECT_TRUE(song->finished);
  EXPECT_EQ(song->order, 1);
  Rows(song, 1);
  EXPECT_EQ(song->order, 0);  // restart order 0, still reported finished
  EXPECT_TRUE(SndIsSongFinished(song));
  ASSERT_TRUE(SndPlaySong(song));
  EXPECT_FALSE(SndIsSongFinished(song));
  SndFreeSong(song);
}

// --- Callbacks under the stepped clock ---

struct Fired {
  int kind, value, clock;
};
std::vector<Fired> gFired;
void OnRow(SndSong* s, int v) { gFired.push_back({0, v, s->clock}); }
void OnOrder(SndSong* s, int v) { gFired.push_back({1, v, s->clock}); }
void OnSync(SndSong* s, int v) { gFired.push_back({2, v, s->clock}); }
void OnInstrument(SndSong* s, int v) { gFired.push_back({3, v, s->clock}); }

TEST_F(Songs, TheFourCallbackKindsFireOneRingAfterTheirTick) {
  Song s = BaseSong(kS3m, 8);
  s.patterns[0].cells[0][0] = Note(kS3m, 0, 2);
  s.patterns[0].cells[4][1] = Effect(26, 0x42);  // Z42: sync
  std::vector<uint8_t> file = WriteS3m(s);
  SndSong* song = SndLoadSongFromMemory(file.data(), file.size());
  if (!song) GTEST_SKIP() << "S3M not loaded yet";
  gFired.clear();
  SndSetSongRowCallback(song, OnRow, 4);
  SndSetSongOrderCallback(song, OnOrder, 1);
  SndSetSongSyncCallback(song, OnSync);
  SndSetSongInstrumentCallback(song, OnInstrument, 2);
  ASSERT_TRUE(SndPlaySong(song));
  MixBlocks(26);
  // The ring is 100 ms (4 blocks): an event of a tick mixed in the block at clock c fires at
  // c + 75, when that block is being heard. Rows last 6 x 882 samples = 120 ms; row 4 begins
  // 480 ms in, inside the block at clock 475.
  std::vector<Fired> expected = {{0, 0, 75}, {1, 0, 75}, {3, 2, 75}, {0, 4, 550}, {2, 0x42, 550}};
  ASSERT_GE(gFired.size(), expected.size());
  for (size_t i = 0; i < expected.size(); i++) {
    EXPECT_EQ(gFired[i].kind, expected[i].kind) << i;
    EXPECT_EQ(gFired[i].value, expected[i].value) << i;
    EXPECT_EQ(gFired[i].clock, expected[i].clock) << i;
  }
  // Paused: no ticks and no callbacks.
  size_t before = gFired.size();
  SndPauseSong(song, true);
  int clock = song->clock;
  MixBlocks(20);
  EXPECT_EQ(gFired.size(), before);
  EXPECT_EQ(song->clock, clock);
  SndFreeSong(song);
}

TEST_F(Songs, ACallbackThatFiresLateStillFiresAndAFullRingDropsNewEntries) {
  Song s = BaseSong(kMod, 64);
  SndSong* song = Load(kMod, s);
  gFired.clear();
  SndSetSongRowCallback(song, OnRow, 0);
  ASSERT_TRUE(SndPlaySong(song));
  // A due time between two block clocks (never equal to one) fires at the next block.
  song->queues[kQueueRow].due[0] = 12;
  song->queues[kQueueRow].values[0] = 9;
  song->queues[kQueueRow].write = 1;
  MixBlocks(2);
  ASSERT_FALSE(gFired.empty());
  EXPECT_EQ(gFired[0].value, 9);
  EXPECT_EQ(gFired[0].clock, 25);
  // 300 entries queued without mixing: the ring keeps the first 256 and drops the rest.
  SndStopSong(song);
  ASSERT_TRUE(SndPlaySong(song));
  for (int i = 0; i < 300; i++) {
    song->row = 0;
    SndQueueSongCallback(song, kQueueRow, i & 255);
  }
  EXPECT_EQ(song->queues[kQueueRow].write, 0);
  EXPECT_EQ(song->queues[kQueueRow].values[0], 0);
  EXPECT_EQ(song->queues[kQueueRow].values[255], 255);
  SndFreeSong(song);
}

int gCalls = 0;
void StopsItself(SndSong* s, int) {
  gCalls++;
  SndStopSong(s);
  SndPlaySong(s);
  SndFreeSong(s);
}

TEST_F(Songs, ACallbackMayStopReplayAndFreeItsOwnSong) {
  Song s = BaseSong(kMod, 8);
  s.patterns[0].cells[0][0] = Note(kMod, 0, 1);
  SndSong* song = Load(kMod, s);
  SndSetSongRowCallback(song, StopsItself, 1);
  gCalls = 0;
  ASSERT_TRUE(SndPlaySong(song));
  MixBlocks(10);
  EXPECT_EQ(gCalls, 1);
  EXPECT_EQ(SndGetChannelsPlaying(), 0);
}

TEST_F(Songs, StoppingOrFreeingASongFreesEveryVoice) {
  Song s = BaseSong(kMod, 8);
  for (int c = 0; c < 4; c++) s.patterns[0].cells[0][c] = Note(kMod, c, 1);
  SndSong* song = Load(kMod, s);
  ASSERT_TRUE(SndPlaySong(song));
  MixBlocks(4);
  EXPECT_EQ(SndGetChannelsPlaying(), 4);
  int reserved = 0;
  for (int i = 0; i < SndGetChannelCount(); i++) reserved += SndGetChannelReserved(i);
  EXPECT_EQ(reserved, 4);
  SndStopSong(song);
  EXPECT_EQ(SndGetChannelsPlaying(), 0);
  for (int i = 0; i < SndGetChannelCount(); i++) EXPECT_FALSE(SndGetChannelReserved(i));
  ASSERT_TRUE(SndPlaySong(song));
  MixBlocks(4);
  EXPECT_TRUE(SndFreeSong(song));
  EXPECT_EQ(SndGetChannelsPlaying(), 0);
  // Shut-down stops what still plays.
  SndSong* again = Load(kMod, s);
  ASSERT_TRUE(SndPlaySong(again));
  MixBlocks(2);
  SndShutdown();
  EXPECT_FALSE(SndIsSongPlaying(again));
  SndFreeSong(again);
}

TEST_F(Songs, ReplacingASamplePointsVoicesAtTheNewOneBeforeTheOldIsFreed) {
  Song s = BaseSong(kMod, 8);
  s.patterns[0].cells[0][0] = Note(kMod, 0, 1);
  s.patterns[0].cells[0][0].effect = 0xE;
  s.patterns[0].cells[0][0].param = 0x91;  // retrigger every tick: restarts the voice's sample
  SndSong* song = Load(kMod, s);
  ASSERT_TRUE(SndPlaySong(song));
  MixBlocks(2);
  SndSample* old = SndGetSongSample(song, 0);
  SndSample* fresh = MakeSample(std::vector<int>(500, 40), false, false, kSndLoopNormal, 8363);
  ASSERT_TRUE(SndSetSongSample(song, 0, fresh));
  EXPECT_EQ(SongSampleVolume(fresh), SongSampleVolume(old == fresh ? fresh : fresh));
  EXPECT_EQ(FirstVoice(&song->channels[0])->sample, fresh);
  MixBlocks(4);  // retriggers play the new sample (ASan catches a freed one)
  EXPECT_EQ(FirstVoice(&song->channels[0])->channel->sample, fresh);
  SndFreeSong(song);
  EXPECT_EQ(SndGetSampleLength(fresh), 500u);  // the caller's sample outlives the song
  SndFreeSample(fresh);
}

TEST_F(Songs, GettersAndSettersClampAndRefuseNull) {
  SndSong* song = Load(kMod, BaseSong(kMod, 8));
  SndSetSongVolume(song, 300);
  EXPECT_EQ(SndGetSongVolume(song), 256);
  SndSetSongVolume(song, -5);
  EXPECT_EQ(SndGetSongVolume(song), 0);
  SndSetSongPanSeparation(song, NAN);
  EXPECT_EQ(song->panSeparation, 0.0f);
  EXPECT_EQ(SndGetSongType(song), kSndSongMod);
  EXPECT_EQ(SndGetSongChannelCount(song), 4);
  EXPECT_EQ(SndGetSongSampleCount(song), 31);
  EXPECT_EQ(SndGetSongSample(song, 31), nullptr);
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
  EXPECT_FALSE(SndSetSongRowCallback(song, OnRow, -1));
  EXPECT_FALSE(SndFreeSong(nullptr));
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
  EXPECT_EQ(SndGetSongSpeed(nullptr), -1);
  SndFreeSong(song);
  // By name through the file layer.
  std::string path = ::testing::TempDir() + "song_test_by_name.mod";
  std::vector<uint8_t> file = WriteMod(BaseSong(kMod, 8));
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  SndSong* byName = SndLoadSong(path.c_str());
  ASSERT_NE(byName, nullptr);
  EXPECT_EQ(SndGetSongType(byName), kSndSongMod);
  SndFreeSong(byName);
  std::remove(path.c_str());
  EXPECT_EQ(SndLoadSong(path.c_str()), nullptr);
  EXPECT_EQ(SndGetError(), kSndErrFileOpen);
  const char junk[2000] = "not a song";
  EXPECT_EQ(SndLoadSongFromMemory(junk, sizeof junk), nullptr);
  EXPECT_EQ(SndGetError(), kSndErrFileFormat);
}

struct DamageCase {
  const char* name;
  std::function<void(std::vector<uint8_t>&)> damage;
  bool loads;
};

// Loads each damaged copy of `good`: refused, or loaded and played a little (under ASan a
// read past the file fails the test).
template <size_t N>
void RunCases(const std::vector<uint8_t>& good, const DamageCase (&cases)[N]) {
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = good;
    c.damage(bytes);
    SndSong* song = SndLoadSongFromMemory(bytes.data(), bytes.size());
    EXPECT_EQ(song != nullptr, c.loads);
    if (!song) continue;
    ASSERT_TRUE(SndPlaySong(song));
    MixBlocks(8);
    SndFreeSong(song);
  }
}

TEST_F(Songs, DamagedFilesAreRefusedOrClamped) {
  Song base = BaseSong(kMod, 8);
  std::vector<uint8_t> good = WriteMod(base);
  using Case = DamageCase;
  const Case cases[] = {
      {"channel digits not decimal", [](auto& b) { std::memcpy(&b[1080], "x4CH", 4); }, false},
      {"zero channels", [](auto& b) { std::memcpy(&b[1080], "00CH", 4); }, false},
      {"33 channels", [](auto& b) { std::memcpy(&b[1080], "33CH", 4); }, false},
      {"16 channels", [](auto& b) { std::memcpy(&b[1080], "16CH", 4); }, true},
      {"truncated after the header", [](auto& b) { b.resize(1090); }, true},
      {"loop start past the end", [](auto& b) { b[20 + 26] = 0xFF; b[20 + 27] = 0xFF; }, true},
      {"order past 127", [](auto& b) { b[952] = 200; }, false},
      {"packed sample cut short", [](auto& b) { std::memcpy(&b[1084 + 1024], "ADPCM", 5); b.resize(1084 + 1024 + 12); }, true},
  };
  RunCases(good, cases);
  // XM: counts and sizes checked against their tables and the file.
  std::vector<uint8_t> xm = WriteXm(BaseSong(kXm, 8));
  auto put16 = [](std::vector<uint8_t>& b, size_t at, int v) { b[at] = v & 255; b[at + 1] = (v >> 8) & 255; };
  const char kSampleName[] = "sample";  // 18 bytes into the first sample header
  const size_t xmSample0 = static_cast<size_t>(std::search(xm.begin(), xm.end(), kSampleName, kSampleName + 6) - xm.begin()) - 18;
  const Case xmCases[] = {
      {"song length 0", [&](auto& b) { put16(b, 64, 0); }, false},
      {"song length 257", [&](auto& b) { put16(b, 64, 257); }, false},
      {"no channels", [&](auto& b) { put16(b, 68, 0); }, false},
      {"65 channels", [&](auto& b) { put16(b, 68, 65); }, false},
      {"pattern of 0 rows", [&](auto& b) { put16(b, 341, 0); }, false},
      {"pattern of 257 rows", [&](auto& b) { put16(b, 341, 257); }, false},
      {"packed size past the end", [&](auto& b) { put16(b, 343, 0xFFFF); }, false},
      {"pattern header length 2", [&](auto& b) { b[336] = 2; }, false},
      {"restart past the length", [&](auto& b) { put16(b, 66, 200); }, true},
      {"cut inside the sample data", [](auto& b) { b.resize(b.size() - 3000); }, true},
      {"notes 98-127 in a pattern", [](auto& b) { b[348] = 0x80 | 1; b[349] = 120; }, true},
      {"packed sample of 4 G frames", [&](auto& b) { std::memset(&b[xmSample0], 0xFF, 4); b[xmSample0 + 17] = 0xAD; }, true},
  };
  RunCases(xm, xmCases);
  // S3M: counts against their tables, pointers and lengths against the file.
  Song s3mSong = BaseSong(kS3m, 8);
  s3mSong.patterns[0].cells[0][0] = Note(kS3m, 0, 1);
  std::vector<uint8_t> s3m = WriteS3m(s3mSong);
  const size_t s3mOrders = 96, s3mPointers = s3mOrders + 2;  // two order bytes
  auto para = [&](size_t at) { return static_cast<size_t>(s3m[at] | s3m[at + 1] << 8) * 16; };
  const size_t s3mSample0 = para(s3mPointers), s3mPattern0 = para(s3mPointers + 4);
  const Case s3mCases[] = {
      {"order count 300", [&](auto& b) { put16(b, 32, 300); }, false},
      {"orders of markers only", [&](auto& b) { b[s3mOrders] = 254; }, false},
      {"no channel enabled", [&](auto& b) { std::memset(&b[64], 255, 32); }, false},
      {"sample length past the file", [&](auto& b) { put16(b, s3mSample0 + 0x10, 0xFFFF); b[s3mSample0 + 0x12] = 0x7F; }, true},
      {"loop end past the length", [&](auto& b) { put16(b, s3mSample0 + 0x18, 0xFFFF); b[s3mSample0 + 0x1F] = 1; }, true},
      {"16-bit sample", [&](auto& b) { b[s3mSample0 + 0x1F] |= 4; }, true},
      {"packed sample past the file", [&](auto& b) { put16(b, s3mSample0 + 0x10, 0xFFFF); b[s3mSample0 + 0x12] = 0x7F; b[s3mSample0 + 0x1E] = 4; }, true},
      {"pattern pointer past the end", [&](auto& b) { put16(b, s3mPointers + 4, 0xFFFF); }, true},
      {"note with semitone 12, volume 200", [&](auto& b) { b[s3mPattern0 + 3] = 0x4C; b[s3mPattern0 + 2] |= 64; }, true},
      {"cut inside the patterns", [&](auto& b) { b.resize(s3mPattern0 + 3); }, true},
  };
  RunCases(s3m, s3mCases);
  // IT: the tables and offsets are checked against the file.
  std::vector<uint8_t> it = WriteIt(BaseSong(kIt, 8));
  auto get32 = [&](size_t at) { return static_cast<size_t>(it[at] | it[at + 1] << 8 | it[at + 2] << 16 | it[at + 3] << 24); };
  const size_t table = 192 + 2;  // after the two order bytes
  const size_t instrument0 = get32(table), sample0 = get32(table + 8), pattern0 = get32(table + 16);
  const Case itCases[] = {
      {"order count 300", [&](auto& b) { put16(b, 32, 300); }, false},
      {"orders of markers only", [&](auto& b) { b[192] = 254; }, false},
      {"pattern bytes past the end", [&](auto& b) { put16(b, pattern0, 0xFFFF); }, false},
      {"pattern of 0 rows", [&](auto& b) { put16(b, pattern0 + 2, 0); }, false},
      {"no IMPI", [&](auto& b) { b[instrument0] = 'X'; }, false},
      {"sample data past the end", [&](auto& b) { put16(b, sample0 + 0x48, 0xFFFF); b[sample0 + 0x4A] = 0x7F; }, true},
      {"compressed by the sample's flag", [&](auto& b) { b[sample0 + 0x12] |= 8; }, true},
      {"old-format instruments", [&](auto& b) { put16(b, 42, 0x100); }, true},
      {"volume envelope of 30 points", [&](auto& b) { b[instrument0 + 0x131] = 30; }, true},
      {"mix volume 255", [&](auto& b) { b[49] = 255; }, true},
      {"cut in the sample data", [](auto& b) { b.resize(b.size() - 5000); }, true},
  };
  RunCases(it, itCases);
  std::vector<uint8_t> loud = it;
  loud[49] = 255;
  SndSong* capped = SndLoadSongFromMemory(loud.data(), loud.size());
  ASSERT_NE(capped, nullptr);
  EXPECT_EQ(SndGetSongVolume(capped), 256);
  SndFreeSong(capped);
  // Pan 0x80 is the right side.
  Song s = BaseSong(kMod, 4);
  s.patterns[0].cells[0][0] = Note(kMod, 0, 1, 8, 0x80);
  SndSong* song = Load(kMod, s);
  ASSERT_TRUE(SndPlaySong(song));
  song->update(song);
  EXPECT_EQ(FirstVoice(&song->channels[0])->pan, 255);
  SndFreeSong(song);
}

// Sample lengths beyond the file and loops starting past a sample's end, in each format: the
// song loads with samples no longer than the file holds (nothing is allocated from a header's
// word alone) and loops inside their samples, and plays.
TEST_F(Songs, SampleLengthsAndLoopsAreCheckedAgainstTheFile) {
  auto put32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; k++) b[at + k] = static_cast<uint8_t>(v >> (8 * k));
  };
  auto get16 = [](const std::vector<uint8_t>& b, size_t at) { return static_cast<size_t>(b[at] | b[at + 1] << 8); };
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
  };
  std::vector<Case> cases;
  {
    std::vector<uint8_t> mod = WriteMod(BaseSong(kMod, 8));
    mod[20 + 26] = 0xFF;  // loop start (words) far past the 32-word sample, loop length 16 words
    mod[20 + 27] = 0xF0;
    mod[20 + 28] = 0;
    mod[20 + 29] = 16;
    cases.push_back({"MOD loop start past the end", mod});
  }
  {
    Song s = BaseSong(kS3m, 8);
    s.patterns[0].cells[0][0] = Note(kS3m, 0, 1);
    std::vector<uint8_t> s3m = WriteS3m(s);
    size_t sample = get16(s3m, 96 + 2) * 16;
    put32(s3m, sample + 0x14, 0x10000);  // loop begin past the end, loop end beyond it
    put32(s3m, sample + 0x18, 0x10010);
    cases.push_back({"S3M loop begin past the end", s3m});
    put32(s3m, sample + 0x10, 0xFFFFFFF0);  // and a length of 4 GB
    cases.push_back({"S3M length of 4 GB", s3m});
  }
  {
    std::vector<uint8_t> xm = WriteXm(BaseSong(kXm, 8));
    size_t instrument = 336 + 9 + get16(xm, 336 + 7), sample = instrument + 263;
    put32(xm, sample + 4, 0xFFFFFF00);  // loop start and length that wrap past 2^32 together
    put32(xm, sample + 8, 0x00000200);
    cases.push_back({"XM loop wrapping past 2^32", xm});
    put32(xm, sample, 0xFFFFFFF0);  // a length of 4 GB in a small file
    cases.push_back({"XM length of 4 GB", xm});
  }
  {
    std::vector<uint8_t> it = WriteIt(BaseSong(kIt, 8));
    size_t sample = static_cast<size_t>(it[194 + 8] | it[194 + 9] << 8 | it[194 + 10] << 16);
    put32(it, sample + 0x30, 0x3FFFFFF);  // 64 M frames of compressed data in a small file
    it[sample + 0x12] |= 8;
    cases.push_back({"IT compressed length past the file", it});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SndSong* song = SndLoadSongFromMemory(c.file.data(), c.file.size());
    ASSERT_NE(song, nullptr) << SndGetError();
    for (int i = 0; i < SndGetSongSampleCount(song); i++) {
      SndSample* sample = SndGetSongSample(song, i);
      if (!sample) continue;
      EXPECT_LE(sample->length, c.file.size() * 8);
      EXPECT_LE(uint64_t{sample->loopStart} + sample->loopLength, uint64_t{sample->length});
    }
    ASSERT_TRUE(SndPlaySong(song));
    MixBlocks(8);
    SndFreeSong(song);
  }
}

}  // namespace

namespace {

TEST_F(Songs, ItOrdersSkipMarkersAndEndAtTheEndMarker) {
  Song s = BaseSong(kIt, 4);
  s.orders = {0, 254, 1, 255, 1};
  s.patterns.push_back(MakePattern(4, s.channels));
  SndSong* song = Load(kIt, s);
  ASSERT_TRUE(SndPlaySong(song));
  std::vector<int> orders;
  for (int t = 0; t < 6 * 12; t++) {
    bool rowTick = song->tick == 0;
    song->update(song);
    if (rowTick && song->row == 0) orders.push_back(song->order);
  }
  EXPECT_EQ(orders, (std::vector<int>{0, 2, 0}));
  EXPECT_TRUE(song->finished);
  SndFreeSong(song);
}

TEST_F(Songs, ItBackgroundVoicesOfLoopedSamplesAreCapped) {
  Song s = BaseSong(kIt, 16);
  s.instruments[0].nna = 1;  // continue: each new note leaves the old one sounding
  for (int r = 0; r < 16; r++) s.patterns[0].cells[r][0] = Note(kIt, r % 5, 1);
  SndSong* song = Load(kIt, s);
  ASSERT_TRUE(SndPlaySong(song));
  MixBlocks(40);
  // One foreground voice and at most four background voices of the looped sample.
  EXPECT_LE(SndGetChannelsPlaying(), 5);
  EXPECT_GE(SndGetChannelsPlaying(), 3);
  SndFreeSong(song);
  EXPECT_EQ(SndGetChannelsPlaying(), 0);
}

}  // namespace
