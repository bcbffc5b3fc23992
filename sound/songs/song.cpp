// The song record: loading through the format chain, play/stop/free, the voices a song takes
// from the library, the four position-callback queues and the music unit that ticks and mixes.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "sound/songs/songs_local.h"

// Songs the library knows: every loaded song (for sample forgetting and shut-down) and the
// playing ones the music unit walks. Both live for the process; guarded by the library lock.
struct SongLists {
  SndLink loaded;
  SndLink playing;
  uint64_t block = 0;        // music-unit passes so far
  bool dispatching = false;  // inside the music unit: frees are deferred to its end
  SndLink deferred;          // songs freed from a callback, released after the pass
  bool ready = false;
};
static SongLists gSongs;

static SndSong* SongOf(SndLink* l, bool all) {
  return reinterpret_cast<SndSong*>(reinterpret_cast<uint8_t*>(l) - (all ? offsetof(SndSong, allLink) : offsetof(SndSong, link)));
}

static void EnsureLists() {
  if (gSongs.ready) return;
  SndListInit(&gSongs.loaded);
  SndListInit(&gSongs.playing);
  SndListInit(&gSongs.deferred);
  gSongs.ready = true;
}

int SongClamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

static bool Fail(int error) { return SndFail(error); }

// --- Samples ---

void SongSetSampleAttributes(SndSample* s, int volume, int pan, bool hasPan, int global, int relNote, int finetune) {
  s->trackerValues[1] = static_cast<uint32_t>(volume & 0xFF) | static_cast<uint32_t>(pan & 0xFF) << 8 |
                        static_cast<uint32_t>(global & 0xFF) << 16 | (hasPan ? 1u << 24 : 0u);
  s->trackerValues[3] = static_cast<uint32_t>(static_cast<uint8_t>(relNote)) | static_cast<uint32_t>(static_cast<uint8_t>(finetune)) << 8;
  s->trackerFlags[0] = 1;  // carries tracker attributes
}

bool SongSamplePlayable(const SndSample* s) { return s && s->data && s->length > 0; }

SndSample* SongCreateSample(SndSong* song, int index, uint32_t length, uint32_t mode) {
  mode |= kSnd2D;
  SndSample* s = nullptr;
  if (length == 0 || length > 0x7FFFFFF0u) {
    s = SndCreateSampleRecord(-2, mode);
  } else {
    s = SndCreateSample(-2, static_cast<int>(length), mode, 8363, 255, 128, 255);
  }
  if (!s) return nullptr;
  s->songSample = 1;
  s->inSong = 1;
  s->defaultPriority = 255;
  SongSetSampleAttributes(s, 64, 128, false, 64, 0, 0);
  song->samples[index] = s;
  return s;
}

// Uploads `bytes` of file data; a file cut short leaves the rest silent.
bool SongUploadSample(SndSample* s, const uint8_t* data, uint32_t bytes, uint32_t mode) {
  if (!SongSamplePlayable(s)) return true;
  if (mode & (kSndIt214 | kSndIt215)) return SndUploadSampleSized(s, data, bytes, mode);
  size_t need = static_cast<size_t>(s->length) * ((mode & kSnd16Bits) ? 2 : 1);
  if (bytes >= need) return SndUploadSample(s, data, mode);
  std::vector<uint8_t> padded(need, 0);
  if (bytes) std::memcpy(padded.data(), data, bytes);
  if ((mode & kSndUnsigned) && !(mode & kSnd16Bits)) std::memset(padded.data() + bytes, 0x80, need - bytes);
  return SndUploadSample(s, padded.data(), mode);
}

uint32_t SongAdpcmBytes(uint32_t frames) { return 16 + frames / 2 + (frames & 1); }

uint32_t SongAdpcmFrames(size_t bytes) {
  if (bytes <= 16) return 0;
  size_t frames = (bytes - 16) * 2;
  return frames > 0x7FFFFFF0u ? 0x7FFFFFF0u : static_cast<uint32_t>(frames);
}

