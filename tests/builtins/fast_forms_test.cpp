// The loader's fast forms against the plain commands: element reads of number arrays (keeping
// the element's address for a store or READ, or not where nothing can use it), the number
// element stores, and FUNCTION calls that save only what code after them reads of the function
// making them. Each program runs twice, with warnings on: with all of that, and with every
// command run by its plain handler and every call saving the running function's whole plan;
// what it prints, the error or warning it stops on (number and line) and the main program's
// variables and arrays, bit for bit, must be the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "compiler/compiler.h"
#include "runtime/builtins.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime.h"
#include "runtime/runtime_local.h"
#include "tests/asm/qvasm.h"

namespace {

struct Outcome {
  std::string printed;
  int error = 0;
  int line = 0;
  bool quit = false;
  std::vector<std::string> values;  // the main program's variables and arrays
  bool operator==(const Outcome&) const = default;
};

std::vector<uint8_t> Compile(const std::string& source) {
  CompilerObject* compiler = CreateCompiler();
  LoadKeywordTable(*compiler);
  ResetCompiler(*compiler);
  const bool ok = CompileFromMemory(*compiler, source, 0);
  EXPECT_TRUE(ok) << CompilerMessage(*compiler) << " at line " << CompilerErrorLine(*compiler);
  std::vector<uint32_t> words = ok ? CompiledProgramWords(*compiler) : std::vector<uint32_t>{};
  FreeCompilerBuffers(*compiler);
  DestroyCompiler(compiler);
  std::vector<uint8_t> bytes(words.size() * 4);
  for (size_t i = 0; i < words.size(); i++)
    for (int k = 0; k < 4; k++) bytes[i * 4 + k] = static_cast<uint8_t>(words[i] >> (8 * k));
  return bytes;
}

// The main program's slots (owner 0), numbers as their bits, texts as they read.
std::vector<std::string> MainValues() {
  std::vector<std::string> values;
  const LoadedProgram& program = Program();
  for (int slot = kFirstIntVar; slot < kFirstIntConst; ++slot) {
    if (program.slotOwners[static_cast<size_t>(slot - kFirstIntVar)] != 0) continue;
    const bool text = slot >= kFirstTextVar;
    const int32_t count = ArrayElementCount(slot);
    const VariableSlot* elements = count > 0 ? static_cast<const VariableSlot*>(VariableTable[slot].asBlock) : &VariableTable[slot];
    for (int32_t e = 0; e < (count > 0 ? count : 1); ++e) {
      std::string value = std::to_string(slot) + "/" + std::to_string(e) + "=";
      if (!text) value += std::to_string(static_cast<uint32_t>(elements[e].asInt));
      else value += elements[e].asText != nullptr ? elements[e].asText : "<none>";
      values.push_back(value);
    }
  }
  return values;
}

Outcome RunProgram(const std::vector<uint8_t>& bytes, bool fast) {
  Outcome outcome;
  SetCommandFusionForTests(fast);
  SetCallSavesForTests(fast);
  std::string whyNot;
  const bool loaded = LoadCompiledProgramFromMemory(bytes.data(), bytes.size(), &whyNot);
  SetCommandFusionForTests(true);
  SetCallSavesForTests(true);
  EXPECT_TRUE(loaded) << whyNot;
  if (!loaded) return outcome;
  InitInterpreter();
  ClearQuitRequest();
  ClearRuntimeError();
  SetDisplayActive(true);
  SetWarningsOff(false);
  SetPrintEcho(true);
  testing::internal::CaptureStdout();
  for (int slice = 0; slice < 2000 && !QuitRequested(); ++slice) {
    Dispatcher.stop = 0;
    ExecuteCommands();
  }
  FlushPrintedLine();
  outcome.printed = testing::internal::GetCapturedStdout();
  outcome.quit = QuitRequested();
  outcome.error = RuntimeErrorNumber();
  outcome.line = RuntimeErrorLine();
  outcome.values = MainValues();
  SetPrintEcho(false);
  FreeCompiledProgram();
  ClearRuntimeError();
  ClearQuitRequest();
  return outcome;
}

class FastForms : public testing::Test {
 protected:
  void SetUp() override {
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterRuntimeCommands());
    ASSERT_TRUE(RegisterCoreBuiltins());
  }
  void TearDown() override { ClearCommandRegistry(); }
  // Both ways; the fast outcome for further checks.
  Outcome ExpectSame(const std::vector<uint8_t>& bytes, const char* what) {
    const Outcome fast = RunProgram(bytes, true), plain = RunProgram(bytes, false);
    EXPECT_EQ(fast.printed, plain.printed) << what;
    EXPECT_EQ(fast.error, plain.error) << what;
    EXPECT_EQ(fast.line, plain.line) << what;
    EXPECT_EQ(fast.quit, plain.quit) << what;
    EXPECT_TRUE(fast.values == plain.values) << what << ": the variables or arrays differ";
    return fast;
  }
};

