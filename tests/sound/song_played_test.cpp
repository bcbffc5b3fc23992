// What the effect-test songs sound like, 20 ms window by window, against libxmp and libopenmpt:
// wherever the two reference players agree on a window's pitch, level or balance, ours agrees
// too. The songs: one effect per row, and the file variants real songs come in.
#include <map>
#include <set>

#include "tests/sound/song_corpus.h"
#include "tests/sound/song_render.h"

using namespace fixtures;
using namespace songcheck;

namespace {

// Where we keep a rule of our own although both references play otherwise, by song and
// quantity, and why.
const std::map<std::string, std::set<std::string>> kOwnRule = {
    // MOD slides stop at a quarter of the period table's last entry going up and have no lower
    // limit; the references keep the Amiga's octaves.
    {"mod_period_limits", {"pitch"}},
    // Both references read the unplayed pattern's bytes as sample data and play noise, louder
    // than the samples (see below).
    {"mod_unplayed_pattern", {"loudness"}},
    // The square tremolo turns to its low half a tick apart in the two references; the one window
    // between them is ours either way.
    {"s3m_tremolo", {"level"}},
};

bool OwnRule(const std::string& name, const char* quantity) {
  for (const std::string& key : {name, name.substr(0, 4) + "*"}) {
    auto it = kOwnRule.find(key);
    if (it != kOwnRule.end() && it->second.count(quantity)) return true;
  }
  return false;
}

TEST(SongsPlayed, EveryEffectSongPlaysWhatBothReferencePlayersAgreeOn) {
  for (const CorpusSong& c : EffectCorpus()) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> file = WriteSong(c.format, c.song);
    const double seconds = 1.6;
    int error = 0;
    Render ours = RenderOurs(file, seconds, &error), xmp = RenderXmp(file, seconds), mpt = RenderOpenMpt(file, seconds);
    ASSERT_FALSE(ours.empty()) << "not loaded: error " << error;
    ASSERT_FALSE(xmp.empty());
    ASSERT_FALSE(mpt.empty());
    Agreement a = Agree(ours, xmp, mpt);
    EXPECT_GT(a.compared, 15);  // the references agree on a good part of the song
    std::string differences;
    for (const std::string& n : a.notes) differences += "\n  " + n;
    const std::pair<const char*, int> wrong[] = {
        {"pitch", a.pitchWrong}, {"level", a.levelWrong}, {"loudness", a.loudnessWrong}, {"pan", a.panWrong}};
    for (const auto& [quantity, windows] : wrong) {
      if (!OwnRule(c.name, quantity)) {
        EXPECT_EQ(windows, 0) << quantity << differences;
      }
    }
  }
}

// A MOD that stores a pattern no order plays keeps its samples at the end of the file: they
// sound as in the same song without that pattern (both references read pattern bytes as sample
// data there, and play noise).
TEST(SongsPlayed, AModWithAnUnplayedPatternReadsItsSamplesFromTheEnd) {
  const Song* plain = nullptr;
  const Song* unplayed = nullptr;
  std::vector<CorpusSong> corpus = EffectCorpus();
  for (const CorpusSong& c : corpus) {
    if (c.name == "mod_finetune") plain = &c.song;
    if (c.name == "mod_unplayed_pattern") unplayed = &c.song;
  }
  ASSERT_TRUE(plain && unplayed);
  double expected = SpectralCentroid(RenderOurs(WriteMod(*plain), 1.0));
  double got = SpectralCentroid(RenderOurs(WriteMod(*unplayed), 1.0));
  EXPECT_NEAR(got, expected, expected * 0.05);
}

// The comparison itself: a level lost over the whole song is taken out with each render's
// overall gain, so the level as rendered is compared too; and a song that does not load says why.
TEST(SongsPlayed, TheComparisonSeesALevelLostOverTheWholeSong) {
  std::vector<uint8_t> file = WriteSong(kXm, Sequence(kXm, {Note(kXm, 12, 1), Cell{}, Note(kXm, 7, 1)}));
  Render ours = RenderOurs(file, 1.0), xmp = RenderXmp(file, 1.0), mpt = RenderOpenMpt(file, 1.0);
  for (float& v : ours) v *= 0.5f;  // 6 dB down throughout
  Agreement a = Agree(ours, xmp, mpt);
  EXPECT_EQ(a.levelWrong, 0);
  EXPECT_GT(a.loudnessWrong, a.compared / 2);
  EXPECT_NEAR(a.oursGain, -6, 1);
}

TEST(SongsPlayed, ASongThatDoesNotLoadSaysWhy) {
  std::vector<uint8_t> file = WriteSong(kXm, Sequence(kXm, {Note(kXm, 12, 1)}));
  file[60] = 5;  // a header too short to hold the order table
  int error = 0;
  EXPECT_TRUE(RenderOurs(file, 0.1, &error).empty());
  EXPECT_EQ(error, kSndErrFileFormat);
}

}  // namespace
