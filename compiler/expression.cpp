// The expression compiler: parses an expression into a small tree, types it, and emits the
// operator, conversion, built-in and FUNCTION-call instructions that compute it.
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "compiler/compiler_local.h"

// ---- cursor helpers shared with the statement translator ----

static bool IsNameStart(char ch) { return std::isalpha(static_cast<unsigned char>(ch)) || ch == '_'; }
static bool IsNameChar(char ch) { return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_'; }

void SkipBlanks(StatementCursor& cur) {
  while (cur.pos < cur.text.size() && (cur.text[cur.pos] == ' ' || cur.text[cur.pos] == '\t'))
    cur.pos++;
}

bool AtStatementEnd(StatementCursor& cur) {
  SkipBlanks(cur);
  return cur.pos >= cur.text.size();
}

bool TakeChar(StatementCursor& cur, char ch) {
  SkipBlanks(cur);
  if (cur.pos < cur.text.size() && cur.text[cur.pos] == ch) {
    cur.pos++;
    return true;
  }
  return false;
}

bool TakeWord(StatementCursor& cur, std::string_view word) {
  SkipBlanks(cur);
  if (cur.pos >= cur.text.size() || word.empty() || cur.text[cur.pos] != word[0]) return false;  // most words differ here
  if (cur.text.substr(cur.pos, word.size()) != word) return false;
  size_t end = cur.pos + word.size();
  if (end < cur.text.size() && (IsNameChar(cur.text[end]) || cur.text[end] == '$' ||
                                cur.text[end] == '#'))
    return false;
  cur.pos = end;
  return true;
}

std::string PeekName(StatementCursor& cur) {
  SkipBlanks(cur);
  size_t p = cur.pos;
  if (p >= cur.text.size() || !IsNameStart(cur.text[p])) return {};
  while (p < cur.text.size() && IsNameChar(cur.text[p])) p++;
  if (p < cur.text.size() && (cur.text[p] == '$' || cur.text[p] == '#')) p++;
  return std::string(cur.text.substr(cur.pos, p - cur.pos));
}

std::string TakeName(StatementCursor& cur) {
  std::string name = PeekName(cur);
  cur.pos += name.size();
  return name;
}

char NameType(std::string_view name) {
  if (!name.empty() && name.back() == '$') return 's';
  if (!name.empty() && name.back() == '#') return 'f';
  return 'l';
}

bool IsReservedWord(std::string_view name) {
  static const char* const kWords[] = {"and", "or", "not", "mod", "then", "to", "step", "else"};
  for (const char* word : kWords)
    if (name == word) return true;
  return false;
}

int32_t AssignCommand(char type) {
  return type == 'f' ? kCmdAssignFloat : type == 's' ? kCmdAssignText : kCmdAssignInt;
}

// ---- the expression tree ----

enum class NodeKind : uint8_t { IntConst, FloatConst, TextConst, Variable, Element, WholeArray, Builtin, UserCall, Negate, Not, Binary };
enum class BinaryOp : uint8_t { Or, And, Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual, Add, Subtract, Multiply, Divide, Modulo, Power };

struct Node {
  NodeKind kind;
  char type = 'l';
  BinaryOp op = BinaryOp::Add;
  bool hasUserCall = false;
  int64_t intValue = 0;
  float floatValue = 0;
  std::string text;               // text constant, variable, array or function name
  const KeywordEntry* keyword = nullptr;  // built-in
  std::vector<int> kids;          // indices into the parser's node list
};

struct ExprParser {
  CompilerObject& c;
  StatementCursor& cur;
  bool typeOnly;  // the pre-pass: find the type, declare and emit nothing
  std::vector<Node> nodes;
  bool failed = false;
};

static int AddNode(ExprParser& p, Node node) {
  p.nodes.push_back(std::move(node));
  return static_cast<int>(p.nodes.size() - 1);
}

static int ParseFail(ExprParser& p, int textIndex, std::string_view detail = {}) {
  if (!p.failed && !p.typeOnly) Fail(p.c, textIndex, detail);
  p.failed = true;
  return -1;
}

static int ParseOr(ExprParser& p);

static bool IsNumeric(char type) { return type == 'l' || type == 'f'; }

// Command signature letters for places rather than values: L, F and S take a variable or an
// array element that the command stores into; A, B and C a whole integer, float or string
// array, written "name()".
static bool IsTargetLetter(char letter) { return letter == 'L' || letter == 'F' || letter == 'S'; }
static char WholeArrayLetter(char type) { return type == 'f' ? 'B' : type == 's' ? 'C' : 'A'; }

static int ParseArguments(ExprParser& p, std::vector<int>& kids) {
  // After "(": expressions separated by commas, up to ")".
  if (TakeChar(p.cur, ')')) return 0;
  for (;;) {
    int kid = ParseOr(p);
    if (kid < 0) return -1;
    kids.push_back(kid);
    if (TakeChar(p.cur, ',')) continue;
    if (TakeChar(p.cur, ')')) return 0;
    return ParseFail(p, 7, "missing )");
  }
}

// Picks the keyword entry of this name whose signature fits the argument types best:
// exact types first, then numbers converted between integer and float.
static const KeywordEntry* ChooseOverload(const CompilerObject& c, std::string_view name,
                                          bool isFunction, const std::string& argTypes,
                                          int* failIndex) {
  const std::vector<KeywordEntry>& table = isFunction ? c.functions : c.commands;
  const KeywordEntry* best = nullptr;
  int bestScore = 1 << 30;
  bool countFits = false;
  for (int32_t index = FirstKeywordEntryNamed(c, name, isFunction); index >= 0;
       index = NextKeywordEntry(c, index, isFunction)) {
    const KeywordEntry& entry = table[static_cast<size_t>(index)];
    std::string_view params = entry.signature;
    if (isFunction && !params.empty()) params.remove_prefix(1);
    if (params.size() != argTypes.size()) continue;
    countFits = true;
    int score = 0;
    for (size_t i = 0; i < params.size() && score < (1 << 30); i++) {
      char want = params[i], have = argTypes[i];
      if (want == have) continue;
      // L, F, S: a variable or array element of exactly that type receives a value.
      if (IsTargetLetter(want)) {
        if (have != want - 'A' + 'a') score = 1 << 30;
        continue;
      }
      if (IsNumeric(want) && IsNumeric(have)) score++;
      else score = 1 << 30;
    }
    if (score < bestScore) {
      best = &entry;
      bestScore = score;
    }
  }
  *failIndex = countFits ? 8 : 21;
  return best;
}

static bool HasArray(CompilerObject& c, std::string_view name) {
  char type = NameType(name);
  for (int32_t at : VariablesNamed(c, type, name)) {
    const VariableEntry& entry = c.variables[type == 'f' ? 1 : type == 's' ? 2 : 0][static_cast<size_t>(at)];
    if (entry.kind == 1 && (entry.owner == c.currentFunction || entry.owner == 0)) return true;
  }
  return false;
}

static int ParsePrimary(ExprParser& p) {
  StatementCursor& cur = p.cur;
  SkipBlanks(cur);
  if (cur.pos >= cur.text.size()) return ParseFail(p, 7, "missing value");
  char ch = cur.text[cur.pos];
  if (ch == '0' && cur.pos + 2 < cur.text.size() && cur.text[cur.pos + 1] == 'x' &&
      std::isxdigit(static_cast<unsigned char>(cur.text[cur.pos + 2]))) {
    // 0x hexadecimal: up to 32 bits, kept as their bit pattern (0xFFFFFFFF is -1).
    cur.pos += 2;
    uint64_t value = 0;
    while (cur.pos < cur.text.size() && std::isxdigit(static_cast<unsigned char>(cur.text[cur.pos]))) {
      char digit = cur.text[cur.pos++];
      value = value * 16 + static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(digit)) ? digit - '0' : digit - 'a' + 10);
      if (value > 0xFFFFFFFFull) return ParseFail(p, 39, "hexadecimal number over 32 bits");
    }
    Node node;
    node.kind = NodeKind::IntConst;
    node.intValue = static_cast<int32_t>(static_cast<uint32_t>(value));
    return AddNode(p, std::move(node));
  }
  if (std::isdigit(static_cast<unsigned char>(ch)) ||
      (ch == '.' && cur.pos + 1 < cur.text.size() &&
       std::isdigit(static_cast<unsigned char>(cur.text[cur.pos + 1])))) {
    size_t start = cur.pos;
    while (cur.pos < cur.text.size() && std::isdigit(static_cast<unsigned char>(cur.text[cur.pos]))) cur.pos++;
    Node node;
    bool isFloat = false;
    if (cur.pos < cur.text.size() && cur.text[cur.pos] == '.') {
      cur.pos++;
      while (cur.pos < cur.text.size() && std::isdigit(static_cast<unsigned char>(cur.text[cur.pos]))) cur.pos++;
      isFloat = true;
    }
    // An exponent ("1e3", "2.5e-2") makes a float too.
    size_t exponent = cur.pos;
    if (exponent < cur.text.size() && cur.text[exponent] == 'e') {
      exponent++;
      if (exponent < cur.text.size() && (cur.text[exponent] == '-' || cur.text[exponent] == '+')) exponent++;
      if (exponent < cur.text.size() && std::isdigit(static_cast<unsigned char>(cur.text[exponent]))) {
        while (exponent < cur.text.size() && std::isdigit(static_cast<unsigned char>(cur.text[exponent]))) exponent++;
        cur.pos = exponent;
        isFloat = true;
      }
    }
    if (isFloat) {
      node.kind = NodeKind::FloatConst;
      node.type = 'f';
      node.floatValue = std::strtof(std::string(cur.text.substr(start, cur.pos - start)).c_str(), nullptr);
    } else {
      node.kind = NodeKind::IntConst;
      int64_t value = 0;
      for (size_t i = start; i < cur.pos; i++) {
        value = value * 10 + (cur.text[i] - '0');
        if (value > (int64_t{1} << 40)) value = int64_t{1} << 40;  // out of range either way
      }
      node.intValue = value;
    }
    return AddNode(p, std::move(node));
  }
  if (ch == '"') {
    size_t end = cur.text.find('"', cur.pos + 1);
    if (end == std::string_view::npos) return ParseFail(p, 7, "missing closing quote");
    Node node;
    node.kind = NodeKind::TextConst;
    node.type = 's';
    node.text = std::string(cur.text.substr(cur.pos + 1, end - cur.pos - 1));
    cur.pos = end + 1;
    return AddNode(p, std::move(node));
  }
  if (TakeChar(cur, '(')) {
    int inner = ParseOr(p);
    if (inner < 0) return -1;
    if (!TakeChar(cur, ')')) return ParseFail(p, 7, "missing )");
    return inner;
  }
  if (!IsNameStart(ch)) return ParseFail(p, 7, std::string(1, ch));

  size_t keywordLength = 0;
  if (MatchFunctionName(p.c, cur.text.substr(cur.pos), &keywordLength)) {
    std::string name;
    for (size_t i = 0; i < keywordLength; i++) {  // the name as the table writes it
      char k = cur.text[cur.pos + i];
      if (k == ' ' && !name.empty() && name.back() == ' ') continue;
      name += k;
    }
    cur.pos += keywordLength;
    Node node;
    node.kind = NodeKind::Builtin;
    node.text = name;
    if (TakeChar(cur, '(') && ParseArguments(p, node.kids) < 0) return -1;
    std::string argTypes;
    for (int kid : node.kids) {
      argTypes += p.nodes[kid].type;
      node.hasUserCall |= p.nodes[kid].hasUserCall;
    }
    int failIndex = 0;
    node.keyword = ChooseOverload(p.c, name, true, argTypes, &failIndex);
    if (!node.keyword) return ParseFail(p, failIndex, name);
    node.type = node.keyword->signature.empty() ? 'l' : node.keyword->signature[0];
    return AddNode(p, std::move(node));
  }

  std::string name = TakeName(cur);
  if (IsReservedWord(name)) return ParseFail(p, 7, name);
  Node node;
  node.text = name;
  node.type = NameType(name);
  if (TakeChar(cur, '(')) {
    if (ParseArguments(p, node.kids) < 0) return -1;
    for (int kid : node.kids) node.hasUserCall |= p.nodes[kid].hasUserCall;
    if (HasArray(p.c, name)) {
      node.kind = NodeKind::Element;
      for (int kid : node.kids)
        if (!IsNumeric(p.nodes[kid].type)) return ParseFail(p, 8, name);
      if (node.kids.empty() || node.kids.size() > 5) return ParseFail(p, 40, name);
    } else {
      int index = FindFunction(p.c, name);
      if (index <= 0) return ParseFail(p, 22, name);
      const FunctionEntry& function = p.c.functionTable[index];
      if (function.params.size() != node.kids.size()) return ParseFail(p, 21, name);
      node.kind = NodeKind::UserCall;
      node.type = function.resultType ? function.resultType : 'l';
      node.hasUserCall = true;
    }
    return AddNode(p, std::move(node));
  }
  node.kind = NodeKind::Variable;
  return AddNode(p, std::move(node));
}

