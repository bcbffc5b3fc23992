// The command families above the engines (checklist, and later files, folders, clipboard,
// registry values and the system): their registration and their hooks into the runtime.
#pragma once
#include "runtime/runtime.h"

// main.cpp registers each family once at start-up; false when a number is already taken.
bool RegisterChecklistCommands();
bool RegisterClipboardRegistryCommands();
// Every program start: the registry values' configuration folder is looked for again at the
// run's first registry command (and then kept for the run).
void ForgetRegistryFolder();
// Input: keys, mouse wheel and movement, joysticks, the control device; its force feedback.
bool RegisterInputCommands();
bool RegisterForceCommands();
// Sounds 1..1025 over the sound library.
bool RegisterSoundCommands();
// Music slots 1..32: tracker songs and CD tracks.
bool RegisterMusicCommands();
// Video animations 1..32 on the screen or a bitmap; the frame step and the end of a run
// (Hooks.UpdateAnimations, Hooks.FreeAllAnimations). While the picture is held (the program
// waits) the videos go on, and only a new frame is drawn over the held picture.
bool RegisterAnimationCommands();
void UpdateAnimations(bool pictureHeld = false);
void FreeAllAnimations();
// The CD source and what the disc holds (commands/cd_commands.cpp).
bool RegisterCdCommands();
bool RegisterFileCommands();
bool RegisterArrayFileCommands();
bool RegisterFolderCommands();
bool RegisterSystemCommands();
bool RegisterFtpCommands();
// The end of every run ends the FTP session (Hooks.CloseFtpOnExit).
void CloseFtpOnExit();
// Tests give the FTP stall limit a clock of their own (null: the real one).
void SetFtpClockForTests(uint32_t (*clock)());
// Every program start: device settings, system keys, Esc and the three switches to defaults,
// and the registry folder forgotten (Hooks.ResetCommandState).
void ResetSystemCommands();
// The three program switches (0..2) of the switch commands: 1 on, 0 off.
int SystemSwitch(int which);
// The end of every run closes the numbered files (Hooks.CloseAllFileHandles).
void CloseAllFileHandles();
// Every family of this folder (main.cpp); false when any registration failed.
bool RegisterCommandFamilies();
// main.cpp fills the runtime's hooks of these families (end of run, shut-down) after the engines'.
void InstallCommandHooks(RuntimeHooks& hooks);
