// The sound library's frame: the shared state, the error word and entry convention, the
// settings allowed before start-up, the device list, start-up and shut-down, clock and threads.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/thread.h"
#include "sound/cd/cd.h"
#include "sound/sound_local.h"
#include "sound/stream.h"

SndLibrary gSnd;

// Output types to driver tables: 0 no sound, 1 the SDL2 ring, 2 OpenAL; type 3 has no driver
// and start-up refuses it with error 3.
static bool EmptyOpen(int) { return SndFail(kSndErrNoOutput); }
static SndOutputDriver gSndEmptyDriver = {.name = "Empty Driver", .Open = EmptyOpen};
static SndOutputDriver* const kDriverForOutput[4] = {&gSndNullDriver, &gSndDeviceDriver,
                                                     &gSndOpenAlDriver, &gSndEmptyDriver};

void SndListInit(SndLink* head) { head->next = head->prev = head; }

void SndListUnlink(SndLink* node) {
  node->prev->next = node->next;
  node->next->prev = node->prev;
  node->next = node->prev = node;
}

void SndListAppend(SndLink* head, SndLink* node) {
  SndListUnlink(node);
  node->prev = head->prev;
  node->next = head;
  head->prev->next = node;
  head->prev = node;
}

bool SndFail(int error) {
  gSnd.error.store(error, std::memory_order_relaxed);
  return false;
}

void SndEnter() {
  if (SndGetCurrentThreadId() == gSnd.startupThread.load(std::memory_order_relaxed)) {
    gSnd.error.store(0, std::memory_order_relaxed);
  }
}

void SndLog(const char* text) {
  if (gSnd.host.LogLine) gSnd.host.LogLine(text);
}

// Device lists hold separately allocated copies of the names, at most 255 of them.
static void AddName(char** names, int* count, const char* name) {
  if (*count >= 255 || !name) return;
  size_t bytes = std::strlen(name) + 16;
  char* copy = static_cast<char*>(std::calloc(bytes, 1));
  if (!copy) return;
  std::memcpy(copy, name, bytes - 16);
  names[(*count)++] = copy;
}

void SndAddOutputName(const char* name) { AddName(gSnd.outputNames, &gSnd.outputCount, name); }
void SndAddInputName(const char* name) { AddName(gSnd.inputNames, &gSnd.inputCount, name); }

void SndSetHost(const SndHost& host) {
  SndLockGuard guard(gSnd.lock);
  gSnd.host = host;
}

uint64_t SndGetCurrentThreadId() { return PlatformCurrentThreadId(); }

uint32_t SndGetTimeMs() {
  if (gSnd.steppedClock) return gSnd.steppedMs.load(std::memory_order_relaxed);
  return static_cast<uint32_t>(PlatformNanoseconds() / 1000000u);
}

void SndSleep(uint32_t ms) { PlatformSleep(ms); }

void SndUseSteppedClock(bool stepped) {
  SndLockGuard guard(gSnd.lock);
  if (gSnd.initialised) return;
  gSnd.steppedClock = stepped;
  gSnd.steppedMs = 0;
}

void SndStepClock(uint32_t ms) {
  SndLockGuard guard(gSnd.lock);
  if (!gSnd.steppedClock) return;
  gSnd.steppedMs.fetch_add(ms, std::memory_order_relaxed);
  if (gSnd.initialised) SndMixerRound();
}

// The before-start-up settings clear the error word unconditionally and refuse with error 1
// once the library runs.
static bool EnterSetting() {
  gSnd.error.store(0, std::memory_order_relaxed);
  if (gSnd.initialised) return SndFail(kSndErrAfterStartup);
  return true;
}

bool SndSelectOutput(int type) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (gSnd.initialised) return SndFail(kSndErrAfterStartup);
  gSnd.requestedOutput = type;
  // Automatic: OpenAL (the SDL2 ring on older systems); start-up falls back to 1, then 0.
  if (type == -1) type = SndIsOlderNt() ? 1 : 2;
  if (type != gSnd.outputType || !gSnd.driver) {
    gSnd.outputType = type;
    gSnd.driver = (type >= 0 && type <= 3) ? kDriverForOutput[type] : &gSndNullDriver;
    gSnd.devicesListed = false;
  }
  return true;
}

