// SDL2, loaded when a run first opens a window, a sound device, a joystick or the clipboard:
// linked in, it and the fifty libraries under it (X11, Wayland, PulseAudio, ALSA, D-Bus,
// libsndfile and its codecs) were mapped and relocated at every start, and a built game could
// not start on a machine without them.
// A new SDL_ call elsewhere needs its line here: without it the link fails naming it.
#include <SDL2/SDL.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "platform/lazy_library.h"

// The entry points are defined here with the library's signatures and forwarded to it.
// Without the library each answers as SDL does when a subsystem cannot start (-1, no window,
// no device, no event), so the callers take their no-display and no-sound paths.
static void* Library() {
  static void* const handle = OpenLazyLibrary("libSDL2-2.0.so.0");
  return handle;
}

void SDL_AddEventWatch(SDL_EventFilter filter, void* userdata) {
  QV_FORWARD(SDL_AddEventWatch, void(), filter, userdata);
}
void SDL_CloseAudioDevice(SDL_AudioDeviceID dev) { QV_FORWARD(SDL_CloseAudioDevice, void(), dev); }
SDL_Renderer* SDL_CreateRenderer(SDL_Window* window, int index, Uint32 flags) {
  QV_FORWARD(SDL_CreateRenderer, nullptr, window, index, flags);
}
SDL_Cursor* SDL_CreateSystemCursor(SDL_SystemCursor id) { QV_FORWARD(SDL_CreateSystemCursor, nullptr, id); }
SDL_Surface* SDL_CreateRGBSurfaceWithFormatFrom(void* pixels, int width, int height, int depth, int pitch,
                                               Uint32 format) {
  QV_FORWARD(SDL_CreateRGBSurfaceWithFormatFrom, nullptr, pixels, width, height, depth, pitch, format);
}
SDL_Texture* SDL_CreateTexture(SDL_Renderer* renderer, Uint32 format, int access, int w, int h) {
  QV_FORWARD(SDL_CreateTexture, nullptr, renderer, format, access, w, h);
}
SDL_Window* SDL_CreateWindow(const char* title, int x, int y, int w, int h, Uint32 flags) {
  QV_FORWARD(SDL_CreateWindow, nullptr, title, x, y, w, h, flags);
}
void SDL_DelEventWatch(SDL_EventFilter filter, void* userdata) {
  QV_FORWARD(SDL_DelEventWatch, void(), filter, userdata);
}
void SDL_Delay(Uint32 ms) { QV_FORWARD(SDL_Delay, void(), ms); }
void SDL_DestroyRenderer(SDL_Renderer* renderer) { QV_FORWARD(SDL_DestroyRenderer, void(), renderer); }
void SDL_DestroyTexture(SDL_Texture* texture) { QV_FORWARD(SDL_DestroyTexture, void(), texture); }
void SDL_DestroyWindow(SDL_Window* window) { QV_FORWARD(SDL_DestroyWindow, void(), window); }
void SDL_FlushEvents(Uint32 minType, Uint32 maxType) { QV_FORWARD(SDL_FlushEvents, void(), minType, maxType); }
void SDL_FreeSurface(SDL_Surface* surface) { QV_FORWARD(SDL_FreeSurface, void(), surface); }
SDL_Cursor* SDL_GetDefaultCursor(void) { QV_FORWARD(SDL_GetDefaultCursor, nullptr); }
SDL_GLContext SDL_GL_CreateContext(SDL_Window* window) { QV_FORWARD(SDL_GL_CreateContext, SDL_GLContext(), window); }
void SDL_GL_DeleteContext(SDL_GLContext context) { QV_FORWARD(SDL_GL_DeleteContext, void(), context); }
SDL_GLContext SDL_GL_GetCurrentContext() { QV_FORWARD(SDL_GL_GetCurrentContext, SDL_GLContext()); }
void* SDL_GL_GetProcAddress(const char* proc) { QV_FORWARD(SDL_GL_GetProcAddress, nullptr, proc); }
int SDL_GL_LoadLibrary(const char* path) { QV_FORWARD(SDL_GL_LoadLibrary, -1, path); }
int SDL_GL_MakeCurrent(SDL_Window* window, SDL_GLContext context) {
  QV_FORWARD(SDL_GL_MakeCurrent, -1, window, context);
}
void SDL_GL_ResetAttributes() { QV_FORWARD(SDL_GL_ResetAttributes, void()); }
int SDL_GL_SetAttribute(SDL_GLattr attr, int value) { QV_FORWARD(SDL_GL_SetAttribute, -1, attr, value); }
const char* SDL_GetAudioDeviceName(int index, int iscapture) {
  QV_FORWARD(SDL_GetAudioDeviceName, nullptr, index, iscapture);
}
char* SDL_GetClipboardText() { QV_FORWARD(SDL_GetClipboardText, nullptr); }
const char* SDL_GetCurrentVideoDriver() { QV_FORWARD(SDL_GetCurrentVideoDriver, nullptr); }
int SDL_GetDesktopDisplayMode(int displayIndex, SDL_DisplayMode* mode) {
  QV_FORWARD(SDL_GetDesktopDisplayMode, -1, displayIndex, mode);
}
int SDL_GetDisplayBounds(int displayIndex, SDL_Rect* rect) {
  QV_FORWARD(SDL_GetDisplayBounds, -1, displayIndex, rect);
}
int SDL_GetDisplayMode(int displayIndex, int modeIndex, SDL_DisplayMode* mode) {
  QV_FORWARD(SDL_GetDisplayMode, -1, displayIndex, modeIndex, mode);
}
const char* SDL_GetError() { QV_FORWARD(SDL_GetError, "the display and sound library (SDL2) could not be loaded"); }
SDL_Keycode SDL_GetKeyFromScancode(SDL_Scancode scancode) {
  QV_FORWARD(SDL_GetKeyFromScancode, SDL_Keycode(), scancode);
}
const Uint8* SDL_GetKeyboardState(int* numkeys) { QV_FORWARD(SDL_GetKeyboardState, nullptr, numkeys); }
int SDL_GetNumAudioDevices(int iscapture) { QV_FORWARD(SDL_GetNumAudioDevices, 0, iscapture); }
int SDL_GetNumDisplayModes(int displayIndex) { QV_FORWARD(SDL_GetNumDisplayModes, -1, displayIndex); }
int SDL_GetNumVideoDrivers() { QV_FORWARD(SDL_GetNumVideoDrivers, 0); }
int SDL_GetRendererOutputSize(SDL_Renderer* renderer, int* w, int* h) {
  QV_FORWARD(SDL_GetRendererOutputSize, -1, renderer, w, h);
}
SDL_Scancode SDL_GetScancodeFromName(const char* name) { QV_FORWARD(SDL_GetScancodeFromName, SDL_Scancode(), name); }
const char* SDL_GetScancodeName(SDL_Scancode scancode) { QV_FORWARD(SDL_GetScancodeName, "", scancode); }
Uint32 SDL_GetTicks() { QV_FORWARD(SDL_GetTicks, Uint32()); }
const char* SDL_GetVideoDriver(int index) { QV_FORWARD(SDL_GetVideoDriver, nullptr, index); }
int SDL_GetWindowDisplayIndex(SDL_Window* window) { QV_FORWARD(SDL_GetWindowDisplayIndex, -1, window); }
Uint32 SDL_GetWindowID(SDL_Window* window) { QV_FORWARD(SDL_GetWindowID, Uint32(), window); }
Uint32 SDL_GetWindowFlags(SDL_Window* window) { QV_FORWARD(SDL_GetWindowFlags, Uint32(), window); }
void SDL_GetWindowPosition(SDL_Window* window, int* x, int* y) {
  QV_FORWARD(SDL_GetWindowPosition, void(), window, x, y);
}
SDL_Surface* SDL_GetWindowSurface(SDL_Window* window) { QV_FORWARD(SDL_GetWindowSurface, nullptr, window); }
void SDL_GetWindowSize(SDL_Window* window, int* w, int* h) { QV_FORWARD(SDL_GetWindowSize, void(), window, w, h); }
const char* SDL_GetWindowTitle(SDL_Window* window) { QV_FORWARD(SDL_GetWindowTitle, "", window); }
void SDL_HapticClose(SDL_Haptic* haptic) { QV_FORWARD(SDL_HapticClose, void(), haptic); }
void SDL_HapticDestroyEffect(SDL_Haptic* haptic, int effect) {
  QV_FORWARD(SDL_HapticDestroyEffect, void(), haptic, effect);
}
const char* SDL_HapticName(int device_index) { QV_FORWARD(SDL_HapticName, nullptr, device_index); }
int SDL_HapticNewEffect(SDL_Haptic* haptic, SDL_HapticEffect* effect) {
  QV_FORWARD(SDL_HapticNewEffect, -1, haptic, effect);
}
SDL_Haptic* SDL_HapticOpenFromJoystick(SDL_Joystick* joystick) {
  QV_FORWARD(SDL_HapticOpenFromJoystick, nullptr, joystick);
}
unsigned int SDL_HapticQuery(SDL_Haptic* haptic) { QV_FORWARD(SDL_HapticQuery, 0u, haptic); }
int SDL_HapticRunEffect(SDL_Haptic* haptic, int effect, Uint32 iterations) {
  QV_FORWARD(SDL_HapticRunEffect, -1, haptic, effect, iterations);
}
int SDL_HapticSetAutocenter(SDL_Haptic* haptic, int autocenter) {
  QV_FORWARD(SDL_HapticSetAutocenter, -1, haptic, autocenter);
}
int SDL_HapticStopEffect(SDL_Haptic* haptic, int effect) { QV_FORWARD(SDL_HapticStopEffect, -1, haptic, effect); }
int SDL_HapticUpdateEffect(SDL_Haptic* haptic, int effect, SDL_HapticEffect* data) {
  QV_FORWARD(SDL_HapticUpdateEffect, -1, haptic, effect, data);
}
void SDL_HideWindow(SDL_Window* window) { QV_FORWARD(SDL_HideWindow, void(), window); }
// Termination signals are ours (platform/signals.cpp): SDL would make them a plain quit, so
// every start of a subsystem (the video, the events, the sound) says so first.
int SDL_Init(Uint32 flags) {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  QV_FORWARD(SDL_Init, -1, flags);
}
int SDL_InitSubSystem(Uint32 flags) {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  QV_FORWARD(SDL_InitSubSystem, -1, flags);
}
int SDL_JoystickAttachVirtualEx(const SDL_VirtualJoystickDesc* desc) {
  QV_FORWARD(SDL_JoystickAttachVirtualEx, -1, desc);
}
void SDL_JoystickClose(SDL_Joystick* joystick) { QV_FORWARD(SDL_JoystickClose, void(), joystick); }
int SDL_JoystickDetachVirtual(int device_index) { QV_FORWARD(SDL_JoystickDetachVirtual, -1, device_index); }
SDL_bool SDL_JoystickGetAttached(SDL_Joystick* joystick) { QV_FORWARD(SDL_JoystickGetAttached, SDL_FALSE, joystick); }
Sint16 SDL_JoystickGetAxis(SDL_Joystick* joystick, int axis) {
  QV_FORWARD(SDL_JoystickGetAxis, Sint16(), joystick, axis);
}
Uint8 SDL_JoystickGetButton(SDL_Joystick* joystick, int button) {
  QV_FORWARD(SDL_JoystickGetButton, Uint8(), joystick, button);
}
SDL_JoystickID SDL_JoystickGetDeviceInstanceID(int device_index) {
  QV_FORWARD(SDL_JoystickGetDeviceInstanceID, -1, device_index);
}
Uint8 SDL_JoystickGetHat(SDL_Joystick* joystick, int hat) { QV_FORWARD(SDL_JoystickGetHat, Uint8(), joystick, hat); }
SDL_JoystickID SDL_JoystickInstanceID(SDL_Joystick* joystick) { QV_FORWARD(SDL_JoystickInstanceID, -1, joystick); }
int SDL_JoystickIsHaptic(SDL_Joystick* joystick) { QV_FORWARD(SDL_JoystickIsHaptic, -1, joystick); }
const char* SDL_JoystickName(SDL_Joystick* joystick) { QV_FORWARD(SDL_JoystickName, nullptr, joystick); }
const char* SDL_JoystickNameForIndex(int device_index) {
  QV_FORWARD(SDL_JoystickNameForIndex, nullptr, device_index);
}
int SDL_JoystickNumAxes(SDL_Joystick* joystick) { QV_FORWARD(SDL_JoystickNumAxes, -1, joystick); }
int SDL_JoystickNumButtons(SDL_Joystick* joystick) { QV_FORWARD(SDL_JoystickNumButtons, -1, joystick); }
int SDL_JoystickNumHats(SDL_Joystick* joystick) { QV_FORWARD(SDL_JoystickNumHats, -1, joystick); }
SDL_Joystick* SDL_JoystickOpen(int device_index) { QV_FORWARD(SDL_JoystickOpen, nullptr, device_index); }
int SDL_JoystickSetVirtualAxis(SDL_Joystick* joystick, int axis, Sint16 value) {
  QV_FORWARD(SDL_JoystickSetVirtualAxis, -1, joystick, axis, value);
}
int SDL_JoystickSetVirtualButton(SDL_Joystick* joystick, int button, Uint8 value) {
  QV_FORWARD(SDL_JoystickSetVirtualButton, -1, joystick, button, value);
}
int SDL_JoystickSetVirtualHat(SDL_Joystick* joystick, int hat, Uint8 value) {
  QV_FORWARD(SDL_JoystickSetVirtualHat, -1, joystick, hat, value);
}
void SDL_JoystickUpdate() { QV_FORWARD(SDL_JoystickUpdate, void()); }
void SDL_LockAudioDevice(SDL_AudioDeviceID dev) { QV_FORWARD(SDL_LockAudioDevice, void(), dev); }
void SDL_MaximizeWindow(SDL_Window* window) { QV_FORWARD(SDL_MaximizeWindow, void(), window); }
void SDL_MinimizeWindow(SDL_Window* window) { QV_FORWARD(SDL_MinimizeWindow, void(), window); }
int SDL_NumHaptics() { QV_FORWARD(SDL_NumHaptics, 0); }
int SDL_NumJoysticks() { QV_FORWARD(SDL_NumJoysticks, 0); }
SDL_AudioDeviceID SDL_OpenAudioDevice(const char* device, int iscapture, const SDL_AudioSpec* desired,
                                      SDL_AudioSpec* obtained, int allowed_changes) {
  QV_FORWARD(SDL_OpenAudioDevice, SDL_AudioDeviceID(), device, iscapture, desired, obtained, allowed_changes);
}
void SDL_PauseAudioDevice(SDL_AudioDeviceID dev, int pause_on) {
  QV_FORWARD(SDL_PauseAudioDevice, void(), dev, pause_on);
}
int SDL_PollEvent(SDL_Event* event) { QV_FORWARD(SDL_PollEvent, 0, event); }
void SDL_PumpEvents() { QV_FORWARD(SDL_PumpEvents, void()); }
int SDL_PushEvent(SDL_Event* event) { QV_FORWARD(SDL_PushEvent, -1, event); }
void SDL_QuitSubSystem(Uint32 flags) { QV_FORWARD(SDL_QuitSubSystem, void(), flags); }
int SDL_RenderClear(SDL_Renderer* renderer) { QV_FORWARD(SDL_RenderClear, -1, renderer); }
int SDL_RenderCopy(SDL_Renderer* renderer, SDL_Texture* texture, const SDL_Rect* srcrect, const SDL_Rect* dstrect) {
  QV_FORWARD(SDL_RenderCopy, -1, renderer, texture, srcrect, dstrect);
}
void SDL_RenderPresent(SDL_Renderer* renderer) { QV_FORWARD(SDL_RenderPresent, void(), renderer); }
SDL_bool SDL_ResetHint(const char* name) { QV_FORWARD(SDL_ResetHint, SDL_FALSE, name); }
void SDL_RaiseWindow(SDL_Window* window) { QV_FORWARD(SDL_RaiseWindow, void(), window); }
void SDL_RestoreWindow(SDL_Window* window) { QV_FORWARD(SDL_RestoreWindow, void(), window); }
int SDL_SetClipboardText(const char* text) { QV_FORWARD(SDL_SetClipboardText, -1, text); }
void SDL_SetCursor(SDL_Cursor* cursor) { QV_FORWARD(SDL_SetCursor, void(), cursor); }
SDL_bool SDL_SetHint(const char* name, const char* value) { QV_FORWARD(SDL_SetHint, SDL_FALSE, name, value); }
int SDL_SetRenderDrawColor(SDL_Renderer* renderer, Uint8 r, Uint8 g, Uint8 b, Uint8 a) {
  QV_FORWARD(SDL_SetRenderDrawColor, -1, renderer, r, g, b, a);
}
void SDL_SetWindowResizable(SDL_Window* window, SDL_bool resizable) {
  QV_FORWARD(SDL_SetWindowResizable, void(), window, resizable);
}
void SDL_SetWindowBordered(SDL_Window* window, SDL_bool bordered) {
  QV_FORWARD(SDL_SetWindowBordered, void(), window, bordered);
}
int SDL_SetWindowDisplayMode(SDL_Window* window, const SDL_DisplayMode* mode) {
  QV_FORWARD(SDL_SetWindowDisplayMode, -1, window, mode);
}
int SDL_SetWindowFullscreen(SDL_Window* window, Uint32 flags) {
  QV_FORWARD(SDL_SetWindowFullscreen, -1, window, flags);
}
int SDL_SetWindowInputFocus(SDL_Window* window) { QV_FORWARD(SDL_SetWindowInputFocus, -1, window); }
int SDL_SetWindowModalFor(SDL_Window* modal, SDL_Window* parent) { QV_FORWARD(SDL_SetWindowModalFor, -1, modal, parent); }
void SDL_SetWindowPosition(SDL_Window* window, int x, int y) {
  QV_FORWARD(SDL_SetWindowPosition, void(), window, x, y);
}
void SDL_SetWindowSize(SDL_Window* window, int w, int h) { QV_FORWARD(SDL_SetWindowSize, void(), window, w, h); }
void SDL_SetWindowTitle(SDL_Window* window, const char* title) {
  QV_FORWARD(SDL_SetWindowTitle, void(), window, title);
}
int SDL_ShowCursor(int toggle) { QV_FORWARD(SDL_ShowCursor, -1, toggle); }
void SDL_ShowWindow(SDL_Window* window) { QV_FORWARD(SDL_ShowWindow, void(), window); }
void SDL_StartTextInput() { QV_FORWARD(SDL_StartTextInput, void()); }
void SDL_StopTextInput() { QV_FORWARD(SDL_StopTextInput, void()); }
void SDL_UnlockAudioDevice(SDL_AudioDeviceID dev) { QV_FORWARD(SDL_UnlockAudioDevice, void(), dev); }
int SDL_UpdateTexture(SDL_Texture* texture, const SDL_Rect* rect, const void* pixels, int pitch) {
  QV_FORWARD(SDL_UpdateTexture, -1, texture, rect, pixels, pitch);
}
int SDL_UpdateWindowSurface(SDL_Window* window) { QV_FORWARD(SDL_UpdateWindowSurface, -1, window); }
int SDL_UpperBlit(SDL_Surface* source, const SDL_Rect* sourceRect, SDL_Surface* target, SDL_Rect* targetRect) {
  QV_FORWARD(SDL_UpperBlit, -1, source, sourceRect, target, targetRect);
}
int SDL_WaitEventTimeout(SDL_Event* event, int timeout) { QV_FORWARD(SDL_WaitEventTimeout, 0, event, timeout); }
int SDL_WarpMouseGlobal(int x, int y) { QV_FORWARD(SDL_WarpMouseGlobal, -1, x, y); }
Uint32 SDL_WasInit(Uint32 flags) { QV_FORWARD(SDL_WasInit, Uint32(), flags); }
void SDL_free(void* mem) { QV_FORWARD(SDL_free, void(), mem); }
char* SDL_getenv(const char* name) { QV_FORWARD(SDL_getenv, std::getenv(name), name); }
int SDL_setenv(const char* name, const char* value, int overwrite) {
  QV_FORWARD(SDL_setenv, setenv(name, value, overwrite), name, value, overwrite);
}
int SDL_strcasecmp(const char* str1, const char* str2) {
  QV_FORWARD(SDL_strcasecmp, strcasecmp(str1, str2), str1, str2);
}

#undef QV_FORWARD

// SDL_zero's clearing: the C library's own, with no need of the library.
void* SDL_memset(void* dst, int c, size_t len) { return std::memset(dst, c, len); }

