// Video fixtures made at test time by ffmpeg: the test pattern at 64x48, 10 frames a second,
// and, as the oracle, every frame of a file as ffmpeg itself decodes it (32-bit XRGB).
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace video_fixture {

// Makes `path` from the lavfi source(s) and codec options given; false when ffmpeg failed.
inline bool Make(const std::string& path, const std::string& inputsAndCodecs) {
  const std::string command = "ffmpeg -nostdin -v error -y " + inputsAndCodecs + " '" + path + "'";
  return std::system(command.c_str()) == 0;
}

// One second of the test pattern, uncompressed (every frame decodes to exact pixels).
inline std::string kPattern() { return "-f lavfi -i testsrc=size=64x48:rate=10 -t 1 -c:v rawvideo -pix_fmt bgr24"; }

// A tiny AVI (16x8, 0.3 s) with a mu-law sound track whose headers claim `rate` Hz, as the
// fuzz target's damaged files do (524288001 Hz): made at 8000 Hz, then the rate in the sound
// stream's header (strh) and format (strf) patched. False when ffmpeg failed.
inline bool MakeWithSoundRate(const std::string& path, uint32_t rate) {
  if (!Make(path, "-f lavfi -i testsrc=size=16x8:rate=10 -f lavfi -i sine=sample_rate=8000 -t 0.3 "
                  "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_mulaw"))
    return false;
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const size_t header = bytes.find("auds");  // the sound stream's strh data
  const size_t format = bytes.find("strf", header);
  if (header < 8 || format == std::string::npos || bytes.compare(header - 8, 4, "strh") != 0) return false;
  auto put = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
  };
  put(header + 24, rate);      // dwRate (dwScale is 1)
  put(format + 8 + 4, rate);   // nSamplesPerSec
  put(format + 8 + 8, rate);   // nAvgBytesPerSec: one byte a sample
  file.seekp(0);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return file.good();
}

// Every frame of the video as ffmpeg decodes it: frames of width*height pixels 0x00RRGGBB.
inline std::vector<std::vector<uint32_t>> Frames(const std::string& video, int width, int height) {
  const std::string raw = video + ".raw";
  std::vector<std::vector<uint32_t>> frames;
  if (!Make(raw, "-i '" + video + "' -f rawvideo -pix_fmt bgr0")) return frames;
  std::ifstream in(raw, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t frameBytes = static_cast<size_t>(width) * height * 4;
  for (size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
    std::vector<uint32_t> frame(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < frame.size(); ++i) {
      const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at + i * 4;
      frame[i] = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
    }
    frames.push_back(std::move(frame));
  }
  std::remove(raw.c_str());
  return frames;
}

}  // namespace video_fixture
