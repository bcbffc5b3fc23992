// MP3 files (and MPEG audio inside a RIFF file) through the file layer: finding the first frame
// past tags, counting frames, loading a whole file into a sample, and a frame reader that seeks
// by time for the streams.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "sound/mpeg/mpeg_local.h"
#include "sound/sound_local.h"

enum : int {
  kSearchBytes = 256,     // a first frame must start this close to the data start
  kReservoirBytes = 511,  // the most main data a layer III frame takes from earlier frames
  kScanChunkBytes = 1 << 16,
};

static uint32_t ReadBigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The frame count an encoder's tag frame gives ("Xing"/"Info" with its frames flag, or
// "VBRI"); 0 when it gives none.
static int64_t TagFrameCount(const uint8_t* frame, int bytes) {
  for (int at = 4; at + 12 <= bytes; at++) {
    if (std::memcmp(frame + at, "Xing", 4) == 0 || std::memcmp(frame + at, "Info", 4) == 0) {
      uint32_t flags = ReadBigEndian32(frame + at + 4);
      return (flags & 1) ? int64_t(ReadBigEndian32(frame + at + 8)) : 0;
    }
  }
  if (bytes >= 36 + 18 && std::memcmp(frame + 36, "VBRI", 4) == 0)
    return int64_t(ReadBigEndian32(frame + 36 + 14));
  return 0;
}

// Skips ID3v2 tags (one after another) and an ID3v1 tag at the start; the data start is left
// behind them. An MP3 inside a RIFF file starts at its "data" chunk.
static void FindDataStart(SndFile* file, SndMpegProbe* probe, std::vector<SndSyncPoint>* syncPoints) {
  int64_t fileLength = SndFileLength(file);
  uint8_t head[10];
  probe->dataStart = 0;
  probe->dataLength = -1;
  if (!SndFileReadAt(file, 0, head, 10)) return;
  if (std::memcmp(head, "TAG", 3) == 0) {
    probe->dataStart = 128;
  } else if (std::memcmp(head, "ID3", 3) == 0) {
    int64_t at = 0;
    while (SndFileReadAt(file, at, head, 10) && std::memcmp(head, "ID3", 3) == 0) {
      int64_t size = int64_t(head[6] & 127) << 21 | int64_t(head[7] & 127) << 14 |
                     int64_t(head[8] & 127) << 7 | int64_t(head[9] & 127);
      at += 10 + size + ((head[5] & 0x10) ? 10 : 0);  // a footer follows when flagged
    }
    probe->dataStart = std::min(at, fileLength);
  } else if (std::memcmp(head, "RIFF", 4) == 0) {
    int error = SndGetError();
    SndWavInfo info;
    if (SndParseRiff(file, &info, syncPoints) && info.haveData) {
      probe->dataStart = info.dataOffset;
      probe->dataLength = std::min<int64_t>(info.dataLength, fileLength - info.dataOffset);
    }
    SndFail(error);
  }
  if (probe->dataLength < 0) probe->dataLength = fileLength - probe->dataStart;
}

static bool HeaderAt(SndFile* file, int64_t at, int layer, SndMpegFrameInfo* info) {
  uint8_t header[4];
  if (!SndFileReadAt(file, at, header, 4) || !SndMpegPeekHeader(nullptr, header, info)) return false;
  return layer == 0 || info->layer == layer;
}

int64_t SndScanMpegFrames(SndFile* file, const SndMpegProbe& probe, std::vector<int64_t>* table) {
  int64_t at = probe.firstAudioFrame, end = probe.dataStart + probe.dataLength, count = 0;
  // The headers are read from large chunks of the file: one read per frame would cost a
  // system call per frame.
  std::vector<uint8_t> chunk(kScanChunkBytes);
  int64_t chunkStart = 0, chunkLength = 0;
  while (at + 4 <= end) {
    if (at + 4 > chunkStart + chunkLength) {
      chunkStart = at;
      chunkLength = std::min<int64_t>(kScanChunkBytes, end - at);
      if (!SndFileReadAt(file, at, chunk.data(), int(chunkLength))) break;
    }
    SndMpegFrameInfo info;
    if (!SndMpegPeekHeader(nullptr, &chunk[size_t(at - chunkStart)], &info) || info.layer != probe.layer ||
        at + info.frameBytes > end)
      break;
    if (table) table->push_back(at);
    count++;
    at += info.frameBytes;
  }
  return count;
}

