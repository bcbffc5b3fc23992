// Hardware voices of the OpenAL output: each hardware channel owns one source, and a hardware
// sample keeps its PCM (the mixer can still play it on a software channel) beside an OpenAL
// buffer made from it. Positions turn from the library's left-handed axes to OpenAL's.
#include <cmath>
#include <cstring>
#include <new>

#include "sound/drivers/openal_local.h"

namespace {

constexpr int kErrBufferFailed = 8;   // OpenAL made no buffer
constexpr int kErrNoBuffer = 12;      // the sample has no OpenAL buffer

// Attenuation of each library volume 0..255, in hundredths of a decibel (0 silent, 255 full).
const int16_t kVolumeTable[256] = {
    -10000, -7678, -6830, -6299, -5912, -5607, -5356, -5142, -4955, -4790, -4642, -4508, -4385, -4272, -4167, -4069,
    -3977, -3891, -3810, -3733, -3660, -3590, -3524, -3460, -3400, -3341, -3285, -3231, -3179, -3129, -3081, -3034,
    -2988, -2944, -2901, -2860, -2820, -2780, -2742, -2705, -2669, -2633, -2599, -2565, -2532, -2500, -2468, -2437,
    -2407, -2377, -2348, -2320, -2292, -2265, -2238, -2212, -2186, -2160, -2135, -2111, -2087, -2063, -2039, -2017,
    -1994, -1972, -1950, -1928, -1907, -1886, -1865, -1845, -1825, -1805, -1785, -1766, -1747, -1728, -1709, -1691,
    -1673, -1655, -1638, -1620, -1603, -1586, -1569, -1552, -1536, -1520, -1504, -1488, -1472, -1456, -1441, -1426,
    -1411, -1396, -1381, -1367, -1352, -1338, -1324, -1310, -1296, -1282, -1268, -1255, -1241, -1228, -1215, -1202,
    -1189, -1176, -1163, -1151, -1138, -1126, -1114, -1102, -1090, -1078, -1066, -1054, -1042, -1031, -1019, -1008,
    -997, -985, -974, -963, -952, -942, -931, -920, -909, -899, -888, -878, -868, -857, -847, -837,
    -827, -817, -807, -797, -788, -778, -768, -759, -749, -740, -730, -721, -712, -703, -693, -684,
    -675, -666, -657, -649, -640, -631, -622, -614, -605, -596, -588, -580, -571, -563, -554, -546,
    -538, -530, -522, -514, -506, -498, -490, -482, -474, -466, -458, -451, -443, -435, -428, -420,
    -413, -405, -398, -390, -383, -376, -368, -361, -354, -347, -340, -332, -325, -318, -311, -304,
    -297, -290, -284, -277, -270, -263, -256, -250, -243, -236, -230, -223, -217, -210, -203, -197,
    -191, -184, -178, -171, -165, -159, -152, -146, -140, -134, -128, -121, -115, -109, -103, -97,
    -91, -85, -79, -73, -67, -61, -56, -50, -44, -38, -32, -27, -21, -14, -5, 0,
};

// A hardware sample's OpenAL side.
struct AlBuffer {
  ALuint id = 0;
  int frequency = 44100;  // the rate its data was given at; pitch is relative to it
};

SndSampleOps gSoftOps;  // the software operations a hardware sample keeps for its PCM

AlBuffer* BufferOf(const SndSample* sample) { return static_cast<AlBuffer*>(sample->hardwareBuffer); }

// The voice number (1-based) is kept in the channel's first driver word; 0 = no source.
ALuint SourceOf(const SndChannel* channel) {
  uint32_t n = channel->driverVoice[0];
  return n >= 1 && n <= gAl.voices.size() ? gAl.voices[n - 1] : 0;
}

// OpenAL looks down -z with +x to its right; the library looks down +z with +x to its right.
void ToAl(const SndVector3& v, ALfloat out[3]) {
  out[0] = v.x;
  out[1] = v.y;
  out[2] = -v.z;
}
SndVector3 FromAl(const ALfloat v[3]) { return {v[0], v[1], -v[2]}; }

// Gives the sample's PCM to its buffer (8-bit data turned unsigned, as OpenAL plays it). A
// buffer that a voice still plays cannot take new data: the data goes into a fresh buffer and
// the old one is deleted once no voice plays it.
bool Refresh(SndSample* sample) {
  AlBuffer* buffer = BufferOf(sample);
  if (!buffer || !sample->data) return SndFail(kErrNoBuffer);
  const uint32_t bytes = sample->length * SndFrameBytes(sample);
  const bool stereo = sample->channelMode == kSndStereo;
  ALenum format = sample->bits == 16 ? (stereo ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16)
                                     : (stereo ? AL_FORMAT_STEREO8 : AL_FORMAT_MONO8);
  const void* pcm = sample->data;
  std::vector<uint8_t> unsignedCopy;
  if (sample->bits == 8) {
    unsignedCopy.assign(sample->data, sample->data + bytes);
    for (uint8_t& b : unsignedCopy) b ^= 0x80;
    pcm = unsignedCopy.data();
  }
  const int frequency = sample->defaultFrequency > 0 ? sample->defaultFrequency : 44100;
  alGetError();
  alBufferData(buffer->id, format, pcm, ALsizei(bytes), frequency);
  if (alGetError() != AL_NO_ERROR) {
    ALuint fresh = AlGenBuffer();
    if (!fresh) return SndFail(kErrBufferFailed);
    alBufferData(fresh, format, pcm, ALsizei(bytes), frequency);
    if (alGetError() != AL_NO_ERROR) {
      AlDeleteBuffer(fresh);
      return SndFail(kErrBufferFailed);
    }
    AlDeleteBuffer(buffer->id);
    buffer->id = fresh;
  }
  buffer->frequency = frequency;
  return true;
}

bool HwCreateBuffer(SndSample* sample) {
  if (!gSoftOps.CreateBuffer(sample)) return false;
  auto* buffer = new (std::nothrow) AlBuffer();
  if (!buffer) return SndFail(kSndErrMemory);
  buffer->id = AlGenBuffer();
  if (!buffer->id) {
    delete buffer;
    return SndFail(kErrBufferFailed);
  }
  sample->hardwareBuffer = buffer;
  return Refresh(sample);
}

void HwFreeBuffer(SndSample* sample) {
  if (AlBuffer* buffer = BufferOf(sample)) {
    AlDeleteBuffer(buffer->id);
    delete buffer;
    sample->hardwareBuffer = nullptr;
  }
  AlDeleteRetiredBuffers();
  gSoftOps.FreeBuffer(sample);
}

bool HwUpload(SndSample* sample, const void* data, uint32_t dataBytes, uint32_t mode) {
  if (!BufferOf(sample)) return SndFail(kErrNoBuffer);
  return gSoftOps.Upload(sample, data, dataBytes, mode) && Refresh(sample);
}

// A lock hands out the PCM as the library writes it (signed); the unlock gives it to OpenAL.
// Nothing is converted in place, so a lock that only reads leaves the data as it was.
bool HwLock(SndSample* sample, int64_t offset, int64_t length, void** first, void** second,
            uint32_t* firstLength, uint32_t* secondLength) {
  if (!BufferOf(sample)) return SndFail(kErrNoBuffer);
  return gSoftOps.Lock(sample, offset, length, first, second, firstLength, secondLength);
}

bool HwUnlock(SndSample* sample, void*, void*, uint32_t, uint32_t) {
  if (!BufferOf(sample)) return SndFail(kErrNoBuffer);
  return Refresh(sample);
}

// --- Voice operations ---

bool VoiceStop(SndChannel* channel) {
  if (ALuint source = SourceOf(channel)) {
    alSourceStop(source);
    alSourcei(source, AL_BUFFER, 0);
  }
  AlDeleteRetiredBuffers();
  return true;
}

bool VoicePrepare(SndChannel* channel, SndSample* sample) {
  ALuint source = SourceOf(channel);
  if (!source || !sample || !BufferOf(sample)) return SndFail(kSndErrInvalid);
  VoiceStop(channel);
  alGetError();
  alSourcei(source, AL_BUFFER, ALint(BufferOf(sample)->id));
  alSourcef(source, AL_REFERENCE_DISTANCE, sample->minDistance);
  alSourcef(source, AL_MAX_DISTANCE, sample->maxDistance);
  alSourcef(source, AL_ROLLOFF_FACTOR, gAl.rolloff);
  alSourcef(source, AL_PITCH, 1.0f);
  // A new sound starts where the listener is, standing still.
  SndVector3 listener;
  SndListenerPosition(&listener);
  ALfloat at[3];
  ToAl(listener, at);
  alSourcefv(source, AL_POSITION, at);
  alSource3f(source, AL_VELOCITY, 0, 0, 0);
  if (alGetError() != AL_NO_ERROR) return SndFail(kSndErrVoiceStart);
  return true;
}

ALint StateOf(ALuint source) {
  ALint state = AL_INITIAL;
  alGetSourcei(source, AL_SOURCE_STATE, &state);
  return state;
}

// Plays from the start or from a pause, never again from the end of a finished sound.
void Resume(ALuint source) {
  ALint state = StateOf(source);
  if (state == AL_INITIAL || state == AL_PAUSED) alSourcePlay(source);
}

// The start offset (as a software voice takes it: one at or past the loop end starts at 0)
// goes to the source before it plays.
bool VoiceStart(SndDspUnit*, SndChannel* channel, SndSample*) {
  ALuint source = SourceOf(channel);
  if (!source) return SndFail(kSndErrInvalid);
  alSourcei(source, AL_LOOPING, channel->loopMode == kSndLoopNormal || channel->loopMode == kSndLoopBidi);
  const int offset = channel->startOffset;
  channel->startOffset = 0;
  if (offset > 0 && static_cast<uint32_t>(offset) < channel->loopStart + channel->loopLength) {
    alSourcei(source, AL_SAMPLE_OFFSET, offset);
  }
  if (!channel->paused) Resume(source);
  return true;
}

bool VoiceSetFrequency(SndChannel* channel, int hz) {
  hz = hz < 100 ? 100 : hz > 705600 ? 705600 : hz;
  channel->voiceFrequency = hz;
  ALuint source = SourceOf(channel);
  if (source && channel->sample && BufferOf(channel->sample)) {
    alSourcef(source, AL_PITCH, float(hz) / float(BufferOf(channel->sample)->frequency));
  }
  return true;
}

bool VoiceSetVolume(SndChannel* channel, int volume) {
  volume = volume < 0 ? 0 : volume > 255 ? 255 : volume;
  if (!channel->mute) channel->voiceVolume = volume;
  ALuint source = SourceOf(channel);
  if (!source) return SndFail(kSndErrInvalid);
  alSourcef(source, AL_GAIN, AlGainOf(kVolumeTable[volume]));
  return true;
}

bool VoiceSetPan(SndChannel*, int) { return true; }  // a 3D voice's side comes from its position

bool VoiceSetPaused(SndChannel* channel, bool paused) {
  ALuint source = SourceOf(channel);
  if (!source || !channel->sample) return SndFail(kSndErrInvalid);
  if (paused) {
    if (StateOf(source) == AL_PLAYING) alSourcePause(source);
  } else if (channel->paused) {
    Resume(source);
  }
  return true;
}

uint64_t VoicePosition(SndChannel* channel) {
  ALuint source = SourceOf(channel);
  if (!source || !channel->sample) return 0;
  ALint offset = 0;
  alGetSourcei(source, AL_SAMPLE_OFFSET, &offset);
  return offset > 0 ? uint64_t(offset) : 0;
}

float VoiceLevel(SndChannel*) { return 0.0f; }

bool VoiceIsPlaying(SndChannel* channel) {
  ALuint source = SourceOf(channel);
  if (!source) return SndFail(kSndErrInvalid);
  ALint state = StateOf(source);
  return state == AL_PLAYING || state == AL_PAUSED;
}

bool VoiceSet3D(SndChannel* channel, const SndVector3* position, const SndVector3* velocity) {
  ALuint source = SourceOf(channel);
  if (!source) return SndFail(kSndErrInvalid);
  ALfloat v[3];
  if (position) {
    channel->position3D = *position;
    ToAl(*position, v);
    alSourcefv(source, AL_POSITION, v);
  }
  if (velocity) {
    channel->velocity3D = *velocity;
    ToAl(*velocity, v);
    alSourcefv(source, AL_VELOCITY, v);
  }
  return true;
}

bool VoiceGet3D(SndChannel* channel, SndVector3* position, SndVector3* velocity) {
  ALuint source = SourceOf(channel);
  if (!source) return SndFail(kSndErrInvalid);
  ALfloat v[3];
  if (position) {
    alGetSourcefv(source, AL_POSITION, v);
    *position = FromAl(v);
  }
  if (velocity) {
    alGetSourcefv(source, AL_VELOCITY, v);
    *velocity = FromAl(v);
  }
  return true;
}

}  // namespace

