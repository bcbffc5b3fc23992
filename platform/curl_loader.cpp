// libcurl, loaded when a program first uses FTP: linked in, it and the two dozen libraries
// under it (TLS, HTTP/2, SSH, LDAP, Kerberos) were mapped and relocated at every start.
// The definitions below are the functions themselves, not calls: no type-checking macro.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include <cstdarg>

#include "platform/lazy_library.h"

// The entry points the FTP session calls are defined here with the library's signatures and
// forwarded to it. Without the library each answers as the library does when it cannot start
// (no handle, CURLE_FAILED_INIT), so a connect fails with a message instead of the run.
static void* Library() {
  static void* const handle = OpenLazyLibrary("libcurl.so.4");
  return handle;
}

CURLcode curl_global_init(long flags) { QV_FORWARD(curl_global_init, CURLE_FAILED_INIT, flags); }
CURL* curl_easy_init() { QV_FORWARD(curl_easy_init, nullptr); }
void curl_easy_cleanup(CURL* handle) { QV_FORWARD(curl_easy_cleanup, void(), handle); }
void curl_easy_reset(CURL* handle) { QV_FORWARD(curl_easy_reset, void(), handle); }
CURLcode curl_easy_perform(CURL* handle) { QV_FORWARD(curl_easy_perform, CURLE_FAILED_INIT, handle); }
const char* curl_easy_strerror(CURLcode code) {
  QV_FORWARD(curl_easy_strerror, "the FTP library (libcurl) is not installed", code);
}
char* curl_easy_escape(CURL* handle, const char* text, int length) {
  QV_FORWARD(curl_easy_escape, nullptr, handle, text, length);
}
void curl_free(void* memory) { QV_FORWARD(curl_free, void(), memory); }
CURLM* curl_multi_init() { QV_FORWARD(curl_multi_init, nullptr); }
CURLMcode curl_multi_add_handle(CURLM* multi, CURL* handle) {
  QV_FORWARD(curl_multi_add_handle, CURLM_INTERNAL_ERROR, multi, handle);
}
CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* handle) {
  QV_FORWARD(curl_multi_remove_handle, CURLM_INTERNAL_ERROR, multi, handle);
}
CURLMcode curl_multi_cleanup(CURLM* multi) { QV_FORWARD(curl_multi_cleanup, CURLM_INTERNAL_ERROR, multi); }
CURLMcode curl_multi_perform(CURLM* multi, int* running) {
  QV_FORWARD(curl_multi_perform, CURLM_INTERNAL_ERROR, multi, running);
}
CURLMcode curl_multi_poll(CURLM* multi, struct curl_waitfd* extra, unsigned count, int timeoutMs, int* ready) {
  QV_FORWARD(curl_multi_poll, CURLM_INTERNAL_ERROR, multi, extra, count, timeoutMs, ready);
}
CURLcode curl_easy_pause(CURL* handle, int bitmask) { QV_FORWARD(curl_easy_pause, CURLE_FAILED_INIT, handle, bitmask); }
CURLMsg* curl_multi_info_read(CURLM* multi, int* left) { QV_FORWARD(curl_multi_info_read, nullptr, multi, left); }
struct curl_slist* curl_slist_append(struct curl_slist* list, const char* text) {
  QV_FORWARD(curl_slist_append, nullptr, list, text);
}
void curl_slist_free_all(struct curl_slist* list) { QV_FORWARD(curl_slist_free_all, void(), list); }

#undef QV_FORWARD

// The one variadic entry: the option's number tells the type of its value (a long, a pointer
// to data or to a function, or a file offset), as the library's own headers do.
CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
  using SetOption = CURLcode (*)(CURL*, CURLoption, ...);
  static const auto entry = LazyLibraryEntry<SetOption>(Library(), "curl_easy_setopt");
  if (entry == nullptr) return CURLE_FAILED_INIT;
  va_list values;
  va_start(values, option);
  CURLcode result;
  if (option < CURLOPTTYPE_OBJECTPOINT)
    result = entry(handle, option, va_arg(values, long));
  else if (option >= CURLOPTTYPE_OFF_T && option < CURLOPTTYPE_BLOB)
    result = entry(handle, option, va_arg(values, curl_off_t));
  else
    result = entry(handle, option, va_arg(values, void*));
  va_end(values);
  return result;
}

// Every information the session asks for is written through one pointer.
CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
  using GetInfo = CURLcode (*)(CURL*, CURLINFO, ...);
  static const auto entry = LazyLibraryEntry<GetInfo>(Library(), "curl_easy_getinfo");
  if (entry == nullptr) return CURLE_FAILED_INIT;
  va_list values;
  va_start(values, info);
  void* answer = va_arg(values, void*);
  va_end(values);
  return entry(handle, info, answer);
}
