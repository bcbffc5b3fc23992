// FTP against real servers (python3-pyftpdlib and Debian's vsftpd on 127.0.0.1, started and
// stopped by each test): connect, the refused second connect, folders, listings, put, get,
// delete, chunked gets with progress, the stall limit on an injected clock; and against a
// hostile server of our own: caps, stalls, signals, unanswered QUITs and listed names with
// folder parts.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "commands/commands.h"
#include "platform/ftp.h"
#include "platform/signals.h"
#include "runtime/command_numbers.h"
#include "tests/asm/command_call.h"
#include "tests/commands/ftp_servers.h"
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

std::string Bytes(size_t count, int seed) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 7 + static_cast<size_t>(seed)) & 0xFF);
  return bytes;
}

// Ends the server when what it holds has not returned after a generous while, so a test of a
// bound fails (Finish answers true) instead of waiting out libcurl's own two minutes.
class Watchdog {
 public:
  explicit Watchdog(ftp_servers::ServerProcess* server)
      : thread_([this, server] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!wake_.wait_for(lock, std::chrono::seconds(30), [this] { return finished_; })) {
            fired_ = true;
            server->Kill();
          }
        }) {}
  ~Watchdog() { Finish(); }
  bool Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    return fired_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool finished_ = false, fired_ = false;
  std::thread thread_;
};

uint32_t gFakeNow = 0;
uint32_t FakeClock() { return gFakeNow += 11000; }  // every look at the clock: 11 seconds on

class FtpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qv-ftp-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    fs::create_directories(folder_ + "/server/sub");
    fs::create_directories(folder_ + "/local");
    start_ = fs::current_path();
    fs::current_path(folder_ + "/local");
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterFtpCommands());
  }
  void TearDown() override {
    calls.Run(kFtpDisconnect, {});
    SetFtpClockForTests(nullptr);
    PlatformFtpSetLimitsForTests({});
    ClearCommandRegistry();
    server.Stop();
    fs::current_path(start_);
    fs::remove_all(folder_);
  }
  // Starts pyftpdlib on the folder's "server" folder; bytesPerSecond limits its sending (0 = none).
  void StartServer(int bytesPerSecond) {
    // Debian's python3, which python3-pyftpdlib installs into (not another one on the PATH).
    ASSERT_TRUE(server.Start({"/usr/bin/python3", "-c", ftp_servers::kPyftpdlibScript, folder_ + "/server",
                              std::to_string(bytesPerSecond)}));
    const std::string port = server.ReadLine();
    ASSERT_FALSE(port.empty()) << "the FTP server did not start (python3-pyftpdlib installed?)";
    server_ = "127.0.0.1:" + port;
  }
  // The current remote folder's entries through find first and find next: name to type and size.
  std::map<std::string, std::pair<int, int>> Listing() {
    std::map<std::string, std::pair<int, int>> listed;
    calls.Run(kFtpFindFirst, {});
    for (int i = 0; i < 20 && calls.IntResult(kFtpEntryType, {kIntResult}) != -1; ++i) {
      listed[calls.TextResult(kFtpEntryName, {kTextResult})] = {calls.IntResult(kFtpEntryType, {kIntResult}),
                                                                 calls.IntResult(kFtpEntrySize, {kIntResult})};
      calls.Run(kFtpFindNext, {});
    }
    return listed;
  }
  // The failure text, and the failed flag cleared for the next check.
  std::string TakeFailure() {
    const std::string text = calls.TextResult(kFtpFailureText, {kTextResult});
    calls.IntResult(kFtpFailed, {kIntResult});
    return text;
  }
  void WriteServerFile(const std::string& name, const std::string& bytes) {
    std::ofstream(folder_ + "/server/" + name, std::ios::binary) << bytes;
  }
  std::string folder_, server_;
  fs::path start_;
  ftp_servers::ServerProcess server;
  qvasm::CommandCaller calls;
};

