// The editor driven by window events from the memory host: keys with Shift and Ctrl, typed
// characters, marking with the mouse, the clipboard, and the text's scroll bar.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "ide/ide.h"
#include "tests/ide/ide_test_util.h"

namespace {
// Runs every queued event through the editor; the last request it made.
EditorRequest Drain(SourceEditor& editor, bool* menuMode) {
  EditorRequest last = EditorRequest::kNone;
  IdeEvent e;
  while (IdeMemoryHost().NextEvent(&e)) {
    const EditorRequest r = HandleEditorEvent(editor, e, menuMode);
    if (r != EditorRequest::kNone) last = r;
  }
  return last;
}
IdeEvent Key(int key, int mods = 0) { return {IdeEventKind::kKeyDown, key, mods}; }
IdeEvent Char(int c) { return {IdeEventKind::kChar, c, 0}; }
}  // namespace

TEST(EditorInput, KeysCharactersMouseAndClipboardThroughEvents) {
  SourceEditor editor(IdeMemoryHost());
  editor.buffer().lines = {"one", "two", "three"};
  bool menuMode = true;
  auto& events = IdeMemory().events;
  // Shift+Down, Shift+Right mark; Ctrl+C copies with CR LF; End, Enter and Ctrl+V paste.
  events = {Key(kVkDown, kModShift), Key(kVkRight, kModShift), Key('C', kModCtrl), Key(kVkDown), Key(kVkEnd),
            Char(13), Key('V', kModCtrl)};
  EXPECT_EQ(Drain(editor, &menuMode), EditorRequest::kNone);
  EXPECT_FALSE(menuMode);  // a key leaves menu mode
  EXPECT_EQ(IdeMemory().clipboard, "one\r\nt");
  EXPECT_EQ(editor.buffer().lines, (std::vector<std::string>{"one", "two", "three", "one", "t"}));
  EXPECT_TRUE(editor.buffer().unsaved);
  // Ctrl+Z takes back the paste only; Ctrl+F and Ctrl+R ask for their requesters.
  events = {Key('Z', kModCtrl)};
  Drain(editor, &menuMode);
  EXPECT_EQ(editor.buffer().lines, (std::vector<std::string>{"one", "two", "three", ""}));
  events = {Key('F', kModCtrl)};
  EXPECT_EQ(Drain(editor, &menuMode), EditorRequest::kFind);
  events = {Key('R', kModCtrl)};
  EXPECT_EQ(Drain(editor, &menuMode), EditorRequest::kReplace);
  // Tab over a selection indents it; Shift+Tab takes the tabs away again.
  editor.SelectRange({0, 0}, {1, 2});
  events = {Key(kVkTab)};
  Drain(editor, &menuMode);
  EXPECT_EQ(editor.buffer().lines[0], "\tone");
  EXPECT_EQ(editor.buffer().lines[1], "\ttwo");
  events = {Key(kVkTab, kModShift), Char(9)};  // a character 9 after the key types nothing more
  Drain(editor, &menuMode);
  EXPECT_EQ(editor.buffer().lines[0], "one");
  // The mouse: press on row 0, move to row 2, release; moves after the release mark nothing.
  events = {{IdeEventKind::kButtonDown, 2 + 12, kTextTop + 2},
            {IdeEventKind::kMouseMove, 2 + 2 * 12, kTextTop + 2 * kRowHeight + 2},
            {IdeEventKind::kButtonUp, 0, 0},
            {IdeEventKind::kMouseMove, 2, kTextTop + 3}};
  Drain(editor, &menuMode);
  EXPECT_EQ(editor.SelectedText(), "ne\ntwo\nth");
  // A press outside the text area moves nothing.
  events = {{IdeEventKind::kButtonDown, 630, 200}};
  Drain(editor, &menuMode);
  EXPECT_EQ(editor.SelectedText(), "ne\ntwo\nth");
}

TEST(EditorInput, ScrollBarDragPagesAndArrows) {
  SourceEditor editor(IdeMemoryHost());
  IdeView view;
  // A short source: the bar takes the press and nothing scrolls, nothing divides by zero.
  editor.buffer().lines.assign(10, "x");
  view.thumbLength = editor.ThumbLength();
  view.thumbRect = {};
  EXPECT_TRUE(ScrollBarPress(editor, view, 630, 300));
  EXPECT_EQ(editor.buffer().topLine, 0);
  EXPECT_FALSE(ScrollBarPress(editor, view, 300, 300));  // not the bar's

  editor.buffer().lines.assign(132, "x");
  view.thumbLength = editor.ThumbLength();  // 382 * 32 / 132 = 92
  view.thumbPosition = 0;
  view.thumbRect = {625, 53, 640, 53 + view.thumbLength + 20};
  // The track below the thumb pages down.
  EXPECT_TRUE(ScrollBarPress(editor, view, 630, 400));
  EXPECT_EQ(editor.buffer().topLine, 31);
  // Dragging the thumb to the end of the track shows the last 32 lines.
  editor.ScrollTo(0);
  EXPECT_TRUE(ScrollBarPress(editor, view, 630, 60));
  EXPECT_TRUE(view.thumbDragging);
  view.mouseY = 60 + 1000;
  ScrollBarPass(editor, view, true);
  EXPECT_EQ(view.thumbPosition, 382 - view.thumbLength);
  EXPECT_EQ(editor.buffer().topLine, 100);
  ScrollBarPass(editor, view, false);  // released
  EXPECT_FALSE(view.thumbDragging);
  // A held arrow scrolls one line a pass, never past either end.
  view.menuHover = 32;
  ScrollBarPass(editor, view, true);
  EXPECT_EQ(editor.buffer().topLine, 100);
  view.menuHover = 31;
  ScrollBarPass(editor, view, true);
  EXPECT_EQ(editor.buffer().topLine, 99);
}

