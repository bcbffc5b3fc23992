// Test harness for the 2D display: opens a headless display with the record pools, calls
// command handlers with operands through a private variable table, and runs frame steps.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "graphics2d/graphics2d.h"
#include "platform/surface.h"

namespace g2d {

// One operand: an integer or a text; Result marks the result operand of a query.
struct Result {};
using Operand = std::variant<int32_t, std::string, Result>;

class DisplayTest : public ::testing::Test {
 protected:
  // fullScreen: the display takes the screen instead of a window.
  void OpenDisplay(bool fullScreen);
  void SetUp() override { OpenDisplay(false); }
  void TearDown() override;

  // Calls the handler of a command with the operands; checks it moved past all of them.
  // Returns the result operand's integer (0 when there is none).
  int32_t Run(int command, std::vector<Operand> operands);
  // Runs the error check of a command: the error it raised (0 = none), cleared after.
  int RunForError(int command, std::vector<Operand> operands);
  // One pass of the frame steps the main loop makes around a slice.
  void Frame();
  uint32_t Pixel(int x, int y) const;
  // Takes and clears the runtime error number.
  int TakeError();
  std::string TempPath(const std::string& name) const;

  std::string tempDir_;
};

// Compares a surface with a reference PNG in tests/data/graphics2d; with QV_UPDATE_REFERENCE
// set in the environment it writes the reference instead.
::testing::AssertionResult MatchesReference(const Surface& surface, const std::string& name, int tolerance);

}  // namespace g2d
