// Runtime errors and warnings: the stored number, the message formed at the end of a run,
// the error-text slots, the ERRORLOG entries of QV.LOG and the report of silent warnings.
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <set>
#include <string>
#include <string_view>

#include "platform/profile.h"
#include "runtime/runtime_local.h"

namespace {

constexpr int kErrorSlots = kErrorTextSlots;
constexpr int kWarningNumbers[] = {1503, 2002, 2007, 2008, 2009, 2010, 3002, 3004, 3201,
                                   3502, 3504, 3507, 4001, 4002, 4101, 7901, 8002, 8083, 9011};

// Error numbers in the order of their text slots: slot i holds the text of kSlotNumbers[i].
// The language file (data/lang/*/WORDS.TXT, section ERRORS) lists its texts in this order;
// a test checks that the two agree.
constexpr int kSlotNumbers[] = {
    21,   101,  102,  103,  104,  105,  106,  107,  108,  109,  110,  111,  112,  113,  114,
    115,  116,  117,  118,  119,  120,  121,  122,  123,  124,  125,  301,  302,  303,  304,
    305,  306,  307,  308,  309,  310,  501,  502,  503,  504,  505,  506,  507,  508,  509,
    510,  1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014,
    1501, 1502, 1503, 1504, 1505, 2001, 2002, 2003, 2004, 2005, 2006, 2007, 2008, 2009, 2010,
    3001, 3002, 3003, 3004, 3005, 3006, 3007, 3008, 3101, 3102, 3103, 3201, 3202, 3501, 3502,
    3503, 3504, 3505, 3506, 3507, 4001, 4002, 4003, 4004, 4005, 4101, 4102, 4103, 4104, 4105,
    5001, 5002, 5003, 5004, 6001, 6002, 6003, 6004, 7001, 7002, 7003, 7004, 7005, 7006, 7007,
    7008, 7009, 7010, 7011, 7012, 7013, 7014, 7015, 7016, 7017, 7018, 7019, 7020, 7021, 7022,
    7023, 7024, 7025, 7901, 7902, 8001, 8002, 8003, 8004, 8005, 8006, 8007, 8008, 8009, 8010,
    8011, 8012, 8013, 8014, 8015, 9001, 9002, 9003, 9004, 9005, 9006, 9007, 9008, 9009, 9010,
    9011, 9012, 9013, 10002, 10003, 10004, 10005, 10007, 10010,
    // Numbers of our own follow the fixed table, so its slots keep their places.
    511, 311, 312, 500, 1000, 7101, 7102, 7301, 7302, 7303, 7304, 7305, 7601, 7602, 7603, 7604,
    7605, 7606, 7912,
    // sound clones
    3021, 3022, 3023,
    // files and folders, numbered files, FTP
    8021, 8022, 8024, 8025, 8101, 8102, 8103, 8201, 8202, 8203, 8204, 8211, 8212, 8213, 8301, 8302, 8303,
    8304, 8305,
    // registry values
    8083,
    // 3D object files
    7103};
static_assert(std::size(kSlotNumbers) <= kErrorSlots);

}  // namespace

// Cleared at every program start (number and flags); the slot texts live for the process.
static struct {
  int number = 0;
  int line = 0;  // source line of the command that raised it; 0 = none (outside a command)
  bool isWarning = false;
  std::string fileName;  // the file the command that raised it named ("" = none)
  bool fileMissing = false;  // that file was not there when the error was raised
  std::string detail;  // a warning's own words (RuntimeWarningSaying), said in place of the engine error
  std::string fileProblem;   // why that file was refused ("" = not said)
  bool warningsOff = false;
  std::string slotTexts[kErrorSlots];
  bool slotTextsMade = false;
} gErrors;

static void MakeSlotTexts() {
  if (gErrors.slotTextsMade) return;
  for (int i = 0; i < kErrorSlots; ++i) gErrors.slotTexts[i] = "ERROR " + std::to_string(i);
  gErrors.slotTextsMade = true;
}

int ErrorSlotOfNumber(int number) {
  for (size_t i = 0; i < std::size(kSlotNumbers); ++i)
    if (kSlotNumbers[i] == number) return static_cast<int>(i);
  return -1;
}

static bool IsWarningNumber(int number) {
  for (int w : kWarningNumbers)
    if (w == number) return true;
  return false;
}

