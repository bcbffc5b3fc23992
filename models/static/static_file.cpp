// The static world's file: every texture group with its meshes and every collision box in one
// little-endian binary file, each group's texture saved beside it as a DDS picture.
#include "models/static/static_world_local.h"
#include "platform/file_replace.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr size_t kMeshTrailerBytes = 12 + 4 + 4 + 5 + 96 + 4 + 16 + 4;  // after the index array
constexpr size_t kBoxBytes = 24;

std::string TextureFileName(const std::string& path, int32_t texture) {
  return path + "_" + std::to_string(texture) + ".dds";
}

// ---- Writing ----

struct Writer {
  std::vector<uint8_t> bytes;
  void U8(uint8_t value) { bytes.push_back(value); }
  void U32(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(value >> shift));
  }
  void U16(uint16_t value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
  }
  void F32(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    U32(bits);
  }
};

void WriteStaticMesh(Writer& w, const StaticMesh& mesh) {
  w.U32(static_cast<uint32_t>(mesh.vertices.size()));
  for (const StaticVertex& v : mesh.vertices)
    for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz, v.u, v.v}) w.F32(f);
  w.U32(static_cast<uint32_t>(mesh.indices.size()));
  for (uint16_t index : mesh.indices) w.U16(index);
  for (float f : mesh.centre) w.F32(f);
  w.F32(mesh.radius);
  w.F32(mesh.lowerReach);
  for (uint8_t flag : {mesh.visible, mesh.occluder, mesh.reducedHeight, mesh.occluderOnly, mesh.fullHeight}) w.U8(flag);
  for (const float* corner : mesh.occluderCorners)
    for (int axis = 0; axis < 3; ++axis) w.F32(corner[axis]);
  w.U32(mesh.activeOccluder);  // the byte and three zero bytes
  for (float f : mesh.occluderRect) w.F32(f);
  w.F32(mesh.occluderDepth);
}

void WriteStaticTextureGroup(Writer& w, const StaticTextureGroup& group) {
  w.U32(static_cast<uint32_t>(group.texture));
  for (const auto& mesh : group.meshes) {
    w.U8(1);
    WriteStaticMesh(w, *mesh);
  }
  w.U8(0);
}

void WriteCollisionBox(Writer& w, const CollisionBox& box) {
  for (float f : {box.x1, box.y1, box.z1, box.x2, box.y2, box.z2}) w.F32(f);
}

// ---- Reading ----

// A bounded cursor: a read past the end gives zeros and sets the sticky error flag.
struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool failed = false;

  bool Has(size_t count) {
    if (failed || count > size - at) failed = true;
    return !failed;
  }
  uint8_t U8() { return Has(1) ? data[at++] : 0; }
  uint32_t U32() {
    if (!Has(4)) return 0;
    const uint32_t value = static_cast<uint32_t>(data[at]) | static_cast<uint32_t>(data[at + 1]) << 8 |
                           static_cast<uint32_t>(data[at + 2]) << 16 | static_cast<uint32_t>(data[at + 3]) << 24;
    at += 4;
    return value;
  }
  uint16_t U16() {
    if (!Has(2)) return 0;
    const uint16_t value = static_cast<uint16_t>(data[at] | data[at + 1] << 8);
    at += 2;
    return value;
  }
  float F32() {
    const uint32_t bits = U32();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
};

bool Fail(std::string* whyNot, const std::string& reason) {
  if (whyNot != nullptr) *whyNot = reason;
  return false;
}

// One mesh record; every count is checked against the bytes left before anything is
// allocated, and every index against the vertices.
bool ReadStaticMesh(Reader& r, StaticMesh& mesh, std::string* whyNot) {
  const uint32_t vertexCount = r.U32();
  if (r.failed || vertexCount > (r.size - r.at) / sizeof(StaticVertex) || vertexCount > 65536)
    return Fail(whyNot, "bad vertex count: " + std::to_string(vertexCount));
  mesh.vertices.resize(vertexCount);
  for (StaticVertex& v : mesh.vertices)
    for (float* f : {&v.x, &v.y, &v.z, &v.nx, &v.ny, &v.nz, &v.u, &v.v}) *f = r.F32();
  const uint32_t indexCount = r.U32();
  if (r.failed || indexCount > (r.size - r.at) / 2 || indexCount % 3 != 0)
    return Fail(whyNot, "bad index count: " + std::to_string(indexCount));
  mesh.indices.resize(indexCount);
  for (uint16_t& index : mesh.indices) {
    index = r.U16();
    if (index >= vertexCount) return Fail(whyNot, "index past the vertices: " + std::to_string(index));
  }
  if (!r.Has(kMeshTrailerBytes)) return Fail(whyNot, "truncated mesh record");
  for (float& f : mesh.centre) f = r.F32();
  mesh.radius = r.F32();
  mesh.lowerReach = r.F32();
  for (uint8_t* flag : {&mesh.visible, &mesh.occluder, &mesh.reducedHeight, &mesh.occluderOnly, &mesh.fullHeight})
    *flag = r.U8();
  for (float* corner : mesh.occluderCorners)
    for (int axis = 0; axis < 3; ++axis) corner[axis] = r.F32();
  mesh.activeOccluder = static_cast<uint8_t>(r.U32() & 0xFF);
  for (float& f : mesh.occluderRect) f = r.F32();
  mesh.occluderDepth = r.F32();
  if (mesh.occluder == 1 && mesh.occluderOnly == 1) {
    std::vector<StaticVertex>().swap(mesh.vertices);
    std::vector<uint16_t>().swap(mesh.indices);
  }
  return !r.failed;
}

