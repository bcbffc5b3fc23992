// Streams: WAV (PCM and compressed), raw and MP3 streams give the bytes the same file loads as
// a sample, end once, report sync points on every loop, resync after a damaged MP3 byte, keep
// time without drift over ten minutes, and can be closed while the feeder and mixer run.
#include <functional>
#include <string>
#include <thread>

#include "sound/stream.h"
#include "tests/sound/mpeg_test_util.h"
#include "tests/sound/sound_test_util.h"

namespace {

// What a stream's unit saw and its callbacks reported.
struct Capture {
  std::vector<uint8_t> bytes;
  int frameBytes = 0;
  int ends = 0;
  std::vector<std::string> syncs;
};

void* Collect(void*, void* buffer, int frames, void* user) {
  auto* capture = static_cast<Capture*>(user);
  auto* p = static_cast<uint8_t*>(buffer);
  capture->bytes.insert(capture->bytes.end(), p, p + size_t(frames) * size_t(capture->frameBytes));
  return buffer;
}
void CountEnd(SndStream*, void* user) { static_cast<Capture*>(user)->ends++; }
void NoteSync(SndStream*, const char* name, uint32_t, void* user) { static_cast<Capture*>(user)->syncs.push_back(name); }

class Streams : public SteppedSound {
 protected:
  std::string Path(const std::string& name) const { return folder_.Path(name); }
  void Run(const std::string& command) { ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command; }

  // Plays the stream to its end, collecting every filled half; returns the steps taken.
  int PlayToEnd(SndStream* stream, Capture* capture, int maxMs = 20000) {
    SndSample* sample = SndStreamGetSample(stream);
    capture->frameBytes = int(SndFrameBytes(sample));
    SndDspUnit* unit = SndStreamCreateDsp(stream, Collect, 0, capture);
    SndSetDspUnitActive(unit, true);
    SndStreamSetEndCallback(stream, CountEnd, capture);
    EXPECT_GE(SndStreamPlay(-1, stream), 0) << SndGetError();
    int ms = 0;
    for (; ms < maxMs && capture->ends == 0; ms += 5) SndStepClock(5);
    for (int i = 0; i < 100; i++) SndStepClock(5);  // nothing more once it has ended
    return ms;
  }

