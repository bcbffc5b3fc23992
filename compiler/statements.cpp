// The statement translator: turns one lower-cased source line into code words, pairing
// block keywords (IF/ELSE/ENDIF, loops, SELECT/CASE, FUNCTION) through the block stack.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "compiler/compiler_local.h"

static bool TranslateBody(CompilerObject& c, std::string_view text);

static uint32_t CodeAddress(uint32_t position) { return position + kIdCode; }

// Emits a jump with an unknown target and returns the position of its target word.
static uint32_t EmitForwardJump(CompilerObject& c, int32_t command, int32_t condition = 0) {
  if (command == kCmdJumpIfZero) EmitInstruction(c, command, {condition, 0});
  else EmitInstruction(c, command, {0});
  return c.codeCount - 1;
}

static void PatchHere(CompilerObject& c, int32_t position) {
  if (position >= 0) PatchCodeWord(c, static_cast<uint32_t>(position), CodeAddress(c.codeCount));
}

static BlockRecord MakeBlock(BlockKind kind) {
  BlockRecord block;
  block.kind = kind;
  return block;
}

static bool PushBlock(CompilerObject& c, BlockRecord block) {
  if (c.blocks.size() >= kMaxBlockDepth) return Fail(c, 16, "blocks nested too deeply");
  block.line = c.currentLine;
  c.blocks.push_back(std::move(block));
  return true;
}

static BlockRecord* Innermost(CompilerObject& c) { return c.blocks.empty() ? nullptr : &c.blocks.back(); }

static void CloseBlock(CompilerObject& c) {
  BlockRecord& block = c.blocks.back();
  for (uint32_t jump : block.exitJumps) PatchCodeWord(c, jump, CodeAddress(c.codeCount));
  c.blocks.pop_back();
}

static const char* ClosingKeyword(BlockKind kind) {
  switch (kind) {
    case BlockKind::If:
    case BlockKind::Else: return "ENDIF";
    case BlockKind::Do: return "LOOP";
    case BlockKind::For: return "NEXT";
    case BlockKind::While: return "ENDWHILE";
    case BlockKind::Repeat: return "UNTIL";
    case BlockKind::Select: return "ENDSELECT";
    case BlockKind::Case: return "ENDCASE";
    case BlockKind::Function: return "ENDFUNCTION";
  }
  return "";
}

// A closing keyword must close the innermost open block.
static BlockRecord* ExpectBlock(CompilerObject& c, std::initializer_list<BlockKind> kinds, const char* keyword) {
  BlockRecord* block = Innermost(c);
  if (block)
    for (BlockKind kind : kinds)
      if (block->kind == kind) return block;
  std::string detail = std::string(keyword);
  if (block) detail += std::string(" where ") + ClosingKeyword(block->kind) + " is expected";
  Fail(c, 19, detail);
  return nullptr;
}

static bool ExpectEnd(CompilerObject& c, StatementCursor& cur) {
  if (AtStatementEnd(cur)) return true;
  return Fail(c, 7, cur.text.substr(cur.pos));
}

static bool CompileNumber(CompilerObject& c, StatementCursor& cur, ExprValue& value, char type) {
  return CompileExpression(c, cur, value) && ConvertValue(c, value, type);
}

