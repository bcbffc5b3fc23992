// Image-file layer tests: every writable format round-trips (exact, or close for JPEG), every
// readable format loads a small fixture written here, and damaged or truncated files fail cleanly.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "graphics2d/image_files.h"
#include "platform/surface.h"

using SurfacePtr = std::unique_ptr<Surface, void (*)(Surface*)>;
static SurfacePtr Own(Surface* s) { return SurfacePtr(s, SurfaceDestroy); }

// A 16x8 gradient, wider than high and different along each axis, so a swap of rows or
// columns shows; smooth enough for JPEG to come back close.
static SurfacePtr TestPicture() {
  SurfacePtr s = Own(SurfaceCreate(16, 8));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) s->pixels[y * 16 + x] = static_cast<uint32_t>((x * 16) << 16 | (y * 32) << 8 | (x + y) * 8);
  return s;
}

static std::filesystem::path TempDir() {
  static std::filesystem::path dir = [] {
    char pattern[] = "/tmp/qv-image-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    return std::filesystem::path(made != nullptr ? made : "/tmp");
  }();
  return dir;
}

static void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

static std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::vector<uint8_t> bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  int c;
  while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  std::fclose(f);
  return bytes;
}

// Largest and mean channel difference of two same-sized surfaces.
static std::pair<int, double> ChannelDifference(const Surface& a, const Surface& b) {
  int worst = 0;
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i)
    for (int shift = 0; shift <= 16; shift += 8) {
      const int d = std::abs(static_cast<int>((a.pixels[i] >> shift) & 255) - static_cast<int>((b.pixels[i] >> shift) & 255));
      worst = std::max(worst, d);
      sum += d;
    }
  return {worst, sum / (3.0 * a.pixels.size())};
}

TEST(ImageFiles, WritableFormatsRoundTrip) {
  SurfacePtr picture = TestPicture();
  const struct {
    const char* name;
    int worst;    // largest channel difference allowed after reading back
    double mean;  // mean channel difference allowed
  } cases[] = {{"a.png", 0, 0}, {"a.bmp", 0, 0}, {"a.tga", 0, 0}, {"a.dds", 0, 0}, {"A.PNG", 0, 0}, {"a.jpg", 24, 4}};
  for (const auto& c : cases) {
    const std::filesystem::path path = TempDir() / c.name;
    std::string why;
    ASSERT_TRUE(SaveImageFile(path.c_str(), *picture, &why)) << c.name << ": " << why;
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".part")) << c.name;
    SurfacePtr back = Own(LoadImageFile(path.c_str(), &why));
    ASSERT_NE(back, nullptr) << c.name << ": " << why;
    ASSERT_EQ(back->width, 16);
    ASSERT_EQ(back->height, 8);
    const auto [worst, mean] = ChannelDifference(*picture, *back);
    EXPECT_LE(worst, c.worst) << c.name;
    EXPECT_LE(mean, c.mean) << c.name;
  }
}

TEST(ImageFiles, ReadOnlyAndUnknownTypesRefuseToSave) {
  SurfacePtr picture = TestPicture();
  for (const char* name : {"a.pcx", "a.psd", "a.tif", "a.TIFF", "a.xyz", "ab"}) {
    const std::filesystem::path path = TempDir() / name;
    std::string why;
    EXPECT_FALSE(SaveImageFile(path.c_str(), *picture, &why)) << name;
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(std::filesystem::exists(path)) << name;
  }
}

static void PutBE16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x >> 8));
  v.push_back(static_cast<uint8_t>(x));
}
static void PutBE32(std::vector<uint8_t>& v, uint32_t x) {
  PutBE16(v, x >> 16);
  PutBE16(v, x & 0xFFFF);
}
static void PutLE16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
static void PutLE32(std::vector<uint8_t>& v, uint32_t x) {
  PutLE16(v, x & 0xFFFF);
  PutLE16(v, x >> 16);
}

