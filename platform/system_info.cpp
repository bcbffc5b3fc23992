// Free memory and swap from /proc/meminfo, with sysinfo when that cannot be read.
#include "platform/system_info.h"

#include <sys/sysinfo.h>

#include <cstdio>
#include <cstring>

bool PlatformFreeMemory(uint64_t* memory, uint64_t* swap) {
  if (FILE* file = std::fopen("/proc/meminfo", "re")) {
    char line[256];
    bool haveMemory = false, haveSwap = false;
    while (std::fgets(line, sizeof(line), file) != nullptr) {
      unsigned long long kb = 0;
      if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) *memory = kb * 1024, haveMemory = true;
      if (std::sscanf(line, "SwapFree: %llu kB", &kb) == 1) *swap = kb * 1024, haveSwap = true;
    }
    std::fclose(file);
    if (haveMemory && haveSwap) return true;
  }
  struct sysinfo info;
  if (sysinfo(&info) != 0) return false;
  *memory = (static_cast<uint64_t>(info.freeram) + info.bufferram) * info.mem_unit;
  *swap = static_cast<uint64_t>(info.freeswap) * info.mem_unit;
  return true;
}
