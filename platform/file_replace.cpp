// Replacing a file whole over POSIX: an exclusive temporary file beside the target, written
// in full and closed, then renamed over the target; or, where that would miss the user's file
// (other links, an owner we cannot give, a folder refusing us), written into it in place.
#include "platform/file_replace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/folders.h"

// Set once by main; told what was written in place. Lives for the process.
static void (*gReplaceNote)(const char* text) = nullptr;

void PlatformSetReplaceNotes(void (*note)(const char* text)) { gReplaceNote = note; }

// The note may itself write a file (QV.LOG) through here: a note made while telling one is dropped.
static void NoteInPlace(const std::string& target, const std::string& why) {
  static thread_local bool telling = false;
  if (gReplaceNote == nullptr || telling) return;
  telling = true;
  gReplaceNote((target + " written in place: " + why).c_str());
  telling = false;
}

static bool Fail(std::string* whyNot, int error) {
  if (whyNot != nullptr) *whyNot = std::strerror(error);
  return false;
}

// The file a path leads to once every link on it has been followed (the file itself need not
// exist: a dangling link leads to the name it holds). False with errno when the chain is too long.
static bool FollowLinks(const std::string& path, std::string* target) {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      *target = at;
      return true;
    }
    char to[PATH_MAX];
    const ssize_t n = readlink(at.c_str(), to, sizeof(to) - 1);
    if (n < 0) return false;
    const std::string next(to, static_cast<size_t>(n));
    const size_t slash = at.find_last_of('/');
    at = next[0] == '/' || slash == std::string::npos ? next : at.substr(0, slash + 1) + next;
  }
  errno = ELOOP;
  return false;
}

// The target's folder ("" or ending in "/") and the start of its temporary names
// (".NAME."): the base name is shortened so a temporary name stays within a folder entry's limit.
static void SplitTarget(const std::string& path, std::string* folder, std::string* prefix) {
  const size_t slash = path.find_last_of('/');
  *folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  *prefix = "." + (slash == std::string::npos ? path : path.substr(slash + 1)).substr(0, 200) + ".";
}

// The process id in a temporary name ".NAME.PID-N.part", or 0 when the name is no such name.
static int WriterOfTemporary(const std::string& name) {
  static const std::string kEnd = ".part";
  if (name.size() <= 1 + kEnd.size() || name[0] != '.' ||
      name.compare(name.size() - kEnd.size(), kEnd.size(), kEnd) != 0)
    return 0;
  const std::string stem = name.substr(0, name.size() - kEnd.size());
  const size_t dot = stem.find_last_of('.');
  if (dot == 0 || dot == std::string::npos) return 0;  // no NAME before the writer's part
  const std::string middle = stem.substr(dot + 1);
  const size_t dash = middle.find('-');
  if (dash == 0 || dash == std::string::npos || dash + 1 == middle.size() || dash > 9 ||
      middle.find_first_not_of("0123456789-") != std::string::npos || middle.find('-', dash + 1) != std::string::npos)
    return 0;
  return std::atoi(middle.substr(0, dash).c_str());
}

// A save or build killed half-way leaves its temporary file, as large as the save; the next
// save into the same folder removes those whose process has ended (a running one may still
// be writing).
static void RemoveStaleTemporaries(const std::string& folder) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    const int pid = WriterOfTemporary(entry->d_name);
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

// Reserves room for size bytes in an open file without changing what it holds; on failure
// (a full disk) the file is as it was, errno set.
static bool ReserveRoom(int fd, off_t oldSize, size_t size) {
  if (size == 0) return true;
  if (fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0) return true;
  if (errno != EOPNOTSUPP && errno != ENOSYS) return false;
  // A file system without fallocate: the C library's emulation writes zeros only into blocks
  // that hold none yet, and may lengthen the file, which is then cut back.
  const int error = posix_fallocate(fd, 0, static_cast<off_t>(size));
  if (error == 0) return true;
  const int cut = ftruncate(fd, oldSize);
  static_cast<void>(cut);
  errno = error;
  return false;
}

// Writes the bytes into the file itself: its inode, links, owner, group and mode stay (a
// program also becomes executable by those who may read it). Room is reserved first, so a
// full disk fails before a byte of the old content is touched.
static bool WriteInPlace(const std::string& target, const void* data, size_t size, bool executable,
                         std::string* whyNot) {
  const int fd = open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(whyNot, errno);
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    if (whyNot != nullptr) *whyNot = "not a regular file";
    return false;
  }
  fcntl(fd, F_SETFL, 0);
  if (!ReserveRoom(fd, info.st_size, size)) {
    const int error = errno;
    close(fd);
    return Fail(whyNot, error);
  }
  const char* bytes = static_cast<const char*>(data);
  int error = 0;
  for (size_t done = 0; done < size && error == 0;) {
    const ssize_t n = pwrite(fd, bytes + done, size - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) error = n < 0 ? errno : ENOSPC;
    else done += static_cast<size_t>(n);
  }
  if (error == 0 && ftruncate(fd, static_cast<off_t>(size)) != 0) error = errno;
  if (error == 0 && executable && (((info.st_mode & 0444) >> 2) & ~info.st_mode) != 0)
    fchmod(fd, (info.st_mode | (info.st_mode & 0444) >> 2) & 07777);
  if (close(fd) != 0 && error == 0) error = errno;
  return error == 0 || Fail(whyNot, error);
}

