// The frame around the text: the pictures as loaded from data/ide, the menu bar and its
// drop-down, what the mouse is over, the toolbar, tabs and scroll bar.
#include <gtest/gtest.h>

#include "graphics2d/graphics2d.h"
#include "graphics2d/image_files.h"
#include "ide/ide.h"
#include "tests/ide/ide_test_util.h"

namespace {
struct Frame {
  Surface* surface = SurfaceCreate(640, 480);
  ~Frame() { SurfaceDestroy(surface); }
  uint32_t At(int x, int y) const { return surface->pixels[static_cast<size_t>(y) * 640 + x]; }
};

class FrameTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadLanguageTables(QV_SOURCE_DIR "/data"));
    ASSERT_TRUE(BuildGlyphAtlas());
    std::string why;
    ASSERT_TRUE(LoadIdePictures(QV_SOURCE_DIR "/data", &why)) << why;
    for (int m = 1; m <= 6; ++m) view.menus[m - 1].title = IdeText(IdeTable::kMenu, m);
    MenuRecord& file = view.menus[0];
    const char* items[] = {"New Project", "Load Source", "-", "Save Source"};
    for (int i = 0; i < 4; ++i) file.items[i] = items[i], file.enabled[i] = i != 2;
    file.labels[1] = "F2";
    file.enabled[3] = false;
  }
  void TearDown() override { FreeIdePictures(); }
  IdeView view;
};
}  // namespace

TEST_F(FrameTest, PicturesOnDiskAreTheOnesTheCodeDraws) {
  // A picture whose drawing changed without the file being written again shows here.
  const auto& files = IdePictureFiles();
  ASSERT_EQ(files.size(), static_cast<size_t>(IdePic::kCount) + 19);
  for (size_t i = 0; i < files.size(); ++i) {
    Surface* drawn = SurfaceCreate(files[i].width, files[i].height);
    files[i].draw(*drawn);
    const Surface* loaded = i < static_cast<size_t>(IdePic::kCount) ? IdePicture(static_cast<IdePic>(i)) : nullptr;
    if (loaded == nullptr)
      for (int slot = 0; slot < kPictureSlots && loaded == nullptr; ++slot)
        if (PictureSlot(slot) && PictureSlot(slot)->width == drawn->width && PictureSlot(slot)->height == drawn->height &&
            PictureSlot(slot)->pixels == std::vector<uint32_t>(drawn->pixels.begin(), drawn->pixels.end()))
          loaded = PictureSlot(slot);
    ASSERT_NE(loaded, nullptr) << files[i].name;
    EXPECT_TRUE(loaded->pixels == std::vector<uint32_t>(drawn->pixels.begin(), drawn->pixels.end())) << files[i].name;
    SurfaceDestroy(drawn);
  }
  for (int slot : {1, 2, 3, 4, 6, 20, 23, 24, 29, 30, 33, 39}) EXPECT_NE(PictureSlot(slot), nullptr) << slot;
  EXPECT_EQ(PictureSlot(1)->width, 419);
  EXPECT_EQ(PictureSlot(30)->width, 406);
}

TEST_F(FrameTest, PicturesComeFromTheFolderElseTheBuiltInSet) {
  // Away from its data the program has the same pictures built in.
  const std::vector<uint32_t> screen(IdePicture(IdePic::kScreen)->pixels.begin(), IdePicture(IdePic::kScreen)->pixels.end());
  std::string why;
  ASSERT_TRUE(LoadIdePictures("/nonexistent-install", &why)) << why;
  EXPECT_TRUE(IdePicture(IdePic::kScreen)->pixels == screen);
  // A picture in the folder wins over the built-in one; a damaged one fails by its name.
  TempFolder dir;
  std::filesystem::create_directories(dir.path / "ide");
  Surface* red = SurfaceCreate(15, 402);
  SurfaceFill(*red, {0, 0, 15, 402}, 0xFF0000);
  ASSERT_TRUE(SaveImageFile((dir / "ide/track.png").c_str(), *red, &why)) << why;
  SurfaceDestroy(red);
  ASSERT_TRUE(LoadIdePictures(dir.path.string(), &why)) << why;
  EXPECT_EQ(IdePicture(IdePic::kTrack)->pixels[0], 0xFF0000u);
  WriteBytes(dir / "ide/thumb.png", "not a picture");
  EXPECT_FALSE(LoadIdePictures(dir.path.string(), &why));
  EXPECT_NE(why.find("thumb.png"), std::string::npos);
  EXPECT_EQ(IdePicture(IdePic::kScreen), nullptr);
}

