// Audio-CD playback of the sound library: tracks of a disc in a drive (libcdio) or of a
// .cue/.bin image, extracted and played through a stream. The music glue calls these; the
// sound glue pumps SndCdUpdate once per frame, which applies the play mode at a track's end.
//
// The disc opens on the first operation that needs it and stays open until SndCloseCd (the
// library's shut-down closes it too); the next operation after a close opens it again.
#pragma once
#include <cstdint>

// Play modes: what happens when the playing track ends (any other value plays on as 0 does).
enum : int { kSndCdContinuous = 0, kSndCdOnce = 1, kSndCdLooped = 2, kSndCdRandom = 3 };

// Where the tracks come from: "" the system's default drive, a name ending in ".cue" an image
// (its FILE lines name the raw sector files beside it), anything else a drive's device name.
// Closes the disc in use. Music glue (the CD source command and SETUP.INI's CDDRIVE).
void SndSetCdSource(const char* source);
const char* SndGetCdSource();

bool SndPlayCdTrack(int track);      // tracks 1..count; plays from the track's start
bool SndStopCd();
void SndSetCdPlayMode(int mode);
bool SndPauseCd(bool paused);        // true pauses, false plays on from where it is
void SndSetCdVolume(int volume);     // 0..255 (limited)
int SndGetCdVolume();                // the last volume set (255 until then), -1 without a disc
bool SndEjectCd();                   // a drive opens its tray (or closes it when empty)
bool SndIsCdPaused();
int SndGetCdCurrentTrack();          // 0 until the disc was opened; no disc access
int SndGetCdTrackCount();            // opens the disc when needed; 0 without one
int SndGetCdTrackLength(int track);  // milliseconds; 0 outside 1..count
int SndGetCdTrackPosition();         // milliseconds heard of the current track
bool SndIsCdPlaying();
bool SndCloseCd();                   // false when no disc was open
// Once per frame (sound glue): notices the end of the playing track and applies the play mode.
void SndCdUpdate();
