// Matrix4 and Vector3 routines: products, affine inverse, point transform, view and
// projection matrices, axis rotations, object placement. All in floats except the product's
// sums (doubles).
#include "math3d/math3d.h"

#include <cmath>

Vector3 Vector3Set(float x, float y, float z) { return Vector3{x, y, z}; }

void Vector3Add(Vector3& v, const Vector3& other) {
  v.x += other.x;
  v.y += other.y;
  v.z += other.z;
}

void Vector3Sub(Vector3& v, const Vector3& other) {
  v.x -= other.x;
  v.y -= other.y;
  v.z -= other.z;
}

double Vector3Dot(const Vector3& a, const Vector3& b) {
  return static_cast<double>(a.x * b.x + a.y * b.y + a.z * b.z);
}

Vector3 Vector3Cross(const Vector3& a, const Vector3& b) {
  return Vector3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Vector3Length(const Vector3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

float FloatAbs(float value) { return std::fabs(value); }

void MatrixIdentity(Matrix4& out) {
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column) out.m[row][column] = row == column ? 1.0f : 0.0f;
}

float* MatrixElement(Matrix4& matrix, int row, int column) { return &matrix.m[row][column]; }

void MatrixTranslation(Matrix4& out, float x, float y, float z) {
  MatrixIdentity(out);
  out.m[3][0] = x;
  out.m[3][1] = y;
  out.m[3][2] = z;
}

void MatrixTranslationV(Matrix4& out, const Vector3& v) { MatrixTranslation(out, v.x, v.y, v.z); }

void MatrixScaling(Matrix4& out, float x, float y, float z) {
  MatrixIdentity(out);
  out.m[0][0] = x;
  out.m[1][1] = y;
  out.m[2][2] = z;
}

void MatrixMultiply(Matrix4& out, const Matrix4& a, const Matrix4& b) {
  // A product of two floats is exact in a double; each sum is rounded to float once. Rows of
  // b are widened first, so the four columns of a row are summed side by side (SIMD).
  double wide[4][4];
  for (int k = 0; k < 4; ++k)
    for (int column = 0; column < 4; ++column) wide[k][column] = b.m[k][column];
  Matrix4 product;
  for (int row = 0; row < 4; ++row) {
    const double a0 = a.m[row][0], a1 = a.m[row][1], a2 = a.m[row][2], a3 = a.m[row][3];
    for (int column = 0; column < 4; ++column)
      product.m[row][column] =
          static_cast<float>(a0 * wide[0][column] + a1 * wide[1][column] + a2 * wide[2][column] + a3 * wide[3][column]);
  }
  out = product;
}

Matrix4& MatrixMultiplyCopy(Matrix4& out, Matrix4 a, Matrix4 b) {
  MatrixMultiply(out, a, b);
  return out;
}

MathCode MatrixInverse(Matrix4& out, const Matrix4& m) {
  const double limit = 0.001f;
  if (std::fabs(m.m[3][3] - 1.0f) > limit || std::fabs(m.m[0][3]) > limit ||
      std::fabs(m.m[1][3]) > limit || std::fabs(m.m[2][3]) > limit)
    return kMathInvalidArgument;
  const float a11 = m.m[0][0], a12 = m.m[0][1], a13 = m.m[0][2];
  const float a21 = m.m[1][0], a22 = m.m[1][1], a23 = m.m[1][2];
  const float a31 = m.m[2][0], a32 = m.m[2][1], a33 = m.m[2][2];
  // No determinant test: a singular 3x3 part yields infinities or NaNs, as the callers expect
  // only affine, invertible matrices.
  const float det = a11 * (a22 * a33 - a23 * a32) - a12 * (a21 * a33 - a23 * a31) +
                    a13 * (a21 * a32 - a22 * a31);
  const float inv = 1.0f / det;
  Matrix4 r;
  r.m[0][0] = inv * (a22 * a33 - a23 * a32);
  r.m[0][1] = -inv * (a12 * a33 - a13 * a32);
  r.m[0][2] = inv * (a12 * a23 - a13 * a22);
  r.m[1][0] = -inv * (a21 * a33 - a23 * a31);
  r.m[1][1] = inv * (a11 * a33 - a13 * a31);
  r.m[1][2] = -inv * (a11 * a23 - a13 * a21);
  r.m[2][0] = inv * (a21 * a32 - a22 * a31);
  r.m[2][1] = -inv * (a11 * a32 - a12 * a31);
  r.m[2][2] = inv * (a11 * a22 - a12 * a21);
  r.m[0][3] = r.m[1][3] = r.m[2][3] = 0.0f;
  for (int column = 0; column < 3; ++column)
    r.m[3][column] = -(m.m[3][0] * r.m[0][column] + m.m[3][1] * r.m[1][column] +
                       m.m[3][2] * r.m[2][column]);
  r.m[3][3] = 1.0f;
  out = r;
  return kMathOk;
}

MathCode TransformPoint(Vector3& out, const Vector3& v, const Matrix4& m) {
  const float x = v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + m.m[3][0];
  const float y = v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + m.m[3][1];
  const float z = v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + m.m[3][2];
  const float w = v.x * m.m[0][3] + v.y * m.m[1][3] + v.z * m.m[2][3] + m.m[3][3];
  if (std::fabs(w) < 1e-5f) return kMathInvalidArgument;
  out = Vector3{x / w, y / w, z / w};
  return kMathOk;
}

// up minus its part along the (unit) view direction.
static Vector3 RemoveViewPart(const Vector3& up, const Vector3& view) {
  const float along = up.x * view.x + up.y * view.y + up.z * view.z;
  return Vector3{up.x - along * view.x, up.y - along * view.y, up.z - along * view.z};
}

MathCode MatrixLookAt(Matrix4& out, const Vector3& eye, const Vector3& target, const Vector3& up) {
  Vector3 view{target.x - eye.x, target.y - eye.y, target.z - eye.z};
  float length = Vector3Length(view);
  if (length < 1e-6f) return kMathInvalidArgument;
  view = Vector3{view.x / length, view.y / length, view.z / length};
  Vector3 u = RemoveViewPart(up, view);
  if (Vector3Length(u) < 1e-6f) {
    // The up vector is along the view: try world y, then world z.
    u = RemoveViewPart(Vector3{0, 1, 0}, view);
    if (Vector3Length(u) < 1e-6f) {
      u = RemoveViewPart(Vector3{0, 0, 1}, view);
      if (Vector3Length(u) < 1e-6f) return kMathInvalidArgument;
    }
  }
  length = Vector3Length(u);
  u = Vector3{u.x / length, u.y / length, u.z / length};
  const Vector3 right = Vector3Cross(u, view);
  MatrixIdentity(out);
  out.m[0][0] = right.x;
  out.m[1][0] = right.y;
  out.m[2][0] = right.z;
  out.m[0][1] = u.x;
  out.m[1][1] = u.y;
  out.m[2][1] = u.z;
  out.m[0][2] = view.x;
  out.m[1][2] = view.y;
  out.m[2][2] = view.z;
  out.m[3][0] = -static_cast<float>(Vector3Dot(eye, right));
  out.m[3][1] = -static_cast<float>(Vector3Dot(eye, u));
  out.m[3][2] = -static_cast<float>(Vector3Dot(eye, view));
  return kMathOk;
}

MathCode MatrixProjection(Matrix4& out, float fov, float aspect, float nearPlane, float farPlane) {
  if (std::fabs(farPlane - nearPlane) < static_cast<double>(0.01f)) return kMathInvalidArgument;
  const float half = fov * 0.5f;
  const double s = std::sin(static_cast<double>(half));
  if (std::fabs(s) < static_cast<double>(0.01f)) return kMathInvalidArgument;
  const float w = static_cast<float>(std::cos(static_cast<double>(half)) / s);
  const float q = farPlane / (farPlane - nearPlane);
  for (auto& row : out.m)
    for (float& value : row) value = 0.0f;
  out.m[0][0] = aspect * w;
  out.m[1][1] = w;
  out.m[2][2] = q;
  out.m[2][3] = 1.0f;
  out.m[3][2] = -q * nearPlane;
  return kMathOk;
}

// A turn in the plane of axes first and second: the rows and columns of the two axes take
// cos on the diagonal, +sin at (first, second) and -sin at (second, first).
static void SetPlaneRotation(Matrix4& out, int first, int second, float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  MatrixIdentity(out);
  out.m[first][first] = c;
  out.m[first][second] = s;
  out.m[second][first] = -s;
  out.m[second][second] = c;
}

void MatrixRotationX(Matrix4& out, float angle) { SetPlaneRotation(out, 1, 2, angle); }
void MatrixRotationY(Matrix4& out, float angle) { SetPlaneRotation(out, 2, 0, angle); }
void MatrixRotationZ(Matrix4& out, float angle) { SetPlaneRotation(out, 0, 1, angle); }

void MatrixFromPlacement(Matrix4& out, float x, float y, float z, float ax, float ay, float az, float sx, float sy,
                         float sz, int32_t order) {
  Matrix4 rx, ry, rz, rotation;
  MatrixRotationX(rx, ax * kDegreesToRadians);
  MatrixRotationY(ry, ay * kDegreesToRadians);
  MatrixRotationZ(rz, az * kDegreesToRadians);
  if (order == 1) {
    MatrixMultiply(rotation, rx, ry);
    MatrixMultiply(rotation, rotation, rz);
  } else {
    MatrixMultiply(rotation, rz, ry);
    MatrixMultiply(rotation, rotation, rx);
  }
  // scale x rotation x translation: each axis row scaled, the translation below.
  const float scale[3] = {sx, sy, sz};
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) out.m[row][column] = scale[row] * rotation.m[row][column];
    out.m[row][3] = 0.0f;
  }
  out.m[3][0] = x;
  out.m[3][1] = y;
  out.m[3][2] = z;
  out.m[3][3] = 1.0f;
}

void RotationFromAngles(Matrix4& out, float ax, float ay, float az) {
  Matrix4 rx, ry, rz;
  MatrixRotationX(rx, ax);
  MatrixRotationY(ry, ay);
  MatrixRotationZ(rz, az);
  MatrixMultiply(out, rx, ry);
  MatrixMultiply(out, out, rz);
}
