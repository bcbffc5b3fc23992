// Files and folders: the current folder, one folder scan with its current entry, listings on
// the screen and in the checklist, drives, making, copying, renaming and deleting files and
// folders, a byte inside a file, and running other programs.
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/commands_local.h"
#include "graphics2d/graphics2d.h"
#include "platform/file_replace.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "runtime/command_numbers.h"

// The folder scan: the current folder's entries ("." and ".." included) when it started.
// Lives across runs like the current folder itself; result -1 when over or never started.
static struct {
  bool started = false;
  std::vector<PlatformFolderEntry> entries;
  size_t index = 0;
  int result = -1;
} gScan;

static void CmdFileSetDir() {  // folder
  const std::string folder = MapProgramPath(TextOperand(0));
  AdvanceOperands(1);
  if (!PlatformChangeFolder(folder)) RuntimeError(8003);
}

static void CmdFileDir() {
  std::vector<PlatformFolderEntry> entries;
  if (!PlatformListFolder(".", true, &entries)) return RuntimeWarning(8001);
  PrintAtCursor((PlatformCurrentFolder() + ":").c_str(), true);
  for (const PlatformFolderEntry& entry : entries)
    PrintAtCursor(((entry.folder ? "<dir>" : "") + entry.name).c_str(), true);
  EndSliceAfterDrawing();
}

static void CmdFileDriveList() {
  for (const std::string& drive : PlatformDrives()) PrintAtCursor(drive.c_str(), true);
  EndSliceAfterDrawing();
}

static void CmdFileChecklistFiles() {
  std::vector<PlatformFolderEntry> entries;
  if (!PlatformListFolder(".", true, &entries)) return RuntimeWarning(8001);
  StartChecklist(true, true, true);
  for (const PlatformFolderEntry& entry : entries)
    if (!AddChecklistEntry(entry.name.c_str(), entry.folder ? 1 : 0)) break;  // the list holds 512
}

static void CmdFileChecklistDrives() {
  StartChecklist(true, false, true);
  for (const std::string& drive : PlatformDrives())
    if (!AddChecklistEntry(drive.c_str())) break;
}

static void CmdFileFindFirst() {
  gScan.started = false;
  gScan.result = -1;
  if (!PlatformListFolder(".", true, &gScan.entries) || gScan.entries.empty()) return RuntimeWarning(8001);
  gScan.started = true;
  gScan.index = 0;
  gScan.result = 0;
}

static void CmdFileFindNext() {
  if (!gScan.started) return;
  if (gScan.result == -1) return RuntimeError(8002);
  if (gScan.index + 1 < gScan.entries.size()) gScan.index++;
  else gScan.result = -1;
}

static void CmdFileEntryName() {  // result
  WriteTextResult(gScan.started ? gScan.entries[gScan.index].name.c_str() : "");
  AdvanceOperands(1);
}

static void CmdFileEntryType() {  // result
  WriteIntResult(gScan.started && gScan.result != -1 ? (gScan.entries[gScan.index].folder ? 1 : 0) : -1);
  AdvanceOperands(1);
}

static void CmdFileEntryDate() {  // result
  WriteTextResult(gScan.started ? PlatformTimeText(gScan.entries[gScan.index].writeTime).c_str() : "");
  AdvanceOperands(1);
}

static void CmdFileCurrentDir() {  // result: a folder over 255 characters is error 107
  WriteTextResult(PlatformCurrentFolder().c_str());
  AdvanceOperands(1);
}

static void CmdFileMake() {  // name
  const std::string path = MapProgramPath(TextOperand(0));
  AdvanceOperands(1);
  const int fd = PlatformCreateNewFile(path);
  if (fd < 0) return RuntimeWarning(8021);
  PlatformCloseFile(fd);
}

static void CmdFileDelete() {  // name
  const char* name = TextOperand(0);
  AdvanceOperands(1);
  if (!DeleteFileIfExists(name)) RuntimeWarning(8022);
}

static void CmdFileCopy() {  // source, target
  const char* source = TextOperand(0);
  const char* target = TextOperand(1);
  AdvanceOperands(2);
  if (!FileExists(source)) return RuntimeWarning(105);
  FlushNumberedFileWrites();
  std::string path = source;
  ResolvePackagedFile(path, "dat");
  if (!PlatformCopyFileNoReplace(MapProgramPath(path.c_str()), MapProgramPath(target))) RuntimeWarning(106);
}

// Rename (8024) and move (8025) alike: never over an existing name.
template <int Failure>
static void CmdFileRename() {  // old, new
  const std::string from = MapProgramPath(TextOperand(0));
  const char* to = TextOperand(1);
  AdvanceOperands(2);
  const std::string target = MapProgramPath(to);
  if (FileExists(to) || PlatformPathExists(target)) return RuntimeWarning(106);
  FlushNumberedFileWrites();
  if (!PlatformRenameNoReplace(from, target)) RuntimeWarning(Failure);
}

