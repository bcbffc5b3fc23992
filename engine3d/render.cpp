// The per-frame 3D render: backdrop, visibility test, drawing by texture, the ghost,
// after-clear and locked passes, render states per entity, and the screen-position query.
#include "engine3d/engine3d_local.h"
#include "graphics2d/graphics2d.h"
#include "models/models.h"
#include "models/static/static_world.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Set by the backdrop when it opened the frame's scene; cleared at its next run.
bool g_sceneBegun = false;

constexpr float kCullMargin = 1.25f;
constexpr double kFarthestKey = 19999999.9;
constexpr float kLockedFov = 3.14159265f / 2.905f;

// The shared visibility test: view depth z, the projected centre and radius, and how many
// tests failed. xyFrom is the depth from which the screen tests count.
struct Visibility {
  float z, radius, cx, cy;
  int failures;
};

Visibility TestVisibility(const SpriteRecord* entity, float xyFrom) {
  Visibility v{};
  const ObjectRecord* object = ObjectAt(entity->object);
  float s = 0.0f;
  for (float factor : object->scale) s = factor > s ? factor : s;
  v.radius = object->sphereRadius * kCullMargin * s;
  const CameraState& camera = Camera();
  Vector3 centre{entity->position3D[0], entity->position3D[1], entity->position3D[2]};
  TransformPoint(centre, centre, camera.world);
  TransformPoint(centre, centre, camera.view);
  v.z = centre.z;
  Vector3 edge{v.radius, 0, v.z}, projected = centre;
  TransformPoint(edge, edge, camera.projection);
  TransformPoint(projected, projected, camera.projection);
  const float r = edge.x;
  v.cx = projected.x;
  v.cy = projected.y;
  if (v.z >= xyFrom) {
    v.failures += v.cx + r < -1.0f;
    v.failures += v.cx - r > 1.0f;
    v.failures += v.cy + r < -1.0f;
    v.failures += v.cy - r > 1.0f;
  }
  v.failures += v.z + v.radius < 0.0f;
  v.failures += v.z - v.radius > camera.farPlane;
  return v;
}

void SetTextureFiltering() {
  const int mode = Caps().filterMode;
  if (mode <= 0) {
    Dev().SetTextureStageState(Device3dStageState::kMinFilter, kFilterPoint);
    Dev().SetTextureStageState(Device3dStageState::kMagFilter, kFilterPoint);
    return;
  }
  const uint32_t filter = mode == 2 ? kFilterAnisotropic : kFilterLinear;
  Dev().SetTextureStageState(Device3dStageState::kMinFilter, filter);
  Dev().SetTextureStageState(Device3dStageState::kMagFilter, filter);
}

void SetPointFiltering() {
  Dev().SetTextureStageState(Device3dStageState::kMinFilter, kFilterPoint);
  Dev().SetTextureStageState(Device3dStageState::kMagFilter, kFilterPoint);
}

void SetBlend(int selector, int ghostMode) {
  RenderStateCache& cache = StateCache();
  if (selector == cache.blendSelector && ghostMode == cache.ghostMode) return;
  cache.blendSelector = selector;
  cache.ghostMode = ghostMode;
  Device3d& d = Dev();
  d.SetRenderState(Device3dState::kAlphaBlendEnable, selector & 1);
  d.SetRenderState(Device3dState::kColorKeyEnable, (selector >> 1) & 1);
  if (selector & 1) {
    const int pair = ghostMode == 1 ? 1 : 0;
    d.SetRenderState(Device3dState::kSrcBlend, Caps().ghostSource[pair]);
    d.SetRenderState(Device3dState::kDestBlend, Caps().ghostDest[pair]);
  } else {
    d.SetRenderState(Device3dState::kSrcBlend, Caps().blendFlag ? kBlendOne : kBlendSrcAlpha);
    d.SetRenderState(Device3dState::kDestBlend, kBlendInvSrcAlpha);
  }
}

