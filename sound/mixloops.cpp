// The mixing loops: the routine that adds a list of channels into a block of the mix buffer
// (floating-point and 16-bit integer families), the clear routines and the output conversion.
#include <cmath>
#include <cstring>

#include "sound/sound_local.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// 8-bit sample byte -> float for the floating-point family; -128 -> -32768, 127 -> 32767.
static float gByteToFloat[256];

void SndSetupMixLoops(bool useFloat) {
  for (int byte = 0; byte < 256; byte++) {
    int s = static_cast<int8_t>(byte);
    gByteToFloat[byte] = s < 0 ? static_cast<float>(s) * 32768.0f / 128.0f : static_cast<float>(s) * 32767.0f / 127.0f;
  }
  gSndMixer.mix = useFloat ? SndMixFloat : SndMixInt16;
  gSndMixer.clear = useFloat ? SndClearFloat : SndClearInt16;
  gSndMixer.clip = useFloat ? SndClipFloat : SndCopyOutput16;
}

// Gains of one run. The float family uses gain units (volume / 255); the integer family uses
// volume x 65536 and applies volume x 256 / 65536 per frame, as a 16-bit multiply-high would.
struct RunGains {
  float left, right, leftStep, rightStep;
  int32_t leftFixed, rightFixed, leftFixedStep, rightFixedStep;
  bool invertRight;  // surround: the right side plays in opposite phase
};

static inline float FloatValue(int16_t v) { return static_cast<float>(v); }
static inline float FloatValue(int8_t v) { return gByteToFloat[static_cast<uint8_t>(v)]; }
static inline int32_t IntValue(int16_t v) { return v; }
static inline int32_t IntValue(int8_t v) { return static_cast<int32_t>(v) * 256; }

static const int64_t kOneStep = int64_t{1} << 32;  // step 1.0: the sample plays at the mix rate

static inline int16_t Saturate16(int32_t v) {
  return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

// Mixes n frames from `data` (indexed from 0) starting at 32.32 position x. Every frame read,
// x and x + 1, lies inside `data`: the caller splits runs at the loop end.
template <typename T, bool kStereo, bool kRamp>
static void RunFloat(const T* data, int64_t x, int64_t step, uint32_t n, float* out, RunGains& g) {
  const float kFraction = 1.0f / 2147483648.0f;
  float gl = g.left, gr = g.invertRight ? -g.right : g.right;
  const float dl = g.leftStep, dr = g.invertRight ? -g.rightStep : g.rightStep;
  for (uint32_t i = 0; i < n; i++) {
    int64_t idx = x >> 32;
    float f = static_cast<float>(static_cast<uint32_t>(x) >> 1) * kFraction;
    if constexpr (kStereo) {
      const T* p = data + idx * 2;
      float l0 = FloatValue(p[0]), r0 = FloatValue(p[1]);
      float l = l0 + (FloatValue(p[2]) - l0) * f;
      float r = r0 + (FloatValue(p[3]) - r0) * f;
      out[0] += l * gl;
      out[1] += r * gr;
    } else {
      float s0 = FloatValue(data[idx]);
      float s = s0 + (FloatValue(data[idx + 1]) - s0) * f;
      out[0] += s * gl;
      out[1] += s * gr;
    }
    if constexpr (kRamp) {
      gl += dl;
      gr += dr;
    }
    out += 2;
    x += step;
  }
}

#if defined(__SSE2__)
// (s x gain) >> 16 for signed s and a gain of 0..65535, exactly as the scalar loop computes it:
// a gain of 32768 or more is taken as gain - 65536 in the signed multiply and s added back.
static inline __m128i ScaleHigh(__m128i s, __m128i signedGain, __m128i bigMask) {
  return _mm_add_epi16(_mm_mulhi_epi16(s, signedGain), _mm_and_si128(s, bigMask));
}

// The integer family at step 1.0 on a frame boundary with steady gains, 16-bit data: no
// interpolation is needed, so eight values go through at a time. Returns the frames done.
template <bool kStereo>
static uint32_t RunInt16Unit(const int16_t* data, uint32_t n, int16_t* out, int32_t gainLeft, int32_t gainRight,
                             bool invertRight) {
  const int16_t gl = static_cast<int16_t>(gainLeft), gr = static_cast<int16_t>(gainRight);
  const int16_t bl = gainLeft >= 32768 ? -1 : 0, br = gainRight >= 32768 ? -1 : 0;
  const __m128i zero = _mm_setzero_si128();
  uint32_t done = 0;
  if constexpr (kStereo) {
    const __m128i gains = _mm_setr_epi16(gl, gr, gl, gr, gl, gr, gl, gr);
    const __m128i big = _mm_setr_epi16(bl, br, bl, br, bl, br, bl, br);
    const __m128i flip = invertRight ? _mm_setr_epi16(0, -1, 0, -1, 0, -1, 0, -1) : zero;
    for (; done + 4 <= n; done += 4) {
      __m128i v = ScaleHigh(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + done * 2)), gains, big);
      v = _mm_sub_epi16(_mm_xor_si128(v, flip), flip);  // negate the right values when inverted
      __m128i* o = reinterpret_cast<__m128i*>(out + done * 2);
      _mm_storeu_si128(o, _mm_adds_epi16(_mm_loadu_si128(o), v));
    }
  } else {
    const __m128i gainL = _mm_set1_epi16(gl), gainR = _mm_set1_epi16(gr);
    const __m128i bigL = _mm_set1_epi16(bl), bigR = _mm_set1_epi16(br);
    for (; done + 8 <= n; done += 8) {
      __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + done));
      __m128i l = ScaleHigh(s, gainL, bigL);
      __m128i r = ScaleHigh(s, gainR, bigR);
      if (invertRight) r = _mm_sub_epi16(zero, r);
      __m128i* o = reinterpret_cast<__m128i*>(out + done * 2);
      _mm_storeu_si128(o, _mm_adds_epi16(_mm_loadu_si128(o), _mm_unpacklo_epi16(l, r)));
      _mm_storeu_si128(o + 1, _mm_adds_epi16(_mm_loadu_si128(o + 1), _mm_unpackhi_epi16(l, r)));
    }
  }
  return done;
}
#endif

