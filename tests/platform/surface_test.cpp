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
