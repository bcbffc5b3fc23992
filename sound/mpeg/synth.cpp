// Polyphase synthesis shared by the three layers: the fast 32-point cosine transform, the
// 512-tap synthesis window and the rounding to 16-bit PCM.
#include <algorithm>
#include <cmath>
#include <mutex>

#include "sound/mpeg/mpeg_local.h"

// The first half (entries 0 to 256) of the synthesis window D[i] of ISO/IEC 11172-3, Annex B,
// Table 3-B.3 "Coefficients Di of the synthesis window", in units of 1/65536. The second half
// mirrors the first; the sign of every 64-entry block alternates (see BuildWindow).
static const int kSynthesisWindowHalf[257] = {
    0, -1, -1, -1, -1, -1, -1, -2, -2, -2, -2, -3,
    -3, -4, -4, -5, -5, -6, -7, -7, -8, -9, -10, -11,
    -13, -14, -16, -17, -19, -21, -24, -26, -29, -31, -35, -38,
    -41, -45, -49, -53, -58, -63, -68, -73, -79, -85, -91, -97,
    -104, -111, -117, -125, -132, -139, -147, -154, -161, -169, -176, -183,
    -190, -196, -202, -208, -213, -218, -222, -225, -227, -228, -228, -227,
    -224, -221, -215, -208, -200, -189, -177, -163, -146, -127, -106, -83,
    -57, -29, 2, 36, 72, 111, 153, 197, 244, 294, 347, 401,
    459, 519, 581, 645, 711, 779, 848, 919, 991, 1064, 1137, 1210,
    1283, 1356, 1428, 1498, 1567, 1634, 1698, 1759, 1817, 1870, 1919, 1962,
    2001, 2032, 2057, 2075, 2085, 2087, 2080, 2063, 2037, 2000, 1952, 1893,
    1822, 1739, 1644, 1535, 1414, 1280, 1131, 970, 794, 605, 402, 185,
    -45, -288, -545, -814, -1095, -1388, -1692, -2006, -2330, -2663, -3004, -3351,
    -3705, -4063, -4425, -4788, -5153, -5517, -5879, -6237, -6589, -6935, -7271, -7597,
    -7910, -8209, -8491, -8755, -8998, -9219, -9416, -9585, -9727, -9838, -9916, -9959,
    -9966, -9935, -9863, -9750, -9592, -9389, -9139, -8840, -8492, -8092, -7640, -7134,
    -6574, -5959, -5288, -4561, -3776, -2935, -2037, -1082, -70, 998, 2122, 3300,
    4533, 5818, 7154, 8540, 9975, 11455, 12980, 14548, 16155, 17799, 19478, 21189,
    22929, 24694, 26482, 28289, 30112, 31947, 33791, 35640, 37489, 39336, 41176, 43006,
    44821, 46617, 48390, 50137, 51853, 53534, 55178, 56778, 58333, 59838, 61289, 62684,
    64019, 65290, 66494, 67629, 68692, 69679, 70590, 71420, 72169, 72835, 73415, 73908,
    74313, 74630, 74856, 74992, 75038,
};

static float gWindowStd[512];  // D[i] as the standard gives it
// D[i] scaled for 16-bit output (1.0 is 32768, as in the standard), per age pair i: the taps
// D[64i + j] applied at even ages and D[64i + 32 + j] at odd ones, each with the sign of the
// vector value it meets (see StoreVector).
alignas(16) static float gWindowEven[8][32];
alignas(16) static float gWindowOdd[8][32];
static float gDctCos[31];    // 1 / (2 cos((2i + 1) pi / 2N)) for N = 32, 16, 8, 4, 2

static void BuildWindow(float scale) {
  for (int i = 0; i < 512; i++) {
    int value = i <= 256 ? kSynthesisWindowHalf[i] : kSynthesisWindowHalf[512 - i];
    float sign = ((i >> 6) & 1) ? -1.0f : 1.0f;
    gWindowStd[i] = sign * float(value) / 65536.0f;
  }
  for (int i = 0; i < 8; i++)
    for (int j = 0; j < 32; j++) {
      gWindowEven[i][j] = gWindowStd[64 * i + j] * scale * (j < 16 ? 1.0f : -1.0f);
      gWindowOdd[i][j] = -gWindowStd[64 * i + 32 + j] * scale;
    }
}

void SndInitSynthesisTables() {
  BuildWindow(32768.0f);
  int at = 0;
  for (int n = 32; n >= 2; n >>= 1)
    for (int i = 0; i < n / 2; i++)
      gDctCos[at++] = float(1.0 / (2.0 * std::cos((2 * i + 1) * M_PI / (2.0 * n))));
}

const float* SndMpegSynthesisWindow() {
  SndInitMpegTables();
  return gWindowStd;
}

// DCT-II of 32 points, X[k] = sum x[n] cos(pi (2n + 1) k / 64), of four time slots at once
// (lane l is slot l), by Lee's split done pass by pass over the whole vector: five halving
// passes (sums, and differences scaled by 1 / (2 cos)), then four passes that merge the
// halves back.
template <int N>
static inline void SplitPass(const SndLanes* x, SndLanes* y, const float* c) {
  constexpr int kHalf = N / 2;
  for (int block = 0; block < 32; block += N)
    for (int i = 0; i < kHalf; i++) {
      SndLanes lo = x[block + i], hi = x[block + N - 1 - i];
      y[block + i] = lo + hi;
      y[block + kHalf + i] = (lo - hi) * c[i];
    }
}

