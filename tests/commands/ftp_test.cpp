// FTP against a real server (python3-pyftpdlib on 127.0.0.1 at a port it picks, started and
// stopped by each test): connect, the refused second connect, folders, listings, put, get,
// delete, chunked gets with progress, and the stall limit on an injected clock.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "commands/commands.h"
#include "runtime/command_numbers.h"
#include "tests/asm/command_call.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using qvasm::kIntResult;
using qvasm::kTextResult;

constexpr const char* kServerScript = R"(
import logging, sys
logging.basicConfig(level=logging.ERROR)
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer
users = DummyAuthorizer()
users.add_user('user', 'secret', sys.argv[1], perm='elradfmwMT')
class Slow(ThrottledDTPHandler):
    write_limit = int(sys.argv[2]) or 1
handler = FTPHandler
handler.authorizer = users
if int(sys.argv[2]) > 0:
    handler.dtp_handler = Slow
server = FTPServer(('127.0.0.1', 0), handler)
print(server.socket.getsockname()[1], flush=True)
server.serve_forever()
)";

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
    ClearCommandRegistry();
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    fs::current_path(start_);
    fs::remove_all(folder_);
  }
  // Starts the server on the folder's "server" folder; bytesPerSecond limits its sending (0 = none).
  void StartServer(int bytesPerSecond) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    posix_spawn_file_actions_addclose(&actions, ends[0]);
    const std::string root = folder_ + "/server", limit = std::to_string(bytesPerSecond);
    // Debian's python3, which python3-pyftpdlib installs into (not another one on the PATH).
    const char* argv[] = {"/usr/bin/python3", "-c", kServerScript, root.c_str(), limit.c_str(), nullptr};
    ASSERT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    std::string port;
    char c;
    while (read(ends[0], &c, 1) == 1 && c != '\n') port += c;
    close(ends[0]);
    ASSERT_FALSE(port.empty()) << "the FTP server did not start (python3-pyftpdlib installed?)";
    server_ = "127.0.0.1:" + port;
  }
  void WriteServerFile(const std::string& name, const std::string& bytes) {
    std::ofstream(folder_ + "/server/" + name, std::ios::binary) << bytes;
  }
  std::string folder_, server_;
  fs::path start_;
  pid_t pid_ = -1;
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
  std::map<std::string, std::pair<int, int>> listed;
  calls.Run(kFtpFindFirst, {});
  for (int i = 0; i < 10 && calls.IntResult(kFtpEntryType, {kIntResult}) != -1; ++i) {
    listed[calls.TextResult(kFtpEntryName, {kTextResult})] = {calls.IntResult(kFtpEntryType, {kIntResult}),
                                                               calls.IntResult(kFtpEntrySize, {kIntResult})};
    calls.Run(kFtpFindNext, {});
  }
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
  SetFtpClockForTests(FakeClock);
  calls.ExpectErrors({{kFtpConnect, {server_, "user", "secret"}, 0}, {kFtpGetFileChunked, {"slow.bin", "slow.bin", 200000}, 0}});
  int rounds = 0;
  while (rounds < 1000 && calls.IntResult(kFtpProgress, {kIntResult}) != -1) {
    calls.Run(kFtpProceed, {});
    ++rounds;
  }
  EXPECT_LT(rounds, 1000);
  EXPECT_FALSE(fs::exists("slow.bin"));  // the partial file is gone
  EXPECT_EQ(calls.IntResult(kFtpConnected, {kIntResult}), 1);
  EXPECT_EQ(calls.TakeError(), 0);
}

}  // namespace
