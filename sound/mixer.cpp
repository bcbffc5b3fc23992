// The software mixer: block arithmetic, the choice of mixing loops, the DSP unit chain, the
// mixer thread that follows the output ring's play position, and the CPU-use measure.
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/thread.h"
#include "sound/sound_local.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

SndMixer gSndMixer;

// Mixer types after the processor test: automatic means the integer mixer for family-6
// processors; each integer mixer falls back when its processor feature is missing.
struct MixerChoice {
  int requested;
  int needs;      // 1 MMX-class integer unit, 2 family 6 or later
  int fallback;
};
static const MixerChoice kMixerChoices[] = {
    {4, 0, 7},  // automatic
    {7, 2, 6},  // integer mixer tuned for family 6 needs family 6
    {6, 1, 5},  // integer mixer needs the integer vector unit, else floating point
    {7, 1, 5},
};

struct ProcessorFeatures {
  bool cpuid = false, mmx = false, family6 = false;
};

static ProcessorFeatures DetectProcessor() {
  ProcessorFeatures features;
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
    features.cpuid = true;
    features.mmx = (edx & (1u << 23)) != 0;
    features.family6 = (eax & 0xF00u) >= 0x600u;
  }
#else
  // Other processors run the portable loops; they have what the integer mixer needs.
  features.cpuid = features.mmx = features.family6 = true;
#endif
  return features;
}

static int ResolveMixerType(int type) {
  ProcessorFeatures features = DetectProcessor();
  for (const MixerChoice& choice : kMixerChoices) {
    if (choice.requested != type) continue;
    bool has = choice.needs == 0 || (choice.needs == 1 && features.mmx) || (choice.needs == 2 && features.family6);
    if (choice.needs == 0 || !has) type = choice.fallback;
  }
  return type;
}

// --- DSP units ---

static void* ClearCallback(void*, void* buffer, int frames, void*) {
  gSndMixer.clear(buffer, frames);
  return buffer;
}

static void* SfxCallback(void*, void* buffer, int frames, void* user) {
  auto* unit = static_cast<SndDspUnit*>(user);
  if (unit->channels.next != &unit->channels) gSndMixer.mix(buffer, &unit->channels, frames);
  return buffer;
}

// Ticks and mixes every playing song into the block (songs/song.cpp).
static void* MusicCallback(void*, void* buffer, int frames, void*) {
  SndSongsMix(buffer, frames);
  return buffer;
}

static void* ClipCopyCallback(void*, void* buffer, int frames, void*) {
  SndSample* primary = gSnd.primarySample;
  void *first = nullptr, *second = nullptr;
  uint32_t firstLength = 0, secondLength = 0;
  int64_t byteOffset = static_cast<int64_t>(gSndMixer.writeBlock) * gSndMixer.blockLength * 4;
  if (!primary->ops.Lock(primary, byteOffset, static_cast<int64_t>(frames) * 4, &first, &second,
                         &firstLength, &secondLength)) {
    return buffer;
  }
  int firstFrames = static_cast<int>(firstLength / 4);
  gSndMixer.clip(static_cast<int16_t*>(first), buffer, firstFrames);
  if (second) {
    const uint8_t* rest = static_cast<const uint8_t*>(buffer) + static_cast<size_t>(firstFrames) * (4u << gSndMixer.frameShift);
    gSndMixer.clip(static_cast<int16_t*>(second), rest, static_cast<int>(secondLength / 4));
  }
  primary->ops.Unlock(primary, first, second, firstLength, secondLength);
  return buffer;
}

static SndDspUnit* UnitOf(SndLink* link) { return reinterpret_cast<SndDspUnit*>(link); }

static void PlaceUnit(SndDspUnit* unit, int priority) {
  if (priority < 0) priority = 0;
  unit->priority = priority;
  SndListUnlink(&unit->link);
  SndLink* before = &gSndMixer.chain;
  for (SndLink* l = gSndMixer.chain.next; l != &gSndMixer.chain; l = l->next) {
    if (UnitOf(l)->priority > priority) {
      before = l;
      break;
    }
  }
  // Insert before `before`, so equal priorities run in creation order.
  unit->link.next = before;
  unit->link.prev = before->prev;
  before->prev->next = &unit->link;
  before->prev = &unit->link;
}

