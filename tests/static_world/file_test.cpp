// The world's file: the bytes of an empty world and of one mesh, a round trip that keeps every
// field, texture files named after the world file, untextured groups, and files that are cut
// short or damaged being refused with the world in memory kept.
#include "tests/static_world/static_fixtures.h"
#include "tests/small_disk.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include <unistd.h>

namespace {

void ExpectSameMesh(const StaticMesh& a, const StaticMesh& b) {
  ASSERT_EQ(a.vertices.size(), b.vertices.size());
  if (!a.vertices.empty()) {
    EXPECT_EQ(0, std::memcmp(a.vertices.data(), b.vertices.data(), a.vertices.size() * sizeof(StaticVertex)));
  }
  EXPECT_EQ(a.indices, b.indices);
  EXPECT_EQ(0, std::memcmp(a.centre, b.centre, sizeof a.centre));
  EXPECT_EQ(a.radius, b.radius);
  EXPECT_EQ(a.lowerReach, b.lowerReach);
  EXPECT_EQ(a.visible, b.visible);
  EXPECT_EQ(a.occluder, b.occluder);
  EXPECT_EQ(a.reducedHeight, b.reducedHeight);
  EXPECT_EQ(a.occluderOnly, b.occluderOnly);
  EXPECT_EQ(a.fullHeight, b.fullHeight);
  EXPECT_EQ(0, std::memcmp(a.occluderCorners, b.occluderCorners, sizeof a.occluderCorners));
  EXPECT_EQ(a.activeOccluder, b.activeOccluder);
  EXPECT_EQ(0, std::memcmp(a.occluderRect, b.occluderRect, sizeof a.occluderRect));
  EXPECT_EQ(a.occluderDepth, b.occluderDepth);
}

// A world of every kind of mesh: textured, untextured, occluder, occluder only, reduced
// height, full height, with boxes; culled once so the per-frame fields hold values.
void BuildMixedWorld() {
  ASSERT_TRUE(AddMesh(BoxMesh(0, 0, 300, 100, 50, 10), 5, 0, true, false, true));
  ASSERT_TRUE(AddMesh(BoxMesh(0, 0, 500, 20, 20, 20), 5));
  ASSERT_TRUE(AddMesh(BoxMesh(30, 0, 200, 5, 5, 5), 0, 0, false, true));
  ASSERT_TRUE(AddMesh(BoxMesh(-30, 0, 250, 60, 60, 2), 9, 0, true, true));
  AddStaticCollisionBox(1, 2, 3, 4, 5, 6);
  AddStaticCollisionBox(-10, -10, -10, 10, 0, 10);
  CullStaticWorld(FrontView());
}

}  // namespace

TEST_F(StaticWorldTest, AnEmptyWorldIsTwoZeroBytesAndLoadsBackEmpty) {
  EXPECT_EQ(StaticWorldFileBytes(), (std::vector<uint8_t>{0, 0}));
  const uint8_t bytes[] = {0, 0};
  EXPECT_TRUE(LoadStaticWorldFromMemory(bytes, sizeof bytes, "w", nullptr));
  EXPECT_TRUE(GetStaticWorld().groups.empty());
}

TEST_F(StaticWorldTest, OneMeshWorldHasTheRecordSizes) {
  const TestMesh box = BoxMesh(0, 0, 50, 1, 1, 1);
  ASSERT_TRUE(AddMesh(box, 3));
  const size_t v = 8, i = 36;
  EXPECT_EQ(StaticWorldFileBytes().size(), 1 + 4 + 1 + (153 + 32 * v + 2 * i) + 1 + 1 + 1);
}

// A world saved on a full disk leaves the old file whole and says why.
TEST_F(StaticWorldTest, SavingOnAFullDiskKeepsTheOldFileAndSaysWhy) {
  BuildMixedWorld();
  SmallDisk disk("64k");
  if (!disk.Ready()) GTEST_SKIP() << disk.Why();
  const std::string path = disk.Path() + "/level.dat";
  FILE* old = std::fopen(path.c_str(), "wb");
  ASSERT_NE(old, nullptr);
  std::fputs("old level", old);
  std::fclose(old);
  disk.Fill();
  std::string why;
  EXPECT_FALSE(SaveStaticWorld(path.c_str(), &why));
  EXPECT_EQ(why, "cannot write " + path + ": No space left on device");
  char kept[32] = {};
  old = std::fopen(path.c_str(), "rb");
  ASSERT_NE(old, nullptr);
  EXPECT_STREQ(std::fgets(kept, sizeof(kept), old), "old level");
  std::fclose(old);
}

