// Runs a whole BASIC program in the player, in-process, with a hook called at every input
// poll (before the real poll) so a test can push key and mouse events into SDL's queue as a
// user would while the program runs.
#pragma once
#include <string>

// Compiles the source in a fresh folder (the run's current folder) and runs it with every
// command family registered; the hook runs at each poll. Returns the run's exit status (-1
// when it did not compile); keysFile, when given, receives the text of the file keys.txt the
// program wrote in its folder ("" when it wrote none).
int RunSteeredProgram(const char* source, void (*atPoll)(), std::string* keysFile = nullptr);
