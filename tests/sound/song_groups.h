// The fixture songs of the song tests, one per effect group and format, shared by the unit
// tests, the comparison with the reference player, the fuzz seed writer and the benchmark.
#pragma once
#include <functional>
#include <string>

#include "tests/sound/song_fixtures.h"

namespace fixtures {

enum Format { kMod, kS3m, kXm, kIt };

struct Group {
  std::string name;
  Format format;
  Song song;
};

// Notes in each format's numbering for the same pitch names (C-4 in tracker terms).
inline int NoteC(Format f, int octaveOffset = 0) {
  if (f == kMod) return 49 + octaveOffset * 12;  // Amiga period 428
  if (f == kXm) return 49 + octaveOffset * 12;   // C-4
  return 61 + octaveOffset * 12;                 // S3M/IT C-5 (the 8363 Hz note)
}

// Effect numbers by meaning, per format.
struct Fx {
  int arp, up, down, porta, vib, portaVol, vibVol, trem, pan, offset, volSlide, jump, volume, brk, ext, speed, tempo;
};
inline Fx Effects(Format f) {
  if (f == kMod || f == kXm) return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xA, 0xB, 0xC, 0xD, 0xE, 0xF, 0xF};
  // S3M and IT letters: J F E G H L K R X O D B (volume: column) C S A T
  return {10, 6, 5, 7, 8, 12, 11, 18, 24, 15, 4, 2, 0, 3, 19, 1, 20};
}

// An extended (Exy / Sxy) command in the format's terms.
inline Cell Ext(Format f, int x, int y) {
  Fx e = Effects(f);
  if (f == kMod || f == kXm) return {0, 0, -1, e.ext, x << 4 | y};
  // S3M/IT: E1/E2 fine slides live in F/E; loop B, delay D, cut C, pattern delay E, retrig Q.
  switch (x) {
    case 6: return {0, 0, -1, 19, 0xB0 | y};
    case 0xC: return {0, 0, -1, 19, 0xC0 | y};
    case 0xD: return {0, 0, -1, 19, 0xD0 | y};
    case 0xE: return {0, 0, -1, 19, 0xE0 | y};
    case 9: return {0, 0, -1, 17, y};
    default: return {0, 0, -1, 19, x << 4 | y};
  }
}

inline Cell Note(Format f, int offset, int instrument, int effect = 0, int param = 0) {
  return {NoteC(f) + offset, instrument, -1, effect, param};
}
inline Cell Effect(int effect, int param) { return {0, 0, -1, effect, param}; }

inline Song BaseSong(Format f, int rows, int channels = 4) {
  Song s;
  s.channels = channels;
  s.orders = {0};
  s.patterns.push_back(MakePattern(rows, channels));
  s.samples.push_back(Wave(64, false));
  SampleSpec once = Wave(16000, f != kMod && f != kS3m, false);
  s.samples.push_back(once);
  if (f == kXm || f == kIt) {
    InstrumentSpec a, b;
    a.sample = 0;
    b.sample = 1;
    s.instruments = {a, b};
  }
  return s;
}

