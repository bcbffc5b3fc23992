// The deferred draw queue: drawing commands append records stamped with the drawing bitmap of
// the moment; the pre-step replays them once, in order, then frees them.
#include <cstring>

#include "graphics2d/graphics2d_local.h"
#include "platform/device3d.h"

// Owner of the drawing state; reset by Reset2DState at every display start.
DrawState Draw2D;

// The draw-op pool: its used list is the queue itself (head = oldest record).
static RecordPool gDrawOpPool = {"DrawOp", sizeof(DrawOp), 2, 4, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 0, 0};

DrawOp* DrawOpAt(int32_t index) { return RecordAt<DrawOp>(gDrawOpPool, index); }
int DrawQueueCount() { return gDrawOpPool.records != nullptr ? gDrawOpPool.count : 0; }

void RegisterDrawOpPool() { RegisterRecordPool(&gDrawOpPool); }

uint32_t ColourToPixel(int32_t colour) {
  if (Display2D.screenDepth != 16) return static_cast<uint32_t>(colour) & 0xFFFFFFu;
  // A 16-bit screen keeps 5, 6 and 5 bits: scale down to the channel maximum and back up.
  const uint32_t r = (colour >> 16) & 255, g = (colour >> 8) & 255, b = colour & 255;
  const uint32_t r5 = r * 31 / 255, g6 = g * 63 / 255, b5 = b * 31 / 255;
  return ((r5 * 255 / 31) << 16) | ((g6 * 255 / 63) << 8) | (b5 * 255 / 31);
}

void InkToPixel(int32_t paper, int32_t ink) {
  Draw2D.paperPixel = ColourToPixel(paper);
  Draw2D.paperRgb[0] = static_cast<int>((Draw2D.paperPixel >> 16) & 255);
  Draw2D.paperRgb[1] = static_cast<int>((Draw2D.paperPixel >> 8) & 255);
  Draw2D.paperRgb[2] = static_cast<int>(Draw2D.paperPixel & 255);
  if (ink == -1) return;
  Draw2D.inkPixel = ColourToPixel(ink);
  Draw2D.inkRgb[0] = static_cast<int>((Draw2D.inkPixel >> 16) & 255);
  Draw2D.inkRgb[1] = static_cast<int>((Draw2D.inkPixel >> 8) & 255);
  Draw2D.inkRgb[2] = static_cast<int>(Draw2D.inkPixel & 255);
}

void Reset2DState() {
  Draw2D.recordBitmap = 0;
  Draw2D.replayBitmap = 0;
  InkToPixel(0x000000, 0xFFFFFF);
  ResetTextState();
}

void SetRecordBitmap(int number) { Draw2D.recordBitmap = (number >= 0 && number < kBitmapCount) ? number : 0; }

int32_t RecordDrawOp(int32_t code, int32_t x, int32_t y, int32_t x2, int32_t y2, int32_t number, const char* text) {
  if (gDrawOpPool.records == nullptr) return -1;
  const int32_t index = AllocRecord(gDrawOpPool);
  if (index < 0) return -1;
  DrawOp* op = DrawOpAt(index);
  op->code = code;
  op->x = x;
  op->y = y;
  op->x2 = x2;
  op->y2 = y2;
  op->number = number;
  op->sourceCommand = RunningCommandIndex();
  op->targetBitmap = Draw2D.recordBitmap;
  op->targetGeneration = BitmapSlot(Draw2D.recordBitmap).plannedGeneration;
  if (text != nullptr) {
    // Texts longer than the payload are cut to 255 characters. (A plain copy: a frame may
    // queue thousands of texts.)
    const size_t length = strnlen(text, sizeof op->payload - 1);
    std::memcpy(op->payload, text, length);
    op->payload[length] = 0;
  }
  // The display presents by copying its one back buffer: no flip chain alternates buffers
  // that would each need the drawing, so every record, screen or bitmap, is replayed once and
  // each shown frame holds exactly the drawing made for it.
  op->refreshCount = 1;
  return index;
}

