// The static world's commands: objects made static (as level geometry, or removable again),
// the world cleared, saved and loaded, collision boxes placed and queried; and the engine's
// side of the world: its host callbacks and the render step that draws it.
#include "engine3d/engine3d_local.h"
#include "graphics2d/graphics2d.h"
#include "models/models.h"
#include "models/static/static_world.h"
#include "runtime/command_numbers.h"

#include <string>

namespace {

// The response of the last push-out or line-of-sight query, read back by its three values;
// cleared at every scene reset.
float g_response[3] = {0, 0, 0};

// Copies every shown mesh of the object into the static world, in world space, through a
// temporary mesh record each. Modes: 1 occluder, 2 the second flag, 3 both, 4 both and full
// height. The object is then static: neither drawn nor moved by the collision pass.
void MakeObjectStatic(int32_t slot, int32_t mode, int32_t owner) {
  ObjectRecord* object = ObjectAt(slot);
  if (object->isStatic == 1 || object->model == nullptr) {
    object->isStatic = 1;
    return;
  }
  const bool occluder = mode == 1 || mode >= 3, secondFlag = mode >= 2, fullHeight = mode == 4;
  UpdateObjectTransform(slot);
  ModelObject* model = ObjectAt(slot)->model;
  model->VisitModelMeshesComposed([&](const MeshNode& node, const Matrix4& m) {
    if (node.drawFlag == 0) return;
    const int32_t mesh = AllocMeshSlot();
    if (mesh < 0) return;
    AppendMeshGeometry(mesh, node, m);
    const MeshRecord& record = *MeshAt(mesh);
    AddStaticMesh(node.texture, record.positions, record.normals, record.faces, record.faceWords, record.uvs,
                  record.vertexCount, record.faceCount, occluder, secondFlag, owner, fullHeight);
    FreeMeshSlot(mesh);
  });
  ObjectAt(slot)->isStatic = 1;
}

// The shared operand checks of the making commands: the object (7006, 7008) and the mode
// 0..4 (7004); -1 after the error.
int32_t StaticObjectSlot(int32_t number, int32_t mode) {
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return -1;
  if (mode < 0 || mode > 4) {
    RuntimeError(7004);
    return -1;
  }
  return slot;
}

void CmdMakeStaticObject() {
  const int32_t number = IntOperand(0), mode = IntOperand(1);
  AdvanceOperands(2);
  EndSliceAfterDrawing();
  const int32_t slot = StaticObjectSlot(number, mode);
  if (slot >= 0) MakeObjectStatic(slot, mode, 0);
}

// The object's meshes become level geometry and the object itself goes.
void CmdConvertStaticObject() {
  const int32_t number = IntOperand(0), mode = IntOperand(1);
  AdvanceOperands(2);
  EndSliceAfterDrawing();
  const int32_t slot = StaticObjectSlot(number, mode);
  if (slot < 0) return;
  MakeObjectStatic(slot, mode, 0);
  ReleaseObjectSlot(slot);
}

// Removable meshes carry the object's number as their owner (record indices start at 0,
// which is the level's owner id).
void CmdMakeStaticObjectRemovable() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  EndSliceAfterDrawing();
  const int32_t slot = StaticObjectSlot(number, 0);
  if (slot >= 0) MakeObjectStatic(slot, 0, number);
}

void CmdMakeObjectMovable() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  EndSliceAfterDrawing();
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  RemoveStaticMeshes(number);
  ObjectAt(slot)->isStatic = 0;
}

void CmdDeleteStaticObjects() {
  EndSliceAfterDrawing();
  ClearStaticWorld();
}

void CmdLoadStaticObjects() {
  const std::string name = TextOperand(0);
  AdvanceOperands(1);
  EndSliceAfterDrawing();
  std::string path = name;
  // From a game's package the world is a copy in the temporary folder: its textures are
  // still named after the world as the program names it (level.dat_1.dds in the package too).
  const bool packaged = ResolvePackagedFile(path, "dat");
  path = MapProgramPath(path.c_str());
  if (!FileExists(path.c_str())) return RuntimeError(105);
  std::string whyNot;
  if (!LoadStaticWorld(path.c_str(), &whyNot, packaged ? name.c_str() : nullptr)) {
    LogErrorEntry("ENGINEERROR", ("static world " + name + " refused: " + whyNot).c_str());
    return RuntimeError(7020);
  }
}

