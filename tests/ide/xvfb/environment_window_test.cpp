// `quorvanel` with no arguments under Xvfb, driven by xdotool as a user would: the demo
// opened from the recent files, F5 runs it in the same window and the editor comes back,
// then the leave item and its question end the environment with exit status 0.
#include <gtest/gtest.h>

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

void Xdotool(const std::string& arguments) {
  const std::string command = "xdotool " + arguments;
  setenv("DISPLAY", gDisplay.c_str(), 1);
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// The X screen as the tests look at it: screenshots taken until a condition holds.
struct Screen {
  std::string path;
  Screenshot shot;
  uint32_t At(int x, int y) const { return shot.pixels[static_cast<size_t>(y) * shot.width + x]; }
  // At most about a minute: on a loaded machine each screenshot takes seconds.
  bool WaitFor(const std::function<bool()>& condition) {
    for (int attempt = 0; attempt < 600; ++attempt) {
      if (TakeScreenshot(path, &shot) && shot.width == 640 && condition()) return true;
      usleep(100000);
    }
    return false;
  }
  // A comment line's ink in the editor's first row.
  bool CommentInFirstRow() const {
    for (int x = 2; x < 300; ++x)
      for (int y = 43; y < 56; ++y)
        if (At(x, y) == 0xFFFFD2) return true;
    return false;
  }
};

}  // namespace

TEST(EnvironmentWindow, F5RunsTheDemoInTheWindowAndTheEditorComesBack) {
  XServer server;
  ASSERT_TRUE(server.Start(640, 480)) << "Xvfb did not start";
  const fs::path root = fs::temp_directory_path() / ("qv-env-window-" + std::to_string(getpid()));
  fs::create_directories(root / "quorvanel");
  std::ofstream(root / "quorvanel" / "WIN.INI") << "[QuorvanelStateData]\nINTRO=1\nRECENTFILE1=demo.qva\nRECENTPATH1="
                                                << QV_SOURCE_DIR "/examples\n";
  Screen screen{(root / "shot.xwd").string(), {}};
  auto at = [&](int x, int y) { return screen.At(x, y); };
  auto waitFor = [&](const std::function<bool()>& condition) { return screen.WaitFor(condition); };
  auto editorShown = [&] { return at(2, 2) == IdeColour(4) && at(300, 465) != IdeColour(4); };
  auto textInFirstRow = [&] { return screen.CommentInFirstRow(); };  // the demo's first line is a comment

  Environment quorvanel;
  ASSERT_TRUE(quorvanel.Start(root));
  ASSERT_TRUE(waitFor(editorShown)) << "the environment did not show its editor";
  // File, then the recent file: the demo.
  Xdotool("mousemove 30 30 click 1");
  Xdotool("mousemove 30 210 click 1");
  ASSERT_TRUE(waitFor(textInFirstRow)) << "the demo source did not load";
  Xdotool("key F5");
  // The demo's backdrop, dark blue (through a 16-bit display, so not to the last bit).
  auto backdrop = [&] {
    const uint32_t c = at(320, 60);
    return (c >> 16) < 0x20 && ((c >> 8) & 0xFF) >= 0x18 && ((c >> 8) & 0xFF) < 0x30 && (c & 0xFF) >= 0x38;
  };
  ASSERT_TRUE(waitFor(backdrop)) << "the demo did not run in the window";
  ASSERT_TRUE(waitFor([&] { return editorShown() && textInFirstRow(); })) << "the editor did not come back";
  bool fileTitle = false;  // "File" on the menu bar, in the menu titles' ink
  for (int y = 22; y < 37; ++y)
    for (int x = 11; x < 60; ++x) fileTitle = fileTitle || at(x, y) == 0x202020;
  EXPECT_TRUE(fileTitle);
  // Leave: File, the leave item after the recent file, and "Yes".
  Xdotool("mousemove 30 30 click 1");
  Xdotool("mousemove 30 242 click 1");
  usleep(300000);
  Xdotool("mousemove 277 247 click 1");
  EXPECT_EQ(quorvanel.WaitForExit(10000), 0);
  fs::remove_all(root);
}

// quorvanel FILE.qva opens the file in the editor; quick Ctrl chords as xdotool sends them
// (pressed and released within a few milliseconds) cut, undo and paste, Ctrl+End and Ctrl+Home
// move through the source, and F3 saves it.
TEST(EnvironmentWindow, ASourceNamedAtStartTakesQuickCtrlChords) {
  XServer server;
  ASSERT_TRUE(server.Start(640, 480)) << "Xvfb did not start";
  const fs::path root = fs::temp_directory_path() / ("qv-env-chords-" + std::to_string(getpid()));
  fs::create_directories(root / "quorvanel");
  std::ofstream(root / "quorvanel" / "WIN.INI") << "[QuorvanelStateData]\nINTRO=1\n";
  std::ofstream(root / "prog.qva") << "rem first\r\nrem last\r\n";
  Screen screen{(root / "shot.xwd").string(), {}};
  Environment quorvanel;
  ASSERT_TRUE(quorvanel.Start(root, (root / "prog.qva").string()));
  ASSERT_TRUE(screen.WaitFor([&] { return screen.CommentInFirstRow(); })) << "the source named at start is not in the editor";
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
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ifstream in(root / "prog.qva", std::ios::binary);
    saved.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (saved.find("x") != std::string::npos) break;
    usleep(100000);
  }
  EXPECT_EQ(saved, "print 1:rem first\r\n xrem last x\r\n");  // Ctrl+End: the last line's start
  fs::remove_all(root);
}
