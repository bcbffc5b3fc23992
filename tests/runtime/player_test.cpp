// Whole packaged programs: a copy of the player with a compiled program appended runs
// headless from start-up to shut-down; exit status, error text and QV.LOG are checked.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"
#include "tests/asm/qvasm.h"
#include "tests/runtime/operator_cases.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using qvasm::ProgramBuilder;

// In one read: the players are tens of megabytes.
std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes(fs::file_size(path));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Ends the run with error 112 when the condition temporary is 0: the program's own assert.
void Check(ProgramBuilder& b, int condition) {
  auto ok = b.NewLabel();
  b.Emit(kJumpIfZero, {b.Id(condition), b.At(ok)});
  auto skip = b.NewLabel();
  b.Emit(kJump, {b.At(skip)});
  b.Bind(ok);
  b.Emit(kFrameRate, {b.Id(b.IntConst(5000))});
  b.Bind(skip);
}

// Stores the case's result and checks it against the expected value.
void EmitCaseCheck(ProgramBuilder& b, int destination, const Value& expected) {
  int same = ProgramBuilder::IntTemp(2);
  int compare = std::holds_alternative<int32_t>(expected) ? kEqualII
                : std::holds_alternative<float>(expected) ? kEqualFF
                                                          : kTextEqual;
  b.Emit(compare, {b.Id(same), b.Id(destination), b.Id(ConstantId(b, expected))});
  Check(b, same);
}

// Every operator, comparison and assignment case that does not end the run.
void EmitOperatorChecks(ProgramBuilder& b) {
  for (const auto& cases : {ArithmeticCases(), ComparisonCases(), TextCases()}) {
    for (const OperatorCase& c : cases) {
      if (c.error != 0) continue;  // an error ends the run; those are checked one by one
      int destination = DestinationId(b, c.expected);
      b.Emit(c.command, {b.Id(destination), b.Id(ConstantId(b, c.left)), b.Id(ConstantId(b, c.right))});
      EmitCaseCheck(b, destination, c.expected);
    }
  }
  for (const AssignCase& c : AssignmentCases()) {
    int destination = DestinationId(b, c.expected);
    b.Emit(c.command, {b.Id(destination), b.Id(ConstantId(b, c.source))});
    EmitCaseCheck(b, destination, c.expected);
  }
}

// FOR i = from TO limit STEP step, the body adding i to sum and leaving after maxPasses.
void EmitForLoop(ProgramBuilder& b, int from, int limit, int step, int maxPasses, int expectedSum) {
  int i = b.IntVar(), sum = b.IntVar(), passes = b.IntVar(), more = ProgramBuilder::IntTemp(3);
  auto top = b.NewLabel(), out = b.NewLabel();
  b.Emit(kAssignInt, {b.Id(i), b.Id(b.IntConst(from - step))});
  b.Bind(top);
  b.Emit(kForStep, {b.Id(i), b.Id(b.IntConst(limit)), b.Id(b.IntConst(step)), b.At(out)});
  b.Emit(kAddII, {b.Id(sum), b.Id(sum), b.Id(i)});
  b.Emit(kAddII, {b.Id(passes), b.Id(passes), b.Id(b.IntConst(1))});
  b.Emit(kLessII, {b.Id(more), b.Id(passes), b.Id(b.IntConst(maxPasses))});
  b.Emit(kJumpIfZero, {b.Id(more), b.At(out)});
  b.Emit(kJump, {b.At(top)});
  b.Bind(out);
  b.Emit(kEqualII, {b.Id(more), b.Id(sum), b.Id(b.IntConst(expectedSum))});
  Check(b, more);
}

