// What the 3D benchmarks share: the engine made ready without the player, commands run through
// their handlers with operands in temporaries, the lit scene they draw in with its grid of
// cubes, and the timing of frames in batches.
#pragma once
#include "engine3d/engine3d.h"
#include "graphics2d/graphics2d.h"
#include "platform/device3d.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime.h"
#include "tests/asm/qvasm.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <initializer_list>
#include <vector>

// Appends integer operands, held in the integer temporaries from the first on.
inline void PushIntOperands(std::vector<CodeCell>& cells, std::initializer_list<int32_t> ints) {
  int nextInt = kFirstIntTemp;
  for (int32_t value : ints) {
    VariableTable[nextInt].asInt = value;
    cells.push_back(reinterpret_cast<CodeCell>(&VariableTable[nextInt++]));
  }
}

// Runs a command: the integer operands first, then the float ones.
inline void RunCommand(int command, std::initializer_list<int32_t> ints, std::initializer_list<float> floats = {}) {
  std::vector<CodeCell> cells;
  PushIntOperands(cells, ints);
  int nextFloat = kFirstFloatTemp;
  for (float value : floats) {
    VariableTable[nextFloat].asFloat = value;
    cells.push_back(reinterpret_cast<CodeCell>(&VariableTable[nextFloat++]));
  }
  OperandPointer = cells.data();
  HandlerForCommand(command)();
}

// Runs a command whose first operand is a text (a file name), then integer operands.
inline void RunTextCommand(int command, const char* text, std::initializer_list<int32_t> ints) {
  std::vector<CodeCell> cells;
  StoreText(&VariableTable[kFirstTextTemp], text);
  cells.push_back(reinterpret_cast<CodeCell>(&VariableTable[kFirstTextTemp]));
  PushIntOperands(cells, ints);
  OperandPointer = cells.data();
  HandlerForCommand(command)();
}

// Runs a value command with integer operands; the result slot is operand 0.
inline int32_t RunIntValue(int command, std::initializer_list<int32_t> ints) {
  VariableSlot* result = &VariableTable[kFirstIntTemp + 900];
  std::vector<CodeCell> cells{reinterpret_cast<CodeCell>(result)};
  PushIntOperands(cells, ints);
  OperandPointer = cells.data();
  HandlerForCommand(command)();
  return result->asInt;
}

// Once per process: an empty program (for the variable table), the record pools and the
// engine's command families.
inline void PrepareEngine() {
  static bool ready = false;
  if (ready) return;
  const std::vector<uint8_t> file = qvasm::ProgramBuilder().Build();
  LoadCompiledProgramFromMemory(file.data(), file.size(), nullptr);
  RegisterGraphics2DPools();
  RegisterEngine3dPools();
  CreateRecordPools();
  RegisterEngine3dCommands();
  ready = true;
}

// A fresh scene on the back buffer: fixed camera, backdrop, one point light above.
inline void StartLitScene(Surface* back) {
  InitScene3D(back);
  RunCommand(kAutoCameraOff, {});
  RunCommand(kBackdropOn, {});
  RunCommand(kMakeLight, {1});
  RunCommand(kSetPointLight, {1}, {0, 20, -10});
}

// A cube left as made: no colour command.
constexpr uint32_t kUncoloured = 0xFFFFFFFFu;

// Cube i (object i + 1) of the given size and colour on a grid of 20 x 15 per layer in front of
// the camera, spaced so that none touch.
inline void MakeGridCube(int i, float size, uint32_t colour) {
  const int number = i + 1;
  const int column = i % 20, row = i / 20 % 15, layer = i / 300;
  RunCommand(kMakeObjectCube, {number}, {size});
  if (colour != kUncoloured) RunCommand(kColorObject, {number, static_cast<int32_t>(colour)});
  RunCommand(kPositionObject, {number},
             {(static_cast<float>(column) - 9.5f) * 3.4f, (static_cast<float>(row) - 7.0f) * 3.4f,
              60.0f + static_cast<float>(layer) * 6.0f});
}

// Milliseconds per frame over one batch of at least `minimum` seconds and 3 frames.
template <typename DrawFrame>
double MeasureBatch(double minimum, DrawFrame frame) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  int frames = 0;
  double elapsed = 0;
  do {
    frame();
    ++frames;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (frames < 3 || elapsed < minimum);
  return elapsed * 1000.0 / frames;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}

// --rounds N and --batch SECONDS from the command line, else the defaults given.
struct BenchOptions {
  int rounds;
  double batchSeconds;
};
inline BenchOptions ReadBenchOptions(int argc, char** argv, BenchOptions options) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--rounds") options.rounds = std::max(1, std::atoi(argv[++i]));
    else if (std::string(argv[i]) == "--batch") options.batchSeconds = std::atof(argv[++i]);
  }
  return options;
}

// What SYNC does with the scene standing still: the engine's frame hooks and the read-back of
// the picture.
inline void StandingFrame(const RuntimeHooks& hooks) {
  hooks.RenderBackdrop();
  hooks.RenderScene3DIfOn(0);
  hooks.AnimateObjects();
  Device3dClaimCpuSide();
}

struct TimedScene {
  const char* name;
  std::vector<double> samples;  // milliseconds per frame, one per measured batch
};

// The scenes one after another, round after round, so their ratios come from the same minutes
// of a shared machine: each is built (build(s)), warmed by 3 frames, told it is warm (warm(s)),
// timed in two batches and released.
template <typename Build, typename Warm, typename Frame>
void TimeScenesInRounds(std::vector<TimedScene>& scenes, BenchOptions options, Build build, Warm warm, Frame frame) {
  for (int round = 0; round < options.rounds; ++round) {
    for (size_t s = 0; s < scenes.size(); ++s) {
      build(s);
      for (int warming = 0; warming < 3; ++warming) frame();
      warm(s);
      for (int batch = 0; batch < 2; ++batch) scenes[s].samples.push_back(MeasureBatch(options.batchSeconds, frame));
      std::fprintf(stderr, "round %d: %-40s %9.2f ms\n", round + 1, scenes[s].name, scenes[s].samples.back());
      ReleaseScene3D();
    }
  }
}