bool SndProbeMpeg(SndFile* file, bool countFrames, SndMpegProbe* probe, std::vector<int64_t>* table,
                  std::vector<SndSyncPoint>* syncPoints) {
  *probe = SndMpegProbe{};
  FindDataStart(file, probe, syncPoints);
  int64_t end = probe->dataStart + probe->dataLength;
  SndMpegFrameInfo first, next;
  int64_t at = probe->dataStart;
  bool found = false;
  for (int tries = 0; tries < kSearchBytes && at + 4 <= end; tries++, at++) {
    if (!HeaderAt(file, at, 0, &first)) continue;
    // A second header where the first frame ends (or the data ending there) confirms it.
    int64_t after = at + first.frameBytes;
    if (after == end || (HeaderAt(file, after, first.layer, &next) &&
                         next.sampleRate == first.sampleRate)) {
      found = true;
      break;
    }
  }
  if (!found) return SndFail(kSndErrFileFormat);
  probe->dataLength = end - at;
  probe->dataStart = at;
  probe->frequency = first.sampleRate;
  probe->channels = first.channels;
  probe->layer = first.layer;
  probe->frameBytes = first.frameBytes;
  probe->bytesPerFrame = first.samplesPerFrame * first.channels * 2;
  probe->firstAudioFrame = at;
  // The encoder's tag frame holds no audio; its frame count saves a scan of a VBR file.
  uint8_t frame[kSndMpegMaxFrameBytes];
  int frameBytes = std::min(first.frameBytes, int(std::min<int64_t>(end - at, kSndMpegMaxFrameBytes)));
  int64_t tagFrames = 0;
  if (SndFileReadAt(file, at, frame, frameBytes) && SndMpegIsTagFrame(frame, frameBytes)) {
    tagFrames = TagFrameCount(frame, frameBytes);
    probe->firstAudioFrame = at + first.frameBytes;
  }
  if (countFrames || table) {
    probe->frames = SndScanMpegFrames(file, *probe, table);
    probe->counted = true;
  } else if (tagFrames > 0) {
    probe->frames = tagFrames;
  } else {
    // A constant bitrate: the average frame, padding included, is bitrate x 125 x samples / rate.
    double average = double(first.bitrate) * 125.0 * first.samplesPerFrame / first.sampleRate;
    probe->frames = int64_t(std::llround(double(end - probe->firstAudioFrame) / average));
  }
  probe->decodedBytes = probe->frames * probe->bytesPerFrame;
  probe->lengthMs = double(probe->frames) * first.samplesPerFrame * 1000.0 / first.sampleRate;
  return true;
}

static SndSample* FailLoad(SndSample* sample, int error) {
  if (sample) SndFreeSample(sample);
  SndFail(error);
  return nullptr;
}

SndSample* SndLoadMpegSample(int index, SndFile* file, uint32_t mode) {
  SndMpegProbe probe;
  std::vector<int64_t> offsets;
  if (!SndProbeMpeg(file, true, &probe, &offsets, nullptr)) return nullptr;
  if (probe.frames == 0) return FailLoad(nullptr, kSndErrFileFormat);
  int64_t bytes = probe.decodedBytes;
  int frameSize = probe.channels * 2;
  if (bytes / frameSize > 0x7FFFFFFF || bytes > 0x7FFFFFFF) return FailLoad(nullptr, kSndErrMemory);
  int64_t dataEnd = probe.dataStart + probe.dataLength;
  int64_t sourceBytes = dataEnd - probe.firstAudioFrame;
  if (sourceBytes > 0x7FFFFFFF - kSndMpegMaxFrameBytes) return FailLoad(nullptr, kSndErrMemory);

  mode &= ~(kSndUnsigned | kSndSigned | kSnd8Bits | kSnd16Bits | kSndMono | kSndStereo);
  mode |= kSnd16Bits | kSndSigned | (probe.channels == 1 ? kSndMono : kSndStereo);
  int frames = int(bytes / frameSize);
  SndSample* sample = SndCreateSample(index, frames, mode, probe.frequency, 255,
                                      probe.channels == 2 ? -1 : 128, 255);
  if (!sample) return nullptr;
  // The whole data, with zeros after it that hold the largest frame a cut last header names.
  auto* data = static_cast<uint8_t*>(std::calloc(size_t(sourceBytes) + kSndMpegMaxFrameBytes, 1));
  if (!data) return FailLoad(sample, kSndErrMemory);
  SndMpegDecoder* decoder = SndMpegCreate();
  void *first, *second;
  uint32_t firstLength, secondLength;
  if (!decoder || !SndFileReadAt(file, probe.firstAudioFrame, data, int(sourceBytes)) ||
      !SndLockSample(sample, 0, int(bytes), &first, &second, &firstLength, &secondLength) ||
      firstLength < uint64_t(bytes)) {
    SndMpegFree(decoder);
    std::free(data);
    return FailLoad(sample, decoder ? kSndErrFileData : kSndErrMemory);
  }
  // Each frame decodes straight into its place in the sample; only where the largest frame
  // would pass the sample's end does it go through a scratch buffer. What a frame leaves
  // unwritten (a refused frame, a shorter one) is silence.
  auto* pcm = static_cast<uint8_t*>(first);
  std::vector<int16_t> scratch(kSndMpegMaxOutputBytes / 2);
  for (size_t f = 0; f < offsets.size(); f++) {
    int64_t at = offsets[f] - probe.firstAudioFrame;
    uint8_t* place = pcm + int64_t(f) * probe.bytesPerFrame;
    bool direct = place + kSndMpegMaxOutputBytes <= pcm + bytes;
    int16_t* target = direct ? reinterpret_cast<int16_t*>(place) : scratch.data();
    int written = 0;
    SndMpegDecodeFrame(decoder, data + at, int(sourceBytes + kSndMpegMaxFrameBytes - at), target, &written);
    written = std::min(written, probe.bytesPerFrame);
    if (!direct) std::memcpy(place, scratch.data(), size_t(written));
    std::memset(place + written, 0, size_t(probe.bytesPerFrame - written));
  }
  SndUnlockSample(sample, first, second, firstLength, secondLength);
  SndMpegFree(decoder);
  std::free(data);
  SndSetSampleLoopPoints(sample, 0, frames - 1);
  SndFail(kSndErrNone);
  return sample;
}

