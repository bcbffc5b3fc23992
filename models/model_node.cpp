// Model tree nodes and animation track records: construction, linking, deletion, and the
// host callbacks the library was given at start-up.
#include <cmath>
#include <cstring>
#include <vector>

#include "models/models_local.h"

namespace {

// Host callbacks, set by ModelsInit; live for the whole process.
struct HostState {
  ModelsHost host;
  bool ready = false;
};
HostState g_host;

int32_t NoTextureFile(const char*, int32_t) { return -1; }
int32_t NoColorTexture(uint32_t) { return 0; }
void NoRelease(int32_t, int32_t) {}
bool NotCached(int32_t) { return false; }
void NoSetTexture(int32_t) {}
void NoDrawnIndices(uint32_t) {}
bool NoChecklist(int32_t, const char*) { return false; }
const char* DefaultTemporaryFolder() { return "/tmp"; }

}  // namespace

void ModelsInit(const ModelsHost* host) {
  ModelsHost filled = host ? *host : ModelsHost{};
  if (!filled.GetTextureByFile) filled.GetTextureByFile = NoTextureFile;
  if (!filled.GetColorTexture) filled.GetColorTexture = NoColorTexture;
  if (!filled.ReleaseTexture) filled.ReleaseTexture = NoRelease;
  if (!filled.TextureIsCached) filled.TextureIsCached = NotCached;
  if (!filled.SetDeviceTexture) filled.SetDeviceTexture = NoSetTexture;
  if (!filled.AddDrawnIndices) filled.AddDrawnIndices = NoDrawnIndices;
  if (!filled.AddChecklistEntry) filled.AddChecklistEntry = NoChecklist;
  if (!filled.TemporaryFolder) filled.TemporaryFolder = DefaultTemporaryFolder;
  g_host.host = filled;
  g_host.ready = true;
}

const ModelsHost& ModelsHostCallbacks() {
  if (!g_host.ready) ModelsInit(nullptr);
  return g_host.host;
}

void CopyName(char* field, size_t fieldSize, const char* text) {
  if (fieldSize == 0) return;
  size_t length = text ? std::strlen(text) : 0;
  if (length >= fieldSize) length = fieldSize - 1;
  if (length) std::memcpy(field, text, length);
  field[length] = 0;
}

bool InvertOrIdentity(Matrix4& out, const Matrix4& m) {
  const auto& a = m.m;
  double det = a[0][0] * (static_cast<double>(a[1][1]) * a[2][2] - static_cast<double>(a[1][2]) * a[2][1]) -
               a[0][1] * (static_cast<double>(a[1][0]) * a[2][2] - static_cast<double>(a[1][2]) * a[2][0]) +
               a[0][2] * (static_cast<double>(a[1][0]) * a[2][1] - static_cast<double>(a[1][1]) * a[2][0]);
  Matrix4 inverse;
  bool ok = std::isfinite(det) && std::fabs(det) > 1e-20 && MatrixInverse(inverse, m) == kMathOk;
  for (int i = 0; ok && i < 16; i++) ok = std::isfinite(inverse.m[i / 4][i % 4]);
  if (!ok) {
    MatrixIdentity(out);
    return false;
  }
  out = inverse;
  return true;
}

ModelNode::ModelNode(ModelNodeKind nodeKind, const char* nodeName) : kind(nodeKind) {
  if (nodeName) CopyName(name, sizeof name, nodeName);
}

ModelNode::~ModelNode() = default;

void ModelNode::AddChild(ModelNode* node) {
  if (!child) {
    child = node;
    node->parent = this;
  } else {
    ModelNode* last = lastChild ? lastChild : child;
    while (last->next) last = last->next;
    last->next = node;
    node->previous = last;
  }
  lastChild = node;
}

void ModelNode::UnlinkNode() {
  if (!next) {
    ModelNode* owner = ModelNodeParent(this);
    if (owner) owner->lastChild = previous;
  }
  if (previous) {
    previous->next = next;
  } else if (parent) {
    // A first child: its next sibling becomes the first child and takes the parent link.
    parent->child = next;
    if (next) next->parent = parent;
  }
  if (next) next->previous = previous;
  parent = nullptr;
  previous = nullptr;
  next = nullptr;
}

ModelNode* ModelNodeParent(const ModelNode* node) {
  while (node->previous) node = node->previous;
  return node->parent;
}

void DeleteNodeChain(ModelNode* node) {
  std::vector<ModelNode*> pending;
  if (node) pending.push_back(node);
  while (!pending.empty()) {
    ModelNode* current = pending.back();
    pending.pop_back();
    if (current->child) pending.push_back(current->child);
    if (current->next) pending.push_back(current->next);
    delete current;  // a mesh releases its buffers, texture and collision first
  }
}

FrameNode::FrameNode(const char* frameName) : ModelNode(ModelNodeKind::Frame, frameName) {
  MatrixIdentity(local);
  MatrixIdentity(world);
  MatrixIdentity(rootMatrix);
}

MeshNode::MeshNode(const char* meshName) : ModelNode(ModelNodeKind::Mesh, meshName) {}

MeshNode::~MeshNode() { ReleaseMeshResources(*this); }

// ---- Animation tracks ----

AnimationTrack::~AnimationTrack() {
  delete[] rotationKeys;
  delete[] scaleKeys;
  delete[] positionKeys;
  // The rest of the chain, in a loop so a long list does not recurse.
  AnimationTrack* rest = next;
  next = nullptr;
  while (rest) {
    AnimationTrack* following = rest->next;
    rest->next = nullptr;
    delete rest;
    rest = following;
  }
}

AnimationTrackList::~AnimationTrackList() { delete first; }

void AnimTrackSetName(AnimationTrack& track, const char* name) {
  CopyName(track.frameName, sizeof track.frameName, name);
}
int32_t AnimTrackGetFrame(const AnimationTrack& track) { return track.frameId; }
void AnimTrackSetFrame(AnimationTrack& track, int32_t frame) { track.frameId = frame; }
uint32_t AnimTrackGetRotKeyCount(const AnimationTrack& track) { return track.rotationKeyCount; }
void AnimTrackSetRotKeyCount(AnimationTrack& track, uint32_t count) {
  track.rotationKeyCount = count;
}
RotationKey* AnimTrackGetRotKeys(const AnimationTrack& track) { return track.rotationKeys; }
void AnimTrackSetRotKeys(AnimationTrack& track, RotationKey* keys) { track.rotationKeys = keys; }
uint32_t AnimTrackGetScaleKeyCount(const AnimationTrack& track) { return track.scaleKeyCount; }
void AnimTrackSetScaleKeyCount(AnimationTrack& track, uint32_t count) {
  track.scaleKeyCount = count;
}
uint32_t AnimTrackGetPosKeyCount(const AnimationTrack& track) { return track.positionKeyCount; }
void AnimTrackSetPosKeyCount(AnimationTrack& track, uint32_t count) {
  track.positionKeyCount = count;
}
VectorKey* AnimTrackGetPosKeys(const AnimationTrack& track) { return track.positionKeys; }

AnimationTrackList* InitTrackListNode() { return new AnimationTrackList; }

void AppendTrackListNode(AnimationTrackList& list, AnimationTrack* track) {
  if (!list.first) {
    list.first = track;
    return;
  }
  AnimationTrack* last = list.first;
  while (last->next) last = last->next;
  last->next = track;
}

void FreeTrackListChain(AnimationTrackList& list) {
  delete list.first;
  list.first = nullptr;
}