TEST_F(FtpTest, SessionListingTransfersAndFailures) {
  StartServer(0);
  WriteServerFile("a.bin", Bytes(5000, 1));
  EXPECT_EQ(calls.IntResult(kFtpProgress, {kIntResult}), -1);
  calls.ExpectErrors({
      {kFtpConnect, {server_, "user", "wrong"}, 8301},
      {kFtpConnect, {server_, "user", "secret"}, 0},
      {kFtpConnect, {server_, "user", "secret"}, 8301},  // refused; the first session stays
  });
  EXPECT_EQ(calls.IntResult(kFtpConnected, {kIntResult}), 1);
  EXPECT_EQ(calls.IntResult(kFtpFailed, {kIntResult}), 1);  // the wrong password's failure
  EXPECT_EQ(calls.IntResult(kFtpFailed, {kIntResult}), 0);  // cleared by reading
  // A listing: names, types and sizes.
  auto listed = Listing();
  EXPECT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed["a.bin"], std::make_pair(0, 5000));
  EXPECT_EQ(listed["sub"].first, 1);
  // A bad folder: 8302, the failure text is the server's, and the session goes on.
  calls.Run(kFtpSetDir, {"no-such-folder"});
  EXPECT_EQ(calls.TakeError(), 8302);
  EXPECT_EQ(calls.IntResult(kFtpConnected, {kIntResult}), 1);
  EXPECT_NE(calls.TextResult(kFtpFailureText, {kTextResult}).find("550"), std::string::npos);
  // Put and get byte for byte, in a sub-folder and back.
  std::ofstream("up.bin", std::ios::binary) << Bytes(3000, 2);
  calls.ExpectErrors({
      {kFtpSetDir, {"sub"}, 0},
      {kFtpPutFile, {"up.bin"}, 0},
      {kFtpSetDir, {".."}, 0},
      {kFtpGetFile, {"a.bin", "down.bin"}, 0},
      {kFtpGetFile, {"missing.bin", "none.bin"}, 8305},
      {kFtpPutFile, {"missing-local.bin"}, 8303},
  });
  EXPECT_EQ(ReadAll(folder_ + "/server/sub/up.bin"), Bytes(3000, 2));
  EXPECT_EQ(ReadAll("down.bin"), Bytes(5000, 1));
  EXPECT_FALSE(fs::exists("none.bin"));
  calls.ExpectErrors({{kFtpSetDir, {"sub"}, 0}, {kFtpDeleteFile, {"up.bin"}, 0}, {kFtpDeleteFile, {"up.bin"}, 8304}});
  EXPECT_FALSE(fs::exists(folder_ + "/server/sub/up.bin"));
  calls.Run(kFtpSetDir, {"/"});
  // A chunked get: progress climbs to 100, then -1 once the file is complete.
  WriteServerFile("big.bin", Bytes(20000, 3));
  calls.Run(kFtpGetFileChunked, {"big.bin", "big.bin", 20000});
  EXPECT_EQ(calls.TakeError(), 0);
  calls.ExpectErrors({{kFtpGetFileChunked, {"a.bin", "other.bin", 0}, 8305}});  // one at a time
  int last = 0, rounds = 0;
  bool climbed = true;
  for (; rounds < 2000; ++rounds) {
    calls.Run(kFtpProceed, {});
    const int progress = calls.IntResult(kFtpProgress, {kIntResult});
    if (progress == -1) break;
    climbed &= progress >= last;
    last = progress;
  }
  EXPECT_TRUE(climbed);
  EXPECT_EQ(last, 100);
  EXPECT_EQ(ReadAll("big.bin"), Bytes(20000, 3));
  EXPECT_FALSE(fs::exists("other.bin"));
  calls.ExpectErrors({{kFtpGetFileChunked, {"missing.bin", "m.bin", 0}, 8305}});
  EXPECT_EQ(calls.TextResult(kFtpStatusText, {kTextResult}), "");
  calls.Run(kFtpDisconnectHangUp, {1});
  EXPECT_EQ(calls.IntResult(kFtpConnected, {kIntResult}), 0);
  EXPECT_EQ(calls.TakeError(), 0);
  // Without a session every command fails quietly or with its own number.
  calls.ExpectErrors({{kFtpSetDir, {"sub"}, 8302}, {kFtpFindFirst, {}, 0}, {kFtpFindNext, {}, 0},
                      {kFtpPutFile, {"down.bin"}, 8303}, {kFtpDeleteFile, {"x"}, 8304},
                      {kFtpGetFile, {"a.bin", "x.bin"}, 8305}, {kFtpProceed, {}, 0}, {kFtpTerminate, {}, 0}});
}

