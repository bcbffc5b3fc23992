// Declarations shared inside the sound library: the sample, channel and DSP unit records, the
// driver table, and the one state struct the API thread and the mixer thread share.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/thread.h"
#include "sound/sound.h"


// A link of a circular doubly linked list; a head points at itself when the list is empty.
struct SndLink {
  SndLink* next = this;
  SndLink* prev = this;
};
void SndListInit(SndLink* head);
void SndListUnlink(SndLink* node);
void SndListAppend(SndLink* head, SndLink* node);

struct SndSampleOps {
  bool (*CreateBuffer)(SndSample* sample);
  void (*FreeBuffer)(SndSample* sample);
  bool (*Upload)(SndSample* sample, const void* data, uint32_t dataBytes, uint32_t mode);
  bool (*Lock)(SndSample* sample, int64_t offset, int64_t length, void** first, void** second,
               uint32_t* firstLength, uint32_t* secondLength);
  bool (*Unlock)(SndSample* sample, void* first, void* second, uint32_t firstLength,
                 uint32_t secondLength);
};

struct SndSample {
  char name[256];
  int index;                  // table slot, -2 unmanaged
  uint8_t* data;              // software PCM, length frames plus 16 spare bytes
  uint32_t length;            // frames
  uint32_t loopStart;         // frames
  uint32_t loopLength;        // frames
  int defaultFrequency, defaultVolume, defaultPan, defaultPriority;
  uint8_t bits;               // 8 or 16
  uint8_t loopMode;           // 1 off, 2 normal, 4 bidirectional
  uint8_t channelMode;        // 32 mono, 64 stereo
  uint8_t songSample;         // left out of the effects master volume
  uint8_t trackerFlags[2];    // kept for songs
  uint32_t trackerValues[4];  // [0] is the tracker base frequency, 8363
  uint8_t inSong;
  float minDistance, maxDistance;
  void* decoderState;
  bool is2D, hardware, streamBuffer;
  void* hardwareBuffer;
  SndSampleOps ops;
};

struct SndVoiceOps {
  bool (*Prepare)(SndChannel* channel, SndSample* sample);
  bool (*Start)(SndDspUnit* unit, SndChannel* channel, SndSample* sample);
  bool (*Stop)(SndChannel* channel);
  bool (*SetFrequency)(SndChannel* channel, int hz);
  bool (*SetVolume)(SndChannel* channel, int volume);
  bool (*SetPan)(SndChannel* channel, int pan);
  bool (*SetPaused)(SndChannel* channel, bool paused);
  uint64_t (*GetPosition)(SndChannel* channel);  // frames; 64 bits so it never wraps
  float (*GetLevel)(SndChannel* channel);
  bool (*IsPlaying)(SndChannel* channel);
  bool (*Set3D)(SndChannel* channel, const SndVector3* position, const SndVector3* velocity);
  bool (*Get3D)(SndChannel* channel, SndVector3* position, SndVector3* velocity);
  bool (*SetEffectMix)(SndChannel* channel, float mix);
};

struct SndChannel {
  SndLink link;               // in a unit's channel list or the free software list
  int index;
  int handle;
  int reference;              // next reference number, 1..0x7FFFF
  int volume, frequency, pan; // as set through the API
  int voiceVolume, voiceFrequency, voicePan;
  int startOffset;
  uint8_t mute, surround, reserved, paused;
  int priority;
  SndVector3 position3D, velocity3D;
  SndSample* sample;          // null when free
  int leftVolume, rightVolume, halfVolume;
  int64_t position;           // 32.32 fixed point frames
  int64_t step;               // 32.32 fixed point frames per output frame
  int direction;              // 1 forward, 2 backward
  uint8_t loopMode;
  // The sample's loop points as they were when it started (like its loop mode): two sounds
  // sharing a sample each keep the section they were started with. The mixers read these.
  uint32_t loopStart, loopLength;
  int rampTarget[2];          // left, right volume the ramp leads to
  int32_t rampCurrent[2];     // volume x 65536 now
  int32_t rampStep[2];        // change of rampCurrent per frame
  uint32_t rampFrames;
  uint8_t songOwned;
  uint32_t driverVoice[3];
  float effectMix;
  uint8_t absoluteVolume;
  uint8_t spare;
  SndVoiceOps ops;
};

