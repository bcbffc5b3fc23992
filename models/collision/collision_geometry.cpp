// Transforms and the support mappings of the convex shapes: the only things the convex tests
// know of a shape are its support point in a direction and the box that follows from it.
#include <limits>

#include "models/collision/collision_local.h"

namespace coll {

// ---------------------------------------------------------------------------------------------
// Transforms

bool Transform3d::IsFiniteTransform() const {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      if (!std::isfinite(basis[r][c])) return false;
  return IsFinite(origin);
}

// Matrix4 layout, row vectors: basis column j is matrix row j, the translation is row 3.
template <typename T>
static Transform3d TransformFromElements(const T* m) {
  Transform3d t;
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) t.basis[i][j] = static_cast<double>(m[4 * j + i]);
  t.origin = {static_cast<double>(m[12]), static_cast<double>(m[13]), static_cast<double>(m[14])};
  t.kind = kTranslated | kRotated | kScaled;
  return t;
}

Transform3d TransformFromMatrix(const float* m) { return TransformFromElements(m); }
Transform3d TransformFromMatrix(const double* m) { return TransformFromElements(m); }

static void MultiplyBasis(double out[3][3], const double a[3][3], const double b[3][3]) {
  double r[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) out[i][j] = r[i][j];
}

void TransformMultiply(Transform3d& t, const Transform3d& by) {
  t.origin = t.origin + t.ApplyBasis(by.origin);
  MultiplyBasis(t.basis, t.basis, by.basis);
  t.kind |= by.kind;
}

void TransformTranslate(Transform3d& t, const Vector3d& v) {
  t.origin = t.origin + t.ApplyBasis(v);
  t.kind |= kTranslated;
}

void TransformRotate(Transform3d& t, double x, double y, double z, double w) {
  double norm = x * x + y * y + z * z + w * w;
  t.kind |= kRotated;
  if (!(norm > 0)) return;  // a zero quaternion names no rotation; leave the basis alone
  double s = 2.0 / norm;
  const double r[3][3] = {{1 - s * (y * y + z * z), s * (x * y + w * z), s * (x * z - w * y)},
                          {s * (x * y - w * z), 1 - s * (x * x + z * z), s * (y * z + w * x)},
                          {s * (x * z + w * y), s * (y * z - w * x), 1 - s * (x * x + y * y)}};
  MultiplyBasis(t.basis, t.basis, r);
}

void TransformScale(Transform3d& t, const Vector3d& s) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) t.basis[i][j] *= s[j];
  t.kind |= kScaled;
}

// Inverse of the basis: the transpose while it is a pure rotation, cofactors otherwise. A
// singular basis gives NaN everywhere, which every test treats as "no contact".
static void InvertBasis(double out[3][3], const Transform3d& t) {
  const double(*m)[3] = t.basis;
  if (!(t.kind & kScaled)) {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) out[i][j] = m[j][i];
    return;
  }
  double c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
  double c01 = m[1][2] * m[2][0] - m[1][0] * m[2][2];
  double c02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
  double det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
  if (det == 0 || !std::isfinite(det)) {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) out[i][j] = std::numeric_limits<double>::quiet_NaN();
    return;
  }
  double s = 1.0 / det;
  out[0][0] = c00 * s;
  out[1][0] = c01 * s;
  out[2][0] = c02 * s;
  out[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * s;
  out[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * s;
  out[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * s;
  out[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * s;
  out[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * s;
  out[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * s;
}

Transform3d TransformInverse(const Transform3d& t) {
  Transform3d r;
  InvertBasis(r.basis, t);
  r.kind = t.kind;
  r.origin = -r.ApplyBasis(t.origin);
  return r;
}

Transform3d TransformCompose(const Transform3d& a, const Transform3d& b) {
  Transform3d r;
  MultiplyBasis(r.basis, a.basis, b.basis);
  r.origin = a.Apply(b.origin);
  r.kind = a.kind | b.kind;
  return r;
}

Transform3d TransformRelative(const Transform3d& a, const Transform3d& b) {
  Transform3d inv;
  InvertBasis(inv.basis, a);
  Transform3d r;
  MultiplyBasis(r.basis, inv.basis, b.basis);
  r.origin = inv.ApplyBasis(b.origin - a.origin);
  r.kind = a.kind | b.kind;
  return r;
}

// ---------------------------------------------------------------------------------------------
// Support mappings

BoundingBox Convex::Bound(const Transform3d& t) const {
  Vector3d lo, hi;
  for (int i = 0; i < 3; ++i) {
    Vector3d u = t.Row(i);
    hi[i] = t.origin[i] + Dot(u, Support(u)) + kBoxMargin;
    lo[i] = t.origin[i] + Dot(u, Support(-u)) - kBoxMargin;
  }
  return BoundingBox::FromCorners(lo, hi);
}

Vector3d Box::Support(const Vector3d& d) const {
  return {d.x < 0 ? -half_.x : half_.x, d.y < 0 ? -half_.y : half_.y, d.z < 0 ? -half_.z : half_.z};
}

Cone::Cone(double radius, double height)
    : radius_(radius), halfHeight_(height * 0.5),
      sine_(radius / std::sqrt(radius * radius + height * height)) {}

Vector3d Cone::Support(const Vector3d& d) const {
  if (d.y > std::sqrt(LengthSquared(d)) * sine_) return {0, halfHeight_, 0};
  double s = std::sqrt(d.x * d.x + d.z * d.z);
  if (s > 1e-10) return {d.x * radius_ / s, -halfHeight_, d.z * radius_ / s};
  return {0, -halfHeight_, 0};
}

Vector3d Cylinder::Support(const Vector3d& d) const {
  double y = d.y < 0 ? -halfHeight_ : halfHeight_;
  double s = std::sqrt(d.x * d.x + d.z * d.z);
  if (s > 1e-10) return {d.x * radius_ / s, y, d.z * radius_ / s};
  return {0, y, 0};
}

Vector3d Sphere::Support(const Vector3d& d) const {
  double l = std::sqrt(LengthSquared(d));
  if (l > 1e-10) return d * (radius_ / l);
  return {0, 0, 0};
}

// Ties keep the earliest vertex.
Vector3d Polytope::ScanSupport(const Vector3d& d) const {
  uint32_t best = 0;
  double bestDot = Dot(Vertex(0), d);
  for (uint32_t i = 1; i < Count(); ++i) {
    double h = Dot(Vertex(i), d);
    if (h > bestDot) {
      best = i;
      bestDot = h;
    }
  }
  return Vertex(best);
}

// Hill-climbs around the ring from the vertex found last; strictly larger steps only, so the
// walk ends even on rings that are not quite convex.
Vector3d Polygon::Support(const Vector3d& d) const {
  uint32_t n = Count();
  uint32_t c = lastFound_ < n ? lastFound_ : 0;
  double h = Dot(Vertex(c), d);
  uint32_t next = c + 1 == n ? 0 : c + 1;
  double hNext = Dot(Vertex(next), d);
  if (hNext > h) {
    do {
      c = next;
      h = hNext;
      next = c + 1 == n ? 0 : c + 1;
      hNext = Dot(Vertex(next), d);
    } while (hNext > h);
  } else {
    uint32_t prev = c == 0 ? n - 1 : c - 1;
    double hPrev = Dot(Vertex(prev), d);
    while (hPrev > h) {
      c = prev;
      h = hPrev;
      prev = c == 0 ? n - 1 : c - 1;
      hPrev = Dot(Vertex(prev), d);
    }
  }
  lastFound_ = c;
  return Vertex(c);
}

}  // namespace coll
