// FTP listings as servers send them: MLSD facts, LIST lines in the Unix and DOS forms, NLST
// names; a listed name is one file name, so names with a folder part are skipped.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/folders.h"
#include "platform/ftp.h"

bool PlatformFtpNameIsPlain(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name)
    if (c == '/' || c == '\\' || c < 32 || c == 127) return false;
  return true;
}

static std::string Lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

static bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

static uint64_t SizeOf(const std::string& digits) {
  return digits.size() <= 19 ? std::strtoull(digits.c_str(), nullptr, 10) : 0;  // larger: unknown
}

// "type=dir;size=12;modify=...; name": the facts, one blank, the name.
static bool ParseMachineLine(const std::string& line, PlatformFtpEntry* entry) {
  const size_t space = line.find(' ');
  if (space == std::string::npos) return false;
  entry->name = line.substr(space + 1);
  entry->folder = false;
  entry->size = 0;
  const std::string facts = Lowered(line.substr(0, space));
  size_t start = 0;
  while (start < facts.size()) {
    size_t end = facts.find(';', start);
    if (end == std::string::npos) end = facts.size();
    const std::string fact = facts.substr(start, end - start);
    // The folder itself and its parent are no entries of it.
    if (fact == "type=cdir" || fact == "type=pdir") return false;
    if (fact == "type=dir") entry->folder = true;
    if (fact.compare(0, 5, "size=") == 0 && AllDigits(fact.substr(5))) entry->size = SizeOf(fact.substr(5));
    start = end + 1;
  }
  return true;
}

// The blank-separated words of a line with where each starts.
struct Word {
  std::string text;
  size_t at;
};
static std::vector<Word> WordsOf(const std::string& line) {
  std::vector<Word> words;
  size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && line[at] == ' ') ++at;
    const size_t start = at;
    while (at < line.size() && line[at] != ' ') ++at;
    if (at > start) words.push_back({line.substr(start, at - start), start});
  }
  return words;
}

static bool IsMonth(const std::string& word) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  const std::string lowered = Lowered(word);
  for (const char* month : kMonths)
    if (lowered == month) return true;
  return false;
}

// "12:30" or "2024": the last part of a Unix listing's date.
static bool IsTimeOrYear(const std::string& word) {
  if (word.size() == 4 && AllDigits(word)) return true;
  const size_t colon = word.find(':');
  return colon != std::string::npos && AllDigits(word.substr(0, colon)) && AllDigits(word.substr(colon + 1));
}

// "drwxr-xr-x 2 owner group 4096 Dec 11 04:09 name" (the group may be missing): the size
// stands before the month, the name after the time or year, blanks in it kept.
static bool ParseUnixLine(const std::string& line, PlatformFtpEntry* entry) {
  const std::vector<Word> words = WordsOf(line);
  if (words.size() < 6 || words[0].text.size() < 10 || std::strchr("-dlbcps", words[0].text[0]) == nullptr) return false;
  for (size_t m = 2; m + 3 < words.size(); ++m) {
    if (!IsMonth(words[m].text) || !AllDigits(words[m + 1].text) || !IsTimeOrYear(words[m + 2].text) ||
        !AllDigits(words[m - 1].text))
      continue;
    const Word& time = words[m + 2];
    entry->name = line.substr(time.at + time.text.size() + 1);
    // A link is listed by its own name: "name -> target".
    if (words[0].text[0] == 'l') entry->name = entry->name.substr(0, entry->name.find(" -> "));
    entry->folder = words[0].text[0] == 'd';
    entry->size = entry->folder ? 0 : SizeOf(words[m - 1].text);
    return true;
  }
  return false;
}

// "12-11-24  04:09AM       <DIR>          name" or "... 1234 name".
static bool ParseDosLine(const std::string& line, PlatformFtpEntry* entry) {
  const std::vector<Word> words = WordsOf(line);
  if (words.size() < 4) return false;
  const std::string& date = words[0].text;
  const std::string time = Lowered(words[1].text);
  if (date.size() < 8 || !std::isdigit(static_cast<unsigned char>(date[0])) || date.find_first_not_of("0123456789-/.") != std::string::npos ||
      time.find(':') == std::string::npos)
    return false;
  if (words[2].text == "<DIR>") entry->folder = true;
  else if (AllDigits(words[2].text)) entry->folder = false;
  else return false;
  entry->size = entry->folder ? 0 : SizeOf(words[2].text);
  entry->name = line.substr(words[3].at);
  return true;
}

std::vector<PlatformFtpEntry> PlatformParseFtpListing(const std::string& text, PlatformFtpListingForm form,
                                                      size_t* recognized) {
  std::vector<PlatformFtpEntry> entries;
  if (recognized != nullptr) *recognized = 0;
  for (const std::string& line : PlatformTextLines(text)) {
    PlatformFtpEntry entry{"", false, 0};
    bool parsed = false;
    switch (form) {
      case PlatformFtpListingForm::kMachine: parsed = ParseMachineLine(line, &entry); break;
      case PlatformFtpListingForm::kLong: parsed = ParseUnixLine(line, &entry) || ParseDosLine(line, &entry); break;
      case PlatformFtpListingForm::kNames:
        entry.name = line;
        parsed = true;
        break;
    }
    if (parsed && recognized != nullptr) ++*recognized;
    if (parsed && PlatformFtpNameIsPlain(entry.name)) entries.push_back(std::move(entry));
  }
  return entries;
}
