// The WAV formats we decode: PCM (8/16-bit, also inside the extensible format), IMA ADPCM,
// Microsoft ADPCM, A-law, mu-law and IEEE float (32/64-bit) ourselves, GSM 6.10 through the
// platform's libgsm, each into 16-bit PCM; anything else is refused.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/gsm_codec.h"
#include "sound/sound_local.h"

enum : uint16_t {
  kTagPcm = 1,
  kTagMsAdpcm = 2,
  kTagFloat = 3,
  kTagALaw = 6,
  kTagMuLaw = 7,
  kTagImaAdpcm = 0x11,
  kTagGsm = 0x31,
  kTagExtensible = 0xFFFE,
};

static const int kImaIndexChange[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
static const int kImaSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
static const int kMsAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                      768, 614, 512, 409, 307, 230, 230, 230};

static int16_t Clamp16(int value) {
  return static_cast<int16_t>(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
}

static void Put16(uint8_t* destination, uint64_t value, int16_t sample) {
  std::memcpy(destination + value * 2, &sample, 2);
}

// G.711 expansions to 16-bit linear.
static int16_t ExpandMuLaw(uint8_t code) {
  code = static_cast<uint8_t>(~code);
  int t = (((code & 0x0F) << 3) + 0x84) << ((code & 0x70) >> 4);
  return static_cast<int16_t>((code & 0x80) ? 0x84 - t : t - 0x84);
}

static int16_t ExpandALaw(uint8_t code) {
  code ^= 0x55;
  int t = (code & 0x0F) << 4;
  int segment = (code & 0x70) >> 4;
  if (segment == 0) {
    t += 8;
  } else {
    t = (t + 0x108) << (segment - 1);
  }
  return static_cast<int16_t>((code & 0x80) ? t : -t);
}

// Full scale is 1.0; louder values clip, and a value that is not a number is silence.
static int16_t FloatTo16(double value) {
  if (!(value == value)) return 0;
  double scaled = value * 32768.0;
  if (scaled >= 32767.0) return 32767;
  if (scaled <= -32768.0) return -32768;
  return static_cast<int16_t>(std::lround(scaled));
}

static void ConvertFloats(const SndWavDecoder& d, const uint8_t* source, uint64_t values, uint8_t* out) {
  const uint32_t width = d.blockAlign / static_cast<uint32_t>(d.channels);
  for (uint64_t i = 0; i < values; i++) {
    double value;
    if (width == 4) {
      float single;
      std::memcpy(&single, source + 4 * i, 4);
      value = single;
    } else {
      std::memcpy(&value, source + 8 * i, 8);
    }
    Put16(out, i, FloatTo16(value));
  }
}

static std::shared_ptr<PlatformGsmDecoder> MakeGsmHistory() {
  PlatformGsmDecoder* decoder = PlatformGsmCreate();
  if (decoder == nullptr) return nullptr;
  return std::shared_ptr<PlatformGsmDecoder>(decoder, PlatformGsmDestroy);
}

bool SndKeepWavHistory(SndWavDecoder* decoder) {
  if (decoder->codec != kSndWavGsm) return true;
  decoder->history = MakeGsmHistory();
  return decoder->history != nullptr || SndFail(kSndErrMemory);
}

static bool DecodeGsm(const SndWavDecoder& d, const uint8_t* source, uint32_t sourceBytes, uint8_t* out) {
  std::shared_ptr<PlatformGsmDecoder> history = d.history ? d.history : MakeGsmHistory();
  if (!history) return SndFail(kSndErrMemory);
  const uint64_t blocks = std::min<uint64_t>(sourceBytes / kPlatformGsmBlockBytes,
                                             d.decodedBytes / (2 * kPlatformGsmBlockSamples));
  for (uint64_t b = 0; b < blocks; b++) {
    int16_t samples[kPlatformGsmBlockSamples];
    if (!PlatformGsmDecodeBlock(history.get(), source + b * kPlatformGsmBlockBytes, samples)) {
      return SndFail(kSndErrFileData);
    }
    std::memcpy(out + b * sizeof samples, samples, sizeof samples);
  }
  return true;
}

// Frames held by an ADPCM block of `bytes` (a whole block, or the short last one).
static uint32_t AdpcmBlockFrames(const SndWavDecoder& d, uint32_t bytes) {
  uint32_t c = static_cast<uint32_t>(d.channels);
  uint32_t frames = 0;
  if (d.codec == kSndWavImaAdpcm) {
    if (bytes < 4 * c) return 0;
    frames = 1 + (bytes - 4 * c) / (4 * c) * 8;  // whole 4-byte groups of every channel
  } else {
    if (bytes < 7 * c) return 0;
    frames = 2 + (bytes - 7 * c) * 2 / c;
  }
  return frames < d.samplesPerBlock ? frames : d.samplesPerBlock;
}

bool SndOpenWav(const SndWavInfo& info, uint32_t dataLength, SndWavDecoder* decoder) {
  *decoder = SndWavDecoder{};
  uint16_t tag = info.formatTag;
  // The extensible format names its real one in the first two bytes of its sub-format GUID.
  if (tag == kTagExtensible) tag = info.extraBytes >= 24 ? SndReadU16(info.extra + 6) : 0;
  // More than two channels, or no rate, is a format we refuse rather than play as noise.
  if (info.channels < 1 || info.channels > 2 || info.rate == 0 || info.rate > 1000000) {
    return SndFail(kSndErrFileFormat);
  }
  SndWavDecoder& d = *decoder;
  d.channels = info.channels;
  const uint32_t c = info.channels;
  switch (tag) {
    case kTagPcm:
      if (info.bits != 8 && info.bits != 16) return SndFail(kSndErrFileFormat);  // 24/32-bit too
      d.codec = kSndWavPcm;
      d.bits = info.bits;
      d.decodedBytes = dataLength / (c * info.bits / 8) * (c * info.bits / 8);
      return true;
    case kTagALaw:
    case kTagMuLaw:
      if (info.bits != 8) return SndFail(kSndErrFileFormat);
      d.codec = tag == kTagALaw ? kSndWavALaw : kSndWavMuLaw;
      d.blockAlign = c;
      d.decodedBytes = static_cast<uint64_t>(dataLength / c) * c * 2;
      return true;
    case kTagImaAdpcm:
    case kTagMsAdpcm: {
      if (info.bits != 4) return SndFail(kSndErrFileFormat);
      d.codec = tag == kTagImaAdpcm ? kSndWavImaAdpcm : kSndWavMsAdpcm;
      d.blockAlign = info.blockAlign;
      uint32_t header = (tag == kTagImaAdpcm ? 4 : 7) * c;
      if (d.blockAlign <= header || (tag == kTagImaAdpcm && (d.blockAlign - header) % (4 * c) != 0)) {
        return SndFail(kSndErrFileFormat);
      }
      d.samplesPerBlock = 0xFFFFFFFFu;
      d.samplesPerBlock = AdpcmBlockFrames(d, d.blockAlign);
      // A smaller count in the header stands (the block's last bytes are padding then).
      uint32_t stated = info.extraBytes >= 2 ? SndReadU16(info.extra) : 0;
      if (stated != 0 && stated < d.samplesPerBlock) d.samplesPerBlock = stated;
      if (tag == kTagMsAdpcm) {
        uint32_t count = info.extraBytes >= 4 ? SndReadU16(info.extra + 2) : 0;
        if (count < 1 || count > 256 || 4 + 4 * count > info.extraBytes) return SndFail(kSndErrFileFormat);
        d.coefficientCount = static_cast<int>(count);
        for (uint32_t i = 0; i < count; i++) {
          d.coefficients[i][0] = static_cast<int16_t>(SndReadU16(info.extra + 4 + 4 * i));
          d.coefficients[i][1] = static_cast<int16_t>(SndReadU16(info.extra + 6 + 4 * i));
        }
      }
      uint64_t frames = static_cast<uint64_t>(dataLength / d.blockAlign) * d.samplesPerBlock +
                        AdpcmBlockFrames(d, dataLength % d.blockAlign);
      d.decodedBytes = frames * c * 2;
      return true;
    }
    case kTagFloat:
      if (info.bits != 32 && info.bits != 64) return SndFail(kSndErrFileFormat);
      d.codec = kSndWavFloat;
      d.blockAlign = c * info.bits / 8;
      d.decodedBytes = static_cast<uint64_t>(dataLength / d.blockAlign) * c * 2;
      return true;
    case kTagGsm: {
      // The WAV layout of GSM 6.10 is mono, in blocks of two frames.
      if (c != 1 || info.blockAlign != kPlatformGsmBlockBytes) return SndFail(kSndErrFileFormat);
      std::string problem;
      if (!PlatformGsmUsable(&problem)) {
        SndLog(("GSM 6.10 WAV file refused: " + problem).c_str());
        SndNoteLibraryProblem(problem);
        return SndFail(kSndErrFileFormat);
      }
      d.codec = kSndWavGsm;
      d.blockAlign = kPlatformGsmBlockBytes;
      d.samplesPerBlock = kPlatformGsmBlockSamples;
      d.decodedBytes = static_cast<uint64_t>(dataLength / kPlatformGsmBlockBytes) * kPlatformGsmBlockSamples * 2;
      return true;
    }
    default:
      return SndFail(kSndErrFileFormat);  // MPEG and every other codec
  }
}

// One IMA ADPCM block: per channel a 4-byte header (first sample, step index), then groups of
// four bytes per channel, eight samples each, low nibble first.
static bool DecodeImaBlock(const SndWavDecoder& d, const uint8_t* block, uint32_t frames, uint8_t* out, uint64_t first) {
  const int c = d.channels;
  for (int ch = 0; ch < c; ch++) {
    int predictor = static_cast<int16_t>(SndReadU16(block + 4 * ch));
    int index = block[4 * ch + 2];
    if (index > 88) index = 88;
    Put16(out, (first * c) + ch, static_cast<int16_t>(predictor));
    const uint8_t* data = block + 4 * c + 4 * ch;
    for (uint32_t f = 1; f < frames; f++) {
      uint32_t n = f - 1;  // sample within the channel's stream
      uint8_t byte = data[(n / 8) * 4 * c + (n % 8) / 2];
      int nibble = (n & 1) ? byte >> 4 : byte & 0x0F;
      int step = kImaSteps[index];
      int diff = step >> 3;
      if (nibble & 1) diff += step >> 2;
      if (nibble & 2) diff += step >> 1;
      if (nibble & 4) diff += step;
      if (nibble & 8) diff = -diff;
      predictor = Clamp16(predictor + diff);
      index += kImaIndexChange[nibble];
      index = index < 0 ? 0 : index > 88 ? 88 : index;
      Put16(out, (first + f) * c + ch, static_cast<int16_t>(predictor));
    }
  }
  return true;
}

// One Microsoft ADPCM block: predictor indexes, deltas and two starting samples per channel,
// then nibbles (high first) alternating between the channels.
static bool DecodeMsBlock(const SndWavDecoder& d, const uint8_t* block, uint32_t frames, uint8_t* out, uint64_t first) {
  const int c = d.channels;
  int coefficient[2][2], delta[2], sample1[2], sample2[2];
  for (int ch = 0; ch < c; ch++) {
    int predictor = block[ch];
    if (predictor >= d.coefficientCount) return false;
    coefficient[ch][0] = d.coefficients[predictor][0];
    coefficient[ch][1] = d.coefficients[predictor][1];
    delta[ch] = static_cast<int16_t>(SndReadU16(block + c + 2 * ch));
    sample1[ch] = static_cast<int16_t>(SndReadU16(block + 3 * c + 2 * ch));
    sample2[ch] = static_cast<int16_t>(SndReadU16(block + 5 * c + 2 * ch));
    Put16(out, first * c + ch, static_cast<int16_t>(sample2[ch]));
    if (frames > 1) Put16(out, (first + 1) * c + ch, static_cast<int16_t>(sample1[ch]));
  }
  const uint8_t* data = block + 7 * c;
  for (uint32_t n = 0; n < (frames > 2 ? frames - 2 : 0) * static_cast<uint32_t>(c); n++) {
    int ch = static_cast<int>(n % static_cast<uint32_t>(c));
    int nibble = (n & 1) ? data[n / 2] & 0x0F : data[n / 2] >> 4;
    int predicted = static_cast<int>((static_cast<int64_t>(sample1[ch]) * coefficient[ch][0] +
                                      static_cast<int64_t>(sample2[ch]) * coefficient[ch][1]) >> 8);
    int value = Clamp16(predicted + (nibble >= 8 ? nibble - 16 : nibble) * delta[ch]);
    sample2[ch] = sample1[ch];
    sample1[ch] = value;
    // Hostile blocks grow the step without end: it is held below 2^24, and grown in 64 bits.
    int64_t grown = (static_cast<int64_t>(kMsAdaptation[nibble]) * delta[ch]) >> 8;
    delta[ch] = static_cast<int>(grown < 16 ? 16 : grown > (1 << 24) ? 1 << 24 : grown);
    Put16(out, (first + 2 + n / static_cast<uint32_t>(c)) * static_cast<uint32_t>(c) + static_cast<uint32_t>(ch),
          static_cast<int16_t>(value));
  }
  return true;
}

bool SndAcmConvert(const SndWavDecoder& d, const uint8_t* source, uint32_t sourceBytes, uint8_t* destination) {
  const uint64_t values = d.decodedBytes / 2;
  switch (d.codec) {
    case kSndWavPcm:
      std::memcpy(destination, source, d.decodedBytes < sourceBytes ? d.decodedBytes : sourceBytes);
      return true;
    case kSndWavFloat:
      ConvertFloats(d, source, std::min<uint64_t>(values, sourceBytes / (d.blockAlign / d.channels)), destination);
      return true;
    case kSndWavGsm:
      return DecodeGsm(d, source, sourceBytes, destination);
    case kSndWavALaw:
    case kSndWavMuLaw:
      for (uint64_t i = 0; i < values && i < sourceBytes; i++) {
        Put16(destination, i, d.codec == kSndWavALaw ? ExpandALaw(source[i]) : ExpandMuLaw(source[i]));
      }
      return true;
    case kSndWavImaAdpcm:
    case kSndWavMsAdpcm: {
      const uint64_t totalFrames = values / static_cast<uint64_t>(d.channels);
      uint64_t frame = 0;
      for (uint32_t at = 0; at < sourceBytes && frame < totalFrames; at += d.blockAlign) {
        uint32_t bytes = sourceBytes - at < d.blockAlign ? sourceBytes - at : d.blockAlign;
        uint32_t frames = AdpcmBlockFrames(d, bytes);
        if (frames > totalFrames - frame) frames = static_cast<uint32_t>(totalFrames - frame);
        if (frames == 0) break;
        bool ok = d.codec == kSndWavImaAdpcm ? DecodeImaBlock(d, source + at, frames, destination, frame)
                                             : DecodeMsBlock(d, source + at, frames, destination, frame);
        if (!ok) return SndFail(kSndErrFileData);
        frame += frames;
      }
      return true;
    }
  }
  return SndFail(kSndErrFileData);
}
