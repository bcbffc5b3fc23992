// A private X server for the tests that open a real window (Xvfb, started by its process id
// and stopped when the test ends) and screenshots of its root window read from xwd.
#pragma once
#include <csignal>
#include <dlfcn.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

// The X display the test uses, as Xvfb chose it.
inline std::string gDisplay = ":97";

// The Xvfb server this test starts and stops (by its process id). Xvfb picks a free display
// number itself (-displayfd) and writes it once it accepts connections: looking for a free
// number first raced with other servers on the machine, whose abstract sockets leave no file.
// -noreset: by default the server resets when its last client leaves, and a client that comes
// during the reset (an xdotool call just after the game ended) is refused.
struct XServer {
  pid_t pid = -1;
  bool Start(int width, int height) {
    int ends[2];
    if (pipe(ends) != 0) return false;
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string fd = std::to_string(ends[1]);
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset", nullptr};
    const bool spawned = posix_spawnp(&pid, "Xvfb", nullptr, nullptr, const_cast<char**>(argv), environ) == 0;
    close(ends[1]);
    std::string number;
    // A minute at most: a loaded machine starts the server slowly.
    for (pollfd wait = {ends[0], POLLIN, 0}; spawned && poll(&wait, 1, 60000) == 1;) {
      char c;
      if (read(ends[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    close(ends[0]);
    if (!spawned) pid = -1;
    if (number.empty()) return false;
    gDisplay = ":" + number;
    // The number comes before the server takes clients for sure: with several servers starting
    // at once, a client started at once was at times refused (SDL then found no display). A
    // first client that gets through is the known point; a minute at most.
    const std::string probe = "xwd -root -silent -display " + gDisplay + " > /dev/null 2>&1";
    for (int attempt = 0; attempt < 600; ++attempt) {
      if (std::system(probe.c_str()) == 0) return true;
      usleep(100000);
    }
    return false;
  }
  ~XServer() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

// Runs xdotool on the test's server; its exit status. On a loaded machine a connection is at
// times refused (xdotool then sent nothing), so a failed call is tried again for a few seconds.
inline int RunXdotool(const std::string& arguments) {
  setenv("DISPLAY", gDisplay.c_str(), 1);
  const std::string command = "xdotool " + arguments;
  int status = 0;
  for (int attempt = 0; attempt < 20; ++attempt) {
    if ((status = std::system(command.c_str())) == 0) break;
    usleep(250000);
  }
  return status;
}

// A screenshot of the X root window as 0xRRGGBB pixels, read from xwd's output.
struct Screenshot {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

inline uint32_t BigEndian32(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

inline int Shift(uint32_t mask) {
  int shift = 0;
  while (mask != 0 && (mask & 1) == 0) mask >>= 1, ++shift;
  return shift;
}

inline bool TakeScreenshot(const std::string& path, Screenshot* shot) {
  const std::string command = "xwd -root -silent -display " + gDisplay + " > " + path;
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() < 100) return false;
  const uint32_t headerSize = BigEndian32(b, 0), byteOrder = BigEndian32(b, 28), bitsPerPixel = BigEndian32(b, 44);
  const uint32_t bytesPerLine = BigEndian32(b, 48), redMask = BigEndian32(b, 56), greenMask = BigEndian32(b, 60);
  const uint32_t blueMask = BigEndian32(b, 64), colours = BigEndian32(b, 76);
  shot->width = static_cast<int>(BigEndian32(b, 16));
  shot->height = static_cast<int>(BigEndian32(b, 20));
  const size_t start = headerSize + static_cast<size_t>(colours) * 12;
  if ((bitsPerPixel != 32 && bitsPerPixel != 24) || start + static_cast<size_t>(bytesPerLine) * shot->height > b.size()) {
    std::fprintf(stderr, "unexpected screenshot layout in %s: %u bits, %u colours, %zu bytes\n", path.c_str(), bitsPerPixel, colours, b.size());
    return false;
  }
  shot->pixels.resize(static_cast<size_t>(shot->width) * shot->height);
  for (int y = 0; y < shot->height; ++y)
    for (int x = 0; x < shot->width; ++x) {
      const size_t bytes = bitsPerPixel / 8;
      const size_t at = start + static_cast<size_t>(y) * bytesPerLine + static_cast<size_t>(x) * bytes;
      uint32_t v = 0;
      for (size_t k = 0; k < bytes; ++k)
        v |= uint32_t{b[at + k]} << (8 * (byteOrder == 0 ? k : bytes - 1 - k));
      shot->pixels[static_cast<size_t>(y) * shot->width + x] = (((v & redMask) >> Shift(redMask)) << 16) |
                                                               (((v & greenMask) >> Shift(greenMask)) << 8) |
                                                               ((v & blueMask) >> Shift(blueMask));
    }
  return true;
}

// SDL loads the GL libraries at run time (to choose the window's visual) and unloads them
// when video stops; kept loaded, their process-lifetime caches stay attributable to them
// (the leak suppressions name them) instead of an unknown module.
inline void KeepGlLibrariesLoaded() {
  for (const char* library : {"libGL.so.1", "libGLX_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"})
    dlopen(library, RTLD_NOW | RTLD_NODELETE);
}
