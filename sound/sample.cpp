// Samples: the sample table, creating and freeing, the software buffer operations, uploads with
// their conversions (delta, unsigned, IT 2.14/2.15 compression), locking and loop points.
#include <cstdlib>
#include <cstring>

#include "sound/sound_local.h"

// The largest table slot a caller may name; keeps a wild index from growing the table to
// gigabytes.
static const int kMaxSampleIndex = 1 << 20;

static uint32_t NormaliseMode(uint32_t mode) {
  if (mode & kSnd2D) mode &= ~kSndHardware;
  if (mode & kSnd16Bits) mode &= ~kSnd8Bits;
  if (mode & kSndStereo) mode &= ~kSndMono;
  return mode;
}

uint32_t SndFrameBytes(const SndSample* sample) {
  return (sample->bits == 16 ? 2u : 1u) * (sample->channelMode == kSndStereo ? 2u : 1u);
}

static bool GrowTable() {
  int capacity = gSnd.sampleCapacity + 256;
  auto* grown = static_cast<SndSample**>(std::realloc(gSnd.samples, sizeof(SndSample*) * static_cast<size_t>(capacity)));
  if (!grown) return SndFail(kSndErrMemory);
  std::memset(grown + gSnd.sampleCapacity, 0, sizeof(SndSample*) * 256);
  gSnd.samples = grown;
  gSnd.sampleCapacity = capacity;
  return true;
}

static int FirstEmptySlot() {
  for (int i = 0; i < gSnd.sampleCapacity; i++) {
    if (!gSnd.samples[i]) return i;
  }
  return -1;
}

SndSample* SndCreateSampleRecord(int index, uint32_t mode) {
  if (!gSnd.samples && index != -2) {
    SndFail(kSndErrNotInitialised);
    return nullptr;
  }
  mode = NormaliseMode(mode);
  if (index < -2 || index > kMaxSampleIndex) {
    SndFail(kSndErrInvalid);
    return nullptr;
  }
  if (index != -2) {
    if (index == -1) {
      while ((index = FirstEmptySlot()) < 0) {
        if (!GrowTable()) return nullptr;
      }
    }
    while (index >= gSnd.sampleCapacity) {
      if (!GrowTable()) return nullptr;
    }
    if (gSnd.samples[index]) SndFreeSample(gSnd.samples[index]);
  }
  auto* sample = new (std::nothrow) SndSample();
  if (!sample) {
    SndFail(kSndErrMemory);
    return nullptr;
  }
  sample->index = index;
  sample->trackerValues[0] = 8363;
  sample->loopMode = kSndLoopOff;
  sample->bits = 8;
  sample->channelMode = kSndMono;
  sample->defaultFrequency = 44100;
  sample->defaultVolume = 255;
  sample->defaultPan = 128;
  sample->defaultPriority = 255;
  sample->is2D = (mode & kSnd2D) != 0;
  sample->streamBuffer = (mode & kSndStreamBuffer) != 0;
  sample->minDistance = 1.0f;
  sample->maxDistance = 1000000000.0f;
  if ((mode & kSndHardware) && !sample->is2D && gSnd.driver) {
    gSnd.driver->InstallSampleOps(sample);
  } else {
    SndInstallSoftwareSampleOps(sample);
  }
  if (index >= 0) gSnd.samples[index] = sample;
  return sample;
}

SndSample* SndCreateSample(int index, int length, uint32_t mode, int frequency, int volume, int pan,
                           int priority) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  // Positions are signed 32.32 fixed point, so a sample holds fewer than 2^31 frames.
  if (length < 1) {
    SndFail(kSndErrInvalid);
    return nullptr;
  }
  if (!gSnd.driver || !gSnd.driver->hardwareVoices) mode &= ~kSndHardware;
  mode = NormaliseMode(mode);
  SndSample* sample = SndCreateSampleRecord(index, mode);
  if (!sample) return nullptr;
  sample->loopMode = (mode & kSndLoopBidi) ? kSndLoopBidi : (mode & kSndLoopOff) ? kSndLoopOff
                     : (mode & kSndLoopNormal) ? kSndLoopNormal : kSndLoopOff;
  sample->bits = (mode & kSnd16Bits) ? 16 : 8;
  sample->channelMode = (mode & kSndStereo) ? kSndStereo : kSndMono;
  sample->hardware = (mode & kSndHardware) != 0;
  sample->length = sample->loopLength = static_cast<uint32_t>(length);
  sample->defaultFrequency = frequency;
  sample->defaultVolume = volume;
  sample->defaultPan = pan;
  sample->defaultPriority = priority;
  if (!sample->ops.CreateBuffer(sample)) {
    int error = SndGetError();
    SndFreeSample(sample);
    SndFail(error ? error : kSndErrMemory);
    return nullptr;
  }
  return sample;
}

