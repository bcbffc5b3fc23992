// The compiler driver: reads the source, expands #include lines, splits the text into
// lines, runs the translator over them, checks labels and blocks, and hands over to the writer.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <sys/stat.h>

#include "compiler/compiler_local.h"
#include "platform/folders.h"

// Sources are text of a few megabytes at most: a larger one (or an endless device named by an
// include) is refused rather than read on.
constexpr size_t kMaxSourceBytes = 16 * 1024 * 1024;

// The progress display; set by the environment or the driver, lives for the process.
static struct {
  CompileProgressHook hook = nullptr;
} gProgress;

void SetCompileProgressHook(CompileProgressHook hook) { gProgress.hook = hook; }

CompilerObject* CreateCompiler() { return new CompilerObject(); }
void DestroyCompiler(CompilerObject* compiler) { delete compiler; }

const std::string& CompilerMessage(const CompilerObject& c) { return c.message; }
const std::vector<CompileWarning>& CompilerWarnings(const CompilerObject& c) { return c.warnings; }
int CompilerErrorLine(const CompilerObject& c) { return c.errorLine; }
int CompilePassCount(const CompilerObject& c) { return c.passCount; }
void SetCodeCapacity(CompilerObject& c, uint32_t words) { c.codeCapacity = words < 2048 ? 2048 : words; }

