// A player holding only the runtime core: runs the package appended to its own file, as
// quorvanel's player path does, for the tests of whole packaged programs. Two extra
// commands stand in for the user: closing the window and pressing Esc.
#include "platform/folders.h"
#include "platform/window.h"
#include "runtime/runtime.h"

constexpr int kTestCloseWindow = 9994;  // (none): the user closes the window
constexpr int kTestPressEscape = 9995;  // (none): the user presses Esc

static void CmdTestCloseWindow() { PlatformPushTestMessage({PlatformMessageKind::kQuit, 0, 0}); }
static void CmdTestPressEscape() { PlatformPushTestMessage({PlatformMessageKind::kKeyDown, kPlatformKeyEscape, 0}); }

int main(int argc, char** argv) {
  static const CommandEntry kUserCommands[] = {{kTestCloseWindow, CmdTestCloseWindow, ""},
                                               {kTestPressEscape, CmdTestPressEscape, ""}};
  if (!RegisterRuntimeCommands() || !RegisterCommands(kUserCommands)) return 1;
  return RunPlayer(PlatformExecutablePath().c_str(), argc, argv);
}
