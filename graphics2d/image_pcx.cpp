// PCX files: 8-bit with the 256-colour palette at the end, 24-bit as three planes, and 1 to
// 4-bit EGA images with the header palette; run-length encoded lines.
#include "graphics2d/image_local.h"
#include "platform/surface.h"

Surface* LoadPcx(const uint8_t* data, size_t size, std::string* whyNot) {
  ByteCursor in(data, size);
  uint8_t header[128];
  if (!in.Bytes(header, sizeof header)) return ImageFail(whyNot, "truncated PCX header");
  if (header[0] != 0x0A || header[2] != 1) return ImageFail(whyNot, "not a run-length PCX file");
  const int bits = header[3];
  const uint32_t xMin = header[4] | (header[5] << 8), yMin = header[6] | (header[7] << 8);
  const uint32_t xMax = header[8] | (header[9] << 8), yMax = header[10] | (header[11] << 8);
  const int planes = header[65];
  const uint32_t bytesPerLine = header[66] | (header[67] << 8);
  if (xMax < xMin || yMax < yMin) return ImageFail(whyNot, "bad PCX size");
  const uint32_t width = xMax - xMin + 1, height = yMax - yMin + 1;
  const bool paletted8 = bits == 8 && planes == 1;
  const bool trueColour = bits == 8 && planes == 3;
  const bool ega = bits == 1 && planes >= 1 && planes <= 4;
  if (!paletted8 && !trueColour && !ega) return ImageFail(whyNot, "unsupported PCX layout");
  if (static_cast<uint64_t>(bytesPerLine) * 8 < static_cast<uint64_t>(width) * bits)
    return ImageFail(whyNot, "bad PCX line length");
  const size_t lineBytes = static_cast<size_t>(bytesPerLine) * planes;
  // A run byte pair gives at most 63 bytes: refuse sizes the file cannot fill before allocating.
  if (lineBytes * height > in.Remaining() / 2 * 63) return ImageFail(whyNot, "truncated PCX pixels");
  uint32_t palette[256] = {};
  for (int i = 0; i < 16; ++i)
    palette[i] = (header[16 + i * 3] << 16) | (header[17 + i * 3] << 8) | header[18 + i * 3];
  if (paletted8) {
    if (size < 128 + 769 || data[size - 769] != 0x0C) return ImageFail(whyNot, "PCX palette missing");
    for (int i = 0; i < 256; ++i)
      palette[i] = (data[size - 768 + i * 3] << 16) | (data[size - 767 + i * 3] << 8) | data[size - 766 + i * 3];
  }
  Surface* surface = MakeLoadSurface(width, height, whyNot);
  if (surface == nullptr) return nullptr;
  std::vector<uint8_t> line(lineBytes);
  for (uint32_t y = 0; y < height; ++y) {
    for (size_t filled = 0; filled < lineBytes && !in.error;) {
      uint8_t value = in.U8();
      size_t run = 1;
      if ((value & 0xC0) == 0xC0) {
        run = value & 0x3F;
        value = in.U8();
      }
      for (; run > 0 && filled < lineBytes; --run) line[filled++] = value;
    }
    if (in.error) {
      SurfaceDestroy(surface);
      return ImageFail(whyNot, "truncated PCX pixels");
    }
    uint32_t* out = surface->pixels.data() + static_cast<size_t>(y) * width;
    for (uint32_t x = 0; x < width; ++x) {
      if (paletted8) {
        out[x] = palette[line[x]];
      } else if (trueColour) {
        out[x] = (line[x] << 16) | (line[bytesPerLine + x] << 8) | line[2 * bytesPerLine + x];
      } else {
        uint32_t index = 0;
        for (int plane = 0; plane < planes; ++plane)
          index |= ((line[plane * bytesPerLine + (x >> 3)] >> (7 - (x & 7))) & 1u) << plane;
        out[x] = palette[index];
      }
    }
  }
  return surface;
}
