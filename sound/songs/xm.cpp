// XM songs: the loader (packed patterns, instruments with up to 16 samples, envelopes) and the
// row and tick work of the XM effects, envelopes, fade-out and automatic vibrato.
#include <cstdlib>
#include <vector>

#include "sound/songs/songs_local.h"

void SndXmRow(SndSong* song);
void SndXmTick(SndSong* song);
static void SndXmUpdate(SndSong* song) { SongTrackerTick(song, SndXmRow, SndXmTick); }

// An envelope whose points are too many, or whose ticks go backward, or whose sustain and
// loop points lie outside it, is switched off rather than read past its table.
static void ReadXmEnvelope(SongEnvelope& e, const uint8_t* points, int count, int sustain, int loopStart, int loopEnd,
                           int type) {
  e = SongEnvelope{};
  if (count < 2 || count > 12 || !(type & 1)) return;
  for (int i = 0; i < count; i++) {
    e.x[i] = static_cast<int16_t>(points[i * 4] | points[i * 4 + 1] << 8);
    int y = points[i * 4 + 2] | points[i * 4 + 3] << 8;
    e.y[i] = static_cast<int8_t>(y > 64 ? 64 : y);
    if (i > 0 && e.x[i] < e.x[i - 1]) return;
  }
  if (sustain >= count) type &= ~2;
  if (loopStart >= count || loopEnd >= count || loopStart > loopEnd) type &= ~4;
  e.flags = static_cast<uint8_t>(type & 7);
  e.points = static_cast<uint8_t>(count);
  e.sustainBegin = e.sustainEnd = static_cast<uint8_t>(sustain);
  e.loopBegin = static_cast<uint8_t>(loopStart);
  e.loopEnd = static_cast<uint8_t>(loopEnd);
}

// Reads `patterns` patterns. Files before version 0x104 store the row count as a byte, less one.
static bool ReadXmPatterns(SndSong* song, SongReader& r, int patterns, bool rowsAsByte) {
  const int channels = song->channelCount;
  for (int p = 0; p < patterns; p++) {
    size_t start = r.pos;
    uint32_t headerLength = r.U32();
    r.U8();
    int rows = rowsAsByte ? r.U8() + 1 : r.U16();
    uint32_t packed = r.U16();
    if (r.error || rows < 1 || rows > 256 || headerLength < 8 || headerLength > 64) return SndFail(kSndErrFileFormat);
    r.Seek(start + headerLength);
    SongPattern& pattern = song->patterns[p];
    pattern.rows = rows;
    size_t cells = static_cast<size_t>(rows) * channels;
    pattern.data = static_cast<uint8_t*>(std::calloc(cells, 5));
    if (!pattern.data) return SndFail(kSndErrMemory);
    if (packed == 0) continue;
    const uint8_t* bytes = r.Span(packed);
    if (!bytes) return SndFail(kSndErrFileFormat);
    size_t at = 0;
    for (size_t i = 0; i < cells && at < packed; i++) {
      uint8_t fields[5] = {};
      uint8_t b = bytes[at++];
      int mask = b & 0x80 ? b & 0x1F : 0x1F;
      if (!(b & 0x80)) fields[0] = b;
      for (int k = (b & 0x80) ? 0 : 1; k < 5; k++) {
        if (!(mask & (1 << k))) continue;
        if (at >= packed) break;
        fields[k] = bytes[at++];
      }
      SongCell* cell = reinterpret_cast<SongCell*>(pattern.data + i * 5);
      cell->note = fields[0] == 97 ? 255 : fields[0] > 97 ? 0 : fields[0];
      cell->instrument = fields[1] > 128 ? 0 : fields[1];
      cell->volume = fields[2];
      cell->effect = fields[3] > 35 ? 0 : fields[3];
      cell->param = fields[4];
    }
  }
  return true;
}

// A sample header as the file gives it; the sample record is made when its data is read, so
// that its length is what the file holds rather than what the header claims.
struct XmSampleHeader {
  uint32_t length, loopStart, loopLength;  // in bytes, as stored
  int volume, finetune, type, pan, relative;
  bool packed;                             // 8-bit data packed to 4 bits (reserved byte 0xAD)
  char name[22];
};