template <typename Value>
void SendIfChanged(Value& cached, Value wanted, Device3dState state, uint32_t deviceValue) {
  if (cached == wanted) return;
  cached = wanted;
  Dev().SetRenderState(state, deviceValue);
}

void ApplyEntityRenderStates(const SpriteRecord* e, bool backdropEntity) {
  RenderStateCache& cache = StateCache();
  const bool depthOff = backdropEntity || e->locked == 1;
  const uint32_t zEnable = depthOff ? 0u : static_cast<uint32_t>(e->zTest);
  const uint32_t zWrite = depthOff ? 0u : (e->zWrite == 1 && e->ghost == 0 ? 1u : 0u);
  SendIfChanged(cache.zEnable, zEnable, Device3dState::kZEnable, zEnable);
  SendIfChanged(cache.zWrite, zWrite, Device3dState::kZWriteEnable, zWrite);
  int selector = Caps().blendMode > 0 && e->ghost == 1 ? 1 : 0;
  if (Caps().colourKeying && e->colourKey == 1) selector += 2;
  SetBlend(selector, e->ghostMode);
  const uint32_t fill = e->wireframe == 1 ? kFillWireframe : kFillSolid;
  SendIfChanged(cache.fillMode, fill, Device3dState::kFillMode, fill);
  const uint32_t cull = e->cull == 1 ? kCullCcw : kCullNone;
  SendIfChanged(cache.cullMode, cull, Device3dState::kCullMode, cull);
  const int filtering = e->filter == 1 ? 1 : 0;
  if (cache.filtering != filtering) {
    cache.filtering = filtering;
    if (filtering)
      SetTextureFiltering();
    else
      SetPointFiltering();
  }
  ApplyMaterialSelection(e->fullBright == 1 ? 2 : e->ambient == 1 ? 1 : 3);
  if (Scene().fogEnabled) {
    const int fog = e->fog == 1 ? 1 : 0;
    SendIfChanged(cache.fog, fog, Device3dState::kFogEnable, static_cast<uint32_t>(fog));
  }
  const int normalize = Scene().normalizeNormals ? 1 : 0;
  SendIfChanged(cache.normalize, normalize, Device3dState::kNormalizeNormals, static_cast<uint32_t>(normalize));
  if (cache.addressMode != static_cast<uint32_t>(e->addressMode)) {
    cache.addressMode = static_cast<uint32_t>(e->addressMode);
    Dev().SetTextureStageState(Device3dStageState::kAddress, cache.addressMode);
  }
}

}  // namespace

// The static world's states: depth on, no blending, the global fill and address modes, back
// faces culled, filtered, the lit material, fog when enabled.
void ApplyStaticWorldRenderStates() {
  RenderStateCache& cache = StateCache();
  SendIfChanged(cache.zEnable, 1u, Device3dState::kZEnable, 1u);
  SendIfChanged(cache.zWrite, 1u, Device3dState::kZWriteEnable, 1u);
  if (cache.blendSelector != 0 || cache.ghostMode != 0) {
    Dev().SetRenderState(Device3dState::kAlphaBlendEnable, 0);
    Dev().SetRenderState(Device3dState::kColorKeyEnable, 0);
    Dev().SetRenderState(Device3dState::kSrcBlend, Caps().ghostSource[0]);
    Dev().SetRenderState(Device3dState::kDestBlend, Caps().ghostDest[0]);
    cache.blendSelector = cache.ghostMode = 0;
  }
  const uint32_t fill = Scene().wireframeAll ? kFillWireframe : kFillSolid;
  SendIfChanged(cache.fillMode, fill, Device3dState::kFillMode, fill);
  SendIfChanged(cache.cullMode, static_cast<uint32_t>(kCullCcw), Device3dState::kCullMode, kCullCcw);
  if (cache.filtering != 1) {
    cache.filtering = 1;
    SetTextureFiltering();
  }
  ApplyMaterialSelection(1);
  if (Scene().fogEnabled) SendIfChanged(cache.fog, 1, Device3dState::kFogEnable, 1u);
  const int normalize = Scene().normalizeNormals ? 1 : 0;
  SendIfChanged(cache.normalize, normalize, Device3dState::kNormalizeNormals, static_cast<uint32_t>(normalize));
  if (cache.addressMode != Scene().addressMode) {
    cache.addressMode = Scene().addressMode;
    Dev().SetTextureStageState(Device3dStageState::kAddress, cache.addressMode);
  }
}