TEST_F(FtpTest, ChunkedGetThatStallsIsAbortedAndItsFileDeleted) {
  StartServer(2048);  // a slow server: most proceeds get nothing new
  WriteServerFile("slow.bin", Bytes(200000, 4));
  std::ofstream("slow.bin") << "the old file";
  SetFtpClockForTests(FakeClock);
  calls.ExpectErrors({{kFtpConnect, {server_, "user", "secret"}, 0}, {kFtpGetFileChunked, {"slow.bin", "slow.bin", 200000}, 0}});
  int rounds = 0;
  while (rounds < 1000 && calls.IntResult(kFtpProgress, {kIntResult}) != -1) {
    calls.Run(kFtpProceed, {});
    ++rounds;
  }
  EXPECT_LT(rounds, 1000);
  EXPECT_EQ(ReadAll("slow.bin"), "the old file");  // the partial file is gone, the old one stays
  EXPECT_EQ(TakeFailure(), "the server stalled: nothing came for 10 seconds");
  EXPECT_EQ(calls.IntResult(kFtpConnected, {kIntResult}), 1);
  EXPECT_EQ(calls.TakeError(), 0);
}

// A get replaces the local file only once the download is complete: a missing remote file, a
// local file that cannot be written or a full disk keep the file that was there, for whole
// and chunked gets alike, and the failure text says why.
TEST_F(FtpTest, AFailedGetKeepsTheFileThatWasThere) {
  StartServer(0);
  WriteServerFile("a.bin", Bytes(5000, 1));
  std::ofstream("down.bin") << "old";
  calls.ExpectErrors({{kFtpConnect, {server_, "user", "secret"}, 0},
                      {kFtpGetFile, {"missing.bin", "down.bin"}, 8305},
                      {kFtpGetFileChunked, {"missing.bin", "down.bin", 0}, 8305}});
  EXPECT_EQ(ReadAll("down.bin"), "old");
  TakeFailure();
  calls.ExpectErrors({{kFtpGetFile, {"a.bin", "no/such/folder.bin"}, 8305}});
  EXPECT_EQ(TakeFailure(), "cannot write no/such/folder.bin: No such file or directory");
  SmallDisk disk("64k");
  if (!disk.Ready()) GTEST_SKIP() << disk.Why();
  const std::string full = disk.Path() + "/down.bin";
  std::ofstream(full) << "old";
  disk.Fill();
  calls.ExpectErrors({{kFtpGetFile, {"a.bin", full}, 8305}});
  EXPECT_EQ(TakeFailure(), "cannot write " + full + ": No space left on device");
  calls.ExpectErrors({{kFtpGetFileChunked, {"a.bin", full, 5000}, 0}});
  for (int rounds = 0; rounds < 2000 && calls.IntResult(kFtpProgress, {kIntResult}) != -1; ++rounds)
    calls.Run(kFtpProceed, {});
  EXPECT_EQ(TakeFailure(), "cannot write " + full + ": No space left on device");
  EXPECT_EQ(ReadAll(full), "old");
  EXPECT_EQ(disk.EntryCount(), 2u);  // the old file and the filler: nothing partial
  EXPECT_EQ(calls.TakeError(), 0);
}

