// The compiled program loader: checks the 32-bit file through a bounded cursor, fills the
// variable table, relocates the code into pointer-sized cells and has its operands checked
// (code_prepare.cpp), and frees it all after a run.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/runtime_local.h"

VariableSlot* VariableTable = nullptr;
VariableSlot* ElementAddressTable[3000];

// Lives from LoadCompiledProgram to FreeCompiledProgram.
static LoadedProgram gProgram;
// Cleared when the program is freed.
int32_t ArrayElementCounts[kFirstIntConst - kFirstIntVar];

LoadedProgram& Program() { return gProgram; }

bool CodeAddressValid(const CodeCell* address) {
  if (!gProgram.loaded) return false;
  uintptr_t begin = reinterpret_cast<uintptr_t>(gProgram.code.data());
  uintptr_t at = reinterpret_cast<uintptr_t>(address);
  return at >= begin && at < begin + static_cast<uintptr_t>(gProgram.codeWords) * sizeof(CodeCell);
}

bool CommandStartsAt(const CodeCell* address) {
  if (!gProgram.loaded) return false;
  uintptr_t offset = reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(gProgram.code.data());
  size_t index = offset / sizeof(CodeCell);
  return offset % sizeof(CodeCell) == 0 && index < gProgram.commandStarts.size() && gProgram.commandStarts[index] != 0;
}

void SetArrayElementCount(int slot, int32_t count) {
  if (slot >= kFirstIntVar && slot < kFirstIntConst) ArrayElementCounts[slot - kFirstIntVar] = count;
}

int32_t ArrayElementCount(int slot) {
  return slot >= kFirstIntVar && slot < kFirstIntConst ? ArrayElementCounts[slot - kFirstIntVar] : 0;
}

void FreeArrayOfSlot(int slot) {
  int32_t count = ArrayElementCount(slot);
  if (count <= 0) return;
  auto* elements = static_cast<VariableSlot*>(VariableTable[slot].asBlock);
  if (slot >= kFirstTextVar && elements != nullptr)
    for (int32_t e = 0; e < count; ++e) FreeText(elements[e].asText);
  // A temporary that fetched an element of this array must not store into freed memory
  // later: its address is forgotten, and a store or READ through it is error 109.
  const uintptr_t begin = reinterpret_cast<uintptr_t>(elements);
  const uintptr_t end = begin + static_cast<uintptr_t>(count) * sizeof(VariableSlot);
  for (VariableSlot*& address : ElementAddressTable)
    if (reinterpret_cast<uintptr_t>(address) >= begin && reinterpret_cast<uintptr_t>(address) < end) address = nullptr;
  std::free(elements);
  GiveBackProgramMemory(AllocationFootprint(static_cast<size_t>(count) * sizeof(VariableSlot)));
  VariableTable[slot].raw = 0;
  SetArrayElementCount(slot, 0);
}

// The kind of a table slot by its band; -1 outside the table.
static bool IsTextBand(int index) {
  if ((index >= kFirstTextTemp && index < kFirstIntVar) || (index >= kFirstTextVar && index < kFirstIntConst) ||
      (index >= kFirstTextConst && index < kFirstDataItem))
    return true;
  int item = index - kFirstDataItem;
  return item >= 0 && item < gProgram.dataCount && gProgram.dataTypes[static_cast<size_t>(item)] == 's';
}

bool SlotHoldsText(const VariableSlot* slot) {
  int index = SlotIndexOf(slot);
  if (index < 0) return slot != nullptr && !IsScratchSlot(slot);
  return IsTextBand(index) && ArrayElementCount(index) == 0;
}

bool SlotTakesNumber(const VariableSlot* slot) {
  int index = SlotIndexOf(slot);
  if (index < 0) return true;
  return !IsTextBand(index) && ArrayElementCount(index) == 0;
}

