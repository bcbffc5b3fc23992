// The models library: a 3D object's model as a tree of frame and mesh nodes, loaded from .x
// files (text or binary, file or memory), its animation tracks, .x saving and the 3DS converter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "math3d/math3d.h"
#include "models/collision/collision.h"
#include "platform/device3d.h"

// Results of the model object's methods: 0 or this failure code (negative as int32).
using ModelResult = int32_t;
constexpr ModelResult kModelOk = 0;
constexpr ModelResult kModelFail = static_cast<int32_t>(0x80004005u);

constexpr int kModelNameSize = 80;  // node, texture and track name fields, terminator included

// What the library needs of its host (the 3D engine), handed over once with ModelsInit; null
// members fall back to harmless defaults, so tests give only what they look at.
// GetTextureByFile's flag for a name guessed from the one a model gives (its .bmp copy): a
// missing file is no failure to log, as the name given is tried next.
inline constexpr int32_t kTextureNameGuess = 1;

struct ModelsHost {
  // Texture number of a texture file (reference count + 1); -1 when it cannot be loaded (the
  // host logs why). flag 0, or kTextureNameGuess.
  int32_t (*GetTextureByFile)(const char* name, int32_t flag);
  // Texture number of a solid colour 0xRRGGBB.
  int32_t (*GetColorTexture)(uint32_t rgb);
  // Drops one reference of a texture (force 0 from here).
  void (*ReleaseTexture)(int32_t number, int32_t force);
  // True when the texture record has a texture-cache entry (only those are released).
  bool (*TextureIsCached)(int32_t number);
  // Makes the texture the device's stage-0 texture (0 = none).
  void (*SetDeviceTexture)(int32_t number);
  // Adds a draw's index count to the engine's per-frame statistic.
  void (*AddDrawnIndices)(uint32_t count);
  // Appends a checklist entry (first value, text); false when the list is full.
  bool (*AddChecklistEntry)(int32_t value, const char* text);
  // The private temporary folder, without a trailing slash (merge work file goes there).
  const char* (*TemporaryFolder)();
};

// main.cpp at start-up and tests: hands the library its host callbacks (copied).
void ModelsInit(const ModelsHost* host);

// One vertex of a mesh: position, normal, one texture coordinate pair.
using MeshVertex = Device3dVertex;

// A mesh handed in by the engine (from its mesh records): positions and normals 3 floats per
// vertex, texture coordinates 2 per vertex (each may be null), and the face list: per face a
// corner count n then n pairs (vertex index, normal index); faceWords bounds the list.
struct ModelMeshData {
  uint32_t vertexCount = 0;
  const float* positions = nullptr;
  const float* normals = nullptr;
  const float* uvs = nullptr;
  uint32_t faceCount = 0;
  const uint32_t* faces = nullptr;
  size_t faceWords = 0;
};

// The D3D-style material a mesh keeps (copied in by the .x loader, not applied when drawing).
struct MeshMaterial {
  float diffuse[4] = {0, 0, 0, 0};
  float ambient[4] = {0, 0, 0, 0};
  float specular[4] = {0, 0, 0, 0};
  float emissive[4] = {0, 0, 0, 0};
  float power = 0;
};

enum class ModelNodeKind : uint8_t { Frame, Mesh };

// A node of the model tree. The parent link is set only on the first child of a parent;
// later siblings reach it through their previous links (ModelNodeParent).
struct ModelNode {
  explicit ModelNode(ModelNodeKind kind, const char* name);
  virtual ~ModelNode();
  ModelNode(const ModelNode&) = delete;
  ModelNode& operator=(const ModelNode&) = delete;

  ModelNodeKind kind;
  ModelNode* next = nullptr;
  ModelNode* previous = nullptr;
  ModelNode* child = nullptr;
  ModelNode* parent = nullptr;
  char name[kModelNameSize] = {};
  int32_t id = 0;
  ModelNode* lastChild = nullptr;  // end of the child chain, so appends do not walk it

  // Appends a child: the first child gets this node as its parent, later ones are appended
  // after the last sibling.
  void AddChild(ModelNode* node);
  // Takes the node out of its sibling chain; its children stay with it.
  void UnlinkNode();
};

