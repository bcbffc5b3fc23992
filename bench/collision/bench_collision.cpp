// Pair tests per second: 1,000 moving boxes and spheres (broad phase and exact tests, both pass
// modes), and two 1,000-triangle meshes against each other.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "models/collision/collision_local.h"

namespace {

using namespace coll;

int64_t contacts = 0;
void CountContact(uintptr_t, uint32_t, uint32_t, const CollisionData*) { ++contacts; }

struct Mover {
  Vector3d position, velocity;
};

// 1,000 objects (half unit boxes, half spheres) drifting in a 40-unit cube, moved every pass.
void MovingObjects(benchmark::State& state, bool pairList) {
  CollReset();
  CollShape* box = CollCreateBox(1, 1, 1);
  CollShape* ball = CollCreateSphere(0.6);
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> where(0, 40), speed(-0.2, 0.2);
  std::vector<Mover> movers(1000);
  for (uint32_t key = 0; key < movers.size(); ++key) {
    movers[key] = {{where(rng), where(rng), where(rng)}, {speed(rng), speed(rng), speed(rng)}};
    CollCreateObject(key, key % 2 ? box : ball);
  }
  pairList ? CollSetPairListFlag() : CollClearPairListFlag();
  CollSetDefaultResponse(CountContact, kCollResponseSimple, 0);
  int64_t pairTests = 0;
  contacts = 0;
  for (auto _ : state) {
    for (uint32_t key = 0; key < movers.size(); ++key) {
      Mover& m = movers[key];
      m.position = m.position + m.velocity;
      for (int i = 0; i < 3; ++i)
        if (m.position[i] < 0 || m.position[i] > 40) m.velocity[i] = -m.velocity[i];
      CollSelectObject(key);
      CollResetObjectTransform();
      CollTranslateObject(m.position.x, m.position.y, m.position.z);
      CollRotateObject(0.1 * key, 0.2, 0.3, 1);
    }
    pairTests += pairList ? static_cast<int64_t>(coll::BroadPhasePairs().size())
                          : static_cast<int64_t>(movers.size() * (movers.size() - 1) / 2);
    benchmark::DoNotOptimize(CollTestAllPairs());
  }
  state.counters["pair_tests/s"] = benchmark::Counter(static_cast<double>(pairTests),
                                                       benchmark::Counter::kIsRate);
  state.counters["contacts/pass"] =
      benchmark::Counter(static_cast<double>(contacts) / static_cast<double>(state.iterations()));
  CollReset();
  CollDeleteShape(box);
  CollDeleteShape(ball);
}

void BM_MovingBoxesAndSpheres_PairList(benchmark::State& state) { MovingObjects(state, true); }
void BM_MovingBoxesAndSpheres_AllPairs(benchmark::State& state) { MovingObjects(state, false); }
BENCHMARK(BM_MovingBoxesAndSpheres_PairList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MovingBoxesAndSpheres_AllPairs)->Unit(benchmark::kMillisecond);

// A closed sphere mesh of 20 rings x 25 segments x 2 = 1,000 triangles.
std::vector<Vector3d> SpherePoints(double radius) {
  std::vector<Vector3d> points;
  for (int ring = 0; ring <= 20; ++ring) {
    double theta = M_PI * ring / 20;
    for (int seg = 0; seg < 25; ++seg) {
      double phi = 2 * M_PI * seg / 25;
      points.push_back({radius * std::sin(theta) * std::cos(phi), radius * std::cos(theta),
                        radius * std::sin(theta) * std::sin(phi)});
    }
  }
  return points;
}

CollShape* BuildSphereMesh(const std::vector<Vector3d>& points) {
  CollShape* shape = CollBeginComplex();
  CollSetVertexBase(points.data(), static_cast<uint32_t>(points.size()));
  for (uint32_t ring = 0; ring < 20; ++ring)
    for (uint32_t seg = 0; seg < 25; ++seg) {
      uint32_t a = ring * 25 + seg, b = ring * 25 + (seg + 1) % 25;
      uint32_t c = a + 25, d = b + 25;
      const uint32_t t1[] = {a, b, d}, t2[] = {a, d, c};
      CollAddPolytope(kCollSimplex, 3, t1);
      CollAddPolytope(kCollSimplex, 3, t2);
    }
  CollEndComplex();
  return shape;
}

// offset 1.5: the two surfaces cross; offset 0.2 with a smaller second mesh: nested, no contact
// although every box of the outer tree's inner side overlaps the inner mesh's box.
void MeshAgainstMesh(benchmark::State& state, double offset, double secondRadius) {
  CollReset();
  std::vector<Vector3d> pa = SpherePoints(1), pb = SpherePoints(secondRadius);
  CollShape* a = BuildSphereMesh(pa);
  CollShape* b = BuildSphereMesh(pb);
  CollClearPairListFlag();
  CollSetDefaultResponse(CountContact, kCollResponseSimple, 0);
  CollCreateObject(1, a);
  CollCreateObject(2, b);
  contacts = 0;
  double angle = 0;
  for (auto _ : state) {
    angle += 0.01;
    CollSelectObject(2);
    CollResetObjectTransform();
    CollTranslateObject(offset, 0, 0);
    CollRotateObject(std::sin(angle), 0.3, 0, std::cos(angle));
    benchmark::DoNotOptimize(CollTestAllPairs());
  }
  state.counters["pair_tests/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["contacts/pass"] =
      benchmark::Counter(static_cast<double>(contacts) / static_cast<double>(state.iterations()));
  CollReset();
  CollDeleteShape(a);
  CollDeleteShape(b);
}

void BM_Mesh1000VsMesh1000_Crossing(benchmark::State& state) { MeshAgainstMesh(state, 1.5, 1); }
void BM_Mesh1000VsMesh1000_Nested(benchmark::State& state) { MeshAgainstMesh(state, 0.2, 0.7); }
BENCHMARK(BM_Mesh1000VsMesh1000_Crossing)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Mesh1000VsMesh1000_Nested)->Unit(benchmark::kMicrosecond);

}  // namespace