bool SongUploadAdpcm(SndSample* s, const uint8_t* data, uint32_t bytes) {
  if (!SongSamplePlayable(s)) return true;
  std::vector<uint8_t> frames(s->length, 0);
  if (data && bytes > 16) {
    const int8_t* table = reinterpret_cast<const int8_t*>(data);
    uint32_t packed = bytes - 16;
    int8_t value = 0;
    for (uint32_t i = 0; i < s->length && i / 2 < packed; i++) {
      uint8_t b = data[16 + i / 2];
      // Wraps as the 8-bit sum does in the players that wrote and read these samples.
      value = static_cast<int8_t>(value + table[(i & 1) ? b >> 4 : b & 15]);
      frames[i] = static_cast<uint8_t>(value);
    }
  }
  return SndUploadSample(s, frames.data(), kSnd8Bits | kSndSigned);
}

void SongSetLoop(SndSample* s, uint32_t start, uint32_t length, uint32_t mode, uint32_t shortest) {
  uint32_t total = s->length;
  // Checked by subtraction: a start and a length near 2^32 must not wrap into a short loop.
  if (start >= total) length = 0;
  if (length > total - start) length = total - start;
  if (mode == kSndLoopOff || length == 0 || length < shortest) {
    s->loopStart = 0;
    s->loopLength = total;
    s->loopMode = kSndLoopOff;
    return;
  }
  s->loopStart = start;
  s->loopLength = length;
  s->loopMode = static_cast<uint8_t>(mode);
}

bool SongAllocPatterns(SndSong* song, int slots) {
  song->patterns = static_cast<SongPattern*>(std::calloc(static_cast<size_t>(slots) + 1, sizeof(SongPattern)));
  if (!song->patterns) return Fail(kSndErrMemory);
  song->patternSlots = slots;
  for (int i = 0; i < slots; i++) song->patterns[i].rows = 64;
  return true;
}

bool SongAllocSamples(SndSong* song, int count) {
  song->samples = static_cast<SndSample**>(std::calloc(static_cast<size_t>(count) + 1, sizeof(SndSample*)));
  if (!song->samples) return Fail(kSndErrMemory);
  song->sampleCount = count;
  return true;
}

// --- Tempo and finetune ---

void SndSetSongTempo(SndSong* song, int tempo) {
  if (tempo < 1) tempo = 1;
  song->tempo = tempo;
  float x = static_cast<float>(2 * tempo) / 5.0f;
  int rate = gSnd.mixRate > 0 ? gSnd.mixRate : 44100;
  song->samplesPerTick = static_cast<int>(rate * (1000.0 / static_cast<double>(x)) / 1000.0);
  if (song->samplesPerTick < 1) song->samplesPerTick = 1;
}

int SndModFinetuneToFrequency(int finetune) {
  static const int kFrequencies[16] = {8363, 8413, 8463, 8529, 8581, 8651, 8723, 8757,
                                       7895, 7941, 7985, 8046, 8107, 8169, 8232, 8280};
  return finetune >= 0 && finetune < 16 ? kFrequencies[finetune] : 8363;
}

// --- Voices ---

static void InitVoice(SndSongVoice* v, SndSongChannel* owner, SndChannel* channel) {
  std::memset(reinterpret_cast<uint8_t*>(v) + sizeof(SndLink), 0, sizeof(SndSongVoice) - sizeof(SndLink));
  v->owner = owner;
  v->channel = channel;
  v->fadeVolume = 65536;
  v->pan = 128;
  v->env[0].current = 64;
  v->env[1].current = 32;
}

int SongPlayingChannels() {
  int playing = 0;
  for (int i = 0; i < gSnd.totalChannels; i++) playing += gSnd.channels[i].sample != nullptr;
  return playing;
}

