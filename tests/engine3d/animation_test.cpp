// Keyframe animation of a loaded object with two keys per kind: play, loop, stop, speed,
// set frame with interpolation, the checks, and the posed limb matrix against a hand
// computation.
#include "engine3d/engine3d_local.h"
#include "graphics2d/graphics2d.h"
#include "models/models.h"
#include "tests/engine3d/engine_harness.h"
#include "tests/models/fixtures.h"
#include "tests/small_disk.h"

#include <cmath>
#include <filesystem>
#include <fstream>

namespace {

// One limb; animated, it turns from no turn to a quarter turn about y (key quaternion w, x,
// y, z) and moves from 0 to 10 along x between frames 0 and 10; still, it stands at x = 2
// without any animation.
std::string WriteLimbX(const TempFolder& folder, bool animated) {
  const std::string path = folder.Path(animated ? "walk.x" : "still.x");
  std::ofstream out(path);
  out << "xof 0302txt 0032\n"
         "Frame Limb {\n"
         "  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, "
      << (animated ? "0" : "2")
      << ",0,0,1;; }\n"
         "  Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;; }\n"
         "}\n";
  if (animated)
    out << "AnimationSet Walk {\n"
           "  Animation {\n"
           "    { Limb }\n"
           "    AnimationKey { 0; 2; 0;4;1.0,0.0,0.0,0.0;;, 10;4;0.70710678,0.0,0.70710678,0.0;;; }\n"
           "    AnimationKey { 2; 2; 0;3;0.0,0.0,0.0;;, 10;3;10.0,0.0,0.0;;; }\n"
           "  }\n"
           "}\n";
  return path;
}
std::string WriteAnimatedX(const TempFolder& folder) { return WriteLimbX(folder, true); }
std::string WriteStillX(const TempFolder& folder) { return WriteLimbX(folder, false); }

class AnimationTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    RunCommand(kLoadObject, {WriteAnimatedX(folder).c_str(), 1});
    ASSERT_EQ(TakeError(), 0);
    slot = ObjectSlotForNumber(1);
  }
  Matrix4 LimbPose() {
    Matrix4 pose;
    MatrixIdentity(pose);
    ObjectAt(slot)->model->GetModelFrameMatrix(1, pose);
    return pose;
  }
  TempFolder folder;  // each test writes its own files: tests run in parallel processes
  int32_t slot = -1;
};

}  // namespace

TEST_F(AnimationTest, PlayClampsAtTheEndAndLoopWraps) {
  EXPECT_EQ(IntValue(kTotalObjectFrames, {1}), 10);
  RunCommand(kSetObjectSpeed, {1, 100});
  EXPECT_EQ(IntValue(kObjectSpeed, {1}), 100);
  RunCommand(kPlayObject, {1});
  const float expected[] = {4, 8, 10};
  for (float frame : expected) {
    AnimateObjects();
    EXPECT_EQ(FloatValue(kObjectFrame, {1}), frame);
  }
  EXPECT_EQ(IntValue(kObjectPlaying, {1}), 0);

  // Looping backwards below the start jumps to the end.
  RunCommand(kSetObjectSpeed, {1, -5});
  RunCommand(kLoopObjectRange, {1, 2, 9});
  RunCommand(kSetObjectFrame, {1, 2.1f});
  AnimateObjects();
  EXPECT_EQ(FloatValue(kObjectFrame, {1}), 9.0f);
  EXPECT_EQ(IntValue(kObjectLooping, {1}), 1);
  RunCommand(kStopObject, {1});
  AnimateObjects();
  EXPECT_EQ(FloatValue(kObjectFrame, {1}), 9.0f);  // out of the playing list: not advanced
  EXPECT_EQ(TakeError(), 0);
}

TEST_F(AnimationTest, PoseAtAFrameMatchesTheKeys) {
  RunCommand(kSetObjectSpeed, {1, 0});
  RunCommand(kLoopObject, {1});
  RunCommand(kSetObjectFrame, {1, 5.0f});
  AnimateObjects();
  // Halfway: an eighth turn about y in the keys' convention (the transposed row-vector
  // rotation, so the x axis goes to (cos 45, 0, sin 45)), moved 5 along x.
  const float c = std::cos(0.785398163f), s = std::sin(0.785398163f);
  const float expected[4][4] = {{c, 0, s, 0}, {0, 1, 0, 0}, {-s, 0, c, 0}, {5, 0, 0, 1}};
  const Matrix4 pose = LimbPose();
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column)
      EXPECT_NEAR(pose.m[row][column], expected[row][column], 1e-5) << row << "," << column;
}

