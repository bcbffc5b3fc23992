// The development environment: its language texts, recent files and tool settings, and the
// source editor with its file format, clipboard, find/replace and one level of undo.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/surface.h"

// ---- What the environment needs from the machine, behind one table --------------------
// The SDL2 host (IdeSdlHost) and the memory host of the tests (IdeMemoryHost) fill it in.
struct IdeHost {
  bool (*GetClipboard)(std::string* text);  // the clipboard's text; false when none
  bool (*SetClipboard)(const std::string& text);
  uint32_t (*Milliseconds)();               // a clock for caret blinking and double clicks
};
// The table over the desktop's clipboard and clock.
const IdeHost& IdeSdlHost();
// A host with no desktop: a clipboard string and a clock the test moves.
struct IdeMemoryState {
  std::string clipboard;
  bool hasClipboard = true;
  uint32_t milliseconds = 0;
};
IdeMemoryState& IdeMemory();
const IdeHost& IdeMemoryHost();

// ---- Language texts ---------------------------------------------------------------------
enum class IdeTable { kGeneral, kMenu, kTitle, kDesc, kCompiler, kErrors };
// Loads the six tables from SETUP.INI's language choice under installFolder
// (lang/<language>/WORDS.TXT, any case); false, all tables empty, without the file.
// Called once by whoever starts the environment.
bool LoadLanguageTables(const std::string& installFolder);
void FreeLanguageTables();
// The text of key in a table; "" when it has none (callers draw nothing then).
const std::string& IdeText(IdeTable table, int key);
// The help pages' folder under the install folder: "HELP/" or "LANG/<LANGUAGE>/HELP/".
const std::string& HelpFolder();
// The character-set numbers of SETUP.INI (0 when not given).
int TextCharset();
int HelpCharset();

// ---- Recent files and tool programs -----------------------------------------------------
struct RecentFile {
  std::string name;
  std::string folder;
};
struct ToolEntry {
  bool usable = false;  // the program file exists
  std::string path;
  int processId = 0;
};
struct IdeSettings {
  std::vector<RecentFile> recent;  // newest first, at most 4
  ToolEntry tools[5];
};
IdeSettings& Settings();
// Reads and writes section QuorvanelStateData of the given WIN.INI.
void ReadRecentFiles(const std::string& winIni);
bool WriteRecentFiles(const std::string& winIni);
bool IsRecentFile(const std::string& name, const std::string& folder);
// Puts the pair first; a fifth distinct file drops the oldest.
void AddRecentFile(const std::string& name, const std::string& folder);
bool HasSourceExtension(const std::string& path);  // ".qva", any case
bool HasExeExtension(const std::string& path);
// A save name without a "." gets ".qva"; one with a "." is used as typed.
std::string WithSourceExtension(const std::string& name);

// ---- The source editor ------------------------------------------------------------------
constexpr int kVisibleRows = 32;

struct TextPos {
  int line = 0;
  int column = 0;
  bool operator==(const TextPos&) const = default;
};

// The keys the editor acts on, apart from typed characters.
enum class EditKey { kLeft, kRight, kUp, kDown, kHome, kEnd, kDelete, kPageUp, kPageDown, kTop, kBottom };

struct SourceBuffer {
  std::vector<std::string> lines{std::string()};  // never empty; no terminators inside
  std::string lineEnd = "\r\n";                   // as the loaded file had them
  bool finalLineEnd = false;                      // the file's last line had one
  int topLine = 0;
  int leftColumn = 0;
  TextPos cursor;
  TextPos anchor, start, end;  // selection: start..end (end column exclusive)
  bool marking = false;        // a Shift-selection began at anchor
  bool unsaved = false;
  std::string title, author, date;  // the header texts
  std::string name, folder;         // the file it came from
  // One undo level.
  bool hasSnapshot = false;
  std::vector<std::string> snapshot;
  TextPos snapshotCursor;
  // Find and replace texts (lower-cased find).
  std::string findText, replaceText;
};

