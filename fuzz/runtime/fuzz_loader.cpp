// Fuzz target: bytes as a compiled program (loaded, run one slice when accepted, freed) and
// as an executable image with a package; odd-first-byte inputs patch a valid program
// instead, so the fuzzer reaches the handlers past the header checks: bytes anywhere, or
// whole code words with operands of every band, for the loader's check of the operands (a
// corrupt operand is refused at load or ends in an error, never in a wild access).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/package_format.h"
#include "runtime/builtins.h"
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
  const int array = b.IntVar();
  b.Emit(kDimArray1, {b.Id(array), b.Id(b.IntConst(4))});
  b.Emit(kArrayElement1, {b.Id(qvasm::ProgramBuilder::IntTemp(1)), b.Id(array), b.Id(b.IntConst(2))});
  b.Emit(kStoreElementInt, {b.Id(qvasm::ProgramBuilder::IntTemp(1)), b.Id(i)});
  b.Bind(top);
  b.Emit(kForStep, {b.Id(i), b.Id(b.IntConst(10)), b.Id(b.IntConst(1)), b.At(out)});
  b.Emit(kLessII, {b.Id(qvasm::ProgramBuilder::IntTemp(2)), b.Id(i), b.Id(b.IntConst(5))});
  b.Emit(kJumpIfZero, {b.Id(qvasm::ProgramBuilder::IntTemp(2)), b.At(top)});
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
    SetProgramMemoryLimitForTests(size_t{64} << 20);  // a big DIM meets error 101, not the RSS limit
    return RegisterRuntimeCommands() && RegisterCoreBuiltins();
  }();
  static const std::vector<uint8_t> kTemplate = TemplateProgram();
  (void)registered;
  std::vector<uint8_t> image(data, data + size);
  std::vector<PackageEntryView> entries;
  ParsePackage(image, &entries, nullptr);
  // The same bytes with a checksum that matches, so the walk of the entries is reached too.
  std::vector<uint8_t> summed = image;
  if (summed.size() >= kPackageTailSize + 4) {
    const size_t checksumAt = summed.size() - 12;
    PackageChecksum sum;
    sum.Add(summed.data(), checksumAt);
    sum.Add(summed.data() + checksumAt + 8, 4);
    for (int i = 0; i < 8; ++i) summed[checksumAt + static_cast<size_t>(i)] = static_cast<uint8_t>(sum.Value() >> (8 * i));
  }
  ParsePackage(summed, &entries, nullptr);
  for (const PackageEntryView& entry : entries) {
    volatile uint8_t sink = 0;
    for (uint32_t i = 0; i < entry.size; ++i) sink = sink ^ entry.data[i];  // every byte must be inside
  }
  std::vector<uint8_t> program = image;
  if (size >= 1 && (data[0] & 3) == 1) {
    // Patch mode: pairs of (word index, byte) written over the template past its header.
    program = kTemplate;
    for (size_t k = 1; k + 2 < size; k += 3) {
      size_t at = (static_cast<size_t>(data[k]) << 8 | data[k + 1]) % program.size();
      program[at] = data[k + 2];
    }
  } else if (size >= 1 && (data[0] & 3) == 3) {
    // Code mode: (code word, kind, value) triples put whole words into the template's code:
    // command numbers, slot ids of every band, code positions, plain numbers, raw words.
    program = kTemplate;
    const uint32_t G = qvasm::WordAt(program, 7);
    const uint32_t codeWords = static_cast<uint32_t>((program.size() / 4 - G) / 2);
    for (size_t k = 1; k + 2 < size; k += 3) {
      const uint32_t at = data[k] % codeWords, v = data[k + 2];
      static const uint32_t kCommands[] = {kJump, kJumpIfZero, kForStep, kCallFunction, kReturnInt, kReturnNothing,
                                           kGosub, kReturn, kAddII, kLessII, kJoinText, kAssignText, kReadText,
                                           kRestoreAt, kDimArray1, kArrayElement1, kStoreElementInt, kPrintText, 0};
      uint32_t word = v;
      switch (data[k + 1] % 5) {
        case 0: word = kCommands[v % std::size(kCommands)]; break;
        case 1: word = 10000 + (v * 59) % 15000; break;  // any slot band
        case 2: word = 37000 + v % (codeWords + 2); break;  // code positions, a few past the end
        case 3: word = 25000 + v; break;
        default: break;
      }
      qvasm::PutWordAt(program, G + at, word);
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
