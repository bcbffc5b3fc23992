// The no-sound output driver: every channel is software, nothing is played, and the primary
// channel's position follows the library clock so the mixer paces itself without a device.
#include <cstring>

#include "sound/sound_local.h"

// Environment values the no-sound driver only stores; reset with the process.
static struct NullDriverState {
  int preset = 0;
  float environment[3] = {0, 0, 0};
  float environmentFull[13] = {};
} gNull;

static void NullEnumerateOutputs() { SndAddOutputName("No Sound Driver"); }
static bool NullOpen(int) {
  SndEnumerateOutputs();
  gSnd.hardwareChannels = 0;
  return true;
}
static void NullClose() {}
static void NullInstallSampleOps(SndSample* sample) { SndInstallSoftwareSampleOps(sample); }
static void NullGetCaps(uint32_t*, int) {}
static void NullCommit3D() {}
static void NullSetListener(const SndVector3*, const SndVector3*, const SndVector3*, const SndVector3*) {}
static void NullGetListener(SndVector3*, SndVector3*, float*) {}
static void NullSetFloat(float) {}
static bool NullStartEffects() { return true; }
static bool NullSetEnvironment(int preset, float a, float b, float c) {
  gNull.preset = preset;
  gNull.environment[0] = a;
  gNull.environment[1] = b;
  gNull.environment[2] = c;
  return true;
}
static bool NullSetEnvironmentFull(const float values[13]) {
  if (values) std::memcpy(gNull.environmentFull, values, sizeof gNull.environmentFull);
  return true;
}
static bool NullGetEnvironment(int* preset, float* a, float* b, float* c) {
  if (preset) *preset = gNull.preset;
  if (a) *a = gNull.environment[0];
  if (b) *b = gNull.environment[1];
  if (c) *c = gNull.environment[2];
  return true;
}
static bool NullGetEnvironmentFull(float values[13]) {
  if (values) std::memcpy(values, gNull.environmentFull, sizeof gNull.environmentFull);
  return true;
}
static void NullEnumerateInputs() { SndAddInputName("No Sound Driver"); }
static bool NullNoInput(int) { return SndFail(kSndErrNoInput); }
static bool NullStartRecording(int, int, int, int) { return SndFail(kSndErrNoInput); }
static bool NullStopRecording() { return true; }
static int64_t NullCapturePosition() { return -1; }
static bool NullLockCapture(int, int length, void** first, void** second, uint32_t* firstLength,
                            uint32_t* secondLength) {
  if (first) *first = nullptr;
  if (second) *second = nullptr;
  if (firstLength) *firstLength = static_cast<uint32_t>(length);
  if (secondLength) *secondLength = 0;
  return true;
}
static bool NullUnlockCapture(void*, void*, uint32_t, uint32_t) { return true; }

// Voice operations of a channel without a device.
static bool VoiceTrue(SndChannel*) { return true; }
static bool VoicePrepare(SndChannel*, SndSample*) { return true; }
static bool VoiceStart(SndDspUnit*, SndChannel*, SndSample*) { return true; }
static bool VoiceSetInt(SndChannel*, int) { return true; }
static bool VoiceSetPaused(SndChannel*, bool) { return true; }
// The clock in frames, computed in 64 bits so it does not wrap after 97 seconds.
static uint64_t VoicePosition(SndChannel*) {
  return static_cast<uint64_t>(SndGetTimeMs()) * static_cast<uint64_t>(gSnd.mixRate) / 1000u;
}
static float VoiceLevel(SndChannel*) { return 0.0f; }
static bool VoiceSet3D(SndChannel*, const SndVector3*, const SndVector3*) { return true; }
static bool VoiceGet3D(SndChannel*, SndVector3*, SndVector3*) { return true; }
static bool VoiceSetMix(SndChannel*, float) { return true; }

void SndInstallNullVoiceOps(SndChannel* channel) {
  channel->ops = {VoicePrepare, VoiceStart, VoiceTrue, VoiceSetInt, VoiceSetInt, VoiceSetInt,
                  VoiceSetPaused, VoicePosition, VoiceLevel, VoiceTrue, VoiceSet3D, VoiceGet3D,
                  VoiceSetMix};
}

SndOutputDriver gSndNullDriver = {
    "No Sound Driver",   false,           NullEnumerateOutputs,   NullOpen,
    NullClose,           NullInstallSampleOps, SndInstallNullVoiceOps, NullGetCaps,
    NullCommit3D,        NullSetListener, NullGetListener,        NullSetFloat,
    NullSetFloat,        NullSetFloat,    NullStartEffects,       NullSetEnvironment,
    NullSetEnvironmentFull, NullGetEnvironment, NullGetEnvironmentFull, NullEnumerateInputs,
    NullNoInput,         NullStartRecording, NullStopRecording,   NullCapturePosition,
    NullLockCapture,     NullUnlockCapture};

// Gives every empty entry of a driver table the no-sound routine.
void SndFillDriverDefaults(SndOutputDriver* driver) {
  const SndOutputDriver& n = gSndNullDriver;
  SndOutputDriver& d = *driver;
  if (!d.EnumerateOutputs) d.EnumerateOutputs = n.EnumerateOutputs;
  if (!d.Open) d.Open = n.Open;
  if (!d.Close) d.Close = n.Close;
  if (!d.InstallSampleOps) d.InstallSampleOps = n.InstallSampleOps;
  if (!d.InstallVoiceOps) d.InstallVoiceOps = n.InstallVoiceOps;
  if (!d.GetCaps) d.GetCaps = n.GetCaps;
  if (!d.Commit3D) d.Commit3D = n.Commit3D;
  if (!d.SetListener) d.SetListener = n.SetListener;
  if (!d.GetListener) d.GetListener = n.GetListener;
  if (!d.SetDopplerFactor) d.SetDopplerFactor = n.SetDopplerFactor;
  if (!d.SetDistanceScale) d.SetDistanceScale = n.SetDistanceScale;
  if (!d.SetRolloff) d.SetRolloff = n.SetRolloff;
  if (!d.StartEffects) d.StartEffects = n.StartEffects;
  if (!d.SetEnvironment) d.SetEnvironment = n.SetEnvironment;
  if (!d.SetEnvironmentFull) d.SetEnvironmentFull = n.SetEnvironmentFull;
  if (!d.GetEnvironment) d.GetEnvironment = n.GetEnvironment;
  if (!d.GetEnvironmentFull) d.GetEnvironmentFull = n.GetEnvironmentFull;
  if (!d.EnumerateInputs) d.EnumerateInputs = n.EnumerateInputs;
  if (!d.SelectInput) d.SelectInput = n.SelectInput;
  if (!d.StartRecording) d.StartRecording = n.StartRecording;
  if (!d.StopRecording) d.StopRecording = n.StopRecording;
  if (!d.CapturePosition) d.CapturePosition = n.CapturePosition;
  if (!d.LockCapture) d.LockCapture = n.LockCapture;
  if (!d.UnlockCapture) d.UnlockCapture = n.UnlockCapture;
}
