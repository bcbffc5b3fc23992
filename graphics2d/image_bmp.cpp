// BMP and DIB files (also .rle): 1, 4, 8-bit palettes with RLE4/RLE8, 16, 24 and 32-bit pixels
// with bit masks, bottom-up or top-down; saved as 24-bit bottom-up.
#include <algorithm>

#include "graphics2d/image_local.h"
#include "platform/surface.h"

// One colour channel described by a bit mask: shift and width, scaled to 8 bits when read.
struct MaskChannel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  uint32_t Read(uint32_t value) const {
    if (bits == 0) return 0;
    const uint32_t raw = (value & mask) >> shift;
    const uint32_t max = (bits >= 32) ? 0xFFFFFFFFu : ((1u << bits) - 1);
    return static_cast<uint32_t>(static_cast<uint64_t>(raw) * 255 / max);
  }
};

static MaskChannel ChannelOf(uint32_t mask) {
  MaskChannel c;
  c.mask = mask;
  if (mask == 0) return c;
  while (((mask >> c.shift) & 1) == 0) ++c.shift;
  while (c.shift + c.bits < 32 && ((mask >> (c.shift + c.bits)) & 1)) ++c.bits;
  return c;
}

// Decodes RLE8 or RLE4 data into palette indices (row 0 = first row in the file).
static bool DecodeRle(ByteCursor& in, int bits, uint32_t width, uint32_t height, std::vector<uint8_t>& indices) {
  indices.assign(static_cast<size_t>(width) * height, 0);
  uint32_t x = 0;
  uint32_t y = 0;
  while (!in.error && y < height) {
    const uint8_t count = in.U8();
    const uint8_t value = in.U8();
    if (in.error) return false;
    if (count > 0) {
      for (int i = 0; i < count; ++i, ++x) {
        const uint8_t index = bits == 8 ? value : ((i & 1) ? (value & 0x0F) : (value >> 4));
        if (x < width) indices[static_cast<size_t>(y) * width + x] = index;
      }
    } else if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta
      x += in.U8();
      y += in.U8();
    } else {  // absolute run
      uint8_t pair = 0;
      for (int i = 0; i < value; ++i, ++x) {
        uint8_t index;
        if (bits == 8) {
          index = in.U8();
        } else {
          if ((i & 1) == 0) pair = in.U8();
          index = (i & 1) ? (pair & 0x0F) : (pair >> 4);
        }
        if (x < width) indices[static_cast<size_t>(y) * width + x] = index;
      }
      const size_t used = bits == 8 ? value : (value + 1u) / 2;
      if (used & 1) in.U8();  // runs are padded to 16 bits
    }
  }
  return !in.error;
}

