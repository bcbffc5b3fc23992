// The help page's layout, measured with a fixed-width measurer: breaks, paragraphs, centring,
// fonts, wrapping, link rectangles, hostile tags, and the index page's checkpoints.
#include <gtest/gtest.h>

#include "ide/help/help.h"
#include "tests/ide/help_fixture.h"

namespace {

class HelpLayout : public HelpPagesFixture {
 protected:
  // Lays out text as the page name and returns its runs.
  const std::vector<HelpRun>& Runs(const std::string& text, const std::string& name = "page.htm") {
    Write(name, text);
    EXPECT_TRUE(viewer.OpenHelpHome(name));
    Layout();
    return viewer.runs();
  }
  static std::string Trace(const std::vector<HelpRun>& runs) {
    std::string out;
    for (const HelpRun& run : runs) out += run.text + "@" + std::to_string(run.x) + "," + std::to_string(run.y) + " ";
    return out;
  }
};

}  // namespace

TEST_F(HelpLayout, BreaksAndParagraphs) {
  // Right after a paragraph break a BR does nothing; after text each BR breaks the line.
  EXPECT_EQ(Trace(Runs("<P><BR>one<BR><BR>two three")), "one@8,21 two three@8,55 ");
  EXPECT_EQ(Trace(Runs("<BR>top</P>next")), "top@8,4 next@8,21 ");
  // Centred lines are centred on 306; "/P" ends the centring.
  EXPECT_EQ(Trace(Runs("<P ALIGN=CENTER>abcd</P>x")), "abcd@290,21 x@8,38 ");
  EXPECT_EQ(Trace(Runs("<CENTER>ab</CENTER>c<P ALIGN=JUSTIFY>d")), "ab@298,4 c@322,4 d@8,21 ");
  // Line ends inside a text are blanks between words; runs of blanks collapse at the ends.
  EXPECT_EQ(Trace(Runs("a\r\nb\nc\tz   <BR>q")), "a b c z@8,4 q@8,21 ");
}

TEST_F(HelpLayout, FontsAndColours) {
  const auto& runs = Runs("<FONT SIZE=4>a<FONT SIZE=6 COLOR=YELLOW>b<FONT FACE=\"Courier New\" COLOR=black>c"
                          "<FONT COLOR=PURPLE>d<FONT SIZE=999999999999>e");
  ASSERT_EQ(runs.size(), 5u);
  EXPECT_EQ(runs[0].font.height, 16);
  EXPECT_EQ(runs[1].font.height, 24);
  EXPECT_EQ(runs[1].colour, 0xFFFA14u);
  EXPECT_EQ(runs[2].font.height, 16);  // every FONT starts again from 16
  EXPECT_EQ(runs[2].font.face, "Courier New");
  EXPECT_EQ(runs[2].colour, 0u);
  EXPECT_EQ(runs[3].colour, 0u);  // an unknown colour changes nothing
  EXPECT_EQ(runs[4].font.height, 128);  // sizes are bounded
  EXPECT_EQ(runs[0].colour, 0xFFFFFFu);
}

TEST_F(HelpLayout, WrappingAtTheRightLimit) {
  // A word longer than a line is split where the line ends, and no character is lost.
  const std::string zs(100, 'z');
  EXPECT_EQ(Trace(Runs("<P>" + zs)), std::string(74, 'z') + "@8,21 " + std::string(26, 'z') + "@8,38 ");
  // A word that does not fit after what the line holds starts the next line whole.
  EXPECT_EQ(Trace(Runs("ab<FONT SIZE=4>" + std::string(74, 'y'))), "ab@8,4 " + std::string(74, 'y') + "@8,21 ");
  // Text wraps at the last blank that fits.
  EXPECT_EQ(Trace(Runs(std::string(70, 'w') + " alpha beta")), std::string(70, 'w') + "@8,4 alpha beta@8,21 ");
}

