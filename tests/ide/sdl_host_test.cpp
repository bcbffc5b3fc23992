// The desktop host over the offscreen SDL driver: the editing keys arrive as the environment's
// key numbers, presenting and folder scans go through, and the clipboard keeps CR LF.
#include <gtest/gtest.h>

#include "ide/ide.h"
#include "platform/input.h"
#include "platform/window.h"
#include "tests/ide/ide_test_util.h"

TEST(SdlHost, KeysFramesClipboardAndFolders) {
  ASSERT_TRUE(PlatformCreateMainWindow("Quorvanel", 640, 480));
  const IdeHost& host = IdeSdlHost();
  IdeEvent drained;
  while (host.NextEvent(&drained)) {
  }
  const struct {
    const char* name;
    int key;
  } keys[] = {{"Left", kVkLeft},   {"Right", kVkRight},  {"Up", kVkUp},       {"Down", kVkDown},   {"Home", kVkHome},
              {"End", kVkEnd},     {"PageUp", kVkPageUp}, {"PageDown", kVkPageDown}, {"Delete", kVkDelete},
              {"Tab", kVkTab},     {"Escape", kVkEscape}, {"F1", kVkF1},      {"F5", kVkF5},       {"F11", kVkF11},
              {"X", 'X'},          {"7", '7'}};
  for (const auto& k : keys) {
    PlatformInjectKey(k.name, true);
    PlatformInjectKey(k.name, false);
    IdeEvent e;
    int got = -1;
    while (host.NextEvent(&e))
      if (e.kind == IdeEventKind::kKeyDown) got = e.a;
    EXPECT_EQ(got, k.key) << k.name;
  }
  Surface* frame = SurfaceCreate(640, 480);
  EXPECT_TRUE(host.Present(*frame));
  SurfaceDestroy(frame);

  TempFolder dir;
  WriteBytes(dir / "a.qva", "");
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(host.ScanFolder(dir.path.string(), &entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "a.qva");
  EXPECT_GT(entries[0].writeTime, 0);

  // Copy and paste through the desktop's clipboard, where the offscreen driver keeps one.
  SourceEditor editor(host);
  editor.buffer().lines = {"one", "two"};
  editor.SelectRange({0, 0}, {1, 3});
  editor.Copy();
  std::string text;
  if (host.GetClipboard(&text) && !text.empty()) {
    EXPECT_EQ(text, "one\r\ntwo");
    editor.PressKey(EditKey::kEnd);
    editor.Paste();
    EXPECT_EQ(editor.buffer().lines, (std::vector<std::string>{"one", "twoone", "two"}));
  }
  PlatformDestroyMainWindow();
}
