// The command reference: reads the keyword table and the descriptions file, checks that
// they agree, and writes the reference text (docs/COMMANDS.md and the help pages).
#pragma once
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace command_docs {

// One line of data/keywords.txt, under the family heading ("; --- title") above it.
struct Keyword {
  std::string name;       // lower case, blanks kept, without the function mark "["
  int number = 0;
  bool function = false;  // the name ended in "["
  char result = 0;        // a function's result type: 'l', 'f' or 's'
  std::string params;     // one letter per parameter: 'l' integer, 'f' float, 's' text
  std::string family;
};

struct ErrorRef {
  int number = 0;
  bool warning = false;  // written "wNUMBER": the run goes on
};

// One entry of data/descriptions.txt (the file's head gives the format).
struct Description {
  std::string name;
  int number = 0;
  std::string operandField;           // as written: operand names, or a statement's usage
  std::vector<std::string> operands;  // the field split at commas: one name per parameter
  std::string result;
  std::vector<ErrorRef> errors;
  std::string text;
  int line = 0;                       // line in the file, for messages
};

// Parsers: each skips comments and blank lines; a malformed line adds a message to *problems.
std::vector<Keyword> ParseKeywords(std::string_view text);
std::vector<Description> ParseDescriptions(std::string_view text, std::vector<std::string>* problems);
// "; error N" comment followed by "slot=text" lines of the language file's ERRORS section.
std::map<int, std::string> ParseErrorTexts(std::string_view wordsText);

// "name%number", the way the messages name a keyword.
std::string KeywordKey(const std::string& name, int number);

// Every disagreement between the two files: keywords without an entry, entries naming no
// keyword, operand counts that differ from the signature, results on commands or missing on
// functions, empty descriptions, error numbers without a text. Empty when they agree.
std::vector<std::string> CheckDescriptions(const std::vector<Keyword>& keywords,
                                           const std::vector<Description>& descriptions,
                                           const std::map<int, std::string>& errorTexts);

// The reference in Markdown: one section per family, one entry per keyword.
std::string RenderReference(const std::vector<Keyword>& keywords, const std::vector<Description>& descriptions,
                            const std::map<int, std::string>& errorTexts);

}  // namespace command_docs
