// The image-file layer: loads an image file into a new CPU surface and saves a surface, by the
// last three letters of the file name. Used by the bitmap and image commands and by tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct Surface;

// Loads jpg, bmp, rle, dib, psd, pcx, tga, dds, png or tif by the name's last three letters;
// null (with the reason in whyNot) when the file is missing, unreadable or malformed.
Surface* LoadImageFile(const char* path, std::string* whyNot);
// The same from bytes in memory; extension is the three letters (any case). Fuzzed.
Surface* LoadImageFromMemory(const uint8_t* data, size_t size, const char* extension, std::string* whyNot);
// Saves as jpg, bmp, tga, dds or png by the name's last three letters; false with a reason
// for any other extension (pcx and psd are read-only here), or when writing fails.
bool SaveImageFile(const char* path, const Surface& surface, std::string* whyNot);
// The reason a load fails with when its picture would take the live images and bitmaps past
// their memory limit (the image commands raise error 511 for it).
extern const char kImageMemoryFullReason[];
// JPEG quality used by SaveImageFile (1..100).
constexpr int kJpegSaveQuality = 90;
