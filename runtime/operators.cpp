// Operators and assignment: arithmetic over integer and float pairs, text joining and
// removal, comparisons, bitwise AND/OR and the five assignments with their conversions.
#include <cmath>
#include <cstring>

#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"

namespace {

// Truncation toward zero through a 64-bit integer, keeping the low 32 bits; magnitudes of
// 2^63 and more and values that are not numbers give 0.
int32_t TruncateToInt(double value) {
  if (!(std::fabs(value) < 9223372036854775808.0)) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(value))));
}

// The three operands of an operator: destination, left, right; read before anything else.
struct Operands {
  VariableSlot* destination;
  VariableSlot* left;
  VariableSlot* right;
};
Operands TakeThree() {
  Operands o{NumberDestination(0), SlotOperand(1), SlotOperand(2)};
  AdvanceOperands(3);
  return o;
}

// The text operators: destination, left and right texts (checked to be text slots) with
// their lengths.
struct TextOperands {
  VariableSlot* destination;
  const char* left;
  const char* right;
  size_t leftLength, rightLength;
};
TextOperands TakeThreeTexts() {
  const char* left = TextOperand(1);
  const char* right = TextOperand(2);
  TextOperands o{SlotOperand(0), left, right, TextLength(left), TextLength(right)};
  AdvanceOperands(3);
  return o;
}

// Orders two texts as strcmp does (bytes as unsigned), the shorter first on a common start.
int CompareTexts(const char* left, size_t leftLength, const char* right, size_t rightLength) {
  int order = std::memcmp(left, right, leftLength < rightLength ? leftLength : rightLength);
  if (order != 0) return order;
  return leftLength < rightLength ? -1 : leftLength > rightLength ? 1 : 0;
}

double AsDouble(const VariableSlot* slot, char kind) {
  return kind == 'i' ? static_cast<double>(slot->asInt) : static_cast<double>(slot->asFloat);
}

// Operations in double precision, written back as a float (the mixed and float forms).
template <char Left, char Right, class Op>
void FloatArithmetic(Op op) {
  Operands o = TakeThree();
  o.destination->asFloat = static_cast<float>(op(AsDouble(o.left, Left), AsDouble(o.right, Right)));
}

template <char Left, char Right, class Compare>
int32_t Comparison(Compare compare) {
  Operands o = TakeThree();
  int32_t result;
  if constexpr (Left == 'i' && Right == 'i')
    result = compare(o.left->asInt, o.right->asInt) ? 1 : 0;
  else
    result = compare(AsDouble(o.left, Left), AsDouble(o.right, Right)) ? 1 : 0;
  o.destination->asInt = result;
  return result;
}

// A comparison fused by the loader with the conditional jump on its result that follows it
// (IF, WHILE, UNTIL): the result is stored as before, then the jump is taken here. After the
// comparison's operands OperandPointer is on the jump's cell: its word, condition, target.
void JumpIfZeroOn(int32_t result) {
  if (result != 0) AdvanceOperands(3);
  else OperandPointer = CodeOperand(2);
}
template <char Left, char Right, class Compare>
void ComparisonAndJump(Compare compare) {
  JumpIfZeroOn(Comparison<Left, Right>(compare));
}

template <class Compare>
void TextComparison(Compare compare) {
  VariableSlot* destination = NumberDestination(0);
  const char* left = TextOperand(1);
  const char* right = TextOperand(2);
  AdvanceOperands(3);
  destination->asInt = compare(CompareTexts(left, TextLength(left), right, TextLength(right))) ? 1 : 0;
}

// Equality needs no order: texts of different lengths differ without a look at them.
template <bool Equal>
void TextEquality() {
  VariableSlot* destination = NumberDestination(0);
  const char* left = TextOperand(1);
  const char* right = TextOperand(2);
  AdvanceOperands(3);
  size_t length = TextLength(left);
  bool same = length == TextLength(right) && std::memcmp(left, right, length) == 0;
  destination->asInt = same == Equal ? 1 : 0;
}

uint32_t Bits(int32_t v) { return static_cast<uint32_t>(v); }

void CmdPowerII() {
  Operands o = TakeThree();
  o.destination->asInt = TruncateToInt(std::pow(static_cast<double>(o.left->asInt), static_cast<double>(o.right->asInt)));
}
void CmdPowerFF() { FloatArithmetic<'f', 'f'>([](double a, double b) { return std::pow(a, b); }); }
void CmdPowerIF() { FloatArithmetic<'i', 'f'>([](double a, double b) { return std::pow(a, b); }); }
void CmdPowerFI() { FloatArithmetic<'f', 'i'>([](double a, double b) { return std::pow(a, b); }); }

