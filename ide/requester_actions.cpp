// What a requester's result codes do: load, save (with the overwrite question), build,
// new project, find and replace, the tool table, and the "save first" confirmations.
#include <algorithm>
#include <cctype>

#include "graphics2d/graphics2d.h"
#include "ide/ide.h"
#include "platform/files.h"
#include "platform/process.h"

namespace {

// How many numbered names a new folder tries before the name counts as taken.
constexpr int kNewFolderTries = 64000;

bool Exists(const std::string& path) { return PlatformPathExists(path); }

// The folder and file name of a path.
void SplitPath(const std::string& path, std::string* folder, std::string* name) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    *folder = ".";
    *name = path;
    return;
  }
  *folder = slash == 0 ? "/" : path.substr(0, slash);
  *name = path.substr(slash + 1);
}

std::string Parent(const std::string& folder) {
  if (folder == "/") return folder;
  const size_t slash = folder.find_last_of('/');
  if (slash == std::string::npos) return folder == "." ? ".." : ".";
  if (folder.substr(slash + 1) == "..") return folder + "/..";
  return slash == 0 ? "/" : folder.substr(0, slash);
}

void SetTitle(IdeSession& s, const std::string& title) {
  if (s.view) s.view->title = title.substr(0, 255);
}

// Menu 1's items 2 (new source) and 4 (save) once the source has a name.
void EnableNamedItems(IdeSession& s) {
  if (s.view) s.view->menus[0].enabled[2] = s.view->menus[0].enabled[4] = true;
}

void Close(Requester& r, IdeSession& s) {
  r.Close();
  if (s.view) s.view->hasRequester = false;
  SetDisplayStage(2);
}

// Saves the current source where it came from; false with the title saying why.
bool SaveInPlace(IdeSession& s) {
  SourceBuffer& b = s.editor->buffer();
  const std::string path = (b.folder == "/" ? "/" : b.folder + "/") + b.name;
  std::string why;
  if (!s.editor->SaveSource(path, &why)) {
    SetTitle(s, IdeText(IdeTable::kDesc, 36) + ": " + why);
    return false;
  }
  SetTitle(s, IdeText(IdeTable::kDesc, 32));
  return true;
}

// The source is emptied and forgets its file (a new source).
void ClearNamedSource(Requester& r, IdeSession& s) {
  s.editor->ClearSource();
  if (s.view) s.view->menus[0].enabled[2] = false;
  Close(r, s);
}

// "Save first" of a confirmation: true when the source was saved or nothing needed saving.
// A source without a name opens the save requester instead, and what was asked for waits
// until the user asks again.
bool SaveFirst(Requester& r, IdeSession& s) {
  if (s.editor->buffer().name.empty()) {
    OpenRequester(r, s, 3, 2, r.folder());
    return false;
  }
  if (!SaveInPlace(s)) {
    Close(r, s);
    return false;
  }
  return true;
}

}  // namespace

std::string SourceTitle(const std::string& name, const std::string& folder, const std::string& projectsFolder) {
  if (name.empty()) return IdeText(IdeTable::kDesc, 0);
  std::string shownFolder = folder;
  const size_t slash = folder.find_last_of('/');
  const std::string last = slash == std::string::npos ? folder : folder.substr(slash + 1);
  if (folder == projectsFolder + "/" + last && !last.empty()) {
    shownFolder = last;
    shownFolder[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(shownFolder[0])));
  }
  return IdeText(IdeTable::kGeneral, 4) + ": " + shownFolder + "  " + IdeText(IdeTable::kGeneral, 5) + ": " + name;
}

void OpenRequester(Requester& r, IdeSession& s, int kind, int purpose, const std::string& folder) {
  r.SetFolder(folder);
  if (kind != 4) r.SetStartFolder(r.folder());
  r.Open(kind, purpose);
  if (s.view) {
    s.view->hasRequester = true;
    s.view->openMenu = 0;
  }
  if (kind == 2 || kind == 3 || kind == 6 || kind == 7 || kind == 8 || kind == 72) r.Scan(*s.host);
  if (kind == 3 && s.editor) {
    const SourceBuffer& b = s.editor->buffer();
    r.field(1).text = b.name;
    r.field(2).text = b.title;
    r.field(3).text = b.author;
    r.field(4).text = b.date;
  }
  if (kind == 71)
    for (int i = 1; i <= 5; ++i) r.field(i).text = IdeUserSettings().tools[i - 1].path;
  if (kind == 72) {
    std::string toolFolder, toolName;
    SplitPath(IdeUserSettings().tools[r.chosenTool()].path, &toolFolder, &toolName);
    r.field(1).text = toolName;
  }
  SetDisplayStage(3);
}

void RequesterWindowActivated(Requester& r, IdeSession& s) {
  if (!r.IsOpen()) return;
  if (r.kind() != 4) r.SetFolder(r.startFolder());
  Close(r, s);
}

