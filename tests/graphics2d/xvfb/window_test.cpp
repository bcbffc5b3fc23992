// The real window under Xvfb: opens the main window on a private X display, draws through
// the draw queue, presents, and reads the shown pixels back from a screenshot of the display.
#include <gtest/gtest.h>

#include <csignal>
#include <dlfcn.h>
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

extern char** environ;

namespace g2d {
namespace {

// The X display the test uses: the first free number from 97 (another run may hold one).
static std::string gDisplay = ":97";

// The Xvfb server this test starts and stops (by its process id).
struct XServer {
  pid_t pid = -1;
  bool Start() {
    for (int number = 97; number < 140; ++number) {
      const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
      const std::string taken = "/tmp/.X11-unix/X" + std::to_string(number);
      if (access(lock.c_str(), F_OK) != 0 && access(taken.c_str(), F_OK) != 0) {
        gDisplay = ":" + std::to_string(number);
        break;
      }
    }
    const char* argv[] = {"Xvfb", gDisplay.c_str(), "-screen", "0", "800x600x24", "-nolisten", "tcp", nullptr};
    if (posix_spawnp(&pid, "Xvfb", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return false;
    const std::string socket = "/tmp/.X11-unix/X" + gDisplay.substr(1);
    for (int i = 0; i < 100; ++i) {
      if (access(socket.c_str(), F_OK) == 0) return true;
      usleep(50000);
    }
    return false;
  }
  ~XServer() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

// A screenshot of the X root window as 0xRRGGBB pixels, read from xwd's output.
struct Screenshot {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

static uint32_t BigEndian32(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

static int Shift(uint32_t mask) {
  int shift = 0;
  while (mask != 0 && (mask & 1) == 0) mask >>= 1, ++shift;
  return shift;
}

static bool TakeScreenshot(const std::string& path, Screenshot* shot) {
  const std::string command = "xwd -root -silent -display " + gDisplay + " > " + path;
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() < 100) return false;
  const uint32_t headerSize = BigEndian32(b, 0), byteOrder = BigEndian32(b, 28), bitsPerPixel = BigEndian32(b, 44);
  const uint32_t bytesPerLine = BigEndian32(b, 48), redMask = BigEndian32(b, 56), greenMask = BigEndian32(b, 60);
  const uint32_t blueMask = BigEndian32(b, 64), colours = BigEndian32(b, 76);
  shot->width = static_cast<int>(BigEndian32(b, 16));
  shot->height = static_cast<int>(BigEndian32(b, 20));
  const size_t start = headerSize + static_cast<size_t>(colours) * 12;
  if ((bitsPerPixel != 32 && bitsPerPixel != 24) || start + static_cast<size_t>(bytesPerLine) * shot->height > b.size()) {
    std::fprintf(stderr, "unexpected screenshot layout in %s: %u bits, %u colours, %zu bytes\n", path.c_str(), bitsPerPixel, colours, b.size());
    return false;
  }
  shot->pixels.resize(static_cast<size_t>(shot->width) * shot->height);
  for (int y = 0; y < shot->height; ++y)
    for (int x = 0; x < shot->width; ++x) {
      const size_t bytes = bitsPerPixel / 8;
      const size_t at = start + static_cast<size_t>(y) * bytesPerLine + static_cast<size_t>(x) * bytes;
      uint32_t v = 0;
      for (size_t k = 0; k < bytes; ++k)
        v |= uint32_t{b[at + k]} << (8 * (byteOrder == 0 ? k : bytes - 1 - k));
      shot->pixels[static_cast<size_t>(y) * shot->width + x] = (((v & redMask) >> Shift(redMask)) << 16) |
                                                               (((v & greenMask) >> Shift(greenMask)) << 8) |
                                                               ((v & blueMask) >> Shift(blueMask));
    }
  return true;
}

class XvfbWindowTest : public DisplayTest {
 protected:
  void SetUp() override {}  // the display opens once the X server runs
};

TEST_F(XvfbWindowTest, DrawnFrameShowsInTheWindowCentredWithBlackBands) {
  // SDL loads the GL libraries at run time (to choose the window's visual) and unloads them
  // when video stops; kept loaded, their process-lifetime caches stay attributable to them
  // (the leak suppressions name them) instead of an unknown module.
  for (const char* library : {"libGL.so.1", "libGLX_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"})
    dlopen(library, RTLD_NOW | RTLD_NODELETE);
  XServer server;
  ASSERT_TRUE(server.Start()) << "Xvfb did not start";
  setenv("DISPLAY", gDisplay.c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
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
  ReleaseDisplay(false);
  PlatformDestroyMainWindow();
}

}  // namespace
}  // namespace g2d
