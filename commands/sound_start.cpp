// The player starts the sound library at a program's first sound, music or video command, not
// at start-up: a game that plays nothing opens no sound device (opening and draining one
// was most of an empty program's run). The families that use the library register their
// handlers through here; each is reached through a small forwarder that starts it first.
#include <array>
#include <utility>

#include "commands/sound_local.h"

namespace {

constexpr size_t kMaxForwarded = 256;
CommandHandler gForwardedHandlers[kMaxForwarded];
size_t gForwardedCount = 0;
bool gStartDeferred = false;

template <size_t Index>
void StartSoundThenRun() {
  EnsureSoundStarted();
  gForwardedHandlers[Index]();
}

template <size_t... Index>
constexpr std::array<CommandHandler, sizeof...(Index)> MakeForwarders(std::index_sequence<Index...>) {
  return {StartSoundThenRun<Index>...};
}
constexpr std::array<CommandHandler, kMaxForwarded> kForwarders = MakeForwarders(std::make_index_sequence<kMaxForwarded>{});

// The forwarder of a handler; the same one when the families are registered again.
CommandHandler ForwarderOf(CommandHandler handler) {
  for (size_t i = 0; i < gForwardedCount; ++i)
    if (gForwardedHandlers[i] == handler) return kForwarders[i];
  if (gForwardedCount == kMaxForwarded) return nullptr;
  gForwardedHandlers[gForwardedCount] = handler;
  return kForwarders[gForwardedCount++];
}

}  // namespace

void DeferSoundStart() { gStartDeferred = true; }

void EnsureSoundStarted() {
  if (!gStartDeferred) return;
  gStartDeferred = false;
  InitSound();
}

void ForgetDeferredSoundStart() { gStartDeferred = false; }

bool RegisterCommandsStartingSound(const CommandEntry* entries, size_t count) {
  CommandEntry forwarded[kMaxForwarded];
  if (count > kMaxForwarded) return false;
  for (size_t i = 0; i < count; ++i) {
    forwarded[i] = entries[i];
    forwarded[i].handler = ForwarderOf(entries[i].handler);
    if (forwarded[i].handler == nullptr) return false;
  }
  return RegisterCommands(forwarded, count);
}
