// Fuzz target: compiles random source text held in memory, and (for inputs that start
// with a marker byte) the same text from a file so include expansion runs too.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "compiler/compiler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  static CompilerObject* compiler = [] {
    CompilerObject* made = CreateCompiler();
    LoadKeywordTable(*made);
    return made;
  }();
  std::string text(reinterpret_cast<const char*>(data), size);
  ResetCompiler(*compiler);
  SetCodeCapacity(*compiler, 2048);  // small: cheap to clear, and larger inputs take the regrowth path
  if (size > 0 && data[0] == '#') {
    // Includes are opened beside the source: a private folder holds it.
    static std::string path = "/tmp/fuzz_compiler_" + std::to_string(getpid()) + ".qva";
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
      std::fwrite(text.data(), 1, text.size(), file);
      std::fclose(file);
      CompileProgram(*compiler, path);
      std::remove(path.c_str());
    }
  } else {
    CompileFromMemory(*compiler, text, 0);
  }
  (void)CompiledProgramWords(*compiler);
  FreeCompilerBuffers(*compiler);
  return 0;
}
