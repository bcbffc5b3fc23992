// SDL2 audio behind audio.h: the SDL callback copies frames from the caller's ring, wrapping at
// its end, and advances the consumed-frames counter that serves as the play position.
#include "platform/audio.h"

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

// The open device and the ring it plays; reset by PlatformAudioClose.
static struct AudioDeviceState {
  SDL_AudioDeviceID device = 0;
  bool subsystemStarted = false;
  std::mutex mutex;                 // guards ring, ringFrames, readFrame and playLimit
  std::condition_variable limitMoved;
  const int16_t* ring = nullptr;    // null: play silence
  uint32_t ringFrames = 0;
  uint32_t readFrame = 0;           // next ring frame to play
  uint64_t playLimit = 0;
  std::atomic<uint64_t> consumed{0};
} gAudio;

// How long the device waits for the writer before it plays what the ring holds anyway.
static const int kLimitWaitMs = 50;

static void FillFromRing(void*, Uint8* stream, int bytes) {
  auto* out = reinterpret_cast<int16_t*>(stream);
  uint32_t frames = static_cast<uint32_t>(bytes) / 4;
  std::unique_lock<std::mutex> lock(gAudio.mutex);
  if (!gAudio.ring || gAudio.ringFrames == 0) {
    std::memset(stream, 0, static_cast<size_t>(bytes));
    return;
  }
  uint64_t wantEnd = gAudio.consumed.load(std::memory_order_relaxed) + frames;
  gAudio.limitMoved.wait_for(lock, std::chrono::milliseconds(kLimitWaitMs),
                             [&] { return !gAudio.ring || gAudio.playLimit >= wantEnd; });
  if (!gAudio.ring) {
    std::memset(stream, 0, static_cast<size_t>(bytes));
    return;
  }
  uint32_t done = 0;
  while (done < frames) {
    uint32_t run = gAudio.ringFrames - gAudio.readFrame;
    if (run > frames - done) run = frames - done;
    std::memcpy(out + done * 2, gAudio.ring + static_cast<size_t>(gAudio.readFrame) * 2, run * 4u);
    done += run;
    gAudio.readFrame += run;
    if (gAudio.readFrame >= gAudio.ringFrames) gAudio.readFrame = 0;
  }
  gAudio.consumed.fetch_add(frames, std::memory_order_release);
}

// Lists SDL's output or input devices; the dummy and disk backends name none but open the
// default one, which is then listed under `fallback`.
static int ListDevices(int capture, const char* fallback, void (*addName)(const char* name, void* user), void* user) {
  bool started = SDL_WasInit(SDL_INIT_AUDIO) != 0;
  if (!started && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
  int count = SDL_GetNumAudioDevices(capture);
  int listed = 0;
  for (int i = 0; i < count; i++) {
    const char* name = SDL_GetAudioDeviceName(i, capture);
    if (!name) continue;
    addName(name, user);
    listed++;
  }
  if (listed == 0) {
    addName(fallback, user);
    listed = 1;
  }
  if (!started) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return listed;
}

int PlatformAudioListOutputs(void (*addName)(const char* name, void* user), void* user) {
  return ListDevices(0, "Default output", addName, user);
}

int PlatformAudioListInputs(void (*addName)(const char* name, void* user), void* user) {
  return ListDevices(1, "Default input", addName, user);
}

bool PlatformAudioOpen(int mixRate, int deviceIndex) {
  PlatformAudioClose();
  PlatformQuietSoundSystemLogs();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  gAudio.subsystemStarted = true;
  const char* name = nullptr;
  if (deviceIndex >= 0 && deviceIndex < SDL_GetNumAudioDevices(0)) {
    name = SDL_GetAudioDeviceName(deviceIndex, 0);
  }
  SDL_AudioSpec want{};
  want.freq = mixRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  // Each close waits two periods for the device to drain: 512 frames keeps a game's exit
  // short (23 ms, not 46) with a period still well clear of underruns.
  want.samples = 512;
  want.callback = FillFromRing;
  SDL_AudioSpec have{};
  gAudio.device = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
  if (gAudio.device == 0) {
    PlatformAudioClose();
    return false;
  }
  return true;
}

void PlatformAudioStartRing(const int16_t* ring, uint32_t frames) {
  if (gAudio.device == 0) return;
  {
    std::lock_guard<std::mutex> lock(gAudio.mutex);
    gAudio.ring = ring;
    gAudio.ringFrames = frames;
    gAudio.readFrame = 0;
    gAudio.playLimit = 0;
    gAudio.consumed.store(0, std::memory_order_release);
  }
  SDL_PauseAudioDevice(gAudio.device, 0);
}

void PlatformAudioStopRing() {
  {
    std::lock_guard<std::mutex> lock(gAudio.mutex);
    gAudio.ring = nullptr;
    gAudio.ringFrames = 0;
  }
  gAudio.limitMoved.notify_all();
  if (gAudio.device != 0) {
    // Taking SDL's device lock waits for a callback that is still copying to finish.
    SDL_LockAudioDevice(gAudio.device);
    SDL_UnlockAudioDevice(gAudio.device);
    SDL_PauseAudioDevice(gAudio.device, 1);
  }
}

uint64_t PlatformAudioPosition() { return gAudio.consumed.load(std::memory_order_acquire); }

void PlatformAudioSetPlayLimit(uint64_t frames) {
  {
    std::lock_guard<std::mutex> lock(gAudio.mutex);
    gAudio.playLimit = frames;
  }
  gAudio.limitMoved.notify_all();
}

void PlatformAudioClose() {
  if (gAudio.device != 0) {
    PlatformAudioStopRing();
    SDL_CloseAudioDevice(gAudio.device);
    gAudio.device = 0;
  }
  if (gAudio.subsystemStarted) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    gAudio.subsystemStarted = false;
  }
}
