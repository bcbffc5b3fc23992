// The keyword table: reads the keyword resource (name%number%signature lines) and finds the
// longest command or function name at a place in a statement.
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

bool LoadKeywordTableFromText(CompilerObject& c, std::string_view text) {
  c.commands.clear();
  c.functions.clear();
  ParseKeywordText(c, text);
  return !c.commands.empty() || !c.functions.empty();
}

bool LoadKeywordTable(CompilerObject& c) { return LoadKeywordTableFromText(c, EmbeddedKeywordText()); }

// Length of text matched by a keyword name at its start, 0 when it does not match. A blank
// in the name matches one or more blanks in the text; the match must end at a word end.
static size_t MatchName(std::string_view name, std::string_view text) {
  size_t t = 0;
  for (size_t n = 0; n < name.size(); n++) {
    if (name[n] == ' ') {
      if (t >= text.size() || text[t] != ' ') return 0;
      while (t < text.size() && text[t] == ' ') t++;
      continue;
    }
    if (t >= text.size() || text[t] != name[n]) return 0;
    t++;
  }
  if (t < text.size() && IsWordChar(name.back()) && IsWordChar(text[t])) {
    // "str$" must not match inside "str$x", nor "abs" inside "absolute".
    return 0;
  }
  return t;
}

const KeywordEntry* MatchCommandKeyword(const CompilerObject& c, std::string_view text) {
  const KeywordEntry* best = nullptr;
  size_t bestLength = 0;
  if (text.empty()) return nullptr;
  for (const KeywordEntry& entry : c.commands) {
    if (entry.name[0] != text[0]) continue;
    size_t length = MatchName(entry.name, text);
    if (length > bestLength) {
      best = &entry;
      bestLength = length;
    }
  }
  return best;
}

bool MatchFunctionName(const CompilerObject& c, std::string_view text, size_t* length) {
  size_t bestLength = 0;
  if (text.empty()) return false;
  for (const KeywordEntry& entry : c.functions) {
    if (entry.name[0] != text[0]) continue;
    size_t matched = MatchName(entry.name, text);
    if (matched > bestLength) bestLength = matched;
  }
  *length = bestLength;
  return bestLength > 0;
}

bool IsCommandName(const CompilerObject& c, std::string_view name) {
  for (const KeywordEntry& entry : c.commands)
    if (entry.name == name) return true;
  return false;
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
