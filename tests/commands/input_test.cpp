// Input commands driven by events pushed into SDL's queue and by SDL's virtual joysticks:
// keys by scan code with one state per dispatcher cycle, no stuck keys, the mouse in full
// screen and in a window, joystick scaling, the control device and, against the fake
// force-feedback back-end, every force command's parameters and error order.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/input_local.h"
#include "graphics2d/graphics2d.h"
#include "platform/clipboard.h"
#include "platform/haptic_fake.h"
#include "platform/input.h"
#include "platform/present.h"
#include "platform/window.h"
#include "runtime/command_numbers.h"
#include "tests/asm/command_call.h"

namespace {

using qvasm::kIntResult;
using qvasm::kTextResult;

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearCommandRegistry();
    ASSERT_TRUE(RegisterInputCommands());
    ASSERT_TRUE(RegisterForceCommands());
    ASSERT_TRUE(RegisterChecklistCommands());
    FakeHapticsReset();
    PlatformUseHapticBackend(&kFakeHaptics);
    SetDisplayActive(true);
    Mouse() = kMouseAtStart;
    savedHooks_ = Hooks;
    InstallCommandHooks(Hooks);
    ASSERT_TRUE(PlatformInputStart());  // first, so virtual joysticks can be attached before the devices start
  }
  void TearDown() override {
    CloseDirectInput();
    PlatformInputStop();
    PlatformUseHapticBackend(nullptr);
    Hooks = savedHooks_;
    ClearCommandRegistry();
    SetDisplayActive(false);
    Dispatcher.inputRepoll = 0;
  }
  void StartDevices() {
    ASSERT_TRUE(InitDirectInput());
    NextCycle();
  }
  // The dispatcher's next cycle: the first query after it polls.
  static void NextCycle() { Dispatcher.inputRepoll = 1; }
  int32_t Query(int command) { return calls.IntResult(command, {kIntResult}); }
  int32_t Query(int command, int32_t operand) { return calls.IntResult(command, {kIntResult, operand}); }
  qvasm::CommandCaller calls;
  RuntimeHooks savedHooks_;
};

// The key commands and the key that each one reads.
struct KeyCase {
  int command;
  const char* key;
};
const KeyCase kKeyCases[] = {
    {kKeyUp, "Up"},          {kKeyDown, "Down"},          {kKeyLeft, "Left"},        {kKeyRight, "Right"},
    {kKeyControl, "Left Ctrl"}, {kKeyControl, "Right Ctrl"}, {kKeyShift, "Left Shift"}, {kKeyShift, "Right Shift"},
    {kKeyReturn, "Return"},  {kKeySpace, "Space"},        {kKeyEscape, "Escape"},
};

TEST_F(InputTest, EachKeyCommandReadsItsKeysOnly) {
  StartDevices();
  for (const KeyCase& held : kKeyCases) {
    PlatformInjectKey(held.key, true);
    NextCycle();
    for (const KeyCase& asked : kKeyCases)
      EXPECT_EQ(Query(asked.command), asked.command == held.command ? 1 : 0) << held.key << " held, command " << asked.command;
    PlatformInjectKey(held.key, false);
    NextCycle();
    EXPECT_EQ(Query(held.command), 0) << held.key << " released";
  }
  EXPECT_EQ(calls.TakeError(), 0);
}

TEST_F(InputTest, OneKeyboardStatePerDispatcherCycleAndNoReadOutsideTheTable) {
  StartDevices();
  PlatformInjectKey("A", true);
  EXPECT_EQ(Query(kKeyState, 30), 1);  // the raised flag polls
  EXPECT_EQ(Dispatcher.inputRepoll, 0);
  PlatformInjectKey("A", false);
  PlatformInjectKey("Up", true);
  EXPECT_EQ(Query(kKeyState, 30), 1);  // the same cycle sees the same state
  EXPECT_EQ(Query(kKeyUp), 0);
  NextCycle();
  EXPECT_EQ(Query(kKeyUp), 1);
  EXPECT_EQ(Query(kKeyState, 30), 0);
  EXPECT_EQ(Query(kKeyState, 200), 1);
  for (int outside : {-1, 256, 100000, -2147483647 - 1}) EXPECT_EQ(Query(kKeyState, outside), 0) << outside;
}

