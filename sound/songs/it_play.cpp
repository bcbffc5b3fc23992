// The IT player: notes through instruments or samples, background voices (new-note actions,
// duplicate checks, a cap per channel), three envelopes, fade-out, automatic vibrato, the IT
// effects and the volume column.
#include <cmath>

#include "sound/songs/songs_local.h"

// Background voices a tracker channel keeps at most: a looped sample with no envelope to end
// it would otherwise sound until the song stops and take every library channel on the way.
static const int kMaxBackgroundVoices = 4;

// IT period table: 0-11 twice the first octave of the Amiga table, then the Amiga table.
static int ItTableEntry(int note) {
  note = SongClamp(note, 0, 139);
  if (note < 12) return static_cast<int>(kSndPeriodTable[note + 1]) * 2;
  return static_cast<int>(kSndPeriodTable[SongClamp(note - 11, 1, 132)]);
}

static bool Linear(const SndSong* song) { return (song->flags & 8) != 0; }
static bool Instruments(const SndSong* song) { return (song->flags & 4) != 0; }
static bool OldEffects(const SndSong* song) { return (song->flags & 16) != 0; }

static int ItPeriod(const SndSong* song, int note, uint32_t c5) {
  if (c5 == 0) c5 = 8363;
  if (Linear(song)) {
    return 7680 - note * 64 - static_cast<int>(std::trunc(768.0 * std::log(c5 / 8363.0) / 0.6931470036506653));
  }
  return static_cast<int>(static_cast<int64_t>(ItTableEntry(note)) * 8363 / c5);
}

int SongItVoiceVolume(SndSong* song, SndSongVoice* v) {
  int channelVolume = v->owner ? v->owner->channelVolume : 64;
  double volume = SongClamp(v->volume + v->volumeDelta, 0, 64);
  if (Instruments(song)) {
    double product = static_cast<double>(v->env[0].current) * volume * v->fadeVolume * v->sampleVolume * channelVolume *
                     song->globalVolume * song->masterVolume;
    return static_cast<int>(product * 127.5 / 281474976710656.0);  // 2^48
  }
  double product = volume * v->sampleVolume * channelVolume * song->globalVolume * song->masterVolume;
  return static_cast<int>(product * 127.5 / 8589934592.0);  // 2^33
}

int SongItVoicePan(SndSong* song, SndSongVoice* v) {
  int pan = SongClamp(v->pan + v->panOffset + (Instruments(song) ? v->env[1].current : 0), 0, 64);
  return static_cast<int>(std::trunc((pan * 4 - 128) * song->panSeparation)) + 128;
}

int SongItVoiceFrequency(SndSong* song, SndSongVoice* v) {
  int p = v->period + v->periodDelta - (Instruments(song) ? v->pitchOffset : 0);
  if (Linear(song)) return static_cast<int>(8363.0 * std::exp2((3840.0 - p) / 768.0));
  return p > 0 ? 14317056 / p : 0;
}

// --- Envelopes ---

static void EnvelopeStep(const SongEnvelope& e, SongEnvelopeState& s, bool keyOff) {
  for (int guard = 0; guard < 4; guard++) {
    if (s.index >= e.points) {
      s.done = true;
      break;
    }
    if (s.tick != e.x[s.index]) {
      s.value += s.slope;
      break;
    }
    if ((e.flags & 2) && !keyOff && s.index >= e.sustainEnd) {
      if (e.sustainBegin == e.sustainEnd) {
        s.value = e.y[e.sustainEnd] << 16;
        s.current = e.y[e.sustainEnd];
        return;  // held
      }
      if (s.index != e.sustainBegin) {
        s.index = e.sustainBegin;
        s.tick = e.x[s.index];
        continue;
      }
    }
    if ((e.flags & 4) && s.index >= e.loopEnd) {
      if (e.loopEnd <= e.loopBegin) {
        s.value = e.y[e.loopBegin] << 16;
        s.current = e.y[e.loopBegin];
        return;
      }
      if (s.index != e.loopBegin) {
        s.index = e.loopBegin;
        s.tick = e.x[s.index];
        continue;
      }
    }
    if (s.index == e.points - 1) {
      s.value = e.y[s.index] << 16;
      s.done = true;
      break;
    }
    SongEnvelopeSegment(e, s);
    break;
  }
  s.current = s.value >> 16;
  s.tick++;
}

