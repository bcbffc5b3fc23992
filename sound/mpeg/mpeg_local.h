// Inside the MPEG decoder: its state, the bit reader and the tables the layers share.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sound/mpeg/mpeg.h"

struct SndHuffWord {
  uint8_t length;
  uint16_t code;
};
struct SndHuffTableDef {
  int size;  // values per axis (0: table not in use)
  int linbits;
  const SndHuffWord* words;
};
extern const SndHuffTableDef kSndHuffTables[32];  // huffman_tables.cpp
extern const SndHuffWord* const kSndCount1Tables[2];

// Big-endian bit reader over a buffer with at least 8 zeroed bytes past `limit` bits: a peek
// from a position at or below the limit stays inside them, and a read that starts past the limit
// gives zeros without touching memory, so hostile counts cannot walk off the data.
struct SndBits {
  const uint8_t* data;
  size_t pos;    // bits
  size_t limit;  // bits
  uint32_t Peek32() const {
    // Eight bytes in one big-endian word (the compiler makes it one load and a byte swap).
    const uint8_t* p = data + (pos >> 3);
    uint64_t w = (uint64_t(p[0]) << 56) | (uint64_t(p[1]) << 48) | (uint64_t(p[2]) << 40) |
                 (uint64_t(p[3]) << 32) | (uint64_t(p[4]) << 24) | (uint64_t(p[5]) << 16) |
                 (uint64_t(p[6]) << 8) | uint64_t(p[7]);
    return uint32_t((w << (pos & 7)) >> 32);
  }
  uint32_t Get(int n) {  // n <= 24
    if (n == 0) return 0;
    if (pos > limit) {
      pos += size_t(n);
      return 0;
    }
    uint32_t v = Peek32() >> (32 - n);
    pos += size_t(n);
    return v;
  }
  bool Overrun() const { return pos > limit; }
};

enum : int {
  kSndStorePadding = 16,              // zeros after the frame data for the reader's peeks
  kSndStoreBytes = 512 + 1792 + kSndStorePadding,  // reservoir room, frame data, padding
};

// Four independent values side by side (four time slots, four subbands): each operation is
// one operation on four floats, which the compiler emits as one vector instruction, so the
// transforms written with it run four at once.
struct SndLanes {
  float lane[4];
};
inline SndLanes operator+(const SndLanes& a, const SndLanes& b) {
  SndLanes r;
  for (int l = 0; l < 4; l++) r.lane[l] = a.lane[l] + b.lane[l];
  return r;
}
inline SndLanes operator-(const SndLanes& a, const SndLanes& b) {
  SndLanes r;
  for (int l = 0; l < 4; l++) r.lane[l] = a.lane[l] - b.lane[l];
  return r;
}
inline SndLanes operator*(const SndLanes& a, float c) {
  SndLanes r;
  for (int l = 0; l < 4; l++) r.lane[l] = a.lane[l] * c;
  return r;
}
inline SndLanes operator*(const SndLanes& a, const SndLanes& b) {
  SndLanes r;
  for (int l = 0; l < 4; l++) r.lane[l] = a.lane[l] * b.lane[l];
  return r;
}

struct SndGranuleInfo {  // layer III side information of one granule and channel
  int part23Length, bigValues, globalGain, scalefacCompress;
  int windowSwitching, blockType, mixedBlock;
  int tableSelect[3], subblockGain[3];
  int region1Start, region2Start;  // lines
  int preflag, scalefacScale, count1Table;
};

struct SndMpegDecoder {
  // Header fields of the current frame.
  int frameSize;          // bytes after the 4-byte header; 0 when no header is pending
  int previousFrameSize;  // negative before the first frame
  int channels, jointBound, sbLimit, allocTable;
  int lsf, mpeg25, layer, crc;
  int bitrateIndex, samplingIndex, padding, privateBit, mode, modeExtension;
  int copyright, original, emphasis;
  uint32_t header;
  int streamLayer;  // 0 until the first accepted header
  int rateIndex;    // 0..8 in the order 44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000
  // Frame store: this frame's data, with room in front for the layer III reservoir.
  alignas(16) uint8_t store[kSndStoreBytes];
  uint8_t reservoir[512];  // layer III main data bytes of earlier frames, newest last
  int reservoirBytes;
  // Polyphase synthesis: per channel the 64-value vectors of the 16 newest time slots in a
  // ring, with the signs left to the window (see synth.cpp).
  alignas(16) float synthVectors[2][16][64];
  int synthNewest;  // ring position of the newest slot
  // Layer III state.
  alignas(16) float overlap[2][18][32];  // the second half of each subband's last transform
  alignas(16) float xr[2][576];
  alignas(16) float subband[2][18][32];  // hybrid filterbank output, time slot by subband
  int ix[2][576 + 4];                   // quantised values of a granule
  uint8_t scalefacLong[2][23];
  uint8_t scalefacShort[2][13][3];
  uint8_t lsfIntensityMax[40];          // LSF right channel: the illegal position per band
  SndGranuleInfo granule[2][2];
};

// synth.cpp: `slots` time slots of 32 subband samples per channel into interleaved PCM, 32
// samples per channel and slot; channel ch's samples of slot t start at
// bands + t * slotStride + ch * channelStride.
void SndSynthesize(SndMpegDecoder* d, const float* bands, int slotStride, int channelStride, int channels,
                   int slots, int16_t* out);
// layer2.cpp and layer3.cpp: the frame data is in the store from `data`, `dataBytes` long.
bool SndDecodeLayer1(SndMpegDecoder* d, SndBits* bits, int16_t* out, int* bytes);
bool SndDecodeLayer2(SndMpegDecoder* d, SndBits* bits, int16_t* out, int* bytes);
bool SndDecodeLayer3(SndMpegDecoder* d, SndBits* bits, int16_t* out, int* bytes);
void SndInitLayer2Tables();
void SndInitLayer3Tables();
void SndInitSynthesisTables();
extern const int kSndMpegRates[9];
