// Declarations shared inside the compiler: the compiler object with its symbol tables,
// the operand id bands and the command numbers the translator emits itself.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "compiler/compiler.h"
#include "runtime/command_numbers.h"

// Operand id bands of the compiled program; id - 10000 is the runtime's slot.
enum : int32_t {
  kIdIntTemp = 10000,
  kIdFloatTemp = 11000,
  kIdStringTemp = 12000,
  kIdIntVar = 13000,
  kIdFloatVar = 15000,
  kIdStringVar = 17000,
  kIdIntConst = 19000,
  kIdFloatConst = 21000,
  kIdStringConst = 23000,
  kIdData = 25000,    // also plain numbers: 25000 + n stands for n
  kIdLabel = 35000,   // labels while compiling
  kIdCode = 37000,    // code positions: 37000 + word index
};
constexpr int kTempsPerType = 1000;
constexpr int kVarsPerType = 2000;
constexpr int kConstsPerType = 2000;
constexpr int kMaxDataItems = 10000;
constexpr int kMaxCommands = 768;
constexpr int kMaxFunctionKeywords = 512;
constexpr int kMaxLabels = 2000;
constexpr int kMaxFunctions = 1024;
constexpr int kMaxBlockDepth = 1023;
constexpr int kMaxIncludes = 256;
constexpr int kMaxLineLength = 255;
constexpr uint32_t kInitialCodeCapacity = 65536;
constexpr uint32_t kCodeMarginWords = 1024;  // 4096 bytes: room for one statement's words

// Command numbers the translator writes without a keyword, named after the runtime's
// table (runtime/command_numbers.h); the keyword agreement test checks each has a handler.
enum : int32_t {
  kCmdJumpIfZero = kJumpIfZero,
  kCmdJump = kJump,
  kCmdBlockJump = kBlockJump,  // the jump a block word writes (GOTO and FUNCTION skips use kCmdJump)
  kCmdForStep = kForStep,
  kCmdCallFunction = kCallFunction,
  kCmdReturnNothing = kReturnNothing,  // +1 int, +2 float, +3 string
  kCmdExitNothing = kReturnNothingAlias27,  // EXITFUNCTION variants, same handlers
  kCmdEnd = kEnd,
  kCmdRestoreAt = kRestoreAt,
  kCmdRestore = kRestore,
  kCmdReadInt = kReadInt,  // +1 float, +2 string
  kCmdGosub = kGosub,
  kCmdReturn = kReturn,
  kCmdAssignInt = kAssignInt,
  kCmdAssignFloat = kAssignFloat,
  kCmdAssignText = kAssignText,
  kCmdFloatToInt = kFloatToInt,
  kCmdIntToFloat = kIntToFloat,
  kCmdPrintInt = kPrintInt,
  kCmdPrintFloat = kPrintFloat,
  kCmdPrintText = kPrintText,
  kCmdPrintLineEnd = kPrintLineEnd,
  kCmdPrintNextZone = kPrintNextZone,
  kCmdInputInt = kInputInt,
  kCmdInputFloat = kInputFloat,
  kCmdInputText = kInputText,
  kCmdModulo = kModulo,
  kCmdDimArray = kDimArray1 - 1,  // +k for k dimensions: array, size1..sizek
  kCmdUndimArray = kUndimArray,
  kCmdArrayElement = kArrayElement1 - 1,  // +k for k indices: temp, array, index1..indexk
  kCmdStoreElementInt = kStoreElementInt,
  kCmdStoreElementFloat = kStoreElementFloat,
  kCmdStoreElementText = kStoreElementText,
};

// One keyword: a command or a value-returning function.
struct KeywordEntry {
  std::string name;       // lower case; may hold blanks ("load image")
  std::string signature;  // functions: result letter then parameter letters
  int32_t number = 0;
};

// The keywords of one kind (commands or functions) indexed for the translator, built once
// when the table is loaded: a trie of the names, where a blank in a name stands for one or
// more blanks in the text, and the entries of each name in table order.
struct KeywordIndex {
  struct Node {
    char edge = 0;           // the name character that leads here
    int32_t firstChild = -1, nextSibling = -1;
    int32_t name = -1;       // the first entry of the name that ends here, or -1
  };
  std::vector<Node> nodes = std::vector<Node>(1);  // node 0 is the root
  int32_t rootChild[128] = {};  // the root's child for each first character (0 = none)
  std::vector<int32_t> nextOfName;  // per entry: the next entry of the same name, or -1
  // The name index of a name exactly as the table holds it, or -1.
  int32_t Find(std::string_view name) const;
};

struct VariableEntry {
  std::string name;
  uint16_t owner = 0;  // function index, 0 = main program
  int32_t id = 0;
  uint8_t kind = 0;    // 0 plain variable, 1 array
  int32_t dims = 0;    // arrays: dimensions from DIM (0 until seen)
  int32_t line = 0;
};

struct LabelEntry {
  std::string name;
  uint16_t owner = 0;
  int32_t codePosition = 0;
  int32_t dataPosition = 0;
  int32_t line = 0;
};

