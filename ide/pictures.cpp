// The environment's pictures: how each one is drawn (tools/make_ide_pictures writes them as the
// PNG files in data/ide), and loading them at start-up from the install folder.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <string_view>

#include "graphics2d/image_files.h"
#include "ide/ide.h"

// The pictures of data/ide as the build found them (embedded_ide_pictures.cpp); empty for a
// name it has none of.
std::string_view EmbeddedIdePicture(std::string_view name);

namespace {

// Lives from LoadIdePictures to FreeIdePictures.
Surface* named[static_cast<int>(IdePic::kCount)] = {};
Surface* slots[kPictureSlots] = {};

// Black is the colour key: the pictures use it only where they are see-through.
constexpr uint32_t kKey = 0x000000;
constexpr uint32_t kBackground = 0x081008;
constexpr uint32_t kLight = 0x7D7AA3, kFace = 0x64618C, kDark = 0x4B4877;
constexpr uint32_t kLit = 0x9693BC, kWhite = 0xFFFFFF, kRed = 0xF02020, kDeepRed = 0xB00000;

void Fill(Surface& s, int l, int t, int r, int b, uint32_t c) { SurfaceFill(s, {l, t, r, b}, c); }

// A raised (or sunken) box with one-pixel edges, filled with face.
void Box(Surface& s, int l, int t, int r, int b, bool raised, uint32_t face = kFace) {
  Fill(s, l, t, r, b, face);
  const uint32_t lit = raised ? kLight : kDark, shade = raised ? kDark : kLight;
  Fill(s, l, t, r, t + 1, lit);
  Fill(s, l, t, l + 1, b, lit);
  Fill(s, l, b - 1, r, b, shade);
  Fill(s, r - 1, t, r, b, shade);
}

// A sunken well in the text background colour (lists, bars).
void Well(Surface& s, int l, int t, int r, int b) {
  Box(s, l - 1, t - 1, r + 1, b + 1, false, kBackground);
}

// A filled triangle pointing up or down, centred in the box.
void Arrow(Surface& s, int cx, int cy, bool up, uint32_t c) {
  for (int row = 0; row < 5; ++row) {
    const int y = up ? cy - 2 + row : cy + 2 - row;
    Fill(s, cx - row, y, cx + row + 1, y + 1, c);
  }
}

void Panel(Surface& s) {
  Box(s, 0, 0, s.width, s.height, true);
  Box(s, 3, 3, s.width - 3, s.height - 3, false);
  Fill(s, 4, 4, s.width - 4, s.height - 4, kFace);
}

void DrawScreen(Surface& s) {
  Fill(s, 0, 0, 640, 480, kFace);
  // The menu bar's band and the toolbar's area above the text.
  Fill(s, 0, 0, 640, 1, kLight);
  Fill(s, 0, 41, 620, 42, kDark);
  Fill(s, 0, 42, 620, 43, kLight);
  Fill(s, 0, 43, 617, 459, kBackground);
  // The status line's well.
  Fill(s, 0, 459, 620, 460, kDark);
  Fill(s, 0, 460, 620, 480, kBackground);
  // The scroll bar's column.
  Fill(s, 620, 0, 621, 480, kDark);
  Fill(s, 621, 0, 622, 480, kLight);
}

void DrawTrack(Surface& s) {
  Fill(s, 0, 0, 15, 402, kDark);
  Fill(s, 6, 2, 9, 400, kBackground);
}

void DrawThumb(Surface& s) {
  Box(s, 0, 0, 15, 402, true, kLight);
  for (int y = 8; y < 394; y += 4) Fill(s, 4, y, 11, y + 1, kFace);
}

void DrawTab(Surface& s, bool selected) {
  Box(s, 0, 0, 16, 34, !selected, selected ? kLit : kFace);
}

void DrawToolbarButton(Surface& s, bool hover) { Box(s, 0, 0, 66, 22, true, hover ? kLit : kFace); }

void DrawArrow(Surface& s, bool up, bool hover) {
  Box(s, 0, 0, s.width, s.height, true, hover ? kLit : kFace);
  Arrow(s, s.width / 2, s.height / 2, up, hover ? kWhite : kDark);
}

void DrawFilePanel(Surface& s) {
  Panel(s);
  Well(s, 16, 45, 389, 157);     // the list: 7 rows of 16
  Well(s, 391, 28, 405, 170);    // its scroll bar
  Box(s, 391, 28, 405, 45, true);
  Arrow(s, 398, 36, true, kDark);
  Box(s, 391, 157, 405, 170, true);
  Arrow(s, 398, 163, false, kDark);
  Fill(s, 16, 24, 389, 25, kDark);  // under the folder's name
}

void DrawMessagePanel(Surface& s) {
  Box(s, 0, 0, s.width, s.height, true, kLit);
  Box(s, 2, 2, s.width - 2, s.height - 2, false, kLit);
}

void DrawButton(Surface& s, bool pressed) {
  Box(s, 0, 0, s.width, s.height, !pressed);
  if (!pressed) Box(s, 1, 1, s.width - 1, s.height - 1, true);
}

// The preview: a page turning over in 32 steps, one cell of 66 x 66 each, 9 cells a row.
void DrawPreview(Surface& s) {
  Fill(s, 0, 0, s.width, s.height, kFace);
  for (int cell = 0; cell < 32; ++cell) {
    const int ox = (cell % 9) * 66, oy = (cell / 9) * 66;
    Box(s, ox, oy, ox + 66, oy + 66, false, kBackground);
    const double turn = std::cos(cell * 3.14159265358979 / 16.0);
    const int half = std::max(1, static_cast<int>(std::lround(std::abs(turn) * 20)));
    Fill(s, ox + 33 - half, oy + 10, ox + 33 + half, oy + 56, turn >= 0 ? kWhite : kLight);
    for (int line = 0; line < 6 && turn >= 0; ++line)
      Fill(s, ox + 33 - half + 3, oy + 16 + line * 6, ox + 33 + half - 3, oy + 17 + line * 6, kDark);
  }
}

void DrawMarker(Surface& s) {
  Box(s, 0, 0, 21, 34, true, kLight);
  Fill(s, 9, 6, 12, 28, kWhite);
}

void DrawProgressPanel(Surface& s) {
  Panel(s);
  // The bar from x 13 to 393, y 18 to 54, lit where done.
  Well(s, 13, 18, 393, 54);
  Fill(s, 13, 18, 393, 54, kRed);
  Fill(s, 13, 18, 393, 22, 0xF06060);
  Fill(s, 13, 50, 393, 54, kDeepRed);
}

void DrawFolderIcon(Surface& s) {
  Fill(s, 0, 0, s.width, s.height, kKey);
  const int w = s.width, h = s.height;
  Box(s, w / 8, h / 5, w / 2, h / 3, true, 0xE0C050);
  Box(s, w / 8, h / 3 - 1, w * 7 / 8, h * 4 / 5, true, 0xE0C050);
}

void DrawBuildIcon(Surface& s) {
  Fill(s, 0, 0, s.width, s.height, kKey);
  const int w = s.width, h = s.height;
  Box(s, w / 6, h / 6, w * 5 / 6, h * 5 / 6, true, kLight);
  Box(s, w / 3, h / 3, w * 2 / 3, h * 2 / 3, false, kRed);
}

void DrawSmallIcon(Surface& s) {
  Fill(s, 0, 0, s.width, s.height, kKey);
  Box(s, 4, 4, s.width - 4, s.height - 4, true, kLight);
}

constexpr int kNamedCount = static_cast<int>(IdePic::kCount);

}  // namespace

