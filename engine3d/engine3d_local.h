// Declarations shared only inside the 3D engine: the scene settings, the device defaults,
// the render-state cache and the command tables of each family.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine3d/engine3d.h"
#include "platform/device3d.h"

// Command tables of each family, registered together by RegisterEngine3dCommands.
struct CommandTableView {
  const CommandEntry* entries;
  size_t count;
};

// Scene-wide settings the commands change and the render reads; reset by InitScene3D.
struct SceneSettings {
  float ambientShare;          // 0..1: the lit material's ambient part
  uint32_t ambientColour;      // the device's ambient light, 0xRRGGBB
  bool fogEnabled;
  uint32_t fogColour;
  float fogStart, fogEnd;
  bool normalizeNormals;
  bool wireframeAll;           // the static world's fill mode
  uint32_t addressMode;        // the static world's stage-0 address mode
  bool backdropOn;
  uint32_t backdropColour;
  bool autoBackdrop;           // making an object switches the backdrop on
  int32_t backdropObject;      // object drawn behind the scene with the start-up view; 0 none
  int32_t renderStage;         // 0 pre-step, 1 post-step
  bool sceneOn;                // the 3D-on flag the render checks
  bool redraw;                 // set by projection changes
};
SceneSettings& Scene();

// Device capabilities read when the device is set up (fixed for OpenGL).
struct DeviceCaps {
  int blendMode;       // 0..9, the ghost blend pair
  int darkBlendMode;   // 0 or 5..7, the second ghost pair
  int filterMode;      // 0 none, 1 linear, 2 anisotropic
  bool colourKeying;
  bool blendFlag;      // SRCBLEND ONE rather than SRCALPHA for plain colour keying
  uint32_t ghostSource[2], ghostDest[2];  // the two ghost blend pairs
};
const DeviceCaps& Caps();

// What the device was last told, so the render sends a state only when it changes. Filled by
// SetupDeviceDefaults; persists across frames.
struct RenderStateCache {
  uint32_t zEnable, zWrite;
  int blendSelector;  // bit 0 blending, bit 1 colour key
  int ghostMode;
  uint32_t fillMode, cullMode;
  int filtering;      // 1 filtered, 0 point sampled
  int material;       // 1, 2 or 3
  int fog;
  int normalize;
  uint32_t addressMode;
};
RenderStateCache& StateCache();

Device3d& Dev();
// A pool configuration of the engine's records (no init or release callbacks).
RecordPool MakeRecordPool(const char* name, int32_t recordSize, int32_t initialCapacity, int32_t growMargin);
// Size of the back buffer the scene renders into (640 x 480 without one).
void TargetSize(int& width, int& height);
// Height over width of that back buffer: the projections scale x by it so pixels stay square
// in every display mode (0.75 on a 4:3 screen).
float TargetAspect();
// Device defaults of a fresh scene: render states, blend pairs, the three materials, the
// default projection and view. Fills the render-state cache.
void SetupDeviceDefaults();
// The three materials of the render: 1 lit, 2 full bright, 3 unlit ambient.
void ApplyMaterialSelection(int material);
void RebuildMaterials();
// Forgets what the render-state cache holds so every state is sent again.
void InvalidateRenderStateCache();

// Camera internals (camera.cpp).
void ResetCamera();
// Makes the projection from the camera's field of view and planes; false when they make none
// (the projection then stays as it was).
bool SetCameraProjection();
void UpdateCameraLookAt();
void UpdateCameraView();
void RebuildCameraForMode();
// The view matrix the device had when the scene was set up (backdrop and locked entities).
const Matrix4& StartupViewMatrix();
void CopyCameraAnglesToPrevious();
void SetCameraAnglesDegrees(float ax, float ay, float az);

// Lights (lights.cpp).
RecordPool* LightPool();
bool CreateLight();
void RecreateLights();
void ReleaseAllLights();

class ModelObject;
struct ListNode;

