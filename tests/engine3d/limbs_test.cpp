// Limbs and free rotation: the number checks of both families, a loaded airplane's limbs
// queried, turned, hidden and linked, added limbs and the textures they hold, objects turned
// about their own axes (the light that takes their orientation too), rotation orders, a fixed
// pivot, and limbs that are hidden or kept out of collisions.
#include "engine3d/engine3d_local.h"
#include "graphics2d/graphics2d.h"
#include "models/models.h"
#include "tests/engine3d/engine_harness.h"
#include "tests/models/fixtures.h"

#include <cmath>
#include <filesystem>
#include <fstream>

namespace {

class LimbsTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    RunCommand(kAutoCameraOff, {});
  }
  // An airplane: "plane" (limb 1) holds the fuselage, then "wing" (2), "propeller" (3) at the
  // nose and "pod" (4) below; each frame holds one triangle.
  std::string WritePlane() {
    const std::string path = folder.Path("plane.x");
    const char* triangle = "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;; }\n";
    std::ofstream(path) << "xof 0302txt 0032\n"
                        << "Frame plane {\n" << triangle
                        << "  Frame wing { " << triangle << " }\n"
                        << "  Frame propeller {\n"
                           "    FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,5,1;; }\n"
                        << triangle << "  }\n"
                        << "  Frame pod {\n"
                           "    FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,-3,0,1;; }\n"
                        << triangle << "  }\n"
                        << "}\n";
    return path;
  }
  // Makes mesh 1 from a box of the size (the object used for it goes again).
  static void MakeBoxMesh(float size) {
    RunCommand(kMakeObjectBox, {99, size, size, size});
    RunCommand(kMakeMeshFromObject, {1, 99});
    RunCommand(kDeleteObject, {99});
  }
  static Vector3 Position(int object) {
    return Vector3{FloatValue(kObjectPositionX, {object}), FloatValue(kObjectPositionY, {object}),
                   FloatValue(kObjectPositionZ, {object})};
  }
  static Vector3 LimbPosition(int object, int limb) {
    return Vector3{FloatValue(kLimbPositionX, {object, limb}), FloatValue(kLimbPositionY, {object, limb}),
                   FloatValue(kLimbPositionZ, {object, limb})};
  }
  static size_t DrawsOfFrame() {
    Device3dRecordClearCalls();
    RenderScene3D();
    return Device3dRecordCount(Device3dOp::kDrawIndexedPrimitiveVB);
  }
  const TempFolder folder;
};

void ExpectNear(const Vector3& got, float x, float y, float z, const char* what) {
  EXPECT_NEAR(got.x, x, 1e-3f) << what;
  EXPECT_NEAR(got.y, y, 1e-3f) << what;
  EXPECT_NEAR(got.z, z, 1e-3f) << what;
}

}  // namespace

