// Collision objects in the broad phase (sorted box ends on three axes, kept up to date as objects
// move) and the exact test of one object pair under its response.
#include <algorithm>
#include <map>

#include "models/collision/collision_local.h"

namespace coll {

namespace {

struct PairRecord {
  CollisionObject* first;
  CollisionObject* second;
  Vector3d separating{0, 0, 0};  // carried from pass to pass
};

// The endpoint lists and the pair set; they live for the process and are emptied by
// ClearBroadPhase (CollReset).
struct BroadPhase {
  Endpoint lower[3];
  Endpoint upper[3];
  bool linked = false;
  std::map<std::pair<uint32_t, uint32_t>, PairRecord> pairs;  // by (first key, second key)
};
BroadPhase bp;

CollisionData contactData;  // handed to every callback of kinds 2 and 3, overwritten each time

void LinkSentinels() {
  for (int axis = 0; axis < 3; ++axis) {
    bp.lower[axis] = Endpoint{&bp.upper[axis], nullptr, -kFar, 0, nullptr};
    bp.upper[axis] = Endpoint{nullptr, &bp.lower[axis], kFar, 1, nullptr};
  }
  bp.linked = true;
}

// A minimum sorts before a maximum at the same value, so boxes that touch overlap.
bool SortsBefore(const Endpoint* a, const Endpoint* b) {
  return a->value < b->value || (a->value == b->value && a->kind < b->kind);
}

void Unlink(Endpoint* e) {
  e->prev->next = e->next;
  e->next->prev = e->prev;
}

void LinkAfter(Endpoint* e, Endpoint* p) {
  e->prev = p;
  e->next = p->next;
  p->next->prev = e;
  p->next = e;
}

std::pair<uint32_t, uint32_t> PairKey(CollisionObject* a, CollisionObject* b) {
  if (!ObjectComesFirst(a, b)) std::swap(a, b);
  return {a->key, b->key};
}

// a was before b and one of them has just passed the other.
void OverlapEvent(const Endpoint* a, const Endpoint* b) {
  if (a->kind == b->kind || a->owner == b->owner) return;
  CollisionObject* o1 = a->owner;
  CollisionObject* o2 = b->owner;
  if (a->kind == 1) {  // a minimum passed below a maximum: the boxes may overlap now
    if (!BoxesOverlap(o1->box, o2->box)) return;
    if (!ObjectComesFirst(o1, o2)) std::swap(o1, o2);
    bp.pairs.try_emplace({o1->key, o2->key}, PairRecord{o1, o2, {0, 0, 0}});
  } else {  // a maximum passed below a minimum: apart on this axis
    bp.pairs.erase(PairKey(o1, o2));
  }
}

// Sentinels are never passed, so values beyond their range cannot run a walk off the list.
void MoveEndpoint(Endpoint* e, double value) {
  value = std::clamp(value, -kFar, kFar);
  double d = value - e->value;
  e->value = value;
  if (d < 0) {
    Endpoint* p = e->prev;
    if (!p->owner || !SortsBefore(e, p)) return;
    Unlink(e);
    while (p->owner && SortsBefore(e, p)) {
      OverlapEvent(p, e);
      p = p->prev;
    }
    LinkAfter(e, p);
  } else if (d > 0) {
    Endpoint* n = e->next;
    if (!n->owner || !SortsBefore(n, e)) return;
    Unlink(e);
    while (n->owner && SortsBefore(n, e)) {
      OverlapEvent(e, n);
      n = n->next;
    }
    LinkAfter(e, n->prev);
  }
}

// Where an unplaced object sits: every end at the far corner.
BoundingBox FarBox() { return BoundingBox::FromCorners({kFar, kFar, kFar}, {kFar, kFar, kFar}); }

}  // namespace

bool ObjectComesFirst(const CollisionObject* a, const CollisionObject* b) {
  int ka = a->shape->ShapeKind(), kb = b->shape->ShapeKind();
  if (ka != kb) return ka < kb;
  return a->key < b->key;
}

CollisionObject* CreateObjectRecord(uint32_t key, Shape* shape) {
  if (!bp.linked) LinkSentinels();
  auto* object = new CollisionObject;
  object->key = key;
  object->shape = shape;
  object->box = FarBox();
  for (int i = 0; i < 6; ++i) {
    Endpoint& e = object->endpoints[i];
    e.value = kFar;
    e.kind = i < 3 ? 0 : 1;
    e.owner = object;
    LinkAfter(&e, bp.upper[i % 3].prev);
  }
  return object;
}

void DeleteObjectRecord(CollisionObject* object) {
  for (Endpoint& e : object->endpoints) {
    if (e.prev) Unlink(&e);
    e.prev = e.next = nullptr;
  }
  std::erase_if(bp.pairs, [object](const auto& entry) {
    return entry.second.first == object || entry.second.second == object;
  });
}

void MoveObject(CollisionObject* object) {
  BoundingBox box = object->shape->Bound(object->transform);
  // A broken transform (NaN, infinities) parks the object at the far corner instead of
  // scrambling the sorted lists; its tests report no contact.
  if (!box.IsFiniteBox()) box = FarBox();
  object->box = box;
  Vector3d lo = box.Min(), hi = box.Max();
  for (int i = 0; i < 3; ++i) MoveEndpoint(&object->endpoints[i], lo[i]);
  for (int i = 0; i < 3; ++i) MoveEndpoint(&object->endpoints[3 + i], hi[i]);
}

void ClearBroadPhase() {
  LinkSentinels();
  bp.pairs.clear();
}

std::vector<std::pair<uint32_t, uint32_t>> BroadPhasePairs() {
  std::vector<std::pair<uint32_t, uint32_t>> keys;
  keys.reserve(bp.pairs.size());
  for (const auto& entry : bp.pairs) keys.push_back(entry.first);
  return keys;
}

// ---------------------------------------------------------------------------------------------
// The exact test of one pair

namespace {

bool Intersects(CollisionObject* a, CollisionObject* b, Vector3d& v) {
  Shape* sa = a->shape;
  Shape* sb = b->shape;
  if (sa->ShapeKind() == kShapeConvex && sb->ShapeKind() == kShapeConvex)
    return IntersectObjects(*static_cast<Convex*>(sa), a->transform, *static_cast<Convex*>(sb),
                            b->transform, v);
  if (sb->ShapeKind() == kShapeConvex)
    return IntersectComplexConvex(*static_cast<Complex*>(sa), a->transform,
                                  *static_cast<Convex*>(sb), b->transform, v);
  return IntersectComplexComplex(*static_cast<Complex*>(sa), a->transform,
                                 *static_cast<Complex*>(sb), b->transform, v);
}

bool FindCommonPoint(CollisionObject* a, CollisionObject* b, Vector3d& v, Vector3d& pa,
                     Vector3d& pb) {
  Shape* sa = a->shape;
  Shape* sb = b->shape;
  if (sa->ShapeKind() == kShapeConvex && sb->ShapeKind() == kShapeConvex)
    return CommonPoint(*static_cast<Convex*>(sa), a->transform, *static_cast<Convex*>(sb),
                       b->transform, v, pa, pb);
  if (sb->ShapeKind() == kShapeConvex)
    return CommonPointComplexConvex(*static_cast<Complex*>(sa), a->transform,
                                    *static_cast<Convex*>(sb), b->transform, v, pa, pb);
  return CommonPointComplexComplex(*static_cast<Complex*>(sa), a->transform,
                                   *static_cast<Complex*>(sb), b->transform, v, pa, pb);
}

// Closest points under the committed transforms of the first intersecting leaves; the
// committed vertex arrays are swapped in for the search and back out afterwards.
bool FindCommittedClosestPoints(CollisionObject* a, CollisionObject* b, Vector3d& v,
                                double tolerance, Vector3d& pa, Vector3d& pb) {
  Shape* sa = a->shape;
  Shape* sb = b->shape;
  if (sa->ShapeKind() == kShapeConvex) {
    if (!Intersects(a, b, v)) return false;
    ClosestPoints(*static_cast<Convex*>(sa), a->committed, *static_cast<Convex*>(sb), b->committed,
                  tolerance, pa, pb);
    return true;
  }
  auto* ca = static_cast<Complex*>(sa);
  if (sb->ShapeKind() == kShapeConvex) {
    const Polytope* leaf = FindLeafComplexConvex(*ca, a->transform, *static_cast<Convex*>(sb),
                                                 b->transform, v);
    if (!leaf) return false;
    ca->SwapCommitted();
    ClosestPoints(*leaf, a->committed, *static_cast<Convex*>(sb), b->committed, tolerance, pa, pb);
    ca->SwapCommitted();
    return true;
  }
  auto* cb = static_cast<Complex*>(sb);
  const Polytope* leafA = nullptr;
  const Polytope* leafB = nullptr;
  if (!FindLeavesComplexComplex(*ca, a->transform, *cb, b->transform, v, leafA, leafB))
    return false;
  ca->SwapCommitted();
  if (cb != ca) cb->SwapCommitted();
  ClosestPoints(*leafA, a->committed, *leafB, b->committed, tolerance, pa, pb);
  ca->SwapCommitted();
  if (cb != ca) cb->SwapCommitted();
  return true;
}

}  // namespace

bool TestObjectPair(CollisionObject* first, CollisionObject* second, Vector3d& v,
                    const CollisionResponse& response, double tolerance) {
  const CollisionData* data = nullptr;
  switch (response.kind) {
    case kCollResponseSimple:
      if (!Intersects(first, second, v)) return false;
      break;
    case kCollResponseClosestPoints: {
      Vector3d pa, pb;
      if (!FindCommittedClosestPoints(first, second, v, tolerance, pa, pb)) return false;
      contactData.point1 = pa;
      contactData.point2 = pb;
      contactData.vector = first->committed.Apply(pa) - second->committed.Apply(pb);
      data = &contactData;
      break;
    }
    case kCollResponseCommonPoint: {
      Vector3d pa, pb;
      if (!FindCommonPoint(first, second, v, pa, pb)) return false;
      contactData.point1 = pa;
      contactData.point2 = pb;
      contactData.vector = {0, 0, 0};
      data = &contactData;
      break;
    }
    default:
      return false;
  }
  // The callback comes last: it may move or delete objects, and nothing of the pair is touched
  // after it returns.
  if (response.callback) response.callback(response.clientData, first->key, second->key, data);
  return true;
}

bool TestBroadPhasePair(std::pair<uint32_t, uint32_t> key, const CollisionResponse& response,
                        double tolerance) {
  auto it = bp.pairs.find(key);
  if (it == bp.pairs.end()) return false;  // separated or deleted by an earlier callback
  PairRecord& pair = it->second;
  return TestObjectPair(pair.first, pair.second, pair.separating, response, tolerance);
}

}  // namespace coll
