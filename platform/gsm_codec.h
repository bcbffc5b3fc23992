// GSM 06.10 full-rate speech as WAV files hold it (format 0x31): blocks of 65 bytes, each two
// frames that decode to 320 samples. Decoded by libgsm, which is loaded on first use.
#pragma once
#include <cstdint>
#include <string>

enum : int {
  kPlatformGsmBlockBytes = 65,
  kPlatformGsmBlockSamples = 320,
};

struct PlatformGsmDecoder;  // one stream's decoder history

// Whether GSM data can be decoded here; when not, `problem` names the library that is missing.
bool PlatformGsmUsable(std::string* problem);
// A decoder for one stream of blocks; null when libgsm is missing or memory ran out.
PlatformGsmDecoder* PlatformGsmCreate();
void PlatformGsmDestroy(PlatformGsmDecoder* decoder);
// Decodes one 65-byte block into 320 samples; false when libgsm refuses the block.
bool PlatformGsmDecodeBlock(PlatformGsmDecoder* decoder, const uint8_t* block, int16_t* samples);
// Tests: behave as on a machine without libgsm (true) or as this one is (false).
void PlatformGsmHideLibraryForTests(bool hide);
