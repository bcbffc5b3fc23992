// 3D objects by number: the pooled object records and their limbs, the id map, and the
// commands that load, make, copy and delete objects, built-in shapes included.
#include "engine3d/engine3d_local.h"
#include "graphics2d/graphics2d.h"
#include "models/models.h"
#include "runtime/command_numbers.h"

#include <algorithm>
#include <cstdio>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>

// The built-in shapes, written at build time by tools/make_shapes.
extern const uint8_t kShape189[], kShape190[], kShape191[], kShape193[], kShape194[];
extern const size_t kShape189Size, kShape190Size, kShape191Size, kShape193Size, kShape194Size;

namespace {

RecordPool g_objectPool = MakeRecordPool("objects", sizeof(ObjectRecord), 2, 4);
// Object number -> pool index + 1; 0 = none. Cleared with every object at the end of a run.
int32_t g_objectMap[65536];
// Set when objects were made, moved or posed; the collision pass reads it.
bool g_collisionDirty = false;
bool g_collisionEveryObject = false;
// How many objects hold each model: copies share their source's model, and the last object
// that lets go of it deletes it. Cleared with every object at the end of a run.
std::unordered_map<ModelObject*, int32_t> g_modelHolders;

void HoldModel(ModelObject* model) {
  if (model != nullptr) g_modelHolders[model] += 1;
}

void DropModel(ModelObject* model) {
  if (model == nullptr) return;
  auto found = g_modelHolders.find(model);
  if (found != g_modelHolders.end() && --found->second > 0) return;
  if (found != g_modelHolders.end()) g_modelHolders.erase(found);
  delete model;
}

SpriteRecord* EntityOf(const ObjectRecord* object) { return SpriteAt(object->entity); }

void FreeAnimationArrays(ObjectRecord* object) {
  delete[] object->startRotation;
  delete[] object->targetRotation;
  delete[] object->startScale;
  delete[] object->targetScale;
  delete[] object->startPosition;
  delete[] object->targetPosition;
  object->startRotation = object->targetRotation = nullptr;
  object->startScale = object->targetScale = object->startPosition = object->targetPosition = nullptr;
}

void AllocateAnimationArrays(ObjectRecord* object) {
  FreeAnimationArrays(object);
  const size_t n = static_cast<size_t>(std::max(object->limbCount, 1));
  object->startRotation = new float[n][4]();
  object->targetRotation = new float[n][4]();
  object->startScale = new Vector3[n]();
  object->targetScale = new Vector3[n]();
  object->startPosition = new Vector3[n]();
  object->targetPosition = new Vector3[n]();
}

// Grows the limb array to hold limb l (doubling), new limbs zeroed.
void GrowLimbArray(ObjectRecord* object, int32_t limb) {
  if (limb < object->limbCapacity) return;
  int32_t capacity = std::max(object->limbCapacity, 4);
  while (capacity <= limb) capacity *= 2;
  LimbRecord* limbs = new LimbRecord[capacity]();
  if (object->limbs != nullptr) std::memcpy(limbs, object->limbs, sizeof(LimbRecord) * object->limbCapacity);
  delete[] object->limbs;
  object->limbs = limbs;
  object->limbCapacity = capacity;
}

void SetupLimb(int32_t slot, int32_t limb) {
  ObjectRecord* object = ObjectAt(slot);
  GrowLimbArray(object, limb);
  LimbRecord& l = object->limbs[limb];
  l = LimbRecord{};
  l.exists = 1;
  l.visible = 1;
  l.link = 1;
  l.scale[0] = l.scale[1] = l.scale[2] = 1.0f;
}

// Every limb of a loaded or copied model: offset from the model frame's matrix. Limb 0's
// frame carries the object's own place, so its offset starts at 0.
void SetupModelLimbs(int32_t slot) {
  ObjectRecord* object = ObjectAt(slot);
  for (int32_t limb = 0; limb < object->limbCount; ++limb) {
    SetupLimb(slot, limb);
    object = ObjectAt(slot);
    object->limbs[limb].link = 0;
    if (limb == 0) continue;
    Matrix4 frame;
    MatrixIdentity(frame);
    object->model->GetModelFrameMatrix(limb, frame);
    LimbRecord& l = object->limbs[limb];
    l.offset[0] = frame.m[3][0];
    l.offset[1] = frame.m[3][1];
    l.offset[2] = frame.m[3][2];
  }
}

// Whether limb 0 was offset, turned or scaled (it then moves the model inside the object).
bool LimbMovedFromRest(const LimbRecord& l) {
  for (int i = 0; i < 3; ++i)
    if (l.offset[i] != 0.0f || l.angles[i] != 0.0f || l.scale[i] != 1.0f) return true;
  return false;
}

// The first frame of the model with the number, in the model's order; null when none has it.
const FrameNode* FindFrame(const ModelNode* node, int32_t id) {
  for (; node != nullptr; node = node->next) {
    if (node->kind != ModelNodeKind::Frame) continue;
    if (node->id == id) return static_cast<const FrameNode*>(node);
    if (const FrameNode* below = FindFrame(node->child, id)) return below;
  }
  return nullptr;
}

void ReadBounds(ObjectRecord* object) {
  object->sphereRadius = object->secondRadius = 0.0f;
  object->sphereCentre = Vector3{0, 0, 0};
  for (int i = 0; i < 3; ++i) object->size[i] = object->boxMin[i] = object->boxMax[i] = object->boxCentre[i] = 0.0f;
  if (object->model == nullptr || object->model->Root() == nullptr) return;
  Vector3 centre{0, 0, 0};
  float radius = 0.0f;
  if (object->model->GetModelBoundingSphere(centre, radius) == kModelOk) {
    object->sphereRadius = std::trunc(radius) + 1.0f;
    object->sphereCentre = centre;
  }
  Vector3 secondCentre{0, 0, 0};
  float second = 0.0f;
  if (object->model->GetModelRadius(secondCentre, second) == kModelOk) object->secondRadius = std::trunc(second) + 1.0f;
  // The model widens the box it is given: it starts empty, and stays zero without vertices.
  float low[3] = {FLT_MAX, FLT_MAX, FLT_MAX}, high[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
  if (object->model->GetModelBoundingBox(low[0], low[1], low[2], high[0], high[1], high[2]) == kModelOk &&
      low[0] <= high[0]) {
    for (int i = 0; i < 3; ++i) {
      object->boxMin[i] = low[i];
      object->boxMax[i] = high[i];
      object->size[i] = std::fabs(high[i] - low[i]);
      object->boxCentre[i] = low[i] + (high[i] - low[i]) * 0.5f;
    }
  }
}

int32_t SetupNewObject(int32_t slot, int32_t flag) {
  if (Scene().autoBackdrop) Scene().backdropOn = true;
  ObjectRecord* object = ObjectAt(slot);
  object->inUse = 1;
  object->created = 1;
  object->isStatic = 0;
  for (int i = 0; i < 3; ++i) {
    object->angles[i] = 0.0f;
    object->scale[i] = 1.0f;
  }
  object->rotationOrder = 0;
  object->gluedObject = object->gluedLimb = 0;
  object->ownMatrixFlag = 0;
  MatrixIdentity(object->ownMatrix);
  object->collisionOn = 1;

  const int32_t entity = AllocSpriteSlot();
  if (entity < 0) return -1;
  object = ObjectAt(slot);
  object->entity = entity;
  SpriteRecord* e = SpriteAt(entity);
  e->object = slot;
  e->position3D[0] = e->position3D[1] = e->position3D[2] = 0.0f;
  e->is3D = 1;
  e->zTest = 1;
  e->zWrite = 1;
  e->colourKey = 0;
  e->ghost = 0;
  e->ghostMode = 0;
  e->wireframe = 0;
  e->cull = 1;
  e->filter = 1;
  e->fullBright = 0;
  e->fog = 1;
  e->ambient = 1;
  e->afterClear = 0;
  e->locked = 0;
  e->addressMode = kAddressWrap;
  e->shown = 1;
  e->inUse = 1;
  e->imageRecord = -1;
  e->keepBackground = 0;

  object->boxCollision = 0;
  object->rotatedBox = 0;
  SetupLimb(slot, 0);
  MarkObjectMoved(slot);
  UpdateObjectTransform(slot);
  object = ObjectAt(slot);
  object->frame = 0.0f;
  object->speed = 0.2f;
  object->startFrame = object->endFrame = 0.0f;
  object->interpolation = 1.0f;
  object->pending = 0;
  object->targetFrame = object->blendProgress = 0.0f;
  object->ownPoseFrame = -1.0f;
  object->shapeKind = 0;
  ReadBounds(object);
  if (Camera().autoCamera && flag != 0) PlaceCameraInFrontOf(object->sphereCentre, object->sphereRadius);
  return entity;
}

// Takes a record for the number (the caller has checked it), with a model of its own.
int32_t TakeObjectSlot(int32_t number) {
  const int32_t slot = AllocRecord(g_objectPool);
  if (slot < 0) return -1;
  ObjectAt(slot)->entity = -1;
  g_objectMap[number] = slot + 1;
  ObjectAt(slot)->number = number;
  return slot;
}

// loosenGlued: objects glued to it come loose (not needed when every object goes).
void ReleaseObject(int32_t slot, bool loosenGlued = true) {
  RunDueCollisionTests();
  ObjectRecord* object = ObjectAt(slot);
  UnlinkPlayingObject(slot);
  object = ObjectAt(slot);
  const int32_t number = object->number;
  if (Scene().backdropObject == number) Scene().backdropObject = 0;  // a new object of that number is not the backdrop
  object->inUse = 0;
  object->isStatic = 0;
  object->boxCollision = 0;
  object->rotatedBox = 0;
  if (object->entity >= 0) FreeSpriteSlot(object->entity);
  object = ObjectAt(slot);
  if (object->appliedTexture > 0) ReleaseTexture(object->appliedTexture, 0);
  object->appliedTexture = 0;
  ReleaseLimbTextures(slot);
  // A model shared with copies outlives this object: its collision objects go now, and the
  // next pass clears hits that name it.
  if (object->model != nullptr && number >= 1) object->model->RemoveModelCollision(number);
  g_collisionDirty = true;  // the pass clears hits that name it; no other object moved
  DropModel(object->model);
  object->model = nullptr;
  delete[] object->limbs;
  object->limbs = nullptr;
  object->limbCapacity = 0;
  FreeAnimationArrays(object);
  FreeRecord(g_objectPool, slot);
  if (number >= 1 && number <= 65535) g_objectMap[number] = 0;
  // Objects glued to it come loose: they draw at their own place in the world again.
  if (!loosenGlued) return;
  for (int32_t at = g_objectPool.usedHead; at >= 0; at = ObjectAt(at)->links.next)
    if (ObjectAt(at)->gluedObject == number) ObjectAt(at)->gluedObject = ObjectAt(at)->gluedLimb = 0;
}

// Number check for a command that makes an object: 1..65535 (7006), free (7007).
bool NewObjectNumber(int32_t number) {
  if (number < 1 || number > 65535) {
    RuntimeError(7006);
    return false;
  }
  if (g_objectMap[number] != 0) {
    RuntimeError(7007);
    return false;
  }
  return true;
}

// Loads a .x (or converted .3ds) file into the object: the limb count, or -1 for another
// extension, -4 for a missing file, a converter's negative code, or 0 when loading failed;
// on failure whyNot says why in words.
int32_t LoadObject(int32_t slot, const char* fileName, std::string& whyNot) {
  std::string name = fileName;
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  // The folder part (as written: file names here are case-sensitive) is where the model's
  // texture files are looked for; a name without one clears it.
  const size_t slash = name.find_last_of("\\/", name.size() >= 2 ? name.size() - 2 : 0);
  SetModelFolder(slash != std::string::npos && slash >= 1 ? std::string(fileName, slash) : std::string());
  const size_t dot = name.rfind('.');
  const std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot + 1);
  if (extension != "x" && extension != "3ds") {
    whyNot = "not a model file: a model is a .x or .3ds file";
    return -1;
  }
  std::string path = fileName;
  ResolvePackagedFile(path, "dat");
  path = MapProgramPath(path.c_str());
  std::string toLoad = path;
  const bool converted = extension == "3ds";
  if (!converted) {
    if (!FileExists(path.c_str())) {
      whyNot = "no such file";
      return -4;
    }
  } else {
    // The converter takes any file and reports only a missing one: a file that is not 3DS
    // (no main chunk first) is refused here, and an old work file must not stand in for a
    // conversion that could not be written.
    unsigned char head[2] = {0, 0};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
      whyNot = "no such file";
      return -4;
    }
    const size_t got = std::fread(head, 1, 2, file);
    std::fclose(file);
    if (got < 2 || head[0] != 0x4D || head[1] != 0x4D) {
      whyNot = "not a 3DS file";
      return -5;
    }
    toLoad = TemporaryFolder() + "/workfile.x";
    DeleteFileIfExists(toLoad.c_str());
    const int32_t result = Convert3dsToX(path.c_str(), toLoad.c_str());
    if (result < 0) {
      whyNot = "no such file";
      return result;
    }
    if (!FileExists(toLoad.c_str())) {
      whyNot = "the converted model could not be written to " + toLoad;
      return -6;
    }
  }
  ObjectRecord* object = ObjectAt(slot);
  if (object->model == nullptr) {
    object->model = new ModelObject;
    HoldModel(object->model);
  }
  const ModelResult loaded = object->model->LoadModelX(toLoad.c_str());
  if (converted) DeleteFileIfExists(toLoad.c_str());
  if (loaded != kModelOk) {
    whyNot = object->model->LastLoadError();
    DropModel(object->model);
    object->model = nullptr;
    return 0;
  }
  return object->model->GetModelNodeCount();
}

