// Objects: number checks, built-in shapes and their sizes, loading .x files by name, copies
// sharing a model, automatic camera placement, release of everything an object holds, and
// the render's culling seen as draw calls on the recording device.
#include "engine3d/engine3d_local.h"
#include "graphics2d/graphics2d.h"
#include "models/models.h"
#include "tests/engine3d/engine_harness.h"
#include "tests/models/fixtures.h"
#include "graphics2d/image_files.h"
#include "platform/surface.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

class ObjectsTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    RunCommand(kAutoCameraOff, {});
  }
};

size_t DrawsOfFrame() {
  Device3dRecordClearCalls();
  RenderScene3D();
  return Device3dRecordCount(Device3dOp::kDrawIndexedPrimitiveVB);
}

// A one-triangle text .x file in the test's own folder.
std::string WriteTriangleX(const TempFolder& folder, const char* fileName) {
  const std::filesystem::path path = folder.Path(fileName);
  std::ofstream(path) << "xof 0302txt 0032\n"
                         "Frame Limb {\n"
                         "  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,2,0,1;; }\n"
                         "  Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;; }\n"
                         "}\n";
  return path.string();
}

}  // namespace

TEST_F(ObjectsTest, NumberChecks) {
  ExpectErrors({
      {kMakeObjectSphere, {0, 1.0f}, 7006},       {kMakeObjectCube, {65536, 1.0f}, 7006},
      {kDeleteObject, {5}, 7008},                 {kPositionObject, {5, 1.0f, 1.0f, 1.0f}, 7008},
      {kObjectPositionX, {-1.0f, 0}, 7006},       {kMakeObject, {3, 0, 70000}, 501},
      {kMakeObject, {3, 7, 0}, 7003},             {kLoadObject, {"a.x", 0}, 7006},
  });
  RunCommand(kMakeObjectBox, {5, 1.0f, 1.0f, 1.0f});
  RunCommand(kMakeObjectSphere, {5, 1.0f});
  EXPECT_EQ(TakeError(), 7007);
  RunCommand(kMakeObject, {6, 0, 0});  // an empty first frame
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(IntValue(kObjectExist, {6}), 1);
}

// The limbs of a loaded model, nested frames included, are listed into a new checklist in the
// file's order: the limb number as value a and the frame's name as the text.
TEST_F(ObjectsTest, ALoadedModelsLimbsAreListedIntoTheChecklist) {
  const TempFolder folder;
  const std::filesystem::path path = folder.Path("arm.x");
  std::ofstream(path) << "xof 0302txt 0032\n"
                         "Frame Body {\n"
                         "  Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;; }\n"
                         "  Frame Arm {\n"
                         "    Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;; }\n"
                         "  }\n"
                         "}\n"
                         "Frame Head {\n"
                         "  Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;; }\n"
                         "}\n";
  RunCommand(kLoadObject, {path.string().c_str(), 1});
  ASSERT_EQ(TakeError(), 0);
  AddChecklistEntry("left from another list", 9);
  RunCommand(kChecklistObjectLimbs, {1});
  EXPECT_EQ(TakeError(), 0);
  const ChecklistState& list = Checklist();
  EXPECT_TRUE(list.made && list.valuesValid && list.stringsValid);
  ASSERT_EQ(list.count, 3);
  const struct {
    int32_t limb;
    const char* name;
  } expected[] = {{1, "Body"}, {2, "Arm"}, {3, "Head"}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(list.entries[i].a, expected[i].limb);
    EXPECT_STREQ(list.entries[i].text, expected[i].name);
  }
  ExpectErrors({{kChecklistObjectLimbs, {0}, 7006}, {kChecklistObjectLimbs, {2}, 7008}});
}

