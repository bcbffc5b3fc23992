// MOD songs: the loader for 4-, 6-, 8- and n-channel files with 31 samples, and the row and
// tick work of the MOD effects on top of the shared tick engine.
#include <cstdlib>

#include "sound/songs/songs_local.h"

static int ChannelsFromTag(const uint8_t tag[4]) {
  auto is = [&](const char* t) { return std::memcmp(tag, t, 4) == 0; };
  if (is("M.K.") || is("M!K!") || is("FLT4")) return 4;
  if (is("6CHN")) return 6;
  if (is("8CHN")) return 8;
  if (tag[2] == 'C' && tag[3] == 'H') {
    // Two decimal digits; anything else (or a count outside 1..32) is not a MOD.
    if (tag[0] < '0' || tag[0] > '9' || tag[1] < '0' || tag[1] > '9') return 0;
    int n = (tag[0] - '0') * 10 + (tag[1] - '0');
    return n >= 1 && n <= 32 ? n : 0;
  }
  return 0;
}

// Sample data that starts with "ADPCM" is packed to 4 bits a frame.
static bool IsAdpcm(const SongReader& r, size_t at) {
  return at <= r.size && r.size - at >= 5 && std::memcmp(r.data + at, "ADPCM", 5) == 0;
}

// Where the samples' data ends when it starts at `at`: each sample takes its length, or what
// its packed form takes.
static size_t SampleDataEnd(const SongReader& r, size_t at, const uint32_t lengths[31]) {
  for (int i = 0; i < 31; i++) {
    if (lengths[i] == 0) continue;
    at += IsAdpcm(r, at) ? 5 + SongAdpcmBytes(lengths[i]) : lengths[i];
  }
  return at;
}

void SndModRow(SndSong* song);
void SndModTick(SndSong* song);
static void SndModUpdate(SndSong* song) { SongTrackerTick(song, SndModRow, SndModTick); }

