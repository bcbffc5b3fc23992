// Object collision: the collision library's set-up, the per-frame pass that moves every
// collision-enabled object's meshes, the pair tests run when a result is read, and the object
// collision commands.
#include "engine3d/engine3d_local.h"
#include "models/models.h"
#include "runtime/command_numbers.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// The pass of a sync places the meshes; its pair tests wait until something reads a result
// (or the library's objects are about to change), so frames nobody asks about cost no tests.
// Reset with the scene.
struct CollisionPassState {
  bool testsDue = false;                              // meshes placed, pairs not tested yet
  std::vector<std::pair<uint32_t, uint32_t>> contacts;  // pairs in contact in the running test
};
CollisionPassState g_pass;

// Lines the collision library writes about input it refused go to the error log.
void LogCollisionLine(const char* line) { LogErrorEntry("ENGINEERROR", line); }

// A contact of two meshes: the owners are the object numbers the mesh keys were made for.
void RecordHit(int32_t number, int32_t other) {
  const int32_t slot = ObjectSlotForNumber(number);
  if (slot < 0) return;
  ObjectRecord* object = ObjectAt(slot);
  if (object->collisionOn != 1) return;
  object->hitObject = other;
  object->lastHit = other;
  if (object->askedObject == other) object->hitFlag = 1;
}

// The library reports each pair in contact; they are taken in hand after the test.
void OnCollisionPair(uintptr_t, uint32_t key1, uint32_t key2, const CollisionData*) {
  g_pass.contacts.emplace_back(key1, key2);
}

void RecordContact(uint32_t key1, uint32_t key2) {
  const int32_t first = ModelCollisionOwner(key1), second = ModelCollisionOwner(key2);
  // Two meshes of one object, or a key no mesh holds any longer, are no hit.
  if (first == second || first == 0 || second == 0) return;
  const int32_t firstSlot = ObjectSlotForNumber(first), secondSlot = ObjectSlotForNumber(second);
  if (firstSlot < 0 || secondSlot < 0) return;
  if (ObjectAt(firstSlot)->collisionOn != 1 || ObjectAt(secondSlot)->collisionOn != 1) return;
  RecordHit(first, second);
  RecordHit(second, first);
}

// The object operand of a command that changes collision shapes; the results of the last
// pass are settled first. -1 after the number's error.
int32_t ObjectForShapeChange() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  const int32_t slot = ExistingObject(number);
  if (slot >= 0) RunDueCollisionTests();
  return slot;
}

template <bool On>
void CmdSetObjectCollision() {
  const int32_t slot = ObjectForShapeChange();
  if (slot < 0) return;
  ObjectRecord* object = ObjectAt(slot);
  if ((object->collisionOn == 1) == On) return;
  object->collisionOn = On ? 1 : 0;
  object->hitObject = 0;
  object->hitFlag = 0;
  if (On)
    BuildObjectCollision(slot);
  else if (object->model != nullptr)
    object->model->RemoveModelCollision(object->number);
  MarkObjectCollisionChanged(slot);
}

// Each mesh of the object collides from now on as a sphere or a box about its own centre, or
// with its own triangles; the shapes are made again at once (an object with collision off
// gets them when it is switched on).
template <int32_t Kind>
void CmdSetObjectCollisionTo() {
  const int32_t slot = ObjectForShapeChange();
  if (slot < 0) return;
  ObjectRecord* object = ObjectAt(slot);
  object->shapeKind = Kind;
  object->boxCollision = 0;
  object->collisionSize[0] = object->collisionSize[1] = object->collisionSize[2] = 0;
  object->hitObject = 0;
  object->hitFlag = 0;
  if (object->model != nullptr) object->model->RemoveModelCollision(object->number);
  BuildObjectCollision(slot);
  MarkObjectCollisionChanged(slot);
}

void CmdObjectHit() {
  RunDueCollisionTests();
  const int32_t slot = ExistingObject(IntOperand(1));
  if (slot >= 0) WriteIntResult(ObjectAt(slot)->hitObject);
  AdvanceOperands(2);
}

// Whether the object touched the other one in the last pass (other 0: any object). Asking
// also names the other object for the next passes, which then raise the hit flag for it
// even when the object touched a further one after it.
void CmdObjectCollision() {
  RunDueCollisionTests();
  const int32_t number = IntOperand(1), other = IntOperand(2);
  const int32_t slot = ExistingObject(number);
  if (slot >= 0 && (other == 0 || ExistingObject(other) >= 0)) {
    ObjectRecord* object = ObjectAt(slot);
    if (other == 0)
      WriteIntResult(object->hitObject != 0 ? 1 : 0);
    else
      WriteIntResult(object->hitObject == other || (object->hitFlag == 1 && object->askedObject == other) ? 1 : 0);
    object->askedObject = other;
  }
  AdvanceOperands(3);
}

