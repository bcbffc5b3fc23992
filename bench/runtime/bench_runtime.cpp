// Dispatcher speed: a FOR loop that sums its counter, a loop that joins and removes texts and
// one that fills a text array, each run as a compiled program, beside native loops doing the
// same sums and the same text blocks.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/builtins.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"
#include "tests/asm/qvasm.h"

namespace {

constexpr int kIterations = 1000000;

// FOR i = 1 TO passes: sum = sum + i (3 commands a pass: step, add, jump).
std::vector<uint8_t> SumProgram(int passes = kIterations) {
  qvasm::ProgramBuilder b;
  int i = b.IntVar(), sum = b.IntVar();
  auto top = b.NewLabel(), out = b.NewLabel();
  b.Bind(top);
  b.Emit(kForStep, {b.Id(i), b.Id(b.IntConst(passes)), b.Id(b.IntConst(1)), b.At(out)});
  b.Emit(kAddII, {b.Id(sum), b.Id(sum), b.Id(i)});
  b.Emit(kJump, {b.At(top)});
  b.Bind(out);
  return b.Build();
}

// The same FOR with a join and a removal of texts in its body (4 commands a pass).
std::vector<uint8_t> TextProgram() {
  qvasm::ProgramBuilder b;
  int i = b.IntVar(), s = b.TextVar();
  auto top = b.NewLabel(), out = b.NewLabel();
  b.Bind(top);
  b.Emit(kForStep, {b.Id(i), b.Id(b.IntConst(kIterations / 10)), b.Id(b.IntConst(1)), b.At(out)});
  b.Emit(kJoinText, {b.Id(s), b.Id(b.TextConst("hello ")), b.Id(b.TextConst("world"))});
  b.Emit(kRemoveText, {b.Id(s), b.Id(s), b.Id(b.TextConst("lo w"))});
  b.Emit(kJump, {b.At(top)});
  b.Bind(out);
  return b.Build();
}

// DIM s$(n), then FOR i = 0 TO n: s$(i) = a 20-character text; UNDIM s$(): every store makes
// the element's first block (4 commands a pass), every UNDIM frees them all, each counted
// against the program's memory.
constexpr int kElements = 100000;
std::vector<uint8_t> TextArrayProgram() {
  qvasm::ProgramBuilder b;
  int i = b.IntVar(), texts = b.TextVar();
  const int element = qvasm::ProgramBuilder::TextTemp(1);
  auto top = b.NewLabel(), out = b.NewLabel();
  b.Emit(kDimArray1, {b.Id(texts), b.Id(b.IntConst(kElements))});
  b.Emit(kAssignInt, {b.Id(i), b.Id(b.IntConst(-1))});
  b.Bind(top);
  b.Emit(kForStep, {b.Id(i), b.Id(b.IntConst(kElements)), b.Id(b.IntConst(1)), b.At(out)});
  b.Emit(kArrayElement1, {b.Id(element), b.Id(texts), b.Id(i)});
  b.Emit(kStoreElementText, {b.Id(element), b.Id(b.TextConst("twenty characters..."))});
  b.Emit(kJump, {b.At(top)});
  b.Bind(out);
  b.Emit(kUndimArray, {b.Id(texts)});
  return b.Build();
}

void RunProgram(benchmark::State& state, const std::vector<uint8_t>& file, int64_t commandsPerRun) {
  static const bool registered = RegisterRuntimeCommands() && RegisterCoreBuiltins();
  (void)registered;
  SetWarningsOff(true);
  for (auto _ : state) {
    LoadCompiledProgramFromMemory(file.data(), file.size(), nullptr);
    ClearQuitRequest();
    if (!RunLoadedProgramUntilQuit(1 << 20)) state.SkipWithError("program did not end");
    FreeCompiledProgram();
  }
  state.counters["commands/s"] =
      benchmark::Counter(static_cast<double>(commandsPerRun) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DispatchSumLoop(benchmark::State& state) { RunProgram(state, SumProgram(), 3LL * kIterations); }
void BM_DispatchTextLoop(benchmark::State& state) { RunProgram(state, TextProgram(), 4LL * kIterations / 10); }

// The peer: the sum loop written in C++, through a volatile so it is not folded away.
void BM_NativeSumLoop(benchmark::State& state) {
  for (auto _ : state) {
    volatile int32_t sum = 0;
    for (int32_t i = 1; i <= kIterations; ++i) sum = sum + i;
    benchmark::DoNotOptimize(sum);
  }
  state.counters["commands/s"] =
      benchmark::Counter(3.0 * kIterations * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DispatchTextArrayFill(benchmark::State& state) { RunProgram(state, TextArrayProgram(), 4LL * (kElements + 1)); }

// The text array's peer: the same blocks made, filled and freed by a C++ loop.
void BM_NativeTextArrayFill(benchmark::State& state) {
  std::vector<char*> elements(kElements + 1);
  for (auto _ : state) {
    for (char*& element : elements) {
      element = static_cast<char*>(std::malloc(25));
      std::memcpy(element, "twenty characters...", 21);
    }
    benchmark::DoNotOptimize(elements.data());
    for (char* element : elements) std::free(element);
  }
  state.counters["commands/s"] = benchmark::Counter(4.0 * (kElements + 1) * static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
}

// The sum loop with the debug trace on (DEBUGMODE): every command is traced into QV.LOG in
// a temporary folder. A tenth of the passes, run in 33 ms slices as the player does.
void BM_DispatchSumLoopDebugTrace(benchmark::State& state) {
  char pattern[] = "/tmp/qv-bench-trace-XXXXXX";
  const char* folder = mkdtemp(pattern);
  if (folder == nullptr) return state.SkipWithError("no temporary folder");
  SetFoldersForTests(folder, folder);
  MutableSettings().debugMode = true;
  RunProgram(state, SumProgram(kIterations / 10), 3LL * kIterations / 10);
  MutableSettings().debugMode = false;
  std::remove((std::string(folder) + "/QV.LOG").c_str());
  rmdir(folder);
}

BENCHMARK(BM_DispatchSumLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DispatchSumLoopDebugTrace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DispatchTextLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NativeSumLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DispatchTextArrayFill)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NativeTextArrayFill)->Unit(benchmark::kMillisecond);

}  // namespace
