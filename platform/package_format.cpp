// The package frame: the entry words walked through a bounded reader, the checksum tail
// written and checked a piece at a time (XXH64, as its authors describe it).
#include "platform/package_format.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr size_t kChecksumPiece = 1 << 20;
constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull, kPrime2 = 0xC2B2AE3D27D4EB4Full, kPrime3 = 0x165667B19E3779F9ull,
                   kPrime4 = 0x85EBCA77C2B2AE63ull, kPrime5 = 0x27D4EB2F165667C5ull;

// A little-endian word (one load where the machine is little-endian).
uint64_t Load64(const uint8_t* at) {
  uint64_t value = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&value, at, 8);
  } else {
    for (int i = 7; i >= 0; --i) value = value << 8 | at[i];
  }
  return value;
}

uint64_t Round(uint64_t lane, uint64_t input) { return std::rotl(lane + input * kPrime2, 31) * kPrime1; }
uint64_t MergeLane(uint64_t hash, uint64_t lane) { return (hash ^ Round(0, lane)) * kPrime1 + kPrime4; }

uint32_t Word(const uint8_t* at) {
  return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

void PutWord(std::vector<uint8_t>* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

bool Fail(std::string* whyNot, const std::string& reason) {
  if (whyNot != nullptr) *whyNot = reason;
  return false;
}

}  // namespace

void PackageChecksum::Add(const void* data, size_t size) {
  const uint8_t* at = static_cast<const uint8_t*>(data);
  total_ += size;
  if (pendingSize_ + size < 32) {
    std::memcpy(pending_ + pendingSize_, at, size);
    pendingSize_ += size;
    return;
  }
  uint64_t a = lanes_[0], b = lanes_[1], c = lanes_[2], d = lanes_[3];
  auto stripe = [&](const uint8_t* bytes) {
    a = Round(a, Load64(bytes));
    b = Round(b, Load64(bytes + 8));
    c = Round(c, Load64(bytes + 16));
    d = Round(d, Load64(bytes + 24));
  };
  if (pendingSize_ > 0) {
    const size_t fill = 32 - pendingSize_;
    std::memcpy(pending_ + pendingSize_, at, fill);
    stripe(pending_);
    at += fill;
    size -= fill;
  }
  for (; size >= 32; at += 32, size -= 32) stripe(at);
  lanes_[0] = a;
  lanes_[1] = b;
  lanes_[2] = c;
  lanes_[3] = d;
  std::memcpy(pending_, at, size);
  pendingSize_ = size;
}

uint64_t PackageChecksum::Value() const {
  uint64_t hash = kPrime5;
  if (total_ >= 32) {
    hash = std::rotl(lanes_[0], 1) + std::rotl(lanes_[1], 7) + std::rotl(lanes_[2], 12) + std::rotl(lanes_[3], 18);
    for (uint64_t lane : lanes_) hash = MergeLane(hash, lane);
  }
  hash += total_;
  const uint8_t* at = pending_;
  size_t left = pendingSize_;
  for (; left >= 8; at += 8, left -= 8) hash = std::rotl(hash ^ Round(0, Load64(at)), 27) * kPrime1 + kPrime4;
  if (left >= 4) {
    const uint64_t word = uint64_t(at[0]) | uint64_t(at[1]) << 8 | uint64_t(at[2]) << 16 | uint64_t(at[3]) << 24;
    hash = std::rotl(hash ^ word * kPrime1, 23) * kPrime2 + kPrime3;
    at += 4;
    left -= 4;
  }
  for (; left > 0; ++at, --left) hash = std::rotl(hash ^ *at * kPrime5, 11) * kPrime1;
  hash = (hash ^ hash >> 33) * kPrime2;
  hash = (hash ^ hash >> 29) * kPrime3;
  return hash ^ hash >> 32;
}

void PutPackageEntryHead(const std::string& name, uint32_t dataSize, std::vector<uint8_t>* out) {
  PutWord(out, static_cast<uint32_t>(name.size() + 1));
  out->insert(out->end(), name.begin(), name.end());
  out->push_back(0);
  PutWord(out, dataSize);
}

std::vector<uint8_t> PackageTail(PackageChecksum sum, uint32_t start) {
  std::vector<uint8_t> tail;
  PutWord(&tail, 0);
  PutWord(&tail, kPackageMagic);
  sum.Add(tail.data(), tail.size());
  std::vector<uint8_t> startWord;
  PutWord(&startWord, start);
  sum.Add(startWord.data(), startWord.size());
  const uint64_t value = sum.Value();
  PutWord(&tail, static_cast<uint32_t>(value));
  PutWord(&tail, static_cast<uint32_t>(value >> 32));
  tail.insert(tail.end(), startWord.begin(), startWord.end());
  return tail;
}

bool ReadPackageFrame(const PackageByteReader& read, uint64_t size, std::vector<PackageFrameEntry>* entries,
                      uint64_t* start, uint64_t* checksum, std::string* whyNot) {
  entries->clear();
  uint8_t tail[kPackageTailSize];
  if (size < kPackageTailSize + 4) return Fail(whyNot, "no package: file too short");
  if (!read(size - kPackageTailSize, tail, sizeof tail)) return Fail(whyNot, "cannot read the package");
  if (Word(tail) != kPackageMagic) return Fail(whyNot, "no package: the file does not end in one");
  *checksum = Word(tail + 4) | uint64_t(Word(tail + 8)) << 32;
  *start = Word(tail + 12);
  const uint64_t end = size - kPackageTailSize;  // the end word is the last before it
  if (*start > end - 4) return Fail(whyNot, "no package: start offset outside the file");
  uint64_t at = *start;
  auto damaged = [&](const std::string& reason) {
    entries->clear();
    return Fail(whyNot, reason);
  };
  uint8_t word[4];
  for (;;) {
    if (end - at < 4 || !read(at, word, 4)) return damaged("package entries run past its end");
    at += 4;
    const uint32_t nameLength = Word(word);
    if (nameLength == 0) break;
    if (nameLength > kMaxPackageEntryName || nameLength > end - at)
      return damaged("package entry name too long: " + std::to_string(nameLength) + " bytes");
    std::string name(nameLength, '\0');
    if (!read(at, name.data(), nameLength)) return damaged("cannot read the package");
    name.resize(std::min(name.find('\0'), name.size()));
    at += nameLength;
    if (end - at < 4 || !read(at, word, 4)) return damaged("package entry '" + name + "' runs past its end");
    at += 4;
    const uint32_t dataLength = Word(word);
    if (dataLength > end - at) return damaged("package entry '" + name + "' runs past its end");
    entries->push_back({std::move(name), at, dataLength});
    at += dataLength;
  }
  if (at != end) return damaged("package entries end " + std::to_string(end - at) + " bytes before its tail");
  return true;
}

bool PackageChecksumMatches(const PackageByteReader& read, uint64_t size, uint64_t checksum) {
  if (size < kPackageTailSize) return false;
  const uint64_t checksumAt = size - 12;
  std::vector<uint8_t> piece(static_cast<size_t>(std::min<uint64_t>(kChecksumPiece, checksumAt)));
  PackageChecksum sum;
  for (uint64_t at = 0; at < checksumAt;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(piece.size(), checksumAt - at));
    if (!read(at, piece.data(), n)) return false;
    sum.Add(piece.data(), n);
    at += n;
  }
  uint8_t startWord[4];
  if (!read(size - 4, startWord, 4)) return false;
  sum.Add(startWord, 4);
  return sum.Value() == checksum;
}
