// Threads for the sound library: start a routine on its own thread with a best-effort
// priority, and a cooperative stop (the routine watches its own flag; we only wait and join).
#pragma once
#include <cstdint>

struct PlatformThread;

// Priority codes: -1 below normal, 0 normal, 1 highest, 2 time critical (best effort only).
// Called by the sound library when it starts its mixer; null when the thread cannot start.
PlatformThread* PlatformStartThread(void (*routine)(void*), void* argument, int priorityCode);
// Waits up to timeoutMs for the routine to return, then joins and frees the thread and returns
// true; false (thread left running and still owned by the caller) when it has not returned.
bool PlatformJoinThread(PlatformThread* thread, uint32_t timeoutMs);
// Joins without a time limit and frees the thread; for a caller whose stop flag is already set.
void PlatformJoinThreadForever(PlatformThread* thread);
// A number naming the calling thread, stable while the thread lives.
uint64_t PlatformCurrentThreadId();
