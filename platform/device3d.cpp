// The active 3D device: one table of entry points, with no-op defaults in every slot the
// installed back-end leaves empty, so callers never test for null.
#include "platform/device3d.h"

static bool NoBeginScene() { return false; }
static void NoEndScene() {}
static bool NoClear(uint32_t, uint32_t, float) { return false; }
static void NoSetViewport(const Device3dViewport&) {}
static void NoGetViewport(Device3dViewport* viewport) { *viewport = Device3dViewport{0, 0, 0, 0, 0.0f, 1.0f}; }
static void NoSetTransform(Device3dTransform, const Device3dMatrix&) {}
static void NoGetTransform(Device3dTransform, Device3dMatrix& matrix) {
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column) matrix[row][column] = row == column ? 1.0f : 0.0f;
}
static void NoSetRenderState(Device3dState, uint32_t) {}
static uint32_t NoGetRenderState(Device3dState) { return 0; }
static void NoSetTextureStageState(Device3dStageState, uint32_t) {}
static void NoSetMaterial(const Device3dMaterial&) {}
static bool NoSetLight(uint32_t, const Device3dLight&) { return false; }
static bool NoLightEnable(uint32_t, bool) { return false; }
static Device3dTexture NoCreateTexture(int, int, const uint32_t*) { return 0; }
static void NoReleaseTexture(Device3dTexture) {}
static void NoSetTexture(Device3dTexture) {}
static Device3dVertexBuffer NoCreateVertexBuffer(uint32_t) { return 0; }
static Device3dVertex* NoLockVertexBuffer(Device3dVertexBuffer) { return nullptr; }
static void NoUnlockVertexBuffer(Device3dVertexBuffer) {}
static void NoReleaseVertexBuffer(Device3dVertexBuffer) {}
static void NoDraw(Device3dVertexBuffer, uint32_t, uint32_t, const uint16_t*, uint32_t) {}
static void NoAttachBackBuffer(Surface*) {}
static void NoClaimCpuSide() {}
static void NoClose() {}

static const Device3d kNoDevice = {
    "None",         NoBeginScene,          NoEndScene,          NoClear,
    NoSetViewport,  NoGetViewport,         NoSetTransform,      NoGetTransform,
    NoSetRenderState, NoGetRenderState,    NoSetTextureStageState, NoSetMaterial,
    NoSetLight,     NoLightEnable,         NoCreateTexture,     NoReleaseTexture,
    NoSetTexture,   NoCreateVertexBuffer,  NoLockVertexBuffer,  NoUnlockVertexBuffer,
    NoReleaseVertexBuffer, NoDraw,         NoAttachBackBuffer,  NoClaimCpuSide,
    NoClose,
};

// The installed device; lives for the whole process, replaced by Device3dInstall.
static Device3d g_activeDevice = kNoDevice;

Device3d& Device3dActive() { return g_activeDevice; }

template <typename Slot>
static void FillSlot(Slot& slot, Slot fallback) {
  if (slot == nullptr) slot = fallback;
}

void Device3dInstall(const Device3d* backend) {
  g_activeDevice = backend ? *backend : kNoDevice;
  Device3d& d = g_activeDevice;
  if (d.name == nullptr) d.name = "None";
  FillSlot(d.BeginScene, kNoDevice.BeginScene);
  FillSlot(d.EndScene, kNoDevice.EndScene);
  FillSlot(d.Clear, kNoDevice.Clear);
  FillSlot(d.SetViewport, kNoDevice.SetViewport);
  FillSlot(d.GetViewport, kNoDevice.GetViewport);
  FillSlot(d.SetTransform, kNoDevice.SetTransform);
  FillSlot(d.GetTransform, kNoDevice.GetTransform);
  FillSlot(d.SetRenderState, kNoDevice.SetRenderState);
  FillSlot(d.GetRenderState, kNoDevice.GetRenderState);
  FillSlot(d.SetTextureStageState, kNoDevice.SetTextureStageState);
  FillSlot(d.SetMaterial, kNoDevice.SetMaterial);
  FillSlot(d.SetLight, kNoDevice.SetLight);
  FillSlot(d.LightEnable, kNoDevice.LightEnable);
  FillSlot(d.CreateTexture, kNoDevice.CreateTexture);
  FillSlot(d.ReleaseTexture, kNoDevice.ReleaseTexture);
  FillSlot(d.SetTexture, kNoDevice.SetTexture);
  FillSlot(d.CreateVertexBuffer, kNoDevice.CreateVertexBuffer);
  FillSlot(d.LockVertexBuffer, kNoDevice.LockVertexBuffer);
  FillSlot(d.UnlockVertexBuffer, kNoDevice.UnlockVertexBuffer);
  FillSlot(d.ReleaseVertexBuffer, kNoDevice.ReleaseVertexBuffer);
  FillSlot(d.DrawIndexedPrimitiveVB, kNoDevice.DrawIndexedPrimitiveVB);
  FillSlot(d.AttachBackBuffer, kNoDevice.AttachBackBuffer);
  FillSlot(d.ClaimCpuSide, kNoDevice.ClaimCpuSide);
  FillSlot(d.Close, kNoDevice.Close);
}

void Device3dClaimCpuSide() { g_activeDevice.ClaimCpuSide(); }
