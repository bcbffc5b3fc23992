// Frames per second of a level of 2,000 cubes in 8 colours (8 texture groups) made static,
// against the same 2,000 cubes drawn as ordinary objects, at 640x480 on the OpenGL device
// (llvmpipe headless). Each frame is what SYNC does with the scene standing still: the
// engine's frame hooks and the read-back of the picture. The two scenes are measured in
// interleaved rounds, so the ratio printed at the end comes from the same minutes of a shared
// machine; the static level should be several times faster (a draw per 300 vertices of a
// group instead of a draw per object). The cubes are small (0.6 units, a few pixels each at
// their distance) so that filling pixels, the same work in both scenes, does not hide what
// the drawing itself costs.
#include "bench/engine3d/bench_engine.h"
#include "engine3d/engine3d_local.h"
#include "platform/surface.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

Surface* g_back = nullptr;
RuntimeHooks g_hooks;
constexpr int kCubes = 2000;
constexpr uint32_t kColours[8] = {0xC04040, 0x40C040, 0x4040C0, 0xC0C040, 0xC040C0, 0x40C0C0, 0x808080, 0xE0A060};

void BuildScene(bool madeStatic) {
  StartLitScene(g_back);
  for (int i = 0; i < kCubes; ++i) {
    const int number = i + 1;
    MakeGridCube(i, 0.6f, kColours[i % 8]);
    RunCommand(kRotateObject, {number}, {static_cast<float>(i * 7 % 360), static_cast<float>(i * 13 % 360), 0.0f});
    if (madeStatic) RunCommand(kConvertStaticObject, {number, 0});
  }
}

}  // namespace

int main(int argc, char** argv) {
  const BenchOptions options = ReadBenchOptions(argc, argv, {3, 0.5});
  PrepareEngine();
  g_back = SurfaceCreate(640, 480);
  InstallEngine3dHooks(g_hooks, [] { return g_back; });
  std::vector<TimedScene> scenes = {{"2000 cubes as objects, 8 colours", {}}, {"2000 static cubes, 8 texture groups", {}}};
  uint32_t triangles[2] = {0, 0};
  TimeScenesInRounds(
      scenes, options, [](size_t s) { BuildScene(s == 1); }, [&](size_t s) { triangles[s] = DrawnIndexCount() / 3; },
      [] { StandingFrame(g_hooks); });
  std::printf("%-42s %12s %10s %10s\n", "scene (640x480, lit, standing)", "ms/frame", "fps", "triangles");
  std::vector<double> ms;
  for (size_t s = 0; s < scenes.size(); ++s) {
    ms.push_back(Median(scenes[s].samples));
    std::printf("%-42s %12.2f %10.1f %10u\n", scenes[s].name, ms.back(), 1000.0 / ms.back(), triangles[s]);
  }
  std::printf("ratio static / objects in fps (goal: several times):     %6.2f\n", ms[0] / ms[1]);
  ShutdownScene3D();
  SurfaceDestroy(g_back);
  return 0;
}
