// Mesh nodes: triangle lists from polygon faces, normals, the device vertex buffer, drawing,
// and the mesh's collision shapes and objects, one per owner object, with unique client keys.
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "models/models_local.h"

namespace {

struct CollisionKeyOwner {
  int32_t owner;
  MeshNode* mesh;
};

// Collision keys handed to meshes, one per mesh that has a collision object; lives for the
// whole process (entries leave when the mesh removes its collision).
struct CollisionKeys {
  std::unordered_map<uint32_t, CollisionKeyOwner> byKey;
  uint32_t nextKey = 1;
};
CollisionKeys g_keys;

uint32_t TakeCollisionKey(MeshNode& mesh, int32_t owner) {
  while (g_keys.nextKey == 0 || g_keys.byKey.count(g_keys.nextKey)) g_keys.nextKey++;
  uint32_t key = g_keys.nextKey++;
  g_keys.byKey[key] = CollisionKeyOwner{owner, &mesh};
  return key;
}

Vector3 Sub(const MeshVertex& a, const MeshVertex& b) {
  return Vector3{a.x - b.x, a.y - b.y, a.z - b.z};
}

}  // namespace

int32_t ModelCollisionOwner(uint32_t key) {
  auto found = g_keys.byKey.find(key);
  return found == g_keys.byKey.end() ? 0 : found->second.owner;
}

bool BuildTriangleList(MeshNode& mesh, int stride, const uint32_t* faces, uint32_t faceCount,
                       size_t faceWords) {
  delete[] mesh.indices;
  mesh.indices = nullptr;
  mesh.indexCount = 0;
  // First pass: check every face against the list's size and the vertex count.
  size_t position = 0;
  uint64_t indexTotal = 0;
  for (uint32_t face = 0; face < faceCount; face++) {
    if (position >= faceWords) return false;
    uint32_t corners = faces[position++];
    if (corners > (faceWords - position) / static_cast<size_t>(stride)) return false;
    for (uint32_t corner = 0; corner < corners; corner++) {
      if (faces[position + static_cast<size_t>(corner) * stride] >= mesh.vertexCount)
        return false;
    }
    position += static_cast<size_t>(corners) * stride;
    if (corners >= 3) indexTotal += (corners - 2) * 3ull;  // faces under 3 corners are skipped
  }
  if (indexTotal > 0xFFFFFFFFull) return false;
  mesh.indices = new uint16_t[indexTotal ? indexTotal : 1];
  position = 0;
  uint32_t written = 0;
  for (uint32_t face = 0; face < faceCount; face++) {
    uint32_t corners = faces[position++];
    const uint32_t* first = faces + position;
    for (uint32_t corner = 2; corner < corners; corner++) {
      mesh.indices[written++] = static_cast<uint16_t>(first[0]);
      mesh.indices[written++] = static_cast<uint16_t>(first[(corner - 1) * stride]);
      mesh.indices[written++] = static_cast<uint16_t>(first[corner * stride]);
    }
    position += static_cast<size_t>(corners) * stride;
  }
  mesh.indexCount = written;
  return true;
}

MeshNode* MakeMeshNode(const char* name, uint32_t vertexCount, const float* positions,
                       uint32_t faceCount, const uint32_t* faces, size_t faceWords, int stride) {
  if (vertexCount > kMaxMeshVertices) return nullptr;
  auto* mesh = new MeshNode(name);
  mesh->vertexCount = vertexCount;
  mesh->vertices = new MeshVertex[vertexCount ? vertexCount : 1]();
  for (uint32_t i = 0; i < vertexCount && positions; i++) {
    mesh->vertices[i].x = positions[i * 3];
    mesh->vertices[i].y = positions[i * 3 + 1];
    mesh->vertices[i].z = positions[i * 3 + 2];
  }
  if (!BuildTriangleList(*mesh, stride, faces, faceCount, faceWords)) {
    delete mesh;
    return nullptr;
  }
  return mesh;
}

