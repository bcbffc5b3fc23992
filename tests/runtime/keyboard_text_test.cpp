// Keyboard text in the runtime core: WAIT KEY keeps the program on it, slice after slice,
// until the window sees a key go down, and INKEY$ gives each typed character once.
#include "platform/window.h"
#include "runtime/builtins.h"
#include "tests/runtime/run_program.h"

namespace {

class KeyboardTextTest : public ProgramTest {};

TEST_F(KeyboardTextTest, WaitKeyHoldsUntilAKeyGoesDownAndInkeyReadsEachCharacterOnce) {
  EnsureRuntimeCommands();
  static const bool builtins = RegisterCoreBuiltins();
  ASSERT_TRUE(builtins);
  const int first = b.TextVar(), second = b.TextVar(), before = b.TextVar();
  b.Emit(kInkey, {qvasm::ProgramBuilder::Id(before)});
  b.Emit(kWaitKey);
  b.Emit(kInkey, {qvasm::ProgramBuilder::Id(first)});
  b.Emit(kInkey, {qvasm::ProgramBuilder::Id(second)});
  b.Emit(kEnd);
  const std::vector<uint8_t> file = b.Build();
  ASSERT_TRUE(LoadCompiledProgramFromMemory(file.data(), file.size(), nullptr));
  InitInterpreter();
  SetDisplayActive(true);
  SetLastTypedCharacter(0);
  for (int slice = 0; slice < 5; ++slice) ExecuteCommands();
  EXPECT_EQ(TextOf(before), "");
  EXPECT_FALSE(QuitRequested()) << "WAIT KEY went on without a key";
  // A character typed without a key press (pasted text) does not end the wait.
  HandleWindowMessage({PlatformMessageKind::kChar, 'x', 0});
  ExecuteCommands();
  EXPECT_FALSE(QuitRequested());
  HandleWindowMessage({PlatformMessageKind::kKeyDown, 'Q', 0});
  HandleWindowMessage({PlatformMessageKind::kChar, 'q', 0});
  for (int slice = 0; slice < 3 && !QuitRequested(); ++slice) ExecuteCommands();
  EXPECT_TRUE(QuitRequested());
  EXPECT_EQ(TextOf(first), "q");
  EXPECT_EQ(TextOf(second), "");
}

}  // namespace
