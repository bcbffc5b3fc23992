// FTP over libcurl: one easy handle per session (libcurl keeps its control connection), one
// more on a multi handle for a chunked download, and the server's response lines. Every call
// is watched: replies and listings have caps, a server that sends nothing is given up on, and
// a termination signal ends the call.
#include "platform/ftp.h"

#include "platform/carried.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/file_replace.h"
#include "platform/signals.h"

constexpr size_t kMaxLineKept = 512;  // of a reply line, for the failure text

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
  // The chunked download.
  CURL* chunkEasy = nullptr;
  CURLM* multi = nullptr;
  std::string pending;  // bytes received and not yet taken
  bool chunkDone = false, chunkFailed = false;
} gFtp;

static uint32_t gStallLimitMs = kFtpStallLimitMs;  // lives for the process

void PlatformFtpSetStallLimitForTests(uint32_t ms) { gStallLimitMs = ms != 0 ? ms : kFtpStallLimitMs; }

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
// nothing came for the stall limit (a watched call only: a chunked get is paced by its caller).
static int WatchCall(void* watched, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
  if (!gFtp.stopReason.empty()) return 1;  // the first reason stays while the call winds down
  if (PlatformStopSignal() != 0) {
    gFtp.stopReason = "stopped by a termination signal";
    return 1;
  }
  if (watched == nullptr) return 0;
  const uint32_t now = PlatformMilliseconds();
  if (received + sent != gFtp.lastMoved) {
    gFtp.lastMoved = received + sent;
    gFtp.lastActivity = now;
  } else if (now - gFtp.lastActivity > gStallLimitMs) {
    gFtp.stopReason = "the server stalled: nothing came for " + std::to_string(gStallLimitMs / 1000) + " seconds";
    return 1;
  }
  return 0;
}

static size_t DropBytes(char*, size_t size, size_t count, void*) { return size * count; }

static size_t AppendBytes(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
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

static size_t WriteToReplacement(char* data, size_t size, size_t count, void* file) {
  return PlatformWriteReplacement(static_cast<PlatformReplacement*>(file), data, size * count) ? size * count : 0;
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

// Options of every call; a watched call is given up on when nothing comes for the stall limit.
static void SetCommon(CURL* easy, bool watched = true) {
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
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, watched ? &gFtp : nullptr);
  gFtp.error[0] = '\0';
  gFtp.lastResponse.clear();
  gFtp.stopReason.clear();
  gFtp.replyBytes = 0;
  gFtp.lastMoved = -1;
  gFtp.lastActivity = PlatformMilliseconds();
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

static bool Perform(CURL* easy) {
  const CURLcode result = curl_easy_perform(easy);
  if (result != CURLE_OK) KeepFailure(result);
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

void PlatformFtpDisconnect() {
  PlatformFtpAbortChunkedGet();
  if (gFtp.easy != nullptr) curl_easy_cleanup(gFtp.easy);
  gFtp.easy = nullptr;
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
  curl_easy_setopt(gFtp.easy, CURLOPT_URL, UrlOf(gFtp.folder, gFtp.rooted, remoteName).c_str());
  curl_easy_setopt(gFtp.easy, CURLOPT_WRITEFUNCTION, WriteToReplacement);
  curl_easy_setopt(gFtp.easy, CURLOPT_WRITEDATA, &file);
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

bool PlatformFtpStartChunkedGet(const std::string& remoteName) {
  if (gFtp.easy == nullptr || gFtp.chunkEasy != nullptr || !UsableRemoteName(remoteName)) return false;
  gFtp.chunkEasy = curl_easy_init();
  gFtp.multi = curl_multi_init();
  if (gFtp.chunkEasy == nullptr || gFtp.multi == nullptr) {
    PlatformFtpAbortChunkedGet();
    return false;
  }
  gFtp.pending.clear();
  gFtp.chunkDone = gFtp.chunkFailed = false;
  SetCommon(gFtp.chunkEasy, false);
  curl_easy_setopt(gFtp.chunkEasy, CURLOPT_URL, UrlOf(gFtp.folder, gFtp.rooted, remoteName).c_str());
  curl_easy_setopt(gFtp.chunkEasy, CURLOPT_WRITEFUNCTION, AppendBytes);
  curl_easy_setopt(gFtp.chunkEasy, CURLOPT_WRITEDATA, &gFtp.pending);
  curl_multi_add_handle(gFtp.multi, gFtp.chunkEasy);
  // Run until the server answers the request, so a missing file fails here.
  bool finished = false, failed = false;
  for (int i = 0; i < 200 && gFtp.pending.empty() && !finished && !failed; ++i) {
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
  if (!gFtp.chunkDone && gFtp.pending.size() < most + 1) {
    int running = 0;
    curl_multi_perform(gFtp.multi, &running);
    if (running > 0 && gFtp.pending.empty()) {
      curl_multi_poll(gFtp.multi, nullptr, 0, waitMs, nullptr);
      curl_multi_perform(gFtp.multi, &running);
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(gFtp.multi, &left))
      if (message->msg == CURLMSG_DONE) {
        gFtp.chunkDone = true;
        if (message->data.result != CURLE_OK) {
          gFtp.chunkFailed = true;
          KeepFailure(message->data.result);
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

void PlatformFtpAbortChunkedGet() {
  if (gFtp.multi != nullptr && gFtp.chunkEasy != nullptr) curl_multi_remove_handle(gFtp.multi, gFtp.chunkEasy);
  if (gFtp.chunkEasy != nullptr) curl_easy_cleanup(gFtp.chunkEasy);
  if (gFtp.multi != nullptr) curl_multi_cleanup(gFtp.multi);
  gFtp.chunkEasy = nullptr;
  gFtp.multi = nullptr;
  gFtp.pending.clear();
}

bool PlatformFtpChunkedGetRunning() { return gFtp.chunkEasy != nullptr; }

std::string PlatformFtpLastResponse() { return gFtp.lastResponse; }

void PlatformFtpSetLastResponse(const std::string& text) { gFtp.lastResponse = text; }
