// Objects, the broad phase and the test pass through the flat calls: pair sets against brute
// force, response lookup, the kinds of contact data, and the mends for reused keys and bad input.
#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

#include "tests/collision/collision_test_util.h"

using namespace coll;

namespace {

struct Call {
  uintptr_t data;
  uint32_t key1, key2;
  bool hasData;
  CollisionData contact;
};
std::vector<Call> calls;

void Record(uintptr_t data, uint32_t key1, uint32_t key2, const CollisionData* contact) {
  calls.push_back({data, key1, key2, contact != nullptr, contact ? *contact : CollisionData{}});
}

class CollisionObjects : public CollisionFixture {
 protected:
  void SetUp() override {
    CollisionFixture::SetUp();
    calls.clear();
  }
  void Place(uint32_t key, double x, double y, double z) {
    CollSelectObject(key);
    CollResetObjectTransform();
    CollTranslateObject(x, y, z);
  }
};

std::set<std::pair<uint32_t, uint32_t>> Unordered(
    const std::vector<std::pair<uint32_t, uint32_t>>& pairs) {
  std::set<std::pair<uint32_t, uint32_t>> out;
  for (auto [a, b] : pairs) out.insert({std::min(a, b), std::max(a, b)});
  return out;
}

}  // namespace

// Objects on a half-unit grid, so complex cubes (boxes without margin) often touch exactly.
TEST_F(CollisionObjects, BroadPhaseMatchesBruteForceAfterRandomMoves) {
  std::vector<Vector3d> corners = CubeCorners(1);
  CollShape* shapes[] = {Keep(CollCreateBox(2, 3, 1.5)), Keep(CollCreateSphere(1.2)),
                         Keep(BuildCubeMesh(corners))};
  constexpr uint32_t kObjects = 24;
  std::vector<Vector3d> where(kObjects);
  std::mt19937 rng(11);
  auto gridValue = [&rng] { return 0.5 * static_cast<double>(rng() % 17); };
  for (uint32_t key = 0; key < kObjects; ++key) {
    CollCreateObject(key, shapes[key % 3]);
    where[key] = {gridValue(), gridValue(), gridValue() * 0.3};
    CollTranslateObject(where[key].x, where[key].y, where[key].z);
  }
  for (int move = 1; move <= 300; ++move) {
    uint32_t key = rng() % kObjects;
    where[key] = {gridValue(), gridValue(), gridValue() * 0.3};
    Place(key, where[key].x, where[key].y, where[key].z);
    if (move % 50 != 0) continue;
    CollSetPairListFlag();  // moves the current object too
    std::set<std::pair<uint32_t, uint32_t>> want;
    for (uint32_t i = 0; i < kObjects; ++i)
      for (uint32_t j = i + 1; j < kObjects; ++j) {
        Transform3d ti, tj;
        TransformTranslate(ti, where[i]);
        TransformTranslate(tj, where[j]);
        if (BoxesOverlap(shapes[i % 3]->Bound(ti), shapes[j % 3]->Bound(tj))) want.insert({i, j});
      }
    ASSERT_FALSE(want.empty());
    ASSERT_EQ(Unordered(BroadPhasePairs()), want) << "after move " << move;
  }
}

