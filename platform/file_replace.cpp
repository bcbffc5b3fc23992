// Replacing a file whole over POSIX: an exclusive temporary file beside the target, written
// in full and closed, then renamed over the target; leftovers of killed writers are removed.
#include "platform/file_replace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/folders.h"

static bool Fail(std::string* whyNot, int error) {
  if (whyNot != nullptr) *whyNot = std::strerror(error);
  return false;
}

// The target's folder ("" or ending in "/") and the start of its temporary names
// (".NAME."): the base name is shortened so a temporary name stays within a folder entry's limit.
static void SplitTarget(const std::string& path, std::string* folder, std::string* prefix) {
  const size_t slash = path.find_last_of('/');
  *folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  *prefix = "." + (slash == std::string::npos ? path : path.substr(slash + 1)).substr(0, 200) + ".";
}

// The process id in a temporary name "<prefix>PID-N.part", or 0 when the name is no such name.
static int WriterOfTemporary(const std::string& name, const std::string& prefix) {
  static const std::string kEnd = ".part";
  if (name.size() <= prefix.size() + kEnd.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - kEnd.size(), kEnd.size(), kEnd) != 0)
    return 0;
  const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - kEnd.size());
  const size_t dash = middle.find('-');
  if (dash == 0 || dash == std::string::npos || dash + 1 == middle.size() || dash > 9 ||
      middle.find_first_not_of("0123456789-") != std::string::npos || middle.find('-', dash + 1) != std::string::npos)
    return 0;
  return std::atoi(middle.substr(0, dash).c_str());
}

// A save or build killed half-way leaves its temporary file; the next writer of the same
// target removes those whose process has ended (a running one may still be writing).
static void RemoveStaleTemporaries(const std::string& folder, const std::string& prefix) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    const int pid = WriterOfTemporary(entry->d_name, prefix);
    if (pid > 0 && pid != getpid() && !PlatformProcessExists(pid)) unlinkat(dirfd(dir), entry->d_name, 0);
  }
  closedir(dir);
}

// Opens a temporary file no one else has: the name is new (O_EXCL) and never a link.
static int OpenTemporaryBeside(const std::string& folder, const std::string& prefix, bool executable,
                               std::string* temporary) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = folder + prefix + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".part";
    int fd = open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, executable ? 0777 : 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

bool PlatformBeginReplace(const std::string& path, bool executable, PlatformReplacement* replacement,
                          std::string* whyNot) {
  *replacement = PlatformReplacement{};
  if (path.empty()) return Fail(whyNot, ENOENT);
  struct stat old;
  const bool exists = stat(path.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) return Fail(whyNot, EISDIR);
  // A device or a pipe is never replaced by a file (a save to /dev/null would remove it).
  if (exists && !S_ISREG(old.st_mode)) {
    if (whyNot != nullptr) *whyNot = "not a regular file";
    return false;
  }
  // A file the user made read-only stays as it is, as an open for writing would refuse it.
  if (exists && access(path.c_str(), W_OK) != 0) return Fail(whyNot, errno);
  std::string folder, prefix;
  SplitTarget(path, &folder, &prefix);
  RemoveStaleTemporaries(folder, prefix);
  const int fd = OpenTemporaryBeside(folder, prefix, executable, &replacement->temporary);
  if (fd < 0) return Fail(whyNot, errno);
  // A replaced plain file keeps the permissions of the one it replaces.
  if (!executable && exists) fchmod(fd, old.st_mode & 07777);
  replacement->fd = fd;
  replacement->target = path;
  return true;
}

bool PlatformWriteReplacement(PlatformReplacement* replacement, const void* data, size_t size) {
  if (replacement->fd < 0) return false;
  const char* bytes = static_cast<const char*>(data);
  size_t written = 0;
  while (written < size && replacement->error == 0) {
    const ssize_t n = write(replacement->fd, bytes + written, size - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) replacement->error = n < 0 ? errno : ENOSPC;
    else written += static_cast<size_t>(n);
  }
  return replacement->error == 0;
}

bool PlatformCommitReplace(PlatformReplacement* replacement, std::string* whyNot) {
  if (replacement->fd < 0) return Fail(whyNot, EBADF);
  int error = replacement->error;
  // Some file systems (network ones) report a full disk only when the file is closed.
  if (close(replacement->fd) != 0 && error == 0) error = errno;
  replacement->fd = -1;
  if (error == 0 && rename(replacement->temporary.c_str(), replacement->target.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(replacement->temporary.c_str());
    return Fail(whyNot, error);
  }
  return true;
}

void PlatformAbandonReplace(PlatformReplacement* replacement) {
  if (replacement->fd < 0) return;
  close(replacement->fd);
  unlink(replacement->temporary.c_str());
  replacement->fd = -1;
}

bool PlatformReplacing(const PlatformReplacement& replacement) { return replacement.fd >= 0; }

bool PlatformReplaceFile(const std::string& path, const void* data, size_t size, bool executable,
                         std::string* whyNot) {
  PlatformReplacement replacement;
  if (!PlatformBeginReplace(path, executable, &replacement, whyNot)) return false;
  PlatformWriteReplacement(&replacement, data, size);
  return PlatformCommitReplace(&replacement, whyNot);
}
