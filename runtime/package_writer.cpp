// The package writer: a standalone game is the player executable followed by the compiled
// program and the game's media files as package entries.
#include <fcntl.h>
#include <sys/mman.h>
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
#include "platform/profile.h"
#include "platform/window.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxEntryNameLength = 255;
constexpr uint64_t kEntryOverhead = 8 + 1;  // the two length words and the name's NUL

void PutWord(std::vector<uint8_t>* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

bool Fail(std::string* whyNot, const std::string& reason) {
  if (whyNot != nullptr) *whyNot = reason;
  return false;
}

// A media file to pack: its name in the package and the file its bytes come from.
struct MediaFile {
  std::string name;  // the path inside the media folder, with "\"
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
    std::replace(name.begin(), name.end(), '/', '\\');
    if (name.size() > kMaxEntryNameLength)
      return Fail(whyNot, "the media file name " + name + " is over " + std::to_string(kMaxEntryNameLength) + " characters");
    files->push_back({name, source, size});
  }
  if (error) return Fail(whyNot, "cannot read the media folder " + std::string(mediaFolder) + ": " + error.message());
  std::sort(files->begin(), files->end(), [](const MediaFile& a, const MediaFile& b) { return a.name < b.name; });
  return true;
}

// Reads a regular file whole; never blocks on a pipe put in its place after the listing.
bool ReadRegularFile(const fs::path& path, std::vector<uint8_t>* bytes, std::string* whyNot) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return Fail(whyNot, std::strerror(errno));
  struct stat info;
  int error = fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : EINVAL;
  bytes->clear();
  if (error == 0) {
    bytes->resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes->size()) {
      ssize_t n = read(fd, bytes->data() + done, bytes->size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = n < 0 ? errno : EIO;  // shorter than it was a moment ago
        break;
      }
      done += static_cast<size_t>(n);
    }
  }
  close(fd);
  return error == 0 || Fail(whyNot, std::strerror(error));
}

// The player executable, mapped: its program's bytes (all of it, or what lies before the
// package it carries) and the archive of libraries it carries, if any.
class PlayerFile {
 public:
  ~PlayerFile() {
    if (map_ != nullptr) munmap(map_, size_);
  }
  bool Open(const char* path, std::string* whyNot) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    int error = fd < 0 ? errno : fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : EINVAL;
    if (error == 0 && info.st_size > 0) {
      size_ = static_cast<size_t>(info.st_size);
      void* map = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
      if (map == MAP_FAILED) error = errno;
      else map_ = map;
    }
    if (fd >= 0) close(fd);
    if (error != 0) return Fail(whyNot, std::strerror(error));
    const uint8_t* bytes = static_cast<const uint8_t*>(map_);
    stubSize_ = size_;
    std::vector<PackageEntryView> entries;
    if (bytes != nullptr && ParsePackageBytes(bytes, size_, &entries, nullptr)) {
      stubSize_ = static_cast<size_t>(bytes[size_ - 4]) | static_cast<size_t>(bytes[size_ - 3]) << 8 |
                  static_cast<size_t>(bytes[size_ - 2]) << 16 | static_cast<size_t>(bytes[size_ - 1]) << 24;
      for (const PackageEntryView& entry : entries)
        if (entry.name == kCarriedPackageEntry && !ParseCarriedArchive(entry.data, entry.size, &carried_, &why_))
          return Fail(whyNot, "the libraries it carries are damaged: " + why_);
    }
    return true;
  }
  const uint8_t* Stub() const { return static_cast<const uint8_t*>(map_); }
  size_t StubSize() const { return stubSize_; }
  const std::vector<CarriedItem>& Carried() const { return carried_; }

 private:
  void* map_ = nullptr;
  size_t size_ = 0, stubSize_ = 0;
  std::vector<CarriedItem> carried_;  // point into the mapping
  std::string why_;
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

// The archive a game carries: every item the uses of its program's commands name, with the
// libraries each needs, copied packed from the player's archive; the soundfont SETUP.INI names
// is packed in place of the player's. Empty when the player carries nothing.
bool ChooseCarried(const std::vector<CarriedItem>& available, const std::vector<int32_t>& commands,
                   const std::vector<std::string>& setupFolders, std::vector<uint8_t>* archive, std::string* whyNot) {
  archive->clear();
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
  CarriedItem ownSoundfont;
  std::vector<uint8_t> fontBytes, packedFont;
  if (uses.count(CarriedUse::kMidiSongs) != 0) {
    const std::string font = SoundfontNamedBySetup(setupFolders);
    std::string why;
    if (!font.empty()) {
      if (!ReadRegularFile(font, &fontBytes, &why))
        return Fail(whyNot, "cannot read the soundfont SETUP.INI names, " + font + ": " + why);
      if (!PackCarriedBytes(fontBytes, &packedFont)) return Fail(whyNot, "cannot pack the soundfont " + font);
      ownSoundfont = {kCarriedSoundfont, {}, static_cast<uint32_t>(fontBytes.size()), packedFont.data(),
                      static_cast<uint32_t>(packedFont.size())};
    }
  }
  StartCarriedArchive(archive);
  for (const CarriedItem& item : available) {
    if (wanted.count(item.name) == 0) continue;
    AppendCarriedItem(item.name == kCarriedSoundfont && ownSoundfont.packed != nullptr ? ownSoundfont : item, archive);
  }
  return true;
}

}  // namespace

