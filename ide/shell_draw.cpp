// The shell's frame: the editor's frame, the open requester and the help page over it,
// presented when something changed (and while a requester's caret blinks).
#include "ide/shell_local.h"

namespace {

// The help page as the viewer shows it until its pages are laid out: its name on a clear page.
void DrawHelpPage(Surface& target) {
  SurfaceFill(target, {0, 42, 617, 459}, IdeColour(0));
  DrawIdeText(target, gShell->helpPage, kPageText, 8, 46);
}

}  // namespace

bool DrawShellFrame() {
  ShellState& s = *gShell;
  const uint32_t now = ShellHost().Milliseconds();
  const bool blinking = s.requester.IsOpen() && now - s.lastDrawn >= 50;
  if ((!s.screenMarked && !blinking) || s.screen == nullptr) return false;
  s.screenMarked = false;
  s.lastDrawn = now;
  ++s.frame;
  Surface& target = *s.screen;
  s.view.hasRequester = s.requester.IsOpen();
  DrawEditorFrame(*s.editor, s.view, target);
  if (s.helpActive) DrawHelpPage(target);
  if (s.requester.IsOpen()) s.requester.Draw(target, s.frame);
  ShellHost().Present(target);
  return true;
}
