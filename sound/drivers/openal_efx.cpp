// Reverb environments of the OpenAL output: the 26 presets and the 13 listener values played by
// one EFX reverb in an auxiliary slot; each hardware voice feeds it through a send filter whose
// gain is the voice's effect mix.
#include <cmath>
#include <cstring>

#include <AL/efx-presets.h>

#include "sound/drivers/openal_local.h"

namespace {

// The presets in the order of their numbers, with the room size each stands for (metres).
struct Preset {
  EFXEAXREVERBPROPERTIES reverb;
  float size;
};
const Preset kPresets[26] = {
    {EFX_REVERB_PRESET_GENERIC, 7.5f},        {EFX_REVERB_PRESET_PADDEDCELL, 1.4f},
    {EFX_REVERB_PRESET_ROOM, 1.9f},           {EFX_REVERB_PRESET_BATHROOM, 1.4f},
    {EFX_REVERB_PRESET_LIVINGROOM, 2.5f},     {EFX_REVERB_PRESET_STONEROOM, 11.6f},
    {EFX_REVERB_PRESET_AUDITORIUM, 21.6f},    {EFX_REVERB_PRESET_CONCERTHALL, 19.6f},
    {EFX_REVERB_PRESET_CAVE, 14.6f},          {EFX_REVERB_PRESET_ARENA, 36.2f},
    {EFX_REVERB_PRESET_HANGAR, 50.3f},        {EFX_REVERB_PRESET_CARPETEDHALLWAY, 1.9f},
    {EFX_REVERB_PRESET_HALLWAY, 1.8f},        {EFX_REVERB_PRESET_STONECORRIDOR, 13.5f},
    {EFX_REVERB_PRESET_ALLEY, 7.5f},          {EFX_REVERB_PRESET_FOREST, 38.0f},
    {EFX_REVERB_PRESET_CITY, 7.5f},           {EFX_REVERB_PRESET_MOUNTAINS, 100.0f},
    {EFX_REVERB_PRESET_QUARRY, 17.5f},        {EFX_REVERB_PRESET_PLAIN, 42.5f},
    {EFX_REVERB_PRESET_PARKINGLOT, 8.3f},     {EFX_REVERB_PRESET_SEWERPIPE, 1.7f},
    {EFX_REVERB_PRESET_UNDERWATER, 1.8f},     {EFX_REVERB_PRESET_DRUGGED, 1.9f},
    {EFX_REVERB_PRESET_DIZZY, 1.8f},          {EFX_REVERB_PRESET_PSYCHOTIC, 1.0f},
};
constexpr int kPresetCount = 26;
constexpr float kUnchanged = float(kSndUnchanged);

// The 13 listener values in the library's order (the order of SndEnvironment).
enum : int {
  kEnvironment, kRoom, kRoomHF, kRoomRolloff, kDecayTime, kDecayHFRatio, kReflections,
  kReflectionsDelay, kReverb, kReverbDelay, kSize, kDiffusion, kAirAbsorptionHF
};

// The environment now; reset by every start of the effects.
struct Environment {
  float values[13] = {};
  int sends = 0;  // values sent to the reverb since start-up
} gEnv;

int ToHundredthsOfDb(float gain) {
  if (!(gain > 0.0f)) return -10000;
  int level = int(std::lrint(2000.0f * std::log10(gain)));
  return level < -10000 ? -10000 : level;
}

float Clamp(float v, float low, float high) { return v < low ? low : v > high ? high : v; }

void LoadPreset(int preset) {
  const Preset& p = kPresets[preset];
  const EFXEAXREVERBPROPERTIES& r = p.reverb;
  float* v = gEnv.values;
  v[kEnvironment] = float(preset);
  v[kRoom] = float(ToHundredthsOfDb(r.flGain));
  v[kRoomHF] = float(ToHundredthsOfDb(r.flGainHF));
  v[kRoomRolloff] = r.flRoomRolloffFactor;
  v[kDecayTime] = r.flDecayTime;
  v[kDecayHFRatio] = r.flDecayHFRatio;
  v[kReflections] = float(ToHundredthsOfDb(r.flReflectionsGain));
  v[kReflectionsDelay] = r.flReflectionsDelay;
  v[kReverb] = float(ToHundredthsOfDb(r.flLateReverbGain));
  v[kReverbDelay] = r.flLateReverbDelay;
  v[kSize] = p.size;
  v[kDiffusion] = r.flDiffusion;
  v[kAirAbsorptionHF] = float(ToHundredthsOfDb(r.flAirAbsorptionGainHF));
}

// Stores one value in range. A new room size scales the decay time and both delays with it.
void StoreValue(int which, float value) {
  float* v = gEnv.values;
  switch (which) {
    case kRoom: case kRoomHF: case kReflections: case kReverb:
      value = std::trunc(Clamp(value, -10000.0f, which == kReflections ? 1000.0f : which == kReverb ? 2000.0f : 0.0f));
      break;
    case kRoomRolloff: value = Clamp(value, 0.0f, 10.0f); break;
    case kDecayTime: value = Clamp(value, 0.1f, 20.0f); break;
    case kDecayHFRatio: value = Clamp(value, 0.1f, 2.0f); break;
    case kReflectionsDelay: value = Clamp(value, 0.0f, 0.3f); break;
    case kReverbDelay: value = Clamp(value, 0.0f, 0.1f); break;
    case kDiffusion: value = Clamp(value, 0.0f, 1.0f); break;
    case kAirAbsorptionHF: value = Clamp(value, -100.0f, 0.0f); break;
    case kSize: {
      value = Clamp(value, 1.0f, 100.0f);
      const float scale = value / v[kSize];
      v[kDecayTime] = Clamp(v[kDecayTime] * scale, 0.1f, 20.0f);
      v[kReflectionsDelay] = Clamp(v[kReflectionsDelay] * scale, 0.0f, 0.3f);
      v[kReverbDelay] = Clamp(v[kReverbDelay] * scale, 0.0f, 0.1f);
      break;
    }
    default: break;
  }
  v[which] = value;
  gEnv.sends++;
}

// Hands the whole environment to the reverb and the reverb to the slot (a slot copies its
// effect when it is attached, so every change attaches it again).
bool Push() {
  const float* v = gEnv.values;
  const EFXEAXREVERBPROPERTIES& base = kPresets[int(v[kEnvironment])].reverb;
  const float size = v[kSize];
  const float density = Clamp(size * size * size / 16.0f, 0.0f, 1.0f);
  const ALuint e = gAl.effect;
  alGetError();
  if (gAl.effectType == AL_EFFECT_EAXREVERB) {
    alEffectf(e, AL_EAXREVERB_DENSITY, density);
    alEffectf(e, AL_EAXREVERB_DIFFUSION, v[kDiffusion]);
    alEffectf(e, AL_EAXREVERB_GAIN, AlGainOf(int(v[kRoom])));
    alEffectf(e, AL_EAXREVERB_GAINHF, AlGainOf(int(v[kRoomHF])));
    alEffectf(e, AL_EAXREVERB_GAINLF, base.flGainLF);
    alEffectf(e, AL_EAXREVERB_DECAY_TIME, v[kDecayTime]);
    alEffectf(e, AL_EAXREVERB_DECAY_HFRATIO, v[kDecayHFRatio]);
    alEffectf(e, AL_EAXREVERB_DECAY_LFRATIO, base.flDecayLFRatio);
    alEffectf(e, AL_EAXREVERB_REFLECTIONS_GAIN, Clamp(AlGainOf(int(v[kReflections])), 0.0f, 3.16f));
    alEffectf(e, AL_EAXREVERB_REFLECTIONS_DELAY, v[kReflectionsDelay]);
    alEffectf(e, AL_EAXREVERB_LATE_REVERB_GAIN, Clamp(AlGainOf(int(v[kReverb])), 0.0f, 10.0f));
    alEffectf(e, AL_EAXREVERB_LATE_REVERB_DELAY, v[kReverbDelay]);
    alEffectf(e, AL_EAXREVERB_ECHO_TIME, base.flEchoTime);
    alEffectf(e, AL_EAXREVERB_ECHO_DEPTH, base.flEchoDepth);
    alEffectf(e, AL_EAXREVERB_MODULATION_TIME, base.flModulationTime);
    alEffectf(e, AL_EAXREVERB_MODULATION_DEPTH, base.flModulationDepth);
    alEffectf(e, AL_EAXREVERB_AIR_ABSORPTION_GAINHF, Clamp(AlGainOf(int(v[kAirAbsorptionHF])), 0.892f, 1.0f));
    alEffectf(e, AL_EAXREVERB_HFREFERENCE, base.flHFReference);
    alEffectf(e, AL_EAXREVERB_LFREFERENCE, base.flLFReference);
    alEffectf(e, AL_EAXREVERB_ROOM_ROLLOFF_FACTOR, v[kRoomRolloff]);
    alEffecti(e, AL_EAXREVERB_DECAY_HFLIMIT, base.iDecayHFLimit);
  } else {
    alEffectf(e, AL_REVERB_DENSITY, density);
    alEffectf(e, AL_REVERB_DIFFUSION, v[kDiffusion]);
    alEffectf(e, AL_REVERB_GAIN, AlGainOf(int(v[kRoom])));
    alEffectf(e, AL_REVERB_GAINHF, AlGainOf(int(v[kRoomHF])));
    alEffectf(e, AL_REVERB_DECAY_TIME, v[kDecayTime]);
    alEffectf(e, AL_REVERB_DECAY_HFRATIO, v[kDecayHFRatio]);
    alEffectf(e, AL_REVERB_REFLECTIONS_GAIN, Clamp(AlGainOf(int(v[kReflections])), 0.0f, 3.16f));
    alEffectf(e, AL_REVERB_REFLECTIONS_DELAY, v[kReflectionsDelay]);
    alEffectf(e, AL_REVERB_LATE_REVERB_GAIN, Clamp(AlGainOf(int(v[kReverb])), 0.0f, 10.0f));
    alEffectf(e, AL_REVERB_LATE_REVERB_DELAY, v[kReverbDelay]);
    alEffectf(e, AL_REVERB_AIR_ABSORPTION_GAINHF, Clamp(AlGainOf(int(v[kAirAbsorptionHF])), 0.892f, 1.0f));
    alEffectf(e, AL_REVERB_ROOM_ROLLOFF_FACTOR, v[kRoomRolloff]);
    alEffecti(e, AL_REVERB_DECAY_HFLIMIT, base.iDecayHFLimit);
  }
  alAuxiliaryEffectSloti(gAl.slot, AL_EFFECTSLOT_EFFECT, ALint(e));
  return alGetError() == AL_NO_ERROR;
}

// The send of one voice: its filter's gain, and whether OpenAL lowers it with distance.
void AttachSend(ALuint source, ALuint filter) {
  alSource3i(source, AL_AUXILIARY_SEND_FILTER, ALint(gAl.slot), 0, ALint(filter));
}

}  // namespace

