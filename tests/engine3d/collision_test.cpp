// The collision pass of 3D objects: hits between objects moved into each other, both ways,
// the asked-for pair, collision switched off and on, glued objects, copies sharing a model,
// meshes of one object never hitting each other, results that stay those of the last sync,
// the order of several contacts, and the number checks of the collision commands.
#include "engine3d/engine3d_local.h"
#include "models/models.h"
#include "tests/engine3d/engine_harness.h"
#include "tests/models/fixtures.h"

#include <fstream>
#include <vector>

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

// Command 7063 rebuilds an object's collision shapes as spheres: two cubes of size 2 whose
// boxes are 0.2 apart touch once their corners' spheres (radius 1.73) stand in for them.
TEST_F(CollisionTest, CollisionToSpheresRebuildsTheShapes) {
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kMakeObjectCube, {2, 2.0f});
  RunCommand(kPositionObject, {2, 2.2f, 0.0f, 0.0f});
  Frame();
  EXPECT_EQ(IntValue(kObjectCollision, {1, 2}), 0);
  RunCommand(kSetObjectCollisionToSpheres, {1});
  RunCommand(kSetObjectCollisionToSpheres, {2});
  Frame();
  EXPECT_EQ(IntValue(kObjectCollision, {1, 2}), 1);
  ExpectErrors({{kSetObjectCollisionToSpheres, {0}, 7006}, {kSetObjectCollisionToSpheres, {9}, 7008}});
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

