// Box trees of complex shapes: the structure the build gives, the tree walks against convex
// and complex shapes, and refitting after a new vertex array.
#include <cmath>

#include "tests/collision/collision_test_util.h"

using namespace coll;

namespace {

class CollisionTree : public CollisionFixture {};

// One flat triangle, centred at (cx, cy, 0), 4 wide in x and 0.1 high in y.
void AddTriangle(std::vector<Vector3d>& points, double cx, double cy) {
  points.push_back({cx - 2, cy, 0});
  points.push_back({cx + 2, cy, 0});
  points.push_back({cx, cy + 0.1, 0});
}

}  // namespace

TEST_F(CollisionTree, BuildShapes) {
  {  // One polytope: no internal nodes, the root is the leaf.
    std::vector<Vector3d> points;
    AddTriangle(points, 0, 0);
    auto* complex = static_cast<Complex*>(Keep(CollBeginComplex()));
    CollSetVertexBase(points.data(), 3);
    CollAddPolytopeRange(kCollSimplex, 0, 3);
    CollEndComplex();
    EXPECT_EQ(complex->Root(), complex->Leaves());
    EXPECT_EQ(complex->Root()->tag, 0u);
  }
  {  // Two with equal centres on the split axis (x): k is 0, so each child gets one, and the
     // partition swapped them.
    std::vector<Vector3d> points;
    AddTriangle(points, 0, 0);
    AddTriangle(points, 0, 1);
    auto* complex = static_cast<Complex*>(Keep(CollBeginComplex()));
    CollSetVertexBase(points.data(), 6);
    CollAddPolytopeRange(kCollSimplex, 0, 3);
    CollAddPolytopeRange(kCollSimplex, 3, 3);
    CollEndComplex();
    const BoxTreeNode* root = complex->Root();
    ASSERT_EQ(root, complex->Internals());
    EXPECT_EQ(root->tag, 1u);
    EXPECT_EQ(root->lower, &complex->Leaves()[0]);
    EXPECT_EQ(root->upper, &complex->Leaves()[1]);
    EXPECT_EQ(root->lower->polytope->Index(0), 3u);  // the second triangle came first
    EXPECT_EQ(root->upper->polytope->Index(0), 0u);
  }
  {  // Three on one side: k becomes 1; the lower child is a leaf, the upper an internal node
     // over two leaves, taken second in the internal array.
    std::vector<Vector3d> points;
    AddTriangle(points, 0, 0);
    AddTriangle(points, 0, 1);
    AddTriangle(points, 0, 2);
    auto* complex = static_cast<Complex*>(Keep(CollBeginComplex()));
    CollSetVertexBase(points.data(), 9);
    for (uint32_t first : {0u, 3u, 6u}) CollAddPolytopeRange(kCollSimplex, first, 3);
    CollEndComplex();
    const BoxTreeNode* root = complex->Root();
    ASSERT_EQ(root->tag, 1u);
    EXPECT_EQ(root->lower->tag, 0u);
    EXPECT_EQ(root->upper, &complex->Internals()[1]);
    EXPECT_EQ(root->upper->lower->tag, 0u);
    EXPECT_EQ(root->upper->upper->tag, 0u);
    // The root box encloses all three.
    EXPECT_NEAR(root->box.Min().y, 0, 1e-12);
    EXPECT_NEAR(root->box.Max().y, 2.1, 1e-12);
  }
}

TEST_F(CollisionTree, HollowCubeMeshAgainstSphere) {
  std::vector<Vector3d> corners = CubeCorners(1);
  auto* cube = static_cast<Complex*>(Keep(BuildCubeMesh(corners)));
  ASSERT_EQ(cube->LeafCount(), 12u);
  Sphere sphere(0.5);
  Transform3d turned;  // the cube turned and moved; answers must follow it
  TransformTranslate(turned, {3, -1, 2});
  TransformRotate(turned, 0.2, 0.4, -0.1, 0.9);
  struct Row {
    const char* what;
    Vector3d local;  // sphere centre in the cube's frame
    bool contact;
  };
  const Row rows[] = {
      {"overlapping a face", {1.49, 0.2, -0.3}, true},
      {"apart from a face", {1.51, 0.2, -0.3}, false},
      {"over an edge", {1.3, 1.3, 0}, true},
      {"beyond an edge", {1.36, 1.36, 0}, false},
      {"inside the hollow mesh", {0, 0, 0}, false},
  };
  for (const Transform3d& t : {Transform3d{}, turned}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.what);
      Transform3d ts;
      TransformTranslate(ts, t.Apply(row.local));
      Vector3d v{0, 0, 0};
      EXPECT_EQ(IntersectComplexConvex(*cube, t, sphere, ts, v), row.contact);
      v = {0, 0, 0};
      const Polytope* leaf = FindLeafComplexConvex(*cube, t, sphere, ts, v);
      EXPECT_EQ(leaf != nullptr, row.contact);
      v = {0, 0, 0};
      Vector3d pa, pb;
      EXPECT_EQ(CommonPointComplexConvex(*cube, t, sphere, ts, v, pa, pb), row.contact);
      if (row.contact) {
        EXPECT_LT(std::sqrt(LengthSquared(t.Apply(pa) - ts.Apply(pb))), 1e-9);
      }
    }
  }
}

