// Frame time of N lit cubes turning every frame at 640x480 on the OpenGL device (llvmpipe
// headless), each cube with a colour of its own, against 500 cubes of one colour.
//
// Each frame is what a program's `rotate object` loop and SYNC make: the commands run through
// their handlers, then the engine's frame hooks (backdrop, render, animation and collision) and
// the read-back of the picture into the CPU back buffer. The scenes are measured in rounds,
// one after another, so the ratios printed at the end come from the same minutes of a shared
// machine: frame time should grow linearly with N (1,000 cubes at most 10x 125), a colour
// per cube should cost little (at most 1.3x one colour) and 500 cubes should reach 60 fps.
#include "bench/engine3d/bench_engine.h"
#include "engine3d/engine3d_local.h"
#include "graphics2d/graphics2d.h"
#include "platform/surface.h"
#include "runtime/command_numbers.h"
#include "tests/asm/qvasm.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

Surface* g_back = nullptr;
RuntimeHooks g_hooks;

struct Config {
  const char* name;
  int cubes;
  bool distinctColours;
  bool askCollision;  // the program reads a collision result every frame
  std::vector<double> samples;  // milliseconds per frame, one per measured batch
  int turning = -1;   // how many cubes turn each frame (-1 all)
};

uint32_t ColourOf(int i, bool distinct) {
  if (!distinct) return 0x3080C0;
  // Distinct, bright enough to see: spread over the cube of colours.
  const uint32_t r = 64 + (i * 37) % 192, g = 64 + (i * 91) % 192, b = 64 + (i / 3 * 53) % 192;
  return (r << 16 | g << 8 | b) + static_cast<uint32_t>(i / 4096);
}

void BuildScene(const Config& config) {
  StartLitScene(g_back);
  for (int i = 0; i < config.cubes; ++i) MakeGridCube(i, 1.5f, ColourOf(i, config.distinctColours));
}

void Frame(const Config& config, int frame) {
  g_hooks.RenderBackdrop();
  g_hooks.RenderScene3DIfOn(0);
  const float turn = static_cast<float>(frame % 360);
  const int turning = config.turning < 0 ? config.cubes : config.turning;
  for (int i = 0; i < turning; ++i)
    RunCommand(kRotateObject, {i + 1}, {turn + static_cast<float>(i * 7 % 360), turn * 2.0f, static_cast<float>(i * 13 % 360)});
  if (config.askCollision) RunIntValue(kObjectHit, {1});
  g_hooks.AnimateObjects();
  Device3dClaimCpuSide();
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3, only = -1;
  double batchSeconds = 0.4;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--rounds" && i + 1 < argc) rounds = std::max(1, std::atoi(argv[++i]));
    else if (std::string(argv[i]) == "--batch" && i + 1 < argc) batchSeconds = std::atof(argv[++i]);
    else if (std::string(argv[i]) == "--only" && i + 1 < argc) only = std::atoi(argv[++i]);  // one scene (profiling)
  }
  PrepareEngine();
  g_back = SurfaceCreate(640, 480);
  InstallEngine3dHooks(g_hooks, [] { return g_back; });

  std::vector<Config> configs = {
      {"125 cubes, 125 colours", 125, true, false, {}},
      {"250 cubes, 250 colours", 250, true, false, {}},
      {"500 cubes, 500 colours", 500, true, false, {}},
      {"1000 cubes, 1000 colours", 1000, true, false, {}},
      {"500 cubes, one colour", 500, false, false, {}},
      {"500 cubes, 500 colours, object hit read", 500, true, true, {}},
      {"500 cubes, one turning, object hit read", 500, true, true, {}, 1},
      {"500 cubes, none turning, object hit read", 500, true, true, {}, 0},
  };
  for (int round = 0; round < rounds; ++round) {
    for (Config& config : configs) {
      if (only >= 0 && &config != &configs[static_cast<size_t>(only) % configs.size()]) {
        config.samples.push_back(1.0);
        continue;
      }
      BuildScene(config);
      int frame = 0;
      for (int warm = 0; warm < 3; ++warm) Frame(config, frame++);
      for (int batch = 0; batch < 2; ++batch)
        config.samples.push_back(MeasureBatch(batchSeconds, [&] { Frame(config, frame++); }));
      std::fprintf(stderr, "round %d: %-40s %9.2f ms\n", round + 1, config.name, config.samples.back());
    }
  }
  ReleaseScene3D();

  std::printf("%-42s %12s %10s\n", "scene (640x480, lit, turning)", "ms/frame", "fps");
  std::vector<double> ms;
  for (const Config& config : configs) {
    ms.push_back(Median(config.samples));
    std::printf("%-42s %12.2f %10.1f\n", config.name, ms.back(), 1000.0 / ms.back());
  }
  std::printf("ratio 1000 / 125 cubes (linear: 8, goal <= 10):          %6.2f\n", ms[3] / ms[0]);
  std::printf("ratio 500 colours / one colour (goal <= 1.3):             %6.2f\n", ms[2] / ms[4]);
  std::printf("ratio 500 colours with / without object hit read:         %6.2f\n", ms[5] / ms[2]);
  std::printf("fps of 500 cubes, 500 colours (goal >= 60):               %6.1f\n", 1000.0 / ms[2]);
  // One moving object among still ones: the collision pass places only what moved.
  std::printf("ratio 500 cubes one turning / none turning, hit read:     %6.2f\n", ms[6] / ms[7]);
  ShutdownScene3D();
  SurfaceDestroy(g_back);
  return 0;
}
