// Packs the libraries and files a built game may carry, and appends them to the executable:
//   carry_libraries pack OUT MANIFEST    (lines "NAME<tab>PATH<tab>NEEDS...", NEEDS the names
//                                          of a library's closure, space-separated)
//   carry_libraries append EXECUTABLE ARCHIVE
// The archive's format is platform/carried_archive.h's; appended, it is one package entry
// after the executable (platform/package_format.h), which the runtime reads at start-up and the
// game builder copies from.
// A library is packed under its own soname. Where a library needs another under a name that
// is not that one's soname (Debian's libopenal.so.1 needs libsndio.so.7.0, whose soname is
// libsndio.so.7), the dynamic linker, which knows a loaded library by its soname, would not
// see the carried copy: the need is rewritten in the copy to the soname it answers to.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/carried_archive.h"
#include "platform/package_format.h"

namespace {

struct Source {
  std::string name, path;
  std::vector<std::string> needs;
  std::vector<uint8_t> bytes, packed;
  bool ok = false;
};

bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !bytes->empty();
}

// The dynamic names of a 64-bit little-endian ELF shared library: its soname, and where in the
// file each needed name's text lies. The names are found through the section table.
struct ElfNames {
  std::string soname;
  struct Needed {
    std::string name;
    uint64_t at;  // the text's offset in the file
  };
  std::vector<Needed> needed;
  std::vector<uint64_t> references;  // every string-table offset anything in the file points at
  uint64_t strings = 0, stringsSize = 0;  // the dynamic string table
};

uint64_t Field(const std::vector<uint8_t>& bytes, uint64_t at, int size) {
  uint64_t value = 0;
  if (at > bytes.size() || static_cast<uint64_t>(size) > bytes.size() - at) return 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[at + static_cast<uint64_t>(i)];
  return value;
}

std::string TextAt(const std::vector<uint8_t>& bytes, uint64_t at) {
  std::string text;
  while (at < bytes.size() && bytes[at] != 0) text += static_cast<char>(bytes[at++]);
  return text;
}

// Visits at most `limit` records of a chain, each holding at nextAt the distance to the next
// (0 at the last).
void WalkChain(const std::vector<uint8_t>& bytes, uint64_t first, uint64_t limit, uint64_t nextAt,
               const std::function<void(uint64_t)>& visit) {
  for (uint64_t at = first, n = 0; n < limit && at < bytes.size(); ++n) {
    visit(at);
    const uint64_t next = Field(bytes, at + nextAt, 4);
    if (next == 0) break;
    at += next;
  }
}

bool ReadElfNames(const std::vector<uint8_t>& bytes, ElfNames* names) {
  if (bytes.size() < 64 || bytes[0] != 0x7f || bytes[1] != 'E' || bytes[4] != 2 || bytes[5] != 1) return false;
  const uint64_t sections = Field(bytes, 0x28, 8), entrySize = Field(bytes, 0x3a, 2), count = Field(bytes, 0x3c, 2);
  if (entrySize < 64 || sections == 0) return false;
  auto section = [&](uint64_t i, uint64_t at, int size) { return Field(bytes, sections + i * entrySize + at, size); };
  constexpr uint32_t kDynamic = 6, kDynsym = 11, kVerdef = 0x6ffffffd, kVerneed = 0x6ffffffe;
  for (uint64_t i = 0; i < count; ++i) {
    if (section(i, 4, 4) != kDynamic) continue;
    const uint64_t link = section(i, 40, 4);
    names->strings = section(link, 24, 8);
    names->stringsSize = section(link, 32, 8);
    const uint64_t at = section(i, 24, 8), size = section(i, 32, 8);
    for (uint64_t d = at; d + 16 <= at + size; d += 16) {
      const uint64_t tag = Field(bytes, d, 8), value = Field(bytes, d + 8, 8);
      if (tag == 0) break;
      // NEEDED, SONAME, RPATH, RUNPATH, AUXILIARY, FILTER: the entries whose value is a text.
      if (tag == 1 || tag == 14 || tag == 15 || tag == 29 || tag == 0x7ffffffd || tag == 0x7fffffff)
        names->references.push_back(value);
      if (tag == 1) names->needed.push_back({TextAt(bytes, names->strings + value), names->strings + value});
      if (tag == 14) names->soname = TextAt(bytes, names->strings + value);
    }
  }
  if (names->strings == 0) return false;
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t type = section(i, 4, 4), at = section(i, 24, 8), size = section(i, 32, 8);
    if (type == kDynsym)
      for (uint64_t sym = at; sym + 24 <= at + size; sym += 24) names->references.push_back(Field(bytes, sym, 4));
    // Version needs and definitions: chains of records, each with a chain of names.
    if (type == kVerneed)
      WalkChain(bytes, at, 4096, 12, [&](uint64_t need) {
        names->references.push_back(Field(bytes, need + 4, 4));  // the file's name
        WalkChain(bytes, need + Field(bytes, need + 8, 4), Field(bytes, need + 2, 2), 12,
                  [&](uint64_t aux) { names->references.push_back(Field(bytes, aux + 8, 4)); });
      });
    if (type == kVerdef)
      WalkChain(bytes, at, 4096, 16, [&](uint64_t def) {
        WalkChain(bytes, def + Field(bytes, def + 12, 4), Field(bytes, def + 2, 2), 4,
                  [&](uint64_t aux) { names->references.push_back(Field(bytes, aux, 4)); });
      });
  }
  return true;
}

