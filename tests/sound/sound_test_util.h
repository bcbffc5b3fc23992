// Helpers of the sound tests: a library started on the no-sound output with the stepped clock,
// mixing block by block, and small PCM fixtures.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "sound/sound.h"
#include "sound/sound_local.h"

// Starts the library on output 0 with the stepped clock; settings that outlive a start-up are
// put back to their defaults so tests do not leak into each other.
inline bool StartSteppedLibrary(int mixerType = 0, int mixRate = 44100, int channels = 32, int bufferTime = 50) {
  SndShutdown();
  SndUseSteppedClock(true);
  SndSelectOutput(0);
  SndSelectMixer(mixerType);
  SndSetBufferTime(bufferTime);
  if (!SndStartup(mixRate, channels, 0)) return false;
  SndSetPanSeparation(1.0f);
  SndSetSfxMasterVolume(255);
  return true;
}

class SteppedSound : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(StartSteppedLibrary()); }
  void TearDown() override {
    SndShutdown();
    SndUseSteppedClock(false);
  }
};

// Steps the clock until the mixer has mixed `blocks` more blocks and returns them as 16-bit
// stereo values, in play order.
inline std::vector<int16_t> MixBlocks(int blocks) {
  std::vector<int16_t> out;
  const int blockLength = SndGetBlockLength();
  const int ringBlocks = SndGetMixBufferLength() / blockLength;
  const int16_t* ring = reinterpret_cast<const int16_t*>(SndGetPrimaryMixBuffer()->data);
  for (int b = 0; b < blocks; b++) {
    uint64_t target = SndGetMixedBlockCount() + 1;
    for (int guard = 0; SndGetMixedBlockCount() < target && guard < 100000; guard++) SndStepClock(1);
    int block = static_cast<int>((SndGetMixedBlockCount() - 1) % static_cast<uint64_t>(ringBlocks));
    out.insert(out.end(), ring + block * blockLength * 2, ring + (block + 1) * blockLength * 2);
  }
  return out;
}

// A sample made from values (interleaved for stereo), uploaded as signed PCM.
inline SndSample* MakeSample(const std::vector<int>& values, bool sixteenBit, bool stereo, uint32_t loop, int frequency) {
  int frames = static_cast<int>(values.size()) / (stereo ? 2 : 1);
  uint32_t mode = (sixteenBit ? kSnd16Bits : kSnd8Bits) | (stereo ? kSndStereo : kSndMono) | loop | kSnd2D;
  SndSample* sample = SndCreateSample(-1, frames, mode, frequency, 255, -1, 128);
  if (!sample) return nullptr;
  std::vector<uint8_t> bytes;
  for (int v : values) {
    if (sixteenBit) {
      int16_t w = static_cast<int16_t>(v);
      uint8_t b[2];
      std::memcpy(b, &w, 2);
      bytes.insert(bytes.end(), b, b + 2);
    } else {
      bytes.push_back(static_cast<uint8_t>(static_cast<int8_t>(v)));
    }
  }
  SndUploadSample(sample, bytes.data(), mode);
  return sample;
}

// The internal record behind a handle (tests look at voice state the API does not report).
inline SndChannel* ChannelRecord(int handle) { return &gSnd.channels[handle & 0xFFF]; }