namespace {

// Draws the object's model under the identity world transform; the model's root frame
// carries the object's place (set again here, as copies share one model).
void DrawEntityObject(int32_t slot, int32_t textureFilter) {
  ObjectRecord* object = ObjectAt(slot);
  if (object->model == nullptr) return;
  Matrix4 world;
  GluedWorldTransform(slot, world);
  UpdateObjectTransform(slot);
  Dev().SetTransform(Device3dTransform::kWorld, world.m);
  ObjectAt(slot)->model->DrawModel(Dev(), textureFilter);
  ObjectAt(slot)->worldMatrixDone = 0;
}

void DrawEntity(SpriteRecord* e, int32_t textureFilter) {
  ApplyEntityRenderStates(e, false);
  DrawEntityObject(e->object, textureFilter);
}

bool Drawable(const SpriteRecord* e) { return e->shown == 1 && e->selected == 1 && e->culled == 0; }

// Work lists of one frame, kept between frames so a frame allocates nothing once the scene's
// size is reached.
struct FrameLists {
  std::vector<int32_t> entities;        // the active list in order
  std::vector<uint32_t> meshEntries;    // per selected entity, its meshes' texture entries
  std::vector<uint32_t> entryStart;     // per entity: its first mesh entry (and one past the last)
  std::vector<uint32_t> drawOrder;      // texture entries, nearest key first
  std::vector<uint32_t> rankOf;         // texture entry -> its place in drawOrder
  std::vector<int32_t> lastEntity;      // texture entry -> the last entity put in its bucket
  std::vector<uint32_t> bucketStart;    // per place in drawOrder: its first solid entity
  std::vector<int32_t> bucketed;        // solid entities grouped by texture, list order kept
  std::vector<std::pair<double, int32_t>> picks;  // the ordered passes: key and list position
};
FrameLists g_lists;

// The active list in order.
void CollectEntities(std::vector<int32_t>& list) {
  list.clear();
  for (int32_t index = FirstSpriteIndex(); index != -1; index = SpriteAt(index)->next) list.push_back(index);
}

// Texture entries in draw order, nearest key first; of equal keys the earlier entry first
// (the order one bubble pass per entry gives). Keys that are not numbers stop bubbles, so
// only then are the passes run as such.
void OrderTextures(const TextureDepthEntry* depths, size_t count, std::vector<uint32_t>& order) {
  order.resize(count);
  bool anyNan = false;
  for (size_t i = 0; i < count; ++i) {
    order[i] = static_cast<uint32_t>(i);
    anyNan = anyNan || std::isnan(depths[i].value);
  }
  if (!anyNan) {
    std::stable_sort(order.begin(), order.end(),
                     [depths](uint32_t a, uint32_t b) { return depths[a].value < depths[b].value; });
    return;
  }
  for (size_t pass = 0; pass < count; ++pass)
    for (size_t i = 0; i + 1 < count; ++i)
      if (depths[order[i + 1]].value < depths[order[i]].value) std::swap(order[i], order[i + 1]);
}

// The solid pass: each texture in draw order, then each entity showing it in list order;
// each entity is bucketed once per texture of its meshes, so the pass is linear in them.
void DrawSolidPass(const TextureDepthEntry* depths) {
  FrameLists& l = g_lists;
  const size_t textures = l.drawOrder.size();
  l.rankOf.assign(textures, 0);
  for (size_t place = 0; place < textures; ++place) l.rankOf[l.drawOrder[place]] = static_cast<uint32_t>(place);
  l.lastEntity.assign(textures, -1);
  l.bucketStart.assign(textures + 1, 0);
  // Twice over the entities: count each bucket, then fill the buckets in list order.
  for (int fill = 0; fill < 2; ++fill) {
    if (fill == 1) {
      for (size_t place = 0; place < textures; ++place) l.bucketStart[place + 1] += l.bucketStart[place];
      l.bucketed.resize(l.bucketStart[textures]);
      l.lastEntity.assign(textures, -1);
    }
    for (size_t position = 0; position < l.entities.size(); ++position) {
      const SpriteRecord* e = SpriteAt(l.entities[position]);
      if (!Drawable(e) || e->ghost != 0 || e->locked != 0 || e->afterClear != 0) continue;
      for (uint32_t at = l.entryStart[position]; at < l.entryStart[position + 1]; ++at) {
        const uint32_t entry = l.meshEntries[at];
        if (l.lastEntity[entry] == static_cast<int32_t>(position)) continue;  // a second mesh of that texture
        l.lastEntity[entry] = static_cast<int32_t>(position);
        if (fill == 0)
          ++l.bucketStart[l.rankOf[entry] + 1];
        else
          l.bucketed[l.bucketStart[l.rankOf[entry]]++] = l.entities[position];
      }
    }
  }
  // Filling moved each start to the next bucket's: bucket p runs from the end of p - 1.
  for (size_t place = 0; place < textures; ++place) {
    const int32_t texture = depths[l.drawOrder[place]].texture;
    SetDeviceTexture(texture);
    for (uint32_t at = place == 0 ? 0 : l.bucketStart[place - 1]; at < l.bucketStart[place]; ++at)
      DrawEntity(SpriteAt(l.bucketed[at]), texture);
  }
}

// Draws the picked entities in the order of their keys (ascending, or descending when
// Farthest), all states applied and every texture drawn; ties go by list position (later
// first when LaterFirst). The keys given are the ones the pass may pick.
void DrawPicked(bool farthest, bool laterFirst) {
  std::vector<std::pair<double, int32_t>>& picks = g_lists.picks;
  std::stable_sort(picks.begin(), picks.end(), [farthest, laterFirst](const auto& a, const auto& b) {
    if (a.first != b.first) return farthest ? a.first > b.first : a.first < b.first;
    return laterFirst ? a.second > b.second : a.second < b.second;
  });
  for (const auto& [key, position] : picks) DrawEntity(SpriteAt(g_lists.entities[static_cast<size_t>(position)]), -1);
}

void SetLockedProjection() {
  Matrix4 projection;
  MatrixProjection(projection, kLockedFov, TargetAspect(), 1.0f, 3000.0f);
  Dev().SetTransform(Device3dTransform::kProjection, projection.m);
}

// The backdrop object's slot, or -1: it is drawn only as the backdrop, never in the scene.
int32_t BackdropSlot() {
  const int32_t slot = ObjectSlotForNumber(Scene().backdropObject);
  return slot >= 0 && ObjectAt(slot)->inUse == 1 ? slot : -1;
}

}  // namespace