// Rewrites the needed name `from` of a library to `to`, which must not be longer (the text is
// overwritten in place, the rest filled with NULs). False with the reason where that cannot be
// done safely: another name ends inside the text (string tables share tails).
bool RenameNeeded(std::vector<uint8_t>* bytes, const ElfNames& names, const std::string& from, const std::string& to,
                  std::string* whyNot) {
  if (to.size() > from.size()) {
    *whyNot = "the new name " + to + " is longer than " + from;
    return false;
  }
  for (const ElfNames::Needed& need : names.needed) {
    if (need.name != from) continue;
    const uint64_t offset = need.at - names.strings;
    for (uint64_t reference : names.references)
      if (reference > offset && reference <= offset + from.size()) {
        *whyNot = "another name shares the text of " + from;
        return false;
      }
    std::copy(to.begin(), to.end(), bytes->begin() + static_cast<std::ptrdiff_t>(need.at));
    std::fill(bytes->begin() + static_cast<std::ptrdiff_t>(need.at + to.size()),
              bytes->begin() + static_cast<std::ptrdiff_t>(need.at + from.size()), 0);
    return true;
  }
  *whyNot = "it does not need " + from;
  return false;
}

int Pack(const char* out, const char* manifest) {
  std::ifstream list(manifest);
  std::vector<Source> sources;
  for (std::string line; std::getline(list, line);) {
    if (line.empty()) continue;
    std::istringstream fields(line);
    Source source;
    std::getline(fields, source.name, '\t');
    std::getline(fields, source.path, '\t');
    for (std::string need; fields >> need;) source.needs.push_back(need);
    sources.push_back(std::move(source));
  }
  for (Source& source : sources)
    if (!ReadFile(source.path, &source.bytes)) {
      std::fprintf(stderr, "carry_libraries: cannot read %s for %s\n", source.path.c_str(), source.name.c_str());
      return 1;
    }
  // Each library under its soname, and its needs under those of the libraries it needs.
  std::map<std::string, std::string> sonameOf;  // a name the manifest uses -> the library's soname
  std::vector<ElfNames> names(sources.size());
  for (size_t i = 0; i < sources.size(); ++i) {
    if (!IsCarriedLibraryName(sources[i].name)) continue;
    if (!ReadElfNames(sources[i].bytes, &names[i])) {
      std::fprintf(stderr, "carry_libraries: %s is no shared library this tool can read\n", sources[i].path.c_str());
      return 1;
    }
    if (!names[i].soname.empty() && names[i].soname != sources[i].name) sonameOf[sources[i].name] = names[i].soname;
  }
  for (size_t i = 0; i < sources.size(); ++i) {
    for (const ElfNames::Needed& need : names[i].needed) {
      const auto renamed = sonameOf.find(need.name);
      if (renamed == sonameOf.end()) continue;
      std::string why;
      if (!RenameNeeded(&sources[i].bytes, names[i], need.name, renamed->second, &why)) {
        std::fprintf(stderr, "carry_libraries: %s needs %s, which answers to %s; it cannot be told so: %s\n",
                     sources[i].path.c_str(), need.name.c_str(), renamed->second.c_str(), why.c_str());
        return 1;
      }
    }
    for (std::string& need : sources[i].needs)
      if (sonameOf.count(need) != 0) need = sonameOf[need];
  }
  for (Source& source : sources)
    if (sonameOf.count(source.name) != 0) source.name = sonameOf[source.name];
  // Packing a hundred libraries is most of the build's own time: four at once.
  const size_t workers = 4;
  std::vector<std::thread> threads;
  for (size_t w = 0; w < workers; ++w)
    threads.emplace_back([&sources, w, workers] {
      for (size_t i = w; i < sources.size(); i += workers) sources[i].ok = PackCarriedBytes(sources[i].bytes, &sources[i].packed);
    });
  for (std::thread& thread : threads) thread.join();
  std::vector<uint8_t> archive;
  StartCarriedArchive(&archive);
  for (const Source& source : sources) {
    if (!source.ok) {
      std::fprintf(stderr, "carry_libraries: cannot pack %s for %s\n", source.path.c_str(), source.name.c_str());
      return 1;
    }
    CarriedItem item;
    item.name = source.name;
    item.needs = source.needs;
    item.size = static_cast<uint32_t>(source.bytes.size());
    item.packed = source.packed.data();
    item.packedSize = static_cast<uint32_t>(source.packed.size());
    AppendCarriedItem(item, &archive);
  }
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
  return file.good() ? 0 : 1;
}

// The package after the linked executable: one entry, the archive; then the closing words
// with the checksum of the whole file.
int Append(const char* executable, const char* archivePath) {
  std::vector<uint8_t> archive, program;
  if (!ReadFile(archivePath, &archive)) {
    std::fprintf(stderr, "carry_libraries: cannot read %s\n", archivePath);
    return 1;
  }
  if (!ReadFile(executable, &program) || program.size() > 0x7fffffff) {
    std::fprintf(stderr, "carry_libraries: cannot read %s\n", executable);
    return 1;
  }
  std::vector<uint8_t> tail;
  PutPackageEntryHead(kCarriedPackageEntry, static_cast<uint32_t>(archive.size()), &tail);
  PackageChecksum sum;
  sum.Add(program.data(), program.size());
  sum.Add(tail.data(), tail.size());
  sum.Add(archive.data(), archive.size());
  const std::vector<uint8_t> closing = PackageTail(sum, static_cast<uint32_t>(program.size()));
  std::ofstream file(executable, std::ios::binary | std::ios::app);
  file.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
  file.write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
  file.write(reinterpret_cast<const char*>(closing.data()), static_cast<std::streamsize>(closing.size()));
  return file.good() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "pack") == 0) return Pack(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "append") == 0) return Append(argv[2], argv[3]);
  std::fprintf(stderr, "usage: carry_libraries pack OUT MANIFEST | carry_libraries append EXECUTABLE ARCHIVE\n");
  return 1;
}
