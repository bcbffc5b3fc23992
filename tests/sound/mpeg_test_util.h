// Helpers of the MPEG tests: a private temporary folder, a test signal as WAV, the reference
// decoder (mpg123), a frame walker over our decoder, and builders of layer III and layer I
// frames bit by bit.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "sound/mpeg/mpeg_local.h"

class MpegTempFolder {
 public:
  MpegTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qv-mpeg-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data())) path_ = buffer.data();
  }
  ~MpegTempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  std::string Path(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A signal with tones, a beat and noise bursts, so encoders use short blocks and the reservoir.
inline void WriteTestWav(const std::string& path, int rate, int channels, double seconds) {
  std::mt19937 random(1);
  std::uniform_real_distribution<double> noise(-0.5, 0.5);
  int frames = int(rate * seconds);
  std::vector<int16_t> pcm;
  for (int i = 0; i < frames; i++) {
    double t = double(i) / rate;
    double beat = (i / (rate / 4)) % 2 == 0 ? 1.0 : 0.3;
    double burst = (i % (rate / 2)) < rate / 50 ? noise(random) : 0.0;
    double left = 0.3 * std::sin(2 * M_PI * 440 * t) + 0.2 * beat * std::sin(2 * M_PI * 1234 * t) +
                  0.1 * std::sin(2 * M_PI * 3000 * t) + burst;
    double right = 0.3 * std::sin(2 * M_PI * 660 * t) + 0.2 * std::sin(2 * M_PI * 440 * t + 1) + 0.7 * burst;
    pcm.push_back(int16_t(std::lrint(std::clamp(left, -1.0, 1.0) * 30000)));
    if (channels == 2) pcm.push_back(int16_t(std::lrint(std::clamp(right, -1.0, 1.0) * 30000)));
  }
  auto u32 = [](std::vector<uint8_t>& v, uint32_t x) {
    for (int k = 0; k < 4; k++) v.push_back(uint8_t(x >> (8 * k)));
  };
  auto u16 = [](std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
  };
  std::vector<uint8_t> file = {'R', 'I', 'F', 'F'};
  uint32_t dataBytes = uint32_t(pcm.size() * 2);
  u32(file, 36 + dataBytes);
  for (char c : std::string("WAVEfmt ")) file.push_back(uint8_t(c));
  u32(file, 16);
  u16(file, 1);
  u16(file, uint32_t(channels));
  u32(file, uint32_t(rate));
  u32(file, uint32_t(rate * channels * 2));
  u16(file, uint32_t(channels * 2));
  u16(file, 16);
  for (char c : std::string("data")) file.push_back(uint8_t(c));
  u32(file, dataBytes);
  for (int16_t v : pcm) u16(file, uint16_t(v));
  WriteBytes(path, file);
}

// mpg123's decode of a file as 16-bit PCM in the machine's order, without gapless trimming.
inline std::vector<int16_t> ReferenceDecode(const std::string& path, const MpegTempFolder& folder) {
  std::string raw = folder.Path("reference.raw");
  std::string command = "mpg123 -q --no-gapless -s '" + path + "' > '" + raw + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) return {};
  std::vector<uint8_t> bytes = ReadBytes(raw);
  std::vector<int16_t> pcm(bytes.size() / 2);
  std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
  return pcm;
}

struct MpegDecoded {
  std::vector<int16_t> pcm;
  int rate = 0, channels = 0, layer = 0, frames = 0, failures = 0;
  int bytesPerFrame = 0;  // of the last frame
};

// Walks the frames of a whole file (after an ID3v2 tag; the encoder's tag frame skipped as
// players do) through one decoder.
inline MpegDecoded DecodeMpegFile(std::vector<uint8_t> bytes) {
  MpegDecoded result;
  size_t pos = 0;
  if (bytes.size() > 10 && std::memcmp(bytes.data(), "ID3", 3) == 0)
    pos = 10 + size_t((bytes[6] & 127) << 21 | (bytes[7] & 127) << 14 | (bytes[8] & 127) << 7 | (bytes[9] & 127));
  size_t end = bytes.size();
  bytes.resize(end + 8, 0);
  SndMpegDecoder* d = SndMpegCreate();
  std::vector<int16_t> pcm(kSndMpegMaxOutputBytes / 2);
  bool first = true;
  while (pos + 4 <= end) {
    SndMpegFrameInfo info;
    if (!SndMpegPeekHeader(d, &bytes[pos], &info) || pos + size_t(info.frameBytes) > end) {
      pos++;
      continue;
    }
    if (first && SndMpegIsTagFrame(&bytes[pos], int(end - pos))) {
      pos += size_t(info.frameBytes);
      first = false;
      continue;
    }
    first = false;
    int written = 0;
    if (!SndMpegDecodeFrame(d, &bytes[pos], int(end - pos), pcm.data(), &written)) result.failures++;
    result.pcm.insert(result.pcm.end(), pcm.begin(), pcm.begin() + written / 2);
    result.rate = info.sampleRate;
    result.channels = info.channels;
    result.layer = info.layer;
    result.bytesPerFrame = written;
    result.frames++;
    pos += size_t(info.frameBytes);
  }
  SndMpegFree(d);
  return result;
}

