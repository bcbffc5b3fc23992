// The render's passes on the recording device: what a plain frame sends, the order of ghosts
// with equal keys, locked entities behind the screen, entities nearer than 100 units, objects
// drawn texture by texture, and placements that follow every command that moves an object.
#include "engine3d/engine3d_local.h"
#include "graphics2d/graphics2d.h"
#include "tests/engine3d/engine_harness.h"

#include <algorithm>
#include <vector>

namespace {

class RenderTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    RunCommand(kAutoCameraOff, {});
  }
  // The vertex buffers drawn in one frame, in order.
  std::vector<uint32_t> DrawnBuffers() {
    Device3dRecordClearCalls();
    RenderScene3D();
    std::vector<uint32_t> buffers;
    for (const Device3dRecordedCall& call : Device3dRecordedCalls())
      if (call.op == Device3dOp::kDrawIndexedPrimitiveVB) buffers.push_back(call.args[0]);
    return buffers;
  }
  size_t Calls(Device3dOp op, uint32_t firstArg) {
    size_t count = 0;
    for (const Device3dRecordedCall& call : Device3dRecordedCalls()) count += call.op == op && call.args[0] == firstArg;
    return count;
  }
};

}  // namespace

TEST_F(RenderTest, PlainFrameChangesNoViewportOrProjection) {
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 20.0f});
  EXPECT_EQ(DrawnBuffers().size(), 1u);
  EXPECT_EQ(IntValue(kStatistic, {1}), 12);  // the cube's triangles
  EXPECT_EQ(IntValue(kStatistic, {2}), 0);
  EXPECT_EQ(Device3dRecordCount(Device3dOp::kSetViewport), 0u);
  EXPECT_EQ(Calls(Device3dOp::kSetTransform, static_cast<uint32_t>(Device3dTransform::kProjection)), 0u);
  EXPECT_EQ(Device3dRecordCount(Device3dOp::kClear), 1u);  // the frame's depth clear only
  EXPECT_EQ(Device3dRecordCount(Device3dOp::kBeginScene), 1u);
  EXPECT_EQ(Device3dRecordCount(Device3dOp::kEndScene), 1u);
  // A second frame sends no render state again: the cache holds them.
  DrawnBuffers();
  EXPECT_EQ(Device3dRecordCount(Device3dOp::kSetRenderState), 0u);
}

TEST_F(RenderTest, GhostsFarToNearLaterFirstOnEqualKeys) {
  for (int number = 1; number <= 3; ++number) {
    RunCommand(kMakeObjectCube, {number, 2.0f});
    RunCommand(kGhostObjectOn, {number, 0});
  }
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 20.0f});
  RunCommand(kPositionObject, {2, 0.0f, 0.0f, 20.0f});
  RunCommand(kPositionObject, {3, 0.0f, 0.0f, 40.0f});
  const std::vector<uint32_t> first = DrawnBuffers();
  ASSERT_EQ(first.size(), 3u);
  // Each cube has its own buffer: find whose is whose by moving one out of view.
  RunCommand(kPositionObject, {3, 0.0f, 0.0f, -40.0f});
  const std::vector<uint32_t> withoutThree = DrawnBuffers();
  RunCommand(kPositionObject, {2, 0.0f, 0.0f, -40.0f});
  const std::vector<uint32_t> onlyOne = DrawnBuffers();
  ASSERT_EQ(onlyOne.size(), 1u);
  const uint32_t one = onlyOne[0];
  const uint32_t two = withoutThree[0] == one ? withoutThree[1] : withoutThree[0];
  EXPECT_NE(first[0], one);
  EXPECT_NE(first[0], two);             // the farthest (3) first
  EXPECT_EQ(first[1], two);             // then of the equal pair the later one
  EXPECT_EQ(first[2], one);
}

