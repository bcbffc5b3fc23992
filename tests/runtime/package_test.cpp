// The appended package: lookups by whole name and by base name, extraction to temporary
// files, an empty entry, and refusal of packages whose entries or names run too far.
#include <filesystem>
#include <fstream>

#include "runtime/runtime_local.h"
#include "tests/asm/qvasm.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

TEST(PackageParse, MalformedPackagesHaveNoEntries) {
  Entries good = {{"_exefile.dat", Bytes("program")}, {"x.bin", Bytes("12345")}};
  const std::vector<uint8_t> image = qvasm::BuildPackagedExecutable(Bytes("STUB"), good);
  std::vector<PackageEntryView> entries;
  std::string whyNot;
  ASSERT_TRUE(ParsePackage(image, &entries, &whyNot));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].size, 5u);

  struct Case {
    const char* what;
    std::vector<uint8_t> image;
  };
  std::vector<Case> cases;
  cases.push_back({"too short", {1, 2, 3}});
  std::vector<uint8_t> startOutside = image;
  qvasm::PutWordAt(startOutside, startOutside.size() / 4 - 1, 0x7ffffff0);
  cases.push_back({"start outside the file", startOutside});
  std::vector<uint8_t> cut = image;
  cut.erase(cut.end() - 14, cut.end() - 8);  // entry data shortened, trailer kept
  cases.push_back({"data runs past the end", cut});
  std::vector<uint8_t> hugeData = image;
  qvasm::PutWordAt(hugeData, 1 + (4 + 13) / 4, 0xffffffff);  // a data length word of the first entry
  cases.push_back({"huge data length", hugeData});
  std::vector<uint8_t> longName = qvasm::BuildPackagedExecutable(Bytes("STUB"), {});
  {
    std::vector<uint8_t> v(4, 0);
    std::vector<uint8_t> withName = Bytes("STUB");
    uint32_t n = 300;
    for (int i = 0; i < 4; ++i) withName.push_back(static_cast<uint8_t>(n >> (8 * i)));
    withName.insert(withName.end(), n, 'a');
    for (int i = 0; i < 8; ++i) withName.push_back(0);
    withName.insert(withName.end(), {0, 0, 0, 0, 4, 0, 0, 0});
    longName = withName;
  }
  cases.push_back({"name over 255 characters", longName});
  for (const Case& c : cases) {
    EXPECT_FALSE(ParsePackage(c.image, &entries, &whyNot)) << c.what;
    EXPECT_TRUE(entries.empty()) << c.what;
  }
}

TEST_F(PackageTest, WriterBuildsAGameFromPlayerProgramAndMedia) {
  fs::create_directories(folder_ / "media" / "sub");
  std::ofstream(folder_ / "player", std::ios::binary) << "PLAYER";
  std::ofstream(folder_ / "prog.dat", std::ios::binary) << "PROGRAM";
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
  std::ofstream(folder_ / "prog.dat", std::ios::binary) << "PROGRAM";
  std::ofstream(deep / (std::string(60, 'f') + ".png"), std::ios::binary) << "PNG";
  const std::string out = (folder_ / "game").string();
  EXPECT_FALSE(WriteStandaloneGame(out.c_str(), (folder_ / "player").c_str(), (folder_ / "prog.dat").c_str(),
                                   (folder_ / "media").c_str()));
  EXPECT_FALSE(fs::exists(out));
}

}  // namespace