// The 2x2 picture every hand-made fixture holds: red, green / blue, white.
static const std::vector<uint32_t> kFixturePixels = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};

static std::vector<uint8_t> PcxFixture() {
  std::vector<uint8_t> v(128, 0);
  v[0] = 0x0A, v[1] = 5, v[2] = 1, v[3] = 8;
  v[8] = 1, v[10] = 1;  // x max, y max
  v[65] = 1, v[66] = 2;  // one plane, two bytes a line
  const uint8_t lines[] = {0x00, 0x01, 0x02, 0xC1, 0x03};  // second line: index 2, then a run of one 3
  v.insert(v.end(), std::begin(lines), std::end(lines));
  v.push_back(0x0C);
  const uint8_t palette[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
  v.insert(v.end(), std::begin(palette), std::end(palette));
  v.resize(v.size() + 768 - sizeof palette, 0);
  return v;
}

static std::vector<uint8_t> TiffFixture() {
  std::vector<uint8_t> v = {'I', 'I', 42, 0};
  PutLE32(v, 8);
  const uint16_t entries[][4] = {{256, 3, 1, 2}, {257, 3, 1, 2},   {258, 3, 3, 134}, {259, 3, 1, 1}, {262, 3, 1, 2},
                                 {273, 4, 1, 140}, {277, 3, 1, 3}, {278, 3, 1, 2},   {279, 4, 1, 12}, {284, 3, 1, 1}};
  PutLE16(v, 10);
  for (const auto& e : entries) {
    PutLE16(v, e[0]);
    PutLE16(v, e[1]);
    PutLE32(v, e[2]);
    PutLE32(v, e[3]);  // short values sit in the low half of the little-endian word
  }
  PutLE32(v, 0);
  for (int i = 0; i < 3; ++i) PutLE16(v, 8);
  for (uint32_t p : kFixturePixels) {
    v.push_back(static_cast<uint8_t>(p >> 16));
    v.push_back(static_cast<uint8_t>(p >> 8));
    v.push_back(static_cast<uint8_t>(p));
  }
  return v;
}

static std::vector<uint8_t> PsdFixture() {
  std::vector<uint8_t> v = {'8', 'B', 'P', 'S'};
  PutBE16(v, 1);
  v.resize(v.size() + 6, 0);
  PutBE16(v, 3);
  PutBE32(v, 2);
  PutBE32(v, 2);
  PutBE16(v, 8);
  PutBE16(v, 3);
  PutBE32(v, 0);
  PutBE32(v, 0);
  PutBE32(v, 0);
  PutBE16(v, 0);  // raw planes follow
  for (int shift = 16; shift >= 0; shift -= 8)
    for (uint32_t p : kFixturePixels) v.push_back(static_cast<uint8_t>(p >> shift));
  return v;
}

// An 8-bit palettised BMP, RLE8 compressed, bottom-up: the format .rle files carry.
static std::vector<uint8_t> Rle8BmpFixture() {
  std::vector<uint8_t> v = {'B', 'M'};
  PutLE32(v, 0);
  PutLE32(v, 0);
  PutLE32(v, 14 + 40 + 16);
  PutLE32(v, 40);
  PutLE32(v, 2);
  PutLE32(v, 2);
  PutLE16(v, 1);
  PutLE16(v, 8);
  PutLE32(v, 1);  // RLE8
  PutLE32(v, 0);
  PutLE32(v, 0);
  PutLE32(v, 0);
  PutLE32(v, 4);
  PutLE32(v, 0);
  for (uint32_t p : kFixturePixels) PutLE32(v, p);
  // Bottom row: one index 2, one index 3, end of line; top row: 0 then 1; end of bitmap.
  const uint8_t rle[] = {1, 2, 1, 3, 0, 0, 1, 0, 1, 1, 0, 0, 0, 1};
  v.insert(v.end(), std::begin(rle), std::end(rle));
  return v;
}

// A DXT1 DDS of 2x2 (one block): colour 0 red, colour 1 blue; indices 0, 1 / 1, 0.
static std::vector<uint8_t> Dxt1Fixture() {
  std::vector<uint8_t> v;
  PutLE32(v, 0x20534444);
  PutLE32(v, 124);
  PutLE32(v, 0x1007);
  PutLE32(v, 2);
  PutLE32(v, 2);
  for (int i = 0; i < 14; ++i) PutLE32(v, 0);
  PutLE32(v, 32);
  PutLE32(v, 4);
  v.insert(v.end(), {'D', 'X', 'T', '1'});
  for (int i = 0; i < 5; ++i) PutLE32(v, 0);
  for (int i = 0; i < 5; ++i) PutLE32(v, 0);
  PutLE16(v, 0xF800);
  PutLE16(v, 0x001F);
  // row 0: indices 0, 1; row 1: indices 1, 0 (two bits per pixel, four pixels a row)
  v.push_back(0b0100);
  v.push_back(0b0001);
  v.push_back(0);
  v.push_back(0);
  return v;
}

TEST(ImageFiles, ReadableFormatsLoadFixtures) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> want;
  } cases[] = {
      {"f.pcx", PcxFixture(), kFixturePixels},
      {"f.tif", TiffFixture(), kFixturePixels},
      {"f.tiff", TiffFixture(), kFixturePixels},
      {"F.TIFF", TiffFixture(), kFixturePixels},
      {"f.psd", PsdFixture(), kFixturePixels},
      {"f.rle", Rle8BmpFixture(), {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
      {"f.dds", Dxt1Fixture(), {0xFF0000, 0x0000FF, 0x0000FF, 0xFF0000}},
  };
  for (const auto& c : cases) {
    const std::filesystem::path path = TempDir() / c.name;
    WriteBytes(path, c.bytes);
    std::string why;
    SurfacePtr s = Own(LoadImageFile(path.c_str(), &why));
    ASSERT_NE(s, nullptr) << c.name << ": " << why;
    EXPECT_EQ(s->width, 2) << c.name;
    EXPECT_EQ(s->height, 2) << c.name;
    EXPECT_EQ(s->pixels, c.want) << c.name;
  }
}

TEST(ImageFiles, TruncatedAndDamagedFilesFailCleanly) {
  SurfacePtr picture = TestPicture();
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
      {"pcx", PcxFixture()}, {"tif", TiffFixture()}, {"tiff", TiffFixture()}, {"psd", PsdFixture()}, {"rle", Rle8BmpFixture()}, {"dds", Dxt1Fixture()}};
  for (const char* name : {"t.png", "t.bmp", "t.tga", "t.dds", "t.jpg"}) {
    const std::filesystem::path path = TempDir() / name;
    ASSERT_TRUE(SaveImageFile(path.c_str(), *picture, nullptr));
    files.emplace_back(path.extension().string().substr(1), ReadBytes(path));
  }
  for (const auto& [extension, bytes] : files) {
    // Every cut loads nothing or a whole image, never reads past the data (ASan watches).
    for (size_t cut = 0; cut < bytes.size(); cut += std::max<size_t>(1, bytes.size() / 40)) {
      std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
      std::string why;
      SurfacePtr s = Own(LoadImageFromMemory(part.data(), part.size(), extension.c_str(), &why));
      if (s == nullptr) {
        EXPECT_FALSE(why.empty()) << extension << " cut at " << cut;
      }
    }
    std::vector<uint8_t> garbage(bytes.size(), 0xA5);
    EXPECT_EQ(Own(LoadImageFromMemory(garbage.data(), garbage.size(), extension.c_str(), nullptr)), nullptr) << extension;
  }
  std::string why;
  EXPECT_EQ(LoadImageFile((TempDir() / "missing.png").c_str(), &why), nullptr);
  EXPECT_FALSE(why.empty());
}

