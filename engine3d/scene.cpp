// The 3D scene's set-up and settings: device defaults, the three materials, fog, ambient
// light and backdrop commands, scene reset and release, and the registration of the families.
#include "engine3d/engine3d_local.h"
#include "graphics2d/graphics2d.h"
#include "models/models.h"
#include "models/static/static_world.h"
#include "platform/surface.h"
#include "runtime/command_numbers.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// Scene settings; reset by InitScene3D at every run start.
SceneSettings g_scene;
// Device capabilities and the render-state cache; set by SetupDeviceDefaults.
DeviceCaps g_caps;
RenderStateCache g_cache;
// The GL device this engine opened itself (closed at shut-down), else null.
bool g_openedDevice = false;
// Set once the run's scene has its device: at the scene reset when one is installed already
// (a test's recorder), else at the run's first 3D command, which opens the GL device then. A
// program that gives no 3D command never loads the GL driver. Cleared at every scene reset.
bool g_sceneDeviceSetUp = false;
// Set by the run's first 3D command, cleared at every scene reset: only a program that works
// in 3D has its picture cleared before each frame; one that draws in 2D alone keeps it (in the
// environment the device stays open from an earlier run, so its presence does not tell).
bool g_sceneInUse = false;
// Indices drawn this frame (statistic of the frame); reset at the start of each render.
uint32_t g_drawnIndices = 0;
// The back buffer the scene renders into: set at every scene reset and display restore.
Surface* g_target = nullptr;
// Where the scene renders: the 2D display's back buffer, asked for at each scene reset and
// display restore.
Surface* (*g_backBufferSource)() = nullptr;

constexpr float kDefaultAmbientShare = 0.25f;

uint32_t Bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

Device3dMaterial MaterialOf(float diffuse, float ambient) {
  Device3dMaterial material{};
  material.diffuse = Device3dColor{diffuse, diffuse, diffuse, 1.0f};
  material.ambient = Device3dColor{ambient, ambient, ambient, 1.0f};
  return material;
}

void ResetSceneSettings() {
  g_scene = SceneSettings{};
  g_scene.ambientShare = kDefaultAmbientShare;
  g_scene.ambientColour = 0xFFFFFF;
  g_scene.fogColour = 0x000000;
  g_scene.fogStart = 0.0f;
  g_scene.fogEnd = 3000.0f;
  g_scene.normalizeNormals = true;
  g_scene.addressMode = kAddressWrap;
  g_scene.sceneOn = true;
  g_scene.renderStage = 0;
}

void ApplyFogSettings() {
  Dev().SetRenderState(Device3dState::kFogColor, g_scene.fogColour);
  Dev().SetRenderState(Device3dState::kFogStart, Bits(g_scene.fogStart));
  Dev().SetRenderState(Device3dState::kFogEnd, Bits(g_scene.fogEnd));
  Dev().SetRenderState(Device3dState::kFogEnable, g_scene.fogEnabled ? 1 : 0);
  g_cache.fog = g_scene.fogEnabled ? 1 : 0;
}

void CmdFogOn() {
  g_scene.fogEnabled = true;
  ApplyFogSettings();
}
void CmdFogOff() {
  g_scene.fogEnabled = false;
  ApplyFogSettings();
}
void CmdFogColor() {
  g_scene.fogColour = static_cast<uint32_t>(IntOperand(0)) & 0xFFFFFF;
  AdvanceOperands(1);
  ApplyFogSettings();
}
// The fog starts at a tenth of the distance and is whole at the distance.
void CmdFogDistance() {
  const float distance = FloatOperand(0);
  AdvanceOperands(1);
  if (!(distance > 0.0f)) return RuntimeError(110);
  g_scene.fogEnd = distance;
  g_scene.fogStart = distance * 0.1f;
  ApplyFogSettings();
}

void CmdSetAmbientLight() {
  const int32_t percent = IntOperand(0);
  AdvanceOperands(1);
  if (percent < 0 || percent > 100) return RuntimeError(110);
  g_scene.ambientShare = static_cast<float>(percent) / 100.0f;
  RebuildMaterials();
}
void CmdColorAmbientLight() {
  g_scene.ambientColour = static_cast<uint32_t>(IntOperand(0)) & 0xFFFFFF;
  AdvanceOperands(1);
  Dev().SetRenderState(Device3dState::kAmbient, g_scene.ambientColour);
}

