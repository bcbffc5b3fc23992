// Joysticks over SDL2's joystick API: attached devices by index, opened devices read into one
// layout (axes scaled with a dead zone, hats in hundredths of a degree), and virtual test pads.
#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/input.h"
#include "platform/input_local.h"

struct PlatformJoystick {
  SDL_Joystick* sdl;
  std::string name;
};

// Lives while input is started: every joystick opened and not yet closed, and the virtual
// test pads (each with a handle of its own, so their controls can be set).
static std::vector<PlatformJoystick*> gOpen;
static std::vector<SDL_Joystick*> gTestPads;

SDL_Joystick* SdlJoystickOf(PlatformJoystick* joystick) { return joystick != nullptr ? joystick->sdl : nullptr; }

int PlatformJoystickCount() { return JoysticksStarted() ? std::max(0, SDL_NumJoysticks()) : 0; }

std::string PlatformJoystickName(int index) {
  if (index < 0 || index >= PlatformJoystickCount()) return "";
  const char* name = SDL_JoystickNameForIndex(index);
  return name != nullptr ? name : "";
}

PlatformJoystick* PlatformJoystickOpen(int index) {
  if (index < 0 || index >= PlatformJoystickCount()) return nullptr;
  SDL_Joystick* sdl = SDL_JoystickOpen(index);
  if (sdl == nullptr) return nullptr;
  const char* name = SDL_JoystickName(sdl);
  auto* joystick = new PlatformJoystick{sdl, name != nullptr ? name : ""};
  gOpen.push_back(joystick);
  return joystick;
}

void PlatformJoystickClose(PlatformJoystick* joystick) {
  auto found = std::find(gOpen.begin(), gOpen.end(), joystick);
  if (found == gOpen.end()) return;
  gOpen.erase(found);
  SDL_JoystickClose(joystick->sdl);
  delete joystick;
}

void CloseAllJoysticks() {
  while (!gOpen.empty()) PlatformJoystickClose(gOpen.back());
}

const char* PlatformJoystickProductName(const PlatformJoystick* joystick) {
  return joystick != nullptr ? joystick->name.c_str() : "";
}

PlatformJoystickState PlatformJoystickRestState() {
  PlatformJoystickState state{};
  for (uint32_t& pov : state.pov) pov = kPlatformHatCentred;
  return state;
}

// An SDL axis position (-32768..32767) on the scale -1000..1000: positions within the dead
// zone (ten-thousandths of the half range) read 0, the rest is spread over the whole scale.
static int32_t ScaleAxis(int16_t value, int deadZone) {
  const int32_t magnitude = value >= 0 ? (value * 1000 + 16383) / 32767 : (-value * 1000 + 16384) / 32768;
  const int32_t dead = std::clamp(deadZone, 0, 10000) / 10;
  if (magnitude <= dead || dead >= 1000) return 0;
  const int32_t scaled = (magnitude - dead) * 1000 / (1000 - dead);
  return value >= 0 ? scaled : -scaled;
}

// SDL's hat bits as an angle in hundredths of a degree, clockwise from up.
static uint32_t HatAngle(uint8_t bits) {
  switch (bits) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return kPlatformHatCentred;
  }
}

bool PlatformJoystickRead(PlatformJoystick* joystick, int deadZone, PlatformJoystickState* state) {
  if (joystick == nullptr) return false;
  SDL_JoystickUpdate();
  SDL_Joystick* sdl = joystick->sdl;
  if (!SDL_JoystickGetAttached(sdl)) return false;
  *state = PlatformJoystickRestState();
  int32_t* axes[6] = {&state->x, &state->y, &state->z, &state->rx, &state->ry, &state->rz};
  const int axisCount = std::min(SDL_JoystickNumAxes(sdl), 8);
  for (int i = 0; i < axisCount; ++i) {
    const int16_t value = SDL_JoystickGetAxis(sdl, i);
    if (i < 6) *axes[i] = ScaleAxis(value, deadZone);
    else state->sliders[i - 6] = value + 32768;
  }
  const int hatCount = std::min(SDL_JoystickNumHats(sdl), 4);
  for (int i = 0; i < hatCount; ++i) state->pov[i] = HatAngle(SDL_JoystickGetHat(sdl, i));
  const int buttonCount = std::min(SDL_JoystickNumButtons(sdl), 32);
  for (int i = 0; i < buttonCount; ++i) state->buttons[i] = SDL_JoystickGetButton(sdl, i) ? 0x80 : 0;
  return true;
}

int PlatformAttachTestJoystick(const char* name, int axes, int hats, int buttons) {
  if (!PlatformJoysticksStart()) return -1;
  SDL_VirtualJoystickDesc desc;
  SDL_zero(desc);
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_UNKNOWN;
  desc.naxes = static_cast<Uint16>(std::clamp(axes, 0, 8));
  desc.nhats = static_cast<Uint16>(std::clamp(hats, 0, 4));
  desc.nbuttons = static_cast<Uint16>(std::clamp(buttons, 0, 32));
  desc.name = name;
  const int index = SDL_JoystickAttachVirtualEx(&desc);
  if (index < 0) return -1;
  SDL_Joystick* pad = SDL_JoystickOpen(index);
  if (pad == nullptr) {
    SDL_JoystickDetachVirtual(index);
    return -1;
  }
  gTestPads.push_back(pad);
  return static_cast<int>(gTestPads.size()) - 1;
}

static SDL_Joystick* TestPad(int joystick) {
  return joystick >= 0 && joystick < static_cast<int>(gTestPads.size()) ? gTestPads[static_cast<size_t>(joystick)] : nullptr;
}

void PlatformSetTestJoystickAxis(int joystick, int axis, int16_t value) {
  if (SDL_Joystick* pad = TestPad(joystick)) SDL_JoystickSetVirtualAxis(pad, axis, value);
}

void PlatformSetTestJoystickHat(int joystick, int hat, uint8_t directions) {
  if (SDL_Joystick* pad = TestPad(joystick)) SDL_JoystickSetVirtualHat(pad, hat, directions);
}

void PlatformSetTestJoystickButton(int joystick, int button, bool held) {
  if (SDL_Joystick* pad = TestPad(joystick)) SDL_JoystickSetVirtualButton(pad, button, held ? 1 : 0);
}

void PlatformDetachTestJoysticks() {
  for (SDL_Joystick* pad : gTestPads) {
    const SDL_JoystickID id = SDL_JoystickInstanceID(pad);
    SDL_JoystickClose(pad);
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
      if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
  }
  gTestPads.clear();
}
