// Declarations shared inside the models library: the .x reader and text writer (templates, data
// objects and references of text and binary .x files), used by the loaders, savers and tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Primitive member types of a template.
enum class XPrim : uint8_t { Word, Dword, Float, Double, Char, Uchar, Byte, Sword, Sdword, String,
                             Template };

struct XDimension {
  uint32_t fixed = 0;    // the dimension when `reference` is empty
  std::string reference; // name of an earlier member of the same template holding the size
};

struct XMember {
  XPrim prim = XPrim::Dword;
  int templateIndex = -1;  // for XPrim::Template: index into XFile::templates
  std::string name;
  bool isArray = false;
  std::vector<XDimension> dimensions;
};

struct XTemplate {
  std::string name;
  std::vector<XMember> members;
  uint32_t leastValues = 0;  // values one instance takes at least; 0 = may be empty
};

struct XObject;

// A child of a data object: a nested object, or a reference by name resolved after parsing
// (target null when no object of the file carries that name).
struct XChild {
  XObject* object = nullptr;
  bool isReference = false;
  std::string referenceName;
};

// One data object. Its member values are packed in `data` in member order, little-endian:
// WORD/SWORD 2 bytes, DWORD/SDWORD 4, FLOAT 4 (a 64-bit file's floats are narrowed), DOUBLE 8,
// CHAR/UCHAR/BYTE 1, STRING 4 (an index into `strings`).
struct XObject {
  std::string type;  // the template's name
  std::string name;  // empty when the object has none
  std::vector<uint8_t> data;
  std::vector<std::string> strings;
  std::vector<XChild> children;
};

struct XFile {
  std::vector<XTemplate> templates;                 // built-in first, then the file's own
  std::vector<std::unique_ptr<XObject>> objects;    // every object, owner of all
  std::vector<XObject*> topLevel;                   // top-level data objects in file order
  std::string error;                                // why the last read failed
};

// Inflates the body of a compressed .x file (the bytes after its 16-byte header) into out;
// false with the reason in error.
bool XInflateBody(const uint8_t* body, size_t size, std::string& out, std::string& error);
// Parses a whole .x image (header included). False with file.error set on any syntax error,
// compressed format or size overrun; the file then holds no objects.
bool XReadMemory(const void* bytes, size_t size, XFile& file);
// Reads the file at path whole and parses it as XReadMemory does.
bool XReadFile(const char* path, XFile& file);
// Writes bytes to a temporary file beside path, then renames it over path, so a failed write
// never leaves a half-written file; false when it cannot be written.
bool XWriteFileReplacing(const char* path, std::string_view bytes, std::string* whyNot = nullptr);
// Reads a whole file into bytes; false when it cannot be opened or read.
bool XReadWholeFile(const char* path, std::string& bytes);
// The scalar members read so far in one template instance, which array dimensions name.
// Templates hold few, so they sit in a fixed array (no allocation per element); members past
// the 16th are not kept and cannot size an array.
struct XScalars {
  std::pair<std::string_view, uint32_t> items[16];
  size_t count = 0;
  void Add(std::string_view name, uint32_t value) {
    if (count < 16) items[count++] = {name, value};
  }
};
// Element count of an array member from the scalars read before it in the same template
// instance; false when a dimension names no earlier member or the count passes 2^32.
bool XArrayCount(const XMember& member, const XScalars& values, uint64_t& count);
// Compares two words without regard to ASCII case (.x keywords, the 3DS dummy node name).
bool XSameWord(std::string_view a, std::string_view b);
// Finds a template by name; -1 when there is none.
int XFindTemplate(const XFile& file, std::string_view name);

// Bounded little-endian cursor over an object's data with a sticky error flag: a read past
// the end answers 0 and sets `failed`.
struct XDataCursor {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  size_t position = 0;
  bool failed = false;

  explicit XDataCursor(const XObject& object)
      : bytes(object.data.data()), size(object.data.size()) {}
  size_t Remaining() const { return size - position; }
  uint32_t ReadU32();
  float ReadFloat();
  bool Skip(size_t count);
};

// Text writer: builds data objects and writes them as a "xof 0302txt 0032" file, numbers
// formatted independently of the locale.
class XTextWriter {
 public:
  XTextWriter();
  // Starts a data object of the named built-in template; members are added in order.
  XObject* CreateObject(std::string_view type, std::string_view name);
  static void AddU32(XObject* object, uint32_t value);
  static void AddFloat(XObject* object, float value);
  static void AddString(XObject* object, std::string_view text);
  static void AddChild(XObject* parent, XObject* child);
  static void AddReference(XObject* parent, std::string_view name);
  // Appends the object's text (and its children's) to the output; false when the object's
  // data does not match its template.
  bool Write(const XObject* object);
  const std::string& Text() const { return text_; }
  // Writes the text to path (replacing it whole); false when the file cannot be written, with
  // "cannot write PATH: REASON" in *whyNot.
  bool SaveTo(const char* path, std::string* whyNot = nullptr) const;

