// Start-up cost as a user meets it: `quorvanel run PROGRAM --headless` as a whole process, for
// an empty and a small text-only program, beside peers that start an interpreter and end; and
// a game with a large media file: its build beside copying the file, its start (which checks
// every byte) beside reading the game once.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace {

struct Subject {
  Subject(std::string label, std::vector<std::string> arguments) : name(std::move(label)), argv(std::move(arguments)) {}
  std::string name;
  std::vector<std::string> argv;
  std::vector<double> milliseconds;
  std::vector<double> megabytes;  // peak resident set
  bool failed = false;
};

// The executable's full path, else empty: the system's own first, since a PATH may put a
// version manager's wrapper script (a process more) in front of the interpreter.
std::string FindProgram(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string folders = std::string("/usr/bin:/bin:") + (path != nullptr ? path : "");
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string candidate = folders.substr(start, end - start) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

double Now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// One whole run with output thrown away: wall time from spawn to reaped, peak RSS from wait4.
bool RunOnce(Subject& subject) {
  std::vector<char*> argv;
  for (std::string& arg : subject.argv) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const double start = Now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return false;
  const double elapsed = Now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  subject.milliseconds.push_back(elapsed);
  subject.megabytes.push_back(static_cast<double>(usage.ru_maxrss) / 1024.0);  // ru_maxrss is in KiB
  return true;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

// Measures each pair, interleaved as above; prints the medians and the ratios ours / peer.
bool MeasurePairs(std::vector<std::pair<Subject, Subject>>& pairs, int rounds) {
  bool ok = true;
  for (int round = 0; round <= rounds; ++round)
    for (auto& pair : pairs)
      for (Subject* subject : {&pair.first, &pair.second}) {
        const size_t before = subject->milliseconds.size();
        if (subject->failed) continue;
        if (RunOnce(*subject)) {
          if (round == 0) {  // warms the caches; not counted
            subject->milliseconds.resize(before);
            subject->megabytes.resize(before);
          }
          continue;
        }
        std::fprintf(stderr, "bench_startup: %s did not run to a normal end\n", subject->name.c_str());
        subject->failed = true;
        ok = false;
      }
  for (const auto& [ours, peer] : pairs) {
    if (ours.failed || peer.failed) continue;
    std::printf("%-34s %8.1f ms %8.1f MB | %-22s %8.1f ms %8.1f MB | %6.2fx %6.2fx\n", ours.name.c_str(),
                Median(ours.milliseconds), Median(ours.megabytes), peer.name.c_str(), Median(peer.milliseconds),
                Median(peer.megabytes), Median(ours.milliseconds) / Median(peer.milliseconds),
                Median(ours.megabytes) / Median(peer.megabytes));
  }
  return ok;
}

// A game whose media folder holds one file of 256 MiB: `quorvanel build` beside `cp` of that
// file (the build streams it: its peak memory stays near a copy's), and the game's start (it
// reads its whole file once to check it) beside `cat` of the game.
bool BenchBuiltGame(const std::string& executable, const std::string& program, int rounds) {
  char pattern[] = "/tmp/qv-bench-game-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return false;
  const std::string folder = pattern;
  const std::string media = folder + "/media", big = media + "/big.bin", game = folder + "/game";
  std::vector<uint8_t> piece(1 << 20);
  uint32_t state = 1;
  for (uint8_t& byte : piece) byte = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
  bool ok = std::system(("mkdir -p '" + media + "'").c_str()) == 0;
  if (FILE* out = ok ? std::fopen(big.c_str(), "wb") : nullptr) {
    for (int i = 0; i < 256; ++i) ok = std::fwrite(piece.data(), 1, piece.size(), out) == piece.size() && ok;
    ok = std::fclose(out) == 0 && ok;
  }
  const std::string cp = FindProgram("cp"), cat = FindProgram("cat");
  std::vector<std::pair<Subject, Subject>> pairs;
  pairs.emplace_back(Subject("quorvanel build (256 MiB media)", {executable, "build", program, "-o", game, "--media", media}),
                     Subject("cp of the media file", {cp, big, folder + "/copy.bin"}));
  ok = ok && !cp.empty() && !cat.empty() && RunOnce(pairs[0].first);  // the game the start is measured with
  pairs[0].first.milliseconds.clear();
  pairs[0].first.megabytes.clear();
  pairs.emplace_back(Subject("the game's start (256 MiB media)", {game}), Subject("cat of the game", {cat, game}));
  std::printf("\nA game with a large media file, median of %d interleaved runs (ratios: wall time, peak memory)\n",
              rounds);
  ok = ok && MeasurePairs(pairs, rounds);
  std::system(("rm -rf '" + folder + "'").c_str());
  return ok;
}

}  // namespace

// bench_startup [QUORVANEL]: the executable measured is the one built beside it, or the given one
// (to compare with an older build in the same run).
int main(int argc, char** argv) {
  const std::string executable = argc > 1 ? argv[1] : QV_EXECUTABLE;
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  const char* roundsText = std::getenv("QV_BENCH_ROUNDS");
  const int rounds = roundsText != nullptr && std::atoi(roundsText) > 0 ? std::atoi(roundsText) : 15;
  const std::string programs = QV_PROGRAMS;

  std::vector<Subject> subjects = {
      {"quorvanel run empty.qva", {executable, "run", programs + "/empty.qva", "--headless"}},
      {"quorvanel run text.qva", {executable, "run", programs + "/text.qva", "--headless"}},
  };
  const size_t ours = subjects.size();
  const std::string lua = FindProgram("lua5.4"), python = FindProgram("python3"), trueProgram = FindProgram("true");
  if (!lua.empty()) subjects.push_back({"lua5.4 -e ''", {lua, "-e", ""}});
  if (!python.empty()) subjects.push_back({"python3 -c pass", {python, "-c", "pass"}});
  if (!trueProgram.empty()) subjects.push_back({"true", {trueProgram}});

  // Interleaved: one run of each per round, so a busy moment of the machine hits all alike.
  // The first round warms the caches and is not counted.
  for (int round = 0; round <= rounds; ++round)
    for (Subject& subject : subjects) {
      if (subject.failed) continue;
      const size_t before = subject.milliseconds.size();
      if (!RunOnce(subject)) {
        std::fprintf(stderr, "bench_startup: %s did not run to a normal end\n", subject.name.c_str());
        subject.failed = true;
        continue;
      }
      if (round == 0) {
        subject.milliseconds.resize(before);
        subject.megabytes.resize(before);
      }
    }

  std::printf("Whole-process start-up, median of %d interleaved runs\n", rounds);
  std::printf("%-26s %10s %10s\n", "", "wall ms", "peak MB");
  for (const Subject& subject : subjects)
    if (!subject.failed)
      std::printf("%-26s %10.1f %10.1f\n", subject.name.c_str(), Median(subject.milliseconds), Median(subject.megabytes));
  std::printf("\nRatios (ours / peer: wall time, peak memory)\n");
  for (size_t i = 0; i < ours; ++i)
    for (size_t peer = ours; peer < subjects.size(); ++peer) {
      if (subjects[i].failed || subjects[peer].failed) continue;
      std::printf("%-26s / %-16s %6.2fx %6.2fx\n", subjects[i].name.c_str(), subjects[peer].name.c_str(),
                  Median(subjects[i].milliseconds) / Median(subjects[peer].milliseconds),
                  Median(subjects[i].megabytes) / Median(subjects[peer].megabytes));
    }
  if (!subjects[0].failed)
    std::printf("\nGoal for a program without 3D: under 40 ms and 35 MB; the empty program: %s\n",
                Median(subjects[0].milliseconds) < 40.0 && Median(subjects[0].megabytes) < 35.0 ? "met" : "not met");
  const bool builtGames = BenchBuiltGame(executable, programs + "/empty.qva", rounds);
  return subjects[0].failed || subjects[1].failed || !builtGames ? 1 : 0;
}
