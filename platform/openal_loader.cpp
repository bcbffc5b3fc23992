// OpenAL, loaded when a program first asks for the OpenAL output: linked in, it (and the
// sndio library under it) was mapped at every start, and a built game could not start on a
// machine without it.
// A new al or alc call needs its line here: without it the link fails naming it.
#define AL_ALEXT_PROTOTYPES 1
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx.h>

#include "platform/lazy_library.h"

// The entry points are defined here with the library's signatures and forwarded to it.
// Without the library no device opens (alcOpenDevice answers null), so the sound library
// falls back to its SDL output.
static void* Library() {
  static void* const handle = OpenLazyLibrary("libopenal.so.1");
  return handle;
}

ALvoid alAuxiliaryEffectSloti(ALuint effectslot, ALenum param, ALint iValue) {
  QV_FORWARD(alAuxiliaryEffectSloti, ALvoid(), effectslot, param, iValue);
}
void alBufferData(ALuint buffer, ALenum format, const ALvoid* data, ALsizei size, ALsizei freq) {
  QV_FORWARD(alBufferData, void(), buffer, format, data, size, freq);
}
ALvoid alDeleteAuxiliaryEffectSlots(ALsizei n, const ALuint* effectslots) {
  QV_FORWARD(alDeleteAuxiliaryEffectSlots, ALvoid(), n, effectslots);
}
void alDeleteBuffers(ALsizei n, const ALuint* buffers) { QV_FORWARD(alDeleteBuffers, void(), n, buffers); }
ALvoid alDeleteEffects(ALsizei n, const ALuint* effects) { QV_FORWARD(alDeleteEffects, ALvoid(), n, effects); }
ALvoid alDeleteFilters(ALsizei n, const ALuint* filters) { QV_FORWARD(alDeleteFilters, ALvoid(), n, filters); }
void alDeleteSources(ALsizei n, const ALuint* sources) { QV_FORWARD(alDeleteSources, void(), n, sources); }
void alDistanceModel(ALenum distanceModel) { QV_FORWARD(alDistanceModel, void(), distanceModel); }
void alDopplerFactor(ALfloat value) { QV_FORWARD(alDopplerFactor, void(), value); }
ALvoid alEffectf(ALuint effect, ALenum param, ALfloat flValue) {
  QV_FORWARD(alEffectf, ALvoid(), effect, param, flValue);
}
ALvoid alEffecti(ALuint effect, ALenum param, ALint iValue) {
  QV_FORWARD(alEffecti, ALvoid(), effect, param, iValue);
}
ALvoid alFilterf(ALuint filter, ALenum param, ALfloat flValue) {
  QV_FORWARD(alFilterf, ALvoid(), filter, param, flValue);
}
ALvoid alFilteri(ALuint filter, ALenum param, ALint iValue) {
  QV_FORWARD(alFilteri, ALvoid(), filter, param, iValue);
}
ALvoid alGenAuxiliaryEffectSlots(ALsizei n, ALuint* effectslots) {
  QV_FORWARD(alGenAuxiliaryEffectSlots, ALvoid(), n, effectslots);
}
void alGenBuffers(ALsizei n, ALuint* buffers) { QV_FORWARD(alGenBuffers, void(), n, buffers); }
ALvoid alGenEffects(ALsizei n, ALuint* effects) { QV_FORWARD(alGenEffects, ALvoid(), n, effects); }
ALvoid alGenFilters(ALsizei n, ALuint* filters) { QV_FORWARD(alGenFilters, ALvoid(), n, filters); }
void alGenSources(ALsizei n, ALuint* sources) { QV_FORWARD(alGenSources, void(), n, sources); }
ALenum alGetError() { QV_FORWARD(alGetError, ALenum()); }
ALvoid alGetFilterf(ALuint filter, ALenum param, ALfloat* pflValue) {
  QV_FORWARD(alGetFilterf, ALvoid(), filter, param, pflValue);
}
void alGetListenerfv(ALenum param, ALfloat* values) { QV_FORWARD(alGetListenerfv, void(), param, values); }
void alGetSourcefv(ALuint source, ALenum param, ALfloat* values) {
  QV_FORWARD(alGetSourcefv, void(), source, param, values);
}
void alGetSourcei(ALuint source, ALenum param, ALint* value) {
  QV_FORWARD(alGetSourcei, void(), source, param, value);
}
void alListenerfv(ALenum param, const ALfloat* values) { QV_FORWARD(alListenerfv, void(), param, values); }
void alSource3f(ALuint source, ALenum param, ALfloat value1, ALfloat value2, ALfloat value3) {
  QV_FORWARD(alSource3f, void(), source, param, value1, value2, value3);
}
void alSource3i(ALuint source, ALenum param, ALint value1, ALint value2, ALint value3) {
  QV_FORWARD(alSource3i, void(), source, param, value1, value2, value3);
}
void alSourcePause(ALuint source) { QV_FORWARD(alSourcePause, void(), source); }
void alSourcePlay(ALuint source) { QV_FORWARD(alSourcePlay, void(), source); }
void alSourceQueueBuffers(ALuint source, ALsizei nb, const ALuint* buffers) {
  QV_FORWARD(alSourceQueueBuffers, void(), source, nb, buffers);
}
void alSourceStop(ALuint source) { QV_FORWARD(alSourceStop, void(), source); }
void alSourceUnqueueBuffers(ALuint source, ALsizei nb, ALuint* buffers) {
  QV_FORWARD(alSourceUnqueueBuffers, void(), source, nb, buffers);
}
void alSourcef(ALuint source, ALenum param, ALfloat value) { QV_FORWARD(alSourcef, void(), source, param, value); }
void alSourcefv(ALuint source, ALenum param, const ALfloat* values) {
  QV_FORWARD(alSourcefv, void(), source, param, values);
}
void alSourcei(ALuint source, ALenum param, ALint value) { QV_FORWARD(alSourcei, void(), source, param, value); }
void alSpeedOfSound(ALfloat value) { QV_FORWARD(alSpeedOfSound, void(), value); }
ALCboolean alcCloseDevice(ALCdevice* device) { QV_FORWARD(alcCloseDevice, ALCboolean(), device); }
ALCcontext* alcCreateContext(ALCdevice* device, const ALCint* attrlist) {
  QV_FORWARD(alcCreateContext, nullptr, device, attrlist);
}
void alcDestroyContext(ALCcontext* context) { QV_FORWARD(alcDestroyContext, void(), context); }
void alcGetIntegerv(ALCdevice* device, ALCenum param, ALCsizei size, ALCint* values) {
  QV_FORWARD(alcGetIntegerv, void(), device, param, size, values);
}
void* alcGetProcAddress(ALCdevice* device, const ALCchar* funcname) {
  QV_FORWARD(alcGetProcAddress, nullptr, device, funcname);
}
const ALCchar* alcGetString(ALCdevice* device, ALCenum param) { QV_FORWARD(alcGetString, nullptr, device, param); }
ALCboolean alcIsExtensionPresent(ALCdevice* device, const ALCchar* extname) {
  QV_FORWARD(alcIsExtensionPresent, ALCboolean(), device, extname);
}
ALCboolean alcMakeContextCurrent(ALCcontext* context) { QV_FORWARD(alcMakeContextCurrent, ALCboolean(), context); }
ALCdevice* alcOpenDevice(const ALCchar* devicename) { QV_FORWARD(alcOpenDevice, nullptr, devicename); }

#undef QV_FORWARD
