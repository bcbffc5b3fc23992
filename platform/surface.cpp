// CPU surfaces: fills, blits with colour key, mirror and flip, stretched blits, locks and the
// lost/restore state. Everything clips, so callers may pass rectangles partly off the surface.
#include "platform/surface.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

static constexpr int kMaxSurfaceSide = 16384;

// Pixel bytes of every surface made by SurfaceCreate and not yet destroyed, and the most they
// may be; both live for the process.
static std::atomic<size_t> gSurfaceBytes{0};
static std::atomic<size_t> gSurfaceLimit{kSurfaceMemoryLimit};

void SurfaceSetMemoryLimit(size_t bytes) { gSurfaceLimit = bytes != 0 ? bytes : kSurfaceMemoryLimit; }

// Whether `bytes` more fit beside `inUse`.
static bool FitsBeside(size_t inUse, size_t bytes) {
  const size_t limit = gSurfaceLimit.load();
  return bytes <= limit - std::min(inUse, limit);
}

static size_t PixelBytes(int width, int height) {
  return static_cast<size_t>(width) * static_cast<size_t>(height) * sizeof(uint32_t);
}

bool SurfaceFitsMemoryLimit(int width, int height) {
  if (width < 1 || height < 1 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) return true;  // not a memory matter
  return FitsBeside(gSurfaceBytes.load(), PixelBytes(width, height));
}

size_t SurfaceMemoryInUse() { return gSurfaceBytes.load(); }

Surface* SurfaceCreate(int width, int height) {
  if (width < 1 || height < 1 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) return nullptr;
  // Taken before the pixels are allocated, so two threads cannot both pass the limit.
  const size_t bytes = PixelBytes(width, height);
  size_t inUse = gSurfaceBytes.load();
  do {
    if (!FitsBeside(inUse, bytes)) return nullptr;
  } while (!gSurfaceBytes.compare_exchange_weak(inUse, inUse + bytes));
  Surface* surface = nullptr;
  try {
    surface = new Surface;
    surface->width = width;
    surface->height = height;
    surface->pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    surface->countedBytes = bytes;
  } catch (const std::bad_alloc&) {
    delete surface;
    gSurfaceBytes -= bytes;
    return nullptr;
  }
  return surface;
}

void SurfaceDestroy(Surface* surface) {
  if (surface == nullptr) return;
  gSurfaceBytes -= surface->countedBytes;
  delete surface;
}

bool SurfaceClipRect(const Surface& surface, SurfaceRect& rect) {
  rect.left = std::max(rect.left, 0);
  rect.top = std::max(rect.top, 0);
  rect.right = std::min(rect.right, surface.width);
  rect.bottom = std::min(rect.bottom, surface.height);
  return rect.left < rect.right && rect.top < rect.bottom;
}

SurfaceResult SurfaceFill(Surface& surface, const SurfaceRect& rect, uint32_t colour) {
  if (surface.lost) return SurfaceResult::kLost;
  SurfaceRect clipped = rect;
  if (!SurfaceClipRect(surface, clipped)) return SurfaceResult::kOk;
  for (int y = clipped.top; y < clipped.bottom; ++y) {
    uint32_t* row = surface.pixels.data() + static_cast<size_t>(y) * surface.width;
    std::fill(row + clipped.left, row + clipped.right, colour);
  }
  return SurfaceResult::kOk;
}

// One row of an unscaled keyed blit: every source pixel whose low 24 bits are not the key
// replaces the destination's. Four pixels at a time compare with the key and blend by the
// mask, with whole groups of transparent or opaque pixels skipped or stored as they are.
static void CopyKeyedRow(uint32_t* dest, const uint32_t* source, int count, uint32_t key) {
  int x = 0;
#if defined(__SSE2__)
  const __m128i colourBits = _mm_set1_epi32(0x00FFFFFF);
  const __m128i keys = _mm_set1_epi32(static_cast<int>(key));
  for (; x + 4 <= count; x += 4) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x));
    const __m128i transparent = _mm_cmpeq_epi32(_mm_and_si128(pixels, colourBits), keys);
    const int mask = _mm_movemask_epi8(transparent);
    if (mask == 0xFFFF) continue;
    __m128i* to = reinterpret_cast<__m128i*>(dest + x);
    if (mask == 0) {
      _mm_storeu_si128(to, pixels);
      continue;
    }
    const __m128i kept = _mm_and_si128(transparent, _mm_loadu_si128(to));
    _mm_storeu_si128(to, _mm_or_si128(kept, _mm_andnot_si128(transparent, pixels)));
  }
#endif
  for (; x < count; ++x)
    if ((source[x] & 0xFFFFFFu) != key) dest[x] = source[x];
}

// Checks a source rectangle lies inside its surface and is not empty.
static bool SourceRectValid(const Surface& source, const SurfaceRect& r) {
  return r.left >= 0 && r.top >= 0 && r.right <= source.width && r.bottom <= source.height && r.left < r.right &&
         r.top < r.bottom;
}

