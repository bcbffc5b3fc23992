// Texts in slots: the 255-character limit and the slot kinds StoreText accepts, the reuse of
// a slot's block by shorter and longer texts, and stores from a slot's own text.
#include <string>

#include "tests/runtime/run_program.h"

namespace {

class TextSlotTest : public ProgramTest {
 protected:
  void SetUp() override {
    text = b.TextVar();
    number = b.IntVar();
    b.Emit(kAssignText, {b.Id(text), b.Id(b.TextConst("start"))});
    ASSERT_TRUE(RunAssembled(b).quit);
    ClearRuntimeError();
  }
  VariableSlot* Slot(int id) { return &SlotOf(id); }
  int text = 0, number = 0;
};

TEST_F(TextSlotTest, StoreKeepsTheLimitAndTheSlotKinds) {
  struct Case {
    const char* what;
    bool toText;
    size_t length;
    bool stored;
    int error;
  } cases[] = {
      {"255 characters", true, 255, true, 0},
      {"256 characters", true, 256, false, 107},
      {"an integer slot", false, 3, false, 10010},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClearRuntimeError();
    ASSERT_TRUE(StoreText(Slot(text), "before"));
    VariableSlot* slot = Slot(c.toText ? text : number);
    uint64_t was = slot->raw;
    std::string value(c.length, 'q');
    EXPECT_EQ(StoreText(slot, value.c_str()), c.stored);
    EXPECT_EQ(RuntimeErrorNumber(), c.error);
    if (c.stored) {
      EXPECT_EQ(TextOf(text), value);
      EXPECT_EQ(TextLength(slot->asText), c.length);
    } else {
      EXPECT_EQ(slot->raw, was);  // the slot is left as it was
    }
  }
  EXPECT_EQ(TextOf(text), "before");
}

TEST_F(TextSlotTest, ShorterAndLongerTextsReuseTheBlock) {
  const std::string longText(200, 'L');
  ASSERT_TRUE(StoreText(Slot(text), longText.c_str()));
  const char* block = Slot(text)->asText;
  ASSERT_TRUE(StoreText(Slot(text), "ab"));
  EXPECT_EQ(Slot(text)->asText, block);
  EXPECT_EQ(TextOf(text), "ab");  // nothing of the longer text is left behind the end
  EXPECT_EQ(TextLength(Slot(text)->asText), 2u);
  ASSERT_TRUE(StoreText(Slot(text), ""));
  EXPECT_EQ(TextOf(text), "");
  EXPECT_EQ(TextLength(Slot(text)->asText), 0u);
  std::string grown(255, 'G');
  ASSERT_TRUE(StoreText(Slot(text), grown.c_str()));
  EXPECT_EQ(TextOf(text), grown);
  // Growing a short text a character at a time keeps every character.
  ASSERT_TRUE(StoreText(Slot(text), ""));
  std::string expected;
  for (int i = 0; i < 255; ++i) {
    expected += static_cast<char>('a' + i % 26);
    ASSERT_TRUE(StoreTextOfLength(Slot(text), expected.data(), expected.size()));
  }
  EXPECT_EQ(TextOf(text), expected);
  EXPECT_EQ(TextLength(Slot(text)->asText), 255u);
}

TEST_F(TextSlotTest, StoresFromTheSlotsOwnText) {
  ASSERT_TRUE(StoreText(Slot(text), "abcdefgh"));
  ASSERT_TRUE(StoreTextOfLength(Slot(text), Slot(text)->asText + 2, 3));  // mid$(t$, 3, 3)
  EXPECT_EQ(TextOf(text), "cde");
  ASSERT_TRUE(StoreText(Slot(text), Slot(text)->asText));
  EXPECT_EQ(TextOf(text), "cde");
}

// A store that needs a new block past the program's memory limit is error 101 and leaves the
// slot and the count as they were; one that fits the slot's own block needs no memory.
TEST_F(TextSlotTest, StorePastTheMemoryLimitIsOutOfMemory) {
  ASSERT_TRUE(StoreText(Slot(text), "before"));
  const size_t inUse = ProgramMemoryInUse();
  SetProgramMemoryLimitForTests(inUse + 64);
  const uint64_t was = Slot(text)->raw;
  const std::string longText(200, 'L');
  EXPECT_FALSE(StoreText(Slot(text), longText.c_str()));
  EXPECT_EQ(RuntimeErrorNumber(), 101);
  EXPECT_NE(FormatRuntimeErrorText().find("Arrays and strings may hold"), std::string::npos);
  EXPECT_EQ(Slot(text)->raw, was);
  EXPECT_EQ(TextOf(text), "before");
  EXPECT_EQ(ProgramMemoryInUse(), inUse);
  ClearRuntimeError();
  EXPECT_TRUE(StoreText(Slot(text), "after"));
  EXPECT_EQ(RuntimeErrorNumber(), 0);
  EXPECT_EQ(TextOf(text), "after");
  SetProgramMemoryLimitForTests(0);
  EXPECT_TRUE(StoreText(Slot(text), longText.c_str()));
}

// Joins and comparisons run on the lengths kept with the texts: a text joined to itself in
// its own slot, texts with a common start, bytes above 127 and the empty text.
TEST_F(ProgramTest, JoinsAndComparisonsUseTheLengths) {
  int s = b.TextVar(), equal = b.IntVar(), less = b.IntVar(), greater = b.IntVar(), high = b.IntVar();
  int empty = b.TextVar(), other = b.IntVar(), unset = b.IntVar();
  const int neverSet = 12000 + 5;  // a text temporary that was never assigned
  b.Emit(kAssignText, {b.Id(s), b.Id(b.TextConst("ab"))});
  b.Emit(kJoinText, {b.Id(s), b.Id(s), b.Id(s)});
  b.Emit(kJoinText, {b.Id(s), b.Id(s), b.Id(b.TextConst("c"))});
  b.Emit(kTextEqual, {b.Id(equal), b.Id(s), b.Id(b.TextConst("ababc"))});
  b.Emit(kTextLess, {b.Id(less), b.Id(b.TextConst("abab")), b.Id(s)});
  b.Emit(kTextGreater, {b.Id(greater), b.Id(s), b.Id(b.TextConst("abab"))});
  b.Emit(kTextGreater, {b.Id(high), b.Id(b.TextConst("\xC8")), b.Id(b.TextConst("z"))});
  b.Emit(kTextNotEqual, {b.Id(other), b.Id(empty), b.Id(b.TextConst("x"))});
  b.Emit(kTextEqual, {b.Id(unset), b.Id(neverSet), b.Id(empty)});
  b.Emit(kRemoveText, {b.Id(s), b.Id(s), b.Id(b.TextConst("ba"))});
  ASSERT_TRUE(RunAssembled(b).quit);
  EXPECT_EQ(RuntimeErrorNumber(), 0);
  EXPECT_EQ(TextOf(s), "abc");
  EXPECT_EQ(TextLength(SlotOf(s).asText), 3u);
  EXPECT_EQ(SlotOf(equal).asInt, 1);
  EXPECT_EQ(SlotOf(less).asInt, 1);
  EXPECT_EQ(SlotOf(greater).asInt, 1);
  EXPECT_EQ(SlotOf(high).asInt, 1);  // bytes compare as unsigned
  EXPECT_EQ(SlotOf(other).asInt, 1);
  EXPECT_EQ(SlotOf(unset).asInt, 1);
}

}  // namespace
