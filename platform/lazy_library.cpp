// Where the libraries loaded on first use come from: the system's, by soname, or else the
// copies this executable carries (a built game on a machine that lacks them); and the other
// files it carries (the default font, the MIDI soundfont).
#include "platform/lazy_library.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/carried.h"
#include "platform/carried_archive.h"
#include "platform/folders.h"

namespace {

struct ItemState {
  bool loaded = false;
  void* handle = nullptr;
  std::string error;     // why the carried copy did not load (the linker's words)
  std::string unpacked;  // the unpacked copy's path while it waits for what it needs
  int unpackedFile = -1;  // that copy's memory file, or -1 for a file on disk
};

// Lives for the whole process: the archive's mapping (items point into it), its table, and
// what was loaded or unpacked. A second archive (the tests make several) replaces the first.
struct Carried {
  std::mutex lock;
  void* map = nullptr;
  size_t mapSize = 0;
  std::string source;  // the file the archive is read from
  std::string carrier = "this program";  // how the messages name it: "this game" for a game
  std::vector<CarriedItem> items;
  std::vector<ItemState> states;
  std::map<std::string, std::vector<unsigned char>> files;  // unpacked for CarriedFile
  std::map<std::string, std::string> filePaths;             // unpacked for CarriedFilePath
  std::map<std::string, std::string> problems;              // soname -> why it is missing
} gCarried;

const CarriedItem* FindItem(const std::string& name, size_t* index = nullptr) {
  for (size_t i = 0; i < gCarried.items.size(); ++i)
    if (gCarried.items[i].name == name) {
      if (index != nullptr) *index = i;
      return &gCarried.items[i];
    }
  return nullptr;
}

bool WriteAll(int file, const std::vector<uint8_t>& data) {
  size_t written = 0;
  while (written < data.size()) {
    const ssize_t n = write(file, data.data() + written, data.size() - written);
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

bool ProcMounted() { return access("/proc/self/fd", X_OK) == 0; }

// The item unpacked where a library loader or a file reader can open it by path: an anonymous
// memory file seen through /proc (nothing is written beside the game or in a folder that may
// forbid running code), or, without /proc (a chroot, a container started without it), a file
// in the private temporary folder. *file is the open descriptor that keeps a memory file;
// "" with the reason in *whyNot when neither can be made.
std::string UnpackToPath(const CarriedItem& item, int* file, std::string* whyNot) {
  *file = -1;
  std::vector<uint8_t> data;
  if (!UnpackCarriedItem(item, &data)) {
    *whyNot = "its packed data is damaged";
    return "";
  }
  if (ProcMounted()) {
    *file = memfd_create(item.name.c_str(), MFD_CLOEXEC);
    if (*file >= 0 && WriteAll(*file, data)) return "/proc/self/fd/" + std::to_string(*file);
    if (*file >= 0) close(*file);
    *file = -1;
  }
  const std::string folder = PlatformTemporaryFolder();
  if (folder.empty()) {
    *whyNot = "no private temporary folder to unpack it into";
    return "";
  }
  const std::string path = folder + "/carried-" + std::to_string(getpid()) + "-" + item.name;
  unlink(path.c_str());
  const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0700);
  const bool written = out >= 0 && WriteAll(out, data);
  if (out >= 0) close(out);
  if (!written) {
    unlink(path.c_str());
    *whyNot = "cannot write " + path;
    return "";
  }
  return path;
}

// Loads the item's closure, the system's copy of each library wherever it has one. A library
// loads once all it needs has loaded, so the rounds go on while one more loads; the dynamic
// linker then finds each by its soname. The libraries under the root are loaded for all to
// see: some name less than they use (libtheoraenc calls libtheoradec without needing it), as
// the root, which their symbols would have reached through, does.
void LoadClosure(const CarriedItem& root) {
  std::vector<size_t> members;
  for (const std::string& name : root.needs) {
    size_t index = 0;
    if (FindItem(name, &index) != nullptr && gCarried.items[index].IsLibrary()) members.push_back(index);
  }
  size_t rootIndex = 0;
  FindItem(root.name, &rootIndex);
  members.push_back(rootIndex);
  for (bool progress = true; progress;) {
    progress = false;
    for (size_t index : members) {
      const CarriedItem& item = gCarried.items[index];
      ItemState& state = gCarried.states[index];
      if (state.loaded) continue;
      const int scope = index == rootIndex ? RTLD_LOCAL : RTLD_GLOBAL;
      void* handle = dlopen(item.name.c_str(), RTLD_NOW | scope);
      if (handle == nullptr) {
        // Unpacked once: a copy that waits for a library it needs is tried again next round.
        std::string why;
        if (state.unpacked.empty()) state.unpacked = UnpackToPath(item, &state.unpackedFile, &why);
        if (!state.unpacked.empty()) {
          handle = dlopen(state.unpacked.c_str(), RTLD_NOW | scope);
          const char* error = handle == nullptr ? dlerror() : nullptr;
          if (handle == nullptr) why = error != nullptr ? error : "it cannot be opened";
        }
        state.error = why;
      }
      if (handle != nullptr) {
        state.handle = handle;
        state.loaded = progress = true;
        // A memory file stays open for good: closed, its number (and so its path) would come
        // back for the next library, and the linker would take that path for this one. A file
        // on disk is not needed once mapped.
        if (!state.unpacked.empty() && state.unpackedFile < 0) unlink(state.unpacked.c_str());
        state.unpacked.clear();
      }
    }
  }
  for (size_t index : members) {  // the copies that never loaded
    ItemState& state = gCarried.states[index];
    if (state.unpacked.empty()) continue;
    if (state.unpackedFile >= 0) close(state.unpackedFile);
    else unlink(state.unpacked.c_str());
    state.unpacked.clear();
    state.unpackedFile = -1;
  }
}

// The data files unpacked onto disk (without /proc), at the end of the process.
void RemoveUnpackedFiles() {
  for (const auto& [name, path] : gCarried.filePaths)
    if (path.rfind("/proc/", 0) != 0) unlink(path.c_str());
}

}  // namespace

bool PlatformCarryFrom(const std::string& file, uint64_t offset, uint64_t size, bool game, std::string* whyNot) {
  std::lock_guard<std::mutex> hold(gCarried.lock);
  gCarried.carrier = game ? "this game" : "this program";
  gCarried.items.clear();
  gCarried.states.clear();
  gCarried.problems.clear();
  gCarried.files.clear();
  RemoveUnpackedFiles();
  gCarried.filePaths.clear();
  if (gCarried.map != nullptr) munmap(gCarried.map, gCarried.mapSize);
  gCarried.map = nullptr;
  const int in = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (in < 0 || fstat(in, &info) != 0 || offset > static_cast<uint64_t>(info.st_size) ||
      size > static_cast<uint64_t>(info.st_size) - offset) {
    if (in >= 0) close(in);
    if (whyNot != nullptr) *whyNot = "cannot read the libraries it carries from " + file;
    return false;
  }
  const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  const uint64_t start = offset - offset % page;
  void* map = size == 0 ? MAP_FAILED
                        : mmap(nullptr, size + (offset - start), PROT_READ, MAP_PRIVATE, in, static_cast<off_t>(start));
  if (map == MAP_FAILED) {
    close(in);
    if (whyNot != nullptr) *whyNot = "cannot map the libraries it carries from " + file;
    return false;
  }
  const uint8_t* archive = static_cast<const uint8_t*>(map) + (offset - start);
  // The table is read from the file, a page at a time: walking it through the mapping would
  // fault in the pages around every item's record, tens of megabytes for a program that may
  // never load a carried library.
  std::vector<uint8_t> window(4096);
  uint64_t windowAt = 0, windowSize = 0;
  const CarriedArchiveReader fromFile = [&](uint64_t at, void* out, size_t n) {
    if (at > size || n > size - at) return false;
    if (at < windowAt || at + n > windowAt + windowSize) {
      if (n > window.size()) window.resize(n);
      const ssize_t got = pread(in, window.data(), window.size(), static_cast<off_t>(offset + at));
      if (got < static_cast<ssize_t>(n)) return false;
      windowAt = at;
      windowSize = static_cast<uint64_t>(got);
    }
    std::memcpy(out, window.data() + (at - windowAt), n);
    return true;
  };
  std::string why;
  const bool parsed = ParseCarriedTable(fromFile, size, archive, &gCarried.items, &why);
  close(in);
  if (!parsed) {
    munmap(map, size + (offset - start));
    if (whyNot != nullptr) *whyNot = "the libraries it carries are damaged: " + why;
    return false;
  }
  gCarried.states.assign(gCarried.items.size(), ItemState{});
  gCarried.source = file;
  gCarried.map = map;
  gCarried.mapSize = size + (offset - start);
  return true;
}

void* OpenLazyLibrary(const char* soname) {
  if (void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL)) return handle;
  const char* error = dlerror();
  const std::string systemError = error != nullptr ? error : std::string(soname) + " cannot be opened";
  std::lock_guard<std::mutex> hold(gCarried.lock);
  if (gCarried.problems.count(soname) != 0) return nullptr;  // tried already
  size_t index = 0;
  const CarriedItem* item = FindItem(soname, &index);
  if (item == nullptr) {
    gCarried.problems[soname] =
        std::string(soname) + ", which is not installed here, and " + gCarried.carrier + " does not carry it";
    return nullptr;
  }
  LoadClosure(*item);
  if (gCarried.states[index].loaded) return gCarried.states[index].handle;
  // Name the library of the closure that failed first: the root's own error names only it.
  std::string why = gCarried.states[index].error;
  for (const std::string& name : item->needs) {
    size_t at = 0;
    if (FindItem(name, &at) != nullptr && !gCarried.states[at].loaded && !gCarried.states[at].error.empty()) {
      why = name + ": " + gCarried.states[at].error;
      break;
    }
  }
  std::string& problem = gCarried.problems[soname];
  problem = std::string(soname) + ", and the copy " + gCarried.carrier + " carries does not load (" +
            (why.empty() ? systemError : why) + ")";
  std::fprintf(stderr, "quorvanel: the copy of %s %s carries does not load: %s\n", soname, gCarried.carrier.c_str(),
               (why.empty() ? systemError : why).c_str());
  return nullptr;
}

