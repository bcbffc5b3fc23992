// The frame of the package appended to an executable: its entries' words and the tail that
// closes it with a checksum of the whole file; shared by the runtime and the build tool.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The file ends in: entries (u32 name length with its NUL, the name, u32 data length, the
// data), a u32 0, the magic "QVCK", the checksum (u64) of every byte of the file but the
// checksum's own eight (the start word after it included), and the u32 offset where the
// entries start. All words are little-endian. The checksum is XXH64 (seed 0): a game's start
// reads all of it, at about the speed the file comes from the page cache.
inline constexpr uint32_t kPackageMagic = 0x4B435651;  // "QVCK"
inline constexpr size_t kPackageTailSize = 16;         // magic, checksum, start
inline constexpr uint32_t kMaxPackageEntryName = 256;  // 255 characters and the NUL

// The running checksum (XXH64), fed a piece at a time.
class PackageChecksum {
 public:
  void Add(const void* data, size_t size);
  uint64_t Value() const;

 private:
  uint64_t lanes_[4] = {0x9E3779B185EBCA87ull + 0xC2B2AE3D27D4EB4Full, 0xC2B2AE3D27D4EB4Full, 0,
                        0 - 0x9E3779B185EBCA87ull};
  uint8_t pending_[32] = {};  // the bytes of a stripe not yet whole
  size_t pendingSize_ = 0;
  uint64_t total_ = 0;
};

// One entry as the frame finds it: where its data lie in the file.
struct PackageFrameEntry {
  std::string name;  // as stored (not lower-cased)
  uint64_t offset;   // of the data, from the start of the file
  uint32_t size;
};

// Reads n bytes at an offset of the file into out; false where it cannot.
using PackageByteReader = std::function<bool(uint64_t at, void* out, size_t n)>;

// Walks the entries of a file of `size` bytes through `read` (only the words and names are
// read): false with the reason when there is no package or its frame is damaged. *start is
// where the entries begin (the size of the executable in front), *checksum the stored one.
bool ReadPackageFrame(const PackageByteReader& read, uint64_t size, std::vector<PackageFrameEntry>* entries,
                      uint64_t* start, uint64_t* checksum, std::string* whyNot);
// Whether the file's bytes match the stored checksum, read through `read` a piece at a time.
bool PackageChecksumMatches(const PackageByteReader& read, uint64_t size, uint64_t checksum);

// The words before an entry's data.
void PutPackageEntryHead(const std::string& name, uint32_t dataSize, std::vector<uint8_t>* out);
// The closing words for a file whose bytes so far went through `sum` and whose entries began
// at `start`: the end word, the magic, the checksum and the start.
std::vector<uint8_t> PackageTail(PackageChecksum sum, uint32_t start);