// One limb per frame of the object's model.
struct LimbRecord {
  int32_t exists, visible;
  int32_t imageNumber, imageRecord;
  float offset[3];
  float angles[3];  // degrees
  float scale[3];
  int32_t link;     // 1 for a limb made by SetupLimb, 0 for one taken from a loaded model
  int32_t mesh;     // the mesh number it was made from or changed to (0 for a loaded limb)
  int32_t texture;  // the image number it shows (texture limb, texture object, make object), 0 none
  float worldPosition[3], worldAngles[3];  // where the limb was last asked to be in the world
  int32_t heldTexture;   // the texture this object holds one reference of for the limb, 0 none
  int32_t collisionOff;  // 1 after set limb collision 0: the limb's mesh stays out of collisions
};

// One 3D object (pooled; records move when the pool grows: keep indices).
struct ObjectRecord {
  RecordLinks links;
  int32_t inUse, isStatic, created;
  int32_t entity;   // SpriteRecord index of the display entity
  int32_t number;   // the program's object number
  float angles[3];  // degrees, in [0, 360)
  float scale[3];   // 1.0 = 100 percent
  int32_t rotationOrder;  // 0 X then Y then Z, 1 Z then Y then X
  int32_t ownMatrixFlag;
  Matrix4 ownMatrix;
  int32_t gluedObject, gluedLimb;  // the number of the object this one is glued to (0 none), its limb
  int32_t collisionOn, lastHit;
  ModelObject* model;     // owned
  int32_t limbCount;
  float totalFrames;
  int32_t playing, looping;
  float frame, speed, startFrame, endFrame;
  int32_t pending;
  float interpolation;
  // Per-limb transition arrays of the animation (owned, limbCount elements each).
  float (*startRotation)[4];
  float (*targetRotation)[4];
  Vector3* startScale;
  Vector3* targetScale;
  Vector3* startPosition;
  Vector3* targetPosition;
  float targetFrame, blendProgress;
  ListNode* playingNode;
  int32_t shapeKind;
  float sphereRadius;
  Vector3 sphereCentre;
  float secondRadius;
  float size[3];
  float boxMin[3], boxMax[3], boxCentre[3];
  int32_t hitObject, askedObject;
  int32_t limbCapacity;
  LimbRecord* limbs;  // owned
  int32_t appliedTexture;  // texture the texture and colour commands gave every mesh (one reference)
  float collisionSize[3];  // the sizes the collision shapes of the shape kind were built with
  uint8_t boxCollision, rotatedBox, hitFlag, worldMatrixDone;
  uint8_t placementDirty;  // set by MarkObjectMoved: placement is rebuilt before its next use
  uint8_t collisionMoved;  // its collision shapes are placed again at the next collision pass
  Matrix4 placement;       // scale x rotation x translation from the entity position, angles, scale
  float ownPoseFrame;      // the frame its own keys last placed it at; -1 none, or asked to again
};

