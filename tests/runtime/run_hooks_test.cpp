// A whole run in-process (start-up to shut-down) with counting hooks: what the player
// takes at start-up it gives back at the end of the run; the window's focus takes and lets go
// of the input devices.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/window.h"
#include "tests/runtime/run_program.h"

namespace {

struct HookCounts {
  int acquired = 0;
  int released = 0;
  int effectsReleased = 0;
  bool effectsAfterDevices = false;  // the force effects went after the devices were let go
};
HookCounts gCounts;

// A compiled program of one assignment, in a file of the temporary folder named per process.
std::filesystem::path WriteOneCommandProgram(const std::string& prefix) {
  EnsureRuntimeCommands();
  qvasm::ProgramBuilder b;
  b.Emit(kAssignInt, {b.Id(b.IntVar()), b.Id(b.IntConst(1))});
  std::vector<uint8_t> file = b.Build();
  const std::filesystem::path path = std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()) + ".dat");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return path;
}

TEST(RunHooks, InputDevicesAcquiredAtStartUpAreReleasedAtTheEndOfTheRun) {
  const std::filesystem::path path = WriteOneCommandProgram("qv-run-hooks-");

  const RuntimeHooks saved = Hooks;
  gCounts = {};
  Hooks.AcquireInputDevices = [] { ++gCounts.acquired; };
  Hooks.UnacquireInputDevices = [] { ++gCounts.released; };
  Hooks.ReleaseForceEffects = [] {
    ++gCounts.effectsReleased;
    gCounts.effectsAfterDevices = gCounts.released == 1;
  };
  int status = RunCompiledProgramFile(path.c_str(), 0, nullptr);
  Hooks = saved;
  std::filesystem::remove(path);

  EXPECT_EQ(status, 0);
  EXPECT_EQ(gCounts.acquired, 1);
  EXPECT_EQ(gCounts.released, 1);
  EXPECT_EQ(gCounts.effectsReleased, 1);
  EXPECT_TRUE(gCounts.effectsAfterDevices);
}

// A full-screen run whose display takes neither the mode nor the desktop ends at start-up with
// error 10004 and status 1, before the program's first command and before the display opens.
TEST(RunHooks, AFullScreenSwitchTheDisplayRefusesIsError10004) {
  const std::filesystem::path path = WriteOneCommandProgram("qv-run-fullscreen-");

  const RuntimeHooks saved = Hooks;
  static int displaysOpened;
  displaysOpened = 0;
  Hooks.InitDisplay = [](bool, bool, bool) {
    ++displaysOpened;
    return true;
  };
  PlatformRefuseFullscreenForTests(true);
  const int status = RunCompiledProgramFile(path.c_str(), 0, nullptr);
  const int error = RuntimeErrorNumber();
  PlatformRefuseFullscreenForTests(false);
  Hooks = saved;
  std::filesystem::remove(path);

  EXPECT_EQ(error, 10004);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(displaysOpened, 0);
}

TEST(RunHooks, TheWindowsFocusAcquiresAndLetsGoOfTheInputDevices) {
  const RuntimeHooks saved = Hooks;
  gCounts = {};
  Hooks.AcquireInputDevices = [] { ++gCounts.acquired; };
  Hooks.UnacquireInputDevices = [] { ++gCounts.released; };
  for (bool windowMode : {false, true}) {
    MutableSettings().windowMode = windowMode;
    HandleWindowMessage(PlatformMessage{PlatformMessageKind::kDeactivate, 0, 0});
    HandleWindowMessage(PlatformMessage{PlatformMessageKind::kActivate, 0, 0});
  }
  MutableSettings().windowMode = false;
  Hooks = saved;
  EXPECT_EQ(gCounts.released, 2);
  EXPECT_EQ(gCounts.acquired, 2);
}

}  // namespace
