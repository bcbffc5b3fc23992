// Text through FreeType: fontconfig picks the installed file for a program's font name, glyphs
// are rendered monochrome once per font and kept as runs of ink, drawn by filling those runs;
// bold and italic are synthesised when the file lacks them.
#include "platform/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <unistd.h>
#include <vector>

#include "platform/lazy_library.h"
#include "platform/surface.h"

// One run of ink in a row of a glyph's bitmap.
struct GlyphSpan {
  uint16_t row, start, length;
};

// What a font keeps of one character once it was first drawn or measured.
enum class GlyphState : uint8_t {
  kUnknown,   // not loaded yet
  kAbsent,    // the font cannot render it: no advance, nothing drawn
  kKept,      // advance and runs kept
  kUnkept,    // advance kept; the runs did not fit the memory limit, so it is rendered at each draw
};
struct GlyphEntry {
  GlyphState state = GlyphState::kUnknown;
  int advance = 0;       // whole pixels, the synthetic bold widening included
  int left = 0, top = 0;  // bitmap origin from the pen position and the baseline (top counts up)
  int width = 0, rows = 0;
  uint32_t firstSpan = 0, spanCount = 0;  // its runs in the font's span store
};

struct PlatformFont {
  FT_Face face = nullptr;
  std::string path;
  int size = 10;
  bool emboldenOutline = false;  // bold asked for, file is not bold
  bool slantOutline = false;     // italic asked for, file is not italic
  int ascent = 0;
  int lineHeight = 0;
  // The font's glyphs by character code, filled as they are first used. The key of what is kept
  // (file, size, style) is the font itself: a change of any is another font, and destroying
  // a font releases its glyphs.
  GlyphEntry glyphs[256];
  std::vector<GlyphSpan> spans;
};

// The FreeType library lives for the whole process once the first font is made.
static struct {
  FT_Library library = nullptr;
  bool fontconfigReady = false;
  size_t glyphBytes = 0;                       // the runs all live fonts keep together
  size_t glyphLimit = kGlyphMemoryLimit;       // FontSetGlyphMemoryLimit replaces it in tests
} gText;

// Family names programs commonly ask for, mapped to the generic families fontconfig knows.
static const struct {
  const char* asked;
  const char* family;
} kFontAliases[] = {
    {"courier", "monospace"},         {"courier new", "monospace"}, {"fixedsys", "monospace"},
    {"lucida console", "monospace"},  {"terminal", "monospace"},    {"times", "serif"},
    {"times new roman", "serif"},     {"georgia", "serif"},         {"system", "sans-serif"},
    {"arial", "sans-serif"},          {"ms sans serif", "sans-serif"}, {"verdana", "sans-serif"},
    {"tahoma", "sans-serif"},
};

static const char* MapFontFamily(const char* name) {
  if (name == nullptr || name[0] == 0) return "sans-serif";
  for (const auto& alias : kFontAliases)
    if (strcasecmp(alias.asked, name) == 0) return alias.family;
  return name;
}

// The installed family a name falls back to when no file has it: the one of its kind, so that
// a program asking for a fixed-width font (courier) still gets one. Named after the generic
// family, it also outranks fontconfig's weaker expansion of that family into other files.
static const char* FallbackFamily(const char* family) {
  if (strcasecmp(family, "monospace") == 0) return "DejaVu Sans Mono";
  if (strcasecmp(family, "serif") == 0) return "DejaVu Serif";
  return "DejaVu Sans";
}

// Asks fontconfig for the best file. What the file itself is comes from the opened face, not
// from the match: fontconfig answers a style no file has with the nearest file, marked bold or
// oblique (its synthetic-style rule), and that file draws upright and regular.
static std::string MatchFontFile(const char* family, bool bold, bool italic) {
  std::string path;
  // Without its configuration (a machine with no fonts installed) fontconfig finds nothing
  // and says so on stderr: the carried font serves instead.
  if (!gText.fontconfigReady)
    gText.fontconfigReady = (std::getenv("FONTCONFIG_FILE") != nullptr || access("/etc/fonts/fonts.conf", R_OK) == 0) &&
                            FcInit() == FcTrue;
  if (!gText.fontconfigReady) return path;
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(FallbackFamily(family)));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  if (match != nullptr) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) path = reinterpret_cast<const char*>(file);
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  return path;
}

// The default font is DejaVu Sans at its Debian place, opened directly: asking fontconfig
// means reading its whole configuration, which costs a program that prints once more time
// than the rest of its start-up, and a default that does not follow the desktop's settings
// draws the same on every machine. Bold and italic files are taken when installed; otherwise
// the regular file is synthesised into them as for any font.
static std::string DefaultFontFile(bool bold, bool italic) {
  static const char* const kFolder = "/usr/share/fonts/truetype/dejavu/";
  const char* styled = bold && italic ? "DejaVuSans-BoldOblique.ttf"
                       : bold         ? "DejaVuSans-Bold.ttf"
                       : italic       ? "DejaVuSans-Oblique.ttf"
                                      : "DejaVuSans.ttf";
  for (const char* file : {styled, "DejaVuSans.ttf"}) {
    std::string path = std::string(kFolder) + file;
    if (access(path.c_str(), R_OK) == 0) return path;
  }
  return std::string();
}

