// The discs the CD player reads: a cue sheet's image (its raw sector files, read through the
// library's file layer) or a drive through the platform's libcdio layer.
#include <algorithm>
#include <cstring>

#include "platform/cd_drive.h"
#include "sound/cd/cd_local.h"
#include "sound/sound.h"
#include "sound/sound_local.h"

namespace {

bool EndsWithCue(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return tail == ".cue";
}

// The sheet's text, at most 1 MB (a longer file is no sheet).
bool ReadWhole(const std::string& name, std::string* text) {
  SndFile* file = SndFileOpen(name.c_str(), kSndFileDisk, 0);
  if (file == nullptr) return false;
  const int64_t length = SndFileLength(file);
  bool ok = length >= 0 && length <= (1 << 20);
  if (ok) {
    text->resize(size_t(length));
    ok = SndFileRead(text->data(), int(length), file) == int(length);
  }
  SndFileClose(file);
  return ok;
}

SndCdDisc* OpenImage(const std::string& cueName) {
  std::string text, error;
  SndCueSheet sheet;
  if (!ReadWhole(cueName, &text)) return nullptr;
  if (!SndReadCueSheet(text.data(), text.size(), &sheet, &error)) {
    SndLog((cueName + ": " + error).c_str());
    return nullptr;
  }
  const size_t slash = cueName.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "" : cueName.substr(0, slash + 1);
  auto* disc = new SndCdDisc;
  std::vector<int64_t> fileBytes;
  for (const SndCueFile& f : sheet.files) {
    const bool absolute = !f.name.empty() && (f.name[0] == '/' || f.name[0] == '\\');
    SndFile* file = SndFileOpen((absolute ? f.name : folder + f.name).c_str(), kSndFileDisk, 0);
    if (file == nullptr) {
      SndLog((cueName + ": cannot open " + f.name).c_str());
      SndCloseCdDisc(disc);
      return nullptr;
    }
    disc->files.push_back(file);
    disc->bigEndian.push_back(f.bigEndian);
    fileBytes.push_back(SndFileLength(file));
  }
  disc->tracks = SndLayOutCueTracks(sheet, fileBytes);
  return disc;
}

SndCdDisc* OpenDrive(const std::string& device) {
  PlatformCdDrive* drive = PlatformCdOpen(device.c_str());
  if (drive == nullptr) return nullptr;
  auto* disc = new SndCdDisc;
  disc->drive = drive;
  disc->device = device;
  for (int i = 1; i <= PlatformCdTrackCount(drive) && i <= kSndCdMaxTracks; i++) {
    PlatformCdTrack info;
    if (!PlatformCdTrackInfo(drive, i, &info)) break;
    SndCdTrack track;
    track.sectors = info.sectors;
    track.audio = info.audio;
    track.firstSector = info.firstSector;
    disc->tracks.push_back(track);
  }
  return disc;
}

}  // namespace

std::vector<SndCdTrack> SndLayOutCueTracks(const SndCueSheet& sheet, const std::vector<int64_t>& fileBytes) {
  std::vector<SndCdTrack> tracks;
  for (size_t i = 0; i < sheet.tracks.size(); i++) {
    const SndCueTrack& t = sheet.tracks[i];
    int64_t endByte = size_t(t.file) < fileBytes.size() ? fileBytes[size_t(t.file)] : 0;
    if (i + 1 < sheet.tracks.size() && sheet.tracks[i + 1].file == t.file) {
      const SndCueTrack& next = sheet.tracks[i + 1];
      endByte = std::min(endByte, (next.pregapStart >= 0 ? next.pregapStart : next.start) * t.sectorBytes);
    }
    SndCdTrack track;
    track.byteOffset = t.start * t.sectorBytes;
    track.sectors = std::max<int64_t>(0, (endByte - track.byteOffset) / t.sectorBytes);
    track.audio = t.audio;
    track.file = t.file;
    tracks.push_back(track);
  }
  return tracks;
}

SndCdDisc* SndOpenCdDisc(const std::string& source) {
  SndCdDisc* disc = EndsWithCue(source) ? OpenImage(source) : OpenDrive(source);
  if (disc != nullptr && disc->tracks.empty()) {
    SndCloseCdDisc(disc);
    return nullptr;
  }
  return disc;
}

void SndCloseCdDisc(SndCdDisc* disc) {
  if (disc == nullptr) return;
  for (SndFile* file : disc->files) SndFileClose(file);
  PlatformCdClose(disc->drive);
  delete disc;
}

int SndReadCdSectors(SndCdDisc* disc, int track, int64_t first, int count, int16_t* out) {
  if (track < 1 || track > int(disc->tracks.size()) || first < 0 || count < 1) return 0;
  const SndCdTrack& t = disc->tracks[size_t(track - 1)];
  count = int(std::min<int64_t>(count, t.sectors - first));
  if (count < 1) return 0;
  if (disc->drive != nullptr)
    return PlatformCdReadAudio(disc->drive, t.firstSector + int32_t(first), count, out) ? count : 0;
  SndFile* file = disc->files[size_t(t.file)];
  if (SndFileSeek(file, t.byteOffset + first * kSndCdSectorBytes, 0) != 0) return 0;
  const int bytes = SndFileRead(out, count * kSndCdSectorBytes, file);
  const int sectors = std::max(0, bytes) / kSndCdSectorBytes;
  if (disc->bigEndian[size_t(t.file)]) {
    auto* b = reinterpret_cast<uint8_t*>(out);
    for (int i = 0; i + 1 < sectors * kSndCdSectorBytes; i += 2) std::swap(b[i], b[i + 1]);
  }
  return sectors;
}

bool SndEjectCdDisc(SndCdDisc* disc) { return disc->drive != nullptr && PlatformCdEject(&disc->drive); }

bool SndCloseCdTray(const std::string& source) { return !EndsWithCue(source) && PlatformCdCloseTray(source.c_str()); }
