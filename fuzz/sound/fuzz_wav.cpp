// Feeds arbitrary bytes to the WAV loader as a memory image (chunk walk with cue points and
// labels, every decoder, the sample fill): it must fail cleanly or load, never read past them.
#include <cstdint>
#include <vector>

#include "sound/sound_local.h"

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
