// System, display and window commands in-process with warnings on: the settings they keep,
// the card check, memory figures that never go negative, and the resets of a program start.
#include <gtest/gtest.h>

#include "commands/commands.h"
#include "runtime/command_numbers.h"
#include "tests/asm/command_call.h"

namespace {

using qvasm::kIntResult;
using qvasm::kTextResult;

class SystemCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterSystemCommands() && RegisterChecklistCommands());
    InstallCommandHooks(Hooks);
  }
  void TearDown() override {
    ClearCommandRegistry();
    Hooks = RuntimeHooks{};
  }
  qvasm::CommandCaller calls;
};

TEST_F(SystemCommandsTest, DeviceSettingsCardAndMemory) {
  EXPECT_EQ(calls.IntResult(kDisplayIsSoftware, {kIntResult}), 0);
  calls.Run(kDisplaySoftware, {});
  EXPECT_EQ(calls.IntResult(kDisplayIsSoftware, {kIntResult}), 1);
  EXPECT_EQ(calls.IntResult(kDisplayHasTnL, {kIntResult}), 0);
  calls.Run(kDisplayHardware, {});
  EXPECT_EQ(calls.IntResult(kDisplayIsSoftware, {kIntResult}), 0);
  EXPECT_EQ(calls.IntResult(kDisplayHasTnL, {kIntResult}), 1);
  calls.Run(kDisplayNoTnL, {});
  EXPECT_EQ(calls.IntResult(kDisplayHasTnL, {kIntResult}), 0);
  calls.Run(kDisplayAllowTnL, {});
  // The card list holds the card in use; asking for another warns (9011), the same does not.
  calls.Run(kDisplayChecklistCards, {});
  const std::string card = calls.TextResult(kDisplayCardName, {kTextResult});
  EXPECT_FALSE(card.empty());
  EXPECT_EQ(calls.TextResult(kChecklistString, {kTextResult, 1}), card);
  calls.ExpectErrors({
      {kDisplaySetCard, {"no such card"}, 9011},
      {kDisplaySetCard, {card}, 0},
      {kDisplayEvictTextures, {}, 0},
  });
  for (int command : {kTextureMemoryFree, kVideoMemoryFree, kSystemMemoryFree})
    EXPECT_GT(calls.IntResult(command, {kIntResult}), 0) << command;
  EXPECT_EQ(calls.TakeError(), 0);
}

TEST_F(SystemCommandsTest, ProgramStartResetsSwitchesEscAndSettings) {
  calls.ExpectErrors({{kSwitchAOn, {}, 0}, {kSwitchBOn, {}, 0}, {kSwitchCOn, {}, 0}, {kEscapeKeyOff, {}, 0},
                      {kSystemKeysOff, {}, 0}, {kDisplaySoftware, {}, 0}, {kDisplayNoTnL, {}, 0}});
  EXPECT_EQ(SystemSwitch(0) + SystemSwitch(1) + SystemSwitch(2), 3);
  EXPECT_FALSE(EscQuits());
  calls.ExpectErrors({{kSwitchBOff, {}, 0}, {kSystemKeysOn, {}, 0}});
  EXPECT_EQ(SystemSwitch(1), 0);
  InitInterpreter();
  EXPECT_EQ(SystemSwitch(0) + SystemSwitch(1) + SystemSwitch(2), 0);
  EXPECT_TRUE(EscQuits());
  EXPECT_EQ(calls.IntResult(kDisplayIsSoftware, {kIntResult}), 0);
  EXPECT_EQ(calls.IntResult(kDisplayHasTnL, {kIntResult}), 1);
  calls.Run(kEscapeKeyOff, {});
  calls.Run(kEscapeKeyOn, {});
  EXPECT_TRUE(EscQuits());
  calls.Run(kSwitchAOn, {});
  calls.Run(kSwitchAOff, {});
  calls.Run(kSwitchCOff, {});
  EXPECT_EQ(SystemSwitch(0) + SystemSwitch(2), 0);
}

// Without a window (headless) the window commands change nothing and raise nothing.
TEST_F(SystemCommandsTest, WindowCommandsWithoutAWindow) {
  calls.ExpectErrors({{kWindowTitle, {"t"}, 0}, {kWindowPosition, {1, 2}, 0}, {kWindowSize, {3, 4}, 0},
                      {kWindowLayout, {1, 1, 1}, 0}, {kWindowHide, {}, 0}, {kWindowShow, {}, 0},
                      {kWindowMinimise, {}, 0}, {kWindowMaximise, {}, 0}, {kWindowRestore, {}, 0}});
}

}  // namespace