PlatformFont* FontCreate(const char* name, int size, bool bold, bool italic) {
  if (gText.library == nullptr && FT_Init_FreeType(&gText.library) != 0) return nullptr;
  size = std::clamp(size, 1, 1000);
  std::string path;
  if (name != nullptr && strcasecmp(name, "system") == 0) path = DefaultFontFile(bold, italic);
  if (path.empty()) path = MatchFontFile(MapFontFamily(name), bold, italic);
  FT_Face face = nullptr;
  if (path.empty() || FT_New_Face(gText.library, path.c_str(), 0, &face) != 0) {
    // The program's font is not usable: fall back to the default family.
    path = MatchFontFile("sans-serif", bold, italic);
    if (path.empty() || FT_New_Face(gText.library, path.c_str(), 0, &face) != 0) {
      // No font installed at all: the one this executable carries.
      const std::vector<unsigned char>* carried = CarriedFile("DejaVuSans.ttf");
      path = "DejaVuSans.ttf";
      if (carried == nullptr ||
          FT_New_Memory_Face(gText.library, carried->data(), static_cast<FT_Long>(carried->size()), 0, &face) != 0)
        return nullptr;
    }
  }
  if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size)) != 0) {
    FT_Done_Face(face);
    return nullptr;
  }
  PlatformFont* font = new PlatformFont;
  font->face = face;
  font->path = path;
  font->size = size;
  font->emboldenOutline = bold && (face->style_flags & FT_STYLE_FLAG_BOLD) == 0;
  font->slantOutline = italic && (face->style_flags & FT_STYLE_FLAG_ITALIC) == 0;
  font->ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
  font->lineHeight = static_cast<int>((face->size->metrics.height + 63) >> 6);
  if (font->lineHeight < 1) font->lineHeight = size;
  return font;
}

void FontDestroy(PlatformFont* font) {
  if (font == nullptr) return;
  gText.glyphBytes -= font->spans.size() * sizeof(GlyphSpan);
  FT_Done_Face(font->face);
  delete font;
}

const char* FontFilePath(PlatformFont* font) { return font != nullptr ? font->path.c_str() : ""; }

// Loads one glyph as a monochrome bitmap in the slot, applying the synthetic styles; false when absent.
static bool LoadGlyph(PlatformFont* font, unsigned char ch) {
  FT_Face face = font->face;
  if (FT_Load_Char(face, ch, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0) return false;
  if (face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (font->emboldenOutline) FT_Outline_Embolden(&face->glyph->outline, font->size * 3);
    if (font->slantOutline) {
      FT_Matrix shear{0x10000, 0x5800, 0, 0x10000};  // about 19 degrees of slant
      FT_Outline_Transform(&face->glyph->outline, &shear);
    }
  }
  return FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO) == 0;
}

// Advance of one glyph in whole pixels, including the synthetic bold widening.
static int GlyphAdvance(PlatformFont* font) {
  int advance = static_cast<int>((font->face->glyph->advance.x + 32) >> 6);
  if (font->emboldenOutline) advance += (font->size * 3 + 63) >> 6;
  return advance;
}

// The glyph of a character, loaded and kept at its first use.
static const GlyphEntry& Glyph(PlatformFont* font, unsigned char ch) {
  GlyphEntry& glyph = font->glyphs[ch];
  if (glyph.state != GlyphState::kUnknown) return glyph;
  if (!LoadGlyph(font, ch)) {
    glyph.state = GlyphState::kAbsent;
    return glyph;
  }
  const FT_GlyphSlot slot = font->face->glyph;
  const FT_Bitmap& bitmap = slot->bitmap;
  glyph.advance = GlyphAdvance(font);
  glyph.left = slot->bitmap_left;
  glyph.top = slot->bitmap_top;
  glyph.width = static_cast<int>(bitmap.width);
  glyph.rows = static_cast<int>(bitmap.rows);
  // The runs of set bits, row by row. Sizes are at most 1000 pixels, so a glyph, even slanted
  // and made bold, stays far below the 65536 a run's fields hold; a font whose outlines reach
  // far beyond its size is rendered at each draw instead.
  if (bitmap.width > UINT16_MAX || bitmap.rows > UINT16_MAX) {
    glyph.state = GlyphState::kUnkept;
    return glyph;
  }
  const size_t first = font->spans.size();
  for (unsigned row = 0; row < bitmap.rows; ++row) {
    const unsigned char* bits = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
    unsigned col = 0;
    while (col < bitmap.width) {
      if ((bits[col >> 3] & (0x80 >> (col & 7))) == 0) {
        ++col;
        continue;
      }
      const unsigned start = col;
      while (col < bitmap.width && (bits[col >> 3] & (0x80 >> (col & 7))) != 0) ++col;
      font->spans.push_back(GlyphSpan{static_cast<uint16_t>(row), static_cast<uint16_t>(start),
                                      static_cast<uint16_t>(col - start)});
    }
  }
  const size_t added = (font->spans.size() - first) * sizeof(GlyphSpan);
  if (gText.glyphBytes + added > gText.glyphLimit) {
    font->spans.resize(first);
    glyph.state = GlyphState::kUnkept;
    return glyph;
  }
  gText.glyphBytes += added;
  glyph.firstSpan = static_cast<uint32_t>(first);
  glyph.spanCount = static_cast<uint32_t>(font->spans.size() - first);
  glyph.state = GlyphState::kKept;
  return glyph;
}