#if defined(__SSE2__)
// The integer family on mono data at any step with steady gains, four frames at a time.
// s0 + ((s1 - s0) * w >> 15) is computed as (s0 * (32767 - w) + s1 * w + s0) >> 15, which is the
// same number, so that one multiply-add does the interpolation. Returns the frames done.
template <typename T>
static uint32_t RunIntMonoResampled(const T* data, int64_t x, int64_t step, uint32_t n, int16_t* out,
                                      int32_t gainLeft, int32_t gainRight, bool invertRight) {
  const __m128i gainL = _mm_set1_epi16(static_cast<int16_t>(gainLeft));
  const __m128i gainR = _mm_set1_epi16(static_cast<int16_t>(gainRight));
  const __m128i bigL = _mm_set1_epi16(gainLeft >= 32768 ? -1 : 0);
  const __m128i bigR = _mm_set1_epi16(gainRight >= 32768 ? -1 : 0);
  const __m128i zero = _mm_setzero_si128();
  uint32_t done = 0;
  for (; done + 4 <= n; done += 4) {
    int16_t pairs[8], weights[8];
    for (int k = 0; k < 4; k++) {
      int64_t at = x + step * k;
      const T* p = data + (at >> 32);
      int16_t w = static_cast<int16_t>(static_cast<uint32_t>(at) >> 17);
      pairs[k * 2] = static_cast<int16_t>(IntValue(p[0]));
      pairs[k * 2 + 1] = static_cast<int16_t>(IntValue(p[1]));
      weights[k * 2] = static_cast<int16_t>(32767 - w);
      weights[k * 2 + 1] = w;
    }
    x += step * 4;
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs));
    __m128i first = _mm_srai_epi32(_mm_slli_epi32(v, 16), 16);
    __m128i sum = _mm_add_epi32(_mm_madd_epi16(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights))), first);
    __m128i s = _mm_packs_epi32(_mm_srai_epi32(sum, 15), zero);
    __m128i l = ScaleHigh(s, gainL, bigL);
    __m128i r = ScaleHigh(s, gainR, bigR);
    if (invertRight) r = _mm_sub_epi16(zero, r);
    __m128i* o = reinterpret_cast<__m128i*>(out + done * 2);
    _mm_storeu_si128(o, _mm_adds_epi16(_mm_loadu_si128(o), _mm_unpacklo_epi16(l, r)));
  }
  return done;
}
#endif

