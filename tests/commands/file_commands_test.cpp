// Numbered files, array files and folders driven in-process with warnings on: every command
// number's errors, the operand pointer on every path, and the faults these families must not
// have (replacing files, following links, creating missing files, lists over 512 entries).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "graphics2d/graphics2d.h"
#include "runtime/command_numbers.h"
#include "tests/asm/command_call.h"
#include "tests/small_disk.h"

namespace {

namespace fs = std::filesystem;
using qvasm::kIntResult;
using qvasm::kTextResult;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class FileCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qv-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    start_ = fs::current_path();
    fs::current_path(folder_);
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterFileCommands() && RegisterArrayFileCommands() && RegisterFolderCommands() &&
                RegisterChecklistCommands());
  }
  void TearDown() override {
    CloseAllFileHandles();
    ClearCommandRegistry();
    fs::current_path(start_);
    fs::remove_all(folder_);
  }
  // An integer array of count elements in the first integer variable slot, its memory counted
  // as DIM counts it (freeing the program gives it back).
  int MakeArray(int32_t count) {
    EXPECT_TRUE(TakeProgramMemory(AllocationFootprint(static_cast<size_t>(count) * sizeof(VariableSlot))));
    VariableTable[kFirstIntVar].asBlock = calloc(static_cast<size_t>(count), sizeof(VariableSlot));
    SetArrayElementCount(kFirstIntVar, count);
    return kFirstIntVar;
  }
  // A value read through the number into a variable (the target temporary stands for it).
  int32_t ReadInt(int command, int file) {
    ElementAddressTable[kFirstIntTemp + 1] = &VariableTable[kFirstIntVar];
    calls.Run(command, {file, 0});
    ElementAddressTable[kFirstIntTemp + 1] = nullptr;
    return VariableTable[kFirstIntVar].asInt;
  }
  float ReadFloat(int file) {
    ElementAddressTable[kFirstFloatTemp] = &VariableTable[kFirstFloatVar];
    calls.Run(kFileReadFloat, {file, 0.0});
    ElementAddressTable[kFirstFloatTemp] = nullptr;
    return VariableTable[kFirstFloatVar].asFloat;
  }
  std::string ReadText(int file) {
    const VariableSlot* slot = calls.Run(kFileReadString, {file, ""}).at(1);
    return slot->asText != nullptr ? slot->asText : "";
  }
  std::string folder_;
  fs::path start_;
  qvasm::CommandCaller calls;
};