SndDspUnit* SndCreateDspUnit(SndDspCallback callback, int priority, void* user) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  // Start-up shuts down first, which frees every unit of the chain: a unit made before it
  // would be freed under its owner, and freeing it again would corrupt the new chain.
  if (!gSndMixer.mixMemory) {
    SndFail(kSndErrNotInitialised);
    return nullptr;
  }
  auto* unit = new (std::nothrow) SndDspUnit();
  if (!unit) {
    SndFail(kSndErrMemory);
    return nullptr;
  }
  SndListInit(&unit->link);
  SndListInit(&unit->channels);
  unit->callback = callback;
  unit->user = user;
  PlaceUnit(unit, priority);
  return unit;
}

void SndFreeDspUnit(SndDspUnit* unit) {
  if (!unit) return;
  SndLockGuard guard(gSnd.lock);
  // The library's own units live until shut-down: the mixer and every play keep using them.
  SndMixer& m = gSndMixer;
  if (unit == m.clearUnit || unit == m.sfxUnit || unit == m.musicUnit || unit == m.clipUnit) return;
  // Channels still mixed by the unit stop with it rather than keep links into freed memory.
  while (unit->channels.next != &unit->channels) {
    auto* channel = reinterpret_cast<SndChannel*>(unit->channels.next);
    channel->ops.Stop(channel);  // relinks it on the free list
    channel->sample = nullptr;
    channel->priority = 0;
  }
  SndListUnlink(&unit->link);
  delete unit;
}

void SndSetDspUnitPriority(SndDspUnit* unit, int priority) {
  if (!unit) return;
  SndLockGuard guard(gSnd.lock);
  PlaceUnit(unit, priority);
}

int SndGetDspUnitPriority(SndDspUnit* unit) { return unit ? unit->priority : -1; }

void SndSetDspUnitActive(SndDspUnit* unit, bool active) {
  if (!unit) return;
  SndLockGuard guard(gSnd.lock);
  unit->active = active;
}

bool SndGetDspUnitActive(SndDspUnit* unit) { return unit ? unit->active : false; }
SndDspUnit* SndGetClearUnit() { return gSndMixer.clearUnit; }
SndDspUnit* SndGetSfxUnit() { return gSndMixer.sfxUnit; }
SndDspUnit* SndGetMusicUnit() { return gSndMixer.musicUnit; }
SndDspUnit* SndGetClipCopyUnit() { return gSndMixer.clipUnit; }
int SndGetBlockLength() { return gSndMixer.blockLength; }
int SndGetMixBufferLength() { return gSndMixer.mixBufferLength; }
bool SndMixerUsesFloat() { return gSndMixer.frameShift == 1; }
uint64_t SndGetMixedBlockCount() { return gSndMixer.mixedBlocks.load(std::memory_order_acquire); }
SndSample* SndGetPrimaryMixBuffer() { return gSnd.primarySample; }

// --- Set-up and tear-down ---

bool SndSetupMixer(int mixRate) {
  SndMixer& m = gSndMixer;
  m.frameShift = 0;
  m.blockLength = (mixRate * 25 / 1000 + 3) / 4 * 4;
  int blocks = gSnd.bufferTime / 25;
  if (blocks < 2) blocks = 2;
  m.mixBufferLength = m.blockLength * blocks;
  m.rampLength = mixRate * 128 / 44100;
  if (m.rampLength < 1) m.rampLength = 1;
  m.type = ResolveMixerType(gSnd.mixerType);
  if (m.type == 5 || m.type == 8) {
    m.frameShift = 1;
    SndSetupMixLoops(true);
  } else if (m.type == 6 || m.type == 7) {
    SndSetupMixLoops(false);
  } else {
    return SndFail(kSndErrNoOutput);
  }
  size_t bytes = static_cast<size_t>(m.mixBufferLength) * (4u << m.frameShift) + 256u;
  m.mixMemory = static_cast<uint8_t*>(std::calloc(bytes, 1));
  if (!m.mixMemory) return SndFail(kSndErrMemory);
  m.mixBuffer = m.mixMemory + ((16 - (reinterpret_cast<uintptr_t>(m.mixMemory) & 15)) & 15);
  SndListInit(&m.chain);
  SndListInit(&m.freeList);
  m.clearUnit = SndCreateDspUnit(ClearCallback, 0, nullptr);
  m.sfxUnit = SndCreateDspUnit(SfxCallback, 100, nullptr);
  m.musicUnit = SndCreateDspUnit(MusicCallback, 200, nullptr);
  m.clipUnit = SndCreateDspUnit(ClipCopyCallback, 1000, nullptr);
  if (!m.clearUnit || !m.sfxUnit || !m.musicUnit || !m.clipUnit) return SndFail(kSndErrMemory);
  m.sfxUnit->user = m.sfxUnit;
  for (SndDspUnit* unit : {m.clearUnit, m.sfxUnit, m.musicUnit, m.clipUnit}) unit->active = true;
  m.writeBlock = 0;
  m.mixedBlocks = 0;
  m.smoothedUse = m.smoothedPeriod = 0;
  m.previousStamp = PlatformNanoseconds();
  m.cpuUsage = 0.0f;
  return true;
}

