// What the 2D benchmarks share: a headless display opened with the pools and the commands, and
// command handlers called with operands held in a private variable table.
#pragma once
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "graphics2d/graphics2d.h"

namespace bench2d {

inline VariableSlot gSlots[kVariableSlots];

// Opens a headless display with the pools and the commands, once per benchmark run.
inline void OpenDisplay() {
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

// Calls a command's handler with integer operands, then the text slot when one is given (the
// text is stored there once, as a program's variable holds it).
inline void Call(int command, std::initializer_list<int32_t> values, VariableSlot* text = nullptr) {
  CodeCell cells[16];
  int count = 0, slot = kFirstIntTemp;
  for (int32_t value : values) {
    gSlots[slot].asInt = value;
    cells[count++] = reinterpret_cast<CodeCell>(&gSlots[slot++]);
  }
  if (text != nullptr) cells[count++] = reinterpret_cast<CodeCell>(text);
  cells[count] = 0;
  OperandPointer = cells;
  HandlerForCommand(command)();
}

}  // namespace bench2d
