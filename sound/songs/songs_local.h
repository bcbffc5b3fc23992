// Inside the song player: the song, tracker channel and voice records, the bounded reader the
// loaders share, and the tick engine and effect routines the four formats build on.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sound/songs/songs.h"
#include "sound/sound_local.h"

// --- Bounded reader: a read past the end gives zeros and sets `error` (checked per group) ---
struct SongReader {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  bool error = false;

  SongReader(const void* d, size_t n) : data(static_cast<const uint8_t*>(d)), size(n) {}
  bool Has(size_t n) const { return pos <= size && size - pos >= n; }
  void Seek(size_t at) {
    if (at > size) {
      error = true;
      at = size;
    }
    pos = at;
  }
  void Skip(size_t n) { Seek(Has(n) ? pos + n : size + 1); }
  uint8_t U8() {
    if (!Has(1)) {
      error = true;
      return 0;
    }
    return data[pos++];
  }
  uint16_t U16() { uint16_t a = U8(); return static_cast<uint16_t>(a | U8() << 8); }
  uint16_t U16be() { uint16_t a = U8(); return static_cast<uint16_t>(a << 8 | U8()); }
  uint32_t U32() { uint32_t a = U16(); return a | static_cast<uint32_t>(U16()) << 16; }
  void Bytes(void* out, size_t n) {
    if (!Has(n)) {
      std::memset(out, 0, n);
      error = true;
      pos = size;
      return;
    }
    std::memcpy(out, data + pos, n);
    pos += n;
  }
  // The next n bytes in place, or null (and error) when fewer remain.
  const uint8_t* Span(size_t n) {
    if (!Has(n)) {
      error = true;
      return nullptr;
    }
    const uint8_t* p = data + pos;
    pos += n;
    return p;
  }
};

// One unpacked cell: note (1-based; 254 cut, 255 off, 0 none), instrument, volume column
// (stored + 1 for S3M and IT, 0 none), effect, parameter.
struct SongCell {
  uint8_t note, instrument, volume, effect, param;
};

struct SongPattern {
  int rows;
  uint8_t* data;   // unpacked cells (rows x channels), or IT's packed bytes
  uint32_t bytes;  // IT: packed length
};

// Pending-change bits of a voice.
enum : uint8_t { kVoiceFrequency = 1, kVoiceVolume = 2, kVoicePan = 4, kVoiceStart = 8, kVoiceStop = 32 };

struct SongEnvelopeState {
  int tick, index, value, slope, current;  // value and slope are 16.16
  bool done;
};

struct SndSongChannel;
struct ItInstrument;
struct SndMidiRecord;  // midi.cpp: a MIDI song's events, synthesizer and play position

// The song's view of one library channel (or a channel's dummy voice, which never sounds).
struct SndSongVoice {
  SndLink link;              // in the tracker channel's voice list
  SndSongChannel* owner;
  SndChannel* channel;       // null for the dummy voice
  SndSample* sample;         // what a start plays; null = "Invalid Sample"
  bool inUse;
  uint8_t pending;
  int period, volume, pan, volumeDelta, periodDelta;
  uint32_t sampleOffset;
  SongEnvelopeState env[3];  // volume, pan, pitch
  int fadeVolume;
  bool keyOff, fading;
  int autoVibPos, autoVibSweep;
  // IT
  const ItInstrument* instrument;
  int note, sampleIndex;
  bool background;
  int nna;
  uint8_t envFlags[3];
  int sampleVolume, panOffset, pitchOffset;
  bool surround;
  uint32_t startedTick;      // for the background-voice cap
};

struct SndSongChannel {
  SndLink voices;
  SndSongVoice dummy;
  int sample, instrument, note, realNote;
  int notePeriod, targetPeriod, portaSpeed;
  int vibratoPos, vibratoSpeed, vibratoDepth;
  int tremoloPos, tremoloSpeed, tremoloDepth;
  int panbrelloPos, panbrelloSpeed, panbrelloDepth;
  uint8_t waveControl;       // vibrato waveform bits 0-3, tremolo 4-7
  int lastEffect;
  int loopRow, loopCount;
  int offsetMemory, offsetHigh;
  uint32_t noteOffset;       // S3M: where the last note started in its sample
  int channelVolume, pan;
  int savedVolume, savedPeriod, savedPan;
  // S3M / XM / IT memories
  int volSlideMem, portaMem, arpMem, retrigKind, retrigInterval, retrigCounter;
  int tremorOn, tremorOff, tremorCount;  // phase lengths; ticks left in the phase
  bool tremorRunning, tremorMuted;       // the cycle has started; the phase is the silent one
  int slideUpMem, slideDownMem, fineUpMem, fineDownMem, fineVolMem, xfineUpMem, xfineDownMem, panSlideMem;
  int globalSlideMem;
  int itGMem, itFineVibrato, itVolColMem, itChanVolSlideMem, itPanSlideMem, itVibratoMem;
  int noteVolume, volumeOffset;
  bool surround, reached, delayed;
};

