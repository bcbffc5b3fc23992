// Arrays: DIM and UNDIM of integer, float and text arrays with up to five dimensions,
// element reads that keep the element's address for a later store, and the stores.
#include <cstdlib>
#include <cstring>

#include "runtime/builtins.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime.h"
#include "runtime/runtime_local.h"

constexpr int kMaxDimensions = 5;
constexpr int64_t kMaxArrayElements = 64 * 1024 * 1024;  // 512 MB of slots: a clear refusal

// Per variable slot 3000-8999 the sizes of its array's dimensions (elements per dimension).
// Valid only while the runtime counts elements for that slot, so a new program never sees
// the sizes of an old one.
static struct {
  int32_t sizes[kFirstIntConst - kFirstIntVar][kMaxDimensions];
} gArrays;

static bool IsArraySlot(int slot) { return slot >= kFirstIntVar && slot < kFirstIntConst; }

// DIM name(size1, ..., sizek): each dimension holds 0..size; a second DIM makes it anew.
template <int Dims>
static void CmdDimArray() {
  VariableSlot* arraySlot = SlotOperand(0);
  int32_t sizes[Dims];
  for (int d = 0; d < Dims; d++) sizes[d] = IntOperand(1 + d);
  AdvanceOperands(1 + Dims);
  int slot = SlotIndexOf(arraySlot);
  if (!IsArraySlot(slot)) {
    RuntimeError(109);
    return;
  }
  int64_t count = 1;
  for (int d = 0; d < Dims; d++) {
    if (sizes[d] < 0 || sizes[d] >= kMaxArrayElements) {
      RuntimeError(114);
      return;
    }
    count *= sizes[d] + 1;
    if (count > kMaxArrayElements) {
      RuntimeError(114);
      return;
    }
  }
  // The old array (or the plain variable's text) goes first, so making an array anew at the
  // same size never meets the memory limit; after error 101 the slot holds no array.
  if (ArrayElementCount(slot) > 0) FreeArrayOfSlot(slot);
  else if (slot >= kFirstTextVar) FreeText(VariableTable[slot].asText);
  VariableTable[slot].raw = 0;
  const size_t bytes = static_cast<size_t>(count) * sizeof(VariableSlot);
  if (!TakeProgramMemory(AllocationFootprint(bytes))) {
    RaiseOutOfMemory(true);
    return;
  }
  auto* block = static_cast<VariableSlot*>(std::calloc(static_cast<size_t>(count), sizeof(VariableSlot)));
  if (!block) {
    GiveBackProgramMemory(AllocationFootprint(bytes));
    RaiseOutOfMemory(false);
    return;
  }
  VariableTable[slot].asBlock = block;
  SetArrayElementCount(slot, static_cast<int32_t>(count));
  for (int d = 0; d < kMaxDimensions; d++) gArrays.sizes[slot - kFirstIntVar][d] = d < Dims ? sizes[d] + 1 : 1;
}

static void CmdUndimArray() {
  int slot = SlotIndexOf(SlotOperand(0));
  AdvanceOperands(1);
  if (!IsArraySlot(slot) || ArrayElementCount(slot) <= 0) {
    RuntimeError(109);
    return;
  }
  FreeArrayOfSlot(slot);
  if (slot >= kFirstTextVar && (VariableTable[slot].asText = CopyText("")) == nullptr) RaiseOutOfMemory(false);
}

// The temporaries' band that matches an array slot's kind: integer 0-999, float
// 1000-1999, text 2000-2999. READ and the stores write through a temporary's element
// address as its band says, so an element only ever sits behind a temporary of its kind.
static int TempBandOfArray(int slot) {
  return slot < kFirstFloatVar ? kFirstIntTemp : slot < kFirstTextVar ? kFirstFloatTemp : kFirstTextTemp;
}

static bool InBand(int index, int band) { return index >= band && index < band + 1000; }

// Copies the element into the temporary and records its address for a store or READ.
template <int Dims>
static void CmdArrayElement() {
  VariableSlot* temp = SlotOperand(0);
  int slot = SlotIndexOf(SlotOperand(1));
  int32_t indices[Dims];
  for (int d = 0; d < Dims; d++) indices[d] = IntOperand(2 + d);
  AdvanceOperands(2 + Dims);
  if (!IsArraySlot(slot) || ArrayElementCount(slot) <= 0) {
    RuntimeError(109);
    return;
  }
  int tempIndex = SlotIndexOf(temp);
  if (!InBand(tempIndex, TempBandOfArray(slot))) {  // a corrupt program: wrong kind of temporary
    ReportBadSlotOperand();
    return;
  }
  const int32_t* sizes = gArrays.sizes[slot - kFirstIntVar];
  int64_t offset = 0;
  for (int d = Dims - 1; d >= 0; d--) {
    if (indices[d] < 0 || indices[d] >= sizes[d]) {
      RuntimeError(110);
      return;
    }
    offset = offset * sizes[d] + indices[d];
  }
  VariableSlot* element = static_cast<VariableSlot*>(VariableTable[slot].asBlock) + offset;
  ElementAddressTable[tempIndex] = element;
  if (slot >= kFirstTextVar) {
    const char* text = element->asText != nullptr ? element->asText : kEmptyText;
    StoreTextOfLength(temp, text, TextLength(text));
  } else {
    // A number is the low 32 bits, which every store writes alone: a read of just those takes
    // a value stored a moment ago straight from the store.
    temp->asInt = element->asInt;
  }
}

