// Streams: a looping sample of two halves refilled by the feeder from a file (PCM, compressed
// WAV or MP3) or a caller's callback, with the play time kept by a mixer unit. Everything runs
// under the library lock, so stopping or closing never races a fill or a sync report.
#include "sound/stream.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/clock.h"
#include "platform/thread.h"
#include "sound/mpeg/mpeg.h"
#include "sound/sound_local.h"

enum class StreamReader { kNone, kPcm, kMpeg };

struct SndStream {
  SndLink link;                  // first: the list of playing streams
  SndLink units;                 // the stream's own DSP units
  SndSample* sample = nullptr;
  SndFile* file = nullptr;
  StreamReader reader = StreamReader::kNone;
  SndStreamFillCallback fill = nullptr;
  void* fillUser = nullptr;
  SndStreamEndCallback endCallback = nullptr;
  void* endUser = nullptr;
  SndStreamSyncCallback syncCallback = nullptr;
  void* syncUser = nullptr;
  std::vector<SndSyncPoint> syncPoints;
  size_t nextSync = 0;
  int halfToFill = 0;
  uint32_t mode = 0;
  int channel = -1;
  int rate = 44100;              // of the data
  int frameBytes = 4;            // of the streamer sample
  // readers
  int64_t filePosition = 0;      // next byte the reader takes
  SndWavInfo wav;
  SndWavDecoder wavDecoder;      // compressed WAV: the codec
  SndMpegReader mpeg;            // frame table and decoder
  std::vector<uint8_t> readBuffer, decodeBuffer;
  uint32_t decodeBytes = 0, readOffset = 0;  // decoded bytes held, and how many were copied
  double ratio = 1.0;            // data bytes per decoded byte
  int lengthMs = 0;
  uint32_t totalBytes = 0;       // decoded
  int endCountdown = -1;
  double time = 0;               // ms of data played
  uint32_t dataBytes = 0, dataStart = 0;
  int64_t pendingByteSeek = -1, pendingTimeSeek = -1;
  uint32_t blockAlign = 4;
  bool dataEnded = false;        // the reader gave the data's last block
  bool playing = false, paused = false, finished = false;
};

static struct {
  SndLink playing;               // streams being fed
  PlatformThread* feeder = nullptr;
  PlatformStopSignal stop;
  SndDspUnit* syncUnit = nullptr;
  uint32_t lastPass = 0;
  bool running = false;
} gStreamer;

static SndStream* StreamOf(SndLink* link) { return reinterpret_cast<SndStream*>(link); }

static uint32_t NormaliseMode(uint32_t mode) {
  if (mode & kSnd2D) mode &= ~kSndHardware;
  if (mode & kSnd16Bits) mode &= ~kSnd8Bits;
  if (mode & kSndStereo) mode &= ~kSndMono;
  return mode | kSndStreamBuffer;
}

static int FrameBytesOf(uint32_t mode) { return ((mode & kSnd16Bits) ? 2 : 1) * ((mode & kSndStereo) ? 2 : 1); }

static void MakeSigned(const SndStream* s, uint8_t* data, int bytes) {
  if (!(s->mode & kSndUnsigned)) return;
  if (s->mode & kSnd16Bits) {
    for (int i = 1; i < bytes; i += 2) data[i] ^= 0x80;  // little-endian words: the high byte
  } else {
    for (int i = 0; i < bytes; i++) data[i] ^= 0x80;
  }
}

// --- readers: each fills up to `bytes` of `out` and returns the bytes written; *end is set
// when the data has ended ---