static void EmptyXmInstrument(ItInstrument& ins, int sampleBase) {
  ins = ItInstrument{};
  ins.sampleBase = sampleBase;
  for (auto& n : ins.noteMap) n[1] = 16;
}

// Reads one instrument and its sample headers. An instrument the file ends before is empty
// (files whose header counts more instruments than they hold play with the ones they have);
// more than 16 samples is an error.
static bool ReadXmInstrument(SndSong* song, SongReader& r, ItInstrument& ins, std::vector<XmSampleHeader>& headers) {
  EmptyXmInstrument(ins, song->sampleCount);
  size_t start = r.pos;
  uint32_t size = r.U32();
  r.Skip(22);
  r.U8();
  int count = r.U16();
  if (r.error) return true;
  if (count > 16) return SndFail(kSndErrFileData);
  if (size < 29 || size > r.size) return SndFail(kSndErrFileFormat);
  if (count == 0) {
    r.Seek(start + size);
    return true;
  }
  uint32_t sampleHeaderSize = r.U32();
  uint8_t map[96], volumePoints[48], panPoints[48];
  r.Bytes(map, 96);
  r.Bytes(volumePoints, 48);
  r.Bytes(panPoints, 48);
  int volumeCount = r.U8(), panCount = r.U8();
  int volumeSustain = r.U8(), volumeLoopStart = r.U8(), volumeLoopEnd = r.U8();
  int panSustain = r.U8(), panLoopStart = r.U8(), panLoopEnd = r.U8();
  int volumeType = r.U8(), panType = r.U8();
  ins.vibType = r.U8();
  ins.vibSweep = r.U8();
  ins.vibDepth = r.U8();
  ins.vibRate = r.U8();
  ins.fadeOut = r.U16() * 2;
  r.Seek(start + size);
  if (sampleHeaderSize < 40) sampleHeaderSize = 40;
  std::vector<XmSampleHeader> own(static_cast<size_t>(count));
  for (XmSampleHeader& h : own) {
    size_t at = r.pos;
    h.length = r.U32();
    h.loopStart = r.U32();
    h.loopLength = r.U32();
    h.volume = r.U8();
    h.finetune = static_cast<int8_t>(r.U8());
    h.type = r.U8();
    h.pan = r.U8();
    h.relative = static_cast<int8_t>(r.U8());
    h.packed = r.U8() == 0xAD && !(h.type & 16);
    r.Bytes(h.name, 22);
    r.Seek(at + sampleHeaderSize);
  }
  if (r.error) {
    EmptyXmInstrument(ins, song->sampleCount);
    return true;
  }
  ins.samples = static_cast<uint8_t>(count);
  for (int n = 0; n < 96; n++) ins.noteMap[n][1] = map[n];
  ReadXmEnvelope(ins.env[0], volumePoints, volumeCount, volumeSustain, volumeLoopStart, volumeLoopEnd, volumeType);
  ReadXmEnvelope(ins.env[1], panPoints, panCount, panSustain, panLoopStart, panLoopEnd, panType);
  song->sampleCount += count;
  headers.insert(headers.end(), own.begin(), own.end());
  return true;
}

// The sample data of one instrument, its samples' records made at the length the file holds.
static bool ReadXmSamples(SndSong* song, SongReader& r, const ItInstrument& ins, const XmSampleHeader* headers) {
  for (int k = 0; k < ins.samples; k++) {
    const XmSampleHeader& h = headers[k];
    bool sixteen = (h.type & 16) != 0;
    uint32_t width = sixteen ? 2 : 1;
    size_t left = r.pos < r.size ? r.size - r.pos : 0;
    uint32_t bytes = h.length < left ? h.length : static_cast<uint32_t>(left), frames = bytes / width;
    if (h.packed && h.length > 0) {
      // The header gives the unpacked length; the file holds the table and half as many bytes.
      uint32_t most = SongAdpcmFrames(left);
      frames = h.length < most ? h.length : most;
      bytes = SongAdpcmBytes(frames);
      if (bytes > left) bytes = static_cast<uint32_t>(left);
    }
    const uint8_t* data = r.Span(bytes);
    uint32_t mode = (sixteen ? kSnd16Bits : kSnd8Bits) | kSndMono;
    SndSample* s = SongCreateSample(song, ins.sampleBase + k, frames, mode);
    if (!s) return false;
    std::memcpy(s->name, h.name, 22);
    SongSetSampleAttributes(s, h.volume > 64 ? 64 : h.volume, h.pan, true, 64, h.relative, h.finetune);
    int loop = h.type & 3;
    SongSetLoop(s, h.loopStart / width, h.loopLength / width, loop == 2 ? kSndLoopBidi : loop == 1 ? kSndLoopNormal : kSndLoopOff, 1);
    bool uploaded = h.packed ? SongUploadAdpcm(s, data, bytes) : SongUploadSample(s, data, bytes, mode | kSndSigned | kSndDelta);
    if (!uploaded) return false;
  }
  return true;
}