// A copy shares its source's model but has collision objects of its own: source 1 and copy
// 2 sit apart, each touching its own neighbour (3 and 4). Whichever of the pair is deleted
// or switched off, the other keeps colliding at its own place.
TEST_F(CollisionTest, CopiesCollideWithTheirOwnObjects) {
  const struct {
    int command;     // what happens to one of the pair after the first frame
    int32_t object;  // the one it happens to
  } cases[] = {{0, 0}, {kDeleteObject, 2}, {kDeleteObject, 1}, {kSetObjectCollisionOff, 2},
               {kSetObjectCollisionOff, 1}};
  for (const auto& change : cases) {
    SCOPED_TRACE(testing::Message() << "command " << change.command << " on " << change.object);
    RunCommand(kMakeObjectCube, {1, 2.0f});
    RunCommand(kDuplicateObject, {1, 2});
    RunCommand(kDuplicateObject, {1, 5});
    RunCommand(kPositionObject, {5, 100.0f, 0.0f, 0.0f});
    RunCommand(kMakeObjectCube, {3, 2.0f});
    RunCommand(kMakeObjectCube, {4, 2.0f});
    RunCommand(kPositionObject, {2, 20.0f, 0.0f, 0.0f});
    RunCommand(kPositionObject, {3, -1.5f, 0.0f, 0.0f});
    RunCommand(kPositionObject, {4, 21.5f, 0.0f, 0.0f});
    Frame();
    EXPECT_EQ(IntValue(kObjectHit, {1}), 3);
    EXPECT_EQ(IntValue(kObjectHit, {3}), 1);
    EXPECT_EQ(IntValue(kObjectHit, {2}), 4);
    EXPECT_EQ(IntValue(kObjectHit, {4}), 2);
    EXPECT_EQ(IntValue(kObjectCollision, {1, 4}), 0);
    EXPECT_EQ(IntValue(kObjectCollision, {2, 3}), 0);

    // Each object has its own collision object on every shared mesh; copies 2 and 5, alike
    // in collision type and size, use one shape.
    ModelObject* model = ObjectAt(ObjectSlotForNumber(1))->model;
    ASSERT_EQ(model, ObjectAt(ObjectSlotForNumber(2))->model);
    std::vector<const MeshNode*> meshes;
    std::vector<ModelNode*> pending{model->Root()};
    while (!pending.empty()) {
      ModelNode* node = pending.back();
      pending.pop_back();
      if (!node) continue;
      if (node->kind == ModelNodeKind::Mesh) meshes.push_back(static_cast<const MeshNode*>(node));
      pending.push_back(node->child);
      pending.push_back(node->next);
    }
    ASSERT_FALSE(meshes.empty());
    for (const MeshNode* mesh : meshes) {
      ASSERT_EQ(mesh->collisionUses.size(), 3u);
      EXPECT_EQ(mesh->collisionUses[1].shape, mesh->collisionUses[2].shape);
      const int32_t owners[] = {1, 2, 5};
      for (size_t use = 0; use < 3; use++)
        EXPECT_EQ(ModelCollisionOwner(mesh->collisionUses[use].key), owners[use]);
    }

    if (change.command == 0) {
      // Moving the copy next to the source's neighbour moves only the copy's shape.
      RunCommand(kPositionObject, {2, -3.0f, 0.0f, 0.0f});
      Frame();
      EXPECT_EQ(IntValue(kObjectHit, {1}), 3);
      EXPECT_EQ(IntValue(kObjectHit, {2}), 3);
      EXPECT_EQ(IntValue(kObjectHit, {4}), 0);
    } else {
      RunCommand(change.command, {change.object});
      Frame();
      const int32_t kept = change.object == 1 ? 2 : 1, keptNeighbour = kept + 2;
      const int32_t goneNeighbour = change.object + 2;
      EXPECT_EQ(IntValue(kObjectHit, {kept}), keptNeighbour);
      EXPECT_EQ(IntValue(kObjectHit, {keptNeighbour}), kept);
      EXPECT_EQ(IntValue(kObjectHit, {goneNeighbour}), 0);
      if (change.command == kSetObjectCollisionOff) {
        // Switched on again, it collides at its own place once more.
        RunCommand(kSetObjectCollisionOn, {change.object});
        Frame();
        EXPECT_EQ(IntValue(kObjectHit, {change.object}), goneNeighbour);
        EXPECT_EQ(IntValue(kObjectHit, {kept}), keptNeighbour);
      }
    }
    EXPECT_EQ(TakeError(), 0);
    for (int32_t number = 1; number <= 5; number++)
      if (ObjectSlotForNumber(number) >= 0) RunCommand(kDeleteObject, {number});
  }
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

// What a program reads is the pass of the last sync: moving or deleting objects after it
// changes nothing until the next one, however late the results are read.
TEST_F(CollisionTest, ResultsAreThoseOfTheLastSync) {
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kMakeObjectCube, {2, 2.0f});
  RunCommand(kMakeObjectCube, {3, 2.0f});
  RunCommand(kPositionObject, {3, 50.0f, 0.0f, 0.0f});
  Frame();
  RunCommand(kPositionObject, {2, 20.0f, 0.0f, 0.0f});  // apart now, not yet at a sync
  RunCommand(kPositionObject, {3, 1.0f, 0.0f, 0.0f});
  EXPECT_EQ(IntValue(kObjectHit, {1}), 2);
  EXPECT_EQ(IntValue(kObjectCollision, {2, 1}), 1);
  Frame();
  EXPECT_EQ(IntValue(kObjectHit, {1}), 3);
  EXPECT_EQ(IntValue(kObjectHit, {2}), 0);

  // A sync without a move keeps the results; a new object or a deleted one waits for the next.
  Frame();
  RunCommand(kMakeObjectCube, {4, 2.0f});
  RunCommand(kDeleteObject, {3});
  EXPECT_EQ(IntValue(kObjectHit, {1}), 3);
  EXPECT_EQ(IntValue(kObjectHit, {4}), 0);
  Frame();
  EXPECT_EQ(IntValue(kObjectHit, {1}), 4);
  EXPECT_EQ(IntValue(kObjectHit, {4}), 1);

  // Results read only after several syncs are those of the last one.
  RunCommand(kPositionObject, {4, 30.0f, 0.0f, 0.0f});
  Frame();
  RunCommand(kPositionObject, {2, 1.0f, 0.0f, 0.0f});
  Frame();
  EXPECT_EQ(IntValue(kObjectHit, {1}), 2);
  EXPECT_EQ(IntValue(kObjectHit, {4}), 0);
  EXPECT_EQ(TakeError(), 0);
}

