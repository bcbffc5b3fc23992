// Fuzz target: bytes as a compiled program (loaded, run one slice when accepted, freed) and
// as an executable image with a package; odd-first-byte inputs patch a valid program
// instead, so the fuzzer reaches the handlers past the header checks.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"
#include "tests/asm/qvasm.h"

// A small valid program using the control-flow and text commands, built once.
static std::vector<uint8_t> TemplateProgram() {
  qvasm::ProgramBuilder b;
  const uint16_t kF = 1;
  int n = b.IntVar(kF), s = b.TextVar(), i = b.IntVar();
  auto f = b.NewLabel(), main = b.NewLabel(), top = b.NewLabel(), out = b.NewLabel();
  b.DataInt(3);
  b.DataText("abc");
  b.Emit(kJump, {b.At(main)});
  b.Bind(f);
  b.Words({b.Id(n), b.Raw(kF)});
  b.Emit(kJoinText, {b.Id(s), b.Id(s), b.Id(b.TextConst("xy"))});
  b.Emit(kReturnInt, {b.Id(n)});
  b.Bind(main);
  b.Emit(kReadInt, {b.Id(i)});
  b.Emit(kReadText, {b.Id(s)});
  b.Bind(top);
  b.Emit(kForStep, {b.Id(i), b.Id(b.IntConst(10)), b.Id(b.IntConst(1)), b.At(out)});
  b.Emit(kCallFunction, {b.At(f), b.Id(qvasm::ProgramBuilder::IntTemp(0)), b.Id(b.IntConst(1)), b.Id(i)});
  b.Emit(kGosub, {b.At(out)});
  b.Emit(kRemoveText, {b.Id(s), b.Id(s), b.Id(b.TextConst("y"))});
  b.Emit(kJump, {b.At(top)});
  b.Bind(out);
  b.Emit(kRestoreAt, {b.Number(1)});
  b.Emit(kReturn);
  return b.Build();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = [] {
    SetSliceLengthForTests(1);  // a looping program costs a millisecond, not a frame
    return RegisterRuntimeCommands();
  }();
  static const std::vector<uint8_t> kTemplate = TemplateProgram();
  (void)registered;
  std::vector<uint8_t> image(data, data + size);
  std::vector<PackageEntryView> entries;
  ParsePackage(image, &entries, nullptr);
  for (const PackageEntryView& entry : entries) {
    volatile uint8_t sink = 0;
    for (uint32_t i = 0; i < entry.size; ++i) sink = sink ^ entry.data[i];  // every byte must be inside
  }
  std::vector<uint8_t> program = image;
  if (size >= 1 && (data[0] & 1) != 0) {
    // Patch mode: pairs of (word index, byte) written over the template past its header.
    program = kTemplate;
    for (size_t k = 1; k + 2 < size; k += 3) {
      size_t at = (static_cast<size_t>(data[k]) << 8 | data[k + 1]) % program.size();
      program[at] = data[k + 2];
    }
  }
  SetWarningsOff(true);
  if (LoadCompiledProgramFromMemory(program.data(), program.size(), nullptr)) {
    ClearQuitRequest();
    ClearRuntimeError();
    RunLoadedProgramUntilQuit(1);
  }
  FreeCompiledProgram();
  ClearQuitRequest();
  return 0;
}
