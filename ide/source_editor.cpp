// The source editor: lines of BASIC source with a cursor and selection, the source file
// format (an optional three-line header, CR LF lines), clipboard, find/replace and undo.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "ide/ide.h"
#include "platform/file_replace.h"
#include "platform/folders.h"

namespace {

constexpr const char* kHeaderPrefix[3] = {"Rem * Title  : ", "Rem * Author : ", "Rem * Date   : "};
constexpr int kTrack = 382;
constexpr size_t kMaxSourceBytes = 64u << 20;

// The text of a line is bytes 14 and up and tab; any other byte ends the line.
bool IsLineText(unsigned char c) { return c >= 14 || c == 9; }

// Reads one header field at pos: the line must begin with the field's prefix (any case; the
// blank after ":" may be missing); the value runs to the end of the line.
bool ReadHeaderField(const std::string& bytes, size_t* pos, int field, std::string* value) {
  const std::string prefix = kHeaderPrefix[field];
  const size_t colon = prefix.size() - 1;  // the prefix without its last blank
  if (bytes.size() - *pos < colon || LowerCase(bytes.substr(*pos, colon)) != LowerCase(prefix.substr(0, colon))) return false;
  size_t p = *pos + colon;
  if (p < bytes.size() && bytes[p] == ' ') ++p;
  size_t e = p;
  while (e < bytes.size() && IsLineText(static_cast<unsigned char>(bytes[e]))) ++e;
  *value = bytes.substr(p, std::min<size_t>(e - p, 255));
  if (e < bytes.size() && bytes[e] == '\r') ++e;
  if (e < bytes.size() && bytes[e] == '\n') ++e;
  *pos = e;
  return true;
}

}  // namespace

bool IsReadOnlyFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && (info.st_mode & 0222) == 0;
}

bool ReadSourceHeader(const std::string& path, std::string* title, std::string* author, std::string* date) {
  // The header is in the first three lines, each at most 15 + 255 bytes and a line end.
  std::FILE* file = std::fopen(PlatformMapFileName(path).c_str(), "rb");
  if (file == nullptr) return false;
  std::string bytes(3 * 272, '\0');
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  std::fclose(file);
  size_t pos = 0;
  std::string* fields[3] = {title, author, date};
  for (int f = 0; f < 3; ++f) {
    fields[f]->clear();
    ReadHeaderField(bytes, &pos, f, fields[f]);
  }
  return true;
}

void SourceEditor::SelectBuffer(int n) {
  current_ = n == 2 ? 1 : 0;
  ClearSelection();
}

bool SourceEditor::LoadSource(const std::string& path, std::string* whyNot) {
  std::string bytes, why;
  if (!PlatformReadRegularFile(PlatformMapFileName(path), kMaxSourceBytes, &bytes, &why)) {
    if (whyNot) *whyNot = why.empty() ? "no such file" : why;
    return false;
  }
  SourceBuffer& b = buffer();
  SourceBuffer fresh;
  size_t pos = 0;
  std::string* fields[3] = {&fresh.title, &fresh.author, &fresh.date};
  for (int f = 0; f < 3; ++f) {
    const size_t start = pos;
    if (!ReadHeaderField(bytes, &pos, f, fields[f])) continue;
    fresh.headerLines[f] = bytes.substr(start, pos - start);
    fresh.headerTexts[f] = *fields[f];
  }
  fresh.lines.clear();
  // Line ends: the first one found decides how the file is written back.
  fresh.lineEnd = "\r\n";
  bool endSeen = false;
  std::string line;
  while (pos < bytes.size()) {
    const unsigned char c = static_cast<unsigned char>(bytes[pos]);
    if (IsLineText(c)) {
      line += static_cast<char>(c);
      ++pos;
      continue;
    }
    ++pos;
    if (c == '\n' && !endSeen) fresh.lineEnd = "\n";
    if (c == '\r' && pos < bytes.size() && bytes[pos] == '\n') ++pos;
    endSeen = true;
    fresh.lines.push_back(std::move(line));
    line.clear();
  }
  fresh.finalLineEnd = line.empty() && !fresh.lines.empty();
  if (!line.empty() || fresh.lines.empty()) fresh.lines.push_back(std::move(line));
  fresh.name = b.name;
  fresh.folder = b.folder;
  b = std::move(fresh);
  return true;
}