bool SndLoadXm(SndSong* song, SongReader& r) {
  char id[17];
  r.Bytes(id, 17);
  r.Seek(37);
  if (r.error || std::memcmp(id, "Extended Module: ", 17) != 0 || r.U8() != 0x1A) return SndFail(kSndErrFileFormat);
  song->type = kSndSongXm;
  song->masterVolume = 256;
  song->initialGlobalVolume = 64;
  r.Seek(17);
  r.Bytes(song->name, 20);
  char tracker[20];
  r.Seek(38);
  r.Bytes(tracker, 20);
  song->ft2 = std::memcmp(tracker, "FastTracker", 11) == 0;
  r.Seek(58);
  int version = r.U16();
  uint32_t headerSize = r.U32();
  int length = r.U16(), restart = r.U16(), channels = r.U16(), patterns = r.U16(), instruments = r.U16();
  song->flags = r.U16();
  song->defaultSpeed = r.U16();
  song->defaultTempo = r.U16();
  r.Bytes(song->orders, 256);
  if (r.error || length < 1 || length > 256 || channels < 1 || channels > 64 || patterns > 256 || instruments > 128 ||
      headerSize < 20 || headerSize > r.size) {
    return SndFail(kSndErrFileFormat);
  }
  song->length = length;
  song->restart = static_cast<uint16_t>(restart < length ? restart : 0);
  song->channelCount = channels;
  if (song->defaultSpeed < 1 || song->defaultSpeed > 255) song->defaultSpeed = 6;
  if (song->defaultTempo < 32 || song->defaultTempo > 255) song->defaultTempo = 125;
  for (int c = 0; c < channels; c++) {
    song->defaultPan[c] = 128;
    song->defaultVolume[c] = 64;
  }
  int highest = 0;
  for (int i = 0; i < length; i++) highest = song->orders[i] > highest ? song->orders[i] : highest;
  song->patternCount = patterns;
  if (!SongAllocPatterns(song, highest + 1 > patterns ? highest + 1 : patterns)) return false;
  song->instruments = new (std::nothrow) ItInstrument[static_cast<size_t>(instruments) + 1]();
  if (!song->instruments) return SndFail(kSndErrMemory);
  song->instrumentCount = instruments;
  // Samples are counted as their headers come: at most 16 per instrument.
  if (!SongAllocSamples(song, instruments * 16)) return false;
  song->sampleCount = 0;
  r.Seek(60 + static_cast<size_t>(headerSize));
  std::vector<XmSampleHeader> headers;
  // Files before version 0x104 keep the instruments and their sample headers before the
  // patterns and every sample's data after them; later ones keep the patterns first and each
  // instrument's data after its headers.
  bool oldLayout = version < 0x104;
  if (!oldLayout && !ReadXmPatterns(song, r, patterns, false)) return false;
  for (int i = 0; i < instruments; i++) {
    size_t first = headers.size();
    if (!ReadXmInstrument(song, r, song->instruments[i], headers)) return false;
    if (!oldLayout && !ReadXmSamples(song, r, song->instruments[i], headers.data() + first)) return false;
  }
  if (oldLayout) {
    if (!ReadXmPatterns(song, r, patterns, version <= 0x102)) return false;
    size_t first = 0;
    for (int i = 0; i < instruments; i++) {
      if (!ReadXmSamples(song, r, song->instruments[i], headers.data() + first)) return false;
      first += song->instruments[i].samples;
    }
  }
  song->update = SndXmUpdate;
  return true;
}

// --- Player ---

