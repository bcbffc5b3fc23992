// The sound glue: the program's numbered sounds over the sound library's samples and
// channels, recording and saving, the 3D listener, and the hooks the runtime calls.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "commands/sound_local.h"
#include "graphics2d/graphics2d.h"
#include "platform/file_replace.h"
#include "platform/profile.h"
#include "runtime/runtime.h"
#include "sound/songs/songs.h"
#include "sound/cd/cd.h"

static SoundSlot gSlots[kSoundSlots];  // cleared by FreeAllSounds
static SoundGlueState gGlue;           // lives for the process

SoundSlot& SoundSlotAt(int number) { return gSlots[number]; }
SoundGlueState& SoundGlue() { return gGlue; }

void SetSoundGlueOutput(int outputType, bool steppedClock) {
  gGlue.outputType = outputType;
  gGlue.steppedClock = steppedClock;
}

int SoundVolumeToLibrary(int percent) { return percent * 255 / 100; }

int SoundPanToLibrary(int pan) {
  if (pan < -10000) pan = -10000;
  if (pan > 10000) pan = 10000;
  return ((pan + 10000) * 255 + 10000) / 20000;  // -10000 -> 0, 0 -> 128, 10000 -> 255
}

// ---------------------------------------------------------------------------------------
// Start-up, shut-down and the per-frame hooks
// ---------------------------------------------------------------------------------------

// MIDI songs play through the synthesizer SETUP.INI names (MIDISYNTH, "fluidsynth" when not
// given, "none" for no MIDI) with its MIDISOUNDFONT (a relative path is beside SETUP.INI).
void ChooseMidiSynth(const std::string& folder) {
  const std::string setup = folder + "/SETUP.INI";
  const std::string synth = PlatformReadProfileString(setup.c_str(), "SETTINGS", "MIDISYNTH", "fluidsynth");
  std::string font = PlatformReadProfileString(setup.c_str(), "SETTINGS", "MIDISOUNDFONT", "");
  if (!font.empty() && font[0] != '/') font = folder + "/" + font;
  SndSetMidiSynth(synth.c_str(), font.empty() ? nullptr : font.c_str());
}

void InitSound() {
  ChooseMidiSynth(ExecutableFolder());
  SndUseSteppedClock(gGlue.steppedClock);
  SndSelectOutput(gGlue.outputType);
  SndSelectMixer(0);
  SndSetBufferTime(40);
  SndSetWindow(0);
  gGlue.soundOn = SndStartup(44100, 32, 0) ? 1 : 0;
  ResetSound3D();
}

void ResetSound3D() {
  gGlue.listener = {0, 0, 0};
  gGlue.listenerAngles = {0, 0, 0};
  gGlue.forward = {0, 0, 1};
  gGlue.top = {0, 1, 0};
  gGlue.environment = 0;
  if (!gGlue.soundOn) return;
  SndSetAttenuationFactor(0.002f);
  SndSetListener(&gGlue.listener, nullptr, 0, 0, 1, 0, 1, 0);
  SndSetEnvironment(0, 0.0f, 0.0f, 0.0f);
  SndSetChannelEffectMix(kSndAllChannels, 0);
}

void FreeAllSounds() {
  for (int i = 0; i < kSoundSlots; i++) StopSoundChannel(i);
  for (int i = 0; i < kSoundSlots; i++) FreeSoundSlot(i);
  std::memset(gSlots, 0, sizeof gSlots);
  for (SoundSlot& slot : gSlots) slot.channel = -1;
  gGlue.recordingSlot = 0;
}

void CloseSound() {
  ForgetDeferredSoundStart();
  FreeAllSounds();
  if (gGlue.soundOn) {
    gGlue.soundOn = 0;
    SndShutdown();
  }
}

// The CD player notices here that its track ended and applies the play mode.
void SoundSyncHook() {
  if (gGlue.soundOn) SndCdUpdate();
}

void UpdateSound3D() {
  if (gGlue.soundOn) SndApply3D();
}

// Only the sounds the deactivation itself paused are resumed, never one the program paused.
void PauseSoundsOnDeactivate() {
  for (int i = 0; i < kSoundSlots; i++) {
    SoundSlot& slot = gSlots[i];
    slot.pausedByDeactivation = 0;
    if (slot.loaded && slot.playing && !slot.paused) {
      PauseSound(i);
      slot.pausedByDeactivation = 1;
    }
  }
}

