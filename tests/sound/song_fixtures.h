// Writes small tracker songs for the song tests, the comparison with a reference player, the
// fuzz seeds and the benchmark: MOD, S3M, XM and IT, one effect group per song.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace fixtures {

// One cell in tracker terms: note is 1-based in the format's own numbering where it matters
// (MOD: our period table note 37..72; S3M/XM/IT: C-0 = 1), 0 none.
struct Cell {
  int note = 0, instrument = 0, volume = -1, effect = 0, param = 0;
};
struct Pattern {
  int rows = 64;
  std::vector<std::vector<Cell>> cells;  // [row][channel]
};
struct SampleSpec {
  std::vector<int> data;  // signed values in the sample's width
  bool sixteenBit = false;
  int volume = 64, finetune = 0, loopStart = 0, loopLength = 0;
  bool pingPong = false;
  int c5speed = 8363, relativeNote = 0, pan = -1;
  bool adpcm = false;  // MOD, S3M, XM: 8-bit data packed to 4 bits (a tracker plug-in's format)
};
struct EnvelopeSpec {
  std::vector<std::pair<int, int>> points;  // tick, value
  int sustain = -1, loopStart = -1, loopEnd = -1;
};
struct InstrumentSpec {
  int sample = 0;  // index into samples
  EnvelopeSpec volume, pan;
  int fadeOut = 0;
  int nna = 0;  // IT: 0 cut, 1 continue, 2 off, 3 fade
  int dct = 0, dca = 0;
};
struct Song {
  int channels = 4, speed = 6, tempo = 125;
  std::vector<int> orders;
  std::vector<Pattern> patterns;
  std::vector<SampleSpec> samples;
  std::vector<InstrumentSpec> instruments;  // XM and IT
  bool linear = false;                      // XM/IT frequency table
  // Variants real files come in:
  bool s3mSigned = false;       // S3M: signed sample data (the header's format word 1, not 2)
  bool amigaLimits = false;     // S3M: slides kept inside the Amiga octaves (flag 0x10)
  std::vector<int> s3mPans;     // S3M: the channel pan table, one byte a channel (0x20 | pan)
  int xmVersion = 0x104;        // XM 0x102/0x103: instruments and sample headers before the
                                // patterns, the sample data after them, rows as a byte - 1
  int xmMissingInstruments = 0; // XM: instruments the header counts that the file lacks
  int modTrailingBytes = 0;     // MOD: bytes after the last sample (a tracker's own data)
};

inline Pattern MakePattern(int rows, int channels) {
  Pattern p;
  p.rows = rows;
  p.cells.assign(rows, std::vector<Cell>(channels));
  return p;
}

// A looped waveform of `length` values: square-ish with a ramp, loud enough to measure.
inline SampleSpec Wave(int length, bool sixteenBit, bool loop = true) {
  SampleSpec s;
  s.sixteenBit = sixteenBit;
  int peak = sixteenBit ? 20000 : 90;
  for (int i = 0; i < length; i++) {
    double v = std::sin(2 * M_PI * i / length) * 0.7 + ((i * 2 < length) ? 0.3 : -0.3);
    s.data.push_back(static_cast<int>(v * peak));
  }
  if (loop) {
    s.loopStart = 0;
    s.loopLength = length;
  }
  return s;
}

// A sample packed to 4 bits: 16 signed steps, then a step index a frame, two a byte, low nibble
// first; each frame takes the step that brings the running sum closest to it.
inline std::vector<uint8_t> PackAdpcm(const std::vector<int>& data) {
  static const int kSteps[16] = {0, 1, 2, 4, 7, 12, 20, 33, -1, -2, -4, -7, -12, -20, -33, -54};
  std::vector<uint8_t> out(kSteps, kSteps + 16);
  int sum = 0;
  for (size_t i = 0; i < data.size(); i++) {
    int best = 0;
    for (int k = 1; k < 16; k++) {
      if (std::abs(sum + kSteps[k] - data[i]) < std::abs(sum + kSteps[best] - data[i])) best = k;
    }
    sum += kSteps[best];
    if (i % 2 == 0) out.push_back(static_cast<uint8_t>(best));
    else out.back() = static_cast<uint8_t>(out.back() | best << 4);
  }
  return out;
}

