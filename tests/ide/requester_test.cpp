// Requesters: clicks at each kind's buttons, fields and list give the shell's result codes.
#include <gtest/gtest.h>

#include "ide/ide.h"

namespace {
struct Point {
  int x, y;
};
Point Centre(const SurfaceRect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
}  // namespace

TEST(Requester, ButtonsGiveTheResultCodesOfEveryKindAndPurpose) {
  ASSERT_TRUE(LoadLanguageTables(QV_SOURCE_DIR "/data"));
  const struct {
    int kind, purpose, confirm, refuse;
  } cases[] = {
      {2, 1, 5, 1},    {3, 2, 6, 1},    {4, 3, 7, 1},   {4, 5, 3, 4},   {4, 7, 41, 42}, {4, 8, 43, 44},
      {4, 9, 45, 46},  {4, 10, 47, 48}, {4, 13, 13, 1}, {4, 14, 14, 1}, {4, 51, 51, 1}, {4, 99, 2, 1},
      {6, 11, 11, 1},  {7, 12, 12, 1},  {8, 31, 31, 1}, {11, 21, 21, 1}, {12, 22, 22, 1}, {72, 72, 72, 73},
  };
  Requester r;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "kind " << c.kind << " purpose " << c.purpose);
    r.Open(c.kind, c.purpose);
    const Point yes = Centre(r.button(2).rect), no = Centre(r.button(1).rect);
    EXPECT_EQ(r.Click(yes.x, yes.y), c.confirm);
    EXPECT_TRUE(r.button(2).pressed);
    EXPECT_EQ(r.Click(no.x, no.y), c.refuse);
    // Return in a name box presses the confirming button; the confirm kind has no box.
    EXPECT_EQ(r.Key({IdeEventKind::kChar, 13, 0}), c.kind == 4 ? 0 : c.confirm);
    // The panel is centred on (320, 240).
    EXPECT_EQ((r.panel().left + r.panel().right) / 2, 320);
    EXPECT_EQ((r.panel().top + r.panel().bottom) / 2, 240);
  }
  // The confirm panel: buttons at (159, 56) and (245, 56) inside it, 87 wide, 23 high; a
  // click on an edge or beside them does nothing.
  r.Open(4, 99);
  EXPECT_EQ(r.panel().left, 320 - 405 / 2);
  EXPECT_EQ(r.button(2).rect.left, r.panel().left + 159 - 43);
  EXPECT_EQ(r.button(2).rect.right - r.button(2).rect.left, 87);
  EXPECT_EQ(r.Click(r.button(2).rect.left, r.button(2).rect.top + 5), 0);
  EXPECT_EQ(r.Click(r.panel().left + 20, r.panel().top + 56), 0);
  EXPECT_EQ(r.Click(r.panel().left + 202, r.panel().top + 90), 0);
  // The tool table: buttons 2 to 6 choose a tool, button 1 closes.
  r.Open(71, 71);
  for (int i = 2; i <= 6; ++i) {
    const Point p = Centre(r.button(i).rect);
    EXPECT_EQ(r.Click(p.x, p.y), 71) << i;
  }
  const Point done = Centre(r.button(1).rect);
  EXPECT_EQ(r.Click(done.x, done.y), 1);
  // Return only takes a tool path in: each button there chooses a tool.
  const Point path = Centre(r.field(2).rect);
  r.Click(path.x, path.y);
  EXPECT_EQ(r.Key({IdeEventKind::kChar, 13, 0}), 0);
}