 private:
  bool WriteObject(const XObject* object, int indent);
  bool WriteMembers(const XTemplate& templ, XDataCursor& cursor, const XObject* object,
                    int indent);
  XFile file_;  // holds the built-in templates and the objects made so far
  std::string text_;
};

// Appends a float as fixed-point text with six decimals ("%.6f" in the C locale); NaN and
// infinities are written as 0.000000 so the text always reads back.
void XAppendFloat(std::string& out, double value);
// Appends an unsigned or signed decimal integer.
void XAppendInt(std::string& out, long long value);

// ---- Model tree internals (nodes, meshes, loaders) ----
#include "models/models.h"

// The host callbacks with defaults in every empty slot.
const ModelsHost& ModelsHostCallbacks();

// Copies text into a fixed field, truncating and always terminating.
void CopyName(char* field, size_t fieldSize, const char* text);

// Deletes a node, its whole subtree and every sibling after it (meshes release first).
void DeleteNodeChain(ModelNode* node);

// Visits, in pre-order, every node of the chain starting at `first`: a node, then its
// subtree, then its next sibling. Siblings are walked in a loop so long chains do not grow
// the stack.
template <class Visit>
void ForEachNode(ModelNode* first, Visit&& visit) {
  for (ModelNode* node = first; node; node = node->next) {
    visit(node);
    if (node->child) ForEachNode(node->child, visit);
  }
}

// Composes matrices down the tree: a frame's child chain sees local x given; a mesh is
// visited with the matrix it was given.
template <class Visit>
void ForEachMeshComposed(ModelNode* first, const Matrix4& given, Visit&& visit) {
  for (ModelNode* node = first; node; node = node->next) {
    if (node->kind == ModelNodeKind::Mesh) {
      visit(static_cast<MeshNode*>(node), given);
    } else if (node->child) {
      Matrix4 combined;
      MatrixMultiply(combined, static_cast<FrameNode*>(node)->local, given);
      ForEachMeshComposed(node->child, combined, visit);
    }
  }
}

// Inverse of an affine matrix; false (and `out` the identity) when it has none, so callers
// never go on with undefined values.
bool InvertOrIdentity(Matrix4& out, const Matrix4& m);

// Mesh geometry (mesh_node.cpp).
// Makes a mesh from positions and a face list with `stride` words per corner; null when the
// faces index past the vertices, run past `faceWords`, or the mesh has over 65535 vertices.
MeshNode* MakeMeshNode(const char* name, uint32_t vertexCount, const float* positions,
                       uint32_t faceCount, const uint32_t* faces, size_t faceWords, int stride);
// Fills the mesh's 16-bit triangle list (fans); false when the list is malformed.
bool BuildTriangleList(MeshNode& mesh, int stride, const uint32_t* faces, uint32_t faceCount,
                       size_t faceWords);
void GenerateMeshNormals(MeshNode& mesh);
bool MakeVertexBuffer(MeshNode& mesh, bool optimise);
void ReleaseMeshResources(MeshNode& mesh);
void RemoveMeshCollision(MeshNode& mesh, int32_t owner);
void BuildMeshCollision(MeshNode& mesh, int32_t owner, int32_t type, float a, float b, float c);
void UpdateMeshCollisionTransform(MeshNode& mesh, Device3d& device, int32_t owner);
void DrawMesh(MeshNode& mesh, Device3d& device, int32_t textureFilter);
// Copies normals / texture coordinates (3 / 2 floats per vertex) into every vertex.
void SetMeshNormals(MeshNode& mesh, const float* normals);
void SetMeshUVs(MeshNode& mesh, const float* uvs);
// Replaces the mesh's geometry from an engine mesh (stride-2 faces); false when malformed.
bool RebuildMeshGeometry(MeshNode& mesh, const ModelMeshData& data);

// The most vertices a mesh holds: its indices are 16-bit.
constexpr uint32_t kMaxMeshVertices = 65535;

// .x loading and saving (xload.cpp, xsave.cpp).
// Builds the tree of a parsed file; null when the file holds nothing usable. Meshes left out
// for their size are named in *leftOut ("" when none was), for the loader's warning.
FrameNode* BuildModelFromX(const XFile& file, int32_t& nodeCount, AnimationTrackList*& tracks,
                           std::string* leftOut = nullptr);
// The track list of the file's last animation set, or null when it has none.
AnimationTrackList* ReadLastAnimationSet(const XFile& file);
// Finds a frame id by name as the tree operation does; `id` unchanged when none matches.
void FindFrameIdByName(ModelNode* root, const char* name, int32_t& id);
// Appends the animation of a .x file to the tracks; false when nothing was appended.
bool AppendXAnimation(const char* path, ModelNode* root, AnimationTrackList* tracks,
                      float timeOffset, float holdTime);
bool SaveXAnimation(const char* path, const AnimationTrackList* tracks, std::string* whyNot = nullptr);
