// The help page on the screen: its runs drawn from the environment's glyph atlas in any
// colour and size, the background, and the entries the shell calls for help mode.
#include <algorithm>

#include "ide/help/help.h"
#include "ide/ide.h"

namespace {

constexpr uint32_t kHelpBackground = 0x1C2438;
// The atlas cells are 12 wide with the glyph in the middle; the help text uses the middle 10.
constexpr int kGlyphLeft = 1, kGlyphWidth = 10;

int Advance(const HelpFont& font) { return std::max(1, kGlyphWidth * font.height / kCellHeight); }

int GlyphWidth(const std::string& text, const HelpFont& font) {
  int count = 0;
  for (unsigned char c : text) count += c >= 32;
  return count * Advance(font);
}

uint32_t Blend(uint32_t under, uint32_t over, uint32_t alpha) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const uint32_t a = (under >> shift) & 0xFF, b = (over >> shift) & 0xFF;
    out |= ((a * (255 - alpha) + b * alpha) / 255) << shift;
  }
  return out;
}

// Draws one glyph of the source-text page (white on black: the green channel is its cover)
// scaled to the font, clipped to the area.
void DrawGlyph(Surface& target, const SurfaceRect& clip, const Surface& atlas, unsigned char c, int x, int y,
               const HelpFont& font, uint32_t colour) {
  const SurfaceRect cell = GlyphCell(kPageText * 256 + c);
  const int width = Advance(font), height = std::max(1, font.height);
  const int passes = font.weight >= 700 ? 2 : 1;
  for (int row = 0; row < height; ++row) {
    const int ty = y + row;
    if (ty < clip.top || ty >= clip.bottom) continue;
    const int sy = cell.top + row * kCellHeight / height;
    const int slant = font.italic ? (height - row) / 4 : 0;
    for (int col = 0; col < width; ++col) {
      const int sx = cell.left + kGlyphLeft + col * kGlyphWidth / width;
      const uint32_t cover = (atlas.pixels[static_cast<size_t>(sy) * atlas.width + sx] >> 8) & 0xFF;
      if (cover == 0) continue;
      for (int pass = 0; pass < passes; ++pass) {
        const int tx = x + col + slant + pass;
        if (tx < clip.left || tx >= clip.right) continue;
        uint32_t& pixel = target.pixels[static_cast<size_t>(ty) * target.width + tx];
        pixel = Blend(pixel, colour, cover);
      }
    }
  }
}

void DrawRun(Surface& target, const SurfaceRect& clip, const HelpRun& run, int dy) {
  const Surface* atlas = GlyphAtlas();
  int x = run.x;
  const int advance = Advance(run.font);
  if (atlas != nullptr)
    for (unsigned char c : run.text) {
      if (c < 32) continue;
      DrawGlyph(target, clip, *atlas, c, x, run.y + dy, run.font, run.colour);
      x += advance;
    }
  if (run.font.underline) {
    SurfaceRect line{run.x, run.y + dy + run.font.height - 1, run.x + GlyphWidth(run.text, run.font),
                     run.y + dy + run.font.height};
    line.left = std::max(line.left, clip.left), line.right = std::min(line.right, clip.right);
    line.top = std::max(line.top, clip.top), line.bottom = std::min(line.bottom, clip.bottom);
    if (line.left < line.right && line.top < line.bottom) SurfaceFill(target, line, run.colour);
  }
}

std::string HelpRootUnder(const std::string& installFolder) {
  std::string root = installFolder;
  if (!root.empty() && root.back() != '/') root += '/';
  return root + HelpFolder();
}

}  // namespace

const HelpMeasurer& HelpGlyphMeasurer() {
  static const HelpMeasurer measurer{GlyphWidth};
  return measurer;
}

HelpViewer& TheHelpViewer() {
  static HelpViewer viewer;
  return viewer;
}

bool ShowHelpHome(const std::string& installFolder, const std::string& page) {
  HelpViewer& viewer = TheHelpViewer();
  viewer.SetHelpRoot(HelpRootUnder(installFolder));
  return viewer.OpenHelpHome(page);
}

bool ShowContextHelp(const std::string& installFolder, const std::string& line, int column) {
  HelpViewer& viewer = TheHelpViewer();
  viewer.SetHelpRoot(HelpRootUnder(installFolder));
  HelpIndex index;
  index.Load(viewer.HelpPagePath("index.htm"));
  const std::string page = FindContextPage(index, line, column);
  // The index's targets are relative to the help folder's root.
  viewer.ClearCurrentFolder();
  viewer.NavigateHelp(page);
  return page != "nocontex.htm";
}

void DrawHelpScreen(Surface& screen, const std::string& placeholder) {
  if (screen.lost) return;
  SurfaceRect area{0, kHelpAreaTop, kHelpAreaWidth, kHelpAreaTop + kHelpAreaHeight};
  if (!SurfaceClipRect(screen, area)) return;
  SurfaceFill(screen, area, kHelpBackground);
  HelpViewer& viewer = TheHelpViewer();
  viewer.LayoutHelpPage(HelpGlyphMeasurer(), placeholder);
  for (const HelpRun& run : viewer.runs()) DrawRun(screen, area, run, kHelpAreaTop);
}

std::string HelpLinkUnder(int x, int y) {
  if (x < 0 || x >= kHelpAreaWidth || y < kHelpAreaTop || y >= kHelpAreaTop + kHelpAreaHeight) return std::string();
  return TheHelpViewer().FindHelpLinkAt(x, y - kHelpAreaTop);
}

bool HelpClick(int x, int y, std::string* source) {
  const std::string target = HelpLinkUnder(x, y);
  if (target.empty()) return false;
  if (source != nullptr && HasSourceExtension(target)) {
    *source = TheHelpViewer().LinkedFilePath(target);
    return false;
  }
  return TheHelpViewer().NavigateHelp(target);
}
