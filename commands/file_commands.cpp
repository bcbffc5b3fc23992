// Numbered files 1..32: open to read or to write, typed reads into variables and array
// elements, typed writes, and packed entries and packed folders carried inside these files.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "commands/commands.h"
#include "commands/commands_local.h"
#include "graphics2d/graphics2d.h"
#include "platform/files.h"
#include "runtime/command_numbers.h"

constexpr int kMaxFiles = 32;
// Each open number reads and writes through a buffer of its own: a line read takes no system
// call of its own, and neither does a value written.
constexpr size_t kFileBufferBytes = 64 * 1024;

// One numbered file. Open to read, buffer[at, end) holds bytes read from the file and not yet
// taken; open to write, buffer[0, end) holds bytes written by the program and not yet by the
// system. What a program reads and writes is the same as without the buffer: writes reach the
// file before any read, before a command that looks at a file by its name, and at the close.
struct NumberedFile {
  int fd = -1;  // -1 when closed (0 is a valid descriptor)
  bool writing = false;
  uint8_t atEnd = 0;  // a read came short; a later read that finds the file grown clears it
  size_t at = 0, end = 0;
  std::string name;       // as the program gave it, for the messages
  std::string writeWhy;   // a write that failed outside the number's own commands, told at its next one
  std::unique_ptr<char[]> buffer;  // kFileBufferBytes, made at the first open; kept for the process
};

// Closed (every descriptor -1) at the end of every run.
static struct {
  NumberedFile files[kMaxFiles + 1];
} gFiles;

// Writes what the number holds back; false with the reason kept when the system refused it.
static bool WriteHeldBytes(NumberedFile& file) {
  if (!file.writing || file.end == 0) return true;
  const bool ok = PlatformWriteBytes(file.fd, file.buffer.get(), file.end);
  if (!ok) file.writeWhy = PlatformLastError();
  file.end = 0;
  return ok;
}

void FlushNumberedFileWrites() {
  for (int i = 1; i <= kMaxFiles; ++i)
    if (gFiles.files[i].fd >= 0) WriteHeldBytes(gFiles.files[i]);
}

// A failed read or write names the file and the reason, then raises 8211 or 8212.
static void TellFileFailure(const NumberedFile& file, bool writing, const std::string& why) {
  WriteEngineErrorLog((std::string(writing ? "cannot write " : "cannot read ") + file.name + ": " + why).c_str());
  RuntimeWarning(writing ? 8212 : 8211);
}

// Tells a write that failed since the number's last command (8212); false when there was one.
static bool TellHeldWriteFailure(NumberedFile& file) {
  if (file.writeWhy.empty()) return true;
  TellFileFailure(file, true, file.writeWhy);
  file.writeWhy.clear();
  return false;
}

static void CloseNumberedFile(NumberedFile& file) {
  WriteHeldBytes(file);
  PlatformCloseFile(file.fd);
  file.fd = -1;
  file.writing = false;
  file.atEnd = 0;
  file.at = file.end = 0;
  file.writeWhy.clear();
}

void CloseAllFileHandles() {
  for (int i = 1; i <= kMaxFiles; ++i) CloseNumberedFile(gFiles.files[i]);
}

// ---- read targets ----

// The slot a value read goes to: a variable of the kind itself, the element behind a
// temporary of the kind, or the temporary itself when it has none (*bare); null elsewhere.
static VariableSlot* ReadTargetSlot(int operand, int firstTemp, int firstVar, bool* bare) {
  VariableSlot* slot = SlotOperand(operand);
  const int index = SlotIndexOf(slot);
  *bare = false;
  if (index >= firstVar && index < firstVar + 2000) return slot;
  if (index < firstTemp || index >= firstTemp + 1000) return nullptr;
  if (ElementAddressTable[index] != nullptr) return ElementAddressTable[index];
  *bare = true;
  return slot;
}

