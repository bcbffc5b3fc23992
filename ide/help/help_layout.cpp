// The help page's layout: text and tags read token by token, words wrapped at the right
// limit, paragraphs, centring, fonts and colours, and the rectangle of every link.
#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "ide/help/help.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kYellow = 0xFFFA14, kLinkGreen = 0x00FF00;
constexpr int kCentreWidth = 612;  // centred lines are centred on half of it
constexpr int kMaxCheckpoints = 512;
constexpr int kStopBelow = 512;  // once the page's height is known, nothing below this is laid out
constexpr int kCheckpointMargin = 160;  // a checkpoint is taken this far above what shows

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The next text or tag of the page: false at its end. Characters below 32 before a token are
// skipped; a tag's text is what lies between "<" and ">".
bool NextHtmlToken(const std::string& page, size_t* pos, std::string* token, bool* isTag) {
  size_t p = *pos;
  while (p < page.size() && static_cast<unsigned char>(page[p]) < 32) ++p;
  if (p >= page.size()) {
    *pos = p;
    return false;
  }
  if (page[p] == '<') {
    const size_t end = page.find('>', p + 1);
    *token = page.substr(p + 1, (end == std::string::npos ? page.size() : end) - p - 1);
    *pos = end == std::string::npos ? page.size() : end + 1;
    *isTag = true;
    return true;
  }
  const size_t end = std::min(page.find('<', p), page.size());
  *token = page.substr(p, end - p);
  *pos = end;
  *isTag = false;
  return true;
}

// One name=value of a tag from *pos: false (and *pos unchanged) when no "=" follows, so a tag
// that only begins like a known one (PRE, a bare P) ends the attributes instead of repeating.
// Names come from the upper-cased tag; values keep the case they were written in (original).
bool ReadHtmlAttribute(const std::string& tag, const std::string& original, size_t* pos, std::string* name,
                       std::string* value) {
  const size_t equals = tag.find('=', *pos);
  if (equals == std::string::npos) return false;
  *name = Trimmed(tag.substr(*pos, std::min<size_t>(equals - *pos, kHelpMaxName)));
  size_t start = equals + 1, end;
  if (start < tag.size() && tag[start] == '"') {
    end = tag.find('"', start + 1);
    if (end == std::string::npos) end = tag.size();
    *value = original.substr(start + 1, end - start - 1);
    ++end;  // past the closing quote
  } else {
    end = start;
    while (end < tag.size() && !std::isspace(static_cast<unsigned char>(tag[end]))) ++end;
    *value = original.substr(start, end - start);
  }
  *pos = std::min(end + 1, tag.size());
  return true;
}

int FontHeightFor(const std::string& size) {
  const long n = std::strtol(size.c_str(), nullptr, 10);
  return static_cast<int>(std::clamp(n, 1L, 32L)) * 4;
}

}  // namespace

bool HelpViewer::IsIndexPage() const {
  const std::string name = Upper(HelpPageOf(pageName_));
  return name.size() >= 9 && name.compare(name.size() - 9, 9, "INDEX.HTM") == 0;
}

void HelpViewer::DrawHelpWords(const HelpMeasurer& measure, HelpLayoutState& s, const std::string& text) {
  // Line ends and tabs are blanks between words; other control characters are dropped.
  std::string words;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool afterCr = i > 0 && text[i - 1] == '\r';
    if ((c == '\r' || c == '\n') && !afterCr) words += ' ';
    else if (c == '\t') words += ' ';
    else if (c >= 32) words += static_cast<char>(c);
  }
  const size_t first = words.find_first_not_of(' ');
  if (first == std::string::npos) return;
  words = words.substr(first, words.find_last_not_of(' ') - first + 1);
  const int width = measure.Width(words, s.font);
  if (s.centred) s.x = (kCentreWidth - width) / 2;
  runs_.push_back({s.x, s.y - scroll_, words, s.font, s.colour});
  s.x += width + measure.Width(" ", s.font);
}

void HelpViewer::DrawHelpText(const HelpMeasurer& measure, HelpLayoutState& s, std::string text) {
  s.paragraphStart = false;
  for (;;) {
    // Only a prefix about twice what a line can hold is measured, so a long paragraph costs
    // in proportion to its length rather than to its length times its lines.
    size_t span = 64;
    while (span < text.size() && s.x + measure.Width(text.substr(0, span), s.font) < kHelpRightLimit) span *= 2;
    if (span >= text.size() && s.x + measure.Width(text, s.font) < kHelpRightLimit) {
      DrawHelpWords(measure, s, text);
      return;
    }
    // The longest prefix that still ends before the right limit.
    size_t low = 0, high = std::min(span, text.size());
    while (low < high) {
      const size_t mid = (low + high + 1) / 2;
      if (s.x + measure.Width(text.substr(0, mid), s.font) < kHelpRightLimit) low = mid;
      else high = mid - 1;
    }
    // Back to the last space, looking back at most 80 characters.
    size_t cut = low;
    bool atSpace = false;
    for (size_t k = low + 1; k-- > 0 && low - k <= 80;)
      if (text[k] == ' ') {
        cut = k;
        atSpace = true;
        break;
      }
    if (!atSpace && s.x > kHelpLeft) {
      // A word that does not fit after what the line holds starts the next line.
      s.y += s.font.height + 1;
      s.x = kHelpLeft;
      continue;
    }
    // A word longer than a whole line is split where the line ends.
    if (!atSpace) cut = std::max<size_t>(cut, 1);
    DrawHelpWords(measure, s, text.substr(0, cut));
    s.y += s.font.height + 1;
    s.x = kHelpLeft;
    text.erase(0, atSpace ? cut + 1 : cut);
    if (text.empty()) return;
  }
}

