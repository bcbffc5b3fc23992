// Running other programs: posix_spawn and waitpid, with xdg-open for documents. The
// development environment runs its compiled games through the same calls.
#pragma once
#include <string>

// Starts file with parameters (split at blanks, "quoted text" kept whole) in folder ("" =
// the current one). A file that is not executable is opened with xdg-open. With wait, waits
// for it to end (waitpid, no polling) and gives its exit status in *exitStatus. False when
// nothing could be started.
bool PlatformRunProgram(const std::string& file, const std::string& parameters, const std::string& folder, bool wait,
                        int* exitStatus = nullptr);
// A regular file that may be run (the calls above run it rather than open it).
bool PlatformIsProgram(const std::string& path);
// Collects programs started without waiting that have ended since (no zombies are left).
void PlatformReapPrograms();
// Starts file as PlatformRunProgram does, without waiting: its process id, 0 when nothing
// could be started. The caller watches it with PlatformProgramRunning.
int PlatformStartProgram(const std::string& file, const std::string& parameters, const std::string& folder);
// Whether a program PlatformStartProgram started still runs (waitpid without waiting); an
// ended one is collected and answers false, as does any id that is no child of ours.
bool PlatformProgramRunning(int pid);
