// The loader's second pass over the code: every operand checked once against its command's
// signature, each command's handler (or fast form) put in its cell, and the hottest pairs fused.
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"

namespace {

enum : uint8_t { kUnseen, kCommandWord, kOperandWord, kParameterWord };
enum class Role : uint8_t { kNone, kPlain, kArray };  // the numbers BuildFunctionFrames reads

// A slot id's kind: 0 integer, 1 float, 2 text; its group: 0 temporary, 1 variable, 2 constant.
struct SlotKind {
  int type;
  int group;
};

bool Classify(int32_t word, SlotKind* kind) {
  if (word < 10000 || word >= 25000) return false;
  int band = (word - 10000) / 1000;  // 0-2 temporaries, 3-8 variables, 9-14 constants
  if (band < 3) *kind = {band, 0};
  else if (band < 9) *kind = {(band - 3) / 2, 1};
  else *kind = {(band - 9) / 2, 2};
  return true;
}

int TypeOfLetter(char letter) {
  switch (letter) {
    case 'l': case 'L': return 0;
    case 'f': case 'F': return 1;
    default: return 2;
  }
}

bool IsJump(int32_t number) {
  return number == kJump || number == kJumpAlias5 || number == kJumpAlias6 || number == kJumpAlias10 ||
         number == kJumpAlias42 || number == kBlockJump;
}

bool IsJumpIfZero(int32_t number) {
  return number == kJumpIfZero || number == kJumpIfZeroAlias9 || number == kJumpIfZeroAlias12;
}

bool IsFunctionReturn(int32_t number) { return number >= kReturnNothing && number <= kReturnTextAlias30 && number != kEnd; }


CodeCell CellOf(CommandHandler handler) { return reinterpret_cast<CodeCell>(handler); }

class CodeChecker {
 public:
  CodeChecker(LoadedProgram& program, std::string* whyNot)
      : program_(program), words_(program.words), whyNot_(whyNot),
        marks_(static_cast<size_t>(program.codeWords), kUnseen) {}

  bool Run() {
    pending_.push_back(0);
    while (!pending_.empty()) {
      int32_t at = pending_.back();
      pending_.pop_back();
      if (!FollowPath(at)) return false;
    }
    return true;
  }

  bool IsCommandAt(int32_t at) const { return at >= 0 && at < program_.codeWords && marks_[static_cast<size_t>(at)] == kCommandWord; }
  const std::vector<CallSite>& Calls() const { return calls_; }
  // Per variable slot from 3000: 0 unused, 1 plain, 2 array.
  std::vector<uint8_t> Roles() const {
    std::vector<uint8_t> roles(std::size(roles_));
    for (size_t i = 0; i < roles.size(); ++i) roles[i] = static_cast<uint8_t>(roles_[i]);
    return roles;
  }

 private:
  bool Fail(int32_t at, const std::string& what) {
    if (whyNot_ != nullptr) *whyNot_ = "code word " + std::to_string(at) + ": " + what;
    return false;
  }

  // Claims a word for a role; a word has one role on every path.
  bool Claim(int32_t at, uint8_t mark) {
    uint8_t& m = marks_[static_cast<size_t>(at)];
    if (m == kUnseen || (m == kParameterWord && mark == kParameterWord)) {
      m = mark;
      return true;
    }
    return false;
  }

  bool SetRole(int32_t word, Role role) {
    Role& r = roles_[word - 10000 - kFirstIntVar];
    if (r != Role::kNone && r != role) return false;
    r = role;
    return true;
  }

