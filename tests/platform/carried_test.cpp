// The archive of carried libraries and files: written and read back, refused where it is cut
// short or damaged, and served to a program: a data file unpacked as bytes and as a path, and
// a library that does not load said to be missing, naming it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/carried.h"
#include "platform/carried_archive.h"
#include "platform/lazy_library.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// An archive of the named items, each holding "bytes of NAME"; items[0] needs the others.
std::vector<uint8_t> ArchiveOf(const std::vector<std::string>& names) {
  std::vector<uint8_t> archive;
  StartCarriedArchive(&archive);
  for (size_t i = 0; i < names.size(); ++i) {
    std::vector<uint8_t> packed;
    const std::vector<uint8_t> bytes = Bytes("bytes of " + names[i]);
    EXPECT_TRUE(PackCarriedBytes(bytes, &packed));
    CarriedItem item{names[i], {}, static_cast<uint32_t>(bytes.size()), packed.data(),
                     static_cast<uint32_t>(packed.size())};
    if (i == 0) item.needs.assign(names.begin() + 1, names.end());
    AppendCarriedItem(item, &archive);
  }
  return archive;
}

TEST(CarriedArchive, ReadsBackWhatWasWritten) {
  const std::vector<uint8_t> archive = ArchiveOf({"libtop.so.1", "libunder.so.2", "font.ttf"});
  std::vector<CarriedItem> items;
  std::string whyNot;
  ASSERT_TRUE(ParseCarriedArchive(archive.data(), archive.size(), &items, &whyNot)) << whyNot;
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].needs, (std::vector<std::string>{"libunder.so.2", "font.ttf"}));
  EXPECT_TRUE(items[1].IsLibrary());
  EXPECT_FALSE(items[2].IsLibrary());
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(UnpackCarriedItem(items[2], &bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "bytes of font.ttf");
}

// Cut anywhere, the archive is refused, or read as the whole items before the cut.
TEST(CarriedArchive, ACutArchiveIsRefusedOrShorter) {
  const std::vector<uint8_t> archive = ArchiveOf({"libtop.so.1", "libunder.so.2"});
  for (size_t size = 0; size < archive.size(); ++size) {
    std::vector<CarriedItem> items;
    std::string whyNot;
    if (ParseCarriedArchive(archive.data(), size, &items, &whyNot)) {
      EXPECT_LT(items.size(), 2u) << size;
      for (const CarriedItem& item : items) EXPECT_LE(item.packed + item.packedSize, archive.data() + size);
    } else {
      EXPECT_FALSE(whyNot.empty()) << size;
    }
  }
  std::vector<CarriedItem> items;
  std::string whyNot;
  EXPECT_FALSE(ParseCarriedArchive(archive.data() + 1, archive.size() - 1, &items, &whyNot));
  EXPECT_EQ(whyNot, "not an archive of carried libraries");
  // Damaged packed data does not unpack.
  std::vector<uint8_t> damaged = archive;
  ASSERT_TRUE(ParseCarriedArchive(damaged.data(), damaged.size(), &items, &whyNot));
  damaged[static_cast<size_t>(items[0].packed - damaged.data()) + 2] ^= 0xFF;
  std::vector<uint8_t> bytes;
  EXPECT_FALSE(UnpackCarriedItem(items[0], &bytes));
}

