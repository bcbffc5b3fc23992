// The animation commands on a headless display with a stepped video clock: the family's table
// on every path, frames on the screen by pixel, the end of a video and looping, a bitmap
// target smaller than the screen, refused rectangles and pause/resume without leaks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "commands/commands.h"
#include "graphics2d/graphics2d.h"
#include "platform/device3d.h"
#include "platform/surface.h"
#include "platform/video.h"
#include "runtime/command_numbers.h"
#include "tests/asm/command_call.h"
#include "tests/platform/video_fixture.h"

namespace {

using qvasm::kIntResult;
namespace fs = std::filesystem;

uint32_t gNow = 0;
uint32_t SteppedClock() { return gNow; }

class AnimationCommandsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = fs::temp_directory_path() / ("qv-animation-commands-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    avi_ = (folder_ / "pattern.avi").string();
    ASSERT_TRUE(video_fixture::Make(avi_, video_fixture::kPattern()));
    frames_ = video_fixture::Frames(avi_, 64, 48);
    ASSERT_EQ(frames_.size(), 10u);
    RegisterGraphics2DPools();
  }
  static void TearDownTestSuite() { fs::remove_all(folder_); }
  void SetUp() override {
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterAnimationCommands());
    ASSERT_TRUE(RegisterGraphics2DCommands());
    ASSERT_TRUE(CreateRecordPools());
    ASSERT_TRUE(InitDisplay(false, false, false));
    gNow = 5000;
    VideoSetClockForTests(SteppedClock);
  }
  void TearDown() override {
    FreeAllAnimations();
    VideoSetClockForTests(nullptr);
    ReleaseDisplay(false);
    FreeRecordPools();
    ClearCommandRegistry();
  }
  int32_t Query(int command, int animation) { return calls.IntResult(command, {kIntResult, animation}); }
  // One frame: the queued drawing, then the animations' step, `ms` later on the video clock.
  void Frame(uint32_t ms) {
    gNow += ms;
    ReplayDrawQueue();
    UpdateAnimations();
  }
  // The w x h block at x, y of a surface.
  static std::vector<uint32_t> Block(const Surface& s, int x, int y, int w, int h) {
    std::vector<uint32_t> block;
    for (int row = y; row < y + h; ++row)
      for (int col = x; col < x + w; ++col) block.push_back(s.pixels[static_cast<size_t>(row) * s.width + col]);
    return block;
  }
  // The same block of a frame of the fixture.
  static std::vector<uint32_t> FrameBlock(int frame, int x, int y, int w, int h) {
    std::vector<uint32_t> block;
    for (int row = y; row < y + h; ++row)
      for (int col = x; col < x + w; ++col) block.push_back(frames_[frame][static_cast<size_t>(row) * 64 + col]);
    return block;
  }
  static inline fs::path folder_;
  static inline std::string avi_;
  static inline std::vector<std::vector<uint32_t>> frames_;
  qvasm::CommandCaller calls;
};

