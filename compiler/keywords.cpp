// The keyword table: reads the keyword resource (name%number%signature lines) and finds the
// longest command or function name at a place in a statement.
#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "compiler/compiler_local.h"

static bool IsWordChar(char ch) {
  return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '$' || ch == '#';
}

// Reads one entry line. Bytes below 32 are skipped between entries by the caller.
static void ParseKeywordLine(CompilerObject& c, std::string_view line) {
  size_t first = line.find('%');
  if (first == std::string_view::npos) return;
  size_t second = line.find('%', first + 1);
  std::string_view name = line.substr(0, first);
  std::string_view number = line.substr(first + 1, second == std::string_view::npos
                                                       ? std::string_view::npos
                                                       : second - first - 1);
  std::string_view signature =
      second == std::string_view::npos ? std::string_view{} : line.substr(second + 1);
  KeywordEntry entry;
  for (char ch : name) entry.name += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  while (!entry.name.empty() && entry.name.back() == ' ') entry.name.pop_back();
  while (!entry.name.empty() && entry.name.front() == ' ') entry.name.erase(0, 1);
  std::string digits;
  for (char ch : number)
    if (ch != ' ') digits += ch;
  entry.number = static_cast<int32_t>(std::strtol(digits.c_str(), nullptr, 10));
  if (entry.name.empty()) return;
  // A command's capitals are places (variables it stores into, whole arrays: see
  // ChooseOverload); a function's letters are all types.
  const bool function = entry.name.back() == '[';
  for (char ch : signature)
    if (static_cast<unsigned char>(ch) >= 33)
      entry.signature += function ? static_cast<char>(std::tolower(static_cast<unsigned char>(ch))) : ch;
  if (entry.name.back() == '[') {
    entry.name.pop_back();
    if (c.functions.size() < kMaxFunctionKeywords) c.functions.push_back(std::move(entry));
  } else if (c.commands.size() < kMaxCommands) {
    c.commands.push_back(std::move(entry));
  }
}

void ParseKeywordText(CompilerObject& c, std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && static_cast<unsigned char>(text[pos]) < 32) pos++;
    size_t end = pos;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') end++;
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line[0] != ';') ParseKeywordLine(c, line);
    pos = end;
  }
}

int32_t KeywordIndex::Find(std::string_view name) const {
  int32_t node = 0;
  for (char ch : name) {
    int32_t child = nodes[static_cast<size_t>(node)].firstChild;
    if (node == 0) child = static_cast<unsigned char>(ch) < 128 && rootChild[static_cast<unsigned char>(ch)] != 0 ? rootChild[static_cast<unsigned char>(ch)] : -1;
    while (child >= 0 && nodes[static_cast<size_t>(child)].edge != ch) child = nodes[static_cast<size_t>(child)].nextSibling;
    if (child < 0) return -1;
    node = child;
  }
  return node == 0 ? -1 : nodes[static_cast<size_t>(node)].name;
}

static void BuildKeywordIndex(const std::vector<KeywordEntry>& entries, KeywordIndex& index) {
  size_t characters = 1;
  for (const KeywordEntry& entry : entries) characters += entry.name.size();
  index.nodes.clear();
  index.nodes.reserve(characters);
  index.nodes.emplace_back();
  index.nextOfName.assign(entries.size(), -1);
  std::vector<int32_t> lastOfName(characters, -1);  // per node: the last entry of its name so far
  std::fill(std::begin(index.rootChild), std::end(index.rootChild), 0);
  for (size_t e = 0; e < entries.size(); e++) {
    int32_t node = 0;
    for (char ch : entries[e].name) {
      int32_t child = index.nodes[static_cast<size_t>(node)].firstChild;
      while (child >= 0 && index.nodes[static_cast<size_t>(child)].edge != ch)
        child = index.nodes[static_cast<size_t>(child)].nextSibling;
      if (child < 0) {
        child = static_cast<int32_t>(index.nodes.size());
        KeywordIndex::Node added;
        added.edge = ch;
        added.nextSibling = index.nodes[static_cast<size_t>(node)].firstChild;
        index.nodes.push_back(added);
        index.nodes[static_cast<size_t>(node)].firstChild = child;
      }
      node = child;
    }
    int32_t& name = index.nodes[static_cast<size_t>(node)].name;
    if (name < 0) name = static_cast<int32_t>(e);
    else index.nextOfName[static_cast<size_t>(lastOfName[static_cast<size_t>(node)])] = static_cast<int32_t>(e);
    lastOfName[static_cast<size_t>(node)] = static_cast<int32_t>(e);
  }
  for (int32_t child = index.nodes[0].firstChild; child >= 0; child = index.nodes[static_cast<size_t>(child)].nextSibling) {
    const unsigned char first = static_cast<unsigned char>(index.nodes[static_cast<size_t>(child)].edge);
    if (first < 128) index.rootChild[first] = child;
  }
}

bool LoadKeywordTableFromText(CompilerObject& c, std::string_view text) {
  c.commands.clear();
  c.functions.clear();
  c.commands.reserve(kMaxCommands);
  c.functions.reserve(kMaxFunctionKeywords);
  ParseKeywordText(c, text);
  BuildKeywordIndex(c.commands, c.commandIndex);
  BuildKeywordIndex(c.functions, c.functionIndex);
  return !c.commands.empty() || !c.functions.empty();
}

bool LoadKeywordTable(CompilerObject& c) { return LoadKeywordTableFromText(c, EmbeddedKeywordText()); }

