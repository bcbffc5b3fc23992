// FTP over libcurl: one easy handle per session (libcurl keeps its control connection), one
// more on a multi handle for a chunked download, and the server's response lines. Every call
// is watched: replies, listings and gets have caps, a server that sends nothing or trickles is
// given up on, and a termination signal ends the call.
#include "platform/ftp.h"

#include "platform/carried.h"

#include <curl/curl.h>
#include <linux/tcp.h>  // tcp_info with tcpi_bytes_received (glibc's netinet/tcp.h lacks it)
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/clock.h"
#include "platform/file_replace.h"
#include "platform/signals.h"

constexpr size_t kMaxLineKept = 512;  // of a reply line, for the failure text
constexpr uint32_t kStartWaitMs = 5000;  // the most a chunked get's start awaits the server's answer

// Lives from PlatformFtpConnect to PlatformFtpDisconnect.
static struct {
  CURL* easy = nullptr;
  std::string base;  // "ftp://host:port/"
  std::string user, password;
  std::vector<std::string> folder;  // below the login folder; absolute when rooted
  bool rooted = false;
  PlatformFtpListingForm listing = PlatformFtpListingForm::kMachine;  // what the server answers
  std::string lastResponse;
  char error[CURL_ERROR_SIZE] = {};
  // The watch over the running call, reset by every call.
  std::string stopReason;     // why a callback ended the call; "" when none did
  size_t replyBytes = 0;      // of the call's reply lines
  uint32_t lastActivity = 0;  // when a reply line or a byte last came or went
  curl_off_t lastMoved = -1;  // bytes received and sent at the last look
  uint32_t floorSince = 0;    // the start of the window the floor is measured over
  curl_off_t floorMoved = 0;  // bytes received, sent and replied then
  std::vector<int> sockets;   // the session handle's open sockets (OpenSocket, CloseSocket)
  // The chunked download.
  CURL* chunkEasy = nullptr;
  CURLM* multi = nullptr;
  std::vector<int> chunkSockets;  // its control connection first, then its data connection
  std::string pending;            // bytes received and not yet taken
  uint64_t chunkReceived = 0;
  uint64_t chunkReplyBytes = 0;   // of the reply lines libcurl handed on for it
  std::string chunkStopReason;    // why a callback of the download ended it
  bool chunkHeld = false;         // paused after its data, until the server's reply comes
  bool chunkDone = false, chunkFailed = false;
} gFtp;

static PlatformFtpLimits gLimits;  // lives for the process

uint32_t PlatformFtpStallLimitMs() { return gLimits.stallMs; }
void PlatformFtpSetLimitsForTests(const PlatformFtpLimits& limits) { gLimits = limits; }

static void StartCurl() {
  static const bool started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  (void)started;
}

// Every response line the server sends; the last one is the failure text. All the replies to
// one call together have a cap: a server sending an endless reply is given up on.
static size_t TakeResponse(char* data, size_t size, size_t count, void*) {
  const size_t bytes = size * count;
  gFtp.lastActivity = PlatformMilliseconds();
  gFtp.replyBytes += bytes;
  if (gFtp.replyBytes > kFtpMaxReplyBytes) {
    if (gFtp.stopReason.empty())
      gFtp.stopReason = "the server's reply is longer than " + std::to_string(kFtpMaxReplyBytes / 1024) + " KB";
    return 0;
  }
  std::string line(data, std::min(bytes, kMaxLineKept));
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (!line.empty()) gFtp.lastResponse = line;
  return bytes;
}

