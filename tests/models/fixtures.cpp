// Test helpers of the models tests: the cube fixture in text and binary .x, the binary token
// writer, the 3DS chunk writer and scene, temporary folders, the fake host and tree dumps.
#include "tests/models/fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/device3d_record.h"

namespace {

const double kCubeVertices[] = {-1, -1, -1, 1, -1, -1, 1, 1, -1, -1, 1, -1,
                                -1, -1, 1,  1, -1, 1,  1, 1, 1,  -1, 1, 1};
const uint32_t kCubeFaces[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                   {2, 3, 7, 6}, {0, 3, 7, 4}, {1, 2, 6, 5}};

FakeHost* g_fake = nullptr;  // the host of the running test

}  // namespace

std::string CubeText() {
  std::string text = "xof 0302txt 0032\n"
                     "// a cube one frame to the right\n"
                     "Material Red { 1.0;0.0;0.0;1.0;; 5.0; 0;0;0;; 0;0;0;;\n"
                     "  TextureFilename { \"wood.tga\"; } }\n"
                     "Frame Box {\n"
                     "  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 5,0,0,1;; }\n"
                     "  Mesh BoxMesh {\n    8;\n";
  for (int i = 0; i < 8; i++) {
    char line[64];
    std::snprintf(line, sizeof line, "    %g;%g;%g;%s\n", kCubeVertices[i * 3],
                  kCubeVertices[i * 3 + 1], kCubeVertices[i * 3 + 2], i < 7 ? "," : ";");
    text += line;
  }
  text += "    6;\n";
  for (int f = 0; f < 6; f++) {
    char line[64];
    std::snprintf(line, sizeof line, "    4;%u,%u,%u,%u;%s\n", kCubeFaces[f][0], kCubeFaces[f][1],
                  kCubeFaces[f][2], kCubeFaces[f][3], f < 5 ? "," : ";");
    text += line;
  }
  text += "    MeshMaterialList { 1; 6; 0,0,0,0,0,0;; {Red} }\n  }\n}\n";
  return text;
}

std::string CubeBinary(bool doubles) {
  BinaryXWriter x(doubles);
  x.Name("Material").Name("Red").Open().Floats({1, 0, 0, 1, 5, 0, 0, 0, 0, 0, 0});
  x.Name("TextureFilename").Open().String("wood.tga").Close().Close();
  x.Name("Frame").Name("Box").Open();
  x.Name("FrameTransformMatrix").Open().Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1});
  x.Close();
  x.Name("Mesh").Name("BoxMesh").Open().Ints({8});
  x.Floats(std::vector<double>(std::begin(kCubeVertices), std::end(kCubeVertices)));
  std::vector<uint32_t> faces = {6};
  for (const auto& face : kCubeFaces) {
    faces.push_back(4);
    faces.insert(faces.end(), std::begin(face), std::end(face));
  }
  x.Ints(faces);
  x.Name("MeshMaterialList").Open().Ints({1, 6, 0, 0, 0, 0, 0, 0}).Reference("Red").Close();
  x.Close().Close();
  return x.Bytes();
}

BinaryXWriter::BinaryXWriter(bool doubles) : doubles_(doubles) {
  bytes_ = doubles ? "xof 0302bin 0064" : "xof 0302bin 0032";
}

void BinaryXWriter::U16(uint16_t v) {
  bytes_ += static_cast<char>(v & 0xFF);
  bytes_ += static_cast<char>(v >> 8);
}

void BinaryXWriter::U32(uint32_t v) {
  U16(static_cast<uint16_t>(v & 0xFFFF));
  U16(static_cast<uint16_t>(v >> 16));
}

BinaryXWriter& BinaryXWriter::Token(uint16_t token) {
  U16(token);
  return *this;
}

BinaryXWriter& BinaryXWriter::Raw(const std::vector<uint8_t>& bytes) {
  bytes_.append(bytes.begin(), bytes.end());
  return *this;
}

BinaryXWriter& BinaryXWriter::Name(const std::string& text) {
  U16(1);
  U32(static_cast<uint32_t>(text.size()));
  bytes_ += text;
  return *this;
}

BinaryXWriter& BinaryXWriter::String(const std::string& text) {
  U16(2);
  U32(static_cast<uint32_t>(text.size()));
  bytes_ += text;
  U16(20);
  return *this;
}

BinaryXWriter& BinaryXWriter::Open() { return Token(10); }
BinaryXWriter& BinaryXWriter::Close() { return Token(11); }

BinaryXWriter& BinaryXWriter::Ints(const std::vector<uint32_t>& values) {
  U16(6);
  U32(static_cast<uint32_t>(values.size()));
  for (uint32_t v : values) U32(v);
  return *this;
}

BinaryXWriter& BinaryXWriter::Floats(const std::vector<double>& values) {
  U16(7);
  U32(static_cast<uint32_t>(values.size()));
  for (double v : values) {
    if (doubles_) {
      uint64_t bits;
      std::memcpy(&bits, &v, 8);
      U32(static_cast<uint32_t>(bits));
      U32(static_cast<uint32_t>(bits >> 32));
    } else {
      float f = static_cast<float>(v);
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      U32(bits);
    }
  }
  return *this;
}

