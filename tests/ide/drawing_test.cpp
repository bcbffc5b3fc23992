// The environment's drawing: the glyph atlas, the editor's rows as a glyph trace and a few
// pixels, the status line and the compile progress panel.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "graphics2d/image_files.h"
#include "ide/ide.h"

namespace {
struct Screen {
  Surface* surface = SurfaceCreate(640, 480);
  ~Screen() { SurfaceDestroy(surface); }
  uint32_t At(int x, int y) const { return surface->pixels[static_cast<size_t>(y) * 640 + x]; }
};

// Any pixel of the rectangle has the colour.
bool AnyPixel(const Screen& s, SurfaceRect r, uint32_t colour) {
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      if (s.At(x, y) == colour) return true;
  return false;
}
}  // namespace

TEST(Drawing, AtlasCellsAndColours) {
  ASSERT_TRUE(BuildGlyphAtlas());
  const Surface* atlas = GlyphAtlas();
  ASSERT_NE(atlas, nullptr);
  EXPECT_EQ(atlas->width, 344);
  EXPECT_EQ(atlas->height, 1024);
  // 28 cells a row: 'A' (65) is cell 33, row 1, column 5; page 7 starts at y 896.
  const SurfaceRect a = GlyphCell(7 * 256 + 'A');
  EXPECT_EQ(a.left, 5 * 12);
  EXPECT_EQ(a.top, 7 * 128 + 16);
  // The selected page is dark ink on white: its "A" cell holds both.
  bool white = false, dark = false;
  const SurfaceRect s = GlyphCell(256 + 'A');
  for (int y = s.top; y < s.bottom; ++y)
    for (int x = s.left; x < s.right; ++x) {
      const uint32_t p = atlas->pixels[static_cast<size_t>(y) * 344 + x];
      white |= p == 0xFFFFFF;
      dark |= p == 0x0F0F0F;
    }
  EXPECT_TRUE(white && dark);
  EXPECT_EQ(ToRgb565(0xA37A7D), 15 * 2048 + 30 * 32 + 19);  // (0x7D, 0x7A, 0xA3): r 15, g 30, b 19
}

// The whole atlas, pixel for pixel, against the picture of it kept in tests/data/ide (written
// again with QV_UPDATE_REFERENCE set): the glyphs' shapes, places and colours must not change.
TEST(Drawing, AtlasMatchesItsReference) {
  ASSERT_TRUE(BuildGlyphAtlas());
  const Surface& atlas = *GlyphAtlas();
  const std::string path = QV_SOURCE_DIR "/tests/data/ide/glyph_atlas.png";
  if (std::getenv("QV_UPDATE_REFERENCE") != nullptr) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ASSERT_TRUE(SaveImageFile(path.c_str(), atlas, nullptr));
  }
  std::string why;
  Surface* reference = LoadImageFile(path.c_str(), &why);
  ASSERT_NE(reference, nullptr) << why;
  ASSERT_EQ(reference->width * 10000 + reference->height, atlas.width * 10000 + atlas.height);
  int differing = 0;
  for (size_t i = 0; i < atlas.pixels.size(); ++i) differing += (atlas.pixels[i] & 0xFFFFFF) != (reference->pixels[i] & 0xFFFFFF);
  SurfaceDestroy(reference);
  EXPECT_EQ(differing, 0);
}

TEST(Drawing, EditorRowsTraceAndPixels) {
  ASSERT_TRUE(BuildGlyphAtlas());
  SourceEditor editor(IdeMemoryHost());
  editor.buffer().lines = {"print 1", "rem note", "\tx=2"};
  editor.SelectRange({0, 2}, {0, 5});
  Screen screen;
  std::vector<std::string> trace;
  RedrawEditor(editor, *screen.surface, &trace);
  ASSERT_EQ(trace.size(), 32u);
  EXPECT_EQ(trace[0], "{0}pr{1}int{0} 1");
  EXPECT_EQ(trace[1], "{7}rem note");
  EXPECT_EQ(trace[2], "\t{0}x=2");
  EXPECT_EQ(trace[3], "");
  // The selected glyphs sit on white; the rest of the area is the text background.
  EXPECT_TRUE(AnyPixel(screen, {2 + 2 * 12, 43, 2 + 5 * 12, 56}, 0xFFFFFF));
  EXPECT_EQ(screen.At(300, 43 + 13 * 10), IdeColour(0));
  EXPECT_TRUE(AnyPixel(screen, {24, 43 + 26, 36, 56 + 26}, 0xFFFFFF));  // the "x" after the tab
  EXPECT_EQ(screen.At(10, 43 + 26 + 5), IdeColour(0));                  // the tab's space
}