// libcurl's progress call, at least once a second while a call runs: a termination signal
// ends the call (the run then ends as the signal asks), and so does a server from which
// nothing came for the stall limit, or that trickles: each window of the floor must bring
// its share of bytes. (A chunked get is paced by its caller: it has a watch of its own.)
static int WatchCall(void*, curl_off_t expected, curl_off_t received, curl_off_t, curl_off_t sent) {
  if (!gFtp.stopReason.empty()) return 1;  // the first reason stays while the call winds down
  if (PlatformStopSignal() != 0) {
    gFtp.stopReason = "stopped by a termination signal";
    return 1;
  }
  const uint32_t now = PlatformMilliseconds();
  if (received + sent != gFtp.lastMoved) {
    gFtp.lastMoved = received + sent;
    gFtp.lastActivity = now;
  } else if (now - gFtp.lastActivity > gLimits.stallMs) {
    gFtp.stopReason = "the server stalled: nothing came for " + std::to_string(gLimits.stallMs / 1000) + " seconds";
    return 1;
  }
  // Once all the announced bytes have come only the server's reply is due: the stall limit
  // alone covers that wait.
  const curl_off_t moved = received + sent + static_cast<curl_off_t>(gFtp.replyBytes);
  const curl_off_t share = curl_off_t{kFtpFloorBytesPerSecond} * gLimits.floorWindowMs / 1000;
  if (moved - gFtp.floorMoved >= share || (expected > 0 && received >= expected)) {
    gFtp.floorSince = now;
    gFtp.floorMoved = moved;
  } else if (now - gFtp.floorSince >= gLimits.floorWindowMs) {
    gFtp.stopReason = "the server is too slow: under " + std::to_string(kFtpFloorBytesPerSecond / 1024) +
                      " KB a second for " + std::to_string(gLimits.floorWindowMs / 1000) + " seconds";
    return 1;
  }
  return 0;
}

// The sockets of each handle are made and closed here, so they are known: a call ended early
// drops its connection with them (see DropConnection).
static curl_socket_t OpenSocket(void* owner, curlsocktype, curl_sockaddr* address) {
  const int socket = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  if (socket < 0) return CURL_SOCKET_BAD;
  static_cast<std::vector<int>*>(owner)->push_back(socket);
  return socket;
}

static int CloseSocket(void* owner, curl_socket_t socket) {
  std::vector<int>& sockets = *static_cast<std::vector<int>*>(owner);
  sockets.erase(std::remove(sockets.begin(), sockets.end(), socket), sockets.end());
  return close(socket);
}

// Ends a handle's connections at once. libcurl then sends nothing more on them and awaits no
// reply (a QUIT's, or the one after a transfer, which it waits for up to two minutes with no
// way to stop it); the session's next call makes a new connection.
static void DropConnection(const std::vector<int>& sockets) {
  for (int socket : sockets) shutdown(socket, SHUT_RDWR);
}

// The size the server announced for the running get (SIZE, or the reply to RETR); -1 none.
static curl_off_t AnnouncedSize(CURL* easy) {
  curl_off_t announced = -1;
  return curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK ? announced : -1;
}

// A get whose size the server announced ends there (libcurl reads no further); one without is
// held to the unsized limit, so an endless sender cannot fill the disk. False, with the
// reason, past that.
static bool AdmitGetBytes(CURL* easy, uint64_t* received, size_t bytes, std::string* stopReason) {
  *received += bytes;
  if (AnnouncedSize(easy) < 0 && *received > gLimits.unsizedGetBytes) {
    if (stopReason->empty())
      *stopReason = "the server sent more than " + std::to_string(gLimits.unsizedGetBytes >> 20) +
                    " MB, the most a get takes when the server announces no size";
    return false;
  }
  return true;
}

static size_t DropBytes(char*, size_t size, size_t count, void*) { return size * count; }

static size_t TakeChunkBytes(char* data, size_t size, size_t count, void*) {
  const size_t bytes = size * count;
  if (!AdmitGetBytes(gFtp.chunkEasy, &gFtp.chunkReceived, bytes, &gFtp.chunkStopReason)) return 0;
  gFtp.pending.append(data, bytes);
  return bytes;
}

// A listing has a cap: an endless one ends the call instead of taking all memory.
static size_t AppendListing(char* data, size_t size, size_t count, void* target) {
  std::string* text = static_cast<std::string*>(target);
  if (text->size() + size * count > kFtpMaxListingBytes) {
    if (gFtp.stopReason.empty())
      gFtp.stopReason = "the server's listing is larger than " + std::to_string(kFtpMaxListingBytes >> 20) + " MB";
    return 0;
  }
  text->append(data, size * count);
  return size * count;
}

struct GetTarget {  // a whole get's local file and the bytes it took
  PlatformReplacement* file;
  uint64_t received;
};

