// S3M songs: the loader (packed patterns, channel mapping, 8- and 16-bit samples) and the row
// and tick work of the S3M effects on top of the shared tick engine.
#include <cstdlib>
#include <vector>

#include "sound/songs/songs_local.h"

void SndS3mRow(SndSong* song);
void SndS3mTick(SndSong* song);
static void SndS3mUpdate(SndSong* song) { SongTrackerTick(song, SndS3mRow, SndS3mTick); }

bool SndLoadS3m(SndSong* song, SongReader& r) {
  uint8_t tag[4];
  r.Seek(44);
  r.Bytes(tag, 4);
  if (r.error || std::memcmp(tag, "SCRM", 4) != 0) return SndFail(kSndErrFileFormat);
  song->type = kSndSongS3m;
  song->masterVolume = 256;
  song->initialGlobalVolume = 64;
  r.Seek(0);
  r.Bytes(song->name, 28);
  r.Seek(32);
  int orderCount = r.U16(), sampleCount = r.U16(), patternCount = r.U16();
  int flags = r.U16(), version = r.U16();
  // The sample format word: 1 signed data (the first Scream Tracker 3 versions and several
  // converters write it), 2 unsigned.
  uint32_t sampleSign = r.U16() == 1 ? kSndSigned : kSndUnsigned;
  if ((flags & 64) || (version & 0xFFF) == 0x300) song->flags |= 1;  // fast volume slides
  if (flags & 16) song->flags |= 2;                                     // Amiga period limits
  r.Seek(48);
  song->globalVolume = r.U8();
  song->defaultSpeed = r.U8();
  song->defaultTempo = r.U8();
  int master = r.U8();
  r.U8();
  int defaultPanByte = r.U8();
  if (song->defaultSpeed == 0) song->defaultSpeed = 6;
  if (song->defaultTempo == 0) song->defaultTempo = 125;
  r.Seek(64);
  int map[32];
  int channels = 0;
  for (int i = 0; i < 32; i++) {
    int v = r.U8();
    map[i] = -1;
    if (v < 16) {
      map[i] = channels;
      // Left and right channels sit a quarter of the way in from each side, where the
      // tracker puts a channel its pan table leaves alone.
      song->defaultPan[channels] = v < 8 ? 0x30 : 0xC0;
      song->defaultVolume[channels] = 64;
      channels++;
    }
  }
  // Counts are checked against the tables they fill before anything is allocated.
  if (r.error || orderCount > 256 || sampleCount > 255 || patternCount > 256 || channels == 0) {
    return SndFail(kSndErrFileFormat);
  }
  song->channelCount = channels;
  int highest = -1;
  for (int i = 0; i < orderCount; i++) {
    int o = r.U8();
    if (o >= 254) continue;
    song->orders[song->length++] = static_cast<uint8_t>(o);
    if (o > highest) highest = o;
  }
  if (song->length == 0 || highest < 0) return SndFail(kSndErrFileFormat);
  std::vector<int> samplePointers(static_cast<size_t>(sampleCount)), patternPointers(static_cast<size_t>(patternCount));
  for (int& p : samplePointers) p = r.U16();
  for (int& p : patternPointers) p = r.U16();
  if (defaultPanByte == 252) {
    for (int i = 0; i < 32; i++) {
      int v = r.U8();
      if ((v & 0x20) && map[i] >= 0) song->defaultPan[map[i]] = static_cast<uint8_t>((v & 15) * 16);
    }
  }
  if (r.error) return SndFail(kSndErrFileFormat);
  if (!(master & 128)) {
    for (int c = 0; c < channels; c++) song->defaultPan[c] = 128;
  }
  song->patternCount = highest + 1 > patternCount ? highest + 1 : patternCount;
  if (!SongAllocSamples(song, sampleCount) || !SongAllocPatterns(song, song->patternCount)) return false;
  struct Data {
    size_t offset;
    uint32_t bytes;
    uint32_t mode;
    bool packed;
  };
  std::vector<Data> data(static_cast<size_t>(sampleCount));
  for (int i = 0; i < sampleCount; i++) {
    r.Seek(static_cast<size_t>(samplePointers[i]) * 16);
    int kind = r.U8();
    r.Skip(12);
    int high = r.U8();
    size_t dataPointer = (static_cast<size_t>(high) << 16 | r.U16()) * 16;
    uint32_t length = r.U32(), loopBegin = r.U32(), loopEnd = r.U32();
    int volume = r.U8();
    r.U8();
    int pack = r.U8();
    int sampleFlags = r.U8();
    uint32_t c2 = r.U32() & 0xFFFF;
    r.Skip(12);
    char name[28];
    r.Bytes(name, 28);
    if (r.error) return SndFail(kSndErrFileFormat);
    bool sixteen = (sampleFlags & 4) != 0;
    bool packed = pack == 4 && !sixteen;  // 4-bit packed 8-bit data
    if (kind != 1) length = 0;  // adlib or empty instruments hold no PCM
    // A length beyond the file cannot be read: what the file holds is played.
    uint32_t width = sixteen ? 2 : 1;
    size_t available = dataPointer < r.size ? (r.size - dataPointer) / width : 0;
    if (packed) available = SongAdpcmFrames(available);
    if (length > available) length = static_cast<uint32_t>(available);
    uint32_t mode = (sixteen ? kSnd16Bits : kSnd8Bits) | kSndMono | kSndLoopOff;
    SndSample* s = SongCreateSample(song, i, length, mode);
    if (!s) return false;
    std::memcpy(s->name, name, 28);
    s->trackerValues[0] = c2;
    SongSetSampleAttributes(s, volume > 64 ? 64 : volume, 128, false, 64, 0, 0);
    uint32_t loopLength = loopEnd > loopBegin ? loopEnd - loopBegin : 0;
    SongSetLoop(s, loopBegin, loopLength, (sampleFlags & 1) ? kSndLoopNormal : kSndLoopOff, 3);
    data[static_cast<size_t>(i)] = {dataPointer, packed ? SongAdpcmBytes(length) : length * width, mode | sampleSign,
                                    packed};
  }
  size_t cells = 64u * static_cast<size_t>(channels);
  for (int p = 0; p < song->patternCount; p++) {
    SongPattern& pattern = song->patterns[p];
    pattern.data = static_cast<uint8_t*>(std::calloc(cells, 5));
    if (!pattern.data) return SndFail(kSndErrMemory);
    if (p >= patternCount || patternPointers[p] == 0) continue;
    r.error = false;
    r.Seek(static_cast<size_t>(patternPointers[p]) * 16 + 2);
    SongCell scratch;
    for (int row = 0; row < 64 && !r.error;) {
      int b = r.U8();
      if (b == 0) {
        row++;
        continue;
      }
      int fileChannel = b & 31;
      int c = map[fileChannel];
      SongCell* cell = c >= 0 ? reinterpret_cast<SongCell*>(pattern.data + (static_cast<size_t>(row) * channels + c) * 5) : &scratch;
      if (b & 32) {
        int n = r.U8();
        // 254 is note off; 255 is no note; anything else is octave and semitone, the
        // semitone only up to B.
        if (n == 254) {
          cell->note = 255;
        } else if (n == 255 || (n & 15) > 11 || (n >> 4) > 9) {
          cell->note = 0;
        } else {
          cell->note = static_cast<uint8_t>((n >> 4) * 12 + 1 + (n & 15));
        }
        cell->instrument = r.U8();
      }
      if (b & 64) {
        int v = r.U8();
        cell->volume = static_cast<uint8_t>(v > 64 ? 0 : v + 1);  // out of range: no volume
      }
      if (b & 128) {
        cell->effect = r.U8();
        cell->param = r.U8();
        if (cell->effect > 26) cell->effect = 0;
      }
    }
  }
  r.error = false;
  for (int i = 0; i < sampleCount; i++) {
    const Data& d = data[static_cast<size_t>(i)];
    if (d.bytes == 0) continue;
    r.Seek(d.offset);
    const uint8_t* bytes = r.Span(d.bytes);
    if (!bytes) continue;
    bool uploaded = d.packed ? SongUploadAdpcm(song->samples[i], bytes, d.bytes)
                             : SongUploadSample(song->samples[i], bytes, d.bytes, d.mode);
    if (!uploaded) return false;
  }
  song->update = SndS3mUpdate;
  return true;
}