TEST_F(HelpLayout, LinkRectanglesAndHits) {
  Runs("<A HREF=\"near.htm\">near</A> " + std::string(60, 'a') + " <A HREF=\"t.htm\">alpha beta gamma delta</A>");
  ASSERT_EQ(viewer.links().size(), 2u);
  const HelpLink& near = viewer.links()[0];
  EXPECT_EQ(near.target, "near.htm");
  EXPECT_EQ(near.x1, 8);
  EXPECT_EQ(near.y1, 4);
  EXPECT_EQ(near.x2, 48);  // after the text and its blank
  EXPECT_EQ(near.y2, 20);
  // The second link wrapped: its rectangle starts at x 0 on the line below its start.
  const HelpLink& wrapped = viewer.links()[1];
  EXPECT_EQ(wrapped.x1, 0);
  EXPECT_EQ(wrapped.y1, 21);
  EXPECT_EQ(wrapped.x2, 144);
  EXPECT_EQ(wrapped.y2, 37);
  struct Hit {
    int x, y;
    const char* target;
  } hits[] = {{8, 4, "near.htm"}, {48, 20, "near.htm"}, {7, 4, ""},     {49, 10, ""}, {8, 3, ""},
              {0, 21, "t.htm"},   {144, 37, "t.htm"},   {145, 30, ""},    {50, 38, ""}};
  for (const Hit& hit : hits) EXPECT_EQ(viewer.FindHelpLinkAt(hit.x, hit.y), hit.target) << hit.x << "," << hit.y;
  // Link text is green and underlined; the colour before it comes back after it.
  const auto& runs = viewer.runs();
  EXPECT_EQ(runs[0].colour, 0x00FF00u);
  EXPECT_TRUE(runs[0].font.underline);
  EXPECT_EQ(runs[1].colour, 0xFFFFFFu);
  EXPECT_FALSE(runs[1].font.underline);
  // Targets are bounded, and a link scrolled with the page is hit where it shows.
  Runs("<A HREF=" + std::string(1000, 'h') + ">x</A>");
  ASSERT_EQ(viewer.links().size(), 1u);
  EXPECT_EQ(viewer.links()[0].target.size(), static_cast<size_t>(kHelpMaxName));
}

TEST_F(HelpLayout, TagsThatDoNotReadEndTheirAttributes) {
  // Each of these once could keep the attribute reader where it was; all must end.
  const char* pages[] = {"<P>", "<PRE>x", "<PRE", "<A>x</A>", "<FONT>", "<P ALIGN>", "<A HREF>y</A>",
                         "<FONT SIZE=", "<A HREF=\"open", "<P =>", "<FONT ==== SIZE>", "<A NAME=n>z</A>",
                         "<<<>>>", "</A></A></P>", "<"};
  for (const char* page : pages) {
    Runs(page);
    EXPECT_LE(viewer.links().size(), 1u) << page;
  }
  // A link whose only attribute is no HREF starts nothing.
  Runs("<A NAME=n>z</A>");
  EXPECT_TRUE(viewer.links().empty());
  // PRE reads as a paragraph break, and the text after it is laid out.
  EXPECT_EQ(Trace(Runs("a<PRE>b")), "a@8,4 b@8,21 ");
}

TEST_F(HelpLayout, IndexPageFromCheckpointsMatchesAFullLayout) {
  std::string page;
  for (int i = 0; i < 400; ++i)
    page += "<A HREF=\"p" + std::to_string(i) + ".htm\">entry " + std::to_string(i) + "</A> words after it<BR>\r\n" +
            (i % 7 == 0 ? "<P><FONT SIZE=6>heading " + std::to_string(i) + "<FONT SIZE=4></P>\r\n" : "");
  HelpViewer full;
  full.SetHelpRoot(viewer.helpRoot());
  Write("other.htm", page);
  ASSERT_TRUE(full.OpenHelpHome("other.htm"));
  full.LayoutHelpPage(kFixedMeasurer);
  Runs(page, "index.htm");
  EXPECT_GT(viewer.checkpointCount(), 100u);
  EXPECT_EQ(viewer.contentHeight(), full.contentHeight());
  for (int scroll : {0, 32, 500, 3000, 3017, viewer.contentHeight() - kHelpPageStep}) {
    viewer.set_scroll(scroll);
    full.set_scroll(scroll);
    viewer.LayoutHelpPage(kFixedMeasurer);
    full.LayoutHelpPage(kFixedMeasurer);
    auto visible = [](const std::vector<HelpRun>& runs) {
      std::string out;
      for (const HelpRun& r : runs)
        if (r.y + r.font.height > 0 && r.y < kHelpAreaHeight) out += r.text + "@" + std::to_string(r.y) + " ";
      return out;
    };
    EXPECT_EQ(visible(viewer.runs()), visible(full.runs())) << "scroll " << scroll;
    EXPECT_FALSE(visible(viewer.runs()).empty());
    EXPECT_EQ(viewer.FindHelpLinkAt(20, 200), full.FindHelpLinkAt(20, 200)) << "scroll " << scroll;
    // The index is laid out from just above what shows, not from its top.
    if (scroll >= 3000) {
      EXPECT_LT(viewer.runs().size(), full.runs().size() / 2);
    }
  }
}

