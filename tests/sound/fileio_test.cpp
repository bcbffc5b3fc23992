// The file layer: every kind of file (disk, memory image, embedded stdio file, user routines,
// host routines, package) reads the same bytes, and seek, tell and one-byte reads agree.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "tests/sound/sound_test_util.h"

namespace {

// 300 bytes that start with a 0 byte, so a one-byte read of it must not look like an end.
std::vector<uint8_t> Content() {
  std::vector<uint8_t> bytes(300);
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = static_cast<uint8_t>(i * 7);
  return bytes;
}

struct TempFolder {
  std::string path;
  TempFolder() {
    char name[] = "/tmp/qv-sndfile-XXXXXX";
    path = mkdtemp(name) ? name : "";
  }
  ~TempFolder() { std::filesystem::remove_all(path); }
  std::string Write(const char* name, const std::vector<uint8_t>& bytes) const {
    std::string file = path + "/" + name;
    FILE* f = std::fopen(file.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return file;
  }
};

// stdio-backed routines, standing in for both the host's files and a program's user routines.
uintptr_t RoutineOpen(const char* name) { return reinterpret_cast<uintptr_t>(std::fopen(name, "rb")); }
void RoutineClose(uintptr_t h) { std::fclose(reinterpret_cast<FILE*>(h)); }
int RoutineRead(void* b, int n, uintptr_t h) { return static_cast<int>(std::fread(b, 1, n, reinterpret_cast<FILE*>(h))); }
int RoutineSeek(uintptr_t h, int64_t o, int origin) { return fseeko(reinterpret_cast<FILE*>(h), o, origin); }
int64_t RoutineTell(uintptr_t h) { return ftello(reinterpret_cast<FILE*>(h)); }
const SndFileRoutines kRoutines{RoutineOpen, RoutineClose, RoutineRead, RoutineSeek, RoutineTell};

std::string gPackagedPath;  // what the fake package extracts "GAME\\SOUND.WAV" to
bool FakePackage(const char* name, const char* extension, char* path, int size) {
  if (std::string(name) != "GAME\\SOUND.WAV" || std::string(extension) != "WAV") return false;
  std::snprintf(path, static_cast<size_t>(size), "%s", gPackagedPath.c_str());
  return true;
}

}  // namespace

TEST(SoundFileLayer, EveryKindReadsSeeksAndTellsAlike) {
  TempFolder folder;
  const std::vector<uint8_t> content = Content();
  const std::string plain = folder.Write("plain.bin", content);
  std::vector<uint8_t> wrapped(7 + 300 + 5, 0xEE);  // the file sits at 7, with bytes after it
  std::copy(content.begin(), content.end(), wrapped.begin() + 7);
  const std::string outer = folder.Write("outer.bin", wrapped);
  gPackagedPath = plain;
  FILE* embedded = nullptr;

  struct Case {
    const char* name;
    std::function<SndFile*()> open;
  };
  const Case cases[] = {
      {"disk", [&] { return SndFileOpen(plain.c_str(), kSndFileDisk, 0); }},
      {"memory", [&] { return SndFileOpen(content.data(), kSndFileMemory, 300); }},
      {"embedded stdio", [&] {
         embedded = std::fopen(outer.c_str(), "rb");
         std::fseek(embedded, 7, SEEK_SET);
         return SndFileOpen(embedded, kSndFileStdio, 300);
       }},
      {"user routines", [&] {
         SndSetFileCallbacks(kRoutines);
         return SndFileOpen(plain.c_str(), kSndFileDisk, 0);
       }},
      {"host routines", [&] {
         SndSetHost({nullptr, kRoutines, nullptr});
         return SndFileOpen(plain.c_str(), kSndFileDisk, 0);
       }},
      {"package", [&] {
         SndSetHost({nullptr, {}, FakePackage});
         return SndFileOpen("GAME\\SOUND.WAV", kSndFileDisk, 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SndFile* file = c.open();
    ASSERT_NE(file, nullptr);
    uint8_t byte = 0xFF;
    EXPECT_EQ(SndFileRead(&byte, 1, file), 1);  // the count, not the 0 byte that was read
    EXPECT_EQ(byte, 0);
    EXPECT_EQ(SndFileTell(file), 1);
    EXPECT_EQ(SndFileLength(file), 300);
    EXPECT_EQ(SndFileTell(file), 1);  // the length leaves the position where it was
    // Each seek lands where tell says, and reading there gives the content's byte.
    const struct { int64_t offset; int origin; int64_t expected; } seeks[] = {
        {100, 0, 100}, {-40, 1, 60}, {-10, 2, 290}, {0, 2, 300}, {0, 0, 0}};
    for (const auto& s : seeks) {
      ASSERT_EQ(SndFileSeek(file, s.offset, s.origin), 0);
      EXPECT_EQ(SndFileTell(file), s.expected) << s.offset << "/" << s.origin;
    }
    EXPECT_EQ(SndFileSeek(file, 0, 3), -1);
    EXPECT_EQ(SndFileSeek(file, 0, -1), -1);
    std::vector<uint8_t> all(400, 0xAA);
    ASSERT_EQ(SndFileSeek(file, 250, 0), 0);
    EXPECT_EQ(SndFileRead(all.data(), 400, file), 50);  // the rest, not past the end
    EXPECT_TRUE(std::equal(all.begin(), all.begin() + 50, content.begin() + 250));
    EXPECT_EQ(SndFileRead(&byte, 1, file), 0);
    SndFileClose(file);
    SndSetFileCallbacks({});
    SndSetHost({});
  }
}

TEST(SoundFileLayer, RefusalsAndMemoryClamping) {
  EXPECT_EQ(SndFileOpen(nullptr, kSndFileDisk, 0), nullptr);
  EXPECT_EQ(SndFileOpen("/nonexistent/qv/file.wav", kSndFileDisk, 0), nullptr);
  uint8_t image[4] = {1, 2, 3, 4};
  EXPECT_EQ(SndFileOpen(image, 7, 4), nullptr);
  // A user open that gives no handle fails the open.
  SndSetFileCallbacks({[](const char*) -> uintptr_t { return 0; }, RoutineClose, RoutineRead, RoutineSeek, RoutineTell});
  EXPECT_EQ(SndFileOpen("anything", kSndFileDisk, 0), nullptr);
  SndSetFileCallbacks({});
  // Memory seeks stay inside the image.
  SndFile* file = SndFileOpen(image, kSndFileMemory, 4);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(SndFileSeek(file, -10, 0), 0);
  EXPECT_EQ(SndFileTell(file), 0);
  EXPECT_EQ(SndFileSeek(file, 10, 1), 0);
  EXPECT_EQ(SndFileTell(file), 4);
  SndFileClose(file);
}
