// CPU surface tests: fills and blits clip, colour keys skip only the key colour, mirror/flip
// and stretch land on the right pixels, and a lost surface refuses work until restored.
#include <gtest/gtest.h>

#include <memory>

#include "platform/surface.h"

using SurfacePtr = std::unique_ptr<Surface, void (*)(Surface*)>;
static SurfacePtr MakeSurface(int w, int h) { return SurfacePtr(SurfaceCreate(w, h), SurfaceDestroy); }

// Writes a 2x2 pattern 1 2 / 3 4 into a fresh surface.
static SurfacePtr Pattern2x2() {
  SurfacePtr s = MakeSurface(2, 2);
  s->pixels = {1, 2, 3, 4};
  return s;
}

TEST(Surface, CreateRejectsBadSizes) {
  for (auto [w, h] : {std::pair{0, 5}, {5, 0}, {-1, 3}, {16385, 1}}) EXPECT_EQ(SurfaceCreate(w, h), nullptr) << w << "x" << h;
  SurfacePtr s = MakeSurface(3, 2);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->pixels.size(), 6u);
}

TEST(Surface, FillClipsToTheSurface) {
  SurfacePtr s = MakeSurface(4, 4);
  EXPECT_EQ(SurfaceFill(*s, {-2, -2, 2, 1}, 7), SurfaceResult::kOk);
  EXPECT_EQ(SurfaceFill(*s, {3, 3, 100, 100}, 9), SurfaceResult::kOk);
  EXPECT_EQ(SurfaceFill(*s, {2, 2, 1, 1}, 5), SurfaceResult::kOk);  // empty: nothing drawn
  const std::vector<uint32_t> want = {7, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9};
  EXPECT_EQ(s->pixels, want);
}

TEST(Surface, BlitVariants) {
  struct Case {
    const char* name;
    BlitOptions options;
    std::vector<uint32_t> want;  // the 2x2 destination after a blit at 0,0 over a background of 9
  } cases[] = {
      {"plain", {}, {1, 2, 3, 4}},
      {"mirror", {false, 0, true, false}, {2, 1, 4, 3}},
      {"flip", {false, 0, false, true}, {3, 4, 1, 2}},
      {"mirror and flip", {false, 0, true, true}, {4, 3, 2, 1}},
      {"key 2 skipped", {true, 2, false, false}, {1, 9, 3, 4}},
      {"key ignores the top byte", {true, 0xFF000003u, false, false}, {1, 2, 9, 4}},
  };
  for (const Case& c : cases) {
    SurfacePtr source = Pattern2x2();
    SurfacePtr dest = MakeSurface(2, 2);
    SurfaceFill(*dest, {0, 0, 2, 2}, 9);
    EXPECT_EQ(SurfaceBlit(*dest, 0, 0, *source, {0, 0, 2, 2}, c.options), SurfaceResult::kOk) << c.name;
    EXPECT_EQ(dest->pixels, c.want) << c.name;
  }
}

