// The quorvanel executable: wires the subsystems together and chooses between the player
// (a package is appended), the command-line driver and the development environment.
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "commands/commands.h"
#include "compiler/compiler.h"
#include "engine3d/engine3d.h"
#include "graphics2d/graphics2d.h"
#include "ide/shell.h"
#include "platform/file_replace.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/messagebox.h"
#include "platform/present.h"
#include "platform/signals.h"
#include "platform/window.h"
#include "runtime/builtins.h"
#include "runtime/runtime.h"
#include "sound/sound.h"

// The sound library's host: program file names mapped to this system's paths, and the
// appended package, so the library itself never reaches into the runtime.
static uintptr_t SoundOpenFile(const char* name) {
  return reinterpret_cast<uintptr_t>(std::fopen(MapProgramPath(name).c_str(), "rb"));
}
static void SoundCloseFile(uintptr_t handle) { std::fclose(reinterpret_cast<FILE*>(handle)); }
static int SoundReadFile(void* buffer, int size, uintptr_t handle) {
  return static_cast<int>(std::fread(buffer, 1, static_cast<size_t>(size), reinterpret_cast<FILE*>(handle)));
}
static int SoundSeekFile(uintptr_t handle, int64_t offset, int origin) {
  return fseeko(reinterpret_cast<FILE*>(handle), offset, origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END);
}
static int64_t SoundTellFile(uintptr_t handle) { return ftello(reinterpret_cast<FILE*>(handle)); }
static bool SoundResolvePackaged(const char* name, const char* extension, char* path, int size) {
  std::string resolved = name;
  if (!ResolvePackagedFile(resolved, extension) || resolved.size() + 1 > static_cast<size_t>(size)) return false;
  std::memcpy(path, resolved.c_str(), resolved.size() + 1);
  return true;
}

// The sound library's own notes (a song, a GSM file or a CD cue it refused, a mixer that
// would not stop) go to QV.LOG in debug mode beside the runtime's entries. Only the main
// thread writes the log: notes made on the mixer or stream threads are dropped.
static std::thread::id MainThreadId;
static void SoundLogLine(const char* text) {
  if (std::this_thread::get_id() == MainThreadId) LogErrorEntry("SOUNDLIBRARY", text);
}

// A save that wrote its file in place (other links, another owner, a folder refusing new
// files) says so in QV.LOG in debug mode; as above, only the main thread writes the log.
static void ReplaceNote(const char* text) {
  if (std::this_thread::get_id() == MainThreadId) LogErrorEntry("FILEWRITE", text);
}

// Registers every command family and fills the runtime's hooks from the subsystems that
// exist; false when two families claim one command number.
static bool WireSubsystems() {
  MainThreadId = std::this_thread::get_id();
  PlatformSetReplaceNotes(ReplaceNote);
  SndSetHost({SoundLogLine, {SoundOpenFile, SoundCloseFile, SoundReadFile, SoundSeekFile, SoundTellFile},
              SoundResolvePackaged});
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
  // The command families above the engines (the checklist, files, system).
  ok = RegisterCommandFamilies() && ok;
  InstallCommandHooks(Hooks);
  return ok;
}

namespace fs = std::filesystem;

// How each command is used: the usage line a mistaken command line is answered with.
static const char* const kUsage[][2] = {
    {"compile", "quorvanel compile FILE.qva [-o OUT]"},
    {"run", "quorvanel run FILE.qva [--headless] [--echo] [ARGS...] [-- ARGS...]"},
    {"build", "quorvanel build FILE.qva -o GAME [--media FOLDER]"},
};

// A mistaken command line: what is wrong, then the command's usage line; exit status 1.
static int UsageError(const char* command, const std::string& problem) {
  std::fprintf(stderr, "quorvanel %s: %s\n", command, problem.c_str());
  for (const auto& [name, usage] : kUsage)
    if (std::strcmp(name, command) == 0) std::fprintf(stderr, "usage: %s\n", usage);
  return 1;
}

// One command's arguments: the known options (with or without a value) and the rest.
struct DriverArguments {
  std::string source, output, media;
  bool headless = false, echo = false;
  std::vector<std::string> rest;  // words after the source (run: the program's command line)
};

