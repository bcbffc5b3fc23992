// Replacing a file whole: a full or read-only disk keeps the old file and says why, a reader
// never sees a part, planted links are never followed, what killed writers left goes, and a
// save reaches the file the user has (through links, hard links, other owners, shut folders).
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
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

TEST_F(FileReplaceTest, LeftoversOfKilledWritersGoAtTheNextSaveIntoTheirFolder) {
  const std::string target = folder_ + "/game";
  const int dead = DeadProcessId(), alive = getppid();
  auto leftover = [&](const std::string& base, int pid, int n) {
    const std::string path = folder_ + "/." + base + "." + std::to_string(pid) + "-" + std::to_string(n) + ".part";
    WriteAll(path, "half a build");
    return path;
  };
  // Those of any name go, once their writer has ended; a running writer's stay.
  const std::string stale1 = leftover("game", dead, 0), stale2 = leftover("game", dead, 17);
  const std::string other = leftover("scores.dat", dead, 1), dotted = leftover("a.b.c", dead, 2);
  const std::string running = leftover("game", alive, 3);
  const std::string lookalike = folder_ + "/.game.x-1.part", bare = folder_ + "/.123-4.part";
  WriteAll(lookalike, "not ours");
  WriteAll(bare, "not ours");
  // Abandoning a replacement takes its own temporary file and leaves the target alone.
  PlatformReplacement replacement;
  std::string why;
  ASSERT_TRUE(PlatformBeginReplace(target, true, &replacement, &why)) << why;
  EXPECT_FALSE(fs::exists(stale1) || fs::exists(stale2) || fs::exists(other) || fs::exists(dotted));
  EXPECT_TRUE(fs::exists(running) && fs::exists(lookalike) && fs::exists(bare));
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

// ---- the file the user has ----

// Users of the rows that need others than this process (all below 65535, so no real account).
constexpr uid_t kOwner = 65533, kWriter = 65534;
constexpr gid_t kGroup = 65532;

std::string gNote;  // the last note of a file written in place
void CatchNote(const char* text) { gNote = text; }

struct SaveResult {
  bool ok = false;
  std::string why, note;
};

// Saves the bytes to path, whole or in pieces (three writes), here or, when writer is not -1,
// in a child running as that user with kGroup as its one group.
SaveResult Save(const std::string& path, const std::string& bytes, bool pieces, int writer) {
  auto save = [&] {
    SaveResult result;
    gNote.clear();
    if (!pieces) {
      result.ok = PlatformReplaceFile(path, bytes.data(), bytes.size(), false, &result.why);
    } else {
      PlatformReplacement replacement;
      result.ok = PlatformBeginReplace(path, false, &replacement, &result.why);
      for (size_t at = 0; result.ok && at < bytes.size(); at += bytes.size() / 3 + 1)
        PlatformWriteReplacement(&replacement, bytes.data() + at, std::min(bytes.size() - at, bytes.size() / 3 + 1));
      if (result.ok) result.ok = PlatformCommitReplace(&replacement, &result.why);
    }
    result.note = gNote;
    return result;
  };
  if (writer < 0) return save();
  int channel[2];
  if (pipe(channel) != 0) return {false, "no pipe", ""};
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    const gid_t group = kGroup;
    SaveResult result;
    if (setgroups(1, &group) != 0 || setresgid(kGroup, kGroup, kGroup) != 0 ||
        setresuid(static_cast<uid_t>(writer), static_cast<uid_t>(writer), static_cast<uid_t>(writer)) != 0)
      result.why = "cannot become the writer";
    else
      result = save();
    const std::string message = std::string(result.ok ? "1" : "0") + result.why + '\n' + result.note;
    if (write(channel[1], message.data(), message.size()) < 0) _exit(1);
    _exit(0);
  }
  close(channel[1]);
  std::string message;
  char buffer[512];
  for (ssize_t n; (n = read(channel[0], buffer, sizeof(buffer))) > 0;) message.append(buffer, static_cast<size_t>(n));
  close(channel[0]);
  waitpid(child, nullptr, 0);
  const size_t line = message.find('\n');
  if (message.empty() || line == std::string::npos) return {false, "the child said nothing", ""};
  return {message[0] == '1', message.substr(1, line - 1), message.substr(line + 1)};
}

