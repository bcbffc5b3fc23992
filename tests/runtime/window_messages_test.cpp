// The window procedure: typed characters grow the text buffer and keep every one, Esc
// quits unless switched off, and deactivation pauses the full-screen run (the mouse belongs to
// the input poll: tests/commands/input_test.cpp).
#include "platform/input.h"
#include "platform/window.h"
#include "tests/runtime/run_program.h"

namespace {

class WindowMessageTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseTypedText();
    SetEscQuits(true);
    MutableSettings().windowMode = false;
    ClearQuitRequest();
  }
  static void Send(PlatformMessageKind kind, int a = 0, int b = 0) { HandleWindowMessage(PlatformMessage{kind, a, b}); }
};

TEST_F(WindowMessageTest, TypedTextGrowsAndKeepsEveryCharacter) {
  Send(PlatformMessageKind::kChar, 'x');  // no text input open: only the last character
  EXPECT_EQ(LastTypedCharacter(), 'x');
  EXPECT_STREQ(TypedText(), "");
  OpenTypedText(16);
  std::string typed;
  for (int i = 0; i < 300; ++i) {
    char c = static_cast<char>('a' + i % 26);
    typed += c;
    Send(PlatformMessageKind::kChar, c);
  }
  EXPECT_EQ(std::string(TypedText()), typed);
  EXPECT_EQ(LastTypedCharacter(), 'a' + 299 % 26);
  ClearTypedText();
  EXPECT_STREQ(TypedText(), "");
}

TEST_F(WindowMessageTest, EscapeQuitsUnlessSwitchedOff) {
  SetEscQuits(false);
  Send(PlatformMessageKind::kKeyDown, kPlatformKeyEscape);
  EXPECT_FALSE(QuitRequested());
  SetEscQuits(true);
  Send(PlatformMessageKind::kKeyDown, kPlatformKeyF11);
  EXPECT_FALSE(QuitRequested());
  Send(PlatformMessageKind::kKeyDown, kPlatformKeyEscape);
  EXPECT_TRUE(QuitRequested());
  PlatformMessage message;
  ASSERT_TRUE(PlatformPeekMessage(&message));
  EXPECT_EQ(message.kind, PlatformMessageKind::kQuit);
}

TEST_F(WindowMessageTest, DeactivationStopsAFullScreenRunOnly) {
  SetDisplayActive(true);
  MutableSettings().windowMode = true;
  Send(PlatformMessageKind::kDeactivate);
  EXPECT_TRUE(DisplayActive());
  MutableSettings().windowMode = false;
  Send(PlatformMessageKind::kDeactivate);
  EXPECT_FALSE(DisplayActive());
  EXPECT_FALSE(RunPreStepForTests());  // nothing runs while another window is in front
  Send(PlatformMessageKind::kActivate);
  EXPECT_TRUE(DisplayActive());
  EXPECT_TRUE(RunPreStepForTests());
}

// Keys pushed as the system sends them (the key, then the text it types): the key's message
// carries Shift, Ctrl and the left Alt, and a key pressed with the left Alt types nothing (it is
// a menu's shortcut), while the right Alt (AltGr) types as the layout says.
TEST(WindowKeys, KeysCarryTheirModifiersAndTheLeftAltTypesNothing) {
  ASSERT_TRUE(PlatformCreateMainWindow("keys", 640, 480));
  const struct {
    int held;          // modifiers held with T
    const char* text;  // what the layout types
    int modifiers;     // the key message's b
    int typed;         // the character message, 0 none
  } cases[] = {{0, "t", 0, 't'},
               {kPlatformModShift, "T", kPlatformModShift, 'T'},
               {kPlatformModAlt, "t", kPlatformModAlt, 0},
               {kPlatformModAlt | kPlatformModShift, "T", kPlatformModAlt | kPlatformModShift, 0},
               {kPlatformInjectRightAlt, "@", 0, '@'},
               {0, "t", 0, 't'}};  // after an Alt key, text types again
  for (const auto& c : cases) {
    SCOPED_TRACE(c.held);
    PlatformInjectKey("T", true, c.held);
    PlatformInjectText(c.text);
    PlatformInjectKey("T", false, c.held);
    int keyDowns = 0, modifiers = -1, typed = 0;
    PlatformMessage message;
    while (PlatformPeekMessage(&message)) {
      if (message.kind == PlatformMessageKind::kKeyDown) {
        ++keyDowns;
        modifiers = message.b;
        EXPECT_EQ(message.a, 'T');
      }
      if (message.kind == PlatformMessageKind::kChar) typed = message.a;
    }
    EXPECT_EQ(keyDowns, 1);
    EXPECT_EQ(modifiers, c.modifiers);
    EXPECT_EQ(typed, c.typed);
  }
  PlatformDestroyMainWindow();
}

}  // namespace
