// WAV files: the RIFF chunk walk (format, data, cue points with their labels, the sampler loop)
// and the loader that fills a sample from PCM or from a compressed format's decoder.
#include <cstdlib>
#include <cstring>
#include <string>

#include "sound/sound_local.h"

// A label of the "adtl" list, applied to its cue point once the whole file has been walked
// (the list may come before the "cue " chunk).
struct CueLabel {
  uint32_t cueId;
  char name[256];
};

static void ReadLabels(SndFile* file, int64_t start, int64_t end, std::vector<CueLabel>* labels) {
  uint8_t header[8];
  int64_t at = start;
  while (at + 8 <= end && SndFileReadAt(file, at, header, 8)) {
    uint32_t size = SndReadU32(header + 4);
    int64_t next = at + 8 + size + (size & 1);
    if (std::memcmp(header, "labl", 4) == 0 && size >= 4 && at + 8 + static_cast<int64_t>(size) <= end) {
      // Labels longer than a name holds are cut to it (files with 1000-byte labels exist).
      uint32_t textBytes = size - 4;
      if (textBytes > 255) textBytes = 255;
      uint8_t block[4 + 255];
      if (!SndFileReadAt(file, at + 8, block, static_cast<int>(4 + textBytes))) break;
      CueLabel label{SndReadU32(block), {}};
      std::memcpy(label.name, block + 4, textBytes);
      labels->push_back(label);
    }
    at = next;
  }
}

// Every count and size is checked against its chunk, and every chunk against the file, so a
// hostile cue count or label size costs no more memory than the file's own bytes.
bool SndParseRiff(SndFile* file, SndWavInfo* info, std::vector<SndSyncPoint>* syncPoints) {
  *info = SndWavInfo{};
  uint8_t header[12];
  if (!SndFileReadAt(file, 0, header, 12) || std::memcmp(header, "RIFF", 4) != 0) {
    return SndFail(kSndErrFileFormat);
  }
  const int64_t fileEnd = SndFileLength(file);
  std::vector<CueLabel> labels;
  bool haveCue = false;
  int64_t at = 12;
  uint8_t chunk[8];
  while (at + 8 <= fileEnd && SndFileReadAt(file, at, chunk, 8)) {
    uint32_t size = SndReadU32(chunk + 4);
    int64_t body = at + 8;
    int64_t available = fileEnd - body;
    int64_t next = body + size + (size & 1);
    if (std::memcmp(chunk, "fmt ", 4) == 0 && !info->haveFormat) {
      if (size < 16 || size > available) return SndFail(kSndErrFileFormat);
      uint8_t format[18 + 256] = {};
      uint32_t readBytes = size < sizeof format ? size : static_cast<uint32_t>(sizeof format);
      if (!SndFileReadAt(file, body, format, static_cast<int>(readBytes))) return SndFail(kSndErrFileFormat);
      info->haveFormat = true;
      info->formatTag = SndReadU16(format);
      info->channels = SndReadU16(format + 2);
      info->rate = SndReadU32(format + 4);
      info->averageBytes = SndReadU32(format + 8);
      info->blockAlign = SndReadU16(format + 12);
      info->bits = SndReadU16(format + 14);
      if (readBytes >= 18) {
        uint32_t extra = SndReadU16(format + 16);
        if (extra > readBytes - 18) extra = readBytes - 18;
        info->extraBytes = static_cast<uint16_t>(extra);
        std::memcpy(info->extra, format + 18, extra);
      }
    } else if (std::memcmp(chunk, "data", 4) == 0 && !info->haveData) {
      info->haveData = true;
      info->dataOffset = body;
      info->dataLength = size;
    } else if (std::memcmp(chunk, "cue ", 4) == 0 && syncPoints && !haveCue && size >= 4 && size <= available) {
      uint8_t countBytes[4];
      if (!SndFileReadAt(file, body, countBytes, 4)) break;
      uint32_t count = SndReadU32(countBytes);
      if (count > (size - 4) / 24) count = (size - 4) / 24;  // no more points than the chunk holds
      haveCue = true;
      syncPoints->assign(count, SndSyncPoint{});
      for (uint32_t i = 0; i < count; i++) {
        uint8_t point[24];
        if (!SndFileReadAt(file, body + 4 + 24 * static_cast<int64_t>(i), point, 24)) break;
        (*syncPoints)[i].cueId = SndReadU32(point);
        (*syncPoints)[i].offset = SndReadU32(point + 20);
      }
    } else if (std::memcmp(chunk, "LIST", 4) == 0 && syncPoints && size >= 4) {
      uint8_t form[4];
      int64_t end = body + (size <= available ? size : available);
      if (SndFileReadAt(file, body, form, 4) && std::memcmp(form, "adtl", 4) == 0) {
        ReadLabels(file, body + 4, end, &labels);
      }
    } else if (std::memcmp(chunk, "smpl", 4) == 0 && !info->haveLoop) {
      // The first loop's start and end sit at 44 and 48; a chunk too short to hold them, or
      // one that says it has no loops, gives none.
      uint8_t sampler[52];
      if (size >= 52 && size <= available && SndFileReadAt(file, body, sampler, 52) && SndReadU32(sampler + 28) >= 1) {
        info->loopStart = SndReadU32(sampler + 44);
        info->loopEnd = SndReadU32(sampler + 48);
        info->haveLoop = info->loopStart != 0 || info->loopEnd != 0;
      }
    }
    at = next;
  }
  if (syncPoints) {
    for (const CueLabel& label : labels) {
      for (SndSyncPoint& point : *syncPoints) {
        if (point.cueId == label.cueId) std::memcpy(point.name, label.name, sizeof point.name);
      }
    }
  }
  if (!info->haveFormat) return SndFail(kSndErrFileFormat);
  return info->haveData;
}

