// Context help: the words around the cursor tried as link texts of the help index, longest
// phrase first, giving the page of the command under the cursor.
#include <algorithm>
#include <cctype>

#include "ide/help/help.h"
#include "platform/folders.h"

namespace {

constexpr size_t kMaxLinkText = 4096;  // longer texts are no command's name

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool SameWithoutCase(const std::string& text, size_t at, const char* word) {
  for (size_t i = 0; word[i] != 0; ++i)
    if (at + i >= text.size() ||
        std::toupper(static_cast<unsigned char>(text[at + i])) != static_cast<unsigned char>(word[i]))
      return false;
  return true;
}

bool IsSeparator(unsigned char c) { return c == ' ' || c < 32 || c == '(' || c == ')' || c == '='; }
bool EndsStatement(unsigned char c) { return c < 32 && c != '\t'; }

}  // namespace

bool HelpIndex::Load(const std::string& path) {
  std::string text, whyNot;
  links_.clear();
  if (!PlatformReadRegularFile(path, kHelpMaxPageBytes, &text, &whyNot)) return false;
  LoadText(text);
  return true;
}

// Every ">" followed by text and "</A>" is a link text; its target is what follows the
// nearest "HREF=" before it, from after the quote up to the character before the ">" (the
// closing quote). The first ">" of a text wins, as a scan from the top would find it.
void HelpIndex::LoadText(const std::string& text) {
  links_.clear();
  size_t href = std::string::npos, close = 0;
  std::vector<std::pair<std::string, std::string>> found;
  for (size_t p = 0; p < text.size(); ++p) {
    if (SameWithoutCase(text, p, "HREF=")) href = p;
    if (text[p] != '>') continue;
    if (close != std::string::npos && close <= p) {
      close = p + 1;
      while (close < text.size() && !SameWithoutCase(text, close, "</A>")) ++close;
      if (close >= text.size()) close = std::string::npos;
    }
    if (close == std::string::npos) break;
    if (close - p - 1 > kMaxLinkText) continue;
    // Without an HREF= before it the text names no page (an empty target says so).
    std::string target;
    if (href != std::string::npos && href + 6 <= p - 1) target = text.substr(href + 6, p - 1 - (href + 6));
    found.emplace_back(Upper(DecodeHtmlEntities(text.substr(p + 1, close - p - 1))), DecodeHtmlEntities(target));
  }
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& link : found)
    if (links_.empty() || links_.back().first != link.first) links_.push_back(std::move(link));
}

bool HelpIndex::FindIndexLink(const std::string& phrase, std::string* target) const {
  const std::string key = Upper(phrase);
  auto at = std::lower_bound(links_.begin(), links_.end(), key,
                             [](const auto& link, const std::string& k) { return link.first < k; });
  if (at == links_.end() || at->first != key || at->second.empty()) return false;
  *target = at->second;
  return true;
}

std::vector<std::string> ContextPhrases(const std::string& line, int column) {
  const size_t cursor = std::min(static_cast<size_t>(std::max(column, 0)), line.size());
  // The statement under the cursor starts after the last ":" outside quotes (or a control
  // character) before it, and after the blanks there.
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i < cursor; ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c == '"') quoted = !quoted;
    if (EndsStatement(c) || (c == ':' && !quoted)) start = i + 1;
  }
  while (start < cursor && (line[start] == ' ' || line[start] == '\t')) ++start;
  // Words: cut at every separator outside quotes (a blank inside a text literal is part of
  // its word); the word under the cursor is the count of cuts before it.
  std::vector<std::string> words(1);
  int under = -1;
  quoted = false;
  // The quote state where the statement starts.
  for (size_t i = 0; i < start; ++i) quoted ^= line[i] == '"';
  for (size_t i = start; i < line.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (i == cursor) under = static_cast<int>(words.size()) - 1;
    if (EndsStatement(c) || (c == ':' && !quoted && i >= cursor)) break;
    if (c == '"') quoted = !quoted;
    if (!quoted && IsSeparator(c)) {
      if (static_cast<int>(words.size()) >= kMaxContextWords) break;
      words.emplace_back();
    } else {
      words.back() += static_cast<char>(c);
    }
  }
  const int last = static_cast<int>(words.size()) - 1;
  if (under < 0 || under > last) under = last;
  std::vector<std::string> phrases;
  for (int i = under; i >= 0; --i)
    for (int j = std::min(last, i + kMaxPhraseWords - 1); j >= i; --j) {
      std::string phrase = words[i];
      for (int k = i + 1; k <= j; ++k) phrase += ' ' + words[k];
      phrases.push_back(std::move(phrase));
    }
  return phrases;
}

std::string FindContextPage(const HelpIndex& index, const std::string& line, int column) {
  std::string target;
  for (const std::string& phrase : ContextPhrases(line, column))
    if (!phrase.empty() && index.FindIndexLink(phrase, &target)) return target;
  return "nocontex.htm";
}
