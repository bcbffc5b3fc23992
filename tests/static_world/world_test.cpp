// Meshes, groups and batches: one group per texture, fan triangulation, the buffer growing
// for a large mesh, batches drawn before they reach 300 vertices, the index scratch that must
// hold the largest mesh, removal by owner and the refusal of meshes without triangles.
#include "platform/device3d_record.h"
#include "tests/static_world/static_fixtures.h"

namespace {

std::vector<const Device3dRecordedCall*> Draws() {
  std::vector<const Device3dRecordedCall*> draws;
  for (const Device3dRecordedCall& call : Device3dRecordedCalls())
    if (call.op == Device3dOp::kDrawIndexedPrimitiveVB) draws.push_back(&call);
  return draws;
}

uint32_t g_drawnIndices = 0;

}  // namespace

TEST_F(StaticWorldTest, MeshesOfOneTextureShareAGroupThatHoldsOneReference) {
  ASSERT_TRUE(AddMesh(BoxMesh(0, 0, 50, 1, 1, 1), 7));
  ASSERT_TRUE(AddMesh(BoxMesh(5, 0, 50, 1, 1, 1), 7));
  ASSERT_TRUE(AddMesh(BoxMesh(0, 5, 50, 1, 1, 1), 0));
  const StaticWorld& world = GetStaticWorld();
  ASSERT_EQ(world.groups.size(), 2u);
  EXPECT_EQ(world.groups[0].texture, 7);
  EXPECT_EQ(world.groups[0].meshes.size(), 2u);
  EXPECT_EQ(world.groups[1].texture, 0);
  EXPECT_EQ(references[7], 1);
  EXPECT_EQ(references.count(0), 0u);  // untextured groups hold nothing
  ClearStaticWorld();
  EXPECT_EQ(references[7], 0);
  EXPECT_EQ(GetStaticWorld().capacity, kStaticDefaultCapacity);  // clearing keeps the buffer
}

TEST_F(StaticWorldTest, FacesAreFannedAndTheMeshMeasured) {
  ASSERT_TRUE(AddMesh(FanMesh(5, 0, 0, 50, 2.0f), 0));
  const StaticMesh& mesh = *GetStaticWorld().groups[0].meshes[0];
  EXPECT_EQ(mesh.indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3, 0, 3, 4}));
  EXPECT_NEAR(mesh.centre[2], 50.0f, 1e-5f);
  EXPECT_NEAR(mesh.radius, 2.5f, 1e-4f);  // 1.25 x the farthest vertex
}

TEST_F(StaticWorldTest, EmptyAndBrokenMeshesAreRefused) {
  TestMesh none;
  EXPECT_FALSE(AddMesh(none, 0));
  TestMesh line = FanMesh(2, 0, 0, 50, 1);  // a face of two corners has no triangle
  EXPECT_FALSE(AddMesh(line, 0));
  TestMesh past = FanMesh(3, 0, 0, 50, 1);
  past.faces[5] = 3;  // names a vertex the mesh does not have
  EXPECT_FALSE(AddMesh(past, 0));
  TestMesh shortList = FanMesh(3, 0, 0, 50, 1);
  shortList.faces.pop_back();  // the face list ends inside the face
  EXPECT_FALSE(AddMesh(shortList, 0));
  EXPECT_TRUE(GetStaticWorld().groups.empty());
}

TEST_F(StaticWorldTest, ALargeMeshGrowsTheBufferBeforeItIsStored) {
  ASSERT_TRUE(AddMesh(FanMesh(5000, 0, 0, 50, 10), 0));
  EXPECT_EQ(GetStaticWorld().capacity, 5000u);
  EXPECT_EQ(Device3dRecordLiveVertexBuffers(), 1u);  // the old buffer was let go
  const std::vector<Device3dVertex>* vertices = Device3dRecordedVertices(GetStaticWorld().vertexBuffer);
  ASSERT_NE(vertices, nullptr);
  EXPECT_EQ(vertices->size(), 5000u);
}

