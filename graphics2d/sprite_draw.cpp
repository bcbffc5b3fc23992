// Drawing the 2D sprites each frame: the three priority passes, one sprite's scaled, mirrored,
// flipped and keyed blit, the saved backgrounds under keep-background sprites, and the pixel
// collision of two placed images.
#include <algorithm>
#include <cmath>

#include "graphics2d/graphics2d_local.h"
#include "platform/device3d.h"

// The live image record of a sprite. A sprite keeps the record index it was given; when that
// image has been deleted since, the number is looked up again (-1 when it is gone).
int32_t SpriteImageIndex(SpriteRecord& sprite) {
  if (sprite.imageRecord < 0) return -1;
  if (ImageSurface(sprite.imageRecord) == nullptr || ImageAt(sprite.imageRecord)->number != sprite.imageNumber ||
      ImageAt(sprite.imageRecord)->releaseFrames > 0)
    sprite.imageRecord = ImageIndexForNumber(sprite.imageNumber);
  return sprite.imageRecord;
}

static int ScaledSide(int side, float scale) {
  const double value = std::trunc(static_cast<double>(side) * scale);
  return value > 1e6 ? 1000000 : (value < 0 ? 0 : static_cast<int>(value));
}

// The rectangle a sprite covers on the screen at x, y (before clipping).
static SurfaceRect SpriteDestination(SpriteRecord& sprite, int x, int y, int32_t image) {
  return SpriteRectAt(static_cast<int64_t>(x) - sprite.offsetX, static_cast<int64_t>(y) - sprite.offsetY,
                      ScaledSide(ImageAt(image)->width, sprite.scaleX), ScaledSide(ImageAt(image)->height, sprite.scaleY));
}

void DrawSprite(Surface& target, SpriteRecord& sprite, int x, int y) {
  if (sprite.is3D != 0) return;
  const int32_t image = SpriteImageIndex(sprite);
  if (image < 0) return;
  Surface* source = ImageSurface(image);
  const SurfaceRect destination = SpriteDestination(sprite, x, y, image);
  SurfaceRect clipped = destination;
  if (!SurfaceClipRect(target, clipped)) return;
  BlitOptions options;
  options.colourKeyed = sprite.colourKey == 1;
  options.colourKey = kTransparentColour;
  options.mirror = sprite.mirrored != 0;
  options.flip = sprite.flipped != 0;
  const SurfaceRect whole{0, 0, source->width, source->height};
  if (SurfaceStretchBlit(target, destination, *source, whole, options) == SurfaceResult::kLost) {
    if (!SurfaceRestore(target)) {
      SetDisplayActive(false);
      return;
    }
    SurfaceStretchBlit(target, destination, *source, whole, options);
  }
}

void DrawSprites() {
  Surface* back = BackBuffer();
  if (back == nullptr) return;
  Device3dClaimCpuSide();
  for (int priority = 0; priority <= 2; ++priority)
    for (int32_t index = FirstSpriteIndex(); index != -1; index = SpriteAt(index)->next) {
      SpriteRecord& sprite = *SpriteAt(index);
      if (sprite.priority == priority && sprite.shown == 1 && sprite.imageRecord >= 0) DrawSprite(*back, sprite, sprite.x, sprite.y);
    }
}

// The back buffer keeps one picture (presenting copies it), so one saved background serves.
static constexpr int kBackgroundSlot = 0;

static void DropBackground(SpriteRecord& sprite) {
  for (int32_t& image : sprite.backgroundImages) {
    ReleaseImageRecord(image);
    image = -1;
  }
}

void SaveSpriteBackgrounds() {
  Surface* back = BackBuffer();
  if (back == nullptr) return;
  Device3dClaimCpuSide();
  for (int32_t index = FirstSpriteIndex(); index != -1; index = SpriteAt(index)->next) {
    SpriteRecord* sprite = SpriteAt(index);
    if (sprite->is3D != 0) continue;
    if (sprite->keepBackground != 1) {
      DropBackground(*sprite);  // the switch went off: nothing to put back any more
      continue;
    }
    const int32_t image = SpriteImageIndex(*sprite);
    SurfaceRect area{0, 0, 0, 0};
    const bool drawn = sprite->shown == 1 && image >= 0;
    if (drawn) area = SpriteDestination(*sprite, sprite->x, sprite->y, image);
    if (!drawn || !SurfaceClipRect(*back, area)) {
      DropBackground(*SpriteAt(index));
      continue;
    }
    const int width = area.right - area.left, height = area.bottom - area.top;
    int32_t saved = sprite->backgroundImages[kBackgroundSlot];
    if (saved < 0 || ImageAt(saved)->width != width || ImageAt(saved)->height != height) {
      ReleaseImageRecord(saved);
      SpriteAt(index)->backgroundImages[kBackgroundSlot] = -1;
      saved = CreateImageRecord(0, width, height);  // may grow the image pool, never the sprites
      if (saved < 0) return;
      sprite = SpriteAt(index);
      sprite->backgroundImages[kBackgroundSlot] = saved;
    }
    SurfaceBlit(*ImageSurface(saved), 0, 0, *back, area, {});
    sprite->backgroundLeft = area.left;
    sprite->backgroundTop = area.top;
  }
}

