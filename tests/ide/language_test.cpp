// Language texts from SETUP.INI and WORDS.TXT, and the recent files kept in WIN.INI.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ide/ide.h"

namespace fs = std::filesystem;

namespace {
struct Install {
  fs::path root = fs::temp_directory_path() / ("qv-ide-lang-" + std::to_string(getpid()));
  Install() { fs::create_directories(root); }
  ~Install() { fs::remove_all(root); }
  void Write(const std::string& name, const std::string& text) {
    fs::create_directories((root / name).parent_path());
    std::ofstream(root / name) << text;
  }
};
}  // namespace

TEST(LanguageTexts, TheShippedFileHasEveryKeyTheEnvironmentUses) {
  ASSERT_TRUE(LoadLanguageTables(QV_SOURCE_DIR "/data"));
  for (int key : {1, 2, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23})
    EXPECT_FALSE(IdeText(IdeTable::kGeneral, key).empty()) << "GENERAL " << key;
  for (int key : {1, 2, 3, 4, 5, 6, 11, 12, 13, 14, 15, 16, 17, 18, 21, 22, 23, 24, 25, 26, 27, 31, 32, 33, 34,
                  41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 61, 62, 71, 72, 73, 74, 75, 76, 77, 78, 79, 91, 92, 93})
    EXPECT_FALSE(IdeText(IdeTable::kMenu, key).empty()) << "MENU " << key;
  for (int key : {1, 2, 3, 4, 5, 6, 7, 10, 11}) EXPECT_FALSE(IdeText(IdeTable::kTitle, key).empty()) << "TITLE " << key;
  for (int key : {0, 2, 3, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 32,
                  33, 34, 35, 43, 44, 45, 46, 47, 50, 51, 52, 53, 54, 55, 56, 58, 59, 60, 62, 63, 64})
    EXPECT_FALSE(IdeText(IdeTable::kDesc, key).empty()) << "DESC " << key;
  EXPECT_FALSE(IdeText(IdeTable::kCompiler, 7).empty());
  EXPECT_TRUE(IdeText(IdeTable::kMenu, 500).empty());
  EXPECT_EQ(HelpFolder(), "HELP/");
}

TEST(LanguageTexts, SetupChoosesLanguageAndHelpFolder) {
  Install install;
  install.Write("SETUP.INI", "[SETTINGS]\nTEXTLANGUAGE=German\nHELPLANGUAGE=eNgLiSh\nTEXTLANGUAGE-CHARSET=161\n");
  install.Write("lang/german/words.txt", "[GENERAL]\n7=Abbrechen\n");
  ASSERT_TRUE(LoadLanguageTables(install.root.string()));
  EXPECT_EQ(IdeText(IdeTable::kGeneral, 7), "Abbrechen");
  EXPECT_EQ(HelpFolder(), "HELP/");
  EXPECT_EQ(TextCharset(), 161);
  EXPECT_EQ(HelpCharset(), 0);
  install.Write("SETUP.INI", "[SETTINGS]\nTEXTLANGUAGE=French\nHELPLANGUAGE=french\n");
  EXPECT_FALSE(LoadLanguageTables(install.root.string()));  // no French file
  EXPECT_TRUE(IdeText(IdeTable::kGeneral, 7).empty());
  EXPECT_EQ(HelpFolder(), "LANG/FRENCH/HELP/");
}

TEST(RecentFiles, FifthDropsOldestAndTheListPersistsAcrossRuns) {
  Install install;
  const std::string ini = (install.root / "WIN.INI").string();
  ReadRecentFiles(ini);
  EXPECT_TRUE(IdeUserSettings().recent.empty());
  for (const char* name : {"a.qva", "b.qva", "c.qva", "d.qva", "e.qva"}) AddRecentFile(name, "/p/");
  ASSERT_EQ(IdeUserSettings().recent.size(), 4u);
  EXPECT_EQ(IdeUserSettings().recent[0].name, "e.qva");
  EXPECT_EQ(IdeUserSettings().recent[3].name, "b.qva");
  AddRecentFile("C.QVA", "/P/");  // listed already: only moves to the front
  EXPECT_EQ(IdeUserSettings().recent[0].name, "C.QVA");
  EXPECT_EQ(IdeUserSettings().recent.size(), 4u);
  EXPECT_TRUE(IsRecentFile("e.qva", "/p/"));
  EXPECT_FALSE(IsRecentFile("a.qva", "/p/"));
  IdeUserSettings().tools[0].path = ini;  // an existing file
  IdeUserSettings().tools[1].path = (install.root / "gone.exe").string();
  ASSERT_TRUE(WriteRecentFiles(ini));

  // The next run reads the same list back.
  IdeUserSettings() = IdeSettings();
  ReadRecentFiles(ini);
  ASSERT_EQ(IdeUserSettings().recent.size(), 4u);
  EXPECT_EQ(IdeUserSettings().recent[0].name, "C.QVA");
  EXPECT_EQ(IdeUserSettings().recent[1].name, "e.qva");
  EXPECT_TRUE(IdeUserSettings().tools[0].usable);
  EXPECT_FALSE(IdeUserSettings().tools[1].usable);

  // A pair with an empty name is skipped and the later ones move up.
  install.Write("WIN.INI", "[QuorvanelStateData]\nRECENTFILE1=\nRECENTFILE2=x.qva\nRECENTPATH2=/q/\n");
  ReadRecentFiles(ini);
  ASSERT_EQ(IdeUserSettings().recent.size(), 1u);
  EXPECT_EQ(IdeUserSettings().recent[0].folder, "/q/");
}

TEST(RecentFiles, NameTests) {
  EXPECT_TRUE(HasSourceExtension("x.QVA"));
  EXPECT_FALSE(HasSourceExtension("qva"));
  EXPECT_TRUE(HasExeExtension("tool.Exe"));
}
