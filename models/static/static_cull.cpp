// Culling of the static world each frame: a sphere test of every level mesh against the view
// volume, screen rectangles of large meshes marked as occluders hiding what lies behind them,
// and object meshes following the level mesh that encloses them. Only centres, radii and the
// eight corners of each occluder are transformed: no per-vertex work per frame.
#include "models/static/static_world_local.h"

#include <algorithm>

namespace {

template <typename Visit>
void ForEachMesh(Visit visit) {
  for (StaticTextureGroup& group : MutableStaticWorld().groups)
    for (auto& mesh : group.meshes) visit(*mesh);
}

// A point through a matrix; one the matrix cannot take (w near 0) stays as it was.
Vector3 Through(Vector3 point, const Matrix4& m) {
  TransformPoint(point, point, m);
  return point;
}

Vector3 ToView(const Vector3& point, const StaticView& view) { return Through(Through(point, view.world), view.camera); }

Vector3 CentreOf(const StaticMesh& mesh) { return Vector3{mesh.centre[0], mesh.centre[1], mesh.centre[2]}; }

// Half the projected width and height of a sphere part of the given extents at view depth z.
float ProjectedHalfWidth(float extent, float z, const StaticView& view) {
  return Through(Vector3{extent, 0, z}, view.projection).x;
}
float ProjectedHalfHeight(float extent, float z, const StaticView& view) {
  return Through(Vector3{0, extent, z}, view.projection).y;
}

// The frustum pass: level meshes against the view volume (the side tests only from depth 20);
// object meshes are decided by the link pass. Returns how many are visible.
int FrustumPass(const StaticView& view) {
  int visible = 0;
  ForEachMesh([&](StaticMesh& mesh) {
    mesh.visible = 0;
    if (mesh.owner != 0) return;
    const Vector3 c = ToView(CentreOf(mesh), view);
    const float z = c.z;
    const Vector3 p = Through(c, view.projection);
    int failed = 0;
    if (z >= 20.0f) {
      // Each axis by its own extent, so a projection that is not square culls right.
      const float hx = ProjectedHalfWidth(mesh.radius, z, view);
      const float hy = ProjectedHalfHeight(mesh.radius, z, view);
      failed += p.x + hx < -1.0f;
      failed += p.x - hx > 1.0f;
      failed += p.y + hy < -1.0f;
      failed += p.y - hy > 1.0f;
    }
    failed += z + mesh.radius < 0.0f;
    failed += z - mesh.radius > view.farPlane;
    mesh.visible = failed == 0 ? 1 : 0;
    visible += mesh.visible;
  });
  return visible;
}

// Projected corners outside the screen (or behind the camera) are put on the screen's edge on
// the side their view position lies.
float OntoScreen(float projected, bool negative) {
  return projected < -1.0f || projected > 1.0f ? (negative ? -1.0f : 1.0f) : projected;
}

// The occluder pass: the screen rectangle of every visible occluder with its centre in front.
StaticMesh* OccluderPass(const StaticView& view) {
  StaticMesh* occluders = nullptr;
  ForEachMesh([&](StaticMesh& mesh) {
    mesh.activeOccluder = 0;
    if (mesh.visible != 1 || mesh.occluder != 1) return;
    const float d = ToView(CentreOf(mesh), view).z;
    int behind = 0;
    float rect[4] = {999999.9f, 999999.9f, -999999.9f, -999999.9f};
    for (const float* corner : mesh.occluderCorners) {
      const Vector3 v =
          ToView(Vector3{mesh.centre[0] + corner[0], mesh.centre[1] + corner[1], mesh.centre[2] + corner[2]}, view);
      behind += v.z < 0.0f;
      const bool negX = v.x < 0.0f, negY = v.y < 0.0f;
      Vector3 p = Through(v, view.projection);
      if (p.z < 0.0f || p.z > 1.0f) {
        p.x = negX ? -1.0f : 1.0f;
        p.y = negY ? -1.0f : 1.0f;
      }
      p.x = OntoScreen(p.x, negX);
      p.y = OntoScreen(p.y, negY);
      rect[0] = std::min(rect[0], p.x);
      rect[1] = std::min(rect[1], p.y);
      rect[2] = std::max(rect[2], p.x);
      rect[3] = std::max(rect[3], p.y);
    }
    if (behind >= 4) return;
    if (mesh.fullHeight == 1) {
      rect[1] = -1.0f;
      rect[3] = 1.0f;
    }
    if (d > 0.0f) {
      std::copy(rect, rect + 4, mesh.occluderRect);
      mesh.occluderDepth = d;
      mesh.activeOccluder = 1;
      mesh.nextOccluder = occluders;
      occluders = &mesh;
    }
  });
  return occluders;
}

// The occlusion pass: each visible mesh's rectangle is shrunk by the occluders in front of it
// that cover it across a whole side, and hidden once one covers what is left.
void OcclusionPass(const StaticView& view, const StaticMesh* occluders) {
  ForEachMesh([&](StaticMesh& mesh) {
    if (mesh.visible != 1) return;
    const Vector3 c = ToView(CentreOf(mesh), view);
    const float z = c.z;
    const float nearest = z - mesh.radius;
    const Vector3 p = Through(c, view.projection);
    const float hx = ProjectedHalfWidth(mesh.radius, z, view);
    const float hy = ProjectedHalfHeight(mesh.reducedHeight == 1 ? mesh.lowerReach : mesh.radius, z, view);
    float left = std::max(p.x - hx, -1.0f), right = std::min(p.x + hx, 1.0f);
    float bottom = std::max(p.y - hy, -1.0f), top = std::min(p.y + hy, 1.0f);
    for (const StaticMesh* o = occluders; o != nullptr; o = o->nextOccluder) {
      const float* r = o->occluderRect;  // min x, min y, max x, max y
      if (!(nearest > o->occluderDepth) || right < r[0] || top < r[1] || left > r[2] || bottom > r[3]) continue;
      if (left >= r[0] && right <= r[2]) {
        if (bottom < r[1] && top < r[3]) top = r[1];
        if (top > r[3] && bottom > r[1]) bottom = r[3];
      }
      if (bottom >= r[1] && top <= r[3]) {
        if (left < r[0] && right < r[2]) right = r[0];
        if (right > r[2] && left > r[0]) left = r[2];
      }
      if (left >= r[0] && bottom >= r[1] && right <= r[2] && top <= r[3]) {
        mesh.visible = 0;
        break;
      }
    }
  });
}

}  // namespace