void RestoreSpriteBackgrounds() {
  Surface* back = BackBuffer();
  if (back == nullptr) return;
  Device3dClaimCpuSide();
  for (int32_t index = FirstSpriteIndex(); index != -1; index = SpriteAt(index)->next) {
    SpriteRecord& sprite = *SpriteAt(index);
    const int32_t saved = sprite.backgroundImages[kBackgroundSlot];
    if (saved < 0 || ImageSurface(saved) == nullptr) continue;
    Surface& image = *ImageSurface(saved);
    SurfaceBlit(*back, sprite.backgroundLeft, sprite.backgroundTop, image, SurfaceRect{0, 0, image.width, image.height}, {});
    // A sprite deleted while keeping its background needs it back once only.
    if (sprite.deletedState == 2) DropBackground(sprite);
  }
}

void ReleaseSpriteBackgrounds() {
  for (int32_t index = FirstSpriteIndex(); index != -1; index = SpriteAt(index)->next) DropBackground(*SpriteAt(index));
}

// The image column (or row) under screen position x of a placement from `start` to `end`.
static int64_t PlacedIndex(int64_t x, int64_t start, int64_t end, int64_t side) {
  return (x - start) * side / (end - start);
}

// The first screen position after x where the placement shows the next image column (or row).
static int64_t NextPlacedStep(int64_t x, int64_t start, int64_t end, int64_t side) {
  const int64_t next = PlacedIndex(x, start, end, side) + 1;
  return start + ((next * (end - start)) + side - 1) / side;
}

// The source pixel of a placed image at image column u, row v.
static uint32_t PlacedPixel(const Surface& image, int64_t u, int64_t v, bool flip, bool mirror) {
  if (mirror) u = image.width - 1 - u;
  if (flip) v = image.height - 1 - v;
  return image.pixels[static_cast<size_t>(v) * image.width + static_cast<size_t>(u)] & 0xFFFFFFu;
}

// The overlap is walked in steps over which neither image changes pixel, so a scaled-up
// sprite costs its image's size rather than its size on the screen.
int ImagesCollide(int32_t imageA, const SurfaceRect& rectA, int32_t imageB, const SurfaceRect& rectB, bool flipA,
                  bool mirrorA, bool flipB, bool mirrorB) {
  const Surface* a = ImageSurface(imageA);
  const Surface* b = ImageSurface(imageB);
  if (a == nullptr || b == nullptr) return 0;
  const int64_t left = std::max(rectA.left, rectB.left), right = std::min(rectA.right, rectB.right);
  const int64_t top = std::max(rectA.top, rectB.top), bottom = std::min(rectA.bottom, rectB.bottom);
  for (int64_t y = top; y < bottom;) {
    const int64_t va = PlacedIndex(y, rectA.top, rectA.bottom, a->height);
    const int64_t vb = PlacedIndex(y, rectB.top, rectB.bottom, b->height);
    for (int64_t x = left; x < right;) {
      const int64_t ua = PlacedIndex(x, rectA.left, rectA.right, a->width);
      const int64_t ub = PlacedIndex(x, rectB.left, rectB.right, b->width);
      if (PlacedPixel(*a, ua, va, flipA, mirrorA) != kTransparentColour &&
          PlacedPixel(*b, ub, vb, flipB, mirrorB) != kTransparentColour)
        return 1;
      x = std::min(NextPlacedStep(x, rectA.left, rectA.right, a->width),
                   NextPlacedStep(x, rectB.left, rectB.right, b->width));
    }
    y = std::min(NextPlacedStep(y, rectA.top, rectA.bottom, a->height),
                 NextPlacedStep(y, rectB.top, rectB.bottom, b->height));
  }
  return 0;
}