// Each track poses the frame it names: a model whose animation moves only its second frame
// keeps the first where the file put it. So does the third, whose track holds only keys this
// reader skips (matrix keys, type 4, as many exporters write): a track without keys must not
// undo its frame's FrameTransformMatrix.
TEST_F(AnimationTest, TracksPoseTheFramesTheyName) {
  const std::string path = folder.Path("two.x");
  std::ofstream(path) << "xof 0302txt 0032\n"
                         "Frame Still { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 2,0,0,1;; }\n"
                         "  Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;; } }\n"
                         "Frame Limb { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }\n"
                         "  Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;; } }\n"
                         "Frame Arm { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 7,0,0,1;; }\n"
                         "  Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,2,1;; } }\n"
                         "AnimationSet Walk { Animation { { Limb }\n"
                         "  AnimationKey { 2; 2; 0;3;0.0,0.0,0.0;;, 10;3;10.0,0.0,0.0;;; } }\n"
                         "  Animation { { Arm } AnimationKey { 4; 2; 0;16;1,0,0,0,0,1,0,0,0,0,1,0,7,0,0,1;;,\n"
                         "    10;16;1,0,0,0,0,1,0,0,0,0,1,0,9,9,9,1;;; } } }\n";
  RunCommand(kLoadObject, {path.c_str(), 2});
  ASSERT_EQ(TakeError(), 0);
  ModelObject& model = *ObjectAt(ObjectSlotForNumber(2))->model;
  RunCommand(kSetObjectSpeed, {2, 0});
  RunCommand(kLoopObject, {2});
  RunCommand(kSetObjectFrame, {2, 5.0f});
  AnimateObjects();
  const struct {
    int frame;
    float x;
  } poses[] = {{1, 2.0f}, {2, 5.0f}, {3, 7.0f}};
  for (const auto& p : poses) {
    Matrix4 pose;
    MatrixIdentity(pose);
    model.GetModelFrameMatrix(p.frame, pose);
    EXPECT_NEAR(pose.m[3][0], p.x, 1e-5) << "frame " << p.frame;
  }
}

TEST_F(AnimationTest, SetFrameBlendsByInterpolation) {
  RunCommand(kSetObjectInterpolation, {1, 50});
  EXPECT_EQ(IntValue(kObjectInterpolation, {1}), 50);
  RunCommand(kSetObjectFrame, {1, 10.0f});  // not looping: a transition from frame 0
  AnimateObjects();
  EXPECT_NEAR(LimbPose().m[3][0], 5.0f, 1e-5);  // half way to the target's 10
  EXPECT_EQ(FloatValue(kObjectFrame, {1}), 10.0f);
  AnimateObjects();
  EXPECT_NEAR(LimbPose().m[3][0], 10.0f, 1e-5);
  // With interpolation 100 the jump takes one sync.
  RunCommand(kSetObjectInterpolation, {1, 100});
  RunCommand(kSetObjectFrame, {1, 0.0f});
  AnimateObjects();
  EXPECT_NEAR(LimbPose().m[3][0], 0.0f, 1e-5);
  EXPECT_EQ(TakeError(), 0);
}

TEST_F(AnimationTest, KeyframesTakeTheLimbPoseAndDeleteOnlyTheirFrame) {
  AnimationTrack* track = ObjectAt(slot)->model->Tracks()->first;
  ASSERT_NE(track, nullptr);
  Matrix4 turn, pose;
  RotationFromAngles(turn, 0.3f, -0.5f, 1.2f);
  turn.m[3][0] = 1;
  turn.m[3][1] = 2;
  turn.m[3][2] = 3;
  ObjectAt(slot)->model->SetModelFrameMatrixDirect(1, turn);
  RunCommand(kSetObjectKeyframe, {1, 20});
  EXPECT_EQ(IntValue(kTotalObjectFrames, {1}), 20);
  EXPECT_EQ(track->rotationKeyCount, 3u);
  RunCommand(kSetObjectKeyframe, {1, 0});  // frame 0 is never keyed
  RunCommand(kSetObjectKeyframe, {1, 10});  // overwrites the key at 10
  EXPECT_EQ(track->rotationKeyCount, 3u);
  EXPECT_EQ(track->positionKeys[1].x, 1.0f);
  RunCommand(kLoopObject, {1});
  RunCommand(kSetObjectSpeed, {1, 0});
  RunCommand(kSetObjectFrame, {1, 20.0f});
  AnimateObjects();
  pose = LimbPose();
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column) EXPECT_NEAR(pose.m[row][column], turn.m[row][column], 1e-5);

  RunCommand(kDeleteObjectKeyframe, {1, 7});  // no key there: every key stays
  EXPECT_EQ(track->rotationKeyCount, 3u);
  EXPECT_EQ(track->positionKeyCount, 3u);
  RunCommand(kDeleteObjectKeyframe, {1, 10});
  EXPECT_EQ(track->rotationKeyCount, 2u);
  EXPECT_EQ(track->rotationKeys[1].time, 20.0f);
  EXPECT_EQ(TakeError(), 0);
}

