// MIDI test fixtures: standard MIDI files built event by event, the same in a RIFF "RMID"
// form, and a tiny soundfont whose one instrument is a looped square wave (441 Hz at key 60),
// so an onset is easy to find in a render.
#pragma once
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace midi_fixtures {

using Bytes = std::vector<uint8_t>;

inline void Put(Bytes& out, std::initializer_list<uint8_t> bytes) {
  for (uint8_t b : bytes) out.push_back(b);
}
inline void PutText(Bytes& out, const char* text, size_t size) {
  for (size_t i = 0; i < size; i++) out.push_back(i < std::strlen(text) ? static_cast<uint8_t>(text[i]) : 0);
}
inline void PutLe(Bytes& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; i++) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
inline void PutBe(Bytes& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; i--) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
inline void PutNumber(Bytes& out, uint32_t value) {  // a variable-length quantity
  uint8_t groups[5];
  int n = 0;
  do {
    groups[n++] = value & 0x7F;
    value >>= 7;
  } while (value != 0);
  while (n-- > 0) out.push_back(static_cast<uint8_t>(groups[n] | (n > 0 ? 0x80 : 0)));
}

// Track events: each starts with its delta time in ticks.
inline Bytes NoteOn(uint32_t delta, int key, int channel = 0, int velocity = 127) {
  Bytes e;
  PutNumber(e, delta);
  Put(e, {static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(key), static_cast<uint8_t>(velocity)});
  return e;
}
inline Bytes NoteOff(uint32_t delta, int key, int channel = 0) {
  Bytes e;
  PutNumber(e, delta);
  Put(e, {static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(key), 0});
  return e;
}
inline Bytes Tempo(uint32_t delta, uint32_t microsecondsPerQuarter) {
  Bytes e;
  PutNumber(e, delta);
  Put(e, {0xFF, 0x51, 0x03});
  PutBe(e, microsecondsPerQuarter, 3);
  return e;
}
inline Bytes Track(std::initializer_list<Bytes> events, bool endOfTrack = true) {
  Bytes t;
  for (const Bytes& e : events) t.insert(t.end(), e.begin(), e.end());
  if (endOfTrack) Put(t, {0x00, 0xFF, 0x2F, 0x00});
  return t;
}

inline Bytes Smf(int format, int division, const std::vector<Bytes>& tracks) {
  Bytes out;
  Put(out, {'M', 'T', 'h', 'd', 0, 0, 0, 6});
  PutBe(out, static_cast<uint32_t>(format), 2);
  PutBe(out, static_cast<uint32_t>(tracks.size()), 2);
  PutBe(out, static_cast<uint32_t>(division) & 0xFFFF, 2);
  for (const Bytes& t : tracks) {
    Put(out, {'M', 'T', 'r', 'k'});
    PutBe(out, static_cast<uint32_t>(t.size()), 4);
    out.insert(out.end(), t.begin(), t.end());
  }
  return out;
}

inline Bytes Riff(const char* form, const char* chunk, const Bytes& content) {
  Bytes out;
  Put(out, {'R', 'I', 'F', 'F'});
  PutLe(out, static_cast<uint32_t>(12 + content.size() + (content.size() & 1)), 4);
  PutText(out, form, 4);
  PutText(out, chunk, 4);
  PutLe(out, static_cast<uint32_t>(content.size()), 4);
  out.insert(out.end(), content.begin(), content.end());
  if (content.size() & 1) out.push_back(0);
  return out;
}

// A one-note song: key 60 from `onTick` for `lengthTicks`, 96 ticks per quarter at 120 bpm.
inline Bytes OneNote(uint32_t onTick, uint32_t lengthTicks = 96) {
  return Smf(0, 96, {Track({NoteOn(onTick, 60), NoteOff(lengthTicks, 60)})});
}

inline Bytes Chunk(const char* id, const Bytes& content) {
  Bytes out;
  PutText(out, id, 4);
  PutLe(out, static_cast<uint32_t>(content.size()), 4);
  out.insert(out.end(), content.begin(), content.end());
  if (content.size() & 1) out.push_back(0);
  return out;
}
inline Bytes List(const char* type, std::initializer_list<Bytes> chunks) {
  Bytes content;
  PutText(content, type, 4);
  for (const Bytes& c : chunks) content.insert(content.end(), c.begin(), c.end());
  return Chunk("LIST", content);
}

// The soundfont: preset 0 of bank 0 plays one instrument over every key, a square wave of a
// 100-frame period at 44100 Hz, root key 60, looped.
inline Bytes TinySoundfont() {
  constexpr uint32_t kFrames = 4410;
  Bytes samples;
  for (uint32_t i = 0; i < kFrames + 46; i++) PutLe(samples, i < kFrames ? (i % 100 < 50 ? 16000u : static_cast<uint16_t>(-16000)) : 0u, 2);
  Bytes phdr, pbag, pmod(10, 0), pgen, inst, ibag, imod(10, 0), igen, shdr;
  PutText(phdr, "square", 20), PutLe(phdr, 0, 2), PutLe(phdr, 0, 2), PutLe(phdr, 0, 2), phdr.resize(phdr.size() + 12);
  PutText(phdr, "EOP", 20), PutLe(phdr, 0, 2), PutLe(phdr, 0, 2), PutLe(phdr, 1, 2), phdr.resize(phdr.size() + 12);
  PutLe(pbag, 0, 2), PutLe(pbag, 0, 2), PutLe(pbag, 1, 2), PutLe(pbag, 0, 2);
  PutLe(pgen, 41, 2), PutLe(pgen, 0, 2), PutLe(pgen, 0, 4);  // instrument 0, then the terminal record
  PutText(inst, "square", 20), PutLe(inst, 0, 2), PutText(inst, "EOI", 20), PutLe(inst, 1, 2);
  PutLe(ibag, 0, 2), PutLe(ibag, 0, 2), PutLe(ibag, 2, 2), PutLe(ibag, 0, 2);
  PutLe(igen, 54, 2), PutLe(igen, 1, 2);  // sample modes: loop
  PutLe(igen, 53, 2), PutLe(igen, 0, 2);  // sample 0 (the last generator of a zone)
  PutLe(igen, 0, 4);
  PutText(shdr, "square", 20);
  PutLe(shdr, 0, 4), PutLe(shdr, kFrames, 4), PutLe(shdr, 100, 4), PutLe(shdr, 4400, 4), PutLe(shdr, 44100, 4);
  Put(shdr, {60, 0}), PutLe(shdr, 0, 2), PutLe(shdr, 1, 2);
  PutText(shdr, "EOS", 46);
  Bytes ifil;
  PutLe(ifil, 2, 2), PutLe(ifil, 1, 2);
  Bytes name;
  PutText(name, "tiny", 6);
  Bytes engine;
  PutText(engine, "EMU8000", 8);
  Bytes body;
  PutText(body, "sfbk", 4);
  for (const Bytes& list : {List("INFO", {Chunk("ifil", ifil), Chunk("isng", engine), Chunk("INAM", name)}),
                            List("sdta", {Chunk("smpl", samples)}),
                            List("pdta", {Chunk("phdr", phdr), Chunk("pbag", pbag), Chunk("pmod", pmod),
                                          Chunk("pgen", pgen), Chunk("inst", inst), Chunk("ibag", ibag),
                                          Chunk("imod", imod), Chunk("igen", igen), Chunk("shdr", shdr)})})
    body.insert(body.end(), list.begin(), list.end());
  return Chunk("RIFF", body);
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace midi_fixtures