inline double SignalToNoise(const std::vector<int16_t>& ours, const std::vector<int16_t>& reference) {
  double signal = 0, error = 0;
  size_t n = std::min(ours.size(), reference.size());
  for (size_t i = 0; i < n; i++) {
    signal += double(reference[i]) * reference[i];
    error += (double(ours[i]) - reference[i]) * (double(ours[i]) - reference[i]);
  }
  if (error == 0) return 200.0;
  return 10 * std::log10(signal / error);
}

struct MpegBitWriter {
  std::vector<uint8_t> bytes;
  size_t bits = 0;
  void Put(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; i--) {
      if (bits % 8 == 0) bytes.push_back(0);
      if ((value >> i) & 1) bytes.back() |= uint8_t(0x80 >> (bits % 8));
      bits++;
    }
  }
  void Append(const MpegBitWriter& other) {
    for (size_t i = 0; i < other.bits; i++) Put((other.bytes[i / 8] >> (7 - i % 8)) & 1, 1);
  }
};

// One granule and channel of a built layer III frame.
struct Layer3Part {
  int blockType = 0;  // 0 long; 1, 2, 3 switched windows
  bool mixed = false;
  int lines = 100;    // quantised lines with values, the rest zero
  bool intensityPositions = false;  // scale factors are intensity positions 0..7 (7 not valid)
  bool intensityScale = false;      // lower rates: the intensity scale bit
  int table = 13;
  int bigValuesOverride = -1;
  bool switchedTypeZero = false;
  int region0 = 7, region1 = 7;
  bool count1Past576 = false;
  int globalGain = 175;
  int scalefactor = -1;  // -1: random small values
  int subblockGain = -1;
  int part23Extra = 0;
};

struct Layer3Layout {
  bool lsf = false;  // 22.05 kHz, 160 kbit/s; else 44.1 kHz, 320 kbit/s
  int modeExtension = 0;  // joint stereo: bit 1 mid/side, bit 0 intensity
  int mainDataBegin = 0;
  Layer3Part part[2][2];
};

inline void WriteScalefactors(MpegBitWriter* w, const Layer3Layout& layout, const Layer3Part& p,
                              std::mt19937& random) {
  std::vector<int> slens;
  int kind = p.blockType == 2 ? (p.mixed ? 2 : 1) : 0;
  if (!layout.lsf) {
    const int slen1 = 4, slen2 = 3;  // scalefac_compress 15
    if (kind == 0) {
      for (int b = 0; b < 21; b++) slens.push_back(b < 11 ? slen1 : slen2);
    } else {
      if (kind == 2)
        for (int b = 0; b < 8; b++) slens.push_back(slen1);
      for (int b = kind == 2 ? 3 : 0; b < 12; b++)
        for (int k = 0; k < 3; k++) slens.push_back(b < 6 ? slen1 : slen2);
    }
  } else {
    static const int kPlain[3][4] = {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}};  // slen 3 3 2 2
    static const int kIntensity[3][4] = {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}};  // 3 3 3 0
    static const int kPlainSlen[4] = {3, 3, 2, 2}, kIntensitySlen[4] = {3, 3, 3, 0};
    for (int part = 0; part < 4; part++) {
      int count = p.intensityPositions ? kIntensity[kind][part] : kPlain[kind][part];
      for (int i = 0; i < count; i++)
        slens.push_back(p.intensityPositions ? kIntensitySlen[part] : kPlainSlen[part]);
    }
  }
  for (int slen : slens) {
    int limit = (1 << slen) - 1, value;
    if (p.intensityPositions)
      value = std::min(limit, int(random() % 8));
    else
      value = p.scalefactor >= 0 ? std::min(limit, p.scalefactor) : std::min(limit, int(random() % 4));
    w->Put(uint32_t(value), slen);
  }
}

inline void WriteHuffman(MpegBitWriter* w, const Layer3Part& p, std::mt19937& random) {
  const SndHuffTableDef& def = kSndHuffTables[p.table];
  int pairs = p.count1Past576 ? 288 : p.lines / 2;
  if (!def.words) {
    w->Put(0, 32);
    return;
  }
  auto value = [&](int line) {
    if (line >= p.lines) return 0;
    int v = int(random() % 7) - 3;
    return (random() % 3 == 0) ? 0 : v;
  };
  for (int i = 0; i < pairs; i++) {
    int x = value(2 * i), y = value(2 * i + 1);
    const SndHuffWord& word = def.words[std::abs(x) * def.size + std::abs(y)];
    w->Put(word.code, word.length);
    if (x) w->Put(x < 0, 1);
    if (y) w->Put(y < 0, 1);
  }
  if (p.count1Past576) w->Put(0xFFFFF, 20);  // count1 words "1" (all zero) past the last line
}