static void KeyOff(SndSongVoice* v) {
  v->keyOff = true;
  if (!v->instrument || !(v->envFlags[0] & 1) || (v->envFlags[0] & 4)) v->fading = true;
}

static void ResetVoiceEnvelopes(SndSongVoice* v) {
  for (int k = 0; k < 3; k++) {
    if (v->instrument && (v->instrument->env[k].flags & 8) && v->env[k].tick) continue;  // carry
    v->env[k] = SongEnvelopeState{};
  }
  v->env[0].current = 64;
  v->env[0].value = 64 << 16;
  v->keyOff = v->fading = false;
  v->fadeVolume = 1024;
  v->autoVibPos = v->autoVibSweep = 0;
}

// --- Voices ---

static SndSongVoice* Foreground(SndSongChannel* c) {
  for (SndLink* l = c->voices.next; l != &c->voices; l = l->next) {
    if (!VoiceOf(l)->background) return VoiceOf(l);
  }
  return nullptr;
}

static void CapBackground(SndSongChannel* c) {
  int count = 0;
  SndSongVoice* oldest = nullptr;
  for (SndLink* l = c->voices.next; l != &c->voices; l = l->next) {
    SndSongVoice* v = VoiceOf(l);
    if (!v->background || !v->channel || !v->channel->sample) continue;
    count++;
    oldest = v;  // the list runs newest first
  }
  if (count > kMaxBackgroundVoices && oldest) SongStopVoiceNow(oldest);
}

static SndSample* SampleAt(SndSong* song, int number) {
  return number >= 1 && number <= song->sampleCount ? song->samples[number - 1] : nullptr;
}

static void StartNote(SndSong* song, SndSongChannel* c, const SongCell& cell) {
  bool instruments = Instruments(song);
  const ItInstrument* ins = nullptr;
  if (instruments) {
    if (c->instrument < 1 || c->instrument > song->instrumentCount) return;
    ins = &song->instruments[c->instrument - 1];
  }
  int sampleNumber = instruments ? ins->noteMap[c->note][1] : c->instrument;
  int played = instruments ? ins->noteMap[c->note][0] : c->note;
  if (sampleNumber == 0) return;
  SndSample* sample = SampleAt(song, sampleNumber);
  bool porta = cell.effect == 7 || cell.effect == 12 || (cell.volume >= 194 && cell.volume <= 203);
  SndSongVoice* v = Foreground(c);
  if (instruments && ins->dct) {
    for (SndLink* l = c->voices.next; l != &c->voices; l = l->next) {
      SndSongVoice* d = VoiceOf(l);
      if (d == v && porta) continue;
      bool same = (ins->dct == 1 && d->note == played) || (ins->dct == 2 && d->sampleIndex == sampleNumber) ||
                  (ins->dct == 3 && d->instrument == ins);
      if (!same || d->instrument != ins) continue;
      if (ins->dca == 0) SongStopVoiceNow(d);
      else if (ins->dca == 1) KeyOff(d);
      else d->fading = true;
    }
  }
  if (!porta || !v) {
    if (v && instruments && v->nna != 0 && v->channel && v->channel->sample) {
      v->background = true;
      if (v->nna == 2) KeyOff(v);
      if (v->nna == 3) v->fading = true;
      if (c->noteVolume == 0) SongStopVoiceNow(v);
      CapBackground(c);
      v = nullptr;
    }
    if (!v) {
      v = SndAllocSongVoice(song, c);
      if (!v) v = &c->dummy;
      v->instrument = nullptr;
      ResetVoiceEnvelopes(v);
    }
    v->background = false;
    v->instrument = ins;
    v->nna = ins ? ins->nna : 0;
    for (int k = 0; k < 3; k++) v->envFlags[k] = ins ? ins->env[k].flags : 0;
    v->note = played;
    v->sampleIndex = sampleNumber;
    v->sample = sample;
  }
  c->notePeriod = ItPeriod(song, played, SongSampleFrequency(sample));
  if (!porta) {
    c->vibratoPos = c->tremoloPos = c->panbrelloPos = 0;
    // The tremor and retrigger counters run on across notes.
    v->period = c->notePeriod;
    v->pan = c->pan == 100 ? 32 : c->pan;
    v->surround = c->pan == 100;
    if (ins && !(ins->defaultPan & 128)) v->pan = SongClamp(ins->defaultPan, 0, 64);
    if (SongSampleHasPan(sample)) v->pan = SongSamplePan(sample);
    if (ins) v->pan = SongClamp(v->pan + ((played - ins->pitchPanCentre) * ins->pitchPanSeparation) / 8, 0, 64);
    v->sampleVolume = ins ? SongSampleGlobal(sample) * ins->globalVolume >> 7 : SongSampleGlobal(sample);
    v->pending = kVoiceStart | kVoicePan;
  } else {
    c->targetPeriod = c->notePeriod;
    c->reached = false;
  }
  if (ins && (!porta || !(song->flags & 32))) ResetVoiceEnvelopes(v);
  if (cell.instrument && sample) c->noteVolume = SongSampleVolume(sample);
}