// Draw-last objects go near to far and locked ones by their z, farthest first; of equal keys
// draw-last takes the later object first, locked the earlier one.
TEST_F(RenderTest, DrawLastAndLockedOrdersOnEqualKeys) {
  const struct {
    int command;
    std::initializer_list<int> order;  // objects in draw order, objects 1 and 2 at equal keys
  } passes[] = {{kSetObjectDrawLast, {2, 1, 3}}, {kLockObjectOn, {3, 1, 2}}};
  for (const auto& pass : passes) {
    SCOPED_TRACE(testing::Message() << "command " << pass.command);
    // Each object is told by its x: -3, 3 and 0.
    for (int number = 1; number <= 3; ++number) {
      RunCommand(kMakeObjectCube, {number, 2.0f});
      if (pass.command == kSetObjectDrawLast)
        RunCommand(kSetObjectDrawLast, {number, 1});
      else
        RunCommand(kLockObjectOn, {number});
    }
    RunCommand(kPositionObject, {1, -3.0f, 0.0f, 20.0f});
    RunCommand(kPositionObject, {2, 3.0f, 0.0f, 20.0f});
    RunCommand(kPositionObject, {3, 0.0f, 0.0f, 40.0f});
    DrawnBuffers();
    std::vector<int> drawn;
    for (const Device3dRecordedCall& call : Device3dRecordedCalls())
      if (call.op == Device3dOp::kDrawIndexedPrimitiveVB) drawn.push_back(call.values[12] < -1 ? 1 : call.values[12] > 1 ? 2 : 3);
    EXPECT_EQ(drawn, std::vector<int>(pass.order));
    for (int number = 1; number <= 3; ++number) RunCommand(kDeleteObject, {number});
  }
}

TEST_F(RenderTest, LockedEntitiesNeedAPositiveZAndSetTheirOwnView) {
  RunCommand(kMakeObjectCube, {1, 1.0f});
  RunCommand(kLockObjectOn, {1});
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 0.0f});
  EXPECT_EQ(DrawnBuffers().size(), 0u);
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 5.0f});
  RunCommand(kPositionCamera, {0.0f, 0.0f, 500.0f});  // the camera no longer sees the place
  EXPECT_EQ(DrawnBuffers().size(), 1u);
  // Projection and viewport are set for the pass and put back after it.
  EXPECT_EQ(Calls(Device3dOp::kSetTransform, static_cast<uint32_t>(Device3dTransform::kProjection)), 2u);
  EXPECT_EQ(Device3dRecordCount(Device3dOp::kSetViewport), 2u);
  const auto& calls = Device3dRecordedCalls();
  bool flatDepth = false;
  for (const Device3dRecordedCall& call : calls)
    if (call.op == Device3dOp::kSetViewport && call.values[0] == 0.0f && call.values[1] == 0.0f) flatDepth = true;
  EXPECT_TRUE(flatDepth);
}

