// System, display and window commands: the 3D device settings and card, free memory, the
// main window's frame, place and showing, Esc and the system keys, three lines of fun text
// and the program's three switches.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "commands/commands.h"
#include "graphics2d/graphics2d.h"
#include "platform/device3d.h"
#include "platform/system_info.h"
#include "platform/window.h"
#include "runtime/command_numbers.h"

// Reset at every program start (ResetSystemCommands). The device settings are kept for the
// programs that ask for them; the OpenGL device renders the same either way.
static struct {
  int softwareDevice = 0;  // 9001 / 9002
  int tnlAllowed = 1;      // 9011 / 9012
  int systemKeys = 1;      // 9603 / 9604: kept per run only, Linux has no such switch
  int switches[3] = {0, 0, 0};
  std::string wantedCard;  // 9004
} gSystem;

void ResetSystemCommands() {
  gSystem.softwareDevice = 0;
  gSystem.tnlAllowed = 1;
  gSystem.systemKeys = 1;
  gSystem.switches[0] = gSystem.switches[1] = gSystem.switches[2] = 0;
  gSystem.wantedCard.clear();
  SetEscQuits(true);
  ForgetRegistryFolder();
}

int SystemSwitch(int which) { return which >= 0 && which < 3 ? gSystem.switches[which] : 0; }

// The card in use: the OpenGL renderer once the 3D device opened, else the display's driver.
static std::string CardName() {
  const char* renderer = Device3dRendererName();
  return renderer[0] != '\0' ? renderer : "Default display";
}

static void CmdDisplaySoftware() { gSystem.softwareDevice = 1; }
static void CmdDisplayHardware() { gSystem.softwareDevice = 0; }
static void CmdDisplayNoTnL() { gSystem.tnlAllowed = 0; }
static void CmdDisplayAllowTnL() { gSystem.tnlAllowed = 1; }
static void CmdDisplayEvictTextures() { Hooks.EvictManagedTextures(); }

static void CmdDisplayChecklistCards() {
  StartChecklist(true, false, true);
  AddChecklistEntry(CardName().c_str());
}

static void CmdDisplaySetCard() {  // name: 9011 when another card is in use
  gSystem.wantedCard = TextOperand(0);
  AdvanceOperands(1);
  if (gSystem.wantedCard != CardName()) RuntimeError(9011);
}

// Free memory in bytes, capped at the largest integer a program holds.
static int32_t CappedBytes(uint64_t bytes) { return static_cast<int32_t>(std::min<uint64_t>(bytes, INT32_MAX)); }

// Textures and off-screen surfaces live in the same memory as everything else here.
template <int Failure>
static void CmdMemoryForDisplayFree() {  // result
  uint64_t memory = 0, swap = 0;
  if (PlatformFreeMemory(&memory, &swap)) WriteIntResult(CappedBytes(memory));
  else RuntimeError(Failure);
  AdvanceOperands(1);
}

static void CmdSystemMemoryFree() {  // result: memory and swap a program could still take
  uint64_t memory = 0, swap = 0;
  WriteIntResult(PlatformFreeMemory(&memory, &swap) ? CappedBytes(memory + swap) : 0);
  AdvanceOperands(1);
}

static void CmdDisplayIsSoftware() {  // result
  WriteIntResult(gSystem.softwareDevice);
  AdvanceOperands(1);
}

static void CmdDisplayCardName() {  // result
  WriteTextResult(CardName().c_str());
  AdvanceOperands(1);
}

static void CmdDisplayHasTnL() {  // result
  WriteIntResult(gSystem.tnlAllowed && !gSystem.softwareDevice ? 1 : 0);
  AdvanceOperands(1);
}

// ---- the window ----

static void CmdWindowOn() {
  MutableSettings().fullScreen = false;
  MutableSettings().windowMode = true;
  PlatformSetFullscreen(false);
  PlatformSetWindowTitle("");
  PlatformSetWindowBordered(true);
  PlatformSetWindowSize(ScreenWidth(), ScreenHeight());
  PlatformSetWindowPosition(4, 23);
  PlatformShowWindow(PlatformShow::kShow);
}

static void CmdWindowOff() {
  MutableSettings().windowMode = false;
  MutableSettings().fullScreen = true;
  PlatformSetWindowBordered(false);
  PlatformSetWindowTitle("Quorvanel");
  PlatformSetFullscreen(true);
}

static void CmdWindowLayout() {  // framed, caption, icon
  const int32_t framed = IntOperand(0);
  const int32_t caption = IntOperand(1);
  AdvanceOperands(3);  // the icon is the one the window has
  PlatformSetWindowBordered(framed == 1 || caption == 1);
}