void FinishObjectCollision(int32_t slot, int32_t kind, float a, float b, float c, uint8_t boxByte) {
  ObjectRecord* object = ObjectAt(slot);
  object->boxCollision = boxByte;
  if (boxByte) object->rotatedBox = 0;
  object->shapeKind = kind;
  object->collisionSize[0] = a;
  object->collisionSize[1] = b;
  object->collisionSize[2] = c;
  BuildObjectCollision(slot);
  MarkObjectCollisionChanged(slot);
}

void CmdLoadObject() {
  const std::string fileName = TextOperand(0);
  const int32_t number = IntOperand(1);
  AdvanceOperands(2);
  EndSliceAfterDrawing();
  if (number < 1 || number > 65535) return RuntimeError(7006);
  if (g_objectMap[number] != 0) ReleaseObject(g_objectMap[number] - 1);
  const int32_t slot = AllocRecord(g_objectPool);
  if (slot < 0) return;
  ObjectAt(slot)->entity = -1;
  std::string whyNot;
  const int32_t result = LoadObject(slot, fileName.c_str(), whyNot);
  if (result <= 0) {
    FreeRecord(g_objectPool, slot);
    // The error message ends with the reason: which file, and what the reader found wrong.
    if (result != -3) WriteEngineErrorLog((fileName + ": " + whyNot).c_str());
    if (result == -4) return RuntimeError(105);
    if (result == -3) return RuntimeWarning(7102);
    if (result == -1) return RuntimeError(7101);
    return RuntimeError(7018);
  }
  g_objectMap[number] = slot + 1;
  ObjectAt(slot)->number = number;
  SetupNewObject(slot, 1);
  ObjectRecord* object = ObjectAt(slot);
  object->limbCount = result;
  ComputeTotalFrames(slot);
  AllocateAnimationArrays(ObjectAt(slot));
  SetupModelLimbs(slot);
  FinishObjectCollision(slot, 52, 0, 0, 0, 1);
  // The rest of the model is there; the program hears what is not.
  const std::string leftOut = ObjectAt(slot)->model->LastLoadLeftOut();
  if (!leftOut.empty()) RuntimeWarningSaying(7103, fileName + ": " + leftOut);
}

