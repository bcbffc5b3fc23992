// The shell's frame: the editor's frame, the open requester and the help page over it,
// presented when something changed (and while a requester's caret blinks).
#include "ide/help/help.h"
#include "ide/shell_local.h"

bool DrawShellFrame() {
  ShellState& s = *gShell;
  const uint32_t now = ShellHost().Milliseconds();
  const bool blinking = s.requester.IsOpen() && now - s.lastDrawn >= 50;
  // The editor's text bar blinks (on for 500 ms, off for 500 ms) counted from the last key,
  // so it always shows while the user types; a menu, requester or help page hides it.
  s.view.menuMode = s.menuMode || s.view.openMenu != 0 || s.requester.IsOpen() || s.helpActive;
  s.view.clock = now - s.caretSince;
  const bool caretPhaseChanged = !s.view.menuMode && (s.view.clock / 500) % 2 != s.caretPhaseShown;
  if ((!s.screenMarked && !blinking && !caretPhaseChanged) || s.screen == nullptr) return false;
  s.caretPhaseShown = (s.view.clock / 500) % 2;
  s.screenMarked = false;
  s.lastDrawn = now;
  ++s.frame;
  Surface& target = *s.screen;
  s.view.hasRequester = s.requester.IsOpen();
  s.view.canGoBack = TheHelpViewer().CanHelpBack();
  s.view.canGoForward = TheHelpViewer().CanHelpForward();
  DrawEditorFrame(*s.editor, s.view, target);
  if (s.helpActive) DrawHelpScreen(target);
  if (s.requester.IsOpen()) s.requester.Draw(target, s.frame);
  ShellHost().Present(target);
  return true;
}
