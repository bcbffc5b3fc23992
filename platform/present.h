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
// Where the last frame landed in the window: left and top of the 640x480 frame.
void PresentFrameOrigin(int* left, int* top);
// A point of the window (a mouse position) as a point of the frame shown in it: the frame's
// place in the window (and any scale) taken off, so the frame's top-left pixel is 0, 0; points
// outside the frame read below 0 or past its size. Without a frame shown in a window
// (headless, or none presented yet) the point stays as it is and the answer is false.
bool PresentWindowToFrame(int windowX, int windowY, int* frameX, int* frameY);