  MpegTempFolder folder_;
};

TEST_F(Streams, EqualTheSameDataLoadedAsASample) {
  Run("sox -D -n -r 22050 -c 1 -b 16 " + Path("mono.wav") + " synth 0.7 sine 300-5000 gain -3");
  Run("sox -D -n -r 32000 -c 2 -b 16 " + Path("stereo.wav") + " synth 0.6 sine 200-6000 sine 3000-300 gain -3");
  Run("sox -D " + Path("mono.wav") + " -b 8 " + Path("pcm8.wav"));
  Run("sox -D " + Path("stereo.wav") + " -e ima-adpcm " + Path("ima.wav"));
  Run("sox -D " + Path("mono.wav") + " -e ms-adpcm " + Path("ms.wav"));
  Run("sox -D " + Path("stereo.wav") + " -e u-law " + Path("mulaw.wav"));
  Run("sox -D " + Path("stereo.wav") + " -e floating-point -b 32 " + Path("float.wav"));
  Run("sox -D " + Path("mono.wav") + " -e gsm-full-rate " + Path("gsm.wav"));  // its decoder has a history
  Run("sox -D " + Path("stereo.wav") + " -b 24 " + Path("pcm24.wav"));
  Run("sox -D -n -r 22050 -c 6 -b 24 " + Path("six.wav") + " synth 0.5 sine 300 sine 500 sine 700 sine 900 sine 1100");
  Run("lame --quiet -b 128 " + Path("stereo.wav") + " " + Path("stereo.mp3"));
  Run("sox -D " + Path("stereo.wav") + " -t raw " + Path("stereo.raw"));
  Run("sox -D " + Path("mono.wav") + " -t raw -e unsigned -b 8 " + Path("unsigned.raw"));
  const struct {
    const char* file;
    uint32_t rawMode;  // 0: by format
  } cases[] = {
      {"stereo.wav", 0}, {"pcm8.wav", 0}, {"ima.wav", 0}, {"ms.wav", 0}, {"mulaw.wav", 0}, {"float.wav", 0},
      {"gsm.wav", 0},    {"pcm24.wav", 0}, {"six.wav", 0}, {"stereo.mp3", 0},
      {"stereo.raw", kSnd16Bits | kSndStereo}, {"unsigned.raw", kSnd8Bits | kSndMono | kSndUnsigned},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    std::string path = Path(c.file);
    SndSample* loaded = c.rawMode ? SndLoadRawSample(-1, path.c_str(), c.rawMode | kSnd2D)
                                  : SndLoadSample(-1, path.c_str(), kSnd2D, 0);
    ASSERT_NE(loaded, nullptr) << SndGetError();
    SndStream* stream = c.rawMode ? SndStreamOpenRaw(path.c_str(), c.rawMode | kSnd2D)
                                  : SndStreamOpen(path.c_str(), kSnd2D, 0);
    ASSERT_NE(stream, nullptr) << SndGetError();
    Capture capture;
    PlayToEnd(stream, &capture);
    EXPECT_EQ(capture.ends, 1);
    const size_t bytes = size_t(loaded->length) * SndFrameBytes(loaded);
    ASSERT_EQ(SndFrameBytes(loaded), uint32_t(capture.frameBytes));
    ASSERT_GE(capture.bytes.size(), bytes);
    EXPECT_TRUE(std::memcmp(capture.bytes.data(), loaded->data, bytes) == 0);
    EXPECT_TRUE(std::all_of(capture.bytes.begin() + long(bytes), capture.bytes.end(), [](uint8_t b) { return b == 0; }));
    int lengthMs = int(int64_t(loaded->length) * 1000 / loaded->defaultFrequency);
    EXPECT_NEAR(SndStreamGetLengthMs(stream), lengthMs, 30);
    EXPECT_TRUE(SndStreamClose(stream));
    SndFreeSample(loaded);
  }
}

TEST_F(Streams, EndAfterTheBufferedSilenceOnceAndOnStop) {
  Run("sox -D -n -r 44100 -c 1 -b 16 " + Path("short.wav") + " synth 0.5 sine 440");
  SndStream* stream = SndStreamOpen(Path("short.wav").c_str(), kSnd2D, 0);
  ASSERT_NE(stream, nullptr);
  Capture capture;
  int ms = PlayToEnd(stream, &capture);
  EXPECT_EQ(capture.ends, 1);
  // After the data (500 ms) has gone through the ring (50 ms); the silence after the last fill
  // lasts the ring (stored doubled), the streamer sample (200 ms) and 20 ms.
  EXPECT_GE(ms, 500 + 50);
  EXPECT_LE(ms, 500 + 100 + 200 + 20 + 25);
  // Played again and stopped by the program: one more end, and none at close.
  ASSERT_GE(SndStreamPlay(3, stream), 0);
  EXPECT_TRUE(SndGetChannelReserved(3 | 0));
  SndStepClock(50);
  EXPECT_TRUE(SndStreamStop(stream));
  EXPECT_TRUE(SndStreamStop(stream));
  EXPECT_EQ(capture.ends, 2);
  ASSERT_GE(SndStreamPlay(-1, stream), 0);
  EXPECT_TRUE(SndStreamClose(stream));
  EXPECT_EQ(capture.ends, 2);
}

// A WAV file with two cue points and their labels.
std::vector<uint8_t> CuedWav(int frames, uint32_t first, uint32_t second) {
  std::vector<uint8_t> f;
  auto u32 = [&](uint32_t v) { for (int k = 0; k < 4; k++) f.push_back(uint8_t(v >> (8 * k))); };
  auto tag = [&](const char* t) { f.insert(f.end(), t, t + 4); };
  tag("RIFF"); u32(0); tag("WAVE");
  tag("fmt "); u32(16); u32(1 | 1u << 16); u32(22050); u32(44100); u32(2 | 16u << 16);
  tag("data"); u32(uint32_t(frames * 2));
  for (int i = 0; i < frames; i++) { f.push_back(uint8_t(i)); f.push_back(uint8_t(i >> 8)); }
  tag("cue "); u32(4 + 2 * 24); u32(2);
  for (uint32_t id : {1u, 2u}) { u32(id); u32(0); tag("data"); u32(0); u32(0); u32(id == 1 ? first : second); }
  tag("LIST"); u32(4 + 2 * 16); tag("adtl");
  for (uint32_t id : {1u, 2u}) { tag("labl"); u32(8); u32(id); tag(id == 1 ? "one\0" : "two\0"); }
  uint32_t size = uint32_t(f.size() - 8);
  std::memcpy(f.data() + 4, &size, 4);
  return f;
}

TEST_F(Streams, SyncPointsFireOnEveryLoop) {
  std::vector<uint8_t> file = CuedWav(8000, 1000, 6000);  // 363 ms a pass
  SndStream* stream = SndStreamOpen(reinterpret_cast<const char*>(file.data()), kSndMemoryImage | kSndLoopNormal | kSnd2D,
                                    int(file.size()));
  ASSERT_NE(stream, nullptr) << SndGetError();
  Capture capture;
  SndStreamSetSyncCallback(stream, NoteSync, &capture);
  ASSERT_GE(SndStreamPlay(-1, stream), 0);
  for (int ms = 0; ms < 1000; ms += 5) SndStepClock(5);  // 2.75 passes
  std::vector<std::string> expected = {"one", "two", "one", "two", "one"};
  EXPECT_EQ(capture.syncs, expected);
  EXPECT_LT(SndStreamGetTime(stream), 363);
  SndStreamClose(stream);
}

TEST_F(Streams, ADamagedMpegHeaderCostsOneFrame) {
  Run("sox -D -n -r 44100 -c 2 -b 16 " + Path("tone.wav") + " synth 1 sine 300-3000 gain -3");
  Run("lame --quiet -b 128 " + Path("tone.wav") + " " + Path("tone.mp3"));
  std::vector<uint8_t> bytes = ReadBytes(Path("tone.mp3"));
  SndSample* whole = SndLoadMpegMemory(-1, bytes.data(), kSnd2D, int(bytes.size()));
  ASSERT_NE(whole, nullptr);
  SndFile* file = SndFileOpen(bytes.data(), kSndFileMemory, int64_t(bytes.size()));
  SndMpegReader reader;
  ASSERT_TRUE(SndMpegOpenReader(&reader, file));
  const int damaged = 10, frameBytes = reader.probe.bytesPerFrame, frames = int(reader.offsets.size());
  bytes[size_t(reader.offsets[damaged])] = 0x00;  // the sync word of frame 10
  SndMpegCloseReader(&reader);
  SndFileClose(file);

  SndStream* stream = SndStreamOpen(reinterpret_cast<const char*>(bytes.data()), kSndMemoryImage | kSnd2D, int(bytes.size()));
  ASSERT_NE(stream, nullptr);
  Capture capture;
  PlayToEnd(stream, &capture);
  EXPECT_EQ(capture.ends, 1);
  ASSERT_GE(capture.bytes.size(), size_t(frames) * size_t(frameBytes));
  // Everything before the damage as the whole file decodes; after it, the search found the
  // next frame and the rest of the file plays (one frame short) instead of ending there.
  EXPECT_EQ(std::memcmp(capture.bytes.data(), whole->data, size_t(damaged) * size_t(frameBytes)), 0);
  size_t last = size_t(frames - 2) * size_t(frameBytes);
  EXPECT_TRUE(std::any_of(capture.bytes.begin() + long(last), capture.bytes.begin() + long(last + size_t(frameBytes)),
                          [](uint8_t b) { return b != 0; }));
  EXPECT_TRUE(std::all_of(capture.bytes.begin() + long(size_t(frames - 1) * size_t(frameBytes)), capture.bytes.end(),
                          [](uint8_t b) { return b == 0; }));
  SndStreamClose(stream);
  SndFreeSample(whole);
}

// A created stream: a counter as 16-bit mono.
bool Counter(SndStream*, void* buffer, int bytes, void* user) {
  auto* next = static_cast<uint64_t*>(user);
  auto* out = static_cast<int16_t*>(buffer);
  for (int i = 0; i < bytes / 2; i++) out[i] = int16_t((*next)++);
  return true;
}

TEST_F(Streams, TenMinutesKeepTheirTime) {
  uint64_t delivered = 0;
  SndStream* stream = SndStreamCreate(Counter, 2205 * 2, kSnd16Bits | kSndMono | kSnd2D, 22050, &delivered);
  ASSERT_NE(stream, nullptr);
  ASSERT_GE(SndStreamPlay(-1, stream), 0);
  const uint64_t startBlocks = SndGetMixedBlockCount();
  for (int ms = 0; ms < 600000; ms += 25) SndStepClock(25);
  const double mixedMs = double(SndGetMixedBlockCount() - startBlocks) * SndGetBlockLength() * 1000.0 / SndGetMixRate();
  EXPECT_NEAR(mixedMs, 600000, 50);
  // The play time is the sound mixed; the data fed leads it by at most the streamer sample.
  EXPECT_NEAR(SndStreamGetTime(stream), mixedMs, 2);
  double fedMs = double(delivered) * 1000.0 / 22050;
  EXPECT_GE(fedMs, mixedMs);
  EXPECT_LE(fedMs, mixedMs + 200 + 50);
  SndStreamClose(stream);
}

TEST_F(Streams, ErrorsAndLimits) {
  Run("sox -D -n -r 22050 -c 1 -b 16 " + Path("a.wav") + " synth 0.2 sine 440");
  SndStream* stream = SndStreamOpen(Path("a.wav").c_str(), kSnd2D, 0);
  ASSERT_NE(stream, nullptr);
  const char junk[64] = "not audio at all";
  const struct {
    const char* name;
    std::function<bool()> call;
    int error;
  } cases[] = {
      {"web name", [] { return SndStreamOpen("http://example.invalid/a.mp3", 0, 0) != nullptr; }, kSndErrFileFormat},
      {"missing", [&] { return SndStreamOpen(Path("none.wav").c_str(), 0, 0) != nullptr; }, kSndErrFileOpen},
      {"no name", [] { return SndStreamOpen(nullptr, 0, 0) != nullptr; }, kSndErrInvalid},
      {"not audio", [&] { return SndStreamOpen(junk, kSndMemoryImage, int(sizeof junk)) != nullptr; }, kSndErrFileFormat},
      {"time past the end", [&] { return SndStreamSetTime(stream, SndStreamGetLengthMs(stream) + 1); }, kSndErrInvalid},
      {"position at the end", [&] { return SndStreamSetPosition(stream, SndStreamGetLength(stream)); }, kSndErrInvalid},
      {"null stream", [] { return SndStreamStop(nullptr); }, kSndErrInvalid},
      {"null play", [] { return SndStreamPlay(-1, nullptr) >= 0; }, kSndErrInvalid},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(SndGetError(), c.error);
  }
  EXPECT_EQ(SndStreamGetLength(stream), 8820u);
  EXPECT_TRUE(SndStreamSetTime(stream, 100));
  EXPECT_TRUE(SndStreamSetPosition(stream, 8819));
  SndShutdown();
  EXPECT_EQ(SndStreamPlay(-1, stream), -1);
  EXPECT_EQ(SndGetError(), kSndErrNotInitialised);
  EXPECT_TRUE(SndStreamClose(stream));
}

// Stopping and closing from the program's thread while the feeder fills and the mixer reports
// sync points (the sanitizer pass watches the memory).
TEST(StreamThreads, CloseWhilePlaying) {
  SndShutdown();
  SndUseSteppedClock(false);
  SndSelectOutput(0);
  ASSERT_TRUE(SndStartup(44100, 8, 0));
  std::vector<uint8_t> file = CuedWav(2000, 10, 1500);
  Capture capture;
  for (int round = 0; round < 30; round++) {
    SndStream* stream = SndStreamOpen(reinterpret_cast<const char*>(file.data()), kSndMemoryImage | kSndLoopNormal | kSnd2D,
                                      int(file.size()));
    ASSERT_NE(stream, nullptr);
    SndStreamSetSyncCallback(stream, NoteSync, &capture);
    SndStreamSetEndCallback(stream, CountEnd, &capture);
    ASSERT_GE(SndStreamPlay(-1, stream), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(round % 4 * 10));
    if (round % 2) SndStreamStop(stream);
    EXPECT_TRUE(SndStreamClose(stream));
  }
  EXPECT_EQ(capture.ends, 15);
  SndShutdown();
}

}  // namespace
