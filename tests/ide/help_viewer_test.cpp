// The help viewer: entities, page names below the help folder, history back and forward with
// scroll positions, and the bounds on names and history.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ide/help/help.h"
#include "tests/ide/help_fixture.h"

using HelpViewerPages = HelpPagesFixture;

TEST(HelpEntities, DecodeTable) {
  struct Case {
    const char* text;
    std::string decoded;
  } cases[] = {
      {"a&amp;b", "a&b"},
      {"&eacute;t&eacute;", "\xE9t\xE9"},
      {"one &nbsp; two", "one  two"},          // unknown: dropped up to its ";"
      {"kept &amp and the rest", "kept &"},     // no ";": the rest of the page goes
      {"cut & here", "cut "},
      {"&eacutex;!", "\xE9!"},                  // a known prefix still matches
      {"&lt;A&gt; &quot;q&quot;", "<A> \"q\""},
      {"&iquest;&Agrave;&szlig;&agrave;&yuml;&times;&divide;", "\xBF\xC0\xDF\xE0\xFF\xD7\xF7"},
      {"&AMP;x", "x"},                          // names match with case
      {"no entities", "no entities"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeHtmlEntities(c.text), c.decoded) << c.text;
}

TEST_F(HelpViewerPages, NamesResolveBelowTheHelpFolder) {
  Write("menu.htm", "home");
  Write("main.htm", "root main");
  Write("tutorial/tstart.htm", "tutorial start");
  Write("tutorial/next.htm", "tutorial next");
  Write("../outside.htm", "above the help folder");
  Write("outside.htm", "root outside");

  ASSERT_TRUE(viewer.OpenHelpHome("tutorial/tstart.htm"));
  EXPECT_EQ(viewer.currentFolder(), "tutorial/");
  // Relative to the page's folder first, then from the root.
  ASSERT_TRUE(viewer.NavigateHelp("next.htm"));
  EXPECT_EQ(viewer.pageText(), "tutorial next");
  ASSERT_TRUE(viewer.NavigateHelp("menu.htm"));
  EXPECT_EQ(viewer.pageText(), "home");
  ASSERT_TRUE(viewer.NavigateHelp("tutorial\\tstart.htm"));
  ASSERT_TRUE(viewer.NavigateHelp("..\\main.htm"));
  EXPECT_EQ(viewer.pageText(), "root main");
  EXPECT_EQ(viewer.currentFolder(), "");
  // ".." at the root stays at the root: nothing above the help folder is read.
  ASSERT_TRUE(viewer.NavigateHelp("../../outside.htm"));
  EXPECT_EQ(viewer.pageText(), "root outside");
  EXPECT_EQ(viewer.currentFolder(), "");
  // Names that name no file, or a folder, fail and change nothing.
  for (const char* bad : {"", "tutorial/", "..", "tutorial/..", "missing.htm"}) {
    EXPECT_FALSE(viewer.NavigateHelp(bad)) << bad;
    EXPECT_EQ(viewer.pageText(), "root outside");
  }
}

TEST_F(HelpViewerPages, BackAndForwardKeepScrollPositions) {
  Write("menu.htm", LongPage("menu", 80));
  Write("a.htm", LongPage("a", 80));
  Write("b.htm", LongPage("b", 80));
  ASSERT_TRUE(viewer.OpenHelpHome("menu.htm"));
  Layout();
  viewer.HelpPageDown();
  viewer.HelpLineDown();
  EXPECT_EQ(viewer.scroll(), kHelpPageStep + kHelpLineStep);
  ASSERT_TRUE(viewer.NavigateHelp("a.htm"));
  EXPECT_EQ(viewer.scroll(), 0);
  Layout();
  viewer.HelpLineDown();
  ASSERT_TRUE(viewer.NavigateHelp("b.htm"));
  EXPECT_EQ(viewer.position(), 3);
  // Following a link to the page shown adds no position.
  ASSERT_TRUE(viewer.NavigateHelp("b.htm"));
  EXPECT_EQ(viewer.position(), 3);

  ASSERT_TRUE(viewer.HelpBack());
  EXPECT_EQ(viewer.pageName(), "a.htm");
  EXPECT_EQ(viewer.scroll(), kHelpLineStep);
  ASSERT_TRUE(viewer.HelpBack());
  EXPECT_EQ(viewer.pageName(), "menu.htm");
  EXPECT_EQ(viewer.scroll(), kHelpPageStep + kHelpLineStep);
  EXPECT_FALSE(viewer.CanHelpBack());
  EXPECT_FALSE(viewer.HelpBack());
  ASSERT_TRUE(viewer.HelpForward());
  EXPECT_EQ(viewer.pageName(), "a.htm");
  EXPECT_EQ(viewer.scroll(), kHelpLineStep);
  ASSERT_TRUE(viewer.HelpForward());
  EXPECT_EQ(viewer.pageName(), "b.htm");
  EXPECT_FALSE(viewer.CanHelpForward());

  // A new link from the middle of the history drops what lay ahead.
  ASSERT_TRUE(viewer.HelpBack());
  ASSERT_TRUE(viewer.NavigateHelp("menu.htm"));
  EXPECT_EQ(viewer.position(), 3);
  EXPECT_EQ(viewer.top(), 3);
  EXPECT_FALSE(viewer.CanHelpForward());
}

TEST_F(HelpViewerPages, FailedLinkKeepsPositionAndWayForward) {
  Write("menu.htm", "home");
  Write("a.htm", "a");
  Write("b.htm", "b");
  ASSERT_TRUE(viewer.OpenHelpHome("menu.htm"));
  ASSERT_TRUE(viewer.NavigateHelp("a.htm"));
  ASSERT_TRUE(viewer.NavigateHelp("b.htm"));
  ASSERT_TRUE(viewer.HelpBack());
  EXPECT_FALSE(viewer.NavigateHelp("missing.htm"));
  EXPECT_EQ(viewer.pageName(), "a.htm");
  EXPECT_EQ(viewer.position(), 2);
  EXPECT_EQ(viewer.top(), 3);
  ASSERT_TRUE(viewer.HelpForward());
  EXPECT_EQ(viewer.pageName(), "b.htm");
  // A name longer than a page name may be is refused the same way.
  EXPECT_FALSE(viewer.NavigateHelp(std::string(kHelpMaxName + 1, 'x') + ".htm"));
  EXPECT_EQ(viewer.position(), 3);
}

TEST_F(HelpViewerPages, HistoryIsBounded) {
  Write("menu.htm", "home");
  Write("a.htm", "a");
  Write("b.htm", "b");
  ASSERT_TRUE(viewer.OpenHelpHome("menu.htm"));
  for (int i = 0; i < 3 * kHelpMaxHistory; ++i) ASSERT_TRUE(viewer.NavigateHelp(i % 2 ? "a.htm" : "b.htm"));
  EXPECT_EQ(viewer.historySize(), kHelpMaxHistory);
  EXPECT_EQ(viewer.position(), kHelpMaxHistory);
  EXPECT_EQ(viewer.top(), kHelpMaxHistory);
  int backs = 0;
  while (viewer.HelpBack()) ++backs;
  EXPECT_EQ(backs, kHelpMaxHistory - 1);
  // The home page opens a fresh history.
  ASSERT_TRUE(viewer.OpenHelpHome("menu.htm"));
  EXPECT_EQ(viewer.position(), 1);
  EXPECT_FALSE(viewer.CanHelpForward());
}

TEST_F(HelpViewerPages, ScrollingStopsAtThePageEnds) {
  Write("short.htm", "one line");  // about 300 pixels high with the margin
  Write("long.htm", LongPage("long", 100));
  ASSERT_TRUE(viewer.OpenHelpHome("short.htm"));
  viewer.HelpLineDown();  // before the first layout the height is unknown
  EXPECT_EQ(viewer.scroll(), 0);
  Layout();
  viewer.HelpPageDown();
  viewer.HelpLineDown();
  EXPECT_EQ(viewer.scroll(), 0);
  ASSERT_TRUE(viewer.NavigateHelp("long.htm"));
  Layout();
  for (int i = 0; i < 100; ++i) viewer.HelpPageDown();
  EXPECT_EQ(viewer.scroll(), viewer.contentHeight() - kHelpPageStep);
  viewer.HelpLineUp();
  EXPECT_EQ(viewer.scroll(), viewer.contentHeight() - kHelpPageStep - kHelpLineStep);
  for (int i = 0; i < 100; ++i) viewer.HelpPageUp();
  EXPECT_EQ(viewer.scroll(), 0);
}
