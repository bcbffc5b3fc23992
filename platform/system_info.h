// What the system commands ask of the machine: free memory and swap, the memory this process
// may still take, and the 3D renderer.
#pragma once
#include <cstdint>

// Bytes of memory available to a new program (MemAvailable, else free + buffers + cache) and
// of free swap; false when the figures cannot be read.
bool PlatformFreeMemory(uint64_t* memory, uint64_t* swap);
// Bytes this process may still take before the system refuses it or ends it: the least of the
// memory available, what its cgroup's memory limit leaves and what its address-space limit
// (ulimit -v) leaves; false when none of them can be read. The runtime sizes the program's
// memory limit by it when a program is loaded.
bool PlatformMemoryHeadroom(uint64_t* bytes);