void GenerateMeshNormals(MeshNode& mesh) {
  std::vector<Vector3> sums(mesh.vertexCount, Vector3{0, 0, 0});
  for (uint32_t i = 0; i + 2 < mesh.indexCount; i += 3) {
    const MeshVertex& a = mesh.vertices[mesh.indices[i]];
    const MeshVertex& b = mesh.vertices[mesh.indices[i + 1]];
    const MeshVertex& c = mesh.vertices[mesh.indices[i + 2]];
    Vector3 normal = Vector3Cross(Sub(b, a), Sub(c, b));
    float length = Vector3Length(normal);
    if (!(length > 0) || !std::isfinite(length)) continue;  // a degenerate triangle adds nothing
    normal = Vector3{normal.x / length, normal.y / length, normal.z / length};
    for (int k = 0; k < 3; k++) Vector3Add(sums[mesh.indices[i + k]], normal);
  }
  for (uint32_t v = 0; v < mesh.vertexCount; v++) {
    float length = Vector3Length(sums[v]);
    Vector3 normal = sums[v];
    if (length > 0 && std::isfinite(length))
      normal = Vector3{normal.x / length, normal.y / length, normal.z / length};
    mesh.vertices[v].nx = normal.x;
    mesh.vertices[v].ny = normal.y;
    mesh.vertices[v].nz = normal.z;
  }
}

bool MakeVertexBuffer(MeshNode& mesh, bool /*optimise*/) {
  Device3d& device = Device3dActive();
  if (mesh.vertexBuffer) {
    device.ReleaseVertexBuffer(mesh.vertexBuffer);
    mesh.vertexBuffer = 0;
  }
  if (mesh.vertexCount == 0) return true;  // nothing to draw, nothing to hold
  Device3dVertexBuffer buffer = device.CreateVertexBuffer(mesh.vertexCount);
  if (!buffer) return false;
  Device3dVertex* target = device.LockVertexBuffer(buffer);
  if (!target) {
    device.ReleaseVertexBuffer(buffer);
    return false;
  }
  std::memcpy(target, mesh.vertices, sizeof(MeshVertex) * mesh.vertexCount);
  device.UnlockVertexBuffer(buffer);
  mesh.vertexBuffer = buffer;
  return true;
}

void ReleaseMeshResources(MeshNode& mesh) {
  RemoveMeshCollision(mesh, kEveryCollisionOwner);
  const ModelsHost& host = ModelsHostCallbacks();
  // Only a texture the model file named is the mesh's own reference; one given by the texture
  // or colour commands belongs to the object that gave it.
  if (mesh.textureLoaded && mesh.texture > 0 && host.TextureIsCached(mesh.texture)) host.ReleaseTexture(mesh.texture, 0);
  mesh.textureLoaded = 0;
  delete[] mesh.vertices;
  mesh.vertices = nullptr;
  mesh.vertexCount = 0;
  delete[] mesh.indices;
  mesh.indices = nullptr;
  mesh.indexCount = 0;
  if (mesh.vertexBuffer) {
    Device3dActive().ReleaseVertexBuffer(mesh.vertexBuffer);
    mesh.vertexBuffer = 0;
  }
}

void SetMeshNormals(MeshNode& mesh, const float* normals) {
  if (!normals) return;
  for (uint32_t i = 0; i < mesh.vertexCount; i++) {
    mesh.vertices[i].nx = normals[i * 3];
    mesh.vertices[i].ny = normals[i * 3 + 1];
    mesh.vertices[i].nz = normals[i * 3 + 2];
  }
  MakeVertexBuffer(mesh, true);
}

void SetMeshUVs(MeshNode& mesh, const float* uvs) {
  if (!uvs) return;
  for (uint32_t i = 0; i < mesh.vertexCount; i++) {
    mesh.vertices[i].u = uvs[i * 2];
    mesh.vertices[i].v = uvs[i * 2 + 1];
  }
  MakeVertexBuffer(mesh, true);
}

bool RebuildMeshGeometry(MeshNode& mesh, const ModelMeshData& data) {
  MeshNode* made = MakeMeshNode(mesh.name, data.vertexCount, data.positions, data.faceCount,
                                data.faces, data.faceWords, 2);
  if (!made) return false;  // a malformed record leaves the mesh as it was
  delete[] mesh.vertices;
  delete[] mesh.indices;
  mesh.vertices = made->vertices;
  mesh.vertexCount = made->vertexCount;
  mesh.indices = made->indices;
  mesh.indexCount = made->indexCount;
  made->vertices = nullptr;
  made->indices = nullptr;
  made->vertexCount = made->indexCount = 0;
  delete made;
  MakeVertexBuffer(mesh, true);
  SetMeshNormals(mesh, data.normals);
  SetMeshUVs(mesh, data.uvs);
  return true;
}