static int ReadPcm(SndStream* s, uint8_t* out, int bytes, bool* end) {
  const int64_t dataEnd = int64_t(s->dataStart) + s->dataBytes;
  if (s->wavDecoder.codec == kSndWavPcm) {
    int64_t want = std::min<int64_t>(bytes, dataEnd - s->filePosition);
    want -= want % s->blockAlign;
    if (want <= 0 || !SndFileReadAt(s->file, s->filePosition, out, int(want))) {
      *end = true;
      return 0;
    }
    s->filePosition += want;
    *end = s->filePosition >= dataEnd;
    return int(want);
  }
  // Compressed: whole blocks of the codec, decoded through a decoder sized for them.
  int64_t want = std::min<int64_t>(int64_t(s->readBuffer.size()), dataEnd - s->filePosition);
  SndWavDecoder chunk;
  bool opened = want > 0 && SndFileReadAt(s->file, s->filePosition, s->readBuffer.data(), int(want)) &&
                SndOpenWav(s->wav, uint32_t(want), &chunk);
  chunk.history = s->wavDecoder.history;
  if (!opened || chunk.decodedBytes > uint64_t(bytes) || !SndAcmConvert(chunk, s->readBuffer.data(), uint32_t(want), out)) {
    *end = true;
    return 0;
  }
  s->filePosition += want;
  *end = s->filePosition >= dataEnd;
  return int(chunk.decodedBytes);
}

// The next frame from the file position. A header is taken at once on the first try; after a
// bad one the search moves on byte by byte and takes only a header whose frame is followed by
// another frame's sync word (or the data's end), so one damaged byte costs one frame.
static int ReadMpeg(SndStream* s, uint8_t* out, bool* end) {
  const int64_t dataEnd = s->mpeg.probe.dataStart + s->mpeg.probe.dataLength;
  for (int tries = 0;; tries++) {
    uint8_t header[4];
    if (s->filePosition + 4 > dataEnd || !SndFileReadAt(s->file, s->filePosition, header, 4)) break;
    SndMpegFrameInfo info;
    bool accepted = SndMpegPeekHeader(s->mpeg.decoder, header, &info);
    if (accepted && tries > 0) {
      int64_t after = s->filePosition + info.frameBytes;
      uint8_t sync[2];
      accepted = after == dataEnd ||
                 (after + 2 <= dataEnd && SndFileReadAt(s->file, after, sync, 2) && sync[0] == 0xFF && (sync[1] & 0xE0) == 0xE0);
    }
    if (!accepted) {
      s->filePosition++;
      continue;
    }
    uint8_t frame[kSndMpegMaxFrameBytes + 8] = {};
    int size = int(std::min<int64_t>(dataEnd - s->filePosition, kSndMpegMaxFrameBytes));
    if (size < info.frameBytes || !SndFileReadAt(s->file, s->filePosition, frame, size)) break;
    s->filePosition += info.frameBytes;
    int written = 0;
    SndMpegDecodeFrame(s->mpeg.decoder, frame, size, reinterpret_cast<int16_t*>(out), &written);
    *end = s->filePosition + 4 > dataEnd;
    return std::min(written, s->mpeg.probe.bytesPerFrame);
  }
  *end = true;
  return 0;
}

// --- seeking (applied by the filler, between decoded blocks) ---

static void SeekBytes(SndStream* s, int64_t position, bool setTime) {
  if (s->reader == StreamReader::kPcm) {
    position = s->dataStart + (position - s->dataStart) / s->blockAlign * s->blockAlign;
  }
  if (s->reader == StreamReader::kMpeg) {
    SndMpegReset(s->mpeg.decoder);
    if (position <= s->dataStart) position = s->mpeg.probe.firstAudioFrame;
  }
  if (s->reader == StreamReader::kPcm) SndKeepWavHistory(&s->wavDecoder);
  s->filePosition = position;
  s->decodeBytes = s->readOffset = 0;
  s->dataEnded = false;
  if (setTime) {
    double decoded = double(position - s->dataStart) / s->ratio;
    s->time = decoded / s->frameBytes / s->rate * 1000.0;
  }
}