static void FreeNames(char** names, int* count) {
  for (int i = 0; i < 256; i++) {
    std::free(names[i]);
    names[i] = nullptr;
  }
  *count = 0;
}

bool SndEnumerateOutputs() {
  SndLockGuard guard(gSnd.lock);
  if (!gSnd.driver) return false;
  if (gSnd.devicesListed && gSnd.outputCount != 0) return true;
  FreeNames(gSnd.outputNames, &gSnd.outputCount);
  gSnd.driver->EnumerateOutputs();
  gSnd.devicesListed = true;
  return true;
}

bool SndSelectDriver(int deviceIndex) {
  SndLockGuard guard(gSnd.lock);
  if (!EnterSetting()) return false;
  if (!gSnd.driver) SndSelectOutput(gSnd.outputType);
  SndEnumerateOutputs();
  if (deviceIndex >= 0 && deviceIndex < gSnd.outputCount) {
    gSnd.driverIndex = deviceIndex;
  } else {
    SndSelectOutput(0);
  }
  return true;
}

bool SndSelectMixer(int type) {
  SndLockGuard guard(gSnd.lock);
  if (!EnterSetting()) return false;
  if (type < 0 || type > 8) return SndFail(kSndErrInvalid);
  gSnd.mixerType = type < 4 ? 4 : type;
  return true;
}

bool SndSetBufferTime(int ms) {
  SndLockGuard guard(gSnd.lock);
  if (!EnterSetting()) return false;
  if (ms < 50) ms = 50;
  // A ring of at most 20 s: larger times would overflow the doubled value and the ring's
  // frame count at the highest mix rate.
  if (ms > 10000) ms = 10000;
  gSnd.bufferTime = (ms / 25) * 25 * 2;
  return true;
}

bool SndSetWindow(uintptr_t window) {
  SndLockGuard guard(gSnd.lock);
  if (!EnterSetting()) return false;
  gSnd.window = window;
  return true;
}

static bool SetHardwareBound(int count, int* field) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (gSnd.initialised) return SndFail(kSndErrAfterStartup);
  if (count < 0) return SndFail(kSndErrInvalid);
  *field = count;
  return true;
}

bool SndSetMinHardwareChannels(int count) { return SetHardwareBound(count, &gSnd.minHardwareChannels); }
bool SndSetMaxHardwareChannels(int count) { return SetHardwareBound(count, &gSnd.maxHardwareChannels); }

bool SndGetDriverCaps(int deviceIndex, uint32_t* flags) {
  SndLockGuard guard(gSnd.lock);
  if (!EnterSetting()) return false;
  if (!gSnd.driver) SndSelectOutput(gSnd.outputType);
  SndEnumerateOutputs();
  if (!flags || deviceIndex < 0 || deviceIndex >= gSnd.outputCount) return SndFail(kSndErrInvalid);
  *flags = 0;
  gSnd.driver->GetCaps(flags, deviceIndex);
  return true;
}

int SndGetOutput() { return gSnd.outputType; }
int SndGetDriver() { return gSnd.driverIndex < 0 ? 0 : gSnd.driverIndex; }
int SndGetMixer() { return gSnd.mixerType; }
int SndGetBufferTime() { return gSnd.bufferTime; }
int SndGetMixRate() { return gSnd.mixRate; }
int SndGetChannelCount() { return gSnd.totalChannels; }
int SndGetHardwareChannelCount() { return gSnd.hardwareChannels; }
int SndGetError() { return gSnd.error.load(std::memory_order_relaxed); }
float SndGetVersion() { return 3.33f; }

bool SndIsOlderNt() { return false; }

uint32_t SndProbeVoiceManager(void*, void**) { return kSndResultUnsupported; }
uint32_t SndGetVoiceManagerMode(void*, uint32_t*) { return kSndResultUnsupported; }
uint32_t SndSetVoiceManagerMode(void*, uint32_t, uint32_t*) { return kSndResultUnsupported; }
uint32_t SndGetVoicePriority(void*, uint32_t*) { return kSndResultUnsupported; }
uint32_t SndSetVoicePriority(void*, uint32_t) { return kSndResultUnsupported; }
uint32_t SndGetVoiceState(void*, uint32_t*) { return kSndResultUnsupported; }

