// Tests of the 3DS converter: the scene fixture converted and loaded back, names, coordinates,
// nesting and keys, failure results, and damaged files that must still give readable .x text.
#include <gtest/gtest.h>

#include <filesystem>

#include <cmath>

#include "models/convert3ds/convert3ds_local.h"
#include "models/models_local.h"
#include "tests/models/fixtures.h"

namespace {

std::string Convert(const std::string& bytes) {
  std::string text;
  EXPECT_EQ(Convert3dsImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), text),
            0);
  return text;
}

// A scene of one object holding one mesh.
std::string OneMesh(const std::string& name, const std::vector<float>& xyz,
                    const std::vector<uint16_t>& faces) {
  Writer3ds w;
  w.Begin(0x4D4D).Begin(0x3D3D).Begin(0x4000).Text(name).Begin(0x4100);
  w.Begin(0x4110).U16(static_cast<uint16_t>(xyz.size() / 3));
  for (float v : xyz) w.F32(v);
  w.End();
  w.Begin(0x4120).U16(static_cast<uint16_t>(faces.size() / 3));
  for (size_t i = 0; i < faces.size(); i += 3) w.U16(faces[i]).U16(faces[i + 1]).U16(faces[i + 2]).U16(0);
  w.End();
  w.End().End().End().End();
  return w.Bytes();
}