void CullStaticWorld(const StaticView& view) {
  const int visible = FrustumPass(view);
  if (visible > 0 && view.occlusion) OcclusionPass(view, OccluderPass(view));
  ForEachMesh([](StaticMesh& mesh) {
    if (mesh.owner > 0) mesh.visible = mesh.enclosing != nullptr && mesh.enclosing->visible == 1 ? 1 : 0;
  });
}

void BuildStaticOccluderBox(StaticMesh& mesh) {
  if (mesh.vertices.empty()) return;
  float lo[3], hi[3];
  double sum[3] = {0, 0, 0};
  const StaticVertex& first = mesh.vertices[0];
  lo[0] = hi[0] = first.x;
  lo[1] = hi[1] = first.y;
  lo[2] = hi[2] = first.z;
  for (const StaticVertex& v : mesh.vertices) {
    const float at[3] = {v.x, v.y, v.z};
    for (int axis = 0; axis < 3; ++axis) {
      lo[axis] = std::min(lo[axis], at[axis]);
      hi[axis] = std::max(hi[axis], at[axis]);
      sum[axis] += at[axis];
    }
  }
  float m[3];
  for (int axis = 0; axis < 3; ++axis) m[axis] = static_cast<float>(sum[axis] / static_cast<double>(mesh.vertices.size()));
  // Per octant around the mean: the vertex nearest the bounding box's corner of that octant
  // (x weighted by 1.2).
  float best[8];
  bool found[8] = {};
  float keep[8][3] = {};
  std::fill(best, best + 8, 999999.0f);
  for (const StaticVertex& v : mesh.vertices) {
    const int k = 4 * (v.x >= m[0]) + 2 * (v.y >= m[1]) + (v.z >= m[2]);
    const float cx = (k & 4) ? hi[0] : lo[0], cy = (k & 2) ? hi[1] : lo[1], cz = (k & 1) ? hi[2] : lo[2];
    const float e = StaticPointDistance(1.2f * v.x, v.y, v.z, 1.2f * cx, cy, cz);
    if (e < best[k]) {
      best[k] = e;
      found[k] = true;
      keep[k][0] = v.x;
      keep[k][1] = v.y;
      keep[k][2] = v.z;
    }
  }
  // The inner box: on each axis the innermost of the kept vertices of each side.
  float inLo[3] = {-99999.0f, -99999.0f, -99999.0f}, inHi[3] = {99999.0f, 99999.0f, 99999.0f};
  for (int k = 0; k < 8; ++k) {
    if (!found[k]) continue;
    for (int axis = 0; axis < 3; ++axis) {
      const bool high = (k >> (2 - axis)) & 1;
      if (high)
        inHi[axis] = std::min(inHi[axis], keep[k][axis]);
      else
        inLo[axis] = std::max(inLo[axis], keep[k][axis]);
    }
  }
  for (int axis = 0; axis < 3; ++axis) {
    if (inLo[axis] == -99999.0f) inLo[axis] = inHi[axis];
    if (inHi[axis] == 99999.0f) inHi[axis] = inLo[axis];
    inLo[axis] -= m[axis];
    inHi[axis] -= m[axis];
  }
  for (int c = 0; c < 8; ++c) {
    mesh.occluderCorners[c][0] = (c & 4) ? inHi[0] : inLo[0];
    mesh.occluderCorners[c][1] = (c & 2) ? inHi[1] : inLo[1];
    mesh.occluderCorners[c][2] = (c & 1) ? inHi[2] : inLo[2];
  }
}
