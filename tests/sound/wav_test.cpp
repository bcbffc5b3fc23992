// Loading WAV and raw files: sox-made fixtures (PCM 8/16/24/32-bit, plain and extensible,
// mono/stereo, IMA and MS ADPCM, A-law, mu-law, 32/64-bit float, GSM 6.10) against sox's own
// decode, mixing down more than two channels, float scaling and clipping, GSM without its
// library, sampler loops, cue names, hostile and truncated files with the reason each refusal
// gives, and the load entry points' errors.
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/gsm_codec.h"
#include "sound/stream.h"
#include "tests/sound/sound_test_util.h"

namespace {

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutChunk(std::vector<uint8_t>& b, const char* id, const std::vector<uint8_t>& body, int64_t statedSize = -1) {
  for (int i = 0; i < 4; i++) b.push_back(static_cast<uint8_t>(id[i]));
  Put32(b, statedSize < 0 ? static_cast<uint32_t>(body.size()) : static_cast<uint32_t>(statedSize));
  for (uint8_t byte : body) b.push_back(byte);
  if (body.size() & 1) b.push_back(0);
}
// Adds chunks behind a RIFF file's last one and fixes its size field.
void AppendChunks(std::vector<uint8_t>& riff, const std::vector<uint8_t>& chunks) {
  riff.insert(riff.end(), chunks.begin(), chunks.end());
  uint32_t size = static_cast<uint32_t>(riff.size() - 8);
  std::memcpy(riff.data() + 4, &size, 4);
}

// A small RIFF WAVE file written here: the format fields as given, then the chunks.
std::vector<uint8_t> Wav(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                         const std::vector<uint8_t>& chunksAfterFormat, std::vector<uint8_t> extra = {}) {
  std::vector<uint8_t> fmt;
  Put16(fmt, tag);
  Put16(fmt, channels);
  Put32(fmt, rate);
  Put32(fmt, rate * channels * bits / 8);
  Put16(fmt, static_cast<uint32_t>(channels * bits / 8));
  Put16(fmt, bits);
  if (!extra.empty()) {
    Put16(fmt, static_cast<uint32_t>(extra.size()));
    fmt.insert(fmt.end(), extra.begin(), extra.end());
  }
  std::vector<uint8_t> riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  PutChunk(riff, "fmt ", fmt);
  AppendChunks(riff, chunksAfterFormat);
  return riff;
}

// The same file with another block size in its format chunk.
std::vector<uint8_t> WithBlockAlign(std::vector<uint8_t> riff, uint16_t blockAlign) {
  riff[32] = static_cast<uint8_t>(blockAlign);
  riff[33] = static_cast<uint8_t>(blockAlign >> 8);
  return riff;
}

std::vector<uint8_t> DataChunk(size_t bytes, int64_t statedSize = -1) {
  std::vector<uint8_t> body(bytes);
  for (size_t i = 0; i < bytes; i++) body[i] = static_cast<uint8_t>(i * 37);
  std::vector<uint8_t> chunk;
  PutChunk(chunk, "data", body, statedSize);
  return chunk;
}

std::vector<uint8_t> SamplerChunk(uint32_t loops, uint32_t start, uint32_t end, size_t size = 60) {
  std::vector<uint8_t> body(size > 60 ? size : 60);
  std::memcpy(body.data() + 28, &loops, 4);
  std::memcpy(body.data() + 44, &start, 4);
  std::memcpy(body.data() + 48, &end, 4);
  body.resize(size);
  std::vector<uint8_t> chunk;
  PutChunk(chunk, "smpl", body);
  return chunk;
}

class WavFiles : public SteppedSound {
 protected:
  void SetUp() override {
    SteppedSound::SetUp();
    char name[] = "/tmp/qv-wav-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = name;
  }
  void TearDown() override {
    std::filesystem::remove_all(folder_);
    SteppedSound::TearDown();
  }
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  // Runs sox with the arguments; the test fails when it does not succeed.
  void Sox(const std::string& arguments) {
    std::string command = "sox " + arguments + " 2>" + Path("sox.log");
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  // sox's own decode of a file as signed 16-bit (or 8-bit) values, without dither (then sox
  // rounds wider values to the nearest step, as the loader does), through `effects`.
  std::vector<int> SoxDecode(const std::string& file, int bits, const std::string& effects = "") {
    std::string raw = Path("decoded.raw");
    Sox("-D '" + file + "' -t raw -e signed -b " + std::to_string(bits) + " '" + raw + "' " + effects);
    std::vector<uint8_t> bytes = ReadBytes(raw);
    std::vector<int> values;
    for (size_t i = 0; i + bits / 8 <= bytes.size(); i += bits / 8) {
      values.push_back(bits == 8 ? static_cast<int8_t>(bytes[i]) : static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8));
    }
    return values;
  }
  std::string folder_;
};

std::vector<int> SampleValues(SndSample* sample) {
  std::vector<int> values;
  uint32_t count = sample->length * (sample->channelMode == kSndStereo ? 2 : 1);
  for (uint32_t i = 0; i < count; i++) {
    if (sample->bits == 8) {
      values.push_back(static_cast<int8_t>(sample->data[i]));
    } else {
      int16_t v;
      std::memcpy(&v, sample->data + 2 * i, 2);
      values.push_back(v);
    }
  }
  return values;
}

}  // namespace

