// Recording through the SDL2 capture device, fed from a file by SDL's disk driver: a 2-second
// recording equals its input, a looping one drops nothing across its wraps, and a start the
// device refuses leaves no record thread behind.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/sound/sound_test_util.h"

namespace {

// Frame i of the input carries i itself: left the low 16 bits, right the high ones.
std::vector<int16_t> CountingFrames(int frames) {
  std::vector<int16_t> values(static_cast<size_t>(frames) * 2);
  for (int i = 0; i < frames; i++) {
    values[2 * i] = static_cast<int16_t>(i & 0xFFFF);
    values[2 * i + 1] = static_cast<int16_t>(i >> 16);
  }
  return values;
}

int FrameNumber(const SndSample* sample, uint32_t frame) {
  int16_t v[2];
  std::memcpy(v, sample->data + frame * 4, 4);
  return static_cast<uint16_t>(v[0]) | static_cast<int>(v[1]) << 16;
}

template <class Done>
bool WaitFor(Done done) {  // polls every 5 ms for at most 20 s: a bound, not a timing check
  for (int i = 0; i < 4000 && !done(); i++) SndSleep(5);
  return done();
}

// The library on the device output, SDL's disk driver reading its input from a file.
class DiskRecording : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qv-record-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = name;
    SndShutdown();
    SndUseSteppedClock(false);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (folder_ + "/played.raw").c_str(), 1);
    setenv("SDL_DISKAUDIOFILEIN", (folder_ + "/input.raw").c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "30", 1);  // 1024 frames per 30 ms: one and a half times real time
    SndSelectOutput(1);
  }
  void TearDown() override {
    SndShutdown();
    SndSelectOutput(0);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    for (const char* v : {"SDL_DISKAUDIOFILE", "SDL_DISKAUDIOFILEIN", "SDL_DISKAUDIODELAY"}) unsetenv(v);
    std::filesystem::remove_all(folder_);
  }
  void WriteInput(const std::vector<int16_t>& values) {
    std::ofstream out(folder_ + "/input.raw", std::ios::binary);
    out.write(reinterpret_cast<const char*>(values.data()), static_cast<std::streamsize>(values.size() * 2));
  }
  std::string folder_;
};

}  // namespace

TEST_F(DiskRecording, TwoSecondsEqualTheirInput) {
  ASSERT_TRUE(SndStartup(22050, 8, 0)) << "error " << SndGetError();
  ASSERT_GE(SndGetRecordDriverCount(), 1);
  EXPECT_NE(SndGetRecordDriverName(0), nullptr);
  EXPECT_EQ(SndGetRecordDriverName(SndGetRecordDriverCount()), nullptr);
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
  const struct {
    const char* name;
    uint32_t mode;
    int frameBytes;
  } formats[] = {{"16-bit stereo", kSnd16Bits | kSndStereo, 4}, {"8-bit mono", kSnd8Bits | kSndMono, 1}};
  for (const auto& format : formats) {
    SCOPED_TRACE(format.name);
    // Three seconds of input whose bytes all differ from their neighbours'.
    std::vector<int16_t> words = CountingFrames(3 * 22050);
    std::vector<uint8_t> input(reinterpret_cast<uint8_t*>(words.data()),
                               reinterpret_cast<uint8_t*>(words.data()) + 3 * 22050 * format.frameBytes);
    if (format.frameBytes == 1) {
      for (size_t i = 0; i < input.size(); i++) input[i] = static_cast<uint8_t>(i * 7 + i / 256);
    }
    std::ofstream(folder_ + "/input.raw", std::ios::binary)
        .write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
    SndSample* sample = SndCreateSample(-1, 2 * 22050, format.mode | kSnd2D, 22050, 255, -1, 255);
    ASSERT_NE(sample, nullptr);
    ASSERT_TRUE(SndStartRecording(sample, false)) << "error " << SndGetError();
    int seen = 0;
    EXPECT_TRUE(WaitFor([&] {
      int now = SndGetRecordPosition();
      EXPECT_GE(now, seen);  // grows while recording
      seen = now;
      return now == static_cast<int>(sample->length);
    }));
    SndSleep(50);  // a non-looping recording stops by itself at the end
    EXPECT_EQ(SndGetRecordPosition(), 2 * 22050);
    EXPECT_TRUE(SndStopRecording());
    EXPECT_EQ(SndGetRecordPosition(), 2 * 22050);  // and keeps its position after stop
    EXPECT_EQ(std::memcmp(sample->data, input.data(), 2 * 22050 * static_cast<size_t>(format.frameBytes)), 0);
    SndFreeSample(sample);
  }
}

TEST_F(DiskRecording, LoopingRecordingDropsNothing) {
  WriteInput(CountingFrames(8 * 22050));
  ASSERT_TRUE(SndStartup(22050, 8, 0)) << "error " << SndGetError();
  // Shorter than one capture ring, so nearly every copy wraps the sample.
  const int length = 3001;
  SndSample* sample = SndCreateSample(-1, length, kSnd16Bits | kSndStereo | kSnd2D, 22050, 255, -1, 255);
  ASSERT_NE(sample, nullptr);
  ASSERT_TRUE(SndStartRecording(sample, true)) << "error " << SndGetError();
  int wraps = 0, previous = 0;
  EXPECT_TRUE(WaitFor([&] {
    int now = SndGetRecordPosition();
    if (now < previous) wraps++;
    previous = now;
    return wraps >= 20;
  }));
  ASSERT_TRUE(SndStopRecording());
  // The newest lap: consecutive frame numbers, with the one step back of a lap where the
  // position stopped, and every frame number in its own slot.
  const int position = SndGetRecordPosition();
  int faults = 0;
  for (int f = 0; f < length; f++) {
    int number = FrameNumber(sample, static_cast<uint32_t>(f));
    faults += number % length != f;
    if (f > 0) {
      int step = number - FrameNumber(sample, static_cast<uint32_t>(f - 1));
      faults += step != (f == position ? 1 - length : 1);
    }
  }
  EXPECT_EQ(faults, 0) << "position " << position;
}

// A fake back-end whose device start fails: no record thread may poll it.
static int gPositionPolls = 0;
TEST(Recording, AFailedDeviceStartLeavesNoThread) {
  ASSERT_TRUE(StartSteppedLibrary());
  SndOutputDriver saved = gSndNullDriver;
  gSndNullDriver.SelectInput = [](int) { return true; };
  gSndNullDriver.StartRecording = [](int, int, int, int) { return SndFail(kSndErrNoInput); };
  gSndNullDriver.CapturePosition = []() -> int64_t {
    gPositionPolls++;
    return 0;
  };
  SndSample* sample = SndCreateSample(-1, 1000, kSnd16Bits | kSndMono, 22050, 255, 128, 255);
  const int position = SndGetRecordPosition();
  EXPECT_FALSE(SndStartRecording(sample, false));
  EXPECT_EQ(SndGetError(), kSndErrNoInput);
  SndSleep(30);
  EXPECT_EQ(gPositionPolls, 0);
  EXPECT_FALSE(SndStartRecording(nullptr, false));
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
  EXPECT_TRUE(SndStopRecording());
  EXPECT_EQ(SndGetRecordPosition(), position);
  gSndNullDriver = saved;
  SndShutdown();
  SndUseSteppedClock(false);
}
