// libgsm, loaded when a program first loads a GSM 6.10 WAV file: a built game carries it
// instead of every run mapping it. The definitions below are its entry points, forwarded.
#include <gsm/gsm.h>

#include "platform/lazy_library.h"

// Without the library each entry answers as the library does on failure (no decoder, -1), so
// a GSM file is refused instead of the run.
static void* Library() {
  static void* const handle = OpenLazyLibrary("libgsm.so.1");
  return handle;
}

bool GsmLibraryLoaded() { return Library() != nullptr; }

gsm gsm_create() { QV_FORWARD(gsm_create, nullptr); }
void gsm_destroy(gsm handle) { QV_FORWARD(gsm_destroy, void(), handle); }
int gsm_option(gsm handle, int option, int* value) { QV_FORWARD(gsm_option, -1, handle, option, value); }
int gsm_decode(gsm handle, gsm_byte* frame, gsm_signal* samples) {
  QV_FORWARD(gsm_decode, -1, handle, frame, samples);
}

#undef QV_FORWARD
