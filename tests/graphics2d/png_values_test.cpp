// PNG decoding over files of every colour type, bit depth and interlacing, the way the public
// PNG test suite lays them out: each pixel must come back as the value the file stores (16-bit
// samples by their high byte, small grey depths and palettes expanded, alpha dropped), whatever
// gamma chunk the file carries. The files are written here by libpng's writer.
#include <gtest/gtest.h>
#include <png.h>

#include <memory>
#include <string>
#include <vector>

#include "graphics2d/image_files.h"
#include "platform/surface.h"

namespace {

// One file of the table: colour type, bit depth, size, interlacing and the chunks it carries.
struct PngCase {
  int colourType;
  int depth;
  int width, height;
  bool interlaced;
  bool transparency;  // a tRNS chunk (a key colour, or palette alphas)
};

// The stored sample of channel c at (x, y): spread over the depth's whole range, and for 16
// bits different in both bytes, so a low byte taken for the high one shows.
uint32_t Sample(int x, int y, int c, int depth) {
  const uint32_t h = (static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u ^ static_cast<uint32_t>(c) * 83492791u) * 2654435761u;
  return (h >> 8) & ((1u << depth) - 1);
}

int Channels(int colourType) {
  switch (colourType) {
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;  // grey, palette index
  }
}

// The palette entry i (distinct channels, so a swap of red and blue shows).
uint32_t PaletteColour(int i) { return static_cast<uint32_t>((i * 37 + 11) & 255) << 16 | ((i * 91 + 7) & 255) << 8 | ((i * 13 + 200) & 255); }

// 8-bit value of a stored grey or colour sample, as the file means it.
uint32_t To8(uint32_t v, int depth) {
  if (depth == 16) return v >> 8;
  return v * 255 / ((1u << depth) - 1);
}

uint32_t ExpectedPixel(const PngCase& k, int x, int y) {
  if (k.colourType == PNG_COLOR_TYPE_PALETTE) return PaletteColour(static_cast<int>(Sample(x, y, 0, k.depth)));
  if (k.colourType == PNG_COLOR_TYPE_GRAY || k.colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    const uint32_t g = To8(Sample(x, y, 0, k.depth), k.depth);
    return g << 16 | g << 8 | g;
  }
  return To8(Sample(x, y, 0, k.depth), k.depth) << 16 | To8(Sample(x, y, 1, k.depth), k.depth) << 8 |
         To8(Sample(x, y, 2, k.depth), k.depth);
}

void WriteToVector(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void FlushNothing(png_structp) {}

// Writes the case's file: raw rows packed as the format stores them, a gAMA chunk far from
// 1/2.2 and an sBIT chunk (neither may change a value), tRNS when asked.
std::vector<uint8_t> WritePng(const PngCase& k) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the case";
    return {};
  }
  png_set_write_fn(png, &out, WriteToVector, FlushNothing);
  png_set_IHDR(png, info, k.width, k.height, k.depth, k.colourType,
               k.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_gAMA(png, info, 0.35);
  const int channels = Channels(k.colourType);
  if (k.colourType == PNG_COLOR_TYPE_PALETTE) {
    std::vector<png_color> palette(1u << k.depth);
    for (size_t i = 0; i < palette.size(); ++i) {
      const uint32_t c = PaletteColour(static_cast<int>(i));
      palette[i] = png_color{static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)};
    }
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (k.transparency) {
      png_byte alphas[2] = {0, 128};
      png_set_tRNS(png, info, alphas, 2, nullptr);
    }
  } else {
    png_color_8 bits{};
    bits.red = bits.green = bits.blue = bits.gray = bits.alpha = static_cast<png_byte>(k.depth == 16 ? 12 : k.depth);
    png_set_sBIT(png, info, &bits);
    if (k.transparency && (k.colourType == PNG_COLOR_TYPE_GRAY || k.colourType == PNG_COLOR_TYPE_RGB)) {
      png_color_16 key{};
      key.gray = static_cast<png_uint_16>(Sample(0, 0, 0, k.depth));
      key.red = key.gray;
      key.green = static_cast<png_uint_16>(Sample(0, 0, 1, k.depth));
      key.blue = static_cast<png_uint_16>(Sample(0, 0, 2, k.depth));
      png_set_tRNS(png, info, nullptr, 0, &key);
    }
  }
  png_write_info(png, info);
  const size_t bitsPerPixel = static_cast<size_t>(channels * k.depth);
  const size_t rowBytes = (bitsPerPixel * k.width + 7) / 8;
  std::vector<std::vector<png_byte>> rows(k.height, std::vector<png_byte>(rowBytes, 0));
  for (int y = 0; y < k.height; ++y)
    for (int x = 0; x < k.width; ++x)
      for (int c = 0; c < channels; ++c) {
        const uint32_t v = Sample(x, y, c, k.depth);
        const size_t bit = (static_cast<size_t>(x) * channels + c) * k.depth;
        if (k.depth == 16) {
          rows[y][bit / 8] = static_cast<png_byte>(v >> 8);
          rows[y][bit / 8 + 1] = static_cast<png_byte>(v);
        } else {  // big-endian bit order: the first sample in the highest bits
          rows[y][bit / 8] |= static_cast<png_byte>(v << (8 - k.depth - bit % 8));
        }
      }
  std::vector<png_bytep> pointers;
  for (auto& row : rows) pointers.push_back(row.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::string Describe(const PngCase& k) {
  return "type " + std::to_string(k.colourType) + " depth " + std::to_string(k.depth) + " " +
         std::to_string(k.width) + "x" + std::to_string(k.height) + (k.interlaced ? " interlaced" : "") +
         (k.transparency ? " tRNS" : "");
}

}  // namespace

TEST(PngValues, EveryColourTypeDepthAndInterlacingGivesTheStoredValues) {
  const struct {
    int colourType;
    std::vector<int> depths;
  } types[] = {
      {PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}},
      {PNG_COLOR_TYPE_RGB, {8, 16}},
      {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}},
      {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}},
      {PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}},
  };
  // Sizes of the suite's odd-size files: a single pixel, sizes that leave Adam7 passes empty,
  // and rows whose packed bits end inside a byte.
  const int sizes[][2] = {{1, 1}, {3, 3}, {7, 5}, {32, 32}, {35, 2}};
  for (const auto& type : types)
    for (int depth : type.depths)
      for (const auto& size : sizes)
        for (bool interlaced : {false, true})
          for (bool transparency : {false, true}) {
            const PngCase k{type.colourType, depth, size[0], size[1], interlaced, transparency};
            const std::vector<uint8_t> file = WritePng(k);
            std::string why;
            std::unique_ptr<Surface, void (*)(Surface*)> loaded(
                LoadImageFromMemory(file.data(), file.size(), "png", &why), SurfaceDestroy);
            ASSERT_NE(loaded, nullptr) << Describe(k) << ": " << why;
            ASSERT_EQ(loaded->width, k.width);
            ASSERT_EQ(loaded->height, k.height);
            int wrong = 0;
            for (int y = 0; y < k.height; ++y)
              for (int x = 0; x < k.width; ++x)
                if ((loaded->pixels[static_cast<size_t>(y) * k.width + x] & 0xFFFFFF) != ExpectedPixel(k, x, y) &&
                    wrong++ == 0)
                  ADD_FAILURE() << Describe(k) << " at " << x << "," << y << ": " << std::hex
                                << (loaded->pixels[static_cast<size_t>(y) * k.width + x] & 0xFFFFFF) << " not "
                                << ExpectedPixel(k, x, y);
          }
}
