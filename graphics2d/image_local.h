// Shared by the image-format files: the bounded byte cursor every loader reads through, and
// each format's load and save entry points listed in the format table of image_files.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct Surface;

// Reads little- or big-endian values from a byte range; a read past the end returns zeros and
// sets the sticky error flag, which loaders check after each group of reads.
struct ByteCursor {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  bool error = false;

  ByteCursor(const uint8_t* bytes, size_t length) : data(bytes), size(length) {}
  size_t Remaining() const { return pos <= size ? size - pos : 0; }
  bool Seek(size_t to) {
    if (to > size) {
      error = true;
      return false;
    }
    pos = to;
    return true;
  }
  bool Skip(size_t n) {
    if (n > Remaining()) {
      pos = size;
      error = true;
      return false;
    }
    pos += n;
    return true;
  }
  uint8_t U8() {
    if (pos >= size) {
      error = true;
      return 0;
    }
    return data[pos++];
  }
  uint16_t U16LE() {
    const uint16_t lo = U8();
    return static_cast<uint16_t>(lo | (U8() << 8));
  }
  uint32_t U32LE() {
    const uint32_t lo = U16LE();
    return lo | (static_cast<uint32_t>(U16LE()) << 16);
  }
  uint16_t U16BE() {
    const uint16_t hi = U8();
    return static_cast<uint16_t>((hi << 8) | U8());
  }
  uint32_t U32BE() {
    const uint32_t hi = U16BE();
    return (hi << 16) | U16BE();
  }
  bool Bytes(void* out, size_t n) {
    if (n > Remaining()) {
      std::memset(out, 0, n);
      pos = size;
      error = true;
      return false;
    }
    std::memcpy(out, data + pos, n);
    pos += n;
    return true;
  }
};

// Largest side a loaded image may have; a bigger header is treated as a damaged file.
constexpr uint32_t kMaxImageSide = 16384;

// Records the reason and returns null, as every loader's failure path does.
Surface* ImageFail(std::string* whyNot, const std::string& reason);
// Makes the surface a loader fills, checking the sizes first; null with a reason when bad.
Surface* MakeLoadSurface(uint32_t width, uint32_t height, std::string* whyNot);
// The checks of MakeLoadSurface without the surface: loaders whose library allocates its own
// picture first call it before decoding. False with the reason when bad.
bool LoadSizeAllowed(uint32_t width, uint32_t height, std::string* whyNot);
// Whether `bytes` of compressed data can hold width x height pixels when one byte of it
// decodes to at most `pixelsPerByte` of them. A damaged header declaring a huge picture in a
// small file is refused with the reason before anything of that size is allocated.
bool DeclaredSizeFitsData(uint32_t width, uint32_t height, size_t bytes, uint64_t pixelsPerByte, std::string* whyNot);

// Per-format entry points (one file each).
Surface* LoadBmp(const uint8_t* data, size_t size, std::string* whyNot);
bool SaveBmp(const Surface& surface, std::vector<uint8_t>& out);
Surface* LoadTga(const uint8_t* data, size_t size, std::string* whyNot);
bool SaveTga(const Surface& surface, std::vector<uint8_t>& out);
Surface* LoadDds(const uint8_t* data, size_t size, std::string* whyNot);
bool SaveDds(const Surface& surface, std::vector<uint8_t>& out);
Surface* LoadPcx(const uint8_t* data, size_t size, std::string* whyNot);
Surface* LoadPng(const uint8_t* data, size_t size, std::string* whyNot);
bool SavePng(const Surface& surface, std::vector<uint8_t>& out);
Surface* LoadJpeg(const uint8_t* data, size_t size, std::string* whyNot);
bool SaveJpeg(const Surface& surface, int quality, std::vector<uint8_t>& out);
// TIFF and PSD through FreeImage's plug-ins.
Surface* LoadTiff(const uint8_t* data, size_t size, std::string* whyNot);
Surface* LoadPsd(const uint8_t* data, size_t size, std::string* whyNot);
