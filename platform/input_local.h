// Declarations shared only between the platform's input files: the SDL joystick behind an
// opened joystick, and the shut-down steps of joysticks and force feedback.
#pragma once
#include <SDL.h>

struct PlatformJoystick;

SDL_Joystick* SdlJoystickOf(PlatformJoystick* joystick);
bool JoysticksStarted();
// The input shut-down: closes the joysticks still open, then the force-feedback subsystem.
void CloseAllJoysticks();
void StopHaptics();
