// Display-mode changes and the screen queries, the screen save, the software mouse pointer
// and the typed line INPUT shows (op 110).
#include <filesystem>
#include <fstream>
#include <iterator>

#include "graphics2d/graphics2d_local.h"
#include "graphics2d/image_files.h"
#include "platform/window.h"
#include "runtime/builtins.h"
#include "runtime/command_numbers.h"
#include "tests/graphics2d/g2d_harness.h"

namespace g2d {
namespace {

class DisplayModeTest : public DisplayTest {
 protected:
  void TearDown() override {
    Hooks.RestoreScene3DAfterReset = [] {};
    DisplayTest::TearDown();
  }
  int ScreenQuery(int command) { return Run(command, {Result{}}); }
};

static int gSceneRestores = 0;

TEST_F(DisplayModeTest, ModeQueriesAnswerFromTheModeList) {
  struct Case {
    int width, height, depth, available;
  } cases[] = {{640, 480, 16, 1}, {800, 600, 32, 1}, {1024, 768, 16, 1}, {641, 480, 32, 0}, {640, 480, 24, 0},
               {0, 0, 16, 0},     {-640, 480, 16, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(Run(kDisplayModeExists, {Result{}, c.width, c.height, c.depth}), c.available)
        << c.width << "x" << c.height << "x" << c.depth;
  EXPECT_EQ(ScreenQuery(kScreenWidth), 640);
  EXPECT_EQ(ScreenQuery(kScreenHeight), 480);
  EXPECT_EQ(ScreenQuery(kScreenDepth), 16);
  EXPECT_EQ(ScreenQuery(kScreenFps), 0);  // no second has passed yet
  // The display start marks the screen invalid once.
  EXPECT_EQ(ScreenQuery(kScreenInvalid), 1);
  EXPECT_EQ(ScreenQuery(kScreenInvalid), 0);
}

TEST_F(DisplayModeTest, ModeChangeMakesANewScreenAndKeepsImagesSpritesAndBitmaps) {
  gSceneRestores = 0;
  Hooks.RestoreScene3DAfterReset = [] { ++gSceneRestores; };
  Run(kDrawInk, {0xFFFFFF, 0x0000FF});
  Run(kDrawBox, {0, 0, 8, 8});
  Frame();
  Run(kImageGet, {1, 0, 0, 8, 8});
  Run(kSprite, {1, 50, 50, 1});
  Run(kBitmapCreate, {1, 32, 32});  // the drawing bitmap becomes 1
  Frame();
  ASSERT_EQ(TakeError(), 0);
  Run(kDrawDot, {1, 1});  // queued for the old display: dropped by the change
  ScreenQuery(kScreenInvalid);
  Run(kDisplaySetMode, {800, 600, 32});
  ASSERT_EQ(TakeError(), 0);
  EXPECT_EQ(gSceneRestores, 1);
  EXPECT_EQ(DrawQueueCount(), 0);
  ASSERT_NE(BackBuffer(), nullptr);
  EXPECT_EQ(BackBuffer()->width, 800);
  EXPECT_EQ(BackBuffer()->height, 600);
  EXPECT_EQ(Pixel(0, 0), 0x0000FFu);  // cleared with the paper colour
  EXPECT_EQ(ScreenQuery(kScreenWidth), 800);
  EXPECT_EQ(ScreenQuery(kScreenHeight), 600);
  EXPECT_EQ(ScreenQuery(kScreenDepth), 32);
  EXPECT_EQ(ScreenQuery(kScreenInvalid), 1);
  EXPECT_EQ(ScreenQuery(kScreenInvalid), 0);
  // Bitmap 0 describes the new screen; bitmap 1 and the image stay; drawing goes to the screen.
  EXPECT_EQ(BitmapSlot(0).surface, BackBuffer());
  EXPECT_EQ(BitmapSlot(0).width, 800);
  ASSERT_NE(BitmapSlot(1).surface, nullptr);
  EXPECT_EQ(BitmapSlot(1).surface->pixels[1 * 32 + 1], 0u);
  EXPECT_GE(ImageIndexForNumber(1), 0);
  EXPECT_EQ(Run(kSpriteExist, {Result{}, 1}), 1);
  Run(kDrawDot, {790, 590});
  Frame();
  EXPECT_EQ(Pixel(790, 590), 0xFFFFFFu);
  EXPECT_EQ(Pixel(50, 50), 0xFFFFFFu);  // the sprite, drawn on the new screen
  EXPECT_EQ(TakeError(), 0);
  // The next display start is 640x480 at depth 16 again, whatever the last run left.
  ReleaseDisplay(false);
  ASSERT_TRUE(InitDisplay(false, false, false));
  EXPECT_EQ(BackBuffer()->width, 640);
  EXPECT_EQ(ScreenDepth(), 16);
}

// A display whose back buffer cannot be made does not open: error 10005, the engine's text.
TEST_F(DisplayModeTest, ADisplayWithoutItsSurfacesIsError10005) {
  ReleaseDisplay(false);
  struct LimitGuard {
    ~LimitGuard() { SurfaceSetMemoryLimit(0); }
  } restore;
  SurfaceSetMemoryLimit(SurfaceMemoryInUse() + 1024);
  EXPECT_FALSE(InitDisplay(false, false, false));
  EXPECT_EQ(TakeError(), 10005);
  EXPECT_NE(std::string(LastEngineError()).find("BackBuffer"), std::string::npos);
  SurfaceSetMemoryLimit(0);
  ASSERT_TRUE(InitDisplay(false, false, false));
}

TEST_F(DisplayModeTest, AModeTheDisplayCannotTakeLeavesTheOldOneWithWarning1503) {
  gSceneRestores = 0;
  Hooks.RestoreScene3DAfterReset = [] { ++gSceneRestores; };
  Run(kDrawDot, {2, 2});
  Surface* before = BackBuffer();
  for (auto [width, height, depth] : {std::tuple{801, 600, 32}, {800, 600, 24}, {0, 0, 16}, {100000, 100000, 32}}) {
    EXPECT_EQ(RunForError(kDisplaySetMode, {width, height, depth}), 1503) << width << "x" << height << "x" << depth;
    EXPECT_EQ(BackBuffer(), before);
    EXPECT_EQ(ScreenWidth(), 640);
    EXPECT_EQ(ScreenDepth(), 16);
  }
  EXPECT_NE(std::string(LastEngineError()).find("Could not set a display mode of 100000x100000x32"), std::string::npos);
  EXPECT_EQ(gSceneRestores, 0);
  EXPECT_EQ(DrawQueueCount(), 1);  // nothing was dropped
}

TEST_F(DisplayModeTest, AWindowTakesAnySizeButOnlyDepths16And32) {
  ReleaseDisplay(false);
  ASSERT_TRUE(InitDisplay(false, true, false));
  EXPECT_EQ(Run(kDisplayModeExists, {Result{}, 700, 500, 32}), 1);
  EXPECT_EQ(Run(kDisplayModeExists, {Result{}, 700, 500, 8}), 0);
  EXPECT_EQ(RunForError(kDisplaySetMode, {700, 500, 32}), 0);
  EXPECT_EQ(BackBuffer()->width, 700);
  EXPECT_EQ(RunForError(kDisplaySetMode, {700, 500, 8}), 1503);
}

TEST_F(DisplayModeTest, ScreenSaveWritesTheBackBufferByExtension) {
  Run(kDrawInk, {0x00FF00, 0});
  Run(kDrawBox, {10, 10, 20, 20});
  Frame();
  for (const char* name : {"shot.png", "shot.bmp", "shot.tga"}) {
    SaveScreenToFile(TempPath(name).c_str());
    ASSERT_EQ(TakeError(), 0) << name;
    std::string why;
    Surface* saved = LoadImageFile(TempPath(name).c_str(), &why);
    ASSERT_NE(saved, nullptr) << name << ": " << why;
    EXPECT_EQ(saved->pixels, BackBuffer()->pixels) << name;
    SurfaceDestroy(saved);
  }
  // No writer for the extension, or no folder to write to: error 1004, and a file already
  // there under that name is left as it was.
  std::ofstream(TempPath("shot.tif"), std::ios::binary) << "the user's picture";
  SaveScreenToFile(TempPath("shot.tif").c_str());
  EXPECT_EQ(TakeError(), 1004);
  std::ifstream kept(TempPath("shot.tif"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "the user's picture");
  SaveScreenToFile(TempPath("missing/shot.png").c_str());
  EXPECT_EQ(TakeError(), 1004);
}

// The pointer goes over the presented frame only; these read it between draw and removal.
TEST_F(DisplayModeTest, PointerIsDrawnAtTheMouseClippedAndRemovedAfterPresenting) {
  ResetMousePointer();
  const PixelVector before = BackBuffer()->pixels;
  struct Case {
    int x, y;
    bool tipOnScreen;
  } cases[] = {{320, 240, true}, {635, 475, true}, {-5, -5, false}, {700, 100, false}};
  for (const Case& c : cases) {
    Mouse().x = c.x;
    Mouse().y = c.y;
    UpdateMousePointer();
    ASSERT_TRUE(DrawMousePointer(*BackBuffer()));
    if (c.tipOnScreen) {
      EXPECT_EQ(Pixel(c.x, c.y), 0u);
      EXPECT_EQ(Pixel(c.x + 1, std::min(c.y + 2, 479)), c.y + 2 <= 479 ? 0xFFFFFFu : 0u);
    }
    RemoveMousePointer(*BackBuffer());
    EXPECT_EQ(BackBuffer()->pixels, before) << c.x << "," << c.y;
  }
  Mouse().x = 320;
  Mouse().y = 240;
  UpdateMousePointer();
  Run(kDrawClsColour, {0x0000FF});
  Frame();  // replays the clear, then presents with the pointer over the frame
  for (auto [x, y] : {std::pair{320, 240}, {321, 242}, {330, 250}}) EXPECT_EQ(Pixel(x, y), 0x0000FFu) << x << "," << y;
}

TEST_F(DisplayModeTest, PointerHiddenOrInAWindowLeavesTheFrameToTheSystemCursor) {
  struct Case {
    bool windowMode, shown, drawn, systemCursor;
  } cases[] = {{false, true, true, false}, {false, false, false, false}, {true, true, false, true}, {true, false, false, false}};
  for (const Case& c : cases) {
    ReleaseDisplay(false);
    ASSERT_TRUE(InitDisplay(false, c.windowMode, false));
    ResetMousePointer();
    Run(c.shown ? kMouseShow : kMouseHide, {});
    EXPECT_EQ(MousePointerShown(), c.shown);
    EXPECT_EQ(DrawMousePointer(*BackBuffer()), c.drawn) << c.windowMode << c.shown;
    RemoveMousePointer(*BackBuffer());
    EXPECT_EQ(PlatformSystemCursorShown(), c.systemCursor) << c.windowMode << c.shown;
  }
}

// White ink pixels in the columns [from, to) of the first text line.
static int InkPixelsInColumns(const Surface& back, int from, int to) {
  int count = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = from; x < to; ++x) count += back.pixels[static_cast<size_t>(y) * back.width + x] == 0xFFFFFFu;
  return count;
}

TEST_F(DisplayModeTest, TypedLineShowsWithABarAndAShorterLineLeavesNothingBehind) {
  Run(kDrawInk, {0xFFFFFF, 0x0000FF});
  Frame();
  ShowInputText("WWWWWW", false);
  ShowInputText("WWWWWW", false);  // unchanged: no new record
  EXPECT_EQ(DrawQueueCount(), 1);
  Frame();
  EXPECT_GT(InkPixelsInColumns(*BackBuffer(), 30, 60), 0);
  EXPECT_EQ(Pixel(1, 1), 0x0000FFu);  // opaque: the paper behind the text
  ShowInputText("W", false);
  Frame();
  EXPECT_EQ(InkPixelsInColumns(*BackBuffer(), 30, 100), 0);
  const int withBar = InkPixelsInColumns(*BackBuffer(), 0, 30);
  ShowInputText("W", true);  // the whole line: the bar goes
  Frame();
  EXPECT_GT(InkPixelsInColumns(*BackBuffer(), 0, 30), 0);
  EXPECT_LT(InkPixelsInColumns(*BackBuffer(), 0, 30), withBar);
  EXPECT_EQ(DrawQueueCount(), 0);
  // A typed line at a cursor far out draws nothing and does not overflow the cleared area.
  Run(kTextSetCursor, {0x7FFFFFF0, 0x7FFFFFF0});
  ShowInputText("abc", false);
  Frame();
  EXPECT_EQ(TakeError(), 0);
}

// The INPUT command hands the line over as it is typed (backspaces applied), then once whole.
static std::vector<std::pair<std::string, bool>> gShownLines;

TEST_F(DisplayModeTest, InputShowsTheLineWhileItIsTypedThenPrintsIt) {
  ASSERT_TRUE(RegisterCoreBuiltins());
  void (*previousHook)(const char*, bool) = InputTextHook;
  gShownLines.clear();
  InputTextHook = [](const char* typed, bool finished) {
    gShownLines.emplace_back(typed, finished);
    ShowInputText(typed, finished);
  };
  VariableSlot* prompt = &VariableTable[kFirstTextTemp];
  VariableSlot* target = &VariableTable[kFirstTextTemp + 1];
  prompt->asText = CopyText("? ");
  CodeCell cells[] = {kInputText, reinterpret_cast<CodeCell>(prompt), reinterpret_cast<CodeCell>(target), 0};
  const auto runInput = [&cells] {
    OperandPointer = cells + 1;
    HandlerForCommand(kInputText)();
  };
  runInput();
  EXPECT_EQ(OperandPointer, cells);  // waiting: the command runs again on the next slice
  for (int character : {int{'h'}, int{'i'}, 8, int{'o'}}) AppendTypedCharacter(character);
  runInput();
  runInput();  // nothing new typed: shown again, queued only once
  AppendTypedCharacter(13);
  runInput();
  EXPECT_EQ(OperandPointer, cells + 3);
  EXPECT_STREQ(target->asText, "ho");
  const std::vector<std::pair<std::string, bool>> expected = {{"", false}, {"ho", false}, {"ho", false}, {"ho", true}};
  EXPECT_EQ(gShownLines, expected);
  // Records: the bar alone, "ho" with the bar, the whole line; the prompt and line print through
  // the print hook, which this test leaves empty.
  EXPECT_EQ(DrawQueueCount(), 3);
  Frame();
  EXPECT_EQ(TakeError(), 0);
  InputTextHook = previousHook;
}

}  // namespace
}  // namespace g2d


namespace g2d {
namespace {

// The environment's pointer words: shape 4 adds the text bar (and removal puts back what was
// under it), shape 5 hides the pointer, and a display stage above 1 parks it off the screen.
TEST_F(DisplayModeTest, PointerShapesAndTheEnvironmentsDisplayStage) {
  ResetMousePointer();
  const PixelVector before = BackBuffer()->pixels;
  Mouse().x = 100;
  Mouse().y = 100;
  UpdateMousePointer();
  SetMousePointerShape(4);
  SetTextBarPosition(300, 200);
  ASSERT_TRUE(DrawMousePointer(*BackBuffer()));
  EXPECT_EQ(Pixel(300, 200), 0xFFFFFFu);
  EXPECT_EQ(Pixel(300, 212), 0xFFFFFFu);
  EXPECT_EQ(Pixel(300, 213), before[213 * 640 + 300]);
  SetTextBarPosition(10, 10);  // moved after drawing: the old place is restored
  RemoveMousePointer(*BackBuffer());
  EXPECT_EQ(BackBuffer()->pixels, before);
  SetMousePointerShape(5);
  EXPECT_FALSE(DrawMousePointer(*BackBuffer()));
  SetMousePointerShape(9);  // out of range: unchanged
  EXPECT_EQ(MousePointerShape(), 5);
  SetMousePointerShape(1);
  SetDisplayStage(2);
  UpdateMousePointer();
  ASSERT_TRUE(DrawMousePointer(*BackBuffer()));
  EXPECT_EQ(BackBuffer()->pixels, before);  // drawn off the screen
  RemoveMousePointer(*BackBuffer());
  SetDisplayStage(0);
  ResetMousePointer();
}

}  // namespace
}  // namespace g2d
