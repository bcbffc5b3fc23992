// The environment's shell driven through the memory host's events: menus, toolbar and
// shortcuts, F5 and F4 through the real compiler and runtime, building a game that runs, the
// questions before losing changes, and external tools.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>

#include "ide/help/help.h"
#include "ide/shell_local.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "runtime/builtins.h"

namespace fs = std::filesystem;

// Declared apart: runtime.h and ide.h both name a Settings().
bool RegisterRuntimeCommands();

namespace {

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const bool registered = RegisterRuntimeCommands() && RegisterCoreBuiltins();
    ASSERT_TRUE(registered);
    root_ = fs::temp_directory_path() / ("qv-shell-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    // The install folder: the texts and pictures of data/, and room for projects.
    fs::create_directories(root_ / "install");
    fs::create_directories(root_ / "Documents");
    fs::create_directory_symlink(QV_SOURCE_DIR "/data/lang", root_ / "install" / "lang");
    fs::create_directory_symlink(QV_SOURCE_DIR "/data/ide", root_ / "install" / "ide");
    fs::create_directory_symlink(QV_SOURCE_DIR "/data/help", root_ / "install" / "help");
    before_ = fs::current_path();
    fs::current_path(root_);
    std::ofstream(root_ / "WIN.INI") << "[QuorvanelStateData]\nINTRO=1\n";
    config_ = {(root_ / "install").string(), root_.string(), (root_ / "WIN.INI").string(), QV_PLAYER, "",
               (root_ / "Documents" / "Quorvanel").string()};
    ResetShellProcess();
    SetIdeConfig(config_);
    SetIdeHost(&IdeMemoryHost());
    IdeMemory().events.clear();
    ASSERT_TRUE(LoadLanguageTables(config_.installFolder));
    ASSERT_TRUE(PlatformCreateMainWindow("Quorvanel", 640, 480));
    SetIdeModeValue(kIdeModeEnd);
    ASSERT_TRUE(IdeEnter("", 0));
  }
  void TearDown() override {
    if (gShell != nullptr) {
      SetIdeModeValue(kIdeModeEnd);
      IdeLeave();
    }
    PlatformDestroyMainWindow();
    fs::current_path(before_);
    fs::remove_all(root_);
  }

  static void Send(IdeEventKind kind, int a = 0, int b = 0) { IdeMemory().events.push_back({kind, a, b}); }
  // Runs loop passes until the events are taken and idle passes have drawn (or the loop ends).
  static bool Pump() {
    for (int i = 0; i < 200; ++i)
      if (IdeLoopPass()) return true;
    return false;
  }
  static void MoveTo(int x, int y) {
    Send(IdeEventKind::kMouseMove, x, y);
    Pump();
  }
  static void Click(int x, int y) {
    Send(IdeEventKind::kMouseMove, x, y);
    Send(IdeEventKind::kButtonDown, x, y);
    Send(IdeEventKind::kButtonUp, x, y);
  }
  static void Key(int key, int modifiers = 0) { Send(IdeEventKind::kKeyDown, key, modifiers); }
  static void Type(const std::string& text) {
    for (char c : text) Send(IdeEventKind::kChar, static_cast<unsigned char>(c));
  }
  // A requester's button: 1 refuses, 2 confirms.
  static void Press(int button) {
    const SurfaceRect& r = gShell->requester.button(button).rect;
    Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    Pump();
  }
  // The centre of a menu title and of an item of its drop-down.
  static int TitleX(int menu) { return MenuTitleLeft(menu) + MenuTitleSize(menu) / 2; }
  static int ItemY(int item) { return 40 + 2 + 16 * item + 8; }
  static void ClickMenuItem(int menu, int item) {
    Click(TitleX(menu), 30);
    Pump();
    Click(TitleX(menu) + 10, ItemY(item));
    Pump();
  }
  // Leaves with the mode word the loop set and acts on it as the driver does, then enters again.
  static void LeaveAndComeBack() {
    ASSERT_TRUE(Pump());
    const int mode = IdeModeValue();
    IdeLeave();
    std::string message;
    int line = 0;
    ActOnModeWord(mode, IdeProgramRunner(), &message, &line);
    ASSERT_TRUE(IdeEnter(message, line));
  }
  // The centre of the shown help page's link to target (after a frame was drawn).
  static bool LinkCentre(const std::string& target, int* x, int* y) {
    for (const HelpLink& l : TheHelpViewer().links())
      if (l.target == target) {
        *x = (l.x1 + l.x2) / 2;
        *y = kHelpAreaTop + (l.y1 + l.y2) / 2;
        return true;
      }
    return false;
  }
  static void SetText(const std::string& text) {
    SourceEditor& e = ShellEditor();
    e.ClearSource();
    e.buffer().lines.clear();
    std::string line;
    for (char c : text)
      if (c == '\n') e.buffer().lines.push_back(line), line.clear();
      else line += c;
    if (!line.empty() || e.buffer().lines.empty()) e.buffer().lines.push_back(line);
    e.buffer().unsaved = true;
  }

