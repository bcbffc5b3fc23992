// Numbered files 1..32: open to read or to write, typed reads into variables and array
// elements, typed writes, and packed entries and packed folders carried inside these files.
#include <cstring>
#include <string>

#include "commands/commands.h"
#include "commands/commands_local.h"
#include "platform/files.h"
#include "runtime/command_numbers.h"

constexpr int kMaxFiles = 32;

// Cleared (every descriptor -1, 0 being a valid one) at the end of every run.
static struct FileHandleTable {
  int fd[kMaxFiles + 1];
  uint8_t atEnd[kMaxFiles + 1];  // set when a read came short; cleared only by closing
  FileHandleTable() {
    for (int& d : fd) d = -1;
    std::memset(atEnd, 0, sizeof(atEnd));
  }
} gFiles;

void CloseAllFileHandles() {
  for (int i = 1; i <= kMaxFiles; ++i) {
    PlatformCloseFile(gFiles.fd[i]);
    gFiles.fd[i] = -1;
    gFiles.atEnd[i] = 0;
  }
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
  if (mustBeOpen && gFiles.fd[file] < 0) return RuntimeWarning(8204), -1;
  return gFiles.fd[file];
}

// Reads count bytes (zeros for those that did not come); end of file when fewer came, 8211
// when the call failed.
static void ReadInto(int32_t file, void* buffer, size_t count) {
  std::memset(buffer, 0, count);
  const long n = PlatformReadBytes(gFiles.fd[file], buffer, count);
  if (n < 0) RuntimeWarning(8211);
  else if (static_cast<size_t>(n) < count) gFiles.atEnd[file] = 1;
}

static void CmdFileOpenToRead() {  // file, name
  const int32_t file = IntOperand(0);
  const char* name = TextOperand(1);
  AdvanceOperands(2);
  if (file < 1 || file > kMaxFiles) return RuntimeWarning(8213);
  if (gFiles.fd[file] >= 0) return RuntimeWarning(8203);
  if (!FileExists(name)) return RuntimeWarning(105);
  std::string path = name;
  ResolvePackagedFile(path, "dat");
  const int fd = PlatformOpenFileToRead(MapProgramPath(path.c_str()));
  if (fd < 0) return RuntimeWarning(8201);
  gFiles.fd[file] = fd;
  gFiles.atEnd[file] = 0;
}

static void CmdFileOpenToWrite() {  // file, name
  const int32_t file = IntOperand(0);
  const char* name = TextOperand(1);
  AdvanceOperands(2);
  if (file < 1 || file > kMaxFiles) return RuntimeWarning(8213);
  if (gFiles.fd[file] >= 0) return RuntimeWarning(8203);
  const std::string path = MapProgramPath(name);
  if (FileExists(name) || PlatformPathExists(path)) return RuntimeWarning(106);
  const int fd = PlatformCreateNewFile(path);
  if (fd < 0) return RuntimeWarning(8202);
  gFiles.fd[file] = fd;
  gFiles.atEnd[file] = 0;
}

static void CmdFileClose() {  // file
  const int32_t file = IntOperand(0);
  AdvanceOperands(1);
  if (FileOf(file) < 0) return;
  PlatformCloseFile(gFiles.fd[file]);
  gFiles.fd[file] = -1;
  gFiles.atEnd[file] = 0;
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

// A line of text: bytes of 32 and up, ended by the first byte below 32 (not kept; after a
// CR the LF is taken too) or the end of the file. A line over 255 characters goes on in
// the next read.
static void CmdFileReadString() {  // file, text target
  const int32_t file = IntOperand(0);
  if (FileOf(file) >= 0) {
    char text[kMaxTextLength + 1];
    size_t length = 0;
    while (length < static_cast<size_t>(kMaxTextLength)) {
      unsigned char byte = 0;
      const long n = PlatformReadBytes(gFiles.fd[file], &byte, 1);
      if (n < 0) {
        RuntimeWarning(8211);
        break;
      }
      if (n == 0) {
        gFiles.atEnd[file] = 1;
        break;
      }
      if (byte < 32) {
        if (byte == 13) {
          unsigned char lf = 0;
          if (PlatformReadBytes(gFiles.fd[file], &lf, 1) == 0) gFiles.atEnd[file] = 1;
        }
        break;
      }
      text[length++] = static_cast<char>(byte);
    }
    StoreReadText(1, text, length);
  }
  AdvanceOperands(2);
}

static void CmdFileSkipBytes() {  // file, count
  const int32_t file = IntOperand(0);
  const int32_t count = IntOperand(1);
  AdvanceOperands(2);
  if (FileOf(file) < 0) return;
  if (count < 0) return RuntimeWarning(8211);
  char buffer[4096];
  for (int32_t left = count; left > 0;) {
    const size_t want = static_cast<size_t>(std::min<int32_t>(left, sizeof(buffer)));
    const long n = PlatformReadBytes(gFiles.fd[file], buffer, want);
    if (n < 0) return RuntimeWarning(8211);
    if (static_cast<size_t>(n) < want) {
      gFiles.atEnd[file] = 1;
      return;
    }
    left -= static_cast<int32_t>(n);
  }
}

template <int Bytes>
static void CmdFileWriteNumber() {  // file, value: the low bytes
  const int32_t file = IntOperand(0);
  const uint32_t value = static_cast<uint32_t>(IntOperand(1));
  AdvanceOperands(2);
  if (FileOf(file) < 0) return;
  uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                      static_cast<uint8_t>(value >> 24)};
  if (!PlatformWriteBytes(gFiles.fd[file], bytes, Bytes)) RuntimeWarning(8212);
}