struct FrameNode : ModelNode {
  explicit FrameNode(const char* name);
  Matrix4 local;        // transform relative to the parent, identity when made
  Matrix4 world;        // set by UpdateModelFrameWorldMatrices, identity until then
  int32_t rootMatrixFlag = 0;
  Matrix4 rootMatrix;   // applied after the local matrix on id-0 frames while the flag is 1
  int32_t collisionOwner = 0;
};

// One object's collision object on a mesh: objects sharing a model (copies) each have their
// own key and matrix, and share the shape when their collision type and sizes agree.
struct MeshCollisionUse {
  int32_t owner = 0;
  uint32_t key = 0;
  CollShape* shape = nullptr;
  int32_t type = 0;
  float a = 0, b = 0, c = 0;
  bool centreOffsetFlag = false;
  Vector3 centreOffset = {0, 0, 0};
};

struct MeshNode : ModelNode {
  explicit MeshNode(const char* name);
  ~MeshNode() override;

  int32_t drawFlag = 1;
  int32_t texture = 0;          // texture number of the engine, 0 = none
  int32_t textureLoaded = 0;    // 1 when the .x loader got this texture for the node
  char textureName[kModelNameSize] = {};
  MeshMaterial material;
  std::vector<MeshCollisionUse> collisionUses;  // one per object that collides with the mesh
  // The first use's owner, shape, key and centre offset (0 / null / false when none).
  int32_t collisionOwner = 0;
  CollShape* collisionShape = nullptr;
  uint32_t collisionKey = 0;
  Vector3d* collisionVertices = nullptr;   // polygon shape only, shared by its uses
  uint32_t* collisionIndices = nullptr;
  bool centreOffsetFlag = false;
  Vector3 centreOffset = {0, 0, 0};
  uint32_t vertexCount = 0;
  MeshVertex* vertices = nullptr;
  uint32_t indexCount = 0;
  uint16_t* indices = nullptr;
  Device3dVertexBuffer vertexBuffer = 0;
};

// The parent of a node (walks back to the first sibling); null for the root.
ModelNode* ModelNodeParent(const ModelNode* node);

// Animation keys and tracks. Key arrays are allocated with new[] and freed with delete[]; the
// engine may replace them through the setters, which store without freeing.
struct RotationKey {
  float time;
  float w, x, y, z;
};
struct VectorKey {
  float time;
  float x, y, z;
};

struct AnimationTrack {
  ~AnimationTrack();  // frees the three key arrays and then the next track
  AnimationTrack* next = nullptr;
  char frameName[kModelNameSize] = {};
  int32_t frameId = 0;
  uint32_t rotationKeyCount = 0;
  RotationKey* rotationKeys = nullptr;
  uint32_t scaleKeyCount = 0;
  VectorKey* scaleKeys = nullptr;
  uint32_t positionKeyCount = 0;
  VectorKey* positionKeys = nullptr;
  float rotationFloatCount = 0;   // count x 5
  float scaleFloatCount = 0;      // count x 4
  float positionFloatCount = 0;   // count x 4
};

// Head of a track list; deleting it deletes its tracks.
struct AnimationTrackList {
  ~AnimationTrackList();
  void* next = nullptr;  // always null
  AnimationTrack* first = nullptr;
};

void AnimTrackSetName(AnimationTrack& track, const char* name);
int32_t AnimTrackGetFrame(const AnimationTrack& track);
void AnimTrackSetFrame(AnimationTrack& track, int32_t frame);
uint32_t AnimTrackGetRotKeyCount(const AnimationTrack& track);
void AnimTrackSetRotKeyCount(AnimationTrack& track, uint32_t count);
RotationKey* AnimTrackGetRotKeys(const AnimationTrack& track);
void AnimTrackSetRotKeys(AnimationTrack& track, RotationKey* keys);
uint32_t AnimTrackGetScaleKeyCount(const AnimationTrack& track);
void AnimTrackSetScaleKeyCount(AnimationTrack& track, uint32_t count);
uint32_t AnimTrackGetPosKeyCount(const AnimationTrack& track);
void AnimTrackSetPosKeyCount(AnimationTrack& track, uint32_t count);
VectorKey* AnimTrackGetPosKeys(const AnimationTrack& track);
// An empty list head.
AnimationTrackList* InitTrackListNode();
// Links the track after the last one (or as the first).
void AppendTrackListNode(AnimationTrackList& list, AnimationTrack* track);
// Deletes the first track (and so all of them) and clears the head.
void FreeTrackListChain(AnimationTrackList& list);