  fs::path root_, before_;
  IdeConfig config_;
};

TEST_F(ShellTest, MenusOpenOnTheirTitlesAndRunEnabledItemsOnly) {
  MoveTo(TitleX(1), 30);
  EXPECT_EQ(MenuHoverValue(), 11);
  MoveTo(TitleX(6), 30);
  EXPECT_EQ(MenuHoverValue(), 16);
  // The toolbar buttons and the scroll arrows.
  const struct { int x, y, hover; } kSpots[] = {{500, 10, 22}, {600, 20, 23}, {632, 30, 31}, {632, 470, 32}, {300, 200, 0}};
  for (const auto& spot : kSpots) {
    MoveTo(spot.x, spot.y);
    EXPECT_EQ(MenuHoverValue(), spot.hover) << spot.x << "," << spot.y;
  }
  // No recent files: the leave item is item 10, with no separator before it.
  EXPECT_EQ(MenuItemText(1, 10), IdeText(IdeTable::kMenu, 18));
  EXPECT_EQ(MenuItemLabel(1, 1), "F2");
  Click(TitleX(1), 30);
  Pump();
  ASSERT_EQ(OpenMenuValue(), 1);
  MoveTo(TitleX(1), ItemY(1));
  EXPECT_EQ(MenuItemHoverValue(), 2);
  // New source is disabled while the source has no name: the click only closes the menu.
  ShellEditor().buffer().lines = {"keep me"};
  EXPECT_FALSE(MenuItemEnabled(1, 2));
  Click(TitleX(1), ItemY(2));
  Pump();
  EXPECT_EQ(OpenMenuValue(), 0);
  EXPECT_EQ(ShellEditor().buffer().lines[0], "keep me");
  // A separator does nothing either.
  ClickMenuItem(1, 3);
  Pump();
  EXPECT_EQ(OpenRequesterKind(), 0);
  // Cut is enabled exactly while there is a selection.
  Click(TitleX(2), 30);
  Pump();
  EXPECT_FALSE(MenuItemEnabled(2, 2));
  Key(kVkEscape);
  Pump();
  EXPECT_EQ(OpenMenuValue(), 0);
}

// Alt with a menu title's first letter opens that menu and types nothing; an item clicked right
// after the click that opened its menu (before a frame showed the drop-down: a quick user, a
// slow machine) runs; in help mode Alt and a click answer on the help words.
TEST_F(ShellTest, AltWithATitlesLetterOpensItsMenuAndQuickClicksLand) {
  SetText("x\n");
  for (int menu = 0; menu <= 6; ++menu) {
    const int key = menu == 0 ? 'Q' : std::toupper(static_cast<unsigned char>(IdeText(IdeTable::kMenu, menu)[0]));
    Key(key, kModAlt);
    Pump();
    EXPECT_EQ(OpenMenuValue(), menu) << static_cast<char>(key);
    Key(kVkEscape);
    Pump();
  }
  EXPECT_EQ(ShellEditor().buffer().lines[0], "x");
  Click(TitleX(6), 30);
  Click(TitleX(6) + 10, ItemY(1));
  Pump();
  EXPECT_EQ(OpenRequesterKind(), 71);
  Key(kVkEscape);
  Pump();
  for (const bool byKey : {true, false}) {
    Key(kVkF11);
    Pump();
    ASSERT_TRUE(HelpViewerActive());
    if (byKey) Key(std::toupper(static_cast<unsigned char>(IdeText(IdeTable::kMenu, 91)[0])), kModAlt);
    else Click(TitleX(1), 30);  // "Editor", the first help word
    Pump();
    EXPECT_FALSE(HelpViewerActive()) << byKey;
  }
}

