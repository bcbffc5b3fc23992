// Text layer tests: any font name gives a usable font, measuring follows the text, drawing
// writes only ink (transparent) or ink over paper (opaque), and styles change the glyphs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/display_modes.h"
#include "platform/present.h"
#include "platform/surface.h"
#include "platform/text.h"
#include "tests/platform/fresh_fonts.h"
#include "tests/platform/glyph_ink.h"

namespace fs = std::filesystem;

// Fonts as on a fresh machine, whatever this one has installed.
static ::testing::Environment* const kFreshMachineFonts = ::testing::AddGlobalTestEnvironment(new FreshMachineFonts);

using FontPtr = std::unique_ptr<PlatformFont, void (*)(PlatformFont*)>;
static FontPtr MakeFont(const char* name, int size, bool bold = false, bool italic = false) {
  return FontPtr(FontCreate(name, size, bold, italic), FontDestroy);
}

static int CountColour(const Surface& s, uint32_t colour) {
  int n = 0;
  for (uint32_t p : s.pixels) n += p == colour;
  return n;
}

TEST(Text, EveryNameGivesAFont) {
  for (const char* name : {"system", "Arial", "courier new", "no such font at all", ""}) {
    FontPtr font = MakeFont(name, 12);
    ASSERT_NE(font, nullptr) << name;
    EXPECT_NE(std::string(FontFilePath(font.get())), "") << name;
  }
}

// A name a program commonly asks for gets a font of its kind: fixed-width names a fixed-width
// file, serif names a serif file (both once fell back to the sans font).
TEST(Text, CommonNamesGetAFontOfTheirKind) {
  const struct {
    const char* name;
    const char* file;
  } cases[] = {{"courier", "DejaVuSansMono.ttf"},   {"Courier New", "DejaVuSansMono.ttf"},
               {"monospace", "DejaVuSansMono.ttf"}, {"times", "DejaVuSerif.ttf"},
               {"Times New Roman", "DejaVuSerif.ttf"}, {"serif", "DejaVuSerif.ttf"},
               {"arial", "DejaVuSans.ttf"},         {"no such font at all", "DejaVuSans.ttf"}};
  for (const auto& c : cases) {
    FontPtr font = MakeFont(c.name, 12);
    ASSERT_NE(font, nullptr) << c.name;
    EXPECT_EQ(fs::path(FontFilePath(font.get())).filename(), c.file) << c.name;
  }
}

TEST(Text, MeasureGrowsWithTextAndSize) {
  FontPtr small = MakeFont("system", 10);
  FontPtr big = MakeFont("system", 20);
  int w1, h1, w2, h2, w3, h3;
  FontMeasure(small.get(), "Hi", &w1, &h1);
  FontMeasure(small.get(), "Hi there", &w2, &h2);
  FontMeasure(big.get(), "Hi there", &w3, &h3);
  EXPECT_GT(w1, 0);
  EXPECT_GT(w2, w1);
  EXPECT_EQ(h1, h2);
  EXPECT_GT(w3, w2);
  EXPECT_GT(h3, h2);
  FontMeasure(small.get(), "", &w1, &h1);
  EXPECT_EQ(w1, 0);
  EXPECT_GT(h1, 0);
}

TEST(Text, TransparentAndOpaqueDrawing) {
  FontPtr font = MakeFont("system", 16);
  std::unique_ptr<Surface, void (*)(Surface*)> s(SurfaceCreate(80, 24), SurfaceDestroy);
  SurfaceFill(*s, {0, 0, 80, 24}, 0x123456);
  FontDrawText(font.get(), *s, 2, 2, "Ab", TextColours{0xFF0000, 0x00FF00, false});
  const int ink = CountColour(*s, 0xFF0000);
  EXPECT_GT(ink, 10);
  EXPECT_EQ(CountColour(*s, 0x00FF00), 0);
  EXPECT_EQ(ink + CountColour(*s, 0x123456), 80 * 24);  // monochrome: no blended pixels

  int w, h;
  FontMeasure(font.get(), "Ab", &w, &h);
  FontDrawText(font.get(), *s, 2, 2, "Ab", TextColours{0xFF0000, 0x00FF00, true});
  EXPECT_EQ(CountColour(*s, 0x00FF00) + CountColour(*s, 0xFF0000), w * h);
  // Drawing partly off the surface clips instead of writing outside it.
  FontDrawText(font.get(), *s, -5, 20, "Wide text", TextColours{0xFF0000, 0, true});
}

// Ink of one glyph drawn at 24 pixels.
static GlyphInk InkOf(PlatformFont* font, const char* text) {
  std::unique_ptr<Surface, void (*)(Surface*)> s(SurfaceCreate(60, 40), SurfaceDestroy);
  FontDrawText(font, *s, 10, 2, text, TextColours{0xFFFFFF, 0, false});
  return InkInArea(*s, 0, 0, s->width, s->height);
}