// Random makes, moves (small steps, long jumps, whole crowds at once) and deletes, with the
// pairs compared to every pair of boxes after each step: objects enter the lists at their
// places, crowds are placed again in one sweep, and deletes drop exactly their own pairs.
TEST_F(CollisionObjects, BroadPhaseMatchesBruteForceThroughMakesMovesAndDeletes) {
  std::vector<Vector3d> corners = CubeCorners(1);
  CollShape* shapes[] = {Keep(CollCreateBox(2, 3, 1.5)), Keep(CollCreateSphere(1.2)),
                         Keep(BuildCubeMesh(corners))};
  struct Placed {
    int shape;
    Vector3d where;
  };
  std::map<uint32_t, Placed> live;
  std::mt19937 rng(5);
  auto gridValue = [&rng] { return 0.5 * static_cast<double>(rng() % 25); };
  auto place = [&](uint32_t key, Vector3d where) {
    live[key].where = where;
    CollSelectObject(key);
    CollResetObjectTransform();
    CollTranslateObject(where.x, where.y, where.z);
    CollSelectObject(key);  // settles this object's move into the pending ones
  };
  for (int step = 1; step <= 2000; ++step) {
    const uint32_t key = 1 + rng() % 80;
    const unsigned action = rng() % 16;
    if (action < 4 || !live.count(key)) {  // make (a reused key replaces its object)
      const int shape = static_cast<int>(rng() % 3);
      CollCreateObject(key, shapes[shape]);
      live[key] = {shape, {0, 0, 0}};
      if (rng() % 4 != 0) place(key, {gridValue(), gridValue(), gridValue() * 0.3});
      else CollSelectObject(key);  // stays at the identity
    } else if (action < 6) {
      CollDeleteObject(key);
      live.erase(key);
    } else if (action < 7) {  // a crowd moves at once, most of it far
      for (auto& [other, placed] : live)
        place(other, {placed.where.x + (rng() % 2 ? 40.0 : -40.0), gridValue(), placed.where.z});
    } else if (action < 9) {  // a long jump across the others
      place(key, {live[key].where.x + (rng() % 2 ? 30.0 : -30.0), gridValue(), gridValue() * 0.3});
    } else {
      const Vector3d& w = live[key].where;
      place(key, {w.x + 0.5 * static_cast<double>(rng() % 5) - 1, w.y + 0.5 * static_cast<double>(rng() % 5) - 1, w.z});
    }
    if (step % 20 != 0) continue;
    std::vector<std::pair<uint32_t, uint32_t>> want;
    for (auto i = live.begin(); i != live.end(); ++i)
      for (auto j = std::next(i); j != live.end(); ++j) {
        Transform3d ti, tj;
        TransformTranslate(ti, i->second.where);
        TransformTranslate(tj, j->second.where);
        if (!BoxesOverlap(shapes[i->second.shape]->Bound(ti), shapes[j->second.shape]->Bound(tj))) continue;
        // A complex shape comes first, else the lower key.
        const bool complexSecond = shapes[j->second.shape]->ShapeKind() < shapes[i->second.shape]->ShapeKind();
        want.push_back(complexSecond ? std::pair{j->first, i->first} : std::pair{i->first, j->first});
      }
    std::sort(want.begin(), want.end());
    ASSERT_EQ(BroadPhasePairs(), want) << "after step " << step;
  }
}

TEST_F(CollisionObjects, TouchingBoxesPairAndJumpsLeaveNoPair) {
  std::vector<Vector3d> corners = CubeCorners(1);
  CollShape* cube = Keep(BuildCubeMesh(corners));
  CollCreateObject(1, cube);
  CollCreateObject(2, cube);
  CollCreateObject(3, cube);
  Place(1, 0, 0, 0);
  Place(2, 2, 0, 0);  // faces at x = 1 touch
  Place(3, -5, 0, 0);
  CollSetPairListFlag();
  EXPECT_EQ(Unordered(BroadPhasePairs()), (std::set<std::pair<uint32_t, uint32_t>>{{1, 2}}));
  Place(2, -9, 0, 0);  // over object 1 and past object 3's far side in one move
  Place(3, 5, 0, 0);   // from below object 1 to beyond it in one move
  CollSetPairListFlag();
  EXPECT_TRUE(BroadPhasePairs().empty());
  Place(3, 1.5, 0.5, 0);
  CollSetPairListFlag();
  EXPECT_EQ(Unordered(BroadPhasePairs()), (std::set<std::pair<uint32_t, uint32_t>>{{1, 3}}));
}

