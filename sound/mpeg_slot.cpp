// The place where an MP3 file (or MPEG audio inside a RIFF file) is handed to the MPEG audio
// decoder's loader; until the decoder is in, no file is MPEG audio to the library.
#include "sound/sound_local.h"

SndSample* SndLoadMpegSample(int, SndFile*, uint32_t) {
  SndFail(kSndErrFileFormat);
  return nullptr;
}