TEST_F(FrameTest, MouseOverTitlesButtonsArrowsAndItems) {
  const int fileX = MenuTitleX(view, 1), editX = MenuTitleX(view, 2);
  EXPECT_EQ(fileX, 8);
  EXPECT_EQ(editX, 8 + TextWidth(view.menus[0].title) + 8);
  struct Case {
    int x, y, hover;
  } cases[] = {{fileX + 1, 25, 11}, {editX + 1, 30, 12}, {fileX + 1, 41, 0}, {500, 10, 22}, {600, 29, 23},
               {630, 30, 31},       {630, 470, 32},      {300, 300, 0},     {4, 25, 0}};
  for (const Case& c : cases) {
    view.mouseX = c.x, view.mouseY = c.y;
    UpdateMenuHover(view);
    EXPECT_EQ(view.menuHover, c.hover) << c.x << "," << c.y;
  }
  view.mouseX = fileX + 1, view.mouseY = 25;
  view.marking = true;  // the editor's mouse marking: nothing is hovered
  UpdateMenuHover(view);
  EXPECT_EQ(view.menuHover, 0);
  view.marking = false;

  // An open drop-down: items 16 px apart from y 42.
  SourceEditor editor(IdeMemoryHost());
  Frame frame;
  view.openMenu = 1;
  DrawEditorFrame(editor, view, *frame.surface);
  const SurfaceRect r = DropDownRect(view, 1);
  EXPECT_EQ(r.left, 8);
  EXPECT_EQ(r.top, 40);
  EXPECT_EQ(r.bottom, 40 + 2 + 16 * 4 + 5);
  EXPECT_GE(r.right - r.left, 96);
  view.mouseX = 20, view.mouseY = 40 + 2 + 16 + 3;
  UpdateMenuHover(view);
  EXPECT_EQ(view.itemHover, 2);
  DrawEditorFrame(editor, view, *frame.surface);
  EXPECT_EQ(frame.At(r.left + 3, 40 + 2 + 16 + 1), IdeColour(1));  // the hovered row is lit
  EXPECT_EQ(frame.At(r.left + 3, 40 + 2 + 1), IdeColour(4));       // the others are not
  EXPECT_EQ(frame.At(r.left + 5, 40 + 2 + 32 + 7), IdeColour(5));  // the separator's dark line
  EXPECT_EQ(frame.At(r.left + 5, 40 + 2 + 32 + 8), IdeColour(3));  // and its light one
  EXPECT_EQ(frame.At(8, 21), IdeColour(5));                       // the open title is pressed
}

TEST_F(FrameTest, ScrollBarThumbTabsAndTextBar) {
  SourceEditor editor(IdeMemoryHost());
  Frame frame;
  // 32 lines: nothing to scroll, no thumb.
  editor.buffer().lines.assign(32, "x");
  DrawEditorFrame(editor, view, *frame.surface);
  EXPECT_EQ(view.thumbLength, 382);
  EXPECT_EQ(view.thumbRect.bottom, 0);
  // 33 lines: the thumb is 382 * 32 / 33 px long, drawn 20 px taller from y 53.
  editor.buffer().lines.assign(33, "x");
  editor.buffer().topLine = 1;
  DrawEditorFrame(editor, view, *frame.surface);
  EXPECT_EQ(view.thumbLength, 382 * 32 / 33);
  EXPECT_EQ(view.thumbPosition, 382 - 382 * 32 / 33);
  EXPECT_EQ(view.thumbRect.top, 53 + view.thumbPosition);
  EXPECT_EQ(view.thumbRect.bottom, 53 + 382 + 20);
  // Dragging moves it with the mouse, never past the track's ends.
  view.thumbDragging = true;
  view.dragLastY = 200, view.mouseY = 100;
  DrawEditorFrame(editor, view, *frame.surface);
  EXPECT_EQ(view.thumbPosition, 0);
  // Buffer 2's tab is the selected one.
  editor.SelectBuffer(2);
  DrawEditorFrame(editor, view, *frame.surface);
  EXPECT_EQ(frame.At(471 + 2, 2 + 30), IdePicture(IdePic::kTabSelected)->pixels[30 * 16 + 2]);
  EXPECT_EQ(frame.At(454 + 2, 2 + 30), IdePicture(IdePic::kTab)->pixels[30 * 16 + 2]);
  EXPECT_NE(IdePicture(IdePic::kTabSelected)->pixels[30 * 16 + 2], IdePicture(IdePic::kTab)->pixels[30 * 16 + 2]);

  // The text bar sits at the cursor outside menu mode and is parked in it.
  editor.SelectBuffer(1);
  editor.buffer().lines = {"\tab"};
  editor.buffer().cursor = {0, 2};
  editor.buffer().topLine = 0;
  ShowTextCursor(editor, false);
  EXPECT_EQ(MousePointerShape(), 4);
  ShowTextCursor(editor, true);
  EXPECT_EQ(MousePointerShape(), 5);
}

TEST_F(FrameTest, RecentFileItemsAndTheLeaveItem) {
  MenuRecord& file = view.menus[0];
  IdeUserSettings().recent.clear();
  EXPECT_EQ(RebuildRecentItems(file, "/work"), 10);  // no separator before it
  EXPECT_EQ(file.items[10], IdeText(IdeTable::kMenu, 18));
  EXPECT_TRUE(file.items[11].empty());
  AddRecentFile("Here.QVA", "/work/");
  AddRecentFile("there.qva", "/games/space");
  AddRecentFile("x.qva", "/a/" + std::string(40, 'f'));
  EXPECT_EQ(RebuildRecentItems(file, "/work"), 3 + 11);
  // Its end, under 256 px and at most 32 characters.
  const std::string far = std::string(40, 'f') + "/x.qva";
  EXPECT_LT(TextWidth(file.items[10]), 256);
  EXPECT_LE(file.items[10].size(), 32u);
  EXPECT_GT(file.items[10].size(), 20u);
  EXPECT_EQ(far.substr(far.size() - file.items[10].size()), file.items[10]);
  EXPECT_EQ(file.items[11], "space/there.qva");
  EXPECT_EQ(file.items[12], "here.qva");  // in the current folder: the name, lower case
  EXPECT_EQ(file.items[13], "-");
  EXPECT_FALSE(file.enabled[13]);
  EXPECT_TRUE(file.enabled[14]);
  IdeUserSettings() = IdeSettings();
}

