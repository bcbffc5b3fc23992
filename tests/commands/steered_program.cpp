// The steered-program runner of the input tests: compile, register, run with a poll hook.
#include "tests/commands/steered_program.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "commands/commands.h"
#include "compiler/compiler.h"
#include "graphics2d/graphics2d.h"
#include "runtime/builtins.h"

namespace {

void (*gAtPoll)() = nullptr;
void (*gRealPoll)() = nullptr;

void PollThroughHook() {
  gAtPoll();
  gRealPoll();
}

}  // namespace

int RunSteeredProgram(const char* source, void (*atPoll)(), std::string* keysFile) {
  EXPECT_TRUE(RegisterRuntimeCommands());
  EXPECT_TRUE(RegisterCoreBuiltins());
  EXPECT_TRUE(RegisterGraphics2DCommands());
  RegisterGraphics2DPools();
  EXPECT_TRUE(RegisterCommandFamilies());
  const RuntimeHooks saved = Hooks;
  InstallGraphics2DHooks(Hooks);
  InstallCommandHooks(Hooks);
  gAtPoll = atPoll;
  gRealPoll = Hooks.PollInput;
  Hooks.PollInput = PollThroughHook;

  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("qv-steered-program-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  const std::string sourcePath = (folder / "steer.qva").string(), program = (folder / "steer.dat").string();
  std::ofstream(sourcePath, std::ios::binary) << source;
  CompilerObject* compiler = CreateCompiler();
  EXPECT_TRUE(LoadKeywordTable(*compiler));
  ResetCompiler(*compiler);
  const bool compiled = CompileToFile(*compiler, sourcePath, program);
  EXPECT_TRUE(compiled) << CompilerMessage(*compiler) << " at line " << CompilerErrorLine(*compiler);
  FreeCompilerBuffers(*compiler);
  DestroyCompiler(compiler);

  char name[] = "quorvanel";
  char* argv[] = {name, nullptr};
  const int status = compiled ? RunCompiledProgramFile(program.c_str(), 1, argv) : -1;
  Hooks = saved;
  ClearCommandRegistry();
  if (keysFile != nullptr) {
    std::ifstream in(folder / "keys.txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    *keysFile = text.str();
  }
  std::filesystem::current_path(before);
  std::filesystem::remove_all(folder);
  return status;
}
