// The tick engine MOD, S3M and XM share, the Amiga period and waveform tables, applying a
// voice's pending changes to its library channel, and the effect routines the players reuse.
#include <cmath>

#include "sound/songs/songs_local.h"

// Four times the Amiga period of each note 1..132 (frequency = 14317056 / entry: four times the
// NTSC Amiga's clock; trackers differ here, some players use the PAL clock, 0.9% lower).
const uint32_t kSndPeriodTable[133] = {
    0,
    27392, 25856, 24384, 23040, 21696, 20480, 19328, 18240, 17216, 16256, 15360, 14496,
    13696, 12928, 12192, 11520, 10848, 10240, 9664, 9120, 8608, 8128, 7680, 7248,
    6848, 6464, 6096, 5760, 5424, 5120, 4832, 4560, 4304, 4064, 3840, 3624,
    3424, 3232, 3048, 2880, 2712, 2560, 2416, 2280, 2152, 2032, 1920, 1812,
    1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 906,
    856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113,
    107, 101, 95, 90, 85, 80, 75, 71, 67, 63, 60, 56,
    53, 50, 47, 45, 42, 40, 37, 35, 33, 31, 30, 28,
    26, 25, 23, 22, 21, 20, 18, 17, 16, 15, 15, 14,
};

const uint8_t kSndSineTable[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212, 224, 235, 244, 250, 253,
                                   255, 253, 250, 244, 235, 224, 212, 197, 180, 161, 141, 120, 97,  74,  49,  24};

// round(64 sin(2 pi i / 256))
const int8_t kSndXmVibratoSine[256] = {
    0,   2,   3,   5,   6,   8,   9,   11,  12,  14,  16,  17,  19,  20,  22,  23,  24,  26,  27,  29,  30,  32,
    33,  34,  36,  37,  38,  39,  41,  42,  43,  44,  45,  46,  47,  48,  49,  50,  51,  52,  53,  54,  55,  56,
    56,  57,  58,  59,  59,  60,  60,  61,  61,  62,  62,  62,  63,  63,  63,  64,  64,  64,  64,  64,  64,  64,
    64,  64,  64,  64,  63,  63,  63,  62,  62,  62,  61,  61,  60,  60,  59,  59,  58,  57,  56,  56,  55,  54,
    53,  52,  51,  50,  49,  48,  47,  46,  45,  44,  43,  42,  41,  39,  38,  37,  36,  34,  33,  32,  30,  29,
    27,  26,  24,  23,  22,  20,  19,  17,  16,  14,  12,  11,  9,   8,   6,   5,   3,   2,   0,   -2,  -3,  -5,
    -6,  -8,  -9,  -11, -12, -14, -16, -17, -19, -20, -22, -23, -24, -26, -27, -29, -30, -32, -33, -34, -36, -37,
    -38, -39, -41, -42, -43, -44, -45, -46, -47, -48, -49, -50, -51, -52, -53, -54, -55, -56, -56, -57, -58, -59,
    -59, -60, -60, -61, -61, -62, -62, -62, -63, -63, -63, -64, -64, -64, -64, -64, -64, -64, -64, -64, -64, -64,
    -63, -63, -63, -62, -62, -62, -61, -61, -60, -60, -59, -59, -58, -57, -56, -56, -55, -54, -53, -52, -51, -50,
    -49, -48, -47, -46, -45, -44, -43, -42, -41, -39, -38, -37, -36, -34, -33, -32, -30, -29, -27, -26, -24, -23,
    -22, -20, -19, -17, -16, -14, -12, -11, -9,  -8,  -6,  -5,  -3,  -2,
};

int SndNotePeriod(int note, uint32_t finetuneFrequency) {
  note = SongClamp(note, 1, 132);
  if (finetuneFrequency == 0) return static_cast<int>(kSndPeriodTable[note]);
  return static_cast<int>(kSndPeriodTable[note] * 8363u / finetuneFrequency);
}

SongCell* SongCellAt(SndSong* song, int pattern, int row, int channel) {
  static SongCell empty;
  empty = SongCell{};
  if (pattern < 0 || pattern >= song->patternSlots) return &empty;
  SongPattern& p = song->patterns[pattern];
  if (!p.data || row < 0 || row >= p.rows || channel < 0 || channel >= song->channelCount) return &empty;
  return reinterpret_cast<SongCell*>(p.data + (static_cast<size_t>(row) * song->channelCount + channel) * 5);
}

