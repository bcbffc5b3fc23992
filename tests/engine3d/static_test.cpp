// Meshes and the static world from the engine's side: the pools' first sizes, objects made from
// numbered meshes, the static commands' operands and errors, levels that draw with no object,
// the drawn-triangle statistic, removable objects, and the camera walking against the boxes.
#include "engine3d/engine3d_local.h"
#include "models/static/static_world.h"
#include "tests/engine3d/engine_harness.h"

#include <cmath>

namespace {

class StaticTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    RunCommand(kAutoCameraOff, {});
  }
  void TearDown() override {
    ReleaseStaticWorld();
    EngineTest::TearDown();
  }
  // The draw calls of one frame.
  size_t DrawsOfFrame() {
    Device3dRecordClearCalls();
    RenderScene3D();
    return Device3dRecordCount(Device3dOp::kDrawIndexedPrimitiveVB);
  }
};

}  // namespace

// Each pool starts at its first size and doubles once fewer than four records are free.
TEST_F(StaticTest, PoolsStartAtTheirFirstSizes) {
  const struct {
    RecordPool* pool;
    int32_t first;
  } pools[] = {{MeshPool(), 2}, {ObjectPool(), 2}, {TexturePool(), 2}, {LightPool(), 8}};
  for (const auto& p : pools) {
    RecordPool fresh = *p.pool;
    fresh.records = nullptr;
    ASSERT_TRUE(CreateRecordPool(fresh)) << p.pool->name;
    EXPECT_EQ(fresh.capacity, p.first) << p.pool->name;
    int32_t grown = p.first;
    while (grown - 4 < 0) grown *= 2;
    EXPECT_GE(AllocRecord(fresh), 0);
    EXPECT_EQ(fresh.capacity, grown) << p.pool->name << ": the first allocation grows it while fewer than 4 are free";
    DestroyRecordPool(fresh);
  }
}

TEST_F(StaticTest, AnObjectIsMadeFromANumberedMesh) {
  RunCommand(kMakeObjectCube, {1, 4.0f});
  RunCommand(kPositionObject, {1, 50.0f, 0.0f, 0.0f});
  RunCommand(kMakeMeshFromObject, {5, 1});
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(IntValue(kMeshExist, {5}), 1);
  RunCommand(kDeleteObject, {1});
  RunCommand(kMakeObject, {2, 5, 0});
  ASSERT_EQ(TakeError(), 0);
  RunCommand(kPositionObject, {2, 0.0f, 0.0f, 20.0f});
  EXPECT_EQ(DrawsOfFrame(), 1u);
  EXPECT_EQ(IntValue(kStatistic, {1}), 12);      // the cube's triangles
  EXPECT_NEAR(FloatValue(kObjectSizeX, {2}), 4.0f, 1e-4f);  // its own shape, not its old place
  RunCommand(kDeleteMesh, {5});
  EXPECT_EQ(IntValue(kMeshExist, {5}), 0);
  RunCommand(kMakeObject, {3, 5, 0});
  EXPECT_EQ(TakeError(), 7003);
}

TEST_F(StaticTest, CommandsReadTheirOperandsAndRaiseTheirErrors) {
  RunCommand(kMakeObjectCube, {1, 2.0f});
  ExpectErrors({
      {kMakeMeshFromObject, {0, 1}, 7001},
      {kMakeMeshFromObject, {65535, 1}, 7001},
      {kMakeMeshFromObject, {4, 99}, 7008},
      {kMakeMeshFromObject, {4, 0}, 7006},
      {kMakeMeshFromObject, {4, 1}, 0},
      {kMakeMeshFromObject, {4, 1}, 7002},
      {kMeshExist, {-12345, 0}, 7001},
      {kDeleteMesh, {6}, 7003},
      {kDeleteMesh, {4}, 0},
      {kMakeObject, {2, 65535, 0}, 7001},
      {kMakeObject, {2, 8, 0}, 7003},
      {kMakeStaticObject, {0, 0}, 7006},
      {kMakeStaticObject, {9, 0}, 7008},
      {kMakeStaticObject, {1, 5}, 7004},
      {kMakeStaticObject, {1, -1}, 7004},
      {kConvertStaticObject, {9, 1}, 7008},
      {kMakeStaticObjectRemovable, {9}, 7008},
      {kMakeObjectMovable, {9}, 7008},
      {kMakeObjectMovable, {1}, 0},  // not static: nothing to give back
      {kLoadStaticObjects, {"no such level.dat"}, 105},
      {kSaveStaticObjects, {"/no/such/folder/level.dat"}, 7021},
      {kAddStaticBox, {0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f}, 0},
      {kDeleteStaticObjects, {}, 0},
      {kMoveCameraStatic, {1.0f, 1.0f}, 0},
      {kStaticPushOut, {0, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f}, 0},
      {kStaticLineOfSight, {0, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 9.0f, 1.0f, 1.0f}, 0},
      {kStaticResponseX, {0.0f}, 0},
  });
}

