// Frames per second of the 3D render at 640x480 on the OpenGL device: 500 lit, textured
// cubes, and one model of about 100,000 triangles. Each frame includes the read-back into
// the CPU back buffer, as a real frame does.
#include "bench/engine3d/bench_engine.h"
#include "engine3d/engine3d_local.h"
#include "graphics2d/graphics2d.h"
#include "platform/surface.h"
#include "runtime/command_numbers.h"
#include "tests/asm/qvasm.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

struct Scene {
  Surface* back = nullptr;
  Scene() {
    PrepareEngine();
    back = SurfaceCreate(640, 480);
    StartLitScene(back);
  }
  ~Scene() {
    ShutdownScene3D();
    SurfaceDestroy(back);
  }
  void Frame() {
    RenderBackdrop();
    RenderScene3D();
    Device3dClaimCpuSide();
  }
};

void BM_FiveHundredLitTexturedCubes(benchmark::State& state) {
  Scene scene;
  for (int i = 0; i < 500; ++i) {
    const int number = i + 1;
    RunCommand(kMakeObjectCube, {number}, {1.5f});
    RunCommand(kColorObject, {number, static_cast<int32_t>(0x204080 * (i % 8 + 1) & 0xFFFFFF)});
    RunCommand(kPositionObject, {number},
               {static_cast<float>(i % 25 - 12) * 3.0f, static_cast<float>(i / 25 % 20 - 10) * 3.0f, 60.0f});
    RunCommand(kRotateObject, {number}, {static_cast<float>(i * 7 % 360), static_cast<float>(i * 13 % 360), 0.0f});
  }
  for (auto _ : state) scene.Frame();
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FiveHundredLitTexturedCubes)->Unit(benchmark::kMillisecond)->UseRealTime();

// A 224 x 224 vertex grid (99,458 triangles) as a text .x file, rippled so lighting varies.
std::string WriteGridModel() {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "qv-bench-grid.x";
  std::ofstream out(path);
  const int n = 224;
  out << "xof 0302txt 0032\nMesh Grid {\n" << n * n << ";\n";
  for (int row = 0; row < n; ++row)
    for (int column = 0; column < n; ++column) {
      const float x = column * 0.2f - 22.4f, y = row * 0.2f - 22.4f;
      out << x << ";" << y << ";" << 0.5f * ((row + column) % 7) * 0.1f << ";" << (row + 1 == n && column + 1 == n ? ";" : ",")
          << "\n";
    }
  const int faces = (n - 1) * (n - 1) * 2;
  out << faces << ";\n";
  int written = 0;
  for (int row = 0; row + 1 < n; ++row)
    for (int column = 0; column + 1 < n; ++column) {
      const int a = row * n + column, b = a + 1, c = a + n, d = c + 1;
      out << "3;" << a << "," << c << "," << b << ";" << (++written == faces ? ";" : ",") << "\n";
      out << "3;" << b << "," << c << "," << d << ";" << (++written == faces ? ";" : ",") << "\n";
    }
  out << "}\n";
  return path.string();
}

void BM_OneHundredThousandTriangleModel(benchmark::State& state) {
  Scene scene;
  const std::string path = WriteGridModel();
  VariableTable[kFirstTextTemp].asText = nullptr;
  StoreText(&VariableTable[kFirstTextTemp], path.c_str());
  VariableTable[kFirstIntTemp].asInt = 1;
  CodeCell cells[2] = {reinterpret_cast<CodeCell>(&VariableTable[kFirstTextTemp]),
                       reinterpret_cast<CodeCell>(&VariableTable[kFirstIntTemp])};
  OperandPointer = cells;
  HandlerForCommand(kLoadObject)();
  if (RuntimeErrorNumber() != 0) {
    state.SkipWithError("the grid model did not load");
    return;
  }
  RunCommand(kColorObject, {1, 0x80C0FF});
  RunCommand(kPositionObject, {1}, {0, 0, 50});
  RunCommand(kRotateObject, {1}, {30, 20, 0});
  for (auto _ : state) scene.Frame();
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["triangles"] = DrawnIndexCount() / 3;
  std::filesystem::remove(path);
}
BENCHMARK(BM_OneHundredThousandTriangleModel)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