TEST(Convert3ds, SceneConvertsAndLoadsBack) {
  FakeHost host;
  TempFolder folder;
  ASSERT_TRUE(WriteFile(folder.Path("scene.3ds"), SceneWith3ds(false)));
  ASSERT_EQ(Convert3dsToX(folder.Path("scene.3ds").c_str(), folder.Path("scene.x").c_str()), 0);
  std::string text = ReadFileText(folder.Path("scene.x"));
  EXPECT_EQ(text.compare(0, 17, "xof 0302txt 0064\n"), 0);
  for (const char* line : {"Material x3ds_mat_wood {\n", "1.000000, 0.501961, 0.000000, 1.000000;;\n",
                           "40.000000;\n", "\"wood.png\";\n", "Frame x3ds_door_1 {\n",
                           "Mesh xdoor_1 {\n", "{x3ds_mat_wood}\n", "{x3ds_door_1}\n",
                           // frame transform: the file's translation (10, 20, 30) turned y-up
                           "10.000000, 30.000000, 20.000000, 1.000000;;\n",
                           // corner (2, 4, 6): y and z swapped, then moved into the object
                           "-8.000000; -24.000000; -16.000000;,\n",
                           // the last texture coordinate (0.25, 0.25) with v turned
                           "0.250000;0.750000;;\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(text.find("AnimationKey {\n1;"), std::string::npos);  // scale (1,1,1) alone: none

  ModelObject model;
  ASSERT_EQ(model.LoadModelX(folder.Path("scene.x").c_str()), kModelOk);
  const ModelNode* doorFrame = model.Root()->child;
  ASSERT_NE(doorFrame, nullptr);
  EXPECT_STREQ(doorFrame->name, "x3ds_door_1");
  MeshView geometry;
  ASSERT_TRUE(MeshByName(model, "xdoor_1", geometry));
  EXPECT_EQ(geometry.indexCount, 36u);
  EXPECT_EQ(geometry.vertexCount, 8u);
  EXPECT_EQ(host.log.front(), "file wood.bmp");
  // Knob nests inside the door's frame, after the door's mesh.
  const ModelNode* knob = doorFrame->child;
  while (knob && std::string(knob->name) != "x3ds_knob") knob = knob->next;
  ASSERT_NE(knob, nullptr);
  EXPECT_EQ(knob->kind, ModelNodeKind::Frame);
  EXPECT_EQ(doorFrame->next, nullptr);
  // Tracks: the rotation keys are absolute, two quarter turns make a half turn.
  AnimationTrack* track = model.Tracks()->first;
  ASSERT_NE(track, nullptr);
  EXPECT_STREQ(track->frameName, "x3ds_door_1");
  EXPECT_EQ(track->frameId, 1);
  ASSERT_EQ(track->rotationKeyCount, 2u);
  EXPECT_FLOAT_EQ(track->rotationKeys[1].time, 10.0f);
  const float half[4] = {0, 0, -1, 0};
  const float* got = &track->rotationKeys[1].w;
  for (int i = 0; i < 4; i++) EXPECT_NEAR(got[i], half[i], 1e-5) << i;
  ASSERT_EQ(track->positionKeyCount, 1u);
  EXPECT_FLOAT_EQ(track->positionKeys[0].y, 3.0f);  // (1, 2, 3) with y and z swapped
  ASSERT_NE(track->next, nullptr);
  EXPECT_EQ(track->next->frameId, 2);
}

TEST(Convert3ds, KeyFlagFloatsAreSkipped) {
  EXPECT_EQ(Convert(SceneWith3ds(true)), Convert(SceneWith3ds(false)));
}

// Only a source that cannot be read is a failure (-4, nothing written). A file that is not
// 3DS converts to a .x file of the header alone, and a destination that cannot be written
// is left as it was with the result still 0 (the engine's loader checks for the file).
TEST(Convert3ds, OnlyAMissingSourceFails) {
  TempFolder folder;
  EXPECT_EQ(Convert3dsToX(folder.Path("none.3ds").c_str(), folder.Path("out.x").c_str()), -4);
  EXPECT_TRUE(ReadFileText(folder.Path("out.x")).empty());
  ASSERT_TRUE(WriteFile(folder.Path("text.3ds"), "not a scene at all"));
  EXPECT_EQ(Convert3dsToX(folder.Path("text.3ds").c_str(), folder.Path("out.x").c_str()), 0);
  EXPECT_EQ(ReadFileText(folder.Path("out.x")), "xof 0302txt 0064\nHeader {\n1;\n0;\n1;\n}\n\n");
  ASSERT_TRUE(WriteFile(folder.Path("scene.3ds"), SceneWith3ds(false)));
  EXPECT_EQ(Convert3dsToX(folder.Path("scene.3ds").c_str(), folder.Path("no/dir/out.x").c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(folder.Path("no/dir/out.x")));
}

TEST(Convert3ds, NormalsNamesAndBadFaces) {
  // Collinear corners, a face indexing past the vertices, a 300-byte name.
  std::string name(300, 'q');
  std::string text = Convert(OneMesh(name, {0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 1, 0},
                                     {0, 1, 2, 0, 1, 7, 0, 1, 3}));
  EXPECT_NE(text.find("0.577350; 0.577350; 0.577350;"), std::string::npos);
  EXPECT_NE(text.find("Frame x3ds_qqqqqqqqqqq {"), std::string::npos);  // 11 characters
  XFile file;
  ASSERT_TRUE(XReadMemory(text.data(), text.size(), file)) << file.error;
  ModelObject model;
  ASSERT_EQ(model.LoadModelXMemory(text.data(), text.size()), kModelOk);
  MeshView geometry;
  ASSERT_TRUE(MeshByName(model, "xqqqqqqqqqqq", geometry));
  EXPECT_EQ(geometry.indexCount, 6u);  // the face past the vertices is left out
}

TEST(Convert3ds, DamagedFilesStillGiveReadableText) {
  std::string scene = SceneWith3ds(true);
  std::vector<std::string> damaged;
  for (size_t length = 6; length < scene.size(); length += 3) damaged.push_back(scene.substr(0, length));
  std::string tiny = scene;
  tiny[8] = 3;  // the editor chunk's length below 6
  tiny[9] = tiny[10] = tiny[11] = 0;
  damaged.push_back(tiny);
  std::string huge = scene;
  huge[8] = huge[9] = huge[10] = huge[11] = '\xff';  // past its parent and the file
  damaged.push_back(huge);
  // More objects and keyframer nodes than the tables hold.
  Writer3ds many;
  many.Begin(0x4D4D).Begin(0x3D3D);
  for (int i = 0; i < 5003; i++) many.Begin(0x4000).Text("o").End();
  many.End().Begin(0xB000);
  for (int i = 0; i < 5003; i++) {
    // A chain of 2000 (deeper than frames may nest), then parents that come later.
    uint16_t parent = static_cast<uint16_t>(i < 2000 ? i - 1 : i * 7);
    many.Begin(0xB002).Begin(0xB010).Text("o").U16(0).U16(0).U16(parent).End();
    many.Begin(0xB013).F32(1).F32(2).F32(3).End().End();
  }
  many.End().End();
  damaged.push_back(many.Bytes());
  // A rotation about a zero axis with an infinite angle.
  Writer3ds w;
  w.Begin(0x4D4D).Begin(0xB000).Begin(0xB002);
  w.Begin(0xB010).Text("spin").U16(0).U16(0).U16(0xFFFF).End();
  w.Begin(0xB021);
  for (int i = 0; i < 5; i++) w.U16(0);
  w.U16(1).U16(0).U32(0).U16(0).F32(INFINITY).F32(0).F32(0).F32(0).End();
  w.Begin(0xB020);
  for (int i = 0; i < 5; i++) w.U16(0);
  w.U16(1).U16(0).U32(0).U16(0).F32(NAN).F32(1e38f).F32(-INFINITY).End();
  w.End().End().End();
  damaged.push_back(w.Bytes());
  // A map name with a quote in it.
  Writer3ds quoted;
  quoted.Begin(0x4D4D).Begin(0x3D3D).Begin(0xAFFF).Begin(0xA200).Begin(0xA300);
  quoted.Text("a\"b.png").End().End().End().End().End();
  damaged.insert(damaged.begin(), quoted.Bytes());
  for (const std::string& bytes : damaged) {
    std::string text = Convert(bytes);
    EXPECT_EQ(text.find("inf"), std::string::npos);
    EXPECT_EQ(text.find("nan"), std::string::npos);
    XFile file;
    EXPECT_TRUE(XReadMemory(text.data(), text.size(), file)) << bytes.size() << ": " << file.error;
  }
  std::string spin = Convert(damaged.back());
  EXPECT_NE(spin.find("0; 4; 1.000000, 0.000000, 0.000000, 0.000000;;;"), std::string::npos);
}

TEST(Convert3ds, TextWriterLists) {
  std::string out;
  xtext3ds::VectorList(out, {1, 2, 3});
  EXPECT_EQ(out, "1;\n1.000000; 2.000000; 3.000000;;\n");
  out.clear();
  xtext3ds::FaceList(out, {0, 1, 2, 2, 1, 3});
  EXPECT_EQ(out, "2;\n3;0,1,2;,\n3;2,1,3;;\n");
  EXPECT_EQ(xtext3ds::SafeName("door-1.b"), "door_1_b");
}

}  // namespace
