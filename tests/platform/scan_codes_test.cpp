// The key table: every SDL scancode checked against scan codes worked out here from the keys'
// names and the set-1 layout (rows of the main block, keypad, extended keys E0 xx = 128 + xx).
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/input.h"

namespace {

// Expected scan codes by SDL key name.
std::map<std::string, int> ExpectedByName() {
  std::map<std::string, int> expected;
  // Rows of the main block: each key one more than the key to its left.
  auto row = [&](int first, std::initializer_list<const char*> names) {
    for (const char* name : names) expected[name] = first++;
  };
  row(1, {"Escape", "1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "-", "=", "Backspace", "Tab"});
  row(16, {"Q", "W", "E", "R", "T", "Y", "U", "I", "O", "P", "[", "]", "Return", "Left Ctrl"});
  row(30, {"A", "S", "D", "F", "G", "H", "J", "K", "L", ";", "'", "`", "Left Shift", "\\"});
  row(44, {"Z", "X", "C", "V", "B", "N", "M", ",", ".", "/", "Right Shift", "Keypad *", "Left Alt", "Space", "CapsLock"});
  row(59, {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "Numlock", "ScrollLock"});
  row(71, {"Keypad 7", "Keypad 8", "Keypad 9", "Keypad -", "Keypad 4", "Keypad 5", "Keypad 6", "Keypad +"});
  row(79, {"Keypad 1", "Keypad 2", "Keypad 3", "Keypad 0", "Keypad ."});
  row(87, {"F11", "F12"});
  row(100, {"F13", "F14", "F15"});
  expected["#"] = 43;  // the ISO key left of Return is the same key as "\"
  // Extended keys: E0 followed by the code.
  const std::map<std::string, int> extended = {
      {"Keypad =", 0x0D},   {"AudioPrev", 0x10},   {"AudioNext", 0x19},    {"Keypad Enter", 0x1C},
      {"Right Ctrl", 0x1D}, {"Mute", 0x20},        {"AudioMute", 0x20},    {"Calculator", 0x21},
      {"AudioPlay", 0x22},  {"AudioStop", 0x24},   {"VolumeDown", 0x2E},   {"VolumeUp", 0x30},
      {"AC Home", 0x32},    {"Keypad ,", 0x33},    {"Keypad /", 0x35},     {"PrintScreen", 0x37},
      {"SysReq", 0x37},     {"Right Alt", 0x38},   {"Pause", 0x45},        {"Home", 0x47},
      {"Up", 0x48},         {"PageUp", 0x49},      {"Left", 0x4B},         {"Right", 0x4D},
      {"End", 0x4F},        {"Down", 0x50},        {"PageDown", 0x51},     {"Insert", 0x52},
      {"Delete", 0x53},     {"Left GUI", 0x5B},    {"Right GUI", 0x5C},    {"Application", 0x5D},
      {"Power", 0x5E},      {"Sleep", 0x5F},       {"AC Search", 0x65},    {"AC Bookmarks", 0x66},
      {"AC Refresh", 0x67}, {"AC Stop", 0x68},     {"AC Forward", 0x69},   {"AC Back", 0x6A},
      {"Computer", 0x6B},   {"Mail", 0x6C},        {"MediaSelect", 0x6D},
  };
  for (const auto& [name, code] : extended) expected[name] = 0x80 | code;
  return expected;
}

// Keys SDL gives no name: the ISO key beside left Shift and the Japanese keys, by USB usage.
const std::map<int, int> kExpectedByUsage = {
    {100, 0x56},  // the extra key of ISO keyboards
    {135, 0x73},  // ro
    {136, 0x70},  // kana
    {137, 0x7D},  // yen
    {138, 0x79},  // convert
    {139, 0x7B},  // no convert
};

TEST(ScanCodes, EverySdlScancodeHasTheScanCodeOfItsKey) {
  const std::map<std::string, int> byName = ExpectedByName();
  int mapped = 0;
  for (int sdl = 0; sdl < PlatformSdlScancodeCount(); ++sdl) {
    int expected = 0;
    if (auto usage = kExpectedByUsage.find(sdl); usage != kExpectedByUsage.end()) expected = usage->second;
    else if (auto named = byName.find(PlatformSdlScancodeName(sdl)); named != byName.end()) expected = named->second;
    EXPECT_EQ(PlatformScanCodeOfSdlScancode(sdl), expected) << "SDL scancode " << sdl << " \"" << PlatformSdlScancodeName(sdl) << "\"";
    mapped += expected != 0;
  }
  // Every key of the expected table exists in SDL under that name (none was misspelt above).
  EXPECT_EQ(mapped, static_cast<int>(byName.size() + kExpectedByUsage.size()));
  EXPECT_EQ(PlatformScanCodeOfSdlScancode(-1), 0);
  EXPECT_EQ(PlatformScanCodeOfSdlScancode(PlatformSdlScancodeCount()), 0);
}

}  // namespace
