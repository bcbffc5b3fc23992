// Declarations shared inside the collision library: vector, box and transform maths, the shape
// classes, box trees, convex tests and objects. Nothing here is seen by the library's clients.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "models/collision/collision.h"

namespace coll {

// ---------------------------------------------------------------------------------------------
// Vectors

inline Vector3d operator+(const Vector3d& a, const Vector3d& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vector3d operator-(const Vector3d& a, const Vector3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vector3d operator-(const Vector3d& a) { return {-a.x, -a.y, -a.z}; }
inline Vector3d operator*(const Vector3d& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(const Vector3d& a, const Vector3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double LengthSquared(const Vector3d& a) { return Dot(a, a); }
inline bool PointsEqual(const Vector3d& a, const Vector3d& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline bool IsFinite(const Vector3d& a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }

constexpr double kFar = 1e50;          // "infinitely far": empty boxes, sentinels, unplaced objects
constexpr double kBoxMargin = 1e-10;   // every convex box is widened by this much
constexpr double kAbsoluteError = 1e-10;
constexpr double kApproxZero = 1e-20;  // |v|^2 below this counts as zero

// ---------------------------------------------------------------------------------------------
// Axis-aligned boxes: centre and half extent; the empty box has extent -kFar so that enclosing
// anything replaces it.

struct BoundingBox {
  Vector3d centre{0, 0, 0};
  Vector3d extent{-kFar, -kFar, -kFar};

  Vector3d Min() const { return centre - extent; }
  Vector3d Max() const { return centre + extent; }
  static BoundingBox FromCorners(const Vector3d& lo, const Vector3d& hi) {
    BoundingBox b;
    b.centre = (lo + hi) * 0.5;
    b.extent = (hi - lo) * 0.5;
    return b;
  }
  void Enclose(const Vector3d& p) { EncloseCorners(p, p); }
  void Enclose(const BoundingBox& o) { EncloseCorners(o.Min(), o.Max()); }
  void EncloseCorners(const Vector3d& lo, const Vector3d& hi) {
    Vector3d mn = Min(), mx = Max();
    *this = FromCorners({std::fmin(mn.x, lo.x), std::fmin(mn.y, lo.y), std::fmin(mn.z, lo.z)},
                        {std::fmax(mx.x, hi.x), std::fmax(mx.y, hi.y), std::fmax(mx.z, hi.z)});
  }
  int LargestAxis() const {
    int axis = std::fabs(extent.y) > std::fabs(extent.x) ? 1 : 0;
    if (std::fabs(extent.z) > std::fabs(extent[axis])) axis = 2;
    return axis;
  }
  double LargestExtent() const { return std::fmax(std::fmax(extent.x, extent.y), extent.z); }
  bool IsFiniteBox() const { return IsFinite(centre) && IsFinite(extent); }
  bool IsEmptyBox() const { return extent.x < 0 || extent.y < 0 || extent.z < 0; }
};

// Touching boxes overlap.
inline bool BoxesOverlap(const BoundingBox& a, const BoundingBox& b) {
  for (int i = 0; i < 3; ++i)
    if (!(std::fabs(a.centre[i] - b.centre[i]) <= a.extent[i] + b.extent[i])) return false;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Transforms: p maps to basis * p + origin.

enum : uint32_t { kTranslated = 1, kRotated = 2, kScaled = 4 };

struct Transform3d {
  double basis[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  Vector3d origin{0, 0, 0};
  uint32_t kind = 0;

  Vector3d Apply(const Vector3d& p) const { return ApplyBasis(p) + origin; }
  Vector3d ApplyBasis(const Vector3d& p) const {
    return {Dot(Row(0), p), Dot(Row(1), p), Dot(Row(2), p)};
  }
  // basis-transpose * d: a world direction in the shape's own coordinates.
  Vector3d ApplyTransposed(const Vector3d& d) const {
    return {basis[0][0] * d.x + basis[1][0] * d.y + basis[2][0] * d.z,
            basis[0][1] * d.x + basis[1][1] * d.y + basis[2][1] * d.z,
            basis[0][2] * d.x + basis[1][2] * d.y + basis[2][2] * d.z};
  }
  Vector3d Row(int i) const { return {basis[i][0], basis[i][1], basis[i][2]}; }
  bool IsFiniteTransform() const;
};

Transform3d TransformFromMatrix(const float* m);
Transform3d TransformFromMatrix(const double* m);
void TransformMultiply(Transform3d& t, const Transform3d& by);  // t = t o by
void TransformTranslate(Transform3d& t, const Vector3d& v);
void TransformRotate(Transform3d& t, double x, double y, double z, double w);
void TransformScale(Transform3d& t, const Vector3d& s);
Transform3d TransformInverse(const Transform3d& t);
Transform3d TransformCompose(const Transform3d& a, const Transform3d& b);   // a o b
Transform3d TransformRelative(const Transform3d& a, const Transform3d& b);  // a^-1 o b

// ---------------------------------------------------------------------------------------------
// Shapes

enum : int { kShapeComplex = 0, kShapeConvex = 1 };

class Shape {
 public:
  virtual ~Shape() = default;
  uint32_t objectCount = 0;  // live collision objects placing this shape
  virtual BoundingBox Bound(const Transform3d& t) const = 0;
  virtual int ShapeKind() const = 0;
};

class Convex : public Shape {
 public:
  BoundingBox Bound(const Transform3d& t) const override;  // by support
  int ShapeKind() const override { return kShapeConvex; }
  virtual Vector3d Support(const Vector3d& d) const = 0;
};

class Box : public Convex {
 public:
  explicit Box(const Vector3d& half) : half_(half) {}
  Vector3d Support(const Vector3d& d) const override;
  const Vector3d& HalfExtents() const { return half_; }

 private:
  Vector3d half_;
};

class Cone : public Convex {
 public:
  Cone(double radius, double height);
  Vector3d Support(const Vector3d& d) const override;

 private:
  double radius_, halfHeight_, sine_;
};

class Cylinder : public Convex {
 public:
  Cylinder(double radius, double height) : radius_(radius), halfHeight_(height * 0.5) {}
  Vector3d Support(const Vector3d& d) const override;

 private:
  double radius_, halfHeight_;
};

class Sphere : public Convex {
 public:
  explicit Sphere(double radius) : radius_(radius) {}
  Vector3d Support(const Vector3d& d) const override;

 private:
  double radius_;
};

// Vertex i is point indices[i] of the array the owning complex shape's vertex-array field
// points to at the time of the query, so a new array moves every polytope at once.
class Polytope : public Convex {
 public:
  Polytope(const Vector3d* const* base, const uint32_t* indices, uint32_t count)
      : base_(base), indices_(indices, indices + count) {}
  uint32_t Count() const { return static_cast<uint32_t>(indices_.size()); }
  uint32_t Index(uint32_t i) const { return indices_[i]; }
  const Vector3d& Vertex(uint32_t i) const { return (*base_)[indices_[i]]; }

 protected:
  Vector3d ScanSupport(const Vector3d& d) const;

 private:
  const Vector3d* const* base_;
  std::vector<uint32_t> indices_;
};

class Simplex : public Polytope {
 public:
  using Polytope::Polytope;
  Vector3d Support(const Vector3d& d) const override { return ScanSupport(d); }
};

class Polyhedron : public Polytope {
 public:
  using Polytope::Polytope;
  Vector3d Support(const Vector3d& d) const override { return ScanSupport(d); }
};

// A planar convex ring: the support walks from the vertex found last.
class Polygon : public Polytope {
 public:
  using Polytope::Polytope;
  Vector3d Support(const Vector3d& d) const override;

 private:
  mutable uint32_t lastFound_ = 0;
};

struct BoxTreeNode {
  BoundingBox box;
  uint32_t tag = 0;                 // 1 internal, 0 leaf
  BoxTreeNode* upper = nullptr;     // internal: entries at or above the split
  BoxTreeNode* lower = nullptr;     // internal: entries below it
  Polytope* polytope = nullptr;     // leaf
};

// A mesh: many small polytopes over one vertex array, found through a tree of boxes.
class Complex : public Shape {
 public:
  ~Complex() override;
  BoundingBox Bound(const Transform3d& t) const override;
  int ShapeKind() const override { return kShapeComplex; }

  // Builds the tree over the polytopes (taking them over) and records the committed array.
  void Finish(std::vector<Polytope*>& polytopes);
  void Refit();
  void SetVertices(const Vector3d* vertices, uint32_t count, bool owned);
  // The points the polytopes index; valid arrays must hold at least this many.
  uint32_t NeededVertexCount() const { return neededCount_; }
  void SwapCommitted() { std::swap(vertices_, committed_); }
  void Commit() { committed_ = vertices_; }

  const Vector3d* Vertices() const { return vertices_; }
  uint32_t VertexCount() const { return vertexCount_; }
  const Vector3d* const* VertexField() const { return &vertices_; }
  const BoxTreeNode* Root() const { return root_; }
  const BoxTreeNode* Leaves() const { return leaves_.data(); }
  const BoxTreeNode* Internals() const { return internals_.data(); }
  uint32_t LeafCount() const { return static_cast<uint32_t>(leaves_.size()); }

 private:
  BoxTreeNode* Build(BoxTreeNode* entries, uint32_t n, uint32_t& nextInternal);
  void FreeOwnedArray();

  const Vector3d* vertices_ = nullptr;
  const Vector3d* committed_ = nullptr;
  uint32_t vertexCount_ = 0;
  uint32_t neededCount_ = 0;
  bool ownsArray_ = false;
  std::vector<BoxTreeNode> leaves_;
  std::vector<BoxTreeNode> internals_;
  BoxTreeNode* root_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Convex tests (collision_convex.cpp). v is the caller's separating vector, updated in place.

bool IntersectObjects(const Convex& a, const Transform3d& ta, const Convex& b, const Transform3d& tb,
                      Vector3d& v);
// Leaf form: a in its own frame, b placed by the relative transform tb.
bool IntersectRelative(const Convex& a, const Convex& b, const Transform3d& tb, Vector3d& v);
bool CommonPoint(const Convex& a, const Transform3d& ta, const Convex& b, const Transform3d& tb,
                 Vector3d& v, Vector3d& pointA, Vector3d& pointB);
void ClosestPoints(const Convex& a, const Transform3d& ta, const Convex& b, const Transform3d& tb,
                   double tolerance, Vector3d& pointA, Vector3d& pointB);
// How many attempts the last IntersectObjects made (for tests of its restart rule).
int LastIntersectAttempts();

// ---------------------------------------------------------------------------------------------
// Tree walks (collision_tree.cpp); the complex shape comes first.

bool IntersectComplexConvex(const Complex& a, const Transform3d& ta, const Convex& b,
                            const Transform3d& tb, Vector3d& v);
const Polytope* FindLeafComplexConvex(const Complex& a, const Transform3d& ta, const Convex& b,
                                      const Transform3d& tb, Vector3d& v);
bool CommonPointComplexConvex(const Complex& a, const Transform3d& ta, const Convex& b,
                              const Transform3d& tb, Vector3d& v, Vector3d& pa, Vector3d& pb);
bool IntersectComplexComplex(const Complex& a, const Transform3d& ta, const Complex& b,
                             const Transform3d& tb, Vector3d& v);
bool FindLeavesComplexComplex(const Complex& a, const Transform3d& ta, const Complex& b,
                              const Transform3d& tb, Vector3d& v, const Polytope*& leafA,
                              const Polytope*& leafB);
bool CommonPointComplexComplex(const Complex& a, const Transform3d& ta, const Complex& b,
                               const Transform3d& tb, Vector3d& v, Vector3d& pa, Vector3d& pb);
// Box of b (placed by t, b's coordinates into a's) against box a, on the six face axes.
bool BoxesOverlapRelative(const BoundingBox& a, const BoundingBox& b, const Transform3d& t,
                          const Transform3d& tInverse);

// ---------------------------------------------------------------------------------------------
// Objects and the broad phase (collision_objects.cpp)

struct CollisionObject;

struct Endpoint {
  Endpoint* next = nullptr;
  Endpoint* prev = nullptr;
  double value = kFar;
  uint32_t kind = 0;                 // 0 minimum, 1 maximum
  CollisionObject* owner = nullptr;  // null for a sentinel
};

struct CollisionObject {
  Transform3d transform;
  Transform3d committed;
  uint32_t key = 0;
  Shape* shape = nullptr;
  BoundingBox box;
  Endpoint endpoints[6];  // minimum x, y, z, then maximum x, y, z
  bool dead = false;      // deleted during a test pass; freed when the pass ends
  // Broad-phase bookkeeping (collision_objects.cpp).
  double low[3] = {kFar, kFar, kFar};   // the box ends as placed in the lists (clamped)
  double high[3] = {kFar, kFar, kFar};
  bool inLists = false;                 // endpoints linked: from the first settled move on
  int32_t pendingIndex = -1;            // place in the list of moves to settle; -1 none
  std::vector<uint32_t> pairs;          // its broad-phase pair records
  int32_t activeIndex = -1;             // scratch of a sweep
  bool inBatch = false;                 // scratch of a sweep: placed by this sweep
};

CollisionObject* CreateObjectRecord(uint32_t key, Shape* shape);
// Takes the object out of the broad phase and drops its pairs; the caller frees it.
void DeleteObjectRecord(CollisionObject* object);
// Asks for the object's box and endpoints to follow its transform. Moves are settled together
// (SettleMoves) before the pairs are read, so objects made in a row and placed afterwards
// enter the lists at their places rather than being dragged through them one by one.
void MoveObject(CollisionObject* object);
void SettleMoves();
void ClearBroadPhase();
// The broad-phase pairs as (first key, second key), in the set's order (moves settled first).
std::vector<std::pair<uint32_t, uint32_t>> BroadPhasePairs();

// Object-pair test with the pair's response; true when the response fired.
bool TestObjectPair(CollisionObject* first, CollisionObject* second, Vector3d& v,
                    const CollisionResponse& response, double tolerance);
// Orders two objects the way a pair holds them: complex shape first, then lower key.
bool ObjectComesFirst(const CollisionObject* a, const CollisionObject* b);
// Tests the broad-phase pair of these keys, when it is still in the set.
bool TestBroadPhasePair(std::pair<uint32_t, uint32_t> key, const CollisionResponse& response,
                        double tolerance);

}  // namespace coll
