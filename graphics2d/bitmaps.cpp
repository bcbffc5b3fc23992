// Bitmaps 0 to 31 (0 is the screen): the slots, the replay steps of the bitmap draw ops
// (set, load, save, create, delete, copy, mirror, flip, blur, fade) and their commands.
#include <algorithm>
#include <cstring>

#include "graphics2d/graphics2d_local.h"
#include "graphics2d/image_files.h"
#include "runtime/command_numbers.h"

// The bitmap slots; slot 0 follows the back buffer. Reset at every display start.
static BitmapInfo gBitmaps[kBitmapCount];

BitmapInfo& BitmapSlot(int number) { return gBitmaps[(number >= 0 && number < kBitmapCount) ? number : 0]; }

Surface* BitmapSurfaceIfCurrent(int number, uint32_t generation) {
  if (number < 0 || number >= kBitmapCount || gBitmaps[number].generation != generation) return nullptr;
  return gBitmaps[number].surface;
}

bool BitmapPlannedGeneration(int number, uint32_t* generation) {
  if (number < 0 || number >= kBitmapCount) return false;
  const BitmapInfo& slot = gBitmaps[number];
  *generation = slot.plannedGeneration;
  return slot.surface != nullptr || slot.plannedGeneration != slot.generation;
}

Surface* BitmapSurfaceOfGeneration(int number, uint32_t generation) { return BitmapSurfaceIfCurrent(number, generation); }

// Gives a slot a new surface (or none), without starting a new generation.
static void ReplaceBitmapSurface(int number, Surface* surface) {
  BitmapInfo& slot = gBitmaps[number];
  if (number != 0) SurfaceDestroy(slot.surface);
  slot.surface = surface;
  slot.width = surface != nullptr ? surface->width : 0;
  slot.height = surface != nullptr ? surface->height : 0;
  slot.depth = surface != nullptr ? Display2D.screenDepth : 0;
  slot.mirrored = slot.flipped = false;
}

// Outside the queue (display start, mode change): records on the old surface become stale.
static void SetBitmapSurface(int number, Surface* surface) {
  ReplaceBitmapSurface(number, surface);
  BitmapInfo& slot = gBitmaps[number];
  slot.plannedGeneration = ++slot.generation;
}

void ReleaseAllBitmaps() {
  for (int i = 0; i < kBitmapCount; ++i) SetBitmapSurface(i, nullptr);
}

void ResetBitmaps() {
  ReleaseAllBitmaps();
  SetBitmapSurface(0, Display2D.backBuffer);
}

void AttachBackBufferToBitmapZero() { SetBitmapSurface(0, Display2D.backBuffer); }

// A create, load or delete of bitmap 1..31 starts one new generation of the slot: counted once
// when the command is issued (PlanNewGeneration) and once when its record is replayed
// (StartReplayedGeneration), on every path of the replay, so the two counts stay in step.
static void PlanNewGeneration(int number) {
  if (number > 0 && number < kBitmapCount) ++gBitmaps[number].plannedGeneration;
}
static void StartReplayedGeneration(int number) {
  if (number > 0 && number < kBitmapCount) ++gBitmaps[number].generation;
}

// The replay draws on the bitmap a load or create made (the records queued after it carry
// it already: the command made it the drawing bitmap when the program issued it).
static void MakeDrawingBitmap(int number) { Draw2D.replayBitmap = number; }

// Checks a bitmap number at replay: 1001 out of range, 1002 absent (bitmap 0 always exists).
static bool CheckBitmap(int number) {
  if (number < 0 || number >= kBitmapCount) {
    RuntimeError(1001);
    return false;
  }
  if (gBitmaps[number].surface == nullptr) {
    RuntimeError(1002);
    return false;
  }
  return true;
}

static void ReplayLoadBitmap(DrawOp& op) {
  if (op.number < 0 || op.number >= kBitmapCount) return RuntimeError(1001);
  StartReplayedGeneration(op.number);
  Surface* loaded = LoadProgramImage(op.payload);
  if (loaded == nullptr) return;
  BitmapInfo& slot = gBitmaps[op.number];
  if (op.number == 0 || slot.surface != nullptr) {
    // Onto the screen, or into the existing bitmap: copied, cut to the smaller of both sizes.
    if (slot.surface != nullptr)
      SurfaceBlit(*slot.surface, 0, 0, *loaded, SurfaceRect{0, 0, std::min(loaded->width, slot.surface->width),
                                                                std::min(loaded->height, slot.surface->height)}, {});
    SurfaceDestroy(loaded);
  } else {
    ReplaceBitmapSurface(op.number, loaded);
  }
  MakeDrawingBitmap(op.number);
}

