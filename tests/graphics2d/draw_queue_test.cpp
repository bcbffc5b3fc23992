// Draw queue rules: how many frames a record lives (screen, full screen or not, and bitmaps),
// codes without a case, no back buffer, stale bitmaps and the drawing target.
#include "graphics2d/graphics2d_local.h"
#include "runtime/command_numbers.h"
#include "tests/graphics2d/g2d_harness.h"

namespace g2d {
namespace {

class DrawQueueTest : public DisplayTest {};

// The display presents its one back buffer, in a window or full screen: a screen record is
// drawn on one frame, so a frame never shows the drawing of the frame before it again.
TEST_F(DrawQueueTest, ScreenRecordsLiveOneFrameInAWindowAndFullScreen) {
  for (bool fullScreen : {false, true}) {
    OpenDisplay(fullScreen);
    Run(kDrawDot, {5, 5});
    Run(kDrawLine, {0, 0, 10, 10});
    EXPECT_EQ(DrawQueueCount(), 2);
    Frame();
    EXPECT_EQ(DrawQueueCount(), 0) << "full screen " << fullScreen;
  }
}

TEST_F(DrawQueueTest, BitmapRecordsLiveOneFrameFullScreen) {
  OpenDisplay(true);
  Run(kBitmapCreate, {1, 16, 16});
  Frame();
  ASSERT_EQ(DrawQueueCount(), 0);
  ASSERT_EQ(TakeError(), 0);
  Run(kBitmapSetCurrent, {1});
  Run(kDrawDot, {1, 1});
  Run(kBitmapMirror, {1});
  Frame();
  EXPECT_EQ(DrawQueueCount(), 0);
  EXPECT_EQ(BitmapSlot(1).surface->pixels[1 * 16 + 14], 0xFFFFFFu);  // the dot, mirrored once
}

TEST_F(DrawQueueTest, CodesWithoutACaseAreFreedWithoutEffect) {
  const PixelVector before = BackBuffer()->pixels;
  for (int code : {7, 12, 50, 57, 100, 111, 203, 204, 211, 300}) RecordDrawOp(code, 1, 1, 5, 5, 1, "x");
  EXPECT_EQ(DrawQueueCount(), 10);
  Frame();
  EXPECT_EQ(DrawQueueCount(), 0);
  EXPECT_EQ(BackBuffer()->pixels, before);
  EXPECT_EQ(TakeError(), 0);
}

TEST_F(DrawQueueTest, WithoutBackBufferTheQueueWaits) {
  Run(kDrawDot, {3, 3});
  Surface* back = BackBuffer();
  Display2D.backBuffer = nullptr;
  ReplayDrawQueue();
  EXPECT_EQ(DrawQueueCount(), 1);
  Display2D.backBuffer = back;
  ReplayDrawQueue();
  EXPECT_EQ(DrawQueueCount(), 0);
  EXPECT_EQ(Pixel(3, 3), 0xFFFFFFu);
}

TEST_F(DrawQueueTest, DeletingTheDrawingBitmapMovesNewRecordsToTheScreenAtOnce) {
  Run(kBitmapCreate, {2, 8, 8});
  Frame();
  Run(kBitmapSetCurrent, {2});
  Run(kDrawDot, {1, 1});     // recorded for bitmap 2, replayed before the delete
  Run(kBitmapDelete, {2});
  Run(kDrawDot, {4, 4});     // recorded after the delete: the screen
  EXPECT_EQ(Draw2D.recordBitmap, 0);
  Frame();
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(Pixel(4, 4), 0xFFFFFFu);
  EXPECT_EQ(Pixel(1, 1), 0u);
  EXPECT_EQ(BitmapSlot(2).surface, nullptr);
}

TEST_F(DrawQueueTest, RecordsForABitmapDeletedAndRemadeAreSkipped) {
  Run(kBitmapCreate, {3, 8, 8});
  Frame();
  Run(kBitmapSetCurrent, {3});
  const int32_t stale = RecordDrawOp(kOpDot, 2, 2);
  ASSERT_GE(stale, 0);
  // The bitmap is remade behind the record's back: its surface is not the one recorded for.
  DrawOp* op = DrawOpAt(stale);
  op->targetGeneration -= 1;
  Frame();
  EXPECT_EQ(DrawQueueCount(), 0);
  EXPECT_EQ(BitmapSlot(3).surface->pixels[2 * 8 + 2], 0u);
}

TEST_F(DrawQueueTest, LongTextIsCutTo255Characters) {
  const std::string text(400, 'a');
  const int32_t index = RecordDrawOp(kOpTextAt, 0, 0, 0, 0, 0, text.c_str());
  ASSERT_GE(index, 0);
  EXPECT_EQ(std::string(DrawOpAt(index)->payload).size(), 255u);
}

TEST_F(DrawQueueTest, AutomaticModeEndsTheSliceAfterEachDrawingCommand) {
  Dispatcher.stop = 0;
  Run(kDrawBox, {0, 0, 4, 4});
  EXPECT_EQ(Dispatcher.stop, 1);
  Dispatcher.stop = 0;
  Dispatcher.drawStop = 0;  // manual mode
  Run(kDrawBox, {0, 0, 4, 4});
  EXPECT_EQ(Dispatcher.stop, 0);
}

TEST_F(DrawQueueTest, InkOnA16BitScreenKeepsFiveSixFiveBits) {
  ASSERT_EQ(ScreenDepth(), 16);
  Run(kDrawInk, {0x808080, 0xFFFFFF});
  Run(kDrawDot, {0, 0});
  Run(kDrawClsColour, {0x00FF00});
  Frame();
  EXPECT_EQ(Draw2D.inkPixel, 0x7B7D7Bu);  // 15/31, 31/63, 15/31 scaled back to 0..255
  EXPECT_EQ(Draw2D.paperPixel, 0x00FF00u);
  EXPECT_EQ(Pixel(0, 0), 0x00FF00u);  // cls after the dot
}

// The camera family's clear fills with its own colour and leaves the paper colour alone.
TEST_F(DrawQueueTest, ClearWithAColourKeepsThePaper) {
  Run(kDrawInk, {0xFFFFFF, 0x000000});
  QueueClearScreenWithColour(0x0000FF);
  Frame();
  EXPECT_EQ(Pixel(5, 5), 0x0000FFu);
  EXPECT_EQ(Draw2D.paperPixel, 0x000000u);
}

// A line or circle far bigger than the screen still draws every pixel of the part on the screen.
TEST_F(DisplayTest, LongLinesLeaveNoGapsOnTheScreen) {
  const struct {
    int32_t x1, y1, x2, y2;
    int row;  // the screen row the line crosses from x = 0 to 639
  } lines[] = {
      {-100000, 10, 100000, 10, 10},
      {100000, 20, -100000, 20, 20},
      {-2000000000, 30, 2000000000, 30, 30},
  };
  for (const auto& l : lines) {
    Run(kDrawLine, {l.x1, l.y1, l.x2, l.y2});
    Frame();
    int gaps = 0;
    for (int x = 0; x < 640; ++x) gaps += Pixel(x, l.row) == 0xFFFFFFu ? 0 : 1;
    EXPECT_EQ(gaps, 0) << l.x1 << " to " << l.x2;
  }
  Run(kDrawLine, {-300000, -300000, 300000, 300000});  // cut on both axes
  Frame();
  int gaps = 0;
  for (int d = 0; d < 480; ++d) gaps += Pixel(d, d) == 0xFFFFFFu ? 0 : 1;
  EXPECT_EQ(gaps, 0);
  // So does the arc of a circle far bigger than the screen: its top runs along row 240.
  Run(kDrawCls, {});
  Run(kDrawCircle, {320, 1000240, 1000000});
  Frame();
  gaps = 0;
  for (int x = 0; x < 640; ++x) gaps += Pixel(x, 240) == 0xFFFFFFu ? 0 : 1;
  EXPECT_EQ(gaps, 0);
  EXPECT_EQ(TakeError(), 0);
}

}  // namespace
}  // namespace g2d