TEST_F(ObjectsTest, ShapesHaveTheirSizes) {
  const struct {
    int command;
    std::initializer_list<Arg> args;
    float x, y, z;
  } cases[] = {
      {kMakeObjectSphere, {1, 10.0f}, 10, 10, 10},  {kMakeObjectCube, {2, 4.0f}, 4, 4, 4},
      {kMakeObjectCone, {3, 6.0f}, 6, 6, 6},        {kMakeObjectCylinder, {4, 8.0f}, 8, 8, 8},
      {kMakeObjectPlain, {5, 10.0f, 4.0f}, 10, 4, 0}, {kMakeObjectBox, {6, 2.0f, 3.0f, 5.0f}, 2, 3, 5},
      {kMakeObjectTriangle, {7, 0.0f, 0.0f, 0.0f, 3.0f, 0.0f, 0.0f, 0.0f, 2.0f, 1.0f}, 3, 2, 1},
  };
  for (const auto& c : cases) {
    RunCommand(c.command, c.args);
    ASSERT_EQ(TakeError(), 0);
    const int number = c.args.begin()->i;
    EXPECT_NEAR(FloatValue(kObjectSizeX, {number}), c.x, 0.05f) << c.command;
    EXPECT_NEAR(FloatValue(kObjectSizeY, {number}), c.y, 0.05f) << c.command;
    EXPECT_NEAR(FloatValue(kObjectSizeZ, {number}), c.z, 0.05f) << c.command;
  }
  RunCommand(kScaleObject, {6, 200.0f, 100.0f, 50.0f});
  EXPECT_NEAR(FloatValue(kObjectSizeX, {6}), 4.0f, 1e-4);
  EXPECT_NEAR(FloatValue(kObjectSizeZ, {6}), 2.5f, 1e-4);
  // Plain and triangle are drawn from both sides.
  EXPECT_EQ(SpriteAt(ObjectAt(ObjectSlotForNumber(5))->entity)->cull, 0);
  EXPECT_EQ(SpriteAt(ObjectAt(ObjectSlotForNumber(2))->entity)->cull, 1);
}

TEST_F(ObjectsTest, TransformsAndValues) {
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kPositionObject, {1, 1.0f, 2.0f, 3.0f});
  RunCommand(kRotateObject, {1, -30.0f, 720.0f, 1.0e9f});
  EXPECT_EQ(FloatValue(kObjectAngleX, {1}), 330.0f);
  EXPECT_EQ(FloatValue(kObjectAngleY, {1}), 0.0f);
  EXPECT_EQ(FloatValue(kObjectAngleZ, {1}), 0.0f);  // too far to wrap in 100 rounds
  RunCommand(kRotateObject, {1, 0.0f, 90.0f, 0.0f});
  RunCommand(kMoveObject, {1, 10.0f});  // y 90 faces +x
  EXPECT_NEAR(FloatValue(kObjectPositionX, {1}), 11.0f, 1e-4);
  EXPECT_NEAR(FloatValue(kObjectPositionZ, {1}), 3.0f, 1e-4);
  RunCommand(kTurnObjectLeft, {1, 100.0f});
  EXPECT_EQ(FloatValue(kObjectAngleY, {1}), 350.0f);
  RunCommand(kPointObject, {1, 11.0f, 12.0f, 3.0f});  // straight up
  EXPECT_NEAR(FloatValue(kObjectAngleX, {1}), 270.0f, 1e-3);
  RunCommand(kHideObject, {1});
  EXPECT_EQ(IntValue(kObjectVisible, {1}), 0);
  EXPECT_EQ(TakeError(), 0);
}

TEST_F(ObjectsTest, AutoCameraFramesNewObjects) {
  RunCommand(kAutoCameraOn, {});
  RunCommand(kMakeObjectSphere, {1, 1.0f});  // radius 0.5 kept as 1.0
  EXPECT_EQ(Camera().position[2], -2.0f);
  EXPECT_EQ(Camera().position[1], 0.5f);
  RunCommand(kMakeObjectSphere, {2, 20.0f});  // radius 10 kept as 11
  EXPECT_EQ(Camera().position[2], -22.0f);
  EXPECT_EQ(Camera().position[1], 5.5f);
  RunCommand(kAutoCameraOff, {});
  RunCommand(kMakeObjectSphere, {3, 50.0f});
  EXPECT_EQ(Camera().position[2], -22.0f);
}

