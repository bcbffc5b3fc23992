// Memory churn of a frame on the OpenGL device (llvmpipe headless): 4,000 untextured cubes
// turning, each frame what a program's rotate loop and SYNC make. The same frames are timed
// in a process whose C library keeps every freed block (MALLOC_TRIM_THRESHOLD_ and
// MALLOC_MMAP_THRESHOLD_ at 2 GB, so no page is given back and taken again): the normal run
// should cost at most 1.1x that one. Minor page faults per frame are counted at 1,000 and at
// 4,000 cubes: they should not grow with the number of objects. Each measurement is a child
// process (this program with --child), the kinds taken in turn, round after round.
#include "bench/engine3d/bench_engine.h"
#include "engine3d/engine3d_local.h"
#include "platform/surface.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr const char* kKeepEveryBlock = "MALLOC_TRIM_THRESHOLD_=2000000000 MALLOC_MMAP_THRESHOLD_=2000000000";

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

// The child: builds the cubes, warms them up, then prints "milliseconds faults" per frame.
int RunChild(int cubes, double batchSeconds) {
  PrepareEngine();
  Surface* back = SurfaceCreate(640, 480);
  static Surface* target = back;
  RuntimeHooks hooks;
  InstallEngine3dHooks(hooks, [] { return target; });
  StartLitScene(back);
  for (int i = 0; i < cubes; ++i) MakeGridCube(i, 1.5f, kUncoloured);
  int frame = 0;
  auto turningFrame = [&] {
    const float turn = static_cast<float>(frame++ % 360);
    for (int i = 0; i < cubes; ++i)
      RunCommand(kRotateObject, {i + 1}, {turn + static_cast<float>(i * 7 % 360), turn * 2.0f, 0.0f});
    StandingFrame(hooks);
  };
  // The first second settles the heap and the driver's caches at the scene's size.
  MeasureBatch(1.0, turningFrame);
  const long faultsBefore = MinorFaults();
  const int framesBefore = frame;
  const double ms = MeasureBatch(batchSeconds, turningFrame);
  const double faults = static_cast<double>(MinorFaults() - faultsBefore) / (frame - framesBefore);
  std::printf("%.3f %.1f\n", ms, faults);
  ShutdownScene3D();
  SurfaceDestroy(back);
  return 0;
}

struct Kind {
  const char* name;
  int cubes;
  bool keepEveryBlock;
  std::vector<double> ms, faults;
};

bool MeasureInChild(Kind& kind, double batchSeconds) {
  const std::string command = std::string(kind.keepEveryBlock ? kKeepEveryBlock : "") + " /proc/" +
                              std::to_string(getpid()) + "/exe --child " + std::to_string(kind.cubes) + " --batch " +
                              std::to_string(batchSeconds);
  FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) return false;
  double ms = 0, faults = 0;
  const bool read = std::fscanf(child, "%lf %lf", &ms, &faults) == 2;
  pclose(child);
  if (!read) return false;
  kind.ms.push_back(ms);
  kind.faults.push_back(faults);
  std::fprintf(stderr, "%-44s %9.2f ms %9.1f faults per frame\n", kind.name, ms, faults);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const BenchOptions options = ReadBenchOptions(argc, argv, {3, 2.0});
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--child") return RunChild(std::atoi(argv[i + 1]), options.batchSeconds);
  std::vector<Kind> kinds = {{"4000 cubes turning", 4000, false, {}, {}},
                             {"4000 cubes turning, freed blocks kept", 4000, true, {}, {}},
                             {"1000 cubes turning", 1000, false, {}, {}}};
  for (int round = 0; round < options.rounds; ++round)
    for (Kind& kind : kinds)
      if (!MeasureInChild(kind, options.batchSeconds)) return 1;
  std::printf("%-44s %12s %16s\n", "scene (640x480, lit, turning)", "ms/frame", "faults/frame");
  for (const Kind& kind : kinds)
    std::printf("%-44s %12.2f %16.1f\n", kind.name, Median(kind.ms), Median(kind.faults));
  std::printf("ratio 4000 cubes / same with freed blocks kept (goal <= 1.1): %6.2f\n",
              Median(kinds[0].ms) / Median(kinds[1].ms));
  // Counts below one a frame are noise of the C library's trimming: they count as one.
  std::printf("page faults per frame, 4000 / 1000 cubes (goal: no growth):  %6.2f\n",
              std::max(1.0, Median(kinds[0].faults)) / std::max(1.0, Median(kinds[2].faults)));
  return 0;
}