// Reads argv[2..] for a command that knows the options listed in `known` ("-o", "--media",
// "--headless", "--echo"); "--" ends the options (everything after it goes to rest).
// Empty, or the problem for UsageError.
static std::string ParseDriverArguments(int argc, char** argv, std::initializer_list<std::string_view> known,
                                        DriverArguments* args) {
  auto knows = [&](std::string_view option) { return std::find(known.begin(), known.end(), option) != known.end(); };
  for (int i = 2; i < argc; i++) {
    const std::string_view word = argv[i];
    if (word == "--") {
      args->rest.insert(args->rest.end(), argv + i + 1, argv + argc);
      break;
    }
    if (word.size() > 1 && word[0] == '-' && !knows(word)) return "unknown option '" + std::string(word) + "'";
    if (word == "-o" || word == "--media") {
      if (i + 1 >= argc) return std::string(word) + " needs a name after it";
      (word == "-o" ? args->output : args->media) = argv[++i];
    } else if (word == "--headless") {
      args->headless = true;
    } else if (word == "--echo") {
      args->echo = true;
    } else if (args->source.empty()) {
      args->source = word;
    } else {
      args->rest.emplace_back(word);
    }
  }
  return args->source.empty() ? "no source file" : "";
}

// Whether writing output would replace the source: the same file (device and inode) where
// the output exists, or the same normalised path.
static bool IsSameFile(const std::string& source, const std::string& output) {
  std::error_code error;
  if (fs::exists(output, error) && fs::equivalent(source, output, error)) return true;
  const fs::path a = fs::weakly_canonical(fs::absolute(source, error), error);
  const fs::path b = fs::weakly_canonical(fs::absolute(output, error), error);
  return !error && a == b;
}

// Refuses, with a message, an output that would replace the (mapped) source file.
static bool WouldReplaceSource(const char* command, const std::string& source, const std::string& output) {
  if (!IsSameFile(source, output)) return false;
  std::fprintf(stderr, "quorvanel %s: the output %s is the source file itself; name another with -o\n", command,
               output.c_str());
  return true;
}

enum class CompileResult { kDone, kCompileError, kFileError };

// Compiles source into output for `quorvanel command`. A compile error prints
// "FILE:LINE: MESSAGE"; a source that cannot be read, an output that would replace the
// source or cannot be written print what failed and why. Output is replaced only whole.
static CompileResult CompileForDriver(const char* command, const std::string& source, const std::string& output) {
  const std::string mapped = PlatformMapFileName(source);
  std::FILE* readable = std::fopen(mapped.c_str(), "rb");
  const int openError = readable == nullptr ? errno : fs::is_directory(mapped) ? EISDIR : 0;
  if (readable != nullptr) std::fclose(readable);
  if (openError != 0) {
    std::fprintf(stderr, "quorvanel %s: cannot open %s: %s\n", command, source.c_str(), std::strerror(openError));
    return CompileResult::kFileError;
  }
  if (WouldReplaceSource(command, mapped, output)) return CompileResult::kFileError;
  CompilerObject* compiler = CreateCompiler();
  SetCompileProgressHook([](int percent) { Hooks.ShowCompileProgress(percent); });
  LoadKeywordTable(*compiler);
  ResetCompiler(*compiler);
  SizeCodeBufferForSource(*compiler, source);
  CompileResult result = CompileResult::kDone;
  const bool compiled = CompileProgram(*compiler, source);
  for (const CompileWarning& warning : CompilerWarnings(*compiler))
    std::fprintf(stderr, "%s:%d: warning: %s\n", warning.file.c_str(), warning.line, warning.text.c_str());
  if (!compiled) {
    std::fprintf(stderr, "%s:%d: %s\n", source.c_str(), CompilerErrorLine(*compiler),
                 CompilerMessage(*compiler).c_str());
    result = CompileResult::kCompileError;
  } else {
    std::string why;
    if (!WriteCompiledProgram(*compiler, output, &why)) {
      std::fprintf(stderr, "quorvanel %s: cannot write %s: %s\n", command, output.c_str(), why.c_str());
      result = CompileResult::kFileError;
    }
  }
  FreeCompilerBuffers(*compiler);
  DestroyCompiler(compiler);
  return result;
}

// A compiled program of the driver's own in the private temporary folder; "" after saying
// why when there is none. Never the shared /tmp, where another user could read or replace it.
static std::string DriverTemporaryFile(const char* command, const char* prefix) {
  std::string why;
  const std::string folder = PlatformTemporaryFolder(&why);
  if (folder.empty()) {
    std::fprintf(stderr,
                 "quorvanel %s: no private temporary folder (%s); remove it or set XDG_RUNTIME_DIR to a folder of "
                 "your own\n",
                 command, why.c_str());
    return "";
  }
  return folder + "/" + prefix + std::to_string(getpid()) + ".dat";
}

// quorvanel compile FILE.qva [-o OUT]: exit 0, or 1 on a compile error or when a file
// cannot be read or written.
static int DriverCompile(int argc, char** argv) {
  DriverArguments args;
  std::string problem = ParseDriverArguments(argc, argv, {"-o"}, &args);
  if (problem.empty() && !args.rest.empty()) problem = "unexpected argument '" + args.rest.front() + "'";
  if (!problem.empty()) return UsageError("compile", problem);
  if (args.output.empty()) {
    const std::string& source = args.source;
    size_t slash = source.find_last_of('/');
    size_t dot = source.find_last_of('.');
    args.output = (dot != std::string::npos && (slash == std::string::npos || dot > slash) ? source.substr(0, dot) : source) + ".dat";
  }
  return CompileForDriver("compile", args.source, args.output) == CompileResult::kDone ? 0 : 1;
}

