// The music commands: slots 1..32 holding a tracker song (through the sound library's songs)
// or an audio-CD track; looping songs restart once per frame, music pauses while inactive.

#include <string>

#include "commands/commands.h"
#include "commands/sound_local.h"
#include "graphics2d/graphics2d.h"
#include "runtime/command_numbers.h"
#include "sound/cd/cd.h"
#include "sound/songs/songs.h"

namespace {

struct MusicSlot {  // cleared by FreeAllMusic at the end of every run
  uint8_t loaded, playing, paused, looping;
  uint8_t pausedByDeactivation;
  SndSong* song;
  int32_t cdTrack = -1;  // -1 for a song slot
};

MusicSlot gMusic[33];

bool MusicNumberOk(int32_t music) {
  if (music >= 1 && music <= 32) return true;
  RuntimeError(3501);
  return false;
}

// Without the sound library nothing loads, and the commands go on quietly: queries answer 0.
bool SoundLibraryOn() { return SoundGlue().soundOn != 0; }

// The slot when it holds music, else the error given (3504, or 3502 for the volume commands)
// while the sound library runs.
MusicSlot* LoadedMusic(int32_t music, int notLoadedError = 3504) {
  if (!MusicNumberOk(music)) return nullptr;
  if (gMusic[music].loaded) return &gMusic[music];
  if (SoundLibraryOn()) RuntimeError(notLoadedError);
  return nullptr;
}

// A CD slot stops the CD; an empty slot (CD track -1, no song) touches nothing.
void FreeMusicSlot(MusicSlot& slot) {
  if (slot.cdTrack != -1)
    SndStopCd();
  else if (slot.song != nullptr)
    SndFreeSong(slot.song);
  slot.song = nullptr;
  slot.cdTrack = -1;
}

bool LoadMusicFile(MusicSlot& slot, const char* name) {
  std::string path = name;
  const size_t length = path.size();
  ResolvePackagedFile(path, length > 4 ? path.substr(length - 3).c_str() : "mid");
  FreeMusicSlot(slot);
  slot.song = SndLoadSong(path.c_str());
  // A MIDI song refused for lack of its synthesizer library or soundfont says which.
  if (slot.song == nullptr && !SndLibraryProblem().empty())
    ReportMissingLibrary(std::string("load music ") + name, SndLibraryProblem());
  return slot.song != nullptr;
}

// Tracks 1..the disc's count: asking for the count opens the drive or image itself, so a
// track is taken before any other CD command; a track outside the disc is refused here.
bool LoadCdTrack(MusicSlot& slot, int32_t track) {
  ChooseCdSourceFromSetup();
  slot.cdTrack = track >= 1 && track <= SndGetCdTrackCount() ? track : -1;
  return slot.cdTrack != -1;
}

// The CD's play mode is set before the play, whose first fill already reads by it.
bool PlayMusic(MusicSlot& slot, bool looping) {
  if (slot.cdTrack != -1) {
    SndSetCdPlayMode(looping ? kSndCdLooped : kSndCdOnce);
    return SndPlayCdTrack(slot.cdTrack);
  }
  return slot.song != nullptr && SndPlaySong(slot.song);
}

bool StopMusic(MusicSlot& slot) {
  if (slot.cdTrack != -1) return SndStopCd();
  return slot.song != nullptr && SndStopSong(slot.song);
}

bool PauseMusic(MusicSlot& slot, bool paused) {
  if (slot.cdTrack != -1) return SndPauseCd(paused);
  return slot.song != nullptr && SndPauseSong(slot.song, paused);
}

void CmdMusicLoad() {  // file, music
  const char* name = TextOperand(0);
  const int32_t music = IntOperand(1);
  AdvanceOperands(2);
  if (!MusicNumberOk(music)) return;
  MusicSlot& slot = gMusic[music];
  if (slot.loaded) FreeMusicSlot(slot);
  slot.loaded = 0;
  if (!SoundLibraryOn()) return;
  if (!LoadMusicFile(slot, name)) {
    RuntimeError(3502);
    return;
  }
  slot.loaded = 1;
  slot.playing = slot.paused = slot.looping = 0;
}

void CmdMusicLoadCD() {  // track, music
  const int32_t track = IntOperand(0), music = IntOperand(1);
  AdvanceOperands(2);
  if (!MusicNumberOk(music)) return;
  MusicSlot& slot = gMusic[music];
  if (slot.loaded) FreeMusicSlot(slot);
  slot.loaded = 0;
  if (!LoadCdTrack(slot, track)) {
    RuntimeError(3502);
    return;
  }
  slot.loaded = 1;
  slot.playing = slot.paused = slot.looping = 0;
}

void CmdMusicDelete() {  // music
  const int32_t music = IntOperand(0);
  AdvanceOperands(1);
  if (MusicSlot* slot = LoadedMusic(music)) {
    FreeMusicSlot(*slot);
    slot->loaded = 0;
  }
}

template <bool Looping>
void CmdMusicPlay() {  // music
  const int32_t music = IntOperand(0);
  AdvanceOperands(1);
  MusicSlot* slot = LoadedMusic(music);
  if (slot == nullptr || !PlayMusic(*slot, Looping)) return;
  slot->playing = 1;
  slot->paused = 0;
  slot->looping = Looping ? 1 : 0;
}

void CmdMusicStop() {  // music
  const int32_t music = IntOperand(0);
  AdvanceOperands(1);
  MusicSlot* slot = LoadedMusic(music);
  if (slot == nullptr || !StopMusic(*slot)) return;
  slot->playing = slot->looping = 0;
}

void CmdMusicPause() {  // music
  const int32_t music = IntOperand(0);
  AdvanceOperands(1);
  MusicSlot* slot = LoadedMusic(music);
  if (slot == nullptr) return;
  if (!slot->playing) {
    RuntimeError(3507);
    return;
  }
  if (!slot->paused && PauseMusic(*slot, true)) slot->paused = 1;
}

void CmdMusicResume() {  // music
  const int32_t music = IntOperand(0);
  AdvanceOperands(1);
  MusicSlot* slot = LoadedMusic(music);
  if (slot == nullptr || !slot->paused || !PauseMusic(*slot, false)) return;  // a failed resume stays paused
  slot->paused = 0;
  slot->pausedByDeactivation = 0;
}

// Percent to the song or CD volume exactly (100 -> 255, as the sound volumes), or the level as given.
template <bool Percent>
void CmdMusicSetVolume() {  // music, value
  const int32_t music = IntOperand(0), value = IntOperand(1);
  AdvanceOperands(2);
  MusicSlot* slot = LoadedMusic(music, 3502);
  if (slot == nullptr) return;
  const int volume = Percent ? SoundVolumeToLibrary(value) : value;
  if (slot->cdTrack != -1)
    SndSetCdVolume(volume);
  else if (slot->song != nullptr)
    SndSetSongVolume(slot->song, volume);
}

void CmdMusicExist() {  // result, music
  const int32_t music = IntOperand(1);
  if (MusicNumberOk(music)) WriteIntResult(gMusic[music].loaded);
  AdvanceOperands(2);
}

template <uint8_t MusicSlot::*Flag>
void CmdMusicFlag() {  // result, music
  const int32_t music = IntOperand(1);
  if (MusicNumberOk(music)) {
    const MusicSlot* slot = LoadedMusic(music);
    WriteIntResult(slot != nullptr ? slot->*Flag : 0);
  }
  AdvanceOperands(2);
}

// The time heard since the play: a song's clock of what is heard now (it runs on past the
// song's end, as the song does), a CD track's position; 0 before the first play.
void CmdMusicPosition() {  // result, music
  const int32_t music = IntOperand(1);
  if (MusicNumberOk(music)) {
    const MusicSlot* slot = LoadedMusic(music);
    int milliseconds = 0;
    // The disc plays one track for all slots: a slot's position is the disc's while its track plays.
    if (slot != nullptr && slot->cdTrack != -1) {
      if (slot->playing && slot->cdTrack == SndGetCdCurrentTrack()) milliseconds = SndGetCdTrackPosition();
    }
    else if (slot != nullptr && slot->song != nullptr && slot->playing) milliseconds = SndGetSongTime(slot->song);
    WriteIntResult(milliseconds < 0 ? 0 : milliseconds);
  }
  AdvanceOperands(2);
}

const CommandEntry kMusicCommands[] = {
    {kMusicLoad, CmdMusicLoad},
    {kMusicDelete, CmdMusicDelete},
    {kMusicPlay, CmdMusicPlay<false>},
    {kMusicStop, CmdMusicStop},
    {kMusicPause, CmdMusicPause},
    {kMusicResume, CmdMusicResume},
    {kMusicLoop, CmdMusicPlay<true>},
    {kMusicSetVolume, CmdMusicSetVolume<true>},
    {kMusicSetLevel, CmdMusicSetVolume<false>},
    {kMusicExist, CmdMusicExist},
    {kMusicPlaying, CmdMusicFlag<&MusicSlot::playing>},
    {kMusicPaused, CmdMusicFlag<&MusicSlot::paused>},
    {kMusicLooping, CmdMusicFlag<&MusicSlot::looping>},
    {kMusicPosition, CmdMusicPosition},
    {kMusicLoadCD, CmdMusicLoadCD},
};

}  // namespace

