// Convex tests on the Minkowski difference of two shapes, driven only by support mappings, with
// Johnson's sub-algorithm for the closest point of a simplex of up to four points.
#include <algorithm>

#include "models/collision/collision_local.h"

namespace coll {

namespace {

// Scratch tables of the test in progress; every test starts its simplex empty (the library is
// single-threaded, so one set serves all tests).
struct SimplexState {
  Vector3d y[4];          // points of the Minkowski difference
  Vector3d p[4], q[4];    // the support points of each shape that made y, in its own frame
  uint32_t bits = 0;      // slots in the current simplex
  uint32_t last = 0;      // the slot being filled
  uint32_t lastBit = 0;
  uint32_t allBits = 0;   // bits | lastBit
  double dp[4][4] = {};
  double det[16][4] = {};
  int attempts = 0;       // attempts made by the last object-level intersection test
};
SimplexState g;

// Every loop below is bounded: degenerate input (coincident points, zero directions, values
// near the end of the double range) must never spin. Convergent cases need far fewer steps.
constexpr int kMaxSteps = 128;
constexpr int kMaxAttempts = 32;
const double kPerturbation = static_cast<double>(1e-6f);

void ComputeDeterminants() {
  const uint32_t last = g.last, lastBit = g.lastBit;
  for (uint32_t i = 0, bit = 1; i < 4; ++i, bit <<= 1)
    if (g.bits & bit) g.dp[i][last] = g.dp[last][i] = Dot(g.y[i], g.y[last]);
  g.dp[last][last] = Dot(g.y[last], g.y[last]);

  g.det[lastBit][last] = 1;
  for (uint32_t j = 0, sj = 1; j < 4; ++j, sj <<= 1) {
    if (!(g.bits & sj)) continue;
    uint32_t s2 = sj | lastBit;
    g.det[s2][j] = g.dp[last][last] - g.dp[last][j];
    g.det[s2][last] = g.dp[j][j] - g.dp[j][last];
    for (uint32_t k = 0, sk = 1; k < j; ++k, sk <<= 1) {
      if (!(g.bits & sk)) continue;
      uint32_t s3 = sk | s2;
      g.det[s3][k] = g.det[s2][j] * (g.dp[j][j] - g.dp[j][k]) +
                     g.det[s2][last] * (g.dp[last][j] - g.dp[last][k]);
      g.det[s3][j] = g.det[sk | lastBit][k] * (g.dp[k][k] - g.dp[k][j]) +
                     g.det[sk | lastBit][last] * (g.dp[last][k] - g.dp[last][j]);
      g.det[s3][last] = g.det[sk | sj][k] * (g.dp[k][k] - g.dp[k][last]) +
                        g.det[sk | sj][j] * (g.dp[j][k] - g.dp[j][last]);
    }
  }
  if (g.allBits == 15) {
    auto& d = g.det;
    auto& p = g.dp;
    d[15][0] = d[14][1] * (p[1][1] - p[1][0]) + d[14][2] * (p[2][1] - p[2][0]) +
               d[14][3] * (p[3][1] - p[3][0]);
    d[15][1] = d[13][0] * (p[0][0] - p[0][1]) + d[13][2] * (p[2][0] - p[2][1]) +
               d[13][3] * (p[3][0] - p[3][1]);
    d[15][2] = d[11][0] * (p[0][0] - p[0][2]) + d[11][1] * (p[1][0] - p[1][2]) +
               d[11][3] * (p[3][0] - p[3][2]);
    d[15][3] = d[7][0] * (p[0][0] - p[0][3]) + d[7][1] * (p[1][0] - p[1][3]) +
               d[7][2] * (p[2][0] - p[2][3]);
  }
}

bool IsValidSubset(uint32_t s) {
  for (uint32_t i = 0, bit = 1; i < 4; ++i, bit <<= 1) {
    if (!(g.allBits & bit)) continue;
    if (s & bit) {
      if (!(g.det[s][i] > 0)) return false;
    } else if (g.det[s | bit][i] > 0) {
      return false;
    }
  }
  return true;
}

template <typename Field>
Vector3d Combine(const Field& points) {
  Vector3d sum{0, 0, 0};
  double total = 0;
  for (uint32_t i = 0, bit = 1; i < 4; ++i, bit <<= 1)
    if (g.bits & bit) {
      sum = sum + points[i] * g.det[g.bits][i];
      total += g.det[g.bits][i];
    }
  return sum * (1.0 / total);
}

// The closest point of the simplex to the origin after y[last] was added; false when no
// subset passes (numerical trouble), leaving bits as they were.
bool ClosestStep(Vector3d& v) {
  ComputeDeterminants();
  for (uint32_t s = g.bits; s != 0; --s) {
    if ((s & g.bits) == s && IsValidSubset(s | g.lastBit)) {
      g.bits = s | g.lastBit;
      v = Combine(g.y);
      return true;
    }
  }
  if (IsValidSubset(g.lastBit)) {
    g.bits = g.lastBit;
    v = g.y[g.last];
    return true;
  }
  return false;
}

bool IsDegenerate(const Vector3d& w) {
  for (uint32_t i = 0, bit = 1; i < 4; ++i, bit <<= 1)
    if ((g.allBits & bit) && PointsEqual(g.y[i], w)) return true;
  return false;
}

void ResetSimplex() {
  g.bits = 0;
  g.allBits = 0;
}

// One support query per shape along -v (first shape) and v (second); directions reach the
// first shape through dirA, which the object-level test perturbs while ta maps the point.
Vector3d SupportStep(const Convex& a, const Transform3d& ta, const Transform3d& dirA,
                     const Convex& b, const Transform3d& tb, const Vector3d& v) {
  g.last = 0;
  g.lastBit = 1;
  while (g.bits & g.lastBit) {
    ++g.last;
    g.lastBit <<= 1;
  }
  g.p[g.last] = a.Support(dirA.ApplyTransposed(-v));
  g.q[g.last] = b.Support(tb.ApplyTransposed(v));
  return ta.Apply(g.p[g.last]) - tb.Apply(g.q[g.last]);
}

void StorePoint(const Vector3d& w) {
  g.y[g.last] = w;
  g.allBits = g.bits | g.lastBit;
}

// A start vector that is approximately zero (left by a test that found contact) or NaN (left by
// a broken transform) restarts from zero. A tiny one is no direction at all: the supports give
// their reference points for it, and its dot test would then report touching or overlapping
// shapes as apart on rounding noise.
void SanitizeVector(Vector3d& v) {
  if (!IsFinite(v) || LengthSquared(v) < kApproxZero) v = {0, 0, 0};
}

// The loop shared by the leaf intersection test and the common-point tests.
bool RunIntersectionLoop(const Convex& a, const Transform3d& ta, const Convex& b,
                         const Transform3d& tb, Vector3d& v) {
  SanitizeVector(v);
  if (!ta.IsFiniteTransform() || !tb.IsFiniteTransform()) return false;
  ResetSimplex();
  for (int step = 0; step < kMaxSteps; ++step) {
    Vector3d w = SupportStep(a, ta, ta, b, tb, v);
    if (!IsFinite(w)) return false;
    if (Dot(v, w) > 0) return false;
    if (IsDegenerate(w)) return false;
    StorePoint(w);
    if (!ClosestStep(v)) return false;
    if (!IsFinite(v)) {
      v = {0, 0, 0};
      return false;
    }
    if (g.bits >= 15 || LengthSquared(v) < kApproxZero) return true;
  }
  return true;  // no separating direction found within the bound: the shapes touch
}

}  // namespace

int LastIntersectAttempts() { return g.attempts; }

bool IntersectObjects(const Convex& a, const Transform3d& ta, const Convex& b, const Transform3d& tb,
                      Vector3d& v) {
  SanitizeVector(v);
  g.attempts = 0;
  if (!ta.IsFiniteTransform() || !tb.IsFiniteTransform()) return false;
  Transform3d dirA = ta;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    g.attempts = attempt + 1;
    SanitizeVector(v);
    ResetSimplex();
    for (int step = 0; step < kMaxSteps; ++step) {
      Vector3d w = SupportStep(a, ta, dirA, b, tb, v);
      if (!IsFinite(w)) return false;
      if (Dot(v, w) > 0) return false;
      if (IsDegenerate(w)) break;
      StorePoint(w);
      if (!ClosestStep(v)) break;
      if (!IsFinite(v)) {
        v = {0, 0, 0};
        return false;
      }
      // Every y is a real point of the difference, so a simplex that reaches the origin proves
      // contact; restarting from it could only turn a proven contact into a rounding "apart".
      if (g.bits == 15 || LengthSquared(v) < kApproxZero) return true;
      if (g.bits >= 8) break;
    }
    // No separating vector this time: nudge the direction frame out of a degenerate spot.
    for (auto& row : dirA.basis)
      for (double& e : row) e += kPerturbation;
  }
  return true;
}