struct Bytes {
  std::vector<uint8_t> b;
  void U8(int v) { b.push_back(static_cast<uint8_t>(v)); }
  void U16(int v) { U8(v & 255); U8((v >> 8) & 255); }
  void U16be(int v) { U8((v >> 8) & 255); U8(v & 255); }
  void U32(uint32_t v) { U16(static_cast<int>(v & 0xFFFF)); U16(static_cast<int>(v >> 16)); }
  void Text(const std::string& s, size_t n) { for (size_t i = 0; i < n; i++) U8(i < s.size() ? s[i] : 0); }
  void Pad(size_t to) { while (b.size() < to) U8(0); }
  void Put16(size_t at, int v) { b[at] = static_cast<uint8_t>(v & 255); b[at + 1] = static_cast<uint8_t>((v >> 8) & 255); }
  void Put32(size_t at, uint32_t v) { Put16(at, static_cast<int>(v & 0xFFFF)); Put16(at + 2, static_cast<int>(v >> 16)); }
};

// Amiga periods of notes 37..72 (C-1..B-3 in ProTracker terms).
inline int ModPeriod(int note) {
  static const int kTable[] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                               428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                               214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
  return note >= 37 && note <= 72 ? kTable[note - 37] : 0;
}

inline std::vector<uint8_t> WriteMod(const Song& song) {
  Bytes o;
  o.Text("fixture", 20);
  for (int i = 0; i < 31; i++) {
    o.Text("", 22);
    if (i < static_cast<int>(song.samples.size())) {
      const SampleSpec& s = song.samples[i];
      o.U16be(static_cast<int>(s.data.size() / 2));
      o.U8(s.finetune & 15);
      o.U8(s.volume);
      o.U16be(s.loopStart / 2);
      o.U16be(s.loopLength ? s.loopLength / 2 : 1);
    } else {
      o.U16be(0); o.U8(0); o.U8(0); o.U16be(0); o.U16be(1);
    }
  }
  o.U8(static_cast<int>(song.orders.size()));
  o.U8(127);
  for (int i = 0; i < 128; i++) o.U8(i < static_cast<int>(song.orders.size()) ? song.orders[i] : 0);
  if (song.channels == 4) {
    o.Text("M.K.", 4);
  } else if (song.channels == 6 || song.channels == 8) {
    o.Text(std::to_string(song.channels) + "CHN", 4);
  } else {
    o.Text(std::to_string(song.channels / 10) + std::to_string(song.channels % 10) + "CH", 4);
  }
  for (const Pattern& p : song.patterns) {
    for (int r = 0; r < 64; r++) {
      for (int c = 0; c < song.channels; c++) {
        Cell cell = r < p.rows ? p.cells[r][c] : Cell{};
        int period = ModPeriod(cell.note);
        o.U8((cell.instrument & 0xF0) | (period >> 8));
        o.U8(period & 255);
        o.U8(((cell.instrument & 15) << 4) | (cell.effect & 15));
        o.U8(cell.param);
      }
    }
  }
  for (const SampleSpec& s : song.samples) {
    if (s.adpcm) {
      o.Text("ADPCM", 5);
      for (uint8_t b : PackAdpcm(s.data)) o.U8(b);
      continue;
    }
    for (int v : s.data) o.U8(v);
  }
  for (int i = 0; i < song.modTrailingBytes; i++) o.U8(0x5A ^ (i * 37));
  return o.b;
}