// The scan code of the key held: of several, the one pressed last; when that one is let go,
// the lowest held; none held reads 0.
TEST_F(InputTest, ScanCodeTellsTheKeyPressedLastOfThoseHeld) {
  StartDevices();
  EXPECT_EQ(Query(kScanCode), 0);
  const struct {
    const char* key;
    bool down;
    int expected;
  } steps[] = {{"S", true, 31}, {"A", true, 30}, {"Up", true, 200}, {"Up", false, 30}, {"A", false, 31},
               {"Up", true, 200}, {"S", false, 200}, {"Up", false, 0}};
  for (const auto& step : steps) {
    PlatformInjectKey(step.key, step.down);
    NextCycle();
    EXPECT_EQ(Query(kScanCode), step.expected) << step.key << (step.down ? " pressed" : " let go");
  }
}

TEST_F(InputTest, KeysHeldWhenTheFocusGoesReadReleased) {
  StartDevices();
  PlatformInjectKey("Space", true);
  PlatformInjectMouseButton(0, true);
  EXPECT_EQ(Query(kKeySpace), 1);
  EXPECT_EQ(Mouse().buttons, 1);
  // Their key-up events go to the window that has the focus now.
  PlatformInjectFocusLost();
  NextCycle();
  EXPECT_EQ(Query(kKeySpace), 0);
  EXPECT_EQ(Mouse().buttons, 0);
  // The runtime lets the devices go when the window is deactivated.
  PlatformInjectKey("Space", true);
  NextCycle();
  EXPECT_EQ(Query(kKeySpace), 1);
  UnacquireInputDevices();
  EXPECT_EQ(Query(kKeySpace), 0);
  NextCycle();
  EXPECT_EQ(Query(kKeySpace), 0);
}

TEST_F(InputTest, FullScreenMouseAddsUpMotionOnTheScreenWheelAndSums) {
  StartDevices();
  ASSERT_FALSE(DisplayWindowMode());
  PlatformInjectMouseMotion(5, 5, 30, -20);
  NextCycle();
  EXPECT_EQ(Query(kMouseWheel), 50);
  EXPECT_EQ(Mouse().x, 350);
  EXPECT_EQ(Mouse().y, 220);
  PlatformInjectMouseMotion(5, 5, -5000, 5000);
  PlatformInjectMouseWheel(10);
  NextCycle();
  EXPECT_EQ(Query(kMouseWheel), 60);
  EXPECT_EQ(Mouse().x, 0);
  EXPECT_EQ(Mouse().y, ScreenHeight() - 1);
  PlatformInjectMouseMotion(5, 5, 10000, -10000);
  PlatformInjectMouseWheel(100);
  NextCycle();
  EXPECT_EQ(Query(kMouseWheel), 99);
  EXPECT_EQ(Mouse().x, ScreenWidth() - 1);
  EXPECT_EQ(Mouse().y, 0);
  PlatformInjectMouseWheel(-500);
  NextCycle();
  EXPECT_EQ(Query(kMouseWheel), 0);
  // The sums hold all the motion, also beyond the screen's edges, until read.
  EXPECT_EQ(Query(kMouseMoveX), 30 - 5000 + 10000);
  EXPECT_EQ(Query(kMouseMoveY), -20 + 5000 - 10000);
  EXPECT_EQ(Query(kMouseMoveZ), (10 + 100 - 500) * kWheelStep);
  for (int command : {kMouseMoveX, kMouseMoveY, kMouseMoveZ}) EXPECT_EQ(Query(command), 0);
  // Buttons: bit 0 left, 1 right, 2 middle, 3 fourth.
  PlatformInjectMouseButton(0, true);
  PlatformInjectMouseButton(1, true);
  NextCycle();
  Query(kMouseWheel);
  EXPECT_EQ(Mouse().buttons, 3);
  PlatformInjectMouseButton(0, false);
  PlatformInjectMouseButton(3, true);
  NextCycle();
  Query(kMouseWheel);
  EXPECT_EQ(Mouse().buttons, 2 | 8);
}