// Each frame starts from black with the depth at the far plane, over the whole screen whatever
// the camera's view: what moved or was deleted since the last frame leaves nothing behind.
void ClearViewport() {
  Device3dViewport viewport;
  Dev().GetViewport(&viewport);
  int width, height;
  TargetSize(width, height);
  const bool wholeScreen = viewport.x == 0 && viewport.y == 0 && viewport.width == width && viewport.height == height;
  if (!wholeScreen) Dev().SetViewport(Device3dViewport{0, 0, width, height, viewport.minZ, viewport.maxZ});
  Dev().Clear(kClearTarget | kClearZBuffer, 0, 1.0f);
  if (!wholeScreen) Dev().SetViewport(viewport);
}

// The backdrop clears the picture with its colour and then draws its object, as the camera
// saw the scene when 3D was set up: the sky stays put whatever the camera does. The scene
// stays open for the render.
void RenderBackdrop() {
  g_sceneBegun = false;
  if (!Scene().backdropOn) return;
  if (!Dev().BeginScene()) return;
  g_sceneBegun = true;
  Dev().Clear(kClearTarget | kClearZBuffer, Scene().backdropColour, 1.0f);
  const int32_t slot = BackdropSlot();
  if (slot < 0 || ObjectAt(slot)->model == nullptr) return;
  Matrix4 savedView;
  Dev().GetTransform(Device3dTransform::kView, savedView.m);
  Dev().SetTransform(Device3dTransform::kView, StartupViewMatrix().m);
  SetLockedProjection();
  ApplyEntityRenderStates(SpriteAt(ObjectAt(slot)->entity), true);
  ApplyMaterialSelection(2);
  DrawEntityObject(slot, -1);
  ApplyMaterialSelection(1);
  Dev().SetTransform(Device3dTransform::kView, savedView.m);
  Dev().SetTransform(Device3dTransform::kProjection, Camera().projection.m);
}

