// Sound mixing benchmarks: nanoseconds per frame per channel for each kind of channel in both
// mixer families, and 256 looping channels as a share of one core, ours against SDL_mixer.
#include <SDL.h>
#include <SDL_mixer.h>
#include <benchmark/benchmark.h>
#include <time.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sound/sound.h"
#include "sound/sound_local.h"

struct Kind {
  const char* name;
  bool sixteen, stereo;
  int frequency;
};
static const Kind kKinds[] = {
    {"ratio1", true, false, 44100},
    {"resampled", true, false, 32000},
    {"8bit", false, false, 44100},
    {"stereo", true, true, 44100},
};

// Starts the library on the stepped no-sound clock (no mixer thread) and plays `channels`
// looping sounds of `kind`; the benchmark then calls the mix routine directly.
static void StartWith(int mixerType, const Kind& kind, int channels) {
  SndShutdown();
  SndUseSteppedClock(true);
  SndSelectOutput(0);
  SndSelectMixer(mixerType);
  SndSetBufferTime(40);
  SndStartup(44100, channels, 0);
  int frames = 44100;
  uint32_t mode = (kind.sixteen ? kSnd16Bits : kSnd8Bits) | (kind.stereo ? kSndStereo : kSndMono) | kSndLoopNormal | kSnd2D;
  SndSample* sample = SndCreateSample(-1, frames, mode, kind.frequency, 200, 128, 128);
  void *first, *second;
  uint32_t firstLength, secondLength;
  SndLockSample(sample, 0, frames * static_cast<int>(SndFrameBytes(sample)), &first, &second, &firstLength, &secondLength);
  for (uint32_t i = 0; i < firstLength; i++) static_cast<uint8_t*>(first)[i] = static_cast<uint8_t>(std::sin(i * 0.05) * 90);
  SndUnlockSample(sample, first, second, firstLength, secondLength);
  for (int c = 0; c < channels; c++) SndPlaySoundAttributes(kSndAnyChannel, sample, kind.frequency, 100 + c % 100, c % 256);
}

// One block through the whole chain: clear, effects mix, clip into the ring.
static void MixOneBlock() {
  SndMixBlock(0, gSndMixer.blockLength);
}

