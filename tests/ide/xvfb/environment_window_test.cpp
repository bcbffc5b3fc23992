// `quorvanel` with no arguments under Xvfb, driven by xdotool as a user would: a program opened
// from the recent files, F5 runs it in the same window and the editor comes back, then the
// leave item and its question end the environment with exit status 0; a window larger than
// the picture takes clicks where they are aimed. Every check waits for a picture of the screen
// at a known point (generously: a loaded machine is slow), never for a time or a count.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#include "ide/ide.h"
#include "tests/xvfb_harness.h"

namespace fs = std::filesystem;

namespace {

struct Environment {
  pid_t pid = -1;
  bool Start(const fs::path& config, const std::string& source = std::string()) {
    const std::string display = "DISPLAY=" + gDisplay, home = "XDG_CONFIG_HOME=" + config.string();
    // The GL libraries SDL loads are unloaded at the child's exit, so their caches would show
    // as leaks of an unknown module: the child is checked for memory errors, not leaks (the
    // environment's own leaks are checked in the in-process tests).
    std::vector<std::string> env = {display, home, "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                                    "ASAN_OPTIONS=detect_leaks=0"};
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (entry.rfind("DISPLAY=", 0) != 0 && entry.rfind("XDG_CONFIG_HOME=", 0) != 0 &&
          entry.rfind("ASAN_OPTIONS=", 0) != 0 &&
          entry.rfind("SDL_VIDEODRIVER=", 0) != 0 && entry.rfind("SDL_AUDIODRIVER=", 0) != 0)
        env.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    const char* argv[] = {QV_QUORVANEL, source.empty() ? nullptr : source.c_str(), nullptr};
    return posix_spawn(&pid, QV_QUORVANEL, nullptr, nullptr, const_cast<char**>(argv), envp.data()) == 0;
  }
  // The exit status once it ended within the time, else -1.
  int WaitForExit(int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 50) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      usleep(50000);
    }
    return -1;
  }
  ~Environment() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

void Xdotool(const std::string& arguments) { ASSERT_EQ(RunXdotool(arguments), 0) << "xdotool " << arguments; }

// The X screen as the tests look at it: screenshots taken until a condition holds. The
// environment's picture has its top left at (left, top) of the screen.
struct Screen {
  std::string path;
  Screenshot shot;
  int width = 640, left = 0, top = 0;
  uint32_t At(int x, int y) const { return shot.pixels[static_cast<size_t>(top + y) * shot.width + left + x]; }
  // For two minutes at most: on a loaded machine the start and each screenshot take seconds.
  bool WaitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (std::chrono::steady_clock::now() < deadline) {
      if (TakeScreenshot(path, &shot) && shot.width == width && condition()) return true;
      usleep(100000);
    }
    return false;
  }
  // The editor's frame: the menu bar's face at the top left, a status line that is not.
  bool EditorShown() const { return At(2, 2) == IdeColour(4) && At(300, 465) != IdeColour(4); }
  // The text area's background (an empty part of it): the editor shows, not a help page.
  bool EditorTextShown() const { return At(400, 400) == IdeColour(0); }
  // A comment line's ink in the editor's first row.
  bool CommentInFirstRow() const {
    for (int x = 2; x < 300; ++x)
      for (int y = 43; y < 56; ++y)
        if (At(x, y) == 0xFFFFD2) return true;
    return false;
  }
};

// A click at a point of the environment's picture.
void ClickAt(const Screen& screen, int x, int y) {
  Xdotool("mousemove " + std::to_string(screen.left + x) + " " + std::to_string(screen.top + y) + " click 1");
}

// Leaves by File, its leave item (at y, after the recent files) and "Yes": the clicks wait in
// the queue behind the ones that open the menu and the question. The exit status.
int LeaveThroughTheFileMenu(Environment& quorvanel, const Screen& screen, int leaveItemY) {
  ClickAt(screen, 30, 30);
  ClickAt(screen, 30, leaveItemY);
  ClickAt(screen, 277, 247);
  return quorvanel.WaitForExit(60000);
}

}  // namespace

// The program F5 runs: the backdrop until a key is pressed, so its picture is there to be seen
// however late the screenshot comes (WAIT KEY counts presses: one shorter than a frame counts).
const char* const kBackdropProgram =
    "rem shows the backdrop until a key is pressed\r\nsync on\r\ncolor backdrop 0x102040\r\nbackdrop on\r\n"
    "sync\r\nwait key\r\n";

// A folder for one test's files: the user's settings (WIN.INI) and screenshots.
fs::path TestFolder(const std::string& name, const std::string& winIni) {
  const fs::path root = fs::temp_directory_path() / ("qv-env-" + name + "-" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "quorvanel");
  std::ofstream(root / "quorvanel" / "WIN.INI") << "[QuorvanelStateData]\nINTRO=1\n" << winIni;
  return root;
}

