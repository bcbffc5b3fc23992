// FTP: one session at a time (connect, change folder, list entry by entry, put, get whole or
// in chunks with a progress value and a stall limit, delete), and the values it reports.
#include <cstring>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "platform/clock.h"
#include "platform/file_replace.h"
#include "platform/folders.h"
#include "platform/ftp.h"
#include "runtime/command_numbers.h"

constexpr size_t kChunkBytes = 3072;

// The session's reported values; reset by every disconnect and at the end of every run.
static struct FtpSession {
  std::vector<PlatformFtpEntry> listing;
  size_t listed = 0;
  bool listing_ = false;
  int entryType = -1;  // -1 none, 1 folder, 0 file
  std::string entryName;
  int32_t entrySize = 0;
  int progress = -1;  // percent of a chunked get, -1 when none runs
  // A chunked get's local file: written beside the old one and put in its place once complete.
  PlatformReplacement localFile;
  uint32_t bytesWritten = 0, lastBytesWritten = 0, lastProgressTime = 0;
  uint64_t totalRead = 0;
  int32_t expected = 0;
  bool failureRecorded = false;
  std::string failureText;
} gFtp;

static uint32_t (*gFtpClock)() = PlatformMilliseconds;

void SetFtpClockForTests(uint32_t (*clock)()) { gFtpClock = clock != nullptr ? clock : PlatformMilliseconds; }

// The first failure's text stays until the failed flag is read.
static void RecordFailure() {
  if (gFtp.failureRecorded) return;
  gFtp.failureText = PlatformFtpLastResponse().substr(0, kMaxTextLength);
  gFtp.failureRecorded = true;
}

static void ResetSession() {
  gFtp.listing.clear();
  gFtp.listed = 0;
  gFtp.listing_ = false;
  gFtp.entryType = -1;
  gFtp.entryName.clear();
  gFtp.entrySize = 0;
  gFtp.progress = -1;
  gFtp.bytesWritten = gFtp.lastBytesWritten = 0;
  gFtp.lastProgressTime = gFtpClock();
  gFtp.failureRecorded = false;
  gFtp.failureText.clear();
}

// Aborts a chunked get: its partial file goes (a file the name had before stays as it was),
// the remote transfer closes.
static void AbortTransfer() {
  PlatformAbandonReplace(&gFtp.localFile);
  if (PlatformFtpChunkedGetRunning()) PlatformFtpAbortChunkedGet();
  gFtp.progress = -1;
}

// A failure found here rather than by the session: its text becomes the failure text.
static void RecordFailureText(const std::string& text) {
  PlatformFtpSetLastResponse(text);
  RecordFailure();
}

static void Disconnect() {
  AbortTransfer();
  PlatformFtpDisconnect();
  ResetSession();
}

void CloseFtpOnExit() { Disconnect(); }

// After a failed folder command: back to the current folder, or disconnected when even that fails.
static void FallBack() {
  if (!PlatformFtpCheckFolder()) Disconnect();
}

static void TakeEntry(const PlatformFtpEntry& entry) {
  gFtp.entryType = entry.folder ? 1 : 0;
  gFtp.entryName = entry.name.substr(0, kMaxTextLength);
  gFtp.entrySize = entry.size <= 0x7FFFFFFFu ? static_cast<int32_t>(entry.size) : 0;
}

static void CmdFtpConnect() {  // server, user, password
  const std::string server = TextOperand(0), user = TextOperand(1), password = TextOperand(2);
  AdvanceOperands(3);
  if (PlatformFtpConnected()) return RuntimeWarning(8301);  // the open session stays as it is
  if (!PlatformFtpConnect(server, user, password)) {
    RecordFailure();
    return RuntimeWarning(8301);
  }
}

static void CmdFtpSetDir() {  // folder
  const std::string folder = TextOperand(0);
  AdvanceOperands(1);
  if (PlatformFtpChangeFolder(folder)) return;
  RecordFailure();
  if (PlatformFtpConnected()) FallBack();
  RuntimeWarning(8302);
}

static void CmdFtpFindFirst() {
  gFtp.listing_ = false;
  gFtp.entryType = -1;
  if (!PlatformFtpList(&gFtp.listing)) {
    RecordFailure();
    if (PlatformFtpConnected()) FallBack();
    return;
  }
  gFtp.listing_ = true;
  gFtp.listed = 0;
  if (gFtp.listing.empty()) gFtp.listing_ = false;
  else TakeEntry(gFtp.listing[0]);
}

static void CmdFtpFindNext() {
  if (!gFtp.listing_) return;
  if (++gFtp.listed < gFtp.listing.size()) return TakeEntry(gFtp.listing[gFtp.listed]);
  gFtp.listing_ = false;
  gFtp.entryType = -1;
}

static void CmdFtpPutFile() {  // name: put under its own name in the remote folder
  const std::string name = TextOperand(0);
  AdvanceOperands(1);
  const std::string local = MapProgramPath(name.c_str());
  const size_t slash = local.find_last_of('/');
  if (!PlatformFtpPut(local, slash == std::string::npos ? local : local.substr(slash + 1))) {
    RecordFailure();
    RuntimeWarning(8303);
  }
}

static void CmdFtpDeleteFile() {  // name
  const std::string name = TextOperand(0);
  AdvanceOperands(1);
  if (!PlatformFtpDelete(name)) RuntimeWarning(8304);
}

static void CmdFtpGetFile() {  // remote, local
  const std::string remote = TextOperand(0);
  const std::string local = MapProgramPath(TextOperand(1));
  AdvanceOperands(2);
  if (!PlatformFtpGet(remote, local)) {
    RecordFailure();
    RuntimeWarning(8305);
  }
}