// The even outputs of a block are its first half, the odd ones sums of neighbours of its
// second half.
template <int N>
static inline void MergePass(const SndLanes* x, SndLanes* y) {
  constexpr int kHalf = N / 2;
  for (int block = 0; block < 32; block += N) {
    for (int k = 0; k < kHalf - 1; k++) {
      y[block + 2 * k] = x[block + k];
      y[block + 2 * k + 1] = x[block + kHalf + k] + x[block + kHalf + k + 1];
    }
    y[block + N - 2] = x[block + kHalf - 1];
    y[block + N - 1] = x[block + N - 1];
  }
}

// Kept out of line: inlined into the slot loop, its passes were vectorised across blocks
// (with shuffles) instead of across the four lanes.
[[gnu::noinline]] static void Dct32(const SndLanes* in, SndLanes* out) {
  alignas(16) SndLanes a[32], b[32];
  SplitPass<32>(in, a, gDctCos);
  SplitPass<16>(a, b, gDctCos + 16);
  SplitPass<8>(b, a, gDctCos + 24);
  SplitPass<4>(a, b, gDctCos + 28);
  SplitPass<2>(b, a, gDctCos + 30);  // blocks of two are their own transforms now
  MergePass<4>(a, b);
  MergePass<8>(b, a);
  MergePass<16>(a, b);
  MergePass<32>(b, out);
}

// Rounded half away from zero, as the standard's decoder rounds, and clipped to 16 bits (in
// this order and with these operations, the loops over it become vector code).
static inline int32_t ToPcm(float x) {
  x += std::copysign(0.5f, x);
  return int32_t(std::min(std::max(x, -32768.0f), 32767.0f));
}

// The standard's 64-value vector of a slot is [x16..x31, 0, -x31..-x17, -x16..-x1, -x0..-x15]
// for the transform x; it is kept without its signs, which the window tables carry.
static inline void StoreVector(const SndLanes* x, int l, float* vector) {
  for (int i = 0; i < 16; i++) vector[i] = x[16 + i].lane[l];
  vector[16] = 0.0f;
  for (int i = 17; i < 32; i++) vector[i] = x[48 - i].lane[l];
  for (int i = 32; i < 48; i++) vector[i] = x[48 - i].lane[l];
  for (int i = 48; i < 64; i++) vector[i] = x[i - 48].lane[l];
}

// The window's 32 sums for the newest slot of one channel, as PCM: the first half of the
// vectors at even ages and the second half at odd ones, 16 products per sum.
static inline void SndSynthesisWindow(const float (*vectors)[64], int newest, int32_t* pcm) {
  alignas(16) float sums[32] = {};
  for (int i = 0; i < 8; i++) {
    const float* we = gWindowEven[i];
    const float* wo = gWindowOdd[i];
    const float* even = vectors[(newest + 2 * i) & 15];
    const float* odd = vectors[(newest + 2 * i + 1) & 15] + 32;
    for (int j = 0; j < 32; j++) sums[j] += we[j] * even[j] + wo[j] * odd[j];
  }
  for (int j = 0; j < 32; j++) pcm[j] = ToPcm(sums[j]);
}

void SndSynthesize(SndMpegDecoder* d, const float* bands, int slotStride, int channelStride, int channels,
                   int slots, int16_t* out) {
  for (int first = 0; first < slots; first += 4) {
    const int lanes = slots - first < 4 ? slots - first : 4;
    alignas(16) SndLanes x[2][32];
    for (int ch = 0; ch < channels; ch++) {
      alignas(16) SndLanes in[32];
      const float* from = bands + first * slotStride + ch * channelStride;
      for (int sb = 0; sb < 32; sb++)
        for (int l = 0; l < 4; l++) in[sb].lane[l] = l < lanes ? from[l * slotStride + sb] : 0.0f;
      Dct32(in, x[ch]);
    }
    for (int l = 0; l < lanes; l++) {
      // The ring runs backwards, so older slots sit at higher positions.
      const int newest = d->synthNewest = (d->synthNewest + 15) & 15;
      alignas(16) int32_t pcm[2][32];
      for (int ch = 0; ch < channels; ch++) {
        StoreVector(x[ch], l, d->synthVectors[ch][newest]);
        SndSynthesisWindow(d->synthVectors[ch], newest, pcm[ch]);
      }
      if (channels == 2) {
        for (int j = 0; j < 32; j++) {
          out[2 * j] = int16_t(pcm[0][j]);
          out[2 * j + 1] = int16_t(pcm[1][j]);
        }
      } else {
        for (int j = 0; j < 32; j++) out[j] = int16_t(pcm[0][j]);
      }
      out += 32 * channels;
    }
  }
}

void SndInitMpegTables() {
  static std::once_flag once;
  std::call_once(once, [] {
    SndInitSynthesisTables();
    SndInitLayer2Tables();
    SndInitLayer3Tables();
  });
}