const CommandEntry kCollisionCommands[] = {
    {kSetObjectCollisionOn, CmdSetObjectCollision<true>},
    {kSetObjectCollisionOff, CmdSetObjectCollision<false>},
    {kSetObjectCollisionToSpheres, CmdSetObjectCollisionTo<51>},
    {kSetObjectCollisionToBoxes, CmdSetObjectCollisionTo<52>},
    {kSetObjectCollisionToPolygons, CmdSetObjectCollisionTo<99>},
    {kObjectHit, CmdObjectHit},
    {kObjectCollision, CmdObjectCollision},
};

}  // namespace

void ConnectCollision() {
  CollHost host{};
  host.Log = LogCollisionLine;
  CollInit(&host);
}

void ResetCollision3D() {
  g_pass = CollisionPassState{};
  CollSetPairListFlag();
  CollSetDefaultResponse(OnCollisionPair, kCollResponseSimple, 0);
}

void BuildObjectCollision(int32_t slot) {
  RunDueCollisionTests();
  ObjectRecord* object = ObjectAt(slot);
  if (object->model == nullptr || object->collisionOn != 1) return;
  object->model->BuildModelCollision(object->number, object->shapeKind, object->collisionSize[0],
                                     object->collisionSize[1], object->collisionSize[2]);
  // Hidden limbs, and limbs whose collision was switched off, stay out of every collision.
  object = ObjectAt(slot);
  for (int32_t limb = 0; limb < object->limbCount && limb < object->limbCapacity; ++limb) {
    const LimbRecord& l = object->limbs[limb];
    if (l.exists == 1 && (l.visible != 1 || l.collisionOff == 1)) object->model->RemoveModelMeshCollision(limb);
  }
}

void RunCollisionPass() {
  bool everyObject = false;
  if (!TakeCollisionDirty(&everyObject)) return;
  // Tests still due from an earlier sync were never read: this pass replaces them.
  // The model walk starts from the device's world transform (identity unless the object is
  // glued), so each mesh gets its frames' world matrix; the render sets its own again.
  Matrix4 saved, world;
  Dev().GetTransform(Device3dTransform::kWorld, saved.m);
  RecordPool* pool = ObjectPool();
  for (int32_t slot = pool->usedHead; slot >= 0; slot = ObjectAt(slot)->links.next) {
    ObjectRecord* object = ObjectAt(slot);
    if (object->collisionOn != 1 || object->model == nullptr) continue;
    // Only what moved is placed again; a glued object moves with what it is glued to.
    if (!everyObject && object->collisionMoved == 0 && object->gluedObject == 0) continue;
    object->collisionMoved = 0;
    // Glued objects collide where they are drawn. Copies share their source's model: its root
    // frame is set to this object's place first, and only this object's collision objects move.
    GluedWorldTransform(slot, world);
    UpdateObjectTransform(slot);
    Dev().SetTransform(Device3dTransform::kWorld, world.m);
    ObjectAt(slot)->model->UpdateModelCollisionTransforms(Dev(), ObjectAt(slot)->number);
  }
  Dev().SetTransform(Device3dTransform::kWorld, saved.m);
  g_pass.testsDue = true;
}

void RunDueCollisionTests() {
  if (!g_pass.testsDue) return;
  g_pass.testsDue = false;
  RecordPool* pool = ObjectPool();
  for (int32_t slot = pool->usedHead; slot >= 0; slot = ObjectAt(slot)->links.next) {
    ObjectAt(slot)->hitObject = 0;
    ObjectAt(slot)->hitFlag = 0;
  }
  // The broad phase hands over only pairs whose boxes overlap, in its own order; the hits are
  // recorded in the order of a walk over every pair (each key after the smaller ones), so an
  // object touching several others names the same one as such a walk would.
  g_pass.contacts.clear();
  CollTestAllPairs();
  for (auto& contact : g_pass.contacts)
    if (contact.first < contact.second) std::swap(contact.first, contact.second);
  std::sort(g_pass.contacts.begin(), g_pass.contacts.end());
  for (const auto& [key1, key2] : g_pass.contacts) RecordContact(key1, key2);
}

void DropDueCollisionTests() { g_pass.testsDue = false; }

CommandTableView CollisionCommandTable() { return {kCollisionCommands, std::size(kCollisionCommands)}; }
