// The checklist commands: every number on an empty, a partial and a full list, the order of
// the reader's checks, the last entry, and the reset at every program start.
#include <gtest/gtest.h>

#include <string>

#include "commands/commands.h"
#include "runtime/command_numbers.h"
#include "tests/asm/command_call.h"

namespace {

using qvasm::kIntResult;
using qvasm::kTextResult;

class ChecklistTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterChecklistCommands());
    EmptyChecklist();
  }
  void TearDown() override { ClearCommandRegistry(); }
  // A list of n entries: values i, 10 i, 100 i, -i and text "entry i" for entry i (1-based).
  static void Fill(int n, bool values, bool strings) {
    StartChecklist(true, values, strings);
    for (int i = 1; i <= n; ++i) AddChecklistEntry(("entry " + std::to_string(i)).c_str(), i, 10 * i, 100 * i, -i);
  }
  qvasm::CommandCaller calls;
};

TEST_F(ChecklistTest, NoListMadeRaises9005FromEveryReader) {
  calls.ExpectErrors({
      {kChecklistQuantity, {kIntResult}, 9005},
      {kChecklistValueA, {kIntResult, 1}, 9005},
      {kChecklistValueB, {kIntResult, 0}, 9005},  // made is checked before the index
      {kChecklistValueC, {kIntResult, 1}, 9005},
      {kChecklistValueD, {kIntResult, 1}, 9005},
      {kChecklistString, {kTextResult, 1}, 9005},
      {kChecklistEmpty, {}, 0},
  });
  // An emptied list is no list, even after one was made.
  Fill(3, true, true);
  calls.ExpectErrors({{kChecklistQuantity, {kIntResult}, 0}, {kChecklistEmpty, {}, 0}, {kChecklistQuantity, {kIntResult}, 9005}});
}

TEST_F(ChecklistTest, ReadersCheckIndexThenValidityThenCount) {
  Fill(3, true, true);
  EXPECT_EQ(calls.IntResult(kChecklistQuantity, {kIntResult}), 3);
  EXPECT_EQ(calls.IntResult(kChecklistValueA, {kIntResult, 2}), 2);
  EXPECT_EQ(calls.IntResult(kChecklistValueB, {kIntResult, 2}), 20);
  EXPECT_EQ(calls.IntResult(kChecklistValueC, {kIntResult, 3}), 300);
  EXPECT_EQ(calls.IntResult(kChecklistValueD, {kIntResult, 1}), -1);
  EXPECT_EQ(calls.TextResult(kChecklistString, {kTextResult, 3}), "entry 3");
  EXPECT_EQ(calls.TakeError(), 0);
  // A failed read leaves the result as it was.
  EXPECT_EQ(calls.IntResult(kChecklistValueA, {kIntResult, 4}), kIntResult.i);
  EXPECT_EQ(calls.TakeError(), 9002);
  EXPECT_EQ(calls.TextResult(kChecklistString, {kTextResult, 0}), kTextResult.s);
  EXPECT_EQ(calls.TakeError(), 9001);
  calls.ExpectErrors({
      {kChecklistValueA, {kIntResult, 0}, 9001},
      {kChecklistValueD, {kIntResult, -1}, 9001},
      {kChecklistString, {kTextResult, 513}, 9001},
      {kChecklistValueC, {kIntResult, 512}, 9002},  // within 1..512 but beyond the count
  });
  // A list of texts only (a drive list) answers its texts and refuses every value.
  Fill(2, false, true);
  calls.ExpectErrors({
      {kChecklistString, {kTextResult, 2}, 0},
      {kChecklistValueA, {kIntResult, 1}, 9004},
      {kChecklistValueB, {kIntResult, 9}, 9004},  // validity is checked before the count
      {kChecklistValueA, {kIntResult, 600}, 9001},
  });
  Fill(2, true, false);
  calls.ExpectErrors({{kChecklistString, {kTextResult, 1}, 9003}, {kChecklistValueD, {kIntResult, 2}, 0}});
}

// A list that reaches the capacity keeps its first 512 entries, the last of them readable,
// and a longer list is cut there instead of stopping the run.
TEST_F(ChecklistTest, FullListKeepsAndReadsItsLastEntry) {
  Fill(600, true, true);
  EXPECT_EQ(Checklist().count, kChecklistCapacity);
  EXPECT_FALSE(AddChecklistEntry("one more", 1));
  EXPECT_EQ(AppendChecklistEntry(), nullptr);
  EXPECT_EQ(calls.IntResult(kChecklistQuantity, {kIntResult}), 512);
  EXPECT_EQ(calls.IntResult(kChecklistValueB, {kIntResult, 512}), 5120);
  EXPECT_EQ(calls.TextResult(kChecklistString, {kTextResult, 512}), "entry 512");
  EXPECT_EQ(calls.TakeError(), 0);
  calls.ExpectErrors({{kChecklistValueA, {kIntResult, 513}, 9001}});
}

TEST_F(ChecklistTest, TextsAreCutTo255Characters) {
  StartChecklist(true, false, true);
  const std::string longText(400, 'x');
  ASSERT_TRUE(AddChecklistEntry(longText.c_str()));
  EXPECT_EQ(calls.TextResult(kChecklistString, {kTextResult, 1}), std::string(255, 'x'));
  EXPECT_EQ(calls.TakeError(), 0);
}

TEST_F(ChecklistTest, EveryProgramStartEmptiesTheList) {
  Fill(5, true, true);
  InitInterpreter();
  EXPECT_EQ(Checklist().made, 0);
  EXPECT_EQ(Checklist().count, 0);
  EXPECT_EQ(Checklist().entries[0].a, -1);
  EXPECT_STREQ(Checklist().entries[0].text, "");
  calls.ExpectErrors({{kChecklistQuantity, {kIntResult}, 9005}});
}

}  // namespace