// --- Frame reader -------------------------------------------------------------------------

bool SndMpegOpenReader(SndMpegReader* reader, SndFile* file) {
  *reader = SndMpegReader{};
  if (!SndProbeMpeg(file, true, &reader->probe, &reader->offsets, nullptr)) return false;
  reader->file = file;
  reader->decoder = SndMpegCreate();
  if (!reader->decoder) return SndFail(kSndErrMemory);
  return true;
}

void SndMpegCloseReader(SndMpegReader* reader) {
  SndMpegFree(reader->decoder);
  reader->decoder = nullptr;
}

static int DecodeFrameAt(SndMpegReader* reader, size_t index, int16_t* out) {
  int64_t at = reader->offsets[index];
  int64_t end = reader->probe.dataStart + reader->probe.dataLength;
  uint8_t frame[kSndMpegMaxFrameBytes + 8] = {};
  int size = int(std::min<int64_t>(end - at, kSndMpegMaxFrameBytes));
  if (!SndFileReadAt(reader->file, at, frame, size)) return 0;
  int written = 0;
  SndMpegDecodeFrame(reader->decoder, frame, size, out, &written);
  return written;
}

int SndMpegReadFrame(SndMpegReader* reader, int16_t* out) {
  if (reader->next >= reader->offsets.size()) return 0;
  int written = DecodeFrameAt(reader, reader->next++, out);
  int skip = std::min(reader->skipBytes, written);
  reader->skipBytes = 0;
  if (skip > 0) std::memmove(out, reinterpret_cast<uint8_t*>(out) + skip, size_t(written - skip));
  return written - skip;
}

// The sample frame at `ms` is found in 64-bit arithmetic from the rate, so the time a program
// seeks to is where playing resumes. Frames before it are decoded and dropped, so the first
// frame played sounds as it does in a decode from the start.
bool SndMpegSeekTime(SndMpegReader* reader, double ms) {
  if (ms < 0) return SndFail(kSndErrInvalid);
  int samplesPerFrame = reader->probe.bytesPerFrame / (2 * reader->probe.channels);
  int64_t target = int64_t(std::llround(ms * reader->probe.frequency / 1000.0));
  int64_t frame = target / samplesPerFrame;
  if (frame >= int64_t(reader->offsets.size())) {
    reader->next = reader->offsets.size();
    return true;
  }
  // Two whole frames rebuild the overlap and synthesis history; before them, enough frames
  // (counted generously, headers and side information included) to refill the reservoir.
  size_t start = size_t(std::max<int64_t>(0, frame - 2));
  int64_t before = 0;
  while (start > 0 && before < 2 * kReservoirBytes) {
    start--;
    before += reader->offsets[start + 1] - reader->offsets[start];
  }
  SndMpegReset(reader->decoder);
  std::vector<int16_t> scratch(kSndMpegMaxOutputBytes / 2);
  for (size_t f = start; f < size_t(frame); f++) DecodeFrameAt(reader, f, scratch.data());
  reader->next = size_t(frame);
  reader->skipBytes = int(target - frame * samplesPerFrame) * 2 * reader->probe.channels;
  return true;
}
