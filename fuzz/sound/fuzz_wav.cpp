// Feeds arbitrary bytes to the WAV loader as a memory image (chunk walk with cue points and
// labels, every decoder, the sample fill): it must fail cleanly or load, never read past them.
// The seeds, one small file per format (PCM of 16, 24 and 32 bits, plain and extensible, six
// channels, both ADPCM kinds, A-law, 32/64-bit float, GSM), are made by sox at start-up when
// it is installed.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_corpus.h"
#include "sound/sound_local.h"

namespace {
char gScratch[] = "/tmp/qv-fuzz-wav-XXXXXX";
char gSeeds[] = "/tmp/qv-fuzz-wav-seeds-XXXXXX";
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  if (mkdtemp(gSeeds) == nullptr) return 0;
  const std::string folder = gSeeds;
  const std::string source = folder + "/source.wav";
  std::string command = "sox -n -r 8000 -c 2 -b 16 '" + source + "' synth 0.1 sine 300-2000 2>/dev/null";
  if (std::system(command.c_str()) == 0) {
    const char* formats[][2] = {{"ima", "-e ima-adpcm"},      {"ms", "-e ms-adpcm"},
                                {"alaw", "-e a-law"},         {"float32", "-e floating-point -b 32"},
                                {"float64", "-e floating-point -b 64"}, {"gsm", "-e gsm-full-rate"},
                                {"pcm24", "-b 24 -t wavpcm"}, {"pcm24-extensible", "-b 24 -t wav"},
                                {"pcm32", "-b 32 -e signed"}, {"six", "-b 24 -c 6"}};
    for (const auto& format : formats) {
      command = "sox '" + source + "' " + format[1] + " '" + folder + "/" + format[0] + ".wav' 2>/dev/null";
      if (std::system(command.c_str()) != 0) {}
    }
  }
  AddSeedCorpus(argc, argv, gScratch, gSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = [] {
    SndUseSteppedClock(true);
    SndSelectOutput(0);
    return SndStartup(44100, 8, 0);
  }();
  if (!started || size == 0 || size > (1u << 20)) return 0;
  // The image in a buffer of exactly its size, so any read past it is caught.
  std::vector<uint8_t> image(data, data + size);
  SndFile* file = SndFileOpen(image.data(), kSndFileMemory, static_cast<int64_t>(image.size()));
  SndWavInfo info;
  std::vector<SndSyncPoint> points;
  SndParseRiff(file, &info, &points);
  SndFileClose(file);
  SndSample* sample = SndLoadWavMemory(-1, image.data(), 0, static_cast<int>(image.size()));
  if (sample) SndFreeSample(sample);
  return 0;
}
