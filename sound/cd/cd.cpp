// The CD player: the open disc, the play mode and the shuffle order. A track's sectors are
// read by a stream's fill on the feeder thread; SndCdUpdate, pumped once per frame, notices
// from the stream's play time that the heard track has ended and applies the play mode.
#include "sound/cd/cd.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "sound/cd/cd_local.h"
#include "sound/sound_local.h"
#include "sound/stream.h"

namespace {

constexpr int kStreamSectors = 8;  // per half of the stream: 8 sectors, 107 ms

// Lives for the process; the disc from the first operation that needs it to SndCloseCd. Every
// field is read and written under the library lock (the stream's fill runs under it too).
struct CdPlayer {
  std::string source;
  SndCdDisc* disc = nullptr;
  SndStream* stream = nullptr;
  int channel = -1;
  int currentTrack = 0;       // 0 until the disc was opened
  int playMode = kSndCdContinuous;
  int volume = 255;
  bool playing = false;       // between play and stop (paused or not)
  bool paused = false;
  bool streamEnded = false;   // the stream ran out of sectors and stopped itself
  bool randomStep = false;    // the random mode itself starts the next track
  uint16_t shuffle[256] = {};
  int shuffleIndex = 0, shuffleStart = 0;
  int readTrack = 0;          // the fill's next sector
  int64_t readSector = 0;
  int startTrack = 0;         // where the stream's play time 0 is
  int64_t startSector = 0;
};

CdPlayer gCd;

int TrackCount() { return gCd.disc != nullptr ? int(gCd.disc->tracks.size()) : 0; }

const SndCdTrack& Track(int track) { return gCd.disc->tracks[size_t(track - 1)]; }

double TrackMs(int track) { return double(Track(track).sectors) * 1000.0 / kSndCdSectorsPerSecond; }

// The same order every time: the generator seeded with 0 swaps each entry with a drawn one.
void BuildShuffle() {
  uint32_t state = 0;
  for (int i = 0; i < 256; i++) gCd.shuffle[i] = uint16_t(i + 1);
  for (int i = 0; i < 256; i++) {
    state = state * 214013u + 2531011u;
    const int draw = int((state >> 16) & 0x7FFF);
    std::swap(gCd.shuffle[i], gCd.shuffle[draw % 256]);
  }
  gCd.shuffleIndex = 0;
}

bool EnsureOpen() {
  if (gCd.disc != nullptr) return true;
  gCd.disc = SndOpenCdDisc(gCd.source);
  if (gCd.disc == nullptr) return false;
  gCd.currentTrack = 1;
  BuildShuffle();
  gCd.shuffleStart = 0;
  return true;
}

// The fill: whole sectors from the read cursor up to the end of the current track, or of the
// disc in continuous mode; false once that end is reached (the rest is silence).
bool FillFromDisc(SndStream*, void* buffer, int bytes, void*) {
  auto* out = static_cast<uint8_t*>(buffer);
  const int sectors = bytes / kSndCdSectorBytes;
  int done = 0;
  bool ended = gCd.disc == nullptr || bytes % kSndCdSectorBytes != 0;
  const int lastTrack = gCd.playMode == kSndCdOnce || gCd.playMode == kSndCdLooped || gCd.playMode == kSndCdRandom
                            ? gCd.currentTrack
                            : TrackCount();
  while (!ended && done < sectors) {
    if (gCd.readTrack > lastTrack || !Track(gCd.readTrack).audio) {
      ended = true;
      break;
    }
    const int64_t left = Track(gCd.readTrack).sectors - gCd.readSector;
    if (left <= 0) {
      gCd.readTrack++;
      gCd.readSector = 0;
      continue;
    }
    const int want = int(std::min<int64_t>(left, sectors - done));
    auto* at = out + size_t(done) * kSndCdSectorBytes;
    const int got = SndReadCdSectors(gCd.disc, gCd.readTrack, gCd.readSector, want, reinterpret_cast<int16_t*>(at));
    // A sector the drive cannot read plays as silence; the track goes on after it.
    if (got < want) std::memset(at + size_t(std::max(got, 0)) * kSndCdSectorBytes, 0, size_t(want - std::max(got, 0)) * kSndCdSectorBytes);
    gCd.readSector += want;
    done += want;
  }
  std::memset(out + size_t(done) * kSndCdSectorBytes, 0, size_t(bytes) - size_t(done) * kSndCdSectorBytes);
  return !ended;
}

// Called under the lock by the stream's stop, ours or the feeder's when the data ran out.
void OnStreamEnd(SndStream*, void*) {
  if (gCd.playing) gCd.streamEnded = true;
}

bool EnsureStream() {
  if (gCd.stream != nullptr) return true;
  gCd.stream = SndStreamCreate(FillFromDisc, kStreamSectors * kSndCdSectorBytes, kSnd16Bits | kSndStereo | kSnd2D,
                               44100, nullptr);
  if (gCd.stream == nullptr) return false;
  SndStreamSetEndCallback(gCd.stream, OnStreamEnd, nullptr);
  return true;
}

void StopStream() {
  if (gCd.stream != nullptr) SndStreamStop(gCd.stream);
  gCd.playing = gCd.paused = gCd.streamEnded = false;
  gCd.channel = -1;
}

// The track the listener hears and the milliseconds into it: the play time walked through the
// tracks from where the stream started. Past the disc's last track gives count + 1.
int HeardTrack(double* ms) {
  const double time = gCd.streamEnded ? 1e18 : double(SndStreamGetTime(gCd.stream));
  double position = double(gCd.startSector) * 1000.0 / kSndCdSectorsPerSecond + time;
  int track = gCd.startTrack;
  while (track <= TrackCount() && position >= TrackMs(track)) position -= TrackMs(track++);
  *ms = position;
  return track;
}

bool PlayLocked(int track) {
  if (!EnsureOpen() || track < 1 || track > TrackCount() || !Track(track).audio || Track(track).sectors < 1 ||
      !EnsureStream()) return false;
  StopStream();
  gCd.readTrack = gCd.startTrack = track;
  gCd.readSector = gCd.startSector = 0;
  const bool wasPaused = gCd.paused;
  gCd.currentTrack = track;
  if (!wasPaused && !gCd.randomStep) {
    for (int step = 0; step < 256 && gCd.shuffle[gCd.shuffleIndex] != track; step++)
      gCd.shuffleIndex = (gCd.shuffleIndex + 1) & 255;
    gCd.shuffleStart = gCd.shuffleIndex;
  }
  SndStreamSetPaused(gCd.stream, false);
  gCd.playing = true;  // before the first fill, which the play makes at once
  gCd.channel = SndStreamPlay(-1, gCd.stream);
  if (gCd.channel < 0) {
    gCd.playing = false;
    return false;
  }
  SndSetChannelVolume(gCd.channel, gCd.volume);
  return true;
}

// The next entry of the shuffle order that is an audio track of the disc. Coming round to the start of the
// cycle starts a new one at index 0 (the order built anew is the same).
int NextRandomTrack() {
  for (int step = 0; step < 1024; step++) {
    gCd.shuffleIndex = (gCd.shuffleIndex + 1) & 255;
    if (gCd.shuffleIndex == gCd.shuffleStart) {
      BuildShuffle();
      gCd.shuffleStart = 0;  // the new cycle began at 0: a disc of one track cannot spin here
    }
    const int track = gCd.shuffle[gCd.shuffleIndex];
    if (track <= TrackCount() && Track(track).audio) return track;
  }
  return 1;
}

}  // namespace