TEST_F(FileCommandsTest, NumberedFileErrorsOnEveryCommand) {
  WriteAll("in.txt", "abc");
  calls.ExpectErrors({
      {kFileOpenToRead, {0, "in.txt"}, 8213},
      {kFileOpenToRead, {33, "in.txt"}, 8213},
      {kFileOpenToRead, {1, "missing.txt"}, 105},
      {kFileOpenToRead, {1, "."}, 105},
      {kFileOpenToRead, {1, "in.txt"}, 0},
      {kFileOpenToRead, {1, "in.txt"}, 8203},
      {kFileOpenToWrite, {2, "in.txt"}, 106},
      {kFileOpenToWrite, {2, "out.bin"}, 0},
      {kFileOpenToWrite, {3, "no/such/folder.bin"}, 8202},
      {kFileSkipBytes, {1, -1}, 8211},
      {kFileReadByte, {2, kIntResult}, 8211},  // a file open to write cannot be read
      {kFileWriteByte, {1, 65}, 8212},         // nor one open to read written
      {kFileWriteString, {1, "x"}, 8212},
      {kFileClose, {0}, 8213},
      {kFileClose, {5}, 8204},
  });
  EXPECT_EQ(calls.IntResult(kFileIsOpen, {kIntResult, 3}), 0);  // the failed open left it closed
  // A failed read or write names the file and why.
  calls.ExpectErrors({{kFileWriteLong, {1, 65}, 8212}});
  EXPECT_EQ(std::string(LastEngineError()), "cannot write in.txt: it is open for reading");
  calls.ExpectErrors({{kFileReadString, {2, kTextResult}, 8211}});
  EXPECT_EQ(std::string(LastEngineError()), "cannot read out.bin: it is open for writing");
  // Every other command on a number that is not open, and on one outside 1..32.
  for (int command : {kFileReadByte, kFileReadWord, kFileReadLong, kFileReadLongAlias})
    calls.ExpectErrors({{command, {9, kIntResult}, 8204}, {command, {0, kIntResult}, 8213}});
  calls.ExpectErrors({{kFileReadFloat, {9, qvasm::kFloatResult}, 8204}, {kFileReadString, {9, kTextResult}, 8204}});
  for (int command : {kFileReadFileEntry, kFileReadDirectoryPack, kFileWriteString, kFileWriteFileEntry,
                      kFileWriteDirectoryPack})
    calls.ExpectErrors({{command, {9, "x"}, 8204}, {command, {40, "x"}, 8213}});
  for (int command : {kFileSkipBytes, kFileWriteByte, kFileWriteWord, kFileWriteLong, kFileWriteLongAlias})
    calls.ExpectErrors({{command, {9, 1}, 8204}, {command, {-1, 1}, 8213}});
  calls.ExpectErrors({{kFileWriteFloat, {9, 1.5}, 8204},
                      {kFileWriteFileBytes, {9, "in.txt", 0}, 8204},
                      {kFileIsOpen, {kIntResult, 0}, 8213},
                      {kFileAtEnd, {kIntResult, 33}, 8213}});
  // Reading past the end: zeros for the missing bytes, and the end flag until the close.
  EXPECT_EQ(calls.Run(kFileReadLong, {1, kIntResult}).at(1)->asInt, 0);  // a bare temporary gets 0
  EXPECT_EQ(calls.IntResult(kFileAtEnd, {kIntResult, 1}), 1);
  calls.Run(kFileClose, {1});
  EXPECT_EQ(calls.IntResult(kFileAtEnd, {kIntResult, 1}), 0);
  EXPECT_EQ(calls.TakeError(), 0);
}

TEST_F(FileCommandsTest, ReadsGoThroughTheElementReference) {
  WriteAll("in.bin", std::string("\xfe\xff\x80", 3));
  const int array = MakeArray(3);
  calls.Run(kFileOpenToRead, {1, "in.bin"});
  // The target is the second integer temporary, which stands for element 2.
  ElementAddressTable[1] = static_cast<VariableSlot*>(VariableTable[array].asBlock) + 2;
  calls.Run(kFileReadWord, {1, 0});
  EXPECT_EQ(static_cast<VariableSlot*>(VariableTable[array].asBlock)[2].asInt, 0xfffe);
  calls.Run(kFileReadByte, {1, 0});
  EXPECT_EQ(static_cast<VariableSlot*>(VariableTable[array].asBlock)[2].asInt, 128);  // unsigned
  FreeArrayOfSlot(array);
  EXPECT_EQ(ElementAddressTable[1], nullptr);
  EXPECT_EQ(calls.TakeError(), 0);
}

TEST_F(FileCommandsTest, ArrayFiles) {
  // Without an array before the command: 109 on every one of them.
  for (int command : {kLoadArray, kLoadArrayFloat, kLoadArrayString, kSaveArray, kSaveArrayFloat, kSaveArrayString})
    calls.ExpectErrors({{command, {"a.dat", 0}, 109}});
  const int array = MakeArray(4);
  // A missing file is made empty and the array reads as zeros (a first run's high scores).
  static_cast<VariableSlot*>(VariableTable[array].asBlock)[1].asInt = 77;
  calls.RunOnArray(kLoadArray, array, {"missing.dat", 0});
  EXPECT_EQ(calls.TakeError(), 0);
  ASSERT_TRUE(fs::exists("missing.dat"));
  EXPECT_EQ(fs::file_size("missing.dat"), 0u);
  EXPECT_EQ(static_cast<VariableSlot*>(VariableTable[array].asBlock)[1].asInt, 0);
  // One that cannot be made (no such folder) is 104, and the array stays as it was.
  static_cast<VariableSlot*>(VariableTable[array].asBlock)[1].asInt = 77;
  calls.RunOnArray(kLoadArray, array, {"no-such-folder/missing.dat", 0});
  EXPECT_EQ(calls.TakeError(), 104);
  EXPECT_EQ(static_cast<VariableSlot*>(VariableTable[array].asBlock)[1].asInt, 77);
  // Saving replaces a longer old file; a partial last word is ignored when loading.
  WriteAll("a.dat", std::string(100, 'x'));
  calls.RunOnArray(kSaveArray, array, {"a.dat", 0});
  EXPECT_EQ(fs::file_size("a.dat"), 16u);
  WriteAll("a.dat", std::string("\x01\x00\x00\x00\x02\x00", 6));
  calls.RunOnArray(kLoadArray, array, {"a.dat", 0});
  const VariableSlot* elements = static_cast<VariableSlot*>(VariableTable[array].asBlock);
  EXPECT_EQ(elements[0].asInt, 1);
  EXPECT_EQ(elements[1].asInt, 0);
  calls.RunOnArray(kSaveArray, array, {"/no/such/folder/a.dat", 0});
  EXPECT_EQ(calls.TakeError(), 104);
  // An array of another kind is no array for the command.
  for (int command : {kLoadArrayFloat, kLoadArrayString, kSaveArrayFloat, kSaveArrayString}) {
    calls.RunOnArray(command, array, {"a.dat", 0});
    EXPECT_EQ(calls.TakeError(), 109);
  }
  FreeArrayOfSlot(array);
  EXPECT_EQ(calls.TakeError(), 0);
}