void SndFreeSample(SndSample* sample) {
  if (!sample) return;
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  // The output ring lives until shut-down: the mixer writes every block into it.
  if (sample == gSnd.primarySample) {
    SndFail(kSndErrInvalid);
    return;
  }
  // Under the lock the mixer is between rounds: stopping the channels ends every reference.
  for (int i = 0; i < gSnd.totalChannels; i++) {
    if (gSnd.channels[i].sample == sample) SndStopChannel(i);
  }
  if (sample->inSong) SndForgetSongSample(sample);
  SndForgetRecordSample(sample);
  sample->ops.FreeBuffer(sample);
  if (sample->index >= 0 && sample->index < gSnd.sampleCapacity && gSnd.samples[sample->index] == sample) {
    gSnd.samples[sample->index] = nullptr;
  }
  delete sample;
}

void SndFreeAllSamples() {
  if (gSnd.samples) {
    for (int i = 0; i < gSnd.sampleCapacity; i++) {
      if (gSnd.samples[i]) SndFreeSample(gSnd.samples[i]);
    }
  }
  std::free(gSnd.samples);
  gSnd.samples = nullptr;
  gSnd.sampleCapacity = 0;
}

// --- Software buffer operations ---

static bool SoftCreateBuffer(SndSample* sample) {
  std::free(sample->data);
  sample->data = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(sample->length) * SndFrameBytes(sample) + 16u, 1));
  if (!sample->data) return SndFail(kSndErrMemory);
  return true;
}

static void SoftFreeBuffer(SndSample* sample) {
  std::free(sample->data);
  sample->data = nullptr;
}

// A little-endian bit reader over one compressed block; reading past the block sets `bad`.
struct ItBitReader {
  const uint8_t* bytes;
  uint32_t size;
  uint64_t bit = 0;
  bool bad = false;

  uint32_t Read(int count) {
    if (bit + static_cast<uint64_t>(count) > static_cast<uint64_t>(size) * 8u) {
      bad = true;
      return 0;
    }
    uint32_t value = 0;
    for (int i = 0; i < count; i++, bit++) {
      value |= static_cast<uint32_t>((bytes[bit >> 3] >> (bit & 7)) & 1u) << i;
    }
    return value;
  }
};

// Width changes of the IT packing: returns the new width, or 0 when v is a plain value.
static int ItWidthChange(ItBitReader* reader, uint32_t v, int width, bool sixteenBit) {
  const int maxWidth = sixteenBit ? 17 : 9;
  if (width < 7) {
    if (v != (1u << (width - 1))) return 0;
    int n = static_cast<int>(reader->Read(sixteenBit ? 4 : 3)) + 1;
    return n < width ? n : n + 1;
  }
  if (width < maxWidth) {
    uint32_t border = sixteenBit ? (65535u >> (17 - width)) - 8u : (255u >> (9 - width)) - 4u;
    uint32_t span = sixteenBit ? 16u : 8u;
    if (v <= border || v > border + span) return 0;
    int n = static_cast<int>(v - border);
    return n < width ? n : n + 1;
  }
  if (!(v & (1u << (maxWidth - 1)))) return 0;
  return static_cast<int>((v + 1) & 255u);
}

