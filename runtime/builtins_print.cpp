// PRINT and INPUT: printed text goes to the screen through the print hook and, with
// --echo, to stdout one line per finished line; INPUT reads a typed line; INKEY$ and WAIT KEY
// read single key presses.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/builtins.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime.h"
#include "runtime/runtime_local.h"

// The decimal exponents printed in plain notation (see FormatFloatText).
static constexpr int kPlainFloatLowestExponent = -5;
static constexpr int kPlainFloatHighestExponent = 14;

void (*PrintToScreenHook)(const char* text, bool endsLine) = [](const char*, bool) {};
void (*InputTextHook)(const char* typed, bool finished) = [](const char*, bool) {};

// The line being printed and the console switches; the line is cleared when it is echoed,
// the switches live for the process.
static struct {
  std::string openLine;
  bool echo = false;
  bool stdinInput = false;
  bool inputOpen = false;  // the typed-text buffer is open for a waiting INPUT
} gPrint;

void SetPrintEcho(bool on) { gPrint.echo = on; }
void SetInputFromStdin(bool on) { gPrint.stdinInput = on; }

void FlushPrintedLine() {
  if (gPrint.echo && !gPrint.openLine.empty()) {
    std::fputs(gPrint.openLine.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  gPrint.openLine.clear();
}

void FormatIntText(int value, char* out, int size) { std::snprintf(out, static_cast<size_t>(size), "%d", value); }

// How a float reads as text (PRINT, str$): the shortest decimal digits that read back as the
// same 32-bit value, in plain notation with at least one decimal while 0.00001 <= |x| < 1e15
// ("123456.7", "1000000.0", "0.1", "-0.0"), and otherwise in exponent form ("1e+15",
// "1.5e-07"). Infinities and NaN read "inf", "-inf" and "nan".
void FormatFloatText(float value, char* out, int size) {
  char scientific[32];
  const std::to_chars_result done =
      std::isfinite(value) ? std::to_chars(scientific, scientific + sizeof scientific - 1, value, std::chars_format::scientific)
                           : std::to_chars(scientific, scientific + sizeof scientific - 1, value);
  *done.ptr = '\0';
  const char* exponentText = std::strchr(scientific, 'e');
  const int exponent = exponentText != nullptr ? std::atoi(exponentText + 1) : 0;
  if (exponentText == nullptr || exponent < kPlainFloatLowestExponent || exponent > kPlainFloatHighestExponent) {
    std::snprintf(out, static_cast<size_t>(size), "%s", scientific);
    return;
  }
  std::string digits;  // the significant digits, without sign, point or exponent
  for (const char* c = scientific; c != exponentText; ++c)
    if (*c >= '0' && *c <= '9') digits += *c;
  std::string text = scientific[0] == '-' ? "-" : "";
  if (exponent < 0) {
    text += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  } else {
    const size_t whole = static_cast<size_t>(exponent) + 1;
    if (digits.size() < whole) digits.append(whole - digits.size(), '0');
    const std::string fraction = digits.substr(whole);
    text += digits.substr(0, whole) + "." + (fraction.empty() ? "0" : fraction);
  }
  std::snprintf(out, static_cast<size_t>(size), "%s", text.c_str());
}

// True when a later command of the same statement prints more of the line: the command
// after this one, or one further on the same source line after the commands that compute
// the next item (print a; " "; len(s$) computes the length between its items).
static bool PrintStatementGoesOn() {
  const LoadedProgram& program = Program();
  const long position = OperandPointer - program.code.data();
  const long end = static_cast<long>(std::min(program.lines.size(), program.commandStarts.size()));
  if (position < 0 || position >= end) return false;
  const int32_t line = program.lines[static_cast<size_t>(position)];
  constexpr long kLookAhead = 256;  // code words: an item's expression is never longer
  for (long at = position; at < end && at < position + kLookAhead; ++at) {
    const size_t word = static_cast<size_t>(at);
    if (program.lines[word] != line) return false;
    if (program.commandStarts[word] == 0) continue;  // an operand
    switch (program.words[word]) {
      case kPrintInt: case kPrintFloat: case kPrintText: case kPrintNextZone: case kPrintLineEnd:
        return true;
      default:
        break;
    }
  }
  return false;
}

// A printed line is one drawing: in automatic refresh its items and line end show on one
// frame, and only the last of them ends the slice (a line of four items would otherwise take
// four frames, a tenth of a second, to show). A line left open by ";" goes on with the next
// PRINT when one follows at once.
static void PrintItem(const char* text) {
  gPrint.openLine += text;
  const uint8_t drawStop = Dispatcher.drawStop;
  if (PrintStatementGoesOn()) Dispatcher.drawStop = 0;
  PrintToScreenHook(text, false);
  Dispatcher.drawStop = drawStop;
}

static void EndPrintedLine() {
  if (gPrint.echo) {
    std::fputs(gPrint.openLine.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  gPrint.openLine.clear();
  PrintToScreenHook("", true);
}

void PrintProgramText(const char* text, bool endsLine) {
  PrintItem(text);
  if (endsLine) EndPrintedLine();
}

static void CmdPrintInt() {
  char text[32];
  FormatIntText(IntOperand(0), text, sizeof text);
  AdvanceOperands(1);
  PrintItem(text);
}

static void CmdPrintFloat() {
  char text[48];
  FormatFloatText(FloatOperand(0), text, sizeof text);
  AdvanceOperands(1);
  PrintItem(text);
}

static void CmdPrintText() {
  std::string text = TextOperand(0);
  AdvanceOperands(1);
  PrintItem(text.c_str());
}

static void CmdPrintLineEnd() { EndPrintedLine(); }

// PRINT's "," moves on to the next print zone, as in other BASICs: the line is filled with
// blanks up to the next multiple of the zone width (at least one blank), so columns of
// values line up while each value itself prints without padding.
constexpr size_t kPrintZoneWidth = 14;
static void CmdPrintNextZone() {
  size_t column = gPrint.openLine.size();
  PrintItem(std::string(kPrintZoneWidth - column % kPrintZoneWidth, ' ').c_str());
}

// One typed line, or false while the user is still typing (the command then runs again
// on the next slice, so frames keep coming while the program waits).
static bool TakeTypedLine(std::string& line) {
  if (gPrint.stdinInput) {
    char buffer[1024];
    line.clear();
    if (!std::fgets(buffer, sizeof buffer, stdin)) {
      // No line will ever come: the run ends as when the user closes the window, rather
      // than a program that waits for a value looping on empty lines for ever.
      RequestQuit();
      return false;
    }
    line = buffer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return true;
  }
  const char* typed = TypedText();
  const char* end = std::strpbrk(typed, "\r\n");
  line.clear();
  for (const char* p = typed; end ? p < end : *p != 0; p++) {
    if (*p == 8) {  // backspace takes back the character before it
      if (!line.empty()) line.pop_back();
    } else if (static_cast<unsigned char>(*p) >= 32) {
      line += *p;
    }
  }
  if (!end) {  // still typing: the screen shows the line so far
    InputTextHook(line.c_str(), false);
    return false;
  }
  CloseTypedText();
  return true;
}

// Where a typed value goes: the target slot, or for a temporary (an array element) the
// element address the array command kept for it, when the temporary is of the value's kind.
static VariableSlot* InputTarget(VariableSlot* slot, char type) {
  int index = SlotIndexOf(slot);
  if (index >= 0 && index < kFirstIntVar) {
    int band = type == 'l' ? kFirstIntTemp : type == 'f' ? kFirstFloatTemp : kFirstTextTemp;
    if (index < band || index >= band + 1000) return ReportBadSlotOperand();
    VariableSlot* element = ElementAddressTable[index];
    return element ? element : slot;
  }
  if (type != 's' && !SlotTakesNumber(slot)) return ReportBadSlotOperand();
  return slot;
}

static void RunInput(char type) {
  std::string prompt = TextOperand(0);
  VariableSlot* target = SlotOperand(1);
  if (!gPrint.inputOpen) {  // first run of this INPUT: show the prompt, start typing
    PrintItem(prompt.c_str());
    if (!gPrint.stdinInput) {
      OpenTypedText(256);
      ClearTypedText();
    }
    gPrint.inputOpen = true;
  }
  std::string line;
  if (!TakeTypedLine(line)) {
    OperandPointer -= 1;  // stay on this command until the line is complete
    Dispatcher.stop = 1;
    return;
  }
  gPrint.inputOpen = false;
  AdvanceOperands(2);
  if (line.size() > static_cast<size_t>(kMaxTextLength)) line.resize(kMaxTextLength);
  if (!gPrint.stdinInput) InputTextHook(line.c_str(), true);
  PrintItem(line.c_str());
  EndPrintedLine();
  VariableSlot* slot = InputTarget(target, type);
  if (type == 'l') slot->asInt = static_cast<int32_t>(std::strtol(line.c_str(), nullptr, 10));
  else if (type == 'f') slot->asFloat = std::strtof(line.c_str(), nullptr);
  else StoreText(slot, line.c_str());
}

// The last character typed (Return and Backspace included) as a text of one character, ""
// when none was typed since the last read: reading it takes it, so each key press is read once.
static void CmdInkey() {
  const int character = LastTypedCharacter();
  SetLastTypedCharacter(0);
  const char text[2] = {static_cast<char>(character), 0};
  WriteTextResult(text);
  AdvanceOperands(1);
}

// Waits until a key goes down after the wait began: the command runs again each slice until
// the window has seen a key press, and the picture shown when the wait began stays meanwhile.
static struct {
  const void* command = nullptr;  // the WAIT KEY waiting, null when none
  uint32_t pressesAtStart = 0;
} gWaitKey;

static void CmdWaitKey() {
  const void* here = OperandPointer;
  if (gWaitKey.command != here) {
    gWaitKey.command = here;
    gWaitKey.pressesAtStart = KeyPressCount();
  }
  if (KeyPressCount() == gWaitKey.pressesAtStart && !QuitRequested()) {
    OperandPointer -= 1;  // back on the command word: it runs again next slice
    Dispatcher.stop = 1;
    HoldPictureWhileWaiting();
    return;
  }
  gWaitKey.command = nullptr;
}

static void CmdInputInt() { RunInput('l'); }
static void CmdInputFloat() { RunInput('f'); }
static void CmdInputText() { RunInput('s'); }

extern const CommandEntry kPrintCommands[];
const CommandEntry kPrintCommands[] = {
    {kPrintInt, CmdPrintInt},       {kPrintFloat, CmdPrintFloat}, {kPrintText, CmdPrintText},
    {kPrintLineEnd, CmdPrintLineEnd}, {kPrintNextZone, CmdPrintNextZone}, {kInputInt, CmdInputInt},
    {kInputFloat, CmdInputFloat},
    {kInputText, CmdInputText},
    {kInkey, CmdInkey},
    {kWaitKey, CmdWaitKey},
};
extern const size_t kPrintCommandCount;
const size_t kPrintCommandCount = std::size(kPrintCommands);
