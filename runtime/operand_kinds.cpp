// The operands each command takes, for the loader's check of a program: the keyword table's
// signatures, the commands the translator writes by itself, and what a registration names.
#include <string>
#include <string_view>
#include <unordered_map>

#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"

namespace {

// The commands the translator writes without a keyword of their own (and the statement
// words whose numbers they share, like IF and GOSUB). Kinds as CommandOperandKinds says.
struct OperandRow {
  int number;
  const char* kinds;
};
constexpr OperandRow kTranslatorCommands[] = {
    {kJumpIfZero, "lc"}, {kJumpIfZeroAlias9, "lc"}, {kJumpIfZeroAlias12, "lc"}, {kJump, "c"},
    {kJumpAlias5, "c"}, {kJumpAlias6, "c"}, {kJumpAlias10, "c"}, {kJumpAlias42, "c"}, {kBlockJump, "c"},
    {kForStep, "Lllc"}, {kJumpSecond, "wc"}, {kCallFunction, "cXk"},
    {kReturnNothing, "www"}, {kReturnNothingAlias27, "www"}, {kReturnInt, "l"}, {kReturnIntAlias28, "l"},
    {kReturnFloat, "f"}, {kReturnFloatAlias29, "f"}, {kReturnText, "s"}, {kReturnTextAlias30, "s"},
    {kEnd, ""}, {kRestoreAt, "n"}, {kRestore, ""}, {kReadInt, "L"}, {kReadFloat, "F"}, {kReadText, "S"},
    {kGosub, "c"}, {kReturn, ""},
    // Operators: destination, left, right.
    {kPowerII, "Lll"}, {kPowerFF, "Fff"}, {kPowerIF, "Flf"}, {kPowerFI, "Ffl"},
    {kDivideII, "Lll"}, {kDivideIF, "Flf"}, {kDivideFI, "Ffl"}, {kDivideFF, "Fff"},
    {kMultiplyII, "Lll"}, {kMultiplyIF, "Flf"}, {kMultiplyFI, "Ffl"}, {kMultiplyFF, "Fff"},
    {kAddII, "Lll"}, {kAddIF, "Flf"}, {kAddFI, "Ffl"}, {kAddFF, "Fff"}, {kJoinText, "Sss"},
    {kSubtractII, "Lll"}, {kSubtractIF, "Flf"}, {kSubtractFI, "Ffl"}, {kSubtractFF, "Fff"},
    {kRemoveText, "Sss"},
    {kEqualII, "Lll"}, {kEqualFF, "Lff"}, {kEqualIF, "Llf"}, {kEqualFI, "Lfl"}, {kTextEqual, "Lss"},
    {kGreaterII, "Lll"}, {kGreaterFF, "Lff"}, {kGreaterIF, "Llf"}, {kGreaterFI, "Lfl"},
    {kGreaterOrEqualII, "Lll"}, {kGreaterOrEqualFF, "Lff"}, {kGreaterOrEqualIF, "Llf"}, {kGreaterOrEqualFI, "Lfl"},
    {kLessII, "Lll"}, {kLessFF, "Lff"}, {kLessIF, "Llf"}, {kLessFI, "Lfl"},
    {kLessOrEqualII, "Lll"}, {kLessOrEqualFF, "Lff"}, {kLessOrEqualIF, "Llf"}, {kLessOrEqualFI, "Lfl"},
    {kNotEqualII, "Lll"}, {kNotEqualFF, "Lff"}, {kNotEqualIF, "Llf"}, {kNotEqualFI, "Lfl"},
    {kTextNotEqual, "Lss"}, {kTextGreater, "Lss"}, {kTextLess, "Lss"}, {kBitAnd, "Lll"}, {kBitOr, "Lll"},
    {kAssignInt, "Ll"}, {kAssignFloat, "Ff"}, {kAssignText, "Ss"}, {kFloatToInt, "Lf"}, {kIntToFloat, "Fl"},
    // PRINT, INPUT, MOD.
    {kPrintInt, "l"}, {kPrintFloat, "f"}, {kPrintText, "s"}, {kPrintLineEnd, ""}, {kPrintNextZone, ""},
    {kInputInt, "sL"}, {kInputFloat, "sF"}, {kInputText, "sS"}, {kModulo, "Lll"},
    // Arrays: DIM array, sizes; element temporary, array, indices; stores through a temporary.
    {kDimArray1, "al"}, {kDimArray2, "all"}, {kDimArray3, "alll"}, {kDimArray4, "allll"}, {kDimArray5, "alllll"},
    {kUndimArray, "a"},
    {kArrayElement1, "Eal"}, {kArrayElement2, "Eall"}, {kArrayElement3, "Ealll"}, {kArrayElement4, "Eallll"},
    {kArrayElement5, "Ealllll"},
    {kStoreElementInt, "Ll"}, {kStoreElementFloat, "Ff"}, {kStoreElementText, "Ss"},
};

// Lives for the process: built from the tables above on first use; registrations add to it.
// A map, as a few hundred of the 10000 numbers are used (a full table is 320 KB to clear).
struct KindTable {
  std::unordered_map<int, std::string> kinds;
  std::unordered_map<int, char> results;  // the keyword table's functions (operand 0 takes the result): its type
  bool Known(int number) const { return kinds.count(number) != 0; }
};

void Set(KindTable& table, int number, std::string_view kinds) { table.kinds[number].assign(kinds); }

// One keyword line: name%number%signature. A name ending in "[" is a function: the first
// letter of its signature is its result, written through operand 0.
void AddKeywordLine(KindTable& table, std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.empty() || line[0] == ';') return;
  size_t first = line.find('%');
  size_t second = first == std::string_view::npos ? first : line.find('%', first + 1);
  if (second == std::string_view::npos) return;
  std::string_view name = line.substr(0, first);
  int number = 0;
  for (char c : line.substr(first + 1, second - first - 1)) {
    if (c < '0' || c > '9' || number >= kCommandTableSize) return;
    number = number * 10 + (c - '0');
  }
  if (number <= 0 || number >= kCommandTableSize || table.Known(number)) return;
  std::string kinds(line.substr(second + 1));
  if (!name.empty() && name.back() == '[' && !kinds.empty()) {
    table.results[number] = kinds[0];
    kinds[0] = kinds[0] == 'l' ? 'L' : kinds[0] == 'f' ? 'F' : kinds[0] == 's' ? 'S' : '?';
  }
  Set(table, number, kinds);
}

