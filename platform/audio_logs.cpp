// The system's sound libraries write their complaints to stderr when a machine has no sound
// card (ALSA's "cannot find card", OpenAL's "Could not open playback device"). A game then
// runs on without sound, as it should; its output is no place for them. A user who set
// OpenAL's log level keeps it.
#include <dlfcn.h>

#include <cstdlib>

#include "platform/audio.h"

namespace {

void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

void PlatformQuietSoundSystemLogs() {
  static bool quiet = false;
  if (quiet) return;
  quiet = true;
  setenv("ALSOFT_LOGLEVEL", "0", 0);
  // The handler must outlive every use of the library: the handle stays open.
  void* alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD);
  if (alsa == nullptr) alsa = dlopen("libasound.so.2", RTLD_LAZY);
  if (alsa == nullptr) return;
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  const auto setHandler = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler"));
  if (setHandler != nullptr) setHandler(IgnoreAlsaMessage);
}