// Glued objects draw under the world of the limb they are glued to: object 2 sits 5 along its
// parent's z, which a quarter turn about y sends along x; object 3 rides on object 2.
TEST_F(RenderTest, GluedObjectsDrawInTheirParentsLimbWorld) {
  RunCommand(kMakeObjectCube, {1, 1.0f});
  RunCommand(kMakeObjectCube, {2, 1.0f});
  RunCommand(kMakeObjectCube, {3, 1.0f});
  RunCommand(kPositionObject, {1, 10.0f, 0.0f, 20.0f});
  RunCommand(kRotateObject, {1, 0.0f, 90.0f, 0.0f});
  RunCommand(kPositionObject, {2, 0.0f, 0.0f, 5.0f});
  RunCommand(kPositionObject, {3, 0.0f, 1.0f, 0.0f});
  RunCommand(kGlueObjectToLimb, {2, 1, 0});
  RunCommand(kGlueObjectToLimb, {3, 2, 0});
  ASSERT_EQ(TakeError(), 0);
  // Where each object's mesh lands: the translation of the world matrix it is drawn under.
  auto drawnPlaces = [this] {
    DrawnBuffers();
    std::vector<std::vector<float>> places;
    for (const Device3dRecordedCall& call : Device3dRecordedCalls())
      if (call.op == Device3dOp::kDrawIndexedPrimitiveVB) places.push_back({call.values[12], call.values[13], call.values[14]});
    std::sort(places.begin(), places.end());
    return places;
  };
  auto expectPlaces = [](const std::vector<std::vector<float>>& got, const std::vector<std::vector<float>>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[i][k], want[i][k], 1e-3) << i << "," << k;
  };
  expectPlaces(drawnPlaces(), {{10, 0, 20}, {15, 0, 20}, {15, 1, 20}});
  // Moving or turning the parent carries the glued ones along.
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 20.0f});
  expectPlaces(drawnPlaces(), {{0, 0, 20}, {5, 0, 20}, {5, 1, 20}});
  RunCommand(kYRotateObject, {1, 0.0f});
  expectPlaces(drawnPlaces(), {{0, 0, 20}, {0, 0, 25}, {0, 1, 25}});
  RunCommand(kPositionObject, {1, 10.0f, 0.0f, 20.0f});
  RunCommand(kYRotateObject, {1, 90.0f});
  expectPlaces(drawnPlaces(), {{10, 0, 20}, {15, 0, 20}, {15, 1, 20}});
  RunCommand(kUnglueObject, {2});
  expectPlaces(drawnPlaces(), {{0, 0, 5}, {0, 1, 5}, {10, 0, 20}});
  // Deleting the parent lets its glued object go.
  RunCommand(kDeleteObject, {2});
  expectPlaces(drawnPlaces(), {{0, 1, 0}, {10, 0, 20}});

  ExpectErrors({
      {kGlueObjectToLimb, {3, 1, 1}, 7010},  // a made object has limb 0 only
      {kGlueObjectToLimb, {3, 3, 0}, 7010},  // not to itself
      {kGlueObjectToLimb, {3, 2, 0}, 7008},
      {kUnglueObject, {0}, 7006},
  });
  RunCommand(kGlueObjectToLimb, {1, 3, 0});
  RunCommand(kGlueObjectToLimb, {3, 1, 0});  // would close a loop
  EXPECT_EQ(TakeError(), 7010);
}

// Each command that moves, turns or scales an object is drawn at the next frame: the world
// matrix of the draw is the placement of the object's current values.
TEST_F(RenderTest, EveryPlacingCommandIsDrawnAtTheNextFrame) {
  RunCommand(kMakeObjectCube, {1, 1.0f});
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 20.0f});
  const struct {
    int command;
    std::initializer_list<Arg> args;
  } cases[] = {
      {kPositionObject, {1, 2.0f, 1.0f, 25.0f}}, {kRotateObject, {1, 10.0f, 20.0f, 30.0f}},
      {kScaleObject, {1, 50.0f, 100.0f, 200.0f}}, {kPointObject, {1, 5.0f, 5.0f, 40.0f}},
      {kMoveObject, {1, 2.0f}},                  {kXRotateObject, {1, 45.0f}},
      {kYRotateObject, {1, 60.0f}},              {kZRotateObject, {1, 75.0f}},
      {kTurnObjectLeft, {1, 15.0f}},             {kTurnObjectRight, {1, 40.0f}},
  };
  auto drawnWorld = [this] {
    DrawnBuffers();
    for (const Device3dRecordedCall& call : Device3dRecordedCalls())
      if (call.op == Device3dOp::kDrawIndexedPrimitiveVB) return std::vector<float>(call.values, call.values + 16);
    return std::vector<float>();
  };
  std::vector<float> before = drawnWorld();
  for (const auto& change : cases) {
    SCOPED_TRACE(testing::Message() << "command " << change.command);
    RunCommand(change.command, change.args);
    ASSERT_EQ(TakeError(), 0);
    const std::vector<float> drawn = drawnWorld();
    ASSERT_EQ(drawn.size(), 16u);
    const ObjectRecord* object = ObjectAt(ObjectSlotForNumber(1));
    const float* p = SpriteAt(object->entity)->position3D;
    Matrix4 expected;
    MatrixFromPlacement(expected, p[0], p[1], p[2], object->angles[0], object->angles[1], object->angles[2],
                        object->scale[0], object->scale[1], object->scale[2], object->rotationOrder);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(drawn[static_cast<size_t>(i)], expected.m[i / 4][i % 4], 1e-5f) << i;
    EXPECT_NE(drawn, before);
    before = drawn;
  }
}