namespace {

// Reads little-endian words of the file image; a read past the end returns 0 and sets the
// sticky error flag.
struct WordCursor {
  const uint8_t* bytes;
  size_t wordCount;
  bool error = false;
  uint32_t Word(size_t index) {
    if (index >= wordCount) {
      error = true;
      return 0;
    }
    const uint8_t* p = bytes + index * 4;
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
  }
};

constexpr uint32_t kHeaderWords = 1024;
constexpr uint32_t kMaxConstants = 2000;
constexpr uint32_t kMaxDataItems = kVariableSlots - kFirstDataItem;

// A zero-terminated text starting at byte offset `from`, never reading at or past byte
// `limit`; false when no NUL comes first or the text is over 255 characters.
bool ReadTerminatedText(const uint8_t* bytes, size_t from, size_t limit, std::string* text) {
  size_t end = from;
  while (end < limit && bytes[end] != 0) ++end;
  if (end >= limit || end - from > kMaxTextLength) return false;
  text->assign(reinterpret_cast<const char*>(bytes + from), end - from);
  return true;
}

// Groups the ownership lists by FUNCTION id, so a call finds its locals without scanning
// every variable. Ids above 16 bits name no function a call can run.
void ListLocalsByFunction(LoadedProgram& program) {
  const int firstOfList[3] = {kFirstIntVar, kFirstFloatVar, kFirstTextVar};
  uint32_t highest = 0;
  for (const std::vector<uint32_t>& owners : program.owners)
    for (uint32_t id : owners)
      if (id <= 0xFFFF && id > highest) highest = id;
  program.slotOwners.assign(kFirstIntConst - kFirstIntVar, 0x10000);
  for (int list = 0; list < 3; ++list)
    for (size_t i = 0; i < program.owners[list].size(); ++i)
      program.slotOwners[static_cast<size_t>(firstOfList[list] - kFirstIntVar) + i] = program.owners[list][i];
  std::vector<int32_t>& start = program.localsStart;
  start.assign(highest + 2, 0);
  for (const std::vector<uint32_t>& owners : program.owners)
    for (uint32_t id : owners)
      if (id <= 0xFFFF) start[id + 1] += 1;
  for (size_t id = 1; id < start.size(); ++id) start[id] += start[id - 1];
  program.localSlots.assign(static_cast<size_t>(start.back()), 0);
  std::vector<int32_t> next(start.begin(), start.end() - 1);
  for (int list = 0; list < 3; ++list)
    for (size_t i = 0; i < program.owners[list].size(); ++i) {
      uint32_t id = program.owners[list][i];
      if (id <= 0xFFFF) program.localSlots[static_cast<size_t>(next[id]++)] = firstOfList[list] + static_cast<int32_t>(i);
    }
}

bool Refuse(std::string* whyNot, const std::string& reason) {
  if (whyNot != nullptr) *whyNot = reason;
  FreeCompiledProgram();
  return false;
}

}  // namespace