BinaryXWriter& BinaryXWriter::Reference(const std::string& name) {
  return Open().Name(name).Close();
}

Writer3ds& Writer3ds::Begin(uint16_t id) {
  U16(id);
  open_.push_back(bytes_.size());
  return U32(0);
}

Writer3ds& Writer3ds::End() {
  size_t at = open_.back();
  open_.pop_back();
  uint32_t length = static_cast<uint32_t>(bytes_.size() - at + 2);
  for (int i = 0; i < 4; i++) bytes_[at + i] = static_cast<char>(length >> (8 * i));
  return *this;
}

Writer3ds& Writer3ds::U8(uint8_t v) {
  bytes_ += static_cast<char>(v);
  return *this;
}

Writer3ds& Writer3ds::U16(uint16_t v) { return U8(v & 0xFF).U8(static_cast<uint8_t>(v >> 8)); }

Writer3ds& Writer3ds::U32(uint32_t v) {
  return U16(static_cast<uint16_t>(v & 0xFFFF)).U16(static_cast<uint16_t>(v >> 16));
}

Writer3ds& Writer3ds::F32(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  return U32(bits);
}

Writer3ds& Writer3ds::Text(const std::string& text) {
  bytes_ += text;
  return U8(0);
}

namespace {

// A keyframer track chunk: header, then per key (frame, flags, extra floats, values).
void Track(Writer3ds& w, uint16_t id, const std::vector<std::vector<float>>& keys, bool keyFlags) {
  w.Begin(id);
  for (int i = 0; i < 5; i++) w.U16(0);
  w.U16(static_cast<uint16_t>(keys.size())).U16(0);
  for (size_t k = 0; k < keys.size(); k++) {
    w.U32(static_cast<uint32_t>(k * 10));
    // With keyFlags every key carries tension and bias floats (bits 0 and 2).
    w.U16(keyFlags ? 5 : 0);
    if (keyFlags) w.F32(99.0f).F32(-99.0f);
    for (float v : keys[k]) w.F32(v);
  }
  w.End();
}

void Node(Writer3ds& w, const std::string& name, uint16_t parent, bool keyFlags,
          bool withRotation) {
  w.Begin(0xB002);
  w.Begin(0xB030).U16(parent == 0xFFFF ? 0 : 1).End();
  w.Begin(0xB010).Text(name).U16(0).U16(0).U16(parent).End();
  w.Begin(0xB013).F32(0).F32(0).F32(0).End();
  Track(w, 0xB020, {{1, 2, 3}}, keyFlags);
  if (withRotation) {
    // Two quarter turns about the file's z axis: accumulated, the second key is a half turn.
    Track(w, 0xB021, {{1.5707964f, 0, 0, 1}, {1.5707964f, 0, 0, 1}}, keyFlags);
  }
  Track(w, 0xB022, {{1, 1, 1}}, keyFlags);
  w.End();
}

}  // namespace

std::string SceneWith3ds(bool keyFlags) {
  Writer3ds w;
  w.Begin(0x4D4D).Begin(0x3D3D);
  w.Begin(0xAFFF);
  w.Begin(0xA000).Text("wood").End();
  w.Begin(0xA020).Begin(0x0011).U8(255).U8(128).U8(0).End().End();
  w.Begin(0xA040).Begin(0x0030).U16(40).End().End();
  w.Begin(0xA200).Begin(0x0030).U16(100).End().Begin(0xA300).Text("wood.png").End().End();
  w.End();
  w.Begin(0x1234).U32(0xFFFFFFFF).U32(7).End();  // an unknown chunk, skipped by its length
  w.Begin(0x4000).Text("door-1").Begin(0x4100);
  w.Begin(0x4110).U16(8);
  const float corners[8][3] = {{0, 0, 0}, {2, 0, 0}, {2, 4, 0}, {0, 4, 0},
                               {0, 0, 6}, {2, 0, 6}, {2, 4, 6}, {0, 4, 6}};
  for (const auto& c : corners) w.F32(c[0]).F32(c[1]).F32(c[2]);
  w.End();
  const uint16_t faces[12][3] = {{0, 1, 2}, {0, 2, 3}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                                 {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}};
  w.Begin(0x4120).U16(12);
  for (const auto& f : faces) w.U16(f[0]).U16(f[1]).U16(f[2]).U16(7);
  w.Begin(0x4130).Text("wood").U16(12);
  for (uint16_t i = 0; i < 12; i++) w.U16(i);
  w.End().End();
  w.Begin(0x4140).U16(8);
  for (int i = 0; i < 8; i++) w.F32(i == 7 ? 0.25f : 0.0f).F32(i == 7 ? 0.25f : 0.5f);
  w.End();
  // Local matrix: identity axes, translation (10, 20, 30) in the file's z-up space.
  w.Begin(0x4160);
  for (float v : {1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 10.f, 20.f, 30.f}) w.F32(v);
  w.End();
  w.End().End();  // 4100, 4000
  w.Begin(0x4000).Text("knob").Begin(0x4100);
  w.Begin(0x4110).U16(3).F32(0).F32(0).F32(0).F32(1).F32(0).F32(0).F32(0).F32(1).F32(0).End();
  w.Begin(0x4120).U16(1).U16(0).U16(1).U16(2).U16(0).End();
  w.End().End();
  w.End();  // 3D3D
  w.Begin(0xB000);
  w.Begin(0xB008).U32(0).U32(100).End();
  Node(w, "door-1", 0xFFFF, keyFlags, true);
  Node(w, "knob", 0, keyFlags, false);
  w.End();
  w.End();  // 4D4D
  return w.Bytes();
}

