// The collision library's public interface: shapes, objects, responses and the test pass.
// Stand-alone: computes in doubles over one process-wide state, driven only through Coll* calls.
#pragma once

#include <cstdint>

// A point or direction in double precision; also the element type of a complex shape's vertex
// array, which mesh nodes fill from their vertex positions.
struct Vector3d {
  double x = 0, y = 0, z = 0;
  double& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

namespace coll {
class Shape;  // every shape the Coll* calls make; clients hold it only as a handle
}
using CollShape = coll::Shape;

// What a callback receives for response kinds 2 and 3: point 1 in the first object's shape
// coordinates, point 2 in the second's, and for kind 2 the world vector between them.
// One record for the whole library, overwritten for every callback.
struct CollisionData {
  Vector3d point1;
  Vector3d point2;
  Vector3d vector;
};

// Called for every pair in contact: (client data, first key, second key, contact data or null
// for kind 1). Client data is pointer-sized so a host can pass an address through it.
using CollisionCallback = void (*)(uintptr_t clientData, uint32_t key1, uint32_t key2,
                                   const CollisionData* data);

// Response kinds.
enum : int32_t {
  kCollResponseNone = 0,          // the pair is not tested
  kCollResponseSimple = 1,        // intersection test, no contact data
  kCollResponseClosestPoints = 2, // closest points under the committed transforms
  kCollResponseCommonPoint = 3,   // a point inside both shapes
};

// Polytope kinds for CollBeginPolytope / CollAddPolytope.
enum : int32_t {
  kCollSimplex = 0,     // a few points (triangles from meshes)
  kCollPolygon = 1,     // a planar convex ring, vertices in ring order
  kCollPolyhedron = 2,  // a convex point cloud
};

struct CollisionResponse {
  CollisionCallback callback = nullptr;
  int32_t kind = 0;
  uintptr_t clientData = 0;
};

// What the library needs from its host; every member may be null.
struct CollHost {
  void (*Log)(const char* line);  // one line of diagnostics (bad input that was refused)
};

// main.cpp, once at start-up: hands the library its host callbacks (copied).
void CollInit(const CollHost* host);
// Tests and shut-down: deletes every object, response, pair and buffer and the complex shape
// under construction, and restores the initial settings. Finished shapes stay the caller's.
void CollReset();

// --- Shapes: mesh nodes build one per mesh; each returns a new shape owned by the caller, or
// null when memory ran out.
CollShape* CollCreateBox(double x, double y, double z);       // full edge lengths
CollShape* CollCreateCone(double radius, double height);      // axis y, apex at +height/2
CollShape* CollCreateCylinder(double radius, double height);  // axis y
CollShape* CollCreateSphere(double radius);
// Mesh nodes, to start a mesh shape: a new complex shape, or the one under construction.
CollShape* CollBeginComplex();
// Mesh nodes, before their polytopes: the shape's vertex array of `count` points, not owned.
void CollSetVertexBase(const Vector3d* vertices, uint32_t count);
// Mesh nodes whose vertices moved: a new array for a finished complex shape (same indexing);
// refits its tree and moves its objects. Refused when the array has fewer points than the
// shape's polytopes index.
void CollChangeVertexBase(CollShape* shape, const Vector3d* vertices, uint32_t count);
// Builders that collect points: the kind (kCollSimplex...) of the next CollEndPolytope.
void CollBeginPolytope(int32_t kind);
// Builders without a vertex array: adds a point (reusing an equal one among the last 20).
void CollAddVertex(double x, double y, double z);
// Builders: appends an index to the next polytope.
void CollAddVertexIndex(uint32_t index);
// Builders: makes a polytope of the collected indices.
void CollEndPolytope();
// Mesh nodes, once per triangle: a polytope over the shape's vertex array; indices beyond the
// points known so far are refused.
void CollAddPolytope(int32_t kind, int32_t count, const uint32_t* indices);
// Builders: a polytope of the indices first .. first + count - 1.
void CollAddPolytopeRange(int32_t kind, uint32_t first, int32_t count);
// Mesh nodes, after the polytopes: builds the box tree; the shape is then ready for objects.
void CollEndComplex();
// Mesh nodes, when dropping their collision: deletes the shape and any object still using it.
void CollDeleteShape(CollShape* shape);

// --- Objects and transforms (mesh nodes; the transform calls act on the current object) ---
// Makes an object for the key (an earlier object under the key is deleted first, with its
// responses) and makes it current; false when the shape is null.
bool CollCreateObject(uint32_t key, CollShape* shape);
// Before setting an object's matrix: makes the key's object current.
void CollSelectObject(uint32_t key);
// Drops the key's object (if any) and every response naming the key.
void CollDeleteObject(uint32_t key);
// The current object's world matrix: Matrix4 layout, 16 floats, row vectors.
void CollSetObjectMatrix(const float* matrix16);
void CollSetObjectMatrixDouble(const double* matrix16);
// current = current o matrix (the matrix is applied first).
void CollMultObjectMatrix(const float* matrix16);
void CollMultObjectMatrixDouble(const double* matrix16);
void CollTranslateObject(double x, double y, double z);         // in the object's own axes
void CollRotateObject(double x, double y, double z, double w);  // by a quaternion
void CollScaleObject(double x, double y, double z);
void CollResetObjectTransform();

// --- Responses: the engine's runtime reset sets the default; lookup is pair, then the first
// object's key, then the second's, then the default.
void CollSetDefaultResponse(CollisionCallback callback, int32_t kind, uintptr_t clientData);
void CollClearDefaultResponse();
void CollSetObjectResponse(uint32_t key, CollisionCallback callback, int32_t kind,
                           uintptr_t clientData);
void CollClearObjectResponse(uint32_t key);  // an entry of kind 0 that still overrides
void CollDropObjectResponse(uint32_t key);   // removes the entry
void CollSetPairResponse(uint32_t key1, uint32_t key2, CollisionCallback callback, int32_t kind,
                         uintptr_t clientData);
void CollClearPairResponse(uint32_t key1, uint32_t key2);
void CollDropPairResponse(uint32_t key1, uint32_t key2);

// --- Test pass and settings ---
// The engine's per-frame collision pass: tests the pairs and calls their responses; returns
// how many pairs fired. Callbacks may create, move and delete objects.
int32_t CollTestAllPairs();
// The engine's runtime reset: every pass tests every pair of objects, in key order.
void CollClearPairListFlag();
// Moves every object and keeps the overlapping-box pair set up to date from then on.
void CollSetPairListFlag();
// Commits every transform and vertex array (the state closest-point responses report).
void CollProceed();
// Relative error of the closest-point search (default 1e-6).
void CollSetTolerance(double tolerance);
