// What the 3D benchmarks share: the engine made ready without the player, commands run through
// their handlers with operands in temporaries, the lit scene they draw in with its grid of
// cubes, and the timing of frames in batches.
#pragma once
#include "engine3d/engine3d.h"
#include "graphics2d/graphics2d.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime.h"
#include "tests/asm/qvasm.h"

#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <vector>

// Runs a command: the integer operands first, then the float ones.
inline void RunCommand(int command, std::initializer_list<int32_t> ints, std::initializer_list<float> floats = {}) {
  std::vector<CodeCell> cells;
  int nextInt = kFirstIntTemp, nextFloat = kFirstFloatTemp;
  for (int32_t value : ints) {
    VariableTable[nextInt].asInt = value;
    cells.push_back(reinterpret_cast<CodeCell>(&VariableTable[nextInt++]));
  }
  for (float value : floats) {
    VariableTable[nextFloat].asFloat = value;
    cells.push_back(reinterpret_cast<CodeCell>(&VariableTable[nextFloat++]));
  }
  OperandPointer = cells.data();
  HandlerForCommand(command)();
}

// Runs a value command with integer operands; the result slot is operand 0.
inline int32_t RunIntValue(int command, std::initializer_list<int32_t> ints) {
  VariableSlot* result = &VariableTable[kFirstIntTemp + 900];
  std::vector<CodeCell> cells{reinterpret_cast<CodeCell>(result)};
  int nextInt = kFirstIntTemp;
  for (int32_t value : ints) {
    VariableTable[nextInt].asInt = value;
    cells.push_back(reinterpret_cast<CodeCell>(&VariableTable[nextInt++]));
  }
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

// Cube i (object i + 1) of the given size and colour on a grid of 20 x 15 per layer in front of
// the camera, spaced so that none touch.
inline void MakeGridCube(int i, float size, uint32_t colour) {
  const int number = i + 1;
  const int column = i % 20, row = i / 20 % 15, layer = i / 300;
  RunCommand(kMakeObjectCube, {number}, {size});
  RunCommand(kColorObject, {number, static_cast<int32_t>(colour)});
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