TempFolder::TempFolder() {
  char pattern[] = "/tmp/qv-models-XXXXXX";
  const char* made = mkdtemp(pattern);
  path_ = made ? made : "/tmp";
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (path_ != "/tmp") std::filesystem::remove_all(path_, ignored);
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::FILE* handle = std::fopen(path.c_str(), "wb");
  if (!handle) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), handle) == bytes.size();
  return std::fclose(handle) == 0 && ok;
}

std::string ReadFileText(const std::string& path) {
  std::string text;
  std::FILE* handle = std::fopen(path.c_str(), "rb");
  if (!handle) return text;
  char block[4096];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, handle)) > 0) text.append(block, got);
  std::fclose(handle);
  return text;
}

FakeHost::FakeHost() {
  g_fake = this;
  Device3dInstall(Device3dOpenRecorder());
  Device3dRecordClearCalls();
  ModelsHost host{};
  host.GetTextureByFile = [](const char* name, int32_t) -> int32_t {
    g_fake->log.push_back(std::string("file ") + name);
    for (size_t i = 0; i < g_fake->files.size(); i++) {
      if (g_fake->files[i] == name) return static_cast<int32_t>(100 + i);
    }
    return -1;
  };
  host.GetColorTexture = [](uint32_t rgb) -> int32_t {
    char line[32];
    std::snprintf(line, sizeof line, "colour %06X", rgb);
    g_fake->log.push_back(line);
    return static_cast<int32_t>(1000 + rgb % 997);
  };
  host.ReleaseTexture = [](int32_t number, int32_t) {
    g_fake->log.push_back("release " + std::to_string(number));
  };
  host.TextureIsCached = [](int32_t) { return true; };
  host.SetDeviceTexture = [](int32_t number) {
    Device3dActive().SetTexture(static_cast<Device3dTexture>(number));
  };
  host.AddChecklistEntry = [](int32_t value, const char* text) {
    if (static_cast<int>(g_fake->checklist.size()) >= g_fake->checklistCapacity) return false;
    g_fake->checklist.emplace_back(value, text);
    return true;
  };
  host.TemporaryFolder = [] { return g_fake->temporaryFolder.c_str(); };
  ModelsInit(&host);
}

FakeHost::~FakeHost() {
  ModelsInit(nullptr);
  Device3dInstall(nullptr);
  g_fake = nullptr;
}

bool MeshByName(ModelObject& model, const char* name, MeshView& view) {
  return model.GetModelMeshGeometry(name, view.vertices, view.vertexCount, view.indices,
                                    view.indexCount) == kModelOk;
}

namespace {

void DumpChain(const ModelNode* node, int depth, std::string& out) {
  for (; node; node = node->next) {
    char line[256];
    std::snprintf(line, sizeof line, "%*s%s '%s' id %d", depth * 2, "",
                  node->kind == ModelNodeKind::Frame ? "frame" : "mesh", node->name, node->id);
    out += line;
    if (node->kind == ModelNodeKind::Frame) {
      const auto* frame = static_cast<const FrameNode*>(node);
      for (int i = 0; i < 16; i++) {
        std::snprintf(line, sizeof line, " %g", frame->local.m[i / 4][i % 4]);
        out += line;
      }
    } else {
      const auto* mesh = static_cast<const MeshNode*>(node);
      std::snprintf(line, sizeof line, " texture %d '%s' v", mesh->texture, mesh->textureName);
      out += line;
      for (uint32_t i = 0; i < mesh->vertexCount; i++) {
        const MeshVertex& v = mesh->vertices[i];
        std::snprintf(line, sizeof line, " (%g %g %g | %g %g %g | %g %g)", v.x, v.y, v.z, v.nx,
                      v.ny, v.nz, v.u, v.v);
        out += line;
      }
      out += " i";
      for (uint32_t i = 0; i < mesh->indexCount; i++) out += " " + std::to_string(mesh->indices[i]);
    }
    out += '\n';
    DumpChain(node->child, depth + 1, out);
  }
}

}  // namespace

std::string DumpTree(const ModelNode* root) {
  std::string out;
  DumpChain(root, 0, out);
  return out;
}