std::string SourceEditor::SourceBytes() const {
  const SourceBuffer& b = buffer();
  std::string out;
  const std::string* fields[3] = {&b.title, &b.author, &b.date};
  for (int f = 0; f < 3; ++f) {
    if (!b.headerLines[f].empty() && *fields[f] == b.headerTexts[f]) out += b.headerLines[f];
    else if (!fields[f]->empty()) out += kHeaderPrefix[f] + *fields[f] + b.lineEnd;
  }
  for (size_t i = 0; i < b.lines.size(); ++i) {
    out += b.lines[i];
    if (i + 1 < b.lines.size() || b.finalLineEnd) out += b.lineEnd;
  }
  return out;
}

bool SourceEditor::SaveSource(const std::string& path, std::string* whyNot) {
  if (IsReadOnlyFile(path)) {
    if (whyNot) *whyNot = "the file is read-only";
    return false;
  }
  const std::string bytes = SourceBytes();
  std::string why;
  if (!PlatformReplaceFile(path, bytes.data(), bytes.size(), false, &why)) {
    if (whyNot) *whyNot = why;
    return false;
  }
  buffer().unsaved = false;
  return true;
}

void SourceEditor::ClearSource() {
  SourceBuffer& b = buffer();
  b.lines.assign(1, std::string());
  b.topLine = b.leftColumn = 0;
  b.cursor = {};
  b.title.clear();
  b.author.clear();
  b.date.clear();
  for (int f = 0; f < 3; ++f) {
    b.headerLines[f].clear();
    b.headerTexts[f].clear();
  }
  b.name.clear();
  b.folder.clear();
  b.finalLineEnd = false;
  b.unsaved = false;
  ClearSelection();
}

bool SourceEditor::SaveThenClear(const std::string& path, std::string* whyNot) {
  if (!SaveSource(path, whyNot)) return false;
  ClearSource();
  return true;
}

// ---- Selection ----------------------------------------------------------------------------

void SourceEditor::ClearSelection() {
  SourceBuffer& b = buffer();
  b.start = b.end = b.anchor = b.cursor;
  b.marking = false;
}

void SourceEditor::SelectRange(TextPos from, TextPos to) {
  SourceBuffer& b = buffer();
  auto clamp = [&](TextPos p) {
    p.line = std::clamp(p.line, 0, static_cast<int>(b.lines.size()) - 1);
    p.column = std::clamp(p.column, 0, static_cast<int>(b.lines[p.line].size()));
    return p;
  };
  from = clamp(from);
  to = clamp(to);
  auto before = [](TextPos a, TextPos c) { return a.line < c.line || (a.line == c.line && a.column < c.column); };
  b.anchor = from;
  b.start = before(to, from) ? to : from;
  b.end = before(to, from) ? from : to;
  b.cursor = to;
  b.marking = true;
}

void SourceEditor::ExtendSelection() {
  SourceBuffer& b = buffer();
  if (!b.marking) {
    b.anchor = b.cursor;
    b.marking = true;
  }
}

std::string SourceEditor::SelectedText() const {
  const SourceBuffer& b = buffer();
  if (!HasSelection()) return std::string();
  if (b.start.line == b.end.line) return b.lines[b.start.line].substr(b.start.column, b.end.column - b.start.column);
  std::string out = b.lines[b.start.line].substr(b.start.column);
  for (int i = b.start.line + 1; i < b.end.line; ++i) out += "\n" + b.lines[i];
  out += "\n" + b.lines[b.end.line].substr(0, b.end.column);
  return out;
}

