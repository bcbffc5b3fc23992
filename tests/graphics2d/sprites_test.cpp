// Sprite commands and drawing: the errors of every command with operands consumed, scales and
// queries, delete with and without the background, the collision-once rule, box rejection,
// priority passes and the keep-background save and restore.
#include "compiler/compiler.h"
#include "graphics2d/graphics2d_local.h"
#include "runtime/command_numbers.h"
#include "tests/graphics2d/g2d_harness.h"

namespace g2d {
namespace {

class SpriteTest : public DisplayTest {
 protected:
  // Makes image n: a w x h block of colour on the screen, grabbed, then the screen cleared.
  void MakeImage(int n, int w, int h, uint32_t colour) {
    Run(kDrawInk, {static_cast<int32_t>(colour), 0});
    Run(kDrawBox, {0, 0, w, h});
    Run(kImageGet, {n, 0, 0, w, h});
    Run(kDrawCls, {});
    Frame();
    ASSERT_EQ(TakeError(), 0);
  }
};

TEST_F(SpriteTest, ErrorsOfEveryCommandConsumeTheirOperands) {
  MakeImage(1, 4, 4, 0xFF0000);
  Run(kSprite, {1, 0, 0, 1});
  // A value out of range: the error's text (shared by every command raising the number) says
  // what the command takes.
  LoadLanguageErrorTexts();
  const struct {
    int command;
    std::vector<Operand> operands;
    int error;
    const char* says = "";
  } cases[] = {
      {kSprite, {0, 1, 1, 1}, 301},
      {kSprite, {65536, 1, 1, 1}, 301},
      {kSprite, {-5, 1, 1, 1}, 301},
      {kSpriteSwitches, {1, 2, 0}, 303, "background switch must be 0 or 1"},
      {kSpriteSwitches, {1, 0, -1}, 304, "transparency switch must be 0 or 1"},
      {kSpriteSwitches, {0, 0, 0}, 301},
      {kSpriteSize, {1, -1, 5}, 312, "below 0"},
      {kSpriteSize, {9, 5, 5}, 302},
      {kSpriteScale, {1, 250001}, 311, "between 0 and 250000"},
      {kSpriteScale, {1, -1}, 311, "between 0 and 250000"},
      {kSpriteScale, {1, 250000}, 0},
      {kSpriteStretch, {1, 100, 250001}, 311},
      {kSpriteStretch, {2, 100, 100}, 302},
      {kSpriteOffset, {2, 1, 1}, 302},
      {kSpriteMirror, {70000}, 301},
      {kSpriteFlip, {2}, 302},
      {kSpriteDelete, {2}, 302},
      {kSpritePaste, {2, 0, 0}, 302},
      {kSpriteHide, {0}, 301},
      {kSpriteShow, {2}, 302},
      {kSpriteExist, {Result{}, 0}, 301},
      {kSpriteX, {Result{}, 2}, 302},
      {kSpriteWidth, {Result{}, 65536}, 301},
      {kSpriteCollision, {Result{}, 1, 2}, 302},
      {kSpriteOverlap, {Result{}, 2, 1}, 302},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunForError(c.command, c.operands), c.error) << "command " << c.command;
    EXPECT_NE(ErrorText(c.error).find(c.says), std::string::npos) << ErrorText(c.error);
  }
}

TEST_F(SpriteTest, QueriesFollowTheSettingCommands) {
  MakeImage(1, 10, 20, 0xFF0000);
  Run(kSprite, {7, 30, 40, 1});
  EXPECT_EQ(Run(kSpriteExist, {Result{}, 7}), 1);
  EXPECT_EQ(Run(kSpriteExist, {Result{}, 8}), 0);
  Run(kSpriteStretch, {7, 150, 50});
  Run(kSpriteOffset, {7, 3, 4});
  Run(kSpriteMirror, {7});
  Run(kSpriteFlip, {7});
  Run(kSpriteFlip, {7});
  const struct {
    int command;
    int32_t want;
  } queries[] = {{kSpriteX, 30},       {kSpriteY, 40},        {kSpriteOffsetX, 3},   {kSpriteOffsetY, 4},
                 {kSpriteWidth, 15},   {kSpriteHeight, 10},   {kSpriteImage, 1},     {kSpriteScaleX, 150},
                 {kSpriteScaleY, 50},  {kSpriteMirrored, 1},  {kSpriteFlipped, 0},   {kSpriteX, 30}};
  for (const auto& q : queries) EXPECT_EQ(Run(q.command, {Result{}, 7}), q.want) << "query " << q.command;
  Run(kSpriteSize, {7, 5, 60});
  EXPECT_EQ(Run(kSpriteWidth, {Result{}, 7}), 5);
  EXPECT_EQ(Run(kSpriteHeight, {Result{}, 7}), 60);
  // A sprite without an image: sizes read 0 and the size command changes nothing.
  Run(kSprite, {8, 0, 0, 0});
  Run(kSpriteSize, {8, 5, 5});
  EXPECT_EQ(Run(kSpriteWidth, {Result{}, 8}), 0);
  EXPECT_EQ(Run(kSpriteScaleX, {Result{}, 8}), 100);
}

TEST_F(SpriteTest, DeleteKeepingTheBackgroundHidesExistenceUntilSetUpAgain) {
  MakeImage(1, 4, 4, 0xFF0000);
  Run(kSprite, {3, 10, 10, 1});
  Frame();
  Run(kSpriteDelete, {3});
  EXPECT_EQ(Run(kSpriteExist, {Result{}, 3}), 0);
  Frame();
  EXPECT_EQ(Pixel(11, 11), 0u);  // the background came back and the sprite is gone
  Run(kSprite, {3, 10, 10, 1});
  EXPECT_EQ(Run(kSpriteExist, {Result{}, 3}), 1);
  // Without keeping the background the record goes at once.
  Run(kSpriteSwitches, {4, 0, 1});
  Run(kSpriteDelete, {4});
  EXPECT_EQ(SpriteIndexForNumber(4), -1);
}

TEST_F(SpriteTest, CollisionIsReportedOnceWhileItLasts) {
  MakeImage(1, 8, 8, 0xFF0000);
  Run(kSprite, {1, 0, 0, 1});
  Run(kSprite, {2, 4, 4, 1});
  EXPECT_EQ(Run(kSpriteCollision, {Result{}, 1, 2}), 1);
  EXPECT_EQ(Run(kSpriteCollision, {Result{}, 1, 2}), 0);
  EXPECT_EQ(Run(kSpriteOverlap, {Result{}, 1, 2}), 1);  // overlap answers every time
  Run(kSprite, {2, 100, 100, 1});
  EXPECT_EQ(Run(kSpriteCollision, {Result{}, 1, 2}), 0);
  Run(kSprite, {2, 4, 4, 1});
  EXPECT_EQ(Run(kSpriteCollision, {Result{}, 1, 2}), 1);
  // m outside 1..65535: the first other sprite that collides, by number.
  EXPECT_EQ(Run(kSpriteOverlap, {Result{}, 1, 0}), 2);
  EXPECT_EQ(Run(kSpriteCollision, {Result{}, 2, 0}), 1);
  EXPECT_EQ(Run(kSpriteCollision, {Result{}, 2, 0}), 0);
}

TEST_F(SpriteTest, BoxesThatOnlyTouchOrTransparentPixelsDoNotCollide) {
  MakeImage(1, 8, 8, 0xFF0000);
  // Image 2: 8x8 with only its right half opaque (left half the transparent colour).
  Run(kDrawInk, {0x00FF00, 0});
  Run(kDrawBox, {4, 0, 8, 8});
  Run(kImageGet, {2, 0, 0, 8, 8});
  Run(kDrawCls, {});
  Frame();
  const struct {
    int x2;           // position of sprite 2 (image 2) against sprite 1 at 0,0
    bool mirror2;
    int32_t want;
  } cases[] = {
      {8, false, 0},    // a.right == b.left: rejected by the boxes
      {-8, false, 0},   // b.right == a.left: boxes touch, pixel test finds no overlap
      {-2, false, 1},   // b's opaque half reaches into a
      {4, false, 0},    // only b's transparent half overlaps a
      {4, true, 1},     // mirrored, the opaque half overlaps
  };
  Run(kSprite, {1, 0, 0, 1});
  for (const auto& c : cases) {
    Run(kSprite, {2, c.x2, 0, 2});
    if (Run(kSpriteMirrored, {Result{}, 2}) != (c.mirror2 ? 1 : 0)) Run(kSpriteMirror, {2});
    EXPECT_EQ(Run(kSpriteOverlap, {Result{}, 1, 2}), c.want) << "x " << c.x2 << " mirror " << c.mirror2;
  }
}

// Huge sprites: the pixel test walks the image pixels the overlap covers, not every screen
// pixel, and boxes reaching past the integer range stay whole.
TEST_F(SpriteTest, HugeSpritesCollideByTheirImagePixels) {
  // Image 3: 8x8 transparent but for its bottom-right pixel.
  Run(kDrawInk, {0x00FF00, 0});
  Run(kDrawBox, {7, 7, 8, 8});
  Run(kImageGet, {3, 0, 0, 8, 8});
  Run(kDrawCls, {});
  Frame();
  const struct {
    int x2, y2;
    int32_t size;  // both sprites, square
    bool mirror2;
    int32_t want;
  } cases[] = {
      {0, 0, 800000000, false, 1},           // the opaque corners meet
      {0, 0, 800000000, true, 0},            // mirrored: the corners are apart
      {-100000000, 0, 800000000, false, 0},  // shifted by an eighth
      {2000000000, 0, 800000000, false, 0},  // its box would end past the integer range
  };
  for (const auto& c : cases) {
    Run(kSprite, {1, 0, 0, 3});
    Run(kSprite, {2, c.x2, c.y2, 3});
    Run(kSpriteSize, {1, c.size, c.size});
    Run(kSpriteSize, {2, c.size, c.size});
    if (Run(kSpriteMirrored, {Result{}, 2}) != (c.mirror2 ? 1 : 0)) Run(kSpriteMirror, {2});
    EXPECT_EQ(Run(kSpriteOverlap, {Result{}, 1, 2}), c.want) << "x " << c.x2 << " mirror " << c.mirror2;
  }
  EXPECT_EQ(TakeError(), 0);
}

TEST_F(SpriteTest, PrioritiesDrawInOrderAndKeyedPixelsShowThrough) {
  MakeImage(1, 8, 8, 0xFF0000);
  MakeImage(2, 8, 8, 0x00FF00);
  MakeImage(3, 8, 8, 0x0000FF);
  Run(kSprite, {1, 0, 0, 1});
  Run(kSprite, {2, 0, 0, 2});
  Run(kSprite, {3, 0, 0, 3});
  // Highest priority last: sprite 1 (red) on top, then 3 (blue) under it, 2 (green) lowest.
  SpriteAt(SpriteIndexForNumber(1))->priority = 2;
  SpriteAt(SpriteIndexForNumber(2))->priority = 0;
  SpriteAt(SpriteIndexForNumber(3))->priority = 1;
  Frame();
  EXPECT_EQ(Pixel(3, 3), 0xFF0000u);
  Run(kSpriteHide, {1});
  Frame();
  EXPECT_EQ(Pixel(3, 3), 0x0000FFu);
  Run(kSpriteHideAll, {});  // priority 0 only: sprite 2 hides, sprite 3 stays
  Run(kSpriteHide, {3});
  Frame();
  EXPECT_EQ(Pixel(3, 3), 0u);
}

TEST_F(SpriteTest, KeepBackgroundLeavesTheBackgroundIntactAfterAMove) {
  // A striped background, then a sprite that moves across it twice.
  Run(kDrawInk, {0x404040, 0});
  for (int x = 0; x < 64; x += 4) Run(kDrawBox, {x, 0, x + 2, 64});
  Frame();
  const PixelVector background = BackBuffer()->pixels;
  Run(kDrawInk, {0xFFFF00, 0});
  Run(kDrawBox, {100, 100, 116, 116});
  Run(kImageGet, {1, 100, 100, 116, 116});
  Run(kDrawInk, {0, 0});
  Run(kDrawBox, {100, 100, 116, 116});
  Frame();
  ASSERT_EQ(BackBuffer()->pixels, background);
  Run(kSprite, {1, 5, 5, 1});
  Frame();
  EXPECT_EQ(Pixel(6, 6), 0xFFFF00u);
  Run(kSprite, {1, 30, 20, 1});
  Frame();
  Run(kSprite, {1, 200, 200, 1});
  Frame();
  RestoreSpriteBackgrounds();  // the next pre-step: the sprite's area is background again
  EXPECT_EQ(BackBuffer()->pixels, background);
  // Without keeping the background the sprite's old picture stays behind.
  Run(kSpriteSwitches, {1, 0, 1});
  Frame();
  Run(kSprite, {1, 10, 10, 1});
  Frame();
  EXPECT_EQ(Pixel(201, 201), 0xFFFF00u);
}

TEST_F(SpriteTest, PasteSpriteDrawsWithTheSpritesSettings) {
  MakeImage(1, 4, 2, 0xFF00FF);
  Run(kSprite, {1, 0, 0, 1});
  Run(kSpriteScale, {1, 200});
  Run(kSpriteHide, {1});
  Run(kSpritePaste, {1, 50, 60});
  Frame();
  EXPECT_EQ(Pixel(57, 63), 0xFF00FFu);
  EXPECT_EQ(Pixel(58, 64), 0u);
  EXPECT_EQ(Pixel(1, 1), 0u);  // the hidden sprite itself is not drawn
}

TEST_F(SpriteTest, ASpriteWhoseImageWasDeletedIsNotDrawnFromTheFreedImage) {
  MakeImage(1, 4, 4, 0xFF0000);
  Run(kSprite, {1, 0, 0, 1});
  Run(kImageDelete, {1});
  for (int i = 0; i < 4; ++i) Frame();
  MakeImage(2, 4, 4, 0x00FF00);  // may take the freed record
  Frame();
  EXPECT_EQ(Pixel(1, 1), 0u);
  EXPECT_EQ(Run(kSpriteWidth, {Result{}, 1}), 0);
  EXPECT_EQ(TakeError(), 0);
}

}  // namespace
}  // namespace g2d

namespace g2d {
namespace {

// Hiding all sprites and showing them again: every sprite with an image, also one hidden on
// its own before, is drawn again; a sprite without an image stays as it is.
TEST_F(SpriteTest, ShowAllSpritesDrawsEverySpriteWithAnImageAgain) {
  MakeImage(1, 4, 4, 0xFF0000);
  Run(kSprite, {1, 10, 10, 1});
  Run(kSprite, {2, 30, 10, 1});
  Run(kSprite, {3, 50, 10, 0});
  Run(kSpriteHide, {2});
  Frame();
  EXPECT_EQ(Pixel(11, 11), 0xFF0000u);
  EXPECT_EQ(Pixel(31, 11), 0u);
  Run(kSpriteHideAll, {});
  Frame();
  EXPECT_EQ(Pixel(11, 11), 0u);
  Run(kSpriteShowAll, {});
  Frame();
  EXPECT_EQ(Pixel(11, 11), 0xFF0000u);
  EXPECT_EQ(Pixel(31, 11), 0xFF0000u);
  EXPECT_EQ(Pixel(51, 11), 0u);
  EXPECT_EQ(TakeError(), 0);
}

}  // namespace
}  // namespace g2d