// FastTracker 2 steps an arpeggio by the ticks left in the row, not by the tick: at speed 6 it
// plays the note, y, x, the note, y, x. Beyond 16 ticks left its table gives y, at 16 the note.
static int XmArpeggioStep(const SndSong* song, int param) {
  if (!song->ft2) return SongArpeggioStep(song, param);
  int left = song->speed - (song->speed > 0 ? song->tick % song->speed : 0);
  int phase = left > 16 ? 2 : left == 16 ? 0 : left % 3;
  return phase == 1 ? param >> 4 : phase == 2 ? param & 15 : 0;
}

static ItInstrument gEmptyInstrument;

static const ItInstrument* Instrument(SndSong* song, SndSongChannel* c) {
  return c->instrument >= 0 && c->instrument < song->instrumentCount ? &song->instruments[c->instrument] : nullptr;
}

static SndSample* SampleFor(SndSong* song, const ItInstrument* ins, int note) {
  if (!ins || note < 0 || note >= 96) return nullptr;
  int local = ins->noteMap[note][1];
  if (local >= 16 || local >= ins->samples) return nullptr;
  return song->samples[ins->sampleBase + local];
}

static int XmNotePeriod(int n, int f) {
  n = SongClamp(n, 0, 130);
  int a = static_cast<int>(kSndPeriodTable[n + 1]);
  if (f >= 0 || n == 0) return a + (static_cast<int>(kSndPeriodTable[n + 2]) - a) * f / 128;
  return a - (a - static_cast<int>(kSndPeriodTable[n])) * -f / 128;
}

static int NotePeriod(SndSong* song, int realNote, int finetune) {
  if (song->flags & 1) return 7680 - realNote * 64 - finetune / 2;
  return XmNotePeriod(realNote, finetune);
}

static void EnvelopeStep(const SongEnvelope& e, SongEnvelopeState& s, bool keyOff) {
  for (int guard = 0; guard < 3 && s.index < e.points && !s.done; guard++) {
    if (s.tick != e.x[s.index]) {
      s.value += s.slope;
      break;
    }
    if ((e.flags & 4) && s.index == e.loopEnd && e.loopBegin != e.loopEnd) {
      s.index = e.loopBegin;
      s.tick = e.x[s.index];
      continue;
    }
    if (s.index == e.points - 1) {
      s.value = e.y[s.index] << 16;
      s.done = true;
      break;
    }
    if ((e.flags & 2) && s.index == e.sustainBegin && !keyOff) {
      s.value = e.y[s.index] << 16;
      s.current = s.value >> 16;
      return;  // held: the tick does not advance
    }
    SongEnvelopeSegment(e, s);
    break;
  }
  s.current = s.value >> 16;
  s.tick++;
}

static void ResetEnvelopes(SndSongVoice* v) {
  for (SongEnvelopeState& s : v->env) s = SongEnvelopeState{};
  v->env[0].current = 64;
  v->env[0].value = 64 << 16;
  v->env[1].current = 32;
  v->env[1].value = 32 << 16;
  v->fadeVolume = 65536;
  v->keyOff = false;
  v->autoVibPos = v->autoVibSweep = 0;
}

static void Envelopes(SndSongVoice* v, const ItInstrument* ins) {
  // Without a volume envelope the key-off itself silenced the note, or left it to fade.
  if ((ins->env[0].flags & 1) && !v->env[0].done) EnvelopeStep(ins->env[0], v->env[0], v->keyOff);
  if ((ins->env[1].flags & 1) && !v->env[1].done) EnvelopeStep(ins->env[1], v->env[1], v->keyOff);
  if (v->keyOff) {
    v->fadeVolume = v->fadeVolume - ins->fadeOut < 0 ? 0 : v->fadeVolume - ins->fadeOut;
  }
  v->pending |= kVoiceVolume | kVoicePan;
}

// Key-off: the envelope leaves its sustain and the fade-out starts, both from the next tick on;
// a note without a volume envelope falls silent at once when `cut`.
static void KeyOff(SndSongVoice* v, const ItInstrument* ins, bool cut = true) {
  v->keyOff = true;
  if (cut && !(ins->env[0].flags & 1)) {
    v->env[0].current = 0;
    v->pending |= kVoiceVolume;
  }
}

