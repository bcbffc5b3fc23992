// The descriptions file against the keyword table: every keyword described, with as many
// operand names as parameters, a result exactly for functions and texts for its errors; and
// the reference made from both.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/docs/docs_files.h"

using namespace command_docs;

TEST(Descriptions, AgreeWithTheKeywordTable) {
  std::vector<std::string> problems;
  const auto keywords = SourceKeywords();
  const auto descriptions = ParseDescriptions(SourceFile("data/descriptions.txt"), &problems);
  ASSERT_GT(keywords.size(), 100u);
  for (const std::string& problem :
       CheckDescriptions(keywords, descriptions, ParseErrorTexts(SourceFile("data/lang/english/WORDS.TXT"))))
    problems.push_back(problem);
  std::string all;
  for (const std::string& problem : problems) all += "\n  " + problem;
  EXPECT_TRUE(problems.empty()) << "data/descriptions.txt disagrees with data/keywords.txt:" << all;
}

// The checks on small files: each kind of disagreement is named.
TEST(Descriptions, NameEachDisagreement) {
  const auto keywords = ParseKeywords(
      "; --- things\n"
      "make thing%100%lf\n"
      "thing size[%101%fl\n"
      "Wipe  Things%102%\n"
      "undescribed%103%\n");
  std::vector<std::string> problems;
  const auto descriptions = ParseDescriptions(
      "; a comment\n"
      "make thing | 100 | thing | | 7 | Makes a thing. | make thing 1, 2.5\n"  // one operand for two
      "thing size | 101 | thing | | | The size. | print thing size(1)\\n" + std::string(61, 'x') + "\n"  // a function without result
      "wipe things | 102 | | everything | 7 w8 | \n"                // a result on a command, no text, no example
      "gone | 104 | | | | A keyword no longer there.\n"
      "broken | line\n",
      &problems);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("line 6"), std::string::npos) << problems[0];
  ASSERT_EQ(descriptions.size(), 4u);
  EXPECT_TRUE(descriptions[2].errors[1].warning);
  EXPECT_EQ(descriptions[2].errors[1].number, 8);
  const auto found = CheckDescriptions(keywords, descriptions, {{7, "Seven"}});
  const std::vector<std::string> expected = {
      "make thing%100 (line 2): names 1 operands for 2 parameters",
      "thing size%101 (line 3): is a function without a result",
      "thing size%101 (line 3): has an example line longer than 60: " + std::string(61, 'x'),
      "wipe things%102 (line 4): is a command with a result",
      "wipe things%102 (line 4): has no description text",
      "wipe things%102 (line 4): has no example",
      "wipe things%102 (line 4): error 8 has no text in the language file",
      "undescribed%103 has no description",
      "gone%104 (line 5) is described but is no keyword",
  };
  EXPECT_EQ(found, expected);
}

// The reference: a section per family, the form a program writes with typed operands, the
// statement's usage where one is given, and each error with its text.
TEST(Descriptions, ReferenceShowsFormsResultsAndErrors) {
  const auto keywords = ParseKeywords(
      "; --- the first family\n"
      "loop%2%\n"
      "place thing%100%lfs\n"
      "; --- second\n"
      "thing name$[%101%sl\n");
  std::vector<std::string> problems;
  const auto descriptions = ParseDescriptions(
      "loop | 2 | DO ... LOOP | | | Goes round.\n"
      "place thing | 100 | thing, height, label | | 7 w8 | Places it. | place thing 1, 2.5, \"a\"\\nprint 1 | 1\n"
      "thing name$ | 101 | thing | text: its name | | The name.\n",
      &problems);
  ASSERT_TRUE(problems.empty());
  const std::string reference = RenderReference(keywords, descriptions, {{7, "Seven"}, {8, "Eight"}});
  for (const char* part : {"- [The first family](#the-first-family)\n", "\n## Second\n",
                           "### loop (2)\n\n`DO ... LOOP`\n\nGoes round.\n",
                           "`place thing thing, height#, label$`\n\nPlaces it.\n\n- Errors: 7 Seven; 8 Eight (warning)\n"
                           "\n```basic\nplace thing 1, 2.5, \"a\"\nprint 1\n```\n\n```output\n1\n```\n",
                           "`thing name$(thing)` gives text\n\nThe name.\n\n- Result: text: its name\n"})
    EXPECT_NE(reference.find(part), std::string::npos) << "missing:\n" << part << "\nin:\n" << reference;
}

// docs/COMMANDS.md is kept in git for the README's link: it must be what its three sources
// make now, or a clone reads a reference that the keyword table has left behind.
TEST(Descriptions, KeptReferenceMatchesItsSources) {
  std::vector<std::string> problems;
  const std::string made =
      RenderReference(SourceKeywords(), ParseDescriptions(SourceFile("data/descriptions.txt"), &problems),
                      ParseErrorTexts(SourceFile("data/lang/english/WORDS.TXT")));
  const std::string kept = SourceFile("docs/COMMANDS.md");
  size_t line = 1, at = 0;
  while (at < std::min(made.size(), kept.size()) && made[at] == kept[at]) line += made[at++] == '\n';
  EXPECT_TRUE(made == kept) << "docs/COMMANDS.md is out of date with data/keywords.txt, data/descriptions.txt and "
                               "data/lang/english/WORDS.TXT (first difference on line "
                            << line << "): write it again with `make docs` and commit it";
}
