// A small file system of its own for the tests of full disks and read-only folders: a tmpfs
// mounted on a fresh folder, unmounted and removed at the end. Only root may mount; elsewhere
// the disk is not there and the test skips with the reason.
//
// Use:
//   SmallDisk disk("1m");
//   if (!disk.Ready()) GTEST_SKIP() << disk.Why();
//   ... write under disk.Path() ...
#pragma once
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

class SmallDisk {
 public:
  explicit SmallDisk(const char* size) {
    char pattern[] = "/tmp/qv-disk-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      why_ = std::string("no folder for the disk: ") + std::strerror(errno);
      return;
    }
    folder_ = pattern;
    const std::string options = std::string("size=") + size + ",mode=0777";
    if (mount("tmpfs", folder_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
      why_ = std::string("cannot mount a small tmpfs (needs root): ") + std::strerror(errno);
      return;
    }
    mounted_ = true;
  }
  ~SmallDisk() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
    if (!folder_.empty()) rmdir(folder_.c_str());
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool Ready() const { return mounted_; }
  const std::string& Why() const { return why_; }
  const std::string& Path() const { return folder_; }
  // Makes the whole disk read-only (what is on it stays readable).
  bool MakeReadOnly() {
    return mounted_ && mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
  }
  // Fills what is left of the disk with one file, "filler", so that the next write finds it full.
  void Fill() const {
    const int fd = open((folder_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    static const char kBlock[4096] = {};
    while (write(fd, kBlock, sizeof(kBlock)) > 0) {
    }
    close(fd);
  }
  // The names on the disk's top folder, for checking that nothing was left behind.
  size_t EntryCount() const {
    size_t count = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(folder_, error); !error && it != std::filesystem::directory_iterator();
         it.increment(error))
      ++count;
    return count;
  }

 private:
  std::string folder_, why_;
  bool mounted_ = false;
};
