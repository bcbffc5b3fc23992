// PNG through libpng's simplified interface: any PNG is read as 8-bit BGRA and its alpha
// dropped; surfaces are written as 8-bit RGB.
#include <png.h>

#include "graphics2d/image_local.h"
#include "platform/surface.h"

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