// Finds " then"/" else" style words outside quotes at the top level; npos when absent.
static size_t FindWordOutsideQuotes(std::string_view text, std::string_view word, size_t from) {
  bool quoted = false;
  for (size_t i = from; i + word.size() <= text.size(); i++) {
    if (text[i] == '"') quoted = !quoted;
    if (quoted || text.substr(i, word.size()) != word) continue;
    bool startOk = i == 0 || !(std::isalnum(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '_' || text[i - 1] == '$' || text[i - 1] == '#');
    size_t end = i + word.size();
    bool endOk = end >= text.size() || !(std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_');
    if (startOk && endOk) return i;
  }
  return std::string_view::npos;
}

static size_t FindCharOutsideQuotes(std::string_view text, char wanted, size_t from) {
  bool quoted = false;
  for (size_t i = from; i < text.size(); i++) {
    if (text[i] == '"') quoted = !quoted;
    else if (text[i] == wanted && !quoted) return i;
  }
  return std::string_view::npos;
}

static bool TranslateIf(CompilerObject& c, StatementCursor& cur) {
  ExprValue condition;
  if (!CompileNumber(c, cur, condition, 'l')) return false;
  bool hasThen = TakeWord(cur, "then");
  if (AtStatementEnd(cur)) {  // block IF
    BlockRecord block = MakeBlock(BlockKind::If);
    block.pendingJump = static_cast<int32_t>(EmitForwardJump(c, kCmdJumpIfZero, condition.id));
    return PushBlock(c, std::move(block));
  }
  if (!hasThen) return Fail(c, 7, "missing THEN");
  std::string_view rest = cur.text.substr(cur.pos);
  size_t elseAt = FindWordOutsideQuotes(rest, "else", 0);
  std::string_view thenPart = rest.substr(0, elseAt);
  uint32_t skip = EmitForwardJump(c, kCmdJumpIfZero, condition.id);
  size_t depth = c.blocks.size();
  if (!TranslateBody(c, thenPart)) return false;
  if (elseAt != std::string_view::npos) {
    uint32_t over = EmitForwardJump(c, kCmdBlockJump);
    PatchHere(c, static_cast<int32_t>(skip));
    if (!TranslateBody(c, rest.substr(elseAt + 4))) return false;
    PatchHere(c, static_cast<int32_t>(over));
  } else {
    PatchHere(c, static_cast<int32_t>(skip));
  }
  if (c.blocks.size() != depth) return Fail(c, 7, "a one-line IF cannot open or close a block");
  return true;
}

static bool TranslateFor(CompilerObject& c, StatementCursor& cur) {
  std::string name = TakeName(cur);
  if (name.empty() || NameType(name) != 'l' || IsReservedWord(name)) return Fail(c, 38, name);
  int32_t counter = FindVariable(c, 'l', name, 0);
  if (counter < 0) return false;
  if (!TakeChar(cur, '=')) return Fail(c, 7, "missing =");
  ExprValue start;
  if (!CompileExpression(c, cur, start, counter) || !ConvertValue(c, start, 'l')) return false;
  if (start.id != counter) EmitInstruction(c, kCmdAssignInt, {counter, start.id});
  if (!TakeWord(cur, "to")) return Fail(c, 7, "missing TO");
  // Limit and step are taken once, into hidden locals unless they are constants.
  int loop = c.hiddenCounter++;
  ExprValue limit, step;
  if (!CompileNumber(c, cur, limit, 'l')) return false;
  if (limit.id < kIdIntConst || limit.id >= kIdFloatConst) {
    int32_t hidden = FindVariable(c, 'l', "~limit" + std::to_string(loop), 0);
    if (hidden < 0) return false;
    EmitInstruction(c, kCmdAssignInt, {hidden, limit.id});
    limit.id = hidden;
  }
  if (TakeWord(cur, "step")) {
    if (!CompileNumber(c, cur, step, 'l')) return false;
    if (step.id < kIdIntConst || step.id >= kIdFloatConst) {
      int32_t hidden = FindVariable(c, 'l', "~step" + std::to_string(loop), 0);
      if (hidden < 0) return false;
      EmitInstruction(c, kCmdAssignInt, {hidden, step.id});
      step.id = hidden;
    }
  } else {
    step.id = IntConstant(c, 1);
    if (step.id < 0) return false;
  }
  if (!ExpectEnd(c, cur)) return false;
  // The loop command adds the step before it tests, so the counter starts one step early.
  EmitInstruction(c, kSubtractII, {counter, counter, step.id});
  BlockRecord block = MakeBlock(BlockKind::For);
  block.start = c.codeCount;
  EmitInstruction(c, kCmdForStep, {counter, limit.id, step.id, 0});
  block.pendingJump = static_cast<int32_t>(c.codeCount - 1);
  block.name = name;
  return PushBlock(c, std::move(block));
}

static bool TranslateExit(CompilerObject& c) {
  for (size_t i = c.blocks.size(); i-- > 0;) {
    BlockKind kind = c.blocks[i].kind;
    if (kind == BlockKind::If || kind == BlockKind::Else || kind == BlockKind::Select || kind == BlockKind::Case)
      continue;
    if (kind == BlockKind::Function) break;
    c.blocks[i].exitJumps.push_back(EmitForwardJump(c, kCmdBlockJump));
    return true;
  }
  return Fail(c, 20);
}

// EXITFUNCTION and ENDFUNCTION: the value, converted to the function's result type.
static bool EmitFunctionReturn(CompilerObject& c, StatementCursor& cur, int32_t base) {
  const FunctionEntry& function = c.functionTable[c.currentFunction];
  int32_t dummy = kIdIntTemp;
  if (AtStatementEnd(cur)) {
    if (function.resultType == 's') {
      int32_t empty = StringConstant(c, "");
      if (empty < 0) return false;
      EmitInstruction(c, base + 3, {empty});
    } else {
      EmitInstruction(c, base, {dummy, dummy, dummy});
    }
    return true;
  }
  ExprValue value;
  if (!CompileExpression(c, cur, value) || !ExpectEnd(c, cur)) return false;
  char type = function.resultType ? function.resultType : value.type;
  if (!ConvertValue(c, value, type)) return false;
  EmitInstruction(c, base + (type == 'l' ? 1 : type == 'f' ? 2 : 3), {value.id});
  return true;
}

static bool TranslateFunction(CompilerObject& c, StatementCursor& cur) {
  if (c.currentFunction != 0 || !c.blocks.empty()) return Fail(c, 23);
  std::string name = TakeName(cur);
  int index = FindFunction(c, name);
  if (index <= 0) return Fail(c, 7, "bad FUNCTION line");
  FunctionEntry& function = c.functionTable[index];
  if (function.entry >= 0) return Fail(c, 25, name);
  BlockRecord block = MakeBlock(BlockKind::Function);
  block.pendingJump = static_cast<int32_t>(EmitForwardJump(c, kCmdJump));  // main code skips the body
  function.entry = static_cast<int32_t>(c.codeCount);
  c.currentFunction = static_cast<uint16_t>(index);
  std::vector<std::string> params = function.params;
  for (const std::string& param : params) {
    int32_t id = FindVariable(c, NameType(param), param, 0);
    if (id < 0) return false;
    EmitCodeWord(c, static_cast<uint32_t>(id));
  }
  EmitCodeWord(c, static_cast<uint32_t>(index));  // the callee's function id
  return PushBlock(c, std::move(block));
}

static bool TranslateDim(CompilerObject& c, StatementCursor& cur) {
  do {
    std::string name = TakeName(cur);
    if (name.empty() || IsReservedWord(name)) return Fail(c, 7, "missing array name");
    if (!TakeChar(cur, '(')) return Fail(c, 7, "missing (");
    std::vector<int32_t> sizes;
    if (!TakeChar(cur, ')')) {
      do {
        ExprValue size;
        if (!CompileNumber(c, cur, size, 'l')) return false;
        sizes.push_back(size.id);
      } while (TakeChar(cur, ','));
      if (!TakeChar(cur, ')')) return Fail(c, 7, "missing )");
    }
    if (sizes.empty() || sizes.size() > 5) return Fail(c, 40, name);
    char type = NameType(name);
    int32_t array = 0;
    for (int32_t at : VariablesNamed(c, type, name)) {
      const VariableEntry& entry = c.variables[type == 'f' ? 1 : type == 's' ? 2 : 0][static_cast<size_t>(at)];
      if (entry.kind == 1 && entry.owner == c.currentFunction) array = entry.id;
    }
    if (!array) array = DeclareVariable(c, type, name, 1);
    if (array < 0) return false;
    VariableEntry* entry = VariableById(c, array);
    if (entry->dims && entry->dims != static_cast<int32_t>(sizes.size())) return Fail(c, 21, name);
    entry->dims = static_cast<int32_t>(sizes.size());
    sizes.insert(sizes.begin(), array);
    EmitInstruction(c, kCmdDimArray + static_cast<int32_t>(sizes.size() - 1), sizes);
  } while (TakeChar(cur, ','));
  return ExpectEnd(c, cur);
}

static bool TranslateUndim(CompilerObject& c, StatementCursor& cur) {
  std::string name = TakeName(cur);
  int32_t array = name.empty() ? 0 : FindVariable(c, NameType(name), name, 1);
  if (array <= 0) return Fail(c, 22, name);
  if (TakeChar(cur, '(') && !TakeChar(cur, ')')) return Fail(c, 7, "missing )");
  EmitInstruction(c, kCmdUndimArray, {array});
  return ExpectEnd(c, cur);
}

static bool TranslateData(CompilerObject& c, StatementCursor& cur) {
  do {
    SkipBlanks(cur);
    DataItem item;
    bool negative = TakeChar(cur, '-');
    SkipBlanks(cur);
    size_t start = cur.pos;
    std::string_view text = cur.text;
    if (!negative && start < text.size() && text[start] == '"') {
      size_t end = text.find('"', start + 1);
      if (end == std::string_view::npos) return Fail(c, 7, "missing closing quote");
      item.type = 's';
      item.text = std::string(text.substr(start + 1, end - start - 1));
      cur.pos = end + 1;
    } else {
      size_t end = start;
      while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '.')) end++;
      std::string number(text.substr(start, end - start));
      if (number.empty() || number == ".") return Fail(c, 7, "DATA holds numbers and quoted strings");
      if (number.find('.') != std::string::npos) {
        float value = std::strtof(number.c_str(), nullptr);
        if (negative) value = -value;
        item.type = 'f';
        std::memcpy(&item.value, &value, 4);
      } else {
        long long value = std::strtoll(number.c_str(), nullptr, 10);
        if (negative) value = -value;
        if (number.size() > 11 || value > INT32_MAX || value < INT32_MIN) return Fail(c, 39, number);
        item.type = 'l';
        item.value = static_cast<uint32_t>(static_cast<int32_t>(value));
      }
      cur.pos = end;
    }
    if (c.data.size() >= kMaxDataItems) return Fail(c, 15);
    c.data.push_back(std::move(item));
  } while (TakeChar(cur, ','));
  return ExpectEnd(c, cur);
}