// The solid pass draws texture by texture, nearest texture first, each texture set once with
// all the objects that show it; copies share their source's meshes, so recolouring one of
// them recolours both.
TEST_F(RenderTest, ObjectsAreDrawnTextureByTexture) {
  // Objects 1, 4 (and the copy of 1) at 20, 3 and 6 at 30, 2 and 5 at 40: a colour per group.
  const float depth[3] = {30.0f, 20.0f, 40.0f};
  for (int number = 1; number <= 6; ++number) {
    RunCommand(kMakeObjectCube, {number, 1.0f});
    RunCommand(kColorObject, {number, 0x102030 * (number % 3 + 1)});
    RunCommand(kPositionObject, {number, static_cast<float>(number) * 2.0f - 7.0f, 0.0f, depth[number % 3]});
  }
  RunCommand(kDuplicateObject, {1, 7});
  RunCommand(kPositionObject, {7, 0.0f, 3.0f, depth[1]});
  // The draws of one frame: (texture, draws with it) in order, and how often a texture was set.
  auto groups = [this](size_t& textureSets) {
    DrawnBuffers();
    std::vector<std::pair<uint32_t, int>> drawn;
    textureSets = 0;
    for (const Device3dRecordedCall& call : Device3dRecordedCalls()) {
      textureSets += call.op == Device3dOp::kSetTexture;
      if (call.op != Device3dOp::kDrawIndexedPrimitiveVB) continue;
      if (drawn.empty() || drawn.back().first != call.args[4]) drawn.emplace_back(call.args[4], 0);
      ++drawn.back().second;
    }
    return drawn;
  };
  size_t sets = 0;
  auto drawn = groups(sets);
  ASSERT_EQ(drawn.size(), 3u);
  EXPECT_EQ(sets, 3u);
  EXPECT_EQ(drawn[0].second, 3);
  EXPECT_EQ(drawn[1].second, 2);
  EXPECT_EQ(drawn[2].second, 2);
  const uint32_t colourOfThree = drawn[1].first;

  // Recolouring the copy recolours object 1 too: both join objects 3 and 6, whose mean key
  // now lies behind object 4's.
  RunCommand(kColorObject, {7, 0x102030});
  drawn = groups(sets);
  ASSERT_EQ(drawn.size(), 3u);
  EXPECT_EQ(drawn[0].second, 1);
  EXPECT_EQ(drawn[1].first, colourOfThree);
  EXPECT_EQ(drawn[1].second, 4);
  EXPECT_EQ(drawn[2].second, 2);
  RunCommand(kDeleteObject, {4});
  drawn = groups(sets);
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(sets, 2u);
  EXPECT_EQ(drawn[0].second, 4);
  EXPECT_EQ(drawn[1].second, 2);
  EXPECT_EQ(TakeError(), 0);
}

namespace {

// A state's value in force at the last draw of everything recorded so far (states the cache
// did not send again keep the value of an earlier frame).
uint32_t StateAtLastDraw(Device3dState state) {
  uint32_t value = ~0u, atDraw = ~0u;
  for (const Device3dRecordedCall& call : Device3dRecordedCalls()) {
    if (call.op == Device3dOp::kSetRenderState && call.args[0] == static_cast<uint32_t>(state)) value = call.args[1];
    if (call.op == Device3dOp::kDrawIndexedPrimitiveVB) atDraw = value;
  }
  return atDraw;
}

}  // namespace

