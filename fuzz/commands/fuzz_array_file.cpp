// String array files from any bytes: every element at most 255 characters, exactly the
// asked number of elements, and nothing read past the data.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "commands/commands_local.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t count = data[0];  // the array's element count comes from the first byte
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::vector<std::string> lines = SplitArrayFileLines(bytes, count);
  if (lines.size() != count) abort();
  size_t total = 0;
  for (const std::string& line : lines) {
    if (line.size() > 255) abort();
    total += line.size();
  }
  if (total > bytes.size()) abort();
  return 0;
}
