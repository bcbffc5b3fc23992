// Layer III (ISO/IEC 11172-3 clause 2.4.3.4, ISO/IEC 13818-3 for the lower rates): side
// information, the bit reservoir, scale factors, Huffman decoding, requantisation, stereo
// processing, alias reduction and the hybrid filterbank.
#include <algorithm>
#include <cmath>
#include <vector>

#include "sound/mpeg/mpeg_local.h"

// Scale-factor band boundaries in lines (long) and in lines per window (short), by rate index.
static const short kBandsLong[9][23] = {
    {0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 52, 62, 74, 90, 110, 134, 162, 196, 238, 288, 342, 418,
     576},
    {0, 4, 8, 12, 16, 20, 24, 30, 36, 42, 50, 60, 72, 88, 106, 128, 156, 190, 230, 276, 330, 384,
     576},
    {0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 54, 66, 82, 102, 126, 156, 194, 240, 296, 364, 448, 550,
     576},
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464,
     522, 576},
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 114, 136, 162, 194, 232, 278, 332, 394, 464,
     540, 576},
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464,
     522, 576},
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464,
     522, 576},
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464,
     522, 576},
    {0, 12, 24, 36, 48, 60, 72, 88, 108, 132, 160, 192, 232, 280, 336, 400, 476, 566, 568, 570,
     572, 574, 576},
};
static const short kBandsShort[9][14] = {
    {0, 4, 8, 12, 16, 22, 30, 40, 52, 66, 84, 106, 136, 192},
    {0, 4, 8, 12, 16, 22, 28, 38, 50, 64, 80, 100, 126, 192},
    {0, 4, 8, 12, 16, 22, 30, 42, 58, 78, 104, 138, 180, 192},
    {0, 4, 8, 12, 18, 24, 32, 42, 56, 74, 100, 132, 174, 192},
    {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 136, 180, 192},
    {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192},
    {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192},
    {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192},
    {0, 8, 16, 24, 36, 52, 72, 96, 124, 160, 162, 164, 166, 192},
};
static const uint8_t kPretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};
static const uint8_t kSlen[2][16] = {{0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
                                     {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3}};
// Lower sampling frequencies: scale factors per partition, by [scheme][long, short, mixed].
static const uint8_t kLsfPartitions[6][3][4] = {
    {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},     {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
    {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}}, {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
    {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},     {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}},
};
static const double kAliasC[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

enum { kGainMin = -512, kGainMax = 127 };
static float gPow43[8207];                   // n^(4/3); 8191 + 15 is the largest magnitude
static float gGain[kGainMax - kGainMin + 1];  // 2^(q/4)
static float gAliasCs[8], gAliasCa[8];
static float gWindows[4][36];                // long, start, short (first 12), stop
static float gDct6[6][6];                    // DCT-IV kernel of the 12-point IMDCT
// The 36-point IMDCT's DCT-IV of 18 (see DctIv18): the scales of its two DCT-IV steps and the
// cosines of its 9-point DCT-II, split into even and odd outputs.
static float gDctIvScale18[18], gDctIvScale9[9];
static float gDct9Even[5][5], gDct9Odd[4][4];
static float gIsRatio[7][2];                 // MPEG-1 intensity: left and right factors
static float gLsfIs[2][32];                  // lower rates: k^n for the two intensity scales

// Huffman decoding tables: a root of 2^rootBits entries per table, with sub-tables for the
// longer words. Entry: leaf (bit 31 clear) length remaining << 8 | x << 4 | y;
// sub-table bit 31 | bits << 24 | offset.
struct SndHuffDecoder {
  std::vector<uint32_t> entries;
  int rootBits = 0;
};
static SndHuffDecoder gHuff[34];  // 0-31 big values (by code word table), 32/33 count1 A/B

struct SndCode {
  uint32_t code;
  int length;
  int value;
};

static void BuildLevel(SndHuffDecoder* dec, size_t at, int bits, int used,
                       const std::vector<SndCode>& codes) {
  for (size_t n = 0; n < (size_t(1) << bits); n++) dec->entries[at + n] = 0;
  std::vector<std::vector<SndCode>> longer(size_t(1) << bits);
  for (const SndCode& c : codes) {
    int rest = c.length - used;
    if (rest <= bits) {
      uint32_t prefix = (c.code & ((1u << rest) - 1)) << (bits - rest);
      for (uint32_t k = 0; k < (1u << (bits - rest)); k++)
        dec->entries[at + prefix + k] = uint32_t(rest) << 8 | uint32_t(c.value);
    } else {
      uint32_t prefix = (c.code >> (rest - bits)) & ((1u << bits) - 1);
      longer[prefix].push_back(c);
    }
  }
  for (size_t p = 0; p < longer.size(); p++) {
    if (longer[p].empty()) continue;
    int deepest = 0;
    for (const SndCode& c : longer[p]) deepest = std::max(deepest, c.length - used - bits);
    int subBits = std::min(deepest, 6);
    size_t sub = dec->entries.size();
    dec->entries.resize(sub + (size_t(1) << subBits));
    dec->entries[at + p] = 0x80000000u | uint32_t(subBits) << 24 | uint32_t(sub);
    BuildLevel(dec, sub, subBits, used + bits, longer[p]);
  }
}

static void BuildDecoder(SndHuffDecoder* dec, const SndHuffWord* words, int count, int size) {
  std::vector<SndCode> codes;
  int longest = 0;
  for (int i = 0; i < count; i++) {
    int value = size == 0 ? i : (i / size) << 4 | (i % size);  // count1: v w x y as given
    codes.push_back({words[i].code, words[i].length, value});
    longest = std::max(longest, int(words[i].length));
  }
  dec->rootBits = std::min(longest, 8);
  dec->entries.resize(size_t(1) << dec->rootBits);
  BuildLevel(dec, 0, dec->rootBits, 0, codes);
}

// Decodes one word; the value is x << 4 | y (count1: v w x y in bits 3..0).
static inline int DecodeWord(const SndHuffDecoder& dec, SndBits* bits) {
  uint32_t peek = bits->Peek32();
  uint32_t e = dec.entries[peek >> (32 - dec.rootBits)];
  int consumed = 0, width = dec.rootBits;
  while (e & 0x80000000u) {  // the standard's words are at most 19 bits: the peek holds them
    consumed += width;
    width = int((e >> 24) & 31);
    e = dec.entries[(e & 0xFFFFFFu) + ((peek << consumed) >> (32 - width))];
  }
  bits->pos += size_t(consumed) + ((e >> 8) & 31);
  return int(e & 0xFF);
}

void SndInitLayer3Tables() {
  for (int i = 0; i < 8207; i++) gPow43[i] = float(std::pow(double(i), 4.0 / 3.0));
  for (int q = kGainMin; q <= kGainMax; q++) gGain[q - kGainMin] = float(std::exp2(q / 4.0));
  for (int i = 0; i < 8; i++) {
    double s = std::sqrt(1.0 + kAliasC[i] * kAliasC[i]);
    gAliasCs[i] = float(1.0 / s);
    gAliasCa[i] = float(kAliasC[i] / s);
  }
  for (int i = 0; i < 36; i++) {
    double longWin = std::sin(M_PI / 36 * (i + 0.5));
    gWindows[0][i] = float(longWin);
    gWindows[1][i] = float(i < 18   ? longWin
                           : i < 24 ? 1.0
                           : i < 30 ? std::sin(M_PI / 12 * (i - 18 + 0.5))
                                    : 0.0);
    gWindows[3][i] = float(i < 6    ? 0.0
                           : i < 12 ? std::sin(M_PI / 12 * (i - 6 + 0.5))
                           : i < 18 ? 1.0
                                    : longWin);
    gWindows[2][i] = i < 12 ? float(std::sin(M_PI / 12 * (i + 0.5))) : 0.0f;
  }
  for (int i = 0; i < 18; i++) gDctIvScale18[i] = float(2.0 * std::cos(M_PI * (2 * i + 1) / 72.0));
  for (int i = 0; i < 9; i++) gDctIvScale9[i] = float(2.0 * std::cos(M_PI * (2 * i + 1) / 36.0));
  for (int m = 0; m < 5; m++) {
    for (int i = 0; i < 4; i++) gDct9Even[m][i] = float(std::cos(M_PI * (2 * i + 1) * (2 * m) / 18.0));
    gDct9Even[m][4] = (m & 1) ? -1.0f : 1.0f;  // the middle input: cos(pi m)
  }
  for (int m = 0; m < 4; m++)
    for (int i = 0; i < 4; i++) gDct9Odd[m][i] = float(std::cos(M_PI * (2 * i + 1) * (2 * m + 1) / 18.0));
  for (int n = 0; n < 6; n++)
    for (int k = 0; k < 6; k++) gDct6[n][k] = float(std::cos(M_PI / 6 * (n + 0.5) * (k + 0.5)));
  for (int p = 0; p < 7; p++) {
    if (p == 6) {
      gIsRatio[p][0] = 1.0f;
      gIsRatio[p][1] = 0.0f;
      continue;
    }
    double t = std::tan(p * M_PI / 12);
    gIsRatio[p][0] = float(t / (1 + t));
    gIsRatio[p][1] = float(1 / (1 + t));
  }
  for (int n = 0; n < 32; n++) {
    gLsfIs[0][n] = float(std::pow(2.0, -0.25 * n));
    gLsfIs[1][n] = float(std::pow(2.0, -0.5 * n));
  }
  for (int t = 1; t < 32; t++) {
    const SndHuffTableDef& def = kSndHuffTables[t];
    if (!def.words || !gHuff[t].entries.empty()) continue;
    if (t > 16 && t < 24 && !gHuff[16].entries.empty()) {
      gHuff[t] = gHuff[16];
      continue;
    }
    if (t > 24 && !gHuff[24].entries.empty()) {
      gHuff[t] = gHuff[24];
      continue;
    }
    BuildDecoder(&gHuff[t], def.words, def.size * def.size, def.size);
  }
  for (int t = 0; t < 2; t++) BuildDecoder(&gHuff[32 + t], kSndCount1Tables[t], 16, 0);
}

// --- Side information -------------------------------------------------------------------

static bool ReadSideInfo(SndMpegDecoder* d, SndBits* bits, int* mainDataBegin, int scfsi[2]) {
  int nch = d->channels, granules = d->lsf ? 1 : 2;
  const short* longBands = kBandsLong[d->rateIndex];
  const short* shortBands = kBandsShort[d->rateIndex];
  if (d->lsf) {
    *mainDataBegin = int(bits->Get(8));
    bits->Get(nch == 1 ? 1 : 2);
  } else {
    *mainDataBegin = int(bits->Get(9));
    bits->Get(nch == 1 ? 5 : 3);
    for (int ch = 0; ch < nch; ch++) scfsi[ch] = int(bits->Get(4));
  }
  for (int gr = 0; gr < granules; gr++) {
    for (int ch = 0; ch < nch; ch++) {
      SndGranuleInfo* g = &d->granule[gr][ch];
      g->part23Length = int(bits->Get(12));
      g->bigValues = int(bits->Get(9));
      if (g->bigValues > 288) return false;
      g->globalGain = int(bits->Get(8));
      g->scalefacCompress = int(bits->Get(d->lsf ? 9 : 4));
      g->windowSwitching = int(bits->Get(1));
      if (g->windowSwitching) {
        g->blockType = int(bits->Get(2));
        if (g->blockType == 0) return false;
        g->mixedBlock = int(bits->Get(1));
        g->tableSelect[0] = int(bits->Get(5));
        g->tableSelect[1] = int(bits->Get(5));
        g->tableSelect[2] = 0;
        for (int w = 0; w < 3; w++) g->subblockGain[w] = int(bits->Get(3));
        g->region1Start = g->blockType == 2 && !g->mixedBlock ? 3 * shortBands[3] : longBands[8];
        g->region2Start = 576;
      } else {
        g->blockType = 0;
        g->mixedBlock = 0;
        for (int r = 0; r < 3; r++) g->tableSelect[r] = int(bits->Get(5));
        g->subblockGain[0] = g->subblockGain[1] = g->subblockGain[2] = 0;
        int r0 = int(bits->Get(4)), r1 = int(bits->Get(3));
        g->region1Start = longBands[std::min(r0 + 1, 22)];
        g->region2Start = longBands[std::min(r0 + r1 + 2, 22)];
      }
      g->preflag = d->lsf ? 0 : int(bits->Get(1));
      g->scalefacScale = int(bits->Get(1));
      g->count1Table = int(bits->Get(1));
    }
  }
  return true;
}

// --- Scale factors --------------------------------------------------------------------------

static void ReadScalefactorsMpeg1(SndMpegDecoder* d, SndBits* bits, SndGranuleInfo* g, int gr,
                                  int ch, int scfsi) {
  int slen1 = kSlen[0][g->scalefacCompress], slen2 = kSlen[1][g->scalefacCompress];
  uint8_t* sl = d->scalefacLong[ch];
  uint8_t(*ss)[3] = d->scalefacShort[ch];
  if (g->blockType == 2) {
    int band = 0;
    if (g->mixedBlock) {
      for (; band < 8; band++) sl[band] = uint8_t(bits->Get(slen1));
      band = 3;
    }
    for (; band < 12; band++)
      for (int w = 0; w < 3; w++) ss[band][w] = uint8_t(bits->Get(band < 6 ? slen1 : slen2));
    ss[12][0] = ss[12][1] = ss[12][2] = 0;
    return;
  }
  static const int kGroups[5] = {0, 6, 11, 16, 21};
  for (int group = 0; group < 4; group++) {
    if (gr == 1 && (scfsi & (8 >> group))) continue;  // reused from the first granule
    for (int band = kGroups[group]; band < kGroups[group + 1]; band++)
      sl[band] = uint8_t(bits->Get(group < 2 ? slen1 : slen2));
  }
  sl[21] = sl[22] = 0;
}

static void ReadScalefactorsLsf(SndMpegDecoder* d, SndBits* bits, SndGranuleInfo* g, int ch,
                                bool intensityRight) {
  int sfc = g->scalefacCompress, slen[4] = {0, 0, 0, 0}, scheme;
  if (!intensityRight) {
    if (sfc < 400) {
      slen[0] = (sfc >> 4) / 5;
      slen[1] = (sfc >> 4) % 5;
      slen[2] = (sfc & 15) >> 2;
      slen[3] = sfc & 3;
      scheme = 0;
    } else if (sfc < 500) {
      sfc -= 400;
      slen[0] = (sfc >> 2) / 5;
      slen[1] = (sfc >> 2) % 5;
      slen[2] = sfc & 3;
      scheme = 1;
    } else {
      sfc -= 500;
      slen[0] = sfc / 3;
      slen[1] = sfc % 3;
      g->preflag = 1;
      scheme = 2;
    }
  } else {
    sfc >>= 1;
    if (sfc < 180) {
      slen[0] = sfc / 36;
      slen[1] = (sfc % 36) / 6;
      slen[2] = (sfc % 36) % 6;
      scheme = 3;
    } else if (sfc < 244) {
      sfc -= 180;
      slen[0] = (sfc & 63) >> 4;
      slen[1] = (sfc & 15) >> 2;
      slen[2] = sfc & 3;
      scheme = 4;
    } else {
      sfc -= 244;
      slen[0] = sfc / 3;
      slen[1] = sfc % 3;
      scheme = 5;
    }
  }
  int kind = g->blockType == 2 ? (g->mixedBlock ? 2 : 1) : 0;
  uint8_t values[40] = {}, maxima[40] = {};
  int n = 0;
  for (int part = 0; part < 4; part++) {
    for (int i = 0; i < kLsfPartitions[scheme][kind][part]; i++) {
      values[n] = uint8_t(bits->Get(slen[part]));
      maxima[n] = uint8_t((1 << slen[part]) - 1);
      n++;
    }
  }
  // Spread the flat list over the bands; maxima go with them for the intensity decision.
  uint8_t* sl = d->scalefacLong[ch];
  uint8_t(*ss)[3] = d->scalefacShort[ch];
  uint8_t* mx = d->lsfIntensityMax;  // long bands 0..21, short band b window w at 22 + ...
  int at = 0;
  if (kind == 0) {
    for (int b = 0; b < 21; b++, at++) {
      sl[b] = values[at];
      if (intensityRight) mx[b] = maxima[at];
    }
    sl[21] = sl[22] = 0;
    return;
  }
  int band = 0;
  if (kind == 2) {
    for (int b = 0; b < 6; b++, at++) {
      sl[b] = values[at];
      if (intensityRight) mx[b] = maxima[at];
    }
    band = 3;
  }
  for (; band < 12; band++)
    for (int w = 0; w < 3; w++, at++) {
      ss[band][w] = values[at];
      if (intensityRight) mx[22 + band] = maxima[at];
    }
  ss[12][0] = ss[12][1] = ss[12][2] = 0;
}

// --- Huffman decoding -----------------------------------------------------------------------

// Decodes the quantised lines of one granule and channel into ix; returns the count of lines
// up to the last non-zero one, or -1 when the big values ran past the granule's bits.
static int ReadHuffman(SndBits* bits, const SndGranuleInfo* g, size_t end, int* ix) {
  int big = g->bigValues * 2;
  int bounds[3] = {std::min(g->region1Start, big), std::min(g->region2Start, big), big};
  int i = 0;
  for (int r = 0; r < 3; r++) {
    int t = g->tableSelect[r];
    const SndHuffTableDef& def = kSndHuffTables[t];
    if (i >= bounds[r]) continue;
    if (t == 0) {
      for (; i < bounds[r]; i++) ix[i] = 0;
      continue;
    }
    if (!def.words) return -1;  // tables 4 and 14 are not in use
    const SndHuffDecoder& dec = gHuff[t];
    int linbits = def.linbits;
    for (; i < bounds[r]; i += 2) {
      if (bits->pos > end) return -1;  // every word starts inside the granule's bits
      int v = DecodeWord(dec, bits);
      int x = v >> 4, y = v & 15;
      if (x == 15 && linbits) x += int(bits->Get(linbits));
      if (x && bits->Get(1)) x = -x;
      if (y == 15 && linbits) y += int(bits->Get(linbits));
      if (y && bits->Get(1)) y = -y;
      ix[i] = x;
      ix[i + 1] = y;
    }
  }
  if (bits->pos > end) return -1;
  const SndHuffDecoder& quad = gHuff[32 + g->count1Table];
  while (i + 4 <= 576 && bits->pos < end) {
    int v = g->count1Table ? int(15 - bits->Get(4)) : DecodeWord(quad, bits);
    int q[4] = {(v >> 3) & 1, (v >> 2) & 1, (v >> 1) & 1, v & 1};
    for (int k = 0; k < 4; k++)
      if (q[k] && bits->Get(1)) q[k] = -1;
    if (bits->pos > end) break;  // the last quadruple ran past the granule: not part of it
    for (int k = 0; k < 4; k++) ix[i + k] = q[k];
    i += 4;
  }
  int nonzero = i;
  while (nonzero > 0 && ix[nonzero - 1] == 0) nonzero--;
  for (; i < 576; i++) ix[i] = 0;
  bits->pos = end;
  return nonzero;
}

// --- Requantisation ---------------------------------------------------------------------

static inline float GainOf(int q) {
  q = std::clamp(q, int(kGainMin), int(kGainMax));
  return gGain[q - kGainMin];
}

static inline void ScaleLines(float* xr, const int* ix, int from, int to, float gain) {
  for (int i = from; i < to; i++) {
    int v = ix[i];
    xr[i] = v >= 0 ? gPow43[v] * gain : -gPow43[-v] * gain;
  }
}

static void Requantise(SndMpegDecoder* d, const SndGranuleInfo* g, int ch, int nonzero) {
  float* xr = d->xr[ch];
  const int* ix = d->ix[ch];
  const short* lb = kBandsLong[d->rateIndex];
  const short* sb = kBandsShort[d->rateIndex];
  int shift = g->scalefacScale ? 2 : 1;
  int base = g->globalGain - 210;
  std::fill(xr, xr + 576, 0.0f);
  int shortFrom = 0, longEnd = 576;
  if (g->blockType == 2) {
    longEnd = g->mixedBlock ? lb[d->lsf ? 6 : 8] : 0;
    shortFrom = g->mixedBlock ? 3 : 0;
  }
  for (int b = 0; b < 22 && lb[b] < longEnd && lb[b] < nonzero; b++) {
    int sf = d->scalefacLong[ch][b] + (g->preflag ? kPretab[b] : 0);
    ScaleLines(xr, ix, lb[b], std::min<int>(lb[b + 1], nonzero), GainOf(base - (sf << shift)));
  }
  if (g->blockType != 2) return;
  for (int b = shortFrom; b < 13; b++) {
    int width = sb[b + 1] - sb[b];
    int start = 3 * sb[b];
    if (start >= nonzero) break;
    for (int w = 0; w < 3; w++) {
      int q = base - 8 * g->subblockGain[w] - (d->scalefacShort[ch][b][w] << shift);
      int from = start + w * width;
      ScaleLines(xr, ix, from, std::min(from + width, nonzero), GainOf(q));
    }
  }
}

// --- Stereo ---------------------------------------------------------------------------------

struct SndSpan {
  int from, to, band, window;  // lines [from, to) of one band (and window for short blocks)
};

// The bands of a granule in line order (short bands window by window, as decoded).
static int ListSpans(const SndMpegDecoder* d, const SndGranuleInfo* g, SndSpan* spans) {
  const short* lb = kBandsLong[d->rateIndex];
  const short* sb = kBandsShort[d->rateIndex];
  int n = 0;
  if (g->blockType != 2) {
    for (int b = 0; b < 22; b++) spans[n++] = {lb[b], lb[b + 1], b, -1};
    return n;
  }
  int shortFrom = 0;
  if (g->mixedBlock) {
    int longBands = d->lsf ? 6 : 8;
    for (int b = 0; b < longBands; b++) spans[n++] = {lb[b], lb[b + 1], b, -1};
    shortFrom = 3;
  }
  for (int b = shortFrom; b < 13; b++) {
    int width = sb[b + 1] - sb[b];
    for (int w = 0; w < 3; w++) {
      int from = 3 * sb[b] + w * width;
      spans[n++] = {from, from + width, b, w};
    }
  }
  return n;
}

static void ApplyStereo(SndMpegDecoder* d, const SndGranuleInfo* g, bool ms, bool is,
                        int nonzero1) {
  float* l = d->xr[0];
  float* r = d->xr[1];
  const float kRoot = float(M_SQRT1_2);
  if (!is) {
    for (int i = 0; i < 576; i++) {
      float m = l[i], s = r[i];
      l[i] = (m + s) * kRoot;
      r[i] = (m - s) * kRoot;
    }
    return;
  }
  SndSpan spans[40];
  int count = ListSpans(d, g, spans);
  // Intensity coding starts above the right channel's last non-zero band: for long bands one
  // bound, for short bands one per window (and a mixed block's long part only when no
  // short window holds anything).
  bool nonzeroInWindow[3] = {false, false, false};
  int lastLong = -1, lastShort[3] = {-1, -1, -1};
  for (int k = 0; k < count; k++) {
    const SndSpan& s = spans[k];
    bool any = false;
    for (int i = s.from; i < s.to && i < nonzero1; i++)
      if (d->ix[1][i] != 0) any = true;
    if (!any) continue;
    if (s.window < 0)
      lastLong = s.band;
    else {
      lastShort[s.window] = s.band;
      nonzeroInWindow[s.window] = true;
    }
  }
  bool shortNonzero = nonzeroInWindow[0] || nonzeroInWindow[1] || nonzeroInWindow[2];
  // The last band (long 21, short 12) carries no position of its own: it takes the band below
  // it (in its window, an illegal position too) when that band lies in the intensity range,
  // else the neutral position (centre for MPEG-1, equal levels for the lower rates).
  bool above[40], legalAt[40], coded[40];
  int positions[40];
  for (int k = 0; k < count; k++) {
    const SndSpan& s = spans[k];
    bool intensity, legal;
    int pos;
    bool lastBand = s.window < 0 ? s.band == 21 : s.band == 12;
    if (s.window < 0)
      intensity = s.band > lastLong && !(g->blockType == 2 && shortNonzero);
    else
      intensity = s.band > lastShort[s.window];
    if (lastBand) {
      int below = k - (s.window < 0 ? 1 : 3);
      legal = !above[below] || legalAt[below];
      pos = above[below] ? positions[below] : d->lsf ? 0 : 3;
    } else if (s.window < 0) {
      pos = d->scalefacLong[1][s.band];
      legal = d->lsf ? pos != d->lsfIntensityMax[s.band] : pos < 7;
    } else {
      pos = d->scalefacShort[1][s.band][s.window];
      legal = d->lsf ? pos != d->lsfIntensityMax[22 + s.band] : pos < 7;
    }
    above[k] = intensity;
    legalAt[k] = legal;
    coded[k] = intensity && legal;
    positions[k] = pos;
  }
  for (int k = 0; k < count; k++) {
    const SndSpan& s = spans[k];
    int pos = positions[k];
    if (coded[k]) {
      float kl, kr;
      if (!d->lsf) {
        kl = gIsRatio[pos][0];
        kr = gIsRatio[pos][1];
      } else {
        const float* scale = gLsfIs[d->granule[0][1].scalefacCompress & 1];
        kl = (pos & 1) ? scale[(pos + 1) >> 1] : 1.0f;
        kr = (pos & 1) ? 1.0f : scale[pos >> 1];
      }
      for (int i = s.from; i < s.to; i++) {
        float v = l[i];
        l[i] = v * kl;
        r[i] = v * kr;
      }
    } else if (ms) {
      for (int i = s.from; i < s.to; i++) {
        float m = l[i], sd = r[i];
        l[i] = (m + sd) * kRoot;
        r[i] = (m - sd) * kRoot;
      }
    }
  }
}

// --- Hybrid filterbank ----------------------------------------------------------------------

static void ReorderShort(const SndMpegDecoder* d, const SndGranuleInfo* g, float* xr) {
  const short* sb = kBandsShort[d->rateIndex];
  float tmp[576];
  int first = g->mixedBlock ? 3 : 0;
  int from = 3 * sb[first];
  for (int b = first; b < 13; b++) {
    int width = sb[b + 1] - sb[b], start = 3 * sb[b];
    for (int w = 0; w < 3; w++)
      for (int i = 0; i < width; i++) tmp[start + 3 * i + w] = xr[start + w * width + i];
  }
  std::memcpy(xr + from, tmp + from, sizeof(float) * size_t(576 - from));
}

static void AliasReduce(float* xr, int boundaries) {
  for (int sb = 0; sb < boundaries; sb++) {
    float* lo = xr + 18 * sb + 17;
    float* hi = xr + 18 * (sb + 1);
    for (int i = 0; i < 8; i++) {
      float a = lo[-i], b = hi[i];
      lo[-i] = a * gAliasCs[i] - b * gAliasCa[i];
      hi[i] = b * gAliasCs[i] + a * gAliasCa[i];
    }
  }
}

// DCT-II of 9 points of four subbands, X[k] = sum u[i] cos(pi (2i + 1) k / 18): inputs i and
// 8 - i meet every even output with the same cosine and every odd one with the opposite
// sign, so sums feed the even outputs and differences the odd ones.
static inline void Dct9(const SndLanes* u, SndLanes* out) {
  SndLanes sums[5], differences[4];
  for (int i = 0; i < 4; i++) {
    sums[i] = u[i] + u[8 - i];
    differences[i] = u[i] - u[8 - i];
  }
  sums[4] = u[4];
  for (int m = 0; m < 5; m++) {
    SndLanes acc = sums[0] * gDct9Even[m][0];
    for (int i = 1; i < 5; i++) acc = acc + sums[i] * gDct9Even[m][i];
    out[2 * m] = acc;
  }
  for (int m = 0; m < 4; m++) {
    SndLanes acc = differences[0] * gDct9Odd[m][0];
    for (int i = 1; i < 4; i++) acc = acc + differences[i] * gDct9Odd[m][i];
    out[2 * m + 1] = acc;
  }
}

// DCT-IV of N points from a DCT-II: with t[i] = y[i] 2 cos(pi (2i + 1) / 4N), the DCT-II of t
// at k is X[k] + X[k - 1] (X[-1] = X[0]), so X[0] = C[0] / 2 and X[k] = C[k] - X[k - 1].
static inline void DctIv9(const SndLanes* v, SndLanes* out) {
  SndLanes scaled[9], c[9];
  for (int i = 0; i < 9; i++) scaled[i] = v[i] * gDctIvScale9[i];
  Dct9(scaled, c);
  out[0] = c[0] * 0.5f;
  for (int k = 1; k < 9; k++) out[k] = c[k] - out[k - 1];
}

// DCT-IV of 18 points, z[n] = sum y[k] cos(pi (2n + 1) (2k + 1) / 72), of four subbands: the
// DCT-II of 18 splits into a DCT-II of 9 (even outputs) and a DCT-IV of 9 (odd outputs).
static inline void DctIv18(const SndLanes* y, SndLanes* z) {
  SndLanes t[18], sums[9], differences[9], even[9], odd[9];
  for (int i = 0; i < 18; i++) t[i] = y[i] * gDctIvScale18[i];
  for (int i = 0; i < 9; i++) {
    sums[i] = t[i] + t[17 - i];
    differences[i] = t[i] - t[17 - i];
  }
  Dct9(sums, even);
  DctIv9(differences, odd);
  z[0] = even[0] * 0.5f;
  for (int k = 1; k < 18; k++) z[k] = ((k & 1) ? odd[k >> 1] : even[k >> 1]) - z[k - 1];
}

// The 36-point IMDCT of four subbands with a long, start or stop window: the first half is
// added to the overlap, the second half becomes the next overlap.
static inline void ImdctLong(const SndLanes* in, SndLanes* overlap, const float* window, SndLanes* out) {
  SndLanes z[18];
  DctIv18(in, z);
  SndLanes zero = {};
  for (int i = 0; i < 18; i++) {
    // The 36 outputs unfold the 18: z[9..17], -z[17..0], -z[0..8].
    SndLanes first = i < 9 ? z[i + 9] : zero - z[26 - i];
    SndLanes second = i < 9 ? zero - z[8 - i] : zero - z[i - 9];
    out[i] = first * window[i] + overlap[i];
    overlap[i] = second * window[i + 18];
  }
}

// Three 12-point IMDCTs of four subbands (the windows of a short block, lines interleaved by
// window), overlapped inside the 36 outputs at 6, 12 and 18.
static inline void ImdctShort(const SndLanes* in, SndLanes* overlap, SndLanes* out) {
  SndLanes sum36[36] = {};
  const float* window = gWindows[2];
  for (int w = 0; w < 3; w++) {
    SndLanes z[6];
    for (int n = 0; n < 6; n++) {
      SndLanes acc = in[w] * gDct6[n][0];
      for (int k = 1; k < 6; k++) acc = acc + in[3 * k + w] * gDct6[n][k];
      z[n] = acc;
    }
    SndLanes zero = {};
    for (int i = 0; i < 12; i++) {
      SndLanes y = i < 3 ? z[i + 3] : i < 9 ? zero - z[8 - i] : zero - z[i - 9];
      sum36[6 + 6 * w + i] = sum36[6 + 6 * w + i] + y * window[i];
    }
  }
  for (int i = 0; i < 18; i++) {
    out[i] = sum36[i] + overlap[i];
    overlap[i] = sum36[i + 18];
  }
}

// Subbands of a mixed block that take the long transform with the normal window: the lines of
// its long scale-factor bands, 36 (72 at 8 kHz, where the bands are twice as wide).
static int MixedLongSubbands(const SndMpegDecoder* d, const SndGranuleInfo* g) {
  if (!g->mixedBlock) return 0;
  return d->rateIndex == 8 ? 4 : 2;
}

// The hybrid filterbank, four subbands at a time: each subband's 18 lines through its IMDCT
// and overlap into 18 time samples, the odd time samples of odd subbands negated (frequency
// inversion). Subbands above the last one with lines give their overlap alone.
static void Hybrid(SndMpegDecoder* d, const SndGranuleInfo* g, int ch, int nonzero) {
  float* xr = d->xr[ch];
  int bands = std::min(32, (nonzero + 17) / 18);
  // The mixed flag also stands on start and stop blocks: there, too, the lowest subbands use
  // the normal window and the rest the block type's.
  int longSubbands = MixedLongSubbands(d, g);
  if (g->blockType != 2)
    AliasReduce(xr, std::min(31, bands));
  else if (longSubbands > 0)
    AliasReduce(xr, longSubbands - 1);
  int active = std::min(32, bands + (g->blockType != 2 ? 1 : 0));
  active = std::max(active, std::min(longSubbands, 32));
  float(*out)[32] = d->subband[ch];
  float(*overlap)[32] = d->overlap[ch];
  const SndLanes kInversion = {{1.0f, -1.0f, 1.0f, -1.0f}};
  for (int first = 0; first < 32; first += 4) {
    SndLanes lines[18], before[18], result[18];
    for (int t = 0; t < 18; t++) std::memcpy(&before[t], &overlap[t][first], sizeof(SndLanes));
    SndLanes after[18];
    if (first < active) {
      for (int k = 0; k < 18; k++)
        for (int l = 0; l < 4; l++) lines[k].lane[l] = xr[18 * (first + l) + k];
      std::memcpy(after, before, sizeof after);
      if (g->blockType == 2)
        ImdctShort(lines, after, result);
      else
        ImdctLong(lines, after, gWindows[g->blockType], result);
      if (first < longSubbands) {
        // The lowest subbands of a mixed block take the normal window: each lane its own.
        SndLanes longAfter[18], longResult[18];
        std::memcpy(longAfter, before, sizeof longAfter);
        ImdctLong(lines, longAfter, gWindows[0], longResult);
        for (int l = 0; l < 4 && first + l < longSubbands; l++)
          for (int t = 0; t < 18; t++) {
            result[t].lane[l] = longResult[t].lane[l];
            after[t].lane[l] = longAfter[t].lane[l];
          }
      }
    } else {
      std::memcpy(result, before, sizeof result);
      std::memset(after, 0, sizeof after);
    }
    for (int t = 0; t < 18; t++) {
      SndLanes value = (t & 1) ? result[t] * kInversion : result[t];
      std::memcpy(&out[t][first], &value, sizeof value);
      std::memcpy(&overlap[t][first], &after[t], sizeof(SndLanes));
    }
  }
}

// --- The frame ------------------------------------------------------------------------------

bool SndDecodeLayer3(SndMpegDecoder* d, SndBits* bits, int16_t* out, int* bytes) {
  int nch = d->channels, granules = d->lsf ? 1 : 2;
  int mainDataBegin = 0, scfsi[2] = {0, 0};
  if (!ReadSideInfo(d, bits, &mainDataBegin, scfsi)) return false;
  int sideBytes = int(bits->pos >> 3);
  int frameBytes = int(bits->limit >> 3);
  if (sideBytes > frameBytes) return false;
  uint8_t* data = d->store + 512;
  int mainBytes = frameBytes - sideBytes;
  bool haveReservoir = mainDataBegin <= d->reservoirBytes;
  // The reservoir bytes go directly before this frame's main data, over its side information.
  uint8_t* main = data + sideBytes - mainDataBegin;
  if (haveReservoir)
    std::memcpy(main, d->reservoir + d->reservoirBytes - mainDataBegin, size_t(mainDataBegin));
  // Keep the newest 511 main data bytes for the frames to come.
  {
    int keep = std::min(511, d->reservoirBytes + mainBytes);
    int fromOld = keep - std::min(keep, mainBytes);
    uint8_t next[512];
    std::memcpy(next, d->reservoir + d->reservoirBytes - fromOld, size_t(fromOld));
    std::memcpy(next + fromOld, data + sideBytes + mainBytes - (keep - fromOld),
                size_t(keep - fromOld));
    std::memcpy(d->reservoir, next, size_t(keep));
    d->reservoirBytes = keep;
  }
  int outBytes = granules * 576 * nch * 2;
  if (!haveReservoir) {
    // A frame whose reservoir lies in frames we never saw (the start of a cut file, a seek)
    // plays silence rather than noise.
    std::memset(out, 0, size_t(outBytes));
    *bytes = outBytes;
    return true;
  }
  SndBits mb{main, 0, size_t(mainDataBegin + mainBytes) * 8};
  bool ms = d->mode == 1 && (d->modeExtension & 2);
  bool is = d->mode == 1 && (d->modeExtension & 1);
  for (int gr = 0; gr < granules; gr++) {
    int nonzero[2] = {0, 0};
    for (int ch = 0; ch < nch; ch++) {
      SndGranuleInfo* g = &d->granule[gr][ch];
      size_t end = mb.pos + size_t(g->part23Length);
      if (end > mb.limit) return false;
      if (d->lsf)
        ReadScalefactorsLsf(d, &mb, g, ch, is && ch == 1);
      else
        ReadScalefactorsMpeg1(d, &mb, g, gr, ch, scfsi[ch]);
      if (mb.pos > end) return false;
      nonzero[ch] = ReadHuffman(&mb, g, end, d->ix[ch]);
      if (nonzero[ch] < 0) return false;
      Requantise(d, g, ch, nonzero[ch]);
    }
    if (nch == 2 && (ms || is)) {
      ApplyStereo(d, &d->granule[gr][1], ms, is, nonzero[1]);
      if (is) nonzero[1] = 576;  // intensity fills the right channel where the left has lines
      nonzero[0] = nonzero[1] = std::max(nonzero[0], nonzero[1]);
    }
    for (int ch = 0; ch < nch; ch++) {
      const SndGranuleInfo* g = &d->granule[gr][ch];
      int lines = nonzero[ch];
      if (g->blockType == 2) {
        ReorderShort(d, g, d->xr[ch]);
        // Reordering spreads a band's windows over the whole band.
        const short* sb = kBandsShort[d->rateIndex];
        int b = 0;
        while (b < 12 && 3 * sb[b + 1] < lines) b++;
        if (lines > 0) lines = 3 * sb[b + 1];
      }
      Hybrid(d, g, ch, lines);
    }
    SndSynthesize(d, &d->subband[0][0][0], 32, 18 * 32, nch, 18, out + gr * 576 * nch);
    *bytes = (gr + 1) * 576 * nch * 2;
  }
  return true;
}
