// The compiled program writer: lays the constants, DATA items, ownership lists, code words
// and line table out as the runtime's loader reads them.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "compiler/compiler_local.h"
#include "platform/file_replace.h"

// Appends text with its NUL as bytes into words starting at word index first.
static void PutBytes(std::vector<uint32_t>& words, size_t firstByte, std::string_view text) {
  for (size_t i = 0; i < text.size(); i++) {
    size_t at = firstByte + i;
    words[at / 4] |= static_cast<uint32_t>(static_cast<unsigned char>(text[i])) << (8 * (at % 4));
  }
}

std::vector<uint32_t> BuildProgramHead(const CompilerObject& c) {
  std::vector<uint32_t> words(1024, 0);
  const uint32_t a = 1024;
  const uint32_t b = a + static_cast<uint32_t>(c.intConstants.size());
  const uint32_t s = b + static_cast<uint32_t>(c.floatConstants.size());
  size_t stringBytes = 0;
  for (const std::string& text : c.stringConstants) stringBytes += text.size() + 1;
  const uint32_t e = s + static_cast<uint32_t>(stringBytes / 4 + 1);
  const uint32_t d = static_cast<uint32_t>(c.data.size());
  for (int32_t value : c.intConstants) words.push_back(static_cast<uint32_t>(value));
  for (uint32_t bits : c.floatConstants) words.push_back(bits);
  words.resize(e, 0);
  size_t at = static_cast<size_t>(s) * 4;
  for (const std::string& text : c.stringConstants) {
    PutBytes(words, at, text);
    at += text.size() + 1;
  }
  // DATA type bytes, then values.
  words.resize(e + d / 4 + 1, 0);
  for (uint32_t i = 0; i < d; i++) PutBytes(words, static_cast<size_t>(e) * 4 + i, std::string_view(&c.data[i].type, 1));
  for (const DataItem& item : c.data) {
    if (item.type != 's') {
      words.push_back(item.value);
      continue;
    }
    size_t first = words.size();
    words.resize(first + (item.text.size() + 1) / 4 + 1, 0);
    PutBytes(words, first * 4, item.text);
  }
  // Ownership lists: integer, float and string variables, each a count then owners.
  uint32_t k = 3;
  for (int t = 0; t < 3; t++) {
    words.push_back(static_cast<uint32_t>(c.variables[t].size()));
    for (const VariableEntry& entry : c.variables[t]) words.push_back(entry.owner);
    k += static_cast<uint32_t>(c.variables[t].size());
  }
  const uint32_t g = static_cast<uint32_t>(words.size());
  words[0] = 1;
  words[1] = a;
  words[2] = b;
  words[3] = s;
  words[4] = static_cast<uint32_t>(c.stringConstants.size());
  words[5] = e;
  words[6] = d;
  words[7] = g;
  words[8] = static_cast<uint32_t>(c.variables[0].size());
  words[9] = static_cast<uint32_t>(c.variables[1].size());
  words[10] = static_cast<uint32_t>(c.variables[2].size());
  words[11] = k;
  return words;
}

std::vector<uint32_t> CompiledProgramWords(const CompilerObject& c) {
  if (c.imageHead.empty()) return {};
  std::vector<uint32_t> words;
  words.reserve(c.imageHead.size() + 2 * size_t{c.codeCount});
  words.insert(words.end(), c.imageHead.begin(), c.imageHead.end());
  words.insert(words.end(), c.code.begin(), c.code.begin() + c.codeCount);
  words.resize(words.size() + c.codeCount);
  ExpandLineTable(c, 0, c.codeCount, words.data() + words.size() - c.codeCount);
  return words;
}

// Writes the image beside the target under a temporary name, then renames it over the
// target, so a failed write never leaves half a program behind.
bool WriteCompiledProgram(const CompilerObject& c, const std::string& outputName, std::string* whyNot) {
  if constexpr (std::endian::native == std::endian::little) {  // the words are the file's bytes already
    PlatformReplacement file;
    if (!PlatformBeginReplace(outputName, false, &file, whyNot)) return false;
    PlatformWriteReplacement(&file, c.imageHead.data(), c.imageHead.size() * 4);
    if (!c.imageHead.empty()) {
      PlatformWriteReplacement(&file, c.code.data(), size_t{c.codeCount} * 4);
      // The line table goes out a piece at a time, from runs, through one small buffer.
      std::vector<uint32_t> lines(std::min<uint32_t>(c.codeCount, 16384));
      for (uint32_t at = 0; at < c.codeCount; at += static_cast<uint32_t>(lines.size())) {
        const uint32_t count = std::min<uint32_t>(c.codeCount - at, static_cast<uint32_t>(lines.size()));
        ExpandLineTable(c, at, count, lines.data());
        PlatformWriteReplacement(&file, lines.data(), size_t{count} * 4);
      }
    }
    return PlatformCommitReplace(&file, whyNot);
  }
  const std::vector<uint32_t> image = CompiledProgramWords(c);
  std::vector<unsigned char> bytes(image.size() * 4);
  for (size_t i = 0; i < image.size(); i++)
    for (int k = 0; k < 4; k++) bytes[i * 4 + k] = static_cast<unsigned char>(image[i] >> (8 * k));
  return PlatformReplaceFile(outputName, bytes.data(), bytes.size(), false, whyNot);
}