// Frees a half-built sample and records why (in words too, when the file is at fault).
static SndSample* FailLoad(SndSample* sample, int error, const std::string& why = "") {
  if (sample) SndFreeSample(sample);
  if (why.empty()) {
    SndFail(error);
  } else {
    SndRefuseFile(error, why);
  }
  return nullptr;
}

SndSample* SndLoadWavSample(int index, SndFile* file, uint32_t mode) {
  SndWavInfo info;
  if (!SndParseRiff(file, &info, nullptr)) {
    uint8_t header[4] = {};
    if (!SndFileReadAt(file, 0, header, 4) || std::memcmp(header, "RIFF", 4) != 0) {
      SndRefuseFile(kSndErrFileFormat, "not a RIFF file");
    } else {
      SndRefuseFile(kSndErrFileFormat, info.haveFormat ? "WAV without a data chunk" : "WAV without a readable format chunk");
    }
    return nullptr;
  }
  // The data length is checked against the file before anything is allocated for it.
  int64_t fileEnd = SndFileLength(file);
  if (info.dataLength == 0) return FailLoad(nullptr, kSndErrFileData, "WAV data chunk is empty");
  if (static_cast<int64_t>(info.dataLength) > fileEnd - info.dataOffset) {
    return FailLoad(nullptr, kSndErrFileData,
                    "WAV data chunk of " + std::to_string(info.dataLength) + " bytes runs past the end of the file");
  }
  if (info.dataLength > 0x7FFFFFFFu) return FailLoad(nullptr, kSndErrMemory);
  SndWavDecoder decoder;
  if (!SndOpenWav(info, info.dataLength, &decoder)) return nullptr;
  const uint32_t frameBytes = static_cast<uint32_t>(decoder.channels * decoder.bits / 8);
  const uint64_t frames64 = decoder.decodedBytes / frameBytes;
  if (frames64 == 0) return FailLoad(nullptr, kSndErrFileData, "WAV data shorter than one frame");
  if (frames64 > 0x7FFFFFFFu / frameBytes) return FailLoad(nullptr, kSndErrMemory);
  const int frames = static_cast<int>(frames64);
  const uint32_t bytes = static_cast<uint32_t>(frames64) * frameBytes;

  mode &= ~(kSndUnsigned | kSndSigned | kSnd8Bits | kSnd16Bits | kSndMono | kSndStereo);
  mode |= decoder.bits == 8 ? (kSnd8Bits | kSndUnsigned) : (kSnd16Bits | kSndSigned);
  mode |= decoder.channels == 1 ? kSndMono : kSndStereo;
  SndSample* sample = SndCreateSample(index, frames, mode, static_cast<int>(info.rate), 255,
                                      decoder.channels == 2 ? -1 : 128, 255);
  if (!sample) return nullptr;

  void *first, *second;
  uint32_t firstLength, secondLength;
  if (!SndLockSample(sample, 0, static_cast<int>(bytes), &first, &second, &firstLength, &secondLength) ||
      firstLength < bytes) {
    return FailLoad(sample, kSndErrMemory);
  }
  auto* destination = static_cast<uint8_t*>(first);
  if (decoder.codec == kSndWavPcm) {
    if (SndFileSeek(file, info.dataOffset, 0) != 0 || SndFileRead(destination, static_cast<int>(bytes), file) != static_cast<int>(bytes)) {
      return FailLoad(sample, kSndErrFileData);
    }
    if (decoder.bits == 8) {
      for (uint32_t i = 0; i < bytes; i++) destination[i] ^= 0x80;  // WAV 8-bit is unsigned
    }
  } else {
    auto* block = static_cast<uint8_t*>(std::malloc(info.dataLength));
    if (!block) return FailLoad(sample, kSndErrMemory);
    bool ok = SndFileSeek(file, info.dataOffset, 0) == 0 &&
              SndFileRead(block, static_cast<int>(info.dataLength), file) == static_cast<int>(info.dataLength) &&
              SndAcmConvert(decoder, block, info.dataLength, destination);
    std::free(block);
    if (!ok) return FailLoad(sample, kSndErrFileData, "WAV sound data that its format cannot hold");
  }
  SndUnlockSample(sample, first, second, firstLength, secondLength);

  // The sampler loop, when it names one inside the sample; otherwise the whole sample.
  if (info.haveLoop && info.loopStart < info.loopEnd && info.loopEnd < static_cast<uint32_t>(frames)) {
    SndSetSampleLoopPoints(sample, static_cast<int>(info.loopStart), static_cast<int>(info.loopEnd));
    SndSetSampleLoopMode(sample, kSndLoopNormal);
  }
  SndFail(kSndErrNone);
  return sample;
}
