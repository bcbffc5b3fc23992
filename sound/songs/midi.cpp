// MIDI songs: the standard MIDI file reader (bare or in a RIFF "RMID" form), the tracks merged
// and timed through the tempo map, and the sequencer that plays them on the MIDI synthesizer
// inside the music unit, so a song is mixed block by block like a tracker song.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <new>
#include <string>

#include "platform/midi_synth.h"
#include "sound/songs/songs_local.h"

// The synthesizer settings and the reverb switch; live for the process, under the library lock.
static struct MidiSettings {
  std::string synthesizer = "fluidsynth";
  std::string soundfont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
  bool reverb = true;
} gMidi;

struct SndMidiRecord {
  MidiSequence sequence;
  PlatformMidiSynth* synth = nullptr;  // made at the first play, kept until the song is freed
  int rate = 0;                        // the synthesizer's rate
  size_t next = 0;                     // next event to send
  int64_t frame = 0;                   // frames rendered since the start, pauses not counted
  int64_t endFrame = 0;
  bool reverb = true;                  // what the synthesizer was last told
  std::vector<float> scratch;          // one block of the synthesizer's output
};

// --- Reading the file ---

namespace {

constexpr int64_t kLongestSongUs = int64_t{24} * 3600 * 1000000;  // events past a day are dropped

struct TrackEvent {
  uint64_t tick;
  MidiEvent event;
};

// A variable-length quantity of at most four bytes; false when the track ends inside it or
// it runs longer.
bool ReadNumber(SongReader& r, size_t end, uint32_t* value) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) {
    if (r.pos >= end) return false;
    const uint8_t b = r.U8();
    v = v << 7 | (b & 0x7F);
    if (!(b & 0x80)) {
      *value = v;
      return true;
    }
  }
  return false;
}

// One MTrk chunk's events, from `r.pos` up to `end`. Returns the track's end: its end-of-track
// event, or the last whole event when a damaged one ends the track (what came before stays).
uint64_t ReadTrack(SongReader& r, size_t end, uint64_t startTick, std::vector<TrackEvent>* events,
                   std::vector<uint8_t>* sysex) {
  uint64_t tick = startTick, lastWhole = startTick;  // the time of the last whole event
  uint8_t running = 0;
  while (r.pos < end) {
    lastWhole = tick;
    uint32_t delta = 0;
    if (!ReadNumber(r, end, &delta) || r.pos >= end) break;
    tick += delta;
    uint8_t status = r.U8();
    uint8_t data1 = 0;
    if (status < 0x80) {
      if (running == 0) break;
      data1 = status;
      status = running;
    } else if (status >= 0xF0) {
      running = 0;  // meta and system-exclusive events cancel running status
      uint8_t type = 0;
      if (status == 0xFF) {
        if (r.pos >= end) break;
        type = r.U8();
      } else if (status != 0xF0 && status != 0xF7) {
        break;  // real-time and system-common bytes have no place in a file
      }
      uint32_t length = 0;
      if (!ReadNumber(r, end, &length) || length > end - r.pos) break;
      const uint8_t* payload = r.Span(length);
      if (status == 0xFF && type == 0x2F) return tick;  // end of track
      if (status == 0xFF && type == 0x51 && length >= 3) {
        const uint32_t tempo = static_cast<uint32_t>(payload[0] << 16 | payload[1] << 8 | payload[2]);
        if (tempo > 0) events->push_back({tick, {0, 0xFF, 0, 0, tempo, 0}});
      } else if (status == 0xF0 && length > 0 && sysex->size() + length < (uint32_t{1} << 31)) {
        events->push_back({tick, {0, 0xF0, 0, 0, static_cast<uint32_t>(sysex->size()), length}});
        sysex->insert(sysex->end(), payload, payload + length);
      }
      continue;
    } else {
      running = status;
      if (r.pos >= end) break;
      data1 = r.U8();
    }
    uint8_t data2 = 0;
    const uint8_t kind = status & 0xF0;
    if (kind != 0xC0 && kind != 0xD0) {
      if (r.pos >= end) break;
      data2 = r.U8();
    }
    events->push_back({tick, {0, status, static_cast<uint8_t>(data1 & 0x7F), static_cast<uint8_t>(data2 & 0x7F), 0, 0}});
    lastWhole = tick;
  }
  return lastWhole;
}

