// The libraries and files behind each use a program makes, for the game builder's choice of
// what a game carries and for the message that names what a use is missing.
#include "platform/carried.h"

#include "platform/carried_archive.h"
#include "platform/lazy_library.h"

std::vector<std::string> FfmpegLibraryNames();  // ffmpeg_loader.cpp: the sonames its headers describe

namespace {

struct UseLibraries {
  CarriedUse use;
  const char* purpose;  // what needs them, as the message names it
  std::vector<std::string> names;
};

// One row per use; the loader files open the same sonames.
const std::vector<UseLibraries>& Uses() {
  static const std::vector<UseLibraries> uses = {
      {CarriedUse::kDisplayAndInput, "the window, input and sound output", {"libSDL2-2.0.so.0", "DejaVuSans.ttf"}},
      {CarriedUse::kSounds, "OpenAL's voices (sound output 2)", {"libopenal.so.1"}},
      {CarriedUse::kGsmSounds, "GSM 6.10 WAV files", {"libgsm.so.1"}},
      {CarriedUse::kMidiSongs, "MIDI songs", {"libfluidsynth.so.3", kCarriedSoundfont}},
      {CarriedUse::kVideo, "video animations", FfmpegLibraryNames()},
      {CarriedUse::kFtp, "FTP sessions", {"libcurl.so.4"}},
      {CarriedUse::kCdAudio, "CD tracks", {"libcdio.so.19"}},
      {CarriedUse::kPictures, "TIFF and PSD pictures", {"libfreeimage.so.3"}},
  };
  return uses;
}

}  // namespace

std::vector<std::string> CarriedNamesFor(CarriedUse use) {
  for (const UseLibraries& row : Uses())
    if (row.use == use) return row.names;
  return {};
}

std::string PlatformUseProblem(CarriedUse use) {
  for (const UseLibraries& row : Uses()) {
    if (row.use != use) continue;
    for (const std::string& name : row.names)
      if (IsCarriedLibraryName(name) && OpenLazyLibrary(name.c_str()) == nullptr)
        return std::string(row.purpose) + " need " + LazyLibraryProblem(name.c_str());
  }
  return "";
}