bool LoadCompiledProgramFromMemory(const uint8_t* bytes, size_t size, std::string* whyNot) {
  FreeCompiledProgram();
  ChooseProgramMemoryLimit();
  if (size < kHeaderWords * 4 || size % 4 != 0)
    return Refuse(whyNot, "truncated compiled program: " + std::to_string(size) + " bytes");
  WordCursor file{bytes, size / 4};
  if (file.Word(0) != 1) return Refuse(whyNot, "not a compiled program (version " + std::to_string(file.Word(0)) + ")");
  const uint32_t A = file.Word(1), B = file.Word(2), S = file.Word(3), stringCount = file.Word(4);
  const uint32_t E = file.Word(5), D = file.Word(6), G = file.Word(7), textVars = file.Word(10);
  const uint32_t K = file.Word(11);
  // Sections in order, without gaps, inside the file; counts within their slot bands.
  if (A != kHeaderWords || B < A || S < B || E <= S || G > file.wordCount || E >= G)
    return Refuse(whyNot, "compiled program header points outside the file");
  if (B - A > kMaxConstants || S - B > kMaxConstants || stringCount > kMaxConstants)
    return Refuse(whyNot, "too many constants in compiled program");
  if (D > kMaxDataItems) return Refuse(whyNot, "too many DATA items: " + std::to_string(D));
  if (textVars > kMaxConstants) return Refuse(whyNot, "too many string variables: " + std::to_string(textVars));
  const uint64_t dataValuesStart = static_cast<uint64_t>(E) + D / 4 + 1;
  if (K < 3 || K > G || dataValuesStart > G - K) return Refuse(whyNot, "compiled program sections overlap");
  if ((size - static_cast<size_t>(G) * 4) % 8 != 0)
    return Refuse(whyNot, "compiled program size does not match its code and line table");
  const size_t codeWords = (size - static_cast<size_t>(G) * 4) / 8;
  if (codeWords > 0x7fffffff - 37000u) return Refuse(whyNot, "compiled program too large");

  VariableTable = static_cast<VariableSlot*>(std::calloc(kVariableSlots, sizeof(VariableSlot)));
  if (VariableTable == nullptr) return Refuse(whyNot, "out of memory");
  for (uint32_t i = 0; i < B - A; ++i) VariableTable[kFirstIntConst + i].asInt = static_cast<int32_t>(file.Word(A + i));
  for (uint32_t i = 0; i < S - B; ++i) {
    uint32_t bits = file.Word(B + i);
    std::memcpy(&VariableTable[kFirstFloatConst + i].asFloat, &bits, 4);
  }
  // String constants, each up to its NUL, never past the string block.
  size_t at = static_cast<size_t>(S) * 4;
  std::string text;
  for (uint32_t i = 0; i < stringCount; ++i) {
    if (!ReadTerminatedText(bytes, at, static_cast<size_t>(E) * 4, &text))
      return Refuse(whyNot, "string constant " + std::to_string(i) + " runs past its section or over 255 characters");
    if ((VariableTable[kFirstTextConst + i].asText = CopyText(text.c_str())) == nullptr) return Refuse(whyNot, "out of memory");
    at += text.size() + 1;
  }
  // DATA: the type bytes, then the values.
  gProgram.dataCount = static_cast<int32_t>(D);
  gProgram.dataTypes.assign(bytes + static_cast<size_t>(E) * 4, bytes + static_cast<size_t>(E) * 4 + D);
  size_t word = dataValuesStart;
  const size_t dataEnd = G - K;
  for (uint32_t i = 0; i < D; ++i) {
    VariableSlot& slot = VariableTable[kFirstDataItem + i];
    switch (gProgram.dataTypes[i]) {
      case 'l':
      case 'f':
        if (word >= dataEnd) return Refuse(whyNot, "DATA item " + std::to_string(i) + " runs past its section");
        slot.raw = file.Word(word++);
        break;
      case 's':
        if (!ReadTerminatedText(bytes, word * 4, dataEnd * 4, &text))
          return Refuse(whyNot, "DATA text " + std::to_string(i) + " runs past its section or over 255 characters");
        if ((slot.asText = CopyText(text.c_str())) == nullptr) return Refuse(whyNot, "out of memory");
        word += (text.size() + 1) / 4 + 1;
        break;
      default:
        return Refuse(whyNot, "DATA item " + std::to_string(i) + " has an unknown type");
    }
  }
  for (uint32_t i = 0; i < textVars; ++i)
    if ((VariableTable[kFirstTextVar + i].asText = CopyText("")) == nullptr) return Refuse(whyNot, "out of memory");
  // Ownership lists: three counts and their entries, exactly K words.
  word = G - K;
  uint32_t used = 0;
  for (int list = 0; list < 3; ++list) {
    uint32_t count = file.Word(word++);
    if (count > kMaxConstants || used + 1 + count > K)
      return Refuse(whyNot, "ownership lists disagree with their size");
    used += 1 + count;
    for (uint32_t i = 0; i < count; ++i) gProgram.owners[list].push_back(file.Word(word++));
  }
  if (used != K) return Refuse(whyNot, "ownership lists disagree with their size");
  ListLocalsByFunction(gProgram);
  // Code and line table; relocation of each word by its stored value.
  gProgram.codeWords = static_cast<int32_t>(codeWords);
  gProgram.code.assign(codeWords + kCodePadding, 0);
  gProgram.words.resize(codeWords);
  gProgram.lines.resize(codeWords);
  for (size_t i = 0; i < codeWords; ++i) {
    int32_t v = static_cast<int32_t>(file.Word(G + i));
    gProgram.words[i] = v;
    gProgram.lines[i] = static_cast<int32_t>(file.Word(G + codeWords + i));
    CodeCell cell = v;
    if (v >= 10000 && v < 25000) {
      cell = reinterpret_cast<CodeCell>(&VariableTable[v - 10000]);
    } else if (v >= 25000 && v < 35000) {
      cell = v - 25000;
    } else if (v >= 37000) {
      if (static_cast<size_t>(v - 37000) >= codeWords)
        return Refuse(whyNot, "code word " + std::to_string(i) + " jumps outside the code");
      cell = reinterpret_cast<CodeCell>(&gProgram.code[static_cast<size_t>(v - 37000)]);
    }
    gProgram.code[i] = cell;
  }
  if (file.error) return Refuse(whyNot, "truncated compiled program");
  std::string codeProblem;
  if (!PrepareCode(gProgram, &codeProblem)) return Refuse(whyNot, codeProblem);
  gProgram.loaded = true;
  ResetControlFlow();
  OperandPointer = gProgram.code.data();
  return true;
}

