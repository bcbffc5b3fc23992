// The checklist commands: empty the list, and read its count and each entry's values and
// text back by 1-based index. The list-making commands of the other families fill it.
#include "commands/commands.h"
#include "runtime/command_numbers.h"

static void CmdChecklistEmpty() { EmptyChecklist(); }

static void CmdChecklistQuantity() {  // result
  if (!Checklist().made) RuntimeError(9005);
  else WriteIntResult(Checklist().count);
  AdvanceOperands(1);
}

// The entry a reader asks for, checked in this order: a list made (9005), the index within
// 1..512 (9001), values or texts valid (9004 or 9003), the index within the count (9002).
// Null after raising the error; the result is then left as it was.
static const ChecklistEntry* EntryOfIndex(int32_t index, bool wantText) {
  const ChecklistState& list = Checklist();
  if (!list.made) return RuntimeError(9005), nullptr;
  if (index < 1 || index > kChecklistCapacity) return RuntimeError(9001), nullptr;
  if (wantText ? !list.stringsValid : !list.valuesValid) return RuntimeError(wantText ? 9003 : 9004), nullptr;
  if (index > list.count) return RuntimeError(9002), nullptr;
  return &list.entries[index - 1];
}

template <int32_t ChecklistEntry::*Value>
static void CmdChecklistValue() {  // result, index
  if (const ChecklistEntry* entry = EntryOfIndex(IntOperand(1), false)) WriteIntResult(entry->*Value);
  AdvanceOperands(2);
}

static void CmdChecklistString() {  // result, index
  if (const ChecklistEntry* entry = EntryOfIndex(IntOperand(1), true)) WriteTextResult(entry->text);
  AdvanceOperands(2);
}

static const CommandEntry kChecklistCommands[] = {
    {kChecklistEmpty, CmdChecklistEmpty},
    {kChecklistQuantity, CmdChecklistQuantity},
    {kChecklistValueA, CmdChecklistValue<&ChecklistEntry::a>},
    {kChecklistValueB, CmdChecklistValue<&ChecklistEntry::b>},
    {kChecklistValueC, CmdChecklistValue<&ChecklistEntry::c>},
    {kChecklistValueD, CmdChecklistValue<&ChecklistEntry::d>},
    {kChecklistString, CmdChecklistString},
};

bool RegisterChecklistCommands() { return RegisterCommands(kChecklistCommands); }
