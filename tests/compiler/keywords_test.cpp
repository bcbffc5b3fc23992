// The keyword table: the resource format's details, and the agreement between keyword
// numbers and the command handlers every family registers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "runtime/runtime_local.h"
#include "tests/compiler/compile_helpers.h"

// Comments and blank lines are skipped; names and function signatures are lower-cased (a
// command's capitals name places it stores into), blanks in the number and the signature
// dropped; "[" marks a function.
TEST(KeywordTable, ResourceFormat) {
  CompilerObject* compiler = CreateCompiler();
  ASSERT_TRUE(LoadKeywordTableFromText(*compiler,
                                       "; a comment%1%l\r\n\r\n\r\n  MY Command % 3 4 % l f \r\n"
                                       "Twice[%5 0%L L\n"));
  ResetCompiler(*compiler);
  ASSERT_TRUE(CompileFromMemory(*compiler, "my  command twice(2), 2.5", 0)) << CompilerMessage(*compiler);
  std::vector<uint32_t> words = CompiledProgramWords(*compiler);
  uint32_t g = words[7];
  // twice(2) into integer temporary 0, then the command with it and the float constant.
  std::vector<uint32_t> expected = {50, 10000, 19000, 34, 10000, 21000};
  ASSERT_GE(words.size(), g + expected.size());
  EXPECT_EQ(std::vector<uint32_t>(words.begin() + g, words.begin() + g + expected.size()), expected);
  std::vector<int> numbers = KeywordCommandNumbers(*compiler);
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(numbers, (std::vector<int>{34, 50}));
  FreeCompilerBuffers(*compiler);
  DestroyCompiler(compiler);
}

// A statement takes the longest keyword name at its start (a blank in a name matching any
// run of blanks, a name ending only at a word end), and of the entries of that name the one
// whose signature fits the arguments best: exact types first, then the fewest numbers
// converted between integer and float, the first in the table on a tie.
TEST(KeywordTable, LongestNameAndBestFittingSignature) {
  const char* table =
      "sync%1%\r\nsync on%2%\r\nsync rate%3%l\r\nposition%4%lff\r\nposition%5%lll\r\n"
      "position%6%lfl\r\nload image%7%sl\r\nload%8%s\r\nload images%9%\r\n"
      "pick[%20%ll\r\npick[%21%ff\r\npick[%22%fl\r\npicked[%23%ll\r\nval$[%24%ss\r\n";
  struct Case {
    const char* statement;
    uint32_t command;  // the first code word after the conversions of the arguments
  } cases[] = {
      {"sync", 1},
      {"sync on", 2},
      {"sync    on", 2},
      {"sync rate 30", 3},
      {"position 1, 2.5, 3.5", 4},
      {"position 1, 2, 3", 5},
      {"position 1.5, 2.5, 3", 6},
      {"position 1.5, 2, 3", 5},
      {"load image \"a\", 1", 7},
      {"load  image \"a\", 1", 7},
      {"load \"a\"", 8},
      {"load images", 9},
      {"x = pick(2)", 20},
      {"x# = pick(2.5)", 21},
      {"x = picked(2)", 23},
      {"x$ = val$(\"a\")", 24},
  };
  for (const Case& test : cases) {
    CompilerObject* compiler = CreateCompiler();
    ASSERT_TRUE(LoadKeywordTableFromText(*compiler, table));
    ResetCompiler(*compiler);
    ASSERT_TRUE(CompileFromMemory(*compiler, test.statement, 0)) << test.statement << ": " << CompilerMessage(*compiler);
    std::vector<uint32_t> words = CompiledProgramWords(*compiler);
    size_t at = words[7];
    while (at < words.size() && (words[at] == 154 || words[at] == 155)) at += 3;  // float to int, int to float
    ASSERT_LT(at, words.size());
    EXPECT_EQ(words[at], test.command) << test.statement;
    FreeCompilerBuffers(*compiler);
    DestroyCompiler(compiler);
  }
  // A name must end at a word end: "syncx" and "pickx(1)" are no keywords.
  for (const char* statement : {"syncx", "x = pickx(1)", "x$ = val$x(\"a\")"}) {
    CompilerObject* compiler = CreateCompiler();
    ASSERT_TRUE(LoadKeywordTableFromText(*compiler, table));
    ResetCompiler(*compiler);
    EXPECT_FALSE(CompileFromMemory(*compiler, statement, 0)) << statement;
    FreeCompilerBuffers(*compiler);
    DestroyCompiler(compiler);
  }
}

// The command numbers the executable registers (every family main.cpp wires in).
static std::vector<int> RegisteredNumbers() {
  std::vector<int> numbers;
  std::FILE* pipe = popen(QV_EXECUTABLE " --command-numbers", "r");
  if (!pipe) return numbers;
  int number;
  while (std::fscanf(pipe, "%d", &number) == 1) numbers.push_back(number);
  pclose(pipe);
  return numbers;
}

