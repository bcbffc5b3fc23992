// The command reference: the keyword table and the descriptions file read, checked against
// each other and written out as Markdown, one section per family of the keyword table.
#include "tools/command_docs/command_docs.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace command_docs {

namespace {

std::string Trim(std::string_view text) {
  size_t start = 0, end = text.size();
  while (start < end && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  while (end > start && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return std::string(text.substr(start, end - start));
}

// Lower case, outer blanks gone, inner runs of blanks made one.
std::string NormalName(std::string_view text) {
  std::string name;
  for (char c : Trim(text)) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!name.empty() && name.back() != ' ') name += ' ';
    } else {
      name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return name;
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  size_t at = 0;
  while (true) {
    const size_t end = text.find(separator, at);
    parts.push_back(Trim(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at)));
    if (end == std::string_view::npos) return parts;
    at = end + 1;
  }
}

bool ParseNumber(const std::string& text, int* value) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
    return false;
  *value = std::atoi(text.c_str());
  return true;
}

// A field's "\n" is a line break (a field is one line of the file).
std::string Unescaped(const std::string& field) {
  std::string text;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 1 < field.size() && field[i + 1] == 'n') {
      text += '\n';
      ++i;
    } else {
      text += field[i];
    }
  }
  return text;
}

const char* TypeName(char type) { return type == 'f' ? "float" : type == 's' ? "text" : "integer"; }
const char* TypeSuffix(char type) { return type == 'f' ? "#" : type == 's' ? "$" : ""; }

// A heading's anchor as Markdown viewers make it: lower case, blanks to "-", other marks dropped.
std::string Anchor(const std::string& heading) {
  std::string anchor;
  for (char c : heading) {
    if (std::isalnum(static_cast<unsigned char>(c))) anchor += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    else if (c == ' ' || c == '-') anchor += '-';
  }
  return anchor;
}

std::string Capitalised(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace

std::string OperandName(const Keyword& keyword, const Description* entry, size_t i) {
  std::string name = entry != nullptr && i < entry->operands.size() ? entry->operands[i] : "operand" + std::to_string(i + 1);
  for (char& c : name)
    if (c == ' ') c = '_';
  return name + TypeSuffix(keyword.params[i]);
}

std::string CommandForm(const Keyword& keyword, const Description* entry) {
  std::string form = keyword.name;
  std::string operands;
  for (size_t i = 0; i < keyword.params.size(); ++i) operands += (i > 0 ? ", " : "") + OperandName(keyword, entry, i);
  if (keyword.function) form += "(" + operands + ")";
  else if (!operands.empty()) form += " " + operands;
  return form;
}

std::string FamilyTitle(const std::string& family) { return Capitalised(family); }

std::string EntryAnchor(const std::string& name) {
  std::string anchor = name;
  std::replace(anchor.begin(), anchor.end(), ' ', '-');
  return anchor;
}

std::string KeywordKey(const std::string& name, int number) { return name + "%" + std::to_string(number); }

std::vector<Keyword> ParseKeywords(std::string_view text) {
  std::vector<Keyword> keywords;
  std::string family = "other";
  for (std::string_view line : Lines(text)) {
    const std::string trimmed = Trim(line);
    if (trimmed.empty()) continue;
    if (trimmed[0] == ';') {
      if (trimmed.rfind("; ---", 0) == 0) family = Trim(trimmed.substr(5));
      continue;
    }
    const std::vector<std::string> fields = Split(trimmed, '%');
    if (fields.size() < 2) continue;
    Keyword keyword;
    keyword.name = NormalName(fields[0]);
    if (!keyword.name.empty() && keyword.name.back() == '[') {
      keyword.function = true;
      keyword.name = Trim(keyword.name.substr(0, keyword.name.size() - 1));
    }
    std::string number, signature;
    for (char c : fields[1])
      if (!std::isspace(static_cast<unsigned char>(c))) number += c;
    if (fields.size() > 2)
      for (char c : fields[2])
        if (!std::isspace(static_cast<unsigned char>(c))) signature += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!ParseNumber(number, &keyword.number)) continue;
    if (keyword.function && !signature.empty()) {
      keyword.result = signature[0];
      signature.erase(0, 1);
    }
    keyword.params = signature;
    keyword.family = family;
    keywords.push_back(keyword);
  }
  return keywords;
}

