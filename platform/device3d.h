// The 3D device: what the engine and the models call of a fixed-function 3D device
// (scene, clears, viewport, transforms, states, materials, lights, textures, vertex buffers).
#pragma once
#include <cstdint>

struct Surface;

// One vertex of a vertex buffer: position, normal, one texture coordinate set (32 bytes).
struct Device3dVertex {
  float x, y, z;
  float nx, ny, nz;
  float u, v;
};
static_assert(sizeof(Device3dVertex) == 32, "vertex buffers hold 32-byte vertices");

enum class Device3dTransform { kWorld, kView, kProjection };

// Render states; values below (blend factors, fill and cull modes, fog modes) follow the
// classic numbering so tables of the engine can be kept as numbers.
enum class Device3dState {
  kZEnable,           // 0 off, 1 on (2 = w-buffer, taken as on)
  kZWriteEnable,      // 0/1
  kAlphaBlendEnable,  // 0/1
  kSrcBlend,          // Device3dBlend
  kDestBlend,         // Device3dBlend
  kColorKeyEnable,    // 0/1: texels whose alpha is 0 (the colour key) are not drawn
  kFillMode,          // Device3dFill
  kCullMode,          // Device3dCull
  kFogEnable,         // 0/1
  kFogVertexMode,     // Device3dFogMode of vertex fog
  kFogTableMode,      // Device3dFogMode of table (pixel) fog
  kFogColor,          // 0xRRGGBB
  kFogStart,          // float bits
  kFogEnd,            // float bits
  kAmbient,           // 0xRRGGBB: the light added to every lit vertex
  kNormalizeNormals,  // 0/1
  kLighting,          // 0/1, on at start
  kDither,            // 0/1
  kSpecular,          // 0/1
  kCount
};

enum Device3dBlend : uint32_t {
  kBlendZero = 1,
  kBlendOne = 2,
  kBlendSrcColor = 3,
  kBlendInvSrcColor = 4,
  kBlendSrcAlpha = 5,
  kBlendInvSrcAlpha = 6,
  kBlendDestAlpha = 7,
  kBlendInvDestAlpha = 8,
  kBlendDestColor = 9,
  kBlendInvDestColor = 10,
};
enum Device3dFill : uint32_t { kFillPoint = 1, kFillWireframe = 2, kFillSolid = 3 };
// kCullCcw drops triangles whose corners run counter-clockwise on screen (y down).
enum Device3dCull : uint32_t { kCullNone = 1, kCullCw = 2, kCullCcw = 3 };
enum Device3dFogMode : uint32_t { kFogNone = 0, kFogExp = 1, kFogExp2 = 2, kFogLinear = 3 };

// Stage-0 texture states.
enum class Device3dStageState { kMinFilter, kMagFilter, kAddress, kCount };
enum Device3dFilter : uint32_t { kFilterPoint = 1, kFilterLinear = 2, kFilterAnisotropic = 3 };
enum Device3dAddress : uint32_t { kAddressWrap = 1, kAddressMirror = 2, kAddressClamp = 3 };

enum Device3dClearFlags : uint32_t { kClearTarget = 1, kClearZBuffer = 2 };

struct Device3dColor {
  float r, g, b, a;
};

struct Device3dMaterial {
  Device3dColor diffuse, ambient, specular, emissive;
  float power;
};

enum Device3dLightType : uint32_t { kLightPoint = 1, kLightSpot = 2, kLightDirectional = 3 };

// A light as set with SetLight; positions and directions are in world space.
struct Device3dLight {
  uint32_t type;
  Device3dColor diffuse, specular, ambient;
  float position[3];
  float direction[3];  // the way the light travels
  float range;
  float falloff;
  float attenuation0, attenuation1, attenuation2;
  float theta, phi;  // spot inner and outer cone, full angles in radians
};

// Viewport in pixels from the top left, with its depth range.
struct Device3dViewport {
  int x, y, width, height;
  float minZ, maxZ;
};

// A matrix in row-vector order (a point p becomes p x M; translation in row 4), as
// engine3d's Matrix4 keeps it: pass matrix.m.
using Device3dMatrix = float[4][4];

