// IT songs: the loader (instruments old and new, samples plain or compressed, patterns kept
// packed), the row reader and the IT tick with its order handling.
#include <cstdlib>
#include <vector>

#include "sound/songs/songs_local.h"

void SndItRow(SndSong* song);
static void SndItUpdate(SndSong* song);

// Envelope flags of the file -> ours: 1 on, 2 loop -> 4, 4 sustain loop -> 2, 8 carry.
static uint8_t EnvelopeFlags(int file) {
  return static_cast<uint8_t>((file & 1) | (file & 2 ? 4 : 0) | (file & 4 ? 2 : 0) | (file & 8));
}

// Point counts, ticks and loop indices are checked; an envelope that fails is off.
static void CheckEnvelope(SongEnvelope& e) {
  bool ok = e.points >= 2 && e.points <= 25;
  for (int i = 1; ok && i < e.points; i++) ok = e.x[i] >= e.x[i - 1];
  if (ok && (e.loopBegin >= e.points || e.loopEnd >= e.points || e.loopBegin > e.loopEnd)) e.flags &= ~4;
  if (ok && (e.sustainBegin >= e.points || e.sustainEnd >= e.points || e.sustainBegin > e.sustainEnd)) e.flags &= ~2;
  if (!ok) e.flags = 0;
}

static bool ReadInstrument(SongReader& r, ItInstrument& ins, bool oldFormat) {
  size_t start = r.pos;
  char id[4];
  r.Bytes(id, 4);
  if (r.error || std::memcmp(id, "IMPI", 4) != 0) return false;
  if (oldFormat) {
    // Instruments of trackers before 2.0: one volume envelope of nodes, no pan or pitch.
    r.Seek(start + 0x10);
    int flags = r.U8();
    ins.env[0].loopBegin = r.U8();
    ins.env[0].loopEnd = r.U8();
    ins.env[0].sustainBegin = r.U8();
    ins.env[0].sustainEnd = r.U8();
    r.Skip(2);
    ins.fadeOut = r.U16() * 2;
    ins.nna = r.U8();
    ins.dct = r.U8() ? 1 : 0;
    ins.globalVolume = 128;
    ins.defaultPan = 32;
    r.Seek(start + 0x40);
    for (auto& n : ins.noteMap) {
      n[0] = r.U8();
      n[1] = r.U8();
    }
    r.Seek(start + 0x1F8);
    int points = 0;
    for (int i = 0; i < 25; i++) {
      int tick = r.U8(), value = r.U8();
      if (tick == 0xFF) break;
      ins.env[0].x[i] = static_cast<int16_t>(tick);
      ins.env[0].y[i] = static_cast<int8_t>(value > 64 ? 64 : value);
      points++;
    }
    ins.env[0].points = static_cast<uint8_t>(points);
    ins.env[0].flags = static_cast<uint8_t>((flags & 1) | (flags & 2 ? 4 : 0) | (flags & 4 ? 2 : 0));
    CheckEnvelope(ins.env[0]);
    return !r.error;
  }
  r.Seek(start + 0x11);
  ins.nna = r.U8() & 3;
  ins.dct = r.U8() & 3;
  ins.dca = r.U8() % 3;
  ins.fadeOut = r.U16();
  ins.pitchPanSeparation = static_cast<int8_t>(r.U8());
  ins.pitchPanCentre = r.U8();
  ins.globalVolume = r.U8();
  if (ins.globalVolume > 128) ins.globalVolume = 128;
  ins.defaultPan = r.U8();
  r.Skip(4);
  ins.samples = r.U8();
  r.Seek(start + 0x40);
  for (auto& n : ins.noteMap) {
    n[0] = r.U8();
    n[1] = r.U8();
    if (n[0] > 119) n[0] = 119;
  }
  for (int k = 0; k < 3; k++) {
    SongEnvelope& e = ins.env[k];
    int flags = r.U8();
    e.points = r.U8();
    e.loopBegin = r.U8();
    e.loopEnd = r.U8();
    e.sustainBegin = r.U8();
    e.sustainEnd = r.U8();
    for (int i = 0; i < 25; i++) {
      e.y[i] = static_cast<int8_t>(r.U8());
      e.x[i] = static_cast<int16_t>(r.U16());
    }
    r.U8();
    e.flags = EnvelopeFlags(flags);
    if (k == 2 && (flags & 0x80)) e.flags = 0;  // a filter envelope: not a pitch envelope
    if (k == 0) {
      for (int i = 0; i < 25; i++) e.y[i] = static_cast<int8_t>(SongClamp(e.y[i], 0, 64));
    }
    CheckEnvelope(e);
  }
  return !r.error;
}

