// Array commands under a corrupt program: an element fetched into or stored through a
// temporary of another kind ends in error 10010, never in a number written over a text.
#include <gtest/gtest.h>

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
  int error;        // expected error number (0 = none)
};

TEST(ArrayCommands, TemporariesMustMatchTheElementKind) {
  static const KindCase kCases[] = {
      {"int element into an int temporary", 0, ProgramBuilder::IntTemp(1), kStoreElementInt, ProgramBuilder::IntTemp(1), 0},
      {"text element into a text temporary", 2, ProgramBuilder::TextTemp(1), kStoreElementText, ProgramBuilder::TextTemp(1), 0},
      {"text element into an int temporary", 2, ProgramBuilder::IntTemp(1), 0, 0, 10010},
      {"int element into a text temporary", 0, ProgramBuilder::TextTemp(1), 0, 0, 10010},
      {"text store through an int temporary", 0, ProgramBuilder::IntTemp(1), kStoreElementText, ProgramBuilder::IntTemp(1), 10010},
      {"int store through a text temporary", 2, ProgramBuilder::TextTemp(1), kStoreElementInt, ProgramBuilder::TextTemp(1), 10010},
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
    std::vector<uint8_t> file = b.Build();
    std::string whyNot;
    ASSERT_TRUE(LoadCompiledProgramFromMemory(file.data(), file.size(), &whyNot)) << whyNot;
    InitInterpreter();
    ClearQuitRequest();
    SetDisplayActive(true);
    for (int i = 0; i < 10 && !QuitRequested(); i++) {
      Dispatcher.stop = 0;
      ExecuteCommands();
    }
    EXPECT_EQ(RuntimeErrorNumber(), c.error) << c.what;
    FreeCompiledProgram();
    ClearCommandRegistry();
  }
}
