// Whole scenes on the OpenGL device (llvmpipe), read back from the back buffer: lit against
// unlit sides, fog, ghosts, wireframe, locked and draw-last objects. Pixel values are compared
// with each other rather than with fixed colours, with margins far above rasteriser rounding.
#include "engine3d/engine3d_local.h"
#include "platform/surface.h"
#include "tests/engine3d/engine_harness.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00;

class SceneGlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    back = SurfaceCreate(640, 480);
    Device3dInstall(nullptr);
    InitScene3D(back);
    ClearRuntimeError();
    RunCommand(kAutoCameraOff, {});  // the first 3D command opens the GL device
    ASSERT_STRNE(Device3dActive().name, "None") << Device3dLastError();
    RunCommand(kBackdropOn, {});
  }
  void TearDown() override {
    ShutdownScene3D();
    SurfaceDestroy(back);
    ClearRuntimeError();
  }
  void Frame() {
    RenderBackdrop();
    RenderScene3D();
    Device3dClaimCpuSide();
  }
  uint32_t Pixel(int x, int y) const { return back->pixels[static_cast<size_t>(y) * back->width + x] & 0xFFFFFF; }
  int Brightness(int x, int y) const {
    const uint32_t p = Pixel(x, y);
    return static_cast<int>(((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255));
  }
  int Channel(int x, int y, int shift) const { return static_cast<int>((Pixel(x, y) >> shift) & 255); }
  // Pixels that differ from the backdrop colour, and their mean position.
  int Covered(uint32_t backdrop, float* meanX = nullptr, float* meanY = nullptr) const {
    long sumX = 0, sumY = 0;
    int count = 0;
    for (int y = 0; y < back->height; ++y)
      for (int x = 0; x < back->width; ++x)
        if (Pixel(x, y) != backdrop) {
          sumX += x;
          sumY += y;
          ++count;
        }
    if (meanX && count) *meanX = static_cast<float>(sumX) / count;
    if (meanY && count) *meanY = static_cast<float>(sumY) / count;
    return count;
  }
  // The width and height of the box around the pixels that differ from the backdrop colour.
  void CoveredBox(uint32_t backdrop, int* width, int* height) const {
    int left = back->width, right = -1, top = back->height, bottom = -1;
    for (int y = 0; y < back->height; ++y)
      for (int x = 0; x < back->width; ++x)
        if (Pixel(x, y) != backdrop) {
          left = std::min(left, x);
          right = std::max(right, x);
          top = std::min(top, y);
          bottom = std::max(bottom, y);
        }
    *width = right - left + 1;
    *height = bottom - top + 1;
  }
  // What the display does on a mode change: the old back buffer goes, a new one of the
  // mode's size is attached, then the scene is restored.
  void ChangeDisplayMode(int width, int height) {
    static Surface* fresh;
    fresh = SurfaceCreate(width, height);
    Device3dActive().AttachBackBuffer(nullptr);
    SurfaceDestroy(back);
    back = fresh;
    Device3dActive().AttachBackBuffer(back);
    RuntimeHooks hooks;
    InstallEngine3dHooks(hooks, [] { return fresh; });
    hooks.RestoreScene3DAfterReset();
    InstallEngine3dHooks(hooks, nullptr);
  }
  void FullBrightCube(int number, float size, uint32_t colour, float x, float y, float z) {
    RunCommand(kMakeObjectCube, {number, size});
    RunCommand(kColorObject, {number, static_cast<int>(colour)});
    RunCommand(kSetObjectFullBright, {number, 1});
    RunCommand(kPositionObject, {number, x, y, z});
  }

  Surface* back = nullptr;
};

}  // namespace

TEST_F(SceneGlTest, LitSideIsBrighterThanTheUnlitSide) {
  RunCommand(kMakeObjectSphere, {1, 10.0f});
  RunCommand(kColorObject, {1, 0xFFFFFF});
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 20.0f});
  RunCommand(kSetDirectionalLight, {0, 1.0f, 0.0f, 0.0f});  // travelling +x: lights the left side
  Frame();
  EXPECT_GT(Brightness(260, 240), Brightness(380, 240) + 150);
  // A point light on the right turns it round.
  RunCommand(kHideLight, {0});
  RunCommand(kMakeLight, {1});
  RunCommand(kSetPointLight, {1, 30.0f, 0.0f, 20.0f});
  RunCommand(kSetLightRange, {1, 1000.0f});
  Frame();
  EXPECT_GT(Brightness(380, 240), Brightness(260, 240) + 150);
  EXPECT_EQ(TakeError(), 0);
}