// A save replaces the file only once complete: on a full disk the old file stays whole and
// the error names the file and the reason (array saves), or nothing changes (a byte written
// into a file that the disk has no room to copy).
TEST_F(FileCommandsTest, SavesOnAFullDiskKeepTheOldFileAndSayWhy) {
  SmallDisk disk("1m");
  if (!disk.Ready()) GTEST_SKIP() << disk.Why();
  const std::string scores = disk.Path() + "/scores.dat", level = disk.Path() + "/level.bin";
  WriteAll(scores, "old scores");
  const int array = MakeArray(400000);  // 1.6 MB: more than the disk holds
  calls.RunOnArray(kSaveArray, array, {scores, 0});
  EXPECT_EQ(calls.TakeError(), 104);
  EXPECT_EQ(std::string(LastEngineError()), "cannot write " + scores + ": No space left on device");
  EXPECT_EQ(ReadAll(scores), "old scores");
  FreeArrayOfSlot(array);
  WriteAll(level, std::string(600000, 'l'));  // no room for a second copy
  calls.Run(kFileWriteByteAt, {level, 5, 'X'});
  EXPECT_EQ(calls.TakeError(), 8212);
  EXPECT_EQ(std::string(LastEngineError()), "cannot write " + level + ": No space left on device");
  EXPECT_EQ(ReadAll(level), std::string(600000, 'l'));
  EXPECT_EQ(disk.EntryCount(), 2u);  // nothing half-written left beside them
  ASSERT_TRUE(disk.MakeReadOnly());
  const int small = MakeArray(2);
  calls.RunOnArray(kSaveArray, small, {scores, 0});
  EXPECT_EQ(calls.TakeError(), 104);
  EXPECT_EQ(std::string(LastEngineError()), "cannot write " + scores + ": Read-only file system");
  FreeArrayOfSlot(small);
}

// The numbered files read and write through a buffer of this size.
constexpr size_t kFileBuffer = 65536;

std::string LittleEndian(uint32_t value, int bytes) {
  std::string text;
  for (int i = 0; i < bytes; ++i) text += static_cast<char>(value >> (8 * i));
  return text;
}