int SndGetDriverCount() {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.driver) SndSelectOutput(gSnd.outputType);
  SndEnumerateOutputs();
  return gSnd.outputCount;
}

const char* SndGetDriverName(int index) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.driver) SndSelectOutput(gSnd.outputType);
  SndEnumerateOutputs();
  if (index < 0) index = 0;
  if (index >= gSnd.outputCount) {
    SndFail(kSndErrInvalid);
    return nullptr;
  }
  return gSnd.outputNames[index];
}

int SndGetSampleCapacity() {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.samples) {
    SndFail(kSndErrNotInitialised);
    return 0;
  }
  return gSnd.sampleCapacity;
}

SndSample* SndGetSample(int index) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.samples) {
    SndFail(kSndErrNotInitialised);
    return nullptr;
  }
  if (index < 0 || index >= gSnd.sampleCapacity) {
    SndFail(kSndErrInvalid);
    return nullptr;
  }
  return gSnd.samples[index];
}

// Builds the primary mix buffer and starts it on the primary channel.
static bool StartPrimary() {
  SndSample* primary = SndCreateSampleRecord(-2, kSndHardware | kSndStreamBuffer);
  if (!primary) return false;
  gSnd.primarySample = primary;
  std::snprintf(primary->name, sizeof primary->name, "%s", "VEDADI Primary MixBuffer");
  primary->hardware = true;
  primary->streamBuffer = true;
  primary->loopMode = kSndLoopNormal;
  primary->bits = 16;
  primary->channelMode = kSndStereo;
  primary->length = primary->loopLength = static_cast<uint32_t>(gSndMixer.mixBufferLength);
  primary->defaultFrequency = gSnd.mixRate;
  primary->defaultVolume = 255;
  primary->defaultPan = -1;
  primary->defaultPriority = 255;
  gSnd.driver->InstallSampleOps(primary);
  if (!primary->ops.CreateBuffer(primary)) {
    gSnd.initialised = false;
    return false;
  }
  SndInitChannel(&gSnd.primaryChannel, 0);
  gSnd.driver->InstallVoiceOps(&gSnd.primaryChannel);
  gSnd.primaryChannel.handle = kSndPrimaryChannel;
  gSnd.initialised = true;
  if (SndPlaySoundSimple(kSndPrimaryChannel, primary) == -1) {
    gSnd.initialised = false;
    return false;
  }
  gSnd.primaryChannel.reserved = 1;
  return true;
}

