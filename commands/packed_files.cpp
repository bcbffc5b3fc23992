// The packed-file formats: a packed entry (length, bytes) and a packed folder (count, then
// per file its "\"-separated path and entry), read with every length checked first.
#include <cstring>

#include "commands/commands_local.h"

size_t MemoryPackSource::Read(void* buffer, size_t count) {
  const size_t n = std::min(count, size - at);
  if (n > 0) std::memcpy(buffer, data + at, n);
  at += n;
  return n;
}

static bool ReadWord(PackSource& source, uint32_t* value) {
  uint8_t bytes[4];
  if (source.Read(bytes, 4) != 4) return false;
  *value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  return true;
}

bool ReadPackedEntry(PackSource& source, std::string* bytes) {
  uint32_t length = 0;
  if (!ReadWord(source, &length) || length > source.Left()) return false;
  bytes->resize(length);
  return source.Read(bytes->data(), length) == length;
}

bool SafePackedPath(const std::string& packed, std::string* relative) {
  relative->clear();
  if (packed.empty() || packed[0] == '\\' || packed[0] == '/') return false;
  size_t start = 0;
  for (;;) {
    size_t end = packed.find_first_of("\\/", start);
    const std::string part = packed.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part.empty() || part == "." || part == ".." || part.find(':') != std::string::npos) return false;
    for (char c : part)
      if (static_cast<unsigned char>(c) < 32) return false;
    if (!relative->empty()) *relative += '/';
    *relative += part;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

bool ReadPackedFolder(PackSource& source, const std::function<bool(const std::string&, const std::string&)>& sink) {
  uint32_t count = 0;
  if (!ReadWord(source, &count)) return false;
  std::string packedPath, relative, bytes;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t pathLength = 0;
    if (!ReadWord(source, &pathLength)) return false;
    if (pathLength == 0) continue;  // a record with neither path nor data
    if (pathLength > source.Left() || pathLength > 4096) return false;
    packedPath.resize(pathLength);
    if (source.Read(packedPath.data(), pathLength) != pathLength) return false;
    packedPath.resize(strnlen(packedPath.data(), pathLength));
    if (!SafePackedPath(packedPath, &relative)) return false;
    if (!ReadPackedEntry(source, &bytes)) return false;
    if (!sink(relative, bytes)) return false;
  }
  return true;
}

std::vector<std::string> SplitArrayFileLines(const std::string& bytes, size_t count) {
  // One line ending (CR LF, or LF alone) is taken after each element, so empty elements come
  // back as they were saved; a line over 255 characters goes on in the next element.
  std::vector<std::string> lines(count);
  size_t at = 0;
  for (size_t element = 0; element < count && at < bytes.size(); ++element) {
    size_t end = at;
    while (end < bytes.size() && end - at < static_cast<size_t>(kMaxTextLength) && bytes[end] != '\n' &&
           !(bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n'))
      ++end;
    lines[element].assign(bytes, at, end - at);
    at = end;
    if (at < bytes.size() && bytes[at] == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') at += 2;
    else if (at < bytes.size() && bytes[at] == '\n') at += 1;
  }
  return lines;
}
