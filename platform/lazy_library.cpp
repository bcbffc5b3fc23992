// Where the libraries loaded on first use come from: the system's, by soname.
#include "platform/lazy_library.h"

void* OpenLazyLibrary(const char* soname) { return dlopen(soname, RTLD_NOW | RTLD_LOCAL); }
