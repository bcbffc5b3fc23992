// MPEG audio frames: the header, the frame store and the decoder's life; each layer's data
// is decoded in its own file.
#include <cstdlib>
#include <new>

#include "sound/mpeg/mpeg_local.h"

const int kSndMpegRates[9] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};

// kbit/s by [MPEG-1 / lower sampling frequencies][layer - 1][bitrate index]; index 0 is free
// format and 15 is forbidden, both refused.
static const short kBitrates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};

struct SndHeaderFields {
  int lsf, mpeg25, layer, crc, bitrateIndex, samplingIndex, padding, privateBit, mode;
  int modeExtension, copyright, original, emphasis, rateIndex, channels, frameSize, bitrate;
};

// Decodes and checks one header word; frameSize is the data after the 4 header bytes.
static bool DecodeHeader(uint32_t h, int streamLayer, SndHeaderFields* f) {
  if ((h & 0xFFE00000u) != 0xFFE00000u) return false;  // all 11 sync bits
  if (h & (1u << 20)) {
    f->lsf = 1 - int((h >> 19) & 1);
    f->mpeg25 = 0;
  } else {
    if (h & (1u << 19)) return false;  // reserved version
    f->lsf = 1;
    f->mpeg25 = 1;
  }
  f->layer = 4 - int((h >> 17) & 3);
  if (f->layer == 4) return false;
  if (streamLayer != 0 && f->layer != streamLayer) return false;
  f->samplingIndex = int((h >> 10) & 3);
  if (f->samplingIndex == 3) return false;
  f->rateIndex = f->mpeg25 ? f->samplingIndex + 6 : f->samplingIndex + 3 * f->lsf;
  f->crc = (h & (1u << 16)) ? 0 : 1;
  f->bitrateIndex = int((h >> 12) & 15);
  f->padding = int((h >> 9) & 1);
  f->privateBit = int((h >> 8) & 1);
  f->mode = int((h >> 6) & 3);
  f->modeExtension = int((h >> 4) & 3);
  f->copyright = int((h >> 3) & 1);
  f->original = int((h >> 2) & 1);
  f->emphasis = int(h & 3);
  f->channels = f->mode == 3 ? 1 : 2;
  if (f->bitrateIndex == 0 || f->bitrateIndex == 15) return false;
  f->bitrate = kBitrates[f->lsf][f->layer - 1][f->bitrateIndex];
  int rate = kSndMpegRates[f->rateIndex];
  int size;
  if (f->layer == 1)
    size = (12000 * f->bitrate / rate + f->padding) * 4 - 4;
  else if (f->layer == 2)
    size = 144000 * f->bitrate / rate + f->padding - 4;
  else
    size = 144000 * f->bitrate / (rate << f->lsf) + f->padding - 4;
  // The frame store holds 1792 bytes of frame data: only layer II at 8 kHz with the highest
  // bitrates is larger.
  if (size < 16 || size > kSndMpegMaxFrameBytes - 4) return false;
  f->frameSize = size;
  return true;
}

static int SamplesPerFrame(const SndHeaderFields& f) {
  if (f.layer == 1) return 384;
  if (f.layer == 2) return 1152;
  return f.lsf ? 576 : 1152;
}

bool SndMpegPeekHeader(const SndMpegDecoder* decoder, const uint8_t header[4],
                       SndMpegFrameInfo* info) {
  uint32_t h = (uint32_t(header[0]) << 24) | (uint32_t(header[1]) << 16) |
               (uint32_t(header[2]) << 8) | header[3];
  SndHeaderFields f;
  if (!DecodeHeader(h, decoder ? decoder->streamLayer : 0, &f)) return false;
  if (info) {
    info->sampleRate = kSndMpegRates[f.rateIndex];
    info->channels = f.channels;
    info->layer = f.layer;
    info->frameBytes = f.frameSize + 4;
    info->samplesPerFrame = SamplesPerFrame(f);
    info->bitrate = f.bitrate;
  }
  return true;
}

// Layer II allocation table: 0-3 the tables of ISO/IEC 11172-3 Annex B (B.2a-d), 4 the table
// of ISO/IEC 13818-3 for the lower sampling frequencies.
static void ChooseLayer2Table(SndMpegDecoder* d) {
  static const int kLimits[5] = {27, 30, 8, 12, 30};
  int table;
  if (d->lsf) {
    table = 4;
  } else {
    int perChannel = kBitrates[0][1][d->bitrateIndex] / d->channels;
    int rate = kSndMpegRates[d->rateIndex];
    if ((rate == 48000 && perChannel >= 56) || (perChannel >= 56 && perChannel <= 80))
      table = 0;
    else if (rate != 48000 && perChannel >= 96)
      table = 1;
    else if (rate != 32000 && perChannel <= 48)
      table = 2;
    else
      table = 3;
  }
  d->allocTable = table;
  d->sbLimit = kLimits[table];
}

