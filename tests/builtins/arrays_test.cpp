// Array commands under a corrupt program: an element fetched into or stored through a
// temporary of another kind is refused at load, never a number written over a text; an
// element address outlives no UNDIM or second DIM of its array; the memory arrays and their
// texts hold is counted exactly.
#include <gtest/gtest.h>

#include <string>

#include "runtime/builtins.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime.h"
#include "runtime/runtime_local.h"
#include "tests/asm/qvasm.h"

using qvasm::ProgramBuilder;

struct KindCase {
  const char* what;
  int arrayKind;    // 0 integer, 1 float, 2 text array
  int fetchTemp;    // temporary the element is fetched into
  int storeCommand; // 0 = none
  int storeTemp;
  int error;        // expected error number (0 = none, kRefused = refused at load)
};
constexpr int kRefused = -1;

// Loads the built program and runs it without a window; the error number it ended on, or
// kRefused when the loader refused it.
static int RunBuiltProgram(const ProgramBuilder& b) {
  std::vector<uint8_t> file = b.Build();
  if (!LoadCompiledProgramFromMemory(file.data(), file.size(), nullptr)) return kRefused;
  InitInterpreter();
  ClearQuitRequest();
  SetDisplayActive(true);
  for (int i = 0; i < 10 && !QuitRequested(); i++) {
    Dispatcher.stop = 0;
    ExecuteCommands();
  }
  return RuntimeErrorNumber();
}

TEST(ArrayCommands, TemporariesMustMatchTheElementKind) {
  static const KindCase kCases[] = {
      {"int element into an int temporary", 0, ProgramBuilder::IntTemp(1), kStoreElementInt, ProgramBuilder::IntTemp(1), 0},
      {"text element into a text temporary", 2, ProgramBuilder::TextTemp(1), kStoreElementText, ProgramBuilder::TextTemp(1), 0},
      {"text element into an int temporary", 2, ProgramBuilder::IntTemp(1), 0, 0, kRefused},
      {"int element into a text temporary", 0, ProgramBuilder::TextTemp(1), 0, 0, kRefused},
      {"text store through an int temporary", 0, ProgramBuilder::IntTemp(1), kStoreElementText, ProgramBuilder::IntTemp(1), kRefused},
      {"int store through a text temporary", 2, ProgramBuilder::TextTemp(1), kStoreElementInt, ProgramBuilder::TextTemp(1), kRefused},
      {"store with no element fetched", 0, ProgramBuilder::IntTemp(1), kStoreElementInt, ProgramBuilder::IntTemp(2), 109},
  };
  for (const KindCase& c : kCases) {
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterRuntimeCommands());
    ASSERT_TRUE(RegisterCoreBuiltins());
    ProgramBuilder b;
    int array = c.arrayKind == 0 ? b.IntVar() : c.arrayKind == 1 ? b.FloatVar() : b.TextVar();
    auto W = ProgramBuilder::Id;
    b.Emit(kDimArray1, {W(array), W(b.IntConst(3))});
    b.Emit(kArrayElement1, {W(c.fetchTemp), W(array), W(b.IntConst(2))});
    if (c.storeCommand == kStoreElementText) b.Emit(c.storeCommand, {W(c.storeTemp), W(b.TextConst("t"))});
    else if (c.storeCommand) b.Emit(c.storeCommand, {W(c.storeTemp), W(b.IntConst(7))});
    EXPECT_EQ(RunBuiltProgram(b), c.error) << c.what;
    FreeCompiledProgram();
    ClearCommandRegistry();
  }
}

// An array's slot holds its element block: a program that also uses that variable as a
// plain one (a number written over the block, the block read as a text) is refused at load.
TEST(ArrayCommands, ArrayVariableUsedAsAPlainOneIsRefused) {
  ClearCommandRegistry();
  ASSERT_TRUE(RegisterRuntimeCommands());
  ASSERT_TRUE(RegisterCoreBuiltins());
  for (int kind : {0, 2}) {
    ProgramBuilder b;
    auto W = ProgramBuilder::Id;
    int array = kind == 0 ? b.IntVar() : b.TextVar();
    b.Emit(kDimArray1, {W(array), W(b.IntConst(3))});
    if (kind == 0) b.Emit(kAssignInt, {W(array), W(b.IntConst(7))});
    else b.Emit(kJoinText, {W(b.TextVar()), W(array), W(array)});
    EXPECT_EQ(RunBuiltProgram(b), kRefused) << kind;
    FreeCompiledProgram();
  }
  ClearCommandRegistry();
}