// Takes a software channel for the song: a free one, else the lowest priority one that no one
// has reserved. Null when every channel is reserved.
SndSongVoice* SndAllocSongVoice(SndSong* song, SndSongChannel* channel) {
  if (!song->voices) return nullptr;
  int candidate = -1, best = 256;
  for (int i = gSnd.softwareRange[0]; i <= gSnd.softwareRange[1] && i < song->voiceCount; i++) {
    SndChannel* c = &gSnd.channels[i];
    if (c->reserved) continue;
    if (!c->sample) {
      candidate = i;
      break;
    }
    if (c->priority < best) {
      best = c->priority;
      candidate = i;
    }
  }
  if (candidate < 0) return nullptr;
  SndChannel* c = &gSnd.channels[candidate];
  if (c->sample) {
    c->ops.Stop(c);
    c->sample = nullptr;
    c->priority = 0;
  }
  c->reserved = 1;
  SndSongVoice* v = &song->voices[candidate];
  InitVoice(v, channel, c);
  v->inUse = true;
  // Head of the channel's list: the newest voice is the foreground one.
  v->link.next = channel->voices.next;
  v->link.prev = &channel->voices;
  channel->voices.next->prev = &v->link;
  channel->voices.next = &v->link;
  return v;
}

void SongStopVoiceNow(SndSongVoice* v) {
  SndChannel* c = v->channel;
  if (!c || !c->sample) return;
  c->ops.Stop(c);
  c->sample = nullptr;
  c->priority = 0;
}

static void FreeVoice(SndSongVoice* v) {
  if (v->channel) v->channel->reserved = 0;
  SndListUnlink(&v->link);
  v->inUse = false;
}

void SndReleaseSongVoice(SndSong*, SndSongVoice* v) {
  if (!v->channel || v->channel->sample) return;
  FreeVoice(v);
}

// --- Callback queues ---

static int RingMs() {
  if (gSndMixer.blockLength <= 0) return 25;
  return gSndMixer.mixBufferLength / gSndMixer.blockLength * 25;
}

void SndQueueSongCallback(SndSong* song, int queue, int value) {
  SongCallbackQueue& q = song->queues[queue];
  if (!q.callback) return;
  int step = q.step > 0 ? q.step : 1;
  if (queue == kQueueRow && song->row % step != 0) return;
  if (queue == kQueueOrder && song->order % step != 0) return;
  // A full ring keeps what it has: the new entry is dropped rather than overwrite one not yet
  // delivered (a song making more than 256 events per output buffer).
  if (q.due[q.write] != -1) return;
  q.due[q.write] = song->clock + RingMs() - 25;
  q.values[q.write] = static_cast<uint8_t>(value);
  q.write = (q.write + 1) & 255;
}

static void ClearQueues(SndSong* song) {
  for (SongCallbackQueue& q : song->queues) {
    for (int32_t& d : q.due) d = -1;
    std::memset(q.values, 0, sizeof q.values);
    q.read = q.write = 0;
  }
}

// Entries fire once due <= clock: a due time that falls inside a block fires at that block.
static void RunQueues(SndSong* song) {
  static const int kOrder[4] = {kQueueRow, kQueueOrder, kQueueSync, kQueueInstrument};
  for (int k : kOrder) {
    SongCallbackQueue& q = song->queues[k];
    while (q.due[q.read] != -1 && static_cast<int32_t>(song->clock - q.due[q.read]) >= 0) {
      int value = q.values[q.read];
      q.due[q.read] = -1;
      q.read = (q.read + 1) & 255;
      if (q.callback) q.callback(song, value);
      if (!song->playing) return;
    }
  }
}

// --- The music unit ---

static int FrameBytes() { return 4 << gSndMixer.frameShift; }