namespace g2d {
namespace {

class LostSurfaceTest : public DisplayTest {};

// The display never loses its memory here, but the restore paths must work when it does.
TEST_F(LostSurfaceTest, LostBackBufferIsRestoredByReplayPresentAndSprites) {
  Run(kDrawBox, {0, 0, 4, 4});
  Run(kImageGet, {1, 0, 0, 4, 4});
  Frame();
  Run(kSprite, {1, 20, 20, 1});
  Frame();
  SurfaceMarkLost(*BackBuffer());
  Run(kDrawDot, {100, 100});
  ReplayDrawQueue();  // restored before the dot, which then lands
  EXPECT_FALSE(BackBuffer()->lost);
  EXPECT_EQ(Pixel(100, 100), 0xFFFFFFu);
  SurfaceMarkLost(*BackBuffer());
  EXPECT_EQ(PresentFrame(), 1);
  EXPECT_FALSE(BackBuffer()->lost);
  SurfaceMarkLost(*BackBuffer());
  DrawSprites();
  EXPECT_FALSE(BackBuffer()->lost);
  EXPECT_EQ(Pixel(21, 21), 0xFFFFFFu);
  // The runtime's restore hook drops the saved backgrounds along with the picture.
  RuntimeHooks hooks;
  InstallGraphics2DHooks(hooks);
  SurfaceMarkLost(*BackBuffer());
  EXPECT_TRUE(hooks.RestoreDisplaySurfaces());
  EXPECT_EQ(SpriteAt(SpriteIndexForNumber(1))->backgroundImages[0], -1);
}

}  // namespace
}  // namespace g2d

namespace g2d {
namespace {

// Program values at the ends of the integer range: nothing lands on the screen and no sum
// overflows (the sanitizer run checks the arithmetic).
TEST_F(DisplayTest, ShapesAndTextFarOffTheScreenDrawNothing) {
  const PixelVector before = BackBuffer()->pixels;
  constexpr int32_t kMax = INT32_MAX, kMin = INT32_MIN;
  Run(kDrawCircle, {kMax - 5, kMax - 5, 100});
  Run(kDrawEllipse, {0, 0, kMin, kMin});
  Run(kDrawEllipse, {kMin, kMax, kMax, kMin});
  Run(kDrawLine, {kMax, kMax, kMax - 10, kMax});
  Run(kTextAt, {kMax - 3, kMax - 3, "far"});
  Run(kTextOpaque, {});
  Run(kTextAt, {kMin, kMax - 1, "far"});
  Run(kTextCentred, {kMin, kMax - 1, "far"});
  Run(kTextSetCursor, {kMax - 1, kMax - 1});
  PrintAtCursor("far", false);
  PrintAtCursor("far", true);
  Frame();
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(BackBuffer()->pixels, before);
}

}  // namespace
}  // namespace g2d
