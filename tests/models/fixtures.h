// Test helpers of the models tests: .x fixtures in text and in the binary token format, a 3DS
// chunk writer, a temporary folder, a fake engine host and a dump of a model tree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "models/models.h"

// The cube of the loader tests: frame "Box" translated by (5, 0, 0) holding mesh "BoxMesh" of
// 8 vertices and 6 quads, one red material with texture "wood.tga".
std::string CubeText();
// The same file in the binary format, floats of 32 or 64 bits.
std::string CubeBinary(bool doubles);

// Writes .x binary tokens from the public format description.
class BinaryXWriter {
 public:
  explicit BinaryXWriter(bool doubles);
  BinaryXWriter& Name(const std::string& text);
  BinaryXWriter& String(const std::string& text);  // with its ';' terminator
  BinaryXWriter& Open();
  BinaryXWriter& Close();
  BinaryXWriter& Ints(const std::vector<uint32_t>& values);
  BinaryXWriter& Floats(const std::vector<double>& values);
  BinaryXWriter& Reference(const std::string& name);
  BinaryXWriter& Token(uint16_t token);
  BinaryXWriter& Raw(const std::vector<uint8_t>& bytes);
  const std::string& Bytes() const { return bytes_; }

 private:
  void U16(uint16_t v);
  void U32(uint32_t v);
  bool doubles_;
  std::string bytes_;
};

// Builds a 3DS file: chunks nest through Begin/End, which patch the length.
class Writer3ds {
 public:
  Writer3ds& Begin(uint16_t id);
  Writer3ds& End();
  Writer3ds& U8(uint8_t v);
  Writer3ds& U16(uint16_t v);
  Writer3ds& U32(uint32_t v);
  Writer3ds& F32(float v);
  Writer3ds& Text(const std::string& text);  // with its zero terminator
  std::string Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  std::vector<size_t> open_;
};

// The scene of the converter tests: material "wood" with map "wood.png", object "door-1" of
// 8 vertices and 12 faces with UVs and a local matrix, object "knob" as its keyframer child.
std::string SceneWith3ds(bool keyFlags);

// A fresh temporary folder, removed with its files when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

bool WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFileText(const std::string& path);

// A fake engine host: textures named in `files` load with numbers from 100, colours get
// 1000 + rgb % 997; every call is logged. Installs the recording 3D device.
struct FakeHost {
  FakeHost();
  ~FakeHost();
  std::vector<std::string> files;
  std::vector<std::string> log;
  std::string temporaryFolder = "/tmp";
  int checklistCapacity = 512;
  std::vector<std::pair<int32_t, std::string>> checklist;
};

// A mesh's arrays as GetModelMeshGeometry reports them.
struct MeshView {
  MeshVertex* vertices = nullptr;
  uint32_t vertexCount = 0;
  uint16_t* indices = nullptr;
  uint32_t indexCount = 0;
};
// True when the model has a mesh of that name (the last one in traversal order).
bool MeshByName(ModelObject& model, const char* name, MeshView& view);

// One line per node in traversal order: kind, name, id, depth, then the frame matrix or the
// mesh's texture, vertices and indices.
std::string DumpTree(const ModelNode* root);