TEST_F(InputTest, WindowMouseFollowsThePointerOverTheFrame) {
  RegisterGraphics2DPools();
  ASSERT_TRUE(CreateRecordPools());
  ASSERT_TRUE(InitDisplay(false, true, false));
  StartDevices();
  int left = 0, top = 0;
  PresentFrameOrigin(&left, &top);
  PlatformInjectMouseMotion(100, 50, 7, 3);
  PlatformInjectMouseMotion(120, 60, 20, 10);
  NextCycle();
  EXPECT_EQ(Query(kMouseMoveX), 27);
  EXPECT_EQ(Mouse().x, 120 - left);
  EXPECT_EQ(Mouse().y, 60 - top);
  // Without motion the place stays; the wheel moves in a window too.
  PlatformInjectMouseWheel(-3);
  NextCycle();
  EXPECT_EQ(Query(kMouseWheel), 47);
  EXPECT_EQ(Mouse().x, 120 - left);
  ReleaseDisplay(false);
  FreeRecordPools();
}

TEST_F(InputTest, PollWaitsWhileTheDisplayIsInactive) {
  StartDevices();
  SetDisplayActive(false);
  PlatformInjectKey("Up", true);
  NextCycle();
  EXPECT_EQ(Query(kKeyUp), 0);
  SetDisplayActive(true);
  NextCycle();
  EXPECT_EQ(Query(kKeyUp), 1);
}

// A run's end leaves nothing for the next: its keys still queued and the lost focus of a window
// gone are dropped, also while the clipboard keeps SDL's event queue alive (the next run read
// an Escape and quit, or took the old focus loss as its own and paused for good).
TEST_F(InputTest, NothingQueuedReachesTheNextRunsWindow) {
  std::string text;
  PlatformGetClipboardText(&text);
  StartDevices();
  PlatformInjectKey("Escape", true);
  PlatformInjectFocusLost();
  CloseDirectInput();
  PlatformInputStop();
  ASSERT_TRUE(PlatformCreateMainWindow("the next run", 640, 480));
  ASSERT_TRUE(PlatformInputStart());
  PlatformInjectKey("Space", true);  // makes the window
  std::vector<PlatformMessageKind> kinds;
  PlatformMessage message;
  while (PlatformPeekMessage(&message)) kinds.push_back(message.kind);
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), PlatformMessageKind::kKeyDown), 1);  // the Space
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), PlatformMessageKind::kDeactivate), 0);
  PlatformDestroyMainWindow();
}

// A virtual joystick with all the controls the state holds.
class JoystickTest : public InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    pad_ = PlatformAttachTestJoystick("Test Pad", 8, 2, 32);
    if (pad_ < 0) GTEST_SKIP() << "SDL makes no virtual joystick here";
  }
  int pad_ = -1;
};

TEST_F(JoystickTest, AxesAreScaledWithADeadZone) {
  StartDevices();
  const struct {
    int16_t raw;
    int32_t scaled;
  } cases[] = {{0, 0},       {32767, 1000}, {-32768, -1000}, {3276, 0},   {-3276, 0},
               {3300, 1},    {16384, 444},  {-16384, -444},  {29491, 888}};
  for (const auto& c : cases) {
    PlatformSetTestJoystickAxis(pad_, 0, c.raw);
    NextCycle();
    EXPECT_EQ(Query(kJoystickX), c.scaled) << c.raw;
    EXPECT_EQ(Query(kJoystickLeft), c.scaled < 0 ? 1 : 0) << c.raw;
    EXPECT_EQ(Query(kJoystickRight), c.scaled > 0 ? 1 : 0) << c.raw;
  }
  // The axes in order: x, y, z, the three rotations, then the two sliders (0..65535).
  const int16_t raw[8] = {-32768, 32767, 16384, -16384, 32767, -32768, -32768, 32767};
  for (int axis = 0; axis < 8; ++axis) PlatformSetTestJoystickAxis(pad_, axis, raw[axis]);
  NextCycle();
  EXPECT_EQ(Query(kJoystickX), -1000);
  EXPECT_EQ(Query(kJoystickY), 1000);
  EXPECT_EQ(Query(kJoystickUp), 0);
  EXPECT_EQ(Query(kJoystickDown), 1);
  EXPECT_EQ(Query(kJoystickZ), 444);
  EXPECT_EQ(Query(kJoystickTwistX), -444);
  EXPECT_EQ(Query(kJoystickTwistY), 1000);
  EXPECT_EQ(Query(kJoystickTwistZ), -1000);
  EXPECT_EQ(Query(kJoystickSliderA), 0);
  EXPECT_EQ(Query(kJoystickSliderB), 65535);
}

