// The sound library's front door: samples, channels, the software mixer with its DSP units,
// software 3D and the output drivers, all behind flat Snd* calls with one error word.
#pragma once
#include <cstdint>
#include <string>

struct SndSample;   // a block of PCM with its playback defaults (sound_local.h)
struct SndChannel;  // one voice that plays a sample
struct SndDspUnit;  // one stage of the mixer's chain

// Mode word: describes sample data and how it is loaded.
enum : uint32_t {
  kSndLoopOff = 0x1,
  kSndLoopNormal = 0x2,
  kSndLoopBidi = 0x4,
  kSnd8Bits = 0x8,
  kSnd16Bits = 0x10,
  kSndMono = 0x20,
  kSndStereo = 0x40,
  kSndUnsigned = 0x80,
  kSndSigned = 0x100,
  kSndDelta = 0x200,
  kSndIt214 = 0x400,
  kSndIt215 = 0x800,
  kSndHardware = 0x1000,
  kSnd2D = 0x2000,
  kSndStreamBuffer = 0x4000,
  kSndMemoryImage = 0x8000,   // loading from memory (file layer)
  kSndRaw = 0x10000,          // loading raw data (file layer)
  kSndAccurateMpeg = 0x20000, // exact MPEG length (file layer)
};

// Error word values set by the library (drivers add 4, 6, 7, 8, 15, 16).
enum : int {
  kSndErrNone = 0,
  kSndErrAfterStartup = 1,
  kSndErrNotInitialised = 2,
  kSndErrNoOutput = 3,
  kSndErrDeviceInUse = 4,
  kSndErrVoiceStart = 5,
  kSndErrFileOpen = 9,
  kSndErrFileFormat = 10,
  kSndErrFileData = 11,
  kSndErrMemory = 12,
  kSndErrInvalid = 14,
  kSndErrNoEffects = 15,       // no reverb on this output
  kSndErrNoFullEffects = 16,   // the full environment parameters need level 2
  kSndErrNoChannel = 17,
  kSndErrNoInput = 18,
};

// Special channel numbers.
enum : int { kSndAnyChannel = -1, kSndAllChannels = -3, kSndPrimaryChannel = -1000 };

struct SndVector3 {
  float x, y, z;
};

struct SndFile;     // an open file of the file layer: disk, memory image, stdio or routines

// A set of file routines over opaque handles (0 = no file). Used for the host's disk files and
// for the user routines a program installs; seek takes origin 0 set, 1 current, 2 end and
// returns 0 on success like fseek.
struct SndFileRoutines {
  uintptr_t (*Open)(const char* name);
  void (*Close)(uintptr_t handle);
  int (*Read)(void* buffer, int size, uintptr_t handle);
  int (*Seek)(uintptr_t handle, int64_t offset, int origin);
  int64_t (*Tell)(uintptr_t handle);
};

// What the library needs from its host, given once before start-up (null entries get no-ops).
struct SndHost {
  void (*LogLine)(const char* text);
  // Disk files by the program's names (folder separators and case mapped). All five or none;
  // with none, names are opened as they are with stdio.
  SndFileRoutines files;
  // The appended package: when it holds `name`, extracts it and writes the extracted copy's
  // path into `path` (size bytes with the terminator); false when the package has no such file.
  bool (*ResolvePackaged)(const char* name, const char* extension, char* path, int size);
};

// A DSP unit's work: (block start in the mix buffer, buffer from the previous unit, frames,
// user data) -> the buffer handed to the next unit. Runs on the mixer thread under the lock.
using SndDspCallback = void* (*)(void* blockStart, void* buffer, int frames, void* user);