// Every command of the two families raises the object number errors first, then its own; the
// operand pointer passes every operand on each path (checked by RunCommand).
TEST_F(LimbsTest, NumberChecksOfTheLimbAndRotationFamilies) {
  RunCommand(kMakeObjectCube, {1, 2.0f});
  MakeBoxMesh(1.0f);
  const std::initializer_list<Arg> noObject[] = {{0, 1, 1}, {9, 1, 1}};
  for (const auto& args : noObject) {
    const int expected = args.begin()->i == 0 ? 7006 : 7008;
    const int object = args.begin()->i;
    ExpectErrors({
        {kAddLimb, {object, 1, 1}, expected},           {kAddLimbTextured, {object, 1, 1, 1}, expected},
        {kLinkLimb, {object, 1, 0}, expected},          {kHideLimb, {object, 0}, expected},
        {kShowLimb, {object, 0}, expected},             {kOffsetLimb, {object, 0, 1.0f, 1.0f, 1.0f}, expected},
        {kRotateLimb, {object, 0, 1.0f, 1.0f, 1.0f}, expected}, {kScaleLimb, {object, 0, 1.0f, 1.0f, 1.0f}, expected},
        {kXRotateLimb, {object, 0, 1.0f}, expected},    {kYRotateLimb, {object, 0, 1.0f}, expected},
        {kZRotateLimb, {object, 0, 1.0f}, expected},    {kTextureLimb, {object, 0, 1}, expected},
        {kColorLimb, {object, 0, 255}, expected},       {kCopyLimbTexture, {object, 0, 1, 0}, expected},
        {kSaveLimbTexture, {"t.bmp", object, 0}, expected}, {kScrollLimbTexture, {object, 0, 0.5f, 0.5f}, expected},
        {kScrollObjectTexture, {object, 0.5f, 0.5f}, expected}, {kScaleLimbTexture, {object, 0, 2.0f, 2.0f}, expected},
        {kScaleObjectTexture, {object, 2.0f, 2.0f}, expected}, {kChangeMesh, {object, 0, 1}, expected},
        {kScaleObjectNormals, {object, 100}, expected}, {kSetLimbCollision, {object, 0, 0}, expected},
        {kPitchObjectUp, {object, 10.0f}, expected},    {kPitchObjectDown, {object, 10.0f}, expected},
        {kRollObjectLeft, {object, 10.0f}, expected},   {kRollObjectRight, {object, 10.0f}, expected},
        {kYawObjectLeft, {object, 10.0f}, expected},    {kYawObjectRight, {object, 10.0f}, expected},
        {kSetObjectRotationXyz, {object}, expected},    {kSetObjectRotationZyx, {object}, expected},
        {kSetObjectToObjectOrientation, {object, 1}, expected}, {kSetObjectToObjectOrientation, {1, object}, expected},
        {kFixObjectPivot, {object}, expected},          {kSetObjectCollisionToBoxes, {object}, expected},
        {kSetObjectCollisionToPolygons, {object}, expected},
    });
    for (int query : {kLimbExist, kLimbPositionX, kLimbPositionY, kLimbPositionZ, kLimbAngleX, kLimbAngleY,
                      kLimbAngleZ, kLimbOffsetX, kLimbOffsetY, kLimbOffsetZ, kLimbTexture})
      ExpectErrors({{query, {-1, object, 0}, expected}});
    TextValue(kLimbName, {object, 0});
    EXPECT_EQ(TakeError(), expected);
    TextValue(kLimbTextureName, {object, 0});
    EXPECT_EQ(TakeError(), expected);
  }
  // A cube has limb 0 alone: limb 1 does not exist (7019), and limb numbers below 1 or above
  // 65535 cannot be added (7010).
  ExpectErrors({
      {kHideLimb, {1, 1}, 7019},                   {kOffsetLimb, {1, -1, 1.0f, 1.0f, 1.0f}, 7019},
      {kZRotateLimb, {1, 1, 1.0f}, 7019},          {kTextureLimb, {1, 1, 1}, 7019},
      {kLinkLimb, {1, 0, 1}, 7019},                {kLimbPositionX, {-1, 1, 1}, 7019},
      {kLimbExist, {-1, 1, 1}, 0},                 {kAddLimb, {1, 0, 1}, 7010},
      {kAddLimb, {1, 65536, 1}, 7010},             {kAddLimb, {1, 1, 0}, 7001},
      {kAddLimb, {1, 1, 5}, 7003},                 {kAddLimbTextured, {1, 1, 1, 0}, 501},
      {kAddLimbTextured, {1, 1, 1, 7}, 502},       {kAddLimb, {1, 2, 1}, 0},
      {kAddLimb, {1, 2, 1}, 7011},                 {kChangeMesh, {1, 2, 65535}, 7001},
      {kChangeMesh, {1, 2, 4}, 7003},              {kTextureLimb, {1, 2, 0}, 501},
      {kTextureLimb, {1, 2, 3}, 502},              {kSaveLimbTexture, {folder.Path("t.bmp").c_str(), 1, 2}, 7014},
      {kLinkLimb, {1, 2, 0}, 7012},                {kLinkLimb, {1, 0, 2}, 7012},
      {kLinkLimb, {1, 2, 2}, 7012},                {kLimbExist, {-1, 1, 2}, 0},
  });
  EXPECT_EQ(IntValue(kLimbExist, {1, 2}), 1);
  EXPECT_EQ(IntValue(kLimbExist, {1, 1}), 0);  // a gap below an added limb
}