TEST_F(HelpLayout, PlaceholderWithoutAPage) {
  viewer.LayoutHelpPage(kFixedMeasurer, "No help pages were found.");
  EXPECT_EQ(Trace(viewer.runs()), "No help pages were found.@8,4 ");
}

namespace {
size_t measuredChars = 0;
int CountingWidth(const std::string& text, const HelpFont& font) {
  measuredChars += text.size();
  return FixedWidth(text, font);
}
}  // namespace

TEST_F(HelpLayout, ALongParagraphIsMeasuredInProportionToItsLength) {
  std::string paragraph;
  while (paragraph.size() < 200000) paragraph += "word" + std::to_string(paragraph.size() % 97) + " ";
  Write("long.htm", paragraph);
  ASSERT_TRUE(viewer.OpenHelpHome("long.htm"));
  measuredChars = 0;
  viewer.LayoutHelpPage(HelpMeasurer{CountingWidth});
  // Measuring the rest of the paragraph for every line would be thousands of times its length.
  EXPECT_LT(measuredChars, 50 * paragraph.size());
  EXPECT_GT(viewer.runs().size(), paragraph.size() / 80);
}

// Tags are read before entities are decoded: "&lt;" in a page's text is a "<" that shows, never
// the start of a tag, and "&gt;" a ">" (an example's comparison keeps both sides).
TEST_F(HelpLayout, EntitiesInTextNeverStartATag) {
  EXPECT_EQ(Trace(Runs("if x &lt; 0 or x &gt; 620 then<BR>a &amp;&lt;b&gt; c")), "if x < 0 or x > 620 then@8,4 a &<b> c@8,21 ");
  EXPECT_EQ(Trace(Runs("the comparisons = &lt;&gt; &lt; &gt; &lt;= &gt;=")), "the comparisons = <> < > <= >=@8,4 ");
  EXPECT_TRUE(viewer.links().empty());
  // A link's target may use an entity too.
  Runs("<A HREF=\"a&amp;b.htm\">x</A>");
  ASSERT_EQ(viewer.links().size(), 1u);
  EXPECT_EQ(viewer.links()[0].target, "a&b.htm");
}

// A link to "page#anchor" opens the page scrolled so the entry <A NAME="anchor"> starts at the
// top; Back returns to the page that was shown at its own scroll.
TEST_F(HelpLayout, AnAnchorLinkLandsOnItsEntry) {
  std::string page;
  for (int i = 0; i < 60; ++i) page += "<A NAME=\"e" + std::to_string(i) + "\"><P>entry " + std::to_string(i) + "</P>\r\n";
  Write("family.htm", page + "<P>end</P>");
  Write("start.htm", "<A HREF=\"family.htm#e40\">to forty</A>");
  ASSERT_TRUE(viewer.OpenHelpHome("start.htm"));
  Layout();
  ASSERT_TRUE(viewer.NavigateHelp("family.htm#e40"));
  Layout();
  ASSERT_GT(viewer.AnchorY("e40"), 0);
  EXPECT_EQ(viewer.scroll(), viewer.AnchorY("e40") - kHelpTop);
  ASSERT_FALSE(viewer.runs().empty());
  const HelpRun* first = nullptr;
  for (const HelpRun& run : viewer.runs())
    if (run.y >= 0 && first == nullptr) first = &run;
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->text, "entry 40");
  // An anchor near the end shows the page's last screen; an unknown one its top.
  ASSERT_TRUE(viewer.NavigateHelp("family.htm#e59"));
  Layout();
  EXPECT_EQ(viewer.scroll(), viewer.contentHeight() - kHelpPageStep);
  ASSERT_TRUE(viewer.NavigateHelp("family.htm#nowhere"));
  Layout();
  EXPECT_EQ(viewer.scroll(), 0);
  ASSERT_TRUE(viewer.HelpBack());
  ASSERT_TRUE(viewer.HelpBack());
  Layout();
  EXPECT_EQ(viewer.scroll(), viewer.AnchorY("e40") - kHelpTop);
}
