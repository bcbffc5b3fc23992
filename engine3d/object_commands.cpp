// Object transforms, render settings and values: position, rotate, scale, move, turn,
// show/hide, texture and colour, ghost, wireframe, cull, lock, draw-last, and the queries.
#include "engine3d/engine3d_local.h"
#include "graphics2d/graphics2d.h"
#include "models/models.h"
#include "runtime/command_numbers.h"

#include <cmath>

namespace {

SpriteRecord* EntityOf(int32_t slot) { return SpriteAt(ObjectAt(slot)->entity); }

// Commands of the form (object, x, y, z).
template <void (*Apply)(int32_t, float, float, float)>
void ObjectXyzCommand() {
  const int32_t number = IntOperand(0);
  const float x = FloatOperand(1), y = FloatOperand(2), z = FloatOperand(3);
  AdvanceOperands(4);
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  Apply(slot, x, y, z);
  MarkObjectMoved(slot);
  UpdateObjectTransform(slot);
}

// Commands of the form (object, value); Moves for those that change the object's placement.
template <typename Value, void (*Apply)(int32_t, Value), bool Moves = false>
void ObjectValueCommand() {
  const int32_t number = IntOperand(0);
  Value value;
  if constexpr (std::is_same_v<Value, float>)
    value = FloatOperand(1);
  else
    value = IntOperand(1);
  AdvanceOperands(2);
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  Apply(slot, value);
  if (!Moves) return;
  MarkObjectMoved(slot);
  UpdateObjectTransform(slot);
}

// Commands of the form (object).
template <void (*Apply)(int32_t)>
void ObjectCommand() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  const int32_t slot = ExistingObject(number);
  if (slot >= 0) Apply(slot);
}

void Position(int32_t slot, float x, float y, float z) {
  float* p = EntityOf(slot)->position3D;
  p[0] = x;
  p[1] = y;
  p[2] = z;
}
void Rotate(int32_t slot, float x, float y, float z) {
  ObjectRecord* object = ObjectAt(slot);
  object->angles[0] = WrapAngle360(x);
  object->angles[1] = WrapAngle360(y);
  object->angles[2] = WrapAngle360(z);
  object->ownMatrixFlag = 0;
}
void Scale(int32_t slot, float x, float y, float z) {
  ObjectRecord* object = ObjectAt(slot);
  object->scale[0] = x / 100.0f;
  object->scale[1] = y / 100.0f;
  object->scale[2] = z / 100.0f;
}
// Angles that turn the object's +z axis to the point in its rotation order. Turning x first
// is the matrix routines' own answer; z first (the default) tilts about the world's x axis
// last, so the turn is found from the direction itself, upright (x angle within 90 degrees).
void PointAt(int32_t slot, float x, float y, float z) {
  const float* p = EntityOf(slot)->position3D;
  float ax, ay, az;
  AnglesToPoint(p[0], p[1], p[2], x, y, z, ax, ay, az);
  if (ObjectAt(slot)->rotationOrder != 1) {
    const float dx = x - p[0], dy = y - p[1], dz = z - p[2];
    const float across = std::hypot(dy, dz);
    ay = std::atan2(dx, dz >= 0.0f ? across : -across);
    ax = dz >= 0.0f ? std::atan2(-dy, dz) : std::atan2(dy, -dz);
  }
  Rotate(slot, ax * kRadiansToDegrees, ay * kRadiansToDegrees, az * kRadiansToDegrees);
}
// Along the way the object faces as drawn: its turn in its rotation order, or its own matrix
// after free rotation.
void Move(int32_t slot, float distance) {
  Matrix4 turn;
  ObjectRotation(slot, turn);
  Vector3 forward{0, 0, 1};
  TransformPoint(forward, forward, turn);
  float* p = EntityOf(slot)->position3D;
  p[0] += forward.x * distance;
  p[1] += forward.y * distance;
  p[2] += forward.z * distance;
}
void SetAngle(int32_t slot, int axis, float degrees) {
  ObjectAt(slot)->angles[axis] = WrapAngle360(degrees);
  ObjectAt(slot)->ownMatrixFlag = 0;
}
void XRotate(int32_t slot, float a) { SetAngle(slot, 0, a); }
void YRotate(int32_t slot, float a) { SetAngle(slot, 1, a); }
void ZRotate(int32_t slot, float a) { SetAngle(slot, 2, a); }
void TurnLeft(int32_t slot, float a) { SetAngle(slot, 1, ObjectAt(slot)->angles[1] - a); }
void TurnRight(int32_t slot, float a) { SetAngle(slot, 1, ObjectAt(slot)->angles[1] + a); }

