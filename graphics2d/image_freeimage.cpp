// TIFF and PSD through FreeImage's plug-ins (libtiff underneath for TIFF): read from memory,
// converted to 32 bits, alpha dropped, rows turned top-down.
#include <FreeImage.h>
#include <tiffio.h>

#include <algorithm>

#include "graphics2d/image_local.h"
#include "platform/carried.h"
#include "platform/surface.h"

static Surface* LoadWithFreeImage(FREE_IMAGE_FORMAT format, const uint8_t* data, size_t size, std::string* whyNot) {
  const std::string missing = PlatformUseProblem(CarriedUse::kPictures);
  if (!missing.empty()) return ImageFail(whyNot, missing);
  static bool initialised = false;
  if (!initialised) {
    FreeImage_Initialise(FALSE);
    // Damaged files are reported through our own result; the library's chatter is not wanted.
    FreeImage_SetOutputMessage([](FREE_IMAGE_FORMAT, const char*) {});
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    initialised = true;
  }
  if (size > 0xFFFFFFFFu) return ImageFail(whyNot, "image file too large");
  FIMEMORY* memory = FreeImage_OpenMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size));
  if (memory == nullptr) return ImageFail(whyNot, "out of memory");
  // Read the header alone first: a damaged file claiming a huge size is refused before the
  // library allocates its pixels.
  FIBITMAP* header = FreeImage_LoadFromMemory(format, memory, FIF_LOAD_NOPIXELS);
  if (header != nullptr) {
    const unsigned width = FreeImage_GetWidth(header), height = FreeImage_GetHeight(header);
    FreeImage_Unload(header);
    if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide) {
      FreeImage_CloseMemory(memory);
      return ImageFail(whyNot, "bad image size: " + std::to_string(width) + "x" + std::to_string(height));
    }
    // The library allocates the whole picture before it reads the data, so a file too small
    // for the size it declares is refused first. Deflate packs at most 1032 bytes into one
    // (8256 one-bit pixels), more than PSD's run lengths or TIFF's LZW reach on usual sizes;
    // TIFF's fax codings spend at least a bit on each row, whatever its width.
    const uint64_t pixelsPerByte = format == FIF_TIFF ? std::max<uint64_t>(1032 * 8, uint64_t{8} * width) : 1032 * 8;
    if (!DeclaredSizeFitsData(width, height, size, pixelsPerByte, whyNot) || !LoadSizeAllowed(width, height, whyNot)) {
      FreeImage_CloseMemory(memory);
      return nullptr;
    }
  }
  FreeImage_SeekMemory(memory, 0, SEEK_SET);
  FIBITMAP* loaded = FreeImage_LoadFromMemory(format, memory, 0);
  FreeImage_CloseMemory(memory);
  if (loaded == nullptr) return ImageFail(whyNot, "unreadable image data");
  FIBITMAP* converted = FreeImage_ConvertTo32Bits(loaded);
  FreeImage_Unload(loaded);
  if (converted == nullptr) return ImageFail(whyNot, "unsupported image colours");
  const unsigned width = FreeImage_GetWidth(converted);
  const unsigned height = FreeImage_GetHeight(converted);
  Surface* surface = MakeLoadSurface(width, height, whyNot);
  if (surface != nullptr) {
    for (unsigned y = 0; y < height; ++y) {
      const BYTE* row = FreeImage_GetScanLine(converted, static_cast<int>(height - 1 - y));  // bottom-up rows
      uint32_t* out = surface->pixels.data() + static_cast<size_t>(y) * width;
      for (unsigned x = 0; x < width; ++x)
        out[x] = (row[x * 4 + FI_RGBA_RED] << 16) | (row[x * 4 + FI_RGBA_GREEN] << 8) | row[x * 4 + FI_RGBA_BLUE];
    }
  }
  FreeImage_Unload(converted);
  return surface;
}

Surface* LoadTiff(const uint8_t* data, size_t size, std::string* whyNot) {
  return LoadWithFreeImage(FIF_TIFF, data, size, whyNot);
}

Surface* LoadPsd(const uint8_t* data, size_t size, std::string* whyNot) {
  return LoadWithFreeImage(FIF_PSD, data, size, whyNot);
}
