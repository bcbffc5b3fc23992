// Keyframe animation: the playing list of animated objects, the commands that play, loop,
// stop, position and query it, and the per-sync step that poses every listed object's limbs.
#include "engine3d/engine3d_local.h"
#include "graphics2d/graphics2d.h"
#include "models/models.h"
#include "runtime/command_numbers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

struct ListNode {
  ListNode* next;
  ListNode* prev;
  int32_t item;  // the object's slot
};

namespace {

// The playing list, in the order objects joined it; emptied at the end of a run.
ListNode* g_playingHead = nullptr;

struct Quaternion {
  float w, x, y, z;
};

AnimationTrack* FirstTrack(const ObjectRecord* object) {
  if (object->model == nullptr || object->model->Tracks() == nullptr) return nullptr;
  return object->model->Tracks()->first;
}

bool HasKeys(const AnimationTrack& track) {
  return track.rotationKeyCount > 0 || track.scaleKeyCount > 0 || track.positionKeyCount > 0;
}

// A track of the model's own frame (frame 0, named as the root is) holds the object's own
// keys: it moves and turns the object itself. A track whose frame the model lacks also has
// frame 0, under another name, and poses nothing.
bool OwnPoseTrack(const ObjectRecord* object, const AnimationTrack& track) {
  const ModelNode* root = object->model->Root();
  return track.frameId == 0 && root != nullptr && std::strcmp(track.frameName, root->name) == 0;
}

void AddToPlayingList(int32_t slot) {
  ListNode* node = new ListNode{nullptr, nullptr, slot};
  if (g_playingHead == nullptr) {
    g_playingHead = node;
  } else {
    ListNode* last = g_playingHead;
    while (last->next != nullptr) last = last->next;
    last->next = node;
    node->prev = last;
  }
  ObjectAt(slot)->playingNode = node;
}

bool InPlayingList(int32_t slot) {
  for (ListNode* node = g_playingHead; node != nullptr; node = node->next)
    if (node->item == slot) return true;
  return false;
}

Quaternion Slerp(const Quaternion& a, const Quaternion& b, float t) {
  double cosine = static_cast<double>(a.w) * b.w + static_cast<double>(a.x) * b.x +
                  static_cast<double>(a.y) * b.y + static_cast<double>(a.z) * b.z;
  double wa = 1.0 - t, wb = t;
  if (cosine < 0.9999 && cosine > -0.9999) {
    const double angle = std::acos(cosine), sine = std::sin(angle);
    wa = std::sin((1.0 - t) * angle) / sine;
    wb = std::sin(t * angle) / sine;
  }
  return Quaternion{static_cast<float>(wa * a.w + wb * b.w), static_cast<float>(wa * a.x + wb * b.x),
                    static_cast<float>(wa * a.y + wb * b.y), static_cast<float>(wa * a.z + wb * b.z)};
}

}  // namespace

// The rotation of a key quaternion (scalar first), in the keys' own convention: the
// transpose of the usual row-vector rotation.
void MatrixFromKeyQuaternion(Matrix4& out, float w, float x, float y, float z) {
  MatrixIdentity(out);
  out.m[0][0] = 1 - 2 * (y * y + z * z);
  out.m[0][1] = 2 * (x * y - w * z);
  out.m[0][2] = 2 * (x * z + w * y);
  out.m[1][0] = 2 * (x * y + w * z);
  out.m[1][1] = 1 - 2 * (x * x + z * z);
  out.m[1][2] = 2 * (y * z - w * x);
  out.m[2][0] = 2 * (x * z - w * y);
  out.m[2][1] = 2 * (y * z + w * x);
  out.m[2][2] = 1 - 2 * (x * x + y * y);
}

