// The appended package: lookups by whole name and by base name, extraction to temporary
// files, an empty entry, and refusal of packages whose entries or names run too far.
#include <filesystem>
#include <fstream>

#include "platform/carried.h"
#include "platform/carried_archive.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"
#include "tests/asm/qvasm.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// A compiled program of the given commands, each with a file name and a number, then END.
std::vector<uint8_t> ProgramOf(std::initializer_list<int> commands) {
  qvasm::ProgramBuilder b;
  for (int command : commands) b.Emit(command, {b.Id(b.TextConst("file")), b.Id(b.IntConst(1))});
  b.Emit(kEnd);
  return b.Build();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

class PackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("qv-package-test-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    SetFoldersForTests(folder_.string(), folder_.string());
  }
  void TearDown() override {
    ClosePackage();
    fs::remove_all(folder_);
  }
  // Writes a stub with a package of the entries and opens it.
  bool Open(const Entries& entries) {
    std::vector<uint8_t> image = qvasm::BuildPackagedExecutable(Bytes("STUB-BYTES"), entries);
    std::string path = (folder_ / "game").string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return OpenPackage(path.c_str());
  }
  fs::path folder_;
};

TEST_F(PackageTest, CapitalsAndSlashesFindTheStoredEntry) {
  ASSERT_TRUE(Open({{"_exefile.dat", Bytes("program")},
                    {"Media\\Sprites\\Hero.BMP", Bytes("hero")},
                    {"media\\empty.wav", {}}}));
  EXPECT_EQ(PackageEntryCount(), 3);
  std::string name = "MEDIA/sprites/hero.bmp";
  ASSERT_TRUE(ResolvePackagedFile(name, "bmp"));
  EXPECT_EQ(name, (folder_ / "_virtual-1.bmp").string());
  EXPECT_EQ(ReadFile(name), "hero");

  std::string base = "HERO.bmp";
  ASSERT_TRUE(ResolvePackagedFileByBaseName(base, "bmp"));
  EXPECT_EQ(ReadFile(base), "hero");

  std::string empty = "media/EMPTY.wav";
  ASSERT_TRUE(ResolvePackagedFile(empty, "wav"));
  EXPECT_TRUE(fs::exists(empty));
  EXPECT_EQ(fs::file_size(empty), 0u);

  std::string missing = "media/none.wav";
  EXPECT_FALSE(ResolvePackagedFile(missing, "wav"));
  EXPECT_EQ(missing, "media/none.wav");
  EXPECT_TRUE(FileExists("Media/Sprites/Hero.bmp"));  // looked up under the extension "dat"
  EXPECT_EQ(ReadFile((folder_ / "_virtual-1.dat").string()), "hero");
  EXPECT_FALSE(FileExists("media/none.wav"));

  ClosePackage();  // the extracted copies go with the package
  for (const char* file : {"_virtual-1.bmp", "_virtual-1.dat", "_virtual-2.wav"})
    EXPECT_FALSE(fs::exists(folder_ / file)) << file;
}

// Each entry has a file of its own: two of one extension are open at once, and looking a
// name up again does not write over the file a reader may be using.
TEST_F(PackageTest, EachEntryHasItsOwnTemporaryFile) {
  ASSERT_TRUE(Open({{"a.txt", Bytes("first")}, {"b.txt", Bytes("second")}}));
  std::string a = "a.txt", b = "b.txt";
  ASSERT_TRUE(ResolvePackagedFile(a, "txt"));
  ASSERT_TRUE(ResolvePackagedFile(b, "txt"));
  EXPECT_NE(a, b);
  EXPECT_EQ(ReadFile(a), "first");
  EXPECT_EQ(ReadFile(b), "second");
  std::ofstream(a, std::ios::app) << " and more";  // a reader's file, changed in place
  std::string again = "A.TXT";
  ASSERT_TRUE(ResolvePackagedFile(again, "txt"));
  EXPECT_EQ(again, a);
  EXPECT_EQ(ReadFile(a), "first and more");
}

// The checksum written again over a changed image, so a case shows the fault it was made for.
std::vector<uint8_t> Resummed(std::vector<uint8_t> image) {
  const size_t checksumAt = image.size() - 12;
  PackageChecksum sum;
  sum.Add(image.data(), checksumAt);
  sum.Add(image.data() + checksumAt + 8, 4);
  for (int i = 0; i < 8; ++i) image[checksumAt + static_cast<size_t>(i)] = static_cast<uint8_t>(sum.Value() >> (8 * i));
  return image;
}

