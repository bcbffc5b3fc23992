// The core drawing commands (ink, cls, dot, box, line, circle, ellipse, plot): each queues a
// draw op; the replay steps here put the pixels on the surface the op was recorded for.
#include <algorithm>
#include <climits>
#include <cmath>

#include "graphics2d/graphics2d_local.h"
#include "runtime/command_numbers.h"

// Positions are 64-bit so an outline far off the surface (program values) cannot overflow.
static void FillPixel(Surface& target, int64_t x, int64_t y, uint32_t colour) {
  if (x >= 0 && y >= 0 && x < target.width && y < target.height)
    target.pixels[static_cast<size_t>(y) * target.width + x] = colour;
}

// Cuts the line from (x1, y1) by (dx, dy) to the part within a pixel of the surface: the
// start and end fractions t0..t1 of it; false when none of it is near.
static bool ClipLine(const Surface& target, double x1, double y1, double dx, double dy, double& t0, double& t1) {
  t0 = 0.0;
  t1 = 1.0;
  // Each side keeps the points where p * t <= q.
  const double sides[4][2] = {{-dx, x1 + 1.0}, {dx, target.width - x1}, {-dy, y1 + 1.0}, {dy, target.height - y1}};
  for (const auto& side : sides) {
    const double p = side[0], q = side[1];
    if (p == 0.0) {
      if (q < 0.0) return false;
      continue;
    }
    const double t = q / p;
    if (p < 0.0) t0 = std::max(t0, t);
    else t1 = std::min(t1, t);
  }
  return t0 <= t1;
}

// Plots the line in steps along its length, as many as sqrt(dx*dx + dy*dy), one pixel each.
// A line longer than any surface is first cut to the part near the surface, so the steps
// still fall on every pixel.
static void PlotLine(Surface& target, double x1, double y1, double x2, double y2, uint32_t colour) {
  double startX = x1, startY = y1;
  double dx = x2 - x1, dy = y2 - y1;
  double length = std::sqrt(dx * dx + dy * dy);
  if (length > 65536.0) {
    double t0, t1;
    if (!ClipLine(target, startX, startY, dx, dy, t0, t1)) return;
    startX += dx * t0;
    startY += dy * t0;
    dx *= t1 - t0;
    dy *= t1 - t0;
    length = std::ceil(std::sqrt(dx * dx + dy * dy));  // the cut ends fall between pixels
  }
  const int steps = static_cast<int>(std::min(length, 65536.0));
  if (steps == 0) return FillPixel(target, std::llround(startX), std::llround(startY), colour);
  for (int i = 0; i <= steps; ++i)
    FillPixel(target, std::llround(startX + dx * i / steps), std::llround(startY + dy * i / steps), colour);
}

// Plots the outline of an ellipse with enough angle steps that neighbouring points touch.
// Past the step limit the points are joined by lines, those near the surface drawn.
static void PlotEllipse(Surface& target, int cx, int cy, int rx, int ry, uint32_t colour) {
  const int64_t radiusX = std::llabs(int64_t{rx}), radiusY = std::llabs(int64_t{ry});  // -2^31 has no int opposite
  const double longest = std::min<double>(static_cast<double>(std::max(radiusX, radiusY)), 65536.0);
  const int steps = std::max(8, static_cast<int>(longest * 8));
  if (std::max(radiusX, radiusY) > 65536) {
    auto point = [&](int i, double& x, double& y) {
      const double angle = 2.0 * M_PI * i / steps;
      x = cx + std::round(std::cos(angle) * static_cast<double>(radiusX));
      y = cy + std::round(std::sin(angle) * static_cast<double>(radiusY));
    };
    double x1, y1, x2, y2;
    point(0, x1, y1);
    for (int i = 1; i <= steps; ++i, x1 = x2, y1 = y2) {
      point(i, x2, y2);
      if (std::max(x1, x2) < -1.0 || std::min(x1, x2) > target.width || std::max(y1, y2) < -1.0 ||
          std::min(y1, y2) > target.height)
        continue;
      PlotLine(target, x1, y1, x2, y2, colour);
    }
    return;
  }
  for (int i = 0; i < steps; ++i) {
    const double angle = 2.0 * M_PI * i / steps;
    FillPixel(target, int64_t{cx} + std::llround(std::cos(angle) * static_cast<double>(radiusX)),
              int64_t{cy} + std::llround(std::sin(angle) * static_cast<double>(radiusY)), colour);
  }
}

