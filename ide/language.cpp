// The environment's texts from the language file SETUP.INI names, the help folder, and the
// recent files and tool programs kept in the user's WIN.INI.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "ide/ide.h"
#include "platform/folders.h"
#include "platform/profile.h"

namespace {

// Lives for the whole process; filled by LoadLanguageTables, emptied by FreeLanguageTables.
struct LanguageState {
  std::vector<std::string> tables[6];
  std::string helpFolder = "HELP/";
  int textCharset = 0;
  int helpCharset = 0;
};
LanguageState lang;
IdeSettings settings;

struct TableInfo {
  const char* section;
  int entries;
};
// In the order of IdeTable.
constexpr TableInfo kTables[6] = {{"GENERAL", 30}, {"MENU", 100}, {"TITLE", 20},
                                  {"DESC", 80},    {"COMPILER", 60}, {"ERRORS", 200}};
constexpr const char* kStateSection = "QuorvanelStateData";

bool SameWithoutCase(const std::string& a, const std::string& b) { return UpperCase(a) == UpperCase(b); }

bool EndsWithoutCase(const std::string& path, const char* suffix) {
  const std::string s(suffix);
  return path.size() >= s.size() && SameWithoutCase(path.substr(path.size() - s.size()), s);
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

int CharsetNumber(const std::string& text) { return text.empty() ? 0 : std::atoi(text.c_str()); }

}  // namespace

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool LoadLanguageTables(const std::string& installFolder) {
  FreeLanguageTables();
  const std::string setup = PlatformMapFileName(installFolder + "/SETUP.INI");
  const std::string textLanguage = PlatformReadProfileString(setup.c_str(), "SETTINGS", "TEXTLANGUAGE", "English");
  const std::string helpLanguage = PlatformReadProfileString(setup.c_str(), "SETTINGS", "HELPLANGUAGE", "English");
  lang.textCharset = CharsetNumber(PlatformReadProfileString(setup.c_str(), "SETTINGS", "TEXTLANGUAGE-CHARSET", ""));
  lang.helpCharset = CharsetNumber(PlatformReadProfileString(setup.c_str(), "SETTINGS", "HELPLANGUAGE-CHARSET", ""));
  lang.helpFolder = SameWithoutCase(helpLanguage, "English") ? "HELP/" : "LANG/" + UpperCase(helpLanguage) + "/HELP/";

  // The folder names are matched without case, so "lang/english" serves "LANG\ENGLISH".
  const std::string words = PlatformMapFileName(installFolder + "/LANG/" + UpperCase(textLanguage) + "/WORDS.TXT");
  if (!IsRegularFile(words)) return false;
  for (int t = 0; t < 6; ++t) {
    lang.tables[t].assign(kTables[t].entries, std::string());
    for (int key = 0; key < kTables[t].entries; ++key) {
      std::string value = PlatformReadProfileString(words.c_str(), kTables[t].section, std::to_string(key).c_str(), "");
      if (value.size() > 255) value.resize(255);
      lang.tables[t][key] = std::move(value);
    }
  }
  return true;
}

void FreeLanguageTables() {
  for (auto& table : lang.tables) table.clear();
}

const std::string& IdeText(IdeTable table, int key) {
  static const std::string kNone;
  const auto& entries = lang.tables[static_cast<int>(table)];
  if (key < 0 || key >= static_cast<int>(entries.size())) return kNone;
  return entries[key];
}

const std::string& HelpFolder() { return lang.helpFolder; }
int TextCharset() { return lang.textCharset; }
int HelpCharset() { return lang.helpCharset; }

IdeSettings& IdeUserSettings() { return settings; }

void ReadRecentFiles(const std::string& winIni) {
  settings.recent.clear();
  for (int i = 1; i <= 4; ++i) {
    const std::string fileKey = "RECENTFILE" + std::to_string(i), pathKey = "RECENTPATH" + std::to_string(i);
    std::string name = PlatformReadProfileString(winIni.c_str(), kStateSection, fileKey.c_str(), "");
    std::string folder = PlatformReadProfileString(winIni.c_str(), kStateSection, pathKey.c_str(), "");
    // A pair with an empty name is skipped; the later pairs move up.
    if (!name.empty()) settings.recent.push_back({name.substr(0, 255), folder.substr(0, 255)});
  }
  for (int i = 0; i < 5; ++i) {
    const std::string key = "MEDITOR" + std::to_string(i + 1);
    ToolEntry& tool = settings.tools[i];
    tool.path = PlatformReadProfileString(winIni.c_str(), kStateSection, key.c_str(), "").substr(0, 255);
    tool.usable = !tool.path.empty() && IsRegularFile(tool.path);
    tool.processId = 0;
  }
}

bool WriteRecentFiles(const std::string& winIni) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (size_t i = 0; i < settings.recent.size(); ++i) {
    entries.push_back({"RECENTFILE" + std::to_string(i + 1), settings.recent[i].name});
    entries.push_back({"RECENTPATH" + std::to_string(i + 1), settings.recent[i].folder});
  }
  for (int i = 0; i < 5; ++i) entries.push_back({"MEDITOR" + std::to_string(i + 1), settings.tools[i].path});
  return PlatformWriteProfileStrings(winIni.c_str(), kStateSection, entries);
}

