// Small helpers shared by the collision tests: a vertex array with its field, and a fixture
// that resets the library's process-wide state around every test.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "models/collision/collision_local.h"

// Polytopes read their vertices through their complex shape's array field; tests own one.
struct VertexArray {
  std::vector<Vector3d> points;
  const Vector3d* field = nullptr;
  explicit VertexArray(std::vector<Vector3d> p) : points(std::move(p)), field(points.data()) {}
};

// Resets the library and deletes the shapes a test made through Keep().
class CollisionFixture : public ::testing::Test {
 protected:
  void SetUp() override { CollReset(); }
  void TearDown() override {
    CollReset();
    for (CollShape* shape : shapes_) CollDeleteShape(shape);
  }
  CollShape* Keep(CollShape* shape) {
    shapes_.push_back(shape);
    return shape;
  }

 private:
  std::vector<CollShape*> shapes_;
};

// The 12 triangles of an axis-aligned cube of half size `half`, built through the flat calls
// over the caller's vertex array (8 corners).
inline std::vector<Vector3d> CubeCorners(double half) {
  std::vector<Vector3d> corners;
  for (int i = 0; i < 8; ++i)
    corners.push_back({i & 1 ? half : -half, i & 2 ? half : -half, i & 4 ? half : -half});
  return corners;
}

inline CollShape* BuildCubeMesh(const std::vector<Vector3d>& corners) {
  static const uint32_t kTriangles[12][3] = {{0, 1, 3}, {0, 3, 2}, {4, 6, 7}, {4, 7, 5},
                                             {0, 4, 5}, {0, 5, 1}, {2, 3, 7}, {2, 7, 6},
                                             {0, 2, 6}, {0, 6, 4}, {1, 5, 7}, {1, 7, 3}};
  CollShape* shape = CollBeginComplex();
  CollSetVertexBase(corners.data(), static_cast<uint32_t>(corners.size()));
  for (const auto& t : kTriangles) CollAddPolytope(kCollSimplex, 3, t);
  CollEndComplex();
  return shape;
}
