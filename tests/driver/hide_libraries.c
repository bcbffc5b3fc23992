/* Test shim, preloaded into quorvanel: dlopen fails for the libraries the words of
   QV_TEST_HIDDEN_LIBRARIES begin ("libavformat.so" hides libavformat.so.59), as on a machine
   without them; the word "carried" also hides the copies a program unpacks from what it
   carries, as where they cannot load. Everything else goes to the real dlopen. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

static int Hidden(const char* name) {
  const char* list = getenv("QV_TEST_HIDDEN_LIBRARIES");
  if (name == NULL || list == NULL) return 0;
  const char* slash = strrchr(name, '/');
  const char* base = slash != NULL ? slash + 1 : name;
  const int unpacked = strncmp(name, "/proc/self/fd/", 14) == 0 || strstr(name, "/carried-") != NULL;
  for (const char* word = list; *word != 0;) {
    size_t length = strcspn(word, " ");
    if (length == 7 && strncmp(word, "carried", 7) == 0 ? unpacked : length > 0 && strncmp(base, word, length) == 0)
      return 1;
    word += length;
    word += strspn(word, " ");
  }
  return 0;
}

void* dlopen(const char* name, int flags) {
  static void* (*real)(const char*, int) = NULL;
  if (real == NULL) real = (void* (*)(const char*, int))dlsym(RTLD_NEXT, "dlopen");
  return Hidden(name) ? NULL : real(name, flags);
}