namespace {

// The pair of keys around frame f: int(time i) <= int(f) < int(time i+1). False when none
// (beyond the last key or before the first).
template <typename Key>
bool FindKeyPair(const Key* keys, uint32_t count, float f, uint32_t& i, float& a, float& b) {
  const float whole = std::trunc(f);
  for (i = 0; i + 1 < count; ++i) {
    a = std::trunc(keys[i].time);
    b = std::trunc(keys[i + 1].time);
    if (a <= whole && whole < b) return true;
  }
  return false;
}

Quaternion RotationAt(const AnimationTrack& track, float f) {
  const RotationKey* keys = track.rotationKeys;
  const uint32_t count = track.rotationKeyCount;
  if (count == 1) return Quaternion{keys[0].w, keys[0].x, keys[0].y, keys[0].z};
  uint32_t i;
  float a, b;
  if (!FindKeyPair(keys, count, f, i, a, b)) {
    const RotationKey& last = keys[count - 1];
    return Quaternion{last.w, last.x, last.y, last.z};
  }
  const float t = a != b ? (f - a) / (b - a) : 1.0f;
  return Slerp(Quaternion{keys[i].w, keys[i].x, keys[i].y, keys[i].z},
               Quaternion{keys[i + 1].w, keys[i + 1].x, keys[i + 1].y, keys[i + 1].z}, t);
}

Vector3 VectorAt(const VectorKey* keys, uint32_t count, float f) {
  if (count == 1 || std::trunc(f) < std::trunc(keys[0].time)) return Vector3{keys[0].x, keys[0].y, keys[0].z};
  uint32_t i;
  float a, b;
  if (!FindKeyPair(keys, count, f, i, a, b)) return Vector3{keys[count - 1].x, keys[count - 1].y, keys[count - 1].z};
  const float p = a != b ? 100.0f / (b - a) * (f - a) : 100.0f;
  const VectorKey &from = keys[i], &to = keys[i + 1];
  return Vector3{from.x + (to.x - from.x) * 0.01f * p, from.y + (to.y - from.y) * 0.01f * p,
                 from.z + (to.z - from.z) * 0.01f * p};
}

Vector3 Blend(const Vector3& a, const Vector3& b, float t) {
  return Vector3{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}

// The object's own keys place the object: position, turn and scale where the track keys
// them (the rest stays the object's). Placed again only when the frame moved or a blend runs,
// so a program may move an object whose animation has stopped.
void PlaceObjectByOwnKeys(int32_t slot, const AnimationTrack& track, const Matrix4& rotation, const Vector3& s,
                          const Vector3& p) {
  ObjectRecord* object = ObjectAt(slot);
  if (object->frame == object->ownPoseFrame && object->pending != 1) return;
  object->ownPoseFrame = object->frame;
  if (track.positionKeyCount > 0) {
    float* position = SpriteAt(object->entity)->position3D;
    position[0] = p.x;
    position[1] = p.y;
    position[2] = p.z;
  }
  if (track.scaleKeyCount > 0) {
    object->scale[0] = s.x;
    object->scale[1] = s.y;
    object->scale[2] = s.z;
  }
  MarkObjectMoved(slot);
  if (track.rotationKeyCount > 0)
    SetObjectTurn(slot, rotation);
  else
    UpdateObjectTransform(slot);
}

void InterpolateAnimation(int32_t slot) {
  ObjectRecord* object = ObjectAt(slot);
  const int32_t n = object->limbCount;
  if (n <= 0 || object->model == nullptr) return;
  // Pose slot l - 1 belongs to frame l. A frame no track with keys names keeps the matrix it
  // has (its FrameTransformMatrix): a file's keys of a kind this reader skips leave tracks
  // without keys, which must not undo the frame's own place.
  std::vector<Matrix4> poses(static_cast<size_t>(n));
  std::vector<bool> tracked(static_cast<size_t>(n), false);
  for (const AnimationTrack* track = FirstTrack(object); track != nullptr; track = track->next)
    if (track->frameId >= 1 && track->frameId <= n && HasKeys(*track)) tracked[track->frameId - 1] = true;
  for (int32_t limb = 1; limb <= n; ++limb) {
    MatrixIdentity(poses[limb - 1]);
    if (!tracked[limb - 1]) object->model->GetModelFrameMatrix(limb, poses[limb - 1]);
  }
  const bool transition = object->pending == 1;
  const bool starting = object->blendProgress == 0.0f;
  const float t = object->blendProgress + object->interpolation;
  int32_t i = 0;
  for (const AnimationTrack* track = FirstTrack(object); track != nullptr && i < n; track = track->next, ++i) {
    Matrix4 rotation, scale, move;
    MatrixIdentity(rotation);
    Vector3 s{1, 1, 1}, p{0, 0, 0};
    if (track->rotationKeyCount >= 1) {
      Quaternion q = RotationAt(*track, object->frame);
      if (transition && track->rotationKeyCount >= 2) {
        if (starting) {
          const Quaternion target = RotationAt(*track, object->targetFrame);
          const float start[4] = {q.w, q.x, q.y, q.z}, end[4] = {target.w, target.x, target.y, target.z};
          for (int k = 0; k < 4; ++k) {
            object->startRotation[i][k] = start[k];
            object->targetRotation[i][k] = end[k];
          }
        }
        const float* a = object->startRotation[i];
        const float* b = object->targetRotation[i];
        q = Slerp(Quaternion{a[0], a[1], a[2], a[3]}, Quaternion{b[0], b[1], b[2], b[3]}, t);
      }
      MatrixFromKeyQuaternion(rotation, q.w, q.x, q.y, q.z);
    }
    if (track->scaleKeyCount >= 1) {
      s = VectorAt(track->scaleKeys, track->scaleKeyCount, object->frame);
      if (transition && track->scaleKeyCount >= 2) {
        if (starting) {
          object->startScale[i] = s;
          object->targetScale[i] = VectorAt(track->scaleKeys, track->scaleKeyCount, object->targetFrame);
        }
        s = Blend(object->startScale[i], object->targetScale[i], t);
      }
    }
    if (track->positionKeyCount >= 1) {
      p = VectorAt(track->positionKeys, track->positionKeyCount, object->frame);
      if (transition && track->positionKeyCount >= 2) {
        if (starting) {
          object->startPosition[i] = p;
          object->targetPosition[i] = VectorAt(track->positionKeys, track->positionKeyCount, object->targetFrame);
        }
        p = Blend(object->startPosition[i], object->targetPosition[i], t);
      }
    }
    if (!HasKeys(*track)) continue;
    if (OwnPoseTrack(object, *track)) {
      PlaceObjectByOwnKeys(slot, *track, rotation, s, p);
      object = ObjectAt(slot);
      continue;
    }
    if (track->frameId < 1 || track->frameId > n) continue;  // a frame this model does not have
    Matrix4& pose = poses[track->frameId - 1];
    MatrixScaling(scale, s.x, s.y, s.z);
    MatrixTranslation(move, p.x, p.y, p.z);
    MatrixMultiply(pose, rotation, move);
    MatrixMultiply(pose, scale, pose);
  }
  object->model->ApplyModelFramePose(poses.data(), poses.size());
  // Copies share the model, so its pose moves their shapes too.
  if (ModelHolderCount(object->model) > 1)
    MarkCollisionDirty();
  else
    MarkObjectCollisionChanged(slot);
  if (object->pending == 1) {
    if (object->blendProgress == 0.0f) object->frame = object->targetFrame;
    object->blendProgress += object->interpolation;
    if (object->blendProgress + object->interpolation >= 1.0f) {
      object->blendProgress = 0.0f;
      object->pending = 0;
    }
  }
}

// The object of a command that needs animation: number checks, then a track list (7601).
int32_t AnimatedObject(int32_t number) {
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return -1;
  if (FirstTrack(ObjectAt(slot)) == nullptr) {
    RuntimeError(7601);
    return -1;
  }
  return slot;
}

void StartObjectAnimation(int32_t slot, int32_t looping) {
  ObjectRecord* object = ObjectAt(slot);
  object->playing = 1;
  object->looping = looping;
  object->pending = 0;
  object->ownPoseFrame = -1.0f;  // asked for: placed by its own keys at the next sync
  if (object->playingNode == nullptr) AddToPlayingList(slot);
  object = ObjectAt(slot);
  if (looping == 0) object->frame = 0.0f;
  object->startFrame = 0.0f;
  object->endFrame = object->totalFrames;
}

void CmdPlayObject() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  const int32_t slot = AnimatedObject(number);
  if (slot >= 0) StartObjectAnimation(slot, 0);
}

void CmdLoopObject() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  const int32_t slot = AnimatedObject(number);
  if (slot >= 0) StartObjectAnimation(slot, 1);
}

