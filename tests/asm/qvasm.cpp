// The test assembler: lays out constants, DATA, ownership lists, code and line table in
// the compiled program's 32-bit format, and appends packages to executable images.
#include "tests/asm/qvasm.h"

#include "platform/package_format.h"

#include "runtime/runtime.h"

#include <cstring>

namespace qvasm {

static void Put(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

static uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return bits;
}

int ProgramBuilder::IntConst(int32_t value) {
  for (size_t i = 0; i < ints_.size(); ++i)
    if (ints_[i] == value) return 19000 + static_cast<int>(i);
  ints_.push_back(value);
  return 19000 + static_cast<int>(ints_.size()) - 1;
}

int ProgramBuilder::FloatConst(float value) {
  for (size_t i = 0; i < floats_.size(); ++i)
    if (FloatBits(floats_[i]) == FloatBits(value)) return 21000 + static_cast<int>(i);
  floats_.push_back(value);
  return 21000 + static_cast<int>(floats_.size()) - 1;
}

int ProgramBuilder::TextConst(const std::string& text) {
  for (size_t i = 0; i < texts_.size(); ++i)
    if (texts_[i] == text) return 23000 + static_cast<int>(i);
  texts_.push_back(text);
  return 23000 + static_cast<int>(texts_.size()) - 1;
}

int ProgramBuilder::IntVar(uint32_t owner) {
  owners_[0].push_back(owner);
  return 13000 + static_cast<int>(owners_[0].size()) - 1;
}
int ProgramBuilder::FloatVar(uint32_t owner) {
  owners_[1].push_back(owner);
  return 15000 + static_cast<int>(owners_[1].size()) - 1;
}
int ProgramBuilder::TextVar(uint32_t owner) {
  owners_[2].push_back(owner);
  return 17000 + static_cast<int>(owners_[2].size()) - 1;
}

void ProgramBuilder::DataInt(int32_t value) {
  dataTypes_.push_back('l');
  dataWords_.push_back(static_cast<uint32_t>(value));
}
void ProgramBuilder::DataFloat(float value) {
  dataTypes_.push_back('f');
  dataWords_.push_back(FloatBits(value));
}
void ProgramBuilder::DataText(const std::string& text) {
  dataTypes_.push_back('s');
  // The characters and NUL, zero-padded, in (length + 1) / 4 + 1 words.
  size_t words = (text.size() + 1) / 4 + 1;
  std::vector<uint8_t> bytes(words * 4, 0);
  std::memcpy(bytes.data(), text.data(), text.size());
  for (size_t w = 0; w < words; ++w) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(bytes[w * 4 + static_cast<size_t>(i)]) << (8 * i);
    dataWords_.push_back(v);
  }
}

Label ProgramBuilder::NewLabel() {
  labels_.push_back(-1);
  return Label{static_cast<int>(labels_.size()) - 1};
}

void ProgramBuilder::Bind(Label label) { labels_[static_cast<size_t>(label.index)] = Here(); }

void ProgramBuilder::Emit(int command, std::initializer_list<Word> operands, int line) {
  code_.push_back(Raw(static_cast<uint32_t>(command)));
  lines_.push_back(line);
  Words(operands, line);
}

void ProgramBuilder::Words(std::initializer_list<Word> words, int line) {
  for (const Word& w : words) {
    code_.push_back(w);
    lines_.push_back(line);
  }
}

std::vector<uint8_t> ProgramBuilder::Build(bool closeWithZero) const {
  std::vector<Word> code = code_;
  std::vector<int> lines = lines_;
  if (closeWithZero) {
    code.push_back(Raw(0));
    lines.push_back(0);
  }
  // The string block: texts with NULs, then zero bytes, T / 4 + 1 words.
  std::vector<uint8_t> textBlock;
  for (const std::string& t : texts_) {
    textBlock.insert(textBlock.end(), t.begin(), t.end());
    textBlock.push_back(0);
  }
  const uint32_t textWords = static_cast<uint32_t>(textBlock.size() / 4 + 1);
  textBlock.resize(textWords * 4, 0);
  const uint32_t D = static_cast<uint32_t>(dataTypes_.size());
  const uint32_t typeWords = D / 4 + 1;
  const uint32_t K = 3 + static_cast<uint32_t>(owners_[0].size() + owners_[1].size() + owners_[2].size());
  const uint32_t A = 1024, B = A + static_cast<uint32_t>(ints_.size()), S = B + static_cast<uint32_t>(floats_.size());
  const uint32_t E = S + textWords;
  const uint32_t G = E + typeWords + static_cast<uint32_t>(dataWords_.size()) + K;

  std::vector<uint8_t> out;
  uint32_t header[12] = {1, A, B, S, static_cast<uint32_t>(texts_.size()), E, D, G,
                         static_cast<uint32_t>(owners_[0].size()), static_cast<uint32_t>(owners_[1].size()),
                         static_cast<uint32_t>(owners_[2].size()), K};
  for (uint32_t v : header) Put(out, v);
  out.resize(1024 * 4, 0);
  for (int32_t v : ints_) Put(out, static_cast<uint32_t>(v));
  for (float v : floats_) Put(out, FloatBits(v));
  out.insert(out.end(), textBlock.begin(), textBlock.end());
  std::vector<uint8_t> types(typeWords * 4, 0);
  for (uint32_t i = 0; i < D; ++i) types[i] = static_cast<uint8_t>(dataTypes_[i]);
  out.insert(out.end(), types.begin(), types.end());
  for (uint32_t v : dataWords_) Put(out, v);
  for (const auto& list : owners_) {
    Put(out, static_cast<uint32_t>(list.size()));
    for (uint32_t owner : list) Put(out, owner);
  }
  for (const Word& w : code) {
    uint32_t v = w.value;
    if (w.label >= 0) v = 37000 + static_cast<uint32_t>(labels_[static_cast<size_t>(w.label)]);
    Put(out, v);
  }
  for (int line : lines) Put(out, static_cast<uint32_t>(line));
  return out;
}

std::vector<uint8_t> BuildPackagedExecutable(const std::vector<uint8_t>& stub,
                                             const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries) {
  std::vector<uint8_t> out = stub;
  AppendPackage(&out, entries);
  return out;
}

std::vector<uint8_t> PackageAfter(PackageChecksum stubSum, uint32_t stubSize,
                                  const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries) {
  std::vector<uint8_t> package;
  for (const auto& [name, data] : entries) {
    PutPackageEntryHead(name, static_cast<uint32_t>(data.size()), &package);
    package.insert(package.end(), data.begin(), data.end());
  }
  stubSum.Add(package.data(), package.size());
  const std::vector<uint8_t> tail = PackageTail(stubSum, stubSize);
  package.insert(package.end(), tail.begin(), tail.end());
  return package;
}

void PutWordAt(std::vector<uint8_t>& bytes, size_t wordIndex, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[wordIndex * 4 + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t WordAt(const std::vector<uint8_t>& bytes, size_t wordIndex) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(bytes[wordIndex * 4 + static_cast<size_t>(i)]) << (8 * i);
  return v;
}

}  // namespace qvasm
