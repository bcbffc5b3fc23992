// The requester: its panels' buttons, fields and file list laid out by kind, and the hit
// test that turns a click into the result code the shell carries out.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <ctime>

#include "ide/ide.h"

namespace {

bool IsListKind(int kind) { return kind == 2 || kind == 3 || kind == 6 || kind == 7 || kind == 8 || kind == 72; }

bool Inside(const SurfaceRect& r, int x, int y) { return x > r.left && x < r.right && y > r.top && y < r.bottom; }

// What the confirming button (2) and the refusing one (1) give for a purpose.
struct PurposeCodes {
  int purpose, confirm, refuse;
};
constexpr PurposeCodes kPurposeCodes[] = {
    {1, 5, 1},   {2, 6, 1},   {3, 7, 1},   {5, 3, 4},   {7, 41, 42}, {8, 43, 44},  {9, 45, 46},
    {10, 47, 48}, {11, 11, 1}, {12, 12, 1}, {13, 13, 1}, {14, 14, 1}, {21, 21, 1}, {22, 22, 1},
    {51, 51, 1}, {31, 31, 1}, {71, 0, 1},  {72, 72, 73}, {99, 2, 1},
};

// The code of a press on button 1 or 2 for a purpose (0 for other buttons).
int ButtonCode(int purpose, int button) {
  for (const PurposeCodes& p : kPurposeCodes)
    if (p.purpose == purpose) return button == 2 ? p.confirm : button == 1 ? p.refuse : 0;
  return 0;
}

// The action a double-clicked file runs at once.
int OpenFileCode(int purpose) {
  switch (purpose) {
    case 1: return 5;
    case 2: return 6;
    case 11: case 12: return purpose;
    case 72: return 72;
    default: return 0;
  }
}

}  // namespace

void Requester::AddButton(int slot, int labelKey, int cx, int cy) {
  RequesterButton& b = buttons_[slot];
  b.used = true;
  b.label = IdeText(IdeTable::kGeneral, labelKey).substr(0, 255);
  const int width = std::max(87, TextWidth(b.label) + 16);
  const int left = panel_.left + cx - width / 2, top = panel_.top + cy - 23 / 2;
  b.rect = {left, top, left + width, top + 23};
  b.pressed = false;
}

void Requester::Open(int kind, int purpose) {
  // The folders and the chosen tool outlive the kind shown.
  const std::string folder = folder_, start = startFolder_;
  const int tool = chosenTool_;
  *this = Requester();
  folder_ = folder;
  startFolder_ = start;
  chosenTool_ = tool;
  kind_ = kind;
  purpose_ = purpose;
  int w = 419, h = 321;
  if (kind == 4) w = 405, h = 99;
  if (kind == 11 || kind == 12) w = 222, h = 140;
  if (kind == 71) h = 194;
  panel_ = {320 - w / 2, 240 - h / 2, 320 - w / 2 + w, 240 - h / 2 + h};
  auto addField = [&](int slot, int x, int y, int width, bool editable) {
    fields_[slot] = {true, {panel_.left + x, panel_.top + y, panel_.left + x + width, panel_.top + y + 21}, editable, {}};
  };
  switch (kind) {
    case 2: case 3: case 6: case 7: case 8: case 72: {
      const int confirmKey = kind == 2 ? 13 : kind == 3 ? 14 : kind == 8 ? 6 : kind == 72 ? 20 : 15;
      AddButton(1, 7, 362, 203);
      AddButton(2, confirmKey, 362, 176);
      addField(1, 89, 175, 222, true);
      if (kind == 2 || kind == 3)
        for (int i = 2; i <= 4; ++i) addField(i, 149, 207 + 24 * (i - 2), 162, kind == 3);
      break;
    }
    case 4:
      AddButton(1, 2, 245, 56);
      AddButton(2, 1, 159, 56);
      break;
    case 11: case 12:
      AddButton(1, 7, 153, 97);
      AddButton(2, kind == 11 ? 16 : 17, 68, 97);
      addField(1, 30, 34, 162, true);
      addField(2, 30, 66, 162, kind == 12);
      break;
    case 71:
      AddButton(1, 19, 365, 151);
      for (int i = 2; i <= 6; ++i) AddButton(i, 18, 365, 30 + 24 * (i - 2));
      for (int i = 1; i <= 5; ++i) addField(i, 58, 24 * i + 6, 259, true);
      break;
    default: break;
  }
  if (kind != 71 && fields_[1].used && fields_[1].editable) focused_ = 1;
}