bool SndDecompressIt(uint8_t* destination, uint32_t frames, bool sixteenBit, bool it215,
                     const uint8_t* source, uint32_t sourceBytes) {
  const uint32_t frameBytes = sixteenBit ? 2 : 1;
  const int maxWidth = sixteenBit ? 17 : 9;
  std::memset(destination, 0, static_cast<size_t>(frames) * frameBytes);
  uint32_t done = 0;
  uint32_t read = 0;
  while (done < frames) {
    if (sourceBytes - read < 2) return SndFail(kSndErrFileData);
    uint32_t blockBytes = source[read] | (static_cast<uint32_t>(source[read + 1]) << 8);
    read += 2;
    if (blockBytes > sourceBytes - read) return SndFail(kSndErrFileData);
    ItBitReader reader{source + read, blockBytes};
    read += blockBytes;
    uint32_t blockFrames = frames - done;
    uint32_t blockLimit = sixteenBit ? 16384u : 32768u;
    if (blockFrames > blockLimit) blockFrames = blockLimit;
    int width = maxWidth;
    int32_t first = 0, second = 0;
    uint32_t produced = 0;
    while (produced < blockFrames) {
      if (width < 1 || width > maxWidth) return SndFail(kSndErrFileData);
      uint32_t v = reader.Read(width);
      int newWidth = ItWidthChange(&reader, v, width, sixteenBit);
      if (reader.bad) return SndFail(kSndErrFileData);
      if (newWidth != 0) {
        width = newWidth;
        continue;
      }
      int shift = 32 - width;
      int32_t value = static_cast<int32_t>(v << shift) >> shift;
      if (sixteenBit) {
        first = static_cast<int16_t>(first + value);
        second = static_cast<int16_t>(second + first);
        int16_t out = static_cast<int16_t>(it215 ? second : first);
        std::memcpy(destination + static_cast<size_t>(done + produced) * 2, &out, 2);
      } else {
        first = static_cast<int8_t>(first + value);
        second = static_cast<int8_t>(second + first);
        destination[done + produced] = static_cast<uint8_t>(it215 ? second : first);
      }
      produced++;
    }
    done += blockFrames;
  }
  return true;
}

static bool SoftUpload(SndSample* sample, const void* data, uint32_t dataBytes, uint32_t mode) {
  if (!sample->data || !data) return SndFail(kSndErrInvalid);
  bool sixteen = (mode & kSnd16Bits) != 0;
  uint32_t frameBytes = (sixteen ? 2u : 1u) * ((mode & kSndStereo) ? 2u : 1u);
  // The buffer was sized by the sample's own format; never write past it.
  uint64_t size = static_cast<uint64_t>(sample->length) * frameBytes;
  uint64_t room = static_cast<uint64_t>(sample->length) * SndFrameBytes(sample);
  if (size > room) size = room;
  if (mode & (kSndIt214 | kSndIt215)) {
    uint32_t values = static_cast<uint32_t>(size / (sixteen ? 2 : 1));
    if (!SndDecompressIt(sample->data, values, sixteen, (mode & kSndIt215) != 0,
                         static_cast<const uint8_t*>(data), dataBytes)) {
      return false;
    }
  } else {
    if (dataBytes < size) return SndFail(kSndErrInvalid);
    std::memcpy(sample->data, data, size);
  }
  if (mode & kSndDelta) {
    if (sixteen) {
      uint16_t sum = 0;
      for (uint64_t i = 0; i + 1 < size; i += 2) {
        uint16_t word;
        std::memcpy(&word, sample->data + i, 2);
        sum = static_cast<uint16_t>(sum + word);
        std::memcpy(sample->data + i, &sum, 2);
      }
    } else {
      uint8_t sum = 0;
      for (uint64_t i = 0; i < size; i++) sample->data[i] = sum = static_cast<uint8_t>(sum + sample->data[i]);
    }
  }
  if (mode & kSndUnsigned) {
    if (sixteen) {
      for (uint64_t i = 0; i + 1 < size; i += 2) {
        uint16_t word;
        std::memcpy(&word, sample->data + i, 2);
        word ^= 0x8000;
        std::memcpy(sample->data + i, &word, 2);
      }
    } else {
      for (uint64_t i = 0; i < size; i++) sample->data[i] ^= 0x80;
    }
  }
  return true;
}

static bool SoftLock(SndSample* sample, int64_t offset, int64_t length, void** first, void** second,
                     uint32_t* firstLength, uint32_t* secondLength) {
  int64_t size = static_cast<int64_t>(sample->length) * SndFrameBytes(sample);
  *first = *second = nullptr;
  *firstLength = *secondLength = 0;
  if (!sample->data || offset < 0 || offset >= size || length < 0) return false;
  if (length > size) length = size;
  *first = sample->data + offset;
  if (offset + length > size) {
    *firstLength = static_cast<uint32_t>(size - offset);
    *second = sample->data;
    *secondLength = static_cast<uint32_t>(length - (size - offset));
  } else {
    *firstLength = static_cast<uint32_t>(length);
  }
  return true;
}

static bool SoftUnlock(SndSample*, void*, void*, uint32_t, uint32_t) { return true; }

