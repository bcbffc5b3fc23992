// Recording: the input device list and choice, and the record thread that follows the capture
// ring's write cursor and copies what arrived into the target sample, once or looping.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/thread.h"
#include "sound/sound_local.h"

// The recording shared by the API thread and the record thread: the fields the thread reads
// change only under gSnd.lock, and the thread does each copy under it. Lives for the process.
static struct SndRecorder {
  std::atomic<bool> recording{false};
  std::atomic<int> position{0};  // frames written into the sample
  PlatformThread* thread = nullptr;
  SndSample* sample = nullptr;
  bool loop = false;
  int ringFrames = 0;
} gRec;

static SndOutputDriver* Driver() {
  if (!gSnd.driver) SndSelectOutput(gSnd.outputType);
  SndFillDriverDefaults(gSnd.driver);
  return gSnd.driver;
}

// Copies `frames` captured frames from ring frame `offset` to the record position, in bytes
// through both sides' locks, where either side may wrap.
static void RecordStep(int offset, int frames) {
  SndSample* sample = gRec.sample;
  const int length = static_cast<int>(sample->length);
  const int frameBytes = static_cast<int>(SndFrameBytes(sample));
  int position = gRec.position.load(std::memory_order_relaxed);
  if (gRec.loop && frames > length) {
    // More arrived than the sample holds: only the newest lap survives anyway.
    int skip = frames - length;
    offset = (offset + skip) % gRec.ringFrames;
    position = (position + skip) % length;
    frames = length;
  }
  if (!gRec.loop && frames > length - position) frames = length - position;  // no wrap onto the start
  if (frames <= 0) return;
  void *capture[2], *target[2];
  uint32_t captureBytes[2], targetBytes[2];
  if (!gSnd.driver->LockCapture(offset * frameBytes, frames * frameBytes, &capture[0], &capture[1],
                                &captureBytes[0], &captureBytes[1])) {
    return;
  }
  if (!SndLockSample(sample, position * frameBytes, frames * frameBytes, &target[0], &target[1], &targetBytes[0],
                     &targetBytes[1])) {
    gSnd.driver->UnlockCapture(capture[0], capture[1], captureBytes[0], captureBytes[1]);
    return;
  }
  // Walk both region pairs in order, splitting wherever either side ends.
  int from = 0, to = 0;
  uint32_t fromAt = 0, toAt = 0;
  while (from < 2 && to < 2) {
    if (!capture[from] || fromAt == captureBytes[from]) {
      from++, fromAt = 0;
      continue;
    }
    if (!target[to] || toAt == targetBytes[to]) {
      to++, toAt = 0;
      continue;
    }
    uint32_t run = std::min(captureBytes[from] - fromAt, targetBytes[to] - toAt);
    std::memcpy(static_cast<uint8_t*>(target[to]) + toAt, static_cast<uint8_t*>(capture[from]) + fromAt, run);
    fromAt += run;
    toAt += run;
  }
  SndUnlockSample(sample, target[0], target[1], targetBytes[0], targetBytes[1]);
  gSnd.driver->UnlockCapture(capture[0], capture[1], captureBytes[0], captureBytes[1]);
  // Both regions of a wrapped lock were written: the position moves past the second one too.
  position += static_cast<int>((targetBytes[0] + targetBytes[1]) / static_cast<uint32_t>(frameBytes));
  if (position >= length) {
    if (gRec.loop) {
      position -= length;
    } else {
      position = length;
      gRec.recording.store(false, std::memory_order_relaxed);
    }
  }
  gRec.position.store(position, std::memory_order_relaxed);
}

static void RecordThread(void*) {
  int last = 0;
  while (gRec.recording.load(std::memory_order_relaxed)) {
    {
      SndLockGuard guard(gSnd.lock);
      if (!gRec.recording.load(std::memory_order_relaxed) || !gRec.sample) break;
      int64_t cursor = gSnd.driver->CapturePosition();
      if (cursor >= 0 && cursor < gRec.ringFrames) {
        int arrived = static_cast<int>(cursor) - last;
        if (arrived < 0) arrived += gRec.ringFrames;
        if (arrived != 0) RecordStep(last, arrived);
        last = static_cast<int>(cursor);
      }
    }
    SndSleep(5);
  }
}

static void FreeInputNames() {
  for (int i = 0; i < 256; i++) {
    std::free(gSnd.inputNames[i]);
    gSnd.inputNames[i] = nullptr;
  }
  gSnd.inputCount = 0;
}

static void EnumerateInputs() {
  FreeInputNames();
  Driver()->EnumerateInputs();
}

bool SndSelectRecordDriver(int index) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  EnumerateInputs();
  if (index < 0 || index >= gSnd.inputCount) index = 0;
  gSnd.recordDriverIndex = index;
  return gSnd.driver->SelectInput(index);
}

int SndGetRecordDriver() { return gSnd.recordDriverIndex < 0 ? 0 : gSnd.recordDriverIndex; }

int SndGetRecordDriverCount() {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  EnumerateInputs();
  return gSnd.inputCount;
}

const char* SndGetRecordDriverName(int index) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  EnumerateInputs();
  if (index < 0 || index >= gSnd.inputCount) {
    SndFail(kSndErrInvalid);
    return nullptr;
  }
  return gSnd.inputNames[index];
}

bool SndStopRecording() {
  SndEnter();
  gRec.recording.store(false, std::memory_order_relaxed);
  // The thread takes the lock for each copy, so it is joined without holding it.
  if (gRec.thread) PlatformJoinThreadForever(gRec.thread);
  gRec.thread = nullptr;
  SndLockGuard guard(gSnd.lock);
  if (gRec.sample) Driver()->StopRecording();
  gRec.sample = nullptr;
  return true;
}

bool SndStartRecording(SndSample* sample, bool loop) {
  SndEnter();
  if (!sample) return SndFail(kSndErrInvalid);
  if (gSnd.recordDriverIndex < 0 && !SndSelectRecordDriver(-1)) return false;
  SndStopRecording();
  SndLockGuard guard(gSnd.lock);
  int ringFrames = static_cast<int>(static_cast<int64_t>(sample->defaultFrequency) * 500 / 1000);
  if (ringFrames < 1 || sample->length < 1) return SndFail(kSndErrInvalid);
  // The device first: the thread starts only once there is a ring to follow.
  if (!Driver()->StartRecording(ringFrames, sample->bits, sample->channelMode, sample->defaultFrequency)) return false;
  gRec.sample = sample;
  gRec.loop = loop;
  gRec.ringFrames = ringFrames;
  gRec.position.store(0, std::memory_order_relaxed);
  gRec.recording.store(true, std::memory_order_relaxed);
  gRec.thread = PlatformStartThread(RecordThread, nullptr, 1);
  if (!gRec.thread) {
    gRec.recording.store(false, std::memory_order_relaxed);
    gSnd.driver->StopRecording();
    gRec.sample = nullptr;
    return SndFail(kSndErrMemory);
  }
  return true;
}

int SndGetRecordPosition() { return gRec.position.load(std::memory_order_relaxed); }

void SndForgetRecordSample(SndSample* sample) {
  if (!sample || gRec.sample != sample) return;
  // Under the lock the thread is between copies; it sees the flag and leaves by itself.
  gRec.recording.store(false, std::memory_order_relaxed);
  gSnd.driver->StopRecording();
  gRec.sample = nullptr;
}