TEST_F(ObjectsTest, LoadsByExtension) {
  const TempFolder folder;
  const std::string upper = WriteTriangleX(folder, "tri.X");
  RunCommand(kLoadObject, {upper.c_str(), 1});
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(IntValue(kObjectExist, {1}), 1);
  EXPECT_GE(ObjectAt(ObjectSlotForNumber(1))->limbCount, 2);
  EXPECT_EQ(ObjectAt(ObjectSlotForNumber(1))->limbs[1].offset[1], 2.0f);  // the frame's translation
  RunCommand(kLoadObject, {"missing.x", 2});
  EXPECT_EQ(TakeError(), 105);
  RunCommand(kLoadObject, {"model.obj", 2});
  EXPECT_EQ(TakeError(), 7101);
  EXPECT_EQ(IntValue(kObjectExist, {2}), 0);
  // Texture files named by the model (looked up as .bmp by the loader) are found beside it.
  const std::string textured = WriteTriangleX(folder, "textured.x");
  {
    std::ofstream(textured) << "xof 0302txt 0032\n"
                               "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;;\n"
                               "  MeshMaterialList { 1; 1; 0;;\n"
                               "    Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"beside.png\"; } } } }\n";
    Surface* image = SurfaceCreate(2, 2);
    std::string why;
    ASSERT_TRUE(SaveImageFile(folder.Path("beside.bmp").c_str(), *image, &why));
    SurfaceDestroy(image);
  }
  const int32_t texturesBefore = LiveTextureCount();
  RunCommand(kLoadObject, {textured.c_str(), 5});
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(LiveTextureCount(), texturesBefore + 1);
  RunCommand(kDeleteObject, {5});
  EXPECT_EQ(LiveTextureCount(), texturesBefore);  // the model let its texture go
  // Nor does a texture stay behind when a material names two.
  {
    const std::string twoNames = folder.Path("two-names.x");
    std::ofstream(twoNames) << "xof 0302txt 0032\n"
                               "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;;\n"
                               "  MeshMaterialList { 1; 1; 0;;\n"
                               "    Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;;\n"
                               "      TextureFilename { \"beside.png\"; } TextureFilename { \"beside.png\"; } } } }\n";
    RunCommand(kLoadObject, {twoNames.c_str(), 5});
    EXPECT_EQ(TakeError(), 0);
    RunCommand(kDeleteObject, {5});
    EXPECT_EQ(LiveTextureCount(), texturesBefore);
  }

  // A texture named with folders is looked for with each `\` as a folder separator, under the
  // model's folder too, then by its bare file name in the model's folder; the ".bmp" name first.
  {
    const struct {
      const char* named;  // as the model names it (the .x text keeps its backslashes doubled)
      const char* file;   // where the picture lies, under the model's folder
    } cases[] = {{"meshes\\\\textures\\\\walle.png", "walle.bmp"},
                 {"meshes\\\\textures\\\\deep.png", "meshes/textures/deep.bmp"},
                 {"pics\\only.png", "only.png"}};
    for (const auto& c : cases) {
      std::filesystem::create_directories(folder.Path("models/meshes/textures"));
      const std::string model = folder.Path("models/named.x");
      std::ofstream(model) << "xof 0302txt 0032\n"
                              "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;;\n"
                              "  MeshMaterialList { 1; 1; 0;;\n"
                              "    Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \""
                           << c.named << "\"; } } } }\n";
      Surface* image = SurfaceCreate(2, 2);
      std::string why;
      ASSERT_TRUE(SaveImageFile(folder.Path("models/" + std::string(c.file)).c_str(), *image, &why)) << why;
      SurfaceDestroy(image);
      RunCommand(kLoadObject, {model.c_str(), 5});
      EXPECT_EQ(TakeError(), 0);
      EXPECT_EQ(LiveTextureCount(), texturesBefore + 1) << c.named;
      RunCommand(kDeleteObject, {5});
      std::filesystem::remove(folder.Path("models/" + std::string(c.file)));
    }
  }

  // A 3DS scene goes through the converter; its work file does not stay behind.
  const std::string scene = WriteTriangleX(folder, "scene.3ds");
  ASSERT_TRUE(WriteFile(scene, SceneWith3ds(false)));
  RunCommand(kLoadObject, {scene.c_str(), 3});
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(IntValue(kObjectExist, {3}), 1);
  EXPECT_FALSE(std::filesystem::exists(TemporaryFolder() + "/workfile.x"));
  ASSERT_TRUE(WriteFile(scene, "not a 3DS file"));
  RunCommand(kLoadObject, {scene.c_str(), 4});
  EXPECT_EQ(TakeError(), 7018);
  // Loading over an existing object replaces it; a failed load leaves no object.
  RunCommand(kLoadObject, {"missing.x", 1});
  EXPECT_EQ(TakeError(), 105);
  EXPECT_EQ(IntValue(kObjectExist, {1}), 0);
}

