// MP3 files through the file layer: loading into samples (from disk and memory, past ID3 tags,
// inside RIFF), the length and time with and without counting, and seeking by time, checked
// against mpg123's decode of the same files.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/sound/mpeg_test_util.h"
#include "tests/sound/sound_test_util.h"

namespace {

class MpegFiles : public SteppedSound {
 protected:
  // Encodes the test signal with `command` ("lame --quiet -b 128" and the like).
  std::string Encode(const std::string& command, int rate, int channels, const std::string& name) {
    std::string wav = folder_.Path("in.wav"), out = folder_.Path(name);
    WriteTestWav(wav, rate, channels, 2.5);
    std::string line = command + " " + wav + " " + out + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(line.c_str()), 0) << line;
    return out;
  }
  MpegTempFolder folder_;
};

std::vector<int16_t> SampleData(SndSample* sample) {
  uint32_t bytes = SndGetSampleLength(sample) * SndFrameBytes(sample);
  void *first, *second;
  uint32_t firstLength, secondLength;
  EXPECT_TRUE(SndLockSample(sample, 0, int(bytes), &first, &second, &firstLength, &secondLength));
  std::vector<int16_t> pcm(bytes / 2);
  std::memcpy(pcm.data(), first, bytes);
  SndUnlockSample(sample, first, second, firstLength, secondLength);
  return pcm;
}

struct LoadCase {
  const char* name;
  const char* command;
  int rate, channels;
};

TEST_F(MpegFiles, LoadIntoSamplesLikeTheReferenceDecoder) {
  const LoadCase cases[] = {
      {"vbr.mp3", "lame --quiet -V 4", 44100, 2},
      {"mono.mp3", "lame --quiet -m m -b 64", 22050, 1},
      {"layer2.mp2", "twolame --quiet -b 192", 48000, 2},
  };
  for (const LoadCase& c : cases) {
    std::string path = Encode(c.command, c.rate, c.channels, c.name);
    std::vector<int16_t> reference = ReferenceDecode(path, folder_);
    SndSample* sample = SndLoadSample(-1, path.c_str(), 0, 0);
    ASSERT_NE(sample, nullptr) << c.name << " error " << SndGetError();
    uint32_t mode = SndGetSampleMode(sample);
    EXPECT_TRUE(mode & kSnd16Bits) << c.name;
    EXPECT_TRUE(mode & (c.channels == 2 ? kSndStereo : kSndMono)) << c.name;
    int frequency = 0, volume, pan, priority;
    SndGetSampleDefaults(sample, &frequency, &volume, &pan, &priority);
    EXPECT_EQ(frequency, c.rate) << c.name;
    EXPECT_EQ(SndGetSampleLength(sample), reference.size() / size_t(c.channels)) << c.name;
    EXPECT_GE(SignalToNoise(SampleData(sample), reference), 60.0) << c.name;
    SndFreeSample(sample);
  }
}

TEST_F(MpegFiles, LoadFromMemoryPastAnId3TagAndInsideRiff) {
  std::string path = Encode("lame --quiet -b 96", 44100, 2, "plain.mp3");
  std::vector<uint8_t> mp3 = ReadBytes(path);
  std::vector<int16_t> reference = ReferenceDecode(path, folder_);
  // An ID3v2 tag of 1000 bytes: the first frame is found at byte 1010.
  std::vector<uint8_t> tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x07, 0x68};
  tagged.resize(1010, 0);
  tagged.insert(tagged.end(), mp3.begin(), mp3.end());
  SndFile* file = SndFileOpen(tagged.data(), kSndFileMemory, int64_t(tagged.size()));
  SndMpegProbe probe;
  ASSERT_TRUE(SndProbeMpeg(file, false, &probe, nullptr, nullptr));
  EXPECT_EQ(probe.dataStart, 1010);
  SndFileClose(file);
  // The same frames as the "data" chunk of a RIFF file of format 0x55.
  std::vector<uint8_t> riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                               0x55, 0, 2, 0, 0x44, 0xAC, 0, 0, 0, 0x2E, 0, 0, 1, 0, 0, 0, 'd', 'a', 't', 'a'};
  for (int k = 0; k < 4; k++) riff.push_back(uint8_t(mp3.size() >> (8 * k)));
  riff.insert(riff.end(), mp3.begin(), mp3.end());
  for (int k = 0; k < 4; k++) riff[4 + size_t(k)] = uint8_t((riff.size() - 8) >> (8 * k));
  for (const std::vector<uint8_t>* image : {&tagged, &riff}) {
    SndSample* sample = SndLoadSample(-1, image->data(), kSndMemoryImage, int(image->size()));
    ASSERT_NE(sample, nullptr) << SndGetError();
    EXPECT_EQ(SndGetSampleLength(sample), reference.size() / 2);
    EXPECT_GE(SignalToNoise(SampleData(sample), reference), 60.0);
    SndFreeSample(sample);
  }
}

