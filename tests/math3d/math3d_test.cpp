// Matrix and vector routines: refusal limits that leave outputs untouched, aliasing of
// outputs and inputs, rotation order, angle extraction and the box overlap test.
#include "math3d/math3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

Matrix4 Filled(float value) {
  Matrix4 m;
  for (auto& row : m.m)
    for (float& element : row) element = value;
  return m;
}

bool SameBits(const Matrix4& a, const Matrix4& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void ExpectNear(const Matrix4& a, const Matrix4& b, float tolerance = 1e-5f) {
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column)
      EXPECT_NEAR(a.m[row][column], b.m[row][column], tolerance) << "row " << row << " column " << column;
}

Matrix4 Identity() {
  Matrix4 m;
  MatrixIdentity(m);
  return m;
}

Vector3 Apply(const Matrix4& m, Vector3 v) {
  EXPECT_EQ(TransformPoint(v, v, m), kMathOk);
  return v;
}

}  // namespace

TEST(Math3d, TransformPointRefusesTinyWAndLeavesOutput) {
  Matrix4 m = Identity();
  m.m[3][3] = 0.00001f;  // the point at the origin gets exactly this w
  Vector3 out{7, 8, 9};
  EXPECT_EQ(TransformPoint(out, Vector3{0, 0, 0}, m), kMathOk);
  EXPECT_FLOAT_EQ(out.x, 0.0f);
  m.m[3][3] = 0.0000099f;
  out = Vector3{7, 8, 9};
  EXPECT_EQ(TransformPoint(out, Vector3{0, 0, 0}, m), kMathInvalidArgument);
  EXPECT_EQ(out.x, 7.0f);
  EXPECT_EQ(out.y, 8.0f);
  EXPECT_EQ(out.z, 9.0f);
  // A projective w divides the result; the output may be the input.
  m = Identity();
  m.m[3][0] = 1;
  m.m[2][3] = 1;  // w = z + 1
  Vector3 p{1, 2, 3};
  EXPECT_EQ(TransformPoint(p, p, m), kMathOk);
  EXPECT_FLOAT_EQ(p.x, 0.5f);
  EXPECT_FLOAT_EQ(p.y, 0.5f);
  EXPECT_FLOAT_EQ(p.z, 0.75f);
}

TEST(Math3d, ProjectionLimitsAndValues) {
  Matrix4 out = Filled(3);
  EXPECT_EQ(MatrixProjection(out, 1.0f, 1.0f, 0.0f, 0.01f), kMathOk);  // far - near is the limit
  out = Filled(3);
  EXPECT_EQ(MatrixProjection(out, 0.0f, 1.0f, 1.0f, 100.0f), kMathInvalidArgument);
  EXPECT_EQ(MatrixProjection(out, 1.0f, 1.0f, 5.0f, 5.005f), kMathInvalidArgument);
  EXPECT_TRUE(SameBits(out, Filled(3)));

  ASSERT_EQ(MatrixProjection(out, 3.14159265f / 2, 0.75f, 1.0f, 101.0f), kMathOk);
  Matrix4 expected = Filled(0);
  expected.m[0][0] = 0.75f;  // aspect multiplies the x scale
  expected.m[1][1] = 1.0f;
  expected.m[2][2] = 1.01f;
  expected.m[2][3] = 1.0f;
  expected.m[3][2] = -1.01f;
  ExpectNear(out, expected);
}

TEST(Math3d, LookAtBasisFallbacksAndRefusal) {
  Matrix4 view;
  ASSERT_EQ(MatrixLookAt(view, Vector3{0, 0, -5}, Vector3{0, 0, 0}, Vector3{0, 1, 0}), kMathOk);
  Vector3 p = Apply(view, Vector3{1, 2, 0});  // right-handed screen x, up y, depth z
  EXPECT_NEAR(p.x, 1, 1e-5);
  EXPECT_NEAR(p.y, 2, 1e-5);
  EXPECT_NEAR(p.z, 5, 1e-5);

  // Looking straight up with up = y: y is along the view, so the z construction is used.
  ASSERT_EQ(MatrixLookAt(view, Vector3{1, 1, 1}, Vector3{1, 9, 1}, Vector3{0, 1, 0}), kMathOk);
  EXPECT_NEAR(view.m[0][1], 0, 1e-6);
  EXPECT_NEAR(view.m[2][1], 1, 1e-6);   // u = z
  EXPECT_NEAR(view.m[1][2], 1, 1e-6);   // view = y
  EXPECT_NEAR(view.m[0][0], -1, 1e-6);  // right = u x view
  p = Apply(view, Vector3{1, 5, 1});
  EXPECT_NEAR(p.z, 4, 1e-5);

  Matrix4 untouched = Filled(2);
  EXPECT_EQ(MatrixLookAt(untouched, Vector3{3, 3, 3}, Vector3{3, 3, 3}, Vector3{0, 1, 0}), kMathInvalidArgument);
  EXPECT_TRUE(SameBits(untouched, Filled(2)));
}

