// Pass-through operations that every output of this library answers alike: no device behind
// them keeps state, so each gives the no-sound output's constant result after the same
// checks (error 2 before start-up, error 14 for a missing object or a null answer).
#include "sound/sound_local.h"

namespace {

// The word the byte query answers with the address of.
uint32_t g_reservedWord = 0;

bool Started() {
  SndEnter();
  return gSnd.initialised || SndFail(kSndErrNotInitialised);
}

}  // namespace

uintptr_t SndReservedQuery() {
  if (!Started()) return 0;
  SndFail(kSndErrInvalid);  // the outputs answer with their stored word, which is 0
  return 0;
}

bool SndReservedObject(void* object) {
  if (!Started()) return false;
  return object != nullptr || SndFail(kSndErrInvalid);
}

bool SndReservedObjectLevels(void* object, float levels[4]) {
  if (!Started()) return false;
  for (int i = 0; i < 4; ++i) levels[i] = levels[i] > 1.0f ? 1.0f : levels[i] >= 0.0f ? levels[i] : 0.0f;
  (void)object;
  return true;
}

bool SndReservedObjectWords(void*, const uint32_t[4]) { return Started(); }

bool SndReservedTransfer(const void* first, const void* second, const void* third, uint32_t, uint32_t,
                         uint32_t, uint32_t) {
  if (!Started()) return false;
  return (first != nullptr && second != nullptr && third != nullptr) || SndFail(kSndErrInvalid);
}

int32_t SndReservedObjectWord(void* object) {
  if (!Started()) return -1;
  if (object == nullptr) {
    SndFail(kSndErrInvalid);
    return -1;
  }
  return 0;
}

uint32_t* SndReservedByte(uint8_t) { return Started() ? &g_reservedWord : nullptr; }