TEST_F(CollisionTree, ComplexAgainstComplexAndRefit) {
  std::vector<Vector3d> cornersA = CubeCorners(1), cornersB = CubeCorners(0.5);
  auto* a = static_cast<Complex*>(Keep(BuildCubeMesh(cornersA)));
  auto* b = static_cast<Complex*>(Keep(BuildCubeMesh(cornersB)));
  Transform3d tb;
  TransformTranslate(tb, {1.4, 0, 0});
  TransformRotate(tb, 0, 0.3, 0, 0.95);
  Vector3d v{0, 0, 0};
  EXPECT_TRUE(IntersectComplexComplex(*a, {}, *b, tb, v));
  const Polytope *la = nullptr, *lb = nullptr;
  v = {0, 0, 0};
  ASSERT_TRUE(FindLeavesComplexComplex(*a, {}, *b, tb, v, la, lb));
  EXPECT_TRUE(la && lb);
  // Small cube wholly inside the big hollow one: the surfaces never meet.
  Transform3d inside;
  TransformTranslate(inside, {0.2, 0, 0});
  v = {0, 0, 0};
  EXPECT_FALSE(IntersectComplexComplex(*a, {}, *b, inside, v));

  // A new vertex array moves the answers: the big cube slides 10 along x.
  std::vector<Vector3d> moved = cornersA;
  for (auto& p : moved) p.x += 10;
  CollChangeVertexBase(a, moved.data(), static_cast<uint32_t>(moved.size()));
  v = {0, 0, 0};
  EXPECT_FALSE(IntersectComplexComplex(*a, {}, *b, tb, v));
  Transform3d there = tb;
  there.origin.x += 10;
  v = {0, 0, 0};
  EXPECT_TRUE(IntersectComplexComplex(*a, {}, *b, there, v));
  EXPECT_NEAR(a->Root()->box.centre.x, 10, 1e-12);
  // A shorter array than the polytopes index is refused.
  CollChangeVertexBase(a, moved.data(), 7);
  EXPECT_EQ(a->Vertices(), moved.data());
}

TEST_F(CollisionTree, BoxOverlapUnderRelativeTransform) {
  BoundingBox a = BoundingBox::FromCorners({-1, -1, -1}, {1, 1, 1});
  BoundingBox b = a;
  Transform3d t;
  TransformTranslate(t, {2, 0, 0});  // faces touch: equality counts
  EXPECT_TRUE(BoxesOverlapRelative(a, b, t, TransformInverse(t)));
  Transform3d turned;
  TransformTranslate(turned, {2.3, 2.3, 0});
  TransformRotate(turned, 0, 0, std::sin(M_PI / 8), std::cos(M_PI / 8));
  // The turned box's corner reaches 2.3 - sqrt(2) = 0.886 on x and y, inside A's face planes,
  // but on B's own axes the two are apart: only the second three axes see it.
  EXPECT_FALSE(BoxesOverlapRelative(a, b, turned, TransformInverse(turned)));
}

TEST_F(CollisionTree, EmptyComplexNeverCollides) {
  auto* empty = static_cast<Complex*>(Keep(CollBeginComplex()));
  CollEndComplex();
  EXPECT_EQ(empty->Root(), nullptr);
  EXPECT_FALSE(BoxesOverlap(empty->Bound({}), BoundingBox::FromCorners({-1, -1, -1}, {1, 1, 1})));
  std::vector<Vector3d> corners = CubeCorners(1);
  auto* cube = static_cast<Complex*>(Keep(BuildCubeMesh(corners)));
  Sphere sphere(5);
  Vector3d v{0, 0, 0};
  EXPECT_FALSE(IntersectComplexConvex(*empty, {}, sphere, {}, v));
  EXPECT_FALSE(IntersectComplexComplex(*empty, {}, *cube, {}, v));
  EXPECT_FALSE(IntersectComplexComplex(*cube, {}, *empty, {}, v));
}
