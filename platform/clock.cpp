// Monotonic clocks over std::chrono; no SDL needed, so the stand-alone libraries can use them
// before any window exists.
#include "platform/clock.h"

#include <chrono>
#include <thread>

static const auto kProcessStart = std::chrono::steady_clock::now();

uint32_t PlatformMilliseconds() {
  auto elapsed = std::chrono::steady_clock::now() - kProcessStart;
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

uint64_t PlatformNanoseconds() {
  auto elapsed = std::chrono::steady_clock::now() - kProcessStart;
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count());
}

void PlatformSleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
