// A whole BASIC program run by the player and steered by key and mouse events pushed into
// SDL's queue while it runs: its sprite ends where the events sent it, checked on the frame.
// Its force commands find no force-feedback device and only warn, silently: the run goes on.
#include <gtest/gtest.h>

#include "graphics2d/graphics2d.h"
#include "platform/input.h"
#include "platform/surface.h"
#include "tests/commands/steered_program.h"

namespace {

const char* const kSteeredSprite = R"(rem A yellow square that the right key moves right and the mouse moves down.
sync on
sync rate 0
hide mouse
set control device "No Such Wheel"
force up 50
force angle 50, 90, 100
force stop all
force auto center on
perform checklist for control devices
ink rgb(255, 255, 0), 0
box 0, 0, 16, 16
get image 1, 0, 0, 16, 16
cls
x = 100
y = 100
do
  if rightkey() = 1 then x = x + 10
  y = y + mousemovey()
  sprite 1, x, y, 1
  sync
  if x >= 300 then exit
loop
sync
end
)";

// What the frames showed at the square's first and last places, read before each poll (the
// back buffer then holds the frame the last pass presented).
struct Watch {
  int polls = 0;
  uint32_t atStart = 0, atEnd = 0;
  bool startSeenYellow = false;
} gWatch;

uint32_t PixelAt(int x, int y) {
  const Surface* back = BackBuffer();
  return back != nullptr ? back->pixels[static_cast<size_t>(y * back->width + x)] : 0;
}

void PollPushingEvents() {
  // Some frames into the run the user holds the right key and moves the mouse down.
  if (++gWatch.polls == 10) {
    PlatformInjectKey("Right", true);
    PlatformInjectMouseMotion(10, 10, 0, 50);
  }
  gWatch.atStart = PixelAt(108, 108);
  gWatch.atEnd = PixelAt(308, 158);
  gWatch.startSeenYellow = gWatch.startSeenYellow || gWatch.atStart == 0xFFFF00;
}

TEST(InputProgram, InjectedKeyAndMouseEventsMoveTheSprite) {
  const int status = RunSteeredProgram(kSteeredSprite, PollPushingEvents);
  EXPECT_EQ(status, 0) << "error " << RuntimeErrorNumber();
  EXPECT_TRUE(gWatch.startSeenYellow) << "the square was never drawn at its first place";
  EXPECT_EQ(gWatch.atEnd, 0xFFFF00u) << "the square is not where the events sent it";
  EXPECT_EQ(gWatch.atStart, 0u) << "the square's first place was not cleared";
}

}  // namespace
