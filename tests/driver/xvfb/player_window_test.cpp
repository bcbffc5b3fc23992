// `quorvanel run` under Xvfb as a user sees it: a runtime error's box is centred on the game's
// window, says the error's number, text, file and line, and closes with Enter, Esc or OK; a
// line drawn in a 3D program before a WAIT stays on the screen for the whole wait; a
// full-screen game on a larger desktop reads the pointer on its picture.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "tests/xvfb_harness.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kBoxColour = 0xF0F0F0;  // the box's background

// One run of the player on the X server, in a folder of its own.
struct Player {
  pid_t pid = -1;
  fs::path folder;
  bool Start(const std::string& name, const std::string& source) {
    folder = fs::temp_directory_path() / ("qv-player-window-" + name + "-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / "prog.qva") << source;
    const std::string display = "DISPLAY=" + gDisplay;
    // The GL libraries SDL loads are unloaded at the child's exit, so their caches would show
    // as leaks of an unknown module: the child is checked for memory errors, not leaks.
    std::vector<std::string> env = {display, "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "ASAN_OPTIONS=detect_leaks=0"};
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (entry.rfind("DISPLAY=", 0) != 0 && entry.rfind("ASAN_OPTIONS=", 0) != 0 &&
          entry.rfind("SDL_VIDEODRIVER=", 0) != 0 && entry.rfind("SDL_AUDIODRIVER=", 0) != 0)
        env.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    const std::string program = (folder / "prog.qva").string();
    const char* argv[] = {QV_QUORVANEL, "run", program.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, (folder / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const bool started = posix_spawn(&pid, QV_QUORVANEL, &actions, nullptr, const_cast<char**>(argv), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    return started;
  }
  // The exit status once it ended within the time, else -1.
  int WaitForExit(int milliseconds) {
    for (int waited = 0;; waited += 50) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (waited >= milliseconds) return -1;
      usleep(50000);
    }
  }
  ~Player() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
    fs::remove_all(folder);
  }
};

void Xdotool(const std::string& arguments) { ASSERT_EQ(RunXdotool(arguments), 0) << "xdotool " << arguments; }

struct Box {
  int left = 0, top = 0, right = -1, bottom = -1, count = 0;
};

// The box around the pixels of one colour on the screenshot.
Box FindColour(const Screenshot& shot, uint32_t colour) {
  Box box{shot.width, shot.height, -1, -1, 0};
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x)
      if (shot.pixels[static_cast<size_t>(y) * shot.width + x] == colour) {
        box.left = std::min(box.left, x);
        box.right = std::max(box.right, x);
        box.top = std::min(box.top, y);
        box.bottom = std::max(box.bottom, y);
        ++box.count;
      }
  return box;
}

class PlayerWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    KeepGlLibrariesLoaded();
    ASSERT_TRUE(server_.Start(1024, 768)) << "Xvfb did not start";
    shotPath_ = (fs::temp_directory_path() / ("qv-player-window-" + std::to_string(getpid()) + ".xwd")).string();
  }
  void TearDown() override { fs::remove(shotPath_); }
  // Takes screenshots until the condition holds, for at most a minute: on a loaded machine the
  // software renderer's start and each screenshot take seconds.
  bool WaitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      if (TakeScreenshot(shotPath_, &shot_) && condition()) return true;
      usleep(100000);
    }
    return false;
  }
  XServer server_;
  std::string shotPath_;
  Screenshot shot_;
};

}  // namespace

// The game's window is placed off the screen's centre, so a box centred on the screen (or on
// a corner of the window) is told apart from one centred on the game.
TEST_F(PlayerWindow, TheErrorBoxIsCentredOnTheGameAndClosesWithEnterEscOrOk) {
  const std::string source =
      "set window on\nset window size 640, 480\nset window position 40, 30\nsync\nsync\n"
      "print \"loading\"\nload image \"nofile.png\", 1\n";
  for (const char* close : {"key Return", "key Escape", "ok"}) {
    SCOPED_TRACE(close);
    Player player;
    ASSERT_TRUE(player.Start("box", source));
    Box box;
    ASSERT_TRUE(WaitFor([&] {
      box = FindColour(shot_, kBoxColour);
      return box.count > 5000;
    })) << "no box was shown";
    EXPECT_NEAR((box.left + box.right) / 2, 40 + 320, 2);
    EXPECT_NEAR((box.top + box.bottom) / 2, 30 + 240, 2);
    // Still up after a while: nothing but the user closes it.
    usleep(300000);
    EXPECT_EQ(player.WaitForExit(0), -1);
    if (std::string(close) == "ok") {
      // The button sits centred on the box's lower edge.
      Xdotool("mousemove " + std::to_string((box.left + box.right) / 2) + " " + std::to_string(box.bottom - 30) +
              " click 1");
    } else {
      Xdotool(close);
    }
    EXPECT_EQ(player.WaitForExit(10000), 1);
    std::ifstream in(player.folder / "stderr.txt");
    const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(said.find(":7: Runtime Error 105 : File could not be read. nofile.png: no such file"), std::string::npos)
        << said;
    EXPECT_EQ(said.find("Runtime Error 105"), said.rfind("Runtime Error 105")) << "said twice:\n" << said;
  }
}