TEST_F(AnimationTest, AppendingContinuesPastTheEnd) {
  const std::string walk = WriteAnimatedX(folder);
  RunCommand(kAppendObjectModel, {walk.c_str(), 1, 10});
  EXPECT_EQ(TakeError(), 7606);  // not past the end
  RunCommand(kAppendObjectModel, {"no-such-walk.x", 1, 20});
  EXPECT_EQ(TakeError(), 7605);
  RunCommand(kAppendObjectModel, {walk.c_str(), 1, 20});
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(IntValue(kTotalObjectFrames, {1}), 30);
  // Frames 10 to 19 hold the old end pose; the new part starts again from its first key.
  RunCommand(kLoopObject, {1});
  RunCommand(kSetObjectSpeed, {1, 0});
  const struct {
    float frame, x;
  } poses[] = {{15, 10}, {20, 0}, {25, 5}};
  for (const auto& p : poses) {
    RunCommand(kSetObjectFrame, {1, p.frame});
    AnimateObjects();
    EXPECT_NEAR(LimbPose().m[3][0], p.x, 1e-4) << p.frame;
  }
}

TEST_F(AnimationTest, RangeChecksAndObjectsWithoutAnimation) {
  ExpectErrors({
      {kSetObjectSpeed, {1, 101}, 7603},         {kSetObjectInterpolation, {1, 0}, 7604},
      {kSetObjectFrame, {1, 10.5f}, 7602},       {kSetObjectFrame, {1, -1.0f}, 7602},
      {kPlayObject, {2}, 7008},                  {kPlayObject, {0}, 7006},
  });
  RunCommand(kMakeObjectCube, {2, 1.0f});
  RunCommand(kPlayObject, {2});
  EXPECT_EQ(TakeError(), 7601);
  EXPECT_EQ(FloatValue(kObjectFrame, {2}), 0.0f);
  RunCommand(kClearObjectAnimation, {1});
  RunCommand(kPlayObject, {1});
  EXPECT_EQ(TakeError(), 7601);
}

// Keying and appending on models without animation first give them a track list: one track
// per limb past the object's own frame, starting from the limb's pose at frame 0.
TEST_F(AnimationTest, ModelsWithoutAnimationGetTracksToKeyInto) {
  RunCommand(kLoadObject, {WriteStillX(folder).c_str(), 2});
  const int32_t still = ObjectSlotForNumber(2);
  ModelObject& model = *ObjectAt(still)->model;
  ASSERT_EQ(model.Tracks(), nullptr);
  RunCommand(kSetObjectKeyframe, {2, 5});
  ASSERT_NE(model.Tracks(), nullptr);
  const AnimationTrack* track = model.Tracks()->first;
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(track->next, nullptr);
  EXPECT_STREQ(track->frameName, "Limb");
  EXPECT_EQ(track->frameId, 1);
  Matrix4 moved;
  MatrixTranslation(moved, 6, 0, 0);
  model.SetModelFrameMatrixDirect(1, moved);
  RunCommand(kSetObjectKeyframe, {2, 10});
  ASSERT_EQ(track->positionKeyCount, 3u);
  EXPECT_EQ(track->scaleKeyCount, 0u);
  EXPECT_EQ(IntValue(kTotalObjectFrames, {2}), 10);
  RunCommand(kLoopObject, {2});
  RunCommand(kSetObjectSpeed, {2, 0});
  const struct {
    float frame, x;
  } poses[] = {{0, 2}, {5, 2}, {7.5f, 4}, {10, 6}};
  for (const auto& p : poses) {
    RunCommand(kSetObjectFrame, {2, p.frame});
    AnimateObjects();
    Matrix4 pose;
    model.GetModelFrameMatrix(1, pose);
    EXPECT_NEAR(pose.m[3][0], p.x, 1e-4) << p.frame;
  }

  // A made object has only its own frame: keying gives it one track of that frame, its own.
  RunCommand(kMakeObjectCube, {3, 1.0f});
  RunCommand(kSetObjectKeyframe, {3, 5});
  const AnimationTrack* own = ObjectAt(ObjectSlotForNumber(3))->model->Tracks()->first;
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->next, nullptr);
  EXPECT_EQ(own->frameId, 0);
  EXPECT_EQ(own->rotationKeyCount, 2u);
  RunCommand(kPlayObject, {3});
  EXPECT_EQ(TakeError(), 0);

  // Appending to a model without animation: the walk lands at the offset.
  RunCommand(kLoadObject, {WriteStillX(folder).c_str(), 4});
  const std::string walk = WriteAnimatedX(folder);
  RunCommand(kAppendObjectAnimation, {walk.c_str(), walk.c_str(), 4, 10});
  EXPECT_EQ(IntValue(kTotalObjectFrames, {4}), 20);
  EXPECT_EQ(TakeError(), 0);
}