TEST(EnvironmentWindow, F5RunsTheProgramInTheWindowAndTheEditorComesBack) {
  XServer server;
  ASSERT_TRUE(server.Start(640, 480)) << "Xvfb did not start";
  const fs::path root = TestFolder("f5", "RECENTFILE1=backdrop.qva\nRECENTPATH1=");
  std::ofstream(root / "quorvanel" / "WIN.INI", std::ios::app) << root.string() << "\n";
  std::ofstream(root / "backdrop.qva", std::ios::binary) << kBackdropProgram;
  Screen screen{(root / "shot.xwd").string(), {}};
  auto at = [&](int x, int y) { return screen.At(x, y); };
  auto waitFor = [&](const std::function<bool()>& condition) { return screen.WaitFor(condition); };
  auto textInFirstRow = [&] { return screen.CommentInFirstRow(); };  // the program's first line is a comment

  Environment quorvanel;
  ASSERT_TRUE(quorvanel.Start(root));
  ASSERT_TRUE(waitFor([&] { return screen.EditorShown(); })) << "the environment did not show its editor";
  // File, then the recent file.
  ClickAt(screen, 30, 30);
  ClickAt(screen, 30, 210);
  ASSERT_TRUE(waitFor(textInFirstRow)) << "the program did not load";
  Xdotool("key F5");
  // The backdrop, dark blue (through a 16-bit display, so not to the last bit).
  auto backdrop = [&] {
    const uint32_t c = at(320, 60);
    return (c >> 16) < 0x20 && ((c >> 8) & 0xFF) >= 0x18 && ((c >> 8) & 0xFF) < 0x30 && (c & 0xFF) >= 0x38;
  };
  ASSERT_TRUE(waitFor(backdrop)) << "the program did not run in the window";
  Xdotool("key space");
  ASSERT_TRUE(waitFor([&] { return screen.EditorShown() && textInFirstRow(); })) << "the editor did not come back";
  bool fileTitle = false;  // "File" on the menu bar, in the menu titles' ink
  for (int y = 22; y < 37; ++y)
    for (int x = 11; x < 60; ++x) fileTitle = fileTitle || at(x, y) == 0x202020;
  EXPECT_TRUE(fileTitle);
  EXPECT_EQ(LeaveThroughTheFileMenu(quorvanel, screen, 242), 0);  // the leave item after the recent file
  fs::remove_all(root);
}

// On a screen larger than the picture the window is made larger too (as a window manager that
// maximises it would): the picture shows in its middle, and clicks land where they are aimed
// on it: the menu bar opens, "Editor" on a help page goes back to the editor, and the leave
// item and its question end the environment.
TEST(EnvironmentWindow, AWindowLargerThanThePictureTakesClicksWhereTheyAreAimed) {
  XServer server;
  ASSERT_TRUE(server.Start(1024, 768)) << "Xvfb did not start";
  const fs::path root = TestFolder("large", "");
  Screen screen{(root / "shot.xwd").string(), {}, 1024, 192, 144};
  Environment quorvanel;
  ASSERT_TRUE(quorvanel.Start(root));
  // The window starts at the picture's size in the middle of the screen.
  ASSERT_TRUE(screen.WaitFor([&] { return screen.EditorShown(); })) << "the environment did not show its editor";
  Xdotool("search --sync --class quorvanel windowmove 0 0 windowsize 1024 768");
  // The picture stays in the middle, black around it.
  auto bandBlack = [&] {
    for (int y = 4; y < 8; ++y)
      for (int x = 4; x < 8; ++x)
        if (screen.shot.pixels[static_cast<size_t>(y) * 1024 + x] != 0) return false;
    return true;
  };
  ASSERT_TRUE(screen.WaitFor([&] { return screen.EditorShown() && bandBlack(); }))
      << "the picture is not in the middle of the larger window";
  ASSERT_TRUE(screen.EditorTextShown());
  Xdotool("key F11");
  ASSERT_TRUE(screen.WaitFor([&] { return screen.EditorShown() && !screen.EditorTextShown(); })) << "no help page";
  ClickAt(screen, 30, 30);  // "Editor", the help page's first word
  ASSERT_TRUE(screen.WaitFor([&] { return screen.EditorTextShown(); })) << "Editor did not go back to the editor";
  EXPECT_EQ(LeaveThroughTheFileMenu(quorvanel, screen, 210), 0);  // item 10 without recent files
  fs::remove_all(root);
}

// quorvanel FILE.qva opens the file in the editor; Alt+T opens a menu without typing; quick Ctrl
// chords as xdotool sends them (pressed and released within a few milliseconds) cut, undo and
// paste, Ctrl+End and Ctrl+Home move through the source, and F3 saves it.
TEST(EnvironmentWindow, ASourceNamedAtStartTakesQuickCtrlChords) {
  XServer server;
  ASSERT_TRUE(server.Start(640, 480)) << "Xvfb did not start";
  const fs::path root = TestFolder("chords", "");
  std::ofstream(root / "prog.qva") << "rem first\r\nrem last\r\n";
  Screen screen{(root / "shot.xwd").string(), {}};
  Environment quorvanel;
  ASSERT_TRUE(quorvanel.Start(root, (root / "prog.qva").string()));
  ASSERT_TRUE(screen.WaitFor([&] { return screen.CommentInFirstRow(); })) << "the source named at start is not in the editor";
  // Alt+T opens the Tools menu and types no "t"; Esc closes the menu.
  Xdotool("key alt+t");
  Xdotool("key Escape");
  Xdotool("key ctrl+End");
  Xdotool("type --delay 20 ' x'");
  Xdotool("key shift+Home");
  Xdotool("key ctrl+x");
  Xdotool("key ctrl+z");
  Xdotool("key End");
  Xdotool("key ctrl+v");
  Xdotool("key ctrl+Home");
  Xdotool("type --delay 20 'print 1:'");
  Xdotool("key F3");
  std::string saved;
  for (int attempt = 0; attempt < 1200; ++attempt) {  // two minutes at most
    std::ifstream in(root / "prog.qva", std::ios::binary);
    saved.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (saved.find("x") != std::string::npos) break;
    usleep(100000);
  }
  EXPECT_EQ(saved, "print 1:rem first\r\n xrem last x\r\n");  // Ctrl+End: the last line's start
  fs::remove_all(root);
}
