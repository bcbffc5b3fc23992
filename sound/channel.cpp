// Channels: handles, choosing a channel for a new sound (priority and a round-robin cursor), the
// play operations, the setters and getters, and the voice operations of a software channel.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sound/sound_local.h"

static const int kMaxReference = 0x7FFFF;

void SndInitChannel(SndChannel* channel, int index) {
  channel->index = index;
  channel->reference = 1;
  channel->sample = nullptr;
  channel->priority = 0;
  channel->frequency = 44100;
  channel->volume = 255;
  channel->pan = 128;
  channel->mute = channel->surround = channel->paused = channel->reserved = 0;
  channel->absoluteVolume = channel->songOwned = channel->spare = 0;
  channel->direction = 1;
  channel->effectMix = 1.0f;
}

SndChannel* SndLookupChannel(int handle) {
  if (!gSnd.channels) {
    SndFail(kSndErrNotInitialised);
    return nullptr;
  }
  if (handle == kSndPrimaryChannel) return &gSnd.primaryChannel;
  if (handle < 0) {
    SndFail(kSndErrInvalid);
    return nullptr;
  }
  int index = handle & 0xFFF;
  if (index > gSnd.totalChannels || (index == gSnd.totalChannels && !gSnd.channels[index].spare)) {
    SndFail(kSndErrInvalid);
    return nullptr;
  }
  SndChannel* channel = &gSnd.channels[index];
  if ((handle >> 12) != 0 && channel->handle != handle) {
    SndFail(kSndErrInvalid);
    return nullptr;
  }
  return channel;
}

static int NewHandle(int index) {
  if (index < 0 || index >= gSnd.totalChannels) return -1;
  SndChannel* channel = &gSnd.channels[index];
  channel->handle = index | (channel->reference << 12);
  if (++channel->reference > kMaxReference) channel->reference = 1;
  return channel->handle;
}

// Runs `action` on one channel, or on every channel for -3 (the result of the last one).
template <class Action>
static bool ForChannels(int handle, Action action) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.initialised || !gSnd.channels) return SndFail(kSndErrNotInitialised);
  if (handle == kSndAllChannels) {
    bool result = false;
    for (int i = 0; i < gSnd.totalChannels; i++) result = action(&gSnd.channels[i]);
    return result;
  }
  SndChannel* channel = SndLookupChannel(handle);
  return channel ? action(channel) : false;
}

template <class Getter>
static auto GetChannelValue(int handle, Getter getter) -> decltype(getter(nullptr)) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.initialised) {
    SndFail(kSndErrNotInitialised);
    return {};
  }
  SndChannel* channel = SndLookupChannel(handle);
  if (!channel) return {};
  return getter(channel);
}

static int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

static void SendVolume(SndChannel* channel) {
  if (channel->mute) return;
  int volume = channel->absoluteVolume ? channel->volume : channel->volume * gSnd.sfxMasterVolume / 255;
  channel->ops.SetVolume(channel, volume);
}

static bool StopOne(SndChannel* channel) {
  channel->ops.Stop(channel);
  channel->sample = nullptr;
  channel->priority = 0;
  return true;
}

static bool ApplyPan(SndChannel* channel, int pan, float separation) {
  if (pan != -1) {
    pan = Clamp(pan, 0, 255);
    pan = static_cast<int>(std::trunc((pan - 128) * separation)) + 128;
  }
  channel->pan = pan;
  return channel->ops.SetPan(channel, pan);
}

