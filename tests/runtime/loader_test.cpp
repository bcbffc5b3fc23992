// The loader: section sizes, relocation bands, string and DATA placement, and refusal of
// malformed files (truncated, bad offsets, huge counts, texts past their section).
#include <cstring>

#include "tests/runtime/run_program.h"

namespace {

using qvasm::PutWordAt;
using qvasm::WordAt;

TEST_F(ProgramTest, StringBlockAndDataSizesFollowTheLayout) {
  b.TextConst("abc");
  b.TextConst("");
  b.TextConst("xyz");
  b.DataText("abc");
  std::vector<uint8_t> file = b.Build();
  uint32_t S = WordAt(file, 3), E = WordAt(file, 5);
  EXPECT_EQ(E - S, 3u);  // 4 + 1 + 4 bytes: 9 / 4 + 1 words
  ASSERT_TRUE(LoadCompiledProgramFromMemory(file.data(), file.size(), nullptr));
  EXPECT_STREQ(SlotOf(23000).asText, "abc");
  ASSERT_NE(SlotOf(23001).asText, nullptr);  // an empty constant is a text, not a null slot
  EXPECT_STREQ(SlotOf(23001).asText, "");
  EXPECT_STREQ(SlotOf(23002).asText, "xyz");
  EXPECT_STREQ(VariableTable[kFirstDataItem].asText, "abc");

  qvasm::ProgramBuilder empty;
  std::vector<uint8_t> bare = empty.Build();
  EXPECT_EQ(WordAt(bare, 5) - WordAt(bare, 3), 1u);  // no strings: one zero word
  EXPECT_EQ(WordAt(bare, 7) - WordAt(bare, 5), 1u + 3u);  // no DATA: one type word; empty lists
}

TEST_F(ProgramTest, VariablesStartEmptyAndZero) {
  int i = b.IntVar(), f = b.FloatVar(), s1 = b.TextVar(), s2 = b.TextVar();
  std::vector<uint8_t> file = b.Build();
  ASSERT_TRUE(LoadCompiledProgramFromMemory(file.data(), file.size(), nullptr));
  EXPECT_EQ(SlotOf(i).asInt, 0);
  EXPECT_EQ(SlotOf(f).asInt, 0);
  for (int s : {s1, s2}) {
    ASSERT_NE(SlotOf(s).asText, nullptr);
    EXPECT_STREQ(SlotOf(s).asText, "");
  }
}

TEST_F(ProgramTest, RelocationBands) {
  b.Emit(kEnd);  // the words after it are never run, so the loader relocates them unchecked
  b.Words({b.Raw(24999), b.Raw(25000), b.Raw(34999), b.Raw(35000), b.Raw(36999), b.Raw(37000), b.Raw(10000),
           b.Raw(static_cast<uint32_t>(-3)), b.Raw(9999)});
  std::vector<uint8_t> file = b.Build();
  ASSERT_TRUE(LoadCompiledProgramFromMemory(file.data(), file.size(), nullptr));
  const std::vector<CodeCell>& code = Program().code;
  EXPECT_EQ(code[1], reinterpret_cast<CodeCell>(&VariableTable[14999]));
  EXPECT_EQ(code[2], 0);
  EXPECT_EQ(code[3], 9999);
  EXPECT_EQ(code[4], 35000);
  EXPECT_EQ(code[5], 36999);
  EXPECT_EQ(code[6], reinterpret_cast<CodeCell>(&code[0]));
  EXPECT_EQ(code[7], reinterpret_cast<CodeCell>(&VariableTable[0]));
  EXPECT_EQ(code[8], -3);
  EXPECT_EQ(code[9], 9999);
  EXPECT_EQ(Program().codeWords, 11);  // END, nine words and the closing 0
}

// Each case corrupts a well-formed file; the loader must refuse it and leave nothing loaded.
struct BadFileCase {
  const char* what;
  void (*corrupt)(std::vector<uint8_t>&);
};
void PrintTo(const BadFileCase& c, std::ostream* out) { *out << c.what; }  // the case's name in CTest
class MalformedProgramTest : public ProgramTest, public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(MalformedProgramTest, IsRefused) {
  b.TextConst("hello");
  b.DataInt(1);
  b.DataText("data");
  int v = b.IntVar();
  auto top = b.NewLabel();
  b.Bind(top);
  b.Emit(kAssignInt, {b.Id(v), b.Id(b.IntConst(5))});
  b.Emit(kJump, {b.At(top)});
  std::vector<uint8_t> file = b.Build();
  ASSERT_TRUE(LoadCompiledProgramFromMemory(file.data(), file.size(), nullptr));
  GetParam().corrupt(file);
  std::string whyNot;
  EXPECT_FALSE(LoadCompiledProgramFromMemory(file.data(), file.size(), &whyNot)) << GetParam().what;
  EXPECT_FALSE(whyNot.empty());
  EXPECT_EQ(VariableTable, nullptr);
  EXPECT_FALSE(Program().loaded);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MalformedProgramTest,
    ::testing::Values(
        BadFileCase{"empty", [](std::vector<uint8_t>& f) { f.clear(); }},
        BadFileCase{"header only half there", [](std::vector<uint8_t>& f) { f.resize(2000); }},
        BadFileCase{"truncated by one word", [](std::vector<uint8_t>& f) { f.resize(f.size() - 4); }},
        BadFileCase{"not a multiple of four", [](std::vector<uint8_t>& f) { f.pop_back(); }},
        BadFileCase{"version 2", [](std::vector<uint8_t>& f) { PutWordAt(f, 0, 2); }},
        BadFileCase{"code start past the end", [](std::vector<uint8_t>& f) { PutWordAt(f, 7, 0x7fffffff); }},
        BadFileCase{"string block past the code", [](std::vector<uint8_t>& f) { PutWordAt(f, 5, WordAt(f, 7) + 5); }},
        BadFileCase{"huge int constant count", [](std::vector<uint8_t>& f) { PutWordAt(f, 2, 0xfffffff0); }},
        BadFileCase{"huge string count", [](std::vector<uint8_t>& f) { PutWordAt(f, 4, 1000000); }},
        BadFileCase{"string without its NUL",
                    [](std::vector<uint8_t>& f) {
                      uint32_t S = WordAt(f, 3), E = WordAt(f, 5);
                      std::memset(&f[S * 4], 'x', (E - S) * 4);
                    }},
        BadFileCase{"huge DATA count", [](std::vector<uint8_t>& f) { PutWordAt(f, 6, 0x40000000); }},
        BadFileCase{"DATA text past its section",
                    [](std::vector<uint8_t>& f) {
                      uint32_t E = WordAt(f, 5);
                      f[E * 4 + 1] = 's';
                      f[E * 4] = 's';  // both items texts: the int word has no NUL soon enough
                      uint32_t values = E + 1;
                      std::memset(&f[values * 4], 'y', (WordAt(f, 7) - WordAt(f, 11) - values) * 4);
                    }},
        BadFileCase{"unknown DATA type", [](std::vector<uint8_t>& f) { f[WordAt(f, 5) * 4] = 'q'; }},
        BadFileCase{"ownership size disagrees", [](std::vector<uint8_t>& f) { PutWordAt(f, 11, WordAt(f, 11) + 1); }},
        BadFileCase{"jump outside the code",
                    [](std::vector<uint8_t>& f) {
                      uint32_t G = WordAt(f, 7);
                      PutWordAt(f, G + 4, 37000 + 500);
                    }},
        BadFileCase{"huge string variable count", [](std::vector<uint8_t>& f) { PutWordAt(f, 10, 0x10000000); }}));

}  // namespace