// Each object switch decides a device state of the object's own draw, in the next frame,
// and switching it back gives the first value again.
TEST_F(RenderTest, ObjectSwitchesDecideTheStatesOfTheirDraw) {
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 20.0f});
  RunCommand(kFogOn, {});
  const struct {
    int command;
    Device3dState state;
    int32_t off, on;
    uint32_t whenOff, whenOn;
  } switches[] = {
      {kSetObjectCull, Device3dState::kCullMode, 0, 1, kCullNone, kCullCcw},
      {kSetObjectFog, Device3dState::kFogEnable, 0, 1, 0, 1},
      {kSetObjectTransparency, Device3dState::kColorKeyEnable, 0, 1, 0, 1},
      {kSetObjectWireframe, Device3dState::kFillMode, 0, 1, kFillSolid, kFillWireframe},
  };
  for (const auto& s : switches) {
    for (int round = 0; round < 2; ++round) {
      RunCommand(s.command, {1, s.on});
      RenderScene3D();
      EXPECT_EQ(StateAtLastDraw(s.state), s.whenOn) << s.command;
      RunCommand(s.command, {1, s.off});
      RenderScene3D();
      EXPECT_EQ(StateAtLastDraw(s.state), s.whenOff) << s.command;
    }
  }
  // Filtering smooths the object's textures; switched off, their pixels are sampled.
  RunCommand(kSetObjectFilter, {1, 1});
  RenderScene3D();
  EXPECT_EQ(Device3dRecordedStageState(Device3dStageState::kMagFilter), kFilterLinear);
  RunCommand(kSetObjectFilter, {1, 0});
  RenderScene3D();
  EXPECT_EQ(Device3dRecordedStageState(Device3dStageState::kMagFilter), kFilterPoint);
  // Ghosting blends the draw; switched off the object is solid again.
  RunCommand(kGhostObjectOn, {1, 0});
  RenderScene3D();
  EXPECT_EQ(StateAtLastDraw(Device3dState::kAlphaBlendEnable), 1u);
  RunCommand(kGhostObjectOff, {1});
  RenderScene3D();
  EXPECT_EQ(StateAtLastDraw(Device3dState::kAlphaBlendEnable), 0u);
  // Normals are made unit length again unless switched off, for every object.
  RunCommand(kNormalizeNormalsOff, {});
  RenderScene3D();
  EXPECT_EQ(StateAtLastDraw(Device3dState::kNormalizeNormals), 0u);
  RunCommand(kNormalizeNormalsOn, {});
  RenderScene3D();
  EXPECT_EQ(StateAtLastDraw(Device3dState::kNormalizeNormals), 1u);
  // A hidden object is not drawn; shown again, it is.
  RunCommand(kHideObject, {1});
  EXPECT_EQ(IntValue(kObjectVisible, {1}), 0);
  EXPECT_TRUE(DrawnBuffers().empty());
  RunCommand(kShowObject, {1});
  EXPECT_EQ(IntValue(kObjectVisible, {1}), 1);
  EXPECT_EQ(DrawnBuffers().size(), 1u);
  EXPECT_EQ(TakeError(), 0);
  ExpectErrors({{kShowObject, {2}, 7008}, {kGhostObjectOff, {0}, 7006}, {kSetObjectCull, {2, 1}, 7008},
                {kSetObjectFilter, {70000, 1}, 7006}, {kSetObjectLight, {2, 0}, 7008}});
}

// Lighting of an object: lit objects take the ambient share of the material, unlit ones none,
// and the ambient light's colour goes to the device at once.
TEST_F(RenderTest, AmbientLightAndTheObjectLightSwitch) {
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 20.0f});
  RunCommand(kSetAmbientLight, {30});
  EXPECT_EQ(TakeError(), 0);
  RenderScene3D();
  EXPECT_NEAR(Device3dRecordedMaterial().ambient.r, 0.3f, 1e-6);
  EXPECT_NEAR(Device3dRecordedMaterial().diffuse.r, 0.7f, 1e-6);
  RunCommand(kSetObjectLight, {1, 0});
  RenderScene3D();
  EXPECT_EQ(Device3dRecordedMaterial().ambient.r, 0.0f);
  EXPECT_EQ(Device3dRecordedMaterial().diffuse.r, 1.0f);
  RunCommand(kSetObjectLight, {1, 1});
  RenderScene3D();
  EXPECT_NEAR(Device3dRecordedMaterial().ambient.r, 0.3f, 1e-6);
  RunCommand(kSetAmbientLight, {101});
  EXPECT_EQ(TakeError(), 110);
  RunCommand(kColorAmbientLight, {0x102030});
  const std::vector<Device3dRecordedCall>& calls = Device3dRecordedCalls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().op, Device3dOp::kSetRenderState);
  EXPECT_EQ(calls.back().args[0], static_cast<uint32_t>(Device3dState::kAmbient));
  EXPECT_EQ(calls.back().args[1], 0x102030u);
}