TEST(PackageParse, MalformedPackagesHaveNoEntries) {
  Entries good = {{"_exefile.dat", Bytes("program")}, {"x.bin", Bytes("12345")}};
  const std::vector<uint8_t> image = qvasm::BuildPackagedExecutable(Bytes("STUB"), good);
  std::vector<PackageEntryView> entries;
  std::string whyNot;
  ASSERT_TRUE(ParsePackage(image, &entries, &whyNot)) << whyNot;
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].size, 5u);
  const size_t tail = image.size() - 20;  // the end word; then magic, checksum (8 bytes), start

  struct Case {
    const char* what;
    std::vector<uint8_t> image;
    const char* reason;
  };
  std::vector<Case> cases;
  cases.push_back({"too short", {1, 2, 3}, "too short"});
  std::vector<uint8_t> changed = image;
  changed[4 + 4 + 13 + 4 + 3] ^= 1;  // a byte of the program
  cases.push_back({"a changed byte", changed, "checksum"});
  std::vector<uint8_t> noMagic = image;
  noMagic[tail + 4] ^= 1;
  cases.push_back({"no magic", noMagic, "does not end in one"});
  std::vector<uint8_t> startOutside = image;
  qvasm::PutWordAt(startOutside, startOutside.size() / 4 - 1, 0x7ffffff0);
  cases.push_back({"start outside the file", Resummed(startOutside), "start offset outside"});
  std::vector<uint8_t> cut = image;
  cut.erase(cut.begin() + static_cast<std::ptrdiff_t>(tail) - 3, cut.begin() + static_cast<std::ptrdiff_t>(tail));
  cases.push_back({"data runs past the end", Resummed(cut), "past its end"});
  std::vector<uint8_t> hugeData = image;
  qvasm::PutWordAt(hugeData, 1 + (4 + 13) / 4, 0xffffffff);  // a data length word of the first entry
  cases.push_back({"huge data length", Resummed(hugeData), "past its end"});
  std::vector<uint8_t> extra = image;
  extra.insert(extra.begin() + static_cast<std::ptrdiff_t>(tail) + 4, 4, 0);
  cases.push_back({"bytes between the entries and the tail", Resummed(extra), "bytes before its tail"});
  std::vector<uint8_t> longName = Bytes("STUB");
  const uint32_t n = 300;
  for (int i = 0; i < 4; ++i) longName.push_back(static_cast<uint8_t>(n >> (8 * i)));
  longName.insert(longName.end(), n, 'a');
  longName.insert(longName.end(), 8, 0);
  longName.insert(longName.end(), image.end() - 20, image.end());
  cases.push_back({"name over 255 characters", Resummed(longName), "name too long"});
  for (const Case& c : cases) {
    EXPECT_FALSE(ParsePackage(c.image, &entries, &whyNot)) << c.what;
    EXPECT_TRUE(entries.empty()) << c.what;
    EXPECT_NE(whyNot.find(c.reason), std::string::npos) << c.what << ": " << whyNot;
  }
}

TEST_F(PackageTest, WriterBuildsAGameFromPlayerProgramAndMedia) {
  fs::create_directories(folder_ / "media" / "sub");
  std::ofstream(folder_ / "player", std::ios::binary) << "PLAYER";
  WriteBytes(folder_ / "prog.dat", ProgramOf({}));
  std::ofstream(folder_ / "media" / "sub" / "Tune.mid", std::ios::binary) << "MIDI";
  const std::string out = (folder_ / "game").string();
  ASSERT_TRUE(WriteStandaloneGame(out.c_str(), (folder_ / "player").c_str(), (folder_ / "prog.dat").c_str(),
                                  (folder_ / "media").c_str()));
  ASSERT_TRUE(OpenPackage(out.c_str()));
  EXPECT_EQ(PackageEntryCount(), 2);
  std::string tune = "SUB/tune.mid";
  ASSERT_TRUE(ResolvePackagedFile(tune, "mid"));
  EXPECT_EQ(ReadFile(tune), "MIDI");
  EXPECT_EQ(ReadFile(out).substr(0, 6), "PLAYER");
  // A missing program fails, says which file, and leaves the game already built as it was.
  const std::string built = ReadFile(out);
  std::string whyNot;
  EXPECT_FALSE(WriteStandaloneGame(out.c_str(), (folder_ / "player").c_str(), (folder_ / "none").c_str(), nullptr,
                                   &whyNot));
  EXPECT_EQ(ReadFile(out), built);
  EXPECT_NE(whyNot.find("none: No such file or directory"), std::string::npos) << whyNot;
  // Esc held during the media walk stops the build; the game stays as it was.
  SetPackageBuildStopCheck([] { return true; });
  EXPECT_FALSE(WriteStandaloneGame(out.c_str(), (folder_ / "player").c_str(), (folder_ / "prog.dat").c_str(),
                                   (folder_ / "media").c_str(), &whyNot));
  SetPackageBuildStopCheck(nullptr);
  EXPECT_NE(whyNot.find("Esc"), std::string::npos) << whyNot;
  EXPECT_EQ(ReadFile(out), built);
}

