// Drawing a requester: its panel picture, captions, buttons, fields with the caret, the file
// list with its scroll bar, the preview of the loading and saving kinds, and a message.
#include <algorithm>
#include <cctype>

#include "ide/ide.h"

namespace {

// The requester's colours: the field background, a light and a mid grey, the dark edge, the
// list marker and the highlight.
uint32_t FieldColour(int entry) { return IdeColourForDepth(entry, 32, true); }

bool IsListKind(int kind) { return kind == 2 || kind == 3 || kind == 6 || kind == 7 || kind == 8 || kind == 72; }

int PanelSlot(int kind) {
  if (IsListKind(kind)) return 1;
  if (kind == 11 || kind == 12) return 3;
  if (kind == 4) return 4;
  if (kind == 71) return 6;
  return -1;
}

void Centred(Surface& target, const std::string& text, int page, int cx, int y) {
  DrawIdeText(target, text, page, cx - TextWidth(text) / 2, y);
}

// The end of a text that fits in width px.
std::string FitFromEnd(std::string text, int width) {
  while (!text.empty() && TextWidth(text) > width) text.erase(0, 1);
  return text;
}

// The marker colour of a list entry's type.
uint32_t TypeColour(int type) {
  switch (type) {
    case 0: return 0xE0C050;
    case 2: return 0xFFFFFF;
    case 3: return 0xF02020;
    case 4: return 0x70A0F0;
    default: return 0x737984;
  }
}

}  // namespace