bool AlStartEffects() {
  AlStopEffects();
  if (!gAl.efx || !gAl.context) return false;
  alGetError();
  alGenAuxiliaryEffectSlots(1, &gAl.slot);
  alGenEffects(1, &gAl.effect);
  if (alGetError() != AL_NO_ERROR) return AlStopEffects(), false;
  for (ALenum type : {AL_EFFECT_EAXREVERB, AL_EFFECT_REVERB}) {
    alEffecti(gAl.effect, AL_EFFECT_TYPE, type);
    if (alGetError() == AL_NO_ERROR) {
      gAl.effectType = type;
      break;
    }
  }
  if (gAl.effectType == AL_EFFECT_NULL) return AlStopEffects(), false;
  for (ALuint source : gAl.voices) {
    ALuint filter = 0;
    alGenFilters(1, &filter);
    if (alGetError() != AL_NO_ERROR) return AlStopEffects(), false;
    gAl.sendFilters.push_back(filter);
    gAl.liveFilters++;
    alFilteri(filter, AL_FILTER_TYPE, AL_FILTER_LOWPASS);
    alFilterf(filter, AL_LOWPASS_GAIN, 1.0f);
    alFilterf(filter, AL_LOWPASS_GAINHF, 1.0f);
    AttachSend(source, filter);
  }
  if (alGetError() != AL_NO_ERROR) return AlStopEffects(), false;
  gAl.eaxLevel = gAl.effectsLimit >= 2 ? 2 : 1;
  gEnv = Environment{};
  LoadPreset(0);
  AlSetEnvironment(0, 0.0f, 0.0f, 0.0f);
  return true;
}