void FontMeasure(PlatformFont* font, const char* text, int* width, int* height) {
  *width = 0;
  *height = font != nullptr ? font->lineHeight : 0;
  if (font == nullptr || text == nullptr) return;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p)
    *width += Glyph(font, *p).advance;
}

// Fills the glyph's runs with the ink, its bitmap's top-left at left, top of the surface.
static void FillGlyphSpans(const PlatformFont* font, const GlyphEntry& glyph, Surface& surface, int64_t left,
                           int64_t top, uint32_t ink) {
  const GlyphSpan* span = font->spans.data() + glyph.firstSpan;
  const GlyphSpan* const end = span + glyph.spanCount;
  const int width = surface.width;
  if (left >= 0 && top >= 0 && left + glyph.width <= width && top + glyph.rows <= surface.height) {
    // Wholly inside: no clipping per run.
    uint32_t* const origin = surface.pixels.data() + static_cast<size_t>(top) * width + left;
    for (; span != end; ++span) {
      uint32_t* to = origin + static_cast<size_t>(span->row) * width + span->start;
      for (int i = 0; i < span->length; ++i) to[i] = ink;
    }
    return;
  }
  for (; span != end; ++span) {
    const int64_t y = top + span->row;
    if (y < 0 || y >= surface.height) continue;
    const int64_t from = std::max<int64_t>(left + span->start, 0);
    const int64_t to = std::min<int64_t>(left + span->start + span->length, width);
    uint32_t* row = surface.pixels.data() + static_cast<size_t>(y) * width;
    for (int64_t x = from; x < to; ++x) row[x] = ink;
  }
}

// Draws the glyph FreeType rendered last (in the face's slot), clipped to the surface.
static void DrawSlotBitmap(const PlatformFont* font, Surface& surface, int64_t left, int64_t top, uint32_t ink) {
  const FT_Bitmap& bitmap = font->face->glyph->bitmap;
  for (unsigned row = 0; row < bitmap.rows; ++row) {
    const int64_t py = top + row;
    if (py < 0 || py >= surface.height) continue;
    const unsigned char* bits = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
    uint32_t* dest = surface.pixels.data() + static_cast<size_t>(py) * surface.width;
    for (unsigned col = 0; col < bitmap.width; ++col) {
      const int64_t px = left + col;
      if (px < 0 || px >= surface.width) continue;
      if (bits[col >> 3] & (0x80 >> (col & 7))) dest[px] = ink;
    }
  }
}

void FontDrawText(PlatformFont* font, Surface& surface, int x, int y, const char* text, const TextColours& colours) {
  if (font == nullptr || text == nullptr || surface.lost) return;
  // Positions come from the program and may lie anywhere: the sums are made in 64 bits.
  if (colours.opaque) {
    int width = 0;
    int height = 0;
    FontMeasure(font, text, &width, &height);
    const auto clampToInt = [](int64_t value) {
      return static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
    };
    SurfaceFill(surface, SurfaceRect{x, y, clampToInt(int64_t{x} + width), clampToInt(int64_t{y} + height)},
                colours.paper);
  }
  int64_t penX = x;
  const int64_t baseline = int64_t{y} + font->ascent;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    const GlyphEntry& glyph = Glyph(font, *p);
    if (glyph.state == GlyphState::kAbsent) continue;
    const int64_t left = penX + glyph.left;
    const int64_t top = baseline - glyph.top;
    penX += glyph.advance;
    // A glyph wholly off the surface draws nothing.
    if (left >= surface.width || top >= surface.height || left + glyph.width <= 0 || top + glyph.rows <= 0) continue;
    if (glyph.state == GlyphState::kKept) FillGlyphSpans(font, glyph, surface, left, top, colours.ink);
    else if (LoadGlyph(font, *p)) DrawSlotBitmap(font, surface, left, top, colours.ink);
  }
}

size_t FontGlyphMemoryInUse() { return gText.glyphBytes; }

void FontSetGlyphMemoryLimit(size_t bytes) { gText.glyphLimit = bytes != 0 ? bytes : kGlyphMemoryLimit; }
