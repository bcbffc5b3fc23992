// Core built-ins for numbers: timer and wait, mouse, the command line, the random
// sequence, and maths with angles in degrees.
#include <cmath>
#include <cstdint>

#include "platform/clock.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime.h"

constexpr double kDegreesToRadians = 0.017453292;
constexpr double kRadiansToDegrees = 57.29578;

// The random sequence and a running WAIT; they live for the process (one program runs per
// process, and its runs repeat until RANDOMIZE since the seed starts the same).
static struct {
  uint32_t seed = 1;
  bool waiting = false;
  uint32_t waitUntil = 0;
  const void* waitCommand = nullptr;  // the WAIT being waited on
} gNumbers;

static uint32_t NextRandom() {
  gNumbers.seed = gNumbers.seed * 1103515245u + 12345u;
  return gNumbers.seed;
}

static void CmdTimer() {
  WriteIntResult(static_cast<int32_t>(PlatformMilliseconds()));
  AdvanceOperands(1);
}

// Waits without blocking the window: the command runs again each slice until its time, and
// the picture shown when the wait began stays on the screen meanwhile.
static void CmdWait() {
  int32_t ms = IntOperand(0);
  const void* here = OperandPointer;
  uint32_t now = PlatformMilliseconds();
  if (!gNumbers.waiting || gNumbers.waitCommand != here) {
    gNumbers.waiting = true;
    gNumbers.waitCommand = here;
    gNumbers.waitUntil = now + static_cast<uint32_t>(ms > 0 ? ms : 0);
  }
  if (static_cast<int32_t>(gNumbers.waitUntil - now) > 0) {
    OperandPointer -= 1;
    Dispatcher.stop = 1;
    HoldPictureWhileWaiting();
    return;
  }
  gNumbers.waiting = false;
  AdvanceOperands(1);
}

// The mouse functions read the input poll's state, polling first once per dispatcher cycle.
static void CmdMouseX() { RefreshInputIfDue(); WriteIntResult(Mouse().x); AdvanceOperands(1); }
static void CmdMouseY() { RefreshInputIfDue(); WriteIntResult(Mouse().y); AdvanceOperands(1); }
static void CmdMouseClick() { RefreshInputIfDue(); WriteIntResult(Mouse().buttons); AdvanceOperands(1); }

static void CmdCommandLine() {
  WriteTextResult(CommandLineText());
  AdvanceOperands(1);
}

static void CmdRandomize() {
  gNumbers.seed = static_cast<uint32_t>(IntOperand(0));
  AdvanceOperands(1);
}

static void CmdRandom() {
  int32_t range = IntOperand(1);
  uint32_t high = NextRandom() >> 16, low = NextRandom() >> 16;
  uint32_t value = (high << 16) | low;
  WriteIntResult(range > 0 ? static_cast<int32_t>(value % (static_cast<uint32_t>(range) + 1u)) : 0);
  AdvanceOperands(2);
}

static void CmdAbsInt() {
  int32_t value = IntOperand(1);
  WriteIntResult(value < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(value)) : value);
  AdvanceOperands(2);
}

static void CmdAbsFloat() {
  WriteFloatResult(std::fabs(FloatOperand(1)));
  AdvanceOperands(2);
}

// The largest integer not above the value; values beyond the 32-bit range keep the low bits.
static void CmdIntPart() {
  double value = std::floor(static_cast<double>(FloatOperand(1)));
  int32_t result = 0;
  if (std::isfinite(value) && std::fabs(value) < 9.2e18)
    result = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(value)));
  WriteIntResult(result);
  AdvanceOperands(2);
}

// One-argument float functions share one shape: read, compute in double, store.
template <double (*Fn)(double)>
static void FloatFunction() {
  double value = FloatOperand(1);
  WriteFloatResult(static_cast<float>(Fn(value)));
  AdvanceOperands(2);
}

static double SqrtOf(double v) { return std::sqrt(v); }
static double SinOf(double v) { return std::sin(v * kDegreesToRadians); }
static double CosOf(double v) { return std::cos(v * kDegreesToRadians); }
static double TanOf(double v) { return std::tan(v * kDegreesToRadians); }
static double AsinOf(double v) { return std::asin(v) * kRadiansToDegrees; }
static double AcosOf(double v) { return std::acos(v) * kRadiansToDegrees; }
static double AtanOf(double v) { return std::atan(v) * kRadiansToDegrees; }
static double ExpOf(double v) { return std::exp(v); }
static double LogOf(double v) { return std::log(v); }

static void CmdAtanFull() {
  double x = FloatOperand(1), y = FloatOperand(2);
  WriteFloatResult(static_cast<float>(std::atan2(x, y) * kRadiansToDegrees));
  AdvanceOperands(3);
}

// Colours as 0xRRGGBB: rgb keeps the low byte of each part, the parts read one byte back.
static void CmdRgb() {
  const uint32_t red = static_cast<uint32_t>(IntOperand(1)) & 0xFF, green = static_cast<uint32_t>(IntOperand(2)) & 0xFF,
                 blue = static_cast<uint32_t>(IntOperand(3)) & 0xFF;
  WriteIntResult(static_cast<int32_t>(red << 16 | green << 8 | blue));
  AdvanceOperands(4);
}
template <int Shift>
static void CmdRgbPart() {
  WriteIntResult(static_cast<int32_t>(static_cast<uint32_t>(IntOperand(1)) >> Shift & 0xFF));
  AdvanceOperands(2);
}

// Remainder with the sign of the left operand; by zero it gives 0 and warning 111, as
// integer division does.
static void CmdModulo() {
  int32_t left = IntOperand(1), right = IntOperand(2);
  VariableSlot* dest = NumberDestination(0);
  AdvanceOperands(3);
  if (right == 0) {
    dest->asInt = 0;
    RuntimeWarning(111);
    return;
  }
  dest->asInt = right == -1 ? 0 : left % right;
}

extern const CommandEntry kMathsCommands[];
const CommandEntry kMathsCommands[] = {
    {kTimer, CmdTimer},
    {kWait, CmdWait},
    {kMouseX, CmdMouseX},
    {kMouseY, CmdMouseY},
    {kMouseClick, CmdMouseClick},
    {kCommandLine, CmdCommandLine},
    {kRandomize, CmdRandomize},
    {kRandom, CmdRandom},
    {kAbsInt, CmdAbsInt},
    {kAbsFloat, CmdAbsFloat},
    {kIntPart, CmdIntPart},
    {kSqrt, FloatFunction<SqrtOf>},
    {kSin, FloatFunction<SinOf>},
    {kCos, FloatFunction<CosOf>},
    {kTan, FloatFunction<TanOf>},
    {kAsin, FloatFunction<AsinOf>},
    {kAcos, FloatFunction<AcosOf>},
    {kAtan, FloatFunction<AtanOf>},
    {kAtanFull, CmdAtanFull},
    {kExp, FloatFunction<ExpOf>},
    {kLog, FloatFunction<LogOf>},
    {kModulo, CmdModulo},
    {kRgb, CmdRgb},
    {kRgbRed, CmdRgbPart<16>},
    {kRgbGreen, CmdRgbPart<8>},
    {kRgbBlue, CmdRgbPart<0>},
};
extern const size_t kMathsCommandCount;
const size_t kMathsCommandCount = std::size(kMathsCommands);