// FOR loops with steps 1, -1 and 0, GOSUB, a recursive FUNCTION, DATA, every operator case
// and a silent warning, each checked by the program itself, then END (or the extra lines a
// test adds before END).
ProgramBuilder SelfCheckingProgram() {
  ProgramBuilder b;
  const uint16_t kFact = 1;
  int i = b.IntVar(), sum = b.IntVar(), n = b.IntVar(kFact), result = b.IntVar(), read = b.IntVar();
  int t0 = ProgramBuilder::IntTemp(0), t1 = ProgramBuilder::IntTemp(1), s0 = ProgramBuilder::TextTemp(0);
  auto main = b.NewLabel(), fact = b.NewLabel(), recurse = b.NewLabel(), sub = b.NewLabel(), top = b.NewLabel(),
       done = b.NewLabel();
  b.DataInt(41);
  b.Emit(kJump, {b.At(main)});
  b.Bind(fact);  // FUNCTION fact(n)
  b.Words({b.Id(n), b.Raw(kFact)});
  b.Emit(kLessOrEqualII, {b.Id(t0), b.Id(n), b.Id(b.IntConst(1))});
  b.Emit(kJumpIfZero, {b.Id(t0), b.At(recurse)});
  b.Emit(kReturnInt, {b.Id(b.IntConst(1))});
  b.Bind(recurse);
  b.Emit(kSubtractII, {b.Id(t1), b.Id(n), b.Id(b.IntConst(1))});
  b.Emit(kCallFunction, {b.At(fact), b.Id(t1), b.Id(b.IntConst(1)), b.Id(t1)});
  b.Emit(kMultiplyII, {b.Id(t0), b.Id(n), b.Id(t1)});
  b.Emit(kReturnInt, {b.Id(t0)});
  b.Bind(sub);  // GOSUB sub: sum = sum + 100
  b.Emit(kAddII, {b.Id(sum), b.Id(sum), b.Id(b.IntConst(100))});
  b.Emit(kReturn);
  b.Bind(main);
  b.Emit(kAssignInt, {b.Id(i), b.Id(b.IntConst(0))});  // FOR i = 1 TO 3
  b.Bind(top);
  b.Emit(kForStep, {b.Id(i), b.Id(b.IntConst(3)), b.Id(b.IntConst(1)), b.At(done)});
  b.Emit(kAddII, {b.Id(sum), b.Id(sum), b.Id(i)});
  b.Emit(kJump, {b.At(top)});
  b.Bind(done);
  b.Emit(kGosub, {b.At(sub)});
  b.Emit(kEqualII, {b.Id(t0), b.Id(sum), b.Id(b.IntConst(106))});
  Check(b, t0);
  b.Emit(kCallFunction, {b.At(fact), b.Id(result), b.Id(b.IntConst(1)), b.Id(b.IntConst(5))});
  b.Emit(kEqualII, {b.Id(t0), b.Id(result), b.Id(b.IntConst(120))});
  Check(b, t0);
  b.Emit(kReadInt, {b.Id(read)});
  b.Emit(kEqualII, {b.Id(t0), b.Id(read), b.Id(b.IntConst(41))});
  Check(b, t0);
  b.Emit(kReadInt, {b.Id(read)});  // past the last item: 0
  b.Emit(kEqualII, {b.Id(t0), b.Id(read), b.Id(b.IntConst(0))});
  Check(b, t0);
  b.Emit(kRestore);
  b.Emit(kReadInt, {b.Id(read)});
  b.Emit(kEqualII, {b.Id(t0), b.Id(read), b.Id(b.IntConst(41))});
  Check(b, t0);
  b.Emit(kDivideII, {b.Id(t1), b.Id(b.IntConst(7)), b.Id(b.IntConst(0))});  // warning 111: silent
  b.Emit(kEqualII, {b.Id(t0), b.Id(t1), b.Id(b.IntConst(0))});
  Check(b, t0);
  b.Emit(kJoinText, {b.Id(s0), b.Id(b.TextConst(std::string(200, 'a'))), b.Id(b.TextConst(std::string(55, 'b')))});
  EmitForLoop(b, 3, 1, -1, 100, 3 + 2 + 1);
  EmitForLoop(b, 1, 0, 1, 100, 0);  // the body never runs
  EmitForLoop(b, 4, 9, 0, 3, 4 + 4 + 4);  // step 0 stays in the loop; the body leaves
  EmitOperatorChecks(b);
  return b;
}

