// IT songs (in progress).
#include "sound/songs/songs_local.h"

bool SndLoadIt(SndSong*, SongReader&) { return SndFail(kSndErrFileFormat); }
int SongItVoiceVolume(SndSong*, SndSongVoice*) { return 0; }
int SongItVoicePan(SndSong*, SndSongVoice*) { return 128; }
int SongItVoiceFrequency(SndSong*, SndSongVoice*) { return 0; }