KindTable& Kinds() {
  static KindTable* table = [] {
    auto* t = new KindTable();
    for (const OperandRow& row : kTranslatorCommands) Set(*t, row.number, row.kinds);
    std::string_view text = EmbeddedKeywordText();
    while (!text.empty()) {
      size_t end = text.find('\n');
      AddKeywordLine(*t, text.substr(0, end));
      text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return t;
  }();
  return *table;
}

}  // namespace

const char* CommandOperandKinds(int number) {
  if (number <= 0 || number >= kCommandTableSize) return nullptr;
  const KindTable& table = Kinds();
  const auto found = table.kinds.find(number);
  return found != table.kinds.end() ? found->second.c_str() : nullptr;
}

char CommandResultKind(int number) {
  const KindTable& table = Kinds();
  const auto found = table.results.find(number);
  return found != table.results.end() && (found->second == 'l' || found->second == 'f' || found->second == 's')
             ? found->second
             : 0;
}

bool CommandIsFunction(int number) { return Kinds().results.count(number) != 0; }

bool CommandOnlyWritesOperand0(int number) {
  return (number >= kPowerII && number <= kIntToFloat && number != kBlockJump) || number == kModulo ||
         CommandIsFunction(number);
}

void SetCommandOperandKinds(int number, const char* kinds) {
  if (number <= 0 || number >= kCommandTableSize || kinds == nullptr) return;
  Set(Kinds(), number, kinds);
}
