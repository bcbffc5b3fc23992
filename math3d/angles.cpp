// Angle helpers: angles towards a point, Euler angles out of a matrix, and the bounded
// wrap of degrees into [0, 360).
#include "math3d/math3d.h"

#include <cfloat>
#include <cmath>

// Brings a radian angle into [0, 2 pi) with the engine's own 2 pi (360 degree factors).
static float WrapRadiansOnce(float angle) {
  const float fullTurn = 360.0f * kDegreesToRadians;
  if (angle < 0) angle += fullTurn;
  if (angle >= fullTurn) angle -= fullTurn;
  return angle;
}

void AnglesToPoint(float fromX, float fromY, float fromZ, float toX, float toY, float toZ,
                   float& ax, float& ay, float& az) {
  Vector3 d{toX - fromX, toY - fromY, toZ - fromZ};
  const float turnY = WrapRadiansOnce(static_cast<float>(std::atan2(d.x, d.z)));
  Matrix4 unturn;
  MatrixRotationY(unturn, -turnY);
  TransformPoint(d, d, unturn);  // w is 1 for a rotation, so this cannot fail
  ax = WrapRadiansOnce(-static_cast<float>(std::atan2(d.y, d.z)));
  ay = turnY;
  az = 0.0f;
}

// Euler angle extraction for a static frame, X-Y-Z order, no repetition, even parity, as in
// the classic homogeneous-matrix conversion (axis i = 0, j = 1, k = 2).
void MatrixToAnglesDegrees(const Matrix4& m, float& ax, float& ay, float& az) {
  float h[4][4] = {};
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 3; ++column) h[row][column] = m.m[row][column];
  const int i = 0, j = 1, k = 2;
  const double cy = std::sqrt(static_cast<double>(h[i][i]) * h[i][i] + static_cast<double>(h[j][i]) * h[j][i]);
  float x, y, z;
  if (cy > 16 * FLT_EPSILON) {
    x = static_cast<float>(std::atan2(h[k][j], h[k][k]));
    y = static_cast<float>(std::atan2(-h[k][i], cy));
    z = static_cast<float>(std::atan2(h[j][i], h[i][i]));
  } else {
    x = static_cast<float>(std::atan2(-h[j][k], h[j][j]));
    y = static_cast<float>(std::atan2(-h[k][i], cy));
    z = 0.0f;
  }
  ax = x * kRadiansToDegrees;
  ay = y * kRadiansToDegrees;
  az = z * kRadiansToDegrees;
}

float WrapAngleBounded(float angle) {
  for (int step = 0; step < 100; ++step) {
    if (angle >= 0.0f && angle < 360.0f) return angle;
    if (angle < 0.0f)
      angle += 360.0f;
    else
      angle -= 360.0f;
  }
  return 0.0f;
}