void SndSetCdSource(const char* source) {
  SndLockGuard guard(gSnd.lock);
  SndCloseCd();
  gCd.source = source != nullptr ? source : "";
}

const char* SndGetCdSource() {
  SndLockGuard guard(gSnd.lock);
  return gCd.source.c_str();
}

bool SndPlayCdTrack(int track) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  return PlayLocked(track);
}

bool SndStopCd() {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!EnsureOpen()) return false;
  StopStream();
  return true;
}

void SndSetCdPlayMode(int mode) {
  SndLockGuard guard(gSnd.lock);
  gCd.playMode = mode;
}

bool SndPauseCd(bool paused) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!EnsureOpen()) return false;
  if (gCd.playing) {
    SndStreamSetPaused(gCd.stream, paused);
    gCd.paused = paused;
  } else {
    gCd.paused = false;
  }
  return true;
}

void SndSetCdVolume(int volume) {
  SndLockGuard guard(gSnd.lock);
  if (!EnsureOpen()) return;
  gCd.volume = std::clamp(volume, 0, 255);
  if (gCd.playing) SndSetChannelVolume(gCd.channel, gCd.volume);
}

int SndGetCdVolume() {
  SndLockGuard guard(gSnd.lock);
  return EnsureOpen() ? gCd.volume : -1;
}

