// The six menus and the toolbar: their items and shortcuts, what a click on them does, and
// the window's keys and clicks turned into menu actions or handed to requesters and editor.
#include <algorithm>

#include "ide/shell_local.h"
#include "platform/window.h"

namespace {

struct ItemSpec {
  int menu, item, textKey;  // textKey 0: a separator
  const char* label;
};
// Menus 1 to 6 as the menu bar offers them; menu 1's recent files and leave item are added
// by RebuildRecentItems.
constexpr ItemSpec kItems[] = {
    {1, 0, 11, ""},        {1, 1, 12, "F2"},      {1, 2, 13, ""},        {1, 3, 0, ""},         {1, 4, 14, "F3"},
    {1, 5, 15, ""},        {1, 6, 0, ""},         {1, 7, 16, "F6"},      {1, 8, 17, "F7"},      {1, 9, 0, ""},
    {2, 0, 21, "Ctrl+Z"},  {2, 1, 0, ""},         {2, 2, 22, "Ctrl+X"},  {2, 3, 23, "Ctrl+C"},  {2, 4, 24, "Ctrl+V"},
    {2, 5, 25, ""},        {2, 6, 0, ""},         {2, 7, 26, "Ctrl+F"},  {2, 8, 27, "Ctrl+R"},  {3, 0, 31, ""},
    {3, 1, 32, ""},        {3, 2, 0, ""},         {3, 3, 33, "PgDn"},    {3, 4, 34, "PgUp"},    {4, 0, 41, "F1"},
    {4, 1, 42, ""},        {4, 2, 43, "F11"},     {4, 3, 0, ""},         {4, 4, 44, ""},        {4, 5, 45, ""},
    {4, 6, 46, ""},        {4, 7, 0, ""},         {4, 8, 47, ""},        {4, 9, 48, ""},        {4, 10, 49, ""},
    {4, 11, 50, ""},       {4, 12, 0, ""},        {4, 13, 51, ""},       {5, 0, 61, "F4"},      {5, 1, 62, "F5"},
    {6, 0, 71, ""},        {6, 1, 72, ""},        {6, 2, 73, ""},        {6, 3, 0, ""},         {6, 4, 74, ""},
    {6, 5, 75, ""},        {6, 6, 76, ""},        {6, 7, 77, ""},        {6, 8, 78, ""},        {6, 9, 0, ""},
    {6, 10, 79, "F8"},
};

// The help pages of menu 4's items 1 and 4 on.
const char* HelpPageOfItem(int item) {
  switch (item) {
    case 1: return "menu.htm";
    case 4: return "intro.htm";
    case 5: return "princpal.htm";
    case 6: return "fast/fstart.htm";
    case 8: return "main.htm";
    case 9: return "examples.htm";
    case 10: return "tutorial/tstart.htm";
    case 11: return "glossary.htm";
    case 13: return "credits.htm";
    default: return nullptr;
  }
}

MenuRecord& Menu(int menu) { return gShell->view.menus[menu - 1]; }

bool HasClipboardText() {
  std::string text;
  return ShellHost().GetClipboard(&text) && !text.empty();
}

// Cut, copy and delete follow the selection, paste the clipboard, undo the snapshot.
void SetEditItems() {
  MenuRecord& edit = Menu(2);
  const bool selection = ShellEditor().HasSelection();
  edit.enabled[2] = edit.enabled[3] = edit.enabled[5] = selection;
  edit.enabled[4] = HasClipboardText();
  edit.enabled[0] = ShellEditor().buffer().hasSnapshot;
}

void OpenMenu(int menu) {
  gShell->view.openMenu = menu;
  gShell->menuMode = true;
  SetEditItems();
  gShell->screenMarked = true;
}

// A click with a menu open runs the hovered item when it is enabled; the menu closes either
// way. With none open, a click on a title opens that menu.
bool MenuDispatch() {
  ShellState& s = *gShell;
  IdeView& v = s.view;
  if (v.openMenu != 0) {
    const int menu = v.openMenu, item = v.itemHover - 1;
    v.openMenu = 0;
    s.screenMarked = true;
    if (item >= 0 && Menu(menu).enabled[item]) RunMenuItem(menu, item);
    return true;
  }
  if (v.menuHover >= 11 && v.menuHover <= 16) {
    OpenMenu(v.menuHover - 10);
    return true;
  }
  return false;
}

bool ToolbarClick(int x, int y) {
  ShellState& s = *gShell;
  if (y >= 2 && y <= 36 && ((x >= 454 && x <= 469) || (x >= 471 && x <= 486))) {
    s.editor->SelectBuffer(x <= 469 ? 1 : 2);
    BuildTitle();
    return true;
  }
  if (s.view.menuHover == 22) {
    ShellLeaveWith(kIdeModeCompile);
    return true;
  }
  if (s.view.menuHover == 23) {
    RunMenuItem(1, s.leaveItem);
    return true;
  }
  return false;
}

// The keys of the shell itself; anything else goes to the editor.
bool ShellKey(int key) {
  ShellState& s = *gShell;
  switch (key) {
    case kVkF1: if (Menu(4).enabled[0]) RunMenuItem(4, 0); return true;
    case kVkF2: RunMenuItem(1, 1); return true;
    case kVkF3: RunMenuItem(1, 4); return true;
    case kVkF4: RunMenuItem(5, 0); return true;
    case kVkF5: RunMenuItem(5, 1); return true;
    case kVkF6: if (Menu(1).enabled[7]) RunMenuItem(1, 7); return true;
    case kVkF7: if (Menu(1).enabled[8]) RunMenuItem(1, 8); return true;
    case kVkF8: RunMenuItem(6, 10); return true;
    case kVkF11: RunMenuItem(4, 2); return true;
    case kVkEscape:
      if (s.view.openMenu == 0) return false;
      s.view.openMenu = 0;
      return true;
    default: return false;
  }
}

void ButtonDown(const IdeEvent& e) {
  ShellState& s = *gShell;
  UpdateMenuHover(s.view);
  if (!s.helpActive && !s.view.hasRequester) BuildTitle();
  if (MenuDispatch() || ToolbarClick(e.a, e.b)) return;
  if (ScrollBarPress(*s.editor, s.view, e.a, e.b)) return;
  s.menuMode = false;
  bool menuMode = false;
  HandleEditorEvent(*s.editor, e, &menuMode);
}

}  // namespace

