// Requesters carried out through the memory host: save, overwrite and load, the "save first"
// confirmations, find, new project, builds, the tool table, folder moves, and their drawing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "graphics2d/graphics2d.h"
#include "ide/ide.h"
#include "tests/ide/ide_test_util.h"

namespace {

bool gBuildResult = true;
std::string gBuiltPath;
int gBuiltFlavour = -1;
bool FakeBuild(const std::string& exe, int flavour, const std::string&) {
  gBuiltPath = exe;
  gBuiltFlavour = flavour;
  if (gBuildResult) WriteBytes(exe, "built");
  return gBuildResult;
}

class Flow : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadLanguageTables(QV_SOURCE_DIR "/data"));
    ASSERT_TRUE(BuildGlyphAtlas());
    IdeUserSettings().recent.clear();
    session.editor = &editor;
    session.view = &view;
    session.host = &IdeMemoryHost();
    session.installFolder = dir.path.string();
    session.buildExecutable = FakeBuild;
  }
  // Types text into the focused field, as the window's characters arrive.
  void TypeInto(const std::string& text) {
    for (unsigned char c : text) requester.Key({IdeEventKind::kChar, c, 0});
  }
  void Press(int button) {
    const SurfaceRect& r = requester.button(button).rect;
    CarryOutRequesterCode(requester, session, requester.Click((r.left + r.right) / 2, (r.top + r.bottom) / 2));
  }
  const std::string& Desc(int key) { return IdeText(IdeTable::kDesc, key); }
  // Field 1 set to typed and the confirming button pressed: refused with the message, which a
  // click then takes away.
  void ExpectRefused(const std::string& typed, int descKey) {
    requester.field(1).text = typed;
    Press(2);
    EXPECT_EQ(requester.message(), Desc(descKey)) << typed;
    EXPECT_TRUE(requester.IsOpen()) << typed;
    requester.Click(0, 0);
  }
  TempFolder dir;
  SourceEditor editor{IdeMemoryHost()};
  IdeView view;
  Requester requester;
  IdeSession session;
};

}  // namespace

TEST_F(Flow, SaveAsAppendsTheExtensionAsksBeforeOverwritingAndRefusesReadOnly) {
  editor.buffer().lines = {"print 1"};
  editor.TypeChar('x');
  OpenRequester(requester, session, 3, 2, dir.path.string());
  EXPECT_EQ(DisplayStage(), 3);
  TypeInto("game");
  // The save kind's header fields become the source's header.
  const SurfaceRect author = requester.field(3).rect;
  requester.Click(author.left + 5, author.top + 5);
  TypeInto("Me");
  Press(2);
  EXPECT_FALSE(requester.IsOpen());
  EXPECT_EQ(DisplayStage(), 2);
  EXPECT_EQ(ReadBytes(dir / "game.qva"), "Rem * Author : Me\r\nxprint 1");
  EXPECT_FALSE(editor.buffer().unsaved);
  EXPECT_EQ(editor.buffer().name, "game.qva");
  EXPECT_EQ(view.title, Desc(32));
  EXPECT_TRUE(view.menus[0].enabled[2] && view.menus[0].enabled[4]);
  ASSERT_EQ(IdeUserSettings().recent.size(), 1u);
  EXPECT_EQ(IdeUserSettings().recent[0].name, "game.qva");

  // The same name again: the overwrite question names the file; No keeps it.
  editor.TypeChar('y');
  OpenRequester(requester, session, 3, 2, dir.path.string());
  Press(2);
  ASSERT_EQ(requester.kind(), 4);
  EXPECT_EQ(requester.ConfirmText(), dir / "game.qva" + " " + Desc(10));
  Press(1);
  EXPECT_FALSE(requester.IsOpen());
  EXPECT_EQ(ReadBytes(dir / "game.qva"), "Rem * Author : Me\r\nxprint 1");
  EXPECT_TRUE(editor.buffer().unsaved);

  // Yes overwrites, except a read-only file, which stays as it was with the requester open.
  chmod((dir / "game.qva").c_str(), 0444);
  OpenRequester(requester, session, 3, 2, dir.path.string());
  Press(2);
  Press(2);
  EXPECT_TRUE(requester.IsOpen());
  EXPECT_EQ(requester.message(), Desc(28));
  EXPECT_EQ(ReadBytes(dir / "game.qva"), "Rem * Author : Me\r\nxprint 1");
  EXPECT_TRUE(editor.buffer().unsaved);
  requester.Click(0, 0);  // takes the message away
  Press(1);
  chmod((dir / "game.qva").c_str(), 0644);
  OpenRequester(requester, session, 3, 2, dir.path.string());
  Press(2);
  Press(2);
  EXPECT_EQ(ReadBytes(dir / "game.qva"), "Rem * Author : Me\r\nxyprint 1");
  EXPECT_FALSE(editor.buffer().unsaved);

  // An empty name is refused with a message.
  OpenRequester(requester, session, 3, 2, dir.path.string());
  ExpectRefused("", 16);
}

