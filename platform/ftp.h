// One FTP session over libcurl: connect (passive transfers), change folder, list, put, get
// (whole, or in chunks the caller pulls), delete. The server text may carry a port
// ("host:2121"); without one it is 21. Every failure keeps the server's last response line,
// or says what ended the call: a reply or listing past its cap, a server that sent nothing
// for the stall limit, a termination signal, a local file that could not be written.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PlatformFtpEntry {
  std::string name;
  bool folder;
  uint64_t size;
};

// What a session may take from a server: the text of all replies to one command, the bytes of
// one listing, the time a call waits while nothing comes (a chunked get is paced by its caller),
// the slowest a call may go (under 1 KB a second over 30 seconds: a server sending a byte a
// second would hold a get for ever), and the bytes of a get whose size the server did not
// announce (a get whose size it did is held to that size). The command reference states these
// (data/descriptions.txt: ftp connect, ftp get file): keep them in step.
constexpr size_t kFtpMaxReplyBytes = 64 * 1024;
constexpr size_t kFtpMaxListingBytes = 16u << 20;
constexpr uint32_t kFtpStallLimitMs = 10000;
constexpr uint32_t kFtpFloorBytesPerSecond = 1024;
constexpr uint32_t kFtpFloorWindowMs = 30000;
constexpr uint64_t kFtpMaxUnsizedGetBytes = uint64_t{1} << 30;
// The wait for the server's answer to the QUIT that ends a session (ftp disconnect, the end of a
// run): a server that does not answer in time has its connection dropped (the command reference
// states it: ftp disconnect).
constexpr uint32_t kFtpQuitLimitMs = 3000;

// The limits in force; tests shorten them, users get the defaults.
struct PlatformFtpLimits {
  uint32_t stallMs = kFtpStallLimitMs;
  uint32_t floorWindowMs = kFtpFloorWindowMs;
  uint64_t unsizedGetBytes = kFtpMaxUnsizedGetBytes;
  uint32_t quitMs = kFtpQuitLimitMs;
};

// Logs in and keeps the session; false (nothing kept) when the server cannot be reached or
// refuses the user.
bool PlatformFtpConnect(const std::string& server, const std::string& user, const std::string& password);
// Says QUIT, awaits its answer at most the QUIT limit, and drops the connection.
void PlatformFtpDisconnect();
bool PlatformFtpConnected();
// Changes the remote folder ("..", absolute "/x" and relative paths); false leaves it as it was.
bool PlatformFtpChangeFolder(const std::string& folder);
// Asks the server whether the session still works in its current folder.
bool PlatformFtpCheckFolder();
// The current folder's entries: MLSD, or where the server does not know it LIST (Unix and DOS
// forms), then NLST. Names with a folder part are left out (see PlatformFtpNameIsPlain).
bool PlatformFtpList(std::vector<PlatformFtpEntry>* entries);
bool PlatformFtpPut(const std::string& localPath, const std::string& remoteName);
// Downloads whole into localPath, replacing it only once the download is complete: a failed
// download leaves the old file (or none) and nothing partial.
bool PlatformFtpGet(const std::string& remoteName, const std::string& localPath);
bool PlatformFtpDelete(const std::string& remoteName);
// Chunked download: start it, then take the bytes that have come (waiting at most waitMs for
// some); *finished once the server sent everything and confirmed it, *failed when the transfer
// broke (a termination signal fails it too). No call waits longer than waitMs: the server's
// reply after the last byte is awaited across calls (the caller's stall limit covers it). The
// start awaits the server's answer to the request for at most 5 seconds or the stall limit.
bool PlatformFtpStartChunkedGet(const std::string& remoteName);
size_t PlatformFtpTakeChunk(char* buffer, size_t most, int waitMs, bool* finished, bool* failed);
void PlatformFtpAbortChunkedGet();
bool PlatformFtpChunkedGetRunning();
// The server's last response line (or the reason the call ended when there was none).
std::string PlatformFtpLastResponse();
// Sets the reason of a failure found by the caller (a chunked get that stalled, a local file).
void PlatformFtpSetLastResponse(const std::string& text);
// The stall limit in force (the chunked get's caller applies it).
uint32_t PlatformFtpStallLimitMs();
// Tests: shorter limits ({} restores the defaults).
void PlatformFtpSetLimitsForTests(const PlatformFtpLimits& limits);

// Listings, for the session and the fuzz target.
enum class PlatformFtpListingForm { kMachine, kLong, kNames };  // MLSD, LIST, NLST
// The entries of a listing's text; lines that are no entry and names that are not plain are
// skipped. *recognized counts the lines read as entries, plain names or not.
std::vector<PlatformFtpEntry> PlatformParseFtpListing(const std::string& text, PlatformFtpListingForm form,
                                                      size_t* recognized = nullptr);
// A name the server listed names one file of the folder: not empty, "." or "..", and no "/",
// "\" or control character ("../../x", "sub/../x" and "/abs" would lead a program's
// "dl/" + name$ out of its folder).
bool PlatformFtpNameIsPlain(const std::string& name);