// The whole file's bytes, or false after raising 105 when it does not exist.
static bool ReadNamedFile(const char* name, std::string* path, std::string* bytes) {
  if (!FileExists(name)) return RuntimeWarning(105), false;
  FlushNumberedFileWrites();
  *path = name;
  ResolvePackagedFile(*path, "dat");
  *path = MapProgramPath(path->c_str());
  return PlatformReadWholeFile(*path, 0x7FFFFFFF, bytes);
}

static void CmdFileWriteByteAt() {  // name, position, value
  const char* name = TextOperand(0);
  const int32_t position = IntOperand(1);
  const int32_t value = IntOperand(2);
  AdvanceOperands(3);
  std::string path, bytes;
  if (!ReadNamedFile(name, &path, &bytes)) return;
  if (position >= 0 && static_cast<size_t>(position) < bytes.size()) bytes[static_cast<size_t>(position)] = static_cast<char>(value);
  // The whole content replaces the file at once (a read-only file is left alone): a full disk
  // or a kill half-way keeps the old file, and the failure names the file and the reason.
  std::string why;
  if (PlatformReplaceFile(path, bytes.data(), bytes.size(), false, &why)) return;
  WriteEngineErrorLog((std::string("cannot write ") + name + ": " + why).c_str());
  RuntimeWarning(8212);
}

static void CmdFileReadByteAt() {  // result, name, position: -128..127, 0 outside the file
  const char* name = TextOperand(1);
  const int32_t position = IntOperand(2);
  std::string path, bytes;
  if (ReadNamedFile(name, &path, &bytes))
    WriteIntResult(position >= 0 && static_cast<size_t>(position) < bytes.size()
                       ? static_cast<int8_t>(bytes[static_cast<size_t>(position)])
                       : 0);
  AdvanceOperands(3);
}

static void CmdFileMakeDir() {  // folder
  const std::string folder = MapProgramPath(TextOperand(0));
  AdvanceOperands(1);
  if (!PlatformMakeFolder(folder)) RuntimeWarning(8101);
}

template <int Operands>
static void CmdFileDeleteDir() {  // folder (8035: and an unused operand)
  const std::string folder = MapProgramPath(TextOperand(0));
  AdvanceOperands(Operands);
  if (!PlatformDeleteFolderTree(folder)) RuntimeWarning(8102);
}

template <bool Wait>
static void CmdFileExecute() {  // file, parameters, folder (8034: and an unused operand)
  const std::string file = MapProgramPath(TextOperand(0));
  const std::string parameters = TextOperand(1);
  const std::string folder = TextOperand(2)[0] != '\0' ? MapProgramPath(TextOperand(2)) : "";
  AdvanceOperands(Wait ? 4 : 3);
  FlushNumberedFileWrites();  // the program may read what this one wrote
  if (!PlatformRunProgram(file, parameters, folder, Wait)) RuntimeWarning(8103);
}

static void CmdFileExist() {  // result, name
  WriteIntResult(FileExists(TextOperand(1)) ? 1 : 0);
  AdvanceOperands(2);
}

static void CmdFileSize() {  // result, name: 0 when it cannot be read
  const char* name = TextOperand(1);
  int64_t size = 0;
  if (FileExists(name)) {
    FlushNumberedFileWrites();
    std::string path = name;
    ResolvePackagedFile(path, "dat");
    size = PlatformFileSize(MapProgramPath(path.c_str()));
  }
  WriteIntResult(size < 0 ? 0 : static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX)));
  AdvanceOperands(2);
}

static void CmdPathExist() {  // result, path
  WriteIntResult(PlatformPathExists(MapProgramPath(TextOperand(1))) ? 1 : 0);
  AdvanceOperands(2);
}

static const CommandEntry kFolderCommands[] = {
    {kFileSetDir, CmdFileSetDir},
    {kFileSetDirAlias, CmdFileSetDir},
    {kFileDir, CmdFileDir},
    {kFileDriveList, CmdFileDriveList},
    {kFileChecklistFiles, CmdFileChecklistFiles},
    {kFileChecklistDrives, CmdFileChecklistDrives},
    {kFileFindFirst, CmdFileFindFirst},
    {kFileFindNext, CmdFileFindNext},
    {kFileMake, CmdFileMake},
    {kFileDelete, CmdFileDelete},
    {kFileCopy, CmdFileCopy},
    {kFileRename, CmdFileRename<8024>},
    {kFileMove, CmdFileRename<8025>},
    {kFileWriteByteAt, CmdFileWriteByteAt},
    {kFileMakeDir, CmdFileMakeDir},
    {kFileDeleteDir, CmdFileDeleteDir<1>},
    {kFileDeleteDirTree, CmdFileDeleteDir<2>},
    {kFileExecute, CmdFileExecute<false>},
    {kFileExecuteAndWait, CmdFileExecute<true>},
    {kFileCurrentDir, CmdFileCurrentDir},
    {kFileEntryName, CmdFileEntryName},
    {kFileEntryType, CmdFileEntryType},
    {kFileEntryDate, CmdFileEntryDate},
    {kFileExist, CmdFileExist},
    {kFileSize, CmdFileSize},
    {kPathExist, CmdPathExist},
    {kFileReadByteAt, CmdFileReadByteAt},
};

bool RegisterFolderCommands() { return RegisterCommands(kFolderCommands); }