// The named pictures first, in the order of IdePic, then the picture table's slots.
const std::vector<PictureFile>& IdePictureFiles() {
  static const std::vector<PictureFile> files = [] {
    std::vector<PictureFile> f = {
        {"screen.png", 640, 480, DrawScreen},
        {"track.png", 15, 402, DrawTrack},
        {"thumb.png", 15, 402, DrawThumb},
        {"tab.png", 16, 34, [](Surface& s) { DrawTab(s, false); }},
        {"tab_selected.png", 16, 34, [](Surface& s) { DrawTab(s, true); }},
        {"toolbar.png", 66, 22, [](Surface& s) { DrawToolbarButton(s, false); }},
        {"toolbar_hover.png", 66, 22, [](Surface& s) { DrawToolbarButton(s, true); }},
        {"arrow_up.png", 12, 23, [](Surface& s) { DrawArrow(s, true, false); }},
        {"arrow_up_hover.png", 12, 23, [](Surface& s) { DrawArrow(s, true, true); }},
        {"arrow_down.png", 12, 20, [](Surface& s) { DrawArrow(s, false, false); }},
        {"arrow_down_hover.png", 12, 20, [](Surface& s) { DrawArrow(s, false, true); }},
        {"file_panel.png", 419, 321, DrawFilePanel, 1},
        {"message_panel.png", 404, 50, DrawMessagePanel, 2},
        {"find_panel.png", 222, 140, Panel, 3},
        {"confirm_panel.png", 405, 99, Panel, 4},
        {"tool_panel.png", 419, 194, Panel, 6},
        {"preview.png", 594, 264, DrawPreview, 20},
        {"button.png", 87, 23, [](Surface& s) { DrawButton(s, false); }, 23},
        {"button_pressed.png", 87, 23, [](Surface& s) { DrawButton(s, true); }, 24},
        {"progress_marker.png", 21, 34, DrawMarker, 29},
        {"progress_panel.png", 406, 70, DrawProgressPanel, 30},
        {"new_project.png", 66, 66, DrawFolderIcon, 33},
        {"build.png", 66, 66, DrawBuildIcon, 39},
    };
    for (int slot : {0, 11, 12, 13, 14, 15, 16}) f.push_back({"icon" + std::to_string(slot) + ".png", 32, 32, DrawSmallIcon, slot});
    return f;
  }();
  return files;
}

