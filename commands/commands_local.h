// Declarations shared inside the command families: the packed-folder and array-file formats
// (read apart from the commands so the fuzz targets reach them) and the read targets.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/runtime.h"

// ---- packed files ----

// Where packed data comes from: a numbered file or, in tests and fuzzing, memory. Reads past
// the end give fewer bytes; Left bounds every length before anything is allocated.
struct PackSource {
  virtual ~PackSource() = default;
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual uint64_t Left() = 0;
};
struct MemoryPackSource : PackSource {
  const uint8_t* data;
  size_t size, at = 0;
  MemoryPackSource(const void* bytes, size_t count) : data(static_cast<const uint8_t*>(bytes)), size(count) {}
  size_t Read(void* buffer, size_t count) override;
  uint64_t Left() override { return size - at; }
};

// A packed path ("levels\one.dat") as a relative path below the target folder
// ("levels/one.dat"); false for absolute paths, drive names, "." or ".." parts, empty parts
// and control characters.
bool SafePackedPath(const std::string& packed, std::string* relative);
// Reads one packed folder: its count, then each record, handing every file's relative path
// and bytes to the sink (which answers false to stop). False when the data is truncated, a
// length is larger than what is left, or a path is unsafe; records before it were handed on.
bool ReadPackedFolder(PackSource& source, const std::function<bool(const std::string&, const std::string&)>& sink);
// One packed entry (length, bytes) into *bytes; false when fewer bytes are left than it says.
bool ReadPackedEntry(PackSource& source, std::string* bytes);

// ---- array files ----

// A string array file's elements: lines ended by CR LF or LF, at most 255 characters each
// (a longer line goes on in the next element), for count elements; missing ones are "".
std::vector<std::string> SplitArrayFileLines(const std::string& bytes, size_t count);

// ---- numbered files ----

// Writes what the numbered files hold in their buffers: a command that reads or looks at a
// file by its name (its size, a copy, a byte in it, an array load, a program run) calls this
// first, so it finds what the program wrote. A failure is told at the number's next command.
void FlushNumberedFileWrites();

// ---- read targets ----

// Stores a value read by a command into its target operand: a variable, or the array
// element behind a temporary (its element reference); other slots get nothing.
void StoreReadInt(int operand, int32_t value);
void StoreReadFloat(int operand, float value);
void StoreReadText(int operand, const char* text, size_t length);