TEST_F(Flow, LoadListsTheFolderShowsHeadersAndLoadsOnTheSecondClick) {
  WriteBytes(dir / "b.qva", "Rem * Title  : Bee\r\nRem * Author : Al\r\nprint 2\r\n");
  WriteBytes(dir / "notes.txt", "x");
  std::filesystem::create_directory(dir.path / "sub");
  OpenRequester(requester, session, 2, 1, dir.path.string());
  const auto& list = requester.list();
  ASSERT_EQ(list.size(), 4u);  // the parent, "sub", "b.qva", "notes.txt": never "." or ".."
  EXPECT_EQ(list[1].name, "sub");
  EXPECT_EQ(list[2].name, "b.qva");
  EXPECT_FALSE(requester.EntryDate(2).empty());
  const int x = requester.panel().left + 20, y = requester.panel().top + 45 + 2 * 16 + 4;
  CarryOutRequesterCode(requester, session, requester.Click(x, y));
  EXPECT_EQ(requester.field(1).text, "b.qva");
  EXPECT_EQ(requester.field(2).text, "Bee");
  EXPECT_EQ(requester.field(3).text, "Al");
  EXPECT_EQ(requester.field(4).text, "");
  CarryOutRequesterCode(requester, session, requester.Click(x, y));
  EXPECT_FALSE(requester.IsOpen());
  EXPECT_EQ(editor.buffer().lines[0], "print 2");
  EXPECT_EQ(editor.buffer().title, "Bee");
  EXPECT_EQ(editor.buffer().folder, dir.path.string());
  EXPECT_EQ(view.title, Desc(13));

  // A name without ".qva" and a missing file are refused; the source stays.
  OpenRequester(requester, session, 2, 1, dir.path.string());
  ExpectRefused("notes.txt", 15);
  ExpectRefused("gone.qva", 14);
  EXPECT_EQ(editor.buffer().lines[0], "print 2");

  // Folders: into "sub" with two clicks, back up with two on the parent entry.
  const int subY = requester.panel().top + 45 + 16 + 4;
  requester.Click(x, subY);
  CarryOutRequesterCode(requester, session, requester.Click(x, subY));
  EXPECT_EQ(requester.folder(), dir / "sub");
  EXPECT_EQ(requester.list().size(), 1u);
  const int parentY = requester.panel().top + 45 + 4;
  requester.Click(x, parentY);
  CarryOutRequesterCode(requester, session, requester.Click(x, parentY));
  EXPECT_EQ(requester.folder(), dir.path.string());
}

