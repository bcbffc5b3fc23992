// Camera commands and values: angle and range checks with their errors, the view matrix the
// device receives in each view mode, moves and turns.
#include "graphics2d/graphics2d.h"
#include "tests/engine3d/engine_harness.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

class CameraTest : public EngineTest {};

// Where a world point lands in view space under the device's current view.
Vector3 InView(float x, float y, float z) {
  Matrix4 view;
  Device3dActive().GetTransform(Device3dTransform::kView, view.m);
  Vector3 p{x, y, z};
  EXPECT_EQ(TransformPoint(p, p, view), kMathOk);
  return p;
}

void ExpectVector(const Vector3& v, float x, float y, float z, float tolerance = 1e-3f) {
  EXPECT_NEAR(v.x, x, tolerance);
  EXPECT_NEAR(v.y, y, tolerance);
  EXPECT_NEAR(v.z, z, tolerance);
}

}  // namespace

// The angle commands take any angle and wrap it into [0, 360) as the object commands do, and
// the angles read back after a turn are in that range too, so they can be given back.
TEST_F(CameraTest, AnglesOfAnySizeWrapAndReadBackInRange) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    int command;
    std::initializer_list<Arg> args;
    float x, y, z;  // the angles read back
    bool giveYBack = false;  // the command takes the y angle just read instead
  } cases[] = {
      {kRotateCamera, {10.0f, 20.0f, 359.9f}, 10, 20, 359.9f},
      {kRotateCamera, {-30.0f, 720.0f, 370.0f}, 330, 0, 10},
      {kXRotateCamera, {-90.0f}, 270, 0, 10},
      {kYRotateCamera, {360.0f}, 270, 0, 10},
      {kZRotateCamera, {nan}, 270, 0, 0},  // as rotate object: a NaN angle ends as 0
      {kRotateCamera, {0.0f, 0.0f, 0.0f}, 0, 0, 0},
      {kTurnCameraLeft, {10.0f}, 0, 350, 0},
      {kYRotateCamera, {}, 0, 350, 0, true},
      {kTurnCameraRight, {380.0f}, 0, 10, 0},
      {kRotateCamera, {0.0f, 0.0f, 0.0f}, 0, 0, 0},
      {kPitchCameraUp, {10.0f}, 350, 0, 0},
      {kPitchCameraDown, {-350.0f}, 0, 0, 0},
      {kRollCameraRight, {30.0f}, 0, 0, 330},
      {kRollCameraLeft, {-30.0f}, 0, 0, 300},
  };
  for (const auto& c : cases) {
    if (c.giveYBack)
      RunCommand(c.command, {FloatValue(kCameraAngleY, {})});
    else
      RunCommand(c.command, c.args);
    EXPECT_EQ(TakeError(), 0) << c.command;
    const float read[3] = {FloatValue(kCameraAngleX, {}), FloatValue(kCameraAngleY, {}), FloatValue(kCameraAngleZ, {})};
    const float expected[3] = {c.x, c.y, c.z};
    for (int axis = 0; axis < 3; ++axis) {
      EXPECT_GE(read[axis], 0.0f) << c.command << " axis " << axis;
      EXPECT_LT(read[axis], 360.0f) << c.command << " axis " << axis;
      // 359.99 and 0.01 are the same angle a hair apart.
      const float apart = std::fabs(read[axis] - expected[axis]);
      EXPECT_LT(std::min(apart, 360.0f - apart), 1e-2f) << c.command << " axis " << axis << " read " << read[axis];
    }
  }
  // 370 turns as 10 does.
  RunCommand(kRotateCamera, {0.0f, 370.0f, 0.0f});
  const Vector3 wrapped = InView(5, 0, 5);
  RunCommand(kRotateCamera, {0.0f, 10.0f, 0.0f});
  ExpectVector(InView(5, 0, 5), wrapped.x, wrapped.y, wrapped.z);
}