TEST_F(StaticWorldTest, ARoundTripKeepsEveryFieldAndNamesTheTextureFiles) {
  BuildMixedWorld();
  const std::vector<uint8_t> bytes = StaticWorldFileBytes();
  std::vector<std::unique_ptr<StaticMesh>> before;
  for (const StaticTextureGroup& group : GetStaticWorld().groups)
    for (const auto& mesh : group.meshes) before.push_back(std::make_unique<StaticMesh>(*mesh));
  const std::vector<CollisionBox> boxes = GetStaticWorld().boxes;

  const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("qv-static-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "level.dat").string();
  ASSERT_TRUE(SaveStaticWorld(path.c_str()));
  EXPECT_EQ(saved.size(), 2u);  // the untextured group writes no picture
  EXPECT_EQ(saved[path + "_5.dds"], 5);
  EXPECT_EQ(saved[path + "_9.dds"], 9);
  ASSERT_TRUE(LoadStaticWorld(path.c_str()));
  std::filesystem::remove_all(folder);

  const StaticWorld& world = GetStaticWorld();
  ASSERT_EQ(world.groups.size(), 3u);
  EXPECT_EQ(world.groups[0].texture, 105);  // the texture cache's numbers for the files
  EXPECT_EQ(world.groups[1].texture, 0);    // untextured stays untextured
  EXPECT_EQ(world.groups[2].texture, 109);
  size_t at = 0;
  for (const StaticTextureGroup& group : world.groups)
    for (const auto& mesh : group.meshes) {
      ASSERT_LT(at, before.size());
      ExpectSameMesh(*mesh, *before[at++]);
      EXPECT_EQ(mesh->owner, 0);
    }
  EXPECT_EQ(at, before.size());
  EXPECT_TRUE(GetStaticWorld().groups[2].meshes[0]->vertices.empty());  // occluder only: saved with none
  ASSERT_EQ(world.boxes.size(), boxes.size());
  EXPECT_EQ(0, std::memcmp(world.boxes.data(), boxes.data(), boxes.size() * sizeof(CollisionBox)));
  EXPECT_EQ(StaticWorldFileBytes().size(), bytes.size());
}

TEST_F(StaticWorldTest, TrailingBytesAreIgnoredAndAFailedTextureLeavesTheGroupUntextured) {
  ASSERT_TRUE(AddMesh(BoxMesh(0, 0, 50, 1, 1, 1), 4));
  std::vector<uint8_t> bytes = StaticWorldFileBytes();
  bytes.insert(bytes.end(), {7, 7, 7});
  ClearStaticWorld();
  ASSERT_TRUE(LoadStaticWorldFromMemory(bytes.data(), bytes.size(), "missing", nullptr));
  EXPECT_EQ(GetStaticWorld().groups[0].texture, 0);  // not -1, which no texture record has
}

TEST_F(StaticWorldTest, EveryTruncatedOrDamagedFileIsRefusedWithTheWorldKept) {
  BuildMixedWorld();
  const std::vector<uint8_t> bytes = StaticWorldFileBytes();
  const std::vector<uint8_t> kept = bytes;
  for (size_t size = 0; size < bytes.size(); ++size) {
    std::string why;
    EXPECT_FALSE(LoadStaticWorldFromMemory(bytes.data(), size, "w", &why)) << "prefix of " << size << " bytes";
    ASSERT_EQ(StaticWorldFileBytes(), kept) << "prefix of " << size << " bytes changed the world";
  }
  // A count larger than the file, and an index past the vertices.
  std::vector<uint8_t> huge = bytes;
  huge[6] = 0xFF;
  huge[7] = 0xFF;
  huge[8] = 0xFF;
  EXPECT_FALSE(LoadStaticWorldFromMemory(huge.data(), huge.size(), "w", nullptr));
  std::vector<uint8_t> badIndex = bytes;
  const size_t firstIndex = 6 + 4 + 32 * 8 + 4;
  badIndex[firstIndex] = 8;
  std::string why;
  EXPECT_FALSE(LoadStaticWorldFromMemory(badIndex.data(), badIndex.size(), "w", &why));
  EXPECT_NE(why.find("index"), std::string::npos);
  EXPECT_EQ(StaticWorldFileBytes(), kept);
  EXPECT_FALSE(LoadStaticWorld("/nonexistent/folder/level.dat"));
  EXPECT_EQ(StaticWorldFileBytes(), kept);
}