void SourceEditor::DeleteSelection() {
  if (!HasSelection()) return;
  SourceBuffer& b = buffer();
  MarkChanged();
  const std::string rest = b.lines[b.end.line].substr(b.end.column);
  b.lines[b.start.line].resize(b.start.column);
  b.lines[b.start.line] += rest;
  b.lines.erase(b.lines.begin() + b.start.line + 1, b.lines.begin() + b.end.line + 1);
  b.cursor = b.start;
  if (b.cursor.line < b.topLine) b.topLine = std::max(0, b.cursor.line - 10);
  ClearSelection();
}

// ---- Typing and keys ----------------------------------------------------------------------

void SourceEditor::TakeSnapshot() {
  SourceBuffer& b = buffer();
  b.snapshot = b.lines;
  b.snapshotCursor = b.cursor;
  b.hasSnapshot = true;
}

void SourceEditor::Undo() {
  SourceBuffer& b = buffer();
  if (!b.hasSnapshot) return;
  b.lines = std::move(b.snapshot);
  b.snapshot.clear();
  b.hasSnapshot = false;
  b.cursor = b.snapshotCursor;
  b.cursor.line = std::min(b.cursor.line, static_cast<int>(b.lines.size()) - 1);
  b.cursor.column = std::min(b.cursor.column, static_cast<int>(b.lines[b.cursor.line].size()));
  MarkChanged();
  ClearSelection();
}

void SourceEditor::InsertText(const std::string& text) {
  SourceBuffer& b = buffer();
  std::string& first = b.lines[b.cursor.line];
  const std::string rest = first.substr(b.cursor.column);
  first.resize(b.cursor.column);
  size_t from = 0;
  while (true) {
    const size_t nl = text.find('\n', from);
    b.lines[b.cursor.line] += text.substr(from, nl == std::string::npos ? std::string::npos : nl - from);
    if (nl == std::string::npos) break;
    b.lines.insert(b.lines.begin() + b.cursor.line + 1, std::string());
    ++b.cursor.line;
    from = nl + 1;
  }
  b.cursor.column = static_cast<int>(b.lines[b.cursor.line].size());
  b.lines[b.cursor.line] += rest;
  MarkChanged();
}

void SourceEditor::TypeChar(unsigned char ch, bool shift) {
  SourceBuffer& b = buffer();
  if (ch == 9 && HasSelection()) {
    // Block indent or unindent; a selection ending at column 0 leaves its last line alone.
    TakeSnapshot();
    int last = b.end.line;
    if (last > b.start.line && b.end.column == 0) --last;
    for (int i = b.start.line; i <= last; ++i) {
      std::string& line = b.lines[i];
      if (!shift) line.insert(line.begin(), '\t');
      else if (!line.empty() && line[0] == '\t') line.erase(line.begin());
    }
    auto fix = [&](TextPos& p) { p.column = std::min(p.column, static_cast<int>(b.lines[p.line].size())); };
    fix(b.start), fix(b.end), fix(b.cursor), fix(b.anchor);
    MarkChanged();
    return;
  }
  if (ch != 9 && ch != 8 && ch != 13 && ch < 32) return;
  if (HasSelection()) {
    TakeSnapshot();
    DeleteSelection();
    if (ch == 8) return;
  }
  b.marking = false;
  std::string& line = b.lines[b.cursor.line];
  if (ch == 8) {
    if (b.cursor.column > 0) {
      line.erase(b.cursor.column - 1, 1);
      --b.cursor.column;
    } else if (b.cursor.line > 0) {
      const std::string moved = line;
      b.lines.erase(b.lines.begin() + b.cursor.line);
      --b.cursor.line;
      b.cursor.column = static_cast<int>(b.lines[b.cursor.line].size());
      b.lines[b.cursor.line] += moved;
    } else {
      return;
    }
    MarkChanged();
  } else if (ch == 13) {
    InsertText("\n");
    b.cursor.column = 0;
  } else {
    InsertText(std::string(1, static_cast<char>(ch)));
  }
  ClearSelection();
  KeepCursorVisible();
}