// S3M: notes 1-based from C-0 (n-1 = octave*12 + semitone); effect letters as 1..26.
inline std::vector<uint8_t> WriteS3m(const Song& song) {
  Bytes o;
  o.Text("fixture", 28);
  o.U8(0x1A); o.U8(16); o.U16(0);
  int ordCount = static_cast<int>(song.orders.size());
  ordCount += ordCount & 1;
  o.U16(ordCount);
  o.U16(static_cast<int>(song.samples.size()));
  o.U16(static_cast<int>(song.patterns.size()));
  o.U16(song.amigaLimits ? 0x10 : 0);  // flags
  o.U16(0x1320);                        // tracker version
  o.U16(song.s3mSigned ? 1 : 2);        // sample format: 1 signed, 2 unsigned
  o.Text("SCRM", 4);
  o.U8(64); o.U8(song.speed); o.U8(song.tempo); o.U8(0x80 | 48); o.U8(0); o.U8(song.s3mPans.empty() ? 0 : 252);
  o.Pad(64);
  for (int c = 0; c < 32; c++) o.U8(c < song.channels ? (c & 1 ? 8 + c / 2 : c / 2) : 255);
  for (int i = 0; i < ordCount; i++) o.U8(i < static_cast<int>(song.orders.size()) ? song.orders[i] : 255);
  size_t pointers = o.b.size();
  for (size_t i = 0; i < song.samples.size() + song.patterns.size(); i++) o.U16(0);
  if (!song.s3mPans.empty()) {
    for (int c = 0; c < 32; c++) o.U8(c < static_cast<int>(song.s3mPans.size()) ? song.s3mPans[c] : 0);
  }
  auto para = [&]() { o.Pad((o.b.size() + 15) / 16 * 16); return static_cast<int>(o.b.size() / 16); };
  std::vector<size_t> dataPointer;
  for (size_t i = 0; i < song.samples.size(); i++) {
    const SampleSpec& s = song.samples[i];
    o.Put16(pointers + i * 2, para());
    size_t start = o.b.size();
    o.U8(1);
    o.Text("", 12);
    o.U8(0);
    dataPointer.push_back(o.b.size());
    o.U16(0);
    o.U32(static_cast<uint32_t>(s.data.size()));
    o.U32(static_cast<uint32_t>(s.loopStart));
    o.U32(static_cast<uint32_t>(s.loopStart + s.loopLength));
    o.U8(s.volume); o.U8(0); o.U8(s.adpcm ? 4 : 0);
    o.U8((s.loopLength ? 1 : 0) | (s.sixteenBit ? 4 : 0));
    o.U32(static_cast<uint32_t>(s.c5speed));
    o.Pad(start + 48);
    o.Text("", 28);
    o.Text("SCRS", 4);
  }
  for (size_t p = 0; p < song.patterns.size(); p++) {
    o.Put16(pointers + (song.samples.size() + p) * 2, para());
    size_t lengthAt = o.b.size();
    o.U16(0);
    const Pattern& pat = song.patterns[p];
    for (int r = 0; r < 64; r++) {
      for (int c = 0; c < song.channels && r < pat.rows; c++) {
        const Cell& cell = pat.cells[r][c];
        int mask = 0;
        if (cell.note || cell.instrument) mask |= 32;
        if (cell.volume >= 0) mask |= 64;
        if (cell.effect) mask |= 128;
        if (!mask) continue;
        o.U8(mask | c);
        if (mask & 32) {
          int n = cell.note == 255 ? 254 : cell.note ? ((cell.note - 1) / 12) << 4 | ((cell.note - 1) % 12) : 255;
          o.U8(n);
          o.U8(cell.instrument);
        }
        if (mask & 64) o.U8(cell.volume);
        if (mask & 128) { o.U8(cell.effect); o.U8(cell.param); }
      }
      o.U8(0);
    }
    o.Put16(lengthAt, static_cast<int>(o.b.size() - lengthAt));
  }
  for (size_t i = 0; i < song.samples.size(); i++) {
    int at = para();
    o.Put16(dataPointer[i], at);
    int flip = song.s3mSigned ? 0 : 0x8000;
    if (song.samples[i].adpcm) {
      for (uint8_t b : PackAdpcm(song.samples[i].data)) o.U8(b);
      continue;
    }
    for (int v : song.samples[i].data) {
      if (song.samples[i].sixteenBit) o.U16((v ^ flip) & 0xFFFF);
      else o.U8((v + (flip >> 8)) & 255);
    }
  }
  return o.b;
}