bool IntersectRelative(const Convex& a, const Convex& b, const Transform3d& tb, Vector3d& v) {
  static const Transform3d identity;
  return RunIntersectionLoop(a, identity, b, tb, v);
}

bool CommonPoint(const Convex& a, const Transform3d& ta, const Convex& b, const Transform3d& tb,
                 Vector3d& v, Vector3d& pointA, Vector3d& pointB) {
  if (!RunIntersectionLoop(a, ta, b, tb, v)) return false;
  if (g.bits == 0) return false;
  pointA = Combine(g.p);
  pointB = Combine(g.q);
  return true;
}

void ClosestPoints(const Convex& a, const Transform3d& ta, const Convex& b, const Transform3d& tb,
                   double tolerance, Vector3d& pointA, Vector3d& pointB) {
  const Vector3d zero{0, 0, 0};
  Vector3d startA = a.Support(zero), startB = b.Support(zero);
  Vector3d v = ta.Apply(startA) - tb.Apply(startB);
  double dist = std::sqrt(LengthSquared(v));
  double mu = 0;
  ResetSimplex();
  for (int step = 0; step < kMaxSteps && g.bits < 15 && dist > kAbsoluteError; ++step) {
    Vector3d w = SupportStep(a, ta, ta, b, tb, v);
    if (!IsFinite(w)) break;
    mu = std::max(mu, Dot(v, w) / dist);
    if (dist - mu <= dist * tolerance) break;
    if (IsDegenerate(w)) break;
    StorePoint(w);
    if (!ClosestStep(v)) break;
    dist = std::sqrt(LengthSquared(v));
  }
  if (g.bits == 0) {  // stopped before the first point: the start points are the answer
    pointA = startA;
    pointB = startB;
    return;
  }
  pointA = Combine(g.p);
  pointB = Combine(g.q);
}

}  // namespace coll