// The archive a file carries, as a program meets it: its data files unpacked, and a library
// whose carried copy does not load (here, not a library at all) said to be missing.
TEST(CarriedArchive, ServesItsFilesAndSaysWhichLibraryFails) {
  namespace fs = std::filesystem;
  const fs::path file = fs::temp_directory_path() / ("qv-carried-test-" + std::to_string(::getpid()));
  const std::vector<uint8_t> archive = ArchiveOf({"libqvmissing.so.7", "songs.sf2"});
  {
    std::ofstream out(file, std::ios::binary);
    out << "program bytes first";
    out.write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
  }
  std::string whyNot;
  ASSERT_TRUE(PlatformCarryFrom(file.string(), 19, archive.size(), true, &whyNot)) << whyNot;
  EXPECT_TRUE(PlatformCarries("songs.sf2"));
  const std::vector<unsigned char>* bytes = CarriedFile("songs.sf2");
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "bytes of songs.sf2");
  std::ifstream unpacked(CarriedFilePath("songs.sf2"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(unpacked), {}), "bytes of songs.sf2");
  EXPECT_EQ(OpenLazyLibrary("libqvmissing.so.7"), nullptr);
  EXPECT_NE(LazyLibraryProblem("libqvmissing.so.7").find("libqvmissing.so.7, and the copy this game carries does not load"),
            std::string::npos)
      << LazyLibraryProblem("libqvmissing.so.7");
  EXPECT_EQ(OpenLazyLibrary("libqvnowhere.so.1"), nullptr);
  EXPECT_EQ(LazyLibraryProblem("libqvnowhere.so.1"),
            "libqvnowhere.so.1, which is not installed here, and this game does not carry it");
  // An archive that runs past the file, or is damaged, is refused.
  EXPECT_FALSE(PlatformCarryFrom(file.string(), 19, archive.size() + 1, true, &whyNot));
  EXPECT_FALSE(PlatformCarryFrom(file.string(), 18, archive.size(), true, &whyNot));
  EXPECT_NE(whyNot.find("damaged"), std::string::npos) << whyNot;
  fs::remove(file);
}

#ifdef QV_CARRY_TOOL
// A carried library that needs another under a name that is not the other's soname (Debian's
// libopenal.so.1 needs libsndio.so.7.0, whose soname is libsndio.so.7) loads from the archive
// the build tool packs, on a machine that has neither: the dynamic linker knows a loaded
// library only by its soname.
TEST(CarriedArchive, ALibraryNeedingAnotherByAnOldNameLoads) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("qv-renamed-test-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  std::ofstream(folder / "manifest") << "libqvrenamed.so.1.0\t" QV_RENAMED "\t\n"
                                     << "libqvneedsrenamed.so.1\t" QV_NEEDS_RENAMED "\tlibqvrenamed.so.1.0\n";
  const std::string archive = (folder / "archive").string();
  ASSERT_EQ(std::system(("'" QV_CARRY_TOOL "' pack '" + archive + "' '" + (folder / "manifest").string() + "'").c_str()), 0);
  std::string whyNot;
  ASSERT_TRUE(PlatformCarryFrom(archive, 0, fs::file_size(archive), true, &whyNot)) << whyNot;
  void* library = OpenLazyLibrary("libqvneedsrenamed.so.1");
  ASSERT_NE(library, nullptr) << LazyLibraryProblem("libqvneedsrenamed.so.1");
  const auto answer = reinterpret_cast<int (*)()>(dlsym(library, "qv_needs_renamed_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 43);
  fs::remove_all(folder);
}
#endif

#ifdef QV_CARRIED_ARCHIVE
// The names each use asks for, the sonames the loaders open and the roots the build packs are
// written in three places: every name a use asks for is in the archive the build made, else
// games would quietly go without it.
TEST(CarriedArchive, TheBuildsArchiveHoldsWhatEveryUseAsksFor) {
  std::ifstream in(QV_CARRIED_ARCHIVE, std::ios::binary);
  const std::vector<uint8_t> archive((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<CarriedItem> items;
  std::string whyNot;
  ASSERT_TRUE(ParseCarriedArchive(archive.data(), archive.size(), &items, &whyNot)) << whyNot;
  auto holds = [&](const std::string& name) {
    for (const CarriedItem& item : items)
      if (item.name == name) return true;
    return false;
  };
  for (CarriedUse use : {CarriedUse::kDisplayAndInput, CarriedUse::kSounds, CarriedUse::kGsmSounds,
                         CarriedUse::kMidiSongs, CarriedUse::kVideo, CarriedUse::kFtp, CarriedUse::kCdAudio,
                         CarriedUse::kPictures}) {
    const std::vector<std::string> names = CarriedNamesFor(use);
    EXPECT_FALSE(names.empty()) << static_cast<int>(use);
    for (const std::string& name : names) EXPECT_TRUE(holds(name)) << name << " (use " << static_cast<int>(use) << ")";
  }
}
#endif

}  // namespace
