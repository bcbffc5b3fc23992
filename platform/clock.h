// Clocks: the millisecond clock the runtime paces time slices and frames with, and a
// high-resolution counter for the sound library and benchmarks.
#pragma once
#include <cstdint>

// Milliseconds since an arbitrary start, monotonic; the runtime's slice and frame timer.
uint32_t PlatformMilliseconds();
// Nanoseconds since an arbitrary start, monotonic; for fine timing (mixer, benchmarks).
uint64_t PlatformNanoseconds();
// Sleeps the calling thread for at least ms milliseconds.
void PlatformSleep(uint32_t ms);