void SourceEditor::MoveCursor(EditKey key) {
  SourceBuffer& b = buffer();
  const int count = static_cast<int>(b.lines.size());
  auto length = [&](int line) { return static_cast<int>(b.lines[line].size()); };
  TextPos& c = b.cursor;
  switch (key) {
    case EditKey::kLeft:
      if (c.column > 0) --c.column;
      else if (c.line > 0) c = {c.line - 1, length(c.line - 1)};
      break;
    case EditKey::kRight:
      if (c.column < length(c.line)) ++c.column;
      else if (c.line + 1 < count) c = {c.line + 1, 0};
      break;
    case EditKey::kUp:
    case EditKey::kDown: {
      const int target = c.line + (key == EditKey::kUp ? -1 : 1);
      if (target < 0 || target >= count) break;
      const int x = XFromColumn(c.line, c.column);
      c.line = target;
      c.column = ColumnFromX(target, x);
      break;
    }
    case EditKey::kHome: c.column = 0; break;
    case EditKey::kEnd: c.column = length(c.line); break;
    case EditKey::kTop: b.topLine = 0, c = {0, 0}; break;
    case EditKey::kBottom: b.topLine = std::max(0, count - kVisibleRows), c = {count - 1, 0}; break;
    case EditKey::kPageUp:
      b.topLine -= 31, c.line -= 31;
      if (b.topLine < 0) b.topLine = 0, c.line = 0;
      c.line = std::max(c.line, 0), c.column = 0;
      break;
    case EditKey::kPageDown:
      b.topLine += 31, c.line += 31;
      if (b.topLine + kVisibleRows >= count) b.topLine = std::max(0, count - kVisibleRows), c.line = count - 1;
      c.line = std::min(c.line, count - 1), c.column = 0;
      break;
    case EditKey::kDelete: break;
  }
}

void SourceEditor::PressKey(EditKey key, bool shift) {
  SourceBuffer& b = buffer();
  if (key == EditKey::kDelete) {
    if (HasSelection()) {
      TakeSnapshot();
      DeleteSelection();
    } else if (b.cursor.column >= static_cast<int>(b.lines[b.cursor.line].size())) {
      if (b.cursor.line + 1 >= static_cast<int>(b.lines.size())) return;
      b.lines[b.cursor.line] += b.lines[b.cursor.line + 1];
      b.lines.erase(b.lines.begin() + b.cursor.line + 1);
      MarkChanged();
    } else {
      b.lines[b.cursor.line].erase(b.cursor.column, 1);
      MarkChanged();
    }
    ClearSelection();
    return;
  }
  const bool selecting = shift && key != EditKey::kPageUp && key != EditKey::kPageDown &&
                         key != EditKey::kTop && key != EditKey::kBottom;
  if (selecting) ExtendSelection();
  MoveCursor(key);
  if (selecting) SelectRange(b.anchor, b.cursor);
  else ClearSelection();
  KeepCursorVisible();
}

// ---- Clipboard ----------------------------------------------------------------------------

void SourceEditor::Copy() {
  if (!HasSelection()) return;
  // The desktop gets CR LF line ends; control bytes other than tab are left out.
  std::string text;
  for (char c : SelectedText()) {
    if (c == '\n') text += "\r\n";
    else if (static_cast<unsigned char>(c) >= 32 || c == '\t') text += c;
  }
  host_.SetClipboard(text);
}

void SourceEditor::Cut() {
  if (!HasSelection()) return;
  TakeSnapshot();
  Copy();
  DeleteSelection();
}

void SourceEditor::Paste() {
  std::string text;
  if (!host_.GetClipboard(&text) || text.empty()) return;
  TakeSnapshot();
  DeleteSelection();
  // CR LF, a lone CR or a lone LF each end a line; other control bytes but tab are dropped.
  std::string clean;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r') {
      clean += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      clean += '\n';
    } else if (IsLineText(c)) {
      clean += static_cast<char>(c);
    }
  }
  InsertText(clean);
  ClearSelection();
  SourceBuffer& b = buffer();
  if (b.cursor.line >= b.topLine + kVisibleRows) b.topLine = std::max(0, b.cursor.line - kVisibleRows + 1);
  KeepCursorVisible();
}