static int MakeBinary(ExprParser& p, BinaryOp op, int left, int right) {
  Node node;
  node.kind = NodeKind::Binary;
  node.op = op;
  node.kids = {left, right};
  char lt = p.nodes[left].type, rt = p.nodes[right].type;
  node.hasUserCall = p.nodes[left].hasUserCall || p.nodes[right].hasUserCall;
  bool text = lt == 's' || rt == 's';
  if (text && lt != rt) return ParseFail(p, 8);
  switch (op) {
    case BinaryOp::Add:
    case BinaryOp::Subtract:
      node.type = text ? 's' : (lt == 'f' || rt == 'f') ? 'f' : 'l';
      break;
    case BinaryOp::Multiply:
    case BinaryOp::Divide:
    case BinaryOp::Power:
      if (text) return ParseFail(p, 8);
      node.type = (lt == 'f' || rt == 'f') ? 'f' : 'l';
      break;
    case BinaryOp::Modulo:
    case BinaryOp::And:
    case BinaryOp::Or:
      if (text) return ParseFail(p, 8);
      node.type = 'l';
      break;
    default:  // comparisons
      node.type = 'l';
      break;
  }
  return AddNode(p, std::move(node));
}

static int MakeNegate(ExprParser& p, int inner) {
  if (inner < 0) return -1;
  Node node;
  node.kind = NodeKind::Negate;
  node.kids = {inner};
  node.type = p.nodes[inner].type;
  node.hasUserCall = p.nodes[inner].hasUserCall;
  if (node.type == 's') return ParseFail(p, 8);
  return AddNode(p, std::move(node));
}

