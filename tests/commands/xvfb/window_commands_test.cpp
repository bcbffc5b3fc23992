// The window commands on the real SDL window under Xvfb: title, place, size, showing and the
// frame as the X server reports them back.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <cstdio>
#include <unistd.h>

#include "commands/commands.h"
#include "platform/window.h"
#include "runtime/command_numbers.h"
#include "tests/asm/command_call.h"
#include "tests/xvfb_harness.h"

namespace {

class XvfbWindowCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start(800, 600)) << "Xvfb did not start";
    setenv("DISPLAY", gDisplay.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    ASSERT_TRUE(PlatformCreateMainWindow("window commands", 640, 480));
    ASSERT_FALSE(PlatformIsHeadless());
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterSystemCommands());
  }
  void TearDown() override {
    ClearCommandRegistry();
    PlatformDestroyMainWindow();
  }
  // Lets the X server answer: the window's own events are taken until the place settles.
  void Settle() {
    for (int i = 0; i < 10; ++i) {
      PlatformMessage message;
      while (PlatformPeekMessage(&message)) {
      }
      usleep(20000);
    }
  }
  void ExpectPlace(int x, int y, int width, int height) {
    int ax = 0, ay = 0, aw = 0, ah = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {  // 20 s at most, for a loaded machine
      Settle();
      PlatformGetWindowPlace(&ax, &ay, &aw, &ah);
      if (ax == x && ay == y && aw == width && ah == height) break;
    }
    EXPECT_EQ(ax, x);
    EXPECT_EQ(ay, y);
    EXPECT_EQ(aw, width);
    EXPECT_EQ(ah, height);
  }
  XServer server_;
  qvasm::CommandCaller calls;
};

TEST_F(XvfbWindowCommandsTest, TitlePlaceSizeShowingAndFrame) {
  calls.Run(kWindowTitle, {"Caf\xc3\xa9 game"});
  EXPECT_STREQ(PlatformWindowTitle(), "Caf\xc3\xa9 game");
  calls.Run(kWindowPosition, {30, 40});
  calls.Run(kWindowSize, {320, 200});
  ExpectPlace(30, 40, 320, 200);
  calls.Run(kWindowHide, {});
  Settle();
  EXPECT_FALSE(PlatformWindowShown());
  calls.Run(kWindowShow, {});
  Settle();
  EXPECT_TRUE(PlatformWindowShown());
  calls.Run(kWindowLayout, {0, 0, 0});
  EXPECT_FALSE(PlatformWindowBordered());
  calls.Run(kWindowLayout, {0, 1, 0});  // a caption brings the frame back
  EXPECT_TRUE(PlatformWindowBordered());
  calls.Run(kWindowOff, {});
  EXPECT_FALSE(PlatformWindowBordered());
  // Into a framed window of the display's size at 4, 23.
  calls.Run(kWindowOn, {});
  EXPECT_TRUE(PlatformWindowBordered());
  ExpectPlace(4, 23, 640, 480);
  EXPECT_EQ(calls.TakeError(), 0);
}

// Under a window manager (openbox, Debian's light one) maximise makes the window as large as
// the screen lets it be; without one the window keeps its size.
TEST_F(XvfbWindowCommandsTest, MaximiseUnderAWindowManagerFillsTheScreen) {
  // openbox runs its start-up command once it manages the screen: that file says it is ready.
  const std::string ready = "/tmp/qv-openbox-ready-" + std::to_string(getpid());
  std::remove(ready.c_str());
  pid_t manager = -1;
  const std::string display = "DISPLAY=" + gDisplay, startup = "touch " + ready;
  const char* argv[] = {"openbox", "--startup", startup.c_str(), nullptr};
  char* envp[] = {const_cast<char*>(display.c_str()), nullptr};
  if (posix_spawnp(&manager, "openbox", nullptr, nullptr, const_cast<char**>(argv), envp) != 0)
    GTEST_SKIP() << "openbox is not installed";
  for (int waited = 0; waited < 200 && access(ready.c_str(), F_OK) != 0; ++waited) usleep(100000);
  EXPECT_EQ(access(ready.c_str(), F_OK), 0) << "openbox did not start";
  // A window made now is managed from its start.
  PlatformDestroyMainWindow();
  ASSERT_TRUE(PlatformCreateMainWindow("window commands", 640, 480));
  Settle();
  calls.Run(kWindowMaximise, {});
  int x = 0, y = 0, width = 0, height = 0;
  for (int attempt = 0; attempt < 150 && width <= 640; ++attempt) {  // 30 s at most
    Settle();
    PlatformGetWindowPlace(&x, &y, &width, &height);
  }
  EXPECT_GT(width, 700);
  EXPECT_GT(height, 500);
  EXPECT_EQ(calls.TakeError(), 0);
  kill(manager, SIGTERM);
  waitpid(manager, nullptr, 0);
  std::remove(ready.c_str());
}

}  // namespace
