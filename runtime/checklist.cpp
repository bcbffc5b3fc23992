// The checklist: the one list through which the list-making commands of every family (display
// modes, model frames, files, devices) hand their results to the program, read back by index.
#include <cstring>

#include "runtime/runtime_local.h"

// Emptied at every program start (InitInterpreter) and by the empty-checklist command.
static ChecklistState gChecklist;

const ChecklistState& Checklist() { return gChecklist; }

void EmptyChecklist() {
  gChecklist.made = gChecklist.valuesValid = gChecklist.stringsValid = 0;
  gChecklist.count = 0;
  for (ChecklistEntry& entry : gChecklist.entries) {
    entry.a = entry.b = entry.c = entry.d = -1;
    entry.text[0] = '\0';
  }
}

void StartChecklist(bool made, bool valuesValid, bool stringsValid) {
  gChecklist.made = made ? 1 : 0;
  gChecklist.valuesValid = valuesValid ? 1 : 0;
  gChecklist.stringsValid = stringsValid ? 1 : 0;
  gChecklist.count = 0;
}

ChecklistEntry* AppendChecklistEntry() {
  if (gChecklist.count >= kChecklistCapacity) return nullptr;
  return &gChecklist.entries[gChecklist.count++];
}

void SetChecklistEntryText(ChecklistEntry& entry, const char* text) {
  const size_t length = strnlen(text, kMaxTextLength);
  std::memcpy(entry.text, text, length);
  entry.text[length] = '\0';
}

bool AddChecklistEntry(const char* text, int32_t a, int32_t b, int32_t c, int32_t d) {
  ChecklistEntry* entry = AppendChecklistEntry();
  if (entry == nullptr) return false;
  entry->a = a;
  entry->b = b;
  entry->c = c;
  entry->d = d;
  SetChecklistEntryText(*entry, text);
  return true;
}
