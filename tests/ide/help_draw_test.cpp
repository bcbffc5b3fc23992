// The help page on the screen: drawn from the glyph atlas into the help area only, links in
// their colour where the layout put them, and a click on one following it.
#include <gtest/gtest.h>

#include "ide/help/help.h"
#include "ide/ide.h"
#include "tests/ide/help_fixture.h"

namespace {

int CountColour(const Surface& s, SurfaceRect r, uint32_t colour) {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) n += s.pixels[static_cast<size_t>(y) * s.width + x] == colour;
  return n;
}

}  // namespace

TEST_F(HelpPagesFixture, DrawsThePageAndFollowsAClick) {
  ASSERT_TRUE(BuildGlyphAtlas());
  Write("HELP/menu.htm", "<FONT SIZE=6 COLOR=YELLOW>Title<FONT SIZE=4><P><A HREF=\"next.htm\">Next page</A></P>");
  Write("HELP/next.htm", "second");
  ASSERT_TRUE(ShowHelpHome(base.string() + "/help"));
  Surface* screen = SurfaceCreate(640, 480);
  SurfaceFill(*screen, {0, 0, 640, 480}, 0x123456);
  DrawHelpScreen(*screen);
  // Outside the help area nothing changes; inside, the title is yellow and the link green.
  EXPECT_EQ(CountColour(*screen, {0, 0, 640, kHelpAreaTop}, 0x123456), 640 * kHelpAreaTop);
  EXPECT_EQ(CountColour(*screen, {616, kHelpAreaTop, 640, 480}, 0x123456), 24 * (480 - kHelpAreaTop));
  EXPECT_GT(CountColour(*screen, {0, kHelpAreaTop, 200, kHelpAreaTop + 30}, 0xFFFA14), 20);
  ASSERT_EQ(TheHelpViewer().links().size(), 1u);
  const HelpLink link = TheHelpViewer().links()[0];
  EXPECT_GT(CountColour(*screen, {link.x1, link.y1 + kHelpAreaTop, link.x2, link.y2 + kHelpAreaTop + 1}, 0x00FF00), 20);
  EXPECT_EQ(HelpLinkUnder(link.x1 + 1, link.y1 + kHelpAreaTop + 1), "next.htm");
  EXPECT_EQ(HelpLinkUnder(link.x1 + 1, link.y2 + kHelpAreaTop + 1), "");
  EXPECT_FALSE(HelpClick(link.x1 + 1, link.y1));  // above it
  ASSERT_TRUE(HelpClick(link.x1 + 1, link.y1 + kHelpAreaTop + 1));
  EXPECT_EQ(TheHelpViewer().pageText(), "second");
  EXPECT_TRUE(TheHelpViewer().CanHelpBack());
  SurfaceDestroy(screen);
}