void BuildMenus() {
  ShellState& s = *gShell;
  for (int m = 1; m <= 6; ++m) Menu(m) = MenuRecord{IdeText(IdeTable::kMenu, m), {}, {}, {}, false};
  for (const ItemSpec& spec : kItems) {
    MenuRecord& menu = Menu(spec.menu);
    menu.items[spec.item] = spec.textKey == 0 ? "-" : IdeText(IdeTable::kMenu, spec.textKey);
    if (menu.items[spec.item].empty()) menu.items[spec.item] = "?";
    menu.labels[spec.item] = spec.label;
    menu.enabled[spec.item] = spec.textKey != 0;
  }
  Menu(1).enabled[2] = !s.editor->buffer().name.empty();
  for (int tool = 0; tool < 5; ++tool) Menu(6).enabled[4 + tool] = IdeUserSettings().tools[tool].usable;
  for (int word = 0; word < 3; ++word) s.view.helpWords[word] = IdeText(IdeTable::kMenu, 91 + word);
  SetEditItems();
  RebuildRecentItems();
}

void RebuildRecentItems() {
  ShellState& s = *gShell;
  MenuRecord& file = Menu(1);
  for (int i = 10; i < 16; ++i) file.items[i].clear(), file.labels[i].clear(), file.enabled[i] = false;
  const auto& recent = IdeUserSettings().recent;
  int item = 10;
  for (const RecentFile& entry : recent) {
    std::string text = entry.folder == s.requester.folder() ? entry.name : entry.folder + "/" + entry.name;
    while (text.size() > 1 && TextWidth(text) >= 256) text.erase(0, 1);
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    file.items[item] = text;
    file.enabled[item++] = true;
  }
  if (!recent.empty()) file.items[item++] = "-";
  file.items[item] = IdeText(IdeTable::kMenu, 18);
  file.enabled[item] = true;
  s.leaveItem = item;
}

void BuildTitle() {
  const SourceBuffer& b = ShellEditor().buffer();
  SetShellTitle(SourceTitle(b.name, b.folder, gShell->session.projectsFolder));
  gShell->view.secondStatusKind = true;
}

