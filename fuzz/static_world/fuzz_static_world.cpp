// libFuzzer target of the static world's loader: any bytes are read as a world file; a file
// that loads is culled and drawn on the recording device, and its saved bytes must load again
// and save as the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_corpus.h"

#include "models/static/static_world.h"

namespace {

StaticView FrontView() {
  StaticView view;
  MatrixIdentity(view.world);
  MatrixIdentity(view.camera);
  MatrixProjection(view.projection, 1.0814433f, 0.75f, 1.0f, 3000.0f);
  return view;
}

}  // namespace

// With no corpus folder on the command line, a fresh folder under /tmp (where new inputs go)
// and the seeds' folder (read only) are used.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static char scratch[] = "/tmp/qv-fuzz-static-XXXXXX";
  AddSeedCorpus(argc, argv, scratch, QV_STATIC_CORPUS);
  Device3dInstall(Device3dOpenRecorder());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (GetStaticWorld().vertexBuffer == 0) CreateStaticVertexBufferDefault();
  if (!LoadStaticWorldFromMemory(data, size, "fuzz", nullptr)) return 0;
  DrawStaticWorld(FrontView());
  const std::vector<uint8_t> saved = StaticWorldFileBytes();
  if (!LoadStaticWorldFromMemory(saved.data(), saved.size(), "fuzz", nullptr)) std::abort();
  if (StaticWorldFileBytes() != saved) std::abort();
  ClearStaticWorld();
  return 0;
}
