// Termination signals (INT, TERM, HUP, QUIT): caught so that a run ends through its normal
// shut-down, its private folder removed, and exits with 128 + the signal.
#pragma once

// The player's start-up: installs the handlers. A signal the process was started with
// ignored (nohup, a background job) stays ignored.
void PlatformCatchStopSignals();
// The first termination signal received; 0 while none has come.
int PlatformStopSignal();
// The message queue's: true once after a signal came, when it delivers the quit it means.
bool PlatformTakeStopSignalQuit();
// Forgets a received signal (a test that sent one to itself).
void PlatformClearStopSignal();
