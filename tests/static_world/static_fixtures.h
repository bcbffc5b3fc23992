// Fixtures of the static world tests: a recording device and a counting host, meshes built
// as boxes and fans, and a camera at the origin looking along +z.
#pragma once
#include "models/static/static_world.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

// A mesh in the engine's record layout: positions, normals, uvs and the face list.
struct TestMesh {
  std::vector<float> positions, normals, uvs;
  std::vector<uint32_t> faces;
  uint32_t faceCount = 0;
  uint32_t VertexCount() const { return static_cast<uint32_t>(positions.size() / 3); }
};
// An axis-aligned box of six four-cornered faces around the centre.
TestMesh BoxMesh(float cx, float cy, float cz, float hx, float hy, float hz);
// One face of `corners` corners on a circle of the radius in the plane z = cz.
TestMesh FanMesh(uint32_t corners, float cx, float cy, float cz, float radius);
bool AddMesh(const TestMesh& mesh, int32_t texture, int32_t owner = 0, bool occluder = false, bool second = false,
             bool fullHeight = false);

// The camera at the origin looking along +z, 4:3, far plane 3000.
StaticView FrontView();

// Every test starts on a fresh recording device and an empty world with a 4000-vertex buffer;
// the host counts texture references and records saved textures.
class StaticWorldTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  static std::map<int32_t, int> references;  // texture -> references the world holds
  static std::map<std::string, int32_t> saved;  // texture files written -> their texture
};
