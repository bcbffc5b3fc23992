// OpenGL back-end of the 3D device: fixed-function compatibility profile in a hidden SDL
// window, drawing into an offscreen framebuffer that is synchronised with the CPU back buffer.
#include "platform/device3d.h"
#include "platform/surface.h"
#include "platform/window_local.h"

#include <SDL.h>
#include <SDL_opengl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Entry points beyond OpenGL 1.1, fetched from the context.
struct GlExtensions {
  PFNGLGENFRAMEBUFFERSPROC GenFramebuffers;
  PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers;
  PFNGLBINDFRAMEBUFFERPROC BindFramebuffer;
  PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer;
  PFNGLFRAMEBUFFERTEXTURE2DPROC FramebufferTexture2D;
  PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus;
  PFNGLBLITFRAMEBUFFERPROC BlitFramebuffer;
  PFNGLGENRENDERBUFFERSPROC GenRenderbuffers;
  PFNGLDELETERENDERBUFFERSPROC DeleteRenderbuffers;
  PFNGLBINDRENDERBUFFERPROC BindRenderbuffer;
  PFNGLRENDERBUFFERSTORAGEPROC RenderbufferStorage;
  PFNGLGENBUFFERSPROC GenBuffers;
  PFNGLDELETEBUFFERSPROC DeleteBuffers;
  PFNGLBINDBUFFERPROC BindBuffer;
  PFNGLBUFFERDATAPROC BufferData;
  PFNGLBUFFERSUBDATAPROC BufferSubData;
};

// A vertex buffer, with the indices drawn from it kept in an element buffer of its own: a mesh
// drawn frame after frame sends its indices once. Indices given from client memory at each
// draw made the driver copy them into fresh upload buffers every frame, and the pages of those
// buffers were faulted in again and again (most of a frame of thousands of objects). Indices
// new to a buffer are drawn from client memory once and stored when the scene ends: element
// buffers filled between the draws of a scene cost llvmpipe tens of kilobytes each.
struct GlVertexBuffer {
  GLuint name;
  std::vector<Device3dVertex> vertices;
  GLuint indexName = 0;            // element buffer; 0 until indices are first stored
  std::vector<uint16_t> indices;   // the indices last drawn, to tell when a draw brings others
  bool indicesStored = false;      // the element buffer holds them
  size_t indexCapacity = 0;        // indices the element buffer has room for
  uint32_t indexChanges = 0;       // how often draws brought other indices
  bool indicesNoted = false;       // in the list of indices to store
};

// Past this many changes a buffer's indices are taken as drawn anew each time (the static
// world's batches) and are no longer stored.
constexpr uint32_t kStreamedIndexChanges = 8;

// A texture: its own GL texture, or a cell of a solid-colour page. Textures of one colour
// everywhere (the colour commands make thousands) share a few GL textures, so drawing them
// one after another changes no sampler: llvmpipe copies its whole fragment state for every
// draw after a texture change.
struct GlTexture {
  GLuint name = 0;  // own texture; 0 for a cell
  int page = -1;    // solid-colour page, -1 for an own texture
  int cell = 0;
};

// One page of solid colours: 64 x 64 cells of 4 x 4 texels. A draw reads the centre of its
// cell whatever the mesh's coordinates (the texture matrix maps them all there), so point,
// linear and anisotropic filtering and every address mode give exactly the cell's texel.
constexpr int kSolidPageSide = 256, kSolidCellSide = 4, kSolidCellsPerRow = kSolidPageSide / kSolidCellSide;
struct SolidPage {
  GLuint name = 0;
  std::vector<int> freeCells;  // cells to hand out, the last first
};

struct GlLight {
  Device3dLight light;
  bool enabled;
};

enum class PictureSide { kCpu, kGpu };

// The one OpenGL device; made by Device3dOpenGl, cleared by Close.
struct GlDevice {
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;
  GlExtensions gl{};
  int width = 0, height = 0;
  GLuint framebuffer = 0, colourBuffer = 0, depthBuffer = 0;
  GLuint uploadFramebuffer = 0, uploadTexture = 0;  // CPU picture on its way in
  std::vector<uint32_t> scratch;                    // one frame of pixels for the copies
  Surface* backBuffer = nullptr;
  PictureSide side = PictureSide::kCpu;
  bool inScene = false;
  float transforms[3][4][4] = {};
  bool transformsDirty = true;
  std::map<uint32_t, GlLight> lights;
  bool lightsDirty = true;
  std::map<Device3dVertexBuffer, GlVertexBuffer> buffers;
  std::vector<Device3dVertexBuffer> indicesToStore;  // buffers whose new indices wait for the scene's end
  std::map<Device3dTexture, GlTexture> textures;
  std::vector<SolidPage> solidPages;
  Device3dTexture texture = 0;
  int textureMatrixCell = -1;  // page x cells + cell the texture matrix points at; -1 identity
  uint32_t nextHandle = 1;
  uint32_t states[static_cast<int>(Device3dState::kCount)] = {};
  uint32_t stageStates[static_cast<int>(Device3dStageState::kCount)] = {};
  Device3dViewport viewport{};
  Device3dMaterial material{};
  bool anisotropic = false;
};

GlDevice* g_gl = nullptr;
// The reason the last Device3dOpenGl failed; lives for the process.
std::string g_lastError;
std::string g_rendererName;  // GL_RENDERER of the last device opened; lives for the process

void MakeCurrent() {
  if (SDL_GL_GetCurrentContext() != g_gl->context) SDL_GL_MakeCurrent(g_gl->window, g_gl->context);
}