struct SongCallbackQueue {
  SndSongCallback callback;
  int step;
  uint8_t values[256];
  int32_t due[256];          // -1 empty
  int write, read;
};
enum { kQueueRow = 0, kQueueOrder = 1, kQueueSync = 2, kQueueInstrument = 3 };

struct SongHistory {
  uint8_t order, row;
  int32_t clock;
};

// XM and IT instruments share this record; the fields a format does not use stay 0.
struct SongEnvelope {
  uint8_t flags;             // 1 on, 2 sustain, 4 loop, 8 carry (IT)
  uint8_t points, sustainBegin, sustainEnd, loopBegin, loopEnd;
  int16_t x[25];
  int8_t y[25];
};
// XM and IT envelopes: at a point, the straight line to the next one starts (16.16 fixed point).
void SongEnvelopeSegment(const SongEnvelope& e, SongEnvelopeState& s);

struct ItInstrument {
  uint8_t nna, dct, dca;
  int fadeOut;
  int8_t pitchPanSeparation;
  uint8_t pitchPanCentre, globalVolume, defaultPan;
  uint8_t samples;
  uint8_t noteMap[120][2];   // note, sample (1-based) for IT; XM uses [n][1] as 0-based sample
  SongEnvelope env[3];
  uint8_t vibType, vibSweep, vibDepth, vibRate;
  int sampleBase;            // XM: the song sample of local sample 0
};

struct SndSong {
  SndLink link;              // in the list of playing songs; itself when not playing
  SndLink allLink;           // in the list of loaded songs
  SndDspUnit* unit;          // while playing: its channel list is the song's voice list
  uint8_t type;
  char name[256];
  SongPattern* patterns;
  SndSample** samples;
  ItInstrument* instruments;
  SndSongChannel* channels;
  SndSongVoice* voices;      // one per library channel while playing
  int voiceCount;
  int samplesLeft, samplesPerTick;
  int length, patternCount, patternSlots, instrumentCount, sampleCount, channelCount;
  int defaultSpeed, defaultTempo;
  uint8_t defaultPan[64], defaultVolume[64];
  uint8_t initialGlobalVolume;
  int masterVolume;
  float panSeparation;
  int globalVolume;
  uint8_t orders[256];
  uint16_t restart;
  uint16_t flags;
  bool ft2;                  // XM saved by FastTracker 2: its own arpeggio and K00 rules
  bool paused, playing, finished;
  int tick, speed, tempo, row, order, patternDelay, finePatternDelay, nextRow, nextOrder;
  int32_t clock;
  int historyIndex, historyLength;
  SongHistory* history;
  int cullChannels, cullVolume;
  void (*start)(SndSong* song);
  void (*update)(SndSong* song);
  SongCallbackQueue queues[4];
  int watchedInstrument;
  bool instrumentWatch;
  uint64_t mixedBlock;       // last block the music unit processed this song in
  bool pendingFree;
  uint32_t tickCount;
  // IT
  uint16_t itVersion;
  SongCell itRow[64];
  uint8_t itLastMask[64];
  SongCell itLast[64];
  const uint8_t* itRead;
  const uint8_t* itEnd;
  int itTempoSlide;
  SndMidiRecord* midi;       // MIDI songs only
};

// Tracker attributes kept in a song sample's tracker fields.
inline int SongSampleVolume(const SndSample* s) { return s ? static_cast<int>(s->trackerValues[1] & 0xFF) : 0; }
inline int SongSamplePan(const SndSample* s) { return s ? static_cast<int>((s->trackerValues[1] >> 8) & 0xFF) : 0; }
inline int SongSampleGlobal(const SndSample* s) { return s ? static_cast<int>((s->trackerValues[1] >> 16) & 0xFF) : 64; }
inline bool SongSampleHasPan(const SndSample* s) { return s && (s->trackerValues[1] >> 24) & 1; }
inline int SongSampleRelNote(const SndSample* s) { return s ? static_cast<int8_t>(s->trackerValues[3] & 0xFF) : 0; }
inline int SongSampleFinetune(const SndSample* s) { return s ? static_cast<int8_t>((s->trackerValues[3] >> 8) & 0xFF) : 0; }
inline uint32_t SongSampleFrequency(const SndSample* s) { return s ? s->trackerValues[0] : 8363; }
void SongSetSampleAttributes(SndSample* s, int volume, int pan, bool hasPan, int global, int relNote, int finetune);
bool SongSamplePlayable(const SndSample* s);

