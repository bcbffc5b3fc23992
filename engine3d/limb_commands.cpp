// Limbs: the frames of an object's model by number. Adding, linking, placing, turning,
// scaling, hiding and texturing them, changing their meshes and collision, and the queries.
#include "engine3d/engine3d_local.h"
#include "graphics2d/graphics2d.h"
#include "models/models.h"
#include "runtime/command_numbers.h"

#include <cmath>
#include <cstring>

namespace {

constexpr int32_t kHighestLimb = 65535;

// The object of a limb command and the checks on the limb: the number checks (7006, 7008),
// then the limb must be one of the object's (7019). -1 after the error.
int32_t LimbObject(int32_t number, int32_t limb) {
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return -1;
  const ObjectRecord* object = ObjectAt(slot);
  if (limb < 0 || limb >= object->limbCount || limb >= object->limbCapacity || object->limbs[limb].exists != 1 ||
      object->model == nullptr) {
    RuntimeError(7019);
    return -1;
  }
  return slot;
}

// A change to the shared model moves every object holding it; the collision pass places
// their shapes again.
void ModelChanged(int32_t slot) {
  if (ModelHolderCount(ObjectAt(slot)->model) > 1)
    MarkCollisionDirty();
  else
    MarkObjectCollisionChanged(slot);
}

// The limb's frame takes its offset, angles and scale (in the object's rotation order). Limb 0
// is the object's own frame: it moves the model inside the object's place.
void ApplyLimbTransform(int32_t slot, int32_t limb) {
  ObjectRecord* object = ObjectAt(slot);
  if (limb == 0) {
    MarkObjectMoved(slot);
    UpdateObjectTransform(slot);
    return;
  }
  const LimbRecord& l = object->limbs[limb];
  object->model->SetModelFrameTransform(limb, l.offset[0], l.offset[1], l.offset[2], l.angles[0], l.angles[1],
                                        l.angles[2], l.scale[0], l.scale[1], l.scale[2], object->rotationOrder);
  ModelChanged(slot);
}

// Commands of the form (object, limb, x, y, z).
template <void (*Apply)(LimbRecord&, float, float, float)>
void LimbXyzCommand() {
  const int32_t number = IntOperand(0), limb = IntOperand(1);
  const float x = FloatOperand(2), y = FloatOperand(3), z = FloatOperand(4);
  AdvanceOperands(5);
  const int32_t slot = LimbObject(number, limb);
  if (slot < 0) return;
  Apply(ObjectAt(slot)->limbs[limb], x, y, z);
  ApplyLimbTransform(slot, limb);
}

void Offset(LimbRecord& l, float x, float y, float z) {
  l.offset[0] = x;
  l.offset[1] = y;
  l.offset[2] = z;
}
void Rotate(LimbRecord& l, float x, float y, float z) {
  l.angles[0] = WrapAngle360(x);
  l.angles[1] = WrapAngle360(y);
  l.angles[2] = WrapAngle360(z);
}
void Scale(LimbRecord& l, float x, float y, float z) {
  l.scale[0] = x / 100.0f;
  l.scale[1] = y / 100.0f;
  l.scale[2] = z / 100.0f;
}

// Commands of the form (object, limb, angle): one angle alone.
template <int Axis>
void CmdLimbAngle() {
  const int32_t number = IntOperand(0), limb = IntOperand(1);
  const float angle = FloatOperand(2);
  AdvanceOperands(3);
  const int32_t slot = LimbObject(number, limb);
  if (slot < 0) return;
  ObjectAt(slot)->limbs[limb].angles[Axis] = WrapAngle360(angle);
  ApplyLimbTransform(slot, limb);
}

// The limb's mesh collides with the object's kind of shape again: a shape made from the mesh
// itself, or for the made shapes (sized by the object) the object's shapes made again.
void BuildLimbCollision(int32_t slot, int32_t limb) {
  ObjectRecord* object = ObjectAt(slot);
  if (object->collisionOn != 1) return;
  if (object->shapeKind >= 50)
    object->model->BuildModelMeshCollision(object->number, limb, object->shapeKind);
  else
    BuildObjectCollision(slot);
}

// Shows or hides the limb's mesh; a hidden limb collides with nothing. Copies share the
// model, so their limb shows or hides with it.
void SetLimbShown(int32_t slot, int32_t limb, bool shown) {
  RunDueCollisionTests();  // results of the last sync stay those of the shapes it had
  for (int32_t at : ObjectsSharingModel(slot))
    if (limb < ObjectAt(at)->limbCapacity) ObjectAt(at)->limbs[limb].visible = shown ? 1 : 0;
  ObjectRecord* object = ObjectAt(slot);
  object->model->SetModelMeshVisible(limb, shown ? 1 : 0);
  if (!shown)
    object->model->RemoveModelMeshCollision(limb);
  else if (object->limbs[limb].collisionOff != 1)
    BuildLimbCollision(slot, limb);
  ModelChanged(slot);
}

template <bool Shown>
void CmdShowLimb() {
  const int32_t number = IntOperand(0), limb = IntOperand(1);
  AdvanceOperands(2);
  const int32_t slot = LimbObject(number, limb);
  if (slot >= 0) SetLimbShown(slot, limb, Shown);
}

void CmdSetLimbCollision() {
  const int32_t number = IntOperand(0), limb = IntOperand(1), flag = IntOperand(2);
  AdvanceOperands(3);
  const int32_t slot = LimbObject(number, limb);
  if (slot < 0) return;
  RunDueCollisionTests();
  for (int32_t at : ObjectsSharingModel(slot))
    if (limb < ObjectAt(at)->limbCapacity) ObjectAt(at)->limbs[limb].collisionOff = flag == 0 ? 1 : 0;
  ObjectRecord* object = ObjectAt(slot);
  if (flag == 0)
    object->model->RemoveModelMeshCollision(limb);
  else if (object->limbs[limb].visible == 1)
    BuildLimbCollision(slot, limb);
  ModelChanged(slot);
}

// The new limb's frame hangs under the object's own frame with a copy of the mesh; every
// object sharing the model gets the limb.
void AddLimb(int32_t number, int32_t limb, int32_t mesh, int32_t image, bool withImage) {
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  if (limb < 1 || limb > kHighestLimb) return RuntimeError(7010);
  const ObjectRecord* object = ObjectAt(slot);
  if (limb < object->limbCount && limb < object->limbCapacity && object->limbs[limb].exists == 1)
    return RuntimeError(7011);
  if (mesh < 1 || mesh > 65534) return RuntimeError(7001);
  const int32_t meshSlot = MeshSlotForNumber(mesh);
  if (meshSlot < 0) return RuntimeError(7003);
  if (withImage && (image < 1 || image > 65535)) return RuntimeError(501);
  if (withImage && ImageIndexForNumber(image) < 0) return RuntimeError(502);
  if (object->model == nullptr || object->model->Root() == nullptr) return RuntimeError(7013);
  // Without an image the limb shows what texture object or color object gave the others.
  const int32_t texture = withImage ? GetImageTexture(image, 1) : object->appliedTexture;
  if (texture < 0) return RuntimeError(502);
  RunDueCollisionTests();
  ModelObject& model = *ObjectAt(slot)->model;
  if (model.AddUserFrame(limb, MeshDataOf(*MeshAt(meshSlot)), 0) != kModelOk) {
    if (withImage && texture > 0) ReleaseTexture(texture, 0);
    return RuntimeError(7013);
  }
  model.SetModelMeshTexture(limb, texture);
  model.SetModelFrameTransform(limb, 0, 0, 0, 0, 0, 0, 1, 1, 1, ObjectAt(slot)->rotationOrder);
  for (int32_t at : ObjectsSharingModel(slot)) {
    AddObjectLimb(at, limb);
    LimbRecord& l = ObjectAt(at)->limbs[limb];
    l.mesh = mesh;
    l.texture = withImage ? image : 0;
    l.heldTexture = withImage ? texture : 0;
    if (withImage && texture > 0 && at != slot) RetainTexture(texture);
    RefreshObjectBounds(at);
    BuildObjectCollision(at);
  }
  MarkCollisionDirty();
}

void CmdAddLimb() {
  const int32_t number = IntOperand(0), limb = IntOperand(1), mesh = IntOperand(2);
  AdvanceOperands(3);
  EndSliceAfterDrawing();
  AddLimb(number, limb, mesh, 0, false);
}

void CmdAddLimbTextured() {
  const int32_t number = IntOperand(0), limb = IntOperand(1), mesh = IntOperand(2), image = IntOperand(3);
  AdvanceOperands(4);
  EndSliceAfterDrawing();
  AddLimb(number, limb, mesh, image, true);
}

// The limb (its frame, with everything hanging under it) moves under the parent limb; its
// offset then counts from there. A limb cannot go under itself, under one of its own limbs,
// nor be limb 0 or go under it (the object's own frame).
void CmdLinkLimb() {
  const int32_t number = IntOperand(0), limb = IntOperand(1), parent = IntOperand(2);
  AdvanceOperands(3);
  const int32_t slot = LimbObject(number, limb);
  if (slot < 0 || LimbObject(number, parent) < 0) return;
  if (ObjectAt(slot)->model->LinkModelNode(limb, parent) != kModelOk) return RuntimeError(7012);
  RefreshObjectBounds(slot);
  ModelChanged(slot);
}

// The limb's meshes take the texture; this object and each copy sharing the model hold one
// reference of it for the limb and let go of the one they held before.
void SetLimbTexture(int32_t slot, int32_t limb, int32_t texture, int32_t image) {
  ObjectAt(slot)->model->SetModelMeshTexture(limb, texture);
  for (int32_t at : ObjectsSharingModel(slot)) {
    if (limb >= ObjectAt(at)->limbCapacity) continue;
    if (at != slot && texture > 0) RetainTexture(texture);
    const int32_t held = ObjectAt(at)->limbs[limb].heldTexture;
    if (held > 0) ReleaseTexture(held, 0);
    LimbRecord& l = ObjectAt(at)->limbs[limb];
    l.heldTexture = texture;
    l.texture = image;
  }
}

void CmdTextureLimb() {
  const int32_t number = IntOperand(0), limb = IntOperand(1), image = IntOperand(2);
  AdvanceOperands(3);
  const int32_t slot = LimbObject(number, limb);
  if (slot < 0) return;
  if (image < 1 || image > 65535) return RuntimeError(501);
  const int32_t texture = GetImageTexture(image, 1);
  if (texture < 0) return RuntimeError(502);
  SetLimbTexture(slot, limb, texture, image);
}

void CmdColorLimb() {
  const int32_t number = IntOperand(0), limb = IntOperand(1), rgb = IntOperand(2);
  AdvanceOperands(3);
  const int32_t slot = LimbObject(number, limb);
  if (slot >= 0) SetLimbTexture(slot, limb, GetColorTexture(static_cast<uint32_t>(rgb)), 0);
}

void CmdCopyLimbTexture() {
  const int32_t number = IntOperand(0), limb = IntOperand(1), other = IntOperand(2), otherLimb = IntOperand(3);
  AdvanceOperands(4);
  const int32_t slot = LimbObject(number, limb);
  if (slot < 0) return;
  const int32_t from = LimbObject(other, otherLimb);
  if (from < 0) return;
  int32_t texture = 0;
  ObjectAt(from)->model->ReadModelMeshTexture(otherLimb, texture);
  if (texture > 0) RetainTexture(texture);
  SetLimbTexture(slot, limb, texture, ObjectAt(from)->limbs[otherLimb].texture);
}

void CmdSaveLimbTexture() {
  const std::string fileName = TextOperand(0);
  const int32_t number = IntOperand(1), limb = IntOperand(2);
  AdvanceOperands(3);
  const int32_t slot = LimbObject(number, limb);
  if (slot < 0) return;
  int32_t texture = 0;
  ObjectAt(slot)->model->ReadModelMeshTexture(limb, texture);
  std::string why;  // names the file and the reason
  if (!SaveTextureFile(texture, MapProgramPath(fileName.c_str()).c_str(), &why)) {
    WriteEngineErrorLog((why.starts_with("cannot write ") ? why : fileName + ": " + why).c_str());
    RuntimeError(7014);
  }
}

// Texture coordinates: moved or multiplied on one limb's meshes, or on every limb's.
template <bool Multiply>
void ChangeLimbUV(ModelObject& model, int32_t limb, float u, float v) {
  if (Multiply)
    model.ScaleModelMeshUV(limb, u, v);
  else
    model.ScrollModelMeshUV(limb, u, v);
}

template <bool Multiply>
void CmdLimbTextureCoordinates() {
  const int32_t number = IntOperand(0), limb = IntOperand(1);
  const float u = FloatOperand(2), v = FloatOperand(3);
  AdvanceOperands(4);
  const int32_t slot = LimbObject(number, limb);
  if (slot >= 0) ChangeLimbUV<Multiply>(*ObjectAt(slot)->model, limb, u, v);
}

template <bool Multiply>
void CmdObjectTextureCoordinates() {
  const int32_t number = IntOperand(0);
  const float u = FloatOperand(1), v = FloatOperand(2);
  AdvanceOperands(3);
  const int32_t slot = ExistingObject(number);
  if (slot < 0 || ObjectAt(slot)->model == nullptr) return;
  ModelObject& model = *ObjectAt(slot)->model;
  for (int32_t id = 0; id <= model.GetModelNodeCount(); ++id) ChangeLimbUV<Multiply>(model, id, u, v);
}

// The limb's meshes are made again from the mesh record (its vertices, faces, normals and
// texture coordinates); texture and place stay. Their collision shapes are made anew.
void CmdChangeMesh() {
  const int32_t number = IntOperand(0), limb = IntOperand(1), mesh = IntOperand(2);
  AdvanceOperands(3);
  const int32_t slot = LimbObject(number, limb);
  if (slot < 0) return;
  if (mesh < 1 || mesh > 65534) return RuntimeError(7001);
  const int32_t meshSlot = MeshSlotForNumber(mesh);
  if (meshSlot < 0) return RuntimeError(7003);
  RunDueCollisionTests();
  ObjectAt(slot)->model->RemoveModelMeshCollision(limb);
  ObjectAt(slot)->model->RebuildModelMeshFromRecord(limb, MeshDataOf(*MeshAt(meshSlot)));
  for (int32_t at : ObjectsSharingModel(slot)) {
    ObjectAt(at)->limbs[limb].mesh = mesh;
    RefreshObjectBounds(at);
    const LimbRecord& l = ObjectAt(at)->limbs[limb];
    if (l.visible == 1 && l.collisionOff != 1) BuildLimbCollision(at, limb);
  }
  MarkCollisionDirty();
}

// Normals are handed to the device lengthened by the percent (the vertex buffers are filled
// again), for scaled objects drawn while normals are not renormalised.
void CmdScaleObjectNormals() {
  const int32_t number = IntOperand(0), percent = IntOperand(1);
  AdvanceOperands(2);
  const int32_t slot = ExistingObject(number);
  if (slot >= 0 && ObjectAt(slot)->model != nullptr)
    ObjectAt(slot)->model->RefillModelVertexBuffers(static_cast<float>(percent) / 100.0f);
}

// Values: (result, object, limb).
template <typename Read>
void LimbValue(Read read) {
  const int32_t number = IntOperand(1), limb = IntOperand(2);
  const int32_t slot = LimbObject(number, limb);
  if (slot >= 0) read(slot, limb);
  AdvanceOperands(3);
}

void CmdLimbExist() {
  const int32_t number = IntOperand(1), limb = IntOperand(2);
  const int32_t slot = ExistingObject(number);
  if (slot >= 0) {
    const ObjectRecord* object = ObjectAt(slot);
    WriteIntResult(limb >= 0 && limb < object->limbCount && limb < object->limbCapacity &&
                           object->limbs[limb].exists == 1
                       ? 1
                       : 0);
  }
  AdvanceOperands(3);
}

// Where the limb is in the world now (kept in its record): its position, and its angles read
// from its world matrix in the object's rotation order.
void UpdateLimbWorld(int32_t slot, int32_t limb) {
  Matrix4 world;
  if (!LimbWorldMatrix(slot, limb, world)) return;
  LimbRecord& l = ObjectAt(slot)->limbs[limb];
  for (int i = 0; i < 3; ++i) l.worldPosition[i] = world.m[3][i];
  // The turn alone: each axis row brought back to length 1 (scales are left out).
  Matrix4 turn;
  MatrixIdentity(turn);
  for (int row = 0; row < 3; ++row) {
    const float length = Vector3Length(Vector3{world.m[row][0], world.m[row][1], world.m[row][2]});
    for (int column = 0; column < 3; ++column) turn.m[row][column] = length > 0 ? world.m[row][column] / length : 0;
  }
  AnglesOfTurn(turn, ObjectAt(slot)->rotationOrder, l.worldAngles);
}

template <int Axis>
void CmdLimbPosition() {
  LimbValue([](int32_t slot, int32_t limb) {
    UpdateLimbWorld(slot, limb);
    WriteFloatResult(ObjectAt(slot)->limbs[limb].worldPosition[Axis]);
  });
}
template <int Axis>
void CmdLimbWorldAngle() {
  LimbValue([](int32_t slot, int32_t limb) {
    UpdateLimbWorld(slot, limb);
    WriteFloatResult(ObjectAt(slot)->limbs[limb].worldAngles[Axis]);
  });
}
template <int Axis>
void CmdLimbOffset() {
  LimbValue([](int32_t slot, int32_t limb) { WriteFloatResult(ObjectAt(slot)->limbs[limb].offset[Axis]); });
}
void CmdLimbTexture() {
  LimbValue([](int32_t slot, int32_t limb) { WriteIntResult(ObjectAt(slot)->limbs[limb].texture); });
}
void CmdLimbName() {
  LimbValue([](int32_t slot, int32_t limb) {
    char name[kModelNameSize] = {};
    ObjectAt(slot)->model->GetModelFrameName(limb, name, sizeof name);
    WriteTextResult(name);
  });
}
void CmdLimbTextureName() {
  LimbValue([](int32_t slot, int32_t limb) {
    char name[kModelNameSize] = {};
    ObjectAt(slot)->model->GetModelMeshTextureName(limb, name, sizeof name);
    WriteTextResult(name);
  });
}

const CommandEntry kLimbCommands[] = {
    {kAddLimb, CmdAddLimb},
    {kAddLimbTextured, CmdAddLimbTextured},
    {kLinkLimb, CmdLinkLimb},
    {kHideLimb, CmdShowLimb<false>},
    {kShowLimb, CmdShowLimb<true>},
    {kOffsetLimb, LimbXyzCommand<Offset>},
    {kRotateLimb, LimbXyzCommand<Rotate>},
    {kScaleLimb, LimbXyzCommand<Scale>},
    {kXRotateLimb, CmdLimbAngle<0>},
    {kYRotateLimb, CmdLimbAngle<1>},
    {kZRotateLimb, CmdLimbAngle<2>},
    {kTextureLimb, CmdTextureLimb},
    {kColorLimb, CmdColorLimb},
    {kCopyLimbTexture, CmdCopyLimbTexture},
    {kSaveLimbTexture, CmdSaveLimbTexture},
    {kScrollLimbTexture, CmdLimbTextureCoordinates<false>},
    {kScrollObjectTexture, CmdObjectTextureCoordinates<false>},
    {kScaleLimbTexture, CmdLimbTextureCoordinates<true>},
    {kScaleObjectTexture, CmdObjectTextureCoordinates<true>},
    {kChangeMesh, CmdChangeMesh},
    {kScaleObjectNormals, CmdScaleObjectNormals},
    {kSetLimbCollision, CmdSetLimbCollision},
    {kLimbExist, CmdLimbExist},
    {kLimbPositionX, CmdLimbPosition<0>},
    {kLimbPositionY, CmdLimbPosition<1>},
    {kLimbPositionZ, CmdLimbPosition<2>},
    {kLimbAngleX, CmdLimbWorldAngle<0>},
    {kLimbAngleY, CmdLimbWorldAngle<1>},
    {kLimbAngleZ, CmdLimbWorldAngle<2>},
    {kLimbOffsetX, CmdLimbOffset<0>},
    {kLimbOffsetY, CmdLimbOffset<1>},
    {kLimbOffsetZ, CmdLimbOffset<2>},
    {kLimbName, CmdLimbName},
    {kLimbTexture, CmdLimbTexture},
    {kLimbTextureName, CmdLimbTextureName},
};

}  // namespace

CommandTableView LimbCommandTable() { return {kLimbCommands, std::size(kLimbCommands)}; }