TEST_F(CollisionObjects, AllPairsWalkInKeyOrder) {
  CollShape* ball = Keep(CollCreateSphere(1));
  CollClearPairListFlag();
  CollSetDefaultResponse(Record, kCollResponseSimple, 77);
  for (uint32_t key : {4u, 2u, 3u, 1u}) {
    CollCreateObject(key, ball);
    CollTranslateObject(0.1 * key, 0, 0);
  }
  EXPECT_EQ(CollTestAllPairs(), 6);
  const std::pair<uint32_t, uint32_t> order[] = {{1, 2}, {1, 3}, {2, 3}, {1, 4}, {2, 4}, {3, 4}};
  ASSERT_EQ(calls.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(std::pair(calls[i].key1, calls[i].key2), order[i]);
    EXPECT_EQ(calls[i].data, 77u);
    EXPECT_FALSE(calls[i].hasData);
  }
  // The pair-list walk gives the same count once the objects are in the broad phase.
  CollSetPairListFlag();
  EXPECT_EQ(CollTestAllPairs(), 6);
  // Apart, nothing fires.
  Place(4, 50, 0, 0);
  EXPECT_EQ(CollTestAllPairs(), 3);
}

TEST_F(CollisionObjects, ResponsePrecedence) {
  CollShape* ball = Keep(CollCreateSphere(1));
  CollClearPairListFlag();
  CollCreateObject(1, ball);
  CollCreateObject(2, ball);
  // Each level is set, then dropped: pair > key 1 > key 2 > default.
  CollSetDefaultResponse(Record, kCollResponseSimple, 1);
  CollSetObjectResponse(2, Record, kCollResponseSimple, 3);
  CollSetObjectResponse(1, Record, kCollResponseSimple, 2);
  CollSetPairResponse(2, 1, Record, kCollResponseSimple, 4);
  for (uintptr_t want : {4u, 2u, 3u, 1u}) {
    calls.clear();
    EXPECT_EQ(CollTestAllPairs(), 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].data, want);
    if (want == 4) CollDropPairResponse(1, 2);
    if (want == 2) CollDropObjectResponse(1);
    if (want == 3) CollDropObjectResponse(2);
  }
  // A cleared entry still overrides: the pair is not tested.
  CollClearPairResponse(1, 2);
  EXPECT_EQ(CollTestAllPairs(), 0);
  CollDropPairResponse(1, 2);
  // Kind 0 on key 5 silences its pairs whether it is first or second, while the other key has
  // no entry of its own.
  CollCreateObject(5, ball);
  CollSetObjectResponse(5, Record, kCollResponseNone, 9);
  calls.clear();
  EXPECT_EQ(CollTestAllPairs(), 1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(std::pair(calls[0].key1, calls[0].key2), std::pair(1u, 2u));
}

TEST_F(CollisionObjects, DeletingAnObjectDropsItsResponses) {
  CollShape* ball = Keep(CollCreateSphere(1));
  CollClearPairListFlag();
  CollSetDefaultResponse(Record, kCollResponseSimple, 1);
  CollCreateObject(1, ball);
  CollCreateObject(2, ball);
  CollSetObjectResponse(2, Record, kCollResponseNone, 0);
  CollSetPairResponse(1, 9, Record, kCollResponseNone, 0);  // key 9 has no object yet
  EXPECT_EQ(CollTestAllPairs(), 0);
  CollDeleteObject(2);
  CollDeleteObject(9);  // no object, but its pair response goes
  EXPECT_EQ(CollTestAllPairs(), 0);
  CollCreateObject(2, ball);
  CollCreateObject(9, ball);
  EXPECT_EQ(CollTestAllPairs(), 3);  // default for (1,2), (1,9), (2,9)
}

