// Feeds arbitrary bytes to the video layer as a file: opening it, drawing its frames as the
// clock moves and taking its sound must refuse it cleanly or play it, never fault. Inputs are
// capped at 64 KB, a megapixel and 40 steps, which keeps each run short. The seeds, a tiny AVI with sound
// and the same with a sound rate of 524288001 Hz (a timeout this target found), are made by ffmpeg
// at start-up when it is installed.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_corpus.h"
#include "platform/surface.h"
#include "platform/video.h"
#include "tests/platform/video_fixture.h"

namespace {
uint32_t gNow = 0;
uint32_t Clock() { return gNow; }
char gScratch[] = "/tmp/qv-fuzz-video-XXXXXX";
char gSeeds[] = "/tmp/qv-fuzz-video-seeds-XXXXXX";
std::string gFile;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  if (mkdtemp(gSeeds) != nullptr) {
    const std::string command = std::string("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=16x8:rate=10 -f lavfi ") +
                                "-i sine=sample_rate=8000 -t 0.3 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_u8 '" + gSeeds +
                                "/seed.avi' 2>/dev/null";
    if (std::system(command.c_str()) != 0) {}
    video_fixture::MakeWithSoundRate(std::string(gSeeds) + "/rate.avi", 524288001);
    AddSeedCorpus(argc, argv, gScratch, gSeeds);
  }
  gFile = std::string("/tmp/qv-fuzz-video-input-") + std::to_string(::getpid()) + ".avi";
  VideoSetClockForTests(Clock);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > (64u << 10)) return 0;
  std::ofstream(gFile, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                 static_cast<std::streamsize>(size));
  VideoFile* video = VideoOpen(gFile);
  std::remove(gFile.c_str());
  if (video == nullptr) return 0;
  // A picture larger than a megapixel is opened and refused here: decoding it is only slow.
  const int64_t pixels = int64_t{VideoWidth(video)} * VideoHeight(video);
  Surface* frame = pixels <= (1 << 20) ? SurfaceCreate(VideoWidth(video), VideoHeight(video)) : nullptr;
  if (frame != nullptr) {
    VideoEnableSound(video);
    VideoSetRunning(video, true);
    std::vector<int16_t> sound(2 * 1024);
    for (int step = 0; step < 40; ++step) {
      gNow += 50;
      if (VideoNextFrame(video, *frame) == VideoStep::kEnded && step % 2 == 0) VideoSeekStart(video);
      VideoReadSound(video, sound.data(), 1024);
    }
    SurfaceDestroy(frame);
  }
  VideoClose(video);
  return 0;
}
