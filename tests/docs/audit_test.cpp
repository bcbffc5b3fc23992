// The audit of every command number of the keyword table: it has a handler in the
// executable, an entry in the descriptions file, and some test or program that reaches it.
//
// Reached means one of:
// - a BASIC program under tests/ or examples/ (compiled and loaded here) holds the command;
// - a C++ test under tests/ names the command's constant from runtime/command_numbers.h, the
//   way the family table tests and the assembler tests call a command.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <unistd.h>

#include "compiler/compiler.h"
#include "runtime/builtins.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"
#include "tests/docs/docs_files.h"

namespace fs = std::filesystem;

namespace {

std::set<int> RegisteredNumbers() {
  std::set<int> numbers;
  std::FILE* pipe = popen(QV_EXECUTABLE " --command-numbers", "r");
  if (pipe == nullptr) return numbers;
  int number;
  while (std::fscanf(pipe, "%d", &number) == 1) numbers.insert(number);
  pclose(pipe);
  return numbers;
}

std::vector<fs::path> FilesUnder(const char* folder, const std::vector<std::string>& extensions) {
  std::vector<fs::path> files;
  const fs::path root = fs::path(QV_SOURCE_DIR) / folder;
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file() &&
        std::find(extensions.begin(), extensions.end(), entry.path().extension().string()) != extensions.end())
      files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// The loader follows a program's paths through the handlers it finds: every keyword number
// without one here (the families live in the executable) gets one that does nothing.
void RegisterStandInHandlers() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterRuntimeCommands();
  RegisterCoreBuiltins();
  std::vector<int> numbers = InternalCommandNumbers();
  for (const command_docs::Keyword& keyword : SourceKeywords()) numbers.push_back(keyword.number);
  std::vector<CommandEntry> standIns;
  for (int number : numbers)
    if (number != 0 && HandlerForCommand(number) == nullptr &&
        std::none_of(standIns.begin(), standIns.end(), [&](const CommandEntry& e) { return e.number == number; }))
      standIns.push_back(CommandEntry{number, [] {}});
  ASSERT_TRUE(RegisterCommands(standIns.data(), standIns.size()));
}

// The command numbers a program's compiled code holds, as the loader finds its commands.
// Programs that are meant not to compile (compile-error tests) give none.
std::set<int> CommandsOfProgram(const fs::path& source) {
  std::set<int> numbers;
  RegisterStandInHandlers();
  CompilerObject* compiler = CreateCompiler();
  LoadKeywordTable(*compiler);
  ResetCompiler(*compiler);
  std::vector<uint32_t> words;
  if (CompileProgram(*compiler, source.string())) words = CompiledProgramWords(*compiler);
  FreeCompilerBuffers(*compiler);
  DestroyCompiler(compiler);
  if (words.empty()) return numbers;
  std::vector<uint8_t> bytes(words.size() * 4);
  std::memcpy(bytes.data(), words.data(), bytes.size());
  std::string whyNot;
  if (!LoadCompiledProgramFromMemory(bytes.data(), bytes.size(), &whyNot)) {
    ADD_FAILURE() << source << " compiles but does not load: " << whyNot;
    return numbers;
  }
  const LoadedProgram& program = Program();
  for (int32_t at = 0; at < program.codeWords; ++at)
    if (program.commandStarts[static_cast<size_t>(at)] != 0) numbers.insert(program.words[static_cast<size_t>(at)]);
  FreeCompiledProgram();
  return numbers;
}

// The constants of runtime/command_numbers.h: name -> number.
std::map<std::string, int> CommandConstants() {
  std::map<std::string, int> constants;
  const std::string header = SourceFile("runtime/command_numbers.h");
  const std::regex line(R"((k[A-Za-z0-9_]+)\s*=\s*([0-9]+)\s*,)");
  for (auto it = std::sregex_iterator(header.begin(), header.end(), line); it != std::sregex_iterator(); ++it)
    constants[(*it)[1]] = std::stoi((*it)[2]);
  return constants;
}

