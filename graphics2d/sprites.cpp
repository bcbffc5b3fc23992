// Sprites 1 to 65535: the sprite pool (shared with the 3D entities), the id map and the sprite
// commands: placing, switches, scaling, offsets, mirror and flip, queries and collisions.
#include <cmath>
#include <vector>

#include "graphics2d/graphics2d_local.h"
#include "runtime/command_numbers.h"

// Sprite number -> record index + 1 (0 = none). Cleared at every display start.
static NumberIdMap gSpriteIdMap;

// A fresh sprite record: no background images, offset 0, scale 1.0, not in use.
static void InitSpriteRecord(void* record) {
  SpriteRecord* sprite = static_cast<SpriteRecord*>(record);
  sprite->backgroundImages[0] = sprite->backgroundImages[1] = -1;
  sprite->imageRecord = -1;
  sprite->scaleX = sprite->scaleY = 1.0f;
}

// Releases the saved backgrounds a sprite owns.
static void ReleaseSpriteRecord(void* record) {
  SpriteRecord* sprite = static_cast<SpriteRecord*>(record);
  for (int32_t& image : sprite->backgroundImages) {
    ReleaseImageRecord(image);
    image = -1;
  }
}

static RecordPool gSpritePool = {"SpriteRecord", sizeof(SpriteRecord), 2, 4, InitSpriteRecord, ReleaseSpriteRecord, nullptr,
                                 nullptr, 0, 0, 0, 0, 0};

void RegisterSpritePool() { RegisterRecordPool(&gSpritePool); }
SpriteRecord* SpriteAt(int32_t index) { return RecordAt<SpriteRecord>(gSpritePool, index); }
int32_t AllocSpriteSlot() { return AllocRecord(gSpritePool); }
void FreeSpriteSlot(int32_t index) { FreeRecord(gSpritePool, index); }
int32_t FirstSpriteIndex() { return gSpritePool.records != nullptr ? gSpritePool.usedHead : -1; }

int32_t SpriteIndexForNumber(int32_t number) {
  if (number < 1 || number > kMaxSpriteNumber || gSpritePool.records == nullptr) return -1;
  return gSpriteIdMap[number] - 1;
}

void ReleaseAllSprites() {
  gSpriteIdMap.Clear();
  if (gSpritePool.records == nullptr) return;
  for (int32_t index = gSpritePool.usedHead; index != -1;) {
    const int32_t next = SpriteAt(index)->next;
    if (SpriteAt(index)->is3D == 0) FreeSpriteSlot(index);
    index = next;
  }
}

// Sets a sprite up for the set-up commands: a record on first use, defaults when not in use.
static int32_t SetUpSprite(int32_t number) {
  int32_t index = SpriteIndexForNumber(number);
  if (index < 0) {
    index = AllocSpriteSlot();
    if (index < 0) return -1;
    gSpriteIdMap.Set(number, index + 1);
    SpriteAt(index)->spriteNumber = number;
  }
  SpriteRecord* sprite = SpriteAt(index);
  if (sprite->inUse == 0) {
    sprite->inUse = 1;
    sprite->imageRecord = -1;
    sprite->keepBackground = 1;
    sprite->scaleX = sprite->scaleY = 1.0f;
    sprite->colourKey = 1;
    sprite->shown = 1;
    // A sprite set up again after a delete that kept its background is live again.
    sprite->deletedState = 0;
  }
  return index;
}

// 301 outside 1..65535; 302 when the sprite does not exist. Returns the record or null.
static SpriteRecord* ExistingSprite(int32_t number) {
  if (number < 1 || number > kMaxSpriteNumber) {
    RuntimeError(301);
    return nullptr;
  }
  const int32_t index = SpriteIndexForNumber(number);
  if (index < 0) {
    RuntimeError(302);
    return nullptr;
  }
  return SpriteAt(index);
}

static bool SpriteNumberValid(int32_t number) {
  if (number >= 1 && number <= kMaxSpriteNumber) return true;
  RuntimeError(301);
  return false;
}

static void CmdSprite() {  // n, x, y, image
  const int32_t number = IntOperand(0), x = IntOperand(1), y = IntOperand(2), image = IntOperand(3);
  AdvanceOperands(4);
  if (!SpriteNumberValid(number)) return;
  const int32_t index = SetUpSprite(number);
  if (index < 0) return;
  SpriteRecord* sprite = SpriteAt(index);
  sprite->x = x;
  sprite->y = y;
  sprite->imageNumber = image;
  sprite->imageRecord = image > 0 ? ImageIndexForNumber(image) : -1;
}