TEST_F(PackageTest, WriterRefusesAMediaNameTheReaderWouldRefuse) {
  // A media file whose path is over 255 characters would be lost from the game: the build
  // fails instead, and the image it was given stays as it was.
  std::vector<uint8_t> image = {'S', 'T', 'U', 'B'};
  EXPECT_FALSE(AppendPackage(&image, {{std::string(256, 'a'), {1, 2}}}));
  EXPECT_EQ(image.size(), 4u);
  EXPECT_TRUE(AppendPackage(&image, {{std::string(255, 'a'), {1, 2}}}));

  const fs::path deep = folder_ / "media" / std::string(200, 'd');
  fs::create_directories(deep);
  std::ofstream(folder_ / "player", std::ios::binary) << "PLAYER";
  WriteBytes(folder_ / "prog.dat", ProgramOf({}));
  std::ofstream(deep / (std::string(60, 'f') + ".png"), std::ios::binary) << "PNG";
  const std::string out = (folder_ / "game").string();
  EXPECT_FALSE(WriteStandaloneGame(out.c_str(), (folder_ / "player").c_str(), (folder_ / "prog.dat").c_str(),
                                   (folder_ / "media").c_str()));
  EXPECT_FALSE(fs::exists(out));
}

// A player that carries libraries: each game gets those its program's commands reach, with
// what they need, and the soundfont its SETUP.INI names; the reader sets them apart from the
// game's own files and hands them to the platform layer.
TEST_F(PackageTest, AGameCarriesWhatItsCommandsReach) {
  const std::string display = CarriedNamesFor(CarriedUse::kDisplayAndInput)[0];
  const std::string video = CarriedNamesFor(CarriedUse::kVideo)[0];
  const std::string midi = CarriedNamesFor(CarriedUse::kMidiSongs)[0];
  const std::string ftp = CarriedNamesFor(CarriedUse::kFtp)[0];
  // Packed items of a few bytes each; the display library and video share a library they need.
  std::vector<std::vector<uint8_t>> store;
  std::vector<uint8_t> archive;
  StartCarriedArchive(&archive);
  const std::vector<std::pair<std::string, std::vector<std::string>>> items = {
      {"libshared.so.1", {}}, {"libcodec.so.2", {}}, {display, {"libshared.so.1"}},
      {video, {"libshared.so.1", "libcodec.so.2"}}, {midi, {}}, {ftp, {}}, {kCarriedSoundfont, {}}};
  for (const auto& [name, needs] : items) {
    const std::vector<uint8_t> bytes = Bytes("the bytes of " + name);
    store.emplace_back();
    ASSERT_TRUE(PackCarriedBytes(bytes, &store.back()));
    AppendCarriedItem({name, needs, static_cast<uint32_t>(bytes.size()), store.back().data(),
                       static_cast<uint32_t>(store.back().size())},
                      &archive);
  }
  WriteBytes(folder_ / "player", qvasm::BuildPackagedExecutable(Bytes("PLAYER"), {{kCarriedPackageEntry, archive}}));
  fs::create_directories(folder_ / "source");
  std::ofstream(folder_ / "source" / "SETUP.INI") << "[SETTINGS]\nMIDISOUNDFONT=fonts/Mine.sf2\n";
  fs::create_directories(folder_ / "source" / "fonts");
  std::ofstream(folder_ / "source" / "fonts" / "Mine.sf2") << "my own soundfont";

  struct Case {
    std::initializer_list<int> commands;
    std::vector<std::string> carried;  // in the archive's order
  };
  const Case cases[] = {
      {{}, {"libshared.so.1", display}},
      {{kAnimationLoad}, {"libshared.so.1", "libcodec.so.2", display, video}},
      {{kMusicLoad}, {"libshared.so.1", display, midi, kCarriedSoundfont}},
      {{kFtpConnect, kMusicLoadCD}, {"libshared.so.1", display, ftp}},
  };
  for (const Case& c : cases) {
    WriteBytes(folder_ / "prog.dat", ProgramOf(c.commands));
    const std::string out = (folder_ / "game").string();
    std::string whyNot;
    ASSERT_TRUE(WriteStandaloneGame(out.c_str(), (folder_ / "player").c_str(), (folder_ / "prog.dat").c_str(), nullptr,
                                    &whyNot, (folder_ / "source").c_str()))
        << whyNot;
    const std::string game = ReadFile(out);
    EXPECT_EQ(game.substr(0, 6), "PLAYER");
    EXPECT_EQ(game.substr(game.size() - 4), std::string("\x06\0\0\0", 4)) << "the package follows the stub alone";
    std::vector<PackageEntryView> entries;
    const std::vector<uint8_t> image(game.begin(), game.end());
    ASSERT_TRUE(ParsePackage(image, &entries, &whyNot)) << whyNot;
    ASSERT_EQ(entries.size(), 2u);
    ASSERT_EQ(entries.back().name, kCarriedPackageEntry);
    std::vector<CarriedItem> found;
    ASSERT_TRUE(ParseCarriedArchive(entries.back().data, entries.back().size, &found, &whyNot)) << whyNot;
    std::vector<std::string> names;
    for (const CarriedItem& item : found) {
      names.push_back(item.name);
      std::vector<uint8_t> bytes;
      ASSERT_TRUE(UnpackCarriedItem(item, &bytes)) << item.name;
      EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
                item.name == kCarriedSoundfont ? "my own soundfont" : "the bytes of " + item.name);
    }
    EXPECT_EQ(names, c.carried);
    // The game's own entries are the program alone; the libraries go to the platform layer.
    std::string why;
    ASSERT_EQ(OpenOwnPackage(out.c_str(), &why), OwnPackage::kOpened) << why;
    EXPECT_EQ(PackageEntryCount(), 1);
    EXPECT_TRUE(PlatformCarries(display.c_str()));
    EXPECT_EQ(PlatformCarries(video.c_str()), names.size() == 4 && names[3] == video);
    std::string carriedName = "/carried";
    EXPECT_FALSE(ResolvePackagedFile(carriedName, "dat"));
    ClosePackage();
  }
  // A soundfont SETUP.INI names that is not there fails the build and names it.
  fs::remove(folder_ / "source" / "fonts" / "Mine.sf2");
  WriteBytes(folder_ / "prog.dat", ProgramOf({kMusicLoad}));
  std::string whyNot;
  EXPECT_FALSE(WriteStandaloneGame((folder_ / "game2").c_str(), (folder_ / "player").c_str(),
                                   (folder_ / "prog.dat").c_str(), nullptr, &whyNot, (folder_ / "source").c_str()));
  EXPECT_NE(whyNot.find("Mine.sf2"), std::string::npos) << whyNot;
}