static void AutoVibrato(SndSongVoice* v, const ItInstrument* ins) {
  if (!ins->vibDepth) return;
  int p = v->autoVibPos & 255, value;
  switch (ins->vibType & 3) {
    case 0: value = kSndXmVibratoSine[p]; break;
    case 1: value = p < 128 ? 64 : -64; break;
    case 2: value = (128 - ((p + 128) % 256)) >> 1; break;
    default: value = (128 - ((384 - p) % 256)) >> 1; break;
  }
  value *= ins->vibDepth;
  if (ins->vibSweep) value = value * v->autoVibSweep / ins->vibSweep;
  v->periodDelta += value >> 6;
  if (v->autoVibSweep < ins->vibSweep) v->autoVibSweep++;
  v->autoVibPos = (v->autoVibPos + ins->vibRate) & 255;
  v->pending |= kVoiceFrequency;
}

static void VolumeColumn(SndSongChannel* c, SndSongVoice* v, int byte, bool rowTick) {
  int x = byte & 15;
  switch (byte >> 4) {
    case 1: case 2: case 3: case 4: case 5:
      if (rowTick && byte <= 0x50) v->volume = byte - 16;
      break;
    case 6: v->volume = v->volume - x < 0 ? 0 : v->volume - x; break;
    case 7: v->volume = v->volume + x > 64 ? 64 : v->volume + x; break;
    case 8: if (rowTick) v->volume = v->volume - x < 0 ? 0 : v->volume - x; break;
    case 9: if (rowTick) v->volume = v->volume + x > 64 ? 64 : v->volume + x; break;
    case 0xA: if (rowTick) c->vibratoSpeed = x; break;
    case 0xB:
      if (!rowTick) {
        c->vibratoDepth = x;
        SndVibrato(c, v, 2, true);
      }
      break;
    case 0xC: if (rowTick) v->pan = x * 16; break;
    case 0xD: v->pan = v->pan - x < 0 ? 0 : v->pan - x; break;
    case 0xE: v->pan = v->pan + x > 255 ? 255 : v->pan + x; break;
    case 0xF:
      if (rowTick) {
        if (x) c->portaSpeed = x * 16;
        c->targetPeriod = c->notePeriod;
      } else {
        SndTonePortamento(c, v);
      }
      break;
    default: break;
  }
  v->pending |= kVoiceVolume | kVoicePan;
}

static void InstrumentReset(SndSongChannel* c, SndSongVoice* v) {
  v->volume = SongSampleVolume(v->sample);
  v->pan = SongSamplePan(v->sample);
  ResetEnvelopes(v);
  SongRestartWaves(c);
  SongTremorRestart(c);
  v->pending |= kVoiceVolume | kVoicePan;
}