// Copies the CPU back buffer into the framebuffer: uploaded as a texture and blitted upside
// down, since the framebuffer's rows run bottom to top.
void UploadBackBuffer() {
  Surface* surface = g_gl->backBuffer;
  if (surface == nullptr || surface->lost || surface->width != g_gl->width || surface->height != g_gl->height)
    return;
  GlExtensions& gl = g_gl->gl;
  glBindTexture(GL_TEXTURE_2D, g_gl->uploadTexture);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, g_gl->width, g_gl->height, GL_BGRA, GL_UNSIGNED_BYTE,
                  surface->pixels.data());
  gl.BindFramebuffer(GL_READ_FRAMEBUFFER, g_gl->uploadFramebuffer);
  gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, g_gl->framebuffer);
  glDisable(GL_SCISSOR_TEST);  // the blit obeys the scissor box; the whole picture comes in
  gl.BlitFramebuffer(0, 0, g_gl->width, g_gl->height, 0, g_gl->height, g_gl->width, 0, GL_COLOR_BUFFER_BIT,
                     GL_NEAREST);
  glEnable(GL_SCISSOR_TEST);
  gl.BindFramebuffer(GL_FRAMEBUFFER, g_gl->framebuffer);
}

void ReadBackBuffer() {
  Surface* surface = g_gl->backBuffer;
  if (surface == nullptr || surface->lost || surface->width != g_gl->width || surface->height != g_gl->height)
    return;
  const int w = g_gl->width, h = g_gl->height;
  g_gl->scratch.resize(static_cast<size_t>(w) * h);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, g_gl->scratch.data());
  for (int row = 0; row < h; ++row) {
    const uint32_t* from = g_gl->scratch.data() + static_cast<size_t>(h - 1 - row) * w;
    uint32_t* to = surface->pixels.data() + static_cast<size_t>(row) * w;
    for (int x = 0; x < w; ++x) to[x] = from[x] & 0x00FFFFFFu;
  }
}

// Every drawing entry point starts here: the GL side takes the picture over from the CPU side.
// A clear of the whole target replaces the picture, so it needs no upload first.
void EnterGpuSide(bool replacesWholePicture = false) {
  MakeCurrent();
  if (g_gl->side == PictureSide::kCpu) {
    if (!replacesWholePicture) UploadBackBuffer();
    g_gl->side = PictureSide::kGpu;
  }
}

// Outside a scene every drawing call hands the picture straight back, so 2D work never sees
// a stale back buffer.
void LeaveGpuSideOutsideScene() {
  if (!g_gl->inScene && g_gl->side == PictureSide::kGpu) {
    ReadBackBuffer();
    g_gl->side = PictureSide::kCpu;
  }
}

GLenum BlendFactor(uint32_t blend) {
  switch (blend) {
    case kBlendZero: return GL_ZERO;
    case kBlendOne: return GL_ONE;
    case kBlendSrcColor: return GL_SRC_COLOR;
    case kBlendInvSrcColor: return GL_ONE_MINUS_SRC_COLOR;
    case kBlendSrcAlpha: return GL_SRC_ALPHA;
    case kBlendInvSrcAlpha: return GL_ONE_MINUS_SRC_ALPHA;
    case kBlendDestAlpha: return GL_DST_ALPHA;
    case kBlendInvDestAlpha: return GL_ONE_MINUS_DST_ALPHA;
    case kBlendDestColor: return GL_DST_COLOR;
    case kBlendInvDestColor: return GL_ONE_MINUS_DST_COLOR;
    default: return GL_ONE;
  }
}

float StateFloat(Device3dState state) {
  float value;
  std::memcpy(&value, &g_gl->states[static_cast<int>(state)], sizeof value);
  return value;
}

void SetColourArray(GLfloat out[4], uint32_t rgb) {
  out[0] = ((rgb >> 16) & 255) / 255.0f;
  out[1] = ((rgb >> 8) & 255) / 255.0f;
  out[2] = (rgb & 255) / 255.0f;
  out[3] = 1.0f;
}

void Toggle(GLenum capability, bool on) {
  if (on)
    glEnable(capability);
  else
    glDisable(capability);
}

void ApplyRenderState(Device3dState state) {
  const uint32_t value = g_gl->states[static_cast<int>(state)];
  switch (state) {
    case Device3dState::kZEnable: Toggle(GL_DEPTH_TEST, value != 0); break;
    case Device3dState::kZWriteEnable: glDepthMask(value != 0 ? GL_TRUE : GL_FALSE); break;
    case Device3dState::kAlphaBlendEnable: Toggle(GL_BLEND, value != 0); break;
    case Device3dState::kSrcBlend:
    case Device3dState::kDestBlend:
      glBlendFunc(BlendFactor(g_gl->states[static_cast<int>(Device3dState::kSrcBlend)]),
                  BlendFactor(g_gl->states[static_cast<int>(Device3dState::kDestBlend)]));
      break;
    case Device3dState::kColorKeyEnable: Toggle(GL_ALPHA_TEST, value != 0); break;
    case Device3dState::kFillMode:
      glPolygonMode(GL_FRONT_AND_BACK, value == kFillWireframe ? GL_LINE : value == kFillPoint ? GL_POINT : GL_FILL);
      break;
    case Device3dState::kCullMode:
      // Front faces run clockwise on screen; kCullCcw drops the others.
      Toggle(GL_CULL_FACE, value == kCullCcw || value == kCullCw);
      glCullFace(value == kCullCw ? GL_FRONT : GL_BACK);
      break;
    case Device3dState::kFogEnable: Toggle(GL_FOG, value != 0); break;
    case Device3dState::kFogVertexMode:
    case Device3dState::kFogTableMode: {
      uint32_t mode = g_gl->states[static_cast<int>(Device3dState::kFogTableMode)];
      if (mode == kFogNone) mode = g_gl->states[static_cast<int>(Device3dState::kFogVertexMode)];
      glFogi(GL_FOG_MODE, mode == kFogExp ? GL_EXP : mode == kFogExp2 ? GL_EXP2 : GL_LINEAR);
      break;
    }
    case Device3dState::kFogColor: {
      GLfloat colour[4];
      SetColourArray(colour, value);
      glFogfv(GL_FOG_COLOR, colour);
      break;
    }
    case Device3dState::kFogStart: glFogf(GL_FOG_START, StateFloat(state)); break;
    case Device3dState::kFogEnd: glFogf(GL_FOG_END, StateFloat(state)); break;
    case Device3dState::kAmbient: {
      GLfloat colour[4];
      SetColourArray(colour, value);
      glLightModelfv(GL_LIGHT_MODEL_AMBIENT, colour);
      break;
    }
    case Device3dState::kNormalizeNormals: Toggle(GL_NORMALIZE, value != 0); break;
    case Device3dState::kLighting: Toggle(GL_LIGHTING, value != 0); break;
    case Device3dState::kDither: Toggle(GL_DITHER, value != 0); break;
    case Device3dState::kSpecular: break;  // read when the material is applied
    case Device3dState::kCount: break;
  }
}

