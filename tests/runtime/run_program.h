// Test helpers: load an assembled program in-process, run it slice after slice until it
// quits, and read its variable slots by id.
#pragma once
#include <gtest/gtest.h>

#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"
#include "tests/asm/qvasm.h"

struct RunResult {
  bool quit;  // the program ended (word 0, END, an error) within the slices given
  int error;  // the error number left, 0 = none
};

// Registers the core commands once per test process.
inline void EnsureRuntimeCommands() {
  static const bool registered = RegisterRuntimeCommands();
  ASSERT_TRUE(registered);
}

inline RunResult RunAssembled(const qvasm::ProgramBuilder& builder, int maxSlices = 200) {
  EnsureRuntimeCommands();
  ClearQuitRequest();
  SetWarningsOff(true);
  std::vector<uint8_t> file = builder.Build();
  std::string whyNot;
  bool loaded = LoadCompiledProgramFromMemory(file.data(), file.size(), &whyNot);
  EXPECT_TRUE(loaded) << whyNot;
  if (!loaded) return {false, -1};
  bool quit = RunLoadedProgramUntilQuit(maxSlices);
  return {quit, RuntimeErrorNumber()};
}

// A corrupt program: the error number its run ended on, or kRefusedAtLoad when the loader
// refused it (the two outcomes allowed; a crash or a wild access is the fault).
constexpr int kRefusedAtLoad = -2;
inline int RunCorrupt(const qvasm::ProgramBuilder& builder, int maxSlices = 200) {
  EnsureRuntimeCommands();
  ClearQuitRequest();
  SetWarningsOff(true);
  std::vector<uint8_t> file = builder.Build();
  if (!LoadCompiledProgramFromMemory(file.data(), file.size(), nullptr)) return kRefusedAtLoad;
  if (!RunLoadedProgramUntilQuit(maxSlices)) return 0;
  return RuntimeErrorNumber();
}

// The slot an id (10000-24999) names in the loaded program.
inline VariableSlot& SlotOf(int id) { return VariableTable[id - 10000]; }
inline std::string TextOf(int id) { return SlotOf(id).asText != nullptr ? SlotOf(id).asText : "<null>"; }

// Frees the program after each test, so every test starts from nothing.
class ProgramTest : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeCompiledProgram();
    ClearQuitRequest();
    ClearRuntimeError();
    SetWarningsOff(false);
  }
  qvasm::ProgramBuilder b;
};