TEST_F(JoystickTest, HatsInHundredthsOfADegreeAndThirtyTwoButtons) {
  StartDevices();
  EXPECT_EQ(Query(kJoystickHatAngle, 0), -1);  // centred
  EXPECT_EQ(Query(kJoystickHatARaw), -1);
  const struct {
    uint8_t directions;
    int32_t angle;
  } hats[] = {{kPlatformHatUp, 0},
              {kPlatformHatUp | kPlatformHatRight, 4500},
              {kPlatformHatRight, 9000},
              {kPlatformHatDown | kPlatformHatRight, 13500},
              {kPlatformHatDown, 18000},
              {kPlatformHatDown | kPlatformHatLeft, 22500},
              {kPlatformHatLeft, 27000},
              {kPlatformHatUp | kPlatformHatLeft, 31500},
              {0, -1}};
  for (const auto& h : hats) {
    PlatformSetTestJoystickHat(pad_, 1, h.directions);
    NextCycle();
    EXPECT_EQ(Query(kJoystickHatAngle, 1), h.angle) << int{h.directions};
    EXPECT_EQ(Query(kJoystickHatBRaw), h.angle) << int{h.directions};
  }
  // Hats the pad lacks read centred; numbers outside 0..3 answer -1.
  for (int n : {2, 3, 4, -1, 1000}) EXPECT_EQ(Query(kJoystickHatAngle, n), -1) << n;

  for (int button : {0, 3, 17, 31}) PlatformSetTestJoystickButton(pad_, button, true);
  NextCycle();
  for (int n = 0; n < 32; ++n) EXPECT_EQ(Query(kJoystickButton, n), n == 0 || n == 3 || n == 17 || n == 31 ? 1 : 0) << n;
  for (int n : {-1, 32, 255}) EXPECT_EQ(Query(kJoystickButton, n), 0) << n;
  EXPECT_EQ(Query(kJoystickButtonA), 1);
  EXPECT_EQ(Query(kJoystickButtonB), 0);
  EXPECT_EQ(Query(kJoystickButtonC), 0);
  EXPECT_EQ(Query(kJoystickButtonD), 1);
}

TEST_F(JoystickTest, ChecklistListsJoysticksAndTheControlDeviceIsChosenByName) {
  const int wheel = PlatformAttachTestJoystick("Wheel FF", 3, 0, 4);
  ASSERT_GE(wheel, 0);
  FakeHapticsAddDevice("Wheel FF");
  StartDevices();
  calls.Run(kInputChecklistDevices, {});
  ASSERT_TRUE(Checklist().made);
  ASSERT_EQ(Checklist().count, 2);
  EXPECT_STREQ(Checklist().entries[0].text, "Test Pad");
  EXPECT_EQ(Checklist().entries[0].a, 0);
  EXPECT_STREQ(Checklist().entries[1].text, "Wheel FF");
  EXPECT_EQ(Checklist().entries[1].a, 1);

  EXPECT_EQ(calls.TextResult(kControlDeviceName, {kTextResult}), "");
  EXPECT_EQ(calls.TakeError(), 4002);
  calls.ExpectErrors({{kInputSetControlDevice, {"wheel ff"}, 4001},  // names compare exactly
                      {kInputSetControlDevice, {"No Such Wheel"}, 4001},
                      {kControlDeviceName, {kTextResult}, 4002},
                      {kInputSetControlDevice, {"Wheel FF"}, 0}});
  EXPECT_EQ(calls.TextResult(kControlDeviceName, {kTextResult}), "Wheel FF");
  EXPECT_EQ(FakeHapticsOpenDevices(), 1);
  // The control device's axes have no dead zone; the joystick (the first pad) is apart.
  PlatformSetTestJoystickAxis(wheel, 0, 3276);
  PlatformSetTestJoystickAxis(wheel, 1, -32768);
  PlatformSetTestJoystickAxis(wheel, 2, 16384);
  NextCycle();
  EXPECT_EQ(Query(kControlDeviceX), 100);
  EXPECT_EQ(Query(kControlDeviceY), -1000);
  EXPECT_EQ(Query(kControlDeviceZ), 500);
  EXPECT_EQ(Query(kJoystickX), 0);
  // A joystick without force feedback is a control device too; the force commands then warn.
  calls.ExpectErrors({{kInputSetControlDevice, {"Test Pad"}, 0}});
  EXPECT_EQ(FakeHapticsOpenDevices(), 0);
  EXPECT_EQ(calls.TextResult(kControlDeviceName, {kTextResult}), "Test Pad");
  PlatformSetTestJoystickAxis(pad_, 0, 3276);
  NextCycle();
  EXPECT_EQ(Query(kControlDeviceX), 100);
  EXPECT_EQ(Query(kJoystickX), 100);  // the chosen joystick is read as the control device
}