// Picks the channel for a new sound. -1 scans the range from its cursor: a free channel is
// taken at once, else the lowest priority (first met on ties); reserved channels never.
static SndChannel* AllocChannel(int handle, int* range, SndSample* sample, int priority) {
  if (handle != kSndPrimaryChannel && handle != -1 && handle != -2) {
    if (handle < -1 || (handle & 0xFFF) >= gSnd.totalChannels) {
      SndFail(kSndErrInvalid);
      return nullptr;
    }
  }
  if (!gSnd.initialised || !gSnd.channels) {
    SndFail(kSndErrNotInitialised);
    return nullptr;
  }
  SndChannel* channel = nullptr;
  if (handle == kSndPrimaryChannel) {
    // The primary channel plays the output ring only: the device would read another sample
    // as 16-bit stereo past its end, and go on reading it after it is freed.
    if (sample != gSnd.primarySample) {
      SndFail(kSndErrInvalid);
      return nullptr;
    }
    channel = &gSnd.primaryChannel;
  } else if (handle == -1 || handle == -2) {  // -2 has no meaning of its own: any channel
    int first = range[0], last = range[1];
    if (last < first) {
      SndFail(kSndErrNoChannel);
      return nullptr;
    }
    int best = 256;
    int candidate = -1;
    priority = Clamp(priority, 0, 255);
    for (int n = 0; n <= last - first; n++) {
      int index = range[2];
      range[2] = index >= last ? first : index + 1;
      SndChannel* c = &gSnd.channels[index];
      if (c->reserved) continue;
      if (!c->ops.IsPlaying(c)) {
        candidate = index;
        best = 0;
        break;
      }
      if (c->priority < best) {
        best = c->priority;
        candidate = index;
      }
    }
    if (candidate < 0) {
      SndFail(kSndErrNoChannel);
      return nullptr;
    }
    if (best <= priority) range[2] = candidate >= last ? first : candidate + 1;
    channel = &gSnd.channels[candidate];
  } else {
    channel = &gSnd.channels[handle & 0xFFF];
  }
  if (sample && channel != &gSnd.primaryChannel) {
    bool hardwareIndex = channel->index >= gSnd.softwareChannels;
    bool hardwareSample = sample->hardwareBuffer != nullptr && sample->hardware;
    // A hardware sample that keeps its PCM may also play as a software voice.
    if (hardwareIndex != hardwareSample && !(hardwareSample && sample->data)) {
      SndFail(kSndErrNoChannel);
      return nullptr;
    }
  }
  if (channel->sample && channel != &gSnd.primaryChannel) StopOne(channel);
  channel->sample = sample;
  if (!channel->ops.Prepare(channel, sample)) {
    channel->sample = nullptr;
    SndFail(kSndErrNoChannel);
    return nullptr;
  }
  if (sample) {
    channel->priority = sample->defaultPriority;
    channel->loopMode = sample->loopMode;
    channel->loopStart = sample->loopStart < sample->length ? sample->loopStart : 0;
    channel->loopLength = std::min(sample->loopLength, sample->length - channel->loopStart);
    channel->effectMix = 1.0f;
    channel->frequency = sample->defaultFrequency;
    channel->ops.SetFrequency(channel, sample->defaultFrequency);
    channel->volume = Clamp(sample->defaultVolume, 0, 255);
    channel->absoluteVolume = 0;
    SendVolume(channel);
    ApplyPan(channel, sample->defaultPan, gSnd.panSeparation);
    SndListenerPosition(&channel->position3D);
    channel->velocity3D = {0, 0, 0};
    if (sample->data && channel->index < gSnd.softwareChannels && channel != &gSnd.primaryChannel) {
      SndCompute3D(channel);
    }
  }
  return channel;
}

// Hardware samples play on hardware voices; when every one of them is busy, a sample that
// keeps its PCM plays as a software voice rather than cutting off a sound that plays. So does
// one whose loop points mark a section: a hardware voice plays its buffer whole.
static int* RangeFor(int handle, const SndSample* sample) {
  if (!sample->hardwareBuffer || !sample->hardware) return gSnd.softwareRange;
  if (handle != kSndAnyChannel || !sample->data) return gSnd.hardwareRange;
  if (sample->loopStart != 0 || sample->loopLength != sample->length) return gSnd.softwareRange;
  for (int i = gSnd.hardwareRange[0]; i <= gSnd.hardwareRange[1]; i++) {
    SndChannel* c = &gSnd.channels[i];
    if (!c->reserved && !c->ops.IsPlaying(c)) return gSnd.hardwareRange;
  }
  return gSnd.softwareRange;
}

// The play core. A start frame of -1 keeps the channel's own start offset (a song voice sets
// it before it plays the channel).
static int PlayOnUnit(SndDspUnit* unit, int handle, SndSample* sample, bool paused, int64_t startFrame) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.initialised || !gSnd.channels) {
    SndFail(kSndErrNotInitialised);
    return -1;
  }
  if (!sample) {
    SndFail(kSndErrInvalid);
    return -1;
  }
  if (unit) {
    unit->callback = gSndMixer.sfxUnit->callback;
    unit->user = unit;
  } else {
    unit = gSndMixer.sfxUnit;
  }
  int result = -1;
  int count = handle == kSndAllChannels ? gSnd.totalChannels : 1;
  for (int i = 0; i < count; i++) {
    int which = handle == kSndAllChannels ? i : handle;
    int* range = RangeFor(which, sample);
    SndChannel* channel = AllocChannel(which, range, sample, sample->defaultPriority);
    if (!channel) return -1;
    channel->paused = 1;
    if (startFrame >= 0) channel->startOffset = startFrame > INT32_MAX ? INT32_MAX : static_cast<int>(startFrame);
    if (!channel->ops.Start(unit, channel, sample)) {
      SndFail(kSndErrVoiceStart);
      return -1;
    }
    // The voice learns it is unpaused (a hardware voice starts playing only then).
    if (!paused) channel->ops.SetPaused(channel, false);
    channel->paused = paused ? 1 : 0;
    result = channel == &gSnd.primaryChannel ? kSndPrimaryChannel : NewHandle(channel->index);
  }
  return result;
}