  bool OperandFits(char kind, int32_t word) {
    SlotKind slot{};
    switch (kind) {
      case 'w':
        return true;
      case 'n':  // a plain number: any word the relocation left a number
        return word < 10000 || (word >= 25000 && word < 37000);
      case 'c':
        if (word < 37000) return false;
        pending_.push_back(word - 37000);  // inside the code: the relocation checked it
        return true;
      case 'l': case 'f': case 's':
        return Classify(word, &slot) && slot.type == TypeOfLetter(kind) && (slot.group != 1 || SetRole(word, Role::kPlain));
      case 'L': case 'F': case 'S':
        return Classify(word, &slot) && slot.type == TypeOfLetter(kind) && slot.group != 2 &&
               (slot.group != 1 || SetRole(word, Role::kPlain));
      case 'X':
        return Classify(word, &slot) && slot.group != 2 && (slot.group != 1 || SetRole(word, Role::kPlain));
      case 'E':
        return Classify(word, &slot) && slot.group == 0;
      case 'a':
        return Classify(word, &slot) && slot.group == 1 && SetRole(word, Role::kArray);
      case 'A': case 'B': case 'C':  // a whole array: the temporary of the access just before
        return Classify(word, &slot) && slot.group == 0 && slot.type == (kind == 'A' ? 0 : kind == 'B' ? 1 : 2);
      default:
        return false;
    }
  }

  // A FUNCTION call: entry, result, count (an integer constant), then count arguments, each
  // of its parameter's kind. The entry holds the parameter variables and the function's id
  // word; the function's code follows them. Returns the command's length, or 0 when refused.
  int32_t CheckCall(int32_t at) {
    const int32_t end = program_.codeWords;
    if (end - at < 4) return Fail(at, "FUNCTION call runs past the end of the code"), 0;
    for (int32_t i = 1; i <= 3; ++i)
      if (!Claim(at + i, kOperandWord)) return Fail(at + i, "operand overlaps another command"), 0;
    const int32_t entryWord = words_[static_cast<size_t>(at + 1)];
    SlotKind count{};
    if (entryWord < 37000) return Fail(at + 1, "FUNCTION call without a code entry"), 0;
    if (!OperandFits('X', words_[static_cast<size_t>(at + 2)])) return Fail(at + 2, "bad FUNCTION result slot"), 0;
    const int32_t countWord = words_[static_cast<size_t>(at + 3)];
    if (!Classify(countWord, &count) || count.type != 0 || count.group != 2)
      return Fail(at + 3, "FUNCTION argument count is not an integer constant"), 0;
    const int32_t n = VariableTable[countWord - 10000].asInt;
    const int32_t entry = entryWord - 37000;
    if (n < 0 || n > end - at - 4 || n >= end - entry) return Fail(at + 3, "bad FUNCTION argument count"), 0;
    for (int32_t k = 0; k < n; ++k) {
      SlotKind parameter{};
      const int32_t parameterWord = words_[static_cast<size_t>(entry + k)];
      if (!Claim(entry + k, kParameterWord)) return Fail(entry + k, "parameter list overlaps a command"), 0;
      if (!Classify(parameterWord, &parameter) || parameter.group != 1 || !SetRole(parameterWord, Role::kPlain))
        return Fail(entry + k, "FUNCTION parameter is not a plain variable"), 0;
      if (!Claim(at + 4 + k, kOperandWord)) return Fail(at + 4 + k, "operand overlaps another command"), 0;
      if (!OperandFits("lfs"[parameter.type], words_[static_cast<size_t>(at + 4 + k)]))
        return Fail(at + 4 + k, "FUNCTION argument of the wrong kind"), 0;
    }
    if (!Claim(entry + n, kParameterWord)) return Fail(entry + n, "FUNCTION id word overlaps a command"), 0;
    pending_.push_back(entry + n + 1);
    calls_.push_back({at, entry, n});
    return 4 + n;
  }

