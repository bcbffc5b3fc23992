// The real window under Xvfb: opens the main window on a private X display, draws through
// the draw queue, presents, and reads the shown pixels back from a screenshot of the display.
#include <gtest/gtest.h>

#include <csignal>
#include <dlfcn.h>
#include <poll.h>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/present.h"
#include "platform/window.h"
#include "runtime/command_numbers.h"
#include "tests/graphics2d/g2d_harness.h"
#include "tests/xvfb_harness.h"

extern char** environ;

namespace g2d {
namespace {

class XvfbWindowTest : public DisplayTest {
 protected:
  void SetUp() override {  // the display opens once the X server runs
    KeepGlLibrariesLoaded();
    ASSERT_TRUE(server_.Start(ScreenWidth(), ScreenHeight())) << "Xvfb did not start";
    setenv("DISPLAY", gDisplay.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
  }
  void TearDown() override {
    DisplayTest::TearDown();
    PlatformDestroyMainWindow();
  }
  // The X screen's size: 800x600 unless a test asks for another.
  virtual int ScreenWidth() const { return 800; }
  virtual int ScreenHeight() const { return 600; }
  void ExpectBarsShownAt(int left, int top);
  XServer server_;
};

TEST_F(XvfbWindowTest, DrawnFrameShowsInTheWindowCentredWithBlackBands) {
  // A window the size of the X screen: the 640x480 frame sits in its middle at 80, 60.
  ASSERT_TRUE(PlatformCreateMainWindow("Quorvanel window test", 800, 600));
  ASSERT_FALSE(PlatformIsHeadless());
  OpenDisplay(false);
  Run(kDrawClsColour, {0x0000FF});
  Run(kDrawInk, {0xFF0000, 0});
  Run(kDrawBox, {100, 100, 200, 150});
  // The software pointer is shown by default at 320, 240, over the blue: 118 arrow pixels.
  ResetMousePointer();
  EXPECT_FALSE(PlatformSystemCursorShown());
  constexpr int kArrowPixels = 118;
  Screenshot shot;
  int red = 0, blue = 0, left = 10000, top = 10000, redLeft = 10000, redTop = 10000;
  for (int attempt = 0; attempt < 20 && red != 100 * 50; ++attempt) {
    Frame();
    PlatformMessage message;
    while (PlatformPeekMessage(&message)) {
    }
    usleep(100000);
    ASSERT_TRUE(TakeScreenshot(TempPath("shot.xwd"), &shot));
    red = blue = 0;
    for (int y = 0; y < shot.height; ++y)
      for (int x = 0; x < shot.width; ++x) {
        const uint32_t p = shot.pixels[static_cast<size_t>(y) * shot.width + x];
        if (p == 0x0000FF || p == 0xFF0000) left = std::min(left, x), top = std::min(top, y);
        if (p == 0xFF0000) ++red, redLeft = std::min(redLeft, x), redTop = std::min(redTop, y);
        if (p == 0x0000FF) ++blue;
      }
  }
  EXPECT_EQ(red, 100 * 50);
  EXPECT_EQ(blue, 640 * 480 - 100 * 50 - kArrowPixels);
  // Outline at the tip, fill inside; the back buffer itself keeps the program's picture.
  EXPECT_EQ(shot.pixels[static_cast<size_t>(top + 240) * shot.width + left + 320], 0u);
  // White as the 16-bit display shows it (the low bits of a channel may be lost).
  EXPECT_EQ(shot.pixels[static_cast<size_t>(top + 242) * shot.width + left + 321] & 0xF0F0F0u, 0xF0F0F0u);
  EXPECT_EQ(Pixel(320, 240), 0x0000FFu);
  EXPECT_EQ(redLeft - left, 100);
  EXPECT_EQ(redTop - top, 100);
  int presentedLeft = 0, presentedTop = 0;
  PresentFrameOrigin(&presentedLeft, &presentedTop);
  EXPECT_EQ(presentedLeft, 80);
  EXPECT_EQ(presentedTop, 60);
  // The bands around the frame are black, on every side.
  const int screenLeft = left - presentedLeft, screenTop = top - presentedTop;
  for (auto [x, y] : {std::pair{5, 5}, {75, 300}, {725, 300}, {400, 55}, {400, 545}})
    EXPECT_EQ(shot.pixels[static_cast<size_t>(screenTop + y) * shot.width + screenLeft + x], 0u) << x << "," << y;
  // Hidden, the pointer leaves the frame all blue and red again.
  Run(kMouseHide, {});
  Frame();
  usleep(100000);
  ASSERT_TRUE(TakeScreenshot(TempPath("shot.xwd"), &shot));
  blue = 0;
  for (uint32_t p : shot.pixels) blue += p == 0x0000FF;
  EXPECT_EQ(blue, 640 * 480 - 100 * 50);
}

// Where the frame's pixels must show on the X screen with its top left at (left, top): bars
// along the four edges and a box, drawn in this order over a black screen.
struct FilledRect {
  int x1, y1, x2, y2;
  uint32_t colour;
};
static const FilledRect kEdgeBars[] = {
    {0, 0, 640, 10, 0xFF0000},    {0, 470, 640, 480, 0x00FF00}, {0, 0, 10, 480, 0xFFFFFF},
    {630, 0, 640, 480, 0xFFFFFF}, {20, 20, 200, 40, 0x0000FF},
};

// Pixels of the screenshot that differ from the bars at (left, top) on black; the first one named.
static int Mismatches(const Screenshot& shot, int left, int top, std::string* first) {
  int wrong = 0;
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x) {
      uint32_t expected = 0;
      for (const FilledRect& r : kEdgeBars)
        if (x - left >= r.x1 && x - left < r.x2 && y - top >= r.y1 && y - top < r.y2) expected = r.colour;
      const uint32_t shown = shot.pixels[static_cast<size_t>(y) * shot.width + x];
      // Compared at the 16-bit display's precision: the low bits of a channel may be lost.
      if ((shown & 0xF8FCF8u) != (expected & 0xF8FCF8u) && wrong++ == 0) {
        char text[96];
        std::snprintf(text, sizeof text, "at %d,%d: %06X instead of %06X", x, y, shown, expected);
        *first = text;
      }
    }
  return wrong;
}

// Presents frames until the X screen shows the bars with the frame's top left at (left,
// top), at most 2 seconds: the X server shows a frame a little after it is sent.
void XvfbWindowTest::ExpectBarsShownAt(int left, int top) {
  Screenshot shot;
  std::string first;
  int wrong = -1;
  for (int attempt = 0; attempt < 20 && wrong != 0; ++attempt) {
    Frame();
    PlatformMessage message;
    while (PlatformPeekMessage(&message)) {
    }
    usleep(100000);
    ASSERT_TRUE(TakeScreenshot(TempPath("shot.xwd"), &shot));
    ASSERT_TRUE(shot.width == ScreenWidth() && shot.height == ScreenHeight());
    wrong = Mismatches(shot, left, top, &first);
  }
  EXPECT_EQ(wrong, 0) << first;
}

// The default run is full screen: a 640x480 window switched to full screen on an X screen
// without a window manager, either 800x600 with no 640x480 mode (a desktop-sized window) or
// 640x480 itself (a real mode of the frame's size). The whole frame shows centred with black
// bands, and the pointer's window position is reported at its place in the frame.
class XvfbFullScreenTest : public XvfbWindowTest, public ::testing::WithParamInterface<std::pair<int, int>> {
 protected:
  int ScreenWidth() const override { return GetParam().first; }
  int ScreenHeight() const override { return GetParam().second; }
};

INSTANTIATE_TEST_SUITE_P(Screens, XvfbFullScreenTest, ::testing::Values(std::pair{800, 600}, std::pair{640, 480}),
                         [](const auto& info) {
                           return std::to_string(info.param.first) + "x" + std::to_string(info.param.second);
                         });

TEST_P(XvfbFullScreenTest, ShowsTheWholeFrameCentredAndMapsThePointer) {
  const int centreLeft = (ScreenWidth() - 640) / 2, centreTop = (ScreenHeight() - 480) / 2;
  ASSERT_TRUE(PlatformCreateMainWindow("Quorvanel full-screen test", 640, 480));
  PlatformSetWindowSize(640, 480);
  PlatformSetFullscreen(true);
  OpenDisplay(true);
  Run(kMouseHide, {});
  for (const FilledRect& r : kEdgeBars) {
    Run(kDrawInk, {static_cast<int32_t>(r.colour), 0});
    Run(kDrawBox, {r.x1, r.y1, r.x2, r.y2});
  }
  ExpectBarsShownAt(centreLeft, centreTop);
  int left = 0, top = 0;
  PresentFrameOrigin(&left, &top);
  EXPECT_EQ(left, centreLeft);
  EXPECT_EQ(top, centreTop);

  // The real pointer moved on the screen (to the box's corner, then the frame's last pixel):
  // the window reports it at its place in the frame, the frame's origin taken off.
  for (auto [frameX, frameY] : {std::pair{20, 20}, {639, 479}}) {
    PlatformMovePointerOnScreen(centreLeft + frameX, centreTop + frameY);
    int windowX = -1, windowY = -1;
    for (int attempt = 0; attempt < 20 && windowX < 0; ++attempt) {
      PlatformMessage message;
      while (PlatformPeekMessage(&message))
        if (message.kind == PlatformMessageKind::kMouseMove) windowX = message.a, windowY = message.b;
      if (windowX < 0) usleep(50000);
    }
    EXPECT_EQ(windowX, frameX);
    EXPECT_EQ(windowY, frameY);
  }

  // Back in a window (as the end of a run does): 640x480 centred, the frame filling it.
  PlatformSetFullscreen(false);
  ExpectBarsShownAt(centreLeft, centreTop);
  PresentFrameOrigin(&left, &top);
  EXPECT_EQ(left, 0);
  EXPECT_EQ(top, 0);
}

}  // namespace
}  // namespace g2d
