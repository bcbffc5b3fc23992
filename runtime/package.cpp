// The package appended to an executable: reading its entries through a bounded cursor,
// extracting them to temporary files for the commands that open files by name, and writing.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>

#include <unistd.h>

#include "platform/folders.h"
#include "runtime/runtime_local.h"

namespace {

constexpr uint32_t kMaxEntryName = 256;  // 255 characters and the NUL

uint32_t WordAt(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// Package names compare lower-cased with backslashes.
std::string PackageName(std::string name) {
  for (char& c : name) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c == '/') c = '\\';
  }
  return name;
}

bool Fail(std::string* whyNot, const std::string& reason) {
  if (whyNot != nullptr) *whyNot = reason;
  return false;
}

}  // namespace

bool ParsePackage(const std::vector<uint8_t>& image, std::vector<PackageEntryView>* entries, std::string* whyNot) {
  entries->clear();
  if (image.size() < 8) return Fail(whyNot, "no package: file too short");
  const size_t lastWord = image.size() - 4;
  const size_t start = WordAt(image, lastWord);
  if (start >= lastWord) return Fail(whyNot, "no package: start offset outside the file");
  size_t at = start;
  for (;;) {
    if (lastWord - at < 4) {
      entries->clear();
      return Fail(whyNot, "package entries run past its end");
    }
    uint32_t nameLength = WordAt(image, at);
    at += 4;
    if (nameLength == 0) break;
    if (nameLength > kMaxEntryName || nameLength > lastWord - at) {
      entries->clear();
      return Fail(whyNot, "package entry name too long: " + std::to_string(nameLength) + " bytes");
    }
    std::string name(reinterpret_cast<const char*>(image.data() + at), nameLength);
    name.resize(std::min(name.find('\0'), name.size()));
    at += nameLength;
    if (lastWord - at < 4) {
      entries->clear();
      return Fail(whyNot, "package entry '" + name + "' runs past its end");
    }
    uint32_t dataLength = WordAt(image, at);
    at += 4;
    if (dataLength > lastWord - at) {
      entries->clear();
      return Fail(whyNot, "package entry '" + name + "' runs past its end");
    }
    entries->push_back({PackageName(name), image.data() + at, dataLength});
    at += dataLength;
  }
  return true;
}

// Lives from OpenPackage to ClosePackage (the run).
static struct {
  std::vector<uint8_t> image;  // the whole executable; entries point into it
  std::vector<PackageEntryView> entries;
  std::vector<std::string> extracted;  // temporary files written, deleted at close
  std::string path;  // the executable the package was read from
} gPackage;

// Lives for the process; tests may point the folders elsewhere. The run folder is made on
// first use and removed at shut-down.
static struct {
  std::string executable, temporary, start;
  bool known = false;
  bool temporaryKnown = false;
  bool ownsRunFolder = false;  // temporary is this process's own run folder
} gFolders;

static void KnowFolders() {
  if (gFolders.known) return;
  gFolders.executable = PlatformExecutableFolder();
  gFolders.start = PlatformCurrentFolder();
  gFolders.known = true;
}

// The run's own folder inside the user's private temporary folder, so two games running at
// once never overwrite each other's extracted "_virtual." files.
const std::string& TemporaryFolder() {
  if (!gFolders.temporaryKnown) {
    std::string base = PlatformTemporaryFolder();
    std::string run = base + "/run-" + std::to_string(getpid());
    gFolders.ownsRunFolder = !base.empty() && PlatformMakePrivateFolder(run);
    gFolders.temporary = gFolders.ownsRunFolder ? run : base;
    gFolders.temporaryKnown = true;
  }
  return gFolders.temporary;
}
const std::string& ExecutableFolder() {
  KnowFolders();
  return gFolders.executable;
}
const std::string& StartFolder() {
  KnowFolders();
  return gFolders.start;
}

void RemoveRunFolder() {
  if (gFolders.ownsRunFolder) PlatformRemoveFolderTree(gFolders.temporary);
  gFolders.ownsRunFolder = false;
  gFolders.temporaryKnown = false;
}

void SetFoldersForTests(const std::string& executableFolder, const std::string& temporaryFolder) {
  KnowFolders();
  gFolders.executable = executableFolder;
  gFolders.temporary = temporaryFolder;
  gFolders.temporaryKnown = true;
  gFolders.ownsRunFolder = false;
}

std::string UserStateFilePath() { return PlatformConfigFolder() + "/WIN.INI"; }