void CmdMakeObject() {
  const int32_t number = IntOperand(0), mesh = IntOperand(1), image = IntOperand(2);
  AdvanceOperands(3);
  EndSliceAfterDrawing();
  if (!NewObjectNumber(number)) return;
  // Mesh 0 makes an empty frame; any other number must name a mesh record.
  if (mesh < 0 || mesh > 65534) return RuntimeError(7001);
  const int32_t meshSlot = mesh != 0 ? MeshSlotForNumber(mesh) : -1;
  if (mesh != 0 && meshSlot < 0) return RuntimeError(7003);
  if (image < 0 || image > 65535) return RuntimeError(501);
  if (image != 0 && ImageIndexForNumber(image) < 0) return RuntimeError(502);
  const int32_t texture = image != 0 ? GetImageTexture(image, 1) : 0;
  const int32_t slot = TakeObjectSlot(number);
  if (slot < 0) return;
  ObjectAt(slot)->model = new ModelObject;
  HoldModel(ObjectAt(slot)->model);
  ObjectAt(slot)->model->AddUserFrame(0, meshSlot >= 0 ? MeshDataOf(*MeshAt(meshSlot)) : ModelMeshData{},
                                      texture > 0 ? texture : 0);
  SetupNewObject(slot, 1);
  ObjectRecord* object = ObjectAt(slot);
  object->limbCount = 1;
  object->limbs[0].imageNumber = image;
  object->limbs[0].imageRecord = image != 0 ? ImageIndexForNumber(image) : 0;
  object->limbs[0].texture = image;
  object->limbs[0].mesh = mesh;
  // The object holds one reference to the image's texture (shared by every object made or
  // textured from the same picture): the texture goes with the last of them.
  object->appliedTexture = texture > 0 ? texture : 0;
  FinishObjectCollision(slot, 52, 0, 0, 0, 0);
}

