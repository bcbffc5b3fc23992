// Declarations shared only between platform files: the SDL window of the main window, so
// the presenting and device code can draw into it.
#pragma once
#include <SDL.h>

// The main window, or null before PlatformCreateMainWindow and after its destruction. A
// headless run's window is made here, when something first needs it.
SDL_Window* PlatformMainSdlWindow();
// True while a headless run's window waits to be made (SDL is not started for it yet).
bool PlatformMainWindowDeferred();
// The input's side of making a deferred window: starts the events it put off (keyboard_mouse.cpp).
void PlatformInputStartWithWindow();