// The owner number (the 3D object) of a mesh collision key; 0 for a key no mesh holds. The
// engine's collision callback uses it in place of dividing keys.
int32_t ModelCollisionOwner(uint32_t key);
constexpr int32_t kEveryCollisionOwner = 0;

// Arguments of GatherModelGeometry: the mesh filter, the output blocks and running totals.
struct ModelGatherArgs {
  MeshVertex* vertexBlock = nullptr;   // written in mode 2
  uint32_t vertexTotal = 0;
  uint16_t* indexBlock = nullptr;      // written in mode 2
  uint32_t indexTotal = 0;
  uint32_t* vertexCounts = nullptr;    // per mesh, written in mode 2
  uint32_t* indexCounts = nullptr;
  int32_t mode = 0;                    // 2 writes, any other value only counts
  uint32_t meshCounter = 0;
  int32_t idFilter = -1;               // -1 = every id
  int32_t textureFilter = -1;          // -1 = every texture
};

// The model of one 3D object; the 3D engine holds one per object and works it only through
// these methods. Methods without a root do nothing (and answer kModelFail where they report).
class ModelObject {
 public:
  ModelObject() = default;
  ~ModelObject();
  ModelObject(const ModelObject&) = delete;
  ModelObject& operator=(const ModelObject&) = delete;

  // Deletes the tracks and the tree (every node releases its resources first).
  void DestroyModelObject();

  // Loading and making (engine object loaders and mesh commands).
  ModelResult LoadModelX(const char* path);
  // The same from a .x image in memory (the engine's built-in shapes).
  ModelResult LoadModelXMemory(const void* bytes, size_t size);
  ModelResult LoadModelAnimationX(const char* path, float timeOffset, float holdTime);
  // Why the last LoadModelX or LoadModelXMemory failed ("" after a success): the reader's
  // reason ("compressed .x file: ...", "not a .x file ...", a syntax error with its place).
  const std::string& LastLoadError() const { return loadError_; }
  // What a successful load left out, in words ("" when nothing was): each mesh over the most
  // vertices a mesh holds, named with its vertex count and the limit.
  const std::string& LastLoadLeftOut() const { return leftOut_; }
  // A failure says why in *whyNot ("cannot write PATH: REASON").
  ModelResult SaveModelAnimationX(const char* path, std::string* whyNot = nullptr);
  ModelResult MergeModelXFiles(const char* first, const char* second, float timeOffset,
                               float holdTime);
  ModelResult AddUserFrame(int32_t frameId, const ModelMeshData& mesh, int32_t texture);
  ModelResult MakeUserMesh(const ModelMeshData& mesh, int32_t texture, FrameNode* parent,
                           int32_t id);
  ModelResult RebuildModelMeshChecked(int32_t id, const ModelMeshData& mesh);
  // Writes every mesh as a top-level "Mesh" object of a text .x file (positions, triangles).
  ModelResult SaveModelMeshesX(const char* path);

  // Queries.
  ModelResult GetModelFrameName(int32_t id, char* out, size_t outSize);
  ModelResult LinkModelNode(int32_t nodeId, int32_t newParentId);
  ModelResult GetModelBoundingSphere(Vector3& centre, float& radius);
  ModelResult GetModelRadius(Vector3& centre, float& radius);
  ModelResult GetModelSmallestAxisDistance(Vector3& centre, float& value);
  ModelResult GetModelBoundingBox(float& minX, float& minY, float& minZ, float& maxX,
                                  float& maxY, float& maxZ);
  ModelResult GetModelMeshBoundingSphere(int32_t id, Vector3& centre, float& radius);
  ModelResult FindModelFrameMatrix(const char* name, Matrix4*& matrix);
  void GatherModelGeometry(Device3d& device, ModelGatherArgs& args);
  void GetModelMeshTextureByIndex(int32_t id, int32_t n, int32_t& counter, int32_t& texture,
                                  char* name, size_t nameSize);
  ModelResult GetModelMeshGeometry(const char* name, MeshVertex*& vertices,
                                   uint32_t& vertexCount, uint16_t*& indices,
                                   uint32_t& indexCount);
  int32_t GetModelNodeCount() const { return nodeCount_; }
  // Visits every mesh with the matrix composed from the root frame down (the root's own matrix,
  // an object's placement, included): the engine copies meshes out in world space with it.
  void VisitModelMeshesComposed(const std::function<void(const MeshNode&, const Matrix4&)>& visit) const;
  void ListModelFrames();
  // A visit of every node with an id and a value, on which no node acts: the model stays as
  // it was (kept for callers that pass a visit through the tree).
  void VisitModelNodes(int32_t id, int32_t value);
  // Takes one argument and does nothing; 0, with or without a model.
  ModelResult ModelNoOp(int32_t value);