void RunMenuItem(int menu, int item) {
  ShellState& s = *gShell;
  SourceEditor& e = *s.editor;
  const bool unsaved = e.buffer().unsaved;
  s.screenMarked = true;
  if (menu == 1 && item >= 10 && item < s.leaveItem) {
    if (Menu(1).items[item] == "-") return;
    s.session.recentToLoad = item - 10;
    if (unsaved) OpenShellRequester(4, 10);
    else CarryOutCode(48);
    return;
  }
  if (menu == 1 && item == s.leaveItem) {
    OpenShellRequester(4, unsaved ? 9 : 99);
    return;
  }
  switch (menu * 100 + item) {
    case 100:
      if (!e.buffer().name.empty() && unsaved) OpenShellRequester(4, 7);
      else OpenShellRequester(8, 31);
      break;
    case 101:
      if (unsaved) OpenShellRequester(4, 8);
      else OpenShellRequester(2, 1);
      break;
    case 102:
      if (unsaved) OpenShellRequester(4, 5);
      else CarryOutCode(4);
      break;
    case 104:
      if (e.buffer().name.empty()) OpenShellRequester(3, 2);
      else SaveInPlace();
      break;
    case 105: OpenShellRequester(3, 2); break;
    case 107: OpenShellRequester(6, 11); break;
    case 108: OpenShellRequester(7, 12); break;
    case 200: e.Undo(); break;
    case 202: e.Cut(); break;
    case 203: e.Copy(); break;
    case 204: e.Paste(); break;
    case 205: e.DeleteSelection(); break;
    case 207: OpenShellRequester(11, 21); break;
    case 208: OpenShellRequester(12, 22); break;
    case 300: e.PressKey(EditKey::kTop); break;
    case 301: e.PressKey(EditKey::kBottom); break;
    case 303: e.PressKey(EditKey::kPageDown); break;
    case 304: e.PressKey(EditKey::kPageUp); break;
    case 400: ShowContextHelpPage(); break;
    case 402: ShowHelpPage(""); break;
    case 500:
    case 501:
      // The title says what happens next on one frame before the environment leaves.
      SetShellTitle(IdeText(IdeTable::kDesc, item == 0 ? 44 : 45));
      s.screenMarked = true;
      DrawShellFrame();
      ShellLeaveWith(item == 0 ? kIdeModeRunKeep : kIdeModeCompileRun);
      break;
    case 600: ShowHelpPage("media.htm"); break;
    case 601: OpenShellRequester(71, 71); break;
    case 602: StartMediaBrowser(); break;
    case 610: PlatformShowWindow(PlatformShow::kMinimise); break;
    default:
      if (menu == 4 && HelpPageOfItem(item) != nullptr) ShowHelpPage(HelpPageOfItem(item));
      if (menu == 6 && item >= 4 && item <= 8) LaunchTool(item - 4);
      break;
  }
}

void ShellHandleEvent(const IdeEvent& e) {
  ShellState& s = *gShell;
  s.screenMarked = true;
  if (e.kind == IdeEventKind::kKeyDown || e.kind == IdeEventKind::kChar || e.kind == IdeEventKind::kButtonDown)
    s.caretSince = ShellHost().Milliseconds();
  if (e.kind == IdeEventKind::kMouseMove || e.kind == IdeEventKind::kButtonDown || e.kind == IdeEventKind::kButtonUp) {
    s.view.mouseX = e.a;
    s.view.mouseY = e.b;
  }
  if (e.kind == IdeEventKind::kButtonDown) s.buttonDown = true;
  if (e.kind == IdeEventKind::kButtonUp) {
    s.buttonDown = false;
    s.view.thumbDragging = false;
    s.editor->EndMouseMarking();
  }
  if (e.kind == IdeEventKind::kActivate) {
    BuildMenus();  // the clipboard may hold text now
    // Coming back from another window closes a requester, in the folder it was opened in.
    RequesterWindowActivated(s.requester, s.session);
  }
  if (s.requester.IsOpen()) {
    if (e.kind == IdeEventKind::kButtonDown) CarryOutCode(s.requester.Click(e.a, e.b));
    else if (e.kind == IdeEventKind::kKeyDown || e.kind == IdeEventKind::kChar) CarryOutCode(s.requester.Key(e));
    return;
  }
  if (s.helpActive) {
    HelpModeEvent(e, ToolbarClick);
    return;
  }
  if (e.kind == IdeEventKind::kButtonDown) {
    ButtonDown(e);
    return;
  }
  // Alt with a title's first letter opens that menu (Alt+T the tools); Alt's other keys do
  // nothing here, as they type nothing.
  if (e.kind == IdeEventKind::kKeyDown && (e.b & kModAlt) != 0) {
    if (const int menu = MenuTitleOfKey(s.view, e.a)) OpenMenu(menu);
    return;
  }
  if (e.kind == IdeEventKind::kKeyDown && ShellKey(e.a)) return;
  if (s.view.openMenu != 0) return;
  if (e.kind != IdeEventKind::kKeyDown && e.kind != IdeEventKind::kChar) return;
  switch (HandleEditorEvent(*s.editor, e, &s.menuMode)) {
    case EditorRequest::kFind: OpenShellRequester(11, 21); break;
    case EditorRequest::kReplace: OpenShellRequester(12, 22); break;
    case EditorRequest::kNone: break;
  }
}

int MenuHoverValue() { return gShell->view.menuHover; }
int OpenMenuValue() { return gShell->view.openMenu; }
int MenuItemHoverValue() { return gShell->view.itemHover; }
const std::string& MenuItemText(int menu, int item) { return Menu(menu).items[item]; }
bool MenuItemEnabled(int menu, int item) { return Menu(menu).enabled[item]; }
const std::string& MenuItemLabel(int menu, int item) { return Menu(menu).labels[item]; }
int MenuTitleLeft(int menu) { return MenuTitleX(gShell->view, menu); }
int MenuTitleSize(int menu) { return MenuTitleWidth(gShell->view, menu); }
