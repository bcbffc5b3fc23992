// Files and folders for the program's own file commands: descriptors for numbered files,
// whole-file reads, copies and renames that never replace a file, folder listings
// and tree deletes that never follow links, and the drives of this machine.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Descriptors are -1 when closed (0 is a valid one). Reads and writes retry interrupted calls.
int PlatformOpenFileToRead(const std::string& path);       // an existing regular file; -1 else
int PlatformCreateNewFile(const std::string& path);        // fails when the name exists
// Bytes read (0 at the end), -1 when the call failed.
long PlatformReadBytes(int fd, void* buffer, size_t count);
// One read call: what the file has now, up to count (0 at its end); -1 when it failed.
long PlatformReadSome(int fd, void* buffer, size_t count);
// False when not every byte was written; PlatformLastError then says why.
bool PlatformWriteBytes(int fd, const void* buffer, size_t count);
// The system's reason for the last failed call of this thread ("No space left on device").
std::string PlatformLastError();
void PlatformCloseFile(int fd);
// Bytes left between the descriptor's position and the end of its file; -1 when unknown.
int64_t PlatformBytesLeft(int fd);

// A whole file (regular, at most maxBytes) into *bytes; false when it cannot be read.
bool PlatformReadWholeFile(const std::string& path, size_t maxBytes, std::string* bytes);
int64_t PlatformFileSize(const std::string& path);  // -1 when no such file
bool PlatformPathExists(const std::string& path);   // file, folder or link
bool PlatformIsFolder(const std::string& path);
bool PlatformIsLink(const std::string& path);
bool PlatformFileIsReadOnly(const std::string& path);
bool PlatformMakeFolder(const std::string& path);
// Deletes the folder and everything below it, removing links without following them; false
// when it does not exist or something could not be removed.
bool PlatformDeleteFolderTree(const std::string& path);
// Copies a file to a new name; false (the target untouched) when the target exists, and no
// partial target is left behind on failure.
bool PlatformCopyFileNoReplace(const std::string& source, const std::string& target);
// Renames or moves without ever replacing an existing target.
bool PlatformRenameNoReplace(const std::string& from, const std::string& to);

struct PlatformFolderEntry {
  std::string name;
  bool folder;
  int64_t writeTime;  // seconds since 1970
  int64_t size;
  bool program = false;  // a regular file with an execute bit
};
// A folder's entries sorted by name, "." and ".." first when asked; links are listed by what
// they point at. False when the folder cannot be read.
bool PlatformListFolder(const std::string& folder, bool withDots, std::vector<PlatformFolderEntry>* entries);
// "Thu Dec 10 18:22:15 2026": a write time in local time, 24 characters.
std::string PlatformTimeText(int64_t seconds);
// The drives a program may enter: "/" and every file system mounted under /media, /mnt and
// /run/media/<user>.
std::vector<std::string> PlatformDrives();
