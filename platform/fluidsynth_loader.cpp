// FluidSynth, loaded when a program first plays a MIDI song: linked in, it and the libraries
// under it (glib, the audio back-ends) were mapped and relocated at every start.
#include <fluidsynth.h>

#include "platform/lazy_library.h"

// The entry points the MIDI synthesizer calls are defined here with the library's signatures
// and forwarded to it. Without the library each answers as the library does on failure (no
// settings, no synthesizer, FLUID_FAILED), so a MIDI song is refused instead of the run.
static void* Library() {
  static void* const handle = OpenLazyLibrary("libfluidsynth.so.3");
  return handle;
}

fluid_settings_t* new_fluid_settings() { QV_FORWARD(new_fluid_settings, nullptr); }
void delete_fluid_settings(fluid_settings_t* settings) { QV_FORWARD(delete_fluid_settings, void(), settings); }
int fluid_settings_setnum(fluid_settings_t* settings, const char* name, double value) {
  QV_FORWARD(fluid_settings_setnum, FLUID_FAILED, settings, name, value);
}
int fluid_settings_setint(fluid_settings_t* settings, const char* name, int value) {
  QV_FORWARD(fluid_settings_setint, FLUID_FAILED, settings, name, value);
}
fluid_synth_t* new_fluid_synth(fluid_settings_t* settings) { QV_FORWARD(new_fluid_synth, nullptr, settings); }
void delete_fluid_synth(fluid_synth_t* synth) { QV_FORWARD(delete_fluid_synth, void(), synth); }
int fluid_synth_sfload(fluid_synth_t* synth, const char* file, int reset) {
  QV_FORWARD(fluid_synth_sfload, FLUID_FAILED, synth, file, reset);
}
int fluid_synth_noteon(fluid_synth_t* synth, int channel, int key, int velocity) {
  QV_FORWARD(fluid_synth_noteon, FLUID_FAILED, synth, channel, key, velocity);
}
int fluid_synth_noteoff(fluid_synth_t* synth, int channel, int key) {
  QV_FORWARD(fluid_synth_noteoff, FLUID_FAILED, synth, channel, key);
}
int fluid_synth_cc(fluid_synth_t* synth, int channel, int control, int value) {
  QV_FORWARD(fluid_synth_cc, FLUID_FAILED, synth, channel, control, value);
}
int fluid_synth_key_pressure(fluid_synth_t* synth, int channel, int key, int value) {
  QV_FORWARD(fluid_synth_key_pressure, FLUID_FAILED, synth, channel, key, value);
}
int fluid_synth_channel_pressure(fluid_synth_t* synth, int channel, int value) {
  QV_FORWARD(fluid_synth_channel_pressure, FLUID_FAILED, synth, channel, value);
}
int fluid_synth_pitch_bend(fluid_synth_t* synth, int channel, int value) {
  QV_FORWARD(fluid_synth_pitch_bend, FLUID_FAILED, synth, channel, value);
}
int fluid_synth_program_change(fluid_synth_t* synth, int channel, int program) {
  QV_FORWARD(fluid_synth_program_change, FLUID_FAILED, synth, channel, program);
}
int fluid_synth_sysex(fluid_synth_t* synth, const char* data, int length, char* response, int* responseLength,
                      int* handled, int dryRun) {
  QV_FORWARD(fluid_synth_sysex, FLUID_FAILED, synth, data, length, response, responseLength, handled, dryRun);
}
int fluid_synth_system_reset(fluid_synth_t* synth) { QV_FORWARD(fluid_synth_system_reset, FLUID_FAILED, synth); }
int fluid_synth_all_sounds_off(fluid_synth_t* synth, int channel) {
  QV_FORWARD(fluid_synth_all_sounds_off, FLUID_FAILED, synth, channel);
}
int fluid_synth_reverb_on(fluid_synth_t* synth, int group, int on) {
  QV_FORWARD(fluid_synth_reverb_on, FLUID_FAILED, synth, group, on);
}
int fluid_synth_write_float(fluid_synth_t* synth, int length, void* left, int leftOffset, int leftStride, void* right,
                            int rightOffset, int rightStride) {
  QV_FORWARD(fluid_synth_write_float, FLUID_FAILED, synth, length, left, leftOffset, leftStride, right, rightOffset,
             rightStride);
}
fluid_log_function_t fluid_set_log_function(int level, fluid_log_function_t function, void* data) {
  QV_FORWARD(fluid_set_log_function, nullptr, level, function, data);
}

#undef QV_FORWARD