void CmdStopObject() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  const int32_t slot = AnimatedObject(number);
  if (slot >= 0) UnlinkPlayingObject(slot);
}

void CmdSetObjectFrame() {
  const int32_t number = IntOperand(0);
  const float frame = FloatOperand(1);
  AdvanceOperands(2);
  const int32_t slot = AnimatedObject(number);
  if (slot < 0) return;
  ObjectRecord* object = ObjectAt(slot);
  if (!(frame >= 0.0f && frame <= object->totalFrames)) return RuntimeError(7602);
  object->ownPoseFrame = -1.0f;  // also the frame it is at places it again
  if (object->looping == 1) {
    object->frame = frame;
  } else {
    object->pending = 1;
    object->blendProgress = 0.0f;
    object->targetFrame = frame;
  }
  if (!InPlayingList(slot)) AddToPlayingList(slot);
}

void CmdSetObjectSpeed() {
  const int32_t number = IntOperand(0), speed = IntOperand(1);
  AdvanceOperands(2);
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  if (speed < -100 || speed > 100) return RuntimeError(7603);
  ObjectAt(slot)->speed = static_cast<float>(speed) / 25.0f;
}

void CmdSetObjectInterpolation() {
  const int32_t number = IntOperand(0), percent = IntOperand(1);
  AdvanceOperands(2);
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  if (percent < 1 || percent > 100) return RuntimeError(7604);
  ObjectAt(slot)->interpolation = static_cast<float>(percent) / 100.0f;
}

