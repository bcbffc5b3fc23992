// Control flow: FOR steps and exits, GOSUB/RETURN and the return-stack limit, recursive
// FUNCTION calls with locals restored, DATA/READ/RESTORE, END and the closing word 0.
#include <string>

#include "tests/runtime/run_program.h"

namespace {

using qvasm::ProgramBuilder;

// FOR counter = from TO limit STEP step: the loop body appends the counter to a text
// through a digit table, so the test sees the exact sequence of counter values.
struct ForCase {
  int from, limit, step;
  int maxIterations;  // the body ends the loop itself after this many passes (for step 0)
  std::string visited;
};
// The case's name in CTest, e.g. "FOR 1 TO 3 STEP 1 visits 123".
void PrintTo(const ForCase& c, std::ostream* out) {
  *out << "FOR " << c.from << " TO " << c.limit << " STEP " << c.step << " visits " << c.visited;
}
class ForLoopTest : public ProgramTest, public ::testing::WithParamInterface<ForCase> {};

TEST_P(ForLoopTest, RunsBodyForEachCounterValue) {
  const ForCase& c = GetParam();
  int counter = b.IntVar(), passes = b.IntVar(), seen = b.IntVar();
  auto top = b.NewLabel(), exit = b.NewLabel();
  // seen = seen * 10 + counter; the compiled loop starts one step early and steps first.
  b.Emit(kSubtractII, {b.Id(counter), b.Id(b.IntConst(c.from)), b.Id(b.IntConst(c.step))});
  b.Bind(top);
  b.Emit(kForStep, {b.Id(counter), b.Id(b.IntConst(c.limit)), b.Id(b.IntConst(c.step)), b.At(exit)});
  b.Emit(kMultiplyII, {b.Id(seen), b.Id(seen), b.Id(b.IntConst(10))});
  b.Emit(kAddII, {b.Id(seen), b.Id(seen), b.Id(counter)});
  b.Emit(kAddII, {b.Id(passes), b.Id(passes), b.Id(b.IntConst(1))});
  int more = ProgramBuilder::IntTemp(0);
  b.Emit(kLessII, {b.Id(more), b.Id(passes), b.Id(b.IntConst(c.maxIterations))});
  b.Emit(kJumpIfZero, {b.Id(more), b.At(exit)});
  b.Emit(kJump, {b.At(top)});
  b.Bind(exit);
  RunResult r = RunAssembled(b);
  ASSERT_TRUE(r.quit);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(std::to_string(SlotOf(seen).asInt), c.visited);
}

INSTANTIATE_TEST_SUITE_P(Steps, ForLoopTest,
                         ::testing::Values(ForCase{1, 3, 1, 100, "123"}, ForCase{3, 1, -1, 100, "321"},
                                           ForCase{1, 0, 1, 100, "0"},      // body never runs
                                           ForCase{2, 2, 1, 100, "2"},      // the limit is inclusive
                                           ForCase{5, 1, 0, 4, "5555"}));  // step 0 never leaves by itself

TEST_F(ProgramTest, GosubReturnsAfterItsOperand) {
  int x = b.IntVar();
  auto sub = b.NewLabel(), done = b.NewLabel();
  b.Emit(kGosub, {b.At(sub)});
  b.Emit(kMultiplyII, {b.Id(x), b.Id(x), b.Id(b.IntConst(10))});
  b.Emit(kGosub, {b.At(sub)});
  b.Emit(kJump, {b.At(done)});
  b.Bind(sub);
  b.Emit(kAddII, {b.Id(x), b.Id(x), b.Id(b.IntConst(1))});
  b.Emit(kReturn);
  b.Bind(done);
  b.Emit(kReturn);  // nothing on the stack: ignored
  ASSERT_EQ(RunAssembled(b).error, 0);
  EXPECT_EQ(SlotOf(x).asInt, 11);
  EXPECT_EQ(ReturnDepth(), 0);
}

TEST_F(ProgramTest, The65535thNestedGosubRaises108) {
  int depth = b.IntVar();
  auto sub = b.NewLabel();
  b.Bind(sub);
  b.Emit(kAddII, {b.Id(depth), b.Id(depth), b.Id(b.IntConst(1))});
  b.Emit(kGosub, {b.At(sub)});
  RunResult r = RunAssembled(b, 100000);
  ASSERT_TRUE(r.quit);
  EXPECT_EQ(r.error, 108);
  EXPECT_EQ(ReturnDepth(), 65534);
  EXPECT_EQ(SlotOf(depth).asInt, 65535);
}

// FUNCTION fact(n): m = n; label = "theirs"; IF n = 0 RETURN 1; label = "mine";
// r = fact(n - 1) * (label = "mine"); RETURN m * r.
// After every inner call the caller's n and m must be its own again.
TEST_F(ProgramTest, RecursiveFunctionRestoresItsParametersAndLocals) {
  const uint16_t kFact = 1;
  int n = b.IntVar(kFact), m = b.IntVar(kFact), r = b.IntVar(kFact), label = b.TextVar(kFact);
  int result = b.IntVar(), global = b.IntVar();
  auto fact = b.NewLabel(), main = b.NewLabel(), recurse = b.NewLabel();
  int t0 = ProgramBuilder::IntTemp(0), t1 = ProgramBuilder::IntTemp(1);
  b.Emit(kJump, {b.At(main)});
  b.Bind(fact);
  b.Words({b.Id(n), b.Raw(kFact)});
  b.Emit(kAssignInt, {b.Id(m), b.Id(n)});
  b.Emit(kAssignText, {b.Id(label), b.Id(b.TextConst("theirs"))});
  b.Emit(kEqualII, {b.Id(t0), b.Id(n), b.Id(b.IntConst(0))});
  b.Emit(kJumpIfZero, {b.Id(t0), b.At(recurse)});
  b.Emit(kReturnInt, {b.Id(b.IntConst(1))});
  b.Bind(recurse);
  b.Emit(kSubtractII, {b.Id(t1), b.Id(n), b.Id(b.IntConst(1))});
  b.Emit(kAssignText, {b.Id(label), b.Id(b.TextConst("mine"))});
  // The result comes back in a temporary: the caller's locals are restored after it lands.
  b.Emit(kCallFunction, {b.At(fact), b.Id(t1), b.Id(b.IntConst(1)), b.Id(t1)});
  b.Emit(kAssignInt, {b.Id(r), b.Id(t1)});
  // n, m and label are this call's again.
  b.Emit(kTextEqual, {b.Id(t0), b.Id(label), b.Id(b.TextConst("mine"))});
  b.Emit(kMultiplyII, {b.Id(r), b.Id(r), b.Id(t0)});
  b.Emit(kMultiplyII, {b.Id(t0), b.Id(m), b.Id(r)});
  b.Emit(kAddII, {b.Id(global), b.Id(global), b.Id(n)});
  b.Emit(kReturnInt, {b.Id(t0)});
  b.Bind(main);
  b.Emit(kCallFunction, {b.At(fact), b.Id(result), b.Id(b.IntConst(1)), b.Id(b.IntConst(6))});
  RunResult run = RunAssembled(b);
  ASSERT_EQ(run.error, 0);
  EXPECT_EQ(SlotOf(result).asInt, 720);
  EXPECT_EQ(SlotOf(global).asInt, 6 + 5 + 4 + 3 + 2 + 1);  // each level saw its own n
  EXPECT_EQ(ReturnDepth(), 0);
}

// FUNCTION deep(n): t$ = 255 characters of its own; RETURN deep(n + 1). The save stacks
// grow far past their first size with every level's text, until the 65535th call raises 108.
TEST_F(ProgramTest, RecursionToTheLimitWithTextLocalsRaises108) {
  const uint16_t kDeep = 4;
  int n = b.IntVar(kDeep), text = b.TextVar(kDeep), result = b.IntVar();
  auto deep = b.NewLabel(), main = b.NewLabel();
  int t = ProgramBuilder::IntTemp(0);
  b.Emit(kJump, {b.At(main)});
  b.Bind(deep);
  b.Words({b.Id(n), b.Raw(kDeep)});
  b.Emit(kAssignText, {b.Id(text), b.Id(b.TextConst(std::string(255, 'd')))});
  b.Emit(kAddII, {b.Id(t), b.Id(n), b.Id(b.IntConst(1))});
  b.Emit(kCallFunction, {b.At(deep), b.Id(t), b.Id(b.IntConst(1)), b.Id(t)}, 12);
  b.Emit(kReturnInt, {b.Id(t)});
  b.Bind(main);
  b.Emit(kCallFunction, {b.At(deep), b.Id(result), b.Id(b.IntConst(1)), b.Id(b.IntConst(1))});
  RunResult r = RunAssembled(b, 100000);
  ASSERT_TRUE(r.quit);
  EXPECT_EQ(r.error, 108);
  EXPECT_EQ(RuntimeErrorLine(), 12);  // the call that found the stack full
  EXPECT_EQ(ReturnDepth(), 65534);
  EXPECT_EQ(SlotOf(n).asInt, 65534);
  EXPECT_EQ(TextOf(text), std::string(255, 'd'));
}

TEST_F(ProgramTest, FunctionReturnsTextAndNothing) {
  const uint16_t kGreet = 2;
  int who = b.TextVar(kGreet), greeting = b.TextVar(), nothing = b.IntVar();
  auto greet = b.NewLabel(), silent = b.NewLabel(), main = b.NewLabel();
  int t = ProgramBuilder::TextTemp(0);
  b.Emit(kJump, {b.At(main)});
  b.Bind(greet);
  b.Words({b.Id(who), b.Raw(kGreet)});
  b.Emit(kJoinText, {b.Id(t), b.Id(b.TextConst("hello ")), b.Id(who)});
  b.Emit(kReturnText, {b.Id(t)});
  b.Bind(silent);
  b.Words({b.Raw(3)});
  b.Emit(kReturnNothing, {b.Id(t), b.Id(t), b.Id(t)});
  b.Bind(main);
  b.Emit(kAssignInt, {b.Id(nothing), b.Id(b.IntConst(9))});
  b.Emit(kCallFunction, {b.At(greet), b.Id(greeting), b.Id(b.IntConst(1)), b.Id(b.TextConst("you"))});
  b.Emit(kCallFunction, {b.At(silent), b.Id(nothing), b.Id(b.IntConst(0))});
  ASSERT_EQ(RunAssembled(b).error, 0);
  EXPECT_EQ(TextOf(greeting), "hello you");
  EXPECT_EQ(SlotOf(nothing).asInt, 0);
}

TEST_F(ProgramTest, ReadRestoreAndTypeMismatch) {
  b.DataInt(7);
  b.DataText("abc");
  b.DataFloat(1.5f);
  int i1 = b.IntVar(), s1 = b.TextVar(), f1 = b.FloatVar(), i2 = b.IntVar(), i3 = b.IntVar(), s2 = b.TextVar();
  int i4 = b.IntVar(), f2 = b.FloatVar();
  b.Emit(kReadInt, {b.Id(i1)});
  b.Emit(kReadText, {b.Id(s1)});
  b.Emit(kReadFloat, {b.Id(f1)});
  b.Emit(kReadInt, {b.Id(i2)});  // past the last item: 0
  b.Emit(kRestore);
  b.Emit(kReadText, {b.Id(s2)});  // item 0 is an integer: the empty text
  b.Emit(kRestoreAt, {b.Number(2)});
  b.Emit(kReadFloat, {b.Id(f2)});
  b.Emit(kRestoreAt, {b.Number(0)});
  b.Emit(kReadInt, {b.Id(i3)});
  b.Emit(kRestoreAt, {b.Raw(static_cast<uint32_t>(-5))});  // outside the items: reads nothing
  b.Emit(kReadInt, {b.Id(i4)});
  ASSERT_EQ(RunAssembled(b).error, 0);
  EXPECT_EQ(SlotOf(i1).asInt, 7);
  EXPECT_EQ(TextOf(s1), "abc");
  EXPECT_FLOAT_EQ(SlotOf(f1).asFloat, 1.5f);
  EXPECT_EQ(SlotOf(i2).asInt, 0);
  EXPECT_EQ(TextOf(s2), "");
  EXPECT_FLOAT_EQ(SlotOf(f2).asFloat, 1.5f);
  EXPECT_EQ(SlotOf(i3).asInt, 7);
  EXPECT_EQ(SlotOf(i4).asInt, 0);
}

TEST_F(ProgramTest, ReadIntoArrayElementGoesThroughItsAddress) {
  b.DataInt(42);
  b.DataText("el");
  ProgramBuilder::IntTemp(5);
  b.Emit(kReadInt, {b.Id(ProgramBuilder::IntTemp(5))});
  b.Emit(kReadText, {b.Id(ProgramBuilder::TextTemp(5))});
  EnsureRuntimeCommands();
  std::vector<uint8_t> file = b.Build();
  ASSERT_TRUE(LoadCompiledProgramFromMemory(file.data(), file.size(), nullptr));
  VariableSlot element[2] = {};
  ElementAddressTable[5] = &element[0];
  ElementAddressTable[2005] = &element[1];
  ASSERT_TRUE(RunLoadedProgramUntilQuit(10));
  EXPECT_EQ(element[0].asInt, 42);
  ASSERT_NE(element[1].asText, nullptr);
  EXPECT_STREQ(element[1].asText, "el");
  FreeText(element[1].asText);
}

TEST_F(ProgramTest, EndStopsWithTwentyOneAndSkipsTheRest) {
  int x = b.IntVar();
  b.Emit(kEnd);
  b.Emit(kAssignInt, {b.Id(x), b.Id(b.IntConst(1))});
  RunResult r = RunAssembled(b);
  ASSERT_TRUE(r.quit);
  EXPECT_EQ(r.error, 21);
  EXPECT_TRUE(EndedByProgram());
  EXPECT_EQ(SlotOf(x).asInt, 0);
}

TEST_F(ProgramTest, ClosingWordAndUnknownCommandEndWithoutError) {
  int x = b.IntVar();
  b.Emit(kAssignInt, {b.Id(x), b.Id(b.IntConst(3))});
  b.Emit(9998);  // no handler
  b.Emit(kAssignInt, {b.Id(x), b.Id(b.IntConst(4))});
  RunResult r = RunAssembled(b);
  ASSERT_TRUE(r.quit);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(SlotOf(x).asInt, 3);
  EXPECT_EQ(OperandPointer - Program().code.data(), 3);  // left on the unknown word
  EXPECT_EQ(Program().words[3], 9998);
}

}  // namespace

