// The static world: level geometry that never moves, copied out of 3D objects, grouped by
// texture and drawn in batches through one vertex buffer, culled by the camera and by occluders,
// saved to and loaded from its own file, with axis-aligned collision boxes and their queries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "math3d/math3d.h"
#include "platform/device3d.h"

// What the world needs of its host (the 3D engine's texture cache and statistic), handed over
// once with StaticWorldInit; null members fall back to harmless defaults.
struct StaticWorldHost {
  // One more reference of a texture (a group holds one while it exists).
  void (*RetainTexture)(int32_t texture);
  // Drops one reference (force 0 from here).
  void (*ReleaseTexture)(int32_t texture, int32_t force);
  // Texture of a file, shared through the cache (reference + 1) or loaded; -1 when it cannot be.
  int32_t (*GetTextureByFile)(const char* name, int32_t flag);
  // Writes the texture's picture to the file (the writer is chosen by the name's ending);
  // false when the texture has no picture or the file cannot be written.
  bool (*SaveTexture)(int32_t texture, const char* path);
  // Makes the texture the device's stage-0 texture (0 = none).
  void (*SetDeviceTexture)(int32_t texture);
  // Adds a draw's index count to the engine's per-frame statistic.
  void (*AddDrawnIndices)(uint32_t count);
};

// main.cpp wiring (through the engine) and tests: hands the world its host callbacks (copied).
void StaticWorldInit(const StaticWorldHost* host);

using StaticVertex = Device3dVertex;  // x, y, z, nx, ny, nz, u, v: 32 bytes

// One mesh of the world (its group owns it).
struct StaticMesh {
  std::vector<StaticVertex> vertices;  // empty once freed (occluder-only meshes)
  std::vector<uint16_t> indices;       // triangle list, a multiple of 3
  int32_t owner = 0;                   // 0 level geometry, > 0 the object it can be given back to
  float centre[3] = {0, 0, 0};
  float radius = 0;                    // 1.25 x the largest distance of a vertex from the centre
  float lowerReach = 0;                // vertical extent of the occlusion test with reducedHeight
  uint8_t visible = 0;                 // this frame's culling result
  uint8_t occluder = 0;                // hides meshes behind it (its occluder box is built)
  uint8_t reducedHeight = 0;
  uint8_t occluderOnly = 0;            // only hides others: never drawn, geometry freed
  uint8_t fullHeight = 0;              // its occluder rectangle spans the screen's height
  float occluderCorners[8][3] = {};    // inner box corners relative to the centre
  uint8_t activeOccluder = 0;
  float occluderRect[4] = {0, 0, 0, 0};  // min x, min y, max x, max y in projected units
  float occluderDepth = 0;
  const StaticMesh* enclosing = nullptr;  // owner > 0: the level mesh it is drawn with
  StaticMesh* nextOccluder = nullptr;     // this frame's occluder list
};

struct StaticTextureGroup {
  int32_t texture = 0;  // the engine's texture number, 0 = untextured
  std::vector<std::unique_ptr<StaticMesh>> meshes;
};

// An axis-aligned collision box; (x1, y1, z1) is the low corner.
struct CollisionBox {
  float x1, y1, z1, x2, y2, z2;
};

constexpr uint32_t kStaticDefaultCapacity = 4000;
constexpr uint32_t kStaticBatchVertices = 300;

// The one world of the process: created empty at start-up, released at the end of each run.
struct StaticWorld {
  std::vector<StaticTextureGroup> groups;  // in order of creation
  std::vector<CollisionBox> boxes;         // in order of addition
  uint32_t capacity = 0;                   // vertices the batch buffer holds; 0 without one
  Device3dVertexBuffer vertexBuffer = 0;
  uint32_t indexCapacity = 0;
  std::vector<uint16_t> indexScratch;      // one batch's indices
};
const StaticWorld& GetStaticWorld();

// The camera facts the culling reads, from the engine each frame.
struct StaticView {
  Matrix4 world;       // the world transform the world draws under
  Matrix4 camera;      // the camera's rotation and translation (its view matrix)
  Matrix4 projection;
  float farPlane = 3000.0f;
  bool occlusion = true;  // occluders hide meshes behind them
};

// The engine's scene reset (with its device) makes the batch buffer; growing re-creates it.
void CreateStaticVertexBuffer(uint32_t capacity);
void CreateStaticVertexBufferDefault();
// Adds one mesh: positions and normals 3 floats per vertex, texture coordinates 2 (any of them
// may be null: zeros), the face list of the engine's mesh records (per face a corner count n,
// then n pairs of vertex and normal index) bounded by faceWords. False, with nothing added,
// for a mesh without vertices or triangles, or one whose faces index past its vertices.
bool AddStaticMesh(int32_t texture, const float* positions, const float* normals, const uint32_t* faces,
                   size_t faceWords, const float* uvs, uint32_t vertexCount, uint32_t faceCount, bool occluder,
                   bool secondFlag, int32_t owner, bool fullHeight);
// Deletes every mesh of the owner; groups emptied stay.
void RemoveStaticMeshes(int32_t owner);
// Deletes every box and every group (releasing their textures); the buffer stays.
void ClearStaticWorld();
// End of a run: clears the world and lets the buffer and the index scratch go (capacity 0).
void ReleaseStaticWorld();
bool StaticWorldHasGroups();
// The engine's render, with the device's world transform set: culls, then draws every group's
// visible meshes in batches of fewer than 300 vertices.
bool DrawStaticWorld(const StaticView& view);

// Culling (static_cull.cpp).
void CullStaticWorld(const StaticView& view);
void BuildStaticOccluderBox(StaticMesh& mesh);
float StaticPointDistance(float x1, float y1, float z1, float x2, float y2, float z2);

// The file format (static_file.cpp). Texture files go beside the world file as
// "<path>_<texture number>.dds".
// The world file replaces the old one only once written whole; false with the reason
// ("cannot write PATH: REASON") in *whyNot. A texture file that cannot be written is left out.
bool SaveStaticWorld(const char* path, std::string* whyNot = nullptr);
// Loads into a new world and puts it in place only when the whole file reads; a missing,
// empty, truncated or damaged file changes nothing. whyNot gets the reason of a refusal.
// The texture files are named after textureName when given (the world's name as the program
// wrote it, where path is a copy extracted from a game's package), else after path.
bool LoadStaticWorld(const char* path, std::string* whyNot = nullptr, const char* textureName = nullptr);
// The same from bytes in memory (path names the texture files). Fuzzed.
bool LoadStaticWorldFromMemory(const uint8_t* data, size_t size, const char* path, std::string* whyNot);
// The exact bytes the world saves as (textures not written).
std::vector<uint8_t> StaticWorldFileBytes();

// Collision boxes and their queries (static_boxes.cpp).
void AddStaticCollisionBox(float x1, float y1, float z1, float x2, float y2, float z2);
// Pushes a box that moved from `before` to `after` (each min x, y, z, max x, y, z) out of every
// box it now overlaps, along the face it most likely came through; 1 when it overlapped one.
int32_t PushBoxOutOfStaticBoxes(const float before[6], const float after[6], float response[3]);
// Walks a sphere from start to end in unit steps; 1 when it enters a box its first step was not
// already in, with the last free point before the earliest entry in response.
int32_t QueryStaticBoxes(const float start[3], const float end[3], float radius, float step, float response[3]);