TEST_F(FrameTest, ColoursByScreenDepth) {
  const struct {
    int entry, depth;
    bool requester;
    uint32_t value;
  } cases[] = {
      {0, 8, false, 24},     {8, 8, false, 1},         {1, 16, false, 65535},     {4, 16, false, ToRgb565(0x8C6164)},
      {6, 16, false, 61700}, {0, 32, false, 0x081008}, {5, 8, true, 255},         {4, 16, true, 57030},
      {0, 32, true, 0x080C08}, {9, 16, false, 0},      {6, 32, true, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IdeColourForDepth(c.entry, c.depth, c.requester), c.value) << c.entry << " " << c.depth << " " << c.requester;
}

TEST_F(FrameTest, TextBarBlinksOutsideMenuModeAndHelpModeShowsItsWords) {
  SourceEditor editor(IdeMemoryHost());
  editor.buffer().lines = {"ab"};
  editor.buffer().cursor = {0, 1};
  Frame frame;
  const int x = 2 + 12 - 1, y = kTextTop + 1;
  const struct {
    bool menuMode;
    uint32_t clock;
    bool shown;
  } cases[] = {{false, 0, true}, {false, 499, true}, {false, 500, false}, {false, 1000, true}, {true, 0, false}};
  for (const auto& c : cases) {
    view.menuMode = c.menuMode;
    view.clock = c.clock;
    DrawEditorFrame(editor, view, *frame.surface);
    EXPECT_EQ(frame.At(x, y) == 0xFFFFFFu && frame.At(x, y + 11) == 0xFFFFFFu, c.shown) << c.menuMode << " " << c.clock;
  }

  // Help mode: the three words on the bar, back and forward drawn disabled when not possible.
  view.helpMode = true;
  view.helpWords[0] = "Editor", view.helpWords[1] = "Back", view.helpWords[2] = "Forward";
  view.thumbLength = 100, view.thumbPosition = 50;
  DrawHelpFrame(view, *frame.surface, 1);
  auto any = [&](SurfaceRect r, uint32_t colour) {
    for (int yy = r.top; yy < r.bottom; ++yy)
      for (int xx = r.left; xx < r.right; ++xx)
        if (frame.At(xx, yy) == colour) return true;
    return false;
  };
  const int back = MenuTitleX(view, 2);
  EXPECT_TRUE(any({back, 21, back + TextWidth("Back"), 38}, 0x4B4877));    // disabled
  EXPECT_FALSE(any({back, 21, back + TextWidth("Back"), 38}, 0x202020));
  view.canGoBack = true;
  DrawHelpFrame(view, *frame.surface, 1);
  EXPECT_TRUE(any({back, 21, back + TextWidth("Back"), 38}, 0x202020));    // enabled
  EXPECT_EQ(view.thumbRect.top, 53 + 50);
}

TEST_F(FrameTest, ProgressPanelPresentedOverTheScreen) {
  Frame screen;
  SurfaceFill(*screen.surface, {0, 0, 640, 480}, 0x123456);
  auto shown = [](int x, int y) { return IdeMemory().lastFrame[static_cast<size_t>(y) * 640 + x]; };
  const int before = IdeMemory().framesPresented;
  PresentCompileProgress(IdeMemoryHost(), *screen.surface, 0);
  ASSERT_EQ(IdeMemory().framesPresented, before + 1);
  EXPECT_EQ(shown(5, 5), 0x123456u);            // the screen around the panel
  EXPECT_EQ(shown(480, 245), IdeColour(0));     // nothing done yet: the bar is cleared
  PresentCompileProgress(IdeMemoryHost(), *screen.surface, 100);
  EXPECT_EQ(shown(480, 245), PictureSlot(30)->pixels[(245 - 220) * 406 + 480 - 117]);  // all done
  PresentProgressStatus(IdeMemoryHost(), "Adding media/a.png...");
  EXPECT_EQ(IdeMemory().framesPresented, before + 3);
  EXPECT_EQ(shown(5, 5), 0x123456u);
  FreeProgressFrame();
  PresentProgressStatus(IdeMemoryHost(), "no panel shown: nothing");
  EXPECT_EQ(IdeMemory().framesPresented, before + 3);
  FreeIdePictures();
  PresentCompileProgress(IdeMemoryHost(), *screen.surface, 50);  // without the pictures: nothing
  EXPECT_EQ(IdeMemory().framesPresented, before + 3);
}
