// The compiler's message texts and the language-file reader: COMPILER[] comes from the
// English language file built into the executable.
#include <cctype>

#include "compiler/compiler_local.h"
#include "runtime/runtime.h"

// Calls visit(name, value) for each entry of the section, in file order, until it returns
// false.
template <class Visit>
static void VisitLanguageSection(std::string_view fileText, std::string_view section, Visit visit) {
  bool inSection = false;
  size_t pos = 0;
  while (pos < fileText.size()) {
    size_t end = fileText.find('\n', pos);
    if (end == std::string_view::npos) end = fileText.size();
    std::string_view line = fileText.substr(pos, end - pos);
    pos = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[') {
      std::string_view name = line.substr(1, line.find(']') - 1);
      inSection = name.size() == section.size();
      for (size_t i = 0; inSection && i < name.size(); i++)
        inSection = std::toupper(static_cast<unsigned char>(name[i])) == std::toupper(static_cast<unsigned char>(section[i]));
      continue;
    }
    size_t equals = line.find('=');
    if (!inSection || equals == std::string_view::npos) continue;
    std::string_view name = line.substr(0, equals);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    std::string_view value = line.substr(equals + 1);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    if (!visit(name, value)) return;
  }
}

std::string LanguageText(std::string_view fileText, std::string_view section, std::string_view key) {
  std::string found;
  VisitLanguageSection(fileText, section, [&](std::string_view name, std::string_view value) {
    if (name != key) return true;
    found = std::string(value);
    return false;
  });
  return found;
}

std::string CompilerText(int index) {
  std::string text = LanguageText(EmbeddedLanguageText(), "COMPILER", std::to_string(index));
  return text.empty() ? "Compiler message " + std::to_string(index) : text;
}

// One pass over the section (the first entry of a number counts, as for LanguageText).
void LoadLanguageErrorTexts() {
  bool taken[kErrorTextSlots] = {};
  VisitLanguageSection(EmbeddedLanguageText(), "ERRORS", [&](std::string_view name, std::string_view value) {
    int slot = 0;
    if (name.empty() || name.size() > 3) return true;
    for (char digit : name) {
      if (digit < '0' || digit > '9') return true;
      slot = slot * 10 + (digit - '0');
    }
    if (slot >= kErrorTextSlots || taken[slot] || value.empty() || (name.size() > 1 && name[0] == '0')) return true;
    taken[slot] = true;
    SetErrorSlotText(slot, std::string(value).c_str());
    return true;
  });
}