TEST_F(CollisionObjects, ContactDataOfKindsTwoAndThree) {
  CollShape* ball = Keep(CollCreateSphere(1));
  CollClearPairListFlag();
  CollCreateObject(1, ball);
  CollCreateObject(2, ball);
  CollTranslateObject(3, 0, 0);
  CollProceed();  // committed: 0 and 3 apart
  Place(2, 1.5, 0, 0);

  CollSetDefaultResponse(Record, kCollResponseCommonPoint, 0);
  ASSERT_EQ(CollTestAllPairs(), 1);
  ASSERT_TRUE(calls[0].hasData);
  const CollisionData& common = calls[0].contact;
  EXPECT_LE(LengthSquared(common.point1), 1 + 1e-9);
  EXPECT_LE(LengthSquared(common.point2), 1 + 1e-9);
  EXPECT_NEAR(common.point1.x, common.point2.x + 1.5, 1e-9);
  EXPECT_TRUE(PointsEqual(common.vector, {0, 0, 0}));

  calls.clear();
  CollSetDefaultResponse(Record, kCollResponseClosestPoints, 0);
  ASSERT_EQ(CollTestAllPairs(), 1);
  const CollisionData& closest = calls[0].contact;  // under the committed transforms
  EXPECT_NEAR(closest.point1.x, 1, 1e-6);
  EXPECT_NEAR(closest.point2.x, -1, 1e-6);
  EXPECT_NEAR(closest.vector.x, -1, 1e-6);

  // Complex first: the intersecting triangle's closest points use the committed vertex array.
  std::vector<Vector3d> corners = CubeCorners(1), shifted = CubeCorners(1);
  for (auto& p : shifted) p.x += 0.2;
  CollShape* cube = Keep(BuildCubeMesh(corners));
  CollDeleteObject(1);
  CollDeleteObject(2);
  CollCreateObject(10, Keep(CollCreateSphere(0.5)));
  CollTranslateObject(2, 0.6, -0.4);  // well inside one triangle of the +x face
  CollCreateObject(20, cube);
  CollProceed();  // sphere committed at x = 2, cube face at x = 1
  CollChangeVertexBase(cube, shifted.data(), 8);  // face now at 1.2
  Place(10, 1.6, 0.6, -0.4);                      // overlaps the shifted face only
  calls.clear();
  ASSERT_EQ(CollTestAllPairs(), 1);
  EXPECT_EQ(std::pair(calls[0].key1, calls[0].key2), std::pair(20u, 10u));
  EXPECT_NEAR(calls[0].contact.point1.x, 1, 1e-6);
  EXPECT_NEAR(calls[0].contact.vector.x, -0.5, 1e-6);
  EXPECT_EQ(static_cast<Complex*>(cube)->Vertices(), shifted.data());  // swapped back
}

TEST_F(CollisionObjects, ReusedKeyReplacesTheObjectCompletely) {
  CollShape* first = CollCreateSphere(1);
  CollShape* ball = Keep(CollCreateSphere(1));
  CollSetDefaultResponse(Record, kCollResponseSimple, 0);
  CollCreateObject(1, first);
  CollCreateObject(2, ball);
  CollSetObjectResponse(1, Record, kCollResponseNone, 0);
  CollSetPairListFlag();
  ASSERT_EQ(BroadPhasePairs().size(), 1u);
  CollCreateObject(1, ball);  // the earlier object, its pair and its response go
  EXPECT_TRUE(BroadPhasePairs().empty());
  CollDeleteShape(first);     // nothing refers to it any more
  EXPECT_EQ(CollTestAllPairs(), 1);
  CollTranslateObject(10, 0, 0);
  EXPECT_EQ(CollTestAllPairs(), 0);
}

// A callback that deletes objects and moves others while the pass runs.
void DeleteDuringPass(uintptr_t, uint32_t key1, uint32_t key2, const CollisionData*) {
  calls.push_back({0, key1, key2, false, {}});
  CollDeleteObject(key1);
  CollDeleteObject(key2 + 1);
  CollSelectObject(key2);
  CollTranslateObject(100, 0, 0);
}