TEST_F(ShellTest, ShortcutsOpenTheirRequesters) {
  const struct { int key, modifiers, kind, purpose; } kKeys[] = {
      {kVkF2, 0, 2, 1},   {kVkF3, 0, 3, 2},   {kVkF6, 0, 6, 11},
      {kVkF7, 0, 7, 12},  {'F', kModCtrl, 11, 21},     {'R', kModCtrl, 12, 22},
  };
  for (const auto& k : kKeys) {
    Key(k.key, k.modifiers);
    Pump();
    EXPECT_EQ(OpenRequesterKind(), k.kind) << k.key;
    EXPECT_EQ(OpenRequesterPurpose(), k.purpose) << k.key;
    Key(kVkEscape);  // the refusing button
    Pump();
    EXPECT_EQ(OpenRequesterKind(), 0) << k.key;
  }
  // F11 opens the help viewer, Esc goes back to the editor; the help menu opens its pages.
  Key(kVkF11);
  Pump();
  EXPECT_TRUE(HelpViewerActive());
  EXPECT_FALSE(HelpPageShown().empty());  // the page the viewer had, or its home page
  Key(kVkEscape);
  Pump();
  EXPECT_FALSE(HelpViewerActive());
  ClickMenuItem(4, 9);
  Pump();
  EXPECT_TRUE(HelpViewerActive());
  EXPECT_EQ(HelpPageShown(), "examples.htm");
  Key(kVkF1);
  Pump();
  EXPECT_FALSE(HelpViewerActive());
  // F1: the page of the command under the cursor, else the page that says there is none.
  ShellEditor().buffer().lines = {"print 1", "qqq"};
  ShellEditor().buffer().cursor = {0, 2};
  Key(kVkF1);
  Pump();
  EXPECT_TRUE(HelpViewerActive());
  // The page of PRINT's family, scrolled to PRINT's own entry.
  EXPECT_EQ(HelpPageShown(), "commands/statements_and_blocks.htm#print");
  EXPECT_GT(TheHelpViewer().scroll(), 0);
  EXPECT_EQ(TheHelpViewer().scroll(), TheHelpViewer().AnchorY("print") - kHelpTop);
  Key(kVkEscape);
  ShellEditor().buffer().cursor = {1, 1};
  Key(kVkF1);
  Pump();
  EXPECT_EQ(HelpPageShown(), "nocontex.htm");
}

// A help page's link to a source asks, then loads it into buffer 2 and shows the editor; the
// question names unsaved changes of buffer 2, and No keeps them.
TEST_F(ShellTest, AHelpLinkToASourceLoadsItIntoTheSecondBuffer) {
  auto clickSourceLink = [] {
    ShowHelpPage("examples/demo.htm");
    Pump();
    int x = 0, y = 0;
    ASSERT_TRUE(LinkCentre("demo.qva", &x, &y));
    Click(x, y);
    Pump();
    EXPECT_EQ(OpenRequesterKind(), 4);
    EXPECT_EQ(OpenRequesterPurpose(), 51);
  };
  ShellEditor().SelectBuffer(2);
  SetText("rem my own work\n");
  ShellEditor().SelectBuffer(1);
  clickSourceLink();
  EXPECT_EQ(gShell->requester.ConfirmText(), IdeText(IdeTable::kDesc, 12));
  Press(1);
  EXPECT_TRUE(HelpViewerActive());
  EXPECT_EQ(ShellEditor().bufferNumber(2).lines[0], "rem my own work");
  ShellEditor().SelectBuffer(2);
  ShellEditor().buffer().unsaved = false;
  ShellEditor().SelectBuffer(1);
  clickSourceLink();
  EXPECT_EQ(gShell->requester.ConfirmText(), IdeText(IdeTable::kDesc, 11));
  Press(2);
  EXPECT_FALSE(HelpViewerActive());
  EXPECT_EQ(OpenRequesterKind(), 0);
  const SourceBuffer& b = ShellEditor().buffer();
  EXPECT_EQ(ShellEditor().currentBuffer(), 2);
  EXPECT_EQ(b.name, "demo.qva");
  EXPECT_FALSE(b.unsaved);
  std::ifstream demo(QV_SOURCE_DIR "/examples/demo.qva");
  std::string first;
  std::getline(demo, first);
  if (!first.empty() && first.back() == '\r') first.pop_back();
  EXPECT_EQ(b.lines[0], first);
  // A source link whose file is gone leaves the help page up and says so.
  ShowHelpPage("examples/demo.htm");
  LoadSourceFromHelp((root_ / "gone.qva").string());
  EXPECT_TRUE(HelpViewerActive());
  EXPECT_EQ(IdeTitleText(), IdeText(IdeTable::kDesc, 14));
  EXPECT_EQ(ShellEditor().buffer().name, "demo.qva");
}

