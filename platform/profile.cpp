// INI profile files: lines of "[section]" and "key=value"; lookups ignore case and the
// blanks around names and values; writes replace the file through a temporary file, one
// process at a time (two games writing one QV.LOG keep each other's entries).
#include "platform/profile.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <set>
#include <sstream>
#include <unordered_map>
#include <vector>

#include "platform/clock.h"
#include "platform/file_replace.h"
#include "platform/folders.h"

// Profile files are small: a lookup reads at most 1 MB. A rewrite keeps a file of up to
// 16 MB, as a long debug trace makes QV.LOG grow past the lookup limit.
static constexpr size_t kMaxProfileBytes = 1u << 20;
static constexpr size_t kMaxRewriteBytes = 16u << 20;

static std::string Trim(const std::string& s) {
  size_t begin = s.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  size_t end = s.find_last_not_of(" \t\r\n");
  return s.substr(begin, end - begin + 1);
}

// A file that is no profile (a FIFO, a device, a huge file) is said once per path.
static void ReportIgnored(const char* path, const std::string& why) {
  static std::set<std::string> reported;
  if (reported.insert(path).second) std::fprintf(stderr, "quorvanel: ignoring %s: %s\n", path, why.c_str());
}

// The lines of a profile file (a missing file has none); false when the file exists but is
// no regular file or is larger than maxBytes.
static bool ReadLines(const char* path, size_t maxBytes, std::vector<std::string>* lines) {
  std::string text, why;
  if (!PlatformReadRegularFile(path, maxBytes, &text, &why)) {
    if (why.empty()) return true;
    ReportIgnored(path, why);
    return false;
  }
  *lines = PlatformTextLines(text);
  return true;
}

// The section name of a "[name]" line, or false when the line is no section header.
static bool SectionOf(const std::string& line, std::string* name) {
  std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
  *name = Trim(t.substr(1, t.size() - 2));
  return true;
}

// Splits "key=value"; false for lines without "=".
static bool KeyOf(const std::string& line, std::string* key, std::string* value) {
  size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  *key = Trim(line.substr(0, eq));
  *value = Trim(line.substr(eq + 1));
  return true;
}

static bool SameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

std::string PlatformReadProfileString(const char* path, const char* section, const char* key,
                                      const char* fallback) {
  std::vector<std::string> lines;
  if (!ReadLines(path, kMaxProfileBytes, &lines)) return fallback;
  bool inSection = false;
  for (const std::string& line : lines) {
    std::string name, k, v;
    if (SectionOf(line, &name)) {
      inSection = SameName(name, section);
    } else if (inSection && KeyOf(line, &k, &v) && SameName(k, key)) {
      if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
      return v;
    }
  }
  return fallback;
}

static std::string Lowered(const std::string& s) {
  std::string lowered = s;
  for (char& ch : lowered) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return lowered;
}

bool PlatformWriteProfileString(const char* path, const char* section, const char* key, const char* value) {
  return PlatformWriteProfileStrings(path, section, {{key, value}});
}

// Holds an exclusive lock on the file at path (made empty when missing) for one rewrite.
// The lock is on the file itself: a writer that waited finds the name now holds the file
// the previous writer renamed into place, and takes that one instead. A busy writer can
// rename many times while another waits, so the waiting goes on for some seconds, not for a
// number of tries.
static int LockProfileFile(const char* path) {
  const uint32_t start = PlatformMilliseconds();
  while (PlatformMilliseconds() - start < 5000) {
    const int fd = open(path, O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat held, named;
    if (fstat(fd, &held) == 0 && lstat(path, &named) == 0 && held.st_dev == named.st_dev && held.st_ino == named.st_ino)
      return fd;
    close(fd);
  }
  return -1;
}

bool PlatformWriteProfileStrings(const char* path, const char* section,
                                 const std::vector<std::pair<std::string, std::string>>& entries) {
  const int lock = LockProfileFile(path);
  if (lock < 0) return false;
  std::vector<std::string> lines;
  if (!ReadLines(path, kMaxRewriteBytes, &lines)) {
    close(lock);
    return false;
  }
  // Where each key of the section stands (its first line) and where the section's last
  // non-blank line ends: a key already there is replaced in place, a new one goes after it.
  std::unordered_map<std::string, size_t> keyLines;
  bool inSection = false;
  size_t sectionEnd = std::string::npos;  // index after the last line of the wanted section
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string name, k, v;
    if (SectionOf(lines[i], &name)) {
      inSection = SameName(name, section);
      if (inSection) sectionEnd = i + 1;
    } else if (inSection) {
      if (KeyOf(lines[i], &k, &v)) keyLines.emplace(Lowered(k), i);
      if (!Trim(lines[i]).empty()) sectionEnd = i + 1;
    }
  }
  std::vector<std::string> added;  // new keys, in the order they were first set
  std::unordered_map<std::string, size_t> addedKeys;
  for (const auto& [key, value] : entries) {
    const std::string entry = key + "=" + value;
    // The key is looked up as given against the keys as they read back from the file.
    const std::string name = Lowered(key);
    if (auto at = keyLines.find(name); at != keyLines.end()) lines[at->second] = entry;
    else if (auto again = addedKeys.find(name); again != addedKeys.end()) added[again->second] = entry;
    else {
      addedKeys.emplace(Lowered(Trim(key)), added.size());
      added.push_back(entry);
    }
  }
  if (!added.empty()) {
    if (sectionEnd == std::string::npos) {
      lines.push_back("[" + std::string(section) + "]");
      lines.insert(lines.end(), added.begin(), added.end());
    } else {
      lines.insert(lines.begin() + static_cast<long>(sectionEnd), added.begin(), added.end());
    }
  }
  std::ostringstream text;
  for (const std::string& line : lines) text << line << "\n";
  const std::string bytes = text.str();
  const bool written = PlatformReplaceFile(path, bytes.data(), bytes.size(), false, nullptr);
  close(lock);
  return written;
}

void PlatformStartLog(const char* path) {
  // Every process writing a log in this folder holds a shared lock on the folder; one that
  // can take it alone is the only writer, and starts the log afresh.
  static int heldFolder = -1;  // lives for the process (a new run takes it again)
  if (heldFolder >= 0) close(heldFolder);
  heldFolder = -1;
  if (path[0] == 0) return;
  const std::string name = path;
  const size_t slash = name.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    unlink(path);
    return;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) unlink(path);
  while (flock(fd, LOCK_SH) != 0 && errno == EINTR) {
  }
  heldFolder = fd;
}