// A number for a temporary without an element is dropped: the temporary gets 0.
void StoreReadInt(int operand, int32_t value) {
  bool bare;
  if (VariableSlot* slot = ReadTargetSlot(operand, kFirstIntTemp, kFirstIntVar, &bare)) slot->asInt = bare ? 0 : value;
}

void StoreReadFloat(int operand, float value) {
  bool bare;
  if (VariableSlot* slot = ReadTargetSlot(operand, kFirstFloatTemp, kFirstFloatVar, &bare))
    slot->asFloat = bare ? 0.0f : value;
}

void StoreReadText(int operand, const char* text, size_t length) {
  bool bare;
  if (VariableSlot* slot = ReadTargetSlot(operand, kFirstTextTemp, kFirstTextVar, &bare))
    StoreTextOfLength(slot, text, length);
}

// ---- the handle table ----

// The file's descriptor, or -1 after raising 8213 (number outside 1..32) or, when it must be
// open, 8204.
static int FileOf(int32_t file, bool mustBeOpen = true) {
  if (file < 1 || file > kMaxFiles) return RuntimeWarning(8213), -1;
  if (mustBeOpen && gFiles.files[file].fd < 0) return RuntimeWarning(8204), -1;
  return gFiles.files[file].fd;
}

// Fills the empty read buffer with what the file has now (the numbered files' writes first,
// so a file written on another number reads as written): bytes got, 0 at the file's end (a
// later call looks again, for a file another program makes longer), -1 when the read failed.
static long RefillBuffer(NumberedFile& file) {
  FlushNumberedFileWrites();
  file.at = file.end = 0;
  const long n = PlatformReadSome(file.fd, file.buffer.get(), kFileBufferBytes);
  if (n > 0) {
    file.end = static_cast<size_t>(n);
    file.atEnd = 0;
  }
  return n;
}

// Takes up to count bytes (into out when not null, else dropped); fewer at the file's end.
// -1 after the system refused a read; a number open to write gives nothing.
static long TakeBytes(NumberedFile& file, void* out, size_t count) {
  if (file.writing) return 0;
  char* to = static_cast<char*>(out);
  size_t taken = 0;
  while (taken < count) {
    if (file.at == file.end) {
      // A large packed entry goes straight from the file into its place.
      if (to != nullptr && count - taken >= kFileBufferBytes) {
        FlushNumberedFileWrites();
        const long n = PlatformReadBytes(file.fd, to + taken, count - taken);
        if (n < 0) return -1;
        if (n > 0) file.atEnd = 0;
        return static_cast<long>(taken) + n;
      }
      const long n = RefillBuffer(file);
      if (n < 0) return -1;
      if (n == 0) break;
    }
    const size_t n = std::min(count - taken, file.end - file.at);
    if (to != nullptr) std::memcpy(to + taken, file.buffer.get() + file.at, n);
    file.at += n;
    taken += n;
  }
  return static_cast<long>(taken);
}

// Reads count bytes of a typed value (zeros for those that did not come): end of file when
// fewer came, 8211 when the read failed or the number is open to write.
static void ReadInto(int32_t file, void* buffer, size_t count) {
  NumberedFile& numbered = gFiles.files[file];
  std::memset(buffer, 0, count);
  if (numbered.writing) return TellFileFailure(numbered, false, "it is open for writing");
  const long n = TakeBytes(numbered, buffer, count);
  if (n < 0) TellFileFailure(numbered, false, PlatformLastError());
  else if (static_cast<size_t>(n) < count) numbered.atEnd = 1;
}

// Takes the number for a newly opened descriptor: buffer empty, end flag clear.
static void StartNumberedFile(int32_t file, int fd, bool writing, const char* name) {
  NumberedFile& numbered = gFiles.files[file];
  if (numbered.buffer == nullptr) numbered.buffer = std::make_unique<char[]>(kFileBufferBytes);
  numbered.fd = fd;
  numbered.writing = writing;
  numbered.atEnd = 0;
  numbered.at = numbered.end = 0;
  numbered.name = name;
  numbered.writeWhy.clear();
}