TEST_F(WavFiles, SoxFixturesLoadWithTheirModeAndData) {
  // A sweep with a second tone, so ADPCM's step adaptation is exercised up and down.
  Sox("-n -r 22050 -c 1 -b 16 " + Path("mono.wav") + " synth 0.3 sine 200-6000 sine 440 remix - gain -3");
  Sox("-n -r 22050 -c 2 -b 16 " + Path("stereo.wav") + " synth 0.3 sine 200-6000 sine 3000-300 gain -3");
  const struct {
    const char* name;
    const char* source;
    const char* soxOptions;
    int bits, channels, tolerance;
    bool againstSource;  // float holds the 16-bit source exactly (sox's decode of it may round)
  } cases[] = {
      {"pcm8-mono", "mono.wav", "-b 8", 8, 1, 0, false},
      {"pcm8-stereo", "stereo.wav", "-b 8", 8, 2, 0, false},
      {"pcm16-mono", "mono.wav", "-b 16", 16, 1, 0, false},
      {"pcm16-stereo", "stereo.wav", "-b 16", 16, 2, 0, false},
      {"ima-mono", "mono.wav", "-e ima-adpcm", 16, 1, 1, false},
      {"ima-stereo", "stereo.wav", "-e ima-adpcm", 16, 2, 1, false},
      {"ms-mono", "mono.wav", "-e ms-adpcm", 16, 1, 1, false},
      {"ms-stereo", "stereo.wav", "-e ms-adpcm", 16, 2, 1, false},
      {"alaw", "mono.wav", "-e a-law", 16, 1, 0, false},
      {"mulaw", "stereo.wav", "-e u-law", 16, 2, 0, false},
      {"float32-mono", "mono.wav", "-e floating-point -b 32", 16, 1, 0, true},
      {"float32-stereo", "stereo.wav", "-e floating-point -b 32", 16, 2, 0, true},
      {"float64-stereo", "stereo.wav", "-e floating-point -b 64", 16, 2, 0, true},
      {"gsm", "mono.wav", "-e gsm-full-rate", 16, 1, 0, false},
      // Wider integer PCM, rounded to 16 bits; sox writes the extensible format for it unless
      // told to write the plain one (wavpcm).
      {"pcm24-mono", "mono.wav", "-b 24 -t wavpcm", 16, 1, 0, false},
      {"pcm24-stereo-extensible", "stereo.wav", "-b 24 -t wav", 16, 2, 0, false},
      {"pcm32-stereo", "stereo.wav", "-b 32 -e signed -t wavpcm", 16, 2, 0, false},
      {"pcm32-mono-extensible", "mono.wav", "-b 32 -e signed -t wav", 16, 1, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = Path(std::string(c.name) + ".wav");
    Sox(Path(c.source) + " " + c.soxOptions + " " + file);
    if (std::string(c.name).starts_with("pcm24") || std::string(c.name).starts_with("pcm32")) {
      // The fixture's format is the one its name says (the tag at byte 20).
      const std::vector<uint8_t> bytes = ReadBytes(file);
      ASSERT_GT(bytes.size(), 22u);
      EXPECT_EQ(bytes[20] | bytes[21] << 8, std::string(c.name).ends_with("extensible") ? 0xFFFE : 1);
    }
    std::vector<int> reference = SoxDecode(c.againstSource ? Path(c.source) : file, c.bits);
    SndSample* sample = SndLoadSample(-1, file.c_str(), kSndLoopOff | kSnd2D, 0);
    ASSERT_NE(sample, nullptr) << "error " << SndGetError();
    EXPECT_EQ(SndGetSampleMode(sample), static_cast<uint32_t>(kSndLoopOff | (c.bits == 8 ? kSnd8Bits : kSnd16Bits) |
                                                              (c.channels == 2 ? kSndStereo : kSndMono)));
    int frequency = 0, pan = 0;
    SndGetSampleDefaults(sample, &frequency, nullptr, &pan, nullptr);
    EXPECT_EQ(frequency, 22050);
    EXPECT_EQ(pan, c.channels == 2 ? -1 : 128);
    std::vector<int> values = SampleValues(sample);
    ASSERT_EQ(values.size(), reference.size());
    int worst = 0;
    for (size_t i = 0; i < values.size(); i++) worst = std::max(worst, std::abs(values[i] - reference[i]));
    EXPECT_LE(worst, c.tolerance);
    SndFreeSample(sample);
  }
}

// Float data: 1.0 is full scale, values round to the nearest step, louder ones clip, and a
// value that is not a number is silence; the extensible format names float by its GUID.
TEST_F(WavFiles, FloatValuesScaleRoundAndClip) {
  const double values[] = {0.0, 0.5, -0.5, 1.0, -1.0, 2.5, -7.0, 1.6 / 32768, -1.6 / 32768, NAN, 0.25};
  const int expected[] = {0, 16384, -16384, 32767, -32768, 32767, -32768, 2, -2, 0, 8192};
  // Valid bits, channel mask, then the sub-format GUID {00000003-0000-0010-8000-00AA00389B71}.
  std::vector<uint8_t> guid = {0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  for (int bits : {32, 64}) {
    for (bool extensible : {false, true}) {
      SCOPED_TRACE(std::to_string(bits) + (extensible ? " extensible" : ""));
      std::vector<uint8_t> body;
      for (double v : values) {
        if (bits == 32) {
          float single = static_cast<float>(v);
          Put32(body, std::bit_cast<uint32_t>(single));
        } else {
          uint64_t word = std::bit_cast<uint64_t>(v);
          Put32(body, static_cast<uint32_t>(word));
          Put32(body, static_cast<uint32_t>(word >> 32));
        }
      }
      std::vector<uint8_t> data;
      PutChunk(data, "data", body);
      std::vector<uint8_t> file = Wav(extensible ? 0xFFFE : 3, 1, 48000, static_cast<uint16_t>(bits), data,
                                      extensible ? guid : std::vector<uint8_t>{});
      SndSample* sample = SndLoadWavMemory(-1, file.data(), 0, static_cast<int>(file.size()));
      ASSERT_NE(sample, nullptr) << "error " << SndGetError();
      EXPECT_EQ(SndGetSampleMode(sample), static_cast<uint32_t>(kSndLoopOff | kSnd16Bits | kSndMono));
      EXPECT_EQ(SampleValues(sample), std::vector<int>(std::begin(expected), std::end(expected)));
      SndFreeSample(sample);
    }
  }
}

// Files of more than two channels mix down to stereo: sox's 5.1 file (the extensible format
// with the 5.1 mask) and a plain 3-channel one (the default layout: left, right, centre)
// against sox's own remix with the gains the loader gives (the front pair whole, the others
// at -3 dB, scaled so no side clips); then two files with their own masks: the low-frequency
// channel is left out, and a channel the mask does not place goes to both sides.
TEST_F(WavFiles, MoreThanTwoChannelsMixDownToStereo) {
  Sox("-n -r 22050 -c 6 -b 24 " + Path("six.wav") + " synth 0.2 sine 300 sine 500 sine 700 sine 900 sine 1100 sine 1300");
  Sox("-n -r 22050 -c 3 -b 16 -t wavpcm " + Path("three.wav") + " synth 0.2 sine 300 sine 500 sine 700");
  const struct {
    const char* file;
    const char* remix;
  } files[] = {
      {"six.wav", "remix -m 1v0.41421356,3v0.29289322,5v0.29289322 2v0.41421356,3v0.29289322,6v0.29289322"},
      {"three.wav", "remix -m 1v0.58578644,3v0.41421356 2v0.58578644,3v0.41421356"},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.file);
    const std::vector<int> reference = SoxDecode(Path(f.file), 16, f.remix);
    SndSample* sample = SndLoadSample(-1, Path(f.file).c_str(), 0, 0);
    ASSERT_NE(sample, nullptr) << SndLoadProblem();
    EXPECT_EQ(SndGetSampleMode(sample) & (kSndStereo | kSnd16Bits), kSndStereo | kSnd16Bits);
    const std::vector<int> values = SampleValues(sample);
    ASSERT_EQ(values.size(), reference.size());
    int worst = 0;
    for (size_t i = 0; i < values.size(); i++) worst = std::max(worst, std::abs(values[i] - reference[i]));
    EXPECT_LE(worst, 1);
    SndFreeSample(sample);
  }
  const std::vector<uint8_t> pcm = {0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  const double g = std::sqrt(0.5);
  const struct {
    uint32_t mask;  // four channels: 1000, 2000, 30000, 4000
    double left, right;
  } masks[] = {
      {0x10B, (1000 + g * 4000) / (1 + g), (2000 + g * 4000) / (1 + g)},  // FL FR LFE BC
      {0x0C, (1000 + 30000 + 4000) / 3.0, (1000 + 30000 + 4000) / 3.0},  // FC LFE, then two unplaced
  };
  // Float values that are not numbers, or infinite ones, mix to silence or to full scale.
  std::vector<uint8_t> floats;
  for (float v : {INFINITY, -INFINITY, NAN, INFINITY, 0.5f, NAN}) Put32(floats, std::bit_cast<uint32_t>(v));
  std::vector<uint8_t> floatData;
  PutChunk(floatData, "data", floats);
  const std::vector<uint8_t> floatFile = Wav(3, 3, 8000, 32, floatData);  // left, right, centre
  SndSample* floatSample = SndLoadWavMemory(-1, floatFile.data(), 0, static_cast<int>(floatFile.size()));
  ASSERT_NE(floatSample, nullptr) << SndLoadProblem();
  const int half = int(std::lround(0.5 * 32768 / (1 + std::sqrt(0.5))));  // 0.5 on the right at its gain
  EXPECT_EQ(SampleValues(floatSample), (std::vector<int>{32767, -32768, 32767, half}));
  SndFreeSample(floatSample);
  for (const auto& m : masks) {
    SCOPED_TRACE(m.mask);
    std::vector<uint8_t> frame, extra;
    for (uint32_t v : {1000u, 2000u, 30000u, 4000u}) Put16(frame, v);
    Put16(extra, 16);
    Put32(extra, m.mask);
    extra.insert(extra.end(), pcm.begin() + 6, pcm.end());
    std::vector<uint8_t> data;
    PutChunk(data, "data", frame);
    const std::vector<uint8_t> file = Wav(0xFFFE, 4, 8000, 16, data, extra);
    SndSample* sample = SndLoadWavMemory(-1, file.data(), 0, static_cast<int>(file.size()));
    ASSERT_NE(sample, nullptr) << SndLoadProblem();
    EXPECT_EQ(SampleValues(sample), (std::vector<int>{int(std::lround(m.left)), int(std::lround(m.right))}));
    SndFreeSample(sample);
  }
}

// On a machine without libgsm a GSM file is refused with error 10 (as for any format without
// a decoder), and the library's log names the missing library; the file loads once it is back.
TEST_F(WavFiles, GsmWithoutItsLibraryIsRefusedNamingIt) {
  Sox("-n -r 8000 -c 1 -b 16 " + Path("voice.wav") + " synth 0.2 sine 300-900");
  Sox(Path("voice.wav") + " -e gsm-full-rate " + Path("gsm.wav"));
  static std::string logged;
  logged.clear();
  SndSetHost({[](const char* text) { logged += std::string(text) + "\n"; }, {}, nullptr});
  PlatformGsmHideLibraryForTests(true);
  EXPECT_EQ(SndLoadSample(-1, Path("gsm.wav").c_str(), 0, 0), nullptr);
  EXPECT_EQ(SndGetError(), kSndErrFileFormat);
  EXPECT_EQ(SndStreamOpen(Path("gsm.wav").c_str(), 0, 0), nullptr);
  PlatformGsmHideLibraryForTests(false);
  SndSetHost({});
  EXPECT_NE(logged.find("libgsm.so.1"), std::string::npos) << logged;
  SndSample* sample = SndLoadSample(-1, Path("gsm.wav").c_str(), 0, 0);
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(SndGetSampleLength(sample), 1600u);  // five blocks of 320
  SndFreeSample(sample);
}

TEST_F(WavFiles, SamplerLoopAndCueNames) {
  Sox("-n -r 11025 -c 1 -b 16 " + Path("base.wav") + " synth 0.1 sine 500");
  std::vector<uint8_t> base = ReadBytes(Path("base.wav"));

  std::vector<uint8_t> looped = base;
  AppendChunks(looped, SamplerChunk(1, 100, 199));
  WriteBytes(Path("looped.wav"), looped);
  SndSample* sample = SndLoadSample(-1, Path("looped.wav").c_str(), kSndLoopOff, 0);
  ASSERT_NE(sample, nullptr);
  int start = 0, end = 0;
  SndGetSampleLoopPoints(sample, &start, &end);
  EXPECT_EQ(start, 100);
  EXPECT_EQ(end, 199);
  EXPECT_EQ(SndGetSampleMode(sample) & 7u, static_cast<uint32_t>(kSndLoopNormal));

  // Without a sampler loop the whole sample is the loop and the mode stays as asked.
  sample = SndLoadSample(-1, Path("base.wav").c_str(), kSndLoopOff, 0);
  ASSERT_NE(sample, nullptr);
  SndGetSampleLoopPoints(sample, &start, &end);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, static_cast<int>(SndGetSampleLength(sample)) - 1);
  EXPECT_EQ(SndGetSampleMode(sample) & 7u, static_cast<uint32_t>(kSndLoopOff));

  // Cue points with labels, the labels first and out of order.
  std::vector<uint8_t> adtl = {'a', 'd', 't', 'l'};
  for (auto [id, text] : {std::pair<uint32_t, std::string>{2, "second"}, {1, "first"}}) {
    std::vector<uint8_t> body;
    Put32(body, id);
    body.insert(body.end(), text.begin(), text.end());
    body.push_back(0);
    PutChunk(adtl, "labl", body);
  }
  std::vector<uint8_t> cue;
  Put32(cue, 2);
  for (auto [id, offset] : {std::pair<uint32_t, uint32_t>{1, 10}, {2, 500}}) {
    for (uint32_t v : {id, offset, 0x61746164u, 0u, 0u, offset}) Put32(cue, v);
  }
  std::vector<uint8_t> chunks;
  PutChunk(chunks, "LIST", adtl);
  PutChunk(chunks, "cue ", cue);
  std::vector<uint8_t> named = base;
  AppendChunks(named, chunks);
  SndFile* file = SndFileOpen(named.data(), kSndFileMemory, static_cast<int64_t>(named.size()));
  SndWavInfo info;
  std::vector<SndSyncPoint> points;
  ASSERT_TRUE(SndParseRiff(file, &info, &points));
  SndFileClose(file);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0].offset, 10u);
  EXPECT_STREQ(points[0].name, "first");
  EXPECT_EQ(points[1].offset, 500u);
  EXPECT_STREQ(points[1].name, "second");
}

