// The MIDI synthesizer MIDI songs render through: a General MIDI synthesizer with a soundfont
// that turns channel messages into 32-bit float stereo at the mix rate, rendered on demand.
#pragma once
#include <cstdint>
#include <string>

struct PlatformMidiSynth;  // one synthesizer instance with its soundfont loaded

// The synthesizer the settings name ("fluidsynth"; "none" turns MIDI off) over the soundfont
// at `soundfont` (where it is not readable, the soundfont the game carries). Loads the
// synthesizer's library on first use. Null with `problem` filled when the name is unknown,
// the library is missing (the problem names it) or the soundfont does not load.
PlatformMidiSynth* PlatformMidiSynthCreate(const char* synthesizer, const char* soundfont, int sampleRate,
                                           std::string* problem);
// Whether a synthesizer could be made: the name is known, the soundfont (or the one the game
// carries) is a readable file and the library loads. Cheap: the soundfont is not read.
bool PlatformMidiSynthUsable(const char* synthesizer, const char* soundfont, std::string* problem);
void PlatformMidiSynthDestroy(PlatformMidiSynth* synth);
// One channel message: status 0x80..0xEF with its one or two data bytes.
void PlatformMidiSynthMessage(PlatformMidiSynth* synth, uint8_t status, uint8_t data1, uint8_t data2);
// A system-exclusive message without its leading 0xF0 (GM and GS resets reach the synthesizer).
void PlatformMidiSynthSysex(PlatformMidiSynth* synth, const uint8_t* data, int length);
// Every voice silenced at once and the channels back to their start-up programs and controllers.
void PlatformMidiSynthReset(PlatformMidiSynth* synth);
void PlatformMidiSynthSetReverb(PlatformMidiSynth* synth, bool on);
// The next `frames` frames, interleaved left and right, full scale +-1.0.
void PlatformMidiSynthRender(PlatformMidiSynth* synth, float* stereo, int frames);