void ApplyMaterial() {
  const Device3dMaterial& m = g_gl->material;
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &m.diffuse.r);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, &m.ambient.r);
  glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, &m.emissive.r);
  const bool specular = g_gl->states[static_cast<int>(Device3dState::kSpecular)] != 0;
  const GLfloat none[4] = {0, 0, 0, 1};
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular ? &m.specular.r : none);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(m.power, 0.0f, 128.0f));
}

// The device's projection keeps depth in 0..1; OpenGL clips -w..w, so z becomes 2z - w.
const GLfloat kDepthRangeFix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 0, 0, 0, -1, 1};

// Lights are placed under the view transform (their positions are in world space), then the
// modelview becomes world x view. At most eight enabled lights shine, lowest indices first.
void ApplyTransformsAndLights() {
  if (!g_gl->transformsDirty && !g_gl->lightsDirty) return;
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(kDepthRangeFix);
  glMultMatrixf(&g_gl->transforms[static_cast<int>(Device3dTransform::kProjection)][0][0]);
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(&g_gl->transforms[static_cast<int>(Device3dTransform::kView)][0][0]);
  int slot = 0;
  for (const auto& [index, entry] : g_gl->lights) {
    if (!entry.enabled || slot == 8) continue;
    const Device3dLight& light = entry.light;
    const GLenum name = GL_LIGHT0 + slot++;
    glEnable(name);
    glLightfv(name, GL_DIFFUSE, &light.diffuse.r);
    glLightfv(name, GL_SPECULAR, &light.specular.r);
    glLightfv(name, GL_AMBIENT, &light.ambient.r);
    if (light.type == kLightDirectional) {
      const GLfloat towards[4] = {-light.direction[0], -light.direction[1], -light.direction[2], 0};
      glLightfv(name, GL_POSITION, towards);
      glLightf(name, GL_SPOT_CUTOFF, 180.0f);
      glLightf(name, GL_CONSTANT_ATTENUATION, 1.0f);
      glLightf(name, GL_LINEAR_ATTENUATION, 0.0f);
      glLightf(name, GL_QUADRATIC_ATTENUATION, 0.0f);
      continue;
    }
    const GLfloat position[4] = {light.position[0], light.position[1], light.position[2], 1};
    glLightfv(name, GL_POSITION, position);
    glLightf(name, GL_CONSTANT_ATTENUATION, light.attenuation0);
    glLightf(name, GL_LINEAR_ATTENUATION, light.attenuation1);
    glLightf(name, GL_QUADRATIC_ATTENUATION, light.attenuation2);
    if (light.type == kLightSpot) {
      glLightfv(name, GL_SPOT_DIRECTION, light.direction);
      const float halfOuterDegrees = light.phi * 0.5f * 57.29578f;
      glLightf(name, GL_SPOT_CUTOFF, std::clamp(halfOuterDegrees, 0.0f, 90.0f));
      glLightf(name, GL_SPOT_EXPONENT, std::clamp(light.falloff, 0.0f, 128.0f));
    } else {
      glLightf(name, GL_SPOT_CUTOFF, 180.0f);
    }
  }
  for (; slot < 8; ++slot) glDisable(GL_LIGHT0 + slot);
  glMultMatrixf(&g_gl->transforms[static_cast<int>(Device3dTransform::kWorld)][0][0]);
  g_gl->transformsDirty = false;
  g_gl->lightsDirty = false;
}

void ApplyViewport() {
  const Device3dViewport& v = g_gl->viewport;
  const int bottom = g_gl->height - (v.y + v.height);
  glViewport(v.x, bottom, v.width, v.height);
  glScissor(v.x, bottom, v.width, v.height);
  glDepthRange(v.minZ, v.maxZ);
}

GLint FilterOf(uint32_t filter) { return filter == kFilterPoint ? GL_NEAREST : GL_LINEAR; }

GLint AddressOf(uint32_t address) {
  return address == kAddressMirror ? GL_MIRRORED_REPEAT : address == kAddressClamp ? GL_CLAMP_TO_EDGE : GL_REPEAT;
}