// The longest keyword name at the start of text: its first entry (-1 when none) and the
// length of text it takes. A blank in a name matches one or more blanks in the text, and a
// match must end at a word end ("str$" does not match inside "str$x", nor "abs" inside
// "absolute"). Two names that match take different lengths of text, so the longest is one.
static int32_t LongestKeywordMatch(const KeywordIndex& index, std::string_view text, size_t* length) {
  const std::vector<KeywordIndex::Node>& nodes = index.nodes;
  int32_t best = -1;
  size_t t = 0;
  int32_t node = 0;
  *length = 0;
  while (true) {
    const KeywordIndex::Node& at = nodes[static_cast<size_t>(node)];
    if (at.name >= 0 && !(t < text.size() && IsWordChar(at.edge) && IsWordChar(text[t]))) {
      best = at.name;
      *length = t;
    }
    if (t >= text.size()) break;
    const char ch = text[t];
    int32_t child = at.firstChild;
    if (node == 0) {
      const unsigned char first = static_cast<unsigned char>(ch);
      child = first < 128 && index.rootChild[first] != 0 ? index.rootChild[first] : -1;
    }
    while (child >= 0 && nodes[static_cast<size_t>(child)].edge != ch) child = nodes[static_cast<size_t>(child)].nextSibling;
    if (child < 0) break;
    t++;
    if (ch == ' ')
      while (t < text.size() && text[t] == ' ') t++;
    node = child;
  }
  return best;
}

const KeywordEntry* MatchCommandKeyword(const CompilerObject& c, std::string_view text) {
  size_t length = 0;
  int32_t name = LongestKeywordMatch(c.commandIndex, text, &length);
  return name < 0 ? nullptr : &c.commands[static_cast<size_t>(name)];
}

bool MatchFunctionName(const CompilerObject& c, std::string_view text, size_t* length) {
  return LongestKeywordMatch(c.functionIndex, text, length) >= 0;
}

bool IsCommandName(const CompilerObject& c, std::string_view name) { return c.commandIndex.Find(name) >= 0; }

int32_t FirstKeywordEntryNamed(const CompilerObject& c, std::string_view name, bool isFunction) {
  return (isFunction ? c.functionIndex : c.commandIndex).Find(name);
}

int32_t NextKeywordEntry(const CompilerObject& c, int32_t entry, bool isFunction) {
  return (isFunction ? c.functionIndex : c.commandIndex).nextOfName[static_cast<size_t>(entry)];
}

int FindKeywordById(const CompilerObject& c, int32_t number, std::string* name) {
  if (number == 0 || name == nullptr) return 0;
  for (size_t i = 0; i < c.commands.size(); i++)
    if (c.commands[i].number == number) {
      *name = c.commands[i].name;
      return static_cast<int>(i) + 1;
    }
  return 0;
}

char KeywordParamType(const CompilerObject& c, int entry, int position) {
  if (entry < 1 || static_cast<size_t>(entry) > c.commands.size() || position < 0) return 0;
  const std::string& signature = c.commands[static_cast<size_t>(entry) - 1].signature;
  return static_cast<size_t>(position) < signature.size() ? signature[static_cast<size_t>(position)] : 0;
}

std::vector<int> KeywordCommandNumbers(const CompilerObject& c) {
  std::vector<int> numbers;
  for (const KeywordEntry& entry : c.commands)
    if (entry.number != 0) numbers.push_back(entry.number);
  for (const KeywordEntry& entry : c.functions)
    if (entry.number != 0) numbers.push_back(entry.number);
  return numbers;
}

const std::vector<int>& InternalCommandNumbers() {
  static const std::vector<int> numbers = [] {
    std::vector<int> list = {kCmdJumpIfZero, kCmdJump, kCmdBlockJump, kCmdForStep, kCmdCallFunction,
                             kCmdEnd, kCmdRestoreAt, kCmdRestore, kCmdGosub, kCmdReturn,
                             kCmdPrintInt, kCmdPrintFloat, kCmdPrintText, kCmdPrintLineEnd, kCmdPrintNextZone,
                             kCmdInputInt, kCmdInputFloat, kCmdInputText, kCmdModulo,
                             kCmdUndimArray, kCmdStoreElementInt, kCmdStoreElementFloat,
                             kCmdStoreElementText};
    for (int i = 0; i < 4; i++) list.push_back(kCmdReturnNothing + i);
    for (int i = 0; i < 4; i++) list.push_back(kCmdExitNothing + i);
    for (int i = 0; i < 3; i++) list.push_back(kCmdReadInt + i);
    for (int k = 1; k <= 5; k++) list.push_back(kCmdDimArray + k);
    for (int k = 1; k <= 5; k++) list.push_back(kCmdArrayElement + k);
    // Operators and assignments, every form the expression compiler can pick.
    for (int n : {kPowerII, kPowerFF, kPowerIF, kPowerFI, kDivideII, kDivideIF, kDivideFI,
                  kDivideFF, kMultiplyII, kMultiplyIF, kMultiplyFI, kMultiplyFF, kAddII, kAddIF,
                  kAddFI, kAddFF, kJoinText, kSubtractII, kSubtractIF, kSubtractFI, kSubtractFF,
                  kRemoveText, kEqualII, kEqualFF, kTextEqual, kGreaterII, kGreaterFF,
                  kGreaterOrEqualII, kGreaterOrEqualFF, kLessII, kLessFF, kLessOrEqualII,
                  kLessOrEqualFF, kNotEqualII, kNotEqualFF, kTextNotEqual, kBitAnd, kBitOr,
                  kEqualIF, kEqualFI, kGreaterIF, kGreaterFI, kGreaterOrEqualIF,
                  kGreaterOrEqualFI, kLessIF, kLessFI, kLessOrEqualIF, kLessOrEqualFI,
                  kNotEqualIF, kNotEqualFI, kTextGreater, kTextLess, kAssignInt, kAssignFloat,
                  kAssignText, kFloatToInt, kIntToFloat})
      list.push_back(n);
    return list;
  }();
  return numbers;
}
