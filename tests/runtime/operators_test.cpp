// Operators and assignments: each case runs one command on constant operands and checks
// the destination, including wrap-around, truncation, division by zero and text limits.
#include <algorithm>
#include <cmath>
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

// The loader runs two commands in a row as one (a*b+c, x*x+y*y > 4, the steps of a formula),
// and divisions by a constant as fast forms: the results must be bit for bit those of the
// commands run one by one, over the values where float arithmetic has its edges. Each program
// holds, per left and right value and per third value, "t# = left OP1 right" followed by
// "v# = t# OP2 third" or by "IF t# CMP third THEN flag = 1", and runs once fused and once not.
// Runs a program fused and one command at a time; true when every result slot ends the same.
::testing::AssertionResult SameFusedAndOneByOne(const qvasm::ProgramBuilder& b, const std::vector<int>& results) {
  std::vector<uint32_t> ends[2];
  for (bool fusion : {true, false}) {
    SetCommandFusionForTests(fusion);
    const RunResult run = RunAssembled(b);
    SetCommandFusionForTests(true);
    if (run.error != 0) return ::testing::AssertionFailure() << "error " << run.error;
    for (int result : results) ends[fusion].push_back(static_cast<uint32_t>(SlotOf(result).raw));
  }
  for (size_t i = 0; i < results.size(); ++i)
    if (ends[0][i] != ends[1][i])
      return ::testing::AssertionFailure() << "result " << i << ": bits " << std::hex << ends[1][i] << " fused, "
                                           << ends[0][i] << " one by one";
  return ::testing::AssertionSuccess();
}

TEST_F(ProgramTest, FusedCommandsGiveTheResultsOfTheCommandsOneByOne) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<float> values = {0.0f, -0.0f, 1.0f, -1.5f, 0.1f, 3.0e38f, -3.4e38f, 1e-45f, -1.1754942e-38f,
                                     16777217.0f, inf, -inf, std::numeric_limits<float>::quiet_NaN()};
  const std::vector<float> thirds = {-0.0f, 1e-45f, 3.0e38f, -inf, std::numeric_limits<float>::quiet_NaN()};
  const int arithmetic[] = {kMultiplyFF, kAddFF, kSubtractFF};
  const int divisions[] = {kDivideFF, kDivideFI, kDivideIF};
  const int tests[] = {kEqualFF, kNotEqualFF, kGreaterFF, kGreaterOrEqualFF, kLessFF, kLessOrEqualFF};
  std::vector<int> seconds(std::begin(arithmetic), std::end(arithmetic));
  seconds.insert(seconds.end(), std::begin(tests), std::end(tests));
  for (int first : arithmetic) {
    for (int second : seconds) {
      qvasm::ProgramBuilder b;
      const int t = qvasm::ProgramBuilder::FloatTemp(0), flag = qvasm::ProgramBuilder::IntTemp(0);
      std::vector<int> results;
      for (float left : values)
        for (float right : values)
          for (float third : thirds) {
            b.Emit(first, {b.Id(t), b.Id(b.FloatConst(left)), b.Id(b.FloatConst(right))});
            const bool isTest = std::find(std::begin(tests), std::end(tests), second) != std::end(tests);
            const int result = isTest ? b.IntVar() : b.FloatVar();
            results.push_back(result);
            if (!isTest) {
              b.Emit(second, {b.Id(result), b.Id(t), b.Id(b.FloatConst(third))});
              continue;
            }
            auto skip = b.NewLabel();
            b.Emit(second, {b.Id(flag), b.Id(t), b.Id(b.FloatConst(third))});
            b.Emit(kJumpIfZero, {b.Id(flag), b.At(skip)});
            b.Emit(kAssignInt, {b.Id(result), b.Id(b.IntConst(1))});
            b.Bind(skip);
          }
      EXPECT_TRUE(SameFusedAndOneByOne(b, results)) << "commands " << first << " then " << second;
    }
  }
  // Divisions by a constant: every value by every nonzero constant, fused and not.
  std::vector<int> results;
  for (int division : divisions)
    for (float left : values)
      for (float right : values) {
        const int result = b.FloatVar();
        results.push_back(result);
        const int leftId = division == kDivideIF ? b.IntConst(left == left && std::fabs(left) < 1e9f ? static_cast<int32_t>(left) : 3)
                                                 : b.FloatConst(left);
        const int rightId = division == kDivideFI ? b.IntConst(right == right && std::fabs(right) < 1e9f ? static_cast<int32_t>(right) : 3)
                                                  : b.FloatConst(right);
        b.Emit(division, {b.Id(result), b.Id(leftId), b.Id(rightId)});
      }
  EXPECT_TRUE(SameFusedAndOneByOne(b, results)) << "divisions";
}

}  // namespace
