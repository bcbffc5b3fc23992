// The OpenAL output driver (output type 2): the software mix is streamed through one OpenAL
// source, block by block from the primary ring. The device is the system's default, or a
// loopback device that renders into memory (tests and offline renders).
#include <cstdlib>
#include <cstring>

#include "platform/audio.h"
#include "sound/drivers/openal_local.h"

OpenAl gAl;

namespace {

void CloseDevice() {
  if (gAl.context) {
    alcMakeContextCurrent(gAl.context);
    AlStopEffects();
    AlCloseVoices();
    if (gAl.source) {
      alSourceStop(gAl.source);
      alSourcei(gAl.source, AL_BUFFER, 0);
      alDeleteSources(1, &gAl.source);
    }
    alDeleteBuffers(kAlQueuedBlocks, gAl.buffers);
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(gAl.context);
  }
  if (gAl.device) alcCloseDevice(gAl.device);
  if (gSnd.driver == &gSndOpenAlDriver) gSnd.driver->hardwareVoices = false;
  OpenAl closed;
  closed.target = gAl.target;
  closed.effectsLimit = gAl.effectsLimit;
  gAl = closed;
}

bool OpenDevice(int mixRate) {
  if (gAl.target == kSndOpenAlMissing) return false;
  if (gAl.target == kSndOpenAlLoopback) {
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) return false;
    auto open = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    gAl.render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    if (!open || !gAl.render) return false;
    gAl.device = open(nullptr);
    if (!gAl.device) return false;
    // No head-related filtering: offline renders pan by level alone, the same on every machine.
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_SHORT_SOFT,
                                 ALC_FREQUENCY, mixRate, ALC_HRTF_SOFT, ALC_FALSE, 0};
    gAl.context = alcCreateContext(gAl.device, attributes);
  } else {
    // A run told to play into SDL's dummy or disk device (headless tests) wants no sound card
    // probed: the automatic output goes on to that device.
    const char* sdl = std::getenv("SDL_AUDIODRIVER");
    if (sdl && (std::strcmp(sdl, "dummy") == 0 || std::strcmp(sdl, "disk") == 0)) return false;
    PlatformQuietSoundSystemLogs();
    gAl.device = alcOpenDevice(nullptr);
    if (!gAl.device) return false;
    const ALCint attributes[] = {ALC_FREQUENCY, mixRate, 0};
    gAl.context = alcCreateContext(gAl.device, attributes);
  }
  if (!gAl.context || !alcMakeContextCurrent(gAl.context)) return false;
  alGetError();
  alGenSources(1, &gAl.source);
  alGenBuffers(kAlQueuedBlocks, gAl.buffers);
  if (alGetError() != AL_NO_ERROR) return false;
  // The mix is already panned: the source plays it as it is, wherever the listener stands.
  alSourcei(gAl.source, AL_SOURCE_RELATIVE, AL_TRUE);
  alSource3f(gAl.source, AL_POSITION, 0, 0, 0);
  alSourcef(gAl.source, AL_ROLLOFF_FACTOR, 0);
  if (alGetError() != AL_NO_ERROR) return false;
  gAl.liveSources = 1;
  gAl.efx = alcIsExtensionPresent(gAl.device, "ALC_EXT_EFX") == ALC_TRUE && gAl.effectsLimit > 0;
  return true;
}

// Hardware voices: one source each, as many as the device mixes beside the stream (at most
// kAlMaxVoices), kept only when a hardware sample can be made without using one up.
int OpenVoices() {
  ALCint mono = 0;
  alcGetIntegerv(gAl.device, ALC_MONO_SOURCES, 1, &mono);
  int count = mono - 1 < kAlMaxVoices ? mono - 1 : kAlMaxVoices;
  if (count < 1 || !AlOpenVoices(count)) return 0;
  if (!AlHardwareTest()) {
    AlCloseVoices();
    return 0;
  }
  return int(gAl.voices.size());
}