// Over the help page the status line says what a click would do, and a link shows the hand.
TEST_F(ShellTest, TheStatusLineAndCursorSayWhatAHelpClickDoes) {
  ShowHelpPage("examples/demo.htm");
  Pump();
  const struct { const char* target; int key; PlatformCursorKind cursor; } kSpots[] = {
      {"../main.htm", 23, PlatformCursorKind::kHand}, {"demo.qva", 22, PlatformCursorKind::kHand},
      {nullptr, 21, PlatformCursorKind::kArrow}};
  for (const auto& spot : kSpots) {
    int x = 300, y = 440;  // below the page's text
    if (spot.target != nullptr) {
      ASSERT_TRUE(LinkCentre(spot.target, &x, &y)) << spot.target;
    }
    MoveTo(x, y);
    EXPECT_EQ(IdeTitleText(), IdeText(IdeTable::kGeneral, spot.key)) << spot.key;
    EXPECT_EQ(PlatformSystemCursorKind(), spot.cursor) << spot.key;
  }
  int x = 0, y = 0;
  ASSERT_TRUE(LinkCentre("../main.htm", &x, &y));
  MoveTo(x, y);
  Key(kVkEscape);  // back to the editor: its title, and the arrow
  Pump();
  EXPECT_EQ(PlatformSystemCursorKind(), PlatformCursorKind::kArrow);
  EXPECT_NE(IdeTitleText(), IdeText(IdeTable::kGeneral, 23));
}

// Coming back to the window from another one closes an open requester.
TEST_F(ShellTest, ComingBackToTheWindowClosesARequester) {
  Key(kVkF2);
  Pump();
  ASSERT_EQ(OpenRequesterKind(), 2);
  Send(IdeEventKind::kDeactivate);
  Send(IdeEventKind::kActivate);
  Pump();
  EXPECT_EQ(OpenRequesterKind(), 0);
  Key(kVkF2);  // and it opens again as before
  Pump();
  EXPECT_EQ(OpenRequesterKind(), 2);
}

TEST_F(ShellTest, RecentFilesPutTheLeaveItemAfterASeparator) {
  std::ofstream(root_ / "a.qva") << "x = 1\r\n";
  std::ofstream(root_ / "b.qva") << "y = 2\r\n";
  AddRecentFile("a.qva", root_.string());
  AddRecentFile("b.qva", root_.string());
  BuildMenus();
  EXPECT_EQ(MenuItemText(1, 12), "-");
  EXPECT_EQ(MenuItemText(1, 13), IdeText(IdeTable::kMenu, 18));
  ClickMenuItem(1, 11);  // the older one
  Pump();
  EXPECT_EQ(ShellEditor().buffer().name, "a.qva");
  EXPECT_EQ(ShellEditor().buffer().lines[0], "x = 1");
}