// ---- Find and replace ---------------------------------------------------------------------

int SourceEditor::Find(const std::string& needleText) {
  SourceBuffer& b = buffer();
  b.findText = LowerCase(needleText);
  const std::string& needle = b.findText;
  if (needle.empty()) return -1;  // an empty needle would match everywhere, forever
  const int count = static_cast<int>(b.lines.size());
  int line = b.cursor.line;
  size_t from = static_cast<size_t>(b.cursor.column);
  // Every line once, starting at the cursor, wrapping to line 0 once, then the cursor's line
  // up to the cursor.
  for (int step = 0; step <= count; ++step) {
    const std::string text = LowerCase(b.lines[line]);
    const size_t hit = from <= text.size() ? text.find(needle, from) : std::string::npos;
    const bool beforeStart = step == count;  // back on the first line: only left of the cursor
    if (hit != std::string::npos && (!beforeStart || hit + needle.size() <= static_cast<size_t>(b.cursor.column))) {
      const int col = static_cast<int>(hit);
      b.start = b.anchor = {line, col};
      b.end = b.cursor = {line, col + static_cast<int>(needle.size())};
      b.marking = false;
      if (line < b.topLine || line >= b.topLine + kVisibleRows) b.topLine = std::max(0, line - 15);
      b.leftColumn = 0;
      KeepCursorVisible();
      return line;
    }
    line = (line + 1) % count;
    from = 0;
  }
  return -1;
}

int SourceEditor::Replace(const std::string& needleText, const std::string& replacement) {
  SourceBuffer& b = buffer();
  b.findText = LowerCase(needleText);
  b.replaceText = replacement;
  const std::string& needle = b.findText;
  if (needle.empty()) return -1;
  // Inside a selection when there is one, else the whole source.
  TextPos from{0, 0}, to{static_cast<int>(b.lines.size()) - 1, static_cast<int>(b.lines.back().size())};
  if (HasSelection()) from = b.start, to = b.end;
  bool snapshotTaken = false;
  int replaced = 0;
  for (int line = from.line; line <= to.line; ++line) {
    size_t col = line == from.line ? from.column : 0;
    size_t limit = line == to.line ? static_cast<size_t>(to.column) : b.lines[line].size();
    while (true) {
      const std::string text = LowerCase(b.lines[line]);
      const size_t hit = text.find(needle, col);
      if (hit == std::string::npos || hit + needle.size() > limit) break;
      if (!snapshotTaken) TakeSnapshot(), snapshotTaken = true;
      b.lines[line].replace(hit, needle.size(), replacement);
      col = hit + replacement.size();
      limit = limit + replacement.size() - needle.size();
      if (line == to.line) to.column = static_cast<int>(limit);
      ++replaced;
    }
  }
  if (replaced == 0) return -1;
  MarkChanged();
  b.cursor.column = std::min(b.cursor.column, static_cast<int>(b.lines[b.cursor.line].size()));
  ClearSelection();
  return 1;
}

void SourceEditor::GoToSourceLine(int n) {
  SourceBuffer& b = buffer();
  if (n < 1) return;
  const int line = std::min(n - 1, static_cast<int>(b.lines.size()) - 1);
  b.start = b.anchor = {line, 0};
  b.end = b.cursor = {line, static_cast<int>(b.lines[line].size())};
  b.marking = false;
  if (line < b.topLine || line >= b.topLine + kVisibleRows) b.topLine = std::max(0, line - 15);
  KeepCursorVisible();
}

// ---- View ---------------------------------------------------------------------------------