  // Frames and poses (object commands and the animation step).
  void ApplyModelFramePose(const Matrix4* poses, size_t count);
  void SetModelRootMatrix(int32_t flag, const Matrix4& matrix);
  void GetModelRootMatrixPointer(Matrix4*& out);
  void SetModelFrameTransform(int32_t id, float x, float y, float z, float ax, float ay,
                              float az, float sx, float sy, float sz, int32_t order);
  void SetModelFrameMatrix(int32_t id, float x, float y, float z, const Matrix4& matrix,
                           float sx, float sy, float sz);
  void SetModelFrameMatrixDirect(int32_t id, const Matrix4& matrix);
  void GetModelFrameMatrix(int32_t id, Matrix4& out);
  void GetModelFrameWorldMatrix(int32_t id, Matrix4& out);
  void ScaleModelFrameOffset(int32_t id, float sx, float sy, float sz);
  void ScaleModelFrameOffsets(float sx, float sy, float sz);

  // Meshes.
  void SetModelMeshTexture(int32_t id, int32_t texture);
  void GetModelMeshTexture(int32_t id, int32_t& out);
  void GetModelMeshTextureName(int32_t id, char* out, size_t outSize);
  void ReadModelMeshTexture(int32_t id, int32_t& out);
  void ScaleModelMesh(int32_t id, float sx, float sy, float sz);
  void ScaleModelMeshes(float sx, float sy, float sz);
  void RefillModelVertexBuffers(float scale);
  void RebuildModelMeshFromRecord(int32_t id, const ModelMeshData& mesh);
  void SetModelMeshVisible(int32_t id, int32_t flag);
  void ScrollModelMeshUV(int32_t id, float du, float dv);
  void ScaleModelMeshUV(int32_t id, float su, float sv);

  // Rendering (the engine's renderer and display restore).
  // Registers each mesh's texture in the texture depth list with the value (a new texture is
  // appended, a listed one takes the mean of its value and this one); when meshEntries is
  // given, appends the index of each mesh's entry in the list (the renderer's buckets).
  ModelResult CollectModelTextureDepths(double value, std::vector<uint32_t>* meshEntries = nullptr);
  ModelResult DrawModel(Device3d& device, int32_t textureFilter);
  ModelResult UpdateModelFrameWorldMatrices(Device3d& device);
  ModelResult RecreateModelVertexBuffers();

  // Collision (the engine's collision commands and pass).
  // Each owner (a 3D object; copies share the model) has its own collision objects; owner
  // kEveryCollisionOwner stands for all of them.
  ModelResult BuildModelCollision(int32_t owner, int32_t type, float a, float b, float c);
  ModelResult RemoveModelCollision(int32_t owner = kEveryCollisionOwner);
  ModelResult BuildModelMeshCollision(int32_t owner, int32_t id, int32_t type);
  ModelResult RemoveModelMeshCollision(int32_t id);
  ModelResult UpdateModelCollisionTransforms(Device3d& device,
                                             int32_t owner = kEveryCollisionOwner);

  ModelNode* Root() const { return root_; }
  AnimationTrackList* Tracks() const { return tracks_; }
  // Gives the model a track list (the engine's keying on a model without animation): the
  // model owns it from then on and deletes the list it had.
  void SetModelTracks(AnimationTrackList* tracks);

 private:
  ModelNode* root_ = nullptr;
  int32_t nodeCount_ = 0;
  AnimationTrackList* tracks_ = nullptr;
  std::string loadError_;
  std::string leftOut_;
};

// The texture depth list the renderer reads (one entry per texture number) and empties.
struct TextureDepthEntry {
  int32_t texture;
  double value;
};
const TextureDepthEntry* ModelTextureDepths(size_t& count);
void ModelClearTextureDepths();

// Converts a 3DS scene file into a .x text file: 0, or -4 when the source cannot be read. A
// file that is not 3DS gives a .x file of the header alone; a destination that cannot be
// written is left as it was (still 0: the caller checks for the file).
int32_t Convert3dsToX(const char* source, const char* destination);
