// The dispatcher and errors: faults become 10010, slices end after drawing in automatic
// mode and only on 259 or the draw-queue limit in manual mode, the last error wins, the
// message forms, and the error texts agree with the language file.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <stdexcept>

#include "platform/clock.h"
#include "platform/profile.h"
#include "platform/window.h"
#include "tests/runtime/run_program.h"

namespace {

// Test-only commands in numbers no family uses.
constexpr int kThrow = 9990, kDraw = 9991, kCount = 9992, kError = 9993, kSlowCount = 9994, kNoMemory = 9995;
int gCounted = 0;

void CmdTestThrow() { throw std::runtime_error("library fault"); }
void CmdTestNoMemory() { throw std::bad_alloc(); }
void CmdTestDraw() { EndSliceAfterDrawing(); }
void CmdTestCount() { ++gCounted; }
void CmdTestSlowCount() {
  PlatformSleep(2);
  ++gCounted;
}
void CmdTestError() {
  int32_t number = IntOperand(0);
  AdvanceOperands(1);
  RuntimeError(number);
}

void EnsureTestCommands() {
  EnsureRuntimeCommands();
  static const bool registered = [] {
    static const CommandEntry kTestCommands[] = {
        {kThrow, CmdTestThrow, ""}, {kDraw, CmdTestDraw, ""}, {kCount, CmdTestCount, ""},
        {kError, CmdTestError, "l"}, {kSlowCount, CmdTestSlowCount, ""}, {kNoMemory, CmdTestNoMemory, ""}};
    return RegisterCommands(kTestCommands);
  }();
  ASSERT_TRUE(registered);
}

class DispatcherTest : public ProgramTest {
 protected:
  void SetUp() override {
    EnsureTestCommands();
    gCounted = 0;
  }
  void TearDown() override {
    Hooks.DrawQueueCount = [] { return 0; };
    ProgramTest::TearDown();
  }
  // Loads a program and runs the empty first slice, which only clears the stop flag.
  void Load(const qvasm::ProgramBuilder& program) {
    std::vector<uint8_t> file = program.Build();
    ASSERT_TRUE(LoadCompiledProgramFromMemory(file.data(), file.size(), nullptr));
    ClearQuitRequest();
    InitInterpreter();
    SetDisplayActive(true);
    ExecuteCommands();
  }
  // Loads the program and runs exactly one slice after the empty first one.
  void LoadAndRunOneSlice() {
    Load(b);
    ExecuteCommands();
  }
};

TEST_F(DispatcherTest, RegisteringANumberTwiceFails) {
  static const CommandEntry kClash[] = {{kAddII, CmdTestCount}};
  EXPECT_FALSE(RegisterCommands(kClash));
  static const CommandEntry kOutOfRange[] = {{10000, CmdTestCount}, {0, CmdTestCount}};
  EXPECT_FALSE(RegisterCommands(kOutOfRange));
  EXPECT_NE(HandlerForCommand(kAddII), CmdTestCount);
}

TEST_F(DispatcherTest, FaultInsideAHandlerIsSystemError10010) {
  int x = b.IntVar();
  b.Emit(kThrow);
  b.Emit(kAssignInt, {b.Id(x), b.Id(b.IntConst(1))});
  RunResult r = RunAssembled(b);
  ASSERT_TRUE(r.quit);
  EXPECT_EQ(r.error, 10010);
  EXPECT_EQ(SlotOf(x).asInt, 0);  // the slice ended after the fault
  EXPECT_EQ(FormatRuntimeErrorText().rfind("System Error 10010 : ", 0), 0u) << FormatRuntimeErrorText();
}

// An allocation that fails anywhere inside a command (a library's, a stack's growth) is the
// program running out of memory, not a fault of the system.
TEST_F(DispatcherTest, AnAllocationFailingInsideAHandlerIsError101) {
  b.Emit(kNoMemory);
  RunResult r = RunAssembled(b);
  ASSERT_TRUE(r.quit);
  EXPECT_EQ(r.error, 101);
  EXPECT_EQ(FormatRuntimeErrorText().rfind("Runtime Error 101 : ", 0), 0u) << FormatRuntimeErrorText();
}

TEST_F(DispatcherTest, OperandThatAddressesNoSlotIsRefusedNotACrash) {
  b.Emit(kAddII, {b.Raw(5), b.Raw(6), b.Raw(7)});  // plain numbers where slots belong
  EXPECT_EQ(RunCorrupt(b), kRefusedAtLoad);
}

TEST_F(DispatcherTest, TwoErrorsInOneSliceKeepTheLast) {
  b.Emit(kError, {b.Id(b.IntConst(301))});
  b.Emit(kError, {b.Id(b.IntConst(302))});  // not reached: the first ends the slice
  RunResult r = RunAssembled(b);
  EXPECT_EQ(r.error, 301);
  RuntimeError(7008);
  RuntimeError(107);
  EXPECT_EQ(RuntimeErrorNumber(), 107);
  EXPECT_EQ(FormatRuntimeErrorText().rfind("Runtime Error 107 : ", 0), 0u);
  EXPECT_EQ(RuntimeErrorLine(), 0);  // raised outside a command: the run's line is not kept
}

// The message names the source line of the failing command (the line table's entry), after
// the text formed as before; an error raised outside any command names none.
TEST_F(DispatcherTest, ErrorNamesTheLineOfTheFailingCommand) {
  struct Case {
    int command;
    int line;
    const char* start;
  };
  for (const Case& c : {Case{kError, 12, "Runtime Error 301 : "}, Case{kThrow, 7, "System Error 10010 : "}}) {
    qvasm::ProgramBuilder program;
    int x = program.IntVar();
    program.Emit(kAssignInt, {program.Id(x), program.Id(program.IntConst(1))}, 3);
    if (c.command == kError) program.Emit(kError, {program.Id(program.IntConst(301))}, c.line);
    else program.Emit(kThrow, {}, c.line);
    program.Emit(kAssignInt, {program.Id(x), program.Id(program.IntConst(2))}, 40);
    RunResult r = RunAssembled(program);
    ASSERT_TRUE(r.quit);
    std::string text = FormatRuntimeErrorText();
    EXPECT_EQ(text.rfind(c.start, 0), 0u) << text;
    const std::string suffix = ". at line " + std::to_string(c.line);
    EXPECT_EQ(text.substr(text.size() - suffix.size()), suffix) << text;
    EXPECT_EQ(FormatRuntimeErrorText(false).find("at line"), std::string::npos);
    FreeCompiledProgram();
  }
  ClearRuntimeError();
  RuntimeError(10003);  // a display failure at start-up: no command is running
  EXPECT_EQ(FormatRuntimeErrorText().find("at line"), std::string::npos) << FormatRuntimeErrorText();
}

// Debug mode traces each command run into QV.LOG ("PC<position>=<command>"). The trace is
// written once per slice, and the file must end exactly as with one write per command: a
// key already in the file replaced in place, new keys after it, other sections untouched.
TEST_F(DispatcherTest, DebugTraceEndsAsOneWritePerCommand) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("qv-trace-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string savedExecutableFolder = ExecutableFolder();
  SetFoldersForTests(folder.string(), folder.string());
  const std::string kStart = "[QUORVANELLOOPMIDDLE]\r\nPC0=999\r\n\r\n[OTHER]\r\nA=1\r\n";
  std::ofstream(folder / "QV.LOG", std::ios::binary) << kStart;
  std::ofstream(folder / "one.log", std::ios::binary) << kStart;
  int x = b.IntVar(), more = qvasm::ProgramBuilder::IntTemp(0);
  auto top = b.NewLabel(), done = b.NewLabel();
  std::vector<std::pair<int, int>> commands;  // position and number of each command, in order
  auto emit = [&](int command, std::initializer_list<qvasm::Word> operands) {
    commands.push_back({b.Here(), command});
    b.Emit(command, operands);
  };
  emit(kAssignInt, {b.Id(x), b.Id(b.IntConst(0))});
  b.Bind(top);
  emit(kAddII, {b.Id(x), b.Id(x), b.Id(b.IntConst(1))});
  emit(kRefresh, {});  // each pass of the loop is a slice of its own
  emit(kLessII, {b.Id(more), b.Id(x), b.Id(b.IntConst(3))});
  emit(kJumpIfZero, {b.Id(more), b.At(done)});
  emit(kJump, {b.At(top)});
  b.Bind(done);
  commands.push_back({b.Here(), 0});  // the closing word is traced too
  MutableSettings().debugMode = true;
  RunResult r = RunAssembled(b);
  MutableSettings().debugMode = false;
  ASSERT_TRUE(r.quit);
  // The commands in the order they ran: the first, three passes of the loop (the last leaves
  // at the conditional jump), the closing word; one write each, as the trace once did.
  std::vector<std::pair<int, int>> ran = {commands[0]};
  for (int pass = 0; pass < 3; ++pass)
    for (size_t i = 1; i <= (pass < 2 ? 5u : 4u); ++i) ran.push_back(commands[i]);
  ran.push_back(commands.back());
  const std::string one = (folder / "one.log").string();
  for (const auto& [position, number] : ran)
    PlatformWriteProfileString(one.c_str(), "QUORVANELLOOPMIDDLE", ("PC" + std::to_string(position)).c_str(),
                               std::to_string(number).c_str());
  auto read = [](const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  EXPECT_EQ(read(folder / "QV.LOG"), read(one));
  EXPECT_EQ(read(one).rfind("[QUORVANELLOOPMIDDLE]\nPC0=151\nPC3=81\n", 0), 0u) << read(one);
  SetFoldersForTests(savedExecutableFolder, "");
  std::filesystem::remove_all(folder);
}

// Games failing at the same moment each keep their QV.LOG entry (four games once left one):
// the key holds the second and the process id, and one process's entries within a second
// are numbered.
TEST_F(DispatcherTest, EveryLoggedErrorKeepsItsOwnEntry) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("qv-errorlog-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string savedExecutableFolder = ExecutableFolder();
  SetFoldersForTests(folder.string(), folder.string());
  MutableSettings().debugMode = true;
  std::vector<pid_t> games;
  for (int game = 0; game < 4; ++game) {
    const pid_t pid = fork();
    if (pid == 0) {
      LogErrorEntry("RUNTIMEERROR", ("game " + std::to_string(game)).c_str());
      _exit(0);
    }
    games.push_back(pid);
  }
  for (pid_t pid : games) waitpid(pid, nullptr, 0);
  for (int i = 0; i < 3; ++i) LogErrorEntry("RUNTIMEERROR", ("here " + std::to_string(i)).c_str());
  MutableSettings().debugMode = false;
  std::ifstream in(folder / "QV.LOG", std::ios::binary);
  const std::string log(std::istreambuf_iterator<char>(in), {});
  std::set<std::string> texts;
  const std::regex entry("RUNTIMEERROR ON \\d+/\\d+/\\d+ AT \\d+:\\d+:\\d+ PID \\d+( #\\d+)?=(.*)");
  for (std::sregex_iterator it(log.begin(), log.end(), entry), end; it != end; ++it) texts.insert((*it)[2]);
  EXPECT_EQ(texts, (std::set<std::string>{"game 0", "game 1", "game 2", "game 3", "here 0", "here 1", "here 2"})) << log;
  SetFoldersForTests(savedExecutableFolder, "");
  std::filesystem::remove_all(folder);
}

TEST_F(DispatcherTest, WarningNumbersAreSilentDuringARun) {
  b.Emit(kError, {b.Id(b.IntConst(3002))});  // one of the warning numbers
  b.Emit(kCount);
  RunResult r = RunAssembled(b);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(gCounted, 1);
}

// Stand-ins for value-returning commands of the keyword table (an integer, a float and a text
// function): each raises warning 3004 and writes nothing, unless its operand is 2, when it
// writes 7 (or "late") after the warning.
template <char Kind>
void CmdTestWarnThenMaybeWrite() {
  const bool write = IntOperand(1) == 2;
  RuntimeWarning(3004);
  if (write && Kind == 'l') WriteIntResult(7);
  if (write && Kind == 'f') WriteFloatResult(7.0f);
  if (write && Kind == 's') WriteTextResult("late");
  AdvanceOperands(2);
}

// A value-returning command that warns answers 0 or "", not what the slot held before (what
// an earlier expression left in the temporary); one that writes after its warning keeps it.
TEST_F(DispatcherTest, AWarningCommandAnswersZeroUnlessItWritesAfterTheWarning) {
  static const bool registered = [] {
    static const CommandEntry kStandIns[] = {{kSoundPlaying, CmdTestWarnThenMaybeWrite<'l'>},
                                             {kSoundPositionX, CmdTestWarnThenMaybeWrite<'f'>},
                                             {kControlDeviceName, CmdTestWarnThenMaybeWrite<'s'>, "Sl"}};
    return RegisterCommands(kStandIns);
  }();
  ASSERT_TRUE(registered);
  const int i = b.IntVar(), f = b.FloatVar(), s = b.TextVar(), late = b.IntVar(), lateText = b.TextVar();
  b.Emit(kAssignInt, {b.Id(i), b.Id(b.IntConst(5))});
  b.Emit(kAssignFloat, {b.Id(f), b.Id(b.FloatConst(5.5f))});
  b.Emit(kAssignText, {b.Id(s), b.Id(b.TextConst("stale"))});
  b.Emit(kSoundPlaying, {b.Id(i), b.Id(b.IntConst(1))});
  b.Emit(kSoundPositionX, {b.Id(f), b.Id(b.IntConst(1))});
  b.Emit(kControlDeviceName, {b.Id(s), b.Id(b.IntConst(1))});
  b.Emit(kSoundPlaying, {b.Id(late), b.Id(b.IntConst(2))});
  b.Emit(kControlDeviceName, {b.Id(lateText), b.Id(b.IntConst(2))});
  RunResult r = RunAssembled(b);  // a player run: the warnings are silent
  ASSERT_TRUE(r.quit);
  EXPECT_EQ(SlotOf(i).asInt, 0);
  EXPECT_EQ(SlotOf(f).asFloat, 0.0f);
  EXPECT_EQ(TextOf(s), "");
  EXPECT_EQ(SlotOf(late).asInt, 7);
  EXPECT_EQ(TextOf(lateText), "late");
}

TEST_F(DispatcherTest, AutomaticModeEndsTheSliceAfterEachDrawing) {
  b.Emit(kDraw);
  b.Emit(kCount);
  b.Emit(kDraw);
  b.Emit(kCount);
  LoadAndRunOneSlice();
  EXPECT_EQ(gCounted, 0);
  ExecuteCommands();
  EXPECT_EQ(gCounted, 1);
}

// A program that never draws still gives frames back in automatic mode: each slice ends by the
// clock, for a loop of fast commands (the clock is read only after thousands of them) and for a
// loop of slow plain commands (read after each, once a batch of them took long).
TEST_F(DispatcherTest, ALongLoopStillEndsItsSlices) {
  for (const bool slow : {false, true}) {
    qvasm::ProgramBuilder loop;
    const int n = loop.IntVar();
    auto top = loop.NewLabel();
    loop.Bind(top);
    loop.Emit(kAddII, {loop.Id(n), loop.Id(n), loop.Id(loop.IntConst(1))});
    if (slow) loop.Emit(kSlowCount);
    loop.Emit(kJump, {loop.At(top)});
    Load(loop);
    int32_t before = 0;
    for (int slice = 0; slice < 3; ++slice) {
      gCounted = 0;
      ExecuteCommands();  // returns: the slice ended although nothing drew
      EXPECT_GT(SlotOf(n).asInt, before) << (slow ? "slow" : "fast") << " slice " << slice;
      before = SlotOf(n).asInt;
      // The first batch holds at most 128 plain commands; the later ones about a millisecond.
      if (slow) {
        EXPECT_LE(gCounted, slice == 0 ? 128 : 64) << "slice " << slice;
      }
    }
    EXPECT_FALSE(QuitRequested());
    FreeCompiledProgram();
  }
}

TEST_F(DispatcherTest, ManualModeRunsUntilRefreshOrTheQueueLimit) {
  // 403; again: n = 0; loop: draw, count, n += 1, IF n < 1000 GOTO loop; 259; GOTO again
  int n = b.IntVar(), more = qvasm::ProgramBuilder::IntTemp(0);
  auto again = b.NewLabel(), loop = b.NewLabel(), refresh = b.NewLabel();
  b.Emit(kManualRefreshMode);
  b.Bind(again);
  b.Emit(kAssignInt, {b.Id(n), b.Id(b.IntConst(0))});
  b.Bind(loop);
  b.Emit(kDraw);
  b.Emit(kCount);
  b.Emit(kAddII, {b.Id(n), b.Id(n), b.Id(b.IntConst(1))});
  b.Emit(kLessII, {b.Id(more), b.Id(n), b.Id(b.IntConst(1000))});
  b.Emit(kJumpIfZero, {b.Id(more), b.At(refresh)});
  b.Emit(kJump, {b.At(loop)});
  b.Bind(refresh);
  b.Emit(kRefresh);
  b.Emit(kJump, {b.At(again)});
  LoadAndRunOneSlice();  // the slice that 403 ended
  EXPECT_EQ(Dispatcher.autoRefresh, 0);
  ExecuteCommands();
  EXPECT_EQ(gCounted, 1000);  // drawing does not end a slice in manual mode; 259 does
  EXPECT_EQ(Dispatcher.inputRepoll, 1);  // set at each 200-command check
  // A draw queue over 32000 records ends the slice at the next 200-command check.
  Hooks.DrawQueueCount = [] { return 32001; };
  gCounted = 0;
  ExecuteCommands();
  EXPECT_GT(gCounted, 0);
  EXPECT_LT(gCounted, 100);
}

TEST_F(DispatcherTest, NothingRunsWhileTheDisplayIsInactive) {
  b.Emit(kCount);
  std::vector<uint8_t> file = b.Build();
  ASSERT_TRUE(LoadCompiledProgramFromMemory(file.data(), file.size(), nullptr));
  InitInterpreter();
  SetDisplayActive(false);
  ExecuteCommands();
  ExecuteCommands();
  EXPECT_EQ(gCounted, 0);
  EXPECT_EQ(Dispatcher.stop, 1);
}

TEST_F(DispatcherTest, FrameRateCommand) {
  b.Emit(kFrameRate, {b.Id(b.IntConst(50))});
  ASSERT_EQ(RunAssembled(b).error, 0);
  EXPECT_EQ(FrameWait(), 20);
  FreeCompiledProgram();
  qvasm::ProgramBuilder zero;
  zero.Emit(kFrameRate, {zero.Id(zero.IntConst(0))});
  zero.Emit(kCount);
  ASSERT_EQ(RunAssembled(zero).error, 0);
  EXPECT_EQ(FrameWait(), 0);  // no division by zero: the clock must still move per frame
  FreeCompiledProgram();
  qvasm::ProgramBuilder tooFast;
  tooFast.Emit(kFrameRate, {tooFast.Id(tooFast.IntConst(1001))});
  EXPECT_EQ(RunAssembled(tooFast).error, 112);
}

TEST(ErrorTexts, SlotOrderAgreesWithTheLanguageFile) {
  std::ifstream in(QV_SOURCE_DIR "/data/lang/english/WORDS.TXT");
  if (!in) GTEST_SKIP() << "no English language file";
  std::string line, section;
  int pendingNumber = -1, checked = 0;
  const std::regex numberComment(R"(;\s*error\s+(\d+))"), entry(R"((\d+)=.*)");
  std::smatch m;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') section = line;
    if (section != "[ERRORS]") continue;
    if (std::regex_match(line, m, numberComment)) pendingNumber = std::stoi(m[1]);
    else if (std::regex_match(line, m, entry) && pendingNumber >= 0) {
      EXPECT_EQ(ErrorSlotOfNumber(pendingNumber), std::stoi(m[1])) << "error " << pendingNumber;
      pendingNumber = -1;
      ++checked;
    }
  }
  EXPECT_GT(checked, 0);
}

// Every number a call to RuntimeError, RuntimeWarning(Saying) or RaiseSurfaceError in the sources can
// raise (each number literal among its operands) has a slot and a text in the language file.
TEST(ErrorTexts, EveryRaisedNumberHasAText) {
  std::ifstream words(QV_SOURCE_DIR "/data/lang/english/WORDS.TXT");
  if (!words) GTEST_SKIP() << "no English language file";
  std::set<int> withText;
  const std::regex numberComment(R"(;\s*error\s+(\d+)\r?)");
  std::smatch m;
  for (std::string line; std::getline(words, line);)
    if (std::regex_match(line, m, numberComment)) withText.insert(std::stoi(m[1]));

  std::set<int> raised;
  const std::regex call(R"(\b(RuntimeError|RuntimeWarning|RuntimeWarningSaying|RaiseSurfaceError)\()"), literal(R"(\b\d+\b)");
  for (const char* folder : {"runtime", "graphics2d", "engine3d", "models", "sound", "commands", "platform", "compiler"}) {
    const std::filesystem::path root = std::filesystem::path(QV_SOURCE_DIR) / folder;
    if (!std::filesystem::exists(root)) continue;
    for (const auto& file : std::filesystem::recursive_directory_iterator(root)) {
      if (file.path().extension() != ".cpp") continue;
      std::ifstream in(file.path());
      const std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      for (auto it = std::sregex_iterator(source.begin(), source.end(), call); it != std::sregex_iterator(); ++it) {
        // The operands run to the matching parenthesis.
        size_t end = static_cast<size_t>(it->position(0) + it->length(0));
        for (int depth = 1; end < source.size() && depth > 0; ++end) depth += source[end] == '(' ? 1 : source[end] == ')' ? -1 : 0;
        const std::string operands = source.substr(static_cast<size_t>(it->position(0) + it->length(0)),
                                                   end - static_cast<size_t>(it->position(0) + it->length(0)));
        for (auto n = std::sregex_iterator(operands.begin(), operands.end(), literal); n != std::sregex_iterator(); ++n)
          raised.insert(std::stoi(n->str()));
      }
    }
  }
  EXPECT_GT(raised.size(), 50u);  // the scan found the calls
  for (int number : raised) {
    EXPECT_GE(ErrorSlotOfNumber(number), 0) << "error " << number << " has no slot";
    EXPECT_TRUE(withText.count(number)) << "error " << number << " has no text in WORDS.TXT";
  }
}

}  // namespace

