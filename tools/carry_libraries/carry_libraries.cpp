// Packs shared libraries into the archive the executable carries for machines without them:
// carry_libraries OUT SONAME=PATH... writes "QVCARRY1" then, per library, its soname's
// length (u32), the soname, its size and its packed size (u32 each) and its zlib data.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

static void PutWord(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: carry_libraries OUT SONAME=PATH...\n");
    return 1;
  }
  std::string archive = "QVCARRY1";
  for (int i = 2; i < argc; ++i) {
    const char* equals = std::strchr(argv[i], '=');
    if (equals == nullptr) {
      std::fprintf(stderr, "carry_libraries: '%s' is not SONAME=PATH\n", argv[i]);
      return 1;
    }
    const std::string soname(argv[i], static_cast<size_t>(equals - argv[i]));
    std::ifstream in(equals + 1, std::ios::binary);
    const std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || data.empty()) {
      std::fprintf(stderr, "carry_libraries: cannot read %s\n", equals + 1);
      return 1;
    }
    uLongf packedSize = compressBound(data.size());
    std::vector<unsigned char> packed(packedSize);
    if (compress2(packed.data(), &packedSize, data.data(), data.size(), 9) != Z_OK) return 1;
    PutWord(archive, static_cast<uint32_t>(soname.size()));
    archive += soname;
    PutWord(archive, static_cast<uint32_t>(data.size()));
    PutWord(archive, static_cast<uint32_t>(packedSize));
    archive.append(reinterpret_cast<const char*>(packed.data()), packedSize);
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(archive.data(), static_cast<std::streamsize>(archive.size()));
  return out.good() ? 0 : 1;
}
