// The package appended to an executable: reading its entries through a bounded cursor,
// extracting them to temporary files for the commands that open files by name, and writing.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/carried.h"
#include "platform/carried_archive.h"
#include "platform/file_replace.h"
#include "platform/folders.h"
#include "platform/package_format.h"
#include "runtime/runtime_local.h"

namespace {

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

constexpr size_t kCopyPiece = 1 << 20;  // what an extraction holds in memory at once

}  // namespace

bool ParsePackageBytes(const uint8_t* image, size_t size, std::vector<PackageEntryView>* entries,
                       std::string* whyNot) {
  entries->clear();
  const PackageByteReader fromMemory = [image, size](uint64_t at, void* out, size_t n) {
    if (at > size || n > size - at) return false;
    std::memcpy(out, image + at, n);
    return true;
  };
  std::vector<PackageFrameEntry> frame;
  uint64_t start = 0, checksum = 0;
  if (!ReadPackageFrame(fromMemory, size, &frame, &start, &checksum, whyNot)) return false;
  if (!PackageChecksumMatches(fromMemory, size, checksum))
    return Fail(whyNot, "the package does not match its checksum");
  for (const PackageFrameEntry& entry : frame)
    entries->push_back({PackageName(entry.name), image + entry.offset, entry.size, entry.offset});
  return true;
}

bool ParsePackage(const std::vector<uint8_t>& image, std::vector<PackageEntryView>* entries, std::string* whyNot) {
  return ParsePackageBytes(image.data(), image.size(), entries, whyNot);
}

// Lives from OpenPackage to ClosePackage (the run). The file stays open, not mapped: an
// entry is read a piece at a time when the program first asks for it, and a game rebuilt
// over this one while it runs does not change what it reads.
static struct {
  int file = -1;
  std::vector<PackageEntryView> entries;  // the game's own: the carried archive is not one
  std::string mediaFolder;  // the media folder's own name as packed (lower-cased), or ""
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
  int owner = 0;               // the process that made it
} gFolders;

static void KnowFolders() {
  if (gFolders.known) return;
  gFolders.executable = PlatformExecutableFolder();
  gFolders.start = PlatformCurrentFolder();
  gFolders.known = true;
}

// The run's own folder inside the user's private temporary folder, so two games running at
// once never overwrite each other's extracted "_virtual." files.
// The folder goes when the process ends, also without a shut-down (a test, an exit from a
// library); only the process that made it removes it, never a child forked from it.
const std::string& TemporaryFolder() {
  if (!gFolders.temporaryKnown) {
    std::string base = PlatformTemporaryFolder();
    std::string run = base + "/run-" + std::to_string(getpid());
    gFolders.ownsRunFolder = !base.empty() && PlatformMakePrivateFolder(run);
    gFolders.temporary = gFolders.ownsRunFolder ? run : base;
    gFolders.temporaryKnown = true;
    gFolders.owner = getpid();
    static bool removedAtExit = false;
    if (gFolders.ownsRunFolder && !removedAtExit) removedAtExit = std::atexit([] {
      if (gFolders.owner == getpid()) RemoveRunFolder();
    }) == 0;
  }
  return gFolders.temporary;
}

