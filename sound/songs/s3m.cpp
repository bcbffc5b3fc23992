// S3m songs (in progress).
#include "sound/songs/songs_local.h"

bool SndLoadS3m(SndSong*, SongReader&) { return SndFail(kSndErrFileFormat); }
