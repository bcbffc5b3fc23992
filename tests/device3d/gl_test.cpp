// OpenGL device on llvmpipe: draws read back into the CPU back buffer. Colours are checked
// with a tolerance of 3 per channel (rasteriser rounding); positions at pixel centres away
// from edges.
#include "math3d/math3d.h"
#include "platform/device3d.h"
#include "platform/surface.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr int kWidth = 64, kHeight = 48;

uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

void ExpectColour(const Surface& s, int x, int y, uint32_t rgb, int tolerance = 3) {
  const uint32_t got = s.pixels[static_cast<size_t>(y) * s.width + x];
  for (int shift = 0; shift <= 16; shift += 8) {
    const int a = static_cast<int>((got >> shift) & 255), b = static_cast<int>((rgb >> shift) & 255);
    EXPECT_LE(std::abs(a - b), tolerance) << "pixel " << x << "," << y << " is " << std::hex << got << " not " << rgb;
  }
}

int Brightness(const Surface& s, int x, int y) {
  const uint32_t p = s.pixels[static_cast<size_t>(y) * s.width + x];
  return static_cast<int>(((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255));
}

// A device with a camera at the origin looking down +z, 90 degree field of view.
class GlDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    const Device3d* backend = Device3dOpenGl(kWidth, kHeight);
    ASSERT_NE(backend, nullptr) << Device3dLastError();
    Device3dInstall(backend);
    back = SurfaceCreate(kWidth, kHeight);
    device().AttachBackBuffer(back);
    Matrix4 m;
    MatrixProjection(m, 3.14159265f / 2, static_cast<float>(kHeight) / kWidth, 1.0f, 100.0f);
    device().SetTransform(Device3dTransform::kProjection, m.m);
    MatrixIdentity(m);
    device().SetTransform(Device3dTransform::kView, m.m);
    device().SetTransform(Device3dTransform::kWorld, m.m);
    quad = device().CreateVertexBuffer(4);
  }
  void TearDown() override {
    device().ReleaseVertexBuffer(quad);
    device().Close();
    Device3dInstall(nullptr);
    SurfaceDestroy(back);
  }
  Device3d& device() { return Device3dActive(); }

  // A square of half-size h at depth z facing the camera (normal -z), corners clockwise on screen.
  void DrawSquare(float h, float z, bool clockwise = true) {
    Device3dVertex* v = device().LockVertexBuffer(quad);
    v[0] = {-h, h, z, 0, 0, -1, 0, 0};
    v[1] = {h, h, z, 0, 0, -1, 1, 0};
    v[2] = {h, -h, z, 0, 0, -1, 1, 1};
    v[3] = {-h, -h, z, 0, 0, -1, 0, 1};
    device().UnlockVertexBuffer(quad);
    const uint16_t cw[] = {0, 1, 2, 0, 2, 3}, ccw[] = {0, 2, 1, 0, 3, 2};
    device().DrawIndexedPrimitiveVB(quad, 0, 4, clockwise ? cw : ccw, 6);
  }
  void SetEmissive(float r, float g, float b) {
    Device3dMaterial material{};
    material.diffuse = {0, 0, 0, 1};
    material.emissive = {r, g, b, 1};
    device().SetMaterial(material);
  }

  Surface* back = nullptr;
  Device3dVertexBuffer quad = 0;
};

}  // namespace

TEST_F(GlDevice, SoftwareRendererIsNamedRgb) { EXPECT_STREQ(device().name, "RGB"); }

TEST_F(GlDevice, DrawsOverCpuPictureAndReadsBack) {
  SurfaceFill(*back, SurfaceRect{0, 0, kWidth, kHeight}, 0x00336699);  // 2D work before the scene
  device().SetRenderState(Device3dState::kLighting, 1);
  SetEmissive(1, 0, 0);
  ASSERT_TRUE(device().BeginScene());
  DrawSquare(1, 4);  // a quarter of the view's height around the centre
  device().EndScene();
  ExpectColour(*back, 32, 24, 0xFF0000);
  ExpectColour(*back, 2, 2, 0x336699);
  ExpectColour(*back, 32, 2, 0x336699);  // the square does not reach the top: rows are not flipped
  // A clear outside a scene reaches the back buffer at once, limited to the viewport.
  device().SetViewport(Device3dViewport{0, 0, 16, 16, 0, 1});
  device().Clear(kClearTarget | kClearZBuffer, 0x00FF00, 1.0f);
  ExpectColour(*back, 8, 8, 0x00FF00);
  ExpectColour(*back, 40, 30, 0x336699);
  // A clear of the whole target (a frame's start) reaches it once CPU work claims the picture.
  device().SetViewport(Device3dViewport{0, 0, kWidth, kHeight, 0, 1});
  device().Clear(kClearTarget | kClearZBuffer, 0x0000FF, 1.0f);
  Device3dClaimCpuSide();
  ExpectColour(*back, 8, 8, 0x0000FF);
  ExpectColour(*back, 40, 30, 0x0000FF);
}

