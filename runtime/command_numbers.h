// Every command number the player dispatches, one a line: operands, then the effect.
// Families append their own block; the keyword table must agree with these numbers.
#pragma once

enum CommandNumber : int {
  // --- Runtime core: control flow, subroutines, user functions, DATA (runtime/control_flow.cpp)
  kEndOfProgram = 0,          // (none): the closing word; no handler, the run ends without an error
  kJumpIfZero = 1,            // slot condition, code target: jump when the condition is 0
  kJump = 2,                  // code target: jump
  kJumpAlias5 = 5,            // code target: jump
  kJumpAlias6 = 6,            // code target: jump
  kForStep = 7,               // slot counter, slot limit, slot step, code exit: counter += step, leave past the limit
  kJumpSecond = 8,            // word (unused), code target: jump
  kJumpIfZeroAlias9 = 9,      // slot condition, code target: jump when the condition is 0
  kJumpAlias10 = 10,          // code target: jump
  kJumpIfZeroAlias12 = 12,    // slot condition, code target: jump when the condition is 0
  kCallFunction = 21,         // code entry, slot result, slot count, count argument slots: call a FUNCTION
  kReturnNothing = 22,        // slot, slot, slot (unused): return from a FUNCTION, result 0
  kReturnInt = 23,            // slot value: return an integer
  kReturnFloat = 24,          // slot value: return a float
  kReturnText = 25,           // slot value: return a text
  kEnd = 26,                  // (none): END
  kReturnNothingAlias27 = 27, // slot, slot, slot (unused): as 22
  kReturnIntAlias28 = 28,     // slot value: as 23
  kReturnFloatAlias29 = 29,   // slot value: as 24
  kReturnTextAlias30 = 30,    // slot value: as 25
  kRestoreAt = 31,            // number position: next READ reads that DATA item
  kRestore = 32,              // (none): next READ reads the first DATA item
  kReadInt = 33,              // slot target: READ an integer
  kReadFloat = 34,            // slot target: READ a float
  kReadText = 35,             // slot target: READ a text
  kGosub = 41,                // code target: push the return address, jump (108 when full)
  kJumpAlias42 = 42,          // code target: jump
  kReturn = 43,               // (none): pop and jump; nothing when empty

  // --- Runtime core: operators and assignment (runtime/operators.cpp); dest, left, right
  kPowerII = 51,              // i dest, i, i: power, truncated to an integer
  kPowerFF = 52,              // f dest, f, f: power
  kPowerIF = 53,              // f dest, i, f: power
  kPowerFI = 54,              // f dest, f, i: power
  kDivideII = 61,             // i dest, i, i: quotient toward zero; /0 gives 0 and warning 111
  kDivideIF = 64,             // f dest, i, f: quotient; /0 gives 0 and warning 111
  kDivideFI = 65,             // f dest, f, i: quotient; /0 gives 0 and warning 111
  kDivideFF = 66,             // f dest, f, f: quotient; /0 gives 0 and warning 111
  kMultiplyII = 71,           // i dest, i, i: product modulo 2^32
  kMultiplyIF = 74,           // f dest, i, f: product
  kMultiplyFI = 75,           // f dest, f, i: product
  kMultiplyFF = 76,           // f dest, f, f: product
  kAddII = 81,                // i dest, i, i: sum modulo 2^32
  kAddIF = 84,                // f dest, i, f: sum
  kAddFI = 85,                // f dest, f, i: sum
  kAddFF = 86,                // f dest, f, f: sum
  kJoinText = 87,             // s dest, s, s: left then right; over 255 characters error 107
  kSubtractII = 91,           // i dest, i, i: difference modulo 2^32
  kSubtractIF = 94,           // f dest, i, f: difference
  kSubtractFI = 95,           // f dest, f, i: difference
  kSubtractFF = 96,           // f dest, f, f: difference
  kRemoveText = 97,           // s dest, s, s: left without the first occurrence of right
  kEqualII = 101,             // i dest, i, i: 1 when equal
  kEqualFF = 102,             // i dest, f, f: 1 when equal
  kTextEqual = 103,           // i dest, s, s: 1 when the texts are equal
  kGreaterII = 111,           // i dest, i, i: 1 when left > right
  kGreaterFF = 112,           // i dest, f, f: 1 when left > right
  kGreaterOrEqualII = 113,    // i dest, i, i: 1 when left >= right
  kGreaterOrEqualFF = 114,    // i dest, f, f: 1 when left >= right
  kLessII = 115,              // i dest, i, i: 1 when left < right
  kLessFF = 116,              // i dest, f, f: 1 when left < right
  kLessOrEqualII = 117,       // i dest, i, i: 1 when left <= right
  kLessOrEqualFF = 118,       // i dest, f, f: 1 when left <= right
  kNotEqualII = 119,          // i dest, i, i: 1 when different
  kNotEqualFF = 120,          // i dest, f, f: 1 when different
  kTextNotEqual = 121,        // i dest, s, s: 1 when the texts differ
  kBitAnd = 123,              // i dest, i, i: bitwise AND
  kBitOr = 124,               // i dest, i, i: bitwise OR
  kEqualIF = 131,             // i dest, i, f: 1 when equal
  kEqualFI = 132,             // i dest, f, i: 1 when equal
  kGreaterIF = 133,           // i dest, i, f: 1 when left > right
  kGreaterFI = 134,           // i dest, f, i: 1 when left > right
  kGreaterOrEqualIF = 135,    // i dest, i, f: 1 when left >= right
  kGreaterOrEqualFI = 136,    // i dest, f, i: 1 when left >= right
  kLessIF = 137,              // i dest, i, f: 1 when left < right
  kLessFI = 138,              // i dest, f, i: 1 when left < right
  kLessOrEqualIF = 139,       // i dest, i, f: 1 when left <= right
  kLessOrEqualFI = 140,       // i dest, f, i: 1 when left <= right
  kNotEqualIF = 141,          // i dest, i, f: 1 when different
  kNotEqualFI = 142,          // i dest, f, i: 1 when different
  kTextGreater = 143,         // i dest, s, s: 1 when left sorts after right
  kTextLess = 144,            // i dest, s, s: 1 when left sorts before right
  kAssignInt = 151,           // i dest, i source: copy
  kAssignFloat = 152,         // f dest, f source: copy bit for bit
  kAssignText = 153,          // s dest, s source: fresh copy of the text
  kFloatToInt = 154,          // i dest, f source: truncate toward zero, low 32 bits
  kIntToFloat = 155,          // f dest, i source: nearest float

