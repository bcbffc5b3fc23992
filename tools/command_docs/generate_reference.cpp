// Writes the command reference: generate_reference KEYWORDS DESCRIPTIONS WORDS OUTPUT. The
// build runs it after every change of the three files; disagreements go to stderr.
#include <cstdio>
#include <string>

#include "tools/command_docs/command_docs.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: generate_reference KEYWORDS DESCRIPTIONS WORDS OUTPUT\n");
    return 2;
  }
  std::string keywordText, descriptionText, wordsText;
  for (auto [name, text] : {std::pair{argv[1], &keywordText}, {argv[2], &descriptionText}, {argv[3], &wordsText}})
    if (!command_docs::ReadWholeFile(name, text)) {
      std::fprintf(stderr, "generate_reference: cannot read %s\n", name);
      return 1;
    }
  std::vector<std::string> problems;
  const auto keywords = command_docs::ParseKeywords(keywordText);
  const auto descriptions = command_docs::ParseDescriptions(descriptionText, &problems);
  const auto errorTexts = command_docs::ParseErrorTexts(wordsText);
  // Disagreements are the descriptions test's to report; the reference is written all the
  // same (a keyword without an entry says so), so one missing line does not stop a build.
  for (const std::string& problem : command_docs::CheckDescriptions(keywords, descriptions, errorTexts))
    problems.push_back(problem);
  for (const std::string& problem : problems) std::fprintf(stderr, "generate_reference: %s\n", problem.c_str());
  const std::string reference = command_docs::RenderReference(keywords, descriptions, errorTexts);
  // The file is replaced only when its text changes, and only whole.
  if (!command_docs::ReplaceFileIfChanged(argv[4], reference)) {
    std::fprintf(stderr, "generate_reference: cannot write %s\n", argv[4]);
    return 1;
  }
  return 0;
}