static void CmdFileOpenToRead() {  // file, name
  const int32_t file = IntOperand(0);
  const char* name = TextOperand(1);
  AdvanceOperands(2);
  if (file < 1 || file > kMaxFiles) return RuntimeWarning(8213);
  if (gFiles.files[file].fd >= 0) return RuntimeWarning(8203);
  if (!FileExists(name)) return RuntimeWarning(105);
  std::string path = name;
  ResolvePackagedFile(path, "dat");
  FlushNumberedFileWrites();  // the file may be open on another number to write
  const int fd = PlatformOpenFileToRead(MapProgramPath(path.c_str()));
  if (fd < 0) return RuntimeWarning(8201);
  StartNumberedFile(file, fd, false, name);
}

static void CmdFileOpenToWrite() {  // file, name
  const int32_t file = IntOperand(0);
  const char* name = TextOperand(1);
  AdvanceOperands(2);
  if (file < 1 || file > kMaxFiles) return RuntimeWarning(8213);
  if (gFiles.files[file].fd >= 0) return RuntimeWarning(8203);
  const std::string path = MapProgramPath(name);
  if (FileExists(name) || PlatformPathExists(path)) return RuntimeWarning(106);
  const int fd = PlatformCreateNewFile(path);
  if (fd < 0) return RuntimeWarning(8202);
  StartNumberedFile(file, fd, true, name);
}

// The held writes go to the file first: one the system refuses is told (8212) and the
// number closes all the same.
static void CmdFileClose() {  // file
  const int32_t file = IntOperand(0);
  AdvanceOperands(1);
  if (FileOf(file) < 0) return;
  NumberedFile& numbered = gFiles.files[file];
  WriteHeldBytes(numbered);
  const std::string why = numbered.writeWhy;
  CloseNumberedFile(numbered);
  if (!why.empty()) TellFileFailure(numbered, true, why);
}

template <int Bytes>
static void CmdFileReadNumber() {  // file, integer target: bytes unsigned, or a signed long
  const int32_t file = IntOperand(0);
  if (FileOf(file) >= 0) {
    uint8_t bytes[4];
    ReadInto(file, bytes, Bytes);
    uint32_t value = 0;
    for (int i = Bytes - 1; i >= 0; --i) value = value << 8 | bytes[i];
    StoreReadInt(1, static_cast<int32_t>(value));
  }
  AdvanceOperands(2);
}

static void CmdFileReadFloat() {  // file, float target
  const int32_t file = IntOperand(0);
  if (FileOf(file) >= 0) {
    uint8_t bytes[4];
    ReadInto(file, bytes, 4);
    const uint32_t bits = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                          static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    float value;
    std::memcpy(&value, &bits, 4);
    StoreReadFloat(1, value);
  }
  AdvanceOperands(2);
}

// A line of text: bytes of 32 and up, ended by the first byte below 32 (not kept; a CR takes
// the LF right after it along, and only an LF) or the end of the file. A line over 255
// characters goes on in the next read.
static void ReadLine(NumberedFile& file, char* text, size_t* length) {
  *length = 0;
  if (file.writing) return TellFileFailure(file, false, "it is open for writing");
  while (*length < static_cast<size_t>(kMaxTextLength)) {
    if (file.at == file.end) {
      const long n = RefillBuffer(file);
      if (n < 0) return TellFileFailure(file, false, PlatformLastError());
      if (n == 0) {
        file.atEnd = 1;
        return;
      }
    }
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(file.buffer.get()) + file.at;
    const size_t limit = std::min(file.end - file.at, static_cast<size_t>(kMaxTextLength) - *length);
    size_t i = 0;
    while (i < limit && bytes[i] >= 32) ++i;
    std::memcpy(text + *length, bytes, i);
    *length += i;
    file.at += i;
    if (i == limit) continue;
    file.at += 1;  // the byte that ends the line
    if (bytes[i] != 13) return;
    if (file.at == file.end) {
      const long n = RefillBuffer(file);
      if (n < 0) return TellFileFailure(file, false, PlatformLastError());
      if (n == 0) file.atEnd = 1;
    }
    if (file.at < file.end && file.buffer[file.at] == 10) file.at += 1;
    return;
  }
}