std::string LogFilePath() {
  if (PlatformFolderWritable(ExecutableFolder())) return ExecutableFolder() + "/QV.LOG";
  return PlatformConfigFolder() + "/QV.LOG";
}

std::string MapProgramPath(const char* name) { return PlatformMapFileName(name); }

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes, uint64_t offset) {
  bytes->clear();
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size < 0 || offset > static_cast<uint64_t>(size)) return false;
  bytes->resize(static_cast<size_t>(static_cast<uint64_t>(size) - offset));
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(reinterpret_cast<char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
  return static_cast<bool>(in) || bytes->empty();
}

bool OpenPackage(const char* executablePath) {
  ClosePackage();
  // Only the package is read: its start is the file's last word. The parser checks it again
  // against the bytes read, which then begin at the package (the start word reads as 0).
  std::ifstream in(executablePath, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size < 8) return false;
  uint8_t last[4];
  in.seekg(size - 4);
  if (!in.read(reinterpret_cast<char*>(last), 4)) return false;
  const uint64_t start = static_cast<uint64_t>(last[0]) | static_cast<uint64_t>(last[1]) << 8 |
                         static_cast<uint64_t>(last[2]) << 16 | static_cast<uint64_t>(last[3]) << 24;
  if (start >= static_cast<uint64_t>(size) - 4 || !ReadFileBytes(executablePath, &gPackage.image, start)) return false;
  for (int i = 0; i < 4; ++i) gPackage.image[gPackage.image.size() - 4 + static_cast<size_t>(i)] = 0;
  std::string whyNot;
  if (!ParsePackage(gPackage.image, &gPackage.entries, &whyNot)) {
    gPackage.image.clear();
    return false;
  }
  gPackage.path = executablePath;
  return !gPackage.entries.empty();
}

bool PackageOpenFrom(const char* executablePath) {
  return !gPackage.entries.empty() && gPackage.path == executablePath;
}

void ClosePackage() {
  for (const std::string& path : gPackage.extracted) PlatformDeleteFile(path);
  gPackage.extracted.clear();
  gPackage.entries.clear();
  gPackage.image.clear();
  gPackage.image.shrink_to_fit();
  gPackage.path.clear();
}

int PackageEntryCount() { return static_cast<int>(gPackage.entries.size()); }

// Writes an entry to "_virtual.<extension>" in the temporary folder; the path, or "".
static std::string ExtractEntry(const PackageEntryView& entry, const char* extension) {
  if (TemporaryFolder().empty()) return "";
  std::string path = TemporaryFolder() + "/_virtual." + extension;
  PlatformDeleteFile(path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return "";
  out.write(reinterpret_cast<const char*>(entry.data), entry.size);
  out.close();
  if (!out) return "";
  if (std::find(gPackage.extracted.begin(), gPackage.extracted.end(), path) == gPackage.extracted.end())
    gPackage.extracted.push_back(path);
  return path;
}

std::string ExtractFirstPackageEntry() {
  if (gPackage.entries.empty()) return "";
  return ExtractEntry(gPackage.entries.front(), "dat");
}

template <class Matches>
static bool ResolveBy(std::string& name, const char* extension, Matches matches) {
  const std::string wanted = PackageName(name);
  for (const PackageEntryView& entry : gPackage.entries) {
    if (!matches(entry.name, wanted)) continue;
    std::string path = ExtractEntry(entry, extension);
    if (path.empty()) return false;
    name = path;
    return true;
  }
  return false;
}

bool ResolvePackagedFile(std::string& name, const char* extension) {
  return ResolveBy(name, extension, [](const std::string& entry, const std::string& wanted) { return entry == wanted; });
}

bool ResolvePackagedFileByBaseName(std::string& name, const char* extension) {
  return ResolveBy(name, extension, [](const std::string& entry, const std::string& wanted) {
    size_t slash = entry.find_last_of('\\');
    return (slash == std::string::npos ? entry : entry.substr(slash + 1)) == wanted;
  });
}

// The extension a lookup extracts under: the name's last three letters after the dot.
static std::string ExtensionOf(const std::string& name) {
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot + 1 >= name.size()) return "dat";
  return name.substr(dot + 1);
}

bool FileExists(const char* name) {
  std::string path = name;
  if (ResolvePackagedFile(path, ExtensionOf(path).c_str())) return true;
  return PlatformFileReadable(MapProgramPath(name));
}

bool DeleteFileIfExists(const char* name) {
  if (!FileExists(name)) return false;
  return PlatformDeleteFile(MapProgramPath(name));
}