// A drive opens its tray and the disc closes with it; an empty drive closes its tray. An image
// has no tray: it only stops.
bool SndEjectCd() {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!EnsureOpen()) return SndCloseCdTray(gCd.source);
  StopStream();
  if (gCd.disc->drive == nullptr) return true;
  const bool ejected = SndEjectCdDisc(gCd.disc);
  if (ejected) SndCloseCd();
  return ejected;
}

bool SndIsCdPaused() {
  SndLockGuard guard(gSnd.lock);
  return gCd.paused;
}

bool SndIsCdPlaying() {
  SndLockGuard guard(gSnd.lock);
  return gCd.playing;
}

int SndGetCdCurrentTrack() {
  SndLockGuard guard(gSnd.lock);
  return gCd.currentTrack;
}

int SndGetCdTrackCount() {
  SndLockGuard guard(gSnd.lock);
  return EnsureOpen() ? TrackCount() : 0;
}

int SndGetCdTrackLength(int track) {
  SndLockGuard guard(gSnd.lock);
  if (!EnsureOpen() || track < 1 || track > TrackCount()) return 0;
  return int(Track(track).sectors * 1000 / kSndCdSectorsPerSecond);
}

int SndGetCdTrackPosition() {
  SndLockGuard guard(gSnd.lock);
  if (gCd.disc == nullptr || !gCd.playing) return 0;
  double ms;
  const int track = HeardTrack(&ms);
  if (track < gCd.currentTrack) return 0;
  if (track > gCd.currentTrack) return int(TrackMs(gCd.currentTrack));
  return std::clamp(int(ms), 0, int(TrackMs(gCd.currentTrack)));
}

bool SndCloseCd() {
  SndLockGuard guard(gSnd.lock);
  if (gCd.disc == nullptr) return false;
  StopStream();
  if (gCd.stream != nullptr) SndStreamClose(gCd.stream);
  gCd.stream = nullptr;
  SndCloseCdDisc(gCd.disc);
  gCd.disc = nullptr;
  gCd.currentTrack = 0;
  return true;
}

void SndCdUpdate() {
  SndLockGuard guard(gSnd.lock);
  if (gCd.disc == nullptr || !gCd.playing || gCd.paused) return;
  double ms;
  const int heard = HeardTrack(&ms);
  if (heard <= gCd.currentTrack) return;
  switch (gCd.playMode) {
    case kSndCdOnce:
      StopStream();
      break;
    case kSndCdLooped:
      PlayLocked(gCd.currentTrack);
      break;
    case kSndCdRandom: {
      const int next = NextRandomTrack();
      gCd.randomStep = true;
      PlayLocked(next);
      gCd.randomStep = false;
      break;
    }
    default:  // the disc plays on by itself; past its last track it stops
      if (heard > TrackCount())
        StopStream();
      else
        gCd.currentTrack = heard;
  }
}