void CmdDivideII() {
  Operands o = TakeThree();
  int32_t left = o.left->asInt, right = o.right->asInt;
  if (right == 0) {
    o.destination->asInt = 0;
    RuntimeWarning(111);
  } else if (left == INT32_MIN && right == -1) {
    o.destination->asInt = INT32_MIN;  // the quotient wraps like the other integer operators
  } else {
    o.destination->asInt = left / right;
  }
}

// The float divisions: a zero (or not-a-number) divisor stores 0.0 and warns.
template <char Left, char Right>
void FloatDivide() {
  Operands o = TakeThree();
  double left = AsDouble(o.left, Left);
  // The integer divisor of the float-by-integer form is made a float before the test.
  double right = Right == 'i' ? static_cast<double>(static_cast<float>(o.right->asInt)) : AsDouble(o.right, Right);
  if (right == 0.0 || std::isnan(right)) {
    o.destination->raw = 0;
    RuntimeWarning(111);
    return;
  }
  o.destination->asFloat = static_cast<float>(left / right);
}
void CmdDivideIF() { FloatDivide<'i', 'f'>(); }
void CmdDivideFI() { FloatDivide<'f', 'i'>(); }
void CmdDivideFF() { FloatDivide<'f', 'f'>(); }

void CmdMultiplyII() {
  Operands o = TakeThree();
  o.destination->asInt = static_cast<int32_t>(Bits(o.left->asInt) * Bits(o.right->asInt));
}
void CmdMultiplyIF() { FloatArithmetic<'i', 'f'>([](double a, double b) { return a * b; }); }
void CmdMultiplyFI() { FloatArithmetic<'f', 'i'>([](double a, double b) { return a * b; }); }
void CmdMultiplyFF() { FloatArithmetic<'f', 'f'>([](double a, double b) { return a * b; }); }

void CmdAddII() {
  Operands o = TakeThree();
  o.destination->asInt = static_cast<int32_t>(Bits(o.left->asInt) + Bits(o.right->asInt));
}
void CmdAddIF() { FloatArithmetic<'i', 'f'>([](double a, double b) { return a + b; }); }
void CmdAddFI() { FloatArithmetic<'f', 'i'>([](double a, double b) { return a + b; }); }
void CmdAddFF() { FloatArithmetic<'f', 'f'>([](double a, double b) { return a + b; }); }

void CmdSubtractII() {
  Operands o = TakeThree();
  o.destination->asInt = static_cast<int32_t>(Bits(o.left->asInt) - Bits(o.right->asInt));
}
void CmdSubtractIF() { FloatArithmetic<'i', 'f'>([](double a, double b) { return a - b; }); }
void CmdSubtractFI() { FloatArithmetic<'f', 'i'>([](double a, double b) { return a - b; }); }
void CmdSubtractFF() { FloatArithmetic<'f', 'f'>([](double a, double b) { return a - b; }); }

void CmdJoinText() {
  TextOperands o = TakeThreeTexts();
  size_t length = o.leftLength + o.rightLength;
  if (length > kMaxTextLength) {
    RuntimeError(107);
    return;
  }
  if (o.destination->asText == o.left && AppendTextInPlace(o.destination, o.right, o.rightLength)) return;
  char buffer[kMaxTextLength];
  std::memcpy(buffer, o.left, o.leftLength);
  std::memcpy(buffer + o.leftLength, o.right, o.rightLength);
  StoreTextOfLength(o.destination, buffer, length);
}

void CmdRemoveText() {
  TextOperands o = TakeThreeTexts();
  char buffer[kMaxTextLength];
  size_t n = o.leftLength, m = o.rightLength;
  std::memcpy(buffer, o.left, n);
  if (m > 0 && m <= n) {
    for (size_t i = 0; i + m <= n; ++i) {
      if (std::memcmp(buffer + i, o.right, m) == 0) {
        std::memmove(buffer + i, buffer + i + m, n - i - m);
        n -= m;
        break;
      }
    }
  }
  StoreTextOfLength(o.destination, buffer, n);
}

// The six comparisons, shared by the plain and the fused forms.
constexpr auto kEq = [](auto a, auto b) { return a == b; };
constexpr auto kNe = [](auto a, auto b) { return a != b; };
constexpr auto kGt = [](auto a, auto b) { return a > b; };
constexpr auto kGe = [](auto a, auto b) { return a >= b; };
constexpr auto kLt = [](auto a, auto b) { return a < b; };
constexpr auto kLe = [](auto a, auto b) { return a <= b; };

