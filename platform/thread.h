// Threads for the sound library: start a routine on its own thread with a best-effort
// priority, and a cooperative stop (the routine watches its own flag; we only wait and join).
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

struct PlatformThread;

// Priority codes: -1 below normal, 0 normal, 1 highest, 2 time critical (best effort only).
// Called by the sound library when it starts its mixer; null when the thread cannot start.
PlatformThread* PlatformStartThread(void (*routine)(void*), void* argument, int priorityCode);
// Waits up to timeoutMs for the routine to return, then joins and frees the thread and returns
// true; false (thread left running and still owned by the caller) when it has not returned.
bool PlatformJoinThread(PlatformThread* thread, uint32_t timeoutMs);
// Joins without a time limit and frees the thread; for a caller whose stop flag is already set.
void PlatformJoinThreadForever(PlatformThread* thread);
// The stop of a thread that loops with a pause between rounds: a stop ends the pause at once,
// so joining the thread never waits out a pause (a game's exit stays short).
class PlatformStopSignal {
 public:
  void Reset() { stop_.store(false, std::memory_order_release); }
  bool Stopped() const { return stop_.load(std::memory_order_acquire); }
  void Stop() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      stop_.store(true, std::memory_order_release);
    }
    wake_.notify_all();
  }
  // Waits the milliseconds or until a stop; true while not stopped.
  bool Pause(uint32_t ms) {
    std::unique_lock<std::mutex> guard(lock_);
    return !wake_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return Stopped(); });
  }

 private:
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::condition_variable wake_;
};

// A number naming the calling thread, stable while the thread lives.
uint64_t PlatformCurrentThreadId();
