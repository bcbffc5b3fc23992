// The quorvanel executable: wires the subsystems together and chooses between the player
// (a package is appended), the command-line driver and the development environment.
#include <cstdio>
#include <cstring>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "compiler/compiler.h"
#include "engine3d/engine3d.h"
#include "graphics2d/graphics2d.h"
#include "platform/folders.h"
#include "runtime/builtins.h"
#include "runtime/runtime.h"

// Registers every command family and fills the runtime's hooks from the subsystems that
// exist; false when two families claim one command number.
static bool WireSubsystems() {
  bool ok = RegisterRuntimeCommands();
  ok = RegisterCoreBuiltins() && ok;
  // The 2D display: its commands, record pools, frame hooks and the screen side of PRINT.
  ok = RegisterGraphics2DCommands() && ok;
  RegisterGraphics2DPools();
  InstallGraphics2DHooks(Hooks);
  PrintToScreenHook = PrintAtCursor;
  InputTextHook = ShowInputText;
  // The 3D engine: commands, record pools and frame hooks, after the 2D display's (it
  // renders into the 2D back buffer and chains the end-of-run teardown).
  ok = RegisterEngine3dCommands() && ok;
  RegisterEngine3dPools();
  InstallEngine3dHooks(Hooks, BackBuffer);
  return ok;
}

// Compiles source into output; on failure prints "FILE:LINE: MESSAGE" to stderr.
static bool CompileForDriver(const std::string& source, const std::string& output) {
  CompilerObject* compiler = CreateCompiler();
  SetCompileProgressHook([](int percent) { Hooks.ShowCompileProgress(percent); });
  LoadKeywordTable(*compiler);
  ResetCompiler(*compiler);
  bool ok = CompileToFile(*compiler, source, output);
  if (!ok)
    std::fprintf(stderr, "%s:%d: %s\n", source.c_str(), CompilerErrorLine(*compiler),
                 CompilerMessage(*compiler).c_str());
  FreeCompilerBuffers(*compiler);
  DestroyCompiler(compiler);
  return ok;
}

// quorvanel compile FILE.qva [-o OUT]: exit 0, or 1 on a compile error.
static int DriverCompile(int argc, char** argv) {
  std::string source, output;
  for (int i = 2; i < argc; i++) {
    if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) output = argv[++i];
    else if (source.empty()) source = argv[i];
    else {
      std::fprintf(stderr, "quorvanel compile: unexpected argument '%s'\n", argv[i]);
      return 1;
    }
  }
  if (source.empty()) {
    std::fprintf(stderr, "quorvanel compile: no source file (try --help)\n");
    return 1;
  }
  if (output.empty()) {
    size_t slash = source.find_last_of('/');
    size_t dot = source.find_last_of('.');
    output = (dot != std::string::npos && (slash == std::string::npos || dot > slash) ? source.substr(0, dot) : source) + ".dat";
  }
  return CompileForDriver(source, output) ? 0 : 1;
}

// quorvanel run FILE.qva [--headless] [--echo] [ARGS...]: exit 0 on a normal end, 1 on a
// runtime error, 2 on a compile error. ARGS become the program's command line.
static int DriverRun(int argc, char** argv) {
  std::string source;
  std::vector<char*> programArgs = {argv[0]};
  bool headless = false, echo = false;
  for (int i = 2; i < argc; i++) {
    if (std::strcmp(argv[i], "--headless") == 0) headless = true;
    else if (std::strcmp(argv[i], "--echo") == 0) echo = true;
    else if (source.empty()) source = argv[i];
    else programArgs.push_back(argv[i]);
  }
  if (source.empty()) {
    std::fprintf(stderr, "quorvanel run: no source file (try --help)\n");
    return 2;
  }
  std::string folder = PlatformTemporaryFolder();
  std::string compiled = (folder.empty() ? std::string("/tmp") : folder) + "/run-" + std::to_string(getpid()) + ".dat";
  if (!CompileForDriver(source, compiled)) {
    std::remove(compiled.c_str());
    return 2;
  }
  if (headless) setenv("SDL_VIDEODRIVER", "offscreen", 1);
  SetInputFromStdin(headless);
  SetPrintEcho(echo);
  LoadLanguageErrorTexts();
  SetRunSourceName(source.c_str());
  int status = RunCompiledProgramFile(compiled.c_str(), static_cast<int>(programArgs.size()), programArgs.data());
  FlushPrintedLine();
  std::remove(compiled.c_str());
  return status;
}

// quorvanel build FILE.qva -o GAME [--media FOLDER]: a standalone game, this executable with
// the compiled program and the media folder's files appended; exit 0, 1 when the build
// fails, 2 on a compile error.
static int DriverBuild(int argc, char** argv) {
  std::string source, output, media;
  for (int i = 2; i < argc; i++) {
    if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) output = argv[++i];
    else if (std::strcmp(argv[i], "--media") == 0 && i + 1 < argc) media = argv[++i];
    else if (source.empty()) source = argv[i];
    else {
      std::fprintf(stderr, "quorvanel build: unexpected argument '%s'\n", argv[i]);
      return 1;
    }
  }
  if (source.empty() || output.empty()) {
    std::fprintf(stderr, "quorvanel build: needs a source file and -o GAME (try --help)\n");
    return 1;
  }
  std::string folder = PlatformTemporaryFolder();
  std::string compiled = (folder.empty() ? std::string("/tmp") : folder) + "/_exefile-" + std::to_string(getpid()) + ".dat";
  if (!CompileForDriver(source, compiled)) {
    std::remove(compiled.c_str());
    return 2;
  }
  Hooks.ShowProgressStatus = [](const char* text) { std::puts(text); };
  bool ok = WriteStandaloneGame(output.c_str(), PlatformExecutablePath().c_str(), compiled.c_str(),
                                media.empty() ? nullptr : media.c_str());
  std::remove(compiled.c_str());
  if (!ok) std::fprintf(stderr, "quorvanel build: could not write '%s'\n", output.c_str());
  return ok ? 0 : 1;
}

static void PrintHelp() {
  std::puts(
      "Quorvanel: a game-creation system for BASIC.\n"
      "usage:\n"
      "  quorvanel compile FILE.qva [-o OUT]   compile a program\n"
      "  quorvanel run FILE.qva [--headless] [--echo]   compile and run a program\n"
      "  quorvanel build FILE.qva -o GAME [--media FOLDER]   make a standalone game\n"
      "  quorvanel --help                      this text");
}

int main(int argc, char** argv) {
  if (!WireSubsystems()) return 1;
  // The player: this executable carries a game package at its end (the player runs the
  // package read here; it closes it at the end of the run).
  const std::string self = PlatformExecutablePath();
  if (OpenPackage(self.c_str())) {
    LoadLanguageErrorTexts();
    return RunPlayer(self.c_str(), argc, argv);
  }
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    PrintHelp();
    return 0;
  }
  if (std::strcmp(argv[1], "--command-numbers") == 0) {
    // For the keyword test: every command number this executable has a handler for.
    for (int number = 1; number < kCommandTableSize; number++)
      if (HandlerForCommand(number)) std::printf("%d\n", number);
    return 0;
  }
  if (std::strcmp(argv[1], "compile") == 0) return DriverCompile(argc, argv);
  if (std::strcmp(argv[1], "run") == 0) return DriverRun(argc, argv);
  if (std::strcmp(argv[1], "build") == 0) return DriverBuild(argc, argv);
  std::fprintf(stderr, "quorvanel: unknown command '%s' (try --help)\n", argv[1]);
  return 2;
}
