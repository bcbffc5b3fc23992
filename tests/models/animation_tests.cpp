// Tests of animation saving, appending and merging: the saved text reads back through our own
// reader, merges append with the hold key and time offset, and failures stop cleanly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "models/models_local.h"
#include "tests/models/fixtures.h"

namespace {

const char kModel[] =
    "xof 0302txt 0032\n"
    "Frame Body { Frame Arm { } }\n"
    "AnimationSet walk {\n"
    "  Animation { {Arm} AnimationKey { 2; 2; 0;3;0,0,0;;, 4;3;1,2,3;;; } }\n"
    "  Animation { {Body} AnimationKey { 0; 1; 0;4;1,0,0,0;;; } }\n"
    "}\n";

TEST(Animation, SaveWritesEveryKeyKindAndReadsBack) {
  FakeHost host;
  TempFolder folder;
  ModelObject model;
  ASSERT_EQ(model.LoadModelXMemory(kModel, sizeof kModel - 1), kModelOk);
  AnimationTrack* arm = model.Tracks()->first;
  arm->positionKeys[1].time = 2.7f;  // written truncated
  std::string path = folder.Path("anim.x");
  ASSERT_EQ(model.SaveModelAnimationX(path.c_str()), kModelOk);
  std::string text = ReadFileText(path);
  EXPECT_EQ(text.compare(0, 17, "xof 0302txt 0032\n"), 0);
  EXPECT_NE(text.find("AnimationSet xqv_animset_0"), std::string::npos);
  EXPECT_NE(text.find("Animation xqv_anim_1"), std::string::npos);
  EXPECT_NE(text.find("{Arm}"), std::string::npos);

  XFile file;
  ASSERT_TRUE(XReadFile(path.c_str(), file)) << file.error;
  std::unique_ptr<AnimationTrackList> read(ReadLastAnimationSet(file));
  ASSERT_NE(read, nullptr);
  AnimationTrack* track = read->first;
  ASSERT_NE(track, nullptr);
  EXPECT_STREQ(track->frameName, "Arm");
  ASSERT_EQ(track->positionKeyCount, 2u);
  EXPECT_FLOAT_EQ(track->positionKeys[1].time, 2.0f);
  EXPECT_FLOAT_EQ(track->positionKeys[1].y, 2.0f);
  ASSERT_NE(track->next, nullptr);
  EXPECT_EQ(track->next->rotationKeyCount, 1u);
  // Empty kinds are still written: three AnimationKey objects per animation.
  size_t keys = 0;
  for (size_t at = text.find("AnimationKey"); at != std::string::npos;
       at = text.find("AnimationKey", at + 1))
    keys++;
  EXPECT_EQ(keys, 6u);

  // A model without tracks writes a file without an animation set.
  ModelObject still;
  const char plain[] = "xof 0302txt 0032\nFrame Body { }\n";
  ASSERT_EQ(still.LoadModelXMemory(plain, sizeof plain - 1), kModelOk);
  ASSERT_EQ(still.SaveModelAnimationX(path.c_str()), kModelOk);
  EXPECT_EQ(ReadFileText(path).find("AnimationSet"), std::string::npos);
  EXPECT_EQ(model.SaveModelAnimationX(folder.Path("no/such/dir.x").c_str()), kModelFail);
}

TEST(Animation, MergeAppendsWithHoldKeyAndOffset) {
  FakeHost host;
  TempFolder folder;
  host.temporaryFolder = folder.path();
  ModelObject model;
  ASSERT_EQ(model.LoadModelXMemory(kModel, sizeof kModel - 1), kModelOk);
  // The second file: the model's own animation saved and changed, then merged back.
  ASSERT_TRUE(WriteFile(folder.Path("model.x"), kModel));
  ASSERT_EQ(model.SaveModelAnimationX(folder.Path("anim.x").c_str()), kModelOk);
  ASSERT_EQ(model.MergeModelXFiles(folder.Path("model.x").c_str(), folder.Path("anim.x").c_str(),
                                   100.0f, 50.0f),
            kModelOk);
  AnimationTrack* arm = model.Tracks()->first;
  ASSERT_EQ(arm->positionKeyCount, 5u);  // 2 old, the hold key, 2 new
  const float times[] = {0, 4, 50, 100, 104};
  for (int i = 0; i < 5; i++) EXPECT_FLOAT_EQ(arm->positionKeys[i].time, times[i]) << i;
  EXPECT_FLOAT_EQ(arm->positionKeys[2].z, 3.0f);  // the hold key repeats the last values
  EXPECT_FLOAT_EQ(arm->positionFloatCount, 20.0f);
  EXPECT_EQ(arm->rotationKeyCount, 0u);
  AnimationTrack* body = arm->next;
  ASSERT_EQ(body->rotationKeyCount, 3u);
  EXPECT_FLOAT_EQ(body->rotationKeys[2].time, 100.0f);

  // A hold time equal to the last key's time adds no hold key.
  ASSERT_EQ(model.LoadModelAnimationX(folder.Path("anim.x").c_str(), 200.0f, 104.0f), kModelOk);
  EXPECT_EQ(arm->positionKeyCount, 7u);
  EXPECT_FLOAT_EQ(arm->positionKeys[5].time, 200.0f);
}

TEST(Animation, MergeAndAppendFailuresChangeNothing) {
  FakeHost host;
  TempFolder folder;
  ModelObject model;
  ASSERT_EQ(model.LoadModelXMemory(kModel, sizeof kModel - 1), kModelOk);
  ASSERT_TRUE(WriteFile(folder.Path("model.x"), kModel));
  ASSERT_EQ(model.SaveModelAnimationX(folder.Path("anim.x").c_str()), kModelOk);
  // A work file that cannot be written stops the merge before anything is appended.
  host.temporaryFolder = folder.Path("missing");
  EXPECT_EQ(model.MergeModelXFiles(folder.Path("model.x").c_str(),
                                   folder.Path("anim.x").c_str(), 10, 10),
            kModelFail);
  EXPECT_EQ(model.Tracks()->first->positionKeyCount, 2u);
  host.temporaryFolder = folder.path();
  EXPECT_EQ(model.MergeModelXFiles(folder.Path("nope.x").c_str(),
                                   folder.Path("anim.x").c_str(), 10, 10),
            kModelFail);
  // An animation whose frames are not in the model appends nothing and says so.
  const char other[] =
      "xof 0302txt 0032\nFrame Tail { }\n"
      "AnimationSet s { Animation { {Tail} AnimationKey { 2; 1; 0;3;1,1,1;;; } } }\n";
  ASSERT_TRUE(WriteFile(folder.Path("other.x"), other));
  EXPECT_EQ(model.LoadModelAnimationX(folder.Path("other.x").c_str(), 0, 0), kModelFail);
  EXPECT_EQ(model.Tracks()->first->positionKeyCount, 2u);
  // A second file of only its header line merges the first file alone.
  ASSERT_TRUE(WriteFile(folder.Path("short.x"), "xof 0302txt 0032\n"));
  EXPECT_EQ(model.MergeModelXFiles(folder.Path("model.x").c_str(),
                                   folder.Path("short.x").c_str(), 0, 0),
            kModelOk);
  EXPECT_EQ(ReadFileText(folder.Path("workfile.x")), kModel);
  ModelObject empty;
  EXPECT_EQ(empty.LoadModelAnimationX(folder.Path("anim.x").c_str(), 0, 0), kModelFail);
}

TEST(Animation, MeshesSaveAsTriangleLists) {
  FakeHost host;
  TempFolder folder;
  ModelObject model;
  std::string cube = CubeText();
  ASSERT_EQ(model.LoadModelXMemory(cube.data(), cube.size()), kModelOk);
  std::string path = folder.Path("meshes.x");
  ASSERT_EQ(model.SaveModelMeshesX(path.c_str()), kModelOk);
  ModelObject back;
  ASSERT_EQ(back.LoadModelX(path.c_str()), kModelOk);
  MeshView geometry;
  ASSERT_TRUE(MeshByName(back, "Mesh", geometry));
  EXPECT_EQ(geometry.vertexCount, 8u);
  EXPECT_EQ(geometry.indexCount, 36u);
  EXPECT_FLOAT_EQ(geometry.vertices[6].z, 1.0f);
}

TEST(Animation, TextWriterNumbersAreFiniteAndLocaleFree) {
  std::string out;
  for (double value : {1.5, -0.0, 1e30, std::nan(""), -HUGE_VAL, 0.0000004})
    XAppendFloat(out, value), out += ' ';
  EXPECT_EQ(out.substr(0, 20), "1.500000 0.000000 10");
  EXPECT_NE(out.find(" 0.000000 0.000000 0.000000 "), std::string::npos);
  EXPECT_EQ(out.find_first_of(",na"), std::string::npos);
}

}  // namespace
