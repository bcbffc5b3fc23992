// Declarations shared by the OpenAL driver's files: the device and stream (openal.cpp), the
// hardware voices and listener (openal_voices.cpp) and the reverb environments (openal_efx.cpp).
#pragma once
#define AL_ALEXT_PROTOTYPES 1
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx.h>

#include <vector>

#include "sound/sound_local.h"

constexpr int kAlQueuedBlocks = 4;  // blocks of the mix handed to OpenAL ahead of the play cursor
constexpr int kAlMaxVoices = 128;   // hardware voices at most, whatever the device offers

// The driver's state: the device lives from open to close; `target` and `effectsLimit` are
// test settings that live for the process.
struct OpenAl {
  int target = kSndOpenAlSystem;
  int effectsLimit = 2;       // highest environment level the driver admits to (tests lower it)
  ALCdevice* device = nullptr;
  ALCcontext* context = nullptr;
  LPALCRENDERSAMPLESSOFT render = nullptr;
  // the software mix, streamed through one source
  ALuint source = 0;
  std::vector<ALuint> freeBuffers;
  ALuint buffers[kAlQueuedBlocks] = {};
  uint64_t submitted = 0;     // frames of the ring handed to the source
  const int16_t* ring = nullptr;
  uint32_t ringFrames = 0;
  bool streaming = false;
  // hardware voices: one source per hardware channel, made at open
  std::vector<ALuint> voices;
  std::vector<ALuint> retired;  // buffers replaced while a voice still played them
  float rolloff = 1.0f;
  // reverb: one auxiliary slot holding one reverb effect, and each voice's send filter
  bool efx = false;
  ALuint slot = 0, effect = 0;
  ALenum effectType = AL_EFFECT_NULL;
  std::vector<ALuint> sendFilters;  // in step with `voices`
  int eaxLevel = 0;
  // objects alive now (tests check that none leak)
  int liveSources = 0, liveBuffers = 0, liveFilters = 0;
};
extern OpenAl gAl;  // owned by openal.cpp

// openal_voices.cpp
bool AlOpenVoices(int count);          // makes up to `count` voice sources; false when none
void AlCloseVoices();                  // deletes the voices and every buffer they played
void AlInstallHardwareSampleOps(SndSample* sample);
void AlInstallHardwareVoiceOps(SndChannel* channel);
bool AlHardwareTest();                 // a hardware sample can be made without taking a voice
void AlSetListener(const SndVector3* position, const SndVector3* velocity, const SndVector3* forward,
                   const SndVector3* top);
void AlGetListener(SndVector3* position, SndVector3* velocity, float orientation[6]);
void AlSetDopplerFactor(float factor);
void AlSetDistanceScale(float scale);
void AlSetRolloff(float factor);
void AlDeleteRetiredBuffers();
ALuint AlGenBuffer();
float AlGainOf(int hundredthsOfDb);    // -10000 and below: silence
int AlVolumeTable(int volume);         // a library volume's attenuation, hundredths of a dB
ALuint AlSourceOf(const SndChannel* channel);  // a hardware channel's source, 0 for others
void AlDeleteBuffer(ALuint buffer);    // or retires it while a voice still plays it

// openal_efx.cpp
bool AlStartEffects();
void AlStopEffects();                  // environment off, slot, effect and send filters deleted
bool AlSetEnvironment(int preset, float volume, float decay, float damping);
bool AlSetEnvironmentFull(const float values[13]);
bool AlGetEnvironment(int* preset, float* volume, float* decay, float* damping);
bool AlGetEnvironmentFull(float values[13]);
bool AlSetEffectMix(SndChannel* channel, float level);