Surface* LoadBmp(const uint8_t* data, size_t size, std::string* whyNot) {
  ByteCursor in(data, size);
  if (in.U8() != 'B' || in.U8() != 'M') return ImageFail(whyNot, "not a BMP file");
  in.Skip(8);
  const uint32_t pixelOffset = in.U32LE();
  const size_t infoStart = in.pos;
  const uint32_t infoSize = in.U32LE();
  int32_t width = 0;
  int32_t height = 0;
  uint16_t bits = 0;
  uint32_t compression = 0;
  uint32_t paletteCount = 0;
  size_t paletteEntrySize = 4;
  if (infoSize == 12) {  // OS/2 core header
    width = in.U16LE();
    height = static_cast<int16_t>(in.U16LE());
    in.U16LE();
    bits = in.U16LE();
    paletteEntrySize = 3;
  } else if (infoSize >= 40) {
    width = static_cast<int32_t>(in.U32LE());
    height = static_cast<int32_t>(in.U32LE());
    in.U16LE();
    bits = in.U16LE();
    compression = in.U32LE();
    in.Skip(12);
    paletteCount = in.U32LE();
    in.U32LE();
  } else {
    return ImageFail(whyNot, "bad BMP header size: " + std::to_string(infoSize));
  }
  if (in.error) return ImageFail(whyNot, "truncated BMP header");
  const bool topDown = height < 0;
  const uint32_t w = width > 0 ? static_cast<uint32_t>(width) : 0;
  const uint32_t h = height == INT32_MIN ? 0 : static_cast<uint32_t>(topDown ? -height : height);
  if (w == 0 || h == 0 || w > kMaxImageSide || h > kMaxImageSide) return ImageFail(whyNot, "bad BMP size");

  MaskChannel red, green, blue;
  if (compression == 3 || compression == 6) {  // bit fields: in the header (v4+) or after it
    if (infoSize < 52) in.Seek(infoStart + infoSize);
    red = ChannelOf(in.U32LE());
    green = ChannelOf(in.U32LE());
    blue = ChannelOf(in.U32LE());
  } else if (bits == 16) {
    red = ChannelOf(0x7C00);
    green = ChannelOf(0x03E0);
    blue = ChannelOf(0x001F);
  } else {
    red = ChannelOf(0x00FF0000);
    green = ChannelOf(0x0000FF00);
    blue = ChannelOf(0x000000FF);
  }
  const bool rle = (compression == 1 && bits == 8) || (compression == 2 && bits == 4);
  if (!(compression == 0 || rle || ((compression == 3 || compression == 6) && (bits == 16 || bits == 32))))
    return ImageFail(whyNot, "unsupported BMP compression: " + std::to_string(compression));
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    return ImageFail(whyNot, "unsupported BMP depth: " + std::to_string(bits));

  uint32_t palette[256] = {};
  if (bits <= 8) {
    const uint32_t maxColours = 1u << bits;
    if (paletteCount == 0 || paletteCount > maxColours) paletteCount = maxColours;
    in.Seek(infoStart + infoSize);
    for (uint32_t i = 0; i < paletteCount; ++i) {
      const uint32_t b = in.U8(), g = in.U8(), r = in.U8();
      if (paletteEntrySize == 4) in.U8();
      palette[i] = (r << 16) | (g << 8) | b;
    }
    if (in.error) return ImageFail(whyNot, "truncated BMP palette");
  }
  if (!in.Seek(pixelOffset)) return ImageFail(whyNot, "BMP pixel offset past the end");
  // An RLE pair gives at most 255 pixels per two bytes (and a delta skips at most 255 rows).
  if (rle && static_cast<uint64_t>(w) * h > static_cast<uint64_t>(in.Remaining()) * 255 * 255)
    return ImageFail(whyNot, "truncated BMP RLE data");
  const size_t stride = ((static_cast<size_t>(w) * bits + 31) / 32) * 4;
  if (!rle && in.Remaining() / stride < h) return ImageFail(whyNot, "truncated BMP pixels");
  Surface* surface = MakeLoadSurface(w, h, whyNot);
  if (surface == nullptr) return nullptr;
  auto rowOf = [&](uint32_t fileRow) { return topDown ? fileRow : h - 1 - fileRow; };

  if (rle) {
    std::vector<uint8_t> indices;
    if (!DecodeRle(in, bits, w, h, indices)) {
      SurfaceDestroy(surface);
      return ImageFail(whyNot, "truncated BMP RLE data");
    }
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x)
        surface->pixels[static_cast<size_t>(rowOf(y)) * w + x] = palette[indices[static_cast<size_t>(y) * w + x]];
    return surface;
  }
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* row = data + in.pos + y * stride;
    uint32_t* out = surface->pixels.data() + static_cast<size_t>(rowOf(y)) * w;
    for (uint32_t x = 0; x < w; ++x) {
      uint32_t value;
      switch (bits) {
        case 1: value = palette[(row[x >> 3] >> (7 - (x & 7))) & 1]; break;
        case 4: value = palette[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F]; break;
        case 8: value = palette[row[x]]; break;
        case 24: value = (row[x * 3 + 2] << 16) | (row[x * 3 + 1] << 8) | row[x * 3]; break;
        case 16: {
          const uint32_t v = row[x * 2] | (row[x * 2 + 1] << 8);
          value = (red.Read(v) << 16) | (green.Read(v) << 8) | blue.Read(v);
          break;
        }
        default: {
          const uint32_t v = row[x * 4] | (row[x * 4 + 1] << 8) | (row[x * 4 + 2] << 16) |
                             (static_cast<uint32_t>(row[x * 4 + 3]) << 24);
          value = (red.Read(v) << 16) | (green.Read(v) << 8) | blue.Read(v);
        }
      }
      out[x] = value;
    }
  }
  return surface;
}

static void PutU16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
static void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

bool SaveBmp(const Surface& surface, std::vector<uint8_t>& out) {
  const uint32_t w = static_cast<uint32_t>(surface.width);
  const uint32_t h = static_cast<uint32_t>(surface.height);
  const uint32_t stride = (w * 3 + 3) & ~3u;
  const uint32_t pixelBytes = stride * h;
  out.clear();
  out.reserve(54 + pixelBytes);
  out.push_back('B');
  out.push_back('M');
  PutU32(out, 54 + pixelBytes);
  PutU32(out, 0);
  PutU32(out, 54);
  PutU32(out, 40);
  PutU32(out, w);
  PutU32(out, h);
  PutU16(out, 1);
  PutU16(out, 24);
  PutU32(out, 0);
  PutU32(out, pixelBytes);
  PutU32(out, 2835);
  PutU32(out, 2835);
  PutU32(out, 0);
  PutU32(out, 0);
  for (uint32_t y = h; y-- > 0;) {
    const uint32_t* row = surface.pixels.data() + static_cast<size_t>(y) * w;
    for (uint32_t x = 0; x < w; ++x) {
      out.push_back(static_cast<uint8_t>(row[x]));
      out.push_back(static_cast<uint8_t>(row[x] >> 8));
      out.push_back(static_cast<uint8_t>(row[x] >> 16));
    }
    for (uint32_t pad = w * 3; pad < stride; ++pad) out.push_back(0);
  }
  return true;
}
