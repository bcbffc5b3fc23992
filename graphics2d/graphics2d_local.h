// Shared inside graphics2d: the display state, bitmap slots, drawing state, the recorders and
// replay steps of the draw queue, and helpers the command families have in common.
#pragma once
#include <cstdint>
#include <string>

#include "graphics2d/graphics2d.h"
#include "platform/surface.h"

constexpr int kBitmapCount = 32;
constexpr int kMaxSpriteNumber = 65535;
constexpr int kMaxImageNumber = 65535;

// Number 1..65535 -> record index + 1 (0 = none). A static map whose untouched pages cost
// nothing: a run pays only for the numbers it uses, and clearing stops at the highest number
// ever set, where a zero-filled vector would write all 256 KB at start-up and again at the end.
struct NumberIdMap {
  int32_t slots[65536];
  int32_t highest = 0;
  int32_t operator[](int32_t number) const { return slots[number]; }
  void Set(int32_t number, int32_t indexPlusOne) {
    slots[number] = indexPlusOne;
    if (number > highest) highest = number;
  }
  void Clear() {
    for (int32_t number = 0; number <= highest; ++number) slots[number] = 0;
    highest = 0;
  }
};
constexpr uint32_t kTransparentColour = 0x000000;  // the colour key of sprites, pastes and bitmaps

// Draw-op codes (the recorders and the replay switch agree on these).
enum DrawOpCode : int32_t {
  kOpSetDrawingBitmap = 1, kOpLoadBitmap = 2, kOpSaveBitmap = 3, kOpCreateBitmap = 4, kOpDeleteBitmap = 5,
  kOpCopyBitmap = 6, kOpMirrorBitmap = 8, kOpFlipBitmap = 9, kOpBlurBitmap = 10, kOpFadeBitmap = 11,
  kOpGetImage = 51, kOpPasteImage = 52, kOpFreeImage = 53, kOpPasteSprite = 54, kOpLoadImage = 55, kOpFadeImage = 56,
  kOpClearScreen = 101, kOpPrintText = 102, kOpDot = 103, kOpBox = 104, kOpLine = 105, kOpEllipse = 106,
  kOpInk = 107, kOpClearColour = 108, kOpPlot = 109, kOpInputText = 110,
  kOpFontName = 201, kOpFontSize = 202, kOpTextOpaque = 205, kOpTextTransparent = 206,
  kOpFontNormal = 207, kOpFontBold = 208, kOpFontItalic = 209, kOpFontBoldItalic = 210,
  kOpTextAt = 212, kOpTextCentred = 213,
};

// The display: made by InitDisplay, released by ReleaseDisplay. Owner: display.cpp.
struct DisplayState {
  Surface* backBuffer = nullptr;
  int screenWidth = 640, screenHeight = 480, screenDepth = 16;
  bool fullScreenWanted = false;
  bool windowMode = false;
  bool screenInvalid = false;
  uint32_t framesPresented = 0, framesAtLastCount = 0, lastCountTime = 0;
  int framesPerSecond = 0;
  std::string lastEngineError;
};
extern DisplayState Display2D;

// One bitmap slot; bitmap 0 is the back buffer. Owner: bitmaps.cpp; cleared by ResetBitmaps.
struct BitmapInfo {
  Surface* surface = nullptr;   // bitmap 0: the back buffer (not owned)
  int width = 0, height = 0, depth = 0;
  bool mirrored = false, flipped = false;
  uint32_t generation = 1;      // bumped whenever the slot's surface changes (at replay)
  // The generation the slot will have once every queued create, load and delete of it has
  // been replayed: new records are stamped with it, so a record queued after "create bitmap"
  // and before the replay draws on the new bitmap. Bumped by those commands when issued.
  uint32_t plannedGeneration = 1;
};
BitmapInfo& BitmapSlot(int number);  // number 0..31
// The surface of a bitmap when it still is the one of that generation; null when gone.
Surface* BitmapSurfaceIfCurrent(int number, uint32_t generation);
void ResetBitmaps();            // start of a display: slot 0 = the back buffer, others freed
void AttachBackBufferToBitmapZero();  // a mode change's new back buffer; other slots stay
void ReleaseAllBitmaps();
// Replay steps of the bitmap ops (codes 1-11).
void ReplayBitmapOp(DrawOp& op);