// A private folder with a copy of a player carrying a package, run headless.
class GameFolder {
 public:
  GameFolder() {
    folder_ = fs::temp_directory_path() / ("qv-player-test-" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  ~GameFolder() { fs::remove_all(folder_); }
  const fs::path& Path() const { return folder_; }
  const std::string& Stderr() const { return stderr_; }
  // Writes the player with the entries appended and runs it; returns the exit status.
  int Run(const char* player, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries) {
    std::vector<uint8_t> image = ReadBytes(player);
    // The libraries the executable carries stay out: this machine has its own.
    std::vector<PackageEntryView> own;
    if (ParsePackage(image, &own, nullptr)) image.resize(qvasm::WordAt(std::vector<uint8_t>(image.end() - 4, image.end()), 0));
    if (!entries.empty()) image = qvasm::BuildPackagedExecutable(image, entries);
    const fs::path game = folder_ / "game";
    {
      std::ofstream out(game, std::ios::binary);
      out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
      if (!out.flush()) {
        stderr_ = "could not write " + game.string();
        return -1;
      }
    }
    fs::permissions(game, fs::perms::owner_all);
    // The child's leak check is off: SDL unloads the display libraries it opened, so their
    // process-lifetime caches show up as leaks of unknown modules that no suppression can name.
    // Our own code's leaks are checked by the in-process tests.
    std::string command = "cd " + folder_.string() +
                          " && ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME=" +
                          folder_.string() + " XDG_RUNTIME_DIR=" + folder_.string() + " ./game 2> stderr.txt";
    int status = std::system(command.c_str());
    stderr_ = ReadText(folder_ / "stderr.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  fs::path folder_;
  std::string stderr_;
};

// The main player tests run with the runtime-only test player and with quorvanel when built.
class PlayerTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!fs::exists(GetParam())) GTEST_SKIP() << GetParam() << " is not built";
  }
  int RunGame(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries) {
    int status = game_.Run(GetParam(), entries);
    stderr_ = game_.Stderr();
    folder_ = game_.Path();
    return status;
  }
  int RunProgram(const ProgramBuilder& b) { return RunGame({{"_exefile.dat", b.Build()}}); }
  GameFolder game_;
  fs::path folder_ = game_.Path();
  std::string stderr_;
};

// The rest of the player's paths, with the runtime-only player (quorvanel starts slower).
class RuntimeOnlyPlayerTest : public PlayerTest {};

TEST_P(PlayerTest, SelfCheckingProgramEndsSilentlyWithStatusZero) {
  ProgramBuilder b = SelfCheckingProgram();
  b.Emit(kEnd);
  EXPECT_EQ(RunProgram(b), 0) << stderr_;
  EXPECT_EQ(stderr_, "");
  EXPECT_TRUE(fs::exists(folder_ / "quorvanel"));  // the private temporary folder
  EXPECT_TRUE(fs::is_empty(folder_ / "quorvanel"));  // the run's own folder is gone
}

TEST_P(RuntimeOnlyPlayerTest, GosubNestedTooDeepExitsNonZero) {
  ProgramBuilder b;
  auto sub = b.NewLabel();
  b.Bind(sub);
  b.Emit(kGosub, {b.At(sub)});  // 108 at the 65535th nesting
  EXPECT_EQ(RunProgram(b), 1);
  EXPECT_NE(stderr_.find("Runtime Error 108 : "), std::string::npos) << stderr_;
}

// Two games at once share the per-user temporary folder: each extracts into a folder of its
// own, so a game neither reads nor deletes what another is running. (Players once extracted
// straight into the shared folder, and parallel player tests failed now and then when one
// game deleted or overwrote the program another was about to load.) The planted file stands
// for another game's extracted program in the middle of its run.
TEST_P(RuntimeOnlyPlayerTest, AnotherGamesExtractedFilesAreLeftAlone) {
  fs::create_directories(folder_ / "quorvanel");
  fs::permissions(folder_ / "quorvanel", fs::perms::owner_all);
  std::ofstream(folder_ / "quorvanel" / "_virtual.dat") << "another game's program";
  ProgramBuilder b = SelfCheckingProgram();
  b.Emit(kEnd);
  EXPECT_EQ(RunProgram(b), 0) << stderr_;
  EXPECT_EQ(ReadText(folder_ / "quorvanel" / "_virtual.dat"), "another game's program");
}

TEST_P(RuntimeOnlyPlayerTest, RunningIntoTheClosingWordEndsWithStatusZero) {
  EXPECT_EQ(RunProgram(SelfCheckingProgram()), 0) << stderr_;
}

TEST_P(PlayerTest, RuntimeErrorExitsNonZeroWithItsText) {
  ProgramBuilder b = SelfCheckingProgram();
  int s = ProgramBuilder::TextTemp(1);
  b.Emit(kJoinText, {b.Id(s), b.Id(b.TextConst(std::string(200, 'a'))), b.Id(b.TextConst(std::string(56, 'b')))}, 12);
  EXPECT_EQ(RunProgram(b), 1);
  EXPECT_NE(stderr_.find("Error In Program: Runtime Error 107 : "), std::string::npos) << stderr_;
  EXPECT_NE(stderr_.find(". at line 12\n"), std::string::npos) << stderr_;  // the failing command's line
}

TEST_P(RuntimeOnlyPlayerTest, DebugModeLogsTheErrorInQvLog) {
  std::ofstream(folder_ / "SETUP.INI") << "[Settings]\r\nDebugMode = 1\r\n";
  ProgramBuilder b;  // debug mode traces every command into QV.LOG: keep it short
  int s = ProgramBuilder::TextTemp(0);
  b.Emit(kJoinText, {b.Id(s), b.Id(b.TextConst(std::string(255, 'a'))), b.Id(b.TextConst("b"))}, 4);
  EXPECT_EQ(RunProgram(b), 1);
  std::string log = ReadText(folder_ / "QV.LOG");
  EXPECT_NE(log.find("[ERRORLOG]"), std::string::npos) << log.substr(0, 400);
  EXPECT_NE(log.find("RUNTIMEERROR ON "), std::string::npos);
  EXPECT_NE(log.find("=Runtime Error 107 : "), std::string::npos);
  EXPECT_NE(log.find(". at line 4\n"), std::string::npos) << log;
  EXPECT_NE(log.find("[QUORVANELLOOPMIDDLE]\nPC0=87"), std::string::npos);
}

// The test player's stand-ins for the user (see test_player_main.cpp).
constexpr int kTestCloseWindow = 9994, kTestPressEscape = 9995;

TEST(TestPlayer, ClosingTheWindowOrEscEndsAnEndlessProgramWithStatusZero) {
  for (int user : {kTestCloseWindow, kTestPressEscape}) {
    GameFolder game;
    ProgramBuilder b;
    auto forever = b.NewLabel();
    b.Emit(user);
    b.Bind(forever);
    b.Emit(kJump, {b.At(forever)});
    EXPECT_EQ(game.Run(QV_TEST_PLAYER, {{"_exefile.dat", b.Build()}}), 0) << user;
    EXPECT_EQ(game.Stderr(), "");
  }
}

// quorvanel build: the game it writes runs the program (here one ending on an error) and
// finds its media in the package.
TEST(QuorvanelBuild, WritesAGameThatRunsItsProgram) {
  if (!fs::exists(QV_EXECUTABLE)) GTEST_SKIP() << "quorvanel is not built";
  GameFolder game;
  const fs::path dir = game.Path();
  fs::create_directories(dir / "media");
  std::ofstream(dir / "media" / "Level.TXT") << "1";
  std::ofstream(dir / "g.qva") << "dim a(3)\na(4) = 1\n";
  std::string command = "cd " + dir.string() + " && ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen " +
                        QV_EXECUTABLE + " build g.qva -o built --media media > out.txt 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadText(dir / "out.txt");
  EXPECT_NE(ReadText(dir / "out.txt").find("Adding media/Level.TXT..."), std::string::npos);
  std::vector<uint8_t> image = ReadBytes((dir / "built").string());
  EXPECT_NE(std::string(image.begin(), image.end()).find(std::string("Level.TXT\0", 10)), std::string::npos);  // as given
  command = "cd " + dir.string() + " && ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy "
            "XDG_CONFIG_HOME=" + dir.string() + " XDG_RUNTIME_DIR=" + dir.string() + " ./built 2> err.txt";
  int status = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  EXPECT_NE(ReadText(dir / "err.txt").find("Runtime Error 110 : "), std::string::npos) << ReadText(dir / "err.txt");
}

TEST_P(PlayerTest, NoPackageRunsNothingAndExitsZero) {
  EXPECT_EQ(RunGame({}), 0) << stderr_;
}

// SETUP.INI switches: window mode runs the same program; runtime-test mode captions the
// error box with the debug prefix.
TEST_P(RuntimeOnlyPlayerTest, SetupSettingsChangeTheRunNotItsResult) {
  struct Case {
    const char* setup;
    bool failing;
    const char* stderrText;
  };
  for (const Case& c : {Case{"[SETTINGS]\nWINDOWMODE=1\n", false, ""},
                        Case{"[SETTINGS]\nWINDOWMODE=1\n", true, "Error In Program: Runtime Error 112 : "},
                        Case{"[SETTINGS]\nRUNTIMETEST=1\n", true, "ERROR: Extra Debug Info - Runtime Error 112 : "}}) {
    std::ofstream(folder_ / "SETUP.INI") << c.setup;
    ProgramBuilder b = SelfCheckingProgram();
    if (c.failing) b.Emit(kFrameRate, {b.Id(b.IntConst(-1))});
    EXPECT_EQ(RunProgram(b), c.failing ? 1 : 0) << c.setup;
    EXPECT_EQ(stderr_.rfind(c.stderrText, 0), 0u) << c.setup << stderr_;
  }
}

// The message names the game, never the file its program was extracted to for the moment.
TEST_P(RuntimeOnlyPlayerTest, MalformedProgramIsRefusedWithAMessage) {
  std::vector<uint8_t> program = SelfCheckingProgram().Build();
  program.resize(program.size() - 4);
  EXPECT_EQ(RunGame({{"_exefile.dat", program}}), 1);
  EXPECT_NE(stderr_.find("compiled program"), std::string::npos) << stderr_;
  EXPECT_NE(stderr_.find("/game: this game is damaged"), std::string::npos) << stderr_;
  EXPECT_EQ(stderr_.find("_virtual"), std::string::npos) << stderr_;
}

INSTANTIATE_TEST_SUITE_P(Players, PlayerTest, ::testing::Values(QV_TEST_PLAYER, QV_EXECUTABLE));
INSTANTIATE_TEST_SUITE_P(Players, RuntimeOnlyPlayerTest, ::testing::Values(QV_TEST_PLAYER));

}  // namespace