// A reference to a label or a function entry, patched after the last line.
struct LabelReference {
  std::string name;
  uint16_t owner = 0;
  uint32_t codePosition = 0;  // index of the operand word to patch
  uint8_t kind = 1;           // 1 code label, 0 DATA label (RESTORE)
  int32_t line = 0;
};

struct FunctionEntry {
  std::string name;
  std::vector<std::string> params;  // parameter names with their suffixes
  char resultType = 0;              // 'l', 'f', 's', or 0 when nothing is returned
  int32_t line = 0;
  int32_t entry = -1;               // code position of the parameter list, -1 until seen
};

struct DataItem {
  char type = 'l';
  uint32_t value = 0;
  std::string text;
};

enum class BlockKind : uint8_t { If, Else, Do, For, While, Repeat, Select, Case, Function };

struct BlockRecord {
  BlockKind kind = BlockKind::If;
  uint32_t start = 0;                 // loop start code position
  int32_t pendingJump = -1;           // operand word to patch at the next else/endif/case
  std::vector<uint32_t> exitJumps;    // EXIT (or ENDCASE) jumps to patch at the end
  int32_t line = 0;
  std::string name;                   // FOR: the counter's name
  int32_t counter = 0;                // FOR: counter id; SELECT: the selector's id
  char selectorType = 'l';            // SELECT: the selector's type
};

// Every file the expanded source holds after the main source, in order.
struct IncludedFile {
  size_t begin = 0;  // where its text starts in the expanded source
  std::string path;  // the name it was read by
};

struct IncludeRecord {
  int32_t includeLine = 0;   // the "#include " line in the main source
  int32_t firstLine = 0;     // the first line of the file's text in the expanded source
  size_t begin = 0, end = 0; // where the file's text sits in the expanded source
};

// Finds names held as std::string by a std::string_view, without making a string.
struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};
using NameMap = std::unordered_map<std::string, std::vector<int32_t>, NameHash, std::equal_to<>>;

struct CompilerObject {
  bool retry = false;
  uint32_t codeCapacity = kInitialCodeCapacity;
  int passCount = 0;
  std::vector<uint32_t> code;   // code words (capacity-sized while compiling)
  // The line table, one source line per code word, kept as runs: the code position where
  // each new line starts and the line (a statement's words share one).
  struct LineRun {
    uint32_t first;
    int32_t line;
  };
  std::vector<LineRun> lineRuns;
  uint32_t codeCount = 0;
  uint32_t instructionCount = 0;
  int32_t currentLine = 1;
  // What the line table records for the current line: the line itself, or for a line of an
  // included file its "#include " line (where compile errors are reported too).
  int32_t tableLine = 1;

  std::vector<KeywordEntry> commands;
  std::vector<KeywordEntry> functions;
  KeywordIndex commandIndex, functionIndex;  // rebuilt with the table
  std::vector<VariableEntry> variables[3];  // int, float, string
  NameMap variableNames[3];  // per type: each name's entries in variables, in table order
  std::vector<int32_t> intConstants;
  std::vector<uint32_t> floatConstants;     // bit patterns
  std::vector<std::string> stringConstants;
  // Each constant's id, so a value used again finds its id at once.
  std::unordered_map<int32_t, int32_t> intConstantIds;
  std::unordered_map<uint32_t, int32_t> floatConstantIds;
  std::unordered_map<std::string, int32_t, NameHash, std::equal_to<>> stringConstantIds;
  std::vector<DataItem> data;
  std::vector<LabelEntry> labels;
  std::vector<LabelReference> labelReferences;
  std::vector<LabelReference> functionReferences;  // name = function name
  std::vector<FunctionEntry> functionTable;        // index 0 unused: the main program
  std::vector<BlockRecord> blocks;
  uint16_t currentFunction = 0;
  int tempCounters[3] = {0, 0, 0};
  int spillCounters[3] = {0, 0, 0};
  int hiddenCounter = 0;

  std::string source;
  std::string expanded;
  std::vector<IncludeRecord> includes;
  std::vector<std::string> includedNames;
  std::vector<IncludedFile> includedFiles;
  std::vector<CompileWarning> warnings;
  std::string sourceFolder;
  int32_t mainLines = 0;     // lines up to and including the appended "end" line
  int32_t totalLines = 0;

  std::string errorText;
  std::string message;
  int32_t errorLine = 0;
  size_t failOffset = 0;     // where the line the declaration pass stopped on starts
  int mode = 1;              // 1 from a file, 2 from memory
  int firstLine = 0;
  std::string outputName;
  // The last compile's program file up to its code, as words; the code and the line table
  // follow from code and lines (so a large program is not copied once more to be written).
  std::vector<uint32_t> imageHead;
};