TEST(EditorInput, ThumbArithmeticForAnyCount) {
  const struct {
    int count, visible, top, length, position;
  } cases[] = {
      {0, 32, 0, 382, 0},          {32, 32, 5, 382, 0},      {33, 32, 1, 382 * 32 / 33, 382 - 382 * 32 / 33},
      {132, 32, 50, 92, 145},      {132, 32, 500, 92, 290},  {132, 32, -3, 92, 0},
      {30000000, 32, 29999968, 0, 382},  // millions of lines: no overflow
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ThumbLengthFor(c.count, c.visible), c.length) << c.count;
    EXPECT_EQ(ThumbPositionFor(c.count, c.visible, c.top), c.position) << c.count << " " << c.top;
    if (c.count > c.visible && c.length < 382) {
      EXPECT_EQ(TopFromThumb(c.count, c.visible, 382 - c.length), c.count - c.visible) << c.count;
    }
  }
  EXPECT_EQ(TopFromThumb(10, 32, 100), 0);
}

TEST(EditorInput, MarkingHeldBelowTheTextScrollsALineAPass) {
  SourceEditor editor(IdeMemoryHost());
  editor.buffer().lines.assign(40, "line");
  IdeView view;
  editor.ClickAt(5, kTextTop + 2);
  view.mouseX = 5, view.mouseY = 470;  // below the text area, held still
  for (int pass = 1; pass <= 3; ++pass) {
    EditorMousePass(editor, view, true);
    EXPECT_EQ(editor.buffer().cursor.line, 31 + pass);
    EXPECT_EQ(editor.buffer().topLine, pass);
  }
  EXPECT_TRUE(view.marking);
  EditorMousePass(editor, view, false);  // released
  EXPECT_FALSE(view.marking);
  view.mouseY = 10;
  EditorMousePass(editor, view, true);  // no longer marking: nothing moves
  EXPECT_EQ(editor.buffer().cursor.line, 34);
  EXPECT_EQ(editor.buffer().start, (TextPos{0, 1}));  // the marking kept its start
}

TEST(EditorInput, FolderScansSkipDotEntriesByNameAndTellKinds) {
  TempFolder dir;
  WriteBytes(dir / "a.qva", "");
  WriteBytes(dir / "..hidden", "");  // begins with ".." but is an ordinary file
  WriteBytes(dir / "run", "");
  chmod((dir / "run").c_str(), 0755);
  std::filesystem::create_directory(dir / "sub");
  chmod((dir / "sub").c_str(), 0755);  // a folder is no program, whatever its bits
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ScanDiskFolder(dir.path.string(), &entries));
  std::vector<std::string> seen;
  for (const auto& e : entries)
    seen.push_back(e.name + (e.isFolder ? " folder" : "") + (e.program ? " program" : "") +
                   (e.writeTime > 0 ? "" : " no time"));
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"..hidden", "a.qva", "run program", "sub folder"}));
  EXPECT_FALSE(ScanDiskFolder(dir / "missing", &entries));
}

TEST(EditorInput, TypedTextReachesAPresentedFrame) {
  ASSERT_TRUE(LoadLanguageTables(QV_SOURCE_DIR "/data"));
  ASSERT_TRUE(BuildGlyphAtlas());
  std::string why;
  ASSERT_TRUE(LoadIdePictures(QV_SOURCE_DIR "/data", &why)) << why;
  SourceEditor editor(IdeMemoryHost());
  IdeView view;
  for (int m = 1; m <= 6; ++m) view.menus[m - 1].title = IdeText(IdeTable::kMenu, m);
  view.title = "Ready";
  bool menuMode = false;
  for (unsigned char c : std::string("print 7\rrem x")) IdeMemory().events.push_back({IdeEventKind::kChar, c, 0});
  Drain(editor, &menuMode);
  Surface* frame = SurfaceCreate(640, 480);
  DrawEditorFrame(editor, view, *frame);
  std::vector<std::string> trace;
  RedrawEditor(editor, *frame, &trace);
  EXPECT_EQ(trace[0], "{0}print 7");
  EXPECT_EQ(trace[1], "{7}rem x");  // a comment line
  const int before = IdeMemory().framesPresented;
  ASSERT_TRUE(IdeMemoryHost().Present(*frame));
  EXPECT_EQ(IdeMemory().framesPresented, before + 1);
  const auto& shown = IdeMemory().lastFrame;
  ASSERT_EQ(shown.size(), 640u * 480u);
  auto any = [&](SurfaceRect r, uint32_t colour) {
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (shown[static_cast<size_t>(y) * 640 + x] == colour) return true;
    return false;
  };
  EXPECT_TRUE(any({2, 43, 2 + 5 * 12, 56}, 0xFFFFFF));       // "print"
  EXPECT_TRUE(any({2, 56, 2 + 5 * 12, 69}, 0xFFFFD2));       // "rem x" in the comment colour
  EXPECT_TRUE(any({kUnsavedMarkX, 463, kUnsavedMarkX + TextWidth("*"), 479}, 0xFFFFFF));  // the unsaved mark
  SurfaceDestroy(frame);
  FreeIdePictures();
}
