// Tests of the model object's operations: frame transforms and poses, world matrices, bounds,
// drawing through the recording device, linking, user meshes and collision keys.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include <cmath>

#include "models/models_local.h"
#include "platform/device3d_record.h"
#include "tests/models/fixtures.h"

namespace {

// Root > Hips(1) > [Leg(2) > Foot(3) with mesh, Arm(4)]; Head(5) with a mesh of another
// texture. Meshes are unit triangles.
const char kFigure[] =
    "xof 0302txt 0032\n"
    "Material Grey { 0.5;0.5;0.5;1;; 0; 0;0;0;; 0;0;0;; }\n"
    "Material Blue { 0;0;1;1;; 0; 0;0;0;; 0;0;0;; }\n"
    "Frame Hips { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,10,0,1;; }\n"
    "  Frame Leg { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 1,0,0,1;; }\n"
    "    Frame Foot { Mesh foot { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
    "      MeshMaterialList { 1; 1; 0;; {Grey} } } }\n"
    "  }\n"
    "  Frame Arm { }\n"
    "}\n"
    "Frame Head { Mesh head { 3; 0;0;0;, 2;0;0;, 0;2;0;; 1; 3;0,1,2;;\n"
    "  MeshMaterialList { 1; 1; 0;; {Blue} } } }\n";

void Load(ModelObject& model, const char* text = kFigure) {
  ASSERT_EQ(model.LoadModelXMemory(text, std::strlen(text)), kModelOk);
}

Matrix4 Translation(float x, float y, float z) {
  Matrix4 m;
  MatrixTranslation(m, x, y, z);
  return m;
}

// The active (recording) device with its world transform set to a translation.
Device3d& DeviceWithWorld(const Matrix4& world) {
  Device3d& device = Device3dActive();
  device.SetTransform(Device3dTransform::kWorld, world.m);
  return device;
}

void ExpectMatrixNear(const Matrix4& a, const Matrix4& b) {
  for (int i = 0; i < 16; i++) EXPECT_NEAR(a.m[i / 4][i % 4], b.m[i / 4][i % 4], 1e-5f) << i;
}

TEST(ModelObject, FrameTransformComposesScaleRotationTranslation) {
  FakeHost host;
  ModelObject model;
  Load(model);
  Matrix4 order0, order1;
  model.SetModelFrameTransform(4, 0, 0, 0, 90, 0, 0, 1, 1, 1, 0);
  model.GetModelFrameMatrix(4, order0);
  model.SetModelFrameTransform(4, 0, 0, 0, 90, 0, 0, 1, 1, 1, 1);
  model.GetModelFrameMatrix(4, order1);
  ExpectMatrixNear(order0, order1);
  // Scale 2, a quarter turn about z, then a move: (1, 0, 0) -> (0, 2, 0) + (5, 6, 7).
  model.SetModelFrameTransform(4, 5, 6, 7, 0, 0, 90, 2, 2, 2, 0);
  Matrix4 m;
  model.GetModelFrameMatrix(4, m);
  Vector3 p;
  ASSERT_EQ(TransformPoint(p, Vector3{1, 0, 0}, m), kMathOk);
  EXPECT_NEAR(p.x, 5, 1e-5);
  EXPECT_NEAR(p.y, 8, 1e-5);
  EXPECT_NEAR(p.z, 7, 1e-5);
  // Order matters once two axes turn: x then y differs from y then x.
  model.SetModelFrameTransform(4, 0, 0, 0, 90, 90, 0, 1, 1, 1, 0);
  model.GetModelFrameMatrix(4, order0);
  model.SetModelFrameTransform(4, 0, 0, 0, 90, 90, 0, 1, 1, 1, 1);
  model.GetModelFrameMatrix(4, order1);
  EXPECT_GT(std::fabs(order0.m[0][1] - order1.m[0][1]) + std::fabs(order0.m[2][1] - order1.m[2][1]),
            0.5f);
}

TEST(ModelObject, FrameMatrixFromInverseAndSingularMatrix) {
  FakeHost host;
  ModelObject model;
  Load(model);
  model.SetModelFrameMatrix(4, 1, 2, 3, Translation(10, 0, 0), 1, 1, 1);
  Matrix4 m;
  model.GetModelFrameMatrix(4, m);
  ExpectMatrixNear(m, Translation(-9, 2, 3));
  Matrix4 singular = Translation(0, 0, 0);
  singular.m[0][0] = singular.m[1][1] = singular.m[2][2] = 0;
  model.SetModelFrameMatrix(4, 1, 2, 3, singular, 1, 1, 1);
  model.GetModelFrameMatrix(4, m);
  ExpectMatrixNear(m, Translation(0, 0, 0));  // the identity
}

TEST(ModelObject, WorldMatricesBoundsAndPose) {
  FakeHost host;
  ModelObject model;
  Load(model);
  Matrix4 camera = Translation(100, 0, 0);
  Device3d& device = DeviceWithWorld(camera);
  model.UpdateModelFrameWorldMatrices(device);
  Matrix4 world;
  model.GetModelFrameWorldMatrix(2, world);
  ExpectMatrixNear(world, Translation(101, 10, 0));
  Matrix4 after;
  device.GetTransform(Device3dTransform::kWorld, after.m);
  ExpectMatrixNear(after, camera);

  // Foot triangle at (1, 10, 0) + unit; head triangle at the origin, size 2.
  float box[6] = {1e9f, 1e9f, 1e9f, -1e9f, -1e9f, -1e9f};
  model.GetModelBoundingBox(box[0], box[1], box[2], box[3], box[4], box[5]);
  EXPECT_FLOAT_EQ(box[0], 0);
  EXPECT_FLOAT_EQ(box[3], 2);
  EXPECT_FLOAT_EQ(box[4], 11);
  Vector3 centre;
  float radius;
  ASSERT_EQ(model.GetModelMeshBoundingSphere(3, centre, radius), kModelOk);
  EXPECT_NEAR(centre.x, 4.0f / 3, 1e-5);
  EXPECT_NEAR(centre.y, 31.0f / 3, 1e-5);
  ASSERT_EQ(model.GetModelBoundingSphere(centre, radius), kModelOk);
  EXPECT_NEAR(centre.y, (30 + 1 + 2) / 6.0f, 1e-5);

  // Pose element n-1 goes to frame n; the root (id 0) keeps its matrix.
  std::vector<Matrix4> poses;
  for (int i = 0; i < 5; i++) poses.push_back(Translation(static_cast<float>(i), 0, 0));
  model.ApplyModelFramePose(poses.data(), poses.size());
  Matrix4 m;
  model.GetModelFrameMatrix(3, m);
  ExpectMatrixNear(m, poses[2]);
  model.GetModelFrameMatrix(5, m);
  ExpectMatrixNear(m, poses[4]);
  model.GetModelFrameMatrix(0, m);
  ExpectMatrixNear(m, Translation(0, 0, 0));
}

TEST(ModelObject, EmptyMeshesGiveNoSphere) {
  FakeHost host;
  const char text[] = "xof 0302txt 0032\nFrame A { Mesh m { 0;; 0;; } }\n";
  ModelObject model;
  Load(model, text);
  Vector3 centre;
  float radius = 0;
  EXPECT_EQ(model.GetModelBoundingSphere(centre, radius), kModelFail);
  EXPECT_FLOAT_EQ(radius, -1.0f);
  ModelObject empty;
  EXPECT_EQ(empty.GetModelRadius(centre, radius), kModelFail);
  EXPECT_EQ(empty.LinkModelNode(1, 2), kModelOk);  // nothing to link is no failure
}

TEST(ModelObject, DrawWithTextureFilterRestoresTheWorldTransform) {
  FakeHost host;
  ModelObject model;
  Load(model);
  int32_t grey = 0, blue = 0;
  model.GetModelMeshTexture(3, grey);
  model.GetModelMeshTexture(5, blue);
  ASSERT_GT(grey, 0);
  ASSERT_GT(blue, 0);
  Matrix4 camera = Translation(0, 0, 50);
  Device3d& device = DeviceWithWorld(camera);

  struct Case {
    int32_t filter;
    size_t draws;
    size_t textureSets;
  } cases[] = {{-1, 2, 2}, {blue, 1, 0}, {12345, 0, 0}};
  for (const Case& c : cases) {
    Device3dRecordClearCalls();
    ASSERT_EQ(model.DrawModel(device, c.filter), kModelOk);
    EXPECT_EQ(Device3dRecordCount(Device3dOp::kDrawIndexedPrimitiveVB), c.draws) << c.filter;
    EXPECT_EQ(Device3dRecordCount(Device3dOp::kSetTexture), c.textureSets) << c.filter;
    const auto& calls = Device3dRecordedCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().op, Device3dOp::kSetTransform);
    Matrix4 last;
    std::memcpy(last.m, calls.back().values, sizeof last.m);
    ExpectMatrixNear(last, camera);
  }
  // The foot is drawn under hips x leg x camera, with its own texture in force.
  Device3dRecordClearCalls();
  model.DrawModel(device, -1);
  for (const auto& call : Device3dRecordedCalls()) {
    if (call.op != Device3dOp::kDrawIndexedPrimitiveVB || call.args[4] != uint32_t(grey)) continue;
    EXPECT_FLOAT_EQ(call.values[12], 1);
    EXPECT_FLOAT_EQ(call.values[13], 10);
    EXPECT_FLOAT_EQ(call.values[14], 50);
    EXPECT_EQ(call.indices, (std::vector<uint16_t>{0, 1, 2}));
  }
  // Scaled normals go to the buffers only; the meshes keep theirs.
  model.RefillModelVertexBuffers(0);
  MeshView geometry;
  ASSERT_TRUE(MeshByName(model, "foot", geometry));
  const MeshNode* foot = nullptr;
  for (const ModelNode* n = model.Root()->child->child->child->child; n; n = n->next)
    foot = static_cast<const MeshNode*>(n);
  ASSERT_NE(foot, nullptr);
  const std::vector<Device3dVertex>* buffer = Device3dRecordedVertices(foot->vertexBuffer);
  ASSERT_NE(buffer, nullptr);
  EXPECT_FLOAT_EQ((*buffer)[0].nz, 0.0f);
  EXPECT_FLOAT_EQ(geometry.vertices[0].nz, 1.0f);
  // A hidden mesh neither draws nor sets a texture; the other still draws.
  model.SetModelMeshVisible(3, 0);
  Device3dRecordClearCalls();
  model.DrawModel(device, -1);
  EXPECT_EQ(Device3dRecordCount(Device3dOp::kDrawIndexedPrimitiveVB), 1u);
  EXPECT_EQ(Device3dRecordCount(Device3dOp::kSetTexture), 1u);
  model.DestroyModelObject();
  EXPECT_EQ(Device3dRecordLiveVertexBuffers(), 0u);
  // A model loaded while no device could hold buffers is drawn once one can.
  Device3dInstall(nullptr);
  ModelObject early;
  Load(early);
  Device3dInstall(Device3dOpenRecorder());
  Device3dRecordClearCalls();
  early.DrawModel(Device3dActive(), -1);
  EXPECT_EQ(Device3dRecordCount(Device3dOp::kDrawIndexedPrimitiveVB), 2u);
}