bool IsRecentFile(const std::string& name, const std::string& folder) {
  return std::any_of(settings.recent.begin(), settings.recent.end(), [&](const RecentFile& r) {
    return SameWithoutCase(r.name, name) && SameWithoutCase(r.folder, folder);
  });
}

void AddRecentFile(const std::string& name, const std::string& folder) {
  if (name.empty()) return;
  auto& list = settings.recent;
  auto same = std::find_if(list.begin(), list.end(), [&](const RecentFile& r) {
    return SameWithoutCase(r.name, name) && SameWithoutCase(r.folder, folder);
  });
  if (same != list.end()) list.erase(same);
  list.insert(list.begin(), RecentFile{name.substr(0, 255), folder.substr(0, 255)});
  if (list.size() > 4) list.resize(4);
}

bool HasSourceExtension(const std::string& path) { return EndsWithoutCase(path, ".qva"); }
bool HasExeExtension(const std::string& path) { return EndsWithoutCase(path, ".exe"); }

std::string WithSourceExtension(const std::string& name) {
  const size_t slash = name.find_last_of("/\\");
  const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  return base.find('.') == std::string::npos ? name + ".qva" : name;
}

int RebuildRecentItems(MenuRecord& fileMenu, const std::string& currentFolder) {
  auto trimmed = [](std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
  };
  int item = 10;
  for (const RecentFile& file : settings.recent) {
    std::string text = file.name;
    if (!SameWithoutCase(trimmed(file.folder), trimmed(currentFolder))) {
      const std::string folder = trimmed(file.folder);
      const size_t slash = folder.find_last_of('/');
      text = (slash == std::string::npos ? folder : folder.substr(slash + 1)) + "/" + file.name;
      while (!text.empty() && TextWidth(text) >= 256) text.erase(0, 1);
    }
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (text.size() > 32) text.erase(0, text.size() - 32);
    fileMenu.items[item] = text;
    fileMenu.labels[item].clear();
    fileMenu.enabled[item] = true;
    ++item;
  }
  if (item > 10) {
    fileMenu.items[item] = "-";
    fileMenu.labels[item].clear();
    fileMenu.enabled[item] = false;
    ++item;
  }
  const int leave = item;
  fileMenu.items[leave] = IdeText(IdeTable::kMenu, 18).substr(0, 32);
  fileMenu.labels[leave].clear();
  fileMenu.enabled[leave] = true;
  fileMenu.enabled[9] = false;  // the separator above the list
  for (int i = leave + 1; i < 16; ++i) fileMenu.items[i].clear(), fileMenu.enabled[i] = false;
  return leave;
}