// A package holding only the carried libraries is the development executable's: no game.
TEST_F(PackageTest, OnlyCarriedLibrariesAreNoGame) {
  std::vector<uint8_t> archive;
  StartCarriedArchive(&archive);
  WriteBytes(folder_ / "quorvanel", qvasm::BuildPackagedExecutable(Bytes("PLAYER"), {{kCarriedPackageEntry, archive}}));
  std::string why;
  EXPECT_EQ(OpenOwnPackage((folder_ / "quorvanel").c_str(), &why), OwnPackage::kNone) << why;
  EXPECT_EQ(PackageEntryCount(), 0);
  // Damaged libraries are a damaged file; a file that cannot be read cannot tell what it is.
  archive.resize(archive.size() - 2);
  archive.insert(archive.end(), {1, 0, 0, 0, 'x'});
  WriteBytes(folder_ / "quorvanel", qvasm::BuildPackagedExecutable(Bytes("PLAYER"), {{kCarriedPackageEntry, archive}}));
  EXPECT_EQ(OpenOwnPackage((folder_ / "quorvanel").c_str(), &why), OwnPackage::kDamaged);
  EXPECT_NE(why.find("carries are damaged"), std::string::npos) << why;
  EXPECT_EQ(OpenOwnPackage((folder_ / "none").c_str(), &why), OwnPackage::kUnreadable);
  EXPECT_EQ(OpenOwnPackage("", &why), OwnPackage::kUnreadable);
  EXPECT_NE(why.find("/proc"), std::string::npos) << why;
}

}  // namespace