SongChannelTick SongStartChannelTick(SndSong* song, int channel) {
  SndSongChannel* c = &song->channels[channel];
  const SongCell cell = *SongCellAt(song, song->orders[song->order], song->row, channel);
  SndSongVoice* v = FirstVoice(c);
  v->volumeDelta = 0;
  v->periodDelta = 0;
  v->pending = 0;
  return {c, cell, v, cell.param >> 4, cell.param & 15};
}

static int PatternRows(SndSong* song, int order) {
  int p = song->orders[order & 255];
  return p < song->patternSlots ? song->patterns[p].rows : 64;
}

void SongTrackerTick(SndSong* song, void (*row)(SndSong*), void (*tick)(SndSong*)) {
  song->tickCount++;
  if (song->tick == 0) {
    bool newOrder = song->nextOrder >= 0, newRow = song->nextRow >= 0;
    if (newOrder) song->order = song->nextOrder;
    if (newRow) song->row = song->nextRow;
    if (song->order >= song->length) song->order = 0;
    int rows = PatternRows(song, song->order);
    // A break into a pattern shorter than its target row starts that pattern at row 0.
    if (song->row >= rows) song->row = 0;
    if (newOrder) SndQueueSongCallback(song, kQueueOrder, song->order);
    if (newRow) SndQueueSongCallback(song, kQueueRow, song->row);
    song->nextOrder = song->nextRow = -1;
    row(song);
    if (song->nextRow == -1) {
      song->nextRow = song->row + 1;
      if (song->nextRow >= rows) {
        song->nextOrder = song->order + 1;
        song->nextRow = 0;
      }
    }
    if (song->nextOrder >= song->length) {
      song->nextOrder = song->restart < song->length ? song->restart : 0;
      song->finished = true;
    }
  } else {
    tick(song);
  }
  song->tick++;
  if (song->tick >= song->speed + song->patternDelay + song->finePatternDelay) {
    song->tick = 0;
    song->patternDelay = song->finePatternDelay = 0;
  }
}

// --- Pending changes ---

int SongItVoiceVolume(SndSong* song, SndSongVoice* v);  // it_play.cpp
int SongItVoicePan(SndSong* song, SndSongVoice* v);
int SongItVoiceFrequency(SndSong* song, SndSongVoice* v);

static int VoiceVolume(SndSong* s, SndSongVoice* v) {
  int volume = v->volume + v->volumeDelta;
  switch (s->type) {
    case kSndSongMod:
      return (volume * s->masterVolume) >> 7;
    case kSndSongS3m:
      return (volume * s->globalVolume * s->masterVolume) >> 13;
    case kSndSongXm: {
      double scale = static_cast<double>(127.5f / 4398046511104.0f);  // 127.5 / 2^42
      double product = static_cast<double>(v->env[0].current) * volume * v->fadeVolume * s->globalVolume * s->masterVolume;
      return static_cast<int>(product * scale);
    }
    default:
      return SongItVoiceVolume(s, v);
  }
}

static int VoicePan(SndSong* s, SndSongVoice* v) {
  int pan = v->pan;
  if (s->type == kSndSongXm) {
    int spread = 128 - std::abs(pan - 128);
    pan = pan + (v->env[1].current - 32) * spread / 32;
  } else if (s->type == kSndSongIt) {
    return SongItVoicePan(s, v);
  }
  pan = SongClamp(pan, 0, 255);
  return static_cast<int>(std::trunc((pan - 128) * s->panSeparation)) + 128;
}

static int VoiceFrequency(SndSong* s, SndSongVoice* v) {
  int period = v->period + v->periodDelta;
  if (s->type == kSndSongIt) return SongItVoiceFrequency(s, v);
  if (s->type == kSndSongXm && (s->flags & 1)) {
    return static_cast<int>(8363.0 * std::exp2((4608.0 - period) / 768.0));
  }
  // S3M plays no period below 64, however fast the sample or high the note or slide.
  if (s->type == kSndSongS3m && period > 0 && period < 64) period = 64;
  return period > 0 ? 14317056 / period : 0;
}

static void StartVoice(SndSong* song, SndSongVoice* v) {
  SndChannel* c = v->channel;
  if (!c) return;
  if (!SongSamplePlayable(v->sample) || !song->unit) {
    SongStopVoiceNow(v);
    return;
  }
  c->startOffset = static_cast<int>(v->sampleOffset);
  v->sampleOffset = 0;
  if (SndPlaySoundOnUnit(song->unit, c->index, v->sample, false) == -1) return;
  SndListAppend(&song->unit->channels, &c->link);
}

