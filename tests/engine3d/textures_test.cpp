// The texture cache: colour and file textures shared by name with reference counts, names
// compared without regard to case, missing files, the device's stage-0 texture, and the
// scene restored on the device after a display reset.
#include "engine3d/engine3d_local.h"
#include "graphics2d/image_files.h"
#include "platform/surface.h"
#include "tests/engine3d/engine_harness.h"
#include "tests/models/fixtures.h"

namespace {

class TexturesTest : public EngineTest {};

std::string WriteImage(const TempFolder& folder, const char* name, int width = 4, int height = 4) {
  Surface* image = SurfaceCreate(width, height);
  SurfaceFill(*image, SurfaceRect{0, 0, width, height}, 0x00FF8000);
  const std::string path = folder.Path(name);
  std::string why;
  EXPECT_TRUE(SaveImageFile(path.c_str(), *image, &why)) << why;
  SurfaceDestroy(image);
  return path;
}

}  // namespace

TEST_F(TexturesTest, ColourTexturesAreSharedByColour) {
  const int32_t red = GetColorTexture(0xFF0000);
  EXPECT_GT(red, 0);
  EXPECT_EQ(GetColorTexture(0xFF0000), red);
  EXPECT_NE(GetColorTexture(0x00FF00), red);
  EXPECT_EQ(TextureReferenceCount(red), 2);
  EXPECT_TRUE(TextureIsCached(red));
  const int32_t live = LiveTextureCount();
  ReleaseTexture(red, 0);
  EXPECT_EQ(LiveTextureCount(), live);
  ReleaseTexture(red, 0);
  EXPECT_EQ(LiveTextureCount(), live - 1);
  EXPECT_FALSE(TextureIsCached(red));
  ReleaseTexture(red, 0);  // a released number is ignored
  EXPECT_EQ(LiveTextureCount(), live - 1);
}

TEST_F(TexturesTest, FileTexturesLoadOnceAndForceRelease) {
  const TempFolder folder;
  const std::string path = WriteImage(folder, "wall.png");
  const int32_t wall = GetTextureByFile(path.c_str(), 0);
  ASSERT_GT(wall, 0);
  std::string shouted = path;
  shouted.replace(shouted.size() - 8, 8, "WALL.PNG");
  EXPECT_EQ(GetTextureByFile(shouted.c_str(), 0), wall);  // the cache compares without case
  EXPECT_EQ(TextureReferenceCount(wall), 2);
  EXPECT_EQ(GetTextureByFile("no-such-texture.png", 0), -1);
  SetDeviceTexture(wall);
  EXPECT_NE(Device3dRecordedTexture(), 0u);
  ReleaseTexture(wall, 1);  // forced: gone whatever the count
  EXPECT_EQ(TextureReferenceCount(wall), 0);
  EXPECT_EQ(Device3dRecordLiveTextures(), 0u);
  SetDeviceTexture(wall);
  EXPECT_EQ(Device3dRecordedTexture(), 0u);
}

TEST_F(TexturesTest, PicturesWiderThanAnyDeviceTakesAreRefusedBeforeConversion) {
  const TempFolder folder;
  const int32_t live = LiveTextureCount();
  EXPECT_EQ(GetTextureByFile(WriteImage(folder, "wide.png", kDevice3dMaxTextureSide + 1, 1).c_str(), 0), -1);
  EXPECT_EQ(LiveTextureCount(), live);
  const int32_t widest = GetTextureByFile(WriteImage(folder, "widest.png", kDevice3dMaxTextureSide, 1).c_str(), 0);
  EXPECT_GT(widest, 0);
  ReleaseTexture(widest, 1);
}

TEST_F(TexturesTest, DisplayResetRestoresLightsAndBuffers) {
  RunCommand(kMakeLight, {4});
  RunCommand(kHideLight, {4});
  RunCommand(kMakeObjectCube, {1, 2.0f});
  const size_t buffers = Device3dRecordLiveVertexBuffers();
  ASSERT_GT(buffers, 0u);
  Device3dRecordClearCalls();
  RestoreScene3DAfterReset();
  bool enabled = true;
  ASSERT_NE(Device3dRecordedLight(static_cast<uint32_t>(LightDeviceIndex(4)), &enabled), nullptr);
  EXPECT_FALSE(enabled);  // a hidden light stays hidden
  Device3dRecordedLight(static_cast<uint32_t>(LightDeviceIndex(0)), &enabled);
  EXPECT_TRUE(enabled);
  EXPECT_EQ(Device3dRecordLiveVertexBuffers(), buffers);
  EXPECT_GT(Device3dRecordCount(Device3dOp::kCreateVertexBuffer), 0u);
  EXPECT_GT(Device3dRecordCount(Device3dOp::kSetTransform), 0u);
}

// Objects textured from one image share one texture while the image keeps its picture, so a
// frame draws them under one texture; a new picture makes a new texture at its next use, and
// each texture goes with the last object showing it.
TEST_F(TexturesTest, ObjectsTexturedFromOneImageShareItsTexture) {
  auto textureOf = [](int32_t number) { return ObjectAt(ObjectSlotForNumber(number))->appliedTexture; };
  RunCommand(kImageGet, {9, 0, 0, 4, 4});
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kMakeObjectCube, {2, 2.0f});
  RunCommand(kTextureObject, {1, 9});
  RunCommand(kTextureObject, {2, 9});
  RunCommand(kMakeObject, {3, 0, 9});
  ASSERT_GT(textureOf(1), 0);
  EXPECT_EQ(textureOf(2), textureOf(1));
  EXPECT_EQ(textureOf(3), textureOf(1));
  EXPECT_EQ(LiveTextureCount(), 1);
  EXPECT_EQ(Device3dRecordLiveTextures(), 1u);
  for (int number = 1; number <= 3; ++number) RunCommand(kPositionObject, {number, 0.0f, 0.0f, 20.0f});
  Device3dRecordClearCalls();
  RenderScene3D();
  EXPECT_EQ(Device3dRecordCount(Device3dOp::kSetTexture), 1u);
  EXPECT_EQ(Device3dRecordCount(Device3dOp::kDrawIndexedPrimitiveVB), 2u);  // object 3 has no mesh

  const int32_t first = textureOf(1);
  RunCommand(kImageGet, {9, 0, 0, 8, 8});  // a new picture
  RunCommand(kTextureObject, {2, 9});
  EXPECT_NE(textureOf(2), first);
  EXPECT_EQ(textureOf(1), first);  // still shows the picture it was given
  EXPECT_EQ(LiveTextureCount(), 2);
  RunCommand(kTextureObject, {1, 9});  // the new picture's texture is shared again
  EXPECT_EQ(textureOf(1), textureOf(2));
  RunCommand(kDeleteObject, {3});
  EXPECT_EQ(LiveTextureCount(), 1);  // the first picture's texture went with its last object
  RunCommand(kDeleteObject, {1});
  RunCommand(kDeleteObject, {2});
  EXPECT_EQ(LiveTextureCount(), 0);
  EXPECT_EQ(Device3dRecordLiveTextures(), 0u);
  EXPECT_EQ(TakeError(), 0);
}
