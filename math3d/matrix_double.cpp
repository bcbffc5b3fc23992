// Double-precision 4x4 matrices and 4-vectors in column-vector order with degree angles;
// a tool-side companion of the float routines, not used by the frame loop.
#include "math3d/math3d.h"

#include <cmath>

double DegreesToRadiansD(double degrees) { return degrees / 360.0 * 3.141592653589793 * 2.0; }

void Matrix4dIdentity(Matrix4d& out) {
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column) out.m[row][column] = row == column ? 1.0 : 0.0;
}

void Matrix4dMultiply(Matrix4d& out, const Matrix4d& a, const Matrix4d& b) {
  Matrix4d product;
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column)
      product.m[row][column] = a.m[row][0] * b.m[0][column] + a.m[row][1] * b.m[1][column] +
                               a.m[row][2] * b.m[2][column] + a.m[row][3] * b.m[3][column];
  out = product;
}

// The matrix applied to the vector as a column: translation sits in column 4.
Vec4d Vec4dTransform(const Vec4d& v, const Matrix4d& m) {
  const double in[4] = {v.x, v.y, v.z, v.w};
  double result[4];
  for (int row = 0; row < 4; ++row)
    result[row] = m.m[row][0] * in[0] + m.m[row][1] * in[1] + m.m[row][2] * in[2] + m.m[row][3] * in[3];
  return Vec4d{result[0], result[1], result[2], result[3]};
}

// Recombines columns first and second with the cosine and sine of the angle (m = m x R).
static void RotateColumns(Matrix4d& m, int first, int second, double degrees) {
  const double c = std::cos(DegreesToRadiansD(degrees)), s = std::sin(DegreesToRadiansD(degrees));
  for (int row = 0; row < 4; ++row) {
    const double p = m.m[row][first], q = m.m[row][second];
    m.m[row][first] = p * c + q * s;
    m.m[row][second] = q * c - p * s;
  }
}

void Matrix4dRotateX(Matrix4d& m, double degrees) { RotateColumns(m, 1, 2, degrees); }
void Matrix4dRotateY(Matrix4d& m, double degrees) { RotateColumns(m, 2, 0, degrees); }
void Matrix4dRotateZ(Matrix4d& m, double degrees) { RotateColumns(m, 0, 1, degrees); }

void Matrix4dTranslate(Matrix4d& m, double x, double y, double z) {
  for (int row = 0; row < 4; ++row) m.m[row][3] += x * m.m[row][0] + y * m.m[row][1] + z * m.m[row][2];
}

Vec4d Vec4dNormalize(const Vec4d& v) {
  const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (length == 0.0) return v;
  return Vec4d{v.x / length, v.y / length, v.z / length, v.w};
}

Vec4d Vec4dNegate(const Vec4d& v) { return Vec4d{-v.x, -v.y, -v.z, -v.w}; }

Vec4d Vec4dCross(const Vec4d& a, const Vec4d& b) {
  return Vec4d{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0.0};
}

void Matrix4dLookAt(Matrix4d& out, const Vec4d& eye, const Vec4d& target, const Vec4d& up) {
  const Vec4d forward = Vec4dNormalize(Vec4d{target.x - eye.x, target.y - eye.y, target.z - eye.z, 0});
  const Vec4d side = Vec4dNormalize(Vec4dCross(forward, up));
  const Vec4d trueUp = Vec4dCross(side, forward);
  Matrix4d basis;
  Matrix4dIdentity(basis);
  const Vec4d rows[3] = {side, trueUp, Vec4dNegate(forward)};
  for (int row = 0; row < 3; ++row) {
    basis.m[row][0] = rows[row].x;
    basis.m[row][1] = rows[row].y;
    basis.m[row][2] = rows[row].z;
  }
  Matrix4d moved;
  Matrix4dIdentity(moved);
  Matrix4dTranslate(moved, -eye.x, -eye.y, -eye.z);
  Matrix4dMultiply(out, basis, moved);
}

double Matrix4dGet(const Matrix4d& m, int row, int column) { return m.m[row][column]; }
void Matrix4dSet(Matrix4d& m, int row, int column, double value) { m.m[row][column] = value; }
