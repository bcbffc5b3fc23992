// Declarations shared only between platform files: the SDL window of the main window, so
// the presenting and device code can draw into it.
#pragma once
#include <SDL.h>

// The main window, or null before PlatformCreateMainWindow and after its destruction.
SDL_Window* PlatformMainSdlWindow();
