// Packs the libraries and files a built game may carry, and appends them to the executable:
//   carry_libraries pack OUT MANIFEST    (lines "NAME<tab>PATH<tab>NEEDS...", NEEDS the names
//                                          of a library's closure, space-separated)
//   carry_libraries append EXECUTABLE ARCHIVE
// The archive's format is platform/carried_archive.h's; appended, it is one package entry
// after the executable (platform/package_format.h), which the runtime reads at start-up and the
// game builder copies from.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
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
  // Packing a hundred libraries is most of the build's own time: four at once.
  const size_t workers = 4;
  std::vector<std::thread> threads;
  for (size_t w = 0; w < workers; ++w)
    threads.emplace_back([&sources, w, workers] {
      for (size_t i = w; i < sources.size(); i += workers)
        sources[i].ok = ReadFile(sources[i].path, &sources[i].bytes) && PackCarriedBytes(sources[i].bytes, &sources[i].packed);
    });
  for (std::thread& thread : threads) thread.join();
  std::vector<uint8_t> archive;
  StartCarriedArchive(&archive);
  for (const Source& source : sources) {
    if (!source.ok) {
      std::fprintf(stderr, "carry_libraries: cannot read %s for %s\n", source.path.c_str(), source.name.c_str());
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