void AlStopEffects() {
  if (gAl.eaxLevel > 0) AlSetEnvironment(0, 0.0f, 0.0f, 0.0f);
  for (ALuint source : gAl.voices) alSource3i(source, AL_AUXILIARY_SEND_FILTER, AL_EFFECTSLOT_NULL, 0, AL_FILTER_NULL);
  if (!gAl.sendFilters.empty()) alDeleteFilters(ALsizei(gAl.sendFilters.size()), gAl.sendFilters.data());
  gAl.liveFilters -= int(gAl.sendFilters.size());
  gAl.sendFilters.clear();
  if (gAl.slot) {
    alAuxiliaryEffectSloti(gAl.slot, AL_EFFECTSLOT_EFFECT, AL_EFFECT_NULL);
    alDeleteAuxiliaryEffectSlots(1, &gAl.slot);
  }
  if (gAl.effect) alDeleteEffects(1, &gAl.effect);
  gAl.slot = gAl.effect = 0;
  gAl.effectType = AL_EFFECT_NULL;
  gAl.eaxLevel = 0;
}

// The preset interface: a preset, the reverb's volume (0..1, becomes the room level), its decay
// time and its damping (the high-frequency decay ratio). Presets past the table: error 14.
bool AlSetEnvironment(int preset, float volume, float decay, float damping) {
  if (preset != kSndUnchanged && (preset < 0 || preset >= kPresetCount)) return SndFail(kSndErrInvalid);
  if (gAl.eaxLevel == 0) return SndFail(kSndErrNoEffects);
  const int sendsBefore = gEnv.sends;
  if (preset != kSndUnchanged) {
    LoadPreset(preset);
    gEnv.sends++;
  }
  if (volume != kUnchanged) StoreValue(kRoom, float(ToHundredthsOfDb(volume)));
  if (decay != kUnchanged) StoreValue(kDecayTime, decay);
  if (damping != kUnchanged) StoreValue(kDecayHFRatio, damping);
  return gEnv.sends == sendsBefore || Push();
}