static void ApplyVoice(SndSong* song, SndSongVoice* v) {
  SndChannel* c = v->channel;
  uint8_t pending = v->pending;
  if (!c) return;
  if (v->volume + v->volumeDelta < song->cullVolume && SongPlayingChannels() > song->cullChannels) pending |= kVoiceStop;
  if (pending & kVoiceStart) {
    // A start gives the library channel the sample's own rate, volume and pan: a retriggered
    // note would otherwise restart at the sample's default pitch and loudness.
    StartVoice(song, v);
    pending |= kVoiceFrequency | kVoiceVolume | kVoicePan;
  }
  if (v->period + v->periodDelta == 0 && song->type != kSndSongIt) pending &= ~kVoiceFrequency;
  if (!c->sample) return;
  if (pending & kVoiceVolume) {
    int volume = SongClamp(VoiceVolume(song, v), 0, 255);
    c->volume = volume;
    c->absoluteVolume = 1;
    if (!c->mute) c->ops.SetVolume(c, volume);
  }
  if (pending & kVoicePan) {
    int pan = SongClamp(VoicePan(song, v), 0, 255);
    c->pan = pan;
    c->ops.SetPan(c, pan);
  }
  if (pending & kVoiceFrequency) {
    int hz = VoiceFrequency(song, v);
    if (hz > 0) {
      c->frequency = hz;
      c->ops.SetFrequency(c, hz);
    }
  }
  if (pending & kVoiceStop) {
    SongStopVoiceNow(v);
    v->sampleOffset = 0;
  }
}

void SongApplyPending(SndSong* song, SndSongChannel* channel) {
  if (channel->voices.next == &channel->voices) {
    ApplyVoice(song, &channel->dummy);
    return;
  }
  for (SndLink* l = channel->voices.next; l != &channel->voices; l = l->next) ApplyVoice(song, VoiceOf(l));
}

// --- Shared effects ---

static uint32_t gRandom = 0x1234567u;
static int RandomByte() {
  gRandom = gRandom * 1103515245u + 12345u;
  return static_cast<int>((gRandom >> 16) & 0xFF);
}

int SongWaveValue(int waveform, int position) {
  int index = position & 31;
  switch (waveform & 3) {
    case 0:
      return kSndSineTable[index];
    case 1:
      return position < 0 ? 255 - ((index * 8) & 0xFF) : (index * 8) & 0xFF;
    case 2:
      return 255;
    default:
      return RandomByte();
  }
}

// Arpeggio (MOD 0, S3M and IT J, XM 0): the note, then x, then y semitones up, one a tick. Linear
// periods step by 64 a semitone. Amiga periods step by the ratio of the two notes' periods,
// applied to the period played: the step then holds at any sample rate and after a slide.
int SongArpeggioStep(const SndSong* song, int param) {
  int phase = song->tick % 3;
  return phase == 1 ? param >> 4 : phase == 2 ? param & 15 : 0;
}

void SongArpeggio(SndSongVoice* v, int add, bool linear, int notePeriod, int upPeriod) {
  if (add && linear) {
    v->periodDelta += -64 * add;
  } else if (add && notePeriod > 0) {
    int64_t period = v->period;
    v->periodDelta += static_cast<int>(period * upPeriod / notePeriod - period);
  }
  v->pending |= kVoiceFrequency;
}

void SndTonePortamento(SndSongChannel* c, SndSongVoice* v) {
  int step = c->portaSpeed * 4;
  if (v->period < c->targetPeriod) {
    v->period = v->period + step > c->targetPeriod ? c->targetPeriod : v->period + step;
  } else if (v->period > c->targetPeriod) {
    v->period = v->period - step < c->targetPeriod ? c->targetPeriod : v->period - step;
  }
  v->pending |= kVoiceFrequency;
}

static void AdvancePosition(int* position, int speed) {
  *position += speed;
  while (*position > 31) *position -= 64;
}

// shift 2: the period offset is four times the delta (MOD, S3M H, XM); 0 for S3M's fine
// vibrato. On a row's own tick the wave is read where it stands and does not move on.
void SndVibrato(SndSongChannel* c, SndSongVoice* v, int shift, bool advance) {
  int value = SongWaveValue(c->waveControl & 3, c->vibratoPos);
  int delta = ((value * c->vibratoDepth) >> 7) << shift;
  v->periodDelta = c->vibratoPos < 0 ? -delta : delta;
  if (advance) AdvancePosition(&c->vibratoPos, c->vibratoSpeed);
  v->pending |= kVoiceFrequency;
}