// --- song.cpp ---
SndSample* SongCreateSample(SndSong* song, int index, uint32_t length, uint32_t mode);
bool SongUploadSample(SndSample* s, const uint8_t* data, uint32_t bytes, uint32_t mode);
// 8-bit samples packed to 4 bits by a 1990s tracker plug-in (MOD, S3M and XM alike): a table of
// 16 signed steps, then two step indexes a byte, low nibble first, summed from 0. Bytes a sample
// of `frames` takes, the frames `bytes` can hold, and the upload (a short input leaves silence).
uint32_t SongAdpcmBytes(uint32_t frames);
uint32_t SongAdpcmFrames(size_t bytes);
bool SongUploadAdpcm(SndSample* s, const uint8_t* data, uint32_t bytes);
// The file's loop, checked against the sample's length: one that starts at or past the end, or
// is shorter than `shortest` frames, plays the sample once; one that runs past the end stops there.
void SongSetLoop(SndSample* s, uint32_t start, uint32_t length, uint32_t mode, uint32_t shortest);
bool SongAllocPatterns(SndSong* song, int slots);
bool SongAllocSamples(SndSong* song, int count);
void SndSetSongTempo(SndSong* song, int tempo);
int SndModFinetuneToFrequency(int finetune);
void SndQueueSongCallback(SndSong* song, int queue, int value);
SndSongVoice* SndAllocSongVoice(SndSong* song, SndSongChannel* channel);
void SndReleaseSongVoice(SndSong* song, SndSongVoice* voice);
void SongStopVoiceNow(SndSongVoice* voice);
inline SndSongVoice* VoiceOf(SndLink* l) { return reinterpret_cast<SndSongVoice*>(l); }
inline SndSongVoice* FirstVoice(SndSongChannel* c) {
  return c->voices.next != &c->voices ? VoiceOf(c->voices.next) : &c->dummy;
}
int SongPlayingChannels();

