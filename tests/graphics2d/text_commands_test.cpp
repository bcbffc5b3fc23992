// Text commands through the draw queue: the style and font commands change what the text
// commands draw after them, at replay.
#include <cmath>

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

}  // namespace
}  // namespace g2d