std::vector<Description> ParseDescriptions(std::string_view text, std::vector<std::string>* problems) {
  std::vector<Description> descriptions;
  int lineNumber = 0;
  for (std::string_view line : Lines(text)) {
    ++lineNumber;
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == ';') continue;
    const std::string where = "descriptions line " + std::to_string(lineNumber) + ": ";
    const std::vector<std::string> fields = Split(trimmed, '|');
    if (fields.size() < 6 || fields.size() > 8) {
      problems->push_back(where + "has " + std::to_string(fields.size()) + " fields, not 6 to 8");
      continue;
    }
    Description entry;
    entry.line = lineNumber;
    entry.name = NormalName(fields[0]);
    if (!ParseNumber(fields[1], &entry.number)) {
      problems->push_back(where + "number \"" + fields[1] + "\" is not a number");
      continue;
    }
    // Which of the two the field holds depends on the keyword: see UsageOf.
    entry.operandField = fields[2];
    if (!fields[2].empty()) entry.operands = Split(fields[2], ',');
    entry.result = fields[3];
    for (const std::string& word : Split(fields[4], ' ')) {
      if (word.empty()) continue;
      ErrorRef error;
      error.warning = word[0] == 'w';
      if (!ParseNumber(error.warning ? word.substr(1) : word, &error.number)) {
        problems->push_back(where + "error \"" + word + "\" is not a number");
        continue;
      }
      entry.errors.push_back(error);
    }
    entry.text = fields[5];
    if (fields.size() > 6) entry.example = Unescaped(fields[6]);
    if (fields.size() > 7) entry.output = Unescaped(fields[7]);
    descriptions.push_back(entry);
  }
  return descriptions;
}

std::map<int, std::string> ParseErrorTexts(std::string_view wordsText) {
  std::map<int, std::string> texts;
  const std::vector<std::string_view> lines = Lines(wordsText);
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    const std::string comment = Trim(lines[i]);
    if (comment.rfind("; error ", 0) != 0) continue;
    int number = 0;
    if (!ParseNumber(Trim(comment.substr(8)), &number)) continue;
    const std::string slot = Trim(lines[i + 1]);
    const size_t equals = slot.find('=');
    if (equals != std::string::npos) texts[number] = slot.substr(equals + 1);
  }
  return texts;
}

std::vector<std::string> CheckDescriptions(const std::vector<Keyword>& keywords,
                                           const std::vector<Description>& descriptions,
                                           const std::map<int, std::string>& errorTexts) {
  std::vector<std::string> problems;
  std::map<std::string, const Description*> byKey;
  for (const Description& entry : descriptions) {
    const std::string key = KeywordKey(entry.name, entry.number);
    if (byKey.count(key) != 0) problems.push_back(key + " is described twice (line " + std::to_string(entry.line) + ")");
    byKey[key] = &entry;
  }
  std::set<std::string> keywordKeys;
  for (const Keyword& keyword : keywords) {
    const std::string key = KeywordKey(keyword.name, keyword.number);
    keywordKeys.insert(key);
    auto found = byKey.find(key);
    if (found == byKey.end()) {
      problems.push_back(key + " has no description");
      continue;
    }
    const Description& entry = *found->second;
    const std::string where = key + " (line " + std::to_string(entry.line) + "): ";
    if (!keyword.params.empty() && entry.operands.size() != keyword.params.size())
      problems.push_back(where + "names " + std::to_string(entry.operands.size()) + " operands for " +
                         std::to_string(keyword.params.size()) + " parameters");
    if (!keyword.params.empty())
      for (const std::string& operand : entry.operands)
        if (operand.empty()) problems.push_back(where + "has an empty operand name");
    if (keyword.function && entry.result.empty()) problems.push_back(where + "is a function without a result");
    if (!keyword.function && !entry.result.empty()) problems.push_back(where + "is a command with a result");
    if (entry.text.empty()) problems.push_back(where + "has no description text");
    if (entry.example.empty()) problems.push_back(where + "has no example");
    std::istringstream lines(entry.example);
    for (std::string line; std::getline(lines, line);)
      if (line.size() > kMaxExampleLine)
        problems.push_back(where + "has an example line longer than " + std::to_string(kMaxExampleLine) + ": " + line);
    for (const ErrorRef& error : entry.errors)
      if (errorTexts.count(error.number) == 0)
        problems.push_back(where + "error " + std::to_string(error.number) + " has no text in the language file");
  }
  for (const Description& entry : descriptions)
    if (keywordKeys.count(KeywordKey(entry.name, entry.number)) == 0)
      problems.push_back(KeywordKey(entry.name, entry.number) + " (line " + std::to_string(entry.line) +
                         ") is described but is no keyword");
  return problems;
}