TEST_F(Flow, AFailedSaveFirstStopsTheClearAndTheLoad) {
  WriteBytes(dir / "kept.qva", "old\r\n");
  ASSERT_TRUE(editor.LoadSource(dir / "kept.qva", nullptr));
  editor.buffer().name = "kept.qva";
  editor.buffer().folder = dir.path.string();
  editor.TypeChar('z');
  chmod((dir / "kept.qva").c_str(), 0444);
  // Save, then a new source (code 3): the save fails, nothing is cleared, the title says why.
  OpenRequester(requester, session, 4, 5, dir.path.string());
  Press(2);
  EXPECT_EQ(editor.buffer().lines[0], "zold");
  EXPECT_TRUE(editor.buffer().unsaved);
  EXPECT_EQ(view.title.rfind(Desc(36), 0), 0u) << view.title;
  EXPECT_EQ(ReadBytes(dir / "kept.qva"), "old\r\n");
  // Save, then load (code 43) or leave (45): the load requester and the leave question never open.
  for (int purpose : {8, 9}) {
    OpenRequester(requester, session, 4, purpose, dir.path.string());
    Press(2);
    EXPECT_FALSE(requester.IsOpen()) << purpose;
    EXPECT_EQ(session.shellCode, 0) << purpose;
  }
  // Discard, then a new source (code 4) clears.
  OpenRequester(requester, session, 4, 5, dir.path.string());
  Press(1);
  EXPECT_EQ(editor.buffer().lines, std::vector<std::string>{""});
  EXPECT_TRUE(editor.buffer().name.empty());
  EXPECT_EQ(view.title, Desc(33));
  // A source without a name: "save first" asks for a name instead of clearing.
  editor.TypeChar('q');
  OpenRequester(requester, session, 4, 5, dir.path.string());
  Press(2);
  EXPECT_EQ(requester.kind(), 3);
  EXPECT_EQ(editor.buffer().lines[0], "q");
  // Saved first, the load requester opens.
  chmod((dir / "kept.qva").c_str(), 0644);
  editor.buffer().name = "kept.qva";
  editor.buffer().folder = dir.path.string();
  OpenRequester(requester, session, 4, 8, dir.path.string());
  Press(2);
  EXPECT_EQ(requester.kind(), 2);
  EXPECT_EQ(ReadBytes(dir / "kept.qva"), "q");
}