// The airplane's frames are its limbs: named, offset as loaded, placed in the world through
// the object and the limbs above them. A turned propeller stays where it is; a pod linked
// under the wing turns with the wing; hidden limbs are not drawn.
TEST_F(LimbsTest, ALoadedModelsLimbsAreQueriedTurnedLinkedAndHidden) {
  RunCommand(kLoadObject, {WritePlane().c_str(), 1});
  ASSERT_EQ(TakeError(), 0);
  EXPECT_EQ(TextValue(kLimbName, {1, 3}), "propeller");
  EXPECT_EQ(IntValue(kLimbExist, {1, 4}), 1);
  EXPECT_EQ(IntValue(kLimbExist, {1, 5}), 0);
  EXPECT_EQ(FloatValue(kLimbOffsetZ, {1, 3}), 5.0f);
  EXPECT_EQ(FloatValue(kLimbOffsetY, {1, 4}), -3.0f);

  RunCommand(kPositionObject, {1, 10.0f, 0.0f, 0.0f});
  RunCommand(kRotateObject, {1, 0.0f, 30.0f, 0.0f});  // the nose turns 30 degrees right
  ExpectNear(LimbPosition(1, 3), 12.5f, 0.0f, 4.3301f, "propeller at the nose");
  EXPECT_NEAR(FloatValue(kLimbAngleY, {1, 3}), 30.0f, 1e-3f);

  RunCommand(kZRotateLimb, {1, 3, 90.0f});
  ExpectNear(LimbPosition(1, 3), 12.5f, 0.0f, 4.3301f, "a spinning propeller stays");
  EXPECT_NEAR(FloatValue(kLimbAngleZ, {1, 3}), 90.0f, 1e-3f);
  EXPECT_NEAR(FloatValue(kLimbAngleY, {1, 3}), 30.0f, 1e-3f);
  RunCommand(kOffsetLimb, {1, 3, 0.0f, 1.0f, 5.0f});
  EXPECT_EQ(FloatValue(kLimbOffsetY, {1, 3}), 1.0f);
  ExpectNear(LimbPosition(1, 3), 12.5f, 1.0f, 4.3301f, "offset limb");

  // The pod hangs under the wing from now on: turning the wing swings it round.
  RunCommand(kRotateObject, {1, 0.0f, 0.0f, 0.0f});
  RunCommand(kLinkLimb, {1, 4, 2});
  ASSERT_EQ(TakeError(), 0);
  ExpectNear(LimbPosition(1, 4), 10.0f, -3.0f, 0.0f, "linked pod before the wing turns");
  RunCommand(kZRotateLimb, {1, 2, 90.0f});
  ExpectNear(LimbPosition(1, 4), 13.0f, 0.0f, 0.0f, "the pod goes round with the wing");
  ExpectNear(LimbPosition(1, 3), 10.0f, 1.0f, 5.0f, "the propeller does not");
  // The wing cannot go under the pod now hanging under it.
  RunCommand(kLinkLimb, {1, 2, 4});
  EXPECT_EQ(TakeError(), 7012);

  const size_t all = DrawsOfFrame();
  RunCommand(kHideLimb, {1, 3});
  EXPECT_EQ(DrawsOfFrame(), all - 1);
  RunCommand(kShowLimb, {1, 3});
  EXPECT_EQ(DrawsOfFrame(), all);
  EXPECT_EQ(TakeError(), 0);
}

// Added limbs and limb textures: every texture a limb was given is let go when it is replaced
// or its objects go, copies sharing the model included.
TEST_F(LimbsTest, AddedLimbsAndTheTexturesTheyHold) {
  const int32_t textures = LiveTextureCount();
  MakeBoxMesh(4.0f);
  RunCommand(kMakeObjectCube, {1, 1.0f});
  RunCommand(kAddLimb, {1, 3, 1});
  EXPECT_EQ(TextValue(kLimbName, {1, 3}), "userframe");
  EXPECT_EQ(TextValue(kLimbTextureName, {1, 3}), "Default");
  EXPECT_NEAR(FloatValue(kObjectSizeX, {1}), 4.0f, 1e-3f);  // the bounds take the new limb in

  RunCommand(kColorLimb, {1, 3, 0x00FF00});
  RunCommand(kColorLimb, {1, 0, 0xFF0000});
  EXPECT_EQ(LiveTextureCount(), textures + 2);
  RunCommand(kColorLimb, {1, 0, 0x0000FF});  // the red one goes
  EXPECT_EQ(LiveTextureCount(), textures + 2);
  RunCommand(kDuplicateObject, {1, 2});
  RunCommand(kMakeObjectCube, {3, 1.0f});
  RunCommand(kCopyLimbTexture, {3, 0, 1, 3});
  const std::string saved = folder.Path("green.bmp");
  RunCommand(kSaveLimbTexture, {saved.c_str(), 3, 0});
  EXPECT_TRUE(std::filesystem::exists(saved));
  // A save that fails names the file and why.
  const std::string nowhere = folder.Path("none/green.bmp");
  RunCommand(kSaveLimbTexture, {nowhere.c_str(), 3, 0});
  EXPECT_EQ(TakeError(), 7014);
  EXPECT_EQ(std::string(LastEngineError()), "cannot write " + nowhere + ": No such file or directory");
  RunCommand(kDeleteObject, {1});
  EXPECT_EQ(LiveTextureCount(), textures + 2);  // the copy and object 3 still show them
  RunCommand(kDeleteObject, {2});
  EXPECT_EQ(LiveTextureCount(), textures + 1);
  RunCommand(kDeleteObject, {3});
  EXPECT_EQ(LiveTextureCount(), textures);

  // A limb added with an image shows it; texture object later covers every limb.
  RunCommand(kMakeObjectCube, {4, 1.0f});
  RunCommand(kImageGet, {5, 0, 0, 4, 4});
  RunCommand(kAddLimbTextured, {4, 1, 1, 5});
  EXPECT_EQ(IntValue(kLimbTexture, {4, 1}), 5);
  EXPECT_EQ(IntValue(kLimbTexture, {4, 0}), 0);
  RunCommand(kTextureObject, {4, 5});
  EXPECT_EQ(IntValue(kLimbTexture, {4, 0}), 5);
  RunCommand(kChangeMesh, {4, 1, 1});
  RunCommand(kScrollLimbTexture, {4, 1, 0.5f, 0.0f});
  RunCommand(kScaleObjectTexture, {4, 2.0f, 2.0f});
  RunCommand(kScaleObjectNormals, {4, 50});
  RunCommand(kDeleteObject, {4});
  EXPECT_EQ(LiveTextureCount(), textures);
  EXPECT_EQ(TakeError(), 0);
}