// The texture matrix of a draw: identity for an own texture, else every coordinate to the
// centre of the solid cell (loaded only when it changes).
void ApplyTextureMatrix(const GlTexture& texture) {
  const int wanted = texture.page < 0 ? -1 : texture.page * kSolidCellsPerRow * kSolidCellsPerRow + texture.cell;
  if (wanted == g_gl->textureMatrixCell) return;
  g_gl->textureMatrixCell = wanted;
  GLfloat matrix[16] = {};
  if (texture.page < 0) {
    matrix[0] = matrix[5] = matrix[10] = 1.0f;
  } else {
    matrix[12] = static_cast<float>((texture.cell % kSolidCellsPerRow) * kSolidCellSide + kSolidCellSide / 2) / kSolidPageSide;
    matrix[13] = static_cast<float>((texture.cell / kSolidCellsPerRow) * kSolidCellSide + kSolidCellSide / 2) / kSolidPageSide;
  }
  matrix[15] = 1.0f;
  glMatrixMode(GL_TEXTURE);
  glLoadMatrixf(matrix);
  glMatrixMode(GL_MODELVIEW);
}

// Stage states live in the bound texture in OpenGL; they are applied at each draw.
void ApplyTextureForDraw() {
  auto found = g_gl->textures.find(g_gl->texture);
  if (found == g_gl->textures.end()) {
    glDisable(GL_TEXTURE_2D);
    return;
  }
  glEnable(GL_TEXTURE_2D);
  ApplyTextureMatrix(found->second);
  glBindTexture(GL_TEXTURE_2D, found->second.page < 0 ? found->second.name
                                                      : g_gl->solidPages[static_cast<size_t>(found->second.page)].name);
  const uint32_t minFilter = g_gl->stageStates[static_cast<int>(Device3dStageState::kMinFilter)];
  const uint32_t magFilter = g_gl->stageStates[static_cast<int>(Device3dStageState::kMagFilter)];
  const GLint address = AddressOf(g_gl->stageStates[static_cast<int>(Device3dStageState::kAddress)]);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, FilterOf(minFilter));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, FilterOf(magFilter));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, address);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, address);
  if (g_gl->anisotropic)
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, minFilter == kFilterAnisotropic ? 8.0f : 1.0f);
}

bool GlBeginScene() {
  EnterGpuSide();
  g_gl->inScene = true;
  return true;
}

void StoreNotedIndices();

void GlEndScene() {
  g_gl->inScene = false;
  MakeCurrent();
  StoreNotedIndices();
  LeaveGpuSideOutsideScene();
}