TEST_F(ShellTest, F5OnARuntimeErrorComesBackAtTheFailingLineWithTheMessageAsTitle) {
  SetText("dim a(3)\nx = 1\na(10) = x\nprint x\n");
  ShellEditor().buffer().cursor = {0, 0};
  Key(kVkF5);
  LeaveAndComeBack();
  const SourceBuffer& b = ShellEditor().buffer();
  EXPECT_EQ(b.cursor.line, 2);  // line 3, restored view or not
  EXPECT_EQ(b.start, (TextPos{2, 0}));
  EXPECT_EQ(b.end, (TextPos{2, 9}));
  // The message shows upper-cased.
  EXPECT_EQ(IdeTitleText().rfind("RUNTIME ERROR 110 : ARRAY INDEX", 0), 0u) << IdeTitleText();
  EXPECT_EQ(PlatformWindowTitle(), IdeTitleText());
  // A compile error comes back the same way.
  SetText("x = 1\nPrnt x\n");
  Key(kVkF5);
  LeaveAndComeBack();
  EXPECT_EQ(ShellEditor().buffer().cursor.line, 1);
  EXPECT_EQ(IdeTitleText(), "UNKNOWN COMMAND: PRNT");
  // A compile that warns runs with its include (f() gives 3 here, so the index is out of
  // range), and the warning comes back at the #include line when the run says nothing.
  std::ofstream(root_ / "lib.qva") << "sync on\nfunction f()\nendfunction 3\n";
  SetText("dim a(2)\n#include lib.qva\na(f()) = 1\n");
  Key(kVkF5);
  LeaveAndComeBack();
  EXPECT_EQ(ShellEditor().buffer().cursor.line, 2);
  EXPECT_EQ(IdeTitleText().rfind("RUNTIME ERROR 110", 0), 0u) << IdeTitleText();
  SetText("dim a(2)\n#include lib.qva\na(f() - 1) = 1\n");
  Key(kVkF5);
  LeaveAndComeBack();
  EXPECT_EQ(ShellEditor().buffer().cursor.line, 1);
  EXPECT_EQ(IdeTitleText().rfind("WARNING: LIB.QVA:1: THIS STATEMENT NEVER RUNS", 0), 0u) << IdeTitleText();
}

TEST_F(ShellTest, AnUnnamedBufferSurvivesF5WithBothBuffers) {
  SetText("x = 1\ny = x + 1\n");
  Key(kVkF5);
  Pump();
  EXPECT_EQ(IdeTitleText(), IdeText(IdeTable::kDesc, 45));
  ShellEditor().SelectBuffer(2);
  SetText("rem the other buffer\n");
  ShellEditor().SelectBuffer(1);
  LeaveAndComeBack();
  SourceEditor& e = ShellEditor();
  EXPECT_EQ(e.currentBuffer(), 1);
  EXPECT_EQ(e.buffer().lines, (std::vector<std::string>{"x = 1", "y = x + 1"}));
  EXPECT_TRUE(e.buffer().name.empty());
  EXPECT_TRUE(e.buffer().unsaved);
  e.SelectBuffer(2);
  EXPECT_EQ(e.buffer().lines[0], "rem the other buffer");
}

TEST_F(ShellTest, F4KeepsTheEnvironmentAndItsCursor) {
  SetText("a = 1\nb = 2\nc = a + b\n");
  ShellEditor().buffer().cursor = {1, 3};
  const SourceEditor* before = &ShellEditor();
  Key(kVkF4);
  LeaveAndComeBack();
  EXPECT_EQ(&ShellEditor(), before);
  EXPECT_EQ(ShellEditor().buffer().cursor, (TextPos{1, 3}));
  EXPECT_EQ(IdeTitleText(), IdeText(IdeTable::kDesc, 47));
  // Twice in a row keeps it too.
  Key(kVkF4);
  LeaveAndComeBack();
  EXPECT_EQ(&ShellEditor(), before);
  EXPECT_EQ(ShellEditor().buffer().lines[2], "c = a + b");
}

// The toolbar's compile button checks the source without running it: the title says it
// compiled, or the failing line is selected.
TEST_F(ShellTest, TheCompileButtonChecksWithoutRunning) {
  SetText("open to write 1, \"ran.txt\"\nclose file 1\n");
  Click(500, 10);
  LeaveAndComeBack();
  EXPECT_EQ(IdeTitleText(), IdeText(IdeTable::kDesc, 47));  // a message shows as written
  EXPECT_FALSE(fs::exists(root_ / "ran.txt"));
  SetText("x = 1\ny = 2\nthis is not basic (\n");
  Click(500, 10);
  LeaveAndComeBack();
  EXPECT_EQ(ShellEditor().buffer().cursor.line, 2);
  EXPECT_NE(IdeTitleText(), IdeText(IdeTable::kDesc, 47));
}

