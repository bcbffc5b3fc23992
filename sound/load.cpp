// Loading samples from files and memory images: the format table (WAV, then MPEG audio), raw
// PCM, and the public load entry points over the file layer.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sound/sound_local.h"

using SndLoadRoutine = SndSample* (*)(int index, SndFile* file, uint32_t mode);

// A WAV file for the WAV loader: RIFF "WAVE" whose format is not MPEG audio (an MP3 inside a
// RIFF file belongs to the MPEG loader). Leaves the error word as it found it.
static bool TestWav(SndFile* file) {
  uint8_t header[12];
  if (!SndFileReadAt(file, 0, header, 12) || std::memcmp(header, "RIFF", 4) != 0 ||
      std::memcmp(header + 8, "WAVE", 4) != 0) {
    return false;
  }
  int error = SndGetError();
  SndWavInfo info;
  SndParseRiff(file, &info, nullptr);
  SndFail(error);
  return !info.haveFormat || (info.formatTag != 0x50 && info.formatTag != 0x55);
}

// The MPEG loader's own probe decides (it searches past tags for a frame).
static bool TestMpeg(SndFile*) { return true; }

// The formats in the order they are tried; the first whose test accepts a file loads it.
static const struct {
  const char* name;
  bool (*Test)(SndFile* file);
  SndLoadRoutine Load;
} kFormats[] = {
    {"WAV", TestWav, SndLoadWavSample},
    {"MPEG audio", TestMpeg, SndLoadMpegSample},
};

static SndSample* LoadByFormat(int index, SndFile* file, uint32_t mode) {
  for (const auto& format : kFormats) {
    if (!format.Test(file)) continue;
    SndSample* sample = format.Load(index, file, mode);
    if (!sample && SndGetError() == kSndErrFileFormat) SndRefuseFile(kSndErrFileFormat, "neither a WAV nor an MPEG audio file");
    return sample;
  }
  SndFail(kSndErrFileFormat);
  return nullptr;
}

// Raw PCM: the whole file is sample data in the format the mode names.
static SndSample* LoadRaw(int index, SndFile* file, uint32_t mode, const char* name) {
  int64_t bytes = SndFileLength(file);
  int64_t frameBytes = ((mode & kSnd16Bits) ? 2 : 1) * ((mode & kSndStereo) ? 2 : 1);
  if (bytes <= 0 || bytes / frameBytes == 0) {
    SndFail(kSndErrFileData);
    return nullptr;
  }
  if (bytes > INT_MAX) {
    SndFail(kSndErrMemory);
    return nullptr;
  }
  int frames = static_cast<int>(bytes / frameBytes);
  SndSample* sample = SndCreateSample(index, frames, mode, 44100, 255, 128, 255);
  if (!sample) return nullptr;
  std::snprintf(sample->name, sizeof sample->name, "%s", name);
  auto* data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes)));
  if (!data) {
    SndFreeSample(sample);
    SndFail(kSndErrMemory);
    return nullptr;
  }
  bool ok = SndFileSeek(file, 0, 0) == 0 && SndFileRead(data, static_cast<int>(bytes), file) == static_cast<int>(bytes);
  ok = ok && SndUploadSampleSized(sample, data, static_cast<uint32_t>(bytes), mode);
  std::free(data);
  if (!ok) {
    SndFreeSample(sample);
    SndFail(kSndErrFileData);
    return nullptr;
  }
  return sample;
}

// Why the last load failed for lack of a library, and why it refused its file; loads run on
// the caller's thread.
static thread_local std::string gLibraryProblem;
static thread_local std::string gLoadProblem;

void SndNoteLibraryProblem(const std::string& problem) { gLibraryProblem = problem; }
std::string SndLibraryProblem() { return gLibraryProblem; }

bool SndRefuseFile(int error, const std::string& why) {
  if (gLoadProblem.empty()) gLoadProblem = why;
  return SndFail(error);
}
std::string SndLoadProblem() { return gLoadProblem; }

// Opens the name or image, runs the loader (null: by format; raw when the mode says so) and
// closes the file again.
static SndSample* LoadThrough(int index, const void* source, uint32_t mode, int length, SndLoadRoutine loader) {
  SndEnter();
  gLibraryProblem.clear();
  gLoadProblem.clear();
  const bool memory = (mode & kSndMemoryImage) != 0;
  if (!source || (memory && length < 1)) {
    SndFail(kSndErrInvalid);
    return nullptr;
  }
  SndFile* file = SndFileOpen(source, memory ? kSndFileMemory : kSndFileDisk, memory ? length : 0);
  if (!file) {
    SndFail(kSndErrFileOpen);
    return nullptr;
  }
  if (!gSnd.driver || !gSnd.driver->hardwareVoices) mode &= ~kSndHardware;
  SndSample* sample;
  if (mode & kSndRaw) {
    sample = LoadRaw(index, file, mode, memory ? "Memory file" : static_cast<const char*>(source));
  } else {
    sample = loader ? loader(index, file, mode) : LoadByFormat(index, file, mode);
  }
  SndFileClose(file);
  return sample;
}

SndSample* SndLoadSample(int index, const void* nameOrImage, uint32_t mode, int length) {
  return LoadThrough(index, nameOrImage, mode, length, nullptr);
}

SndSample* SndLoadRawSample(int index, const char* name, uint32_t mode) {
  return LoadThrough(index, name, (mode | kSndRaw) & ~kSndMemoryImage, 0, nullptr);
}

SndSample* SndLoadWavFile(int index, const char* name, uint32_t mode) {
  return LoadThrough(index, name, mode & ~(kSndMemoryImage | kSndRaw), 0, SndLoadWavSample);
}

SndSample* SndLoadWavMemory(int index, const void* image, uint32_t mode, int length) {
  return LoadThrough(index, image, (mode | kSndMemoryImage) & ~kSndRaw, length, SndLoadWavSample);
}

SndSample* SndLoadMpegFile(int index, const char* name, uint32_t mode) {
  return LoadThrough(index, name, mode & ~(kSndMemoryImage | kSndRaw), 0, SndLoadMpegSample);
}

SndSample* SndLoadMpegMemory(int index, const void* image, uint32_t mode, int length) {
  return LoadThrough(index, image, (mode | kSndMemoryImage) & ~kSndRaw, length, SndLoadMpegSample);
}
