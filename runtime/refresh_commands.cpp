// The refresh-mode commands (end a slice, manual and automatic refresh) and the frame rate.
#include "runtime/command_numbers.h"
#include "runtime/runtime_local.h"

static void CmdRefresh() { Dispatcher.stop = 1; }

static void CmdManualRefreshMode() {
  Dispatcher.autoRefresh = 0;
  Dispatcher.drawStop = 0;
  Dispatcher.stop = 1;
}

static void CmdAutoRefreshMode() {
  Dispatcher.autoRefresh = 1;
  Dispatcher.drawStop = 1;
  Dispatcher.stop = 1;
}

// A rate of 0 means no wait beyond one tick of the clock, instead of a division by zero.
static void CmdFrameRate() {
  int32_t rate = IntOperand(0);
  AdvanceOperands(1);
  if (rate < 0 || rate > 1000) {
    RuntimeError(112);
    return;
  }
  SetFrameWait(rate == 0 ? 0 : 1000 / rate);
}

const CommandEntry kRefreshCommands[] = {
    {kRefresh, CmdRefresh},
    {kManualRefreshMode, CmdManualRefreshMode},
    {kAutoRefreshMode, CmdAutoRefreshMode},
    {kFrameRate, CmdFrameRate},
};
const size_t kRefreshCommandCount = std::size(kRefreshCommands);
