// The source editor driven through the memory host: file round trips, the edit table, the
// clipboard, find/replace, go-to-line and the save flows.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "ide/ide.h"
#include "tests/ide/ide_test_util.h"

namespace fs = std::filesystem;

namespace {

SourceEditor EditorWith(std::vector<std::string> lines) {
  SourceEditor editor(IdeMemoryHost());
  editor.buffer().lines = std::move(lines);
  return editor;
}

void Type(SourceEditor& e, const std::string& text) {
  for (unsigned char c : text) e.TypeChar(c);
}

}  // namespace

TEST(SourceFiles, LoadAndSaveRoundTripByteForByte) {
  TempFolder dir;
  const struct {
    const char* what;
    std::string bytes;
    size_t lines;
  } cases[] = {
      {"CR LF", "print 1\r\n\r\nend\r\n", 3},
      {"LF only", "print 1\n\tx=2\nend\n", 3},
      {"no final line end", "a\r\nb", 2},
      {"header", "Rem * Title  : Game\r\nRem * Author : Me\r\nRem * Date   : 1/2/3\r\nprint 1\r\n", 1},
      {"title only", "Rem * Title  : Game\r\nprint 1\r\n", 1},
      {"long line", std::string(5000, 'x') + "\r\n" + std::string(5001, 'y') + "\r\n", 2},
      // Header lines as the user wrote them: an empty one, another case, no blank, no line end.
      {"empty title", "rem * title  :\r\nprint 1\r\n", 1},
      {"empty date and odd case", "REM * Author :Me\nRem * Date   : \nprint 1\n", 1},
      {"header without a line end", "Rem * Title  : Game", 1},
      {"long title", "Rem * Title  : " + std::string(300, 't') + "\r\nx\r\n", 1},
      {"only a header", "Rem * Title  : T\r\nRem * Author : A\r\nRem * Date   : D\r\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(dir / "in.qva", c.bytes);
    SourceEditor editor(IdeMemoryHost());
    ASSERT_TRUE(editor.LoadSource(dir / "in.qva", nullptr));
    EXPECT_EQ(editor.buffer().lines.size(), c.lines);
    ASSERT_TRUE(editor.SaveSource(dir / "out.qva", nullptr));
    EXPECT_EQ(ReadBytes(dir / "out.qva"), c.bytes);
  }
  SourceEditor editor(IdeMemoryHost());
  ASSERT_TRUE(editor.LoadSource(dir / "in.qva", nullptr));
  EXPECT_EQ(editor.buffer().title, "T");
  EXPECT_EQ(editor.buffer().author, "A");
  EXPECT_EQ(editor.buffer().date, "D");
  EXPECT_EQ(editor.buffer().lines, std::vector<std::string>{""});
}

TEST(SourceFiles, ACodeLineIsNeverTakenForAHeaderAndLoadAcceptsAnyCase) {
  TempFolder dir;
  // 13 characters before the colon, but not a header line.
  WriteBytes(dir / "Mixed.QVA", "print a$ + b$: end\r\n");
  SourceEditor editor(IdeMemoryHost());
  ASSERT_TRUE(editor.LoadSource(dir / "mixed.qva", nullptr));
  EXPECT_EQ(editor.buffer().title, "");
  EXPECT_EQ(editor.buffer().lines[0], "print a$ + b$: end");
  std::string why;
  EXPECT_FALSE(editor.LoadSource(dir / "missing.qva", &why));
  EXPECT_EQ(editor.buffer().lines[0], "print a$ + b$: end");  // unchanged
  EXPECT_FALSE(why.empty());
}

TEST(SourceFiles, SaveFlows) {
  TempFolder dir;
  EXPECT_EQ(WithSourceExtension("game"), "game.qva");
  EXPECT_EQ(WithSourceExtension("game.bas"), "game.bas");
  EXPECT_EQ(WithSourceExtension("my.dir/game"), "my.dir/game.qva");

  SourceEditor editor = EditorWith({"print 1"});
  editor.buffer().title = "Kept";
  Type(editor, "x");
  EXPECT_TRUE(editor.buffer().unsaved);

  // A read-only target is refused, left untouched, and the source stays unsaved.
  const std::string locked = dir / "locked.qva";
  WriteBytes(locked, "old\r\n");
  chmod(locked.c_str(), 0444);
  std::string why;
  EXPECT_FALSE(editor.SaveSource(locked, &why));
  EXPECT_EQ(ReadBytes(locked), "old\r\n");
  EXPECT_TRUE(editor.buffer().unsaved);
  EXPECT_FALSE(why.empty());

  // A folder that cannot be written: the save fails, nothing is left behind.
  const std::string sealed = dir / "sealed";
  fs::create_directory(sealed);
  WriteBytes(sealed + "/a.qva", "old\r\n");
  chmod(sealed.c_str(), 0555);
  if (geteuid() != 0) {
    EXPECT_FALSE(editor.SaveSource(sealed + "/a.qva", &why));
    EXPECT_EQ(ReadBytes(sealed + "/a.qva"), "old\r\n");
    EXPECT_TRUE(editor.buffer().unsaved);
  }
  chmod(sealed.c_str(), 0755);

  // A failed save is never followed by the clear that asked for it.
  EXPECT_FALSE(editor.SaveThenClear(locked, &why));
  EXPECT_EQ(editor.buffer().lines[0], "xprint 1");
  EXPECT_TRUE(editor.buffer().unsaved);

  // Every save writes the header; success clears the unsaved flag.
  ASSERT_TRUE(editor.SaveSource(dir / "ok.qva", nullptr));
  EXPECT_FALSE(editor.buffer().unsaved);
  EXPECT_EQ(ReadBytes(dir / "ok.qva"), "Rem * Title  : Kept\r\nxprint 1");
  ASSERT_TRUE(editor.SaveThenClear(dir / "ok2.qva", nullptr));
  EXPECT_EQ(editor.buffer().lines, std::vector<std::string>{""});
  EXPECT_EQ(ReadBytes(dir / "ok2.qva"), "Rem * Title  : Kept\r\nxprint 1");
  for (const auto& entry : fs::directory_iterator(dir.path))
    EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST(EditTable, TypingEnterBackspaceDeleteAndJoins) {
  SourceEditor editor = EditorWith({"ab", "cd"});
  auto& b = editor.buffer();
  Type(editor, "x");
  EXPECT_EQ(b.lines[0], "xab");
  editor.TypeChar(13);  // Enter splits at the cursor
  EXPECT_EQ(b.lines, (std::vector<std::string>{"x", "ab", "cd"}));
  EXPECT_EQ(b.cursor, (TextPos{1, 0}));
  editor.TypeChar(8);  // Backspace at column 0 joins with the line above
  EXPECT_EQ(b.lines, (std::vector<std::string>{"xab", "cd"}));
  EXPECT_EQ(b.cursor, (TextPos{0, 1}));
  editor.PressKey(EditKey::kEnd);
  editor.PressKey(EditKey::kDelete);  // Delete at the end joins the next line
  EXPECT_EQ(b.lines, (std::vector<std::string>{"xabcd"}));
  editor.PressKey(EditKey::kEnd);
  editor.PressKey(EditKey::kDelete);  // nothing follows: nothing happens
  EXPECT_EQ(b.lines, (std::vector<std::string>{"xabcd"}));
  editor.PressKey(EditKey::kHome);
  editor.PressKey(EditKey::kDelete);
  EXPECT_EQ(b.lines, (std::vector<std::string>{"abcd"}));
  editor.TypeChar(8);  // Backspace at the very start does nothing
  EXPECT_EQ(b.lines, (std::vector<std::string>{"abcd"}));
  EXPECT_TRUE(b.unsaved);
  // The tab advances x to the next multiple of 24.
  editor.PressKey(EditKey::kHome);
  editor.TypeChar(9);
  EXPECT_EQ(editor.XFromColumn(0, 1), 24);
  EXPECT_EQ(editor.XFromColumn(0, 2), 36);
  EXPECT_EQ(editor.ColumnFromX(0, 30), 2);
}

TEST(EditTable, SelectionByKeysAndMouseBlockIndentAndUndo) {
  SourceEditor editor = EditorWith({"one", "two", "three", "four"});
  auto& b = editor.buffer();
  editor.PressKey(EditKey::kRight, true);
  editor.PressKey(EditKey::kDown, true);
  EXPECT_EQ(b.start, (TextPos{0, 0}));
  EXPECT_EQ(b.end, (TextPos{1, 1}));
  EXPECT_EQ(editor.SelectedText(), "one\nt");
  editor.PressKey(EditKey::kLeft);  // an arrow without Shift clears it
  EXPECT_FALSE(editor.HasSelection());

  // Mouse: press on row 1 at x 2, drag to row 3 column 0: Tab indents rows 1 and 2 only.
  editor.ClickAt(2, kTextTop + kRowHeight + 1);
  editor.DragTo(2, kTextTop + 3 * kRowHeight + 1);
  EXPECT_EQ(b.start, (TextPos{1, 0}));
  EXPECT_EQ(b.end, (TextPos{3, 0}));
  b.unsaved = false;
  editor.TypeChar(9);
  EXPECT_EQ(b.lines, (std::vector<std::string>{"one", "\ttwo", "\tthree", "four"}));
  EXPECT_TRUE(b.unsaved);
  editor.TypeChar(9, true);  // Shift+Tab unindents the same lines
  EXPECT_EQ(b.lines, (std::vector<std::string>{"one", "two", "three", "four"}));
  editor.Undo();  // one snapshot: back to before the unindent
  EXPECT_EQ(b.lines, (std::vector<std::string>{"one", "\ttwo", "\tthree", "four"}));

  // Typing over a selection replaces it; undo restores it and marks the source unsaved.
  editor.SelectRange({0, 1}, {2, 2});
  b.unsaved = false;
  Type(editor, "Z");
  EXPECT_EQ(b.lines, (std::vector<std::string>{"oZhree", "four"}));
  b.unsaved = false;
  editor.Undo();
  EXPECT_EQ(b.lines[0], "one");
  EXPECT_TRUE(b.unsaved);
}

TEST(Clipboard, CopyCutAndPasteWithCrLf) {
  IdeMemory().clipboard.clear();
  SourceEditor editor = EditorWith({"alpha", "beta", "gamma"});
  auto& b = editor.buffer();
  editor.SelectRange({0, 2}, {2, 3});
  editor.Copy();
  EXPECT_EQ(IdeMemory().clipboard, "pha\r\nbeta\r\ngam");
  editor.Cut();
  EXPECT_EQ(b.lines, (std::vector<std::string>{"alma"}));
  EXPECT_TRUE(b.unsaved);
  editor.Paste();
  EXPECT_EQ(b.lines, (std::vector<std::string>{"alpha", "beta", "gamma"}));
  EXPECT_EQ(b.cursor, (TextPos{2, 3}));
  // LF-only and lone CR text from other programs splits lines too; control bytes go.
  IdeMemory().clipboard = "x\ny\rz\x01";
  editor.Paste();
  EXPECT_EQ(b.lines[2], "gamx");
  EXPECT_EQ(b.lines[3], "y");
  EXPECT_EQ(b.lines[4], "zma");
  b.unsaved = false;
  editor.Undo();
  EXPECT_EQ(b.lines, (std::vector<std::string>{"alpha", "beta", "gamma"}));
  EXPECT_TRUE(b.unsaved);
}

TEST(FindReplace, FindWrapsOnceEmptyIsRefusedReplaceStaysInSelection) {
  SourceEditor editor = EditorWith({"Print a", "b = 1", "print c"});
  auto& b = editor.buffer();
  b.cursor = {1, 0};
  EXPECT_EQ(editor.Find("PRINT"), 2);
  EXPECT_EQ(b.start, (TextPos{2, 0}));
  EXPECT_EQ(b.end, (TextPos{2, 5}));
  EXPECT_EQ(editor.FindNext(), 0);  // wraps to the top
  EXPECT_EQ(editor.FindNext(), 2);
  EXPECT_EQ(editor.Find("absent"), -1);
  EXPECT_EQ(editor.Find(""), -1);  // refused, never an endless search
  // The only match is found again after going round once.
  SourceEditor one = EditorWith({"x", "needle", "y"});
  EXPECT_EQ(one.Find("needle"), 1);
  EXPECT_EQ(one.FindNext(), 1);

  editor.SelectRange({0, 0}, {1, 5});
  EXPECT_EQ(editor.Replace("print", "PRINTOUT"), 1);
  EXPECT_EQ(b.lines, (std::vector<std::string>{"PRINTOUT a", "b = 1", "print c"}));
  EXPECT_EQ(editor.Replace("", "x"), -1);
  editor.ClearSelection();
  EXPECT_EQ(editor.Replace("a", "aa"), 1);  // every match once, not endlessly
  EXPECT_EQ(b.lines[0], "PRINTOUT aa");
  EXPECT_EQ(editor.Replace("zzz", "q"), -1);
}

TEST(View, GoToLinePagingAndScrollBar) {
  std::vector<std::string> lines;
  for (int i = 0; i < 100; ++i) lines.push_back("line " + std::to_string(i));
  SourceEditor editor = EditorWith(lines);
  auto& b = editor.buffer();
  editor.GoToSourceLine(60);
  EXPECT_EQ(b.cursor, (TextPos{59, 7}));
  EXPECT_EQ(b.start, (TextPos{59, 0}));
  EXPECT_EQ(b.topLine, 44);
  editor.GoToSourceLine(5000);
  EXPECT_EQ(b.cursor.line, 99);
  editor.PressKey(EditKey::kTop);
  EXPECT_EQ(b.topLine, 0);
  editor.PressKey(EditKey::kPageDown);
  EXPECT_EQ(b.topLine, 31);
  editor.PressKey(EditKey::kBottom);
  EXPECT_EQ(b.topLine, 68);
  EXPECT_EQ(editor.ThumbLength(), 382 * 32 / 100);
  EXPECT_EQ(editor.ThumbPosition(), 382 - 382 * 32 / 100);
  // Short sources: no scrolling, no division by zero.
  for (int count : {1, 32, 33}) {
    SourceEditor small = EditorWith(std::vector<std::string>(count, "x"));
    small.PressKey(EditKey::kPageDown);
    EXPECT_EQ(small.buffer().topLine, count > 32 ? 1 : 0) << count;
    EXPECT_EQ(small.ThumbLength(), count > 32 ? 382 * 32 / 33 : 382) << count;
    EXPECT_GE(small.ThumbPosition(), 0);
  }
  // A long line scrolls the view sideways to keep the cursor shown.
  SourceEditor wide = EditorWith({std::string(5000, 'w')});
  wide.PressKey(EditKey::kEnd);
  EXPECT_GT(wide.buffer().leftColumn, 0);
  EXPECT_LT(wide.XFromColumn(0, 5000), 618);
}

TEST(EditTable, EveryChangeMarksUnsavedAndEachBufferKeepsItsOwnUndo) {
  const struct {
    const char* what;
    void (*change)(SourceEditor&);
  } changes[] = {
      {"typing", [](SourceEditor& e) { e.TypeChar('a'); }},
      {"backspace joining", [](SourceEditor& e) { e.buffer().cursor = {1, 0}; e.TypeChar(8); }},
      {"delete joining", [](SourceEditor& e) { e.PressKey(EditKey::kEnd); e.PressKey(EditKey::kDelete); }},
      {"paste", [](SourceEditor& e) { IdeMemory().clipboard = "p"; e.Paste(); }},
      {"cut", [](SourceEditor& e) { e.SelectRange({0, 0}, {0, 2}); e.Cut(); }},
      {"undo", [](SourceEditor& e) { e.SelectRange({0, 0}, {0, 2}); e.Cut(); e.buffer().unsaved = false; e.Undo(); }},
      {"replace", [](SourceEditor& e) { e.Replace("one", "1"); }},
  };
  for (const auto& c : changes) {
    SCOPED_TRACE(c.what);
    SourceEditor editor = EditorWith({"one", "two"});
    ASSERT_FALSE(editor.buffer().unsaved);
    c.change(editor);
    EXPECT_TRUE(editor.buffer().unsaved);
  }
  // Moving the cursor or copying changes nothing.
  SourceEditor editor = EditorWith({"one", "two"});
  editor.PressKey(EditKey::kDown);
  editor.SelectRange({0, 0}, {0, 3});
  editor.Copy();
  EXPECT_FALSE(editor.buffer().unsaved);

  // A cut in buffer 1 and a paste in buffer 2: each undo takes back its own buffer's change.
  editor.Cut();
  editor.SelectBuffer(2);
  editor.buffer().lines = {"b2"};
  editor.Paste();
  EXPECT_EQ(editor.buffer().lines, std::vector<std::string>{"oneb2"});
  editor.SelectBuffer(1);
  EXPECT_EQ(editor.buffer().lines, (std::vector<std::string>{"", "two"}));
  editor.Undo();
  EXPECT_EQ(editor.buffer().lines, (std::vector<std::string>{"one", "two"}));
  editor.SelectBuffer(2);
  EXPECT_EQ(editor.buffer().lines, std::vector<std::string>{"oneb2"});
  editor.Undo();
  EXPECT_EQ(editor.buffer().lines, std::vector<std::string>{"b2"});
}