uint32_t BigEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// The standard MIDI file inside a RIFF form: the "data" chunk of an "RMID" form. Null for
// WAVE and AVI files and for any other form.
const uint8_t* UnwrapRiff(const uint8_t* data, size_t* size) {
  if (*size < 12) return nullptr;
  if (*size >= 15 && std::memcmp(data + 8, "WAVEfmt", 7) == 0) return nullptr;
  if (*size >= 16 && std::memcmp(data + 8, "AVI LIST", 8) == 0) return nullptr;
  if (std::memcmp(data + 8, "RMID", 4) != 0) return nullptr;
  size_t at = 12;
  while (at + 8 <= *size) {
    const uint32_t length = SndReadU32(data + at + 4);
    const size_t available = *size - (at + 8);
    if (std::memcmp(data + at, "data", 4) == 0) {
      *size = std::min<size_t>(length, available);
      return data + at + 8;
    }
    if (length > available) break;
    at += 8 + length + (length & 1);  // RIFF chunks are padded to an even length
  }
  return nullptr;
}

}  // namespace

bool SndParseMidi(const uint8_t* data, size_t size, MidiSequence* sequence) {
  *sequence = MidiSequence{};
  if (data == nullptr || size < 4) return SndFail(kSndErrFileFormat);
  if (std::memcmp(data, "RIFF", 4) == 0) {
    data = UnwrapRiff(data, &size);
    if (data == nullptr) return SndFail(kSndErrFileFormat);
  }
  if (size < 14 || std::memcmp(data, "MThd", 4) != 0) return SndFail(kSndErrFileFormat);
  const uint32_t headerLength = BigEndian32(data + 4);
  if (headerLength < 6 || headerLength > size - 8) return SndFail(kSndErrFileFormat);
  const int format = data[8] << 8 | data[9];
  const int division = static_cast<int16_t>(data[12] << 8 | data[13]);
  if (format > 2 || division == 0) return SndFail(kSndErrFileFormat);
  // Ticks last a tempo-dependent time, or a fixed one for SMPTE divisions (frames per second
  // in the high byte, negated; 29 stands for 29.97; ticks per frame in the low byte).
  double smpteTickUs = 0;
  if (division < 0) {
    const int fps = -(division >> 8);
    const int perFrame = division & 0xFF;
    if (fps <= 0 || perFrame == 0) return SndFail(kSndErrFileFormat);
    smpteTickUs = 1e6 / ((fps == 29 ? 29.97 : fps) * perFrame);
  }

  std::vector<TrackEvent> events;
  uint64_t endTick = 0;
  SongReader r(data, size);
  size_t at = 8 + static_cast<size_t>(headerLength);
  while (at + 8 <= size) {
    const uint32_t length = BigEndian32(data + at + 4);
    const size_t start = at + 8;
    const size_t end = start + std::min<size_t>(length, size - start);  // a track cut short
    if (std::memcmp(data + at, "MTrk", 4) == 0) {
      r.Seek(start);
      // Format 2 tracks are separate patterns: each follows the one before.
      const uint64_t first = format == 2 ? endTick : 0;
      endTick = std::max(endTick, ReadTrack(r, end, first, &events, &sequence->sysex));
    }
    at = end;
  }
  // Tracks are merged by time; equal times keep the order of the file.
  std::stable_sort(events.begin(), events.end(), [](const TrackEvent& a, const TrackEvent& b) { return a.tick < b.tick; });
  if (events.empty() && endTick == 0) return SndFail(kSndErrFileFormat);

  // Times through the tempo map (120 beats per minute until the first tempo event).
  double tickUs = division > 0 ? 500000.0 / division : smpteTickUs;
  double us = 0;
  uint64_t lastTick = 0;
  sequence->events.reserve(events.size());
  for (TrackEvent& e : events) {
    us += static_cast<double>(e.tick - lastTick) * tickUs;
    lastTick = e.tick;
    if (us > static_cast<double>(kLongestSongUs)) break;
    e.event.us = static_cast<int64_t>(std::llround(us));
    if (e.event.status == 0xFF && division > 0) tickUs = static_cast<double>(e.event.value) / division;
    sequence->events.push_back(e.event);
  }
  us += static_cast<double>(endTick - std::min(endTick, lastTick)) * tickUs;
  sequence->lengthUs = std::min(kLongestSongUs, static_cast<int64_t>(std::llround(std::min(us, 1e18))));
  if (!sequence->events.empty()) sequence->lengthUs = std::max(sequence->lengthUs, sequence->events.back().us);
  return true;
}