void RequesterAction(Requester& r, IdeSession& s, int code) {
  r.CommitField();
  const std::string typed = r.field(1).text;
  switch (code) {
    case 1: {  // load
      if (!HasSourceExtension(typed)) return r.ShowMessage(IdeText(IdeTable::kDesc, 15));
      const std::string path = r.PathOf(typed);
      std::string why;
      if (!s.editor->LoadSource(path, &why)) return r.ShowMessage(IdeText(IdeTable::kDesc, 14));
      SourceBuffer& b = s.editor->buffer();
      SplitPath(path, &b.folder, &b.name);
      b.unsaved = false;
      EnableNamedItems(s);
      AddRecentFile(b.name, b.folder);
      Close(r, s);
      SetTitle(s, IdeText(IdeTable::kDesc, 13));
      return;
    }
    case 2: {  // save
      if (typed.empty()) return r.ShowMessage(IdeText(IdeTable::kDesc, 16));
      const std::string path = r.PathOf(WithSourceExtension(typed));
      SourceBuffer& b = s.editor->buffer();
      if (r.kind() == 3) b.title = r.field(2).text, b.author = r.field(3).text, b.date = r.field(4).text;
      if (Exists(path)) {
        // The overwrite question names the file; its answer (code 7) saves.
        r.Open(4, 3);
        r.field(1).text = path;
        return;
      }
      std::string why;
      if (!s.editor->SaveSource(path, &why)) return r.ShowMessage(IdeText(IdeTable::kDesc, 36) + ": " + why);
      SplitPath(path, &b.folder, &b.name);
      EnableNamedItems(s);
      AddRecentFile(b.name, b.folder);
      Close(r, s);
      SetTitle(s, IdeText(IdeTable::kDesc, 32));
      return;
    }
    case 3: {  // a new folder named after field 1; a taken name gets "2", "3", ... appended
      if (typed.empty() || typed.find('/') != std::string::npos || typed == "." || typed == "..")
        return r.ShowMessage(IdeText(IdeTable::kDesc, 17));
      for (int attempt = 1; attempt <= kNewFolderTries; ++attempt) {
        const std::string folder = r.PathOf(attempt == 1 ? typed : typed + std::to_string(attempt));
        if (Exists(folder)) continue;
        if (!PlatformMakeFolder(folder)) break;
        r.Scan(*s.host);
        return;
      }
      return r.ShowMessage(IdeText(IdeTable::kDesc, 17));
    }
    case 6: case 7: {  // build
      if (typed.empty()) return r.ShowMessage(IdeText(IdeTable::kDesc, 16));
      // A game here is a program file named as typed (no ".exe"), as quorvanel build -o writes it.
      const std::string path = r.PathOf(typed);
      if (Exists(path)) {
        r.Open(4, code == 6 ? 13 : 14);
        r.field(1).text = path;
        return;
      }
      const bool built = s.buildExecutable && s.buildExecutable(path, code == 6 ? 0 : 1, s.editor->buffer().folder);
      SetTitle(s, IdeText(IdeTable::kDesc, built ? 34 : 18));
      Close(r, s);
      return;
    }
    case 31: {  // new project
      if (typed.empty() || typed.find('/') != std::string::npos || typed == "." || typed == "..")
        return r.ShowMessage(IdeText(IdeTable::kDesc, 19));
      const std::string folder = r.PathOf(typed);
      bool made = false;
      if (Exists(folder) && !PlatformIsFolder(folder)) return r.ShowMessage(IdeText(IdeTable::kDesc, 20));
      if (!Exists(folder)) {
        if (!PlatformMakeFolder(folder)) return r.ShowMessage(IdeText(IdeTable::kDesc, 21));
        made = true;
      }
      s.editor->ClearSource();
      SourceBuffer& b = s.editor->buffer();
      const std::string source = folder + "/" + LowerCase(typed) + ".qva";
      std::string why;
      if (Exists(source) && s.editor->LoadSource(source, &why)) {
        b.folder = folder;
        b.name = LowerCase(typed) + ".qva";
        EnableNamedItems(s);
        SetTitle(s, IdeText(IdeTable::kDesc, 22));
      } else if (made && s.editor->SaveSource(source, &why)) {
        b.folder = folder;
        b.name = LowerCase(typed) + ".qva";
        EnableNamedItems(s);
        std::string shown = typed;
        shown[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(shown[0])));
        SetTitle(s, IdeText(IdeTable::kDesc, 24) + " " + shown + " " + IdeText(IdeTable::kDesc, 25));
      } else {
        SetTitle(s, IdeText(IdeTable::kDesc, 23));
      }
      b.unsaved = false;
      r.SetStartFolder(folder);
      Close(r, s);
      return;
    }
    case 72: case 73: {  // a tool's program
      if (code == 72) {
        // A program: one named .exe, or here any file that may be run.
        const std::string path = r.PathOf(typed);
        if (!Exists(path)) return r.ShowMessage(IdeText(IdeTable::kDesc, 26));
        if (!HasExeExtension(typed) && !PlatformIsProgram(path)) return r.ShowMessage(IdeText(IdeTable::kDesc, 27));
        ToolEntry& tool = IdeUserSettings().tools[r.chosenTool()];
        tool.path = path.substr(0, 258);
        tool.usable = true;
        tool.processId = 0;
      }
      Close(r, s);
      s.toolTableIn = 6;
      return;
    }
    default: return;
  }
}

