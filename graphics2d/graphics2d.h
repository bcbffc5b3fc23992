// The 2D display's front door: display set-up and presenting, the deferred draw queue, bitmaps,
// images, sprites and text, the records they pool, and the hooks the main loop calls.
#pragma once
#include <cstdint>

#include "runtime/runtime.h"

struct Surface;

// ---------------------------------------------------------------------------------------
// Pooled records (pools owned by graphics2d; the engine3d entities reuse SpriteRecord)
// ---------------------------------------------------------------------------------------

// One sprite, or the display entity of a 3D object (is3D = 1). Fields are 32-bit.
struct SpriteRecord {
  int32_t next, prev;                // active list links
  int32_t shown;                     // 1 = drawn by the sprite passes
  int32_t deletedState;              // 0 live; 2 deleted while it keeps its background
  int32_t imageRecord;               // ImageRecord index drawn; -1 none
  int32_t imageNumber;               // the program's image number
  int32_t is3D;                      // 1 = display entity of a 3D object
  int32_t colourKey;                 // 1 = drawn with the transparent colour keyed out
  int32_t x, y;                      // screen position
  int32_t offsetX, offsetY;          // hot spot subtracted from x, y
  float scaleX, scaleY;              // 1.0 = the image's own size
  int32_t mirrored, flipped;         // 0/1
  int32_t spriteNumber;              // 1..65535, the id map key
  int32_t hitMemory;                 // result of the last sprite-collision query
  int32_t inUse;                     // 1 once a sprite command set it up
  float position3D[3];               // 3D position (engine3d)
  int32_t keepBackground;            // 1 = background saved and restored each frame
  int32_t backgroundImages[2];       // ImageRecord per buffer; -1 none
  int32_t priority;                  // 0, 1 or 2: the sprite pass
  int32_t backgroundLeft, backgroundTop;  // where the saved background goes back
  // Entity fields of the 3D render (engine3d writes and reads these).
  int32_t culled, zTest, zWrite, afterClear, ghost, ghostMode, wireframe, cull, filter;
  int32_t fullBright, fog, ambient, locked, selected, pickMark, addressMode, object;
  double depthKey;
};

// One image: its size and the surface in the parallel table (ImageSurface).
struct ImageRecord {
  int32_t next, prev;
  int32_t width, height;
  int32_t number;         // image number (0 for sprite backgrounds, which have no number)
  int32_t releaseFrames;  // >0: freed, released after this many more frames
};

// One deferred 2D drawing operation.
struct DrawOp {
  int32_t next, prev;
  int32_t code;
  int32_t x, y;
  int8_t refreshCount;        // replays left
  int32_t targetBitmap;       // drawing bitmap when recorded (0 = screen)
  uint32_t targetGeneration;  // that bitmap's surface generation when recorded; stale = skipped
  int32_t x2, y2;
  int32_t number;             // bitmap or image number
  uint8_t printFlag;          // effect ops: 1 once the pixel work has run
  int32_t sourceCommand;      // code index of the command that queued it (-1 none): replay errors
                              // report its line
  char payload[256];          // text, or a value in the first word, or nine words for op 6
};

// Sprite records by index (valid until the next sprite allocation).
SpriteRecord* SpriteAt(int32_t index);
// Takes a fresh sprite record (defaults set) and frees one; engine3d makes its entities here.
int32_t AllocSpriteSlot();
void FreeSpriteSlot(int32_t index);
// Index of the first active sprite record, -1 when none; walk with SpriteAt(i)->next.
int32_t FirstSpriteIndex();
// Image records by index and their surfaces (null for a free record); sprites and engine3d.
ImageRecord* ImageAt(int32_t index);
Surface* ImageSurface(int32_t index);
// engine3d's image textures: a stamp that changes whenever the image's picture does (made,
// replaced, drawn into or freed) and is never given to another picture.
uint64_t ImagePictureStamp(int32_t index);
// ImageRecord index of an image number, -1 when there is none.
int32_t ImageIndexForNumber(int32_t number);
// main.cpp registers the three pools (sprites, images, draw ops) before the player starts.
void RegisterGraphics2DPools();

// ---------------------------------------------------------------------------------------
// Display and frames (filled into the runtime's hooks by InstallGraphics2DHooks)
// ---------------------------------------------------------------------------------------