TEST_F(CameraTest, RangeAndFovChecks) {
  const struct {
    float nearPlane, farPlane;
    int error;
  } cases[] = {{1.0f, 1.0f, 7912}, {0.5f, 100.0f, 7912}, {1.0f, 0.0f, 110}, {5.0f, 2.0f, 7912}, {2.0f, 500.0f, 0},
               {1.0f, 1.005f, 7912}};  // too close for a projection: refused, the last planes stay
  for (const auto& c : cases) {
    RunCommand(kSetCameraRange, {c.nearPlane, c.farPlane});
    EXPECT_EQ(TakeError(), c.error) << c.nearPlane << " " << c.farPlane;
  }
  EXPECT_EQ(Camera().nearPlane, 2.0f);
  EXPECT_EQ(Camera().farPlane, 500.0f);
  Matrix4 projection;
  Device3dActive().GetTransform(Device3dTransform::kProjection, projection.m);
  EXPECT_NEAR(projection.m[2][2], 500.0f / 498.0f, 1e-5);
  RunCommand(kSetCameraFov, {0.0f});
  EXPECT_EQ(TakeError(), 110);
  RunCommand(kSetCameraFov, {1.5f});
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(Camera().fov, 1.5f);
  RunCommand(kSetCameraFov, {6.2831853f});  // a whole turn makes no projection
  EXPECT_EQ(TakeError(), 110);
  EXPECT_EQ(Camera().fov, 1.5f);
  RunCommand(kSetCameraView, {10, 10, 5, 100});
  EXPECT_EQ(TakeError(), 1010);
  RunCommand(kSetCameraView, {0, 0, 641, 480});
  EXPECT_EQ(TakeError(), 1010);
  RunCommand(kSetCameraView, {10, 20, 330, 260});
  EXPECT_EQ(TakeError(), 0);
  Device3dViewport viewport;
  Device3dActive().GetViewport(&viewport);
  EXPECT_EQ(viewport.width, 320);
  EXPECT_EQ(viewport.y, 20);
}

TEST_F(CameraTest, PositionKeepsTargetOffsetAndPointSetsAngles) {
  ExpectVector(InView(0, 0, 50), 0, 0, 50);  // default: at the origin looking at (0, 0, 100)
  RunCommand(kPositionCamera, {10.0f, 0.0f, 0.0f});
  ExpectVector(InView(10, 0, 50), 0, 0, 50);  // still looking straight ahead
  EXPECT_EQ(Camera().target[0], 10.0f);
  RunCommand(kPointCamera, {20.0f, 0.0f, 0.0f});  // look along +x
  ExpectVector(InView(15, 0, 0), 0, 0, 5);
  EXPECT_NEAR(FloatValue(kCameraAngleY, {}), 90.0f, 1e-3);
  EXPECT_NEAR(FloatValue(kCameraPositionX, {}), 10.0f, 1e-6);
}

TEST_F(CameraTest, AnglesTurnsAndMovesAgree) {
  // Angles: y 90 faces +x; moving 10 goes along +x.
  RunCommand(kRotateCamera, {0.0f, 90.0f, 0.0f});
  ExpectVector(InView(5, 0, 0), 0, 0, 5);
  RunCommand(kMoveCamera, {10.0f});
  EXPECT_NEAR(Camera().position[0], 10.0f, 1e-4);
  ExpectVector(InView(15, 0, 0), 0, 0, 5);

  // Turns continue from the current angles: a further right turn of 90 faces +z... -z.
  RunCommand(kTurnCameraRight, {90.0f});
  EXPECT_EQ(Camera().viewMode, 2);
  ExpectVector(InView(10, 0, -5), 0, 0, 5);
  RunCommand(kTurnCameraLeft, {180.0f});
  ExpectVector(InView(10, 0, 5), 0, 0, 5);
  EXPECT_NEAR(FloatValue(kCameraAngleY, {}), 0.0f, 1e-3);
  RunCommand(kPitchCameraDown, {90.0f});  // x turn by +90 looks down
  ExpectVector(InView(10, -5, 0), 0, 0, 5);
}