// --- Per-voice routines ---

static void VolumeSlide(SndSongChannel* c, int param) { c->noteVolume = SongSlide(c->noteVolume, param, 64); }

static void TonePortamento(SndSong* song, SndSongChannel* c, SndSongVoice* v) {
  if (c->reached) return;
  int step = ((song->flags & 32) ? c->itGMem : c->portaMem) * 4;
  if (v->period < c->targetPeriod) {
    v->period += step;
    if (v->period >= c->targetPeriod) c->reached = true;
  } else {
    v->period -= step;
    if (v->period <= c->targetPeriod) c->reached = true;
  }
  if (c->reached) v->period = c->targetPeriod;
  v->pending |= kVoiceFrequency;
}

static int Wave(int waveform, int position) {
  position &= 255;
  switch (waveform & 3) {
    case 1: return (128 - position) >> 1;
    case 2: return position < 128 ? 64 : 0;  // the square is one-sided: on, then off
    default: return kSndXmVibratoSine[position];
  }
}

static void Vibrato(SndSong* song, SndSongChannel* c, SndSongVoice* v) {
  c->vibratoPos = (c->vibratoPos + c->vibratoSpeed * 4) & 255;
  int value = Wave(c->waveControl & 3, c->vibratoPos);
  int delta = (value * c->vibratoDepth) >> (c->itFineVibrato ? 6 : 4);
  if (OldEffects(song)) delta *= 2;
  v->periodDelta -= delta;
  v->pending |= kVoiceFrequency;
}

static void Tremolo(SndSongChannel* c, SndSongVoice*) {
  c->tremoloPos = (c->tremoloPos + c->tremoloSpeed * 4) & 255;
  int delta = (Wave((c->waveControl >> 4) & 3, c->tremoloPos) * c->tremoloDepth) >> 5;
  c->volumeOffset = SongClamp(delta, -c->noteVolume, 64 - c->noteVolume);
}

static void Panbrello(SndSongChannel* c, SndSongVoice* v) {
  int value = Wave(0, c->panbrelloPos);
  int offset = (value * c->panbrelloDepth) >> 5;
  v->panOffset = v->pan + offset > 64 ? 64 - v->pan : offset;
  c->panbrelloPos = (c->panbrelloPos + c->panbrelloSpeed) & 255;
  v->pending |= kVoicePan;
}

static void AutoVibrato(SndSongVoice* v) {
  SndSample* s = v->sample;
  if (!s) return;
  uint32_t vib = s->trackerValues[2];
  int speed = vib & 0xFF, depth = (vib >> 8) & 0xFF, rate = (vib >> 16) & 0xFF, type = (vib >> 24) & 3;
  if (!depth) return;
  int p = v->autoVibPos & 255, value;
  switch (type) {
    case 1: value = (128 - ((p + 128) % 256)) >> 1; break;
    case 2: value = p < 128 ? 64 : -64; break;
    default: value = kSndXmVibratoSine[p]; break;
  }
  v->periodDelta -= static_cast<int>((static_cast<int64_t>(value) * depth * v->autoVibSweep) >> 23);
  v->autoVibSweep = v->autoVibSweep + rate * 2 > 65536 ? 65536 : v->autoVibSweep + rate * 2;
  v->autoVibPos = (v->autoVibPos + speed) & 255;
  v->pending |= kVoiceFrequency;
}

// Q: the count of ticks to the next retrigger goes down by one a tick.
static void Retrigger(SndSongChannel* c, SndSongVoice* v) {
  if (c->retrigInterval == 0) return;
  if (c->retrigCounter > 0 && --c->retrigCounter > 0) return;
  c->retrigCounter = c->retrigInterval;
  c->noteVolume = SongRetrigVolume(c->retrigKind, c->noteVolume);
  v->pending |= kVoiceStart | kVoiceVolume;
}

