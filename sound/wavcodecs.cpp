// The WAV formats we decode: PCM (8 to 32-bit, also inside the extensible format), IMA ADPCM,
// Microsoft ADPCM, A-law, mu-law and IEEE float (32/64-bit) ourselves, GSM 6.10 through the
// platform's libgsm, each into 16-bit PCM, files of more than two channels mixed down to
// stereo; anything else is refused, saying why.
#include <algorithm>
#include <cmath>
#include <cstdio>
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

// An integer value of 1 to 4 bytes (8-bit unsigned), left-justified in 32 bits.
static int32_t IntegerAt(const uint8_t* p, uint32_t width) {
  switch (width) {
    case 1: return static_cast<int32_t>(static_cast<uint32_t>(p[0] ^ 0x80) << 24);
    case 2: return static_cast<int32_t>(static_cast<uint32_t>(SndReadU16(p)) << 16);
    case 3: return static_cast<int32_t>(static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) << 8);
    default: return static_cast<int32_t>(SndReadU32(p));
  }
}

// 32-bit to 16-bit: to the nearest step (halves up), the loudest ones held at full scale.
static int16_t Round32To16(int32_t value) {
  int64_t rounded = (static_cast<int64_t>(value) + 0x8000) >> 16;
  return static_cast<int16_t>(rounded > 32767 ? 32767 : rounded);
}

static double FloatAt(const uint8_t* p, uint32_t width) {
  if (width == 4) {
    float single;
    std::memcpy(&single, p, 4);
    return single;
  }
  double value;
  std::memcpy(&value, p, 8);
  return value;
}

// One value of a linear codec as a fraction of full scale. A float value that is not a number
// is 0, and an infinite one is held at a finite loudness, so that no mix of them (infinity
// times a gain of 0, or opposite infinities) is not a number.
static double ValueAt(const SndWavDecoder& d, const uint8_t* p) {
  switch (d.codec) {
    case kSndWavFloat: {
      double value = FloatAt(p, d.sourceWidth);
      return value == value ? std::clamp(value, -1e6, 1e6) : 0.0;
    }
    case kSndWavALaw: return ExpandALaw(*p) / 32768.0;
    case kSndWavMuLaw: return ExpandMuLaw(*p) / 32768.0;
    default: return IntegerAt(p, d.sourceWidth) / 2147483648.0;
  }
}

// Frames of a linear codec: one or two channels value by value, more mixed down to stereo.
static void ConvertLinear(const SndWavDecoder& d, const uint8_t* source, uint32_t sourceBytes, uint8_t* out) {
  const uint32_t c = static_cast<uint32_t>(d.sourceChannels);
  const uint64_t frames = std::min<uint64_t>(d.decodedBytes / (2u * static_cast<uint32_t>(d.channels)),
                                             sourceBytes / d.blockAlign);
  if (c <= 2) {
    for (uint64_t i = 0; i < frames * c; i++) {
      const uint8_t* p = source + i * d.sourceWidth;
      int16_t value;
      switch (d.codec) {
        case kSndWavFloat: value = FloatTo16(FloatAt(p, d.sourceWidth)); break;
        case kSndWavALaw: value = ExpandALaw(*p); break;
        case kSndWavMuLaw: value = ExpandMuLaw(*p); break;
        default: value = Round32To16(IntegerAt(p, d.sourceWidth)); break;
      }
      Put16(out, i, value);
    }
    return;
  }
  for (uint64_t f = 0; f < frames; f++) {
    const uint8_t* frame = source + f * d.blockAlign;
    double left = 0, right = 0;
    for (uint32_t ch = 0; ch < c; ch++) {
      const double value = ValueAt(d, frame + ch * d.sourceWidth);
      left += value * d.mixGains[ch][0];
      right += value * d.mixGains[ch][1];
    }
    for (int side = 0; side < 2; side++) {
      const double scaled = std::floor((side ? right : left) * 32768.0 + 0.5);
      Put16(out, 2 * f + static_cast<uint64_t>(side),
            static_cast<int16_t>(scaled > 32767 ? 32767 : scaled < -32768 ? -32768 : scaled));
    }
  }
}

// The speakers of the extensible format's channel mask, bit by bit: which output side each
// one feeds. The front pair goes to its side whole, every other speaker on a side at -3 dB,
// the centre ones at -3 dB to both sides; the low-frequency channel is left out (as the common
// downmixes do: what it carries is in the main channels too).
enum Feed { kLeft, kRight, kBoth, kNone };
static const struct {
  Feed feed;
  bool front;
} kSpeakers[18] = {
    {kLeft, true},  {kRight, true},  {kBoth, false},  {kNone, false}, {kLeft, false},  {kRight, false},
    {kLeft, false}, {kRight, false}, {kBoth, false},  {kLeft, false}, {kRight, false}, {kBoth, false},
    {kLeft, false}, {kBoth, false},  {kRight, false}, {kLeft, false}, {kBoth, false},  {kRight, false},
};  // FL FR FC LFE BL BR FLC FRC BC SL SR TC TFL TFC TFR TBL TBC TBR

