// The clocks are monotonic and a sleep is at least as long as asked.
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(Clock, SleepAdvancesBothClocks) {
  uint32_t ms0 = PlatformMilliseconds();
  uint64_t ns0 = PlatformNanoseconds();
  PlatformSleep(5);
  EXPECT_GE(PlatformMilliseconds() - ms0, 5u);
  EXPECT_GE(PlatformNanoseconds() - ns0, 5'000'000u);
}

// ctest gives every test a headless environment, however it was started.
TEST(TestEnvironment, RunsHeadless) {
  ASSERT_NE(std::getenv("SDL_VIDEODRIVER"), nullptr);
  ASSERT_NE(std::getenv("SDL_AUDIODRIVER"), nullptr);
}