// A word as a shell reads it back: quoted when it holds anything but plain path characters.
static std::string ShellWord(const std::string& word) {
  const bool plain = !word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                            "0123456789_-+=.,/:@%") == std::string::npos;
  if (plain) return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// This executable as the user can type it again from the same folder: the path it was started
// by (build/quorvanel after `make run`), or its bare name when the shell found it on the PATH.
static std::string CommandAsTyped(const char* argv0) {
  if (argv0 == nullptr || std::strchr(argv0, '/') == nullptr) return "quorvanel";
  return ShellWord(argv0);
}

// quorvanel run FILE.qva [--headless] [--echo] [ARGS...] [-- ARGS...]: exit 0 on a normal
// end, 1 on a runtime error or when a file cannot be read or written, 2 on a compile error.
// ARGS become the program's command line.
static int DriverRun(int argc, char** argv) {
  DriverArguments args;
  std::string problem = ParseDriverArguments(argc, argv, {"--headless", "--echo"}, &args);
  if (!problem.empty()) return UsageError("run", problem);
  std::vector<char*> programArgs = {argv[0]};
  for (std::string& word : args.rest) programArgs.push_back(word.data());
  const std::string compiled = DriverTemporaryFile("run", "run-");
  if (compiled.empty()) return 1;
  CompileResult compiledAs = CompileForDriver("run", args.source, compiled);
  if (compiledAs != CompileResult::kDone) {
    std::remove(compiled.c_str());
    return compiledAs == CompileResult::kCompileError ? 2 : 1;
  }
  if (args.headless) setenv("SDL_VIDEODRIVER", "offscreen", 1);
  PlatformSetNoDisplayAdvice(("to see what the program prints: " + CommandAsTyped(argv[0]) + " run " +
                              ShellWord(args.source) + " --headless --echo")
                                 .c_str());
  SetInputFromStdin(args.headless);
  SetPrintEcho(args.echo);
  LoadLanguageErrorTexts();
  SetRunSourceName(args.source.c_str());
  int status = RunCompiledProgramFile(compiled.c_str(), static_cast<int>(programArgs.size()), programArgs.data());
  FlushPrintedLine();
  std::remove(compiled.c_str());
  return status;
}

// quorvanel build FILE.qva -o GAME [--media FOLDER]: a standalone game, this executable with
// the compiled program and the media folder's files appended; exit 0, 1 when the build
// fails (the game already at GAME stays as it was), 2 on a compile error.
static int DriverBuild(int argc, char** argv) {
  DriverArguments args;
  std::string problem = ParseDriverArguments(argc, argv, {"-o", "--media"}, &args);
  if (problem.empty() && !args.rest.empty()) problem = "unexpected argument '" + args.rest.front() + "'";
  if (problem.empty() && args.output.empty()) problem = "no game to write (-o GAME)";
  if (!problem.empty()) return UsageError("build", problem);
  if (WouldReplaceSource("build", PlatformMapFileName(args.source), args.output)) return 1;
  const std::string compiled = DriverTemporaryFile("build", "_exefile-");
  if (compiled.empty()) return 1;
  CompileResult compiledAs = CompileForDriver("build", args.source, compiled);
  if (compiledAs != CompileResult::kDone) {
    std::remove(compiled.c_str());
    return compiledAs == CompileResult::kCompileError ? 2 : 1;
  }
  Hooks.ShowProgressStatus = [](const char* text) { std::puts(text); };
  std::string whyNot;
  const std::string sourceFolder = fs::path(PlatformMapFileName(args.source)).parent_path().string();
  bool ok = WriteStandaloneGame(args.output.c_str(), PlatformExecutablePath().c_str(), compiled.c_str(),
                                args.media.empty() ? nullptr : args.media.c_str(), &whyNot,
                                sourceFolder.empty() ? "." : sourceFolder.c_str());
  std::remove(compiled.c_str());
  if (!ok) std::fprintf(stderr, "quorvanel build: %s\n", whyNot.c_str());
  return ok ? 0 : 1;
}

// quorvanel with no arguments: the development environment in a window of its own; exit 0
// when the user leaves, 1 when it cannot start.
// The environment's own files (language texts, pictures, help pages): beside the executable,
// in its data folder, or in the source tree it was built from.
static std::string EnvironmentDataFolder() {
  const std::string candidates[] = {ExecutableFolder(), ExecutableFolder() + "/data", QV_DATA_DIR};
  for (const std::string& folder : candidates)
    if (PlatformFileReadable(folder + "/ide/screen.png")) return folder;
  return ExecutableFolder();
}

