// Compares an image file with a reference image: same size and every channel within the
// tolerance. Used by the 2D program tests: png_compare OUT REFERENCE TOLERANCE.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "graphics2d/image_files.h"
#include "platform/surface.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: png_compare OUT REFERENCE TOLERANCE\n");
    return 2;
  }
  std::string why;
  Surface* out = LoadImageFile(argv[1], &why);
  if (out == nullptr) {
    std::fprintf(stderr, "cannot read %s: %s\n", argv[1], why.c_str());
    return 1;
  }
  Surface* reference = LoadImageFile(argv[2], &why);
  if (reference == nullptr) {
    std::fprintf(stderr, "cannot read %s: %s\n", argv[2], why.c_str());
    SurfaceDestroy(out);
    return 1;
  }
  const int tolerance = std::atoi(argv[3]);
  int differing = 0;
  if (out->width != reference->width || out->height != reference->height) {
    std::fprintf(stderr, "size %dx%d, reference %dx%d\n", out->width, out->height, reference->width, reference->height);
    differing = -1;
  } else {
    for (size_t i = 0; i < out->pixels.size(); ++i)
      for (int shift = 0; shift <= 16; shift += 8) {
        const int a = static_cast<int>((out->pixels[i] >> shift) & 255);
        const int b = static_cast<int>((reference->pixels[i] >> shift) & 255);
        if (std::abs(a - b) > tolerance) {
          if (differing++ == 0)
            std::fprintf(stderr, "first difference at %zu,%zu\n", i % static_cast<size_t>(out->width),
                         i / static_cast<size_t>(out->width));
          break;
        }
      }
    if (differing > 0) std::fprintf(stderr, "%d pixels differ beyond %d\n", differing, tolerance);
  }
  SurfaceDestroy(out);
  SurfaceDestroy(reference);
  return differing == 0 ? 0 : 1;
}