  // Decodes commands from a position until the path ends or meets a decoded command.
  bool FollowPath(int32_t at) {
    while (true) {
      if (at == program_.codeWords) return true;  // the closing word's place after the code
      if (marks_[static_cast<size_t>(at)] == kCommandWord) return true;
      if (!Claim(at, kCommandWord)) return Fail(at, "a jump or a command's end lands inside another command");
      const int32_t number = words_[static_cast<size_t>(at)];
      CommandHandler handler = HandlerForCommand(number);
      if (handler == nullptr) {  // the closing word 0, or a number nothing handles: the run ends
        program_.code[static_cast<size_t>(at)] = CellOf(CmdQuitAtUnknownCommand);
        return true;
      }
      int32_t length = 0;
      if (number == kCallFunction) {
        length = CheckCall(at);
        if (length == 0) return false;
      } else {
        const char* kinds = CommandOperandKinds(number);
        if (kinds == nullptr) return Fail(at, "command " + std::to_string(number) + " has no known operands");
        const int32_t count = static_cast<int32_t>(std::strlen(kinds));
        if (count > program_.codeWords - at - 1)
          return Fail(at, "command " + std::to_string(number) + " runs past the end of the code");
        for (int32_t i = 0; i < count; ++i) {
          const int32_t o = at + 1 + i;
          if (!Claim(o, kOperandWord)) return Fail(o, "operand overlaps another command");
          if (!OperandFits(kinds[i], words_[static_cast<size_t>(o)]))
            return Fail(o, "operand " + std::to_string(i) + " of command " + std::to_string(number) +
                               " is not what the command takes (" + kinds[i] + ")");
        }
        length = 1 + count;
        // A whole-array command reads its array from the element access just before it
        // (three words before its first operand), whose temporary it takes as its operand.
        if (const char* whole = std::strpbrk(kinds, "ABC")) {
          SlotKind slot{};
          const int32_t o = at + 1 + static_cast<int32_t>(whole - kinds);
          if (at < 4 || words_[static_cast<size_t>(at - 4)] != kArrayElement1 ||
              words_[static_cast<size_t>(at - 3)] != words_[static_cast<size_t>(o)] ||
              !Classify(words_[static_cast<size_t>(at - 2)], &slot) || slot.group != 1)
            return Fail(at, "a whole-array command without its array access before it");
        }
        // An array element goes into a temporary of the array's own kind.
        SlotKind temporary{}, array{};
        if (kinds[0] == 'E' && kinds[1] == 'a' && Classify(words_[static_cast<size_t>(at + 1)], &temporary) &&
            Classify(words_[static_cast<size_t>(at + 2)], &array) && temporary.type != array.type)
          return Fail(at + 1, "array element into a temporary of another kind");
      }
      program_.code[static_cast<size_t>(at)] = CellOf(handler);
      if (CommandEndsPath(number)) return true;
      at += length;
    }
  }