std::string RenderReference(const std::vector<Keyword>& keywords, const std::vector<Description>& descriptions,
                            const std::map<int, std::string>& errorTexts) {
  std::map<std::string, const Description*> byKey;
  for (const Description& entry : descriptions) byKey[KeywordKey(entry.name, entry.number)] = &entry;
  std::vector<std::string> families;
  for (const Keyword& keyword : keywords)
    if (std::find(families.begin(), families.end(), keyword.family) == families.end()) families.push_back(keyword.family);

  std::string out =
      "# Quorvanel commands\n\n"
      "Every command and function of the language, by family. This file is written by `make docs` from\n"
      "`data/keywords.txt` (names, numbers, operand types) and `data/descriptions.txt` (operand names,\n"
      "results, errors, descriptions): edit those, not this. The language itself is described in\n"
      "[LANGUAGE.md](LANGUAGE.md).\n\n"
      "Operands are written as a program writes them: `x` an integer, `x#` a float, `x$` a text.\n"
      "A function's operands go in brackets. The number after each name is the command number\n"
      "that compiled programs hold; error numbers are those a run stops with (a warning does\n"
      "not stop it: the command does nothing, or gives 0, and the program goes on).\n\n"
      "Each entry ends with an example. An example followed by an output block prints that\n"
      "(run as `quorvanel run example.qva --headless --echo`); the test suite runs every one of\n"
      "them and compiles all the others.\n\n"
      "## Families\n\n";
  for (const std::string& family : families) out += "- [" + Capitalised(family) + "](#" + Anchor(Capitalised(family)) + ")\n";
  for (const std::string& family : families) {
    out += "\n## " + Capitalised(family) + "\n";
    for (const Keyword& keyword : keywords) {
      if (keyword.family != family) continue;
      auto found = byKey.find(KeywordKey(keyword.name, keyword.number));
      const Description* entry = found != byKey.end() ? found->second : nullptr;
      const std::string form = CommandForm(keyword, entry);
      out += "\n### " + keyword.name + (keyword.number != 0 ? " (" + std::to_string(keyword.number) + ")" : "") + "\n\n";
      // A keyword without parameters may carry the usage of the statement it starts.
      if (entry != nullptr && keyword.params.empty() && !entry->operandField.empty())
        out += "`" + entry->operandField + "`\n\n";
      else out += "`" + form + "`" + (keyword.function ? std::string(" gives ") + TypeName(keyword.result) : "") + "\n\n";
      out += entry != nullptr ? entry->text : std::string("(no description yet)");
      out += "\n";
      if (entry != nullptr && !entry->result.empty()) out += "\n- Result: " + entry->result + "\n";
      if (entry != nullptr && !entry->errors.empty()) {
        out += (entry->result.empty() ? "\n" : "") + std::string("- Errors: ");
        for (size_t i = 0; i < entry->errors.size(); ++i) {
          const ErrorRef& error = entry->errors[i];
          auto textOf = errorTexts.find(error.number);
          out += (i > 0 ? "; " : "") + std::to_string(error.number);
          if (textOf != errorTexts.end()) out += " " + textOf->second;
          if (error.warning) out += " (warning)";
        }
        out += "\n";
      }
      if (entry != nullptr && !entry->example.empty()) {
        out += "\n```basic\n" + entry->example + "\n```\n";
        if (!entry->output.empty()) out += "\n```output\n" + entry->output + "\n```\n";
      }
    }
  }
  return out;
}

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream bytes;
  bytes << file.rdbuf();
  *text = bytes.str();
  return true;
}

bool ReplaceFileIfChanged(const std::string& path, const std::string& text) {
  std::string old;
  if (ReadWholeFile(path, &old) && old == text) return true;
  const std::string temporary = path + "." + std::to_string(getpid()) + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary);
    out << text;
    if (!out) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace command_docs