void SndSongsMix(void* buffer, int frames) {
  EnsureLists();
  gSongs.block++;
  gSongs.dispatching = true;
  for (;;) {
    SndSong* song = nullptr;
    for (SndLink* l = gSongs.playing.next; l != &gSongs.playing; l = l->next) {
      SndSong* s = SongOf(l, false);
      if (s->mixedBlock != gSongs.block) {
        song = s;
        break;
      }
    }
    if (!song) break;
    song->mixedBlock = gSongs.block;
    if (!song->playing || song->paused) continue;
    if (song->midi) {
      SndMidiMix(song, buffer, frames);  // sets the clock of the block's start
    } else {
      if (!song->update) continue;
      RunQueues(song);
      if (!song->playing || song->paused) continue;
      int done = 0;
      while (done < frames) {
        if (song->samplesLeft <= 0) {
          song->update(song);
          song->samplesLeft = song->samplesPerTick;
        }
        int n = frames - done < song->samplesLeft ? frames - done : song->samplesLeft;
        if (song->unit && song->unit->channels.next != &song->unit->channels) {
          gSndMixer.mix(static_cast<uint8_t*>(buffer) + static_cast<size_t>(done) * FrameBytes(), &song->unit->channels, n);
        }
        done += n;
        song->samplesLeft -= n;
      }
    }
    if (song->history && song->historyLength > 0) {
      SongHistory& h = song->history[song->historyIndex];
      h.order = static_cast<uint8_t>(song->order);
      h.row = static_cast<uint8_t>(song->row);
      h.clock = song->clock;
      song->historyIndex = (song->historyIndex + 1) % song->historyLength;
    }
    if (!song->midi) song->clock += 25;
  }
  gSongs.dispatching = false;
  while (gSongs.deferred.next != &gSongs.deferred) {
    SndSong* s = SongOf(gSongs.deferred.next, false);
    SndListUnlink(&s->link);
    SndFreeSong(s);
  }
}

// --- Record life ---

static void FreeContents(SndSong* song) {
  if (song->samples) {
    for (int i = 0; i < song->sampleCount; i++) {
      SndSample* s = song->samples[i];
      if (!s) continue;
      s->inSong = 0;
      if (s->trackerFlags[1] & 0x80) continue;  // not the song's: given by SndSetSongSample
      SndFreeSample(s);
    }
  }
  std::free(song->samples);
  song->samples = nullptr;
  if (song->patterns) {
    for (int i = 0; i < song->patternSlots; i++) std::free(song->patterns[i].data);
  }
  std::free(song->patterns);
  song->patterns = nullptr;
  delete[] song->instruments;
  song->instruments = nullptr;  SndMidiFree(song);
}

static void ResetRecord(SndSong* song) {
  SndLink allLink = song->allLink;
  std::memset(static_cast<void*>(song), 0, sizeof(SndSong));
  song->allLink = allLink;
  SndListInit(&song->link);
  song->cullChannels = gSnd.totalChannels;
  song->panSeparation = 1.0f;
  song->nextOrder = song->nextRow = -1;
  ClearQueues(song);
}

static SndSong* LoadImage(const void* image, size_t bytes) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  EnsureLists();
  if (!image || bytes == 0) {
    SndFail(kSndErrFileOpen);
    return nullptr;
  }
  auto* song = static_cast<SndSong*>(std::calloc(1, sizeof(SndSong)));
  if (!song) {
    SndFail(kSndErrMemory);
    return nullptr;
  }
  SndListInit(&song->allLink);
  ResetRecord(song);
  using Loader = bool (*)(SndSong*, SongReader&);
  static const Loader kLoaders[] = {SndLoadMod, SndLoadS3m, SndLoadXm, SndLoadIt, SndLoadMidi};
  bool loaded = false;
  int error = kSndErrFileFormat;
  for (Loader load : kLoaders) {
    SongReader reader(image, bytes);
    gSnd.error.store(0, std::memory_order_relaxed);
    if (load(song, reader)) {
      loaded = true;
      error = SndGetError();
      break;
    }
    error = SndGetError() ? SndGetError() : kSndErrFileFormat;
    FreeContents(song);
    ResetRecord(song);
    // Only an unrecognised signature lets the next format try; a damaged file of a known kind
    // is refused with its own reason.
    if (error != kSndErrFileFormat) break;
  }
  if (!loaded) {
    std::free(song);
    SndFail(error);
    return nullptr;
  }
  SndListAppend(&gSongs.loaded, &song->allLink);
  gSnd.error.store(error, std::memory_order_relaxed);
  return song;
}