// The right side of "^": a value with optional minus signs ("2 ^ -1").
static int ParseExponentOperand(ExprParser& p) {
  if (TakeChar(p.cur, '-')) return MakeNegate(p, ParseExponentOperand(p));
  return ParsePrimary(p);
}

static int ParsePower(ExprParser& p) {
  int left = ParsePrimary(p);
  while (left >= 0 && TakeChar(p.cur, '^')) {
    int right = ParseExponentOperand(p);
    if (right < 0) return -1;
    left = MakeBinary(p, BinaryOp::Power, left, right);
  }
  return left;
}

// Unary minus binds looser than "^": -2 ^ 2 is -(2 ^ 2).
static int ParseUnary(ExprParser& p) {
  if (TakeChar(p.cur, '-')) return MakeNegate(p, ParseUnary(p));
  if (TakeChar(p.cur, '+')) return ParseUnary(p);
  return ParsePower(p);
}

static int ParseMultiply(ExprParser& p) {
  int left = ParseUnary(p);
  while (left >= 0) {
    BinaryOp op;
    if (TakeChar(p.cur, '*')) op = BinaryOp::Multiply;
    else if (TakeChar(p.cur, '/')) op = BinaryOp::Divide;
    else if (TakeWord(p.cur, "mod")) op = BinaryOp::Modulo;
    else break;
    int right = ParseUnary(p);
    if (right < 0) return -1;
    left = MakeBinary(p, op, left, right);
  }
  return left;
}