void Hide(int32_t slot) { EntityOf(slot)->shown = 0; }
// The model's frames with a limb number, in the model's order, into a new checklist (the
// models library writes the entries; a list longer than the checklist is cut at its end).
void ListLimbs(int32_t slot) {
  StartChecklist(true, true, true);
  if (ModelObject* model = ObjectAt(slot)->model) model->ListModelFrames();
}
void Show(int32_t slot) { EntityOf(slot)->shown = 1; }
void LockOn(int32_t slot) { EntityOf(slot)->locked = 1; }
void LockOff(int32_t slot) { EntityOf(slot)->locked = 0; }
void GhostOff(int32_t slot) { EntityOf(slot)->ghost = 0; }
void GhostOn(int32_t slot, int32_t mode) {
  EntityOf(slot)->ghost = 1;
  EntityOf(slot)->ghostMode = mode == 1 ? 1 : 0;
}
void Wireframe(int32_t slot, int32_t flag) { EntityOf(slot)->wireframe = flag != 0 ? 1 : 0; }
void Cull(int32_t slot, int32_t flag) { EntityOf(slot)->cull = flag != 0 ? 1 : 0; }
void Filter(int32_t slot, int32_t flag) { EntityOf(slot)->filter = flag != 0 ? 1 : 0; }
void Light(int32_t slot, int32_t flag) { EntityOf(slot)->ambient = flag != 0 ? 1 : 0; }
void FullBright(int32_t slot, int32_t flag) { EntityOf(slot)->fullBright = flag != 0 ? 1 : 0; }
void Fog(int32_t slot, int32_t flag) { EntityOf(slot)->fog = flag != 0 ? 1 : 0; }
void Transparency(int32_t slot, int32_t flag) { EntityOf(slot)->colourKey = flag != 0 ? 1 : 0; }
void DrawLast(int32_t slot, int32_t flag) { EntityOf(slot)->afterClear = flag != 0 ? 1 : 0; }

// Every mesh of the object takes the texture (made from the image, 0 for a colour); the one
// the object held before, and those its limbs held, are let go. Copies share the model, so
// each of them holds one reference of what its meshes now show.
void ApplyTexture(int32_t slot, int32_t texture, int32_t image) {
  ModelObject* model = ObjectAt(slot)->model;
  if (model != nullptr)
    for (int32_t id = 0; id <= model->GetModelNodeCount(); ++id) model->SetModelMeshTexture(id, texture);
  for (int32_t at : ObjectsSharingModel(slot)) {
    if (at != slot && texture > 0) RetainTexture(texture);
    if (ObjectAt(at)->appliedTexture > 0) ReleaseTexture(ObjectAt(at)->appliedTexture, 0);
    ReleaseLimbTextures(at);
    ObjectRecord* object = ObjectAt(at);
    object->appliedTexture = texture;
    for (int32_t limb = 0; limb < object->limbCount && limb < object->limbCapacity; ++limb)
      object->limbs[limb].texture = image;
  }
}
void Colour(int32_t slot, int32_t rgb) { ApplyTexture(slot, GetColorTexture(static_cast<uint32_t>(rgb)), 0); }

void CmdTextureObject() {
  const int32_t number = IntOperand(0), image = IntOperand(1);
  AdvanceOperands(2);
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  if (image < 1 || image > 65535) return RuntimeError(501);
  const int32_t texture = GetImageTexture(image, 1);
  if (texture < 0) return RuntimeError(502);
  ApplyTexture(slot, texture, image);
}

// Values: (result, object).
template <typename Read>
void ObjectValue(Read read) {
  const int32_t number = IntOperand(1);
  const int32_t slot = ExistingObject(number);
  if (slot >= 0) read(slot);
  AdvanceOperands(2);
}
template <int Axis>
void CmdObjectPosition() {
  ObjectValue([](int32_t slot) { WriteFloatResult(EntityOf(slot)->position3D[Axis]); });
}
template <int Axis>
void CmdObjectAngle() {
  ObjectValue([](int32_t slot) { WriteFloatResult(ObjectAt(slot)->angles[Axis]); });
}
template <int Axis>
void CmdObjectSize() {
  ObjectValue([](int32_t slot) { WriteFloatResult(ObjectAt(slot)->size[Axis] * ObjectAt(slot)->scale[Axis]); });
}
void CmdObjectVisible() {
  ObjectValue([](int32_t slot) { WriteIntResult(EntityOf(slot)->shown == 1 ? 1 : 0); });
}
template <int Part>
void CmdObjectScreen() {
  ObjectValue([](int32_t slot) {
    int32_t x = 0, y = 0;
    const bool visible = ObjectScreenPosition(ObjectAt(slot)->entity, &x, &y);
    WriteIntResult(Part == 0 ? x : Part == 1 ? y : (visible ? 1 : 0));
  });
}
void CmdSetCameraToObjectOrientation() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  const ObjectRecord* object = ObjectAt(slot);
  SetCameraAnglesDegrees(object->angles[0], object->angles[1], object->angles[2]);
}

void CmdStatistic() {
  const int32_t which = IntOperand(1);
  WriteIntResult(which == 1 ? static_cast<int32_t>(DrawnIndexCount() / 3) : 0);
  AdvanceOperands(2);
}

