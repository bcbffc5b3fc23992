// Culling: the view volume (behind the camera, past the far plane, the near rule, the vertical
// extent of a projection that is not square), occluders hiding what lies behind them, the
// occlusion switch, and object meshes following the level mesh that encloses them.
#include "tests/static_world/static_fixtures.h"

namespace {

uint8_t VisibleAt(size_t group, size_t mesh) { return GetStaticWorld().groups[group].meshes[mesh]->visible; }

}  // namespace

TEST_F(StaticWorldTest, TheViewVolumeRejectsWhatCannotBeSeen) {
  struct {
    const char* what;
    float x, y, z, half;
    uint8_t visible;
  } cases[] = {
      {"ahead", 0, 0, 100, 1, 1},
      {"behind the camera", 0, 0, -100, 1, 0},
      {"beyond the far plane", 0, 0, 3100, 1, 0},
      {"far to the side", 500, 0, 100, 1, 0},
      {"to the side but nearer than 20", 40, 0, 15, 1, 1},
      {"above the screen", 0, 80, 100, 1, 0},
      // Its sphere reaches into the screen from above: the vertical test must use the
      // vertical extent (the horizontal one is 3:4 of it on a 4:3 screen, and misses).
      {"reaching down into the screen", 0, 96, 100, 20, 1},
  };
  for (const auto& c : cases) ASSERT_TRUE(AddMesh(BoxMesh(c.x, c.y, c.z, c.half, c.half, c.half), 0)) << c.what;
  CullStaticWorld(FrontView());
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(VisibleAt(0, i), cases[i].visible) << cases[i].what;
}

TEST_F(StaticWorldTest, AnOccluderHidesWhatLiesWhollyBehindIt) {
  ASSERT_TRUE(AddMesh(BoxMesh(0, 0, 100, 200, 200, 5), 0, 0, true));  // a wall
  ASSERT_TRUE(AddMesh(BoxMesh(0, 0, 400, 5, 5, 5), 0));               // behind it
  ASSERT_TRUE(AddMesh(BoxMesh(0, 0, 50, 5, 5, 5), 0));                // in front of it
  StaticView view = FrontView();
  CullStaticWorld(view);
  EXPECT_EQ(VisibleAt(0, 0), 1);
  EXPECT_EQ(VisibleAt(0, 1), 0);
  EXPECT_EQ(VisibleAt(0, 2), 1);
  EXPECT_EQ(GetStaticWorld().groups[0].meshes[0]->activeOccluder, 1);
  view.occlusion = false;
  CullStaticWorld(view);
  EXPECT_EQ(VisibleAt(0, 1), 1);
  // Turned away (the wall's centre behind the camera) it hides nothing.
  MatrixRotationY(view.camera, 3.14159265f);
  view.occlusion = true;
  CullStaticWorld(view);
  EXPECT_EQ(GetStaticWorld().groups[0].meshes[0]->activeOccluder, 0);
}

// Two walls side by side each cover half of a mesh behind them: the first shrinks its
// rectangle, the second hides the rest.
TEST_F(StaticWorldTest, TwoOccludersTogetherHideAMesh) {
  ASSERT_TRUE(AddMesh(BoxMesh(-60, 0, 100, 60, 200, 5), 0, 0, true));
  ASSERT_TRUE(AddMesh(BoxMesh(60, 0, 100, 60, 200, 5), 0, 0, true));
  ASSERT_TRUE(AddMesh(BoxMesh(0, 0, 400, 20, 20, 20), 0));
  CullStaticWorld(FrontView());
  EXPECT_EQ(VisibleAt(0, 2), 0);
}

TEST_F(StaticWorldTest, ObjectMeshesFollowTheLevelMeshAroundThem) {
  ASSERT_TRUE(AddMesh(BoxMesh(0, 0, 100, 30, 30, 30), 0));       // a room
  ASSERT_TRUE(AddMesh(BoxMesh(0, 0, 100, 2, 2, 2), 1, 5));       // a crate in it
  ASSERT_TRUE(AddMesh(BoxMesh(0, 0, 1000, 2, 2, 2), 1, 6));      // a crate in no room
  ASSERT_TRUE(AddMesh(BoxMesh(-5001, 0, 100, 2, 2, 2), 1, 7));   // far to the left: no room sought
  StaticView view = FrontView();
  CullStaticWorld(view);
  EXPECT_EQ(VisibleAt(1, 0), 1);
  EXPECT_EQ(VisibleAt(1, 1), 0);
  EXPECT_EQ(VisibleAt(1, 2), 0);
  MatrixRotationY(view.camera, 3.14159265f);  // the room out of view: the crate goes with it
  CullStaticWorld(view);
  EXPECT_EQ(VisibleAt(0, 0), 0);
  EXPECT_EQ(VisibleAt(1, 0), 0);
}

TEST_F(StaticWorldTest, TheOccluderBoxLiesInsideTheMesh) {
  ASSERT_TRUE(AddMesh(BoxMesh(10, 20, 30, 4, 2, 1), 0, 0, true));
  const StaticMesh& mesh = *GetStaticWorld().groups[0].meshes[0];
  EXPECT_FLOAT_EQ(mesh.occluderCorners[0][0], -4.0f);  // a box's corners are its own vertices
  EXPECT_FLOAT_EQ(mesh.occluderCorners[7][1], 2.0f);
  EXPECT_FLOAT_EQ(mesh.occluderCorners[5][2], 1.0f);
  // All vertices on one side in x: lo.x takes hi.x.
  TestMesh flat = FanMesh(3, 0, 0, 50, 1);
  for (size_t i = 0; i < flat.positions.size(); i += 3) flat.positions[i] = 5.0f;
  ASSERT_TRUE(AddMesh(flat, 0, 0, true));
  const StaticMesh& side = *GetStaticWorld().groups[0].meshes[1];
  EXPECT_EQ(side.occluderCorners[0][0], side.occluderCorners[4][0]);
}
