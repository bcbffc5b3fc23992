// Pixel work on whole surfaces: mirror, flip, box blur and fade, used by the bitmap ops and
// the image fade op.
#include <algorithm>

#include "graphics2d/graphics2d_local.h"

void MirrorSurface(Surface& surface) {
  for (int y = 0; y < surface.height; ++y) {
    uint32_t* row = surface.pixels.data() + static_cast<size_t>(y) * surface.width;
    std::reverse(row, row + surface.width);
  }
}

void FlipSurface(Surface& surface) {
  for (int top = 0, bottom = surface.height - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(surface.pixels.begin() + static_cast<ptrdiff_t>(top) * surface.width,
                     surface.pixels.begin() + static_cast<ptrdiff_t>(top + 1) * surface.width,
                     surface.pixels.begin() + static_cast<ptrdiff_t>(bottom) * surface.width);
}

// Each pass replaces a pixel by the mean of its 3x3 neighbourhood (edges use what exists).
void BlurSurface(Surface& surface, int passes) {
  PixelVector source;
  for (int pass = 0; pass < passes; ++pass) {
    source = surface.pixels;
    for (int y = 0; y < surface.height; ++y)
      for (int x = 0; x < surface.width; ++x) {
        uint32_t sum[3] = {0, 0, 0};
        uint32_t count = 0;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const int sx = x + dx, sy = y + dy;
            if (sx < 0 || sy < 0 || sx >= surface.width || sy >= surface.height) continue;
            const uint32_t p = source[static_cast<size_t>(sy) * surface.width + sx];
            sum[0] += (p >> 16) & 255, sum[1] += (p >> 8) & 255, sum[2] += p & 255;
            ++count;
          }
        surface.pixels[static_cast<size_t>(y) * surface.width + x] =
            ((sum[0] / count) << 16) | ((sum[1] / count) << 8) | (sum[2] / count);
      }
  }
}

void FadeSurface(Surface& surface, int percent) {
  const uint32_t scale = static_cast<uint32_t>(std::clamp(percent, 0, 100));
  for (uint32_t& p : surface.pixels)
    p = ((((p >> 16) & 255) * scale / 100) << 16) | ((((p >> 8) & 255) * scale / 100) << 8) | ((p & 255) * scale / 100);
}