template <typename T, bool kStereo, bool kRamp>
static void RunInt(const T* data, int64_t x, int64_t step, uint32_t n, int16_t* out, RunGains& g) {
  int32_t gl = g.leftFixed, gr = g.rightFixed;
  const int32_t sign = g.invertRight ? -1 : 1;
  uint32_t i = 0;
#if defined(__SSE2__)
  if constexpr (!kRamp) {
    const bool unitStep = step == kOneStep && static_cast<uint32_t>(x) == 0;
    if constexpr (sizeof(T) == 2) {
      if (unitStep) i = RunInt16Unit<kStereo>(data + (x >> 32) * (kStereo ? 2 : 1), n, out, gl >> 8, gr >> 8, g.invertRight);
    }
    if constexpr (!kStereo) {
      if (!unitStep || sizeof(T) != 2) i = RunIntMonoResampled(data, x, step, n, out, gl >> 8, gr >> 8, g.invertRight);
    }
    x += static_cast<int64_t>(i) * step;
    out += static_cast<size_t>(i) * 2;
  }
#endif
  for (; i < n; i++) {
    int64_t idx = x >> 32;
    int32_t w = static_cast<int32_t>(static_cast<uint32_t>(x) >> 17);  // 15-bit weight
    int32_t l, r;
    if constexpr (kStereo) {
      const T* p = data + idx * 2;
      int32_t l0 = IntValue(p[0]), r0 = IntValue(p[1]);
      l = l0 + (((IntValue(p[2]) - l0) * w) >> 15);
      r = r0 + (((IntValue(p[3]) - r0) * w) >> 15);
    } else {
      int32_t s0 = IntValue(data[idx]);
      l = r = s0 + (((IntValue(data[idx + 1]) - s0) * w) >> 15);
    }
    out[0] = Saturate16(out[0] + ((l * (gl >> 8)) >> 16));
    out[1] = Saturate16(out[1] + sign * ((r * (gr >> 8)) >> 16));
    if constexpr (kRamp) {
      gl += g.leftFixedStep;
      gr += g.rightFixedStep;
    }
    out += 2;
    x += step;
  }
}

template <bool kFloat, typename T, bool kStereo>
static void Run(const T* data, int64_t x, int64_t step, uint32_t n, void* out, RunGains& g, bool ramp) {
  if constexpr (kFloat) {
    if (ramp) RunFloat<T, kStereo, true>(data, x, step, n, static_cast<float*>(out), g);
    else RunFloat<T, kStereo, false>(data, x, step, n, static_cast<float*>(out), g);
  } else {
    if (ramp) RunInt<T, kStereo, true>(data, x, step, n, static_cast<int16_t*>(out), g);
    else RunInt<T, kStereo, false>(data, x, step, n, static_cast<int16_t*>(out), g);
  }
}

static const int64_t kOne = int64_t{1} << 32;

// Reflects a position at a bidirectional loop's edge: frame p becomes 2 * edge - 1 - p with
// the fraction mirrored, so step 1.0 plays each end frame twice (..18 19 19 18..).
static int64_t Reflect(int64_t x, int64_t edgeFrame) {
  int64_t whole = x >> 32;
  uint32_t fraction = static_cast<uint32_t>(x);
  return (2 * edgeFrame - 1 - whole) * kOne + static_cast<int64_t>(static_cast<uint32_t>(0u - fraction));
}