float AlGainOf(int hundredthsOfDb) {
  return hundredthsOfDb <= -10000 ? 0.0f : std::pow(10.0f, float(hundredthsOfDb) / 2000.0f);
}

int AlVolumeTable(int volume) { return kVolumeTable[volume < 0 ? 0 : volume > 255 ? 255 : volume]; }

ALuint AlSourceOf(const SndChannel* channel) { return SourceOf(channel); }

ALuint AlGenBuffer() {
  ALuint buffer = 0;
  alGetError();
  alGenBuffers(1, &buffer);
  if (alGetError() != AL_NO_ERROR) return 0;
  gAl.liveBuffers++;
  return buffer;
}

void AlDeleteBuffer(ALuint buffer) {
  if (!buffer) return;
  alGetError();
  alDeleteBuffers(1, &buffer);
  if (alGetError() == AL_NO_ERROR) {
    gAl.liveBuffers--;
  } else {
    gAl.retired.push_back(buffer);
  }
}

void AlDeleteRetiredBuffers() {
  std::vector<ALuint> waiting;
  waiting.swap(gAl.retired);
  for (ALuint buffer : waiting) AlDeleteBuffer(buffer);
}

bool AlOpenVoices(int count) {
  for (int i = 0; i < count; i++) {
    ALuint source = 0;
    alGetError();
    alGenSources(1, &source);
    if (alGetError() != AL_NO_ERROR) break;
    gAl.voices.push_back(source);
    gAl.liveSources++;
  }
  gAl.rolloff = 1.0f;
  return !gAl.voices.empty();
}

