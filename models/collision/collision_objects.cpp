// Collision objects in the broad phase (sorted box ends on three axes, kept up to date as objects
// move; a record for each pair whose boxes overlap) and the exact test of one object pair.
#include <algorithm>
#include <limits>
#include <memory>

#include "models/collision/collision_local.h"

namespace coll {

namespace {

struct PairRecord {
  CollisionObject* first = nullptr;  // null while the record is free
  CollisionObject* second = nullptr;
  Vector3d separating{0, 0, 0};  // carried from pass to pass
  uint64_t key = 0;              // smaller client key << 32 | larger client key
  uint32_t slotInFirst = 0;      // where the pair sits in each object's own list
  uint32_t slotInSecond = 0;
  uint32_t sweepMark = 0;        // the last sweep that found the boxes overlapping
};

constexpr uint32_t kNoPair = std::numeric_limits<uint32_t>::max();

// The pair records and their index by key. Records sit in fixed blocks (never moved, so a
// crowd of a million pairs is not copied as it grows) and are reused through a free list;
// the index is open addressing with linear probing over record numbers, since the swap events
// of the sorted lists ask "is this pair recorded?" far more often than pairs come and go.
// Everything is given back when the last pair goes.
class PairStore {
 public:
  PairRecord& operator[](uint32_t index) { return blocks_[index >> kBlockBits][index & kBlockMask]; }
  size_t Live() const { return live_; }
  uint32_t Capacity() const { return static_cast<uint32_t>(blocks_.size() << kBlockBits); }

  uint32_t Find(uint64_t key) {
    if (live_ == 0) return kNoPair;
    for (size_t i = Home(key);; i = (i + 1) & mask_) {
      if (slots_[i] == kNoPair) return kNoPair;
      if ((*this)[slots_[i]].key == key) return slots_[i];
    }
  }
  // A fresh record for a key that has none.
  uint32_t Add(uint64_t key) {
    if (freeRecords_.empty()) {
      const uint32_t first = Capacity();
      blocks_.push_back(std::make_unique<PairRecord[]>(kBlockSize));
      for (uint32_t i = kBlockSize; i-- > 0;) freeRecords_.push_back(first + i);
    }
    const uint32_t index = freeRecords_.back();
    freeRecords_.pop_back();
    (*this)[index].key = key;
    if ((live_ + 1) * 2 > slots_.size()) Rehash(std::max<size_t>(64, slots_.size() * 2));
    Place(index);
    ++live_;
    return index;
  }
  void Remove(uint32_t index) {
    size_t i = Home((*this)[index].key);
    while (slots_[i] != index) i = (i + 1) & mask_;
    // Shift later entries of the run back so that no probe stops early at the hole.
    for (size_t j = (i + 1) & mask_; slots_[j] != kNoPair; j = (j + 1) & mask_) {
      const size_t home = Home((*this)[slots_[j]].key);
      const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
      if (stays) continue;
      slots_[i] = slots_[j];
      i = j;
    }
    slots_[i] = kNoPair;
    (*this)[index] = PairRecord{};
    freeRecords_.push_back(index);
    if (--live_ == 0) Clear();
  }
  void Clear() {
    blocks_.clear();
    blocks_.shrink_to_fit();
    std::vector<uint32_t>().swap(freeRecords_);
    std::vector<uint32_t>().swap(slots_);
    mask_ = 0;
    live_ = 0;
  }