// Handles: 0 is never a valid texture or vertex buffer.
using Device3dTexture = uint32_t;
using Device3dVertexBuffer = uint32_t;

// The largest texture side any back-end takes; larger pictures are refused before their
// texels are converted.
constexpr int kDevice3dMaxTextureSide = 8192;

// The device interface: each back-end fills the table; Device3dInstall fills empty slots with
// no-op defaults, so callers never test for null. Lights are addressed by any index; how many
// can shine at once is the back-end's (OpenGL: 8).
struct Device3d {
  const char* name;  // "T&L" on a hardware renderer, "RGB" in software, "Record" in tests
  bool (*BeginScene)();
  void (*EndScene)();
  // Clears the viewport's target and/or depth buffer (Device3dClearFlags). A clear of the
  // whole target may keep the picture on the device's side until Device3dClaimCpuSide.
  bool (*Clear)(uint32_t flags, uint32_t colour, float z);
  void (*SetViewport)(const Device3dViewport& viewport);
  void (*GetViewport)(Device3dViewport* viewport);
  void (*SetTransform)(Device3dTransform which, const Device3dMatrix& matrix);
  void (*GetTransform)(Device3dTransform which, Device3dMatrix& matrix);
  void (*SetRenderState)(Device3dState state, uint32_t value);
  uint32_t (*GetRenderState)(Device3dState state);
  void (*SetTextureStageState)(Device3dStageState state, uint32_t value);
  void (*SetMaterial)(const Device3dMaterial& material);
  bool (*SetLight)(uint32_t index, const Device3dLight& light);
  bool (*LightEnable)(uint32_t index, bool enable);
  // Makes a texture from width x height pixels 0xAARRGGBB (alpha 0 = colour-keyed texel).
  Device3dTexture (*CreateTexture)(int width, int height, const uint32_t* pixels);
  void (*ReleaseTexture)(Device3dTexture texture);
  void (*SetTexture)(Device3dTexture texture);  // stage 0; 0 = none
  Device3dVertexBuffer (*CreateVertexBuffer)(uint32_t vertexCount);
  // Pointer to the buffer's vertices until Unlock; null for an unknown buffer.
  Device3dVertex* (*LockVertexBuffer)(Device3dVertexBuffer buffer);
  void (*UnlockVertexBuffer)(Device3dVertexBuffer buffer);
  void (*ReleaseVertexBuffer)(Device3dVertexBuffer buffer);
  // Indexed triangle list from the buffer's vertices firstVertex .. firstVertex+vertexCount-1;
  // indices are relative to firstVertex, three per triangle.
  void (*DrawIndexedPrimitiveVB)(Device3dVertexBuffer buffer, uint32_t firstVertex, uint32_t vertexCount,
                                 const uint16_t* indices, uint32_t indexCount);
  // The render target is the shared back buffer: the back-end copies it in before drawing over
  // CPU work and out before CPU work continues (Device3dClaimCpuSide).
  void (*AttachBackBuffer)(Surface* backBuffer);
  void (*ClaimCpuSide)();
  void (*Close)();
};

// The device in use, set by Device3dInstall; a do-nothing device until then. The engine, the
// models and the 2D layer reach the device through it.
Device3d& Device3dActive();
// Installs a back-end as the active device (slots it left null become no-ops). Null restores
// the do-nothing device. Called by the display set-up and by tests.
void Device3dInstall(const Device3d* backend);
// Before any CPU pixel work on the back buffer (2D drawing, sprites, presenting, saving the
// screen): brings the 3D picture into the back buffer when the device drew last. Cheap when
// the CPU side is current.
void Device3dClaimCpuSide();

// OpenGL back-end (compatibility profile in a hidden SDL window, rendering to an offscreen
// framebuffer of width x height). Null when no context can be made; the reason is in
// Device3dLastError.
const Device3d* Device3dOpenGl(int width, int height);
const char* Device3dLastError();
// The GL renderer of the last opened OpenGL device ("" before one opened): the card's name.
const char* Device3dRendererName();

// Recording back-end for tests: records every call, keeps states, lights and vertex buffers.
const Device3d* Device3dOpenRecorder();