// Made shapes: the mesh is built into the object's model, then the usual set-up follows.
template <typename Build>
void MakeShapeObject(int32_t number, Build build, int32_t kind, float a, float b, float c, uint8_t boxByte,
                     bool twoSided) {
  if (!NewObjectNumber(number)) return;
  const int32_t slot = TakeObjectSlot(number);
  if (slot < 0) return;
  ObjectAt(slot)->model = new ModelObject;
  HoldModel(ObjectAt(slot)->model);
  build(*ObjectAt(slot)->model);
  SetupNewObject(slot, 1);
  ObjectRecord* object = ObjectAt(slot);
  object->limbCount = 1;
  if (twoSided) EntityOf(object)->cull = 0;
  FinishObjectCollision(slot, kind, a, b, c, boxByte);
}

// A shape's unit mesh from its binary .x data, scaled per axis.
void LoadShapeInto(ModelObject& model, const uint8_t* bytes, size_t size, float sx, float sy, float sz) {
  if (size == 0) return;
  if (model.LoadModelXMemory(bytes, size) != kModelOk) return;
  model.ScaleModelMeshes(sx, sy, sz);
}

// Box or triangle meshes handed straight to the model: positions, normals, uvs and faces.
void AddMesh(ModelObject& model, const std::vector<float>& positions, const std::vector<float>& normals,
             const std::vector<float>& uvs, const std::vector<uint32_t>& faces, uint32_t faceCount) {
  ModelMeshData mesh;
  mesh.vertexCount = static_cast<uint32_t>(positions.size() / 3);
  mesh.positions = positions.data();
  mesh.normals = normals.data();
  mesh.uvs = uvs.data();
  mesh.faceCount = faceCount;
  mesh.faces = faces.data();
  mesh.faceWords = faces.size();
  model.AddUserFrame(0, mesh, 0);
}

