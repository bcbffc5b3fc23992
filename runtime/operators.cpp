// Operators and assignment: arithmetic over integer and float pairs, text joining and
// removal, comparisons, bitwise AND/OR and the five assignments with their conversions.
#include <algorithm>
#include <array>
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
Operands ThreeAt(const CodeCell* operands) {
  return {NumberDestinationAt(operands, 0), SlotAt(operands, 1), SlotAt(operands, 2)};
}
Operands TakeThree() {
  Operands o = ThreeAt(OperandPointer);
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

// Operations in double precision, written back as a float (the mixed and float forms). Two
// floats are added, taken away or multiplied as floats: double keeps more than twice a
// float's precision, so rounding its result to a float gives the float operation's result.
template <char Left, char Right, class Op>
CodeCell* FloatArithmeticAt(CodeCell* operands, Op op) {
  Operands o = ThreeAt(operands);
  if constexpr (Left == 'f' && Right == 'f')
    o.destination->asFloat = static_cast<float>(op(o.left->asFloat, o.right->asFloat));
  else
    o.destination->asFloat = static_cast<float>(op(AsDouble(o.left, Left), AsDouble(o.right, Right)));
  return operands + 3;
}
template <char Left, char Right, class Op>
void FloatArithmetic(Op op) {
  OperandPointer = FloatArithmeticAt<Left, Right>(OperandPointer, op);
}

// Floats compare as their doubles do; an integer beside a float is compared as a double.
template <char Left, char Right, class Compare>
int32_t ComparisonAt(const CodeCell* operands, Compare compare) {
  Operands o = ThreeAt(operands);
  int32_t result;
  if constexpr (Left == 'i' && Right == 'i')
    result = compare(o.left->asInt, o.right->asInt) ? 1 : 0;
  else if constexpr (Left == 'f' && Right == 'f')
    result = compare(o.left->asFloat, o.right->asFloat) ? 1 : 0;
  else
    result = compare(AsDouble(o.left, Left), AsDouble(o.right, Right)) ? 1 : 0;
  o.destination->asInt = result;
  return result;
}

// A comparison fused by the loader with the conditional jump on its result that follows it
// (IF, WHILE, UNTIL): the result is stored as before, then the jump is taken here. After the
// comparison's operands comes the jump's cell: its word, condition, target.
CodeCell* JumpIfZeroAfter(CodeCell* jump, int32_t result) {
  return result != 0 ? jump + 3 : reinterpret_cast<CodeCell*>(jump[2]);
}
template <char Left, char Right, const auto& Compare>
CodeCell* FastComparison(CodeCell* operands) {
  ComparisonAt<Left, Right>(operands, Compare);
  return operands + 3;
}
template <char Left, char Right, const auto& Compare>
CodeCell* FastComparisonAndJump(CodeCell* operands) {
  return JumpIfZeroAfter(operands + 3, ComparisonAt<Left, Right>(operands, Compare));
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

// Divisions and MOD by a constant the loader found to be a number other than zero: they
// cannot warn, so they run as fast forms. The plain divisions run the same arithmetic once
// their divisor passed the test.
CodeCell* FastDivideIIByConstant(CodeCell* operands) {
  Operands o = ThreeAt(operands);
  const int32_t left = o.left->asInt, right = o.right->asInt;
  o.destination->asInt = left == INT32_MIN && right == -1 ? INT32_MIN : left / right;  // wraps like + and *
  return operands + 3;
}
// The integer divisor of the float-by-integer form is made a float before it is used.
template <char Right>
double FloatDivisor(const VariableSlot* right) {
  return Right == 'i' ? static_cast<double>(static_cast<float>(right->asInt)) : AsDouble(right, Right);
}
template <char Left, char Right>
CodeCell* FastFloatDivideByConstant(CodeCell* operands) {
  Operands o = ThreeAt(operands);
  o.destination->asFloat = static_cast<float>(AsDouble(o.left, Left) / FloatDivisor<Right>(o.right));
  return operands + 3;
}

void CmdDivideII() {
  Operands o = ThreeAt(OperandPointer);
  if (o.right->asInt != 0) {
    OperandPointer = FastDivideIIByConstant(OperandPointer);
    return;
  }
  AdvanceOperands(3);
  o.destination->asInt = 0;
  RuntimeWarning(111);
}

// The float divisions: a zero (or not-a-number) divisor stores 0.0 and warns.
template <char Left, char Right>
void FloatDivide() {
  Operands o = ThreeAt(OperandPointer);
  const double right = FloatDivisor<Right>(o.right);
  if (right != 0.0 && !std::isnan(right)) {
    OperandPointer = FastFloatDivideByConstant<Left, Right>(OperandPointer);
    return;
  }
  AdvanceOperands(3);
  o.destination->raw = 0;
  RuntimeWarning(111);
}
void CmdDivideIF() { FloatDivide<'i', 'f'>(); }
void CmdDivideFI() { FloatDivide<'f', 'i'>(); }
void CmdDivideFF() { FloatDivide<'f', 'f'>(); }

CodeCell* FastModuloByConstant(CodeCell* operands) {
  Operands o = ThreeAt(operands);
  const int32_t right = o.right->asInt;
  o.destination->asInt = right == -1 ? 0 : o.left->asInt % right;  // as the MOD command
  return operands + 3;
}

// Sum, difference and product: integers modulo 2^32, the rest as FloatArithmeticAt says.
constexpr auto kTimes = [](auto a, auto b) { return a * b; };
constexpr auto kPlus = [](auto a, auto b) { return a + b; };
constexpr auto kMinus = [](auto a, auto b) { return a - b; };
template <char Left, char Right, const auto& Op>
CodeCell* FastArithmetic(CodeCell* operands) {
  if constexpr (Left == 'i' && Right == 'i') {
    Operands o = ThreeAt(operands);
    o.destination->asInt = static_cast<int32_t>(Op(Bits(o.left->asInt), Bits(o.right->asInt)));
    return operands + 3;
  } else {
    return FloatArithmeticAt<Left, Right>(operands, Op);
  }
}

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

void CmdTextEqual() { TextEquality<true>(); }
void CmdTextNotEqual() { TextEquality<false>(); }
void CmdTextGreater() { TextComparison([](int c) { return c > 0; }); }
void CmdTextLess() { TextComparison([](int c) { return c < 0; }); }

constexpr auto kAndBits = [](int32_t a, int32_t b) { return a & b; };
constexpr auto kOrBits = [](int32_t a, int32_t b) { return a | b; };
template <const auto& Bits>
int32_t BitOperationAt(const CodeCell* operands) {
  Operands o = ThreeAt(operands);
  o.destination->asInt = Bits(o.left->asInt, o.right->asInt);
  return o.destination->asInt;
}
template <const auto& Bits>
CodeCell* FastBitOperation(CodeCell* operands) {
  BitOperationAt<Bits>(operands);
  return operands + 3;
}
// AND and OR of comparisons fused with the conditional jump on their result, as above.
template <const auto& Bits>
CodeCell* FastBitOperationAndJump(CodeCell* operands) {
  return JumpIfZeroAfter(operands + 3, BitOperationAt<Bits>(operands));
}

// The assignments take two operands: destination, source. A float is copied bit for bit,
// whatever it holds.
CodeCell* FastAssignNumber(CodeCell* operands) {
  VariableSlot* destination = NumberDestinationAt(operands, 0);
  destination->asInt = SlotAt(operands, 1)->asInt;
  return operands + 2;
}
void CmdAssignText() {
  VariableSlot* destination = SlotOperand(0);
  const char* source = TextOperand(1);
  AdvanceOperands(2);
  StoreTextOfLength(destination, source, TextLength(source));
}
CodeCell* FastFloatToInt(CodeCell* operands) {
  VariableSlot* destination = NumberDestinationAt(operands, 0);
  destination->asInt = TruncateToInt(SlotAt(operands, 1)->asFloat);
  return operands + 2;
}
CodeCell* FastIntToFloat(CodeCell* operands) {
  VariableSlot* destination = NumberDestinationAt(operands, 0);
  destination->asFloat = static_cast<float>(SlotAt(operands, 1)->asInt);
  return operands + 2;
}

// Fast forms of a comparison, plain and fused with the conditional jump after it.
template <char Left, char Right, const auto& Compare>
constexpr FastCommand Compared(int number) {
  return FastCommandFor<FastComparison<Left, Right, Compare>, FastComparisonAndJump<Left, Right, Compare>>(number);
}

// Two commands in a row run by one dispatch: the loader pairs an arithmetic command with the
// arithmetic or the test and conditional jump after it (a*b+c, the steps of a float
// formula, IF x*x+y*y > 4). Each half is the command's own fast form, so the pair computes
// exactly what the two compute one after the other, raises nothing and never ends the slice;
// the second keeps its own cell, for jumps to it.
template <FastHandler First, FastHandler Second>
CodeCell* FastPair(CodeCell* operands) {
  return Second(First(operands) + 1);
}
// The pairs that start with one command: its fast form and, per second command (by its plain
// handler), the pair's.
struct PairedCommands {
  CommandHandler second;
  FastCommand pair;
};
struct PairsStartingWith {
  CommandHandler first;
  std::array<PairedCommands, 18> pairs;
};
template <FastHandler First, FastHandler Second>
constexpr PairedCommands Paired(CommandHandler second = RunFastForm<Second>) {
  return {second, {0, RunFastForm<FastPair<First, Second>>, FastPair<First, Second>}};
}
// A command followed by any integer or float arithmetic, any test and jump on numbers of its
// type, a jump (the plain one, NEXT's with the FOR step or ENDWHILE's with the test), a
// FUNCTION call (f(n - 1)) or the return of a number (EXITFUNCTION a + b).
template <char T, FastHandler First>
constexpr PairsStartingWith PairsAfter() {
  return {RunFastForm<First>,
          {Paired<First, FastArithmetic<'f', 'f', kTimes>>(), Paired<First, FastArithmetic<'f', 'f', kPlus>>(),
           Paired<First, FastArithmetic<'f', 'f', kMinus>>(), Paired<First, FastArithmetic<'i', 'i', kTimes>>(),
           Paired<First, FastArithmetic<'i', 'i', kPlus>>(), Paired<First, FastArithmetic<'i', 'i', kMinus>>(),
           Paired<First, FastComparisonAndJump<T, T, kEq>>(), Paired<First, FastComparisonAndJump<T, T, kNe>>(),
           Paired<First, FastComparisonAndJump<T, T, kGt>>(), Paired<First, FastComparisonAndJump<T, T, kGe>>(),
           Paired<First, FastComparisonAndJump<T, T, kLt>>(), Paired<First, FastComparisonAndJump<T, T, kLe>>(),
           Paired<First, FastJump>(), Paired<First, FastJumpToForStep>(CmdJumpToForStep),
           Paired<First, FastJumpThenRunTarget>(CmdJumpThenRunTarget), Paired<First, FastCallFunction>(CmdCallFunction),
           Paired<First, FastReturnInt>(CmdReturnInt), Paired<First, FastReturnFloat>(CmdReturnFloat)}};
}
const PairsStartingWith kPairedCommands[] = {
    PairsAfter<'f', FastArithmetic<'f', 'f', kTimes>>(), PairsAfter<'f', FastArithmetic<'f', 'f', kPlus>>(),
    PairsAfter<'f', FastArithmetic<'f', 'f', kMinus>>(), PairsAfter<'i', FastArithmetic<'i', 'i', kTimes>>(),
    PairsAfter<'i', FastArithmetic<'i', 'i', kPlus>>(), PairsAfter<'i', FastArithmetic<'i', 'i', kMinus>>(),
    PairsAfter<'i', FastModuloByConstant>(),           PairsAfter<'i', FastDivideIIByConstant>(),
    PairsAfter<'i', FastAssignNumber>(),
};

}  // namespace

CommandHandler PairedHandler(CommandHandler first, CommandHandler second) {
  for (const PairsStartingWith& pairs : kPairedCommands) {
    if (pairs.first != first) continue;
    for (const PairedCommands& paired : pairs.pairs)
      if (paired.second == second) return paired.pair.plain;
  }
  return nullptr;
}

CommandHandler ConstantDivisorHandler(int number) {
  switch (number) {
    case kDivideII: return RunFastForm<FastDivideIIByConstant>;
    case kDivideIF: return RunFastForm<FastFloatDivideByConstant<'i', 'f'>>;
    case kDivideFI: return RunFastForm<FastFloatDivideByConstant<'f', 'i'>>;
    case kDivideFF: return RunFastForm<FastFloatDivideByConstant<'f', 'f'>>;
    case kModulo: return RunFastForm<FastModuloByConstant>;
    default: return nullptr;
  }
}

bool RegisterOperatorPairs() {
  bool ok = true;
  for (const PairsStartingWith& pairs : kPairedCommands)
    for (const PairedCommands& paired : pairs.pairs) ok = RegisterFastCommands(&paired.pair, 1) && ok;
  const FastCommand divisions[] = {
      FastCommandFor<FastDivideIIByConstant>(0), FastCommandFor<FastFloatDivideByConstant<'i', 'f'>>(0),
      FastCommandFor<FastFloatDivideByConstant<'f', 'i'>>(0), FastCommandFor<FastFloatDivideByConstant<'f', 'f'>>(0),
      FastCommandFor<FastModuloByConstant>(0)};
  return RegisterFastCommands(divisions, std::size(divisions)) && ok;
}

const CommandEntry kOperatorCommands[] = {
    {kPowerII, CmdPowerII},       {kPowerFF, CmdPowerFF},   {kPowerIF, CmdPowerIF},
    {kPowerFI, CmdPowerFI},       {kDivideII, CmdDivideII}, {kDivideIF, CmdDivideIF},
    {kDivideFI, CmdDivideFI},     {kDivideFF, CmdDivideFF}, {kJoinText, CmdJoinText},
    {kRemoveText, CmdRemoveText}, {kTextEqual, CmdTextEqual}, {kTextNotEqual, CmdTextNotEqual},
    {kTextGreater, CmdTextGreater}, {kTextLess, CmdTextLess}, {kAssignText, CmdAssignText},
};
const size_t kOperatorCommandCount = std::size(kOperatorCommands);

const FastCommand kOperatorFastCommands[] = {
    FastCommandFor<FastArithmetic<'i', 'i', kTimes>>(kMultiplyII), FastCommandFor<FastArithmetic<'i', 'f', kTimes>>(kMultiplyIF),
    FastCommandFor<FastArithmetic<'f', 'i', kTimes>>(kMultiplyFI), FastCommandFor<FastArithmetic<'f', 'f', kTimes>>(kMultiplyFF),
    FastCommandFor<FastArithmetic<'i', 'i', kPlus>>(kAddII),       FastCommandFor<FastArithmetic<'i', 'f', kPlus>>(kAddIF),
    FastCommandFor<FastArithmetic<'f', 'i', kPlus>>(kAddFI),       FastCommandFor<FastArithmetic<'f', 'f', kPlus>>(kAddFF),
    FastCommandFor<FastArithmetic<'i', 'i', kMinus>>(kSubtractII), FastCommandFor<FastArithmetic<'i', 'f', kMinus>>(kSubtractIF),
    FastCommandFor<FastArithmetic<'f', 'i', kMinus>>(kSubtractFI), FastCommandFor<FastArithmetic<'f', 'f', kMinus>>(kSubtractFF),
    Compared<'i', 'i', kEq>(kEqualII),           Compared<'f', 'f', kEq>(kEqualFF),
    Compared<'i', 'f', kEq>(kEqualIF),           Compared<'f', 'i', kEq>(kEqualFI),
    Compared<'i', 'i', kNe>(kNotEqualII),        Compared<'f', 'f', kNe>(kNotEqualFF),
    Compared<'i', 'f', kNe>(kNotEqualIF),        Compared<'f', 'i', kNe>(kNotEqualFI),
    Compared<'i', 'i', kGt>(kGreaterII),         Compared<'f', 'f', kGt>(kGreaterFF),
    Compared<'i', 'f', kGt>(kGreaterIF),         Compared<'f', 'i', kGt>(kGreaterFI),
    Compared<'i', 'i', kGe>(kGreaterOrEqualII),  Compared<'f', 'f', kGe>(kGreaterOrEqualFF),
    Compared<'i', 'f', kGe>(kGreaterOrEqualIF),  Compared<'f', 'i', kGe>(kGreaterOrEqualFI),
    Compared<'i', 'i', kLt>(kLessII),            Compared<'f', 'f', kLt>(kLessFF),
    Compared<'i', 'f', kLt>(kLessIF),            Compared<'f', 'i', kLt>(kLessFI),
    Compared<'i', 'i', kLe>(kLessOrEqualII),     Compared<'f', 'f', kLe>(kLessOrEqualFF),
    Compared<'i', 'f', kLe>(kLessOrEqualIF),     Compared<'f', 'i', kLe>(kLessOrEqualFI),
    FastCommandFor<FastBitOperation<kAndBits>, FastBitOperationAndJump<kAndBits>>(kBitAnd),
    FastCommandFor<FastBitOperation<kOrBits>, FastBitOperationAndJump<kOrBits>>(kBitOr),
    FastCommandFor<FastAssignNumber>(kAssignInt),   FastCommandFor<FastAssignNumber>(kAssignFloat),
    FastCommandFor<FastFloatToInt>(kFloatToInt),    FastCommandFor<FastIntToFloat>(kIntToFloat),
};
const size_t kOperatorFastCommandCount = std::size(kOperatorFastCommands);

CommandHandler FusedCompareJumpHandler(int compareNumber) {
  for (const FastCommand& command : kOperatorFastCommands)
    if (command.number == compareNumber) return command.fusedPlain;
  return nullptr;
}