SurfaceResult SurfaceStretchBlit(Surface& dest, const SurfaceRect& destRect, const Surface& source,
                                 const SurfaceRect& sourceRect, const BlitOptions& options) {
  if (dest.lost || source.lost) return SurfaceResult::kLost;
  if (!SourceRectValid(source, sourceRect)) return SurfaceResult::kFailed;
  if (&dest == &source) {
    // Copies within one surface may overlap: take the source rectangle aside first.
    Surface copy;
    copy.width = sourceRect.right - sourceRect.left;
    copy.height = sourceRect.bottom - sourceRect.top;
    copy.pixels.resize(static_cast<size_t>(copy.width) * copy.height);
    for (int y = 0; y < copy.height; ++y)
      std::memcpy(copy.pixels.data() + static_cast<size_t>(y) * copy.width,
                  source.pixels.data() + static_cast<size_t>(sourceRect.top + y) * source.width + sourceRect.left,
                  sizeof(uint32_t) * copy.width);
    return SurfaceStretchBlit(dest, destRect, copy, SurfaceRect{0, 0, copy.width, copy.height}, options);
  }
  const int64_t destW = static_cast<int64_t>(destRect.right) - destRect.left;
  const int64_t destH = static_cast<int64_t>(destRect.bottom) - destRect.top;
  if (destW <= 0 || destH <= 0) return SurfaceResult::kOk;
  SurfaceRect clipped = destRect;
  if (!SurfaceClipRect(dest, clipped)) return SurfaceResult::kOk;
  const int64_t srcW = sourceRect.right - sourceRect.left;
  const int64_t srcH = sourceRect.bottom - sourceRect.top;
  const bool sameSize = srcW == destW && srcH == destH;
  const uint32_t key = options.colourKey & 0xFFFFFFu;
  for (int y = clipped.top; y < clipped.bottom; ++y) {
    int64_t v = (int64_t{y} - destRect.top) * srcH / destH;
    if (options.flip) v = srcH - 1 - v;
    const uint32_t* srcRow = source.pixels.data() + static_cast<size_t>(sourceRect.top + v) * source.width + sourceRect.left;
    uint32_t* destRow = dest.pixels.data() + static_cast<size_t>(y) * dest.width;
    if (sameSize && !options.mirror) {
      const uint32_t* from = srcRow + (int64_t{clipped.left} - destRect.left);
      const int count = clipped.right - clipped.left;
      if (options.colourKeyed)
        CopyKeyedRow(destRow + clipped.left, from, count, key);
      else
        std::memcpy(destRow + clipped.left, from, sizeof(uint32_t) * static_cast<size_t>(count));
      continue;
    }
    for (int x = clipped.left; x < clipped.right; ++x) {
      int64_t u = sameSize ? int64_t{x} - destRect.left : (int64_t{x} - destRect.left) * srcW / destW;
      if (options.mirror) u = srcW - 1 - u;
      const uint32_t pixel = srcRow[u];
      if (options.colourKeyed && (pixel & 0xFFFFFFu) == key) continue;
      destRow[x] = pixel;
    }
  }
  return SurfaceResult::kOk;
}

SurfaceResult SurfaceBlit(Surface& dest, int x, int y, const Surface& source, const SurfaceRect& sourceRect,
                          const BlitOptions& options) {
  // A position near the end of the int range keeps its size by taking the source in from the
  // far side: what reaches past the limit is off every surface anyway.
  SurfaceRect from = sourceRect;
  const int64_t overX = int64_t{x} + (from.right - from.left) - INT32_MAX;
  const int64_t overY = int64_t{y} + (from.bottom - from.top) - INT32_MAX;
  if (overX > 0 || overY > 0) {
    if (dest.lost || source.lost) return SurfaceResult::kLost;
    if (!SourceRectValid(source, from)) return SurfaceResult::kFailed;
    if (overX >= from.right - from.left || overY >= from.bottom - from.top) return SurfaceResult::kOk;  // all past it
    from.right -= static_cast<int>(std::max<int64_t>(overX, 0));
    from.bottom -= static_cast<int>(std::max<int64_t>(overY, 0));
  }
  const SurfaceRect destRect{x, y, x + (from.right - from.left), y + (from.bottom - from.top)};
  return SurfaceStretchBlit(dest, destRect, source, from, options);
}

uint32_t* SurfaceLock(Surface& surface) {
  if (surface.lost) return nullptr;
  ++surface.lockCount;
  return surface.pixels.data();
}

void SurfaceUnlock(Surface& surface) {
  if (surface.lockCount > 0) --surface.lockCount;
}

void SurfaceMarkLost(Surface& surface) { surface.lost = true; }

bool SurfaceRestore(Surface& surface) {
  if (surface.lost) {
    std::fill(surface.pixels.begin(), surface.pixels.end(), 0u);
    surface.lost = false;
  }
  return true;
}
