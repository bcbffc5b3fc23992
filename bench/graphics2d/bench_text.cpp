// A frame of 1,000 texts of 11 characters against a frame of 1,000 pastes of an image of the
// texts' size, headless at 640x480: the commands of a slice and the frame steps that replay them.
// The scenes run in interleaved rounds and are timed in CPU time of this thread, so the ratio
// printed at the end comes from the same minutes of a shared machine.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/graphics2d/bench_display.h"
#include "graphics2d/graphics2d.h"
#include "platform/text.h"
#include "runtime/command_numbers.h"

namespace {

using bench2d::Call;
using bench2d::OpenDisplay;

constexpr int kItems = 1000;
const char kText[] = "Score 12345";  // 11 characters, in the default font at its default size (--size)
VariableSlot* gText = &bench2d::gSlots[kFirstTextTemp];

double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}

struct Scene {
  const char* name;
  int kind;  // 0 texts, 1 pastes, 2 keyed pastes
  std::vector<double> samples;  // CPU milliseconds per frame, one per batch
};

int gFrame = 0;
int gSize = 10;  // --size: the text size

// One frame: clear, the 1,000 items at places that move from frame to frame, the frame steps.
void Frame(int kind) {
  ++gFrame;
  Call(kDrawCls, {});
  for (int i = 0; i < kItems; ++i) {
    const int x = (i * 37 + gFrame) % 580, y = (i * 53) % 468;
    if (kind == 0) Call(kTextAt, {x, y}, gText);
    else if (kind == 1) Call(kImagePaste, {1, x, y});
    else Call(kImagePasteFlagged, {1, x, y, 1});
  }
  Run2DFrameSteps();
}

// The image the pastes draw: the text's size, ink on the transparent colour.
void MakeImage(int width, int height) {
  Call(kTextSize, {gSize});
  Call(kDrawCls, {});
  Call(kDrawInk, {0xFFFFFF, 0});
  Call(kTextAt, {0, 0}, gText);
  Call(kImageGet, {1, 0, 0, width, height});
  Run2DFrameSteps();
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 5;
  double batchSeconds = 0.3;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--rounds") rounds = std::max(1, std::atoi(argv[++i]));
    else if (std::string(argv[i]) == "--batch") batchSeconds = std::atof(argv[++i]);
    else if (std::string(argv[i]) == "--size") gSize = std::clamp(std::atoi(argv[++i]), 1, 200);
  }
  StoreText(gText, kText);
  PlatformFont* font = FontCreate("system", gSize, false, false);
  int width = 0, height = 0;
  FontMeasure(font, kText, &width, &height);
  FontDestroy(font);
  std::vector<Scene> scenes = {{"1000 texts of 11 characters", 0, {}},
                               {"1000 pastes of an image that size", 1, {}},
                               {"1000 keyed pastes of that image", 2, {}}};
  for (int round = 0; round < rounds; ++round) {
    for (Scene& scene : scenes) {
      OpenDisplay();
      MakeImage(width, height);
      Call(kDrawInk, {0xFFFF00, 0});
      for (int warming = 0; warming < 3; ++warming) Frame(scene.kind);
      for (int batch = 0; batch < 2; ++batch) {
        const double start = ThreadSeconds();
        int frames = 0;
        double elapsed = 0;
        do {
          Frame(scene.kind);
          ++frames;
          elapsed = ThreadSeconds() - start;
        } while (frames < 3 || elapsed < batchSeconds);
        scene.samples.push_back(elapsed * 1000.0 / frames);
      }
      std::fprintf(stderr, "round %d: %-36s %8.3f ms\n", round + 1, scene.name, scene.samples.back());
    }
  }
  ReleaseDisplay(false);
  std::printf("%-40s %12s   (text %dx%d px, CPU time, median of %d rounds x 2 batches)\n", "scene (640x480, headless)",
              "ms/frame", width, height, rounds);
  for (const Scene& scene : scenes) std::printf("%-40s %12.3f\n", scene.name, Median(scene.samples));
  const double ratio = Median(scenes[0].samples) / Median(scenes[1].samples);
  std::printf("ratio texts / pastes (goal: at most 2):  %8.2f  %s\n", ratio, ratio <= 2.0 ? "met" : "NOT met");
  std::printf("ratio texts / keyed pastes:              %8.2f\n", Median(scenes[0].samples) / Median(scenes[2].samples));
  return 0;
}
