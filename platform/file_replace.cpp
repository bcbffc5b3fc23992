// Replacing a file whole over POSIX: an exclusive temporary file beside the target, written
// in full and closed, then renamed over the target.
#include "platform/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

static bool Fail(std::string* whyNot, int error) {
  if (whyNot != nullptr) *whyNot = std::strerror(error);
  return false;
}

// Opens a temporary file no one else has: the name is new (O_EXCL) and never a link.
static int OpenTemporaryBeside(const std::string& path, bool executable, std::string* temporary) {
  static std::atomic<unsigned> counter{0};
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  // The base name is shortened so the temporary name stays within a folder entry's limit.
  const std::string base = (slash == std::string::npos ? path : path.substr(slash + 1)).substr(0, 200);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = folder + "." + base + "." + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".part";
    int fd = open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, executable ? 0777 : 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

bool PlatformReplaceFile(const std::string& path, const void* data, size_t size, bool executable,
                         std::string* whyNot) {
  if (path.empty()) return Fail(whyNot, ENOENT);
  std::string temporary;
  int fd = OpenTemporaryBeside(path, executable, &temporary);
  if (fd < 0) return Fail(whyNot, errno);
  // A replaced plain file keeps the permissions of the one it replaces.
  struct stat old;
  if (!executable && stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) fchmod(fd, old.st_mode & 07777);
  const char* bytes = static_cast<const char*>(data);
  size_t written = 0;
  int error = 0;
  while (written < size) {
    ssize_t n = write(fd, bytes + written, size - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : ENOSPC;
      break;
    }
    written += static_cast<size_t>(n);
  }
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(temporary.c_str());
    return Fail(whyNot, error);
  }
  return true;
}
