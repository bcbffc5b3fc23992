// Operators and assignments: each case runs one command on constant operands and checks
// the destination, including wrap-around, truncation, division by zero and text limits.
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
  EXPECT_EQ(FormatRuntimeErrorText().rfind("Runtime Warning : ", 0), 0u);
}

}  // namespace
