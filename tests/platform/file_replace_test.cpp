// Replacing a file whole: a full or read-only disk keeps the old file and says why, a reader
// never sees a part, planted links are never followed, and what killed writers left goes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/file_replace.h"
#include "tests/small_disk.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// The id of a process that has ended.
int DeadProcessId() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

class FileReplaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qv-replace-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }
  std::string folder_;
};

TEST_F(FileReplaceTest, AFullOrReadOnlyDiskKeepsTheOldFileAndSaysWhy) {
  SmallDisk disk("1m");
  if (!disk.Ready()) GTEST_SKIP() << disk.Why();
  const std::string target = disk.Path() + "/scores.dat";
  WriteAll(target, "the old scores");
  std::string why;
  // One write too large for the disk, and the same in pieces.
  const std::string big(2 << 20, 'n');
  EXPECT_FALSE(PlatformReplaceFile(target, big.data(), big.size(), false, &why));
  EXPECT_EQ(why, "No space left on device");
  PlatformReplacement replacement;
  ASSERT_TRUE(PlatformBeginReplace(target, false, &replacement, &why));
  for (int i = 0; i < 32; ++i) PlatformWriteReplacement(&replacement, big.data(), 65536);
  EXPECT_FALSE(PlatformCommitReplace(&replacement, &why));
  EXPECT_EQ(why, "No space left on device");
  EXPECT_EQ(ReadAll(target), "the old scores");
  EXPECT_EQ(disk.EntryCount(), 1u);  // no temporary file left
  ASSERT_TRUE(disk.MakeReadOnly());
  EXPECT_FALSE(PlatformReplaceFile(target, "new", 3, false, &why));
  EXPECT_EQ(why, "Read-only file system");
  EXPECT_EQ(ReadAll(target), "the old scores");
}

TEST_F(FileReplaceTest, AReaderSeesTheOldOrTheNewFileNeverAPart) {
  const std::string target = folder_ + "/shared.dat";
  const std::string older(200000, 'o'), newer(300000, 'n');
  WriteAll(target, older);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 100; ++i) {
      const std::string& bytes = i % 2 == 0 ? newer : older;
      PlatformReplaceFile(target, bytes.data(), bytes.size(), false, nullptr);
    }
    done = true;
  });
  int parts = 0, reads = 0;
  while (!done || reads == 0) {
    const std::string seen = ReadAll(target);
    parts += seen != older && seen != newer;
    ++reads;
  }
  writer.join();
  EXPECT_EQ(parts, 0) << "of " << reads << " reads";
}

TEST_F(FileReplaceTest, PlantedLinksAreNeverFollowed) {
  const std::string target = folder_ + "/save.x", victim = folder_ + "/victim.txt";
  WriteAll(victim, "keep me");
  // Links at the names the temporary file would take next, and at the old ".part" name.
  for (int n = 0; n < 40; ++n)
    fs::create_symlink(victim, folder_ + "/.save.x." + std::to_string(getpid()) + "-" + std::to_string(n) + ".part");
  fs::create_symlink(victim, target + ".part");
  std::string why;
  ASSERT_TRUE(PlatformReplaceFile(target, "saved", 5, false, &why)) << why;
  EXPECT_EQ(ReadAll(victim), "keep me");
  EXPECT_FALSE(fs::is_symlink(target));
  EXPECT_EQ(ReadAll(target), "saved");
  // What may not be replaced by a file: a folder, a device.
  fs::create_directory(folder_ + "/folder");
  EXPECT_FALSE(PlatformReplaceFile(folder_ + "/folder", "x", 1, false, &why));
  EXPECT_EQ(why, "Is a directory");
  EXPECT_FALSE(PlatformReplaceFile("/dev/null", "x", 1, false, &why));
  EXPECT_EQ(why, "not a regular file");
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(FileReplaceTest, LeftoversOfKilledWritersGoWhenTheTargetIsWrittenAgain) {
  const std::string target = folder_ + "/game";
  const int dead = DeadProcessId(), alive = getppid();
  auto leftover = [&](const std::string& base, int pid, int n) {
    const std::string path = folder_ + "/." + base + "." + std::to_string(pid) + "-" + std::to_string(n) + ".part";
    WriteAll(path, "half a build");
    return path;
  };
  const std::string stale1 = leftover("game", dead, 0), stale2 = leftover("game", dead, 17);
  const std::string running = leftover("game", alive, 3), other = leftover("game2", dead, 1);
  const std::string lookalike = folder_ + "/.game.x-1.part";
  WriteAll(lookalike, "not ours");
  // Abandoning a replacement takes its own temporary file and leaves the target alone.
  PlatformReplacement replacement;
  std::string why;
  ASSERT_TRUE(PlatformBeginReplace(target, true, &replacement, &why)) << why;
  EXPECT_FALSE(fs::exists(stale1) || fs::exists(stale2));
  EXPECT_TRUE(fs::exists(running) && fs::exists(other) && fs::exists(lookalike));
  ASSERT_TRUE(PlatformWriteReplacement(&replacement, "abc", 3));
  PlatformAbandonReplace(&replacement);
  EXPECT_FALSE(fs::exists(replacement.temporary));
  EXPECT_FALSE(fs::exists(target));
  ASSERT_TRUE(PlatformBeginReplace(target, true, &replacement, &why)) << why;
  ASSERT_TRUE(PlatformWriteReplacement(&replacement, "abc", 3));
  ASSERT_TRUE(PlatformCommitReplace(&replacement, &why)) << why;
  EXPECT_EQ(ReadAll(target), "abc");
  EXPECT_NE(fs::status(target).permissions() & fs::perms::owner_exec, fs::perms::none);
}

}  // namespace