static void BM_MixKind(benchmark::State& state) {
  const Kind& kind = kKinds[state.range(0)];
  int mixerType = static_cast<int>(state.range(1));
  const int channels = 32;
  StartWith(mixerType, kind, channels);
  for (auto _ : state) MixOneBlock();
  double frameChannels = static_cast<double>(state.iterations()) * gSndMixer.blockLength * channels;
  state.counters["ns_per_frame_channel"] = benchmark::Counter(frameChannels * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  char label[64];
  std::snprintf(label, sizeof label, "%s %s", kind.name, mixerType == 5 ? "float" : "int16");
  state.SetLabel(label);
  SndShutdown();
}
BENCHMARK(BM_MixKind)->ArgsProduct({{0, 1, 2, 3}, {5, 7}})->Unit(benchmark::kMicrosecond);

static double gOursShare[2] = {0, 0};  // 16-bit stereo at 44100 Hz: int16 and float mixer
static double gOursResampledShare[2] = {0, 0};  // 16-bit mono at 32000 Hz
static double gSdlMixerShare = 0;

static void BM_Ours256Channels(benchmark::State& state) {
  const Kind& kind = kKinds[state.range(0)];
  int mixerType = static_cast<int>(state.range(1));
  StartWith(mixerType, kind, 256);
  for (auto _ : state) MixOneBlock();
  // Share of one core: mixing time per block over the block's 25 ms of sound.
  double blockSeconds = static_cast<double>(gSndMixer.blockLength) / 44100.0;
  state.counters["core_share"] = benchmark::Counter(static_cast<double>(state.iterations()) * blockSeconds,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  char label[64];
  std::snprintf(label, sizeof label, "%s %s", kind.name, mixerType == 5 ? "float" : "int16");
  state.SetLabel(label);
  SndShutdown();
}
// 16-bit stereo at the mix rate is what SDL_mixer mixes; 32000 Hz mono shows resampling.
BENCHMARK(BM_Ours256Channels)->Args({3, 7})->Args({3, 5})->Args({1, 7})->Args({1, 5})->Unit(benchmark::kMicrosecond)->UseRealTime();

// SDL_mixer mixes on SDL's audio thread; on the disk driver with no delay that thread runs
// flat out, so CPU seconds per second of sound produced is its share of one core.
static std::atomic<uint64_t> gSdlFrames{0};
static void CountFrames(void*, Uint8*, int bytes) { gSdlFrames.fetch_add(static_cast<uint64_t>(bytes) / 4); }

static double ProcessCpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

static void BM_SdlMixer256Channels(benchmark::State& state) {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
  setenv("SDL_DISKAUDIODELAY", "0", 1);
  if (SDL_Init(SDL_INIT_AUDIO) != 0 || Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024) != 0) {
    state.SkipWithError("SDL_mixer could not open the disk driver");
    return;
  }
  std::vector<int16_t> pcm(44100 * 2);
  for (size_t i = 0; i < pcm.size(); i++) pcm[i] = static_cast<int16_t>(std::sin(i * 0.05) * 90 * 256);
  Mix_Chunk* chunk = Mix_QuickLoad_RAW(reinterpret_cast<Uint8*>(pcm.data()), static_cast<Uint32>(pcm.size() * 2));
  Mix_AllocateChannels(256);
  for (int c = 0; c < 256; c++) {
    Mix_PlayChannel(c, chunk, -1);
    Mix_Volume(c, 50 + c % 78);
    Mix_SetPanning(c, static_cast<Uint8>(255 - c % 256), static_cast<Uint8>(c % 256));
  }
  Mix_SetPostMix(CountFrames, nullptr);
  double share = 0;
  for (auto _ : state) {
    uint64_t frames0 = gSdlFrames.load();
    double cpu0 = ProcessCpuSeconds();
    SDL_Delay(1000);
    double cpu = ProcessCpuSeconds() - cpu0;
    double soundSeconds = static_cast<double>(gSdlFrames.load() - frames0) / 44100.0;
    share = soundSeconds > 0 ? cpu / soundSeconds : 0;
  }
  state.counters["core_share"] = share;
  gSdlMixerShare = share;
  Mix_HaltChannel(-1);
  Mix_SetPostMix(nullptr, nullptr);
  Mix_CloseAudio();
  Mix_FreeChunk(chunk);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}
BENCHMARK(BM_SdlMixer256Channels)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// Records the share of our 256-channel runs for the closing comparison.
class ShareReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto it = run.counters.find("core_share");
      if (it == run.counters.end()) continue;
      const std::string name = run.benchmark_name();
      if (name.find("BM_Ours256Channels/3/7") == 0) gOursShare[0] = it->second;
      if (name.find("BM_Ours256Channels/3/5") == 0) gOursShare[1] = it->second;
      if (name.find("BM_Ours256Channels/1/7") == 0) gOursResampledShare[0] = it->second;
      if (name.find("BM_Ours256Channels/1/5") == 0) gOursResampledShare[1] = it->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  ShareReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (gSdlMixerShare > 0 && gOursShare[0] > 0) {
    std::printf("\n256 channels, 16-bit stereo at 44100 Hz, share of one core:\n");
    std::printf("  ours (int16 mixer) %.2f %%, ours (float mixer) %.2f %%, SDL_mixer %.2f %%\n",
                gOursShare[0] * 100, gOursShare[1] * 100, gSdlMixerShare * 100);
    std::printf("  SDL_mixer / ours (int16): %.2f, SDL_mixer / ours (float): %.2f\n",
                gSdlMixerShare / gOursShare[0], gOursShare[1] > 0 ? gSdlMixerShare / gOursShare[1] : 0.0);
    std::printf("  ours resampling 32000 Hz mono: int16 %.2f %%, float %.2f %%\n", gOursResampledShare[0] * 100,
                gOursResampledShare[1] * 100);
  }
  benchmark::Shutdown();
  return 0;
}
