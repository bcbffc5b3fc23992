// Effect-test songs for comparing what our player plays with the reference players: one effect
// per row on one channel, a 32-frame looped wave whose pitch the zero crossings tell, at speed 6
// and tempo 125, so that every tick is one 20 ms window. Also the file variants real songs come
// in (finetuned and fast samples, 16-bit and signed S3M data, the older XM layout).
#pragma once
#include <string>
#include <vector>

#include "tests/sound/song_groups.h"

namespace fixtures {

struct CorpusSong {
  std::string name;  // "<format>_<effect>"
  Format format;
  Song song;
};

inline const char* FormatExtension(Format f) {
  static const char* kNames[] = {"mod", "s3m", "xm", "it"};
  return kNames[f];
}

// A wave that starts loud and fades to a tenth over its 16384 frames, unlooped: where an offset
// starts it shows in the level.
inline SampleSpec FadingWave(bool sixteenBit) {
  SampleSpec s;
  s.sixteenBit = sixteenBit;
  const int length = 16384, peak = sixteenBit ? 24000 : 100;
  for (int i = 0; i < length; i++) {
    double amplitude = 1.0 - 0.9 * i / length;
    s.data.push_back(static_cast<int>(std::sin(2 * M_PI * i / 32) * amplitude * peak));
  }
  return s;
}

// One channel; sample 1 the looped 32-frame wave, sample 2 the fading wave.
inline Song CorpusBase(Format f, int rows) {
  Song s = BaseSong(f, rows, f == kMod ? 4 : 1);
  s.samples = {Wave(32, false), FadingWave(f == kXm || f == kIt)};
  return s;
}

// Effect number of "retrigger every y ticks" with no volume change.
inline Cell Retrigger(Format f, int y) {
  if (f == kMod || f == kXm) return Effect(0xE, 0x90 | y);
  return Effect(17, y);
}
inline Cell SetVolume(Format f, int v) {
  if (f == kMod || f == kXm) return Effect(0xC, v);
  return Cell{0, 0, v, 0, 0};
}

// A song whose first channel plays `rows` one after another, and two empty rows to end it.
inline Song Sequence(Format f, const std::vector<Cell>& rows) {
  Song s = CorpusBase(f, static_cast<int>(rows.size()) + 2);
  for (size_t r = 0; r < rows.size(); r++) s.patterns[0].cells[r][0] = rows[r];
  return s;
}

inline Cell WithEffect(Cell note, const Cell& effect) {
  note.effect = effect.effect;
  note.param = effect.param;
  return note;
}

inline std::vector<CorpusSong> EffectCorpus() {
  std::vector<CorpusSong> out;
  for (Format f : {kMod, kS3m, kXm, kIt}) {
    Fx e = Effects(f);
    bool st = f == kS3m || f == kIt;
    auto add = [&](const std::string& name, const Song& s) {
      out.push_back({std::string(FormatExtension(f)) + "_" + name, f, s});
    };
    // A note an octave up, retriggered: the retriggered note keeps its pitch and the volume set
    // since.
    add("retrigger", Sequence(f, {Note(f, 12, 1), Retrigger(f, 3), SetVolume(f, 24), Retrigger(f, 2), Note(f, 7, 1),
                                  Retrigger(f, 4)}));
    Song arpeggio = Sequence(f, {Note(f, 12, 1, e.arp, 0x47), Effect(e.arp, 0x37), Effect(e.arp, st ? 0 : 0x37),
                                 Effect(e.up, 0x02), Effect(e.arp, 0x47), Effect(e.down, 0x02),
                                 Note(f, 0, 1, e.arp, 0x0C), Effect(e.up, 0x01)});
    add("arpeggio", arpeggio);
    if (st) {
      // A sample at twice the usual rate: the steps scale with it.
      arpeggio.samples[0].c5speed = 16726;
      add("arpeggio_fast_sample", arpeggio);
    }
    if (f == kXm) {
      // Rows longer than 16 ticks, where the step no longer follows the ticks left in the row.
      arpeggio.speed = 18;
      add("arpeggio_slow", arpeggio);
    }
    int waves = st ? 3 : 4;  // vibrato waveform: S3y, E4y
    add("vibrato", Sequence(f, {Note(f, 12, 1, e.vib, 0x48), Effect(e.vib, 0), Effect(e.vib, 0x8C), Ext(f, waves, 1),
                                Effect(e.vib, 0x48), Ext(f, waves, 2), Effect(e.vib, 0x48), Effect(e.vibVol, 0x01),
                                st ? Effect(21, 0x4F) : Cell{}}));
    add("tremolo", Sequence(f, {Note(f, 12, 1, e.trem, 0x48), Effect(e.trem, 0), Effect(e.trem, 0x8C),
                                Ext(f, st ? 4 : 7, 2), Effect(e.trem, 0x48), SetVolume(f, 40)}));
    if (f != kMod) {
      int tremor = f == kXm ? 29 : 9;
      add("tremor", Sequence(f, {Note(f, 12, 1, tremor, 0x21), Effect(tremor, 0), Effect(tremor, 0x13),
                                 Effect(tremor, 0), Effect(tremor, 0x00)}));
    }
    add("offset", Sequence(f, {Note(f, 12, 2, e.offset, 0x10), Note(f, 12, 0, e.offset, 0),
                               Note(f, 12, 0, e.offset, 0x28), Retrigger(f, 3), Note(f, 12, 0, e.offset, 0),
                               Note(f, 12, 2)}));
    add("slides", Sequence(f, {Note(f, 12, 1, e.up, 0x08), Effect(e.down, 0x08), Effect(e.up, f == kMod ? 0x08 : 0),
                               st ? Effect(e.up, 0xF3) : Ext(f, 1, 3), st ? Effect(e.down, 0xE7) : Ext(f, 2, 3),
                               Note(f, 19, 1, e.porta, 0x10), Effect(e.porta, 0), Note(f, 10, 0, e.portaVol, 0x02),
                               Effect(e.porta, 0)}));
    if (f == kMod || f == kS3m) {
      // Slides far past the top and the bottom of the range (the top of the MOD table is B-3).
      std::vector<Cell> rows = {Note(f, f == kMod ? 23 : 24, 1, e.up, 0x40)};
      for (int r = 1; r < 6; r++) rows.push_back(Effect(e.up, 0x40));
      rows.push_back(Note(f, -12, 1, e.down, 0x40));
      for (int r = 7; r < 14; r++) rows.push_back(Effect(e.down, 0x7F));
      Song limits = Sequence(f, rows);
      add("period_limits", limits);
      if (f == kS3m) {
        limits.amigaLimits = true;
        add("period_limits_amiga", limits);
      }
    }
    add("volume_slide", Sequence(f, {Note(f, 12, 1, e.volSlide, 0x04), Effect(e.volSlide, f == kMod ? 0x04 : 0),
                                     Effect(e.volSlide, 0x30), st ? Effect(e.volSlide, 0xF8) : Ext(f, 0xB, 8),
                                     st ? Effect(e.volSlide, 0x4F) : Ext(f, 0xA, 4),
                                     st ? Effect(e.volSlide, 0) : Ext(f, 0xA, 0)}));
    add("delay_cut", Sequence(f, {Note(f, 12, 1), Ext(f, 0xC, 3), WithEffect(Note(f, 7, 1), Ext(f, 0xD, 2)), Cell{},
                                  WithEffect(Note(f, 12, 1), Ext(f, 0xD, 4))}));
    if (f != kIt) {
      // Samples packed to 4 bits (1 and 3) between plain ones: each plays, and so do the plain
      // ones stored after them.
      Song s = Sequence(f, {Note(f, 12, 1), Cell{}, Note(f, 12, 2), Cell{}, Note(f, 7, 3), Cell{}, Note(f, 12, 4)});
      s.samples[0].adpcm = true;
      s.samples.push_back(FadingWave(false));
      s.samples.back().adpcm = true;
      s.samples.push_back(Wave(32, false));
      for (int i = 2; f == kXm && i < 4; i++) {
        s.instruments.push_back(InstrumentSpec{});
        s.instruments.back().sample = i;
      }
      add("adpcm", s);
    }
    if (f == kMod) {
      // Finetuned samples, and E5x on a note.
      Song s = Sequence(f, {Note(f, 12, 1), Note(f, 12, 3), Note(f, 12, 4), Note(f, 12, 5), Note(f, 12, 6),
                            Note(f, 12, 1, 0xE, 0x53), Note(f, 0, 3, 0, 0x37)});
      for (int ft : {5, 13, 7, 8}) {
        s.samples.push_back(Wave(32, false));
        s.samples.back().finetune = ft;
      }
      add("finetune", s);
      // The same song with bytes after its samples, as some trackers leave; then with a
      // pattern stored that no order plays.
      s.modTrailingBytes = 3000;
      add("trailing_bytes", s);
      s.modTrailingBytes = 0;
      s.patterns.push_back(MakePattern(64, s.channels));
      s.patterns[1].cells[0][0] = Note(f, 0, 2);
      add("unplayed_pattern", s);
    }
    if (f == kS3m) {
      // A fast 8-bit sample, a 16-bit sample; then both again from a file of signed samples.
      Song s = Sequence(f, {Note(f, 0, 1), Cell{}, Note(f, 0, 3), Cell{}, Note(f, 12, 2)});
      s.samples[0].c5speed = 22050;
      s.samples.push_back(Wave(32, true));
      s.samples.back().c5speed = 11025;
      add("samples", s);
      s.s3mSigned = true;
      add("samples_signed", s);
      // The pan table: channel 0's entry is taken, channel 1's lacks the flag and leaves the
      // channel where its setting puts it.
      Song pans = CorpusBase(f, 8);
      pans.channels = 2;
      for (Pattern& p : pans.patterns) p = MakePattern(p.rows, 2);
      pans.patterns[0].cells[0][0] = Note(f, 0, 1);
      pans.patterns[0].cells[3][0] = {255, 0, -1, 0, 0};  // note off
      pans.patterns[0].cells[3][1] = Note(f, 0, 1);
      pans.s3mPans = {0x2A, 0x13};
      add("pan_table", pans);
      // A sample at the highest rate: the period stops at its floor; fine and extra-fine slides
      // up to 0 end the note.
      Song fast = Sequence(f, {Note(f, 11, 1), Cell{}, Effect(e.up, 0xF8), Note(f, 11, 1), Effect(e.up, 0xFF), Cell{},
                               Note(f, 11, 1), Effect(e.up, 0xEF), Effect(e.up, 0xEF), Effect(e.up, 0xEF),
                               Effect(e.up, 0xEF)});
      fast.samples[0].c5speed = 65535;
      add("period_floor", fast);
      // A note without an instrument number starts where the last offset did.
      add("offset_memory", Sequence(f, {Note(f, 12, 2, e.offset, 0x20), Cell{}, Note(f, 12, 0), Cell{}, Note(f, 12, 2),
                                        Cell{}, Note(f, 12, 0), Note(f, 12, 0, e.offset, 0x30), Note(f, 7, 0)}));
    }
    if (f == kXm) {
      // Key-off: with a sustained envelope and fade-out, by note and by K at a tick, and on an
      // instrument without an envelope.
      const Cell off = {97, 0, -1, 0, 0};
      Song s = Sequence(f, {Note(f, 12, 3), Cell{}, Cell{}, off, Cell{}, Cell{}, Note(f, 12, 3), Cell{},
                            Effect(20, 3), Cell{}, Note(f, 12, 1), off, Note(f, 12, 1), Effect(20, 2)});
      InstrumentSpec env;
      env.sample = 0;
      env.volume.points = {{0, 64}, {10, 40}, {30, 0}};
      env.volume.sustain = 1;
      env.fadeOut = 2048;
      s.instruments.push_back(env);
      add("keyoff", s);
      // K00 on a row with a note: the note is not played and the playing one is released. On
      // an instrument without a volume envelope (4), K00 with an instrument number or a volume
      // column lets the note fade out; alone it cuts it.
      InstrumentSpec fading;
      fading.sample = 0;
      fading.fadeOut = 1024;
      s.instruments.push_back(fading);
      const Cell k00 = Effect(20, 0);
      Song k = Sequence(f, {Note(f, 12, 3), Cell{}, WithEffect(Note(f, 7, 3), k00), Cell{}, Note(f, 12, 4),
                            Cell{0, 4, -1, 20, 0}, Cell{}, Note(f, 12, 4), Cell{0, 0, 0xC8, 20, 0}, Cell{},
                            Note(f, 12, 4), k00});
      k.instruments = s.instruments;
      add("keyoff_k00", k);
      // The older layout: instruments before patterns, sample data after them; then a header
      // that counts more instruments than the file holds.
      Song old = Sequence(f, {Note(f, 12, 1), Cell{}, Cell{}, Cell{}, Note(f, 7, 2)});
      old.xmVersion = 0x102;
      add("layout_0102", old);
      old.xmVersion = 0x104;
      old.xmMissingInstruments = 3;
      add("missing_instruments", old);
    }
  }
  return out;
}

}  // namespace fixtures