TEST(Requester, FieldsListAndMessages) {
  ASSERT_TRUE(LoadLanguageTables(QV_SOURCE_DIR "/data"));
  Requester r;
  r.Open(2, 1);
  EXPECT_EQ(r.focusedField(), 1);
  EXPECT_FALSE(r.field(2).editable);  // the load kind shows the header read-only
  r.FillList({{"..", true}, {"zeta.qva", false}, {"b.txt", false}, {".", true}, {"Alpha.QVA", false}, {"games", true}});
  ASSERT_EQ(r.list().size(), 5u);
  EXPECT_EQ(r.list()[0].type, 0);  // the parent entry
  EXPECT_EQ(r.list()[1].name, "games");
  EXPECT_EQ(r.list()[2].name, "Alpha.QVA");
  EXPECT_EQ(r.list()[3].name, "zeta.qva");
  EXPECT_EQ(r.list()[4].name, "b.txt");
  // Row 2 (y 45 + 32 inside the panel): one click selects and fills field 1, the second loads.
  const int x = r.panel().left + 20, y = r.panel().top + 45 + 2 * 16 + 4;
  EXPECT_EQ(r.Click(x, y), 0);
  EXPECT_EQ(r.selectedEntry(), 3);
  EXPECT_EQ(r.field(1).text, "Alpha.QVA");
  EXPECT_EQ(r.Click(x, y), 5);
  // Right of the name's end does not select.
  EXPECT_EQ(r.Click(r.panel().left + 380, r.panel().top + 45 + 4 * 16 + 4), 0);
  EXPECT_EQ(r.selectedEntry(), 3);
  // A field click focuses it.
  const Point f = Centre(r.field(3).rect);
  EXPECT_EQ(r.Click(f.x, f.y), 0);
  EXPECT_EQ(r.focusedField(), 3);
  // The scroll bar with a short list never moves past the start.
  EXPECT_EQ(r.Click(r.panel().left + 395, r.panel().top + 160), 0);
  EXPECT_EQ(r.firstShown(), 0);

  // A shown message is only taken away; after a failed find the next click closes.
  r.Open(11, 21);
  r.ShowMessage("not found");
  const Point yes = Centre(r.button(2).rect);
  EXPECT_EQ(r.Click(yes.x, yes.y), 0);
  EXPECT_TRUE(r.message().empty());
  r.set_purpose(23);
  r.ShowMessage("not found");
  EXPECT_EQ(r.Click(0, 0), 1);
  // The find kind's second field is read-only; the replace kind's is editable.
  EXPECT_FALSE(r.field(2).editable);
  r.Open(12, 22);
  EXPECT_TRUE(r.field(2).editable);
}

// The build and new-project requesters: their picture stands at the left and the explanation
// beside it, so no text is drawn over the picture (every pixel of it shows as it is).
TEST(Requester, ThePictureOfTheBuildAndProjectKindsLeavesTheTextBesideIt) {
  ASSERT_TRUE(LoadLanguageTables(QV_SOURCE_DIR "/data"));
  ASSERT_TRUE(BuildGlyphAtlas());
  std::string why;
  ASSERT_TRUE(LoadIdePictures(QV_SOURCE_DIR "/data", &why)) << why;
  Surface* target = SurfaceCreate(640, 480);
  for (const auto& [kind, slot] : {std::pair{6, 39}, {7, 39}, {8, 33}}) {
    SCOPED_TRACE(::testing::Message() << "kind " << kind);
    Requester r;
    r.Open(kind, kind == 8 ? 31 : 11);
    r.Draw(*target, 0);
    const Surface* picture = PictureSlot(slot);
    ASSERT_NE(picture, nullptr);
    const int px = r.panel().left + 13, py = r.panel().top + 207;
    int shown = 0, keyed = 0;
    for (int y = 0; y < picture->height; ++y)
      for (int x = 0; x < picture->width; ++x) {
        const uint32_t p = picture->pixels[static_cast<size_t>(y) * picture->width + x] & 0xFFFFFF;
        if (p == 0) {
          ++keyed;
          continue;
        }
        shown += (target->pixels[static_cast<size_t>(py + y) * 640 + px + x] & 0xFFFFFF) == p;
      }
    EXPECT_EQ(shown, picture->width * picture->height - keyed);
    // The explanation is there, to the right of the picture.
    bool text = false;
    for (int y = py; y < py + picture->height && !text; ++y)
      for (int x = px + picture->width + 4; x < r.panel().right - 8 && !text; ++x)
        text = (target->pixels[static_cast<size_t>(y) * 640 + x] & 0xFFFFFF) == 0x202020;
    EXPECT_TRUE(text);
  }
  SurfaceDestroy(target);
  FreeIdePictures();
}