static void CmdSpriteSwitches() {  // n, keep background, colour key
  const int32_t number = IntOperand(0), keep = IntOperand(1), key = IntOperand(2);
  AdvanceOperands(3);
  if (!SpriteNumberValid(number)) return;
  if (keep != 0 && keep != 1) return RuntimeError(303);
  if (key != 0 && key != 1) return RuntimeError(304);
  const int32_t index = SetUpSprite(number);
  if (index < 0) return;
  SpriteAt(index)->keepBackground = keep;
  SpriteAt(index)->colourKey = key;
}

// Width and height of the sprite's image, 0 when it has none.
static void SpriteImageSize(SpriteRecord& sprite, int* width, int* height) {
  *width = *height = 0;
  const int32_t image = SpriteImageIndex(sprite);
  if (image < 0) return;
  *width = ImageAt(image)->width;
  *height = ImageAt(image)->height;
}

static void CmdSpriteSize() {  // n, width, height
  const int32_t number = IntOperand(0), width = IntOperand(1), height = IntOperand(2);
  AdvanceOperands(3);
  SpriteRecord* sprite = ExistingSprite(number);
  if (sprite == nullptr) return;
  if (width < 0 || height < 0) return RuntimeError(312);
  int imageWidth, imageHeight;
  SpriteImageSize(*sprite, &imageWidth, &imageHeight);
  if (sprite->imageNumber < 1 || imageWidth == 0 || imageHeight == 0) return;
  sprite->scaleX = static_cast<float>(width) / static_cast<float>(imageWidth);
  sprite->scaleY = static_cast<float>(height) / static_cast<float>(imageHeight);
}

static bool PercentValid(int32_t percent) { return percent >= 0 && percent <= 250000; }

static void CmdSpriteScale() {  // n, percent
  const int32_t number = IntOperand(0), percent = IntOperand(1);
  AdvanceOperands(2);
  SpriteRecord* sprite = ExistingSprite(number);
  if (sprite == nullptr) return;
  if (!PercentValid(percent)) return RuntimeError(311);
  sprite->scaleX = sprite->scaleY = static_cast<float>(percent) / 100.0f;
}

static void CmdSpriteStretch() {  // n, percent x, percent y
  const int32_t number = IntOperand(0), px = IntOperand(1), py = IntOperand(2);
  AdvanceOperands(3);
  SpriteRecord* sprite = ExistingSprite(number);
  if (sprite == nullptr) return;
  if (!PercentValid(px) || !PercentValid(py)) return RuntimeError(311);
  sprite->scaleX = static_cast<float>(px) / 100.0f;
  sprite->scaleY = static_cast<float>(py) / 100.0f;
}

static void CmdSpriteOffset() {  // n, x, y
  const int32_t number = IntOperand(0), x = IntOperand(1), y = IntOperand(2);
  AdvanceOperands(3);
  SpriteRecord* sprite = ExistingSprite(number);
  if (sprite == nullptr) return;
  sprite->offsetX = x;
  sprite->offsetY = y;
}

// The one-operand commands on an existing sprite: mirror, flip, hide, show.
static SpriteRecord* SingleSpriteOperand() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  return ExistingSprite(number);
}
static void CmdSpriteMirror() {
  if (SpriteRecord* sprite = SingleSpriteOperand()) sprite->mirrored = sprite->mirrored == 1 ? 0 : 1;
}
static void CmdSpriteFlip() {
  if (SpriteRecord* sprite = SingleSpriteOperand()) sprite->flipped = sprite->flipped == 1 ? 0 : 1;
}
static void CmdSpriteHide() {
  if (SpriteRecord* sprite = SingleSpriteOperand()) sprite->shown = 0;
}
static void CmdSpriteShow() {
  if (SpriteRecord* sprite = SingleSpriteOperand()) sprite->shown = 1;
}

static void CmdSpriteDelete() {  // n
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  SpriteRecord* sprite = ExistingSprite(number);
  if (sprite == nullptr) return;
  if (sprite->keepBackground != 1) {
    const int32_t index = gSpriteIdMap[number] - 1;
    gSpriteIdMap.Set(number, 0);
    sprite->spriteNumber = 0;
    sprite->inUse = 0;
    FreeSpriteSlot(index);
    return;
  }
  // Its background goes back on the next frame; the record stays until it is set up again.
  sprite->imageRecord = -1;
  sprite->deletedState = 2;
  sprite->inUse = 0;
}

