// The frame around the editor's text: the menu bar and its drop-downs, the toolbar buttons,
// the scroll arrows and bar, the buffer tabs, what the mouse is over, and the text bar.
#include <algorithm>
#include <cctype>

#include "graphics2d/graphics2d.h"
#include "ide/ide.h"

namespace {

constexpr int kMenuBarY = 21;
constexpr int kDropDownY = 40;

const std::string& TitleText(const IdeView& view, int menu) {
  return view.helpMode ? view.helpWords[menu - 1] : view.menus[menu - 1].title;
}

int TitleCount(const IdeView& view) { return view.helpMode ? 3 : 6; }

int ItemCount(const MenuRecord& menu) {
  int n = 0;
  while (n < 16 && !menu.items[n].empty()) ++n;
  return n;
}

bool Inside(int x, int y, int left, int top, int right, int bottom) {
  return x >= left && x <= right && y >= top && y <= bottom;
}

}  // namespace

int MenuTitleWidth(const IdeView& view, int menu) { return TextWidth(TitleText(view, menu)) + 8; }

int MenuTitleX(const IdeView& view, int menu) {
  int x = 8;
  for (int m = 1; m < menu; ++m) x += MenuTitleWidth(view, m);
  return x;
}

int MenuTitleOfKey(const IdeView& view, int key) {
  if (key < 'A' || key > 'Z') return 0;
  for (int menu = 1; menu <= TitleCount(view); ++menu) {
    const std::string& title = TitleText(view, menu);
    if (!title.empty() && std::toupper(static_cast<unsigned char>(title[0])) == key) return menu;
  }
  return 0;
}

void DrawMenuBar(Surface& target, const IdeView& view) {
  for (int menu = 1; menu <= TitleCount(view); ++menu) {
    const int x = MenuTitleX(view, menu), width = MenuTitleWidth(view, menu);
    const bool open = !view.helpMode && view.openMenu == menu;
    const bool hovered = view.menuHover == 10 + menu;
    DrawBevel(target, open ? 2 : hovered ? 1 : 0, x, kMenuBarY, width);
    // Back and forward are shown disabled while the history has nothing that way.
    const bool disabled = view.helpMode && ((menu == 2 && !view.canGoBack) || (menu == 3 && !view.canGoForward));
    DrawIdeText(target, TitleText(view, menu), disabled ? kPageDisabled : kPageMenu, x + 3, kMenuBarY);
  }
}

SurfaceRect DropDownRect(const IdeView& view, int menuNumber) {
  const MenuRecord& menu = view.menus[menuNumber - 1];
  const int count = ItemCount(menu);
  int widest = 0;
  for (int i = 0; i < count; ++i) widest = std::max(widest, TextWidth(menu.items[i]) + TextWidth(menu.labels[i]));
  const int width = std::max(96, widest + 32), height = 2 + 16 * count + 5;
  const int x = MenuTitleX(view, menuNumber), y = kDropDownY;
  return {x, y, x + width, y + height};
}

void DrawDropDown(Surface& target, const IdeView& view) {
  if (view.helpMode || view.openMenu < 1 || view.openMenu > 6) return;
  const MenuRecord& menu = view.menus[view.openMenu - 1];
  const int count = ItemCount(menu);
  const SurfaceRect box = DropDownRect(view, view.openMenu);
  const int x = box.left, y = box.top, width = box.right - x, height = box.bottom - y;
  SurfaceFill(target, box, IdeColour(4));
  SurfaceFill(target, {x, y, x + width, y + 1}, IdeColour(3));
  SurfaceFill(target, {x, y, x + 1, y + height}, IdeColour(3));
  SurfaceFill(target, {x, y + height - 1, x + width, y + height}, IdeColour(5));
  SurfaceFill(target, {x + width - 1, y, x + width, y + height}, IdeColour(5));
  for (int i = 0; i < count; ++i) {
    const int rowY = y + 2 + 16 * i;
    if (menu.items[i] == "-") {
      SurfaceFill(target, {x + 5, rowY + 7, x + width - 5, rowY + 8}, IdeColour(5));
      SurfaceFill(target, {x + 5, rowY + 8, x + width - 5, rowY + 9}, IdeColour(3));
      continue;
    }
    int page = kPageDisabled;
    if (menu.enabled[i]) {
      page = kPageMenu;
      if (view.itemHover == i + 1) {
        SurfaceFill(target, {x + 2, rowY, x + width - 2, rowY + 16}, IdeColour(1));
        page = kPageMenuHover;
      }
    }
    DrawIdeText(target, menu.items[i], page, x + 5, rowY);
    DrawIdeText(target, menu.labels[i], page, x + width - 6 - TextWidth(menu.labels[i]), rowY);
  }
}

void UpdateMenuHover(IdeView& view) {
  view.menuHover = 0;
  view.itemHover = 0;
  if (view.marking || view.hasRequester) return;
  const int x = view.mouseX, y = view.mouseY;
  if (y >= kMenuBarY && y <= kDropDownY) {
    for (int menu = 1; menu <= TitleCount(view); ++menu) {
      const int left = MenuTitleX(view, menu);
      if (x >= left && x < left + MenuTitleWidth(view, menu)) view.menuHover = 10 + menu;
    }
  }
  if (Inside(x, y, 495, 7, 559, 29)) view.menuHover = 22;
  if (Inside(x, y, 561, 7, 627, 29)) view.menuHover = 23;
  if (Inside(x, y, 628, 27, 640, 50)) view.menuHover = 31;
  if (Inside(x, y, 628, 460, 640, 480)) view.menuHover = 32;
  if (!view.helpMode && view.openMenu >= 1 && view.openMenu <= 6) {
    // Laid out from the menu, not from a frame: a click that comes before the drop-down's
    // first frame (the user is quick, or the machine slow) still lands on its item.
    const MenuRecord& menu = view.menus[view.openMenu - 1];
    const SurfaceRect r = DropDownRect(view, view.openMenu);
    if (x >= r.left && x < r.right && y >= r.top + 2 && y < r.bottom - 5) {
      const int item = (y - r.top - 2) / 16 + 1;
      if (item <= ItemCount(menu)) view.itemHover = item;
    }
  }
}