// 7606, 7608, 7609, 7610: playing with a range; which ends come from the operands.
enum class RangeUse { kLoopRange, kPlayFrom, kPlayRange, kLoopFrom };
template <RangeUse Use>
void RangeCommand() {
  const bool two = Use == RangeUse::kLoopRange || Use == RangeUse::kPlayRange;
  const int32_t number = IntOperand(0), first = IntOperand(1), second = two ? IntOperand(2) : 0;
  AdvanceOperands(two ? 3 : 2);
  const int32_t slot = AnimatedObject(number);
  if (slot < 0) return;
  ObjectRecord* object = ObjectAt(slot);
  object->playing = 1;
  object->looping = Use == RangeUse::kLoopRange || Use == RangeUse::kLoopFrom ? 1 : 0;
  object->pending = 0;
  object->ownPoseFrame = -1.0f;
  object->startFrame = static_cast<float>(first);
  object->endFrame = two ? static_cast<float>(second) : object->totalFrames;
  if (Use == RangeUse::kPlayFrom || Use == RangeUse::kPlayRange) object->frame = static_cast<float>(first);
  if (object->playingNode == nullptr) AddToPlayingList(slot);
}

void CmdClearObjectAnimation() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  ObjectRecord* object = ObjectAt(slot);
  if (FirstTrack(object) == nullptr) return;
  UnlinkPlayingObject(slot);
  object = ObjectAt(slot);
  FreeTrackListChain(*object->model->Tracks());
  object->frame = object->startFrame = object->endFrame = object->totalFrames = 0.0f;
}