void BuildBox(ModelObject& model, float sx, float sy, float sz) {
  std::vector<float> positions, normals, uvs;
  std::vector<uint32_t> faces;
  const float axes[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
  const float half[3] = {sx * 0.5f, sy * 0.5f, sz * 0.5f};
  for (const auto& n : axes) {
    // u runs along s, v down along t; the corner order is clockwise seen from outside.
    float s[3] = {0, 0, 0}, t[3] = {0, 0, 0};
    if (n[0] != 0) { s[2] = n[0]; t[1] = -1; }
    if (n[1] != 0) { s[0] = 1; t[2] = -n[1]; }
    if (n[2] != 0) { s[0] = n[2] < 0 ? 1.0f : -1.0f; t[1] = -1; }
    const uint32_t base = static_cast<uint32_t>(positions.size() / 3);
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const auto& c : corners) {
      for (int i = 0; i < 3; ++i) positions.push_back((n[i] + s[i] * c[0] + t[i] * c[1]) * half[i]);
      normals.insert(normals.end(), {n[0], n[1], n[2]});
      uvs.insert(uvs.end(), {(c[0] + 1) * 0.5f, (c[1] + 1) * 0.5f});
    }
    faces.insert(faces.end(), {3, base, base, base + 1, base + 1, base + 2, base + 2});
    faces.insert(faces.end(), {3, base, base, base + 2, base + 2, base + 3, base + 3});
  }
  AddMesh(model, positions, normals, uvs, faces, 12);
}

void BuildTriangle(ModelObject& model, const float p[9]) {
  const Vector3 a{p[3] - p[0], p[4] - p[1], p[5] - p[2]}, b{p[6] - p[0], p[7] - p[1], p[8] - p[2]};
  Vector3 n = Vector3Cross(a, b);
  const float length = Vector3Length(n);
  if (length > 0) n = Vector3{n.x / length, n.y / length, n.z / length};
  std::vector<float> positions(p, p + 9), normals, uvs{0, 0, 1, 0, 0, 1};
  for (int i = 0; i < 3; ++i) normals.insert(normals.end(), {n.x, n.y, n.z});
  AddMesh(model, positions, normals, uvs, {3, 0, 0, 1, 1, 2, 2}, 1);
}

void CmdMakeObjectBox() {
  const int32_t number = IntOperand(0);
  const float x = FloatOperand(1), y = FloatOperand(2), z = FloatOperand(3);
  AdvanceOperands(4);
  EndSliceAfterDrawing();
  MakeShapeObject(number, [&](ModelObject& m) { BuildBox(m, x, y, z); }, 1, x, y, z, 1, false);
}

struct BuiltinShape {
  const uint8_t* bytes;
  const size_t* size;
  int32_t kind;
  uint8_t boxByte;
};
const BuiltinShape kBuiltinShapes[] = {
    {kShape189, &kShape189Size, 2, 0},  // sphere
    {kShape190, &kShape190Size, 3, 1},  // cube
    {kShape191, &kShape191Size, 4, 0},  // cone
    {kShape194, &kShape194Size, 5, 0},  // cylinder
};