TEST(ModelObject, MeshAndOffsetEditsReachTheVertexBuffers) {
  FakeHost host;
  ModelObject model;
  Load(model);
  MeshView head;
  ASSERT_TRUE(MeshByName(model, "head", head));
  const MeshNode* headNode = static_cast<const MeshNode*>(model.Root()->child->next->child);
  struct Case {
    const char* what;
    void (*edit)(ModelObject&);
    float x, u, v;  // of vertex 1 afterwards: (2, 0, 0) with uv (0, 0) before
  } cases[] = {
      {"scale one mesh", [](ModelObject& m) { m.ScaleModelMesh(5, 3, 1, 1); }, 6, 0, 0},
      {"scale other id", [](ModelObject& m) { m.ScaleModelMesh(3, 10, 1, 1); }, 6, 0, 0},
      {"scale all", [](ModelObject& m) { m.ScaleModelMeshes(0.5f, 1, 1); }, 3, 0, 0},
      {"scroll uv", [](ModelObject& m) { m.ScrollModelMeshUV(5, 0.25f, 0.5f); }, 3, 0.25f, 0.5f},
      {"scale uv", [](ModelObject& m) { m.ScaleModelMeshUV(5, 4, 2); }, 3, 1, 1},
  };
  for (const Case& c : cases) {
    c.edit(model);
    EXPECT_FLOAT_EQ(head.vertices[1].x, c.x) << c.what;
    EXPECT_FLOAT_EQ(head.vertices[1].u, c.u) << c.what;
    EXPECT_FLOAT_EQ(head.vertices[1].v, c.v) << c.what;
    const std::vector<Device3dVertex>* buffer = Device3dRecordedVertices(headNode->vertexBuffer);
    ASSERT_NE(buffer, nullptr) << c.what;
    EXPECT_FLOAT_EQ((*buffer)[1].x, c.x) << c.what;
    EXPECT_FLOAT_EQ((*buffer)[1].v, c.v) << c.what;
  }
  model.ScaleModelFrameOffset(1, 2, 3, 4);
  model.ScaleModelFrameOffsets(1, 0.5f, 1);
  Matrix4 m;
  model.GetModelFrameMatrix(1, m);
  EXPECT_FLOAT_EQ(m.m[3][1], 15.0f);
  model.GetModelFrameMatrix(2, m);
  EXPECT_FLOAT_EQ(m.m[3][0], 1.0f);
  Vector3 centre;
  float value;
  ASSERT_EQ(model.GetModelSmallestAxisDistance(centre, value), kModelFail);  // corners at 0
  EXPECT_FLOAT_EQ(value, 0.0f);
}

