// Text and fonts: the current font (name, size, style), background mode and print cursor, the
// text draw ops, the print built-in's queued print and the text commands.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "graphics2d/graphics2d_local.h"
#include "platform/text.h"
#include "runtime/command_numbers.h"

// Font and cursor state: reset at every display start; the font is made again on change.
static struct {
  char fontName[256] = "system";
  int fontSize = 10;
  int fontStyle = 0;  // 0 normal, 1 bold, 2 italic, 3 bold italic
  bool opaque = false;
  PlatformFont* font = nullptr;
  // The print cursor moves when print is recorded, measured with a font that follows the
  // recorded font commands, so a print after a size change wraps by the new size.
  int cursorX = 0, cursorY = 0;
  bool wrap = true;
  PlatformFont* measureFont = nullptr;
  char measureName[256] = "system";
  int measureSize = 10, measureStyle = 0;
  // The line INPUT shows while it is typed: what the screen shows now and how wide it is, so
  // the next record covers it when the line gets shorter.
  std::string inputShown;
  int inputWidth = 0;
  bool inputOpen = false;
} gText;

// Fonts made so far, by name, size and style: a font change is recorded and replayed (twice on
// a flipping display), and a program may change fonts every frame, while making a font asks
// fontconfig and opens a file. Each font keeps the glyphs it has drawn, so a program going
// through many sizes keeps those of the last few only. Owns the fonts gText points to;
// emptied by ReleaseTextState.
struct CachedFont {
  std::string name;
  int size, style;
  PlatformFont* font;
};
static std::vector<CachedFont> gFontCache;
static constexpr size_t kFontCacheSize = 8;

static PlatformFont* MakeFont(const char* name, int size, int style) {
  for (auto it = gFontCache.begin(); it != gFontCache.end(); ++it)
    if (it->size == size && it->style == style && it->name == name) {
      // The list runs from the least recently asked for to the last: a program that takes turns
      // with a few fonts keeps them all, with their glyphs.
      std::rotate(it, it + 1, gFontCache.end());
      return gFontCache.back().font;
    }
  PlatformFont* font = FontCreate(name, size, (style & 1) != 0, (style & 2) != 0);
  if (font == nullptr) return nullptr;
  if (gFontCache.size() >= kFontCacheSize) {
    // The least recently asked for font that neither the replay nor the measuring uses makes room.
    for (auto it = gFontCache.begin(); it != gFontCache.end(); ++it)
      if (it->font != gText.font && it->font != gText.measureFont) {
        FontDestroy(it->font);
        gFontCache.erase(it);
        break;
      }
  }
  gFontCache.push_back(CachedFont{name, size, style, font});
  return font;
}

// Makes the replay font from the current name, size and style.
static void SetTextFont() { gText.font = MakeFont(gText.fontName, gText.fontSize, gText.fontStyle); }

static void SetMeasureFont() {
  gText.measureFont = MakeFont(gText.measureName, gText.measureSize, gText.measureStyle);
}

void ReleaseTextState() {
  for (const CachedFont& cached : gFontCache) FontDestroy(cached.font);
  gFontCache.clear();
  gText.font = gText.measureFont = nullptr;
}

void ResetTextState() {
  ReleaseTextState();
  std::strcpy(gText.fontName, "system");
  std::strcpy(gText.measureName, "system");
  gText.fontSize = gText.measureSize = 10;
  gText.fontStyle = gText.measureStyle = 0;
  gText.opaque = false;
  gText.cursorX = gText.cursorY = 0;
  gText.wrap = true;
  gText.inputShown.clear();
  gText.inputWidth = 0;
  gText.inputOpen = false;
}

void DrawTextOnSurface(Surface& target, int x, int y, const char* text, bool forceOpaque, bool centred) {
  if (gText.font == nullptr) SetTextFont();
  if (centred) {
    int width = 0, height = 0;
    FontMeasure(gText.font, text, &width, &height);
    x = ClampToInt(int64_t{x} - width / 2);
  }
  TextColours colours;
  colours.ink = Draw2D.inkPixel;
  colours.paper = Draw2D.paperPixel;
  colours.opaque = forceOpaque || gText.opaque;
  FontDrawText(gText.font, target, x, y, text, colours);
}

void ReplayTextOp(DrawOp& op, Surface* target) {
  switch (op.code) {
    case kOpFontName:
      std::snprintf(gText.fontName, sizeof gText.fontName, "%s", op.payload);
      SetTextFont();
      break;
    case kOpFontSize:
      gText.fontSize = op.x;
      SetTextFont();
      break;
    case kOpTextOpaque: gText.opaque = true; break;
    case kOpTextTransparent: gText.opaque = false; break;
    case kOpFontNormal: case kOpFontBold: case kOpFontItalic: case kOpFontBoldItalic:
      gText.fontStyle = op.code - kOpFontNormal;
      SetTextFont();
      break;
    case kOpTextAt: case kOpTextCentred:
      if (target != nullptr) DrawTextOnSurface(*target, op.x, op.y, op.payload, false, op.code == kOpTextCentred);
      break;
    default:
      break;
  }
}