// Appends one joint-stereo layer III frame (main data in the frame itself).
inline void AppendLayer3Frame(std::vector<uint8_t>* stream, const Layer3Layout& layout, std::mt19937& random) {
  int granules = layout.lsf ? 1 : 2;
  int frameBytes = layout.lsf ? 522 : 1044;
  int sideBytes = layout.lsf ? 17 : 32;
  MpegBitWriter main[2][2];
  for (int gr = 0; gr < granules; gr++)
    for (int ch = 0; ch < 2; ch++) {
      WriteScalefactors(&main[gr][ch], layout, layout.part[gr][ch], random);
      WriteHuffman(&main[gr][ch], layout.part[gr][ch], random);
    }
  MpegBitWriter w;
  w.Put(layout.lsf ? 0xFFF3 : 0xFFFB, 16);
  w.Put(0xE0, 8);  // bitrate index 14, first sampling frequency, no padding
  w.Put(0x40 | uint32_t(layout.modeExtension) << 4, 8);
  w.Put(uint32_t(layout.mainDataBegin), layout.lsf ? 8 : 9);
  w.Put(0, layout.lsf ? 2 : 3 + 8);  // private bits (and no scale-factor reuse)
  for (int gr = 0; gr < granules; gr++)
    for (int ch = 0; ch < 2; ch++) {
      const Layer3Part& p = layout.part[gr][ch];
      w.Put(uint32_t(main[gr][ch].bits) + uint32_t(p.part23Extra), 12);
      int big = p.bigValuesOverride >= 0 ? p.bigValuesOverride : p.count1Past576 ? 288 : p.lines / 2;
      w.Put(uint32_t(big), 9);
      w.Put(uint32_t(p.globalGain), 8);
      if (layout.lsf)
        w.Put(p.intensityPositions ? 258u + p.intensityScale : 298u, 9);
      else
        w.Put(15, 4);
      bool switched = p.blockType != 0 || p.switchedTypeZero;
      w.Put(switched, 1);
      if (switched) {
        w.Put(uint32_t(p.blockType), 2);
        w.Put(p.mixed, 1);
        w.Put(uint32_t(p.table), 5);
        w.Put(uint32_t(p.table), 5);
        for (int k = 0; k < 3; k++)
          w.Put(p.subblockGain >= 0 ? uint32_t(p.subblockGain) : uint32_t(random() % 3), 3);
      } else {
        for (int k = 0; k < 3; k++) w.Put(uint32_t(p.table), 5);
        w.Put(uint32_t(p.region0), 4);
        w.Put(uint32_t(p.region1), 3);
      }
      if (!layout.lsf) w.Put(0, 1);  // preflag
      w.Put(0, 2);                 // scale-factor scale, count1 table A
    }
  EXPECT_EQ(w.bits, size_t(4 + sideBytes) * 8);
  for (int gr = 0; gr < granules; gr++)
    for (int ch = 0; ch < 2; ch++) w.Append(main[gr][ch]);
  EXPECT_LE(w.bytes.size(), size_t(frameBytes)) << "built frame overflows";
  w.bytes.resize(size_t(frameBytes), 0);
  stream->insert(stream->end(), w.bytes.begin(), w.bytes.end());
}

// Appends one layer I frame, 448 kbit/s at 44.1 kHz, stereo or mono, with random content.
inline void AppendLayer1Frame(std::vector<uint8_t>* stream, bool mono, std::mt19937& random) {
  int nch = mono ? 1 : 2;
  MpegBitWriter w;
  w.Put(0xFFFF, 16);
  w.Put(0xE0, 8);
  w.Put(mono ? 0xC0 : 0x00, 8);
  int alloc[2][32] = {};
  for (int sb = 0; sb < 32; sb++)
    for (int ch = 0; ch < nch; ch++) {
      alloc[ch][sb] = sb < 20 ? int(random() % 6) : 0;
      w.Put(uint32_t(alloc[ch][sb]), 4);
    }
  for (int sb = 0; sb < 32; sb++)
    for (int ch = 0; ch < nch; ch++)
      if (alloc[ch][sb]) w.Put(uint32_t(8 + random() % 20), 6);
  for (int s = 0; s < 12; s++)
    for (int sb = 0; sb < 32; sb++)
      for (int ch = 0; ch < nch; ch++)
        if (alloc[ch][sb]) {
          int bits = alloc[ch][sb] + 1;
          w.Put(uint32_t(random() % ((1u << bits) - 1)), bits);
        }
  w.bytes.resize(484, 0);
  stream->insert(stream->end(), w.bytes.begin(), w.bytes.end());
}
