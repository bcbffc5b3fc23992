// The package writer: a standalone game is the player executable followed by the compiled
// program and the game's media files as package entries.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/folders.h"
#include "runtime/runtime_local.h"

namespace {

constexpr size_t kMaxEntryNameLength = 255;

void PutWord(std::vector<uint8_t>* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

bool AppendPackage(std::vector<uint8_t>* image,
                   const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries) {
  // Every length and the start offset are 32-bit words: a package that outgrows them would be
  // written corrupt, so it is refused whole, as is a name the reader would refuse.
  uint64_t total = image->size() + 8;
  for (const auto& [name, data] : entries) {
    if (name.size() > kMaxEntryNameLength) return false;
    total += 8 + name.size() + 1 + data.size();
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

bool WriteStandaloneGame(const char* outputPath, const char* playerExecutable, const char* compiledProgram,
                         const char* mediaFolder) {
  auto fail = [outputPath] {
    PlatformDeleteFile(outputPath);
    return false;
  };
  std::vector<uint8_t> image;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> entries(1);
  entries[0].first = "_exefile.dat";
  if (!ReadFileBytes(playerExecutable, &image) || !ReadFileBytes(compiledProgram, &entries[0].second)) return fail();
  // A player that already carries a package contributes only its stub.
  std::vector<PackageEntryView> existing;
  if (ParsePackage(image, &existing, nullptr)) {
    size_t last = image.size() - 4;
    image.resize(static_cast<uint32_t>(image[last]) | static_cast<uint32_t>(image[last + 1]) << 8 |
                 static_cast<uint32_t>(image[last + 2]) << 16 | static_cast<uint32_t>(image[last + 3]) << 24);
  }
  if (mediaFolder != nullptr && mediaFolder[0] != 0) {
    namespace fs = std::filesystem;
    std::error_code error;
    std::vector<fs::path> files;
    for (fs::recursive_directory_iterator it(mediaFolder, error), end; !error && it != end; it.increment(error))
      if (it->is_regular_file(error)) files.push_back(it->path());
    if (error) return fail();
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      std::string relative = fs::relative(file, mediaFolder, error).generic_string();
      if (error) return fail();
      for (char& c : relative)
        if (c == '/') c = '\\';
      Hooks.ShowProgressStatus(("Adding " + relative + "...").c_str());
      entries.emplace_back(relative, std::vector<uint8_t>());
      if (!ReadFileBytes(file.string(), &entries.back().second)) return fail();
    }
  }
  if (!AppendPackage(&image, entries)) return fail();
  const std::string temporary = std::string(outputPath) + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!out.flush()) {
      PlatformDeleteFile(temporary);
      return fail();
    }
  }
  std::filesystem::permissions(temporary, std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec |
                                              std::filesystem::perms::others_exec,
                               std::filesystem::perm_options::add);
  if (std::rename(temporary.c_str(), outputPath) != 0) {
    PlatformDeleteFile(temporary);
    return fail();
  }
  return true;
}