static void RunDrawOp(DrawOp& op) {
  const int code = op.code;
  if (code >= kOpSetDrawingBitmap && code <= kOpFadeBitmap) {
    ReplayBitmapOp(op);
    return;
  }
  // Drawing records draw on the bitmap they were recorded for; a bitmap gone since is skipped.
  Surface* target = BitmapSurfaceIfCurrent(op.targetBitmap, op.targetGeneration);
  // A lost surface is restored once before drawing; when that fails the display goes inactive.
  if (target != nullptr && target->lost && !SurfaceRestore(*target)) {
    SetDisplayActive(false);
    return;
  }
  if (code >= kOpGetImage && code <= kOpFadeImage) {
    ReplayImageOp(op, target);
  } else if (code >= kOpClearScreen && code <= kOpInputText) {
    if (target != nullptr) ReplayDrawingOp(op, *target);
  } else if (code >= kOpFontName && code <= kOpTextCentred) {
    ReplayTextOp(op, target);
  }
  // Any other code has no effect; the record is freed by the usual rule.
}

void ReplayDrawQueue() {
  if (Display2D.backBuffer == nullptr || gDrawOpPool.records == nullptr) return;
  Device3dClaimCpuSide();
  int32_t index = gDrawOpPool.usedHead;
  while (index != -1) {
    DrawOp* op = DrawOpAt(index);
    const int32_t next = op->next;
    --op->refreshCount;
    SetReplayingCommand(op->sourceCommand);
    RunDrawOp(*op);
    // Replay steps allocate no draw ops, so the record has not moved.
    if (DrawOpAt(index)->refreshCount <= 0) FreeRecord(gDrawOpPool, index);
    index = next;
  }
  SetReplayingCommand(-1);
}

// Whether a record's effect lands on the screen (bitmap 0): such records are replayed by the
// pre-step in frame order, so an early replay leaves them queued.
static bool RecordTouchesScreen(const DrawOp& op) {
  switch (op.code) {
    case kOpGetImage: case kOpLoadImage: case kOpFadeImage: case kOpFreeImage:
      return false;  // these change the image, not their target
    case kOpCopyBitmap:
      return op.y2 == 0;
    default:
      return op.code <= kOpFadeBitmap ? op.number == 0 : op.targetBitmap == 0;
  }
}

static bool RecordWritesImage(const DrawOp& op, int32_t imageIndex) {
  return (op.code == kOpGetImage || op.code == kOpLoadImage || op.code == kOpFadeImage) && op.number == imageIndex;
}

// A command that reads an image's pixels now (a texture made from it) must not see it before
// the loads, grabs and fades the program queued for it: the records up to the last of those
// are replayed at once, in order. Records that draw on the screen are replayed again by the
// pre-step (drawing is repeatable; the screen effects run once by their own flag); every
// other record is done with, as after a normal replay.
void SettleQueuedImage(int32_t imageIndex) {
  if (Display2D.backBuffer == nullptr || gDrawOpPool.records == nullptr) return;
  int32_t last = -1;
  for (int32_t index = gDrawOpPool.usedHead; index != -1; index = DrawOpAt(index)->next)
    if (RecordWritesImage(*DrawOpAt(index), imageIndex)) last = index;
  if (last == -1) return;
  Device3dClaimCpuSide();
  for (int32_t index = gDrawOpPool.usedHead; index != -1;) {
    DrawOp* op = DrawOpAt(index);
    const int32_t next = op->next;
    const bool stays = RecordTouchesScreen(*op);
    if (!stays) --op->refreshCount;
    SetReplayingCommand(op->sourceCommand);
    RunDrawOp(*op);
    if (!stays && DrawOpAt(index)->refreshCount <= 0) FreeRecord(gDrawOpPool, index);
    if (index == last) break;
    index = next;
  }
  SetReplayingCommand(-1);
}

void DropDrawQueue() {
  if (gDrawOpPool.records == nullptr) return;
  while (gDrawOpPool.usedHead != -1) FreeRecord(gDrawOpPool, gDrawOpPool.usedHead);
}
