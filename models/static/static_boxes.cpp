// The static world's collision boxes: a box that moved is pushed back out of every box it now
// overlaps, and a sphere moving along a line is walked in steps until it would enter one.
#include "models/static/static_world_local.h"

#include <cmath>
#include <utility>

void AddStaticCollisionBox(float x1, float y1, float z1, float x2, float y2, float z2) {
  // Corners given the wrong way round are put in order: the queries take (x1, y1, z1) as the
  // low corner, and a reversed box would otherwise never be entered.
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (z1 > z2) std::swap(z1, z2);
  MutableStaticWorld().boxes.push_back(CollisionBox{x1, y1, z1, x2, y2, z2});
}

int32_t PushBoxOutOfStaticBoxes(const float before[6], const float after[6], float response[3]) {
  response[0] = response[1] = response[2] = 0.0f;
  int32_t result = 0;
  for (const CollisionBox& k : GetStaticWorld().boxes) {
    const float* a = after;  // min x, y, z, max x, y, z
    if (!(a[0] <= k.x2 && a[2] <= k.z2 && a[3] >= k.x1 && a[5] >= k.z1 && a[1] <= k.y2 && a[4] >= k.y1)) continue;
    // How far the box was from each face before it moved: the nearest face is the one it came
    // through; of equal depths the earlier face holds.
    const float depths[6] = {std::fabs(before[3] - k.x1), std::fabs(k.x2 - before[0]), std::fabs(before[4] - k.y1),
                             std::fabs(k.y2 - before[1]), std::fabs(before[5] - k.z1), std::fabs(k.z2 - before[2])};
    int face = 0;
    for (int f = 1; f < 6; ++f)
      if (depths[f] < depths[face]) face = f;
    const float pushes[6] = {a[3] - k.x1, a[0] - k.x2, a[4] - k.y1, a[1] - k.y2, a[5] - k.z1, a[2] - k.z2};
    response[face / 2] = pushes[face];
    result = 1;
  }
  return result;
}

int32_t QueryStaticBoxes(const float start[3], const float end[3], float radius, float step, float response[3]) {
  // The length counts x and z only: the walk follows the ground; a purely vertical move takes
  // no step.
  const float dx = std::fabs(end[0] - start[0]), dz = std::fabs(end[2] - start[2]);
  const float length = dx > dz ? dx : dz;
  float u[3] = {0, 0, 0};
  if (length > 0.0f)
    for (int axis = 0; axis < 3; ++axis) u[axis] = (end[axis] - start[axis]) / length;
  // Steps of one unit along the longer ground axis; the last one lands on the end.
  const double steps = std::isfinite(length) ? std::trunc(static_cast<double>(length)) : 0.0;
  float freePoint[3] = {start[0], start[1], start[2]};
  float insideHit[3] = {start[0], start[1], start[2]};
  int64_t insideCount = 0, bestCount = -1;
  int32_t result = 0;
  for (const CollisionBox& box : GetStaticWorld().boxes) {
    if (step <= 0.0f) step = 1.0f;
    // The step value thins the walk (every step-th unit is tested) but the walk always runs
    // the whole segment.
    int64_t n = static_cast<int64_t>(std::fmin(steps / static_cast<double>(step), 1e9));
    const double advance = n > 0 ? steps / static_cast<double>(n) : 0.0;
    float p[3] = {start[0], start[1], start[2]};
    bool first = true;
    for (int64_t taken = 1; n > 0; ++taken) {
      float before[3];
      for (int axis = 0; axis < 3; ++axis) {
        before[axis] = p[axis];
        p[axis] = static_cast<float>(start[axis] + u[axis] * advance * static_cast<double>(taken));
      }
      --n;
      const bool inside = p[0] - radius <= box.x2 && p[1] - radius <= box.y2 && p[2] - radius <= box.z2 &&
                          p[0] + radius >= box.x1 && p[1] + radius >= box.y1 && p[2] + radius >= box.z1;
      if (!inside) {
        first = false;
        continue;
      }
      if (first) {
        insideCount = n;
        for (int axis = 0; axis < 3; ++axis) insideHit[axis] = before[axis];
      } else if (n > bestCount) {
        bestCount = n;
        for (int axis = 0; axis < 3; ++axis) freePoint[axis] = before[axis];
        result = 1;
      }
      break;
    }
  }
  const float* chosen = bestCount != -1 && insideCount > bestCount ? insideHit : freePoint;
  for (int axis = 0; axis < 3; ++axis) response[axis] = chosen[axis];
  return result;
}
