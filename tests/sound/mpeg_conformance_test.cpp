// Layer III streams of the MPEG audio conformance suites against the output of the reference
// decoder: block switching (long, start, short and stop blocks, mixed blocks) and MPEG-2
// intensity stereo. A conforming decoder stays within about one LSB of the reference.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/sound/mpeg_test_util.h"

namespace {

struct ConformanceCase {
  const char* name;  // NAME.bit and its reference NAME.pcm.xz in the test data
  int rate, channels;
};

const ConformanceCase kConformanceCases[] = {
    {"l3-si_block", 44100, 1},  // MPEG-1 block switching and mixed blocks, mono
    {"l3-test45", 22050, 2},    // MPEG-2 joint stereo with intensity stereo
};

// The reference output is kept xz-compressed; xz unpacks it into the test's folder.
std::vector<int16_t> ReadReference(const std::string& packed, const MpegTempFolder& folder) {
  std::string raw = folder.Path("reference.pcm");
  std::string command = "xz -dc '" + packed + "' > '" + raw + "'";
  if (std::system(command.c_str()) != 0) return {};
  std::vector<uint8_t> bytes = ReadBytes(raw);
  std::vector<int16_t> pcm(bytes.size() / 2);
  for (size_t i = 0; i < pcm.size(); i++) pcm[i] = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return pcm;
}

class MpegConformance : public ::testing::TestWithParam<ConformanceCase> {};

TEST_P(MpegConformance, DecodesWithin60DbOfTheReference) {
  const ConformanceCase& c = GetParam();
  std::string base = std::string(QV_SOUND_TEST_DATA) + "/mpeg/" + c.name;
  MpegTempFolder folder;
  std::vector<int16_t> reference = ReadReference(base + ".pcm.xz", folder);
  ASSERT_FALSE(reference.empty());
  MpegDecoded ours = DecodeMpegFile(ReadBytes(base + ".bit"));
  EXPECT_EQ(ours.failures, 0);
  EXPECT_EQ(ours.rate, c.rate);
  EXPECT_EQ(ours.channels, c.channels);
  // The reference starts at the first decoded sample; its decoder leaves out a last frame that
  // no header follows, which we play.
  size_t frameValues = size_t(ours.bytesPerFrame / 2);
  EXPECT_GE(ours.pcm.size(), reference.size());
  EXPECT_LE(ours.pcm.size(), reference.size() + frameValues);
  double ratio = SignalToNoise(ours.pcm, reference);
  std::printf("%s: %.1f dB\n", c.name, ratio);
  EXPECT_GE(ratio, 60.0);
}

INSTANTIATE_TEST_SUITE_P(Streams, MpegConformance, ::testing::ValuesIn(kConformanceCases),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

}  // namespace
