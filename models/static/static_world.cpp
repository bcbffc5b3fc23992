// The static world's meshes and groups: adding meshes copied out of objects, removing them by
// owner, clearing and releasing the world, and drawing the visible meshes in batches.
#include "models/static/static_world_local.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The one world; lives for the whole process, emptied at the end of each run.
StaticWorld g_world;

void NoRetain(int32_t) {}
void NoRelease(int32_t, int32_t) {}
int32_t NoTextureFile(const char*, int32_t) { return -1; }
bool NoSave(int32_t, const char*) { return false; }
void NoSetTexture(int32_t) {}
void NoCount(uint32_t) {}
// What the host left out does nothing (no textures, no statistic).
constexpr StaticWorldHost kNoHost = {NoRetain, NoRelease, NoTextureFile, NoSave, NoSetTexture, NoCount};
// Set by StaticWorldInit; lives for the whole process.
StaticWorldHost g_host = kNoHost;

StaticTextureGroup& GroupOf(int32_t texture) {
  for (StaticTextureGroup& group : g_world.groups)
    if (group.texture == texture) return group;
  g_world.groups.emplace_back();
  g_world.groups.back().texture = texture;
  if (texture > 0) g_host.RetainTexture(texture);
  return g_world.groups.back();
}

// The corners of every face as a fan from its first corner; false when a face reads past the
// list or names a vertex the mesh does not have.
bool TriangulateStaticFaces(const uint32_t* faces, size_t faceWords, uint32_t faceCount, uint32_t vertexCount,
                            std::vector<uint16_t>& indices) {
  size_t at = 0;
  for (uint32_t face = 0; face < faceCount; ++face) {
    if (at >= faceWords) return false;
    const size_t corners = faces[at++];
    if (corners > (faceWords - at) / 2) return false;
    const uint32_t* pairs = faces + at;
    at += corners * 2;
    for (size_t c = 0; c < corners; ++c)
      if (pairs[c * 2] >= vertexCount) return false;
    for (size_t c = 2; c < corners; ++c) {
      indices.push_back(static_cast<uint16_t>(pairs[0]));
      indices.push_back(static_cast<uint16_t>(pairs[(c - 1) * 2]));
      indices.push_back(static_cast<uint16_t>(pairs[c * 2]));
    }
  }
  return true;
}

// Centre and radius from the vertices; gives the largest distance of a vertex from the centre
// and the largest drop of one below it.
void MeasureStaticMesh(StaticMesh& mesh, float& largestDistance, float& largestDrop) {
  double sum[3] = {0, 0, 0};
  for (const StaticVertex& v : mesh.vertices) {
    sum[0] += v.x;
    sum[1] += v.y;
    sum[2] += v.z;
  }
  const double count = static_cast<double>(mesh.vertices.size());
  for (int axis = 0; axis < 3; ++axis) mesh.centre[axis] = static_cast<float>(sum[axis] / count);
  largestDistance = 0;
  largestDrop = 0;
  for (const StaticVertex& v : mesh.vertices) {
    const float d = StaticPointDistance(v.x, v.y, v.z, mesh.centre[0], mesh.centre[1], mesh.centre[2]);
    largestDistance = std::max(largestDistance, d);
    largestDrop = std::max(largestDrop, mesh.centre[1] - v.y);
  }
  mesh.radius = 1.25f * largestDistance;
}

// The level mesh nearest an object mesh among those whose sphere holds it whole.
const StaticMesh* FindEnclosingMesh(const StaticMesh& mesh, float largestDistance) {
  const StaticMesh* found = nullptr;
  float best = 99999.9f;
  for (const StaticTextureGroup& group : g_world.groups)
    for (const auto& level : group.meshes) {
      if (level->owner != 0) continue;
      const float e = StaticPointDistance(mesh.centre[0], mesh.centre[1], mesh.centre[2], level->centre[0],
                                          level->centre[1], level->centre[2]);
      if (e < best && e + largestDistance < level->radius) {
        found = level.get();
        best = e;
      }
    }
  return found;
}

void FreeStaticMeshGeometry(StaticMesh& mesh) {
  std::vector<StaticVertex>().swap(mesh.vertices);
  std::vector<uint16_t>().swap(mesh.indices);
}

uint32_t LargestIndexCount() {
  size_t largest = 0;
  for (const StaticTextureGroup& group : g_world.groups)
    for (const auto& mesh : group.meshes) largest = std::max(largest, mesh->indices.size());
  return static_cast<uint32_t>(largest);
}