// The command whose queued work is being replayed, -1 for none. Set and cleared by the replay.
static int32_t gReplayingCommand = -1;

void SetReplayingCommand(int32_t index) { gReplayingCommand = index; }

// The source line of the command being run (or of the one whose queued work is replayed),
// from the program's line table; 0 outside one.
static int RunningCommandLine() {
  const int32_t index = gReplayingCommand >= 0 ? gReplayingCommand : RunningCommandIndex();
  return index >= 0 && static_cast<size_t>(index) < Program().lines.size() ? Program().lines[static_cast<size_t>(index)] : 0;
}

// Reported warnings of this run: what was said once is not said again (a loop that fails
// each frame writes one line). Cleared at every program start.
static struct {
  int32_t fileCommand = -1;  // the command that named fileName
  std::string fileName;      // the last file it named
  std::string fileProblem;   // why that command refused the file ("" = not said)
  std::set<std::string> said;
} gWarnings;

// The file the running command named, when it named one.
static const std::string* FileOfRunningCommand() {
  const int32_t command = RunningCommandIndex();
  return command >= 0 && command == gWarnings.fileCommand ? &gWarnings.fileName : nullptr;
}

// The words of the error or warning being raised by RuntimeErrorSaying or
// RuntimeWarningSaying; empty outside those calls.
static std::string gRaisingDetail;

static void StopWith(int number, bool warning) {
  Dispatcher.stop = 1;
  gErrors.number = number;
  gErrors.detail = gRaisingDetail;
  gErrors.line = RunningCommandLine();
  gErrors.isWarning = warning;
  // The message names the file the failing command named, and says when it was not there.
  const std::string* file = FileOfRunningCommand();
  gErrors.fileName = file != nullptr ? *file : std::string();
  gErrors.fileMissing = file != nullptr && !FileExists(gErrors.fileName.c_str());
  gErrors.fileProblem = file != nullptr ? gWarnings.fileProblem : std::string();
  RequestQuit();
}

void RuntimeError(int number) {
  if (Settings().runtimeTest) {
    int32_t index = RunningCommandIndex();
    int word = index >= 0 ? Program().words[static_cast<size_t>(index)] : 0;
    Hooks.DumpRuntimeErrorInfo(word, RunningCommandLine());
  }
  if (IsWarningNumber(number)) {
    RuntimeWarning(number);
    return;
  }
  StopWith(number, false);
}

// Beyond this many distinct warnings a run reports no more (the log stays readable).
constexpr size_t kMaxReportedWarnings = 200;

void NoteProgramFileName(const char* name) {
  const int32_t command = RunningCommandIndex();
  if (command < 0 || name == nullptr) return;
  // A file taken out of the package is reported by the name the program gave it.
  const std::string& temporary = TemporaryFolder();
  if (!temporary.empty() && std::string_view(name).starts_with(temporary)) return;
  gWarnings.fileCommand = command;
  gWarnings.fileName = name;
  gWarnings.fileProblem.clear();
}

void NoteProgramFileProblem(const std::string& why) {
  if (RunningCommandIndex() == gWarnings.fileCommand) gWarnings.fileProblem = why;
}

void ForgetReportedWarnings() {
  gWarnings.said.clear();
  gWarnings.fileCommand = -1;
  gWarnings.fileName.clear();
  gWarnings.fileProblem.clear();
}

// A warning while warnings are off: the run goes on, but the development command's run
// says it on stderr and debug mode writes it to QV.LOG, each distinct one once, with its
// number, text, the file the command named (when it named one) and the line.
static void ReportSilentWarning(int number) {
  const std::string& source = RunSourceName();
  if (!Settings().debugMode && source.empty()) return;
  const int line = RunningCommandLine();
  const std::string* file = FileOfRunningCommand();
  std::string text = std::string(number < 10000 ? "Runtime" : "System") + " Warning " + std::to_string(number) +
                     " : " + ErrorText(number);
  if (file != nullptr && gRaisingDetail.find(*file) == std::string::npos)
    text += " (" + *file + (gWarnings.fileProblem.empty() ? "" : ": " + gWarnings.fileProblem) + ")";
  if (!gRaisingDetail.empty()) text += ": " + gRaisingDetail;
  if (gWarnings.said.size() >= kMaxReportedWarnings || !gWarnings.said.insert(text + "@" + std::to_string(line)).second)
    return;
  if (!source.empty()) {
    const std::string where = line > 0 ? ":" + std::to_string(line) : "";
    std::fprintf(stderr, "%s%s: %s\n", source.c_str(), where.c_str(), text.c_str());
  }
  if (line > 0) text += " at line " + std::to_string(line);
  // The key names the number and line, so distinct warnings of one minute keep their entries.
  const std::string key = "RUNTIMEWARNING " + std::to_string(number) + " LINE " + std::to_string(line);
  LogErrorEntry(key.c_str(), text.c_str());
}