bool PlatformBeginReplace(const std::string& path, bool executable, PlatformReplacement* replacement,
                          std::string* whyNot) {
  *replacement = PlatformReplacement{};
  if (path.empty()) return Fail(whyNot, ENOENT);
  std::string target;
  if (!FollowLinks(path, &target)) return Fail(whyNot, errno);
  struct stat old;
  const bool exists = stat(target.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) return Fail(whyNot, EISDIR);
  // A device or a pipe is never replaced by a file (a save to /dev/null would remove it).
  if (exists && !S_ISREG(old.st_mode)) {
    if (whyNot != nullptr) *whyNot = "not a regular file";
    return false;
  }
  // A file the user made read-only stays as it is, as an open for writing would refuse it.
  if (exists && access(target.c_str(), W_OK) != 0) return Fail(whyNot, errno);
  replacement->target = target;
  replacement->executable = executable;
  std::string folder, prefix;
  SplitTarget(target, &folder, &prefix);
  RemoveStaleTemporaries(folder);
  // Another name of the file would keep the old content after a rename.
  if (exists && old.st_nlink > 1) {
    replacement->inPlace = true;
    replacement->inPlaceWhy = "it has other links";
    return true;
  }
  const int fd = OpenTemporaryBeside(folder, prefix, executable, &replacement->temporary);
  if (fd < 0) {
    const int error = errno;
    // A shared folder or a read-only installation with its save file writable.
    if (exists && (error == EACCES || error == EPERM)) {
      replacement->inPlace = true;
      replacement->inPlaceWhy = std::string("its folder refuses new files (") + std::strerror(error) + ")";
      return true;
    }
    return Fail(whyNot, error);
  }
  if (exists) {
    // The new file takes the old one's owner and group (root saving a user's file); where it
    // cannot (a group member saving a group-writable file), the old file is written in place.
    struct stat made;
    const bool sameOwner = fstat(fd, &made) == 0 && made.st_uid == old.st_uid && made.st_gid == old.st_gid;
    if (!sameOwner && fchown(fd, old.st_uid, old.st_gid) != 0) {
      close(fd);
      unlink(replacement->temporary.c_str());
      replacement->temporary.clear();
      replacement->inPlace = true;
      replacement->inPlaceWhy = "its owner and group cannot be kept";
      return true;
    }
    // A replaced plain file keeps its permissions (after the owner: a change of owner clears
    // the set-id bits).
    if (!executable) fchmod(fd, old.st_mode & 07777);
  }
  replacement->fd = fd;
  return true;
}

bool PlatformWriteReplacement(PlatformReplacement* replacement, const void* data, size_t size) {
  if (replacement->inPlace) {
    if (replacement->error == 0) replacement->staged.append(static_cast<const char*>(data), size);
    return replacement->error == 0;
  }
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

// The temporary file's bytes, for a rename refused at the end; false when they cannot be read.
static bool ReadBack(const std::string& temporary, std::string* bytes) {
  const int fd = open(temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  struct stat info;
  bool ok = fd >= 0 && fstat(fd, &info) == 0;
  if (ok) bytes->resize(static_cast<size_t>(info.st_size));
  for (size_t done = 0; ok && done < bytes->size();) {
    const ssize_t n = pread(fd, bytes->data() + done, bytes->size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  if (fd >= 0) close(fd);
  return ok;
}

static bool CommitInPlace(PlatformReplacement* replacement, std::string* whyNot) {
  const bool ok = WriteInPlace(replacement->target, replacement->staged.data(), replacement->staged.size(),
                               replacement->executable, whyNot);
  if (ok) NoteInPlace(replacement->target, replacement->inPlaceWhy);
  replacement->inPlace = false;
  replacement->staged = std::string();
  return ok;
}

bool PlatformCommitReplace(PlatformReplacement* replacement, std::string* whyNot) {
  if (replacement->inPlace) {
    if (replacement->error != 0) {
      replacement->inPlace = false;
      replacement->staged = std::string();
      return Fail(whyNot, replacement->error);
    }
    return CommitInPlace(replacement, whyNot);
  }
  if (replacement->fd < 0) return Fail(whyNot, EBADF);
  int error = replacement->error;
  // Some file systems (network ones) report a full disk only when the file is closed.
  if (close(replacement->fd) != 0 && error == 0) error = errno;
  replacement->fd = -1;
  if (error == 0 && rename(replacement->temporary.c_str(), replacement->target.c_str()) != 0) {
    error = errno;
    // A rename over the file refused where writing it is allowed (a sticky folder, a file
    // mounted on its own as in a container): its bytes go into the file itself.
    if ((error == EPERM || error == EACCES || error == EBUSY) && ReadBack(replacement->temporary, &replacement->staged)) {
      unlink(replacement->temporary.c_str());
      replacement->inPlace = true;
      replacement->inPlaceWhy = std::string("a rename over it is refused (") + std::strerror(error) + ")";
      return CommitInPlace(replacement, whyNot);
    }
  }
  if (error != 0) {
    unlink(replacement->temporary.c_str());
    return Fail(whyNot, error);
  }
  return true;
}

void PlatformAbandonReplace(PlatformReplacement* replacement) {
  replacement->inPlace = false;
  replacement->staged = std::string();
  if (replacement->fd < 0) return;
  close(replacement->fd);
  unlink(replacement->temporary.c_str());
  replacement->fd = -1;
}

bool PlatformReplacing(const PlatformReplacement& replacement) { return replacement.fd >= 0 || replacement.inPlace; }

bool PlatformReplaceFile(const std::string& path, const void* data, size_t size, bool executable,
                         std::string* whyNot) {
  PlatformReplacement replacement;
  if (!PlatformBeginReplace(path, executable, &replacement, whyNot)) return false;
  if (replacement.inPlace) {  // the bytes are all here: no copy is staged
    const bool ok = WriteInPlace(replacement.target, data, size, executable, whyNot);
    if (ok) NoteInPlace(replacement.target, replacement.inPlaceWhy);
    return ok;
  }
  PlatformWriteReplacement(&replacement, data, size);
  return PlatformCommitReplace(&replacement, whyNot);
}