static void SeekTime(SndStream* s, int64_t ms) {
  if (s->reader == StreamReader::kMpeg && !s->mpeg.offsets.empty()) {
    // By the frame table, so the time lands on the frame that holds it.
    int64_t decoded = int64_t(double(ms) * s->rate / 1000.0) * s->frameBytes;
    int64_t frame = std::min<int64_t>(decoded / std::max(1, s->mpeg.probe.bytesPerFrame), int64_t(s->mpeg.offsets.size()) - 1);
    SeekBytes(s, s->mpeg.offsets[size_t(frame)], false);
  } else {
    int64_t position = s->dataStart + int64_t(double(ms) / std::max(1, s->lengthMs) * s->dataBytes);
    if (s->reader == StreamReader::kPcm && s->wavDecoder.codec != kSndWavPcm) {
      const int64_t block = std::max<uint32_t>(s->wavDecoder.blockAlign, 1);
      position = s->dataStart + (position - s->dataStart) / block * block;
    }
    SeekBytes(s, position, false);
  }
  s->time = double(ms);
}

// Fills `bytes` of `destination` from the file; false once the data has ended (the rest of
// the destination is then zeros).
static bool FileFill(SndStream* s, void* destination, int bytes, void*) {
  auto* out = static_cast<uint8_t*>(destination);
  int done = 0, emptyPasses = 0;
  bool ended = false;
  while (done < bytes && s->playing) {
    if (s->readOffset < s->decodeBytes) {
      int copy = std::min<int>(int(s->decodeBytes - s->readOffset), bytes - done);
      std::memcpy(out + done, s->decodeBuffer.data() + s->readOffset, size_t(copy));
      s->readOffset += uint32_t(copy);
      done += copy;
      continue;
    }
    if (s->pendingByteSeek >= 0) SeekBytes(s, s->pendingByteSeek, true);
    if (s->pendingTimeSeek >= 0) SeekTime(s, s->pendingTimeSeek);
    s->pendingByteSeek = s->pendingTimeSeek = -1;
    if (s->dataEnded) {
      // A looping stream goes back to the data's start (its time runs on); a data that gives
      // nothing twice over ends it rather than spin.
      if (!(s->mode & kSndLoopNormal) || ++emptyPasses > 2) {
        ended = true;
        break;
      }
      SeekBytes(s, s->dataStart, false);
      continue;
    }
    bool end = false;
    int got;
    if (s->decodeBuffer.empty()) {
      got = ReadPcm(s, out + done, bytes - done, &end);  // uncompressed PCM goes straight in
      done += got;
    } else {
      got = s->reader == StreamReader::kMpeg ? ReadMpeg(s, s->decodeBuffer.data(), &end)
                                             : ReadPcm(s, s->decodeBuffer.data(), int(s->decodeBuffer.size()), &end);
      s->decodeBytes = uint32_t(got);
      s->readOffset = 0;
    }
    s->dataEnded = end;
    if (got > 0) emptyPasses = 0;
  }
  MakeSigned(s, out, done);
  if (done < bytes) std::memset(out + done, 0, size_t(bytes - done));
  return !ended;
}

// --- feeding ---

// Milliseconds the whole streamer sample holds.
static int SampleMs(const SndStream* s) { return int(int64_t(s->sample->length) * 1000 / s->rate); }

static void FillHalf(SndStream* s) {
  const uint32_t halfFrames = s->sample->length / 2;
  const int bytes = int(halfFrames) * s->frameBytes;
  auto* half = s->sample->data + size_t(s->halfToFill) * size_t(bytes);
  if (s->endCountdown >= 0 || !s->fill) {
    std::memset(half, 0, size_t(bytes));
  } else {
    bool more = s->fill(s, half, bytes, s->fillUser);
    // A callback's unsigned data is made signed here; the file filler does it for the bytes it
    // read, so the silence after the data stays silent.
    if (s->fill != FileFill) MakeSigned(s, half, bytes);
    if (!more) {
      int bufferMs = gSnd.bufferTime > 0 ? gSnd.bufferTime : 0;
      s->endCountdown = bufferMs + SampleMs(s) + 20;
    }
  }
  void* buffer = half;
  for (SndLink* l = s->units.next; l != &s->units; l = l->next) {
    auto* unit = reinterpret_cast<SndDspUnit*>(l);
    if (unit->active && unit->callback) buffer = unit->callback(half, buffer, int(halfFrames), unit->user);
  }
  s->halfToFill ^= 1;
}