TEST_F(MpegFiles, LengthAndTimeWithAndWithoutCounting) {
  struct Case {
    const char* name;
    const char* command;
    bool exactWithoutCount;  // a tag frame gives the count; else an estimate within a frame
  } cases[] = {
      {"vbr.mp3", "lame --quiet -V 2", true},
      {"cbr_untagged.mp3", "lame --quiet -t -b 320", false},
      {"layer2.mp2", "twolame --quiet -b 160", false},
  };
  for (const Case& c : cases) {
    std::string path = Encode(c.command, 44100, 2, c.name);
    size_t referenceFrames = ReferenceDecode(path, folder_).size() / 2;
    SndFile* file = SndFileOpen(path.c_str(), kSndFileDisk, 0);
    ASSERT_NE(file, nullptr);
    SndMpegProbe counted, quick;
    ASSERT_TRUE(SndProbeMpeg(file, true, &counted, nullptr, nullptr));
    ASSERT_TRUE(SndProbeMpeg(file, false, &quick, nullptr, nullptr));
    SndFileClose(file);
    EXPECT_EQ(counted.frames * 1152, int64_t(referenceFrames)) << c.name;
    EXPECT_EQ(counted.decodedBytes, int64_t(referenceFrames) * 4) << c.name;
    // Milliseconds from the sample count, not whole seconds.
    EXPECT_NEAR(counted.lengthMs, referenceFrames * 1000.0 / 44100, 0.01) << c.name;
    if (c.exactWithoutCount)
      EXPECT_EQ(quick.frames, counted.frames) << c.name;
    else
      EXPECT_NEAR(double(quick.frames), double(counted.frames), 1.0) << c.name;
  }
}

TEST_F(MpegFiles, SeekByTimeResumesAtThatSample) {
  std::string path = Encode("lame --quiet -V 2", 44100, 2, "vbr.mp3");
  std::vector<int16_t> reference = ReferenceDecode(path, folder_);
  SndFile* file = SndFileOpen(path.c_str(), kSndFileDisk, 0);
  SndMpegReader reader;
  ASSERT_TRUE(SndMpegOpenReader(&reader, file));
  for (double ms : {1234.5, 26.1, 0.0, 2000.0}) {
    ASSERT_TRUE(SndMpegSeekTime(&reader, ms));
    size_t at = size_t(std::llround(ms * 44100 / 1000)) * 2;
    std::vector<int16_t> played, pcm(kSndMpegMaxOutputBytes / 2);
    for (int bytes; (bytes = SndMpegReadFrame(&reader, pcm.data())) > 0;)
      played.insert(played.end(), pcm.begin(), pcm.begin() + bytes / 2);
    ASSERT_EQ(played.size(), reference.size() - at) << ms;
    std::vector<int16_t> expected(reference.begin() + long(at), reference.end());
    EXPECT_GE(SignalToNoise(played, expected), 60.0) << ms;
  }
  EXPECT_TRUE(SndMpegSeekTime(&reader, 60000.0));  // past the end: nothing more to play
  int16_t pcm[kSndMpegMaxOutputBytes / 2];
  EXPECT_EQ(SndMpegReadFrame(&reader, pcm), 0);
  SndMpegCloseReader(&reader);
  SndFileClose(file);
}

TEST_F(MpegFiles, CutAndForeignFiles) {
  std::string path = Encode("twolame --quiet -b 384", 32000, 2, "big.mp2");
  std::vector<uint8_t> mp2 = ReadBytes(path);
  // Cut inside its last frame: the whole frames before it load.
  std::vector<uint8_t> cut(mp2.begin(), mp2.end() - 700);
  SndSample* sample = SndLoadSample(-1, cut.data(), kSndMemoryImage, int(cut.size()));
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(SndGetSampleLength(sample), uint32_t(cut.size() / 1728) * 1152);
  SndFreeSample(sample);
  // Bytes that hold no frame within the first 256 are not MPEG audio.
  std::vector<uint8_t> noise(4000);
  std::mt19937 random(4);
  for (uint8_t& b : noise) b = uint8_t(random() % 0xF0);  // no 0xFF byte anywhere
  EXPECT_EQ(SndLoadSample(-1, noise.data(), kSndMemoryImage, int(noise.size())), nullptr);
  EXPECT_EQ(SndGetError(), kSndErrFileFormat);
}

}  // namespace