  LoadedProgram& program_;
  const std::vector<int32_t>& words_;
  std::string* whyNot_;
  std::vector<uint8_t> marks_;
  std::vector<int32_t> pending_;
  std::vector<CallSite> calls_;
  Role roles_[kFirstIntConst - kFirstIntVar] = {};
};

// Fuses pairs the loops spend their time in. The second command keeps its own handler, so a
// jump straight to it still works, and the debug trace runs the plain handlers.
void FuseHotPairs(LoadedProgram& program, const CodeChecker& checker) {
  const std::vector<int32_t>& words = program.words;
  std::vector<uint8_t> fusedTest(static_cast<size_t>(program.codeWords), 0);
  for (int32_t at = 0; at < program.codeWords; ++at) {
    const size_t a = static_cast<size_t>(at);
    const int32_t number = words[a];
    CommandHandler fused = checker.IsCommandAt(at) ? FusedCompareJumpHandler(number) : nullptr;
    if (fused == nullptr || HandlerForCommand(number) == nullptr || !checker.IsCommandAt(at + 4)) continue;
    const int32_t next = words[a + 4];
    if (IsJumpIfZero(next) && HandlerForCommand(next) != nullptr && words[a + 5] == words[a + 1]) {
      program.code[a] = CellOf(fused);  // IF, WHILE, UNTIL: the test jumps on its own result
      fusedTest[a] = 1;
    }
  }
  for (int32_t at = 0; at < program.codeWords; ++at) {
    const size_t a = static_cast<size_t>(at);
    if (!checker.IsCommandAt(at) || !IsJump(words[a]) || HandlerForCommand(words[a]) == nullptr) continue;
    const int32_t target = words[a + 1] - 37000;
    if (!checker.IsCommandAt(target)) continue;  // the place after the code
    if (words[static_cast<size_t>(target)] == kForStep && HandlerForCommand(kForStep) != nullptr)
      program.code[a] = CellOf(CmdJumpToForStep);  // NEXT: the jump back runs the step itself
    else if (fusedTest[static_cast<size_t>(target)] != 0)
      program.code[a] = CellOf(CmdJumpThenRunTarget);  // ENDWHILE: the jump back runs the test
  }
}

// A division or MOD by a constant other than zero (and not "not a number") cannot warn:
// it takes its fast form. Constants never change while the program runs.
void UseConstantDivisors(LoadedProgram& program, const CodeChecker& checker) {
  for (int32_t at = 0; at < program.codeWords; ++at) {
    const int32_t number = program.words[static_cast<size_t>(at)];
    CommandHandler fast = checker.IsCommandAt(at) ? ConstantDivisorHandler(number) : nullptr;
    if (fast == nullptr) continue;
    SlotKind divisor{};
    const int32_t word = program.words[static_cast<size_t>(at + 3)];
    if (!Classify(word, &divisor) || divisor.group != 2) continue;
    const VariableSlot& value = VariableTable[word - 10000];
    const bool nonzero = divisor.type == 0 ? value.asInt != 0 : value.asFloat != 0.0f && value.asFloat == value.asFloat;
    if (nonzero) program.code[static_cast<size_t>(at)] = CellOf(fast);
  }
}

// Pairs an arithmetic command or assignment with the command after it where the pair has a
// fast form of its own (see PairedHandler), after the compare and jump fusion.
void FuseCommandPairs(LoadedProgram& program, const CodeChecker& checker) {
  for (int32_t at = 0; at < program.codeWords; ++at) {
    if (!checker.IsCommandAt(at)) continue;
    const char* kinds = CommandOperandKinds(program.words[static_cast<size_t>(at)]);
    if (kinds == nullptr) continue;  // no signature: nothing to pair
    const int32_t next = at + 1 + static_cast<int32_t>(std::strlen(kinds));
    if (!checker.IsCommandAt(next)) continue;
    CodeCell& first = program.code[static_cast<size_t>(at)];
    const CodeCell second = program.code[static_cast<size_t>(next)];
    if (CommandHandler pair = PairedHandler(reinterpret_cast<CommandHandler>(first), reinterpret_cast<CommandHandler>(second))) {
      first = CellOf(pair);
      at = next;  // the second runs in the pair
    }
  }
}

// Finds where the element address an element read keeps for its temporary may be used: a
// store, READ, INPUT, file read or whole-array command takes it through the temporary, named as
// an operand it writes (a plain result, see CommandOnlyWritesOperand0, and the FOR step's
// counter are no such use). The address may be used when some path on from the read reaches
// such a command before an element read into the same temporary replaces it. Calls, returns, GOSUB
// and RETURN lead on to code elsewhere, so the address counts as used there, and past
// kMostSteps commands; END and a word without a handler end the run.
class ElementAddressUse {
 public:
  ElementAddressUse(const LoadedProgram& program, const CodeChecker& checker)
      : program_(program), checker_(checker), seen_(static_cast<size_t>(program.codeWords), -1) {}

  bool MayBeUsed(int32_t read) {
    const std::vector<int32_t>& words = program_.words;
    const int32_t temporary = words[static_cast<size_t>(read + 1)];
    pending_.assign(1, read + 4);
    int32_t steps = 0;
    while (!pending_.empty()) {
      const int32_t at = pending_.back();
      pending_.pop_back();
      if (at >= program_.codeWords || seen_[static_cast<size_t>(at)] == read) continue;
      seen_[static_cast<size_t>(at)] = read;
      if (++steps > kMostSteps || !checker_.IsCommandAt(at)) return true;
      const int32_t number = words[static_cast<size_t>(at)];
      if (HandlerForCommand(number) == nullptr || number == kEnd) continue;
      if (number == kCallFunction || number == kGosub || number == kReturn || IsFunctionReturn(number)) return true;
      const char*& kinds = kinds_[static_cast<size_t>(number)];  // kept: the searches ask often
      if (kinds == nullptr) kinds = CommandOperandKinds(number);
      const int32_t count = static_cast<int32_t>(std::strlen(kinds));
      if (number >= kArrayElement1 && number <= kArrayElement5 && words[static_cast<size_t>(at + 1)] == temporary)
        continue;  // replaced (its indices are read as numbers)
      for (int32_t i = 0; i < count; ++i) {
        const int32_t word = words[static_cast<size_t>(at + 1 + i)];
        if (kinds[i] == 'c') pending_.push_back(word - 37000);
        else if (word == temporary && std::isupper(static_cast<unsigned char>(kinds[i])) &&
                 !(i == 0 && (CommandOnlyWritesOperand0(number) || number == kForStep)))
          return true;
      }
      if (!CommandEndsPath(number)) pending_.push_back(at + 1 + count);
    }
    return false;
  }