void ResumeSoundsOnActivate() {
  for (int i = 0; i < kSoundSlots; i++) {
    SoundSlot& slot = gSlots[i];
    if (!slot.pausedByDeactivation) continue;
    slot.pausedByDeactivation = 0;
    ResumeSound(i);
  }
}

// ---------------------------------------------------------------------------------------
// Loading, freeing and cloning
// ---------------------------------------------------------------------------------------

static void TakeSample(SoundSlot& slot, SndSample* sample) {
  slot.sample = sample;
  slot.channel = -1;
  int frequency = 44100, volume = 255;
  SndGetSampleDefaults(sample, &frequency, &volume, nullptr, nullptr);
  slot.playFrequency = frequency;
  slot.playVolume = volume;
  slot.playPan = -1;
  slot.frequency = frequency;
  SndGetSampleLoopPoints(sample, &slot.fileLoopStart, &slot.fileLoopEnd);
  slot.ownsSample = 1;
  slot.loaded = 1;
}

static SndSample* LoadSampleByProgramName(const char* name, uint32_t mode, bool mustExist) {
  std::string path = name;
  ResolvePackagedFile(path, "dat");
  if (mustExist && !FileExists(path.c_str())) return nullptr;
  SndSample* sample = SndLoadSample(-1, path.c_str(), mode, 0);
  if (sample == nullptr && !SndLibraryProblem().empty()) {
    ReportMissingLibrary(std::string("load sound ") + name, SndLibraryProblem());
  } else if (sample == nullptr && !SndLoadProblem().empty()) {
    NoteProgramFileProblem(SndLoadProblem());  // the warning that follows says why
  }
  return sample;
}

bool LoadSoundFile(int sound, const char* name, int option) {
  SndSample* sample = LoadSampleByProgramName(name, 0x2031, false);
  if (sample == nullptr) return false;
  FreeSoundSlot(sound);
  SoundSlot& slot = gSlots[sound];
  TakeSample(slot, sample);
  slot.is3D = 0;
  slot.channelPriority = option == 1 ? 1 : 0;
  return true;
}

bool LoadSound3DFile(int sound, const char* name) {
  SndSample* sample = LoadSampleByProgramName(name, 0x1031, true);
  if (sample == nullptr) return false;
  FreeSoundSlot(sound);
  SoundSlot& slot = gSlots[sound];
  TakeSample(slot, sample);
  slot.is3D = 1;
  slot.position = {0, 0, 0};
  return true;
}

bool CloneSound(int target, int source) {
  const SoundSlot& from = gSlots[source];
  if (from.sample == nullptr) return false;
  SoundSlot& slot = gSlots[target];
  TakeSample(slot, from.sample);
  slot.ownsSample = 0;
  slot.fileLoopStart = from.fileLoopStart;  // the sample's own points may hold a section now
  slot.fileLoopEnd = from.fileLoopEnd;
  slot.is3D = from.is3D;
  slot.position = from.position;
  return true;
}

void StopSoundChannel(int sound) {
  SoundSlot& slot = gSlots[sound];
  if (slot.sample != nullptr && slot.channel >= 0) SndStopChannel(slot.channel);
  slot.channel = -1;
}

// A shared sample passes to the lowest-numbered other slot that holds it; the last one frees it.
void FreeSoundSlot(int sound) {
  SoundSlot& slot = gSlots[sound];
  if (slot.sample != nullptr) {
    StopSoundChannel(sound);
    if (slot.ownsSample) {
      int heir = -1;
      for (int i = 0; i < kSoundSlots && heir < 0; i++)
        if (i != sound && gSlots[i].sample == slot.sample) heir = i;
      if (heir >= 0) {
        gSlots[heir].ownsSample = 1;
      } else {
        SndFreeSample(slot.sample);
      }
      slot.ownsSample = 0;
      slot.sample = nullptr;
      slot.is3D = 0;
    }
  }
  slot.loaded = 0;
}

// ---------------------------------------------------------------------------------------
// Playing
// ---------------------------------------------------------------------------------------

