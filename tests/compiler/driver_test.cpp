// The compiler driver and translator: every compile error with its line, table limits,
// line lengths, includes, and the recompile with a grown code buffer.
#include <gtest/gtest.h>

#include "tests/compiler/compile_helpers.h"

struct ErrorCase {
  const char* source;
  const char* message;  // the start of the expected message
  int line;
};

TEST(CompileErrors, EachTranslatorErrorNamesItsLine) {
  static const ErrorCase kCases[] = {
      {"print 1\nfrobnicate 1", "Unknown command", 2},
      {"a = (1 + 2", "Syntax error", 1},
      {"print \"abc", "Syntax error", 1},
      {"if 1 print 2", "Syntax error", 1},
      {"if 1 then do", "Syntax error", 1},
      {"data x", "Syntax error", 1},
      {"a = \"x\" + 1", "Type mismatch", 1},
      {"a$ = 1", "Type mismatch", 1},
      {"print 1\nnext i", "Block keyword does not match", 2},
      {"endif", "Block keyword does not match", 1},
      {"case 1", "Block keyword does not match", 1},
      {"select 1\ncase 1\ncase 2", "Block keyword does not match", 3},
      {"for i = 1 to 2\nnext j", "Block keyword does not match", 2},
      {"exit", "EXIT outside a loop", 1},
      {"print left$(\"a\")", "Wrong number of parameters", 1},
      {"print twice(1, 2)\nfunction twice(n)\nendfunction n", "Wrong number of parameters", 1},
      {"dim a(2)\nprint a(1, 1)", "Wrong number of parameters", 2},
      {"print nothing(1)", "Unknown function or array", 1},
      {"if 1\nfunction f()\nendfunction\nendif", "FUNCTION inside a block", 2},
      {"endfunction", "ENDFUNCTION without FUNCTION", 1},
      {"function f()\nendfunction\nfunction f()\nendfunction", "Function declared twice", 3},
      {"for a# = 1 to 2\nnext", "FOR needs an integer variable", 1},
      {"a = 3000000000", "Number out of range", 1},
      {"dim a(1, 2, 3, 4, 5, 6)", "Arrays have 1 to 5 dimensions", 1},
      {"a:\nprint 1\na:", "Label declared twice", 3},
      {"print 1\ngoto nowhere", "Label not found", 2},
      {"restore nowhere", "DATA label not found", 1},
      {"print 1\ndo\nprint 2", "Block not closed", 2},
      {"function f()\nprint 1", "Block not closed", 1},
  };
  for (const ErrorCase& c : kCases) {
    CompileResult result = CompileText(c.source);
    EXPECT_FALSE(result.ok) << c.source;
    EXPECT_EQ(result.message.rfind(c.message, 0), 0u) << c.source << " gave: " << result.message;
    EXPECT_EQ(result.line, c.line) << c.source;
  }
}

// Sources that fill a table one entry past its limit.
TEST(CompileErrors, TableLimits) {
  struct Limit {
    std::string source;
    const char* message;
  };
  auto lines = [](int count, auto make) {
    std::string text;
    for (int i = 0; i < count; i++) text += make(i) + "\n";
    return text;
  };
  const Limit kLimits[] = {
      {lines(2001, [](int i) { return "v" + std::to_string(i) + " = 1"; }), "Too many integer variables"},
      {lines(2001, [](int i) { return "v" + std::to_string(i) + "# = 1"; }), "Too many float variables"},
      {lines(2001, [](int i) { return "v" + std::to_string(i) + "$ = \"\""; }), "Too many string variables"},
      {lines(2001, [](int i) { return "a = " + std::to_string(i + 10); }), "Too many constants"},
      {lines(2001, [](int i) { return "l" + std::to_string(i) + ":"; }), "Too many labels"},
      {lines(1025, [](int i) { return "function f" + std::to_string(i) + "()\nendfunction"; }), "Too many functions"},
      {lines(101, [](int) {
         std::string data = "data 1";
         for (int k = 1; k < 100; k++) data += ",1";
         return data;
       }) + "data 1",
       "Too many DATA items"},
      {lines(1024, [](int) { return std::string("do"); }), "Expression or nesting too complex"},
  };
  for (const Limit& limit : kLimits) {
    CompileResult result = CompileText(limit.source);
    EXPECT_FALSE(result.ok) << limit.message;
    EXPECT_EQ(result.message.rfind(limit.message, 0), 0u) << result.message;
  }
  // Exactly at the limit is fine.
  EXPECT_TRUE(CompileText(lines(2000, [](int i) { return "v" + std::to_string(i) + " = 1"; })).ok);
}