static void CmdFileReadString() {  // file, text target
  const int32_t file = IntOperand(0);
  if (FileOf(file) >= 0) {
    char text[kMaxTextLength + 1];
    size_t length = 0;
    ReadLine(gFiles.files[file], text, &length);
    StoreReadText(1, text, length);
  }
  AdvanceOperands(2);
}

static void CmdFileSkipBytes() {  // file, count
  const int32_t file = IntOperand(0);
  const int32_t count = IntOperand(1);
  AdvanceOperands(2);
  if (FileOf(file) < 0) return;
  NumberedFile& numbered = gFiles.files[file];
  if (count < 0) return RuntimeWarning(8211);
  if (numbered.writing) return TellFileFailure(numbered, false, "it is open for writing");
  const long n = TakeBytes(numbered, nullptr, static_cast<size_t>(count));
  if (n < 0) return TellFileFailure(numbered, false, PlatformLastError());
  if (n < count) numbered.atEnd = 1;
}

// Writes bytes through the number's buffer; false after naming the file and the reason (8212)
// when the system refused them (or the number is open to read).
static bool PutBytes(int32_t file, const void* data, size_t count) {
  NumberedFile& numbered = gFiles.files[file];
  if (!numbered.writing) return TellFileFailure(numbered, true, "it is open for reading"), false;
  if (!TellHeldWriteFailure(numbered)) return false;
  if (numbered.end + count > kFileBufferBytes && !WriteHeldBytes(numbered)) return TellHeldWriteFailure(numbered);
  if (count >= kFileBufferBytes) {  // a large packed file goes straight to the file
    if (PlatformWriteBytes(numbered.fd, data, count)) return true;
    return TellFileFailure(numbered, true, PlatformLastError()), false;
  }
  std::memcpy(numbered.buffer.get() + numbered.end, data, count);
  numbered.end += count;
  return true;
}

static bool PutWord(int32_t file, uint32_t value, int bytes = 4) {
  const uint8_t le[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                         static_cast<uint8_t>(value >> 24)};
  return PutBytes(file, le, static_cast<size_t>(bytes));
}

template <int Bytes>
static void CmdFileWriteNumber() {  // file, value: the low bytes
  const int32_t file = IntOperand(0);
  const uint32_t value = static_cast<uint32_t>(IntOperand(1));
  AdvanceOperands(2);
  if (FileOf(file) >= 0) PutWord(file, value, Bytes);
}

static void CmdFileWriteFloat() {  // file, value
  const int32_t file = IntOperand(0);
  const float value = FloatOperand(1);
  AdvanceOperands(2);
  if (FileOf(file) < 0) return;
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  PutWord(file, bits);
}

static void CmdFileWriteString() {  // file, text: the text, then CR LF
  const int32_t file = IntOperand(0);
  const char* text = TextOperand(1);
  AdvanceOperands(2);
  if (FileOf(file) >= 0 && PutBytes(file, text, TextLength(text))) PutBytes(file, "\r\n", 2);
}

// ---- packed entries and folders ----

// Reads through the numbered file and its buffer; Left is what remains of the file.
struct FilePackSource : PackSource {
  NumberedFile& file;
  explicit FilePackSource(NumberedFile& numbered) : file(numbered) {}
  size_t Read(void* buffer, size_t count) override {
    const long n = TakeBytes(file, buffer, count);
    return n < 0 ? 0 : static_cast<size_t>(n);
  }
  uint64_t Left() override {
    if (file.writing) return 0;
    const int64_t left = PlatformBytesLeft(file.fd);
    return (left < 0 ? 0 : static_cast<uint64_t>(left)) + (file.end - file.at);
  }
};

