// Feeds arbitrary bytes to the cue-sheet reader and lays out the tracks of what it accepts over
// files of sizes taken from the input: it must refuse cleanly or give tracks within the files.
#include <cstdint>
#include <string>
#include <vector>

#include "sound/cd/cd_local.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20) + 16) return 0;
  // The text in a buffer of exactly its size, so any read past it is caught.
  std::vector<char> text(data, data + size);
  SndCueSheet sheet;
  std::string error;
  if (!SndReadCueSheet(text.data(), text.size(), &sheet, &error)) return 0;
  std::vector<int64_t> sizes;
  for (size_t i = 0; i < sheet.files.size(); i++) sizes.push_back(int64_t(size > i ? data[i] : 0) * 2352 * 7);
  for (const SndCdTrack& track : SndLayOutCueTracks(sheet, sizes)) {
    if (track.sectors < 0 || track.file < 0 || size_t(track.file) >= sizes.size()) __builtin_trap();
    if (track.audio && track.sectors > 0 && track.byteOffset + track.sectors * 2352 > sizes[size_t(track.file)]) __builtin_trap();
  }
  return 0;
}
