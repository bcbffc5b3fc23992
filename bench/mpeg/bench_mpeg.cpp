// MPEG audio decode speed: each 3-minute file made by lame or twolame is decoded whole from
// memory by our decoder and by libmpg123 in interleaved rounds; the ratio is our time over
// libmpg123's (below 1: we are faster). libmpg123 runs with its generic C decoder, the fair
// peer for our portable code, and with its default choice (hand-written SIMD on this machine).
// Then loading the 128 kbit/s file into a sound (file read, frame count, decode into the
// sample) against libmpg123 opening, scanning and reading the same file into one buffer.
#include <mpg123.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sound/mpeg/mpeg.h"
#include "sound/sound.h"

enum { kSeconds = 180 };

static std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Three minutes of tones, a beat and noise bursts, 44.1 kHz stereo.
static void WriteWav(const std::string& path) {
  const int rate = 44100, frames = rate * kSeconds;
  std::vector<int16_t> pcm;
  uint32_t seed = 1;
  for (int i = 0; i < frames; i++) {
    double t = double(i) / rate;
    seed = seed * 1664525u + 1013904223u;
    double noise = (i % (rate / 2)) < rate / 50 ? (double(seed >> 8) / 16777216.0 - 0.5) : 0.0;
    double beat = (i / (rate / 4)) % 2 ? 0.3 : 1.0;
    double l = 0.3 * std::sin(2 * M_PI * 440 * t) + 0.2 * beat * std::sin(2 * M_PI * 1234 * t) +
               0.1 * std::sin(2 * M_PI * 7000 * t) + noise;
    double r = 0.3 * std::sin(2 * M_PI * 660 * t) + 0.2 * std::sin(2 * M_PI * 3300 * t) + 0.7 * noise;
    pcm.push_back(int16_t(std::clamp(l, -1.0, 1.0) * 30000));
    pcm.push_back(int16_t(std::clamp(r, -1.0, 1.0) * 30000));
  }
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  uint32_t bytes = uint32_t(pcm.size() * 2);
  out.write("RIFF", 4);
  u32(36 + bytes);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(2);
  u32(rate);
  u32(rate * 4);
  u16(4);
  u16(16);
  out.write("data", 4);
  u32(bytes);
  out.write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(bytes));
}

// The CPU time of this thread (page faults and file reads included), so that other programs
// on a busy machine stay out of the figures.
static double Now() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

static volatile int64_t gSink;

static double DecodeOurs(const std::vector<uint8_t>& file) {
  std::vector<uint8_t> data(file);
  data.resize(file.size() + 8, 0);
  std::vector<int16_t> pcm(kSndMpegMaxOutputBytes / 2);
  double start = Now();
  SndMpegDecoder* d = SndMpegCreate();
  size_t pos = 0, end = file.size();
  int64_t sum = 0;
  while (pos + 4 <= end) {
    SndMpegFrameInfo info;
    if (!SndMpegPeekHeader(d, &data[pos], &info)) {
      pos++;
      continue;
    }
    int bytes = 0;
    SndMpegDecodeFrame(d, &data[pos], int(end - pos), pcm.data(), &bytes);
    sum += pcm[0] + pcm[bytes / 4];
    pos += size_t(info.frameBytes);
  }
  SndMpegFree(d);
  gSink = sum;
  return Now() - start;
}

static double DecodeMpg123(const std::vector<uint8_t>& file, const char* decoder) {
  double start = Now();
  int error = 0;
  mpg123_handle* h = mpg123_new(decoder, &error);
  mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
  mpg123_open_feed(h);
  std::vector<unsigned char> out(1 << 16);
  size_t done = 0;
  int64_t sum = 0;
  int result = mpg123_decode(h, file.data(), file.size(), out.data(), out.size(), &done);
  for (;;) {
    if (done > 4) sum += out[0] + out[done / 2];
    if (result == MPG123_ERR || result == MPG123_NEED_MORE) break;
    result = mpg123_decode(h, nullptr, 0, out.data(), out.size(), &done);
  }
  mpg123_delete(h);
  gSink = sum;
  return Now() - start;
}