struct SourceCase {
  const char* what;
  const char* source;
  int error;  // what the run stops on (kEnded: it ends by itself)
};
constexpr int kEnded = 21;  // END, and the end of the program, report 21

// Arrays: float and integer elements read and stored in loops (also the edges of float
// arithmetic, which must go bit for bit), reads out of bounds or of an array that is gone,
// READ into elements, a text array beside them, and a two-index array.
const SourceCase kArrayCases[] = {
    {"float elements, bit for bit",
     "dim p#(6)\ndim v#(6)\nbig# = 3.0e38\np#(0) = big# * 10.0\np#(1) = 0.0 - p#(0)\np#(2) = p#(0) + p#(1)\n"
     "p#(3) = 0.0 * -1.0\np#(4) = 1.0e-45\np#(5) = 0.1\nfor i = 0 to 5\n  v#(i) = p#(i) * 0.5 + v#(i)\n"
     "  p#(6) = p#(6) + v#(i) * p#(i)\nnext i\nfor n = 1 to 50\n  for i = 0 to 4\n"
     "    v#(i) = v#(i) - p#(i + 1) * 0.01\n    p#(i) = p#(i) + v#(i)\n  next i\nnext n\nprint p#(5); \" \"; v#(4)\n",
     kEnded},
    {"integer elements, a sieve",
     "dim f(200)\ncount = 0\nfor i = 2 to 200\n  if f(i) = 0\n    count = count + 1\n    for j = i + i to 200 step i\n"
     "      f(j) = f(j) + 1\n    next j\n  endif\nnext i\nprint count\n",
     kEnded},
    {"a read past the end stops at its line",
     "dim a(5)\nfor i = 0 to 5\n  a(i) = i * 3\nnext i\ns = 0\nfor i = 0 to 9\n  s = s + a(i)\nnext i\nprint s\n", 110},
    {"a store past the end stops at its line",
     "dim a#(3)\nfor i = 0 to 9\n  a#(i) = 1.5\nnext i\n", 110},
    {"a negative index", "dim a(3)\ni = -1\nx = a(i)\n", 110},
    {"a read of an array that is gone",
     "dim a(3)\nfor i = 0 to 3\n  a(i) = i\nnext i\nundim a()\nt = 0\nfor i = 0 to 3\n  t = t + a(i)\nnext i\n", 109},
    {"READ into elements between reads",
     "dim a(4)\ndim b#(4)\nfor i = 0 to 4\n  x = a(i) + 1\n  read a(i), b#(i)\n  y# = b#(i) * 2.0\nnext i\n"
     "print a(4); \" \"; b#(4); \" \"; x; \" \"; y#\ndata 1, 1.5, 2, 2.5, 3, 3.5, 4, 4.5, 5, 5.5\n",
     kEnded},
    {"text, float and two-index arrays together",
     "dim n$(3)\ndim w#(3)\ndim g(2, 2)\nfor i = 0 to 3\n  n$(i) = str$(i) + \"x\"\n  w#(i) = w#(i) + len(n$(i))\n"
     "next i\nfor i = 0 to 2\n  g(i, 2 - i) = g(i, i) + i\nnext i\nprint n$(3); w#(2); g(1, 1)\n",
     kEnded},
    {"a division by zero warns at its line", "dim a#(2)\na#(1) = 2.0\nx# = a#(1) / a#(0)\n", 111},
};

