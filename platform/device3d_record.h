// The recording 3D device's log and state, read by tests: every call with its arguments,
// the vertex buffers' contents, the lights, material, states and live resources.
#pragma once
#include "platform/device3d.h"

#include <cstddef>
#include <vector>

enum class Device3dOp {
  kBeginScene,
  kEndScene,
  kClear,
  kSetViewport,
  kSetTransform,
  kSetRenderState,
  kSetTextureStageState,
  kSetMaterial,
  kSetLight,
  kLightEnable,
  kCreateTexture,
  kReleaseTexture,
  kSetTexture,
  kCreateVertexBuffer,
  kLockVertexBuffer,
  kUnlockVertexBuffer,
  kReleaseVertexBuffer,
  kDrawIndexedPrimitiveVB,
};

// One call. args hold the integer arguments in call order (enums as numbers, floats of render
// states as their bits); values hold a transform row after row, a clear's z, or a viewport's
// min and max z. A draw also keeps its indices, the world transform and the texture in force.
struct Device3dRecordedCall {
  Device3dOp op;
  uint32_t args[5] = {};
  float values[16] = {};
  std::vector<uint16_t> indices;
};

const std::vector<Device3dRecordedCall>& Device3dRecordedCalls();
// Forgets the calls so far; the device's state (buffers, lights, states) stays.
void Device3dRecordClearCalls();
size_t Device3dRecordCount(Device3dOp op);
// The vertices of a live buffer; null for an unknown handle.
const std::vector<Device3dVertex>* Device3dRecordedVertices(Device3dVertexBuffer buffer);
// The light last set under the index and whether it is enabled; null when never set.
const Device3dLight* Device3dRecordedLight(uint32_t index, bool* enabled);
const Device3dMaterial& Device3dRecordedMaterial();
uint32_t Device3dRecordedStageState(Device3dStageState state);
Device3dTexture Device3dRecordedTexture();
// Live textures and vertex buffers: creation minus release, for leak checks.
size_t Device3dRecordLiveTextures();
size_t Device3dRecordLiveVertexBuffers();