// --- Volume column ---

static void VolumeColumn(SndSong* song, SndSongChannel* c, SndSongVoice* v, int stored, bool rowTick) {
  int value = stored - 1;
  if (value <= 64) {
    if (rowTick) c->noteVolume = value;
  } else if (value <= 84) {
    int base = value <= 74 ? 65 : 75;
    if (rowTick) {
      if (value - base) c->itVolColMem = value - base;
      c->noteVolume = SongClamp(c->noteVolume + (base == 65 ? c->itVolColMem : -c->itVolColMem), 0, 64);
    }
  } else if (value <= 104) {
    int base = value <= 94 ? 85 : 95;
    if (rowTick) {
      if (value - base) c->itVolColMem = value - base;
    } else {
      c->noteVolume = SongClamp(c->noteVolume + (base == 85 ? c->itVolColMem : -c->itVolColMem), 0, 64);
    }
  } else if (value <= 124) {
    int base = value <= 114 ? 105 : 115;
    if (rowTick && value - base) c->portaMem = value - base;
    v->period += (base == 105 ? -1 : 1) * c->portaMem * 16;
    if (v->period < 1) v->pending |= kVoiceStop;
    v->pending |= kVoiceFrequency;
  } else if (value >= 128 && value <= 192) {
    if (rowTick) {
      c->pan = value - 128;
      v->pan = c->pan;
      v->pending |= kVoicePan;
    }
  } else if (value >= 193 && value <= 202) {
    if (rowTick) {
      static const int kSpeeds[10] = {0, 1, 4, 8, 16, 32, 64, 96, 128, 255};
      if (value - 193) {
        c->itGMem = kSpeeds[value - 193];
        if (!(song->flags & 32)) c->portaMem = c->itGMem;
      }
      c->targetPeriod = c->notePeriod;
    } else {
      TonePortamento(song, c, v);
    }
  } else if (value >= 203 && value <= 212) {
    if (rowTick && value - 203) {
      c->vibratoDepth = (value - 203) * 4;
      c->itFineVibrato = 0;
    }
    if (!rowTick || !OldEffects(song)) Vibrato(song, c, v);
  }
}

// --- Row and effects ---