// A refused model ends the run with a message that names the file and says what is wrong.
TEST_F(ObjectsTest, RefusedModelsSayWhy) {
  const TempFolder folder;
  const struct {
    const char* name;
    const char* content;  // null: no file written
    int error;
    const char* reason;
  } cases[] = {
      {"model.obj", nullptr, 7101, "not a model file"},
      {"bad.x", "a text file", 7018, "not a .x file"},
      {"broken.x", "xof 0302txt 0032\nFrame A {\n  Mesh { 3; 1;2;3;, }\n", 7018, "line 3"},
      {"packed.x", "xof 0302tzip0032\x40\0\0\0garbage", 7018, "compressed"},
      {"text.3ds", "not a 3DS file", 7018, "not a 3DS file"},
  };
  for (const auto& c : cases) {
    const std::string path = folder.Path(c.name);
    if (c.content != nullptr) {
      ASSERT_TRUE(WriteFile(path, c.content));
    }
    RunCommand(kLoadObject, {path.c_str(), 1});
    EXPECT_EQ(TakeError(), c.error) << c.name;
    const std::string why = LastEngineError();
    EXPECT_NE(why.find(c.name), std::string::npos) << why;
    EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    EXPECT_EQ(IntValue(kObjectExist, {1}), 0);
  }
}

// A .x mesh of more than 65535 vertices cannot be drawn with 16-bit indices: it is left out,
// the rest of the model loads, and the load warns naming the mesh and the limit.
TEST_F(ObjectsTest, AMeshTooLargeIsLeftOutWithAWarning) {
  const TempFolder folder;
  std::string text = "xof 0302txt 0032\n"
                     "Frame Small { Mesh Fits { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;; } }\n"
                     "Frame Big { Mesh Huge { 70000;\n";
  for (int i = 0; i < 70000; ++i) text += i + 1 < 70000 ? "0;0;0;,\n" : "0;0;0;;\n";
  text += "1; 3;0,2,1;; } }\n";
  const std::string path = folder.Path("big.x");
  ASSERT_TRUE(WriteFile(path, text));
  RunCommand(kLoadObject, {path.c_str(), 1});
  EXPECT_TRUE(RuntimeErrorIsWarning());
  const std::string message = FormatRuntimeErrorText(false);
  EXPECT_EQ(TakeError(), 7103);
  EXPECT_NE(message.find(path + ": mesh \"Huge\" (70000 vertices; a mesh holds at most 65535)"), std::string::npos)
      << message;
  ASSERT_EQ(IntValue(kObjectExist, {1}), 1);
  int meshes = 0;
  ObjectAt(ObjectSlotForNumber(1))->model->VisitModelMeshesComposed([&](const MeshNode& mesh, const Matrix4&) {
    EXPECT_STREQ(mesh.name, "Fits");
    ++meshes;
  });
  EXPECT_EQ(meshes, 1);
  // A model that fits loads without a word.
  RunCommand(kLoadObject, {WriteTriangleX(folder, "fits.x").c_str(), 2});
  EXPECT_EQ(TakeError(), 0);
}

TEST_F(ObjectsTest, CopiesShareTheModelAndReleaseEverything) {
  RunCommand(kMakeObjectSphere, {1, 10.0f});
  RunCommand(kColorObject, {1, 0xFF0000});
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 50.0f});
  RunCommand(kDuplicateObject, {1, 2});
  EXPECT_EQ(TakeError(), 0);
  const ObjectRecord* source = ObjectAt(ObjectSlotForNumber(1));
  const ObjectRecord* copy = ObjectAt(ObjectSlotForNumber(2));
  EXPECT_EQ(source->model, copy->model);
  EXPECT_NE(source->entity, copy->entity);
  EXPECT_EQ(FloatValue(kObjectPositionZ, {2}), 0.0f);  // its own entity, at the origin
  RunCommand(kPositionObject, {2, 5.0f, 0.0f, 50.0f});
  const size_t both = DrawsOfFrame();
  EXPECT_GT(both, 0u);
  RunCommand(kDeleteObject, {1});
  EXPECT_EQ(DrawsOfFrame(), both / 2);  // the copy still draws through the shared model
  RunCommand(kDuplicateObject, {2, 2});  // onto itself: nothing happens
  EXPECT_EQ(TakeError(), 0);
  RunCommand(kDeleteObject, {2});
  EXPECT_EQ(DrawsOfFrame(), 0u);
  EXPECT_EQ(Device3dRecordCount(Device3dOp::kBeginScene), 0u);  // no 3D left: the device rests
  EXPECT_EQ(Device3dRecordLiveVertexBuffers(), 1u);  // the static world's batch buffer only
  EXPECT_EQ(LiveTextureCount(), 0);
}