void RenderScene3D() {
  ResetDrawnIndices();
  FrameLists& l = g_lists;
  CollectEntities(l.entities);
  for (int32_t index : l.entities) {
    SpriteRecord* e = SpriteAt(index);
    if (e->shown != 1 || e->is3D != 1) continue;
    const Visibility v = TestVisibility(e, 100.0f);
    e->culled = v.failures > 0 && ObjectAt(e->object)->gluedObject == 0 ? 1 : 0;
    e->depthKey = static_cast<double>(v.z + v.radius);
  }
  for (int32_t index : l.entities)
    if (SpriteAt(index)->depthKey < 0.0) SpriteAt(index)->depthKey = 0.0;

  ModelClearTextureDepths();
  l.meshEntries.clear();
  l.entryStart.assign(1, 0);
  bool anySelected = false;
  const int32_t backdrop = BackdropSlot();
  for (int32_t index : l.entities) {
    SpriteRecord* e = SpriteAt(index);
    e->selected = 0;
    // An object made static is drawn as part of the static world instead.
    if (e->shown == 1 && e->is3D == 1 && e->object != backdrop && ObjectAt(e->object)->inUse == 1 &&
        ObjectAt(e->object)->isStatic == 0) {
      e->selected = 1;
      anySelected = true;
      if (ObjectAt(e->object)->model != nullptr)
        ObjectAt(e->object)->model->CollectModelTextureDepths(e->depthKey, &l.meshEntries);
    }
    l.entryStart.push_back(static_cast<uint32_t>(l.meshEntries.size()));
  }
  size_t textureCount = 0;
  const TextureDepthEntry* depths = ModelTextureDepths(textureCount);
  OrderTextures(depths, textureCount, l.drawOrder);

  // With nothing to draw and no backdrop the frame's picture is the 2D one: the device is
  // left alone, so programs without 3D pay nothing for it. A level alone is something to draw.
  if (!anySelected && !g_sceneBegun && !StaticWorldHasGroups()) {
    CopyCameraAnglesToPrevious();
    return;
  }

  if (!g_sceneBegun) {
    if (!Dev().BeginScene()) {
      CopyCameraAnglesToPrevious();
      return;
    }
    // Without a backdrop nothing else clears depth between frames.
    Dev().Clear(kClearZBuffer, 0, 1.0f);
  }

  DrawStaticWorldStep();
  DrawSolidPass(depths);

  // Ghosts, far to near; of equal keys the later one first. Keys that are not numbers are
  // never picked.
  l.picks.clear();
  for (size_t position = 0; position < l.entities.size(); ++position) {
    const SpriteRecord* e = SpriteAt(l.entities[position]);
    if (Drawable(e) && e->ghost == 1 && e->locked == 0 && e->afterClear == 0 && e->depthKey >= 0.0)
      l.picks.emplace_back(e->depthKey, static_cast<int32_t>(position));
  }
  DrawPicked(true, true);

  // After-clear entities over everything drawn so far, near to far; of equal keys the later
  // one first, and none beyond the farthest key.
  bool anyAfterClear = false;
  l.picks.clear();
  for (size_t position = 0; position < l.entities.size(); ++position) {
    const SpriteRecord* e = SpriteAt(l.entities[position]);
    if (!Drawable(e) || e->locked != 0 || e->afterClear != 1) continue;
    anyAfterClear = true;
    if (e->depthKey <= kFarthestKey) l.picks.emplace_back(e->depthKey, static_cast<int32_t>(position));
  }
  if (anyAfterClear) {
    Dev().Clear(kClearZBuffer, 0, 1.0f);
    DrawPicked(false, true);
  }

  // Locked entities: a fixed view and projection, depth range 0..0, farthest z first (of
  // equal ones the earlier); one whose z is not above 0 is not drawn.
  bool anyLocked = false;
  l.picks.clear();
  for (size_t position = 0; position < l.entities.size(); ++position) {
    const SpriteRecord* e = SpriteAt(l.entities[position]);
    if (e->shown != 1 || e->selected != 1 || e->locked != 1) continue;
    anyLocked = true;
    if (e->position3D[2] > 0.0f) l.picks.emplace_back(static_cast<double>(e->position3D[2]), static_cast<int32_t>(position));
  }
  if (anyLocked) {
    SetLockedProjection();
    Matrix4 savedView;
    Dev().GetTransform(Device3dTransform::kView, savedView.m);
    Dev().SetTransform(Device3dTransform::kView, StartupViewMatrix().m);
    Device3dViewport savedViewport, flat;
    Dev().GetViewport(&savedViewport);
    flat = savedViewport;
    flat.minZ = flat.maxZ = 0.0f;
    Dev().SetViewport(flat);
    DrawPicked(true, false);
    Dev().SetTransform(Device3dTransform::kView, savedView.m);
    Dev().SetTransform(Device3dTransform::kProjection, Camera().projection.m);
    Dev().SetViewport(savedViewport);
  }

  Dev().EndScene();
  g_sceneBegun = false;
  CopyCameraAnglesToPrevious();
}

