// The run's private folder and the ways a run ends: a game stopped by a termination signal
// removes its folder and exits with 128 + the signal; leftovers of processes that are gone
// are removed at the next start; a process that exits without a shut-down leaves nothing.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/package_format.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"
#include "tests/asm/qvasm.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using qvasm::ProgramBuilder;

// A folder standing for the game's own folder and, through XDG_RUNTIME_DIR, the user's
// runtime folder: the private temporary folder is <folder>/quorvanel.
class RunFolderTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!fs::exists(GetParam())) GTEST_SKIP() << GetParam() << " is not built";
    folder_ = fs::temp_directory_path() / ("qv-run-folder-test-" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  fs::path Private() const { return folder_ / "quorvanel"; }

  // Writes the player with the program appended as <folder>/game. The player is copied once
  // per test (it is tens of megabytes, more under the sanitizers); another program replaces
  // only the package after it.
  fs::path WriteGame(const ProgramBuilder& program) {
    const fs::path game = folder_ / "game";
    const uint64_t playerSize = fs::file_size(GetParam());
    if (fs::exists(game)) {
      fs::resize_file(game, playerSize);
    } else {
      fs::copy_file(GetParam(), game);
      std::ifstream player(GetParam(), std::ios::binary);
      std::vector<char> piece(1 << 20);
      playerSum_ = PackageChecksum();
      while (player.read(piece.data(), static_cast<std::streamsize>(piece.size())) || player.gcount() > 0)
        playerSum_.Add(piece.data(), static_cast<size_t>(player.gcount()));
    }
    const std::vector<uint8_t> package = qvasm::PackageAfter(playerSum_, static_cast<uint32_t>(playerSize),
                                                             {{"_exefile.dat", program.Build()}});
    std::ofstream(game, std::ios::binary | std::ios::app)
        .write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));
    fs::permissions(game, fs::perms::owner_all);
    return game;
  }

  // Starts the game with the program headless, with the termination signals as a terminal
  // would deliver them (not ignored, unblocked).
  pid_t StartGame(const ProgramBuilder& program) {
    const fs::path game = WriteGame(program);
    const pid_t pid = fork();
    if (pid == 0) {
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) signal(number, SIG_DFL);
      setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
      setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
      setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // as in player_test.cpp: SDL's caches
      if (chdir(folder_.c_str()) != 0) _exit(126);
      execl(game.c_str(), "game", static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid;
  }

  // The exit status, or -1 (and the game killed) when it does not end within 20 seconds;
  // a game killed by a signal is 1000 + the signal.
  static int WaitForExit(pid_t pid) {
    for (int tries = 0; tries < 2000; ++tries) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid)
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
  }

  fs::path folder_;
  PackageChecksum playerSum_;  // the player's bytes, the first part of every game's checksum
};

// A program that never ends: a jump to itself, after switching to manual refresh when asked
// (the slice then never ends by itself).
ProgramBuilder EndlessProgram(bool manualRefresh) {
  ProgramBuilder b;
  if (manualRefresh) b.Emit(kManualRefreshMode);
  auto forever = b.NewLabel();
  b.Bind(forever);
  b.Emit(kJump, {b.At(forever)});
  return b;
}

TEST_P(RunFolderTest, ATerminationSignalRemovesTheRunFolderAndExitsWith128PlusIt) {
  for (bool manualRefresh : {false, true}) {
    for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
      const pid_t pid = StartGame(EndlessProgram(manualRefresh));
      ASSERT_GT(pid, 0);
      // The run folder exists once the program is extracted, with the handlers in place.
      const fs::path run = Private() / ("run-" + std::to_string(pid));
      for (int tries = 0; tries < 1000 && !fs::exists(run); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      EXPECT_TRUE(fs::exists(run)) << "signal " << number;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));  // into the main loop
      kill(pid, number);
      EXPECT_EQ(WaitForExit(pid), 128 + number) << "signal " << number << ", manual refresh " << manualRefresh;
      EXPECT_FALSE(fs::exists(run)) << "signal " << number;
      EXPECT_TRUE(fs::is_empty(Private())) << "signal " << number;
    }
  }
}

// A run folder or compiled file whose process is gone goes at the next start; one whose
// process still runs stays (this test process stands for a game running beside it).
TEST_P(RunFolderTest, LeftoversOfProcessesThatAreGoneAreRemovedAtStart) {
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string dead = std::to_string(gone), alive = std::to_string(getpid());
  fs::create_directories(Private() / ("run-" + dead));
  fs::permissions(Private(), fs::perms::owner_all);
  std::ofstream(Private() / ("run-" + dead) / "_virtual.dat") << "left by a killed game";
  std::ofstream(Private() / ("run-" + dead + ".dat")) << "left by a killed quorvanel run";
  std::ofstream(Private() / ("_exefile-" + dead + ".dat")) << "left by a killed quorvanel build";
  fs::create_directories(Private() / ("run-" + alive));
  std::ofstream(Private() / ("run-" + alive + ".dat")) << "a run in progress";
  std::ofstream(Private() / ("notes-" + dead)) << "not ours to judge";

  ProgramBuilder b;
  b.Emit(kEnd);
  const pid_t pid = StartGame(b);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(WaitForExit(pid), 0);
  EXPECT_FALSE(fs::exists(Private() / ("run-" + dead)));
  EXPECT_FALSE(fs::exists(Private() / ("run-" + dead + ".dat")));
  EXPECT_FALSE(fs::exists(Private() / ("_exefile-" + dead + ".dat")));
  EXPECT_TRUE(fs::exists(Private() / ("run-" + alive)));
  EXPECT_TRUE(fs::exists(Private() / ("run-" + alive + ".dat")));
  EXPECT_TRUE(fs::exists(Private() / ("notes-" + dead)));
}

INSTANTIATE_TEST_SUITE_P(Players, RunFolderTest, ::testing::Values(QV_TEST_PLAYER, QV_EXECUTABLE));

// A process that made its run folder and exits without the player's shut-down (a test, a
// tool) leaves no folder behind; a child forked from it leaves the parent's alone.
TEST(RunFolder, GoesWhenTheProcessExitsWithoutAShutDown) {
  const fs::path folder = fs::temp_directory_path() / ("qv-run-folder-exit-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  const pid_t pid = fork();
  if (pid == 0) {
    SetFoldersForTests(".", "");
    RemoveRunFolder();  // forget any folder inherited from the test process
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    const std::string run = TemporaryFolder();
    if (run != folder.string() + "/quorvanel/run-" + std::to_string(getpid()) || !fs::exists(run)) _exit(2);
    // A child of this process exits too; the folder is not its to remove.
    const pid_t child = fork();
    if (child == 0) std::exit(0);
    waitpid(child, nullptr, 0);
    std::exit(fs::exists(run) ? 0 : 3);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(fs::is_empty(folder / "quorvanel"));
  fs::remove_all(folder);
}

}  // namespace