// XM: notes 1..96 (C-0 = 1), 97 key off; effects as numbers (0-35).
inline std::vector<uint8_t> WriteXm(const Song& song) {
  Bytes o;
  bool old = song.xmVersion < 0x104;
  o.Text("Extended Module: ", 17);
  o.Text("fixture             ", 20);  // padded with spaces, as the tracker writes it
  o.U8(0x1A);
  o.Text("FastTracker v2.00   ", 20);
  o.U16(song.xmVersion);
  o.U32(276);
  o.U16(static_cast<int>(song.orders.size()));
  o.U16(0);
  o.U16(song.channels);
  o.U16(static_cast<int>(song.patterns.size()));
  o.U16(static_cast<int>(song.instruments.size()) + song.xmMissingInstruments);
  o.U16(song.linear ? 1 : 0);
  o.U16(song.speed);
  o.U16(song.tempo);
  for (int i = 0; i < 256; i++) o.U8(i < static_cast<int>(song.orders.size()) ? song.orders[i] : 0);
  auto patterns = [&]() {
    for (const Pattern& p : song.patterns) {
      if (old) {
        o.U32(8); o.U8(0); o.U8(p.rows - 1);
      } else {
        o.U32(9); o.U8(0); o.U16(p.rows);
      }
      size_t sizeAt = o.b.size();
      o.U16(0);
      size_t start = o.b.size();
      for (int r = 0; r < p.rows; r++) {
        for (int c = 0; c < song.channels; c++) {
          const Cell& cell = p.cells[r][c];
          int mask = 0x80;
          if (cell.note) mask |= 1;
          if (cell.instrument) mask |= 2;
          if (cell.volume >= 0) mask |= 4;
          if (cell.effect) mask |= 8;
          if (cell.param) mask |= 16;
          o.U8(mask);
          if (mask & 1) o.U8(cell.note);
          if (mask & 2) o.U8(cell.instrument);
          if (mask & 4) o.U8(cell.volume);
          if (mask & 8) o.U8(cell.effect);
          if (mask & 16) o.U8(cell.param);
        }
      }
      o.Put16(sizeAt, static_cast<int>(o.b.size() - start));
    }
  };
  auto sampleData = [&](const SampleSpec& s) {
    if (s.adpcm) {
      for (uint8_t b : PackAdpcm(s.data)) o.U8(b);
      return;
    }
    int previous = 0;
    for (int v : s.data) {
      int d = v - previous;
      previous = v;
      if (s.sixteenBit) o.U16(d & 0xFFFF); else o.U8(d & 255);
    }
  };
  if (!old) patterns();
  for (const InstrumentSpec& ins : song.instruments) {
    const SampleSpec& s = song.samples[ins.sample];
    size_t start = o.b.size();
    o.U32(263);
    o.Text("instrument", 22);
    o.U8(0);
    o.U16(1);
    o.U32(40);
    for (int n = 0; n < 96; n++) o.U8(0);
    auto points = [&](const EnvelopeSpec& e) {
      for (int i = 0; i < 12; i++) {
        o.U16(i < static_cast<int>(e.points.size()) ? e.points[i].first : 0);
        o.U16(i < static_cast<int>(e.points.size()) ? e.points[i].second : 0);
      }
    };
    points(ins.volume);
    points(ins.pan);
    o.U8(static_cast<int>(ins.volume.points.size()));
    o.U8(static_cast<int>(ins.pan.points.size()));
    o.U8(ins.volume.sustain < 0 ? 0 : ins.volume.sustain);
    o.U8(ins.volume.loopStart < 0 ? 0 : ins.volume.loopStart);
    o.U8(ins.volume.loopEnd < 0 ? 0 : ins.volume.loopEnd);
    o.U8(ins.pan.sustain < 0 ? 0 : ins.pan.sustain);
    o.U8(ins.pan.loopStart < 0 ? 0 : ins.pan.loopStart);
    o.U8(ins.pan.loopEnd < 0 ? 0 : ins.pan.loopEnd);
    auto type = [](const EnvelopeSpec& e) {
      return e.points.size() < 2 ? 0 : 1 | (e.sustain >= 0 ? 2 : 0) | (e.loopStart >= 0 ? 4 : 0);
    };
    o.U8(type(ins.volume));
    o.U8(type(ins.pan));
    o.U8(0); o.U8(0); o.U8(0); o.U8(0);
    o.U16(ins.fadeOut);
    o.Pad(start + 263);
    int width = s.sixteenBit ? 2 : 1;
    o.U32(static_cast<uint32_t>(s.data.size() * width));
    o.U32(static_cast<uint32_t>(s.loopStart * width));
    o.U32(static_cast<uint32_t>(s.loopLength * width));
    o.U8(s.volume);
    o.U8(s.finetune);
    o.U8((s.loopLength ? (s.pingPong ? 2 : 1) : 0) | (s.sixteenBit ? 16 : 0));
    o.U8(s.pan < 0 ? 128 : s.pan);
    o.U8(s.relativeNote);
    o.U8(s.adpcm ? 0xAD : 0);
    o.Text("sample", 22);
    if (!old) sampleData(s);
  }
  if (old) {
    patterns();
    for (const InstrumentSpec& ins : song.instruments) sampleData(song.samples[ins.sample]);
  }
  return o.b;
}

