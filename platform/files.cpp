// Files and folders over POSIX: descriptors, whole files, no-replace copies and renames,
// listings and tree deletes that never follow links, and the mounted drives.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

// Opens an existing regular file; non-blocking for the open only, so a FIFO of that name
// never stalls the run.
static int OpenRegularFile(const std::string& path, int access) {
  int fd = open(path.c_str(), access | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return -1;
  }
  fcntl(fd, F_SETFL, 0);
  return fd;
}

int PlatformOpenFileToRead(const std::string& path) { return OpenRegularFile(path, O_RDONLY); }

int PlatformCreateNewFile(const std::string& path) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
}

long PlatformReadBytes(int fd, void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = read(fd, static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<long>(done);
}

long PlatformReadSome(int fd, void* buffer, size_t count) {
  for (;;) {
    const ssize_t n = read(fd, buffer, count);
    if (n >= 0 || errno != EINTR) return n;
  }
}

bool PlatformWriteBytes(int fd, const void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = write(fd, static_cast<const char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;  // nothing taken and no reason given: the disk is full
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string PlatformLastError() { return std::strerror(errno); }

void PlatformCloseFile(int fd) {
  if (fd >= 0) close(fd);
}

int64_t PlatformBytesLeft(int fd) {
  struct stat info;
  const off_t at = lseek(fd, 0, SEEK_CUR);
  if (at < 0 || fstat(fd, &info) != 0) return -1;
  return info.st_size > at ? static_cast<int64_t>(info.st_size - at) : 0;
}

bool PlatformReadWholeFile(const std::string& path, size_t maxBytes, std::string* bytes) {
  int fd = PlatformOpenFileToRead(path);
  if (fd < 0) return false;
  const int64_t size = PlatformBytesLeft(fd);
  bool ok = size >= 0 && static_cast<uint64_t>(size) <= maxBytes;
  if (ok) {
    bytes->resize(static_cast<size_t>(size));
    ok = PlatformReadBytes(fd, bytes->data(), bytes->size()) == static_cast<long>(size);
  }
  close(fd);
  return ok;
}

int64_t PlatformFileSize(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return info.st_size;
}

bool PlatformPathExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

bool PlatformIsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool PlatformIsLink(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool PlatformFileIsReadOnly(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && access(path.c_str(), W_OK) != 0;
}

bool PlatformMakeFolder(const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }

bool PlatformDeleteFolderTree(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  // remove_all takes links away as links: nothing they point at is touched.
  std::error_code error;
  std::filesystem::remove_all(path, error);
  return !error && !PlatformPathExists(path);
}

bool PlatformCopyFileNoReplace(const std::string& source, const std::string& target) {
  int in = PlatformOpenFileToRead(source);
  if (in < 0) return false;
  int out = PlatformCreateNewFile(target);
  if (out < 0) {
    close(in);
    return false;
  }
  char buffer[65536];
  bool ok = true;
  for (;;) {
    long n = PlatformReadBytes(in, buffer, sizeof(buffer));
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (!PlatformWriteBytes(out, buffer, static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  struct stat info;
  if (fstat(in, &info) == 0) fchmod(out, info.st_mode & 0777);
  close(in);
  if (close(out) != 0) ok = false;
  if (!ok) unlink(target.c_str());
  return ok;
}

bool PlatformRenameNoReplace(const std::string& from, const std::string& to) {
#ifdef SYS_renameat2
  constexpr unsigned kNoReplace = 1;  // RENAME_NOREPLACE
  if (syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kNoReplace) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
#endif
  // A file system without the flag: a hard link refuses an existing name, then the old goes.
  if (PlatformPathExists(to)) return false;
  if (link(from.c_str(), to.c_str()) == 0) return unlink(from.c_str()) == 0;
  return !PlatformPathExists(to) && rename(from.c_str(), to.c_str()) == 0;
}

bool PlatformListFolder(const std::string& folder, bool withDots, std::vector<PlatformFolderEntry>* entries) {
  entries->clear();
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (dirent* entry = readdir(dir)) {
    const bool dot = std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0;
    if (dot && !withDots) continue;
    PlatformFolderEntry item{entry->d_name, dot, 0, 0};
    struct stat info;
    const std::string path = folder + "/" + entry->d_name;
    if (stat(path.c_str(), &info) == 0 || lstat(path.c_str(), &info) == 0) {
      item.folder = S_ISDIR(info.st_mode);
      item.writeTime = info.st_mtime;
      item.size = info.st_size;
      item.program = S_ISREG(info.st_mode) && (info.st_mode & 0111) != 0;
    }
    entries->push_back(std::move(item));
  }
  closedir(dir);
  std::sort(entries->begin(), entries->end(), [](const PlatformFolderEntry& a, const PlatformFolderEntry& b) {
    const bool aDots = a.name == "." || a.name == "..", bDots = b.name == "." || b.name == "..";
    if (aDots != bDots) return aDots;
    return a.name < b.name;
  });
  return true;
}

std::string PlatformTimeText(int64_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  struct tm local;
  if (localtime_r(&t, &local) == nullptr) return "";
  char text[64];
  std::strftime(text, sizeof(text), "%a %b %d %H:%M:%S %Y", &local);
  return std::string(text).substr(0, 24);
}

std::vector<std::string> PlatformDrives() {
  std::vector<std::string> drives{"/"};
  std::string userMedia = "/run/media/";
  if (const char* user = getenv("USER")) userMedia += user;
  FILE* mounts = fopen("/proc/self/mounts", "re");
  if (mounts == nullptr) return drives;
  char line[4096];
  while (fgets(line, sizeof(line), mounts) != nullptr) {
    char device[1024], point[1024];
    if (sscanf(line, "%1023s %1023s", device, point) != 2) continue;
    const std::string mount = point;
    for (const std::string& prefix : {std::string("/media/"), std::string("/mnt/"), userMedia + "/"})
      if (mount.size() > prefix.size() && mount.compare(0, prefix.size(), prefix) == 0 &&
          std::find(drives.begin(), drives.end(), mount) == drives.end())
        drives.push_back(mount);
  }
  fclose(mounts);
  return drives;
}
