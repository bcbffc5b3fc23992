// The sound glue shared by the sound commands and their tests: the numbered sound slots over
// the sound library's samples and channels, and the hooks the runtime calls.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/runtime.h"
#include "sound/sound.h"

constexpr int kSoundSlots = 1030;  // commands take 1..1025; slot 0 catches a failed recording
constexpr int kLastSoundNumber = 1025;

struct SoundSlot {   // cleared by FreeAllSounds at the end of every run
  uint8_t loaded;
  uint8_t marked3D;  // filled by the 3D load: what the type query answers
  uint8_t playing;
  uint8_t paused;
  uint8_t looping;
  uint8_t pausedByDeactivation;  // resumed on activation only when the deactivation paused it
  uint8_t ownsSample;
  uint8_t is3D;
  uint8_t channelPriority;       // 1 when loaded with the priority flag
  int32_t volume;                // 0..100 as last given
  int32_t frequency;             // as last given (the sample's default after load)
  int32_t pan;                   // -10000..10000 as last given
  int32_t loopStart, loopEnd;    // as the last loop command gave them (frames)
  SndVector3 position;
  SndSample* sample;
  int32_t channel;               // -1 when none
  int32_t playFrequency;
  int32_t playVolume;            // 0..255
  int32_t playPan;               // 0..255, or -1 for the sample's own (until a pan is set)
  int32_t fileLoopStart, fileLoopEnd;  // the file's own loop (its sampler loop, else all of it)
};

struct SoundGlueState {  // lives from InitSound to CloseSound
  uint8_t soundOn;
  // What InitSound selects: automatic (OpenAL, else the SDL2 ring, else none: a run never
  // loses its sound for want of one device); tests choose 0 (none) or 1 (SDL device).
  int outputType = -1;
  bool steppedClock;     // tests: the library's clock moves only when they step it
  SndVector3 listener;
  SndVector3 listenerAngles;
  SndVector3 forward{0, 0, 1}, top{0, 1, 0};
  int32_t recordingSlot;
  int32_t environment;   // the last preset asked for (the library has no reverb yet)
};

SoundSlot& SoundSlotAt(int number);  // 0..kSoundSlots-1
SoundGlueState& SoundGlue();
// Tests: the output InitSound starts and whether the library clock is stepped (before InitSound).
void SetSoundGlueOutput(int outputType, bool steppedClock);

// Runtime hooks (installed by InstallCommandHooks).
void InitSound();                                // reads the MIDI settings beside the executable
// The player's start-up hook: the library starts at the first command of a family registered
// through RegisterCommandsStartingSound (EnsureSoundStarted), or never.
void DeferSoundStart();
void EnsureSoundStarted();
void ForgetDeferredSoundStart();                 // shut-down of a run that never started it
bool RegisterCommandsStartingSound(const CommandEntry* entries, size_t count);
template <size_t N>
bool RegisterCommandsStartingSound(const CommandEntry (&table)[N]) {
  return RegisterCommandsStartingSound(table, N);
}
void ChooseMidiSynth(const std::string& folder);  // the MIDI keys of folder/SETUP.INI
void ResetSound3D();
void FreeAllSounds();
void CloseSound();
void SoundSyncHook();
void UpdateSound3D();
void PauseSoundsOnDeactivate();
void ResumeSoundsOnActivate();

// Glue operations of the sound commands.
bool LoadSoundFile(int sound, const char* name, int option);
bool LoadSound3DFile(int sound, const char* name);
bool CloneSound(int target, int source);
void StopSoundChannel(int sound);
void FreeSoundSlot(int sound);
// Positions, starts and ends are frames of the sound (samples at its own rate), clamped to it:
// a position past the end plays nothing, an end of 0, past the end or not after the start is
// the last frame, and a start at or past the last frame loops the whole sound.
void PlaySoundOnce(int sound, int position);
void PlaySoundLooped(int sound);                 // the file's own loop (sampler loop, or all)
void PlaySoundLoopRange(int sound, int start, int end, int position);
bool IsSoundPlaying(int sound);
void PauseSound(int sound);
void ResumeSound(int sound);
void SetSoundFrequency(int sound, int hz);
void SetSoundVolume(int sound, int percent);
void SetSoundPan(int sound, int pan);
bool StartRecording(int sound, int seconds);
int StopRecording();  // the slot that took the recording, or 0
// False with the reason (naming the file when it is the file) in *whyNot.
bool SaveSoundAsWave(const char* name, int sound, std::string* whyNot);
void SetListenerPosition(float x, float y, float z);
void SetListenerAngles(float ax, float ay, float az);
void SetSoundPosition3D(int sound);
void SetSoundEnvironment(int preset);
// Exact mappings of the command ranges onto the library's: p*255/100 and -10000..10000 to 0..255.
int SoundVolumeToLibrary(int percent);
int SoundPanToLibrary(int pan);

// Music slots 1..32 (commands/music_commands.cpp): runtime hooks.
void UpdateMusicLoops();
void PauseMusicOnDeactivate();
void ResumeMusicOnActivate();
void FreeAllMusic();
void CloseMusic();
struct SndSong;
SndSong* MusicSongAt(int music);  // tests: the song a slot 1..32 holds, or null

// The CD source (commands/cd_commands.cpp): SETUP.INI's [SETTINGS] CDDRIVE, read once before
// the first CD use unless the program named a source first.
void ChooseCdSourceFromSetup();