// One batch of a group: vertices copied into the locked buffer, indices into the scratch.
struct Batch {
  StaticVertex* vertices = nullptr;
  uint32_t vertexCount = 0;
  uint32_t indexCount = 0;

  void Begin() {
    vertexCount = indexCount = 0;
    vertices = Device3dActive().LockVertexBuffer(g_world.vertexBuffer);
  }
  void Draw() {
    Device3d& device = Device3dActive();
    device.UnlockVertexBuffer(g_world.vertexBuffer);
    if (vertexCount > 0 && indexCount > 0) {
      device.DrawIndexedPrimitiveVB(g_world.vertexBuffer, 0, vertexCount, g_world.indexScratch.data(), indexCount);
      g_host.AddDrawnIndices(indexCount);
    }
  }
  // Draws what the batch holds when the mesh would take it to 300 vertices or past the
  // buffer or the index scratch, then copies the mesh in.
  void Add(const StaticMesh& mesh) {
    const uint32_t v = static_cast<uint32_t>(mesh.vertices.size());
    const uint32_t i = static_cast<uint32_t>(mesh.indices.size());
    if (vertexCount + v >= kStaticBatchVertices || vertexCount + v > g_world.capacity ||
        indexCount + i > g_world.indexCapacity) {
      Draw();
      Begin();
    }
    if (v == 0 || vertices == nullptr || v > g_world.capacity || i > g_world.indexCapacity) return;
    std::memcpy(vertices + vertexCount, mesh.vertices.data(), sizeof(StaticVertex) * v);
    uint16_t* out = g_world.indexScratch.data() + indexCount;
    for (uint32_t k = 0; k < i; ++k) out[k] = static_cast<uint16_t>(mesh.indices[k] + vertexCount);
    vertexCount += v;
    indexCount += i;
  }
};

}  // namespace

void StaticWorldInit(const StaticWorldHost* host) {
  g_host = host != nullptr ? *host : kNoHost;
  if (!g_host.RetainTexture) g_host.RetainTexture = kNoHost.RetainTexture;
  if (!g_host.ReleaseTexture) g_host.ReleaseTexture = kNoHost.ReleaseTexture;
  if (!g_host.GetTextureByFile) g_host.GetTextureByFile = kNoHost.GetTextureByFile;
  if (!g_host.SaveTexture) g_host.SaveTexture = kNoHost.SaveTexture;
  if (!g_host.SetDeviceTexture) g_host.SetDeviceTexture = kNoHost.SetDeviceTexture;
  if (!g_host.AddDrawnIndices) g_host.AddDrawnIndices = kNoHost.AddDrawnIndices;
}

const StaticWorldHost& StaticHost() { return g_host; }
StaticWorld& MutableStaticWorld() { return g_world; }
const StaticWorld& GetStaticWorld() { return g_world; }
bool StaticWorldHasGroups() { return !g_world.groups.empty(); }

void CreateStaticVertexBuffer(uint32_t capacity) {
  Device3d& device = Device3dActive();
  if (g_world.vertexBuffer != 0) device.ReleaseVertexBuffer(g_world.vertexBuffer);
  g_world.vertexBuffer = device.CreateVertexBuffer(capacity);
  g_world.capacity = g_world.vertexBuffer != 0 ? capacity : 0;
  if (StaticVertex* vertices = device.LockVertexBuffer(g_world.vertexBuffer)) {
    std::memset(vertices, 0, sizeof(StaticVertex) * g_world.capacity);
    device.UnlockVertexBuffer(g_world.vertexBuffer);
  }
  // The scratch holds a batch's indices: at least those of the largest mesh, which a closed
  // mesh may have at about six per vertex.
  g_world.indexCapacity = std::max(5 * g_world.capacity, LargestIndexCount());
  g_world.indexScratch.assign(g_world.indexCapacity, 0);
}

void CreateStaticVertexBufferDefault() { CreateStaticVertexBuffer(kStaticDefaultCapacity); }

void FitStaticBuffers(uint32_t vertexCount, uint32_t indexCount) {
  if (vertexCount > g_world.capacity) CreateStaticVertexBuffer(vertexCount);
  if (indexCount > g_world.indexCapacity) {
    g_world.indexCapacity = indexCount;
    g_world.indexScratch.assign(indexCount, 0);
  }
}