static int ParseAdd(ExprParser& p) {
  int left = ParseMultiply(p);
  while (left >= 0) {
    BinaryOp op;
    if (TakeChar(p.cur, '+')) op = BinaryOp::Add;
    else if (TakeChar(p.cur, '-')) op = BinaryOp::Subtract;
    else break;
    int right = ParseMultiply(p);
    if (right < 0) return -1;
    left = MakeBinary(p, op, left, right);
  }
  return left;
}

static int ParseCompare(ExprParser& p) {
  int left = ParseAdd(p);
  while (left >= 0) {
    BinaryOp op;
    StatementCursor& cur = p.cur;
    if (TakeChar(cur, '<')) {
      if (TakeChar(cur, '>')) op = BinaryOp::NotEqual;
      else if (TakeChar(cur, '=')) op = BinaryOp::LessEqual;
      else op = BinaryOp::Less;
    } else if (TakeChar(cur, '>')) {
      if (TakeChar(cur, '=')) op = BinaryOp::GreaterEqual;
      else op = BinaryOp::Greater;
    } else if (TakeChar(cur, '=')) {
      op = BinaryOp::Equal;
    } else {
      break;
    }
    int right = ParseAdd(p);
    if (right < 0) return -1;
    left = MakeBinary(p, op, left, right);
  }
  return left;
}

static int ParseNot(ExprParser& p) {
  if (TakeWord(p.cur, "not")) {
    int inner = ParseNot(p);
    if (inner < 0) return -1;
    Node node;
    node.kind = NodeKind::Not;
    node.kids = {inner};
    node.hasUserCall = p.nodes[inner].hasUserCall;
    if (p.nodes[inner].type == 's') return ParseFail(p, 8);
    return AddNode(p, std::move(node));
  }
  return ParseCompare(p);
}

static int ParseAnd(ExprParser& p) {
  int left = ParseNot(p);
  while (left >= 0 && TakeWord(p.cur, "and")) {
    int right = ParseNot(p);
    if (right < 0) return -1;
    left = MakeBinary(p, BinaryOp::And, left, right);
  }
  return left;
}

static int ParseOr(ExprParser& p) {
  int left = ParseAnd(p);
  while (left >= 0 && TakeWord(p.cur, "or")) {
    int right = ParseAnd(p);
    if (right < 0) return -1;
    left = MakeBinary(p, BinaryOp::Or, left, right);
  }
  return left;
}

// ---- emission ----

