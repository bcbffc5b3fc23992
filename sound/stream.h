// Streams: long sounds played from disk or memory (WAV, raw PCM, MP3) or produced by a caller's
// callback, without loading them whole. Each stream owns a small looping sample of two halves;
// a feeder thread refills the half that is not playing and the mixer keeps the play time and
// reports sync points.
//
// Threads: every call below takes the library lock, and so do the feeder and the mixer's time
// keeping, so a stream can be stopped or closed from any thread while it plays. The end and
// sync callbacks run with the lock held (end: on the feeder or the caller of stop; sync: on the
// mixer thread) and may call the library, but must not wait for another thread that does.
//
// Errors (SndGetError): 2 library not started, 5 no channel, 9 file not opened, 10 no known
// format (also names beginning "http://"), 12 out of memory, 14 null stream or bad argument.
#pragma once
#include <cstdint>

#include "sound/sound.h"

struct SndStream;

// Fills `bytes` bytes of `buffer` in the stream's format; false once the data has ended (the
// rest of the buffer is then filled with silence by the callback or left as zeros).
using SndStreamFillCallback = bool (*)(SndStream* stream, void* buffer, int bytes, void* user);
// A playing stream stopped: by SndStreamStop or because its data ended (once per play).
using SndStreamEndCallback = void (*)(SndStream* stream, void* user);
// The play position passed a sync point (WAV cue points with their labels): its name and its
// offset in sample frames.
using SndStreamSyncCallback = void (*)(SndStream* stream, const char* name, uint32_t offset, void* user);

// A stream the callback fills: `bufferBytes` per half, in the format the mode names (8/16 bits,
// mono/stereo, kSndUnsigned to have unsigned data made signed), at `rate` Hz.
SndStream* SndStreamCreate(SndStreamFillCallback fill, int bufferBytes, uint32_t mode, int rate, void* user);
// Opens a file name (or, with kSndMemoryImage, a memory image of `memoryLength` bytes): MP3,
// then WAV (PCM or compressed); with kSndRaw the bytes themselves as PCM in the mode's format
// at 44100 Hz. kSndLoopNormal loops the stream over its whole data.
SndStream* SndStreamOpen(const char* nameOrImage, uint32_t mode, int memoryLength);
SndStream* SndStreamOpenRaw(const char* name, uint32_t mode);
// Plays on `channel` (-1 any free one); a channel given by number is reserved for the stream.
// Returns the channel handle or -1.
int SndStreamPlay(int channel, SndStream* stream);
int SndStreamPlayEx(int channel, SndStream* stream, int frequency, int volume, int pan,
                    const SndVector3* position, const SndVector3* velocity);
bool SndStreamStop(SndStream* stream);
bool SndStreamClose(SndStream* stream);   // stops without calling the end callback, frees all
bool SndStreamSetEndCallback(SndStream* stream, SndStreamEndCallback callback, void* user);
bool SndStreamSetSyncCallback(SndStream* stream, SndStreamSyncCallback callback, void* user);
bool SndStreamSetPaused(SndStream* stream, bool paused);
bool SndStreamGetPaused(SndStream* stream);
bool SndStreamSetPosition(SndStream* stream, uint32_t bytes);  // in the file's data, below its length
uint32_t SndStreamGetPosition(SndStream* stream);              // bytes read of the file's data
bool SndStreamSetTime(SndStream* stream, int ms);              // 0 to the length
int SndStreamGetTime(SndStream* stream);                       // milliseconds played
uint32_t SndStreamGetLength(SndStream* stream);                // bytes of the file's data
int SndStreamGetLengthMs(SndStream* stream);
int SndStreamGetFrequency(SndStream* stream);                  // the data's own rate in Hz
SndSample* SndStreamGetSample(SndStream* stream);              // the looping two-half sample
// A unit run on each freshly filled half (buffer = the half, frames = its sample frames), in
// ascending priority; inactive until SndSetDspUnitActive. Freed with the stream or by
// SndFreeDspUnit.
SndDspUnit* SndStreamCreateDsp(SndStream* stream, SndDspCallback callback, int priority, void* user);

// Library start-up and shut-down (core.cpp).
bool SndStreamerStart();
void SndStreamerStop();
