// The compiler's message texts and the language-file reader: COMPILER[] comes from the
// English language file built into the executable.
#include <cctype>

#include "compiler/compiler_local.h"
#include "runtime/runtime.h"

std::string LanguageText(std::string_view fileText, std::string_view section, std::string_view key) {
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
    if (name == key) {
      std::string_view value = line.substr(equals + 1);
      while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
      return std::string(value);
    }
  }
  return {};
}

std::string CompilerText(int index) {
  std::string text = LanguageText(EmbeddedLanguageText(), "COMPILER", std::to_string(index));
  return text.empty() ? "Compiler message " + std::to_string(index) : text;
}

void LoadLanguageErrorTexts() {
  for (int slot = 0; slot < 200; slot++) {
    std::string text = LanguageText(EmbeddedLanguageText(), "ERRORS", std::to_string(slot));
    if (!text.empty()) SetErrorSlotText(slot, text.c_str());
  }
}