void DrawMesh(MeshNode& mesh, Device3d& device, int32_t textureFilter) {
  if (!mesh.drawFlag) return;
  if (textureFilter != -1 && textureFilter != mesh.texture) return;
  if (mesh.indexCount == 0) return;
  // A mesh loaded before the device could hold buffers gets its buffer now.
  if (!mesh.vertexBuffer) MakeVertexBuffer(mesh, true);
  if (!mesh.vertexBuffer) return;
  const ModelsHost& host = ModelsHostCallbacks();
  if (textureFilter == -1) host.SetDeviceTexture(mesh.texture);
  device.DrawIndexedPrimitiveVB(mesh.vertexBuffer, 0, mesh.vertexCount, mesh.indices,
                                mesh.indexCount);
  host.AddDrawnIndices(mesh.indexCount);
}

// ---- Collision ----

namespace {

// Keeps the mesh's first-use fields in step with its list of uses.
void MirrorFirstCollisionUse(MeshNode& mesh) {
  const MeshCollisionUse none{};
  const MeshCollisionUse& first = mesh.collisionUses.empty() ? none : mesh.collisionUses.front();
  mesh.collisionOwner = first.owner;
  mesh.collisionShape = first.shape;
  mesh.collisionKey = first.key;
  mesh.centreOffsetFlag = first.centreOffsetFlag;
  mesh.centreOffset = first.centreOffset;
}

// Deletes one use's collision object and key, and its shape once no other use holds it.
void DropCollisionUse(MeshNode& mesh, size_t index) {
  const MeshCollisionUse use = mesh.collisionUses[index];
  mesh.collisionUses.erase(mesh.collisionUses.begin() + static_cast<std::ptrdiff_t>(index));
  CollDeleteObject(use.key);
  g_keys.byKey.erase(use.key);
  bool shapeHeld = false, polygonHeld = false;
  for (const MeshCollisionUse& other : mesh.collisionUses) {
    shapeHeld = shapeHeld || other.shape == use.shape;
    polygonHeld = polygonHeld || other.type == 99;
  }
  if (!shapeHeld) CollDeleteShape(use.shape);
  if (!polygonHeld) {
    delete[] mesh.collisionVertices;
    mesh.collisionVertices = nullptr;
    delete[] mesh.collisionIndices;
    mesh.collisionIndices = nullptr;
  }
}

// A new shape of the given type for the mesh; fills the use's centre offset. Types 1 to 6
// are the made shapes' kinds (box, sphere, cube, cone, cylinder, plain): each collides as the
// shape it draws.
CollShape* MakeMeshCollisionShape(MeshNode& mesh, MeshCollisionUse& use) {
  const float a = use.a, b = use.b, c = use.c;
  switch (use.type) {
    case 1: return CollCreateBox(a, b, c);
    case 2: return CollCreateSphere(a);
    case 3: return CollCreateBox(a, a, a);
    case 4: return CollCreateCone(a, b);  // radius, height: apex up, as the cone is drawn
    case 5: return CollCreateCylinder(a, b);
    case 6: return CollCreateBox(a, b, 1.0);
    case 51: {  // sphere about the mesh's own centre
      Vector3 centre{0, 0, 0};
      for (uint32_t i = 0; i < mesh.vertexCount; i++)
        Vector3Add(centre, Vector3{mesh.vertices[i].x, mesh.vertices[i].y, mesh.vertices[i].z});
      if (mesh.vertexCount) {
        float count = static_cast<float>(mesh.vertexCount);
        centre = Vector3{centre.x / count, centre.y / count, centre.z / count};
      }
      float radius = -1.0f;
      for (uint32_t i = 0; i < mesh.vertexCount; i++) {
        Vector3 d{mesh.vertices[i].x - centre.x, mesh.vertices[i].y - centre.y,
                  mesh.vertices[i].z - centre.z};
        float distance = Vector3Length(d);
        if (distance > radius) radius = distance;
      }
      use.centreOffsetFlag = true;
      use.centreOffset = centre;
      return CollCreateSphere(radius > 0 ? radius : 1.0);
    }
    case 52: {  // box about the mesh's own centre
      if (mesh.vertexCount == 0) return nullptr;
      Vector3 low{mesh.vertices[0].x, mesh.vertices[0].y, mesh.vertices[0].z};
      Vector3 high = low;
      for (uint32_t i = 1; i < mesh.vertexCount; i++) {
        const MeshVertex& v = mesh.vertices[i];
        low = Vector3{std::fmin(low.x, v.x), std::fmin(low.y, v.y), std::fmin(low.z, v.z)};
        high = Vector3{std::fmax(high.x, v.x), std::fmax(high.y, v.y), std::fmax(high.z, v.z)};
      }
      use.centreOffsetFlag = true;
      use.centreOffset = Vector3{low.x + (high.x - low.x) / 2, low.y + (high.y - low.y) / 2,
                                 low.z + (high.z - low.z) / 2};
      return CollCreateBox(high.x - low.x, high.y - low.y, high.z - low.z);
    }
    case 99: {  // the mesh's own triangles
      CollShape* shape = CollBeginComplex();
      if (!mesh.collisionVertices) {
        mesh.collisionVertices = new Vector3d[mesh.vertexCount ? mesh.vertexCount : 1];
        for (uint32_t i = 0; i < mesh.vertexCount; i++) {
          mesh.collisionVertices[i] = Vector3d{mesh.vertices[i].x, mesh.vertices[i].y,
                                               mesh.vertices[i].z};
        }
        mesh.collisionIndices = new uint32_t[mesh.indexCount ? mesh.indexCount : 1];
        for (uint32_t i = 0; i < mesh.indexCount; i++) mesh.collisionIndices[i] = mesh.indices[i];
      }
      CollSetVertexBase(mesh.collisionVertices, mesh.vertexCount);
      for (uint32_t i = 0; i + 2 < mesh.indexCount; i += 3)
        CollAddPolytope(kCollSimplex, 3, mesh.collisionIndices + i);
      CollEndComplex();
      return shape;
    }
    default: return nullptr;  // other types make no shape and no object
  }
}

}  // namespace

