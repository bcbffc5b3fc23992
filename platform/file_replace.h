// Replacing a file whole: the new bytes go to a fresh temporary file in the target's folder,
// which is renamed over the target only once every byte is on disk.
#pragma once
#include <cstddef>
#include <string>

// The compiler driver, the package writer, the player's extraction, every save command and the
// profile files write through this. A failure (no folder, no space, no permission) leaves the
// target as it was and no temporary file behind; *whyNot then holds the system's reason ("No
// space left on device"). A new file gets the usual mode (0666, or 0777 when executable, less
// the umask); a file replacing a plain file keeps that file's permissions. An existing file
// this process may not write is refused ("Permission denied"), as writing into it would be.
bool PlatformReplaceFile(const std::string& path, const void* data, size_t size, bool executable,
                         std::string* whyNot);

// The same, written piece by piece (a download, a long save): begin, write any number of
// times, then commit (renamed over the target) or abandon (the temporary file removed, the
// target as it was). A write that fails is remembered and makes the commit fail. Beginning
// also removes what killed writers of the same target left beside it: temporary files of
// processes that no longer exist.
struct PlatformReplacement {
  int fd = -1;            // the temporary file; -1 when none is open
  std::string target;     // the file replaced at the commit
  std::string temporary;  // ".NAME.PID-N.part" beside it
  int error = 0;          // errno of the first failed write; 0 while all went well
};
// Starts a replacement; false (nothing made) with the reason in *whyNot.
bool PlatformBeginReplace(const std::string& path, bool executable, PlatformReplacement* replacement,
                          std::string* whyNot);
bool PlatformWriteReplacement(PlatformReplacement* replacement, const void* data, size_t size);
// Closes and renames the temporary file over the target; false (the temporary file removed)
// with the reason when a write or the rename failed.
bool PlatformCommitReplace(PlatformReplacement* replacement, std::string* whyNot);
void PlatformAbandonReplace(PlatformReplacement* replacement);
bool PlatformReplacing(const PlatformReplacement& replacement);  // begun, neither committed nor abandoned