TEST_F(FastForms, ArrayCommandsGiveThePlainCommandsResults) {
  for (const SourceCase& c : kArrayCases) {
    const Outcome fast = ExpectSame(Compile(c.source), c.what);
    EXPECT_EQ(fast.error, c.error) << c.what;
  }
}

// Calls: recursion that keeps values across calls in hidden and named locals, a function whose
// local lives on into its next call (read before it is written), mutual recursion, text locals,
// a GOSUB inside a function, a function changing arrays, and an error deep in a recursion.
const SourceCase kCallCases[] = {
    {"tak and fib",
     "print tak(12, 6, 3); \" \"; fib(15)\nend\nfunction tak(x, y, z)\n  if y >= x then exitfunction z\n"
     "endfunction tak(tak(x - 1, y, z), tak(y - 1, z, x), tak(z - 1, x, y))\nfunction fib(n)\n"
     "  if n < 2 then exitfunction n\nendfunction fib(n - 1) + fib(n - 2)\n",
     kEnded},
    {"a local read before it is written lives on",
     "print keep(3); \" \"; keep(0); \" \"; keep(2); \" \"; keep(0)\nend\nfunction keep(n)\n"
     "  if n = 0 then exitfunction m\n  m = n * 10\n  y = keep(n - 1)\nendfunction y + n\n",
     kEnded},
    {"a call whose function reads a local first, after another call",
     "print twice(4); \" \"; twice(0)\nend\nfunction twice(n)\n  if n = 0 then exitfunction m\n  m = n\n"
     "  a = twice(n - 1)\n  b = twice(0)\n  m = 7\nendfunction a * 10 + b\n",
     kEnded},
    {"a local written after the call",
     "print late(4); \" \"; late(0)\nend\nfunction late(n)\n  if n = 0 then exitfunction m\n  m = n\n"
     "  x = late(n - 1)\n  m = 5\nendfunction x + m\n",
     kEnded},
    {"mutual recursion",
     "print even(9); odd(9); even(10)\nend\nfunction even(n)\n  if n = 0 then exitfunction 1\n  k = n - 1\n"
     "  r = odd(k)\nendfunction r + k - n + 1\nfunction odd(n)\n  if n = 0 then exitfunction 0\n  j = n - 1\n"
     "  r = even(j)\nendfunction r + j - n + 1\n",
     kEnded},
    {"text locals",
     "print rev$(\"recursion\"); \" \"; twice$(\"ab\", 3)\nend\nfunction rev$(s$)\n  if len(s$) < 2 then exitfunction s$\n"
     "  h$ = left$(s$, 1)\n  t$ = rev$(right$(s$, len(s$) - 1))\nendfunction t$ + h$\nfunction twice$(s$, n)\n"
     "  if n = 0 then exitfunction s$\n  a$ = twice$(s$ + \".\", n - 1)\n  b$ = s$\nendfunction a$ + b$\n",
     kEnded},
    {"a GOSUB inside a function",
     "print deep(5)\nend\nfunction deep(n)\n  if n = 0 then exitfunction 1\n  v = n\n  gosub more\n"
     "  exitfunction w\nmore:\n  w = deep(n - 1) * 2 + v\n  return\nendfunction 0\n",
     kEnded},
    {"a function sorting a global array",
     "dim a(99)\nfor i = 0 to 99\n  a(i) = (i * 37) mod 101\nnext i\nsort(0, 99)\nprint a(0); \" \"; a(50); \" \"; a(99)\n"
     "end\nfunction sort(lo, hi)\n  while lo < hi\n    p = a((lo + hi) / 2)\n    i = lo\n    j = hi\n"
     "    while i <= j\n      while a(i) < p\n        i = i + 1\n      endwhile\n      while a(j) > p\n        j = j - 1\n"
     "      endwhile\n      if i <= j\n        t = a(i)\n        a(i) = a(j)\n        a(j) = t\n        i = i + 1\n"
     "        j = j - 1\n      endif\n    endwhile\n    if j - lo < hi - i\n      sort(lo, j)\n      lo = i\n    else\n"
     "      sort(i, hi)\n      hi = j\n    endif\n  endwhile\nendfunction\n",
     kEnded},
    {"an error deep in a recursion",
     "dim a(5)\nprint down(8)\nend\nfunction down(n)\n  x = a(n) + 1\nendfunction down(n - 1) + x\n", 110},
    {"a warning after nested calls", "print part(3)\nend\nfunction part(n)\n  if n = 0 then exitfunction 1 / n\n"
     "  q = part(n - 1)\nendfunction q + n\n", 111},
};

