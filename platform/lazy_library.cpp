// Where the libraries loaded on first use come from: the system's, by soname, or else the
// copies this executable carries (a built game on a machine that lacks them); and the other
// files it carries (the default font).
#include "platform/lazy_library.h"

#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

// The carried archive (tools/carry_libraries), linked into the executable alone: "QVCARRY1",
// then per library its soname's length, the soname, its size, its packed size (little-endian
// u32) and its zlib data. Weak: test executables carry none and see null.
extern "C" {
extern const unsigned char qvCarriedLibraries[] __attribute__((weak));
extern const unsigned char qvCarriedLibrariesEnd[] __attribute__((weak));
}

namespace {

struct CarriedLibrary {
  std::string soname;
  const unsigned char* packed = nullptr;
  uint32_t size = 0, packedSize = 0;
  int file = -1;  // the unpacked copy, kept open until it loads
  bool loaded = false;
  bool IsLibrary() const { return soname.find(".so") != std::string::npos; }
};

// Lives for the whole process; read once, loaded at most once.
struct Carried {
  std::mutex lock;
  bool indexed = false, tried = false;
  std::vector<CarriedLibrary> libraries;
  std::vector<std::pair<std::string, std::vector<unsigned char>>> files;  // unpacked, kept
} gCarried;

uint32_t Word(const unsigned char* at) {
  return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

// The archive's table; a damaged archive ends the table where the damage starts.
void IndexCarried() {
  gCarried.indexed = true;
  const unsigned char* at = qvCarriedLibraries;
  const unsigned char* end = qvCarriedLibrariesEnd;
  if (at == nullptr || end == nullptr || end - at < 8 || std::memcmp(at, "QVCARRY1", 8) != 0) return;
  at += 8;
  while (end - at >= 4) {
    CarriedLibrary library;
    const uint32_t nameLength = Word(at);
    if (static_cast<size_t>(end - at) < 12u + nameLength) return;
    library.soname.assign(reinterpret_cast<const char*>(at + 4), nameLength);
    library.size = Word(at + 4 + nameLength);
    library.packedSize = Word(at + 8 + nameLength);
    at += 12 + nameLength;
    if (static_cast<size_t>(end - at) < library.packedSize) return;
    library.packed = at;
    at += library.packedSize;
    gCarried.libraries.push_back(std::move(library));
  }
}

bool Inflate(const CarriedLibrary& library, std::vector<unsigned char>* data) {
  data->resize(library.size);
  uLongf size = library.size;
  return uncompress(data->data(), &size, library.packed, library.packedSize) == Z_OK && size == library.size;
}

// The library unpacked into an anonymous memory file, so that nothing is written beside the
// game or in a folder that may forbid running code; -1 when it cannot be made.
int Unpack(const CarriedLibrary& library) {
  std::vector<unsigned char> data;
  if (!Inflate(library, &data)) return -1;
  const int file = memfd_create(library.soname.c_str(), MFD_CLOEXEC);
  if (file < 0) return -1;
  size_t written = 0;
  while (written < data.size()) {
    const ssize_t n = write(file, data.data() + written, data.size() - written);
    if (n <= 0) {
      close(file);
      return -1;
    }
    written += static_cast<size_t>(n);
  }
  return file;
}

// Loads every carried library the system lacks, the system's own wherever it has one. A
// library loads once all it needs has loaded, so the rounds go on while one more loads; the
// dynamic linker then finds each by its soname.
void LoadCarried() {
  gCarried.tried = true;
  for (bool progress = true; progress;) {
    progress = false;
    for (CarriedLibrary& library : gCarried.libraries) {
      if (library.loaded || !library.IsLibrary()) continue;
      void* handle = dlopen(library.soname.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle == nullptr) {
        if (library.file < 0) library.file = Unpack(library);
        if (library.file < 0) continue;
        const std::string path = "/proc/self/fd/" + std::to_string(library.file);
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      }
      if (handle != nullptr) library.loaded = progress = true;
    }
  }
  for (CarriedLibrary& library : gCarried.libraries) {
    if (library.file >= 0) close(library.file);
    library.file = -1;
  }
}

}  // namespace

void* OpenLazyLibrary(const char* soname) {
  if (void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL)) return handle;
  std::lock_guard<std::mutex> hold(gCarried.lock);
  if (!gCarried.indexed) IndexCarried();
  bool carried = false;
  for (const CarriedLibrary& library : gCarried.libraries) carried = carried || library.soname == soname;
  if (!carried) return nullptr;
  if (!gCarried.tried) LoadCarried();
  return dlopen(soname, RTLD_NOW | RTLD_LOCAL);
}

const std::vector<unsigned char>* CarriedFile(const char* name) {
  std::lock_guard<std::mutex> hold(gCarried.lock);
  if (!gCarried.indexed) IndexCarried();
  for (const auto& [fileName, data] : gCarried.files)
    if (fileName == name) return &data;
  for (const CarriedLibrary& entry : gCarried.libraries) {
    if (entry.soname != name) continue;
    std::vector<unsigned char> data;
    if (!Inflate(entry, &data)) return nullptr;
    gCarried.files.emplace_back(entry.soname, std::move(data));
    return &gCarried.files.back().second;
  }
  return nullptr;
}
