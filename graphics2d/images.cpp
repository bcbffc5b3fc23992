// Images 1 to 65535: the image pool with one surface per record, the id map, the image draw
// ops (grab, paste, free, load, fade) and the image commands that queue them.
#include <cstdio>
#include <new>
#include <vector>

#include "graphics2d/graphics2d_local.h"
#include "graphics2d/image_files.h"
#include "platform/carried.h"
#include "runtime/command_numbers.h"

// Surfaces of the image records, by record index; grown with the pool. Lives with the pool.
static std::vector<Surface*> gImageSurfaces;
// Image number -> record index + 1 (0 = none). Cleared at every display start.
static NumberIdMap gImageIdMap;

// Per record index, the stamp of the image's current picture: taken from one counter whenever
// the picture is made, replaced or drawn into, so no two pictures ever share a stamp (textures
// made from an image are shared while its stamp stays). Grown with the pool.
static std::vector<uint64_t> gImagePictures;
static uint64_t gLastPictureStamp = 0;

static void StampPicture(int32_t index) {
  if (index >= 0 && static_cast<size_t>(index) < gImagePictures.size()) gImagePictures[index] = ++gLastPictureStamp;
}

// Pictures the load command has read, by record index, waiting for its replay to copy them
// into the image (so the file is read once). Grown with the pool, freed with the record.
static std::vector<Surface*> gPendingLoads;