// --- The song ---

// Listed points of the curve (song volume, hundredths of a decibel); between them the level
// follows the logarithm of the volume, about 10 dB for each halving.
int SndMidiVolumeTable(int volume) {
  static const int kPoints[][2] = {{1, -7678}, {2, -6830},   {4, -5912},  {8, -4955}, {16, -3977},
                                   {32, -2988}, {64, -1994}, {128, -997}, {255, 0}};
  if (volume <= 0) return -10000;
  if (volume >= 255) return 0;
  for (size_t i = 0; i + 1 < std::size(kPoints); i++) {
    const int v0 = kPoints[i][0], v1 = kPoints[i + 1][0];
    if (volume > v1) continue;
    const double t = std::log2(static_cast<double>(volume) / v0) / std::log2(static_cast<double>(v1) / v0);
    return static_cast<int>(std::lround(kPoints[i][1] + t * (kPoints[i + 1][1] - kPoints[i][1])));
  }
  return 0;
}

static int64_t EventFrame(const SndMidiRecord* m, size_t index) {
  return (m->sequence.events[index].us * m->rate + 500000) / 1000000;
}

// Sends the event to the synthesizer; tempo changes are already in the times.
static void SendEvent(SndMidiRecord* m, const MidiEvent& e) {
  if (e.status == 0xF0) {
    PlatformMidiSynthSysex(m->synth, m->sequence.sysex.data() + e.value, static_cast<int>(e.length));
  } else if (e.status < 0xF0) {
    PlatformMidiSynthMessage(m->synth, e.status, e.data1, e.data2);
  }
}

// Back to the song's start: every voice silenced, the channels reset.
static void StartMidi(SndSong* song) {
  SndMidiRecord* m = song->midi;
  if (m == nullptr || m->synth == nullptr) return;
  PlatformMidiSynthReset(m->synth);
  m->next = 0;
  m->frame = 0;
  m->endFrame = (m->sequence.lengthUs * m->rate + 500000) / 1000000;
  const size_t block = static_cast<size_t>(gSndMixer.blockLength > 0 ? gSndMixer.blockLength : 1024);
  if (m->scratch.size() < block * 2) m->scratch.resize(block * 2);
}

bool SndLoadMidi(SndSong* song, SongReader& r) {
  auto* m = new (std::nothrow) SndMidiRecord;
  if (m == nullptr) return SndFail(kSndErrMemory);
  if (!SndParseMidi(r.data, r.size, &m->sequence)) {
    delete m;
    return false;
  }
  // The synthesizer is made once the song is loaded into a running library (else at its first
  // play); what it needs is checked now, so a song that cannot sound is refused at once.
  std::string problem;
  if (!PlatformMidiSynthUsable(gMidi.synthesizer.c_str(), gMidi.soundfont.c_str(), &problem)) {
    SndLog(("MIDI song refused: " + problem).c_str());
    SndNoteLibraryProblem(problem);
    delete m;
    return SndFail(kSndErrNotInitialised);
  }
  song->type = kSndSongMidi;
  song->midi = m;
  song->masterVolume = 256;
  song->defaultTempo = 125;
  song->defaultSpeed = 6;
  song->length = 1;
  song->start = StartMidi;
  return true;
}