void Requester::Draw(Surface& target, int frame) {
  if (kind_ == 0) return;
  const int left = panel_.left, top = panel_.top;
  const Surface* panel = PictureSlot(PanelSlot(kind_));
  if (panel != nullptr) {
    DrawPicture(target, panel, left, top);
  } else {
    SurfaceFill(target, panel_, IdeColour(4));
  }

  // Captions and explanations.
  int captionKey = 0;
  switch (kind_) {
    case 2: captionKey = 4; break;
    case 3: captionKey = 5; break;
    case 6: captionKey = 6; break;
    case 7: captionKey = 7; break;
    case 8: captionKey = 3; break;
    case 72: captionKey = 11; break;
    case 71: captionKey = 10; break;
    default: break;
  }
  if (captionKey != 0) Centred(target, IdeText(IdeTable::kTitle, captionKey), kPageMenu, left + 210, top + 5);
  if (kind_ == 4) Centred(target, FitFromEnd(ConfirmText(), 390), kPageMenu, 320, top + 25);
  if (kind_ == 2 || kind_ == 3) {
    Centred(target, IdeText(IdeTable::kGeneral, 9), kPageMenu, left + 52, top + 178);
    for (int i = 0; i < 3; ++i) Centred(target, IdeText(IdeTable::kGeneral, 10 + i), kPageMenu, left + 119, top + 209 + 24 * i);
  }
  if (kind_ == 6 || kind_ == 7 || kind_ == 72 || kind_ == 8) {
    Centred(target, IdeText(IdeTable::kGeneral, kind_ == 8 ? 4 : 9), kPageMenu, left + (kind_ == 8 ? 42 : 52), top + 178);
    // The picture at the left, the explanation beside it (never over it) and below the
    // buttons, each line cut to the room it has.
    const Surface* picture = PictureSlot(kind_ == 8 ? 33 : 39);
    DrawPicture(target, picture, left + 13, top + 207);
    const int textLeft = left + 13 + (picture != nullptr ? picture->width : 66) + 8;
    const int first = kind_ == 6 ? 54 : kind_ == 7 ? 58 : kind_ == 8 ? 50 : 62;
    const bool four = !IdeText(IdeTable::kDesc, first + 3).empty();
    for (int i = 0; i < (four ? 4 : 3); ++i) {
      std::string line = IdeText(IdeTable::kDesc, first + i);
      while (!line.empty() && textLeft + TextWidth(line) > left + 410) line.pop_back();
      DrawIdeText(target, line, kPageMenu, textLeft, top + (four ? 222 + 14 * i : 224 + 16 * i));
    }
  }
  if (kind_ == 71)
    for (int i = 1; i <= 5; ++i) DrawIdeText(target, std::to_string(i), kPageMenu, left + 30, top + 24 * i + 8);

  // Buttons: the button picture, its right end moved out for a wider label.
  for (int i = 1; i < 32; ++i) {
    const RequesterButton& b = buttons_[i];
    if (!b.used) continue;
    const Surface* picture = PictureSlot(b.pressed ? 24 : 23);
    const int width = b.rect.right - b.rect.left;
    if (picture != nullptr) {
      const int w = picture->width, h = picture->height;
      DrawPictureCell(target, picture, {0, 0, std::min(w - 8, width - 8), h}, b.rect.left, b.rect.top);
      for (int x = w - 8; x < width - 8; x += w - 16)
        DrawPictureCell(target, picture, {8, 0, std::min(w - 8, 8 + width - 8 - x), h}, b.rect.left + x, b.rect.top);
      DrawPictureCell(target, picture, {w - 8, 0, w, h}, b.rect.right - 8, b.rect.top);
    } else {
      SurfaceFill(target, b.rect, IdeColour(b.pressed ? 5 : 3));
    }
    const int shift = b.pressed ? 1 : 0;
    Centred(target, b.label, kPageMenu, (b.rect.left + b.rect.right) / 2 + shift, b.rect.top + 3 + shift);
  }

  // Fields: a sunken frame, the text (the focused one with its caret).
  for (int i = 1; i < 32; ++i) {
    const RequesterField& f = fields_[i];
    if (!f.used) continue;
    const SurfaceRect& r = f.rect;
    SurfaceFill(target, r, FieldColour(3));
    SurfaceFill(target, {r.left + 1, r.top + 1, r.right, r.bottom}, FieldColour(1));
    SurfaceFill(target, {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, FieldColour(0));
    const int width = r.right - r.left - 6;
    std::string shown = f.text;
    int caretX = r.left + 3 + TextWidth(f.text.substr(0, std::min<size_t>(caret_, f.text.size())));
    if (TextWidth(shown) > width) {
      // A long text shows its end (where typing happens).
      const std::string fitted = FitFromEnd(shown, width);
      caretX -= TextWidth(shown) - TextWidth(fitted);
      shown = fitted;
    }
    DrawIdeText(target, shown, f.editable ? kPageStatus : kPageDisabled, r.left + 3, r.top + 3);
    if (i == focused_ && f.editable && (frame / 10) % 2 == 0 && caretX >= r.left + 1 && caretX < r.right - 1)
      SurfaceFill(target, {caretX, r.top + 3, caretX + 2, r.bottom - 3}, FieldColour(5));
  }

  if (IsListKind(kind_)) {
    DrawIdeText(target, FitFromEnd(folder_, 370), kPageMenu, left + 16, top + 27);
    const int count = static_cast<int>(list_.size());
    SurfaceFill(target, {left + 16, top + 45, left + 389, top + 157}, FieldColour(0));
    for (int row = 0; row < 7 && first_ + row < count; ++row) {
      const ListEntry& e = list_[first_ + row];
      const int y = top + 45 + 16 * row;
      const bool selected = selected_ == first_ + row + 1;
      const std::string name = e.name.substr(0, 28);
      if (selected) SurfaceFill(target, {left + 31, y, left + 33 + TextWidth(name) + 2, y + 16}, FieldColour(5));
      SurfaceFill(target, {left + 19, y + 4, left + 27, y + 12}, TypeColour(e.type));
      DrawIdeText(target, name, selected ? kPageMenuHover : kPageStatus, left + 33, y);
      // The entry's date at the right, where the name leaves room for it.
      const std::string date = EntryDate(first_ + row);
      const int dateX = left + 386 - TextWidth(date);
      if (!date.empty() && dateX > left + 33 + TextWidth(name) + 8) DrawIdeText(target, date, kPageDisabled, dateX, y);
    }
    // The list's scroll bar: the thumb over the track.
    SurfaceFill(target, {left + 391, top + 45, left + 405, top + 157}, FieldColour(1));
    if (count > 0) {
      const int from = first_ * 112 / count, to = std::min(112, (first_ + 7) * 112 / count);
      SurfaceFill(target, {left + 391, top + 45 + from, left + 405, top + 45 + to}, FieldColour(0));
    }
  }

  // The preview: the first cell, or a source file's page turning one cell a frame.
  if ((kind_ == 2 || kind_ == 3) && PictureSlot(20) != nullptr) {
    const bool source = selected_ > 0 && selected_ <= static_cast<int>(list_.size()) && list_[selected_ - 1].type == 2;
    const int cell = source ? frame % 32 : 0;
    const int cx = (cell % 9) * 66, cy = (cell / 9) * 66;
    DrawPictureCell(target, PictureSlot(20), {cx, cy, cx + 66, cy + 66}, left + 14, top + 209);
  }

  if (!message_.empty()) {
    if (const Surface* box = PictureSlot(2)) DrawPicture(target, box, 118, 205);
    else SurfaceFill(target, {118, 205, 522, 255}, IdeColour(3));
    Centred(target, FitFromEnd(message_, 390), kPageMenuHover, 320, 230 - 8);
  }
}