static void StopLocked(SndStream* s);

// One pass over the playing streams: refills the half the channel has left, counts down the
// streams whose data ended and stops those that finished.
static void FeederPass() {
  uint32_t now = SndGetTimeMs();
  int elapsed = int(now - gStreamer.lastPass);
  gStreamer.lastPass = now;
  SndLink* next = nullptr;
  for (SndLink* l = gStreamer.playing.next; l != &gStreamer.playing; l = next) {
    next = l->next;
    SndStream* s = StreamOf(l);
    SndChannel* channel = s->channel >= 0 ? SndLookupChannel(s->channel) : nullptr;
    if (channel && channel->sample == s->sample && !s->paused) {
      uint64_t position = channel->ops.GetPosition(channel);
      uint32_t half = s->sample->length / 2;
      if ((position >= half && s->halfToFill == 0) || (position < half && s->halfToFill == 1)) FillHalf(s);
    }
    if (s->endCountdown >= 0 && !s->paused) {
      s->endCountdown -= elapsed;
      if (s->endCountdown < 1) {
        s->endCountdown = 0;
        s->finished = true;
      }
    }
  }
  for (SndLink* l = gStreamer.playing.next; l != &gStreamer.playing; l = next) {
    next = l->next;
    if (StreamOf(l)->finished) StopLocked(StreamOf(l));
  }
}

static void FeederThread(void*) {
  do {
    SndLockGuard guard(gSnd.lock);
    FeederPass();
  } while (gStreamer.stop.Pause(10));
}

// Once per mix block: the play time of each playing stream moves on by the block's real length
// at the channel's rate, and the sync points it passed are reported. With the stepped clock
// (tests) there is no feeder thread and the pass runs here too, so renders are exact.
static void* SyncUnit(void*, void* buffer, int frames, void*) {
  SndLink* next = nullptr;
  for (SndLink* l = gStreamer.playing.next; l != &gStreamer.playing; l = next) {
    next = l->next;
    SndStream* s = StreamOf(l);
    if (!s->playing || s->paused) continue;
    SndChannel* channel = SndLookupChannel(s->channel);
    if (!channel || channel->sample != s->sample || channel->paused) continue;
    s->time += double(frames) * 1000.0 / gSnd.mixRate * channel->frequency / s->sample->defaultFrequency;
    if (s->time > s->lengthMs && s->lengthMs > 0) {
      s->time = (s->mode & kSndLoopNormal) ? std::fmod(s->time, double(s->lengthMs)) : double(s->lengthMs);
    }
    if (s->syncPoints.empty()) continue;
    uint32_t position = uint32_t(s->time * s->rate / 1000.0);
    if (s->nextSync >= s->syncPoints.size() && position < s->syncPoints.back().offset) s->nextSync = 0;
    while (s->nextSync < s->syncPoints.size() && s->syncPoints[s->nextSync].offset <= position) {
      const SndSyncPoint& point = s->syncPoints[s->nextSync++];
      if (s->syncCallback) s->syncCallback(s, point.name, point.offset, s->syncUser);
    }
  }
  if (gSnd.steppedClock) FeederPass();
  return buffer;
}

bool SndStreamerStart() {
  SndLockGuard guard(gSnd.lock);
  if (gStreamer.running) return true;
  SndListInit(&gStreamer.playing);
  gStreamer.syncUnit = SndCreateDspUnit(SyncUnit, 299, nullptr);
  if (!gStreamer.syncUnit) return false;
  SndSetDspUnitActive(gStreamer.syncUnit, true);
  gStreamer.lastPass = SndGetTimeMs();
  gStreamer.stop.Reset();
  if (!gSnd.steppedClock) {
    gStreamer.feeder = PlatformStartThread(FeederThread, nullptr, 3);
    if (!gStreamer.feeder) {
      SndFreeDspUnit(gStreamer.syncUnit);
      gStreamer.syncUnit = nullptr;
      return false;
    }
  }
  gStreamer.running = true;
  return true;
}