// A server cannot take the game's memory or time, nor lead its files astray: an endless reply
// or listing ends at its cap, a download that stops ends at the stall limit, and listed names
// with a folder part are left out; each failure says what happened.
TEST_F(FtpTest, AHostileServerMeetsCapsTimeoutsAndPlainNames) {
  const struct {
    const char* mode;
    int connectError;
    std::map<std::string, std::pair<int, int>> listed;
    std::string failure;  // after the connect and the listing
  } cases[] = {
      {"endless-reply", 8301, {}, "the server's reply is longer than 64 KB"},
      {"endless-list", 0, {}, "the server's listing is larger than 16 MB"},
      {"names", 0, {{"ok.txt", {0, 3}}, {"two words.txt", {0, 3}}}, ""},
      // Servers without MLSD (vsftpd): LIST in the DOS form, or NLST names.
      {"dos", 0, {{"Sub Folder", {1, 0}}, {"report 2024.txt", {0, 1234}}}, ""},
      {"names-only", 0, {{"a.txt", {0, 0}}, {"sub", {0, 0}}}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    ftp_servers::ServerProcess hostile;
    const std::string address = ftp_servers::StartHostileServer(&hostile, c.mode);
    ASSERT_FALSE(address.empty());
    calls.ExpectErrors({{kFtpConnect, {address, "user", "pw"}, c.connectError}});
    if (c.connectError == 0) {
      EXPECT_EQ(Listing(), c.listed);
    }
    EXPECT_EQ(TakeFailure(), c.failure);
    calls.Run(kFtpDisconnect, {});
  }
  // A download that stops after its first bytes: the old local file stays.
  PlatformFtpSetLimitsForTests({.stallMs = 2000});
  ftp_servers::ServerProcess hostile;
  const std::string address = ftp_servers::StartHostileServer(&hostile, "stall-get");
  std::ofstream("keep.bin") << "old";
  calls.ExpectErrors({{kFtpConnect, {address, "user", "pw"}, 0}, {kFtpGetFile, {"big.bin", "keep.bin"}, 8305}});
  EXPECT_EQ(TakeFailure(), "the server stalled: nothing came for 2 seconds");
  EXPECT_EQ(ReadAll("keep.bin"), "old");
  EXPECT_EQ(calls.TakeError(), 0);
}

// A get can neither hold the game for ever nor fill its disk: a server that trickles is given
// up on under the floor of speed, one that sends more than the size it announced is read no
// further (and fails, as it never ends the transfer), and one that announces no size is
// stopped at the limit for such gets. Whole and chunked gets keep the file that was there,
// the failure says why, and the session goes on.
TEST_F(FtpTest, AGetIsHeldToAFloorOfSpeedAndToItsSize) {
  PlatformFtpSetLimitsForTests({.stallMs = 2000, .floorWindowMs = 2000, .unsizedGetBytes = 4 << 20});
  const std::string unsized = "the server sent more than 4 MB, the most a get takes when the server announces no size";
  const std::string stalled = "the server stalled: nothing came for 2 seconds";
  const struct {
    const char* mode;
    bool chunked;
    std::string failure;
    bool silent = false;  // nothing comes: the start's wait for an answer already met the stall limit
  } cases[] = {
      {"trickle", false, "the server is too slow: under 1 KB a second for 2 seconds"},
      {"oversize", false, stalled},
      {"oversize", true, stalled},
      {"endless-data", false, unsized},
      {"endless-data", true, unsized},
      // A chunked get is paced by its program, but a server that sends nothing at all, not
      // even its answer to the request, meets the stall limit across proceeds.
      {"silent-get", true, stalled, true},
      {"unanswered-get", true, stalled, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + (c.chunked ? " chunked" : " whole"));
    ftp_servers::ServerProcess hostile;
    const std::string address = ftp_servers::StartHostileServer(&hostile, c.mode);
    ASSERT_FALSE(address.empty());
    Watchdog watchdog(&hostile);
    std::ofstream("keep.bin") << "old";
    calls.ExpectErrors({{kFtpConnect, {address, "user", "pw"}, 0}});
    if (c.chunked) {
      calls.ExpectErrors({{kFtpGetFileChunked, {"big.bin", "keep.bin", 0}, 0}});
      int rounds = 0;
      for (; rounds < 100000 && calls.IntResult(kFtpProgress, {kIntResult}) != -1; ++rounds) calls.Run(kFtpProceed, {});
      if (c.silent) {
        EXPECT_LT(rounds, 50);  // not a stall limit more of 10 ms proceeds
      }
    } else {
      calls.ExpectErrors({{kFtpGetFile, {"big.bin", "keep.bin"}, 8305}});
    }
    EXPECT_EQ(TakeFailure(), c.failure);
    EXPECT_EQ(ReadAll("keep.bin"), "old");
    EXPECT_EQ(Listing().size(), 2u);  // the session goes on
    calls.Run(kFtpDisconnect, {});
    EXPECT_FALSE(watchdog.Finish()) << "held until the server was ended";
  }
  EXPECT_EQ(calls.TakeError(), 0);
}

// A chunked get whose data has all come but whose server never sends the reply that ends the
// transfer: each proceed returns at once (the reply is awaited across them, where libcurl held
// one for a minute), the stall limit ends the wait, and a termination signal ends it at once
// (and the session with it, as the run ends). The old file stays either way.
TEST_F(FtpTest, AChunkedGetAwaitsTheFinalReplyWithoutHoldingTheProgram) {
  PlatformFtpSetLimitsForTests({.stallMs = 2000});
  ftp_servers::ServerProcess hostile;
  const std::string address = ftp_servers::StartHostileServer(&hostile, "no-final-reply");
  ASSERT_FALSE(address.empty());
  std::ofstream("f.bin") << "old";
  calls.ExpectErrors({{kFtpConnect, {address, "user", "pw"}, 0}, {kFtpGetFileChunked, {"f.bin", "f.bin", 5000}, 0}});
  int rounds = 0;
  for (; rounds < 100000 && calls.IntResult(kFtpProgress, {kIntResult}) != -1; ++rounds) calls.Run(kFtpProceed, {});
  EXPECT_GT(rounds, 20);  // proceeds of 10 ms each through the 2 seconds
  EXPECT_EQ(TakeFailure(), "the server stalled: nothing came for 2 seconds");
  EXPECT_EQ(ReadAll("f.bin"), "old");
  EXPECT_EQ(calls.IntResult(kFtpConnected, {kIntResult}), 1);
  PlatformCatchStopSignals();
  calls.ExpectErrors({{kFtpGetFileChunked, {"f.bin", "f.bin", 5000}, 0}});
  calls.Run(kFtpProceed, {});
  kill(getpid(), SIGTERM);
  calls.Run(kFtpProceed, {});
  EXPECT_EQ(calls.IntResult(kFtpProgress, {kIntResult}), -1);
  EXPECT_EQ(calls.IntResult(kFtpConnected, {kIntResult}), 0);
  EXPECT_EQ(ReadAll("f.bin"), "old");
  PlatformClearStopSignal();
  for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) signal(number, SIG_DFL);
  EXPECT_EQ(calls.TakeError(), 0);
}

