// The package writer: a standalone game is the player executable followed by the compiled
// program and the game's media files as package entries.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "platform/carried.h"
#include "platform/carried_archive.h"
#include "platform/file_replace.h"
#include "platform/folders.h"
#include "platform/package_format.h"
#include "platform/profile.h"
#include "platform/window.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxEntryNameLength = 255;
constexpr uint64_t kEntryOverhead = 8 + 1;  // the two length words and the name's NUL

bool Fail(std::string* whyNot, const std::string& reason) {
  if (whyNot != nullptr) *whyNot = reason;
  return false;
}

// A media file to pack: its name in the package and the file its bytes come from.
struct MediaFile {
  std::string name;      // the path inside the media folder, with "\"
  std::string relative;  // the same with "/", as the user writes it
  fs::path source;   // the file itself, or the target of a link inside the folder
  uint64_t size = 0;
};

// Whether path lies inside folder; both are canonical.
bool IsInside(const fs::path& path, const fs::path& folder) {
  return std::mismatch(folder.begin(), folder.end(), path.begin(), path.end()).first == folder.end();
}

bool EscapeHeld() { return PlatformKeyHeld(kPlatformKeyEscape); }
// Asked at every file of the media walk: Esc held stops the build (tests give their own).
bool (*gBuildStopCheck)() = EscapeHeld;

// Lists the files under the media folder without reading them. A link is never followed out
// of the folder: one pointing outside fails the build, one to a file inside is packed under
// its own name, and one to a folder inside is left out (its files are packed already).
bool ListMediaFiles(const char* mediaFolder, std::vector<MediaFile>* files, std::string* whyNot) {
  std::error_code error;
  const fs::path base = fs::canonical(mediaFolder, error);
  if (error) return Fail(whyNot, "cannot read the media folder " + std::string(mediaFolder) + ": " + error.message());
  fs::recursive_directory_iterator it(mediaFolder, error), end;
  for (; !error && it != end; it.increment(error)) {
    if (gBuildStopCheck()) return Fail(whyNot, "the build was stopped (Esc held)");
    std::string name = it->path().lexically_relative(mediaFolder).generic_string();
    const fs::file_status status = it->symlink_status(error);
    if (error) break;
    fs::path source = it->path();
    if (fs::is_symlink(status)) {
      source = fs::canonical(it->path(), error);
      if (error) return Fail(whyNot, "cannot follow the media link " + name + ": " + error.message());
      if (!IsInside(source, base))
        return Fail(whyNot, "the media link " + name + " points outside the media folder (to " + source.string() + ")");
      if (!fs::is_regular_file(source, error)) continue;
    } else if (!fs::is_regular_file(status)) {
      continue;  // folders are walked; pipes and devices are no media
    }
    const uint64_t size = fs::file_size(source, error);
    if (error) break;
    const std::string relative = name;
    std::replace(name.begin(), name.end(), '/', '\\');
    if (name.size() > kMaxEntryNameLength)
      return Fail(whyNot, "the media file name " + relative + " is over " + std::to_string(kMaxEntryNameLength) +
                              " characters");
    files->push_back({name, relative, source, size});
  }
  if (error) return Fail(whyNot, "cannot read the media folder " + std::string(mediaFolder) + ": " + error.message());
  std::sort(files->begin(), files->end(), [](const MediaFile& a, const MediaFile& b) { return a.name < b.name; });
  return true;
}

// Opens a regular file to read; never blocks on a pipe put in its place after the listing,
// never follows a link put there. The descriptor and its size, or -1 with the reason.
int OpenRegularFile(const fs::path& path, uint64_t* size, std::string* whyNot) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  struct stat info;
  const int error = fd < 0 ? errno : fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : EINVAL;
  if (error != 0) {
    if (fd >= 0) close(fd);
    Fail(whyNot, std::strerror(error));
    return -1;
  }
  *size = static_cast<uint64_t>(info.st_size);
  return fd;
}