int SndPlaySoundOnUnit(SndDspUnit* unit, int handle, SndSample* sample, bool paused) {
  return PlayOnUnit(unit, handle, sample, paused, -1);
}

int SndPlaySoundPaused(int channel, SndSample* sample, bool paused) {
  return SndPlaySoundOnUnit(nullptr, channel, sample, paused);
}

int SndPlaySoundSimple(int channel, SndSample* sample) {
  return SndPlaySoundOnUnit(nullptr, channel, sample, false);
}

// Places a just-started channel in 3D and computes its software 3D at once.
static void PlaceIn3D(int handle, SndSample* sample, const SndVector3* position, const SndVector3* velocity) {
  if (!position && !velocity) return;
  SndSetChannel3D(handle, position, velocity);
  SndChannel* channel = SndLookupChannel(handle);
  if (channel && channel->index < gSnd.softwareChannels && sample->data) SndCompute3D(channel);
}

int SndPlaySound(int channel, SndSample* sample, int frequency, int volume, int pan,
                 const SndVector3* position, const SndVector3* velocity) {
  return SndPlaySoundFrom(channel, sample, frequency, volume, pan, position, velocity, 0);
}

int SndPlaySoundFrom(int channel, SndSample* sample, int frequency, int volume, int pan,
                     const SndVector3* position, const SndVector3* velocity, uint32_t startFrame) {
  SndLockGuard guard(gSnd.lock);
  int handle = PlayOnUnit(nullptr, channel, sample, true, startFrame);
  if (handle == -1) return -1;
  if (frequency >= 0) SndSetChannelFrequency(handle, frequency);
  if (volume >= 0) SndSetChannelVolume(handle, volume);
  if (pan >= 0) SndSetChannelPan(handle, pan);
  PlaceIn3D(handle, sample, position, velocity);
  SndSetChannelPaused(handle, false);
  return handle;
}

int SndPlaySoundAttributes(int channel, SndSample* sample, int frequency, int volume, int pan) {
  SndLockGuard guard(gSnd.lock);
  int handle = SndPlaySoundOnUnit(nullptr, channel, sample, true);
  if (handle == -1) return -1;
  SndSetChannelFrequency(handle, frequency);
  SndSetChannelVolume(handle, volume);
  SndSetChannelPan(handle, pan);
  SndSetChannelPaused(handle, false);
  return handle;
}

int SndPlaySound3D(int channel, SndSample* sample, const SndVector3* position, const SndVector3* velocity) {
  SndLockGuard guard(gSnd.lock);
  int handle = SndPlaySoundOnUnit(nullptr, channel, sample, true);
  if (handle == -1) return -1;
  PlaceIn3D(handle, sample, position, velocity);
  SndSetChannelPaused(handle, false);
  return handle;
}

bool SndStopChannel(int handle) { return ForChannels(handle, StopOne); }
bool SndStopAllChannels() { return SndStopChannel(kSndAllChannels); }

bool SndSetChannelFrequency(int handle, int hz) {
  return ForChannels(handle, [hz](SndChannel* c) {
    c->frequency = hz;
    return c->ops.SetFrequency(c, hz);
  });
}

bool SndSetChannelVolume(int handle, int volume) {
  return ForChannels(handle, [volume](SndChannel* c) {
    c->volume = Clamp(volume, 0, 255);
    c->absoluteVolume = 0;
    SendVolume(c);
    return true;
  });
}

bool SndSetChannelAbsoluteVolume(int handle, int volume) {
  return ForChannels(handle, [volume](SndChannel* c) {
    c->volume = Clamp(volume, 0, 255);
    c->absoluteVolume = 1;
    return c->mute ? true : c->ops.SetVolume(c, c->volume);
  });
}

bool SndSetChannelPan(int handle, int pan) {
  return ForChannels(handle, [pan](SndChannel* c) { return ApplyPan(c, pan, gSnd.panSeparation); });
}

bool SndSetChannelRawPan(int handle, int pan) {
  return ForChannels(handle, [pan](SndChannel* c) { return ApplyPan(c, pan, 1.0f); });
}