TEST_F(CollisionObjects, BadInputAndReentrantCallbacksAreHarmless) {
  CollShape* ball = Keep(CollCreateSphere(1));
  CollSetDefaultResponse(Record, kCollResponseCommonPoint, 0);
  float nanMatrix[16] = {1, 0, 0, 0, 0, NAN, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float hugeMatrix[16] = {1e30f, 0, 0, 0, 0, 1e30f, 0, 0, 0, 0, 1e30f, 0, 3e38f, 0, 0, 1};
  for (bool pairList : {true, false}) {
    SCOPED_TRACE(pairList);
    CollReset();
    pairList ? CollSetPairListFlag() : CollClearPairListFlag();
    CollSetDefaultResponse(Record, kCollResponseCommonPoint, 0);
    CollCreateObject(1, ball);
    CollCreateObject(2, ball);
    CollSetObjectMatrix(nanMatrix);
    CollCreateObject(3, ball);
    CollSetObjectMatrix(hugeMatrix);
    CollCreateObject(4, ball);
    CollScaleObject(0, 0, 0);
    CollRotateObject(0, 0, 0, 0);
    EXPECT_EQ(CollTestAllPairs(), 1);  // only (1, 4): the flattened ball still touches
    Place(3, 0, 0, 0);
    EXPECT_GE(CollTestAllPairs(), 2);
  }
  // A box made with negative sizes is the box of their magnitudes: it pairs with both balls over
  // it, one of them moved and mirrored; a complex shape without triangles meets nothing. (Both
  // gave boxes turned inside out, which broke the sweep.)
  CollShape* inverted = Keep(CollCreateBox(-2, -2, -2));
  CollShape* empty = Keep(CollBeginComplex());
  CollEndComplex();
  for (bool pairList : {true, false}) {
    SCOPED_TRACE(pairList);
    CollReset();
    pairList ? CollSetPairListFlag() : CollClearPairListFlag();
    CollSetDefaultResponse(Record, kCollResponseSimple, 0);
    CollCreateObject(1, inverted);
    CollCreateObject(2, ball);
    CollCreateObject(3, ball);
    CollTranslateObject(1.5, 0, 0);
    CollScaleObject(-1, 1, 1);
    CollCreateObject(4, empty);
    CollTranslateObject(0.5, 0, 0);
    EXPECT_EQ(CollTestAllPairs(), 3);
  }
  // Callbacks that delete and move objects mid-pass, in both walks.
  for (bool pairList : {true, false}) {
    CollReset();
    calls.clear();
    CollSetDefaultResponse(DeleteDuringPass, kCollResponseSimple, 0);
    for (uint32_t key = 1; key <= 6; ++key) CollCreateObject(key, ball);
    pairList ? CollSetPairListFlag() : CollClearPairListFlag();
    CollTestAllPairs();
    EXPECT_FALSE(calls.empty());
  }
  // A shape deleted while an object still uses it takes the object along.
  CollReset();
  CollShape* doomed = CollCreateSphere(1);
  CollCreateObject(1, doomed);
  CollCreateObject(2, ball);
  CollDeleteShape(doomed);
  CollSetPairListFlag();
  EXPECT_EQ(CollTestAllPairs(), 0);
  // Transform calls with no current object do nothing.
  CollDeleteObject(2);
  CollSetObjectMatrix(nanMatrix);
  CollTranslateObject(1, 1, 1);
}

TEST_F(CollisionObjects, BuildingComplexShapes) {
  // A second begin returns the shape under construction.
  CollShape* shape = Keep(CollBeginComplex());
  EXPECT_EQ(CollBeginComplex(), shape);
  // Points: 21 distinct, then the first again (21 back: added anew) and the 21st (found).
  for (int i = 0; i < 21; ++i) CollAddVertex(i, 0, 0);
  CollAddVertex(0, 0, 0);
  CollAddVertex(20, 0, 0);
  CollBeginPolytope(kCollPolyhedron);
  CollEndPolytope();  // 23 indices: 0..20, 21, 20
  CollAddVertexIndex(0);
  CollAddVertexIndex(40);  // beyond the points: refused
  CollBeginPolytope(kCollSimplex);
  CollEndPolytope();
  CollAddPolytopeRange(3, 0, 3);             // no such kind
  CollAddPolytopeRange(kCollSimplex, 20, 5); // runs past the points: refused
  CollAddPolytopeRange(kCollPolygon, 0, 0);  // no points
  CollEndComplex();
  auto* complex = static_cast<Complex*>(shape);
  EXPECT_EQ(complex->VertexCount(), 22u);
  ASSERT_EQ(complex->LeafCount(), 1u);
  const Polytope* p = complex->Leaves()[0].polytope;
  ASSERT_EQ(p->Count(), 23u);
  EXPECT_EQ(p->Index(21), 21u);
  EXPECT_EQ(p->Index(22), 20u);
  // Calls that need a shape under construction do nothing without one.
  CollAddVertex(1, 2, 3);
  CollAddPolytopeRange(kCollSimplex, 0, 3);
  CollEndComplex();
  EXPECT_EQ(CollBeginComplex(), Keep(CollBeginComplex()));
  CollEndComplex();
}