void SndXmRow(SndSong* song) {
  bool jumped = false;
  int pattern = song->orders[song->order];
  for (int ci = 0; ci < song->channelCount; ci++) {
    SndSongChannel* c = &song->channels[ci];
    SongCell cell = *SongCellAt(song, pattern, song->row, ci);
    // FastTracker 2 takes K00 as a key-off alone: the row's note and instrument are not played.
    // Without a volume envelope, an instrument number or a volume column beside it leaves the
    // note to fade out rather than cutting it.
    bool fadeOnly = false;
    if (song->ft2 && cell.effect == 20 && cell.param == 0) {
      fadeOnly = cell.instrument || cell.volume;
      cell.note = cell.instrument = 0;
    }
    bool porta = cell.effect == 3 || cell.effect == 5 || (cell.volume >> 4) == 0xF;
    bool hasNote = cell.note != 0 && cell.note != 255;
    if (cell.instrument > 0) {
      if (!porta) c->instrument = cell.instrument - 1;
      SongWatchInstrument(song, cell.instrument);
    }
    if (hasNote && !porta) c->note = cell.note - 1;
    const ItInstrument* ins = Instrument(song, c);
    SndSongVoice* v = FirstVoice(c);
    if (ins) {
      if (hasNote || cell.instrument) v = SongVoiceForNote(song, c, v);
      if (!porta && (hasNote || cell.instrument)) v->sample = SampleFor(song, ins, c->note);
    } else {
      ins = &gEmptyInstrument;
      if (hasNote && !porta) v->sample = nullptr;
    }
    SongBeginRow(c, v, cell, 7);
    if (hasNote) {
      SndSample* s = porta ? SampleFor(song, ins, cell.note - 1) : v->sample;
      if (!s) s = v->sample;
      c->realNote = cell.note - 1 + SongSampleRelNote(s);
      c->notePeriod = NotePeriod(song, c->realNote, SongSampleFinetune(s));
      if (!porta) {
        v->period = c->notePeriod;
        v->pending = kVoiceStart;
      }
    }
    v->periodDelta = 0;
    v->pending |= kVoiceFrequency | kVoiceVolume;
    if (cell.instrument > 0) InstrumentReset(c, v);
    if (cell.volume) VolumeColumn(c, v, cell.volume, true);
    Envelopes(v, ins);
    if (cell.note == 255 || (cell.effect == 20 && cell.param == 0)) KeyOff(v, ins, !fadeOnly);
    int x = cell.param >> 4, y = cell.param & 15;
    switch (cell.effect) {
      case 1: if (cell.param) c->slideUpMem = cell.param; break;
      case 2: if (cell.param) c->slideDownMem = cell.param; break;
      case 3:
      case 5:
        if (cell.effect == 3 && cell.param) c->portaSpeed = cell.param;
        if (cell.effect == 5 && cell.param) c->volSlideMem = cell.param;
        c->targetPeriod = c->notePeriod;
        v->pending &= ~kVoiceStart;
        break;
      case 4:
        SongSetVibrato(c, x, y);
        SndVibrato(c, v, 2, false);
        break;
      case 6:
        if (cell.param) c->volSlideMem = cell.param;
        SndVibrato(c, v, 2, false);
        break;
      case 7:
        SongSetTremolo(c, x, y);
        SndTremolo(c, v, false, false);  // the running tremolo holds its level
        break;
      case 8: v->pan = cell.param; v->pending |= kVoicePan; break;
      case 9:
        if (cell.param) c->offsetMemory = cell.param;
        SongStartAt(v, v->sample, static_cast<uint32_t>(c->offsetMemory) * 256u);
        break;
      case 0xA: if (cell.param) c->volSlideMem = cell.param; break;
      case 0xB: SongBreakJump(song, 'B', cell.param, &jumped); break;
      case 0xC: v->volume = cell.param; break;
      case 0xD: SongBreakJump(song, 'D', cell.param, &jumped); break;
      case 0xE:
        switch (x) {
          case 1: if (y) c->fineUpMem = y; v->period -= c->fineUpMem * 4; break;
          case 2: if (y) c->fineDownMem = y; v->period += c->fineDownMem * 4; break;
          case 4: SongSetWaveform(c, false, y); break;
          case 5: if (v->sample) v->sample->trackerValues[3] = (v->sample->trackerValues[3] & 0xFF) | static_cast<uint32_t>(static_cast<uint8_t>((y - 8) * 16)) << 8; break;
          case 6: SongPatternLoop(song, c, y); break;
          case 7: SongSetWaveform(c, true, y); break;
          case 8: v->pan = y * 16; v->pending |= kVoicePan; break;
          case 0xA: if (y) c->fineVolMem = y; v->volume = SongClamp(v->volume + c->fineVolMem, 0, 64); break;
          case 0xB: if (y) c->fineVolMem = y; v->volume = SongClamp(v->volume - c->fineVolMem, 0, 64); break;
          case 0xD: SongHoldForDelay(c, v); break;
          case 0xE: song->patternDelay = y * song->speed; break;
          default: break;
        }
        break;
      case 0xF: SongSpeedOrTempo(song, cell.param); break;
      case 16: song->globalVolume = cell.param > 64 ? 64 : cell.param; break;
      case 17: if (cell.param) c->globalSlideMem = cell.param; break;
      case 21: {
        const SongEnvelope& e = ins->env[0];
        if (!(e.flags & 1)) break;
        SongEnvelopeState& s = v->env[0];
        int i = 0;
        while (i < e.points - 1 && e.x[i] < cell.param) i++;
        if (i < e.points - 1 && i > 0) {
          int dx = e.x[i] - e.x[i - 1];
          s.slope = dx ? ((e.y[i] - e.y[i - 1]) * 65536) / dx : 0;
          s.value = (e.y[i - 1] << 16) + s.slope * (cell.param - e.x[i - 1]);
          s.index = i;
          s.tick = cell.param;
          s.done = false;
        } else {
          s.value = e.y[e.points - 1] << 16;
          s.index = e.points;
          s.done = true;
        }
        s.current = s.value >> 16;
        break;
      }
      case 25: if (cell.param) c->panSlideMem = cell.param; break;
      case 27:
        if (cell.param) {
          c->retrigKind = x;
          c->retrigInterval = y;
        }
        break;
      case 29:
        // The cycle runs on the ticks after the row's; the row's own tick keeps the silence
        // the last tick left.
        if (cell.param) {
          c->tremorOn = x + 1;
          c->tremorOff = y + 1;
        }
        break;
      case 33:
        if (x == 1) { if (y) c->xfineUpMem = y; v->period -= c->xfineUpMem; }
        if (x == 2) { if (y) c->xfineDownMem = y; v->period += c->xfineDownMem; }
        break;
      case 35: SndQueueSongCallback(song, kQueueSync, cell.param); break;
      default: break;
    }
    // A tremor's silence outlasts it until the volume is set again.
    bool setsVolume = cell.instrument || (cell.volume >= 0x10 && cell.volume < 0xA0) || cell.effect == 0xA ||
                      cell.effect == 0xC || (cell.effect == 0xE && (x == 0xA || x == 0xB));
    if (setsVolume && cell.effect != 29) c->tremorMuted = false;
    if (c->tremorMuted) v->volumeDelta = -v->volume;
    AutoVibrato(v, ins);
    SongApplyPending(song, c);
  }
}