void DrawToolbar(Surface& target, const IdeView& view, int currentBuffer) {
  const bool hover22 = view.menuHover == 22, hover23 = view.menuHover == 23;
  DrawPicture(target, IdePicture(hover22 ? IdePic::kToolbarHover : IdePic::kToolbarPlain), 495, 7);
  DrawPicture(target, IdePicture(hover23 ? IdePic::kToolbarHover : IdePic::kToolbarPlain), 561, 7);
  DrawPicture(target, IdePicture(view.menuHover == 31 ? IdePic::kArrowUpHover : IdePic::kArrowUp), 628, 27);
  DrawPicture(target, IdePicture(view.menuHover == 32 ? IdePic::kArrowDownHover : IdePic::kArrowDown), 628, 460);
  DrawPicture(target, IdePicture(currentBuffer == 1 ? IdePic::kTabSelected : IdePic::kTab), 454, 2);
  DrawPicture(target, IdePicture(currentBuffer == 2 ? IdePic::kTabSelected : IdePic::kTab), 471, 2);
}

void DrawScrollBar(Surface& target, IdeView& view) {
  constexpr int kTrack = 382;
  DrawPicture(target, IdePicture(IdePic::kTrack), 625, 53);
  const int length = std::clamp(view.thumbLength, 0, kTrack);
  if (view.thumbDragging) {
    view.thumbPosition += view.mouseY - view.dragLastY;
    view.dragLastY = view.mouseY;
  }
  view.thumbPosition = std::clamp(view.thumbPosition, 0, kTrack - length);
  view.thumbRect = {};
  if (length >= kTrack) return;  // everything is shown: no thumb
  // The thumb keeps both of its ends: its top part and its last 10 rows.
  const int height = length + 20, top = 53 + view.thumbPosition;
  const Surface* thumb = IdePicture(IdePic::kThumb);
  if (thumb != nullptr) {
    DrawPictureCell(target, thumb, {0, 0, thumb->width, height - 10}, 625, top);
    DrawPictureCell(target, thumb, {0, thumb->height - 10, thumb->width, thumb->height}, 625, top + height - 10);
  }
  view.thumbRect = {625, top, 640, top + height};
}

namespace {

void DrawScreenPicture(Surface& target) {
  if (const Surface* screen = IdePicture(IdePic::kScreen)) SurfaceBlit(target, 0, 0, *screen, {0, 0, 640, 480}, BlitOptions{});
  else SurfaceFill(target, {0, 0, 640, 480}, IdeColour(4));
}

// The buffer tabs' numbers and the two toolbar buttons' captions.
void DrawCaptions(Surface& target) {
  DrawIdeText(target, "1", kPageMenuHover, 458, 10);
  DrawIdeText(target, "2", kPageMenuHover, 475, 10);
  for (int i = 1; i <= 2; ++i) {
    const std::string& caption = IdeText(IdeTable::kTitle, i);
    DrawIdeText(target, caption, kPageMenuHover, (i == 1 ? 529 : 595) - TextWidth(caption) / 2, 9);
  }
}

}  // namespace

void DrawEditorFrame(const SourceEditor& editor, IdeView& view, Surface& target) {
  DrawScreenPicture(target);
  if (!view.thumbDragging) {
    view.thumbLength = editor.ThumbLength();
    view.thumbPosition = editor.ThumbPosition();
  }
  DrawToolbar(target, view, editor.currentBuffer());
  DrawMenuBar(target, view);
  RedrawEditor(editor, target);
  DrawScrollBar(target, view);
  DrawStatusLine(target, view.title, editor.buffer().unsaved, view.secondStatusKind);
  DrawTextBar(target, editor, view);
  DrawDropDown(target, view);
  DrawCaptions(target);
}

void DrawHelpFrame(IdeView& view, Surface& target, int currentBuffer) {
  DrawScreenPicture(target);
  DrawToolbar(target, view, currentBuffer);
  DrawMenuBar(target, view);
  DrawScrollBar(target, view);
  DrawStatusLine(target, view.title, false, view.secondStatusKind);
  DrawCaptions(target);
}

void DrawTextBar(Surface& target, const SourceEditor& editor, const IdeView& view) {
  const SourceBuffer& b = editor.buffer();
  const int row = b.cursor.line - b.topLine;
  if (view.menuMode || row < 0 || row >= kVisibleRows || (view.clock / 500) % 2 != 0) return;
  const int x = editor.XFromColumn(b.cursor.line, b.cursor.column) - 1;
  if (x < 0 || x >= 617) return;
  const int y = kTextTop + kRowHeight * row;
  SurfaceFill(target, {x, y, x + 1, y + kRowHeight}, 0xFFFFFF);
}

void ShowTextCursor(const SourceEditor& editor, bool menuMode) {
  const SourceBuffer& b = editor.buffer();
  const int row = b.cursor.line - b.topLine;
  if (menuMode || row < 0 || row >= kVisibleRows) {
    SetMousePointerShape(5);
    SetTextBarPosition(-256, -256);
    return;
  }
  SetMousePointerShape(4);
  SetTextBarPosition(editor.XFromColumn(b.cursor.line, b.cursor.column) - 1, kTextTop + kRowHeight * row);
}
