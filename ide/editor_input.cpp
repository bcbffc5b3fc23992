// The editor's input: keys, typed characters and the mouse in the text area, and the text's
// scroll bar (thumb drag, paging on the track, the arrows held down).
#include <algorithm>

#include "ide/ide.h"

namespace {

constexpr int kTrack = 382;

EditorRequest CtrlKey(SourceEditor& editor, int key) {
  switch (key) {
    case 'X': editor.Cut(); break;
    case 'C': editor.Copy(); break;
    case 'V': editor.Paste(); break;
    case 'N': editor.FindNext(); break;
    case 'Z': editor.Undo(); break;
    case 'F': return EditorRequest::kFind;
    case 'R': return EditorRequest::kReplace;
    default: break;
  }
  return EditorRequest::kNone;
}

}  // namespace

EditorRequest HandleEditorEvent(SourceEditor& editor, const IdeEvent& event, bool* menuMode) {
  switch (event.kind) {
    case IdeEventKind::kKeyDown: {
      if (*menuMode) {
        // Back from a menu: the cursor's line is brought into view.
        *menuMode = false;
        const SourceBuffer& b = editor.buffer();
        if (b.cursor.line < b.topLine || b.cursor.line >= b.topLine + kVisibleRows) editor.ScrollTo(b.cursor.line - 15);
      }
      const bool shift = (event.b & kModShift) != 0;
      // Ctrl+Home and Ctrl+End go to the top and the end of the source.
      if ((event.b & kModCtrl) && (event.a == kVkHome || event.a == kVkEnd)) {
        editor.PressKey(event.a == kVkHome ? EditKey::kTop : EditKey::kBottom);
        return EditorRequest::kNone;
      }
      if (event.b & kModCtrl) return CtrlKey(editor, event.a);
      switch (event.a) {
        case kVkLeft: editor.PressKey(EditKey::kLeft, shift); break;
        case kVkRight: editor.PressKey(EditKey::kRight, shift); break;
        case kVkUp: editor.PressKey(EditKey::kUp, shift); break;
        case kVkDown: editor.PressKey(EditKey::kDown, shift); break;
        case kVkHome: editor.PressKey(EditKey::kHome, shift); break;
        case kVkEnd: editor.PressKey(EditKey::kEnd, shift); break;
        case kVkPageUp: editor.PressKey(EditKey::kPageUp); break;
        case kVkPageDown: editor.PressKey(EditKey::kPageDown); break;
        case kVkDelete: editor.PressKey(EditKey::kDelete); break;
        case kVkTab: editor.TypeChar(9, shift); break;  // the window sends no character for it
        default: break;
      }
      return EditorRequest::kNone;
    }
    case IdeEventKind::kChar:
      if (event.a == 9) return EditorRequest::kNone;  // typed by the key above
      editor.TypeChar(static_cast<unsigned char>(event.a));
      return EditorRequest::kNone;
    case IdeEventKind::kButtonDown:
      if (event.a >= 0 && event.a <= 617 && event.b >= 44 && event.b <= 458) {
        editor.ClickAt(event.a, event.b);
        *menuMode = false;
      }
      return EditorRequest::kNone;
    case IdeEventKind::kMouseMove:
      if (editor.mouseMarking()) editor.DragTo(event.a, event.b);
      return EditorRequest::kNone;
    case IdeEventKind::kButtonUp:
      editor.EndMouseMarking();
      return EditorRequest::kNone;
    default: return EditorRequest::kNone;
  }
}

bool ScrollBarPress(SourceEditor& editor, IdeView& view, int x, int y) {
  if (x < 625 || x >= 640 || y < 53 || y >= 455) return false;
  const SurfaceRect& thumb = view.thumbRect;
  if (thumb.bottom > thumb.top && y >= thumb.top && y < thumb.bottom) {
    view.thumbDragging = true;
    view.dragLastY = y;
    return true;
  }
  if (thumb.bottom <= thumb.top) return true;  // nothing to scroll
  editor.PressKey(y < thumb.top ? EditKey::kPageUp : EditKey::kPageDown);
  return true;
}

void ScrollBarPass(SourceEditor& editor, IdeView& view, bool buttonHeld) {
  const int count = static_cast<int>(editor.buffer().lines.size());
  if (view.thumbDragging) {
    if (!buttonHeld) {
      view.thumbDragging = false;
      return;
    }
    view.thumbPosition = std::clamp(view.thumbPosition + view.mouseY - view.dragLastY, 0, kTrack - view.thumbLength);
    view.dragLastY = view.mouseY;
    if (count > kVisibleRows) editor.ScrollTo(TopFromThumb(count, kVisibleRows, view.thumbPosition));
    return;
  }
  if (buttonHeld && (view.menuHover == 31 || view.menuHover == 32))
    editor.ScrollTo(editor.buffer().topLine + (view.menuHover == 31 ? -1 : 1));
}

void EditorMousePass(SourceEditor& editor, IdeView& view, bool buttonHeld) {
  ScrollBarPass(editor, view, buttonHeld);
  if (!buttonHeld) editor.EndMouseMarking();
  else if (editor.mouseMarking()) editor.DragTo(view.mouseX, view.mouseY);
  view.marking = editor.mouseMarking();
}
