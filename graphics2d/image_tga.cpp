// TGA files: colour-mapped, true-colour and grey images, raw or run-length encoded, 8 to 32
// bits, either origin; saved as uncompressed 24-bit with a top-left origin.
#include "graphics2d/image_local.h"
#include "platform/surface.h"

// Turns one stored pixel of the given depth into XRGB.
static uint32_t TgaPixel(const uint8_t* p, int bytes, bool grey) {
  if (grey) return (p[0] << 16) | (p[0] << 8) | p[0];
  if (bytes == 2) {
    const uint32_t v = p[0] | (p[1] << 8);
    const uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
    return ((r * 255 / 31) << 16) | ((g * 255 / 31) << 8) | (b * 255 / 31);
  }
  return (p[2] << 16) | (p[1] << 8) | p[0];
}

Surface* LoadTga(const uint8_t* data, size_t size, std::string* whyNot) {
  ByteCursor in(data, size);
  uint8_t header[18];
  if (!in.Bytes(header, sizeof header)) return ImageFail(whyNot, "truncated TGA header");
  const uint8_t idLength = header[0];
  const uint8_t mapType = header[1];
  const uint8_t imageType = header[2];
  const uint32_t mapFirst = header[3] | (header[4] << 8);
  const uint32_t mapLength = header[5] | (header[6] << 8);
  const uint8_t mapBits = header[7];
  const uint32_t width = header[12] | (header[13] << 8);
  const uint32_t height = header[14] | (header[15] << 8);
  const uint8_t bits = header[16];
  const bool topOrigin = (header[17] & 0x20) != 0;
  const bool rightOrigin = (header[17] & 0x10) != 0;
  const uint8_t baseType = imageType & 7;
  const bool rle = (imageType & 8) != 0;
  if ((imageType & ~11) != 0 || baseType < 1 || baseType > 3) return ImageFail(whyNot, "unsupported TGA type");
  const bool mapped = baseType == 1;
  const bool grey = baseType == 3;
  if (mapped && (mapType != 1 || bits != 8)) return ImageFail(whyNot, "bad TGA colour map");
  if (!mapped && !grey && bits != 15 && bits != 16 && bits != 24 && bits != 32)
    return ImageFail(whyNot, "unsupported TGA depth: " + std::to_string(bits));
  if (grey && bits != 8) return ImageFail(whyNot, "unsupported TGA grey depth");
  in.Skip(idLength);
  uint32_t palette[256] = {};
  if (mapType == 1) {
    const int entryBytes = (mapBits + 7) / 8;
    if (entryBytes < 2 || entryBytes > 4) return ImageFail(whyNot, "bad TGA colour map depth");
    for (uint32_t i = 0; i < mapLength; ++i) {
      uint8_t entry[4] = {};
      in.Bytes(entry, static_cast<size_t>(entryBytes));
      const uint32_t index = mapFirst + i;
      if (index < 256) palette[index] = TgaPixel(entry, entryBytes == 4 ? 3 : entryBytes, false);
    }
  }
  if (in.error) return ImageFail(whyNot, "truncated TGA colour map");
  const int pixelBytes = (bits + 7) / 8;
  const size_t count = static_cast<size_t>(width) * height;
  // Refuse sizes the remaining bytes cannot fill before allocating (a packet gives at most 128).
  const size_t most = rle ? in.Remaining() / (1u + pixelBytes) * 128 : in.Remaining() / pixelBytes;
  if (count > most) return ImageFail(whyNot, "truncated TGA pixels");
  Surface* surface = MakeLoadSurface(width, height, whyNot);
  if (surface == nullptr) return nullptr;
  std::vector<uint32_t> pixels(count);
  uint8_t raw[4] = {};
  auto convert = [&](const uint8_t* p) { return mapped ? palette[p[0]] : TgaPixel(p, pixelBytes, grey); };
  for (size_t i = 0; i < count && !in.error;) {
    if (!rle) {
      in.Bytes(raw, static_cast<size_t>(pixelBytes));
      pixels[i++] = convert(raw);
      continue;
    }
    const uint8_t packet = in.U8();
    const size_t run = (packet & 0x7F) + 1u;
    if (packet & 0x80) {
      in.Bytes(raw, static_cast<size_t>(pixelBytes));
      const uint32_t value = convert(raw);
      for (size_t k = 0; k < run && i < count; ++k) pixels[i++] = value;
    } else {
      for (size_t k = 0; k < run && i < count && !in.error; ++k) {
        in.Bytes(raw, static_cast<size_t>(pixelBytes));
        pixels[i++] = convert(raw);
      }
    }
  }
  if (in.error) {
    SurfaceDestroy(surface);
    return ImageFail(whyNot, "truncated TGA pixels");
  }
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t outY = topOrigin ? y : height - 1 - y;
      const uint32_t outX = rightOrigin ? width - 1 - x : x;
      surface->pixels[static_cast<size_t>(outY) * width + outX] = pixels[static_cast<size_t>(y) * width + x];
    }
  return surface;
}

bool SaveTga(const Surface& surface, std::vector<uint8_t>& out) {
  const uint32_t w = static_cast<uint32_t>(surface.width);
  const uint32_t h = static_cast<uint32_t>(surface.height);
  if (w > 65535 || h > 65535) return false;
  out.assign(18, 0);
  out[2] = 2;
  out[12] = static_cast<uint8_t>(w);
  out[13] = static_cast<uint8_t>(w >> 8);
  out[14] = static_cast<uint8_t>(h);
  out[15] = static_cast<uint8_t>(h >> 8);
  out[16] = 24;
  out[17] = 0x20;  // top-left origin
  out.reserve(18 + static_cast<size_t>(w) * h * 3);
  for (uint32_t p : surface.pixels) {
    out.push_back(static_cast<uint8_t>(p));
    out.push_back(static_cast<uint8_t>(p >> 8));
    out.push_back(static_cast<uint8_t>(p >> 16));
  }
  return true;
}