TEST_F(Flow, FindNewProjectBuildAndTools) {
  editor.buffer().lines = {"a", "print x"};
  // Find: found closes; not found shows the message and the next click closes.
  OpenRequester(requester, session, 11, 21, dir.path.string());
  TypeInto("PRINT");
  Press(2);
  EXPECT_FALSE(requester.IsOpen());
  EXPECT_EQ(editor.buffer().cursor, (TextPos{1, 5}));
  OpenRequester(requester, session, 11, 21, dir.path.string());
  TypeInto("nowhere");
  Press(2);
  EXPECT_EQ(requester.message(), Desc(29));
  EXPECT_EQ(requester.Click(0, 0), 1);

  // New project: a new name makes the folder and its source; a file's name is refused; an
  // existing folder is opened without making anything.
  std::filesystem::create_directory(dir.path / "myproj");
  WriteBytes(dir / "myproj/plain", "x");
  OpenRequester(requester, session, 8, 31, dir / "myproj");
  TypeInto("space");
  EXPECT_EQ(requester.button(2).label, IdeText(IdeTable::kGeneral, 6));
  Press(2);
  EXPECT_FALSE(requester.IsOpen());
  EXPECT_TRUE(std::filesystem::exists(dir / "myproj/space/space.qva"));
  EXPECT_EQ(view.title, Desc(24) + " Space " + Desc(25));
  EXPECT_EQ(SourceTitle("space.qva", dir / "myproj/space", dir / "myproj"), "Project: Space  Source: space.qva");
  OpenRequester(requester, session, 8, 31, dir / "myproj");
  ExpectRefused("plain", 20);
  ExpectRefused("", 19);
  requester.field(1).text = "space";
  requester.CommitField();
  EXPECT_EQ(requester.button(2).label, IdeText(IdeTable::kGeneral, 20));  // "Select"
  editor.buffer().lines = {"changed"};
  Press(2);
  EXPECT_EQ(view.title, Desc(22));
  EXPECT_EQ(editor.buffer().lines, std::vector<std::string>{""});  // the saved empty source

  // Build: the game is named as typed (no ".exe"); an existing one asks first.
  OpenRequester(requester, session, 7, 12, dir.path.string());
  TypeInto("game");
  Press(2);
  EXPECT_EQ(gBuiltPath, dir / "game");
  EXPECT_EQ(gBuiltFlavour, 1);
  EXPECT_EQ(view.title, Desc(34));
  OpenRequester(requester, session, 6, 11, dir.path.string());
  TypeInto("game");
  gBuildResult = false;
  Press(2);
  EXPECT_EQ(requester.purpose(), 13);
  Press(2);
  EXPECT_EQ(view.title, Desc(18));
  gBuildResult = true;

  // The tool table: a typed path that does not exist is flagged; choosing a program sets it.
  WriteBytes(dir / "paint.exe", "");
  OpenRequester(requester, session, 71, 71, dir.path.string());
  const SurfaceRect f1 = requester.field(1).rect;
  requester.Click(f1.left + 3, f1.top + 3);
  TypeInto("/nowhere/x.exe");
  requester.CommitField();
  EXPECT_EQ(requester.message(), "File does not exist!");
  EXPECT_FALSE(IdeUserSettings().tools[0].usable);
  requester.Click(0, 0);
  Press(4);  // tool 2's "Choose"
  ASSERT_EQ(requester.kind(), 72);
  EXPECT_EQ(requester.folder(), dir.path.string());
  ExpectRefused("none.exe", 26);
  WriteBytes(dir / "notes.txt", "");
  ExpectRefused("notes.txt", 27);  // neither .exe nor a file that may be run
  requester.field(1).text = "paint.exe";
  Press(2);
  EXPECT_FALSE(requester.IsOpen());
  EXPECT_EQ(IdeUserSettings().tools[2].path, dir / "paint.exe");
  EXPECT_TRUE(IdeUserSettings().tools[2].usable);
  EXPECT_EQ(session.toolTableIn, 6);
  // A program without ".exe" is listed with the programs and may be chosen.
  WriteBytes(dir / "draw", "#!/bin/sh\n");
  chmod((dir / "draw").c_str(), 0755);
  OpenRequester(requester, session, 71, 71, dir.path.string());
  Press(3);  // tool 1's "Choose"
  ASSERT_EQ(requester.kind(), 72);
  bool listed = false;
  for (const ListEntry& e : requester.list()) listed = listed || (e.name == "draw" && e.type == 3);
  EXPECT_TRUE(listed);
  requester.SetFolder(dir.path.string());
  requester.field(1).text = "draw";
  Press(2);
  EXPECT_FALSE(requester.IsOpen());
  EXPECT_EQ(IdeUserSettings().tools[1].path, dir / "draw");
  IdeUserSettings() = IdeSettings();
}

TEST_F(Flow, FieldKeysAndDrawing) {
  OpenRequester(requester, session, 12, 22, dir.path.string());
  TypeInto("abc");
  requester.Key({IdeEventKind::kKeyDown, kVkLeft, 0});
  requester.Key({IdeEventKind::kKeyDown, kVkLeft, 0});
  requester.Key({IdeEventKind::kChar, 8, 0});         // backspace: the "a"
  requester.Key({IdeEventKind::kKeyDown, kVkDelete, 0});  // delete: the "b"
  EXPECT_EQ(requester.field(1).text, "c");
  EXPECT_EQ(requester.caretColumn(), 0);
  for (int i = 0; i < 300; ++i) requester.Key({IdeEventKind::kChar, 'x', 0});
  EXPECT_EQ(requester.field(1).text.size(), 255u);  // a field holds at most 255 characters
  EXPECT_EQ(requester.Key({IdeEventKind::kKeyDown, kVkEscape, 0}), 1);

  std::string why;
  ASSERT_TRUE(LoadIdePictures(QV_SOURCE_DIR "/data", &why)) << why;
  Surface* screen = SurfaceCreate(640, 480);
  auto at = [&](int x, int y) { return screen->pixels[static_cast<size_t>(y) * 640 + x]; };
  requester.field(1).text = "ab";
  requester.Draw(*screen, 0);
  const SurfaceRect p = requester.panel();
  const Surface* panel = PictureSlot(3);
  EXPECT_EQ(at(p.left + 1, p.top + 1), panel->pixels[1 * panel->width + 1]);
  // The caret blinks: shown in frames 0-9, hidden in 10-19.
  const SurfaceRect f = requester.field(1).rect;
  const int caretX = f.left + 3 + TextWidth("ab");
  requester.Draw(*screen, 0);
  EXPECT_EQ(at(caretX, f.top + 8), 0xFFFFFFu);
  requester.Draw(*screen, 10);
  EXPECT_NE(at(caretX, f.top + 8), 0xFFFFFFu);
  // A pressed button shows the pressed picture; a message its panel.
  const SurfaceRect b = requester.button(2).rect;
  requester.Click((b.left + b.right) / 2, (b.top + b.bottom) / 2);
  requester.Draw(*screen, 0);
  EXPECT_EQ(at(b.left + 1, b.top + 1), PictureSlot(24)->pixels[24 * 0 + 87 + 1]);
  requester.ShowMessage("hello");
  requester.Draw(*screen, 0);
  EXPECT_EQ(at(119, 206), PictureSlot(2)->pixels[404 + 1]);
  SurfaceDestroy(screen);
  FreeIdePictures();
}