// The range forms: play from a frame to the end, play a range once, loop from a frame to the
// end (looping keeps the current frame and wraps to the start frame).
TEST_F(AnimationTest, RangeFormsPlayAndLoopTheirFrames) {
  RunCommand(kSetObjectSpeed, {1, 100});  // four frames a sync
  RunCommand(kPlayObjectFrom, {1, 3});
  EXPECT_EQ(FloatValue(kObjectFrame, {1}), 3.0f);
  const struct {
    int command;
    std::initializer_list<Arg> args;
    std::vector<float> frames;  // after each sync
    int playingAfter, looping;
  } cases[] = {
      {kPlayObjectFrom, {1, 3}, {7, 10, 10}, 0, 0},
      {kPlayObjectRange, {1, 1, 6}, {5, 6}, 0, 0},
      {kLoopObjectFrom, {1, 8}, {10, 8, 8}, 1, 1},  // from 6, where the range above stopped
  };
  for (const auto& c : cases) {
    RunCommand(c.command, c.args);
    EXPECT_EQ(TakeError(), 0);
    EXPECT_EQ(IntValue(kObjectLooping, {1}), c.looping) << c.command;
    for (float frame : c.frames) {
      AnimateObjects();
      EXPECT_EQ(FloatValue(kObjectFrame, {1}), frame) << c.command;
    }
    EXPECT_EQ(IntValue(kObjectPlaying, {1}), c.playingAfter) << c.command;
  }
  RunCommand(kMakeObjectCube, {2, 1.0f});
  ExpectErrors({{kPlayObjectFrom, {2, 1}, 7601}, {kPlayObjectRange, {2, 1, 2}, 7601}, {kLoopObjectFrom, {2, 1}, 7601},
                {kLoopObjectFrom, {3, 1}, 7008}});
}

// A saved animation holds the object's keys: appended to the object again past its end, it
// poses the limb as the original did.
TEST_F(AnimationTest, SavedAnimationAppendsAsTheOriginal) {
  const std::string saved = folder.Path("saved.x");
  RunCommand(kSaveObjectAnimation, {saved.c_str(), 1});
  EXPECT_EQ(TakeError(), 0);
  RunCommand(kAppendObjectModel, {saved.c_str(), 1, 20});
  ASSERT_EQ(TakeError(), 0);
  EXPECT_EQ(IntValue(kTotalObjectFrames, {1}), 30);
  RunCommand(kLoopObject, {1});
  RunCommand(kSetObjectSpeed, {1, 0});
  for (const auto& [frame, x] : {std::pair{20.0f, 0.0f}, {25.0f, 5.0f}, {30.0f, 10.0f}}) {
    RunCommand(kSetObjectFrame, {1, frame});
    AnimateObjects();
    EXPECT_NEAR(LimbPose().m[3][0], x, 1e-4) << frame;
  }
  // No object: nothing is written; a number out of range is an error.
  const std::string none = folder.Path("none.x");
  RunCommand(kSaveObjectAnimation, {none.c_str(), 9});
  EXPECT_EQ(TakeError(), 0);
  EXPECT_FALSE(std::ifstream(none).good());
  RunCommand(kSaveObjectAnimation, {none.c_str(), 0});
  EXPECT_EQ(TakeError(), 7006);
}