bool GlClear(uint32_t flags, uint32_t colour, float z) {
  const Device3dViewport& v = g_gl->viewport;
  const bool wholeTarget = (flags & kClearTarget) != 0 && v.x <= 0 && v.y <= 0 && v.x + v.width >= g_gl->width &&
                           v.y + v.height >= g_gl->height;
  EnterGpuSide(wholeTarget);
  GLbitfield mask = 0;
  if (flags & kClearTarget) {
    GLfloat rgba[4];
    SetColourArray(rgba, colour);
    glClearColor(rgba[0], rgba[1], rgba[2], 1.0f);
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if (flags & kClearZBuffer) {
    glClearDepth(z);
    glDepthMask(GL_TRUE);  // a clear writes depth whatever the z-write state
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  glEnable(GL_SCISSOR_TEST);
  glClear(mask);
  ApplyRenderState(Device3dState::kZWriteEnable);
  // A clear of the whole picture (a frame's start) stays on the GL side: the frame's 3D draws
  // over it without a copy in, and CPU work claims the picture as it always does.
  if (!wholeTarget) LeaveGpuSideOutsideScene();
  return true;
}

void GlSetViewport(const Device3dViewport& viewport) {
  g_gl->viewport = viewport;
  MakeCurrent();
  ApplyViewport();
}

void GlGetViewport(Device3dViewport* viewport) { *viewport = g_gl->viewport; }

void GlSetTransform(Device3dTransform which, const Device3dMatrix& matrix) {
  std::memcpy(g_gl->transforms[static_cast<int>(which)], matrix, sizeof(float) * 16);
  g_gl->transformsDirty = true;
}

void GlGetTransform(Device3dTransform which, Device3dMatrix& matrix) {
  std::memcpy(matrix, g_gl->transforms[static_cast<int>(which)], sizeof(float) * 16);
}

void GlSetRenderState(Device3dState state, uint32_t value) {
  if (state >= Device3dState::kCount) return;
  g_gl->states[static_cast<int>(state)] = value;
  MakeCurrent();
  ApplyRenderState(state);
  if (state == Device3dState::kSpecular) ApplyMaterial();
}

uint32_t GlGetRenderState(Device3dState state) {
  return state < Device3dState::kCount ? g_gl->states[static_cast<int>(state)] : 0;
}

void GlSetTextureStageState(Device3dStageState state, uint32_t value) {
  if (state < Device3dStageState::kCount) g_gl->stageStates[static_cast<int>(state)] = value;
}

void GlSetMaterial(const Device3dMaterial& material) {
  g_gl->material = material;
  MakeCurrent();
  ApplyMaterial();
}

bool GlSetLight(uint32_t index, const Device3dLight& light) {
  auto found = g_gl->lights.find(index);
  const bool enabled = found != g_gl->lights.end() && found->second.enabled;
  g_gl->lights[index] = GlLight{light, enabled};
  g_gl->lightsDirty = true;
  return true;
}

bool GlLightEnable(uint32_t index, bool enable) {
  auto found = g_gl->lights.find(index);
  if (found == g_gl->lights.end()) {
    // An index never set shines as a white directional light along +z.
    Device3dLight light{};
    light.type = kLightDirectional;
    light.diffuse = Device3dColor{1, 1, 1, 0};
    light.direction[2] = 1.0f;
    found = g_gl->lights.emplace(index, GlLight{light, false}).first;
  }
  found->second.enabled = enable;
  g_gl->lightsDirty = true;
  return true;
}

// Puts a texel colour into a free cell of a solid page (a new page when all are full); false
// when the driver refuses the page.
bool PlaceSolidTexture(uint32_t texel, GlTexture& texture) {
  size_t page = 0;
  while (page < g_gl->solidPages.size() && g_gl->solidPages[page].freeCells.empty()) ++page;
  if (page == g_gl->solidPages.size()) {
    SolidPage made;
    glGenTextures(1, &made.name);
    glBindTexture(GL_TEXTURE_2D, made.name);
    const std::vector<uint32_t> clear(static_cast<size_t>(kSolidPageSide) * kSolidPageSide, 0);
    while (glGetError() != GL_NO_ERROR) {
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kSolidPageSide, kSolidPageSide, 0, GL_BGRA, GL_UNSIGNED_BYTE, clear.data());
    if (glGetError() != GL_NO_ERROR) {
      glDeleteTextures(1, &made.name);
      return false;
    }
    for (int cell = kSolidCellsPerRow * kSolidCellsPerRow - 1; cell >= 0; --cell) made.freeCells.push_back(cell);
    g_gl->solidPages.push_back(std::move(made));
  }
  SolidPage& target = g_gl->solidPages[page];
  texture.page = static_cast<int>(page);
  texture.cell = target.freeCells.back();
  target.freeCells.pop_back();
  const std::vector<uint32_t> block(kSolidCellSide * kSolidCellSide, texel);
  glBindTexture(GL_TEXTURE_2D, target.name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexSubImage2D(GL_TEXTURE_2D, 0, (texture.cell % kSolidCellsPerRow) * kSolidCellSide,
                  (texture.cell / kSolidCellsPerRow) * kSolidCellSide, kSolidCellSide, kSolidCellSide, GL_BGRA,
                  GL_UNSIGNED_BYTE, block.data());
  return true;
}

Device3dTexture GlCreateTexture(int width, int height, const uint32_t* pixels) {
  if (width <= 0 || height <= 0 || width > kDevice3dMaxTextureSide || height > kDevice3dMaxTextureSide ||
      pixels == nullptr)
    return 0;
  MakeCurrent();
  GlTexture texture;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  const bool solid = std::all_of(pixels, pixels + count, [pixels](uint32_t texel) { return texel == pixels[0]; });
  if (!solid || !PlaceSolidTexture(pixels[0], texture)) {
    glGenTextures(1, &texture.name);
    glBindTexture(GL_TEXTURE_2D, texture.name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
  }
  const Device3dTexture handle = g_gl->nextHandle++;
  g_gl->textures[handle] = texture;
  return handle;
}

void GlReleaseTexture(Device3dTexture texture) {
  auto found = g_gl->textures.find(texture);
  if (found == g_gl->textures.end()) return;
  MakeCurrent();
  if (found->second.page < 0)
    glDeleteTextures(1, &found->second.name);
  else
    g_gl->solidPages[static_cast<size_t>(found->second.page)].freeCells.push_back(found->second.cell);
  g_gl->textures.erase(found);
}

void GlSetTexture(Device3dTexture texture) { g_gl->texture = texture; }

Device3dVertexBuffer GlCreateVertexBuffer(uint32_t vertexCount) {
  if (vertexCount == 0 || vertexCount > (1u << 24)) return 0;
  MakeCurrent();
  GlVertexBuffer buffer;
  g_gl->gl.GenBuffers(1, &buffer.name);
  buffer.vertices.assign(vertexCount, Device3dVertex{});
  const Device3dVertexBuffer handle = g_gl->nextHandle++;
  g_gl->buffers.emplace(handle, std::move(buffer));
  return handle;
}

Device3dVertex* GlLockVertexBuffer(Device3dVertexBuffer buffer) {
  auto found = g_gl->buffers.find(buffer);
  return found == g_gl->buffers.end() ? nullptr : found->second.vertices.data();
}

void GlUnlockVertexBuffer(Device3dVertexBuffer buffer) {
  auto found = g_gl->buffers.find(buffer);
  if (found == g_gl->buffers.end()) return;
  MakeCurrent();
  GlExtensions& gl = g_gl->gl;
  gl.BindBuffer(GL_ARRAY_BUFFER, found->second.name);
  gl.BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(found->second.vertices.size() * sizeof(Device3dVertex)),
                found->second.vertices.data(), GL_STATIC_DRAW);
  gl.BindBuffer(GL_ARRAY_BUFFER, 0);
}

void DeleteGlBuffers(GlVertexBuffer& buffer) {
  g_gl->gl.DeleteBuffers(1, &buffer.name);
  if (buffer.indexName != 0) g_gl->gl.DeleteBuffers(1, &buffer.indexName);
}

void GlReleaseVertexBuffer(Device3dVertexBuffer buffer) {
  auto found = g_gl->buffers.find(buffer);
  if (found == g_gl->buffers.end()) return;
  MakeCurrent();
  DeleteGlBuffers(found->second);
  g_gl->buffers.erase(found);
}

// Where the draw takes its indices from: the buffer's element buffer (bound, offset 0) when it
// holds these indices, else the caller's memory; other indices are noted for storing.
const void* IndicesForDraw(Device3dVertexBuffer handle, GlVertexBuffer& buffer, const uint16_t* indices,
                           uint32_t count) {
  const bool same = buffer.indices.size() == count &&
                    std::memcmp(buffer.indices.data(), indices, sizeof(uint16_t) * count) == 0;
  if (same && buffer.indicesStored) {
    g_gl->gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer.indexName);
    return nullptr;
  }
  if (same) return indices;  // noted already
  buffer.indicesStored = false;
  if (buffer.indexChanges < kStreamedIndexChanges) {
    ++buffer.indexChanges;
    buffer.indices.assign(indices, indices + count);
    if (!buffer.indicesNoted) g_gl->indicesToStore.push_back(handle);
    buffer.indicesNoted = true;
  } else if (!buffer.indices.empty()) {
    std::vector<uint16_t>().swap(buffer.indices);  // drawn anew each time from now on
  }
  return indices;
}

// Outside the draws of a scene: the noted buffers' indices go into their element buffers
// (written over in place while they fit).
void StoreNotedIndices() {
  if (g_gl->indicesToStore.empty()) return;
  GlExtensions& gl = g_gl->gl;
  for (Device3dVertexBuffer handle : g_gl->indicesToStore) {
    auto found = g_gl->buffers.find(handle);
    if (found == g_gl->buffers.end()) continue;  // released meanwhile
    GlVertexBuffer& buffer = found->second;
    buffer.indicesNoted = false;
    if (buffer.indicesStored || buffer.indices.empty()) continue;
    if (buffer.indexName == 0) gl.GenBuffers(1, &buffer.indexName);
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer.indexName);
    const GLsizeiptr bytes = static_cast<GLsizeiptr>(sizeof(uint16_t) * buffer.indices.size());
    if (buffer.indices.size() > buffer.indexCapacity) {
      gl.BufferData(GL_ELEMENT_ARRAY_BUFFER, bytes, buffer.indices.data(), GL_STATIC_DRAW);
      buffer.indexCapacity = buffer.indices.size();
    } else {
      gl.BufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, bytes, buffer.indices.data());
    }
    buffer.indicesStored = true;
  }
  gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  g_gl->indicesToStore.clear();
}