struct SndDspUnit {
  SndLink link;               // in the chain, ascending priority
  SndDspCallback callback;
  int priority;
  bool active;
  void* user;
  SndLink channels;           // software channels this unit mixes
};

// The output-driver table; the core fills every empty entry with the no-sound routine, so
// callers never test for null. Later drivers (3D device, capture, environment) fill the rest.
struct SndOutputDriver {
  const char* name = nullptr;
  bool hardwareVoices = false;
  void (*EnumerateOutputs)() = nullptr;
  bool (*Open)(int mixRate) = nullptr;
  void (*Close)() = nullptr;
  void (*InstallSampleOps)(SndSample* sample) = nullptr;
  void (*InstallVoiceOps)(SndChannel* channel) = nullptr;
  void (*GetCaps)(uint32_t* flags, int deviceIndex) = nullptr;
  void (*Commit3D)() = nullptr;
  void (*SetListener)(const SndVector3* position, const SndVector3* velocity,
                      const SndVector3* forward, const SndVector3* top) = nullptr;
  void (*GetListener)(SndVector3* position, SndVector3* velocity, float orientation[6]) = nullptr;
  void (*SetDopplerFactor)(float factor) = nullptr;
  void (*SetDistanceScale)(float scale) = nullptr;
  void (*SetRolloff)(float factor) = nullptr;
  bool (*StartEffects)() = nullptr;
  bool (*SetEnvironment)(int preset, float volume, float decay, float damping) = nullptr;
  bool (*SetEnvironmentFull)(const float values[13]) = nullptr;
  bool (*GetEnvironment)(int* preset, float* volume, float* decay, float* damping) = nullptr;
  bool (*GetEnvironmentFull)(float values[13]) = nullptr;
  void (*EnumerateInputs)() = nullptr;
  bool (*SelectInput)(int index) = nullptr;
  bool (*StartRecording)(int frames, int bits, int channelMode, int frequency) = nullptr;
  bool (*StopRecording)() = nullptr;
  int64_t (*CapturePosition)() = nullptr;
  bool (*LockCapture)(int offset, int length, void** first, void** second,
                      uint32_t* firstLength, uint32_t* secondLength) = nullptr;
  bool (*UnlockCapture)(void* first, void* second, uint32_t firstLength, uint32_t secondLength) = nullptr;
};

extern SndOutputDriver gSndNullDriver;    // drivers/null.cpp
extern SndOutputDriver gSndDeviceDriver;  // drivers/device.cpp: the SDL2 ring
extern SndOutputDriver gSndOpenAlDriver;  // drivers/openal.cpp: output type 2
// drivers/device.cpp: a lock of a looping ring, the part past its end continuing at its start.
bool SndRingLock(SndSample* sample, int64_t offset, int64_t length, void** first, void** second,
                 uint32_t* firstLength, uint32_t* secondLength);