static void CmdSpritePaste() {  // n, x, y
  const int32_t number = IntOperand(0), x = IntOperand(1), y = IntOperand(2);
  AdvanceOperands(3);
  if (ExistingSprite(number) == nullptr) return;
  RecordDrawOp(kOpPasteSprite, x, y, 0, 0, number);
  if (Draw2D.recordBitmap == 0) EndSliceAfterDrawing();
}

// Hides or shows every 2D sprite of priority 0 that has an image.
static void SetAllShown(int32_t shown) {
  for (int32_t index = FirstSpriteIndex(); index != -1; index = SpriteAt(index)->next) {
    SpriteRecord* sprite = SpriteAt(index);
    if (sprite->priority == 0 && sprite->imageRecord >= 0 && sprite->shown == 1 - shown) sprite->shown = shown;
  }
}
static void CmdSpriteHideAll() { SetAllShown(0); }
static void CmdSpriteShowAll() { SetAllShown(1); }

static void CmdSpriteExist() {  // result, n
  const int32_t number = IntOperand(1);
  VariableSlot* result = SlotOperand(0);
  AdvanceOperands(2);
  if (!SpriteNumberValid(number)) return;
  const int32_t index = SpriteIndexForNumber(number);
  result->asInt = (index >= 0 && SpriteAt(index)->deletedState == 0) ? 1 : 0;
}

// The queries of one sprite: read the number, check it, write what the reader gives.
static void QuerySprite(int32_t (*read)(SpriteRecord&)) {
  const int32_t number = IntOperand(1);
  VariableSlot* result = SlotOperand(0);
  AdvanceOperands(2);
  if (SpriteRecord* sprite = ExistingSprite(number)) result->asInt = read(*sprite);
}
static int32_t ScaledSize(int size, float scale) {
  const double value = std::trunc(static_cast<double>(size) * scale);
  return value > 2147483647.0 ? INT32_MAX : static_cast<int32_t>(value);
}
static void CmdSpriteX() { QuerySprite([](SpriteRecord& s) { return s.x; }); }
static void CmdSpriteY() { QuerySprite([](SpriteRecord& s) { return s.y; }); }
static void CmdSpriteOffsetX() { QuerySprite([](SpriteRecord& s) { return s.offsetX; }); }
static void CmdSpriteOffsetY() { QuerySprite([](SpriteRecord& s) { return s.offsetY; }); }
static void CmdSpriteWidth() {
  QuerySprite([](SpriteRecord& s) {
    int w, h;
    SpriteImageSize(s, &w, &h);
    return ScaledSize(w, s.scaleX);
  });
}
static void CmdSpriteHeight() {
  QuerySprite([](SpriteRecord& s) {
    int w, h;
    SpriteImageSize(s, &w, &h);
    return ScaledSize(h, s.scaleY);
  });
}
static void CmdSpriteImage() { QuerySprite([](SpriteRecord& s) { return s.imageNumber; }); }
static void CmdSpriteScaleX() { QuerySprite([](SpriteRecord& s) { return ScaledSize(100, s.scaleX); }); }
static void CmdSpriteScaleY() { QuerySprite([](SpriteRecord& s) { return ScaledSize(100, s.scaleY); }); }
static void CmdSpriteMirrored() { QuerySprite([](SpriteRecord& s) { return s.mirrored != 0 ? 1 : 0; }); }
static void CmdSpriteFlipped() { QuerySprite([](SpriteRecord& s) { return s.flipped != 0 ? 1 : 0; }); }

// Screen box of a sprite: position less offset, sized by the image and the scale.
static SurfaceRect SpriteBox(SpriteRecord& sprite) {
  int w, h;
  SpriteImageSize(sprite, &w, &h);
  return SpriteRectAt(static_cast<int64_t>(sprite.x) - sprite.offsetX, static_cast<int64_t>(sprite.y) - sprite.offsetY,
                      ScaledSize(w, sprite.scaleX), ScaledSize(h, sprite.scaleY));
}

