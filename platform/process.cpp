// Running other programs with posix_spawn and waitpid; documents go to xdg-open.
#include "platform/process.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

extern char** environ;

static std::vector<std::string> SplitParameters(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

// Programs started without waiting that may not have ended yet; lives for the process.
static std::vector<pid_t> gStarted;

bool PlatformIsProgram(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

void PlatformReapPrograms() {
  std::vector<pid_t> running;
  for (pid_t pid : gStarted)
    if (waitpid(pid, nullptr, WNOHANG) == 0) running.push_back(pid);
  gStarted.swap(running);
}

// Starts file (see PlatformRunProgram) and gives its process id; false when nothing started.
static bool SpawnProgram(const std::string& file, const std::string& parameters, const std::string& folder, pid_t* pid) {
  if (file.empty()) return false;
  // Relative names are found from the folder the program runs in.
  const std::string path = folder.empty() || file[0] == '/' ? file : folder + "/" + file;
  std::vector<std::string> args;
  if (access(path.c_str(), X_OK) == 0) {
    args.push_back(path);
  } else if (access(path.c_str(), R_OK) == 0) {
    args = {"xdg-open", path};
  } else {
    return false;
  }
  for (std::string& word : SplitParameters(parameters)) args.push_back(std::move(word));
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  const int failed = args[0] == "xdg-open" ? posix_spawnp(pid, "xdg-open", &actions, nullptr, argv.data(), environ)
                                           : posix_spawn(pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed == 0;
}

bool PlatformRunProgram(const std::string& file, const std::string& parameters, const std::string& folder, bool wait,
                        int* exitStatus) {
  PlatformReapPrograms();
  pid_t pid = 0;
  if (!SpawnProgram(file, parameters, folder, &pid)) return false;
  if (!wait) {
    gStarted.push_back(pid);
    return true;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  if (exitStatus != nullptr) *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

int PlatformStartProgram(const std::string& file, const std::string& parameters, const std::string& folder) {
  pid_t pid = 0;
  return SpawnProgram(file, parameters, folder, &pid) ? static_cast<int>(pid) : 0;
}

bool PlatformProgramRunning(int pid) {
  if (pid <= 0) return false;
  int status = 0;
  pid_t r;
  do r = waitpid(pid, &status, WNOHANG);
  while (r < 0 && errno == EINTR);
  return r == 0;  // ended (and now collected), or not a child of ours: not running
}