TEST_F(CameraTest, RotationOrderChangesTheView) {
  RunCommand(kRotateCamera, {90.0f, 90.0f, 0.0f});
  const Vector3 xFirst = InView(0, 0, 5);
  RunCommand(kCameraOrderZyx, {});
  const Vector3 zFirst = InView(0, 0, 5);
  EXPECT_GT(std::fabs(xFirst.z - zFirst.z) + std::fabs(xFirst.y - zFirst.y) + std::fabs(xFirst.x - zFirst.x), 1.0f);
  RunCommand(kCameraOrderXyz, {});
  ExpectVector(InView(0, 0, 5), xFirst.x, xFirst.y, xFirst.z);
}

TEST_F(CameraTest, ClearCameraViewQueuesOneScreenClear) {
  const int queued = DrawQueueCount();
  RunCommand(kClearCameraView, {7});
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(DrawQueueCount(), queued + 1);
}

// The remaining turns about the camera's own axes: up undoes down, the rolls turn the picture
// about the view direction (rolling right, the camera's top goes right, so the world's right
// side shows above the middle of the screen),
// and an object's angles become the camera's.
TEST_F(CameraTest, PitchUpRollsAndTheObjectsOrientation) {
  RunCommand(kPitchCameraUp, {90.0f});  // looking up: a point above is straight ahead
  ExpectVector(InView(0, 5, 0), 0, 0, 5);
  RunCommand(kPitchCameraDown, {90.0f});
  ExpectVector(InView(0, 0, 5), 0, 0, 5);
  RunCommand(kRollCameraRight, {90.0f});
  ExpectVector(InView(5, 0, 10), 0, 5, 10);
  RunCommand(kRollCameraLeft, {180.0f});
  ExpectVector(InView(5, 0, 10), 0, -5, 10);
  EXPECT_NEAR(std::fabs(FloatValue(kCameraAngleZ, {})), 90.0f, 1e-3);
  RunCommand(kRollCameraRight, {90.0f});
  ExpectVector(InView(5, 0, 10), 5, 0, 10);

  RunCommand(kPositionCamera, {1.0f, 2.0f, 3.0f});
  EXPECT_NEAR(FloatValue(kCameraPositionY, {}), 2.0f, 1e-6);
  EXPECT_NEAR(FloatValue(kCameraPositionZ, {}), 3.0f, 1e-6);
  RunCommand(kAutoCameraOff, {});  // the new object leaves the camera where it is
  RunCommand(kMakeObjectCube, {4, 1.0f});
  RunCommand(kPositionObject, {4, 0.0f, 7.5f, 0.0f});
  EXPECT_EQ(FloatValue(kObjectPositionY, {4}), 7.5f);
  RunCommand(kRotateObject, {4, 0.0f, 90.0f, 0.0f});
  RunCommand(kSetCameraToObjectOrientation, {4});
  EXPECT_NEAR(FloatValue(kCameraAngleY, {}), 90.0f, 1e-3);
  ExpectVector(InView(6, 2, 3), 0, 0, 5);  // facing +x as the object does
  EXPECT_EQ(TakeError(), 0);
  ExpectErrors({{kSetCameraToObjectOrientation, {5}, 7008}, {kSetCameraToObjectOrientation, {0}, 7006}});
  EXPECT_NEAR(FloatValue(kCameraAngleY, {}), 90.0f, 1e-3);
}

// Occlusion culling of the static world is on by default; the two commands switch it.
TEST_F(CameraTest, OcclusionSwitch) {
  EXPECT_EQ(Camera().occlusion, 1);
  RunCommand(kOcclusionOff, {});
  EXPECT_EQ(Camera().occlusion, 0);
  RunCommand(kOcclusionOn, {});
  EXPECT_EQ(Camera().occlusion, 1);
}