bool AlSetEnvironmentFull(const float values[13]) {
  if (gAl.eaxLevel != 2) return SndFail(kSndErrNoFullEffects);
  const float environment = values[kEnvironment];
  if (environment != kUnchanged && !(environment >= 0.0f && environment < float(kPresetCount))) {
    return SndFail(kSndErrInvalid);
  }
  const int sendsBefore = gEnv.sends;
  if (environment != kUnchanged) {
    LoadPreset(int(environment));
    gEnv.sends++;
  }
  for (int i = kRoom; i <= kAirAbsorptionHF; i++) {
    if (values[i] != kUnchanged) StoreValue(i, values[i]);
  }
  return gEnv.sends == sendsBefore || Push();
}

bool AlGetEnvironment(int* preset, float* volume, float* decay, float* damping) {
  if (gAl.eaxLevel == 0) return SndFail(kSndErrNoEffects);
  if (preset) *preset = int(gEnv.values[kEnvironment]);
  if (volume) *volume = AlGainOf(int(gEnv.values[kRoom]));
  if (decay) *decay = gEnv.values[kDecayTime];
  if (damping) *damping = gEnv.values[kDecayHFRatio];
  return true;
}

bool AlGetEnvironmentFull(float values[13]) {
  if (gAl.eaxLevel != 2) return SndFail(kSndErrNoFullEffects);
  std::memcpy(values, gEnv.values, sizeof gEnv.values);
  return true;
}

// How much of a voice feeds the reverb: a negative level lets OpenAL lower it with distance
// (automatic), 0..1 fixes it at the volume table's attenuation for level x 255.
bool AlSetEffectMix(SndChannel* channel, float level) {
  if (gAl.eaxLevel == 0) return SndFail(kSndErrNoEffects);
  if (std::isnan(level)) return SndFail(kSndErrInvalid);
  const ALuint source = AlSourceOf(channel);
  const uint32_t n = channel->driverVoice[0];
  if (!source || n > gAl.sendFilters.size()) return SndFail(kSndErrNoEffects);
  const ALuint filter = gAl.sendFilters[n - 1];
  const bool automatic = level < 0.0f;
  alFilterf(filter, AL_LOWPASS_GAIN, automatic ? 1.0f : AlGainOf(AlVolumeTable(int(level * 255.0f))));
  alSourcei(source, AL_AUXILIARY_SEND_FILTER_GAIN_AUTO, automatic ? AL_TRUE : AL_FALSE);
  AttachSend(source, filter);
  return true;
}

bool SndOpenAlVoiceSend(int channelIndex, float* gain, bool* automatic) {
  SndLockGuard guard(gSnd.lock);
  if (!gSnd.channels || channelIndex < 0 || channelIndex >= gSnd.totalChannels) return false;
  const SndChannel* channel = &gSnd.channels[channelIndex];
  const ALuint source = AlSourceOf(channel);
  const uint32_t n = channel->driverVoice[0];
  if (!source || n < 1 || n > gAl.sendFilters.size()) return false;
  alGetFilterf(gAl.sendFilters[n - 1], AL_LOWPASS_GAIN, gain);
  ALint on = AL_FALSE;
  alGetSourcei(source, AL_AUXILIARY_SEND_FILTER_GAIN_AUTO, &on);
  *automatic = on == AL_TRUE;
  return true;
}

int SndOpenAlEnvironmentSends() { return gEnv.sends; }