TEST(ModelObject, RootMatrixAppliesOnlyWhileFlagged) {
  FakeHost host;
  ModelObject model;
  Load(model);
  Device3d& device = DeviceWithWorld(Translation(0, 0, 0));
  model.SetModelRootMatrix(1, Translation(0, 0, 7));
  Matrix4* pointer = nullptr;
  model.GetModelRootMatrixPointer(pointer);
  ASSERT_NE(pointer, nullptr);
  EXPECT_FLOAT_EQ(pointer->m[3][2], 7);
  model.UpdateModelFrameWorldMatrices(device);
  Matrix4 world;
  model.GetModelFrameWorldMatrix(1, world);
  EXPECT_FLOAT_EQ(world.m[3][2], 7);
  model.SetModelRootMatrix(0, Translation(0, 0, 7));
  model.UpdateModelFrameWorldMatrices(device);
  model.GetModelFrameWorldMatrix(1, world);
  EXPECT_FLOAT_EQ(world.m[3][2], 0);
}

TEST(ModelObject, LinkRefusalsLeaveTheTreeAlone) {
  FakeHost host;
  ModelObject model;
  Load(model);
  std::string before = DumpTree(model.Root());
  struct Case {
    int32_t node, parent;
  } refused[] = {{1, 2}, {1, 3}, {2, 2}, {2, 99}, {99, 2}};
  for (const Case& c : refused) {
    EXPECT_EQ(model.LinkModelNode(c.node, c.parent), kModelFail) << c.node << " " << c.parent;
    EXPECT_EQ(DumpTree(model.Root()), before);
  }
  // Arm, the last child of Hips, moves under Head; then Foot joins Hips after Leg.
  ASSERT_EQ(model.LinkModelNode(4, 5), kModelOk);
  ASSERT_EQ(model.LinkModelNode(3, 1), kModelOk);
  const ModelNode* hips = model.Root()->child;
  const ModelNode* head = hips->next;
  ASSERT_STREQ(hips->child->name, "Leg");
  ASSERT_NE(hips->child->next, nullptr);
  EXPECT_STREQ(hips->child->next->name, "Foot");
  EXPECT_EQ(hips->child->next->previous, hips->child);
  EXPECT_EQ(hips->child->child, nullptr);
  EXPECT_STREQ(head->child->next->name, "Arm");  // after the head mesh
  // Leg, now a first child without children, moves under Arm: Foot stays with Hips and
  // becomes its first child.
  ASSERT_EQ(model.LinkModelNode(2, 4), kModelOk);
  EXPECT_STREQ(hips->child->name, "Foot");
  EXPECT_EQ(hips->child->parent, hips);
  EXPECT_EQ(hips->child->previous, nullptr);
  EXPECT_EQ(ModelNodeParent(head->child->next->child), head->child->next);
  EXPECT_STREQ(head->child->next->child->name, "Leg");
  EXPECT_EQ(model.LinkModelNode(4, 2), kModelFail);  // Arm under its own child
}