// A MIDI song's synthesizer is made with the song, outside the lock (its soundfont takes a
// while to load): a program waits at its load, and playing starts at once.
SndSong* SndLoadSongFromMemory(const void* image, size_t bytes) {
  SndNoteLibraryProblem("");
  SndSong* song = LoadImage(image, bytes);
  if (song != nullptr && song->type == kSndSongMidi && !SndMidiPrepare(song)) {
    const int error = SndGetError();
    SndFreeSong(song);
    SndFail(error);
    return nullptr;
  }
  return song;
}

// Reads the whole file through the library's file layer (package, user routines or disk), then
// loads the image: every loader works on a bounded memory image.
SndSong* SndLoadSong(const char* fileName) {
  SndEnter();
  SndNoteLibraryProblem("");
  if (!fileName) {
    SndFail(kSndErrInvalid);
    return nullptr;
  }
  SndFile* file = SndFileOpen(fileName, kSndFileDisk, 0);
  if (!file) {
    SndFail(kSndErrFileOpen);
    return nullptr;
  }
  int64_t length = SndFileLength(file);
  std::vector<uint8_t> bytes;
  if (length > 0 && length < (int64_t{1} << 31)) {
    bytes.resize(static_cast<size_t>(length));
    SndFileSeek(file, 0, 0);
    size_t done = 0;
    while (done < bytes.size()) {
      int chunk = static_cast<int>(bytes.size() - done < (1u << 20) ? bytes.size() - done : (1u << 20));
      int n = SndFileRead(bytes.data() + done, chunk, file);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    bytes.resize(done);
  }
  SndFileClose(file);
  if (bytes.empty()) {
    SndFail(kSndErrFileFormat);
    return nullptr;
  }
  SndSong* song = SndLoadSongFromMemory(bytes.data(), bytes.size());
  // A MIDI song is named after its file (cut to the name field, always terminated).
  if (song != nullptr && song->type == kSndSongMidi) std::snprintf(song->name, sizeof song->name, "%s", fileName);
  return song;
}

bool SndStopSong(SndSong* song) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!song) return Fail(kSndErrInvalid);
  SndListUnlink(&song->link);
  song->playing = false;
  if (song->channels) {
    for (int c = 0; c < song->channelCount; c++) {
      SndSongChannel* ch = &song->channels[c];
      while (ch->voices.next != &ch->voices) {
        SndSongVoice* v = VoiceOf(ch->voices.next);
        SongStopVoiceNow(v);
        FreeVoice(v);
      }
    }
  }
  if (song->unit) {
    SndFreeDspUnit(song->unit);  // stops anything still in its list
    song->unit = nullptr;
  }
  delete[] song->channels;
  song->channels = nullptr;
  std::free(song->voices);
  song->voices = nullptr;
  song->voiceCount = 0;
  return true;
}

bool SndStopAllSongs() {
  SndLockGuard guard(gSnd.lock);
  EnsureLists();
  while (gSongs.playing.next != &gSongs.playing) SndStopSong(SongOf(gSongs.playing.next, false));
  return true;
}

bool SndFreeSong(SndSong* song) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!song) return Fail(kSndErrInvalid);
  SndStopSong(song);
  if (gSongs.dispatching) {
    // Freed from one of its callbacks: the music unit still walks the list, so the record
    // stays until the pass ends.
    if (!song->pendingFree) {
      song->pendingFree = true;
      SndListAppend(&gSongs.deferred, &song->link);
    }
    return true;
  }
  FreeContents(song);
  SndListUnlink(&song->allLink);
  std::free(song->history);
  std::free(song);
  return true;
}