TEST(ImageFiles, HugeClaimedSizesAreRefusedBeforeAllocating) {
  // A TGA header claiming 16384x16384 RLE pixels with four bytes of data behind it.
  std::vector<uint8_t> tga(18, 0);
  tga[2] = 10, tga[12] = 0, tga[13] = 0x40, tga[14] = 0, tga[15] = 0x40, tga[16] = 24;
  tga.insert(tga.end(), {0xFF, 1, 2, 3});
  std::string why;
  EXPECT_EQ(LoadImageFromMemory(tga.data(), tga.size(), "tga", &why), nullptr);
  EXPECT_NE(why.find("truncated"), std::string::npos) << why;
  // A PSD header claiming 30000x30000 pixels: refused from its header.
  std::vector<uint8_t> psd = PsdFixture();
  psd[14] = psd[18] = 0, psd[15] = psd[19] = 0, psd[16] = psd[20] = 0x75, psd[17] = psd[21] = 0x30;
  EXPECT_EQ(LoadImageFromMemory(psd.data(), psd.size(), "psd", &why), nullptr);
  EXPECT_NE(why.find("bad image size"), std::string::npos) << why;
}

// The standard CRC-32 of PNG chunks.
static uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

// Files of the library-read formats whose header declares 16384x16384 over a few hundred bytes
// of data: refused from the header, before the picture (a gigabyte) or the library's own
// buffers are allocated, and without decoding a gigapixel of filler.
TEST(ImageFiles, DeclaredSizesBeyondTheDataAreRefused) {
  SurfacePtr picture = TestPicture();
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
  for (const char* name : {"huge.jpg", "huge.png"}) {
    const std::filesystem::path path = TempDir() / name;
    ASSERT_TRUE(SaveImageFile(path.c_str(), *picture, nullptr));
    files.emplace_back(path.extension().string().substr(1), ReadBytes(path));
  }
  std::vector<uint8_t>& jpeg = files[0].second;
  for (size_t i = 2; i + 9 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
      jpeg[i + 5] = jpeg[i + 7] = 0x40, jpeg[i + 6] = jpeg[i + 8] = 0;  // height, width
      break;
    }
  std::vector<uint8_t>& png = files[1].second;
  png[16] = png[20] = 0, png[17] = png[21] = 0, png[18] = png[22] = 0x40, png[19] = png[23] = 0;
  const uint32_t crc = Crc32(png.data() + 12, 17);
  for (int k = 0; k < 4; ++k) png[29 + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
  std::vector<uint8_t> tiff = TiffFixture();
  tiff[18] = tiff[30] = 0, tiff[19] = tiff[31] = 0x40;  // the width and length entries' values
  files.emplace_back("tif", tiff);
  std::vector<uint8_t> psd = PsdFixture();
  psd[14] = psd[18] = 0, psd[15] = psd[19] = 0, psd[16] = psd[20] = 0x40, psd[17] = psd[21] = 0;
  files.emplace_back("psd", psd);
  for (const auto& [extension, bytes] : files) {
    std::string why;
    EXPECT_EQ(Own(LoadImageFromMemory(bytes.data(), bytes.size(), extension.c_str(), &why)), nullptr) << extension;
    EXPECT_NE(why.find("16384x16384 is more than"), std::string::npos) << extension << ": " << why;
  }
  EXPECT_LT(files[0].second.size(), 1000u);
  // A flat picture, which the formats pack best, still loads at its true size.
  SurfacePtr flat = Own(SurfaceCreate(2048, 2048));
  for (const char* name : {"flat.png", "flat.jpg"}) {
    const std::filesystem::path path = TempDir() / name;
    ASSERT_TRUE(SaveImageFile(path.c_str(), *flat, nullptr));
    std::string why;
    SurfacePtr back = Own(LoadImageFile(path.c_str(), &why));
    ASSERT_NE(back, nullptr) << name << ": " << why;
    EXPECT_EQ(back->width * back->height, 2048 * 2048) << name;
    std::filesystem::remove(path);
  }
  for (const char* name : {"huge.jpg", "huge.png"}) std::filesystem::remove(TempDir() / name);
}
