// The one 3D camera: position, target, angles, the view matrix built from them by view
// mode, near/far planes and field of view, and the camera commands and values.
#include "engine3d/engine3d_local.h"
#include "graphics2d/graphics2d.h"
#include "models/static/static_world.h"
#include "runtime/command_numbers.h"

#include <cmath>

namespace {

// The camera; reset at every run start (ResetCamera).
CameraState g_camera;
// The view matrix in force when the scene was set up; backdrop and locked entities use it.
Matrix4 g_startupView;

constexpr float kDefaultFov = 1.0814433f;

void SetDeviceView() { Dev().SetTransform(Device3dTransform::kView, g_camera.view.m); }

// The inverse of the camera's turn, built from the negated angles in the chosen order.
void InverseCameraRotation(Matrix4& out) {
  Matrix4 rx, ry, rz;
  MatrixRotationX(rx, -g_camera.angles[0]);
  MatrixRotationY(ry, -g_camera.angles[1]);
  MatrixRotationZ(rz, -g_camera.angles[2]);
  if (g_camera.rotationOrder == 1) {
    MatrixMultiply(out, ry, rx);   // x first, then y in front
    MatrixMultiply(out, rz, out);  // then z in front
  } else {
    MatrixMultiply(out, ry, rz);
    MatrixMultiply(out, rx, out);
  }
}

// The camera's own turn (camera space to world), the inverse of the above.
void CameraRotation(Matrix4& out) {
  Matrix4 inverse;
  InverseCameraRotation(inverse);
  MatrixInverse(out, inverse);
}

void Translate(Matrix4& out, float x, float y, float z) { MatrixTranslation(out, -x, -y, -z); }

}  // namespace

const CameraState& Camera() { return g_camera; }

void BuildCameraMatrix(Matrix4& out) { out = g_camera.view; }

const Matrix4& StartupViewMatrix() { return g_startupView; }

void ResetCamera() {
  g_camera = CameraState{};
  g_camera.target[2] = 100.0f;
  g_camera.rotationOrder = 1;
  g_camera.autoCamera = 1;
  g_camera.occlusion = 1;
  g_camera.nearPlane = 1.0f;
  g_camera.farPlane = 3000.0f;
  g_camera.fov = kDefaultFov;
  MatrixIdentity(g_camera.turned);
  MatrixIdentity(g_camera.world);
  MatrixIdentity(g_camera.view);
  SetCameraProjection();
  UpdateCameraLookAt();
  g_startupView = g_camera.view;
}

bool SetCameraProjection() {
  // The aspect factor follows the back buffer, so pixels stay square in any display mode.
  const bool made = MatrixProjection(g_camera.projection, g_camera.fov, TargetAspect(), g_camera.nearPlane,
                                     g_camera.farPlane) == kMathOk;
  Dev().SetTransform(Device3dTransform::kProjection, g_camera.projection.m);
  return made;
}

void UpdateCameraLookAt() {
  const Vector3 eye{g_camera.position[0], g_camera.position[1], g_camera.position[2]};
  const Vector3 target{g_camera.target[0], g_camera.target[1], g_camera.target[2]};
  MatrixLookAt(g_camera.view, eye, target, Vector3{0, 1, 0});  // a refused look keeps the old view
  SetDeviceView();
  MatrixIdentity(g_camera.turned);
}

void UpdateCameraView() {
  Matrix4 move, inverse;
  Translate(move, g_camera.position[0], g_camera.position[1], g_camera.position[2]);
  InverseCameraRotation(inverse);
  MatrixMultiply(g_camera.view, move, inverse);
  SetDeviceView();
}

// Any angle in degrees is taken, wrapped into [0, 360) as the object angles are, so the
// angles read back from the camera can always be given to it again.
static void StoreCameraAngles(float ax, float ay, float az) {
  g_camera.angles[0] = WrapAngle360(ax) * kDegreesToRadians;
  g_camera.angles[1] = WrapAngle360(ay) * kDegreesToRadians;
  g_camera.angles[2] = WrapAngle360(az) * kDegreesToRadians;
}