void CmdEqualII() { Comparison<'i', 'i'>(kEq); }
void CmdEqualFF() { Comparison<'f', 'f'>(kEq); }
void CmdEqualIF() { Comparison<'i', 'f'>(kEq); }
void CmdEqualFI() { Comparison<'f', 'i'>(kEq); }
void CmdGreaterII() { Comparison<'i', 'i'>(kGt); }
void CmdGreaterFF() { Comparison<'f', 'f'>(kGt); }
void CmdGreaterIF() { Comparison<'i', 'f'>(kGt); }
void CmdGreaterFI() { Comparison<'f', 'i'>(kGt); }
void CmdGreaterOrEqualII() { Comparison<'i', 'i'>(kGe); }
void CmdGreaterOrEqualFF() { Comparison<'f', 'f'>(kGe); }
void CmdGreaterOrEqualIF() { Comparison<'i', 'f'>(kGe); }
void CmdGreaterOrEqualFI() { Comparison<'f', 'i'>(kGe); }
void CmdLessII() { Comparison<'i', 'i'>(kLt); }
void CmdLessFF() { Comparison<'f', 'f'>(kLt); }
void CmdLessIF() { Comparison<'i', 'f'>(kLt); }
void CmdLessFI() { Comparison<'f', 'i'>(kLt); }
void CmdLessOrEqualII() { Comparison<'i', 'i'>(kLe); }
void CmdLessOrEqualFF() { Comparison<'f', 'f'>(kLe); }
void CmdLessOrEqualIF() { Comparison<'i', 'f'>(kLe); }
void CmdLessOrEqualFI() { Comparison<'f', 'i'>(kLe); }
void CmdNotEqualII() { Comparison<'i', 'i'>(kNe); }
void CmdNotEqualFF() { Comparison<'f', 'f'>(kNe); }
void CmdNotEqualIF() { Comparison<'i', 'f'>(kNe); }
void CmdNotEqualFI() { Comparison<'f', 'i'>(kNe); }
// The comparisons' fused forms, by the comparison's number.
template <char Left, char Right, const auto& Compare>
void CmdComparisonAndJump() { ComparisonAndJump<Left, Right>(Compare); }
struct FusedComparison {
  int number;
  CommandHandler handler;
};
constexpr FusedComparison kFusedComparisons[] = {
    {kEqualII, CmdComparisonAndJump<'i', 'i', kEq>},        {kEqualFF, CmdComparisonAndJump<'f', 'f', kEq>},
    {kEqualIF, CmdComparisonAndJump<'i', 'f', kEq>},        {kEqualFI, CmdComparisonAndJump<'f', 'i', kEq>},
    {kNotEqualII, CmdComparisonAndJump<'i', 'i', kNe>},     {kNotEqualFF, CmdComparisonAndJump<'f', 'f', kNe>},
    {kNotEqualIF, CmdComparisonAndJump<'i', 'f', kNe>},     {kNotEqualFI, CmdComparisonAndJump<'f', 'i', kNe>},
    {kGreaterII, CmdComparisonAndJump<'i', 'i', kGt>},      {kGreaterFF, CmdComparisonAndJump<'f', 'f', kGt>},
    {kGreaterIF, CmdComparisonAndJump<'i', 'f', kGt>},      {kGreaterFI, CmdComparisonAndJump<'f', 'i', kGt>},
    {kGreaterOrEqualII, CmdComparisonAndJump<'i', 'i', kGe>}, {kGreaterOrEqualFF, CmdComparisonAndJump<'f', 'f', kGe>},
    {kGreaterOrEqualIF, CmdComparisonAndJump<'i', 'f', kGe>}, {kGreaterOrEqualFI, CmdComparisonAndJump<'f', 'i', kGe>},
    {kLessII, CmdComparisonAndJump<'i', 'i', kLt>},         {kLessFF, CmdComparisonAndJump<'f', 'f', kLt>},
    {kLessIF, CmdComparisonAndJump<'i', 'f', kLt>},         {kLessFI, CmdComparisonAndJump<'f', 'i', kLt>},
    {kLessOrEqualII, CmdComparisonAndJump<'i', 'i', kLe>},  {kLessOrEqualFF, CmdComparisonAndJump<'f', 'f', kLe>},
    {kLessOrEqualIF, CmdComparisonAndJump<'i', 'f', kLe>},  {kLessOrEqualFI, CmdComparisonAndJump<'f', 'i', kLe>},
};

void CmdTextEqual() { TextEquality<true>(); }
void CmdTextNotEqual() { TextEquality<false>(); }
void CmdTextGreater() { TextComparison([](int c) { return c > 0; }); }
void CmdTextLess() { TextComparison([](int c) { return c < 0; }); }

int32_t BitAnd(int32_t a, int32_t b) { return a & b; }
int32_t BitOr(int32_t a, int32_t b) { return a | b; }
template <int32_t (*Bits)(int32_t, int32_t)>
int32_t BitOperation() {
  Operands o = TakeThree();
  o.destination->asInt = Bits(o.left->asInt, o.right->asInt);
  return o.destination->asInt;
}
void CmdBitAnd() { BitOperation<BitAnd>(); }
void CmdBitOr() { BitOperation<BitOr>(); }
// AND and OR of comparisons fused with the conditional jump on their result, as above.
void CmdBitAndAndJump() { JumpIfZeroOn(BitOperation<BitAnd>()); }
void CmdBitOrAndJump() { JumpIfZeroOn(BitOperation<BitOr>()); }

