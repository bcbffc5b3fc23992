// Fuzz target for the image-file layer: the first byte chooses the format by extension, the
// rest is the file; a loader must return an image or a reason, never crash or read past.
#include <cstddef>
#include <cstdint>
#include <string>

#include "graphics2d/image_files.h"
#include "platform/surface.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kExtensions[] = {"bmp", "rle", "dib", "tga", "dds", "pcx", "png", "jpg", "tif", "psd"};
  if (size < 1) return 0;
  const char* extension = kExtensions[data[0] % (sizeof kExtensions / sizeof kExtensions[0])];
  std::string why;
  Surface* surface = LoadImageFromMemory(data + 1, size - 1, extension, &why);
  SurfaceDestroy(surface);
  return 0;
}
