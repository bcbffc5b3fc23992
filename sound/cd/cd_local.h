// Inside the CD player: the cue-sheet reader and the disc a player reads (an image's files or
// a drive), shared by the player, its tests and the cue fuzz target.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct SndFile;
struct PlatformCdDrive;

constexpr int kSndCdSectorBytes = 2352;  // 588 frames of 16-bit stereo at 44100 Hz
constexpr int kSndCdSectorsPerSecond = 75;
constexpr int kSndCdMaxTracks = 99;

struct SndCueTrack {
  int number;           // as the sheet numbers it (ascending, 1..99)
  int file;             // index into SndCueSheet::files
  bool audio;           // AUDIO; the data modes are listed but never played
  int sectorBytes;      // 2352 for audio and raw data, 2048 or 2336 for cooked data
  int64_t start;        // INDEX 01: sectors from the file's start
  int64_t pregapStart;  // INDEX 00, or -1: where the previous track's audio stops
};

struct SndCueFile {
  std::string name;     // as written in the sheet (relative to the sheet's folder)
  bool bigEndian;       // MOTOROLA: audio samples stored high byte first
};

struct SndCueSheet {
  std::vector<SndCueFile> files;
  std::vector<SndCueTrack> tracks;
};

// Reads a cue sheet's text (at most 1 MB); false with the reason in `error` when it is not
// one we can play from: no tracks, a track before any FILE, a track without INDEX 01, track
// numbers out of order, times outside mm:ss:ff, file types other than BINARY and MOTOROLA.
bool SndReadCueSheet(const char* text, size_t length, SndCueSheet* sheet, std::string* error);

// One track of an open disc, numbered 1..count by position.
struct SndCdTrack {
  int64_t sectors;        // audio sectors the track plays
  bool audio;
  // image: where its sectors are
  int file = -1;
  int64_t byteOffset = 0;
  // drive: its first logical sector
  int32_t firstSector = 0;
};

struct SndCdDisc {
  std::vector<SndCdTrack> tracks;       // index 0 = track 1
  std::vector<SndFile*> files;          // image files, opened once
  std::vector<bool> bigEndian;          // per image file
  PlatformCdDrive* drive = nullptr;
  std::string device;                   // the drive's name, for closing its tray
};

// The tracks of a read sheet over its files of these sizes: each track ends where the next one
// in its file begins (at its pregap when it has one) or at the file's end.
std::vector<SndCdTrack> SndLayOutCueTracks(const SndCueSheet& sheet, const std::vector<int64_t>& fileBytes);

// Opens the source SndSetCdSource names (an image by a name ending in ".cue", else a drive);
// null when it cannot be read or has no tracks.
SndCdDisc* SndOpenCdDisc(const std::string& source);
void SndCloseCdDisc(SndCdDisc* disc);
// Reads `count` sectors of `track` (1..) from sector `first` of the track into `out` as
// 16-bit little-endian stereo; the sectors read (fewer at a read error or the data's end).
int SndReadCdSectors(SndCdDisc* disc, int track, int64_t first, int count, int16_t* out);
// A drive's tray: opened with its disc (the drive is then released: close the disc after),
// closed on an empty drive. False for an image.
bool SndEjectCdDisc(SndCdDisc* disc);
bool SndCloseCdTray(const std::string& source);