// Handles a position that has reached the loop end (or, backward, passed the loop start).
// False when the channel is freed.
static bool WrapAtLoop(SndChannel* ch, int64_t& x, bool& back, int64_t start, int64_t end) {
  int64_t length = end - start;
  if (ch->loopMode & kSndLoopBidi) {
    for (int bounce = 0; bounce < 64; bounce++) {
      if (back && x < start) {
        x = Reflect(x, ch->loopStart);
        back = false;
      } else if (!back && x >= end) {
        x = Reflect(x, static_cast<int64_t>(ch->loopStart) + ch->loopLength);
        back = true;
      } else {
        return true;
      }
    }
    x = start;  // a step far larger than the loop: restart it
    back = false;
    return true;
  }
  if (ch->loopMode & kSndLoopNormal) {
    if (back) {  // loop mode changed while moving backward
      x = start;
      back = false;
    } else {
      x = start + (x - start) % length;
    }
    return true;
  }
  ch->position = 0;
  ch->sample = nullptr;
  ch->priority = 0;
  return false;
}

template <bool kFloat, typename T, bool kStereo>
static void MixChannel(SndChannel* ch, uint8_t* out, int frames) {
  const int frameOut = kFloat ? 8 : 4;
  const int rampLength = gSndMixer.rampLength;
  SndSample* s = ch->sample;
  const T* data = reinterpret_cast<const T*>(s->data);
  const int values = kStereo ? 2 : 1;
  int64_t x = ch->position;
  bool back = ch->direction == 2;
  uint32_t left = static_cast<uint32_t>(frames);
  while (left > 0) {
    const int64_t start = static_cast<int64_t>(ch->loopStart) * kOne;
    const int64_t end = (static_cast<int64_t>(ch->loopStart) + ch->loopLength) * kOne;
    const int64_t lastFrame = end - kOne;
    if ((!back && x >= end) || (back && x < start)) {
      if (!WrapAtLoop(ch, x, back, start, end)) return;
      continue;
    }
    if (back && x >= end) x = lastFrame;
    // Volume ramp: a change of the target volumes glides over the ramp length.
    int targetLeft, targetRight;
    if (ch->mute) {
      targetLeft = targetRight = 0;
    } else if (ch->surround) {
      targetLeft = targetRight = ch->halfVolume;
    } else {
      targetLeft = ch->leftVolume;
      targetRight = ch->rightVolume;
    }
    if (!(ch->rampFrames && ch->rampTarget[0] == targetLeft && ch->rampTarget[1] == targetRight)) {
      ch->rampTarget[0] = targetLeft;
      ch->rampTarget[1] = targetRight;
      int32_t dl = targetLeft * 65536 - ch->rampCurrent[0];
      int32_t dr = targetRight * 65536 - ch->rampCurrent[1];
      ch->rampStep[0] = dl / rampLength;
      ch->rampStep[1] = dr / rampLength;
      ch->rampFrames = (dl || dr) ? static_cast<uint32_t>(rampLength) : 0;
    }
    const bool ramp = ch->rampFrames != 0;
    // Frames of this run: up to the loop end, or up to the last frame of the loop, which
    // interpolates toward the guard frame and is mixed from a two-frame copy.
    const int64_t step = ch->step;
    bool edge;
    uint64_t n;
    if (!back) {
      edge = x >= lastFrame;
      uint64_t distance = static_cast<uint64_t>((edge ? end : lastFrame) - x);
      n = distance / static_cast<uint64_t>(step) + (distance % static_cast<uint64_t>(step) != 0);
    } else {
      edge = x >= lastFrame;
      uint64_t distance = static_cast<uint64_t>(x - (edge ? lastFrame : start));
      n = distance / static_cast<uint64_t>(step) + 1;
    }
    if (n > left) n = left;
    if (ramp && n > ch->rampFrames) n = ch->rampFrames;
    const uint32_t count = static_cast<uint32_t>(n);
    const int64_t signedStep = back ? -step : step;
    if (ramp || ch->rampCurrent[0] != 0 || ch->rampCurrent[1] != 0) {
      RunGains g;
      const float kGainUnit = 1.0f / (255.0f * 65536.0f);
      g.left = static_cast<float>(ch->rampCurrent[0]) * kGainUnit;
      g.right = static_cast<float>(ch->rampCurrent[1]) * kGainUnit;
      g.leftStep = static_cast<float>(ch->rampStep[0]) * kGainUnit;
      g.rightStep = static_cast<float>(ch->rampStep[1]) * kGainUnit;
      g.leftFixed = ch->rampCurrent[0];
      g.rightFixed = ch->rampCurrent[1];
      g.leftFixedStep = ch->rampStep[0];
      g.rightFixedStep = ch->rampStep[1];
      g.invertRight = ch->surround != 0;
      if (!ramp) g.leftStep = g.rightStep = 0.0f, g.leftFixedStep = g.rightFixedStep = 0;
      if (!edge) {
        Run<kFloat, T, kStereo>(data, x, signedStep, count, out, g, ramp);
      } else {
        // The last frame of the loop and the frame behind it: silence without a loop, the
        // loop's first frame for a normal loop, the last frame again for a bidirectional one.
        T pair[4] = {0, 0, 0, 0};
        int64_t lastIndex = (lastFrame >> 32) * values;
        for (int v = 0; v < values; v++) {
          pair[v] = data[lastIndex + v];
          if (ch->loopMode & kSndLoopBidi) {
            pair[values + v] = data[lastIndex + v];
          } else if (ch->loopMode & kSndLoopNormal) {
            pair[values + v] = data[static_cast<int64_t>(ch->loopStart) * values + v];
          }
        }
        Run<kFloat, T, kStereo>(pair, x - lastFrame, signedStep, count, out, g, ramp);
      }
    }
    x += signedStep * static_cast<int64_t>(count);
    if (ramp) {
      ch->rampCurrent[0] += ch->rampStep[0] * static_cast<int32_t>(count);
      ch->rampCurrent[1] += ch->rampStep[1] * static_cast<int32_t>(count);
      ch->rampFrames -= count;
      if (ch->rampFrames == 0) {
        ch->rampStep[0] = ch->rampStep[1] = 0;
        ch->rampCurrent[0] = ch->rampTarget[0] * 65536;
        ch->rampCurrent[1] = ch->rampTarget[1] * 65536;
      }
    }
    out += static_cast<size_t>(count) * frameOut;
    left -= count;
  }
  ch->position = x;
  ch->direction = back ? 2 : 1;
}

