// Reverb environments: the library's calls for the presets and the full parameter set, handed
// to the output driver, which plays them (OpenAL's reverb) or only keeps them (no sound).
#include <cmath>

#include "sound/sound_local.h"

static bool Running() {
  SndEnter();
  if (!gSnd.initialised || !gSnd.driver) return SndFail(kSndErrNotInitialised);
  return true;
}

// A NaN would reach the reverb as a level no card defines: refused like any bad value.
static bool AnyNan(const float* values, int count) {
  for (int i = 0; i < count; i++) {
    if (std::isnan(values[i])) return true;
  }
  return false;
}

bool SndSetEnvironment(int preset, float volume, float decayTime, float damping) {
  SndLockGuard guard(gSnd.lock);
  if (!Running()) return false;
  const float values[3] = {volume, decayTime, damping};
  if (AnyNan(values, 3)) return SndFail(kSndErrInvalid);
  return gSnd.driver->SetEnvironment(preset, volume, decayTime, damping);
}

// The full set travels to the driver as 13 floats in this order (every whole number fits a
// float exactly, the unchanged marker included).
static void ToValues(const SndEnvironment& e, float v[13]) {
  v[0] = float(e.environment);
  v[1] = float(e.room);
  v[2] = float(e.roomHF);
  v[3] = e.roomRolloff;
  v[4] = e.decayTime;
  v[5] = e.decayHFRatio;
  v[6] = float(e.reflections);
  v[7] = e.reflectionsDelay;
  v[8] = float(e.reverb);
  v[9] = e.reverbDelay;
  v[10] = e.size;
  v[11] = e.diffusion;
  v[12] = e.airAbsorptionHF;
}

bool SndSetEnvironmentFull(const SndEnvironment& environment) {
  SndLockGuard guard(gSnd.lock);
  if (!Running()) return false;
  float values[13];
  ToValues(environment, values);
  if (AnyNan(values, 13)) return SndFail(kSndErrInvalid);
  return gSnd.driver->SetEnvironmentFull(values);
}

bool SndGetEnvironment(int* preset, float* volume, float* decayTime, float* damping) {
  SndLockGuard guard(gSnd.lock);
  if (!Running()) return false;
  return gSnd.driver->GetEnvironment(preset, volume, decayTime, damping);
}

bool SndGetEnvironmentFull(SndEnvironment* environment) {
  SndLockGuard guard(gSnd.lock);
  if (!Running()) return false;
  if (!environment) return SndFail(kSndErrInvalid);
  float v[13] = {};
  if (!gSnd.driver->GetEnvironmentFull(v)) return false;
  SndEnvironment& e = *environment;
  e.environment = int(v[0]);
  e.room = int(std::lrint(v[1]));
  e.roomHF = int(std::lrint(v[2]));
  e.roomRolloff = v[3];
  e.decayTime = v[4];
  e.decayHFRatio = v[5];
  e.reflections = int(std::lrint(v[6]));
  e.reflectionsDelay = v[7];
  e.reverb = int(std::lrint(v[8]));
  e.reverbDelay = v[9];
  e.size = v[10];
  e.diffusion = v[11];
  e.airAbsorptionHF = v[12];
  return true;
}
