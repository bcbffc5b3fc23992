// SDL2 audio capture behind audio.h: the capture callback appends what the device recorded to
// a ring, wrapping at its end, and advances the written-bytes counter the reader follows.
#include <SDL.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/audio.h"

// The open input and its ring; reset by PlatformCaptureStop.
static struct CaptureState {
  SDL_AudioDeviceID device = 0;
  bool subsystemStarted = false;
  uint8_t* ring = nullptr;
  uint32_t ringBytes = 0;
  std::atomic<uint64_t> written{0};
} gCapture;

static void AppendToRing(void*, Uint8* stream, int bytes) {
  uint64_t at = gCapture.written.load(std::memory_order_relaxed);
  uint32_t done = 0;
  while (done < static_cast<uint32_t>(bytes)) {
    uint32_t offset = static_cast<uint32_t>(at % gCapture.ringBytes);
    uint32_t run = gCapture.ringBytes - offset;
    if (run > static_cast<uint32_t>(bytes) - done) run = static_cast<uint32_t>(bytes) - done;
    std::memcpy(gCapture.ring + offset, stream + done, run);
    done += run;
    at += run;
  }
  gCapture.written.store(at, std::memory_order_release);
}

bool PlatformCaptureStart(int deviceIndex, int rate, int bits, int channels, uint32_t ringBytes) {
  PlatformCaptureStop();
  if (ringBytes == 0 || (bits != 8 && bits != 16) || channels < 1 || channels > 2) return false;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  gCapture.subsystemStarted = true;
  gCapture.ring = static_cast<uint8_t*>(std::calloc(ringBytes, 1));
  if (!gCapture.ring) {
    PlatformCaptureStop();
    return false;
  }
  gCapture.ringBytes = ringBytes;
  gCapture.written.store(0, std::memory_order_release);
  const char* name = nullptr;
  if (deviceIndex >= 0 && deviceIndex < SDL_GetNumAudioDevices(1)) name = SDL_GetAudioDeviceName(deviceIndex, 1);
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = bits == 8 ? AUDIO_S8 : AUDIO_S16SYS;
  want.channels = static_cast<Uint8>(channels);
  want.samples = 1024;
  want.callback = AppendToRing;
  SDL_AudioSpec have{};
  gCapture.device = SDL_OpenAudioDevice(name, 1, &want, &have, 0);  // SDL converts to `want`
  if (gCapture.device == 0) {
    PlatformCaptureStop();
    return false;
  }
  SDL_PauseAudioDevice(gCapture.device, 0);
  return true;
}

void PlatformCaptureStop() {
  if (gCapture.device != 0) {
    SDL_CloseAudioDevice(gCapture.device);  // waits for a callback that is still running
    gCapture.device = 0;
  }
  if (gCapture.subsystemStarted) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    gCapture.subsystemStarted = false;
  }
  std::free(gCapture.ring);
  gCapture.ring = nullptr;
  gCapture.ringBytes = 0;
}

const uint8_t* PlatformCaptureRing() { return gCapture.ring; }
uint64_t PlatformCaptureWritten() { return gCapture.written.load(std::memory_order_acquire); }
