// Making and freeing many 3D objects with collision on (the default): 1,000 against 4,000 cubes
// on the grid, each made, coloured and placed through the command handlers, then the first
// sync (render and collision pass) with a collision result read, then the release of the
// whole scene as at a program's end. Making should grow linearly with the number of objects
// (4,000 at most 5x 1,000), the peak memory of the 4,000 should stay under 200 MB, and
// freeing 4,000 should take under 0.5 s. The sizes are measured in interleaved rounds, each
// with its own peak.
#include "bench/engine3d/bench_engine.h"
#include "engine3d/engine3d_local.h"
#include "platform/surface.h"

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

Surface* g_back = nullptr;
RuntimeHooks g_hooks;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Peak resident memory of the process in MB since the last ResetPeakMemory.
double PeakMemoryMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return 0;
}

void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

struct Size {
  int cubes;
  std::vector<double> make, firstSync, release, peakMb;
};

void Measure(Size& size) {
  StartLitScene(g_back);
  ResetPeakMemory();
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < size.cubes; ++i) MakeGridCube(i, 1.5f, 0x3080C0);
  size.make.push_back(SecondsSince(start));
  start = std::chrono::steady_clock::now();
  g_hooks.RenderBackdrop();
  g_hooks.RenderScene3DIfOn(0);
  g_hooks.AnimateObjects();
  RunIntValue(kObjectHit, {1});
  Device3dClaimCpuSide();
  size.firstSync.push_back(SecondsSince(start));
  size.peakMb.push_back(PeakMemoryMb());
  start = std::chrono::steady_clock::now();
  ReleaseScene3D();
  size.release.push_back(SecondsSince(start));
  // The heap keeps what the scene freed: given back, the next size's peak is its own (else the
  // 1,000 cubes after the 4,000 showed the 4,000's peak).
  malloc_trim(0);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = ReadBenchOptions(argc, argv, {3, 0}).rounds;
  PrepareEngine();
  g_back = SurfaceCreate(640, 480);
  InstallEngine3dHooks(g_hooks, [] { return g_back; });
  StartLitScene(g_back);  // the device opens outside the measurements
  std::vector<Size> sizes = {{1000, {}, {}, {}, {}}, {4000, {}, {}, {}, {}}};
  for (int round = 0; round < rounds; ++round)
    for (Size& size : sizes) {
      Measure(size);
      std::fprintf(stderr, "round %d: %d cubes: make %.3f s, first sync %.3f s, release %.3f s, peak %.0f MB\n",
                   round + 1, size.cubes, size.make.back(), size.firstSync.back(), size.release.back(),
                   size.peakMb.back());
    }
  std::printf("%-28s %10s %12s %10s %10s\n", "cubes (collision on)", "make s", "first sync s", "release s", "peak MB");
  for (const Size& size : sizes)
    std::printf("%-28d %10.3f %12.3f %10.3f %10.0f\n", size.cubes, Median(size.make), Median(size.firstSync),
                Median(size.release), Median(size.peakMb));
  std::printf("ratio make 4000 / 1000 (linear: 4, goal <= 5):          %6.2f\n",
              Median(sizes[1].make) / Median(sizes[0].make));
  std::printf("peak memory of 4000 cubes in MB (goal < 200):            %6.0f\n", Median(sizes[1].peakMb));
  std::printf("release of 4000 cubes in s (goal < 0.5):                 %6.3f\n", Median(sizes[1].release));
  ShutdownScene3D();
  SurfaceDestroy(g_back);
  return 0;
}