  // --- Runtime core: refresh modes and frame rate (runtime/refresh_commands.cpp)
  kRefresh = 259,             // (none): end the slice (shows a frame in manual mode)
  kManualRefreshMode = 403,   // (none): manual refresh mode, end the slice
  kAutoRefreshMode = 404,     // (none): automatic refresh mode, end the slice
  kFrameRate = 407,           // i rate: frame wait 1000/rate ms (0 = no wait); outside 0-1000 error 112

  // --- Core built-ins: print and input (runtime/builtins_print.cpp)
  kPrintInt = 341,            // i value: print the number, the line stays open
  kPrintFloat = 342,          // f value: print the number, the line stays open
  kPrintText = 343,           // s value: print the text, the line stays open
  kPrintLineEnd = 344,        // (none): end the printed line
  kInputInt = 351,            // s prompt, i target: read a typed line as an integer
  kInputFloat = 352,          // s prompt, f target: read a typed line as a float
  kInputText = 355,           // s prompt, s target: read a typed line

  // --- Core built-ins: timer, mouse, randomness, maths (runtime/builtins_maths.cpp)
  kTimer = 361,               // i result: milliseconds since an arbitrary start
  kWait = 362,                // i ms: wait that long, frames going on
  kMouseX = 363,              // i result: mouse x
  kMouseY = 364,              // i result: mouse y
  kMouseClick = 365,          // i result: buttons (0 none, 1 left, 2 right)
  kCommandLine = 366,         // s result: the command line
  kRandomize = 367,           // i seed: restart the random sequence
  kRandom = 368,              // i result, i n: random integer 0..n
  kAbsInt = 371,              // i result, i: absolute value
  kAbsFloat = 372,            // f result, f: absolute value
  kIntPart = 373,             // i result, f: largest integer not above
  kSqrt = 374,                // f result, f: square root
  kSin = 375,                 // f result, f degrees
  kCos = 376,                 // f result, f degrees
  kTan = 377,                 // f result, f degrees
  kAsin = 378,                // f result degrees, f
  kAcos = 379,                // f result degrees, f
  kAtan = 380,                // f result degrees, f
  kAtanFull = 381,            // f result degrees, f x, f y: angle of the vector
  kExp = 382,                 // f result, f: e to the power
  kLog = 383,                 // f result, f: natural logarithm
  kModulo = 384,              // i dest, i, i: remainder (sign of the left); by 0 gives 0 and warning 111

  // --- Core built-ins: strings (runtime/builtins_text.cpp)
  kTextLength = 420,          // i result, s: length
  kTextLeft = 421,            // s result, s, i n: first n characters
  kTextRight = 422,           // s result, s, i n: last n characters
  kTextMiddle = 423,          // s result, s, i pos: the character at pos (from 1)
  kTextOfInt = 424,           // s result, i: the number as text
  kTextOfFloat = 425,         // s result, f: the number as text
  kTextValue = 426,           // f result, s: the number the text starts with (0 when none)
  kTextOfCode = 427,          // s result, i code: one character
  kCodeOfText = 428,          // i result, s: code of the first character (0 when empty)
  kTextUpper = 429,           // s result, s: capitals
  kTextLower = 430,           // s result, s: small letters
  kTextBinary = 431,          // s result, i: 32 binary digits
  kTextHex = 432,             // s result, i: hexadecimal digits
  kTextSpaces = 433,          // s result, i n: n blanks
  kTextMiddleRun = 434,       // s result, s, i pos, i count: count characters from pos

  // --- Core built-ins: arrays (runtime/builtins_arrays.cpp); sizes give 0..size per dimension
  kDimArray1 = 501,           // array, i size1: make the array (2-5 dimensions: 502-505)
  kDimArray2 = 502,
  kDimArray3 = 503,
  kDimArray4 = 504,
  kDimArray5 = 505,
  kUndimArray = 506,          // array: free it
  kArrayElement1 = 511,       // temp, array, i index1: copy the element, keep its address (512-515)
  kArrayElement2 = 512,
  kArrayElement3 = 513,
  kArrayElement4 = 514,
  kArrayElement5 = 515,
  kStoreElementInt = 521,     // i temp, i value: store through the temp's element address
  kStoreElementFloat = 522,   // f temp, f value: the same for floats
  kStoreElementText = 523,    // s temp, s value: the same for texts
};