// The element whose address the temporary holds (the temporary must be of the store's
// band); error 109 when it holds none.
static VariableSlot* StoreTarget(VariableSlot* temp, int band) {
  int index = SlotIndexOf(temp);
  if (!InBand(index, band)) return ReportBadSlotOperand(), nullptr;
  VariableSlot* element = ElementAddressTable[index];
  if (!element) RuntimeError(109);
  return element;
}

static void CmdStoreElementInt() {
  VariableSlot* temp = SlotOperand(0);
  int32_t value = IntOperand(1);
  AdvanceOperands(2);
  if (VariableSlot* element = StoreTarget(temp, kFirstIntTemp)) element->asInt = value;
}

static void CmdStoreElementFloat() {
  VariableSlot* temp = SlotOperand(0);
  const int32_t bits = SlotOperand(1)->asInt;  // a float goes bit for bit, as in an assignment
  AdvanceOperands(2);
  if (VariableSlot* element = StoreTarget(temp, kFirstFloatTemp)) element->asInt = bits;
}

static void CmdStoreElementText() {
  VariableSlot* temp = SlotOperand(0);
  const char* value = TextOperand(1);
  AdvanceOperands(2);
  if (VariableSlot* element = StoreTarget(temp, kFirstTextTemp)) StoreTextOfLength(element, value, TextLength(value));
}

// The fast forms of the commands array loops spend their time in. The one-index read of a
// number element, placed by the loader where the array operand is an integer or float array
// (so the temporary is of its kind: the loader checked): anything but an in-bounds element
// of a dimensioned array goes to the plain command, which raises the error. KeepAddress is
// false where the loader found that no store or READ can use the element's address before
// another element read replaces it.
template <bool KeepAddress>
static CodeCell* FastNumberElementRead(CodeCell* operands) {
  VariableSlot* temp = SlotAt(operands, 0);
  VariableSlot* array = SlotAt(operands, 1);
  const uint32_t index = static_cast<uint32_t>(SlotAt(operands, 2)->asInt);
  const ptrdiff_t slot = array - VariableTable - kFirstIntVar;
  if (ArrayElementCounts[slot] > 0 && index < static_cast<uint32_t>(gArrays.sizes[slot][0])) {
    VariableSlot* element = static_cast<VariableSlot*>(array->asBlock) + index;
    if constexpr (KeepAddress) ElementAddressTable[temp - VariableTable] = element;
    temp->asInt = element->asInt;  // as the plain command
    return operands + 3;
  }
  return DeferToPlainHandler(operands - 1, CmdArrayElement<1>);
}

CommandHandler NumberElementReadHandler(bool keepsAddress) {
  if (HandlerForCommand(kArrayElement1) != CmdArrayElement<1>) return nullptr;  // not registered
  return keepsAddress ? RunFastForm<FastNumberElementRead<true>> : RunFastForm<FastNumberElementRead<false>>;
}

// The number stores through a temporary of their kind that holds an element's address; a
// float goes bit for bit. Anything else goes to the plain command, which raises the error.
template <int Band, void (*Plain)()>
static CodeCell* FastStoreElementNumber(CodeCell* operands) {
  const ptrdiff_t tempIndex = SlotAt(operands, 0) - VariableTable;
  if (tempIndex >= Band && tempIndex < Band + 1000) {
    if (VariableSlot* element = ElementAddressTable[tempIndex]) {
      element->asInt = SlotAt(operands, 1)->asInt;
      return operands + 2;
    }
  }
  return DeferToPlainHandler(operands - 1, Plain);
}

extern const FastCommand kArrayFastCommands[];
const FastCommand kArrayFastCommands[] = {
    FastCommandFor<FastNumberElementRead<true>>(0),
    FastCommandFor<FastNumberElementRead<false>>(0),
    {0, CmdStoreElementInt, FastStoreElementNumber<kFirstIntTemp, CmdStoreElementInt>},
    {0, CmdStoreElementFloat, FastStoreElementNumber<kFirstFloatTemp, CmdStoreElementFloat>},
};
extern const size_t kArrayFastCommandCount;
const size_t kArrayFastCommandCount = std::size(kArrayFastCommands);

extern const CommandEntry kArrayCommands[];
const CommandEntry kArrayCommands[] = {
    {kDimArray1, CmdDimArray<1>},
    {kDimArray2, CmdDimArray<2>},
    {kDimArray3, CmdDimArray<3>},
    {kDimArray4, CmdDimArray<4>},
    {kDimArray5, CmdDimArray<5>},
    {kUndimArray, CmdUndimArray},
    {kArrayElement1, CmdArrayElement<1>},
    {kArrayElement2, CmdArrayElement<2>},
    {kArrayElement3, CmdArrayElement<3>},
    {kArrayElement4, CmdArrayElement<4>},
    {kArrayElement5, CmdArrayElement<5>},
    {kStoreElementInt, CmdStoreElementInt},
    {kStoreElementFloat, CmdStoreElementFloat},
    {kStoreElementText, CmdStoreElementText},
};
extern const size_t kArrayCommandCount;
const size_t kArrayCommandCount = std::size(kArrayCommands);
