// The compiled program of a small source matches, word for word, the file the test
// assembler writes for the same program: header, constants, DATA, ownership lists, code
// and line table.
#include <gtest/gtest.h>

#include "runtime/command_numbers.h"
#include "tests/asm/qvasm.h"
#include "tests/compiler/compile_helpers.h"

using qvasm::ProgramBuilder;

static std::vector<uint32_t> WordsOf(const std::vector<uint8_t>& bytes) {
  std::vector<uint32_t> words(bytes.size() / 4);
  for (size_t i = 0; i < words.size(); i++) words[i] = qvasm::WordAt(bytes, i);
  return words;
}

TEST(CompiledLayout, SmallProgramMatchesTheAssembler) {
  const char* source =
      "a = 5\r\n"                       // 1
      "b# = 1.5\r\n"                    // 2
      "t$ = \"hi\"\r\n"                 // 3
      "print a; t$\r\n"                 // 4
      "restore here\r\n"                // 5
      "here:\r\n"                       // 6
      "data 7, 2.5, \"abc\"\r\n"        // 7
      "r = twice(a)\r\n"                // 8
      "function twice(n)\r\n"           // 9
      "endfunction n * 2\r\n";          // 10; the compiler adds "end" as line 11
  CompileResult result = CompileText(source);
  ASSERT_TRUE(result.ok) << result.message;

  ProgramBuilder b;
  int a = b.IntVar(), bf = b.FloatVar(), t = b.TextVar(), r = b.IntVar(), n = b.IntVar(1);
  int five = b.IntConst(5), onePointFive = b.FloatConst(1.5f), hi = b.TextConst("hi");
  b.DataInt(7);
  b.DataFloat(2.5f);
  b.DataText("abc");
  auto entry = b.NewLabel(), after = b.NewLabel();
  auto W = ProgramBuilder::Id;
  b.Emit(kAssignInt, {W(a), W(five)}, 1);
  b.Emit(kAssignFloat, {W(bf), W(onePointFive)}, 2);
  b.Emit(kAssignText, {W(t), W(hi)}, 3);
  b.Emit(kPrintInt, {W(a)}, 4);
  b.Emit(kPrintText, {W(t)}, 4);
  b.Emit(kPrintLineEnd, {}, 4);
  b.Emit(kRestoreAt, {ProgramBuilder::Number(0)}, 5);
  int one = b.IntConst(1);
  b.Emit(kCallFunction, {ProgramBuilder::At(entry), W(ProgramBuilder::IntTemp(0)), W(one), W(a)}, 8);
  b.Emit(kAssignInt, {W(r), W(ProgramBuilder::IntTemp(0))}, 8);
  b.Emit(kJump, {ProgramBuilder::At(after)}, 9);
  b.Bind(entry);
  b.Words({W(n), ProgramBuilder::Raw(1)}, 9);
  int two = b.IntConst(2);
  b.Emit(kMultiplyII, {W(ProgramBuilder::IntTemp(0)), W(n), W(two)}, 10);
  b.Emit(kReturnInt, {W(ProgramBuilder::IntTemp(0))}, 10);
  b.Bind(after);
  b.Emit(kEnd, {}, 11);
  std::vector<uint32_t> expected = WordsOf(b.Build());
  ASSERT_EQ(result.words.size(), expected.size());
  for (size_t i = 0; i < expected.size(); i++) EXPECT_EQ(result.words[i], expected[i]) << "word " << i;
}

// A program with neither strings nor DATA still has a one-word string block and a one-word
// type section; an empty source is the end line and the closing word.
TEST(CompiledLayout, EmptyProgram) {
  CompileResult result = CompileText("");
  ASSERT_TRUE(result.ok) << result.message;
  const std::vector<uint32_t>& w = result.words;
  ASSERT_GE(w.size(), 1024u);
  EXPECT_EQ(w[0], 1u);
  EXPECT_EQ(w[1], 1024u);
  EXPECT_EQ(w[3], 1024u);       // no int or float constants
  EXPECT_EQ(w[5], 1025u);       // one zero word of strings
  EXPECT_EQ(w[7], 1024u + 1 + 1 + 3);  // one word of DATA types, three empty owner lists
  uint32_t g = w[7];
  ASSERT_EQ(w.size(), g + 4u);  // code: END, 0; then their two line words
  EXPECT_EQ(w[g], static_cast<uint32_t>(kEnd));
  EXPECT_EQ(w[g + 1], 0u);
}
