// Writes the generated help pages: generate_help KEYWORDS DESCRIPTIONS WORDS EXAMPLES
// HELPFOLDER STAMP (EXAMPLES: the folder of the example programs).
// The build runs it after every change of the three files; pages change only when their text does.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "tools/command_docs/command_docs.h"

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: generate_help KEYWORDS DESCRIPTIONS WORDS EXAMPLES HELPFOLDER STAMP\n");
    return 2;
  }
  std::string keywordText, descriptionText, wordsText;
  for (auto [name, text] : {std::pair{argv[1], &keywordText}, {argv[2], &descriptionText}, {argv[3], &wordsText}})
    if (!command_docs::ReadWholeFile(name, text)) {
      std::fprintf(stderr, "generate_help: cannot read %s\n", name);
      return 1;
    }
  std::vector<std::string> problems;  // the descriptions test reports them
  auto pages = command_docs::RenderHelpPages(command_docs::ParseKeywords(keywordText),
                                                   command_docs::ParseDescriptions(descriptionText, &problems),
                                                   command_docs::ParseErrorTexts(wordsText));
  std::error_code error;
  std::vector<command_docs::ExampleProgram> examples;
  for (const auto& file : std::filesystem::directory_iterator(argv[4], error))
    if (file.path().extension() == ".qva") {
      command_docs::ExampleProgram example{file.path().filename().string(), ""};
      if (command_docs::ReadWholeFile(file.path().string(), &example.source)) examples.push_back(example);
    }
  std::sort(examples.begin(), examples.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  for (auto& page : command_docs::RenderExamplePages(examples)) pages.push_back(std::move(page));
  const std::filesystem::path folder(argv[5]);
  for (const char* sub : {"commands", "examples"}) std::filesystem::create_directories(folder / sub, error);
  std::set<std::string> written;
  for (const auto& page : pages) {
    if (!command_docs::ReplaceFileIfChanged((folder / page.name).string(), page.text)) {
      std::fprintf(stderr, "generate_help: cannot write %s\n", (folder / page.name).c_str());
      return 1;
    }
    written.insert((folder / page.name).lexically_normal().string());
  }
  // A family or an example that was renamed or removed leaves no page behind.
  for (const char* sub : {"commands", "examples"})
    for (const auto& file : std::filesystem::directory_iterator(folder / sub, error))
      if ((file.path().extension() == ".htm" || file.path().extension() == ".qva") && written.count(file.path().lexically_normal().string()) == 0)
        std::filesystem::remove(file.path(), error);
  std::ofstream stamp(argv[6], std::ios::binary | std::ios::trunc);
  return stamp ? 0 : 1;
}
