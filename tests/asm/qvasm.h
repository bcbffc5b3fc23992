// The word-level assembler for tests: builds compiled program files (and packages) from
// named commands, ids and labels, so no test counts words by hand.
//
// Use:
//   qvasm::ProgramBuilder b;
//   int n = b.IntVar();                        // an int variable id (13000 + i)
//   auto loop = b.NewLabel();
//   b.Emit(kAssignInt, {b.Id(n), b.Id(b.IntConst(1))});
//   b.Bind(loop);                              // the next code word
//   b.Emit(kJump, {b.At(loop)});               // a code position, patched when built
//   std::vector<uint8_t> file = b.Build();     // the compiled program, closed by word 0
//
// Ids follow the compiled program's bands: IntTemp/FloatTemp/TextTemp 10000/11000/12000 + n,
// variables from 13000/15000/17000, constants from 19000/21000/23000 (deduplicated);
// Number(n) is the plain number n (25000 + n); At(label) a code position (37000 + word).
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "platform/package_format.h"

namespace qvasm {

struct Label {
  int index = -1;
};

// One operand word: a raw value, or a code position still to be resolved.
struct Word {
  uint32_t value = 0;
  int label = -1;  // >= 0: the word is 37000 + the label's code position
};

class ProgramBuilder {
 public:
  // Constants (the same value gives the same id) and variables owned by a FUNCTION id
  // (0 = the main program).
  int IntConst(int32_t value);
  int FloatConst(float value);
  int TextConst(const std::string& text);
  int IntVar(uint32_t owner = 0);
  int FloatVar(uint32_t owner = 0);
  int TextVar(uint32_t owner = 0);
  static int IntTemp(int n) { return 10000 + n; }
  static int FloatTemp(int n) { return 11000 + n; }
  static int TextTemp(int n) { return 12000 + n; }
  // DATA items, in order.
  void DataInt(int32_t value);
  void DataFloat(float value);
  void DataText(const std::string& text);

  // Operand words.
  static Word Id(int id) { return Word{static_cast<uint32_t>(id), -1}; }
  static Word Number(int n) { return Word{static_cast<uint32_t>(25000 + n), -1}; }
  static Word Raw(uint32_t value) { return Word{value, -1}; }
  static Word At(Label label) { return Word{0, label.index}; }

  Label NewLabel();
  // Binds the label to the next code word.
  void Bind(Label label);
  int Here() const { return static_cast<int>(code_.size()); }
  // A command word followed by its operand words; line is the line table's entry.
  void Emit(int command, std::initializer_list<Word> operands = {}, int line = 0);
  // Plain words (a FUNCTION's parameter list and id word).
  void Words(std::initializer_list<Word> words, int line = 0);

  // The compiled program file; a closing word 0 is added unless closeWithZero is false.
  std::vector<uint8_t> Build(bool closeWithZero = true) const;

 private:
  std::vector<int32_t> ints_;
  std::vector<float> floats_;
  std::vector<std::string> texts_;
  std::vector<uint32_t> owners_[3];
  std::vector<char> dataTypes_;
  std::vector<uint32_t> dataWords_;
  std::vector<Word> code_;
  std::vector<int> lines_;
  std::vector<int> labels_;
};

// An executable image: the stub's bytes followed by a package of the entries (first entry
// usually the compiled program, named "_exefile.dat").
std::vector<uint8_t> BuildPackagedExecutable(
    const std::vector<uint8_t>& stub, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries);

// The package of the entries to append to a player file of stubSize bytes whose bytes went
// through stubSum, for tests that write a game after a large player without holding it whole.
std::vector<uint8_t> PackageAfter(PackageChecksum stubSum, uint32_t stubSize,
                                  const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries);

// Little-endian word access on a built file, for tests that corrupt one.
void PutWordAt(std::vector<uint8_t>& bytes, size_t wordIndex, uint32_t value);
uint32_t WordAt(const std::vector<uint8_t>& bytes, size_t wordIndex);

}  // namespace qvasm
