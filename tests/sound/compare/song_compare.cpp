// Renders tracker songs with our player, libxmp and libopenmpt and prints how they compare:
// the 50 ms loudness envelopes' correlation, the spectral centroid, and with --windows the
// pitch and level of every 20 ms window. A developer's tool for finding where we play a song
// differently; the song tests check the same measures on generated songs.
//   song_compare [--seconds N] [--windows] FILE...
//   song_compare [--seconds N] [--windows] --corpus DIR [NAME...]  writes the effect-test songs
//   into DIR and compares those (all, or those whose name contains a NAME)
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/sound/song_corpus.h"
#include "tests/sound/song_render.h"

using namespace songcheck;

static std::vector<uint8_t> ReadFile(const char* name) {
  std::ifstream in(name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

static void Compare(const char* name, const std::vector<uint8_t>& file, double seconds, bool windows);

int main(int argc, char** argv) {
  double seconds = 30;
  bool windows = false;
  const char* corpus = nullptr;
  std::vector<std::string> only;
  for (int i = 1; i < argc; i++) {
    if (!std::strcmp(argv[i], "--corpus") && i + 1 < argc) {
      corpus = argv[++i];
      continue;
    }
    if (corpus) {
      only.push_back(argv[i]);
      continue;
    }
    if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
      continue;
    }
    if (!std::strcmp(argv[i], "--windows")) {
      windows = true;
      continue;
    }
    Compare(argv[i], ReadFile(argv[i]), seconds, windows);
  }
  if (!corpus) return 0;
  for (const fixtures::CorpusSong& c : fixtures::EffectCorpus()) {
    bool wanted = only.empty();
    for (const std::string& o : only) wanted = wanted || c.name.find(o) != std::string::npos;
    if (!wanted) continue;
    std::vector<uint8_t> file = fixtures::WriteSong(c.format, c.song);
    std::string path = std::string(corpus) + "/" + c.name + "." + fixtures::FormatExtension(c.format);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    Compare(c.name.c_str(), file, seconds, windows);
  }
  return 0;
}

static void Compare(const char* name, const std::vector<uint8_t>& file, double seconds, bool windows) {
  {
    int error = 0;
    std::vector<float> ours = RenderOurs(file, seconds, &error), xmp = RenderXmp(file, seconds), mpt = RenderOpenMpt(file, seconds);
    if (ours.empty()) {
      std::printf("%-40s ours: not loaded (error %d)\n", name, error);
      return;
    }
    const std::vector<float>&a = ours, &b = xmp, &c = mpt;  // every player starts the song at its first frame
    std::printf("%-40s env ours/xmp %.2f ours/mpt %.2f xmp/mpt %.2f  centroid %5.0f %5.0f %5.0f Hz  start %zu %zu %zu\n",
                name, EnvelopeCorrelation(a, b), EnvelopeCorrelation(a, c), EnvelopeCorrelation(b, c),
                SpectralCentroid(a), SpectralCentroid(b), SpectralCentroid(c), FirstSound(ours), FirstSound(xmp),
                FirstSound(mpt));
    Agreement agreement = Agree(a, b, c);
    std::printf("    gain against libxmp: ours %+.1f dB, libopenmpt %+.1f dB\n", agreement.oursGain, agreement.mptGain);
    std::printf("    where the references agree (%d windows): pitch differs in %d, level in %d (as rendered in %d), pan in %d\n",
                agreement.compared, agreement.pitchWrong, agreement.levelWrong, agreement.loudnessWrong, agreement.panWrong);
    for (const std::string& note : agreement.notes) std::printf("      %s\n", note.c_str());
    if (!windows) return;
    std::vector<Window> wa = Windows(a), wb = Windows(b), wc = Windows(c);
    size_t n = std::min({wa.size(), wb.size(), wc.size()});
    std::printf("  window   ours Hz    dB   pan |  xmp Hz    dB   pan |  mpt Hz    dB   pan\n");
    for (size_t w = 0; w < n; w++) {
      std::printf("  %6zu %8.1f %5.1f %+5.1f | %7.1f %5.1f %+5.1f | %7.1f %5.1f %+5.1f%s\n", w, wa[w].hz, wa[w].db,
                  wa[w].balance, wb[w].hz, wb[w].db, wb[w].balance, wc[w].hz, wc[w].db, wc[w].balance,
                  (wb[w].hz > 0 && wc[w].hz > 0 && std::fabs(wb[w].hz / wc[w].hz - 1) < 0.03 &&
                   std::fabs(wa[w].hz / wb[w].hz - 1) >= 0.03)
                      ? "  <- pitch"
                      : "");
    }
  }
}
