// The archive of libraries and data files an executable carries for machines that lack them:
// its format, read through a bounded cursor (a game file may be damaged) and written by the
// build tool and by the game builder. Depends on zlib alone, so the build tool can use it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The package entry that holds the archive, after the game's own entries (a name no media file
// can have: media names are paths inside the media folder).
inline constexpr char kCarriedPackageEntry[] = "\\carried";

// "QVCARRY2", then per item: its name (a soname, or a file's name), the names it needs loaded
// first (a library's whole closure among the items, one per line; empty for a data file), its
// size and the zlib data it is packed into. Every length is a little-endian u32.
// A library is named by its soname; the rest are data files.
inline bool IsCarriedLibraryName(const std::string& name) { return name.find(".so") != std::string::npos; }

struct CarriedItem {
  std::string name;
  std::vector<std::string> needs;
  uint32_t size = 0;                // unpacked
  const uint8_t* packed = nullptr;  // inside the archive's bytes (null when read from a file alone)
  uint32_t packedSize = 0;
  uint64_t offset = 0;              // of the packed data, from the archive's start
  bool IsLibrary() const { return IsCarriedLibraryName(name); }
};

// Reads the archive's table without unpacking anything; false with the reason (naming where
// the damage starts) when the bytes are not a whole archive. Items point into data.
bool ParseCarriedArchive(const uint8_t* data, size_t size, std::vector<CarriedItem>* items, std::string* whyNot);
// The same table read through `read` (n bytes at an offset into out; false where it cannot),
// for an archive in a file: only the table's bytes are read, and each item's packed pointer is
// base plus its offset (null without a base), never touched here.
using CarriedArchiveReader = std::function<bool(uint64_t at, void* out, size_t n)>;
bool ParseCarriedTable(const CarriedArchiveReader& read, uint64_t size, const uint8_t* base,
                       std::vector<CarriedItem>* items, std::string* whyNot);
// Unpacks one item; false when its data does not unpack to its size.
bool UnpackCarriedItem(const CarriedItem& item, std::vector<uint8_t>* bytes);
// Packs an item's bytes (zlib, level 6: level 9 takes three times as long for 0.5% less).
bool PackCarriedBytes(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* packed);
// A new archive is its magic, then each item's record, its packed data copied as it is.
void StartCarriedArchive(std::vector<uint8_t>* archive);
void AppendCarriedItem(const CarriedItem& item, std::vector<uint8_t>* archive);
// The record alone, for a writer that copies the packed data itself (item.packedSize of them).
void AppendCarriedItemHead(const CarriedItem& item, std::vector<uint8_t>* archive);
