// The development environment: its language texts, recent files and tool settings, and the
// source editor with its file format, clipboard, find/replace and one level of undo.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/surface.h"

// ---- What the environment needs from the machine, behind one table --------------------
// The SDL2 host (IdeSdlHost) and the memory host of the tests (IdeMemoryHost) fill it in.
// A window event as the environment handles it. Keys: a = the key's number (kVk... below, the
// letters and digits their upper-case character), b = the modifiers held (kModShift,
// kModCtrl, kModAlt: the left Alt, whose keys type nothing); characters: a = the typed byte
// (8 backspace, 13 Enter); mouse: a, b = x, y in the 640 x 480 frame.
enum class IdeEventKind { kNone, kQuit, kActivate, kDeactivate, kKeyDown, kChar, kMouseMove, kButtonDown, kButtonUp };
struct IdeEvent {
  IdeEventKind kind = IdeEventKind::kNone;
  int a = 0, b = 0;
};
constexpr int kModShift = 1, kModCtrl = 2, kModAlt = 4;
enum IdeKey {
  kVkBack = 8, kVkTab = 9, kVkReturn = 13, kVkEscape = 27, kVkPageUp = 33, kVkPageDown = 34,
  kVkEnd = 35, kVkHome = 36, kVkLeft = 37, kVkUp = 38, kVkRight = 39, kVkDown = 40, kVkDelete = 46,
  kVkF1 = 112, kVkF2, kVkF3, kVkF4, kVkF5, kVkF6, kVkF7, kVkF8, kVkF9, kVkF10, kVkF11, kVkF12,
};
// One entry of a folder listing; "." and ".." are never listed.
struct FolderEntry {
  std::string name;
  bool isFolder = false;
  int64_t writeTime = 0;  // seconds since 1970
  bool program = false;   // a file that may be run (execute permission)
};
struct IdeHost {
  bool (*GetClipboard)(std::string* text);  // the clipboard's text; false when none
  bool (*SetClipboard)(const std::string& text);
  uint32_t (*Milliseconds)();               // a clock for caret blinking and double clicks
  bool (*NextEvent)(IdeEvent* event);       // the next pending event; false when none waits
  bool (*Present)(const Surface& frame);    // shows a 640 x 480 frame
  // The entries of a folder (any order); false when it cannot be read.
  bool (*ScanFolder)(const std::string& folder, std::vector<FolderEntry>* entries);
};
// The table over the desktop's clipboard and clock.
const IdeHost& IdeSdlHost();
// A host with no desktop: a clipboard string and a clock the test moves.
// Events are taken from the front of the queue; presented frames are kept; a folder listed
// in folders is scanned from there, any other from the disk.
struct IdeMemoryState {
  std::string clipboard;
  bool hasClipboard = true;
  uint32_t milliseconds = 0;
  std::vector<IdeEvent> events;
  std::vector<uint32_t> lastFrame;  // 640 x 480 XRGB
  int framesPresented = 0;
  std::vector<std::pair<std::string, std::vector<FolderEntry>>> folders;
};
// The folder's entries from the disk, without "." and "..".
bool ScanDiskFolder(const std::string& folder, std::vector<FolderEntry>* entries);
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
// The help viewer itself (home page, context help, drawing, clicks) is in ide/help/help.h.
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
IdeSettings& IdeUserSettings();
struct MenuRecord;
// Rebuilds menu 1 from item 10: one item per recent file (the file name, or the last folder
// name, "/" and the file name when it lies elsewhere than currentFolder; lower case, under
// 256 px and 32 characters, the end kept), a separator when there is any, and the leave item
// (MENU 18). Returns the leave item's index: 10 with no recent files, else count + 11.
int RebuildRecentItems(MenuRecord& fileMenu, const std::string& currentFolder);
// Reads and writes section QuorvanelStateData of the given WIN.INI.
void ReadRecentFiles(const std::string& winIni);
bool WriteRecentFiles(const std::string& winIni);
bool IsRecentFile(const std::string& name, const std::string& folder);
// Puts the pair first; a fifth distinct file drops the oldest.
void AddRecentFile(const std::string& name, const std::string& folder);
bool HasSourceExtension(const std::string& path);  // ".qva", any case
std::string LowerCase(std::string text);  // ASCII letters only
std::string UpperCase(std::string text);
// No write bit for anyone: refused for saving even when the super-user could write it.
bool IsReadOnlyFile(const std::string& path);
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

