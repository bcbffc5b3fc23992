// Replacing a file whole: the new bytes go to a fresh temporary file in the target's folder,
// which is renamed over the target only once every byte is on disk; where a rename would miss
// the file the user has, the bytes are written into that file itself, after reserving room.
#pragma once
#include <cstddef>
#include <string>

// The compiler driver, the package writer, the player's extraction, every save command and the
// profile files write through this. A failure (no folder, no space, no permission) leaves the
// target as it was and no temporary file behind; *whyNot then holds the system's reason ("No
// space left on device"). A new file gets the usual mode (0666, or 0777 when executable, less
// the umask); a file replacing a plain file keeps that file's permissions, owner and group. An
// existing file this process may not write is refused ("Permission denied"), as writing into
// it would be. A link is followed: the file it leads to is replaced, in that file's folder.
// A file with other hard links, one whose owner or group the new file could not take, or one
// in a folder that refuses new files (or a rename over it) is written in place instead: room
// for its new size is reserved first, so a full disk fails before the file is touched.
bool PlatformReplaceFile(const std::string& path, const void* data, size_t size, bool executable,
                         std::string* whyNot);

// The same, written piece by piece (a download, a long save): begin, write any number of
// times, then commit (renamed over the target) or abandon (the temporary file removed, the
// target as it was). A write that fails is remembered and makes the commit fail. Beginning
// also removes what killed writers left in the target's folder: temporary files of processes
// that no longer exist. A replacement written in place holds its bytes in memory until the
// commit, when their size is known and can be reserved.
struct PlatformReplacement {
  int fd = -1;            // the temporary file; -1 when none is open
  std::string target;     // the file replaced at the commit (a link's own target)
  std::string temporary;  // ".NAME.PID-N.part" beside it
  int error = 0;          // errno of the first failed write; 0 while all went well
  bool executable = false;
  bool inPlace = false;   // the bytes go into the target itself at the commit
  std::string inPlaceWhy;  // why ("it has other links")
  std::string staged;     // the bytes an in-place replacement holds until the commit
};
// Starts a replacement; false (nothing made) with the reason in *whyNot.
bool PlatformBeginReplace(const std::string& path, bool executable, PlatformReplacement* replacement,
                          std::string* whyNot);
bool PlatformWriteReplacement(PlatformReplacement* replacement, const void* data, size_t size);
// Closes and renames the temporary file over the target (or writes the target in place);
// false (the temporary file removed) with the reason when a write or the rename failed.
bool PlatformCommitReplace(PlatformReplacement* replacement, std::string* whyNot);
void PlatformAbandonReplace(PlatformReplacement* replacement);
bool PlatformReplacing(const PlatformReplacement& replacement);  // begun, neither committed nor abandoned
// main, at start-up: where a file written in place is told ("NAME written in place: it has
// other links"); the runtime logs it to QV.LOG in debug mode. Null: nowhere.
void PlatformSetReplaceNotes(void (*note)(const char* text));