TEST_F(SceneGlTest, FogDarkensDistantObjects) {
  RunCommand(kMakeObjectCube, {1, 4.0f});
  RunCommand(kColorObject, {1, 0xFFFFFF});
  RunCommand(kSetObjectFullBright, {1, 1});
  RunCommand(kFogColor, {0});
  RunCommand(kFogDistance, {200.0f});
  RunCommand(kFogOn, {});
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 20.0f});
  Frame();
  const int nearBrightness = Brightness(320, 240);
  RunCommand(kScaleObject, {1, 800.0f, 800.0f, 800.0f});  // the same size on screen, 8 times away
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 160.0f});
  Frame();
  const int farBrightness = Brightness(320, 240);
  EXPECT_GT(nearBrightness, 600);
  EXPECT_LT(farBrightness, nearBrightness - 300);
  RunCommand(kFogOff, {});
  Frame();
  EXPECT_GT(Brightness(320, 240), 700);
}

// A 3000 x 3000 floor under the camera, in fog from 120 to 1200: its corners are all far away,
// yet it is clear at the camera's feet and fades row by row towards the horizon, as each
// pixel's own distance says.
TEST_F(SceneGlTest, FogCoversALargeFloorByDistance) {
  RunCommand(kMakeObjectPlain, {1, 3000.0f, 3000.0f});
  RunCommand(kColorObject, {1, 0xFFFFFF});
  RunCommand(kSetObjectFullBright, {1, 1});
  RunCommand(kXRotateObject, {1, 90.0f});
  RunCommand(kPositionObject, {1, 0.0f, -20.0f, 0.0f});
  RunCommand(kFogColor, {0});
  RunCommand(kFogDistance, {1200.0f});
  RunCommand(kFogOn, {});
  Frame();
  EXPECT_GT(Brightness(320, 479), 700) << "the floor at the camera's feet is out of the fog";
  int last = 1000;
  for (int y = 470; y > 240; y -= (y > 260 ? 20 : 1)) {
    const int brightness = Brightness(320, y);
    EXPECT_LE(brightness, last) << "row " << y;
    last = brightness;
  }
  EXPECT_LT(last, 100) << "towards the horizon the floor is in the fog";
  const int between = Brightness(320, 250);  // about 750 units away: partly fogged
  EXPECT_GT(between, 150);
  EXPECT_LT(between, 600);
  EXPECT_EQ(TakeError(), 0);
}

TEST_F(SceneGlTest, GhostsBlendWithWhatIsBehind) {
  RunCommand(kColorBackdrop, {static_cast<int>(kRed)});
  FullBrightCube(1, 4.0f, kGreen, 0, 0, 20);
  Frame();
  EXPECT_LT(Channel(320, 240, 16), 30);
  EXPECT_GT(Channel(320, 240, 8), 200);
  RunCommand(kGhostObjectOn, {1, 0});
  Frame();
  EXPECT_GT(Channel(320, 240, 16), 200);  // the red behind shows through
  EXPECT_GT(Channel(320, 240, 8), 200);
}

TEST_F(SceneGlTest, WireframeDrawsEdgesOnly) {
  FullBrightCube(1, 4.0f, 0xFFFFFF, 0, 0, 20);
  Frame();
  const int solid = Covered(0);
  RunCommand(kSetObjectWireframe, {1, 1});
  Frame();
  const int lines = Covered(0);
  EXPECT_EQ(Pixel(320, 220), 0u);  // inside the front face, off its diagonal
  EXPECT_GT(lines, 50);
  EXPECT_LT(lines, solid / 4);
}

