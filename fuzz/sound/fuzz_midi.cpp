// Feeds arbitrary bytes to the MIDI file reader, half of the time behind a valid "MThd" header
// (or an RMID form) so the track reader is reached; what it gives must be in play order, with
// every system-exclusive message inside the store.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sound/songs/songs_local.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes;
  if (size > 0 && (data[0] & 1)) {
    static const uint8_t kHeader[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 96};
    bytes.assign(kHeader, kHeader + sizeof kHeader);
    if (data[0] & 2) {
      static const uint8_t kRiff[] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D', 'd', 'a', 't', 'a', 0xFF, 0xFF, 0, 0};
      bytes.insert(bytes.begin(), kRiff, kRiff + sizeof kRiff);
    }
    bytes.insert(bytes.end(), data + 1, data + size);
  } else {
    bytes.assign(data, data + size);
  }
  MidiSequence sequence;
  if (!SndParseMidi(bytes.data(), bytes.size(), &sequence)) return 0;
  int64_t last = 0;
  for (const MidiEvent& e : sequence.events) {
    if (e.us < last || e.us > sequence.lengthUs) std::abort();
    last = e.us;
    if (e.status == 0xF0 && (e.value > sequence.sysex.size() || e.length > sequence.sysex.size() - e.value)) std::abort();
  }
  return 0;
}