 private:
  static constexpr uint32_t kBlockBits = 12, kBlockSize = 1u << kBlockBits, kBlockMask = kBlockSize - 1;
  // Keys are made of numbers like owner x 100000 + mesh: every bit is mixed into the slot.
  size_t Home(uint64_t key) const {
    uint64_t h = key ^ (key >> 33);
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return static_cast<size_t>(h) & mask_;
  }
  void Place(uint32_t index) {
    size_t i = Home((*this)[index].key);
    while (slots_[i] != kNoPair) i = (i + 1) & mask_;
    slots_[i] = index;
  }
  void Rehash(size_t size) {
    std::vector<uint32_t> old(size, kNoPair);
    old.swap(slots_);
    mask_ = size - 1;
    for (uint32_t index : old)
      if (index != kNoPair) Place(index);
  }
  std::vector<std::unique_ptr<PairRecord[]>> blocks_;
  std::vector<uint32_t> freeRecords_;
  std::vector<uint32_t> slots_;  // record numbers; kNoPair = empty
  size_t mask_ = 0;
  size_t live_ = 0;
};

// The endpoint lists, the pair records and the moves waiting to be settled; they live for the
// process and are emptied by ClearBroadPhase (CollReset).
struct BroadPhase {
  Endpoint lower[3];
  Endpoint upper[3];
  bool linked = false;
  size_t objectsInLists = 0;
  PairStore pairs;
  std::vector<CollisionObject*> pending; // objects whose moves are not settled yet
  uint32_t sweepMark = 0;
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

// Boxes as the lists hold them (a moving object's as it will be); touching counts.
bool PlacedBoxesOverlap(const CollisionObject* a, const CollisionObject* b) {
  for (int axis = 0; axis < 3; ++axis)
    if (a->high[axis] < b->low[axis] || b->high[axis] < a->low[axis]) return false;
  return true;
}

uint64_t PairKey(const CollisionObject* a, const CollisionObject* b) {
  const uint64_t low = std::min(a->key, b->key), high = std::max(a->key, b->key);
  return low << 32 | high;
}

// The record of the two objects' pair, made when missing.
PairRecord& FindOrAddPair(CollisionObject* a, CollisionObject* b) {
  const uint64_t key = PairKey(a, b);
  const uint32_t found = bp.pairs.Find(key);
  if (found != kNoPair) return bp.pairs[found];
  const uint32_t index = bp.pairs.Add(key);
  if (!ObjectComesFirst(a, b)) std::swap(a, b);
  PairRecord& pair = bp.pairs[index];
  pair.first = a;
  pair.second = b;
  pair.slotInFirst = static_cast<uint32_t>(a->pairs.size());
  pair.slotInSecond = static_cast<uint32_t>(b->pairs.size());
  a->pairs.push_back(index);
  b->pairs.push_back(index);
  return pair;
}

// Takes the pair out of one object's list, moving that list's last pair into its place.
void DetachPair(CollisionObject* object, uint32_t slot) {
  const uint32_t moved = object->pairs.back();
  object->pairs[slot] = moved;
  object->pairs.pop_back();
  if (slot == object->pairs.size()) return;
  PairRecord& other = bp.pairs[moved];
  (other.first == object ? other.slotInFirst : other.slotInSecond) = slot;
}

void RemovePair(uint32_t index) {
  PairRecord& pair = bp.pairs[index];
  DetachPair(pair.first, pair.slotInFirst);
  DetachPair(pair.second, pair.slotInSecond);
  bp.pairs.Remove(index);
}

// a was before b and one of them has just passed the other.
void OverlapEvent(const Endpoint* a, const Endpoint* b) {
  if (a->kind == b->kind || a->owner == b->owner) return;
  if (a->kind == 1) {  // a minimum passed below a maximum: the boxes may overlap now
    if (PlacedBoxesOverlap(a->owner, b->owner)) FindOrAddPair(a->owner, b->owner);
  } else {  // a maximum passed below a minimum: apart on this axis
    const uint32_t found = bp.pairs.Find(PairKey(a->owner, b->owner));
    if (found != kNoPair) RemovePair(found);
  }
}

// Sentinels are never passed. Returns how many endpoints e passed.
size_t MoveEndpoint(Endpoint* e, double value) {
  double d = value - e->value;
  e->value = value;
  size_t passed = 0;
  if (d < 0) {
    Endpoint* p = e->prev;
    if (!p->owner || !SortsBefore(e, p)) return 0;
    Unlink(e);
    while (p->owner && SortsBefore(e, p)) {
      OverlapEvent(p, e);
      p = p->prev;
      ++passed;
    }
    LinkAfter(e, p);
  } else if (d > 0) {
    Endpoint* n = e->next;
    if (!n->owner || !SortsBefore(n, e)) return 0;
    Unlink(e);
    while (n->owner && SortsBefore(n, e)) {
      OverlapEvent(e, n);
      n = n->next;
      ++passed;
    }
    LinkAfter(e, n->prev);
  }
  return passed;
}

// Where an object whose transform is broken sits: every end at the far corner.
BoundingBox FarBox() { return BoundingBox::FromCorners({kFar, kFar, kFar}, {kFar, kFar, kFar}); }

// The box under the object's transform, and its ends as the lists will hold them.
void PlaceBox(CollisionObject* object) {
  BoundingBox box = object->shape->Bound(object->transform);
  // A broken transform (NaN, infinities) or a shape with nothing in it (a complex shape
  // without triangles: the empty box, whose ends are the wrong way round) parks the object at
  // the far corner instead of scrambling the sorted lists; its tests report no contact.
  if (!box.IsFiniteBox() || box.IsEmptyBox()) box = FarBox();
  object->box = box;
  const Vector3d lo = box.Min(), hi = box.Max();
  for (int axis = 0; axis < 3; ++axis) {
    object->low[axis] = std::clamp(lo[axis], -kFar, kFar);
    object->high[axis] = std::clamp(hi[axis], -kFar, kFar);
  }
}

// An object in the lists follows its box endpoint by endpoint, raising the swap events.
size_t SlideObject(CollisionObject* object) {
  PlaceBox(object);
  size_t passed = 0;
  for (int axis = 0; axis < 3; ++axis) passed += MoveEndpoint(&object->endpoints[axis], object->low[axis]);
  for (int axis = 0; axis < 3; ++axis) passed += MoveEndpoint(&object->endpoints[3 + axis], object->high[axis]);
  return passed;
}

void UnlinkObject(CollisionObject* object) {
  for (Endpoint& e : object->endpoints) {
    Unlink(&e);
    e.prev = e.next = nullptr;
  }
  object->inLists = false;
  --bp.objectsInLists;
}

// The axis whose object centres spread widest against the boxes' sizes: a sweep along it
// keeps the fewest boxes open at once.
int SweepAxis() {
  double sum[3] = {}, squares[3] = {}, size[3] = {};
  double n = 0;
  for (const Endpoint* e = bp.lower[0].next; e->owner; e = e->next) {
    if (e->kind != 0) continue;
    const CollisionObject* object = e->owner;
    for (int axis = 0; axis < 3; ++axis) {
      const double centre = object->low[axis] * 0.5 + object->high[axis] * 0.5;
      sum[axis] += centre;
      squares[axis] += centre * centre;
      size[axis] += object->high[axis] - object->low[axis];
    }
    n += 1;
  }
  int best = 0;
  double bestScore = -1;
  for (int axis = 0; axis < 3 && n > 0; ++axis) {
    const double mean = sum[axis] / n, meanSize = size[axis] / n;
    const double spread = std::sqrt(std::max(0.0, squares[axis] / n - mean * mean));
    const double score = spread / (meanSize + 1e-300);
    if (score > bestScore) {
      bestScore = score;
      best = axis;
    }
  }
  return best;
}

void OpenInSweep(std::vector<CollisionObject*>& open, CollisionObject* object) {
  object->activeIndex = static_cast<int32_t>(open.size());
  open.push_back(object);
}

void CloseInSweep(std::vector<CollisionObject*>& open, CollisionObject* object) {
  CollisionObject* last = open.back();
  open[static_cast<size_t>(object->activeIndex)] = last;
  last->activeIndex = object->activeIndex;
  open.pop_back();
  object->activeIndex = -1;
}

void NotePairInSweep(CollisionObject* a, CollisionObject* b) {
  if (PlacedBoxesOverlap(a, b)) FindOrAddPair(a, b).sweepMark = bp.sweepMark;
}

// Puts objects into the lists at their places in one merge per axis, then finds their pairs in
// one sweep along an axis; pairs of theirs that no longer overlap go. The cost grows with the
// objects and the boxes met on the sweep axis, not with how far each object travelled.
void PlaceBatch(std::vector<CollisionObject*>& batch) {
  for (CollisionObject* object : batch) {
    PlaceBox(object);
    object->inBatch = true;
  }
  std::vector<Endpoint*> incoming;
  incoming.reserve(batch.size() * 2);
  for (int axis = 0; axis < 3; ++axis) {
    incoming.clear();
    for (CollisionObject* object : batch) {
      object->endpoints[axis].value = object->low[axis];
      object->endpoints[3 + axis].value = object->high[axis];
      incoming.push_back(&object->endpoints[axis]);
      incoming.push_back(&object->endpoints[3 + axis]);
    }
    std::sort(incoming.begin(), incoming.end(), SortsBefore);
    Endpoint* at = &bp.lower[axis];
    for (Endpoint* e : incoming) {
      while (at->next->owner && SortsBefore(at->next, e)) at = at->next;
      LinkAfter(e, at);
      at = e;
    }
  }
  for (CollisionObject* object : batch) object->inLists = true;
  bp.objectsInLists += batch.size();

  ++bp.sweepMark;
  std::vector<CollisionObject*> openPlaced, openStill;
  const int axis = SweepAxis();
  for (Endpoint* e = bp.lower[axis].next; e->owner; e = e->next) {
    CollisionObject* object = e->owner;
    std::vector<CollisionObject*>& own = object->inBatch ? openPlaced : openStill;
    if (e->kind == 1) {
      CloseInSweep(own, object);
      continue;
    }
    for (CollisionObject* other : openPlaced) NotePairInSweep(object, other);
    if (object->inBatch)
      for (CollisionObject* other : openStill) NotePairInSweep(object, other);
    OpenInSweep(own, object);
  }
  for (CollisionObject* object : batch) {
    for (size_t i = object->pairs.size(); i-- > 0;)
      if (i < object->pairs.size() && bp.pairs[object->pairs[i]].sweepMark != bp.sweepMark)
        RemovePair(object->pairs[i]);
    object->inBatch = false;
  }
}

void ForgetPendingMove(CollisionObject* object) {
  if (object->pendingIndex < 0) return;
  CollisionObject* last = bp.pending.back();
  bp.pending[static_cast<size_t>(object->pendingIndex)] = last;
  last->pendingIndex = object->pendingIndex;
  bp.pending.pop_back();
  object->pendingIndex = -1;
}

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
  }
  ++shape->objectCount;
  return object;
}

void DeleteObjectRecord(CollisionObject* object) {
  ForgetPendingMove(object);
  if (object->inLists) UnlinkObject(object);
  while (!object->pairs.empty()) RemovePair(object->pairs.back());
  --object->shape->objectCount;
}

void MoveObject(CollisionObject* object) {
  if (object->pendingIndex >= 0) return;
  object->pendingIndex = static_cast<int32_t>(bp.pending.size());
  bp.pending.push_back(object);
}

// Moves are settled in the order asked. Objects already in the lists slide to their places
// while that stays cheap; once the endpoints passed outnumber what re-placing everything would
// cost, the rest (and every object not yet in the lists) are placed as one batch.
void SettleMoves() {
  if (bp.pending.empty()) return;
  std::vector<CollisionObject*> moves;
  moves.swap(bp.pending);
  std::vector<CollisionObject*> batch;
  const size_t budget = 8 * (bp.objectsInLists + 64);
  size_t passed = 0;
  for (CollisionObject* object : moves) {
    object->pendingIndex = -1;
    if (object->inLists && passed <= budget) {
      passed += SlideObject(object);
      continue;
    }
    if (object->inLists) UnlinkObject(object);
    batch.push_back(object);
  }
  if (!batch.empty()) PlaceBatch(batch);
  moves.clear();
  if (bp.pending.empty()) bp.pending.swap(moves);  // keep the storage
}

void ClearBroadPhase() {
  LinkSentinels();
  bp.objectsInLists = 0;
  bp.pairs.Clear();
  bp.pending.clear();
}

std::vector<std::pair<uint32_t, uint32_t>> BroadPhasePairs() {
  SettleMoves();
  std::vector<std::pair<uint32_t, uint32_t>> keys;
  keys.reserve(bp.pairs.Live());
  for (uint32_t index = 0; index < bp.pairs.Capacity(); ++index) {
    const PairRecord& pair = bp.pairs[index];
    if (pair.first) keys.emplace_back(pair.first->key, pair.second->key);
  }
  std::sort(keys.begin(), keys.end());
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
  const uint64_t low = std::min(key.first, key.second), high = std::max(key.first, key.second);
  const uint32_t found = bp.pairs.Find(low << 32 | high);
  if (found == kNoPair) return false;  // separated or deleted by an earlier callback
  PairRecord& pair = bp.pairs[found];
  return TestObjectPair(pair.first, pair.second, pair.separating, response, tolerance);
}

}  // namespace coll