template <int Shape>
void CmdMakeBuiltinShape() {
  const int32_t number = IntOperand(0);
  const float size = FloatOperand(1);
  AdvanceOperands(2);
  EndSliceAfterDrawing();
  const BuiltinShape& shape = kBuiltinShapes[Shape];
  // Collision sizes: the sphere's radius, the cube's edge, cone and cylinder radius and height.
  const float a = shape.kind == 3 ? size : size / 2, b = shape.kind == 4 || shape.kind == 5 ? size : 0.0f;
  MakeShapeObject(
      number, [&](ModelObject& m) { LoadShapeInto(m, shape.bytes, *shape.size, size, size, size); }, shape.kind,
      a, b, 0, shape.boxByte, false);
}

void CmdMakeObjectPlain() {
  const int32_t number = IntOperand(0);
  const float width = FloatOperand(1), height = FloatOperand(2);
  AdvanceOperands(3);
  EndSliceAfterDrawing();
  MakeShapeObject(
      number, [&](ModelObject& m) { LoadShapeInto(m, kShape193, kShape193Size, width, height, 1.0f); }, 6, width,
      height, 1.0f, 1, true);
}

void CmdMakeObjectTriangle() {
  const int32_t number = IntOperand(0);
  float points[9];
  for (int i = 0; i < 9; ++i) points[i] = FloatOperand(1 + i);
  AdvanceOperands(10);
  EndSliceAfterDrawing();
  MakeShapeObject(number, [&](ModelObject& m) { BuildTriangle(m, points); }, 99, 0, 0, 0, 0, true);
}

void CmdDeleteObject() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  EndSliceAfterDrawing();
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  ReleaseObject(slot);
}

// The copy shares the source's model (held by both, freed by the last one to go) but gets
// its own display entity, limb array and defaults.
void CmdDuplicateObject() {
  const int32_t source = IntOperand(0), number = IntOperand(1);
  AdvanceOperands(2);
  EndSliceAfterDrawing();
  const int32_t from = ExistingObject(source);
  if (from < 0) return;
  if (number < 1 || number > 65535) return RuntimeError(7006);
  RunDueCollisionTests();  // the copy starts with the source's hits of the last sync
  if (g_objectMap[number] != 0) {
    if (g_objectMap[number] - 1 == from) return;  // copying an object onto itself changes nothing
    ReleaseObject(g_objectMap[number] - 1);
  }
  const int32_t slot = TakeObjectSlot(number);
  if (slot < 0) return;
  ObjectRecord* copy = ObjectAt(slot);
  const RecordLinks links = copy->links;
  *copy = *ObjectAt(from);
  copy->links = links;
  copy->number = number;
  copy->limbs = nullptr;
  copy->limbCapacity = 0;
  copy->playingNode = nullptr;
  if (copy->appliedTexture > 0) RetainTexture(copy->appliedTexture);  // the shared meshes show it
  copy->startRotation = copy->targetRotation = nullptr;
  copy->startScale = copy->targetScale = copy->startPosition = copy->targetPosition = nullptr;
  HoldModel(copy->model);
  const int32_t limbs = copy->limbCount;
  SetupNewObject(slot, 1);
  copy = ObjectAt(slot);
  copy->limbCount = limbs;
  copy->totalFrames = 0.0f;
  copy->endFrame = 0.0f;
  AllocateAnimationArrays(copy);
  if (copy->model != nullptr) SetupModelLimbs(slot);
  // The shared meshes keep what the source's limbs show: the copy holds those textures too.
  for (int32_t limb = 0; limb < limbs && limb < ObjectAt(from)->limbCapacity; ++limb) {
    const LimbRecord& source = ObjectAt(from)->limbs[limb];
    LimbRecord& l = ObjectAt(slot)->limbs[limb];
    l.exists = source.exists;
    l.visible = source.visible;
    l.collisionOff = source.collisionOff;
    l.texture = source.texture;
    l.mesh = source.mesh;
    l.heldTexture = source.heldTexture;
    if (l.heldTexture > 0) RetainTexture(l.heldTexture);
  }
  FinishObjectCollision(slot, 52, 0, 0, 0, ObjectAt(slot)->boxCollision);
}

