// Packed folders and entries from any bytes: lengths are checked before anything is
// allocated, and every path handed on stays below the target folder.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "commands/commands_local.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryPackSource folder(data, size);
  ReadPackedFolder(folder, [&](const std::string& path, const std::string& bytes) {
    // A safe path is relative, without "." or ".." parts, and its data came from the input.
    if (path.empty() || path[0] == '/' || bytes.size() > size) abort();
    for (size_t start = 0;;) {
      const size_t end = path.find('/', start);
      const std::string part = path.substr(start, end == std::string::npos ? end : end - start);
      if (part.empty() || part == "." || part == "..") abort();
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return true;
  });
  MemoryPackSource entry(data, size);
  std::string bytes;
  if (ReadPackedEntry(entry, &bytes) && bytes.size() + 4 > size) abort();
  return 0;
}