static void ReplayCopyBitmap(DrawOp& op) {
  int32_t words[9];
  std::memcpy(words, op.payload, sizeof words);
  const int source = op.number;
  const int destination = op.x == 0 ? words[0] : words[4];
  if (source < 0 || source >= kBitmapCount || destination < 0 || destination >= kBitmapCount) return RuntimeError(1001);
  if (op.x == 0 && source == destination) return RuntimeError(1007);
  if (!CheckBitmap(source) || !CheckBitmap(destination)) return;
  Surface& from = *gBitmaps[source].surface;
  Surface& to = *gBitmaps[destination].surface;
  SurfaceResult result;
  if (op.x == 0) {
    if (from.width > to.width || from.height > to.height) return RuntimeError(1008);
    result = SurfaceBlit(to, 0, 0, from, SurfaceRect{0, 0, from.width, from.height}, {});
  } else {
    const SurfaceRect sourceRect{words[0], words[1], words[2], words[3]};
    const SurfaceRect destRect{words[5], words[6], words[7], words[8]};
    auto inside = [](const SurfaceRect& r, const Surface& s) {
      return r.left >= 0 && r.top >= 0 && r.right <= s.width && r.bottom <= s.height;
    };
    if (!inside(sourceRect, from) || !inside(destRect, to)) return RuntimeError(1010);
    if (sourceRect.right <= sourceRect.left || sourceRect.bottom <= sourceRect.top || destRect.right <= destRect.left ||
        destRect.bottom <= destRect.top)
      return RuntimeError(1011);
    result = SurfaceStretchBlit(to, destRect, from, sourceRect, {});
  }
  if (result == SurfaceResult::kLost && SurfaceRestore(to) && SurfaceRestore(from)) result = SurfaceResult::kFailed;
  if (result != SurfaceResult::kOk) RuntimeError(1000);
}

// Mirror, flip, blur and fade change pixels in place: on the single back buffer a screen record
// would undo or repeat itself on its second replay, so it runs on its first replay only.
static void ReplayBitmapEffect(DrawOp& op) {
  if (!CheckBitmap(op.number)) return;
  if (op.code == kOpBlurBitmap && (op.x < 1 || op.x > 8)) return RuntimeError(1012);
  if (op.code == kOpFadeBitmap && (op.x < 0 || op.x > 100)) return RuntimeError(1013);
  if (op.printFlag != 0) return;
  op.printFlag = 1;
  BitmapInfo& slot = gBitmaps[op.number];
  switch (op.code) {
    case kOpMirrorBitmap: MirrorSurface(*slot.surface), slot.mirrored = !slot.mirrored; break;
    case kOpFlipBitmap: FlipSurface(*slot.surface), slot.flipped = !slot.flipped; break;
    case kOpBlurBitmap: BlurSurface(*slot.surface, op.x); break;
    default: FadeSurface(*slot.surface, op.x); break;
  }
}

void ReplayBitmapOp(DrawOp& op) {
  switch (op.code) {
    case kOpSetDrawingBitmap:
      if (CheckBitmap(op.number)) Draw2D.replayBitmap = op.number;
      break;
    case kOpLoadBitmap:
      ReplayLoadBitmap(op);
      break;
    case kOpSaveBitmap: {
      if (!CheckBitmap(op.number)) break;
      std::string why;  // the message of a failure ends with the file and the reason
      if (SaveImageFile(MapProgramPath(op.payload).c_str(), *gBitmaps[op.number].surface, &why)) break;
      WriteEngineErrorLog(why.c_str());
      RuntimeError(1004);
      break;
    }
    case kOpCreateBitmap: {
      if (op.number == 0) return RuntimeError(1009);
      if (op.number < 0 || op.number >= kBitmapCount) return RuntimeError(1001);
      StartReplayedGeneration(op.number);
      ReplaceBitmapSurface(op.number, nullptr);
      Surface* made = SurfaceCreate(op.x, op.y);
      if (made == nullptr) return RaiseSurfaceError(op.x, op.y, 1005);
      ReplaceBitmapSurface(op.number, made);
      MakeDrawingBitmap(op.number);
      break;
    }
    case kOpDeleteBitmap:
      if (op.number < 0 || op.number >= kBitmapCount) return RuntimeError(1001);
      if (op.number == 0) return RuntimeError(1006);
      StartReplayedGeneration(op.number);
      if (gBitmaps[op.number].surface == nullptr) return RuntimeError(1002);
      ReplaceBitmapSurface(op.number, nullptr);
      if (Draw2D.replayBitmap == op.number) Draw2D.replayBitmap = 0;
      break;
    case kOpCopyBitmap:
      ReplayCopyBitmap(op);
      break;
    case kOpMirrorBitmap: case kOpFlipBitmap: case kOpBlurBitmap: case kOpFadeBitmap:
      ReplayBitmapEffect(op);
      break;
    default:
      break;
  }
}

// ---- Commands: each records its op and, in automatic refresh mode, ends the slice.