template <bool kFloat>
static void MixList(void* buffer, SndLink* channels, int frames) {
  for (SndLink* l = channels->next; l != channels; l = l->next) {
    auto* ch = reinterpret_cast<SndChannel*>(l);
    SndSample* s = ch->sample;
    if (!s || ch->paused || !s->data || ch->loopLength == 0 || ch->step <= 0) continue;
    auto* out = static_cast<uint8_t*>(buffer);
    bool stereo = s->channelMode == kSndStereo;
    if (s->bits == 16) {
      if (stereo) MixChannel<kFloat, int16_t, true>(ch, out, frames);
      else MixChannel<kFloat, int16_t, false>(ch, out, frames);
    } else {
      if (stereo) MixChannel<kFloat, int8_t, true>(ch, out, frames);
      else MixChannel<kFloat, int8_t, false>(ch, out, frames);
    }
  }
}

void SndMixFloat(void* buffer, SndLink* channels, int frames) { MixList<true>(buffer, channels, frames); }
void SndMixInt16(void* buffer, SndLink* channels, int frames) { MixList<false>(buffer, channels, frames); }

void SndClearFloat(void* buffer, int frames) { std::memset(buffer, 0, static_cast<size_t>(frames) * 8); }
void SndClearInt16(void* buffer, int frames) { std::memset(buffer, 0, static_cast<size_t>(frames) * 4); }

// f32 pairs -> i16 pairs, rounded to nearest (ties to even) and clamped.
void SndClipFloat(int16_t* destination, const void* source, int frames) {
  const float* in = static_cast<const float*>(source);
  int values = frames * 2;
  int i = 0;
#if defined(__SSE2__)
  const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
  for (; i + 8 <= values; i += 8) {
    __m128 a = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(in + i), low), high);
    __m128 b = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(in + i + 4), low), high);
    __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), packed);
  }
#endif
  for (; i < values; i++) {
    float v = in[i] < -32768.0f ? -32768.0f : in[i] > 32767.0f ? 32767.0f : in[i];
    destination[i] = static_cast<int16_t>(std::nearbyint(v));
  }
}

void SndCopyOutput16(int16_t* destination, const void* source, int frames) {
  std::memcpy(destination, source, static_cast<size_t>(frames) * 4);
}
