// Clipboard and registry values: 8-bit text round trips, numbers kept by case-insensitive key
// paths in the user's configuration folder, overlong names ignored, and values that outlive
// the process that wrote them.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "commands/commands.h"
#include "runtime/command_numbers.h"
#include "tests/asm/command_call.h"

namespace {

using qvasm::kIntResult;
using qvasm::kTextResult;

class ClipboardRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qv-registry-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    ForgetRegistryFolder();  // each test is a run of its own
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterClipboardRegistryCommands());
  }
  void TearDown() override {
    ClearCommandRegistry();
    unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(folder_);
  }
  bool RegistryFileExists() const { return std::filesystem::exists(folder_ + "/quorvanel/registry.ini"); }
  std::string folder_;
  qvasm::CommandCaller calls;
};

TEST_F(ClipboardRegistryTest, ClipboardKeepsEightBitText) {
  const std::string text = "caf\xe9 \xa0\xff\x80 ok";
  calls.Run(kClipboardWrite, {text});
  EXPECT_EQ(calls.TextResult(kClipboardRead, {kTextResult}), text);
  calls.Run(kClipboardWrite, {""});
  EXPECT_EQ(calls.TextResult(kClipboardRead, {kTextResult}), "");
  EXPECT_EQ(calls.TakeError(), 0);
}

TEST_F(ClipboardRegistryTest, ValuesAreKeptByCaseInsensitiveKeyPaths) {
  // A missing key answers 0 and makes nothing.
  EXPECT_EQ(calls.IntResult(kRegistryRead, {kIntResult, "Software\\Game", "Score"}), 0);
  EXPECT_FALSE(RegistryFileExists());
  calls.Run(kRegistryWrite, {"Software\\Game\\Levels", "Best", -123456});
  calls.Run(kRegistryWrite, {"Software\\Game", "Score", 99});
  EXPECT_TRUE(RegistryFileExists());
  EXPECT_EQ(calls.IntResult(kRegistryRead, {kIntResult, "SOFTWARE/game/LEVELS", "best"}), -123456);
  EXPECT_EQ(calls.IntResult(kRegistryRead, {kIntResult, "software\\game", "SCORE"}), 99);
  EXPECT_EQ(calls.IntResult(kRegistryRead, {kIntResult, "software\\game", "Other"}), 0);
  calls.Run(kRegistryWrite, {"SOFTWARE\\GAME", "score", 7});
  EXPECT_EQ(calls.IntResult(kRegistryRead, {kIntResult, "Software\\Game", "Score"}), 7);
  // Names of 255 characters or more are ignored by both commands: nothing kept, result as it was.
  const std::string longName(255, 'k');
  calls.Run(kRegistryWrite, {longName, "Score", 5});
  calls.Run(kRegistryWrite, {"Software\\Game", longName, 5});
  EXPECT_EQ(calls.IntResult(kRegistryRead, {kIntResult, longName, "Score"}), kIntResult.i);
  EXPECT_EQ(calls.IntResult(kRegistryRead, {kIntResult, "Software\\Game", longName}), kIntResult.i);
  EXPECT_EQ(calls.IntResult(kRegistryRead, {kIntResult, "Software\\Game", std::string(254, 'k')}), 0);
  // A name the file could not hold back is refused the same way, never misread later.
  calls.Run(kRegistryWrite, {"Software\\Game", "a=b", 5});
  EXPECT_EQ(calls.IntResult(kRegistryRead, {kIntResult, "Software\\Game", "a"}), 0);
  EXPECT_EQ(calls.TakeError(), 0);
}

// A value that cannot be kept (here the configuration folder is a file) warns 8083 instead of
// passing for kept; the run goes on.
TEST_F(ClipboardRegistryTest, AValueThatCannotBeWrittenWarns) {
  std::ofstream(folder_ + "/quorvanel") << "not a folder";
  calls.Run(kRegistryWrite, {"Software\\Game", "Score", 99});
  EXPECT_EQ(calls.TakeError(), 8083);
  EXPECT_EQ(calls.IntResult(kRegistryRead, {kIntResult, "Software\\Game", "Score"}), 0);
}

// A HOME that names no folder is no place to keep values (it is never made): writing warns
// 8083 and reading answers 0.
TEST_F(ClipboardRegistryTest, AMissingHomeKeepsNoValues) {
  const char* home = std::getenv("HOME");
  const std::string savedHome = home != nullptr ? home : "";
  const std::string missing = folder_ + "/gone/home";
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", missing.c_str(), 1);
  calls.Run(kRegistryWrite, {"Software\\Game", "Score", 99});
  const int error = calls.TakeError();
  const int32_t read = calls.IntResult(kRegistryRead, {kIntResult, "Software\\Game", "Score"});
  if (home != nullptr) setenv("HOME", savedHome.c_str(), 1);
  else unsetenv("HOME");
  EXPECT_EQ(error, 8083);
  EXPECT_EQ(read, 0);
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/gone"));
}

// The configuration folder is looked for once per run: a folder that goes away in the middle
// of a run is not made again by the next command, and the next run looks for it afresh.
TEST_F(ClipboardRegistryTest, TheFolderIsLookedForOncePerRun) {
  calls.Run(kRegistryWrite, {"Software\\Game", "Score", 5});
  ASSERT_TRUE(RegistryFileExists());
  std::filesystem::remove_all(folder_ + "/quorvanel");
  EXPECT_EQ(calls.IntResult(kRegistryRead, {kIntResult, "Software\\Game", "Score"}), 0);
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/quorvanel"));
  calls.Run(kRegistryWrite, {"Software\\Game", "Score", 6});
  EXPECT_EQ(calls.TakeError(), 8083);
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/quorvanel"));
  ResetSystemCommands();  // what every program start does
  calls.Run(kRegistryWrite, {"Software\\Game", "Score", 7});
  EXPECT_EQ(calls.TakeError(), 0);
  EXPECT_EQ(calls.IntResult(kRegistryRead, {kIntResult, "Software\\Game", "Score"}), 7);
}

TEST_F(ClipboardRegistryTest, ValuesPersistFromOneProcessToTheNext) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    calls.Run(kRegistryWrite, {"Software\\Persist", "Count", 4242});
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(calls.IntResult(kRegistryRead, {kIntResult, "software\\persist", "count"}), 4242);
}

}  // namespace