// Hostile headers: each loads cleanly with what is sound in it, or fails with an error code.
TEST_F(WavFiles, HostileFilesGiveErrorCodes) {
  std::vector<uint8_t> hugeCue;
  Put32(hugeCue, 0xFFFFFFFFu);
  hugeCue.resize(4 + 24, 0);
  std::vector<uint8_t> longLabel = {'a', 'd', 't', 'l'};
  std::vector<uint8_t> text(2000, 'x');
  text.insert(text.begin(), {1, 0, 0, 0});
  PutChunk(longLabel, "labl", text);
  std::vector<uint8_t> shortLabel = {'a', 'd', 't', 'l', 'l', 'a', 'b', 'l', 2, 0, 0, 0, 1, 0};
  auto with = [](const char* id, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> chunk;
    PutChunk(chunk, id, body);
    return chunk;
  };
  auto cat = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  std::vector<uint8_t> msExtra;  // a block size, then no coefficients at all
  Put16(msExtra, 32);
  Put16(msExtra, 0);
  // One MS ADPCM block of 100 frames whose step starts at its largest and grows at every nibble.
  std::vector<uint8_t> growingExtra;
  for (uint32_t v : {100u, 1u, 256u, 0u}) Put16(growingExtra, v);
  std::vector<uint8_t> growingBlock = {0, 0xFF, 0x7F, 0, 0, 0, 0};
  growingBlock.resize(64, 0x88);
  std::vector<uint8_t> growingData;
  PutChunk(growingData, "data", growingBlock);
  // The extensible format's extra bytes: valid bits, channel mask, sub-format GUID.
  auto extensible = [](uint32_t mask, std::vector<uint8_t> guid) {
    std::vector<uint8_t> extra;
    Put16(extra, 16);
    Put32(extra, mask);
    extra.insert(extra.end(), guid.begin(), guid.end());
    return extra;
  };
  const std::vector<uint8_t> ambisonic = {1, 0, 0, 0, 0x21, 0x07, 0xD3, 0x11, 0x86, 0x44, 0xC8, 0xC1, 0xCA, 0, 0, 0};
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    int error;            // 0: loads
    const char* problem;  // what the refusal says it is about
  } cases[] = {
      {"huge cue count", Wav(1, 1, 8000, 16, cat(with("cue ", hugeCue), DataChunk(200))), 0, ""},
      {"long label", Wav(1, 1, 8000, 16, cat(with("LIST", longLabel), DataChunk(200))), 0, ""},
      {"label below 4 bytes", Wav(1, 1, 8000, 16, cat(with("LIST", shortLabel), DataChunk(200))), 0, ""},
      {"short smpl", Wav(1, 1, 8000, 16, cat(SamplerChunk(1, 10, 50, 20), DataChunk(200))), 0, ""},
      {"smpl past the end", Wav(1, 1, 8000, 16, cat(SamplerChunk(1, 10, 5000), DataChunk(200))), 0, ""},
      {"data length 0xFFFFFFFF", Wav(1, 1, 8000, 16, DataChunk(200, 0xFFFFFFFF)), kSndErrFileData, "runs past the end"},
      {"empty data", Wav(1, 1, 8000, 16, DataChunk(0)), kSndErrFileData, "data chunk is empty"},
      {"24-bit", Wav(1, 1, 8000, 24, DataChunk(300)), 0, ""},
      {"32-bit", Wav(1, 2, 8000, 32, DataChunk(800)), 0, ""},
      {"12 bits in 2 bytes", Wav(1, 1, 8000, 12, DataChunk(200)), 0, ""},
      {"6 channels", Wav(1, 6, 8000, 16, DataChunk(1200)), 0, ""},
      {"6 channels of 8 bits", Wav(1, 6, 8000, 8, DataChunk(600)), 0, ""},
      {"3 channels of A-law", Wav(6, 3, 8000, 8, DataChunk(300)), 0, ""},
      {"0 channels", Wav(1, 0, 8000, 16, DataChunk(240)), kSndErrFileFormat, "no channels"},
      {"65 channels", Wav(1, 65, 8000, 16, DataChunk(130)), kSndErrFileFormat, "65 channels"},
      {"40-bit PCM", Wav(1, 1, 8000, 40, DataChunk(500)), kSndErrFileFormat, "PCM of 40 bits"},
      {"rate 0", Wav(1, 1, 0, 16, DataChunk(200)), kSndErrFileFormat, "at 0 samples a second"},
      {"Windows Media Audio", Wav(0x161, 2, 44100, 16, DataChunk(64)), kSndErrFileFormat, "0x0161 (Windows Media Audio)"},
      {"extensible ambisonic", Wav(0xFFFE, 4, 8000, 16, DataChunk(800), extensible(0, ambisonic)), kSndErrFileFormat,
       "sub-format {00000001-0721-11D3-8644-C8C1CA000000}"},
      {"extensible without its GUID", Wav(0xFFFE, 1, 8000, 16, DataChunk(200), {16, 0}), kSndErrFileFormat,
       "without its sub-format"},
      {"IMA ADPCM of 3 channels", Wav(0x11, 3, 8000, 4, DataChunk(300)), kSndErrFileFormat, "3 channels"},
      {"GSM with blocks of 0 bytes", Wav(0x31, 1, 8000, 0, DataChunk(65)), kSndErrFileFormat, "blocks of 0 bytes"},
      {"GSM stereo", WithBlockAlign(Wav(0x31, 2, 8000, 0, DataChunk(130)), 65), kSndErrFileFormat, "2 channels"},
      {"GSM shorter than a block", WithBlockAlign(Wav(0x31, 1, 8000, 0, DataChunk(64)), 65), kSndErrFileData,
       "shorter than one frame"},
      {"16-bit float", Wav(3, 1, 8000, 16, DataChunk(200)), kSndErrFileFormat, "float of 16 bits"},
      {"float shorter than a value", Wav(3, 1, 8000, 32, DataChunk(3)), kSndErrFileData, "shorter than one frame"},
      {"MS ADPCM step past 2^24", WithBlockAlign(Wav(2, 1, 8000, 4, growingData, growingExtra), 64), 0, ""},
      {"MS ADPCM without coefficients", WithBlockAlign(Wav(2, 1, 8000, 4, DataChunk(64), msExtra), 32), kSndErrFileFormat,
       "0 predictors"},
      {"no format", cat({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, DataChunk(64)), kSndErrFileFormat,
       "format chunk"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SndSample* sample = SndLoadSample(-1, c.file.data(), kSndMemoryImage | kSndLoopOff, static_cast<int>(c.file.size()));
    if (c.error == 0) {
      ASSERT_NE(sample, nullptr) << "error " << SndGetError() << ": " << SndLoadProblem();
      EXPECT_EQ(SndGetSampleLength(sample), 100u);
      EXPECT_EQ(SndGetSampleMode(sample) & 7u, static_cast<uint32_t>(kSndLoopOff));
      EXPECT_EQ(SndLoadProblem(), "");
      SndFreeSample(sample);
    } else {
      EXPECT_EQ(sample, nullptr);
      EXPECT_EQ(SndGetError(), c.error);
      EXPECT_NE(SndLoadProblem().find(c.problem), std::string::npos) << SndLoadProblem();
    }
  }
  // Label texts are cut to the name they go into.
  std::vector<uint8_t> cue;
  Put32(cue, 1);
  for (uint32_t v : {1u, 0u, 0u, 0u, 0u, 7u}) Put32(cue, v);
  std::vector<uint8_t> file = Wav(1, 1, 8000, 16, cat(cat(with("cue ", cue), with("LIST", longLabel)), DataChunk(200)));
  SndFile* handle = SndFileOpen(file.data(), kSndFileMemory, static_cast<int64_t>(file.size()));
  SndWavInfo info;
  std::vector<SndSyncPoint> points;
  ASSERT_TRUE(SndParseRiff(handle, &info, &points));
  SndFileClose(handle);
  ASSERT_EQ(points.size(), 1u);
  EXPECT_EQ(std::strlen(points[0].name), 255u);
}

// Every prefix of a real file (PCM with a loop, both ADPCM kinds, float, GSM, 24-bit, six
// channels) loads or fails cleanly.
TEST_F(WavFiles, TruncatedFilesNeverReadPastTheirEnd) {
  Sox("-n -r 8000 -c 2 -b 16 " + Path("s.wav") + " synth 0.05 sine 700");
  Sox(Path("s.wav") + " -e ima-adpcm " + Path("ima.wav"));
  Sox(Path("s.wav") + " -e ms-adpcm " + Path("ms.wav"));
  Sox(Path("s.wav") + " -e floating-point -b 64 " + Path("float.wav"));
  Sox(Path("s.wav") + " -e gsm-full-rate " + Path("gsm.wav"));
  Sox(Path("s.wav") + " -b 24 " + Path("pcm24.wav"));
  Sox("-n -r 8000 -c 6 -b 24 " + Path("six.wav") + " synth 0.05 sine 700");
  for (const char* name : {"s.wav", "ima.wav", "ms.wav", "float.wav", "gsm.wav", "pcm24.wav", "six.wav"}) {
    std::vector<uint8_t> whole = ReadBytes(Path(name));
    if (std::string(name) == "s.wav") AppendChunks(whole, SamplerChunk(1, 10, 50));
    for (size_t size = 1; size <= whole.size(); size += (size < 200 ? 1 : 37)) {
      std::vector<uint8_t> prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
      SndSample* sample = SndLoadWavMemory(-1, prefix.data(), 0, static_cast<int>(size));
      if (sample) {
        SndFreeSample(sample);
      } else {
        EXPECT_NE(SndGetError(), 0) << name << " " << size;
      }
    }
  }
}

TEST_F(WavFiles, RawFilesAndLoadErrors) {
  std::vector<uint8_t> pcm(402);
  for (size_t i = 0; i < pcm.size(); i++) pcm[i] = static_cast<uint8_t>(i);
  WriteBytes(Path("tone.raw"), pcm);
  SndSample* sample = SndLoadRawSample(-1, Path("tone.raw").c_str(), kSnd16Bits | kSndStereo | kSndSigned);
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(SndGetSampleLength(sample), 100u);  // 402 bytes hold 100 whole frames of 4 bytes
  EXPECT_EQ(std::string(SndGetSampleName(sample)), Path("tone.raw"));
  EXPECT_EQ(std::memcmp(sample->data, pcm.data(), 400), 0);
  sample = SndLoadSample(-1, pcm.data(), kSndRaw | kSndMemoryImage | kSnd8Bits | kSndMono | kSndUnsigned, 10);
  ASSERT_NE(sample, nullptr);
  EXPECT_STREQ(SndGetSampleName(sample), "Memory file");
  EXPECT_EQ(sample->data[0], 0x80);  // unsigned 8-bit stored signed

  WriteBytes(Path("empty.raw"), {});
  WriteBytes(Path("text.txt"), std::vector<uint8_t>(500, 'a'));
  const struct {
    const char* name;
    std::function<SndSample*()> load;
    int error;
  } errors[] = {
      {"empty raw", [&] { return SndLoadRawSample(-1, Path("empty.raw").c_str(), kSnd8Bits); }, kSndErrFileData},
      {"missing file", [&] { return SndLoadSample(-1, Path("none.wav").c_str(), 0, 0); }, kSndErrFileOpen},
      {"null name", [&] { return SndLoadSample(-1, nullptr, 0, 0); }, kSndErrInvalid},
      {"memory of length 0", [&] { return SndLoadSample(-1, pcm.data(), kSndMemoryImage, 0); }, kSndErrInvalid},
      {"not a sound", [&] { return SndLoadSample(-1, Path("text.txt").c_str(), 0, 0); }, kSndErrFileFormat},
      {"not a WAV", [&] { return SndLoadWavFile(-1, Path("text.txt").c_str(), 0); }, kSndErrFileFormat},
  };
  for (const auto& e : errors) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(e.load(), nullptr);
    EXPECT_EQ(SndGetError(), e.error);
  }
}