// Copies share their source's model, so each holds the texture its meshes show: whichever
// goes first, the texture stays while one of them is left.
TEST_F(ObjectsTest, CopiesKeepTheTextureTheirSharedModelShows) {
  const struct {
    bool colourCopy;  // colour the copy (after duplicating) instead of the source (before)
    int deletedFirst;
  } cases[] = {{false, 1}, {false, 2}, {true, 1}, {true, 2}};
  for (const auto& c : cases) {
    RunCommand(kMakeObjectCube, {1, 2.0f});
    if (!c.colourCopy) RunCommand(kColorObject, {1, 0xFF0000});
    RunCommand(kDuplicateObject, {1, 2});
    if (c.colourCopy) RunCommand(kColorObject, {2, 0x0000FF});
    const int32_t shown = ObjectAt(ObjectSlotForNumber(c.colourCopy ? 2 : 1))->appliedTexture;
    ASSERT_GT(shown, 0);
    RunCommand(kDeleteObject, {c.deletedFirst});
    EXPECT_GE(TextureReferenceCount(shown), 1) << c.colourCopy << " " << c.deletedFirst;
    RunCommand(kDeleteObject, {3 - c.deletedFirst});
    EXPECT_EQ(LiveTextureCount(), 0) << c.colourCopy << " " << c.deletedFirst;
    EXPECT_EQ(TakeError(), 0);
  }
}

// A colour texture given by the colour command belongs to the object, not to its meshes:
// deleting one of two objects of the same colour leaves the other's texture alive.
TEST_F(ObjectsTest, SharedColourTextureOutlivesOneOfItsObjects) {
  RunCommand(kMakeObjectCube, {1, 2.0f});
  RunCommand(kMakeObjectCube, {2, 2.0f});
  RunCommand(kColorObject, {1, 0xFF0000});
  RunCommand(kColorObject, {2, 0xFF0000});
  const int32_t red = ObjectAt(ObjectSlotForNumber(2))->appliedTexture;
  ASSERT_GT(red, 0);
  EXPECT_EQ(TextureReferenceCount(red), 2);
  RunCommand(kDeleteObject, {1});
  EXPECT_EQ(TextureReferenceCount(red), 1);
  RunCommand(kDeleteObject, {2});
  EXPECT_EQ(LiveTextureCount(), 0);
  // The texture an object is made with from an image goes with the object.
  RunCommand(kImageGet, {9, 0, 0, 4, 4});
  RunCommand(kMakeObject, {3, 0, 9});
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(LiveTextureCount(), 1);
  RunCommand(kDeleteObject, {3});
  EXPECT_EQ(LiveTextureCount(), 0);
}

TEST_F(ObjectsTest, CullingByDepthAndScreenEdge) {
  RunCommand(kMakeObjectSphere, {1, 20.0f});  // kept radius 11, tested with 13.75
  const struct {
    float x, z;
    bool drawn;
  } cases[] = {
      {0, 200, true},      {0, -50, false},   // behind the camera
      {0, 3020, false},                       // beyond the far plane
      {165, 200, true},                       // centre off screen, sphere reaching in
      {185, 200, false},                      // wholly off screen
      {90, 50, true},                         // off screen but nearer than 100: depth tests only
  };
  for (const auto& c : cases) {
    RunCommand(kPositionObject, {1, c.x, 0.0f, c.z});
    EXPECT_EQ(DrawsOfFrame() > 0, c.drawn) << c.x << " " << c.z;
  }
  // The screen query shares the test, with screen tests from depth 20 on.
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, 50.0f});
  EXPECT_EQ(IntValue(kObjectScreenX, {1}), 320);
  EXPECT_EQ(IntValue(kObjectScreenY, {1}), 240);
  EXPECT_EQ(IntValue(kObjectInScreen, {1}), 1);
  RunCommand(kPositionObject, {1, 90.0f, 0.0f, 50.0f});
  EXPECT_EQ(IntValue(kObjectInScreen, {1}), 0);
  RunCommand(kPositionObject, {1, 0.0f, 0.0f, -50.0f});
  EXPECT_EQ(IntValue(kObjectInScreen, {1}), 0);
}