// A level alone draws: the render no longer needs an object to open the scene, and the
// statistic counts the level's triangles.
TEST_F(StaticTest, ALevelDrawsWithNoObjectAndCountsItsTriangles) {
  for (int i = 1; i <= 3; ++i) {
    RunCommand(kMakeObjectCube, {i, 2.0f});
    RunCommand(kPositionObject, {i, static_cast<float>(i * 3), 0.0f, 40.0f});
    RunCommand(kColorObject, {i, i == 3 ? 0x00FF00 : 0xFF0000});
  }
  RunCommand(kMakeStaticObject, {1, 0});
  RunCommand(kMakeStaticObject, {2, 0});
  RunCommand(kConvertStaticObject, {3, 0});
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(IntValue(kObjectExist, {3}), 0);  // converted: the number is free again
  EXPECT_EQ(IntValue(kObjectExist, {1}), 1);
  ASSERT_EQ(GetStaticWorld().groups.size(), 2u);  // one group per colour
  EXPECT_EQ(DrawsOfFrame(), 2u);                   // one batch each, no object drawn
  EXPECT_EQ(IntValue(kStatistic, {1}), 36);
  // The level stays in place when its objects go, and goes at the end of the run.
  RunCommand(kDeleteObject, {1});
  EXPECT_EQ(DrawsOfFrame(), 2u);
  ReleaseScene3D();
  EXPECT_EQ(GetStaticWorld().capacity, 0u);
  EXPECT_TRUE(GetStaticWorld().groups.empty());
}

TEST_F(StaticTest, ARemovableObjectComesBackWhenMadeMovable) {
  RunCommand(kMakeObjectBox, {1, 100.0f, 100.0f, 100.0f});  // a room
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 60.0f});
  RunCommand(kMakeStaticObject, {1, 0});
  RunCommand(kMakeObjectCube, {2, 2.0f});
  RunCommand(kPositionObject, {2, 0.0f, 0.0f, 60.0f});
  RunCommand(kMakeStaticObjectRemovable, {2});
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(DrawsOfFrame(), 1u);  // room and crate in one batch
  EXPECT_EQ(IntValue(kStatistic, {1}), 24);
  RunCommand(kMakeObjectMovable, {2});
  EXPECT_EQ(DrawsOfFrame(), 2u);  // the room, then the crate as an object
  EXPECT_EQ(IntValue(kStatistic, {1}), 24);
}

TEST_F(StaticTest, TheCameraStopsAtABoxAndQueriesAnswerThroughTheResponse) {
  RunCommand(kAddStaticBox, {10.0f, -10.0f, 50.0f, -10.0f, 10.0f, 60.0f});  // corners reversed in x
  RunCommand(kMoveCameraStatic, {100.0f, 2.0f});
  EXPECT_NEAR(FloatValue(kCameraPositionZ, {}), 47.0f, 1e-3f);  // the last free unit step
  EXPECT_EQ(RunCommand(kStaticLineOfSight, {0, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 100.0f, 1.0f, 1.0f})[0]->asInt, 1);
  EXPECT_NEAR(FloatValue(kStaticResponseZ, {}), 48.0f, 1e-3f);
  EXPECT_EQ(RunCommand(kStaticPushOut, {0, -1.0f, -1.0f, 47.0f, 1.0f, 1.0f, 49.0f, -1.0f, -1.0f, 49.0f, 1.0f, 1.0f, 51.0f})[0]->asInt,
            1);
  EXPECT_NEAR(FloatValue(kStaticResponseZ, {}), 1.0f, 1e-5f);
  EXPECT_EQ(FloatValue(kStaticResponseX, {}), 0.0f);
  EXPECT_EQ(FloatValue(kStaticResponseY, {}), 0.0f);
}
