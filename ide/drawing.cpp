// The environment's drawing: the glyph atlas rendered once through FreeType, text from its
// cells, the editor's rows, the status line and the compile progress panel.
#include <algorithm>
#include <cctype>

#include "ide/ide.h"
#include "platform/text.h"

namespace {

// Lives from BuildGlyphAtlas to FreeGlyphAtlas.
Surface* atlas = nullptr;

struct PageColours {
  uint32_t paper, ink;
};
// Page by page, the cell background and the glyph colour.
constexpr PageColours kPages[8] = {
    {0x000000, 0xFFFFFF}, {0xFFFFFF, 0x0F0F0F}, {0x000000, 0x0F0F0F}, {0x081008, 0xFFFFFF},
    {0x000000, 0xFFE20B}, {0x000000, 0x202020}, {0x000000, 0x4B4877}, {0x000000, 0xFFFFD2},
};

constexpr uint32_t kColours[9] = {0x081008, 0xFFFFFF, 0xFFFFFF, 0x7D7AA3, 0x64618C,
                                  0x4B4877, 0xF02020, 0xB00000, 0x700000};

bool Selected(const SourceBuffer& b, int line, int col) {
  if (b.start == b.end) return false;
  if (line > b.start.line && line < b.end.line) return true;
  if (b.start.line == b.end.line) return line == b.start.line && col >= b.start.column && col < b.end.column;
  return (line == b.start.line && col >= b.start.column) || (line == b.end.line && col < b.end.column);
}

}  // namespace

uint32_t IdeColour(int entry) { return entry >= 0 && entry < 9 ? kColours[entry] : 0; }

uint32_t IdeColourForDepth(int entry, int depth, bool requester) {
  static constexpr uint32_t kIndices[9] = {24, 255, 233, 178, 132, 89, 249, 139, 1};
  static constexpr uint32_t kRequesterIndices[6] = {24, 178, 132, 89, 196, 255};
  static constexpr uint32_t kRequesterWords[6] = {2145, 63390, 29648, 17160, 57030, 65535};
  static constexpr uint32_t kWords[9] = {2145, 65535, 65535, 0, 0, 0, 61700, 45056, 28672};
  const int count = requester ? 6 : 9;
  if (entry < 0 || entry >= count) return 0;
  if (depth == 8) return requester ? kRequesterIndices[entry] : kIndices[entry];
  if (depth == 16) {
    if (requester) return kRequesterWords[entry];
    // The edge and face colours are given as RGB: red in the low byte.
    if (entry >= 3 && entry <= 5) {
      const uint32_t c = kColours[entry];
      return ToRgb565(((c >> 16) & 0xFF) | (c & 0xFF00) | ((c & 0xFF) << 16));
    }
    return kWords[entry];
  }
  if (requester) {
    // The 5:6:5 words widened to 8 bits a channel.
    const uint32_t w = kRequesterWords[entry];
    const uint32_t r = (w >> 11) & 31, g = (w >> 5) & 63, b = w & 31;
    return ((r * 255 / 31) << 16) | ((g * 255 / 63) << 8) | (b * 255 / 31);
  }
  return kColours[entry];
}

uint16_t ToRgb565(uint32_t colorref) {
  const uint32_t r = colorref & 0xFF, g = (colorref >> 8) & 0xFF, b = (colorref >> 16) & 0xFF;
  return static_cast<uint16_t>((r * 31 / 255) * 2048 + (g * 63 / 255) * 32 + b * 31 / 255);
}

SurfaceRect GlyphCell(int glyph) {
  const int page = glyph >> 8, c = std::max(glyph & 255, 32) - 32;
  const int x = (c % 28) * kCellWidth, y = page * 128 + (c / 28) * kCellHeight;
  return {x, y, x + kCellWidth, y + kCellHeight};
}

// The source text pages (0, 1 and 7) step a whole cell; the pages of menus, status lines and
// requesters use a narrower face so their texts fit the layout's boxes.
constexpr int kUiAdvance = 8;
bool IsTextPage(int page) { return page == kPageText || page == kPageSelected || page == kPageComment; }

int GlyphAdvance(int glyph) {
  if ((glyph & 255) < 32) return 0;
  return IsTextPage(glyph >> 8) ? kCellWidth : kUiAdvance;
}