// --- Player ---

static SndSample* CurrentSample(SndSong* song, SndSongChannel* c) {
  return c->sample >= 0 && c->sample < song->sampleCount ? song->samples[c->sample] : nullptr;
}

static void S3mVolumeSlide(SndSongVoice* v, int param) {
  v->volume = SongSlide(v->volume, param, 64);
  v->pending |= kVoiceVolume;
}

// S3M's tremor counts through one on/off cycle against the current times, so a new parameter
// acts at once (the other formats change at the next phase).
static void S3mTremor(SndSongChannel* c, SndSongVoice* v) {
  if (c->tremorCount >= c->tremorOn) v->volumeDelta = -v->volume;
  if (++c->tremorCount >= c->tremorOn + c->tremorOff) c->tremorCount = 0;
  v->pending |= kVoiceVolume;
}

// Songs made for the Amiga's range keep every period inside its three octaves: notes above them
// play at the top, and slides stop at either end.
static void KeepInAmigaRange(SndSong* song, SndSongVoice* v) {
  if (!(song->flags & 2) || v->period == 0) return;
  v->period = SongClamp(v->period, 113 * 4, 856 * 4);
}

static int NotePeriodFor(SndSong* song, SndSongChannel* c) {
  return SndNotePeriod(c->note, SongSampleFrequency(CurrentSample(song, c)));
}