// An element is fetched into a temporary, then its array is freed or made anew before the
// store or READ through that temporary: the store must not reach the freed block (error
// 109 instead), while freeing another array leaves the address alone.
TEST(ArrayCommands, ElementAddressDiesWithItsArray) {
  enum Between { kUndim, kDimAgain, kOtherArrayFreed };
  struct Case {
    const char* what;
    bool text;
    Between between;
    int use;  // the store or READ through the temporary
    int error;
  };
  static const Case kCases[] = {
      {"store after UNDIM", false, kUndim, kStoreElementInt, 109},
      {"store after a second DIM", false, kDimAgain, kStoreElementInt, 109},
      {"text store after UNDIM", true, kUndim, kStoreElementText, 109},
      {"text store after a second DIM", true, kDimAgain, kStoreElementText, 109},
      {"READ after UNDIM", false, kUndim, kReadInt, 109},
      {"text READ after a second DIM", true, kDimAgain, kReadText, 109},
      {"store after another array is freed", false, kOtherArrayFreed, kStoreElementInt, 0},
      {"text READ after another array is freed", true, kOtherArrayFreed, kReadText, 0},
  };
  auto W = ProgramBuilder::Id;
  for (const Case& c : kCases) {
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterRuntimeCommands());
    ASSERT_TRUE(RegisterCoreBuiltins());
    ProgramBuilder b;
    if (c.text) b.DataText("read");
    else b.DataInt(41);
    int array = c.text ? b.TextVar() : b.IntVar();
    int other = c.text ? b.TextVar() : b.IntVar();
    int temp = c.text ? ProgramBuilder::TextTemp(1) : ProgramBuilder::IntTemp(1);
    int check = ProgramBuilder::IntTemp(2);
    b.Emit(kDimArray1, {W(array), W(b.IntConst(3))});
    b.Emit(kDimArray1, {W(other), W(b.IntConst(3))});
    b.Emit(kArrayElement1, {W(temp), W(array), W(b.IntConst(2))});
    if (c.between == kUndim) b.Emit(kUndimArray, {W(array)});
    if (c.between == kDimAgain) b.Emit(kDimArray1, {W(array), W(b.IntConst(1))});
    if (c.between == kOtherArrayFreed) b.Emit(kUndimArray, {W(other)});
    if (c.use == kReadInt || c.use == kReadText) b.Emit(c.use, {W(temp)});
    else if (c.text) b.Emit(c.use, {W(temp), W(b.TextConst("read"))});
    else b.Emit(c.use, {W(temp), W(b.IntConst(41))});
    if (c.between == kOtherArrayFreed) {  // the value must have reached the element
      b.Emit(kArrayElement1, {W(temp), W(array), W(b.IntConst(2))});
      if (c.text) b.Emit(kTextEqual, {W(check), W(temp), W(b.TextConst("read"))});
      else b.Emit(kEqualII, {W(check), W(temp), W(b.IntConst(41))});
      auto lost = b.NewLabel();
      b.Emit(kJumpIfZero, {W(check), ProgramBuilder::At(lost)});
      b.Emit(kEnd);
      b.Bind(lost);
      b.Emit(kFrameRate, {W(b.IntConst(5000))});  // error 112: the value was lost
    }
    b.Emit(kEnd);
    int error = RunBuiltProgram(b);
    EXPECT_EQ(error == 21 ? 0 : error, c.error) << c.what;
    FreeCompiledProgram();
    ClearCommandRegistry();
  }
}

// Every array block and text counts against the program's memory and is given back when it
// goes (UNDIM, a second DIM, a text replaced by a longer one, the end of the program), so the
// count returns exactly to where it stood before the program was loaded.
TEST(ArrayCommands, MemoryCountReturnsToItsStart) {
  ClearCommandRegistry();
  ASSERT_TRUE(RegisterRuntimeCommands());
  ASSERT_TRUE(RegisterCoreBuiltins());
  auto W = ProgramBuilder::Id;
  ProgramBuilder b;
  b.DataText(std::string(90, 'd'));
  const int texts = b.TextVar(), numbers = b.IntVar(), floats = b.FloatVar(), plain = b.TextVar();
  const int element = ProgramBuilder::TextTemp(1);
  b.Emit(kDimArray1, {W(texts), W(b.IntConst(40))});
  b.Emit(kDimArray2, {W(numbers), W(b.IntConst(300)), W(b.IntConst(20))});
  b.Emit(kDimArray1, {W(floats), W(b.IntConst(5))});
  // Texts of every block size, one replaced by a longer one, one read from DATA.
  int index = 0;
  for (size_t length : {0u, 1u, 11u, 12u, 40u, 100u, 124u, 200u, 255u}) {
    b.Emit(kArrayElement1, {W(element), W(texts), W(b.IntConst(index++))});
    b.Emit(kStoreElementText, {W(element), W(b.TextConst(std::string(length, static_cast<char>('a' + index))))});
  }
  b.Emit(kArrayElement1, {W(element), W(texts), W(b.IntConst(1))});
  b.Emit(kStoreElementText, {W(element), W(b.TextConst(std::string(150, 'x')))});
  b.Emit(kArrayElement1, {W(element), W(texts), W(b.IntConst(30))});
  b.Emit(kReadText, {W(element)});
  for (size_t length : {255u, 3u, 60u}) b.Emit(kAssignText, {W(plain), W(b.TextConst(std::string(length, 'p')))});
  b.Emit(kDimArray1, {W(numbers), W(b.IntConst(7))});  // made anew, smaller
  b.Emit(kDimArray1, {W(texts), W(b.IntConst(2))});    // its element texts go with it
  b.Emit(kArrayElement1, {W(element), W(texts), W(b.IntConst(2))});
  b.Emit(kStoreElementText, {W(element), W(b.TextConst(std::string(70, 'z')))});
  b.Emit(kUndimArray, {W(floats)});
  b.Emit(kUndimArray, {W(texts)});
  b.Emit(kEnd);
  const size_t before = ProgramMemoryInUse();
  EXPECT_EQ(RunBuiltProgram(b), 21);
  EXPECT_GT(ProgramMemoryInUse(), before + 8 * 8);  // the integer array left, at least
  FreeCompiledProgram();
  EXPECT_EQ(ProgramMemoryInUse(), before);
  ClearRuntimeError();
  ClearCommandRegistry();
}
