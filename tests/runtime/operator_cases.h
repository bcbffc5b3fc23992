// The operator and assignment cases shared by the in-process tests and the packaged
// program that checks them all from start-up to shut-down.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "runtime/command_numbers.h"
#include "tests/asm/qvasm.h"

using Value = std::variant<int32_t, float, std::string>;

struct OperatorCase {
  int command;
  Value left, right, expected;
  int error = 0;  // the error left after the run (warnings are silent: 0)
};

// The two-operand assignments and conversions.
struct AssignCase {
  int command;
  Value source, expected;
};

// Readable test names: CTest names each case after what these print, e.g.
// "81 2147483647 + 1 gives -2147483648" (the command number, then the case).
inline std::string ValueText(const Value& v) {
  if (auto* i = std::get_if<int32_t>(&v)) return std::to_string(*i);
  if (auto* f = std::get_if<float>(&v)) {
    char text[32];
    for (int digits = 6; digits <= 9; ++digits) {  // the shortest text that reads back the same
      std::snprintf(text, sizeof(text), "%.*g", digits, *f);
      if (std::strtof(text, nullptr) == *f) break;
    }
    std::string s = text;
    return s.find_first_of(".enai") == std::string::npos ? s + ".0" : s;  // a float reads as one
  }
  const std::string& text = std::get<std::string>(v);
  if (text.size() > 12) return "'" + text.substr(0, 3) + "...'(" + std::to_string(text.size()) + " chars)";
  std::string shown = "'";
  for (unsigned char ch : text) {
    char hex[8];
    std::snprintf(hex, sizeof(hex), "<%02x>", ch);
    shown += ch >= 32 && ch < 127 ? std::string(1, static_cast<char>(ch)) : hex;
  }
  return shown + "'";
}

inline const char* OperatorSymbol(int command) {
  if (command >= kPowerII && command <= kPowerFI) return "^";
  if (command >= kDivideII && command <= kDivideFF) return "/";
  if (command >= kMultiplyII && command <= kMultiplyFF) return "*";
  if (command >= kAddII && command <= kAddFF) return "+";
  if (command == kJoinText) return "join";
  if (command >= kSubtractII && command <= kSubtractFF) return "-";
  if (command == kRemoveText) return "remove";
  switch (command) {
    case kEqualII: case kEqualFF: case kEqualIF: case kEqualFI: case kTextEqual: return "=";
    case kGreaterII: case kGreaterFF: case kGreaterIF: case kGreaterFI: case kTextGreater: return ">";
    case kGreaterOrEqualII: case kGreaterOrEqualFF: case kGreaterOrEqualIF: case kGreaterOrEqualFI: return ">=";
    case kLessII: case kLessFF: case kLessIF: case kLessFI: case kTextLess: return "<";
    case kLessOrEqualII: case kLessOrEqualFF: case kLessOrEqualIF: case kLessOrEqualFI: return "<=";
    case kNotEqualII: case kNotEqualFF: case kNotEqualIF: case kNotEqualFI: case kTextNotEqual: return "<>";
    case kBitAnd: return "and";
    case kBitOr: return "or";
    default: return "?";
  }
}

inline int ConstantId(qvasm::ProgramBuilder& b, const Value& v) {
  if (auto* i = std::get_if<int32_t>(&v)) return b.IntConst(*i);
  if (auto* f = std::get_if<float>(&v)) return b.FloatConst(*f);
  return b.TextConst(std::get<std::string>(v));
}

inline int DestinationId(qvasm::ProgramBuilder& b, const Value& expected) {
  if (std::holds_alternative<int32_t>(expected)) return b.IntVar();
  if (std::holds_alternative<float>(expected)) return b.FloatVar();
  return b.TextVar();
}

inline const std::string k200(200, 'a'), k55(55, 'b'), k56(56, 'b');

inline std::vector<OperatorCase> ArithmeticCases() {
  return {
        OperatorCase{kPowerII, 2, 10, 1024}, OperatorCase{kPowerII, 2, -1, 0},
        OperatorCase{kPowerII, 2, 31, INT32_MIN}, OperatorCase{kPowerII, 2, 32, 0},
        OperatorCase{kPowerII, 2, 64, 0},  // 2^64 is past 2^63: 0
        OperatorCase{kPowerFI, 2.0f, -1, 0.5f}, OperatorCase{kPowerFF, 9.0f, 0.5f, 3.0f},
        OperatorCase{kPowerIF, 4, 0.5f, 2.0f},
        OperatorCase{kDivideII, -7, 2, -3}, OperatorCase{kDivideII, 7, 0, 0},
        OperatorCase{kDivideII, INT32_MIN, -1, INT32_MIN},  // no trap: wraps like the others
        OperatorCase{kDivideFF, 7.5f, 0.0f, 0.0f}, OperatorCase{kDivideFF, 1.0f, 4.0f, 0.25f},
        OperatorCase{kDivideIF, 1, 0.0f, 0.0f}, OperatorCase{kDivideFI, 1.0f, 0, 0.0f},
        OperatorCase{kDivideFI, 3.0f, 2, 1.5f}, OperatorCase{kDivideIF, 3, 2.0f, 1.5f},
        OperatorCase{kAddII, INT32_MAX, 1, INT32_MIN}, OperatorCase{kAddFI, 0.5f, 2, 2.5f},
        OperatorCase{kAddIF, 2, 0.25f, 2.25f}, OperatorCase{kAddFF, 0.5f, 0.25f, 0.75f},
        OperatorCase{kSubtractII, INT32_MIN, 1, INT32_MAX}, OperatorCase{kSubtractIF, 1, 0.5f, 0.5f},
        OperatorCase{kSubtractFI, 1.5f, 1, 0.5f}, OperatorCase{kSubtractFF, 1.0f, 0.25f, 0.75f},
        OperatorCase{kMultiplyII, 65536, 65536, 0}, OperatorCase{kMultiplyII, -3, 7, -21},
        OperatorCase{kMultiplyIF, 3, 0.5f, 1.5f}, OperatorCase{kMultiplyFI, 0.5f, 3, 1.5f},
        OperatorCase{kMultiplyFF, 1.5f, 1.5f, 2.25f},
        OperatorCase{kBitAnd, 12, 10, 8}, OperatorCase{kBitOr, 12, 10, 14}, OperatorCase{kBitAnd, -1, INT32_MIN, INT32_MIN}};
}

