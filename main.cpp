// The quorvanel executable: wires the subsystems together and chooses between the player
// (a package is appended), the command-line driver and the development environment.
#include <cstdio>
#include <cstring>

#include "platform/folders.h"
#include "runtime/runtime.h"

// Registers every command family and fills the runtime's hooks from the subsystems that
// exist; false when two families claim one command number.
static bool WireSubsystems() {
  bool ok = RegisterRuntimeCommands();
  return ok;
}

static void PrintHelp() {
  std::puts(
      "Quorvanel: a game-creation system for BASIC.\n"
      "usage:\n"
      "  quorvanel compile FILE.qva [-o OUT]   compile a program\n"
      "  quorvanel run FILE.qva [--headless] [--echo]   compile and run a program\n"
      "  quorvanel --help                      this text");
}

int main(int argc, char** argv) {
  if (!WireSubsystems()) return 1;
  // The player: this executable carries a game package at its end.
  const std::string self = PlatformExecutablePath();
  if (OpenPackage(self.c_str())) {
    ClosePackage();
    return RunPlayer(self.c_str(), argc, argv);
  }
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    PrintHelp();
    return 0;
  }
  std::fprintf(stderr, "quorvanel: unknown command '%s' (try --help)\n", argv[1]);
  return 2;
}
