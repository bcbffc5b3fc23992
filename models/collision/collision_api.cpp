// The flat Coll* entry points over the library's one process-wide state.
// Placeholder bodies until the shapes, trees and broad phase land.
#include "models/collision/collision.h"

void CollInit(const CollHost*) {}
void CollReset() {}
CollShape* CollCreateBox(double, double, double) { return nullptr; }
CollShape* CollCreateCone(double, double) { return nullptr; }
CollShape* CollCreateCylinder(double, double) { return nullptr; }
CollShape* CollCreateSphere(double) { return nullptr; }
CollShape* CollBeginComplex() { return nullptr; }
void CollSetVertexBase(const Vector3d*, uint32_t) {}
void CollChangeVertexBase(CollShape*, const Vector3d*, uint32_t) {}
void CollBeginPolytope(int32_t) {}
void CollAddVertex(double, double, double) {}
void CollAddVertexIndex(uint32_t) {}
void CollEndPolytope() {}
void CollAddPolytope(int32_t, int32_t, const uint32_t*) {}
void CollAddPolytopeRange(int32_t, uint32_t, int32_t) {}
void CollEndComplex() {}
void CollDeleteShape(CollShape*) {}
bool CollCreateObject(uint32_t, CollShape*) { return false; }
void CollSelectObject(uint32_t) {}
void CollDeleteObject(uint32_t) {}
void CollSetObjectMatrix(const float*) {}
void CollSetObjectMatrixDouble(const double*) {}
void CollMultObjectMatrix(const float*) {}
void CollMultObjectMatrixDouble(const double*) {}
void CollTranslateObject(double, double, double) {}
void CollRotateObject(double, double, double, double) {}
void CollScaleObject(double, double, double) {}
void CollResetObjectTransform() {}
void CollSetDefaultResponse(CollisionCallback, int32_t, uintptr_t) {}
void CollClearDefaultResponse() {}
void CollSetObjectResponse(uint32_t, CollisionCallback, int32_t, uintptr_t) {}
void CollClearObjectResponse(uint32_t) {}
void CollDropObjectResponse(uint32_t) {}
void CollSetPairResponse(uint32_t, uint32_t, CollisionCallback, int32_t, uintptr_t) {}
void CollClearPairResponse(uint32_t, uint32_t) {}
void CollDropPairResponse(uint32_t, uint32_t) {}
int32_t CollTestAllPairs() { return 0; }
void CollClearPairListFlag() {}
void CollSetPairListFlag() {}
void CollProceed() {}
void CollSetTolerance(double) {}