TEST(ModelObject, FrameNamesFindTheFirstMatchOfEachPart) {
  FakeHost host;
  const char text[] =
      "xof 0302txt 0032\n"
      "Frame P { Frame X { Frame X { } } Frame X { } }\n"
      "Mesh Q { 0;; 0;; }\n";
  ModelObject model;
  Load(model, text);
  struct Case {
    const char* name;
    int32_t id;
  } cases[] = {{"X", 2}, {"P", 1}, {"Q", -7}, {"root", 0}};
  for (const Case& c : cases) {
    int32_t id = -7;
    FindFrameIdByName(model.Root(), c.name, id);
    EXPECT_EQ(id, c.id) << c.name;
  }
  const char later[] = "xof 0302txt 0032\nFrame P { Frame X { } Frame X { } }\nFrame X { }\n";
  ModelObject other;
  Load(other, later);
  int32_t id = -7;
  FindFrameIdByName(other.Root(), "X", id);
  EXPECT_EQ(id, 4);  // a later match outside the first one's part overwrites it
  char name[kModelNameSize];
  EXPECT_EQ(other.GetModelFrameName(3, name, sizeof name), kModelOk);
  EXPECT_STREQ(name, "X");
  EXPECT_EQ(other.GetModelFrameName(99, name, sizeof name), kModelOk);
  EXPECT_STREQ(name, "");
}

