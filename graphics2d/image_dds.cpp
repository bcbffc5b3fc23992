// DDS files: uncompressed 16, 24 and 32-bit pixels described by bit masks, and DXT1, DXT3 and
// DXT5 blocks (first mip level only); saved as uncompressed 32-bit X8R8G8B8.
#include "graphics2d/image_local.h"
#include "platform/surface.h"

static constexpr uint32_t kDdsMagic = 0x20534444;  // "DDS "
static constexpr uint32_t kFourCCFlag = 0x4;
static constexpr uint32_t kRgbFlag = 0x40;

static uint32_t FourCC(const char* code) {
  return static_cast<uint32_t>(code[0]) | (code[1] << 8) | (code[2] << 16) | (static_cast<uint32_t>(code[3]) << 24);
}

// Reads a channel by its mask, scaled to 8 bits.
static uint32_t MaskedChannel(uint32_t value, uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1) == 0) ++shift;
  const uint64_t max = mask >> shift;
  return static_cast<uint32_t>(((value & mask) >> shift) * 255 / max);
}

static uint32_t Expand565(uint32_t c) {
  const uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
  return ((r * 255 / 31) << 16) | ((g * 255 / 63) << 8) | (b * 255 / 31);
}

static uint32_t Mix(uint32_t a, uint32_t b, int wa, int wb, int total) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const uint32_t ca = (a >> shift) & 255, cb = (b >> shift) & 255;
    out |= ((ca * wa + cb * wb) / total) << shift;
  }
  return out;
}

// Decodes the colour half of a DXT block (8 bytes) into 16 pixels.
static void DecodeColourBlock(const uint8_t* block, bool dxt1, uint32_t out[16]) {
  const uint32_t c0 = block[0] | (block[1] << 8);
  const uint32_t c1 = block[2] | (block[3] << 8);
  uint32_t colours[4];
  colours[0] = Expand565(c0);
  colours[1] = Expand565(c1);
  if (c0 > c1 || !dxt1) {
    colours[2] = Mix(colours[0], colours[1], 2, 1, 3);
    colours[3] = Mix(colours[0], colours[1], 1, 2, 3);
  } else {
    colours[2] = Mix(colours[0], colours[1], 1, 1, 2);
    colours[3] = 0;  // transparent: black, the colour key
  }
  const uint32_t bits = block[4] | (block[5] << 8) | (block[6] << 16) | (static_cast<uint32_t>(block[7]) << 24);
  for (int i = 0; i < 16; ++i) out[i] = colours[(bits >> (2 * i)) & 3];
}

Surface* LoadDds(const uint8_t* data, size_t size, std::string* whyNot) {
  ByteCursor in(data, size);
  if (in.U32LE() != kDdsMagic) return ImageFail(whyNot, "not a DDS file");
  if (in.U32LE() != 124) return ImageFail(whyNot, "bad DDS header size");
  in.U32LE();
  const uint32_t height = in.U32LE();
  const uint32_t width = in.U32LE();
  in.Skip(4 * 14);  // pitch, depth, mip count, 11 reserved words
  in.U32LE();       // pixel format size
  const uint32_t formatFlags = in.U32LE();
  const uint32_t fourCC = in.U32LE();
  const uint32_t bitCount = in.U32LE();
  const uint32_t redMask = in.U32LE(), greenMask = in.U32LE(), blueMask = in.U32LE();
  in.U32LE();
  in.Skip(4 * 5);  // caps and reserved
  if (in.error) return ImageFail(whyNot, "truncated DDS header");
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide)
    return ImageFail(whyNot, "bad DDS size");
  const size_t blocksWide = (width + 3) / 4, blocksHigh = (height + 3) / 4;
  if (formatFlags & kFourCCFlag) {
    int blockBytes;
    if (fourCC == FourCC("DXT1")) blockBytes = 8;
    else if (fourCC == FourCC("DXT3") || fourCC == FourCC("DXT5")) blockBytes = 16;
    else return ImageFail(whyNot, "unsupported DDS compression");
    if (in.Remaining() / blockBytes < blocksWide * blocksHigh) return ImageFail(whyNot, "truncated DDS blocks");
    Surface* surface = MakeLoadSurface(width, height, whyNot);
    if (surface == nullptr) return nullptr;
    const uint8_t* block = data + in.pos;
    for (size_t by = 0; by < blocksHigh; ++by)
      for (size_t bx = 0; bx < blocksWide; ++bx, block += blockBytes) {
        uint32_t pixels[16];
        DecodeColourBlock(block + (blockBytes == 16 ? 8 : 0), blockBytes == 8, pixels);
        for (int i = 0; i < 16; ++i) {
          const size_t x = bx * 4 + (i & 3), y = by * 4 + (i >> 2);
          if (x < width && y < height) surface->pixels[y * width + x] = pixels[i];
        }
      }
    return surface;
  }
  if (!(formatFlags & kRgbFlag) || (bitCount != 16 && bitCount != 24 && bitCount != 32))
    return ImageFail(whyNot, "unsupported DDS pixel format");
  const size_t pixelBytes = bitCount / 8;
  if (in.Remaining() / pixelBytes / width < height) return ImageFail(whyNot, "truncated DDS pixels");
  Surface* surface = MakeLoadSurface(width, height, whyNot);
  if (surface == nullptr) return nullptr;
  const uint8_t* p = data + in.pos;
  for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i, p += pixelBytes) {
    uint32_t v = 0;
    for (size_t k = 0; k < pixelBytes; ++k) v |= static_cast<uint32_t>(p[k]) << (8 * k);
    surface->pixels[i] = (MaskedChannel(v, redMask) << 16) | (MaskedChannel(v, greenMask) << 8) | MaskedChannel(v, blueMask);
  }
  return surface;
}

bool SaveDds(const Surface& surface, std::vector<uint8_t>& out) {
  const uint32_t header[32] = {
      kDdsMagic, 124, 0x100F /* caps, height, width, pitch, pixel format */, static_cast<uint32_t>(surface.height),
      static_cast<uint32_t>(surface.width), static_cast<uint32_t>(surface.width) * 4, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      32, kRgbFlag, 0, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0,
      0x1000 /* texture */, 0, 0, 0, 0};
  out.resize(sizeof header + surface.pixels.size() * 4);
  std::memcpy(out.data(), header, sizeof header);  // little-endian host: the file's byte order
  std::memcpy(out.data() + sizeof header, surface.pixels.data(), surface.pixels.size() * 4);
  return true;
}
