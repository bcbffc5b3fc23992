// Feeds arbitrary bytes to the reader of the archive a game carries: the table must refuse
// them cleanly or list items that lie inside them, and unpacking an item must fail cleanly or
// give exactly its size. Items are capped at a megabyte unpacked, which keeps each run short.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/carried_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<CarriedItem> items;
  std::string whyNot;
  if (!ParseCarriedArchive(data, size, &items, &whyNot)) return 0;
  for (const CarriedItem& item : items) {
    if (item.packed < data || item.packed + item.packedSize > data + size) __builtin_trap();
    std::vector<uint8_t> bytes;
    if (item.size <= (1u << 20) && UnpackCarriedItem(item, &bytes) && bytes.size() != item.size) __builtin_trap();
  }
  return 0;
}