// A pose for keying: the matrix's translation and the key quaternion of its rotation (the
// usual quaternion of the inverse matrix).
void KeyPoseOfMatrix(const Matrix4& m, RotationKey& rotation, VectorKey& position) {
  Matrix4 inverse;
  position.x = m.m[3][0];
  position.y = m.m[3][1];
  position.z = m.m[3][2];
  MatrixIdentity(inverse);
  MatrixInverse(inverse, m);
  const auto& r = inverse.m;
  const float trace = r[0][0] + r[1][1] + r[2][2] + r[3][3];
  float w, x, y, z;
  if (trace >= 1.0f) {
    const float s = 2.0f * std::sqrt(trace);
    w = s / 4;
    x = (r[1][2] - r[2][1]) / s;
    y = (r[2][0] - r[0][2]) / s;
    z = (r[0][1] - r[1][0]) / s;
  } else if (r[0][0] >= r[1][1] && r[0][0] >= r[2][2]) {
    const float s = 2.0f * std::sqrt(1.0f + r[0][0] - r[1][1] - r[2][2]);
    w = (r[1][2] - r[2][1]) / s;
    x = s / 4;
    y = (r[0][1] + r[1][0]) / s;
    z = (r[2][0] + r[0][2]) / s;
  } else if (r[1][1] >= r[2][2]) {
    const float s = 2.0f * std::sqrt(1.0f + r[1][1] - r[0][0] - r[2][2]);
    w = (r[2][0] - r[0][2]) / s;
    x = (r[0][1] + r[1][0]) / s;
    y = s / 4;
    z = (r[1][2] + r[2][1]) / s;
  } else {
    const float s = 2.0f * std::sqrt(1.0f + r[2][2] - r[0][0] - r[1][1]);
    w = (r[0][1] - r[1][0]) / s;
    x = (r[2][0] + r[0][2]) / s;
    y = (r[1][2] + r[2][1]) / s;
    z = s / 4;
  }
  rotation = RotationKey{0, w, x, y, z};
}

// The pose a track keys: a limb's is its frame's matrix; the object's own is its place and
// turn as the program set them (its scale and limb 0's own offset left out).
void CurrentTrackPose(int32_t slot, const AnimationTrack& track, RotationKey& rotation, VectorKey& position) {
  const ObjectRecord* object = ObjectAt(slot);
  Matrix4 m;
  MatrixIdentity(m);
  if (OwnPoseTrack(object, track)) {
    ObjectRotation(slot, m);
    const float* at = SpriteAt(object->entity)->position3D;
    m.m[3][0] = at[0];
    m.m[3][1] = at[1];
    m.m[3][2] = at[2];
  } else {
    object->model->GetModelFrameMatrix(track.frameId, m);
  }
  KeyPoseOfMatrix(m, rotation, position);
}

// Puts a key at frame k into a key array: overwrites a key of that whole frame, else inserts
// it in time order. The array is replaced (keys arrays are new[] blocks).
template <typename Key>
void PutKey(Key*& keys, uint32_t& count, Key key, int32_t k) {
  for (uint32_t i = 0; i < count; ++i)
    if (TruncateFloat(keys[i].time) == k) {
      keys[i] = key;
      return;
    }
  uint32_t at = count;
  if (count == 0 || static_cast<float>(k) <= keys[count - 1].time)
    for (at = 0; at < count && TruncateFloat(keys[at].time) <= k; ++at) {
    }
  Key* grown = new Key[count + 1];
  for (uint32_t i = 0; i < at; ++i) grown[i] = keys[i];
  grown[at] = key;
  for (uint32_t i = at; i < count; ++i) grown[i + 1] = keys[i];
  delete[] keys;
  keys = grown;
  count += 1;
}

// Removes the first key of the whole frame k; a track without such a key keeps its keys.
template <typename Key>
void DropKey(Key* keys, uint32_t& count, int32_t k) {
  for (uint32_t i = 0; i < count; ++i) {
    if (TruncateFloat(keys[i].time) != k) continue;
    for (uint32_t j = i + 1; j < count; ++j) keys[j - 1] = keys[j];
    count -= 1;
    return;
  }
}