// Opens the 640x480 display: back buffer, flip-chain state, 2D defaults; false with the
// engine error set and error 10005 raised when its surfaces cannot be made.
bool InitDisplay(bool fullScreen, bool windowMode, bool reuse);
// Shows the back buffer (window, or counted when headless); 1 presented, 0 nothing shown.
int PresentFrame();
// Releases bitmaps, images, sprites, the queue and the back buffer; the shut-down and mode changes.
void ReleaseDisplay(bool keepDevice);
// The back buffer every draw op and the 3D render target; null before InitDisplay.
Surface* BackBuffer();
// The animation commands find a bitmap (0..31; 0 is the back buffer) as the frame step will:
// the generation it has once the queued commands are replayed, false when it is absent and no
// queued command changes it; then its surface while still of that generation, else null.
bool BitmapPlannedGeneration(int number, uint32_t* generation);
Surface* BitmapSurfaceOfGeneration(int number, uint32_t generation);
// The screen's size and depth (16 by default: colours keep 5, 6 and 5 bits).
int ScreenWidth();
int ScreenHeight();
int ScreenDepth();
// True when the display is a window on the desktop (the mouse then follows the system pointer).
bool DisplayWindowMode();
// Frames presented so far and the frame rate (0 until more than a second has passed).
uint32_t FramesPresented();
int FrameRate();
// The last engine set-up failure text; appended to runtime errors.
const char* LastEngineError();
// Keeps a set-up failure text and logs it in debug mode; the display and the 3D device set-up.
void WriteEngineErrorLog(const char* text);
// A medium the program asked for ("load animation intro.avi") cannot be opened for lack of a
// library (the problem names it): says so on stderr, once per medium, and keeps it as the
// engine error text, which ends the message of the runtime error that follows (the commands
// themselves only warn, and warnings are silent in a game).
void ReportMissingLibrary(const std::string& medium, const std::string& problem);
// After a picture failed to load with whyNot: reports it as above when the picture library
// (TIFF and PSD files) is what was missing. The image, bitmap and texture loads call it.
void ReportIfPictureLibraryMissing(const char* name, const std::string& whyNot);

// main.cpp: fills the display, draw-queue, sprite and mouse slots of the runtime's hooks.
void InstallGraphics2DHooks(RuntimeHooks& hooks);
// main.cpp: registers every 2D command family (drawing, bitmaps, images, sprites, text).
bool RegisterGraphics2DCommands();

// ---------------------------------------------------------------------------------------
// Draw queue, text, sprites (called by the hooks and by other families)
// ---------------------------------------------------------------------------------------

// The pre-step replays the queue; a run's end and display resets drop it; the manual-mode
// slice limit reads its length.
void ReplayDrawQueue();
// Texture making, before it reads an image's pixels: replays at once the queued loads, grabs
// and fades of the image (record index) and what was queued before them.
void SettleQueuedImage(int32_t imageIndex);
// The camera family's screen clear: queues a clear of the screen in the colour given (0xRRGGBB).
void QueueClearScreenWithColour(int32_t colour);
void DropDrawQueue();
int DrawQueueCount();
// The print built-in: queues the text at the text cursor and moves the cursor (newline = 1
// starts the next line).
void PrintAtCursor(const char* text, bool newline);
// INPUT's typed line at the text cursor (op 110, opaque, with a bar while typing); queued only
// when it changed. finished shows the whole line without the bar; the cursor does not move.
void ShowInputText(const char* typed, bool finished);
// Sprite frame steps: the pre-step restores the saved backgrounds, the post-step saves them
// under the sprites' new places and draws the sprites in three priority passes; a surface
// restore releases the saved backgrounds.
void RestoreSpriteBackgrounds();
void SaveSpriteBackgrounds();
void ReleaseSpriteBackgrounds();
void DrawSprites();
// Releases the images freed a few frames ago; the post-step calls it once a frame.
void CountDownImageReleases();
// Software mouse pointer: follows the mouse state; hidden or shown by the mouse commands.
void UpdateMousePointer();
void ResetMousePointer();
void ShowMousePointer(bool shown);
bool MousePointerShown();
// The development environment's pointer words: shape 1 to 3 the arrow, 4 the arrow with the
// text bar at its position, 5 hidden; the display stage (2 while the environment's screen is
// shown, 3 with a requester open, 0 otherwise) parks the program's pointer off the screen above 1.
void SetMousePointerShape(int shape);
int MousePointerShape();
void SetTextBarPosition(int x, int y);
void SetDisplayStage(int stage);
int DisplayStage();
// The 2D steps of one main-loop pass in their order (restore backgrounds, replay the queue,
// pending image releases, save backgrounds, sprites, present): tests and benchmarks.
void Run2DFrameSteps();
// Saves the back buffer to a file by extension (the screen-save request); false on failure,
// with the reason ("cannot write PATH: REASON") in *whyNot.
bool SaveScreenImage(const char* path, std::string* whyNot = nullptr);
// The post-step's screen save (Hooks.SaveScreenToFile): the program's file name, mapped; a
// failed save is error 1004.
void SaveScreenToFile(const char* fileName);
// A display-mode change (the set-display-mode command, later the display switches): a new back
// buffer of width x height at depth 16 or 32; images, sprites and bitmaps 1-31 stay, the queue
// and the sprite backgrounds go, the 3D scene is restored. A mode the display cannot take
// leaves the old one in force with warning 1503; false then.
bool SetDisplayMode(int width, int height, int depth);
// 1556's flag: true once after each display start or mode change.
bool TakeScreenInvalid();
