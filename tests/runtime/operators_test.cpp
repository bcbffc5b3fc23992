// Operators and assignments: each case runs one command on constant operands and checks
// the destination, including wrap-around, truncation, division by zero and text limits.
#include <cstring>
#include <limits>
#include <random>

#include "tests/runtime/operator_cases.h"
#include "tests/runtime/run_program.h"

namespace {

class OperatorTest : public ProgramTest, public ::testing::WithParamInterface<OperatorCase> {};

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

INSTANTIATE_TEST_SUITE_P(Arithmetic, OperatorTest, ::testing::ValuesIn(ArithmeticCases()));

INSTANTIATE_TEST_SUITE_P(Comparisons, OperatorTest, ::testing::ValuesIn(ComparisonCases()));

INSTANTIATE_TEST_SUITE_P(Texts, OperatorTest, ::testing::ValuesIn(TextCases()));

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

INSTANTIATE_TEST_SUITE_P(Assignments, AssignTest, ::testing::ValuesIn(AssignmentCases()));

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
  EXPECT_EQ(FormatRuntimeErrorText().rfind("Runtime Warning 111 : ", 0), 0u);
}

// Two floats are added, taken away and multiplied as floats: for every pair, ordinary,
// huge, subnormal, signed zeros, infinities and random bit patterns, the result is the
// double operation's rounded to a float, bit for bit (any NaN stays a NaN).
TEST(FloatArithmetic, FloatFormsGiveTheDoubleResultRounded) {
  EnsureRuntimeCommands();
  std::vector<float> values = {0.0f, -0.0f, 1.0f, -1.5f, 0.1f, 3.0e38f, -3.4e38f, 1e-45f, -1.1754942e-38f,
                               16777217.0f, 1e-7f, std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
  std::mt19937 random(13);
  while (values.size() < 300) {
    const uint32_t bits = random();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    values.push_back(value);
  }
  const struct {
    int command;
    double (*expected)(double, double);
  } operations[] = {{kAddFF, [](double a, double b) { return a + b; }},
                    {kSubtractFF, [](double a, double b) { return a - b; }},
                    {kMultiplyFF, [](double a, double b) { return a * b; }}};
  VariableSlot slots[3] = {};
  CodeCell operands[3];
  for (int i = 0; i < 3; ++i) operands[i] = reinterpret_cast<CodeCell>(&slots[i]);
  int wrong = 0;
  for (const auto& operation : operations)
    for (float left : values)
      for (float right : values) {
        slots[1].asFloat = left;
        slots[2].asFloat = right;
        OperandPointer = operands;
        HandlerForCommand(operation.command)();
        ASSERT_EQ(OperandPointer, operands + 3);
        const float want = static_cast<float>(operation.expected(left, right));
        const float got = slots[0].asFloat;
        const bool same = std::isnan(want) ? std::isnan(got) : std::memcmp(&want, &got, sizeof got) == 0;
        if (!same && ++wrong <= 5)
          ADD_FAILURE() << operation.command << ": " << left << ", " << right << " gave " << got << ", not " << want;
      }
  EXPECT_EQ(wrong, 0);
}

}  // namespace