TEST_F(AnimationCommandsTest, EveryCommandConsumesItsOperandsAndRaisesItsErrors) {
  const std::string missing = (folder_ / "missing.avi").string();
  calls.ExpectErrors({
      {kAnimationLoad, {avi_, 0}, 2001},
      {kAnimationLoad, {avi_, 33}, 2001},
      {kAnimationLoad, {missing, 2}, 2002},
      {kAnimationLoad, {avi_, 1}, 0},
      {kAnimationExist, {kIntResult, 2}, 0},
      {kAnimationExist, {kIntResult, 0}, 2001},
      {kAnimationPlaying, {kIntResult, 2}, 2004},
      {kAnimationStop, {1}, 2008},     // loaded, not playing
      {kAnimationPause, {1}, 2008},
      {kAnimationResume, {1}, 2010},
      {kAnimationPlay, {1}, 0},
      {kAnimationPlay, {2}, 2004},
      {kAnimationPlay, {-1}, 2001},
      {kAnimationPause, {1}, 0},
      {kAnimationPause, {1}, 2008},    // paused: nothing runs to pause
      {kAnimationResume, {1}, 0},
      {kAnimationResume, {1}, 2010},   // running already
      {kAnimationLoop, {1}, 0},
      {kAnimationLoop, {2}, 2004},
      {kAnimationPlayAt, {1, 10, 20}, 0},
      {kAnimationPlayAt, {2, 10, 20}, 2004},
      {kAnimationPlayInRect, {1, 0, 0, 128, 96}, 0},
      {kAnimationPlayInRect, {1, 10, 10, 10, 60}, 2007},  // no width
      {kAnimationPlayInRect, {33, 0, 0, 128, 96}, 2001},
      {kAnimationPlace, {1, 5, 6, 69, 54}, 0},
      {kAnimationPlace, {2, 5, 6, 69, 54}, 2004},
      {kAnimationPlayToBitmap, {1, 32, 0, 0, 0, 0}, 1001},
      {kAnimationPlayToBitmap, {1, -1, 0, 0, 0, 0}, 1001},
      {kAnimationPlayToBitmap, {1, 3, 0, 0, 0, 0}, 1002},
      {kAnimationPlayToBitmap, {2, 3, 0, 0, 0, 0}, 2004},
      {kAnimationPlayToBitmap, {1, 0, 0, 0, 0, 0}, 0},
      {kAnimationPlayToBitmap, {1, 0, 4, 4, 4, 9}, 2007},
      {kAnimationLoopToBitmap, {1, 0, 0, 0, 0, 0}, 0},
      {kAnimationLoopToBitmap, {1, 40, 0, 0, 0, 0}, 1001},
      {kAnimationLoopToBitmap, {1, 3, 0, 0, 0, 0}, 1002},
      {kAnimationLoopToBitmap, {0, 3, 0, 0, 0, 0}, 2001},
      {kAnimationPaused, {kIntResult, 1}, 0},
      {kAnimationPaused, {kIntResult, 2}, 2004},
      {kAnimationLooping, {kIntResult, 1}, 0},
      {kAnimationLooping, {kIntResult, 99}, 2001},
      {kAnimationPositionX, {kIntResult, 1}, 0},
      {kAnimationPositionY, {kIntResult, 2}, 2004},
      {kAnimationWidth, {kIntResult, 1}, 0},
      {kAnimationHeight, {kIntResult, 33}, 2001},
      {kAnimationStop, {1}, 0},
      {kAnimationStop, {2}, 2004},
      {kAnimationDelete, {1}, 0},
      {kAnimationDelete, {1}, 2004},
      {kAnimationDelete, {0}, 2001},
  });
  EXPECT_EQ(Query(kAnimationExist, 1), 0);
}

// Each frame shows the frame the clock has reached; a video that does not loop ends on its
// last frame, which stays on the screen with playing 0; a looping one starts again.
TEST_F(AnimationCommandsTest, FramesFollowTheClockTheEndKeepsTheLastFrameAndLoopingRestarts) {
  calls.Run(kAnimationLoad, {avi_, 1});
  EXPECT_EQ(Query(kAnimationWidth, 1), 64);
  EXPECT_EQ(Query(kAnimationHeight, 1), 48);
  calls.Run(kAnimationPlayAt, {1, 100, 50});
  Surface& screen = *BackBuffer();
  Frame(0);
  EXPECT_EQ(Block(screen, 100, 50, 64, 48), frames_[0]);
  Frame(330);
  EXPECT_EQ(Block(screen, 100, 50, 64, 48), frames_[3]);
  EXPECT_EQ(Query(kAnimationPlaying, 1), 1);
  Frame(700);  // past the end of the last frame (1000 ms)
  Frame(10);
  EXPECT_EQ(Query(kAnimationPlaying, 1), 0);
  Frame(500);
  EXPECT_EQ(Block(screen, 100, 50, 64, 48), frames_[9]);
  // Played again, it starts from its first frame; looping, it starts again after its end.
  calls.Run(kAnimationLoop, {1});
  Frame(0);
  EXPECT_EQ(Block(screen, 100, 50, 64, 48), frames_[0]);
  EXPECT_EQ(Query(kAnimationLooping, 1), 1);
  Frame(950);
  EXPECT_EQ(Block(screen, 100, 50, 64, 48), frames_[9]);
  Frame(60);  // the end: back to the start
  EXPECT_EQ(Block(screen, 100, 50, 64, 48), frames_[0]);
  Frame(120);
  EXPECT_EQ(Block(screen, 100, 50, 64, 48), frames_[1]);
  EXPECT_EQ(Query(kAnimationPlaying, 1), 1);
  // Stopped, it no longer draws.
  calls.Run(kAnimationStop, {1});
  calls.Run(kDrawCls, {});
  Frame(100);
  EXPECT_EQ(Block(screen, 100, 50, 64, 48), std::vector<uint32_t>(64 * 48, 0u));
  EXPECT_EQ(calls.TakeError(), 0);
}