bool ListProgramCommands(const std::vector<uint8_t>& program, std::vector<int32_t>* numbers, std::string* whyNot) {
  numbers->clear();
  if (gProgram.loaded) {  // the running program stays as it is
    if (whyNot != nullptr) *whyNot = "a program is loaded already";
    return false;
  }
  if (!LoadCompiledProgramFromMemory(program.data(), program.size(), whyNot)) return false;
  for (int32_t at = 0; at < gProgram.codeWords; ++at)
    if (gProgram.commandStarts[static_cast<size_t>(at)] != 0) numbers->push_back(gProgram.words[static_cast<size_t>(at)]);
  FreeCompiledProgram();
  return true;
}

bool LoadCompiledProgram(const char* fileName, std::string* whyNot) {
  std::vector<uint8_t> bytes;
  std::string why;
  const bool read = ReadFileBytes(fileName, &bytes);
  if (read && LoadCompiledProgramFromMemory(bytes.data(), bytes.size(), &why)) return true;
  if (!read) why = "cannot open compiled program '" + std::string(fileName) + "'";
  if (whyNot != nullptr) *whyNot = why;
  else if (!read) std::fprintf(stderr, "quorvanel: %s\n", why.c_str());
  else std::fprintf(stderr, "quorvanel: %s: %s\n", fileName, why.c_str());
  return false;
}

static void FreeSlotText(int slot) {
  FreeText(VariableTable[slot].asText);
  VariableTable[slot].asText = nullptr;
}

void FreeCompiledProgram() {
  if (VariableTable != nullptr) {
    for (int s = kFirstTextTemp; s < kFirstIntVar; ++s) FreeSlotText(s);
    // Every text-constant slot: a corrupt program may have stored a text past the loaded ones.
    for (int s = kFirstTextConst; s < kFirstDataItem; ++s) FreeSlotText(s);
    for (int32_t i = 0; i < gProgram.dataCount; ++i)
      if (gProgram.dataTypes[static_cast<size_t>(i)] == 's') FreeSlotText(kFirstDataItem + i);
    for (int s = kFirstIntVar; s < kFirstIntConst; ++s) FreeArrayOfSlot(s);
    for (int s = kFirstTextVar; s < kFirstIntConst; ++s) FreeSlotText(s);
    std::free(VariableTable);
    VariableTable = nullptr;
  }
  std::memset(ArrayElementCounts, 0, sizeof(ArrayElementCounts));
  std::memset(ElementAddressTable, 0, sizeof(ElementAddressTable));
  gProgram = LoadedProgram();
  ResetControlFlow();
  ReleaseScratchSlot();
  OperandPointer = nullptr;
}