bool SndStartup(int mixRate, int softwareChannels, uint32_t flags) {
  gSnd.error.store(0, std::memory_order_relaxed);
  // The channel index in a handle has 12 bits: more than 4095 channels cannot be addressed.
  if (softwareChannels < 1 || softwareChannels > 4095 || mixRate < 1000 || mixRate > 192000) {
    return SndFail(kSndErrInvalid);
  }
  SndShutdown();
  SndLockGuard guard(gSnd.lock);
  gSnd.initialised = false;
  gSnd.startupThread.store(SndGetCurrentThreadId(), std::memory_order_relaxed);
  gSnd.error.store(0, std::memory_order_relaxed);
  gSnd.sampleCapacity = 256;
  gSnd.softwareChannels = softwareChannels;
  gSnd.mixRate = mixRate;
  gSnd.startupFlags = flags;
  SndSelectOutput(gSnd.requestedOutput);
  const bool automatic = gSnd.requestedOutput == -1;
  bool opened = false;
  for (;;) {
    SndFillDriverDefaults(gSnd.driver);
    gSnd.driver->hardwareVoices = true;
    gSnd.emulatedOutput = false;
    gSnd.hardwareChannels = 0;
    opened = gSnd.driver->Open(mixRate);
    // The automatic output never fails a run for want of a device: OpenAL, the SDL2 ring, none.
    if (opened || !automatic || gSnd.outputType <= 0) break;
    gSnd.outputType--;
    gSnd.driver = kDriverForOutput[gSnd.outputType];
    FreeNames(gSnd.outputNames, &gSnd.outputCount);
    gSnd.devicesListed = false;
    gSnd.error.store(0, std::memory_order_relaxed);
  }
  if (!opened) return false;
  if (gSnd.hardwareChannels != 0 && gSnd.driver->StartEffects() && gSnd.outputType == 2) {
    gSnd.hardwareChannels--;
  }
  if (gSnd.hardwareChannels > gSnd.maxHardwareChannels) gSnd.hardwareChannels = gSnd.maxHardwareChannels;
  if (gSnd.hardwareChannels < gSnd.minHardwareChannels) gSnd.hardwareChannels = 0;
  if (gSnd.hardwareChannels + softwareChannels > 4095) gSnd.hardwareChannels = 4095 - softwareChannels;
  if (gSnd.hardwareChannels < 1) gSnd.driver->hardwareVoices = false;
  if (gSnd.bufferTime == -1) {
    gSnd.bufferTime = (gSnd.outputType == 1 || gSnd.emulatedOutput) ? 400 : 100;
  }
  if (!SndSetupMixer(mixRate)) return false;
  gSnd.totalChannels = gSnd.hardwareChannels + softwareChannels;
  gSnd.samples = static_cast<SndSample**>(std::calloc(static_cast<size_t>(gSnd.sampleCapacity), sizeof(SndSample*)));
  gSnd.channels = new (std::nothrow) SndChannel[static_cast<size_t>(gSnd.totalChannels) + 1]();
  if (!gSnd.samples || !gSnd.channels) return SndFail(kSndErrMemory);
  for (int i = 0; i <= gSnd.totalChannels; i++) SndListInit(&gSnd.channels[i].link);
  for (int i = 0; i < gSnd.totalChannels; i++) {
    SndChannel* channel = &gSnd.channels[i];
    SndInitChannel(channel, i);
    if (i >= softwareChannels) {
      gSnd.driver->InstallVoiceOps(channel);
    } else {
      SndInstallSoftwareVoiceOps(channel);
    }
    channel->ops.Stop(channel);
    channel->ops.SetVolume(channel, 255);
    channel->ops.SetFrequency(channel, 44100);
    channel->ops.SetPan(channel, 128);
  }
  gSnd.softwareRange[0] = 0;
  gSnd.softwareRange[1] = softwareChannels - 1;
  gSnd.softwareRange[2] = 0;
  gSnd.hardwareRange[0] = softwareChannels;
  gSnd.hardwareRange[1] = gSnd.totalChannels - 1;
  gSnd.hardwareRange[2] = softwareChannels;
  if (!StartPrimary()) return false;
  if (!gSnd.steppedClock && !SndStartMixerThread()) {
    gSnd.initialised = false;
    return SndFail(kSndErrMemory);
  }
  if (!SndStreamerStart()) SndLog("Streams unavailable: the feeder could not start");
  SndApply3D();
  return true;
}

bool SndShutdown() {
  SndStopRecording();  // before the samples it writes into are freed
  SndCloseCd();        // its stream goes with the streamer
  SndStreamerStop();   // the feeder takes the lock for each pass: stopped without holding it
  gSnd.error.store(0, std::memory_order_relaxed);
  {
    SndLockGuard guard(gSnd.lock);
    if (gSnd.initialised) {
      gSnd.devicesListed = false;
      gSnd.bufferTime = -1;
      SndStopAllSongs();
      SndStopAllChannels();
    }
  }
  // The mixer thread takes the lock for each round, so it is stopped without holding it.
  SndStopMixerThread();
  SndLockGuard guard(gSnd.lock);
  if (gSnd.primarySample && gSnd.primaryChannel.sample) gSnd.primaryChannel.ops.Stop(&gSnd.primaryChannel);
  gSnd.primaryChannel.sample = nullptr;
  gSnd.initialised = false;
  SndTearDownMixer();
  if (gSnd.primarySample) {
    gSnd.primarySample->ops.FreeBuffer(gSnd.primarySample);
    delete gSnd.primarySample;
    gSnd.primarySample = nullptr;
  }
  SndFreeAllSamples();
  if (gSnd.driver && gSnd.driver->Close) gSnd.driver->Close();
  delete[] gSnd.channels;
  gSnd.channels = nullptr;
  gSnd.totalChannels = gSnd.softwareChannels = gSnd.hardwareChannels = 0;
  gSnd.softwareRange[1] = gSnd.hardwareRange[1] = -1;
  FreeNames(gSnd.outputNames, &gSnd.outputCount);
  gSnd.devicesListed = false;
  FreeNames(gSnd.inputNames, &gSnd.inputCount);
  SndReset3D();
  return true;
}