// --- Frame, settings and start-up (called by the sound glue at program start and end) ---
void SndSetHost(const SndHost& host);            // host start-up: log and file services
bool SndSelectOutput(int type);                  // before start-up: -1 auto, 0 none, 1 device, 2, 3
bool SndSelectDriver(int deviceIndex);           // before start-up: output device
bool SndSelectMixer(int type);                   // before start-up: 0..8 (below 4 means 4)
bool SndSetBufferTime(int ms);                   // before start-up: ring length, stored doubled
bool SndSetWindow(uintptr_t window);             // before start-up: the host window
bool SndSetMinHardwareChannels(int count);       // before start-up
bool SndSetMaxHardwareChannels(int count);       // before start-up
bool SndGetDriverCaps(int deviceIndex, uint32_t* flags);
bool SndEnumerateOutputs();                      // fills the output device list
bool SndStartup(int mixRate, int softwareChannels, uint32_t flags);  // sound glue, at start-up
bool SndShutdown();                              // sound glue, at shut-down (never from a DSP unit)
int SndGetOutput();                              // glue and tests: the output type in use
int SndGetDriver();                              // the chosen device index, 0 when none
int SndGetMixer();                               // the requested mixer type
int SndGetBufferTime();                          // the stored (doubled) ring length, -1 = not set
int SndGetDriverCount();                         // device list size (lists devices first)
const char* SndGetDriverName(int index);         // device name; null with error 14 past the list
int SndGetMixRate();                             // output rate in Hz
int SndGetChannelCount();                        // software + hardware channels
int SndGetHardwareChannelCount();                // voices the driver mixes itself
int SndGetSampleCapacity();                      // sample table slots (grows by 256)
SndSample* SndGetSample(int index);              // the sample in a table slot, or null
int SndGetError();                               // the error word; never clears it
float SndGetVersion();                           // the library version, 3.33
// The system version check of the automatic output choice: false, as on any system since
// the older one it stood for (automatic output is then the 3D device, type 2).
bool SndIsOlderNt();
// Voice manager of a hardware 3D device (property set of the output's voices). No output of
// this system has one: each answers kSndResultUnsupported and leaves its out values alone.
constexpr uint32_t kSndResultUnsupported = 0x80004001u;
uint32_t SndProbeVoiceManager(void* device, void** propertySet);
uint32_t SndGetVoiceManagerMode(void* device, uint32_t* mode);
uint32_t SndSetVoiceManagerMode(void* device, uint32_t mode, uint32_t* oldMode);
uint32_t SndGetVoicePriority(void* buffer, uint32_t* priority);
uint32_t SndSetVoicePriority(void* buffer, uint32_t priority);
uint32_t SndGetVoiceState(void* buffer, uint32_t* state);
// Reserved pass-through operations: every output answers them with a constant, after the
// checks of any operation (error 2 before start-up; error 14 for a null object or answer).
uintptr_t SndReservedQuery();                                  // 0, with error 14
bool SndReservedObject(void* object);                          // the one-object operations
bool SndReservedObjectLevels(void* object, float levels[4]);   // levels clamped to 0..1
bool SndReservedObjectWords(void* object, const uint32_t words[4]);
bool SndReservedTransfer(const void* first, const void* second, const void* third, uint32_t a,
                         uint32_t b, uint32_t flags, uint32_t last);  // the three must be non-null
int32_t SndReservedObjectWord(void* object);                   // 0; -1 with error 14 for null
uint32_t* SndReservedByte(uint8_t value);                      // a stored word's address
float SndGetCpuUsage();                          // percent of one core spent mixing
uint64_t SndGetCurrentThreadId();                // names the calling thread (entry convention)
uint32_t SndGetTimeMs();                         // the library clock (stepped in tests)
void SndSleep(uint32_t ms);                      // sleeps the calling thread
// Tests: before start-up, replace the clock by one that only SndStepClock moves; the mixer
// thread is then not started and each step runs one mixer round on the caller's thread.
void SndUseSteppedClock(bool stepped);
void SndStepClock(uint32_t ms);

// --- File layer (loaders, streams and songs read every file through it) ---
enum : int { kSndFileDisk = 0, kSndFileMemory = 1, kSndFileStdio = 2, kSndFileRoutines = 3 };
// Opens `source` as `kind`: 0 a file name (the package first, then the user routines when set,
// the host's files, or stdio), 1 a memory image of `length` bytes, 2 an open FILE* read from its
// current offset (`length` bytes, -1 to its end). Null when it cannot be opened.
SndFile* SndFileOpen(const void* source, int kind, int64_t length);
void SndFileClose(SndFile* file);                // closes what the layer opened, frees the handle
int SndFileRead(void* buffer, int size, SndFile* file);  // bytes read (0 at the end), never the data
int SndFileSeek(SndFile* file, int64_t offset, int origin);  // 0 set/1 current/2 end; 0 or -1
int64_t SndFileTell(SndFile* file);              // the position seek moved to, for every kind
int64_t SndFileLength(SndFile* file);            // bytes from the file's start to its end
// Songs and the host: user file routines, all five or (any null) none.
void SndSetFileCallbacks(const SndFileRoutines& routines);