// Shut-down: the feeder takes the lock for each pass, so it is joined without holding it.
void SndStreamerStop() {
  if (!gStreamer.running) return;
  gStreamer.stop.Stop();
  if (gStreamer.feeder) PlatformJoinThreadForever(gStreamer.feeder);
  gStreamer.feeder = nullptr;
  SndLockGuard guard(gSnd.lock);
  while (gStreamer.playing.next != &gStreamer.playing) StopLocked(StreamOf(gStreamer.playing.next));
  SndFreeDspUnit(gStreamer.syncUnit);
  gStreamer.syncUnit = nullptr;
  gStreamer.running = false;
}

// --- the API ---

static bool Valid(SndStream* s) {
  SndEnter();
  return s ? true : SndFail(kSndErrInvalid);
}

SndStream* SndStreamCreate(SndStreamFillCallback fill, int bufferBytes, uint32_t mode, int rate, void* user) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  mode = NormaliseMode(mode);
  if (rate < 1) rate = 1;
  const int frameBytes = FrameBytesOf(mode);
  const int halfFrames = bufferBytes / frameBytes;
  if (halfFrames < 1) {
    SndFail(kSndErrInvalid);
    return nullptr;
  }
  auto* s = new (std::nothrow) SndStream();
  if (!s) {
    SndFail(kSndErrMemory);
    return nullptr;
  }
  s->sample = SndCreateSample(-2, 2 * halfFrames, (mode & ~kSndUnsigned) | kSndLoopNormal, rate, 255, -1, 255);
  if (!s->sample) {
    delete s;
    return nullptr;
  }
  std::snprintf(s->sample->name, sizeof s->sample->name, "Streamer Sample");
  SndSetSampleLoopPoints(s->sample, 0, 2 * halfFrames - 1);
  SndSetSampleLoopMode(s->sample, kSndLoopNormal);
  s->fill = fill;
  s->fillUser = user;
  s->mode = mode;
  s->rate = rate;
  s->frameBytes = frameBytes;
  return s;
}

static SndStream* FailOpen(SndStream* s, SndFile* file, int error) {
  if (s) {
    SndMpegCloseReader(&s->mpeg);
    if (s->sample) SndFreeSample(s->sample);
    delete s;
  }
  if (file) SndFileClose(file);
  SndFail(error);
  return nullptr;
}