TEST(ModelObject, MeshFansCountersAndAutomaticSpheres) {
  FakeHost host;
  CollReset();
  const char text[] =
      "xof 0302txt 0032\nFrame F {\n"
      " Mesh penta { 5; 0;0;0;, 1;0;0;, 2;1;0;, 1;2;0;, 0;1;0;; 1; 5;0,1,2,3,4;; }\n"
      " Mesh dot { 3; 4;5;6;, 4;5;6;, 4;5;6;; 1; 3;0,1,2;; } }\n";
  ModelObject model;
  Load(model, text);
  MeshView geometry;
  ASSERT_TRUE(MeshByName(model, "penta", geometry));
  EXPECT_EQ(std::vector<uint16_t>(geometry.indices, geometry.indices + geometry.indexCount),
            (std::vector<uint16_t>{0, 1, 2, 0, 2, 3, 0, 3, 4}));
  int32_t counter = 0, texture = -5;
  char name[kModelNameSize] = "unchanged";
  model.GetModelMeshTextureByIndex(1, -2, counter, texture, name, sizeof name);
  EXPECT_EQ(counter, 2);
  EXPECT_EQ(texture, -5);
  EXPECT_STREQ(name, "unchanged");
  model.BuildModelMeshCollision(9, 1, 51);
  const auto* penta = static_cast<const MeshNode*>(model.Root()->child->child);
  const auto* dot = static_cast<const MeshNode*>(penta->next);
  ASSERT_NE(dot->collisionShape, nullptr);
  EXPECT_TRUE(dot->centreOffsetFlag);
  EXPECT_FLOAT_EQ(dot->centreOffset.y, 5.0f);
  EXPECT_EQ(ModelCollisionOwner(dot->collisionKey), 9);
  model.DestroyModelObject();
  CollReset();
}