// A save replaces the file whole: a link planted at the old temporary name ("NAME.part") is
// left alone and the saved name stays a plain file; a full disk keeps the old file and the
// error names the file and the reason.
TEST_F(AnimationTest, SavingNeverWritesThroughALinkAndAFullDiskSaysSo) {
  const std::string saved = folder.Path("saved.x"), victim = folder.Path("victim.txt");
  WriteFile(victim, "keep me");
  std::filesystem::create_symlink(victim, saved + ".part");
  RunCommand(kSaveObjectAnimation, {saved.c_str(), 1});
  EXPECT_EQ(TakeError(), 0);
  EXPECT_EQ(ReadFileText(victim), "keep me");
  EXPECT_FALSE(std::filesystem::is_symlink(saved));
  EXPECT_NE(ReadFileText(saved).find("AnimationSet"), std::string::npos);
  SmallDisk disk("64k");
  if (!disk.Ready()) GTEST_SKIP() << disk.Why();
  const std::string full = disk.Path() + "/walk.x";
  WriteFile(full, "old walk");
  disk.Fill();
  RunCommand(kSaveObjectAnimation, {full.c_str(), 1});
  EXPECT_EQ(TakeError(), 106);
  EXPECT_EQ(std::string(LastEngineError()), "cannot write " + full + ": No space left on device");
  EXPECT_EQ(ReadFileText(full), "old walk");
  EXPECT_EQ(disk.EntryCount(), 2u);
}

// A made object keys its own place and turn: the keys play, the saved file holds them, and
// the file loaded as another object or appended to this one plays the same keys. The
// command reference's example: key 0, a quarter turn, key 20.
TEST_F(AnimationTest, AnObjectsOwnKeysPlaySaveAndLoadBack) {
  RunCommand(kMakeObjectCube, {3, 10.0f});
  RunCommand(kSetObjectKeyframe, {3, 0});
  RunCommand(kYRotateObject, {3, 90.0f});
  RunCommand(kSetObjectKeyframe, {3, 20});
  RunCommand(kPositionObject, {3, 20.0f, 0.0f, 0.0f});
  RunCommand(kSetObjectKeyframe, {3, 40});
  EXPECT_EQ(IntValue(kTotalObjectFrames, {3}), 40);
  const std::string saved = folder.Path("turn.x");
  RunCommand(kSaveObjectAnimation, {saved.c_str(), 3});
  ASSERT_EQ(TakeError(), 0);
  EXPECT_NE(ReadFileText(saved).find("AnimationKey"), std::string::npos) << ReadFileText(saved);
  RunCommand(kLoadObject, {saved.c_str(), 4});
  ASSERT_EQ(TakeError(), 0);
  EXPECT_EQ(IntValue(kTotalObjectFrames, {4}), 40);
  RunCommand(kAppendObjectModel, {saved.c_str(), 3, 41});  // the keys again from frame 41
  ASSERT_EQ(TakeError(), 0);
  EXPECT_EQ(IntValue(kTotalObjectFrames, {3}), 81);

  const struct {
    int object;
    float frame, angleY, x;
  } poses[] = {{3, 0, 0, 0},   {3, 10, 45, 0},  {3, 20, 90, 0},  {3, 30, 90, 10},
               {3, 51, 45, 0}, {3, 81, 90, 20}, {4, 10, 45, 0},  {4, 30, 90, 10}};
  for (const auto& p : poses) {
    RunCommand(kLoopObject, {p.object});
    RunCommand(kSetObjectSpeed, {p.object, 0});
    RunCommand(kSetObjectFrame, {p.object, p.frame});
    AnimateObjects();
    EXPECT_NEAR(FloatValue(kObjectAngleY, {p.object}), p.angleY, 1e-2) << p.object << " at " << p.frame;
    EXPECT_NEAR(FloatValue(kObjectPositionX, {p.object}), p.x, 1e-3) << p.object << " at " << p.frame;
  }
  EXPECT_EQ(TakeError(), 0);

  // Played to its end, the object stays there, and the program may move it on from there.
  RunCommand(kSetObjectSpeed, {4, 100});
  RunCommand(kPlayObject, {4});
  for (int sync = 0; sync < 12; ++sync) AnimateObjects();
  EXPECT_EQ(IntValue(kObjectPlaying, {4}), 0);
  EXPECT_NEAR(FloatValue(kObjectPositionX, {4}), 20.0f, 1e-3);
  RunCommand(kPositionObject, {4, 50.0f, 0.0f, 0.0f});
  AnimateObjects();
  EXPECT_EQ(FloatValue(kObjectPositionX, {4}), 50.0f);
  // Asked to play again, it is placed by its keys, at the frame it stands at too.
  RunCommand(kSetObjectSpeed, {4, 0});
  RunCommand(kLoopObject, {4});
  AnimateObjects();
  EXPECT_NEAR(FloatValue(kObjectPositionX, {4}), 20.0f, 1e-3);
}