void SndTearDownMixer() {
  SndMixer& m = gSndMixer;
  if (m.chain.next) {
    SndListInit(&m.freeList);
    while (m.chain.next != &m.chain) {
      SndDspUnit* unit = UnitOf(m.chain.next);
      SndListInit(&unit->channels);
      SndListUnlink(&unit->link);
      delete unit;
    }
  }
  m.clearUnit = m.sfxUnit = m.musicUnit = m.clipUnit = nullptr;
  m.mix = nullptr;
  std::free(m.mixMemory);
  m.mixMemory = m.mixBuffer = nullptr;
}

// --- The mixer thread ---

static void UpdateCpuUsage(uint64_t start) {
  SndMixer& m = gSndMixer;
  const double k = 0.9;
  uint64_t now = PlatformNanoseconds();
  double period = static_cast<double>(now - m.previousStamp);
  m.smoothedPeriod = k * m.smoothedPeriod + period;
  double busy = static_cast<double>(now - start);
  if (m.smoothedPeriod > 0) m.smoothedUse = k * m.smoothedUse + busy / ((1 - k) * m.smoothedPeriod) * 100.0;
  m.previousStamp = now;
  m.cpuUsage.store(static_cast<float>((1 - k) * m.smoothedUse), std::memory_order_relaxed);
}

void SndMixBlock(int offset, int length) {
  if (!gSnd.primaryChannel.sample) return;
  uint8_t* start = gSndMixer.mixBuffer + static_cast<size_t>(offset) * (4u << gSndMixer.frameShift);
  void* buffer = start;
  SndLink* next = nullptr;
  for (SndLink* l = gSndMixer.chain.next; l != &gSndMixer.chain; l = next) {
    next = l->next;  // a unit may free itself from its callback
    SndDspUnit* unit = UnitOf(l);
    if (unit->active && unit->callback) buffer = unit->callback(start, buffer, length, unit->user);
  }
}

// One round: mixes every block behind the play cursor up to the block before it.
void SndMixerRound() {
  SndMixer& m = gSndMixer;
  if (!gSnd.initialised || !gSnd.primaryChannel.sample || m.blockLength == 0) return;
  int blocks = m.mixBufferLength / m.blockLength;
  uint64_t position = gSnd.primaryChannel.ops.GetPosition(&gSnd.primaryChannel);
  int playing = static_cast<int>(position % static_cast<uint64_t>(m.mixBufferLength)) / m.blockLength;
  int before = playing == 0 ? blocks - 1 : playing - 1;
  while (m.writeBlock != playing) {
    if (m.writeBlock > before && before != 0) break;
    uint64_t stamp = PlatformNanoseconds();
    SndMixBlock(m.writeBlock * m.blockLength, m.blockLength);
    m.mixedBlocks.fetch_add(1, std::memory_order_release);
    m.writeBlock = m.writeBlock + 1 == blocks ? 0 : m.writeBlock + 1;
    UpdateCpuUsage(stamp);
  }
}

