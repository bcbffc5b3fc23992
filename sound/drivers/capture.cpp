// The recording back-end of the device driver: the input list, and a capture ring filled by
// platform/audio.h's SDL2 capture device, read by the library's record thread.
#include "platform/audio.h"
#include "sound/sound_local.h"

// The running capture; reset by each start and stop.
static struct CaptureDriverState {
  int input = 0;             // the selected input device
  uint32_t frameBytes = 0;   // of the running recording
  uint32_t ringBytes = 0;
} gCaptureDriver;

static void AddName(const char* name, void*) { SndAddInputName(name); }
void SndCaptureEnumerateInputs() { PlatformAudioListInputs(AddName, nullptr); }

bool SndCaptureSelectInput(int index) {
  if (gSnd.inputCount == 0) return SndFail(kSndErrNoInput);
  gCaptureDriver.input = index;
  return true;
}

bool SndCaptureStart(int frames, int bits, int channelMode, int frequency) {
  int channels = channelMode == kSndMono ? 1 : 2;
  if (frames < 1 || frequency < 1) return SndFail(kSndErrNoInput);
  gCaptureDriver.frameBytes = static_cast<uint32_t>(channels * bits / 8);
  gCaptureDriver.ringBytes = static_cast<uint32_t>(frames) * gCaptureDriver.frameBytes;
  int device = gCaptureDriver.input == 0 ? -1 : gCaptureDriver.input;  // input 0: the default
  if (!PlatformCaptureStart(device, frequency, bits, channels, gCaptureDriver.ringBytes)) {
    gCaptureDriver.ringBytes = 0;
    return SndFail(kSndErrNoInput);
  }
  return true;
}

bool SndCaptureStop() {
  PlatformCaptureStop();
  gCaptureDriver.ringBytes = 0;
  return true;
}

// The write cursor in frames inside the ring: everything before it has arrived.
int64_t SndCapturePosition() {
  if (gCaptureDriver.ringBytes == 0 || gCaptureDriver.frameBytes == 0) return 0;
  return static_cast<int64_t>(PlatformCaptureWritten() % gCaptureDriver.ringBytes / gCaptureDriver.frameBytes);
}

// Offset and length in bytes; the region past the ring's end continues at its start.
bool SndCaptureLock(int offset, int length, void** first, void** second, uint32_t* firstLength,
                    uint32_t* secondLength) {
  const uint8_t* ring = PlatformCaptureRing();
  uint32_t size = gCaptureDriver.ringBytes;
  *first = *second = nullptr;
  *firstLength = *secondLength = 0;
  if (!ring || size == 0) return true;
  if (offset < 0 || length < 0) return SndFail(kSndErrNoInput);
  uint32_t start = static_cast<uint32_t>(offset) % size;
  uint32_t bytes = static_cast<uint32_t>(length) < size ? static_cast<uint32_t>(length) : size;
  *first = const_cast<uint8_t*>(ring) + start;
  *firstLength = bytes < size - start ? bytes : size - start;
  if (bytes > *firstLength) {
    *second = const_cast<uint8_t*>(ring);
    *secondLength = bytes - *firstLength;
  }
  return true;
}

bool SndCaptureUnlock(void*, void*, uint32_t, uint32_t) { return true; }
