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

// Reads the table through the archive's reader; a read past the end returns zeros (or nothing)
// and sets the sticky error flag.
struct Cursor {
  const CarriedArchiveReader& read;
  uint64_t size;
  uint64_t pos = 0;
  bool error = false;
  uint64_t Remaining() const { return size - pos; }
  bool Fetch(void* out, uint64_t n) {
    if (error || Remaining() < n || !read(pos, out, static_cast<size_t>(n))) {
      error = true;
      pos = size;
      return false;
    }
    pos += n;
    return true;
  }
  uint32_t Word() {
    uint8_t at[4] = {};
    if (!Fetch(at, 4)) return 0;
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
  }
  std::string Text(uint32_t n) {
    std::string text(n, '\0');
    if (!Fetch(text.data(), n)) text.clear();
    return text;
  }
  // Steps over n bytes without reading them; their offset, or 0 past the end.
  uint64_t Skip(uint64_t n) {
    if (error || Remaining() < n) {
      error = true;
      pos = size;
      return 0;
    }
    pos += n;
    return pos - n;
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

bool ParseCarriedTable(const CarriedArchiveReader& read, uint64_t size, const uint8_t* base,
                       std::vector<CarriedItem>* items, std::string* whyNot) {
  items->clear();
  Cursor in{read, size};
  if (in.Text(sizeof kMagic) != std::string(kMagic, sizeof kMagic))
    return Fail(whyNot, "not an archive of carried libraries");
  while (in.Remaining() > 0) {
    const std::string where = "item " + std::to_string(items->size() + 1);
    CarriedItem item;
    const uint32_t nameLength = in.Word();
    if (in.error || nameLength == 0 || nameLength > kMaxName) return Fail(whyNot, where + ": bad name length");
    item.name = in.Text(nameLength);
    const uint32_t needsLength = in.Word();
    if (in.error || needsLength > kMaxNeeds) return Fail(whyNot, where + ": bad list of needs");
    const std::string list = in.Text(needsLength);
    item.size = in.Word();
    item.packedSize = in.Word();
    if (in.error || item.size > kMaxItemSize) return Fail(whyNot, where + ": bad size");
    item.offset = in.Skip(item.packedSize);
    if (in.error) return Fail(whyNot, where + ": cut short");
    item.packed = base != nullptr ? base + item.offset : nullptr;
    if (item.name.find_first_of(std::string("/\n\0", 3)) != std::string::npos)
      return Fail(whyNot, where + ": bad name");
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

bool ParseCarriedArchive(const uint8_t* data, size_t size, std::vector<CarriedItem>* items, std::string* whyNot) {
  const CarriedArchiveReader fromMemory = [data, size](uint64_t at, void* out, size_t n) {
    if (data == nullptr || at > size || n > size - at) return false;
    std::memcpy(out, data + at, n);
    return true;
  };
  return ParseCarriedTable(fromMemory, size, data, items, whyNot);
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
  AppendCarriedItemHead(item, archive);
  archive->insert(archive->end(), item.packed, item.packed + item.packedSize);
}

void AppendCarriedItemHead(const CarriedItem& item, std::vector<uint8_t>* archive) {
  std::string needs;
  for (const std::string& need : item.needs) needs += (needs.empty() ? "" : "\n") + need;
  PutWord(archive, static_cast<uint32_t>(item.name.size()));
  archive->insert(archive->end(), item.name.begin(), item.name.end());
  PutWord(archive, static_cast<uint32_t>(needs.size()));
  archive->insert(archive->end(), needs.begin(), needs.end());
  PutWord(archive, item.size);
  PutWord(archive, item.packedSize);
}
