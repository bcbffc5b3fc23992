// Replacing a file whole: the new bytes go to a fresh temporary file in the target's folder,
// which is renamed over the target only once every byte is on disk.
#pragma once
#include <cstddef>
#include <string>

// The compiler driver, the package writer, the player's extraction, image saves and profile
// files write through this. A failure (no folder, no space, no permission) leaves the target as it was and no
// temporary file behind; *whyNot then holds the system's reason ("No space left on
// device"). A new file gets the usual mode (0666, or 0777 when executable, less the umask); a file replacing a
// plain file keeps that file's permissions.
bool PlatformReplaceFile(const std::string& path, const void* data, size_t size, bool executable,
                         std::string* whyNot);