// A model without animation gets a track list to key into: one track per existing limb
// from 1 on (limb 0 is the frame the object's own position moves), each holding the limb's
// current pose as its one rotation and one position key at frame 0. An object with no such
// limb (a made shape) keys itself: one track of its own frame, holding its place and turn.
void BuildKeyTracksWhenMissing(int32_t slot) {
  ObjectRecord* object = ObjectAt(slot);
  if (object->model == nullptr || object->model->Root() == nullptr || FirstTrack(object) != nullptr) return;
  std::vector<int32_t> frames;
  for (int32_t limb = 1; limb < object->limbCount && limb < object->limbCapacity; ++limb)
    if (object->limbs[limb].exists == 1) frames.push_back(limb);
  if (frames.empty()) frames.push_back(0);
  AnimationTrackList* list = InitTrackListNode();
  for (int32_t frame : frames) {
    AnimationTrack* track = new AnimationTrack;
    char name[kModelNameSize] = {};
    if (object->model->GetModelFrameName(frame, name, sizeof name) == kModelOk) AnimTrackSetName(*track, name);
    AnimTrackSetFrame(*track, frame);
    RotationKey rotation;
    VectorKey position;
    CurrentTrackPose(slot, *track, rotation, position);
    rotation.time = position.time = 0.0f;
    track->rotationKeys = new RotationKey[1]{rotation};
    track->rotationKeyCount = 1;
    track->positionKeys = new VectorKey[1]{position};
    track->positionKeyCount = 1;
    track->rotationFloatCount = 5.0f;
    track->positionFloatCount = 4.0f;
    AppendTrackListNode(*list, track);
  }
  object->model->SetModelTracks(list);
}

void CmdSetObjectKeyframe() {
  const int32_t number = IntOperand(0), k = IntOperand(1);
  AdvanceOperands(2);
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  ObjectRecord* object = ObjectAt(slot);
  if (object->model == nullptr) return;
  // A model without animation starts its tracks from the poses of now at frame 0; keys of
  // frame 0 are never set again.
  BuildKeyTracksWhenMissing(slot);
  object = ObjectAt(slot);
  if (k < 1 || object->model->Tracks() == nullptr) return;
  for (AnimationTrack* track = object->model->Tracks()->first; track != nullptr; track = track->next) {
    RotationKey rotation;
    VectorKey position;
    CurrentTrackPose(slot, *track, rotation, position);
    rotation.time = position.time = static_cast<float>(k);
    PutKey(track->rotationKeys, track->rotationKeyCount, rotation, k);
    PutKey(track->positionKeys, track->positionKeyCount, position, k);
    track->rotationFloatCount = static_cast<float>(track->rotationKeyCount * 5);
    track->positionFloatCount = static_cast<float>(track->positionKeyCount * 4);
  }
  object->totalFrames = std::max(object->totalFrames, static_cast<float>(k));
  object->endFrame = object->totalFrames;
}

void CmdDeleteObjectKeyframe() {
  const int32_t number = IntOperand(0), k = IntOperand(1);
  AdvanceOperands(2);
  const int32_t slot = ExistingObject(number);
  if (slot < 0 || k == 0) return;
  for (AnimationTrack* track = FirstTrack(ObjectAt(slot)); track != nullptr; track = track->next) {
    if (track->rotationKeyCount >= 2) DropKey(track->rotationKeys, track->rotationKeyCount, k);
    if (track->positionKeyCount >= 2) DropKey(track->positionKeys, track->positionKeyCount, k);
    track->rotationFloatCount = static_cast<float>(track->rotationKeyCount * 5);
    track->positionFloatCount = static_cast<float>(track->positionKeyCount * 4);
  }
}