// Plays the slot's sample from frame `from` with the loop mode and the section [start, end]
// (already clamped to the sample). The channel takes the section when it starts, so a clone
// playing the same sample keeps its own.
static void PlaySoundChannel(SoundSlot& slot, uint32_t loopMode, int start, int end, int from) {
  SndSetSampleLoopMode(slot.sample, loopMode);
  if (start < end) SndSetSampleLoopPoints(slot.sample, start, end);
  slot.channel = SndPlaySoundFrom(kSndAnyChannel, slot.sample, slot.playFrequency, slot.playVolume, slot.playPan,
                                  slot.is3D ? &slot.position : nullptr, nullptr, static_cast<uint32_t>(from));
  SndSetChannelEffectMix(slot.channel, -1.0f);
  SndSetChannelPriority(slot.channel, slot.channelPriority);
}

static int LastFrame(const SoundSlot& slot) {
  const uint32_t length = SndGetSampleLength(slot.sample);
  return length > 0 ? static_cast<int>(std::min<uint32_t>(length - 1, INT32_MAX)) : 0;
}

void PlaySoundOnce(int sound, int position) {
  SoundSlot& slot = gSlots[sound];
  if (slot.sample != nullptr) {
    StopSoundChannel(sound);
    const int last = LastFrame(slot);
    PlaySoundChannel(slot, kSndLoopOff, 0, last, std::clamp(position, 0, last));
  }
  slot.loopStart = slot.loopEnd = 0;
  slot.looping = 0;
}

void PlaySoundLooped(int sound) {
  SoundSlot& slot = gSlots[sound];
  if (slot.sample != nullptr) {
    StopSoundChannel(sound);
    PlaySoundChannel(slot, kSndLoopNormal, slot.fileLoopStart, slot.fileLoopEnd, 0);
  }
  slot.loopStart = slot.loopEnd = 0;
  slot.looping = 1;
}

void PlaySoundLoopRange(int sound, int start, int end, int position) {
  SoundSlot& slot = gSlots[sound];
  if (slot.sample != nullptr) {
    StopSoundChannel(sound);
    const int last = LastFrame(slot);
    int first = std::max(start, 0);
    int final = end <= 0 || end > last ? last : end;
    if (final <= first) final = last;
    if (first >= final) first = 0;  // a start at or past the last frame: the whole sound
    const int from = position < 0 ? 0 : position > final ? first : position;
    PlaySoundChannel(slot, kSndLoopNormal, first, final, from);
  }
  slot.loopStart = start;
  slot.loopEnd = end;
  slot.looping = 1;
}

bool IsSoundPlaying(int sound) {
  const SoundSlot& slot = gSlots[sound];
  return slot.sample != nullptr && slot.channel >= 0 && SndIsChannelPlaying(slot.channel);
}

void PauseSound(int sound) {
  const SoundSlot& slot = gSlots[sound];
  if (slot.sample != nullptr && slot.channel >= 0) SndSetChannelPaused(slot.channel, true);
}

void ResumeSound(int sound) {
  const SoundSlot& slot = gSlots[sound];
  if (slot.sample != nullptr && slot.channel >= 0) SndSetChannelPaused(slot.channel, false);
}

void SetSoundFrequency(int sound, int hz) {
  SoundSlot& slot = gSlots[sound];
  if (slot.sample == nullptr) return;
  slot.playFrequency = hz;
  if (slot.channel >= 0) SndSetChannelFrequency(slot.channel, hz == 0 ? 44100 : hz);
}

void SetSoundVolume(int sound, int percent) {
  SoundSlot& slot = gSlots[sound];
  if (slot.sample == nullptr) return;
  slot.playVolume = SoundVolumeToLibrary(percent);
  if (slot.channel >= 0) SndSetChannelVolume(slot.channel, slot.playVolume);
}

// Kept for the next play, as volume and speed are.
void SetSoundPan(int sound, int pan) {
  SoundSlot& slot = gSlots[sound];
  if (slot.sample == nullptr) return;
  slot.playPan = SoundPanToLibrary(pan);
  if (slot.channel >= 0) SndSetChannelPan(slot.channel, slot.playPan);
}

// ---------------------------------------------------------------------------------------
// Recording and saving
// ---------------------------------------------------------------------------------------

bool StartRecording(int sound, int seconds) {
  if (seconds < 1) seconds = 5;
  SoundSlot& slot = gSlots[sound];
  slot.sample = SndCreateSample(-2, seconds * 44100, kSnd16Bits | kSndMono, 44100, 255, 128, 255);
  if (slot.sample == nullptr) return false;
  gGlue.recordingSlot = sound;
  if (SndStartRecording(slot.sample, false)) return true;
  SndFreeSample(slot.sample);
  slot.sample = nullptr;
  gGlue.recordingSlot = 0;
  return false;
}

