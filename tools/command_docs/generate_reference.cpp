// Writes the command reference: generate_reference KEYWORDS DESCRIPTIONS WORDS OUTPUT. The
// build runs it after every change of the three files; disagreements go to stderr.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "tools/command_docs/command_docs.h"

static bool ReadFile(const char* name, std::string* text) {
  std::ifstream file(name, std::ios::binary);
  if (!file) return false;
  std::ostringstream bytes;
  bytes << file.rdbuf();
  *text = bytes.str();
  return true;
}

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: generate_reference KEYWORDS DESCRIPTIONS WORDS OUTPUT\n");
    return 2;
  }
  std::string keywordText, descriptionText, wordsText;
  for (auto [name, text] : {std::pair{argv[1], &keywordText}, {argv[2], &descriptionText}, {argv[3], &wordsText}})
    if (!ReadFile(name, text)) {
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
  std::string old;
  if (ReadFile(argv[4], &old) && old == reference) return 0;
  const std::string temporary = std::string(argv[4]) + "." + std::to_string(getpid()) + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary);
    out << reference;
    if (!out) {
      std::fprintf(stderr, "generate_reference: cannot write %s\n", temporary.c_str());
      return 1;
    }
  }
  if (std::rename(temporary.c_str(), argv[4]) != 0) {
    std::fprintf(stderr, "generate_reference: cannot replace %s\n", argv[4]);
    return 1;
  }
  return 0;
}