bool ConvertValue(CompilerObject& c, ExprValue& value, char type) {
  if (value.type == type) return true;
  if (!IsNumeric(value.type) || !IsNumeric(type)) return Fail(c, 8);
  int32_t temp = NewTemporary(c, type);
  if (temp < 0) return false;
  EmitInstruction(c, type == 'l' ? kCmdFloatToInt : kCmdIntToFloat, {temp, value.id});
  value = {temp, type};
  return true;
}

// Copies a temporary into a hidden local before a FUNCTION call can overwrite it.
static bool SpillValue(CompilerObject& c, ExprValue& value) {
  if (!IsTemporary(value.id)) return true;
  int32_t hidden = HiddenVariable(c, value.type);
  if (hidden < 0) return false;
  EmitInstruction(c, AssignCommand(value.type), {hidden, value.id});
  value.id = hidden;
  return true;
}

static bool EmitNode(ExprParser& p, int index, int32_t hint, ExprValue& out);

// Emits the arguments of a call, left to right, keeping each one safe from a FUNCTION
// call in a later argument, and converts each to its parameter type.
static bool EmitArguments(ExprParser& p, const std::vector<int>& kids, std::string_view types,
                          std::vector<int32_t>& ids) {
  std::vector<ExprValue> values(kids.size());
  for (size_t i = 0; i < kids.size(); i++) {
    if (!EmitNode(p, kids[i], 0, values[i])) return false;
    if (i < types.size() && IsTargetLetter(types[i])) {
      // A place to store into: the variable itself or the element's temporary, never a copy.
      const NodeKind kind = p.nodes[kids[i]].kind;
      if (kind != NodeKind::Variable && kind != NodeKind::Element) return Fail(p.c, 8, p.nodes[kids[i]].text);
      continue;
    }
    if (i < types.size() && !ConvertValue(p.c, values[i], types[i])) return false;
    bool laterCall = false;
    for (size_t j = i + 1; j < kids.size(); j++) laterCall |= p.nodes[kids[j]].hasUserCall;
    if (laterCall && !SpillValue(p.c, values[i])) return false;
  }
  for (const ExprValue& value : values) ids.push_back(value.id);
  return true;
}

static int32_t ComparisonCommand(BinaryOp op, char lt, char rt) {
  // Columns: integer pair, float pair, integer-float, float-integer.
  static const int32_t kEqual[4] = {kEqualII, kEqualFF, kEqualIF, kEqualFI};
  static const int32_t kGreater[4] = {kGreaterII, kGreaterFF, kGreaterIF, kGreaterFI};
  static const int32_t kGreaterEqual[4] = {kGreaterOrEqualII, kGreaterOrEqualFF, kGreaterOrEqualIF, kGreaterOrEqualFI};
  static const int32_t kLess[4] = {kLessII, kLessFF, kLessIF, kLessFI};
  static const int32_t kLessEqual[4] = {kLessOrEqualII, kLessOrEqualFF, kLessOrEqualIF, kLessOrEqualFI};
  static const int32_t kNotEqual[4] = {kNotEqualII, kNotEqualFF, kNotEqualIF, kNotEqualFI};
  int form = lt == 'l' ? (rt == 'l' ? 0 : 2) : (rt == 'l' ? 3 : 1);
  switch (op) {
    case BinaryOp::Equal: return kEqual[form];
    case BinaryOp::Greater: return kGreater[form];
    case BinaryOp::GreaterEqual: return kGreaterEqual[form];
    case BinaryOp::Less: return kLess[form];
    case BinaryOp::LessEqual: return kLessEqual[form];
    case BinaryOp::NotEqual: return kNotEqual[form];
    default: return 0;
  }
}

static int32_t ArithmeticCommand(BinaryOp op, char lt, char rt) {
  // Columns: integer pair, float pair, integer-float, float-integer.
  static const int32_t kPower[4] = {kPowerII, kPowerFF, kPowerIF, kPowerFI};
  static const int32_t kDivide[4] = {kDivideII, kDivideFF, kDivideIF, kDivideFI};
  static const int32_t kMultiply[4] = {kMultiplyII, kMultiplyFF, kMultiplyIF, kMultiplyFI};
  static const int32_t kAdd[4] = {kAddII, kAddFF, kAddIF, kAddFI};
  static const int32_t kSubtract[4] = {kSubtractII, kSubtractFF, kSubtractIF, kSubtractFI};
  int form = lt == 'l' ? (rt == 'l' ? 0 : 2) : (rt == 'l' ? 3 : 1);
  switch (op) {
    case BinaryOp::Power: return kPower[form];
    case BinaryOp::Divide: return kDivide[form];
    case BinaryOp::Multiply: return kMultiply[form];
    case BinaryOp::Add: return kAdd[form];
    case BinaryOp::Subtract: return kSubtract[form];
    default: return 0;
  }
}

int32_t EqualityCommand(char lt, char rt) {
  if (lt == 's') return kTextEqual;
  return ComparisonCommand(BinaryOp::Equal, lt, rt);
}

