// Every value-returning command of the keyword table, run in-process on a few rows of plain
// and out-of-range operands with every family registered: when it raises a warning, its
// result is 0 (or "") instead of whatever an earlier expression left in the result slot,
// with warnings on and off; and the warnings the descriptions file marks are all reached.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/sound_local.h"
#include "engine3d/engine3d.h"
#include "graphics2d/graphics2d.h"
#include "runtime/builtins.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"
#include "tests/asm/command_call.h"
#include "tools/command_docs/command_docs.h"

namespace {

namespace fs = std::filesystem;
using qvasm::Operand;

// What an earlier expression left in the result slot.
constexpr int32_t kStaleInt = 4711;
constexpr float kStaleFloat = 47.11f;
const char* const kStaleText = "stale";

// Operand rows, one value per parameter type: plain values, then values each family refuses
// (no such sound or music, file numbers outside 1..32, a file that is not there).
struct Row {
  int32_t i;
  float f;
  const char* s;
};
constexpr Row kRows[] = {{1, 1.0f, ""},          {0, 0.0f, "absent.file"}, {-1, -1.0f, "absent.file"},
                         {40, 2.0f, "x"},        {65536, 1e9f, "absent.file"}, {100000, -1e9f, ""}};

std::vector<Operand> OperandsOf(const command_docs::Keyword& keyword, const Row& row) {
  std::vector<Operand> operands;
  operands.push_back(keyword.result == 's' ? Operand(kStaleText) : keyword.result == 'f' ? Operand(kStaleFloat)
                                                                                          : Operand(kStaleInt));
  for (char type : keyword.params)
    operands.push_back(type == 's' ? Operand(row.s) : type == 'f' ? Operand(row.f) : Operand(row.i));
  return operands;
}

// The result slot after the call, as text: "0" for an integer or float 0, the text itself.
std::string ResultOf(const command_docs::Keyword& keyword, const VariableSlot* slot) {
  if (keyword.result == 's') return slot->asText != nullptr ? slot->asText : "";
  if (keyword.result == 'f') return slot->asFloat == 0.0f ? "0" : std::to_string(slot->asFloat);
  return std::to_string(slot->asInt);
}

std::string SourceFile(const std::string& relative) {
  std::string text;
  command_docs::ReadWholeFile(std::string(QV_SOURCE_DIR) + "/" + relative, &text);
  return text;
}

class WarningResultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("qv-warning-results-" + std::to_string(getpid()));
    fs::create_directories(folder_);
    before_ = fs::current_path();
    fs::current_path(folder_);  // the file commands look here; the registry keeps its values here
    setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    ForgetRegistryFolder();
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterRuntimeCommands());
    ASSERT_TRUE(RegisterCoreBuiltins());
    ASSERT_TRUE(RegisterGraphics2DCommands());
    RegisterGraphics2DPools();
    ASSERT_TRUE(RegisterEngine3dCommands());
    RegisterEngine3dPools();
    ASSERT_TRUE(RegisterCommandFamilies());
    saved_ = Hooks;
    InstallCommandHooks(Hooks);
    SetSoundGlueOutput(0, true);  // the library runs on the no-sound output, as in a run without a device
    Hooks.InitSound();
  }
  void TearDown() override {
    CloseSound();
    SetSoundGlueOutput(2, false);
    Hooks = saved_;
    ClearCommandRegistry();
    SetWarningsOff(false);
    unsetenv("XDG_CONFIG_HOME");
    fs::current_path(before_);
    fs::remove_all(folder_);
  }
  fs::path folder_, before_;
  RuntimeHooks saved_;
};

TEST_F(WarningResultsTest, AValueReturningCommandThatWarnsAnswersZero) {
  const std::vector<command_docs::Keyword> keywords = command_docs::ParseKeywords(EmbeddedKeywordText());
  std::set<int> warned;
  qvasm::CommandCaller calls;
  for (const command_docs::Keyword& keyword : keywords) {
    if (!keyword.function || keyword.number == 0) continue;
    for (const Row& row : kRows) {
      const std::vector<Operand> operands = OperandsOf(keyword, row);
      SetWarningsOff(false);
      const VariableSlot* result = qvasm::CallCommand(keyword.number, operands).at(0);
      const bool warning = RuntimeErrorNumber() != 0 && RuntimeErrorIsWarning();
      const int number = calls.TakeError();
      if (!warning) continue;
      warned.insert(keyword.number);
      const std::string where = keyword.name + " (" + std::to_string(keyword.number) + ") with " +
                                std::to_string(row.i) + " warned " + std::to_string(number);
      EXPECT_EQ(ResultOf(keyword, result), keyword.result == 's' ? "" : "0") << where;
      // A player run: the warning is silent and the run goes on with the result.
      SetWarningsOff(true);
      result = qvasm::CallCommand(keyword.number, operands).at(0);
      EXPECT_EQ(ResultOf(keyword, result), keyword.result == 's' ? "" : "0") << where << ", warnings off";
      calls.TakeError();
    }
  }
  // The descriptions mark each warning a command can raise: the rows reach every value-returning
  // command marked so, and every one that warned is marked.
  std::vector<std::string> problems;
  std::set<int> marked;
  std::map<int, bool> isFunction;
  for (const command_docs::Keyword& keyword : keywords) isFunction[keyword.number] |= keyword.function;
  for (const command_docs::Description& entry :
       command_docs::ParseDescriptions(SourceFile("data/descriptions.txt"), &problems))
    for (const command_docs::ErrorRef& error : entry.errors)
      if (error.warning && isFunction[entry.number]) marked.insert(entry.number);
  EXPECT_EQ(warned, marked);
  for (int number : {kSoundPlaying, kSoundVolume, kFileAtEnd}) EXPECT_EQ(warned.count(number), 1u) << number;
}

}  // namespace