// The recording without the silence before its first louder sample; an all-quiet one gives none.
int StopRecording() {
  const int number = gGlue.recordingSlot;
  SoundSlot& slot = gSlots[number];
  SndSample* recorded = slot.sample;
  const int n = SndGetRecordPosition();
  SndStopRecording();
  int result = 0;
  if (recorded != nullptr && n > 0) {
    void *first, *second;
    uint32_t firstLength, secondLength;
    int q = n;
    if (SndLockSample(recorded, 0, n * 2, &first, &second, &firstLength, &secondLength)) {
      const int16_t* data = static_cast<const int16_t*>(first);
      const int available = static_cast<int>(firstLength / 2);
      q = 0;
      while (q < n && q < available && data[q] >= -2048 && data[q] <= 2048) q++;
      if (q < n && q < available) {
        SndSample* trimmed = SndCreateSample(-1, n - q, kSnd16Bits | kSndMono, 44100, 255, 128, 0);
        void *to, *to2;
        uint32_t toLength, toLength2;
        if (trimmed != nullptr && SndLockSample(trimmed, 0, (n - q) * 2, &to, &to2, &toLength, &toLength2)) {
          std::memcpy(to, data + q, std::min<size_t>(toLength, static_cast<size_t>(available - q) * 2));
          SndUnlockSample(trimmed, to, to2, toLength, toLength2);
          slot.sample = nullptr;
          TakeSample(slot, trimmed);
          slot.is3D = 0;
          slot.position = {0, 0, 0};
          result = number;
        } else if (trimmed != nullptr) {
          SndFreeSample(trimmed);
        }
      }
      SndUnlockSample(recorded, first, second, firstLength, secondLength);
    }
  }
  if (recorded != nullptr) SndFreeSample(recorded);
  if (result == 0) slot.sample = nullptr;
  gGlue.recordingSlot = 0;
  return result;
}

static void PutLe(uint8_t* at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; i++) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// A PCM WAV in the sample's own format (channels, bits, rate). The file is replaced whole: a
// new file beside it is renamed over it once complete, so a full disk keeps the old one.
bool SaveSoundAsWave(const char* name, int sound, std::string* whyNot) {
  SndSample* sample = gSlots[sound].sample;
  if (sample == nullptr) {
    *whyNot = "the sound holds no sample";
    return false;
  }
  const uint32_t mode = SndGetSampleMode(sample);
  const int channels = (mode & kSndStereo) ? 2 : 1;
  const int bits = (mode & kSnd16Bits) ? 16 : 8;
  int rate = 44100;
  SndGetSampleDefaults(sample, &rate, nullptr, nullptr, nullptr);
  const uint32_t blockAlign = static_cast<uint32_t>(channels * bits / 8);
  const uint32_t bytes = SndGetSampleLength(sample) * blockAlign;
  void *first, *second;
  uint32_t firstLength, secondLength;
  if (!SndLockSample(sample, 0, static_cast<int>(bytes), &first, &second, &firstLength, &secondLength)) {
    *whyNot = "the sound's sample could not be read";
    return false;
  }
  const uint32_t dataBytes = std::min(bytes, firstLength);
  std::string file(44 + dataBytes, '\0');
  uint8_t* header = reinterpret_cast<uint8_t*>(file.data());
  std::memcpy(header, "RIFF", 4);
  PutLe(header + 4, dataBytes + 36, 4);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  PutLe(header + 16, 16, 4);
  PutLe(header + 20, 1, 2);
  PutLe(header + 22, static_cast<uint32_t>(channels), 2);
  PutLe(header + 24, static_cast<uint32_t>(rate), 4);
  PutLe(header + 28, static_cast<uint32_t>(rate) * blockAlign, 4);
  PutLe(header + 32, blockAlign, 2);
  PutLe(header + 34, static_cast<uint32_t>(bits), 2);
  std::memcpy(header + 36, "data", 4);
  PutLe(header + 40, dataBytes, 4);
  if (dataBytes > 0) std::memcpy(header + 44, first, dataBytes);
  SndUnlockSample(sample, first, second, firstLength, secondLength);
  if (bits == 8)  // the library keeps 8-bit data signed; WAV stores it unsigned
    for (uint32_t i = 0; i < dataBytes; i++) header[44 + i] ^= 0x80;
  std::string why;
  if (PlatformReplaceFile(MapProgramPath(name), file.data(), file.size(), false, &why)) return true;
  *whyNot = std::string("cannot write ") + name + ": " + why;
  return false;
}

