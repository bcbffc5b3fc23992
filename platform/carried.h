// What a built game carries for machines that lack it, by the uses its program makes: the
// names the game builder packs for each use, the archive the running executable carries, and
// what a use is missing when neither the machine nor the game has its library.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The uses the game builder judges from a program's commands (DisplayAndInput for every game).
enum class CarriedUse { kDisplayAndInput, kSounds, kGsmSounds, kMidiSongs, kVideo, kFtp, kCdAudio, kPictures };

// The names a game making this use carries: libraries by soname (each comes with the carried
// libraries it needs) and data files by name. The game builder calls it.
std::vector<std::string> CarriedNamesFor(CarriedUse use);
// The name under which a game carries the soundfont of its MIDI songs.
inline constexpr char kCarriedSoundfont[] = "soundfont.sf2";

// At start-up, from the runtime's reading of its own file: the carried archive lies at
// offset..offset+size of file, a game's (messages then say "this game") or the development
// executable's. False with the reason when it cannot be read or is damaged.
bool PlatformCarryFrom(const std::string& file, uint64_t offset, uint64_t size, bool game, std::string* whyNot);
// Whether the archive read at start-up holds an item of that name.
bool PlatformCarries(const char* name);
// "" when the libraries of the use load (they are loaded now); else what the use is missing,
// naming the library ("video animations need libavformat.so.59, which is not installed
// here, and this game does not carry it"). The medium that failed for it is the caller's to name.
std::string PlatformUseProblem(CarriedUse use);
