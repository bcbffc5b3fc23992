// Convex intersection, common point and closest points against analytic answers: each pair is
// placed overlapping, touching, 1e-9 apart and clearly apart along a direction.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/collision/collision_test_util.h"

using namespace coll;

namespace {

Vector3d Unit(Vector3d d) { return d * (1.0 / std::sqrt(LengthSquared(d))); }

Transform3d At(const Vector3d& p) {
  Transform3d t;
  TransformTranslate(t, p);
  return t;
}

// The pair: A at `ta`, B at `tb` then moved along `axis` so that at offset `touch` they just
// touch; `inside` tells whether a local point lies in a shape.
struct PairCase {
  const char* name;
  const Convex* a;
  Transform3d ta;
  const Convex* b;
  Transform3d tb;
  Vector3d axis;
  double touch;
};

Transform3d Placed(const PairCase& c, double gap) {
  Transform3d t = c.tb;
  t.origin = t.origin + c.axis * (c.touch + gap);
  t.kind |= kTranslated;
  return t;
}

}  // namespace

TEST(CollisionConvex, PairsAgainstAnalyticAnswers) {
  Sphere unit(1), half(0.5);
  Box cube({1, 1, 1});
  Cone cone(1, 2);
  Cylinder cylinder(1, 2);
  VertexArray tetraA({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
  VertexArray tetraB({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}});
  VertexArray triangle({{-1, 0, -1}, {1, 0, -1}, {0, 0, 1}});
  VertexArray square({{0, 0, -0.5}, {0, 0, 0.5}, {0, 1, 0.5}, {0, 1, -0.5}});
  const uint32_t idx[] = {0, 1, 2, 3};
  Polyhedron polyA(&tetraA.field, idx, 4), polyB(&tetraB.field, idx, 4);
  Simplex tri(&triangle.field, idx, 3);
  Polygon ring(&square.field, idx, 4);

  Transform3d turned;  // a cube turned 45 degrees about z reaches sqrt(2) along x
  TransformRotate(turned, 0, 0, std::sin(M_PI / 8), std::cos(M_PI / 8));
  Transform3d scaledSphere;  // a unit sphere scaled to an ellipsoid 3 long in x
  TransformScale(scaledSphere, {3, 1, 1});

  const PairCase cases[] = {
      {"sphere/sphere", &unit, At({0, 0, 0}), &unit, {}, {1, 0, 0}, 2},
      {"sphere/sphere diagonal", &unit, At({1, 2, 3}), &unit, At({1, 2, 3}), Unit({1, 1, 1}), 2},
      {"ellipsoid/sphere", &unit, scaledSphere, &half, {}, {1, 0, 0}, 3.5},
      {"box/box", &cube, {}, &cube, {}, {1, 0, 0}, 2},
      {"box/turned box", &cube, {}, &cube, turned, {1, 0, 0}, 1 + std::sqrt(2.0)},
      {"box/cone apex", &cube, {}, &cone, {}, {0, -1, 0}, 2},
      {"cylinder/sphere side", &cylinder, {}, &half, {}, {1, 0, 0}, 1.5},
      {"cylinder/sphere cap", &cylinder, {}, &half, {}, {0, 1, 0}, 1.5},
      {"tetra/tetra face to face", &polyA, {}, &polyB, {}, {0, 0, -1}, 0},
      {"triangle/square ring edge", &tri, {}, &ring, {}, {0, 1, 0}, 0},
  };
  for (const PairCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (double gap : {-0.1, 0.0, 1e-9, 0.5}) {
      SCOPED_TRACE(gap);
      Transform3d tb = Placed(c, gap);
      Vector3d v{0, 0, 0};
      bool hit = IntersectObjects(*c.a, c.ta, *c.b, tb, v);
      if (gap > 0) {
        EXPECT_FALSE(hit);
        Vector3d pa, pb;
        ClosestPoints(*c.a, c.ta, *c.b, tb, 1e-6, pa, pb);
        double dist = std::sqrt(LengthSquared(c.ta.Apply(pa) - tb.Apply(pb)));
        // Near curved surfaces a distance of 1e-9 is found to a few 1e-9 only.
        EXPECT_NEAR(dist, gap, gap * 1e-6 + 1e-8);
      } else if (gap < 0) {
        EXPECT_TRUE(hit);
        Vector3d v2{0, 0, 0}, pa, pb;
        ASSERT_TRUE(CommonPoint(*c.a, c.ta, *c.b, tb, v2, pa, pb));
        // The two points are the same world point, each inside its own shape's box.
        Vector3d wa = c.ta.Apply(pa), wb = tb.Apply(pb);
        EXPECT_LT(std::sqrt(LengthSquared(wa - wb)), 1e-9);
        BoundingBox ba = c.a->Bound(Transform3d{}), bb = c.b->Bound(Transform3d{});
        for (int i = 0; i < 3; ++i) {
          EXPECT_LE(std::fabs(pa[i] - ba.centre[i]), ba.extent[i]);
          EXPECT_LE(std::fabs(pb[i] - bb.centre[i]), bb.extent[i]);
        }
      } else {
        EXPECT_TRUE(hit) << "touching shapes intersect";
      }
    }
  }
}

TEST(CollisionConvex, CommonPointOfSpheresLiesInBoth) {
  Sphere a(1), b(1);
  Vector3d v{0, 0, 0}, pa, pb;
  Transform3d tb = At({1.5, 0.2, 0});
  ASSERT_TRUE(CommonPoint(a, {}, b, tb, v, pa, pb));
  EXPECT_LE(LengthSquared(pa), 1 + 1e-9);
  EXPECT_LE(LengthSquared(pb), 1 + 1e-9);
}

TEST(CollisionConvex, RestartAndEarlyExitRules) {
  Sphere unit(1);
  Vector3d v{0, 0, 0};
  // Overlapping: the first attempt reaches the origin, which proves contact.
  EXPECT_TRUE(IntersectObjects(unit, {}, unit, At({1, 0, 0}), v));
  EXPECT_EQ(LastIntersectAttempts(), 1);
  // 3 apart with v already along the line of centres: rejected in the first attempt.
  v = {-1, 0, 0};
  EXPECT_FALSE(IntersectObjects(unit, {}, unit, At({3, 0, 0}), v));
  EXPECT_EQ(LastIntersectAttempts(), 1);
  // Closest points of shapes whose start points coincide come back at once.
  Box cube({1, 1, 1});
  Vector3d pa, pb;
  ClosestPoints(cube, {}, cube, {}, 1e-6, pa, pb);
  EXPECT_TRUE(PointsEqual(pa, {1, 1, 1}) && PointsEqual(pb, {1, 1, 1}));
}

TEST(CollisionConvex, BrokenInputEndsWithoutContact) {
  Sphere unit(1);
  Box cube({1, 1, 1});
  Transform3d nan;
  nan.basis[1][1] = std::nan("");
  Vector3d v{0, 0, 0};
  EXPECT_FALSE(IntersectObjects(unit, {}, cube, nan, v));
  EXPECT_FALSE(IntersectRelative(unit, cube, nan, v));
  // A NaN left in a pair's cached vector does not poison the next test.
  v = {std::nan(""), 0, 0};
  EXPECT_TRUE(IntersectObjects(unit, {}, cube, At({0.5, 0, 0}), v));
  // A shape of NaN size never collides.
  Sphere broken(std::nan(""));
  v = {0, 0, 0};
  EXPECT_FALSE(IntersectObjects(broken, {}, cube, {}, v));
  Vector3d pa, pb;
  EXPECT_FALSE(CommonPoint(broken, {}, cube, {}, v, pa, pb));
  // Zero-size shapes at the same spot: coincident points end the loops.
  Sphere point(0);
  v = {0, 0, 0};
  IntersectObjects(point, {}, point, {}, v);
  IntersectRelative(point, point, {}, v);
}
