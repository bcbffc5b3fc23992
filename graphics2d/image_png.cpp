// PNG through libpng: any PNG is read as 8-bit BGR with the stored sample values (no gamma
// step); surfaces are written as 8-bit RGB.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include "graphics2d/image_local.h"
#include "platform/surface.h"

// How many pixels one byte of the file can stand for, from the header's bits per pixel: the
// raw rows hold a filter byte and then the pixels packed, and deflate packs 1032 bytes in one.
static uint64_t PngPixelsPerByte(const uint8_t* data, size_t size) {
  ByteCursor in(data, size);
  in.Seek(24);  // signature, IHDR length and type, width, height
  const uint32_t depth = in.U8(), colourType = in.U8();
  const uint32_t channels = colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
  const uint32_t bitsPerPixel = std::max(1u, depth * channels);
  return 1032 * 8 / bitsPerPixel + 1;  // rounded up, and the filter bytes ignored: generous
}

// The file's bytes as libpng reads them; a read past the end is a libpng error (a longjmp).
struct PngSource {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

static void ReadPngBytes(png_structp png, png_bytep out, size_t length) {
  PngSource* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (length > source->size - source->pos) png_error(png, "truncated file");
  std::memcpy(out, source->data + source->pos, length);
  source->pos += length;
}

// libpng reports errors by longjmp: the message is kept for the caller's reason.
static void PngErrorMessage(png_structp png, png_const_charp message) {
  std::snprintf(static_cast<char*>(png_get_error_ptr(png)), 128, "%s", message);
  png_longjmp(png, 1);
}
static void PngWarningIgnored(png_structp, png_const_charp) {}

// Decodes to 8-bit BGR with the transformations the picture format calls for: 16-bit samples
// cut to their high byte, alpha dropped, palettes and small grey depths expanded, grey made
// RGB, packed pixels unpacked, BGR order. No gamma step: a pixel keeps the value the file
// stores, whatever gAMA, cHRM, sRGB or iCCP chunk it carries. Interlaced files come whole.
// Between setjmp and its longjmp only plain locals live: the surface is freed on both paths.
Surface* LoadPng(const uint8_t* data, size_t size, std::string* whyNot) {
  char message[128] = "damaged data";
  if (size < 8 || png_sig_cmp(data, 0, 8) != 0) return ImageFail(whyNot, "bad PNG: not a PNG file");
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, message, PngErrorMessage, PngWarningIgnored);
  if (png == nullptr) return ImageFail(whyNot, "bad PNG: out of memory");
  png_infop info = png_create_info_struct(png);
  PngSource source{data, size, 0};
  // Set after setjmp and read after its longjmp: volatile, so they hold their latest values.
  Surface* volatile surface = nullptr;
  png_bytep* volatile rows = nullptr;
  png_bytep volatile pixels = nullptr;
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_free(png, rows);
    png_free(png, pixels);
    png_destroy_read_struct(&png, &info, nullptr);
    SurfaceDestroy(surface);
    return ImageFail(whyNot, std::string("bad PNG: ") + message);
  }
  png_set_read_fn(png, &source, ReadPngBytes);
  png_set_crc_action(png, PNG_CRC_WARN_USE, PNG_CRC_WARN_USE);  // a bad checksum is not a lost picture
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide) png_error(png, "bad size");
  // The rows are deflated, which packs at most 1032 bytes into one: a file too small for the
  // rows its header declares is damaged, and is refused before the picture is allocated.
  if (!DeclaredSizeFitsData(width, height, size, PngPixelsPerByte(data, size), whyNot)) {
    png_destroy_read_struct(&png, &info, nullptr);
    return nullptr;
  }
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_expand(png);
  png_set_gray_to_rgb(png);
  png_set_packing(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const size_t channels = png_get_channels(png, info), rowBytes = png_get_rowbytes(png, info);
  if (channels < 3 || rowBytes < size_t{width} * channels) png_error(png, "unexpected pixel layout");
  surface = MakeLoadSurface(width, height, whyNot);
  if (surface == nullptr) {
    png_destroy_read_struct(&png, &info, nullptr);
    return nullptr;
  }
  pixels = static_cast<png_bytep>(png_malloc(png, rowBytes * height));
  rows = static_cast<png_bytep*>(png_malloc(png, sizeof(png_bytep) * height));
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels + rowBytes * y;
  png_read_image(png, rows);
  for (png_uint_32 y = 0; y < height; ++y) {
    const png_bytep row = pixels + rowBytes * y;
    uint32_t* out = surface->pixels.data() + size_t{y} * width;
    for (png_uint_32 x = 0; x < width; ++x) {
      const png_bytep p = row + x * channels;
      out[x] = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
    }
  }
  png_free(png, rows);
  png_free(png, pixels);
  png_destroy_read_struct(&png, &info, nullptr);
  return surface;
}

bool SavePng(const Surface& surface, std::vector<uint8_t>& out) {
  std::vector<uint8_t> bgr(surface.pixels.size() * 3);
  for (size_t i = 0; i < surface.pixels.size(); ++i) {
    bgr[i * 3] = static_cast<uint8_t>(surface.pixels[i]);
    bgr[i * 3 + 1] = static_cast<uint8_t>(surface.pixels[i] >> 8);
    bgr[i * 3 + 2] = static_cast<uint8_t>(surface.pixels[i] >> 16);
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(surface.width);
  image.height = static_cast<png_uint_32>(surface.height);
  image.format = PNG_FORMAT_BGR;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, bgr.data(), 0, nullptr)) return false;
  out.resize(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, bgr.data(), 0, nullptr)) return false;
  out.resize(size);
  return true;
}
