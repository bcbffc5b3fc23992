// Fixtures of the static world tests.
#include "tests/static_world/static_fixtures.h"

#include "platform/device3d_record.h"

#include <cmath>

std::map<int32_t, int> StaticWorldTest::references;
std::map<std::string, int32_t> StaticWorldTest::saved;

TestMesh BoxMesh(float cx, float cy, float cz, float hx, float hy, float hz) {
  TestMesh mesh;
  for (int i = 0; i < 8; ++i) {
    mesh.positions.insert(mesh.positions.end(),
                          {cx + ((i & 4) ? hx : -hx), cy + ((i & 2) ? hy : -hy), cz + ((i & 1) ? hz : -hz)});
    mesh.normals.insert(mesh.normals.end(), {0, 1, 0});
    mesh.uvs.insert(mesh.uvs.end(), {static_cast<float>(i & 1), static_cast<float>((i >> 1) & 1)});
  }
  const uint32_t quads[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
  for (const auto& quad : quads) {
    mesh.faces.push_back(4);
    for (uint32_t corner : quad) mesh.faces.insert(mesh.faces.end(), {corner, corner});
  }
  mesh.faceCount = 6;
  return mesh;
}

TestMesh FanMesh(uint32_t corners, float cx, float cy, float cz, float radius) {
  TestMesh mesh;
  mesh.faces.push_back(corners);
  for (uint32_t i = 0; i < corners; ++i) {
    const float a = 6.2831853f * static_cast<float>(i) / static_cast<float>(corners);
    mesh.positions.insert(mesh.positions.end(), {cx + radius * std::cos(a), cy + radius * std::sin(a), cz});
    mesh.normals.insert(mesh.normals.end(), {0, 0, -1});
    mesh.uvs.insert(mesh.uvs.end(), {0.5f, 0.5f});
    mesh.faces.insert(mesh.faces.end(), {i, i});
  }
  mesh.faceCount = 1;
  return mesh;
}

bool AddMesh(const TestMesh& mesh, int32_t texture, int32_t owner, bool occluder, bool second, bool fullHeight) {
  return AddStaticMesh(texture, mesh.positions.data(), mesh.normals.data(), mesh.faces.data(), mesh.faces.size(),
                       mesh.uvs.data(), mesh.VertexCount(), mesh.faceCount, occluder, second, owner, fullHeight);
}

StaticView FrontView() {
  StaticView view;
  MatrixIdentity(view.world);
  MatrixIdentity(view.camera);
  MatrixProjection(view.projection, 1.0814433f, 0.75f, 1.0f, 3000.0f);
  return view;
}

void StaticWorldTest::SetUp() {
  Device3dInstall(Device3dOpenRecorder());
  references.clear();
  saved.clear();
  StaticWorldHost host{};
  host.RetainTexture = [](int32_t texture) { references[texture] += 1; };
  host.ReleaseTexture = [](int32_t texture, int32_t) { references[texture] -= 1; };
  host.SaveTexture = [](int32_t texture, const char* path) {
    saved[path] = texture;
    return true;
  };
  // Texture files load as texture 100 + the number in the name's tail; "missing" ones fail.
  host.GetTextureByFile = [](const char* name, int32_t) {
    const std::string text = name;
    if (text.find("missing") != std::string::npos) return -1;
    const size_t underscore = text.rfind('_');
    const int32_t texture = 100 + std::atoi(text.c_str() + underscore + 1);
    references[texture] += 1;
    return texture;
  };
  StaticWorldInit(&host);
  ReleaseStaticWorld();
  CreateStaticVertexBufferDefault();
}

void StaticWorldTest::TearDown() {
  ReleaseStaticWorld();
  for (const auto& [texture, count] : references) EXPECT_EQ(count, 0) << "texture " << texture;
  Device3dInstall(nullptr);
}