bool BuildGlyphAtlas() {
  if (atlas != nullptr) return true;
  // The source text's face fits the 13 px rows when drawn 2 px up (its descenders included);
  // the narrower face of the other pages fills the 16 px cells.
  PlatformFont* font = FontCreate("DejaVu Sans Mono", 14, false, false);
  PlatformFont* uiFont = FontCreate("DejaVu Sans Mono", 13, false, false);
  atlas = SurfaceCreate(kAtlasWidth, kAtlasHeight);
  Surface* cell = SurfaceCreate(kCellWidth, kCellHeight);
  if (font == nullptr || uiFont == nullptr || atlas == nullptr || cell == nullptr) {
    SurfaceDestroy(cell);
    FreeGlyphAtlas();
    if (font) FontDestroy(font);
    if (uiFont) FontDestroy(uiFont);
    return false;
  }
  int width = 0, height = 0, uiWidth = 0;
  FontMeasure(font, "M", &width, &height);
  FontMeasure(uiFont, "M", &uiWidth, &height);
  const int left = std::max(0, (kCellWidth - width) / 2), uiLeft = std::max(0, (kUiAdvance - uiWidth) / 2);
  for (int page = 0; page < 8; ++page) {
    for (int c = 32; c < 256; ++c) {
      // Each glyph is drawn into a cell of its own, so no stroke reaches a neighbour.
      SurfaceFill(*cell, {0, 0, kCellWidth, kCellHeight}, kPages[page].paper);
      const char text[2] = {static_cast<char>(c), 0};
      const bool textPage = IsTextPage(page);
      FontDrawText(textPage ? font : uiFont, *cell, textPage ? left : uiLeft, textPage ? -2 : 0, text,
                   TextColours{kPages[page].ink, 0, false});
      const SurfaceRect at = GlyphCell(page * 256 + c);
      SurfaceBlit(*atlas, at.left, at.top, *cell, {0, 0, kCellWidth, kCellHeight}, BlitOptions{});
    }
  }
  SurfaceDestroy(cell);
  FontDestroy(font);
  FontDestroy(uiFont);
  return true;
}

void FreeGlyphAtlas() {
  SurfaceDestroy(atlas);
  atlas = nullptr;
}

const Surface* GlyphAtlas() { return atlas; }

int DrawIdeText(Surface& target, const std::string& text, int page, int x, int y) {
  // The menu pages have black paper that stands for "transparent" over the bar's face.
  BlitOptions keyed;
  keyed.colourKeyed = page == kPageMenuHover || page == kPageStatus2 || page == kPageMenu || page == kPageDisabled;
  for (unsigned char c : text) {
    if (c < 32) continue;
    const int glyph = page * 256 + c;
    SurfaceRect cell = GlyphCell(glyph);
    cell.right = cell.left + GlyphAdvance(glyph);
    if (atlas != nullptr) SurfaceBlit(target, x, y, *atlas, cell, keyed);
    x += GlyphAdvance(glyph);
  }
  return x;
}

int TextWidth(const std::string& text) {
  int width = 0;
  for (unsigned char c : text) width += GlyphAdvance(2 * 256 + c);
  return width;
}

bool IsCommentLine(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 33) ++i;
  // "remstart" and "remend" begin with "rem" too.
  return (i < text.size() && text[i] == '`') || LowerCase(text.substr(i, 3)) == "rem";
}

void RedrawEditor(const SourceEditor& editor, Surface& target, std::vector<std::string>* trace) {
  const SourceBuffer& b = editor.buffer();
  SurfaceFill(target, {0, kTextTop, 617, 459}, IdeColour(0));
  if (trace) trace->assign(kVisibleRows, std::string());
  for (int row = 0; row < kVisibleRows; ++row) {
    const int line = b.topLine + row;
    if (line >= static_cast<int>(b.lines.size())) break;
    const std::string& text = b.lines[line];
    const int y = kTextTop + row * kRowHeight;
    const int basePage = IsCommentLine(text) ? kPageComment : kPageText;
    int x = 2, lastPage = -1;
    for (int col = b.leftColumn; col < static_cast<int>(text.size()) && x < 617; ++col) {
      const unsigned char c = static_cast<unsigned char>(text[col]);
      const bool selected = Selected(b, line, col);
      if (c == '\t') {
        const int next = x / 24 * 24 + 24;
        SurfaceFill(target, {x, y, std::min(next, 617), y + kRowHeight}, IdeColour(selected ? 1 : 0));
        if (trace) (*trace)[row] += '\t';
        x = next;
        continue;
      }
      if (c < 32) continue;
      const int page = selected ? kPageSelected : basePage;
      if (trace && page != lastPage) (*trace)[row] += "{" + std::to_string(page) + "}";
      lastPage = page;
      // Glyph rows beyond the 13 px line step belong to the next row's space and are cut.
      const int glyph = page * 256 + c;
      SurfaceRect cell = GlyphCell(glyph);
      cell.bottom = cell.top + kRowHeight;
      cell.right = std::min(cell.right, cell.left + 617 - x);
      if (atlas != nullptr) SurfaceBlit(target, x, y, *atlas, cell, BlitOptions{});
      if (trace) (*trace)[row] += static_cast<char>(c);
      x += GlyphAdvance(glyph);
    }
  }
}