void ReplayDrawingOp(DrawOp& op, Surface& target) {
  switch (op.code) {
    case kOpClearScreen:  // y = 1: x is the colour to clear with, else the paper colour
      SurfaceFill(target, SurfaceRect{0, 0, target.width, target.height},
                  op.y == 1 ? ColourToPixel(op.x) : Draw2D.paperPixel);
      break;
    case kOpPrintText:
      DrawTextOnSurface(target, op.x, op.y, op.payload, false, false);
      break;
    case kOpInputText:
      // The typed line: its area (x2 wide, y2 high) cleared with the paper, then drawn opaque.
      if (op.x2 > 0 && op.y2 > 0) {
        const auto end = [](int32_t start, int32_t size) {
          return static_cast<int>(std::min<int64_t>(int64_t{start} + size, INT32_MAX));
        };
        SurfaceFill(target, SurfaceRect{op.x, op.y, end(op.x, op.x2), end(op.y, op.y2)}, Draw2D.paperPixel);
      }
      DrawTextOnSurface(target, op.x, op.y, op.payload, true, false);
      break;
    case kOpDot:
      FillPixel(target, op.x, op.y, Draw2D.inkPixel);
      break;
    case kOpBox: {
      // Either corner order draws the same box; x2, y2 are exclusive as with a fill rectangle.
      const SurfaceRect rect{std::min(op.x, op.x2), std::min(op.y, op.y2), std::max(op.x, op.x2), std::max(op.y, op.y2)};
      SurfaceFill(target, rect, Draw2D.inkPixel);
      break;
    }
    case kOpLine:
      PlotLine(target, op.x, op.y, op.x2, op.y2, Draw2D.inkPixel);
      break;
    case kOpEllipse:
      PlotEllipse(target, op.x, op.y, op.x2, op.y2, Draw2D.inkPixel);
      break;
    case kOpInk:
      InkToPixel(op.x2, op.x);
      break;
    case kOpClearColour:
      InkToPixel(op.x, -1);
      break;
    case kOpPlot:
      FillPixel(target, op.x, op.y, ColourToPixel(op.x2));
      break;
    default:
      break;
  }
}

static void Queue(int32_t code, int32_t x, int32_t y, int32_t x2 = 0, int32_t y2 = 0) {
  RecordDrawOp(code, x, y, x2, y2);
  EndSliceAfterDrawing();
}

static void CmdDrawCls() { Queue(kOpClearScreen, 0, 0); }
void QueueClearScreenWithColour(int32_t colour) { Queue(kOpClearScreen, colour, 1); }
static void CmdDrawClsColour() {  // colour
  const int32_t colour = IntOperand(0);
  AdvanceOperands(1);
  RecordDrawOp(kOpClearColour, colour, 0);
  Queue(kOpClearScreen, 0, 0);
}
static void CmdDrawInk() {  // foreground, background
  const int32_t ink = IntOperand(0), paper = IntOperand(1);
  AdvanceOperands(2);
  Queue(kOpInk, ink, 0, paper);
}
static void CmdDrawDot() {
  const int32_t x = IntOperand(0), y = IntOperand(1);
  AdvanceOperands(2);
  Queue(kOpDot, x, y);
}
static void CmdDrawPlot() {  // x, y, colour
  const int32_t x = IntOperand(0), y = IntOperand(1), colour = IntOperand(2);
  AdvanceOperands(3);
  Queue(kOpPlot, x, y, colour);
}
// Reads four integer operands for the box, line and ellipse commands.
static void QueueFour(int32_t code) {
  const int32_t a = IntOperand(0), b = IntOperand(1), c = IntOperand(2), d = IntOperand(3);
  AdvanceOperands(4);
  Queue(code, a, b, c, d);
}
static void CmdDrawBox() { QueueFour(kOpBox); }
static void CmdDrawLine() { QueueFour(kOpLine); }
static void CmdDrawEllipse() { QueueFour(kOpEllipse); }
static void CmdDrawCircle() {  // x, y, radius
  const int32_t x = IntOperand(0), y = IntOperand(1), radius = IntOperand(2);
  AdvanceOperands(3);
  Queue(kOpEllipse, x, y, radius, radius);
}
// The colour of a pixel of the drawing bitmap as drawn so far: under automatic refresh the
// queue has been replayed before the next command, under sync on it is the picture of the last sync.
static void CmdDrawPoint() {
  const int32_t x = IntOperand(1), y = IntOperand(2);
  const Surface* surface = BitmapSlot(Draw2D.recordBitmap).surface;
  const bool inside = surface != nullptr && x >= 0 && y >= 0 && x < surface->width && y < surface->height;
  WriteIntResult(inside ? static_cast<int32_t>(surface->pixels[static_cast<size_t>(y) * surface->width + x] & 0xFFFFFF) : 0);
  AdvanceOperands(3);
}
static void CmdMouseHide() { ShowMousePointer(false); }
static void CmdMouseShow() { ShowMousePointer(true); }

static const CommandEntry kDrawingCommands[] = {
    {kDrawCls, CmdDrawCls},   {kDrawClsColour, CmdDrawClsColour}, {kDrawInk, CmdDrawInk},
    {kDrawDot, CmdDrawDot},   {kDrawPlot, CmdDrawPlot},           {kDrawBox, CmdDrawBox},
    {kDrawLine, CmdDrawLine}, {kDrawEllipse, CmdDrawEllipse},     {kDrawCircle, CmdDrawCircle},
    {kMouseHide, CmdMouseHide}, {kMouseShow, CmdMouseShow},   {kDrawPoint, CmdDrawPoint},
};

bool RegisterDrawingCommands() { return RegisterCommands(kDrawingCommands); }
