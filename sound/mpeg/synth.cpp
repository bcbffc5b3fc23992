// Polyphase synthesis shared by the three layers: the fast 32-point cosine transform, the
// 512-tap synthesis window and the rounding to 16-bit PCM.
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

static float gWindow[512];   // D[i] scaled for 16-bit output (1.0 is 32768, as in the standard)
static float gWindowStd[512];  // D[i] as the standard gives it
static float gDctCos[31];    // 1 / (2 cos((2i + 1) pi / 2N)) for N = 32, 16, 8, 4, 2

static void BuildWindow(float scale) {
  for (int i = 0; i < 512; i++) {
    int value = i <= 256 ? kSynthesisWindowHalf[i] : kSynthesisWindowHalf[512 - i];
    float sign = ((i >> 6) & 1) ? -1.0f : 1.0f;
    gWindowStd[i] = sign * float(value) / 65536.0f;
    gWindow[i] = gWindowStd[i] * scale;
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

// DCT-II of N points, X[k] = sum x[n] cos(pi (2n + 1) k / 2N), by Lee's recursive split.
template <int N, int Table>
struct SndDct {
  static inline void Run(const float* in, float* out) {
    float a[N / 2], b[N / 2], ta[N / 2], tb[N / 2];
    const float* c = gDctCos + Table;
    for (int n = 0; n < N / 2; n++) {
      a[n] = in[n] + in[N - 1 - n];
      b[n] = (in[n] - in[N - 1 - n]) * c[n];
    }
    SndDct<N / 2, Table + N / 2>::Run(a, ta);
    SndDct<N / 2, Table + N / 2>::Run(b, tb);
    for (int k = 0; k < N / 2 - 1; k++) {
      out[2 * k] = ta[k];
      out[2 * k + 1] = tb[k] + tb[k + 1];
    }
    out[N - 2] = ta[N / 2 - 1];
    out[N - 1] = tb[N / 2 - 1];
  }
};
template <int Table>
struct SndDct<1, Table> {
  static inline void Run(const float* in, float* out) { out[0] = in[0]; }
};

static inline int16_t RoundClip(float x) {
  if (x > 32767.0f) return 32767;
  if (x < -32768.0f) return -32768;
  return int16_t(std::lrintf(x));
}

// Windowing of one channel: 32 output samples from the 16 newest vectors at `v`, written
// at `out` with a stride of `stride` samples.
static void SndSynthesisWindow(const float* v, int stride, int16_t* out) {
  float acc[32] = {};
  for (int i = 0; i < 8; i++) {
    const float* d0 = gWindow + 64 * i;
    const float* v0 = v + 128 * i;
    for (int j = 0; j < 32; j++) acc[j] += d0[j] * v0[j] + d0[32 + j] * v0[96 + j];
  }
  for (int j = 0; j < 32; j++) out[j * stride] = RoundClip(acc[j]);
}

void SndSynthesize(SndMpegDecoder* d, const float* const bands[2], int channels, int16_t* out) {
  d->vOffset = (d->vOffset - 64) & 1023;
  int off = d->vOffset;
  for (int ch = 0; ch < channels; ch++) {
    float x[32];
    SndDct<32, 0>::Run(bands[ch], x);
    float* v = d->v[ch];
    float vec[64];
    for (int i = 0; i < 16; i++) vec[i] = x[i + 16];
    vec[16] = 0.0f;
    for (int i = 17; i < 48; i++) vec[i] = -x[48 - i];
    for (int i = 48; i < 64; i++) vec[i] = -x[i - 48];
    std::memcpy(v + off, vec, sizeof vec);
    std::memcpy(v + off + 1024, vec, sizeof vec);
    SndSynthesisWindow(v + off, channels, out + ch);
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