// Makes the folders of a path's folder part (below base, "" = the current folder); false
// when one cannot be made or a part is a link.
static bool MakeFoldersOf(const std::string& base, const std::string& relative) {
  std::string path = base;
  size_t start = 0;
  for (size_t slash; (slash = relative.find('/', start)) != std::string::npos; start = slash + 1) {
    const std::string part = relative.substr(start, slash - start);
    if (part.empty()) continue;
    path += (path.empty() || path.back() == '/' ? "" : "/") + part;
    if (PlatformIsLink(path)) return false;
    if (!PlatformIsFolder(path) && !PlatformMakeFolder(path)) return false;
  }
  return true;
}

// Writes an extracted entry to a new file; an existing file stays as it is.
static void WriteExtractedFile(const std::string& path, const std::string& bytes) {
  const int fd = PlatformCreateNewFile(path);
  if (fd < 0) return;
  PlatformWriteBytes(fd, bytes.data(), bytes.size());
  PlatformCloseFile(fd);
}

static void CmdFileReadFileEntry() {  // file, name
  const int32_t file = IntOperand(0);
  const std::string name = MapProgramPath(TextOperand(1));
  AdvanceOperands(2);
  if (FileOf(file) < 0) return;
  FilePackSource source(gFiles.files[file]);
  std::string bytes;
  if (!ReadPackedEntry(source, &bytes)) {
    gFiles.files[file].atEnd = 1;
    return;
  }
  if (MakeFoldersOf(name[0] == '/' ? "/" : "", name[0] == '/' ? name.substr(1) : name)) WriteExtractedFile(name, bytes);
}

// Unpacks inside the folder (made when missing); a packed path that would leave it, a length
// beyond the file's end or a folder that cannot be entered stops the unpacking with 8211
// (8202 for the folder), and nothing is ever written outside it.
static void CmdFileReadDirectoryPack() {  // file, folder
  const int32_t file = IntOperand(0);
  std::string folder = MapProgramPath(TextOperand(1));
  AdvanceOperands(2);
  if (FileOf(file) < 0) return;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty()) folder = ".";
  if (!PlatformIsFolder(folder) && !PlatformMakeFolder(folder)) return RuntimeWarning(8202);
  FilePackSource source(gFiles.files[file]);
  const bool ok = ReadPackedFolder(source, [&](const std::string& relative, const std::string& bytes) {
    if (!MakeFoldersOf(folder, relative)) return false;
    WriteExtractedFile(folder + "/" + relative, bytes);
    return true;
  });
  if (!ok) RuntimeWarning(8211);
}

// Appends a named file, with its length first (8067) or alone (8068); a file that cannot be
// read writes nothing.
template <bool WithLength>
static void CmdFileWriteFile() {  // file, name (8068: and an unused operand)
  const int32_t file = IntOperand(0);
  const std::string name = MapProgramPath(TextOperand(1));
  AdvanceOperands(WithLength ? 2 : 3);
  if (FileOf(file) < 0) return;
  FlushNumberedFileWrites();  // the named file may be one the program is writing
  std::string bytes;
  if (!PlatformReadWholeFile(name, 0xFFFFFFFFu, &bytes)) return;
  if (!WithLength || PutWord(file, static_cast<uint32_t>(bytes.size()))) PutBytes(file, bytes.data(), bytes.size());
}

// The files below a folder at every depth, folders first walked in name order; links are
// left out. False when a folder cannot be listed.
static bool CollectPackedFiles(const std::string& folder, const std::string& prefix, std::vector<std::string>* files) {
  std::vector<PlatformFolderEntry> entries;
  if (!PlatformListFolder(folder, false, &entries)) return false;
  for (const PlatformFolderEntry& entry : entries) {
    const std::string path = folder + "/" + entry.name;
    if (PlatformIsLink(path)) continue;
    if (entry.folder) {
      if (!CollectPackedFiles(path, prefix + entry.name + "/", files)) return false;
    } else {
      files->push_back(prefix + entry.name);
    }
  }
  return true;
}