bool SndLoadMod(SndSong* song, SongReader& r) {
  uint8_t tag[4];
  r.Seek(1080);
  r.Bytes(tag, 4);
  int channels = r.error ? 0 : ChannelsFromTag(tag);
  if (channels == 0) return SndFail(kSndErrFileFormat);
  song->type = kSndSongMod;
  song->masterVolume = 256;
  song->defaultSpeed = 6;
  song->defaultTempo = 125;
  song->initialGlobalVolume = 64;
  song->restart = 0;
  song->channelCount = channels;
  r.Seek(0);
  r.Bytes(song->name, 20);
  if (!SongAllocSamples(song, 31)) return false;
  uint32_t lengths[31];
  for (int i = 0; i < 31; i++) {
    r.Seek(20 + static_cast<size_t>(i) * 30);
    char name[22];
    r.Bytes(name, 22);
    uint32_t length = r.U16be() * 2u;
    int finetune = r.U8();
    int volume = r.U8();
    uint32_t loopStart = r.U16be() * 2u;
    uint32_t loopLength = r.U16be() * 2u;
    SndSample* s = SongCreateSample(song, i, length, kSndLoopOff | kSnd8Bits | kSndMono);
    if (!s) return false;
    for (int k = 0; k < 22; k++) s->name[k] = name[k] < 32 && name[k] >= 0 ? 0 : name[k];
    s->trackerValues[0] = static_cast<uint32_t>(SndModFinetuneToFrequency(finetune));
    SongSetSampleAttributes(s, volume, 128, false, 64, 0, 0);
    lengths[i] = length;
    SongSetLoop(s, loopStart, loopLength, kSndLoopNormal, 3);  // a length of 2 is "no loop"
  }
  r.Seek(950);
  song->length = r.U8();
  r.U8();
  int highest = 0;
  for (int i = 0; i < 128; i++) {
    song->orders[i] = r.U8();
    if (song->orders[i] > highest) highest = song->orders[i];
  }
  if (r.error) return SndFail(kSndErrFileFormat);
  if (song->length < 1 || song->length > 128) song->length = song->length < 1 ? 1 : 128;
  // Order bytes above 127 are not patterns a MOD can hold; they stop at the last pattern.
  if (highest > 127) return SndFail(kSndErrFileFormat);
  song->patternCount = highest + 1;
  if (!SongAllocPatterns(song, song->patternCount)) return false;
  for (int c = 0; c < channels; c++) {
    song->defaultPan[c] = ((c + 1) & 2) ? 191 : 64;
    song->defaultVolume[c] = 64;
  }
  r.Seek(1084);
  size_t cells = 64u * static_cast<size_t>(channels);
  for (int p = 0; p < song->patternCount; p++) {
    SongPattern& pattern = song->patterns[p];
    pattern.data = static_cast<uint8_t*>(std::calloc(cells, 5));
    if (!pattern.data) return SndFail(kSndErrMemory);
    for (size_t i = 0; i < cells; i++) {
      uint8_t b0 = r.U8(), b1 = r.U8(), b2 = r.U8(), b3 = r.U8();
      SongCell* cell = reinterpret_cast<SongCell*>(pattern.data + i * 5);
      int period = (b0 & 0x0F) * 256 + b1;
      cell->instrument = static_cast<uint8_t>((b0 & 0xF0) + (b2 >> 4));
      cell->note = 0;
      for (int n = 1; n <= 108 && period > 0; n++) {
        if (kSndPeriodTable[n + 24] <= static_cast<uint32_t>(period)) {
          cell->note = static_cast<uint8_t>(n);
          break;
        }
      }
      cell->effect = b2 & 0x0F;
      cell->param = b3;
    }
  }
  size_t afterPatterns = r.pos;
  r.error = false;
  // The samples follow the patterns. Some files store patterns that no order plays: the samples
  // then end the file, and what lies between is a whole number of patterns. Other files carry
  // bytes after the samples (a tracker's own data), which must not shift the samples.
  size_t patternBytes = cells * 4, start = afterPatterns;
  if (SampleDataEnd(r, afterPatterns, lengths) < r.size) {
    for (size_t at = afterPatterns + patternBytes; at < r.size; at += patternBytes) {
      if (SampleDataEnd(r, at, lengths) == r.size) {
        start = at;
        break;
      }
    }
  }
  r.Seek(start);
  for (int i = 0; i < 31; i++) {
    if (lengths[i] == 0) continue;
    bool packed = IsAdpcm(r, r.pos);
    if (packed) r.Skip(5);
    size_t want = packed ? SongAdpcmBytes(lengths[i]) : lengths[i];
    size_t left = r.pos < r.size ? r.size - r.pos : 0, have = left < want ? left : want;
    const uint8_t* data = r.Span(have);
    bool uploaded = packed ? SongUploadAdpcm(song->samples[i], data, static_cast<uint32_t>(have))
                           : SongUploadSample(song->samples[i], data, static_cast<uint32_t>(have), kSnd8Bits | kSndSigned);
    if (!uploaded) return false;
  }
  song->update = SndModUpdate;
  return true;
}

// --- Player ---

static SndSample* CurrentSample(SndSong* song, SndSongChannel* c) {
  return c->sample >= 0 && c->sample < song->sampleCount ? song->samples[c->sample] : nullptr;
}