void RuntimeWarning(int number) {
  ClearResultOfRunningCommand();
  if (!gErrors.warningsOff) StopWith(number, true);
  else ReportSilentWarning(number);
}

void RuntimeWarningSaying(int number, const std::string& detail) {
  gRaisingDetail = detail;
  RuntimeWarning(number);
  gRaisingDetail.clear();
}

void RuntimeErrorSaying(int number, const std::string& detail) {
  gRaisingDetail = detail;
  RuntimeError(number);
  gRaisingDetail.clear();
}

int RuntimeErrorNumber() { return gErrors.number; }
int RuntimeErrorLine() { return gErrors.line; }
bool RuntimeErrorIsWarning() { return gErrors.isWarning; }
void ClearRuntimeError() {
  gErrors.number = 0;
  gErrors.line = 0;
  gErrors.isWarning = false;
  gErrors.fileName.clear();
  gErrors.fileMissing = false;
  gErrors.detail.clear();
  gErrors.fileProblem.clear();
}
void SetWarningsOff(bool off) { gErrors.warningsOff = off; }
bool WarningsOff() { return gErrors.warningsOff; }

std::string ErrorText(int number) {
  MakeSlotTexts();
  int slot = ErrorSlotOfNumber(number);
  // A number outside the slot table still names itself, so the message is never blank.
  if (slot < 0) return "ERROR " + std::to_string(number);
  return gErrors.slotTexts[slot];
}

void SetErrorSlotText(int slot, const char* text) {
  MakeSlotTexts();
  if (slot >= 0 && slot < kErrorSlots) gErrors.slotTexts[slot] = text;
}

std::string FormatRuntimeErrorText(bool withLine) {
  const char* kind = gErrors.isWarning ? "Warning" : "Error";
  std::string text = std::string(gErrors.number < 10000 ? "Runtime " : "System ") + kind + " " +
                     std::to_string(gErrors.number) + " : ";
  text += ErrorText(gErrors.number);
  text += ". ";
  const std::string engineError = gErrors.detail.empty() ? std::string(Hooks.LastEngineError()) : gErrors.detail;
  text += engineError;
  // A file the command named and the engine's text does not already name.
  if (!gErrors.fileName.empty() && engineError.find(gErrors.fileName) == std::string::npos) {
    if (!engineError.empty() && text.back() != ' ') text += ' ';
    text += gErrors.fileName + (gErrors.fileMissing        ? ": no such file"
                                : gErrors.fileProblem.empty() ? ""
                                                              : ": " + gErrors.fileProblem);
  }
  // A built game looks its files up by the names it packed them under: say what those are.
  if (text.find(": no such file") != std::string::npos) {
    const std::string note = PackedNamesNote();
    if (!note.empty()) text += " (" + note + ")";
  }
  if (withLine && gErrors.line > 0) {
    if (text.back() != ' ') text += ' ';
    text += "at line " + std::to_string(gErrors.line);
  }
  return text;
}

void LogErrorEntry(const char* keyPrefix, const char* text) {
  if (!Settings().debugMode) return;
  FlushCommandTrace();  // the trace's entries come first, as they ran first
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  // The second and the process id keep apart the entries of games failing at the same time
  // (with the minute alone they shared one key, and the log kept only the last); a second
  // entry of this process within the same second gets a running number.
  char key[128];
  std::snprintf(key, sizeof(key), "%s ON %d/%d/%d AT %d:%d:%d PID %d", keyPrefix, utc.tm_mday, utc.tm_mon + 1,
                utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(getpid()));
  static std::string lastKey;  // lives for the process
  static int repeats = 0;
  std::string unique = key;
  if (unique == lastKey) {
    unique += " #" + std::to_string(++repeats + 1);
  } else {
    lastKey = unique;
    repeats = 0;
  }
  PlatformWriteProfileString(LogFilePath().c_str(), "ERRORLOG", unique.c_str(), text);
}
