// Samples: table growth, defaults and loop points, delta and sign-flip uploads, locking, and
// IT 2.14/2.15 compressed uploads from a test-side encoder, with malformed blocks refused.
#include "tests/sound/sound_test_util.h"

TEST_F(SteppedSound, SampleTableGrowsBy256) {
  for (int i = 0; i < 256; i++) ASSERT_NE(SndCreateSample(-1, 4, kSnd16Bits, 44100, 255, 128, 255), nullptr);
  EXPECT_EQ(SndGetSampleCapacity(), 256);
  SndSample* next = SndCreateSample(-1, 4, kSnd16Bits, 44100, 255, 128, 255);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->index, 256);
  EXPECT_EQ(SndGetSampleCapacity(), 512);
  SndSample* far = SndCreateSample(1000, 4, kSnd16Bits, 44100, 255, 128, 255);
  ASSERT_NE(far, nullptr);
  EXPECT_EQ(SndGetSampleCapacity(), 1024);
  EXPECT_EQ(SndGetSample(1000), far);
  // A slot that holds a sample frees it for the new one.
  SndSample* again = SndCreateSample(1000, 8, kSnd8Bits, 44100, 255, 128, 255);
  EXPECT_EQ(SndGetSample(1000), again);
  EXPECT_EQ(SndCreateSample(-1, 0, kSnd16Bits, 44100, 255, 128, 255), nullptr);
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
  SndFreeSample(again);
  EXPECT_EQ(SndGetSample(1000), nullptr);
}

TEST_F(SteppedSound, SampleDefaultsModeAndLoopPoints) {
  SndSample* s = SndCreateSample(-1, 100, kSnd16Bits | kSndStereo | kSndLoopBidi | kSndLoopOff, 22050, 200, 10, 50);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SndGetSampleMode(s), kSndLoopBidi | kSnd16Bits | kSndStereo);
  EXPECT_TRUE(SndSetSampleDefaults(s, 0, 100, 0, -1));
  int frequency, volume, pan, priority;
  SndGetSampleDefaults(s, &frequency, &volume, &pan, &priority);
  EXPECT_EQ(frequency, 22050);
  EXPECT_EQ(volume, 100);
  EXPECT_EQ(pan, 10);
  EXPECT_EQ(priority, 50);
  struct Case { int start, end; bool ok; } cases[] = {{0, 100, false}, {5, 5, false}, {-1, 10, false}, {10, 5, false}, {0, 98, true}, {3, 40, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(SndSetSampleLoopPoints(s, c.start, c.end), c.ok) << c.start << ".." << c.end;
    if (!c.ok) {
      EXPECT_EQ(SndGetError(), kSndErrInvalid);
    }
  }
  int start, end;
  SndGetSampleLoopPoints(s, &start, &end);
  EXPECT_EQ(start, 3);
  EXPECT_EQ(end, 40);
  EXPECT_FALSE(SndSetSampleLoopMode(s, 3));
  EXPECT_EQ(SndGetError(), kSndErrNone);
}

TEST_F(SteppedSound, UploadConversions) {
  struct Case {
    uint32_t mode;
    std::vector<uint8_t> in, out;
  } cases[] = {
      {kSnd8Bits | kSndDelta, {1, 1, 1}, {1, 2, 3}},
      {kSnd8Bits | kSndDelta | kSndUnsigned, {1, 1, 1}, {0x81, 0x82, 0x83}},
      {kSnd8Bits | kSndDelta, {0x7F, 0x02}, {0x7F, 0x81}},  // wraps at 8 bits
      {kSnd16Bits | kSndDelta, {0xFF, 0x7F, 0x02, 0x00}, {0xFF, 0x7F, 0x01, 0x80}},
      {kSnd16Bits | kSndUnsigned, {0x00, 0x00, 0xFF, 0xFF}, {0x00, 0x80, 0xFF, 0x7F}},
  };
  for (const Case& c : cases) {
    uint32_t bytesPerFrame = (c.mode & kSnd16Bits) ? 2 : 1;
    SndSample* s = SndCreateSample(-1, static_cast<int>(c.in.size() / bytesPerFrame), c.mode, 44100, 255, 128, 255);
    ASSERT_TRUE(SndUploadSample(s, c.in.data(), c.mode));
    EXPECT_EQ(std::vector<uint8_t>(s->data, s->data + c.out.size()), c.out) << std::hex << c.mode;
  }
}

// Data described with a wider frame than the sample's own fills the buffer and stops there.
TEST_F(SteppedSound, UploadNeverWritesPastTheBuffer) {
  SndSample* s = SndCreateSample(-1, 10, kSnd8Bits | kSndMono, 44100, 255, 128, 255);
  std::vector<uint8_t> wide(40, 0x11);
  EXPECT_TRUE(SndUploadSample(s, wide.data(), kSnd16Bits | kSndStereo | kSndDelta | kSndUnsigned));
  std::vector<uint8_t> narrow(4, 1);
  EXPECT_FALSE(SndUploadSampleSized(s, narrow.data(), 4, kSnd8Bits | kSndMono));  // 4 bytes for 10 frames
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
}

