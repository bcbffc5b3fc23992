// The two hosts of the environment: the desktop's (SDL2 window, clipboard, clock, display)
// and the memory host the tests script.
#include "ide/ide.h"
#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/present.h"
#include "platform/window.h"

namespace {

bool SdlNextEvent(IdeEvent* event) {
  PlatformMessage message;
  if (!PlatformPeekMessage(&message)) return false;
  using K = PlatformMessageKind;
  IdeEvent e;
  e.a = message.a;
  e.b = message.b;
  switch (message.kind) {
    case K::kQuit: e.kind = IdeEventKind::kQuit; break;
    case K::kActivate: e.kind = IdeEventKind::kActivate; break;
    case K::kDeactivate: e.kind = IdeEventKind::kDeactivate; break;
    case K::kKeyDown: e.kind = IdeEventKind::kKeyDown; break;
    case K::kChar: e.kind = IdeEventKind::kChar; break;
    case K::kMouseMove: e.kind = IdeEventKind::kMouseMove; break;
    case K::kLeftButtonDown: e.kind = IdeEventKind::kButtonDown; break;
    case K::kLeftButtonUp: e.kind = IdeEventKind::kButtonUp; break;
    default: e.kind = IdeEventKind::kNone; break;
  }
  *event = e;
  return true;
}

bool MemoryScan(const std::string& folder, std::vector<FolderEntry>* entries) {
  for (const auto& [name, listed] : IdeMemory().folders)
    if (name == folder) {
      *entries = listed;
      return true;
    }
  return ScanDiskFolder(folder, entries);
}

}  // namespace

bool ScanDiskFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  std::vector<PlatformFolderEntry> listed;
  if (!PlatformListFolder(folder.empty() ? "." : folder, false, &listed)) return false;
  for (PlatformFolderEntry& item : listed)
    entries->push_back({std::move(item.name), item.folder, item.writeTime, item.program});
  return true;
}

const IdeHost& IdeSdlHost() {
  static const IdeHost host = {
      [](std::string* text) { return PlatformGetClipboardText(text); },
      [](const std::string& text) { return PlatformSetClipboardText(text.c_str()); },
      []() { return static_cast<uint32_t>(PlatformMilliseconds()); },
      SdlNextEvent,
      [](const Surface& frame) { return PresentSurface(frame, 32); },
      ScanDiskFolder,
  };
  return host;
}

IdeMemoryState& IdeMemory() {
  static IdeMemoryState state;
  return state;
}

const IdeHost& IdeMemoryHost() {
  static const IdeHost host = {
      [](std::string* text) {
        if (!IdeMemory().hasClipboard) return false;
        *text = IdeMemory().clipboard;
        return true;
      },
      [](const std::string& text) {
        IdeMemory().clipboard = text;
        IdeMemory().hasClipboard = true;
        return true;
      },
      []() { return IdeMemory().milliseconds; },
      [](IdeEvent* event) {
        auto& queue = IdeMemory().events;
        if (queue.empty()) return false;
        *event = queue.front();
        queue.erase(queue.begin());
        return true;
      },
      [](const Surface& frame) {
        IdeMemory().lastFrame.assign(frame.pixels.begin(), frame.pixels.end());
        ++IdeMemory().framesPresented;
        return true;
      },
      MemoryScan,
  };
  return host;
}
