// PNG through libpng's simplified interface: any PNG is read as 8-bit BGRA and its alpha
// dropped; surfaces are written as 8-bit RGB.
#include <png.h>

#include <algorithm>

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

Surface* LoadPng(const uint8_t* data, size_t size, std::string* whyNot) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, size))
    return ImageFail(whyNot, std::string("bad PNG: ") + image.message);
  if (image.width == 0 || image.height == 0 || image.width > kMaxImageSide || image.height > kMaxImageSide) {
    png_image_free(&image);
    return ImageFail(whyNot, "bad PNG size");
  }
  // The rows are deflated, which packs at most 1032 bytes into one: a file too small for the
  // rows its header declares is damaged, and is refused before the picture is allocated.
  if (!DeclaredSizeFitsData(image.width, image.height, size, PngPixelsPerByte(data, size), whyNot)) {
    png_image_free(&image);
    return nullptr;
  }
  image.format = PNG_FORMAT_BGRA;
  Surface* surface = MakeLoadSurface(image.width, image.height, whyNot);
  if (surface == nullptr) {
    png_image_free(&image);
    return nullptr;
  }
  // BGRA bytes on a little-endian host are one 0xAARRGGBB word: exactly our pixels plus alpha.
  if (!png_image_finish_read(&image, nullptr, surface->pixels.data(), 0, nullptr)) {
    const std::string reason = std::string("bad PNG: ") + image.message;
    png_image_free(&image);
    SurfaceDestroy(surface);
    return ImageFail(whyNot, reason);
  }
  for (uint32_t& p : surface->pixels) p &= 0xFFFFFFu;
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