TEST_F(SteppedSound, LockWrapsAndRefusesBadOffsets) {
  SndSample* s = SndCreateSample(-1, 100, kSnd16Bits | kSndMono, 44100, 255, 128, 255);  // 200 bytes
  void *first, *second;
  uint32_t firstLength, secondLength;
  ASSERT_TRUE(SndLockSample(s, 190, 30, &first, &second, &firstLength, &secondLength));
  EXPECT_EQ(first, s->data + 190);
  EXPECT_EQ(firstLength, 10u);
  EXPECT_EQ(second, s->data);
  EXPECT_EQ(secondLength, 20u);
  ASSERT_TRUE(SndLockSample(s, 0, 1000, &first, &second, &firstLength, &secondLength));
  EXPECT_EQ(firstLength, 200u);
  EXPECT_EQ(second, nullptr);
  EXPECT_FALSE(SndLockSample(s, 201, 4, &first, &second, &firstLength, &secondLength));
  EXPECT_EQ(SndGetError(), kSndErrInvalid);
  EXPECT_FALSE(SndLockSample(s, 200, 4, &first, &second, &firstLength, &secondLength));
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(firstLength, 0u);
}

// Loop changes and uploads after loop points never touch the sample's own frames.
TEST_F(SteppedSound, LoopChangesLeaveSampleDataAlone) {
  std::vector<int16_t> frames(10);
  for (int i = 0; i < 10; i++) frames[i] = static_cast<int16_t>(1000 + i);
  SndSample* s = SndCreateSample(-1, 10, kSnd16Bits | kSndMono, 44100, 255, 128, 255);
  SndSetSampleLoopPoints(s, 2, 5);
  ASSERT_TRUE(SndUploadSample(s, frames.data(), kSnd16Bits | kSndMono));
  for (uint32_t mode : {kSndLoopNormal, kSndLoopBidi, kSndLoopOff, kSndLoopNormal}) SndSetSampleLoopMode(s, mode);
  SndSetSampleLoopPoints(s, 0, 8);
  SndSetSampleLoopPoints(s, 4, 6);
  EXPECT_EQ(std::memcmp(s->data, frames.data(), 20), 0);
}

// A small IT sample packer: picks for every value the narrowest width that can carry it and
// writes the width-change codes the format defines. 2.15 packs the differences of differences.
class ItEncoder {
 public:
  explicit ItEncoder(bool sixteenBit) : sixteen_(sixteenBit) {}

  std::vector<uint8_t> Encode(const std::vector<int>& values, bool it215) {
    std::vector<uint8_t> out;
    size_t blockFrames = sixteen_ ? 16384 : 32768;
    for (size_t at = 0; at < values.size(); at += blockFrames) {
      size_t end = std::min(values.size(), at + blockFrames);
      bits_.clear();
      width_ = MaxWidth();
      int previous = 0, previousDelta = 0;
      for (size_t i = at; i < end; i++) {
        int delta = Wrap(values[i] - previous);
        previous = values[i];
        int value = delta;
        if (it215) {
          value = Wrap(delta - previousDelta);
          previousDelta = delta;
        }
        Put(value);
      }
      std::vector<uint8_t> block((bits_.size() + 7) / 8, 0);
      for (size_t b = 0; b < bits_.size(); b++) block[b / 8] |= static_cast<uint8_t>(bits_[b] << (b % 8));
      out.push_back(static_cast<uint8_t>(block.size() & 0xFF));
      out.push_back(static_cast<uint8_t>(block.size() >> 8));
      out.insert(out.end(), block.begin(), block.end());
    }
    return out;
  }

 private:
  int MaxWidth() const { return sixteen_ ? 17 : 9; }
  int Wrap(int v) const { return sixteen_ ? static_cast<int16_t>(v) : static_cast<int8_t>(v); }
  void Bits(uint32_t v, int count) {
    for (int i = 0; i < count; i++) bits_.push_back((v >> i) & 1u);
  }
  // Whether `value` can be written as a plain value at `width`.
  bool Fits(int value, int width) const {
    if (width == MaxWidth()) return true;
    if (value < -(1 << (width - 1)) || value >= (1 << (width - 1))) return false;
    uint32_t v = static_cast<uint32_t>(value) & ((1u << width) - 1);
    if (width < 7) return v != (1u << (width - 1));
    uint32_t border = sixteen_ ? (65535u >> (17 - width)) - 8 : (255u >> (9 - width)) - 4;
    return v <= border || v > border + (sixteen_ ? 16u : 8u);
  }
  void ChangeWidth(int to) {
    int n = to < width_ ? to : to - 1;
    if (width_ < 7) {
      Bits(1u << (width_ - 1), width_);
      Bits(static_cast<uint32_t>(n - 1), sixteen_ ? 4 : 3);
    } else if (width_ < MaxWidth()) {
      uint32_t border = sixteen_ ? (65535u >> (17 - width_)) - 8 : (255u >> (9 - width_)) - 4;
      Bits(border + static_cast<uint32_t>(n), width_);
    } else {
      Bits((1u << (MaxWidth() - 1)) | static_cast<uint32_t>(to - 1), width_);
    }
    width_ = to;
  }
  void Put(int value) {
    int want = 1;
    while (!Fits(value, want)) want++;
    if (want != width_) ChangeWidth(want);
    uint32_t mask = width_ == 32 ? ~0u : (1u << width_) - 1;
    uint32_t v = static_cast<uint32_t>(value) & mask;
    if (width_ == MaxWidth()) v &= sixteen_ ? 0xFFFFu : 0xFFu;  // top bit clear: a plain value
    Bits(v, width_);
  }