void SndInstallSoftwareSampleOps(SndSample* sample) {
  sample->ops = {SoftCreateBuffer, SoftFreeBuffer, SoftUpload, SoftLock, SoftUnlock};
}

// --- Public sample operations ---

bool SndUploadSampleSized(SndSample* sample, const void* data, uint32_t dataBytes, uint32_t mode) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!sample) return SndFail(kSndErrInvalid);
  return sample->ops.Upload(sample, data, dataBytes, NormaliseMode(mode));
}

bool SndUploadSample(SndSample* sample, const void* data, uint32_t mode) {
  // Compressed data has no size of its own to check blocks against: it needs the sized call.
  if (mode & (kSndIt214 | kSndIt215)) {
    SndEnter();
    return SndFail(kSndErrInvalid);
  }
  return SndUploadSampleSized(sample, data, UINT32_MAX, mode);
}

bool SndLockSample(SndSample* sample, int offset, int length, void** first, void** second,
                   uint32_t* firstLength, uint32_t* secondLength) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!first || !second || !firstLength || !secondLength) return SndFail(kSndErrInvalid);
  *first = *second = nullptr;
  *firstLength = *secondLength = 0;
  if (!sample) return SndFail(kSndErrInvalid);
  int64_t size = static_cast<int64_t>(sample->length) * SndFrameBytes(sample);
  if (offset < 0 || offset > size) return SndFail(kSndErrInvalid);
  return sample->ops.Lock(sample, offset, length, first, second, firstLength, secondLength);
}

bool SndUnlockSample(SndSample* sample, void* first, void* second, uint32_t firstLength,
                     uint32_t secondLength) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!sample) return SndFail(kSndErrInvalid);
  return sample->ops.Unlock(sample, first, second, firstLength, secondLength);
}

bool SndSetSampleLoopMode(SndSample* sample, uint32_t loopMode) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!sample) return SndFail(kSndErrInvalid);
  if (loopMode != kSndLoopOff && loopMode != kSndLoopNormal && loopMode != kSndLoopBidi) return false;
  sample->loopMode = static_cast<uint8_t>(loopMode);
  return true;
}

bool SndSetSampleLoopPoints(SndSample* sample, int start, int end) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!sample || start < 0 || start >= end || static_cast<uint32_t>(end) >= sample->length) {
    return SndFail(kSndErrInvalid);
  }
  sample->loopStart = static_cast<uint32_t>(start);
  sample->loopLength = static_cast<uint32_t>(end - start + 1);
  return true;
}

bool SndSetSampleDefaults(SndSample* sample, int frequency, int volume, int pan, int priority) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!sample) return SndFail(kSndErrInvalid);
  if (frequency > 0) sample->defaultFrequency = frequency;
  if (volume > 0) sample->defaultVolume = volume;
  if (pan > 0) sample->defaultPan = pan;
  if (priority > 0) sample->defaultPriority = priority;
  return true;
}

bool SndGetSampleLoopPoints(SndSample* sample, int* start, int* end) {
  SndEnter();
  if (!sample) return SndFail(kSndErrInvalid);
  if (start) *start = static_cast<int>(sample->loopStart);
  if (end) *end = static_cast<int>(sample->loopStart + sample->loopLength) - 1;
  return true;
}

bool SndGetSampleDefaults(SndSample* sample, int* frequency, int* volume, int* pan, int* priority) {
  SndEnter();
  if (!sample) return SndFail(kSndErrInvalid);
  if (frequency) *frequency = sample->defaultFrequency;
  if (volume) *volume = sample->defaultVolume;
  if (pan) *pan = sample->defaultPan;
  if (priority) *priority = sample->defaultPriority;
  return true;
}

uint32_t SndGetSampleMode(SndSample* sample) {
  SndEnter();
  if (!sample) {
    SndFail(kSndErrInvalid);
    return 0;
  }
  return sample->loopMode | (sample->bits == 16 ? kSnd16Bits : kSnd8Bits) | sample->channelMode;
}

uint32_t SndGetSampleLength(SndSample* sample) {
  SndEnter();
  if (!sample) {
    SndFail(kSndErrInvalid);
    return 0;
  }
  return sample->length;
}

const char* SndGetSampleName(SndSample* sample) {
  SndEnter();
  if (!sample) {
    SndFail(kSndErrInvalid);
    return nullptr;
  }
  return sample->name;
}