// Parses the whole file into groups (texture numbers as stored) and boxes; false on any fault.
bool ParseStaticWorld(const uint8_t* data, size_t size, StaticWorld& out, std::string* whyNot) {
  Reader r{data, size};
  while (r.U8() == 1 && !r.failed) {
    out.groups.emplace_back();
    StaticTextureGroup& group = out.groups.back();
    group.texture = static_cast<int32_t>(r.U32());
    while (r.U8() == 1 && !r.failed) {
      auto mesh = std::make_unique<StaticMesh>();
      if (!ReadStaticMesh(r, *mesh, whyNot)) return false;
      group.meshes.push_back(std::move(mesh));
    }
  }
  if (r.failed) return Fail(whyNot, "truncated group list");
  while (r.U8() == 1 && !r.failed) {
    if (!r.Has(kBoxBytes)) break;
    CollisionBox box;
    for (float* f : {&box.x1, &box.y1, &box.z1, &box.x2, &box.y2, &box.z2}) *f = r.F32();
    out.boxes.push_back(box);
  }
  if (r.failed) return Fail(whyNot, "truncated box list");
  return true;
}

}  // namespace

std::vector<uint8_t> StaticWorldFileBytes() {
  Writer w;
  const StaticWorld& world = GetStaticWorld();
  for (const StaticTextureGroup& group : world.groups) {
    w.U8(1);
    WriteStaticTextureGroup(w, group);
  }
  w.U8(0);
  for (const CollisionBox& box : world.boxes) {
    w.U8(1);
    WriteCollisionBox(w, box);
  }
  w.U8(0);
  return std::move(w.bytes);
}

bool SaveStaticWorld(const char* path, std::string* whyNot) {
  if (path == nullptr || path[0] == '\0') return Fail(whyNot, "no file name");
  // Each textured group's picture goes beside the file; an untextured group (texture 0)
  // writes none.
  for (const StaticTextureGroup& group : GetStaticWorld().groups) {
    if (group.texture <= 0) continue;
    const std::string name = TextureFileName(path, group.texture);
    StaticHost().SaveTexture(group.texture, name.c_str());
  }
  const std::vector<uint8_t> bytes = StaticWorldFileBytes();
  std::string why;
  if (PlatformReplaceFile(path, bytes.data(), bytes.size(), false, &why)) return true;
  return Fail(whyNot, std::string("cannot write ") + path + ": " + why);
}

bool LoadStaticWorldFromMemory(const uint8_t* data, size_t size, const char* path, std::string* whyNot) {
  if (data == nullptr || size == 0) return Fail(whyNot, "empty file");
  StaticWorld parsed;
  if (!ParseStaticWorld(data, size, parsed, whyNot)) return false;
  // The file read whole: the groups take their textures (the stored numbers only name the
  // files; 0 stays untextured, and a picture that cannot be loaded leaves the group
  // untextured), then the new content replaces the old.
  const StaticWorldHost& host = StaticHost();
  for (StaticTextureGroup& group : parsed.groups) {
    if (group.texture <= 0) {
      group.texture = 0;
      continue;
    }
    const int32_t texture = host.GetTextureByFile(TextureFileName(path != nullptr ? path : "", group.texture).c_str(), 0);
    group.texture = texture > 0 ? texture : 0;
  }
  ClearStaticWorld();
  StaticWorld& world = MutableStaticWorld();
  world.groups = std::move(parsed.groups);
  world.boxes = std::move(parsed.boxes);
  for (const StaticTextureGroup& group : world.groups)
    for (const auto& mesh : group.meshes)
      FitStaticBuffers(static_cast<uint32_t>(mesh->vertices.size()), static_cast<uint32_t>(mesh->indices.size()));
  return true;
}

bool LoadStaticWorld(const char* path, std::string* whyNot, const char* textureName) {
  if (path == nullptr) return Fail(whyNot, "no file name");
  std::ifstream file(path, std::ios::binary);
  if (!file) return Fail(whyNot, std::string("cannot open ") + path);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return LoadStaticWorldFromMemory(bytes.data(), bytes.size(), textureName != nullptr ? textureName : path, whyNot);
}