void GlDraw(Device3dVertexBuffer buffer, uint32_t firstVertex, uint32_t vertexCount, const uint16_t* indices,
            uint32_t indexCount) {
  auto found = g_gl->buffers.find(buffer);
  if (found == g_gl->buffers.end() || indices == nullptr || indexCount < 3) return;
  const uint32_t available = static_cast<uint32_t>(found->second.vertices.size());
  if (firstVertex >= available || vertexCount > available - firstVertex) return;
  // Indices past the range would read outside the buffer: such a draw is refused whole.
  for (uint32_t i = 0; i < indexCount; ++i)
    if (indices[i] >= vertexCount) return;
  EnterGpuSide();
  ApplyTransformsAndLights();
  ApplyTextureForDraw();
  GlExtensions& gl = g_gl->gl;
  gl.BindBuffer(GL_ARRAY_BUFFER, found->second.name);
  const size_t base = static_cast<size_t>(firstVertex) * sizeof(Device3dVertex);
  glVertexPointer(3, GL_FLOAT, sizeof(Device3dVertex), reinterpret_cast<const void*>(base));
  glNormalPointer(GL_FLOAT, sizeof(Device3dVertex), reinterpret_cast<const void*>(base + 12));
  glTexCoordPointer(2, GL_FLOAT, sizeof(Device3dVertex), reinterpret_cast<const void*>(base + 24));
  const uint32_t drawn = indexCount - indexCount % 3;
  glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(drawn), GL_UNSIGNED_SHORT,
                 IndicesForDraw(buffer, found->second, indices, drawn));
  gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  gl.BindBuffer(GL_ARRAY_BUFFER, 0);
  if (!g_gl->inScene) StoreNotedIndices();
  LeaveGpuSideOutsideScene();
}

bool MakeFramebuffers();
void DeleteFramebuffers();

// The 3D target follows the back buffer's size (a display-mode change makes a new one): the
// frame buffers are made again at that size, with the viewport over the whole of it; the
// context keeps its textures, vertex buffers and states.
void GlAttachBackBuffer(Surface* backBuffer) {
  g_gl->backBuffer = backBuffer;
  g_gl->side = PictureSide::kCpu;
  if (backBuffer == nullptr || (backBuffer->width == g_gl->width && backBuffer->height == g_gl->height)) return;
  if (backBuffer->width < 1 || backBuffer->height < 1 || backBuffer->width > 8192 || backBuffer->height > 8192) return;
  MakeCurrent();
  DeleteFramebuffers();
  g_gl->width = backBuffer->width;
  g_gl->height = backBuffer->height;
  if (!MakeFramebuffers()) g_lastError = "the GL driver cannot make the 3D target";
  g_gl->viewport = Device3dViewport{0, 0, g_gl->width, g_gl->height, 0.0f, 1.0f};
  ApplyViewport();
}

void GlClaimCpuSide() {
  if (g_gl->side != PictureSide::kGpu) return;
  MakeCurrent();
  ReadBackBuffer();
  g_gl->side = PictureSide::kCpu;
}

void GlClose() {
  if (g_gl == nullptr) return;
  if (g_gl->context != nullptr) {
    MakeCurrent();
    GlExtensions& gl = g_gl->gl;
    if (gl.DeleteBuffers)
      for (auto& [handle, buffer] : g_gl->buffers) DeleteGlBuffers(buffer);
    for (auto& [handle, texture] : g_gl->textures)
      if (texture.page < 0) glDeleteTextures(1, &texture.name);
    for (SolidPage& page : g_gl->solidPages) glDeleteTextures(1, &page.name);
    DeleteFramebuffers();
    SDL_GL_MakeCurrent(g_gl->window, nullptr);
    SDL_GL_DeleteContext(g_gl->context);
  }
  if (g_gl->window) SDL_DestroyWindow(g_gl->window);
  delete g_gl;
  g_gl = nullptr;
}

Device3d g_glTable = {
    "RGB",          GlBeginScene,        GlEndScene,          GlClear,
    GlSetViewport,  GlGetViewport,       GlSetTransform,      GlGetTransform,
    GlSetRenderState, GlGetRenderState,  GlSetTextureStageState, GlSetMaterial,
    GlSetLight,     GlLightEnable,       GlCreateTexture,     GlReleaseTexture,
    GlSetTexture,   GlCreateVertexBuffer, GlLockVertexBuffer, GlUnlockVertexBuffer,
    GlReleaseVertexBuffer, GlDraw,       GlAttachBackBuffer,  GlClaimCpuSide,
    GlClose,
};