// Free rotation turns about the object's own axes whatever way it faces; its angles follow,
// move object goes the way its nose points, and a light takes the orientation from the own
// matrix. Another object can take the whole orientation.
TEST_F(LimbsTest, FreeRotationTurnsAboutTheObjectsOwnAxes) {
  RunCommand(kMakeObjectCube, {1, 1.0f});
  RunCommand(kPitchObjectUp, {1, 90.0f});
  EXPECT_NEAR(FloatValue(kObjectAngleX, {1}), 270.0f, 1e-3f);
  RunCommand(kMoveObject, {1, 10.0f});
  ExpectNear(Position(1), 0.0f, 10.0f, 0.0f, "nose up, then forward");

  // Facing up, a yaw to the right turns about the object's own up axis (the world's -z):
  // the nose comes round to +x. A change of the y angle alone would not move it.
  RunCommand(kYawObjectRight, {1, 90.0f});
  RunCommand(kMoveObject, {1, 10.0f});
  ExpectNear(Position(1), 10.0f, 10.0f, 0.0f, "yawed right while facing up");
  // A roll about the nose brings the object's top back up (+y); nose down then points at -y.
  RunCommand(kRollObjectLeft, {1, 90.0f});
  RunCommand(kPitchObjectDown, {1, 90.0f});
  RunCommand(kMoveObject, {1, 10.0f});
  ExpectNear(Position(1), 10.0f, 0.0f, 0.0f, "rolled left, then nose down");

  // The light's direction comes from the own matrix.
  RunCommand(kMakeLight, {1});
  RunCommand(kSetLightToObjectOrientation, {1, 1});
  EXPECT_NEAR(FloatValue(kLightDirectionY, {1}), -1.0f, 1e-3f);

  // Another object takes the orientation; rotate object ends free rotation.
  RunCommand(kMakeObjectCube, {2, 1.0f});
  RunCommand(kSetObjectToObjectOrientation, {2, 1});
  RunCommand(kMoveObject, {2, 1.0f});
  ExpectNear(Position(2), 0.0f, -1.0f, 0.0f, "the copied orientation");
  RunCommand(kRotateObject, {1, 0.0f, 0.0f, 0.0f});
  EXPECT_EQ(ObjectAt(ObjectSlotForNumber(1))->ownMatrixFlag, 0);
  RunCommand(kMakeObjectCube, {3, 1.0f});
  RunCommand(kRollObjectRight, {3, 30.0f});
  EXPECT_NEAR(FloatValue(kObjectAngleZ, {3}), 330.0f, 1e-3f);
  EXPECT_EQ(TakeError(), 0);
}

