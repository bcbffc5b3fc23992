// Fuzz target of the collision library: each input is a program of flat calls (shapes, meshes
// with stray indices, objects, raw float matrices, responses, passes) run against the library.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

#include "models/collision/collision.h"

namespace {

// Everything one input made; the library is reset and the shapes freed when it ends.
struct FuzzRun {
  std::vector<CollShape*> shapes;
  std::deque<std::vector<Vector3d>> vertexArrays;  // outlive the shapes that point at them
};
FuzzRun* run = nullptr;

double AnyDouble(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: return in.ConsumeFloatingPoint<double>();  // anything, NaN and infinities included
    case 1: return in.ConsumeFloatingPointInRange<double>(-4, 4);
    case 2: return static_cast<double>(in.ConsumeIntegralInRange(-3, 3));
    default: return 0;
  }
}

// Callbacks that poke at the library mid-pass the way a careless client might; a nested pass
// goes one level deep only.
int nestedPasses = 0;
void Meddle(uintptr_t data, uint32_t key1, uint32_t key2, const CollisionData*) {
  switch (data % 4) {
    case 0: break;
    case 1: CollDeleteObject(key2); break;
    case 2: CollSelectObject(key1); CollTranslateObject(1, 0, 0); break;
    case 3:
      if (nestedPasses == 0) {
        ++nestedPasses;
        CollTestAllPairs();
        --nestedPasses;
      }
      break;
  }
}

CollShape* PickShape(FuzzedDataProvider& in) {
  if (run->shapes.empty()) return nullptr;
  return run->shapes[in.ConsumeIntegralInRange<size_t>(0, run->shapes.size() - 1)];
}

void BuildComplex(FuzzedDataProvider& in) {
  CollShape* shape = CollBeginComplex();
  if (in.ConsumeBool()) {
    auto& points = run->vertexArrays.emplace_back(in.ConsumeIntegralInRange(0, 24));
    for (auto& p : points) p = {AnyDouble(in), AnyDouble(in), AnyDouble(in)};
    CollSetVertexBase(points.data(), static_cast<uint32_t>(points.size()));
  }
  int polytopes = in.ConsumeIntegralInRange(0, 12);
  for (int i = 0; i < polytopes; ++i) {
    int32_t kind = in.ConsumeIntegralInRange(-1, 3);
    switch (in.ConsumeIntegralInRange(0, 2)) {
      case 0: {
        uint32_t indices[8];
        int32_t count = in.ConsumeIntegralInRange(0, 8);
        for (int32_t k = 0; k < count; ++k) indices[k] = in.ConsumeIntegralInRange<uint32_t>(0, 30);
        CollAddPolytope(kind, count, indices);
        break;
      }
      case 1:
        CollAddPolytopeRange(kind, in.ConsumeIntegral<uint32_t>() % 32,
                             in.ConsumeIntegralInRange(-2, 8));
        break;
      default: {
        CollBeginPolytope(kind);
        int points = in.ConsumeIntegralInRange(0, 6);
        for (int k = 0; k < points; ++k) {
          if (in.ConsumeBool())
            CollAddVertex(AnyDouble(in), AnyDouble(in), AnyDouble(in));
          else
            CollAddVertexIndex(in.ConsumeIntegralInRange<uint32_t>(0, 30));
        }
        CollEndPolytope();
      }
    }
  }
  CollEndComplex();
  if (shape) run->shapes.push_back(shape);
}

void Step(FuzzedDataProvider& in) {
  uint32_t key = in.ConsumeIntegralInRange<uint32_t>(0, 7);
  switch (in.ConsumeIntegralInRange(0, 17)) {
    case 0: run->shapes.push_back(CollCreateBox(AnyDouble(in), AnyDouble(in), AnyDouble(in))); break;
    case 1: run->shapes.push_back(CollCreateCone(AnyDouble(in), AnyDouble(in))); break;
    case 2: run->shapes.push_back(CollCreateCylinder(AnyDouble(in), AnyDouble(in))); break;
    case 3: run->shapes.push_back(CollCreateSphere(AnyDouble(in))); break;
    case 4: BuildComplex(in); break;
    case 5: CollCreateObject(key, PickShape(in)); break;
    case 6: CollSelectObject(key); break;
    case 7: CollDeleteObject(key); break;
    case 8: {
      float m[16];
      std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(sizeof m);
      bytes.resize(sizeof m);
      std::memcpy(m, bytes.data(), sizeof m);
      CollSetObjectMatrix(m);
      break;
    }
    case 9: CollTranslateObject(AnyDouble(in), AnyDouble(in), AnyDouble(in)); break;
    case 10: CollRotateObject(AnyDouble(in), AnyDouble(in), AnyDouble(in), AnyDouble(in)); break;
    case 11: CollScaleObject(AnyDouble(in), AnyDouble(in), AnyDouble(in)); break;
    case 12: {
      int32_t kind = in.ConsumeIntegralInRange(-1, 4);
      uintptr_t data = in.ConsumeIntegralInRange(0, 3);
      switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: CollSetDefaultResponse(Meddle, kind, data); break;
        case 1: CollSetObjectResponse(key, Meddle, kind, data); break;
        default: CollSetPairResponse(key, in.ConsumeIntegralInRange<uint32_t>(0, 7), Meddle, kind, data);
      }
      break;
    }
    case 13: CollTestAllPairs(); break;
    case 14: in.ConsumeBool() ? CollSetPairListFlag() : CollClearPairListFlag(); break;
    case 15: CollProceed(); break;
    case 16: {
      CollShape* shape = PickShape(in);
      auto& points = run->vertexArrays.emplace_back(in.ConsumeIntegralInRange(0, 24));
      for (auto& p : points) p = {AnyDouble(in), AnyDouble(in), AnyDouble(in)};
      CollChangeVertexBase(shape, points.data(), static_cast<uint32_t>(points.size()));
      break;
    }
    default: {
      CollShape* shape = PickShape(in);
      if (!shape) break;
      std::erase(run->shapes, shape);
      CollDeleteShape(shape);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  FuzzRun state;
  run = &state;
  CollReset();
  for (int steps = 0; steps < 200 && in.remaining_bytes() > 0; ++steps) Step(in);
  CollTestAllPairs();
  CollReset();
  for (CollShape* shape : state.shapes) CollDeleteShape(shape);
  run = nullptr;
  return 0;
}