bool AddStaticMesh(int32_t texture, const float* positions, const float* normals, const uint32_t* faces,
                   size_t faceWords, const float* uvs, uint32_t vertexCount, uint32_t faceCount, bool occluder,
                   bool secondFlag, int32_t owner, bool fullHeight) {
  // 16-bit indices reach 65536 vertices; a mesh without vertices or triangles has no centre.
  if (vertexCount == 0 || vertexCount > 65536 || positions == nullptr || faces == nullptr) return false;
  auto mesh = std::make_unique<StaticMesh>();
  if (!TriangulateStaticFaces(faces, faceWords, faceCount, vertexCount, mesh->indices) || mesh->indices.empty())
    return false;
  FitStaticBuffers(vertexCount, static_cast<uint32_t>(mesh->indices.size()));
  mesh->vertices.resize(vertexCount);
  for (uint32_t i = 0; i < vertexCount; ++i) {
    StaticVertex& v = mesh->vertices[i];
    v.x = positions[i * 3];
    v.y = positions[i * 3 + 1];
    v.z = positions[i * 3 + 2];
    v.nx = normals ? normals[i * 3] : 0.0f;
    v.ny = normals ? normals[i * 3 + 1] : 0.0f;
    v.nz = normals ? normals[i * 3 + 2] : 0.0f;
    v.u = uvs ? uvs[i * 2] : 0.0f;
    v.v = uvs ? uvs[i * 2 + 1] : 0.0f;
  }
  float largestDistance, largestDrop;
  MeasureStaticMesh(*mesh, largestDistance, largestDrop);
  mesh->owner = owner;
  if (owner > 0 && mesh->centre[0] > -5000.0f) mesh->enclosing = FindEnclosingMesh(*mesh, largestDistance);
  mesh->reducedHeight = secondFlag && !occluder ? 1 : 0;
  if (mesh->reducedHeight) mesh->lowerReach = 0.5f * largestDistance + 0.5f * largestDrop;
  mesh->fullHeight = fullHeight ? 1 : 0;
  if (occluder) {
    BuildStaticOccluderBox(*mesh);
    mesh->occluder = 1;
    if (secondFlag) {
      mesh->occluderOnly = 1;
      FreeStaticMeshGeometry(*mesh);
    }
  }
  GroupOf(texture > 0 ? texture : 0).meshes.push_back(std::move(mesh));
  return true;
}

void RemoveStaticMeshes(int32_t owner) {
  for (StaticTextureGroup& group : g_world.groups) {
    auto& meshes = group.meshes;
    for (auto it = meshes.begin(); it != meshes.end();) {
      if ((*it)->owner != owner) {
        ++it;
        continue;
      }
      // Object meshes drawn with this one lose it (only level meshes enclose others).
      for (StaticTextureGroup& other : g_world.groups)
        for (auto& mesh : other.meshes)
          if (mesh->enclosing == it->get()) mesh->enclosing = nullptr;
      it = meshes.erase(it);
    }
  }
}

void ClearStaticWorld() {
  g_world.boxes.clear();
  std::vector<StaticTextureGroup> groups;
  groups.swap(g_world.groups);
  for (const StaticTextureGroup& group : groups)
    if (group.texture > 0) g_host.ReleaseTexture(group.texture, 0);
}

void ReleaseStaticWorld() {
  ClearStaticWorld();
  if (g_world.vertexBuffer != 0) Device3dActive().ReleaseVertexBuffer(g_world.vertexBuffer);
  g_world.vertexBuffer = 0;
  g_world.capacity = 0;
  g_world.indexCapacity = 0;
  std::vector<uint16_t>().swap(g_world.indexScratch);
}

bool DrawStaticWorld(const StaticView& view) {
  if (g_world.groups.empty()) return true;
  CullStaticWorld(view);
  if (g_world.vertexBuffer == 0) return true;
  for (const StaticTextureGroup& group : g_world.groups) {
    g_host.SetDeviceTexture(group.texture);
    Batch batch;
    batch.Begin();
    for (const auto& mesh : group.meshes)
      if (mesh->visible == 1) batch.Add(*mesh);
    batch.Draw();
  }
  return true;
}

float StaticPointDistance(float x1, float y1, float z1, float x2, float y2, float z2) {
  const float dx = x1 - x2, dy = y1 - y2, dz = z1 - z2;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}