std::string LazyLibraryProblem(const char* soname) {
  std::lock_guard<std::mutex> hold(gCarried.lock);
  const auto found = gCarried.problems.find(soname);
  return found != gCarried.problems.end() ? found->second : "";
}

const std::vector<unsigned char>* CarriedFile(const char* name) {
  std::lock_guard<std::mutex> hold(gCarried.lock);
  const auto cached = gCarried.files.find(name);
  if (cached != gCarried.files.end()) return &cached->second;
  const CarriedItem* item = FindItem(name);
  std::vector<uint8_t> data;
  if (item == nullptr || !UnpackCarriedItem(*item, &data)) return nullptr;
  return &(gCarried.files[name] = std::move(data));
}

std::string CarriedFilePath(const char* name) {
  std::lock_guard<std::mutex> hold(gCarried.lock);
  const auto cached = gCarried.filePaths.find(name);
  if (cached != gCarried.filePaths.end()) return cached->second;
  const CarriedItem* item = FindItem(name);
  if (item == nullptr) return "";
  int file = -1;
  std::string why;
  const std::string path = UnpackToPath(*item, &file, &why);  // a memory file stays open for good
  if (path.empty()) {
    std::fprintf(stderr, "quorvanel: cannot unpack the %s %s carries: %s\n", name, gCarried.carrier.c_str(),
                 why.c_str());
    return "";
  }
  // A file on disk goes with the process.
  if (file < 0) {
    static const bool removedAtExit = std::atexit(RemoveUnpackedFiles) == 0;
    (void)removedAtExit;
  }
  return gCarried.filePaths[name] = path;
}

bool PlatformCarries(const char* name) {
  std::lock_guard<std::mutex> hold(gCarried.lock);
  return FindItem(name) != nullptr;
}