// --- engine.cpp ---
extern const uint32_t kSndPeriodTable[133];  // index = note 1..132; [0] unused
extern const uint8_t kSndSineTable[32];
extern const int8_t kSndXmVibratoSine[256];
int SndNotePeriod(int note, uint32_t finetuneFrequency);
SongCell* SongCellAt(SndSong* song, int pattern, int row, int channel);
void SongTrackerTick(SndSong* song, void (*row)(SndSong*), void (*tick)(SndSong*));
// One channel of a MOD, S3M or XM song at a tick between rows: its cell of the current row and
// its first voice, with the voice's changes of the last tick cleared; x and y are the digits of
// the effect parameter.
struct SongChannelTick {
  SndSongChannel* c;
  SongCell cell;
  SndSongVoice* v;
  int x, y;
};
SongChannelTick SongStartChannelTick(SndSong* song, int channel);
// The tick work of the effects MOD and XM share (1-7 and A): slides, tone portamento, vibrato,
// tremolo and the volume slide, with the parameters in force (MOD the cell's own, XM each
// effect's memory). False for any other effect.
bool SongProTrackerTick(const SongChannelTick& t, int up, int down, int volumeSlide);
void SongApplyPending(SndSong* song, SndSongChannel* channel);
int SongArpeggioStep(const SndSong* song, int param);  // semitones up on this tick
// Adds the arpeggio's period offset: `add` semitones, from the note's period to that of the note
// `add` up (table periods at any one rate; unused when linear).
void SongArpeggio(SndSongVoice* v, int add, bool linear, int notePeriod, int upPeriod);
void SndTonePortamento(SndSongChannel* c, SndSongVoice* v);
void SndVibrato(SndSongChannel* c, SndSongVoice* v, int shift, bool advance);
void SndTremolo(SndSongChannel* c, SndSongVoice* v, bool randomWave3, bool advance);
int SongWaveValue(int waveform, int position);
void SongPatternLoop(SndSong* song, SndSongChannel* c, int y);
void SongBreakJump(SndSong* song, int effect, int param, bool* jumped);
int SongClamp(int v, int lo, int hi);
int SongRetrigVolume(int kind, int volume);
bool SongTremorTick(SndSongChannel* c);
void SongTremorRestart(SndSongChannel* c);
void SongTremorStep(SndSongChannel* c, SndSongVoice* v);  // a tick of tremor on the voice's volume
void SongVolumeSlide(SndSongVoice* v, int param);   // MOD A / XM A: up by x, else down by y
void SongWatchInstrument(SndSong* song, int number);  // queues the instrument callback
// Row work MOD, S3M and XM share (IT where it agrees):
// the channel's voice for a note: its own, or a library channel taken now that starts from the
// dummy's volume, period and pan;
SndSongVoice* SongVoiceForNote(SndSong* song, SndSongChannel* c, SndSongVoice* v);
// a row's start: what a note delay puts back is kept, a tremolo that ends leaves its offset in
// the volume (`tremolo`: the format's tremolo effect), the last tick's changes are cleared;
void SongBeginRow(SndSongChannel* c, SndSongVoice* v, const SongCell& cell, int tremolo);
void SongSetVibrato(SndSongChannel* c, int speed, int depth);  // 0 keeps the one set
void SongSetTremolo(SndSongChannel* c, int speed, int depth);
void SongRestartWaves(SndSongChannel* c);              // unless their waveform says keep
void SongSetWaveform(SndSongChannel* c, bool tremolo, int y);
void SongHoldForDelay(SndSongChannel* c, SndSongVoice* v);  // note delay: the row waits
// sample offset: the note starts there, or does not start when the offset is past the end;
void SongStartAt(SndSongVoice* v, const SndSample* sample, uint32_t offset);
void SongSpeedOrTempo(SndSong* song, int param);       // below 32 speed, else tempo
void SongNoteCut(SndSong* song, SndSongVoice* v, int tick);
// S3M and IT slides of a value by a parameter memory: on the row the fine ones (xF up, Fy down;
// with fast slides also x0, 0y), on the other ticks x0 up, 0y down; clamped to 0..high.
int SongFineSlide(int value, int memory, int high, bool fast);
int SongSlide(int value, int memory, int high);
// S3M and IT E/F: on the row the fine (Fy, x4) and extra-fine (Ey) slides; on the other ticks
// the normal ones (x4), a period below 1 stopping the note. sign +1 down (E), -1 up (F).
void SongPortamentoRow(SndSongVoice* v, int memory, int sign);
void SongPortamentoTick(SndSongVoice* v, int memory, int sign);

// --- formats ---
bool SndLoadMod(SndSong* song, SongReader& r);
bool SndLoadS3m(SndSong* song, SongReader& r);
bool SndLoadXm(SndSong* song, SongReader& r);
bool SndLoadIt(SndSong* song, SongReader& r);
bool SndLoadMidi(SndSong* song, SongReader& r);  // the last loader of the chain

// --- midi.cpp: standard MIDI files and their sequencer ---
// One event of the merged tracks: a channel message (status 0x80..0xEF), a system-exclusive
// message (0xF0, its bytes in the sequence's sysex store) or a tempo change (0xFF, microseconds
// per quarter note in `value`), timed from the song's start through the tempo map.
struct MidiEvent {
  int64_t us;
  uint8_t status, data1, data2;
  uint32_t value;            // tempo, or the sysex bytes' offset
  uint32_t length;           // sysex bytes
};
struct MidiSequence {
  std::vector<MidiEvent> events;  // in play order
  std::vector<uint8_t> sysex;
  int64_t lengthUs = 0;           // the last track's end
};
// Reads a standard MIDI file (formats 0, 1 and 2), bare or in a RIFF "RMID" form. False with
// error 10 for anything else, WAVE and AVI files included; a track cut short keeps its events.
bool SndParseMidi(const uint8_t* data, size_t size, MidiSequence* sequence);
// The synthesizer's gain for a song volume 0..256, in hundredths of a decibel.
int SndMidiVolumeTable(int volume);
// Makes the song's synthesizer at the mix rate when it has none (loading and playing, outside
// the lock); false with error 2 when it cannot be made. Nothing to do before start-up.
bool SndMidiPrepare(SndSong* song);
void SndMidiFree(SndSong* song);     // frees the record and its synthesizer
void SndMidiMix(SndSong* song, void* buffer, int frames);  // music unit: one block of the song
bool SndMidiFinished(SndSong* song);