bool SndLoadIt(SndSong* song, SongReader& r) {
  char id[4];
  r.Bytes(id, 4);
  if (r.error || std::memcmp(id, "IMPM", 4) != 0) return SndFail(kSndErrFileFormat);
  song->type = kSndSongIt;
  song->channelCount = 64;
  song->masterVolume = 256;
  r.Bytes(song->name, 26);
  r.Seek(32);
  int orderCount = r.U16(), instrumentCount = r.U16(), sampleCount = r.U16(), patternCount = r.U16();
  song->itVersion = r.U16();
  int compatible = r.U16();
  song->flags = r.U16();
  r.U16();
  song->initialGlobalVolume = static_cast<uint8_t>(SongClamp(r.U8(), 0, 128));
  song->masterVolume = 2 * SongClamp(r.U8(), 0, 128);  // the mix volume, capped
  song->defaultSpeed = r.U8();
  song->defaultTempo = r.U8();
  if (song->defaultSpeed == 0) song->defaultSpeed = 6;
  if (song->defaultTempo < 32) song->defaultTempo = 125;
  r.Seek(64);
  r.Bytes(song->defaultPan, 64);
  r.Bytes(song->defaultVolume, 64);
  for (uint8_t& v : song->defaultVolume) v = v > 64 ? 64 : v;
  if (r.error || orderCount > 256 || instrumentCount > 255 || sampleCount > 255 || patternCount > 256) {
    return SndFail(kSndErrFileFormat);
  }
  r.Bytes(song->orders, static_cast<size_t>(orderCount));
  int highest = -1;
  for (int i = 0; i < orderCount; i++) {
    if (song->orders[i] != 255) song->length = i + 1;
    if (song->orders[i] < 254 && song->orders[i] > highest) highest = song->orders[i];
  }
  // An order list of only skip and end markers has nothing to play.
  if (highest < 0) return SndFail(kSndErrFileFormat);
  std::vector<uint32_t> instrumentAt(static_cast<size_t>(instrumentCount)), sampleAt(static_cast<size_t>(sampleCount)),
      patternAt(static_cast<size_t>(patternCount));
  for (uint32_t& o : instrumentAt) o = r.U32();
  for (uint32_t& o : sampleAt) o = r.U32();
  for (uint32_t& o : patternAt) o = r.U32();
  if (r.error) return SndFail(kSndErrFileFormat);
  song->patternCount = patternCount;
  if (!SongAllocPatterns(song, highest + 1 > patternCount ? highest + 1 : patternCount)) return false;
  if (!SongAllocSamples(song, sampleCount)) return false;
  song->instrumentCount = instrumentCount;
  song->instruments = new (std::nothrow) ItInstrument[static_cast<size_t>(instrumentCount) + 1]();
  if (!song->instruments) return SndFail(kSndErrMemory);
  for (int i = 0; i < instrumentCount; i++) {
    r.Seek(instrumentAt[i]);
    if (!ReadInstrument(r, song->instruments[i], compatible < 0x200)) return SndFail(kSndErrFileFormat);
  }
  for (int i = 0; i < sampleCount; i++) {
    r.Seek(sampleAt[i]);
    char tag[4];
    r.Bytes(tag, 4);
    if (r.error || std::memcmp(tag, "IMPS", 4) != 0) return SndFail(kSndErrFileFormat);
    r.Seek(sampleAt[i] + 0x11);
    int global = r.U8(), flags = r.U8(), volume = r.U8();
    char name[26];
    r.Bytes(name, 26);
    int convert = r.U8(), pan = r.U8();
    uint32_t length = r.U32(), loopBegin = r.U32(), loopEnd = r.U32(), c5 = r.U32();
    r.Skip(8);
    uint32_t dataAt = r.U32();
    int vibSpeed = r.U8(), vibDepth = r.U8(), vibRate = r.U8(), vibType = r.U8();
    if (r.error) return SndFail(kSndErrFileFormat);
    if (!(flags & 1)) length = 0;
    bool sixteen = (flags & 2) != 0;
    uint32_t width = sixteen ? 2 : 1;
    bool compressed = (flags & 8) != 0;
    // Plain data must lie in the file; compressed data is checked block by block.
    if (dataAt >= r.size) length = 0;
    if (!compressed && length > (r.size - (dataAt < r.size ? dataAt : r.size)) / width) {
      length = static_cast<uint32_t>((r.size - dataAt) / width);
    }
    // Compressed data holds at least one bit a value: a length beyond that is not in the file.
    if (compressed && dataAt < r.size && length / 8 > r.size - dataAt) length = static_cast<uint32_t>((r.size - dataAt) * 8);
    if (length > (1u << 26)) length = 0;
    SndSample* s = SongCreateSample(song, i, length, (sixteen ? kSnd16Bits : kSnd8Bits) | kSndMono);
    if (!s) return SndFail(13);  // a sample record could not be made
    std::memcpy(s->name, name, 26);
    s->trackerValues[0] = c5 ? (c5 > 9999999 ? 9999999 : c5) : 8363;
    s->trackerValues[2] = static_cast<uint32_t>(vibSpeed | vibDepth << 8 | vibRate << 16 | vibType << 24);
    s->trackerFlags[1] = static_cast<uint8_t>(convert & 0x7F);
    SongSetSampleAttributes(s, volume > 64 ? 64 : volume, (pan & 127) > 64 ? 64 : (pan & 127), (pan & 128) != 0,
                            global > 64 ? 64 : global, 0, 0);
    uint32_t loopMode = !(flags & 16) ? kSndLoopOff : (flags & 64) ? kSndLoopBidi : kSndLoopNormal;
    SongSetLoop(s, loopBegin, loopEnd > loopBegin ? loopEnd - loopBegin : 0, loopMode, 1);
    if (length == 0) continue;
    uint32_t mode = (sixteen ? kSnd16Bits : kSnd8Bits) | ((convert & 1) ? kSndSigned : kSndUnsigned);
    if (compressed) mode |= (convert & 4) ? kSndIt215 : kSndIt214;
    size_t available = r.size - dataAt;
    size_t bytes = compressed ? available : static_cast<size_t>(length) * width;
    if (!SongUploadSample(s, r.data + dataAt, static_cast<uint32_t>(bytes), mode) && !compressed) return false;
  }
  for (int p = 0; p < patternCount; p++) {
    if (patternAt[p] == 0) continue;
    r.Seek(patternAt[p]);
    uint32_t bytes = r.U16();
    int rows = r.U16();
    r.Skip(4);
    const uint8_t* packed = r.Span(bytes);
    if (!packed || rows < 1 || rows > 256) return SndFail(kSndErrFileFormat);
    SongPattern& pattern = song->patterns[p];
    pattern.rows = rows;
    pattern.bytes = bytes;
    pattern.data = static_cast<uint8_t*>(std::malloc(bytes ? bytes : 1));
    if (!pattern.data) return SndFail(kSndErrMemory);
    std::memcpy(pattern.data, packed, bytes);
  }
  song->restart = 0;
  song->update = SndItUpdate;
  song->start = [](SndSong* s) {
    std::memset(s->itLastMask, 0, sizeof s->itLastMask);
    std::memset(s->itLast, 0, sizeof s->itLast);
    std::memset(s->itRow, 0, sizeof s->itRow);
    s->itRead = s->itEnd = nullptr;
  };
  return true;
}

