// The compiler's symbol tables: variables, constants, temporaries, labels and functions,
// and the code buffer that every instruction is written into.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "compiler/compiler_local.h"

static int TypeIndex(char type) { return type == 'f' ? 1 : type == 's' ? 2 : 0; }

bool Fail(CompilerObject& c, int textIndex, std::string_view detail) {
  c.errorText = CompilerText(textIndex);
  if (!detail.empty()) {
    c.errorText += ": ";
    c.errorText += detail;
  }
  return false;
}

int32_t DeclareVariable(CompilerObject& c, char type, std::string_view name, uint8_t kind) {
  std::vector<VariableEntry>& table = c.variables[TypeIndex(type)];
  if (table.size() >= kVarsPerType) {
    Fail(c, 1 + TypeIndex(type));
    return -1;
  }
  static const int32_t kBands[3] = {kIdIntVar, kIdFloatVar, kIdStringVar};
  VariableEntry entry;
  entry.name = std::string(name);
  entry.owner = c.currentFunction;
  entry.id = kBands[TypeIndex(type)] + static_cast<int32_t>(table.size());
  entry.kind = kind;
  entry.line = c.currentLine;
  c.variableNames[TypeIndex(type)][entry.name].push_back(static_cast<int32_t>(table.size()));
  table.push_back(std::move(entry));
  return table.back().id;
}

const std::vector<int32_t>& VariablesNamed(const CompilerObject& c, char type, std::string_view name) {
  static const std::vector<int32_t> kNone;
  const NameMap& names = c.variableNames[TypeIndex(type)];
  auto found = names.find(name);
  return found == names.end() ? kNone : found->second;
}

// Searches the running function's variables, and for arrays then the main program's;
// an unknown plain variable is declared on first use.
int32_t FindVariable(CompilerObject& c, char type, std::string_view name, uint8_t kind) {
  const std::vector<VariableEntry>& table = c.variables[TypeIndex(type)];
  const std::vector<int32_t>& named = VariablesNamed(c, type, name);
  for (int32_t at : named) {
    const VariableEntry& entry = table[static_cast<size_t>(at)];
    if (entry.owner == c.currentFunction && entry.kind == kind) return entry.id;
  }
  if (kind == 1) {
    for (int32_t at : named) {
      const VariableEntry& entry = table[static_cast<size_t>(at)];
      if (entry.owner == 0 && entry.kind == 1) return entry.id;
    }
    return 0;  // arrays are declared by DIM only
  }
  return DeclareVariable(c, type, name, kind);
}

VariableEntry* VariableById(CompilerObject& c, int32_t id) {
  static const int32_t kBands[3] = {kIdIntVar, kIdFloatVar, kIdStringVar};
  for (int t = 0; t < 3; t++) {
    int32_t index = id - kBands[t];
    if (index >= 0 && index < static_cast<int32_t>(c.variables[t].size()))
      return &c.variables[t][index];
  }
  return nullptr;
}

int32_t IntConstant(CompilerObject& c, int32_t value) {
  if (auto found = c.intConstantIds.find(value); found != c.intConstantIds.end()) return found->second;
  if (c.intConstants.size() >= kConstsPerType) {
    Fail(c, 14, "integers");
    return -1;
  }
  c.intConstants.push_back(value);
  return c.intConstantIds[value] = kIdIntConst + static_cast<int32_t>(c.intConstants.size() - 1);
}

int32_t FloatConstant(CompilerObject& c, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  if (auto found = c.floatConstantIds.find(bits); found != c.floatConstantIds.end()) return found->second;
  if (c.floatConstants.size() >= kConstsPerType) {
    Fail(c, 14, "floats");
    return -1;
  }
  c.floatConstants.push_back(bits);
  return c.floatConstantIds[bits] = kIdFloatConst + static_cast<int32_t>(c.floatConstants.size() - 1);
}

int32_t StringConstant(CompilerObject& c, std::string_view text) {
  if (auto found = c.stringConstantIds.find(text); found != c.stringConstantIds.end()) return found->second;
  if (c.stringConstants.size() >= kConstsPerType) {
    Fail(c, 14, "strings");
    return -1;
  }
  c.stringConstants.emplace_back(text);
  return c.stringConstantIds[std::string(text)] = kIdStringConst + static_cast<int32_t>(c.stringConstants.size() - 1);
}

int32_t NewTemporary(CompilerObject& c, char type) {
  static const int32_t kBands[3] = {kIdIntTemp, kIdFloatTemp, kIdStringTemp};
  int& counter = c.tempCounters[TypeIndex(type)];
  if (counter >= kTempsPerType) {
    Fail(c, 16);
    return -1;
  }
  return kBands[TypeIndex(type)] + counter++;
}

// A hidden variable of the running function: it holds a value across a user FUNCTION call
// within one statement, where the callee's statements reuse the expression temporaries.
// Being a local, the runtime saves and restores it around recursive calls.
int32_t HiddenVariable(CompilerObject& c, char type) {
  int& counter = c.spillCounters[TypeIndex(type)];
  std::string name = "~spill" + std::to_string(counter++);
  return FindVariable(c, type, name, 0);
}

char OperandTypeLetter(int32_t id) {
  if (id < 10000 || id >= 35000) return 0;
  if (id >= kIdData) return 's';
  // Three bands of a thousand temporaries, then three of two thousand variables and three
  // of two thousand constants, each run in the order integer, float, string.
  int band = id < kIdIntVar ? (id - kIdIntTemp) / 1000 : ((id - kIdIntVar) / 2000) % 3;
  static const char kLetters[3] = {'l', 'f', 's'};
  return kLetters[band];
}

