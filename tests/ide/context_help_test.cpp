// Context help: the phrases tried around the cursor, the index's link texts, and every keyword
// of the language found through the generated index page.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ide/help/help.h"
#include "ide/ide.h"

namespace {

std::string ReadSource(const std::string& name) {
  std::ifstream file(std::string(QV_SOURCE_DIR) + "/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> First(const std::vector<std::string>& phrases, size_t n) {
  return std::vector<std::string>(phrases.begin(), phrases.begin() + std::min(n, phrases.size()));
}

}  // namespace

TEST(ContextHelp, PhrasesAroundTheCursor) {
  using V = std::vector<std::string>;
  struct Case {
    const char* line;
    int column;
    V first;
  } cases[] = {
      // On the second word of a command with arguments: phrases from it, longest first, then
      // from the word before it.
      {"  make object cube 1, 40", 7,
       {"object cube 1, 40", "object cube 1,", "object cube", "object", "make object cube 1, 40", "make object cube 1,",
        "make object cube", "make object", "make"}},
      {"sync rate 60", 5, {"rate 60", "rate", "sync rate 60", "sync rate", "sync"}},
      // A blank inside a text is no separator; "(" ")" and "=" are.
      {"print \"a b\", sin(x)", 13, {"sin x ", "sin x", "sin", "\"a b\", sin x ", "\"a b\", sin x"}},
      {"a$ = left$(b$, 2)", 6, {"left$ b$, 2 ", "left$ b$, 2", "left$ b$,", "left$"}},
      // The statement under the cursor starts after ":" (not one inside quotes).
      {"a = 1 : sync rate 60", 8, {"sync rate 60", "sync rate", "sync"}},
      {"print \"x:y\" : cls", 14, {"cls"}},
      {"print \"a:b\"", 0, {"print \"a:b\"", "print"}},
      {"cls : print 1", 2, {"cls ", "cls"}},
      // Past the end of the line: the last word.
      {"ink 1, 2", 99, {"2", "1, 2", "1,", "ink 1, 2", "ink 1,", "ink"}},
      {"", 0, {""}},
  };
  for (const Case& c : cases) EXPECT_EQ(First(ContextPhrases(c.line, c.column), c.first.size()), c.first) << c.line;
}

TEST(ContextHelp, WordsAndPhrasesAreBounded) {
  std::string line;
  for (int i = 0; i < 10000; ++i) line += "a ";
  const auto phrases = ContextPhrases(line, static_cast<int>(line.size()) - 1);
  EXPECT_LE(phrases.size(), static_cast<size_t>(kMaxContextWords * kMaxPhraseWords));
  for (const std::string& phrase : phrases) EXPECT_LE(phrase.size(), 2u * kMaxPhraseWords);
}

TEST(ContextHelp, IndexLinkTexts) {
  HelpIndex index;
  index.LoadText("<P><A HREF=\"x.htm\">Sync Rate</A><BR><a href=\"y.htm\">CLS</a> <B>no link</A>"
                 "<A HREF=\"later.htm\">sync rate</A><A HREF=\"\">EMPTY</A>");
  struct Case {
    const char* phrase;
    const char* target;  // null: not found
  } cases[] = {{"sync rate", "x.htm"}, {"SYNC RATE", "x.htm"}, {"cls", "y.htm"}, {"sync", nullptr},
               {"Sync Rate 60", nullptr}, {"", nullptr}, {"empty", nullptr}};
  for (const Case& c : cases) {
    std::string target;
    EXPECT_EQ(index.FindIndexLink(c.phrase, &target), c.target != nullptr) << c.phrase;
    if (c.target != nullptr) {
      EXPECT_EQ(target, c.target) << c.phrase;
    }
  }
  // The link text after a ">" that has no HREF before it names no page.
  HelpIndex bare;
  bare.LoadText("<B>word</A> <A HREF=\"w.htm\">other</A>");
  std::string target;
  EXPECT_FALSE(bare.FindIndexLink("word", &target));
  EXPECT_TRUE(bare.FindIndexLink("other", &target));
  EXPECT_EQ(FindContextPage(bare, "hello world", 3), "nocontex.htm");
  EXPECT_EQ(FindContextPage(bare, "OTHER thing", 1), "w.htm");
}

// Every keyword of the language, written as a command and as a function call, leads through
// the help index to the page that describes it.
TEST(ContextHelp, EveryKeywordHasItsPage) {
  HelpIndex index;
  ASSERT_TRUE(index.Load(std::string(QV_SOURCE_DIR) + "/data/help/index.htm"));
  std::istringstream lines(ReadSource("data/keywords.txt"));
  std::string line;
  int checked = 0;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == ';' || line.find('%') == std::string::npos) continue;
    std::string name = line.substr(0, line.find('%'));
    if (!name.empty() && name.back() == '[') name.pop_back();
    for (const std::string& source : {name + " 1, 2", "x = " + name + "(1)"}) {
      const int column = source[0] == 'x' ? 4 : 0;
      const std::string page = FindContextPage(index, source, column);
      ASSERT_NE(page, "nocontex.htm") << source;
      // The target lands on the entry itself: its anchor stands right before its heading.
      const std::string text = ReadSource("data/help/" + HelpPageOf(page));
      EXPECT_NE(text.find("<A NAME=\"" + HelpAnchorOf(page) + "\"><P><FONT SIZE=5 COLOR=YELLOW>" + Upper(name) + "<BR>"),
                std::string::npos)
          << name << " in " << page;
    }
    ++checked;
  }
  EXPECT_GT(checked, 500);
}

TEST(ContextHelp, ShowsTheCommandsPageOrNoContext) {
  const std::string install = std::string(QV_SOURCE_DIR) + "/data";
  ASSERT_TRUE(ShowHelpHome(install));
  HelpViewer& viewer = TheHelpViewer();
  EXPECT_EQ(viewer.pageName(), "menu.htm");
  ASSERT_TRUE(viewer.NavigateHelp("tutorial/tstart.htm"));
  // Targets are taken from the help folder's root whatever the page shown.
  EXPECT_TRUE(ShowContextHelp(install, "  sprite 1, 100, 100, 1", 4));
  EXPECT_EQ(viewer.pageName(), "commands/sprites.htm#sprite");
  EXPECT_FALSE(ShowContextHelp(install, "zz = qq + 1", 6));
  EXPECT_EQ(viewer.pageName(), "nocontex.htm");
  ASSERT_TRUE(viewer.HelpBack());
  EXPECT_EQ(HelpPageOf(viewer.pageName()), "commands/sprites.htm");
}