void AlCloseVoices() {
  for (ALuint source : gAl.voices) {
    alSourceStop(source);
    alSourcei(source, AL_BUFFER, 0);
  }
  AlDeleteRetiredBuffers();
  if (!gAl.voices.empty()) alDeleteSources(ALsizei(gAl.voices.size()), gAl.voices.data());
  gAl.liveSources -= int(gAl.voices.size());
  gAl.voices.clear();
}

void AlInstallHardwareSampleOps(SndSample* sample) {
  SndInstallSoftwareSampleOps(sample);
  gSoftOps = sample->ops;
  sample->ops = {HwCreateBuffer, HwFreeBuffer, HwUpload, HwLock, HwUnlock};
}

void AlInstallHardwareVoiceOps(SndChannel* channel) {
  const int n = channel->index - gSnd.softwareChannels;
  channel->driverVoice[0] = n >= 0 && n < int(gAl.voices.size()) ? uint32_t(n + 1) : 0;
  channel->ops = {VoicePrepare,  VoiceStart,     VoiceStop,     VoiceSetFrequency, VoiceSetVolume,
                  VoiceSetPan,   VoiceSetPaused, VoicePosition, VoiceLevel,        VoiceIsPlaying,
                  VoiceSet3D,    VoiceGet3D,     AlSetEffectMix};
}

