// Video files over FFmpeg with a stepped clock: the frame each time shows (checked against
// ffmpeg's own decoding), the end after the last frame's duration, seeking back, the sound
// track, and files that are not videos.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/signals.h"
#include "platform/surface.h"
#include "platform/video.h"
#include "tests/platform/video_fixture.h"

namespace {

namespace fs = std::filesystem;

uint32_t gNow = 0;
uint32_t SteppedClock() { return gNow; }

class VideoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("qv-video-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    gNow = 1000;
    VideoSetClockForTests(SteppedClock);
  }
  void TearDown() override {
    VideoSetClockForTests(nullptr);
    fs::remove_all(folder_);
  }
  std::string Path(const char* name) { return (folder_ / name).string(); }
  fs::path folder_;
};

// The largest difference of one colour channel between two frames.
int Distance(const PixelVector& got, const std::vector<uint32_t>& want) {
  int worst = 0;
  for (size_t i = 0; i < want.size() && i < got.size(); ++i)
    for (int shift : {0, 8, 16})
      worst = std::max(worst, std::abs(int((got[i] >> shift) & 255) - int((want[i] >> shift) & 255)));
  return got.size() == want.size() ? worst : 256;
}

TEST_F(VideoTest, TheClockPicksTheFrameAndTheEndComesAfterTheLastFramesDuration) {
  const std::string avi = Path("pattern.avi");
  ASSERT_TRUE(video_fixture::Make(avi, video_fixture::kPattern()));
  const auto frames = video_fixture::Frames(avi, 64, 48);
  ASSERT_EQ(frames.size(), 10u);
  VideoFile* video = VideoOpen(avi);
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(VideoWidth(video), 64);
  EXPECT_EQ(VideoHeight(video), 48);
  EXPECT_FALSE(VideoHasSound(video));
  Surface* frame = SurfaceCreate(64, 48);
  // Standing, the clock stays at 0: the first frame, then nothing new.
  EXPECT_EQ(VideoNextFrame(video, *frame), VideoStep::kFrame);
  EXPECT_EQ(frame->pixels, frames[0]);
  gNow += 500;
  EXPECT_EQ(VideoNextFrame(video, *frame), VideoStep::kNotYet);
  VideoSetRunning(video, true);
  struct Step {
    uint32_t ms;
    VideoStep step;
    int frame;  // expected in the surface afterwards
  };
  const Step steps[] = {
      {50, VideoStep::kNotYet, 0}, {100, VideoStep::kFrame, 1}, {120, VideoStep::kNotYet, 1},
      {350, VideoStep::kFrame, 3},  // a late step skips frame 2
      {900, VideoStep::kFrame, 9},  {990, VideoStep::kNotYet, 9}, {1000, VideoStep::kEnded, 9},
      {5000, VideoStep::kEnded, 9},
  };
  const uint32_t start = gNow;
  for (const Step& s : steps) {
    gNow = start + s.ms;
    EXPECT_EQ(VideoNextFrame(video, *frame), s.step) << s.ms;
    EXPECT_EQ(frame->pixels, frames[s.frame]) << s.ms;
  }
  // Back to the start: the first frame at once, the clock from 0.
  ASSERT_TRUE(VideoSeekStart(video));
  EXPECT_EQ(VideoNextFrame(video, *frame), VideoStep::kFrame);
  EXPECT_EQ(frame->pixels, frames[0]);
  gNow += 210;
  EXPECT_EQ(VideoNextFrame(video, *frame), VideoStep::kFrame);
  EXPECT_EQ(frame->pixels, frames[2]);
  // Standing keeps the position.
  VideoSetRunning(video, false);
  gNow += 10000;
  EXPECT_EQ(VideoNextFrame(video, *frame), VideoStep::kNotYet);
  VideoSetRunning(video, true);
  gNow += 100;
  EXPECT_EQ(VideoNextFrame(video, *frame), VideoStep::kFrame);
  EXPECT_EQ(frame->pixels, frames[3]);
  SurfaceDestroy(frame);
  VideoClose(video);
}

