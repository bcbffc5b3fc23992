// The flat Coll* entry points over the library's one process-wide state: the complex shape
// under construction, the object map, the responses and the test pass.
#include <cmath>
#include <cstdio>
#include <map>
#include <new>

#include "models/collision/collision_local.h"

using namespace coll;

namespace {

// The complex shape under construction and its buffers; emptied by CollEndComplex (the
// polytopes and, when used, the points) and by CollReset.
struct BuilderState {
  Complex* current = nullptr;
  std::vector<Vector3d> points;     // filled by CollAddVertex
  std::vector<uint32_t> indices;    // filled by CollAddVertex and CollAddVertexIndex
  int32_t polytopeKind = kCollSimplex;
  std::vector<Polytope*> leaves;    // polytopes of the current shape, in the order made
};

// Objects, responses and settings; they live for the process, and CollReset empties them.
struct WorldState {
  std::vector<Complex*> complexes;  // every finished complex shape, in the order finished
  std::map<uint32_t, CollisionObject*> objects;
  CollisionObject* current = nullptr;
  CollisionResponse defaultResponse;
  std::map<uint32_t, CollisionResponse> keyResponses;
  std::map<std::pair<uint32_t, uint32_t>, CollisionResponse> pairResponses;  // smaller key first
  bool pairListFlag = true;
  double tolerance = 1e-6;
  int passDepth = 0;                          // > 0 while CollTestAllPairs runs
  std::vector<CollisionObject*> graveyard;    // deleted by a callback; freed after the pass
};

BuilderState builder;
WorldState world;
CollHost host{};  // set once by CollInit

void LogRefusal(const char* format, unsigned long long a, unsigned long long b) {
  if (!host.Log) return;
  char line[160];
  std::snprintf(line, sizeof line, format, a, b);
  host.Log(line);
}

void UpdateCurrentObject() {
  if (!world.pairListFlag || !world.current) return;
  MoveObject(world.current);
  // Inside a pass the move shows at once, as the pairs still to be tested may depend on it.
  if (world.passDepth > 0) SettleMoves();
}

void FreeObject(CollisionObject* object) {
  DeleteObjectRecord(object);
  if (world.passDepth > 0) {
    object->dead = true;
    world.graveyard.push_back(object);
  } else {
    delete object;
  }
}

void DropKeyResponses(uint32_t key) {
  world.keyResponses.erase(key);
  std::erase_if(world.pairResponses, [key](const auto& entry) {
    return entry.first.first == key || entry.first.second == key;
  });
}

// The object under the key leaves the map and the broad phase; its responses go too.
void DeleteObjectUnderKey(uint32_t key) {
  auto it = world.objects.find(key);
  if (it != world.objects.end()) {
    if (world.current == it->second) world.current = nullptr;
    FreeObject(it->second);
    world.objects.erase(it);
  }
  DropKeyResponses(key);
}

std::pair<uint32_t, uint32_t> OrderedKeys(uint32_t a, uint32_t b) {
  return a < b ? std::pair{a, b} : std::pair{b, a};
}

const CollisionResponse& LookUpResponse(uint32_t k1, uint32_t k2) {
  if (!world.pairResponses.empty()) {
    auto it = world.pairResponses.find(OrderedKeys(k1, k2));
    if (it != world.pairResponses.end()) return it->second;
  }
  if (!world.keyResponses.empty()) {
    auto it = world.keyResponses.find(k1);
    if (it != world.keyResponses.end()) return it->second;
    it = world.keyResponses.find(k2);
    if (it != world.keyResponses.end()) return it->second;
  }
  return world.defaultResponse;
}

// How many points the polytopes of the current shape may index right now.
uint32_t AvailableVertexCount() {
  if (builder.current->Vertices()) return builder.current->VertexCount();
  return static_cast<uint32_t>(builder.points.size());
}

}  // namespace

