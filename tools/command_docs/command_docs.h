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
  std::string example;                // a short program that uses the keyword, lines split by "\n"
  std::string output;                 // what the example prints headless with --echo ("" none)
  int line = 0;                       // line in the file, for messages
};
// Example lines are kept this short, so the help viewer shows each on one line.
constexpr size_t kMaxExampleLine = 60;
// A keyword's anchor on its family's page and in the reference: the name, blanks as "-".
std::string EntryAnchor(const std::string& name);

// The generators' files: read whole; replaced whole (through a temporary file) and only
// when the text changes, so the build sees no change when there is none.
bool ReadWholeFile(const std::string& path, std::string* text);
bool ReplaceFileIfChanged(const std::string& path, const std::string& text);

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

// The form a program writes: the name and its operands, each with its type's suffix
// ("sprite id, x, y, image", "cos(angle#)"); OperandName is one of them.
std::string CommandForm(const Keyword& keyword, const Description* entry);
std::string OperandName(const Keyword& keyword, const Description* entry, size_t i);
// A family's heading as the reference and the help pages show it.
std::string FamilyTitle(const std::string& family);

// One help page: its name below the help folder ("commands/sprites.htm") and its bytes.
struct HelpPage {
  std::string name;
  std::string text;
};
// The help pages made from the two files: one page per family (every command with its
// operands, result, errors and a short example), the list of families (commands.htm) and
// the index (index.htm) whose link texts are the keywords, as context help looks them up.
std::vector<HelpPage> RenderHelpPages(const std::vector<Keyword>& keywords, const std::vector<Description>& descriptions,
                                      const std::map<int, std::string>& errorTexts);

// One example program: its file name ("bounce.qva") and its source text.
struct ExampleProgram {
  std::string name;
  std::string source;
};
// The example pages: examples.htm listing them (with the text of their leading REM lines)
// and examples/NAME.htm showing each program.
std::vector<HelpPage> RenderExamplePages(const std::vector<ExampleProgram>& examples);

// The reference in Markdown: one section per family, one entry per keyword.
std::string RenderReference(const std::vector<Keyword>& keywords, const std::vector<Description>& descriptions,
                            const std::map<int, std::string>& errorTexts);

}  // namespace command_docs