// False when memory runs out, so the pool stays as it was and the allocation is error 101.
static bool GrowImageSurfaces(int32_t capacity) {
  try {
    gImageSurfaces.resize(static_cast<size_t>(capacity), nullptr);
    gPendingLoads.resize(static_cast<size_t>(capacity), nullptr);
    gImagePictures.resize(static_cast<size_t>(capacity), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Hands over the picture a load of the image left for its replay (null when there is none).
static Surface* TakePendingLoad(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= gPendingLoads.size()) return nullptr;
  Surface* pending = gPendingLoads[index];
  gPendingLoads[index] = nullptr;
  return pending;
}

static RecordPool gImagePool = {"ImageRecord", sizeof(ImageRecord), 16, 12, nullptr, nullptr, GrowImageSurfaces, nullptr,
                                0, 0, 0, 0, 0};

static int32_t ImageIndexOfRecord(const void* record) {
  return static_cast<int32_t>((static_cast<const uint8_t*>(record) - gImagePool.records) / gImagePool.recordSize);
}

// Frees the surface a record owns; called by the pool when a record is freed or destroyed.
static void ReleaseImageSurface(void* record) {
  const int32_t index = ImageIndexOfRecord(record);
  if (index >= 0 && static_cast<size_t>(index) < gImageSurfaces.size()) {
    SurfaceDestroy(gImageSurfaces[index]);
    gImageSurfaces[index] = nullptr;
    SurfaceDestroy(TakePendingLoad(index));
    StampPicture(index);
  }
}

void RegisterImagePool() {
  gImagePool.releaseRecord = ReleaseImageSurface;
  RegisterRecordPool(&gImagePool);
}

ImageRecord* ImageAt(int32_t index) { return RecordAt<ImageRecord>(gImagePool, index); }

Surface* ImageSurface(int32_t index) {
  if (gImagePool.records == nullptr || index < 0 || static_cast<size_t>(index) >= gImageSurfaces.size()) return nullptr;
  return gImageSurfaces[index];
}

uint64_t ImagePictureStamp(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= gImagePictures.size()) return 0;
  return gImagePictures[index];
}

int32_t ImageIndexForNumber(int32_t number) {
  if (number < 1 || number > kMaxImageNumber || gImagePool.records == nullptr) return -1;
  return gImageIdMap[number] - 1;
}

int32_t CreateImageRecord(int32_t number, int width, int height) {
  Surface* surface = SurfaceCreate(width, height);
  if (surface == nullptr) {
    RaiseSurfaceError(width, height, 101);
    return -1;
  }
  const int32_t index = AllocRecord(gImagePool);
  if (index < 0) {
    SurfaceDestroy(surface);
    return -1;
  }
  ImageRecord* record = ImageAt(index);
  record->width = width;
  record->height = height;
  record->number = number;
  gImageSurfaces[index] = surface;
  StampPicture(index);
  if (number >= 1 && number <= kMaxImageNumber) gImageIdMap.Set(number, index + 1);
  return index;
}

void ReleaseImageRecord(int32_t index) {
  if (gImagePool.records == nullptr || index < 0 || index >= gImagePool.capacity) return;
  const int32_t number = ImageAt(index)->number;
  if (number >= 1 && number <= kMaxImageNumber && gImageIdMap[number] == index + 1) gImageIdMap.Set(number, 0);
  FreeRecord(gImagePool, index);
}

void ReleaseAllImages() {
  gImageIdMap.Clear();
  if (gImagePool.records == nullptr) return;
  while (gImagePool.usedHead != -1) FreeRecord(gImagePool, gImagePool.usedHead);
}

void CountDownImageReleases() {
  if (gImagePool.records == nullptr) return;
  for (int32_t index = gImagePool.usedHead; index != -1;) {
    ImageRecord* record = ImageAt(index);
    const int32_t next = record->next;
    if (record->releaseFrames > 0 && --record->releaseFrames == 0) FreeRecord(gImagePool, index);
    index = next;
  }
}

// Gives an image number a surface of width x height: a new record, or the old one resized.
static int32_t ImageForNumber(int32_t number, int width, int height) {
  const int32_t index = ImageIndexForNumber(number);
  if (index >= 0) {
    Surface* surface = SurfaceCreate(width, height);
    if (surface == nullptr) {
      RaiseSurfaceError(width, height, 101);
      return -1;
    }
    SurfaceDestroy(gImageSurfaces[index]);
    gImageSurfaces[index] = surface;
    StampPicture(index);
    ImageAt(index)->width = width;
    ImageAt(index)->height = height;
    return index;
  }
  return CreateImageRecord(number, width, height);
}

// ---- Replay steps. Image ops carry the record index taken when they were recorded; a freed
// image stays until its pending release has run, so earlier records still find it.

void ReplayImageOp(DrawOp& op, Surface* target) {
  Surface* image = ImageSurface(op.number);
  if (op.code == kOpGetImage || op.code == kOpLoadImage || op.code == kOpFadeImage) StampPicture(op.number);
  switch (op.code) {
    case kOpGetImage: {
      if (target == nullptr) return RuntimeError(504);
      if (image == nullptr) return;
      SurfaceFill(*image, SurfaceRect{0, 0, image->width, image->height}, 0);
      SurfaceRect source{op.x, op.y, op.x2, op.y2};
      const SurfaceRect wanted = source;
      if (!SurfaceClipRect(*target, source)) return;
      SurfaceBlit(*image, source.left - wanted.left, source.top - wanted.top, *target, source, {});
      break;
    }
    case kOpPasteImage: {
      if (target == nullptr || image == nullptr) return;
      BlitOptions options;
      options.colourKeyed = op.x2 == 1;
      options.colourKey = kTransparentColour;
      for (int i = 0; i < std::max(1, Settings().pasteTwiceCount); ++i) {
        SurfaceResult result = SurfaceBlit(*target, op.x, op.y, *image, SurfaceRect{0, 0, image->width, image->height}, options);
        if (result == SurfaceResult::kLost && SurfaceRestore(*target))
          result = SurfaceBlit(*target, op.x, op.y, *image, SurfaceRect{0, 0, image->width, image->height}, options);
        if (result != SurfaceResult::kOk) return RuntimeError(500);
      }
      break;
    }
    case kOpFreeImage:
      if (op.number >= 0 && op.number < gImagePool.capacity) ImageAt(op.number)->releaseFrames = 3;
      break;
    case kOpPasteSprite: {
      const int32_t sprite = SpriteIndexForNumber(op.number);
      if (target != nullptr && sprite >= 0) DrawSprite(*target, *SpriteAt(sprite), op.x, op.y);
      break;
    }
    case kOpLoadImage: {
      if (image == nullptr) return RuntimeError(502);
      Surface* loaded = TakePendingLoad(op.number);
      if (loaded == nullptr) {  // another load of the image took it: read the file again
        loaded = LoadProgramImage(op.payload);
        if (loaded == nullptr) return;
      }
      SurfaceBlit(*image, 0, 0, *loaded, SurfaceRect{0, 0, std::min(loaded->width, image->width),
                                                     std::min(loaded->height, image->height)}, {});
      SurfaceDestroy(loaded);
      break;
    }
    case kOpFadeImage:
      if (image != nullptr) FadeSurface(*image, op.x);
      break;
    default:
      break;
  }
}

// ---- Commands

// Checks an image number: 500 outside 1..65535; with mustExist, 502 when there is no image.
static int32_t CheckedImage(int32_t number, bool mustExist) {
  if (number < 1 || number > kMaxImageNumber) {
    RuntimeError(500);
    return -1;
  }
  const int32_t index = ImageIndexForNumber(number);
  if (mustExist && index < 0) RuntimeError(502);
  return index;
}

static void QueueImageOp(int32_t code, int32_t index, int32_t x, int32_t y, int32_t x2, int32_t y2, const char* text) {
  RecordDrawOp(code, x, y, x2, y2, index, text);
  EndSliceAfterDrawing();
}

// Grab: the image takes the rectangle's size at once (size queries see it); pixels at replay.
static void GetImage(int32_t number, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (number < 1 || number > kMaxImageNumber) return RuntimeError(500);
  if (x2 <= x1 || y2 <= y1) return RuntimeError(503);
  const int64_t width = static_cast<int64_t>(x2) - x1, height = static_cast<int64_t>(y2) - y1;
  if (width > 16384 || height > 16384) return RuntimeError(503);
  const int32_t index = ImageForNumber(number, static_cast<int>(width), static_cast<int>(height));
  if (index >= 0) QueueImageOp(kOpGetImage, index, x1, y1, x2, y2, nullptr);
}

static void CmdImageGet() {  // image, x1, y1, x2, y2
  const int32_t number = IntOperand(0), x1 = IntOperand(1), y1 = IntOperand(2), x2 = IntOperand(3), y2 = IntOperand(4);
  AdvanceOperands(5);
  GetImage(number, x1, y1, x2, y2);
}
static void CmdImageGetFlagged() {  // image, x1, y1, x2, y2, flag
  const int32_t number = IntOperand(0), x1 = IntOperand(1), y1 = IntOperand(2), x2 = IntOperand(3), y2 = IntOperand(4);
  AdvanceOperands(6);
  GetImage(number, x1, y1, x2, y2);
}

static void PasteImage(int32_t number, int32_t x, int32_t y, int32_t flag) {
  const int32_t index = CheckedImage(number, true);
  if (index >= 0) QueueImageOp(kOpPasteImage, index, x, y, flag, 0, nullptr);
}
static void CmdImagePaste() {  // image, x, y
  const int32_t number = IntOperand(0), x = IntOperand(1), y = IntOperand(2);
  AdvanceOperands(3);
  PasteImage(number, x, y, 0);
}
static void CmdImagePasteFlagged() {  // image, x, y, flag
  const int32_t number = IntOperand(0), x = IntOperand(1), y = IntOperand(2), flag = IntOperand(3);
  AdvanceOperands(4);
  PasteImage(number, x, y, flag);
}

// Load: the file is read now (its size is the image's at once, errors show at the command);
// the picture waits for the replay, which copies it in.
static void CmdImageLoad() {  // file, image
  const char* file = TextOperand(0);
  const int32_t number = IntOperand(1);
  AdvanceOperands(2);
  if (number < 1 || number > kMaxImageNumber) return RuntimeError(500);
  Surface* loaded = LoadProgramImage(file);
  if (loaded == nullptr) return;
  const int32_t index = ImageForNumber(number, loaded->width, loaded->height);
  if (index < 0) return SurfaceDestroy(loaded);
  SurfaceDestroy(TakePendingLoad(index));
  gPendingLoads[index] = loaded;
  QueueImageOp(kOpLoadImage, index, 0, 0, 0, 0, file);
}

static void CmdImageDelete() {  // image
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  const int32_t index = CheckedImage(number, true);
  if (index < 0) return;
  // The number is free at once; the record stays for the records queued before, then goes.
  gImageIdMap.Set(number, 0);
  ImageAt(index)->number = 0;
  QueueImageOp(kOpFreeImage, index, 0, 0, 0, 0, nullptr);
}

static void CmdImageFade() {  // image, percent
  const int32_t number = IntOperand(0), percent = IntOperand(1);
  AdvanceOperands(2);
  const int32_t index = CheckedImage(number, true);
  if (index < 0) return;
  if (percent < 0 || percent > 100) return RuntimeError(505);
  QueueImageOp(kOpFadeImage, index, percent, 0, 0, 0, nullptr);
}

static const CommandEntry kImageCommands[] = {
    {kImageGet, CmdImageGet},     {kImageGetFlagged, CmdImageGetFlagged}, {kImagePaste, CmdImagePaste},
    {kImagePasteFlagged, CmdImagePasteFlagged}, {kImageLoad, CmdImageLoad}, {kImageDelete, CmdImageDelete},
    {kImageFade, CmdImageFade},
};

bool RegisterImageCommands() { return RegisterCommands(kImageCommands); }

void ReportIfPictureLibraryMissing(const char* name, const std::string& whyNot) {
  const std::string missing = PlatformUseProblem(CarriedUse::kPictures);
  if (missing.empty() || whyNot != missing) return;
  ReportMissingLibrary(std::string("load ") + name, missing);
  // The error the program meets next (using the picture that never loaded) names the library.
  Display2D.lastEngineError = std::string("load ") + name + ": " + missing;
}

Surface* LoadProgramImage(const char* name) {
  std::string path = name;
  const size_t length = path.size();
  const std::string extension = length >= 3 ? path.substr(length - 3) : "";
  if (!ResolvePackagedFile(path, extension.c_str())) path = MapProgramPath(name);
  // The error message names the file (loads replayed between commands have no command's
  // file to name).
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    WriteEngineErrorLog((std::string(name) + ": no such file").c_str());
    RuntimeError(105);
    return nullptr;
  }
  std::fclose(file);
  std::string whyNot;
  Surface* loaded = LoadImageFile(path.c_str(), &whyNot);
  if (loaded == nullptr) {
    ReportIfPictureLibraryMissing(name, whyNot);
    if (whyNot == kImageMemoryFullReason) {
      WriteEngineErrorLog((std::string(name) + ": " + whyNot).c_str());
      RuntimeError(511);
    } else {
      RuntimeWarning(1003);
    }
  }
  return loaded;
}

void RaiseSurfaceError(int width, int height, int otherwise) {
  RuntimeError(SurfaceFitsMemoryLimit(width, height) ? otherwise : 511);
}

void RegisterGraphics2DPools() {
  RegisterSpritePool();
  RegisterImagePool();
  RegisterDrawOpPool();
}
