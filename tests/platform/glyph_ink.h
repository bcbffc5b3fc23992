// The ink of drawn text in an area of a surface (every pixel not black counts), for tests
// that tell font styles and fonts apart by what they draw.
#pragma once
#include <algorithm>

#include "platform/surface.h"

struct GlyphInk {
  int pixels = 0;   // inked pixels
  int right = -1;   // the rightmost inked column, -1 when none
  double lean = 0;  // how far right the top row of ink lies from the bottom row: a slanted stroke leans right as it rises
};

inline GlyphInk InkInArea(const Surface& s, int left, int top, int width, int height) {
  GlyphInk ink;
  double firstMean = -1, lastMean = -1;
  for (int y = std::max(top, 0); y < std::min(top + height, s.height); ++y) {
    int count = 0, sum = 0;
    for (int x = std::max(left, 0); x < std::min(left + width, s.width); ++x)
      if (s.pixels[static_cast<size_t>(y) * s.width + x] != 0) ++count, sum += x, ink.right = std::max(ink.right, x);
    if (count == 0) continue;
    const double mean = static_cast<double>(sum) / count;
    if (firstMean < 0) firstMean = mean;
    lastMean = mean;
    ink.pixels += count;
  }
  ink.lean = firstMean - lastMean;
  return ink;
}
