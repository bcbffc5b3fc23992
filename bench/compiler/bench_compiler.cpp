// Compile speed: a generated program of 20,000 lines mixing assignments, expressions,
// loops, IF blocks, strings, arrays and FUNCTION calls, compiled from memory.
#include <benchmark/benchmark.h>

#include <string>

#include "compiler/compiler.h"

static std::string GenerateProgram(int lines) {
  std::string text = "dim table(100)\n";
  int written = 1, block = 0;
  while (written < lines) {
    std::string n = std::to_string(block % 400);
    text += "v" + n + " = v" + n + " + " + std::to_string(block % 97) + " * (a - 3) / 2\n";
    text += "for i = 1 to 10\n  table(i) = table(i - 1) + i mod 7\nnext i\n";
    text += "if v" + n + " > 100 and a < 5\n  s$ = \"text \" + str$(v" + n + ")\nelse\n  f# = f# * 1.5 + sin(a)\nendif\n";
    text += "r = helper(a, v" + n + ")\n";
    written += 9;
    block++;
  }
  text += "end\nfunction helper(x, y)\n  z = x * y\nendfunction z + 1\n";
  return text;
}

static void BM_Compile20000Lines(benchmark::State& state) {
  const std::string source = GenerateProgram(20000);
  CompilerObject* compiler = CreateCompiler();
  LoadKeywordTable(*compiler);
  for (auto _ : state) {
    ResetCompiler(*compiler);
    bool ok = CompileFromMemory(*compiler, source, 0);
    if (!ok) state.SkipWithError(CompilerMessage(*compiler).c_str());
    FreeCompilerBuffers(*compiler);
  }
  state.counters["lines_per_second"] = benchmark::Counter(20000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  DestroyCompiler(compiler);
}
BENCHMARK(BM_Compile20000Lines)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