void CmdObjectExist() {
  const int32_t number = IntOperand(1);
  if (number < 1 || number > 65535)
    RuntimeError(7006);
  else
    WriteIntResult(ObjectSlotForNumber(number) >= 0 ? 1 : 0);
  AdvanceOperands(2);
}

// Glue: the object draws relative to a limb of another one (its own place, angles and scale
// then count from that limb). A chain may not lead back to the object itself.
void CmdGlueObjectToLimb() {
  const int32_t number = IntOperand(0), other = IntOperand(1), limb = IntOperand(2);
  AdvanceOperands(3);
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  const int32_t parent = ExistingObject(other);
  if (parent < 0) return;
  if (limb < 0 || limb >= ObjectAt(parent)->limbCount) return RuntimeError(7010);
  int links = 0;
  for (int32_t at = parent; at >= 0; at = ObjectSlotForNumber(ObjectAt(at)->gluedObject)) {
    if (at == slot || ++links >= kGlueChainLimit) return RuntimeError(7010);
    if (ObjectAt(at)->gluedObject == 0) break;
  }
  ObjectAt(slot)->gluedObject = other;
  ObjectAt(slot)->gluedLimb = limb;
  MarkObjectCollisionChanged(slot);
}

void CmdUnglueObject() {
  const int32_t slot = ExistingObject(IntOperand(0));
  AdvanceOperands(1);
  if (slot < 0) return;
  ObjectAt(slot)->gluedObject = ObjectAt(slot)->gluedLimb = 0;
  MarkObjectCollisionChanged(slot);
}

const CommandEntry kObjectSettingCommands[] = {
    {kGlueObjectToLimb, CmdGlueObjectToLimb},
    {kUnglueObject, CmdUnglueObject},
    {kPositionObject, ObjectXyzCommand<Position>},
    {kRotateObject, ObjectXyzCommand<Rotate>},
    {kScaleObject, ObjectXyzCommand<Scale>},
    {kPointObject, ObjectXyzCommand<PointAt>},
    {kMoveObject, ObjectValueCommand<float, Move, true>},
    {kXRotateObject, ObjectValueCommand<float, XRotate, true>},
    {kYRotateObject, ObjectValueCommand<float, YRotate, true>},
    {kZRotateObject, ObjectValueCommand<float, ZRotate, true>},
    {kTurnObjectLeft, ObjectValueCommand<float, TurnLeft, true>},
    {kTurnObjectRight, ObjectValueCommand<float, TurnRight, true>},
    {kHideObject, ObjectCommand<Hide>},
    {kChecklistObjectLimbs, ObjectCommand<ListLimbs>},
    {kShowObject, ObjectCommand<Show>},
    {kLockObjectOn, ObjectCommand<LockOn>},
    {kLockObjectOff, ObjectCommand<LockOff>},
    {kGhostObjectOff, ObjectCommand<GhostOff>},
    {kGhostObjectOn, ObjectValueCommand<int32_t, GhostOn>},
    {kSetObjectWireframe, ObjectValueCommand<int32_t, Wireframe>},
    {kSetObjectCull, ObjectValueCommand<int32_t, Cull>},
    {kSetObjectFilter, ObjectValueCommand<int32_t, Filter>},
    {kSetObjectLight, ObjectValueCommand<int32_t, Light>},
    {kSetObjectFullBright, ObjectValueCommand<int32_t, FullBright>},
    {kSetObjectFog, ObjectValueCommand<int32_t, Fog>},
    {kSetObjectDrawLast, ObjectValueCommand<int32_t, DrawLast>},
    {kSetObjectTransparency, ObjectValueCommand<int32_t, Transparency>},
    {kColorObject, ObjectValueCommand<int32_t, Colour>},
    {kTextureObject, CmdTextureObject},
    {kSetCameraToObjectOrientation, CmdSetCameraToObjectOrientation},
    {kObjectExist, CmdObjectExist},
    {kStatistic, CmdStatistic},
    {kObjectPositionX, CmdObjectPosition<0>},
    {kObjectPositionY, CmdObjectPosition<1>},
    {kObjectPositionZ, CmdObjectPosition<2>},
    {kObjectAngleX, CmdObjectAngle<0>},
    {kObjectAngleY, CmdObjectAngle<1>},
    {kObjectAngleZ, CmdObjectAngle<2>},
    {kObjectSizeX, CmdObjectSize<0>},
    {kObjectSizeY, CmdObjectSize<1>},
    {kObjectSizeZ, CmdObjectSize<2>},
    {kObjectVisible, CmdObjectVisible},
    {kObjectScreenX, CmdObjectScreen<0>},
    {kObjectScreenY, CmdObjectScreen<1>},
    {kObjectInScreen, CmdObjectScreen<2>},
};

}  // namespace

CommandTableView ObjectSettingCommandTable() { return {kObjectSettingCommands, std::size(kObjectSettingCommands)}; }
