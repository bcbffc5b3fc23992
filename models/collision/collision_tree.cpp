// Complex shapes: the box tree over their polytopes (build, refit) and the walks that test a
// complex shape against a convex shape or another complex shape, leaf pair by leaf pair.
#include <algorithm>

#include "models/collision/collision_local.h"

namespace coll {

// ---------------------------------------------------------------------------------------------
// Building and refitting

Complex::~Complex() {
  for (BoxTreeNode& leaf : leaves_) delete leaf.polytope;
  FreeOwnedArray();
}

void Complex::FreeOwnedArray() {
  if (ownsArray_) delete[] vertices_;
  ownsArray_ = false;
}

// The committed array follows when it was the owned array being replaced, so it never dangles.
void Complex::SetVertices(const Vector3d* vertices, uint32_t count, bool owned) {
  if (ownsArray_ && vertices_ != vertices) {
    if (committed_ == vertices_) committed_ = vertices;
    delete[] vertices_;
  }
  vertices_ = vertices;
  vertexCount_ = count;
  ownsArray_ = owned;
}

static BoundingBox LeafBox(const Polytope& polytope) {
  BoundingBox box;
  for (uint32_t i = 0; i < polytope.Count(); ++i) box.Enclose(polytope.Vertex(i));
  return box;
}

void Complex::Finish(std::vector<Polytope*>& polytopes) {
  committed_ = vertices_;
  leaves_.resize(polytopes.size());
  neededCount_ = 0;
  for (size_t i = 0; i < polytopes.size(); ++i) {
    leaves_[i].polytope = polytopes[i];
    leaves_[i].box = LeafBox(*polytopes[i]);
    for (uint32_t k = 0; k < polytopes[i]->Count(); ++k)
      neededCount_ = std::max(neededCount_, polytopes[i]->Index(k) + 1);
  }
  polytopes.clear();
  uint32_t n = static_cast<uint32_t>(leaves_.size());
  if (n == 0) {
    root_ = nullptr;  // an empty shape: its box is empty and it never collides
    return;
  }
  if (n == 1) {
    root_ = &leaves_[0];
    return;
  }
  internals_.resize(n - 1);
  uint32_t nextInternal = 0;
  root_ = Build(leaves_.data(), n, nextInternal);
}

// Internal nodes are taken in depth-first order: a node, its lower subtree, its upper subtree.
BoxTreeNode* Complex::Build(BoxTreeNode* entries, uint32_t n, uint32_t& nextInternal) {
  BoxTreeNode* node = &internals_[nextInternal++];
  node->tag = 1;
  node->box = BoundingBox();
  for (uint32_t i = 0; i < n; ++i) node->box.Enclose(entries[i].box);
  int axis = node->box.LargestAxis();
  double split = node->box.centre[axis];
  uint32_t k = n;
  for (uint32_t i = 0; i < k;) {
    if (entries[i].box.centre[axis] >= split)
      std::swap(entries[i], entries[--k]);
    else
      ++i;
  }
  if (k == 0 || k == n) k = n / 2;
  node->lower = k >= 2 ? Build(entries, k, nextInternal) : &entries[0];
  node->upper = n - k >= 2 ? Build(entries + k, n - k, nextInternal) : &entries[k];
  return node;
}

void Complex::Refit() {
  for (BoxTreeNode& leaf : leaves_) leaf.box = LeafBox(*leaf.polytope);
  for (size_t i = internals_.size(); i-- > 0;) {
    BoxTreeNode& node = internals_[i];
    node.box = node.lower->box;
    node.box.Enclose(node.upper->box);
  }
}

BoundingBox Complex::Bound(const Transform3d& t) const {
  if (!root_) return BoundingBox();
  BoundingBox box;
  box.centre = t.Apply(root_->box.centre);
  for (int i = 0; i < 3; ++i) {
    Vector3d row = t.Row(i);
    box.extent[i] = Dot({std::fabs(row.x), std::fabs(row.y), std::fabs(row.z)}, root_->box.extent);
  }
  return box;
}

// ---------------------------------------------------------------------------------------------
// Walks

namespace {

enum class Question { kIntersect, kFindLeaf, kCommonPoint };

// What one walk needs besides the nodes; the answers land here too.
struct WalkContext {
  Question question;
  const Transform3d* t;         // second shape's coordinates into the first's
  const Transform3d* tInverse;  // complex-complex only
  Vector3d absBasis[3];         // |t.basis| rows, complex-complex only
  Vector3d absInverse[3];       // |tInverse.basis| rows
  Vector3d* v;
  const Polytope* leafA = nullptr;
  const Polytope* leafB = nullptr;
  Vector3d pointA, pointB;
};

Vector3d AbsRow(const Transform3d& t, int i) {
  return {std::fabs(t.basis[i][0]), std::fabs(t.basis[i][1]), std::fabs(t.basis[i][2])};
}

bool LeafTest(WalkContext& c, const Polytope& a, const Convex& b) {
  static const Transform3d identity;
  switch (c.question) {
    case Question::kCommonPoint:
      return CommonPoint(a, identity, b, *c.t, *c.v, c.pointA, c.pointB);
    case Question::kFindLeaf:
    case Question::kIntersect:
      if (!IntersectRelative(a, b, *c.t, *c.v)) return false;
      c.leafA = &a;
      return true;
  }
  return false;
}

bool WalkConvex(WalkContext& c, const BoxTreeNode* node, const BoundingBox& convexBox,
                const Convex& convex) {
  if (!BoxesOverlap(node->box, convexBox)) return false;
  if (node->tag == 0) return LeafTest(c, *node->polytope, convex);
  return WalkConvex(c, node->upper, convexBox, convex) ||
         WalkConvex(c, node->lower, convexBox, convex);
}

bool OverlapUnder(const WalkContext& c, const BoundingBox& a, const BoundingBox& b) {
  Vector3d u = c.t->Apply(b.centre) - a.centre;
  for (int i = 0; i < 3; ++i)
    if (!(std::fabs(u[i]) <= a.extent[i] + Dot(c.absBasis[i], b.extent))) return false;
  Vector3d w = c.tInverse->Apply(a.centre) - b.centre;
  for (int i = 0; i < 3; ++i)
    if (!(std::fabs(w[i]) <= b.extent[i] + Dot(c.absInverse[i], a.extent))) return false;
  return true;
}

bool WalkComplex(WalkContext& c, const BoxTreeNode* a, const BoxTreeNode* b) {
  if (!OverlapUnder(c, a->box, b->box)) return false;
  if (a->tag == 0 && b->tag == 0) {
    if (!LeafTest(c, *a->polytope, *b->polytope)) return false;
    c.leafB = b->polytope;
    return true;
  }
  if (a->tag != 0 && (b->tag == 0 || a->box.LargestExtent() >= b->box.LargestExtent()))
    return WalkComplex(c, a->upper, b) || WalkComplex(c, a->lower, b);
  return WalkComplex(c, a, b->upper) || WalkComplex(c, a, b->lower);
}

bool RunConvexWalk(WalkContext& c, const Complex& a, const Transform3d& ta, const Convex& b,
                   const Transform3d& tb) {
  if (!a.Root()) return false;
  Transform3d t = TransformRelative(ta, tb);
  if (!t.IsFiniteTransform()) return false;
  c.t = &t;
  BoundingBox box = b.Bound(t);
  return WalkConvex(c, a.Root(), box, b);
}

bool RunComplexWalk(WalkContext& c, const Complex& a, const Transform3d& ta, const Complex& b,
                    const Transform3d& tb) {
  if (!a.Root() || !b.Root()) return false;
  Transform3d t = TransformRelative(ta, tb);
  Transform3d tInverse = TransformInverse(t);
  if (!t.IsFiniteTransform() || !tInverse.IsFiniteTransform()) return false;
  c.t = &t;
  c.tInverse = &tInverse;
  for (int i = 0; i < 3; ++i) {
    c.absBasis[i] = AbsRow(t, i);
    c.absInverse[i] = AbsRow(tInverse, i);
  }
  return WalkComplex(c, a.Root(), b.Root());
}

}  // namespace

bool BoxesOverlapRelative(const BoundingBox& a, const BoundingBox& b, const Transform3d& t,
                          const Transform3d& tInverse) {
  WalkContext c{};
  c.t = &t;
  c.tInverse = &tInverse;
  for (int i = 0; i < 3; ++i) {
    c.absBasis[i] = AbsRow(t, i);
    c.absInverse[i] = AbsRow(tInverse, i);
  }
  return OverlapUnder(c, a, b);
}

bool IntersectComplexConvex(const Complex& a, const Transform3d& ta, const Convex& b,
                            const Transform3d& tb, Vector3d& v) {
  WalkContext c{};
  c.question = Question::kIntersect;
  c.v = &v;
  return RunConvexWalk(c, a, ta, b, tb);
}

const Polytope* FindLeafComplexConvex(const Complex& a, const Transform3d& ta, const Convex& b,
                                      const Transform3d& tb, Vector3d& v) {
  WalkContext c{};
  c.question = Question::kFindLeaf;
  c.v = &v;
  return RunConvexWalk(c, a, ta, b, tb) ? c.leafA : nullptr;
}

bool CommonPointComplexConvex(const Complex& a, const Transform3d& ta, const Convex& b,
                              const Transform3d& tb, Vector3d& v, Vector3d& pa, Vector3d& pb) {
  WalkContext c{};
  c.question = Question::kCommonPoint;
  c.v = &v;
  if (!RunConvexWalk(c, a, ta, b, tb)) return false;
  pa = c.pointA;
  pb = c.pointB;
  return true;
}

bool IntersectComplexComplex(const Complex& a, const Transform3d& ta, const Complex& b,
                             const Transform3d& tb, Vector3d& v) {
  WalkContext c{};
  c.question = Question::kIntersect;
  c.v = &v;
  return RunComplexWalk(c, a, ta, b, tb);
}

bool FindLeavesComplexComplex(const Complex& a, const Transform3d& ta, const Complex& b,
                              const Transform3d& tb, Vector3d& v, const Polytope*& leafA,
                              const Polytope*& leafB) {
  WalkContext c{};
  c.question = Question::kFindLeaf;
  c.v = &v;
  if (!RunComplexWalk(c, a, ta, b, tb)) return false;
  leafA = c.leafA;
  leafB = c.leafB;
  return true;
}

bool CommonPointComplexComplex(const Complex& a, const Transform3d& ta, const Complex& b,
                               const Transform3d& tb, Vector3d& v, Vector3d& pa, Vector3d& pb) {
  WalkContext c{};
  c.question = Question::kCommonPoint;
  c.v = &v;
  if (!RunComplexWalk(c, a, ta, b, tb)) return false;
  pa = c.pointA;
  pb = c.pointB;
  return true;
}

}  // namespace coll
