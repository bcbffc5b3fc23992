// The file layer: one handle over disk files (through the package, the user routines, the
// host's files or stdio), memory images and already open stdio files, with one seek/tell meaning.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "sound/sound_local.h"

struct SndFile {
  int kind;                        // kSndFileDisk (stdio we opened), Memory, Stdio, Routines
  FILE* stdio = nullptr;           // kinds 0 and 2
  const uint8_t* image = nullptr;  // kind 1
  int64_t position = 0;            // kind 1: the read position; kind 2: the file offset at open
  int64_t length = -1;             // kind 1 and 2: bytes in the file, -1 = up to the real end
  uintptr_t handle = 0;            // kind 3
  SndFileRoutines routines{};      // kind 3: a copy of the user's or the host's, as at open
};

// The user routines a program installed (all five or none); live for the process.
static SndFileRoutines gUserRoutines{};

static bool RoutinesComplete(const SndFileRoutines& r) {
  return r.Open && r.Close && r.Read && r.Seek && r.Tell;
}

void SndSetFileCallbacks(const SndFileRoutines& routines) {
  SndLockGuard guard(gSnd.lock);
  gUserRoutines = RoutinesComplete(routines) ? routines : SndFileRoutines{};
}

// The extension the package lookup names its extracted copy with: the name's own, else "dat".
static void NameExtension(const char* name, char* extension, size_t size) {
  const char* dot = std::strrchr(name, '.');
  const char* slash = std::strrchr(name, '/');
  const char* backslash = std::strrchr(name, '\\');
  if (!dot || (slash && slash > dot) || (backslash && backslash > dot) || dot[1] == '\0') {
    std::snprintf(extension, size, "dat");
  } else {
    std::snprintf(extension, size, "%s", dot + 1);
  }
}

static SndFile* OpenByName(const char* name) {
  char extracted[4096];
  SndHost host;
  SndFileRoutines user;
  {
    SndLockGuard guard(gSnd.lock);
    host = gSnd.host;
    user = gUserRoutines;
  }
  if (host.ResolvePackaged) {
    char extension[64];
    NameExtension(name, extension, sizeof extension);
    if (host.ResolvePackaged(name, extension, extracted, static_cast<int>(sizeof extracted))) {
      name = extracted;
    }
  }
  auto* file = new (std::nothrow) SndFile{};
  if (!file) return nullptr;
  if (RoutinesComplete(user) || RoutinesComplete(host.files)) {
    file->kind = kSndFileRoutines;
    file->routines = RoutinesComplete(user) ? user : host.files;
    file->handle = file->routines.Open(name);
    if (file->handle == 0) {
      delete file;
      return nullptr;
    }
    return file;
  }
  file->kind = kSndFileDisk;
  file->stdio = std::fopen(name, "rb");
  if (!file->stdio) {
    delete file;
    return nullptr;
  }
  return file;
}

SndFile* SndFileOpen(const void* source, int kind, int64_t length) {
  if (!source) return nullptr;
  if (kind == kSndFileDisk) return OpenByName(static_cast<const char*>(source));
  if (kind != kSndFileMemory && kind != kSndFileStdio) return nullptr;
  if (kind == kSndFileMemory && length < 0) return nullptr;
  auto* file = new (std::nothrow) SndFile{};
  if (!file) return nullptr;
  file->kind = kind;
  file->length = length < 0 ? -1 : length;
  if (kind == kSndFileMemory) {
    file->image = static_cast<const uint8_t*>(source);
    return file;
  }
  file->stdio = static_cast<FILE*>(const_cast<void*>(source));
  file->position = ftello(file->stdio);
  if (file->position < 0) {
    delete file;
    return nullptr;
  }
  return file;
}

void SndFileClose(SndFile* file) {
  if (!file) return;
  if (file->kind == kSndFileDisk) std::fclose(file->stdio);
  if (file->kind == kSndFileRoutines) file->routines.Close(file->handle);
  delete file;
}

int SndFileRead(void* buffer, int size, SndFile* file) {
  if (!file || !buffer || size <= 0) return 0;
  switch (file->kind) {
    case kSndFileMemory: {
      int64_t left = file->length - file->position;
      int64_t count = size < left ? size : left;
      if (count <= 0) return 0;
      std::memcpy(buffer, file->image + file->position, static_cast<size_t>(count));
      file->position += count;
      return static_cast<int>(count);
    }
    case kSndFileStdio:
      if (file->length >= 0) {
        // An embedded file ends at its length, not at the end of the file around it.
        int64_t left = file->position + file->length - ftello(file->stdio);
        if (left <= 0) return 0;
        if (size > left) size = static_cast<int>(left);
      }
      return static_cast<int>(std::fread(buffer, 1, static_cast<size_t>(size), file->stdio));
    case kSndFileRoutines: {
      int got = file->routines.Read(buffer, size, file->handle);
      return got < 0 ? 0 : (got > size ? size : got);
    }
    default:
      return static_cast<int>(std::fread(buffer, 1, static_cast<size_t>(size), file->stdio));
  }
}

int SndFileSeek(SndFile* file, int64_t offset, int origin) {
  if (!file || origin < 0 || origin > 2) return -1;
  switch (file->kind) {
    case kSndFileMemory: {
      int64_t base = origin == 0 ? 0 : origin == 1 ? file->position : file->length;
      int64_t target = base + offset;
      if (target < 0) target = 0;
      if (target > file->length) target = file->length;
      file->position = target;
      return 0;
    }
    case kSndFileStdio:
      // Positions count from where the file started when it was handed over.
      if (origin == 0) return fseeko(file->stdio, file->position + offset, SEEK_SET) == 0 ? 0 : -1;
      if (origin == 2 && file->length >= 0) {
        return fseeko(file->stdio, file->position + file->length + offset, SEEK_SET) == 0 ? 0 : -1;
      }
      return fseeko(file->stdio, offset, origin == 1 ? SEEK_CUR : SEEK_END) == 0 ? 0 : -1;
    case kSndFileRoutines:
      return file->routines.Seek(file->handle, offset, origin) == 0 ? 0 : -1;
    default:
      return fseeko(file->stdio, offset, origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END) == 0 ? 0 : -1;
  }
}

int64_t SndFileTell(SndFile* file) {
  if (!file) return -1;
  switch (file->kind) {
    case kSndFileMemory:
      return file->position;
    case kSndFileStdio: {
      int64_t at = ftello(file->stdio);
      return at < 0 ? -1 : at - file->position;
    }
    case kSndFileRoutines:
      return file->routines.Tell(file->handle);
    default:
      return ftello(file->stdio);
  }
}

int64_t SndFileLength(SndFile* file) {
  if (!file) return -1;
  if (file->kind == kSndFileMemory || (file->kind == kSndFileStdio && file->length >= 0)) return file->length;
  int64_t here = SndFileTell(file);
  if (here < 0 || SndFileSeek(file, 0, 2) != 0) return -1;
  int64_t end = SndFileTell(file);
  SndFileSeek(file, here, 0);
  return end;
}

bool SndFileReadAt(SndFile* file, int64_t offset, void* buffer, int size) {
  if (SndFileSeek(file, offset, 0) != 0 || SndFileTell(file) != offset) return false;
  return SndFileRead(buffer, size, file) == size;
}
