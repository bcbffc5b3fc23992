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

// --- Shapes (mesh nodes build one per mesh; each returns a new shape owned by the caller) ---
CollShape* CollCreateBox(double x, double y, double z);     // full edge lengths
CollShape* CollCreateCone(double radius, double height);    // axis y, apex at +height/2
CollShape* CollCreateCylinder(double radius, double height);  // axis y
CollShape* CollCreateSphere(double radius);
// Starts a complex shape (or returns the one under construction).
CollShape* CollBeginComplex();
// Gives the complex shape under construction a vertex array of `count` points, not owned.
void CollSetVertexBase(const Vector3d* vertices, uint32_t count);
// Gives a finished complex shape a new vertex array (same indexing) and moves its objects;
// refused when the array has fewer points than the shape's polytopes index.
void CollChangeVertexBase(CollShape* shape, const Vector3d* vertices, uint32_t count);
void CollBeginPolytope(int32_t kind);
void CollAddVertex(double x, double y, double z);
void CollAddVertexIndex(uint32_t index);
void CollEndPolytope();
void CollAddPolytope(int32_t kind, int32_t count, const uint32_t* indices);
void CollAddPolytopeRange(int32_t kind, uint32_t first, int32_t count);
void CollEndComplex();
// Mesh nodes, after deleting the objects that use the shape.
void CollDeleteShape(CollShape* shape);

// --- Objects and transforms (mesh nodes; the transform calls act on the current object) ---
// Makes an object for the key (an earlier object under the key is deleted first) and makes it
// current; false when the shape is null or memory ran out.
bool CollCreateObject(uint32_t key, CollShape* shape);
void CollSelectObject(uint32_t key);
void CollDeleteObject(uint32_t key);
void CollSetObjectMatrix(const float* matrix16);  // Matrix4 layout: row vectors, D3D order
void CollSetObjectMatrixDouble(const double* matrix16);
void CollMultObjectMatrix(const float* matrix16);  // current = current o matrix
void CollMultObjectMatrixDouble(const double* matrix16);
void CollTranslateObject(double x, double y, double z);
void CollRotateObject(double x, double y, double z, double w);  // quaternion
void CollScaleObject(double x, double y, double z);
void CollResetObjectTransform();

// --- Responses (the engine's runtime reset sets the default) ---
void CollSetDefaultResponse(CollisionCallback callback, int32_t kind, uintptr_t clientData);
void CollClearDefaultResponse();
void CollSetObjectResponse(uint32_t key, CollisionCallback callback, int32_t kind,
                           uintptr_t clientData);
void CollClearObjectResponse(uint32_t key);
void CollDropObjectResponse(uint32_t key);
void CollSetPairResponse(uint32_t key1, uint32_t key2, CollisionCallback callback, int32_t kind,
                         uintptr_t clientData);
void CollClearPairResponse(uint32_t key1, uint32_t key2);
void CollDropPairResponse(uint32_t key1, uint32_t key2);

// --- Test pass and settings (the engine's per-frame collision pass) ---
// Tests the pairs and calls their responses; returns how many pairs fired.
int32_t CollTestAllPairs();
void CollClearPairListFlag();
void CollSetPairListFlag();
void CollProceed();  // commits every transform and vertex array
void CollSetTolerance(double tolerance);
