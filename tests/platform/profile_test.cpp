// Profile files and folders: defaults for missing files and keys, names without case,
// writes that add and replace keys, and the private temporary folder.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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