static bool TranslateRead(CompilerObject& c, StatementCursor& cur) {
  do {
    ExprValue target;
    if (!CompileTarget(c, cur, target)) return false;
    EmitInstruction(c, kCmdReadInt + (target.type == 'l' ? 0 : target.type == 'f' ? 1 : 2), {target.id});
  } while (TakeChar(cur, ','));
  return ExpectEnd(c, cur);
}

static bool TranslateJumpToLabel(CompilerObject& c, StatementCursor& cur, int32_t command, uint8_t kind) {
  std::string name = TakeName(cur);
  if (name.empty()) return Fail(c, 7, "missing label");
  EmitInstruction(c, command, {0});
  ReferenceLabel(c, name, kind);
  return ExpectEnd(c, cur);
}

static bool TranslateSelect(CompilerObject& c, StatementCursor& cur) {
  ExprValue value;
  if (!CompileExpression(c, cur, value) || !ExpectEnd(c, cur)) return false;
  // The selector is kept in a hidden variable of the nesting depth, so a nested SELECT
  // does not overwrite it.
  int depth = 0;
  for (const BlockRecord& block : c.blocks) depth += block.kind == BlockKind::Select;
  int32_t selector = FindVariable(c, value.type, "~select" + std::to_string(depth) + (value.type == 'l' ? "" : value.type == 'f' ? "#" : "$"), 0);
  if (selector < 0) return false;
  EmitInstruction(c, AssignCommand(value.type), {selector, value.id});
  BlockRecord block = MakeBlock(BlockKind::Select);
  block.counter = selector;
  block.selectorType = value.type;
  return PushBlock(c, std::move(block));
}

