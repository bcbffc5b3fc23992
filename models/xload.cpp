// Builds a model tree from a parsed .x file: frames numbered in file order, meshes split by
// material with their textures, and the tracks of the last animation set.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "models/models_local.h"

namespace {

constexpr uint32_t kMaxMaterials = 256;  // materials a mesh may use; later ones are ignored

// The materials of the mesh being read: per material its D3D material, texture number and
// texture name. Made for each mesh and dropped when the mesh is done. Each texture number is
// one reference, handed to the mesh that takes the material; the table lets go of the rest.
struct MaterialTable {
  uint32_t materialCount = 0;
  std::vector<uint32_t> faceMaterials;  // per face, in face order
  MeshMaterial materials[kMaxMaterials];
  int32_t textures[kMaxMaterials] = {};
  std::string textureNames[kMaxMaterials];
  uint32_t current = 0;  // the entry the next Material child fills
  ~MaterialTable() {
    for (int32_t texture : textures)
      if (texture > 0) ModelsHostCallbacks().ReleaseTexture(texture, 0);
  }
};

const XObject* Resolve(const XChild& child) { return child.object; }

// Looks up a texture file under the ".bmp" name the textures are kept as.
std::string TextureLookupName(const std::string& fileName) {
  for (size_t i = fileName.size(); i-- > 1;) {
    if (fileName[i] == '.') return fileName.substr(0, i) + ".bmp";
  }
  return fileName;
}

bool ParseXMaterial(const XObject& object, MaterialTable& table) {
  uint32_t entry = table.current;
  XDataCursor cursor(object);
  float face[4], specular[3], emissive[3];
  for (float& value : face) value = cursor.ReadFloat();
  float power = cursor.ReadFloat();
  for (float& value : specular) value = cursor.ReadFloat();
  for (float& value : emissive) value = cursor.ReadFloat();
  if (cursor.failed) return false;
  if (entry >= kMaxMaterials) return true;
  MeshMaterial& material = table.materials[entry];
  for (int i = 0; i < 4; i++) material.diffuse[i] = material.ambient[i] = face[i];
  for (int i = 0; i < 3; i++) {
    material.specular[i] = specular[i];
    material.emissive[i] = emissive[i];
  }
  material.specular[3] = material.emissive[3] = 0;
  material.power = power;
  const ModelsHost& host = ModelsHostCallbacks();
  bool found = false;
  for (const XChild& child : object.children) {
    const XObject* texture = Resolve(child);
    if (!texture || !XSameWord(texture->type, "TextureFilename")) continue;
    XDataCursor text(*texture);
    uint32_t index = text.ReadU32();
    if (text.failed || index >= texture->strings.size()) continue;
    // Textures are kept as .bmp beside the model; a model whose .png, .jpg or .tga has no
    // such copy gets its texture by the name as written.
    std::string name = TextureLookupName(texture->strings[index]);
    int32_t number = host.GetTextureByFile(name.c_str(), name != texture->strings[index] ? kTextureNameGuess : 0);
    if (number == -1 && name != texture->strings[index]) {
      name = texture->strings[index];
      number = host.GetTextureByFile(name.c_str(), 0);
    }
    if (number != -1) {
      if (table.textures[entry] > 0) host.ReleaseTexture(table.textures[entry], 0);  // the last one named counts
      table.textures[entry] = number;
      table.textureNames[entry] = name;
      found = true;
    }
  }
  if (!found) {
    // Each component times 255, truncated, low 8 bits; a component past what an integer holds
    // (a damaged or hostile file) is held at the nearest end first, and NaN counts as 0.
    auto channel = [](float value) {
      const double scaled = std::isnan(value) ? 0.0 : std::clamp(value * 255.0, -2147483648.0, 2147483647.0);
      return static_cast<uint32_t>(static_cast<int32_t>(scaled)) & 0xFF;
    };
    uint32_t colour = channel(face[0]) << 16 | channel(face[1]) << 8 | channel(face[2]);
    if (colour != 0xFFFFFF) {
      table.textures[entry] = host.GetColorTexture(colour);
      table.textureNames[entry] = std::to_string(colour);
    }
  }
  return true;
}

bool ParseXMaterialList(const XObject& object, MaterialTable& table) {
  XDataCursor cursor(object);
  table.materialCount = cursor.ReadU32();
  uint32_t indexCount = cursor.ReadU32();
  if (cursor.failed || indexCount > cursor.Remaining() / 4) return false;
  table.faceMaterials.resize(indexCount);
  for (uint32_t& index : table.faceMaterials) index = cursor.ReadU32();
  table.current = 0;
  for (const XChild& child : object.children) {
    const XObject* material = Resolve(child);
    if (!material || !XSameWord(material->type, "Material")) continue;
    if (!ParseXMaterial(*material, table)) return false;
    table.current++;
  }
  return true;
}

// Gives a mesh material `entry` of the table (and its texture when it has one).
void TakeMaterial(MeshNode& mesh, MaterialTable& table, uint32_t entry) {
  if (entry >= kMaxMaterials) return;
  mesh.material = table.materials[entry];
  if (table.textures[entry] > 0) {
    mesh.texture = table.textures[entry];
    table.textures[entry] = 0;  // the mesh holds the reference now
    CopyName(mesh.textureName, sizeof mesh.textureName, table.textureNames[entry].c_str());
    mesh.textureLoaded = 1;
  }
}

// The faces of one material: copies of the faces whose material index is `material`.
std::vector<uint32_t> FacesOfMaterial(const uint32_t* faces, size_t faceWords,
                                      uint32_t faceCount, const MaterialTable& table,
                                      uint32_t material, uint32_t& selected) {
  std::vector<uint32_t> out;
  selected = 0;
  size_t position = 0;
  uint32_t paired = std::min<uint64_t>(faceCount, table.faceMaterials.size());
  for (uint32_t face = 0; face < paired && position < faceWords; face++) {
    uint32_t corners = faces[position];
    size_t words = 1 + static_cast<size_t>(corners);
    if (words > faceWords - position) break;
    if (table.faceMaterials[face] == material) {
      out.insert(out.end(), faces + position, faces + position + words);
      selected++;
    }
    position += words;
  }
  return out;
}

// Says which mesh a file loses for its size, so the loader can warn about it.
void NoteLeftOutMesh(std::string* leftOut, const std::string& name, uint32_t vertexCount) {
  if (leftOut == nullptr) return;
  if (!leftOut->empty()) *leftOut += "; ";
  *leftOut += "mesh \"" + name + "\" (" + std::to_string(vertexCount) + " vertices; a mesh holds at most " +
              std::to_string(kMaxMeshVertices) + ")";
}

void ParseXMesh(const XObject& object, ModelNode* parent, int32_t id, std::string* leftOut) {
  XDataCursor cursor(object);
  uint32_t vertexCount = cursor.ReadU32();
  if (cursor.failed || vertexCount > cursor.Remaining() / 12) return;
  if (vertexCount > kMaxMeshVertices) return NoteLeftOutMesh(leftOut, object.name, vertexCount);
  std::vector<float> positions(static_cast<size_t>(vertexCount) * 3);
  for (float& value : positions) value = cursor.ReadFloat();
  uint32_t faceCount = cursor.ReadU32();
  if (cursor.failed) return;
  size_t faceWords = cursor.Remaining() / 4;
  std::vector<uint32_t> faces(faceWords);
  for (uint32_t& word : faces) word = cursor.ReadU32();
  // Refuses meshes with faces past the data or indices past the vertices.
  std::unique_ptr<MeshNode> mesh(MakeMeshNode(object.name.c_str(), vertexCount,
                                              positions.data(), faceCount, faces.data(),
                                              faceWords, 1));
  if (!mesh) return;
  mesh->id = id;
  auto table = std::make_unique<MaterialTable>();
  bool haveNormals = false;
  for (const XChild& child : object.children) {
    if (child.isReference || !child.object) continue;
    const XObject& data = *child.object;
    if (XSameWord(data.type, "MeshMaterialList")) {
      if (!ParseXMaterialList(data, *table)) return;
    } else if (XSameWord(data.type, "MeshNormals")) {
      XDataCursor normals(data);
      uint32_t count = normals.ReadU32();
      if (normals.failed || count > normals.Remaining() / 12) return;
      if (count == vertexCount) {
        for (uint32_t i = 0; i < count; i++) {
          mesh->vertices[i].nx = normals.ReadFloat();
          mesh->vertices[i].ny = normals.ReadFloat();
          mesh->vertices[i].nz = normals.ReadFloat();
        }
        haveNormals = true;
      }
    } else if (XSameWord(data.type, "MeshTextureCoords")) {
      XDataCursor coords(data);
      uint32_t count = coords.ReadU32();
      if (coords.failed || count > coords.Remaining() / 8) return;
      if (count == vertexCount) {
        for (uint32_t i = 0; i < count; i++) {
          mesh->vertices[i].u = coords.ReadFloat();
          mesh->vertices[i].v = coords.ReadFloat();
        }
      }
    }
  }
  // Normals that do not match the vertices would leave every normal zero; make them instead.
  if (!haveNormals) GenerateMeshNormals(*mesh);
  uint32_t materials = std::min(table->materialCount, kMaxMaterials);
  if (materials > 1) {
    for (uint32_t m = 0; m < materials; m++) {
      char name[kModelNameSize];
      std::snprintf(name, sizeof name, "%s_%u", object.name.c_str(), m);
      uint32_t selected = 0;
      std::vector<uint32_t> subset =
          FacesOfMaterial(faces.data(), faceWords, faceCount, *table, m, selected);
      MeshNode* part = MakeMeshNode(name, vertexCount, positions.data(), selected,
                                    subset.data(), subset.size(), 1);
      if (!part) continue;
      part->id = id;
      std::memcpy(part->vertices, mesh->vertices, sizeof(MeshVertex) * vertexCount);
      TakeMaterial(*part, *table, m);
      MakeVertexBuffer(*part, true);
      parent->AddChild(part);
    }
    return;  // the mesh made from the whole data is not kept
  }
  if (materials == 1) TakeMaterial(*mesh, *table, 0);
  MakeVertexBuffer(*mesh, true);
  parent->AddChild(mesh.release());
}

int32_t ParseXFrame(const XObject& object, ModelNode* parent, int32_t id, std::string* leftOut) {
  auto frame = std::make_unique<FrameNode>(object.name.c_str());
  frame->id = id;
  int32_t next = id;
  for (const XChild& child : object.children) {
    if (child.isReference || !child.object) continue;
    const XObject& data = *child.object;
    if (XSameWord(data.type, "Frame")) {
      next = ParseXFrame(data, frame.get(), next + 1, leftOut);
    } else if (XSameWord(data.type, "Mesh")) {
      ParseXMesh(data, frame.get(), next, leftOut);
    } else if (XSameWord(data.type, "FrameTransformMatrix")) {
      if (data.data.size() != 64) continue;  // only a full 4x4 matrix is taken
      XDataCursor cursor(data);
      for (int i = 0; i < 16; i++) frame->local.m[i / 4][i % 4] = cursor.ReadFloat();
    }
  }
  parent->AddChild(frame.release());
  return next;
}

void ParseXAnimationKey(const XObject& object, AnimationTrack& track) {
  XDataCursor cursor(object);
  uint32_t type = cursor.ReadU32();
  uint32_t count = cursor.ReadU32();
  if (cursor.failed || type > 2) return;
  // Each key takes at least its time and value count.
  if (count > cursor.Remaining() / 8) return;
  uint32_t needed = type == 0 ? 4 : 3;
  std::vector<float> keys;
  keys.reserve(static_cast<size_t>(count) * (needed + 1));
  for (uint32_t k = 0; k < count; k++) {
    float time = static_cast<float>(cursor.ReadU32());
    uint32_t values = cursor.ReadU32();
    if (cursor.failed || values < needed || values > cursor.Remaining() / 4) return;
    keys.push_back(time);
    for (uint32_t v = 0; v < values; v++) {
      float value = cursor.ReadFloat();
      if (v < needed) keys.push_back(value);
    }
  }
  if (type == 0) {
    auto* rotation = new RotationKey[count ? count : 1];
    if (!keys.empty()) std::memcpy(rotation, keys.data(), keys.size() * sizeof(float));
    delete[] track.rotationKeys;
    track.rotationKeys = rotation;
    track.rotationKeyCount = count;
    track.rotationFloatCount = static_cast<float>(count) * 5;
    return;
  }
  auto* vectors = new VectorKey[count ? count : 1];
  if (!keys.empty()) std::memcpy(vectors, keys.data(), keys.size() * sizeof(float));
  VectorKey*& slot = type == 1 ? track.scaleKeys : track.positionKeys;
  delete[] slot;
  slot = vectors;
  if (type == 1) {
    track.scaleKeyCount = count;
    track.scaleFloatCount = static_cast<float>(count) * 4;
  } else {
    track.positionKeyCount = count;
    track.positionFloatCount = static_cast<float>(count) * 4;
  }
}

AnimationTrackList* ParseXAnimationSet(const XObject& set) {
  AnimationTrackList* list = InitTrackListNode();
  AnimationTrack* last = nullptr;
  for (const XChild& setChild : set.children) {
    if (setChild.isReference || !setChild.object || !XSameWord(setChild.object->type, "Animation"))
      continue;
    auto* track = new AnimationTrack;
    if (last) last->next = track;
    else list->first = track;
    last = track;
    for (const XChild& child : setChild.object->children) {
      if (child.isReference) {
        // The frame the animation moves. A name no object of this file carries is kept too:
        // an animation file saved alone refers to frames of the model it was saved from.
        if (!child.object || XSameWord(child.object->type, "Frame"))
          AnimTrackSetName(*track, child.referenceName.c_str());
      } else if (child.object && XSameWord(child.object->type, "AnimationKey")) {
        ParseXAnimationKey(*child.object, *track);
      }
    }
  }
  return list;
}

// Finds a frame by name in the chain; true when found (the chain stops there).
bool FindInChain(ModelNode* first, const char* name, int32_t& id) {
  for (ModelNode* node = first; node; node = node->next) {
    if (node->kind == ModelNodeKind::Frame && std::strcmp(node->name, name) == 0) {
      id = node->id;
      return true;  // neither its subtree nor its later siblings are looked at
    }
    if (node->child) FindInChain(node->child, name, id);
  }
  return false;
}

}  // namespace