// View mode 2: the turned matrix is the view's rotation; the angles follow it.
static void CameraAnglesFromMatrix() {
  Matrix4 move;
  Translate(move, g_camera.position[0], g_camera.position[1], g_camera.position[2]);
  MatrixMultiply(g_camera.view, move, g_camera.turned);
  float ax, ay, az;
  MatrixToAnglesDegrees(g_camera.turned, ax, ay, az);
  StoreCameraAngles(ax, ay, az);
  SetDeviceView();
}

void RebuildCameraForMode() {
  if (g_camera.viewMode == 0)
    UpdateCameraLookAt();
  else if (g_camera.viewMode == 1)
    UpdateCameraView();
  else
    CameraAnglesFromMatrix();
}

// A new object is framed: the camera backs off twice its radius (at least to z = -2) and
// looks at its centre.
void PlaceCameraInFrontOf(const Vector3& centre, float radius) {
  g_camera.position[0] = centre.x;
  g_camera.position[1] = centre.y + radius / 2;
  const float z = centre.z - 2 * radius;
  g_camera.position[2] = z >= -2.0f ? -2.0f : z;
  g_camera.target[0] = centre.x;
  g_camera.target[1] = centre.y;
  g_camera.target[2] = centre.z;
  g_camera.viewMode = 0;
  UpdateCameraLookAt();
  AnglesToPoint(g_camera.position[0], g_camera.position[1], g_camera.position[2], centre.x, centre.y, centre.z,
                g_camera.angles[0], g_camera.angles[1], g_camera.angles[2]);
}

void CopyCameraAnglesToPrevious() {
  for (int i = 0; i < 3; ++i) g_camera.previousAngles[i] = g_camera.angles[i];
}

void SetCameraAnglesDegrees(float ax, float ay, float az) {
  StoreCameraAngles(ax, ay, az);
  g_camera.viewMode = 1;
  UpdateCameraView();
}