static bool TranslateCase(CompilerObject& c, StatementCursor& cur) {
  BlockRecord* select = ExpectBlock(c, {BlockKind::Select}, "CASE");
  if (!select) return false;
  int32_t selector = select->counter;
  char selectorType = select->selectorType;
  BlockRecord block = MakeBlock(BlockKind::Case);
  if (TakeWord(cur, "default")) {
    if (!ExpectEnd(c, cur)) return false;
    return PushBlock(c, std::move(block));
  }
  int32_t matched = 0;
  do {
    ExprValue value;
    if (!CompileExpression(c, cur, value)) return false;
    if ((value.type == 's') != (selectorType == 's')) return Fail(c, 8);
    int32_t test = NewTemporary(c, 'l');
    if (test < 0) return false;
    EmitInstruction(c, EqualityCommand(selectorType, value.type), {test, selector, value.id});
    if (matched) EmitInstruction(c, kBitOr, {test, test, matched});
    matched = test;
  } while (TakeChar(cur, ','));
  if (!ExpectEnd(c, cur)) return false;
  block.pendingJump = static_cast<int32_t>(EmitForwardJump(c, kCmdJumpIfZero, matched));
  return PushBlock(c, std::move(block));
}

// PRINT items separated by ";" (printed one after the other) or "," (the next item starts
// at the next print zone); a separator at the end keeps the line open.
static bool TranslatePrint(CompilerObject& c, StatementCursor& cur) {
  for (;;) {
    if (AtStatementEnd(cur)) break;
    if (TakeChar(cur, ',')) {  // also a leading or doubled ","
      EmitInstruction(c, kCmdPrintNextZone, {});
      if (AtStatementEnd(cur)) return true;
      continue;
    }
    ExprValue value;
    if (!CompileExpression(c, cur, value)) return false;
    int32_t command = value.type == 'l' ? kCmdPrintInt : value.type == 'f' ? kCmdPrintFloat : kCmdPrintText;
    EmitInstruction(c, command, {value.id});
    if (TakeChar(cur, ';')) {
      if (AtStatementEnd(cur)) return true;
      continue;
    }
    SkipBlanks(cur);
    if (cur.pos < cur.text.size() && cur.text[cur.pos] == ',') continue;  // taken at the top
    if (!AtStatementEnd(cur)) return Fail(c, 7, cur.text.substr(cur.pos));
  }
  EmitInstruction(c, kCmdPrintLineEnd, {});
  return true;
}