// Each typed value written and read where it straddles the buffer's end (the padding before
// it goes through the buffer, or past it when as large), byte for byte as the file holds it.
TEST_F(FileCommandsTest, TypedValuesCrossTheBufferBoundary) {
  uint32_t floatBits;
  const float value = 2.5f;
  std::memcpy(&floatBits, &value, 4);
  const std::string values = LittleEndian(200, 1) + LittleEndian(65000, 2) + LittleEndian(static_cast<uint32_t>(-123456789), 4) +
                             LittleEndian(floatBits, 4) + "line\r\n" + LittleEndian(7, 1);
  for (size_t padding = kFileBuffer - 7; padding <= kFileBuffer + 1; ++padding) {
    SCOPED_TRACE(padding);
    WriteAll("pad.bin", std::string(padding, 'p'));
    fs::remove("typed.bin");
    calls.ExpectErrors({{kFileOpenToWrite, {1, "typed.bin"}, 0},
                        {kFileWriteFileBytes, {1, "pad.bin", 0}, 0},
                        {kFileWriteByte, {1, 200}, 0},
                        {kFileWriteWord, {1, 65000}, 0},
                        {kFileWriteLong, {1, -123456789}, 0},
                        {kFileWriteFloat, {1, 2.5}, 0},
                        {kFileWriteString, {1, "line"}, 0},
                        {kFileWriteByte, {1, 7}, 0},
                        {kFileClose, {1}, 0}});
    ASSERT_EQ(ReadAll("typed.bin"), std::string(padding, 'p') + values);
    calls.Run(kFileOpenToRead, {2, "typed.bin"});
    calls.Run(kFileSkipBytes, {2, static_cast<int>(padding)});
    EXPECT_EQ(ReadInt(kFileReadByte, 2), 200);
    EXPECT_EQ(ReadInt(kFileReadWord, 2), 65000);
    EXPECT_EQ(ReadInt(kFileReadLong, 2), -123456789);
    EXPECT_EQ(ReadFloat(2), 2.5f);
    EXPECT_EQ(ReadText(2), "line");
    EXPECT_EQ(ReadInt(kFileReadByte, 2), 7);
    EXPECT_EQ(calls.IntResult(kFileAtEnd, {kIntResult, 2}), 0);
    EXPECT_EQ(ReadInt(kFileReadWord, 2), 0);
    EXPECT_EQ(calls.IntResult(kFileAtEnd, {kIntResult, 2}), 1);
    calls.Run(kFileClose, {2});
    EXPECT_EQ(calls.TakeError(), 0);
  }
}

// Lines end at a byte below 32; a CR takes the LF right after it, also when the LF starts the
// next buffer, and a CR alone takes nothing more ("abc\rdef" reads abc, def).
TEST_F(FileCommandsTest, LinesEndAtControlBytesAcrossTheBuffer) {
  // Lines before a line whose CR is the buffer's last byte.
  std::string before;
  std::vector<std::string> lines;
  while (kFileBuffer - 1 - before.size() > 250) {
    lines.push_back(std::string(200, 'x'));
    before += lines.back() + "\n";
  }
  lines.push_back(std::string(kFileBuffer - 1 - before.size(), 'z'));
  before += lines.back() + "\r";
  ASSERT_EQ(before.size(), kFileBuffer);
  auto with = [&](std::vector<std::string> more) {
    more.insert(more.begin(), lines.begin(), lines.end());
    return more;
  };
  const struct {
    std::string bytes;
    std::vector<std::string> lines;  // read until the end flag is set
  } cases[] = {
      {"abc\rdef\rghi", {"abc", "def", "ghi"}},
      {"a\r\nb\nc\td\r\n\r\ne\r", {"a", "b", "c", "d", "", "e"}},
      {std::string(300, 'l') + "\r\n", {std::string(255, 'l'), std::string(45, 'l'), ""}},
      {before + "\nafter\r\n", with({"after", ""})},
      {before + "qafter", with({"qafter"})},
  };
  for (const auto& c : cases) {
    WriteAll("lines.txt", c.bytes);
    calls.Run(kFileOpenToRead, {1, "lines.txt"});
    std::vector<std::string> got;
    for (size_t i = 0; i < c.lines.size() + 1 && calls.IntResult(kFileAtEnd, {kIntResult, 1}) == 0; ++i) got.push_back(ReadText(1));
    calls.Run(kFileClose, {1});
    EXPECT_EQ(got, c.lines) << c.bytes.substr(0, 20);
  }
  EXPECT_EQ(calls.TakeError(), 0);
}

