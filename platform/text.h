// Text: fonts by name, size and style, drawn onto CPU surfaces and measured, through FreeType
// with fontconfig choosing the file. Unknown names fall back to the default font, never fail.
#pragma once
#include <cstddef>
#include <cstdint>

struct Surface;
struct PlatformFont;

// Colours of one text output: ink for the glyphs, paper for an opaque background.
struct TextColours {
  uint32_t ink = 0xFFFFFF;
  uint32_t paper = 0;
  bool opaque = false;
};

// Glyph memory all live fonts may keep together: a glyph that would take them past it is
// rendered again at each draw instead of kept (a program cycling through big sizes keeps no
// more than this).
constexpr size_t kGlyphMemoryLimit = size_t{16} << 20;

// Makes a font: name as a program gives it ("arial", "courier new"), size in pixels of the
// line height, bold and italic switches. Null only when no font at all is installed.
PlatformFont* FontCreate(const char* name, int size, bool bold, bool italic);
// Releases a font; null is accepted.
void FontDestroy(PlatformFont* font);
// Width of the text in pixels and the font's line height, for the print cursor and centring;
// from the advances the font keeps, each glyph rendered once at its first use.
void FontMeasure(PlatformFont* font, const char* text, int* width, int* height);
// Draws the text with its top-left at x, y (clipped to the surface); the opaque background
// covers the measured extent with the paper colour. Glyphs are drawn without antialiasing so
// that colour keys and pixel checks stay exact, from the runs of ink the font keeps.
void FontDrawText(PlatformFont* font, Surface& surface, int x, int y, const char* text, const TextColours& colours);
// The file fontconfig chose for the font; for diagnostics and tests.
const char* FontFilePath(PlatformFont* font);
// Bytes of glyphs the live fonts keep now.
size_t FontGlyphMemoryInUse();
// Replaces kGlyphMemoryLimit for the rest of the process (tests draw with nothing kept, or
// reach the limit, with it); 0 restores the default.
void FontSetGlyphMemoryLimit(size_t bytes);
