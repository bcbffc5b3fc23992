// The loader's check of the code: each operand against its command's signature, jumps only
// onto commands, FUNCTION calls against their parameter lists; and the run of what passes:
// fused pairs behave as their two commands, a return without a call stops at unchecked words.
#include "tests/runtime/run_program.h"

namespace {

using qvasm::ProgramBuilder;

// Programs the compiler never writes: each must be refused when it is loaded.
struct CorruptCode {
  const char* what;
  void (*emit)(ProgramBuilder& b);
};
void PrintTo(const CorruptCode& c, std::ostream* out) { *out << c.what; }  // the case's name in CTest
class CorruptCodeTest : public ProgramTest, public ::testing::WithParamInterface<CorruptCode> {};

TEST_P(CorruptCodeTest, IsRefusedAtLoad) {
  GetParam().emit(b);
  EnsureRuntimeCommands();
  std::vector<uint8_t> file = b.Build();
  std::string whyNot;
  EXPECT_FALSE(LoadCompiledProgramFromMemory(file.data(), file.size(), &whyNot)) << GetParam().what;
  EXPECT_NE(whyNot.find("code word"), std::string::npos) << whyNot;
  EXPECT_EQ(VariableTable, nullptr);
  EXPECT_FALSE(Program().loaded);
}

const auto W = ProgramBuilder::Id;

// A FUNCTION without parameters that returns nothing, and a call of it whose argument count
// is the given id.
void EmitCallOfEmptyFunction(ProgramBuilder& b, int countId) {
  auto f = b.NewLabel(), main = b.NewLabel();
  b.Emit(kJump, {b.At(main)});
  b.Bind(f);
  b.Words({b.Raw(1)});
  b.Emit(kReturnNothing, {W(10000), W(10000), W(10000)});
  b.Bind(main);
  b.Emit(kCallFunction, {b.At(f), W(ProgramBuilder::IntTemp(0)), W(countId)});
}

INSTANTIATE_TEST_SUITE_P(
    Operands, CorruptCodeTest,
    ::testing::Values(
        CorruptCode{"sum written into a text temporary",
                    [](ProgramBuilder& b) { b.Emit(kAddII, {W(ProgramBuilder::TextTemp(0)), W(b.IntConst(1)), W(b.IntConst(2))}); }},
        CorruptCode{"number assigned to a text variable",
                    [](ProgramBuilder& b) { b.Emit(kAssignInt, {W(b.TextVar()), W(b.IntConst(5))}); }},
        CorruptCode{"text stored into a text constant",
                    [](ProgramBuilder& b) { int k = b.TextConst("kept"); b.Emit(kAssignText, {W(k + 5), W(k)}); }},
        CorruptCode{"integer read as a text",
                    [](ProgramBuilder& b) { b.Emit(kJoinText, {W(b.TextVar()), W(b.IntVar()), W(b.TextConst("x"))}); }},
        CorruptCode{"plain number where a slot belongs",
                    [](ProgramBuilder& b) { b.Emit(kAddII, {b.Number(5), W(b.IntConst(1)), W(b.IntConst(2))}); }},
        CorruptCode{"small literal where a slot belongs",
                    [](ProgramBuilder& b) { b.Emit(kAssignInt, {W(b.IntVar()), b.Raw(7)}); }},
        CorruptCode{"code position where a slot belongs",
                    [](ProgramBuilder& b) { b.Emit(kAssignInt, {W(b.IntVar()), b.Raw(37000)}); }},
        CorruptCode{"slot where a jump target belongs",
                    [](ProgramBuilder& b) { b.Emit(kJump, {W(b.IntVar())}); }},
        CorruptCode{"FOR counter that is a constant",
                    [](ProgramBuilder& b) {
                      auto out = b.NewLabel();
                      b.Emit(kForStep, {W(b.IntConst(0)), W(b.IntConst(3)), W(b.IntConst(1)), b.At(out)});
                      b.Bind(out);
                    }},
        CorruptCode{"READ of a number into a text",
                    [](ProgramBuilder& b) { b.DataInt(3); b.Emit(kReadInt, {W(b.TextVar())}); }}));

INSTANTIATE_TEST_SUITE_P(
    Flow, CorruptCodeTest,
    ::testing::Values(
        CorruptCode{"jump into the middle of a command",
                    [](ProgramBuilder& b) {
                      b.Emit(kAssignInt, {W(b.IntVar()), W(b.IntConst(1))});
                      b.Emit(kJump, {b.Raw(37000 + 1)});  // word 1: the assignment's destination
                    }},
        CorruptCode{"command running past the end of the code",
                    [](ProgramBuilder& b) { b.Words({b.Raw(kAddII), W(b.IntVar())}); }},
        CorruptCode{"conditional jump onto its own operand",
                    [](ProgramBuilder& b) { b.Emit(kJumpIfZero, {W(b.IntVar()), b.Raw(37000 + 2)}); }},
        CorruptCode{"FUNCTION argument count that is a variable",
                    [](ProgramBuilder& b) { EmitCallOfEmptyFunction(b, b.IntVar()); }},
        CorruptCode{"FUNCTION argument of the wrong kind",
                    [](ProgramBuilder& b) {
                      int parameter = b.IntVar(1);
                      auto f = b.NewLabel(), main = b.NewLabel();
                      b.Emit(kJump, {b.At(main)});
                      b.Bind(f);
                      b.Words({W(parameter), b.Raw(1)});
                      b.Emit(kReturnInt, {W(parameter)});
                      b.Bind(main);
                      b.Emit(kCallFunction,
                             {b.At(f), W(ProgramBuilder::IntTemp(0)), W(b.IntConst(1)), W(b.TextConst("x"))});
                    }},
        CorruptCode{"FUNCTION entry on a command",
                    [](ProgramBuilder& b) {
                      auto f = b.NewLabel();
                      b.Bind(f);
                      b.Emit(kAssignInt, {W(b.IntVar()), W(b.IntConst(1))});
                      b.Emit(kCallFunction, {b.At(f), W(ProgramBuilder::IntTemp(0)), W(b.IntConst(0))});
                    }},
        CorruptCode{"more FUNCTION arguments than there are words",
                    [](ProgramBuilder& b) { EmitCallOfEmptyFunction(b, b.IntConst(50)); }}));

// A comparison fused with the conditional jump after it, a jump straight onto that
// conditional jump, a NEXT fused with its FOR step, and a WHILE's AND test with the jump
// back onto it: each gives what the commands give one after the other (the test's
// temporary is still written).
TEST_F(ProgramTest, FusedPairsRunAsTheirTwoCommands) {
  int i = b.IntVar(), big = b.IntVar(), small = b.IntVar(), x = b.IntVar(), t = ProgramBuilder::IntTemp(0);
  int w = b.IntVar(), u = ProgramBuilder::IntTemp(1), v = ProgramBuilder::IntTemp(2);
  int zero = b.IntConst(0), one = b.IntConst(1);
  auto test = b.NewLabel(), skip = b.NewLabel(), top = b.NewLabel(), low = b.NewLabel(), out = b.NewLabel();
  auto whileTop = b.NewLabel(), done = b.NewLabel();
  b.Emit(kJump, {b.At(test)});  // onto the second command of a fused pair
  b.Emit(kGreaterII, {W(t), W(one), W(zero)});
  b.Bind(test);
  b.Emit(kJumpIfZero, {W(t), b.At(skip)});
  b.Emit(kAssignInt, {W(x), W(one)});  // skipped: t is still 0
  b.Bind(skip);
  b.Bind(top);
  const int compare = b.Here() + 5;
  b.Emit(kForStep, {W(i), W(b.IntConst(9)), W(one), b.At(out)});
  b.Emit(kGreaterII, {W(t), W(i), W(b.IntConst(4))});
  b.Emit(kJumpIfZero, {W(t), b.At(low)});
  b.Emit(kAddII, {W(big), W(big), W(one)});
  b.Emit(kJump, {b.At(top)});
  b.Bind(low);
  b.Emit(kAddII, {W(small), W(small), W(one)});
  b.Emit(kJump, {b.At(top)});
  b.Bind(out);
  b.Bind(whileTop);  // WHILE w < 7 AND i > 0
  b.Emit(kLessII, {W(u), W(w), W(b.IntConst(7))});
  b.Emit(kGreaterII, {W(v), W(i), W(zero)});
  b.Emit(kBitAnd, {W(u), W(u), W(v)});
  b.Emit(kJumpIfZero, {W(u), b.At(done)});
  b.Emit(kAddII, {W(w), W(w), W(one)});
  b.Emit(kJump, {b.At(whileTop)});
  b.Bind(done);
  EnsureRuntimeCommands();
  std::vector<uint8_t> file = b.Build();
  ASSERT_TRUE(LoadCompiledProgramFromMemory(file.data(), file.size(), nullptr));
  ASSERT_EQ(Program().words[static_cast<size_t>(compare)], kGreaterII);
  EXPECT_NE(Program().code[static_cast<size_t>(compare)], reinterpret_cast<CodeCell>(HandlerForCommand(kGreaterII)));
  ASSERT_TRUE(RunLoadedProgramUntilQuit(10));
  EXPECT_EQ(RuntimeErrorNumber(), 0);
  EXPECT_EQ(SlotOf(x).asInt, 0);
  EXPECT_EQ(SlotOf(i).asInt, 10);
  EXPECT_EQ(SlotOf(big).asInt, 5);
  EXPECT_EQ(SlotOf(small).asInt, 4);
  EXPECT_EQ(SlotOf(t).asInt, 1);  // the last comparison run: 9 > 4
  EXPECT_EQ(SlotOf(w).asInt, 7);
  EXPECT_EQ(SlotOf(u).asInt, 0);
}

// A FUNCTION's return without a call goes on after its operands only onto a command the
// loader checked (reached by another path); anything else ends the run there, without an
// error, as a word without a handler does.
TEST_F(ProgramTest, ReturnWithoutACallGoesOnOnlyOntoCheckedCommands) {
  for (bool reachedOtherwise : {true, false}) {
    ProgramBuilder p;
    int x = p.IntVar(), y = p.IntVar();
    auto after = p.NewLabel();
    p.Emit(kAssignInt, {W(x), W(p.IntConst(1))});
    if (reachedOtherwise) p.Emit(kJumpIfZero, {W(x), p.At(after)});  // never taken, but checked
    p.Emit(kReturnInt, {W(x)});
    p.Bind(after);
    p.Emit(kAssignInt, {W(y), W(p.IntConst(2))});
    RunResult r = RunAssembled(p);
    ASSERT_TRUE(r.quit);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(SlotOf(y).asInt, reachedOtherwise ? 2 : 0) << reachedOtherwise;
    FreeCompiledProgram();
  }
}

}  // namespace