class SourceEditor {
 public:
  explicit SourceEditor(const IdeHost& host) : host_(host) {}
  SourceBuffer& buffer() { return buffers_[current_]; }
  const SourceBuffer& buffer() const { return buffers_[current_]; }
  int currentBuffer() const { return current_ + 1; }
  void SelectBuffer(int n);  // 1 or 2; clears the selection

  // Files. Loading keeps the buffer unchanged when the file cannot be read.
  bool LoadSource(const std::string& path, std::string* whyNot);
  // Writes the header and the lines through a temporary file renamed over the target; a
  // read-only target is refused and left untouched. Clears the unsaved flag only on success.
  bool SaveSource(const std::string& path, std::string* whyNot);
  void ClearSource();
  // "Save first, then clear" (new source, new project, load, leave): the clear happens only
  // when the save succeeded; a failed one keeps every line and says why.
  bool SaveThenClear(const std::string& path, std::string* whyNot);
  // The bytes SaveSource would write.
  std::string SourceBytes() const;

  // Editing.
  void TypeChar(unsigned char ch, bool shift = false);  // 32..255, 9 (tab), 8 (backspace), 13 (enter)
  void PressKey(EditKey key, bool shift = false);
  void Cut();
  void Copy();
  void Paste();
  void DeleteSelection();
  void Undo();
  bool HasSelection() const { return !(buffer().start == buffer().end); }
  void ClearSelection();
  void SelectRange(TextPos from, TextPos to);  // as the mouse marks
  void ClickAt(int x, int y);                  // a press in the text area
  void DragTo(int x, int y);                   // the button held while marking
  std::string SelectedText() const;            // lines joined by "\n"

  // Find returns the line found, or -1 (also for an empty needle). Replace returns 1 after
  // replacing, -1 when nothing matched.
  int Find(const std::string& needle);
  int FindNext() { return Find(buffer().findText); }
  int Replace(const std::string& needle, const std::string& replacement);
  void GoToSourceLine(int n);  // 1-based

  // View: pixel x of a column (2 + advances, tabs to multiples of 24) and back.
  int XFromColumn(int line, int column) const;
  int ColumnFromX(int line, int x) const;
  void KeepCursorVisible();
  // Scroll-bar thumb length and position on the 382 px track.
  int ThumbLength() const;
  int ThumbPosition() const;

 private:
  void TakeSnapshot();
  void MarkChanged() { buffer().unsaved = true; }
  void ExtendSelection();
  void MoveCursor(EditKey key);
  void InsertText(const std::string& text);  // at the cursor, "\n" splits lines
  const IdeHost& host_;
  SourceBuffer buffers_[2];
  int current_ = 0;
};

// The glyph advance of the editor font (cells of 12 x 16).
constexpr int kGlyphWidth = 12;
constexpr int kTextTop = 43;
constexpr int kRowHeight = 13;

// ---- Drawing ------------------------------------------------------------------------------
constexpr int kCellWidth = 12;
constexpr int kCellHeight = 16;
constexpr int kAtlasWidth = 344;
constexpr int kAtlasHeight = 1024;
// Glyph pages: the font's colour pairs for each use.
enum GlyphPage { kPageText = 0, kPageSelected = 1, kPageMenuHover = 2, kPageStatus = 3, kPageStatus2 = 4,
                 kPageMenu = 5, kPageDisabled = 6, kPageComment = 7 };
// The environment's colours (XRGB): 0 the text background, 1 the selection, 3 to 5 the light
// edge, face and dark edge of bevels.
uint32_t IdeColour(int entry);
// The 5:6:5 word of an RGB colour (red in the low byte), as 16-bit screens store it.
uint16_t ToRgb565(uint32_t colorref);

// Renders the 8 pages of glyphs 32..255 into a 344 x 1024 atlas, 12 x 16 cells, with
// DejaVu Sans Mono through FreeType. Called once when the environment starts; false when no
// font could be had.
bool BuildGlyphAtlas();
void FreeGlyphAtlas();
const Surface* GlyphAtlas();
// Where glyph (page * 256 + c) sits in the atlas.
SurfaceRect GlyphCell(int glyph);
int GlyphAdvance(int glyph);
// Draws the bytes of text as glyphs of a page; returns the x after the last one.
int DrawIdeText(Surface& target, const std::string& text, int page, int x, int y);
int TextWidth(const std::string& text);

