// The mouse of a window-mode display (WINDOWMODE=1: a window the desktop's size, the picture in
// its middle) under Xvfb, with the real pointer moved on the screen: the position reads at its
// place on the picture, and outside the picture as it is (below 0, past the edge).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "commands/input_local.h"
#include "graphics2d/graphics2d.h"
#include "platform/window.h"
#include "tests/xvfb_harness.h"

namespace {

TEST(XvfbPointer, AWindowModeDisplayReadsThePointerOnItsPicture) {
  XServer server;
  ASSERT_TRUE(server.Start(1024, 768)) << "Xvfb did not start";
  setenv("DISPLAY", gDisplay.c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
  ASSERT_TRUE(PlatformCreateMainWindow("pointer", 640, 480));
  PlatformSetWindowSize(1024, 768);  // as the player does in window mode
  RegisterGraphics2DPools();
  ASSERT_TRUE(CreateRecordPools());
  ASSERT_TRUE(InitDisplay(false, true, false));
  ASSERT_TRUE(DisplayWindowMode());
  SetDisplayActive(true);
  ASSERT_TRUE(InitDirectInput());
  const struct {
    int screenX, screenY, x, y;
  } kPoints[] = {{192 + 140, 144 + 140, 140, 140}, {192, 144, 0, 0}, {192 + 639, 144 + 479, 639, 479}, {10, 700, -182, 556}};
  for (const auto& point : kPoints) {
    SCOPED_TRACE(::testing::Message() << point.x << "," << point.y);
    PlatformMovePointerOnScreen(point.screenX, point.screenY);
    // Frames and polls until the motion has come: at most 20 s, for a loaded machine.
    for (int attempt = 0; attempt < 400 && (Mouse().x != point.x || Mouse().y != point.y); ++attempt) {
      PresentFrame();
      PlatformMessage message;
      while (PlatformPeekMessage(&message)) {
      }
      PollInput();
      usleep(50000);
    }
    EXPECT_EQ(Mouse().x, point.x);
    EXPECT_EQ(Mouse().y, point.y);
  }
  CloseDirectInput();
  ReleaseDisplay(false);
  FreeRecordPools();
  PlatformDestroyMainWindow();
}

}  // namespace
