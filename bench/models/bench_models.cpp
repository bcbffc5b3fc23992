// Load time of a 50,000-triangle model: a grid mesh of 25,326 vertices in one frame, written as
// .x text and as binary (32-bit floats), each read and built into a model object.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "models/models_local.h"

namespace {

constexpr int kColumns = 200, kRows = 125;  // quads; two triangles each

struct Grid {
  std::vector<float> positions;
  std::vector<uint32_t> faces;  // per triangle: 3, a, b, c
};

Grid MakeGrid() {
  Grid grid;
  for (int r = 0; r <= kRows; r++) {
    for (int c = 0; c <= kColumns; c++) {
      grid.positions.insert(grid.positions.end(),
                            {c * 0.5f, (r * 7 % 13) * 0.01f, r * 0.5f});
    }
  }
  for (int r = 0; r < kRows; r++) {
    for (int c = 0; c < kColumns; c++) {
      uint32_t a = static_cast<uint32_t>(r * (kColumns + 1) + c), b = a + 1,
               d = a + kColumns + 1, e = d + 1;
      grid.faces.insert(grid.faces.end(), {3, a, b, e, 3, a, e, d});
    }
  }
  return grid;
}

std::string TextFile(const Grid& grid) {
  XTextWriter writer;
  XObject* frame = writer.CreateObject("Frame", "Ground");
  XObject* mesh = writer.CreateObject("Mesh", "GroundMesh");
  XTextWriter::AddU32(mesh, static_cast<uint32_t>(grid.positions.size() / 3));
  for (float v : grid.positions) XTextWriter::AddFloat(mesh, v);
  XTextWriter::AddU32(mesh, static_cast<uint32_t>(grid.faces.size() / 4));
  for (uint32_t w : grid.faces) XTextWriter::AddU32(mesh, w);
  XTextWriter::AddChild(frame, mesh);
  writer.Write(frame);
  return writer.Text();
}

void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v & 0xFFFF));
  Put16(out, static_cast<uint16_t>(v >> 16));
}
void PutName(std::string& out, const char* name) {
  Put16(out, 1);
  Put32(out, static_cast<uint32_t>(std::strlen(name)));
  out += name;
}

// The same model in binary tokens: names, braces, an integer list and a float list.
std::string BinaryFile(const Grid& grid) {
  std::string out = "xof 0302bin 0032";
  PutName(out, "Frame");
  PutName(out, "Ground");
  Put16(out, 10);
  PutName(out, "Mesh");
  PutName(out, "GroundMesh");
  Put16(out, 10);
  Put16(out, 6);
  Put32(out, 1);
  Put32(out, static_cast<uint32_t>(grid.positions.size() / 3));
  Put16(out, 7);
  Put32(out, static_cast<uint32_t>(grid.positions.size()));
  for (float v : grid.positions) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    Put32(out, bits);
  }
  Put16(out, 6);
  Put32(out, static_cast<uint32_t>(grid.faces.size() + 1));
  Put32(out, static_cast<uint32_t>(grid.faces.size() / 4));
  for (uint32_t w : grid.faces) Put32(out, w);
  Put16(out, 11);
  Put16(out, 11);
  return out;
}

void Load(benchmark::State& state, const std::string& image) {
  for (auto _ : state) {
    ModelObject model;
    if (model.LoadModelXMemory(image.data(), image.size()) != kModelOk) {
      state.SkipWithError("the model did not load");
      return;
    }
    benchmark::DoNotOptimize(model.Root());
  }
  state.counters["bytes"] = static_cast<double>(image.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
}

void BM_LoadText50kTriangles(benchmark::State& state) {
  static const std::string image = TextFile(MakeGrid());
  Load(state, image);
}

void BM_LoadBinary50kTriangles(benchmark::State& state) {
  static const std::string image = BinaryFile(MakeGrid());
  Load(state, image);
}

BENCHMARK(BM_LoadText50kTriangles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBinary50kTriangles)->Unit(benchmark::kMillisecond);

}  // namespace