// Whether a line is a comment line (drawn in the comment page).
bool IsCommentLine(const std::string& text);
// Draws the 32 visible rows of the editor's current buffer into the text area of target,
// (0, 43)-(617, 459). The trace holds per row what was drawn: each glyph as its byte, with
// the page number before any change of page as "{n}".
void RedrawEditor(const SourceEditor& editor, Surface& target, std::vector<std::string>* trace = nullptr);
// Clears the status line and draws the title from x 2 at y 463; a text wider than 610 px
// shows its end. An unsaved source gets a "*" appended first.
std::string DrawStatusLine(Surface& target, std::string title, bool unsaved);

// The compile progress panel: where the part not yet done is cleared and where the marker
// goes, for a percentage 0..100.
struct ProgressGeometry {
  SurfaceRect panel;      // the panel picture at (117, 220)
  SurfaceRect notDone;    // cleared with colour 0; empty at 100
  int markerX, markerY;   // the marker picture's top-left
  int textCentreX, textY;
};
ProgressGeometry ProgressPanelGeometry(int percent);
// Draws the panel into target (the back buffer) with "<percent> <DESC 9>" centred.
void DrawCompileProgress(Surface& target, int percent);

// ---- Requesters -------------------------------------------------------------------------
// The one modal dialog: a panel centred on (320, 240) with push buttons, one-line fields and
// for the file kinds a list. Kinds: 2 load, 3 save, 4 confirm, 6/7 build, 8 new project,
// 11/12 find/replace, 71 tool table, 72 a tool's program. Button 1 refuses, button 2 confirms.
struct RequesterButton {
  bool used = false;
  SurfaceRect rect{};  // screen coordinates; a hit lies strictly inside
  std::string label;
  bool pressed = false;
};
struct RequesterField {
  bool used = false;
  SurfaceRect rect{};
  bool editable = false;
  std::string text;  // at most 255 characters
};
struct ListEntry {
  int type = 1;  // 0 folder or parent, 1 other file, 2 source, 3 executable, 4 drive
  std::string name;
};
class Requester {
 public:
  void Open(int kind, int purpose);
  void Close() { kind_ = 0, purpose_ = 0; }
  bool IsOpen() const { return kind_ != 0; }
  int kind() const { return kind_; }
  int purpose() const { return purpose_; }
  void set_purpose(int purpose) { purpose_ = purpose; }
  const SurfaceRect& panel() const { return panel_; }
  const RequesterButton& button(int i) const { return buttons_[i]; }
  RequesterField& field(int i) { return fields_[i]; }
  int focusedField() const { return focused_; }
  std::vector<ListEntry>& list() { return list_; }
  int selectedEntry() const { return selected_; }  // 1-based, 0 none
  int firstShown() const { return first_; }
  void ShowMessage(const std::string& text) { message_ = text; }
  const std::string& message() const { return message_; }
  // A press at (x, y): the result code to carry out (0: nothing to do). A shown message is
  // only taken away (after a failed find the requester closes: code 1).
  int Click(int x, int y);
  // Fills the list from entry names (folders first, then sources, executables and other
  // files, each by name without case); "." and ".." are skipped by name.
  void FillList(const std::vector<std::pair<std::string, bool>>& namesAndIsFolder);

 private:
  void AddButton(int slot, int labelKey, int cx, int cy);
  int kind_ = 0, purpose_ = 0;
  SurfaceRect panel_{};
  RequesterButton buttons_[32];
  RequesterField fields_[32];
  int focused_ = 0;
  std::vector<ListEntry> list_;
  int first_ = 0, selected_ = 0;
  std::string message_;
};
// The whole editor screen: the menu bar with the six menu titles (MENU 1 to 6), the text
// rows and the status line with the title.
void DrawEditorScreen(const SourceEditor& editor, Surface& target, const std::string& title);