void Requester::FillList(const std::vector<FolderEntry>& entries) {
  list_.clear();
  std::vector<std::pair<ListEntry, std::string>> listed;
  const bool exeKind = kind_ == 6 || kind_ == 7 || kind_ == 72;
  for (const FolderEntry& entry : entries) {
    const std::string& name = entry.name;
    if (name == "." || name == "..") continue;  // by name: folders need not list them first
    ListEntry e{1, name.substr(0, 255)};
    if (entry.isFolder) e.type = 0;
    else if (HasSourceExtension(name)) e.type = 2;
    else if (HasExeExtension(name) || entry.program) e.type = 3;
    if (kind_ == 8 && !entry.isFolder) continue;
    if (exeKind && !entry.isFolder && e.type != 3) continue;
    // The date as the listing shows it: "Mon Jan  2 15:04".
    std::string date;
    if (entry.writeTime != 0) {
      const time_t t = static_cast<time_t>(entry.writeTime);
      char text[32];
      tm parts;
      if (localtime_r(&t, &parts) != nullptr && strftime(text, sizeof text, "%a %b %e %H:%M", &parts) > 0) date = text;
    }
    listed.push_back({e, date.substr(0, 16)});
  }
  auto rank = [](int type) { return type == 0 ? 0 : type == 2 ? 1 : type == 3 ? 2 : 3; };
  std::stable_sort(listed.begin(), listed.end(), [&](const auto& a, const auto& b) {
    if (rank(a.first.type) != rank(b.first.type)) return rank(a.first.type) < rank(b.first.type);
    return LowerCase(a.first.name) < LowerCase(b.first.name);
  });
  dates_.clear();
  if (kind_ != 8) list_.push_back({0, IdeText(IdeTable::kDesc, 35)}), dates_.emplace_back();
  for (auto& [e, date] : listed) {
    if (list_.size() >= 256) break;
    list_.push_back(e);
    dates_.push_back(date);
  }
  first_ = selected_ = 0;
}

void Requester::SetFolder(const std::string& folder) {
  folder_ = folder.empty() ? "." : folder;
  while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
}

bool Requester::Scan(const IdeHost& host) {
  std::vector<FolderEntry> entries;
  const bool read = host.ScanFolder(folder_, &entries);
  FillList(entries);
  return read;
}

std::string Requester::PathOf(const std::string& name) const {
  if (!name.empty() && name[0] == '/') return name;
  return folder_ == "/" ? "/" + name : folder_ + "/" + name;
}

std::string Requester::ConfirmText() const {
  if (!question_.empty()) return question_;
  switch (purpose_) {
    case 3: case 13: case 14: return fields_[1].text + " " + IdeText(IdeTable::kDesc, 10);
    case 5: case 7: case 8: case 9: case 10: return IdeText(IdeTable::kDesc, 3);
    case 51: return IdeText(IdeTable::kDesc, 11);
    case 99: return IdeText(IdeTable::kDesc, 2);
    default: return std::string();
  }
}