void CollInit(const CollHost* hostCallbacks) { host = hostCallbacks ? *hostCallbacks : CollHost{}; }

void CollReset() {
  for (auto& [key, object] : world.objects) {
    --object->shape->objectCount;
    delete object;
  }
  for (CollisionObject* object : world.graveyard) delete object;
  ClearBroadPhase();
  for (Polytope* polytope : builder.leaves) delete polytope;
  delete builder.current;
  builder = BuilderState{};
  world = WorldState{};
}

// ---------------------------------------------------------------------------------------------
// Shapes

// A size is a magnitude: a negative one (a mirrored model's measurements) makes the same
// shape as its positive value, never a box turned inside out.
CollShape* CollCreateBox(double x, double y, double z) {
  return new (std::nothrow) Box({std::fabs(x) * 0.5, std::fabs(y) * 0.5, std::fabs(z) * 0.5});
}
CollShape* CollCreateCone(double radius, double height) {
  return new (std::nothrow) Cone(std::fabs(radius), std::fabs(height));
}
CollShape* CollCreateCylinder(double radius, double height) {
  return new (std::nothrow) Cylinder(std::fabs(radius), std::fabs(height));
}
CollShape* CollCreateSphere(double radius) { return new (std::nothrow) Sphere(std::fabs(radius)); }

CollShape* CollBeginComplex() {
  if (!builder.current) builder.current = new (std::nothrow) Complex;
  return builder.current;
}

void CollSetVertexBase(const Vector3d* vertices, uint32_t count) {
  if (builder.current) builder.current->SetVertices(vertices, vertices ? count : 0, false);
}

void CollChangeVertexBase(CollShape* shape, const Vector3d* vertices, uint32_t count) {
  if (!shape || shape->ShapeKind() != kShapeComplex) return;
  auto* complex = static_cast<Complex*>(shape);
  if (!vertices || count < complex->NeededVertexCount()) {
    LogRefusal("collision: new vertex array of %llu points, the shape indexes %llu", vertices ? count : 0,
               complex->NeededVertexCount());
    return;
  }
  complex->SetVertices(vertices, count, false);
  complex->Refit();
  if (shape->objectCount == 0) return;
  for (auto& [key, object] : world.objects)
    if (object->shape == shape) MoveObject(object);
  if (world.passDepth > 0) SettleMoves();
}

void CollBeginPolytope(int32_t kind) { builder.polytopeKind = kind; }

void CollAddVertex(double x, double y, double z) {
  const Vector3d point{x, y, z};
  size_t n = builder.points.size();
  size_t window = n < 20 ? n : 20;
  for (size_t i = n; i > n - window; --i) {
    if (PointsEqual(builder.points[i - 1], point)) {
      builder.indices.push_back(static_cast<uint32_t>(i - 1));
      return;
    }
  }
  builder.points.push_back(point);
  builder.indices.push_back(static_cast<uint32_t>(n));
}

void CollAddVertexIndex(uint32_t index) { builder.indices.push_back(index); }

void CollEndPolytope() {
  CollAddPolytope(builder.polytopeKind, static_cast<int32_t>(builder.indices.size()),
                  builder.indices.data());
  builder.indices.clear();
}

void CollAddPolytope(int32_t kind, int32_t count, const uint32_t* indices) {
  if (!builder.current || kind < kCollSimplex || kind > kCollPolyhedron) return;
  if (count <= 0 || !indices) return;  // a polytope of no points has no support
  uint32_t available = AvailableVertexCount();
  for (int32_t i = 0; i < count; ++i) {
    if (indices[i] >= available) {
      LogRefusal("collision: polytope index %llu beyond %llu points", indices[i], available);
      return;
    }
  }
  const Vector3d* const* field = builder.current->VertexField();
  uint32_t n = static_cast<uint32_t>(count);
  Polytope* polytope = nullptr;
  if (kind == kCollSimplex) polytope = new (std::nothrow) Simplex(field, indices, n);
  if (kind == kCollPolygon) polytope = new (std::nothrow) Polygon(field, indices, n);
  if (kind == kCollPolyhedron) polytope = new (std::nothrow) Polyhedron(field, indices, n);
  if (polytope) builder.leaves.push_back(polytope);
}