void CmdBackdropOn() { g_scene.backdropOn = true; }
void CmdBackdropOff() { g_scene.backdropOn = false; }
void CmdColorBackdrop() {
  g_scene.backdropColour = static_cast<uint32_t>(IntOperand(0)) & 0xFFFFFF;
  AdvanceOperands(1);
}
// The object (0 for none) becomes the backdrop: a sky or far scenery that stays put on the
// screen whatever the camera does, drawn behind everything else while the backdrop is on.
void CmdSetBackdropObject() {
  const int32_t number = IntOperand(0);
  AdvanceOperands(1);
  if (number != 0 && ExistingObject(number) < 0) return;
  g_scene.backdropObject = number;
}
// Stage 0 draws the 3D scene before the frame's 2D drawing (2D over 3D), stage 1 after it.
void CmdSetRenderStage() {
  const int32_t stage = IntOperand(0);
  AdvanceOperands(1);
  if (stage != 0 && stage != 1) return RuntimeError(110);
  g_scene.renderStage = stage;
}

const CommandEntry kSceneCommands[] = {
    {kFogOn, CmdFogOn},
    {kFogOff, CmdFogOff},
    {kFogColor, CmdFogColor},
    {kFogDistance, CmdFogDistance},
    {kSetAmbientLight, CmdSetAmbientLight},
    {kColorAmbientLight, CmdColorAmbientLight},
    {kBackdropOn, CmdBackdropOn},
    {kBackdropOff, CmdBackdropOff},
    {kColorBackdrop, CmdColorBackdrop},
    {kSetBackdropObject, CmdSetBackdropObject},
    {kSetRenderStage, CmdSetRenderStage},
};

}  // namespace

SceneSettings& Scene() { return g_scene; }
const DeviceCaps& Caps() { return g_caps; }
RenderStateCache& StateCache() { return g_cache; }
Device3d& Dev() { return Device3dActive(); }

RecordPool MakeRecordPool(const char* name, int32_t recordSize, int32_t initialCapacity, int32_t growMargin) {
  RecordPool pool{};
  pool.name = name;
  pool.recordSize = recordSize;
  pool.initialCapacity = initialCapacity;
  pool.growMargin = growMargin;
  return pool;
}

void AddDrawnIndices(uint32_t count) { g_drawnIndices += count; }
uint32_t DrawnIndexCount() { return g_drawnIndices; }
void ResetDrawnIndices() { g_drawnIndices = 0; }

void RebuildMaterials() {
  // Nothing is kept on the device: the selection below sets the current one again.
  const int current = g_cache.material;
  g_cache.material = 0;
  ApplyMaterialSelection(current == 0 ? 1 : current);
}

void ApplyMaterialSelection(int material) {
  if (material == g_cache.material) return;
  g_cache.material = material;
  const float a = g_scene.ambientShare;
  if (material == 2)
    Dev().SetMaterial(MaterialOf(0.0f, 1.0f));
  else if (material == 3)
    Dev().SetMaterial(MaterialOf(1.0f, 0.0f));
  else
    Dev().SetMaterial(MaterialOf(1.0f - a, a));
}

void InvalidateRenderStateCache() {
  g_cache.zEnable = g_cache.zWrite = ~0u;
  g_cache.blendSelector = g_cache.ghostMode = -1;
  g_cache.fillMode = g_cache.cullMode = ~0u;
  g_cache.filtering = g_cache.fog = g_cache.normalize = -1;
  g_cache.material = 0;
  g_cache.addressMode = ~0u;
}

// OpenGL offers every blend factor, so the last pair of the capability list (ONE /
// INVSRCCOLOR, mode 1) is the ghost pair and ZERO / SRCCOLOR (7) the dark one.
void SetupDeviceDefaults() {
  Device3d& d = Dev();
  g_caps = DeviceCaps{};
  g_caps.blendMode = 1;
  g_caps.darkBlendMode = 7;
  g_caps.filterMode = std::strcmp(d.name, "T&L") == 0 ? 2 : 1;
  g_caps.colourKeying = true;
  g_caps.blendFlag = true;
  g_caps.ghostSource[0] = kBlendOne;
  g_caps.ghostDest[0] = kBlendInvSrcColor;
  g_caps.ghostSource[1] = kBlendZero;
  g_caps.ghostDest[1] = kBlendSrcColor;

  d.SetRenderState(Device3dState::kZEnable, 1);
  d.SetRenderState(Device3dState::kZWriteEnable, 1);
  d.SetRenderState(Device3dState::kSpecular, 0);
  d.SetRenderState(Device3dState::kDither, 1);
  d.SetRenderState(Device3dState::kFillMode, kFillSolid);
  d.SetRenderState(Device3dState::kCullMode, kCullCcw);
  d.SetRenderState(Device3dState::kNormalizeNormals, 1);
  d.SetRenderState(Device3dState::kLighting, 1);
  d.SetRenderState(Device3dState::kAmbient, g_scene.ambientColour);
  d.SetRenderState(Device3dState::kAlphaBlendEnable, 0);
  d.SetRenderState(Device3dState::kColorKeyEnable, 0);
  d.SetRenderState(Device3dState::kFogVertexMode, kFogLinear);
  d.SetTextureStageState(Device3dStageState::kAddress, kAddressWrap);
  d.SetTextureStageState(Device3dStageState::kMinFilter, kFilterLinear);
  d.SetTextureStageState(Device3dStageState::kMagFilter, kFilterLinear);
  InvalidateRenderStateCache();
  g_cache.zEnable = 1;
  g_cache.zWrite = 1;
  g_cache.blendSelector = 0;
  g_cache.ghostMode = 0;
  g_cache.fillMode = kFillSolid;
  g_cache.cullMode = kCullCcw;
  g_cache.normalize = 1;
  g_cache.addressMode = kAddressWrap;
  ApplyFogSettings();
  ApplyMaterialSelection(1);
  int width, height;
  TargetSize(width, height);
  d.SetViewport(Device3dViewport{0, 0, width, height, 0.0f, 1.0f});
}