void PrintAtCursor(const char* text, bool newline) {
  // The print built-in ends a line with an empty text: only the cursor moves then.
  if (text[0] != 0) RecordDrawOp(kOpPrintText, gText.cursorX, gText.cursorY, 0, 0, 0, text);
  if (gText.measureFont == nullptr) SetMeasureFont();
  int width = 0, height = 0;
  FontMeasure(gText.measureFont, text, &width, &height);
  if (newline) {
    gText.cursorX = 0;
    gText.cursorY = ClampToInt(int64_t{gText.cursorY} + height);
  } else {
    gText.cursorX = ClampToInt(int64_t{gText.cursorX} + width);
    if (gText.wrap && gText.cursorX >= ScreenWidth()) {
      gText.cursorX = 0;
      gText.cursorY = ClampToInt(int64_t{gText.cursorY} + height);
    }
  }
  EndSliceAfterDrawing();
}

void ShowInputText(const char* typed, bool finished) {
  // While typing, a bar after the text marks where the next character goes.
  std::string shown = typed;
  if (!finished) shown += '_';
  if (gText.inputOpen && shown == gText.inputShown) return;  // nothing new to show this slice
  if (gText.measureFont == nullptr) SetMeasureFont();
  int width = 0, height = 0;
  FontMeasure(gText.measureFont, shown.c_str(), &width, &height);
  // The record clears as wide as the text shown before, so a shorter line leaves nothing behind.
  RecordDrawOp(kOpInputText, gText.cursorX, gText.cursorY, std::max(width, gText.inputWidth), height, 0, shown.c_str());
  gText.inputOpen = !finished;
  gText.inputShown = finished ? std::string() : shown;
  gText.inputWidth = finished ? 0 : width;
  EndSliceAfterDrawing();
}

static void Queue(int32_t code, int32_t x = 0, int32_t y = 0, const char* text = nullptr) {
  RecordDrawOp(code, x, y, 0, 0, 0, text);
  EndSliceAfterDrawing();
}

static void CmdTextSetCursor() {  // x, y
  gText.cursorX = IntOperand(0);
  gText.cursorY = IntOperand(1);
  AdvanceOperands(2);
}
static void CmdTextFont() {  // name
  const char* name = TextOperand(0);
  AdvanceOperands(1);
  std::snprintf(gText.measureName, sizeof gText.measureName, "%s", name);
  SetMeasureFont();
  Queue(kOpFontName, 0, 0, name);
}
static void CmdTextSize() {  // size
  const int32_t size = IntOperand(0);
  AdvanceOperands(1);
  gText.measureSize = size;
  SetMeasureFont();
  Queue(kOpFontSize, size);
}
static void CmdTextOpaque() { Queue(kOpTextOpaque); }
static void CmdTextTransparent() { Queue(kOpTextTransparent); }
static void SetStyle(int32_t code) {
  gText.measureStyle = code - kOpFontNormal;
  SetMeasureFont();
  Queue(code);
}
static void CmdTextNormal() { SetStyle(kOpFontNormal); }
static void CmdTextBold() { SetStyle(kOpFontBold); }
static void CmdTextItalic() { SetStyle(kOpFontItalic); }
static void CmdTextBoldItalic() { SetStyle(kOpFontBoldItalic); }
static void CmdTextAt() {  // x, y, text
  const int32_t x = IntOperand(0), y = IntOperand(1);
  const char* text = TextOperand(2);
  AdvanceOperands(3);
  Queue(kOpTextAt, x, y, text);
}
static void CmdTextCentred() {  // x, y, text
  const int32_t x = IntOperand(0), y = IntOperand(1);
  const char* text = TextOperand(2);
  AdvanceOperands(3);
  Queue(kOpTextCentred, x, y, text);
}

static const CommandEntry kTextCommands[] = {
    {kTextSetCursor, CmdTextSetCursor}, {kTextFont, CmdTextFont},     {kTextSize, CmdTextSize},
    {kTextOpaque, CmdTextOpaque},       {kTextTransparent, CmdTextTransparent},
    {kTextNormal, CmdTextNormal},       {kTextBold, CmdTextBold},     {kTextItalic, CmdTextItalic},
    {kTextBoldItalic, CmdTextBoldItalic}, {kTextAt, CmdTextAt},       {kTextCentred, CmdTextCentred},
};

bool RegisterTextCommands() { return RegisterCommands(kTextCommands); }