void RenderScene3DIfOn(int stage) {
  if (Scene().sceneOn && stage == Scene().renderStage) RenderScene3D();
}

void GluedWorldTransform(int32_t slot, Matrix4& world) {
  MatrixIdentity(world);
  // The chain from the object out to the first object that is not glued (at most ten links).
  int32_t chain[kGlueChainLimit];
  int count = 0;
  for (int32_t at = slot; count < kGlueChainLimit && at >= 0 && ObjectAt(at)->gluedObject != 0;
       at = ObjectSlotForNumber(ObjectAt(at)->gluedObject))
    chain[count++] = at;
  // From the outermost inward: the limb's world matrix in its object's world.
  for (int i = count - 1; i >= 0; --i) {
    const int32_t parent = ObjectSlotForNumber(ObjectAt(chain[i])->gluedObject);
    if (parent < 0 || ObjectAt(parent)->model == nullptr) continue;
    const int32_t limb = ObjectAt(chain[i])->gluedLimb;
    UpdateObjectTransform(parent);
    Dev().SetTransform(Device3dTransform::kWorld, world.m);
    ModelObject& model = *ObjectAt(parent)->model;
    model.UpdateModelFrameWorldMatrices(Dev());
    Matrix4 limbWorld = world;
    model.GetModelFrameWorldMatrix(limb, limbWorld);
    world = limbWorld;
  }
}

bool ObjectScreenPosition(int32_t entity, int32_t* screenX, int32_t* screenY) {
  const SpriteRecord* e = SpriteAt(entity);
  const Visibility v = TestVisibility(e, 20.0f);
  int width, height;
  TargetSize(width, height);
  *screenX = TruncateFloat(std::round((v.cx + 1.0f) * 0.5f * static_cast<float>(width)));
  *screenY = TruncateFloat(std::round((1.0f - v.cy) * 0.5f * static_cast<float>(height)));
  return v.failures == 0 || ObjectAt(e->object)->gluedObject != 0;
}
