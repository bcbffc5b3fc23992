// The front door of the command families: one registration of them all and their runtime hooks.
#include "commands/commands.h"
#include "commands/input_local.h"
#include "commands/sound_local.h"

bool RegisterCommandFamilies() {
  bool ok = RegisterChecklistCommands();
  ok = RegisterClipboardRegistryCommands() && ok;
  // input
  ok = RegisterInputCommands() && ok;
  ok = RegisterForceCommands() && ok;
  // sound
  ok = RegisterSoundCommands() && ok;
  ok = RegisterMusicCommands() && ok;
  // video
  ok = RegisterAnimationCommands() && ok;
  ok = RegisterCdCommands() && ok;
  // files, folders, array files
  ok = RegisterFileCommands() && ok;
  ok = RegisterArrayFileCommands() && ok;
  ok = RegisterFolderCommands() && ok;
  ok = RegisterSystemCommands() && ok;
  ok = RegisterFtpCommands() && ok;
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
  // sound: the library from the first sound, music or video command to shut-down, 3D each
  // frame, paused while inactive
  hooks.InitSound = DeferSoundStart;
  hooks.ResetSound3D = ResetSound3D;
  hooks.SoundSyncHook = SoundSyncHook;
  hooks.UpdateSound3D = UpdateSound3D;
  hooks.PauseSoundsOnDeactivate = PauseSoundsOnDeactivate;
  hooks.ResumeSoundsOnActivate = ResumeSoundsOnActivate;
  hooks.FreeAllSounds = FreeAllSounds;
  hooks.CloseSound = CloseSound;
  // music: looping songs restart each frame, paused while the window is inactive
  hooks.UpdateMusicLoops = UpdateMusicLoops;
  hooks.PauseMusicOnDeactivate = PauseMusicOnDeactivate;
  hooks.ResumeMusicOnActivate = ResumeMusicOnActivate;
  hooks.FreeAllMusic = FreeAllMusic;
  hooks.CloseMusic = CloseMusic;
  // video: each frame before the sprites, closed at the end of every run
  hooks.UpdateAnimations = UpdateAnimations;
  hooks.FreeAllAnimations = FreeAllAnimations;
  // files: the numbered files close at the end of every run
  hooks.CloseAllFileHandles = CloseAllFileHandles;
  hooks.CloseFtpOnExit = CloseFtpOnExit;
  hooks.ResetCommandState = ResetSystemCommands;  // system settings at every program start
}