TEST(Math3d, InverseOfAffineMatrices) {
  Matrix4 m = Identity(), out = Filled(4);
  m.m[3][3] = 1.002f;
  EXPECT_EQ(MatrixInverse(out, m), kMathInvalidArgument);
  m = Identity();
  m.m[1][3] = 0.01f;
  EXPECT_EQ(MatrixInverse(out, m), kMathInvalidArgument);
  EXPECT_TRUE(SameBits(out, Filled(4)));

  MatrixTranslation(m, 2, -3, 4);
  ASSERT_EQ(MatrixInverse(out, m), kMathOk);
  Matrix4 opposite;
  MatrixTranslation(opposite, -2, 3, -4);
  ExpectNear(out, opposite, 0);

  // Rotation, scale and translation together: m x inverse is the identity, in place too.
  Matrix4 rotation, scale, move;
  RotationFromAngles(rotation, 0.4f, -1.1f, 2.0f);
  MatrixScaling(scale, 2, 0.5f, 3);
  MatrixTranslation(move, 10, 20, -30);
  MatrixMultiply(m, scale, rotation);
  MatrixMultiply(m, m, move);
  Matrix4 inverse = m;
  ASSERT_EQ(MatrixInverse(inverse, inverse), kMathOk);
  Matrix4 product;
  MatrixMultiply(product, m, inverse);
  ExpectNear(product, Identity(), 1e-5f);
}

TEST(Math3d, MultiplyAllowsAliasingAndKeepsOrder) {
  Matrix4 a, b;
  for (int i = 0; i < 16; ++i) {
    a.m[i / 4][i % 4] = static_cast<float>(i + 1);
    b.m[i / 4][i % 4] = static_cast<float>((i * 7) % 5 - 2);
  }
  Matrix4 expected;
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += a.m[row][k] * b.m[k][column];
      expected.m[row][column] = sum;
    }
  Matrix4 intoA = a, intoB = b, copied;
  MatrixMultiply(intoA, intoA, b);
  MatrixMultiply(intoB, a, intoB);
  MatrixMultiplyCopy(copied, a, b);
  ExpectNear(intoA, expected, 0);
  ExpectNear(intoB, expected, 0);
  ExpectNear(copied, expected, 0);
}

TEST(Math3d, RotationsTurnTheXAxisFirst) {
  Matrix4 m;
  RotationFromAngles(m, 0, 0, 0);
  ExpectNear(m, Identity(), 0);
  const float quarter = 90 * kDegreesToRadians;
  struct Case {
    float ax, ay, az;
    Vector3 in, out;
  } cases[] = {
      {quarter, 0, 0, {0, 1, 0}, {0, 0, 1}},
      {0, quarter, 0, {0, 0, 1}, {1, 0, 0}},
      {0, 0, quarter, {1, 0, 0}, {0, 1, 0}},
      {quarter, 0, quarter, {0, 1, 0}, {0, 0, 1}},  // z turn second: (0,0,1) stays
      {quarter, quarter, 0, {0, 1, 0}, {1, 0, 0}},
  };
  for (const Case& c : cases) {
    RotationFromAngles(m, c.ax, c.ay, c.az);
    Vector3 p = Apply(m, c.in);
    EXPECT_NEAR(p.x, c.out.x, 1e-6) << c.ax << " " << c.ay << " " << c.az;
    EXPECT_NEAR(p.y, c.out.y, 1e-6);
    EXPECT_NEAR(p.z, c.out.z, 1e-6);
  }
}

TEST(Math3d, AnglesToPointTurnZTowardsTarget) {
  const Vector3 targets[] = {{0, 0, 5}, {3, 0, 0}, {0, 0, -2}, {-1, 2, -1}, {4, -3, 1}, {0, 5, 5}};
  const float fullTurn = 360 * kDegreesToRadians;
  for (const Vector3& t : targets) {
    float ax = -1, ay = -1, az = -1;
    AnglesToPoint(1, 1, 1, 1 + t.x, 1 + t.y, 1 + t.z, ax, ay, az);
    EXPECT_GE(ax, 0);
    EXPECT_LT(ax, fullTurn);
    EXPECT_GE(ay, 0);
    EXPECT_LT(ay, fullTurn);
    EXPECT_EQ(az, 0);
    Matrix4 turn;
    RotationFromAngles(turn, ax, ay, 0);
    Vector3 forward = Apply(turn, Vector3{0, 0, 1});
    const float length = Vector3Length(t);
    EXPECT_NEAR(forward.x, t.x / length, 1e-5) << t.x << " " << t.y << " " << t.z;
    EXPECT_NEAR(forward.y, t.y / length, 1e-5);
    EXPECT_NEAR(forward.z, t.z / length, 1e-5);
  }
}

