// Profile (INI) files: a value per key in a section, read and written the way the settings,
// WIN.INI state and QV.LOG rely on; sections and keys compare without case.
#pragma once
#include <string>
#include <utility>
#include <vector>

// The value of key in section, or fallback when the file, the section or the key is missing.
std::string PlatformReadProfileString(const char* path, const char* section, const char* key,
                                      const char* fallback);
// Sets key in section (adding both when missing), replacing the file through a temporary
// file in the same folder. False when the folder cannot be written.
bool PlatformWriteProfileString(const char* path, const char* section, const char* key,
                                const char* value);
// Sets many keys of one section with a single rewrite of the file; the file ends exactly as
// after one PlatformWriteProfileString per entry, in order (the debug trace's batches).
bool PlatformWriteProfileStrings(const char* path, const char* section,
                                 const std::vector<std::pair<std::string, std::string>>& entries);