// Onto a bitmap smaller than the screen, the frame is cut to the bitmap (the queries answer
// the cut rectangle); stretched into a rectangle twice the size, each pixel doubles. A bitmap
// deleted under a playing animation is no longer drawn on.
TEST_F(AnimationCommandsTest, OntoABitmapTheFrameIsCutToTheBitmap) {
  calls.Run(kBitmapCreate, {1, 40, 30});
  calls.Run(kAnimationLoad, {avi_, 1});
  calls.Run(kAnimationPlayToBitmap, {1, 1, 20, 10, 0, 0});
  EXPECT_EQ(calls.TakeError(), 0);
  Frame(0);
  Surface* bitmap = BitmapSurfaceOfGeneration(1, [] {
    uint32_t generation = 0;
    BitmapPlannedGeneration(1, &generation);
    return generation;
  }());
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(Block(*bitmap, 20, 10, 20, 20), FrameBlock(0, 0, 0, 20, 20));
  EXPECT_EQ(Query(kAnimationPositionX, 1), 20);
  EXPECT_EQ(Query(kAnimationPositionY, 1), 10);
  EXPECT_EQ(Query(kAnimationWidth, 1), 20);
  EXPECT_EQ(Query(kAnimationHeight, 1), 20);
  EXPECT_EQ(Block(*BackBuffer(), 20, 10, 8, 8), std::vector<uint32_t>(64, 0u));  // the screen untouched
  // Stretched to 128x96 and partly above the screen's top edge.
  calls.Run(kAnimationPlayInRect, {1, 600, -10, 728, 86});
  Frame(0);
  EXPECT_EQ(Query(kAnimationWidth, 1), 40);
  EXPECT_EQ(Query(kAnimationHeight, 1), 86);
  EXPECT_EQ(BackBuffer()->pixels[0 * 640 + 600], frames_[0][5 * 64 + 0]);
  EXPECT_EQ(BackBuffer()->pixels[20 * 640 + 639], frames_[0][15 * 64 + 19]);
  calls.Run(kAnimationPlayToBitmap, {1, 1, 0, 0, 0, 0});
  calls.Run(kBitmapDelete, {1});
  Frame(100);
  Frame(100);
  EXPECT_EQ(calls.TakeError(), 0);
}

// Pausing keeps the frame surface and resuming reuses it: a hundred cycles leave the surface
// memory where one play left it, and the video goes on from where it paused.
TEST_F(AnimationCommandsTest, PauseAndResumeNeitherLeakNorLoseThePosition) {
  calls.Run(kAnimationLoad, {avi_, 1});
  calls.Run(kAnimationPlay, {1});
  Frame(0);
  const size_t inUse = SurfaceMemoryInUse();
  for (int i = 0; i < 100; ++i) {
    calls.Run(kAnimationPause, {1});
    Frame(1000);
    calls.Run(kAnimationResume, {1});
    Frame(0);
  }
  EXPECT_EQ(SurfaceMemoryInUse(), inUse);
  EXPECT_EQ(Block(*BackBuffer(), 0, 0, 64, 48), frames_[0]);
  Frame(220);
  EXPECT_EQ(Block(*BackBuffer(), 0, 0, 64, 48), frames_[2]);
  EXPECT_EQ(Query(kAnimationPaused, 1), 0);
  EXPECT_EQ(calls.TakeError(), 0);
}

