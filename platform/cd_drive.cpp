// Audio-CD drives over libcdio: the disc's track table read once at open, raw audio sectors
// on demand. The library's own messages are silenced: a missing drive is an ordinary answer.
#include "platform/cd_drive.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/carried.h"

struct PlatformCdDrive {
  CdIo_t* cdio = nullptr;
  std::vector<PlatformCdTrack> tracks;  // index 0 = track 1
};

static void QuietLog(cdio_log_level_t, const char*) {}

PlatformCdDrive* PlatformCdOpen(const char* device) {
  // Without the disc library no drive or image opens: that is said once, naming it.
  const std::string missing = PlatformUseProblem(CarriedUse::kCdAudio);
  if (!missing.empty()) {
    static bool said = false;
    if (!said) std::fprintf(stderr, "quorvanel: CD %s: %s\n", device != nullptr && device[0] != 0 ? device : "drive", missing.c_str());
    said = true;
    return nullptr;
  }
  static const bool quiet = (cdio_log_set_handler(QuietLog), true);
  (void)quiet;
  CdIo_t* cdio = cdio_open(device != nullptr && device[0] != 0 ? device : nullptr, DRIVER_UNKNOWN);
  if (cdio == nullptr) return nullptr;
  const track_t first = cdio_get_first_track_num(cdio);
  const track_t count = cdio_get_num_tracks(cdio);
  if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) {
    cdio_destroy(cdio);
    return nullptr;
  }
  auto* drive = new PlatformCdDrive;
  drive->cdio = cdio;
  for (int i = 0; i < count; i++) {
    const track_t number = track_t(first + i);
    const lsn_t start = cdio_get_track_lsn(cdio, number);
    const lsn_t last = cdio_get_track_last_lsn(cdio, number);
    if (start == CDIO_INVALID_LSN || last == CDIO_INVALID_LSN || last < start) break;
    drive->tracks.push_back({start, last - start + 1, cdio_get_track_format(cdio, number) == TRACK_FORMAT_AUDIO});
  }
  return drive;
}

void PlatformCdClose(PlatformCdDrive* drive) {
  if (drive == nullptr) return;
  if (drive->cdio != nullptr) cdio_destroy(drive->cdio);
  delete drive;
}

int PlatformCdTrackCount(PlatformCdDrive* drive) { return drive != nullptr ? int(drive->tracks.size()) : 0; }

bool PlatformCdTrackInfo(PlatformCdDrive* drive, int track, PlatformCdTrack* info) {
  if (drive == nullptr || track < 1 || track > int(drive->tracks.size())) return false;
  *info = drive->tracks[size_t(track - 1)];
  return true;
}

bool PlatformCdReadAudio(PlatformCdDrive* drive, int32_t first, int count, void* out) {
  if (drive == nullptr || count < 1) return false;
  return cdio_read_audio_sectors(drive->cdio, out, first, uint32_t(count)) == DRIVER_OP_SUCCESS;
}

bool PlatformCdEject(PlatformCdDrive** drive) {
  if (*drive == nullptr) return false;
  if (cdio_eject_media(&(*drive)->cdio) != DRIVER_OP_SUCCESS) return false;
  (*drive)->cdio = nullptr;  // the library freed it with the eject
  PlatformCdClose(*drive);
  *drive = nullptr;
  return true;
}

bool PlatformCdCloseTray(const char* device) {
  driver_id_t driver = DRIVER_DEVICE;
  return cdio_close_tray(device != nullptr && device[0] != 0 ? device : nullptr, &driver) == DRIVER_OP_SUCCESS;
}
