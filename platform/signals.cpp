// Termination signals over POSIX sigaction: the handler only records the signal; the main
// loop sees it as a quit message and the shut-down picks the exit status.
#include "platform/signals.h"

#include <signal.h>

static volatile sig_atomic_t gStopSignal = 0;  // written by the handler, lives for the process
static bool gQuitDelivered = false;            // the queue has handed out the quit for it

static const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// A second signal means the run did not get to its end (a library call that never
// returns): it then ends at once, the default way; the next start removes its leftovers.
static void OnStopSignal(int number) {
  if (gStopSignal != 0) {
    signal(number, SIG_DFL);
    raise(number);
    return;
  }
  gStopSignal = number;
}

void PlatformCatchStopSignals() {
  for (int number : kStopSignals) {
    struct sigaction old = {};
    if (sigaction(number, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking read of stdin returns and the run ends
    sigaction(number, &action, nullptr);
  }
}

int PlatformStopSignal() { return gStopSignal; }

bool PlatformTakeStopSignalQuit() {
  if (gStopSignal == 0 || gQuitDelivered) return false;
  gQuitDelivered = true;
  return true;
}

void PlatformClearStopSignal() {
  gStopSignal = 0;
  gQuitDelivered = false;
}