// Object records (objects.cpp). Slots are pool indices.
RecordPool* ObjectPool();
ObjectRecord* ObjectAt(int32_t slot);
// How many objects hold the model (copies share their source's); 0 for none.
int32_t ModelHolderCount(ModelObject* model);
// The slot of an object number, -1 when there is none (no check, no error).
int32_t ObjectSlotForNumber(int32_t number);
// The shared number checks: 1..65535 (7006) and an existing object (7008); -1 after the error.
int32_t ExistingObject(int32_t number);
// Every change of an object's position, angles, scale or rotation order goes through this:
// the cached placement is rebuilt at its next use, and the collision pass moves the object.
void MarkObjectMoved(int32_t slot);
// Sets the model's root frame from the object's placement (rebuilt first when it was marked
// moved). Copies share a model, so each draw and collision update sets it again.
void UpdateObjectTransform(int32_t slot);
void ReleaseAllObjects();
// The slots of every object holding the object's model (copies share it), the object first.
std::vector<int32_t> ObjectsSharingModel(int32_t slot);
// A limb made or taken over for the object (exists, shown, at its parent's place); the limb
// count and the per-limb animation arrays grow to hold it.
void AddObjectLimb(int32_t slot, int32_t limb);
// Lets go of the textures the object's limbs hold (their meshes show another one now).
void ReleaseLimbTextures(int32_t slot);
// The bounding sphere, box and sizes read again from the model (its meshes changed).
void RefreshObjectBounds(int32_t slot);
// The turn the object draws with: from its own matrix in free rotation, else from its angles
// in its rotation order.
void ObjectRotation(int32_t slot, Matrix4& out);
// The limb's matrix in the world (the object's place, its glue and the frames above the limb
// included); false when the model has no frame of that number.
bool LimbWorldMatrix(int32_t slot, int32_t limb, Matrix4& out);
// The angles (degrees, each in [0, 360)) that rebuild a pure turn in the rotation order.
void AnglesOfTurn(const Matrix4& turn, int32_t order, float angles[3]);
// Turns the object to the pure turn (free rotation: its own matrix, its angles follow); the
// turn commands and the animation of the object's own keys (object_rotation.cpp).
void SetObjectTurn(int32_t slot, const Matrix4& turn);
// Releases one object (its number becomes free).
void ReleaseObjectSlot(int32_t slot);
// Every object's model remakes its vertex buffers (after a display reset).
void RestoreObjectModels();
// The collision pass is due and places every object's shapes again (a change that may move
// others: a release, a pose of a model that copies share).
void MarkCollisionDirty();
// The collision pass is due and places this object's shapes again (new shapes, a pose, glue).
void MarkObjectCollisionChanged(int32_t slot);
// Reads and clears whether the pass is due, and whether it places every object.
bool TakeCollisionDirty(bool* everyObject);

// Collision (collision.cpp). Start-up: hands the collision library its log hook.
void ConnectCollision();
// Scene reset: every pass tests every pair of collision objects, answered by the engine.
void ResetCollision3D();
// Builds the object's collision shapes from its shape kind and sizes, keyed by its number
// (nothing while its collision is off).
void BuildObjectCollision(int32_t slot);
// After object animation: when anything moved, gives every collision-enabled object's meshes
// their world matrices; the pair tests of that placing are then due.
void RunCollisionPass();
// The due pair tests (broad-phase pairs): clears every hit and records the contacts. Run by
// whatever reads a hit, and before the library's objects or the objects' collision switches
// change, so the results are those of the last sync's placing.
void RunDueCollisionTests();
// End of a run: due tests are dropped with the objects.
void DropDueCollisionTests();
CommandTableView CollisionCommandTable();
// Camera placement for a new object (camera.cpp).
void PlaceCameraInFrontOf(const Vector3& centre, float radius);

// Animation (animation.cpp).
void UnlinkPlayingObject(int32_t slot);
void ComputeTotalFrames(int32_t slot);
void ReleasePlayingList();
CommandTableView AnimationCommandTable();
CommandTableView ObjectCommandTable();
CommandTableView ObjectSettingCommandTable();
CommandTableView ObjectRotationCommandTable();
CommandTableView LimbCommandTable();

// The frame (render.cpp, animation.cpp).
// The pre-step's first step in a program that works in 3D: the whole screen's colour and
// depth cleared, before the backdrop, the scene and the frame's 2D drawing.
void ClearViewport();
void RenderBackdrop();
void RenderScene3D();
void RenderScene3DIfOn(int stage);
void AnimateObjects();
// The world transform a glued object draws under: the world matrix of the limb it is glued
// to, in the world of the object that limb belongs to (itself maybe glued); identity for an
// object that is not glued.
constexpr int kGlueChainLimit = 10;
void GluedWorldTransform(int32_t slot, Matrix4& world);
// The visibility test of the render at the query's depth: screen x, y of the centre; true
// when visible.
bool ObjectScreenPosition(int32_t entity, int32_t* screenX, int32_t* screenY);