// The message keeps its case and the unsaved mark stands apart at the line's right end.
TEST(Drawing, StatusLineShowsTheEndOfALongTitleAndTheMarkApart) {
  ASSERT_TRUE(BuildGlyphAtlas());
  Screen screen;
  EXPECT_EQ(DrawStatusLine(*screen.surface, "Unknown command: prnt", true), "Unknown command: prnt");
  EXPECT_TRUE(AnyPixel(screen, {kUnsavedMarkX, 463, kUnsavedMarkX + 8, 479}, 0xFFFFFF));
  const int end = 2 + TextWidth("Unknown command: prnt");
  EXPECT_FALSE(AnyPixel(screen, {end, 463, kUnsavedMarkX, 479}, 0xFFFFFF));  // nothing stuck to the text
  DrawStatusLine(*screen.surface, "Saved", false);
  EXPECT_FALSE(AnyPixel(screen, {kUnsavedMarkX, 463, kUnsavedMarkX + 8, 479}, 0xFFFFFF));
  const std::string longTitle = "start" + std::string(100, '.') + "end";
  const std::string shown = DrawStatusLine(*screen.surface, longTitle, true);
  EXPECT_LE(TextWidth(shown), kStatusTextWidth);
  EXPECT_LT(2 + TextWidth(shown), kUnsavedMarkX);
  EXPECT_EQ(shown.substr(shown.size() - 3), "end");
  EXPECT_EQ(static_cast<int>(shown.size()), kStatusTextWidth / GlyphAdvance(kPageStatus * 256 + 'e'));
}

TEST(ProgressPanel, GeometryAtNoneAndAll) {
  const ProgressGeometry none = ProgressPanelGeometry(0), all = ProgressPanelGeometry(100),
                         half = ProgressPanelGeometry(50);
  EXPECT_EQ(none.notDone.left, 130);
  EXPECT_EQ(none.notDone.right, 510);
  EXPECT_EQ(none.markerX, 109);
  EXPECT_EQ(all.notDone.left, 510);  // nothing left to clear
  EXPECT_EQ(all.markerX, 489);
  EXPECT_EQ(half.notDone.left, 130 + 190);
  EXPECT_EQ(ProgressPanelGeometry(250).notDone.left, 510);

  ASSERT_TRUE(BuildGlyphAtlas());
  Screen screen;
  DrawCompileProgress(*screen.surface, 50);
  EXPECT_EQ(screen.At(140, 260), IdeColour(6));  // done
  EXPECT_EQ(screen.At(400, 260), IdeColour(0));  // not yet done
  DrawCompileProgress(*screen.surface, 100);
  EXPECT_EQ(screen.At(480, 260), IdeColour(6));
}

TEST(Drawing, EditorScreenHasMenuBarTextAndStatusLine) {
  ASSERT_TRUE(LoadLanguageTables(QV_SOURCE_DIR "/data"));
  ASSERT_TRUE(BuildGlyphAtlas());
  SourceEditor editor(IdeMemoryHost());
  editor.buffer().lines = {"print \"hello\""};
  Screen screen;
  DrawEditorScreen(editor, *screen.surface, "Ready");
  EXPECT_EQ(screen.At(2, 2), IdeColour(4));                         // the bar's face
  EXPECT_EQ(screen.At(8, 21), IdeColour(4));                        // the first title's flat box
  EXPECT_TRUE(AnyPixel(screen, {11, 22, 11 + 4 * 12, 37}, 0x202020));  // "File" drawn over it
  EXPECT_TRUE(AnyPixel(screen, {2, 43, 2 + 5 * 12, 56}, 0xFFFFFF));    // "print"
  EXPECT_TRUE(AnyPixel(screen, {2, 463, 2 + 5 * 12, 479}, 0xFFFFFF));  // "Ready"
}
