// Silences what the system's sound libraries write to stderr when no sound device opens (the
// run goes on without sound); called before any device is looked for.
void PlatformQuietSoundSystemLogs();

// Audio output: one looping ring of 16-bit stereo frames played by the SDL2 audio device, with
// a 64-bit count of consumed frames as the play position (the sound library's output type 1).
#pragma once
#include <cstdint>

// Lists the output devices into a callback; at least one entry ("Default output") is reported
// even when the backend names none. Called by the sound library's device driver.
int PlatformAudioListOutputs(void (*addName)(const char* name, void* user), void* user);
// Opens the device at the given rate (16-bit stereo, SDL converts when the device differs),
// paused and silent; device -1 or past the list is the default. False when no device opens.
bool PlatformAudioOpen(int mixRate, int deviceIndex);
// Starts playing the ring (frames of two int16) from its first frame, looping forever; the
// position restarts at 0. The ring stays owned by the caller until PlatformAudioStopRing.
void PlatformAudioStartRing(const int16_t* ring, uint32_t frames);
// Stops the ring: the device plays silence and no longer reads the ring once this returns.
void PlatformAudioStopRing();
// Frames consumed by the device since PlatformAudioStartRing; never wraps.
uint64_t PlatformAudioPosition();
// The writer's promise: frames before this absolute position hold what it meant to be played.
// The device waits (briefly, bounded) rather than play past it, so a device that runs faster
// than real time (SDL's disk writer) still plays exactly what was mixed.
void PlatformAudioSetPlayLimit(uint64_t frames);
// Closes the device and the SDL audio subsystem.
void PlatformAudioClose();

// Audio input: the SDL2 capture device writes into a ring the caller reads, with a 64-bit
// count of written bytes as the write position (the sound library's recording back-end).
// Lists the input devices into a callback; "Default input" when the backend names none.
int PlatformAudioListInputs(void (*addName)(const char* name, void* user), void* user);
// Opens input `deviceIndex` (-1 or past the list: the default) at the rate, 8 (signed) or 16
// bits and 1 or 2 channels, and starts capturing into a zeroed ring of `ringBytes`, wrapping.
// False when no input opens.
bool PlatformCaptureStart(int deviceIndex, int rate, int bits, int channels, uint32_t ringBytes);
// Stops and closes the input; the ring is freed, and nothing writes to it once this returns.
void PlatformCaptureStop();
// The ring (null when not capturing) and the bytes written into it since start; never wraps.
const uint8_t* PlatformCaptureRing();
uint64_t PlatformCaptureWritten();
