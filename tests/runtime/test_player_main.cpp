// A player holding only the runtime core: runs the package appended to its own file, as
// quorvanel's player path does, for the tests of whole packaged programs.
#include "platform/folders.h"
#include "runtime/runtime.h"

int main(int argc, char** argv) {
  if (!RegisterRuntimeCommands()) return 1;
  return RunPlayer(PlatformExecutablePath().c_str(), argc, argv);
}
