// .x saving: a model's animation tracks and its meshes written as text .x files, and the merge
// that joins two .x files into the work file whose animation is appended to the model.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "models/models_local.h"

namespace {

constexpr size_t kTextHeaderLine = 17;  // "xof 0302txt 0032" and its line feed

// Key times are written as whole numbers, truncated; a time past what an integer holds is held
// at the nearest end first.
uint32_t KeyTime(float time) {
  if (!std::isfinite(time)) return 0;
  return static_cast<uint32_t>(static_cast<int64_t>(std::clamp(static_cast<double>(time), -9e18, 9e18)));
}

}  // namespace

bool SaveXAnimation(const char* path, const AnimationTrackList* tracks, std::string* whyNot) {
  XTextWriter writer;
  if (tracks) {
    XObject* set = writer.CreateObject("AnimationSet", "xqv_animset_0");
    int index = 0;
    for (const AnimationTrack* track = tracks->first; track; track = track->next) {
      XObject* animation =
          writer.CreateObject("Animation", "xqv_anim_" + std::to_string(index++));
      XTextWriter::AddReference(animation, track->frameName);
      for (uint32_t type = 0; type < 3; type++) {
        XObject* key = writer.CreateObject("AnimationKey", "");
        XTextWriter::AddU32(key, type);
        uint32_t count = type == 0 ? track->rotationKeyCount
                         : type == 1 ? track->scaleKeyCount : track->positionKeyCount;
        XTextWriter::AddU32(key, count);
        for (uint32_t k = 0; k < count; k++) {
          if (type == 0) {
            const RotationKey& r = track->rotationKeys[k];
            XTextWriter::AddU32(key, KeyTime(r.time));
            XTextWriter::AddU32(key, 4);
            for (float v : {r.w, r.x, r.y, r.z}) XTextWriter::AddFloat(key, v);
          } else {
            const VectorKey& v = type == 1 ? track->scaleKeys[k] : track->positionKeys[k];
            XTextWriter::AddU32(key, KeyTime(v.time));
            XTextWriter::AddU32(key, 3);
            for (float f : {v.x, v.y, v.z}) XTextWriter::AddFloat(key, f);
          }
        }
        XTextWriter::AddChild(animation, key);
      }
      XTextWriter::AddChild(set, animation);
    }
    if (!writer.Write(set)) {
      if (whyNot != nullptr) *whyNot = "the animation's keys do not fit the .x templates";
      return false;
    }
  }
  return writer.SaveTo(path, whyNot);
}

ModelResult ModelObject::SaveModelMeshesX(const char* path) {
  if (!root_) return kModelFail;
  XTextWriter writer;
  bool ok = true;
  ForEachNode(root_, [&](ModelNode* node) {
    if (node->kind != ModelNodeKind::Mesh) return;
    const auto* mesh = static_cast<const MeshNode*>(node);
    XObject* object = writer.CreateObject("Mesh", "Mesh");
    XTextWriter::AddU32(object, mesh->vertexCount);
    for (uint32_t i = 0; i < mesh->vertexCount; i++) {
      XTextWriter::AddFloat(object, mesh->vertices[i].x);
      XTextWriter::AddFloat(object, mesh->vertices[i].y);
      XTextWriter::AddFloat(object, mesh->vertices[i].z);
    }
    XTextWriter::AddU32(object, mesh->indexCount / 3);
    for (uint32_t i = 0; i + 2 < mesh->indexCount; i += 3) {
      XTextWriter::AddU32(object, 3);
      for (int k = 0; k < 3; k++) XTextWriter::AddU32(object, mesh->indices[i + k]);
    }
    ok = writer.Write(object) && ok;
  });
  return ok && writer.SaveTo(path) ? kModelOk : kModelFail;
}

ModelResult ModelObject::MergeModelXFiles(const char* first, const char* second,
                                          float timeOffset, float holdTime) {
  if (!root_) return kModelFail;
  std::string joined;
  if (!XReadWholeFile(first, joined)) return kModelFail;
  std::string tail;
  if (!XReadWholeFile(second, tail)) return kModelFail;
  if (tail.size() > kTextHeaderLine) joined.append(tail, kTextHeaderLine, std::string::npos);
  std::string workFile = std::string(ModelsHostCallbacks().TemporaryFolder()) + "/workfile.x";
  // A work file that cannot be written ends the merge: an older one left from before must
  // never be appended in its place.
  if (!XWriteFileReplacing(workFile.c_str(), joined)) return kModelFail;
  return AppendXAnimation(workFile.c_str(), root_, tracks_, timeOffset, holdTime) ? kModelOk
                                                                                 : kModelFail;
}