// The three header texts of a source file (empty when it has none); false when unreadable.
bool ReadSourceHeader(const std::string& path, std::string* title, std::string* author, std::string* date);

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
  // Each header line as the file had it (with its line end; empty when there was none) and
  // the text it gave: unchanged, it is written back as it was, also when its text is empty.
  std::string headerLines[3], headerTexts[3];
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
  const SourceBuffer& bufferNumber(int n) const { return buffers_[n == 2 ? 1 : 0]; }  // 1 or 2
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
  void EndMouseMarking() { mouseMarking_ = false; }
  bool mouseMarking() const { return mouseMarking_; }
  void ScrollTo(int top);                      // the first shown line, kept in the source
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
  bool mouseMarking_ = false;
  SourceBuffer buffers_[2];
  int current_ = 0;
};

// The scroll bars' arithmetic (the text's and the help page's) on the 382 px track: the thumb's
// length and position for count lines of which visible are shown from top, and the top line
// a dragged thumb stands for.
int ThumbLengthFor(int count, int visible);
int ThumbPositionFor(int count, int visible, int top);
int TopFromThumb(int count, int visible, int thumbPosition);

// What an editor event asks of the shell: the find or replace requester.
enum class EditorRequest { kNone, kFind, kReplace };
// The editor's keys, characters and mouse in the text area (x 0 to 617, y 44 to 458): arrows,
// Home, End, Page Up/Down, Delete, Tab (Shift: unindent a selection), typed characters, and
// with Ctrl: X cut, C copy, V paste, N find next, Z undo, F find, R replace. Any key leaves
// menu mode (*menuMode false); a press in the text starts marking by mouse until release.
EditorRequest HandleEditorEvent(SourceEditor& editor, const IdeEvent& event, bool* menuMode);

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
// A colour entry as a screen of the depth stores it: the palette index on 8-bit screens, the
// 5:6:5 word on 16-bit ones, XRGB on deeper ones. Entries 0-8 of the environment's table, and
// (requester true) entries 0-5 of the requester's fields: background, light, mid, dark edge,
// list marker, highlight.
uint32_t IdeColourForDepth(int entry, int depth, bool requester = false);
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
// Clears the status line and draws the title from x 2 at y 463, as written; a text wider
// than kStatusTextWidth shows its end. An unsaved source shows a "*" at kUnsavedMarkX.
// Returns the text shown.
constexpr int kStatusTextWidth = 596, kUnsavedMarkX = 606;
std::string DrawStatusLine(Surface& target, std::string title, bool unsaved, bool secondKind = false);

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
// A status text of a long step (the package writer's "Adding ..." lines) on the panel: the
// marker at its end and the text centred.
void DrawProgressStatus(Surface& target, const std::string& text);
// What the compiler's and the package writer's progress hooks show: the screen with the panel
// over it, presented through the host; nothing while the panel's picture is not loaded. The
// panel's frame is kept between calls, so status lines draw over the last percentage.
void PresentCompileProgress(const IdeHost& host, const Surface& screen, int percent);
void PresentProgressStatus(const IdeHost& host, const std::string& text);
void FreeProgressFrame();

// ---- Pictures ------------------------------------------------------------------------------
// The environment's pictures, PNG files in the folder "ide" of the install folder, drawn
// colour-keyed on black. The named ones, then the numbered table the panels use.
enum class IdePic {
  kScreen,          // 640 x 480: the menu bar, toolbar, text area and status line
  kTrack,           // 15 x 402: the scroll bar's track
  kThumb,           // 15 x 402: the thumb, cut to its length
  kTab, kTabSelected,                // 16 x 34: the buffer tabs
  kToolbarPlain, kToolbarHover,      // 66 x 22: the two toolbar buttons
  kArrowUp, kArrowUpHover,           // 12 x 23
  kArrowDown, kArrowDownHover,       // 12 x 20
  kCount
};
// Slots of the numbered table: 1 the file panel, 2 the message panel, 3 find/replace, 4
// confirm, 6 the tool table, 20 the preview cells (66 x 66, 9 a row), 23/24 a button plain
// and pressed, 29 the progress marker, 30 the progress panel, 33 and 39 the new-project and
// build pictures; 0 and 11 to 16 small icons.
constexpr int kPictureSlots = 40;
// Loads every picture, from the folder where it is there, else from the set built into the
// program; false (with the file that failed) at the first one that cannot be read.
bool LoadIdePictures(const std::string& installFolder, std::string* whyNot);
void FreeIdePictures();
const Surface* IdePicture(IdePic which);
const Surface* PictureSlot(int slot);  // null for a slot without a picture
// The pictures drawn by the environment itself, by file name (the generator writes them).
struct PictureFile {
  std::string name;
  int width, height;
  void (*draw)(Surface& target);
  int slot = -1;  // the picture table's slot; -1 for the named pictures (in the order of IdePic)
};
const std::vector<PictureFile>& IdePictureFiles();
// Colour-keyed copies of a picture or a part of one; nothing for a missing picture.
void DrawPicture(Surface& target, const Surface* picture, int x, int y);
void DrawPictureCell(Surface& target, const Surface* picture, SurfaceRect cell, int x, int y);
// A box 17 px high in the face colour: state 1 raised, 2 pressed, 0 flat.
void DrawBevel(Surface& target, int state, int x, int y, int width);