// Runs a built game headless; its exit status.
int RunGame(const fs::path& game) {
  const std::string command = "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy '" + game.string() + "' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(ShellTest, BuildWritesAGameThatRuns) {
  const struct { const char* source; int status; } kGames[] = {{"x = 2\ny = x * 3\nend\n", 0}, {"dim a(2)\na(5) = 1\n", 1}};
  int n = 0;
  for (const auto& game : kGames) {
    SetText(game.source);
    const std::string name = "game" + std::to_string(++n);
    Key(kVkF6);
    Pump();
    ASSERT_EQ(OpenRequesterPurpose(), 11);
    Type(name);
    // Return in the name box presses Build as the button does.
    if (n == 1) Type("\r"), Pump();
    else Press(2);
    EXPECT_EQ(OpenRequesterKind(), 0);
    EXPECT_EQ(IdeTitleText(), IdeText(IdeTable::kDesc, 34));
    ASSERT_TRUE(fs::exists(root_ / name));  // named as typed, as a program is here
    EXPECT_FALSE(fs::exists(root_ / (name + ".exe")));
    EXPECT_EQ(RunGame(root_ / name), game.status) << game.source;
  }
  // Building over an existing file asks first.
  Key(kVkF6);
  Pump();
  Type("game1");
  Press(2);
  EXPECT_EQ(OpenRequesterPurpose(), 13);
  Press(1);
  // A source that does not compile builds nothing and shows its line.
  SetText("x = 1\nthis is not basic (\n");
  Key(kVkF6);
  Pump();
  Type("broken");
  Press(2);
  EXPECT_EQ(IdeTitleText(), IdeText(IdeTable::kDesc, 18));
  EXPECT_FALSE(fs::exists(root_ / "broken"));
  EXPECT_EQ(ShellEditor().buffer().cursor.line, 1);
}

TEST_F(ShellTest, NewProjectAsksBeforeLosingChangesThenMakesTheFolder) {
  std::ofstream(root_ / "named.qva") << "x = 1\r\n";
  ASSERT_TRUE(ShellEditor().LoadSource((root_ / "named.qva").string(), nullptr));
  ShellEditor().buffer().name = "named.qva";
  ShellEditor().buffer().folder = root_.string();
  Type("y");
  ClickMenuItem(1, 0);
  Pump();
  EXPECT_EQ(OpenRequesterKind(), 4);
  EXPECT_EQ(OpenRequesterPurpose(), 7);
  Press(1);  // no: the changes go
  ASSERT_EQ(OpenRequesterKind(), 8);
  Type("rocket");
  Press(2);
  EXPECT_EQ(OpenRequesterKind(), 0);
  // Projects are made in the user's projects folder, never in the install folder.
  EXPECT_TRUE(fs::exists(root_ / "Documents" / "Quorvanel" / "rocket" / "rocket.qva"));
  EXPECT_FALSE(fs::exists(root_ / "install" / "myproj"));
  EXPECT_EQ(IdeTitleText().find(IdeText(IdeTable::kDesc, 24)), 0u);
  EXPECT_EQ(ShellEditor().buffer().name, "rocket.qva");
  EXPECT_FALSE(ShellEditor().buffer().unsaved);
}

TEST_F(ShellTest, LeavingAsksAndUnsavedChangesAskFirst) {
  // Saved: "do you really want to leave?"; No stays.
  ClickMenuItem(1, 10);
  Pump();
  EXPECT_EQ(OpenRequesterPurpose(), 99);
  Press(1);
  EXPECT_FALSE(Pump());
  EXPECT_EQ(OpenRequesterKind(), 0);
  // Unsaved: the save question; closing the window asks it too.
  Type("x");
  Send(IdeEventKind::kQuit);
  Pump();
  EXPECT_EQ(OpenRequesterPurpose(), 9);
  Press(1);  // no: leave without saving, once more asked
  EXPECT_EQ(OpenRequesterPurpose(), 99);
  const SurfaceRect& yes = gShell->requester.button(2).rect;
  Click((yes.left + yes.right) / 2, (yes.top + yes.bottom) / 2);
  EXPECT_TRUE(Pump());
  EXPECT_EQ(IdeModeValue(), kIdeModeEnd);
}

