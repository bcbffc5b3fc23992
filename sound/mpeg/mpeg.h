// The MPEG audio decoder of the sound library (layers I, II and III of MPEG-1, MPEG-2 and
// MPEG-2.5): frame headers in, 16-bit PCM out. Used by the MP3 loader and the streams.
#pragma once
#include <cstdint>
#include <vector>

#include "sound/sound.h"

struct SndMpegDecoder;

// What one header says; filled by SndMpegParseHeader.
struct SndMpegFrameInfo {
  int sampleRate;     // Hz
  int channels;       // 1 or 2
  int layer;          // 1, 2 or 3
  int frameBytes;     // the whole frame, header included
  int samplesPerFrame;  // sample frames the frame decodes to (384, 576 or 1152)
  int bitrate;        // kbit/s
};

enum : int {
  kSndMpegMaxFrameBytes = 1796,    // header and the largest frame data we accept
  kSndMpegMaxOutputBytes = 4608,   // 1152 stereo 16-bit sample frames
};

// Builds the process-wide tables (synthesis window, layer tables); safe to call again.
void SndInitMpegTables();
// The loader and the streams: one decoder per open file or stream.
SndMpegDecoder* SndMpegCreate();
void SndMpegFree(SndMpegDecoder* decoder);
// Forgets the bit reservoir and the filter history, after a seek; the stream layer stays.
void SndMpegReset(SndMpegDecoder* decoder);
// Reads a 4-byte frame header without touching the decoder's state: false when the bytes are
// no header this decoder takes (sync, layer, rates, free format, size).
bool SndMpegPeekHeader(const SndMpegDecoder* decoder, const uint8_t header[4],
                       SndMpegFrameInfo* info);
// Parses the header into the decoder (the first accepted header fixes the stream's layer).
bool SndMpegParseHeader(SndMpegDecoder* decoder, const uint8_t header[4], int* sampleRate,
                        int* channels, int* frameSize);
// Decodes the frame at `frame` (header included; `available` bytes readable) into `output`
// (room for kSndMpegMaxOutputBytes); *bytes gets the bytes written. False: nothing written.
bool SndMpegDecodeFrame(SndMpegDecoder* decoder, const uint8_t* frame, int available,
                        int16_t* output, int* bytes);
// True for the frame an encoder writes first to carry the stream's length and its gaps
// ("Xing", "Info" or "VBRI"): it holds no audio, and players skip it.
bool SndMpegIsTagFrame(const uint8_t* frame, int available);
// The synthesis window, 512 coefficients in the standard's order and scale (tests).
const float* SndMpegSynthesisWindow();

// --- MPEG audio files through the file layer (sound/mpeg/loader.cpp) ---
struct SndSyncPoint;
struct SndMpegProbe {
  int64_t dataStart = 0;        // the first frame (after tags, or in a RIFF "data" chunk)
  int64_t dataLength = 0;       // bytes from there to the end of the MPEG data
  int64_t firstAudioFrame = 0;  // past the encoder's tag frame when there is one
  int frequency = 0, channels = 0, layer = 0;
  int frameBytes = 0;           // of the first frame, header included
  int bytesPerFrame = 0;        // decoded bytes of one frame
  int64_t frames = 0;           // audio frames: counted, from the tag frame, or estimated
  int64_t decodedBytes = 0;     // frames x bytesPerFrame
  double lengthMs = 0;
  bool counted = false;
};
// Finds the first frame (within 256 bytes of the data start, confirmed by the next header)
// and the length; counts every frame when asked or when `table` is given (frame offsets).
// False with error 10 when the file holds no MPEG audio.
bool SndProbeMpeg(SndFile* file, bool countFrames, SndMpegProbe* probe, std::vector<int64_t>* table,
                  std::vector<SndSyncPoint>* syncPoints);
// Counts the frames from the first audio frame to the first bad header or the data's end.
int64_t SndScanMpegFrames(SndFile* file, const SndMpegProbe& probe, std::vector<int64_t>* table);

// Frame-by-frame decoding with a seek by time (streams).
struct SndMpegReader {
  SndFile* file = nullptr;
  SndMpegProbe probe;
  std::vector<int64_t> offsets;  // of every audio frame
  SndMpegDecoder* decoder = nullptr;
  size_t next = 0;               // the frame the next read decodes
  int skipBytes = 0;             // dropped from the next read (a seek inside a frame)
};
bool SndMpegOpenReader(SndMpegReader* reader, SndFile* file);
void SndMpegCloseReader(SndMpegReader* reader);
int SndMpegReadFrame(SndMpegReader* reader, int16_t* out);  // bytes written, 0 at the end
bool SndMpegSeekTime(SndMpegReader* reader, double ms);
