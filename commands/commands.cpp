// The front door of the command families: one registration of them all and their runtime hooks.
#include "commands/commands.h"
#include "commands/input_local.h"

bool RegisterCommandFamilies() {
  bool ok = RegisterChecklistCommands();
  ok = RegisterClipboardRegistryCommands() && ok;
  // input
  ok = RegisterInputCommands() && ok;
  ok = RegisterForceCommands() && ok;
  return ok;
}

// The checklist belongs to the runtime, which empties it at every program start.
void InstallCommandHooks(RuntimeHooks& hooks) {
  // input: devices from start-up to shut-down, read at every main-loop pass
  hooks.InitDirectInput = InitDirectInput;
  hooks.AcquireInputDevices = AcquireInputDevices;
  hooks.UnacquireInputDevices = UnacquireInputDevices;
  hooks.PollInput = PollInput;
  hooks.ReleaseForceEffects = ReleaseForceEffects;
  hooks.CloseDirectInput = CloseDirectInput;
}