TEST_F(ShellTest, AToolIsWatchedUntilItEnds) {
  const fs::path tool = root_ / "tool.sh";
  std::ofstream(tool) << "#!/bin/sh\nsleep 0.3\nexit 3\n";  // 3: what 259 leaves of itself here
  fs::permissions(tool, fs::perms::owner_all);
  IdeUserSettings().tools[0] = {true, tool.string(), 0};
  BuildMenus();
  ASSERT_TRUE(MenuItemEnabled(6, 4));
  ClickMenuItem(6, 4);
  Pump();
  EXPECT_NE(ToolProcessId(0), 0);
  for (int i = 0; i < 3000 && ToolProcessId(0) != 0; ++i) {  // 30 s at most, for a loaded machine
    PlatformSleep(10);
    IdeLoopPass();
  }
  EXPECT_EQ(ToolProcessId(0), 0);
  IdeUserSettings().tools[0] = {};
}

// The first start shows the introduction and remembers it in WIN.INI; a later one shows the
// version as title instead.
TEST_F(ShellTest, TheFirstStartShowsTheIntroductionOnce) {
  IdeLeave();
  std::ofstream(root_ / "WIN.INI") << "[QuorvanelStateData]\n";
  for (int start = 1; start <= 2; ++start) {
    ResetShellProcess();
    SetIdeHost(&IdeMemoryHost());
    SetIdeModeValue(kIdeModeEnd);
    ASSERT_TRUE(IdeEnter("", 0));
    Pump();
    EXPECT_EQ(HelpViewerActive(), start == 1) << start;
    if (start == 1) EXPECT_EQ(HelpPageShown(), "intro.htm");
    else EXPECT_EQ(IdeTitleText(), "QUORVANEL V1.1");
    if (HelpViewerActive()) CloseHelpViewer();
    IdeLeave();
  }
  ASSERT_TRUE(IdeEnter("", 0));  // for the fixture's leave
}

// The media browser: none without a media folder (the title says so); else it starts in that
// folder with the source's folder, the environment makes room, and comes back when it ends.
TEST_F(ShellTest, TheMediaBrowserStartsInTheMediaFolderAndIsWatched) {
  ClickMenuItem(6, 2);
  EXPECT_EQ(IdeTitleText(), IdeText(IdeTable::kDesc, 46));
  fs::create_directories(root_ / "install" / "media");
  fs::create_directories(root_ / "install" / "tools");
  const fs::path browser = root_ / "install" / "tools" / "mediabrowser";
  std::ofstream(browser) << "#!/bin/sh\npwd > \"" << (root_ / "seen").string() << "\"\necho \"$1\" >> \""
                         << (root_ / "seen").string() << "\"\nsleep 0.3\n";
  fs::permissions(browser, fs::perms::owner_all);
  ShellEditor().buffer().folder = root_.string();
  const fs::path before = fs::current_path();
  ClickMenuItem(6, 2);
  EXPECT_NE(gShell->browserPid, 0);
  for (int i = 0; i < 300 && gShell->browserPid != 0; ++i) {
    PlatformSleep(10);
    IdeLoopPass();
  }
  EXPECT_EQ(gShell->browserPid, 0);
  EXPECT_EQ(fs::current_path(), before);
  std::ifstream seen(root_ / "seen");
  std::string folder, argument;
  std::getline(seen, folder);
  std::getline(seen, argument);
  EXPECT_EQ(fs::path(folder), fs::canonical(root_ / "install" / "media"));
  EXPECT_EQ(argument, root_.string());
}

TEST(Environment, AStartThatFailsIsNoNormalEnd) {
  // No language file and no folder to write the built-in one to.
  const IdeConfig config = {"/nonexistent-install", "/nonexistent-temp", "", "", "", ""};
  EXPECT_EQ(RunEnvironment(config, IdeProgramRunner()), 1);
}

}  // namespace

