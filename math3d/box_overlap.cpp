// Separating-axis overlap test of two oriented boxes, used by the object box collision values.
#include "math3d/math3d.h"

#include <cmath>

// The box's three axes: the transformed unit vectors minus the transformed origin. A matrix
// that cannot transform the origin leaves the plain world axes.
static void BoxAxes(const OrientedBox& box, Vector3 axes[3]) {
  axes[0] = Vector3{1, 0, 0};
  axes[1] = Vector3{0, 1, 0};
  axes[2] = Vector3{0, 0, 1};
  Vector3 origin{0, 0, 0};
  if (TransformPoint(origin, origin, box.orientation) != kMathOk) return;
  for (int axis = 0; axis < 3; ++axis) {
    Vector3 tip = axes[axis];
    if (TransformPoint(tip, tip, box.orientation) != kMathOk) continue;
    Vector3Sub(tip, origin);
    axes[axis] = tip;
  }
}

// Half the length of the box's projection on an axis.
static double ProjectedRadius(const Vector3 axes[3], const Vector3& halfExtent, const Vector3& on) {
  return std::fabs(halfExtent.x * Vector3Dot(axes[0], on)) +
         std::fabs(halfExtent.y * Vector3Dot(axes[1], on)) +
         std::fabs(halfExtent.z * Vector3Dot(axes[2], on));
}

bool OrientedBoxesOverlap(OrientedBox a, OrientedBox b) {
  Vector3 axesA[3], axesB[3];
  BoxAxes(a, axesA);
  BoxAxes(b, axesB);
  Vector3 between = b.centre;
  Vector3Sub(between, a.centre);
  Vector3 candidates[15];
  int count = 0;
  for (int i = 0; i < 3; ++i) candidates[count++] = axesA[i];
  for (int i = 0; i < 3; ++i) candidates[count++] = axesB[i];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) candidates[count++] = Vector3Cross(axesA[i], axesB[j]);
  for (const Vector3& axis : candidates) {
    // Parallel edges give a null cross product, which separates nothing.
    if (Vector3Dot(axis, axis) < 1e-12) continue;
    const double distance = std::fabs(Vector3Dot(between, axis));
    if (distance > ProjectedRadius(axesA, a.halfExtent, axis) + ProjectedRadius(axesB, b.halfExtent, axis))
      return false;
  }
  return true;
}
