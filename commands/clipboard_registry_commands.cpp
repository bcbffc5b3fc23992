// The clipboard and registry-value commands: text to and from the desktop's clipboard, and
// 32-bit numbers kept by key path and value name in one file of the user's configuration folder.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands/commands.h"
#include "platform/clipboard.h"
#include "platform/folders.h"
#include "platform/profile.h"
#include "runtime/command_numbers.h"

static void CmdClipboardWrite() {  // text
  PlatformSetClipboardText(TextOperand(0));
  AdvanceOperands(1);
}

static void CmdClipboardRead() {  // result
  std::string text;
  if (PlatformGetClipboardText(&text)) WriteTextResultOfLength(text.data(), std::min<size_t>(text.size(), kMaxTextLength));
  AdvanceOperands(1);
}

// Registry values: one profile file, a section per key path and a key per value name, so
// both compare without case; the profile writer replaces the file atomically under a lock.
// Empty when there is no configuration folder to keep it in (never a file at the root). The
// folder is looked for (and made) at the run's first registry command and kept for the run.
static struct {
  bool found = false;
  std::string path;
} gRegistryFile;

void ForgetRegistryFolder() { gRegistryFile = {}; }

static const std::string& RegistryFilePath() {
  if (!gRegistryFile.found) {
    const std::string folder = PlatformConfigFolder();
    gRegistryFile.path = folder.empty() ? std::string() : folder + "/registry.ini";
    gRegistryFile.found = true;
  }
  return gRegistryFile.path;
}

// A key path and value name the file can hold: both shorter than 255 characters, the path's
// "/" taken as "\", and no character that would end a section name or a key early.
static bool RegistryNames(const char* keyPath, const char* valueName, std::string* section) {
  if (std::strlen(keyPath) >= 255 || std::strlen(valueName) >= 255) return false;
  if (std::strpbrk(keyPath, "]\r\n") != nullptr || std::strpbrk(valueName, "=\r\n") != nullptr) return false;
  if (valueName[0] == ';' || valueName[0] == '[') return false;
  *section = keyPath;
  for (char& c : *section)
    if (c == '/') c = '\\';
  return true;
}

static void CmdRegistryWrite() {  // key path, value name, number
  const char* keyPath = TextOperand(0);
  const char* valueName = TextOperand(1);
  const int32_t number = IntOperand(2);
  AdvanceOperands(3);
  std::string section;
  if (!RegistryNames(keyPath, valueName, &section)) return;
  // A value that could not be kept says so (a warning: a game goes on without it).
  const std::string& path = RegistryFilePath();
  if (path.empty() || !PlatformWriteProfileString(path.c_str(), section.c_str(), valueName, std::to_string(number).c_str()))
    RuntimeWarning(8083);
}

static void CmdRegistryRead() {  // result, key path, value name
  const char* keyPath = TextOperand(1);
  const char* valueName = TextOperand(2);
  std::string section;
  if (RegistryNames(keyPath, valueName, &section)) {
    const std::string& path = RegistryFilePath();
    const std::string value = path.empty() ? "0" : PlatformReadProfileString(path.c_str(), section.c_str(), valueName, "0");
    WriteIntResult(static_cast<int32_t>(std::strtoll(value.c_str(), nullptr, 10)));
  }
  AdvanceOperands(3);
}

static const CommandEntry kClipboardRegistryCommands[] = {
    {kClipboardWrite, CmdClipboardWrite},
    {kClipboardRead, CmdClipboardRead},
    {kRegistryWrite, CmdRegistryWrite},
    {kRegistryRead, CmdRegistryRead},
};

bool RegisterClipboardRegistryCommands() { return RegisterCommands(kClipboardRegistryCommands); }