static size_t WriteToReplacement(char* data, size_t size, size_t count, void* target) {
  GetTarget& get = *static_cast<GetTarget*>(target);
  const size_t bytes = size * count;
  if (!AdmitGetBytes(gFtp.easy, &get.received, bytes, &gFtp.stopReason)) return 0;
  return PlatformWriteReplacement(get.file, data, bytes) ? bytes : 0;
}

static std::string Escape(const std::string& part) {
  char* escaped = curl_easy_escape(nullptr, part.c_str(), static_cast<int>(part.size()));
  std::string text = escaped != nullptr ? escaped : "";
  curl_free(escaped);
  return text;
}

// The URL of a folder (ending "/") or of a name in it.
static std::string UrlOf(const std::vector<std::string>& folder, bool rooted, const std::string& name = "") {
  std::string url = gFtp.base + (rooted ? "%2F" : "");
  for (const std::string& part : folder) url += Escape(part) + "/";
  return url + Escape(name);
}

// Options of every call, watched by WatchCall.
static void SetCommon(CURL* easy) {
  curl_easy_reset(easy);
  curl_easy_setopt(easy, CURLOPT_USERNAME, gFtp.user.c_str());
  curl_easy_setopt(easy, CURLOPT_PASSWORD, gFtp.password.c_str());
  curl_easy_setopt(easy, CURLOPT_FTP_USE_EPSV, 1L);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, TakeResponse);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, DropBytes);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, gFtp.error);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 15L);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, WatchCall);
  std::vector<int>* sockets = easy == gFtp.chunkEasy ? &gFtp.chunkSockets : &gFtp.sockets;
  curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
  curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, sockets);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, CloseSocket);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, sockets);
  gFtp.error[0] = '\0';
  gFtp.lastResponse.clear();
  gFtp.stopReason.clear();
  gFtp.replyBytes = 0;
  gFtp.lastMoved = -1;
  gFtp.lastActivity = gFtp.floorSince = PlatformMilliseconds();
  gFtp.floorMoved = 0;
}

// The failure text of a call that failed: what ended it, else the server's last line when
// that was a refusal, else libcurl's reason (a reset connection after a "230 Login successful").
static void KeepFailure(CURLcode result) {
  if (!gFtp.stopReason.empty()) {
    gFtp.lastResponse = gFtp.stopReason;
    return;
  }
  const char first = gFtp.lastResponse.empty() ? '0' : gFtp.lastResponse[0];
  if (first == '4' || first == '5') return;
  gFtp.lastResponse = gFtp.error[0] != '\0' ? gFtp.error : curl_easy_strerror(result);
}

// A call ended by one of the watch's reasons may leave the server mid-reply (as one that never
// sends the reply after a transfer does): its connection is dropped.
static bool Perform(CURL* easy) {
  const CURLcode result = curl_easy_perform(easy);
  if (result != CURLE_OK) {
    if (!gFtp.stopReason.empty()) DropConnection(gFtp.sockets);
    KeepFailure(result);
  }
  return result == CURLE_OK;
}

// A remote name goes into a command line: a line end in it would end the command early.
static bool UsableRemoteName(const std::string& name) {
  for (unsigned char c : name)
    if (c < 32 || c == 127) {
      gFtp.lastResponse = "a remote name cannot hold control characters";
      return false;
    }
  return true;
}

bool PlatformFtpConnect(const std::string& server, const std::string& user, const std::string& password) {
  if (gFtp.easy != nullptr) return false;
  // Without libcurl the failure text names it (the program reads it with get ftp failure$).
  gFtp.lastResponse = PlatformUseProblem(CarriedUse::kFtp);
  if (!gFtp.lastResponse.empty()) return false;
  StartCurl();
  CURL* easy = curl_easy_init();
  if (easy == nullptr) {
    gFtp.lastResponse = curl_easy_strerror(CURLE_FAILED_INIT);
    return false;
  }
  gFtp.easy = easy;
  gFtp.base = "ftp://" + server + "/";
  gFtp.user = user.empty() ? "anonymous" : user;
  gFtp.password = password;
  gFtp.folder.clear();
  gFtp.rooted = false;
  gFtp.listing = PlatformFtpListingForm::kMachine;
  if (!PlatformFtpCheckFolder()) {
    const std::string reason = gFtp.lastResponse;
    PlatformFtpDisconnect();
    gFtp.lastResponse = reason;
    return false;
  }
  return true;
}