// quorvanel with no arguments, or with a source file: the development environment in a
// window of its own (with that source in the editor); exit 0 when the user leaves, 1 when it
// cannot start.
static void PrintHelp();

static int RunDevelopmentEnvironment(const std::string& source = std::string()) {
  PlatformCatchStopSignals();
  IdeConfig config;
  if (!source.empty()) {
    std::error_code error;
    const fs::path whole = fs::absolute(PlatformMapFileName(source), error);
    config.startSource = error ? source : whole.lexically_normal().string();
  }
  config.installFolder = EnvironmentDataFolder();
  config.temporaryFolder = TemporaryFolder();
  config.winIni = UserStateFilePath();
  config.playerExecutable = PlatformExecutablePath();
  const std::string documents = PlatformDocumentsFolder();
  config.projectsFolder = (documents.empty() ? PlatformCurrentFolder() : documents) + "/Quorvanel";
  if (config.temporaryFolder.empty()) {
    std::fprintf(stderr, "quorvanel: no private temporary folder could be made\n");
    return 1;
  }
  LoadLanguageErrorTexts();
  if (!PlatformCreateMainWindow("Quorvanel", 640, 480) || !PlatformHasMainWindow()) {
    std::fprintf(stderr, "quorvanel: the environment needs a display: no window could be opened\n");
    return 1;
  }
  if (PlatformIsHeadless()) {
    // Nothing would be seen (an offscreen or dummy display): the commands are what can be used.
    PlatformDestroyMainWindow();
    PrintHelp();
    std::fprintf(stderr, "quorvanel: no display to show the environment on; the commands above work without one\n");
    return 0;
  }
  PlatformAttachPresenterToMainWindow();
  const int status = RunEnvironment(config, IdeProgramRunner());
  if (status != 0)
    std::fprintf(stderr, "quorvanel: the environment could not start: its font, texts or pictures (in %s/ide) are missing\n",
                 config.installFolder.c_str());
  PresentDetach();
  PlatformDestroyMainWindow();
  return PlatformStopSignal() != 0 ? 128 + PlatformStopSignal() : status;
}

static void PrintHelp() {
  std::puts(
      "Quorvanel: a game-creation system for BASIC.\n"
      "usage:\n"
      "  quorvanel compile FILE.qva [-o OUT]   compile a program\n"
      "  quorvanel run FILE.qva [--headless] [--echo] [-- ARGS...]   compile and run a program\n"
      "  quorvanel build FILE.qva -o GAME [--media FOLDER]   make a standalone game\n"
      "  quorvanel [FILE.qva]                  the development environment (with that source)\n"
      "  quorvanel --help                      this text\n"
      "the language: docs/LANGUAGE.md; every command and function: docs/COMMANDS.md");
}

int main(int argc, char** argv) {
  // Its own file first, while the current folder is the one it was started in: without /proc
  // the name it was started by is relative to it.
  PlatformSetProgramName(argc > 0 ? argv[0] : nullptr);
  const std::string self = PlatformExecutablePath();
  if (!WireSubsystems()) return 1;
  // The player: this executable carries a game package at its end (the player runs the
  // package read here; it closes it at the end of the run). A game whose package is damaged,
  // or a file that cannot read itself, says so rather than acting as the compiler.
  std::string whyNot;
  switch (OpenOwnPackage(self.c_str(), &whyNot)) {
    case OwnPackage::kOpened:
      LoadLanguageErrorTexts();
      return RunPlayer(self.c_str(), argc, argv);
    case OwnPackage::kDamaged:
      PlatformShowMessageBox("Damaged Game",
                             (self + ": this game is damaged and cannot start (" + whyNot + ")").c_str(), true);
      return 1;
    case OwnPackage::kUnreadable:
      PlatformShowMessageBox("Cannot Start", ("quorvanel: " + whyNot).c_str(), true);
      return 1;
    case OwnPackage::kNone: break;
  }
  if (argc < 2) return RunDevelopmentEnvironment();
  if (std::strcmp(argv[1], "--help") == 0) {
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
  // A source named alone opens in the environment's editor.
  if (argc == 2 && argv[1][0] != '-') {
    const std::string name = argv[1];
    const bool source = name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".qva") == 0;
    if (source || (PlatformFileReadable(PlatformMapFileName(name)) && !fs::is_directory(PlatformMapFileName(name))))
      return RunDevelopmentEnvironment(name);
  }
  std::fprintf(stderr, "quorvanel: unknown %s '%s'\n", argv[1][0] == '-' ? "option" : "command", argv[1]);
  std::fprintf(stderr, "usage: quorvanel compile|run|build FILE.qva ... (quorvanel --help for more)\n");
  return 1;
}