inline std::vector<OperatorCase> ComparisonCases() {
  return {
        OperatorCase{kEqualII, 3, 3, 1}, OperatorCase{kEqualFF, 0.5f, 0.25f, 0}, OperatorCase{kEqualIF, 2, 2.0f, 1},
        OperatorCase{kEqualFI, 2.5f, 2, 0}, OperatorCase{kGreaterII, -1, -2, 1}, OperatorCase{kGreaterFF, 1.0f, 1.0f, 0},
        OperatorCase{kGreaterIF, 3, 2.5f, 1}, OperatorCase{kGreaterFI, 2.5f, 3, 0},
        OperatorCase{kGreaterOrEqualII, 2, 2, 1}, OperatorCase{kGreaterOrEqualFF, 0.5f, 0.75f, 0},
        OperatorCase{kGreaterOrEqualIF, 3, 3.0f, 1}, OperatorCase{kGreaterOrEqualFI, 2.5f, 3, 0},
        OperatorCase{kLessII, INT32_MIN, INT32_MAX, 1}, OperatorCase{kLessFF, 0.5f, 0.25f, 0},
        OperatorCase{kLessIF, 2, 2.5f, 1},
        OperatorCase{kLessIF, 16777217, 16777216.0f, 0},  // the integer is widened exactly, not narrowed
        OperatorCase{kLessFI, 2.5f, 2, 0}, OperatorCase{kLessOrEqualII, 5, 5, 1},
        OperatorCase{kLessOrEqualFF, 0.5f, 0.5f, 1}, OperatorCase{kLessOrEqualIF, 6, 5.5f, 0},
        OperatorCase{kLessOrEqualFI, 5.5f, 6, 1}, OperatorCase{kNotEqualII, 1, 2, 1}, OperatorCase{kNotEqualFF, 1.0f, 1.0f, 0},
        OperatorCase{kNotEqualIF, 1, 1.5f, 1}, OperatorCase{kNotEqualFI, 2.0f, 2, 0}};
}

inline std::vector<OperatorCase> TextCases() {
  return {
        OperatorCase{kJoinText, std::string("ab"), std::string("cd"), std::string("abcd")},
        OperatorCase{kJoinText, k200, k55, k200 + k55},
        OperatorCase{kJoinText, k200, k56, std::string(""), 107},  // destination untouched (empty)
        OperatorCase{kRemoveText, std::string("banana"), std::string("an"), std::string("bana")},
        OperatorCase{kRemoveText, std::string("abc"), std::string("x"), std::string("abc")},
        OperatorCase{kRemoveText, std::string("ab"), std::string("abc"), std::string("ab")},
        OperatorCase{kRemoveText, std::string("ab"), std::string(""), std::string("ab")},
        OperatorCase{kTextEqual, std::string("abc"), std::string("ABC"), 0},
        OperatorCase{kTextEqual, std::string(""), std::string(""), 1},
        OperatorCase{kTextGreater, std::string("abc"), std::string("ABC"), 1},
        OperatorCase{kTextLess, std::string("ab"), std::string("abc"), 1},
        OperatorCase{kTextLess, std::string("\xe9"), std::string("z"), 0},  // bytes compare unsigned
        OperatorCase{kTextNotEqual, std::string("a"), std::string("b"), 1}};
}

inline std::vector<AssignCase> AssignmentCases() {
  return {AssignCase{kFloatToInt, 2.9f, 2}, AssignCase{kFloatToInt, -2.9f, -2},
                      AssignCase{kFloatToInt, 5e9f, 705032704},  // low 32 bits of 5000000000
                      AssignCase{kFloatToInt, NAN, 0}, AssignCase{kIntToFloat, 16777217, 16777216.0f},
                      AssignCase{kAssignInt, -5, -5}, AssignCase{kAssignFloat, 1.25f, 1.25f},
                      AssignCase{kAssignText, std::string("hello"), std::string("hello")}};
}

inline void PrintTo(const OperatorCase& c, std::ostream* out) {
  *out << c.command << " " << ValueText(c.left) << " " << OperatorSymbol(c.command) << " " << ValueText(c.right)
       << " gives " << ValueText(c.expected);
  if (c.error != 0) *out << " error " << c.error;
}

inline void PrintTo(const AssignCase& c, std::ostream* out) {
  *out << c.command << " " << ValueText(c.source) << " gives " << ValueText(c.expected);
}