// Starts a chunked get; a second one while one runs is refused, and a local file that cannot
// be made closes the remote transfer again.
static void CmdFtpGetFileChunked() {  // remote, local, expected size
  const std::string remote = TextOperand(0);
  const std::string local = MapProgramPath(TextOperand(1));
  const int32_t expected = IntOperand(2);
  AdvanceOperands(3);
  if (PlatformFtpChunkedGetRunning() || PlatformReplacing(gFtp.localFile)) return RuntimeWarning(8305);
  const uint32_t asked = gFtpClock();  // the stall limit counts from the request
  if (!PlatformFtpStartChunkedGet(remote)) {
    RecordFailure();
    if (PlatformFtpConnected()) FallBack();
    return RuntimeWarning(8305);
  }
  std::string why;
  if (!PlatformBeginReplace(local, false, &gFtp.localFile, &why)) {
    PlatformFtpAbortChunkedGet();
    RecordFailureText("cannot write " + local + ": " + why);
    return RuntimeWarning(8305);
  }
  gFtp.bytesWritten = gFtp.lastBytesWritten = 0;
  gFtp.totalRead = 0;
  gFtp.expected = expected;
  gFtp.progress = 0;
  gFtp.lastProgressTime = asked;
}

static void CmdFtpProceed() {
  if (!PlatformReplacing(gFtp.localFile) || !PlatformFtpChunkedGetRunning()) return;
  char buffer[kChunkBytes];
  bool finished = false, failed = false;
  const size_t n = PlatformFtpTakeChunk(buffer, sizeof(buffer), 10, &finished, &failed);
  if (failed) {
    RecordFailure();
    AbortTransfer();
    return FallBack();
  }
  if (n > 0) {
    if (!PlatformWriteReplacement(&gFtp.localFile, buffer, n)) {
      RecordFailureText("cannot write " + gFtp.localFile.target + ": " + std::strerror(gFtp.localFile.error));
      return AbortTransfer();
    }
    gFtp.bytesWritten += static_cast<uint32_t>(n);
    gFtp.totalRead += n;
    gFtp.progress = gFtp.expected >= 1
                        ? static_cast<int>(std::min<uint64_t>(100, gFtp.totalRead * 100 / static_cast<uint64_t>(gFtp.expected)))
                        : 1;
  } else if (finished) {  // everything came: the file takes the name
    PlatformFtpAbortChunkedGet();
    const std::string local = gFtp.localFile.target;
    std::string why;
    if (!PlatformCommitReplace(&gFtp.localFile, &why)) RecordFailureText("cannot write " + local + ": " + why);
    gFtp.progress = -1;
    return;
  }
  // A chunked get with no new bytes for the stall limit is aborted (also one whose data has all
  // come but whose server never confirms it).
  const uint32_t now = gFtpClock(), stallLimitMs = PlatformFtpStallLimitMs();
  if (gFtp.bytesWritten != gFtp.lastBytesWritten) {
    gFtp.lastBytesWritten = gFtp.bytesWritten;
    gFtp.lastProgressTime = now;
  } else if (now - gFtp.lastProgressTime > stallLimitMs) {
    RecordFailureText("the server stalled: nothing came for " + std::to_string(stallLimitMs / 1000) + " seconds");
    AbortTransfer();
    FallBack();
  }
}

static void CmdFtpTerminate() { AbortTransfer(); }
static void CmdFtpDisconnect() { Disconnect(); }
static void CmdFtpDisconnectHangUp() {  // hang up: there is no dial-up connection to end
  AdvanceOperands(1);
  Disconnect();
}

static void CmdFtpStatusText() {  // result
  WriteTextResult("");
  AdvanceOperands(1);
}

static void CmdFtpEntryName() {  // result
  WriteTextResult(gFtp.entryName.c_str());
  AdvanceOperands(1);
}

template <auto Value>
static void CmdFtpValue() {  // result
  WriteIntResult(Value());
  AdvanceOperands(1);
}

static void CmdFtpFailureText() {  // result
  WriteTextResult(gFtp.failureText.c_str());
  AdvanceOperands(1);
}

static void CmdFtpFailed() {  // result: cleared by reading
  WriteIntResult(gFtp.failureRecorded ? 1 : 0);
  gFtp.failureRecorded = false;
  AdvanceOperands(1);
}

static const CommandEntry kFtpCommands[] = {
    {kFtpConnect, CmdFtpConnect},
    {kFtpSetDir, CmdFtpSetDir},
    {kFtpFindFirst, CmdFtpFindFirst},
    {kFtpFindNext, CmdFtpFindNext},
    {kFtpPutFile, CmdFtpPutFile},
    {kFtpDeleteFile, CmdFtpDeleteFile},
    {kFtpGetFile, CmdFtpGetFile},
    {kFtpDisconnect, CmdFtpDisconnect},
    {kFtpGetFileChunked, CmdFtpGetFileChunked},
    {kFtpProceed, CmdFtpProceed},
    {kFtpTerminate, CmdFtpTerminate},
    {kFtpDisconnectHangUp, CmdFtpDisconnectHangUp},
    {kFtpStatusText, CmdFtpStatusText},
    {kFtpEntryName, CmdFtpEntryName},
    {kFtpEntryType, CmdFtpValue<+[] { return gFtp.entryType; }>},
    {kFtpProgress, CmdFtpValue<+[] { return gFtp.progress; }>},
    {kFtpEntrySize, CmdFtpValue<+[] { return gFtp.entrySize; }>},
    {kFtpConnected, CmdFtpValue<+[] { return PlatformFtpConnected() ? 1 : 0; }>},
    {kFtpFailureText, CmdFtpFailureText},
    {kFtpFailed, CmdFtpFailed},
};

bool RegisterFtpCommands() { return RegisterCommands(kFtpCommands); }
