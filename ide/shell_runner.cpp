// The environment's link to the compiler, the runtime and the package writer: the editor's
// text compiled from memory, run in the environment's window, and built into a game.
#include "compiler/compiler.h"
#include "ide/shell.h"
#include "platform/folders.h"
#include "runtime/runtime.h"

namespace {

// Runs fn with folder as the working folder ("" keeps the current one), then goes back.
template <class Fn>
auto InFolder(const std::string& folder, Fn fn) {
  const std::string before = PlatformCurrentFolder();
  if (!folder.empty()) PlatformChangeFolder(folder);
  auto result = fn();
  PlatformChangeFolder(before);
  return result;
}

bool CompileText(const std::string& text, const std::string& folder, const std::string& output, std::string* message,
                 int* line) {
  CompilerObject* compiler = CreateCompiler();
  SetCompileProgressHook([](int percent) { Hooks.ShowCompileProgress(percent); });
  LoadKeywordTable(*compiler);
  ResetCompiler(*compiler);
  std::string why;
  bool ok = InFolder(folder, [&] { return CompileFromMemory(*compiler, text, 1); });
  message->clear();
  *line = 0;
  if (!ok) {
    *message = CompilerMessage(*compiler);
    *line = CompilerErrorLine(*compiler);
  } else if (!WriteCompiledProgram(*compiler, output, &why)) {
    *message = "cannot write " + output + ": " + why;
    ok = false;
  } else if (!CompilerWarnings(*compiler).empty()) {
    const CompileWarning& warning = CompilerWarnings(*compiler).front();
    *message = "Warning: " + warning.file + ":" + std::to_string(warning.line) + ": " + warning.text;
    *line = warning.mainLine;
  }
  FreeCompilerBuffers(*compiler);
  DestroyCompiler(compiler);
  return ok;
}

int RunInWindow(const std::string& compiled, const std::string& folder, std::string* message, int* line) {
  LoadLanguageErrorTexts();
  return InFolder(folder, [&] { return RunCompiledProgramInWindow(compiled.c_str(), message, line); });
}

bool BuildGame(const std::string& output, const std::string& player, const std::string& compiled,
               const std::string& media, const std::string& sourceFolder, std::string* whyNot) {
  return WriteStandaloneGame(output.c_str(), player.c_str(), compiled.c_str(), media.empty() ? nullptr : media.c_str(),
                             whyNot, sourceFolder.c_str());
}

}  // namespace

const IdeRunner& IdeProgramRunner() {
  static const IdeRunner runner = {CompileText, RunInWindow, BuildGame};
  return runner;
}