const CommandEntry kObjectCommands[] = {
    {kLoadObject, CmdLoadObject},
    {kMakeObject, CmdMakeObject},
    {kDeleteObject, CmdDeleteObject},
    {kMakeObjectBox, CmdMakeObjectBox},
    {kMakeObjectSphere, CmdMakeBuiltinShape<0>},
    {kMakeObjectCube, CmdMakeBuiltinShape<1>},
    {kMakeObjectCone, CmdMakeBuiltinShape<2>},
    {kMakeObjectCylinder, CmdMakeBuiltinShape<3>},
    {kMakeObjectPlain, CmdMakeObjectPlain},
    {kMakeObjectTriangle, CmdMakeObjectTriangle},
    {kDuplicateObject, CmdDuplicateObject},
};

}  // namespace

RecordPool* ObjectPool() { return &g_objectPool; }
void ReleaseObjectSlot(int32_t slot) { ReleaseObject(slot); }

int32_t ModelHolderCount(ModelObject* model) {
  const auto found = g_modelHolders.find(model);
  return found == g_modelHolders.end() ? 0 : found->second;
}

ObjectRecord* ObjectAt(int32_t slot) { return RecordAt<ObjectRecord>(g_objectPool, slot); }

int32_t ObjectSlotForNumber(int32_t number) {
  if (number < 1 || number > 65535) return -1;
  return g_objectMap[number] - 1;
}

int32_t ExistingObject(int32_t number) {
  if (number < 1 || number > 65535) {
    RuntimeError(7006);
    return -1;
  }
  if (g_objectMap[number] == 0) {
    RuntimeError(7008);
    return -1;
  }
  return g_objectMap[number] - 1;
}

void MarkObjectMoved(int32_t slot) {
  ObjectAt(slot)->placementDirty = 1;
  MarkObjectCollisionChanged(slot);
}

void UpdateObjectTransform(int32_t slot) {
  ObjectRecord* object = ObjectAt(slot);
  if (object->model == nullptr) return;
  if (object->placementDirty) {
    // The model builds the placement (scale, turn, then position): in free rotation from the
    // object's own matrix, else from its angles in its rotation order. It is kept until the
    // object moves, as copies sharing the model set it again at every draw.
    const float* p = EntityOf(object)->position3D;
    const float* s = object->scale;
    ModelObject& model = *object->model;
    if (object->ownMatrixFlag == 1)
      model.SetModelFrameMatrix(0, p[0], p[1], p[2], object->ownMatrix, s[0], s[1], s[2]);
    else
      model.SetModelFrameTransform(0, p[0], p[1], p[2], object->angles[0], object->angles[1], object->angles[2], s[0],
                                   s[1], s[2], object->rotationOrder);
    MatrixIdentity(object->placement);
    model.GetModelFrameMatrix(0, object->placement);
    // Limb 0 offsets, turns and scales the model inside the object's place.
    if (object->limbs != nullptr && LimbMovedFromRest(object->limbs[0])) {
      const LimbRecord& l = object->limbs[0];
      Matrix4 limb;
      MatrixFromPlacement(limb, l.offset[0], l.offset[1], l.offset[2], l.angles[0], l.angles[1], l.angles[2],
                          l.scale[0], l.scale[1], l.scale[2], object->rotationOrder);
      MatrixMultiply(object->placement, limb, object->placement);
    }
    object->placementDirty = 0;
  }
  object->model->SetModelFrameMatrixDirect(0, object->placement);
}

std::vector<int32_t> ObjectsSharingModel(int32_t slot) {
  std::vector<int32_t> slots{slot};
  ModelObject* model = ObjectAt(slot)->model;
  // Only a shared model sends the search through every object.
  if (model == nullptr || ModelHolderCount(model) <= 1) return slots;
  for (int32_t at = g_objectPool.usedHead; at >= 0; at = ObjectAt(at)->links.next)
    if (at != slot && ObjectAt(at)->model == model) slots.push_back(at);
  return slots;
}

void AddObjectLimb(int32_t slot, int32_t limb) {
  SetupLimb(slot, limb);
  ObjectRecord* object = ObjectAt(slot);
  if (limb < object->limbCount) return;
  const int32_t before = object->limbCount;
  object->limbCount = limb + 1;
  // The animation's per-limb arrays follow the count (a running blend keeps its values).
  if (object->startRotation == nullptr) return;
  float(*startRotation)[4] = object->startRotation;
  float(*targetRotation)[4] = object->targetRotation;
  Vector3 *startScale = object->startScale, *targetScale = object->targetScale;
  Vector3 *startPosition = object->startPosition, *targetPosition = object->targetPosition;
  // The old arrays are copied from below, so the allocation must not free them.
  object->startRotation = object->targetRotation = nullptr;
  object->startScale = object->targetScale = object->startPosition = object->targetPosition = nullptr;
  AllocateAnimationArrays(object);
  const size_t kept = static_cast<size_t>(std::max(before, 1));
  std::memcpy(object->startRotation, startRotation, sizeof(float[4]) * kept);
  std::memcpy(object->targetRotation, targetRotation, sizeof(float[4]) * kept);
  std::copy(startScale, startScale + kept, object->startScale);
  std::copy(targetScale, targetScale + kept, object->targetScale);
  std::copy(startPosition, startPosition + kept, object->startPosition);
  std::copy(targetPosition, targetPosition + kept, object->targetPosition);
  delete[] startRotation;
  delete[] targetRotation;
  delete[] startScale;
  delete[] targetScale;
  delete[] startPosition;
  delete[] targetPosition;
}