// Whether the reply text holds a whole last line of a reply ("221 bye", not "221-" lines).
static bool ReplyEnded(const std::string& reply) {
  size_t start = 0;
  for (size_t end; (end = reply.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string_view line(reply.data() + start, end - start);
    if (line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
        std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2])) &&
        (line.size() == 3 || line[3] != '-'))
      return true;
  }
  return false;
}

// Says QUIT on the session's control connection (its first socket) and awaits the answer for
// at most the QUIT limit; a termination signal ends the wait. (libcurl's own QUIT awaits it for
// two minutes, with no way to stop it: the connection is dropped after this, so libcurl's fails
// at once.)
static void SayQuit() {
  if (gFtp.sockets.empty() || PlatformStopSignal() != 0) return;
  const int control = gFtp.sockets.front();
  constexpr std::string_view kQuit = "QUIT\r\n";
  if (send(control, kQuit.data(), kQuit.size(), MSG_NOSIGNAL | MSG_DONTWAIT) != static_cast<ssize_t>(kQuit.size()))
    return;
  std::string reply;
  const uint32_t start = PlatformMilliseconds();
  for (uint32_t waited = 0; waited < gLimits.quitMs && PlatformStopSignal() == 0;
       waited = PlatformMilliseconds() - start) {
    pollfd socket = {control, POLLIN, 0};
    if (poll(&socket, 1, static_cast<int>(std::min<uint32_t>(gLimits.quitMs - waited, 100))) <= 0) continue;
    char bytes[512];
    const ssize_t got = recv(control, bytes, sizeof(bytes), MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) return;  // closed: nothing more to await
    if (got > 0) reply.append(bytes, static_cast<size_t>(got));
    if (ReplyEnded(reply) || reply.size() > kFtpMaxReplyBytes) return;
  }
}

void PlatformFtpDisconnect() {
  PlatformFtpAbortChunkedGet();
  SayQuit();
  DropConnection(gFtp.sockets);
  if (gFtp.easy != nullptr) curl_easy_cleanup(gFtp.easy);
  gFtp.easy = nullptr;
  gFtp.sockets.clear();  // all closed through CloseSocket by now
  gFtp.folder.clear();
  gFtp.rooted = false;
}

bool PlatformFtpConnected() { return gFtp.easy != nullptr; }

// Logs in (when the connection is new) and enters the folder without a transfer.
static bool VisitFolder(const std::vector<std::string>& folder, bool rooted) {
  if (gFtp.easy == nullptr) return false;
  SetCommon(gFtp.easy);
  curl_easy_setopt(gFtp.easy, CURLOPT_URL, UrlOf(folder, rooted).c_str());
  curl_easy_setopt(gFtp.easy, CURLOPT_NOBODY, 1L);
  return Perform(gFtp.easy);
}

bool PlatformFtpCheckFolder() { return VisitFolder(gFtp.folder, gFtp.rooted); }

bool PlatformFtpChangeFolder(const std::string& path) {
  if (!UsableRemoteName(path)) return false;
  std::vector<std::string> folder = gFtp.folder;
  bool rooted = gFtp.rooted;
  if (!path.empty() && (path[0] == '/' || path[0] == '\\')) {
    folder.clear();
    rooted = true;
  }
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("/\\", start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!folder.empty()) folder.pop_back();
      else if (!rooted) folder.push_back("..");
    } else if (!part.empty() && part != ".") {
      folder.push_back(part);
    }
    start = end + 1;
  }
  if (!VisitFolder(folder, rooted)) return false;
  gFtp.folder = folder;
  gFtp.rooted = rooted;
  return true;
}

// One listing of the current folder in the given form into *text.
static bool ListAs(PlatformFtpListingForm form, std::string* text) {
  text->clear();
  SetCommon(gFtp.easy);
  curl_easy_setopt(gFtp.easy, CURLOPT_URL, UrlOf(gFtp.folder, gFtp.rooted).c_str());
  if (form == PlatformFtpListingForm::kMachine) curl_easy_setopt(gFtp.easy, CURLOPT_CUSTOMREQUEST, "MLSD");
  if (form == PlatformFtpListingForm::kNames) curl_easy_setopt(gFtp.easy, CURLOPT_DIRLISTONLY, 1L);
  curl_easy_setopt(gFtp.easy, CURLOPT_WRITEFUNCTION, AppendListing);
  curl_easy_setopt(gFtp.easy, CURLOPT_WRITEDATA, text);
  return Perform(gFtp.easy);
}