void SndModRow(SndSong* song) {
  bool jumped = false;
  int pattern = song->orders[song->order];
  for (int ci = 0; ci < song->channelCount; ci++) {
    SndSongChannel* c = &song->channels[ci];
    const SongCell cell = *SongCellAt(song, pattern, song->row, ci);
    SndSongVoice* v = FirstVoice(c);
    if (cell.instrument > 0) {
      c->sample = cell.instrument - 1;
      SongWatchInstrument(song, cell.instrument);
    }
    SongBeginRow(c, v, cell, 7);
    int x = cell.param >> 4, y = cell.param & 15;
    SndSample* sample = CurrentSample(song, c);
    if (cell.note) {
      v = SongVoiceForNote(song, c, v);
      v->sample = sample;
      c->note = cell.note;
      c->notePeriod = SndNotePeriod(cell.note, SongSampleFrequency(sample));
      v->pan = c->pan;
      SongRestartWaves(c);
      if (cell.effect != 3 && cell.effect != 5) v->period = c->notePeriod;
      v->pending = kVoiceStart;
    }
    if (cell.instrument > 0) v->volume = SongSampleVolume(sample);
    v->periodDelta = 0;
    v->pending |= kVoiceFrequency | kVoiceVolume | kVoicePan;
    switch (cell.effect) {
      case 3:
      case 5:
        if (cell.effect == 3 && cell.param) c->portaSpeed = cell.param;
        c->targetPeriod = c->notePeriod;
        v->pending &= ~kVoiceStart;
        break;
      case 4:
        SongSetVibrato(c, x, y);
        break;
      case 7:
        SongSetTremolo(c, x, y);
        // The row's volume change is dropped, but a new sample's default volume stays: a note
        // struck with a tremolo would otherwise start silent.
        if (!cell.instrument) v->volume = c->savedVolume;
        break;
      case 8:
        v->pan = cell.param * 2 > 255 ? 255 : cell.param * 2;  // 0x80 is the right side, not 0
        break;
      case 9:
        if (cell.param) c->offsetMemory = cell.param;
        SongStartAt(v, sample, static_cast<uint32_t>(c->offsetMemory) * 256u);
        break;
      case 0xB:
        SongBreakJump(song, 'B', cell.param, &jumped);
        break;
      case 0xC:
        v->volume = cell.param;
        break;
      case 0xD:
        SongBreakJump(song, 'D', cell.param, &jumped);
        break;
      case 0xE:
        switch (x) {
          case 1: v->period -= y * 4; break;
          case 2: v->period += y * 4; break;
          case 4: SongSetWaveform(c, false, y); break;
          case 5: if (sample) sample->trackerValues[0] = static_cast<uint32_t>(SndModFinetuneToFrequency(y)); break;
          case 6: SongPatternLoop(song, c, y); break;
          case 7: SongSetWaveform(c, true, y); break;
          case 8: v->pan = y * 16; break;
          case 0xA: v->volume = v->volume + y > 64 ? 64 : v->volume + y; break;
          case 0xB: v->volume = v->volume - y < 0 ? 0 : v->volume - y; break;
          case 0xD: SongHoldForDelay(c, v); break;
          case 0xE: song->patternDelay = y * song->speed; break;
          default: break;
        }
        break;
      case 0xF:
        SongSpeedOrTempo(song, cell.param);
        break;
      default:
        break;
    }
    SongApplyPending(song, c);
  }
}

void SndModTick(SndSong* song) {
  for (int ci = 0; ci < song->channelCount; ci++) {
    SongChannelTick t = SongStartChannelTick(song, ci);
    auto [c, cell, v, x, y] = t;
    bool shared = SongProTrackerTick(t, cell.param, cell.param, cell.param);
    switch (shared ? -1 : cell.effect) {
      case 0:
        if (cell.param) {
          int add = SongArpeggioStep(song, cell.param);
          SongArpeggio(v, add, false, SndNotePeriod(c->note, 0), SndNotePeriod(c->note + add, 0));
        }
        break;
      case 0xE:
        if (x == 9 && y && song->tick % y == 0) v->pending |= kVoiceStart;
        if (x == 0xC) SongNoteCut(song, v, y);
        if (x == 0xD && song->tick == y) {
          v->period = c->notePeriod;
          v->pan = c->pan;
          if (cell.instrument) v->volume = SongSampleVolume(CurrentSample(song, c));
          if (cell.note) v->pending |= kVoiceStart;
          v->pending |= kVoiceFrequency | kVoiceVolume | kVoicePan;
        }
        break;
      default:
        break;
    }
    SongApplyPending(song, c);
  }
}
