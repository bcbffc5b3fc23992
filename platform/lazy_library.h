// Libraries loaded on first use instead of at start-up: each one linked in is mapped and
// relocated by every run, used or not. The loader files define the library's entry points
// with its own signatures and forward them through QV_FORWARD.
#pragma once
#include <dlfcn.h>

#include <string>
#include <vector>

// The library's function of this name, or null when the library or the name is missing.
template <typename Function>
Function LazyLibraryEntry(void* library, const char* name) {
  return library != nullptr ? reinterpret_cast<Function>(dlsym(library, name)) : nullptr;
}

// Forwards to the library's function of the same name; without it, returns fallback. Needs a
// Library() returning the dlopen handle in scope.
#define QV_FORWARD(name, fallback, ...)                                         \
  static const auto entry = LazyLibraryEntry<decltype(&name)>(Library(), #name); \
  return entry != nullptr ? entry(__VA_ARGS__) : fallback

// Opens the shared library of this name (its soname) for the loader files: the system's, else
// the copy this executable carries, with the carried libraries it needs; null when neither
// loads (LazyLibraryProblem says why; a carried copy that fails says so on stderr at once).
// The handle lives for the whole process.
void* OpenLazyLibrary(const char* soname);
// Why the library of that soname could not be opened, naming it ("" when it opened or was
// never asked for).
std::string LazyLibraryProblem(const char* soname);

// A file the executable carries beside its libraries (the text's default font), unpacked on
// first use and kept for the whole process; null when it carries none of that name.
const std::vector<unsigned char>* CarriedFile(const char* name);
// The same as a path another library can open (FluidSynth's soundfont), kept for the whole
// process; "" when none of that name is carried or it cannot be unpacked (said on stderr).
std::string CarriedFilePath(const char* name);
