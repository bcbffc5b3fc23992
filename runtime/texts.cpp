// Texts owned by slots: one heap block per text with its length and capacity in a small
// header before the characters, so a store reuses the slot's block and no text is measured twice.
#include <cstdlib>
#include <cstring>

#include "runtime/runtime_local.h"

// The text a text slot without text reads as: empty, with a header like any other text.
static const struct {
  TextHeader header;
  char characters[4];
} kEmptyTextBlock = {{0, 0}, {0, 0, 0, 0}};
const char* const kEmptyText = kEmptyTextBlock.characters;

static TextHeader* HeaderOf(char* text) { return reinterpret_cast<TextHeader*>(text) - 1; }

// SlotHoldsText with the answer for text temporaries and variables (nearly every store)
// found without leaving this file.
static bool HoldsText(const VariableSlot* slot) {
  uintptr_t offset = reinterpret_cast<uintptr_t>(slot) - reinterpret_cast<uintptr_t>(VariableTable);
  size_t index = offset / sizeof(VariableSlot);
  if (VariableTable != nullptr && offset % sizeof(VariableSlot) == 0) {
    if (index >= kFirstTextTemp && index < kFirstIntVar) return true;
    if (index >= kFirstTextVar && index < kFirstIntConst) return !VariableIsArray(static_cast<int>(index));
  }
  return SlotHoldsText(slot);
}

// Capacities are a few block sizes (16, 32, 64, 128 bytes and one for 255 characters), so a
// text that grows a character at a time moves to a new block only a handful of times.
static size_t CapacityFor(size_t length) {
  constexpr size_t kHeader = sizeof(TextHeader) + 1;  // the header and the NUL
  for (size_t block = 16; block <= 128; block *= 2)
    if (length + kHeader <= block) return block - kHeader;
  return length > kMaxTextLength ? length : kMaxTextLength;
}

// What a text block of capacity characters counts against the program's memory.
static size_t BlockFootprint(size_t capacity) { return AllocationFootprint(sizeof(TextHeader) + capacity + 1); }

// A fresh block for a text of up to capacity characters, holding no text yet; null when
// memory runs out or the block would pass the program's memory limit (*overLimit says which).
static char* AllocateText(size_t capacity, bool* overLimit) {
  const size_t footprint = BlockFootprint(capacity);
  *overLimit = !TakeProgramMemory(footprint);
  if (*overLimit) return nullptr;
  auto* header = static_cast<TextHeader*>(std::malloc(sizeof(TextHeader) + capacity + 1));
  if (header == nullptr) {
    GiveBackProgramMemory(footprint);
    return nullptr;
  }
  header->capacity = static_cast<uint16_t>(capacity);
  header->length = 0;
  return reinterpret_cast<char*>(header + 1);
}

char* CopyText(const char* text) {
  size_t length = std::strlen(text);
  if (length > UINT16_MAX) length = UINT16_MAX;  // no caller hands in more than 255 characters
  bool overLimit;
  char* copy = AllocateText(CapacityFor(length), &overLimit);
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text, length);
  copy[length] = 0;
  HeaderOf(copy)->length = static_cast<uint16_t>(length);
  return copy;
}

void FreeText(char* text) {
  if (text == nullptr || text == kEmptyText) return;
  GiveBackProgramMemory(BlockFootprint(HeaderOf(text)->capacity));
  std::free(HeaderOf(text));
}

bool StoreTextOfLength(VariableSlot* slot, const char* text, size_t length) {
  if (!HoldsText(slot)) {
    if (!IsScratchSlot(slot)) ReportBadSlotOperand();  // the scratch slot was reported already
    return false;
  }
  if (length > kMaxTextLength) {
    RuntimeError(107);
    return false;
  }
  char* own = slot->asText;
  if (own != nullptr && HeaderOf(own)->capacity >= length) {
    std::memmove(own, text, length);  // text may lie inside the slot's own block
    own[length] = 0;
    HeaderOf(own)->length = static_cast<uint16_t>(length);
    return true;
  }
  bool overLimit;
  char* fresh = AllocateText(CapacityFor(length), &overLimit);
  if (fresh == nullptr) {  // the slot keeps its text and the run ends here
    RaiseOutOfMemory(overLimit);
    return false;
  }
  std::memcpy(fresh, text, length);  // before the old block goes: text may lie in it
  fresh[length] = 0;
  HeaderOf(fresh)->length = static_cast<uint16_t>(length);
  FreeText(own);
  slot->asText = fresh;
  return true;
}

bool AppendTextInPlace(VariableSlot* slot, const char* text, size_t length) {
  char* own = slot->asText;
  if (own == nullptr || !HoldsText(slot)) return false;
  TextHeader* header = HeaderOf(own);
  size_t total = header->length + length;
  if (total > header->capacity) return false;
  // text may be this very text (a$ + a$): the bytes it copies lie before the ones it writes.
  std::memcpy(own + header->length, text, length);
  own[total] = 0;
  header->length = static_cast<uint16_t>(total);
  return true;
}

bool StoreText(VariableSlot* slot, const char* text) {
  // Measured up to one past the limit only: a longer text is refused either way.
  return StoreTextOfLength(slot, text, strnlen(text, kMaxTextLength + 1));
}

bool WriteTextResult(const char* text) { return StoreText(SlotOperand(0), text); }

bool WriteTextResultOfLength(const char* text, size_t length) {
  return StoreTextOfLength(SlotOperand(0), text, length);
}