void FindFrameIdByName(ModelNode* root, const char* name, int32_t& id) {
  FindInChain(root, name, id);
}

AnimationTrackList* ReadLastAnimationSet(const XFile& file) {
  AnimationTrackList* tracks = nullptr;
  for (const XObject* object : file.topLevel) {
    if (!XSameWord(object->type, "AnimationSet")) continue;
    delete tracks;
    tracks = ParseXAnimationSet(*object);
  }
  return tracks;
}

FrameNode* BuildModelFromX(const XFile& file, int32_t& nodeCount, AnimationTrackList*& tracks,
                           std::string* leftOut) {
  auto* root = new FrameNode("root");
  root->id = 0;
  int32_t next = 0;
  tracks = nullptr;
  if (leftOut != nullptr) leftOut->clear();
  for (const XObject* object : file.topLevel) {
    if (XSameWord(object->type, "Frame")) {
      next = ParseXFrame(*object, root, next + 1, leftOut);
    } else if (XSameWord(object->type, "Mesh")) {
      ParseXMesh(*object, root, next, leftOut);
    } else if (XSameWord(object->type, "AnimationSet")) {
      delete tracks;
      tracks = ParseXAnimationSet(*object);
    }
  }
  nodeCount = next + 1;
  if (tracks) {
    for (AnimationTrack* track = tracks->first; track; track = track->next) {
      track->frameId = 0;
      FindFrameIdByName(root, track->frameName, track->frameId);
    }
  }
  return root;
}

