// The environment in a real window under Xvfb: an example source loaded into the editor,
// drawn and presented, and the screenshot checked for the menu bar, the text and the status line.
#include <gtest/gtest.h>

#include <filesystem>

#include "ide/ide.h"
#include "platform/present.h"
#include "platform/window.h"
#include "tests/xvfb_harness.h"

TEST(EditorWindow, ShowsALoadedExampleSource) {
  KeepGlLibrariesLoaded();
  XServer server;
  ASSERT_TRUE(server.Start(640, 480)) << "Xvfb did not start";
  setenv("DISPLAY", gDisplay.c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
  ASSERT_TRUE(LoadLanguageTables(QV_SOURCE_DIR "/data"));
  ASSERT_TRUE(BuildGlyphAtlas());
  std::string why;
  ASSERT_TRUE(LoadIdePictures(QV_SOURCE_DIR "/data", &why)) << why;
  SourceEditor editor(IdeSdlHost());
  ASSERT_TRUE(editor.LoadSource(QV_SOURCE_DIR "/examples/demo.qva", nullptr));
  ASSERT_TRUE(PlatformCreateMainWindow("Quorvanel", 640, 480));
  PlatformAttachPresenterToMainWindow();
  Surface* screen = SurfaceCreate(640, 480);
  ASSERT_NE(screen, nullptr);
  DrawEditorScreen(editor, *screen, IdeText(IdeTable::kDesc, 13));
  const std::string path = std::filesystem::temp_directory_path() / ("qv-ide-shot-" + std::to_string(getpid()) + ".xwd");
  Screenshot shot;
  // The window manager-less server shows the frame once SDL has mapped the window.
  // On a busy machine mapping can take seconds: wait until the status line's text is there.
  auto shown = [&] {
    if (shot.width != 640 || shot.pixels.size() < 640u * 480u) return false;
    for (int x = 2; x < 200; ++x)
      if (shot.pixels[static_cast<size_t>(470) * 640 + x] == 0xFFFFFF) return shot.pixels[2 * 640 + 2] == IdeColour(4);
    return false;
  };
  for (int attempt = 0; attempt < 200; ++attempt) {
    PlatformMessage message;
    while (PlatformPeekMessage(&message)) {
    }
    ASSERT_TRUE(PresentSurface(*screen, 32));
    usleep(50000);
    ASSERT_TRUE(TakeScreenshot(path, &shot));
    if (shown()) break;
  }
  std::remove(path.c_str());
  ASSERT_EQ(shot.width, 640);
  auto at = [&](int x, int y) { return shot.pixels[static_cast<size_t>(y) * shot.width + x]; };
  auto any = [&](SurfaceRect r, uint32_t colour) {
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (at(x, y) == colour) return true;
    return false;
  };
  EXPECT_EQ(at(2, 2), IdeColour(4));                                // menu bar face
  EXPECT_EQ(at(8, 21), IdeColour(4));                               // a menu title's flat box
  EXPECT_TRUE(any({11, 22, 60, 37}, 0x202020));                     // "File"
  EXPECT_TRUE(any({2, 43, 300, 56}, 0xFFFFFF) || any({2, 43, 300, 56}, 0xFFFFD2));  // first source row
  EXPECT_TRUE(any({2, 463, 200, 479}, 0xFFFFFF));                   // status text
  EXPECT_EQ(at(625 + 7, 53 + 398), IdePicture(IdePic::kTrack)->pixels[398 * 15 + 7]);  // the track below the thumb
  SurfaceDestroy(screen);
  PresentDetach();
  PlatformDestroyMainWindow();
  FreeGlyphAtlas();
  FreeIdePictures();
}