// A connect the server holds ends at the stall limit when nothing comes (no greeting, no
// answer to the password), and at once on a termination signal (the run then ends as the
// signal asks), also while the server keeps the call alive by sending a little now and then.
TEST_F(FtpTest, AConnectTheServerHoldsEndsAtTheStallLimitOrASignal) {
  const std::string stalled = "the server stalled: nothing came for 2 seconds";
  const struct {
    const char* mode;
    bool signal;
    std::string failure;
  } cases[] = {
      {"no-greeting", false, stalled},
      {"stall-login", false, stalled},
      {"no-greeting", true, "stopped by a termination signal"},
      {"dribble", true, "stopped by a termination signal"},
  };
  PlatformCatchStopSignals();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + (c.signal ? " and a signal" : ""));
    PlatformFtpSetLimitsForTests(c.signal ? PlatformFtpLimits{} : PlatformFtpLimits{.stallMs = 2000});
    ftp_servers::ServerProcess hostile;
    const std::string address = ftp_servers::StartHostileServer(&hostile, c.mode);
    ASSERT_FALSE(address.empty());
    Watchdog watchdog(&hostile);
    std::thread signaller([&] {
      if (c.signal && hostile.ReadLine() == "accepted") kill(getpid(), SIGTERM);
    });
    calls.ExpectErrors({{kFtpConnect, {address, "user", "pw"}, 8301}});
    signaller.join();
    EXPECT_EQ(PlatformStopSignal(), c.signal ? SIGTERM : 0);
    EXPECT_EQ(TakeFailure(), c.failure);
    EXPECT_EQ(calls.IntResult(kFtpConnected, {kIntResult}), 0);
    EXPECT_FALSE(watchdog.Finish()) << "held until the server was ended";
    PlatformClearStopSignal();
  }
  for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) signal(number, SIG_DFL);
}