bool SndPlaySong(SndSong* song) {
  SndEnter();
  // A MIDI song's synthesizer is made outside the lock: loading its soundfont takes a while.
  if (song && song->type == kSndSongMidi && !SndMidiPrepare(song)) return false;
  SndLockGuard guard(gSnd.lock);
  if (!song || song->pendingFree) return Fail(kSndErrInvalid);
  if (!gSnd.initialised || !gSndMixer.mixMemory) return Fail(kSndErrNotInitialised);
  SndStopSong(song);
  song->paused = false;
  song->globalVolume = song->initialGlobalVolume;
  song->speed = song->defaultSpeed;
  song->row = song->order = 0;
  song->nextRow = song->nextOrder = 0;
  song->samplesLeft = song->tick = song->patternDelay = song->finePatternDelay = 0;
  song->finished = false;
  song->clock = 0;
  song->tickCount = 0;
  ClearQueues(song);
  int historyLength = gSndMixer.blockLength > 0 ? gSndMixer.mixBufferLength / gSndMixer.blockLength : 1;
  if (historyLength != song->historyLength || !song->history) {
    std::free(song->history);
    song->history = static_cast<SongHistory*>(std::calloc(static_cast<size_t>(historyLength), sizeof(SongHistory)));
    if (!song->history) return Fail(kSndErrMemory);
    song->historyLength = historyLength;
  }
  std::memset(song->history, 0, sizeof(SongHistory) * static_cast<size_t>(historyLength));
  song->channels = new (std::nothrow) SndSongChannel[static_cast<size_t>(song->channelCount) + 1]();
  song->voiceCount = gSnd.totalChannels;
  song->voices = static_cast<SndSongVoice*>(std::calloc(static_cast<size_t>(song->voiceCount) + 1, sizeof(SndSongVoice)));
  song->unit = SndCreateDspUnit(nullptr, 200, song);
  // The unit only holds the voice list the music unit mixes; out of the chain, the chain walk
  // never meets it, so a callback may free it in the middle of a block.
  if (song->unit) SndListUnlink(&song->unit->link);
  if (!song->channels || !song->voices || !song->unit) {
    SndStopSong(song);
    return Fail(kSndErrMemory);
  }
  for (int i = 0; i < song->voiceCount; i++) SndListInit(&song->voices[i].link);
  for (int c = 0; c < song->channelCount; c++) {
    SndSongChannel* ch = &song->channels[c];
    SndListInit(&ch->voices);
    SndListInit(&ch->dummy.link);
    InitVoice(&ch->dummy, ch, nullptr);
    ch->channelVolume = c < 64 ? song->defaultVolume[c] : 64;
    ch->pan = c < 64 ? song->defaultPan[c] : 128;
    ch->lastEffect = -1;
  }
  if (song->start) song->start(song);
  SndSetSongTempo(song, song->defaultTempo);
  song->mixedBlock = 0;
  SndListAppend(&gSongs.playing, &song->link);
  song->playing = true;
  song->historyIndex = gSndMixer.writeBlock % historyLength;
  return true;
}

// --- Setters ---

template <class F>
static bool WithSong(SndSong* song, F f) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!song) return Fail(kSndErrInvalid);
  f(song);
  return true;
}

// Pausing is a flag the music unit reads: a paused song is not ticked or rendered, so pausing
// twice is pausing once, and a resume continues where the song stopped without starting it
// again (a MIDI song keeps its synthesizer, its voices held, while paused).
bool SndPauseSong(SndSong* song, bool paused) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!song) return Fail(kSndErrInvalid);
  if (song->type == kSndSongMidi && !song->midi) return Fail(kSndErrFileData);
  song->paused = paused;
  return true;
}
bool SndSetSongVolume(SndSong* song, int volume) {
  return WithSong(song, [&](SndSong* s) { s->masterVolume = SongClamp(volume, 0, 256); });
}
bool SndSetSongPanSeparation(SndSong* song, float separation) {
  return WithSong(song, [&](SndSong* s) {
    s->panSeparation = !(separation >= 0.0f) ? 0.0f : separation > 1.0f ? 1.0f : separation;
  });
}
bool SndSetSongOrder(SndSong* song, int order) {
  return WithSong(song, [&](SndSong* s) {
    s->nextOrder = SongClamp(order, 0, s->length > 0 ? s->length - 1 : 0);
    s->nextRow = 0;
    s->tick = 0;
  });
}
bool SndSetSongVoiceCulling(SndSong* song, int channels, int volume) {
  return WithSong(song, [&](SndSong* s) {
    s->cullChannels = channels < 0 ? 0 : channels;
    s->cullVolume = volume < 0 ? 0 : volume;
  });
}
bool SndSetSongSyncCallback(SndSong* song, SndSongCallback cb) {
  return WithSong(song, [&](SndSong* s) { s->queues[kQueueSync].callback = cb; });
}
static bool SetStepCallback(SndSong* song, int queue, SndSongCallback cb, int step) {
  if (step < 0) {
    SndEnter();
    return Fail(kSndErrInvalid);
  }
  return WithSong(song, [&](SndSong* s) {
    s->queues[queue].callback = cb;
    s->queues[queue].step = step;
  });
}
bool SndSetSongRowCallback(SndSong* song, SndSongCallback cb, int step) { return SetStepCallback(song, kQueueRow, cb, step); }
bool SndSetSongOrderCallback(SndSong* song, SndSongCallback cb, int step) { return SetStepCallback(song, kQueueOrder, cb, step); }
bool SndSetSongInstrumentCallback(SndSong* song, SndSongCallback cb, int instrument) {
  if (instrument < 0) {
    SndEnter();
    return Fail(kSndErrInvalid);
  }
  return WithSong(song, [&](SndSong* s) {
    s->queues[kQueueInstrument].callback = cb;
    s->watchedInstrument = instrument;
    s->instrumentWatch = cb != nullptr;
  });
}

