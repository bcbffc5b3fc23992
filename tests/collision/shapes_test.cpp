// Support mappings of every shape kind and the transform operations they are placed by.
// Local answers come from tables; transformed answers are checked against sampled points.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "tests/collision/collision_test_util.h"

using namespace coll;

namespace {

void ExpectNear(const Vector3d& got, const Vector3d& want, double tol = 1e-12) {
  EXPECT_NEAR(got.x, want.x, tol);
  EXPECT_NEAR(got.y, want.y, tol);
  EXPECT_NEAR(got.z, want.z, tol);
}


}  // namespace

TEST(CollisionShapes, SupportTable) {
  Box box({1, 2, 3});
  Cone cone(1, 2);          // half height 1, apex (0, 1, 0), sine 1/sqrt(5)
  Cylinder cylinder(1, 2);  // half height 1
  Sphere sphere(2);
  struct Row {
    const char* what;
    const Convex* shape;
    Vector3d d, want;
  };
  const Row rows[] = {
      {"box zero direction takes +half", &box, {0, 0, 0}, {1, 2, 3}},
      {"box negative zero is not negative", &box, {-1, 0.5, -0.0}, {-1, 2, 3}},
      {"box corner", &box, {-1, -1, -1}, {-1, -2, -3}},
      {"cone up is the apex", &cone, {0, 1, 0}, {0, 1, 0}},
      {"cone down is the base centre", &cone, {0, -1, 0}, {0, -1, 0}},
      {"cone sideways is the rim", &cone, {1, 0, 0}, {1, -1, 0}},
      {"cone just below the slant is the rim", &cone, {1, 0.49, 0}, {1, -1, 0}},
      {"cone just above the slant is the apex", &cone, {1, 0.51, 0}, {0, 1, 0}},
      {"cylinder top rim", &cylinder, {1, 1, 0}, {1, 1, 0}},
      {"cylinder bottom rim off-axis", &cylinder, {3, -1, 4}, {0.6, -1, 0.8}},
      {"cylinder axis down", &cylinder, {0, -1, 0}, {0, -1, 0}},
      {"cylinder flat direction takes the top", &cylinder, {0, 0, -2}, {0, 1, -1}},
      {"sphere", &sphere, {0, 3, 4}, {0, 1.2, 1.6}},
      {"sphere tiny direction is the centre", &sphere, {1e-11, 0, 0}, {0, 0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ExpectNear(row.shape->Support(row.d), row.want);
  }
}

TEST(CollisionShapes, PolytopeSupportTiesKeepEarliestAndRingWalks) {
  VertexArray v({{1, -1, 0}, {0, 0, 0}, {1, 1, 0}, {-1, 0, 0}});
  const uint32_t order[] = {2, 0, 1, 3};  // (1,1,0) comes before (1,-1,0) in index order
  Simplex simplex(&v.field, order, 4);
  Polyhedron polyhedron(&v.field, order, 4);
  ExpectNear(simplex.Support({1, 0, 0}), {1, 1, 0});
  ExpectNear(polyhedron.Support({1, 0, 0}), {1, 1, 0});
  ExpectNear(polyhedron.Support({-1, 0.1, 0}), {-1, 0, 0});

  // A regular octagon ring: each query must match the scan, from wherever the last one ended.
  std::vector<Vector3d> ring;
  for (int i = 0; i < 8; ++i) ring.push_back({std::cos(i * M_PI / 4), std::sin(i * M_PI / 4), 0});
  VertexArray r(ring);
  const uint32_t ringOrder[] = {0, 1, 2, 3, 4, 5, 6, 7};
  Polygon polygon(&r.field, ringOrder, 8);
  Polyhedron scan(&r.field, ringOrder, 8);
  for (double angle : {0.1, 2.0, 3.3, -2.5, 1.0, 4.0, 0.2, 5.9}) {
    Vector3d d{std::cos(angle), std::sin(angle), 0.3};
    ExpectNear(polygon.Support(d), scan.Support(d));
  }
  // A new array behind the same field moves the polytope.
  std::vector<Vector3d> moved = v.points;
  for (auto& p : moved) p.x += 10;
  v.field = moved.data();
  ExpectNear(simplex.Support({1, 0, 0}), {11, 1, 0});
}

TEST(CollisionShapes, CreateBoxKeepsHalfSizes) {
  std::unique_ptr<CollShape> shape(CollCreateBox(2, 4, 6));
  ExpectNear(static_cast<Box*>(shape.get())->HalfExtents(), {1, 2, 3});
}

// Under translation, rotation and non-uniform scale the placed support point must beat every
// sampled point of the placed shape, and the box must hold them all.
TEST(CollisionShapes, TransformedSupportIsExtremeAndBoxEnclosesIt) {
  Box box({1, 2, 3});
  Cone cone(1, 2);
  Cylinder cylinder(0.5, 3);
  Sphere sphere(1.5);
  VertexArray tetra({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
  const uint32_t idx[] = {0, 1, 2, 3};
  Polyhedron polyhedron(&tetra.field, idx, 4);
  const Convex* shapes[] = {&box, &cone, &cylinder, &sphere, &polyhedron};

  Transform3d t;
  TransformTranslate(t, {5, -2, 1});
  TransformRotate(t, 0.3, -0.2, 0.5, 0.8);
  TransformScale(t, {2, 0.5, 1.5});

  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1, 1);
  for (const Convex* shape : shapes) {
    std::vector<Vector3d> samples;
    for (int i = 0; i < 200; ++i) samples.push_back(t.Apply(shape->Support({u(rng), u(rng), u(rng)})));
    BoundingBox bound = shape->Bound(t);
    for (int i = 0; i < 50; ++i) {
      Vector3d d{u(rng), u(rng), u(rng)};
      Vector3d best = t.Apply(shape->Support(t.ApplyTransposed(d)));
      for (const Vector3d& s : samples) EXPECT_LE(Dot(d, s), Dot(d, best) + 1e-9);
    }
    for (const Vector3d& s : samples)
      for (int a = 0; a < 3; ++a) {
        EXPECT_LE(s[a], bound.Max()[a]);
        EXPECT_GE(s[a], bound.Min()[a]);
      }
  }
  // Exact box of a box: scale x by 3, then a quarter turn about z swaps the x and y extents.
  Transform3d q;
  TransformTranslate(q, {10, 0, 0});
  TransformRotate(q, 0, 0, std::sqrt(0.5), std::sqrt(0.5));
  TransformScale(q, {3, 1, 1});
  BoundingBox b = box.Bound(q);
  ExpectNear(b.centre, {10, 0, 0}, 1e-9);
  ExpectNear(b.extent, {2 + 1e-10, 3 + 1e-10, 3 + 1e-10}, 1e-9);
}

TEST(CollisionShapes, MatrixLayoutInverseAndRelative) {
  // Row vectors: p x M with the translation in the last row.
  const float m[16] = {0, 1, 0, 0, -2, 0, 0, 0, 0, 0, 3, 0, 7, 8, 9, 1};
  Transform3d t = TransformFromMatrix(m);
  EXPECT_EQ(t.kind, 7u);
  Vector3d p{1, 2, 3};
  Vector3d want{1 * 0 + 2 * -2 + 3 * 0 + 7, 1 * 1 + 2 * 0 + 3 * 0 + 8, 3 * 3 + 9};
  ExpectNear(t.Apply(p), want);

  Transform3d a;
  TransformTranslate(a, {1, 2, 3});
  TransformRotate(a, 0.1, 0.7, -0.3, 0.6);
  Transform3d scaled = a;
  TransformScale(scaled, {2, 3, 0.5});
  for (const Transform3d* first : {&a, &scaled}) {
    Transform3d inv = TransformInverse(*first);
    ExpectNear(inv.Apply(first->Apply(p)), p, 1e-12);
    Transform3d rel = TransformRelative(*first, t);
    ExpectNear(rel.Apply(p), inv.Apply(t.Apply(p)), 1e-12);
    ExpectNear(TransformCompose(*first, t).Apply(p), first->Apply(t.Apply(p)), 1e-12);
  }
  // Multiplying by a matrix applies the matrix first.
  Transform3d mult = scaled;
  TransformMultiply(mult, t);
  ExpectNear(mult.Apply(p), scaled.Apply(t.Apply(p)), 1e-12);

  // A singular scale has no inverse: it comes out as NaN, never as a finite wrong answer.
  Transform3d flat;
  TransformScale(flat, {1, 0, 1});
  EXPECT_FALSE(TransformInverse(flat).IsFiniteTransform());
}
