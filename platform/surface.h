// CPU surfaces: 32-bit XRGB pixel buffers standing in for the display's surfaces, with the
// colour fills, blits, colour keys, locks and lost/restore state the 2D layer draws through.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

// Result of a surface operation; callers restore a lost surface and retry, as with any display.
enum class SurfaceResult { kOk, kLost, kFailed };

struct SurfaceRect {
  int left, top, right, bottom;  // right and bottom are exclusive
};

// Pixel memory from calloc, and growing a vector of it leaves the new pixels as calloc gave
// them: 0. A large surface then takes pages the system hands out already zeroed and makes each
// real only when it is first drawn on, instead of writing every page at creation (a 640x480
// screen is 300 pages, and a page fault is what start-up costs most). Only ever grow such a
// vector from empty: a shrunk one would grow back over its old values.
template <class T>
struct ZeroedPixelAllocator {
  using value_type = T;
  ZeroedPixelAllocator() = default;
  template <class U>
  ZeroedPixelAllocator(const ZeroedPixelAllocator<U>&) {}
  T* allocate(size_t count) {
    if (void* memory = std::calloc(count, sizeof(T))) return static_cast<T*>(memory);
    throw std::bad_alloc();
  }
  void deallocate(T* memory, size_t) { std::free(memory); }
  template <class U>
  void construct(U*) noexcept {}
  template <class U, class... Args>
  void construct(U* place, Args&&... args) {
    ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
  }
  bool operator==(const ZeroedPixelAllocator&) const { return true; }
};
using PixelVector = std::vector<uint32_t, ZeroedPixelAllocator<uint32_t>>;
inline bool operator==(const PixelVector& pixels, const std::vector<uint32_t>& other) {
  return pixels.size() == other.size() && std::equal(pixels.begin(), pixels.end(), other.begin());
}

struct Surface {
  int width = 0;
  int height = 0;
  PixelVector pixels;  // width * height, row after row, 0x00RRGGBB
  bool lost = false;             // set by SurfaceMarkLost; every operation fails until restored
  int lockCount = 0;             // nested locks for direct pixel access
  size_t countedBytes = 0;       // what SurfaceCreate counted against kSurfaceMemoryLimit
};

// Blit options: colour key compares the source's low 24 bits; mirror/flip reverse the source.
struct BlitOptions {
  bool colourKeyed = false;
  uint32_t colourKey = 0;
  bool mirror = false;
  bool flip = false;
};

// Pixel memory all live surfaces may hold together (images, bitmaps, the back buffer and
// pictures being loaded): a program or a file asking for more gets a clear error, not a fault.
constexpr size_t kSurfaceMemoryLimit = size_t{1} << 30;

// Makes a surface of width x height filled with 0; null when the size is not 1..16384 each or
// the surface would take the live surfaces past the memory limit.
Surface* SurfaceCreate(int width, int height);
// Whether a surface of width x height fits beside the live ones; callers tell a refusal for
// memory from a bad size with it.
bool SurfaceFitsMemoryLimit(int width, int height);
// Bytes of pixels the live surfaces hold now.
size_t SurfaceMemoryInUse();
// Replaces kSurfaceMemoryLimit for the rest of the process (tests reach the limit with it
// without taking a gigabyte); 0 restores the default.
void SurfaceSetMemoryLimit(size_t bytes);
// Releases a surface made by SurfaceCreate; null is accepted.
void SurfaceDestroy(Surface* surface);
// Fills the rectangle (clipped to the surface) with a colour; the queue's fills and clears.
SurfaceResult SurfaceFill(Surface& surface, const SurfaceRect& rect, uint32_t colour);
// Copies a source rectangle to x, y of the destination, clipped on both sides.
SurfaceResult SurfaceBlit(Surface& dest, int x, int y, const Surface& source, const SurfaceRect& sourceRect,
                          const BlitOptions& options);
// Copies a source rectangle scaled into a destination rectangle (nearest pixel), clipped to the
// destination; the sprite and bitmap copies use it.
SurfaceResult SurfaceStretchBlit(Surface& dest, const SurfaceRect& destRect, const Surface& source,
                                 const SurfaceRect& sourceRect, const BlitOptions& options);
// Locks the surface for direct pixel work; null when the surface is lost. Pair with SurfaceUnlock.
uint32_t* SurfaceLock(Surface& surface);
void SurfaceUnlock(Surface& surface);
// Marks the surface lost (the display lost its memory); tests use it to reach restore paths.
void SurfaceMarkLost(Surface& surface);
// Restores a lost surface; its contents are cleared to 0, as after a real loss. Always succeeds.
bool SurfaceRestore(Surface& surface);
// Clips a rectangle to the surface; false when nothing is left.
bool SurfaceClipRect(const Surface& surface, SurfaceRect& rect);