// "run-<pid>" folders, and the driver's "run-<pid>.dat" and "_exefile-<pid>.dat", of
// processes gone without their shut-down (killed, a crash, the power cut).
void RemoveStaleRunFolders() {
  const std::string base = PlatformTemporaryFolder();
  if (base.empty()) return;
  for (const std::string& name : PlatformFolderEntries(base)) {
    size_t digits = name.rfind("run-", 0) == 0 ? 4 : name.rfind("_exefile-", 0) == 0 ? 9 : 0;
    if (digits == 0) continue;
    size_t end = digits;
    while (end < name.size() && end - digits < 9 && std::isdigit(static_cast<unsigned char>(name[end]))) ++end;
    const std::string rest = name.substr(end);
    if (end == digits || !(rest.empty() || rest == ".dat") || (digits == 9 && rest.empty())) continue;
    const int pid = std::stoi(name.substr(digits, end - digits));
    if (pid != getpid() && !PlatformProcessExists(pid)) PlatformRemoveFolderTree(base + "/" + name);
  }
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

// Empty (nothing is read or written) when the user has no configuration folder of their own.
static std::string InConfigFolder(const char* name) {
  const std::string folder = PlatformConfigFolder();
  return folder.empty() ? "" : folder + "/" + name;
}

std::string UserStateFilePath() { return InConfigFolder("WIN.INI"); }

std::string LogFilePath() {
  if (PlatformFolderWritable(ExecutableFolder())) return ExecutableFolder() + "/QV.LOG";
  return InConfigFolder("QV.LOG");
}

std::string MapProgramPath(const char* name) {
  NoteProgramFileName(name);
  return PlatformMapFileName(name);
}

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

// Reads bytes of the open package file: false where the file ends or cannot be read.
static bool ReadAt(int file, uint64_t at, void* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t got = pread(file, static_cast<uint8_t*>(out) + done, n - done, static_cast<off_t>(at + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

// Reads the file's package: its frame, then, for a game, every byte against the checksum the
// build wrote (the stub, the program, the media and the libraries alike: a damaged game never
// starts). The carried archive's entry is not kept with the game's own but its place is
// returned in *carried (size 0 when there is none); the media folder's name is kept apart
// too. False with the reason when there is no package, a damaged one, or one with neither
// files nor an archive.
static bool ReadPackage(const char* executablePath, std::string* whyNot, PackageEntryView* carried = nullptr) {
  ClosePackage();
  const int file = open(executablePath, O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (file < 0 || fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (file >= 0) close(file);
    return Fail(whyNot, "cannot read " + std::string(executablePath));
  }
  const uint64_t size = static_cast<uint64_t>(info.st_size);
  const PackageByteReader fromFile = [file](uint64_t at, void* out, size_t n) { return ReadAt(file, at, out, n); };
  std::vector<PackageFrameEntry> frame;
  uint64_t start = 0, checksum = 0;
  if (!ReadPackageFrame(fromFile, size, &frame, &start, &checksum, whyNot)) {
    close(file);
    return false;
  }
  PackageEntryView archive{"", nullptr, 0, 0};
  bool carries = false;
  std::string mediaFolder;
  for (const PackageFrameEntry& entry : frame) {
    const std::string name = PackageName(entry.name);
    if (name == kCarriedPackageEntry) {
      archive = {name, nullptr, entry.size, entry.offset};
      carries = true;
    } else if (name == kMediaFolderEntry) {
      mediaFolder.resize(std::min<uint32_t>(entry.size, kMaxPackageEntryName));
      if (!ReadAt(file, entry.offset, mediaFolder.data(), mediaFolder.size())) mediaFolder.clear();
      mediaFolder = PackageName(mediaFolder);
    } else {
      gPackage.entries.push_back({name, nullptr, entry.size, entry.offset});
    }
  }
  if (carried != nullptr) *carried = archive;
  if (gPackage.entries.empty() && !carries) {
    close(file);
    return Fail(whyNot, "the package holds no files");
  }
  // The development executable's package holds only its libraries, each checked as it is
  // unpacked; a game's is read whole once, a piece at a time.
  if (!gPackage.entries.empty() && !PackageChecksumMatches(fromFile, size, checksum)) {
    gPackage.entries.clear();
    close(file);
    return Fail(whyNot, "its bytes do not match the checksum it was built with: the file was changed or damaged "
                        "after it was built");
  }
  gPackage.file = file;
  gPackage.mediaFolder = mediaFolder;
  gPackage.path = executablePath;
  return true;
}

bool OpenPackage(const char* executablePath) { return ReadPackage(executablePath, nullptr); }

// Where an ELF executable's own contents end (its headers, segments and section table), or 0
// when the file is not a little-endian ELF file whose headers can be read. A player whose
// file is longer carries something after its program: a package, whole or damaged.
static uint64_t ElfExtent(const char* path) {
  std::ifstream in(path, std::ios::binary);
  uint8_t header[64] = {};
  if (!in.read(reinterpret_cast<char*>(header), sizeof(header))) return 0;
  if (header[0] != 0x7f || header[1] != 'E' || header[2] != 'L' || header[3] != 'F' || header[5] != 1) return 0;
  const bool wide = header[4] == 2;
  if (!wide && header[4] != 1) return 0;
  auto field = [](const uint8_t* at, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | at[i];
    return value;
  };
  const int word = wide ? 8 : 4;
  const uint64_t programTable = field(header + (wide ? 0x20 : 0x1c), word);
  const uint64_t sectionTable = field(header + (wide ? 0x28 : 0x20), word);
  const uint64_t programEntry = field(header + (wide ? 0x36 : 0x2a), 2), programCount = field(header + (wide ? 0x38 : 0x2c), 2);
  const uint64_t sectionEntry = field(header + (wide ? 0x3a : 0x2e), 2), sectionCount = field(header + (wide ? 0x3c : 0x30), 2);
  if (programEntry < (wide ? 56u : 32u) || programTable > (1ull << 48) || sectionTable > (1ull << 48)) return 0;
  uint64_t extent = std::max<uint64_t>({wide ? 64u : 52u, programTable + programEntry * programCount,
                                        sectionTable + sectionEntry * sectionCount});
  std::vector<uint8_t> entry(programEntry);
  for (uint64_t i = 0; i < programCount; ++i) {
    in.seekg(static_cast<std::streamoff>(programTable + i * programEntry));
    if (!in.read(reinterpret_cast<char*>(entry.data()), static_cast<std::streamsize>(entry.size()))) return 0;
    const uint64_t offset = field(entry.data() + (wide ? 8 : 4), word);
    const uint64_t fileSize = field(entry.data() + (wide ? 0x20 : 0x10), word);
    if (offset > (1ull << 48) || fileSize > (1ull << 48)) return 0;
    extent = std::max(extent, offset + fileSize);
  }
  return extent;
}

OwnPackage OpenOwnPackage(const char* executablePath, std::string* whyNot) {
  std::error_code error;
  if (executablePath == nullptr || executablePath[0] == 0)
    return Fail(whyNot, "cannot find its own file: /proc is not mounted, and neither the name it was started by "
                        "nor its argv[0] names one"),
           OwnPackage::kUnreadable;
  const uint64_t size = std::filesystem::file_size(executablePath, error);
  if (error || access(executablePath, R_OK) != 0)
    return Fail(whyNot, "cannot read its own file " + std::string(executablePath)), OwnPackage::kUnreadable;
  const uint64_t extent = ElfExtent(executablePath);
  if (extent != 0 && size == extent) return OwnPackage::kNone;  // nothing appended
  PackageEntryView carried{"", nullptr, 0, 0};
  if (ReadPackage(executablePath, whyNot, &carried)) {
    // The libraries the file carries (the development executable's, or the ones a game was
    // built with) serve the whole process; a damaged archive is a damaged file.
    std::string why;
    if (!carried.name.empty() &&
        !PlatformCarryFrom(executablePath, carried.offset, carried.size, !gPackage.entries.empty(), &why)) {
      ClosePackage();
      if (whyNot != nullptr) *whyNot = why;
      return OwnPackage::kDamaged;
    }
    if (!gPackage.entries.empty()) return OwnPackage::kOpened;
    ClosePackage();
    return OwnPackage::kNone;  // only libraries: the development executable itself
  }
  if (extent == 0) return OwnPackage::kNone;
  if (size < extent && whyNot != nullptr) *whyNot = "the file is cut short: " + std::to_string(size) +
                                                  " bytes of the " + std::to_string(extent) + " its program needs";
  return OwnPackage::kDamaged;
}

bool PackageOpenFrom(const char* executablePath) {
  return !gPackage.entries.empty() && gPackage.path == executablePath;
}

void ClosePackage() {
  for (const std::string& path : gPackage.extracted) PlatformDeleteFile(path);
  gPackage.extracted.clear();
  gPackage.entries.clear();
  if (gPackage.file >= 0) close(gPackage.file);
  gPackage.file = -1;
  gPackage.mediaFolder.clear();
  gPackage.path.clear();
}

int PackageEntryCount() { return static_cast<int>(gPackage.entries.size()); }

// Copies an entry's bytes from the package file to a new file at path, a piece at a time;
// the path holds the whole entry or is left as it was.
static bool CopyEntryTo(const PackageEntryView& entry, const std::string& path, std::string* whyNot) {
  PlatformReplacement out;
  if (!PlatformBeginReplace(path, false, &out, whyNot)) return false;
  std::vector<uint8_t> piece(std::min<size_t>(kCopyPiece, entry.size));
  for (uint64_t done = 0; done < entry.size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(piece.size(), entry.size - done));
    if (!ReadAt(gPackage.file, entry.offset + done, piece.data(), n)) {
      PlatformAbandonReplace(&out);
      return Fail(whyNot, "cannot read the game's own file");
    }
    PlatformWriteReplacement(&out, piece.data(), n);
    done += n;
  }
  return PlatformCommitReplace(&out, whyNot);
}

// Writes an entry to a temporary file of its own: "_virtual.<extension>" for the first
// (the compiled program), "_virtual-<n>.<extension>" for entry n, so two media files of one
// extension are open at once without one overwriting the other. An entry extracted already
// under that extension is not written again: a sound or video reading it keeps its file.
// The path, or "" with the reason in *whyNot.
static std::string ExtractEntry(const PackageEntryView& entry, const char* extension, std::string* whyNot = nullptr) {
  if (TemporaryFolder().empty()) {
    Fail(whyNot, "no private temporary folder");
    return "";
  }
  const size_t index = static_cast<size_t>(&entry - gPackage.entries.data());
  std::string path = TemporaryFolder() + "/_virtual" + (index == 0 ? "" : "-" + std::to_string(index)) + "." + extension;
  if (std::find(gPackage.extracted.begin(), gPackage.extracted.end(), path) != gPackage.extracted.end() &&
      PlatformFileReadable(path))
    return path;
  std::string why;
  if (!CopyEntryTo(entry, path, &why)) {
    Fail(whyNot, "cannot write " + path + ": " + why);
    return "";
  }
  if (std::find(gPackage.extracted.begin(), gPackage.extracted.end(), path) == gPackage.extracted.end())
    gPackage.extracted.push_back(path);
  return path;
}

std::string ExtractFirstPackageEntry(std::string* whyNot) {
  if (gPackage.entries.empty()) {
    Fail(whyNot, "no package is open");
    return "";
  }
  return ExtractEntry(gPackage.entries.front(), "dat", whyNot);
}

template <class Matches>
static bool ResolveBy(std::string& name, const char* extension, Matches matches) {
  NoteProgramFileName(name.c_str());
  std::string wanted = PackageName(name);
  while (wanted.rfind(".\\", 0) == 0) wanted.erase(0, 2);
  // A name that starts with the media folder's own name (media\ball.bmp, as the program
  // reads it from its source folder) finds the file packed as ball.bmp.
  const std::string inMedia = gPackage.mediaFolder + "\\";
  const bool prefixed = !gPackage.mediaFolder.empty() && wanted.size() > inMedia.size() && wanted.rfind(inMedia, 0) == 0;
  for (int pass = 0; pass < (prefixed ? 2 : 1); ++pass) {
    const std::string sought = pass == 0 ? wanted : wanted.substr(inMedia.size());
    for (const PackageEntryView& entry : gPackage.entries) {
      if (!matches(entry.name, sought)) continue;
      std::string path = ExtractEntry(entry, extension);
      if (path.empty()) return false;
      name = path;
      return true;
    }
  }
  return false;
}

bool ResolvePackagedFile(std::string& name, const char* extension) {
  return ResolveBy(name, extension, [](const std::string& entry, const std::string& wanted) { return entry == wanted; });
}

// The extension after the last dot of the name's last part ("dat" when it has none, or one
// too long for a file name of its own): the decoders that choose by extension see the file's.
bool ResolvePackagedFile(std::string& name) {
  const size_t slash = name.find_last_of("\\/");
  const size_t dot = name.rfind('.');
  const bool has = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1) &&
                   dot + 1 < name.size() && name.size() - dot <= 16;
  const std::string extension = has ? name.substr(dot + 1) : "dat";
  return ResolvePackagedFile(name, extension.c_str());
}

bool ResolvePackagedFileByBaseName(std::string& name, const char* extension) {
  return ResolveBy(name, extension, [](const std::string& entry, const std::string& wanted) {
    size_t slash = entry.find_last_of('\\');
    return (slash == std::string::npos ? entry : entry.substr(slash + 1)) == wanted;
  });
}

std::string PackedNamesNote() {
  if (gPackage.entries.size() < 2) return "";
  std::string example;
  for (size_t i = 1; i < gPackage.entries.size() && example.empty(); ++i) example = gPackage.entries[i].name;
  std::replace(example.begin(), example.end(), '\\', '/');
  if (gPackage.mediaFolder.empty())
    return "this game holds its files by their paths inside its media folder, as " + example;
  return "this game holds its files by their paths inside its media folder " + gPackage.mediaFolder + ", as " +
         example + " or " + gPackage.mediaFolder + "/" + example;
}

bool FileExists(const char* name) {
  std::string path = name;
  if (ResolvePackagedFile(path, "dat")) return true;
  return PlatformFileReadable(MapProgramPath(name));
}

bool DeleteFileIfExists(const char* name) {
  if (!FileExists(name)) return false;
  return PlatformDeleteFile(MapProgramPath(name));
}
