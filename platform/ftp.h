// One FTP session over libcurl: connect (passive transfers), change folder, list, put, get
// (whole, or in chunks the caller pulls), delete. The server text may carry a port
// ("host:2121"); without one it is 21. Every failure keeps the server's last response line.
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

// Logs in and keeps the session; false (nothing kept) when the server cannot be reached or
// refuses the user.
bool PlatformFtpConnect(const std::string& server, const std::string& user, const std::string& password);
void PlatformFtpDisconnect();
bool PlatformFtpConnected();
// Changes the remote folder ("..", absolute "/x" and relative paths); false leaves it as it was.
bool PlatformFtpChangeFolder(const std::string& folder);
// Asks the server whether the session still works in its current folder.
bool PlatformFtpCheckFolder();
bool PlatformFtpList(std::vector<PlatformFtpEntry>* entries);
bool PlatformFtpPut(const std::string& localPath, const std::string& remoteName);
// Downloads whole into localPath (replaced); a failed download leaves no partial file.
bool PlatformFtpGet(const std::string& remoteName, const std::string& localPath);
bool PlatformFtpDelete(const std::string& remoteName);
// Chunked download: start it, then take the bytes that have come (waiting at most waitMs for
// some); *finished once the server sent everything, *failed when the transfer broke.
bool PlatformFtpStartChunkedGet(const std::string& remoteName);
size_t PlatformFtpTakeChunk(char* buffer, size_t most, int waitMs, bool* finished, bool* failed);
void PlatformFtpAbortChunkedGet();
bool PlatformFtpChunkedGetRunning();
// The server's last response line (or libcurl's reason when there was none).
std::string PlatformFtpLastResponse();