template <typename Proc>
bool Fetch(Proc& proc, const char* name) {
  proc = reinterpret_cast<Proc>(SDL_GL_GetProcAddress(name));
  return proc != nullptr;
}

bool FetchExtensions(GlExtensions& gl) {
  return Fetch(gl.GenFramebuffers, "glGenFramebuffers") && Fetch(gl.DeleteFramebuffers, "glDeleteFramebuffers") &&
         Fetch(gl.BindFramebuffer, "glBindFramebuffer") &&
         Fetch(gl.FramebufferRenderbuffer, "glFramebufferRenderbuffer") &&
         Fetch(gl.FramebufferTexture2D, "glFramebufferTexture2D") &&
         Fetch(gl.CheckFramebufferStatus, "glCheckFramebufferStatus") &&
         Fetch(gl.BlitFramebuffer, "glBlitFramebuffer") && Fetch(gl.GenRenderbuffers, "glGenRenderbuffers") &&
         Fetch(gl.DeleteRenderbuffers, "glDeleteRenderbuffers") &&
         Fetch(gl.BindRenderbuffer, "glBindRenderbuffer") &&
         Fetch(gl.RenderbufferStorage, "glRenderbufferStorage") && Fetch(gl.GenBuffers, "glGenBuffers") &&
         Fetch(gl.DeleteBuffers, "glDeleteBuffers") && Fetch(gl.BindBuffer, "glBindBuffer") &&
         Fetch(gl.BufferData, "glBufferData") && Fetch(gl.BufferSubData, "glBufferSubData");
}

void DeleteFramebuffers() {
  GlExtensions& gl = g_gl->gl;
  if (g_gl->framebuffer) gl.DeleteFramebuffers(1, &g_gl->framebuffer);
  if (g_gl->uploadFramebuffer) gl.DeleteFramebuffers(1, &g_gl->uploadFramebuffer);
  if (g_gl->colourBuffer) gl.DeleteRenderbuffers(1, &g_gl->colourBuffer);
  if (g_gl->depthBuffer) gl.DeleteRenderbuffers(1, &g_gl->depthBuffer);
  if (g_gl->uploadTexture) glDeleteTextures(1, &g_gl->uploadTexture);
  g_gl->framebuffer = g_gl->uploadFramebuffer = g_gl->colourBuffer = g_gl->depthBuffer = g_gl->uploadTexture = 0;
}

bool MakeFramebuffers() {
  GlExtensions& gl = g_gl->gl;
  gl.GenRenderbuffers(1, &g_gl->colourBuffer);
  gl.BindRenderbuffer(GL_RENDERBUFFER, g_gl->colourBuffer);
  gl.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, g_gl->width, g_gl->height);
  gl.GenRenderbuffers(1, &g_gl->depthBuffer);
  gl.BindRenderbuffer(GL_RENDERBUFFER, g_gl->depthBuffer);
  gl.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, g_gl->width, g_gl->height);
  gl.GenFramebuffers(1, &g_gl->framebuffer);
  gl.BindFramebuffer(GL_FRAMEBUFFER, g_gl->framebuffer);
  gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, g_gl->colourBuffer);
  gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, g_gl->depthBuffer);
  if (gl.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;

  glGenTextures(1, &g_gl->uploadTexture);
  glBindTexture(GL_TEXTURE_2D, g_gl->uploadTexture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, g_gl->width, g_gl->height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  gl.GenFramebuffers(1, &g_gl->uploadFramebuffer);
  gl.BindFramebuffer(GL_FRAMEBUFFER, g_gl->uploadFramebuffer);
  gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, g_gl->uploadTexture, 0);
  const bool complete = gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  gl.BindFramebuffer(GL_FRAMEBUFFER, g_gl->framebuffer);
  glClearColor(0, 0, 0, 1);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);  // depth starts at the far plane
  return complete;
}

// The state a fresh device starts in: depth on, solid, counter-clockwise culling, lighting on,
// linear fog, point sampling and wrap addressing, the whole target as viewport.
void SetInitialState() {
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glFrontFace(GL_CW);
  glDepthFunc(GL_LEQUAL);
  glAlphaFunc(GL_GREATER, 0.0f);
  glShadeModel(GL_SMOOTH);
  glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_FALSE);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glHint(GL_FOG_HINT, GL_NICEST);
  glEnable(GL_SCISSOR_TEST);
  auto set = [](Device3dState state, uint32_t value) { g_gl->states[static_cast<int>(state)] = value; };
  set(Device3dState::kZEnable, 1);
  set(Device3dState::kZWriteEnable, 1);
  set(Device3dState::kSrcBlend, kBlendOne);
  set(Device3dState::kDestBlend, kBlendZero);
  set(Device3dState::kFillMode, kFillSolid);
  set(Device3dState::kCullMode, kCullCcw);
  set(Device3dState::kFogVertexMode, kFogLinear);
  const float fogEnd = 1.0f;
  std::memcpy(&g_gl->states[static_cast<int>(Device3dState::kFogEnd)], &fogEnd, sizeof fogEnd);
  set(Device3dState::kLighting, 1);
  set(Device3dState::kDither, 1);
  for (int state = 0; state < static_cast<int>(Device3dState::kCount); ++state)
    ApplyRenderState(static_cast<Device3dState>(state));
  g_gl->stageStates[static_cast<int>(Device3dStageState::kMinFilter)] = kFilterPoint;
  g_gl->stageStates[static_cast<int>(Device3dStageState::kMagFilter)] = kFilterPoint;
  g_gl->stageStates[static_cast<int>(Device3dStageState::kAddress)] = kAddressWrap;
  g_gl->material = Device3dMaterial{{1, 1, 1, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, 0};
  ApplyMaterial();
  for (auto& transform : g_gl->transforms)
    for (int i = 0; i < 4; ++i) transform[i][i] = 1.0f;
  g_gl->viewport = Device3dViewport{0, 0, g_gl->width, g_gl->height, 0.0f, 1.0f};
  ApplyViewport();
  const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  g_gl->anisotropic = extensions && std::strstr(extensions, "GL_EXT_texture_filter_anisotropic");
  // Fog by each pixel's depth: the fog coordinate is the signed eye-space depth of each vertex
  // (our view looks down +z), which interpolates across a triangle to the pixel's own depth.
  // The default, the depth's absolute value at the corners, fogs a large floor whole when its
  // corners lie far in front of and behind the camera.
  if (extensions && std::strstr(extensions, "GL_NV_fog_distance")) glFogi(GL_FOG_DISTANCE_MODE_NV, GL_EYE_PLANE);
}

