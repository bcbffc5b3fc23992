// Frames per second of the 2D display, headless: each iteration is one frame of the main
// loop's 2D steps (backgrounds, queue replay, sprites, present) after the commands of a slice.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "graphics2d/graphics2d.h"
#include "runtime/command_numbers.h"

namespace {

VariableSlot gSlots[kVariableSlots];

// Opens a headless display with the pools and the commands, once per benchmark run.
void OpenDisplay() {
  static bool registered = false;
  if (!registered) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    RegisterGraphics2DPools();
    RegisterGraphics2DCommands();
    registered = true;
  }
  if (BackBuffer() != nullptr) ReleaseDisplay(false);
  FreeRecordPools();
  CreateRecordPools();
  MutableSettings().presentByBlit = true;
  InitDisplay(false, false, false);
  VariableTable = gSlots;
  Dispatcher.drawStop = 0;  // manual refresh: a slice holds many commands
}

// Calls a command's handler with integer operands.
void Call(int command, std::initializer_list<int32_t> values) {
  std::vector<CodeCell> cells;
  int slot = kFirstIntTemp;
  for (int32_t value : values) {
    gSlots[slot].asInt = value;
    cells.push_back(reinterpret_cast<CodeCell>(&gSlots[slot++]));
  }
  cells.push_back(0);
  OperandPointer = cells.data();
  HandlerForCommand(command)();
}

void BM_MovingKeyedSprites(benchmark::State& state) {
  OpenDisplay();
  const int count = static_cast<int>(state.range(0));
  // A 32x32 image: a filled circle of colour on the transparent colour.
  Call(kDrawInk, {0x3080F0, 0});
  Call(kDrawEllipse, {16, 16, 15, 15});
  Call(kDrawBox, {8, 8, 24, 24});
  Call(kImageGet, {1, 0, 0, 32, 32});
  Call(kDrawCls, {});
  Run2DFrameSteps();
  for (int i = 1; i <= count; ++i) Call(kSprite, {i, (i * 37) % 608, (i * 53) % 448, 1});
  int frame = 0;
  for (auto _ : state) {
    ++frame;
    for (int i = 1; i <= count; ++i) Call(kSprite, {i, (i * 37 + frame * 3) % 608, (i * 53 + frame * 2) % 448, 1});
    Run2DFrameSteps();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MovingKeyedSprites)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_QueuedDots(benchmark::State& state) {
  OpenDisplay();
  const int count = static_cast<int>(state.range(0));
  int frame = 0;
  for (auto _ : state) {
    ++frame;
    for (int i = 0; i < count; ++i) Call(kDrawDot, {(i * 7 + frame) % 640, (i * 13) % 480});
    Run2DFrameSteps();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_QueuedDots)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