namespace {

// Programs the compiler never writes but a corrupt file can hold: a number stored over a
// text, a number read as a text. Each must be refused at load or end in error 10010, never
// in a crash or a leak; what the loader can see in the operands it refuses.
struct KindCase {
  const char* what;
  void (*emit)(qvasm::ProgramBuilder& b);
};
void PrintTo(const KindCase& c, std::ostream* out) { *out << c.what; }  // the case's name in CTest
class SlotKindTest : public ProgramTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(SlotKindTest, WrongKindOfSlotIsRefusedOrError10010) {
  GetParam().emit(b);
  const int outcome = RunCorrupt(b);
  EXPECT_TRUE(outcome == kRefusedAtLoad || outcome == 10010) << GetParam().what << ": " << outcome;
}

INSTANTIATE_TEST_SUITE_P(
    Corrupt, SlotKindTest,
    ::testing::Values(
        KindCase{"int into a text variable",
                 [](qvasm::ProgramBuilder& b) { b.Emit(kAssignInt, {b.Id(b.TextVar()), b.Id(b.IntConst(5))}); }},
        KindCase{"sum into a text constant",
                 [](qvasm::ProgramBuilder& b) {
                   b.Emit(kAddII, {b.Id(b.TextConst("k")), b.Id(b.IntConst(1)), b.Id(b.IntConst(2))});
                 }},
        KindCase{"an int joined as a text",
                 [](qvasm::ProgramBuilder& b) {
                   b.Emit(kAssignInt, {b.Id(b.IntVar()), b.Id(b.IntConst(1234))});
                   b.Emit(kJoinText, {b.Id(b.TextVar()), b.Id(13000), b.Id(b.TextConst("x"))});
                 }},
        KindCase{"a text stored into an int variable",
                 [](qvasm::ProgramBuilder& b) { b.Emit(kAssignText, {b.Id(b.IntVar()), b.Id(b.TextConst("x"))}); }},
        KindCase{"a text compared with a float",
                 [](qvasm::ProgramBuilder& b) {
                   b.Emit(kTextLess, {b.Id(b.IntVar()), b.Id(b.FloatConst(1.5f)), b.Id(b.TextConst("x"))});
                 }},
        KindCase{"a FOR counter that is a text",
                 [](qvasm::ProgramBuilder& b) {
                   int one = b.IntConst(1);
                   auto out = b.NewLabel();
                   b.Emit(kForStep, {b.Id(b.TextVar()), b.Id(one), b.Id(one), b.At(out)});
                   b.Bind(out);
                 }},
        KindCase{"a READ of a number into a text",
                 [](qvasm::ProgramBuilder& b) {
                   b.DataInt(3);
                   b.Emit(kReadInt, {b.Id(b.TextVar())});
                 }},
        KindCase{"an int result returned into a text",
                 [](qvasm::ProgramBuilder& b) {
                   auto f = b.NewLabel(), main = b.NewLabel();
                   b.Emit(kJump, {b.At(main)});
                   b.Bind(f);
                   b.Words({b.Raw(1)});
                   b.Emit(kReturnInt, {b.Id(b.IntConst(4))});
                   b.Bind(main);
                   b.Emit(kCallFunction, {b.At(f), b.Id(b.TextVar()), b.Id(b.IntConst(0))});
                 }}));

}  // namespace