namespace {

void CmdPositionCamera() {
  const float x = FloatOperand(0), y = FloatOperand(1), z = FloatOperand(2);
  AdvanceOperands(3);
  const float moved[3] = {x - g_camera.position[0], y - g_camera.position[1], z - g_camera.position[2]};
  for (int i = 0; i < 3; ++i) {
    g_camera.position[i] += moved[i];
    g_camera.target[i] += moved[i];
  }
  RebuildCameraForMode();
}

void CmdPointCamera() {
  const float x = FloatOperand(0), y = FloatOperand(1), z = FloatOperand(2);
  AdvanceOperands(3);
  g_camera.target[0] = x;
  g_camera.target[1] = y;
  g_camera.target[2] = z;
  g_camera.viewMode = 0;
  UpdateCameraLookAt();
  AnglesToPoint(g_camera.position[0], g_camera.position[1], g_camera.position[2], x, y, z, g_camera.angles[0],
                g_camera.angles[1], g_camera.angles[2]);
}

void CmdRotateCamera() {
  const float x = FloatOperand(0), y = FloatOperand(1), z = FloatOperand(2);
  AdvanceOperands(3);
  SetCameraAnglesDegrees(x, y, z);
}

// Moves the camera (and its target) along the direction its angles face.
// Moves the camera (and its target) along its view direction. Against the world, a sphere of
// the radius walks the move through the static world's collision boxes and stops at the last
// free point before the first box it enters; a camera still overlapping a box (a move up or
// down takes no step of that walk) is then pushed out along the face it came through.
void MoveCameraAlongView(float distance, bool againstWorld, float radius) {
  Matrix4 turn;
  CameraRotation(turn);
  Vector3 forward{0, 0, 1};
  TransformPoint(forward, forward, turn);
  const float from[3] = {g_camera.position[0], g_camera.position[1], g_camera.position[2]};
  float to[3] = {from[0] + forward.x * distance, from[1] + forward.y * distance, from[2] + forward.z * distance};
  if (againstWorld) {
    float stop[3];
    if (QueryStaticBoxes(from, to, radius, 1.0f, stop) == 1)
      for (int i = 0; i < 3; ++i) to[i] = stop[i];
    const float before[6] = {from[0] - radius, from[1] - radius, from[2] - radius,
                             from[0] + radius, from[1] + radius, from[2] + radius};
    const float after[6] = {to[0] - radius, to[1] - radius, to[2] - radius, to[0] + radius, to[1] + radius, to[2] + radius};
    float push[3];
    if (PushBoxOutOfStaticBoxes(before, after, push) == 1)
      for (int i = 0; i < 3; ++i) to[i] -= push[i];
  }
  for (int i = 0; i < 3; ++i) {
    g_camera.target[i] += to[i] - g_camera.position[i];
    g_camera.position[i] = to[i];
  }
  RebuildCameraForMode();
}

void CmdMoveCamera() {
  const float distance = FloatOperand(0);
  AdvanceOperands(1);
  MoveCameraAlongView(distance, false, 0.0f);
}

void CmdMoveCameraStatic() {
  const float distance = FloatOperand(0), radius = FloatOperand(1);
  AdvanceOperands(2);
  MoveCameraAlongView(distance, true, radius);
}

void SetOneAngle(int axis) {
  const float degrees = FloatOperand(0);
  AdvanceOperands(1);
  g_camera.angles[axis] = WrapAngle360(degrees) * kDegreesToRadians;
  g_camera.viewMode = 1;
  UpdateCameraView();
}
void CmdXRotateCamera() { SetOneAngle(0); }
void CmdYRotateCamera() { SetOneAngle(1); }
void CmdZRotateCamera() { SetOneAngle(2); }

// Turns the camera about its own axes: the view's rotation takes the opposite turn on its
// right. The turned matrix starts from the current angles when another mode was in force.
void TurnCamera(float ax, float ay, float az) {
  if (g_camera.viewMode != 2) InverseCameraRotation(g_camera.turned);
  Matrix4 turn, inverse;
  RotationFromAngles(turn, ax * kDegreesToRadians, ay * kDegreesToRadians, az * kDegreesToRadians);
  MatrixInverse(inverse, turn);
  MatrixMultiply(g_camera.turned, g_camera.turned, inverse);
  g_camera.viewMode = 2;
  CameraAnglesFromMatrix();
}
// Turn commands: each reads its angle and turns by it (or its opposite) about one axis.
float ReadTurnAngle() {
  const float angle = FloatOperand(0);
  AdvanceOperands(1);
  return angle;
}
void CmdTurnCameraRight() { TurnCamera(0, ReadTurnAngle(), 0); }
void CmdTurnCameraLeft() { TurnCamera(0, -ReadTurnAngle(), 0); }
void CmdPitchCameraDown() { TurnCamera(ReadTurnAngle(), 0, 0); }
void CmdPitchCameraUp() { TurnCamera(-ReadTurnAngle(), 0, 0); }
void CmdRollCameraLeft() { TurnCamera(0, 0, ReadTurnAngle()); }
void CmdRollCameraRight() { TurnCamera(0, 0, -ReadTurnAngle()); }

void CmdSetCameraRange() {
  const float nearPlane = FloatOperand(0), farPlane = FloatOperand(1);
  AdvanceOperands(2);
  if (!(farPlane > 0.0f)) {
    RuntimeError(110);
    return;
  }
  if (!(nearPlane >= 1.0f) || !(nearPlane < farPlane)) {
    RuntimeError(7912);
    return;
  }
  const float oldNear = g_camera.nearPlane, oldFar = g_camera.farPlane;
  g_camera.nearPlane = nearPlane;
  g_camera.farPlane = farPlane;
  if (!SetCameraProjection()) {  // planes too close for a projection: the old ones stay
    g_camera.nearPlane = oldNear;
    g_camera.farPlane = oldFar;
    SetCameraProjection();
    RuntimeError(7912);
    return;
  }
  Scene().redraw = true;
}

void CmdSetCameraFov() {
  const float fov = FloatOperand(0);
  AdvanceOperands(1);
  if (!(fov > 0.0f)) {
    RuntimeError(110);
    return;
  }
  const float oldFov = g_camera.fov;
  g_camera.fov = fov;
  if (!SetCameraProjection()) {  // a whole turn (or near it) makes no projection: the old one stays
    g_camera.fov = oldFov;
    SetCameraProjection();
    RuntimeError(110);
    return;
  }
  Scene().redraw = true;
}

void CmdCameraOrderZyx() {
  g_camera.rotationOrder = 0;
  UpdateCameraView();
}
void CmdCameraOrderXyz() {
  g_camera.rotationOrder = 1;
  UpdateCameraView();
}
void CmdAutoCameraOn() { g_camera.autoCamera = 1; }
void CmdOcclusionOff() { g_camera.occlusion = 0; }
void CmdOcclusionOn() { g_camera.occlusion = 1; }
void CmdAutoCameraOff() { g_camera.autoCamera = 0; }

void CmdSetCameraView() {
  const int32_t x1 = IntOperand(0), y1 = IntOperand(1), x2 = IntOperand(2), y2 = IntOperand(3);
  AdvanceOperands(4);
  int width, height;
  TargetSize(width, height);
  if (x1 < 0 || y1 < 0 || x2 > width || y2 > height || x2 <= x1 || y2 <= y1) {
    RuntimeError(1010);
    return;
  }
  Dev().SetViewport(Device3dViewport{x1, y1, x2 - x1, y2 - y1, 0.0f, 1.0f});
}

// A 2D clear of the screen in the colour given, queued with the program's drawing.
void CmdClearCameraView() {
  const int32_t colour = IntOperand(0);
  AdvanceOperands(1);
  QueueClearScreenWithColour(colour);
}

void CmdCameraPositionX() { WriteFloatResult(g_camera.position[0]); AdvanceOperands(1); }
void CmdCameraPositionY() { WriteFloatResult(g_camera.position[1]); AdvanceOperands(1); }
void CmdCameraPositionZ() { WriteFloatResult(g_camera.position[2]); AdvanceOperands(1); }
// In [0, 360) also where the trip through radians rounds a wrapped angle up to 360.
void CameraAngleValue(int axis) {
  WriteFloatResult(WrapAngle360(g_camera.angles[axis] * kRadiansToDegrees));
  AdvanceOperands(1);
}
void CmdCameraAngleX() { CameraAngleValue(0); }
void CmdCameraAngleY() { CameraAngleValue(1); }
void CmdCameraAngleZ() { CameraAngleValue(2); }

const CommandEntry kCameraCommands[] = {
    {kPositionCamera, CmdPositionCamera},   {kPointCamera, CmdPointCamera},
    {kRotateCamera, CmdRotateCamera},       {kMoveCamera, CmdMoveCamera},
    {kMoveCameraStatic, CmdMoveCameraStatic},
    {kXRotateCamera, CmdXRotateCamera},     {kYRotateCamera, CmdYRotateCamera},
    {kZRotateCamera, CmdZRotateCamera},     {kTurnCameraLeft, CmdTurnCameraLeft},
    {kTurnCameraRight, CmdTurnCameraRight}, {kPitchCameraUp, CmdPitchCameraUp},
    {kPitchCameraDown, CmdPitchCameraDown}, {kRollCameraLeft, CmdRollCameraLeft},
    {kRollCameraRight, CmdRollCameraRight}, {kSetCameraRange, CmdSetCameraRange},
    {kCameraOrderZyx, CmdCameraOrderZyx},   {kCameraOrderXyz, CmdCameraOrderXyz},
    {kAutoCameraOn, CmdAutoCameraOn},       {kAutoCameraOff, CmdAutoCameraOff},
    {kSetCameraView, CmdSetCameraView},     {kSetCameraFov, CmdSetCameraFov},
    {kClearCameraView, CmdClearCameraView},
    {kOcclusionOff, CmdOcclusionOff},       {kOcclusionOn, CmdOcclusionOn},
    {kCameraPositionX, CmdCameraPositionX}, {kCameraPositionY, CmdCameraPositionY},
    {kCameraPositionZ, CmdCameraPositionZ}, {kCameraAngleX, CmdCameraAngleX},
    {kCameraAngleY, CmdCameraAngleY},       {kCameraAngleZ, CmdCameraAngleZ},
};

}  // namespace

CommandTableView CameraCommandTable() { return {kCameraCommands, std::size(kCameraCommands)}; }
