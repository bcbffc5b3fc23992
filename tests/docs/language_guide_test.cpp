// The examples of docs/LANGUAGE.md: every ```basic block is run headless with --echo, and
// when an ```output block follows it, what the run writes (standard output, then the error
// line) must be that block, and the exit status the one its fence gives ("status=N", else 0).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/docs/docs_files.h"

namespace fs = std::filesystem;

namespace {

struct Example {
  int line = 0;        // of the opening fence, for messages
  std::string code;
  bool hasOutput = false;
  std::string output;
  int status = 0;
};

// The fenced blocks of the guide: each ```basic block with the ```output block right after it.
std::vector<Example> GuideExamples(const std::string& guide) {
  std::vector<Example> examples;
  std::istringstream in(guide);
  std::string line, fence, block;
  int number = 0, blockLine = 0;
  bool inside = false;
  while (std::getline(in, line)) {
    ++number;
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

}  // namespace

TEST(LanguageGuide, ExamplesPrintWhatTheGuideShows) {
  const std::vector<Example> examples = GuideExamples(SourceFile("docs/LANGUAGE.md"));
  ASSERT_GE(examples.size(), 10u);
  const fs::path folder = fs::temp_directory_path() / ("qv-guide-" + std::to_string(getpid()));
  fs::create_directories(folder);
  for (const Example& example : examples) {
    SCOPED_TRACE("docs/LANGUAGE.md line " + std::to_string(example.line));
    std::ofstream(folder / "example.qva") << example.code;
    // Run in the folder so messages name the file as the guide shows it; no standard input.
    const std::string command = "cd '" + folder.string() + "' && '" QV_EXECUTABLE
                                "' run example.qva --headless --echo < /dev/null > out.txt 2>&1";
    const int result = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(result));
    std::ifstream out(folder / "out.txt");
    const std::string printed((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
    if (example.hasOutput) {
      EXPECT_EQ(WEXITSTATUS(result), example.status);
      EXPECT_EQ(printed, example.output);
    } else {
      EXPECT_EQ(WEXITSTATUS(result), 0) << printed;
    }
  }
  fs::remove_all(folder);
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
