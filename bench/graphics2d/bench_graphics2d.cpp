// Frames per second of the 2D display, headless: each iteration is one frame of the main
// loop's 2D steps (backgrounds, queue replay, sprites, present) after the commands of a slice.
#include <benchmark/benchmark.h>

#include "bench/graphics2d/bench_display.h"
#include "platform/surface.h"
#include "runtime/command_numbers.h"

namespace {

using bench2d::Call;
using bench2d::OpenDisplay;

void BM_MovingKeyedSprites(benchmark::State& state) {
  OpenDisplay();
  const int count = static_cast<int>(state.range(0));
  // A 32x32 image: a filled circle of colour on the transparent colour.
  Call(kDrawInk, {0x3080F0, 0});
  Call(kDrawEllipse, {16, 16, 15, 15});
  Call(kDrawBox, {8, 8, 24, 24});
  Call(kImageGet, {1, 0, 0, 32, 32});
  Call(kDrawCls, {});
  Run2DFrameSteps();
  for (int i = 1; i <= count; ++i) Call(kSprite, {i, (i * 37) % 608, (i * 53) % 448, 1});
  int frame = 0;
  for (auto _ : state) {
    ++frame;
    for (int i = 1; i <= count; ++i) Call(kSprite, {i, (i * 37 + frame * 3) % 608, (i * 53 + frame * 2) % 448, 1});
    Run2DFrameSteps();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MovingKeyedSprites)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_QueuedDots(benchmark::State& state) {
  OpenDisplay();
  const int count = static_cast<int>(state.range(0));
  int frame = 0;
  for (auto _ : state) {
    ++frame;
    for (int i = 0; i < count; ++i) Call(kDrawDot, {(i * 7 + frame) % 640, (i * 13) % 480});
    Run2DFrameSteps();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_QueuedDots)->Arg(10000)->Unit(benchmark::kMillisecond);

// Unscaled colour-keyed blits, the sprites' and pastes' usual case: a 64x64 image (a ring on
// the transparent colour, so rows hold opaque runs, transparent runs and both edges) blitted
// 256 times a frame over a 640x480 screen, partly off its edges. The same blit mirrored goes
// pixel by pixel through the general path: the peer the keyed fast path is measured against.
void KeyedBlits(benchmark::State& state, bool mirror) {
  Surface* screen = SurfaceCreate(640, 480);
  Surface* image = SurfaceCreate(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const int dx = x - 32, dy = y - 32, d = dx * dx + dy * dy;
      image->pixels[static_cast<size_t>(y) * 64 + x] = d < 30 * 30 && d > 12 * 12 ? 0x3080F0u + static_cast<uint32_t>(x) : 0u;
    }
  BlitOptions options;
  options.colourKeyed = true;
  options.colourKey = 0;
  options.mirror = mirror;
  constexpr int kBlits = 256;
  for (auto _ : state) {
    for (int i = 0; i < kBlits; ++i)
      SurfaceBlit(*screen, (i * 37) % 640 - 32, (i * 53) % 480 - 32, *image, SurfaceRect{0, 0, 64, 64}, options);
    benchmark::DoNotOptimize(screen->pixels.data());
    benchmark::ClobberMemory();
  }
  state.counters["Mpixels/s"] = benchmark::Counter(kBlits * 64.0 * 64.0 * static_cast<double>(state.iterations()) / 1e6,
                                                   benchmark::Counter::kIsRate);
  SurfaceDestroy(image);
  SurfaceDestroy(screen);
}
void BM_ColourKeyedBlit(benchmark::State& state) { KeyedBlits(state, false); }
void BM_ColourKeyedBlitMirrored(benchmark::State& state) { KeyedBlits(state, true); }
BENCHMARK(BM_ColourKeyedBlit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ColourKeyedBlitMirrored)->Unit(benchmark::kMicrosecond);

}  // namespace