// Force feedback on the fake back-end: "Wheel FF" has it, "Stick" has it without a damper.
class ForceTest : public JoystickTest {
 protected:
  void SetUp() override {
    JoystickTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_GE(PlatformAttachTestJoystick("Wheel FF", 3, 0, 4), 0);
    ASSERT_GE(PlatformAttachTestJoystick("Stick", 3, 0, 4), 0);
    FakeHapticsAddDevice("Wheel FF");
    FakeHapticsAddDevice("Stick", false);
    StartDevices();
  }
  void Choose(const char* name) {
    calls.Run(kInputSetControlDevice, {name});
    ASSERT_EQ(calls.TakeError(), 0);
    FakeHapticsClearCalls();
  }
  // The calls one command made on the device.
  std::vector<FakeForceCall> CallsOf(int command, std::initializer_list<qvasm::Operand> operands) {
    FakeHapticsClearCalls();
    calls.Run(command, operands);
    EXPECT_EQ(calls.TakeError(), 0) << command;
    return FakeHapticsCalls();
  }
};

// Every input and force command once on its paths: the error each raises, with the operand
// pointer checked after every call. Force checks: force feedback (4101), magnitude (4102),
// angle (4104), duration (4103), in that order.
TEST_F(ForceTest, EveryCommandConsumesItsOperandsOnEveryPath) {
  const std::initializer_list<qvasm::CommandCaller::ErrorCase> queries = {
      {kKeyUp, {kIntResult}, 0},           {kKeyDown, {kIntResult}, 0},          {kKeyLeft, {kIntResult}, 0},
      {kKeyRight, {kIntResult}, 0},        {kKeyControl, {kIntResult}, 0},       {kKeyShift, {kIntResult}, 0},
      {kKeyReturn, {kIntResult}, 0},       {kKeySpace, {kIntResult}, 0},         {kKeyState, {kIntResult, 57}, 0},
      {kKeyState, {kIntResult, 256}, 0},   {kKeyEscape, {kIntResult}, 0},        {kMouseWheel, {kIntResult}, 0},
      {kMouseMoveX, {kIntResult}, 0},      {kMouseMoveY, {kIntResult}, 0},       {kMouseMoveZ, {kIntResult}, 0},
      {kScanCode, {kIntResult}, 0},
      {kJoystickLeft, {kIntResult}, 0},    {kJoystickRight, {kIntResult}, 0},    {kJoystickUp, {kIntResult}, 0},
      {kJoystickDown, {kIntResult}, 0},    {kJoystickButtonA, {kIntResult}, 0},  {kJoystickButtonB, {kIntResult}, 0},
      {kJoystickButtonC, {kIntResult}, 0}, {kJoystickButtonD, {kIntResult}, 0},  {kJoystickX, {kIntResult}, 0},
      {kJoystickY, {kIntResult}, 0},       {kJoystickZ, {kIntResult}, 0},        {kJoystickSliderA, {kIntResult}, 0},
      {kJoystickSliderB, {kIntResult}, 0}, {kJoystickHatARaw, {kIntResult}, 0},  {kJoystickHatBRaw, {kIntResult}, 0},
      {kJoystickButton, {kIntResult, 3}, 0}, {kJoystickButton, {kIntResult, 32}, 0},
      {kJoystickTwistX, {kIntResult}, 0},  {kJoystickTwistY, {kIntResult}, 0},   {kJoystickTwistZ, {kIntResult}, 0},
      {kJoystickHatAngle, {kIntResult, 0}, 0}, {kJoystickHatAngle, {kIntResult, 9}, 0},
      {kControlDeviceName, {kTextResult}, 4002},
      {kControlDeviceX, {kIntResult}, 0},  {kControlDeviceY, {kIntResult}, 0},   {kControlDeviceZ, {kIntResult}, 0},
      {kInputChecklistDevices, {}, 0},     {kInputSetControlDevice, {"none"}, 4001},
  };
  calls.ExpectErrors(queries);
  // Without force feedback every force command warns first, whatever its operands.
  calls.ExpectErrors({
      {kForceUp, {50}, 4101},          {kForceDown, {500}, 4101},          {kForceLeft, {50}, 4101},
      {kForceRight, {50}, 4101},       {kForceAngle, {500, 500, -1}, 4101}, {kForcePeriodicShort, {50, -1}, 4101},
      {kForceConstant, {50, 0}, 4101}, {kForcePeriodicLong, {50, 0}, 4101}, {kForceStopAll, {}, 4101},
      {kForceDamper, {50, 0}, 4101},   {kForceAutoCenterOn, {}, 4101},      {kForceAutoCenterOff, {}, 4101},
  });
  Choose("Wheel FF");
  calls.ExpectErrors({
      {kControlDeviceName, {kTextResult}, 0},
      {kForceUp, {101}, 4102},                {kForceUp, {-1}, 4102},            {kForceUp, {100}, 0},
      {kForceDown, {101}, 4102},              {kForceDown, {0}, 0},              {kForceLeft, {-5}, 4102},
      {kForceLeft, {5}, 0},                   {kForceRight, {1000}, 4102},       {kForceRight, {50}, 0},
      {kForceAngle, {101, 400, -1}, 4102},    {kForceAngle, {50, 361, -1}, 4104}, {kForceAngle, {50, -1, 10}, 4104},
      {kForceAngle, {50, 360, -1}, 4103},     {kForceAngle, {50, 0, 0}, 0},
      {kForcePeriodicShort, {101, -1}, 4102}, {kForcePeriodicShort, {0, -1}, 4103}, {kForcePeriodicShort, {0, 10}, 0},
      {kForceConstant, {-1, -1}, 4102},       {kForceConstant, {100, -1}, 4103}, {kForceConstant, {100, 0}, 0},
      {kForcePeriodicLong, {101, 5}, 4102},   {kForcePeriodicLong, {1, -10}, 4103}, {kForcePeriodicLong, {1, 5}, 0},
      {kForceDamper, {200, -1}, 4102},        {kForceDamper, {20, -1}, 4103},    {kForceDamper, {20, 1}, 0},
      {kForceStopAll, {}, 0},                 {kForceAutoCenterOn, {}, 0},       {kForceAutoCenterOff, {}, 0},
  });
  // A device that cannot play an effect: that effect's command does nothing, not even check.
  Choose("Stick");
  calls.ExpectErrors({{kForceDamper, {200, -1}, 0}, {kForceUp, {200}, 4102}});
  EXPECT_TRUE(FakeHapticsCalls().empty());
}

