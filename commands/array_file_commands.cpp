// Array files: a whole array saved to a file and loaded back, integers and floats as raw
// little-endian words, texts as CR LF lines. The array comes from the element access the
// compiler places just before the command.
#include <cstring>
#include <string>

#include "commands/commands.h"
#include "commands/commands_local.h"
#include "graphics2d/graphics2d.h"
#include "platform/file_replace.h"
#include "platform/files.h"
#include "runtime/command_numbers.h"

// The array slot of the access before the command: its array operand sits three words
// before the command's first operand. -1 after raising 109 when that slot holds no array of
// the command's kind (its variables start at firstVar).
static int ArraySlotOfCommand(int firstVar) {
  const int slot = SlotIndexOf(reinterpret_cast<const VariableSlot*>(OperandPointer[-3]));
  if (slot < firstVar || slot >= firstVar + 2000 || ArrayElementCount(slot) <= 0) return RuntimeError(109), -1;
  return slot;
}

static VariableSlot* ElementsOf(int slot) { return static_cast<VariableSlot*>(VariableTable[slot].asBlock); }

// The file's bytes (through the package); false after raising 104 when it cannot be read.
// A missing file is made empty and reads as no bytes, so a first run's "load the high
// scores" finds zeros (or empty texts) and a file to save into later.
static bool ReadArrayFile(const char* name, std::string* bytes) {
  FlushNumberedFileWrites();
  std::string path = name;
  const bool packaged = ResolvePackagedFile(path, "dat");
  const std::string mapped = MapProgramPath(path.c_str());
  if (!packaged && !PlatformPathExists(mapped)) {
    const int made = PlatformCreateNewFile(mapped);
    if (made < 0) return RuntimeError(104), false;
    PlatformCloseFile(made);
    bytes->clear();
    return true;
  }
  if (!PlatformReadWholeFile(mapped, 0x7FFFFFFF, bytes)) return RuntimeError(104), false;
  return true;
}

template <int FirstVar>
static void CmdLoadArrayWords() {  // file, access temporary: integers or floats alike
  const char* name = TextOperand(0);
  const int slot = ArraySlotOfCommand(FirstVar);
  AdvanceOperands(2);
  std::string bytes;
  if (slot < 0 || !ReadArrayFile(name, &bytes)) return;
  const int32_t count = ArrayElementCount(slot);
  VariableSlot* elements = ElementsOf(slot);
  const size_t words = std::min<size_t>(static_cast<size_t>(count), bytes.size() / 4);
  for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
    uint32_t word = 0;
    if (i < words)
      for (int b = 3; b >= 0; --b) word = word << 8 | static_cast<uint8_t>(bytes[i * 4 + static_cast<size_t>(b)]);
    elements[i].raw = 0;
    elements[i].asInt = static_cast<int32_t>(word);
  }
}

static void CmdLoadArrayString() {  // file, access temporary
  const char* name = TextOperand(0);
  const int slot = ArraySlotOfCommand(kFirstTextVar);
  AdvanceOperands(2);
  std::string bytes;
  if (slot < 0 || !ReadArrayFile(name, &bytes)) return;
  const int32_t count = ArrayElementCount(slot);
  const std::vector<std::string> lines = SplitArrayFileLines(bytes, static_cast<size_t>(count));
  VariableSlot* elements = ElementsOf(slot);
  for (size_t i = 0; i < lines.size(); ++i)
    if (!StoreTextOfLength(&elements[i], lines[i].data(), lines[i].size())) return;  // out of memory: the run ends
}

// Replaces the file whole, never through the package: the new content goes to a file beside
// it that is renamed over it once complete, so a full disk keeps the old file and a game
// reading it meanwhile sees the old or the new one, never a part. 104 when it cannot be
// written, the message ending with the file's name and the reason.
static void SaveArrayBytes(const char* name, const std::string& bytes) {
  std::string why;
  if (PlatformReplaceFile(MapProgramPath(name), bytes.data(), bytes.size(), false, &why)) return;
  WriteEngineErrorLog((std::string("cannot write ") + name + ": " + why).c_str());
  RuntimeError(104);
}

template <int FirstVar>
static void CmdSaveArrayWords() {  // file, access temporary
  const char* name = TextOperand(0);
  const int slot = ArraySlotOfCommand(FirstVar);
  AdvanceOperands(2);
  if (slot < 0) return;
  const int32_t count = ArrayElementCount(slot);
  const VariableSlot* elements = ElementsOf(slot);
  std::string bytes(static_cast<size_t>(count) * 4, '\0');
  for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
    const uint32_t word = static_cast<uint32_t>(elements[i].asInt);
    for (int b = 0; b < 4; ++b) bytes[i * 4 + static_cast<size_t>(b)] = static_cast<char>(word >> (8 * b));
  }
  SaveArrayBytes(name, bytes);
}

static void CmdSaveArrayString() {  // file, access temporary
  const char* name = TextOperand(0);
  const int slot = ArraySlotOfCommand(kFirstTextVar);
  AdvanceOperands(2);
  if (slot < 0) return;
  const int32_t count = ArrayElementCount(slot);
  const VariableSlot* elements = ElementsOf(slot);
  std::string bytes;
  for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
    if (elements[i].asText != nullptr) bytes.append(elements[i].asText, TextLength(elements[i].asText));
    bytes += "\r\n";
  }
  SaveArrayBytes(name, bytes);
}

static const CommandEntry kArrayFileCommands[] = {
    {kLoadArray, CmdLoadArrayWords<kFirstIntVar>},
    {kLoadArrayFloat, CmdLoadArrayWords<kFirstFloatVar>},
    {kLoadArrayString, CmdLoadArrayString},
    {kSaveArray, CmdSaveArrayWords<kFirstIntVar>},
    {kSaveArrayFloat, CmdSaveArrayWords<kFirstFloatVar>},
    {kSaveArrayString, CmdSaveArrayString},
};

bool RegisterArrayFileCommands() { return RegisterCommands(kArrayFileCommands); }
