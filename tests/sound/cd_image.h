// A small audio-CD image for the CD tests: a .cue sheet over raw 44.1 kHz 16-bit stereo
// sectors, each track a constant level (track n: n * 1000) so a mixed block tells which plays.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// Track 1: 75 sectors (1000 ms); 15 sectors of pregap silence (INDEX 00); track 2: 38 sectors
// (506 ms), both in disc.bin. Track 3: 30 sectors (400 ms) in three.bin stored high byte first
// (MOTOROLA), then track 4, 10 sectors of data.
class CdImage {
 public:
  CdImage() {
    folder_ = std::filesystem::temp_directory_path() / ("qv-cd-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::create_directories(folder_);
    {
      std::ofstream bin(folder_ / "disc.bin", std::ios::binary);
      Sectors(bin, 75, 1000, false);
      Sectors(bin, 15, 0, false);
      Sectors(bin, 38, 2000, false);
    }
    {
      std::ofstream bin(folder_ / "three.bin", std::ios::binary);
      Sectors(bin, 30, 3000, true);
      Sectors(bin, 10, 0x1234, false);
    }
    std::ofstream(folder_ / "multi.cue") << "REM a test disc\r\n"
                                           "FILE \"disc.bin\" BINARY\r\n"
                                           "  TRACK 01 AUDIO\r\n"
                                           "    INDEX 01 00:00:00\r\n"
                                           "  TRACK 02 AUDIO\r\n"
                                           "    INDEX 00 00:01:00\r\n"
                                           "    INDEX 01 00:01:15\r\n"
                                           "FILE \"three.bin\" MOTOROLA\r\n"
                                           "  TRACK 03 AUDIO\r\n"
                                           "    INDEX 01 00:00:00\r\n"
                                           "  TRACK 04 MODE1/2352\r\n"
                                           "    INDEX 01 00:00:30\r\n";
    // The same first two tracks as a one-file sheet, which libcdio reads too (it wants the
    // sheet named as its data file).
    std::ofstream(folder_ / "disc.cue") << "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                             "  TRACK 02 AUDIO\n    INDEX 00 00:01:00\n    INDEX 01 00:01:15\n";
  }
  ~CdImage() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  std::string Cue() const { return (folder_ / "multi.cue").string(); }
  std::string SingleFileCue() const { return (folder_ / "disc.cue").string(); }
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

 private:
  static void Sectors(std::ofstream& out, int count, int level, bool bigEndian) {
    std::vector<uint8_t> sector(2352);
    for (size_t i = 0; i < sector.size(); i += 4) {
      const uint16_t left = uint16_t(int16_t(level)), right = uint16_t(int16_t(-level));
      const uint16_t values[2] = {left, right};
      for (int c = 0; c < 2; c++) {
        sector[i + size_t(c) * 2 + (bigEndian ? 1 : 0)] = uint8_t(values[c] & 0xFF);
        sector[i + size_t(c) * 2 + (bigEndian ? 0 : 1)] = uint8_t(values[c] >> 8);
      }
    }
    for (int s = 0; s < count; s++) out.write(reinterpret_cast<const char*>(sector.data()), std::streamsize(sector.size()));
  }
  static inline int counter_ = 0;
  std::filesystem::path folder_;
};
