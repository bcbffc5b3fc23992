// Free memory and swap from /proc/meminfo, with sysinfo when that cannot be read; the memory
// this process may still take under its cgroup's limit and its address-space limit.
#include "platform/system_info.h"

#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

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

// One number from a file of the kernel's (a cgroup's limit or use); false when the file is
// missing or holds no number ("max": no limit).
static bool ReadNumberFile(const std::string& path, uint64_t* value) {
  FILE* file = std::fopen(path.c_str(), "re");
  if (file == nullptr) return false;
  unsigned long long number = 0;
  const bool read = std::fscanf(file, "%llu", &number) == 1;
  std::fclose(file);
  *value = number;
  return read;
}

// What the memory limit of this process's cgroup leaves (cgroup v2, else v1). A container
// often sees its own cgroup at the root of the hierarchy, so that is tried after the path.
static bool CgroupMemoryLeft(uint64_t* left) {
  FILE* file = std::fopen("/proc/self/cgroup", "re");
  if (file == nullptr) return false;
  char line[512];
  bool found = false;
  while (!found && std::fgets(line, sizeof(line), file) != nullptr) {
    std::string entry(line, strcspn(line, "\n"));
    const size_t first = entry.find(':'), second = entry.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = entry.substr(first + 1, second - first - 1);
    const std::string path = entry.substr(second + 1);
    const bool v2 = entry.compare(0, first, "0") == 0 && controllers.empty();
    const bool v1 = ("," + controllers + ",").find(",memory,") != std::string::npos;
    if (!v2 && !v1) continue;
    const std::string root = v2 ? "/sys/fs/cgroup" : "/sys/fs/cgroup/memory";
    const char* limitName = v2 ? "/memory.max" : "/memory.limit_in_bytes";
    const char* usageName = v2 ? "/memory.current" : "/memory.usage_in_bytes";
    for (const std::string& folder : {root + (path == "/" ? "" : path), root}) {
      uint64_t limit = 0, usage = 0;
      if (ReadNumberFile(folder + limitName, &limit) && ReadNumberFile(folder + usageName, &usage)) {
        *left = limit > usage ? limit - usage : 0;
        found = true;
        break;
      }
    }
  }
  std::fclose(file);
  return found;
}

// What the address-space limit leaves beside the address space the process holds now.
static bool AddressSpaceLeft(uint64_t* left) {
  struct rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return false;
  uint64_t pages = 0;
  if (!ReadNumberFile("/proc/self/statm", &pages)) return false;
  const uint64_t used = pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  *left = limit.rlim_cur > used ? limit.rlim_cur - used : 0;
  return true;
}

bool PlatformMemoryHeadroom(uint64_t* bytes) {
  uint64_t least = UINT64_MAX, memory = 0, swap = 0, left = 0;
  if (PlatformFreeMemory(&memory, &swap)) least = memory;
  if (CgroupMemoryLeft(&left)) least = std::min(least, left);
  if (AddressSpaceLeft(&left)) least = std::min(least, left);
  *bytes = least;
  return least != UINT64_MAX;
}
