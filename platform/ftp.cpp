// FTP over libcurl: one easy handle per session (libcurl keeps its control connection), one
// more on a multi handle for a chunked download, and the server's response lines.
#include "platform/ftp.h"
#include "platform/folders.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstring>

// Lives from PlatformFtpConnect to PlatformFtpDisconnect.
static struct {
  CURL* easy = nullptr;
  std::string base;    // "ftp://host:port/"
  std::string user, password;
  std::vector<std::string> folder;  // below the login folder; absolute when rooted
  bool rooted = false;
  std::string lastResponse;
  char error[CURL_ERROR_SIZE] = {};
  // The chunked download.
  CURL* chunkEasy = nullptr;
  CURLM* multi = nullptr;
  std::string pending;  // bytes received and not yet taken
  bool chunkDone = false, chunkFailed = false;
} gFtp;

static void StartCurl() {
  static const bool started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  (void)started;
}

// Every response line the server sends; the last one is the failure text.
static size_t TakeResponse(char* data, size_t size, size_t count, void*) {
  std::string line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (!line.empty()) gFtp.lastResponse = line;
  return size * count;
}

static size_t DropBytes(char*, size_t size, size_t count, void*) { return size * count; }

static size_t AppendBytes(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

static size_t WriteToFile(char* data, size_t size, size_t count, void* file) {
  return std::fwrite(data, size, count, static_cast<FILE*>(file)) * size;
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
  gFtp.error[0] = '\0';
}

static bool Perform(CURL* easy) {
  const CURLcode result = curl_easy_perform(easy);
  if (result != CURLE_OK && gFtp.lastResponse.empty())
    gFtp.lastResponse = gFtp.error[0] != '\0' ? gFtp.error : curl_easy_strerror(result);
  return result == CURLE_OK;
}

bool PlatformFtpConnect(const std::string& server, const std::string& user, const std::string& password) {
  if (gFtp.easy != nullptr) return false;
  StartCurl();
  CURL* easy = curl_easy_init();
  if (easy == nullptr) return false;
  gFtp.easy = easy;
  gFtp.base = "ftp://" + server + "/";
  gFtp.user = user.empty() ? "anonymous" : user;
  gFtp.password = password;
  gFtp.folder.clear();
  gFtp.rooted = false;
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

// One MLSD line: "type=dir;size=12;modify=...; name".
static bool ParseListLine(const std::string& line, PlatformFtpEntry* entry) {
  const size_t space = line.find(' ');
  if (space == std::string::npos) return false;
  entry->name = line.substr(space + 1);
  entry->folder = false;
  entry->size = 0;
  std::string facts = line.substr(0, space);
  for (char& c : facts) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t start = 0;
  while (start < facts.size()) {
    size_t end = facts.find(';', start);
    if (end == std::string::npos) end = facts.size();
    const std::string fact = facts.substr(start, end - start);
    if (fact == "type=dir" || fact == "type=cdir" || fact == "type=pdir") entry->folder = true;
    if (fact.compare(0, 5, "size=") == 0) entry->size = std::strtoull(fact.c_str() + 5, nullptr, 10);
    start = end + 1;
  }
  return facts.find("type=cdir") == std::string::npos && facts.find("type=pdir") == std::string::npos;
}

bool PlatformFtpList(std::vector<PlatformFtpEntry>* entries) {
  entries->clear();
  if (gFtp.easy == nullptr) return false;
  std::string text;
  SetCommon(gFtp.easy);
  curl_easy_setopt(gFtp.easy, CURLOPT_URL, UrlOf(gFtp.folder, gFtp.rooted).c_str());
  curl_easy_setopt(gFtp.easy, CURLOPT_CUSTOMREQUEST, "MLSD");
  curl_easy_setopt(gFtp.easy, CURLOPT_WRITEFUNCTION, AppendBytes);
  curl_easy_setopt(gFtp.easy, CURLOPT_WRITEDATA, &text);
  if (!Perform(gFtp.easy)) return false;
  for (const std::string& line : PlatformTextLines(text)) {
    PlatformFtpEntry entry;
    if (ParseListLine(line, &entry)) entries->push_back(entry);
  }
  return true;
}

static size_t ReadFromFile(char* data, size_t size, size_t count, void* file) {
  return std::fread(data, size, count, static_cast<FILE*>(file));
}

bool PlatformFtpPut(const std::string& localPath, const std::string& remoteName) {
  if (gFtp.easy == nullptr) return false;
  FILE* file = std::fopen(localPath.c_str(), "rbe");
  if (file == nullptr) {
    gFtp.lastResponse = "cannot read " + localPath;
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
  if (gFtp.easy == nullptr) return false;
  FILE* file = std::fopen(localPath.c_str(), "wbe");
  if (file == nullptr) {
    gFtp.lastResponse = "cannot write " + localPath;
    return false;
  }
  SetCommon(gFtp.easy);
  curl_easy_setopt(gFtp.easy, CURLOPT_URL, UrlOf(gFtp.folder, gFtp.rooted, remoteName).c_str());
  curl_easy_setopt(gFtp.easy, CURLOPT_WRITEFUNCTION, WriteToFile);
  curl_easy_setopt(gFtp.easy, CURLOPT_WRITEDATA, file);
  bool ok = Perform(gFtp.easy);
  if (std::fclose(file) != 0) ok = false;
  if (!ok) std::remove(localPath.c_str());
  return ok;
}

bool PlatformFtpDelete(const std::string& remoteName) {
  if (gFtp.easy == nullptr) return false;
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
  if (gFtp.easy == nullptr || gFtp.chunkEasy != nullptr) return false;
  gFtp.chunkEasy = curl_easy_init();
  gFtp.multi = curl_multi_init();
  if (gFtp.chunkEasy == nullptr || gFtp.multi == nullptr) {
    PlatformFtpAbortChunkedGet();
    return false;
  }
  gFtp.pending.clear();
  gFtp.chunkDone = gFtp.chunkFailed = false;
  SetCommon(gFtp.chunkEasy);
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
          if (gFtp.lastResponse.empty()) gFtp.lastResponse = curl_easy_strerror(message->data.result);
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