TEST_F(SceneGlTest, LockedObjectsStayWhenTheCameraMoves) {
  FullBrightCube(1, 1.0f, kGreen, 1.0f, 0.5f, 10.0f);
  RunCommand(kLockObjectOn, {1});
  Frame();
  float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  const int before = Covered(0, &x1, &y1);
  EXPECT_GT(before, 100);
  RunCommand(kPositionCamera, {3.0f, 1.0f, 0.0f});
  RunCommand(kRotateCamera, {0.0f, 5.0f, 0.0f});
  Frame();
  EXPECT_EQ(Covered(0, &x2, &y2), before);
  EXPECT_EQ(x1, x2);
  EXPECT_EQ(y1, y2);
  // Unlocked, the same move takes it elsewhere.
  RunCommand(kLockObjectOff, {1});
  Frame();
  EXPECT_GT(Covered(0, &x2, &y2), 0);
  EXPECT_GT(std::abs(x2 - x1) + std::abs(y2 - y1), 20.0f);
}

TEST_F(SceneGlTest, DrawLastObjectsCoverNearerSolidOnes) {
  FullBrightCube(1, 4.0f, kRed, 0, 0, 10);
  FullBrightCube(2, 4.0f, kGreen, 0, 0, 30);
  Frame();
  EXPECT_EQ(Pixel(320, 240), kRed);
  RunCommand(kSetObjectDrawLast, {2, 1});
  Frame();
  EXPECT_EQ(Pixel(320, 240), kGreen);
  EXPECT_EQ(Pixel(320 + 60, 240), kRed);  // the far cube is smaller on screen
}

// A display-mode change to 800 x 600 gives the scene a new, larger back buffer: the device
// follows its size, so the cube in the middle of the view shows at the new screen's centre.
TEST_F(SceneGlTest, DrawsIntoTheBackBufferOfANewDisplayMode) {
  FullBrightCube(1, 4.0f, kGreen, 0, 0, 20);
  Frame();
  const int before = Covered(0);
  ChangeDisplayMode(800, 600);
  Frame();
  float x = 0, y = 0;
  const int after = Covered(0, &x, &y);
  EXPECT_NEAR(x, 399.5f, 1.5f);
  EXPECT_NEAR(y, 299.5f, 1.5f);
  // The same field of view over a screen 1.25 times as wide: about 1.5625 times the pixels
  // (the edges round differently), not the old picture's count.
  EXPECT_NEAR(static_cast<float>(after) / static_cast<float>(before), 1.5625f, 0.1f);
  EXPECT_GT(Channel(400, 300, 8), 200);
  EXPECT_EQ(Pixel(799, 599), 0u);
  EXPECT_EQ(IntValue(kObjectScreenX, {1}), 400);
  EXPECT_EQ(IntValue(kObjectScreenY, {1}), 300);
}

TEST_F(SceneGlTest, ShutDownReleaseClosesTheDeviceBeforeTheDisplayGoes) {
  // At shut-down the player releases the display; the engine closes its GL device first,
  // and a release that keeps the device (a mode change) leaves it open.
  static int displayReleases = 0;
  RuntimeHooks hooks;
  hooks.ReleaseDisplay = [](bool) { ++displayReleases; };
  InstallEngine3dHooks(hooks, nullptr);
  hooks.ReleaseDisplay(true);
  EXPECT_STRNE(Device3dActive().name, "None");
  hooks.ReleaseDisplay(false);
  EXPECT_STREQ(Device3dActive().name, "None");
  EXPECT_EQ(displayReleases, 2);
}

// A mode that is not 4:3 (16:9 here) keeps pixels square: a sphere stays round, in the
// camera's view and locked to the screen alike.
TEST_F(SceneGlTest, SphereStaysRoundInAWideDisplayMode) {
  ChangeDisplayMode(1280, 720);
  RunCommand(kMakeObjectSphere, {1, 10.0f});
  RunCommand(kColorObject, {1, 0xFFFFFF});
  RunCommand(kSetObjectFullBright, {1, 1});
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 30.0f});
  for (const bool locked : {false, true}) {
    SCOPED_TRACE(locked ? "locked" : "in the camera's view");
    RunCommand(locked ? kLockObjectOn : kLockObjectOff, {1});
    Frame();
    int width = 0, height = 0;
    CoveredBox(0, &width, &height);
    EXPECT_GT(height, 50);
    EXPECT_NEAR(width, height, 2);
  }
  EXPECT_EQ(TakeError(), 0);
}
