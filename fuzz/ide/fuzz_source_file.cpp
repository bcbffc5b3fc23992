// Fuzz target: loads random bytes as a source file, and checks that what a save would write
// loads back to the same bytes (the header, the lines and their ends survive a round trip);
// the file list's header reader keeps every field within its 255 characters.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "ide/ide.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  static const std::string path = "/tmp/fuzz_source_file_" + std::to_string(getpid()) + ".qva";
  auto write = [](const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return true;
  };
  if (!write(std::string(reinterpret_cast<const char*>(data), size))) return 0;
  std::string title, author, date;
  if (ReadSourceHeader(path, &title, &author, &date) && (title.size() > 255 || author.size() > 255 || date.size() > 255))
    std::abort();  // the header fields are bounded
  SourceEditor editor(IdeMemoryHost());
  if (editor.LoadSource(path, nullptr)) {
    const std::string once = editor.SourceBytes();
    if (write(once) && editor.LoadSource(path, nullptr) && editor.SourceBytes() != once) std::abort();
  }
  std::remove(path.c_str());
  return 0;
}
