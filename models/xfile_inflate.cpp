// Compressed .x bodies ("tzip" and "bzip"): inflated through zlib, block by block, into the
// text or binary body the token stream reads.
#include <zlib.h>

#include <cstring>

#include "models/models_local.h"

namespace {

constexpr size_t kHistory = 32768;               // a block may refer back this far
constexpr uint64_t kMaxInflated = 256u << 20;    // refuse bodies claiming more than 256 MB

bool Refuse(std::string& error, const std::string& why) {
  error = "compressed .x file: " + why;
  return false;
}

}  // namespace

// After the 16-byte header: a 32-bit size of the whole uncompressed file (header included),
// then blocks of a 16-bit uncompressed size, a 16-bit compressed size counting the "CK"
// signature that starts the block, and raw deflate data whose back references may reach into
// the previous block's output (MSZIP).
bool XInflateBody(const uint8_t* body, size_t size, std::string& out, std::string& error) {
  out.clear();
  if (size < 4) return Refuse(error, "no size");
  const uint32_t whole = static_cast<uint32_t>(body[0]) | static_cast<uint32_t>(body[1]) << 8 |
                         static_cast<uint32_t>(body[2]) << 16 | static_cast<uint32_t>(body[3]) << 24;
  if (whole < 16 || whole > kMaxInflated) return Refuse(error, "bad size " + std::to_string(whole));
  const size_t wanted = whole - 16;
  out.reserve(wanted);
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  if (inflateInit2(&stream, -15) != Z_OK) return Refuse(error, "out of memory");
  size_t position = 4;
  bool ok = true;
  while (ok && out.size() < wanted) {
    if (size - position < 6) {
      ok = Refuse(error, "truncated block header");
      break;
    }
    const size_t plain = body[position] | body[position + 1] << 8;
    const size_t packed = body[position + 2] | body[position + 3] << 8;
    position += 4;
    if (packed < 2 || packed > size - position || body[position] != 'C' || body[position + 1] != 'K') {
      ok = Refuse(error, "bad block at byte " + std::to_string(position + 16));
      break;
    }
    if (plain == 0 || plain > wanted - out.size()) {
      ok = Refuse(error, "block larger than the file's size");
      break;
    }
    inflateReset(&stream);
    if (!out.empty()) {
      const size_t keep = out.size() < kHistory ? out.size() : kHistory;
      inflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(out.data() + out.size() - keep),
                           static_cast<uInt>(keep));
    }
    const size_t start = out.size();
    out.resize(start + plain);
    stream.next_in = const_cast<Bytef*>(body + position + 2);
    stream.avail_in = static_cast<uInt>(packed - 2);
    stream.next_out = reinterpret_cast<Bytef*>(&out[start]);
    stream.avail_out = static_cast<uInt>(plain);
    const int result = inflate(&stream, Z_FINISH);
    if (result != Z_STREAM_END || stream.avail_out != 0) {
      ok = Refuse(error, "damaged block at byte " + std::to_string(position + 16));
      break;
    }
    position += packed;
  }
  inflateEnd(&stream);
  return ok;
}