bool AppendXAnimation(const char* path, ModelNode* root, AnimationTrackList* tracks,
                      float timeOffset, float holdTime) {
  XFile file;
  if (!XReadFile(path, file)) return false;
  std::unique_ptr<AnimationTrackList> added(ReadLastAnimationSet(file));
  if (!added || !tracks || !tracks->first) return false;
  bool appended = false;
  for (AnimationTrack* track = added->first; track; track = track->next) {
    track->frameId = -1;
    FindFrameIdByName(root, track->frameName, track->frameId);
    if (track->frameId == -1) continue;  // its frame is not in this model
    AnimationTrack* existing = tracks->first;
    while (existing && existing->frameId != track->frameId) existing = existing->next;
    if (!existing) continue;
    auto join = [&](auto*& oldKeys, uint32_t& oldCount, auto* newKeys, uint32_t newCount,
                    float& floatCount, int floatsPerKey) {
      using Key = std::remove_pointer_t<std::remove_reference_t<decltype(oldKeys)>>;
      bool hold = oldCount > 0 && oldKeys[oldCount - 1].time != holdTime;
      uint32_t total = oldCount + (hold ? 1 : 0) + newCount;
      Key* joined = new Key[total ? total : 1];
      uint32_t at = 0;
      for (uint32_t i = 0; i < oldCount; i++) joined[at++] = oldKeys[i];
      if (hold) {
        joined[at] = oldKeys[oldCount - 1];
        joined[at++].time = holdTime;
      }
      for (uint32_t i = 0; i < newCount; i++) {
        joined[at] = newKeys[i];
        joined[at++].time = newKeys[i].time + timeOffset;
      }
      delete[] oldKeys;
      oldKeys = joined;
      oldCount = total;
      floatCount = static_cast<float>(total) * floatsPerKey;
    };
    join(existing->rotationKeys, existing->rotationKeyCount, track->rotationKeys,
         track->rotationKeyCount, existing->rotationFloatCount, 5);
    join(existing->scaleKeys, existing->scaleKeyCount, track->scaleKeys, track->scaleKeyCount,
         existing->scaleFloatCount, 4);
    join(existing->positionKeys, existing->positionKeyCount, track->positionKeys,
         track->positionKeyCount, existing->positionFloatCount, 4);
    appended = true;
  }
  return appended;
}