// ---- Menus, toolbar and scroll bar ------------------------------------------------------
// One drop-down menu: its title and up to 16 items ("-" a separator; an empty text ends the
// list), each with its enabled flag and the shortcut label drawn at its right.
struct MenuRecord {
  std::string title;
  std::string items[16];
  bool enabled[16] = {};
  std::string labels[16];
  bool highlighted = false;
};
// What the environment's frame shows around the text, shared by the shell and the drawing.
struct IdeView {
  MenuRecord menus[6];
  std::string helpWords[3];  // the help toolbar's words
  bool helpMode = false;
  bool canGoBack = false, canGoForward = false;
  int openMenu = 0;    // 1 to 6, 0 none
  int menuHover = 0;   // 11-16 a title, 22/23 a toolbar button, 31/32 a scroll arrow
  int itemHover = 0;   // 1-based item under the mouse in the open drop-down
  int mouseX = 0, mouseY = 0;
  bool marking = false;  // the editor's mouse marking runs: nothing is hovered
  // The text's scroll bar: the thumb's length and position on the 382 px track, a drag.
  int thumbLength = 382, thumbPosition = 0;
  bool thumbDragging = false;
  int dragLastY = 0;
  SurfaceRect thumbRect{};
  std::string title;
  bool secondStatusKind = false;
  bool hasRequester = false;
  // Menu mode (a menu, requester or help page has the input) hides the text bar; outside it the
  // bar blinks at the cursor by the clock (milliseconds).
  bool menuMode = true;
  uint32_t clock = 0;
};
// The x of menu n's title box (n 1 to 6) and its width.
int MenuTitleX(const IdeView& view, int menu);
int MenuTitleWidth(const IdeView& view, int menu);
// The title (1 to 6; in help mode 1 to 3, the help words) that Alt with this key opens: the
// first whose text begins with the key's letter, any case; 0 for none.
int MenuTitleOfKey(const IdeView& view, int key);
// The menu bar from x 8 at y 21: the open menu's box pressed, a hovered title raised.
void DrawMenuBar(Surface& target, const IdeView& view);
// Where menu n's drop-down (n 1 to 6) lies when open: under its title, as wide as its widest
// item and label.
SurfaceRect DropDownRect(const IdeView& view, int menu);
// Draws the open drop-down under its title, where DropDownRect places it.
void DrawDropDown(Surface& target, const IdeView& view);
// Sets menuHover and itemHover from the mouse position.
void UpdateMenuHover(IdeView& view);
// Toolbar buttons, scroll arrows and the buffer tabs (current: 1 or 2).
void DrawToolbar(Surface& target, const IdeView& view, int currentBuffer);
// The text's scroll bar; while dragging, the thumb follows the mouse's vertical movement.
void DrawScrollBar(Surface& target, IdeView& view);
// The text's scroll bar: a press on the thumb starts a drag, on the track above or below it
// pages; true when the press was the bar's. Each pass, a drag sets the top line from the thumb
// and a held arrow (menuHover 31/32) scrolls one line.
bool ScrollBarPress(SourceEditor& editor, IdeView& view, int x, int y);
void ScrollBarPass(SourceEditor& editor, IdeView& view, bool buttonHeld);
// One idle pass of the editor's mouse: the scroll bar's pass, and while marking by mouse the
// cursor follows the mouse (held above or below the text it moves a line a pass, scrolling);
// a released button ends the marking. view.marking tells the hover test.
void EditorMousePass(SourceEditor& editor, IdeView& view, bool buttonHeld);
// One whole frame of the editor: the screen picture, toolbar, menu bar, text, scroll bar,
// status line, the open drop-down, the tab numbers and the two toolbar captions.
void DrawEditorFrame(const SourceEditor& editor, IdeView& view, Surface& target);
// The frame of help mode around the page: the screen picture, toolbar, the help words on the
// menu bar, the scroll bar (thumbLength/thumbPosition as the help viewer sets them), the status
// line and the tab and toolbar captions. The caller copies the page to (0, 42).
void DrawHelpFrame(IdeView& view, Surface& target, int currentBuffer);
// The text bar at the cursor, 13 px high, shown for 500 ms of every second outside menu mode;
// the window shows no pointer of ours, so the frame carries it.
void DrawTextBar(Surface& target, const SourceEditor& editor, const IdeView& view);
// The blinking text bar: the pointer shape 4 at (cursor x - 1, cursor y) outside menu mode;
// shape 5 parked at (-256, -256) in it.
void ShowTextCursor(const SourceEditor& editor, bool menuMode);

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
  // Opens a kind for a purpose; the list kinds list folder() (SetFolder first, then Scan).
  void Open(int kind, int purpose);
  void Close() { kind_ = 0, purpose_ = 0, message_.clear(); }
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
  void FillList(const std::vector<FolderEntry>& entries);
  // The folder the list shows (kept without a trailing "/", "/" for the root) and the one the
  // requester was opened in.
  const std::string& folder() const { return folder_; }
  void SetFolder(const std::string& folder);
  const std::string& startFolder() const { return startFolder_; }
  void SetStartFolder(const std::string& folder) { startFolder_ = folder; }
  // Lists folder() through the host; false (the list keeps only the parent entry) when it
  // cannot be read.
  bool Scan(const IdeHost& host);
  // The path of a name in folder(); an absolute name is used as it is.
  std::string PathOf(const std::string& name) const;
  // The tool chosen in the tool table (0 to 4), from buttons 2 to 6.
  int chosenTool() const { return chosenTool_; }
  void set_chosenTool(int tool) { chosenTool_ = tool; }
  // The dates of the listed entries ("Mon Jan  2 15:04", as the listing shows them).
  std::string EntryDate(int index) const {
    return index >= 0 && index < static_cast<int>(dates_.size()) ? dates_[index] : std::string();
  }
  // Keys: Esc gives code 1 (close), Left/Right move the caret, Delete removes the character
  // right of it; characters from 32 are inserted (at most 255), backspace removes the one left
  // of the caret, Enter commits and gives button 2's code (but in the tool table). Returns the
  // code to carry out (0 none).
  int Key(const IdeEvent& event);
  int caretColumn() const { return caret_; }
  // Each frame while the list's thumb is held: the first shown entry follows the mouse's y;
  // released, the drag ends.
  void DragList(int y, bool held);
  bool draggingList() const { return dragging_; }
  // Stores the focused field's edit state; for the new-project kind button 2 reads "Select"
  // while field 1 names a listed folder, else "Create".
  void CommitField();
  // The text of the confirm kind: a path and DESC 10, or the purpose's question (one the
  // shell asked instead, when it did).
  std::string ConfirmText() const;
  void AskInstead(const std::string& question) { question_ = question; }
  // Draws the panel, captions, buttons, fields, list, caret (blinking every 10 frames), the
  // preview of the loading and saving kinds and a shown message.
  void Draw(Surface& target, int frame);

 private:
  void AddButton(int slot, int labelKey, int cx, int cy);
  int kind_ = 0, purpose_ = 0;
  std::string folder_ = ".", startFolder_ = ".";
  int chosenTool_ = 0;
  int caret_ = 0;
  bool dragging_ = false;
  int grab_ = 0;
  std::vector<std::string> dates_;
  SurfaceRect panel_{};
  RequesterButton buttons_[32];
  RequesterField fields_[32];
  int focused_ = 0;
  std::vector<ListEntry> list_;
  int first_ = 0, selected_ = 0;
  std::string message_;
  std::string question_;
};
// What the requester's actions change outside it; the shell fills it in.
struct IdeSession {
  SourceEditor* editor = nullptr;
  IdeView* view = nullptr;  // the title and menu 1's items 2 and 4
  const IdeHost* host = nullptr;
  std::string installFolder = ".";
  std::string projectsFolder = "./projects";  // where new projects are made
  // The build of an executable from the current source (flavour 0 plain, 1 with the media of
  // the source's folder); without one every build fails.
  bool (*buildExecutable)(const std::string& exePath, int flavour, const std::string& sourceFolder) = nullptr;
  int recentToLoad = 0;    // the recent file (0-based) a confirmation is for
  int toolTableIn = 0;     // passes until the tool table opens again (0: not pending)
  int shellCode = 0;       // left for the shell: 2 leave, 51 load the help page's source
};
// The whole title of the environment for a source name and folder (empty name: DESC 0); a
// project's folder (a folder of projectsFolder) shows as its name.
std::string SourceTitle(const std::string& name, const std::string& folder, const std::string& projectsFolder);
// Carries out a result code of a click or key (the table of codes 1 to 73).
void CarryOutRequesterCode(Requester& requester, IdeSession& session, int code);
// The actions: 1 load, 2 save, 6/7 build, 31 new project, 72/73 a tool's program.
void RequesterAction(Requester& requester, IdeSession& session, int code);
// The window was activated again (another program had it): the requester closes and its folder
// goes back to where it was opened.
void RequesterWindowActivated(Requester& requester, IdeSession& session);
// Opens a kind for a purpose in the folder given (the list kinds scan it).
void OpenRequester(Requester& requester, IdeSession& session, int kind, int purpose, const std::string& folder);

// The whole editor screen: the menu bar with the six menu titles (MENU 1 to 6), the text
// rows and the status line with the title.
void DrawEditorScreen(const SourceEditor& editor, Surface& target, const std::string& title);
