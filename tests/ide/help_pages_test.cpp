// The help pages as shipped: every page the menus open exists, pages use only the tags the
// viewer knows and plain ISO 8859-1 text, and every link of every page opens its page.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "compiler/compiler.h"
#include "ide/help/help.h"
#include "ide/ide.h"
#include "tests/ide/help_fixture.h"

namespace {

const std::string kHelpRoot = std::string(QV_SOURCE_DIR) + "/data/help/";

std::vector<std::string> AllPages() {
  std::vector<std::string> pages;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kHelpRoot))
    if (entry.path().extension() == ".htm") pages.push_back(entry.path().lexically_relative(kHelpRoot).string());
  std::sort(pages.begin(), pages.end());
  return pages;
}

std::string ReadPage(const std::string& name) {
  std::ifstream file(kHelpRoot + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

}  // namespace

TEST(HelpPages, TheMenusPagesExist) {
  for (const char* page : {"menu.htm", "intro.htm", "princpal.htm", "fast/fstart.htm", "main.htm", "examples.htm",
                           "tutorial/tstart.htm", "glossary.htm", "credits.htm", "media.htm", "nocontex.htm",
                           "index.htm", "commands.htm", "commands/sprites.htm", "examples/demo.htm"})
    EXPECT_TRUE(std::filesystem::is_regular_file(kHelpRoot + page)) << page;
}

TEST(HelpPages, OnlyKnownTagsEntitiesAndBytes) {
  const std::set<std::string> known = {"BR", "P", "/P", "CENTER", "/CENTER", "FONT", "A", "/A"};
  for (const std::string& name : AllPages()) {
    const std::string text = ReadPage(name);
    for (size_t i = 0; i < text.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(text[i]);
      ASSERT_TRUE(c == '\r' || c == '\n' || (c >= 32 && c < 127)) << name << ": byte " << int(c) << " at " << i;
      if (c == '<') {
        const size_t end = text.find_first_of(" >", i);
        ASSERT_NE(end, std::string::npos) << name;
        EXPECT_TRUE(known.count(text.substr(i + 1, end - i - 1))) << name << ": " << text.substr(i, end - i + 1);
      }
      if (c == '&') {
        const size_t end = text.find(';', i);
        ASSERT_NE(end, std::string::npos) << name;
        EXPECT_EQ(DecodeHtmlEntities(text.substr(i, end - i + 1)).size(), 1u) << name << ": " << text.substr(i, end - i + 1);
      }
    }
  }
}

TEST(HelpPages, EveryLinkOpens) {
  HelpViewer viewer;
  viewer.SetHelpRoot(kHelpRoot);
  int followed = 0;
  for (const std::string& name : AllPages()) {
    ASSERT_TRUE(viewer.OpenHelpHome(name)) << name;
    // Lay the whole page out (the index stops below the screen once its height is known).
    std::vector<std::string> targets;
    for (int scroll = 0;; scroll += kHelpAreaHeight) {
      viewer.set_scroll(scroll);
      viewer.LayoutHelpPage(kFixedMeasurer);
      for (const HelpLink& link : viewer.links()) targets.push_back(link.target);
      if (scroll > viewer.contentHeight()) break;
    }
    EXPECT_FALSE(viewer.runs().empty() && targets.empty()) << name;
    for (const std::string& target : targets) {
      ASSERT_TRUE(viewer.OpenHelpHome(name));
      // A source link is loaded by the environment, not shown: its file must be there.
      if (HasSourceExtension(target)) EXPECT_TRUE(std::filesystem::is_regular_file(viewer.LinkedFilePath(target))) << target;
      else EXPECT_TRUE(viewer.NavigateHelp(target)) << name << " -> " << target;
      ++followed;
    }
  }
  EXPECT_GT(followed, 600);
}

// The code a reader copies from a page: as the viewer shows it (tags read first, then the
// entities of the text), every block in the code colour (yellow at the plain 16 px size;
// titles and headings are larger) is a program that compiles. A run's y starts a new line.
TEST(HelpPages, EveryExampleAsShownCompiles) {
  HelpViewer viewer;
  viewer.SetHelpRoot(kHelpRoot);
  CompilerObject* compiler = CreateCompiler();
  ASSERT_TRUE(LoadKeywordTable(*compiler));
  int blocks = 0;
  for (const std::string& name : AllPages()) {
    if (name == "index.htm") continue;  // names only, no code
    ASSERT_TRUE(viewer.OpenHelpHome(name)) << name;
    viewer.LayoutHelpPage(kFixedMeasurer);  // the first layout lays out the whole page
    std::vector<std::string> codes(1);
    int lastY = 0;
    for (const HelpRun& run : viewer.runs()) {
      const bool code = run.colour == 0xFFFA14 && run.font.height == 16;
      if (!code) {
        if (!codes.back().empty()) codes.emplace_back();
        continue;
      }
      if (!codes.back().empty()) codes.back() += run.y != lastY ? "\n" : " ";
      codes.back() += run.text;
      lastY = run.y;
    }
    for (const std::string& code : codes) {
      if (code.empty()) continue;
      ++blocks;
      ResetCompiler(*compiler);
      EXPECT_TRUE(CompileFromMemory(*compiler, code, 1))
          << name << ": " << CompilerMessage(*compiler) << " at line " << CompilerErrorLine(*compiler) << "\n" << code;
      FreeCompilerBuffers(*compiler);
    }
  }
  DestroyCompiler(compiler);
  EXPECT_GT(blocks, 550);
}

