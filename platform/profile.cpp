// INI profile files: lines of "[section]" and "key=value"; lookups ignore case and the
// blanks around names and values; writes replace the file through a temporary file.
#include "platform/profile.h"

#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unordered_map>
#include <vector>

static std::string Trim(const std::string& s) {
  size_t begin = s.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  size_t end = s.find_last_not_of(" \t\r\n");
  return s.substr(begin, end - begin + 1);
}

static bool ReadLines(const char* path, std::vector<std::string>* lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines->push_back(line);
  }
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
  if (!ReadLines(path, &lines)) return fallback;
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

bool PlatformWriteProfileStrings(const char* path, const char* section,
                                 const std::vector<std::pair<std::string, std::string>>& entries) {
  std::vector<std::string> lines;
  ReadLines(path, &lines);  // a missing file starts empty
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
  const std::string temporary = std::string(path) + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text.str();
    if (!out.flush()) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}
