// Tracker songs (MOD, S3M, XM, IT): loading, playing through the mixer's music unit, position
// callbacks and getters. Part of the sound library; the music glue calls these entry points.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct SndSong;     // one loaded song (songs_local.h)
struct SndSample;

enum : int { kSndSongMod = 1, kSndSongS3m = 2, kSndSongXm = 3, kSndSongIt = 4, kSndSongMidi = 5 };

// Position callbacks run on the mixer thread (the thread that mixes the block in which they
// fall due; the caller of SndStepClock under the stepped clock) with the library lock held.
// They may call any song operation, including stopping or freeing their own song.
using SndSongCallback = void (*)(SndSong* song, int value);

SndSong* SndLoadSong(const char* fileName);                      // music glue: load by name
SndSong* SndLoadSongFromMemory(const void* image, size_t bytes);  // music glue and tests
bool SndFreeSong(SndSong* song);                                 // stops and frees everything
bool SndPlaySong(SndSong* song);                                 // from order 0, row 0
bool SndStopSong(SndSong* song);                                 // frees every voice
bool SndStopAllSongs();                                          // library shut-down
bool SndPauseSong(SndSong* song, bool paused);
bool SndSetSongVolume(SndSong* song, int volume);                // 0..256
bool SndSetSongPanSeparation(SndSong* song, float separation);   // 0..1
bool SndSetSongOrder(SndSong* song, int order);                  // jumps at the next tick
bool SndIsSongFinished(SndSong* song);
bool SndIsSongPlaying(SndSong* song);
bool SndIsSongPaused(SndSong* song);
bool SndSetSongSyncCallback(SndSong* song, SndSongCallback callback);
bool SndSetSongRowCallback(SndSong* song, SndSongCallback callback, int step);
bool SndSetSongOrderCallback(SndSong* song, SndSongCallback callback, int step);
bool SndSetSongInstrumentCallback(SndSong* song, SndSongCallback callback, int instrument);
bool SndSetSongVoiceCulling(SndSong* song, int channels, int volume);
bool SndSetSongSample(SndSong* song, int index, SndSample* sample);
// MIDI songs: the synthesizer ("fluidsynth", or "none") and its soundfont (null keeps the one
// set, at first Debian's General MIDI soundfont) for the songs played from now on (the sound
// glue, from SETUP.INI); the synthesizer's reverb for every MIDI song.
bool SndSetMidiSynth(const char* synthesizer, const char* soundfont);
bool SndSetMidiReverb(bool on);

const char* SndGetSongName(SndSong* song);
int SndGetSongType(SndSong* song);
int SndGetSongLength(SndSong* song);
int SndGetSongPatternCount(SndSong* song);
int SndGetSongInstrumentCount(SndSong* song);
int SndGetSongSampleCount(SndSong* song);
int SndGetSongChannelCount(SndSong* song);
SndSample* SndGetSongSample(SndSong* song, int index);
int SndGetSongPatternRows(SndSong* song, int order);
int SndGetSongVolume(SndSong* song);
int SndGetSongGlobalVolume(SndSong* song);
int SndGetSongCurrentPattern(SndSong* song);
int SndGetSongSpeed(SndSong* song);
int SndGetSongTempo(SndSong* song);
int SndGetSongOrder(SndSong* song);   // what is being heard, not what is being computed
int SndGetSongRow(SndSong* song);
int SndGetSongTime(SndSong* song);
bool SndIsSongLinearFrequency(SndSong* song);