TEST_F(FastForms, CallsGiveThePlainCommandsResults) {
  for (const SourceCase& c : kCallCases) {
    const Outcome fast = ExpectSame(Compile(c.source), c.what);
    EXPECT_EQ(fast.error, c.error) << c.what;
  }
}

// Hand-made programs around one element read whose address a later command may use: a store
// after another read into the same temporary, after a jump, on one branch only, inside a
// GOSUB, and a READ. The store or READ must reach the element the last read before it fetched.
TEST_F(FastForms, AnElementAddressReachesEveryLaterUse) {
  using qvasm::ProgramBuilder;
  auto W = ProgramBuilder::Id;
  enum Shape { kAnotherRead, kJumpToStore, kOneBranch, kInGosub, kDataRead };
  for (const Shape shape : {kAnotherRead, kJumpToStore, kOneBranch, kInGosub, kDataRead}) {
    for (const int condition : {0, 1}) {
      ProgramBuilder b;
      b.DataInt(77);
      const int array = b.IntVar(), flag = b.IntVar(), t = ProgramBuilder::IntTemp(1);
      b.Emit(kDimArray1, {W(array), W(b.IntConst(4))});
      b.Emit(kAssignInt, {W(flag), W(b.IntConst(condition))});
      b.Emit(kArrayElement1, {W(t), W(array), W(b.IntConst(1))});
      auto skip = b.NewLabel(), sub = b.NewLabel(), done = b.NewLabel();
      switch (shape) {
        case kAnotherRead:
          b.Emit(kArrayElement1, {W(t), W(array), W(b.IntConst(2))});
          b.Emit(kStoreElementInt, {W(t), W(b.IntConst(5))});
          break;
        case kJumpToStore:
          b.Emit(kJump, {b.At(skip)});
          b.Emit(kArrayElement1, {W(t), W(array), W(b.IntConst(3))});
          b.Bind(skip);
          b.Emit(kStoreElementInt, {W(t), W(b.IntConst(6))});
          break;
        case kOneBranch:
          b.Emit(kJumpIfZero, {W(flag), b.At(skip)});
          b.Emit(kArrayElement1, {W(t), W(array), W(b.IntConst(3))});
          b.Bind(skip);
          b.Emit(kStoreElementInt, {W(t), W(b.IntConst(7))});
          break;
        case kInGosub:
          b.Emit(kGosub, {b.At(sub)});
          b.Emit(kJump, {b.At(done)});
          b.Bind(sub);
          b.Emit(kStoreElementInt, {W(t), W(b.IntConst(8))});
          b.Emit(kReturn);
          break;
        case kDataRead:
          b.Emit(kAssignInt, {W(b.IntVar()), W(t)});
          b.Emit(kReadInt, {W(t)});
          break;
      }
      b.Bind(done);
      const Outcome fast = ExpectSame(b.Build(), "hand-made");
      EXPECT_EQ(fast.error, 0) << shape;
      // The element the last read before the use fetched: (index, value).
      const int index = shape == kAnotherRead ? 2 : shape == kOneBranch && condition == 1 ? 3 : 1;
      const int value = shape == kAnotherRead ? 5 : shape == kJumpToStore ? 6 : shape == kOneBranch ? 7 : shape == kInGosub ? 8 : 77;
      const std::string want = std::to_string(array - 10000) + "/" + std::to_string(index) + "=" + std::to_string(value);
      EXPECT_NE(std::find(fast.values.begin(), fast.values.end(), want), fast.values.end()) << "shape " << shape << ": " << want;
    }
  }
}

}  // namespace
