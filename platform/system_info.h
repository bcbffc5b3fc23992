// What the system commands ask of the machine: free memory and swap, and the 3D renderer.
#pragma once
#include <cstdint>

// Bytes of memory available to a new program (MemAvailable, else free + buffers + cache) and
// of free swap; false when the figures cannot be read.
bool PlatformFreeMemory(uint64_t* memory, uint64_t* swap);
