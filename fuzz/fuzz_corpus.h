// Shared by the fuzz targets whose seeds live in the source tree: with no corpus folder on the
// command line, a fresh folder under /tmp (where new inputs go) and the seeds' folder (read
// only) are added, so `make fuzz` starts from the seeds.
#pragma once
#include <cstdlib>
#include <string>

// Call from LLVMFuzzerInitialize; scratchTemplate ends in "XXXXXX" and must outlive the run.
inline void AddSeedCorpus(int* argc, char*** argv, char* scratchTemplate, const char* seedFolder) {
  for (int i = 1; i < *argc; i++) {
    if ((*argv)[i][0] != '-') return;
  }
  static std::string seeds;
  static char** extended;  // lives for the whole run
  seeds = seedFolder;
  if (!mkdtemp(scratchTemplate)) return;
  extended = static_cast<char**>(std::calloc(static_cast<size_t>(*argc) + 3, sizeof(char*)));
  for (int i = 0; i < *argc; i++) extended[i] = (*argv)[i];
  extended[*argc] = scratchTemplate;
  extended[*argc + 1] = seeds.data();
  *argc += 2;
  *argv = extended;
}
