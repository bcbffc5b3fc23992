// Software 3D: from the listener and a channel's position and velocity, the channel's doppler
// frequency, distance attenuation and pan; the same settings go to the driver for its voices.
#include <cmath>

#include "sound/sound_local.h"

// The listener and the 3D settings; reset at shut-down.
static struct Listener3D {
  SndVector3 position{0, 0, 0};
  SndVector3 velocity{0, 0, 0};
  SndVector3 forward{0, 0, 1};
  SndVector3 top{0, 1, 0};
  SndVector3 right{1, 0, 0};
  SndVector3 oneSecondAgo{0, 0, 0};
  float dopplerFactor = 1.0f;
  float distanceFactorReciprocal = 1.0f;
  float attenuation = 1.0f;
} gListener;

static SndVector3 Sub(SndVector3 a, SndVector3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
static float Length(SndVector3 v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

void SndReset3D() { gListener = Listener3D{}; }
void SndListenerPosition(SndVector3* position) { *position = gListener.position; }

void SndSetListener(const SndVector3* position, const SndVector3* velocity, float forwardX, float forwardY,
                    float forwardZ, float topX, float topY, float topZ) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.initialised) return;
  if (position) gListener.position = *position;
  if (velocity) gListener.velocity = *velocity;
  gListener.forward = {forwardX, forwardY, forwardZ};
  gListener.top = {topX, topY, topZ};
  const SndVector3& t = gListener.top;
  const SndVector3& f = gListener.forward;
  gListener.right = {t.y * f.z - t.z * f.y, t.z * f.x - t.x * f.z, t.x * f.y - t.y * f.x};
  gListener.oneSecondAgo = Sub(gListener.position, gListener.velocity);
  gSnd.driver->SetListener(&gListener.position, &gListener.velocity, &gListener.forward, &gListener.top);
}

void SndGetListener(SndVector3* position, SndVector3* velocity, float* forwardX, float* forwardY,
                    float* forwardZ, float* topX, float* topY, float* topZ) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (position) *position = gListener.position;
  if (velocity) *velocity = gListener.velocity;
  if (forwardX) *forwardX = gListener.forward.x;
  if (forwardY) *forwardY = gListener.forward.y;
  if (forwardZ) *forwardZ = gListener.forward.z;
  if (topX) *topX = gListener.top.x;
  if (topY) *topY = gListener.top.y;
  if (topZ) *topZ = gListener.top.z;
}

void SndSetDopplerFactor(float factor) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.initialised) return (void)SndFail(kSndErrNotInitialised);
  gListener.dopplerFactor = factor;
  gSnd.driver->SetDopplerFactor(factor);
}

void SndSetDistanceScale(float scale) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.initialised) return (void)SndFail(kSndErrNotInitialised);
  if (scale < 0.0001f) scale = 0.0001f;
  float reciprocal = 1.0f / scale;
  gListener.distanceFactorReciprocal = reciprocal < 0.00001f ? 0.00001f : reciprocal;
  gSnd.driver->SetDistanceScale(scale);
}

void SndSetAttenuationFactor(float factor) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.initialised) return (void)SndFail(kSndErrNotInitialised);
  gListener.attenuation = factor < 0.00001f ? 0.00001f : factor > 10.0f ? 10.0f : factor;
  gSnd.driver->SetRolloff(factor);
}

bool SndSetChannel3D(int handle, const SndVector3* position, const SndVector3* velocity) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.initialised) return SndFail(kSndErrNotInitialised);
  SndChannel* channel = SndLookupChannel(handle);
  return channel ? channel->ops.Set3D(channel, position, velocity) : false;
}

bool SndGetChannel3D(int handle, SndVector3* position, SndVector3* velocity) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.initialised) return SndFail(kSndErrNotInitialised);
  SndChannel* channel = SndLookupChannel(handle);
  return channel ? channel->ops.Get3D(channel, position, velocity) : false;
}

bool SndSetSampleMinMaxDistance(SndSample* sample, float minimum, float maximum) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!sample || minimum < 0.0f || maximum < 0.0f || maximum < minimum) return SndFail(kSndErrInvalid);
  sample->minDistance = minimum;
  sample->maxDistance = maximum;
  return true;
}

void SndCompute3D(SndChannel* channel) {
  SndSample* sample = channel->sample;
  if (!sample || sample->is2D || channel->songOwned) return;
  const Listener3D& l = gListener;
  float distanceThen = Length(Sub(Sub(channel->position3D, channel->velocity3D), l.oneSecondAgo));
  SndVector3 toSource = Sub(channel->position3D, l.position);
  float distance = Length(toSource);
  // Doppler: the speed of sound is 340 units per second at distance scale 1.
  float speed = 340.0f / l.distanceFactorReciprocal;
  float ratio = (speed - (distance - distanceThen) * l.dopplerFactor) / speed;
  // Bounded before the conversion: a source far faster than sound gives a ratio whose product
  // does not fit an int (and would have come out as the lowest frequency).
  float shifted = static_cast<float>(channel->frequency) * ratio;
  if (!(shifted >= 100.0f)) shifted = 100.0f;
  if (shifted > 2.0e9f) shifted = 2.0e9f;
  int frequency = static_cast<int>(std::trunc(shifted));
  // Distance: full volume up to the minimum distance, then falling as minimum / distance.
  float r = distance;
  if (r > sample->maxDistance) r = sample->maxDistance;
  if (r < sample->minDistance) r = sample->minDistance;
  if (r > sample->minDistance) r = (r - sample->minDistance) * l.attenuation + sample->minDistance;
  if (r < 0.00001f) r = 0.00001f;
  float gain = sample->minDistance / r;
  gain = gain > 0.0f ? (gain > 1.0f ? 1.0f : gain) : 0.0f;  // NaN (a NaN position): silent
  int volume = static_cast<int>(std::trunc(static_cast<float>(channel->volume) * gain));
  // Pan: the side of the listener the source is on.
  SndVector3 u{0, 0, 1};
  if (distance > 0.0f) u = {toSource.x / distance, toSource.y / distance, toSource.z / distance};
  float side = u.x * l.right.x + u.y * l.right.y + u.z * l.right.z;
  if (!(side >= -1.0f && side <= 1.0f)) side = side > 1.0f ? 1.0f : side < -1.0f ? -1.0f : 0.0f;
  int pan = static_cast<int>(std::trunc(side * 128.0f)) + 128;
  pan = pan < 0 ? 0 : pan > 255 ? 255 : pan;
  channel->ops.SetFrequency(channel, frequency);
  channel->ops.SetVolume(channel, volume & 255);
  channel->ops.SetPan(channel, pan);
}

void SndApply3D() {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.initialised) return;
  for (int i = gSnd.softwareRange[0]; i <= gSnd.softwareRange[1]; i++) SndCompute3D(&gSnd.channels[i]);
  gSnd.driver->Commit3D();
}