bool IsTemporary(int32_t id) { return id >= kIdIntTemp && id < kIdIntVar; }

void EmitCodeWord(CompilerObject& c, uint32_t word) {
  if (c.codeCount >= c.codeCapacity) {
    c.retry = true;  // cannot happen inside the margin; grow and compile again
    return;
  }
  // The buffers grow word by word within their reserved capacity (written words only).
  c.code.push_back(word);
  if (c.lineRuns.empty() || c.lineRuns.back().line != c.tableLine) c.lineRuns.push_back({c.codeCount, c.tableLine});
  c.codeCount++;
}

void ExpandLineTable(const CompilerObject& c, uint32_t first, uint32_t count, uint32_t* out) {
  // The run that holds first, then the runs after it.
  auto run = std::upper_bound(c.lineRuns.begin(), c.lineRuns.end(), first,
                              [](uint32_t at, const CompilerObject::LineRun& r) { return at < r.first; });
  for (uint32_t at = first; at < first + count; ++at) {
    while (run != c.lineRuns.end() && run->first <= at) ++run;
    *out++ = static_cast<uint32_t>(std::prev(run)->line);
  }
}

void EmitInstruction(CompilerObject& c, int32_t command, std::initializer_list<int32_t> operands) {
  EmitCodeWord(c, static_cast<uint32_t>(command));
  for (int32_t id : operands) EmitCodeWord(c, static_cast<uint32_t>(id));
  c.instructionCount++;
}

void EmitInstruction(CompilerObject& c, int32_t command, const std::vector<int32_t>& operands) {
  EmitCodeWord(c, static_cast<uint32_t>(command));
  for (int32_t id : operands) EmitCodeWord(c, static_cast<uint32_t>(id));
  c.instructionCount++;
}

void PatchCodeWord(CompilerObject& c, uint32_t position, uint32_t word) {
  if (position < c.codeCount) c.code[position] = word;
}

bool DeclareLabel(CompilerObject& c, std::string_view name) {
  for (const LabelEntry& label : c.labels)
    if (label.owner == c.currentFunction && label.name == name) return Fail(c, 18, name);
  if (c.labels.size() >= kMaxLabels) return Fail(c, 4);
  LabelEntry label;
  label.name = std::string(name);
  label.owner = c.currentFunction;
  label.codePosition = static_cast<int32_t>(c.codeCount);
  label.dataPosition = static_cast<int32_t>(c.data.size());
  label.line = c.currentLine;
  c.labels.push_back(std::move(label));
  return true;
}

// Records that the operand word just written names a label (patched by ResolveLabels).
void ReferenceLabel(CompilerObject& c, std::string_view name, uint8_t kind) {
  LabelReference ref;
  ref.name = std::string(name);
  ref.owner = c.currentFunction;
  ref.codePosition = c.codeCount - 1;
  ref.kind = kind;
  ref.line = c.currentLine;
  c.labelReferences.push_back(std::move(ref));
}

static const LabelEntry* FindLabel(const CompilerObject& c, const LabelReference& ref) {
  for (const LabelEntry& label : c.labels)
    if (label.owner == ref.owner && label.name == ref.name) return &label;
  if (ref.kind == 0)  // DATA sits in the main program; RESTORE may name it from a function
    for (const LabelEntry& label : c.labels)
      if (label.owner == 0 && label.name == ref.name) return &label;
  return nullptr;
}

// Patches every label and function-entry reference; on a missing label writes the
// message with the line of the reference.
bool ResolveLabels(CompilerObject& c) {
  for (const LabelReference& ref : c.labelReferences) {
    const LabelEntry* label = FindLabel(c, ref);
    if (!label) {
      c.errorLine = ref.line;
      c.errorText = CompilerText(ref.kind == 1 ? 48 : 49) + ": " + ref.name;
      return false;
    }
    uint32_t word = ref.kind == 1 ? static_cast<uint32_t>(label->codePosition + kIdCode)
                                  : static_cast<uint32_t>(label->dataPosition + kIdData);
    PatchCodeWord(c, ref.codePosition, word);
  }
  for (const LabelReference& ref : c.functionReferences) {
    int index = FindFunction(c, ref.name);
    if (index <= 0 || c.functionTable[index].entry < 0) {
      c.errorLine = ref.line;
      c.errorText = CompilerText(22) + ": " + ref.name;
      return false;
    }
    PatchCodeWord(c, ref.codePosition, static_cast<uint32_t>(c.functionTable[index].entry + kIdCode));
  }
  return true;
}

int FindFunction(const CompilerObject& c, std::string_view name) {
  for (size_t i = 1; i < c.functionTable.size(); i++)
    if (c.functionTable[i].name == name) return static_cast<int>(i);
  return -1;
}

bool DeclareFunction(CompilerObject& c, std::string_view name, std::vector<std::string> params,
                     char resultType) {
  if (FindFunction(c, name) > 0) return Fail(c, 25, name);
  if (c.functionTable.size() > kMaxFunctions) return Fail(c, 5);
  FunctionEntry entry;
  entry.name = std::string(name);
  entry.params = std::move(params);
  entry.resultType = resultType;
  entry.line = c.currentLine;
  c.functionTable.push_back(std::move(entry));
  return true;
}
