// Frames over a whole program run through the player: in automatic refresh mode a program
// that loops without drawing still gets a frame every slice (33 ms), never more often than
// the frame wait (25 ms); in manual mode the loop keeps one slice and shows no frames; while
// the program waits, the frame shown when the wait began stays on the screen.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "graphics2d/graphics2d.h"
#include "platform/surface.h"
#include "runtime/builtins.h"
#include "runtime/command_numbers.h"
#include "tests/asm/qvasm.h"

namespace {

constexpr int kLoopMilliseconds = 300;

// A program that loops until the timer has moved kLoopMilliseconds, drawing nothing.
std::vector<uint8_t> TimerLoop(bool manualRefresh) {
  qvasm::ProgramBuilder b;
  const int start = b.IntVar(), now = b.IntVar(), elapsed = b.IntVar(), done = b.IntVar();
  if (manualRefresh) b.Emit(kManualRefreshMode);
  b.Emit(kTimer, {b.Id(start)});
  qvasm::Label loop = b.NewLabel();
  b.Bind(loop);
  b.Emit(kTimer, {b.Id(now)});
  b.Emit(kSubtractII, {b.Id(elapsed), b.Id(now), b.Id(start)});
  b.Emit(kGreaterOrEqualII, {b.Id(done), b.Id(elapsed), b.Id(b.IntConst(kLoopMilliseconds))});
  b.Emit(kJumpIfZero, {b.Id(done), b.At(loop)});
  return b.Build();
}

// Runs the program through the player with the 2D display; returns the frames it showed.
uint32_t FramesOverRun(const std::vector<uint8_t>& program) {
  static bool wired = [] {
    RegisterRuntimeCommands();
    RegisterCoreBuiltins();
    RegisterGraphics2DCommands();
    RegisterGraphics2DPools();
    InstallGraphics2DHooks(Hooks);
    return true;
  }();
  (void)wired;
  char pattern[] = "/tmp/qv-pacing-XXXXXX";
  const int fd = mkstemp(pattern);
  EXPECT_GE(fd, 0);
  FILE* file = fdopen(fd, "wb");
  std::fwrite(program.data(), 1, program.size(), file);
  std::fclose(file);
  char name[] = "quorvanel";
  char* argv[] = {name, nullptr};
  const uint32_t before = FramesPresented();
  EXPECT_EQ(RunCompiledProgramFile(pattern, 1, argv), 0);
  std::remove(pattern);
  // The display's start-up presents twice before the program runs.
  return FramesPresented() - before - 2;
}

TEST(FramePacing, AutomaticModeShowsAFramePerSliceWithinTheFrameWait) {
  const uint32_t frames = FramesOverRun(TimerLoop(false));
  EXPECT_GE(frames, 5u) << "slices of 33 ms must end while the program loops";
  EXPECT_LE(frames, static_cast<uint32_t>(kLoopMilliseconds / 25 + 3)) << "frames are at least 25 ms apart";
}

TEST(FramePacing, ManualModeWithoutSyncKeepsOneSlice) {
  // The first empty slice, the slice the mode command ends, and the one holding the whole loop.
  EXPECT_LE(FramesOverRun(TimerLoop(true)), 3u);
}

// A box drawn, then WAIT: every frame from the one showing the box to the end of the wait
// shows it, although the screen is cleared before each new frame (as a program in 3D has it).
TEST(FramePacing, AWaitKeepsThePictureItBeganWith) {
  qvasm::ProgramBuilder b;
  b.Emit(kDrawBox, {b.Id(b.IntConst(10)), b.Id(b.IntConst(10)), b.Id(b.IntConst(20)), b.Id(b.IntConst(20))});
  b.Emit(kWait, {b.Id(b.IntConst(kLoopMilliseconds))});
  static std::string shown;  // per frame presented: '#' with the box, '.' without
  shown.clear();
  const RuntimeHooks saved = Hooks;
  FramesOverRun(b.Build());  // wires the display's hooks the first time
  Hooks.ClearViewport = [] {
    Surface* back = BackBuffer();
    SurfaceFill(*back, SurfaceRect{0, 0, back->width, back->height}, 0);
  };
  Hooks.PresentFrame = [] {
    const Surface* back = BackBuffer();
    shown += (back->pixels[15 * static_cast<size_t>(back->width) + 15] & 0xFFFFFF) != 0 ? '#' : '.';
    return PresentFrame();
  };
  FramesOverRun(b.Build());
  Hooks = saved;
  const size_t first = shown.find('#');
  ASSERT_NE(first, std::string::npos) << shown;
  EXPECT_EQ(shown.find('.', first), std::string::npos) << shown;
  EXPECT_GE(shown.size() - first, 5u) << "frames go on during the wait: " << shown;
}

}  // namespace
