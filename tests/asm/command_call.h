// Calls command handlers in-process for family table tests: an empty program loaded through
// the assembler gives the variable table, and every call checks the operand pointer.
//
// Use:
//   qvasm::CommandCaller calls;                       // loads the empty program, warnings on
//   calls.Run(kChecklistValueA, {qvasm::kResult, 3}); // result slot first, like the compiler
//   EXPECT_EQ(calls.TakeError(), 9005);
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace qvasm {

// One operand: an integer, a float, a text, or a result slot of the given kind.
struct Operand {
  enum Kind { kInt, kFloat, kText } kind;
  int32_t i = 0;
  float f = 0;
  std::string s;
  Operand(int value) : kind(kInt), i(value) {}
  Operand(float value) : kind(kFloat), f(value) {}
  Operand(double value) : kind(kFloat), f(static_cast<float>(value)) {}
  Operand(const char* value) : kind(kText), s(value) {}
  Operand(std::string value) : kind(kText), s(std::move(value)) {}
};
// Result slots, filled with a marker a handler that writes nothing leaves in place.
inline const Operand kIntResult{-12345};
inline const Operand kFloatResult{-12345.0f};
inline const Operand kTextResult{"<unset>"};

// Runs the handler of the command with the operands in the loaded program's temporaries and
// checks that it moved the operand pointer past all of them. Returns the operand slots.
// A whole-array command (array files) finds its array three words before operand 0: array
// names that variable slot (null: none there).
std::vector<VariableSlot*> CallCommand(int command, std::initializer_list<Operand> operands,
                                       VariableSlot* array = nullptr);
std::vector<VariableSlot*> CallCommand(int command, const std::vector<Operand>& operands,
                                       VariableSlot* array = nullptr);

class CommandCaller {
 public:
  // Loads an empty program (its variable table) and turns warnings on, so a test sees every
  // number a handler raises (a player run silences the warnings).
  CommandCaller();
  ~CommandCaller();
  // Runs the handler of the command with the operands and checks that it moved the operand
  // pointer past all of them, on success and on every error path. Returns the operand slots.
  std::vector<VariableSlot*> Run(int command, std::initializer_list<Operand> operands);
  // The same for a whole-array command on the array held by the variable slot.
  std::vector<VariableSlot*> RunOnArray(int command, int arraySlot, std::initializer_list<Operand> operands);
  // The integer, float or text left in the result slot (operand 0).
  int32_t IntResult(int command, std::initializer_list<Operand> operands);
  std::string TextResult(int command, std::initializer_list<Operand> operands);
  // The error or warning the last commands raised (0 = none), cleared for the next one.
  int TakeError();

  // One command with its operands and the error it must raise (0 = none).
  struct ErrorCase {
    int command;
    std::initializer_list<Operand> operands;
    int error;
  };
  // Runs each case in order and checks the number it raised.
  void ExpectErrors(std::initializer_list<ErrorCase> cases);
};

}  // namespace qvasm
