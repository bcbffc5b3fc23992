// The collision pass of 3D objects: hits between objects moved into each other, both ways,
// the asked-for pair, collision switched off and on, glued objects, meshes of one object
// never hitting each other, and the number checks of the collision commands.
#include "engine3d/engine3d_local.h"
#include "models/models.h"
#include "tests/engine3d/engine_harness.h"
#include "tests/models/fixtures.h"

#include <fstream>

namespace {

class CollisionTest : public EngineTest {
 protected:
  // The pass as the frame runs it: object animation, then collision.
  static void Frame() {
    AnimateObjects();
    RunCollisionPass();
  }
};

TEST_F(CollisionTest, ObjectsMovedIntoEachOtherHitBothWays) {
  // Object 1 takes the first record of the pool: its owner must still be found.
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kMakeObjectSphere, {2, 2.0f});
  RunCommand(kMakeObjectBox, {3, 1.0f, 1.0f, 1.0f});
  RunCommand(kPositionObject, {2, 10.0f, 0.0f, 0.0f});
  RunCommand(kPositionObject, {3, -10.0f, 0.0f, 0.0f});
  Frame();
  EXPECT_EQ(IntValue(kObjectHit, {1}), 0);
  EXPECT_EQ(IntValue(kObjectCollision, {1, 2}), 0);

  const struct {
    float x;        // object 2's place along x
    int hitBy1;     // what object 1 hit
    int oneAndTwo;  // object collision (1, 2)
  } steps[] = {{2.5f, 0, 0}, {1.5f, 2, 1}, {0.0f, 2, 1}, {-10.0f, 0, 0}};
  for (const auto& step : steps) {
    RunCommand(kPositionObject, {2, step.x, 0.0f, 0.0f});
    Frame();
    EXPECT_EQ(IntValue(kObjectHit, {1}), step.hitBy1) << step.x;
    EXPECT_EQ(IntValue(kObjectHit, {2}), step.x == -10.0f ? 3 : step.hitBy1 == 2 ? 1 : 0) << step.x;
    EXPECT_EQ(IntValue(kObjectCollision, {1, 2}), step.oneAndTwo) << step.x;
    EXPECT_EQ(IntValue(kObjectCollision, {1, 0}), step.oneAndTwo) << step.x;
    EXPECT_EQ(IntValue(kObjectCollision, {1, 3}), 0) << step.x;
  }
  EXPECT_EQ(IntValue(kObjectHit, {3}), 2);
  EXPECT_EQ(TakeError(), 0);
}

TEST_F(CollisionTest, SwitchedOffObjectsAreNeverHit) {
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kMakeObjectCube, {2, 2.0f});
  RunCommand(kSetObjectCollisionOff, {2});
  Frame();
  EXPECT_EQ(IntValue(kObjectHit, {1}), 0);
  EXPECT_EQ(IntValue(kObjectHit, {2}), 0);
  RunCommand(kSetObjectCollisionOn, {2});
  Frame();
  EXPECT_EQ(IntValue(kObjectHit, {1}), 2);
  // The rebuilt shape follows the object's scale: half size, its edges are 0.5 from it.
  RunCommand(kScaleObject, {2, 50.0f, 50.0f, 50.0f});
  RunCommand(kPositionObject, {2, 1.6f, 0.0f, 0.0f});
  Frame();
  EXPECT_EQ(IntValue(kObjectHit, {1}), 0);
  RunCommand(kPositionObject, {2, 1.4f, 0.0f, 0.0f});
  Frame();
  EXPECT_EQ(IntValue(kObjectHit, {1}), 2);
  EXPECT_EQ(TakeError(), 0);
}

TEST_F(CollisionTest, GluedObjectsCollideWhereTheyAreDrawn) {
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kMakeObjectCube, {2, 2.0f});
  RunCommand(kMakeObjectCube, {3, 2.0f});
  RunCommand(kPositionObject, {3, 30.0f, 0.0f, 0.0f});
  Frame();
  EXPECT_EQ(IntValue(kObjectHit, {1}), 2);
  RunCommand(kGlueObjectToLimb, {2, 3, 0});
  Frame();
  EXPECT_EQ(IntValue(kObjectHit, {1}), 0);
  EXPECT_EQ(IntValue(kObjectHit, {2}), 3);
}

TEST_F(CollisionTest, MeshesOfOneObjectDoNotHitEachOther) {
  TempFolder folder;
  const std::string path = folder.Path("pair.x");
  std::ofstream(path) << "xof 0302txt 0032\n"
                         "Frame A { Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;; } }\n"
                         "Frame B { Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;; } }\n";
  RunCommand(kLoadObject, {path.c_str(), 1});
  ASSERT_EQ(TakeError(), 0);
  Frame();
  EXPECT_EQ(IntValue(kObjectHit, {1}), 0);
  RunCommand(kMakeObjectCube, {2, 1.0f});
  Frame();
  EXPECT_EQ(IntValue(kObjectHit, {1}), 2);
}

TEST_F(CollisionTest, NumberChecks) {
  RunCommand(kMakeObjectCube, {1, 1.0f});
  ExpectErrors({
      {kObjectHit, {0, 0}, 7006},
      {kObjectHit, {0, 2}, 7008},
      {kObjectCollision, {0, 1, 2}, 7008},
      {kObjectCollision, {0, 1, 70000}, 7006},
      {kSetObjectCollisionOff, {2}, 7008},
      {kSetObjectCollisionOn, {0}, 7006},
  });
}

}  // namespace
