// Built-ins that span several dispatcher slices: INPUT waits for a typed line (with
// backspace) while frames go on, and WAIT lets slices end until its time has passed.
#include <gtest/gtest.h>

#include <vector>

#include "compiler/compiler.h"
#include "platform/clock.h"
#include "runtime/builtins.h"
#include "runtime/runtime.h"
#include "runtime/runtime_local.h"

// Compiles source and loads it into the runtime, ready for ExecuteCommands.
class SliceRun : public testing::Test {
 protected:
  void SetUp() override {
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterRuntimeCommands());
    ASSERT_TRUE(RegisterCoreBuiltins());
  }
  void TearDown() override {
    FreeCompiledProgram();
    CloseTypedText();
    SetPrintEcho(false);
    ClearCommandRegistry();
  }
  void Load(const char* source) {
    CompilerObject* compiler = CreateCompiler();
    LoadKeywordTable(*compiler);
    ResetCompiler(*compiler);
    ASSERT_TRUE(CompileFromMemory(*compiler, source, 0)) << CompilerMessage(*compiler);
    std::vector<uint32_t> words = CompiledProgramWords(*compiler);
    FreeCompilerBuffers(*compiler);
    DestroyCompiler(compiler);
    std::vector<uint8_t> bytes(words.size() * 4);
    for (size_t i = 0; i < words.size(); i++)
      for (int k = 0; k < 4; k++) bytes[i * 4 + k] = static_cast<uint8_t>(words[i] >> (8 * k));
    std::string whyNot;
    ASSERT_TRUE(LoadCompiledProgramFromMemory(bytes.data(), bytes.size(), &whyNot)) << whyNot;
    InitInterpreter();
    ClearQuitRequest();
    SetDisplayActive(true);
    SetInputFromStdin(false);
    SetPrintEcho(true);
  }
  // Runs one slice; true while the program has not ended.
  bool Slice() {
    Dispatcher.stop = 0;
    ExecuteCommands();
    return !QuitRequested();
  }
};

TEST_F(SliceRun, InputWaitsForTheTypedLine) {
  Load("input \"Name? \"; n$\nprint \"[\"; n$; \"]\"\n");
  testing::internal::CaptureStdout();
  for (int i = 0; i < 3; i++) ASSERT_TRUE(Slice());  // nothing typed: the program waits
  for (int ch : {int{'A'}, int{'x'}, 8, int{'n'}, int{'n'}}) AppendTypedCharacter(ch);
  ASSERT_TRUE(Slice());  // still no Enter
  AppendTypedCharacter(13);
  for (int i = 0; i < 5 && Slice(); i++) {
  }
  EXPECT_TRUE(QuitRequested());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Name? Ann\n[Ann]\n");
}

TEST_F(SliceRun, WaitEndsSlicesUntilItsTime) {
  Load("wait 30\nprint \"done\"\n");
  testing::internal::CaptureStdout();
  int slices = 0;
  while (Slice() && slices < 1000) {
    slices++;
    PlatformSleep(2);
  }
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "done\n");
  EXPECT_GT(slices, 1);  // the wait gave the frames back instead of blocking in one slice
}

// A printed line is one drawing: in automatic refresh its items and line end show on one
// frame (also when an item is computed between them), a line left open by ";" shows with the
// print that goes on with it, and one left open with nothing after it shows by itself.
TEST_F(SliceRun, APrintedLineShowsOnOneFrame) {
  Load("t$ = \"xy\"\nprint 1; \"a\"; len(t$) + 1; 2.5, 3\nprint 4;\nprint 5\nprint 6;\nx = 1\n");
  void (*const saved)(const char*, bool) = PrintToScreenHook;
  PrintToScreenHook = [](const char*, bool) { EndSliceAfterDrawing(); };
  testing::internal::CaptureStdout();
  int slices = 0;
  while (Slice() && slices < 20) slices++;
  PrintToScreenHook = saved;
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "1a32.5        3\n45\n");
  EXPECT_EQ(slices, 3);  // "1a2.5 3", "45", "6"; the end of the program ends the fourth
}
