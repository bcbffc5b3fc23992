// Profile (INI) files: a value per key in a section, read and written the way the settings,
// WIN.INI state and QV.LOG rely on; sections and keys compare without case.
#pragma once
#include <string>
#include <utility>
#include <vector>

// The value of key in section, or fallback when the file, the section or the key is missing.
// Only a regular file of at most 1 MB is read; anything else is ignored with a line on stderr.
std::string PlatformReadProfileString(const char* path, const char* section, const char* key,
                                      const char* fallback);
// Sets key in section (adding both when missing), replacing the file through a temporary
// file in the same folder, under a lock so writers in other processes wait their turn. False
// when the folder cannot be written, or path is a link or no regular file.
bool PlatformWriteProfileString(const char* path, const char* section, const char* key,
                                const char* value);
// Sets many keys of one section with a single rewrite of the file; the file ends exactly as
// after one PlatformWriteProfileString per entry, in order (the debug trace's batches).
bool PlatformWriteProfileStrings(const char* path, const char* section,
                                 const std::vector<std::pair<std::string, std::string>>& entries);
// A debugging run's start (QV.LOG): deletes the log for a fresh one unless another running
// process writes it too, whose entries stay; marks this process as a writer until exit.
void PlatformStartLog(const char* path);