void CollAddPolytopeRange(int32_t kind, uint32_t first, int32_t count) {
  if (!builder.current || count <= 0) return;
  uint64_t end = static_cast<uint64_t>(first) + static_cast<uint64_t>(count);
  if (end > AvailableVertexCount()) {
    LogRefusal("collision: polytope range ends at %llu beyond %llu points", end,
               AvailableVertexCount());
    return;
  }
  std::vector<uint32_t> indices(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) indices[i] = first + static_cast<uint32_t>(i);
  CollAddPolytope(kind, count, indices.data());
}

void CollEndComplex() {
  Complex* complex = builder.current;
  if (!complex) return;
  if (!complex->Vertices()) {
    auto* copy = new (std::nothrow) Vector3d[builder.points.size()];
    if (copy) {
      std::copy(builder.points.begin(), builder.points.end(), copy);
      complex->SetVertices(copy, static_cast<uint32_t>(builder.points.size()), true);
    }
    builder.points.clear();
  }
  // A vertex array given after the polytopes may be shorter than they need: such polytopes
  // are dropped rather than read past the array.
  uint32_t count = complex->VertexCount();
  std::erase_if(builder.leaves, [count](Polytope* polytope) {
    for (uint32_t i = 0; i < polytope->Count(); ++i)
      if (polytope->Index(i) >= count) {
        LogRefusal("collision: polytope index %llu beyond %llu points", polytope->Index(i), count);
        delete polytope;
        return true;
      }
    return false;
  });
  complex->Finish(builder.leaves);
  world.complexes.push_back(complex);
  builder.current = nullptr;
}

void CollDeleteShape(CollShape* shape) {
  if (!shape) return;
  if (shape->ShapeKind() == kShapeComplex) {
    std::erase(world.complexes, static_cast<Complex*>(shape));
    if (shape == builder.current) {
      for (Polytope* polytope : builder.leaves) delete polytope;
      builder.leaves.clear();
      builder.current = nullptr;
    }
  }
  // Objects still using the shape go with it, so none is left pointing at freed memory.
  if (shape->objectCount > 0) {
    std::vector<uint32_t> users;
    for (auto& [key, object] : world.objects)
      if (object->shape == shape) users.push_back(key);
    for (uint32_t key : users) DeleteObjectUnderKey(key);
  }
  delete shape;
}

// ---------------------------------------------------------------------------------------------
// Objects and transforms

bool CollCreateObject(uint32_t key, CollShape* shape) {
  if (!shape) return false;
  UpdateCurrentObject();
  // A key in use: the earlier object goes completely, so nothing keeps pointing at it.
  if (world.objects.count(key)) DeleteObjectUnderKey(key);
  CollisionObject* object = CreateObjectRecord(key, shape);
  world.objects[key] = object;
  world.current = object;
  return true;
}

void CollSelectObject(uint32_t key) {
  auto it = world.objects.find(key);
  if (it == world.objects.end()) return;
  UpdateCurrentObject();
  world.current = it->second;
}

void CollDeleteObject(uint32_t key) { DeleteObjectUnderKey(key); }

