// Test harness of the 3D engine: a loaded empty program for the variable table, the engine's
// pools and commands registered once, and handlers called with typed operands.
#pragma once
#include "engine3d/engine3d.h"
#include "platform/device3d_record.h"
#include "runtime/command_numbers.h"
#include "tests/asm/command_call.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

using Arg = qvasm::Operand;

// Runs the handler of a command with the operands; checks it moved the operand pointer past
// all of them. Returns the slots the operands were read from (results land in slot 0).
std::vector<VariableSlot*> RunCommand(int command, std::initializer_list<Arg> args);
// The error the last command raised (0 = none), cleared for the next one.
int TakeError();
// Float and int results of a value function called with (result, operands...).
float FloatValue(int command, std::initializer_list<Arg> operands);
int32_t IntValue(int command, std::initializer_list<Arg> operands);
// The text result of a value function of two operands (object, limb).
std::string TextValue(int command, std::initializer_list<Arg> operands);

// One command with its operands and the error it must raise (0 = none).
struct ErrorCase {
  int command;
  std::initializer_list<Arg> args;
  int error;
};
// Runs each case in order and checks the error it raised.
void ExpectErrors(std::initializer_list<ErrorCase> cases);

// A fresh scene on the recording device for each test.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};