bool SndMidiPrepare(SndSong* song) {
  std::string synthesizer, soundfont;
  int rate = 0;
  {
    SndLockGuard guard(gSnd.lock);
    if (song->midi == nullptr) return SndFail(kSndErrFileData);
    if (!gSnd.initialised) return true;  // made at the play, which needs the library running
    if (song->midi->synth != nullptr && song->midi->rate == gSnd.mixRate) return true;
    synthesizer = gMidi.synthesizer;
    soundfont = gMidi.soundfont;
    rate = gSnd.mixRate;
  }
  // Loading the soundfont takes a while: the mixer goes on meanwhile.
  std::string problem;
  PlatformMidiSynth* synth = PlatformMidiSynthCreate(synthesizer.c_str(), soundfont.c_str(), rate, &problem);
  SndLockGuard guard(gSnd.lock);
  if (synth == nullptr) {
    SndLog(("MIDI synthesizer unavailable: " + problem).c_str());
    return SndFail(kSndErrNotInitialised);
  }
  SndMidiRecord* m = song->midi;
  if (m->synth != nullptr) {
    SndListUnlink(&song->link);  // a rate change: the old synthesizer goes with the song stopped
    song->playing = false;
    PlatformMidiSynthDestroy(m->synth);
  }
  m->synth = synth;
  m->rate = rate;
  m->reverb = true;
  return true;
}

void SndMidiFree(SndSong* song) {
  if (song->midi == nullptr) return;
  PlatformMidiSynthDestroy(song->midi->synth);
  delete song->midi;
  song->midi = nullptr;
}

bool SndMidiFinished(SndSong* song) {
  const SndMidiRecord* m = song->midi;
  return m == nullptr || (m->next >= m->sequence.events.size() && m->frame >= m->endFrame);
}

// Renders `frames` of the synthesizer into the mix buffer at the song's volume.
static void AddRendered(SndMidiRecord* m, void* buffer, int offset, int frames, float gain) {
  while (frames > 0) {
    const int n = std::min(frames, static_cast<int>(m->scratch.size() / 2));
    PlatformMidiSynthRender(m->synth, m->scratch.data(), n);
    const float* in = m->scratch.data();
    if (gSndMixer.frameShift == 1) {
      float* out = static_cast<float*>(buffer) + static_cast<size_t>(offset) * 2;
      for (int i = 0; i < n * 2; i++) out[i] += in[i] * gain;
    } else {
      int16_t* out = static_cast<int16_t*>(buffer) + static_cast<size_t>(offset) * 2;
      for (int i = 0; i < n * 2; i++) {
        const long v = out[i] + std::lrint(in[i] * gain);
        out[i] = static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
      }
    }
    offset += n;
    frames -= n;
  }
}

// One block: events are sent at their frame (the synthesizer starts them within its own
// 64-frame step), the synthesizer renders between them.
void SndMidiMix(SndSong* song, void* buffer, int frames) {
  SndMidiRecord* m = song->midi;
  if (m == nullptr || m->synth == nullptr || m->rate <= 0 || m->scratch.empty()) return;
  if (m->reverb != gMidi.reverb) {
    PlatformMidiSynthSetReverb(m->synth, gMidi.reverb);
    m->reverb = gMidi.reverb;
  }
  song->clock = static_cast<int32_t>(m->frame * 1000 / m->rate);
  const float gain = 32768.0f * static_cast<float>(std::pow(10.0, SndMidiVolumeTable(song->masterVolume) / 2000.0));
  const size_t count = m->sequence.events.size();
  int done = 0;
  while (done < frames) {
    while (m->next < count && EventFrame(m, m->next) <= m->frame) SendEvent(m, m->sequence.events[m->next++]);
    int n = frames - done;
    if (m->next < count) n = static_cast<int>(std::min<int64_t>(n, EventFrame(m, m->next) - m->frame));
    AddRendered(m, buffer, done, n, gain);
    done += n;
    m->frame += n;
  }
  if (SndMidiFinished(song)) song->finished = true;
}

// --- Settings ---

bool SndSetMidiSynth(const char* synthesizer, const char* soundfont) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (synthesizer == nullptr) return SndFail(kSndErrInvalid);
  gMidi.synthesizer = synthesizer;
  if (soundfont != nullptr) gMidi.soundfont = soundfont;
  return true;
}

bool SndSetMidiReverb(bool on) {
  SndLockGuard guard(gSnd.lock);
  SndEnter();
  if (!PlatformMidiSynthUsable(gMidi.synthesizer.c_str(), gMidi.soundfont.c_str(), nullptr))
    return SndFail(kSndErrNotInitialised);
  gMidi.reverb = on;
  return true;
}