// The layout a file without a channel mask has (the format's documented defaults), by count.
static uint32_t DefaultChannelMask(int channels) {
  static const uint32_t kMasks[9] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};
  return kMasks[channels < 8 ? channels : 8];
}

// Each channel's gains; channels the mask does not place go to both sides at -3 dB. The gains
// are then scaled so that no side can clip, however loud every channel is at once.
static void MixDownGains(uint32_t mask, SndWavDecoder* d) {
  const float kHalfPower = 0.70710678f;
  if (mask == 0) mask = DefaultChannelMask(d->sourceChannels);
  int bit = 0;
  float sum[2] = {0, 0};
  for (int ch = 0; ch < d->sourceChannels; ch++) {
    while (bit < 32 && !(mask & (1u << bit))) bit++;
    Feed feed = kBoth;
    bool front = false;
    if (bit < 18) feed = kSpeakers[bit].feed, front = kSpeakers[bit].front;
    bit++;
    const float gain = front ? 1.0f : kHalfPower;
    float* g = d->mixGains[ch];
    g[0] = feed == kLeft || feed == kBoth ? gain : 0.0f;
    g[1] = feed == kRight || feed == kBoth ? gain : 0.0f;
    sum[0] += g[0];
    sum[1] += g[1];
  }
  const float loudest = std::max(sum[0], sum[1]);
  if (loudest <= 1.0f) return;
  for (int ch = 0; ch < d->sourceChannels; ch++) d->mixGains[ch][0] /= loudest, d->mixGains[ch][1] /= loudest;
}