static bool EmitBinary(ExprParser& p, const Node& node, int32_t hint, ExprValue& out) {
  CompilerObject& c = p.c;
  ExprValue left, right;
  if (!EmitNode(p, node.kids[0], 0, left)) return false;
  if (p.nodes[node.kids[1]].hasUserCall && !SpillValue(c, left)) return false;
  if (!EmitNode(p, node.kids[1], 0, right)) return false;
  char lt = left.type, rt = right.type;
  int32_t command = 0;
  bool negate = false;  // text <= and >= are "not >" and "not <"
  switch (node.op) {
    case BinaryOp::Add:
    case BinaryOp::Subtract:
      command = lt == 's' ? (node.op == BinaryOp::Add ? kJoinText : kRemoveText) : ArithmeticCommand(node.op, lt, rt);
      break;
    case BinaryOp::Multiply:
    case BinaryOp::Divide:
    case BinaryOp::Power:
      command = ArithmeticCommand(node.op, lt, rt);
      break;
    case BinaryOp::Modulo:
    case BinaryOp::And:
    case BinaryOp::Or:
      if (!ConvertValue(c, left, 'l') || !ConvertValue(c, right, 'l')) return false;
      command = node.op == BinaryOp::Modulo ? static_cast<int32_t>(kCmdModulo)
                : node.op == BinaryOp::And   ? static_cast<int32_t>(kBitAnd)
                                             : static_cast<int32_t>(kBitOr);
      break;
    default:
      if (lt == 's') {
        switch (node.op) {
          case BinaryOp::Equal: command = kTextEqual; break;
          case BinaryOp::NotEqual: command = kTextNotEqual; break;
          case BinaryOp::Greater: command = kTextGreater; break;
          case BinaryOp::Less: command = kTextLess; break;
          case BinaryOp::LessEqual: command = kTextGreater; negate = true; break;
          default: command = kTextLess; negate = true; break;
        }
      } else {
        command = ComparisonCommand(node.op, lt, rt);
      }
      break;
  }
  int32_t dest = (hint && !negate && OperandTypeLetter(hint) == node.type) ? hint : NewTemporary(c, node.type);
  if (dest < 0) return false;
  EmitInstruction(c, command, {dest, left.id, right.id});
  if (negate) {
    int32_t zero = IntConstant(c, 0);
    int32_t result = hint && OperandTypeLetter(hint) == 'l' ? hint : NewTemporary(c, 'l');
    if (zero < 0 || result < 0) return false;
    EmitInstruction(c, kEqualII, {result, dest, zero});
    dest = result;
  }
  out = {dest, node.type};
  return true;
}