void Requester::CommitField() {
  if (kind_ == 71 && focused_ >= 1 && focused_ <= 5) {
    // A tool's path: usable only while its program exists.
    ToolEntry& tool = IdeUserSettings().tools[focused_ - 1];
    tool.path = fields_[focused_].text;
    struct stat info;
    tool.usable = !tool.path.empty() && stat(tool.path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    if (!tool.usable && !tool.path.empty()) message_ = "File does not exist!";
  }
  if (kind_ == 8) {
    const std::string name = LowerCase(fields_[1].text);
    const bool listed = !name.empty() && std::any_of(list_.begin(), list_.end(), [&](const ListEntry& e) {
      return e.type == 0 && LowerCase(e.name) == name;
    });
    buttons_[2].label = IdeText(IdeTable::kGeneral, listed ? 20 : 6);
  }
}

int Requester::Key(const IdeEvent& event) {
  RequesterField* f = focused_ > 0 && fields_[focused_].used && fields_[focused_].editable ? &fields_[focused_] : nullptr;
  const int length = f ? static_cast<int>(f->text.size()) : 0;
  caret_ = std::clamp(caret_, 0, length);
  if (event.kind == IdeEventKind::kKeyDown) {
    if (event.a == kVkEscape) return 1;
    if (!f) return 0;
    if (event.a == kVkLeft && caret_ > 0) --caret_;
    else if (event.a == kVkRight && caret_ < length) ++caret_;
    else if (event.a == kVkHome) caret_ = 0;
    else if (event.a == kVkEnd) caret_ = length;
    else if (event.a == kVkDelete && caret_ < length) f->text.erase(caret_, 1);
    if (kind_ == 8) CommitField();
    return 0;
  }
  if (event.kind != IdeEventKind::kChar || !f) return 0;
  const int c = event.a & 255;
  if (c == 13) {
    CommitField();
    // Return in a name box presses the confirming button (Build, Load, Find ...); the tool
    // table's buttons each choose a tool, so there it only commits.
    return kind_ == 71 || !buttons_[2].used ? 0 : ButtonCode(purpose_, 2);
  }
  if (c == 8) {
    if (caret_ > 0) f->text.erase(--caret_, 1);
  } else if (c >= 32 && length < 255) {
    f->text.insert(f->text.begin() + caret_++, static_cast<char>(c));
  }
  if (kind_ == 8) CommitField();
  return 0;
}

int Requester::Click(int x, int y) {
  if (!message_.empty()) {
    message_.clear();
    return purpose_ == 23 ? 1 : 0;  // a failed find: the next click closes
  }
  int hit = 0;
  for (int i = 1; i < 32; ++i)
    if (buttons_[i].used && Inside(buttons_[i].rect, x, y)) {
      buttons_[i].pressed = true;
      hit = i;
    }
  if (hit != 0) {
    if (purpose_ == 71 && hit >= 2 && hit <= 6) {
      chosenTool_ = hit - 2;
      return 71;
    }
    return ButtonCode(purpose_, hit);
  }
  // Fields take the focus; the one that had it is committed.
  for (int i = 1; i < 32; ++i)
    if (fields_[i].used && Inside(fields_[i].rect, x, y)) {
      CommitField();
      focused_ = i;
      caret_ = static_cast<int>(fields_[i].text.size());
      return 0;
    }
  CommitField();
  if (!IsListKind(kind_)) return 0;
  const int px = x - panel_.left, py = y - panel_.top;
  const int count = static_cast<int>(list_.size());
  if (px >= 390 && px <= 405 && py >= 28 && py <= 170) {
    // The list's scroll bar: arrows step one entry, the track seven; never past the ends. A
    // press on the thumb grabs it.
    const int thumbTop = first_ * 112 / std::max(count, 1);
    const int thumbBottom = std::min(112, (first_ + 7) * 112 / std::max(count, 1));
    if (py >= 45 && py <= 157 && count > 7 && py - 45 >= thumbTop && py - 45 < thumbBottom) {
      dragging_ = true;
      grab_ = py - 45 - thumbTop;
      return 0;
    }
    const int step = py < 45 ? -1 : py > 157 ? 1 : (py - 45) < thumbTop ? -7 : 7;
    first_ = std::clamp(first_ + step, 0, std::max(0, count - 7));
    return 0;
  }
  if (px < 16 || px > 388 || py < 45 || py > 157) return 0;
  const int index = first_ + (py - 45) / 16;
  if (index >= count || px >= TextWidth(list_[index].name) + 33) return 0;
  if (selected_ == index + 1) {
    // A second click opens: a file runs the purpose's action at once.
    const ListEntry& e = list_[index];
    if (e.type == 0 || e.type == 4) return kind_ != 8 && index == 0 ? 32 : 33;
    fields_[1].text = e.name;
    return OpenFileCode(purpose_);
  }
  selected_ = index + 1;
  if (kind_ == 8) {
    buttons_[2].label = IdeText(IdeTable::kGeneral, 20);
    fields_[1].text = list_[index].name;
  } else if (list_[index].type != 0 && list_[index].type != 4) {
    fields_[1].text = list_[index].name;
    if ((kind_ == 2 || kind_ == 3) && list_[index].type == 2)
      ReadSourceHeader(PathOf(list_[index].name), &fields_[2].text, &fields_[3].text, &fields_[4].text);
  }
  caret_ = static_cast<int>(fields_[1].text.size());
  return 0;
}

void Requester::DragList(int y, bool held) {
  if (!held) {
    dragging_ = false;
    return;
  }
  if (!dragging_) return;
  const int count = static_cast<int>(list_.size());
  first_ = std::clamp((y - (panel_.top + grab_ + 45)) * count / 112, 0, std::max(0, count - 7));
}
