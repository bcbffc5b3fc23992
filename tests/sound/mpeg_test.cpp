// MPEG audio decoder: files made by lame and twolame against mpg123's decode, frames built bit by
// bit for what the encoders never write (intensity stereo, mixed blocks, layer I), header and
// side-information refusals, and the synthesis window.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "sound/mpeg/mpeg_local.h"
#include "tests/sound/mpeg_test_util.h"

namespace {

// --- The synthesis window -----------------------------------------------------------------

TEST(MpegWindow, HalvesMirrorWithTheSignOfEveryOther64Block) {
  const float* d = SndMpegSynthesisWindow();
  EXPECT_FLOAT_EQ(d[0], 0.0f);
  EXPECT_NEAR(d[256], 1.144989014, 1e-6);  // the centre tap
  EXPECT_NEAR(d[1], -0.000015259, 1e-9);
  for (int i = 1; i < 256; i++) {
    float mirrored = (i % 64 == 0) ? d[512 - i] : -d[512 - i];
    EXPECT_FLOAT_EQ(d[i], mirrored) << "entry " << i;
  }
}

// The standard's analysis filterbank uses C[i] = D[i] / 32; analysis followed by our synthesis
// gives the input back, delayed by 481 samples, to the filterbank's design precision. A wrong
// figure in the window shows up here as a much lower ratio.
TEST(MpegWindow, AnalysisThenSynthesisRebuildsTheInput) {
  SndMpegDecoder* decoder = SndMpegCreate();
  const float* d = SndMpegSynthesisWindow();
  std::vector<double> input(32 * 400);
  for (size_t n = 0; n < input.size(); n++)
    input[n] = 0.4 * std::sin(0.031 * n) + 0.3 * std::sin(1.7 * n) + 0.2 * std::sin(2.9 * n + 1);
  std::vector<double> x(512, 0.0);
  std::vector<int16_t> output(input.size());
  double m[32][64];
  for (int i = 0; i < 32; i++)
    for (int k = 0; k < 64; k++) m[i][k] = std::cos((2 * i + 1) * (k - 16) * M_PI / 64);
  for (size_t block = 0; block < input.size() / 32; block++) {
    for (int i = 511; i >= 32; i--) x[i] = x[i - 32];
    for (int i = 31; i >= 0; i--) x[i] = input[block * 32 + 31 - i];
    double y[64] = {};
    for (int i = 0; i < 64; i++)
      for (int j = 0; j < 8; j++) y[i] += d[i + 64 * j] / 32.0 * x[i + 64 * j];
    float bands[32];
    for (int i = 0; i < 32; i++) {
      double s = 0;
      for (int k = 0; k < 64; k++) s += m[i][k] * y[k];
      bands[i] = float(s);
    }
    SndSynthesize(decoder, bands, 32, 0, 1, 1, output.data() + block * 32);
  }
  double signal = 0, error = 0;
  for (size_t n = 2000; n < input.size(); n++) {
    double want = input[n - 481] * 32768.0;
    signal += want * want;
    error += (output[n] - want) * (output[n] - want);
  }
  EXPECT_GT(10 * std::log10(signal / error), 80.0);
  SndMpegFree(decoder);
}

// --- Files made by the encoders ---------------------------------------------------------------

struct EncodedCase {
  const char* name;
  const char* encoder;  // "lame" or "twolame"
  int rate, channels;
  const char* options;
  int layer, frameSamples;
};

const EncodedCase kEncodedCases[] = {
    {"mpeg1_joint_128k", "lame", 44100, 2, "-m j -b 128", 3, 1152},
    {"mpeg1_stereo_192k", "lame", 44100, 2, "-m s -b 192", 3, 1152},
    {"mpeg1_mono_96k", "lame", 44100, 1, "-m m -b 96", 3, 1152},
    {"mpeg1_vbr", "lame", 44100, 2, "-V 2", 3, 1152},
    {"mpeg1_48k", "lame", 48000, 2, "-b 160", 3, 1152},
    {"mpeg1_32k", "lame", 32000, 2, "-b 96", 3, 1152},
    {"mpeg1_320k", "lame", 44100, 2, "-b 320", 3, 1152},
    {"mpeg2_22k", "lame", 22050, 2, "-b 64", 3, 576},
    {"mpeg2_16k_mono", "lame", 16000, 1, "-b 32", 3, 576},
    {"mpeg25_8k", "lame", 8000, 1, "-b 16", 3, 576},
    {"mpeg25_11k_stereo", "lame", 11025, 2, "-m s -b 32", 3, 576},
    {"mpeg25_12k_joint", "lame", 12000, 2, "-m j -b 32 --resample 12", 3, 576},
    // Every granule in short blocks, and mid/side on every frame.
    {"mpeg1_all_short", "lame", 44100, 2, "--allshort -b 128", 3, 1152},
    {"mpeg2_24k_all_short", "lame", 24000, 2, "--allshort -b 64", 3, 576},
    {"mpeg1_forced_mid_side", "lame", 44100, 2, "-m f -b 128", 3, 1152},
    {"layer2_stereo", "twolame", 44100, 2, "-m s -b 192", 2, 1152},
    {"layer2_joint", "twolame", 48000, 2, "-m j -b 128", 2, 1152},
    {"layer2_mono_32k", "twolame", 32000, 1, "-m m -b 64", 2, 1152},
    {"layer2_lsf_22k", "twolame", 22050, 2, "-b 96", 2, 1152},
    {"layer2_lsf_16k_mono", "twolame", 16000, 1, "-m m -b 32", 2, 1152},
    // Low bitrates choose the allocation tables of 8 and 12 subbands; a joint-stereo bound
    // above them is held to the table's limit.
    {"layer2_joint_64k_48k", "twolame", 48000, 2, "-m j -b 64", 2, 1152},
    {"layer2_64k_32k", "twolame", 32000, 2, "-m j -b 64", 2, 1152},
};

class MpegEncoded : public ::testing::TestWithParam<EncodedCase> {};

TEST_P(MpegEncoded, DecodesLikeTheReferenceDecoder) {
  const EncodedCase& c = GetParam();
  MpegTempFolder folder;
  std::string wav = folder.Path("in.wav"), mp3 = folder.Path("out.mp3");
  WriteTestWav(wav, c.rate, c.channels, 3.0);
  std::string command = std::string(c.encoder) + " --quiet " + c.options + " " + wav + " " + mp3;
  ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
  std::vector<int16_t> reference = ReferenceDecode(mp3, folder);
  ASSERT_FALSE(reference.empty());
  MpegDecoded ours = DecodeMpegFile(ReadBytes(mp3));
  ASSERT_EQ(ours.failures, 0);
  EXPECT_EQ(ours.rate, c.rate);
  EXPECT_EQ(ours.channels, c.channels);
  EXPECT_EQ(ours.layer, c.layer);
  // Every frame gives its whole sample count: 4608 bytes for MPEG-1 stereo.
  EXPECT_EQ(ours.bytesPerFrame, c.frameSamples * c.channels * 2);
  ASSERT_EQ(ours.pcm.size(), reference.size());
  EXPECT_GE(SignalToNoise(ours.pcm, reference), 60.0);
}

INSTANTIATE_TEST_SUITE_P(Files, MpegEncoded, ::testing::ValuesIn(kEncodedCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Frames built bit by bit ----------------------------------------------------------------

// Frames the encoders never write, decoded by us and by the reference decoder.
void ExpectLikeReference(const std::vector<uint8_t>& stream) {
  MpegTempFolder folder;
  std::string path = folder.Path("built.mp3");
  WriteBytes(path, stream);
  std::vector<int16_t> reference = ReferenceDecode(path, folder);
  MpegDecoded ours = DecodeMpegFile(stream);
  ASSERT_EQ(ours.failures, 0);
  ASSERT_EQ(ours.pcm.size(), reference.size());
  double energy = 0;
  for (int16_t v : reference) energy += double(v) * v;
  ASSERT_GT(energy / double(reference.size()), 1000.0);  // the frames are not silence
  EXPECT_GE(SignalToNoise(ours.pcm, reference), 60.0);
}

// Twelve frames whose every granule and channel `shape` sets up (frame, granule, channel).
template <typename Shape>
std::vector<uint8_t> BuildLayer3Stream(unsigned seed, bool lsf, int (*modeExtension)(int frame),
                                       Shape shape) {
  std::mt19937 random(seed);
  std::vector<uint8_t> stream;
  for (int f = 0; f < 12; f++) {
    Layer3Layout layout;
    layout.lsf = lsf;
    layout.modeExtension = modeExtension(f);
    for (int gr = 0; gr < (lsf ? 1 : 2); gr++)
      for (int ch = 0; ch < 2; ch++) shape(f, gr, ch, &layout.part[gr][ch]);
    AppendLayer3Frame(&stream, layout, random);
  }
  return stream;
}

// Intensity alone, then with mid/side; the right channel ends early so intensity has bands.
int IntensityThenBoth(int frame) { return (frame & 1) ? 3 : 1; }

TEST(MpegBuilt, IntensityStereoMpeg1LongAndShort) {
  ExpectLikeReference(BuildLayer3Stream(7, false, IntensityThenBoth, [](int f, int gr, int ch, Layer3Part* p) {
    p->blockType = (f % 4 == 2) ? 2 : 0;
    p->lines = ch == 0 ? 300 : 60 + 20 * gr;
    p->intensityPositions = ch == 1;
  }));
}

TEST(MpegBuilt, IntensityStereoLowerSamplingFrequencies) {
  ExpectLikeReference(BuildLayer3Stream(11, true, IntensityThenBoth, [](int f, int, int ch, Layer3Part* p) {
    p->blockType = (f % 4 == 2) ? 2 : 0;
    p->lines = ch == 0 ? 260 : 50;
    p->intensityPositions = ch == 1;
    p->intensityScale = f % 3 == 0;
  }));
}

// The mixed flag on short blocks, and on start and stop blocks, where it also puts the lowest
// two subbands on the normal window.
TEST(MpegBuilt, MixedBlocks) {
  auto midSideEveryOther = [](int frame) { return (frame & 1) ? 2 : 0; };
  for (bool lsf : {false, true}) {
    ExpectLikeReference(BuildLayer3Stream(3, lsf, midSideEveryOther, [](int f, int, int, Layer3Part* p) {
      p->blockType = f % 4 == 0 ? 1 : f % 4 == 3 ? 3 : 2;
      p->mixed = true;
      p->lines = 200;
    }));
  }
}

TEST(MpegBuilt, LayerOneFrames) {
  std::mt19937 random(5);
  std::vector<uint8_t> stream;
  for (int f = 0; f < 20; f++) AppendLayer1Frame(&stream, false, random);
  ExpectLikeReference(stream);
}

// --- Refusals -------------------------------------------------------------------------------

struct HeaderCase {
  const char* what;
  uint8_t bytes[4];
  bool accepted;
  int frameSize;  // after the header
};

const HeaderCase kHeaderCases[] = {
    {"mpeg1 layer III 128k 44.1k", {0xFF, 0xFB, 0x90, 0x00}, true, 413},
    {"the same with padding", {0xFF, 0xFB, 0x92, 0x00}, true, 414},
    {"mpeg2 layer III 64k 22.05k", {0xFF, 0xF3, 0x80, 0x00}, true, 204},
    {"mpeg2.5 layer III 16k 8k", {0xFF, 0xE3, 0x28, 0xC0}, true, 140},
    {"mpeg1 layer II 384k 32k, the largest frame", {0xFF, 0xFD, 0xE8, 0x00}, true, 1724},
    {"sync bits 8-10 not all set", {0xFF, 0xDB, 0x90, 0x00}, false, 0},
    {"first byte not 0xFF", {0xFE, 0xFB, 0x90, 0x00}, false, 0},
    {"reserved version", {0xFF, 0xEB, 0x90, 0x00}, false, 0},
    {"reserved layer", {0xFF, 0xF9, 0x90, 0x00}, false, 0},
    {"sampling index 3", {0xFF, 0xFB, 0x9C, 0x00}, false, 0},
    {"free format", {0xFF, 0xFB, 0x00, 0x00}, false, 0},
    {"bitrate index 15", {0xFF, 0xFB, 0xF0, 0x00}, false, 0},
    {"mpeg2.5 layer II 160k 8k is larger than a frame buffer", {0xFF, 0xE5, 0xE8, 0x00}, false, 0},
    {"mpeg2.5 layer II 64k 8k", {0xFF, 0xE5, 0x88, 0x00}, true, 1148},
};

TEST(MpegHeader, AcceptsAndRefuses) {
  for (const HeaderCase& c : kHeaderCases) {
    SndMpegDecoder* d = SndMpegCreate();
    int rate = 0, channels = 0, size = -1;
    EXPECT_EQ(SndMpegParseHeader(d, c.bytes, &rate, &channels, &size), c.accepted) << c.what;
    if (c.accepted) {
      EXPECT_EQ(size, c.frameSize) << c.what;
    }
    SndMpegFree(d);
  }
}

TEST(MpegHeader, TheFirstHeaderFixesTheLayer) {
  SndMpegDecoder* d = SndMpegCreate();
  const uint8_t layer3[4] = {0xFF, 0xFB, 0x90, 0x00}, layer2[4] = {0xFF, 0xFD, 0x90, 0x00};
  EXPECT_TRUE(SndMpegParseHeader(d, layer3, nullptr, nullptr, nullptr));
  EXPECT_FALSE(SndMpegParseHeader(d, layer2, nullptr, nullptr, nullptr));
  EXPECT_FALSE(SndMpegPeekHeader(d, layer2, nullptr));
  SndMpegFree(d);
}

// A header parsed for a frame that then fails leaves nothing pending: the next call reads the
// next frame's own header instead of taking its bytes as the old frame's data.
TEST(MpegHeader, AFailedFrameLeavesNoHeaderPending) {
  std::mt19937 random(1);
  std::vector<uint8_t> stereo, mono;
  AppendLayer1Frame(&stereo, false, random);
  AppendLayer1Frame(&mono, true, random);
  mono.resize(mono.size() + 8, 0);
  SndMpegDecoder* d = SndMpegCreate();
  int16_t pcm[kSndMpegMaxOutputBytes / 2];
  int bytes = -1;
  ASSERT_TRUE(SndMpegParseHeader(d, stereo.data(), nullptr, nullptr, nullptr));
  EXPECT_FALSE(SndMpegDecodeFrame(d, stereo.data(), 100, pcm, &bytes));  // cut short
  EXPECT_EQ(bytes, 0);
  EXPECT_TRUE(SndMpegDecodeFrame(d, mono.data(), int(mono.size()), pcm, &bytes));
  EXPECT_EQ(bytes, 384 * 2);  // read as the mono frame it is
  SndMpegFree(d);
}

struct SideInfoCase {
  const char* what;
  void (*Change)(Layer3Part* part);
  bool decodes;
};

const SideInfoCase kSideInfoCases[] = {
    {"big values 289", [](Layer3Part* p) { p->bigValuesOverride = 289; }, false},
    {"table 4", [](Layer3Part* p) { p->table = 4; }, false},
    {"table 14", [](Layer3Part* p) { p->table = 14; }, false},
    {"window switching with block type 0", [](Layer3Part* p) { p->switchedTypeZero = true; }, false},
    {"region counts beyond the last band", [](Layer3Part* p) { p->region0 = 15, p->region1 = 7; }, true},
    {"count1 quadruples past line 576", [](Layer3Part* p) { p->count1Past576 = true; }, true},
    {"the largest gain and scale factors", [](Layer3Part* p) { p->globalGain = 255, p->scalefactor = 15; }, true},
    {"the smallest gain", [](Layer3Part* p) { p->globalGain = 0, p->subblockGain = 7; }, true},
    {"part 2+3 length past the frame", [](Layer3Part* p) { p->part23Extra = 4000; }, false},
};

TEST(MpegSideInfo, RefusesWhatItCannotDecodeAndStaysInBounds) {
  for (const SideInfoCase& c : kSideInfoCases) {
    std::mt19937 random(9);
    Layer3Layout layout;
    for (int gr = 0; gr < 2; gr++)
      for (int ch = 0; ch < 2; ch++) layout.part[gr][ch].lines = 100;
    c.Change(&layout.part[0][0]);
    std::vector<uint8_t> frame;
    AppendLayer3Frame(&frame, layout, random);
    frame.resize(frame.size() + 16, 0);
    SndMpegDecoder* d = SndMpegCreate();
    int16_t pcm[kSndMpegMaxOutputBytes / 2];
    int bytes = -1;
    EXPECT_EQ(SndMpegDecodeFrame(d, frame.data(), int(frame.size()), pcm, &bytes), c.decodes)
        << c.what;
    if (c.decodes) {
      EXPECT_EQ(bytes, 4608) << c.what;
    }
    SndMpegFree(d);
  }
}

// Hostile counts (a layer II allocation asking for 16-bit samples everywhere, a big-values
// count with long words) ask for far more bits than a frame holds: reads past the data give
// zeros and touch no memory (ASan watches the buffer's end), and the frame is refused.
TEST(MpegBits, ReadsPastTheDataGiveZerosWithoutTouchingMemory) {
  std::vector<uint8_t> buffer(8 + kSndStorePadding, 0xFF);
  std::fill(buffer.begin() + 8, buffer.end(), 0);
  SndBits bits{buffer.data(), 0, 64};
  EXPECT_EQ(bits.Get(16), 0xFFFFu);
  for (int i = 0; i < 200; i++) bits.Get(16);
  EXPECT_EQ(bits.Get(8), 0u);
  EXPECT_TRUE(bits.Overrun());

  std::vector<uint8_t> frame = {0xFF, 0xFD, 0xE4, 0x00};  // layer II, 384 kbit/s, 48 kHz
  frame.resize(4 + 1148, 0xFF);                           // every allocation at its highest
  SndMpegDecoder* d = SndMpegCreate();
  int16_t pcm[kSndMpegMaxOutputBytes / 2];
  int bytes = -1;
  EXPECT_FALSE(SndMpegDecodeFrame(d, frame.data(), int(frame.size()), pcm, &bytes));
  SndMpegFree(d);
}

// The start of a cut file: the first frame's main data begins in a frame we never saw. It
// plays as silence (reading nothing before its own data); the frames after it decode.
TEST(MpegReservoir, AFrameWhoseReservoirIsMissingIsSilent) {
  std::mt19937 random(2);
  std::vector<uint8_t> stream;
  for (int f = 0; f < 3; f++) {
    Layer3Layout layout;
    layout.mainDataBegin = f == 0 ? 200 : 0;
    for (int gr = 0; gr < 2; gr++)
      for (int ch = 0; ch < 2; ch++) layout.part[gr][ch].lines = 100;
    AppendLayer3Frame(&stream, layout, random);
  }
  MpegDecoded ours = DecodeMpegFile(stream);
  ASSERT_EQ(ours.failures, 0);
  ASSERT_EQ(ours.pcm.size(), size_t(3 * 2304));
  for (size_t i = 0; i < 2304; i++) ASSERT_EQ(ours.pcm[i], 0) << i;
  bool sound = false;
  for (size_t i = 2304; i < ours.pcm.size(); i++) sound = sound || ours.pcm[i] != 0;
  EXPECT_TRUE(sound);
}

}  // namespace