void CollSetObjectMatrix(const float* matrix16) {
  if (world.current && matrix16) world.current->transform = TransformFromMatrix(matrix16);
}
void CollSetObjectMatrixDouble(const double* matrix16) {
  if (world.current && matrix16) world.current->transform = TransformFromMatrix(matrix16);
}
void CollMultObjectMatrix(const float* matrix16) {
  if (world.current && matrix16)
    TransformMultiply(world.current->transform, TransformFromMatrix(matrix16));
}
void CollMultObjectMatrixDouble(const double* matrix16) {
  if (world.current && matrix16)
    TransformMultiply(world.current->transform, TransformFromMatrix(matrix16));
}
void CollTranslateObject(double x, double y, double z) {
  if (world.current) TransformTranslate(world.current->transform, {x, y, z});
}
void CollRotateObject(double x, double y, double z, double w) {
  if (world.current) TransformRotate(world.current->transform, x, y, z, w);
}
void CollScaleObject(double x, double y, double z) {
  if (world.current) TransformScale(world.current->transform, {x, y, z});
}
void CollResetObjectTransform() {
  if (world.current) world.current->transform = Transform3d{};
}

// ---------------------------------------------------------------------------------------------
// Responses

void CollSetDefaultResponse(CollisionCallback callback, int32_t kind, uintptr_t clientData) {
  world.defaultResponse = {callback, kind, clientData};
}
void CollClearDefaultResponse() { world.defaultResponse = {}; }
void CollSetObjectResponse(uint32_t key, CollisionCallback callback, int32_t kind,
                           uintptr_t clientData) {
  world.keyResponses[key] = {callback, kind, clientData};
}
void CollClearObjectResponse(uint32_t key) { world.keyResponses[key] = {}; }
void CollDropObjectResponse(uint32_t key) { world.keyResponses.erase(key); }
void CollSetPairResponse(uint32_t key1, uint32_t key2, CollisionCallback callback, int32_t kind,
                         uintptr_t clientData) {
  world.pairResponses[OrderedKeys(key1, key2)] = {callback, kind, clientData};
}
void CollClearPairResponse(uint32_t key1, uint32_t key2) {
  world.pairResponses[OrderedKeys(key1, key2)] = {};
}
void CollDropPairResponse(uint32_t key1, uint32_t key2) {
  world.pairResponses.erase(OrderedKeys(key1, key2));
}

// ---------------------------------------------------------------------------------------------
// Test pass and settings

int32_t CollTestAllPairs() {
  int32_t count = 0;
  UpdateCurrentObject();
  ++world.passDepth;
  if (world.pairListFlag) {
    // Keys, not records: a callback may move or delete objects and so change the set.
    for (const auto& key : BroadPhasePairs()) {
      const CollisionResponse& response = LookUpResponse(key.first, key.second);
      if (response.kind == kCollResponseNone) continue;
      CollisionResponse copy = response;  // a callback may change the response tables
      if (TestBroadPhasePair(key, copy, world.tolerance)) ++count;
    }
  } else {
    std::vector<CollisionObject*> objects;
    objects.reserve(world.objects.size());
    for (auto& [key, object] : world.objects) objects.push_back(object);
    for (size_t i = 0; i < objects.size(); ++i) {
      for (size_t j = 0; j < i; ++j) {
        CollisionObject* first = objects[i];
        CollisionObject* second = objects[j];
        if (first->dead || second->dead) continue;
        if (!ObjectComesFirst(first, second)) std::swap(first, second);
        CollisionResponse response = LookUpResponse(first->key, second->key);
        if (response.kind == kCollResponseNone) continue;
        Vector3d fresh{0, 0, 0};
        if (TestObjectPair(first, second, fresh, response, world.tolerance)) ++count;
      }
    }
  }
  if (--world.passDepth == 0) {
    for (CollisionObject* object : world.graveyard) delete object;
    world.graveyard.clear();
  }
  return count;
}

void CollClearPairListFlag() { world.pairListFlag = false; }

void CollSetPairListFlag() {
  for (auto& [key, object] : world.objects) MoveObject(object);
  if (world.passDepth > 0) SettleMoves();
  world.pairListFlag = true;
}

void CollProceed() {
  for (Complex* complex : world.complexes) complex->Commit();
  for (auto& [key, object] : world.objects) object->committed = object->transform;
}

void CollSetTolerance(double tolerance) { world.tolerance = tolerance; }