TEST_F(StaticWorldTest, BatchesAreDrawnBeforeTheyReach300VerticesWithOffsetIndices) {
  StaticWorldHost host{};
  host.AddDrawnIndices = [](uint32_t count) { g_drawnIndices += count; };
  host.RetainTexture = [](int32_t) {};
  host.ReleaseTexture = [](int32_t, int32_t) {};
  StaticWorldInit(&host);
  g_drawnIndices = 0;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(AddMesh(FanMesh(100, static_cast<float>(i), 0, 50, 1), 3));
  Device3dRecordClearCalls();
  DrawStaticWorld(FrontView());
  const auto draws = Draws();
  ASSERT_EQ(draws.size(), 2u);
  // The third mesh would make the batch 300 vertices: the first two go first.
  EXPECT_EQ(draws[0]->args[2], 200u);
  EXPECT_EQ(draws[0]->args[3], 2u * 294u);
  EXPECT_EQ(draws[0]->indices[294], 100u);  // the second mesh's fan starts at its own vertex 0
  EXPECT_EQ(draws[0]->indices[295], 101u);
  EXPECT_EQ(draws[1]->args[2], 100u);
  EXPECT_EQ(draws[1]->indices[0], 0u);
  EXPECT_EQ(g_drawnIndices, 3u * 294u);
}

// A closed mesh has far more indices than vertices: the scratch must take its whole index list
// (five per vertex of the buffer would not).
TEST_F(StaticWorldTest, TheIndexScratchHoldsTheLargestMesh) {
  TestMesh dense = FanMesh(3, 0, 0, 50, 1);
  for (int i = 0; i < 8000; ++i) {
    dense.faces.insert(dense.faces.end(), {3, 0, 0, 1, 1, 2, 2});
    ++dense.faceCount;
  }
  ASSERT_TRUE(AddMesh(dense, 0));
  ASSERT_TRUE(AddMesh(dense, 0));
  EXPECT_GE(GetStaticWorld().indexCapacity, 8001u * 3u);
  Device3dRecordClearCalls();
  DrawStaticWorld(FrontView());
  const auto draws = Draws();
  ASSERT_EQ(draws.size(), 2u);  // the index count flushes the batch too
  EXPECT_EQ(draws[0]->args[3], 8001u * 3u);
  EXPECT_EQ(draws[1]->indices.back(), 2u);
}

TEST_F(StaticWorldTest, RemovingByOwnerKeepsGroupsAndOtherMeshes) {
  ASSERT_TRUE(AddMesh(BoxMesh(0, 0, 50, 20, 20, 20), 1));
  ASSERT_TRUE(AddMesh(BoxMesh(0, 0, 50, 1, 1, 1), 2, 9));
  RemoveStaticMeshes(4);  // no mesh has it: nothing changes
  EXPECT_EQ(GetStaticWorld().groups[1].meshes.size(), 1u);
  RemoveStaticMeshes(9);
  ASSERT_EQ(GetStaticWorld().groups.size(), 2u);
  EXPECT_TRUE(GetStaticWorld().groups[1].meshes.empty());
  EXPECT_EQ(GetStaticWorld().groups[0].meshes.size(), 1u);
  Device3dRecordClearCalls();
  EXPECT_TRUE(DrawStaticWorld(FrontView()));  // the empty group is visited and draws nothing
  EXPECT_EQ(Draws().size(), 1u);
}

TEST_F(StaticWorldTest, AReleasedWorldHasNoBufferToWriteThrough) {
  ASSERT_TRUE(AddMesh(BoxMesh(0, 0, 50, 1, 1, 1), 0));
  ReleaseStaticWorld();
  EXPECT_EQ(GetStaticWorld().capacity, 0u);
  EXPECT_EQ(GetStaticWorld().indexCapacity, 0u);
  EXPECT_EQ(Device3dRecordLiveVertexBuffers(), 0u);
  Device3dRecordClearCalls();
  EXPECT_TRUE(DrawStaticWorld(FrontView()));
  EXPECT_TRUE(Draws().empty());
}