// The rotation order decides the turn the angles make; move object and point object follow
// it. Fixing the pivot keeps the pose with the angles back at 0.
TEST_F(LimbsTest, RotationOrderAndFixedPivot) {
  RunCommand(kMakeObjectCube, {1, 1.0f});
  RunCommand(kMakeObjectCube, {2, 1.0f});
  RunCommand(kSetObjectRotationXyz, {2});
  for (int object : {1, 2}) {
    RunCommand(kRotateObject, {object, 90.0f, 90.0f, 0.0f});
    RunCommand(kMoveObject, {object, 1.0f});
  }
  // z first (the default): the y turn brings the nose to +x, the x turn about the world's x
  // axis then leaves it there.
  ExpectNear(Position(1), 1.0f, 0.0f, 0.0f, "zyx");
  // x first: the nose tips down to -y, and the y turn leaves it there.
  ExpectNear(Position(2), 0.0f, -1.0f, 0.0f, "xyz");
  Matrix4 placed;
  ObjectAt(ObjectSlotForNumber(2))->model->GetModelFrameMatrix(0, placed);
  EXPECT_NEAR(placed.m[2][1], -1.0f, 1e-5f);  // the model's +z axis drawn along -y
  for (int object : {1, 2}) {
    RunCommand(kPositionObject, {object, 0.0f, 0.0f, 0.0f});
    RunCommand(kPointObject, {object, 3.0f, 4.0f, 12.0f});
    RunCommand(kMoveObject, {object, 13.0f});
    ExpectNear(Position(object), 3.0f, 4.0f, 12.0f, "point, then move to the point");
  }
  // A freely rotated object keeps its pose when the order changes; its angles are read again.
  RunCommand(kPitchObjectUp, {2, 30.0f});
  RunCommand(kSetObjectRotationZyx, {2});
  RunCommand(kPositionObject, {2, 0.0f, 0.0f, 0.0f});
  RunCommand(kMoveObject, {2, 13.0f});
  const Vector3 kept = Position(2);
  RunCommand(kPositionObject, {2, 0.0f, 0.0f, 0.0f});
  RunCommand(kRotateObject, {2, FloatValue(kObjectAngleX, {2}), FloatValue(kObjectAngleY, {2}),
                             FloatValue(kObjectAngleZ, {2})});
  RunCommand(kMoveObject, {2, 13.0f});
  ExpectNear(Position(2), kept.x, kept.y, kept.z, "the angles read in the new order");

  // Pivot: the turn moves into the model; the angles start again from 0 and the limbs are
  // found where they were drawn.
  MakeBoxMesh(1.0f);
  RunCommand(kAddLimb, {1, 1, 1});
  RunCommand(kRotateObject, {1, 0.0f, 90.0f, 0.0f});
  RunCommand(kOffsetLimb, {1, 1, 0.0f, 0.0f, 2.0f});
  const Vector3 before = LimbPosition(1, 1);
  RunCommand(kFixObjectPivot, {1});
  EXPECT_EQ(FloatValue(kObjectAngleY, {1}), 0.0f);
  const Vector3 after = LimbPosition(1, 1);
  ExpectNear(after, before.x, before.y, before.z, "the fixed pivot keeps the pose");
  EXPECT_EQ(TakeError(), 0);
}

// A hidden limb, or one whose collision is off, touches nothing; shown again it does, also
// after the object's shapes are made anew as boxes or polygons.
TEST_F(LimbsTest, HiddenLimbsAndLimbsWithoutCollisionCollideWithNothing) {
  MakeBoxMesh(2.0f);
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kMakeObjectCube, {2, 2.0f});
  RunCommand(kPositionObject, {2, 10.0f, 0.0f, 0.0f});
  RunCommand(kAddLimb, {2, 1, 1});
  RunCommand(kOffsetLimb, {2, 1, -10.0f, 0.0f, 0.0f});  // the limb lies over object 1
  const auto hit = [] {
    AnimateObjects();
    RunCollisionPass();
    return IntValue(kObjectCollision, {1, 2});
  };
  EXPECT_EQ(hit(), 1);
  RunCommand(kHideLimb, {2, 1});
  EXPECT_EQ(hit(), 0);
  RunCommand(kSetObjectCollisionToBoxes, {2});
  EXPECT_EQ(hit(), 0);
  RunCommand(kShowLimb, {2, 1});
  EXPECT_EQ(hit(), 1);
  RunCommand(kSetLimbCollision, {2, 1, 0});
  EXPECT_EQ(hit(), 0);
  RunCommand(kSetObjectCollisionToPolygons, {2});
  EXPECT_EQ(hit(), 0);
  RunCommand(kSetLimbCollision, {2, 1, 1});
  EXPECT_EQ(hit(), 1);
  EXPECT_EQ(TakeError(), 0);
}