void CmdSaveStaticObjects() {
  const std::string path = MapProgramPath(TextOperand(0));
  AdvanceOperands(1);
  EndSliceAfterDrawing();
  std::string why;  // the message of a failure ends with the file and the reason
  if (SaveStaticWorld(path.c_str(), &why)) return;
  WriteEngineErrorLog(why.c_str());
  RuntimeError(7021);
}

void CmdAddStaticBox() {
  float corners[6];
  for (int i = 0; i < 6; ++i) corners[i] = FloatOperand(i);
  AdvanceOperands(6);
  AddStaticCollisionBox(corners[0], corners[1], corners[2], corners[3], corners[4], corners[5]);
}

void CmdStaticPushOut() {
  float before[6], after[6];
  for (int i = 0; i < 6; ++i) {
    before[i] = FloatOperand(1 + i);
    after[i] = FloatOperand(7 + i);
  }
  WriteIntResult(PushBoxOutOfStaticBoxes(before, after, g_response));
  AdvanceOperands(13);
}

void CmdStaticLineOfSight() {
  float start[3], end[3];
  for (int i = 0; i < 3; ++i) {
    start[i] = FloatOperand(1 + i);
    end[i] = FloatOperand(4 + i);
  }
  const float radius = FloatOperand(7), step = FloatOperand(8);
  WriteIntResult(QueryStaticBoxes(start, end, radius, step, g_response));
  AdvanceOperands(9);
}

template <int Axis>
void CmdStaticResponse() {
  WriteFloatResult(g_response[Axis]);
  AdvanceOperands(1);
}

const CommandEntry kStaticCommands[] = {
    {kMakeStaticObject, CmdMakeStaticObject},
    {kConvertStaticObject, CmdConvertStaticObject},
    {kMakeStaticObjectRemovable, CmdMakeStaticObjectRemovable},
    {kMakeObjectMovable, CmdMakeObjectMovable},
    {kDeleteStaticObjects, CmdDeleteStaticObjects},
    {kLoadStaticObjects, CmdLoadStaticObjects},
    {kSaveStaticObjects, CmdSaveStaticObjects},
    {kAddStaticBox, CmdAddStaticBox},
    {kStaticPushOut, CmdStaticPushOut},
    {kStaticLineOfSight, CmdStaticLineOfSight},
    {kStaticResponseX, CmdStaticResponse<0>},
    {kStaticResponseY, CmdStaticResponse<1>},
    {kStaticResponseZ, CmdStaticResponse<2>},
};

}  // namespace

void ConnectStaticWorld() {
  StaticWorldHost host{};
  host.RetainTexture = RetainTexture;
  host.ReleaseTexture = ReleaseTexture;
  host.GetTextureByFile = GetTextureByFile;
  host.SaveTexture = SaveTextureFile;
  host.SetDeviceTexture = SetDeviceTexture;
  host.AddDrawnIndices = AddDrawnIndices;
  StaticWorldInit(&host);
}

void ResetStaticResponse() { g_response[0] = g_response[1] = g_response[2] = 0.0f; }

void DrawStaticWorldStep() {
  if (!StaticWorldHasGroups()) return;
  ApplyStaticWorldRenderStates();
  const CameraState& camera = Camera();
  StaticView view;
  view.world = camera.world;
  BuildCameraMatrix(view.camera);
  view.projection = camera.projection;
  view.farPlane = camera.farPlane;
  view.occlusion = camera.occlusion != 0;
  Dev().SetTransform(Device3dTransform::kWorld, camera.world.m);
  DrawStaticWorld(view);
}

CommandTableView StaticCommandTable() { return {kStaticCommands, std::size(kStaticCommands)}; }
