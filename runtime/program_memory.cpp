// The memory a program's arrays and texts hold, counted against one limit, so that a program
// asking for too much ends with error 101 instead of being killed by the system.
#include <cstdlib>

#include "platform/system_info.h"
#include "runtime/runtime_local.h"

// The count lives for the process; the limit is chosen again at every program load (the
// machine's free memory changes).
ProgramMemoryCount ProgramMemory = {0, kProgramMemoryLimit};
static size_t gLimitForTests = 0;  // replaces the chosen limit while not 0

size_t ProgramMemoryInUse() { return ProgramMemory.inUse; }

void SetProgramMemoryLimitForTests(size_t bytes) {
  gLimitForTests = bytes;
  ChooseProgramMemoryLimit();
}

// Half of the headroom: the other half is for images, sounds and the libraries.
void ChooseProgramMemoryLimit() {
  if (gLimitForTests != 0) {
    ProgramMemory.limit = gLimitForTests;
    return;
  }
  if (const char* given = std::getenv("QV_MEMORY_LIMIT")) {
    char* end = nullptr;
    const unsigned long long mebibytes = std::strtoull(given, &end, 10);
    if (end != given && *end == 0 && mebibytes > 0 && mebibytes < (uint64_t{1} << 40)) {
      ProgramMemory.limit = static_cast<size_t>(mebibytes) << 20;
      return;
    }
  }
  uint64_t headroom = 0;
  ProgramMemory.limit = kProgramMemoryLimit;
  if (PlatformMemoryHeadroom(&headroom) && headroom / 2 < ProgramMemory.limit)
    ProgramMemory.limit = static_cast<size_t>(headroom / 2);
}

void RaiseOutOfMemory(bool overLimit) {
  if (!overLimit) return RuntimeError(101);
  RuntimeErrorSaying(101, "Arrays and strings may hold " + std::to_string(ProgramMemory.limit >> 20) + " MiB together");
}