SndStream* SndStreamOpen(const char* nameOrImage, uint32_t mode, int memoryLength) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  const bool memory = (mode & kSndMemoryImage) != 0;
  if (!nameOrImage || (memory && memoryLength < 1)) return FailOpen(nullptr, nullptr, kSndErrInvalid);
  // A web address is no file we read: refused before any probe could see a missing file.
  if (!memory && std::strncmp(nameOrImage, "http://", 7) == 0) return FailOpen(nullptr, nullptr, kSndErrFileFormat);
  mode = NormaliseMode(mode);
  SndFile* file = SndFileOpen(nameOrImage, memory ? kSndFileMemory : kSndFileDisk, memory ? memoryLength : 0);
  if (!file) return FailOpen(nullptr, nullptr, kSndErrFileOpen);

  auto* probe = new (std::nothrow) SndStream();
  if (!probe) return FailOpen(nullptr, file, kSndErrMemory);
  SndStream& p = *probe;
  int rate = 44100;
  int64_t lengthMs = -1;
  uint32_t format = kSnd16Bits | kSndStereo;
  size_t readSize = 0, decodeSize = 0;
  int error = SndGetError();
  if (mode & kSndRaw) {
    int64_t bytes = SndFileLength(file);
    if (bytes <= 0 || bytes > 0x7FFFFFFF) return FailOpen(probe, file, kSndErrFileData);
    p.reader = StreamReader::kPcm;
    p.dataBytes = p.totalBytes = uint32_t(bytes);
    format = mode & (kSnd8Bits | kSnd16Bits | kSndMono | kSndStereo | kSndUnsigned);
    if (!(format & kSnd16Bits)) format |= kSnd8Bits;
    if (!(format & kSndStereo)) format |= kSndMono;
    p.blockAlign = uint32_t(FrameBytesOf(format));
  } else if (SndMpegOpenReader(&p.mpeg, file) && p.mpeg.probe.frames > 0) {
    p.reader = StreamReader::kMpeg;
    rate = p.mpeg.probe.frequency;
    format = kSnd16Bits | (p.mpeg.probe.channels == 1 ? kSndMono : kSndStereo);
    p.dataStart = uint32_t(p.mpeg.probe.dataStart);
    p.dataBytes = uint32_t(p.mpeg.probe.dataLength);
    p.totalBytes = uint32_t(std::min<int64_t>(p.mpeg.probe.decodedBytes, 0xFFFFFFFF));
    lengthMs = int64_t(p.mpeg.probe.lengthMs);
    decodeSize = kSndMpegMaxOutputBytes;
    p.blockAlign = 1;
  } else {
    SndMpegCloseReader(&p.mpeg);
    SndFail(error);
    std::vector<SndSyncPoint> syncs;
    if (!SndParseRiff(file, &p.wav, &syncs)) return FailOpen(probe, file, kSndErrFileFormat);
    int64_t available = SndFileLength(file) - p.wav.dataOffset;
    uint32_t dataLength = uint32_t(std::min<int64_t>(p.wav.dataLength, std::max<int64_t>(available, 0)));
    if (dataLength == 0 || !SndOpenWav(p.wav, dataLength, &p.wavDecoder) || p.wavDecoder.decodedBytes == 0 ||
        !SndKeepWavHistory(&p.wavDecoder)) {
      return FailOpen(probe, file, kSndErrFileFormat);
    }
    p.reader = StreamReader::kPcm;
    p.syncPoints = std::move(syncs);
    rate = int(p.wav.rate);
    format = (p.wavDecoder.bits == 8 ? (kSnd8Bits | kSndUnsigned) : kSnd16Bits) |
             (p.wavDecoder.channels == 1 ? kSndMono : kSndStereo);
    p.dataStart = uint32_t(p.wav.dataOffset);
    p.dataBytes = dataLength;
    p.totalBytes = uint32_t(std::min<uint64_t>(p.wavDecoder.decodedBytes, 0xFFFFFFFF));
    p.blockAlign = uint32_t(FrameBytesOf(format));
    if (p.wavDecoder.codec != kSndWavPcm) {
      // Whole codec blocks per read; the decoded size of one read comes from the codec itself,
      // so no ratio is rounded to an integer (or to zero) on the way.
      readSize = std::max<uint32_t>(p.wavDecoder.blockAlign, 1);
      while (readSize < 2048) readSize *= 2;
      SndWavDecoder block;
      if (!SndOpenWav(p.wav, uint32_t(readSize), &block)) return FailOpen(probe, file, kSndErrFileFormat);
      decodeSize = size_t(block.decodedBytes);
    }
  }
  if (rate < 1) rate = 1;
  p.ratio = p.totalBytes ? double(p.dataBytes) / p.totalBytes : 1.0;
  const int bufferBytes = rate * 100 / 1000 * FrameBytesOf(format);
  uint32_t streamMode = (mode & ~(kSnd8Bits | kSnd16Bits | kSndMono | kSndStereo | kSndUnsigned)) | format;
  SndStream* s = SndStreamCreate(FileFill, std::max(bufferBytes, FrameBytesOf(format)), streamMode, rate, nullptr);
  if (!s) return FailOpen(probe, file, SndGetError() ? SndGetError() : kSndErrMemory);
  // The probe's findings move into the stream that owns the sample.
  SndSample* sample = s->sample;
  uint32_t normalised = s->mode;
  int frameBytes = s->frameBytes;
  *s = std::move(p);
  delete probe;
  s->sample = sample;
  s->mode = normalised;
  s->rate = rate;
  s->frameBytes = frameBytes;
  s->fill = FileFill;
  s->file = file;
  SndListInit(&s->link);
  SndListInit(&s->units);
  std::snprintf(sample->name, sizeof sample->name, "%s", memory ? "" : nameOrImage);
  try {
    s->readBuffer.assign(readSize, 0);
    s->decodeBuffer.assign(decodeSize, 0);
  } catch (const std::bad_alloc&) {
    return FailOpen(s, file, kSndErrMemory);
  }
  s->lengthMs = lengthMs >= 0 ? int(lengthMs) : int(int64_t(s->totalBytes) / frameBytes * 1000 / rate);
  s->filePosition = s->reader == StreamReader::kMpeg ? s->mpeg.probe.firstAudioFrame : s->dataStart;
  SndFail(kSndErrNone);
  return s;
}