static void Queue(int32_t code, int32_t x, int32_t y, int32_t x2, int32_t y2, int32_t number, const char* text) {
  RecordDrawOp(code, x, y, x2, y2, number, text);
  EndSliceAfterDrawing();
}

static void CmdBitmapLoad() {  // file, number
  const char* file = TextOperand(0);
  const int32_t number = IntOperand(1);
  AdvanceOperands(2);
  // Drawing goes to the loaded bitmap from here on (until the program picks another).
  PlanNewGeneration(number);
  if (number >= 0 && number < kBitmapCount) SetRecordBitmap(number);
  Queue(kOpLoadBitmap, 0, 0, 0, 0, number, file);
}
static void CmdBitmapLoadScreen() {  // file
  const char* file = TextOperand(0);
  AdvanceOperands(1);
  SetRecordBitmap(0);
  Queue(kOpLoadBitmap, 0, 0, 0, 0, 0, file);
}
static void CmdBitmapSave() {  // file, number
  const char* file = TextOperand(0);
  const int32_t number = IntOperand(1);
  AdvanceOperands(2);
  Queue(kOpSaveBitmap, 0, 0, 0, 0, number, file);
}
static void CmdBitmapCreate() {  // number, width, height
  const int32_t number = IntOperand(0), width = IntOperand(1), height = IntOperand(2);
  AdvanceOperands(3);
  // Drawing goes to the new bitmap from here on (until the program picks another).
  if (number > 0 && number < kBitmapCount) {
    PlanNewGeneration(number);
    SetRecordBitmap(number);
  }
  Queue(kOpCreateBitmap, width, height, 0, 0, number, nullptr);
}
static void CmdBitmapSetCurrent() {  // number
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  if (number < 0 || number >= kBitmapCount) return RuntimeError(1001);
  SetRecordBitmap(number);
  Queue(kOpSetDrawingBitmap, 0, 0, 0, 0, number, nullptr);
}
static void CmdBitmapCopy() {  // source, destination
  const int32_t source = IntOperand(0), destination = IntOperand(1);
  AdvanceOperands(2);
  const int32_t index = RecordDrawOp(kOpCopyBitmap, 0, 0, 0, destination, source, nullptr);
  if (index >= 0) std::memcpy(DrawOpAt(index)->payload, &destination, sizeof destination);
  EndSliceAfterDrawing();
}
static void CmdBitmapCopyArea() {  // source, l, t, r, b, destination, l, t, r, b
  int32_t words[9];
  const int32_t source = IntOperand(0);
  for (int i = 0; i < 9; ++i) words[i] = IntOperand(1 + i);
  AdvanceOperands(10);
  const int32_t index = RecordDrawOp(kOpCopyBitmap, 1, 0, 0, words[4], source, nullptr);
  if (index >= 0) std::memcpy(DrawOpAt(index)->payload, words, sizeof words);
  EndSliceAfterDrawing();
}
static void CmdBitmapDelete() {  // number
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  // The deleted bitmap stops being the drawing bitmap at once: new records go to the screen.
  if (number == Draw2D.recordBitmap) SetRecordBitmap(0);
  PlanNewGeneration(number);
  Queue(kOpDeleteBitmap, 0, 0, 0, 0, number, nullptr);
}
static void CmdBitmapMirror() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  Queue(kOpMirrorBitmap, 0, 0, 0, 0, number, nullptr);
}
static void CmdBitmapFlip() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  Queue(kOpFlipBitmap, 0, 0, 0, 0, number, nullptr);
}
static void CmdBitmapBlur() {  // number, passes 1..8
  const int32_t number = IntOperand(0), value = IntOperand(1);
  AdvanceOperands(2);
  Queue(kOpBlurBitmap, value, 0, 0, 0, number, nullptr);
}
static void CmdBitmapFade() {  // number, percent 0..100
  const int32_t number = IntOperand(0), value = IntOperand(1);
  AdvanceOperands(2);
  Queue(kOpFadeBitmap, value, 0, 0, 0, number, nullptr);
}

static const CommandEntry kBitmapCommands[] = {
    {kBitmapLoad, CmdBitmapLoad},       {kBitmapLoadScreen, CmdBitmapLoadScreen}, {kBitmapSave, CmdBitmapSave},
    {kBitmapCreate, CmdBitmapCreate},   {kBitmapSetCurrent, CmdBitmapSetCurrent}, {kBitmapCopy, CmdBitmapCopy},
    {kBitmapCopyArea, CmdBitmapCopyArea}, {kBitmapDelete, CmdBitmapDelete},     {kBitmapMirror, CmdBitmapMirror},
    {kBitmapFlip, CmdBitmapFlip},       {kBitmapBlur, CmdBitmapBlur},             {kBitmapFade, CmdBitmapFade},
};

bool RegisterBitmapCommands() { return RegisterCommands(kBitmapCommands); }