void SetPackageBuildStopCheck(bool (*stopAsked)()) { gBuildStopCheck = stopAsked != nullptr ? stopAsked : EscapeHeld; }

bool AppendPackage(std::vector<uint8_t>* image,
                   const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries) {
  // Every length and the start offset are 32-bit words: a package that outgrows them would be
  // written corrupt, so it is refused whole, as is a name the reader would refuse.
  uint64_t total = image->size() + 8;
  for (const auto& [name, data] : entries) {
    if (name.size() > kMaxEntryNameLength) return false;
    total += kEntryOverhead + name.size() + data.size();
  }
  if (total > UINT32_MAX) return false;
  const uint32_t start = static_cast<uint32_t>(image->size());
  for (const auto& [name, data] : entries) {
    PutWord(image, static_cast<uint32_t>(name.size() + 1));
    image->insert(image->end(), name.begin(), name.end());
    image->push_back(0);
    PutWord(image, static_cast<uint32_t>(data.size()));
    image->insert(image->end(), data.begin(), data.end());
  }
  PutWord(image, 0);
  PutWord(image, start);
  return true;
}

// Everything is read and checked before the output is touched: a failed build leaves the
// game already at outputPath as it was.
bool WriteStandaloneGame(const char* outputPath, const char* playerExecutable, const char* compiledProgram,
                         const char* mediaFolder, std::string* whyNot, const char* sourceFolder) {
  std::string why;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> entries(1);
  entries[0].first = "_exefile.dat";
  PlayerFile player;
  if (!player.Open(playerExecutable, &why))
    return Fail(whyNot, "cannot read the player " + std::string(playerExecutable) + ": " + why);
  if (!ReadRegularFile(compiledProgram, &entries[0].second, &why))
    return Fail(whyNot, "cannot read the compiled program " + std::string(compiledProgram) + ": " + why);
  std::vector<int32_t> commands;
  if (!ListProgramCommands(entries[0].second, &commands, &why))
    return Fail(whyNot, "the compiled program " + std::string(compiledProgram) + " does not load: " + why);
  const bool hasMedia = mediaFolder != nullptr && mediaFolder[0] != 0;
  std::vector<uint8_t> carried;
  if (!ChooseCarried(player.Carried(), commands,
                     {hasMedia ? mediaFolder : "", sourceFolder != nullptr ? sourceFolder : ""}, &carried, whyNot))
    return false;
  std::vector<MediaFile> media;
  if (hasMedia && !ListMediaFiles(mediaFolder, &media, whyNot)) return false;
  // The size limit from the listing, before any media file is read into memory.
  uint64_t total = player.StubSize() + 8 + kEntryOverhead + entries[0].first.size() + entries[0].second.size();
  for (const MediaFile& file : media) total += kEntryOverhead + file.name.size() + file.size;
  if (!carried.empty()) total += kEntryOverhead + std::strlen(kCarriedPackageEntry) + carried.size();
  if (total > UINT32_MAX)
    return Fail(whyNot, "the game would be " + std::to_string(total) + " bytes; a package holds at most " +
                            std::to_string(UINT32_MAX));
  for (const MediaFile& file : media) {
    Hooks.ShowProgressStatus(("Adding " + file.name + "...").c_str());
    entries.emplace_back(file.name, std::vector<uint8_t>());
    if (!ReadRegularFile(file.source, &entries.back().second, &why))
      return Fail(whyNot, "cannot read the media file " + file.name + ": " + why);
  }
  // The libraries last: the reader sets them apart from the game's own files.
  if (!carried.empty()) entries.emplace_back(kCarriedPackageEntry, std::move(carried));
  std::vector<uint8_t> image(player.Stub(), player.Stub() + player.StubSize());
  if (!AppendPackage(&image, entries)) return Fail(whyNot, "the media files grew past what a package holds");
  if (!PlatformReplaceFile(outputPath, image.data(), image.size(), true, &why))
    return Fail(whyNot, "cannot write " + std::string(outputPath) + ": " + why);
  return true;
}
