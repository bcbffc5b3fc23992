// The front door of the command families: one registration of them all and their runtime hooks.
#include "commands/commands.h"

bool RegisterCommandFamilies() {
  bool ok = RegisterChecklistCommands();
  ok = RegisterClipboardRegistryCommands() && ok;
  return ok;
}

// No family of this folder keeps state across the end of a run yet: the checklist belongs to
// the runtime, which empties it at every program start.
void InstallCommandHooks(RuntimeHooks& hooks) { (void)hooks; }