// The server's reply says it does not know the command (500, 501, 502, 504), as vsftpd says
// of MLSD: "500 Unknown command.".
static bool CommandNotKnown() {
  const std::string& reply = gFtp.lastResponse;
  return reply.size() >= 3 && reply[0] == '5' && reply[1] == '0' && std::strchr("0124", reply[2]) != nullptr;
}

bool PlatformFtpList(std::vector<PlatformFtpEntry>* entries) {
  entries->clear();
  if (gFtp.easy == nullptr) return false;
  std::string text;
  // The first form the server knows stays the session's.
  while (!ListAs(gFtp.listing, &text)) {
    if (gFtp.listing == PlatformFtpListingForm::kNames || !CommandNotKnown()) return false;
    gFtp.listing = gFtp.listing == PlatformFtpListingForm::kMachine ? PlatformFtpListingForm::kLong
                                                                    : PlatformFtpListingForm::kNames;
  }
  size_t recognized = 0;
  *entries = PlatformParseFtpListing(text, gFtp.listing, &recognized);
  // A long listing in a form of its own: the names alone, then.
  if (gFtp.listing == PlatformFtpListingForm::kLong && recognized == 0 &&
      !PlatformParseFtpListing(text, PlatformFtpListingForm::kNames).empty() && ListAs(PlatformFtpListingForm::kNames, &text))
    *entries = PlatformParseFtpListing(text, PlatformFtpListingForm::kNames);
  return true;
}

static size_t ReadFromFile(char* data, size_t size, size_t count, void* file) {
  return std::fread(data, size, count, static_cast<FILE*>(file));
}