// Writes the folder as a packed folder. Every file is read before its record is written,
// and one that cannot be read fails the pack (8212) instead of leaving a record without data.
static void CmdFileWriteDirectoryPack() {  // file, folder
  const int32_t file = IntOperand(0);
  std::string folder = MapProgramPath(TextOperand(1));
  AdvanceOperands(2);
  if (FileOf(file) < 0) return;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  FlushNumberedFileWrites();
  std::vector<std::string> files;
  if (!CollectPackedFiles(folder, "", &files)) return RuntimeWarning(8212);
  for (const std::string& relative : files)
    if (PlatformFileSize(folder + "/" + relative) < 0 || PlatformFileSize(folder + "/" + relative) > 0xFFFFFFFFll)
      return RuntimeWarning(8212);
  if (!PutWord(file, static_cast<uint32_t>(files.size()))) return;
  std::string bytes;
  for (const std::string& relative : files) {
    std::string packed = relative;
    for (char& c : packed)
      if (c == '/') c = '\\';
    if (!PlatformReadWholeFile(folder + "/" + relative, 0xFFFFFFFFu, &bytes)) return RuntimeWarning(8212);
    if (!PutWord(file, static_cast<uint32_t>(packed.size() + 1)) || !PutBytes(file, packed.c_str(), packed.size() + 1) ||
        !PutWord(file, static_cast<uint32_t>(bytes.size())) || !PutBytes(file, bytes.data(), bytes.size()))
      return;
  }
}

// ---- queries ----

static void CmdFileIsOpen() {  // result, file
  const int32_t file = IntOperand(1);
  if (file < 1 || file > kMaxFiles) RuntimeWarning(8213);
  else WriteIntResult(gFiles.files[file].fd >= 0 ? 1 : 0);
  AdvanceOperands(2);
}

static void CmdFileAtEnd() {  // result, file
  const int32_t file = IntOperand(1);
  if (file < 1 || file > kMaxFiles) RuntimeWarning(8213);
  else WriteIntResult(gFiles.files[file].atEnd);
  AdvanceOperands(2);
}

static const CommandEntry kFileCommands[] = {
    {kFileOpenToRead, CmdFileOpenToRead},
    {kFileOpenToWrite, CmdFileOpenToWrite},
    {kFileClose, CmdFileClose},
    {kFileReadByte, CmdFileReadNumber<1>},
    {kFileReadWord, CmdFileReadNumber<2>},
    {kFileReadLong, CmdFileReadNumber<4>},
    {kFileReadLongAlias, CmdFileReadNumber<4>},
    {kFileReadFloat, CmdFileReadFloat},
    {kFileReadString, CmdFileReadString},
    {kFileReadFileEntry, CmdFileReadFileEntry},
    {kFileSkipBytes, CmdFileSkipBytes},
    {kFileReadDirectoryPack, CmdFileReadDirectoryPack},
    {kFileWriteByte, CmdFileWriteNumber<1>},
    {kFileWriteWord, CmdFileWriteNumber<2>},
    {kFileWriteLong, CmdFileWriteNumber<4>},
    {kFileWriteLongAlias, CmdFileWriteNumber<4>},
    {kFileWriteFloat, CmdFileWriteFloat},
    {kFileWriteString, CmdFileWriteString},
    {kFileWriteFileEntry, CmdFileWriteFile<true>},
    {kFileWriteFileBytes, CmdFileWriteFile<false>},
    {kFileWriteDirectoryPack, CmdFileWriteDirectoryPack},
    {kFileIsOpen, CmdFileIsOpen},
    {kFileAtEnd, CmdFileAtEnd},
};

bool RegisterFileCommands() { return RegisterCommands(kFileCommands); }