// --- Row reader and sequencing ---

static void PointReader(SndSong* song) {
  int p = song->orders[song->order];
  if (p < song->patternSlots && song->patterns[p].data) {
    song->itRead = song->patterns[p].data;
    song->itEnd = song->itRead + song->patterns[p].bytes;
  } else {
    song->itRead = song->itEnd = nullptr;  // an empty pattern
  }
}

// Unpacks the next row; every byte is read only while it lies inside the pattern's data.
static void ReadRow(SndSong* song) {
  std::memset(song->itRow, 0, sizeof song->itRow);
  const uint8_t*& p = song->itRead;
  auto next = [&](int& out) {
    if (!p || p >= song->itEnd) return false;
    out = *p++;
    return true;
  };
  int c;
  while (next(c) && c != 0) {
    int channel = (c - 1) & 63, mask = song->itLastMask[channel], v = 0;
    if ((c & 128) && next(v)) mask = song->itLastMask[channel] = static_cast<uint8_t>(v);
    SongCell& cell = song->itRow[channel];
    SongCell& last = song->itLast[channel];
    if (mask & 1 && next(v)) last.note = static_cast<uint8_t>(v < 120 ? v + 1 : v >= 254 ? v : 0);
    if (mask & 2 && next(v)) last.instrument = static_cast<uint8_t>(v);
    if (mask & 4 && next(v)) last.volume = static_cast<uint8_t>(v > 212 ? 0 : v + 1);
    if (mask & 8) {
      int e = 0, param = 0;
      next(e);
      next(param);
      last.effect = static_cast<uint8_t>(e > 26 ? 0 : e);
      last.param = static_cast<uint8_t>(param);
    }
    if (mask & 0x11) cell.note = last.note;
    if (mask & 0x22) cell.instrument = last.instrument;
    if (mask & 0x44) cell.volume = last.volume;
    if (mask & 0x88) {
      cell.effect = last.effect;
      cell.param = last.param;
    }
  }
}