bool AlOpen(int mixRate) {
  // The device first: listing it probes the sound system, which a refused device never does.
  const bool opened = OpenDevice(mixRate);
  if (opened) SndEnumerateOutputs();
  if (!opened || gSnd.outputCount == 0) {
    CloseDevice();
    return SndFail(kSndErrNoOutput);
  }
  alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
  alSpeedOfSound(340.0f);
  gSnd.hardwareChannels = gSnd.driver->hardwareVoices ? OpenVoices() : 0;
  if (gSnd.hardwareChannels == 0) gSnd.driver->hardwareVoices = false;
  // The probe's sample may have left an error behind; a start that succeeds reports none.
  gSnd.error.store(0, std::memory_order_relaxed);
  return true;
}

void AlEnumerateOutputs() {
  if (gAl.target == kSndOpenAlMissing) return;
  PlatformQuietSoundSystemLogs();
  const ALCchar* name = alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER);
  SndAddOutputName(gAl.target == kSndOpenAlLoopback ? "OpenAL loopback" : (name && *name ? name : "OpenAL"));
}

bool RingCreate(SndSample* sample) {
  std::free(sample->data);
  sample->data = static_cast<uint8_t*>(std::calloc(size_t(sample->length) * SndFrameBytes(sample) + 16u, 1));
  if (!sample->data) return SndFail(kSndErrMemory);
  sample->hardwareBuffer = sample->data;
  return true;
}

void RingFree(SndSample* sample) {
  if (gAl.source && gAl.context) {
    alcMakeContextCurrent(gAl.context);
    alSourceStop(gAl.source);
  }
  gAl.streaming = false;
  gAl.ring = nullptr;
  std::free(sample->data);
  sample->data = nullptr;
  sample->hardwareBuffer = nullptr;
}

bool RingUpload(SndSample*, const void*, uint32_t, uint32_t) { return true; }
bool RingUnlock(SndSample*, void*, void*, uint32_t, uint32_t) { return true; }

// The primary ring streams the mix; other hardware samples get buffers of their own, except
// stream samples, which the feeder rewrites while they play: those stay in software.
void AlInstallSampleOps(SndSample* sample) {
  if (sample == gSnd.primarySample) {
    sample->ops = {RingCreate, RingFree, RingUpload, SndRingLock, RingUnlock};
  } else if (sample->streamBuffer) {
    SndInstallSoftwareSampleOps(sample);
  } else {
    AlInstallHardwareSampleOps(sample);
  }
}

// Hands the source the ring's blocks at the cursor while it has fewer than kAlQueuedBlocks
// waiting; the cursor is the play position the mixer sees, so it remixes the blocks behind it.
uint64_t StreamPosition(SndChannel*) {
  if (!gAl.streaming || !gAl.context) return gAl.submitted;
  alcMakeContextCurrent(gAl.context);
  ALint processed = 0;
  alGetSourcei(gAl.source, AL_BUFFERS_PROCESSED, &processed);
  while (processed-- > 0) {
    ALuint buffer = 0;
    alSourceUnqueueBuffers(gAl.source, 1, &buffer);
    gAl.freeBuffers.push_back(buffer);
  }
  const uint32_t block = uint32_t(gSndMixer.blockLength);
  while (!gAl.freeBuffers.empty() && block > 0 && gAl.ringFrames >= block) {
    ALuint buffer = gAl.freeBuffers.back();
    gAl.freeBuffers.pop_back();
    uint32_t at = uint32_t(gAl.submitted % gAl.ringFrames);
    alBufferData(buffer, AL_FORMAT_STEREO16, gAl.ring + size_t(at) * 2, ALsizei(block * 4), gSnd.mixRate);
    alSourceQueueBuffers(gAl.source, 1, &buffer);
    gAl.submitted += block;
  }
  ALint state = 0;
  alGetSourcei(gAl.source, AL_SOURCE_STATE, &state);
  if (state != AL_PLAYING) alSourcePlay(gAl.source);  // first start, or after running dry
  return gAl.submitted;
}