 private:
  static constexpr int32_t kMostSteps = 64;
  const LoadedProgram& program_;
  const CodeChecker& checker_;
  std::vector<int32_t> seen_;  // per code word: the read whose search passed it last
  std::vector<int32_t> pending_;
  std::vector<const char*> kinds_ = std::vector<const char*>(kCommandTableSize, nullptr);
};

// One-index element reads of integer and float arrays take their fast forms, without keeping
// the element's address where nothing can use it (text arrays keep the plain command).
void UseNumberElementReads(LoadedProgram& program, const CodeChecker& checker) {
  const CommandHandler keeping = NumberElementReadHandler(true), dropping = NumberElementReadHandler(false);
  if (keeping == nullptr || dropping == nullptr) return;
  ElementAddressUse use(program, checker);
  for (int32_t at = 0; at < program.codeWords; ++at) {
    if (!checker.IsCommandAt(at) || program.words[static_cast<size_t>(at)] != kArrayElement1) continue;
    SlotKind array{};
    if (!Classify(program.words[static_cast<size_t>(at + 2)], &array) || array.type == 2) continue;
    program.code[static_cast<size_t>(at)] = CellOf(use.MayBeUsed(at) ? keeping : dropping);
  }
}

// Puts the fast form's number in place of the handler of each command that has one.
void UseFastForms(LoadedProgram& program, const CodeChecker& checker) {
  for (int32_t at = 0; at < program.codeWords; ++at) {
    if (!checker.IsCommandAt(at)) continue;
    CodeCell& cell = program.code[static_cast<size_t>(at)];
    if (const uintptr_t number = FastFormNumber(reinterpret_cast<CommandHandler>(cell))) cell = static_cast<CodeCell>(number);
  }
}

}  // namespace

// A FUNCTION's return goes back to its call; only without a call does it go on, and then it
// checks the next word itself (the word after a FUNCTION's last return may be the next
// function's parameter list).
bool CommandEndsPath(int32_t number) {
  return IsJump(number) || number == kJumpSecond || number == kEnd || IsFunctionReturn(number);
}

// Lives for the process: the tests turn the fusion and fast forms off to compare with the plain
// commands run one by one.
static bool gFuseCommands = true;
void SetCommandFusionForTests(bool on) { gFuseCommands = on; }

bool PrepareCode(LoadedProgram& program, std::string* whyNot) {
  CodeChecker checker(program, whyNot);
  if (!checker.Run()) return false;
  if (gFuseCommands) {
    FuseHotPairs(program, checker);
    UseConstantDivisors(program, checker);
    FuseCommandPairs(program, checker);
    UseNumberElementReads(program, checker);
    UseFastForms(program, checker);
  }
  program.commandStarts.assign(static_cast<size_t>(program.codeWords) + 1, 0);
  for (int32_t at = 0; at < program.codeWords; ++at)
    program.commandStarts[static_cast<size_t>(at)] = checker.IsCommandAt(at) ? 1 : 0;
  program.commandStarts[static_cast<size_t>(program.codeWords)] = 1;  // the closing word's place
  program.code[static_cast<size_t>(program.codeWords)] = CellOf(CmdQuitAtUnknownCommand);
  BuildFunctionFrames(program, checker.Calls(), checker.Roles());
  return true;
}
