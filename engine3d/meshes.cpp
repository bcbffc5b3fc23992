// Mesh records: the pooled meshes that objects are made from and that the static world copies
// out of objects, the mesh number map, and the mesh commands (make a mesh from an object,
// delete it, ask whether it exists).
#include "engine3d/engine3d_local.h"
#include "models/models.h"
#include "runtime/command_numbers.h"

#include <cmath>
#include <cstring>

namespace {

void ReleaseMeshRecord(void* record) {
  MeshRecord* mesh = static_cast<MeshRecord*>(record);
  delete[] mesh->positions;
  delete[] mesh->normals;
  delete[] mesh->faces;
  delete[] mesh->uvs;
  mesh->positions = mesh->normals = mesh->uvs = nullptr;
  mesh->faces = nullptr;
}

RecordPool MakeMeshPool() {
  RecordPool pool = MakeRecordPool("meshes", sizeof(MeshRecord), 2, 4);
  pool.releaseRecord = ReleaseMeshRecord;
  return pool;
}

// Created at start-up and freed at shut-down through the runtime's pool registry.
RecordPool g_meshPool = MakeMeshPool();
// Mesh number -> pool index + 1; 0 = none. Cleared with every mesh at the end of a run.
int32_t g_meshMap[65535];

template <typename T>
void Grow(T*& array, size_t used, size_t added) {
  T* grown = new T[used + added]();
  if (array != nullptr && used > 0) std::memcpy(grown, array, sizeof(T) * used);
  delete[] array;
  array = grown;
}

// Mesh numbers are 1..65534 (7001); false after the error.
bool MeshNumberInRange(int32_t number) {
  if (number >= 1 && number <= 65534) return true;
  RuntimeError(7001);
  return false;
}

void CmdMakeMeshFromObject() {
  const int32_t number = IntOperand(0), object = IntOperand(1);
  AdvanceOperands(2);
  EndSliceAfterDrawing();
  if (!MeshNumberInRange(number)) return;
  if (g_meshMap[number] != 0) return RuntimeError(7002);
  const int32_t from = ExistingObject(object);
  if (from < 0) return;
  const int32_t slot = AllocMeshSlot();
  if (slot < 0) return;
  MeshAt(slot)->number = number;
  g_meshMap[number] = slot + 1;
  // The object's own shape, without its place in the world: the root frame is put at the
  // identity while the meshes are copied, and the placement is given back afterwards.
  ModelObject* model = ObjectAt(from)->model;
  if (model == nullptr) return;
  Matrix4 identity;
  MatrixIdentity(identity);
  model->SetModelFrameMatrixDirect(0, identity);
  model->VisitModelMeshesComposed([slot](const MeshNode& mesh, const Matrix4& m) { AppendMeshGeometry(slot, mesh, m); });
  UpdateObjectTransform(from);
}

void CmdDeleteMesh() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  EndSliceAfterDrawing();
  if (!MeshNumberInRange(number)) return;
  if (g_meshMap[number] == 0) return RuntimeError(7003);
  FreeMeshSlot(g_meshMap[number] - 1);
}

void CmdMeshExist() {
  const int32_t number = IntOperand(1);
  if (MeshNumberInRange(number)) WriteIntResult(g_meshMap[number] != 0 ? 1 : 0);
  AdvanceOperands(2);
}

const CommandEntry kMeshCommands[] = {
    {kMakeMeshFromObject, CmdMakeMeshFromObject},
    {kDeleteMesh, CmdDeleteMesh},
    {kMeshExist, CmdMeshExist},
};

}  // namespace

RecordPool* MeshPool() { return &g_meshPool; }
MeshRecord* MeshAt(int32_t slot) { return RecordAt<MeshRecord>(g_meshPool, slot); }

int32_t AllocMeshSlot() {
  const int32_t slot = AllocRecord(g_meshPool);
  if (slot >= 0) MeshAt(slot)->inUse = 1;
  return slot;
}

void FreeMeshSlot(int32_t slot) {
  MeshRecord* mesh = MeshAt(slot);
  if (mesh->number >= 1 && mesh->number <= 65534) g_meshMap[mesh->number] = 0;
  mesh->inUse = 0;
  FreeRecord(g_meshPool, slot);
}

int32_t MeshSlotForNumber(int32_t number) {
  if (number < 1 || number > 65534) return -1;
  return g_meshMap[number] - 1;
}

void AppendMeshGeometry(int32_t slot, const MeshNode& node, const Matrix4& m) {
  MeshRecord* mesh = MeshAt(slot);
  const uint32_t base = mesh->vertexCount, added = node.vertexCount;
  const uint32_t triangles = node.indexCount / 3;
  Grow(mesh->positions, base * 3u, added * 3u);
  Grow(mesh->normals, base * 3u, added * 3u);
  Grow(mesh->uvs, base * 2u, added * 2u);
  Grow(mesh->faces, mesh->faceWords, triangles * 7u);
  for (uint32_t i = 0; i < added; ++i) {
    const MeshVertex& v = node.vertices[i];
    Vector3 p{v.x, v.y, v.z};
    TransformPoint(p, p, m);
    float* position = mesh->positions + (base + i) * 3u;
    position[0] = p.x;
    position[1] = p.y;
    position[2] = p.z;
    float n[3];
    for (int axis = 0; axis < 3; ++axis) n[axis] = v.nx * m.m[0][axis] + v.ny * m.m[1][axis] + v.nz * m.m[2][axis];
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    float* normal = mesh->normals + (base + i) * 3u;
    for (int axis = 0; axis < 3; ++axis) normal[axis] = length > 0.0f ? n[axis] / length : 0.0f;
    mesh->uvs[(base + i) * 2u] = v.u;
    mesh->uvs[(base + i) * 2u + 1] = v.v;
  }
  uint32_t* face = mesh->faces + mesh->faceWords;
  for (uint32_t t = 0; t < triangles; ++t) {
    *face++ = 3;
    for (int corner = 0; corner < 3; ++corner) {
      const uint32_t index = base + node.indices[t * 3 + corner];
      *face++ = index;
      *face++ = index;
    }
  }
  mesh->vertexCount += added;
  mesh->normalCount += added;
  mesh->faceCount += triangles;
  mesh->faceWords += triangles * 7u;
}

ModelMeshData MeshDataOf(const MeshRecord& record) {
  ModelMeshData data;
  data.vertexCount = record.vertexCount;
  data.positions = record.positions;
  data.normals = record.normals;
  data.uvs = record.uvs;
  data.faceCount = record.faceCount;
  data.faces = record.faces;
  data.faceWords = record.faceWords;
  return data;
}

void ReleaseAllMeshes() {
  // Without a mesh the map is empty: a run that makes none never reads its pages.
  if (g_meshPool.records == nullptr || g_meshPool.count == 0) return;
  for (int32_t number = 1; number <= 65534; ++number)
    if (g_meshMap[number] != 0) FreeMeshSlot(g_meshMap[number] - 1);
}

CommandTableView MeshCommandTable() { return {kMeshCommands, std::size(kMeshCommands)}; }