void CmdSaveObjectAnimation() {
  const std::string fileName = TextOperand(0);
  const int32_t number = IntOperand(1);
  AdvanceOperands(2);
  if (number < 1 || number > 65535) return RuntimeError(7006);
  const int32_t slot = ObjectSlotForNumber(number);
  if (slot < 0 || ObjectAt(slot)->model == nullptr) return;
  std::string whyNot;
  if (ObjectAt(slot)->model->SaveModelAnimationX(MapProgramPath(fileName.c_str()).c_str(), &whyNot) == kModelOk) return;
  WriteEngineErrorLog(whyNot.c_str());  // the message ends with the file and the reason
  RuntimeError(106);
}

// The path of a file the program names: the package first, then the name made usable here.
std::string ProgramFile(const std::string& name) {
  std::string path = name;
  ResolvePackagedFile(path, "dat");
  return MapProgramPath(path.c_str());
}

// 7607: the animation of a .x file continues the object's from a frame past its end; the
// pose holds until the frame before.
void CmdAppendObjectModel() {
  const std::string fileName = TextOperand(0);
  const int32_t number = IntOperand(1), frame = IntOperand(2);
  AdvanceOperands(3);
  const int32_t slot = ExistingObject(number);
  if (slot < 0) return;
  ObjectRecord* object = ObjectAt(slot);
  if (static_cast<float>(frame) <= object->totalFrames) return RuntimeError(7606);
  if (object->model == nullptr ||
      object->model->LoadModelAnimationX(ProgramFile(fileName).c_str(), static_cast<float>(frame),
                                         static_cast<float>(frame - 1)) != kModelOk)
    return RuntimeError(7605);
  ComputeTotalFrames(slot);
}

// 7260: two .x files joined and their animation appended at the offset; the pose holds at
// the current end.
void CmdAppendObjectAnimation() {
  const std::string first = TextOperand(0), second = TextOperand(1);
  const int32_t number = IntOperand(2), offset = IntOperand(3);
  AdvanceOperands(4);
  if (number < 1 || number > 65535) return RuntimeError(7006);
  const int32_t slot = ObjectSlotForNumber(number);
  if (slot < 0 || ObjectAt(slot)->model == nullptr) return;
  BuildKeyTracksWhenMissing(slot);
  ObjectRecord* object = ObjectAt(slot);
  if (object->model->MergeModelXFiles(ProgramFile(first).c_str(), ProgramFile(second).c_str(),
                                      static_cast<float>(offset),
                                      static_cast<float>(TruncateFloat(object->totalFrames))) == kModelOk)
    ComputeTotalFrames(slot);
}

// Values: (result, object).
template <typename Read>
void ObjectAnimationValue(Read read) {
  const int32_t number = IntOperand(1);
  const int32_t slot = ExistingObject(number);
  if (slot >= 0) read(ObjectAt(slot));
  AdvanceOperands(2);
}
void CmdObjectPlaying() {
  ObjectAnimationValue([](const ObjectRecord* o) { WriteIntResult(o->playing == 1 ? 1 : 0); });
}
void CmdObjectLooping() {
  ObjectAnimationValue([](const ObjectRecord* o) { WriteIntResult(o->looping == 1 ? 1 : 0); });
}
void CmdObjectFrame() {
  ObjectAnimationValue([](const ObjectRecord* o) { WriteFloatResult(FirstTrack(o) ? o->frame : 0.0f); });
}
void CmdObjectSpeed() {
  ObjectAnimationValue(
      [](const ObjectRecord* o) { WriteIntResult(FirstTrack(o) ? TruncateFloat(o->speed * 25.0f) : 0); });
}
void CmdObjectInterpolation() {
  ObjectAnimationValue([](const ObjectRecord* o) { WriteIntResult(TruncateFloat(o->interpolation * 100.0f)); });
}
void CmdTotalObjectFrames() {
  ObjectAnimationValue([](const ObjectRecord* o) { WriteIntResult(TruncateFloat(o->totalFrames)); });
}