// quorvanel FILE.qva: the source named at start is in the editor, named, with its folder as
// the requesters' folder; a name that does not exist yet is an empty source the first save
// makes.
TEST_F(ShellTest, ASourceNamedAtStartOpensInTheEditor) {
  std::ofstream(root_ / "prog.qva") << "print 1\r\nprint 2\r\n";
  const struct { const char* name; std::vector<std::string> lines; int titleKey; } kStarts[] = {
      {"prog.qva", {"print 1", "print 2"}, 13}, {"new.qva", {""}, 37}};
  for (const auto& start : kStarts) {
    SCOPED_TRACE(start.name);
    SetIdeModeValue(kIdeModeEnd);
    IdeLeave();
    IdeConfig config = config_;
    config.startSource = (root_ / start.name).string();
    ResetShellProcess();
    SetIdeConfig(config);
    SetIdeHost(&IdeMemoryHost());
    ASSERT_TRUE(IdeEnter("", 0));
    const SourceBuffer& b = ShellEditor().buffer();
    EXPECT_EQ(b.lines, start.lines);
    EXPECT_EQ(b.name, start.name);
    EXPECT_EQ(b.folder, root_.string());
    EXPECT_FALSE(b.unsaved);
    EXPECT_EQ(IdeTitleText().rfind(IdeText(IdeTable::kDesc, start.titleKey), 0), 0u) << IdeTitleText();
  }
  Type("print 3");
  Key(kVkF3);
  Pump();
  std::ifstream saved(root_ / "new.qva");
  const std::string bytes((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.rfind("print 3", 0), 0u) << bytes << "|" << IdeTitleText();
  // A read-only source is not saved over, and the title says so upper-cased.
  fs::permissions(root_ / "new.qva", fs::perms::owner_read);
  Type("print 4");
  Key(kVkF3);
  Pump();
  EXPECT_EQ(IdeTitleText(), UpperCase(IdeText(IdeTable::kDesc, 43)));
}

// The text bar shows at the cursor as soon as a key is pressed, then blinks every 500 ms.
TEST_F(ShellTest, TheTextBarShowsWhileTypingAndBlinks) {
  SetText("abc");
  auto barShown = [] {
    const SourceBuffer& b = ShellEditor().buffer();
    const int x = ShellEditor().XFromColumn(b.cursor.line, b.cursor.column) - 1;
    const int y = kTextTop + kRowHeight * (b.cursor.line - b.topLine);
    for (int row = y; row < y + kRowHeight; ++row)
      if (IdeMemory().lastFrame[static_cast<size_t>(row) * 640 + x] != 0xFFFFFF) return false;
    return true;
  };
  IdeMemory().milliseconds = 1000;
  Key(kVkEnd);
  Pump();
  EXPECT_TRUE(barShown());
  IdeMemory().milliseconds = 1600;
  Pump();
  EXPECT_FALSE(barShown());
  IdeMemory().milliseconds = 2100;
  Pump();
  EXPECT_TRUE(barShown());
  IdeMemory().milliseconds = 2700;  // hidden, until the next key shows it at once
  Pump();
  EXPECT_FALSE(barShown());
  Type("d");
  Pump();
  EXPECT_TRUE(barShown());
  // A menu hides it.
  Click(TitleX(1), 30);
  Pump();
  EXPECT_FALSE(barShown());
}

// Ctrl+Home and Ctrl+End go to the top and the end of the source; the Run menu's F4 item
// says that it compiles and runs.
TEST_F(ShellTest, CtrlHomeAndEndAndTheRunMenu) {
  std::string text;
  for (int i = 0; i < 50; ++i) text += "x = " + std::to_string(i) + "\n";
  SetText(text);
  ShellEditor().buffer().cursor = {10, 2};
  Key(kVkEnd, kModCtrl);
  Pump();
  EXPECT_EQ(ShellEditor().buffer().cursor.line, 49);
  EXPECT_GT(ShellEditor().buffer().topLine, 0);
  Key(kVkHome, kModCtrl);
  Pump();
  EXPECT_EQ(ShellEditor().buffer().cursor, (TextPos{0, 0}));
  EXPECT_EQ(ShellEditor().buffer().topLine, 0);
  EXPECT_EQ(ShellEditor().buffer().lines[0], "x = 0");  // nothing typed
  EXPECT_EQ(MenuItemLabel(5, 0), "F4");
  EXPECT_NE(MenuItemText(5, 0).find("Compile and Run"), std::string::npos);
}