static double LoadOurs(const std::string& path) {
  double start = Now();
  SndSample* sample = SndLoadMpegFile(-1, path.c_str(), kSnd2D);
  double seconds = Now() - start;
  gSink = sample ? int64_t(SndGetSampleLength(sample)) : -1;
  SndFreeSample(sample);
  return seconds;
}

// What a loader does with libmpg123: open the file, count its frames for the length, and read
// the whole decode into one buffer of that length.
static double LoadMpg123(const std::string& path) {
  double start = Now();
  int error = 0;
  mpg123_handle* h = mpg123_new(nullptr, &error);
  mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
  int64_t sum = -1;
  if (mpg123_open(h, path.c_str()) == MPG123_OK && mpg123_scan(h) == MPG123_OK) {
    size_t bytes = size_t(mpg123_length(h)) * 4;
    auto* buffer = static_cast<unsigned char*>(std::malloc(bytes));
    size_t filled = 0;
    while (buffer && filled < bytes) {
      size_t done = 0;
      int result = mpg123_read(h, buffer + filled, bytes - filled, &done);
      filled += done;
      if (result != MPG123_OK && result != MPG123_NEW_FORMAT) break;
    }
    if (buffer && filled > 0) sum = int64_t(filled) + buffer[filled / 2];
    std::free(buffer);
  }
  mpg123_delete(h);
  gSink = sum;
  return Now() - start;
}

static double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

int main() {
  mpg123_init();
  std::string folder =
      (std::filesystem::temp_directory_path() / ("qv-bench-mpeg-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(folder);
  std::string wav = folder + "/in.wav";
  WriteWav(wav);
  struct Case {
    const char* name;
    std::string command;
  } cases[] = {
      {"mp3 128k stereo", "lame --quiet -b 128 " + wav + " " + folder + "/128.mp3"},
      {"mp3 320k stereo", "lame --quiet -b 320 " + wav + " " + folder + "/320.mp3"},
      {"layer II 192k stereo", "twolame --quiet -b 192 " + wav + " " + folder + "/192.mp2"},
  };
  const char* files[] = {"/128.mp3", "/320.mp3", "/192.mp2"};
  const char** decoders = mpg123_decoders();
  std::printf("libmpg123 decoders here:");
  for (int i = 0; decoders[i]; i++) std::printf(" %s", decoders[i]);
  int error = 0;
  mpg123_handle* probe = mpg123_new(nullptr, &error);
  std::printf("; default: %s\n", mpg123_current_decoder(probe));
  mpg123_delete(probe);
  std::printf("%-22s %10s %10s %10s %12s %12s\n", "decode (3 min)", "ours ms", "generic", "default",
              "ours/generic", "ours/default");
  for (int c = 0; c < 3; c++) {
    if (std::system(cases[c].command.c_str()) != 0) {
      std::printf("%s: encoder failed\n", cases[c].name);
      continue;
    }
    std::vector<uint8_t> file = ReadAll(folder + files[c]);
    std::vector<double> ours, generic, fast;
    for (int round = 0; round < 7; round++) {
      ours.push_back(DecodeOurs(file));
      generic.push_back(DecodeMpg123(file, "generic"));
      fast.push_back(DecodeMpg123(file, nullptr));
    }
    double o = Median(ours), g = Median(generic), f = Median(fast);
    std::printf("%-22s %10.2f %10.2f %10.2f %12.2f %12.2f%s\n", cases[c].name, o * 1e3, g * 1e3,
                f * 1e3, o / g, o / f, c == 0 ? "  (goal 1.5)" : "");
  }
  // Loading into a sound: the library started on the no-sound output, as a game without a
  // sound device runs.
  SndUseSteppedClock(true);
  SndSelectOutput(0);
  if (SndStartup(44100, 32, 0)) {
    std::string path = folder + files[0];
    std::vector<double> ours, peer;
    for (int round = 0; round < 7; round++) {
      ours.push_back(LoadOurs(path));
      peer.push_back(LoadMpg123(path));
    }
    double o = Median(ours), f = Median(peer);
    std::printf("%-22s %10.2f %10s %10.2f %12s %12.2f  (load, goal 1.2)\n", "load mp3 128k stereo",
                o * 1e3, "-", f * 1e3, "-", o / f);
    SndShutdown();
  }
  std::filesystem::remove_all(folder);
  return 0;
}