bool RegisterMusicCommands() { return RegisterCommandsStartingSound(kMusicCommands); }

// A looping song that finished starts again; a stopped one (playing 0) does not.
void UpdateMusicLoops() {
  for (MusicSlot& slot : gMusic)
    if (slot.loaded && slot.playing && slot.looping && slot.song != nullptr && SndIsSongFinished(slot.song))
      SndPlaySong(slot.song);
}

void PauseMusicOnDeactivate() {
  for (MusicSlot& slot : gMusic) {
    slot.pausedByDeactivation = 0;
    if (slot.loaded && slot.playing && !slot.paused) {
      PauseMusic(slot, true);
      slot.pausedByDeactivation = 1;
    }
  }
}

void ResumeMusicOnActivate() {
  for (MusicSlot& slot : gMusic) {
    if (!slot.pausedByDeactivation) continue;
    slot.pausedByDeactivation = 0;
    PauseMusic(slot, false);
  }
}

void FreeAllMusic() {
  for (MusicSlot& slot : gMusic) {
    FreeMusicSlot(slot);
    slot = MusicSlot{};
  }
}

void CloseMusic() { FreeAllMusic(); }

SndSong* MusicSongAt(int music) { return music >= 1 && music <= 32 ? gMusic[music].song : nullptr; }
