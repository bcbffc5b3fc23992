// Profile files and folders: defaults for missing files and keys, names without case,
// writes that add and replace keys, and the private temporary folder.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "platform/folders.h"
#include "platform/profile.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

TEST(Profile, ReadsWritesAndIgnoresCase) {
  fs::path dir = fs::temp_directory_path() / ("qv-profile-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string ini = (dir / "SETUP.INI").string();
  EXPECT_EQ(PlatformReadProfileString(ini.c_str(), "SETTINGS", "WINDOWMODE", "0"), "0");  // no file
  std::ofstream(ini) << "; comment\r\n[Other]\r\nWINDOWMODE=7\r\n[settings]\r\n  WindowMode = 1 \r\n";
  EXPECT_EQ(PlatformReadProfileString(ini.c_str(), "SETTINGS", "windowmode", "0"), "1");
  EXPECT_EQ(PlatformReadProfileString(ini.c_str(), "SETTINGS", "DEBUGMODE", "0"), "0");  // no key
  EXPECT_EQ(PlatformReadProfileString(ini.c_str(), "MISSING", "WINDOWMODE", "d"), "d");  // no section
  ASSERT_TRUE(PlatformWriteProfileString(ini.c_str(), "Settings", "DEBUGMODE", "1"));
  ASSERT_TRUE(PlatformWriteProfileString(ini.c_str(), "SETTINGS", "windowmode", "0"));
  ASSERT_TRUE(PlatformWriteProfileString(ini.c_str(), "ERRORLOG", "A B", "text = with equals"));
  EXPECT_EQ(PlatformReadProfileString(ini.c_str(), "settings", "DebugMode", "0"), "1");
  EXPECT_EQ(PlatformReadProfileString(ini.c_str(), "SETTINGS", "WINDOWMODE", "x"), "0");
  EXPECT_EQ(PlatformReadProfileString(ini.c_str(), "OTHER", "WINDOWMODE", "x"), "7");
  EXPECT_EQ(PlatformReadProfileString(ini.c_str(), "ErrorLog", "a b", "x"), "text = with equals");
  EXPECT_FALSE(PlatformWriteProfileString((dir / "no" / "such" / "QV.LOG").c_str(), "S", "K", "V"));
  fs::remove_all(dir);
}

static std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The debug trace writes its keys in batches: a batch must leave the file exactly as one
// write per key would (keys replaced in place, new ones after the section's last line, a
// key repeated in the batch written once with its last value, a missing section appended).
TEST(Profile, ABatchOfKeysEndsLikeOneWriteAtATime) {
  fs::path dir = fs::temp_directory_path() / ("qv-profile-batch-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::vector<std::pair<std::string, std::string>> entries = {
      {"PC0", "26"}, {"PC1", "33"}, {"PC2", "43"}, {"PC0", "27"}, {"PC5", "1"}};
  const char* kStarts[] = {
      nullptr,  // no file yet
      "[Other]\nA=1\n",
      "[TRACE]\r\nPC0=9\r\n\r\n[ERRORLOG]\r\nX=1\r\n",
      "[trace]\npc1=5\n[Other]\nB=2\n[Trace]\nPC2=7\n\n",
  };
  for (const char* start : kStarts) {
    const fs::path one = dir / "one.ini", batch = dir / "batch.ini";
    fs::remove(one);
    fs::remove(batch);
    if (start != nullptr) {
      std::ofstream(one, std::ios::binary) << start;
      std::ofstream(batch, std::ios::binary) << start;
    }
    for (const auto& [key, value] : entries)
      ASSERT_TRUE(PlatformWriteProfileString(one.c_str(), "Trace", key.c_str(), value.c_str()));
    ASSERT_TRUE(PlatformWriteProfileStrings(batch.c_str(), "Trace", entries));
    EXPECT_EQ(ReadWhole(batch), ReadWhole(one)) << (start ? start : "no file");
  }
  EXPECT_EQ(ReadWhole(dir / "batch.ini"), "[trace]\nPC1=33\n[Other]\nB=2\n[Trace]\nPC2=43\nPC0=27\nPC5=1\n\n");
  fs::remove_all(dir);
}

TEST(Folders, TemporaryFolderIsPrivateAndNamesMapWithoutCase) {
  std::string temporary = PlatformTemporaryFolder();
  ASSERT_FALSE(temporary.empty());
  struct stat info;
  ASSERT_EQ(stat(temporary.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(info.st_uid, getuid());

  fs::path dir = fs::path(temporary) / ("Media-" + std::to_string(getpid()));
  fs::create_directories(dir / "Sub");
  std::ofstream(dir / "Sub" / "Hero.BMP") << "x";
  std::string mapped = PlatformMapFileName(temporary + "\\MEDIA-" + std::to_string(getpid()) + "\\SUB\\hero.bmp");
  EXPECT_EQ(mapped, (dir / "Sub" / "Hero.BMP").string());
  EXPECT_EQ(PlatformMapFileName("no\\such\\file"), "no/such/file");
  fs::remove_all(dir);
}

// Runs body in a child process and returns its exit status; a child still running after
// ten seconds (a read that waits for ever) is ended and counts as -1.
static int InChild(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(10);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// SETUP.INI and the other profile files are read only when they are regular files of at
// most 1 MB: a FIFO (no writer ever comes), a device without end or a huge file gives the
// defaults at once, with a line on stderr, and a rewrite leaves them alone.
TEST(Profile, OnlyRegularFilesOfAtMostOneMegabyteAreRead) {
  fs::path dir = fs::temp_directory_path() / ("qv-profile-odd-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path fifo = dir / "fifo.ini", huge = dir / "huge.ini", device = dir / "device.ini";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Sparse, so they take no disk: past the lookup limit; past the limit of a rewrite too
  // (a long debug trace makes QV.LOG larger than a lookup reads).
  const fs::path big = dir / "big.ini";
  for (const auto& [path, size] : {std::pair{big, (1u << 20) + 1}, std::pair{huge, (16u << 20) + 1}}) {
    std::ofstream(path) << "[SETTINGS]\nWINDOWMODE=1\n";
    fs::resize_file(path, size);
  }
  EXPECT_EQ(PlatformReadProfileString(big.c_str(), "SETTINGS", "WINDOWMODE", "d"), "d");
  fs::create_symlink("/dev/zero", device);
  for (const fs::path& path : {fifo, huge, device, fs::path("/dev/zero")}) {
    const int status = InChild([&] {
      if (PlatformReadProfileString(path.c_str(), "SETTINGS", "WINDOWMODE", "d") != "d") return 1;
      return PlatformWriteProfileString(path.c_str(), "SETTINGS", "WINDOWMODE", "0") ? 2 : 0;
    });
    EXPECT_EQ(status, 0) << path;
  }
  EXPECT_EQ(fs::file_size(huge), (16u << 20) + 1);
  EXPECT_TRUE(fs::is_fifo(fifo));
  fs::remove_all(dir);
}

// Two games writing one QV.LOG at once: every entry of both ends in the file (each rewrite
// holds the file's lock from its read to its rename), and no temporary file is left.
TEST(Profile, WritersInTwoProcessesKeepEachOthersEntries) {
  fs::path dir = fs::temp_directory_path() / ("qv-profile-two-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string log = (dir / "QV.LOG").string();
  constexpr int kEntries = 150;
  pid_t writers[2];
  for (int w = 0; w < 2; ++w) {
    writers[w] = fork();
    if (writers[w] == 0) {
      for (int i = 0; i < kEntries; ++i) {
        const std::string key = "GAME" + std::to_string(w) + " ENTRY" + std::to_string(i);
        if (!PlatformWriteProfileString(log.c_str(), "ERRORLOG", key.c_str(), "text")) _exit(1);
      }
      _exit(0);
    }
  }
  for (pid_t writer : writers) {
    int status = 0;
    waitpid(writer, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  int missing = 0;
  for (int w = 0; w < 2; ++w)
    for (int i = 0; i < kEntries; ++i) {
      const std::string key = "GAME" + std::to_string(w) + " ENTRY" + std::to_string(i);
      missing += PlatformReadProfileString(log.c_str(), "ERRORLOG", key.c_str(), "") != "text";
    }
  EXPECT_EQ(missing, 0);
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  EXPECT_EQ(names, std::set<std::string>{"QV.LOG"});
  fs::remove_all(dir);
}

// A debugging run starts a fresh log, unless another game beside it is writing the log:
// then that game's entries stay. Once no one writes it, the next start is fresh again.
TEST(Profile, ADebuggingStartKeepsTheLogOfAGameStillRunning) {
  fs::path dir = fs::temp_directory_path() / ("qv-profile-start-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string log = (dir / "QV.LOG").string();
  std::ofstream(log) << "[ERRORLOG]\nOLD RUN=gone\n";
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  const pid_t first = fork();
  if (first == 0) {
    PlatformStartLog(log.c_str());
    const bool ok = PlatformWriteProfileString(log.c_str(), "ERRORLOG", "FIRST", "1");
    char c = ok ? 'y' : 'n';
    if (write(ready[1], &c, 1) != 1) _exit(1);
    if (read(done[0], &c, 1) != 1) _exit(1);  // runs until the test lets it end
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_EQ(c, 'y');
  EXPECT_EQ(PlatformReadProfileString(log.c_str(), "ERRORLOG", "OLD RUN", "fresh"), "fresh");
  EXPECT_EQ(InChild([&] {
    PlatformStartLog(log.c_str());
    return PlatformWriteProfileString(log.c_str(), "ERRORLOG", "SECOND", "2") ? 0 : 1;
  }), 0);
  EXPECT_EQ(PlatformReadProfileString(log.c_str(), "ERRORLOG", "FIRST", ""), "1");
  EXPECT_EQ(PlatformReadProfileString(log.c_str(), "ERRORLOG", "SECOND", ""), "2");
  ASSERT_EQ(write(done[1], &c, 1), 1);
  waitpid(first, nullptr, 0);
  EXPECT_EQ(InChild([&] {
    PlatformStartLog(log.c_str());
    return fs::exists(log) ? 1 : 0;
  }), 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
  fs::remove_all(dir);
}

// A write never goes through a link: a profile name that is a link is refused, and the
// file it points at is left as it was.
TEST(Profile, AWriteDoesNotFollowALink) {
  fs::path dir = fs::temp_directory_path() / ("qv-profile-link-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "elsewhere") << "someone's file\n";
  fs::create_symlink(dir / "elsewhere", dir / "QV.LOG");
  EXPECT_FALSE(PlatformWriteProfileString((dir / "QV.LOG").c_str(), "ERRORLOG", "K", "V"));
  EXPECT_EQ(ReadWhole(dir / "elsewhere"), "someone's file\n");
  EXPECT_TRUE(fs::is_symlink(dir / "QV.LOG"));
  fs::remove_all(dir);
}

// The configuration folder: made 0700 and ours; with no HOME, a private folder inside the
// user's temporary folder (never a shared /tmp path); with a HOME that is not there, none; one
// that is not a folder of ours is refused.
TEST(Folders, ConfigurationFolderIsPrivateAndOurs) {
  fs::path dir = fs::temp_directory_path() / ("qv-config-" + std::to_string(getpid()));
  fs::create_directories(dir / "runtime");
  fs::permissions(dir / "runtime", fs::perms::owner_all);
  const int status = InChild([&] {
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("HOME");
    setenv("XDG_RUNTIME_DIR", (dir / "runtime").c_str(), 1);
    const std::string config = PlatformConfigFolder();
    struct stat info;
    if (config != (dir / "runtime" / "quorvanel" / "config").string()) return 1;
    if (stat(config.c_str(), &info) != 0 || (info.st_mode & 0777) != 0700 || info.st_uid != getuid()) return 2;
    // A HOME that names no folder gives none, and is not made.
    setenv("HOME", (dir / "gone" / "home").c_str(), 1);
    if (!PlatformConfigFolder().empty() || fs::exists(dir / "gone")) return 6;
    setenv("XDG_CONFIG_HOME", (dir / "home").c_str(), 1);
    if (PlatformConfigFolder() != (dir / "home" / "quorvanel").string()) return 3;
    if (stat((dir / "home" / "quorvanel").c_str(), &info) != 0 || (info.st_mode & 0777) != 0700) return 4;
    // Not a folder of ours: a link put in its place.
    setenv("XDG_CONFIG_HOME", (dir / "planted").c_str(), 1);
    fs::create_directories(dir / "planted");
    fs::create_symlink(dir / "home" / "quorvanel", dir / "planted" / "quorvanel");
    return PlatformConfigFolder().empty() ? 0 : 5;
  });
  EXPECT_EQ(status, 0);
  fs::remove_all(dir);
}
