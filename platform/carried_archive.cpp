// The carried archive's format: the table read through a bounded cursor, items unpacked and
// packed with zlib, records written for the build tool and the game builder.
#include "platform/carried_archive.h"

#include <zlib.h>

#include <cstring>

namespace {

constexpr char kMagic[8] = {'Q', 'V', 'C', 'A', 'R', 'R', 'Y', '2'};
constexpr uint32_t kMaxName = 255;
constexpr uint32_t kMaxNeeds = 64 * 1024;      // a closure of a few hundred sonames
constexpr uint32_t kMaxItemSize = 1u << 30;    // no library or soundfont comes near

// A read past the end returns zeros and sets the sticky error flag.
struct Cursor {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  bool error = false;
  size_t Remaining() const { return size - pos; }
  uint32_t Word() {
    if (Remaining() < 4) {
      error = true;
      pos = size;
      return 0;
    }
    const uint8_t* at = data + pos;
    pos += 4;
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
  }
  const uint8_t* Take(size_t n) {
    if (Remaining() < n) {
      error = true;
      pos = size;
      return nullptr;
    }
    pos += n;
    return data + pos - n;
  }
};

bool Fail(std::string* whyNot, const std::string& reason) {
  if (whyNot != nullptr) *whyNot = reason;
  return false;
}

void PutWord(std::vector<uint8_t>* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

bool ParseCarriedArchive(const uint8_t* data, size_t size, std::vector<CarriedItem>* items, std::string* whyNot) {
  items->clear();
  if (data == nullptr || size < sizeof kMagic || std::memcmp(data, kMagic, sizeof kMagic) != 0)
    return Fail(whyNot, "not an archive of carried libraries");
  Cursor in{data, size, sizeof kMagic};
  while (in.Remaining() > 0) {
    const std::string where = "item " + std::to_string(items->size() + 1);
    CarriedItem item;
    const uint32_t nameLength = in.Word();
    if (in.error || nameLength == 0 || nameLength > kMaxName) return Fail(whyNot, where + ": bad name length");
    const uint8_t* name = in.Take(nameLength);
    const uint32_t needsLength = in.Word();
    if (in.error || needsLength > kMaxNeeds) return Fail(whyNot, where + ": bad list of needs");
    const uint8_t* needs = in.Take(needsLength);
    item.size = in.Word();
    item.packedSize = in.Word();
    if (in.error || item.size > kMaxItemSize) return Fail(whyNot, where + ": bad size");
    item.packed = in.Take(item.packedSize);
    if (in.error) return Fail(whyNot, where + ": cut short");
    item.name.assign(reinterpret_cast<const char*>(name), nameLength);
    if (item.name.find_first_of(std::string("/\n\0", 3)) != std::string::npos)
      return Fail(whyNot, where + ": bad name");
    const std::string list(reinterpret_cast<const char*>(needs), needsLength);
    for (size_t at = 0; at < list.size();) {
      size_t end = list.find('\n', at);
      if (end == std::string::npos) end = list.size();
      if (end > at) item.needs.push_back(list.substr(at, end - at));
      at = end + 1;
    }
    items->push_back(std::move(item));
  }
  return true;
}

bool UnpackCarriedItem(const CarriedItem& item, std::vector<uint8_t>* bytes) {
  bytes->resize(item.size);
  uLongf size = item.size;
  return uncompress(bytes->data(), &size, item.packed, item.packedSize) == Z_OK && size == item.size;
}

bool PackCarriedBytes(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* packed) {
  uLongf size = compressBound(bytes.size());
  packed->resize(size);
  if (compress2(packed->data(), &size, bytes.data(), bytes.size(), 6) != Z_OK) return false;
  packed->resize(size);
  return true;
}

void StartCarriedArchive(std::vector<uint8_t>* archive) {
  archive->assign(kMagic, kMagic + sizeof kMagic);
}

void AppendCarriedItem(const CarriedItem& item, std::vector<uint8_t>* archive) {
  std::string needs;
  for (const std::string& need : item.needs) needs += (needs.empty() ? "" : "\n") + need;
  PutWord(archive, static_cast<uint32_t>(item.name.size()));
  archive->insert(archive->end(), item.name.begin(), item.name.end());
  PutWord(archive, static_cast<uint32_t>(needs.size()));
  archive->insert(archive->end(), needs.begin(), needs.end());
  PutWord(archive, item.size);
  PutWord(archive, item.packedSize);
  archive->insert(archive->end(), item.packed, item.packed + item.packedSize);
}