void TargetSize(int& width, int& height) {
  width = g_target != nullptr && g_target->width > 0 ? g_target->width : 640;
  height = g_target != nullptr && g_target->height > 0 ? g_target->height : 480;
}

float TargetAspect() {
  int width, height;
  TargetSize(width, height);
  return static_cast<float>(height) / static_cast<float>(width);
}

// The models library reaches the texture cache and the draw statistic through these.
void ConnectModels() {
  ModelsHost host{};
  host.GetTextureByFile = GetTextureByFile;
  host.GetColorTexture = GetColorTexture;
  host.ReleaseTexture = ReleaseTexture;
  host.TextureIsCached = TextureIsCached;
  host.SetDeviceTexture = SetDeviceTexture;
  host.AddDrawnIndices = AddDrawnIndices;
  host.TemporaryFolder = [] { return TemporaryFolder().c_str(); };
  // A model's frame list: the frame's id as value a and its name as the text of the next entry.
  host.AddChecklistEntry = [](int32_t value, const char* text) {
    ChecklistEntry* entry = AppendChecklistEntry();
    if (entry == nullptr) return false;
    entry->a = value;
    SetChecklistEntryText(*entry, text);
    return true;
  };
  ModelsInit(&host);
}

void InitScene3D(Surface* backBuffer) {
  ReleaseScene3D();
  ResetCollision3D();
  g_target = backBuffer;
  ResetSceneSettings();
  g_sceneDeviceSetUp = std::strcmp(Device3dActive().name, "None") != 0;
  g_sceneInUse = false;
  if (g_sceneDeviceSetUp) {
    Dev().AttachBackBuffer(backBuffer);
    SetupDeviceDefaults();
  }
  ResetCamera();
  ResetStaticResponse();
  if (g_sceneDeviceSetUp) {
    CreateLight();
    CreateStaticVertexBufferDefault();
  }
}

// Opens the GL device on the current back buffer and sends it what the scene holds: its
// defaults, the camera and light 0. The device starts with the CPU side's picture, so what
// the program drew in 2D so far stays under the 3D. A device that cannot be opened ends the
// run with error 10005 and the reason (what to install where GL is missing), not with a
// black screen; the command that asked still runs on the do-nothing device.
static void SetUpSceneDevice() {
  g_sceneDeviceSetUp = true;
  if (std::strcmp(Device3dActive().name, "None") == 0) {
    int width, height;
    TargetSize(width, height);
    const Device3d* gl = Device3dOpenGl(width, height);
    if (gl == nullptr) {
      WriteEngineErrorLog(Device3dLastError());
      RuntimeError(10005);
    } else {
      Device3dInstall(gl);
      g_openedDevice = true;
    }
  }
  Dev().AttachBackBuffer(g_target);
  SetupDeviceDefaults();
  SetCameraProjection();
  RebuildCameraForMode();
  CreateLight();
  CreateStaticVertexBufferDefault();
}

bool Scene3DDeviceSetUp() { return g_sceneDeviceSetUp; }

void RestoreScene3DAfterReset() {
  // A display-mode change made a new back buffer, maybe of another size: the device's target
  // follows it. Before the run's first 3D command there is no device to tell: it opens on
  // the new target later.
  if (g_backBufferSource != nullptr) g_target = g_backBufferSource();
  if (!g_sceneDeviceSetUp) return;
  if (g_backBufferSource != nullptr) Dev().AttachBackBuffer(g_target);
  SetupDeviceDefaults();
  SetCameraProjection();
  RebuildCameraForMode();
  RecreateLights();
  RestoreObjectModels();
  CreateStaticVertexBuffer(std::max(GetStaticWorld().capacity, kStaticDefaultCapacity));
}

void ReleaseScene3D() {
  ReleaseStaticWorld();
  ReleasePlayingList();
  ReleaseAllObjects();
  ReleaseAllMeshes();
  ReleaseAllLights();
  ReleaseAllTextures();
}