TEST_F(Flow, ListThumbDragAndReactivation) {
  for (int i = 0; i < 30; ++i) WriteBytes(dir / ("f" + std::to_string(100 + i) + ".qva"), "");
  std::filesystem::create_directory(dir.path / "sub");
  OpenRequester(requester, session, 2, 1, dir.path.string());
  ASSERT_EQ(requester.list().size(), 32u);  // the parent, "sub" and 30 sources
  const int left = requester.panel().left, top = requester.panel().top;
  // The thumb (7 of 32 entries: 24 px from y 45) is grabbed and dragged to the end.
  requester.Click(left + 398, top + 50);
  EXPECT_TRUE(requester.draggingList());
  requester.DragList(top + 45 + 112 + 40, true);
  EXPECT_EQ(requester.firstShown(), 32 - 7);
  requester.DragList(top + 45 + 10, true);
  EXPECT_EQ(requester.firstShown(), 32 * 5 / 112);
  requester.DragList(0, false);
  EXPECT_FALSE(requester.draggingList());
  // Below the thumb the track moves seven entries.
  requester.Click(left + 398, top + 150);
  EXPECT_EQ(requester.firstShown(), 1 + 7);

  // Leaving the window and coming back closes the requester in the folder it was opened in.
  requester.SetFolder(dir / "sub");
  RequesterWindowActivated(requester, session);
  EXPECT_FALSE(requester.IsOpen());
  EXPECT_EQ(requester.folder(), dir.path.string());
  EXPECT_FALSE(view.hasRequester);
}

// A new folder takes the name typed; when it is taken, the next free numbered name; a name
// that cannot be a folder is refused with the message.
TEST_F(Flow, NewFolderTakesTheNextFreeNumberedName) {
  OpenRequester(requester, session, 2, 1, dir.path.string());
  requester.field(1).text = "levels";
  RequesterAction(requester, session, 3);
  RequesterAction(requester, session, 3);
  RequesterAction(requester, session, 3);
  for (const char* name : {"levels", "levels2", "levels3"}) EXPECT_TRUE(std::filesystem::is_directory(dir.path / name)) << name;
  EXPECT_FALSE(std::filesystem::exists(dir.path / "levels4"));
  requester.field(1).text = "a/b";
  RequesterAction(requester, session, 3);
  EXPECT_FALSE(std::filesystem::exists(dir.path / "a"));
  EXPECT_EQ(requester.message(), Desc(17));
}

// A new project whose folder cannot be made (its parent is gone) is refused with the message
// and leaves the source as it was.
TEST_F(Flow, ANewProjectFolderThatCannotBeMadeIsRefused) {
  editor.buffer().lines = {"keep"};
  OpenRequester(requester, session, 8, 31, dir / "myproj");
  std::filesystem::remove_all(dir.path / "myproj");
  ExpectRefused("rocket", 21);
  EXPECT_FALSE(std::filesystem::exists(dir.path / "myproj"));
  EXPECT_EQ(editor.buffer().lines, std::vector<std::string>{"keep"});
}
