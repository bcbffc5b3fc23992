// libFuzzer target of the models library: .x images (text, binary, 32/64-bit floats) are read
// and built into models and queried; anything else goes through the 3DS converter, whose output
// must always read back as .x text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_corpus.h"

#include "models/convert3ds/convert3ds_local.h"
#include "models/models_local.h"

namespace {

// Runs the operations that walk every node and every mesh of a built model.
void Exercise(ModelObject& model) {
  Vector3 centre;
  float radius;
  model.GetModelBoundingSphere(centre, radius);
  float box[6] = {0, 0, 0, 0, 0, 0};
  model.GetModelBoundingBox(box[0], box[1], box[2], box[3], box[4], box[5]);
  model.LinkModelNode(2, 1);
  model.UpdateModelFrameWorldMatrices(Device3dActive());
  model.DrawModel(Device3dActive(), -1);
  model.BuildModelCollision(1, 99, 0, 0, 0);
  model.RemoveModelCollision();
}

}  // namespace

// With no corpus folder on the command line, a fresh folder under /tmp (where new inputs go)
// and the fixtures' folder (read only) are used, so `make fuzz` starts from the test files.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static char scratch[] = "/tmp/qv-fuzz-models-XXXXXX";
  AddSeedCorpus(argc, argv, scratch, QV_MODELS_CORPUS);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 4 && std::memcmp(data, "xof ", 4) == 0) {
    ModelObject model;
    if (model.LoadModelXMemory(data, size) == kModelOk) Exercise(model);
    return 0;
  }
  std::string text;
  if (Convert3dsImage(data, size, text) != 0) return 0;
  ModelObject model;
  if (model.LoadModelXMemory(text.data(), text.size()) != kModelOk) std::abort();
  Exercise(model);
  return 0;
}
