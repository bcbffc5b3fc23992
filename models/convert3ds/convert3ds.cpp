// The 3DS converter: reads a .3ds scene's chunks in two passes (hierarchy, then output) and
// writes materials, nested object frames, meshes and the keyframer animation as .x text.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "models/convert3ds/convert3ds_local.h"
#include "models/models_local.h"

namespace {

constexpr int kMaxNodes = 5000;        // keyframer nodes and objects the tables hold
constexpr size_t kMaxName = 255;       // material, map and node names (a 256-byte buffer)
constexpr size_t kMaxObjectName = 11;  // object names
constexpr int kMaxNesting = 128;       // open frames; deeper chains continue as siblings

enum : uint16_t {
  kMain = 0x4D4D, kEditor = 0x3D3D, kObject = 0x4000, kTriMesh = 0x4100, kVertices = 0x4110,
  kFaces = 0x4120, kFaceMaterial = 0x4130, kUvs = 0x4140, kLocalMatrix = 0x4160,
  kMaterial = 0xAFFF, kMaterialName = 0xA000, kDiffuse = 0xA020, kSpecular = 0xA030,
  kShininess = 0xA040, kTextureMap = 0xA200, kMapFile = 0xA300, kColorFloat = 0x0010,
  kColorBytes = 0x0011, kPercentInt = 0x0030, kPercentFloat = 0x0031, kKeyframer = 0xB000,
  kObjectNode = 0xB002, kNodeHeader = 0xB010, kInstanceName = 0xB011, kPivot = 0xB013,
  kPositionTrack = 0xB020, kRotationTrack = 0xB021, kScaleTrack = 0xB022, kNodeId = 0xB030,
};

// Bounded little-endian reads over [position, end): past the end they answer 0.
struct Cursor {
  const uint8_t* bytes;
  size_t position;
  size_t end;