void SndXmTick(SndSong* song) {
  for (int ci = 0; ci < song->channelCount; ci++) {
    SongChannelTick t = SongStartChannelTick(song, ci);
    auto [c, cell, v, x, y] = t;
    const ItInstrument* ins = Instrument(song, c);
    if (!ins) ins = &gEmptyInstrument;
    bool delayed = cell.effect == 0xE && x == 0xD && y > 0;
    if (delayed && song->tick < y) continue;  // the delayed note keeps every change back
    Envelopes(v, ins);
    if (cell.effect == 20 && song->tick == cell.param) KeyOff(v, ins);  // Kxx: at tick xx
    if (delayed && song->tick == y) {
      if (cell.note && cell.note != 255) {
        v->period = c->notePeriod;
        v->pending |= kVoiceStart;
      }
      if (cell.instrument) InstrumentReset(c, v);
      if (cell.volume) VolumeColumn(c, v, cell.volume, true);
      v->pending |= kVoiceFrequency | kVoiceVolume | kVoicePan;
    } else if (cell.volume) {
      VolumeColumn(c, v, cell.volume, false);
    }
    bool shared = SongProTrackerTick(t, c->slideUpMem, c->slideDownMem, c->volSlideMem);
    switch (shared ? -1 : cell.effect) {
      case 0:
        if (cell.param) {
          int add = XmArpeggioStep(song, cell.param), ft = SongSampleFinetune(v->sample);
          SongArpeggio(v, add, song->flags & 1, XmNotePeriod(c->realNote, ft), XmNotePeriod(c->realNote + add, ft));
        }
        break;
      case 0xE:
        if (x == 9 && y && song->tick % y == 0) v->pending |= kVoiceStart | kVoiceVolume | kVoiceFrequency;
        if (x == 0xC) SongNoteCut(song, v, y);
        break;
      case 17: {
        int m = c->globalSlideMem;
        song->globalVolume = (m >> 4) ? SongClamp(song->globalVolume + (m >> 4), 0, 64) : SongClamp(song->globalVolume - (m & 15), 0, 64);
        v->pending |= kVoiceVolume;
        break;
      }
      case 25: {
        int m = c->panSlideMem;
        v->pan = (m >> 4) ? SongClamp(v->pan + (m >> 4), 0, 255) : SongClamp(v->pan - (m & 15), 0, 255);
        v->pending |= kVoicePan;
        break;
      }
      case 27:
        if (c->retrigInterval && song->tick % c->retrigInterval == 0) {
          v->volume = SongRetrigVolume(c->retrigKind, v->volume);
          v->pending |= kVoiceStart | kVoiceVolume | kVoiceFrequency;
        }
        break;
      case 29:
        SongTremorStep(c, v);
        break;
      default:
        break;
    }
    if (cell.effect != 29 && c->tremorMuted) {
      v->volumeDelta = -v->volume;
      v->pending |= kVoiceVolume;
    }
    AutoVibrato(v, ins);
    SongApplyPending(song, c);
  }
}