bool SndMpegParseHeader(SndMpegDecoder* d, const uint8_t header[4], int* sampleRate,
                        int* channels, int* frameSize) {
  uint32_t h = (uint32_t(header[0]) << 24) | (uint32_t(header[1]) << 16) |
               (uint32_t(header[2]) << 8) | header[3];
  SndHeaderFields f;
  if (!DecodeHeader(h, d->streamLayer, &f)) {
    d->frameSize = 0;  // a refused header leaves nothing pending
    return false;
  }
  d->header = h;
  d->lsf = f.lsf;
  d->mpeg25 = f.mpeg25;
  d->layer = f.layer;
  d->crc = f.crc;
  d->bitrateIndex = f.bitrateIndex;
  d->samplingIndex = f.samplingIndex;
  d->rateIndex = f.rateIndex;
  d->padding = f.padding;
  d->privateBit = f.privateBit;
  d->mode = f.mode;
  d->modeExtension = f.modeExtension;
  d->copyright = f.copyright;
  d->original = f.original;
  d->emphasis = f.emphasis;
  d->channels = f.channels;
  d->frameSize = f.frameSize;
  if (d->streamLayer == 0) d->streamLayer = f.layer;
  if (f.layer == 2) ChooseLayer2Table(d);
  if (f.layer != 3) {
    int limit = f.layer == 2 ? d->sbLimit : 32;
    d->jointBound = f.mode == 1 ? f.modeExtension * 4 + 4 : limit;
    if (d->jointBound > limit) d->jointBound = limit;
  }
  if (sampleRate) *sampleRate = kSndMpegRates[f.rateIndex];
  if (channels) *channels = f.channels;
  if (frameSize) *frameSize = f.frameSize;
  return true;
}

bool SndMpegDecodeFrame(SndMpegDecoder* d, const uint8_t* frame, int available, int16_t* output,
                        int* bytes) {
  if (bytes) *bytes = 0;
  if (available < 4) return false;
  if (d->frameSize == 0 && !SndMpegParseHeader(d, frame, nullptr, nullptr, nullptr))
    return false;
  int size = d->frameSize;
  d->frameSize = 0;  // the next call parses a new header, whatever happens here
  if (available < size + 4) return false;
  uint8_t* data = d->store + 512;
  std::memcpy(data, frame + 4, size_t(size));
  std::memset(data + size, 0, kSndStorePadding);
  SndBits bits{data, 0, size_t(size) * 8};
  if (d->crc) bits.pos += 16;
  int written = 0;
  bool ok;
  if (d->layer == 1)
    ok = SndDecodeLayer1(d, &bits, output, &written);
  else if (d->layer == 2)
    ok = SndDecodeLayer2(d, &bits, output, &written);
  else
    ok = SndDecodeLayer3(d, &bits, output, &written);
  d->previousFrameSize = size;
  if (bytes) *bytes = written;
  return ok;
}

bool SndMpegIsTagFrame(const uint8_t* frame, int available) {
  SndMpegFrameInfo info;
  if (available < 4 || !SndMpegPeekHeader(nullptr, frame, &info) || info.layer != 3) return false;
  bool lsf = info.samplesPerFrame == 576;
  int side = lsf ? (info.channels == 1 ? 9 : 17) : (info.channels == 1 ? 17 : 32);
  int at = 4 + side + ((frame[1] & 1) ? 0 : 2);
  if (available >= at + 4 && at + 4 <= info.frameBytes &&
      (std::memcmp(frame + at, "Xing", 4) == 0 || std::memcmp(frame + at, "Info", 4) == 0))
    return true;
  return available >= 40 && info.frameBytes >= 40 && std::memcmp(frame + 36, "VBRI", 4) == 0;
}

void SndMpegReset(SndMpegDecoder* d) {
  d->frameSize = 0;
  d->previousFrameSize = -1;
  d->reservoirBytes = 0;
  d->synthNewest = 0;
  std::memset(d->synthVectors, 0, sizeof d->synthVectors);
  std::memset(d->overlap, 0, sizeof d->overlap);
}

SndMpegDecoder* SndMpegCreate() {
  SndInitMpegTables();
  auto* d = static_cast<SndMpegDecoder*>(std::calloc(1, sizeof(SndMpegDecoder)));
  if (!d) return nullptr;
  SndMpegReset(d);
  return d;
}

void SndMpegFree(SndMpegDecoder* decoder) { std::free(decoder); }
