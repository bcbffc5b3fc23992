// The model object: owns a model's tree and tracks and runs each of the engine's operations
// over the tree (loading, making, queries, frames, meshes, drawing and collision).
#include <cmath>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "models/models_local.h"

namespace {

// The texture depth list the renderer reads; cleared by the renderer through
// ModelClearTextureDepths, otherwise lives for the whole process.
struct TextureDepthState {
  std::vector<TextureDepthEntry> entries;
  std::unordered_map<int32_t, uint32_t> indexOf;  // texture number -> its entry
};
TextureDepthState g_depths;

template <class Visit>
void ForEachFrame(ModelNode* root, Visit&& visit) {
  ForEachNode(root, [&](ModelNode* node) {
    if (node->kind == ModelNodeKind::Frame) visit(static_cast<FrameNode*>(node));
  });
}

template <class Visit>
void ForEachMesh(ModelNode* root, Visit&& visit) {
  ForEachNode(root, [&](ModelNode* node) {
    if (node->kind == ModelNodeKind::Mesh) visit(static_cast<MeshNode*>(node));
  });
}

// The frame walk that drawing, world matrices and collision transforms share: a frame with
// children sets local x current (x root matrix on id-0 frames whose flag is set) as the
// device's world transform for them and puts the old one back afterwards.
enum class DeviceWalk { Draw, WorldMatrices, CollisionTransforms, Gather };

struct DeviceWalker {
  Device3d& device;
  DeviceWalk what;
  int32_t textureFilter = -1;
  ModelGatherArgs* gather = nullptr;
  int32_t collisionOwner = kEveryCollisionOwner;  // whose collision objects to move

  void Chain(ModelNode* first) {
    for (ModelNode* node = first; node; node = node->next) {
      if (node->kind == ModelNodeKind::Mesh) {
        Mesh(*static_cast<MeshNode*>(node));
        continue;
      }
      auto* frame = static_cast<FrameNode*>(node);
      if (!frame->child) continue;
      Matrix4 saved, world;
      device.GetTransform(Device3dTransform::kWorld, saved.m);
      MatrixMultiply(world, frame->local, saved);
      device.SetTransform(Device3dTransform::kWorld, world.m);
      if (what != DeviceWalk::Gather && frame->id == 0 && frame->rootMatrixFlag == 1) {
        MatrixMultiply(world, frame->rootMatrix, world);
        device.SetTransform(Device3dTransform::kWorld, world.m);
      }
      if (what == DeviceWalk::WorldMatrices) frame->world = world;
      Chain(frame->child);
      device.SetTransform(Device3dTransform::kWorld, saved.m);
    }
  }

  void Mesh(MeshNode& mesh) {
    switch (what) {
      case DeviceWalk::Draw: DrawMesh(mesh, device, textureFilter); break;
      case DeviceWalk::WorldMatrices: break;
      case DeviceWalk::CollisionTransforms:
        UpdateMeshCollisionTransform(mesh, device, collisionOwner);
        break;
      case DeviceWalk::Gather: GatherMesh(mesh); break;
    }
  }

  void GatherMesh(MeshNode& mesh) {
    ModelGatherArgs& args = *gather;
    if (args.idFilter != -1 && args.idFilter != mesh.id) return;
    if (args.textureFilter != -1 && args.textureFilter != mesh.texture) return;
    if (args.mode == 2) {
      Matrix4 world;
      device.GetTransform(Device3dTransform::kWorld, world.m);
      MeshVertex* out = args.vertexBlock + args.vertexTotal;
      for (uint32_t i = 0; i < mesh.vertexCount; i++) {
        out[i] = mesh.vertices[i];
        Vector3 position{mesh.vertices[i].x, mesh.vertices[i].y, mesh.vertices[i].z};
        if (TransformPoint(position, position, world) == kMathOk) {
          out[i].x = position.x;
          out[i].y = position.y;
          out[i].z = position.z;
        }
      }
      std::memcpy(args.indexBlock + args.indexTotal, mesh.indices,
                  sizeof(uint16_t) * mesh.indexCount);
      args.vertexCounts[args.meshCounter] = mesh.vertexCount;
      args.indexCounts[args.meshCounter] = mesh.indexCount;
    }
    args.meshCounter++;
    args.vertexTotal += mesh.vertexCount;
    args.indexTotal += mesh.indexCount;
  }