// Closes the device the engine opened and empties the collision library; the scene's records
// must already be released.
static void CloseScene3DDevice() {
  CollReset();
  if (g_openedDevice) {
    Dev().Close();
    Device3dInstall(nullptr);
    g_openedDevice = false;
  }
  g_sceneDeviceSetUp = false;
}

void ShutdownScene3D() {
  ReleaseScene3D();
  CloseScene3DDevice();
}

void RegisterEngine3dPools() {
  ConnectModels();
  ConnectCollision();
  ConnectStaticWorld();
  RegisterRecordPool(LightPool());
  RegisterRecordPool(MeshPool());
  RegisterRecordPool(TexturePool());
  RegisterRecordPool(ObjectPool());
}

namespace {
// The 2D display's end-of-run teardown, which the engine's own release follows.
void (*g_previousTeardown)() = nullptr;
// The 2D display's release, which follows the closing of the 3D device at shut-down.
void (*g_previousReleaseDisplay)(bool keepDevice) = nullptr;
}  // namespace

void InstallEngine3dHooks(RuntimeHooks& hooks, Surface* (*backBuffer)()) {
  g_backBufferSource = backBuffer;
  g_previousTeardown = hooks.EndOfRunTeardown;
  hooks.ResetScene3D = [] { InitScene3D(g_backBufferSource ? g_backBufferSource() : nullptr); };
  hooks.RestoreScene3DAfterReset = RestoreScene3DAfterReset;
  // Until the run's first 3D command there is no scene to clear, draw, animate or collide.
  hooks.ClearViewport = [] {
    if (g_sceneDeviceSetUp && g_sceneInUse) ClearViewport();
  };
  hooks.RenderBackdrop = [] {
    if (g_sceneDeviceSetUp) RenderBackdrop();
  };
  hooks.RenderScene3DIfOn = [](int stage) {
    if (g_sceneDeviceSetUp) RenderScene3DIfOn(stage);
  };
  hooks.AnimateObjects = [] {
    if (!g_sceneDeviceSetUp) return;
    AnimateObjects();
    RunCollisionPass();
  };
  hooks.EndOfRunTeardown = [] {
    if (g_previousTeardown) g_previousTeardown();
    ReleaseScene3D();
  };
  // At shut-down the scene is already released (end of run) and the pools freed: only the
  // device and the collision library are left to close, before the display goes.
  g_previousReleaseDisplay = hooks.ReleaseDisplay;
  hooks.ReleaseDisplay = [](bool keepDevice) {
    if (!keepDevice) CloseScene3DDevice();
    if (g_previousReleaseDisplay) g_previousReleaseDisplay(keepDevice);
  };
}

namespace {
// Every 3D command runs behind a gate that first sets up the scene's device: one gate
// function per registered handler, made by the template below, each calling its handler
// from this table. Filled once by RegisterEngine3dCommands.
constexpr size_t kGateCount = 1024;
CommandHandler g_gatedHandlers[kGateCount];
size_t g_gatedCount = 0;

template <size_t I>
void DeviceGate() {
  if (!g_sceneDeviceSetUp) SetUpSceneDevice();
  g_sceneInUse = true;
  g_gatedHandlers[I]();
}

template <size_t... I>
constexpr std::array<CommandHandler, sizeof...(I)> MakeDeviceGates(std::index_sequence<I...>) {
  return {&DeviceGate<I>...};
}
constexpr std::array<CommandHandler, kGateCount> kDeviceGates = MakeDeviceGates(std::make_index_sequence<kGateCount>{});

bool RegisterGated(CommandTableView table) {
  std::vector<CommandEntry> gated;
  for (size_t i = 0; i < table.count; ++i) {
    if (g_gatedCount == kGateCount) {
      std::fprintf(stderr, "quorvanel: more 3D commands than device gates (%zu)\n", kGateCount);
      return false;
    }
    g_gatedHandlers[g_gatedCount] = table.entries[i].handler;
    gated.push_back({table.entries[i].number, kDeviceGates[g_gatedCount++]});
  }
  return RegisterCommands(gated.data(), gated.size());
}
}  // namespace

bool RegisterEngine3dCommands() {
  bool ok = true;
  for (CommandTableView table : {CameraCommandTable(), LightCommandTable(), SceneCommandTable(), ObjectCommandTable(),
                                 ObjectSettingCommandTable(), AnimationCommandTable(), CollisionCommandTable(),
                                 MeshCommandTable(), StaticCommandTable(), ObjectRotationCommandTable(),
                                 LimbCommandTable()})
    ok = RegisterGated(table) && ok;
  return ok;
}

CommandTableView SceneCommandTable() { return {kSceneCommands, std::size(kSceneCommands)}; }