// A line of 255 characters or more is refused (in a file it is found by the include scan,
// which says "included" only of an included file's line); 254 characters compile.
TEST(CompileDriver, LineLength) {
  std::string fits = "a$ = \"" + std::string(254 - 7, 'x') + "\"";
  std::string tooLong = "a$ = \"" + std::string(255 - 7, 'x') + "\"";
  ASSERT_EQ(fits.size(), 254u);
  ASSERT_EQ(tooLong.size(), 255u);
  EXPECT_TRUE(CompileText("print 1\n" + fits).ok);
  CompileResult memory = CompileText("print 1\n" + tooLong);
  EXPECT_EQ(memory.message, "Line too long (255 characters or more)");
  EXPECT_EQ(memory.line, 2);

  TempFolder folder;
  CompileResult file = CompileFile(folder.Write("long.qva", "print 1\r\n\r\n" + tooLong + "\r\n"));
  EXPECT_EQ(file.message, "Line too long (255 characters or more)");
  EXPECT_EQ(file.line, 3);
  EXPECT_TRUE(CompileFile(folder.Write("fits.qva", "print 1\n" + fits + "\n")).ok);
}

// An include line in capitals with the name in quotes is taken like the same line in lower
// case without quotes; a second include of the same name in any case is ignored.
TEST(CompileDriver, IncludesCaseQuotesAndDuplicates) {
  TempFolder folder;
  folder.Write("Lib.QVA", "function one()\nendfunction 1\n");
  CompileResult quoted = CompileFile(
      folder.Write("a.qva", "#INCLUDE \"Lib.QVA\"\n#include lib.qva\n#Include \"LIB.qva\"\nprint one()\n"));
  CompileResult plain = CompileFile(folder.Write("b.qva", "#include lib.qva\n\n\nprint one()\n"));
  ASSERT_TRUE(quoted.ok) << quoted.message;
  ASSERT_TRUE(plain.ok) << plain.message;
  EXPECT_EQ(quoted.words, plain.words);
  // A name holding a blank is cut at the blank.
  folder.Write("two", "function two()\nendfunction 2\n");
  EXPECT_TRUE(CompileFile(folder.Write("c.qva", "#include two words.qva\nprint two()\n")).ok);
}

TEST(CompileDriver, IncludeErrorsReportTheIncludeLine) {
  TempFolder folder;
  folder.Write("bad.qva", "function f()\nendfunction\nfrobnicate\n");
  CompileResult result = CompileFile(folder.Write("main.qva", "print 1\n#include \"bad.qva\"\nprint 2\n"));
  EXPECT_EQ(result.message, "Unknown command: frobnicate in the included statement frobnicate");
  EXPECT_EQ(result.line, 2);

  folder.Write("jump.qva", "function g()\ngoto missing\nendfunction\n");
  folder.Write("fine.qva", "function h()\nendfunction\n");
  result = CompileFile(folder.Write("main2.qva", "#include fine.qva\n\n#include jump.qva\n"));
  EXPECT_EQ(result.message.rfind("Label not found: missing", 0), 0u) << result.message;
  EXPECT_EQ(result.line, 3);

  folder.Write("twice.qva", "function f()\nendfunction\nfunction f()\nendfunction\n");
  result = CompileFile(folder.Write("main5.qva", "#include twice.qva\n"));
  EXPECT_EQ(result.message, "Function declared twice: f in the included statement function f()");
  EXPECT_EQ(result.line, 1);

  folder.Write("long.qva", "print 1\n" + std::string(300, 'x') + "\n");
  result = CompileFile(folder.Write("main4.qva", "print 1\n\n#include long.qva\n"));
  EXPECT_EQ(result.message, "Line too long (255 characters or more) - Error in an included file");
  EXPECT_EQ(result.line, 3);

  result = CompileFile(folder.Write("main3.qva", "print 1\n#include \"absent.qva\"\n"));
  EXPECT_EQ(result.message, "File not found: absent.qva");
  EXPECT_EQ(result.line, 2);
  EXPECT_FALSE(CompileFile((folder.path / "no-such-source.qva").string()).ok);
}

