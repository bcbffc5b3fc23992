// Frame time of 1,000 cubes sharing one image as their texture against the same cubes
// untextured, at 640x480 on the OpenGL device (llvmpipe headless). Each cube is textured with
// `texture object` from the one image; the goal is that this costs little over untextured
// cubes (at most 1.5x). Each frame is what SYNC does with the scene standing still: the
// engine's frame hooks and the read-back of the picture. The two scenes are measured in
// interleaved rounds, so the ratio comes from the same minutes of a shared machine.
#include "bench/engine3d/bench_engine.h"
#include "engine3d/engine3d_local.h"
#include "graphics2d/image_files.h"
#include "platform/surface.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

RuntimeHooks g_hooks;
constexpr int kCubes = 1000;
constexpr int kImage = 1;

// A 64 x 64 picture of coloured squares, saved where the image command loads it from.
std::string WriteTexturePicture() {
  Surface* picture = SurfaceCreate(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      picture->pixels[static_cast<size_t>(y) * 64 + x] = ((x / 8 + y / 8) % 2) != 0 ? 0xE0A040u : 0x4060C0u + static_cast<uint32_t>(x);
  const std::string path =
      (std::filesystem::temp_directory_path() / ("quorvanel-bench-texture-" + std::to_string(getpid()) + ".png")).string();
  SaveImageFile(path.c_str(), *picture, nullptr);
  SurfaceDestroy(picture);
  return path;
}

void BuildScene(bool textured, const std::string& picture) {
  StartLitScene(BackBuffer());
  if (textured) RunTextCommand(kImageLoad, picture.c_str(), {kImage});
  for (int i = 0; i < kCubes; ++i) {
    const int number = i + 1;
    MakeGridCube(i, 1.5f, kUncoloured);
    RunCommand(kRotateObject, {number}, {static_cast<float>(i * 7 % 360), static_cast<float>(i * 13 % 360), 0.0f});
    if (textured) RunCommand(kTextureObject, {number, kImage});
  }
}

}  // namespace

int main(int argc, char** argv) {
  const BenchOptions options = ReadBenchOptions(argc, argv, {3, 0.5});
  PrepareEngine();
  RegisterGraphics2DCommands();
  if (!InitDisplay(false, true, false)) return 1;
  InstallEngine3dHooks(g_hooks, BackBuffer);
  const std::string picture = WriteTexturePicture();
  std::vector<TimedScene> scenes = {{"1000 cubes untextured", {}}, {"1000 cubes, one image as texture", {}}};
  int32_t textures[2] = {0, 0};
  TimeScenesInRounds(
      scenes, options, [&](size_t s) { BuildScene(s == 1, picture); }, [&](size_t s) { textures[s] = LiveTextureCount(); },
      [] { StandingFrame(g_hooks); });
  std::filesystem::remove(picture);
  std::printf("%-42s %12s %10s %10s\n", "scene (640x480, lit, standing)", "ms/frame", "fps", "textures");
  std::vector<double> ms;
  for (size_t s = 0; s < scenes.size(); ++s) {
    ms.push_back(Median(scenes[s].samples));
    std::printf("%-42s %12.2f %10.1f %10d\n", scenes[s].name, ms.back(), 1000.0 / ms.back(), textures[s]);
  }
  std::printf("ratio textured / untextured (goal <= 1.5):               %6.2f\n", ms[1] / ms[0]);
  ShutdownScene3D();
  ReleaseDisplay(false);
  return 0;
}