void HelpViewer::ApplyHtmlTag(HelpLayoutState& s, const std::string& original) {
  const std::string tag = Upper(original);
  size_t pos = 0;
  auto take = [&](const char* name) {
    const std::string word(name);
    if (tag.compare(pos, word.size(), word) != 0) return false;
    pos += word.size();
    return true;
  };
  auto newLine = [&] {
    s.y += s.font.height + 1;
    s.x = kHelpLeft;
  };
  std::string name, value;
  if (take("BR") && !s.paragraphStart) newLine();
  if (take("P")) {
    while (ReadHtmlAttribute(tag, original, &pos, &name, &value))
      if (name == "ALIGN") s.centred = Upper(value) == "CENTER";
    newLine();
    s.paragraphStart = true;
  }
  if (take("/P")) {
    newLine();
    s.paragraphStart = true;
    s.centred = false;
  }
  if (take("CENTER")) s.centred = true;
  if (take("/CENTER")) s.centred = false;
  if (take("FONT ")) {
    s.font.height = 16;
    while (ReadHtmlAttribute(tag, original, &pos, &name, &value)) {
      if (name == "FACE") s.font.face = value.substr(0, kHelpMaxName);
      else if (name == "SIZE") s.font.height = FontHeightFor(value);
      else if (name == "COLOR") {
        const uint32_t colours[] = {kWhite, kBlack, kYellow};
        const char* names[] = {"WHITE", "BLACK", "YELLOW"};
        for (int i = 0; i < 3; ++i)
          if (Upper(value) == names[i]) s.colour = colours[i];
      }
    }
  }
  if (take("A ")) {
    while (ReadHtmlAttribute(tag, original, &pos, &name, &value)) {
      if (name == "NAME" && contentHeight_ == 0) {
        // An entry a link may land on: where its line starts, kept from the whole first layout.
        const std::string anchor = DecodeHtmlEntities(value).substr(0, kHelpMaxName);
        if (std::none_of(anchors_.begin(), anchors_.end(), [&](const auto& a) { return a.first == anchor; }))
          anchors_.emplace_back(anchor, s.y);
      }
      if (name != "HREF") {
        s.linkTarget.clear();
        continue;
      }
      if (!s.inLink) {
        s.returnColour = s.colour;
        s.font.underline = true;
        s.colour = kLinkGreen;
        s.linkX = s.x;
        s.linkY = s.y;
        s.inLink = true;
      }
      s.linkTarget = DecodeHtmlEntities(value).substr(0, kHelpMaxName);
    }
  }
  if (take("/A") && s.inLink) {
    s.font.underline = false;
    s.colour = s.returnColour;
    HelpLink link;
    link.x2 = s.x;
    if (s.linkX > s.x) {
      // The link's text wrapped: its rectangle starts on the line below its start.
      s.linkY += s.font.height + 1;
      s.linkX = 0;
    }
    link.x1 = s.linkX;
    link.y1 = s.linkY - scroll_;
    link.y2 = s.y + s.font.height - scroll_;
    link.target = s.linkTarget;
    s.inLink = false;
    links_.push_back(link);
  }
}

void HelpViewer::LayoutHelpPage(const HelpMeasurer& measure, const std::string& placeholder) {
  runs_.clear();
  links_.clear();
  HelpLayoutState s;
  s.x = kHelpLeft;
  s.y = kHelpTop;
  if (text_.empty()) {
    if (!placeholder.empty()) DrawHelpText(measure, s, placeholder);
    return;
  }
  const bool index = IsIndexPage();
  if (index && contentHeight_ != 0) {
    // The last checkpoint far enough above what shows that nothing visible starts before it.
    const int n = std::min(scroll_ / kHelpLineStep - 5, static_cast<int>(checkpoints_.size()) - 1);
    for (int k = n; k >= 0; --k)
      if (checkpoints_[k].recorded && checkpoints_[k].state.y <= scroll_ - kCheckpointMargin) {
        s = checkpoints_[k].state;
        break;
      }
  }
  std::string token;
  bool isTag = false;
  for (;;) {
    if (index && contentHeight_ == 0) {
      const int line = s.y / kHelpLineStep;
      if (line >= 0 && line < kMaxCheckpoints && line >= static_cast<int>(checkpoints_.size()))
        checkpoints_.push_back({true, s});
    }
    if (!NextHtmlToken(text_, &s.textPos, &token, &isTag)) break;
    if (isTag) ApplyHtmlTag(s, token);
    else DrawHelpText(measure, s, DecodeHtmlEntities(token));
    if (contentHeight_ != 0 && s.y - scroll_ > kStopBelow) break;
  }
  contentHeight_ = std::max(contentHeight_, s.y + kHelpLineStep);
  if (!pendingAnchor_.empty()) {
    // The first layout found where the entry starts: show the page from there.
    const std::string anchor = pendingAnchor_;
    pendingAnchor_.clear();
    for (const auto& [name, y] : anchors_)
      if (name == anchor) {
        scroll_ = std::clamp(y - kHelpTop, 0, std::max(contentHeight_ - kHelpPageStep, 0));
        LayoutHelpPage(measure, placeholder);
        break;
      }
  }
}

int HelpViewer::AnchorY(const std::string& anchor) const {
  for (const auto& [name, y] : anchors_)
    if (name == anchor) return y;
  return -1;
}

std::string HelpViewer::FindHelpLinkAt(int x, int y) const {
  for (const HelpLink& link : links_)
    if (x >= link.x1 && x <= link.x2 && y >= link.y1 && y <= link.y2) return link.target;
  return std::string();
}