void SndS3mRow(SndSong* song) {
  bool jumped = false;
  int pattern = song->orders[song->order];
  for (int ci = 0; ci < song->channelCount; ci++) {
    SndSongChannel* c = &song->channels[ci];
    const SongCell cell = *SongCellAt(song, pattern, song->row, ci);
    SndSongVoice* v = FirstVoice(c);
    bool hasNote = cell.note != 0 && cell.note != 255;
    if (cell.instrument > 0) {
      c->sample = cell.instrument - 1;
      SongWatchInstrument(song, cell.instrument);
    }
    if (hasNote) c->note = cell.note;
    SongBeginRow(c, v, cell, 18);
    SndSample* sample = CurrentSample(song, c);
    int x = cell.param >> 4, y = cell.param & 15;
    bool porta = cell.effect == 7 || cell.effect == 12;
    if (hasNote) {
      v = SongVoiceForNote(song, c, v);
      c->notePeriod = NotePeriodFor(song, c);
      v->pan = c->pan;
      if (!porta) {
        v->period = c->notePeriod;
        v->sample = sample;
        v->pending = kVoiceStart;
      }
    }
    if (cell.instrument > 0) {
      v->volume = SongSampleVolume(sample);
      SongTremorRestart(c);
      SongRestartWaves(c);
    }
    // A note without an instrument number starts where the channel's last note did (at its
    // offset); one with an instrument number starts at the beginning.
    if (hasNote && cell.effect != 15) {
      if (cell.instrument > 0) c->noteOffset = 0;
      else if (c->noteOffset && (v->pending & kVoiceStart)) SongStartAt(v, sample, c->noteOffset);
    }
    v->periodDelta = 0;
    v->pending |= kVoiceFrequency | kVoiceVolume | kVoicePan;
    if (cell.volume > 0) v->volume = SongClamp(cell.volume - 1, 0, 64);
    if (cell.note == 255) v->volume = 0;
    switch (cell.effect) {
      case 1: song->speed = cell.param; break;
      case 2: SongBreakJump(song, 'B', cell.param, &jumped); break;
      case 3: SongBreakJump(song, 'D', cell.param, &jumped); break;
      case 4:
      case 11:
      case 12:
        if (cell.param) c->volSlideMem = cell.param;
        if (cell.effect == 4) v->volume = SongFineSlide(v->volume, c->volSlideMem, 64, song->flags & 1);
        if (cell.effect == 11) SndVibrato(c, v, 2, false);
        if (cell.effect == 12) c->targetPeriod = c->notePeriod;
        break;
      case 5:
      case 6:
        if (cell.param) c->portaMem = cell.param;
        SongPortamentoRow(v, c->portaMem, cell.effect == 5 ? 1 : -1);
        if (v->period < 1) v->pending |= kVoiceStop;  // a fine slide to 0 ends the note too
        break;
      case 7:
        if (cell.param) c->portaSpeed = cell.param;
        c->targetPeriod = c->notePeriod;
        break;
      case 8:
      case 21:
        SongSetVibrato(c, x, y);
        SndVibrato(c, v, cell.effect == 8 ? 2 : 0, false);  // the running vibrato holds its pitch
        break;
      case 9:
        if (cell.param) {
          c->tremorOn = x + 1;
          c->tremorOff = y + 1;
        }
        S3mTremor(c, v);
        break;
      case 10:
        if (cell.param) c->arpMem = cell.param;
        break;
      case 15:
        if (cell.param) c->offsetMemory = cell.param;  // O00 starts where the last O did
        SongStartAt(v, sample, static_cast<uint32_t>(c->offsetMemory) * 256u);
        if (hasNote) c->noteOffset = static_cast<uint32_t>(c->offsetMemory) * 256u;
        break;
      case 17:
        if (cell.param) {
          c->retrigKind = x;
          c->retrigInterval = y;
        }
        break;
      case 18:
        SongSetTremolo(c, x, y);
        break;
      case 19:
        switch (x) {
          case 2: if (sample) sample->trackerValues[0] = static_cast<uint32_t>(SndModFinetuneToFrequency(y)); break;
          case 3: SongSetWaveform(c, false, y); break;
          case 4: SongSetWaveform(c, true, y); break;
          case 8: v->pan = y * 16; break;
          case 0xA: v->pan = (y < 8 ? y + 8 : y - 8) * 16; break;
          case 0xB: SongPatternLoop(song, c, y); break;
          case 0xD: SongHoldForDelay(c, v); break;
          case 0xE: song->patternDelay = y * song->speed; break;
          default: break;
        }
        break;
      case 20:
        if (cell.param > 31) SndSetSongTempo(song, cell.param);
        break;
      case 22:
        song->globalVolume = cell.param > 64 ? 64 : cell.param;
        break;
      case 24:
        v->pan = cell.param * 2 > 255 ? 255 : cell.param * 2;
        break;
      case 26:
        SndQueueSongCallback(song, kQueueSync, cell.param);
        break;
      default:
        break;
    }
    KeepInAmigaRange(song, v);
    SongApplyPending(song, c);
  }
}