static int Rows(SndSong* song) {
  int p = song->orders[song->order];
  return p < song->patternSlots ? song->patterns[p].rows : 64;
}

// Moves `order` past skip markers; an end marker (or the end) goes to the restart order and
// finishes the song. Bounded: a list of markers only cannot loop for ever.
static void SettleOrder(SndSong* song) {
  for (int guard = 0; guard < 512; guard++) {
    if (song->order >= song->length || song->orders[song->order] == 255) {
      song->order = song->restart;
      song->finished = true;
      continue;
    }
    if (song->orders[song->order] == 254) {
      song->order++;
      continue;
    }
    return;
  }
  song->order = 0;
}

static void SndItUpdate(SndSong* song) {
  song->tickCount++;
  if (song->tick == 0) {
    bool newOrder = song->nextOrder >= 0;
    bool newRow = song->nextRow >= 0;
    if (newOrder) {
      song->order = song->nextOrder;
      SettleOrder(song);
      SndQueueSongCallback(song, kQueueOrder, song->order);
    }
    if ((newRow && song->nextRow != song->row + 1) || newOrder || !song->itRead) {
      PointReader(song);
      int drop = newRow ? song->nextRow : 0;
      if (drop >= Rows(song)) drop = 0;
      for (int i = 0; i < drop; i++) ReadRow(song);
    }
    if (newRow) {
      song->row = song->nextRow < Rows(song) ? song->nextRow : 0;
      SndQueueSongCallback(song, kQueueRow, song->row);
    }
    ReadRow(song);
    song->nextOrder = song->nextRow = -1;
    SndItRow(song);
    if (song->nextRow == -1) {
      song->nextRow = song->row + 1;
      if (song->nextRow >= Rows(song)) {
        song->nextOrder = song->order + 1;
        song->nextRow = 0;
      }
    }
    if (song->nextOrder >= song->length) {
      song->nextOrder = song->restart;
      song->finished = true;
    }
  } else {
    SndItRow(song);
  }
  song->tick++;
  if (song->tick >= song->speed + song->patternDelay + song->finePatternDelay) {
    song->tick = 0;
    song->patternDelay = song->finePatternDelay = 0;
  }
}