// A linear codec over `c` channels of `width` bytes a value.
static bool OpenLinear(const SndWavInfo& info, uint32_t dataLength, SndWavCodec codec, uint32_t width, SndWavDecoder* d) {
  const int c = info.channels;
  d->codec = codec;
  d->sourceChannels = c;
  d->sourceWidth = width;
  d->channels = c > 2 ? 2 : c;
  d->bits = 16;
  d->blockAlign = static_cast<uint32_t>(c) * width;
  d->decodedBytes = static_cast<uint64_t>(dataLength / d->blockAlign) * static_cast<uint32_t>(d->channels) * 2;
  if (c > 2) MixDownGains(info.extraBytes >= 6 ? SndReadU32(info.extra + 2) : 0, d);
  return true;
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

// Names of the format tags a refused file most often has.
static std::string TagName(uint16_t tag) {
  static const struct {
    uint16_t tag;
    const char* name;
  } kNames[] = {{0x0000, "unknown"},       {0x0022, "TrueSpeech"},        {0x0040, "G.721 ADPCM"},
                {0x0050, "MPEG audio"},    {0x0055, "MPEG layer 3"},      {0x0064, "G.726 ADPCM"},
                {0x0092, "AC-3 over S/PDIF"}, {0x0160, "Windows Media Audio"}, {0x0161, "Windows Media Audio"},
                {0x0162, "Windows Media Audio Pro"}, {0x0163, "Windows Media Audio Lossless"},
                {0x2000, "AC-3"},          {0x2001, "DTS"},               {0xF1AC, "FLAC"}};
  char text[64];
  std::snprintf(text, sizeof text, "0x%04X", tag);
  for (const auto& n : kNames)
    if (n.tag == tag) return std::string(text) + " (" + n.name + ")";
  return text;
}

static bool Refuse(const std::string& why) { return SndRefuseFile(kSndErrFileFormat, why); }

static std::string BitsText(const char* format, uint16_t bits, const char* read) {
  return std::string("WAV ") + format + " of " + std::to_string(bits) + " bits a sample (" + read + " are read)";
}

// The extensible format names its real one by a sub-format GUID: a format tag in the first
// two bytes of the base {xxxxxxxx-0000-0010-8000-00AA00389B71}. 0 when there is none or the
// GUID is another kind (an ambisonic one, say), with the reason noted.
static uint16_t ExtensibleTag(const SndWavInfo& info) {
  static const uint8_t kBase[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  if (info.extraBytes < 22) {
    Refuse("WAV extensible format without its sub-format");
    return 0;
  }
  const uint8_t* guid = info.extra + 6;
  if (std::memcmp(guid + 2, kBase, sizeof kBase) != 0) {
    char text[96];
    std::snprintf(text, sizeof text,
                  "WAV extensible sub-format {%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X} is not read",
                  SndReadU32(guid), SndReadU16(guid + 4), SndReadU16(guid + 6), guid[8], guid[9], guid[10], guid[11],
                  guid[12], guid[13], guid[14], guid[15]);
    Refuse(text);
    return 0;
  }
  if (SndReadU16(guid) == kTagExtensible) {
    Refuse("WAV extensible sub-format 0xFFFE");
    return 0;
  }
  return SndReadU16(guid);
}

bool SndOpenWav(const SndWavInfo& info, uint32_t dataLength, SndWavDecoder* decoder) {
  *decoder = SndWavDecoder{};
  uint16_t tag = info.formatTag;
  if (tag == kTagExtensible && (tag = ExtensibleTag(info)) == 0) return false;
  if (info.channels < 1) return Refuse("WAV with no channels");
  if (info.channels > kSndWavMaxChannels) {
    return Refuse("WAV of " + std::to_string(info.channels) + " channels (at most " +
                  std::to_string(kSndWavMaxChannels) + " are mixed down)");
  }
  if (info.rate == 0 || info.rate > 1000000) {
    return Refuse("WAV at " + std::to_string(info.rate) + " samples a second");
  }
  SndWavDecoder& d = *decoder;
  d.channels = info.channels;
  const uint32_t c = info.channels;
  const bool wide = c > 2;
  if (wide && tag != kTagPcm && tag != kTagFloat && tag != kTagALaw && tag != kTagMuLaw) {
    return Refuse("WAV format tag " + TagName(tag) + " with " + std::to_string(c) +
                  " channels (at most 2; PCM, float, A-law and mu-law are mixed down)");
  }
  switch (tag) {
    case kTagPcm: {
      // Values narrower than their bytes are left-justified in them (12 bits in 2 bytes).
      const uint32_t width = (info.bits + 7u) / 8u;
      if (info.bits == 0 || width > 4) return Refuse(BitsText("PCM", info.bits, "1 to 32"));
      if (width > 2 || wide) return OpenLinear(info, dataLength, kSndWavInteger, width, decoder);
      d.codec = kSndWavPcm;
      d.bits = static_cast<int>(width * 8);
      d.decodedBytes = dataLength / (c * width) * (c * width);
      return true;
    }
    case kTagALaw:
    case kTagMuLaw:
      if (info.bits != 8) return Refuse(BitsText(tag == kTagALaw ? "A-law" : "mu-law", info.bits, "8"));
      return OpenLinear(info, dataLength, tag == kTagALaw ? kSndWavALaw : kSndWavMuLaw, 1, decoder);
    case kTagImaAdpcm:
    case kTagMsAdpcm: {
      const char* name = tag == kTagImaAdpcm ? "IMA ADPCM" : "Microsoft ADPCM";
      if (info.bits != 4) return Refuse(BitsText(name, info.bits, "4"));
      d.codec = tag == kTagImaAdpcm ? kSndWavImaAdpcm : kSndWavMsAdpcm;
      d.blockAlign = info.blockAlign;
      uint32_t header = (tag == kTagImaAdpcm ? 4 : 7) * c;
      if (d.blockAlign <= header || (tag == kTagImaAdpcm && (d.blockAlign - header) % (4 * c) != 0)) {
        return Refuse(std::string("WAV ") + name + " in blocks of " + std::to_string(d.blockAlign) + " bytes");
      }
      d.samplesPerBlock = 0xFFFFFFFFu;
      d.samplesPerBlock = AdpcmBlockFrames(d, d.blockAlign);
      // A smaller count in the header stands (the block's last bytes are padding then).
      uint32_t stated = info.extraBytes >= 2 ? SndReadU16(info.extra) : 0;
      if (stated != 0 && stated < d.samplesPerBlock) d.samplesPerBlock = stated;
      if (tag == kTagMsAdpcm) {
        uint32_t count = info.extraBytes >= 4 ? SndReadU16(info.extra + 2) : 0;
        if (count < 1 || count > 256 || 4 + 4 * count > info.extraBytes) {
          return Refuse("WAV Microsoft ADPCM with " + std::to_string(count) + " predictors");
        }
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
      if (info.bits != 32 && info.bits != 64) return Refuse(BitsText("float", info.bits, "32 and 64"));
      return OpenLinear(info, dataLength, kSndWavFloat, info.bits / 8u, decoder);
    case kTagGsm: {
      // The WAV layout of GSM 6.10 is mono, in blocks of two frames.
      if (c != 1) return Refuse("WAV GSM 6.10 of " + std::to_string(c) + " channels (1 is read)");
      if (info.blockAlign != kPlatformGsmBlockBytes) {
        return Refuse("WAV GSM 6.10 in blocks of " + std::to_string(info.blockAlign) + " bytes");
      }
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
      return Refuse("WAV format tag " + TagName(tag) + " is not read");  // MPEG goes to its own loader
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
    case kSndWavInteger:
    case kSndWavALaw:
    case kSndWavMuLaw:
      ConvertLinear(d, source, sourceBytes, destination);
      return true;
    case kSndWavGsm:
      return DecodeGsm(d, source, sourceBytes, destination);
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