TEST(Surface, BlitClipsAtEveryEdgeAndChecksTheSource) {
  SurfacePtr source = Pattern2x2();
  SurfacePtr dest = MakeSurface(3, 3);
  EXPECT_EQ(SurfaceBlit(*dest, -1, -1, *source, {0, 0, 2, 2}, {}), SurfaceResult::kOk);
  EXPECT_EQ(SurfaceBlit(*dest, 2, 2, *source, {0, 0, 2, 2}, {}), SurfaceResult::kOk);
  const std::vector<uint32_t> want = {4, 0, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(dest->pixels, want);
  EXPECT_EQ(SurfaceBlit(*dest, 0, 0, *source, {0, 0, 3, 2}, {}), SurfaceResult::kFailed);  // source too big
  EXPECT_EQ(SurfaceBlit(*dest, 0, 0, *source, {1, 1, 1, 2}, {}), SurfaceResult::kFailed);  // empty source
}

TEST(Surface, StretchDoublesAndHalves) {
  SurfacePtr source = Pattern2x2();
  SurfacePtr big = MakeSurface(4, 4);
  SurfaceStretchBlit(*big, {0, 0, 4, 4}, *source, {0, 0, 2, 2}, {});
  const std::vector<uint32_t> want = {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4};
  EXPECT_EQ(big->pixels, want);
  SurfacePtr small = MakeSurface(1, 1);
  SurfaceStretchBlit(*small, {0, 0, 1, 1}, *big, {0, 0, 4, 4}, {});
  EXPECT_EQ(small->pixels[0], 1u);
}

TEST(Surface, OverlappingCopyWithinOneSurface) {
  SurfacePtr s = MakeSurface(4, 1);
  s->pixels = {1, 2, 3, 4};
  SurfaceBlit(*s, 1, 0, *s, {0, 0, 3, 1}, {});
  const std::vector<uint32_t> want = {1, 1, 2, 3};
  EXPECT_EQ(s->pixels, want);
}

TEST(Surface, LostSurfaceRefusesWorkUntilRestored) {
  SurfacePtr s = Pattern2x2();
  SurfacePtr other = MakeSurface(2, 2);
  SurfaceMarkLost(*s);
  EXPECT_EQ(SurfaceFill(*s, {0, 0, 1, 1}, 5), SurfaceResult::kLost);
  EXPECT_EQ(SurfaceBlit(*other, 0, 0, *s, {0, 0, 2, 2}, {}), SurfaceResult::kLost);
  EXPECT_EQ(SurfaceLock(*s), nullptr);
  EXPECT_TRUE(SurfaceRestore(*s));
  EXPECT_EQ(s->pixels, std::vector<uint32_t>(4, 0));  // contents are gone after a loss
  uint32_t* pixels = SurfaceLock(*s);
  ASSERT_NE(pixels, nullptr);
  pixels[3] = 8;
  SurfaceUnlock(*s);
  EXPECT_EQ(s->lockCount, 0);
  EXPECT_EQ(s->pixels[3], 8u);
}

// An unscaled keyed blit goes through the fast path; the same blit of the mirrored image with
// mirror set goes pixel by pixel. Both must leave exactly the pixels the key rule gives, at
// every alignment, clipped at each border, for all-transparent and all-opaque rows, edges, a
// key with its top byte set, colours one bit off the key, and a part of the source.
TEST(Surface, KeyedFastPathMatchesThePixelByPixelPath) {
  constexpr int kW = 37, kH = 7;  // an odd width: groups of four pixels and a tail
  constexpr uint32_t kKey = 0x102030;
  SurfacePtr image = MakeSurface(kW, kH), mirrored = MakeSurface(kW, kH);
  uint32_t random = 12345;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const uint32_t colour = 0x010203u * static_cast<uint32_t>(x + 1) + static_cast<uint32_t>(y) * 0x100000u;
      const uint32_t topByte = (x % 3 == 0) ? 0xAB000000u : 0u;
      uint32_t pixel = colour;
      switch (y) {
        case 0: pixel = kKey | topByte; break;                                       // all transparent
        case 1: pixel = colour; break;                                               // all opaque
        case 2: pixel = x % 5 < 2 ? kKey : colour; break;                            // runs, key at both edges
        case 3: pixel = x % 4 == 3 ? colour : (kKey | topByte); break;               // lone opaque pixels
        case 4: pixel = x == 0 || x == kW - 1 ? kKey : kKey ^ (1u << (x % 24)); break;  // one bit off the key
        default:
          random = random * 1103515245u + 12345u;
          pixel = (random >> 16) & 1 ? kKey : colour | topByte;
      }
      image->pixels[static_cast<size_t>(y) * kW + x] = pixel;
      mirrored->pixels[static_cast<size_t>(y) * kW + (kW - 1 - x)] = pixel;
    }
  constexpr int kDestW = 64, kDestH = 48;
  auto background = [](size_t i) { return static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFFu; };
  const SurfaceRect parts[] = {{0, 0, kW, kH}, {3, 1, kW - 2, kH}};
  const std::pair<int, int> places[] = {{0, 0},   {1, 3},   {2, 5},  {3, 9},   {-3, -2}, {kDestW - 20, kDestH - 4},
                                        {-36, 0}, {kDestW - 1, kDestH - 1}, {-40, 0}, {10, -6}, {kDestW, 0}};
  for (bool flip : {false, true})
    for (const SurfaceRect& part : parts)
      for (auto [px, py] : places) {
        SCOPED_TRACE(testing::Message() << "at " << px << "," << py << " part " << part.left << "," << part.top
                                        << (flip ? " flipped" : ""));
        SurfacePtr fast = MakeSurface(kDestW, kDestH), general = MakeSurface(kDestW, kDestH);
        for (size_t i = 0; i < fast->pixels.size(); ++i) fast->pixels[i] = general->pixels[i] = background(i);
        const SurfaceRect mirroredPart{kW - part.right, part.top, kW - part.left, part.bottom};
        SurfaceBlit(*fast, px, py, *image, part, {true, kKey, false, flip});
        SurfaceBlit(*general, px, py, *mirrored, mirroredPart, {true, kKey, true, flip});
        EXPECT_EQ(fast->pixels, general->pixels);
        // And both are what the key rule gives.
        const int partW = part.right - part.left, partH = part.bottom - part.top;
        int differences = 0;
        for (int y = 0; y < kDestH; ++y)
          for (int x = 0; x < kDestW; ++x) {
            const size_t at = static_cast<size_t>(y) * kDestW + x;
            uint32_t want = background(at);
            const int u = x - px, v = y - py;
            if (u >= 0 && u < partW && v >= 0 && v < partH) {
              const int row = part.top + (flip ? partH - 1 - v : v);
              const uint32_t pixel = image->pixels[static_cast<size_t>(row) * kW + part.left + u];
              if ((pixel & 0xFFFFFFu) != kKey) want = pixel;
            }
            differences += fast->pixels[at] != want;
          }
        EXPECT_EQ(differences, 0);
      }
}