static bool TranslateInput(CompilerObject& c, StatementCursor& cur) {
  SkipBlanks(cur);
  int32_t prompt;
  if (cur.pos < cur.text.size() && cur.text[cur.pos] == '"') {
    ExprValue value;
    if (!CompileExpression(c, cur, value)) return false;
    if (value.type != 's') return Fail(c, 8);
    if (!TakeChar(cur, ';') && !TakeChar(cur, ',')) return Fail(c, 7, "missing ; after the prompt");
    prompt = value.id;
  } else {
    prompt = StringConstant(c, "");
    if (prompt < 0) return false;
  }
  ExprValue target;
  if (!CompileTarget(c, cur, target)) return false;
  int32_t command = target.type == 'l' ? kCmdInputInt : target.type == 'f' ? kCmdInputFloat : kCmdInputText;
  EmitInstruction(c, command, {prompt, target.id});
  return ExpectEnd(c, cur);
}

static bool TranslateCommand(CompilerObject& c, StatementCursor& cur, const KeywordEntry& keyword) {
  // Step over the keyword as written (its blanks may be runs of blanks in the text).
  for (size_t n = 0; n < keyword.name.size(); n++) {
    if (keyword.name[n] == ' ') SkipBlanks(cur);
    else cur.pos++;
  }
  const KeywordEntry* chosen = nullptr;
  std::vector<int32_t> args;
  if (!CompileKeywordArguments(c, cur, keyword.name, false, false, &chosen, args)) return false;
  if (!ExpectEnd(c, cur)) return false;
  if (chosen->number == 0) return Fail(c, 6, keyword.name);
  EmitInstruction(c, chosen->number, args);
  return true;
}

// A label is a plain name that is no statement word or command ("print:" is not a label).
static bool IsLabelName(const CompilerObject& c, std::string_view name) {
  static const char* const kStatementWords[] = {
      "if", "else", "endif", "do", "loop", "exit", "for", "next", "while", "endwhile", "repeat",
      "until", "goto", "gosub", "return", "function", "exitfunction", "endfunction", "end",
      "dim", "undim", "data", "read", "restore", "select", "case", "endcase", "endselect",
      "rem", "let", "print", "input"};
  if (name.back() == '$' || name.back() == '#' || IsReservedWord(name) || IsCommandName(c, name)) return false;
  for (const char* word : kStatementWords)
    if (name == word) return false;
  return true;
}