// The assignments take two operands: destination, source.
void CmdAssignInt() {
  VariableSlot* destination = NumberDestination(0);
  int32_t value = IntOperand(1);
  AdvanceOperands(2);
  destination->asInt = value;
}
void CmdAssignFloat() {
  VariableSlot* destination = NumberDestination(0);
  int32_t bits = IntOperand(1);  // bit for bit, whatever the float holds
  AdvanceOperands(2);
  destination->asInt = bits;
}
void CmdAssignText() {
  VariableSlot* destination = SlotOperand(0);
  const char* source = TextOperand(1);
  AdvanceOperands(2);
  StoreTextOfLength(destination, source, TextLength(source));
}
void CmdFloatToInt() {
  VariableSlot* destination = NumberDestination(0);
  float value = FloatOperand(1);
  AdvanceOperands(2);
  destination->asInt = TruncateToInt(value);
}
void CmdIntToFloat() {
  VariableSlot* destination = NumberDestination(0);
  int32_t value = IntOperand(1);
  AdvanceOperands(2);
  destination->asFloat = static_cast<float>(value);
}

}  // namespace

const CommandEntry kOperatorCommands[] = {
    {kPowerII, CmdPowerII},       {kPowerFF, CmdPowerFF},       {kPowerIF, CmdPowerIF},
    {kPowerFI, CmdPowerFI},       {kDivideII, CmdDivideII},     {kDivideIF, CmdDivideIF},
    {kDivideFI, CmdDivideFI},     {kDivideFF, CmdDivideFF},     {kMultiplyII, CmdMultiplyII},
    {kMultiplyIF, CmdMultiplyIF}, {kMultiplyFI, CmdMultiplyFI}, {kMultiplyFF, CmdMultiplyFF},
    {kAddII, CmdAddII},           {kAddIF, CmdAddIF},           {kAddFI, CmdAddFI},
    {kAddFF, CmdAddFF},           {kJoinText, CmdJoinText},     {kSubtractII, CmdSubtractII},
    {kSubtractIF, CmdSubtractIF}, {kSubtractFI, CmdSubtractFI}, {kSubtractFF, CmdSubtractFF},
    {kRemoveText, CmdRemoveText}, {kEqualII, CmdEqualII},       {kEqualFF, CmdEqualFF},
    {kEqualIF, CmdEqualIF},       {kEqualFI, CmdEqualFI},       {kTextEqual, CmdTextEqual},
    {kGreaterII, CmdGreaterII},   {kGreaterFF, CmdGreaterFF},   {kGreaterIF, CmdGreaterIF},
    {kGreaterFI, CmdGreaterFI},   {kGreaterOrEqualII, CmdGreaterOrEqualII},
    {kGreaterOrEqualFF, CmdGreaterOrEqualFF}, {kGreaterOrEqualIF, CmdGreaterOrEqualIF},
    {kGreaterOrEqualFI, CmdGreaterOrEqualFI}, {kLessII, CmdLessII}, {kLessFF, CmdLessFF},
    {kLessIF, CmdLessIF},         {kLessFI, CmdLessFI},         {kLessOrEqualII, CmdLessOrEqualII},
    {kLessOrEqualFF, CmdLessOrEqualFF}, {kLessOrEqualIF, CmdLessOrEqualIF},
    {kLessOrEqualFI, CmdLessOrEqualFI}, {kNotEqualII, CmdNotEqualII}, {kNotEqualFF, CmdNotEqualFF},
    {kNotEqualIF, CmdNotEqualIF}, {kNotEqualFI, CmdNotEqualFI}, {kTextNotEqual, CmdTextNotEqual},
    {kTextGreater, CmdTextGreater}, {kTextLess, CmdTextLess},   {kBitAnd, CmdBitAnd},
    {kBitOr, CmdBitOr},           {kAssignInt, CmdAssignInt},   {kAssignFloat, CmdAssignFloat},
    {kAssignText, CmdAssignText}, {kFloatToInt, CmdFloatToInt}, {kIntToFloat, CmdIntToFloat},
};
const size_t kOperatorCommandCount = std::size(kOperatorCommands);

CommandHandler FusedCompareJumpHandler(int compareNumber) {
  if (compareNumber == kBitAnd) return CmdBitAndAndJump;
  if (compareNumber == kBitOr) return CmdBitOrAndJump;
  for (const FusedComparison& f : kFusedComparisons)
    if (f.number == compareNumber) return f.handler;
  return nullptr;
}
