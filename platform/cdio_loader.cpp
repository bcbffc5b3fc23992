// libcdio, loaded when a program first uses a CD drive: linked in, it would be mapped and
// relocated at every start. The definitions below are the library's entry points, forwarded.
#include <cdio/cdio.h>
#include <cdio/logging.h>

#include "platform/lazy_library.h"

// Without the library each entry answers as the library does for a missing drive (no handle,
// no tracks, an error code), so a CD operation fails instead of the run.
static void* Library() {
  static void* const handle = OpenLazyLibrary("libcdio.so.19");
  return handle;
}

CdIo_t* cdio_open(const char* source, driver_id_t driver) { QV_FORWARD(cdio_open, nullptr, source, driver); }
void cdio_destroy(CdIo_t* cdio) { QV_FORWARD(cdio_destroy, void(), cdio); }
track_t cdio_get_first_track_num(const CdIo_t* cdio) {
  QV_FORWARD(cdio_get_first_track_num, track_t(CDIO_INVALID_TRACK), cdio);
}
track_t cdio_get_num_tracks(const CdIo_t* cdio) { QV_FORWARD(cdio_get_num_tracks, track_t(CDIO_INVALID_TRACK), cdio); }
track_format_t cdio_get_track_format(const CdIo_t* cdio, track_t track) {
  QV_FORWARD(cdio_get_track_format, TRACK_FORMAT_ERROR, cdio, track);
}
lsn_t cdio_get_track_lsn(const CdIo_t* cdio, track_t track) {
  QV_FORWARD(cdio_get_track_lsn, CDIO_INVALID_LSN, cdio, track);
}
lsn_t cdio_get_track_last_lsn(const CdIo_t* cdio, track_t track) {
  QV_FORWARD(cdio_get_track_last_lsn, CDIO_INVALID_LSN, cdio, track);
}
driver_return_code_t cdio_read_audio_sectors(const CdIo_t* cdio, void* buffer, lsn_t first, uint32_t count) {
  QV_FORWARD(cdio_read_audio_sectors, DRIVER_OP_NO_DRIVER, cdio, buffer, first, count);
}
driver_return_code_t cdio_eject_media(CdIo_t** cdio) { QV_FORWARD(cdio_eject_media, DRIVER_OP_NO_DRIVER, cdio); }
driver_return_code_t cdio_close_tray(const char* drive, driver_id_t* driver) {
  QV_FORWARD(cdio_close_tray, DRIVER_OP_NO_DRIVER, drive, driver);
}
cdio_log_handler_t cdio_log_set_handler(cdio_log_handler_t handler) {
  QV_FORWARD(cdio_log_set_handler, nullptr, handler);
}

#undef QV_FORWARD