// Every number in the keyword table has a handler, and every registered handler is named
// by a keyword or emitted by the translator itself, and has the operand signature the
// loader checks its operands against.
TEST(KeywordTable, AgreesWithRegisteredHandlers) {
  std::vector<int> registered = RegisteredNumbers();
  ASSERT_FALSE(registered.empty()) << "no numbers from " << QV_EXECUTABLE;
  auto has = [](const std::vector<int>& list, int number) {
    return std::find(list.begin(), list.end(), number) != list.end();
  };
  CompilerObject* compiler = CreateCompiler();
  ASSERT_TRUE(LoadKeywordTable(*compiler));
  std::vector<int> named = KeywordCommandNumbers(*compiler);
  const std::vector<int>& internal = InternalCommandNumbers();
  // Jump aliases the runtime serves for programs of other compilers; no keyword names them.
  const std::vector<int> aliases = {5, 6, 8, 9, 10, 12, 42};
  for (int number : named) EXPECT_TRUE(has(registered, number)) << "keyword number " << number << " has no handler";
  for (int number : internal) EXPECT_TRUE(has(registered, number)) << "emitted number " << number << " has no handler";
  for (int number : registered)
    EXPECT_TRUE(has(named, number) || has(internal, number) || has(aliases, number))
        << "handler " << number << " has no keyword";
  for (int number : registered)
    EXPECT_NE(CommandOperandKinds(number), nullptr) << "handler " << number << " has no operand signature";
  DestroyCompiler(compiler);
}

// The language file's ERRORS slots are in the runtime's slot order: after loading, every
// error number named in a slot's comment reads that slot's text. Also every COMPILER text
// the compiler uses exists.
TEST(LanguageFile, ErrorTextsLandInTheirNumbersSlots) {
  LoadLanguageErrorTexts();
  std::string_view file = EmbeddedLanguageText();
  int checked = 0;
  size_t at = 0;
  while ((at = file.find("; error ", at)) != std::string_view::npos) {
    int number = std::atoi(std::string(file.substr(at + 8, 6)).c_str());
    size_t lineEnd = file.find('\n', at);
    size_t equals = file.find('=', lineEnd);
    size_t valueEnd = file.find_first_of("\r\n", equals);
    std::string text(file.substr(equals + 1, valueEnd - equals - 1));
    EXPECT_EQ(ErrorText(number), text) << "error " << number;
    checked++;
    at = lineEnd;
  }
  EXPECT_GT(checked, 100);
  for (int index : {1, 2, 3, 4, 5, 6, 7, 8, 14, 15, 16, 18, 19, 20, 21, 22, 23, 24, 25, 38, 39, 40, 41,
                    42, 43, 44, 45, 46, 47, 48, 49, 50})
    EXPECT_FALSE(LanguageText(file, "COMPILER", std::to_string(index)).empty()) << "COMPILER " << index;
}

// Every block word that jumps writes the block jump (106); GOTO keeps the plain jump (2).
// Each source's code starts with the instruction named.
TEST(KeywordTable, BlockWordsJumpWithTheBlockJump) {
  struct Case {
    const char* source;
    size_t at;  // code word index of the jump
    uint32_t command;
  } cases[] = {
      {"do\r\nloop", 0, 106},
      {"do\r\nexit\r\nloop", 0, 106},
      {"repeat\r\nexit\r\nuntil 1", 0, 106},
      {"while 1\r\nendwhile", 3, 106},
      {"if 1 then else", 3, 106},
      {"here:\r\ngoto here", 0, 2},
  };
  for (const Case& test : cases) {
    CompileResult result = CompileText(test.source);
    ASSERT_TRUE(result.ok) << test.source << ": " << result.message;
    uint32_t code = result.words[7];
    ASSERT_GT(result.words.size(), code + test.at);
    EXPECT_EQ(result.words[code + test.at], test.command) << test.source;
  }
  // Looked up by number, the table names the keyword and its parameter letters.
  CompilerObject* compiler = CreateCompiler();
  ASSERT_TRUE(LoadKeywordTable(*compiler));
  std::string name;
  int entry = FindKeywordById(*compiler, 106, &name);
  EXPECT_GT(entry, 0);
  EXPECT_EQ(name, "else");
  entry = FindKeywordById(*compiler, 407, &name);
  EXPECT_EQ(name, "sync rate");
  EXPECT_EQ(KeywordParamType(*compiler, entry, 0), 'l');
  EXPECT_EQ(KeywordParamType(*compiler, entry, 1), 0);
  EXPECT_EQ(FindKeywordById(*compiler, 0, &name), 0);
  EXPECT_EQ(FindKeywordById(*compiler, 9999, &name), 0);
  EXPECT_EQ(KeywordParamType(*compiler, 0, 0), 0);
  DestroyCompiler(compiler);
}