// The program's writes reach the file before a read of it, before a command that looks at it
// by its name, and at the close; a read that found the end finds what was added since.
TEST_F(FileCommandsTest, MixedReadsAndWritesAndAFileThatGrows) {
  calls.Run(kFileOpenToWrite, {1, "log.txt"});
  calls.Run(kFileWriteString, {1, "one"});
  EXPECT_EQ(calls.IntResult(kFileSize, {kIntResult, "log.txt"}), 5);
  calls.Run(kFileWriteByte, {1, 'X'});
  EXPECT_EQ(calls.IntResult(kFileReadByteAt, {kIntResult, "log.txt", 5}), 'X');
  calls.Run(kFileOpenToRead, {2, "log.txt"});
  EXPECT_EQ(ReadText(2), "one");
  EXPECT_EQ(ReadText(2), "X");
  EXPECT_EQ(calls.IntResult(kFileAtEnd, {kIntResult, 2}), 1);
  calls.Run(kFileWriteString, {1, "two"});
  EXPECT_EQ(ReadText(2), "two");
  EXPECT_EQ(calls.IntResult(kFileAtEnd, {kIntResult, 2}), 0);
  calls.Run(kFileWriteString, {1, "three"});
  calls.Run(kFileCopy, {"log.txt", "copy.txt"});
  EXPECT_EQ(ReadAll("copy.txt"), "one\r\nXtwo\r\nthree\r\n");
  calls.Run(kFileWriteString, {1, "four"});
  calls.Run(kFileClose, {1});
  EXPECT_EQ(ReadAll("log.txt"), "one\r\nXtwo\r\nthree\r\nfour\r\n");
  // Another program adds to a file after its end was read.
  WriteAll("grown.txt", "a\r\n");
  calls.Run(kFileOpenToRead, {3, "grown.txt"});
  EXPECT_EQ(ReadText(3), "a");
  EXPECT_EQ(ReadInt(kFileReadByte, 3), 0);
  EXPECT_EQ(calls.IntResult(kFileAtEnd, {kIntResult, 3}), 1);
  std::ofstream("grown.txt", std::ios::binary | std::ios::app) << "bc\r\n";
  EXPECT_EQ(ReadInt(kFileReadWord, 3), 'b' | 'c' << 8);
  EXPECT_EQ(calls.IntResult(kFileAtEnd, {kIntResult, 3}), 0);
  EXPECT_EQ(ReadText(3), "");
  EXPECT_EQ(calls.TakeError(), 0);
}

// On a full disk the write that finds no room, or the close, says which file and why.
TEST_F(FileCommandsTest, AWriteThatFailsNamesTheFileAndWhy) {
  SmallDisk disk("1m");
  if (!disk.Ready()) GTEST_SKIP() << disk.Why();
  const std::string name = disk.Path() + "/out.txt";
  calls.Run(kFileOpenToWrite, {1, name});
  disk.Fill();
  calls.Run(kFileWriteString, {1, "held"});
  EXPECT_EQ(calls.TakeError(), 0);
  calls.Run(kFileClose, {1});
  EXPECT_EQ(calls.TakeError(), 8212);
  EXPECT_EQ(std::string(LastEngineError()), "cannot write " + name + ": No space left on device");
  EXPECT_EQ(calls.IntResult(kFileIsOpen, {kIntResult, 1}), 0);
  fs::remove(name);
  calls.Run(kFileOpenToWrite, {1, name});
  int writes = 0;
  for (; writes < 1000 && calls.TakeError() == 0; ++writes) calls.Run(kFileWriteString, {1, std::string(200, 'w')});
  EXPECT_LT(writes, 1000);  // a write of one of them raised 8212
  EXPECT_EQ(std::string(LastEngineError()), "cannot write " + name + ": No space left on device");
  calls.Run(kFileClose, {1});
  calls.TakeError();
}

