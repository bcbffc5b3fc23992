// Helpers for the compiler tests: compile text or files with a fresh compiler object, and
// a temporary folder for source files.
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "compiler/compiler.h"

struct CompileResult {
  bool ok = false;
  std::string message;
  int line = 0;
  std::vector<uint32_t> words;
  int passes = 0;
  std::vector<CompileWarning> warnings;
};

// Runs one compile on a fresh compiler object (compile does the work) and collects the result.
template <class Compile>
inline CompileResult RunCompiler(uint32_t capacity, Compile compile) {
  CompilerObject* compiler = CreateCompiler();
  if (capacity) SetCodeCapacity(*compiler, capacity);
  LoadKeywordTable(*compiler);
  ResetCompiler(*compiler);
  CompileResult result;
  result.ok = compile(*compiler);
  result.message = CompilerMessage(*compiler);
  result.line = CompilerErrorLine(*compiler);
  result.words = CompiledProgramWords(*compiler);
  result.passes = CompilePassCount(*compiler);
  result.warnings = CompilerWarnings(*compiler);
  FreeCompilerBuffers(*compiler);
  DestroyCompiler(compiler);
  return result;
}

inline CompileResult CompileText(const std::string& text, uint32_t capacity = 0) {
  return RunCompiler(capacity, [&](CompilerObject& c) { return CompileFromMemory(c, text, 0); });
}

inline CompileResult CompileFile(const std::string& path, uint32_t capacity = 0) {
  return RunCompiler(capacity, [&](CompilerObject& c) { return CompileProgram(c, path); });
}

// A fresh folder under the system temporary folder, removed with the object.
struct TempFolder {
  std::filesystem::path path;
  TempFolder() {
    static int serial = 0;
    path = std::filesystem::temp_directory_path() /
           ("qv-compiler-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(path);
  }
  ~TempFolder() { std::filesystem::remove_all(path); }
  std::string Write(const std::string& name, const std::string& text) const {
    std::filesystem::path file = path / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }
};
