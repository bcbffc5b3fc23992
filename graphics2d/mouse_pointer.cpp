// The mouse pointer's least: shown or hidden, and its position following the mouse state. The
// window's own cursor stands in for a drawn pointer.
#include "graphics2d/graphics2d_local.h"

// Pointer state: reset at every display start.
static struct {
  bool shown = true;
  int x = 320, y = 240;
} gPointer;

void UpdateMousePointer() {
  gPointer.x = Mouse().x;
  gPointer.y = Mouse().y;
}

void ResetMousePointer() {
  gPointer.shown = true;
  gPointer.x = 320;
  gPointer.y = 240;
}

void ShowMousePointer(bool shown) { gPointer.shown = shown; }
bool MousePointerShown() { return gPointer.shown; }