  void Run(ModelNode* root) {
    Matrix4 saved;
    device.GetTransform(Device3dTransform::kWorld, saved.m);
    Chain(root);
    device.SetTransform(Device3dTransform::kWorld, saved.m);
  }
};

Matrix4 Identity() {
  Matrix4 m;
  MatrixIdentity(m);
  return m;
}

Vector3 Position(const MeshVertex& v) { return Vector3{v.x, v.y, v.z}; }

Vector3 Apply(const Vector3& p, const Matrix4& m) {  // row vector, translation, no division
  return Vector3{p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
                 p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
                 p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

float Distance(const Vector3& a, const Vector3& b) {
  return Vector3Length(Vector3{a.x - b.x, a.y - b.y, a.z - b.z});
}

// Bounding sphere of the meshes passing `take`: centre = mean of the composed positions,
// radius = largest distance from it.
template <class Take>
ModelResult SphereOf(ModelNode* root, Take&& take, Vector3& centre, float& radius) {
  centre = Vector3{0, 0, 0};
  radius = -1.0f;
  if (!root) return kModelFail;
  Vector3 sum{0, 0, 0};
  int32_t count = 0;
  ForEachMeshComposed(root, Identity(), [&](MeshNode* mesh, const Matrix4& m) {
    if (!take(mesh)) return;
    for (uint32_t i = 0; i < mesh->vertexCount; i++)
      Vector3Add(sum, Apply(Position(mesh->vertices[i]), m));
    count += static_cast<int32_t>(mesh->vertexCount);
  });
  if (count > 0) {
    float n = static_cast<float>(count);
    centre = Vector3{sum.x / n, sum.y / n, sum.z / n};
  }
  ForEachMeshComposed(root, Identity(), [&](MeshNode* mesh, const Matrix4& m) {
    if (!take(mesh)) return;
    for (uint32_t i = 0; i < mesh->vertexCount; i++) {
      float distance = Distance(Apply(Position(mesh->vertices[i]), m), centre);
      if (distance > radius) radius = distance;
    }
  });
  return radius <= 0.0f ? kModelFail : kModelOk;
}

void RemakeBuffer(MeshNode* mesh) { MakeVertexBuffer(*mesh, true); }

}  // namespace

const TextureDepthEntry* ModelTextureDepths(size_t& count) {
  count = g_depths.entries.size();
  return g_depths.entries.data();
}

void ModelClearTextureDepths() {
  g_depths.entries.clear();
  g_depths.indexOf.clear();
}

ModelObject::~ModelObject() { DestroyModelObject(); }

void ModelObject::DestroyModelObject() {
  delete tracks_;
  tracks_ = nullptr;
  DeleteNodeChain(root_);
  root_ = nullptr;
}

// ---- Loading and making ----

ModelResult ModelObject::LoadModelX(const char* path) {
  loadError_ = root_ ? "the object already holds a model" : "";
  leftOut_.clear();
  if (root_) return kModelFail;
  XFile file;
  if (!XReadFile(path, file)) {
    loadError_ = file.error;
    return kModelFail;
  }
  root_ = BuildModelFromX(file, nodeCount_, tracks_, &leftOut_);
  return root_ ? kModelOk : kModelFail;
}

ModelResult ModelObject::LoadModelXMemory(const void* bytes, size_t size) {
  loadError_ = root_ ? "the object already holds a model" : "";
  leftOut_.clear();
  if (root_) return kModelFail;
  XFile file;
  if (!XReadMemory(bytes, size, file)) {
    loadError_ = file.error;
    return kModelFail;
  }
  root_ = BuildModelFromX(file, nodeCount_, tracks_, &leftOut_);
  return root_ ? kModelOk : kModelFail;
}

ModelResult ModelObject::LoadModelAnimationX(const char* path, float timeOffset,
                                             float holdTime) {
  if (!root_) return kModelFail;
  return AppendXAnimation(path, root_, tracks_, timeOffset, holdTime) ? kModelOk : kModelFail;
}

void ModelObject::SetModelTracks(AnimationTrackList* tracks) {
  if (tracks == tracks_) return;
  delete tracks_;
  tracks_ = tracks;
}

ModelResult ModelObject::SaveModelAnimationX(const char* path, std::string* whyNot) {
  return SaveXAnimation(path, tracks_, whyNot) ? kModelOk : kModelFail;
}

ModelResult ModelObject::MakeUserMesh(const ModelMeshData& data, int32_t texture,
                                      FrameNode* parent, int32_t id) {
  if (!parent) return kModelFail;
  std::unique_ptr<MeshNode> mesh(MakeMeshNode("usermesh", data.vertexCount, data.positions,
                                              data.faceCount, data.faces, data.faceWords, 2));
  if (!mesh) return kModelFail;
  mesh->id = id;
  mesh->texture = texture;
  mesh->textureLoaded = 0;
  CopyName(mesh->textureName, sizeof mesh->textureName, "Default");
  for (uint32_t i = 0; i < mesh->vertexCount; i++) {
    if (data.normals) {
      mesh->vertices[i].nx = data.normals[i * 3];
      mesh->vertices[i].ny = data.normals[i * 3 + 1];
      mesh->vertices[i].nz = data.normals[i * 3 + 2];
    }
    if (data.uvs) {
      mesh->vertices[i].u = data.uvs[i * 2];
      mesh->vertices[i].v = data.uvs[i * 2 + 1];
    }
  }
  if (!MakeVertexBuffer(*mesh, true)) {
    mesh->texture = 0;  // the caller keeps its texture when the mesh is refused
    return kModelFail;
  }
  parent->AddChild(mesh.release());
  return kModelOk;
}

ModelResult ModelObject::AddUserFrame(int32_t frameId, const ModelMeshData& data,
                                      int32_t texture) {
  if ((frameId == 0) != (root_ == nullptr)) return kModelFail;
  auto frame = std::make_unique<FrameNode>(frameId == 0 ? "root" : "userframe");
  frame->id = frameId;
  if (MakeUserMesh(data, texture, frame.get(), frameId) != kModelOk) return kModelFail;
  if (frameId == 0) root_ = frame.release();
  else root_->AddChild(frame.release());
  if (frameId + 1 > nodeCount_) nodeCount_ = frameId + 1;
  return kModelOk;
}

ModelResult ModelObject::RebuildModelMeshChecked(int32_t id, const ModelMeshData& data) {
  if (!root_) return kModelFail;
  RebuildModelMeshFromRecord(id, data);
  return kModelOk;
}

// ---- Queries ----

ModelResult ModelObject::GetModelFrameName(int32_t id, char* out, size_t outSize) {
  if (outSize) out[0] = 0;
  if (!root_) return kModelFail;
  ForEachFrame(root_, [&](FrameNode* frame) {
    if (frame->id == id) CopyName(out, outSize, frame->name);
  });
  return kModelOk;
}

ModelResult ModelObject::LinkModelNode(int32_t nodeId, int32_t newParentId) {
  if (!root_) return kModelOk;
  // Frames below the root in traversal order; the root itself takes no part.
  std::vector<FrameNode*> frames;
  if (root_->child) {
    ForEachNode(root_->child, [&](ModelNode* node) {
      if (node->kind == ModelNodeKind::Frame) frames.push_back(static_cast<FrameNode*>(node));
    });
  }
  FrameNode* found = nullptr;
  for (FrameNode* frame : frames) {
    if (frame->id == newParentId) {
      found = frame;
      break;
    }
  }
  if (!found) return kModelFail;
  for (FrameNode* frame : frames) {
    if (frame->id != nodeId) continue;
    // Refused when the frame is the new parent, one of its ancestors, or an earlier sibling
    // of either: it would end up inside its own subtree.
    bool onChain = false;
    for (ModelNode* step = found; step; step = step->previous ? step->previous : step->parent) {
      if (step == frame) {
        onChain = true;
        break;
      }
    }
    if (onChain) continue;
    frame->UnlinkNode();
    found->AddChild(frame);
    return kModelOk;
  }
  return kModelFail;
}

ModelResult ModelObject::GetModelBoundingSphere(Vector3& centre, float& radius) {
  return SphereOf(root_, [](MeshNode*) { return true; }, centre, radius);
}

ModelResult ModelObject::GetModelMeshBoundingSphere(int32_t id, Vector3& centre,
                                                    float& radius) {
  return SphereOf(root_, [id](MeshNode* mesh) { return mesh->id == id; }, centre, radius);
}

ModelResult ModelObject::GetModelRadius(Vector3& centre, float& radius) {
  centre = Vector3{0, 0, 0};
  radius = -1.0f;
  if (!root_) return kModelFail;
  ForEachMeshComposed(root_, Identity(), [&](MeshNode* mesh, const Matrix4& m) {
    for (uint32_t i = 0; i < mesh->vertexCount; i++) {
      float distance = Distance(Apply(Position(mesh->vertices[i]), m), centre);
      if (distance > radius) radius = distance;
    }
  });
  return radius <= 0.0f ? kModelFail : kModelOk;
}

ModelResult ModelObject::GetModelSmallestAxisDistance(Vector3& centre, float& value) {
  centre = Vector3{0, 0, 0};
  value = 9999999.0f;
  if (!root_) return kModelFail;
  ForEachMesh(root_, [&](MeshNode* mesh) {
    for (uint32_t i = 0; i < mesh->vertexCount; i++) {
      const MeshVertex& v = mesh->vertices[i];
      for (float d : {std::fabs(v.x - centre.x), std::fabs(v.y - centre.y),
                      std::fabs(v.z - centre.z)}) {
        if (d < value) value = d;
      }
    }
  });
  return value <= 0.0f ? kModelFail : kModelOk;
}

ModelResult ModelObject::GetModelBoundingBox(float& minX, float& minY, float& minZ, float& maxX,
                                             float& maxY, float& maxZ) {
  if (!root_) return kModelOk;
  ForEachMeshComposed(root_, Identity(), [&](MeshNode* mesh, const Matrix4& m) {
    for (uint32_t i = 0; i < mesh->vertexCount; i++) {
      Vector3 p;
      if (TransformPoint(p, Position(mesh->vertices[i]), m) != kMathOk) continue;
      minX = std::fmin(minX, p.x);
      minY = std::fmin(minY, p.y);
      minZ = std::fmin(minZ, p.z);
      maxX = std::fmax(maxX, p.x);
      maxY = std::fmax(maxY, p.y);
      maxZ = std::fmax(maxZ, p.z);
    }
  });
  return kModelOk;
}

ModelResult ModelObject::FindModelFrameMatrix(const char* name, Matrix4*& matrix) {
  matrix = nullptr;
  if (!root_) return kModelFail;
  ForEachFrame(root_, [&](FrameNode* frame) {
    if (std::strcmp(frame->name, name) == 0) matrix = &frame->local;
  });
  return matrix ? kModelOk : kModelFail;
}

void ModelObject::GatherModelGeometry(Device3d& device, ModelGatherArgs& args) {
  if (!root_) return;
  DeviceWalker walker{device, DeviceWalk::Gather, -1, &args};
  walker.Run(root_);
}

void ModelObject::GetModelMeshTextureByIndex(int32_t id, int32_t n, int32_t& counter,
                                             int32_t& texture, char* name, size_t nameSize) {
  if (!root_) return;
  ForEachMesh(root_, [&](MeshNode* mesh) {
    if (mesh->id != id) return;
    if (n != -2 && n == counter) {
      texture = mesh->texture;
      CopyName(name, nameSize, mesh->textureName);
    }
    counter++;
  });
}

ModelResult ModelObject::GetModelMeshGeometry(const char* name, MeshVertex*& vertices,
                                              uint32_t& vertexCount, uint16_t*& indices,
                                              uint32_t& indexCount) {
  vertices = nullptr;
  indices = nullptr;
  vertexCount = indexCount = 0;
  if (!root_) return kModelFail;
  ForEachMesh(root_, [&](MeshNode* mesh) {
    if (std::strcmp(mesh->name, name) != 0) return;
    vertices = mesh->vertices;
    vertexCount = mesh->vertexCount;
    indices = mesh->indices;
    indexCount = mesh->indexCount;
  });
  return vertices ? kModelOk : kModelFail;
}

void ModelObject::VisitModelMeshesComposed(
    const std::function<void(const MeshNode&, const Matrix4&)>& visit) const {
  if (!root_) return;
  ForEachMeshComposed(root_, Identity(), [&](MeshNode* mesh, const Matrix4& m) { visit(*mesh, m); });
}

void ModelObject::ListModelFrames() {
  if (!root_) return;
  const ModelsHost& host = ModelsHostCallbacks();
  bool full = false;
  ForEachFrame(root_, [&](FrameNode* frame) {
    if (frame->id > 0 && !full) full = !host.AddChecklistEntry(frame->id, frame->name);
  });
}

void ModelObject::VisitModelNodes(int32_t /*id*/, int32_t /*value*/) {
  // Every node passes the visit on to its next sibling and children; none acts on it.
}

ModelResult ModelObject::ModelNoOp(int32_t /*value*/) { return kModelOk; }

// ---- Frames and poses ----

void ModelObject::ApplyModelFramePose(const Matrix4* poses, size_t count) {
  if (!root_ || !poses) return;
  ForEachFrame(root_, [&](FrameNode* frame) {
    if (frame->id >= 1 && static_cast<size_t>(frame->id) <= count)
      frame->local = poses[frame->id - 1];
  });
}

void ModelObject::SetModelRootMatrix(int32_t flag, const Matrix4& matrix) {
  if (!root_) return;
  ForEachFrame(root_, [&](FrameNode* frame) {
    if (frame->id != 0) return;
    frame->rootMatrixFlag = flag;
    frame->rootMatrix = matrix;
  });
}

void ModelObject::GetModelRootMatrixPointer(Matrix4*& out) {
  if (!root_) return;
  ForEachFrame(root_, [&](FrameNode* frame) {
    if (frame->id == 0) out = &frame->rootMatrix;
  });
}

void ModelObject::SetModelFrameTransform(int32_t id, float x, float y, float z, float ax,
                                         float ay, float az, float sx, float sy, float sz,
                                         int32_t order) {
  if (!root_) return;
  Matrix4 placement;
  MatrixFromPlacement(placement, x, y, z, ax, ay, az, sx, sy, sz, order);
  SetModelFrameMatrixDirect(id, placement);
}

void ModelObject::SetModelFrameMatrix(int32_t id, float x, float y, float z,
                                      const Matrix4& matrix, float sx, float sy, float sz) {
  if (!root_) return;
  Matrix4 inverse, translation, scale, result;
  if (!InvertOrIdentity(inverse, matrix)) {
    // A matrix without an inverse leaves the frame at the identity, a defined value.
    SetModelFrameMatrixDirect(id, Identity());
    return;
  }
  MatrixTranslation(translation, x, y, z);
  MatrixMultiply(result, inverse, translation);
  MatrixScaling(scale, sx, sy, sz);
  MatrixMultiply(result, scale, result);
  SetModelFrameMatrixDirect(id, result);
}

void ModelObject::SetModelFrameMatrixDirect(int32_t id, const Matrix4& matrix) {
  if (!root_) return;
  ForEachFrame(root_, [&](FrameNode* frame) {
    if (frame->id == id) frame->local = matrix;
  });
}

void ModelObject::GetModelFrameMatrix(int32_t id, Matrix4& out) {
  if (!root_) return;
  ForEachFrame(root_, [&](FrameNode* frame) {
    if (frame->id == id) out = frame->local;
  });
}

void ModelObject::GetModelFrameWorldMatrix(int32_t id, Matrix4& out) {
  if (!root_) return;
  ForEachFrame(root_, [&](FrameNode* frame) {
    if (frame->id == id) out = frame->world;
  });
}

void ModelObject::ScaleModelFrameOffset(int32_t id, float sx, float sy, float sz) {
  if (!root_) return;
  ForEachFrame(root_, [&](FrameNode* frame) {
    if (frame->id != id) return;
    frame->local.m[3][0] *= sx;
    frame->local.m[3][1] *= sy;
    frame->local.m[3][2] *= sz;
  });
}

void ModelObject::ScaleModelFrameOffsets(float sx, float sy, float sz) {
  if (!root_) return;
  ForEachFrame(root_, [&](FrameNode* frame) {
    frame->local.m[3][0] *= sx;
    frame->local.m[3][1] *= sy;
    frame->local.m[3][2] *= sz;
  });
}

// ---- Meshes ----

void ModelObject::SetModelMeshTexture(int32_t id, int32_t texture) {
  if (!root_) return;
  const ModelsHost& host = ModelsHostCallbacks();
  ForEachMesh(root_, [&](MeshNode* mesh) {
    if (mesh->id != id) return;
    if (mesh->textureLoaded) {
      if (mesh->texture > 0) host.ReleaseTexture(mesh->texture, 0);
      mesh->textureLoaded = 0;
    }
    mesh->texture = texture;
  });
}

void ModelObject::GetModelMeshTexture(int32_t id, int32_t& out) {
  if (!root_) return;
  ForEachMesh(root_, [&](MeshNode* mesh) {
    if (mesh->id == id) out = mesh->texture;
  });
}

void ModelObject::ReadModelMeshTexture(int32_t id, int32_t& out) { GetModelMeshTexture(id, out); }

void ModelObject::GetModelMeshTextureName(int32_t id, char* out, size_t outSize) {
  if (!root_) return;
  ForEachMesh(root_, [&](MeshNode* mesh) {
    if (mesh->id == id) CopyName(out, outSize, mesh->textureName);
  });
}

void ModelObject::ScaleModelMesh(int32_t id, float sx, float sy, float sz) {
  if (!root_) return;
  ForEachMesh(root_, [&](MeshNode* mesh) {
    if (mesh->id != id) return;
    for (uint32_t i = 0; i < mesh->vertexCount; i++) {
      mesh->vertices[i].x *= sx;
      mesh->vertices[i].y *= sy;
      mesh->vertices[i].z *= sz;
    }
    RemakeBuffer(mesh);
  });
}

void ModelObject::ScaleModelMeshes(float sx, float sy, float sz) {
  if (!root_) return;
  ForEachMesh(root_, [&](MeshNode* mesh) {
    for (uint32_t i = 0; i < mesh->vertexCount; i++) {
      mesh->vertices[i].x *= sx;
      mesh->vertices[i].y *= sy;
      mesh->vertices[i].z *= sz;
    }
    RemakeBuffer(mesh);
  });
}

void ModelObject::RefillModelVertexBuffers(float scale) {
  if (!root_) return;
  Device3d& device = Device3dActive();
  ForEachMesh(root_, [&](MeshNode* mesh) {
    if (!MakeVertexBuffer(*mesh, false) || !mesh->vertexBuffer) return;
    Device3dVertex* target = device.LockVertexBuffer(mesh->vertexBuffer);
    if (!target) return;
    for (uint32_t i = 0; i < mesh->vertexCount; i++) {
      target[i].nx = mesh->vertices[i].nx * scale;
      target[i].ny = mesh->vertices[i].ny * scale;
      target[i].nz = mesh->vertices[i].nz * scale;
    }
    device.UnlockVertexBuffer(mesh->vertexBuffer);
  });
}

void ModelObject::RebuildModelMeshFromRecord(int32_t id, const ModelMeshData& data) {
  if (!root_) return;
  ForEachMesh(root_, [&](MeshNode* mesh) {
    if (mesh->id == id) RebuildMeshGeometry(*mesh, data);
  });
}

void ModelObject::SetModelMeshVisible(int32_t id, int32_t flag) {
  if (!root_) return;
  ForEachMesh(root_, [&](MeshNode* mesh) {
    if (mesh->id == id) mesh->drawFlag = flag;
  });
}

void ModelObject::ScrollModelMeshUV(int32_t id, float du, float dv) {
  if (!root_) return;
  ForEachMesh(root_, [&](MeshNode* mesh) {
    if (mesh->id != id) return;
    for (uint32_t i = 0; i < mesh->vertexCount; i++) {
      mesh->vertices[i].u += du;
      mesh->vertices[i].v += dv;
    }
    RemakeBuffer(mesh);
  });
}

void ModelObject::ScaleModelMeshUV(int32_t id, float su, float sv) {
  if (!root_) return;
  ForEachMesh(root_, [&](MeshNode* mesh) {
    if (mesh->id != id) return;
    for (uint32_t i = 0; i < mesh->vertexCount; i++) {
      mesh->vertices[i].u *= su;
      mesh->vertices[i].v *= sv;
    }
    RemakeBuffer(mesh);
  });
}

// ---- Rendering ----

ModelResult ModelObject::CollectModelTextureDepths(double value, std::vector<uint32_t>* meshEntries) {
  if (!root_) return kModelOk;
  ForEachMesh(root_, [&](MeshNode* mesh) {
    const auto [found, added] = g_depths.indexOf.try_emplace(mesh->texture, static_cast<uint32_t>(g_depths.entries.size()));
    if (added) {
      g_depths.entries.push_back(TextureDepthEntry{mesh->texture, value});
    } else {
      TextureDepthEntry& entry = g_depths.entries[found->second];
      entry.value = (entry.value + value) / 2.0;
    }
    if (meshEntries) meshEntries->push_back(found->second);
  });
  return kModelOk;
}

ModelResult ModelObject::DrawModel(Device3d& device, int32_t textureFilter) {
  if (!root_) return kModelOk;
  DeviceWalker walker{device, DeviceWalk::Draw, textureFilter, nullptr};
  walker.Run(root_);
  return kModelOk;
}

ModelResult ModelObject::UpdateModelFrameWorldMatrices(Device3d& device) {
  if (!root_) return kModelOk;
  DeviceWalker walker{device, DeviceWalk::WorldMatrices, -1, nullptr};
  walker.Run(root_);
  return kModelOk;
}

ModelResult ModelObject::RecreateModelVertexBuffers() {
  if (!root_) return kModelOk;
  ForEachMesh(root_, [](MeshNode* mesh) { RemakeBuffer(mesh); });
  return kModelOk;
}

// ---- Collision ----

ModelResult ModelObject::BuildModelCollision(int32_t owner, int32_t type, float a, float b,
                                             float c) {
  if (!root_) return kModelOk;
  ForEachNode(root_, [&](ModelNode* node) {
    if (node->kind == ModelNodeKind::Mesh)
      BuildMeshCollision(*static_cast<MeshNode*>(node), owner, type, a, b, c);
    else if (node->child)
      static_cast<FrameNode*>(node)->collisionOwner = owner;
  });
  return kModelOk;
}

ModelResult ModelObject::RemoveModelCollision(int32_t owner) {
  if (!root_) return kModelOk;
  ForEachMesh(root_, [&](MeshNode* mesh) { RemoveMeshCollision(*mesh, owner); });
  return kModelOk;
}

ModelResult ModelObject::BuildModelMeshCollision(int32_t owner, int32_t id, int32_t type) {
  if (!root_) return kModelOk;
  ForEachMesh(root_, [&](MeshNode* mesh) {
    if (mesh->id == id) BuildMeshCollision(*mesh, owner, type, 0, 0, 0);
  });
  return kModelOk;
}

ModelResult ModelObject::RemoveModelMeshCollision(int32_t id) {
  if (!root_) return kModelOk;
  ForEachMesh(root_, [&](MeshNode* mesh) {
    if (mesh->id == id) RemoveMeshCollision(*mesh, kEveryCollisionOwner);
  });
  return kModelOk;
}

ModelResult ModelObject::UpdateModelCollisionTransforms(Device3d& device, int32_t owner) {
  if (!root_) return kModelOk;
  DeviceWalker walker{device, DeviceWalk::CollisionTransforms, -1, nullptr, owner};
  walker.Run(root_);
  return kModelOk;
}