void MakeFile(const std::string& path, const std::string& bytes, mode_t mode, uid_t owner = geteuid(),
              gid_t group = getegid()) {
  WriteAll(path, bytes);
  ASSERT_EQ(chown(path.c_str(), owner, group), 0);
  ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

// The ".NAME.PID-N.part" files below a folder.
int TemporaryFilesBelow(const std::string& folder) {
  int count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    count += entry.path().filename().string().ends_with(".part");
  return count;
}

// Each row saves over a file the user has where a rename would miss it, twice (whole, then in
// pieces): the file keeps its inode or its mode, owner and group, every name of it shows the
// new bytes, the note says when it was written in place, and nothing is left beside it.
TEST_F(FileReplaceTest, SavesReachTheFileTheUserHas) {
  const bool root = geteuid() == 0;
  struct Row {
    const char* name;
    bool needsRoot;
    int writer;  // -1: this process saves
    // Makes the file and answers the name saved to; the user's file is what it leads to.
    std::function<std::string(const std::string& folder)> make;
    const char* inPlaceWhy;  // null: replaced by a rename
    const char* failure;     // null: the save succeeds
  };
  std::unique_ptr<SmallDisk> disk;
  const Row rows[] = {
      {"a link to a link to the file", false, -1,
       [](const std::string& folder) {
         fs::create_directories(folder + "/real");
         fs::create_directories(folder + "/links");
         MakeFile(folder + "/real/save.dat", "old", 0640);
         fs::create_symlink("real/save.dat", folder + "/save.lnk");
         fs::create_symlink("../save.lnk", folder + "/links/chain.lnk");
         return folder + "/links/chain.lnk";
       },
       nullptr, nullptr},
      {"a file with another hard link", false, -1,
       [](const std::string& folder) {
         MakeFile(folder + "/a.dat", "old", 0600);
         fs::create_hard_link(folder + "/a.dat", folder + "/b.dat");
         return folder + "/a.dat";
       },
       "it has other links", nullptr},
      {"root saving a user's file", true, -1,
       [](const std::string& folder) {
         MakeFile(folder + "/user.dat", "old", 0604, kOwner, kGroup);
         return folder + "/user.dat";
       },
       nullptr, nullptr},
      {"a group member saving a group-writable file", true, static_cast<int>(kWriter),
       [](const std::string& folder) {
         chmod(folder.c_str(), 0777);
         MakeFile(folder + "/shared.dat", "old", 0664, kOwner, kGroup);
         return folder + "/shared.dat";
       },
       "its owner and group cannot be kept", nullptr},
      {"a writable file in a read-only folder", false, root ? static_cast<int>(kWriter) : -1,
       [root](const std::string& folder) {
         fs::create_directories(folder + "/game");
         if (root) MakeFile(folder + "/game/save.dat", "old", 0644, kWriter, kGroup);
         else MakeFile(folder + "/game/save.dat", "old", 0644);
         chmod(folder.c_str(), 0755);
         chmod((folder + "/game").c_str(), 0555);
         return folder + "/game/save.dat";
       },
       "its folder refuses new files (Permission denied)", nullptr},
      {"another user's writable file in a sticky folder", true, static_cast<int>(kWriter),
       [](const std::string& folder) {
         chmod(folder.c_str(), 01777);
         MakeFile(folder + "/other.dat", "old", 0666, kOwner, kOwner);
         return folder + "/other.dat";
       },
       "its owner and group cannot be kept", nullptr},
      {"a file mounted on its own", true, -1,
       [](const std::string& folder) {
         MakeFile(folder + "/source.dat", "old", 0644);
         MakeFile(folder + "/mounted.dat", "", 0644);
         if (mount((folder + "/source.dat").c_str(), (folder + "/mounted.dat").c_str(), nullptr, MS_BIND, nullptr) != 0)
           return std::string();
         return folder + "/mounted.dat";
       },
       "a rename over it is refused (Device or resource busy)", nullptr},
      {"a full disk under a file written in place", true, -1,
       [&disk](const std::string&) {
         disk = std::make_unique<SmallDisk>("1m");
         if (!disk->Ready()) return std::string();
         MakeFile(disk->Path() + "/big.dat", std::string(600000, 'o'), 0644);
         fs::create_hard_link(disk->Path() + "/big.dat", disk->Path() + "/twin.dat");
         return disk->Path() + "/big.dat";
       },
       "it has other links", "No space left on device"},
  };
  PlatformSetReplaceNotes(CatchNote);
  chmod(folder_.c_str(), 0755);  // the other users' way in
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.needsRoot && !root) {
      std::printf("skipped \"%s\": needs root (to make files of other users, or mount)\n", row.name);
      continue;
    }
    const std::string folder = folder_ + "/" + std::to_string(n++);
    fs::create_directory(folder);
    const std::string saved = row.make(folder);
    if (saved.empty()) {
      std::printf("skipped \"%s\": cannot mount here\n", row.name);
      continue;
    }
    const std::string file = fs::canonical(saved).string();
    struct stat before, after;
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    const bool link = fs::is_symlink(saved);
    const std::string old = ReadAll(file);
    const std::string bytes[2] = {row.failure ? std::string(1200000, 'n') : "new",
                                  row.failure ? std::string(1100000, 'n') : "newer, in pieces"};
    for (int pieces = 0; pieces < 2; ++pieces) {
      const SaveResult result = Save(saved, bytes[pieces], pieces == 1, row.writer);
      ASSERT_EQ(stat(file.c_str(), &after), 0);
      EXPECT_EQ(fs::is_symlink(saved), link);
      if (row.failure != nullptr) {
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.why, row.failure);
        EXPECT_EQ(ReadAll(file), old);
        EXPECT_EQ(after.st_size, before.st_size);
      } else {
        EXPECT_TRUE(result.ok) << result.why;
        EXPECT_EQ(ReadAll(saved), bytes[pieces]);
        EXPECT_EQ(ReadAll(file), bytes[pieces]);
      }
      EXPECT_EQ(result.note, row.inPlaceWhy && result.ok ? file + " written in place: " + row.inPlaceWhy : "");
      if (row.inPlaceWhy != nullptr) {
        EXPECT_EQ(after.st_ino, before.st_ino);
      }
      EXPECT_EQ(after.st_mode, before.st_mode);
      EXPECT_EQ(after.st_uid, before.st_uid);
      EXPECT_EQ(after.st_gid, before.st_gid);
      EXPECT_EQ(TemporaryFilesBelow(fs::path(file).parent_path().string()), 0);
    }
    if (std::string(row.name) == "a file mounted on its own") umount2((folder + "/mounted.dat").c_str(), MNT_DETACH);
    chmod(folder.c_str(), 0755);
    if (fs::exists(folder + "/game")) chmod((folder + "/game").c_str(), 0755);
  }
  PlatformSetReplaceNotes(nullptr);
}

}  // namespace
