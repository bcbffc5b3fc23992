// Core built-ins for strings: length, parts, conversions to and from numbers, character
// codes, case, binary and hexadecimal digits, blanks. Results over 255 characters are
// error 107 (through WriteTextResult).
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/builtins.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime.h"

static void CmdTextLength() {
  WriteIntResult(static_cast<int32_t>(TextLength(TextOperand(1))));
  AdvanceOperands(2);
}

// Clamps a count to 0..length.
static size_t Clamp(int32_t count, size_t length) {
  if (count <= 0) return 0;
  return static_cast<size_t>(count) < length ? static_cast<size_t>(count) : length;
}

// Every string function reads its operands first, then writes operand 0 and moves on.
static void FinishText(std::string_view result, int operands) {
  WriteTextResultOfLength(result.data(), result.size());
  AdvanceOperands(operands);
}

// The parts of a text are written straight from the operand's characters (the result slot
// may be the operand's own: the store moves the bytes within its block).
static void FinishPart(const char* part, size_t length, int operands) {
  WriteTextResultOfLength(part, length);
  AdvanceOperands(operands);
}

static void CmdTextLeft() {
  const char* text = TextOperand(1);
  int32_t count = IntOperand(2);
  FinishPart(text, Clamp(count, TextLength(text)), 3);
}

static void CmdTextRight() {
  const char* text = TextOperand(1);
  int32_t count = IntOperand(2);
  size_t length = TextLength(text), n = Clamp(count, length);
  FinishPart(text + length - n, n, 3);
}

static void CmdTextMiddle() {
  const char* text = TextOperand(1);
  int32_t position = IntOperand(2);
  bool inside = position >= 1 && static_cast<size_t>(position) <= TextLength(text);
  FinishPart(inside ? text + position - 1 : text, inside ? 1 : 0, 3);
}

static void CmdTextMiddleRun() {
  const char* text = TextOperand(1);
  int32_t position = IntOperand(2), count = IntOperand(3);
  size_t length = TextLength(text);
  bool inside = position >= 1 && static_cast<size_t>(position) <= length && count > 0;
  size_t start = inside ? static_cast<size_t>(position) - 1 : 0;
  FinishPart(text + start, inside ? Clamp(count, length - start) : 0, 4);
}

static void CmdTextOfInt() {
  char text[32];
  FormatIntText(IntOperand(1), text, sizeof text);
  FinishText(text, 2);
}

static void CmdTextOfFloat() {
  char text[48];
  FormatFloatText(FloatOperand(1), text, sizeof text);
  FinishText(text, 2);
}

static void CmdTextValue() {
  WriteFloatResult(std::strtof(TextOperand(1), nullptr));
  AdvanceOperands(2);
}

static void CmdTextOfCode() {
  int32_t code = IntOperand(1);
  char character = static_cast<char>(code);
  FinishPart(&character, code >= 1 && code <= 255 ? 1 : 0, 2);
}

static void CmdCodeOfText() {
  const char* text = TextOperand(1);
  WriteIntResult(static_cast<unsigned char>(text[0]));
  AdvanceOperands(2);
}

static void CmdTextUpper() {
  std::string text = TextOperand(1);
  for (char& ch : text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  FinishText(text, 2);
}

static void CmdTextLower() {
  std::string text = TextOperand(1);
  for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  FinishText(text, 2);
}

static void CmdTextBinary() {
  uint32_t value = static_cast<uint32_t>(IntOperand(1));
  std::string text(32, '0');
  for (int bit = 0; bit < 32; bit++)
    if (value & (1u << bit)) text[31 - bit] = '1';
  FinishText(text, 2);
}

static void CmdTextHex() {
  char text[16];
  std::snprintf(text, sizeof text, "%X", static_cast<uint32_t>(IntOperand(1)));
  FinishText(text, 2);
}

static void CmdTextSpaces() {
  int32_t count = IntOperand(1);
  if (count > kMaxTextLength) {
    AdvanceOperands(2);
    RuntimeError(107);
    return;
  }
  FinishText(std::string(count > 0 ? static_cast<size_t>(count) : 0, ' '), 2);
}

// Position (from 1) of the first whole copy of the sought text at or after start, 0 when there
// is none; an empty sought text, or a start past the end, finds nothing. Starts below 1 count as 1.
static void FindText(int32_t start, int operands) {
  const std::string_view text(TextOperand(1), TextLength(TextOperand(1)));
  const std::string_view sought(TextOperand(2), TextLength(TextOperand(2)));
  const size_t from = start < 1 ? 0 : static_cast<size_t>(start) - 1;
  const size_t found = sought.empty() || from >= text.size() ? std::string_view::npos : text.find(sought, from);
  WriteIntResult(found == std::string_view::npos ? 0 : static_cast<int32_t>(found) + 1);
  AdvanceOperands(operands);
}
static void CmdTextFind() { FindText(1, 3); }
static void CmdTextFindFrom() { FindText(IntOperand(3), 4); }

extern const CommandEntry kTextCommands[];
const CommandEntry kTextCommands[] = {
    {kTextLength, CmdTextLength},   {kTextLeft, CmdTextLeft},         {kTextRight, CmdTextRight},
    {kTextMiddle, CmdTextMiddle},   {kTextMiddleRun, CmdTextMiddleRun}, {kTextOfInt, CmdTextOfInt},
    {kTextOfFloat, CmdTextOfFloat}, {kTextValue, CmdTextValue},       {kTextOfCode, CmdTextOfCode},
    {kCodeOfText, CmdCodeOfText},   {kTextUpper, CmdTextUpper},       {kTextLower, CmdTextLower},
    {kTextBinary, CmdTextBinary},   {kTextHex, CmdTextHex},           {kTextSpaces, CmdTextSpaces},
    {kTextFind, CmdTextFind},       {kTextFindFrom, CmdTextFindFrom},
};
extern const size_t kTextCommandCount;
const size_t kTextCommandCount = std::size(kTextCommands);
