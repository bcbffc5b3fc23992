// Presenting: copies the back buffer into an SDL streaming texture on the main window, centred
// with black bands when the window is larger; with no window (headless) it only counts frames.
#pragma once
#include <cstdint>

struct Surface;
struct SDL_Window;

// Binds the presenter to the main window (null detaches: headless). Called when the display opens.
void PresentAttachWindow(SDL_Window* window);
// Releases the renderer and texture; called at shut-down and before the window goes away.
void PresentDetach();
// Shows the back buffer; depth 16 shows it through a 565 texture as a 16-bit display would.
// Returns false only when a window exists and SDL refused the frame.
bool PresentSurface(const Surface& backBuffer, int depth);
// Frames shown (or counted headless) since the process started.
uint32_t PresentedFrameCount();
// Where the last frame landed in the window: left and top of the 640x480 frame, for mouse mapping.
void PresentFrameOrigin(int* left, int* top);
