// The animation commands: video files 1..32 played onto the screen or a bitmap. Each frame the
// step decodes the frame the video's clock has reached and copies the current one into the
// animation's rectangle, cut to its target; the sound track plays through a library stream.
#include <algorithm>
#include <string>

#include "commands/commands.h"
#include "commands/sound_local.h"
#include "graphics2d/graphics2d.h"
#include "platform/carried.h"
#include "platform/device3d.h"
#include "platform/surface.h"
#include "platform/video.h"
#include "runtime/command_numbers.h"
#include "sound/stream.h"

namespace {

constexpr int kAnimationSlots = 33;  // 1..32; slot 0 is never used by a command
constexpr int kSoundBufferBytes = 44100 / 10 * 4;  // 100 ms of 16-bit stereo per half

struct AnimationSlot {  // cleared by FreeAllAnimations at the end of every run
  uint8_t loaded, playing, paused, looping;
  int32_t values[2];    // both 100 on load; read by no command
};

// What plays a slot. The target is a bitmap number and the generation it had when the play
// command was given: a bitmap deleted or made anew since then is not drawn on.
struct AnimationStream {
  std::string fileName;         // as the program gave it (looked up in the package at each open)
  int targetBitmap = -1;        // -1 none yet, 0 the screen
  uint32_t targetGeneration = 0;
  VideoFile* video = nullptr;   // null when closed
  bool running = false;         // the clock runs and frames are decoded
  Surface* frame = nullptr;     // the current frame at the video's size; kept while paused
  SndStream* sound = nullptr;   // the sound track, when the library is on and the file has one
  bool soundStarted = false;
  SurfaceRect dest{};           // where the frame is drawn, before cutting to the target
  bool drawing = false;         // a frame surface was made
  bool restartAtEnd = false;
  int place[4] = {0, 0, 0, 0};  // x1, y1, x2, y2 as last given
};

AnimationSlot gSlots[kAnimationSlots];
AnimationStream gStreams[kAnimationSlots];

// The surface the slot draws on now, or null (no target, or the bitmap is gone).
Surface* TargetSurface(const AnimationStream& s) {
  if (s.targetBitmap == 0) return BackBuffer();
  if (s.targetBitmap < 0) return nullptr;
  return BitmapSurfaceOfGeneration(s.targetBitmap, s.targetGeneration);
}

// The destination rectangle cut to the target (the screen's size while the target is not made
// yet); what the position and size queries answer.
SurfaceRect ClippedRect(const AnimationStream& s) {
  const Surface* target = TargetSurface(s);
  const int width = target != nullptr ? target->width : ScreenWidth();
  const int height = target != nullptr ? target->height : ScreenHeight();
  SurfaceRect r = s.dest;
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  r.right = std::min(r.right, width);
  r.bottom = std::min(r.bottom, height);
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

bool FillSound(SndStream*, void* buffer, int bytes, void* user) {
  VideoReadSound(static_cast<AnimationStream*>(user)->video, static_cast<int16_t*>(buffer), bytes / 4);
  return true;  // silence while the queue is empty; the stream ends when the animation closes
}

bool OpenAnimationStream(AnimationStream& s) {
  std::string path = s.fileName;
  if (!ResolvePackagedFile(path, "avi")) path = MapProgramPath(path.c_str());
  std::string whyNot;
  s.video = VideoOpen(path, &whyNot);
  if (s.video == nullptr) {
    const std::string missing = PlatformUseProblem(CarriedUse::kVideo);
    if (!missing.empty()) ReportMissingLibrary("load animation " + s.fileName, missing);
    return false;
  }
  if (SoundGlue().soundOn && VideoHasSound(s.video)) {
    s.sound = SndStreamCreate(FillSound, kSoundBufferBytes, kSnd16Bits | kSndStereo | kSnd2D, 44100, &s);
    if (s.sound != nullptr) VideoEnableSound(s.video);
  }
  return true;
}

void PauseAnimationStream(AnimationStream& s) {
  if (s.video != nullptr) VideoSetRunning(s.video, false);
  if (s.sound != nullptr && s.soundStarted) SndStreamSetPaused(s.sound, true);
  s.running = false;
}

void CloseAnimationStream(AnimationStream& s) {
  PauseAnimationStream(s);
  if (s.sound != nullptr) SndStreamClose(s.sound);  // before the video its feeder reads
  s.sound = nullptr;
  s.soundStarted = false;
  VideoClose(s.video);
  s.video = nullptr;
  SurfaceDestroy(s.frame);
  s.frame = nullptr;
  s.drawing = false;
}

// The frame surface at the video's size, made once and kept across pause and resume.
bool CreateAnimationSample(AnimationStream& s) {
  if (s.targetBitmap < 0) return false;
  const int width = VideoWidth(s.video), height = VideoHeight(s.video);
  if (s.frame != nullptr && (s.frame->width != width || s.frame->height != height)) {
    SurfaceDestroy(s.frame);
    s.frame = nullptr;
  }
  if (s.frame == nullptr) s.frame = SurfaceCreate(width, height);
  if (s.frame == nullptr) return false;
  s.drawing = true;
  return true;
}

void RunAnimationStream(AnimationStream& s) {
  VideoSetRunning(s.video, true);
  s.running = true;
  if (s.sound == nullptr) return;
  if (!s.soundStarted)
    s.soundStarted = SndStreamPlay(-1, s.sound) >= 0;
  else
    SndStreamSetPaused(s.sound, false);
}

// Starts (or restarts) the slot onto the target (-1 keeps the one it has). With useRect the
// rectangle becomes the placement. Restart closes a stopped stream so it opens afresh; a
// running one is sought back to its start. False when nothing can be played; a rectangle of
// no width or height is refused.
bool OpenAnimationToSurface(AnimationStream& s, bool useRect, int x1, int y1, int x2, int y2, int bitmap,
                            uint32_t generation, bool restart) {
  if (bitmap >= 0) {
    s.targetBitmap = bitmap;
    s.targetGeneration = generation;
  }
  if (s.running) {
    if (!VideoSeekStart(s.video)) return false;
  } else if (s.video != nullptr && restart) {
    CloseAnimationStream(s);
  }
  if (useRect) {
    s.place[0] = x1, s.place[1] = y1, s.place[2] = x2, s.place[3] = y2;
  }
  if (s.video == nullptr && !OpenAnimationStream(s)) return false;
  const int* p = s.place;
  s.dest = (p[2] == 0 && p[3] == 0) ? SurfaceRect{p[0], p[1], p[0] + VideoWidth(s.video), p[1] + VideoHeight(s.video)}
                                    : SurfaceRect{p[0], p[1], p[2], p[3]};
  if (s.dest.right <= s.dest.left || s.dest.bottom <= s.dest.top || !CreateAnimationSample(s)) {
    CloseAnimationStream(s);
    return false;
  }
  RunAnimationStream(s);
  return true;
}

// Opens the file once to learn its size (the rectangle at 0, 0 on the screen), then closes it.
bool LoadAnimation(AnimationStream& s, const char* name) {
  s = AnimationStream{};
  s.fileName = name;
  if (!OpenAnimationStream(s)) return false;
  s.targetBitmap = 0;
  s.dest = SurfaceRect{0, 0, VideoWidth(s.video), VideoHeight(s.video)};
  CloseAnimationStream(s);
  return true;
}

// Copies the current frame into the target, stretched into the rectangle and cut to the
// target. On the screen the 2D side of the back buffer is claimed first, so a 3D picture
// drawn before is kept under the frame and one drawn after it goes over it.
void DrawAnimationFrame(AnimationStream& s) {
  Surface* target = TargetSurface(s);
  if (target == nullptr || s.frame == nullptr) return;
  if (s.targetBitmap == 0) Device3dClaimCpuSide();
  const SurfaceRect source{0, 0, s.frame->width, s.frame->height};
  if (SurfaceStretchBlit(*target, s.dest, *s.frame, source, {}) == SurfaceResult::kLost && SurfaceRestore(*target))
    SurfaceStretchBlit(*target, s.dest, *s.frame, source, {});
}

// Each frame draws the current frame again, as the picture under it was made anew; over a
// held picture only a new frame is drawn, so what was drawn over the video before stays.
void StepAnimation(int number, bool pictureHeld) {
  AnimationStream& s = gStreams[number];
  bool newFrame = false;
  if (s.running) {
    const VideoStep step = VideoNextFrame(s.video, *s.frame);
    newFrame = step == VideoStep::kFrame;
    if (step == VideoStep::kEnded) {
      if (s.restartAtEnd) {
        // The first frame at once.
        newFrame = VideoSeekStart(s.video) && VideoNextFrame(s.video, *s.frame) == VideoStep::kFrame;
      } else {
        PauseAnimationStream(s);
        gSlots[number].playing = 0;
      }
    }
  }
  if (s.drawing && (newFrame || !pictureHeld)) DrawAnimationFrame(s);
}

void FreeAnimationSlot(int number) {
  CloseAnimationStream(gStreams[number]);
  gStreams[number] = AnimationStream{};
  gSlots[number] = AnimationSlot{};
}

bool AnimationNumberOk(int32_t number) {
  if (number >= 1 && number < kAnimationSlots) return true;
  RuntimeError(2001);
  return false;
}

// The slot when it holds an animation, else null with the error raised.
AnimationSlot* LoadedAnimation(int32_t number) {
  if (!AnimationNumberOk(number)) return nullptr;
  if (gSlots[number].loaded) return &gSlots[number];
  RuntimeError(2004);
  return nullptr;
}

void CmdAnimationLoad() {  // file, animation
  const char* name = TextOperand(0);
  const int32_t number = IntOperand(1);
  AdvanceOperands(2);
  if (!AnimationNumberOk(number)) return;
  if (gSlots[number].loaded) FreeAnimationSlot(number);
  if (!LoadAnimation(gStreams[number], name)) {
    RuntimeError(2002);
    return;
  }
  gSlots[number] = AnimationSlot{1, 0, 0, 0, {100, 100}};
}

void CmdAnimationDelete() {  // animation
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  if (LoadedAnimation(number) != nullptr) FreeAnimationSlot(number);
}

// The play and loop commands: onto bitmap (0 the screen) with a rectangle or the placement.
void PlayAnimation(int32_t number, bool looping, bool useRect, int bitmap, int x1, int y1, int x2, int y2) {
  AnimationSlot* slot = LoadedAnimation(number);
  if (slot == nullptr) return;
  uint32_t generation = 0;
  if (bitmap != 0) {
    if (bitmap < 0 || bitmap > 31) return RuntimeError(1001);
    if (!BitmapPlannedGeneration(bitmap, &generation)) return RuntimeError(1002);
  }
  AnimationStream& s = gStreams[number];
  const bool played = OpenAnimationToSurface(s, useRect, x1, y1, x2, y2, bitmap, generation, !looping);
  if (!played && !looping) return RuntimeError(2007);
  s.restartAtEnd = looping;
  slot->playing = 1;
  slot->looping = looping ? 1 : 0;
  slot->paused = 0;
}

template <bool Looping>
void CmdAnimationPlay() {  // animation
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  PlayAnimation(number, Looping, false, 0, 0, 0, 0, 0);
}

void CmdAnimationPlayAt() {  // animation, x, y
  const int32_t number = IntOperand(0), x = IntOperand(1), y = IntOperand(2);
  AdvanceOperands(3);
  PlayAnimation(number, false, true, 0, x, y, 0, 0);
}

void CmdAnimationPlayInRect() {  // animation, x1, y1, x2, y2
  const int32_t number = IntOperand(0), x1 = IntOperand(1), y1 = IntOperand(2), x2 = IntOperand(3),
                y2 = IntOperand(4);
  AdvanceOperands(5);
  PlayAnimation(number, false, true, 0, x1, y1, x2, y2);
}

template <bool Looping>
void CmdAnimationPlayToBitmap() {  // animation, bitmap, x1, y1, x2, y2
  const int32_t number = IntOperand(0), bitmap = IntOperand(1), x1 = IntOperand(2), y1 = IntOperand(3),
                x2 = IntOperand(4), y2 = IntOperand(5);
  AdvanceOperands(6);
  PlayAnimation(number, Looping, true, bitmap, x1, y1, x2, y2);
}

void CmdAnimationPlace() {  // animation, x1, y1, x2, y2
  const int32_t number = IntOperand(0), x1 = IntOperand(1), y1 = IntOperand(2), x2 = IntOperand(3),
                y2 = IntOperand(4);
  AdvanceOperands(5);
  if (LoadedAnimation(number) == nullptr) return;
  AnimationStream& s = gStreams[number];
  s.place[0] = x1, s.place[1] = y1, s.place[2] = x2, s.place[3] = y2;
  s.dest = SurfaceRect{x1, y1, x2, y2};
}

void CmdAnimationStop() {  // animation
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  AnimationSlot* slot = LoadedAnimation(number);
  if (slot == nullptr) return;
  AnimationStream& s = gStreams[number];
  if (s.video == nullptr) return RuntimeError(2008);
  CloseAnimationStream(s);
  slot->playing = slot->looping = 0;
}

void CmdAnimationPause() {  // animation
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  AnimationSlot* slot = LoadedAnimation(number);
  if (slot == nullptr) return;
  AnimationStream& s = gStreams[number];
  if (!s.running) return RuntimeError(2008);  // also when paused already: nothing runs to pause
  PauseAnimationStream(s);
  if (slot->paused) return RuntimeError(2009);
  slot->paused = 1;
}

void CmdAnimationResume() {  // animation
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  AnimationSlot* slot = LoadedAnimation(number);
  if (slot == nullptr) return;
  AnimationStream& s = gStreams[number];
  if (s.running || s.video == nullptr || !OpenAnimationToSurface(s, false, 0, 0, 0, 0, -1, 0, false))
    return RuntimeError(2010);
  slot->paused = 0;
}

void CmdAnimationExist() {  // result, animation
  const int32_t number = IntOperand(1);
  if (AnimationNumberOk(number)) WriteIntResult(gSlots[number].loaded);
  AdvanceOperands(2);
}

template <uint8_t AnimationSlot::*Flag>
void CmdAnimationFlag() {  // result, animation
  const int32_t number = IntOperand(1);
  if (const AnimationSlot* slot = LoadedAnimation(number)) WriteIntResult(slot->*Flag);
  AdvanceOperands(2);
}

// 0 left, 1 top, 2 width, 3 height of the rectangle as cut to the target.
template <int Which>
void CmdAnimationRect() {  // result, animation
  const int32_t number = IntOperand(1);
  if (LoadedAnimation(number) != nullptr) {
    const SurfaceRect r = ClippedRect(gStreams[number]);
    const int32_t values[4] = {r.left, r.top, r.right - r.left, r.bottom - r.top};
    WriteIntResult(values[Which]);
  }
  AdvanceOperands(2);
}

const CommandEntry kAnimationCommands[] = {
    {kAnimationLoad, CmdAnimationLoad},
    {kAnimationDelete, CmdAnimationDelete},
    {kAnimationPlay, CmdAnimationPlay<false>},
    {kAnimationStop, CmdAnimationStop},
    {kAnimationPause, CmdAnimationPause},
    {kAnimationResume, CmdAnimationResume},
    {kAnimationLoop, CmdAnimationPlay<true>},
    {kAnimationPlayAt, CmdAnimationPlayAt},
    {kAnimationPlayInRect, CmdAnimationPlayInRect},
    {kAnimationPlace, CmdAnimationPlace},
    {kAnimationPlayToBitmap, CmdAnimationPlayToBitmap<false>},
    {kAnimationLoopToBitmap, CmdAnimationPlayToBitmap<true>},
    {kAnimationExist, CmdAnimationExist},
    {kAnimationPlaying, CmdAnimationFlag<&AnimationSlot::playing>},
    {kAnimationPaused, CmdAnimationFlag<&AnimationSlot::paused>},
    {kAnimationLooping, CmdAnimationFlag<&AnimationSlot::looping>},
    {kAnimationPositionX, CmdAnimationRect<0>},
    {kAnimationPositionY, CmdAnimationRect<1>},
    {kAnimationWidth, CmdAnimationRect<2>},
    {kAnimationHeight, CmdAnimationRect<3>},
};

}  // namespace

bool RegisterAnimationCommands() { return RegisterCommandsStartingSound(kAnimationCommands); }

void UpdateAnimations(bool pictureHeld) {
  for (int number = 1; number < kAnimationSlots; ++number)
    if (gSlots[number].loaded) StepAnimation(number, pictureHeld);
}

void FreeAllAnimations() {
  for (int number = 0; number < kAnimationSlots; ++number) FreeAnimationSlot(number);
}