// IT: notes 1..120 (C-0 = 1), 255 off, 254 cut; effects as letters 1..26; volume column raw.
inline std::vector<uint8_t> WriteIt(const Song& song) {
  Bytes o;
  bool instruments = !song.instruments.empty();
  o.Text("IMPM", 4);
  o.Text("fixture", 26);
  o.U16(0x1004);
  int ordNum = static_cast<int>(song.orders.size()) + 1;
  o.U16(ordNum);
  o.U16(static_cast<int>(song.instruments.size()));
  o.U16(static_cast<int>(song.samples.size()));
  o.U16(static_cast<int>(song.patterns.size()));
  o.U16(0x0214); o.U16(0x0214);
  o.U16(1 | (instruments ? 4 : 0) | (song.linear ? 8 : 0));
  o.U16(0);
  o.U8(128); o.U8(48); o.U8(song.speed); o.U8(song.tempo); o.U8(128); o.U8(0);
  o.U16(0); o.U32(0); o.U32(0);
  for (int c = 0; c < 64; c++) o.U8(c < song.channels ? 32 : 160);
  for (int c = 0; c < 64; c++) o.U8(64);
  for (int v : song.orders) o.U8(v);
  o.U8(255);
  size_t table = o.b.size();
  for (size_t i = 0; i < song.instruments.size() + song.samples.size() + song.patterns.size(); i++) o.U32(0);
  size_t slot = table;
  for (const InstrumentSpec& ins : song.instruments) {
    o.Put32(slot, static_cast<uint32_t>(o.b.size()));
    slot += 4;
    o.Text("IMPI", 4);
    o.Text("", 12);
    o.U8(0);
    o.U8(ins.nna); o.U8(ins.dct); o.U8(ins.dca);
    o.U16(ins.fadeOut);
    o.U8(0); o.U8(60); o.U8(128); o.U8(32 | 128); o.U8(0); o.U8(0);
    o.U16(0x0214); o.U8(1); o.U8(0);
    o.Text("instrument", 26);
    o.U8(0); o.U8(0); o.U8(0); o.U8(0); o.U16(0);
    for (int n = 0; n < 120; n++) { o.U8(n); o.U8(ins.sample + 1); }
    auto envelope = [&](const EnvelopeSpec& e) {
      int flags = e.points.size() >= 2 ? 1 | (e.loopStart >= 0 ? 2 : 0) | (e.sustain >= 0 ? 4 : 0) : 0;
      o.U8(flags);
      o.U8(static_cast<int>(e.points.size()));
      o.U8(e.loopStart < 0 ? 0 : e.loopStart); o.U8(e.loopEnd < 0 ? 0 : e.loopEnd);
      o.U8(e.sustain < 0 ? 0 : e.sustain); o.U8(e.sustain < 0 ? 0 : e.sustain);
      for (int i = 0; i < 25; i++) {
        o.U8(i < static_cast<int>(e.points.size()) ? e.points[i].second : 0);
        o.U16(i < static_cast<int>(e.points.size()) ? e.points[i].first : 0);
      }
      o.U8(0);
    };
    envelope(ins.volume);
    EnvelopeSpec pan = ins.pan;
    for (auto& p : pan.points) p.second -= 32;
    envelope(pan);
    envelope(EnvelopeSpec{});
    o.Pad(o.b.size() + 4);
  }
  std::vector<size_t> dataPointer;
  for (const SampleSpec& s : song.samples) {
    o.Put32(slot, static_cast<uint32_t>(o.b.size()));
    slot += 4;
    o.Text("IMPS", 4);
    o.Text("", 12);
    o.U8(0);
    o.U8(64);
    o.U8(1 | (s.sixteenBit ? 2 : 0) | (s.loopLength ? 16 : 0) | (s.pingPong ? 64 : 0));
    o.U8(s.volume);
    o.Text("sample", 26);
    o.U8(1);
    o.U8(s.pan < 0 ? 32 : 128 | (s.pan / 4));
    o.U32(static_cast<uint32_t>(s.data.size()));
    o.U32(static_cast<uint32_t>(s.loopStart));
    o.U32(static_cast<uint32_t>(s.loopStart + s.loopLength));
    o.U32(static_cast<uint32_t>(s.c5speed));
    o.U32(0); o.U32(0);
    dataPointer.push_back(o.b.size());
    o.U32(0);
    o.U8(0); o.U8(0); o.U8(0); o.U8(0);
  }
  for (const Pattern& p : song.patterns) {
    o.Put32(slot, static_cast<uint32_t>(o.b.size()));
    slot += 4;
    size_t lengthAt = o.b.size();
    o.U16(0); o.U16(p.rows); o.U32(0);
    size_t start = o.b.size();
    for (int r = 0; r < p.rows; r++) {
      for (int c = 0; c < song.channels; c++) {
        const Cell& cell = p.cells[r][c];
        int mask = (cell.note ? 1 : 0) | (cell.instrument ? 2 : 0) | (cell.volume >= 0 ? 4 : 0) | (cell.effect ? 8 : 0);
        if (!mask) continue;
        o.U8((c + 1) | 128);
        o.U8(mask);
        if (mask & 1) o.U8(cell.note >= 254 ? cell.note : cell.note - 1);
        if (mask & 2) o.U8(cell.instrument);
        if (mask & 4) o.U8(cell.volume);
        if (mask & 8) { o.U8(cell.effect); o.U8(cell.param); }
      }
      o.U8(0);
    }
    o.Put16(lengthAt, static_cast<int>(o.b.size() - start));
  }
  for (size_t i = 0; i < song.samples.size(); i++) {
    o.Put32(dataPointer[i], static_cast<uint32_t>(o.b.size()));
    for (int v : song.samples[i].data) {
      if (song.samples[i].sixteenBit) o.U16(v & 0xFFFF); else o.U8(v & 255);
    }
  }
  return o.b;
}

}  // namespace fixtures