bool SndSetChannelSurround(int handle, bool on) {
  return ForChannels(handle, [on](SndChannel* c) {
    c->surround = on;
    return true;
  });
}

// Unmuting sends the volume the channel would have had: the effects master volume applies
// unless the volume is absolute.
bool SndSetChannelMute(int handle, bool on) {
  return ForChannels(handle, [on](SndChannel* c) {
    if (on) {
      c->mute = 1;  // set first: a muted voice keeps its volume for the unmute
      c->ops.SetVolume(c, 0);
    } else {
      c->mute = 0;
      SendVolume(c);
    }
    return true;
  });
}

bool SndSetChannelPaused(int handle, bool on) {
  return ForChannels(handle, [on](SndChannel* c) {
    c->ops.SetPaused(c, on);
    c->paused = on;
    return true;
  });
}

bool SndSetChannelPriority(int handle, int priority) {
  return ForChannels(handle, [priority](SndChannel* c) {
    c->priority = priority;
    return true;
  });
}

bool SndSetChannelReserved(int handle, bool on) {
  return ForChannels(handle, [on](SndChannel* c) {
    c->reserved = on;
    return true;
  });
}

bool SndSetChannelLoopMode(int handle, uint32_t loopMode) {
  return ForChannels(handle, [loopMode](SndChannel* c) {
    c->loopMode = static_cast<uint8_t>(loopMode);
    return true;
  });
}

bool SndSetChannelEffectMix(int handle, float mix) {
  if (std::isnan(mix)) {
    SndEnter();
    return SndFail(kSndErrInvalid);
  }
  if (mix > 1.0f) mix = 1.0f;
  return ForChannels(handle, [mix](SndChannel* c) {
    if (!c->ops.SetEffectMix(c, mix)) return false;
    c->effectMix = mix;
    return true;
  });
}

bool SndSetSfxMasterVolume(int volume) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  gSnd.sfxMasterVolume = Clamp(volume, 0, 255);
  for (int i = 0; i < gSnd.totalChannels; i++) {
    SndChannel* c = &gSnd.channels[i];
    if (c->sample && !c->sample->songSample && !c->absoluteVolume) SndSetChannelVolume(i, c->volume);
  }
  return true;
}

bool SndSetPanSeparation(float separation) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  gSnd.panSeparation = separation < 0.0f ? 0.0f : separation > 1.0f ? 1.0f : separation;
  return true;
}

int SndGetChannelFrequency(int h) { return GetChannelValue(h, [](SndChannel* c) { return c->frequency; }); }
int SndGetChannelVolume(int h) { return GetChannelValue(h, [](SndChannel* c) { return c->volume; }); }
int SndGetChannelPan(int h) { return GetChannelValue(h, [](SndChannel* c) { return c->pan; }); }
bool SndGetChannelSurround(int h) { return GetChannelValue(h, [](SndChannel* c) { return c->surround != 0; }); }
bool SndGetChannelMute(int h) { return GetChannelValue(h, [](SndChannel* c) { return c->mute != 0; }); }
int SndGetChannelPriority(int h) { return GetChannelValue(h, [](SndChannel* c) { return c->priority; }); }
bool SndGetChannelReserved(int h) { return GetChannelValue(h, [](SndChannel* c) { return c->reserved != 0; }); }
bool SndGetChannelPaused(int h) { return GetChannelValue(h, [](SndChannel* c) { return c->paused != 0; }); }
SndSample* SndGetChannelSample(int h) { return GetChannelValue(h, [](SndChannel* c) { return c->sample; }); }
uint32_t SndGetChannelPosition(int h) {
  return GetChannelValue(h, [](SndChannel* c) { return static_cast<uint32_t>(c->ops.GetPosition(c)); });
}
float SndGetChannelLevel(int h) { return GetChannelValue(h, [](SndChannel* c) { return c->ops.GetLevel(c); }); }
bool SndIsChannelPlaying(int h) { return GetChannelValue(h, [](SndChannel* c) { return c->ops.IsPlaying(c); }); }

bool SndGetChannelEffectMix(int handle, float* mix) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!mix) return SndFail(kSndErrInvalid);
  SndChannel* channel = SndLookupChannel(handle);
  if (!channel) return false;
  *mix = channel->effectMix;
  return true;
}

int SndGetChannelsPlaying() {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  int playing = 0;
  for (int i = 0; i < gSnd.totalChannels; i++) {
    if (gSnd.channels[i].ops.IsPlaying(&gSnd.channels[i])) playing++;
  }
  return playing;
}

