// The environment's help viewer: pages read from the help folder with their entities, a
// history with back and forward, the page layout with its links, and context help.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/surface.h"

// ---- Layout pieces ----------------------------------------------------------------------
struct HelpFont {
  std::string face = "Arial";
  int height = 16;  // pixels
  int weight = 400;  // 700 bold
  bool italic = false;
  bool underline = false;
};

// How wide a text is in a font: the drawing's glyph advances, or a fixed width in tests.
struct HelpMeasurer {
  int (*Width)(const std::string& text, const HelpFont& font);
};
// The drawing's measurer: the glyph atlas's cells, scaled to the font's height.
const HelpMeasurer& HelpGlyphMeasurer();

// One piece of text the layout placed, in the page surface's coordinates (y of its top).
struct HelpRun {
  int x = 0, y = 0;
  std::string text;
  HelpFont font;
  uint32_t colour = 0xFFFFFF;  // XRGB
};

struct HelpLink {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // inclusive rectangle
  std::string target;
};

// Everything a layout pass carries from token to token; an index page keeps copies of it
// (checkpoints) so a scrolled page is laid out from just above what shows.
struct HelpLayoutState {
  size_t textPos = 0;
  int y = 0;  // in page coordinates (0 = the page's top line, before scrolling)
  int x = 0;
  bool centred = false;
  bool paragraphStart = true;
  HelpFont font;
  uint32_t colour = 0xFFFFFF, returnColour = 0xFFFFFF;
  bool inLink = false;
  int linkX = 0, linkY = 0;  // page coordinates
  std::string linkTarget;
};

constexpr int kHelpTop = 4;          // the first line's y
constexpr int kHelpLeft = 8;         // the left margin
constexpr int kHelpRightLimit = 608;  // text wraps before this x
constexpr int kHelpLineStep = 32;
constexpr int kHelpPageStep = 438;
constexpr int kHelpMaxName = 255;    // page names, link targets and history entries
constexpr int kHelpMaxHistory = 256;  // positions kept; older ones fall off the front
constexpr size_t kHelpMaxPageBytes = size_t{4} << 20;
constexpr int kHelpAreaWidth = 616, kHelpAreaHeight = 417;  // what shows, at (0, 42) of the screen
constexpr int kHelpAreaTop = 42;

// A link target's page and the entry it names: "commands/sprites.htm#sprite" is the page
// "commands/sprites.htm" and the anchor "sprite" (an <A NAME="sprite"> on it); "" for none.
std::string HelpPageOf(const std::string& name);
std::string HelpAnchorOf(const std::string& name);

// Turns the character entities of a page's text (what lies between its tags) into single
// ISO 8859-1 bytes; an unknown entity is dropped up to its ";" (and an "&" without one drops
// the rest).
std::string DecodeHtmlEntities(const std::string& text);

// ---- The viewer -------------------------------------------------------------------------
class HelpViewer {
 public:
  // Where pages live: helpRoot is the folder the names are taken relative to.
  void SetHelpRoot(const std::string& helpRoot) { root_ = helpRoot; }
  const std::string& helpRoot() const { return root_; }
  // The file a page name stands for: a name starting with "/" is used as it is; any other
  // is taken from the root, with "..", "." and "\" resolved (never above the root).
  std::string HelpPagePath(const std::string& name) const;
  // The file a link of the current page names (resolved as a page would be), "" when none.
  std::string LinkedFilePath(const std::string& name) const;

  // Reads name relative to the current folder; on failure nothing changes.
  bool ReadHelpPage(const std::string& name);
  // Reads the page (from the root when not found from the current folder) and records it
  // at the current history position with scroll 0; a name with "#anchor" is scrolled to that
  // entry by the first layout.
  bool OpenHelpPage(const std::string& name);
  // Start-up and the Help menu: a fresh history with the page at position 1.
  bool OpenHelpHome(const std::string& name);
  // Follows a link; a page that cannot be opened leaves page, folder and history as they were.
  bool NavigateHelp(const std::string& name);
  bool HelpBack();
  bool HelpForward();
  bool CanHelpBack() const { return position_ > 1; }
  bool CanHelpForward() const { return position_ < top_; }

  void HelpLineUp() { ScrollBy(-kHelpLineStep); }
  void HelpLineDown() { ScrollBy(kHelpLineStep); }
  void HelpPageUp() { ScrollBy(-kHelpPageStep); }
  void HelpPageDown() { ScrollBy(kHelpPageStep); }