SndStream* SndStreamOpenRaw(const char* name, uint32_t mode) {
  return SndStreamOpen(name, (mode | kSndRaw) & ~kSndMemoryImage, 0);
}

static void StopLocked(SndStream* s) {
  const bool wasPlaying = s->playing;
  if (s->channel >= 0) {
    SndChannel* channel = SndLookupChannel(s->channel);
    if (channel && channel->sample == s->sample) {
      channel->reserved = 0;
      SndStopChannel(s->channel);
    }
  }
  s->playing = false;
  s->decodeBytes = s->readOffset = 0;
  s->channel = -1;
  SndListUnlink(&s->link);
  if (wasPlaying && s->endCallback) s->endCallback(s, s->endUser);
  s->time = 0;
}

int SndStreamPlayEx(int channel, SndStream* s, int frequency, int volume, int pan, const SndVector3* position,
                    const SndVector3* velocity) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!gSnd.initialised || !gStreamer.running) {
    SndFail(kSndErrNotInitialised);
    return -1;
  }
  if (!s) {
    SndFail(kSndErrInvalid);
    return -1;
  }
  if (s->playing) {
    if (!SndIsChannelPlaying(s->channel)) SndPlaySoundSimple(s->channel, s->sample);
    return s->channel;
  }
  if (s->fill == FileFill && s->pendingByteSeek < 0 && s->pendingTimeSeek < 0) SeekBytes(s, s->dataStart, true);
  std::memset(s->sample->data, 0, size_t(s->sample->length) * size_t(s->frameBytes));
  s->decodeBytes = s->readOffset = 0;
  s->finished = false;
  s->playing = true;
  s->endCountdown = -1;
  s->nextSync = 0;
  s->halfToFill = 0;
  FillHalf(s);
  SndListAppend(&gStreamer.playing, &s->link);
  int handle = SndPlaySound(channel, s->sample, frequency, volume, pan, position, velocity);
  if (handle == -1) {
    StopLocked(s);
    SndFail(kSndErrVoiceStart);
    return -1;
  }
  s->channel = handle;
  if (channel >= 0) SndSetChannelReserved(handle, true);
  return handle;
}

int SndStreamPlay(int channel, SndStream* s) { return SndStreamPlayEx(channel, s, -1, -1, -1, nullptr, nullptr); }

bool SndStreamStop(SndStream* s) {
  SndLockGuard guard(gSnd.lock);
  if (!Valid(s)) return false;
  if (!gSnd.initialised) return SndFail(kSndErrNotInitialised);
  StopLocked(s);
  return true;
}