std::string DrawStatusLine(Surface& target, std::string title, bool unsaved, bool secondKind) {
  SurfaceFill(target, {2, 463, 617, 479}, IdeColour(0));
  std::string shown = title;
  while (!shown.empty() && TextWidth(shown) > kStatusTextWidth) shown.erase(0, 1);
  DrawIdeText(target, shown, secondKind ? kPageStatus2 : kPageStatus, 2, 463);
  // The unsaved mark has a place of its own at the line's right end, apart from the message.
  if (unsaved) DrawIdeText(target, "*", kPageStatus, kUnsavedMarkX, 463);
  return shown;
}

ProgressGeometry ProgressPanelGeometry(int percent) {
  percent = std::clamp(percent, 0, 100);
  ProgressGeometry g{};
  g.panel = {117, 220, 117 + 406, 220 + 70};
  const int x = 117 + 13 + percent * 38 / 10;
  g.notDone = {x, 238, 510, 274};
  g.markerX = x - 21;
  g.markerY = 239;
  g.textCentreX = 310;
  g.textY = 249;
  return g;
}

void DrawCompileProgress(Surface& target, int percent) {
  const ProgressGeometry g = ProgressPanelGeometry(percent);
  const Surface* panel = PictureSlot(30);
  if (panel != nullptr) {
    DrawPicture(target, panel, g.panel.left, g.panel.top);
  } else {
    // Without the pictures: a bevelled face with a lit bar.
    SurfaceFill(target, g.panel, IdeColour(4));
    SurfaceFill(target, {g.panel.left, g.panel.top, g.panel.right, g.panel.top + 1}, IdeColour(3));
    SurfaceFill(target, {g.panel.left, g.panel.top, g.panel.left + 1, g.panel.bottom}, IdeColour(3));
    SurfaceFill(target, {g.panel.left, g.panel.bottom - 1, g.panel.right, g.panel.bottom}, IdeColour(5));
    SurfaceFill(target, {g.panel.right - 1, g.panel.top, g.panel.right, g.panel.bottom}, IdeColour(5));
    SurfaceFill(target, {130, 238, 510, 274}, IdeColour(6));
  }
  // The part not yet done is cleared again.
  if (g.notDone.left < g.notDone.right) SurfaceFill(target, g.notDone, IdeColour(0));
  if (const Surface* marker = PictureSlot(29)) DrawPicture(target, marker, g.markerX, g.markerY);
  else SurfaceFill(target, {g.markerX, g.markerY, g.markerX + 21, g.markerY + 34}, IdeColour(3));
  const std::string text = std::to_string(std::clamp(percent, 0, 100)) + " " + IdeText(IdeTable::kDesc, 9);
  DrawIdeText(target, text, kPageStatus2, g.textCentreX - TextWidth(text) / 2, g.textY);
}

void DrawProgressStatus(Surface& target, const std::string& text) {
  if (const Surface* marker = PictureSlot(29)) DrawPicture(target, marker, 489, 239);
  const ProgressGeometry g = ProgressPanelGeometry(100);
  std::string shown = text;
  while (!shown.empty() && TextWidth(shown) > 360) shown.erase(0, 1);
  DrawIdeText(target, shown, kPageStatus2, g.textCentreX - TextWidth(shown) / 2, g.textY);
}

namespace {
// The frame the progress panel is drawn on, from the first percentage to FreeProgressFrame.
Surface* progressFrame = nullptr;
}  // namespace

void PresentCompileProgress(const IdeHost& host, const Surface& screen, int percent) {
  if (PictureSlot(30) == nullptr) return;
  if (progressFrame == nullptr) progressFrame = SurfaceCreate(640, 480);
  if (progressFrame == nullptr) return;
  SurfaceBlit(*progressFrame, 0, 0, screen, {0, 0, screen.width, screen.height}, BlitOptions{});
  DrawCompileProgress(*progressFrame, percent);
  host.Present(*progressFrame);
}

void PresentProgressStatus(const IdeHost& host, const std::string& text) {
  if (PictureSlot(30) == nullptr || progressFrame == nullptr) return;
  // The panel's text line is cleared before the new text.
  const ProgressGeometry g = ProgressPanelGeometry(100);
  SurfaceFill(*progressFrame, {130, g.textY, 510, g.textY + kCellHeight}, IdeColour(6));
  DrawProgressStatus(*progressFrame, text);
  host.Present(*progressFrame);
}

void FreeProgressFrame() {
  SurfaceDestroy(progressFrame);
  progressFrame = nullptr;
}

void DrawEditorScreen(const SourceEditor& editor, Surface& target, const std::string& title) {
  IdeView view;
  for (int menu = 1; menu <= 6; ++menu) view.menus[menu - 1].title = IdeText(IdeTable::kMenu, menu);
  view.title = title;
  DrawEditorFrame(editor, view, target);
}