// The backdrop clears the picture with its colour before the scene; switched off, a frame
// clears nothing but depth.
TEST_F(RenderTest, BackdropOffLeavesThePicture) {
  auto targetClears = [] {
    Device3dRecordClearCalls();
    RenderBackdrop();
    RenderScene3D();
    size_t count = 0;
    for (const Device3dRecordedCall& call : Device3dRecordedCalls())
      count += call.op == Device3dOp::kClear && (call.args[0] & kClearTarget) != 0;
    return count;
  };
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kBackdropOn, {});
  RunCommand(kColorBackdrop, {0x336699});
  EXPECT_EQ(targetClears(), 1u);
  RunCommand(kBackdropOff, {});
  EXPECT_EQ(targetClears(), 0u);
  RunCommand(kBackdropOn, {});
  EXPECT_EQ(targetClears(), 1u);
}

// The backdrop object is drawn first, depth off, whatever the camera does (here it turned its
// back on it), and never again in the scene; with the backdrop off it is not drawn at all.
TEST_F(RenderTest, BackdropObjectDrawsFirstAndOnlyAsTheBackdrop) {
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 20.0f});
  const std::vector<uint32_t> alone = DrawnBuffers();
  ASSERT_EQ(alone.size(), 1u);
  RunCommand(kMakeObjectCube, {2, 2.0f});
  RunCommand(kPositionObject, {2, 0.0f, 0.0f, -20.0f});
  RunCommand(kYRotateCamera, {180.0f});
  ExpectErrors({{kSetBackdropObject, {3}, 7008}, {kSetBackdropObject, {70000}, 7006},
                {kSetBackdropObject, {1}, 0}, {kBackdropOn, {}, 0}});
  auto frame = [] {
    Device3dRecordClearCalls();
    RenderBackdrop();
    RenderScene3D();
    std::vector<Device3dRecordedCall> calls(Device3dRecordedCalls().begin(), Device3dRecordedCalls().end());
    return calls;
  };
  std::vector<uint32_t> drawn;
  bool depthOffBeforeFirstDraw = false;
  for (const Device3dRecordedCall& call : frame()) {
    if (call.op == Device3dOp::kSetRenderState && call.args[0] == static_cast<uint32_t>(Device3dState::kZEnable))
      depthOffBeforeFirstDraw = drawn.empty() ? call.args[1] == 0 : depthOffBeforeFirstDraw;
    if (call.op == Device3dOp::kDrawIndexedPrimitiveVB) drawn.push_back(call.args[0]);
  }
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn[0], alone[0]);
  EXPECT_NE(drawn[1], alone[0]);
  EXPECT_TRUE(depthOffBeforeFirstDraw);
  RunCommand(kBackdropOff, {});
  const std::vector<uint32_t> without = DrawnBuffers();
  ASSERT_EQ(without.size(), 1u);
  EXPECT_NE(without[0], alone[0]);
  // Deleted, the object stops being the backdrop: a new object of its number is drawn as any.
  RunCommand(kBackdropOn, {});
  RunCommand(kDeleteObject, {1});
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, -30.0f});
  EXPECT_EQ(DrawnBuffers().size(), 2u);
}

// Stage 1 moves the scene from the frame's start (under the 2D drawing) to its end (over it).
TEST_F(RenderTest, RenderStageChoosesWhenTheSceneIsDrawn) {
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 20.0f});
  auto drawsAt = [](int stage) {
    Device3dRecordClearCalls();
    RenderScene3DIfOn(stage);
    return Device3dRecordCount(Device3dOp::kDrawIndexedPrimitiveVB);
  };
  EXPECT_EQ(drawsAt(0), 1u);
  EXPECT_EQ(drawsAt(1), 0u);
  ExpectErrors({{kSetRenderStage, {2}, 110}, {kSetRenderStage, {-1}, 110}, {kSetRenderStage, {1}, 0}});
  EXPECT_EQ(drawsAt(0), 0u);
  EXPECT_EQ(drawsAt(1), 1u);
}