// --- Loading and recording (sound glue). Index -1 takes the first free slot. Loads return the
// sample or null (9 not opened, 10 not a format we read, 11 bad data, 12 memory, 14 arguments).
// A name (or, with kSndMemoryImage, a memory image of `length` bytes): WAV, then MPEG audio;
// with kSndRaw the bytes themselves as PCM in the mode's format.
SndSample* SndLoadSample(int index, const void* nameOrImage, uint32_t mode, int length);
// Why the last sample load on this thread failed for lack of a library, naming it ("" when it
// did not): the sound glue says it to the user.
std::string SndLibraryProblem();
// Why the last sample load on this thread refused its file, in words that name the format
// ("WAV format tag 0x0160 (Windows Media Audio) is not read"); "" when it loaded or gave none.
std::string SndLoadProblem();
SndSample* SndLoadRawSample(int index, const char* name, uint32_t mode);
SndSample* SndLoadWavFile(int index, const char* name, uint32_t mode);
SndSample* SndLoadWavMemory(int index, const void* image, uint32_t mode, int length);
SndSample* SndLoadMpegFile(int index, const char* name, uint32_t mode);
SndSample* SndLoadMpegMemory(int index, const void* image, uint32_t mode, int length);
bool SndStartRecording(SndSample* sample, bool loop);  // records the input into the sample
bool SndStopRecording();                         // stops the device after the last copy
int SndGetRecordPosition();                      // frames written into the sample so far
bool SndSelectRecordDriver(int index);           // input device; outside the list: input 0
int SndGetRecordDriver();
int SndGetRecordDriverCount();                   // refreshes the input list
const char* SndGetRecordDriverName(int index);   // null past the list

// --- Samples (sound glue, file loaders, songs): create, fill, loop and query ---
SndSample* SndCreateSample(int index, int length, uint32_t mode, int frequency, int volume,
                           int pan, int priority);
void SndFreeSample(SndSample* sample);           // stops its channels, then frees it
bool SndUploadSample(SndSample* sample, const void* data, uint32_t mode);  // PCM with conversions
// IT 2.14/2.15 upload with the source size known, so every block is checked against it.
bool SndUploadSampleSized(SndSample* sample, const void* data, uint32_t dataBytes, uint32_t mode);
bool SndLockSample(SndSample* sample, int offset, int length, void** first, void** second,
                   uint32_t* firstLength, uint32_t* secondLength);
bool SndUnlockSample(SndSample* sample, void* first, void* second, uint32_t firstLength,
                     uint32_t secondLength);
bool SndSetSampleLoopMode(SndSample* sample, uint32_t loopMode);
bool SndSetSampleLoopPoints(SndSample* sample, int start, int end);
bool SndSetSampleDefaults(SndSample* sample, int frequency, int volume, int pan, int priority);
bool SndGetSampleLoopPoints(SndSample* sample, int* start, int* end);
bool SndGetSampleDefaults(SndSample* sample, int* frequency, int* volume, int* pan, int* priority);
uint32_t SndGetSampleMode(SndSample* sample);
uint32_t SndGetSampleLength(SndSample* sample);
const char* SndGetSampleName(SndSample* sample);
bool SndSetSampleMinMaxDistance(SndSample* sample, float minimum, float maximum);

// --- Channels (sound glue and songs); every call takes a handle, -3 for all, -1000 primary.
// Play calls return the new handle or -1; setters return false with error 14 on a bad handle;
// getters return 0 on failure. ---
int SndPlaySoundOnUnit(SndDspUnit* unit, int channel, SndSample* sample, bool paused);
int SndPlaySoundPaused(int channel, SndSample* sample, bool paused);
int SndPlaySoundSimple(int channel, SndSample* sample);
int SndPlaySound(int channel, SndSample* sample, int frequency, int volume, int pan,
                 const SndVector3* position, const SndVector3* velocity);
// As SndPlaySound, starting at `startFrame` of the sample (a frame at or past its loop end
// starts at 0): the sound glue's play from a position.
int SndPlaySoundFrom(int channel, SndSample* sample, int frequency, int volume, int pan,
                     const SndVector3* position, const SndVector3* velocity, uint32_t startFrame);
int SndPlaySoundAttributes(int channel, SndSample* sample, int frequency, int volume, int pan);
int SndPlaySound3D(int channel, SndSample* sample, const SndVector3* position,
                   const SndVector3* velocity);