// drivers/openal.cpp: which device output 2 opens (before start-up), and the loopback render
// (16-bit stereo at the mix rate) that tests and offline renders read.
enum : int { kSndOpenAlSystem = 0, kSndOpenAlLoopback = 1, kSndOpenAlMissing = 2 };
void SndOpenAlUseTarget(int target);
bool SndOpenAlRender(int16_t* out, int frames);
// Tests: the highest environment level output 2 admits to (2 full, 1 presets only, 0 as without
// the effects extension), for the process; and the OpenAL objects alive now (sources with the
// stream's, buffers of hardware samples, send filters).
void SndOpenAlLimitEffects(int level);
void SndOpenAlCountObjects(int* sources, int* buffers, int* filters);
// Tests: a hardware voice's reverb send (gain of its filter, whether OpenAL sets it by distance)
// and the number of environment values sent to the reverb since start-up.
bool SndOpenAlVoiceSend(int channelIndex, float* gain, bool* automatic);
int SndOpenAlEnvironmentSends();
void SndFillDriverDefaults(SndOutputDriver* driver);  // drivers/null.cpp
// drivers/capture.cpp: the SDL2 capture operations the device driver's recording slots hold.
void SndCaptureEnumerateInputs();
bool SndCaptureSelectInput(int index);
bool SndCaptureStart(int frames, int bits, int channelMode, int frequency);
bool SndCaptureStop();
int64_t SndCapturePosition();
bool SndCaptureLock(int offset, int length, void** first, void** second, uint32_t* firstLength,
                    uint32_t* secondLength);
bool SndCaptureUnlock(void* first, void* second, uint32_t firstLength, uint32_t secondLength);
void SndInstallNullVoiceOps(SndChannel* channel);     // drivers/null.cpp

using SndMixRoutine = void (*)(void* buffer, SndLink* channels, int frames);
using SndClearRoutine = void (*)(void* buffer, int frames);
using SndClipRoutine = void (*)(int16_t* destination, const void* source, int frames);

// Everything the API thread and the mixer thread share, behind `lock`. Settings live for the
// process; the rest is built by SndStartup and torn down by SndShutdown.
struct SndLibrary {
  std::recursive_mutex lock;  // held by every API call and by the mixer for each round
  SndHost host;
  // settings
  int outputType = -1;
  int requestedOutput = -1;   // as selected: -1 automatic falls back 2 -> 1 -> 0 at start-up
  int mixerType = 4;
  int driverIndex = -1;
  int mixRate = 44100;
  int bufferTime = -1;
  int maxHardwareChannels = 99999;
  int minHardwareChannels = 0;
  int sfxMasterVolume = 255;
  float panSeparation = 1.0f;
  int recordDriverIndex = -1;
  uintptr_t window = 0;
  uint32_t startupFlags = 0;
  SndOutputDriver* driver = nullptr;
  // devices
  int outputCount = 0;
  char* outputNames[256] = {};
  int inputCount = 0;
  char* inputNames[256] = {};
  bool devicesListed = false;
  // running state
  std::atomic<int> error{0};
  std::atomic<uint64_t> startupThread{0};
  bool initialised = false;
  bool emulatedOutput = false;
  SndSample** samples = nullptr;
  int sampleCapacity = 0;
  SndChannel* channels = nullptr;  // total + 1 records
  int totalChannels = 0, softwareChannels = 0, hardwareChannels = 0;
  int softwareRange[3] = {0, -1, 0};  // first, last, cursor
  int hardwareRange[3] = {0, -1, 0};
  SndSample* primarySample = nullptr;
  SndChannel primaryChannel{};
  // clock
  bool steppedClock = false;
  std::atomic<uint32_t> steppedMs{0};
};
extern SndLibrary gSnd;  // owned by core.cpp

// Mixer state; built by SndSetupMixer, torn down by SndStopMixer (mixer.cpp owns it).
struct SndMixer {
  int type = 0;
  int blockLength = 0;
  int mixBufferLength = 0;
  int frameShift = 0;           // 0: i16 pairs, 1: f32 pairs
  uint8_t* mixMemory = nullptr;
  uint8_t* mixBuffer = nullptr; // 16-byte aligned inside mixMemory
  int rampLength = 128;
  int writeBlock = 0;
  std::atomic<uint64_t> mixedBlocks{0};
  PlatformStopSignal stop;
  std::atomic<bool> finished{true};
  PlatformThread* thread = nullptr;
  std::atomic<float> cpuUsage{0.0f};
  double smoothedUse = 0, smoothedPeriod = 0;
  uint64_t previousStamp = 0;
  SndLink freeList;
  SndLink chain;
  SndDspUnit *clearUnit = nullptr, *sfxUnit = nullptr, *musicUnit = nullptr, *clipUnit = nullptr;
  SndMixRoutine mix = nullptr;
  SndClearRoutine clear = nullptr;
  SndClipRoutine clip = nullptr;
};
extern SndMixer gSndMixer;  // owned by mixer.cpp