static void CmdWindowPosition() {  // x, y
  PlatformSetWindowPosition(IntOperand(0), IntOperand(1));
  AdvanceOperands(2);
}

static void CmdWindowSize() {  // width, height
  const int32_t width = IntOperand(0), height = IntOperand(1);
  AdvanceOperands(2);
  if (width < 1 || height < 1) return;
  int x, y, oldWidth, oldHeight;
  PlatformGetWindowPlace(&x, &y, &oldWidth, &oldHeight);
  PlatformSetWindowSize(width, height);
  PlatformSetWindowPosition(x, y);  // the window keeps its place
}

static void CmdWindowTitle() {  // text
  PlatformSetWindowTitle(TextOperand(0));
  AdvanceOperands(1);
}

template <PlatformShow How>
static void CmdWindowShow() { PlatformShowWindow(How); }

static void CmdEscapeKeyOff() { SetEscQuits(false); }
static void CmdEscapeKeyOn() { SetEscQuits(true); }
static void CmdSystemKeysOff() { gSystem.systemKeys = 0; }
static void CmdSystemKeysOn() { gSystem.systemKeys = 1; }

// Three lines of fun text per command, one picked at random, printed at the text cursor.
template <int Which>
static void CmdPrintQuote() {
  static const char* const kQuotes[3][3] = {
      {"Every game starts with a single pixel.", "Keep calm and sync on.", "The best loop is the one that ends."},
      {"A sprite a day keeps the boredom away.", "There is no bug, only a feature in disguise.",
       "Real players read the manual after the game."},
      {"Think big, draw small, refresh often.", "High scores are temporary, fun is forever.",
       "Somewhere a variable is waiting for you."},
  };
  PrintAtCursor(kQuotes[Which][std::rand() % 3], false);
  EndSliceAfterDrawing();
}

template <int Which, int Value>
static void CmdSwitch() { gSystem.switches[Which] = Value; }

static const CommandEntry kSystemCommands[] = {
    {kDisplaySoftware, CmdDisplaySoftware},
    {kDisplayHardware, CmdDisplayHardware},
    {kDisplayChecklistCards, CmdDisplayChecklistCards},
    {kDisplaySetCard, CmdDisplaySetCard},
    {kDisplayNoTnL, CmdDisplayNoTnL},
    {kDisplayAllowTnL, CmdDisplayAllowTnL},
    {kDisplayEvictTextures, CmdDisplayEvictTextures},
    {kTextureMemoryFree, CmdMemoryForDisplayFree<9012>},
    {kVideoMemoryFree, CmdMemoryForDisplayFree<9013>},
    {kSystemMemoryFree, CmdSystemMemoryFree},
    {kDisplayIsSoftware, CmdDisplayIsSoftware},
    {kDisplayCardName, CmdDisplayCardName},
    {kDisplayHasTnL, CmdDisplayHasTnL},
    {kWindowOn, CmdWindowOn},
    {kWindowOff, CmdWindowOff},
    {kWindowLayout, CmdWindowLayout},
    {kWindowPosition, CmdWindowPosition},
    {kWindowSize, CmdWindowSize},
    {kWindowHide, CmdWindowShow<PlatformShow::kHide>},
    {kWindowShow, CmdWindowShow<PlatformShow::kShow>},
    {kWindowTitle, CmdWindowTitle},
    {kWindowMinimise, CmdWindowShow<PlatformShow::kMinimise>},
    {kWindowMaximise, CmdWindowShow<PlatformShow::kMaximise>},
    {kWindowRestore, CmdWindowShow<PlatformShow::kRestore>},
    {kEscapeKeyOff, CmdEscapeKeyOff},
    {kEscapeKeyOn, CmdEscapeKeyOn},
    {kSystemKeysOff, CmdSystemKeysOff},
    {kSystemKeysOn, CmdSystemKeysOn},
    {kPrintQuoteA, CmdPrintQuote<0>},
    {kPrintQuoteB, CmdPrintQuote<1>},
    {kPrintQuoteC, CmdPrintQuote<2>},
    {kSwitchAOn, CmdSwitch<0, 1>},
    {kSwitchAOff, CmdSwitch<0, 0>},
    {kSwitchBOn, CmdSwitch<1, 1>},
    {kSwitchBOff, CmdSwitch<1, 0>},
    {kSwitchCOn, CmdSwitch<2, 1>},
    {kSwitchCOff, CmdSwitch<2, 0>},
};

bool RegisterSystemCommands() { return RegisterCommands(kSystemCommands); }