// ---------------------------------------------------------------------------------------
// 3D sound
// ---------------------------------------------------------------------------------------

void SetListenerPosition(float x, float y, float z) {
  gGlue.listener = {x, y, z};
  if (!gGlue.soundOn) return;
  const SndVector3 still{0, 0, 0};
  SndSetListener(&gGlue.listener, &still, gGlue.forward.x, gGlue.forward.y, gGlue.forward.z, gGlue.top.x,
                 gGlue.top.y, gGlue.top.z);
}

// Row vector v times Rz, then Ry, then Rx: the listener's turn X first, then Y, then Z.
static SndVector3 RotateByAngles(SndVector3 v, float ax, float ay, float az) {
  const float cz = std::cos(az), sz = std::sin(az);
  v = {v.x * cz - v.y * sz, v.x * sz + v.y * cz, v.z};
  const float cy = std::cos(ay), sy = std::sin(ay);
  v = {v.x * cy + v.z * sy, v.y, -v.x * sy + v.z * cy};
  const float cx = std::cos(ax), sx = std::sin(ax);
  return {v.x, v.y * cx - v.z * sx, v.y * sx + v.z * cx};
}

void SetListenerAngles(float ax, float ay, float az) {
  gGlue.listenerAngles = {ax, ay, az};
  if (!gGlue.soundOn) return;
  const float toRadians = 0.017444445f;
  gGlue.forward = RotateByAngles({0, 0, 1}, ax * toRadians, ay * toRadians, az * toRadians);
  gGlue.top = RotateByAngles({0, 1, 0}, ax * toRadians, ay * toRadians, az * toRadians);
  SndSetListener(nullptr, nullptr, gGlue.forward.x, gGlue.forward.y, gGlue.forward.z, gGlue.top.x, gGlue.top.y,
                 gGlue.top.z);
}

void SetSoundPosition3D(int sound) {
  const SoundSlot& slot = gSlots[sound];
  if (gGlue.soundOn && slot.channel >= 0 && slot.is3D) SndSetChannel3D(slot.channel, &slot.position, nullptr);
}

// Environment presets 1..26 with the published reverb volume, decay time and damping of each
// (generic, padded cell, room ... dizzy, psychotic); any other number switches the reverb off.
void SetSoundEnvironment(int preset) {
  static const float kPresets[26][3] = {
      {0.5f, 1.493f, 0.5f},    {0.25f, 0.1f, 0.0f},     {0.417f, 0.4f, 0.666f},  {0.653f, 1.499f, 0.166f},
      {0.208f, 0.478f, 0.0f},  {0.5f, 2.309f, 0.888f},  {0.403f, 4.279f, 0.5f},  {0.5f, 3.961f, 0.5f},
      {0.5f, 2.886f, 1.304f},  {0.361f, 7.284f, 0.332f}, {0.5f, 10.0f, 0.3f},    {0.153f, 0.259f, 2.0f},
      {0.361f, 1.493f, 0.0f},  {0.444f, 2.697f, 0.638f}, {0.25f, 1.752f, 0.776f}, {0.111f, 3.145f, 0.472f},
      {0.111f, 2.767f, 0.224f}, {0.194f, 7.841f, 0.472f}, {1.0f, 1.499f, 0.5f},   {0.097f, 2.767f, 0.224f},
      {0.208f, 1.652f, 1.5f},  {0.652f, 2.886f, 0.25f},  {1.0f, 1.499f, 0.0f},    {0.875f, 8.392f, 1.388f},
      {0.139f, 17.234f, 0.666f}, {0.486f, 7.563f, 0.806f}};
  gGlue.environment = (preset >= 1 && preset <= 26) ? preset : 0;
  if (!gGlue.environment) {
    SndSetEnvironment(0, 0.0f, 0.0f, 0.0f);
  } else {
    const float* p = kPresets[preset - 1];
    SndSetEnvironment(preset - 1, p[0], p[1], p[2]);
  }
}