// Replaces a song's sample. Voices are pointed at the new sample before the old one is freed,
// so no voice can start a freed sample.
bool SndSetSongSample(SndSong* song, int index, SndSample* sample) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!song || index < 0 || song->type == kSndSongMidi) return Fail(kSndErrInvalid);
  if (index >= song->sampleCount) {
    auto* grown = static_cast<SndSample**>(std::realloc(song->samples, (static_cast<size_t>(index) + 2) * sizeof(SndSample*)));
    if (!grown) return Fail(kSndErrMemory);
    for (int i = song->sampleCount; i <= index + 1; i++) grown[i] = nullptr;
    song->samples = grown;
    song->sampleCount = index + 1;
  }
  SndSample* old = song->samples[index];
  if (old == sample) return true;
  if (sample) {
    sample->songSample = 1;
    sample->inSong = 1;
    sample->trackerFlags[1] |= 0x80;  // the caller's: the song never frees it
  }
  if (old && sample) {
    sample->trackerValues[0] = old->trackerValues[0];
    sample->trackerValues[1] = old->trackerValues[1];
    sample->trackerValues[2] = old->trackerValues[2];
    sample->trackerValues[3] = old->trackerValues[3];
    sample->trackerFlags[0] = 1;
    sample->trackerFlags[1] = static_cast<uint8_t>((old->trackerFlags[1] & 0x7F) | 0x80);
    if (old->length > 0 && sample->length > 0) {
      uint32_t start = old->loopStart < sample->length ? old->loopStart : 0;
      uint32_t end = start + old->loopLength;
      if (end > sample->length) end = sample->length;
      SndSetSampleLoopPoints(sample, static_cast<int>(start), static_cast<int>(end) - 1);
      SndSetSampleLoopMode(sample, old->loopMode);
    }
  }
  song->samples[index] = sample;
  if (song->voices) {
    for (int i = 0; i < song->voiceCount; i++) {
      if (song->voices[i].sample == old) song->voices[i].sample = sample;
    }
  }
  if (song->channels) {
    for (int c = 0; c < song->channelCount; c++) {
      if (song->channels[c].dummy.sample == old) song->channels[c].dummy.sample = sample;
    }
  }
  if (old) {
    old->inSong = 0;
    if (!(old->trackerFlags[1] & 0x80)) SndFreeSample(old);
  }
  return true;
}

// A song sample freed from outside: every reference to it goes first.
void SndForgetSongSample(SndSample* sample) {
  EnsureLists();
  for (SndLink* l = gSongs.loaded.next; l != &gSongs.loaded; l = l->next) {
    SndSong* song = SongOf(l, true);
    for (int i = 0; i < song->sampleCount; i++) {
      if (song->samples[i] == sample) song->samples[i] = nullptr;
    }
    if (song->voices) {
      for (int i = 0; i < song->voiceCount; i++) {
        if (song->voices[i].sample == sample) song->voices[i].sample = nullptr;
      }
    }
  }
}