TEST(ModelObject, UserFramesAndMeshes) {
  FakeHost host;
  const float positions[] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  const float normals[] = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
  const uint32_t faces[] = {4, 0, 0, 1, 1, 2, 2, 3, 3};
  ModelMeshData quad;
  quad.vertexCount = 4;
  quad.positions = positions;
  quad.normals = normals;
  quad.faceCount = 1;
  quad.faces = faces;
  quad.faceWords = 9;
  ModelObject model;
  EXPECT_EQ(model.AddUserFrame(5, quad, 3), kModelFail);  // no root yet
  ASSERT_EQ(model.AddUserFrame(0, quad, 3), kModelOk);
  EXPECT_EQ(model.AddUserFrame(0, quad, 3), kModelFail);  // a second root
  ASSERT_EQ(model.AddUserFrame(5, quad, 0), kModelOk);
  EXPECT_EQ(DumpTree(model.Root()).substr(0, 12), "frame 'root'");
  const ModelNode* mesh = model.Root()->child;
  EXPECT_STREQ(mesh->name, "usermesh");
  EXPECT_STREQ(static_cast<const MeshNode*>(mesh)->textureName, "Default");
  EXPECT_EQ(static_cast<const MeshNode*>(mesh)->indexCount, 6u);
  EXPECT_STREQ(mesh->next->name, "userframe");
  EXPECT_EQ(mesh->next->id, 5);
  // A face list that indexes past the vertices is refused.
  const uint32_t bad[] = {3, 0, 0, 1, 1, 9, 9};
  ModelMeshData broken = quad;
  broken.faces = bad;
  broken.faceWords = 7;
  EXPECT_EQ(model.AddUserFrame(6, broken, 0), kModelFail);
  model.RebuildModelMeshFromRecord(5, broken);  // leaves the mesh as it was
  MeshView geometry;
  ASSERT_TRUE(MeshByName(model, "usermesh", geometry));
  EXPECT_EQ(geometry.indexCount, 6u);
  model.ListModelFrames();
  ASSERT_EQ(host.checklist.size(), 1u);
  EXPECT_EQ(host.checklist[0].first, 5);
  EXPECT_EQ(host.checklist[0].second, "userframe");
  // A visit of the nodes and the no-op change nothing and answer 0, with or without a model.
  const std::string before = DumpTree(model.Root());
  model.VisitModelNodes(5, 1);
  EXPECT_EQ(DumpTree(model.Root()), before);
  EXPECT_EQ(model.ModelNoOp(7), kModelOk);
  ModelObject empty;
  empty.VisitModelNodes(0, 0);
  EXPECT_EQ(empty.ModelNoOp(0), kModelOk);
}

TEST(ModelObject, CollisionKeysAreUniquePerMesh) {
  FakeHost host;
  CollReset();
  const char text[] =
      "xof 0302txt 0032\n"
      "Frame A { Mesh m1 { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n"
      "          Mesh m2 { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }\n";
  ModelObject first, second;
  Load(first, text);
  Load(second, text);
  ASSERT_EQ(first.BuildModelCollision(7, 51, 0, 0, 0), kModelOk);
  ASSERT_EQ(second.BuildModelCollision(4000000, 99, 0, 0, 0), kModelOk);
  std::vector<uint32_t> keys;
  for (ModelObject* model : {&first, &second}) {
    for (const ModelNode* node = model->Root()->child->child; node; node = node->next)
      keys.push_back(static_cast<const MeshNode*>(node)->collisionKey);
  }
  ASSERT_EQ(keys.size(), 4u);
  for (size_t i = 0; i < keys.size(); i++) {
    EXPECT_NE(keys[i], 0u);
    for (size_t j = i + 1; j < keys.size(); j++) EXPECT_NE(keys[i], keys[j]);
  }
  EXPECT_EQ(ModelCollisionOwner(keys[1]), 7);
  EXPECT_EQ(ModelCollisionOwner(keys[3]), 4000000);
  // The two models overlap: every pair touches, the owners come back through the keys.
  struct Seen {
    std::vector<std::pair<int32_t, int32_t>> owners;
  } seen;
  CollSetDefaultResponse(
      [](uintptr_t data, uint32_t a, uint32_t b, const CollisionData*) {
        reinterpret_cast<Seen*>(data)->owners.emplace_back(ModelCollisionOwner(a),
                                                           ModelCollisionOwner(b));
      },
      kCollResponseSimple, reinterpret_cast<uintptr_t>(&seen));
  CollClearPairListFlag();
  Device3d& device = DeviceWithWorld(Translation(0, 0, 0));
  first.UpdateModelCollisionTransforms(device);
  second.UpdateModelCollisionTransforms(device);
  CollProceed();
  CollTestAllPairs();
  bool crossed = false;
  for (auto [a, b] : seen.owners) crossed |= (a == 7 && b == 4000000) || (a == 4000000 && b == 7);
  EXPECT_TRUE(crossed);
  first.RemoveModelMeshCollision(1);
  EXPECT_EQ(ModelCollisionOwner(keys[0]), 0);
  first.BuildModelMeshCollision(3, 1, 0);  // type 0 leaves no collision
  EXPECT_EQ(ModelCollisionOwner(keys[0]), 0);
  CollReset();
}

}  // namespace