bool LoadIdePictures(const std::string& installFolder, std::string* whyNot) {
  FreeIdePictures();
  const auto& files = IdePictureFiles();
  for (size_t i = 0; i < files.size(); ++i) {
    // A picture in the folder wins; one that is not there comes from the built-in set.
    std::string path = installFolder + "/ide/" + files[i].name;
    std::string why;
    Surface* picture = nullptr;
    const std::string_view builtIn = EmbeddedIdePicture(files[i].name);
    struct stat info;
    if (stat(path.c_str(), &info) != 0 && !builtIn.empty()) {
      path = std::string("built-in ") + files[i].name;
      picture = LoadImageFromMemory(reinterpret_cast<const uint8_t*>(builtIn.data()), builtIn.size(), "png", &why);
    } else {
      picture = LoadImageFile(path.c_str(), &why);
    }
    if (picture == nullptr) {
      if (whyNot) *whyNot = path + ": " + why;
      FreeIdePictures();
      return false;
    }
    if (files[i].slot < 0) named[i] = picture;
    else slots[files[i].slot] = picture;
  }
  return true;
}

void FreeIdePictures() {
  for (Surface*& s : named) SurfaceDestroy(s), s = nullptr;
  for (Surface*& s : slots) SurfaceDestroy(s), s = nullptr;
}

const Surface* IdePicture(IdePic which) {
  const int i = static_cast<int>(which);
  return i >= 0 && i < kNamedCount ? named[i] : nullptr;
}

const Surface* PictureSlot(int slot) { return slot >= 0 && slot < kPictureSlots ? slots[slot] : nullptr; }

void DrawPictureCell(Surface& target, const Surface* picture, SurfaceRect cell, int x, int y) {
  if (picture == nullptr) return;
  BlitOptions keyed;
  keyed.colourKeyed = true;
  keyed.colourKey = kKey;
  SurfaceBlit(target, x, y, *picture, cell, keyed);
}

void DrawPicture(Surface& target, const Surface* picture, int x, int y) {
  if (picture != nullptr) DrawPictureCell(target, picture, {0, 0, picture->width, picture->height}, x, y);
}

void DrawBevel(Surface& target, int state, int x, int y, int width) {
  SurfaceFill(target, {x, y, x + width, y + 17}, IdeColour(4));
  if (state == 0) return;
  const uint32_t lit = IdeColour(state == 1 ? 3 : 5), shade = IdeColour(state == 1 ? 5 : 3);
  SurfaceFill(target, {x, y, x + width, y + 1}, lit);
  SurfaceFill(target, {x, y, x + 1, y + 17}, lit);
  SurfaceFill(target, {x, y + 16, x + width, y + 17}, shade);
  SurfaceFill(target, {x + width - 1, y, x + width, y + 17}, shade);
}