void CarryOutRequesterCode(Requester& r, IdeSession& s, int code) {
  switch (code) {
    case 0: return;
    case 1: return Close(r, s);
    case 2: s.shellCode = 2; return Close(r, s);
    case 3:  // save, then a new source; a failed save keeps every line
      if (SaveFirst(r, s)) ClearNamedSource(r, s);
      return;
    case 4:
      ClearNamedSource(r, s);
      SetTitle(s, IdeText(IdeTable::kDesc, 33));
      return;
    case 5: return RequesterAction(r, s, 1);
    case 6: return RequesterAction(r, s, 2);
    case 7: {  // overwrite the file the question names
      const std::string path = r.field(1).text;
      if (IsReadOnlyFile(path)) return r.ShowMessage(IdeText(IdeTable::kDesc, 28));
      std::string why;
      if (!s.editor->SaveSource(path, &why)) return r.ShowMessage(IdeText(IdeTable::kDesc, 36) + ": " + why);
      SourceBuffer& b = s.editor->buffer();
      SplitPath(path, &b.folder, &b.name);
      EnableNamedItems(s);
      AddRecentFile(b.name, b.folder);
      SetTitle(s, IdeText(IdeTable::kDesc, 32));
      return Close(r, s);
    }
    case 11: case 12: return RequesterAction(r, s, code == 11 ? 6 : 7);
    case 13: case 14: {
      const std::string path = r.field(1).text;
      if (IsReadOnlyFile(path)) return r.ShowMessage(IdeText(IdeTable::kDesc, 28));
      const bool built = s.buildExecutable && s.buildExecutable(path, code == 13 ? 0 : 1, s.editor->buffer().folder);
      SetTitle(s, IdeText(IdeTable::kDesc, built ? 34 : 18));
      return Close(r, s);
    }
    case 21: case 22: {
      const std::string needle = r.field(1).text;
      const int found = code == 21 ? s.editor->Find(needle) : s.editor->Replace(needle, r.field(2).text);
      if (found >= 0) return Close(r, s);
      r.ShowMessage(IdeText(IdeTable::kDesc, 29));
      r.set_purpose(23);
      return;
    }
    case 31: return RequesterAction(r, s, 31);
    case 32: case 33: {  // up one folder, or into the selected one
      const int selected = r.selectedEntry();
      std::string folder = r.folder();
      if (code == 32) folder = Parent(folder);
      else if (selected > 0) folder = r.PathOf(r.list()[selected - 1].name);
      const std::string kept = r.folder();
      r.SetFolder(folder);
      if (!r.Scan(*s.host)) {
        r.SetFolder(kept);
        r.Scan(*s.host);
        r.ShowMessage(IdeText(IdeTable::kDesc, 30));
      }
      return;
    }
    case 41: case 43: case 45: case 47:
      if (!SaveFirst(r, s)) return;
      [[fallthrough]];
    case 42: case 44: case 46: case 48: {
      if (code == 42 || code == 44 || code == 46 || code == 48) SetTitle(s, IdeText(IdeTable::kDesc, 33));
      const int what = code <= 42 ? 0 : code <= 44 ? 1 : code <= 46 ? 2 : 3;
      const std::string folder = r.folder();
      if (what == 0) return OpenRequester(r, s, 8, 31, s.projectsFolder);
      if (what == 1) return OpenRequester(r, s, 2, 1, folder);
      if (what == 2) {
        OpenRequester(r, s, 4, 99, folder);
        return;
      }
      const auto& recent = IdeUserSettings().recent;
      if (s.recentToLoad < 0 || s.recentToLoad >= static_cast<int>(recent.size())) return Close(r, s);
      const RecentFile file = recent[s.recentToLoad];
      r.SetFolder(file.folder);
      r.field(1).text = file.name;
      return RequesterAction(r, s, 1);
    }
    case 51: s.shellCode = 51; return Close(r, s);
    case 71: {
      const int tool = r.chosenTool();
      const std::string path = IdeUserSettings().tools[tool].path;
      std::string folder = ".", name;
      if (!path.empty()) SplitPath(path, &folder, &name);
      Close(r, s);
      r.set_chosenTool(tool);
      return OpenRequester(r, s, 72, 72, !path.empty() && PlatformIsFolder(folder) ? folder : s.installFolder);
    }
    case 72: case 73: return RequesterAction(r, s, code);
    default: return;
  }
}