void RemoveMeshCollision(MeshNode& mesh, int32_t owner) {
  for (size_t i = mesh.collisionUses.size(); i-- > 0;)
    if (owner == kEveryCollisionOwner || mesh.collisionUses[i].owner == owner)
      DropCollisionUse(mesh, i);
  MirrorFirstCollisionUse(mesh);
}

void BuildMeshCollision(MeshNode& mesh, int32_t owner, int32_t type, float a, float b, float c) {
  RemoveMeshCollision(mesh, owner);
  if (type <= 0) return;
  MeshCollisionUse use;
  use.owner = owner;
  use.type = type;
  // Types made from the mesh's own vertices take no sizes.
  if (type < 50) {
    use.a = a;
    use.b = b;
    use.c = c;
  }
  for (const MeshCollisionUse& other : mesh.collisionUses) {
    if (other.type == use.type && other.a == use.a && other.b == use.b && other.c == use.c) {
      use.shape = other.shape;
      use.centreOffsetFlag = other.centreOffsetFlag;
      use.centreOffset = other.centreOffset;
      break;
    }
  }
  if (!use.shape) use.shape = MakeMeshCollisionShape(mesh, use);
  if (!use.shape) return;
  use.key = TakeCollisionKey(mesh, owner);
  CollCreateObject(use.key, use.shape);
  mesh.collisionUses.push_back(use);
  MirrorFirstCollisionUse(mesh);
}

void UpdateMeshCollisionTransform(MeshNode& mesh, Device3d& device, int32_t owner) {
  if (mesh.collisionUses.empty()) return;
  Matrix4 world;
  device.GetTransform(Device3dTransform::kWorld, world.m);
  for (const MeshCollisionUse& use : mesh.collisionUses) {
    if (owner != kEveryCollisionOwner && use.owner != owner) continue;
    Matrix4 placed = world;
    if (use.centreOffsetFlag) {
      Matrix4 turn = world;
      turn.m[3][0] = turn.m[3][1] = turn.m[3][2] = 0;
      Vector3 offset;
      if (TransformPoint(offset, use.centreOffset, turn) == kMathOk) {
        placed.m[3][0] += offset.x;
        placed.m[3][1] += offset.y;
        placed.m[3][2] += offset.z;
      }
    }
    CollSelectObject(use.key);
    CollSetObjectMatrix(&placed.m[0][0]);
  }
}
