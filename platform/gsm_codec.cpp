// GSM 06.10 blocks of WAV files through libgsm in its WAV layout (two frames in 65 bytes, the
// first 33 bytes long and the second 32).
#include "platform/gsm_codec.h"

#include <gsm/gsm.h>

#include <atomic>

#include "platform/carried.h"

bool GsmLibraryLoaded();  // platform/gsm_loader.cpp

static std::atomic<bool> gHideLibrary{false};  // tests only

void PlatformGsmHideLibraryForTests(bool hide) { gHideLibrary = hide; }

bool PlatformGsmUsable(std::string* problem) {
  if (!gHideLibrary && GsmLibraryLoaded()) return true;
  const std::string missing = gHideLibrary ? "" : PlatformUseProblem(CarriedUse::kGsmSounds);
  if (problem != nullptr)
    *problem = !missing.empty() ? missing : "GSM 6.10 WAV files need libgsm.so.1, which is not installed here";
  return false;
}

PlatformGsmDecoder* PlatformGsmCreate() {
  if (!PlatformGsmUsable(nullptr)) return nullptr;
  gsm handle = gsm_create();
  if (handle == nullptr) return nullptr;
  int wavLayout = 1;
  if (gsm_option(handle, GSM_OPT_WAV49, &wavLayout) < 0) {
    gsm_destroy(handle);
    return nullptr;
  }
  return reinterpret_cast<PlatformGsmDecoder*>(handle);
}

void PlatformGsmDestroy(PlatformGsmDecoder* decoder) {
  if (decoder != nullptr) gsm_destroy(reinterpret_cast<gsm>(decoder));
}

bool PlatformGsmDecodeBlock(PlatformGsmDecoder* decoder, const uint8_t* block, int16_t* samples) {
  gsm handle = reinterpret_cast<gsm>(decoder);
  // libgsm reads the frames without writing them; its signature only lacks the const.
  auto* frame = const_cast<gsm_byte*>(block);
  return gsm_decode(handle, frame, samples) >= 0 &&
         gsm_decode(handle, frame + 33, samples + kPlatformGsmBlockSamples / 2) >= 0;
}