void SndTremolo(SndSongChannel* c, SndSongVoice* v, bool randomWave3, bool advance) {
  int waveform = (c->waveControl >> 4) & 3;
  if (waveform == 3 && !randomWave3) waveform = 0;
  int value = SongWaveValue(waveform, c->tremoloPos);
  int delta = (value * c->tremoloDepth) >> 6;
  if (c->tremoloPos >= 0) {
    v->volumeDelta = v->volume + delta > 64 ? 64 - v->volume : delta;
  } else {
    v->volumeDelta = v->volume - delta < 0 ? -v->volume : -delta;
  }
  if (advance) AdvancePosition(&c->tremoloPos, c->tremoloSpeed);
  v->pending |= kVoiceVolume;
}

void SongPatternLoop(SndSong* song, SndSongChannel* c, int y) {
  if (y == 0) {
    c->loopRow = song->row;
    return;
  }
  c->loopCount = c->loopCount == 0 ? y : c->loopCount - 1;
  if (c->loopCount != 0) song->nextRow = c->loopRow;
}

// B (jump) and D/C (break); `jumped` tells a break that a jump came earlier in the row.
void SongBreakJump(SndSong* song, int effect, int param, bool* jumped) {
  if (effect == 'B') {
    song->nextOrder = param < song->length ? param : 0;
    song->nextRow = 0;
    *jumped = true;
    return;
  }
  int row = (param >> 4) * 10 + (param & 15);
  song->nextRow = row > 63 ? 0 : row;
  // A break on the last order ends the song like running off its end does: the engine goes on
  // from the restart order and reports finished.
  if (!*jumped) song->nextOrder = song->order + 1;
}

int SongRetrigVolume(int kind, int volume) {
  switch (kind) {
    case 1: case 2: case 3: case 4: case 5: volume -= 1 << (kind - 1); break;
    case 6: volume = volume * 2 / 3; break;
    case 7: volume /= 2; break;
    case 9: case 10: case 11: case 12: case 13: volume += 1 << (kind - 9); break;
    case 14: volume = volume * 3 / 2; break;
    case 15: volume *= 2; break;
    default: break;
  }
  return SongClamp(volume, 0, 64);
}

void SongVolumeSlide(SndSongVoice* v, int param) {
  int x = param >> 4, y = param & 15;
  v->volume = x ? (v->volume + x > 64 ? 64 : v->volume + x) : (v->volume - y < 0 ? 0 : v->volume - y);
  v->pending |= kVoiceVolume;
}

void SongWatchInstrument(SndSong* song, int number) {
  if (song->instrumentWatch && number == song->watchedInstrument) SndQueueSongCallback(song, kQueueInstrument, number);
}

// Tremor (S3M and IT I, XM T): one tick of the on/off cycle; true while the note is silent. Each
// phase takes its length from the parameter when it starts, so a new parameter acts from the
// next phase on; the state outlasts the row, so a row can hold the silence its last tick left.
bool SongTremorTick(SndSongChannel* c) {
  if (c->tremorCount <= 0) {
    c->tremorMuted = c->tremorRunning && !c->tremorMuted;
    c->tremorRunning = true;
    c->tremorCount = c->tremorMuted ? c->tremorOff : c->tremorOn;
  }
  c->tremorCount--;
  return c->tremorMuted;
}

void SongTremorRestart(SndSongChannel* c) {
  c->tremorCount = 0;
  c->tremorRunning = c->tremorMuted = false;
}

void SongTremorStep(SndSongChannel* c, SndSongVoice* v) {
  if (SongTremorTick(c)) v->volumeDelta = -v->volume;
  v->pending |= kVoiceVolume;
}

// --- Row work the formats share ---

SndSongVoice* SongVoiceForNote(SndSong* song, SndSongChannel* c, SndSongVoice* v) {
  if (v->channel) return v;
  SndSongVoice* fresh = SndAllocSongVoice(song, c);
  if (!fresh) return v;  // every channel taken: the row still runs on the dummy
  fresh->volume = v->volume;
  fresh->period = v->period;
  fresh->pan = v->pan;
  return fresh;
}

void SongBeginRow(SndSongChannel* c, SndSongVoice* v, const SongCell& cell, int tremolo) {
  c->savedVolume = v->volume;
  c->savedPeriod = v->period;
  c->savedPan = v->pan;
  if (c->lastEffect == tremolo && cell.effect != tremolo) v->volume += v->volumeDelta;
  c->lastEffect = cell.effect;
  v->volumeDelta = 0;
  v->pending = 0;
}

