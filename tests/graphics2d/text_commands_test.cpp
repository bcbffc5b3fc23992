// Text commands through the draw queue: each takes its operands and queues its record, the
// style and font commands change what the text commands draw after them, at replay, and the
// glyphs kept for the fonts a program goes through stay few.
#include <cmath>

#include "platform/text.h"
#include "runtime/command_numbers.h"
#include "tests/graphics2d/g2d_harness.h"
#include "tests/platform/glyph_ink.h"

namespace g2d {
namespace {

class TextCommandTest : public DisplayTest {
 protected:
  // Ink of the text drawn at the row's top left, within a 200 x 40 box.
  GlyphInk InkAt(int top) const { return InkInArea(*BackBuffer(), 0, top, 200, 40); }
};

TEST_F(TextCommandTest, StylesAndFontsChangeTheTextDrawnAfterThem) {
  Run(kDrawInk, {0xFFFFFF, 0});
  Run(kTextSize, {24});
  const int styles[] = {kTextNormal, kTextBold, kTextItalic, kTextBoldItalic};
  for (int i = 0; i < 4; ++i) {
    Run(styles[i], {});
    Run(kTextAt, {10, i * 40, std::string("l")});
  }
  // The same wide and narrow letters in the default font and in a fixed-width one.
  Run(kTextNormal, {});
  Run(kTextAt, {10, 160, std::string("iiiiWWWW")});
  Run(kTextFont, {std::string("DejaVu Sans Mono")});
  Run(kTextAt, {10, 200, std::string("iiiiWWWW")});
  Frame();
  ASSERT_EQ(TakeError(), 0);
  GlyphInk ink[4];
  for (int i = 0; i < 4; ++i) {
    ink[i] = InkAt(i * 40);
    SCOPED_TRACE(i);
    EXPECT_GT(ink[i].pixels, 20);
    if (i >= 2) EXPECT_GE(ink[i].lean, 3.0) << "not slanted";
    else EXPECT_LE(std::abs(ink[i].lean), 1.0) << "slanted";
  }
  EXPECT_GT(ink[1].pixels, ink[0].pixels * 5 / 4);  // bold strokes are thicker
  EXPECT_GT(ink[3].pixels, ink[2].pixels * 5 / 4);
  const GlyphInk proportional = InkAt(160), fixed = InkAt(200);
  EXPECT_GT(proportional.pixels, 0);
  EXPECT_NE(proportional.right, fixed.right);  // the narrow i take a whole cell in the fixed font
}

// The family's commands with ordinary and odd operands (sizes out of range, empty texts and
// names): every one takes its operands, raises nothing (warnings are on here), queues one
// record except the cursor, and replays without an error.
TEST_F(TextCommandTest, EveryCommandTakesItsOperandsAndQueuesItsRecord) {
  const struct {
    int command;
    std::vector<Operand> operands;
    int queued;
  } kCases[] = {
      {kTextSetCursor, {5, 6}, 0},          {kTextSetCursor, {-9, INT32_MAX}, 0},
      {kTextFont, {std::string("arial")}, 1}, {kTextFont, {std::string("")}, 1},
      {kTextFont, {std::string("no such font")}, 1},
      {kTextSize, {12}, 1},                 {kTextSize, {0}, 1},
      {kTextSize, {-5}, 1},                 {kTextSize, {5000}, 1},
      {kTextOpaque, {}, 1},                 {kTextTransparent, {}, 1},
      {kTextNormal, {}, 1},                 {kTextBold, {}, 1},
      {kTextItalic, {}, 1},                 {kTextBoldItalic, {}, 1},
      {kTextAt, {1, 2, std::string("a")}, 1}, {kTextAt, {1, 2, std::string("")}, 1},
      {kTextCentred, {320, 2, std::string("b")}, 1}, {kTextCentred, {0, 0, std::string("")}, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.command);
    const int before = DrawQueueCount();
    Run(c.command, c.operands);
    EXPECT_EQ(TakeError(), 0);
    EXPECT_EQ(DrawQueueCount() - before, c.queued);
  }
  Frame();
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(DrawQueueCount(), 0);
}

// A program that goes through many sizes keeps the glyphs of a few fonts, not of every size.
TEST_F(TextCommandTest, CyclingThroughSizesKeepsTheGlyphsOfAFewFontsOnly) {
  const size_t before = FontGlyphMemoryInUse();
  for (int size = 1; size <= 200; ++size) {
    Run(kTextSize, {size});
    Run(kTextAt, {0, 0, std::string("Hello")});
    Frame();
  }
  const size_t kept = FontGlyphMemoryInUse() - before;
  // What one font at the largest size keeps of the same text, for scale.
  PlatformFont* font = FontCreate("system", 200, false, false);
  const size_t base = FontGlyphMemoryInUse();
  int width = 0, height = 0;
  FontMeasure(font, "Hello", &width, &height);
  const size_t one = FontGlyphMemoryInUse() - base;
  FontDestroy(font);
  EXPECT_GT(kept, 0u);
  EXPECT_LE(kept, 10 * one);
}

}  // namespace
}  // namespace g2d