// Reads n bytes at an offset; false (with the reason) where the file ends first or fails.
bool ReadAt(int fd, uint64_t at, void* out, size_t n, std::string* whyNot = nullptr) {
  size_t done = 0;
  while (done < n) {
    const ssize_t got = pread(fd, static_cast<uint8_t*>(out) + done, n - done, static_cast<off_t>(at + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return Fail(whyNot, got < 0 ? std::strerror(errno) : "it is shorter than it was a moment ago");
    done += static_cast<size_t>(got);
  }
  return true;
}

// Reads a regular file whole (the compiled program, a soundfont).
bool ReadRegularFile(const fs::path& path, std::vector<uint8_t>* bytes, std::string* whyNot) {
  uint64_t size = 0;
  const int fd = OpenRegularFile(path, &size, whyNot);
  if (fd < 0) return false;
  bytes->resize(static_cast<size_t>(size));
  const bool read = ReadAt(fd, 0, bytes->data(), bytes->size(), whyNot);
  close(fd);
  return read;
}

// The game being written: every byte goes to the replacement of the output and through the
// running checksum; files are copied a piece at a time, so the build holds one piece of a
// media file, never the file.
class GameWriter {
 public:
  ~GameWriter() {
    if (PlatformReplacing(out_)) PlatformAbandonReplace(&out_);
  }
  bool Begin(const std::string& path, std::string* whyNot) { return PlatformBeginReplace(path, true, &out_, whyNot); }
  // False once a write failed (the reason comes with Finish).
  bool Put(const void* data, size_t n) {
    sum_.Add(data, n);
    return PlatformWriteReplacement(&out_, data, n);
  }
  bool Put(const std::vector<uint8_t>& bytes) { return Put(bytes.data(), bytes.size()); }
  // Copies size bytes at offset of fd; false with the reason (*readFailed says whose).
  bool Copy(int fd, uint64_t offset, uint64_t size, bool* readFailed, std::string* whyNot) {
    piece_.resize(static_cast<size_t>(std::min<uint64_t>(kCopyPiece, std::max<uint64_t>(size, 1))));
    for (uint64_t done = 0; done < size;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(piece_.size(), size - done));
      *readFailed = !ReadAt(fd, offset + done, piece_.data(), n, whyNot);
      if (*readFailed || !Put(piece_.data(), n)) return false;
      done += n;
    }
    return true;
  }
  const PackageChecksum& Sum() const { return sum_; }
  // Renames the whole file over the target, or says why not (the target as it was).
  bool Finish(std::string* whyNot) { return PlatformCommitReplace(&out_, whyNot); }

 private:
  static constexpr size_t kCopyPiece = 1 << 20;
  PlatformReplacement out_;
  PackageChecksum sum_;
  std::vector<uint8_t> piece_;
};

// The player executable, read through its descriptor: the size of its program (all of it, or
// what lies before the package it carries) and the table of the libraries it carries.
class PlayerFile {
 public:
  ~PlayerFile() {
    if (fd_ >= 0) close(fd_);
  }
  bool Open(const char* path, std::string* whyNot) {
    fd_ = OpenRegularFile(path, &size_, whyNot);
    if (fd_ < 0) return false;
    stubSize_ = size_;
    const int fd = fd_;
    const PackageByteReader fromFile = [fd](uint64_t at, void* out, size_t n) { return ReadAt(fd, at, out, n); };
    std::vector<PackageFrameEntry> entries;
    uint64_t start = 0, checksum = 0;
    if (!ReadPackageFrame(fromFile, size_, &entries, &start, &checksum, nullptr)) return true;  // carries nothing
    if (!PackageChecksumMatches(fromFile, size_, checksum))
      return Fail(whyNot, "it does not match the checksum it was built with: it was changed or damaged since");
    stubSize_ = start;
    for (const PackageFrameEntry& entry : entries) {
      if (entry.name != kCarriedPackageEntry) continue;
      archiveOffset_ = entry.offset;
      const uint64_t base = entry.offset, size = entry.size;
      const CarriedArchiveReader inArchive = [fd, base, size](uint64_t at, void* out, size_t n) {
        return at <= size && n <= size - at && ReadAt(fd, base + at, out, n);
      };
      std::string why;
      if (!ParseCarriedTable(inArchive, size, nullptr, &carried_, &why))
        return Fail(whyNot, "the libraries it carries are damaged: " + why);
    }
    return true;
  }
  int Descriptor() const { return fd_; }
  uint64_t StubSize() const { return stubSize_; }
  uint64_t ArchiveOffset() const { return archiveOffset_; }  // where carried items' offsets count from
  const std::vector<CarriedItem>& Carried() const { return carried_; }

 private:
  int fd_ = -1;
  uint64_t size_ = 0, stubSize_ = 0, archiveOffset_ = 0;
  std::vector<CarriedItem> carried_;  // offsets into the archive; nothing unpacked
};

// Which commands reach which library: loading a video, a MIDI song (any song may be one), a
// picture that may be a TIFF or PSD file (images, bitmaps, 3D models and static worlds with
// their textures), an FTP session, a CD; sound output for every sound, song, CD or video.
struct CommandUse {
  int32_t first, last;
  CarriedUse use;
};
constexpr CommandUse kCommandUses[] = {
    {kAnimationLoad, kAnimationLoad, CarriedUse::kVideo},
    {kAnimationLoad, kAnimationLoad, CarriedUse::kSounds},
    {3000, 3699, CarriedUse::kSounds},  // sounds, music, CD audio
    {3000, 3099, CarriedUse::kGsmSounds},  // a sound may be a GSM 6.10 WAV file
    {kMusicLoad, kMusicLoad, CarriedUse::kMidiSongs},
    {kSoundLoadUnsupported3042, kSoundLoadUnsupported3042, CarriedUse::kCdAudio},
    {3600, 3699, CarriedUse::kCdAudio},
    {kFtpConnect, kFtpConnect, CarriedUse::kFtp},
    {kImageLoad, kImageLoad, CarriedUse::kPictures},
    {kBitmapLoad, kBitmapLoadScreen, CarriedUse::kPictures},
    {kLoadObject, kLoadObject, CarriedUse::kPictures},
    {kLoadStaticObjects, kLoadStaticObjects, CarriedUse::kPictures},
    {kAppendObjectAnimation, kAppendObjectAnimation, CarriedUse::kPictures},
    {kAppendObjectModel, kAppendObjectModel, CarriedUse::kPictures},
};

// The soundfont a game's SETUP.INI names (MIDISOUNDFONT, a relative path beside it), from the
// first SETUP.INI of the folders; "" when none names one.
std::string SoundfontNamedBySetup(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    const std::string setup = PlatformMapFileName(folder + "/SETUP.INI");
    if (folder.empty() || !PlatformFileReadable(setup)) continue;
    const std::string font = PlatformReadProfileString(setup.c_str(), "SETTINGS", "MIDISOUNDFONT", "");
    if (font.empty()) return "";
    return PlatformMapFileName(font[0] == '/' ? font : folder + "/" + font);
  }
  return "";
}