// "GAME OVER" drawn over a 3D scene with the backdrop on, then a wait of 20 seconds: pictures
// of the screen at known points of the wait (1 and 4 seconds after the text first showed)
// show it (the wait's frames no longer clear it). How many pictures a loaded machine takes
// in between does not matter; a picture counts only when it was taken well inside the wait.
TEST_F(PlayerWindow, TextDrawnBeforeAWaitStaysForTheWholeWait) {
  const std::string source =
      "sync on\nautocam off\ncolor backdrop rgb(0, 0, 128)\nbackdrop on\nmake object cube 1, 10\n"
      "position object 1, 0, 0, 40\nink rgb(255, 255, 0), 0\nset text size 40\ntext 200, 100, \"GAME OVER\"\n"
      "sync\nwait 20000\n";
  Player player;
  ASSERT_TRUE(player.Start("wait", source));
  // Yellow in a 16-bit picture: red and green at their top, blue none.
  auto yellowPixels = [&] {
    int count = 0;
    for (uint32_t p : shot_.pixels) count += (p >> 16) > 0xF0 && ((p >> 8) & 0xFF) > 0xF0 && (p & 0xFF) < 0x10;
    return count;
  };
  ASSERT_TRUE(WaitFor([&] { return yellowPixels() > 100; })) << "the text was never shown";
  const auto seen = std::chrono::steady_clock::now();
  for (int second : {1, 4}) {
    std::this_thread::sleep_until(seen + std::chrono::seconds(second));
    ASSERT_TRUE(TakeScreenshot(shotPath_, &shot_));
    if (std::chrono::steady_clock::now() - seen > std::chrono::seconds(15)) {
      std::fprintf(stderr, "the picture at %d s came too late to tell: the machine is very busy\n", second);
      continue;
    }
    EXPECT_GT(yellowPixels(), 100) << "the picture " << second << " s into the wait";
  }
  EXPECT_EQ(player.WaitForExit(40000), 0);
}

// A full-screen game on a desktop larger than its picture: the picture shows in the middle,
// and the program reads the pointer at its place on the picture, kept on the picture's edge
// outside it. The pointer is moved and pressed through the X server as a user's (XTEST); the
// program writes what it read at each press; its own pointer is drawn where the real one is.
TEST_F(PlayerWindow, AFullScreenGameReadsThePointerOnItsPicture) {
  const fs::path folder = fs::temp_directory_path() / ("qv-player-pointer-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string source =
      "sync on\nsync rate 30\nn = 0\nheld = 0\nrepeat\n  ink rgb(255, 0, 0), 0\n  box 100, 100, 180, 180\n  sync\n"
      "  b = mouseclick()\n  if b = 1 and held = 0\n    n = n + 1\n"
      "    open to write 1, \"" + folder.string() + "/click\" + str$(n) + \".txt\"\n"
      "    write string 1, str$(mousex()) + \" \" + str$(mousey())\n    close file 1\n  endif\n"
      "  if b = 0 and held = 1\n    open to write 1, \"" + folder.string() + "/up\" + str$(n) + \".txt\"\n"
      "    close file 1\n  endif\n  held = b\nuntil n = 3\n";
  Player player;
  ASSERT_TRUE(player.Start("pointer", source));
  auto red = [](uint32_t p) { return (p >> 16) > 0xF0 && ((p >> 8) & 0xFF) < 0x10 && (p & 0xFF) < 0x10; };
  Box box;
  ASSERT_TRUE(WaitFor([&] {
    box = Box{shot_.width, shot_.height, -1, -1, 0};
    for (int y = 0; y < shot_.height; ++y)
      for (int x = 0; x < shot_.width; ++x)
        if (red(shot_.pixels[static_cast<size_t>(y) * shot_.width + x])) {
          box.left = std::min(box.left, x), box.top = std::min(box.top, y);
          box.right = std::max(box.right, x), box.bottom = std::max(box.bottom, y);
          ++box.count;
        }
    return box.count > 1000;
  })) << "the box was never shown";
  // The 640x480 picture in the middle of the 1024x768 screen.
  EXPECT_EQ(box.left, 192 + 100);
  EXPECT_EQ(box.top, 144 + 100);
  const int pictureLeft = box.left - 100, pictureTop = box.top - 100;
  auto at = [&](int x, int y) { return shot_.pixels[static_cast<size_t>(y) * shot_.width + x]; };
  const struct {
    int screenX, screenY;
    const char* read;
  } presses[] = {{pictureLeft + 140, pictureTop + 140, "140 140"},  // on the box
                 {10, 10, "0 0"},                                    // the band above and left
                 {1020, 760, "639 479"}};                            // below and right
  for (int i = 0; i < 3; ++i) {
    const auto& press = presses[i];
    SCOPED_TRACE(press.read);
    Xdotool("mousemove " + std::to_string(press.screenX) + " " + std::to_string(press.screenY));
    if (i == 0) {
      // The game's pointer: its outline's tip at the pointer, white inside it, over the red box.
      EXPECT_TRUE(WaitFor([&] {
        return at(press.screenX, press.screenY) == 0 && (at(press.screenX + 1, press.screenY + 2) & 0xF0F0F0) == 0xF0F0F0;
      })) << "the pointer was not drawn at the pointer's place";
    }
    // Held until the program wrote what it read, and let go until it saw that: a press or a
    // release between two of its frames would not be seen, and on a loaded machine frames
    // come late.
    Xdotool("mousedown 1");
    const std::string n = std::to_string(i + 1);
    std::string text;
    for (int waited = 0; waited < 600 && text.find('\n') == std::string::npos; ++waited) {
      usleep(100000);
      std::ifstream in(folder / ("click" + n + ".txt"), std::ios::binary);
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    Xdotool("mouseup 1");
    EXPECT_EQ(text, std::string(press.read) + "\r\n");
    for (int waited = 0; waited < 600 && i < 2 && !fs::exists(folder / ("up" + n + ".txt")); ++waited) usleep(100000);
  }
  EXPECT_EQ(player.WaitForExit(60000), 0);
  fs::remove_all(folder);
}
