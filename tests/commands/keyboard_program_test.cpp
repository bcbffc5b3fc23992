// Keyboard text read by a whole BASIC program while key events are pushed into SDL's queue as
// a user types: WAIT KEY waits for the press, INKEY$ gives the typed character once, and
// SCANCODE tells the key held until it is let go. The program writes what it read to a file;
// the character is there at the first read after the wait, so the wait lasted until the press.
#include <gtest/gtest.h>

#include "platform/input.h"
#include "runtime/runtime.h"
#include "tests/commands/steered_program.h"

namespace {

const char* const kTypingProgram = R"(rem Waits for a key, then reads what was typed and held.
sync on
sync rate 0
open to write 1, "keys.txt"
write string 1, "before [" + inkey$() + "] " + str$(scancode())
wait key
n = 0
repeat
  k$ = inkey$()
  n = n + 1
  sync
until k$ <> "" or n > 500
write string 1, "typed [" + k$ + "] in " + str$(n) + " sync"
write string 1, "again [" + inkey$() + "]"
write string 1, "held " + str$(scancode())
n = 0
repeat
  n = n + 1
  sync
until scancode() = 0 or n > 500
write string 1, "released " + str$(scancode())
close file 1
end
)";

int gPolls = 0;

void TypeAtPolls() {
  ++gPolls;
  // The user waits a while, then presses A (typing "a"), and lets go of it later.
  if (gPolls == 20) {
    PlatformInjectKey("A", true);
    PlatformInjectText("a");
  }
  if (gPolls == 80) PlatformInjectKey("A", false);
}

TEST(KeyboardProgram, WaitKeyInkeyAndScancodeReadInjectedKeys) {
  std::string keys;
  const int status = RunSteeredProgram(kTypingProgram, TypeAtPolls, &keys);
  EXPECT_EQ(status, 0) << "error " << RuntimeErrorNumber();
  EXPECT_EQ(keys,
            "before [] 0\r\n"
            "typed [a] in 1 sync\r\n"
            "again []\r\n"
            "held 30\r\n"
            "released 0\r\n");
  EXPECT_GE(gPolls, 80) << "the program went on before the key was let go";
}

}  // namespace