// The archive a game carries, as it is to be written: its magic, then each item's record
// followed by its packed data, copied from the player's file (or the soundfont packed here).
struct CarriedPlan {
  struct Piece {
    std::vector<uint8_t> head;  // the item's record
    uint64_t offset = 0;        // of its packed data in the player's file
    uint32_t size = 0;          // packed bytes
    bool ownSoundfont = false;  // the data are `font` instead
  };
  std::vector<uint8_t> magic;
  std::vector<Piece> pieces;
  std::vector<uint8_t> font;  // the soundfont SETUP.INI names, packed
  uint64_t Size() const {
    uint64_t size = magic.size();
    for (const Piece& piece : pieces) size += piece.head.size() + piece.size;
    return size;
  }
};

// The archive a game carries: every item the uses of its program's commands name, with the
// libraries each needs, copied packed from the player's archive; the soundfont SETUP.INI names
// is packed in place of the player's. Empty when the player carries nothing.
bool ChooseCarried(const PlayerFile& player, const std::vector<int32_t>& commands,
                   const std::vector<std::string>& setupFolders, CarriedPlan* plan, std::string* whyNot) {
  *plan = CarriedPlan{};
  const std::vector<CarriedItem>& available = player.Carried();
  if (available.empty()) return true;
  std::set<CarriedUse> uses = {CarriedUse::kDisplayAndInput};
  for (int32_t number : commands)
    for (const CommandUse& row : kCommandUses)
      if (number >= row.first && number <= row.last) uses.insert(row.use);
  std::set<std::string> wanted;
  for (CarriedUse use : uses)
    for (const std::string& name : CarriedNamesFor(use))
      for (const CarriedItem& item : available)
        if (item.name == name) {
          wanted.insert(name);
          wanted.insert(item.needs.begin(), item.needs.end());
        }
  uint32_t fontSize = 0;
  if (uses.count(CarriedUse::kMidiSongs) != 0) {
    const std::string font = SoundfontNamedBySetup(setupFolders);
    std::string why;
    std::vector<uint8_t> fontBytes;
    if (!font.empty()) {
      if (!ReadRegularFile(font, &fontBytes, &why))
        return Fail(whyNot, "cannot read the soundfont SETUP.INI names, " + font + ": " + why);
      if (fontBytes.size() > UINT32_MAX || !PackCarriedBytes(fontBytes, &plan->font))
        return Fail(whyNot, "cannot pack the soundfont " + font);
      fontSize = static_cast<uint32_t>(fontBytes.size());
    }
  }
  StartCarriedArchive(&plan->magic);
  for (const CarriedItem& item : available) {
    if (wanted.count(item.name) == 0) continue;
    CarriedPlan::Piece piece;
    CarriedItem written = item;
    if (item.name == kCarriedSoundfont && !plan->font.empty()) {
      written.size = fontSize;
      written.packedSize = static_cast<uint32_t>(plan->font.size());
      piece.ownSoundfont = true;
    }
    AppendCarriedItemHead(written, &piece.head);
    piece.offset = player.ArchiveOffset() + item.offset;
    piece.size = written.packedSize;
    plan->pieces.push_back(std::move(piece));
  }
  return true;
}