// Widths that are not a multiple of 16 (600x450 is a common size): each frame on the screen
// is the video's picture (within the colour conversion's rounding), and stopping and deleting
// end normally; the scaler once wrote past the end of its rows, which broke the heap.
TEST_F(AnimationCommandsTest, VideosOfEveryWidthPlayStopAndDelete) {
  for (int width : {600, 604, 608}) {
    SCOPED_TRACE(width);
    const std::string avi = (folder_ / ("wide" + std::to_string(width) + ".avi")).string();
    ASSERT_TRUE(video_fixture::Make(avi, "-f lavfi -i testsrc=size=" + std::to_string(width) +
                                             "x450:rate=10 -t 0.2 -c:v mpeg4 -pix_fmt yuv420p"));
    const auto frames = video_fixture::Frames(avi, width, 450);
    ASSERT_EQ(frames.size(), 2u);
    calls.Run(kAnimationLoad, {avi, 1});
    calls.Run(kAnimationPlay, {1});
    for (int frame = 0; frame < 2; ++frame) {
      Frame(frame == 0 ? 0 : 100);
      const std::vector<uint32_t> shown = Block(*BackBuffer(), 0, 0, width, 450);
      int worst = 0;
      for (size_t i = 0; i < shown.size(); ++i)
        for (int shift : {0, 8, 16, 24})
          worst = std::max(worst, std::abs(int((shown[i] >> shift) & 255) - int((frames[frame][i] >> shift) & 255)));
      EXPECT_LE(worst, 16) << "frame " << frame;
    }
    calls.Run(kAnimationStop, {1});
    calls.Run(kAnimationDelete, {1});
    EXPECT_EQ(calls.TakeError(), 0);
  }
}

// While the program waits the picture is held: a playing video goes on and draws each new
// frame over it, but a paused one, or one with no new frame, leaves the held picture alone.
TEST_F(AnimationCommandsTest, OverAHeldPictureOnlyANewFrameIsDrawn) {
  calls.Run(kAnimationLoad, {avi_, 1});
  calls.Run(kAnimationPlay, {1});
  Frame(0);
  Surface& screen = *BackBuffer();
  calls.Run(kDrawCls, {});
  ReplayDrawQueue();
  const auto cleared = std::vector<uint32_t>(64 * 48, 0u);
  gNow += 50;
  UpdateAnimations(true);
  EXPECT_EQ(Block(screen, 0, 0, 64, 48), cleared);
  gNow += 60;
  UpdateAnimations(true);
  EXPECT_EQ(Block(screen, 0, 0, 64, 48), frames_[1]);
  calls.Run(kAnimationPause, {1});
  calls.Run(kDrawCls, {});
  ReplayDrawQueue();
  gNow += 500;
  UpdateAnimations(true);
  EXPECT_EQ(Block(screen, 0, 0, 64, 48), cleared);
  EXPECT_EQ(calls.TakeError(), 0);
}

// A frame drawn on the screen first claims the back buffer for the CPU side, so a 3D picture
// the device drew before is brought in under it and not lost; onto a bitmap nothing is claimed.
int gClaims = 0;
TEST_F(AnimationCommandsTest, AFrameOnTheScreenClaimsTheBackBufferFirst) {
  Device3d counting{};
  counting.ClaimCpuSide = [] { ++gClaims; };
  Device3dInstall(&counting);
  calls.Run(kBitmapCreate, {1, 40, 30});
  calls.Run(kAnimationLoad, {avi_, 1});
  calls.Run(kAnimationPlayToBitmap, {1, 1, 0, 0, 0, 0});
  ReplayDrawQueue();
  gClaims = 0;
  UpdateAnimations();
  EXPECT_EQ(gClaims, 0);
  calls.Run(kAnimationPlay, {1});
  UpdateAnimations();
  EXPECT_EQ(gClaims, 1);
  Device3dInstall(nullptr);
  EXPECT_EQ(calls.TakeError(), 0);
}

}  // namespace
