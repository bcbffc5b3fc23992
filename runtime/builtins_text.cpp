// Core built-ins for strings: length, parts, conversions to and from numbers, character
// codes, case, binary and hexadecimal digits, blanks. Results over 255 characters are
// error 107 (through WriteTextResult).
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/builtins.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime.h"

static void CmdTextLength() {
  WriteIntResult(static_cast<int32_t>(std::strlen(TextOperand(1))));
  AdvanceOperands(2);
}

// Clamps a count to 0..length.
static size_t Clamp(int32_t count, size_t length) {
  if (count <= 0) return 0;
  return static_cast<size_t>(count) < length ? static_cast<size_t>(count) : length;
}

// Every string function reads its operands first, then writes operand 0 and moves on.
static void FinishText(const std::string& result, int operands) {
  WriteTextResult(result.c_str());
  AdvanceOperands(operands);
}

static void CmdTextLeft() {
  std::string text = TextOperand(1);
  int32_t count = IntOperand(2);
  FinishText(text.substr(0, Clamp(count, text.size())), 3);
}

static void CmdTextRight() {
  std::string text = TextOperand(1);
  int32_t count = IntOperand(2);
  size_t n = Clamp(count, text.size());
  FinishText(text.substr(text.size() - n), 3);
}

static void CmdTextMiddle() {
  std::string text = TextOperand(1);
  int32_t position = IntOperand(2);
  bool inside = position >= 1 && static_cast<size_t>(position) <= text.size();
  FinishText(inside ? text.substr(static_cast<size_t>(position) - 1, 1) : std::string(), 3);
}

static void CmdTextMiddleRun() {
  std::string text = TextOperand(1);
  int32_t position = IntOperand(2), count = IntOperand(3);
  std::string result;
  if (position >= 1 && static_cast<size_t>(position) <= text.size() && count > 0)
    result = text.substr(static_cast<size_t>(position) - 1, static_cast<size_t>(count));
  FinishText(result, 4);
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
  std::string text = TextOperand(1);
  WriteFloatResult(std::strtof(text.c_str(), nullptr));
  AdvanceOperands(2);
}

static void CmdTextOfCode() {
  int32_t code = IntOperand(1);
  char text[2] = {static_cast<char>(code >= 1 && code <= 255 ? code : 0), 0};
  FinishText(text, 2);
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

extern const CommandEntry kTextCommands[];
const CommandEntry kTextCommands[] = {
    {kTextLength, CmdTextLength},   {kTextLeft, CmdTextLeft},         {kTextRight, CmdTextRight},
    {kTextMiddle, CmdTextMiddle},   {kTextMiddleRun, CmdTextMiddleRun}, {kTextOfInt, CmdTextOfInt},
    {kTextOfFloat, CmdTextOfFloat}, {kTextValue, CmdTextValue},       {kTextOfCode, CmdTextOfCode},
    {kCodeOfText, CmdCodeOfText},   {kTextUpper, CmdTextUpper},       {kTextLower, CmdTextLower},
    {kTextBinary, CmdTextBinary},   {kTextHex, CmdTextHex},           {kTextSpaces, CmdTextSpaces},
};
extern const size_t kTextCommandCount;
const size_t kTextCommandCount = std::size(kTextCommands);