// An included file's text follows the program's end: outside a FUNCTION its statements run
// only where a label leads (GOSUB, GOTO) or where the file before runs on into them. The
// compile succeeds and warns at the first statement of each file that nothing reaches.
TEST(CompileDriver, IncludedStatementsThatNeverRunAreWarnedOf) {
  const struct {
    const char* lib;   // lib.qva, included first
    const char* more;  // more.qva, included second
    std::vector<std::string> warned;  // "file:line" of each warning
  } cases[] = {
      {"function f()\nendfunction 1\n", "", {}},
      {"rem set up\n\nsync on\nfunction f()\nendfunction 1\n", "", {"lib.qva:3"}},
      {"function f()\nendfunction 1\ndim table(9)\nprint 1\n", "", {"lib.qva:3"}},
      // A subroutine with a RETURN inside a block, and DATA: all used.
      {"data 1, 2\nsub:\n  if x = 1\n    return\n  endif\n  print 2\nreturn\n", "", {}},
      {"sub:\n  return\nprint \"lost\"\nprint 1\n", "", {"lib.qva:3"}},
      {"sub:\n  print 1\n", "  print 2\nreturn\n", {}},
      {"sub:\n  return\n", "function g()\nendfunction\nprint 3\n", {"more.qva:3"}},
      {"#include more.qva\nfunction f()\nendfunction 1\n", "x = 1\n", {"more.qva:1"}},
      {"print 1\n", "print 2\n", {"lib.qva:1", "more.qva:1"}},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    folder.Write("lib.qva", c.lib);
    folder.Write("more.qva", c.more);
    CompileResult result = CompileFile(folder.Write("main.qva", "#include lib.qva\n#include more.qva\nprint 1\n"));
    ASSERT_TRUE(result.ok) << result.message;
    std::vector<std::string> warned;
    for (const CompileWarning& w : result.warnings) {
      warned.push_back(std::filesystem::path(w.file).filename().string() + ":" + std::to_string(w.line));
      EXPECT_EQ(w.text.rfind("This statement never runs", 0), 0u) << w.text;
    }
    EXPECT_EQ(warned, c.warned) << c.lib << "--\n" << c.more;
  }
  // The line that leads there is the #include line, also for text compiled from memory (as
  // the environment compiles), whose includes are looked for in the current folder.
  TempFolder folder;
  folder.Write("lib.qva", "print 1\nfunction f()\nendfunction 1\n");
  folder.Write("bad.qva", "function b()\nendfunction\nfrobnicate\n");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder.path);
  CompileResult memory = CompileText("x = 1\n#include lib.qva\nprint f()\n");
  CompileResult bad = CompileText("\n#include bad.qva\n");
  std::filesystem::current_path(before);
  ASSERT_TRUE(memory.ok) << memory.message;
  ASSERT_EQ(memory.warnings.size(), 1u);
  EXPECT_EQ(memory.warnings[0].file, "lib.qva");
  EXPECT_EQ(memory.warnings[0].line, 1);
  EXPECT_EQ(memory.warnings[0].mainLine, 2);
  EXPECT_EQ(bad.message, "Unknown command: frobnicate in the included statement frobnicate");
  EXPECT_EQ(bad.line, 2);
}

// 255 different includes are accepted; the 256th is refused at its line.
TEST(CompileDriver, IncludeLimit) {
  TempFolder folder;
  std::string main;
  for (int i = 0; i < 256; i++) {
    folder.Write("inc" + std::to_string(i) + ".qva", "");
    main += "#include inc" + std::to_string(i) + ".qva\n";
  }
  CompileResult result = CompileFile(folder.Write("main.qva", main));
  EXPECT_EQ(result.message, "Too many include files");
  EXPECT_EQ(result.line, 256);
  main.erase(main.rfind("#include"));
  EXPECT_TRUE(CompileFile(folder.Write("main255.qva", main)).ok);
}

// A program whose code outgrows the buffer is compiled again with twice the room, and the
// result equals a compile with a buffer large enough from the start.
TEST(CompileDriver, GrowingCodeBufferGivesTheSameProgram) {
  std::string source;
  for (int i = 0; i < 1500; i++) source += "a = a + " + std::to_string(i % 50) + "\nprint a; \"x\"\n";
  CompileResult small = CompileText(source, 2048);
  CompileResult large = CompileText(source);
  ASSERT_TRUE(small.ok) << small.message;
  ASSERT_TRUE(large.ok) << large.message;
  EXPECT_GT(small.passes, 2);
  EXPECT_EQ(large.passes, 1);
  EXPECT_EQ(small.words, large.words);
}

// Lines end at CR LF, LF or CR alike, so line numbers agree across the three.
TEST(CompileDriver, LineEndings) {
  for (const char* newline : {"\r\n", "\n", "\r"}) {
    std::string source = std::string("print 1") + newline + newline + "frobnicate" + newline;
    CompileResult result = CompileText(source);
    EXPECT_EQ(result.line, 3) << "newline " << (newline[0] == '\r' ? "CR" : "LF");
  }
}

// The progress display hears once per new tenth of the lines, ending at 100.
TEST(CompileDriver, ProgressByTenths) {
  static std::vector<int> reports;
  reports.clear();
  SetCompileProgressHook([](int percent) { reports.push_back(percent); });
  std::string source;
  for (int i = 0; i < 99; i++) source += "a = a + 1\n";
  ASSERT_TRUE(CompileText(source).ok);  // 99 lines and the end line
  SetCompileProgressHook(nullptr);
  EXPECT_EQ(reports, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
}