int SourceEditor::XFromColumn(int line, int column) const {
  const SourceBuffer& b = buffer();
  const std::string& text = b.lines[line];
  int x = 2;
  for (int i = b.leftColumn; i < column && i < static_cast<int>(text.size()); ++i)
    x = text[i] == '\t' ? x / 24 * 24 + 24 : x + kGlyphWidth;
  return x;
}

int SourceEditor::ColumnFromX(int line, int targetX) const {
  const SourceBuffer& b = buffer();
  const std::string& text = b.lines[line];
  int x = 2, col = std::min(b.leftColumn, static_cast<int>(text.size()));
  while (col < static_cast<int>(text.size()) && x < targetX) {
    x = text[col] == '\t' ? x / 24 * 24 + 24 : x + kGlyphWidth;
    ++col;
  }
  return col;
}

void SourceEditor::KeepCursorVisible() {
  SourceBuffer& b = buffer();
  while (XFromColumn(b.cursor.line, b.cursor.column) >= 618) {
    const int d = std::abs(b.leftColumn - b.cursor.column) / 2;
    b.leftColumn = std::min(b.leftColumn + (d >= 32 ? d : 31), 20000000);
  }
  while (b.leftColumn > 0 && b.cursor.column <= b.leftColumn) {
    const int d = std::abs(b.leftColumn - b.cursor.column) / 2;
    b.leftColumn = std::max(0, b.leftColumn - (d >= 32 ? d : 31));
  }
  if (b.cursor.line < b.topLine) b.topLine = b.cursor.line;
  if (b.cursor.line > b.topLine + kVisibleRows - 1) b.topLine = b.cursor.line - kVisibleRows + 1;
}

void SourceEditor::ClickAt(int x, int y) {
  SourceBuffer& b = buffer();
  if (x < 0 || x > 617 || y < 44 || y > 458) return;
  const int line = std::min(b.topLine + (y - kTextTop) / kRowHeight, static_cast<int>(b.lines.size()) - 1);
  b.cursor = {line, ColumnFromX(line, x)};
  ClearSelection();
  b.marking = true;
  mouseMarking_ = true;
}

void SourceEditor::ScrollTo(int top) {
  SourceBuffer& b = buffer();
  b.topLine = std::clamp(top, 0, std::max(0, static_cast<int>(b.lines.size()) - kVisibleRows));
}

void SourceEditor::DragTo(int x, int y) {
  SourceBuffer& b = buffer();
  if (!b.marking || !mouseMarking_) return;
  const int count = static_cast<int>(b.lines.size());
  int line;
  if (y < kTextTop) line = std::max(0, b.topLine - 1);
  else if (y > 458) line = std::min(count - 1, b.topLine + kVisibleRows);
  else line = std::min(b.topLine + (y - kTextTop) / kRowHeight, count - 1);
  SelectRange(b.anchor, {line, ColumnFromX(line, std::max(x, 0))});
  KeepCursorVisible();
}

int ThumbLengthFor(int count, int visible) {
  return count > visible && visible > 0 ? static_cast<int>(int64_t{kTrack} * visible / count) : kTrack;
}

int ThumbPositionFor(int count, int visible, int top) {
  if (count <= visible) return 0;  // nothing to scroll; no division by zero
  // In 64 bits: a source of millions of lines would overflow the product.
  return static_cast<int>(int64_t{kTrack - ThumbLengthFor(count, visible)} * std::clamp(top, 0, count - visible) /
                          (count - visible));
}

int TopFromThumb(int count, int visible, int thumbPosition) {
  const int length = ThumbLengthFor(count, visible);
  if (count <= visible || length >= kTrack) return 0;
  return static_cast<int>(int64_t{count - visible} * std::clamp(thumbPosition, 0, kTrack - length) / (kTrack - length));
}

int SourceEditor::ThumbLength() const { return ThumbLengthFor(static_cast<int>(buffer().lines.size()), kVisibleRows); }

int SourceEditor::ThumbPosition() const {
  return ThumbPositionFor(static_cast<int>(buffer().lines.size()), kVisibleRows, buffer().topLine);
}