static void MixerThread(void*) {
  SndMixer& m = gSndMixer;
  do {
    SndLockGuard guard(gSnd.lock);
    SndMixerRound();
  } while (m.stop.Pause(10));
  m.finished.store(true, std::memory_order_release);
}

bool SndStartMixerThread() {
  SndMixer& m = gSndMixer;
  m.stop.Reset();
  m.finished = false;
  m.thread = PlatformStartThread(MixerThread, nullptr, 2);
  if (!m.thread) {
    m.finished = true;
    return false;
  }
  return true;
}

// Asks the thread to leave and joins it; a thread slower than a second is logged and waited
// for rather than killed, since killing it could leave the lock held.
void SndStopMixerThread() {
  SndMixer& m = gSndMixer;
  if (!m.thread) return;
  m.stop.Stop();
  if (!PlatformJoinThread(m.thread, 1000)) {
    SndLog("sound mixer thread did not stop within 1000 ms; waiting for it");
    PlatformJoinThreadForever(m.thread);
  }
  m.thread = nullptr;
  m.finished = true;
}

float SndGetCpuUsage() {
  SndEnter();
  if (!gSnd.initialised) {
    SndFail(kSndErrNotInitialised);
    return 0.0f;
  }
  return gSndMixer.cpuUsage.load(std::memory_order_relaxed);
}

void SndClearOutput() {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.initialised || !gSnd.primarySample) return;
  gSndMixer.clear(gSndMixer.mixBuffer, gSndMixer.mixBufferLength);
  SndSample* primary = gSnd.primarySample;
  void *first = nullptr, *second = nullptr;
  uint32_t firstLength = 0, secondLength = 0;
  if (primary->ops.Lock(primary, 0, static_cast<int64_t>(gSndMixer.mixBufferLength) * 4, &first, &second,
                        &firstLength, &secondLength)) {
    std::memset(first, 0, firstLength);
    primary->ops.Unlock(primary, first, second, firstLength, secondLength);
  }
}

bool SndMixSampleInto(void* destination, const void* source, int length, int frequency, int volume,
                      int pan, uint32_t mode) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (mode & kSnd16Bits) mode &= ~kSnd8Bits;
  if (mode & kSndStereo) mode &= ~kSndMono;
  if (!gSnd.initialised) return SndFail(kSndErrNotInitialised);
  if (!destination || !source || length <= 0) return SndFail(kSndErrInvalid);
  if (!(mode & (kSnd8Bits | kSnd16Bits)) || !(mode & (kSndMono | kSndStereo))) return false;
  SndSample sample{};
  sample.index = -2;
  sample.data = static_cast<uint8_t*>(const_cast<void*>(source));
  sample.length = sample.loopLength = static_cast<uint32_t>(length);
  sample.loopMode = kSndLoopOff;
  sample.bits = (mode & kSnd16Bits) ? 16 : 8;
  sample.channelMode = (mode & kSndStereo) ? kSndStereo : kSndMono;
  SndChannel channel{};
  SndListInit(&channel.link);
  SndInitChannel(&channel, -1);
  channel.sample = &sample;
  channel.loopMode = sample.loopMode;
  channel.loopLength = sample.loopLength;
  SndUpdateStep(&channel, frequency);
  channel.voiceVolume = volume < 0 ? 0 : volume > 255 ? 255 : volume;
  // A pan outside 0..255 (other than -1, centre) takes the nearest side; unclamped, its gain
  // would overflow the ramp's fixed point.
  if (pan != -1) pan = pan < 0 ? 0 : pan > 255 ? 255 : pan;
  channel.voicePan = pan;
  SndComputeSides(channel.voiceVolume, pan, &channel.leftVolume, &channel.rightVolume);
  channel.halfVolume = channel.voiceVolume / 2;
  // No ramp: the channel starts at its full gains.
  channel.rampTarget[0] = channel.leftVolume;
  channel.rampTarget[1] = channel.rightVolume;
  channel.rampCurrent[0] = channel.leftVolume * 65536;
  channel.rampCurrent[1] = channel.rightVolume * 65536;
  SndLink list;
  SndListInit(&list);
  SndListAppend(&list, &channel.link);
  gSndMixer.mix(destination, &list, length);
  return true;
}