// keywords.cpp
void ParseKeywordText(CompilerObject& c, std::string_view text);
// Longest command keyword at the start of text, ending at a word boundary; null when none.
const KeywordEntry* MatchCommandKeyword(const CompilerObject& c, std::string_view text);
// Longest function keyword name at the start of text; its length goes to *length.
bool MatchFunctionName(const CompilerObject& c, std::string_view text, size_t* length);
bool IsCommandName(const CompilerObject& c, std::string_view name);
// The entries named exactly name (commands or functions), in table order.
// Walk them with NextKeywordEntry: -1 ends the list.
int32_t FirstKeywordEntryNamed(const CompilerObject& c, std::string_view name, bool isFunction);
int32_t NextKeywordEntry(const CompilerObject& c, int32_t entry, bool isFunction);

// messages.cpp: COMPILER[index] from the built-in language file.
std::string CompilerText(int index);

// symbols.cpp
int32_t DeclareVariable(CompilerObject& c, char type, std::string_view name, uint8_t kind);
int32_t FindVariable(CompilerObject& c, char type, std::string_view name, uint8_t kind);
VariableEntry* VariableById(CompilerObject& c, int32_t id);
// The places in c.variables of the type of the entries with this name, in table order.
const std::vector<int32_t>& VariablesNamed(const CompilerObject& c, char type, std::string_view name);
int32_t IntConstant(CompilerObject& c, int32_t value);
int32_t FloatConstant(CompilerObject& c, float value);
int32_t StringConstant(CompilerObject& c, std::string_view text);
int32_t NewTemporary(CompilerObject& c, char type);
int32_t HiddenVariable(CompilerObject& c, char type);
char OperandTypeLetter(int32_t id);
bool IsTemporary(int32_t id);
void EmitCodeWord(CompilerObject& c, uint32_t word);
void EmitInstruction(CompilerObject& c, int32_t command, std::initializer_list<int32_t> operands);
void EmitInstruction(CompilerObject& c, int32_t command, const std::vector<int32_t>& operands);
void PatchCodeWord(CompilerObject& c, uint32_t position, uint32_t word);
bool DeclareLabel(CompilerObject& c, std::string_view name);
void ReferenceLabel(CompilerObject& c, std::string_view name, uint8_t kind);
bool ResolveLabels(CompilerObject& c);
int FindFunction(const CompilerObject& c, std::string_view name);
bool DeclareFunction(CompilerObject& c, std::string_view name, std::vector<std::string> params,
                     char resultType);
bool Fail(CompilerObject& c, int textIndex, std::string_view detail = {});

// statements.cpp
bool TranslateStatement(CompilerObject& c, std::string_view statement);
bool CloseOpenBlocks(CompilerObject& c);
// expression.cpp: the pre-pass's guess at a FUNCTION's result type from a return expression.
char ExpressionTypeOf(CompilerObject& c, std::string_view expression);

// The line of each code word from first (count words), into out.
void ExpandLineTable(const CompilerObject& c, uint32_t first, uint32_t count, uint32_t* out);
// writer.cpp
// The program file's words up to its code (header, constants, DATA, ownership lists).
std::vector<uint32_t> BuildProgramHead(const CompilerObject& c);

// A place in the statement being translated.
struct StatementCursor {
  std::string_view text;
  size_t pos = 0;
};
void SkipBlanks(StatementCursor& cur);
bool AtStatementEnd(StatementCursor& cur);
bool TakeChar(StatementCursor& cur, char ch);
bool TakeWord(StatementCursor& cur, std::string_view word);  // whole word only
std::string PeekName(StatementCursor& cur);                   // identifier with $ or # suffix
std::string TakeName(StatementCursor& cur);
char NameType(std::string_view name);                         // 'l', 'f' or 's' by suffix
bool IsReservedWord(std::string_view name);

// A compiled value: its operand id and type letter.
struct ExprValue {
  int32_t id = 0;
  char type = 'l';
};
// Compiles one expression at the cursor. A hint names a variable the result may be
// written into directly (0 = none); the returned id is where the value ended up.
bool CompileExpression(CompilerObject& c, StatementCursor& cur, ExprValue& out,
                       int32_t hint = 0);
// Converts a value to the wanted type ('l', 'f', 's'); strings and numbers do not mix.
bool ConvertValue(CompilerObject& c, ExprValue& value, char type);
// Compiles a comma-separated argument list for a keyword with the given name (a command
// when isFunction is false) and picks the entry whose signature fits the arguments.
bool CompileKeywordArguments(CompilerObject& c, StatementCursor& cur, std::string_view name,
                             bool isFunction, bool parenthesised, const KeywordEntry** chosen,
                             std::vector<int32_t>& args);
// Compiles an assignment "target = expression" (variable or array element).
bool CompileAssignment(CompilerObject& c, StatementCursor& cur);
// Compiles a READ or INPUT target; an array element yields a temporary whose element
// address the runtime keeps, so storing into it reaches the element.
bool CompileTarget(CompilerObject& c, StatementCursor& cur, ExprValue& out);
// Compiles a call of a user FUNCTION as a statement (its result is dropped).
bool CompileUserCallStatement(CompilerObject& c, StatementCursor& cur);
// The equality comparison command for two operand types.
int32_t EqualityCommand(char lt, char rt);
// The assignment command for a type ('l', 'f', 's').
int32_t AssignCommand(char type);