  bool sixteen_;
  int width_ = 0;
  std::vector<uint8_t> bits_;
};

static std::vector<int> ItTestSignal(size_t frames, bool sixteenBit) {
  std::vector<int> values(frames);
  uint32_t seed = 12345;
  double scale = sixteenBit ? 20000 : 100;
  for (size_t i = 0; i < frames; i++) {
    seed = seed * 1103515245u + 12345u;
    int noise = static_cast<int>((seed >> 16) % 64) - 32;
    double smooth = std::sin(static_cast<double>(i) * 0.01) * scale;
    // Mostly smooth, with jumps every few hundred frames to force wide codes.
    int value = static_cast<int>(smooth) + ((i / 300) % 2 ? noise * (sixteenBit ? 200 : 1) : noise / 8);
    values[i] = sixteenBit ? static_cast<int16_t>(value) : static_cast<int8_t>(value);
  }
  return values;
}

TEST_F(SteppedSound, ItCompressedUploadsRoundTrip) {
  struct Case { bool sixteen, it215; size_t frames; } cases[] = {
      {false, false, 40000}, {false, true, 40000}, {true, false, 20000}, {true, true, 20000}, {false, false, 5}};
  for (const Case& c : cases) {
    std::vector<int> values = ItTestSignal(c.frames, c.sixteen);
    std::vector<uint8_t> packed = ItEncoder(c.sixteen).Encode(values, c.it215);
    uint32_t mode = (c.sixteen ? kSnd16Bits : kSnd8Bits) | (c.it215 ? kSndIt215 : kSndIt214);
    SndSample* s = SndCreateSample(-1, static_cast<int>(c.frames), mode, 44100, 255, 128, 255);
    ASSERT_TRUE(SndUploadSampleSized(s, packed.data(), static_cast<uint32_t>(packed.size()), mode))
        << c.sixteen << c.it215 << " error " << SndGetError();
    bool same = true;
    for (size_t i = 0; i < c.frames && same; i++) {
      int got = c.sixteen ? reinterpret_cast<int16_t*>(s->data)[i] : static_cast<int8_t>(s->data[i]);
      if (got != values[i]) {
        ADD_FAILURE() << "frame " << i << " got " << got << " want " << values[i];
        same = false;
      }
    }
    // Without a size the blocks cannot be checked, so compressed data needs the sized call.
    EXPECT_FALSE(SndUploadSample(s, packed.data(), mode));
    EXPECT_EQ(SndGetError(), kSndErrInvalid);
  }
}

TEST_F(SteppedSound, MalformedItBlocksFailCleanly) {
  std::vector<int> values = ItTestSignal(1000, false);
  std::vector<uint8_t> good = ItEncoder(false).Encode(values, false);
  auto withBlockLength = [&](uint32_t length) {
    std::vector<uint8_t> bad = good;
    bad[0] = static_cast<uint8_t>(length);
    bad[1] = static_cast<uint8_t>(length >> 8);
    return bad;
  };
  struct Case { const char* what; std::vector<uint8_t> data; } cases[] = {
      {"empty", {}},
      {"header cut", {good[0]}},
      {"block longer than the data", withBlockLength(static_cast<uint32_t>(good.size()))},
      {"block too short for its frames", withBlockLength(10)},
      {"width set to 0", {2, 0, 0xFF, 0x01}},       // width 9 code 0x1FF: (v + 1) & 255 = 0
      {"width set above 9", {2, 0, 0x09, 0x01}},    // code 0x109: width 10
      {"truncated data", std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(good.size() / 2))},
  };
  SndSample* s = SndCreateSample(-1, 1000, kSnd8Bits, 44100, 255, 128, 255);
  for (const Case& c : cases) {
    const uint8_t* data = c.data.empty() ? good.data() : c.data.data();
    EXPECT_FALSE(SndUploadSampleSized(s, data, static_cast<uint32_t>(c.data.size()), kSnd8Bits | kSndIt214)) << c.what;
    EXPECT_EQ(SndGetError(), kSndErrFileData) << c.what;
  }
  std::vector<uint8_t> sixteen = ItEncoder(true).Encode(ItTestSignal(1000, true), true);
  SndSample* s16 = SndCreateSample(-1, 1000, kSnd16Bits, 44100, 255, 128, 255);
  for (size_t cut : {size_t{1}, size_t{3}, sixteen.size() - 1}) {
    EXPECT_FALSE(SndUploadSampleSized(s16, sixteen.data(), static_cast<uint32_t>(cut), kSnd16Bits | kSndIt215)) << cut;
  }
}
