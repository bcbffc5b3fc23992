// The examples of docs/LANGUAGE.md and docs/COMMANDS.md: every ```basic block of the guide is
// run headless with --echo, as is every block of the reference that an ```output block
// follows; what the run writes (standard output, then the error line) must be that block,
// and the exit status the one its fence gives ("status=N", else 0). Every other block of the
// reference must compile, and one that loops must end by itself. A run that does not end
// within a minute is stopped and fails.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <set>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "compiler/compiler.h"

#include "tests/docs/docs_files.h"

namespace fs = std::filesystem;

namespace {

struct Example {
  int line = 0;        // of the opening fence, for messages
  std::string family;  // the "## " heading above it
  std::string code;
  bool hasOutput = false;
  std::string output;
  int status = 0;
};

// The fenced blocks of the guide: each ```basic block with the ```output block right after it.
std::vector<Example> GuideExamples(const std::string& guide) {
  std::vector<Example> examples;
  std::istringstream in(guide);
  std::string line, fence, block, family;
  int number = 0, blockLine = 0;
  bool inside = false;
  while (std::getline(in, line)) {
    ++number;
    if (!inside && line.rfind("## ", 0) == 0) family = line.substr(3);
    if (!inside && line.rfind("```", 0) == 0) {
      inside = true;
      fence = line.substr(3);
      block.clear();
      blockLine = number;
      continue;
    }
    if (inside && line == "```") {
      inside = false;
      if (fence == "basic") {
        Example example;
        example.line = blockLine;
        example.code = block;
        example.family = family;
        examples.push_back(example);
      } else if (fence.rfind("output", 0) == 0 && !examples.empty() && !examples.back().hasOutput) {
        examples.back().hasOutput = true;
        examples.back().output = block;
        const size_t status = fence.find("status=");
        if (status != std::string::npos) examples.back().status = std::atoi(fence.c_str() + status + 7);
      }
      continue;
    }
    if (inside) block += line + "\n";
  }
  return examples;
}

struct ExampleRun {
  int status = -1;  // kDidNotEnd when it was stopped
  std::string printed;
};
constexpr int kDidNotEnd = 124;  // timeout's status

// Runs an example as the documents say: in a fresh folder of its own (so messages name the
// file as they show it), headless, printing with --echo, with no standard input.
ExampleRun RunExample(const std::string& code, const fs::path& folder) {
  fs::create_directories(folder);
  std::ofstream(folder / "example.qva") << code;
  // The run's leak check is off: SDL unloads the display libraries it opened, and their caches
  // would show as leaks of unknown modules (the in-process tests check our own code).
  const std::string command = "cd '" + folder.string() + "' && ASAN_OPTIONS=detect_leaks=0 timeout -k 10 60 '" QV_EXECUTABLE
                              "' run example.qva --headless --echo < /dev/null > out.txt 2>&1";
  const int result = std::system(command.c_str());
  std::ifstream out(folder / "out.txt");
  ExampleRun run;
  run.printed.assign((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
  run.status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  fs::remove_all(folder);
  return run;
}

// Runs the examples a few at a time; the runs in the order of the examples.
std::vector<ExampleRun> RunAll(const std::vector<Example>& examples, const fs::path& root) {
  std::vector<ExampleRun> runs(examples.size());
  std::atomic<size_t> next{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 3; ++w)
    workers.emplace_back([&] {
      for (size_t i; (i = next++) < examples.size();)
        runs[i] = RunExample(examples[i].code, root / std::to_string(i));
    });
  for (std::thread& worker : workers) worker.join();
  return runs;
}

void ExpectPrinted(const Example& example, const ExampleRun& run, const char* document) {
  SCOPED_TRACE(std::string(document) + " line " + std::to_string(example.line));
  if (example.hasOutput) {
    EXPECT_EQ(run.status, example.status) << example.code;
    EXPECT_EQ(run.printed, example.output) << example.code;
  } else {
    EXPECT_EQ(run.status, 0) << run.printed;
  }
  EXPECT_NE(run.status, kDidNotEnd) << "did not end:\n" << example.code;
}

// Runs the examples of a document (the ones with an output block only, or all; of one
// family, or all) and checks what each printed.
void CheckExamples(const char* document, bool onlyPrinting, const std::string& family = std::string()) {
  std::vector<Example> examples;
  for (const Example& example : GuideExamples(SourceFile(document)))
    if ((example.hasOutput || !onlyPrinting) && (family.empty() || example.family == family)) examples.push_back(example);
  ASSERT_FALSE(examples.empty());
  const fs::path root = fs::temp_directory_path() / ("qv-examples-" + std::to_string(getpid()));
  const std::vector<ExampleRun> runs = RunAll(examples, root);
  for (size_t i = 0; i < examples.size(); ++i) ExpectPrinted(examples[i], runs[i], document);
  fs::remove_all(root);
}

}  // namespace

TEST(LanguageGuide, ExamplesPrintWhatTheGuideShows) { CheckExamples("docs/LANGUAGE.md", false); }

// Each command's example in the reference: those with an output block print it. One test per
// family, so each stays short and they run side by side.
std::vector<std::string> ReferenceFamiliesThatPrint() {
  std::vector<std::string> families;
  for (const Example& example : GuideExamples(SourceFile("docs/COMMANDS.md")))
    if (example.hasOutput && std::find(families.begin(), families.end(), example.family) == families.end())
      families.push_back(example.family);
  return families;
}

class ReferenceFamily : public ::testing::TestWithParam<std::string> {};

TEST_P(ReferenceFamily, ExamplesPrintWhatTheReferenceShows) { CheckExamples("docs/COMMANDS.md", true, GetParam()); }

INSTANTIATE_TEST_SUITE_P(CommandReference, ReferenceFamily, ::testing::ValuesIn(ReferenceFamiliesThatPrint()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           // The heading's words before any "(": "Sounds 1-1025 (...)" gives Sounds_1_1025.
                           std::string name;
                           for (char c : info.param.substr(0, info.param.find(" (")))
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

// ... and every example there compiles (most need files or devices a test has not got).
TEST(CommandReference, EveryExampleCompiles) {
  const std::vector<Example> examples = GuideExamples(SourceFile("docs/COMMANDS.md"));
  ASSERT_GE(examples.size(), 500u);
  EXPECT_GE(std::count_if(examples.begin(), examples.end(), [](const Example& e) { return e.hasOutput; }), 100);
  CompilerObject* compiler = CreateCompiler();
  ASSERT_TRUE(LoadKeywordTable(*compiler));
  for (const Example& example : examples) {
    ResetCompiler(*compiler);
    EXPECT_TRUE(CompileFromMemory(*compiler, example.code, 1))
        << "docs/COMMANDS.md line " << example.line << ": " << CompilerMessage(*compiler) << " at line "
        << CompilerErrorLine(*compiler) << "\n" << example.code;
    FreeCompilerBuffers(*compiler);
  }
  DestroyCompiler(compiler);
}


// True when the example has a WHILE, REPEAT or DO loop.
bool Loops(const std::string& code) {
  static const std::regex loop(R"((^|\n|:)\s*(while|repeat|do)\b)", std::regex::icase);
  return std::regex_search(code, loop);
}

// The functions that read what a user does (keys, the mouse, joysticks, the control device):
// an example that loops on them ends when the user acts (or presses Esc), so none ends by
// itself in a headless run.
bool ReadsTheUser(const std::string& code) {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> found;
    for (const command_docs::Keyword& keyword : SourceKeywords())
      if (keyword.function && (keyword.family.rfind("keyboard, mouse", 0) == 0 || keyword.name.rfind("mouse", 0) == 0 ||
                               keyword.name == "inkey$"))
        found.push_back(keyword.name);
    return found;
  }();
  return std::any_of(names.begin(), names.end(), [&](const std::string& name) { return code.find(name + "(") != std::string::npos; });
}

// Each example of the reference that loops ends by itself when run headless (unless it waits
// for the user), also one that scans a folder for a file when the file is not there (its own
// "make" lines left out): a loop on what a command keeps after its end must not run for ever.
TEST(CommandReference, EveryExampleThatLoopsEnds) {
  std::vector<Example> examples;
  for (const Example& example : GuideExamples(SourceFile("docs/COMMANDS.md"))) {
    if (!Loops(example.code) || ReadsTheUser(example.code)) continue;
    examples.push_back(example);
    if (example.code.find("find first") == std::string::npos) continue;
    Example missing = example;
    missing.code.clear();
    std::istringstream lines(example.code);
    for (std::string line; std::getline(lines, line);)
      if (line.rfind("make ", 0) != 0) missing.code += line + "\n";
    examples.push_back(missing);
  }
  ASSERT_GE(examples.size(), 10u);
  const fs::path root = fs::temp_directory_path() / ("qv-loop-examples-" + std::to_string(getpid()));
  const std::vector<ExampleRun> runs = RunAll(examples, root);
  for (size_t i = 0; i < examples.size(); ++i)
    EXPECT_NE(runs[i].status, kDidNotEnd) << "docs/COMMANDS.md line " << examples[i].line << " did not end:\n"
                                          << examples[i].code;
  fs::remove_all(root);
}

// A user finds the guide and the reference from the README and from the help text.
TEST(LanguageGuide, ReadmeAndHelpNameBothDocuments) {
  const std::string readme = SourceFile("README.md");
  std::string help;
  if (std::FILE* pipe = popen("'" QV_EXECUTABLE "' --help", "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) help += buffer;
    pclose(pipe);
  }
  for (const char* document : {"docs/LANGUAGE.md", "docs/COMMANDS.md"}) {
    EXPECT_NE(readme.find(std::string("](") + document + ")"), std::string::npos) << document;
    EXPECT_NE(help.find(document), std::string::npos) << document;
  }
}

// The README's SETUP.INI, as shown, with DEBUGMODE switched on: a built game beside it logs a
// warning in QV.LOG (written as the README shows it, every key is read).
TEST(Readme, TheSetupIniShownIsRead) {
  const std::string readme = SourceFile("README.md");
  const size_t start = readme.find("    [SETTINGS]\n");
  ASSERT_NE(start, std::string::npos);
  std::string setup;
  std::istringstream lines(readme.substr(start));
  for (std::string line; std::getline(lines, line) && line.rfind("    ", 0) == 0;) setup += line.substr(4) + "\n";
  const size_t debug = setup.find("DEBUGMODE=0");
  ASSERT_NE(debug, std::string::npos) << setup;
  setup.replace(debug, 11, "DEBUGMODE=1");
  const fs::path folder = fs::temp_directory_path() / ("qv-readme-setup-" + std::to_string(getpid()));
  fs::create_directories(folder);
  std::ofstream(folder / "w.qva") << "load sound \"boom.wav\", 1\n";
  std::ofstream(folder / "SETUP.INI") << setup;
  const std::string command = "cd '" + folder.string() + "' && '" QV_EXECUTABLE
                              "' build w.qva -o game > /dev/null && ./game > out.txt 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
  std::ifstream log(folder / "QV.LOG");
  const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Runtime Warning 3002"), std::string::npos) << text;
  fs::remove_all(folder);
}
