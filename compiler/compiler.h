// The compiler's front door: turns BASIC source files (with their #include files) into the
// compiled program file the runtime loads, and reports failures as a message plus a line.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct CompilerObject;  // opaque; one per caller (driver, environment, package writer)

// Made once by the caller; DestroyCompiler frees every buffer it still holds.
CompilerObject* CreateCompiler();
void DestroyCompiler(CompilerObject* compiler);

// Loads the keyword table built into the executable; false when it holds no entries.
bool LoadKeywordTable(CompilerObject& compiler);
// Loads a keyword table from resource text (tests and tools); false when no entry was read.
bool LoadKeywordTableFromText(CompilerObject& compiler, std::string_view text);
// Clears the symbol tables before a compile; the caller runs it before the first compile.
void ResetCompiler(CompilerObject& compiler);
// Compiles a source file; true when it ended without a message. No output file is written.
bool CompileProgram(CompilerObject& compiler, const std::string& sourceName);
// Compiles a source file and writes the compiled program to outputName.
bool CompileToFile(CompilerObject& compiler, const std::string& sourceName,
                   const std::string& outputName);
// Writes the last compile's program to outputName, replacing the file only whole; false
// with the system's reason in *whyNot (the file then stays as it was).
bool WriteCompiledProgram(const CompilerObject& compiler, const std::string& outputName, std::string* whyNot);
// Compiles source text held in memory; errors are reported against firstLine + line - 1.
bool CompileFromMemory(CompilerObject& compiler, std::string_view text, int firstLine);
// Releases the per-compile buffers; the caller runs it after reading the result.
void FreeCompilerBuffers(CompilerObject& compiler);

// After a compile: the message ("" on success) and the source line it names.
const std::string& CompilerMessage(const CompilerObject& compiler);
int CompilerErrorLine(const CompilerObject& compiler);
// After a compile: what it warns of (the compile still succeeds). file and line name the
// statement (an included file's name as it was read, and its line there); mainLine is the
// line of the main source that leads to it (its #include line).
struct CompileWarning {
  std::string file;
  int line = 0;
  int mainLine = 0;
  std::string text;
};
const std::vector<CompileWarning>& CompilerWarnings(const CompilerObject& compiler);
// After a compile: the whole compiled program file as 32-bit words (the writer's layout).
std::vector<uint32_t> CompiledProgramWords(const CompilerObject& compiler);
// How many times the last CompileProgram ran the source (more than 1 when the code grew).
int CompilePassCount(const CompilerObject& compiler);
// Sets the code buffer's starting capacity in words (tests use a small one to force growth).
void SetCodeCapacity(CompilerObject& compiler, uint32_t words);
// The command-line driver, before compiling a file with a fresh compiler: gives the code
// buffer room for the code a source of that file's size makes (about a word for every two to
// four bytes), so a large program compiles in one pass instead of again after each growth.
// Never makes the buffer smaller.
void SizeCodeBufferForSource(CompilerObject& compiler, const std::string& sourceName);

// The environment's progress display; called once per new tenth of the lines translated.
using CompileProgressHook = void (*)(int percent);
void SetCompileProgressHook(CompileProgressHook hook);

// The keyword resource built into the executable (name%number%signature lines).
std::string_view EmbeddedKeywordText();
// The English language file built into the executable (sections COMPILER, ERRORS, ...).
std::string_view EmbeddedLanguageText();
// Reads one key of one [section] of language-file text; "" when absent.
std::string LanguageText(std::string_view fileText, std::string_view section,
                         std::string_view key);

// Fills the runtime's error-text slots from the built-in language file (section ERRORS,
// keyed by slot); the driver and the player call it before a run.
void LoadLanguageErrorTexts();

// Command numbers the translator emits by itself (control flow, operators, print items,
// array elements): they have handlers but no keyword of their own.
const std::vector<int>& InternalCommandNumbers();
// The error dump and the environment's help: the first command keyword with that number,
// its name copied to *name; the result is the entry's place counted from 1, 0 when there is
// none (or the number is 0 or name is null).
int FindKeywordById(const CompilerObject& compiler, int32_t number, std::string* name);
// The parameter letter at position (from 0) of entry (as FindKeywordById counts it); 0 past
// the signature's end or for an entry that does not exist.
char KeywordParamType(const CompilerObject& compiler, int entry, int position);
// Every command and function number of a loaded keyword table (0 entries left out).
std::vector<int> KeywordCommandNumbers(const CompilerObject& compiler);