  bool Have(size_t count) const { return position <= end && count <= end - position; }
  uint16_t U16() {
    if (!Have(2)) {
      position = end;
      return 0;
    }
    uint16_t v = static_cast<uint16_t>(bytes[position] | bytes[position + 1] << 8);
    position += 2;
    return v;
  }
  uint32_t U32() {
    uint32_t low = U16();
    return low | static_cast<uint32_t>(U16()) << 16;
  }
  uint8_t U8() {
    if (!Have(1)) return 0;
    return bytes[position++];
  }
  float F32() {
    uint32_t bits = U32();
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
  }
  // A zero-terminated name, keeping at most `keep` characters; spaces become '_'.
  std::string Name(size_t keep) {
    std::string name;
    while (position < end) {
      char c = static_cast<char>(bytes[position++]);
      if (c == 0) break;
      if (name.size() < keep) name += c == ' ' ? '_' : c;
    }
    return name.empty() ? "Default name" : name;
  }
};

// Calls visit(id, content cursor) for each sub-chunk in [from, to). A length below 6 ends the
// walk; a length past the parent is cut to the parent's end.
template <class Visit>
void WalkChunks(const uint8_t* bytes, size_t from, size_t to, Visit&& visit) {
  size_t position = from;
  while (position < to && to - position >= 6) {
    Cursor header{bytes, position, to};
    uint16_t id = header.U16();
    uint32_t length = header.U32();
    if (length < 6) break;
    size_t chunkEnd = length > to - position ? to : position + length;
    Cursor content{bytes, position + 6, chunkEnd};
    visit(id, content);
    position = chunkEnd;
  }
}

Matrix4 Identity() {
  Matrix4 m;
  MatrixIdentity(m);
  return m;
}

struct Quaternion {
  float w, x, y, z;
};

Quaternion Multiply(const Quaternion& a, const Quaternion& b) {
  return Quaternion{a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
                    a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
                    a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                    a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

// Rotation by `angle` about the axis; a zero or non-finite axis gives the identity.
Quaternion FromRotation(float x, float y, float z, float angle) {
  float length = std::sqrt(x * x + y * y + z * z);
  if (!(length > 0) || !std::isfinite(length) || !std::isfinite(angle))
    return Quaternion{1, 0, 0, 0};
  float s = std::sin(angle / 2) / length;
  return Quaternion{std::cos(angle / 2), x * s, y * s, z * s};
}

// One triangle mesh being read (a 4100 chunk).
struct TriMesh {
  std::vector<float> positions;   // x, y, z already turned y-up
  std::vector<uint32_t> faces;    // a, c, b
  std::string material;
  std::vector<float> uvs;
  Matrix4 local = Identity();
  bool hasMatrix = false;
};

// The state of one conversion, reset by each call.
struct Converter {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  int pass = 1;
  std::string out;
  int16_t parents[kMaxNodes];
  float pivots[kMaxNodes][3];
  int32_t depths[kMaxNodes];
  Matrix4 depthMatrices[kMaxNodes + 1];
  int nodeCounter = 0;
  int objectCount = 0;
  int openFrames = 0;
  Matrix4 current = Identity();
  std::vector<KeyframeTrack3ds> tracks;

  void Reset() {
    for (int i = 0; i < kMaxNodes; i++) {
      parents[i] = 0;
      pivots[i][0] = pivots[i][1] = pivots[i][2] = 0;
      depths[i] = 0;
    }
    for (Matrix4& m : depthMatrices) MatrixIdentity(m);
  }

  int Parent(int node) const { return node >= 0 && node < kMaxNodes ? parents[node] : -1; }

  void Colour(Cursor& chunk, float rgb[3]) {
    WalkChunks(bytes, chunk.position, chunk.end, [&](uint16_t id, Cursor& c) {
      if (id == kColorFloat) {
        for (int i = 0; i < 3; i++) rgb[i] = c.F32();
      } else if (id == kColorBytes) {
        for (int i = 0; i < 3; i++) rgb[i] = static_cast<float>(c.U8() / 255.0);
      }
    });
  }

  float Percentage(Cursor& chunk) {
    float value = 0;
    WalkChunks(bytes, chunk.position, chunk.end, [&](uint16_t id, Cursor& c) {
      if (id == kPercentInt) value = c.U16();
      else if (id == kPercentFloat) value = c.F32();
    });
    return value;
  }

  void ReadMaterial(Cursor& chunk) {
    std::string name = "Default name";
    float diffuse[3] = {0, 0, 0}, specular[3] = {0, 0, 0};
    float shininess = 0;
    bool textured = false;
    std::string map;
    WalkChunks(bytes, chunk.position, chunk.end, [&](uint16_t id, Cursor& c) {
      switch (id) {
        case kMaterialName: name = c.Name(kMaxName); break;
        case kDiffuse: Colour(c, diffuse); break;
        case kSpecular: Colour(c, specular); break;
        case kShininess: shininess = Percentage(c); break;
        case kTextureMap:
          textured = true;
          WalkChunks(bytes, c.position, c.end, [&](uint16_t inner, Cursor& m) {
            if (inner == kMapFile) map = m.Name(kMaxName);
          });
          break;
        default: break;
      }
    });
    if (pass != 2) return;
    float face[4] = {diffuse[0], diffuse[1], diffuse[2], 1.0f};
    float emissive[3] = {0, 0, 0};
    xtext3ds::Material(out, name, face, shininess, specular, emissive, textured, map);
  }

  void ReadTriMesh(Cursor& chunk, TriMesh& mesh) {
    WalkChunks(bytes, chunk.position, chunk.end, [&](uint16_t id, Cursor& c) {
      switch (id) {
        case kVertices: {
          uint32_t count = c.U16();
          mesh.positions.clear();
          for (uint32_t i = 0; i < count && c.Have(12); i++) {
            float x = c.F32(), y = c.F32(), z = c.F32();
            mesh.positions.insert(mesh.positions.end(), {x, z, y});
          }
          break;
        }
        case kFaces: {
          uint32_t count = c.U16();
          mesh.faces.clear();
          for (uint32_t i = 0; i < count && c.Have(8); i++) {
            uint32_t a = c.U16(), b = c.U16(), cc = c.U16();
            c.U16();  // edge flags
            mesh.faces.insert(mesh.faces.end(), {a, cc, b});
          }
          WalkChunks(bytes, c.position, c.end, [&](uint16_t inner, Cursor& m) {
            if (inner == kFaceMaterial) mesh.material = m.Name(kMaxName);
          });
          break;
        }
        case kUvs: {
          uint32_t count = c.U16();
          mesh.uvs.clear();
          for (uint32_t i = 0; i < count && c.Have(8); i++) {
            float u = c.F32(), v = c.F32();
            mesh.uvs.insert(mesh.uvs.end(), {u, v});
          }
          break;
        }
        case kLocalMatrix: {
          Matrix4 read = Identity();
          for (int row = 0; row < 4; row++)
            for (int column = 0; column < 3; column++) read.m[row][column] = c.F32();
          // z-up to y-up: swap columns 1 and 2, then rows 1 and 2; last column 0, 0, 0, 1.
          Matrix4 turned;
          for (int row = 0; row < 4; row++) {
            int from = row == 1 ? 2 : row == 2 ? 1 : row;
            turned.m[row][0] = read.m[from][0];
            turned.m[row][1] = read.m[from][2];
            turned.m[row][2] = read.m[from][1];
            turned.m[row][3] = row == 3 ? 1.0f : 0.0f;
          }
          mesh.local = turned;
          mesh.hasMatrix = true;
          break;
        }
        default: break;
      }
    });
  }

  void WriteMesh(const std::string& objectName, TriMesh& mesh, int object) {
    uint32_t vertexCount = static_cast<uint32_t>(mesh.positions.size() / 3);
    // Faces that index past the vertices are left out.
    std::vector<uint32_t> faces;
    for (size_t i = 0; i + 2 < mesh.faces.size(); i += 3) {
      if (mesh.faces[i] < vertexCount && mesh.faces[i + 1] < vertexCount &&
          mesh.faces[i + 2] < vertexCount)
        faces.insert(faces.end(), mesh.faces.begin() + i, mesh.faces.begin() + i + 3);
    }
    // Flat normals from the positions as read, one per corner.
    std::vector<float> normals;
    std::vector<uint32_t> normalIndices;
    for (size_t i = 0; i < faces.size(); i += 3) {
      for (int corner = 0; corner < 3; corner++) {
        const float* p0 = &mesh.positions[faces[i + corner] * 3];
        const float* p1 = &mesh.positions[faces[i + (corner + 1) % 3] * 3];
        const float* p2 = &mesh.positions[faces[i + (corner + 2) % 3] * 3];
        Vector3 e1{p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        Vector3 e2{p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        Vector3 n = Vector3Cross(e1, e2);
        float length = Vector3Length(n);
        if (length > 0 && std::isfinite(length)) {
          n = Vector3{n.x / length, n.y / length, n.z / length};
        } else {
          float third = static_cast<float>(1.0 / std::sqrt(3.0));
          n = Vector3{third, third, third};
        }
        normals.insert(normals.end(), {n.x, n.y, n.z});
        normalIndices.push_back(static_cast<uint32_t>(normalIndices.size()));
      }
    }
    // Positions into the object's space: the inverse of its matrix with the pivot taken off.
    Matrix4 pivoted = mesh.local;
    if (object < kMaxNodes) {
      for (int i = 0; i < 3; i++) pivoted.m[3][i] -= pivots[object][i];
    }
    Matrix4 inverse;
    InvertOrIdentity(inverse, pivoted);
    for (size_t i = 0; i + 2 < mesh.positions.size(); i += 3) {
      Vector3 p{mesh.positions[i], mesh.positions[i + 1], mesh.positions[i + 2]};
      if (TransformPoint(p, p, inverse) != kMathOk) continue;
      mesh.positions[i] = p.x;
      mesh.positions[i + 1] = p.y;
      mesh.positions[i + 2] = p.z;
    }
    Matrix4 parentInverse;
    InvertOrIdentity(parentInverse, current);
    Matrix4 transform;
    MatrixMultiply(transform, mesh.local, parentInverse);
    current = mesh.local;
    if (mesh.hasMatrix) xtext3ds::FrameTransform(out, transform);
    xtext3ds::MeshHeader(out, "x" + objectName);
    xtext3ds::VectorList(out, mesh.positions);
    xtext3ds::FaceList(out, faces);
    if (!mesh.material.empty()) xtext3ds::MaterialList(out, mesh.material);
    out += "MeshNormals {\n";
    xtext3ds::VectorList(out, normals);
    xtext3ds::FaceList(out, normalIndices);
    out += "}\n";
    if (!mesh.uvs.empty()) {
      out += "MeshTextureCoords {\n";
      xtext3ds::TextureCoordinates(out, mesh.uvs);
      out += "}\n";
    }
    xtext3ds::MeshEnd(out);
  }

  void ReadObject(Cursor& chunk) {
    std::string name = chunk.Name(kMaxObjectName);
    int object = objectCount++;
    if (pass == 2) {
      xtext3ds::FrameHeader(out, name);
      if (object < kMaxNodes) depths[object] = openFrames;
      if (openFrames <= kMaxNodes) depthMatrices[openFrames] = current;
      openFrames++;
    }
    WalkChunks(bytes, chunk.position, chunk.end, [&](uint16_t id, Cursor& c) {
      if (id != kTriMesh) return;  // lights, cameras and the rest only pass through
      TriMesh mesh;
      ReadTriMesh(c, mesh);
      if (pass == 2) WriteMesh(name, mesh, object);
    });
    if (pass != 2) return;
    // Nest the next object inside its keyframer parent: it stays inside this frame when it is
    // this object's child, else frames close down to its parent's depth. Parents that are not
    // earlier nodes (a broken hierarchy) close to the top, and nesting stops at a depth the
    // .x reader accepts.
    int next = Parent(object + 1);
    if (next == object && openFrames < kMaxNesting) return;
    int target = 0;
    if (next == object) target = openFrames - 1;
    else if (next >= 0 && next < object && next < kMaxNodes) target = depths[next] + 1;
    if (target > openFrames) target = openFrames;
    while (openFrames > target) {
      xtext3ds::FrameEnd(out);
      openFrames--;
    }
    if (target <= kMaxNodes) current = depthMatrices[target];
  }

  void ReadTrack(Cursor& c, std::vector<Key3ds>* keys, int values, bool rotation) {
    for (int i = 0; i < 5; i++) c.U16();
    uint32_t count = c.U16();
    c.U16();
    Quaternion accumulated{1, 0, 0, 0};
    for (uint32_t k = 0; k < count && c.Have(6); k++) {
      Key3ds key;
      key.frame = static_cast<int32_t>(c.U32());
      uint16_t flags = c.U16();
      for (int bit = 0; bit < 5; bit++) {  // tension, continuity, bias, ease to, ease from
        if (flags & (1 << bit)) c.F32();
      }
      float read[4] = {0, 0, 0, 0};
      for (int v = 0; v < values; v++) read[v] = c.F32();
      if (rotation) {
        Quaternion turn = FromRotation(-read[1], -read[3], -read[2], read[0]);
        accumulated = k == 0 ? turn : Multiply(accumulated, turn);
        key.values[0] = accumulated.w;
        key.values[1] = accumulated.x;
        key.values[2] = accumulated.y;
        key.values[3] = accumulated.z;
      } else {
        key.values[0] = read[0];
        key.values[1] = read[2];
        key.values[2] = read[1];
      }
      if (keys) keys->push_back(key);
    }
  }

  void ReadObjectNode(Cursor& chunk) {
    KeyframeTrack3ds track;
    bool instance = false;
    WalkChunks(bytes, chunk.position, chunk.end, [&](uint16_t id, Cursor& c) {
      switch (id) {
        case kNodeHeader: {
          track.name = c.Name(kMaxName);
          if (track.name == "$$$DUMMY") break;
          c.U16();
          c.U16();
          uint16_t parent = c.U16();
          if (pass == 1) {
            if (nodeCounter < kMaxNodes) {
              parents[nodeCounter] = parent == 0xFFFF ? -1 : static_cast<int16_t>(parent);
              if (parents[nodeCounter] >= kMaxNodes) parents[nodeCounter] = -1;
            }
            nodeCounter++;
          }
          break;
        }
        case kInstanceName: c.Name(kMaxName); instance = true; break;
        case kPivot:
          if (pass == 1 && nodeCounter >= 1 && nodeCounter <= kMaxNodes) {
            float x = c.F32(), y = c.F32(), z = c.F32();
            float* pivot = pivots[nodeCounter - 1];
            pivot[0] = x;
            pivot[1] = z;
            pivot[2] = y;
          }
          break;
        case kPositionTrack: ReadTrack(c, &track.positions, 3, false); break;
        case kRotationTrack: ReadTrack(c, &track.rotations, 4, true); break;
        case kScaleTrack: ReadTrack(c, &track.scales, 3, false); break;
        case kNodeId: track.nodeId = c.U16(); break;
        default: break;
      }
    });
    if (pass == 2 && !instance && tracks.size() < kMaxNodes) tracks.push_back(std::move(track));
  }

  void ReadMain(Cursor& chunk) {
    WalkChunks(bytes, chunk.position, chunk.end, [&](uint16_t id, Cursor& c) {
      if (id == kEditor) {
        WalkChunks(bytes, c.position, c.end, [&](uint16_t inner, Cursor& e) {
          if (inner == kObject) ReadObject(e);
          else if (inner == kMaterial) ReadMaterial(e);
        });
        if (pass == 2) {
          for (; openFrames > 0; openFrames--) xtext3ds::FrameEnd(out);
        }
      } else if (id == kKeyframer) {
        WalkChunks(bytes, c.position, c.end, [&](uint16_t inner, Cursor& k) {
          if (inner == kObjectNode) ReadObjectNode(k);
        });
      }
    });
  }

  void Pass(int which) {
    pass = which;
    out.clear();
    tracks.clear();
    objectCount = 0;
    openFrames = 0;
    current = Identity();
    if (pass == 1) nodeCounter = 0;
    if (pass == 2) xtext3ds::Header(out);
    size_t position = 0;
    while (size - position >= 6) {
      Cursor header{bytes, position, size};
      if (header.U16() != kMain) break;
      uint32_t length = header.U32();
      if (length < 6) break;
      size_t end = length > size - position ? size : position + length;
      Cursor content{bytes, position + 6, end};
      ReadMain(content);
      position = end;
    }
    if (pass == 2) xtext3ds::AnimationSet(out, tracks);
  }
};

}  // namespace

int32_t Convert3dsImage(const uint8_t* bytes, size_t size, std::string& out) {
  if (size < 6 || bytes[0] != (kMain & 0xFF) || bytes[1] != (kMain >> 8)) {
    out.clear();  // not a 3DS file: the .x text has the header and nothing else
    xtext3ds::Header(out);
    return 0;
  }
  auto converter = std::make_unique<Converter>();
  converter->bytes = bytes;
  converter->size = size;
  converter->Reset();
  converter->Pass(1);
  converter->Pass(2);
  out = std::move(converter->out);
  return 0;
}

int32_t Convert3dsToX(const char* source, const char* destination) {
  std::string bytes;
  if (!XReadWholeFile(source, bytes)) return -4;
  std::string text;
  int32_t result = Convert3dsImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), text);
  if (result != 0) return result;
  // A destination that cannot be written is left as it was; the result stays 0, so callers
  // that need the file check that it is there.
  XWriteFileReplacing(destination, text);
  return 0;
}
