// Collision boxes: the push-out's face choice and its tie rule, touching faces, reversed
// corners, and the walk of a moving sphere (hit, miss, grazing, vertical moves, a start inside a
// box, the step value).
#include "tests/static_world/static_fixtures.h"

namespace {

struct PushCase {
  const char* what;
  float before[6], after[6];
  int32_t result;
  float response[3];
};

}  // namespace

TEST_F(StaticWorldTest, PushOutChoosesTheFaceTheBoxCameThrough) {
  float response[3] = {9, 9, 9};
  const float any[6] = {0, 0, 0, 1, 1, 1};
  EXPECT_EQ(PushBoxOutOfStaticBoxes(any, any, response), 0);  // no boxes
  EXPECT_EQ(response[0], 0.0f);
  AddStaticCollisionBox(10, 0, 0, 20, 10, 10);
  const PushCase cases[] = {
      {"from the low-x side", {7, 2, 2, 9, 4, 4}, {9, 2, 2, 11, 4, 4}, 1, {1, 0, 0}},
      {"from the high-x side", {21, 2, 2, 23, 4, 4}, {19, 2, 2, 21, 4, 4}, 1, {-1, 0, 0}},
      {"from above", {12, 11, 2, 14, 13, 4}, {12, 9, 2, 14, 11, 4}, 1, {0, -1, 0}},
      {"from the low-z side", {12, 2, -3, 14, 4, -1}, {12, 2, -1, 14, 4, 1}, 1, {0, 0, 1}},
      {"touching a face counts", {5, 2, 2, 8, 4, 4}, {7, 2, 2, 10, 4, 4}, 1, {0, 0, 0}},
      {"apart", {0, 0, 0, 1, 1, 1}, {0, 0, 0, 1, 1, 1}, 0, {0, 0, 0}},
      // Depth 1 to the low-x face and to the high-y face: the earlier face (x) holds.
      {"tie keeps low x", {8, 11, 2, 9, 12, 4}, {10.5f, 9, 2, 11.5f, 10, 4}, 1, {1.5f, 0, 0}},
  };
  for (const PushCase& c : cases) {
    EXPECT_EQ(PushBoxOutOfStaticBoxes(c.before, c.after, response), c.result) << c.what;
    for (int axis = 0; axis < 3; ++axis) EXPECT_FLOAT_EQ(response[axis], c.response[axis]) << c.what << " axis " << axis;
  }
}

TEST_F(StaticWorldTest, ReversedCornersMakeTheSameBox) {
  AddStaticCollisionBox(20, 10, 10, 10, 0, 0);
  const CollisionBox& box = GetStaticWorld().boxes[0];
  EXPECT_EQ(box.x1, 10.0f);
  EXPECT_EQ(box.y2, 10.0f);
  float response[3];
  const float before[6] = {7, 2, 2, 9, 4, 4}, after[6] = {9, 2, 2, 11, 4, 4};
  EXPECT_EQ(PushBoxOutOfStaticBoxes(before, after, response), 1);
}

struct WalkCase {
  const char* what;
  float start[3], end[3], radius, step;
  int32_t result;
  float response[3];
};

TEST_F(StaticWorldTest, AMovingSphereStopsAtTheLastFreePoint) {
  float response[3];
  const float origin[3] = {0, 0, 0}, ahead[3] = {0, 0, 30};
  EXPECT_EQ(QueryStaticBoxes(origin, ahead, 1, 1, response), 0);  // no boxes: the start
  EXPECT_EQ(response[2], 0.0f);
  AddStaticCollisionBox(-5, -5, 10, 5, 5, 20);
  const WalkCase cases[] = {
      {"hit", {0, 0, 0}, {0, 0, 30}, 1, 1, 1, {0, 0, 8}},
      {"miss beside it", {10, 0, 0}, {10, 0, 30}, 1, 1, 0, {10, 0, 0}},
      {"grazing with the radius", {6, 0, 0}, {6, 0, 30}, 1, 1, 1, {6, 0, 8}},
      {"vertical move takes no step", {0, -30, 15}, {0, 30, 15}, 1, 1, 0, {0, -30, 15}},
      {"starting inside is not reported", {0, 0, 15}, {0, 0, 40}, 1, 1, 0, {0, 0, 15}},
      {"a step of 0 is taken as 1", {0, 0, 0}, {0, 0, 30}, 1, 0, 1, {0, 0, 8}},
      // Four steps of 4 units cover the whole segment (four steps of one unit would stop at 4).
      {"a larger step still covers the segment", {0, 0, 0}, {0, 0, 16}, 1, 4, 1, {0, 0, 8}},
      {"the box lies in the second half", {0, 0, -40}, {0, 0, 12}, 1, 2, 1, {0, 0, 8}},
  };
  for (const WalkCase& c : cases) {
    EXPECT_EQ(QueryStaticBoxes(c.start, c.end, c.radius, c.step, response), c.result) << c.what;
    for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(response[axis], c.response[axis], 1e-4f) << c.what << " axis " << axis;
  }
}

// Starting inside one box and entering another later: reported, and the answer is the start.
TEST_F(StaticWorldTest, EnteringASecondBoxFromInsideTheFirstGivesTheStart) {
  AddStaticCollisionBox(-5, -5, -5, 5, 5, 5);
  AddStaticCollisionBox(-5, -5, 20, 5, 5, 30);
  float response[3];
  const float start[3] = {0, 0, 0}, end[3] = {0, 0, 40};
  EXPECT_EQ(QueryStaticBoxes(start, end, 1, 1, response), 1);
  EXPECT_NEAR(response[2], 0.0f, 1e-5f);
}
