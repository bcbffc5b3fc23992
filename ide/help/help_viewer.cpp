// The help viewer's pages and history: page names resolved below the help folder, pages read
// whole with their entities decoded, back and forward with each page's scroll position.
#include <algorithm>
#include <cstring>

#include "ide/help/help.h"
#include "platform/folders.h"

namespace {

// The entities a page may use, with the ISO 8859-1 byte each stands for. A name is compared
// for its own length, so "&eacutex;" still reads as "&eacute".
struct Entity {
  const char* name;
  unsigned char byte;
};
constexpr const char* kUpperLetters[] = {"Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",
                                         "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute",
                                         "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",
                                         "Otilde", "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",
                                         "Uuml",   "Yacute", "THORN",  "szlig"};
constexpr const char* kLowerLetters[] = {"agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",
                                         "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute",
                                         "icirc",  "iuml",   "eth",    "ntilde", "ograve", "oacute", "ocirc",
                                         "otilde", "ouml",   "divide", "oslash", "ugrave", "uacute", "ucirc",
                                         "uuml",   "yacute", "thorn",  "yuml"};
static_assert(std::size(kUpperLetters) == 32 && std::size(kLowerLetters) == 32);

std::vector<Entity> EntityTable() {
  std::vector<Entity> table = {{"quot", '"'}, {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"iquest", 191}};
  for (int i = 0; i < 32; ++i) table.push_back({kUpperLetters[i], static_cast<unsigned char>(192 + i)});
  for (int i = 0; i < 32; ++i) table.push_back({kLowerLetters[i], static_cast<unsigned char>(224 + i)});
  return table;
}

}  // namespace

std::string DecodeHtmlEntities(const std::string& text) {
  static const std::vector<Entity> table = EntityTable();
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '&') {
      out += text[i++];
      continue;
    }
    for (const Entity& entity : table) {
      const size_t length = std::strlen(entity.name);
      if (text.compare(i + 1, length, entity.name) == 0) out += static_cast<char>(entity.byte);
    }
    const size_t end = text.find(';', i);
    i = end == std::string::npos ? text.size() : end + 1;
  }
  return out;
}

bool HelpViewer::ResolveName(const std::string& name, const std::string& folder, std::string* relative,
                             std::string* newFolder) const {
  std::string whole;
  if (!name.empty() && name[0] == '/') {
    // An absolute name below the help folder is a page of it; any other stands alone.
    if (root_.empty() || name.compare(0, root_.size(), root_) != 0) {
      *relative = name;
      newFolder->clear();
      return true;
    }
    whole = name.substr(root_.size());
  } else {
    whole = folder + name;
  }
  std::replace(whole.begin(), whole.end(), '\\', '/');
  std::vector<std::string> parts;
  std::string last;
  size_t start = 0;
  while (start <= whole.size()) {
    size_t end = whole.find('/', start);
    if (end == std::string::npos) end = whole.size();
    const std::string part = whole.substr(start, end - start);
    // ".." at the help folder's root stays there: no page is read from above it.
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    last = part;
    start = end + 1;
  }
  // The name must end in a file, not in a folder.
  if (parts.empty() || last.empty() || last == "." || last == "..") return false;
  relative->clear();
  newFolder->clear();
  for (size_t p = 0; p < parts.size(); ++p) {
    *relative += parts[p];
    if (p + 1 < parts.size()) {
      *relative += '/';
      *newFolder += parts[p] + '/';
    }
  }
  return true;
}

std::string HelpViewer::HelpPagePath(const std::string& name) const {
  if (!name.empty() && name[0] == '/') return PlatformMapFileName(name);
  return PlatformMapFileName(root_ + name);
}

std::string HelpViewer::LinkedFilePath(const std::string& name) const {
  std::string relative, folder;
  if (name.empty() || name.size() > kHelpMaxName || !ResolveName(HelpPageOf(name), folder_, &relative, &folder))
    return std::string();
  return HelpPagePath(relative);
}