static void RowWork(SndSong* song, SndSongChannel* c, int ci, const SongCell& cell, bool& jumped) {
  if (c->lastEffect == 18 && cell.effect != 18) c->noteVolume = SongClamp(c->noteVolume + c->volumeOffset, 0, 64);
  c->lastEffect = cell.effect;
  c->volumeOffset = 0;
  bool newNote = cell.note >= 1 && cell.note <= 120;
  if (newNote) c->note = cell.note - 1;
  if (cell.instrument) {
    c->instrument = cell.instrument;
    SongWatchInstrument(song, cell.instrument);
    if (c->voices.next == &c->voices && cell.note == 0) newNote = true;
  }
  if (Instruments(song) && cell.instrument > song->instrumentCount) newNote = false;
  if (song->defaultPan[ci] & 128) newNote = false;
  if (newNote) StartNote(song, c, cell);
  SndSongVoice* v = FirstVoice(c);
  v->periodDelta = 0;
  v->pending |= kVoiceFrequency | kVoiceVolume;
  if (cell.volume) VolumeColumn(song, c, v, cell.volume, true);
  if (cell.note == 255) {
    for (SndLink* l = c->voices.next; l != &c->voices; l = l->next) KeyOff(VoiceOf(l));
  }
  if (cell.note == 254) {
    SongStopVoiceNow(v);
    c->noteVolume = 0;
  }
  int p = cell.param, x = p >> 4, y = p & 15;
  switch (cell.effect) {
    case 1: if (p) song->speed = p; break;
    case 2: SongBreakJump(song, 'B', p, &jumped); break;
    case 3:
      song->nextRow = p;
      if (!jumped) song->nextOrder = song->order + 1;
      break;
    case 4:
    case 11:
    case 12:
      if (p) c->volSlideMem = p;
      if (cell.effect == 12) c->targetPeriod = c->notePeriod;
      c->noteVolume = SongFineSlide(c->noteVolume, c->volSlideMem, 64, false);
      if (cell.effect == 11 && !OldEffects(song)) Vibrato(song, c, v);
      break;
    case 5:
    case 6:
      if (p) c->portaMem = p;
      SongPortamentoRow(v, c->portaMem, cell.effect == 5 ? 1 : -1);
      break;
    case 7:
      if (p) {
        if (song->flags & 32) c->itGMem = p;
        else c->portaMem = p;
      }
      c->targetPeriod = c->notePeriod;
      break;
    case 8:
    case 21:
      SongSetVibrato(c, x, y);
      c->itFineVibrato = cell.effect == 21;
      if (!OldEffects(song)) Vibrato(song, c, v);
      break;
    case 9:
      // The on and off times count from the row's own tick; only old-effects songs add one
      // to each.
      if (p) {
        int extra = OldEffects(song) ? 1 : 0;
        c->tremorOn = x ? x + extra : 1;
        c->tremorOff = y ? y + extra : 1;
      }
      if (SongTremorTick(c)) c->volumeOffset = -c->noteVolume;
      break;
    case 10: if (p) c->arpMem = p; break;
    case 13: c->channelVolume = p > 64 ? 64 : p; break;
    case 14:
      if (p) c->itChanVolSlideMem = p;
      c->channelVolume = SongFineSlide(c->channelVolume, c->itChanVolSlideMem, 64, false);
      break;
    case 15: {
      if (p) c->offsetMemory = p;
      uint32_t offset = static_cast<uint32_t>(c->offsetHigh) * 65536u + static_cast<uint32_t>(c->offsetMemory) * 256u;
      SndSample* s = v->sample;
      if (s && s->loopStart + s->loopLength > 0) {
        uint32_t last = s->loopStart + s->loopLength - 1;
        v->sampleOffset = offset > last ? last : offset;
      }
      break;
    }
    case 17:
      if (p) {
        if (x) c->retrigKind = x;
        if (y) c->retrigInterval = y;
      }
      // A note on the row starts the count; otherwise the count left by earlier rows goes on,
      // and a count at 0 retriggers at once.
      if (cell.note >= 1 && cell.note <= 120) c->retrigCounter = c->retrigInterval;
      else Retrigger(c, v);
      break;
    case 18:
      SongSetTremolo(c, x, y);
      break;
    case 19:
      switch (x) {
        case 3: SongSetWaveform(c, false, y & 3); break;
        case 4: SongSetWaveform(c, true, y & 3); break;
        case 6: song->finePatternDelay = y; break;
        case 7:
          for (SndLink* l = c->voices.next; l != &c->voices; l = l->next) {
            SndSongVoice* b = VoiceOf(l);
            if (y <= 2 && b->background) {
              if (y == 0) SongStopVoiceNow(b);
              else if (y == 1) KeyOff(b);
              else b->fading = true;
            }
          }
          if (y >= 3 && y <= 6) v->nna = y - 3;
          if (y == 7) v->envFlags[0] &= ~1;
          if (y == 8) v->envFlags[0] |= 1;
          break;
        case 8: c->pan = y * 4; v->pan = c->pan; v->surround = false; v->pending |= kVoicePan; break;
        case 9: v->surround = true; c->pan = 100; break;
        case 0xA: c->offsetHigh = y; break;
        case 0xB: SongPatternLoop(song, c, y); break;
        case 0xE: song->patternDelay = y * song->speed; break;
        default: break;
      }
      break;
    case 20:
      if (p > 31) SndSetSongTempo(song, p);
      else if (p) song->itTempoSlide = p;
      break;
    case 22: song->globalVolume = p > 128 ? 128 : p; break;
    case 23:
      if (p) c->globalSlideMem = p;
      song->globalVolume = SongFineSlide(song->globalVolume, c->globalSlideMem, 128, false);
      break;
    case 24: c->pan = p >> 2; v->pan = c->pan; v->surround = false; v->pending |= kVoicePan; break;
    case 25:
      if (x) c->panbrelloSpeed = x;
      if (y) c->panbrelloDepth = y;
      break;
    case 26: SndQueueSongCallback(song, kQueueSync, p); break;
    default: break;
  }
}

