// What a song sounds like, measured: a song rendered by our player, by libxmp and by libopenmpt
// (linear interpolation, 44.1 kHz), and the rendered sound's pitch and level per 20 ms window,
// its loudness envelope and its spectral centroid. The song tests and the song comparison tool
// compare these, never the players' internal periods.
#pragma once
#include <libopenmpt/libopenmpt.h>
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sound/songs/songs_local.h"
#include "tests/sound/sound_test_util.h"

namespace songcheck {

const int kRate = 44100;
const int kWindow = 882;  // 20 ms

// A render: left and right interleaved, -1..1.
using Render = std::vector<float>;

inline Render Scaled(const std::vector<int16_t>& stereo) {
  Render out(stereo.size());
  for (size_t i = 0; i < out.size(); i++) out[i] = stereo[i] / 32768.0f;
  return out;
}

inline std::vector<float> Mono(const Render& stereo) {
  std::vector<float> out(stereo.size() / 2);
  for (size_t i = 0; i < out.size(); i++) out[i] = (stereo[i * 2] + stereo[i * 2 + 1]) / 2;
  return out;
}

// Our player through the library's own mixer on the no-sound output (the stepped clock), the
// first block mixed after the start being the song's first. Empty when the song does not load
// or play; `error` then gets the library's reason (shutting the library down clears it).
inline Render RenderOurs(const std::vector<uint8_t>& file, double seconds, int* error = nullptr) {
  if (error) *error = 0;
  if (!StartSteppedLibrary(0, kRate, 64, 50)) {
    if (error) *error = SndGetError();
    return {};
  }
  SndSong* song = SndLoadSongFromMemory(file.data(), file.size());
  if (!song || !SndPlaySong(song)) {
    if (error) *error = SndGetError();
    if (song) SndFreeSong(song);
    SndShutdown();
    SndUseSteppedClock(false);
    return {};
  }
  int blocks = static_cast<int>(std::ceil(seconds * 40));
  std::vector<int16_t> stereo = MixBlocks(blocks);
  SndFreeSong(song);
  SndShutdown();
  SndUseSteppedClock(false);
  stereo.resize(std::min(stereo.size(), static_cast<size_t>(seconds * kRate) * 2));
  return Scaled(stereo);
}

inline Render RenderXmp(const std::vector<uint8_t>& file, double seconds) {
  xmp_context x = xmp_create_context();
  if (xmp_load_module_from_memory(x, const_cast<uint8_t*>(file.data()), static_cast<long>(file.size())) != 0) {
    xmp_free_context(x);
    return {};
  }
  xmp_start_player(x, kRate, 0);
  xmp_set_player(x, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
  xmp_set_player(x, XMP_PLAYER_MIX, 100);  // full stereo separation, as the others
  std::vector<int16_t> stereo(static_cast<size_t>(seconds * kRate) * 2);
  xmp_play_buffer(x, stereo.data(), static_cast<int>(stereo.size() * 2), 0);
  xmp_end_player(x);
  xmp_release_module(x);
  xmp_free_context(x);
  return Scaled(stereo);
}

inline Render RenderOpenMpt(const std::vector<uint8_t>& file, double seconds) {
  openmpt_module* m = openmpt_module_create_from_memory2(file.data(), file.size(), nullptr, nullptr, nullptr, nullptr,
                                                         nullptr, nullptr, nullptr);
  if (!m) return {};
  openmpt_module_set_render_param(m, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 2);  // linear
  openmpt_module_set_repeat_count(m, -1);
  std::vector<int16_t> stereo(static_cast<size_t>(seconds * kRate) * 2);
  size_t done = 0;
  while (done < stereo.size() / 2) {
    size_t n = openmpt_module_read_interleaved_stereo(m, kRate, stereo.size() / 2 - done, stereo.data() + done * 2);
    if (n == 0) break;
    done += n;
  }
  openmpt_module_destroy(m);
  return Scaled(stereo);
}

// One 20 ms window: level in dB of full scale (-120 for silence), the balance (right minus left
// in dB) and the pitch of a single voice from the mono sum's zero crossings (0 when the window
// is too quiet or has too few crossings).
struct Window {
  double db, hz, balance;
};

inline double Decibels(double sumOfSquares, int frames) {
  double rms = std::sqrt(sumOfSquares / frames);
  return rms > 1e-6 ? 20 * std::log10(rms) : -120;
}

inline std::vector<Window> Windows(const Render& stereo) {
  std::vector<Window> out;
  std::vector<float> s = Mono(stereo);
  for (size_t start = 0; start + kWindow <= s.size(); start += kWindow) {
    double sum = 0, left = 0, right = 0;
    for (size_t i = start; i < start + kWindow; i++) {
      sum += static_cast<double>(s[i]) * s[i];
      left += static_cast<double>(stereo[i * 2]) * stereo[i * 2];
      right += static_cast<double>(stereo[i * 2 + 1]) * stereo[i * 2 + 1];
    }
    Window w{Decibels(sum, kWindow), 0, Decibels(right, kWindow) - Decibels(left, kWindow)};
    // Rising crossings, placed between samples by linear interpolation.
    double first = -1, last = -1;
    int count = 0;
    for (size_t i = start + 1; i < start + kWindow; i++) {
      if (s[i - 1] < 0 && s[i] >= 0) {
        double at = static_cast<double>(i - 1) + s[i - 1] / (s[i - 1] - s[i]);
        if (first < 0) first = at;
        last = at;
        count++;
      }
    }
    if (w.db > -50 && count >= 3 && last > first) w.hz = (count - 1) * kRate / (last - first);
    out.push_back(w);
  }
  return out;
}

// Loudness per `window` frames (RMS of the mono sum).
inline std::vector<double> Loudness(const Render& stereo, int window) {
  std::vector<float> s = Mono(stereo);
  std::vector<double> out;
  for (size_t start = 0; start + window <= s.size(); start += static_cast<size_t>(window)) {
    double sum = 0;
    for (size_t i = start; i < start + static_cast<size_t>(window); i++) sum += static_cast<double>(s[i]) * s[i];
    out.push_back(std::sqrt(sum / window));
  }
  return out;
}

// Pearson correlation of two series over their common length.
inline double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  size_t n = std::min(a.size(), b.size());
  if (n < 2) return 0;
  double ma = 0, mb = 0;
  for (size_t i = 0; i < n; i++) ma += a[i], mb += b[i];
  ma /= n;
  mb /= n;
  double sab = 0, saa = 0, sbb = 0;
  for (size_t i = 0; i < n; i++) {
    sab += (a[i] - ma) * (b[i] - mb);
    saa += (a[i] - ma) * (a[i] - ma);
    sbb += (b[i] - mb) * (b[i] - mb);
  }
  return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : (saa == sbb ? 1 : 0);
}

// The 50 ms loudness envelopes of two renders, correlated.
inline double EnvelopeCorrelation(const Render& a, const Render& b) {
  return Correlation(Loudness(a, kRate / 20), Loudness(b, kRate / 20));
}

// The power-weighted mean frequency of the render, over 4096-frame Hann windows.
inline double SpectralCentroid(const Render& stereo) {
  std::vector<float> s = Mono(stereo);
  const size_t n = 4096;
  double weighted = 0, total = 0;
  std::vector<std::complex<double>> x(n);
  for (size_t start = 0; start + n <= s.size(); start += n) {
    for (size_t i = 0; i < n; i++) {
      double hann = 0.5 - 0.5 * std::cos(2 * M_PI * static_cast<double>(i) / (n - 1));
      x[i] = s[start + i] * hann;
    }
    // In-place radix-2 FFT.
    for (size_t i = 1, j = 0; i < n; i++) {
      size_t bit = n >> 1;
      for (; j & bit; bit >>= 1) j ^= bit;
      j ^= bit;
      if (i < j) std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
      std::complex<double> w(std::cos(-2 * M_PI / static_cast<double>(len)), std::sin(-2 * M_PI / static_cast<double>(len)));
      for (size_t i = 0; i < n; i += len) {
        std::complex<double> step(1);
        for (size_t k = 0; k < len / 2; k++) {
          std::complex<double> u = x[i + k], v = x[i + k + len / 2] * step;
          x[i + k] = u + v;
          x[i + k + len / 2] = u - v;
          step *= w;
        }
      }
    }
    for (size_t k = 1; k < n / 2; k++) {
      double power = std::norm(x[k]);
      weighted += power * static_cast<double>(k) * kRate / static_cast<double>(n);
      total += power;
    }
  }
  return total > 0 ? weighted / total : 0;
}

// Where both reference renders agree on a window, does ours? Pitch within 2% of what they span
// (a third of a semitone; a PAL and an NTSC Amiga clock differ by 0.9%); level within 2 dB of
// what they span once each render's overall gain is taken out (the median difference over the
// windows all three play), or silent in all three; balance within 3 dB. The gain taken out would
// hide a level lost over most of the song, so the level is also compared as rendered ("loudness"):
// within 2 dB of what the references span, their own gains differing by format. The players ramp
// volume changes differently, so the window in which a note starts or stops is not compared.
struct Agreement {
  int compared = 0, pitchWrong = 0, levelWrong = 0, panWrong = 0, loudnessWrong = 0;
  double oursGain = 0, mptGain = 0;  // overall level against libxmp's, in dB
  std::vector<std::string> notes;    // the first differences found, for the failure message
};

inline double MedianOffset(const std::vector<Window>& a, const std::vector<Window>& b, const std::vector<Window>& c) {
  std::vector<double> d;
  for (size_t i = 0; i < a.size() && i < b.size() && i < c.size(); i++) {
    if (a[i].db > -50 && b[i].db > -50 && c[i].db > -50) d.push_back(b[i].db - a[i].db);
  }
  if (d.empty()) return 0;
  std::nth_element(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(d.size() / 2), d.end());
  return d[d.size() / 2];
}

inline Agreement Agree(const Render& ours, const Render& xmp, const Render& mpt) {
  Agreement out;
  std::vector<Window> a = Windows(ours), b = Windows(xmp), c = Windows(mpt);
  size_t n = std::min({a.size(), b.size(), c.size()});
  double ab = MedianOffset(a, b, c), ac = MedianOffset(a, c, b);
  out.oursGain = -ab;
  out.mptGain = ac - ab;
  auto silent = [](const Window& w) { return w.db < -50; };
  enum { kLevel, kPan, kPitch, kLoudness };
  static const char* kNames[] = {"level", "pan", "pitch", "loudness"};
  int notes[4] = {};  // the first three of each
  auto note = [&](size_t i, int kind) {
    if (++notes[kind] > 3) return;
    // Levels in libxmp's scale, but as rendered for the loudness.
    double gain = kind == kLoudness ? 0 : ab, mptGain = kind == kLoudness ? 0 : ab - ac;
    char text[160];
    std::snprintf(text, sizeof text,
                  "window %zu (%s): ours %.1f Hz %.1f dB %+.1f, libxmp %.1f Hz %.1f dB %+.1f, libopenmpt %.1f Hz %.1f dB %+.1f",
                  i, kNames[kind], a[i].hz, a[i].db + gain, a[i].balance, b[i].hz, b[i].db, b[i].balance, c[i].hz,
                  c[i].db + mptGain, c[i].balance);
    out.notes.push_back(text);
  };
  // Every level in libxmp's scale.
  auto oursDb = [&](size_t i) { return a[i].db + ab; };
  auto mptDb = [&](size_t i) { return c[i].db - ac + ab; };
  for (size_t i = 1; i + 1 < n; i++) {
    // Only steady windows: not beside a start or a stop in either reference, nor entered by a
    // step in level (the players ramp a step over different lengths).
    bool steady = silent(b[i]) == silent(c[i]);
    for (size_t k = i - 1; k <= i + 1; k++) steady = steady && silent(b[k]) == silent(b[i]) && silent(c[k]) == silent(c[i]);
    if (!silent(b[i])) steady = steady && std::fabs(b[i].db - b[i - 1].db) < 4 && std::fabs(c[i].db - c[i - 1].db) < 4;
    if (!steady) continue;
    bool levelsAgree = silent(b[i]) || std::fabs(b[i].db - mptDb(i)) < 1.5;
    bool pitchesAgree = b[i].hz > 0 && c[i].hz > 0 && std::fabs(b[i].hz / c[i].hz - 1) < 0.015;
    if (!levelsAgree && !pitchesAgree) continue;
    out.compared++;
    // Ours is wrong when it lies outside what the two references span, by more than the
    // tolerance.
    if (levelsAgree) {
      double low = std::min(b[i].db, mptDb(i)) - 2, high = std::max(b[i].db, mptDb(i)) + 2;
      bool wrong = silent(b[i]) ? !silent(a[i]) : (silent(a[i]) || oursDb(i) < low || oursDb(i) > high);
      if (wrong) {
        out.levelWrong++;
        note(i, kLevel);
      }
      low = std::min(b[i].db, c[i].db) - 2;
      high = std::max(b[i].db, c[i].db) + 2;
      if (!silent(b[i]) && !silent(a[i]) && (a[i].db < low || a[i].db > high)) {
        out.loudnessWrong++;
        note(i, kLoudness);
      }
    }
    bool pansAgree = !silent(b[i]) && std::fabs(b[i].balance - c[i].balance) < 2;
    if (pansAgree && !silent(a[i]) && std::fabs(a[i].balance - b[i].balance) > 3) {
      out.panWrong++;
      note(i, kPan);
    }
    // A pitch of 0 in ours: too few crossings to tell.
    if (pitchesAgree && !silent(a[i]) && a[i].hz > 0) {
      double low = std::min(b[i].hz, c[i].hz) / 1.02, high = std::max(b[i].hz, c[i].hz) * 1.02;
      if (a[i].hz < low || a[i].hz > high) {
        out.pitchWrong++;
        note(i, kPitch);
      }
    }
  }
  return out;
}

// The first frame that is audible.
inline size_t FirstSound(const Render& s) {
  for (size_t i = 0; i < s.size(); i++) {
    if (std::fabs(s[i]) > 0.002f) return i / 2;
  }
  return s.size() / 2;
}

}  // namespace songcheck