const CommandEntry kAnimationCommands[] = {
    {kPlayObject, CmdPlayObject},
    {kStopObject, CmdStopObject},
    {kLoopObject, CmdLoopObject},
    {kSetObjectFrame, CmdSetObjectFrame},
    {kSetObjectSpeed, CmdSetObjectSpeed},
    {kLoopObjectRange, RangeCommand<RangeUse::kLoopRange>},
    {kPlayObjectFrom, RangeCommand<RangeUse::kPlayFrom>},
    {kPlayObjectRange, RangeCommand<RangeUse::kPlayRange>},
    {kLoopObjectFrom, RangeCommand<RangeUse::kLoopFrom>},
    {kSetObjectInterpolation, CmdSetObjectInterpolation},
    {kClearObjectAnimation, CmdClearObjectAnimation},
    {kSetObjectKeyframe, CmdSetObjectKeyframe},
    {kDeleteObjectKeyframe, CmdDeleteObjectKeyframe},
    {kSaveObjectAnimation, CmdSaveObjectAnimation},
    {kAppendObjectModel, CmdAppendObjectModel},
    {kAppendObjectAnimation, CmdAppendObjectAnimation},
    {kObjectPlaying, CmdObjectPlaying},
    {kObjectLooping, CmdObjectLooping},
    {kObjectFrame, CmdObjectFrame},
    {kObjectSpeed, CmdObjectSpeed},
    {kObjectInterpolation, CmdObjectInterpolation},
    {kTotalObjectFrames, CmdTotalObjectFrames},
};

}  // namespace

void AnimateObjects() {
  for (ListNode* node = g_playingHead; node != nullptr; node = node->next) {
    ObjectRecord* object = ObjectAt(node->item);
    if (object->isStatic) continue;
    if (object->playing == 1) {
      object->frame += object->speed;
      if (object->looping == 0) {
        if (object->frame > object->endFrame) {
          object->playing = 0;
          object->frame = object->endFrame;
        }
      } else if (object->speed >= 0) {
        if (object->frame > object->endFrame) object->frame = object->startFrame;
      } else if (object->frame < object->startFrame) {
        object->frame = object->endFrame;
      }
    }
    InterpolateAnimation(node->item);
  }
}

void UnlinkPlayingObject(int32_t slot) {
  ObjectRecord* object = ObjectAt(slot);
  ListNode* node = object->playingNode;
  object->playingNode = nullptr;
  if (node == nullptr) {
    // A set-frame may have listed the object without the node field (searched by item).
    for (node = g_playingHead; node != nullptr && node->item != slot; node = node->next) {
    }
    if (node == nullptr) return;
  }
  if (node->prev != nullptr) node->prev->next = node->next;
  if (node->next != nullptr) node->next->prev = node->prev;
  if (g_playingHead == node) g_playingHead = node->next;
  delete node;
}

void ComputeTotalFrames(int32_t slot) {
  ObjectRecord* object = ObjectAt(slot);
  float total = 0.0f;
  for (const AnimationTrack* track = FirstTrack(object); track != nullptr; track = track->next) {
    if (track->rotationKeyCount > 0)
      total = std::max(total, std::trunc(track->rotationKeys[track->rotationKeyCount - 1].time));
    if (track->scaleKeyCount > 0) total = std::max(total, std::trunc(track->scaleKeys[track->scaleKeyCount - 1].time));
    if (track->positionKeyCount > 0)
      total = std::max(total, std::trunc(track->positionKeys[track->positionKeyCount - 1].time));
  }
  object->totalFrames = total;
  object->endFrame = total;
}

void ReleasePlayingList() {
  while (g_playingHead != nullptr) {
    ListNode* next = g_playingHead->next;
    ObjectAt(g_playingHead->item)->playingNode = nullptr;
    delete g_playingHead;
    g_playingHead = next;
  }
}

CommandTableView AnimationCommandTable() { return {kAnimationCommands, std::size(kAnimationCommands)}; }