static bool EmitNode(ExprParser& p, int index, int32_t hint, ExprValue& out) {
  CompilerObject& c = p.c;
  const Node& node = p.nodes[index];
  switch (node.kind) {
    case NodeKind::IntConst:
      if (node.intValue > INT32_MAX) return Fail(c, 39, std::to_string(node.intValue));
      out = {IntConstant(c, static_cast<int32_t>(node.intValue)), 'l'};
      return out.id >= 0;
    case NodeKind::FloatConst:
      out = {FloatConstant(c, node.floatValue), 'f'};
      return out.id >= 0;
    case NodeKind::TextConst:
      out = {StringConstant(c, node.text), 's'};
      return out.id >= 0;
    case NodeKind::Variable:
      out = {FindVariable(c, node.type, node.text, 0), node.type};
      return out.id >= 0;
    case NodeKind::Element: {
      int32_t array = FindVariable(c, node.type, node.text, 1);
      VariableEntry* entry = VariableById(c, array);
      if (entry && entry->dims && entry->dims != static_cast<int32_t>(node.kids.size()))
        return Fail(c, 21, node.text);
      std::vector<int32_t> indices;
      if (!EmitArguments(p, node.kids, std::string(node.kids.size(), 'l'), indices)) return false;
      int32_t temp = NewTemporary(c, node.type);
      if (temp < 0) return false;
      std::vector<int32_t> operands = {temp, array};
      operands.insert(operands.end(), indices.begin(), indices.end());
      EmitInstruction(c, kCmdArrayElement + static_cast<int32_t>(indices.size()), operands);
      out = {temp, node.type};
      return true;
    }
    case NodeKind::WholeArray: {
      // The array goes to the command through an access of its element 0 just before it:
      // the command finds the array operand three words before its own first operand.
      const char type = node.type == 'B' ? 'f' : node.type == 'C' ? 's' : 'l';
      int32_t array = FindVariable(c, type, node.text, 1);
      int32_t zero = IntConstant(c, 0);
      int32_t temp = NewTemporary(c, type);
      if (array < 0 || zero < 0 || temp < 0) return false;
      EmitInstruction(c, kCmdArrayElement + 1, {temp, array, zero});
      out = {temp, node.type};
      return true;
    }
    case NodeKind::Builtin: {
      std::vector<int32_t> args;
      std::string_view params = node.keyword->signature;
      if (!params.empty()) params.remove_prefix(1);
      if (!EmitArguments(p, node.kids, params, args)) return false;
      int32_t temp = NewTemporary(c, node.type);
      if (temp < 0) return false;
      args.insert(args.begin(), temp);
      EmitInstruction(c, node.keyword->number, args);
      out = {temp, node.type};
      return true;
    }
    case NodeKind::UserCall: {
      int function = FindFunction(c, node.text);
      std::string types;
      for (const std::string& param : c.functionTable[function].params) types += NameType(param);
      std::vector<int32_t> args;
      if (!EmitArguments(p, node.kids, types, args)) return false;
      int32_t result = NewTemporary(c, node.type);
      int32_t count = IntConstant(c, static_cast<int32_t>(args.size()));
      if (result < 0 || count < 0) return false;
      std::vector<int32_t> operands = {0, result, count};
      operands.insert(operands.end(), args.begin(), args.end());
      EmitInstruction(c, kCmdCallFunction, operands);
      LabelReference ref;
      ref.name = node.text;
      ref.codePosition = c.codeCount - static_cast<uint32_t>(operands.size());
      ref.line = c.currentLine;
      c.functionReferences.push_back(std::move(ref));
      out = {result, node.type};
      return true;
    }
    case NodeKind::Negate: {
      const Node& inner = p.nodes[node.kids[0]];
      if (inner.kind == NodeKind::IntConst) {
        if (inner.intValue > int64_t{1} << 31) return Fail(c, 39, "-" + std::to_string(inner.intValue));
        out = {IntConstant(c, static_cast<int32_t>(-inner.intValue)), 'l'};
        return out.id >= 0;
      }
      if (inner.kind == NodeKind::FloatConst) {
        out = {FloatConstant(c, -inner.floatValue), 'f'};
        return out.id >= 0;
      }
      ExprValue value;
      if (!EmitNode(p, node.kids[0], 0, value)) return false;
      int32_t zero = value.type == 'f' ? FloatConstant(c, 0.0f) : IntConstant(c, 0);
      int32_t dest = (hint && OperandTypeLetter(hint) == value.type) ? hint : NewTemporary(c, value.type);
      if (zero < 0 || dest < 0) return false;
      EmitInstruction(c, value.type == 'f' ? kSubtractFF : kSubtractII, {dest, zero, value.id});
      out = {dest, value.type};
      return true;
    }
    case NodeKind::Not: {
      ExprValue value;
      if (!EmitNode(p, node.kids[0], 0, value)) return false;
      int32_t zero = value.type == 'f' ? FloatConstant(c, 0.0f) : IntConstant(c, 0);
      int32_t dest = (hint && OperandTypeLetter(hint) == 'l') ? hint : NewTemporary(c, 'l');
      if (zero < 0 || dest < 0) return false;
      EmitInstruction(c, value.type == 'f' ? kEqualFF : kEqualII, {dest, value.id, zero});
      out = {dest, 'l'};
      return true;
    }
    case NodeKind::Binary:
      return EmitBinary(p, node, hint, out);
  }
  return false;
}

bool CompileExpression(CompilerObject& c, StatementCursor& cur, ExprValue& out, int32_t hint) {
  ExprParser p{c, cur, false, {}};
  int root = ParseOr(p);
  if (root < 0) return false;
  return EmitNode(p, root, hint, out);
}

char ExpressionTypeOf(CompilerObject& c, std::string_view expression) {
  StatementCursor cur{expression, 0};
  ExprParser p{c, cur, true, {}};
  int root = ParseOr(p);
  if (root < 0) return 0;
  return p.nodes[root].type;
}

// A whole array as a command's argument: "name()" followed by "," or the statement's end.
// -1, the cursor untouched, when the text there is anything else.
static int ParseWholeArray(ExprParser& p) {
  StatementCursor look = p.cur;
  std::string name = TakeName(look);
  if (name.empty() || !TakeChar(look, '(') || !TakeChar(look, ')') || !HasArray(p.c, name)) return -1;
  StatementCursor after = look;
  if (!AtStatementEnd(after) && !TakeChar(after, ',')) return -1;
  p.cur.pos = look.pos;
  Node node;
  node.kind = NodeKind::WholeArray;
  node.type = WholeArrayLetter(NameType(name));
  node.text = name;
  return AddNode(p, std::move(node));
}