// The usual compressed AVI (MPEG-4 part 2 in YUV 4:2:0) with its sound track: the picture as
// ffmpeg decodes it (within the rounding of the colour conversion), the sound as 44100 Hz
// stereo that is not silence.
TEST_F(VideoTest, ACompressedVideoDecodesWithItsSound) {
  const std::string avi = Path("compressed.avi");
  ASSERT_TRUE(video_fixture::Make(avi, "-f lavfi -i testsrc=size=64x48:rate=10 -f lavfi -i "
                                       "sine=frequency=440:sample_rate=22050 -t 1 -c:a pcm_s16le"));
  const auto frames = video_fixture::Frames(avi, 64, 48);
  ASSERT_EQ(frames.size(), 10u);
  VideoFile* video = VideoOpen(avi);
  ASSERT_NE(video, nullptr);
  ASSERT_TRUE(VideoHasSound(video));
  VideoEnableSound(video);
  Surface* frame = SurfaceCreate(64, 48);
  VideoSetRunning(video, true);
  gNow += 500;
  EXPECT_EQ(VideoNextFrame(video, *frame), VideoStep::kFrame);
  EXPECT_LE(Distance(frame->pixels, frames[5]), 16);
  std::vector<int16_t> sound(2 * 8000, 1);
  const int got = VideoReadSound(video, sound.data(), 8000);
  EXPECT_GT(got, 0);
  int loudest = 0;
  for (int i = 0; i < got * 2; ++i) loudest = std::max(loudest, std::abs(int(sound[i])));
  EXPECT_GT(loudest, 1000);
  for (size_t i = static_cast<size_t>(got) * 2; i < sound.size(); ++i) ASSERT_EQ(sound[i], 0) << i;
  SurfaceDestroy(frame);
  VideoClose(video);
}

// A sound track whose header claims a rate no sound has (a damaged file's 524 MHz or 2 GHz)
// is left out and the picture plays; set up for such a rate the resampler took a minute and
// more than a gigabyte. A real rate keeps its sound.
TEST_F(VideoTest, ASoundTrackAtAnImpossibleRateIsLeftOut) {
  const struct {
    uint32_t rate;
    bool sound;
  } cases[] = {{8000, true}, {768000, true}, {768001, false}, {524288001, false}, {2000000000, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rate);
    const std::string avi = Path("rate.avi");
    ASSERT_TRUE(video_fixture::MakeWithSoundRate(avi, c.rate));
    VideoFile* video = VideoOpen(avi);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(VideoHasSound(video), c.sound);
    Surface* frame = SurfaceCreate(VideoWidth(video), VideoHeight(video));
    VideoEnableSound(video);
    VideoSetRunning(video, true);
    EXPECT_EQ(VideoNextFrame(video, *frame), VideoStep::kFrame);
    SurfaceDestroy(frame);
    VideoClose(video);
  }
}

// A termination signal ends an open that is taking long (here a file that comes a few bytes at
// a time down a pipe): the open fails at once and says why.
TEST_F(VideoTest, ATerminationSignalEndsALongOpen) {
  const std::string avi = Path("whole.avi"), pipe = Path("pipe.avi");
  ASSERT_TRUE(video_fixture::Make(avi, video_fixture::kPattern()));
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  std::ifstream in(avi, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  PlatformCatchStopSignals();
  std::atomic<bool> done{false};
  // Writes the file 100 bytes each 20 ms (the open would read for seconds); the signal once 1 KB is in.
  std::thread writer([&] {
    const int fd = open(pipe.c_str(), O_WRONLY);
    for (size_t at = 0; fd >= 0 && at < bytes.size() && !done; at += 100) {
      if (write(fd, bytes.data() + at, std::min<size_t>(100, bytes.size() - at)) < 0) break;
      if (at == 1000) kill(getpid(), SIGTERM);
      usleep(20000);
    }
    if (fd >= 0) close(fd);
  });
  std::string why;
  VideoFile* video = VideoOpen(pipe, &why);
  done = true;
  writer.join();
  EXPECT_EQ(video, nullptr);
  EXPECT_EQ(why, "stopped by a termination signal");
  VideoClose(video);
  PlatformClearStopSignal();
  for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) signal(number, SIG_DFL);
}

TEST_F(VideoTest, FilesThatAreNotVideosAreRefusedWithAReason) {
  const std::string text = Path("text.avi"), missing = Path("missing.avi"), sound = Path("sound.avi"),
                    playlist = Path("list.avi");
  std::ofstream(text) << "not a video at all";
  std::ofstream(playlist) << "ffconcat version 1.0\nfile '" << text << "'\n";  // would open another file
  ASSERT_TRUE(video_fixture::Make(sound, "-f lavfi -i sine=frequency=440 -t 0.2 -c:a pcm_s16le"));
  for (const std::string& path : {text, missing, sound, playlist}) {
    std::string why;
    EXPECT_EQ(VideoOpen(path, &why), nullptr) << path;
    EXPECT_FALSE(why.empty()) << path;
  }
}

}  // namespace