TEST_F(GlDevice, CullModesDropTheRightWinding) {
  SetEmissive(1, 1, 1);
  const struct {
    uint32_t cull;
    bool clockwise;
    bool drawn;
  } cases[] = {{kCullCcw, true, true}, {kCullCcw, false, false}, {kCullCw, true, false},
               {kCullCw, false, true}, {kCullNone, false, true}};
  for (const auto& c : cases) {
    device().Clear(kClearTarget | kClearZBuffer, 0, 1.0f);
    device().SetRenderState(Device3dState::kCullMode, c.cull);
    device().BeginScene();
    DrawSquare(1, 4, c.clockwise);
    device().EndScene();
    ExpectColour(*back, 32, 24, c.drawn ? 0xFFFFFF : 0x000000);
  }
}

// The device keeps a buffer's indices between draws: indices changed in place, fewer or more
// of them, still draw what they hold at each draw.
TEST_F(GlDevice, IndicesChangedBetweenDrawsDrawWhatTheyHoldNow) {
  SetEmissive(1, 1, 1);
  device().SetRenderState(Device3dState::kCullMode, kCullNone);
  Device3dVertex* v = device().LockVertexBuffer(quad);
  v[0] = {-2, 2, 4, 0, 0, -1, 0, 0};
  v[1] = {2, 2, 4, 0, 0, -1, 1, 0};
  v[2] = {2, -2, 4, 0, 0, -1, 1, 1};
  v[3] = {-2, -2, 4, 0, 0, -1, 0, 1};
  device().UnlockVertexBuffer(quad);
  uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
  const struct {
    uint16_t first[3];  // the first triangle's corners as drawn
    uint32_t count;
    bool upperRight, lowerLeft;
  } cases[] = {{{0, 1, 2}, 3, true, false}, {{0, 2, 3}, 3, false, true}, {{0, 1, 2}, 6, true, true},
               {{0, 2, 3}, 3, false, true}};
  for (const auto& c : cases) {
    std::memcpy(indices, c.first, sizeof c.first);
    device().Clear(kClearTarget | kClearZBuffer, 0, 1.0f);
    device().BeginScene();
    device().DrawIndexedPrimitiveVB(quad, 0, 4, indices, c.count);
    device().EndScene();
    ExpectColour(*back, 38, 16, c.upperRight ? 0xFFFFFF : 0x000000);
    ExpectColour(*back, 26, 32, c.lowerLeft ? 0xFFFFFF : 0x000000);
  }
}