bool SndStopChannel(int channel);
bool SndStopAllChannels();
bool SndSetChannelFrequency(int channel, int hz);
bool SndSetChannelVolume(int channel, int volume);
bool SndSetChannelAbsoluteVolume(int channel, int volume);
bool SndSetChannelPan(int channel, int pan);
bool SndSetChannelRawPan(int channel, int pan);
bool SndSetChannelSurround(int channel, bool on);
bool SndSetChannelMute(int channel, bool on);
bool SndSetChannelPaused(int channel, bool on);
bool SndSetChannelPriority(int channel, int priority);
bool SndSetChannelReserved(int channel, bool on);
bool SndSetChannelLoopMode(int channel, uint32_t loopMode);
bool SndSetChannelEffectMix(int channel, float mix);
bool SndSetSfxMasterVolume(int volume);
bool SndSetPanSeparation(float separation);
int SndGetChannelFrequency(int channel);
int SndGetChannelVolume(int channel);
int SndGetChannelPan(int channel);
bool SndGetChannelSurround(int channel);
bool SndGetChannelMute(int channel);
int SndGetChannelPriority(int channel);
bool SndGetChannelReserved(int channel);
bool SndGetChannelPaused(int channel);
SndSample* SndGetChannelSample(int channel);
uint32_t SndGetChannelPosition(int channel);
float SndGetChannelLevel(int channel);
bool SndIsChannelPlaying(int channel);
bool SndGetChannelEffectMix(int channel, float* mix);
int SndGetChannelsPlaying();

// --- Software mixer and DSP units (songs, streams and effects hook into the chain) ---
SndDspUnit* SndCreateDspUnit(SndDspCallback callback, int priority, void* user);
void SndFreeDspUnit(SndDspUnit* unit);
void SndSetDspUnitPriority(SndDspUnit* unit, int priority);
int SndGetDspUnitPriority(SndDspUnit* unit);
void SndSetDspUnitActive(SndDspUnit* unit, bool active);
bool SndGetDspUnitActive(SndDspUnit* unit);
SndDspUnit* SndGetClearUnit();
SndDspUnit* SndGetSfxUnit();
SndDspUnit* SndGetMusicUnit();
SndDspUnit* SndGetClipCopyUnit();
int SndGetBlockLength();
int SndGetMixBufferLength();                     // ring length in frames
bool SndMixerUsesFloat();                        // the mix buffer holds f32 pairs, else i16 pairs
void SndClearOutput();
bool SndMixSampleInto(void* destination, const void* source, int length, int frequency,
                      int volume, int pan, uint32_t mode);
uint64_t SndGetMixedBlockCount();                // blocks mixed since start-up
SndSample* SndGetPrimaryMixBuffer();             // the output ring (16-bit stereo)

// --- Software 3D (sound glue, once per frame) ---
void SndSetListener(const SndVector3* position, const SndVector3* velocity, float forwardX,
                    float forwardY, float forwardZ, float topX, float topY, float topZ);
void SndGetListener(SndVector3* position, SndVector3* velocity, float* forwardX, float* forwardY,
                    float* forwardZ, float* topX, float* topY, float* topZ);
void SndSetDopplerFactor(float factor);
void SndSetDistanceScale(float scale);
void SndSetAttenuationFactor(float factor);
bool SndSetChannel3D(int channel, const SndVector3* position, const SndVector3* velocity);
bool SndGetChannel3D(int channel, SndVector3* position, SndVector3* velocity);
void SndApply3D();

// --- Reverb environments (sound glue): presets 0..25 (0 generic ... 25 psychotic); a value of
// kSndUnchanged (either kind) is not sent. Output 2 plays them through OpenAL's reverb; without
// it the calls fail with error 15 (presets) or 16 (full parameters). NaN values: error 14. ---
constexpr int kSndUnchanged = -9999999;
struct SndEnvironment {
  int environment;            // preset 0..25
  int room, roomHF;           // hundredths of a dB
  float roomRolloff;          // 0..10
  float decayTime;            // seconds
  float decayHFRatio;         // 0.1..2
  int reflections;            // hundredths of a dB
  float reflectionsDelay;     // seconds
  int reverb;                 // hundredths of a dB
  float reverbDelay;          // seconds
  float size;                 // 1..100 m; scales decay time and delays
  float diffusion;            // 0..1
  float airAbsorptionHF;      // hundredths of a dB per metre, -100..0
};
bool SndSetEnvironment(int preset, float volume, float decayTime, float damping);
bool SndSetEnvironmentFull(const SndEnvironment& environment);
bool SndGetEnvironment(int* preset, float* volume, float* decayTime, float* damping);  // nulls skipped
bool SndGetEnvironmentFull(SndEnvironment* environment);
