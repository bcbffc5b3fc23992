// Registration of the core built-in families (print and input, numbers, strings, arrays):
// each family file exports one table, registered here in one go.
#include "runtime/builtins.h"
#include "runtime/runtime.h"
#include "runtime/runtime_local.h"

extern const CommandEntry kPrintCommands[];
extern const size_t kPrintCommandCount;
extern const CommandEntry kMathsCommands[];
extern const size_t kMathsCommandCount;
extern const CommandEntry kTextCommands[];
extern const size_t kTextCommandCount;
extern const CommandEntry kArrayCommands[];
extern const size_t kArrayCommandCount;
extern const FastCommand kArrayFastCommands[];
extern const size_t kArrayFastCommandCount;

bool RegisterCoreBuiltins() {
  bool ok = RegisterCommands(kPrintCommands, kPrintCommandCount);
  ok = RegisterCommands(kMathsCommands, kMathsCommandCount) && ok;
  ok = RegisterCommands(kTextCommands, kTextCommandCount) && ok;
  ok = RegisterCommands(kArrayCommands, kArrayCommandCount) && ok;
  ok = RegisterFastCommands(kArrayFastCommands, kArrayFastCommandCount) && ok;
  return ok;
}
