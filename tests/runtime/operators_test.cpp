// Operators and assignments: each case runs one command on constant operands and checks
// the destination, including wrap-around, truncation, division by zero and text limits.
#include <cmath>
#include <variant>

#include "tests/runtime/run_program.h"

namespace {

using Value = std::variant<int32_t, float, std::string>;

struct OperatorCase {
  int command;
  Value left, right, expected;
  int error = 0;  // the error left after the run (warnings are silent: 0)
};

class OperatorTest : public ProgramTest, public ::testing::WithParamInterface<OperatorCase> {};

int ConstantId(qvasm::ProgramBuilder& b, const Value& v) {
  if (auto* i = std::get_if<int32_t>(&v)) return b.IntConst(*i);
  if (auto* f = std::get_if<float>(&v)) return b.FloatConst(*f);
  return b.TextConst(std::get<std::string>(v));
}

int DestinationId(qvasm::ProgramBuilder& b, const Value& expected) {
  if (std::holds_alternative<int32_t>(expected)) return b.IntVar();
  if (std::holds_alternative<float>(expected)) return b.FloatVar();
  return b.TextVar();
}

TEST_P(OperatorTest, StoresResult) {
  const OperatorCase& c = GetParam();
  int destination = DestinationId(b, c.expected);
  b.Emit(c.command, {b.Id(destination), b.Id(ConstantId(b, c.left)), b.Id(ConstantId(b, c.right))});
  RunResult r = RunAssembled(b);
  ASSERT_TRUE(r.quit);
  EXPECT_EQ(r.error, c.error);
  if (auto* i = std::get_if<int32_t>(&c.expected)) {
    EXPECT_EQ(SlotOf(destination).asInt, *i);
  }
  if (auto* f = std::get_if<float>(&c.expected)) {
    EXPECT_FLOAT_EQ(SlotOf(destination).asFloat, *f);
  }
  if (auto* s = std::get_if<std::string>(&c.expected)) {
    EXPECT_EQ(TextOf(destination), *s);
  }
}

const std::string k200(200, 'a'), k55(55, 'b'), k56(56, 'b');

INSTANTIATE_TEST_SUITE_P(
    Arithmetic, OperatorTest,
    ::testing::Values(
        OperatorCase{kPowerII, 2, 10, 1024}, OperatorCase{kPowerII, 2, -1, 0},
        OperatorCase{kPowerII, 2, 31, INT32_MIN}, OperatorCase{kPowerII, 2, 32, 0},
        OperatorCase{kPowerII, 2, 64, 0},  // 2^64 is past 2^63: 0
        OperatorCase{kPowerFI, 2.0f, -1, 0.5f}, OperatorCase{kPowerFF, 9.0f, 0.5f, 3.0f},
        OperatorCase{kPowerIF, 4, 0.5f, 2.0f},
        OperatorCase{kDivideII, -7, 2, -3}, OperatorCase{kDivideII, 7, 0, 0},
        OperatorCase{kDivideII, INT32_MIN, -1, INT32_MIN},  // no trap: wraps like the others
        OperatorCase{kDivideFF, 7.5f, 0.0f, 0.0f}, OperatorCase{kDivideFF, 1.0f, 4.0f, 0.25f},
        OperatorCase{kDivideIF, 1, 0.0f, 0.0f}, OperatorCase{kDivideFI, 1.0f, 0, 0.0f},
        OperatorCase{kDivideFI, 3.0f, 2, 1.5f}, OperatorCase{kDivideIF, 3, 2.0f, 1.5f},
        OperatorCase{kAddII, INT32_MAX, 1, INT32_MIN}, OperatorCase{kAddFI, 0.5f, 2, 2.5f},
        OperatorCase{kAddIF, 2, 0.25f, 2.25f}, OperatorCase{kAddFF, 0.5f, 0.25f, 0.75f},
        OperatorCase{kSubtractII, INT32_MIN, 1, INT32_MAX}, OperatorCase{kSubtractIF, 1, 0.5f, 0.5f},
        OperatorCase{kSubtractFI, 1.5f, 1, 0.5f}, OperatorCase{kSubtractFF, 1.0f, 0.25f, 0.75f},
        OperatorCase{kMultiplyII, 65536, 65536, 0}, OperatorCase{kMultiplyII, -3, 7, -21},
        OperatorCase{kMultiplyIF, 3, 0.5f, 1.5f}, OperatorCase{kMultiplyFI, 0.5f, 3, 1.5f},
        OperatorCase{kMultiplyFF, 1.5f, 1.5f, 2.25f},
        OperatorCase{kBitAnd, 12, 10, 8}, OperatorCase{kBitOr, 12, 10, 14}, OperatorCase{kBitAnd, -1, INT32_MIN, INT32_MIN}));

INSTANTIATE_TEST_SUITE_P(
    Comparisons, OperatorTest,
    ::testing::Values(
        OperatorCase{kEqualII, 3, 3, 1}, OperatorCase{kEqualFF, 0.5f, 0.25f, 0}, OperatorCase{kEqualIF, 2, 2.0f, 1},
        OperatorCase{kEqualFI, 2.5f, 2, 0}, OperatorCase{kGreaterII, -1, -2, 1}, OperatorCase{kGreaterFF, 1.0f, 1.0f, 0},
        OperatorCase{kGreaterIF, 3, 2.5f, 1}, OperatorCase{kGreaterFI, 2.5f, 3, 0},
        OperatorCase{kGreaterOrEqualII, 2, 2, 1}, OperatorCase{kGreaterOrEqualFF, 0.5f, 0.75f, 0},
        OperatorCase{kGreaterOrEqualIF, 3, 3.0f, 1}, OperatorCase{kGreaterOrEqualFI, 2.5f, 3, 0},
        OperatorCase{kLessII, INT32_MIN, INT32_MAX, 1}, OperatorCase{kLessFF, 0.5f, 0.25f, 0},
        OperatorCase{kLessIF, 2, 2.5f, 1},
        OperatorCase{kLessIF, 16777217, 16777216.0f, 0},  // the integer is widened exactly, not narrowed
        OperatorCase{kLessFI, 2.5f, 2, 0}, OperatorCase{kLessOrEqualII, 5, 5, 1},
        OperatorCase{kLessOrEqualFF, 0.5f, 0.5f, 1}, OperatorCase{kLessOrEqualIF, 6, 5.5f, 0},
        OperatorCase{kLessOrEqualFI, 5.5f, 6, 1}, OperatorCase{kNotEqualII, 1, 2, 1}, OperatorCase{kNotEqualFF, 1.0f, 1.0f, 0},
        OperatorCase{kNotEqualIF, 1, 1.5f, 1}, OperatorCase{kNotEqualFI, 2.0f, 2, 0}));

INSTANTIATE_TEST_SUITE_P(
    Texts, OperatorTest,
    ::testing::Values(
        OperatorCase{kJoinText, std::string("ab"), std::string("cd"), std::string("abcd")},
        OperatorCase{kJoinText, k200, k55, k200 + k55},
        OperatorCase{kJoinText, k200, k56, std::string(""), 107},  // destination untouched (empty)
        OperatorCase{kRemoveText, std::string("banana"), std::string("an"), std::string("bana")},
        OperatorCase{kRemoveText, std::string("abc"), std::string("x"), std::string("abc")},
        OperatorCase{kRemoveText, std::string("ab"), std::string("abc"), std::string("ab")},
        OperatorCase{kRemoveText, std::string("ab"), std::string(""), std::string("ab")},
        OperatorCase{kTextEqual, std::string("abc"), std::string("ABC"), 0},
        OperatorCase{kTextEqual, std::string(""), std::string(""), 1},
        OperatorCase{kTextGreater, std::string("abc"), std::string("ABC"), 1},
        OperatorCase{kTextLess, std::string("ab"), std::string("abc"), 1},
        OperatorCase{kTextLess, std::string("\xe9"), std::string("z"), 0},  // bytes compare unsigned
        OperatorCase{kTextNotEqual, std::string("a"), std::string("b"), 1}));

// The two-operand assignments and conversions.
struct AssignCase {
  int command;
  Value source, expected;
};
class AssignTest : public ProgramTest, public ::testing::WithParamInterface<AssignCase> {};

TEST_P(AssignTest, ConvertsAndCopies) {
  const AssignCase& c = GetParam();
  int destination = DestinationId(b, c.expected);
  b.Emit(c.command, {b.Id(destination), b.Id(ConstantId(b, c.source))});
  ASSERT_TRUE(RunAssembled(b).quit);
  if (auto* i = std::get_if<int32_t>(&c.expected)) {
    EXPECT_EQ(SlotOf(destination).asInt, *i);
  }
  if (auto* f = std::get_if<float>(&c.expected)) {
    EXPECT_FLOAT_EQ(SlotOf(destination).asFloat, *f);
  }
  if (auto* s = std::get_if<std::string>(&c.expected)) {
    EXPECT_EQ(TextOf(destination), *s);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Assignments, AssignTest,
    ::testing::Values(AssignCase{kFloatToInt, 2.9f, 2}, AssignCase{kFloatToInt, -2.9f, -2},
                      AssignCase{kFloatToInt, 5e9f, 705032704},  // low 32 bits of 5000000000
                      AssignCase{kFloatToInt, NAN, 0}, AssignCase{kIntToFloat, 16777217, 16777216.0f},
                      AssignCase{kAssignInt, -5, -5}, AssignCase{kAssignFloat, 1.25f, 1.25f},
                      AssignCase{kAssignText, std::string("hello"), std::string("hello")}));

TEST_F(ProgramTest, TextAssignedToItselfKeepsItsText) {
  int s = b.TextVar();
  b.Emit(kAssignText, {b.Id(s), b.Id(b.TextConst("same"))});
  b.Emit(kAssignText, {b.Id(s), b.Id(s)});
  b.Emit(kJoinText, {b.Id(s), b.Id(s), b.Id(s)});
  ASSERT_TRUE(RunAssembled(b).quit);
  EXPECT_EQ(TextOf(s), "samesame");
}

TEST_F(ProgramTest, DivisionByZeroWarnsOnlyWhenWarningsAreOn) {
  int x = b.IntVar();
  b.Emit(kDivideII, {b.Id(x), b.Id(b.IntConst(7)), b.Id(b.IntConst(0))});
  b.Emit(kAssignInt, {b.Id(x), b.Id(b.IntConst(5))});
  EnsureRuntimeCommands();
  std::vector<uint8_t> file = b.Build();
  ASSERT_TRUE(LoadCompiledProgramFromMemory(file.data(), file.size(), nullptr));
  SetWarningsOff(false);  // outside a player run the warning stops the program
  ASSERT_TRUE(RunLoadedProgramUntilQuit(10));
  EXPECT_EQ(RuntimeErrorNumber(), 111);
  EXPECT_TRUE(RuntimeErrorIsWarning());
  EXPECT_EQ(SlotOf(x).asInt, 0);
  EXPECT_EQ(FormatRuntimeErrorText().rfind("Runtime Warning : ", 0), 0u);
}

}  // namespace
