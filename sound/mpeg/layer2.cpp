// Layers I and II: bit allocation, scale factors, sample ungrouping and requantisation
// (ISO/IEC 11172-3 clauses 2.4.3.2 and 2.4.3.3; ISO/IEC 13818-3 for the lower rates).
#include <cmath>

#include "sound/mpeg/mpeg_local.h"

// The quantisation classes of Table B.4: levels, bits per code, three samples in one code.
struct SndQuantClass {
  int levels, bits, grouped;
};
static const SndQuantClass kClasses[18] = {
    {0, 0, 0},      {3, 5, 1},      {5, 7, 1},       {7, 3, 0},      {9, 10, 1},
    {15, 4, 0},     {31, 5, 0},     {63, 6, 0},      {127, 7, 0},    {255, 8, 0},
    {511, 9, 0},    {1023, 10, 0},  {2047, 11, 0},   {4095, 12, 0},  {8191, 13, 0},
    {16383, 14, 0}, {32767, 15, 0}, {65535, 16, 0},
};

// The allocation tables B.2a-d of ISO/IEC 11172-3 and B.1 of ISO/IEC 13818-3 share nine
// distinct rows: bits of the allocation field and the quantisation class of each value.
static const int kRowBits[9] = {4, 4, 3, 2, 4, 3, 4, 3, 2};
static const uint8_t kRowClasses[9][16] = {
    {0, 1, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 17},
    {0, 1, 2, 3, 4, 5, 6, 17},
    {0, 1, 2, 17},
    {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
    {0, 1, 2, 4, 5, 6, 7, 8},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {0, 1, 2, 4, 5, 6, 7, 8},
    {0, 1, 2, 4},
};
// Row of each subband per table (-1: above the table's subband limit).
static const int8_t kTableRows[5][32] = {
    {0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, -1, -1, -1,
     -1, -1},
    {0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, -1,
     -1},
    {4, 4, 5, 5, 5, 5, 5, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
     -1, -1, -1, -1, -1, -1, -1},
    {4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
     -1, -1, -1, -1, -1, -1},
    {6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
     8},
};

static float gScalefactor[64];  // 2^(1 - i/3) (Table B.1); index 63 is not valid and gives 0

void SndInitLayer2Tables() {
  for (int i = 0; i < 63; i++) gScalefactor[i] = float(std::exp2(1.0 - i / 3.0));
  gScalefactor[63] = 0.0f;
}

// A code of a class with n levels as a fraction: (2c - (n - 1)) / n.
static inline float Requantise(int code, int levels) {
  return float(2 * code - (levels - 1)) / float(levels);
}

static void SynthesizeSlots(SndMpegDecoder* d, float (*slots)[2][32], int count, int16_t* out) {
  SndSynthesize(d, &slots[0][0][0], 64, 32, d->channels, count, out);
}

bool SndDecodeLayer1(SndMpegDecoder* d, SndBits* bits, int16_t* out, int* bytes) {
  int nch = d->channels, bound = d->jointBound;
  int alloc[2][32] = {};
  float scale[2][32] = {};
  for (int sb = 0; sb < 32; sb++) {
    for (int ch = 0; ch < (sb < bound ? nch : 1); ch++) {
      alloc[ch][sb] = int(bits->Get(4));
      if (alloc[ch][sb] == 15) return false;  // forbidden allocation
    }
    if (sb >= bound) alloc[1][sb] = alloc[0][sb];
  }
  for (int sb = 0; sb < 32; sb++)
    for (int ch = 0; ch < nch; ch++)
      if (alloc[ch][sb]) scale[ch][sb] = gScalefactor[bits->Get(6)];
  float slots[12][2][32];
  for (int s = 0; s < 12; s++) {
    for (int sb = 0; sb < 32; sb++) {
      for (int ch = 0; ch < (sb < bound ? nch : 1); ch++) {
        float value = 0.0f;
        if (alloc[ch][sb]) {
          int b = alloc[ch][sb] + 1;
          value = Requantise(int(bits->Get(b)), (1 << b) - 1);
        }
        slots[s][ch][sb] = value * scale[ch][sb];
        if (sb >= bound) slots[s][1][sb] = value * scale[1][sb];
      }
    }
  }
  if (bits->Overrun()) return false;
  SynthesizeSlots(d, slots, 12, out);
  *bytes = 12 * 32 * nch * 2;
  return true;
}

bool SndDecodeLayer2(SndMpegDecoder* d, SndBits* bits, int16_t* out, int* bytes) {
  int nch = d->channels, bound = d->jointBound, limit = d->sbLimit;
  const int8_t* rows = kTableRows[d->allocTable];
  const SndQuantClass* cls[2][32] = {};
  for (int sb = 0; sb < limit; sb++) {
    int row = rows[sb];
    for (int ch = 0; ch < (sb < bound ? nch : 1); ch++) {
      int a = int(bits->Get(kRowBits[row]));
      cls[ch][sb] = a ? &kClasses[kRowClasses[row][a]] : nullptr;
    }
    if (sb >= bound) cls[1][sb] = cls[0][sb];
  }
  int scfsi[2][32] = {};
  for (int sb = 0; sb < limit; sb++)
    for (int ch = 0; ch < nch; ch++)
      if (cls[ch][sb]) scfsi[ch][sb] = int(bits->Get(2));
  float scale[2][32][3] = {};
  for (int sb = 0; sb < limit; sb++) {
    for (int ch = 0; ch < nch; ch++) {
      if (!cls[ch][sb]) continue;
      float* s = scale[ch][sb];
      switch (scfsi[ch][sb]) {
        case 0:
          s[0] = gScalefactor[bits->Get(6)];
          s[1] = gScalefactor[bits->Get(6)];
          s[2] = gScalefactor[bits->Get(6)];
          break;
        case 1:
          s[0] = s[1] = gScalefactor[bits->Get(6)];
          s[2] = gScalefactor[bits->Get(6)];
          break;
        case 2:
          s[0] = s[1] = s[2] = gScalefactor[bits->Get(6)];
          break;
        default:
          s[0] = gScalefactor[bits->Get(6)];
          s[1] = s[2] = gScalefactor[bits->Get(6)];
          break;
      }
    }
  }
  float slots[36][2][32];
  for (int part = 0; part < 12; part++) {
    int sf = part >> 2;
    for (int sb = 0; sb < limit; sb++) {
      for (int ch = 0; ch < (sb < bound ? nch : 1); ch++) {
        const SndQuantClass* c = cls[ch][sb];
        float v[3] = {0.0f, 0.0f, 0.0f};
        if (c) {
          if (c->grouped) {
            int code = int(bits->Get(c->bits));
            for (int k = 0; k < 3; k++) {
              v[k] = Requantise(code % c->levels, c->levels);
              code /= c->levels;
            }
          } else {
            for (int k = 0; k < 3; k++) v[k] = Requantise(int(bits->Get(c->bits)), c->levels);
          }
        }
        for (int k = 0; k < 3; k++) slots[3 * part + k][ch][sb] = v[k] * scale[ch][sb][sf];
        if (sb >= bound && nch == 2)
          for (int k = 0; k < 3; k++) slots[3 * part + k][1][sb] = v[k] * scale[1][sb][sf];
      }
    }
    for (int k = 0; k < 3; k++)
      for (int ch = 0; ch < 2; ch++)
        for (int sb = limit; sb < 32; sb++) slots[3 * part + k][ch][sb] = 0.0f;
  }
  if (bits->Overrun()) return false;
  SynthesizeSlots(d, slots, 36, out);
  *bytes = 1152 * nch * 2;
  return true;
}
