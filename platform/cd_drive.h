// Audio-CD drives through libcdio (loaded on first use): the track table and raw audio
// sectors of the disc in a drive. The sound library's CD player reads discs through this.
#pragma once
#include <cstdint>

struct PlatformCdDrive;

constexpr int kPlatformCdSectorBytes = 2352;  // one audio sector: 588 frames of 16-bit stereo

struct PlatformCdTrack {
  int32_t firstSector;  // logical sector where the track's audio starts
  int32_t sectors;      // its length in sectors
  bool audio;           // false for a data track
};

// Opens the drive named `device` ("" for the system's default drive); null when the library,
// the drive or a disc in it is missing. The CD player calls this on its first operation.
PlatformCdDrive* PlatformCdOpen(const char* device);
void PlatformCdClose(PlatformCdDrive* drive);
int PlatformCdTrackCount(PlatformCdDrive* drive);  // tracks on the disc, 0 when none
// Track 1..count (the first track of the disc is 1 here, whatever the disc numbers it).
bool PlatformCdTrackInfo(PlatformCdDrive* drive, int track, PlatformCdTrack* info);
// Reads `count` sectors from logical sector `first` into `out` (count * 2352 bytes, 16-bit
// little-endian stereo); false when the drive fails.
bool PlatformCdReadAudio(PlatformCdDrive* drive, int32_t first, int count, void* out);
// Opens the tray (the drive is closed and freed on success) or closes it on the named drive.
bool PlatformCdEject(PlatformCdDrive** drive);
bool PlatformCdCloseTray(const char* device);