// The command numbers whose constants a C++ source names outside "//" comments.
std::set<int> CommandsNamedIn(const std::string& source, const std::map<std::string, int>& constants) {
  std::set<int> numbers;
  const std::string text = std::regex_replace(source, std::regex("//[^\n]*"), "");
  const std::regex identifier(R"(\bk[A-Z][A-Za-z0-9_]*\b)");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), identifier); it != std::sregex_iterator(); ++it) {
    auto constant = constants.find(it->str());
    if (constant != constants.end()) numbers.insert(constant->second);
  }
  return numbers;
}

// Where each command is reached: number -> the first test file or program found.
std::map<int, std::string> ReachedCommands() {
  std::map<int, std::string> reached;
  for (const char* folder : {"tests", "examples"})
    for (const fs::path& program : FilesUnder(folder, {".qva"}))
      for (int number : CommandsOfProgram(program))
        reached.emplace(number, fs::relative(program, QV_SOURCE_DIR).string());
  const std::map<std::string, int> constants = CommandConstants();
  const fs::path self = fs::path(QV_SOURCE_DIR) / "tests" / "docs";
  for (const fs::path& source : FilesUnder("tests", {".cpp", ".h"})) {
    if (source.parent_path() == self) continue;  // the audit itself reaches nothing
    const std::string name = fs::relative(source, QV_SOURCE_DIR).string();
    for (int number : CommandsNamedIn(SourceFile(name), constants)) reached.emplace(number, name);
  }
  return reached;
}

std::string NumberList(const std::vector<int>& numbers) {
  std::string text;
  for (int number : numbers) text += " " + std::to_string(number);
  return text;
}

}  // namespace

TEST(CommandAudit, EveryKeywordNumberHasAHandlerADescriptionAndATest) {
  const std::set<int> handlers = RegisteredNumbers();
  ASSERT_FALSE(handlers.empty()) << "no numbers from " << QV_EXECUTABLE;
  std::vector<std::string> problems;
  std::set<int> described;
  for (const command_docs::Description& entry : command_docs::ParseDescriptions(SourceFile("data/descriptions.txt"), &problems))
    described.insert(entry.number);
  const std::map<int, std::string> reached = ReachedCommands();
  std::set<int> numbers;
  for (const command_docs::Keyword& keyword : SourceKeywords())
    if (keyword.number != 0) numbers.insert(keyword.number);
  ASSERT_GT(numbers.size(), 100u);
  std::vector<int> noHandler, noDescription, unreached;
  for (int number : numbers) {
    if (handlers.count(number) == 0) noHandler.push_back(number);
    if (described.count(number) == 0) noDescription.push_back(number);
    if (reached.count(number) == 0) unreached.push_back(number);
  }
  EXPECT_TRUE(noHandler.empty()) << "keyword numbers without a handler:" << NumberList(noHandler);
  EXPECT_TRUE(noDescription.empty()) << "keyword numbers without a description:" << NumberList(noDescription);
  EXPECT_TRUE(unreached.empty()) << "keyword numbers no test or program reaches:" << NumberList(unreached)
                                 << "\n(a C++ test reaches a command by naming its constant from runtime/command_numbers.h,"
                                    " a program under tests/ or examples/ by using it)";
}

// The audit's own eyes: a program's commands are found through its compiled code (each
// overload by its own number, the statements by what the translator writes), and a C++
// test's through the constants its code names (a longer name, or one in a comment, counts nothing).
TEST(CommandAudit, FindsCommandsInProgramsAndInTests) {
  const fs::path folder = fs::temp_directory_path() / ("qv-audit-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const fs::path program = folder / "p.qva";
  std::ofstream(program) << "sprite 1, 2, 3, 4\nprint mid$(\"abc\", 2, 1)\nfor i = 1 to 2 : next i\n";
  const std::set<int> fromProgram = CommandsOfProgram(program);
  fs::remove_all(folder);
  for (int number : {kSprite, kTextMiddleRun, kPrintText, kForStep})
    EXPECT_EQ(fromProgram.count(number), 1u) << number;
  EXPECT_EQ(fromProgram.count(kTextMiddle), 0u);

  const std::set<int> fromTest = CommandsNamedIn(
      "calls.Run(kChecklistValueA, {qvasm::kIntResult, 3}); int kSpriteXY = 0; // kSpriteX\n", CommandConstants());
  EXPECT_EQ(fromTest, (std::set<int>{kChecklistValueA}));
}