bool PlatformFtpPut(const std::string& localPath, const std::string& remoteName) {
  if (gFtp.easy == nullptr || !UsableRemoteName(remoteName)) return false;
  FILE* file = std::fopen(localPath.c_str(), "rbe");
  if (file == nullptr) {
    gFtp.lastResponse = "cannot read " + localPath + ": " + std::strerror(errno);
    return false;
  }
  SetCommon(gFtp.easy);
  curl_easy_setopt(gFtp.easy, CURLOPT_URL, UrlOf(gFtp.folder, gFtp.rooted, remoteName).c_str());
  curl_easy_setopt(gFtp.easy, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(gFtp.easy, CURLOPT_READFUNCTION, ReadFromFile);
  curl_easy_setopt(gFtp.easy, CURLOPT_READDATA, file);
  const bool ok = Perform(gFtp.easy);
  std::fclose(file);
  return ok;
}

bool PlatformFtpGet(const std::string& remoteName, const std::string& localPath) {
  if (gFtp.easy == nullptr || !UsableRemoteName(remoteName)) return false;
  PlatformReplacement file;
  std::string why;
  if (!PlatformBeginReplace(localPath, false, &file, &why)) {
    gFtp.lastResponse = "cannot write " + localPath + ": " + why;
    return false;
  }
  SetCommon(gFtp.easy);
  GetTarget get{&file, 0};
  curl_easy_setopt(gFtp.easy, CURLOPT_URL, UrlOf(gFtp.folder, gFtp.rooted, remoteName).c_str());
  curl_easy_setopt(gFtp.easy, CURLOPT_WRITEFUNCTION, WriteToReplacement);
  curl_easy_setopt(gFtp.easy, CURLOPT_WRITEDATA, &get);
  if (!Perform(gFtp.easy)) {
    if (file.error != 0) gFtp.lastResponse = "cannot write " + localPath + ": " + std::strerror(file.error);
    PlatformAbandonReplace(&file);
    return false;
  }
  if (!PlatformCommitReplace(&file, &why)) {
    gFtp.lastResponse = "cannot write " + localPath + ": " + why;
    return false;
  }
  return true;
}

bool PlatformFtpDelete(const std::string& remoteName) {
  if (gFtp.easy == nullptr || !UsableRemoteName(remoteName)) return false;
  SetCommon(gFtp.easy);
  const std::string command = "DELE " + remoteName;
  curl_slist* quote = curl_slist_append(nullptr, command.c_str());
  curl_easy_setopt(gFtp.easy, CURLOPT_URL, UrlOf(gFtp.folder, gFtp.rooted).c_str());
  curl_easy_setopt(gFtp.easy, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(gFtp.easy, CURLOPT_QUOTE, quote);
  const bool ok = Perform(gFtp.easy);
  curl_easy_setopt(gFtp.easy, CURLOPT_QUOTE, nullptr);
  curl_slist_free_all(quote);
  return ok;
}

static size_t TakeChunkResponse(char* data, size_t size, size_t count, void* user) {
  gFtp.chunkReplyBytes += size * count;
  return TakeResponse(data, size, count, user);
}

// Whether a reply has come (or begun to) on the download's control connection that libcurl
// has not handed on yet: in the socket, or read ahead into libcurl's own buffer with the
// reply before it (a small file's "226" often comes in one read with its "150"). So the
// bytes the connection received are compared with the reply lines handed on. The
// download's first socket is its control connection.
static bool ReplyPending() {
  const int control = gFtp.chunkSockets.front();
  pollfd socket = {control, POLLIN, 0};
  if (poll(&socket, 1, 0) != 0) return true;  // a reply, or the connection ended
  tcp_info info{};
  socklen_t length = sizeof(info);
  if (getsockopt(control, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
      length < offsetof(tcp_info, tcpi_bytes_received) + sizeof(info.tcpi_bytes_received))
    return true;  // cannot tell: nothing is held back
  return info.tcpi_bytes_received > gFtp.chunkReplyBytes;
}

// Once the download's data has ended (its connection closed, or the announced size came),
// libcurl reads the server's reply to the transfer in the same call, waiting for it up to a
// minute: a server that never sends it held the program that long. So at that point (libcurl
// makes this progress call right after reading, before it goes on) the download is paused
// until the reply has come or begun to, and the reply is awaited a call at a time (the
// caller's stall limit covers the wait). A later socket of the download is its data
// connection (passive mode: one address).
static bool DataEndedBeforeReply(curl_off_t received) {
  if (gFtp.chunkSockets.size() < 2 || ReplyPending()) return false;
  pollfd data = {gFtp.chunkSockets.back(), POLLRDHUP, 0};
  if (poll(&data, 1, 0) < 0) return false;
  const curl_off_t announced = AnnouncedSize(gFtp.chunkEasy);
  return (data.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0 || (announced >= 0 && received >= announced);
}

static int WatchChunkedGet(void*, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
  if (PlatformStopSignal() != 0) {
    if (gFtp.chunkStopReason.empty()) gFtp.chunkStopReason = "stopped by a termination signal";
    return 1;
  }
  if (!gFtp.chunkHeld && DataEndedBeforeReply(received)) {
    gFtp.chunkHeld = true;
    curl_easy_pause(gFtp.chunkEasy, CURLPAUSE_RECV);
  }
  return 0;
}

bool PlatformFtpStartChunkedGet(const std::string& remoteName) {
  if (gFtp.easy == nullptr || gFtp.chunkEasy != nullptr || !UsableRemoteName(remoteName)) return false;
  gFtp.chunkEasy = curl_easy_init();
  gFtp.multi = curl_multi_init();
  if (gFtp.chunkEasy == nullptr || gFtp.multi == nullptr) {
    PlatformFtpAbortChunkedGet();
    return false;
  }
  gFtp.pending.clear();
  gFtp.chunkReceived = gFtp.chunkReplyBytes = 0;
  gFtp.chunkStopReason.clear();
  gFtp.chunkDone = gFtp.chunkFailed = gFtp.chunkHeld = false;
  SetCommon(gFtp.chunkEasy);
  curl_easy_setopt(gFtp.chunkEasy, CURLOPT_XFERINFOFUNCTION, WatchChunkedGet);
  curl_easy_setopt(gFtp.chunkEasy, CURLOPT_HEADERFUNCTION, TakeChunkResponse);
  curl_easy_setopt(gFtp.chunkEasy, CURLOPT_URL, UrlOf(gFtp.folder, gFtp.rooted, remoteName).c_str());
  curl_easy_setopt(gFtp.chunkEasy, CURLOPT_WRITEFUNCTION, TakeChunkBytes);
  curl_multi_add_handle(gFtp.multi, gFtp.chunkEasy);
  // Run until the server answers the request, so a missing file fails here (data held back
  // until the reply after it comes is an answer too); a server that takes longer is awaited
  // across proceeds, under the stall limit.
  bool finished = false, failed = false;
  const uint32_t start = PlatformMilliseconds(), most = std::min(kStartWaitMs, gLimits.stallMs);
  while (PlatformMilliseconds() - start < most && gFtp.pending.empty() && !gFtp.chunkHeld && !finished && !failed) {
    char none;
    PlatformFtpTakeChunk(&none, 0, 25, &finished, &failed);
  }
  if (failed || (finished && gFtp.chunkFailed)) {
    PlatformFtpAbortChunkedGet();
    return false;
  }
  return true;
}

size_t PlatformFtpTakeChunk(char* buffer, size_t most, int waitMs, bool* finished, bool* failed) {
  *finished = *failed = false;
  if (gFtp.multi == nullptr) {
    *failed = true;
    return 0;
  }
  if (!gFtp.chunkDone && PlatformStopSignal() != 0) {
    gFtp.chunkDone = gFtp.chunkFailed = true;
    gFtp.lastResponse = "stopped by a termination signal";
  }
  if (!gFtp.chunkDone && gFtp.pending.size() < most + 1) {
    if (gFtp.chunkHeld && !gFtp.chunkSockets.empty()) {  // the reply after the data is awaited
      pollfd reply = {gFtp.chunkSockets.front(), POLLIN, 0};
      if (ReplyPending() || poll(&reply, 1, waitMs) > 0) {
        gFtp.chunkHeld = false;
        curl_easy_pause(gFtp.chunkEasy, CURLPAUSE_CONT);
      }
    }
    int running = 0;
    if (!gFtp.chunkHeld) curl_multi_perform(gFtp.multi, &running);
    if (running > 0 && gFtp.pending.empty() && !gFtp.chunkHeld) {
      curl_multi_poll(gFtp.multi, nullptr, 0, waitMs, nullptr);
      curl_multi_perform(gFtp.multi, &running);
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(gFtp.multi, &left))
      if (message->msg == CURLMSG_DONE) {
        gFtp.chunkDone = true;
        if (message->data.result != CURLE_OK) {
          gFtp.chunkFailed = true;
          if (!gFtp.chunkStopReason.empty()) gFtp.lastResponse = gFtp.chunkStopReason;
          else KeepFailure(message->data.result);
        }
      }
  }
  const size_t n = std::min(most, gFtp.pending.size());
  if (n > 0) std::memcpy(buffer, gFtp.pending.data(), n);
  gFtp.pending.erase(0, n);
  *finished = gFtp.chunkDone && gFtp.pending.empty();
  *failed = gFtp.chunkFailed;
  return n;
}

// The download's connection serves it alone: it is dropped, complete or not, so closing it
// awaits nothing from the server.
void PlatformFtpAbortChunkedGet() {
  DropConnection(gFtp.chunkSockets);
  if (gFtp.multi != nullptr && gFtp.chunkEasy != nullptr) curl_multi_remove_handle(gFtp.multi, gFtp.chunkEasy);
  if (gFtp.chunkEasy != nullptr) curl_easy_cleanup(gFtp.chunkEasy);
  if (gFtp.multi != nullptr) curl_multi_cleanup(gFtp.multi);
  gFtp.chunkEasy = nullptr;
  gFtp.multi = nullptr;
  gFtp.chunkSockets.clear();  // all closed through CloseSocket by now; none is looked at again
  gFtp.pending.clear();
}

bool PlatformFtpChunkedGetRunning() { return gFtp.chunkEasy != nullptr; }

std::string PlatformFtpLastResponse() { return gFtp.lastResponse; }

void PlatformFtpSetLastResponse(const std::string& text) { gFtp.lastResponse = text; }