bool HelpViewer::ReadHelpPage(const std::string& name) {
  if (name.empty() || name.size() > kHelpMaxName) return false;
  std::string relative, folder;
  if (!ResolveName(name, folder_, &relative, &folder)) return false;
  std::string bytes, whyNot;
  if (!PlatformReadRegularFile(HelpPagePath(relative), kHelpMaxPageBytes, &bytes, &whyNot)) return false;
  // Entities are decoded in the text between tags as it is laid out, never before the tags
  // are read: an "&lt;" in an example must not start a tag.
  text_ = std::move(bytes);
  pagePath_ = relative;
  folder_ = folder;
  return true;
}

std::string HelpPageOf(const std::string& name) { return name.substr(0, name.find('#')); }
std::string HelpAnchorOf(const std::string& name) {
  const size_t mark = name.find('#');
  return mark == std::string::npos ? std::string() : name.substr(mark + 1);
}

bool HelpViewer::OpenHelpPage(const std::string& name) {
  const std::string page = HelpPageOf(name);
  if (!ReadHelpPage(page)) {
    // A name relative to the help folder's root is found from any folder.
    const std::string kept = folder_;
    folder_.clear();
    if (!ReadHelpPage(page)) {
      folder_ = kept;
      return false;
    }
  }
  pageName_ = name;
  // A name's "#anchor" part scrolls the page to that entry once it has been laid out.
  pendingAnchor_ = HelpAnchorOf(name);
  anchors_.clear();
  scroll_ = 0;
  contentHeight_ = 0;
  checkpoints_.clear();
  const int at = std::max(position_, 1);
  if (at <= static_cast<int>(history_.size())) history_[at - 1] = {pagePath_, 0};
  else history_.push_back({pagePath_, 0});
  position_ = at;
  // The oldest positions fall off so the history stays bounded.
  while (static_cast<int>(history_.size()) > kHelpMaxHistory) {
    history_.erase(history_.begin());
    position_ = std::max(position_ - 1, 1);
    top_ = std::max(top_ - 1, 1);
  }
  return true;
}

bool HelpViewer::OpenHelpHome(const std::string& name) {
  if (!history_.empty()) history_.resize(1);
  position_ = top_ = 1;
  folder_.clear();
  return OpenHelpPage(name);
}

bool HelpViewer::NavigateHelp(const std::string& name) {
  if (name.empty() || name.size() > kHelpMaxName) return false;
  const int keptPosition = position_, keptTop = top_;
  const bool moves = name != pageName_;
  if (moves) {
    // The page being left keeps its scroll for Back.
    if (position_ >= 1 && position_ <= static_cast<int>(history_.size())) history_[position_ - 1].scroll = scroll_;
    ++position_;
    top_ = position_;
  }
  if (!OpenHelpPage(name)) {
    position_ = keptPosition;
    top_ = keptTop;
    return false;
  }
  return true;
}

bool HelpViewer::ReopenEntry(const HistoryEntry& entry) {
  const std::string kept = folder_;
  folder_.clear();
  if (!OpenHelpPage(entry.page)) {
    folder_ = kept;
    return false;
  }
  scroll_ = entry.scroll;
  history_[position_ - 1].scroll = entry.scroll;
  return true;
}

bool HelpViewer::HelpBack() {
  if (!CanHelpBack() || position_ > static_cast<int>(history_.size())) return false;
  history_[position_ - 1].scroll = scroll_;
  const HistoryEntry entry = history_[position_ - 2];
  --position_;
  if (!ReopenEntry(entry)) {
    ++position_;
    return false;
  }
  return true;
}

bool HelpViewer::HelpForward() {
  if (!CanHelpForward() || position_ >= static_cast<int>(history_.size())) return false;
  if (position_ >= 1) history_[position_ - 1].scroll = scroll_;
  const HistoryEntry entry = history_[position_];
  ++position_;
  if (!ReopenEntry(entry)) {
    --position_;
    return false;
  }
  return true;
}

void HelpViewer::ScrollBy(int delta) {
  if (delta < 0) scroll_ = std::max(scroll_ + delta, 0);
  else scroll_ = std::max(std::min(scroll_ + delta, contentHeight_ - kHelpPageStep), 0);
}
