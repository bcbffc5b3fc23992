// The software mouse pointer: an arrow drawn over each presented frame at the mouse position
// while it is shown (full screen); in window mode the system cursor stands in for it.
#include <iterator>
#include <vector>

#include "graphics2d/graphics2d_local.h"
#include "platform/window.h"

// The arrow, tip at the top left: 'X' outline, '.' fill, blank left as it is.
static const char* const kArrowRows[] = {
    "X",          "XX",         "X.X",         "X..X",       "X...X",     "X....X",    "X.....X",
    "X......X",   "X.......X",  "X........X",  "X.........X", "X......XXXXX", "X...X..X", "X..XX..X",
    "X.X  X..X",  "XX   X..X",  "X     X..X",  "      X..X",  "       XX",
};
constexpr int kArrowHeight = static_cast<int>(std::size(kArrowRows));
constexpr uint32_t kArrowOutline = 0x000000, kArrowFill = 0xFFFFFF;

// Pointer state: reset at every display start. The pixels under a drawn pointer are kept
// until the frame has been presented.
static struct {
  bool shown = true;
  int x = 320, y = 240;
  bool drawn = false;
  int drawnX = 0, drawnY = 0;
  std::vector<uint32_t> under;  // one entry per arrow pixel, in row order
} gPointer;

// The display draws the pointer in full screen; a window shows the system cursor instead.
static bool SoftwarePointerWanted() { return gPointer.shown && !Display2D.windowMode; }

static void ApplySystemCursor() { PlatformShowSystemCursor(gPointer.shown && Display2D.windowMode); }

void UpdateMousePointer() {
  gPointer.x = Mouse().x;
  gPointer.y = Mouse().y;
}

void ResetMousePointer() {
  gPointer.shown = true;
  gPointer.x = 320;
  gPointer.y = 240;
  gPointer.drawn = false;
  ApplySystemCursor();
}

void ShowMousePointer(bool shown) {
  gPointer.shown = shown;
  ApplySystemCursor();
}

bool MousePointerShown() { return gPointer.shown; }

// Calls visit(pixel, shape) for each arrow pixel that lands on the surface.
template <class Visit>
static void ForEachArrowPixel(Surface& target, int left, int top, Visit visit) {
  for (int row = 0; row < kArrowHeight; ++row) {
    const int y = top + row;
    for (int column = 0; kArrowRows[row][column] != 0; ++column) {
      const char shape = kArrowRows[row][column];
      const int x = left + column;
      if (shape == ' ' || x < 0 || y < 0 || x >= target.width || y >= target.height) continue;
      visit(target.pixels[static_cast<size_t>(y) * target.width + x], shape);
    }
  }
}

bool DrawMousePointer(Surface& target) {
  gPointer.drawn = false;
  if (!SoftwarePointerWanted() || target.lost) return false;
  gPointer.under.clear();
  gPointer.drawnX = gPointer.x;
  gPointer.drawnY = gPointer.y;
  ForEachArrowPixel(target, gPointer.drawnX, gPointer.drawnY, [](uint32_t& pixel, char shape) {
    gPointer.under.push_back(pixel);
    pixel = shape == 'X' ? kArrowOutline : kArrowFill;
  });
  gPointer.drawn = true;
  return true;
}

void RemoveMousePointer(Surface& target) {
  if (!gPointer.drawn) return;
  gPointer.drawn = false;
  if (target.lost) return;
  size_t next = 0;
  ForEachArrowPixel(target, gPointer.drawnX, gPointer.drawnY, [&next](uint32_t& pixel, char) {
    if (next < gPointer.under.size()) pixel = gPointer.under[next++];
  });
}