// The object facts a light takes (objects.cpp): checks the number (7006, 7008) and gives
// the entity's position, the angles in degrees and the own matrix with its flag.
bool ObjectForLight(int32_t object, float position[3], float angles[3], int32_t* ownMatrixFlag,
                    Matrix4* ownMatrix);

// Textures (textures.cpp).
RecordPool* TexturePool();
// The folder texture files of the model being loaded are looked for in ("" = none).
void SetModelFolder(const std::string& folder);
// A texture of a surface's pixels (not cached; released when its one reference goes).
int32_t TextureFromSurface(const Surface& surface);
// One more reference of a texture (an object sharing a model takes the texture it shows).
void RetainTexture(int32_t texture);
// Writes the texture's picture to the file, the writer chosen by the name's ending; false for
// no texture or a file that cannot be written, with the reason in *whyNot ("cannot write
// PATH: No space left on device").
bool SaveTextureFile(int32_t texture, const char* path);
bool SaveTextureFile(int32_t texture, const char* path, std::string* whyNot);
// Restarts the per-frame statistic (start of every render).
void ResetDrawnIndices();
void ReleaseAllTextures();

// A float truncated toward zero into an integer; out of range or NaN values (key times
// come from files) give the nearest limit or 0 instead of undefined behaviour.
inline int32_t TruncateFloat(float value) {
  if (!(value == value)) return 0;
  if (value >= 2147483647.0f) return INT32_MAX;
  if (value <= -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// Angle wrapping of the object commands: into [0, 360) in at most 100 rounds, else 0.
inline float WrapAngle360(float angle) { return WrapAngleBounded(angle); }
// The object family's own degree factors.
inline float ObjectDegToRad(float x) { return x * 0.01745f; }

CommandTableView CameraCommandTable();
CommandTableView LightCommandTable();
CommandTableView SceneCommandTable();

// Mesh records (meshes.cpp): numbered meshes 1..65534 and the temporary meshes commands build
// with. Pooled; the arrays each record owns are freed with it.
struct MeshRecord {
  RecordLinks links;
  int32_t inUse;
  int32_t number;        // the program's mesh number, 0 for a temporary mesh
  uint32_t vertexCount, normalCount, faceCount;
  uint32_t faceWords;    // words of the face list: per face n, then n (vertex, normal) pairs
  float* positions;      // 3 per vertex
  float* normals;        // 3 per vertex
  uint32_t* faces;
  float* uvs;            // 2 per vertex
};
RecordPool* MeshPool();
// A fresh empty record (-1 with error 101); FreeMeshSlot frees its arrays with it.
int32_t AllocMeshSlot();
void FreeMeshSlot(int32_t slot);
MeshRecord* MeshAt(int32_t slot);
// The slot of a mesh number, -1 when there is none (no check, no error).
int32_t MeshSlotForNumber(int32_t number);
struct MeshNode;
// Appends a model mesh to the record, its positions through the matrix and its normals through
// the matrix's rotation (renormalised), one three-cornered face per triangle.
void AppendMeshGeometry(int32_t slot, const MeshNode& mesh, const Matrix4& matrix);
// The record as the models library takes a mesh.
struct ModelMeshData;
ModelMeshData MeshDataOf(const MeshRecord& record);
// End of a run: every numbered mesh goes.
void ReleaseAllMeshes();
CommandTableView MeshCommandTable();

// The static world (static_commands.cpp): its host callbacks, and the view the render culls
// it with.
void ConnectStaticWorld();
// The render's step that draws the static world (with its render states) when it has groups.
void DrawStaticWorldStep();
// The render states the static world draws with (render.cpp).
void ApplyStaticWorldRenderStates();
// Scene reset: the static queries' response back to zero.
void ResetStaticResponse();
CommandTableView StaticCommandTable();