// --- Software voice operations ---

void SndComputeSides(int volume, int pan, int* left, int* right) {
  if (pan == -1) {
    *left = *right = volume;
  } else {
    *left = volume * (255 - pan) / 255;
    *right = volume * pan / 255;
  }
}

void SndUpdateStep(SndChannel* channel, int hz) {
  hz = Clamp(hz, 100, 705600);
  channel->voiceFrequency = hz;
  channel->step = (static_cast<int64_t>(hz) << 32) / gSnd.mixRate;
}

static bool SoftPrepare(SndChannel*, SndSample*) { return true; }

static bool SoftStart(SndDspUnit* unit, SndChannel* channel, SndSample*) {
  if (static_cast<uint32_t>(channel->startOffset) >= channel->loopStart + channel->loopLength || channel->startOffset < 0) {
    channel->startOffset = 0;
  }
  channel->position = static_cast<int64_t>(channel->startOffset) << 32;
  channel->direction = 1;
  channel->startOffset = 0;
  channel->rampCurrent[0] = channel->rampCurrent[1] = 0;
  channel->rampFrames = 0;
  if (!channel->songOwned) SndListAppend(&unit->channels, &channel->link);
  return true;
}

static bool SoftStop(SndChannel* channel) {
  channel->position = 0;
  channel->songOwned = 0;
  SndListAppend(&gSndMixer.freeList, &channel->link);
  return true;
}

static bool SoftSetFrequency(SndChannel* channel, int hz) {
  SndUpdateStep(channel, hz);
  return true;
}

static bool SoftSetVolume(SndChannel* channel, int volume) {
  if (!channel->mute) channel->voiceVolume = volume;
  SndComputeSides(volume, channel->voicePan, &channel->leftVolume, &channel->rightVolume);
  channel->halfVolume = volume / 2;
  return true;
}

static bool SoftSetPan(SndChannel* channel, int pan) {
  channel->voicePan = pan;
  SndComputeSides(channel->voiceVolume, pan, &channel->leftVolume, &channel->rightVolume);
  return true;
}

static bool SoftSetPaused(SndChannel*, bool) { return true; }
static uint64_t SoftGetPosition(SndChannel* channel) { return static_cast<uint64_t>(channel->position >> 32); }

static float SampleValue(const SndSample* sample, int64_t frame, int side) {
  uint32_t frameBytes = SndFrameBytes(sample);
  if (frame < 0 || frame >= sample->length) return 0.0f;
  const uint8_t* p = sample->data + static_cast<size_t>(frame) * frameBytes;
  if (sample->bits == 16) {
    int16_t v;
    std::memcpy(&v, p + side * 2, 2);
    return std::fabs(static_cast<float>(v)) / 32768.0f;
  }
  return std::fabs(static_cast<float>(static_cast<int8_t>(p[side]))) / 128.0f;
}

static float SoftGetLevel(SndChannel* channel) {
  SndSample* sample = channel->sample;
  if (channel->paused || channel->mute || !sample || !sample->data) return 0.0f;
  int64_t frame = channel->position >> 32;
  float sum = SampleValue(sample, frame, 0) + SampleValue(sample, frame + 1, 0);
  float count = 2.0f;
  if (sample->channelMode == kSndStereo) {
    sum += SampleValue(sample, frame, 1) + SampleValue(sample, frame + 1, 1);
    count = 4.0f;
  }
  return sum / count * static_cast<float>(channel->voiceVolume) / 255.0f;
}

static bool SoftIsPlaying(SndChannel* channel) { return channel->sample != nullptr; }

static bool SoftSet3D(SndChannel* channel, const SndVector3* position, const SndVector3* velocity) {
  if (position) channel->position3D = *position;
  channel->velocity3D = velocity ? *velocity : SndVector3{0, 0, 0};
  return true;
}

static bool SoftGet3D(SndChannel* channel, SndVector3* position, SndVector3* velocity) {
  if (position) *position = channel->position3D;
  if (velocity) *velocity = channel->velocity3D;
  return true;
}

static bool SoftSetEffectMix(SndChannel*, float) { return true; }

void SndInstallSoftwareVoiceOps(SndChannel* channel) {
  channel->ops = {SoftPrepare,   SoftStart,       SoftStop,     SoftSetFrequency, SoftSetVolume,
                  SoftSetPan,    SoftSetPaused,   SoftGetPosition, SoftGetLevel, SoftIsPlaying,
                  SoftSet3D,     SoftGet3D,       SoftSetEffectMix};
  SndListAppend(&gSndMixer.freeList, &channel->link);
}
