// The device output driver: no hardware voices; the software mix goes into one ring (the
// primary mix buffer) that platform/audio.h plays in a loop, its position polled by the mixer.
#include <cstdlib>
#include <cstring>

#include "platform/audio.h"
#include "sound/sound_local.h"

static void AddName(const char* name, void*) { SndAddOutputName(name); }
static void DeviceEnumerateOutputs() { PlatformAudioListOutputs(AddName, nullptr); }

static bool DeviceOpen(int mixRate) {
  SndEnumerateOutputs();
  if (gSnd.outputCount == 0) return SndFail(kSndErrNoOutput);
  if (!PlatformAudioOpen(mixRate, gSnd.driverIndex)) return SndFail(kSndErrNoOutput);
  gSnd.driver->hardwareVoices = false;
  gSnd.hardwareChannels = 0;
  return true;
}

static void DeviceClose() { PlatformAudioClose(); }

static uint32_t RingBytes(const SndSample* sample) { return sample->length * SndFrameBytes(sample); }

static bool RingCreate(SndSample* sample) {
  std::free(sample->data);
  sample->data = static_cast<uint8_t*>(std::calloc(RingBytes(sample) + 16u, 1));
  if (!sample->data) return SndFail(kSndErrMemory);
  sample->hardwareBuffer = sample->data;
  return true;
}

static void RingFree(SndSample* sample) {
  PlatformAudioStopRing();  // the device reads the ring no more once this returns
  std::free(sample->data);
  sample->data = nullptr;
  sample->hardwareBuffer = nullptr;
}

static bool RingUpload(SndSample*, const void*, uint32_t, uint32_t) { return true; }

// The ring is addressed modulo its size: the region that runs past the end continues at the
// start, as the mixer's clip-and-copy expects of a looping buffer.
bool SndRingLock(SndSample* sample, int64_t offset, int64_t length, void** first, void** second,
                     uint32_t* firstLength, uint32_t* secondLength) {
  uint32_t size = RingBytes(sample);
  if (!sample->data || size == 0 || offset < 0 || length < 0) return false;
  if (length > size) length = size;
  uint32_t start = static_cast<uint32_t>(offset % size);
  uint32_t len = static_cast<uint32_t>(length);
  *first = sample->data + start;
  if (start + len <= size) {
    *firstLength = len;
    *second = nullptr;
    *secondLength = 0;
  } else {
    *firstLength = size - start;
    *second = sample->data;
    *secondLength = len - (size - start);
  }
  return true;
}

static bool RingUnlock(SndSample*, void*, void*, uint32_t, uint32_t) { return true; }

static void DeviceInstallSampleOps(SndSample* sample) {
  sample->ops = {RingCreate, RingFree, RingUpload, SndRingLock, RingUnlock};
}

static bool VoiceStop(SndChannel*) {
  PlatformAudioStopRing();
  return true;
}

// The play cursor in frames. Reading it also tells the device how far it may play: the
// block under the cursor and the next one were mixed in earlier rounds, so a device that runs
// faster than real time waits for the mixer instead of replaying stale blocks.
static uint64_t VoicePosition(SndChannel*) {
  uint64_t position = PlatformAudioPosition();
  uint64_t block = static_cast<uint64_t>(gSndMixer.blockLength);
  uint64_t ring = static_cast<uint64_t>(gSndMixer.mixBufferLength);
  if (block > 0 && ring >= 2 * block) {
    uint64_t ahead = ring >= 4 * block ? 2 * block : ring - block;
    PlatformAudioSetPlayLimit(position / block * block + ahead);
  }
  return position;
}

static bool VoiceStart(SndDspUnit*, SndChannel*, SndSample* sample) {
  if (!sample->data) return false;
  PlatformAudioStartRing(reinterpret_cast<const int16_t*>(sample->data), sample->length);
  VoicePosition(nullptr);  // lets the device play the two silent blocks before the first mix
  return true;
}

static bool VoiceNotPlaying(SndChannel*) { return false; }

static void DeviceInstallVoiceOps(SndChannel* channel) {
  SndInstallNullVoiceOps(channel);
  channel->ops.Start = VoiceStart;
  channel->ops.Stop = VoiceStop;
  channel->ops.GetPosition = VoicePosition;
  channel->ops.IsPlaying = VoiceNotPlaying;
}

SndOutputDriver gSndDeviceDriver = {.name = "SDL2 Output",
                                    .EnumerateOutputs = DeviceEnumerateOutputs,
                                    .Open = DeviceOpen,
                                    .Close = DeviceClose,
                                    .InstallSampleOps = DeviceInstallSampleOps,
                                    .InstallVoiceOps = DeviceInstallVoiceOps,
                                    .EnumerateInputs = SndCaptureEnumerateInputs,
                                    .SelectInput = SndCaptureSelectInput,
                                    .StartRecording = SndCaptureStart,
                                    .StopRecording = SndCaptureStop,
                                    .CapturePosition = SndCapturePosition,
                                    .LockCapture = SndCaptureLock,
                                    .UnlockCapture = SndCaptureUnlock};
