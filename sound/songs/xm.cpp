// Xm songs (in progress).
#include "sound/songs/songs_local.h"

bool SndLoadXm(SndSong*, SongReader&) { return SndFail(kSndErrFileFormat); }