void ReleaseLimbTextures(int32_t slot) {
  ObjectRecord* object = ObjectAt(slot);
  for (int32_t limb = 0; limb < object->limbCapacity && object->limbs != nullptr; ++limb) {
    LimbRecord& l = object->limbs[limb];
    if (l.heldTexture > 0) ReleaseTexture(l.heldTexture, 0);
    object = ObjectAt(slot);
    object->limbs[limb].heldTexture = 0;
  }
}

void RefreshObjectBounds(int32_t slot) {
  // The bounds are the model's own: its root frame leaves the object's place out meanwhile.
  ObjectRecord* object = ObjectAt(slot);
  if (object->model == nullptr) return;
  Matrix4 identity;
  MatrixIdentity(identity);
  object->model->SetModelFrameMatrixDirect(0, identity);
  ReadBounds(object);
  UpdateObjectTransform(slot);
}

void ObjectRotation(int32_t slot, Matrix4& out) {
  const ObjectRecord* object = ObjectAt(slot);
  if (object->ownMatrixFlag == 1 && MatrixInverse(out, object->ownMatrix) == kMathOk) return;
  MatrixFromPlacement(out, 0, 0, 0, object->angles[0], object->angles[1], object->angles[2], 1, 1, 1,
                      object->rotationOrder);
}

bool LimbWorldMatrix(int32_t slot, int32_t limb, Matrix4& out) {
  ObjectRecord* object = ObjectAt(slot);
  if (object->model == nullptr) return false;
  const FrameNode* frame = FindFrame(object->model->Root(), limb);
  if (frame == nullptr) return false;
  Matrix4 glue;
  GluedWorldTransform(slot, glue);
  UpdateObjectTransform(slot);
  // The frame's matrix under every frame above it, as drawing composes them.
  MatrixIdentity(out);
  for (const ModelNode* node = frame; node != nullptr; node = ModelNodeParent(node)) {
    const auto* f = static_cast<const FrameNode*>(node);
    if (f->id == 0 && f->rootMatrixFlag == 1) MatrixMultiply(out, out, f->rootMatrix);
    MatrixMultiply(out, out, f->local);
  }
  MatrixMultiply(out, out, glue);
  return true;
}

void RestoreObjectModels() {
  for (int32_t number = 1; number <= 65535; ++number) {
    if (g_objectMap[number] == 0) continue;
    ModelObject* model = ObjectAt(g_objectMap[number] - 1)->model;
    if (model != nullptr) model->RecreateModelVertexBuffers();
  }
}

void MarkCollisionDirty() { g_collisionDirty = g_collisionEveryObject = true; }

void MarkObjectCollisionChanged(int32_t slot) {
  ObjectAt(slot)->collisionMoved = 1;
  g_collisionDirty = true;
}

bool TakeCollisionDirty(bool* everyObject) {
  const bool dirty = g_collisionDirty;
  *everyObject = g_collisionEveryObject;
  g_collisionDirty = g_collisionEveryObject = false;
  return dirty;
}

void ReleaseAllObjects() {
  DropDueCollisionTests();
  // Without an object the map is empty: a run without 3D never reads its pages.
  if (g_objectPool.records == nullptr || g_objectPool.count == 0) return;
  for (int32_t number = 1; number <= 65535; ++number)
    if (g_objectMap[number] != 0) ReleaseObject(g_objectMap[number] - 1, false);
}

bool ObjectForLight(int32_t number, float position[3], float angles[3], int32_t* ownMatrixFlag, Matrix4* ownMatrix) {
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return false;
  const ObjectRecord* object = ObjectAt(slot);
  std::memcpy(position, SpriteAt(object->entity)->position3D, sizeof(float) * 3);
  std::memcpy(angles, object->angles, sizeof(float) * 3);
  *ownMatrixFlag = object->ownMatrixFlag;
  *ownMatrix = object->ownMatrix;
  return true;
}

CommandTableView ObjectCommandTable() { return {kObjectCommands, std::size(kObjectCommands)}; }