using SndLockGuard = std::lock_guard<std::recursive_mutex>;

// core.cpp
bool SndFail(int error);          // sets the error word, returns false
void SndEnter();                  // entry convention: clears the error word on the start-up thread
void SndLog(const char* text);
// A loader refusing a file for lack of a library keeps why (SndLibraryProblem reads it).
void SndNoteLibraryProblem(const std::string& problem);
// A loader refusing a file keeps why in words (SndLoadProblem reads it) and fails with `error`;
// the first reason noted in a load stands.
bool SndRefuseFile(int error, const std::string& why);
void SndAddOutputName(const char* name);  // drivers' device lists (at most 255 entries)
void SndAddInputName(const char* name);

// sample.cpp
SndSample* SndCreateSampleRecord(int index, uint32_t mode);
void SndInstallSoftwareSampleOps(SndSample* sample);
void SndFreeAllSamples();
uint32_t SndFrameBytes(const SndSample* sample);
// IT 2.14/2.15 decompression into `frames` frames of 8 or 16 bits; false on malformed data.
bool SndDecompressIt(uint8_t* destination, uint32_t frames, bool sixteenBit, bool it215,
                     const uint8_t* source, uint32_t sourceBytes);

// channel.cpp
SndChannel* SndLookupChannel(int handle);
void SndInstallSoftwareVoiceOps(SndChannel* channel);
void SndInitChannel(SndChannel* channel, int index);
void SndUpdateStep(SndChannel* channel, int hz);
void SndComputeSides(int volume, int pan, int* left, int* right);

// mixer.cpp
bool SndSetupMixer(int mixRate);
bool SndStartMixerThread();
void SndStopMixerThread();
void SndTearDownMixer();
void SndMixerRound();
void SndMixBlock(int offset, int length);

// mixloops.cpp
void SndSetupMixLoops(bool useFloat);
void SndMixFloat(void* buffer, SndLink* channels, int frames);
void SndMixInt16(void* buffer, SndLink* channels, int frames);
void SndClearFloat(void* buffer, int frames);
void SndClearInt16(void* buffer, int frames);
void SndClipFloat(int16_t* destination, const void* source, int frames);
void SndCopyOutput16(int16_t* destination, const void* source, int frames);

// songs/song.cpp
void SndSongsMix(void* buffer, int frames);      // the music unit's work on the mixer thread
bool SndStopAllSongs();                          // shut-down, before the mixer goes
void SndForgetSongSample(SndSample* sample);     // a song sample freed from outside the song
// record.cpp: a sample freed while it is recorded into ends the recording (under the lock).
void SndForgetRecordSample(SndSample* sample);

// sound3d.cpp
void SndCompute3D(SndChannel* channel);
void SndReset3D();
void SndListenerPosition(SndVector3* position);

