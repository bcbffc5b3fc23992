// Folders over POSIX: the executable's own path, the private temporary folder, the user's
// configuration folder, and the mapping of program file names with "\" and any case.
#include "platform/folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <filesystem>
#include <vector>

// argv[0], kept by main for finding the executable where /proc is not mounted.
static std::string gProgramName;

void PlatformSetProgramName(const char* argv0) { gProgramName = argv0 != nullptr ? argv0 : ""; }

// The file's full path when it is a regular file, "" otherwise.
static std::string RegularFileAt(const std::string& path) {
  char resolved[PATH_MAX];
  struct stat info;
  if (path.empty() || realpath(path.c_str(), resolved) == nullptr || stat(resolved, &info) != 0 ||
      !S_ISREG(info.st_mode))
    return "";
  return resolved;
}

// Without /proc (a chroot, a container started without it): the name the process was started
// by (AT_EXECFN), else argv[0], a bare name looked up on the PATH as the shell did. Either is
// relative to the folder at start, so the path is worked out once, early in main.
static std::string FindExecutableWithoutProc() {
  const char* started = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
  if (started != nullptr) {
    const std::string path = RegularFileAt(started);
    if (!path.empty()) return path;
  }
  if (gProgramName.find('/') != std::string::npos) return RegularFileAt(gProgramName);
  const char* searchPath = std::getenv("PATH");
  const std::string folders = searchPath != nullptr ? searchPath : "";
  for (size_t at = 0; !gProgramName.empty() && at <= folders.size();) {
    size_t end = folders.find(':', at);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = end > at ? folders.substr(at, end - at) : ".";
    const std::string candidate = folder + "/" + gProgramName;
    if (access(candidate.c_str(), X_OK) == 0) {
      const std::string path = RegularFileAt(candidate);
      if (!path.empty()) return path;
    }
    at = end + 1;
  }
  return "";
}

std::string PlatformExecutablePath() {
  static std::string known;
  if (!known.empty()) return known;
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n > 0) {
    buffer[n] = 0;
    known = buffer;
  } else {
    known = FindExecutableWithoutProc();
  }
  return known;
}

static std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string PlatformExecutableFolder() { return FolderOf(PlatformExecutablePath()); }

std::string PlatformCurrentFolder() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof(buffer)) != nullptr ? buffer : ".";
}

bool PlatformChangeFolder(const std::string& folder) { return chdir(folder.c_str()) == 0; }

static bool Fail(std::string* whyNot, const std::string& why) {
  if (whyNot != nullptr) *whyNot = why;
  return false;
}

// A folder that exists or was just made with mode 0700, owned by us and closed to others.
bool PlatformMakePrivateFolder(const std::string& path, std::string* whyNot) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return Fail(whyNot, path + ": " + std::strerror(errno));
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return Fail(whyNot, path + ": " + std::strerror(errno));
  if (!S_ISDIR(info.st_mode)) return Fail(whyNot, path + " is not a folder");
  if (info.st_uid != getuid()) return Fail(whyNot, path + " belongs to another user");
  if ((info.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0) return Fail(whyNot, path + " is open to others");
  return true;
}

std::string PlatformTemporaryFolder(std::string* whyNot) {
  const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
  if (runtimeDir != nullptr && runtimeDir[0] == '/') {
    std::string path = std::string(runtimeDir) + "/quorvanel";
    if (PlatformMakePrivateFolder(path)) return path;
  }
  std::string path = "/tmp/quorvanel-" + std::to_string(getuid());
  return PlatformMakePrivateFolder(path, whyNot) ? path : "";
}

static bool MakeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

std::string PlatformConfigFolder() {
  std::string base, leaf = "/quorvanel";
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (configHome != nullptr && configHome[0] == '/') {
    base = configHome;
  } else if (home != nullptr && home[0] == '/') {
    // A home that is not there is no place to keep settings: it is not made (as root that
    // made a folder at the top of the file system that nobody looks in).
    struct stat info;
    if (stat(home, &info) != 0 || !S_ISDIR(info.st_mode)) return "";
    base = std::string(home) + "/.config";
  } else {
    // No home to keep settings in: a folder of our own, never a shared one others could
    // have made or read.
    const std::string temporary = PlatformTemporaryFolder();
    if (temporary.empty()) return "";
    base = temporary;
    leaf = "/config";
  }
  MakeFolders(base);
  const std::string path = base + leaf;
  return PlatformMakePrivateFolder(path) ? path : "";
}

static bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

static bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// XDG_DOCUMENTS_DIR as user-dirs.dirs writes it: "$HOME/Documents" or an absolute path.
static std::string DocumentsFromUserDirs(const std::string& home) {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const std::string config = configHome != nullptr && configHome[0] == '/' ? configHome : home + "/.config";
  std::string text, whyNot;
  if (!PlatformReadRegularFile(config + "/user-dirs.dirs", 65536, &text, &whyNot)) return "";
  for (const std::string& line : PlatformTextLines(text)) {
    const std::string key = "XDG_DOCUMENTS_DIR=\"";
    if (line.rfind(key, 0) != 0 || line.size() < key.size() + 1 || line.back() != '"') continue;
    std::string value = line.substr(key.size(), line.size() - key.size() - 1);
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    return value;
  }
  return "";
}

std::string PlatformDocumentsFolder() {
  const char* homeText = std::getenv("HOME");
  const std::string home = homeText != nullptr && homeText[0] == '/' ? homeText : "";
  const char* given = std::getenv("XDG_DOCUMENTS_DIR");
  if (given != nullptr && given[0] == '/' && IsFolder(given)) return given;
  if (home.empty()) return "";
  const std::string listed = DocumentsFromUserDirs(home);
  if (!listed.empty() && listed[0] == '/' && IsFolder(listed)) return listed;
  if (IsFolder(home + "/Documents")) return home + "/Documents";
  return home;
}

// The entry of folder whose name matches name without case, or name itself.
static std::string MatchInFolder(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.empty() ? "/" : folder.c_str());
  if (dir == nullptr) return name;
  std::string found = name;
  while (dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

std::string PlatformMapFileName(const std::string& name) {
  std::string path = name;
  for (char& c : path)
    if (c == '\\') c = '/';
  if (path.empty() || Exists(path)) return path;
  // Walk the path one component at a time, matching each without case where needed.
  std::string built = path[0] == '/' ? "" : ".";
  std::vector<std::string> parts;
  size_t start = path[0] == '/' ? 1 : 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    if (slash > start) parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  for (const std::string& part : parts) {
    std::string next = built + "/" + part;
    if (!Exists(next)) next = built + "/" + MatchInFolder(built, part);
    built = next;
  }
  if (!Exists(built)) return path;
  return path[0] == '/' ? built : built.substr(2);
}

bool PlatformFileReadable(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), R_OK) == 0;
}

bool PlatformFolderWritable(const std::string& folder) { return access(folder.c_str(), W_OK) == 0; }

bool PlatformDeleteFile(const std::string& path) { return unlink(path.c_str()) == 0; }

void PlatformRemoveFolderTree(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
}

bool PlatformReadRegularFile(const std::string& path, size_t maxBytes, std::string* text, std::string* whyNot) {
  text->clear();
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(whyNot, errno == ENOENT ? "" : std::strerror(errno));
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return Fail(whyNot, "not a regular file");
  }
  if (static_cast<uint64_t>(info.st_size) > maxBytes) {
    close(fd);
    return Fail(whyNot, "larger than " + std::to_string(maxBytes) + " bytes");
  }
  text->resize(static_cast<size_t>(info.st_size));
  size_t got = 0;
  while (got < text->size()) {
    const ssize_t n = read(fd, text->data() + got, text->size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the file shrank while we read: keep what was there
    got += static_cast<size_t>(n);
  }
  close(fd);
  text->resize(got);
  return true;
}

std::vector<std::string> PlatformFolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir))
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
  closedir(dir);
  return names;
}

bool PlatformProcessExists(int pid) { return pid > 0 && (kill(pid, 0) == 0 || errno != ESRCH); }

std::vector<std::string> PlatformTextLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}