  // Lays the page out from scratch at the current scroll: the runs to draw and the links.
  // Text shown when no page is loaded is placeholder.
  void LayoutHelpPage(const HelpMeasurer& measure, const std::string& placeholder = std::string());
  const std::vector<HelpRun>& runs() const { return runs_; }
  const std::vector<HelpLink>& links() const { return links_; }
  // The target of the first link of the last layout whose rectangle holds (x, y), or "".
  std::string FindHelpLinkAt(int x, int y) const;

  // Where an anchor of the page starts (page coordinates), -1 when the layout met none.
  int AnchorY(const std::string& anchor) const;
  const std::string& pageText() const { return text_; }  // as read: tags and entities
  const std::string& pageName() const { return pageName_; }
  const std::string& currentFolder() const { return folder_; }
  void ClearCurrentFolder() { folder_.clear(); }
  int scroll() const { return scroll_; }
  void set_scroll(int scroll) { scroll_ = scroll; }
  int contentHeight() const { return contentHeight_; }
  int position() const { return position_; }
  int top() const { return top_; }
  int historySize() const { return static_cast<int>(history_.size()); }
  size_t checkpointCount() const { return checkpoints_.size(); }

 private:
  struct HistoryEntry {
    std::string page;  // the path that was read
    int scroll = 0;
  };
  struct Checkpoint {
    bool recorded = false;
    HelpLayoutState state;
  };
  void ScrollBy(int delta);
  bool ReopenEntry(const HistoryEntry& entry);  // a history page, read from the root
  bool IsIndexPage() const;
  void DrawHelpText(const HelpMeasurer& measure, HelpLayoutState& s, std::string text);
  void DrawHelpWords(const HelpMeasurer& measure, HelpLayoutState& s, const std::string& text);
  void ApplyHtmlTag(HelpLayoutState& s, const std::string& original);
  // Resolves name against folder: the path below the root and the folder it lies in.
  bool ResolveName(const std::string& name, const std::string& folder, std::string* relative,
                   std::string* newFolder) const;

  std::string root_;
  std::string text_;        // the current page as read (entities are decoded as text is laid out)
  std::string pageName_;    // as it was asked for
  std::string pagePath_;    // as it was read
  std::string folder_;      // of the current page below the root, ending in "/" or empty
  int scroll_ = 0;
  int contentHeight_ = 0;
  std::vector<HistoryEntry> history_;  // position p is history_[p - 1]
  int position_ = 0, top_ = 0;
  std::vector<HelpRun> runs_;
  std::vector<HelpLink> links_;
  std::vector<Checkpoint> checkpoints_;  // index pages only, from the first layout
  std::string pendingAnchor_;  // the entry the page scrolls to after its first layout
  std::vector<std::pair<std::string, int>> anchors_;  // <A NAME=...> and its y, from the first layout
};

// ---- Context help -----------------------------------------------------------------------
// The link texts of an index page with their targets, read once per lookup.
class HelpIndex {
 public:
  bool Load(const std::string& path);
  void LoadText(const std::string& text);
  // The target of the link whose text is phrase (letter case aside), or false.
  bool FindIndexLink(const std::string& phrase, std::string* target) const;

 private:
  std::vector<std::pair<std::string, std::string>> links_;  // upper-cased text, target; sorted
};

// The phrases tried for the word under column of line, longest first, the word under the
// cursor first (at most kMaxContextWords words, phrases of at most kMaxPhraseWords words).
constexpr int kMaxContextWords = 255;
constexpr int kMaxPhraseWords = 8;
std::vector<std::string> ContextPhrases(const std::string& line, int column);
// The page for the word under the cursor, by index; "nocontex.htm" when nothing matches.
std::string FindContextPage(const HelpIndex& index, const std::string& line, int column);

// ---- What the shell calls -----------------------------------------------------------------
// The environment's one viewer, made on first use; it lives for the whole process.
HelpViewer& TheHelpViewer();
// Start-up and the Help menu: pages from installFolder + HelpFolder(); opens page (menu.htm)
// with a fresh history. False when it cannot be read (the viewer shows its placeholder).
bool ShowHelpHome(const std::string& installFolder, const std::string& page = "menu.htm");
// F1 and the Help menu's context help: opens the page of the command under column of line
// (0-based), or nocontex.htm; true when a command's page was found.
bool ShowContextHelp(const std::string& installFolder, const std::string& line, int column);
// Each frame in help mode: the background and the page, laid out at the current scroll,
// into the help area of the screen ((0, 42) to (616, 459)).
void DrawHelpScreen(Surface& screen, const std::string& placeholder = std::string());
// The link under a point of the screen (after a DrawHelpScreen), "" when none.
std::string HelpLinkUnder(int x, int y);
// A click on the screen: follows the link under it; true when a page was opened. A link to a
// source file (".qva") is not followed: its path goes to *source for the shell to load.
bool HelpClick(int x, int y, std::string* source = nullptr);