// Every command that turns or moves an object moves its collision shape at the next sync: a
// 10-long bar along x, turned a quarter about y, reaches a cube 4 along z.
TEST_F(CollisionTest, TurningAndMovingCommandsMoveTheShape) {
  const struct {
    int command;
    std::initializer_list<Arg> args;
  } cases[] = {
      {kYRotateObject, {1, 90.0f}},
      {kTurnObjectLeft, {1, 90.0f}},
      {kTurnObjectRight, {1, 270.0f}},
      {kRotateObject, {1, 0.0f, 90.0f, 0.0f}},
      {kPointObject, {1, 10.0f, 0.0f, 0.0f}},
      {kScaleObject, {1, 100.0f, 100.0f, 900.0f}},
      {kPositionObject, {1, 0.0f, 0.0f, 3.5f}},
      {kMoveObject, {1, 3.5f}},
  };
  for (const auto& change : cases) {
    SCOPED_TRACE(testing::Message() << "command " << change.command);
    RunCommand(kMakeObjectBox, {1, 10.0f, 1.0f, 1.0f});
    RunCommand(kMakeObjectCube, {2, 1.0f});
    RunCommand(kPositionObject, {2, 0.0f, 0.0f, 4.0f});
    Frame();
    ASSERT_EQ(IntValue(kObjectHit, {2}), 0);
    RunCommand(change.command, change.args);
    Frame();
    EXPECT_EQ(IntValue(kObjectHit, {2}), 1);
    EXPECT_EQ(TakeError(), 0);
    RunCommand(kDeleteObject, {1});
    RunCommand(kDeleteObject, {2});
  }
}

// An object touching several others names the one a walk over every pair meets last (pairs
// by their later object, then the earlier): here the cube made after the triangle.
TEST_F(CollisionTest, SeveralContactsNameTheLastPairOfTheWalk) {
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kMakeObjectTriangle, {2, -3.0f, -3.0f, 0.0f, 0.0f, 3.0f, 0.0f, 3.0f, -3.0f, 0.0f});
  RunCommand(kMakeObjectCube, {3, 2.0f});
  RunCommand(kPositionObject, {3, 1.5f, 0.0f, 0.0f});
  Frame();
  EXPECT_EQ(IntValue(kObjectHit, {1}), 3);
  EXPECT_EQ(IntValue(kObjectHit, {2}), 3);
  EXPECT_EQ(IntValue(kObjectHit, {3}), 2);
  EXPECT_EQ(IntValue(kObjectCollision, {1, 2}), 0);  // asked for, it counts from the next pass
  RunCommand(kPositionObject, {3, 1.6f, 0.0f, 0.0f});
  Frame();
  EXPECT_EQ(IntValue(kObjectHit, {1}), 3);
  EXPECT_EQ(IntValue(kObjectCollision, {1, 2}), 1);
  EXPECT_EQ(TakeError(), 0);
}

// Made cones and cylinders collide as they are drawn (size 10: radius 5, height 10, centred
// on the origin; the cone's apex at the top): a small sphere (radius 0.5) beside the cone's
// narrow top misses it, one inside the cylinder's top edge hits it.
TEST_F(CollisionTest, ConesAndCylindersCollideAsTheShapeTheyDraw) {
  const struct {
    int shape;
    float x, y;
    int hit;
  } cases[] = {
      {kMakeObjectCone, 2.0f, 4.5f, 0},      // beside the narrow top: the cone is 0.25 wide there
      {kMakeObjectCone, 0.0f, 5.2f, 1},      // on the apex
      {kMakeObjectCone, 4.0f, -4.5f, 1},     // in the wide base
      {kMakeObjectCylinder, 4.5f, 4.5f, 1},  // inside the top edge
      {kMakeObjectCylinder, 5.6f, 0.0f, 0},  // clear of the side
  };
  for (const auto& c : cases) {
    RunCommand(c.shape, {1, 10.0f});
    RunCommand(kMakeObjectSphere, {2, 1.0f});
    RunCommand(kPositionObject, {2, c.x, c.y, 0.0f});
    Frame();
    EXPECT_EQ(IntValue(kObjectCollision, {1, 2}), c.hit) << c.shape << " at " << c.x << ", " << c.y;
    RunCommand(kDeleteObject, {1});
    RunCommand(kDeleteObject, {2});
  }
  EXPECT_EQ(TakeError(), 0);
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