// The media folder a program names its files under when it runs from its source folder: its
// own name ("media" for ./media/ or /home/me/game/media).
std::string MediaFolderOwnName(const char* mediaFolder) {
  std::error_code error;
  const fs::path whole = fs::canonical(mediaFolder, error);
  return error ? "" : whole.filename().string();
}

// Makes the folders missing above path; *made is the first of them ("" when none was
// missing), for a failed build to take away again.
bool MakeOutputFolder(const std::string& path, fs::path* made, std::string* whyNot) {
  std::error_code error;
  const fs::path folder = fs::path(path).parent_path();
  *made = "";
  if (folder.empty() || fs::exists(folder, error)) return true;
  fs::path first = folder;
  while (first.has_parent_path() && first.parent_path() != first && !fs::exists(first.parent_path(), error))
    first = first.parent_path();
  if (!fs::create_directories(folder, error) && error)
    return Fail(whyNot, "cannot make the folder " + folder.string() + ": " + error.message());
  *made = first;
  return true;
}

// Takes away the folders MakeOutputFolder made, as long as they are empty.
void RemoveMadeFolders(const fs::path& made, const std::string& path) {
  if (made.empty()) return;
  std::error_code error;
  for (fs::path folder = fs::path(path).parent_path(); !folder.empty(); folder = folder.parent_path()) {
    if (!fs::remove(folder, error)) return;
    if (folder == made) return;
  }
}

}  // namespace

void SetPackageBuildStopCheck(bool (*stopAsked)()) { gBuildStopCheck = stopAsked != nullptr ? stopAsked : EscapeHeld; }

bool AppendPackage(std::vector<uint8_t>* image,
                   const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries) {
  // Every length and the start offset are 32-bit words: a package that outgrows them would be
  // written corrupt, so it is refused whole, as is a name the reader would refuse.
  uint64_t total = image->size() + kPackageTailSize + 4;
  for (const auto& [name, data] : entries) {
    if (name.size() > kMaxEntryNameLength) return false;
    total += kEntryOverhead + name.size() + data.size();
  }
  if (total > UINT32_MAX) return false;
  const uint32_t start = static_cast<uint32_t>(image->size());
  for (const auto& [name, data] : entries) {
    PutPackageEntryHead(name, static_cast<uint32_t>(data.size()), image);
    image->insert(image->end(), data.begin(), data.end());
  }
  PackageChecksum sum;
  sum.Add(image->data(), image->size());
  const std::vector<uint8_t> tail = PackageTail(sum, start);
  image->insert(image->end(), tail.begin(), tail.end());
  return true;
}