bool CompileKeywordArguments(CompilerObject& c, StatementCursor& cur, std::string_view name,
                             bool isFunction, bool parenthesised, const KeywordEntry** chosen,
                             std::vector<int32_t>& args) {
  ExprParser p{c, cur, false, {}};
  std::vector<int> kids;
  if (parenthesised) {
    if (ParseArguments(p, kids) < 0) return false;
  } else if (!AtStatementEnd(cur)) {
    for (;;) {
      int kid = ParseWholeArray(p);
      if (kid < 0) kid = ParseOr(p);
      if (kid < 0) return false;
      kids.push_back(kid);
      if (!TakeChar(cur, ',')) break;
    }
  }
  std::string argTypes;
  for (int kid : kids) argTypes += p.nodes[kid].type;
  int failIndex = 0;
  *chosen = ChooseOverload(c, name, isFunction, argTypes, &failIndex);
  if (!*chosen) return Fail(c, failIndex, name);
  std::string_view params = (*chosen)->signature;
  if (isFunction && !params.empty()) params.remove_prefix(1);
  return EmitArguments(p, kids, params, args);
}

// Parses "name" or "name(index, ...)" as a place to store into.
static bool ParseTarget(ExprParser& p, std::string& name, std::vector<int>& indices, bool& element) {
  name = TakeName(p.cur);
  if (name.empty() || IsReservedWord(name)) return Fail(p.c, 7, name.empty() ? "missing variable" : name);
  element = false;
  if (TakeChar(p.cur, '(')) {
    if (!HasArray(p.c, name)) return Fail(p.c, 22, name);
    if (ParseArguments(p, indices) < 0) return false;
    if (indices.empty() || indices.size() > 5) return Fail(p.c, 40, name);
    element = true;
  }
  return true;
}

static bool EmitElementAddress(ExprParser& p, const std::string& name, const std::vector<int>& indices,
                               ExprValue& out) {
  Node node;
  node.kind = NodeKind::Element;
  node.type = NameType(name);
  node.text = name;
  node.kids = indices;
  p.nodes.push_back(node);
  return EmitNode(p, static_cast<int>(p.nodes.size() - 1), 0, out);
}

bool CompileTarget(CompilerObject& c, StatementCursor& cur, ExprValue& out) {
  ExprParser p{c, cur, false, {}};
  std::string name;
  std::vector<int> indices;
  bool element;
  if (!ParseTarget(p, name, indices, element)) return false;
  if (element) return EmitElementAddress(p, name, indices, out);
  out = {FindVariable(c, NameType(name), name, 0), NameType(name)};
  return out.id >= 0;
}

bool CompileAssignment(CompilerObject& c, StatementCursor& cur) {
  ExprParser p{c, cur, false, {}};
  std::string name;
  std::vector<int> indices;
  bool element;
  if (!ParseTarget(p, name, indices, element)) return false;
  if (!TakeChar(cur, '=')) return Fail(c, 6, name);
  int root = ParseOr(p);
  if (root < 0) return false;
  if (!AtStatementEnd(cur)) return Fail(c, 7, cur.text.substr(cur.pos));
  char type = NameType(name);
  if (!element) {
    int32_t target = FindVariable(c, type, name, 0);
    if (target < 0) return false;
    ExprValue value;
    if (!EmitNode(p, root, target, value)) return false;
    if (value.id == target) return true;
    if (value.type == type) {
      EmitInstruction(c, AssignCommand(type), {target, value.id});
      return true;
    }
    if (!IsNumeric(value.type) || !IsNumeric(type)) return Fail(c, 8, name);
    EmitInstruction(c, type == 'l' ? kCmdFloatToInt : kCmdIntToFloat, {target, value.id});
    return true;
  }
  // The value first, then the element's address, then the store through that address.
  ExprValue value;
  if (!EmitNode(p, root, 0, value) || !ConvertValue(c, value, type)) return false;
  bool indexCall = false;
  for (int index : indices) indexCall |= p.nodes[index].hasUserCall;
  if (indexCall && !SpillValue(c, value)) return false;
  ExprValue address;
  if (!EmitElementAddress(p, name, indices, address)) return false;
  int32_t store = type == 'f' ? kCmdStoreElementFloat : type == 's' ? kCmdStoreElementText : kCmdStoreElementInt;
  EmitInstruction(c, store, {address.id, value.id});
  return true;
}

bool CompileUserCallStatement(CompilerObject& c, StatementCursor& cur) {
  ExprParser p{c, cur, false, {}};
  int root = ParsePrimary(p);
  if (root < 0) return false;
  if (p.nodes[root].kind != NodeKind::UserCall) return Fail(c, 6, p.nodes[root].text);
  if (!AtStatementEnd(cur)) return Fail(c, 7, cur.text.substr(cur.pos));
  ExprValue ignored;
  return EmitNode(p, root, 0, ignored);
}
