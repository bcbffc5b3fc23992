// Bitmaps and images through their commands: create, draw, copy, mirror, flip, fade and their
// errors; images grabbed, pasted with and without the colour key, loaded and freed late.
#include <cstdio>

#include "graphics2d/graphics2d_local.h"
#include "graphics2d/image_files.h"
#include "runtime/command_numbers.h"
#include "tests/graphics2d/g2d_harness.h"

namespace g2d {
namespace {

class BitmapTest : public DisplayTest {};

TEST_F(BitmapTest, ReplayErrorsOfTheBitmapOps) {
  Run(kBitmapCreate, {1, 8, 8});
  Frame();
  ASSERT_EQ(TakeError(), 0);
  const struct {
    int command;
    std::vector<Operand> operands;
    int error;
  } cases[] = {
      {kBitmapCreate, {0, 8, 8}, 1009},
      {kBitmapCreate, {32, 8, 8}, 1001},
      {kBitmapCreate, {2, 0, 8}, 1005},
      {kBitmapDelete, {0}, 1006},
      {kBitmapDelete, {5}, 1002},
      {kBitmapMirror, {-1}, 1001},
      {kBitmapFlip, {6}, 1002},
      {kBitmapCopy, {1, 1}, 1007},
      {kBitmapCopy, {0, 1}, 1008},  // the screen does not fit into 8x8
      {kBitmapCopy, {1, 9}, 1002},
      {kBitmapCopyArea, {1, 0, 0, 9, 8, 0, 0, 0, 8, 8}, 1010},
      {kBitmapCopyArea, {1, 4, 4, 4, 8, 0, 0, 0, 8, 8}, 1011},
      {kBitmapBlur, {1, 9}, 1012},
      {kBitmapFade, {1, 101}, 1013},
      {kBitmapSave, {std::string("x.xyz"), 1}, 1004},
      {kBitmapLoad, {std::string("/nonexistent/none.png"), 1}, 105},
  };
  for (const auto& c : cases) {
    Run(c.command, c.operands);
    Frame();
    EXPECT_EQ(TakeError(), c.error) << "command " << c.command;
  }
  EXPECT_EQ(RunForError(kBitmapSetCurrent, {40}), 1001);
}

TEST_F(BitmapTest, DrawOnABitmapCopyMirrorFlipAndFade) {
  Run(kBitmapCreate, {1, 4, 2});
  Frame();  // the created bitmap becomes the drawing bitmap when its creation is replayed
  Run(kDrawInk, {0xFF0000, 0});
  Run(kDrawDot, {0, 0});
  Frame();
  ASSERT_EQ(TakeError(), 0);
  EXPECT_EQ(Pixel(0, 0), 0u);
  const struct {
    int command;
    std::vector<uint32_t> want;  // bitmap 1 after the command, 4x2
  } steps[] = {
      {kBitmapMirror, {0, 0, 0, 0xFF0000, 0, 0, 0, 0}},
      {kBitmapFlip, {0, 0, 0, 0, 0, 0, 0, 0xFF0000}},
  };
  for (const auto& step : steps) {
    Run(step.command, {1});
    Frame();
    EXPECT_EQ(BitmapSlot(1).surface->pixels, step.want) << step.command;
  }
  Run(kBitmapFade, {1, 50});
  Frame();
  EXPECT_EQ(BitmapSlot(1).surface->pixels[7], 0x7F0000u);
  Run(kBitmapCopyArea, {1, 0, 0, 4, 2, 0, 10, 10, 18, 14});  // stretched 2x onto the screen
  Run(kBitmapCopy, {1, 0});
  Frame();
  ASSERT_EQ(TakeError(), 0);
  EXPECT_EQ(Pixel(3, 1), 0x7F0000u);
  EXPECT_EQ(Pixel(17, 13), 0x7F0000u);
  EXPECT_EQ(Pixel(15, 11), 0u);
}

// Under manual refresh each drawing command draws on the bitmap that was current when the
// program issued it: a bitmap made and left in the same frame does not take the drawing that
// follows, and drawing issued before the bitmap's creation was replayed still reaches it.
TEST_F(BitmapTest, DrawingGoesToTheBitmapCurrentWhenIssued) {
  Run(kDrawInk, {0xFF0000, 0});
  Run(kBitmapCreate, {1, 4, 4});
  Run(kDrawDot, {1, 1});          // on the new bitmap
  Run(kBitmapSetCurrent, {0});
  Run(kDrawDot, {2, 2});          // on the screen
  Frame();
  Run(kDrawDot, {3, 3});          // later frames: still the screen
  Run(kBitmapLoad, {std::string("/nonexistent/none.png"), 2});
  Run(kBitmapSetCurrent, {0});
  Frame();
  TakeError();                    // the missing file
  Run(kDrawDot, {5, 5});
  Frame();
  ASSERT_EQ(TakeError(), 0);
  EXPECT_EQ(BitmapSlot(1).surface->pixels[1 * 4 + 1], 0xFF0000u);
  EXPECT_EQ(BitmapSlot(1).surface->pixels[2 * 4 + 2], 0u);
  EXPECT_EQ(Pixel(2, 2), 0xFF0000u);
  EXPECT_EQ(Pixel(3, 3), 0xFF0000u);
  EXPECT_EQ(Pixel(5, 5), 0xFF0000u);
  EXPECT_EQ(Draw2D.recordBitmap, 0);
}

TEST_F(BitmapTest, ScreenEffectsRunOnceFullScreen) {
  OpenDisplay(true);
  Run(kDrawDot, {0, 0});
  Frame();
  Frame();
  Run(kBitmapMirror, {0});  // mirrors the back buffer once
  Frame();
  Frame();
  EXPECT_EQ(Pixel(639, 0), 0xFFFFFFu);
  EXPECT_EQ(Pixel(0, 0), 0u);
}

TEST_F(BitmapTest, SaveAndLoadThroughFiles) {
  Run(kDrawInk, {0x336699, 0});
  Run(kDrawBox, {0, 0, 3, 3});
  Run(kBitmapSave, {TempPath("screen.png"), 0});
  Frame();
  ASSERT_EQ(TakeError(), 0);
  Run(kBitmapLoad, {TempPath("screen.png"), 4});
  Frame();
  ASSERT_EQ(TakeError(), 0);
  EXPECT_EQ(BitmapSlot(4).width, 640);
  EXPECT_EQ(BitmapSlot(4).surface->pixels[0], ColourToPixel(0x336699));
  EXPECT_EQ(Draw2D.recordBitmap, 4);  // a loaded bitmap becomes the drawing bitmap
  // A damaged file is a warning, not a crash; a missing one error 105.
  FILE* f = std::fopen(TempPath("bad.png").c_str(), "wb");
  std::fputs("not a png", f);
  std::fclose(f);
  Run(kBitmapLoad, {TempPath("bad.png"), 5});
  Frame();
  EXPECT_TRUE(RuntimeErrorIsWarning());
  EXPECT_EQ(TakeError(), 1003);
}

class ImageTest : public DisplayTest {};

TEST_F(ImageTest, GrabPasteKeyedAndOpaque) {
  Run(kDrawInk, {0xFF0000, 0});
  Run(kDrawBox, {1, 0, 2, 2});  // column 1 red, column 0 black (the transparent colour)
  Run(kImageGet, {1, 0, 0, 2, 2});
  Run(kDrawInk, {0x0000FF, 0});
  Run(kDrawBox, {100, 100, 110, 110});
  Run(kImagePaste, {1, 100, 100});                 // opaque: the black column is drawn
  Run(kImagePasteFlagged, {1, 104, 100, 1});       // keyed: blue shows through
  Frame();
  ASSERT_EQ(TakeError(), 0);
  EXPECT_EQ(Pixel(100, 100), 0u);
  EXPECT_EQ(Pixel(101, 100), 0xFF0000u);
  EXPECT_EQ(Pixel(104, 100), 0x0000FFu);
  EXPECT_EQ(Pixel(105, 101), 0xFF0000u);
  const struct {
    int command;
    std::vector<Operand> operands;
    int error;
  } cases[] = {
      {kImageGet, {0, 0, 0, 2, 2}, 500},     {kImageGet, {2, 5, 5, 5, 9}, 503},
      {kImagePaste, {3, 0, 0}, 502},         {kImagePaste, {70000, 0, 0}, 500},
      {kImageDelete, {3}, 502},              {kImageFade, {1, 101}, 505},
      {kImageLoad, {std::string("/nonexistent/x.png"), 2}, 105},
  };
  for (const auto& c : cases) EXPECT_EQ(RunForError(c.command, c.operands), c.error) << "command " << c.command;
}

// Pastes and sprites at the ends of the integer range land off the screen: nothing drawn,
// no error, and no position arithmetic that overflows.
TEST_F(ImageTest, PastesAndSpritesAtTheIntegerLimitsDrawNothing) {
  Run(kDrawInk, {0xFF0000, 0});
  Run(kDrawBox, {0, 0, 4, 4});
  Run(kImageGet, {1, 0, 0, 4, 4});
  Run(kDrawCls, {});
  const int32_t far = 2147483647 - 1, near = -2147483647 - 1;
  const struct {
    int32_t x, y;
  } places[] = {{far, 0}, {0, far}, {near, 0}, {0, near}};
  for (const auto& p : places) {
    Run(kImagePaste, {1, p.x, p.y});
    Run(kSprite, {1, p.x, p.y, 1});
    Run(kSpriteSize, {1, 8, 8});
    Frame();
    EXPECT_EQ(TakeError(), 0);
    EXPECT_EQ(Pixel(0, 0), 0u) << p.x << "," << p.y;
    EXPECT_EQ(Pixel(639, 479), 0u) << p.x << "," << p.y;
  }
}

TEST_F(ImageTest, PasteQueuedBeforeADeleteStillDrawsAndTheNumberIsFreeAtOnce) {
  Run(kDrawBox, {0, 0, 2, 2});
  Run(kImageGet, {1, 0, 0, 2, 2});
  Run(kImagePaste, {1, 50, 50});
  Run(kImageDelete, {1});
  EXPECT_EQ(ImageIndexForNumber(1), -1);
  EXPECT_EQ(RunForError(kImagePaste, {1, 0, 0}), 502);
  Frame();
  EXPECT_EQ(Pixel(50, 50), 0xFFFFFFu);
  for (int i = 0; i < 4; ++i) Frame();
  EXPECT_EQ(TakeError(), 0);
}

TEST_F(ImageTest, LoadImageTakesTheFilesSizeAndPixels) {
  Surface* picture = SurfaceCreate(3, 2);
  picture->pixels = {0x102030, 0x405060, 0x708090, 0xA0B0C0, 0xD0E0F0, 0xFFFFFF};
  ASSERT_TRUE(SaveImageFile(TempPath("p.bmp").c_str(), *picture, nullptr));
  SurfaceDestroy(picture);
  Run(kImageLoad, {TempPath("p.bmp"), 9});
  const int32_t index = ImageIndexForNumber(9);
  ASSERT_GE(index, 0);
  EXPECT_EQ(ImageAt(index)->width, 3);
  // The file is read once, by the command: removed before the frame, its pixels still land.
  std::remove(TempPath("p.bmp").c_str());
  Frame();
  ASSERT_EQ(TakeError(), 0);
  EXPECT_EQ(ImageSurface(index)->pixels[4], 0xD0E0F0u);
}

// Images and bitmaps share one memory limit: past it, making or loading a picture is error
// 511 and nothing is allocated; freeing a picture gives its room back. The limit is lowered
// here so that reaching it takes a few megabytes instead of a gigabyte.
TEST_F(ImageTest, PicturesPastTheMemoryLimitAreError511) {
  struct LimitGuard {
    ~LimitGuard() { SurfaceSetMemoryLimit(0); }
  } restore;
  Surface* picture = SurfaceCreate(1024, 600);  // 2.4 MB of pixels
  ASSERT_TRUE(SaveImageFile(TempPath("big.bmp").c_str(), *picture, nullptr));
  SurfaceDestroy(picture);
  SurfaceSetMemoryLimit(SurfaceMemoryInUse() + 4 * 1024 * 1024);
  Run(kBitmapCreate, {1, 1024, 512});  // 2 MiB, and 2 MiB left
  Frame();
  ASSERT_EQ(TakeError(), 0);
  const struct {
    int command;
    std::vector<Operand> operands;
  } cases[] = {
      {kBitmapCreate, {2, 1024, 1024}},
      {kBitmapLoad, {TempPath("big.bmp"), 3}},
      {kImageGet, {1, 0, 0, 640, 480}},  // 1.2 MB fits; a second one does not
      {kImageGet, {2, 0, 0, 640, 480}},
      {kImageLoad, {TempPath("big.bmp"), 3}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    // The failed create and load still made their bitmaps the drawing one: grab from 1.
    if (cases[i].command == kImageGet) Run(kBitmapSetCurrent, {1});
    Run(cases[i].command, cases[i].operands);
    Frame();
    EXPECT_EQ(TakeError(), i == 2 ? 0 : 511) << "case " << i;
  }
  EXPECT_EQ(BitmapSlot(2).surface, nullptr);
  EXPECT_EQ(BitmapSlot(3).surface, nullptr);
  Run(kBitmapDelete, {1});
  Run(kBitmapLoad, {TempPath("big.bmp"), 3});
  Frame();
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(BitmapSlot(3).width, 1024);
  std::remove(TempPath("big.bmp").c_str());
}

}  // namespace
}  // namespace g2d

namespace g2d {
namespace {

// A picture loaded onto the screen lands on bitmap 0 whatever bitmap is current, cut to the
// screen's size, and the screen becomes the drawing bitmap again.
TEST_F(BitmapTest, LoadBitmapOntoTheScreen) {
  Run(kDrawInk, {0x336699, 0});
  Run(kDrawBox, {0, 0, 640, 480});
  Run(kBitmapSave, {TempPath("full.png"), 0});
  Run(kDrawCls, {});
  Run(kBitmapCreate, {2, 16, 16});
  Frame();
  ASSERT_EQ(TakeError(), 0);
  EXPECT_EQ(Pixel(5, 5), 0u);
  EXPECT_EQ(Draw2D.recordBitmap, 2);
  Run(kBitmapLoadScreen, {TempPath("full.png")});
  Frame();
  ASSERT_EQ(TakeError(), 0);
  EXPECT_EQ(Pixel(5, 5), ColourToPixel(0x336699));
  EXPECT_EQ(Pixel(639, 479), ColourToPixel(0x336699));
  EXPECT_EQ(BitmapSlot(2).surface->pixels[0], 0u);
  EXPECT_EQ(Draw2D.recordBitmap, 0);
  Run(kBitmapLoadScreen, {std::string("/nonexistent/none.png")});
  Frame();
  EXPECT_EQ(TakeError(), 105);
  std::remove(TempPath("full.png").c_str());
}

// The grab with a flag takes the same pixels and size as the plain grab, with the same checks.
TEST_F(ImageTest, GrabWithAFlagTakesTheSamePixels) {
  Run(kDrawInk, {0xFF0000, 0});
  Run(kDrawBox, {1, 0, 3, 2});
  Run(kImageGetFlagged, {2, 0, 0, 3, 2, 1});
  Run(kImagePaste, {2, 100, 100});
  Frame();
  ASSERT_EQ(TakeError(), 0);
  EXPECT_EQ(Pixel(100, 100), 0u);
  EXPECT_EQ(Pixel(101, 101), 0xFF0000u);
  EXPECT_EQ(Pixel(102, 100), 0xFF0000u);
  EXPECT_EQ(Pixel(103, 100), 0u);  // three wide
  EXPECT_EQ(ImageAt(ImageIndexForNumber(2))->width, 3);
  EXPECT_EQ(ImageAt(ImageIndexForNumber(2))->height, 2);
  EXPECT_EQ(RunForError(kImageGetFlagged, {0, 0, 0, 2, 2, 1}), 500);
  EXPECT_EQ(RunForError(kImageGetFlagged, {2, 5, 5, 5, 9, 0}), 503);
}

}  // namespace
}  // namespace g2d