TEST_F(FileCommandsTest, FolderCommandErrors) {
  WriteAll("a.txt", "a");
  WriteAll("b.txt", "b");
  calls.ExpectErrors({
      {kFileSetDir, {"no-such-folder"}, 8003},
      {kFileSetDirAlias, {"no-such-folder"}, 8003},
      {kFileMake, {"a.txt"}, 8021},
      {kFileMake, {"new.txt"}, 0},
      {kFileDelete, {"gone.txt"}, 8022},
      {kFileDelete, {"new.txt"}, 0},
      {kFileCopy, {"gone.txt", "c.txt"}, 105},
      {kFileCopy, {"a.txt", "b.txt"}, 106},
      {kFileCopy, {"a.txt", "c.txt"}, 0},
      {kFileRename, {"a.txt", "b.txt"}, 106},
      {kFileRename, {"gone.txt", "d.txt"}, 8024},
      {kFileMove, {"a.txt", "c.txt"}, 106},
      {kFileMove, {"gone.txt", "d.txt"}, 8025},
      {kFileWriteByteAt, {"gone.txt", 0, 1}, 105},
      {kFileReadByteAt, {kIntResult, "gone.txt", 0}, 105},
      {kFileMakeDir, {"sub"}, 0},
      {kFileMakeDir, {"sub"}, 8101},
      {kFileDeleteDir, {"nothing"}, 8102},
      {kFileDeleteDirTree, {"nothing", 0}, 8102},
      {kFileExecute, {"no-such-program", "", ""}, 8103},
      {kFileExecuteAndWait, {"no-such-program", "", "", 0}, 8103},
      {kFileFindNext, {}, 0},  // no scan yet: nothing happens
  });
  EXPECT_EQ(ReadAll("b.txt"), "b");  // neither the copy nor the rename replaced it
  EXPECT_EQ(calls.IntResult(kFileEntryType, {kIntResult}), -1);
  EXPECT_EQ(calls.TextResult(kFileEntryName, {kTextResult}), "");
  EXPECT_EQ(calls.IntResult(kFileReadByteAt, {kIntResult, "a.txt", -1}), 0);
  EXPECT_EQ(calls.IntResult(kFileReadByteAt, {kIntResult, "a.txt", 1}), 0);
  calls.Run(kFileFindFirst, {});
  for (int i = 0; i < 6; ++i) calls.Run(kFileFindNext, {});  // . .. a b c sub, then over
  EXPECT_EQ(calls.TakeError(), 0);
  EXPECT_EQ(calls.IntResult(kFileEntryType, {kIntResult}), -1);
  calls.Run(kFileFindNext, {});
  EXPECT_EQ(calls.TakeError(), 8002);
  for (int command : {kFileDir, kFileDriveList, kFileChecklistDrives}) calls.ExpectErrors({{command, {}, 0}});
  EXPECT_EQ(calls.TextResult(kChecklistString, {kTextResult, 1}), "/");
  EXPECT_EQ(calls.IntResult(kPathExist, {kIntResult, "sub"}), 1);
  EXPECT_EQ(calls.IntResult(kFileExist, {kIntResult, "sub"}), 0);
  EXPECT_EQ(calls.IntResult(kFileSize, {kIntResult, "gone.txt"}), 0);
  EXPECT_EQ(calls.TextResult(kFileCurrentDir, {kTextResult}), fs::current_path().string());
}

TEST_F(FileCommandsTest, TreeDeleteNeverFollowsLinks) {
  fs::create_directories("outside");
  WriteAll("outside/keep.txt", "keep");
  fs::create_directories("tree/deep");
  WriteAll("tree/deep/x.txt", "x");
  fs::create_directory_symlink(fs::absolute("outside"), "tree/link");
  calls.Run(kFileDeleteDir, {"tree"});
  EXPECT_EQ(calls.TakeError(), 0);
  EXPECT_FALSE(fs::exists("tree"));
  EXPECT_EQ(ReadAll("outside/keep.txt"), "keep");
}

TEST_F(FileCommandsTest, FileListsStopAt512Entries) {
  for (int i = 0; i < 600; ++i) WriteAll("f" + std::to_string(1000 + i), "");
  calls.Run(kFileChecklistFiles, {});
  EXPECT_EQ(calls.IntResult(kChecklistQuantity, {kIntResult}), 512);
  EXPECT_EQ(calls.TextResult(kChecklistString, {kTextResult, 512}), "f1509");  // after "." and ".."
  EXPECT_EQ(calls.IntResult(kChecklistValueA, {kIntResult, 1}), 1);          // "." is a folder
  EXPECT_EQ(calls.TakeError(), 0);
}

TEST_F(FileCommandsTest, RunningAProgramWaitsForItsEnd) {
  WriteAll("job.sh", "#!/bin/sh\nsleep 0.2\necho \"$1\" > done.txt\n");
  fs::permissions("job.sh", fs::perms::owner_all);
  calls.Run(kFileExecuteAndWait, {"job.sh", "\"two words\"", folder_, 0});
  EXPECT_EQ(calls.TakeError(), 0);
  EXPECT_EQ(ReadAll("done.txt"), "two words\n");
}

}  // namespace