// The angles come out of a view-style matrix: the inverse of the turn they describe.
TEST(Math3d, MatrixToAnglesDegreesOfKnownRotations) {
  struct Case {
    float ax, ay, az;
  } cases[] = {{30, 0, 0}, {0, -45, 0}, {0, 0, 120}, {10, 20, 30}, {-60, 80, -150}};
  for (const Case& c : cases) {
    Matrix4 turn, view;
    RotationFromAngles(turn, c.ax * kDegreesToRadians, c.ay * kDegreesToRadians, c.az * kDegreesToRadians);
    ASSERT_EQ(MatrixInverse(view, turn), kMathOk);
    float ax, ay, az;
    MatrixToAnglesDegrees(view, ax, ay, az);
    EXPECT_NEAR(ax, c.ax, 1e-3) << c.ax << " " << c.ay << " " << c.az;
    EXPECT_NEAR(ay, c.ay, 1e-3);
    EXPECT_NEAR(az, c.az, 1e-3);
  }
  // Straight up (gimbal lock): the z angle is 0 and the rest folds into x.
  Matrix4 up;
  MatrixRotationY(up, -90 * kDegreesToRadians);
  float ax, ay, az;
  MatrixToAnglesDegrees(up, ax, ay, az);
  EXPECT_NEAR(ay, 90, 1e-3);
  EXPECT_EQ(az, 0);
}

TEST(Math3d, WrapAngleBoundedSteps) {
  const struct {
    float in, out;
  } cases[] = {{-30, 330}, {360, 0}, {0, 0}, {359.5f, 359.5f}, {-719, 1},
               {35999, 359},   // 99 steps: still in bounds
               {36359, 0},     // needs 100 steps
               {100000, 0}};
  for (const auto& c : cases) EXPECT_EQ(WrapAngleBounded(c.in), c.out) << c.in;
}

TEST(Math3d, OrientedBoxesOverlap) {
  auto box = [](Vector3 centre, Vector3 half, float turnY) {
    OrientedBox b;
    b.centre = centre;
    b.halfExtent = half;
    MatrixRotationY(b.orientation, turnY);
    return b;
  };
  const float eighth = 45 * kDegreesToRadians;
  struct Case {
    OrientedBox a, b;
    bool overlap;
  } cases[] = {
      {box({0, 0, 0}, {1, 1, 1}, 0), box({1.9f, 0, 0}, {1, 1, 1}, 0), true},
      {box({0, 0, 0}, {1, 1, 1}, 0), box({2.1f, 0, 0}, {1, 1, 1}, 0), false},
      {box({0, 0, 0}, {1, 1, 1}, 0), box({0, 2.1f, 0}, {1, 1, 1}, 0), false},
      // A diamond reaches sqrt 2 along x: touches at 2.3, misses at 2.5.
      {box({0, 0, 0}, {1, 1, 1}, 0), box({2.3f, 0, 0}, {1, 1, 1}, eighth), true},
      {box({0, 0, 0}, {1, 1, 1}, 0), box({2.5f, 0, 0}, {1, 1, 1}, eighth), false},
      // Two diamonds side by side along the diagonal are separated only by a face axis of each.
      {box({0, 0, 0}, {1, 1, 1}, eighth), box({2.1f, 0, 2.1f}, {1, 1, 1}, eighth), false},
      // A long thin turned box across a small one.
      {box({0, 0, 0}, {0.2f, 0.2f, 0.2f}, 0), box({3, 0, 3}, {5, 0.1f, 0.1f}, -eighth), true},
      {box({0, 0, 0}, {0.2f, 0.2f, 0.2f}, 0), box({3, 0, 3}, {5, 0.1f, 0.1f}, eighth), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OrientedBoxesOverlap(c.a, c.b), c.overlap) << c.b.centre.x << " " << c.b.centre.z;
    EXPECT_EQ(OrientedBoxesOverlap(c.b, c.a), c.overlap);
  }
}

TEST(Math3d, DoubleSetRotatesAndTranslatesColumns) {
  Matrix4d m;
  Matrix4dIdentity(m);
  Matrix4dTranslate(m, 1, 2, 3);
  Matrix4dRotateZ(m, 90);
  Vec4d p = Vec4dTransform(Vec4d{1, 0, 0, 1}, m);  // turned first, then moved
  EXPECT_NEAR(p.x, 1, 1e-12);
  EXPECT_NEAR(p.y, 3, 1e-12);
  EXPECT_NEAR(p.z, 3, 1e-12);
  Matrix4d view;
  Matrix4dLookAt(view, Vec4d{0, 0, 5, 1}, Vec4d{0, 0, 0, 1}, Vec4d{0, 1, 0, 0});
  p = Vec4dTransform(Vec4d{0, 0, 0, 1}, view);
  EXPECT_NEAR(p.z, -5, 1e-12);
  EXPECT_NEAR(DegreesToRadiansD(180), 3.141592653589793, 1e-15);
}
