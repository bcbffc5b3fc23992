// The image-file layer's front: picks the format by the file name's last three letters, reads
// the whole file into memory for the loaders, and writes saved images through a temporary file.
#include "graphics2d/image_files.h"

#include <cstdio>
#include <strings.h>
#include <unistd.h>

#include "graphics2d/image_local.h"
#include "platform/file_replace.h"
#include "platform/folders.h"
#include "platform/surface.h"

// Largest image file read into memory; bigger files are refused rather than exhausting memory.
static constexpr long kMaxImageFileBytes = 256L * 1024 * 1024;

// The formats by extension: a loader, and a saver where the format is writable.
static const struct ImageFormat {
  const char* extension;
  Surface* (*load)(const uint8_t*, size_t, std::string*);
  bool (*save)(const Surface&, std::vector<uint8_t>&);
} kImageFormats[] = {
    {"bmp", LoadBmp, SaveBmp},   {"dib", LoadBmp, SaveBmp},     {"rle", LoadBmp, nullptr},
    {"tga", LoadTga, SaveTga},   {"dds", LoadDds, SaveDds},     {"pcx", LoadPcx, nullptr},
    {"png", LoadPng, SavePng},   {"jpg", LoadJpeg, nullptr},    {"tif", LoadTiff, nullptr},
    {"psd", LoadPsd, nullptr},
};

Surface* ImageFail(std::string* whyNot, const std::string& reason) {
  if (whyNot != nullptr) *whyNot = reason;
  return nullptr;
}

const char kImageMemoryFullReason[] = "images and bitmaps would pass their memory limit";

bool LoadSizeAllowed(uint32_t width, uint32_t height, std::string* whyNot) {
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide) {
    ImageFail(whyNot, "bad image size: " + std::to_string(width) + "x" + std::to_string(height));
    return false;
  }
  if (!SurfaceFitsMemoryLimit(static_cast<int>(width), static_cast<int>(height))) {
    ImageFail(whyNot, kImageMemoryFullReason);
    return false;
  }
  return true;
}

bool DeclaredSizeFitsData(uint32_t width, uint32_t height, size_t bytes, uint64_t pixelsPerByte, std::string* whyNot) {
  if (uint64_t{width} * height <= uint64_t{bytes} * pixelsPerByte) return true;
  ImageFail(whyNot, "image size " + std::to_string(width) + "x" + std::to_string(height) + " is more than " +
                        std::to_string(bytes) + " bytes of data can hold");
  return false;
}

Surface* MakeLoadSurface(uint32_t width, uint32_t height, std::string* whyNot) {
  if (!LoadSizeAllowed(width, height, whyNot)) return nullptr;
  Surface* surface = SurfaceCreate(static_cast<int>(width), static_cast<int>(height));
  if (surface == nullptr) return ImageFail(whyNot, "out of memory for the image");
  return surface;
}

// The last three letters of a name, lower-cased ("" when shorter); a name ending in ".tiff"
// (or the bare extension "tiff") counts as "tif", the four-letter spelling most TIFF writers use.
static std::string ExtensionOf(const char* name) {
  const size_t length = std::strlen(name);
  if (length >= 4 && strcasecmp(name + length - 4, "tiff") == 0 && (length == 4 || name[length - 5] == '.')) return "tif";
  if (length < 3) return "";
  std::string extension(name + length - 3);
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return extension;
}

static const ImageFormat* FindFormat(const std::string& extension) {
  for (const ImageFormat& format : kImageFormats)
    if (extension == format.extension) return &format;
  return nullptr;
}

Surface* LoadImageFromMemory(const uint8_t* data, size_t size, const char* extension, std::string* whyNot) {
  const ImageFormat* format = FindFormat(ExtensionOf(extension));
  if (format == nullptr) return ImageFail(whyNot, std::string("unknown image type: ") + extension);
  if (data == nullptr || size == 0) return ImageFail(whyNot, "empty image file");
  return format->load(data, size, whyNot);
}

Surface* LoadImageFile(const char* path, std::string* whyNot) {
  const ImageFormat* format = FindFormat(ExtensionOf(path));
  if (format == nullptr) return ImageFail(whyNot, std::string("unknown image type: ") + path);
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return ImageFail(whyNot, std::string("cannot open ") + path);
  std::vector<uint8_t> bytes;
  long length = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
  if (length < 0 || length > kMaxImageFileBytes || std::fseek(file, 0, SEEK_SET) != 0) {
    std::fclose(file);
    return ImageFail(whyNot, std::string("unreadable or too large: ") + path);
  }
  bytes.resize(static_cast<size_t>(length));
  const size_t got = length > 0 ? std::fread(bytes.data(), 1, bytes.size(), file) : 0;
  std::fclose(file);
  if (got != bytes.size()) return ImageFail(whyNot, std::string("short read: ") + path);
  return LoadImageFromMemory(bytes.data(), bytes.size(), format->extension, whyNot);
}

bool SaveImageFile(const char* path, const Surface& surface, std::string* whyNot) {
  const std::string extension = ExtensionOf(path);
  const ImageFormat* format = FindFormat(extension);
  std::vector<uint8_t> bytes;
  bool encoded = false;
  if (extension == "jpg") {
    encoded = SaveJpeg(surface, kJpegSaveQuality, bytes);
  } else if (format != nullptr && format->save != nullptr) {
    encoded = format->save(surface, bytes);
  } else {
    if (whyNot != nullptr) *whyNot = "cannot save images of type '" + extension + "'";
    return false;
  }
  if (!encoded) {
    if (whyNot != nullptr) *whyNot = "could not encode " + extension;
    return false;
  }
  // Written beside the target, then renamed over it: a failed save leaves the old file whole.
  std::string why;
  if (!PlatformReplaceFile(path, bytes.data(), bytes.size(), false, &why)) {
    if (whyNot != nullptr) *whyNot = std::string("cannot write ") + path + ": " + why;
    return false;
  }
  return true;
}