// Colours, targets and text state of the queue. Owner: draw_queue.cpp; reset by Reset2DState.
struct DrawState {
  int recordBitmap = 0;         // drawing bitmap for new records
  int replayBitmap = 0;         // drawing bitmap of the replay's bitmap ops
  uint32_t paperPixel = 0, inkPixel = 0xFFFFFF;
  int paperRgb[3] = {0, 0, 0}, inkRgb[3] = {255, 255, 255};
};
extern DrawState Draw2D;
void Reset2DState();
// Sets paper and ink from 0xRRGGBB colours in the screen's pixel format; ink -1 keeps the ink.
void InkToPixel(int32_t paper, int32_t ink);
// Colour of 0xRRGGBB as the screen shows it (16-bit screens lose the low bits).
uint32_t ColourToPixel(int32_t colour);

// Appends a record aimed at the current drawing bitmap; returns its index (valid until the next
// allocation) or -1 with error 101. The refresh count follows the code's rule.
int32_t RecordDrawOp(int32_t code, int32_t x = 0, int32_t y = 0, int32_t x2 = 0, int32_t y2 = 0, int32_t number = 0,
                     const char* text = nullptr);
DrawOp* DrawOpAt(int32_t index);
// The pools' registration with the runtime, one per owning file.
void RegisterDrawOpPool();
void RegisterImagePool();
void RegisterSpritePool();
// Sets the record-time drawing bitmap (set-current, create, load and delete commands).
void SetRecordBitmap(int number);

// Replay steps of the other families.
void ReplayDrawingOp(DrawOp& op, Surface& target);  // 101-110
void ReplayImageOp(DrawOp& op, Surface* target);    // 51-56
void ReplayTextOp(DrawOp& op, Surface* target);     // 201-213 and text of 102/110
void ResetTextState();
void ReleaseTextState();
// Draws text with the current font and colours at x, y (op 102, 110, 212, 213).
void DrawTextOnSurface(Surface& target, int x, int y, const char* text, bool forceOpaque, bool centred);

// Pixel effects of ops 8-11 and 56.
void MirrorSurface(Surface& surface);
void FlipSurface(Surface& surface);
void BlurSurface(Surface& surface, int passes);
void FadeSurface(Surface& surface, int percent);

// Makes an image record with a surface of width x height; -1 on failure (error raised).
int32_t CreateImageRecord(int32_t number, int width, int height);
void ReleaseImageRecord(int32_t index);
void ReleaseAllImages();
// Draws one 2D sprite onto the target (DrawSprite), and the sprite id map for the families.
void DrawSprite(Surface& target, SpriteRecord& sprite, int x, int y);
int32_t SpriteIndexForNumber(int32_t number);
// The sprite's live image record (looked up again when its image was deleted); -1 none.
int32_t SpriteImageIndex(SpriteRecord& sprite);
void ReleaseAllSprites();
// Positions and sizes come from the program: sums are made in 64 bits and kept to the int range.
inline int ClampToInt(int64_t value) {
  return static_cast<int>(value < INT32_MIN ? INT32_MIN : value > INT32_MAX ? INT32_MAX : value);
}
// A sprite's screen rectangle from its corner and scaled size.
inline SurfaceRect SpriteRectAt(int64_t left, int64_t top, int64_t width, int64_t height) {
  return SurfaceRect{ClampToInt(left), ClampToInt(top), ClampToInt(left + width), ClampToInt(top + height)};
}
// The pixel collision of two images placed at screen rectangles; 1 when opaque pixels meet.
int ImagesCollide(int32_t imageA, const SurfaceRect& rectA, int32_t imageB, const SurfaceRect& rectB, bool flipA,
                  bool mirrorA, bool flipB, bool mirrorB);

// The software pointer over a frame being presented: drawn (false when hidden or in window
// mode) and the pixels under it put back after presenting.
bool DrawMousePointer(Surface& target);
void RemoveMousePointer(Surface& target);

// Loads an image file named by the program (package first). Null on failure, which it has
// raised: error 105 when the file does not exist, 511 when the picture would pass the memory
// limit of images and bitmaps, warning 1003 when the file is unreadable.
Surface* LoadProgramImage(const char* name);
// Raises the error for a surface of width x height that could not be made: 511 when it would
// pass the memory limit of images and bitmaps, otherwise `otherwise`.
void RaiseSurfaceError(int width, int height, int otherwise);

// Command tables of the families (registered by RegisterGraphics2DCommands).
bool RegisterDrawingCommands();
bool RegisterBitmapCommands();
bool RegisterImageCommands();
bool RegisterSpriteCommands();
bool RegisterTextCommands();
bool RegisterDisplayModeCommands();