static void CmdFileWriteFloat() {  // file, value
  const int32_t file = IntOperand(0);
  const float value = FloatOperand(1);
  AdvanceOperands(2);
  if (FileOf(file) < 0) return;
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  uint8_t bytes[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits >> 16),
                      static_cast<uint8_t>(bits >> 24)};
  if (!PlatformWriteBytes(gFiles.fd[file], bytes, 4)) RuntimeWarning(8212);
}

static void CmdFileWriteString() {  // file, text: the text, then CR LF
  const int32_t file = IntOperand(0);
  const char* text = TextOperand(1);
  AdvanceOperands(2);
  if (FileOf(file) < 0) return;
  std::string line(text, TextLength(text));
  line += "\r\n";
  if (!PlatformWriteBytes(gFiles.fd[file], line.data(), line.size())) RuntimeWarning(8212);
}

// ---- packed entries and folders ----

// Reads through the numbered file's descriptor; Left is what remains of the file.
struct FilePackSource : PackSource {
  int fd;
  explicit FilePackSource(int descriptor) : fd(descriptor) {}
  size_t Read(void* buffer, size_t count) override {
    const long n = PlatformReadBytes(fd, buffer, count);
    return n < 0 ? 0 : static_cast<size_t>(n);
  }
  uint64_t Left() override {
    const int64_t left = PlatformBytesLeft(fd);
    return left < 0 ? 0 : static_cast<uint64_t>(left);
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
  FilePackSource source(gFiles.fd[file]);
  std::string bytes;
  if (!ReadPackedEntry(source, &bytes)) {
    gFiles.atEnd[file] = 1;
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
  FilePackSource source(gFiles.fd[file]);
  const bool ok = ReadPackedFolder(source, [&](const std::string& relative, const std::string& bytes) {
    if (!MakeFoldersOf(folder, relative)) return false;
    WriteExtractedFile(folder + "/" + relative, bytes);
    return true;
  });
  if (!ok) RuntimeWarning(8211);
}

static bool WriteWord(int fd, uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return PlatformWriteBytes(fd, bytes, 4);
}

// Appends a named file, with its length first (8067) or alone (8068); a file that cannot be
// read writes nothing.
template <bool WithLength>
static void CmdFileWriteFile() {  // file, name (8068: and an unused operand)
  const int32_t file = IntOperand(0);
  const std::string name = MapProgramPath(TextOperand(1));
  AdvanceOperands(WithLength ? 2 : 3);
  if (FileOf(file) < 0) return;
  std::string bytes;
  if (!PlatformReadWholeFile(name, 0xFFFFFFFFu, &bytes)) return;
  if ((WithLength && !WriteWord(gFiles.fd[file], static_cast<uint32_t>(bytes.size()))) ||
      !PlatformWriteBytes(gFiles.fd[file], bytes.data(), bytes.size()))
    RuntimeWarning(8212);
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
  std::vector<std::string> files;
  if (!CollectPackedFiles(folder, "", &files)) return RuntimeWarning(8212);
  for (const std::string& relative : files)
    if (PlatformFileSize(folder + "/" + relative) < 0 || PlatformFileSize(folder + "/" + relative) > 0xFFFFFFFFll)
      return RuntimeWarning(8212);
  const int fd = gFiles.fd[file];
  if (!WriteWord(fd, static_cast<uint32_t>(files.size()))) return RuntimeWarning(8212);
  std::string bytes;
  for (const std::string& relative : files) {
    std::string packed = relative;
    for (char& c : packed)
      if (c == '/') c = '\\';
    if (!PlatformReadWholeFile(folder + "/" + relative, 0xFFFFFFFFu, &bytes) ||
        !WriteWord(fd, static_cast<uint32_t>(packed.size() + 1)) || !PlatformWriteBytes(fd, packed.c_str(), packed.size() + 1) ||
        !WriteWord(fd, static_cast<uint32_t>(bytes.size())) || !PlatformWriteBytes(fd, bytes.data(), bytes.size()))
      return RuntimeWarning(8212);
  }
}

// ---- queries ----

static void CmdFileIsOpen() {  // result, file
  const int32_t file = IntOperand(1);
  if (file < 1 || file > kMaxFiles) RuntimeWarning(8213);
  else WriteIntResult(gFiles.fd[file] >= 0 ? 1 : 0);
  AdvanceOperands(2);
}

static void CmdFileAtEnd() {  // result, file
  const int32_t file = IntOperand(1);
  if (file < 1 || file > kMaxFiles) RuntimeWarning(8213);
  else WriteIntResult(gFiles.atEnd[file]);
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