TEST_F(GlDevice, LightsShineFromWorldSpace) {
  device().SetRenderState(Device3dState::kLighting, 1);
  device().SetRenderState(Device3dState::kAmbient, 0x202020);
  device().SetMaterial(Device3dMaterial{{1, 1, 1, 1}, {1, 1, 1, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, 0});
  Device3dLight light{};
  light.type = kLightDirectional;
  light.diffuse = {1, 0.5f, 0, 1};
  light.direction[2] = 1;  // travelling away from the camera: it lights the square's face
  device().SetLight(5, light);
  device().LightEnable(5, true);
  device().BeginScene();
  DrawSquare(1, 4);
  device().EndScene();
  ExpectColour(*back, 32, 24, 0xFFA020);  // ambient 0x20 + diffuse

  // A point light behind the square leaves only the ambient; a turned view must not move it.
  light.type = kLightPoint;
  light.position[2] = 10;
  light.attenuation0 = 1;
  light.range = 100;
  device().SetLight(5, light);
  device().BeginScene();
  DrawSquare(1, 4);
  device().EndScene();
  ExpectColour(*back, 32, 24, 0x202020);
  device().LightEnable(5, false);
  light.position[2] = 2;  // in front: lit again once enabled
  device().SetLight(5, light);
  device().BeginScene();
  DrawSquare(1, 4);
  device().EndScene();
  ExpectColour(*back, 32, 24, 0x202020);
  device().LightEnable(5, true);
  device().BeginScene();
  DrawSquare(1, 4);
  device().EndScene();
  EXPECT_GT(Brightness(*back, 32, 24), 3 * 0x20 + 200);
}

TEST_F(GlDevice, FogWireframeBlendAndDepthRange) {
  SetEmissive(1, 1, 1);
  // Linear fog from 10 to 30 in grey: a square at 29 is nearly fog-coloured, one at 5 clear.
  device().SetRenderState(Device3dState::kFogEnable, 1);
  device().SetRenderState(Device3dState::kFogColor, 0x404040);
  device().SetRenderState(Device3dState::kFogStart, FloatBits(10));
  device().SetRenderState(Device3dState::kFogEnd, FloatBits(30));
  device().Clear(kClearTarget | kClearZBuffer, 0, 1.0f);
  device().BeginScene();
  DrawSquare(29 * 0.25f, 29);
  device().EndScene();
  ExpectColour(*back, 32, 24, 0x4A4A4A, 6);
  device().BeginScene();
  DrawSquare(1, 5);
  device().EndScene();
  ExpectColour(*back, 32, 24, 0xFFFFFF);
  device().SetRenderState(Device3dState::kFogEnable, 0);

  // Wireframe: the edge is drawn, the middle is not.
  device().Clear(kClearTarget | kClearZBuffer, 0, 1.0f);
  device().SetRenderState(Device3dState::kFillMode, kFillWireframe);
  device().BeginScene();
  DrawSquare(1, 2);  // x 20..44, y 12..36 on screen
  device().EndScene();
  ExpectColour(*back, 32, 30, 0x000000);
  int lit = 0;
  for (int x = 18; x <= 22; ++x) lit += Brightness(*back, x, 30) > 0 ? 1 : 0;
  EXPECT_GT(lit, 0);
  device().SetRenderState(Device3dState::kFillMode, kFillSolid);

  // Additive blending over a red background gives yellow with a green square.
  device().Clear(kClearTarget | kClearZBuffer, 0xFF0000, 1.0f);
  SetEmissive(0, 1, 0);
  device().SetRenderState(Device3dState::kAlphaBlendEnable, 1);
  device().SetRenderState(Device3dState::kSrcBlend, kBlendOne);
  device().SetRenderState(Device3dState::kDestBlend, kBlendOne);
  device().BeginScene();
  DrawSquare(1, 4);
  device().EndScene();
  ExpectColour(*back, 32, 24, 0xFFFF00);
  device().SetRenderState(Device3dState::kAlphaBlendEnable, 0);

  // Depth range 0..0 draws a far square over a near one.
  device().Clear(kClearTarget | kClearZBuffer, 0, 1.0f);
  device().BeginScene();
  SetEmissive(0, 0, 1);
  DrawSquare(1, 3);
  device().SetViewport(Device3dViewport{0, 0, kWidth, kHeight, 0, 0});
  SetEmissive(1, 0, 0);
  DrawSquare(4, 16);
  device().EndScene();
  ExpectColour(*back, 32, 24, 0xFF0000);
}

// Fog goes by each pixel's distance, not by the corners': a floor reaching far in front of and
// behind the camera (so its corners are all far away) is clear at the camera's feet and fogged
// towards the horizon, each row as its own depth gives (rows 46, 30, 25: depth 1.07, 3.7, 16).
TEST_F(GlDevice, FogGoesByEachPixelsDistance) {
  SetEmissive(1, 1, 1);
  device().SetRenderState(Device3dState::kCullMode, kCullNone);
  device().SetRenderState(Device3dState::kFogEnable, 1);
  device().SetRenderState(Device3dState::kFogColor, 0x404040);
  device().SetRenderState(Device3dState::kFogStart, FloatBits(2));
  device().SetRenderState(Device3dState::kFogEnd, FloatBits(20));
  Device3dVertex* v = device().LockVertexBuffer(quad);
  v[0] = {-50, -1, 50, 0, 1, 0, 0, 0};
  v[1] = {50, -1, 50, 0, 1, 0, 1, 0};
  v[2] = {50, -1, -50, 0, 1, 0, 1, 1};
  v[3] = {-50, -1, -50, 0, 1, 0, 0, 1};
  device().UnlockVertexBuffer(quad);
  const uint16_t corners[] = {0, 1, 2, 0, 2, 3};
  device().Clear(kClearTarget | kClearZBuffer, 0, 1.0f);
  device().BeginScene();
  device().DrawIndexedPrimitiveVB(quad, 0, 4, corners, 6);
  device().EndScene();
  // Linear fog: factor (20 - depth) / 18 of white, the rest fog grey.
  ExpectColour(*back, 32, 46, 0xFFFFFF, 4);
  ExpectColour(*back, 32, 30, 0xEDEDED, 6);
  ExpectColour(*back, 32, 25, 0x6A6A6A, 6);
  device().SetRenderState(Device3dState::kFogEnable, 0);
}

TEST_F(GlDevice, TexturesModulateAndColourKeyDropsTexels) {
  const uint32_t texels[4] = {0xFF00FF00, 0x00FF00FF, 0x00FF00FF, 0xFF00FF00};  // alpha 0 = keyed
  const Device3dTexture texture = device().CreateTexture(2, 2, texels);
  ASSERT_NE(texture, 0u);
  SetEmissive(1, 1, 1);
  device().SetTexture(texture);
  device().SetRenderState(Device3dState::kColorKeyEnable, 1);
  device().Clear(kClearTarget | kClearZBuffer, 0x0000FF, 1.0f);
  device().BeginScene();
  DrawSquare(2, 4);  // covers x 20..44, y 12..36: each texel a 12x12 block
  device().EndScene();
  ExpectColour(*back, 24, 16, 0x00FF00);
  ExpectColour(*back, 40, 16, 0x0000FF);  // keyed: the clear colour shows
  ExpectColour(*back, 40, 32, 0x00FF00);
  device().SetTexture(0);
  device().ReleaseTexture(texture);
}

// Textures of one colour share solid-colour pages: drawn they look exactly like a texture of
// several colours showing that colour, whatever the filter, the address mode or the mesh's
// coordinates; a released colour's place serves the next one, and an image texture drawn after
// them maps its texels as before.
TEST_F(GlDevice, SolidColourTexturesLookLikeAnyOther) {
  const uint32_t kColour = 0xFF3C8AD2, kOther = 0xFFE01040;
  const uint32_t solid[4] = {kColour, kColour, kColour, kColour};
  const uint32_t mixed[4] = {kColour, kOther, kOther, kOther};  // the colour in the top left texel
  const Device3dTexture plain = device().CreateTexture(2, 2, solid);
  const Device3dTexture image = device().CreateTexture(2, 2, mixed);
  ASSERT_NE(plain, 0u);
  ASSERT_NE(image, 0u);
  device().SetRenderState(Device3dState::kLighting, 1);
  SetEmissive(0.8f, 0.6f, 0.9f);
  device().SetTextureStageState(Device3dStageState::kMinFilter, kFilterPoint);
  device().SetTextureStageState(Device3dStageState::kMagFilter, kFilterPoint);
  auto drawWith = [this](Device3dTexture texture) {
    device().SetTexture(texture);
    device().Clear(kClearTarget | kClearZBuffer, 0x000000, 1.0f);
    device().BeginScene();
    DrawSquare(2, 4);  // x 20..44, y 12..36; the image's first texel covers 20..32, 12..24
    device().EndScene();
    return back->pixels[static_cast<size_t>(16) * kWidth + 24] & 0xFFFFFF;
  };
  const uint32_t fromImage = drawWith(image);
  EXPECT_EQ(drawWith(plain), fromImage);
  for (uint32_t filter : {kFilterLinear, kFilterAnisotropic})
    for (uint32_t address : {kAddressWrap, kAddressMirror, kAddressClamp}) {
      device().SetTextureStageState(Device3dStageState::kMinFilter, filter);
      device().SetTextureStageState(Device3dStageState::kMagFilter, filter);
      device().SetTextureStageState(Device3dStageState::kAddress, address);
      const uint32_t got = drawWith(plain);
      EXPECT_EQ(got, fromImage) << "filter " << filter << " address " << address;
      for (int y = 13; y < 36; y += 5)
        for (int x = 21; x < 44; x += 5) ASSERT_EQ(back->pixels[static_cast<size_t>(y) * kWidth + x] & 0xFFFFFF, got);
    }

  // The freed place takes the next colour; the image drawn after it still shows its texels.
  device().ReleaseTexture(plain);
  const uint32_t other[4] = {kOther, kOther, kOther, kOther};
  const Device3dTexture next = device().CreateTexture(2, 2, other);
  device().SetTextureStageState(Device3dStageState::kMinFilter, kFilterPoint);
  device().SetTextureStageState(Device3dStageState::kMagFilter, kFilterPoint);
  const uint32_t otherColour = drawWith(next);
  EXPECT_NE(otherColour, fromImage);
  EXPECT_EQ(drawWith(image), fromImage);
  ExpectColour(*back, 40, 32, otherColour, 0);
  // A solid colour keyed out whole is keyed out like any texture.
  const uint32_t keyed[4] = {0, 0, 0, 0};
  const Device3dTexture clear = device().CreateTexture(2, 2, keyed);
  device().SetRenderState(Device3dState::kColorKeyEnable, 1);
  EXPECT_EQ(drawWith(clear), 0u);
  device().SetRenderState(Device3dState::kColorKeyEnable, 0);
  device().SetTexture(0);
  for (Device3dTexture texture : {image, next, clear}) device().ReleaseTexture(texture);
}
