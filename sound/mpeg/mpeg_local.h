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

// Big-endian bit reader over a buffer with zeroed bytes past `limit` bits: a peek from a
// position at or below the limit stays inside them, and a read that starts past the limit
// gives zeros without touching memory, so hostile counts cannot walk off the data.
struct SndBits {
  const uint8_t* data;
  size_t pos;    // bits
  size_t limit;  // bits
  uint32_t Peek32() const {
    const uint8_t* p = data + (pos >> 3);
    uint64_t w = (uint64_t(p[0]) << 32) | (uint64_t(p[1]) << 24) | (uint64_t(p[2]) << 16) |
                 (uint64_t(p[3]) << 8) | uint64_t(p[4]);
    return uint32_t(w >> (8 - (pos & 7)));
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
  // Polyphase synthesis: per channel 16 vectors of 64, stored twice so a window never wraps.
  alignas(16) float v[2][2048];
  int vOffset;
  // Layer III state.
  alignas(16) float overlap[2][576];
  alignas(16) float xr[2][576];
  alignas(16) float subband[2][18][32];  // hybrid filterbank output, time slot by subband
  int ix[2][576 + 4];                   // quantised values of a granule
  uint8_t scalefacLong[2][23];
  uint8_t scalefacShort[2][13][3];
  uint8_t lsfIntensityMax[40];          // LSF right channel: the illegal position per band
  SndGranuleInfo granule[2][2];
};

// synth.cpp: one time slot of 32 subband samples per channel into interleaved PCM.
void SndSynthesize(SndMpegDecoder* d, const float* const bands[2], int channels, int16_t* out);
// layer2.cpp and layer3.cpp: the frame data is in the store from `data`, `dataBytes` long.
bool SndDecodeLayer1(SndMpegDecoder* d, SndBits* bits, int16_t* out, int* bytes);
bool SndDecodeLayer2(SndMpegDecoder* d, SndBits* bits, int16_t* out, int* bytes);
bool SndDecodeLayer3(SndMpegDecoder* d, SndBits* bits, int16_t* out, int* bytes);
void SndInitLayer2Tables();
void SndInitLayer3Tables();
void SndInitSynthesisTables();
extern const int kSndMpegRates[9];