// The software rasteriser takes its working memory for each frame (binned triangles, vertex
// data: megabytes at thousands of objects) from the C library and frees it when the frame is
// done. By default the C library hands such memory back to the system at once, so every frame
// faulted its pages in again, a cost larger than the drawing. It is kept for reuse instead, up
// to a bound: what lies free at the top of the heap is given back only past 64 MB, and blocks up
// to 32 MB come from the heap rather than from mappings of their own. Thresholds the user gave
// the C library through its environment stay as given.
void KeepFreedMemoryForFrames() {
#ifdef __GLIBC__
  static bool kept = false;
  if (kept) return;
  kept = true;
  if (std::getenv("MALLOC_MMAP_THRESHOLD_") == nullptr) mallopt(M_MMAP_THRESHOLD, 32 << 20);
  if (std::getenv("MALLOC_TRIM_THRESHOLD_") == nullptr) mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

// GL belongs to the machine's display driver, so a game does not carry it: where it is
// missing (no library, or one without a driver behind it) the reason says what to install,
// GLX's packages under X11, EGL's elsewhere (the offscreen and Wayland drivers).
std::string GlMissing(const std::string& detail) {
  const char* driver = SDL_GetCurrentVideoDriver();
  const bool x11 = driver != nullptr && SDL_strcasecmp(driver, "x11") == 0;
  return std::string("3D needs OpenGL: install ") + (x11 ? "libgl1 and libglx-mesa0" : "libegl1 and libegl-mesa0") +
         " (" + detail + ")";
}

const Device3d* FailOpen(const std::string& reason) {
  g_lastError = reason;
  GlClose();
  return nullptr;
}

}  // namespace

const Device3d* Device3dOpenGl(int width, int height) {
  if (g_gl != nullptr) GlClose();
  if (width < 1 || height < 1 || width > 8192 || height > 8192) {
    g_lastError = "bad 3D target size";
    return nullptr;
  }
  g_gl = new GlDevice;
  g_gl->width = width;
  g_gl->height = height;
  // Video stays initialised after close, like the GL library below. A headless run's window
  // is made first, so the video starts as the window starts it.
  PlatformMainSdlWindow();
  if (!SDL_WasInit(SDL_INIT_VIDEO) && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    return FailOpen(std::string("no video: ") + SDL_GetError());
  // The GL library stays loaded for the whole process once opened: unloading the driver with
  // its caches on every close costs time and hides where its memory came from.
  static bool libraryKept = false;
  if (!libraryKept) {
    bool loaded = SDL_GL_LoadLibrary(nullptr) == 0;
    if (!loaded && std::getenv("SDL_VIDEO_GL_DRIVER") == nullptr) {
      // A machine with EGL and no GL library of its own (libGL, libOpenGL): SDL's EGL path
      // wants one beside EGL, and EGL itself answers for every GL function.
      setenv("SDL_VIDEO_GL_DRIVER", "libEGL.so.1", 1);
      loaded = SDL_GL_LoadLibrary(nullptr) == 0;
      unsetenv("SDL_VIDEO_GL_DRIVER");
    }
    if (!loaded) return FailOpen(GlMissing(std::string("no GL library: ") + SDL_GetError()));
    libraryKept = true;
  }
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  g_gl->window = SDL_CreateWindow("3D device", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (g_gl->window == nullptr) return FailOpen(GlMissing(std::string("no GL window: ") + SDL_GetError()));
  g_gl->context = SDL_GL_CreateContext(g_gl->window);
  SDL_GL_ResetAttributes();  // the presenter's own contexts get SDL's defaults again
  if (g_gl->context == nullptr) return FailOpen(GlMissing(std::string("no GL context: ") + SDL_GetError()));
  SDL_GL_MakeCurrent(g_gl->window, g_gl->context);
  if (!FetchExtensions(g_gl->gl)) return FailOpen("the GL driver lacks framebuffer objects");
  if (!MakeFramebuffers()) return FailOpen("the GL driver cannot make the 3D target");
  SetInitialState();
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  const std::string name = renderer ? renderer : "";
  g_rendererName = name;
  const bool software = name.find("llvmpipe") != std::string::npos || name.find("softpipe") != std::string::npos ||
                        name.find("Software") != std::string::npos || name.empty();
  g_glTable.name = software ? "RGB" : "T&L";
  if (software) KeepFreedMemoryForFrames();
  return &g_glTable;
}

const char* Device3dLastError() { return g_lastError.c_str(); }

const char* Device3dRendererName() { return g_rendererName.c_str(); }