// --- Getters ---

template <class T, class F>
static T GetSong(SndSong* song, T fallback, F f) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!song) {
    SndFail(kSndErrInvalid);
    return fallback;
  }
  return f(song);
}

static const SongHistory* Heard(SndSong* s) {
  return s->history && s->historyLength > 0 ? &s->history[s->historyIndex] : nullptr;
}

bool SndIsSongFinished(SndSong* song) { return GetSong(song, false, [](SndSong* s) { return s->finished; }); }
// A MIDI song plays until its last event has sounded; a tracker song goes on from its restart.
bool SndIsSongPlaying(SndSong* song) {
  return GetSong(song, false, [](SndSong* s) { return s->playing && !(s->midi && SndMidiFinished(s)); });
}
bool SndIsSongPaused(SndSong* song) { return song ? song->paused : false; }
const char* SndGetSongName(SndSong* song) {
  return GetSong(song, static_cast<const char*>(nullptr), [](SndSong* s) { return static_cast<const char*>(s->name); });
}
int SndGetSongType(SndSong* song) { return GetSong(song, 0, [](SndSong* s) { return static_cast<int>(s->type); }); }
int SndGetSongLength(SndSong* song) { return GetSong(song, 0, [](SndSong* s) { return s->length; }); }
int SndGetSongPatternCount(SndSong* song) { return GetSong(song, 0, [](SndSong* s) { return s->patternCount; }); }
int SndGetSongInstrumentCount(SndSong* song) { return GetSong(song, 0, [](SndSong* s) { return s->instrumentCount; }); }
int SndGetSongSampleCount(SndSong* song) { return GetSong(song, 0, [](SndSong* s) { return s->sampleCount; }); }
int SndGetSongChannelCount(SndSong* song) { return GetSong(song, 0, [](SndSong* s) { return s->channelCount; }); }
SndSample* SndGetSongSample(SndSong* song, int index) {
  return GetSong(song, static_cast<SndSample*>(nullptr), [index](SndSong* s) -> SndSample* {
    if (index < 0 || index >= s->sampleCount) {
      SndFail(kSndErrInvalid);
      return nullptr;
    }
    return s->samples[index];
  });
}
int SndGetSongPatternRows(SndSong* song, int order) {
  return GetSong(song, 0, [order](SndSong* s) {
    if (order < 0 || order > 255 || s->orders[order] >= s->patternSlots) return 0;
    return s->patterns[s->orders[order]].rows;
  });
}
int SndGetSongVolume(SndSong* song) { return GetSong(song, -1, [](SndSong* s) { return s->masterVolume; }); }
int SndGetSongGlobalVolume(SndSong* song) { return GetSong(song, -1, [](SndSong* s) { return s->globalVolume; }); }
int SndGetSongCurrentPattern(SndSong* song) {
  return GetSong(song, -1, [](SndSong* s) { return static_cast<int>(s->orders[s->order & 255]); });
}
int SndGetSongSpeed(SndSong* song) { return GetSong(song, -1, [](SndSong* s) { return s->speed; }); }
int SndGetSongTempo(SndSong* song) { return GetSong(song, -1, [](SndSong* s) { return s->tempo; }); }
int SndGetSongOrder(SndSong* song) {
  return GetSong(song, -1, [](SndSong* s) { const SongHistory* h = Heard(s); return h ? static_cast<int>(h->order) : 0; });
}
int SndGetSongRow(SndSong* song) {
  return GetSong(song, -1, [](SndSong* s) { const SongHistory* h = Heard(s); return h ? static_cast<int>(h->row) : 0; });
}
int SndGetSongTime(SndSong* song) {
  return GetSong(song, -1, [](SndSong* s) { const SongHistory* h = Heard(s); return h ? static_cast<int>(h->clock) : 0; });
}
bool SndIsSongLinearFrequency(SndSong* song) {
  return GetSong(song, false, [](SndSong* s) {
    return (s->type == kSndSongIt && (s->flags & 8)) || (s->type == kSndSongXm && (s->flags & 1));
  });
}
