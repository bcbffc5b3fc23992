// std::thread behind the small thread interface of thread.h; the priority is a nice value set
// per thread and silently ignored when the system refuses it (no privileges).
#include "platform/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

struct PlatformThread {
  std::thread thread;
  std::atomic<bool> returned{false};  // set by the thread as its last act
  void (*routine)(void*) = nullptr;
  void* argument = nullptr;
  int priorityCode = 0;
};

// Maps the priority codes to nice values; lower is more urgent.
static int NiceForPriority(int priorityCode) {
  switch (priorityCode) {
    case -1: return 5;
    case 1: return -5;
    case 2: return -10;
    default: return 0;
  }
}

static void RunThread(PlatformThread* t) {
  int niceValue = NiceForPriority(t->priorityCode);
  if (niceValue != 0) {
    // Best effort: without the right to raise priority the thread simply runs at normal.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), niceValue);
  }
  t->routine(t->argument);
  t->returned.store(true, std::memory_order_release);
}

PlatformThread* PlatformStartThread(void (*routine)(void*), void* argument, int priorityCode) {
  if (!routine) return nullptr;
  auto* t = new PlatformThread;
  t->routine = routine;
  t->argument = argument;
  t->priorityCode = priorityCode;
  try {
    t->thread = std::thread(RunThread, t);
  } catch (...) {  // std::system_error when the system has no thread left to give
    delete t;
    return nullptr;
  }
  return t;
}

bool PlatformJoinThread(PlatformThread* thread, uint32_t timeoutMs) {
  if (!thread) return true;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!thread->returned.load(std::memory_order_acquire)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  thread->thread.join();
  delete thread;
  return true;
}

void PlatformJoinThreadForever(PlatformThread* thread) {
  if (!thread) return;
  thread->thread.join();
  delete thread;
}

uint64_t PlatformCurrentThreadId() { return static_cast<uint64_t>(syscall(SYS_gettid)); }