bool SndStreamClose(SndStream* s) {
  SndLockGuard guard(gSnd.lock);
  if (!Valid(s)) return false;
  s->endCallback = nullptr;
  StopLocked(s);
  while (s->units.next != &s->units) {
    auto* unit = reinterpret_cast<SndDspUnit*>(s->units.next);
    SndListUnlink(&unit->link);
    delete unit;
  }
  SndMpegCloseReader(&s->mpeg);
  if (s->file) SndFileClose(s->file);
  if (s->sample) SndFreeSample(s->sample);
  delete s;
  return true;
}

bool SndStreamSetEndCallback(SndStream* s, SndStreamEndCallback callback, void* user) {
  SndLockGuard guard(gSnd.lock);
  if (!Valid(s)) return false;
  s->endCallback = callback;
  s->endUser = user;
  return true;
}

bool SndStreamSetSyncCallback(SndStream* s, SndStreamSyncCallback callback, void* user) {
  SndLockGuard guard(gSnd.lock);
  if (!Valid(s)) return false;
  s->syncCallback = callback;
  s->syncUser = user;
  return true;
}

bool SndStreamSetPaused(SndStream* s, bool paused) {
  SndLockGuard guard(gSnd.lock);
  if (!Valid(s)) return false;
  s->paused = paused;
  if (s->channel >= 0) SndSetChannelPaused(s->channel, paused);
  return true;
}

bool SndStreamGetPaused(SndStream* s) {
  SndLockGuard guard(gSnd.lock);
  return Valid(s) && s->paused;
}

bool SndStreamSetPosition(SndStream* s, uint32_t bytes) {
  SndLockGuard guard(gSnd.lock);
  if (!Valid(s)) return false;
  if (s->fill != FileFill || bytes >= s->dataBytes) return SndFail(kSndErrInvalid);
  s->pendingByteSeek = int64_t(s->dataStart) + bytes;
  return true;
}

uint32_t SndStreamGetPosition(SndStream* s) {
  SndLockGuard guard(gSnd.lock);
  if (!Valid(s) || s->fill != FileFill) return 0;
  return uint32_t(std::max<int64_t>(0, s->filePosition - s->dataStart));
}

bool SndStreamSetTime(SndStream* s, int ms) {
  SndLockGuard guard(gSnd.lock);
  if (!Valid(s)) return false;
  if (s->fill != FileFill || ms < 0 || ms > s->lengthMs) return SndFail(kSndErrInvalid);
  s->pendingTimeSeek = ms;
  return true;
}

int SndStreamGetTime(SndStream* s) {
  SndLockGuard guard(gSnd.lock);
  if (!Valid(s) || !s->sample) return 0;
  return std::max(0, int(s->time));
}

uint32_t SndStreamGetLength(SndStream* s) {
  SndLockGuard guard(gSnd.lock);
  return Valid(s) ? s->dataBytes : 0;
}

int SndStreamGetLengthMs(SndStream* s) {
  SndLockGuard guard(gSnd.lock);
  return Valid(s) ? s->lengthMs : 0;
}

int SndStreamGetFrequency(SndStream* s) {
  SndLockGuard guard(gSnd.lock);
  return Valid(s) ? s->rate : 0;
}

SndSample* SndStreamGetSample(SndStream* s) {
  SndLockGuard guard(gSnd.lock);
  return Valid(s) ? s->sample : nullptr;
}

SndDspUnit* SndStreamCreateDsp(SndStream* s, SndDspCallback callback, int priority, void* user) {
  SndLockGuard guard(gSnd.lock);
  if (!Valid(s)) return nullptr;
  auto* unit = new (std::nothrow) SndDspUnit();
  if (!unit) {
    SndFail(kSndErrMemory);
    return nullptr;
  }
  unit->callback = callback;
  unit->priority = priority;
  unit->user = user;
  SndListInit(&unit->channels);
  SndLink* at = s->units.next;
  while (at != &s->units && reinterpret_cast<SndDspUnit*>(at)->priority <= priority) at = at->next;
  // Insert before `at`.
  unit->link.next = at;
  unit->link.prev = at->prev;
  at->prev->next = &unit->link;
  at->prev = &unit->link;
  return unit;
}
