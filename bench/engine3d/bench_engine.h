// What the 3D benchmarks share: the engine made ready without the player, commands run through
// their handlers with operands in temporaries, and the lit scene they draw in.
#pragma once
#include "engine3d/engine3d.h"
#include "graphics2d/graphics2d.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime.h"
#include "tests/asm/qvasm.h"

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