inline std::vector<Group> Groups(Format f) {
  Fx e = Effects(f);
  std::vector<Group> groups;
  bool st = f == kS3m || f == kIt;
  auto add = [&](const std::string& name, Song s) { groups.push_back({name, f, std::move(s)}); };
  {
    Song s = BaseSong(f, 8);
    s.patterns[0].cells[0][0] = Note(f, 0, 1, e.arp, 0x37);
    s.patterns[0].cells[1][0] = Effect(e.arp, 0x47);
    s.patterns[0].cells[4][1] = Note(f, 5, 1, e.arp, 0x0C);
    add("arpeggio", s);
  }
  {
    Song s = BaseSong(f, 16);
    auto& c = s.patterns[0].cells;
    c[0][0] = Note(f, 0, 1, e.up, 0x04);
    c[2][0] = Effect(e.down, 0x06);
    c[4][0] = Note(f, 7, 0, e.porta, 0x08);
    c[5][0] = Effect(e.porta, 0);
    c[6][0] = Effect(e.portaVol, 0x02);
    c[8][1] = Note(f, -5, 1);
    c[9][1] = st ? Effect(e.up, 0xF3) : Ext(f, 1, 3);
    c[10][1] = st ? Effect(e.down, 0xF2) : Ext(f, 2, 2);
    add("portamento", s);
  }
  {
    Song s = BaseSong(f, 12);
    auto& c = s.patterns[0].cells;
    c[0][0] = Note(f, 0, 1, e.vib, 0x46);
    c[1][0] = Effect(e.vib, 0);
    c[2][0] = Effect(e.vibVol, 0x01);
    c[0][1] = Note(f, 3, 1, e.trem, 0x48);
    c[1][1] = Effect(e.trem, 0);
    c[4][1] = Effect(e.volSlide, st ? 0x30 : 0x30);
    add("vibrato_tremolo", s);
  }
  {
    Song s = BaseSong(f, 10);
    auto& c = s.patterns[0].cells;
    c[0][0] = Note(f, 0, 1, e.volSlide, st ? 0x04 : 0x04);
    c[1][0] = Effect(e.volSlide, st ? 0x04 : 0x04);
    c[2][0] = Effect(e.volSlide, st ? 0x20 : 0x20);
    c[0][1] = Note(f, 0, 1);
    c[1][1] = st ? Effect(e.volSlide, 0xF4) : Ext(f, 0xB, 4);
    c[2][1] = st ? Effect(e.volSlide, 0x2F) : Ext(f, 0xA, 2);
    if (f == kMod || f == kXm) c[3][1] = Effect(e.volume, 0x20);
    else c[3][1] = Cell{0, 0, 32, 0, 0};
    add("volume_slide", s);
  }
  {
    Song s = BaseSong(f, 8);
    auto& c = s.patterns[0].cells;
    c[0][0] = Note(f, 0, 2, e.offset, 0x08);
    c[4][0] = Note(f, 0, 2, e.offset, 0);
    c[0][1] = Note(f, 0, 2, e.offset, 0x40);  // past the end: nothing plays
    add("sample_offset", s);
  }
  {
    Song s = BaseSong(f, 16);
    s.orders = {0, 1, 2};
    s.patterns.push_back(MakePattern(16, s.channels));
    s.patterns.push_back(MakePattern(16, s.channels));
    s.patterns[0].cells[0][0] = Note(f, 0, 1);
    s.patterns[0].cells[3][0] = Effect(e.brk, 0x05);
    s.patterns[1].cells[5][0] = Note(f, 2, 1);
    s.patterns[1].cells[7][0] = Effect(e.jump, 2);
    s.patterns[1].cells[7][1] = Effect(e.brk, 0x10);
    s.patterns[2].cells[10][0] = Note(f, 4, 1);
    add("break_jump", s);
  }
  {
    Song s = BaseSong(f, 8);
    auto& c = s.patterns[0].cells;
    c[0][0] = Note(f, 0, 1);
    c[1][0] = Ext(f, 6, 0);
    c[2][0] = Note(f, 2, 1);
    c[3][0] = Ext(f, 6, 2);
    add("pattern_loop", s);
  }
  {
    Song s = BaseSong(f, 8);
    auto& c = s.patterns[0].cells;
    c[0][0] = Note(f, 0, 1);
    c[1][0] = Note(f, 4, 1);
    c[1][0].effect = Ext(f, 0xD, 3).effect;
    c[1][0].param = Ext(f, 0xD, 3).param;
    c[2][1] = Note(f, 0, 1);
    c[3][1] = Ext(f, 0xC, 2);
    c[4][0] = Ext(f, 0xE, 2);
    add("delays_cut", s);
  }
  {
    Song s = BaseSong(f, 6);
    auto& c = s.patterns[0].cells;
    c[0][0] = Note(f, 0, 2);
    c[0][0].effect = Ext(f, 9, 2).effect;
    c[0][0].param = f == kMod || f == kXm ? 0x92 : 0x02;
    c[2][1] = Note(f, 0, 1, e.speed, 3);
    c[4][1] = Effect(e.tempo, 150);
    add("retrigger_speed", s);
  }
  if (f == kXm || f == kIt) {
    Song s = BaseSong(f, 16);
    SampleSpec bidi = Wave(64, true);
    bidi.loopStart = 16;
    bidi.loopLength = 32;
    bidi.pingPong = true;
    s.samples.push_back(bidi);
    InstrumentSpec ins;
    ins.sample = 2;
    ins.volume.points = {{0, 64}, {8, 32}, {16, 48}, {24, 16}, {40, 0}};
    ins.volume.sustain = 1;
    ins.volume.loopStart = 2;
    ins.volume.loopEnd = 3;
    ins.pan.points = {{0, 32}, {12, 60}, {24, 4}};
    ins.fadeOut = 1024;
    s.instruments.push_back(ins);
    auto& c = s.patterns[0].cells;
    c[0][0] = Note(f, 0, 3);
    c[6][0] = {f == kXm ? 97 : 255, 0, -1, 0, 0};  // key off: sustain released, fade
    c[0][1] = Note(f, 7, 3);
    c[2][1] = Effect(f == kXm ? 20 : 0, 0);      // K00 (XM): key off by effect
    add("envelopes_pingpong", s);
  }
  return groups;
}

inline std::vector<uint8_t> WriteSong(Format f, const Song& s) {
  switch (f) {
    case kMod: return WriteMod(s);
    case kS3m: return WriteS3m(s);
    case kXm: return WriteXm(s);
    default: return WriteIt(s);
  }
}

}  // namespace fixtures