void SongSetVibrato(SndSongChannel* c, int speed, int depth) {
  if (speed) c->vibratoSpeed = speed;
  if (depth) c->vibratoDepth = depth;
}

void SongSetTremolo(SndSongChannel* c, int speed, int depth) {
  if (speed) c->tremoloSpeed = speed;
  if (depth) c->tremoloDepth = depth;
}

void SongRestartWaves(SndSongChannel* c) {
  if ((c->waveControl & 0x0F) < 4) c->vibratoPos = 0;
  if ((c->waveControl >> 4) < 4) c->tremoloPos = 0;
}

void SongSetWaveform(SndSongChannel* c, bool tremolo, int y) {
  c->waveControl = static_cast<uint8_t>(tremolo ? (c->waveControl & 0x0F) | y << 4 : (c->waveControl & 0xF0) | y);
}

void SongHoldForDelay(SndSongChannel* c, SndSongVoice* v) {
  v->volume = c->savedVolume;
  v->period = c->savedPeriod;
  v->pan = c->savedPan;
  v->pending &= ~kVoiceStart;
}

void SongStartAt(SndSongVoice* v, const SndSample* sample, uint32_t offset) {
  if (sample && offset < sample->loopStart + sample->loopLength) {
    v->sampleOffset = offset;
  } else if (v->pending & kVoiceStart) {
    v->pending = (v->pending & ~kVoiceStart) | kVoiceStop;
  }
}

void SongSpeedOrTempo(SndSong* song, int param) {
  if (param < 32) song->speed = param;
  else SndSetSongTempo(song, param);
}

void SongNoteCut(SndSong* song, SndSongVoice* v, int tick) {
  if (song->tick != tick) return;
  v->volume = 0;
  v->pending |= kVoiceVolume;
}

int SongFineSlide(int value, int memory, int high, bool fast) {
  int x = memory >> 4, y = memory & 15;
  if (y == 15 && x) value += x;
  else if (x == 15 && y) value -= y;
  else if (fast && y == 0) value += x;
  else if (fast && x == 0) value -= y;
  return SongClamp(value, 0, high);
}

int SongSlide(int value, int memory, int high) {
  int x = memory >> 4, y = memory & 15;
  if (y == 0) value += x;
  else if (x == 0) value -= y;
  return SongClamp(value, 0, high);
}

void SongPortamentoRow(SndSongVoice* v, int memory, int sign) {
  if ((memory >> 4) == 15) v->period += sign * (memory & 15) * 4;
  else if ((memory >> 4) == 14) v->period += sign * (memory & 15);
}

void SongPortamentoTick(SndSongVoice* v, int memory, int sign) {
  if (memory >= 0xE0) return;  // fine and extra-fine slides act on the row only
  v->period += sign * memory * 4;
  if (v->period < 1) v->pending |= kVoiceStop;
  v->pending |= kVoiceFrequency;
}

bool SongProTrackerTick(const SongChannelTick& t, int up, int down, int volumeSlide) {
  SndSongChannel* c = t.c;
  SndSongVoice* v = t.v;
  switch (t.cell.effect) {
    case 1:
      v->period = v->period - up * 4 < 56 ? 56 : v->period - up * 4;
      v->pending |= kVoiceFrequency;
      return true;
    case 2:
      v->period += down * 4;
      v->pending |= kVoiceFrequency;
      return true;
    case 3:
      SndTonePortamento(c, v);
      return true;
    case 4:
      SndVibrato(c, v, 2, true);
      return true;
    case 5:
      SndTonePortamento(c, v);
      SongVolumeSlide(v, volumeSlide);
      return true;
    case 6:
      SndVibrato(c, v, 2, true);
      SongVolumeSlide(v, volumeSlide);
      return true;
    case 7:
      SndTremolo(c, v, false, true);
      return true;
    case 0xA:
      SongVolumeSlide(v, volumeSlide);
      return true;
    default:
      return false;
  }
}

void SongEnvelopeSegment(const SongEnvelope& e, SongEnvelopeState& s) {
  int dx = e.x[s.index + 1] - e.x[s.index];
  s.slope = dx ? ((e.y[s.index + 1] - e.y[s.index]) * 65536) / dx : 0;
  s.value = e.y[s.index] << 16;
  s.index++;
}