namespace {

// The main program's variables (owner 0) are saved around a call only when the call is
// made inside a GOSUB or FUNCTION: a FUNCTION called from a GOSUB that changes a global
// sees the change undone when it returns; called from the top level, the change stays.
TEST_F(ProgramTest, GlobalsAreSavedOnlyAroundNestedCalls) {
  int global = b.IntVar(), afterTop = b.IntVar(), afterNested = b.IntVar();
  auto f = b.NewLabel(), sub = b.NewLabel(), main = b.NewLabel();
  int t = qvasm::ProgramBuilder::IntTemp(0);
  b.Emit(kJump, {b.At(main)});
  b.Bind(f);
  b.Words({b.Raw(7)});
  b.Emit(kAddII, {b.Id(global), b.Id(global), b.Id(b.IntConst(10))});
  b.Emit(kReturnNothing, {b.Id(t), b.Id(t), b.Id(t)});
  b.Bind(sub);
  b.Emit(kCallFunction, {b.At(f), b.Id(t), b.Id(b.IntConst(0))});
  b.Emit(kReturn);
  b.Bind(main);
  b.Emit(kCallFunction, {b.At(f), b.Id(t), b.Id(b.IntConst(0))});
  b.Emit(kAssignInt, {b.Id(afterTop), b.Id(global)});
  b.Emit(kGosub, {b.At(sub)});
  b.Emit(kAssignInt, {b.Id(afterNested), b.Id(global)});
  ASSERT_EQ(RunAssembled(b).error, 0);
  EXPECT_EQ(SlotOf(afterTop).asInt, 10);
  EXPECT_EQ(SlotOf(afterNested).asInt, 10);  // restored to what it was before the nested call
}

// A program file may name any 32-bit owner; ids past 16 bits own nothing (they overflowed the
// owner bit sets and wrote outside them).
TEST_F(ProgramTest, OwnerIdsPastSixteenBitsOwnNothing) {
  for (uint32_t owner : {0xFFFFFFFEu, 0xFFFFFFFFu, 0x80000000u}) {
    qvasm::ProgramBuilder b;
    int global = b.IntVar(owner), after = b.IntVar();
    auto f = b.NewLabel(), main = b.NewLabel();
    int t = qvasm::ProgramBuilder::IntTemp(0);
    b.Emit(kJump, {b.At(main)});
    b.Bind(f);
    b.Words({b.Raw(7)});
    b.Emit(kAddII, {b.Id(global), b.Id(global), b.Id(b.IntConst(10))});
    b.Emit(kReturnNothing, {b.Id(t), b.Id(t), b.Id(t)});
    b.Bind(main);
    b.Emit(kCallFunction, {b.At(f), b.Id(t), b.Id(b.IntConst(0))});
    b.Emit(kAssignInt, {b.Id(after), b.Id(global)});
    ASSERT_EQ(RunAssembled(b).error, 0) << owner;
    EXPECT_EQ(SlotOf(after).asInt, 10) << owner;
  }
}

// A call saves its caller's variables only when the called function can reach them; code a
// function reaches by a GOSUB counts as its own. Called from a GOSUB of the main program, a
// function that GOSUBs into main-program code changing a global finds the global put back,
// whether the loader followed its code (a small id) or gave up on huge owner ids (9000).
TEST_F(ProgramTest, CodeAFunctionReachesByGosubCountsForItsSaves) {
  for (uint16_t id : {uint16_t{7}, uint16_t{9000}}) {
    qvasm::ProgramBuilder b;
    int global = b.IntVar(), after = b.IntVar(), own = b.IntVar(id);
    auto f = b.NewLabel(), bump = b.NewLabel(), sub = b.NewLabel(), main = b.NewLabel();
    int t = qvasm::ProgramBuilder::IntTemp(0);
    b.Emit(kJump, {b.At(main)});
    b.Bind(f);
    b.Words({b.Raw(id)});
    b.Emit(kAssignInt, {b.Id(own), b.Id(b.IntConst(1))});
    b.Emit(kGosub, {b.At(bump)});
    b.Emit(kReturnNothing, {b.Id(t), b.Id(t), b.Id(t)});
    b.Bind(bump);
    b.Emit(kAddII, {b.Id(global), b.Id(global), b.Id(b.IntConst(10))});
    b.Emit(kReturn);
    b.Bind(sub);
    b.Emit(kCallFunction, {b.At(f), b.Id(t), b.Id(b.IntConst(0))});
    b.Emit(kReturn);
    b.Bind(main);
    b.Emit(kGosub, {b.At(sub)});
    b.Emit(kAssignInt, {b.Id(after), b.Id(global)});
    ASSERT_EQ(RunAssembled(b).error, 0) << "id " << id;
    EXPECT_EQ(SlotOf(after).asInt, 0) << "id " << id;
    EXPECT_EQ(SlotOf(own).asInt, 1) << "id " << id;
  }
}

TEST_F(ProgramTest, ProgramOfOnlyTheClosingWordEndsAtOnce) {
  RunResult r = RunAssembled(b);
  EXPECT_TRUE(r.quit);
  EXPECT_EQ(r.error, 0);
}

}  // namespace