bool StreamStart(SndDspUnit*, SndChannel*, SndSample* sample) {
  if (!sample->data || !gAl.context) return false;
  gAl.ring = reinterpret_cast<const int16_t*>(sample->data);
  gAl.ringFrames = sample->length;
  gAl.submitted = 0;
  gAl.freeBuffers.assign(gAl.buffers, gAl.buffers + kAlQueuedBlocks);
  gAl.streaming = true;
  StreamPosition(nullptr);  // the first silent blocks, so the mixer starts filling behind them
  return true;
}

bool StreamStop(SndChannel*) {
  if (gAl.context) {
    alcMakeContextCurrent(gAl.context);
    alSourceStop(gAl.source);
    alSourcei(gAl.source, AL_BUFFER, 0);
  }
  gAl.streaming = false;
  return true;
}

bool StreamNotPlaying(SndChannel*) { return false; }

void AlInstallVoiceOps(SndChannel* channel) {
  if (channel != &gSnd.primaryChannel) return AlInstallHardwareVoiceOps(channel);
  SndInstallNullVoiceOps(channel);
  channel->ops.Start = StreamStart;
  channel->ops.Stop = StreamStop;
  channel->ops.GetPosition = StreamPosition;
  channel->ops.IsPlaying = StreamNotPlaying;
}

// Capabilities of the device the library would open: 1 hardware voices, 2 reverb environments,
// 16 their full parameter set. Asked before start-up only, so no device of ours is open.
void AlGetCaps(uint32_t* flags, int) {
  if (gAl.device) return;
  bool hardwareWas = gSnd.driver->hardwareVoices;
  gSnd.driver->hardwareVoices = true;
  if (OpenDevice(44100) && OpenVoices() > 0) {
    *flags |= 1;
    if (AlStartEffects()) *flags |= gAl.eaxLevel >= 2 ? 2 | 16 : 2;
  }
  CloseDevice();
  gSnd.driver->hardwareVoices = hardwareWas;
}

}  // namespace

void SndOpenAlUseTarget(int target) { gAl.target = target; }
void SndOpenAlLimitEffects(int level) { gAl.effectsLimit = level; }

void SndOpenAlCountObjects(int* sources, int* buffers, int* filters) {
  SndLockGuard guard(gSnd.lock);
  *sources = gAl.liveSources;
  *buffers = gAl.liveBuffers;
  *filters = gAl.liveFilters;
}

bool SndOpenAlRender(int16_t* out, int frames) {
  SndLockGuard guard(gSnd.lock);
  if (!gAl.render || !gAl.device || gAl.target != kSndOpenAlLoopback) return false;
  gAl.render(gAl.device, out, frames);
  return true;
}

// Recording stays with SDL2's capture, as on the device output.
static SndOutputDriver MakeOpenAlDriver() {
  SndOutputDriver driver = gSndDeviceDriver;  // constant-initialised, so ready before this runs
  driver.name = "OpenAL Output";
  driver.EnumerateOutputs = AlEnumerateOutputs;
  driver.Open = AlOpen;
  driver.Close = CloseDevice;
  driver.InstallSampleOps = AlInstallSampleOps;
  driver.InstallVoiceOps = AlInstallVoiceOps;
  driver.GetCaps = AlGetCaps;
  driver.SetListener = AlSetListener;
  driver.GetListener = AlGetListener;
  driver.SetDopplerFactor = AlSetDopplerFactor;
  driver.SetDistanceScale = AlSetDistanceScale;
  driver.SetRolloff = AlSetRolloff;
  driver.StartEffects = AlStartEffects;
  driver.SetEnvironment = AlSetEnvironment;
  driver.SetEnvironmentFull = AlSetEnvironmentFull;
  driver.GetEnvironment = AlGetEnvironment;
  driver.GetEnvironmentFull = AlGetEnvironmentFull;
  return driver;
}

SndOutputDriver gSndOpenAlDriver = MakeOpenAlDriver();