void SndS3mTick(SndSong* song) {
  for (int ci = 0; ci < song->channelCount; ci++) {
    auto [c, cell, v, x, y] = SongStartChannelTick(song, ci);
    switch (cell.effect) {
      case 4:
        S3mVolumeSlide(v, c->volSlideMem);
        break;
      case 5:
      case 6:
        SongPortamentoTick(v, c->portaMem, cell.effect == 5 ? 1 : -1);
        break;
      case 7:
        SndTonePortamento(c, v);
        break;
      case 8:
        SndVibrato(c, v, 2, true);
        break;
      case 9:
        S3mTremor(c, v);
        break;
      case 10:
        if (c->arpMem) {
          int add = SongArpeggioStep(song, c->arpMem);
          SongArpeggio(v, add, false, SndNotePeriod(c->note, 0), SndNotePeriod(c->note + add, 0));
        }
        break;
      case 11:
        SndVibrato(c, v, 2, true);
        S3mVolumeSlide(v, c->volSlideMem);
        break;
      case 12:
        SndTonePortamento(c, v);
        S3mVolumeSlide(v, c->volSlideMem);
        break;
      case 17:
        if (c->retrigInterval && song->tick % c->retrigInterval == 0) {
          v->volume = SongRetrigVolume(c->retrigKind, v->volume);
          v->pan = c->pan;
          v->period = c->notePeriod;
          v->sample = CurrentSample(song, c);
          v->pending |= kVoiceStart | kVoiceVolume | kVoicePan | kVoiceFrequency;
        }
        break;
      case 18:
        SndTremolo(c, v, true, true);
        break;
      case 19:
        if (x == 0xC) SongNoteCut(song, v, y);
        if (x == 0xD && song->tick == y) {
          v->pan = c->pan;
          v->period = c->notePeriod;
          if (cell.note && cell.note != 255) {
            v->sample = CurrentSample(song, c);
            v->pending |= kVoiceStart;
          }
          if (cell.instrument) {
            v->volume = SongSampleVolume(CurrentSample(song, c));
            SongTremorRestart(c);
            SongRestartWaves(c);
          }
          if (cell.volume) v->volume = SongClamp(cell.volume - 1, 0, 64);
          v->pending |= kVoiceFrequency | kVoiceVolume | kVoicePan;
        }
        break;
      case 21:
        SndVibrato(c, v, 0, true);
        break;
      default:
        break;
    }
    KeepInAmigaRange(song, v);
    SongApplyPending(song, c);
  }
}