TEST_F(ForceTest, EffectsGetTheirDirectionsLengthsAndStrengths) {
  Choose("Wheel FF");
  const struct {
    int command;
    int32_t angle;
  } pushes[] = {{kForceUp, 18000}, {kForceDown, 0}, {kForceLeft, 9000}, {kForceRight, 27000}};
  for (const auto& push : pushes) {
    std::vector<FakeForceCall> made = CallsOf(push.command, {70});
    ASSERT_EQ(made.size(), 2u) << push.command;
    EXPECT_EQ(made[0].kind, FakeForceCall::kSet);
    EXPECT_EQ(made[1].kind, FakeForceCall::kStart);
    EXPECT_EQ(made[1].effect, made[0].effect);
    EXPECT_EQ(made[0].parameters.kind, PlatformForceKind::kConstant);
    EXPECT_TRUE(made[0].parameters.polar);
    EXPECT_EQ(made[0].parameters.direction[0], push.angle);
    EXPECT_EQ(made[0].parameters.lengthMs, 100u);
    EXPECT_EQ(made[0].parameters.magnitude, 7000);
  }
  // Durations in ms, 50 ms more; 0 plays until stopped.
  PlatformForceEffect angled = CallsOf(kForceAngle, {40, 90, 1000}).at(0).parameters;
  EXPECT_EQ(angled.direction[0], 9000);
  EXPECT_EQ(angled.lengthMs, 1050u);
  EXPECT_EQ(angled.magnitude, 4000);
  EXPECT_EQ(CallsOf(kForceAngle, {40, 360, 0}).at(0).parameters.lengthMs, kPlatformForceForever);
  PlatformForceEffect steady = CallsOf(kForceConstant, {30, 0}).at(0).parameters;
  EXPECT_EQ(steady.kind, PlatformForceKind::kConstant);
  EXPECT_EQ(steady.direction[0], 0);
  EXPECT_EQ(steady.lengthMs, kPlatformForceForever);
  PlatformForceEffect shortWave = CallsOf(kForcePeriodicShort, {10, 200}).at(0).parameters;
  PlatformForceEffect longWave = CallsOf(kForcePeriodicLong, {10, 200}).at(0).parameters;
  EXPECT_EQ(shortWave.kind, PlatformForceKind::kPeriodic);
  EXPECT_EQ(shortWave.periodMs, 50u);
  EXPECT_EQ(longWave.periodMs, 100u);
  EXPECT_EQ(longWave.lengthMs, 250u);
  // The damper: both objects of the pair, resisting by magnitude x 50 up to full saturation.
  std::vector<FakeForceCall> damper = CallsOf(kForceDamper, {60, 0});
  ASSERT_EQ(damper.size(), 4u);
  EXPECT_NE(damper[0].effect, damper[2].effect);
  for (const FakeForceCall& set : {damper[0], damper[2]}) {
    EXPECT_EQ(set.parameters.kind, PlatformForceKind::kDamper);
    EXPECT_FALSE(set.parameters.polar);
    EXPECT_EQ(set.parameters.direction[0], 1);
    EXPECT_EQ(set.parameters.direction[1], 1);
    EXPECT_EQ(set.parameters.positiveCoefficient, 3000);
    EXPECT_EQ(set.parameters.negativeCoefficient, 0);
    EXPECT_EQ(set.parameters.saturation, 10000);
  }
  // Stop-all stops every effect the device made; auto-centre switches.
  std::vector<FakeForceCall> stops = CallsOf(kForceStopAll, {});
  EXPECT_EQ(stops.size(), static_cast<size_t>(kForceSlotCount));
  for (const FakeForceCall& stop : stops) EXPECT_EQ(stop.kind, FakeForceCall::kStop);
  std::vector<FakeForceCall> on = CallsOf(kForceAutoCenterOn, {});
  std::vector<FakeForceCall> off = CallsOf(kForceAutoCenterOff, {});
  ASSERT_EQ(on.size(), 1u);
  ASSERT_EQ(off.size(), 1u);
  EXPECT_TRUE(on[0].on);
  EXPECT_FALSE(off[0].on);
}

TEST_F(ForceTest, AStartTheDeviceRefusesIsTriedOnceMoreAndTheRunReleasesEveryEffect) {
  Choose("Wheel FF");
  FakeHapticsFailStarts(1);
  std::vector<FakeForceCall> made = CallsOf(kForceUp, {50});
  ASSERT_EQ(made.size(), 5u);
  EXPECT_EQ(made[1].kind, FakeForceCall::kStart);
  EXPECT_EQ(made[2].kind, FakeForceCall::kDestroy);
  EXPECT_EQ(made[3].kind, FakeForceCall::kCreate);
  EXPECT_EQ(made[4].kind, FakeForceCall::kStart);
  EXPECT_EQ(made[4].effect, made[3].effect);
  FakeHapticsClearCalls();
  ReleaseForceEffects();
  EXPECT_EQ(FakeHapticsCalls().size(), static_cast<size_t>(kForceSlotCount));
  // With its effects gone the commands do nothing until the device is chosen again.
  EXPECT_TRUE(CallsOf(kForceUp, {50}).empty());
  Choose("Wheel FF");
  EXPECT_EQ(CallsOf(kForceUp, {50}).size(), 2u);
}

}  // namespace
