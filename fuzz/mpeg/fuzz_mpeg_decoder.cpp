// Feeds arbitrary bytes to the MPEG audio decoder as a stream: every position that holds a
// header it takes is decoded as a frame, so headers, side information, the reservoir and the
// Huffman data all meet hostile bytes. The decoder must never read past the input it is given.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sound/mpeg/mpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> input(data, data + size);  // exactly the input's size
  SndMpegDecoder* decoder = SndMpegCreate();
  std::vector<int16_t> pcm(kSndMpegMaxOutputBytes / 2);
  size_t pos = 0;
  while (pos + 4 <= input.size()) {
    SndMpegFrameInfo info;
    int available = static_cast<int>(input.size() - pos);
    if (!SndMpegPeekHeader(decoder, &input[pos], &info)) {
      pos++;
      continue;
    }
    SndMpegIsTagFrame(&input[pos], available);
    int bytes = 0;
    SndMpegDecodeFrame(decoder, &input[pos], available, pcm.data(), &bytes);
    if (bytes < 0 || bytes > kSndMpegMaxOutputBytes) __builtin_trap();
    pos += static_cast<size_t>(info.frameBytes);
  }
  SndMpegFree(decoder);
  return 0;
}