static void TickWork(SndSong* song, SndSongChannel* c, const SongCell& cell) {
  SndSongVoice* v = FirstVoice(c);
  c->volumeOffset = 0;
  if (cell.volume) VolumeColumn(song, c, v, cell.volume, false);
  int p = cell.param, x = p >> 4, y = p & 15;
  switch (cell.effect) {
    case 4: VolumeSlide(c, c->volSlideMem); break;
    case 5:
    case 6:
      SongPortamentoTick(v, c->portaMem, cell.effect == 5 ? 1 : -1);
      break;
    case 7: TonePortamento(song, c, v); break;
    case 8:
    case 21: Vibrato(song, c, v); break;
    case 9:
      if (SongTremorTick(c)) c->volumeOffset = -c->noteVolume;
      break;
    case 10: {
      int add = SongArpeggioStep(song, c->arpMem);
      SongArpeggio(v, add, Linear(song), ItTableEntry(v->note), ItTableEntry(v->note + add));
      break;
    }
    case 11:
      Vibrato(song, c, v);
      VolumeSlide(c, c->volSlideMem);
      break;
    case 12:
      TonePortamento(song, c, v);
      VolumeSlide(c, c->volSlideMem);
      break;
    case 14: c->channelVolume = SongSlide(c->channelVolume, c->itChanVolSlideMem, 64); break;
    case 17:
      Retrigger(c, v);
      break;
    case 18: Tremolo(c, v); break;
    case 19:
      if (x == 0xC && song->tick == (y ? y : 1)) {
        c->noteVolume = 0;
        SongStopVoiceNow(v);
      }
      break;
    case 23: song->globalVolume = SongSlide(song->globalVolume, c->globalSlideMem, 128); break;
    case 25: Panbrello(c, v); break;
    default: break;
  }
}

static void UpdateVoices(SndSong* song, SndSongChannel* c) {
  SndSongVoice* front = Foreground(c);
  for (SndLink* l = c->voices.next; l != &c->voices;) {
    SndSongVoice* v = VoiceOf(l);
    l = l->next;
    const ItInstrument* ins = v->instrument;
    if (ins && Instruments(song)) {
      if ((v->envFlags[0] & 1) && !v->env[0].done) {
        EnvelopeStep(ins->env[0], v->env[0], v->keyOff);
        if (v->env[0].done) {
          v->fading = true;
          if (v->env[0].current == 0) v->pending |= kVoiceStop;
        }
      }
      if ((v->envFlags[1] & 1) && !v->env[1].done) EnvelopeStep(ins->env[1], v->env[1], v->keyOff);
      if ((v->envFlags[2] & 1) && !v->env[2].done) {
        EnvelopeStep(ins->env[2], v->env[2], v->keyOff);
        int value = v->env[2].current;
        v->pitchOffset = Linear(song) ? value * 32 : ItTableEntry(v->note) - ItTableEntry(v->note + value / 2);
      }
      if (v->fading) {
        v->fadeVolume -= ins->fadeOut;
        if (v->fadeVolume <= 0) {
          v->fadeVolume = 0;
          v->pending |= kVoiceStop;
        }
      }
    }
    AutoVibrato(v);
    if (v == front) {
      v->volume = c->noteVolume;
      v->volumeDelta = c->volumeOffset;
    }
    v->pending |= kVoiceVolume | kVoicePan;
  }
  if (c->voices.next == &c->voices) {
    c->dummy.pending = 0;
    return;
  }
  SongApplyPending(song, c);
  for (SndLink* l = c->voices.next; l != &c->voices;) {
    SndSongVoice* v = VoiceOf(l);
    l = l->next;
    if (v->surround && v->channel) v->channel->surround = 1;
    v->pending = 0;
    SndReleaseSongVoice(song, v);
  }
}

// One tick of every channel: its row work on its row tick (tick 0, or y of SDy), the effects'
// tick work on the others, then the voices.
void SndItRow(SndSong* song) {
  bool jumped = false;
  if (song->itTempoSlide) {
    int t = song->itTempoSlide;
    SndSetSongTempo(song, song->tempo + ((t >> 4) == 1 ? (t & 15) : -(t & 15)));
    if (song->tick + 1 >= song->speed) song->itTempoSlide = 0;
  }
  for (int ci = 0; ci < 64; ci++) {
    SndSongChannel* c = &song->channels[ci];
    const SongCell& cell = song->itRow[ci];
    int delay = cell.effect == 19 && (cell.param >> 4) == 0xD ? ((cell.param & 15) ? (cell.param & 15) : 1) : 0;
    if (song->tick < delay) continue;  // a delayed row is left alone until its tick
    for (SndLink* l = c->voices.next; l != &c->voices; l = l->next) VoiceOf(l)->periodDelta = 0;
    if (song->tick == delay) {
      RowWork(song, c, ci, cell, jumped);
    } else {
      TickWork(song, c, cell);
    }
    if (!(song->defaultPan[ci] & 128)) UpdateVoices(song, c);
  }
}
