// What the text commands draw, pixel for pixel, against reference pictures: fonts, sizes and
// styles (synthetic ones too), every character, ink and paper at both screen depths, opaque
// and transparent backgrounds, centred and printed text, INPUT's line, and text cut by the
// edges of the screen and of a bitmap. Tolerance 0: the pixels must not change.
#include <string>

#include "runtime/command_numbers.h"
#include "tests/graphics2d/g2d_harness.h"
#include "tests/platform/fresh_fonts.h"

// Fonts as on a fresh machine, less the bold monospaced file: the monospaced font in bold is
// then the regular file made bold, as italic is the upright file slanted for every family.
static ::testing::Environment* const kFonts = ::testing::AddGlobalTestEnvironment(new FreshMachineFonts(
    {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSansMono.ttf", "DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf"}));

namespace g2d {
namespace {

class TextPixelsTest : public DisplayTest {
 protected:
  void DrawModes();
};

// Letters with ascenders, descenders, accents, a wide and a narrow one, brackets and digits.
const std::string kSample = "Ag\xE9\xDF|{W}_1j";

TEST_F(TextPixelsTest, FontsSizesAndStyles) {
  Run(kDrawInk, {0xFFFFFF, 0});
  const char* const fonts[] = {"system", "arial", "DejaVu Sans Mono", "DejaVu Serif"};
  const int styles[] = {kTextNormal, kTextBold, kTextItalic, kTextBoldItalic};
  int y = 0;
  for (const char* font : fonts) {
    Run(kTextFont, {std::string(font)});
    for (int style = 0; style < 4; ++style) {
      // The default font's italic comes from a file only some machines have.
      if (std::string(font) == "system" && style >= 2) continue;
      Run(styles[style], {});
      const int sizes[] = {7, 11, 16};
      const int columns[] = {0, 150, 330};
      for (int i = 0; i < 3; ++i) {
        Run(kTextSize, {sizes[i]});
        Run(kTextAt, {columns[i], y, kSample});
      }
      y += 20;
    }
  }
  // Every character in the default font, control characters and all.
  Run(kTextFont, {std::string("system")});
  Run(kTextNormal, {});
  Run(kTextSize, {10});
  for (int row = 0; row < 4; ++row) {
    std::string all;
    for (int c = row * 64; c < row * 64 + 64; ++c)
      if (c != 0) all += static_cast<char>(c);
    Run(kTextAt, {0, y + row * 14, all});
  }
  // Large glyphs, the last cut by the screen's bottom and right edges.
  Run(kTextFont, {std::string("DejaVu Sans Mono")});
  Run(kTextBoldItalic, {});
  Run(kTextSize, {40});
  Run(kTextAt, {0, 360, std::string("Wq@")});
  Run(kTextFont, {std::string("system")});
  Run(kTextBold, {});
  Run(kTextSize, {60});
  Run(kTextAt, {120, 360, std::string("R&j")});
  Run(kTextSize, {120});
  Run(kTextAt, {520, 390, std::string("Mg")});
  Frame();
  ASSERT_EQ(TakeError(), 0);
  EXPECT_TRUE(MatchesReference(*BackBuffer(), "text_fonts.png", 0));
}

// Colours and backgrounds, centring, the print cursor, INPUT's line and clipping; drawn at the
// display's depth.
void TextPixelsTest::DrawModes() {
  const auto run = [this](int command, std::vector<Operand> operands) { Run(command, std::move(operands)); };
  run(kDrawClsColour, {0x203040});
  run(kDrawInk, {0xFFEE11, 0x8040C0});
  run(kTextAt, {5, 5, std::string("Transparent")});
  run(kTextOpaque, {});
  run(kTextAt, {5, 25, std::string("Opaque on paper")});
  run(kDrawInk, {0x89ABCD, 0xFEDCBA});
  run(kTextAt, {5, 45, std::string("Odd colours")});
  run(kTextCentred, {320, 65, std::string("Centred opaque")});
  run(kTextTransparent, {});
  run(kTextCentred, {320, 85, std::string("Centred, odd width")});
  run(kDrawInk, {0xFFFFFF, 0xC00000});
  // Cut by the screen's four edges, transparent and opaque.
  for (int opaque = 0; opaque < 2; ++opaque) {
    run(opaque ? kTextOpaque : kTextTransparent, {});
    const int row = 100 + opaque * 20;
    run(kTextAt, {-7, row, std::string("Left edge cut")});
    run(kTextAt, {580, row, std::string("Right edge cut")});
    run(kTextAt, {150 + opaque * 200, -6, std::string("Top edge cut")});
    run(kTextAt, {150 + opaque * 200, 473, std::string("Bottom edge cut")});
  }
  // Cut by the edges of a bitmap smaller than the text, then shown on the screen.
  run(kBitmapCreate, {1, 100, 30});
  run(kDrawClsColour, {0x400000});
  run(kTextTransparent, {});
  run(kTextAt, {-5, -4, std::string("Bitmap edges cut off")});
  run(kTextOpaque, {});
  run(kTextAt, {60, 18, std::string("opaque cut")});
  run(kBitmapSetCurrent, {0});
  run(kBitmapCopyArea, {1, 0, 0, 100, 30, 0, 10, 200, 110, 230});
  // The print cursor: lines that wrap at the screen's width, a new size, then INPUT's line.
  run(kTextTransparent, {});
  run(kTextSetCursor, {0, 300});
  for (int i = 0; i < 12; ++i) PrintAtCursor("printed text ", false);
  PrintAtCursor("", true);
  run(kTextSize, {16});
  run(kTextFont, {std::string("DejaVu Serif")});
  PrintAtCursor("A larger line", true);
  ShowInputText("typed", false);
  run(kTextSize, {10});
  run(kTextFont, {std::string("system")});
}

TEST_F(TextPixelsTest, ColoursBackgroundsAndClippingAtBothDepths) {
  for (const int depth : {16, 32}) {
    SCOPED_TRACE(depth);
    if (depth == 32) Run(kDisplaySetMode, {640, 480, 32});
    ASSERT_EQ(ScreenDepth(), depth);
    DrawModes();
    Frame();
    ASSERT_EQ(TakeError(), 0);
    EXPECT_TRUE(MatchesReference(*BackBuffer(), "text_modes" + std::to_string(depth) + ".png", 0));
  }
}

}  // namespace
}  // namespace g2d
