// Recording 3D device for tests: logs every call with its arguments and keeps the state a
// real device would (transforms, states, lights, material, textures, vertex buffers).
#include "platform/device3d_record.h"

#include <cstring>
#include <map>

namespace {

struct RecordedLight {
  Device3dLight light;
  bool enabled;
};

// Everything the recorder keeps; reset by Device3dOpenRecorder and Close.
struct RecorderState {
  std::vector<Device3dRecordedCall> calls;
  std::map<Device3dVertexBuffer, std::vector<Device3dVertex>> buffers;
  std::map<Device3dTexture, int> textures;  // handle -> width (only existence matters)
  std::map<uint32_t, RecordedLight> lights;
  Device3dMaterial material{};
  uint32_t states[static_cast<int>(Device3dState::kCount)] = {};
  uint32_t stageStates[static_cast<int>(Device3dStageState::kCount)] = {};
  float transforms[3][4][4] = {};
  Device3dViewport viewport{0, 0, 640, 480, 0.0f, 1.0f};
  Device3dTexture texture = 0;
  uint32_t nextHandle = 1;
  bool inScene = false;
};

RecorderState g_recorder;

Device3dRecordedCall& Record(Device3dOp op, uint32_t a = 0, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0,
                             uint32_t e = 0) {
  Device3dRecordedCall call;
  call.op = op;
  call.args[0] = a;
  call.args[1] = b;
  call.args[2] = c;
  call.args[3] = d;
  call.args[4] = e;
  g_recorder.calls.push_back(std::move(call));
  return g_recorder.calls.back();
}

void ResetRecorder() {
  g_recorder = RecorderState{};
  for (int which = 0; which < 3; ++which)
    for (int i = 0; i < 4; ++i) g_recorder.transforms[which][i][i] = 1.0f;
  g_recorder.states[static_cast<int>(Device3dState::kZEnable)] = 1;
  g_recorder.states[static_cast<int>(Device3dState::kZWriteEnable)] = 1;
  g_recorder.states[static_cast<int>(Device3dState::kFillMode)] = kFillSolid;
  g_recorder.states[static_cast<int>(Device3dState::kCullMode)] = kCullCcw;
  g_recorder.states[static_cast<int>(Device3dState::kLighting)] = 1;
  g_recorder.states[static_cast<int>(Device3dState::kSrcBlend)] = kBlendOne;
  g_recorder.states[static_cast<int>(Device3dState::kDestBlend)] = kBlendZero;
  g_recorder.stageStates[static_cast<int>(Device3dStageState::kMinFilter)] = kFilterPoint;
  g_recorder.stageStates[static_cast<int>(Device3dStageState::kMagFilter)] = kFilterPoint;
  g_recorder.stageStates[static_cast<int>(Device3dStageState::kAddress)] = kAddressWrap;
}

bool RecBeginScene() {
  Record(Device3dOp::kBeginScene);
  g_recorder.inScene = true;
  return true;
}

void RecEndScene() {
  Record(Device3dOp::kEndScene);
  g_recorder.inScene = false;
}

bool RecClear(uint32_t flags, uint32_t colour, float z) {
  Record(Device3dOp::kClear, flags, colour).values[0] = z;
  return true;
}

void RecSetViewport(const Device3dViewport& viewport) {
  Device3dRecordedCall& call = Record(Device3dOp::kSetViewport, static_cast<uint32_t>(viewport.x),
                                      static_cast<uint32_t>(viewport.y), static_cast<uint32_t>(viewport.width),
                                      static_cast<uint32_t>(viewport.height));
  call.values[0] = viewport.minZ;
  call.values[1] = viewport.maxZ;
  g_recorder.viewport = viewport;
}

void RecGetViewport(Device3dViewport* viewport) { *viewport = g_recorder.viewport; }

void RecSetTransform(Device3dTransform which, const Device3dMatrix& matrix) {
  Device3dRecordedCall& call = Record(Device3dOp::kSetTransform, static_cast<uint32_t>(which));
  std::memcpy(call.values, matrix, sizeof call.values);
  std::memcpy(g_recorder.transforms[static_cast<int>(which)], matrix, sizeof(float) * 16);
}

void RecGetTransform(Device3dTransform which, Device3dMatrix& matrix) {
  std::memcpy(matrix, g_recorder.transforms[static_cast<int>(which)], sizeof(float) * 16);
}

void RecSetRenderState(Device3dState state, uint32_t value) {
  Record(Device3dOp::kSetRenderState, static_cast<uint32_t>(state), value);
  if (state < Device3dState::kCount) g_recorder.states[static_cast<int>(state)] = value;
}

uint32_t RecGetRenderState(Device3dState state) {
  return state < Device3dState::kCount ? g_recorder.states[static_cast<int>(state)] : 0;
}

void RecSetTextureStageState(Device3dStageState state, uint32_t value) {
  Record(Device3dOp::kSetTextureStageState, static_cast<uint32_t>(state), value);
  if (state < Device3dStageState::kCount) g_recorder.stageStates[static_cast<int>(state)] = value;
}

void RecSetMaterial(const Device3dMaterial& material) {
  Device3dRecordedCall& call = Record(Device3dOp::kSetMaterial);
  std::memcpy(call.values, &material, sizeof(float) * 16);  // the four colours
  g_recorder.material = material;
}

bool RecSetLight(uint32_t index, const Device3dLight& light) {
  Record(Device3dOp::kSetLight, index, light.type);
  auto found = g_recorder.lights.find(index);
  bool enabled = found != g_recorder.lights.end() && found->second.enabled;
  g_recorder.lights[index] = RecordedLight{light, enabled};
  return true;
}

bool RecLightEnable(uint32_t index, bool enable) {
  Record(Device3dOp::kLightEnable, index, enable ? 1u : 0u);
  auto found = g_recorder.lights.find(index);
  if (found == g_recorder.lights.end()) {
    // Enabling an index never set gives the default white directional light, as devices do.
    Device3dLight light{};
    light.type = kLightDirectional;
    light.diffuse = Device3dColor{1, 1, 1, 0};
    light.direction[2] = 1.0f;
    found = g_recorder.lights.emplace(index, RecordedLight{light, false}).first;
  }
  found->second.enabled = enable;
  return true;
}

Device3dTexture RecCreateTexture(int width, int height, const uint32_t*) {
  if (width <= 0 || height <= 0) return 0;
  const Device3dTexture handle = g_recorder.nextHandle++;
  Record(Device3dOp::kCreateTexture, handle, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
  g_recorder.textures[handle] = width;
  return handle;
}

void RecReleaseTexture(Device3dTexture texture) {
  Record(Device3dOp::kReleaseTexture, texture);
  g_recorder.textures.erase(texture);
  if (g_recorder.texture == texture) g_recorder.texture = 0;
}

void RecSetTexture(Device3dTexture texture) {
  Record(Device3dOp::kSetTexture, texture);
  g_recorder.texture = texture;
}

Device3dVertexBuffer RecCreateVertexBuffer(uint32_t vertexCount) {
  const Device3dVertexBuffer handle = g_recorder.nextHandle++;
  Record(Device3dOp::kCreateVertexBuffer, handle, vertexCount);
  g_recorder.buffers[handle].assign(vertexCount, Device3dVertex{});
  return handle;
}

Device3dVertex* RecLockVertexBuffer(Device3dVertexBuffer buffer) {
  Record(Device3dOp::kLockVertexBuffer, buffer);
  auto found = g_recorder.buffers.find(buffer);
  if (found == g_recorder.buffers.end()) return nullptr;
  return found->second.data();
}

void RecUnlockVertexBuffer(Device3dVertexBuffer buffer) { Record(Device3dOp::kUnlockVertexBuffer, buffer); }

void RecReleaseVertexBuffer(Device3dVertexBuffer buffer) {
  Record(Device3dOp::kReleaseVertexBuffer, buffer);
  g_recorder.buffers.erase(buffer);
}

void RecDraw(Device3dVertexBuffer buffer, uint32_t firstVertex, uint32_t vertexCount, const uint16_t* indices,
             uint32_t indexCount) {
  Device3dRecordedCall& call =
      Record(Device3dOp::kDrawIndexedPrimitiveVB, buffer, firstVertex, vertexCount, indexCount, g_recorder.texture);
  std::memcpy(call.values, g_recorder.transforms[static_cast<int>(Device3dTransform::kWorld)], sizeof call.values);
  if (indices != nullptr) call.indices.assign(indices, indices + indexCount);
}

void RecClose() { ResetRecorder(); }

const Device3d kRecorder = {
    "Record",         RecBeginScene,          RecEndScene,       RecClear,
    RecSetViewport,   RecGetViewport,         RecSetTransform,   RecGetTransform,
    RecSetRenderState, RecGetRenderState,     RecSetTextureStageState, RecSetMaterial,
    RecSetLight,      RecLightEnable,         RecCreateTexture,  RecReleaseTexture,
    RecSetTexture,    RecCreateVertexBuffer,  RecLockVertexBuffer, RecUnlockVertexBuffer,
    RecReleaseVertexBuffer, RecDraw,          nullptr,           nullptr,
    RecClose,
};

}  // namespace

const Device3d* Device3dOpenRecorder() {
  ResetRecorder();
  return &kRecorder;
}

const std::vector<Device3dRecordedCall>& Device3dRecordedCalls() { return g_recorder.calls; }

void Device3dRecordClearCalls() { g_recorder.calls.clear(); }

size_t Device3dRecordCount(Device3dOp op) {
  size_t count = 0;
  for (const Device3dRecordedCall& call : g_recorder.calls) count += call.op == op ? 1 : 0;
  return count;
}

const std::vector<Device3dVertex>* Device3dRecordedVertices(Device3dVertexBuffer buffer) {
  auto found = g_recorder.buffers.find(buffer);
  return found == g_recorder.buffers.end() ? nullptr : &found->second;
}

const Device3dLight* Device3dRecordedLight(uint32_t index, bool* enabled) {
  auto found = g_recorder.lights.find(index);
  if (found == g_recorder.lights.end()) return nullptr;
  if (enabled) *enabled = found->second.enabled;
  return &found->second.light;
}

const Device3dMaterial& Device3dRecordedMaterial() { return g_recorder.material; }

uint32_t Device3dRecordedStageState(Device3dStageState state) {
  return state < Device3dStageState::kCount ? g_recorder.stageStates[static_cast<int>(state)] : 0;
}

Device3dTexture Device3dRecordedTexture() { return g_recorder.texture; }

size_t Device3dRecordLiveTextures() { return g_recorder.textures.size(); }

size_t Device3dRecordLiveVertexBuffers() { return g_recorder.buffers.size(); }
