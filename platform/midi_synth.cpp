// MIDI synthesizer over FluidSynth: one synthesizer per instance with the General MIDI
// soundfont loaded, driven message by message and rendered as the mixer asks.
#include "platform/midi_synth.h"

#include "platform/carried.h"
#include "platform/lazy_library.h"

#include <fluidsynth.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>


struct PlatformMidiSynth {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
};

// The library's messages would go to stderr; a refused soundfont is reported by its result.
static void QuietLog() {
  static const bool done = [] {
    for (int level = FLUID_PANIC; level <= FLUID_DBG; level++) fluid_set_log_function(level, nullptr, nullptr);
    return true;
  }();
  (void)done;
}

static bool Readable(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), R_OK) == 0;
}

// The soundfont the synthesizer loads: the one asked for where it is readable, else the one
// the game carries (a built game on a machine without the soundfont package); "" for none.
static std::string SoundfontToLoad(const char* soundfont) {
  if (soundfont != nullptr && Readable(soundfont)) return soundfont;
  return PlatformCarries(kCarriedSoundfont) ? CarriedFilePath(kCarriedSoundfont) : "";
}

bool PlatformMidiSynthUsable(const char* synthesizer, const char* soundfont, std::string* problem) {
  auto fail = [problem](std::string text) {
    if (problem != nullptr) *problem = std::move(text);
    return false;
  };
  if (synthesizer == nullptr || std::strcmp(synthesizer, "fluidsynth") != 0)
    return fail(std::string("no MIDI synthesizer named \"") + (synthesizer ? synthesizer : "") + "\"");
  const std::string missing = PlatformUseProblem(CarriedUse::kMidiSongs);
  if (!missing.empty()) return fail(missing);
  // Cheap: a carried soundfont is unpacked only when a synthesizer is made.
  if ((soundfont == nullptr || !Readable(soundfont)) && !PlatformCarries(kCarriedSoundfont))
    return fail(std::string("MIDI songs need a soundfont: none is readable at ") + (soundfont ? soundfont : "(none)") +
                ", and none is carried");
  return true;
}

PlatformMidiSynth* PlatformMidiSynthCreate(const char* synthesizer, const char* soundfont, int sampleRate,
                                           std::string* problem) {
  if (!PlatformMidiSynthUsable(synthesizer, soundfont, problem)) return nullptr;
  const std::string font = SoundfontToLoad(soundfont);
  QuietLog();
  auto* synth = new PlatformMidiSynth;
  synth->settings = new_fluid_settings();
  if (synth->settings != nullptr) {
    fluid_settings_setnum(synth->settings, "synth.sample-rate", sampleRate);
    fluid_settings_setint(synth->settings, "synth.threadsafe-api", 0);  // the caller serialises
    synth->synth = new_fluid_synth(synth->settings);
  }
  if (synth->synth == nullptr || fluid_synth_sfload(synth->synth, font.c_str(), 1) == FLUID_FAILED) {
    PlatformMidiSynthDestroy(synth);
    if (problem != nullptr) *problem = "the soundfont " + font + " does not load";
    return nullptr;
  }
  return synth;
}

void PlatformMidiSynthDestroy(PlatformMidiSynth* synth) {
  if (synth == nullptr) return;
  if (synth->synth != nullptr) delete_fluid_synth(synth->synth);
  if (synth->settings != nullptr) delete_fluid_settings(synth->settings);
  delete synth;
}

void PlatformMidiSynthMessage(PlatformMidiSynth* synth, uint8_t status, uint8_t data1, uint8_t data2) {
  fluid_synth_t* s = synth->synth;
  const int channel = status & 0x0F;
  switch (status & 0xF0) {
    case 0x80: fluid_synth_noteoff(s, channel, data1); break;
    case 0x90: fluid_synth_noteon(s, channel, data1, data2); break;  // velocity 0 is a note-off there
    case 0xA0: fluid_synth_key_pressure(s, channel, data1, data2); break;
    case 0xB0: fluid_synth_cc(s, channel, data1, data2); break;
    case 0xC0: fluid_synth_program_change(s, channel, data1); break;
    case 0xD0: fluid_synth_channel_pressure(s, channel, data1); break;
    case 0xE0: fluid_synth_pitch_bend(s, channel, data1 | data2 << 7); break;
    default: break;
  }
}

void PlatformMidiSynthSysex(PlatformMidiSynth* synth, const uint8_t* data, int length) {
  // The file's form ends with 0xF7; the library takes the bytes between.
  if (length > 0 && data[length - 1] == 0xF7) length--;
  if (length > 0)
    fluid_synth_sysex(synth->synth, reinterpret_cast<const char*>(data), length, nullptr, nullptr, nullptr, 0);
}

void PlatformMidiSynthReset(PlatformMidiSynth* synth) {
  fluid_synth_all_sounds_off(synth->synth, -1);
  fluid_synth_system_reset(synth->synth);
}

void PlatformMidiSynthSetReverb(PlatformMidiSynth* synth, bool on) { fluid_synth_reverb_on(synth->synth, -1, on ? 1 : 0); }

void PlatformMidiSynthRender(PlatformMidiSynth* synth, float* stereo, int frames) {
  fluid_synth_write_float(synth->synth, frames, stereo, 0, 2, stereo, 1, 2);
}