// 1 when both sprites have images and their boxes meet and opaque pixels overlap. Image
// record 0 is a real image here, so any record index from 0 counts.
static int SpritesCollide(SpriteRecord& a, SpriteRecord& b) {
  if (a.inUse == 0 || b.inUse == 0 || SpriteImageIndex(a) < 0 ||
      SpriteImageIndex(b) < 0)
    return 0;
  const SurfaceRect ra = SpriteBox(a), rb = SpriteBox(b);
  if (ra.left > rb.right || ra.top > rb.bottom || ra.right <= rb.left || ra.bottom <= rb.top) return 0;
  return ImagesCollide(a.imageRecord, ra, b.imageRecord, rb, a.flipped != 0, a.mirrored != 0, b.flipped != 0,
                       b.mirrored != 0);
}

// The overlap test of n with m, or with any sprite when m is outside 1..65535. Sets *absent
// (after raising 302) when m is in range but does not exist.
static int32_t OverlapValue(SpriteRecord& sprite, int32_t other, bool* absent) {
  *absent = false;
  if (other >= 1 && other <= kMaxSpriteNumber) {
    const int32_t index = SpriteIndexForNumber(other);
    if (index < 0) {
      RuntimeError(302);
      *absent = true;
      return 0;
    }
    return SpritesCollide(sprite, *SpriteAt(index));
  }
  for (int32_t index = FirstSpriteIndex(); index != -1; index = SpriteAt(index)->next) {
    SpriteRecord& candidate = *SpriteAt(index);
    if (&candidate != &sprite && SpritesCollide(sprite, candidate) == 1)
      return candidate.spriteNumber > 0 ? candidate.spriteNumber : 0;
  }
  return 0;
}

// Reads n and m, runs the overlap test and writes what `decide` makes of it (the collision
// query remembers its last value in the sprite).
static void RunOverlapQuery(int32_t (*decide)(SpriteRecord& sprite, int32_t value, bool absent)) {
  const int32_t number = IntOperand(1), other = IntOperand(2);
  VariableSlot* result = SlotOperand(0);
  AdvanceOperands(3);
  SpriteRecord* sprite = ExistingSprite(number);
  if (sprite == nullptr) return;
  bool absent = false;
  const int32_t value = OverlapValue(*sprite, other, &absent);
  const int32_t answer = decide(*sprite, value, absent);
  if (answer >= 0) result->asInt = answer;
}

static void CmdSpriteOverlap() {  // result, n, m
  RunOverlapQuery([](SpriteRecord&, int32_t value, bool absent) { return absent ? -1 : value; });
}

// A lasting overlap is reported on the first call only, and again after a call that found none.
static void CmdSpriteCollision() {  // result, n, m
  RunOverlapQuery([](SpriteRecord& sprite, int32_t value, bool) {
    const int32_t answer = (value < 1 || sprite.hitMemory != 0) ? 0 : value;
    sprite.hitMemory = value;
    return answer;
  });
}

static const CommandEntry kSpriteCommands[] = {
    {kSprite, CmdSprite},                 {kSpriteSwitches, CmdSpriteSwitches}, {kSpriteSize, CmdSpriteSize},
    {kSpriteScale, CmdSpriteScale},       {kSpriteStretch, CmdSpriteStretch},   {kSpriteOffset, CmdSpriteOffset},
    {kSpriteMirror, CmdSpriteMirror},     {kSpriteFlip, CmdSpriteFlip},         {kSpriteDelete, CmdSpriteDelete},
    {kSpritePaste, CmdSpritePaste},       {kSpriteHide, CmdSpriteHide},         {kSpriteShow, CmdSpriteShow},
    {kSpriteHideAll, CmdSpriteHideAll},   {kSpriteShowAll, CmdSpriteShowAll},   {kSpriteExist, CmdSpriteExist},
    {kSpriteX, CmdSpriteX},               {kSpriteY, CmdSpriteY},               {kSpriteOffsetX, CmdSpriteOffsetX},
    {kSpriteOffsetY, CmdSpriteOffsetY},   {kSpriteWidth, CmdSpriteWidth},       {kSpriteHeight, CmdSpriteHeight},
    {kSpriteImage, CmdSpriteImage},       {kSpriteScaleX, CmdSpriteScaleX},     {kSpriteScaleY, CmdSpriteScaleY},
    {kSpriteMirrored, CmdSpriteMirrored}, {kSpriteFlipped, CmdSpriteFlipped},   {kSpriteCollision, CmdSpriteCollision},
    {kSpriteOverlap, CmdSpriteOverlap},
};

bool RegisterSpriteCommands() { return RegisterCommands(kSpriteCommands); }