// fileio.cpp: little-endian fields of a byte block (the loaders decode headers by offset).
inline uint16_t SndReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t SndReadU32(const uint8_t* p) {
  return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
// Reads exactly `size` bytes at `offset`; false when the file has fewer.
bool SndFileReadAt(SndFile* file, int64_t offset, void* buffer, int size);

// wav.cpp: RIFF WAVE files. A named position in the data (cue point plus its "labl" text),
// for streams that report them.
struct SndSyncPoint {
  uint32_t cueId;
  uint32_t offset;   // sample frames
  char name[256];
};
// What the chunk walk found. Fields of "fmt " are 0 when the chunk is shorter.
struct SndWavInfo {
  bool haveFormat = false, haveData = false, haveLoop = false;
  uint16_t formatTag = 0, channels = 0, blockAlign = 0, bits = 0;
  uint32_t rate = 0, averageBytes = 0;
  uint16_t extraBytes = 0;    // bytes of `extra` the chunk held
  uint8_t extra[256] = {};    // the format's extra bytes (ADPCM coefficients and block sizes)
  int64_t dataOffset = 0;     // of the first "data" chunk's content
  uint32_t dataLength = 0;    // as the chunk says; loaders check it against the file
  uint32_t loopStart = 0, loopEnd = 0;  // "smpl" first loop, frames
};
// Walks the chunks of a RIFF file from its start. False with error 10 when it is not RIFF or
// has no "fmt "; false (error untouched) without "data". `syncPoints` may be null.
bool SndParseRiff(SndFile* file, SndWavInfo* info, std::vector<SndSyncPoint>* syncPoints);
// A WAV format's decoder: 8/16-bit PCM of one or two channels passes through; the others
// decode to 16-bit PCM (wider integer PCM rounded to 16 bits), and a file of more than two
// channels is mixed down to stereo on the way.
enum SndWavCodec : int {
  kSndWavPcm, kSndWavImaAdpcm, kSndWavMsAdpcm, kSndWavALaw, kSndWavMuLaw, kSndWavFloat, kSndWavGsm,
  kSndWavInteger,             // integer PCM 1 to 4 bytes a value (8-bit unsigned)
};
constexpr int kSndWavMaxChannels = 64;  // channels a WAV file may have to be mixed down
struct PlatformGsmDecoder;
struct SndWavDecoder {
  SndWavCodec codec = kSndWavPcm;
  int channels = 1;           // of the decoded data: 1 or 2
  int bits = 16;              // of the decoded data
  uint32_t blockAlign = 0;    // compressed: bytes of the smallest whole unit the codec decodes
  uint32_t samplesPerBlock = 0;
  int coefficientCount = 0;   // MS ADPCM predictor pairs
  int16_t coefficients[256][2] = {};
  // Integer, float, A-law and mu-law: the file's channels and bytes of one value; past two
  // channels each one's share of the left and right output.
  int sourceChannels = 1;
  uint32_t sourceWidth = 1;
  float mixGains[kSndWavMaxChannels][2] = {};
  uint64_t decodedBytes = 0;  // for the data length it was opened with
  // GSM: the decoder's history, carried from one call to the next when a stream keeps it
  // (SndKeepWavHistory); without it each call decodes from a fresh decoder.
  std::shared_ptr<PlatformGsmDecoder> history;
};
// Chooses the decoder of a format and the decoded size of `dataLength` bytes; false with
// error 10, and the reason noted (SndRefuseFile), for formats we do not decode (MPEG, ADPCM of
// more than two channels, GSM without libgsm, ...).
bool SndOpenWav(const SndWavInfo& info, uint32_t dataLength, SndWavDecoder* decoder);
// Decodes `sourceBytes` of compressed data into `destination` (decoder.decodedBytes room);
// false with error 11 on data the format cannot hold.
bool SndAcmConvert(const SndWavDecoder& decoder, const uint8_t* source, uint32_t sourceBytes,
                   uint8_t* destination);
// Streams: gives a codec whose output depends on earlier blocks (GSM) a fresh history that
// later calls share; a seek calls it again. Does nothing for the other codecs.
bool SndKeepWavHistory(SndWavDecoder* decoder);
SndSample* SndLoadWavSample(int index, SndFile* file, uint32_t mode);
// The MPEG audio loader's slot (MP3 files, MPEG audio inside RIFF): probes the file itself and
// fails with error 10 when it holds no MPEG audio.
SndSample* SndLoadMpegSample(int index, SndFile* file, uint32_t mode);
