// Feeds arbitrary bytes to the IT sample decompressor: the first byte picks 8/16 bits, the
// 2.14/2.15 variant and a frame count; the rest is the packed data. It must never read past it.
#include <cstdint>
#include <vector>

#include "sound/sound_local.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  bool sixteenBit = (data[0] & 1) != 0;
  bool it215 = (data[0] & 2) != 0;
  uint32_t frames = 1 + ((static_cast<uint32_t>(data[1]) << 8 | data[2]) % 40000);
  std::vector<uint8_t> destination(static_cast<size_t>(frames) * (sixteenBit ? 2 : 1));
  // Only the bytes past the header are handed over, in a buffer of exactly that size.
  std::vector<uint8_t> packed(data + 3, data + size);
  SndDecompressIt(destination.data(), frames, sixteenBit, it215, packed.data(), static_cast<uint32_t>(packed.size()));
  return 0;
}