// Everything is read and checked before the output is touched, and the game is written to a
// file beside it that replaces it only when whole: a failed build leaves the game already at
// outputPath as it was. Media files are copied a piece at a time, never held whole.
bool WriteStandaloneGame(const char* outputPath, const char* playerExecutable, const char* compiledProgram,
                         const char* mediaFolder, std::string* whyNot, const char* sourceFolder) {
  std::string why;
  PlayerFile player;
  if (!player.Open(playerExecutable, &why))
    return Fail(whyNot, "cannot read the player " + std::string(playerExecutable) + ": " + why);
  std::vector<uint8_t> program;
  if (!ReadRegularFile(compiledProgram, &program, &why))
    return Fail(whyNot, "cannot read the compiled program " + std::string(compiledProgram) + ": " + why);
  std::vector<int32_t> commands;
  if (!ListProgramCommands(program, &commands, &why))
    return Fail(whyNot, "the compiled program " + std::string(compiledProgram) + " does not load: " + why);
  const bool hasMedia = mediaFolder != nullptr && mediaFolder[0] != 0;
  CarriedPlan carried;
  if (!ChooseCarried(player, commands, {hasMedia ? mediaFolder : "", sourceFolder != nullptr ? sourceFolder : ""},
                     &carried, whyNot))
    return false;
  std::vector<MediaFile> media;
  if (hasMedia && !ListMediaFiles(mediaFolder, &media, whyNot)) return false;
  const std::string mediaName = hasMedia ? MediaFolderOwnName(mediaFolder) : "";
  // The size limit from the listing, before any media file is read.
  const uint64_t carriedSize = carried.magic.empty() ? 0 : carried.Size();
  uint64_t total = player.StubSize() + kPackageTailSize + 4 + kEntryOverhead + std::strlen("_exefile.dat") + program.size();
  for (const MediaFile& file : media) total += kEntryOverhead + file.name.size() + file.size;
  if (!mediaName.empty()) total += kEntryOverhead + std::strlen(kMediaFolderEntry) + mediaName.size();
  if (carriedSize != 0) total += kEntryOverhead + std::strlen(kCarriedPackageEntry) + carriedSize;
  if (total > UINT32_MAX)
    return Fail(whyNot, "the game would be " + std::to_string(total) + " bytes; a package holds at most " +
                            std::to_string(UINT32_MAX));

  fs::path madeFolder;
  if (!MakeOutputFolder(outputPath, &madeFolder, whyNot)) return false;
  GameWriter out;
  bool readFailed = false;  // the last failure was reading a file, not writing the game
  std::string failure;  // what went wrong, when it was not the write itself
  auto failed = [&](const std::string& what) {
    if (readFailed) failure = what + ": " + why;
    return false;
  };
  bool begun = false;
  const bool written = [&] {
    if (!out.Begin(outputPath, &why)) return false;
    begun = true;
    if (!out.Copy(player.Descriptor(), 0, player.StubSize(), &readFailed, &why))
      return failed("cannot read the player " + std::string(playerExecutable));
    std::vector<uint8_t> head;
    PutPackageEntryHead("_exefile.dat", static_cast<uint32_t>(program.size()), &head);
    if (!out.Put(head) || !out.Put(program)) return false;
    const bool mediaRelative = !fs::path(mediaFolder != nullptr ? mediaFolder : "").is_absolute();
    for (const MediaFile& file : media) {
      // The name as the user would write it from where the build was started.
      const std::string shown = mediaRelative ? (fs::path(mediaFolder) / fs::path(file.relative)).lexically_normal().generic_string()
                                              : file.relative;
      Hooks.ShowProgressStatus(("Adding " + shown + "...").c_str());
      uint64_t size = 0;
      const int fd = OpenRegularFile(file.source, &size, &why);
      readFailed = fd < 0;
      if (fd < 0) return failed("cannot read the media file " + file.relative);
      head.clear();
      PutPackageEntryHead(file.name, static_cast<uint32_t>(file.size), &head);
      // A file that changed size since the listing would no longer match its entry's length.
      bool copied = false;
      if (size != file.size) {
        why = "it changed while the game was built";
        readFailed = true;
      } else {
        copied = out.Put(head) && out.Copy(fd, 0, file.size, &readFailed, &why);
      }
      close(fd);
      if (!copied) return failed("cannot read the media file " + file.relative);
    }
    if (!mediaName.empty()) {
      head.clear();
      PutPackageEntryHead(kMediaFolderEntry, static_cast<uint32_t>(mediaName.size()), &head);
      if (!out.Put(head) || !out.Put(mediaName.data(), mediaName.size())) return false;
    }
    // The libraries last: the reader sets them apart from the game's own files.
    if (carriedSize != 0) {
      head.clear();
      PutPackageEntryHead(kCarriedPackageEntry, static_cast<uint32_t>(carriedSize), &head);
      if (!out.Put(head) || !out.Put(carried.magic)) return false;
      for (const CarriedPlan::Piece& piece : carried.pieces) {
        if (!out.Put(piece.head)) return false;
        if (piece.ownSoundfont ? !out.Put(carried.font)
                               : !out.Copy(player.Descriptor(), piece.offset, piece.size, &readFailed, &why))
          return failed("cannot read the player " + std::string(playerExecutable));
      }
    }
    return out.Put(PackageTail(out.Sum(), static_cast<uint32_t>(player.StubSize())));
  }();
  if (written) {
    if (out.Finish(&why)) return true;
    failure = "cannot write " + std::string(outputPath) + ": " + why;
  } else if (failure.empty()) {
    if (begun) out.Finish(&why);  // the failed write's own reason; the part goes
    failure = "cannot write " + std::string(outputPath) + ": " + why;
  }
  RemoveMadeFolders(madeFolder, outputPath);
  return Fail(whyNot, failure);
}