// The QUIT that ends a session is awaited briefly: a server that never answers it, answers
// with part of a line, or answers and keeps the connection open, has its connection dropped
// at the QUIT limit, whichever way the session ends, and the program goes on.
TEST_F(FtpTest, AQuitIsAwaitedOnlyBriefly) {
  PlatformFtpSetLimitsForTests({.quitMs = 1000});
  const std::function<void(qvasm::CommandCaller&)> disconnect = [](qvasm::CommandCaller& calls) {
    calls.Run(kFtpDisconnect, {});
  };
  const std::function<void(qvasm::CommandCaller&)> hangUp = [](qvasm::CommandCaller& calls) {
    calls.Run(kFtpDisconnectHangUp, {1});
  };
  const std::function<void(qvasm::CommandCaller&)> endOfRun = [](qvasm::CommandCaller&) { CloseFtpOnExit(); };
  const struct {
    const char* mode;
    const char* way;
    std::function<void(qvasm::CommandCaller&)> end;
  } cases[] = {
      {"quit-unanswered", "ftp disconnect", disconnect},
      {"quit-unanswered", "ftp disconnect 1", hangUp},
      {"quit-unanswered", "the end of the run", endOfRun},
      {"quit-partial", "ftp disconnect", disconnect},
      {"quit-lingers", "ftp disconnect", disconnect},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " by " + c.way);
    ftp_servers::ServerProcess hostile;
    const std::string address = ftp_servers::StartHostileServer(&hostile, c.mode);
    ASSERT_FALSE(address.empty());
    Watchdog watchdog(&hostile);
    calls.ExpectErrors({{kFtpConnect, {address, "user", "pw"}, 0}});
    EXPECT_EQ(Listing().size(), 2u);
    c.end(calls);
    EXPECT_EQ(calls.IntResult(kFtpConnected, {kIntResult}), 0);
    EXPECT_EQ(hostile.ReadLine(), "accepted");
    EXPECT_EQ(hostile.ReadLine(), "quit");    // it was asked politely
    EXPECT_EQ(hostile.ReadLine(), "closed");  // then dropped
    EXPECT_FALSE(watchdog.Finish()) << "held until the server was ended";
  }
  EXPECT_EQ(calls.TakeError(), 0);
}

// Debian's usual server, which knows no MLSD: listing (through LIST), get, put, delete, folder
// changes and a chunked get.
TEST_F(FtpTest, VsftpdServesEveryCommand) {
  ASSERT_TRUE(fs::exists(ftp_servers::kVsftpd)) << "vsftpd is not installed (tools/deps.txt lists it)";
  fs::create_directories(folder_ + "/vsftpd/root/sub");
  std::ofstream(folder_ + "/vsftpd/root/a.bin", std::ios::binary) << Bytes(5000, 1);
  const std::string address = ftp_servers::StartVsftpd(&server, folder_ + "/vsftpd");
  ASSERT_FALSE(address.empty()) << "vsftpd did not start";
  calls.ExpectErrors({{kFtpConnect, {address, "", ""}, 0}});
  auto listed = Listing();
  EXPECT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed["a.bin"], std::make_pair(0, 5000));
  EXPECT_EQ(listed["sub"], std::make_pair(1, 0));
  std::ofstream("up.bin", std::ios::binary) << Bytes(3000, 2);
  calls.ExpectErrors({
      {kFtpGetFile, {"a.bin", "down.bin"}, 0},
      {kFtpSetDir, {"sub"}, 0},
      {kFtpPutFile, {"up.bin"}, 0},
      {kFtpSetDir, {"no-such-folder"}, 8302},
  });
  EXPECT_EQ(ReadAll("down.bin"), Bytes(5000, 1));
  EXPECT_NE(TakeFailure().find("550"), std::string::npos);
  EXPECT_EQ(Listing(), (std::map<std::string, std::pair<int, int>>{{"up.bin", {0, 3000}}}));
  EXPECT_EQ(ReadAll(folder_ + "/vsftpd/root/sub/up.bin"), Bytes(3000, 2));
  calls.ExpectErrors({{kFtpGetFileChunked, {"up.bin", "again.bin", 3000}, 0}});
  for (int rounds = 0; rounds < 2000 && calls.IntResult(kFtpProgress, {kIntResult}) != -1; ++rounds)
    calls.Run(kFtpProceed, {});
  EXPECT_EQ(ReadAll("again.bin"), Bytes(3000, 2));
  calls.ExpectErrors({{kFtpDeleteFile, {"up.bin"}, 0}, {kFtpDeleteFile, {"up.bin"}, 8304}, {kFtpSetDir, {".."}, 0}});
  EXPECT_FALSE(fs::exists(folder_ + "/vsftpd/root/sub/up.bin"));
  EXPECT_EQ(Listing().size(), 2u);
  // An absolute folder (the server runs without chroot, so its paths are this machine's).
  calls.ExpectErrors({{kFtpSetDir, {folder_ + "/vsftpd/root/sub"}, 0}});
  EXPECT_TRUE(Listing().empty());
  EXPECT_EQ(calls.TakeError(), 0);
}

}  // namespace