void SizeCodeBufferForSource(CompilerObject& c, const std::string& sourceName) {
  struct stat info;
  if (stat(PlatformMapFileName(sourceName).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  // A word per byte, with the margin: twice or more what programs make, and only reserved
  // (pages never written cost nothing). Sources past the reading limit are refused anyway.
  const uint64_t words = std::min<uint64_t>(static_cast<uint64_t>(info.st_size), kMaxSourceBytes) + kCodeMarginWords;
  while (c.codeCapacity < words) c.codeCapacity *= 2;
}

void ResetCompiler(CompilerObject& c) {
  for (auto& table : c.variables) table.clear();
  for (auto& names : c.variableNames) names.clear();
  c.intConstants.clear();
  c.floatConstants.clear();
  c.stringConstants.clear();
  c.intConstantIds.clear();
  c.floatConstantIds.clear();
  c.stringConstantIds.clear();
  c.data.clear();
  c.labels.clear();
  c.labelReferences.clear();
  c.functionReferences.clear();
  c.functionTable.assign(1, FunctionEntry{});  // entry 0: the main program
  c.blocks.clear();
  c.currentFunction = 0;
  c.hiddenCounter = 0;
  c.errorText.clear();
  c.message.clear();
  c.errorLine = 0;
}

void FreeCompilerBuffers(CompilerObject& c) {
  c.source.clear();
  c.source.shrink_to_fit();
  c.expanded.clear();
  c.expanded.shrink_to_fit();
  c.code.clear();
  c.code.shrink_to_fit();
  c.lineRuns.clear();
  c.lineRuns.shrink_to_fit();
  c.codeCount = 0;
  c.imageHead.clear();
}

// Reads a whole source or include file (kMaxSourceBytes at most).
static bool ReadWholeFile(const std::string& name, std::string& out) {
  struct stat info;
  if (stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;  // no devices, pipes, folders
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) return false;
  // Read straight onto the end of out, in the room the file's size asks for, one byte more
  // to see the end (a file that grows while it is read is read on, up to the limit).
  const size_t start = out.size();
  size_t filled = 0;
  size_t room = std::min(static_cast<size_t>(info.st_size), kMaxSourceBytes) + 1;
  bool ok = true;
  out.reserve(start + room + 8);  // and the end line the compiler appends, without a copy
  while (ok) {
    out.resize(start + room);
    size_t got;
    while (filled < room && (got = std::fread(out.data() + start + filled, 1, room - filled, file)) > 0) filled += got;
    if (filled < room) break;  // the end of the file
    ok = room <= kMaxSourceBytes;
    room *= 2;
  }
  std::fclose(file);
  out.resize(ok && filled <= kMaxSourceBytes ? start + filled : start);
  return ok && filled <= kMaxSourceBytes;
}

// An empty name is an empty program. A source that cannot be read is an error (a missing
// file must never compile to an empty program that reports success).
static bool ReadSourceFile(CompilerObject& c, const std::string& name) {
  c.source.clear();
  c.sourceFolder.clear();
  if (name.empty()) return true;
  size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) c.sourceFolder = name.substr(0, slash + 1);
  if (ReadWholeFile(PlatformMapFileName(name), c.source)) return true;
  c.errorText = CompilerText(46) + ": " + name;
  return false;
}

// Calls fn(line, lineNumber, startOffset) for each line of text[from, to): a line ends at
// CR, LF or CR LF. Letters are lower-cased outside double quotes and leading control
// characters are skipped. Stops and returns false when fn does, or on a line of 255 or
// more characters (its number and start offset then go to *bad).
struct LongLine {
  int32_t line = 0;
  size_t offset = 0;
};
template <typename Fn>
static bool ForEachLine(std::string_view text, size_t from, int32_t firstLine, LongLine* bad, Fn fn) {
  std::string line;
  int32_t number = firstLine;
  size_t pos = from;
  while (pos < text.size()) {
    size_t start = pos;
    while (pos < text.size() && text[pos] != '\r' && text[pos] != '\n') pos++;
    if (pos - start >= static_cast<size_t>(kMaxLineLength)) {
      *bad = {number, start};
      return false;
    }
    line.assign(text.data() + start, pos - start);
    if (pos < text.size() && text[pos] == '\r') pos++;
    if (pos < text.size() && text[pos] == '\n') pos++;
    bool quoted = false;
    for (char& ch : line) {
      if (ch == '"') quoted = !quoted;
      else if (!quoted && ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    }
    size_t skip = 0;
    while (skip < line.size() && static_cast<unsigned char>(line[skip]) < 32) skip++;
    if (!fn(std::string_view(line).substr(skip), number, start)) return false;
    number++;
  }
  return true;
}

// The include record whose text holds a line of the expanded source.
static const IncludeRecord* IncludeOfLine(const CompilerObject& c, size_t offset) {
  const IncludeRecord* found = nullptr;
  for (const IncludeRecord& record : c.includes)
    if (record.begin <= offset) found = &record;
  return found;
}

// The line a runtime error names for a line of the expanded source: an included file's
// line is its "#include " line, and text compiled from memory counts from its first line.
static int32_t LineTableLine(const CompilerObject& c, int32_t number, size_t offset) {
  if (number > c.mainLines && c.mainLines > 0) {
    const IncludeRecord* record = IncludeOfLine(c, offset);
    if (record != nullptr) number = record->includeLine;
  }
  if (c.mode == 2 && c.firstLine > 0) return number + c.firstLine - 1;
  return number;
}

// The file name of an "#include" line: the first word after the keyword, quotes stripped.
static std::string IncludeName(std::string_view line) {
  std::string_view rest = line.substr(9);
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
  size_t end = 0;
  while (end < rest.size() && rest[end] != ' ' && rest[end] != '\t') end++;
  std::string name(rest.substr(0, end));
  while (!name.empty() && name.front() == '"') name.erase(0, 1);
  while (!name.empty() && name.back() == '"') name.pop_back();
  return name;
}

static bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// Appends every included file once to the expanded source. The main source's includes get
// a record each (for error lines); includes inside included files are appended too.
static bool ExpandIncludes(CompilerObject& c) {
  // A file's source is read again for each compile pass; text from memory is kept.
  if (c.mode == 1) c.expanded = std::move(c.source);
  else c.expanded = c.source;
  if (!c.expanded.empty() && c.expanded.back() != '\n' && c.expanded.back() != '\r') c.expanded += "\r\n";
  c.expanded += "end\r\n";
  c.includes.clear();
  c.includedNames.clear();
  c.includedFiles.clear();
  size_t scanFrom = 0;
  bool firstPass = true;
  int32_t lines = 0;
  std::vector<std::pair<size_t, std::string>> folders;  // where each appended file's text starts, its folder
  while (scanFrom < c.expanded.size()) {
    // Files found in this pass wait in appended, scanned by the next pass; the buffer holds
    // still while this pass reads it.
    std::string appended;
    const std::string_view snapshot = c.expanded;
    size_t passEnd = snapshot.size();
    LongLine badLine;
    bool ok = ForEachLine(snapshot, scanFrom, 1, &badLine,
                          [&](std::string_view line, int32_t number, size_t offset) {
      if (firstPass) lines = number;
      if (line.substr(0, 9) != "#include ") return true;
      std::string name = IncludeName(line);
      if (name.empty()) return true;
      for (const std::string& seen : c.includedNames)
        if (SameNameIgnoringCase(seen, name)) return true;
      if (c.includedNames.size() >= kMaxIncludes || (firstPass && c.includes.size() >= kMaxIncludes - 1)) {
        c.errorText = CompilerText(42);
        c.errorLine = firstPass ? number : (c.includes.empty() ? 0 : c.includes.back().includeLine);
        return false;
      }
      // The line was lower-cased; open the name as the source wrote it.
      size_t rawStart = offset;
      while (rawStart < passEnd && static_cast<unsigned char>(snapshot[rawStart]) < 32 &&
             snapshot[rawStart] != '\r' && snapshot[rawStart] != '\n')
        rawStart++;
      size_t rawEnd = snapshot.find_first_of("\r\n", rawStart);
      std::string original = IncludeName(std::string_view(snapshot).substr(rawStart, rawEnd - rawStart));
      std::string contents;
      // Beside the file that holds the line first, then beside the main source, then from
      // the current folder.
      std::string folder = c.sourceFolder;
      for (const auto& region : folders)
        if (region.first <= offset) folder = region.second;
      bool relative = original[0] != '/' && original[0] != '\\';
      std::string readAs;
      for (const std::string& tried : {relative && !folder.empty() ? folder + original : std::string(),
                                       relative && !c.sourceFolder.empty() ? c.sourceFolder + original : std::string(),
                                       original})
        if (!tried.empty() && ReadWholeFile(PlatformMapFileName(tried), contents)) {
          readAs = tried;
          break;
        }
      if (readAs.empty()) {
        c.errorText = CompilerText(46) + ": " + original;
        c.errorLine = firstPass ? number : (c.includes.empty() ? 0 : c.includes.back().includeLine);
        return false;
      }
      c.includedNames.push_back(name);
      std::string mapped = PlatformMapFileName((relative && !folder.empty() ? folder : std::string()) + original);
      size_t slash = mapped.find_last_of('/');
      folders.emplace_back(passEnd + appended.size(), slash == std::string::npos ? std::string() : mapped.substr(0, slash + 1));
      c.includedFiles.push_back({passEnd + appended.size(), readAs});
      IncludeRecord record;
      record.includeLine = number;
      record.begin = passEnd + appended.size();
      appended += contents;
      if (!contents.empty() && contents.back() != '\n' && contents.back() != '\r') appended += "\r\n";
      record.end = passEnd + appended.size();
      if (firstPass) c.includes.push_back(record);
      return true;
    });
    c.expanded += appended;
    if (!ok) {
      if (badLine.line) {
        // A long line of an included file is reported at its "#include " line.
        const IncludeRecord* record = firstPass ? nullptr : IncludeOfLine(c, badLine.offset);
        c.errorText = CompilerText(41);
        if (!firstPass) c.errorText += " - " + CompilerText(44);
        c.errorLine = record ? record->includeLine : badLine.line;
      }
      return false;
    }
    scanFrom = passEnd;
    firstPass = false;
  }
  c.mainLines = lines;
  return true;
}

// The place of the next whole word "exitfunction" outside quotes at or after from.
static size_t ReturnWordAt(std::string_view line, size_t from) {
  for (size_t i = line.find("exitfunction", from); i != std::string_view::npos; i = line.find("exitfunction", i + 1)) {
    if (std::count(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(i), '"') % 2 != 0) continue;
    bool startOk = i == 0 || !(std::isalnum(static_cast<unsigned char>(line[i - 1])) || line[i - 1] == '_');
    bool endOk = i + 12 >= line.size() || !(std::isalnum(static_cast<unsigned char>(line[i + 12])) || line[i + 12] == '_');
    if (startOk && endOk) return i;
  }
  return std::string_view::npos;
}

// Declares every FUNCTION (so calls may come before the definition) and every DIM array,
// and counts the lines; then works out each FUNCTION's result type from its returns.
static bool DeclareFunctionsPass(CompilerObject& c) {
  LongLine badLine;
  int32_t total = 0;
  uint16_t region = 0;
  size_t nextRecord = 0;
  bool ok = ForEachLine(c.expanded, 0, 1, &badLine, [&](std::string_view line, int32_t number, size_t offset) {
    total = number;
    c.currentLine = number;
    c.failOffset = offset;
    while (nextRecord < c.includes.size() && c.includes[nextRecord].begin <= offset)
      c.includes[nextRecord++].firstLine = number;
    StatementCursor cur{line, 0};
    if (TakeWord(cur, "function")) {
      std::string name = TakeName(cur);
      std::vector<std::string> params;
      if (TakeChar(cur, '(') && !TakeChar(cur, ')')) {
        do {
          std::string param = TakeName(cur);
          if (param.empty() || IsReservedWord(param)) {
            c.errorLine = number;
            return Fail(c, 7, "bad FUNCTION parameter");
          }
          params.push_back(param);
        } while (TakeChar(cur, ','));
        if (!TakeChar(cur, ')')) {
          c.errorLine = number;
          return Fail(c, 7, "missing )");
        }
      }
      if (name.empty() || IsReservedWord(name) || IsCommandName(c, name) || !AtStatementEnd(cur)) {
        c.errorLine = number;
        return Fail(c, 7, "bad FUNCTION line");
      }
      if (!DeclareFunction(c, name, std::move(params), 0)) {
        c.errorLine = number;
        return false;
      }
      region = static_cast<uint16_t>(c.functionTable.size() - 1);
    } else if (TakeWord(cur, "endfunction")) {
      region = 0;
    } else if (TakeWord(cur, "dim")) {
      uint16_t saved = c.currentFunction;
      c.currentFunction = region;
      do {
        std::string name = TakeName(cur);
        if (name.empty() || !TakeChar(cur, '(')) break;
        int depth = 1, dims = 1;
        bool quoted = false;
        while (cur.pos < line.size() && depth > 0) {
          char ch = line[cur.pos++];
          if (ch == '"') quoted = !quoted;
          if (quoted) continue;
          if (ch == '(') depth++;
          else if (ch == ')') depth--;
          else if (ch == ',' && depth == 1) dims++;
        }
        char type = NameType(name);
        bool known = false;
        for (int32_t at : VariablesNamed(c, type, name)) {
          const VariableEntry& entry = c.variables[type == 'f' ? 1 : type == 's' ? 2 : 0][static_cast<size_t>(at)];
          known |= entry.kind == 1 && entry.owner == region;
        }
        if (!known) {
          int32_t id = DeclareVariable(c, type, name, 1);
          if (id < 0) {
            c.errorLine = number;
            return false;
          }
          VariableById(c, id)->dims = dims;
        }
      } while (TakeChar(cur, ','));
      c.currentFunction = saved;
    }
    return true;
  });
  if (!ok) {
    if (badLine.line) {
      c.errorText = CompilerText(43);
      c.errorLine = badLine.line;
    }
    return false;
  }
  c.totalLines = total;
  // Result types: a name ending in "$" or "#" says it; otherwise the returns tell. A
  // FUNCTION's returns may call functions declared further down, so two rounds let such
  // chains settle.
  for (size_t f = 1; f < c.functionTable.size(); f++) {
    char suffix = c.functionTable[f].name.back();
    if (suffix == '$' || suffix == '#') c.functionTable[f].resultType = NameType(c.functionTable[f].name);
  }
  // The values a FUNCTION returns: after ENDFUNCTION, or after any EXITFUNCTION of the line
  // ("if ... then exitfunction x"), up to a ":" or an ELSE. The first round reads every line
  // and keeps the ones that return something; the second goes over those alone.
  struct ReturnLine {
    uint16_t function;
    size_t endValue;  // where the value after ENDFUNCTION starts, npos on other lines
    std::string text;
  };
  std::vector<ReturnLine> returnLines;
  auto settle = [&](const ReturnLine& r) {
    std::string_view line = r.text;
    std::vector<std::string_view> returns;
    if (r.endValue != std::string_view::npos) returns.push_back(line.substr(r.endValue));
    for (size_t at = ReturnWordAt(line, 0); at != std::string_view::npos; at = ReturnWordAt(line, at + 12))
      returns.push_back(line.substr(at + 12));
    for (std::string_view value : returns) {
      StatementCursor probe{value, 0};
      if (AtStatementEnd(probe)) continue;
      c.currentFunction = r.function;
      char type = ExpressionTypeOf(c, value);
      c.currentFunction = 0;
      char& result = c.functionTable[r.function].resultType;
      if (type && (!result || (result == 'l' && type == 'f'))) result = type;
    }
  };
  region = 0;
  ForEachLine(c.expanded, 0, 1, &badLine, [&](std::string_view line, int32_t, size_t) {
    StatementCursor cur{line, 0};
    if (TakeWord(cur, "function")) {
      region = static_cast<uint16_t>(FindFunction(c, TakeName(cur)));
      if (region >= c.functionTable.size()) region = 0;
      return true;
    }
    bool end = TakeWord(cur, "endfunction");
    if (region > 0 && (end || ReturnWordAt(line, 0) != std::string_view::npos)) {
      returnLines.push_back({region, end ? cur.pos : std::string_view::npos, std::string(line)});
      settle(returnLines.back());
    }
    if (end) region = 0;
    return true;
  });
  for (const ReturnLine& r : returnLines) settle(r);
  return true;
}

static void ReportProgress(int32_t line, int32_t total, int* tenths) {
  if (!gProgress.hook || total <= 0) return;
  int progress = static_cast<int>(100.0 / total * line);
  if (progress / 10 > *tenths) {  // at most one report per line
    (*tenths)++;
    gProgress.hook(progress > 100 ? 100 : progress);
  }
}

// Included text follows the program's end, so outside a FUNCTION only what a label leads to
// (GOSUB, GOTO) runs there, or what the file before runs into. Told one line after another,
// this notes the first statement of each included file that nothing reaches: a warning, as
// the compile is good.
class UnreachedStatements {
 public:
  // Before a line is translated.
  void Before(const CompilerObject& c, int32_t number, size_t offset) {
    while (next_ < c.includedFiles.size() && c.includedFiles[next_].begin <= offset) {
      file_ = &c.includedFiles[next_++];
      fileFirstLine_ = number;
      warned_ = false;
    }
    function_ = c.currentFunction;
    labels_ = c.labels.size();
    code_ = c.codeCount;
  }
  // After it was translated; mainLine is the line the line table records for it.
  void After(CompilerObject& c, std::string_view statement, int32_t number, int32_t mainLine) {
    if (function_ != 0 || c.currentFunction != 0) return;  // a FUNCTION's lines
    if (c.labels.size() > labels_) reached_ = true;
    if (c.codeCount == code_) return;  // no code: blank, REM, DATA, a label
    if (!reached_ && file_ != nullptr && !warned_) {
      warned_ = true;
      c.warnings.push_back({file_->path, number - fileFirstLine_ + 1, mainLine, CompilerText(51)});
    }
    // A statement that goes nowhere after it, outside any block, ends what runs on.
    StatementCursor cur{statement, 0};
    if (c.blocks.empty() && (TakeWord(cur, "end") || TakeWord(cur, "return") || TakeWord(cur, "goto")))
      reached_ = false;
  }

 private:
  size_t next_ = 0;
  const IncludedFile* file_ = nullptr;  // the included file of the lines told; null in the main source
  int32_t fileFirstLine_ = 0;
  bool warned_ = false;
  bool reached_ = true;
  uint16_t function_ = 0;
  size_t labels_ = 0;
  uint32_t code_ = 0;
};

static bool CompileSource(CompilerObject& c) {
  c.errorText.clear();
  c.message.clear();
  c.errorLine = 0;
  c.warnings.clear();
  bool ok = ExpandIncludes(c);
  if (ok && !DeclareFunctionsPass(c)) {
    ok = false;
    if (c.errorLine > c.mainLines && c.mainLines > 0) {  // a FUNCTION line of an included file
      const IncludeRecord* record = IncludeOfLine(c, c.failOffset);
      size_t end = c.expanded.find_first_of("\r\n", c.failOffset);
      c.errorText += " " + CompilerText(45) + " " + c.expanded.substr(c.failOffset, end - c.failOffset);
      if (record) c.errorLine = record->includeLine;
    }
  }
  c.currentFunction = 0;
  c.currentLine = 1;
  int tenths = 0;
  std::string failedStatement;
  size_t failedOffset = 0;
  LongLine badLine;
  UnreachedStatements unreached;
  if (ok) {
    ok = ForEachLine(c.expanded, 0, 1, &badLine, [&](std::string_view line, int32_t number, size_t offset) {
      c.currentLine = number;
      c.tableLine = LineTableLine(c, number, offset);
      unreached.Before(c, number, offset);
      if (!TranslateStatement(c, line)) {
        failedStatement = std::string(line);
        failedOffset = offset;
        c.errorLine = number;
        return false;
      }
      unreached.After(c, line, number, c.tableLine);
      ReportProgress(number, c.totalLines, &tenths);
      if (c.codeCount + kCodeMarginWords > c.codeCapacity || c.retry) {
        c.codeCapacity *= 2;  // the driver compiles again with the larger buffer
        c.retry = true;
        return false;
      }
      return true;
    });
    if (!ok && badLine.line) {
      c.errorText = CompilerText(43);
      c.errorLine = badLine.line;
    }
    if (!ok && !failedStatement.empty() && c.errorLine > c.mainLines && c.mainLines > 0) {
      const IncludeRecord* record = IncludeOfLine(c, failedOffset);
      c.errorText = c.errorText.empty() ? CompilerText(44)
                                        : c.errorText + " " + CompilerText(45) + " " + failedStatement;
      c.errorLine = record ? record->includeLine : c.errorLine;
    }
  }
  if (c.retry) return true;
  if (ok) {
    std::string suffix = c.mode == 1 ? " " + CompilerText(47) + " " : "";
    if (!ResolveLabels(c) || !CloseOpenBlocks(c)) {
      if (c.errorLine > c.mainLines && c.mainLines > 0) {
        // A label or block of an included file: name the "#include " line.
        int32_t includeLine = c.errorLine;
        for (const IncludeRecord& record : c.includes)
          if (record.firstLine > 0 && record.firstLine <= c.errorLine) includeLine = record.includeLine;
        c.errorText += " - " + CompilerText(44);
        c.errorLine = includeLine;
      }
      if (!suffix.empty()) c.errorText += suffix + std::to_string(c.errorLine);
      ok = false;
    }
  }
  if (!ok && c.errorText.empty()) c.errorText = CompilerText(7);
  if (c.mode == 2 && c.firstLine > 0 && c.errorLine > 0) c.errorLine += c.firstLine - 1;
  c.message = ok ? std::string() : c.errorText;
  c.currentLine = c.tableLine = 0;
  EmitCodeWord(c, 0);  // the closing word: no handler, so the run ends there
  c.instructionCount++;
  c.imageHead = BuildProgramHead(c);
  // A failed compile writes nothing: the last good compiled file stays as it was, and no
  // half-translated program is left where a player would load it.
  std::string whyNot;
  if (ok && !c.outputName.empty() && !WriteCompiledProgram(c, c.outputName, &whyNot)) {
    c.message = "cannot write " + c.outputName + ": " + whyNot;
    ok = false;
  }
  c.expanded.clear();
  return ok;
}

static void InitIdBands(CompilerObject& c) {
  ResetCompiler(c);
  c.code.clear();
  c.code.reserve(c.codeCapacity);
  c.lineRuns.clear();
  c.codeCount = 0;
  c.instructionCount = 0;
  c.currentLine = 1;
}

static bool RunCompile(CompilerObject& c, const std::string* sourceName) {
  c.retry = true;
  c.passCount = 0;
  while (c.retry) {
    c.retry = false;
    c.passCount++;
    if (sourceName && !ReadSourceFile(c, *sourceName)) {
      c.message = c.errorText;
      c.errorLine = 0;
      c.imageHead.clear();
      return false;
    }
    InitIdBands(c);
    if (!CompileSource(c)) return false;
  }
  return true;
}

bool CompileProgram(CompilerObject& c, const std::string& sourceName) {
  c.mode = 1;
  c.firstLine = 0;
  return RunCompile(c, &sourceName);
}

bool CompileToFile(CompilerObject& c, const std::string& sourceName, const std::string& outputName) {
  c.outputName = outputName;
  bool ok = CompileProgram(c, sourceName);
  c.outputName.clear();
  return ok;
}

bool CompileFromMemory(CompilerObject& c, std::string_view text, int firstLine) {
  c.mode = 2;
  c.firstLine = firstLine;
  c.source = std::string(text);
  c.sourceFolder.clear();  // its includes are found from the current folder
  return RunCompile(c, nullptr);
}