// Translates a statement without the per-line set-up (also the parts of a one-line IF).
static bool TranslateBody(CompilerObject& c, std::string_view text) {
  StatementCursor cur{text, 0};
  if (AtStatementEnd(cur)) return true;
  if (text.substr(cur.pos, 8) == "#include") return true;  // expanded before the scan
  if (TakeWord(cur, "rem")) return true;

  // "label:" (optionally followed by a statement)
  std::string first = PeekName(cur);
  if (!first.empty() && IsLabelName(c, first)) {
    StatementCursor after{text, cur.pos + first.size()};
    if (after.pos < text.size() && text[after.pos] == ':') {
      after.pos++;
      if (!DeclareLabel(c, first)) return false;
      return TranslateBody(c, text.substr(after.pos));
    }
  }

  // A one-line IF owns every statement after THEN, colons included.
  if (TakeWord(cur, "if")) return TranslateIf(c, cur);
  // Statements separated by ":" run one after the other.
  size_t colon = FindCharOutsideQuotes(text, ':', cur.pos);
  if (colon != std::string_view::npos)
    return TranslateBody(c, text.substr(0, colon)) && TranslateBody(c, text.substr(colon + 1));
  // A multi-word command ("sync on") wins over a statement word it starts with.
  if (const KeywordEntry* keyword = MatchCommandKeyword(c, text.substr(cur.pos));
      keyword && keyword->name.find(' ') != std::string::npos)
    return TranslateCommand(c, cur, *keyword);

  if (TakeWord(cur, "let")) return CompileAssignment(c, cur);
  if (TakeWord(cur, "else")) {
    BlockRecord* block = ExpectBlock(c, {BlockKind::If}, "ELSE");
    if (!block) return false;
    uint32_t over = EmitForwardJump(c, kCmdBlockJump);
    PatchHere(c, block->pendingJump);
    block->pendingJump = static_cast<int32_t>(over);
    block->kind = BlockKind::Else;
    return ExpectEnd(c, cur);
  }
  if (TakeWord(cur, "endif")) {
    BlockRecord* block = ExpectBlock(c, {BlockKind::If, BlockKind::Else}, "ENDIF");
    if (!block) return false;
    PatchHere(c, block->pendingJump);
    CloseBlock(c);
    return ExpectEnd(c, cur);
  }
  if (TakeWord(cur, "do")) {
    BlockRecord block = MakeBlock(BlockKind::Do);
    block.start = c.codeCount;
    return ExpectEnd(c, cur) && PushBlock(c, std::move(block));
  }
  if (TakeWord(cur, "loop")) {
    BlockRecord* block = ExpectBlock(c, {BlockKind::Do}, "LOOP");
    if (!block) return false;
    EmitInstruction(c, kCmdBlockJump, {static_cast<int32_t>(CodeAddress(block->start))});
    CloseBlock(c);
    return ExpectEnd(c, cur);
  }
  if (TakeWord(cur, "while")) {
    BlockRecord block = MakeBlock(BlockKind::While);
    block.start = c.codeCount;
    ExprValue condition;
    if (!CompileNumber(c, cur, condition, 'l') || !ExpectEnd(c, cur)) return false;
    block.pendingJump = static_cast<int32_t>(EmitForwardJump(c, kCmdJumpIfZero, condition.id));
    return PushBlock(c, std::move(block));
  }
  if (TakeWord(cur, "endwhile")) {
    BlockRecord* block = ExpectBlock(c, {BlockKind::While}, "ENDWHILE");
    if (!block) return false;
    EmitInstruction(c, kCmdBlockJump, {static_cast<int32_t>(CodeAddress(block->start))});
    PatchHere(c, block->pendingJump);
    CloseBlock(c);
    return ExpectEnd(c, cur);
  }
  if (TakeWord(cur, "repeat")) {
    BlockRecord block = MakeBlock(BlockKind::Repeat);
    block.start = c.codeCount;
    return ExpectEnd(c, cur) && PushBlock(c, std::move(block));
  }
  if (TakeWord(cur, "until")) {
    BlockRecord* block = ExpectBlock(c, {BlockKind::Repeat}, "UNTIL");
    if (!block) return false;
    uint32_t start = block->start;
    ExprValue condition;
    if (!CompileNumber(c, cur, condition, 'l') || !ExpectEnd(c, cur)) return false;
    EmitInstruction(c, kCmdJumpIfZero, {condition.id, static_cast<int32_t>(CodeAddress(start))});
    CloseBlock(c);
    return true;
  }
  if (TakeWord(cur, "for")) return TranslateFor(c, cur);
  if (TakeWord(cur, "next")) {
    BlockRecord* block = ExpectBlock(c, {BlockKind::For}, "NEXT");
    if (!block) return false;
    std::string name = TakeName(cur);
    if (!name.empty() && name != block->name) return Fail(c, 19, "NEXT " + name + " closes FOR " + block->name);
    EmitInstruction(c, kCmdBlockJump, {static_cast<int32_t>(CodeAddress(block->start))});
    PatchHere(c, block->pendingJump);
    CloseBlock(c);
    return ExpectEnd(c, cur);
  }
  if (TakeWord(cur, "exitfunction")) {
    if (c.currentFunction == 0) return Fail(c, 24, "EXITFUNCTION");
    return EmitFunctionReturn(c, cur, kCmdExitNothing);
  }
  if (TakeWord(cur, "exit")) return TranslateExit(c) && ExpectEnd(c, cur);
  if (TakeWord(cur, "endfunction")) {
    if (c.currentFunction == 0) return Fail(c, 24);
    if (!ExpectBlock(c, {BlockKind::Function}, "ENDFUNCTION")) return false;
    if (!EmitFunctionReturn(c, cur, kCmdReturnNothing)) return false;
    PatchHere(c, c.blocks.back().pendingJump);
    CloseBlock(c);
    c.currentFunction = 0;
    return true;
  }
  if (TakeWord(cur, "function")) return TranslateFunction(c, cur);
  if (TakeWord(cur, "goto")) return TranslateJumpToLabel(c, cur, kCmdJump, 1);
  if (TakeWord(cur, "gosub")) return TranslateJumpToLabel(c, cur, kCmdGosub, 1);
  if (TakeWord(cur, "return")) {
    EmitInstruction(c, kCmdReturn, {});
    return ExpectEnd(c, cur);
  }
  if (TakeWord(cur, "dim")) return TranslateDim(c, cur);
  if (TakeWord(cur, "undim")) return TranslateUndim(c, cur);
  if (TakeWord(cur, "data")) return TranslateData(c, cur);
  if (TakeWord(cur, "read")) return TranslateRead(c, cur);
  if (TakeWord(cur, "restore")) {
    if (AtStatementEnd(cur)) {
      EmitInstruction(c, kCmdRestore, {});
      return true;
    }
    return TranslateJumpToLabel(c, cur, kCmdRestoreAt, 0);
  }
  if (TakeWord(cur, "select")) return TranslateSelect(c, cur);
  if (TakeWord(cur, "case")) return TranslateCase(c, cur);
  if (TakeWord(cur, "endcase")) {
    if (!ExpectBlock(c, {BlockKind::Case}, "ENDCASE")) return false;
    int32_t next = c.blocks.back().pendingJump;
    uint32_t out = EmitForwardJump(c, kCmdBlockJump);
    PatchHere(c, next);
    CloseBlock(c);
    c.blocks.back().exitJumps.push_back(out);  // the SELECT patches it at ENDSELECT
    return ExpectEnd(c, cur);
  }
  if (TakeWord(cur, "endselect")) {
    if (!ExpectBlock(c, {BlockKind::Select}, "ENDSELECT")) return false;
    CloseBlock(c);
    return ExpectEnd(c, cur);
  }
  if (TakeWord(cur, "end")) {
    EmitInstruction(c, kCmdEnd, {});
    return ExpectEnd(c, cur);
  }
  if (TakeWord(cur, "print")) return TranslatePrint(c, cur);
  if (TakeWord(cur, "input")) return TranslateInput(c, cur);

  if (const KeywordEntry* keyword = MatchCommandKeyword(c, text.substr(cur.pos)))
    return TranslateCommand(c, cur, *keyword);

  std::string name = PeekName(cur);
  if (name.empty()) return Fail(c, 6, text.substr(cur.pos));
  StatementCursor probe{text, cur.pos + name.size()};
  if (TakeChar(probe, '(') && FindFunction(c, name) > 0) {
    bool array = false;
    char type = NameType(name);
    for (int32_t at : VariablesNamed(c, type, name))
      array |= c.variables[type == 'f' ? 1 : type == 's' ? 2 : 0][static_cast<size_t>(at)].kind == 1;
    if (!array) return CompileUserCallStatement(c, cur);
  }
  StatementCursor assign{text, cur.pos + name.size()};
  if (!TakeChar(assign, '=') && !TakeChar(assign, '(')) return Fail(c, 6, name);
  return CompileAssignment(c, cur);
}

// Cuts a "`" comment that starts outside quotes.
static std::string_view StripComment(std::string_view text) {
  bool quoted = false;
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] == '"') quoted = !quoted;
    else if (text[i] == '`' && !quoted) return text.substr(0, i);
  }
  return text;
}

bool TranslateStatement(CompilerObject& c, std::string_view statement) {
  for (int& counter : c.tempCounters) counter = 0;
  for (int& counter : c.spillCounters) counter = 0;
  std::string_view text = StripComment(statement);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return TranslateBody(c, text);
}

bool CloseOpenBlocks(CompilerObject& c) {
  if (c.blocks.empty()) return true;
  const BlockRecord& block = c.blocks.back();
  c.errorLine = block.line;
  c.errorText = CompilerText(50) + ": " + ClosingKeyword(block.kind);
  return false;
}
