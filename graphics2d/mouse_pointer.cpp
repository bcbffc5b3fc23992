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
  int shape = 1;                // 1-3 arrow, 4 arrow and text bar, 5 hidden
  int barX = -256, barY = -256; // the text bar's top, 13 px high
  int stage = 0;                // the environment's display stage
  int drawnBarX = -256, drawnBarY = -256;  // where the drawn bar went (-256: none)
} gPointer;
constexpr int kTextBarHeight = 13;

// The display draws the pointer in full screen; a window shows the system cursor instead.
static bool SoftwarePointerWanted() { return gPointer.shown && gPointer.shape != 5 && !Display2D.windowMode; }

static void ApplySystemCursor() { PlatformShowSystemCursor(gPointer.shown && Display2D.windowMode); }

void UpdateMousePointer() {
  // While the environment shows its own screen the program's pointer waits off the screen.
  gPointer.x = gPointer.stage > 1 ? -256 : Mouse().x;
  gPointer.y = gPointer.stage > 1 ? -256 : Mouse().y;
}

void SetMousePointerShape(int shape) {
  if (shape >= 1 && shape <= 5) gPointer.shape = shape;
}
int MousePointerShape() { return gPointer.shape; }
void SetTextBarPosition(int x, int y) { gPointer.barX = x, gPointer.barY = y; }
void SetDisplayStage(int stage) { gPointer.stage = stage; }
int DisplayStage() { return gPointer.stage; }

void ResetMousePointer() {
  gPointer.shown = true;
  gPointer.shape = 1;
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
  const int barX = gPointer.drawnBarX, barTop = gPointer.drawnBarY;
  for (int row = 0; row < kArrowHeight; ++row) {
    const int y = top + row;
    for (int column = 0; kArrowRows[row][column] != 0; ++column) {
      const char shape = kArrowRows[row][column];
      const int x = left + column;
      if (shape == ' ' || x < 0 || y < 0 || x >= target.width || y >= target.height) continue;
      visit(target.pixels[static_cast<size_t>(y) * target.width + x], shape);
    }
  }
  if (barX == -256 && barTop == -256) return;
  for (int row = 0; row < kTextBarHeight; ++row) {
    const int x = barX, y = barTop + row;
    if (x < 0 || y < 0 || x >= target.width || y >= target.height) continue;
    visit(target.pixels[static_cast<size_t>(y) * target.width + x], '.');
  }
}

bool DrawMousePointer(Surface& target) {
  gPointer.drawn = false;
  if (!SoftwarePointerWanted() || target.lost) return false;
  gPointer.under.clear();
  gPointer.drawnX = gPointer.x;
  gPointer.drawnY = gPointer.y;
  gPointer.drawnBarX = gPointer.shape == 4 ? gPointer.barX : -256;
  gPointer.drawnBarY = gPointer.shape == 4 ? gPointer.barY : -256;
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