// On a fresh machine the only files are regular and bold: italic is slanted here, from the
// regular or the bold file, and only italic leans.
TEST(Text, BoldAndItalicChangeTheGlyphs) {
  const struct {
    bool bold, italic;
  } kStyles[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  GlyphInk ink[4];
  for (int i = 0; i < 4; ++i) {
    FontPtr font = MakeFont("arial", 24, kStyles[i].bold, kStyles[i].italic);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(fs::path(FontFilePath(font.get())).parent_path(), FreshMachineFonts::Folder() / "fonts");
    ink[i] = InkOf(font.get(), "l");
    SCOPED_TRACE(i);
    EXPECT_GT(ink[i].pixels, 20);
    if (kStyles[i].italic) EXPECT_GE(ink[i].lean, 3.0) << "not slanted";
    else EXPECT_LE(std::abs(ink[i].lean), 1.0) << "slanted";
  }
  EXPECT_GT(ink[1].pixels, ink[0].pixels * 5 / 4);  // bold: thicker strokes
  EXPECT_GT(ink[3].pixels, ink[2].pixels * 5 / 4);
  EXPECT_LT(ink[2].pixels, ink[0].pixels * 3 / 2);  // slanting alone adds no weight
}

using SurfacePtr = std::unique_ptr<Surface, void (*)(Surface*)>;

// Every character in lines that the surface's edges cut on all four sides, transparent and
// opaque, with the widths measured on the way.
static std::vector<int> DrawEveryCharacter(PlatformFont* font, Surface& s) {
  std::vector<int> widths;
  for (int line = 0; line < 5; ++line) {
    std::string text;
    for (int c = line * 52 + 1; c <= std::min(255, line * 52 + 52); ++c) text += static_cast<char>(c);
    const int x = line % 2 == 0 ? -7 : 3, y = line * s.height / 4 - 5;
    FontDrawText(font, s, x, y, text.c_str(), TextColours{0xFFEE00u - static_cast<uint32_t>(line), 0x2040C0, line == 3});
    int width = 0, height = 0;
    FontMeasure(font, text.c_str(), &width, &height);
    widths.push_back(width);
  }
  return widths;
}

// The runs of ink a font keeps draw what FreeType renders for each glyph at each draw (as when
// nothing may be kept), pixel for pixel and with the same advances, in every style, synthetic
// or from a file, at small and large sizes.
TEST(Text, KeptGlyphsDrawAsFreshlyRenderedOnes) {
  const char* const names[] = {"system", "arial", "DejaVu Sans Mono", "DejaVu Serif"};
  for (const char* name : names)
    for (const int size : {6, 13, 40})
      for (int style = 0; style < 4; ++style) {
        SCOPED_TRACE(std::string(name) + " " + std::to_string(size) + " style " + std::to_string(style));
        SurfacePtr kept(SurfaceCreate(300, 4 * size), SurfaceDestroy), rendered(SurfaceCreate(300, 4 * size), SurfaceDestroy);
        FontPtr font = MakeFont(name, size, style & 1, style & 2);
        const std::vector<int> keptWidths = DrawEveryCharacter(font.get(), *kept);
        EXPECT_EQ(DrawEveryCharacter(font.get(), *kept), keptWidths);  // the second time all from what is kept
        const size_t used = FontGlyphMemoryInUse();
        EXPECT_GT(used, 0u);
        FontSetGlyphMemoryLimit(1);
        FontPtr unkept = MakeFont(name, size, style & 1, style & 2);
        EXPECT_EQ(DrawEveryCharacter(unkept.get(), *rendered), keptWidths);
        EXPECT_EQ(FontGlyphMemoryInUse(), used);
        FontSetGlyphMemoryLimit(0);
        ASSERT_TRUE(kept->pixels == std::vector<uint32_t>(rendered->pixels.begin(), rendered->pixels.end()));
      }
}

// A font's glyphs are given back with it, and no font keeps more than the limit allows: what
// does not fit is drawn all the same.
TEST(Text, GlyphMemoryIsBoundedAndGivenBack) {
  const size_t before = FontGlyphMemoryInUse();
  SurfacePtr first(SurfaceCreate(600, 300), SurfaceDestroy), second(SurfaceCreate(600, 300), SurfaceDestroy);
  {
    FontPtr big = MakeFont("system", 300);
    FontDrawText(big.get(), *first, 0, 0, "Wq@", TextColours{});
    EXPECT_GT(FontGlyphMemoryInUse(), before + 4096);
  }
  EXPECT_EQ(FontGlyphMemoryInUse(), before);
  FontSetGlyphMemoryLimit(before + 4096);
  {
    FontPtr big = MakeFont("system", 300);
    FontDrawText(big.get(), *second, 0, 0, "Wq@", TextColours{});
    EXPECT_LE(FontGlyphMemoryInUse(), before + 4096);
  }
  FontSetGlyphMemoryLimit(0);
  EXPECT_TRUE(first->pixels == std::vector<uint32_t>(second->pixels.begin(), second->pixels.end()));
}

TEST(DisplayModes, StandardModesAreAlwaysListed) {
  DisplayModeInfo modes[64];
  const int count = PlatformListDisplayModes(modes, 64);
  ASSERT_GE(count, 6);
  for (int i = 1; i < count; ++i) EXPECT_GE(modes[i - 1].width, modes[i].width);
  EXPECT_TRUE(PlatformDisplayModeExists(640, 480, 16));
  EXPECT_TRUE(PlatformDisplayModeExists(640, 480, 32));
  EXPECT_FALSE(PlatformDisplayModeExists(641, 480, 32));
  EXPECT_EQ(PlatformListDisplayModes(modes, 0), 0);
  // A short list still holds the game's own mode at both depths.
  ASSERT_EQ(PlatformListDisplayModes(modes, 2), 2);
  EXPECT_EQ(modes[0].width * 10000 + modes[0].height, 6400480);
  EXPECT_EQ(modes[1].width * 10000 + modes[1].height, 6400480);
}

TEST(Present, HeadlessCountsFrames) {
  std::unique_ptr<Surface, void (*)(Surface*)> s(SurfaceCreate(8, 8), SurfaceDestroy);
  PresentAttachWindow(nullptr);
  const uint32_t before = PresentedFrameCount();
  EXPECT_TRUE(PresentSurface(*s, 16));
  EXPECT_TRUE(PresentSurface(*s, 32));
  EXPECT_EQ(PresentedFrameCount(), before + 2);
}