// The probe of the open: a hardware sample of 4096 frames gets its buffer and gives it back.
bool AlHardwareTest() {
  SndSample* probe = SndCreateSampleRecord(-2, kSndHardware | kSnd16Bits | kSndMono);
  if (!probe) return false;
  probe->bits = 16;
  probe->length = 4096;
  probe->loopStart = 256;
  probe->loopLength = 1;
  probe->hardware = true;
  const bool made = probe->ops.CreateBuffer(probe);
  probe->ops.FreeBuffer(probe);
  delete probe;
  return made;
}

void AlSetListener(const SndVector3* position, const SndVector3* velocity, const SndVector3* forward,
                   const SndVector3* top) {
  if (!gAl.context) return;
  ALfloat v[3];
  if (position) {
    ToAl(*position, v);
    alListenerfv(AL_POSITION, v);
  }
  if (velocity) {
    ToAl(*velocity, v);
    alListenerfv(AL_VELOCITY, v);
  }
  if (forward && top) {
    ALfloat orientation[6];
    ToAl(*forward, orientation);
    ToAl(*top, orientation + 3);
    alListenerfv(AL_ORIENTATION, orientation);
  }
}

void AlGetListener(SndVector3* position, SndVector3* velocity, float orientation[6]) {
  if (!gAl.context) return;
  ALfloat v[6];
  if (position) {
    alGetListenerfv(AL_POSITION, v);
    *position = FromAl(v);
  }
  if (velocity) {
    alGetListenerfv(AL_VELOCITY, v);
    *velocity = FromAl(v);
  }
  if (orientation) {
    alGetListenerfv(AL_ORIENTATION, v);
    const SndVector3 forward = FromAl(v), top = FromAl(v + 3);
    const float out[6] = {forward.x, forward.y, forward.z, top.x, top.y, top.z};
    std::memcpy(orientation, out, sizeof out);
  }
}

void AlSetDopplerFactor(float factor) {
  if (gAl.context && factor >= 0.0f && std::isfinite(factor)) alDopplerFactor(factor);
}

// The speed of sound is 340 units per second at scale 1, as in the software 3D.
void AlSetDistanceScale(float scale) {
  if (gAl.context && scale > 0.0f && std::isfinite(scale)) alSpeedOfSound(340.0f * scale);
}

// Clamped as the software 3D clamps it, then given to every voice.
void AlSetRolloff(float factor) {
  if (!gAl.context || std::isnan(factor)) return;
  gAl.rolloff = factor < 0.00001f ? 0.00001f : factor > 10.0f ? 10.0f : factor;
  for (ALuint source : gAl.voices) alSourcef(source, AL_ROLLOFF_FACTOR, gAl.rolloff);
}
